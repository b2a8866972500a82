// The about box (dialog 105), run modally over the main dialog. The other
// menu commands are the session's (editor/session.h).
#ifndef PLIMBAR_UI_MENU_COMMANDS_H
#define PLIMBAR_UI_MENU_COMMANDS_H

#include <windows.h>

namespace plimbar {

void ShowAboutBox();
// The about box: ends only on WM_COMMAND with wParam exactly IDOK.
INT_PTR CALLBACK AboutDialogProc(HWND box, UINT msg, WPARAM wp, LPARAM lp);

}  // namespace plimbar

#endif  // PLIMBAR_UI_MENU_COMMANDS_H
