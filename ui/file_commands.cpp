// The File menu commands and the patch load.
#include "ui/file_commands.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <cwchar>

#include "audio/wav_file.h"
#include "storage/ini_win32.h"
#include "storage/patch_file.h"
#include "ui/app.h"
#include "ui/edit_history.h"
#include "ui/main_dialog.h"
#include "ui/panel.h"

namespace plimbar {
namespace {

constexpr DWORD kFileDialogFlags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
const char kPatchFilter[] = "*.plb\0*.plb\0*.*\0*.*\0";
const char kWavFilter[] = "*.wav\0*.wav\0*.*\0*.*\0";
const char kPatchExtension[] = ".plb";
const char kWavExtension[] = ".wav";

// Copies src (null gives "") into a kPathCapacity buffer, cut to fit.
void CopyPath(char* dst, const char* src) {
  size_t i = 0;
  if (src != nullptr)
    for (; i < kPathCapacity - 1 && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

// The name a file dialog proposes: the current patch file name with its
// extension replaced by extension; empty when that does not fit.
void ProposeName(const char* extension, char* out) {
  CopyPath(out, AppendExtension(StripExtension(g_patchFileName), extension));
}

// One of the file dialogs, with the fields all three share: the main dialog
// as owner, the filter list with its first entry chosen, the last folder as
// initial folder, no title or default extension of its own.
OPENFILENAMEA FileDialogFields(const char* filter, char* name) {
  OPENFILENAMEA ofn = {};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = g_mainDialog;
  ofn.hInstance = g_instance;
  ofn.lpstrFilter = filter;
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = name;
  ofn.nMaxFile = kPathCapacity;
  ofn.lpstrInitialDir = g_lastFolder[0] != '\0' ? g_lastFolder : nullptr;
  ofn.Flags = kFileDialogFlags;
  return ofn;
}

// Longest path taken from the command line or a drop, in UTF-16 units.
constexpr DWORD kWidePathCapacity = 1024;

// path in the ANSI code page, which the file functions of the program take:
// as it is when every character has a code there and it fits, else its
// short name where the volume keeps one. False when neither can be held.
bool AnsiPathOf(const wchar_t* path, char (&out)[kPathCapacity]) {
  auto convert = [&out](const wchar_t* from) {
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, from, -1,
                                      out, kPathCapacity, nullptr, &lossy);
    return n > 0 && !lossy;
  };
  if (convert(path)) return true;
  wchar_t shortPath[kWidePathCapacity];
  const DWORD n = GetShortPathNameW(path, shortPath, kWidePathCapacity);
  return n > 0 && n < kWidePathCapacity && convert(shortPath);
}

// Whether the name ends in ".plb", in any letter case.
bool EndsWithPatchExtension(const wchar_t* name) {
  const size_t len = std::wcslen(name);
  if (len < 4) return false;
  for (size_t i = 0; i < 4; ++i) {
    wchar_t c = name[len - 4 + i];
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
    if (c != kPatchExtension[i]) return false;
  }
  return true;
}

void SavePatchTo(const char* name) {
  // A name that cannot take the extension is a failed save: nothing is
  // written under a shortened name.
  const char* path = AppendExtension(name, kPatchExtension);
  if (path != nullptr) SavePatchFile(kWin32Ini, path, g_engine.patch);
}

}  // namespace

void LoadWorkingPatch(const char* path) {
  if (path != nullptr && path[0] != '\0') {
    ReadPatchFile(kWin32Ini, path, g_engine.patch, nullptr);
  } else {
    ReadPatchFile(kPortableIni, "", g_engine.patch, nullptr);  // defaults
  }
  ClearHistory();  // a loaded patch starts a history of its own
  MarkAllPending(g_engine);
  for (int osc = kOscillators - 1; osc >= 0; --osc)
    UpdateOscillator(g_mainDialog, osc);
  // The panel and the curve views show the current oscillator.
  if (g_currentOsc != 0) UpdateOscillator(g_mainDialog, g_currentOsc);
  RenderAndShow();
}

void FolderOf(const char* path, char* folder) {
  CopyPath(folder, path);
  char* cut = nullptr;
  for (char* p = folder; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/') cut = p;
  if (cut != nullptr) {
    *cut = '\0';
  } else {
    folder[0] = '\0';
  }
}

void OpenPatchFile(const wchar_t* path) {
  wchar_t full[kWidePathCapacity];
  const DWORD n = GetFullPathNameW(path, kWidePathCapacity, full, nullptr);
  char name[kPathCapacity];
  if (n == 0 || n >= kWidePathCapacity || !AnsiPathOf(full, name)) return;
  const char* load = AppendExtension(name, kPatchExtension);
  if (load == nullptr) return;
  const DWORD attributes = GetFileAttributesA(load);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
    return;  // nothing there: the working patch stays
  char loadPath[kPathCapacity];
  CopyPath(loadPath, load);
  CopyPath(g_patchFileName, name);
  FolderOf(g_patchFileName, g_lastFolder);
  LoadWorkingPatch(loadPath);
}

void OpenCommandLinePatch(const wchar_t* commandLine) {
  // The program's own name, quoted or up to the first blank.
  const wchar_t* p = commandLine;
  if (*p == L'"') {
    for (++p; *p != L'\0' && *p != L'"'; ++p) {
    }
    if (*p == L'"') ++p;
  } else {
    while (*p != L'\0' && *p != L' ' && *p != L'\t') ++p;
  }
  while (*p == L' ' || *p == L'\t') ++p;
  // The first argument: quoted (blanks allowed) or up to the next blank.
  wchar_t path[kWidePathCapacity];
  size_t len = 0;
  const bool quoted = *p == L'"';
  if (quoted) ++p;
  for (; *p != L'\0' && (quoted ? *p != L'"' : *p != L' ' && *p != L'\t');
       ++p) {
    if (len + 1 >= kWidePathCapacity) return;  // longer than any path
    path[len++] = *p;
  }
  path[len] = L'\0';
  if (len > 0) OpenPatchFile(path);
}

void OpenDroppedPatch(HDROP drop) {
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  wchar_t name[kWidePathCapacity];
  for (UINT i = 0; i < count; ++i) {
    const UINT len = DragQueryFileW(drop, i, nullptr, 0);
    if (len == 0 || len >= kWidePathCapacity) continue;
    DragQueryFileW(drop, i, name, kWidePathCapacity);
    if (!EndsWithPatchExtension(name)) continue;
    OpenPatchFile(name);  // the first patch file counts, the others not
    break;
  }
  DragFinish(drop);
}

void OpenPatch() {
  char proposed[kPathCapacity];
  ProposeName(kPatchExtension, proposed);
  char previous[kPathCapacity];
  CopyPath(previous, g_patchFileName);
  g_patchFileName[0] = '\0';
  OPENFILENAMEA ofn = FileDialogFields(kPatchFilter, g_patchFileName);
  if (GetOpenFileNameA(&ofn)) {
    FolderOf(g_patchFileName, g_lastFolder);
    const char* path = AppendExtension(g_patchFileName, kPatchExtension);
    if (path != nullptr) {
      char load[kPathCapacity];
      CopyPath(load, path);
      LoadWorkingPatch(load);
    }
    return;
  }
  // Cancelled: a current name comes back with the patch extension (or as
  // it was, when that would not fit); none stays none.
  if (previous[0] != '\0')
    CopyPath(g_patchFileName, proposed[0] != '\0' ? proposed : previous);
  else
    g_patchFileName[0] = '\0';
}

void SavePatch() {
  if (g_patchFileName[0] == '\0') {
    SavePatchAs();
    return;
  }
  SavePatchTo(g_patchFileName);
}

void SavePatchAs() {
  char name[kPathCapacity];
  ProposeName(kPatchExtension, name);
  OPENFILENAMEA ofn = FileDialogFields(kPatchFilter, name);
  if (!GetSaveFileNameA(&ofn)) return;
  CopyPath(g_patchFileName, name);
  FolderOf(g_patchFileName, g_lastFolder);
  SavePatchTo(g_patchFileName);
}

void SaveWavAs() {
  char name[kPathCapacity];
  ProposeName(kWavExtension, name);
  OPENFILENAMEA ofn = FileDialogFields(kWavFilter, name);
  if (!GetSaveFileNameA(&ofn)) return;
  CopyPath(g_patchFileName, name);
  // The sound as the last render left it; a name that cannot take the
  // extension writes nothing.
  const char* path = AppendExtension(name, kWavExtension);
  if (path != nullptr) WriteWavFile(g_engine, path);
}

}  // namespace plimbar
