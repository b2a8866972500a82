// The main dialog.
#include "ui/main_dialog.h"

#include "audio/playback.h"
#include "resources/resource.h"
#include "storage/ini_win32.h"
#include "storage/settings.h"
#include "ui/app.h"
#include "ui/edit_history.h"
#include "ui/file_commands.h"
#include "ui/help.h"
#include "ui/menu_commands.h"
#include "ui/panel.h"
#include "ui/views.h"

namespace plimbar {
namespace {

bool g_initialised = false;  // the dialog's initialisation has run

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

void ReadStartSettings() {
  Settings s = {};
  if (g_settingsPath[0] != '\0') {
    ReadSettings(kWin32Ini, g_settingsPath, s);
  } else {
    s.format.rate = kDefaultRate;
    s.format.bits = kDefaultBits;
  }
  static_assert(sizeof g_lastFolder == sizeof s.lastFolder, "same capacity");
  for (int i = 0; i < kPathCapacity; ++i) g_lastFolder[i] = s.lastFolder[i];
  g_engine.format = s.format;
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
  g_currentOsc = 0;
  UpdateOscillator(dialog, 0);
  FitViewToFrame(dialog, IDC_WAVE_FRAME, g_waveView);
  // Place all three views again once the dialog is up and its frames have
  // their final size.
  PostMessageW(dialog, WM_MOVE, 0, 0);
  HighlightOscillatorButton(IDC_OSC1);
  ReadStartSettings();
  UpdateFormatChecks(dialog);
  LoadWorkingPatch(g_settingsPath);
  // A patch named on the command line (a double-click on a .plb file,
  // "Open with", a file dropped on the program's icon) replaces it.
  OpenCommandLinePatch(GetCommandLineW());
  DragAcceptFiles(dialog, TRUE);
  InstallAccelerators();
  g_initialised = true;
}

void OnCommand(HWND dialog, int id, int notification) {
  switch (id) {
    case IDOK: RenderAndShow(); return;
    case IDCANCEL:
    case IDM_EXIT: EndDialog(dialog, 0); return;
    case IDC_TEST: StartPlayback(g_engine, dialog, RenderAndShow); return;
    case IDC_MUTE: MuteChanged(); return;
    case IDC_WAVEFORM:
      if (notification == CBN_SELCHANGE) WaveFormChanged();
      return;
    case IDM_OPEN: OpenPatch(); return;
    case IDM_SAVE: SavePatch(); return;
    case IDM_SAVE_AS: SavePatchAs(); return;
    case IDM_SAVE_WAV: SaveWavAs(); return;
    case IDM_RATE_44K: SetOutputRate(44100); return;
    case IDM_RATE_22K: SetOutputRate(22050); return;
    case IDM_RATE_11K: SetOutputRate(11025); return;
    case IDM_BITS_16: SetOutputBits(16); return;
    case IDM_BITS_8: SetOutputBits(8); return;
    case IDM_COPY: CopyOscillator(); return;
    case IDM_PASTE: PasteOscillator(); return;
    case IDM_UNDO: UndoEdit(); return;
    case IDM_REDO: RedoEdit(); return;
    case IDM_ABOUT: ShowAboutBox(); return;
    case IDM_HELP: ShowHelp(); return;
    default:
      if (OscillatorForButton(id) >= 0) SelectOscillator(id);
      return;
  }
}

}  // namespace

bool MainDialogWasInitialised() { return g_initialised; }

void RenderAndShow() {
  RenderPatch(g_engine);
  InvalidateRect(g_waveView, nullptr, FALSE);
}

void UpdateFormatChecks(HWND dialog) {
  // The third popup, "設定(&O)"; its items addressed by command id.
  HMENU menu = GetSubMenu(GetMenu(dialog), 2);
  const int rate = g_engine.format.rate;
  const int bits = g_engine.format.bits;
  auto mark = [menu](int id, bool on) {
    MENUITEMINFOA item = {};
    item.cbSize = sizeof item;
    item.fMask = MIIM_STATE;
    item.fState = on ? MFS_CHECKED : 0;
    SetMenuItemInfoA(menu, static_cast<UINT>(id), FALSE, &item);
  };
  mark(IDM_RATE_44K, rate == 44100);
  mark(IDM_RATE_22K, rate == 22050);
  mark(IDM_RATE_11K, rate == 11025);
  mark(IDM_BITS_16, bits == 16);
  mark(IDM_BITS_8, bits == 8);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_COMMAND: OnCommand(dialog, LOWORD(wp), HIWORD(wp)); break;
    case WM_MOVE:
    case WM_SIZE: PlaceViews(dialog); break;
    case WM_HSCROLL:
    case WM_VSCROLL:
      HandleScroll(LOWORD(wp), HIWORD(wp), reinterpret_cast<HWND>(lp));
      break;
    case MM_WOM_DONE: FinishPlayback(wp, lp); break;
    case WM_DROPFILES: OpenDroppedPatch(reinterpret_cast<HDROP>(wp)); break;
    case WM_DESTROY: RemoveAccelerators(); break;
    default: break;
  }
  return FALSE;
}

}  // namespace plimbar
