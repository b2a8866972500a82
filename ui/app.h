// Program-wide state of PlimbarMaker's window side. One instance of each,
// from start to exit; written only by the file named beside it.
#ifndef PLIMBAR_UI_APP_H
#define PLIMBAR_UI_APP_H

#include <windows.h>

#include "engine/engine.h"
#include "storage/patch_file.h"

namespace plimbar {

// The one engine: patch, output format, tables and sound (about 7.5 MB of
// static storage). Written by the panel, the file commands and the dialog.
extern Engine g_engine;

extern HINSTANCE g_instance;  // the program's instance (main.cpp)
extern HWND g_mainDialog;     // the main dialog, 0 before it exists (main_dialog.cpp)

// The three graph views (main_dialog.cpp creates them).
extern HWND g_waveView;
extern HWND g_pitchView;
extern HWND g_volumeView;

// The oscillator the panel edits, 0..8 (panel.cpp).
extern int g_currentOsc;

// Current patch file name, empty when there is none (file_commands.cpp).
extern char g_patchFileName[kPathCapacity];
// Folder the file dialogs open in; read from and written to the settings
// file (file_commands.cpp, main.cpp).
extern char g_lastFolder[kPathCapacity];
// Settings file next to the program, empty when its name does not fit
// (main.cpp).
extern char g_settingsPath[kPathCapacity];

}  // namespace plimbar

#endif  // PLIMBAR_UI_APP_H
