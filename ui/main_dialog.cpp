// The main dialog.
#include "ui/main_dialog.h"

#include "resources/resource.h"
#include "storage/ini_win32.h"
#include "storage/settings.h"
#include "ui/app.h"
#include "ui/file_commands.h"
#include "ui/panel.h"
#include "ui/views.h"

namespace plimbar {
namespace {

bool g_initialised = false;  // the dialog's initialisation has run

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
  g_initialised = true;
}

void OnCommand(HWND dialog, int id, int notification) {
  switch (id) {
    case IDOK: RenderAndShow(); return;
    case IDCANCEL:
    case IDM_EXIT: EndDialog(dialog, 0); return;
    case IDC_TEST:
      // Playback starts with a render of whatever is pending.
      if (AnyPending(g_engine)) RenderAndShow();
      return;
    case IDC_MUTE: MuteChanged(); return;
    case IDC_WAVEFORM:
      if (notification == CBN_SELCHANGE) WaveFormChanged();
      return;
    case IDM_OPEN: OpenPatch(); return;
    case IDM_SAVE: SavePatch(); return;
    case IDM_SAVE_AS: SavePatchAs(); return;
    case IDM_SAVE_WAV: SaveWavAs(); return;
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
  HMENU menu = GetMenu(dialog);
  const int rate = g_engine.format.rate;
  const int bits = g_engine.format.bits;
  auto mark = [menu](int id, bool on) {
    CheckMenuItem(menu, id, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
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
    default: break;
  }
  return FALSE;
}

}  // namespace plimbar
