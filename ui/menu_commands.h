// The Edit and Settings menus and the about box: the output format, the
// oscillator clipboard (inside the program; the system clipboard is not
// used) and the version box.
#ifndef PLIMBAR_UI_MENU_COMMANDS_H
#define PLIMBAR_UI_MENU_COMMANDS_H

#include <windows.h>

namespace plimbar {

// One oscillator's settings as Copy took them: every parameter but
// Distortion; the patch-wide Time is not part of it either.
struct OscillatorClipboard {
  int filled;  // 0 until the first copy
  int Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve, Decay,
      DecayCurve, Mute, WaveForm;
};

extern OscillatorClipboard g_oscClipboard;

// "44KHz", "22KHz", "11KHz": set the rate, update the check marks, render.
void SetOutputRate(int rate);
// "16Bits", "8Bits": set the depth, update the check marks, render.
void SetOutputBits(int bits);

// Takes the current oscillator's eleven values into the clipboard.
void CopyOscillator();
// Writes the clipboard into the current oscillator (Distortion and Time
// kept), marks it and the oscillators above it pending, rebuilds its
// tables and refreshes the panel. Does not render. Nothing with an empty
// clipboard.
void PasteOscillator();

// Runs the about box (dialog 105) modally, owned by the main dialog.
void ShowAboutBox();
// The about box: ends only on WM_COMMAND with wParam exactly IDOK.
INT_PTR CALLBACK AboutDialogProc(HWND box, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace plimbar

#endif  // PLIMBAR_UI_MENU_COMMANDS_H
