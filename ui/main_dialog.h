// The main dialog: its initialisation and the dispatch of every message and
// command to the code that carries it out.
#ifndef PLIMBAR_UI_MAIN_DIALOG_H
#define PLIMBAR_UI_MAIN_DIALOG_H

#include <windows.h>

namespace plimbar {

// Procedure of dialog IDD_MAIN. Returns FALSE for every message.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);

// Whether the main dialog ran its initialisation (and so read the settings
// and loaded the working patch). The exit writes the settings only then.
bool MainDialogWasInitialised();

// Renders what is pending, mixes, and redraws the waveform view.
void RenderAndShow();

// Check marks of the rate and depth items of the Settings menu.
void UpdateFormatChecks(HWND dialog);

}  // namespace plimbar

#endif  // PLIMBAR_UI_MAIN_DIALOG_H
