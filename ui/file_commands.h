// The File menu: open, save and save-as of patch files, WAV export, and the
// load of a patch into the running program.
#ifndef PLIMBAR_UI_FILE_COMMANDS_H
#define PLIMBAR_UI_FILE_COMMANDS_H

namespace plimbar {

// Reads the patch in the INI file at path (values out of range clamped,
// a missing file giving the default patch), rebuilds the tables of all
// nine oscillators, OSC9 first, shows the current oscillator and renders.
// An empty path loads the default patch.
void LoadWorkingPatch(const char* path);

// The folder part of path: everything before its last '\' (or '/'); empty
// when there is none. Writes at most kPathCapacity bytes into folder.
void FolderOf(const char* path, char* folder);

void OpenPatch();    // "開く(&O)..."
void SavePatch();    // "上書き保存(&S)"
void SavePatchAs();  // "名前を付けて保存(&A)..."
void SaveWavAs();    // "WAVを保存(&W)"

}  // namespace plimbar

#endif  // PLIMBAR_UI_FILE_COMMANDS_H
