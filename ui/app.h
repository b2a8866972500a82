// Program-wide state of PlimbarMaker's window side. One instance of each,
// from start to exit; written only by the file named beside it.
#ifndef PLIMBAR_UI_APP_H
#define PLIMBAR_UI_APP_H

#include <windows.h>

#include "editor/session.h"

namespace plimbar {

// The one editing session: patch, format, sound, current oscillator,
// clipboard, history and file names (about 8 MB of static storage). Changed
// only through the editor's operations, by the dialog's handlers.
extern Session g_session;

extern HINSTANCE g_instance;  // the program's instance (main.cpp)
extern HWND g_mainDialog;     // the main dialog, 0 before it exists (main_dialog.cpp)

// The three graph views (main_dialog.cpp creates them).
extern HWND g_waveView;
extern HWND g_pitchView;
extern HWND g_volumeView;

// Settings file next to the program, empty when its name does not fit
// (main.cpp).
extern char g_settingsPath[kPathCapacity];

// Brings up to date what an editor operation says (Refresh bits): the
// panel, the views, the menu marks, the pressed OSC button (main_dialog.cpp).
void ShowChanges(unsigned refresh);

}  // namespace plimbar

#endif  // PLIMBAR_UI_APP_H
