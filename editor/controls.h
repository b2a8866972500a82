// The controls of the main dialog that stand for the editor's parameter
// bars and oscillators, by their resource ids: one table for every face
// (the Windows dialog and the page built from the same template).
#ifndef PLIMBAR_EDITOR_CONTROLS_H
#define PLIMBAR_EDITOR_CONTROLS_H

#include "editor/session.h"
#include "resources/resource.h"

namespace plimbar {

// Each bar's scroll bar and value display, in ParamBar order.
struct BarControls {
  int bar;
  int value;
};
constexpr BarControls kBarControls[kParamBars] = {
    {IDC_TUNE_BAR, IDC_TUNE_VALUE},         {IDC_DETUNE_BAR, IDC_DETUNE_VALUE},
    {IDC_BEND_BAR, IDC_BEND_VALUE},         {IDC_BENDCURVE_BAR, IDC_BENDCURVE_VALUE},
    {IDC_VOLUME_BAR, IDC_VOLUME_VALUE},     {IDC_ATTACK_BAR, IDC_ATTACK_VALUE},
    {IDC_ATTACKCURVE_BAR, IDC_ATTACKCURVE_VALUE}, {IDC_DECAY_BAR, IDC_DECAY_VALUE},
    {IDC_DECAYCURVE_BAR, IDC_DECAYCURVE_VALUE},   {IDC_TIME_BAR, IDC_TIME_VALUE}};

// The OSC buttons in oscillator order (OSC1..OSC9).
constexpr int kOscButtonIds[kOscillators] = {IDC_OSC1, IDC_OSC2, IDC_OSC3, IDC_OSC4, IDC_OSC5,
                                             IDC_OSC6, IDC_OSC7, IDC_OSC8, IDC_OSC9};

// The oscillator 0..8 of an OSC button's id, or -1.
constexpr int OscillatorOfButton(int id) {
  for (int n = 0; n < kOscillators; ++n)
    if (kOscButtonIds[n] == id) return n;
  return -1;
}

// The ParamBar of a scroll bar's id, or -1.
constexpr int BarOfControl(int id) {
  for (int b = 0; b < kParamBars; ++b)
    if (kBarControls[b].bar == id) return b;
  return -1;
}

}  // namespace plimbar

#endif  // PLIMBAR_EDITOR_CONTROLS_H
