// The parameter panel of the main dialog: ten scroll bars with their value
// displays, the mute box, the waveform list and the nine OSC buttons. They
// show what the session says; their messages go to the session's
// operations (main_dialog.cpp).
#ifndef PLIMBAR_UI_PANEL_H
#define PLIMBAR_UI_PANEL_H

#include <windows.h>

namespace plimbar {

// Remembers the handles of the ten bars and sets their range to 0..100.
void SetUpParamBars(HWND dialog);

// The ParamBar of a scroll message's bar, or -1 for any other window.
int BarOfWindow(HWND bar);

// Puts the current oscillator's values and the sound length into every
// control of the panel.
void RefreshPanel(HWND dialog);

// Shows the current oscillator's OSC button pressed and the other eight
// released.
void HighlightOscillatorButton(HWND dialog);

}  // namespace plimbar

#endif  // PLIMBAR_UI_PANEL_H
