// The about box.
#include "ui/menu_commands.h"

#include "resources/resource.h"
#include "ui/app.h"

namespace plimbar {

void ShowAboutBox() {
  // The template's texts are Unicode; a Unicode box keeps the Japanese
  // caption whatever the ANSI code page, as the main dialog does.
  DialogBoxParamW(g_instance, MAKEINTRESOURCEW(IDD_ABOUT), g_mainDialog,
                  AboutDialogProc, 0);
}

INT_PTR CALLBACK AboutDialogProc(HWND box, UINT msg, WPARAM wp, LPARAM) {
  // Only "OK" and Enter (IDOK with notification 0) close the box; Esc and
  // the close box send IDCANCEL, which is ignored.
  if (msg == WM_COMMAND && wp == IDOK) {
    EndDialog(box, 0);
    return TRUE;
  }
  return FALSE;
}

}  // namespace plimbar
