// The File menu's dialogs, and patches opened from the command line or by a
// drop. The names the dialogs propose and what a confirmed or cancelled
// dialog changes are the session's (editor/session.h); here the platform's
// dialogs and paths.
#ifndef PLIMBAR_UI_FILE_COMMANDS_H
#define PLIMBAR_UI_FILE_COMMANDS_H

#include <windows.h>
#include <shellapi.h>

namespace plimbar {

// Opens the patch file at path (UTF-16, relative to the working folder or
// whole) as "開く" does. A name the ANSI file functions cannot hold goes by
// its short name where the volume has one. A missing file, or a name that
// cannot be held, changes nothing.
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
