// The parameter panel.
#include "ui/panel.h"

#include "resources/resource.h"
#include "ui/app.h"
#include "ui/edit_history.h"
#include "ui/main_dialog.h"

namespace plimbar {

const ParamBar kParamBarTable[kParamBars] = {
    {IDC_TUNE_BAR, IDC_TUNE_VALUE, &Patch::Tune},
    {IDC_DETUNE_BAR, IDC_DETUNE_VALUE, &Patch::DeTune},
    {IDC_BEND_BAR, IDC_BEND_VALUE, &Patch::Bend},
    {IDC_BENDCURVE_BAR, IDC_BENDCURVE_VALUE, &Patch::BendCurve},
    {IDC_VOLUME_BAR, IDC_VOLUME_VALUE, &Patch::Volume},
    {IDC_ATTACK_BAR, IDC_ATTACK_VALUE, &Patch::Attack},
    {IDC_ATTACKCURVE_BAR, IDC_ATTACKCURVE_VALUE, &Patch::AttackCurve},
    {IDC_DECAY_BAR, IDC_DECAY_VALUE, &Patch::Decay},
    {IDC_DECAYCURVE_BAR, IDC_DECAYCURVE_VALUE, &Patch::DecayCurve},
    {IDC_TIME_BAR, IDC_TIME_VALUE, nullptr},
};

const int kOscButtonIds[kOscillators] = {IDC_OSC1, IDC_OSC2, IDC_OSC3,
                                         IDC_OSC4, IDC_OSC5, IDC_OSC6,
                                         IDC_OSC7, IDC_OSC8, IDC_OSC9};

namespace {

HWND g_bars[kParamBars];  // the bars of kParamBarTable, same order

int& ValueOf(const ParamBar& row, int osc) {
  if (row.field == nullptr) return g_engine.patch.Time;
  return (g_engine.patch.*row.field)[osc];
}

// The number a row's value display shows.
int ShownValue(const ParamBar& row, int osc) {
  switch (row.barId) {
    case IDC_TUNE_BAR: return static_cast<int>(g_engine.initialFrequency[osc]);
    case IDC_BEND_BAR: return static_cast<int>(g_engine.bendFrequency[osc]);
    case IDC_DETUNE_BAR: return 2 * g_engine.patch.DeTune[osc] - 100;
    case IDC_TIME_BAR: return g_engine.patch.Time * 20;  // milliseconds
    default: return ValueOf(row, osc);
  }
}

}  // namespace

int OscillatorForButton(int buttonId) {
  for (int n = 0; n < kOscillators; ++n)
    if (kOscButtonIds[n] == buttonId) return n;
  return -1;
}

int ScrollValue(int code, int position, int value) {
  switch (code) {
    case SB_LINELEFT: return value > kParamMin ? value - 1 : value;
    case SB_LINERIGHT: return value < kParamMax ? value + 1 : value;
    case SB_PAGELEFT: return value - 10 < kParamMin ? kParamMin : value - 10;
    case SB_PAGERIGHT: return value + 10 > kParamMax ? kParamMax : value + 10;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK:
      // The bars' range keeps the position in 0..100; a message sent by
      // hand could carry any number.
      return position < kParamMin ? kParamMin
                                  : (position > kParamMax ? kParamMax : position);
    default: return value;  // SB_TOP, SB_BOTTOM, SB_ENDSCROLL
  }
}

void SetUpParamBars(HWND dialog) {
  for (int i = 0; i < kParamBars; ++i) {
    g_bars[i] = GetDlgItem(dialog, kParamBarTable[i].barId);
    SetScrollRange(g_bars[i], SB_CTL, kParamMin, kParamMax, FALSE);
  }
}

void UpdateOscillator(HWND dialog, int osc) {
  if (osc < 0 || osc >= kOscillators) return;
  BuildCurveTables(g_engine, osc);
  RefreshPanel(dialog, osc);
}

void RefreshPanel(HWND dialog, int osc) {
  for (int i = 0; i < kParamBars; ++i)
    SetScrollPos(g_bars[i], SB_CTL, ValueOf(kParamBarTable[i], osc), TRUE);
  for (const ParamBar& row : kParamBarTable) {
    const BOOL isSigned = row.barId == IDC_DETUNE_BAR;
    SetDlgItemInt(dialog, row.valueId,
                  static_cast<UINT>(ShownValue(row, osc)), isSigned);
  }
  CheckDlgButton(dialog, IDC_MUTE,
                 g_engine.patch.Mute[osc] != 0 ? BST_CHECKED : BST_UNCHECKED);
  SendDlgItemMessageW(dialog, IDC_WAVEFORM, CB_SETCURSEL,
                      static_cast<WPARAM>(g_engine.patch.WaveForm[osc]), 0);
  // Every column of a curve view is painted whole: no erase first, so the
  // views do not flash black.
  InvalidateRect(g_volumeView, nullptr, FALSE);
  InvalidateRect(g_pitchView, nullptr, FALSE);
}

void SelectOscillator(int buttonId) {
  const int n = OscillatorForButton(buttonId);
  if (n < 0) return;
  HighlightOscillatorButton(buttonId);
  g_currentOsc = n;
  UpdateOscillator(g_mainDialog, n);
}

void HighlightOscillatorButton(int buttonId) {
  for (int id : kOscButtonIds) {
    SendMessageW(GetDlgItem(g_mainDialog, id), BM_SETSTATE,
                 id == buttonId ? TRUE : FALSE, 0);
  }
}

void HandleScroll(int code, int position, HWND bar) {
  const int osc = g_currentOsc;
  MarkPending(g_engine, osc);
  int row = -1;
  for (int i = 0; i < kParamBars; ++i)
    if (bar != nullptr && g_bars[i] == bar) row = i;
  if (row < 0) return;  // not one of the ten bars
  ScrollEditStarts(bar, osc);
  const int barId = kParamBarTable[row].barId;
  if (barId == IDC_TIME_BAR) MarkAllPending(g_engine);
  // The decay of a modulator shapes what lies below it too, so a Decay
  // change leaves the whole chain pending.
  if (barId == IDC_DECAY_BAR) {
    if (osc % 3 == 0) g_engine.pending[osc + 1] = g_engine.pending[osc + 2] = 1;
    if (osc % 3 == 1) g_engine.pending[osc + 1] = 1;
  }
  int& value = ValueOf(kParamBarTable[row], osc);
  value = ScrollValue(code, position, value);
  // For every bar and code: Time never stays 0, the sound length follows.
  if (g_engine.patch.Time < kTimeMin) g_engine.patch.Time = kTimeMin;
  SetTime(g_engine.patch, g_engine.patch.Time);
  UpdateOscillator(g_mainDialog, osc);
  ScrollEditDone(code);
}

void MuteChanged() {
  BeginEditStep();
  g_engine.patch.Mute[g_currentOsc] =
      IsDlgButtonChecked(g_mainDialog, IDC_MUTE) == BST_CHECKED ? 1 : 0;
  MarkPending(g_engine, g_currentOsc);
  EndEditStep(g_currentOsc, false);
}

void WaveFormChanged() {
  BeginEditStep();
  const LRESULT sel =
      SendDlgItemMessageW(g_mainDialog, IDC_WAVEFORM, CB_GETCURSEL, 0, 0);
  // No selection (CB_ERR) keeps the waveform the oscillator has.
  if (sel >= 0 && sel <= kWaveFormMax)
    g_engine.patch.WaveForm[g_currentOsc] = static_cast<int>(sel);
  MarkPending(g_engine, g_currentOsc);
  RenderAndShow();
  EndEditStep(g_currentOsc, true);
}

}  // namespace plimbar
