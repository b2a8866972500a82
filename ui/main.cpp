// PlimbarMaker: entry point. Works out the settings file, registers the
// views, runs the main dialog and stores the working state at exit.
#include <windows.h>

#include "audio/playback.h"
#include "resources/resource.h"
#include "storage/ini_win32.h"
#include "storage/settings.h"
#include "ui/app.h"
#include "ui/main_dialog.h"
#include "ui/views.h"

using namespace plimbar;

namespace {

// The settings file is the program's path with ".ini" for ".exe"; a path
// that does not fit leaves it empty, and then nothing is read or written.
void FixSettingsPath() {
  char module[kPathCapacity];
  DWORD n = GetModuleFileNameA(nullptr, module, kPathCapacity);
  if (n == 0 || n >= static_cast<DWORD>(kPathCapacity)) return;
  module[n] = '\0';
  SettingsPathFor(module, g_settingsPath);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  ResetSession(g_session);
  FixSettingsPath();
  if (!RegisterViewClasses(instance)) return 0;
  // The template is Unicode; running the dialog as a Unicode window keeps
  // the Japanese texts of its controls whatever the ANSI code page.
  DialogBoxParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                  MainDialogProc, 0);
  // A sound still playing is stopped and its device released before the
  // settings are written.
  StopPlayback();
  // A dialog that never came up read no settings: the stored ones stay.
  ExitSession(g_session, kWin32Ini, g_settingsPath);
  return 0;
}
