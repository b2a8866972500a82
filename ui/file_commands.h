// The File menu: open, save and save-as of patch files, WAV export, and the
// load of a patch into the running program.
#ifndef PLIMBAR_UI_FILE_COMMANDS_H
#define PLIMBAR_UI_FILE_COMMANDS_H

#include <windows.h>
#include <shellapi.h>

namespace plimbar {

// Reads the patch in the INI file at path (values out of range clamped,
// a missing file giving the default patch), rebuilds the tables of all
// nine oscillators, OSC9 first, shows the current oscillator and renders.
// An empty path loads the default patch.
void LoadWorkingPatch(const char* path);

// The folder part of path: everything before its last '\' (or '/'); empty
// when there is none. Writes at most kPathCapacity bytes into folder.
void FolderOf(const char* path, char* folder);

// Opens the patch file at path (UTF-16, relative to the working folder or
// whole) as "開く" does: it becomes the current patch file name, its folder
// the last folder, and the patch is loaded and rendered. A name the ANSI
// file functions cannot hold goes by its short name where the volume has
// one. A missing file, or a name that cannot be held, changes nothing.
void OpenPatchFile(const wchar_t* path);

// PlimbarMaker.exe PATH: opens the first argument of the command line
// (quoted when it holds blanks), if there is one.
void OpenCommandLinePatch(const wchar_t* commandLine);

// Files dropped on the main window: opens the first .plb among them; with
// none, nothing. Releases the drop.
void OpenDroppedPatch(HDROP drop);

void OpenPatch();    // "開く(&O)..."
void SavePatch();    // "上書き保存(&S)"
void SavePatchAs();  // "名前を付けて保存(&A)..."
void SaveWavAs();    // "WAVを保存(&W)"

}  // namespace plimbar

#endif  // PLIMBAR_UI_FILE_COMMANDS_H
