// The main dialog.
#include "ui/main_dialog.h"

#include "audio/playback.h"
#include "editor/controls.h"
#include "editor/variations.h"
#include "resources/resource.h"
#include "storage/ini_win32.h"
#include "ui/app.h"
#include "ui/file_commands.h"
#include "ui/help.h"
#include "ui/menu_commands.h"
#include "ui/panel.h"
#include "ui/views.h"

namespace plimbar {
namespace {

// Ctrl+C and Ctrl+V: the modal dialog loop translates no accelerators, so
// a message hook of the loop hands the main dialog's keys to the table.
HACCEL g_accelerators = nullptr;
HHOOK g_keyHook = nullptr;

LRESULT CALLBACK DialogLoopHook(int code, WPARAM wp, LPARAM lp) {
  if (code == MSGF_DIALOGBOX && g_accelerators != nullptr &&
      g_mainDialog != nullptr) {
    MSG* msg = reinterpret_cast<MSG*>(lp);
    // Only keys meant for the main dialog: not those of the about box or
    // of a file dialog, which run their own loops over the disabled main
    // dialog.
    if ((msg->hwnd == g_mainDialog || IsChild(g_mainDialog, msg->hwnd)) &&
        TranslateAcceleratorW(g_mainDialog, g_accelerators, msg) != 0)
      return 1;
  }
  return CallNextHookEx(g_keyHook, code, wp, lp);
}

void InstallAccelerators() {
  g_accelerators = LoadAcceleratorsW(g_instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
  if (g_keyHook == nullptr && g_accelerators != nullptr)
    g_keyHook = SetWindowsHookExW(WH_MSGFILTER, DialogLoopHook, nullptr,
                                  GetCurrentThreadId());
}

void RemoveAccelerators() {
  if (g_keyHook != nullptr) UnhookWindowsHookEx(g_keyHook);
  g_keyHook = nullptr;
}

// The waveform names, in the order of the WaveForm values. Handed to the
// combo box as UTF-16, so they show whatever the system's code page.
const wchar_t* const kWaveFormNames[] = {L"正弦波", L"鋸歯波", L"矩形波",
                                         L"ノイズ"};

HWND CreateView(HWND dialog, const char* cls, int frameId, int size) {
  HWND view = CreateWindowExA(0, cls, cls, WS_CHILD | WS_VISIBLE, 0, 0, size,
                              size, GetDlgItem(dialog, frameId), nullptr,
                              g_instance, nullptr);
  ShowWindow(view, SW_SHOWNORMAL);
  return view;
}

void OnInitDialog(HWND dialog) {
  g_mainDialog = dialog;
  g_waveView = CreateView(dialog, kWaveViewClass, IDC_WAVE_FRAME, 100);
  g_pitchView = CreateView(dialog, kPitchViewClass, IDC_PITCH_FRAME, 100);
  g_volumeView = CreateView(dialog, kVolumeViewClass, IDC_VOLUME_FRAME, 0);
  for (const wchar_t* name : kWaveFormNames) {
    SendDlgItemMessageW(dialog, IDC_WAVEFORM, CB_ADDSTRING, 0,
                        reinterpret_cast<LPARAM>(name));
  }
  SetUpParamBars(dialog);
  // OSC1 current and shown, the settings read, the working patch loaded
  // from them and rendered.
  const unsigned refresh = StartSession(g_session, kWin32Ini, g_settingsPath);
  FitViewToFrame(dialog, IDC_WAVE_FRAME, g_waveView);
  // Place all three views again once the dialog is up and its frames have
  // their final size.
  PostMessageW(dialog, WM_MOVE, 0, 0);
  ShowChanges(refresh);
  // A patch named on the command line (a double-click on a .plb file,
  // "Open with", a file dropped on the program's icon) replaces it.
  OpenCommandLinePatch(GetCommandLineW());
  DragAcceptFiles(dialog, TRUE);
  InstallAccelerators();
}

// A press of Test: the session decides whether a sound starts; the device
// gets the current sound.
void PlayTest(HWND dialog) {
  unsigned refresh = 0;
  if (!BeginPlayback(g_session, &refresh)) return;
  ShowChanges(refresh);
  const Engine& e = g_session.engine;
  if (!PlayPcmBlock(CurrentPcm(e), PcmByteCount(e), e.format, dialog)) EndPlayback(g_session);
}

// Ctrl+M, Ctrl+Shift+M: a variation of the sound from a fresh seed, which
// the caption shows ("PlimbarMaker - 変化 中 #SEED"), so that the same
// variation can be made again (plimbar-render --vary 1 --seed SEED).
void Vary(HWND dialog, int strength) {
  static uint32_t presses = 0;
  const uint32_t seed = GetTickCount() * 2654435761u + ++presses * 40503u;
  ShowChanges(MutateSound(g_session, strength, seed));
  wchar_t name[16] = L"";
  MultiByteToWideChar(CP_UTF8, 0, StrengthName(strength)->japanese, -1, name, 16);
  wchar_t caption[96];
  wsprintfW(caption, L"PlimbarMaker - 変化 %s #%lu", name, static_cast<unsigned long>(g_session.lastSeed));
  SetWindowTextW(dialog, caption);
}

// Check marks of the rate and depth items of the Settings menu.
void UpdateFormatChecks(HWND dialog) {
  // The third popup, "設定(&O)"; its items addressed by command id.
  HMENU menu = GetSubMenu(GetMenu(dialog), 2);
  auto mark = [menu](int id, bool on) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = on ? MFS_CHECKED : 0;
    SetMenuItemInfoA(menu, static_cast<UINT>(id), FALSE, &item);
  };
  mark(IDM_RATE_44K, RateChecked(g_session, 44100));
  mark(IDM_RATE_22K, RateChecked(g_session, 22050));
  mark(IDM_RATE_11K, RateChecked(g_session, 11025));
  mark(IDM_BITS_16, BitsChecked(g_session, 16));
  mark(IDM_BITS_8, BitsChecked(g_session, 8));
}

void OnCommand(HWND dialog, int id, int notification) {
  Session& s = g_session;
  switch (id) {
    case IDOK: ShowChanges(RenderNow(s)); return;
    case IDCANCEL:
    case IDM_EXIT: EndDialog(dialog, 0); return;
    case IDC_TEST: PlayTest(dialog); return;
    case IDC_MUTE:
      ShowChanges(SetMute(s, IsDlgButtonChecked(dialog, IDC_MUTE) == BST_CHECKED));
      return;
    case IDC_WAVEFORM:
      // CB_ERR (no selection) keeps the waveform.
      if (notification == CBN_SELCHANGE)
        ShowChanges(ChooseWaveForm(s, static_cast<int>(SendDlgItemMessageW(dialog, IDC_WAVEFORM,
                                                                            CB_GETCURSEL, 0, 0))));
      return;
    case IDM_OPEN: OpenPatch(); return;
    case IDM_SAVE: SavePatch(); return;
    case IDM_SAVE_AS: SavePatchAs(); return;
    case IDM_SAVE_WAV: SaveWavAs(); return;
    case IDM_RATE_44K: ShowChanges(SetRate(s, 44100)); return;
    case IDM_RATE_22K: ShowChanges(SetRate(s, 22050)); return;
    case IDM_RATE_11K: ShowChanges(SetRate(s, 11025)); return;
    case IDM_BITS_16: ShowChanges(SetBits(s, 16)); return;
    case IDM_BITS_8: ShowChanges(SetBits(s, 8)); return;
    case IDM_COPY: ShowChanges(CopyOscillator(s)); return;
    case IDM_PASTE: ShowChanges(PasteOscillator(s)); return;
    case IDM_MUTATE_MEDIUM: Vary(dialog, kStrengthMedium); return;
    case IDM_MUTATE_LARGE: Vary(dialog, kStrengthLarge); return;
    case IDM_UNDO: ShowChanges(Undo(s)); return;
    case IDM_REDO: ShowChanges(Redo(s)); return;
    case IDM_ABOUT: ShowAboutBox(); return;
    case IDM_HELP: ShowHelp(); return;
    default:
      if (OscillatorOfButton(id) >= 0) ShowChanges(SelectOscillator(s, OscillatorOfButton(id)));
      return;
  }
}

}  // namespace

void ShowChanges(unsigned refresh) {
  HWND dialog = g_mainDialog;
  if (refresh & kRefreshOscButtons) HighlightOscillatorButton(dialog);
  if (refresh & kRefreshPanel) RefreshPanel(dialog);
  if (refresh & kRefreshMarks) UpdateFormatChecks(dialog);
  // Every pixel of a view is painted: no erase first, so the views do not
  // flash black.
  if (refresh & kRefreshVolumeView) InvalidateRect(g_volumeView, nullptr, FALSE);
  if (refresh & kRefreshPitchView) InvalidateRect(g_pitchView, nullptr, FALSE);
  if (refresh & kRefreshWaveView) InvalidateRect(g_waveView, nullptr, FALSE);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_COMMAND: OnCommand(dialog, LOWORD(wp), HIWORD(wp)); break;
    case WM_MOVE:
    case WM_SIZE: PlaceViews(dialog); break;
    case WM_HSCROLL:
    case WM_VSCROLL:
      ShowChanges(Scroll(g_session, BarOfWindow(reinterpret_cast<HWND>(lp)), LOWORD(wp), HIWORD(wp)));
      break;
    case MM_WOM_DONE:
      if (FinishPlayback(wp, lp)) EndPlayback(g_session);
      break;
    case WM_DROPFILES: OpenDroppedPatch(reinterpret_cast<HDROP>(wp)); break;
    case WM_DESTROY: RemoveAccelerators(); break;
    default: break;
  }
  return FALSE;
}

}  // namespace plimbar
