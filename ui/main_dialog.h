// The main dialog: its initialisation and the dispatch of every message and
// command to the session's operations.
#ifndef PLIMBAR_UI_MAIN_DIALOG_H
#define PLIMBAR_UI_MAIN_DIALOG_H

#include <windows.h>

namespace plimbar {

// Procedure of dialog IDD_MAIN. Returns FALSE for every message.
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace plimbar

#endif  // PLIMBAR_UI_MAIN_DIALOG_H
