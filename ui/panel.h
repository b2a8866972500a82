// The parameter panel: ten scroll bars, the mute box, the waveform combo
// and the nine OSC buttons of the main dialog, all editing the current
// oscillator (and the patch-wide Time).
#ifndef PLIMBAR_UI_PANEL_H
#define PLIMBAR_UI_PANEL_H

#include <windows.h>

#include "engine/engine.h"

namespace plimbar {

constexpr int kParamBars = 10;

// One scroll-bar row: its bar and value display, and the patch value it
// edits (field of the current oscillator, or Time when field is null).
struct ParamBar {
  int barId;
  int valueId;
  int (Patch::*field)[kOscillators];
};

// The ten rows in the order the dialog sets them up and refreshes them:
// Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve, Decay,
// DecayCurve, Time.
extern const ParamBar kParamBarTable[kParamBars];

// OSC button ids in oscillator order (OSC1..OSC9).
extern const int kOscButtonIds[kOscillators];

// Index 0..8 of an OSC button id, or -1.
int OscillatorForButton(int buttonId);

// A scroll-bar code applied to value (0..100): line steps of 1 that stop at
// 0 and 100, page steps of 10 clamped to 0..100, thumb position and track
// take position (kept in 0..100), every other code leaves the value.
int ScrollValue(int code, int position, int value);

// Remembers the handles of the ten bars and sets their range to 0..100.
void SetUpParamBars(HWND dialog);

// Rebuilds oscillator osc's curve tables, then RefreshPanel.
void UpdateOscillator(HWND dialog, int osc);

// Puts oscillator osc's values and the sound length into every control of
// the panel and redraws the volume and pitch views.
void RefreshPanel(HWND dialog, int osc);

// Makes the oscillator of an OSC button current, shows the button pressed
// and refreshes the panel. Marks nothing and renders nothing.
void SelectOscillator(int buttonId);

// Shows one OSC button pressed and the other eight released.
void HighlightOscillatorButton(int buttonId);

// A WM_HSCROLL/WM_VSCROLL from bar: marks, edits the value the bar stands
// for by code, keeps Time at least 1 and refreshes the panel.
void HandleScroll(int code, int position, HWND bar);

// The mute box was clicked: store its state, mark the oscillator.
void MuteChanged();

// A new waveform was chosen: store it, mark the oscillator and render.
void WaveFormChanged();

}  // namespace plimbar

#endif  // PLIMBAR_UI_PANEL_H
