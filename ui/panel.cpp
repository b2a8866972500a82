// The parameter panel.
#include "ui/panel.h"

#include "editor/controls.h"
#include "ui/app.h"

namespace plimbar {
namespace {

HWND g_bars[kParamBars];  // the bars, in ParamBar order

}  // namespace

void SetUpParamBars(HWND dialog) {
  for (int i = 0; i < kParamBars; ++i) {
    g_bars[i] = GetDlgItem(dialog, kBarControls[i].bar);
    SetScrollRange(g_bars[i], SB_CTL, kParamMin, kParamMax, FALSE);
  }
}

int BarOfWindow(HWND bar) {
  for (int i = 0; i < kParamBars; ++i)
    if (bar != nullptr && g_bars[i] == bar) return i;
  return -1;
}

void RefreshPanel(HWND dialog) {
  for (int i = 0; i < kParamBars; ++i) SetScrollPos(g_bars[i], SB_CTL, BarPosition(g_session, i), TRUE);
  for (int i = 0; i < kParamBars; ++i) {
    char text[16];
    ValueText(g_session, i, text);
    SetDlgItemTextA(dialog, kBarControls[i].value, text);
  }
  CheckDlgButton(dialog, IDC_MUTE, MuteShown(g_session) ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessageW(dialog, IDC_WAVEFORM, CB_SETCURSEL,
                      static_cast<WPARAM>(WaveFormShown(g_session)), 0);
}

void HighlightOscillatorButton(HWND dialog) {
  for (int n = 0; n < kOscillators; ++n) {
    SendMessageW(GetDlgItem(dialog, kOscButtonIds[n]), BM_SETSTATE,
                 n == g_session.currentOsc ? TRUE : FALSE, 0);
  }
}

}  // namespace plimbar
