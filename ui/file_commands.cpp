// The File menu's dialogs, the command line and the drop.
#include "ui/file_commands.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>
#include <cwchar>

#include "storage/ini_win32.h"
#include "ui/app.h"

namespace plimbar {
namespace {

constexpr DWORD kFileDialogFlags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
const char kPatchFilter[] = "*.plb\0*.plb\0*.*\0*.*\0";
const char kWavFilter[] = "*.wav\0*.wav\0*.*\0*.*\0";
const char kPatchExtension[] = ".plb";

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
  ofn.lpstrInitialDir = g_session.lastFolder[0] != '\0' ? g_session.lastFolder : nullptr;
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

}  // namespace

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
  ShowChanges(OpenNamedPatch(g_session, kWin32Ini, name));
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
  char name[kPathCapacity] = "";  // the name field starts empty
  BeginOpen(g_session);
  OPENFILENAMEA ofn = FileDialogFields(kPatchFilter, name);
  ShowChanges(EndOpen(g_session, kWin32Ini, GetOpenFileNameA(&ofn) ? name : nullptr));
}

void SavePatch() {
  if (!SaveToCurrentName(g_session, kWin32Ini, nullptr)) SavePatchAs();
}

void SavePatchAs() {
  char name[kPathCapacity];
  ProposedName(g_session, kSaveAsDialog, name);
  OPENFILENAMEA ofn = FileDialogFields(kPatchFilter, name);
  if (GetSaveFileNameA(&ofn)) SaveAsConfirmed(g_session, kWin32Ini, name);
}

void SaveWavAs() {
  char name[kPathCapacity];
  ProposedName(g_session, kExportDialog, name);
  OPENFILENAMEA ofn = FileDialogFields(kWavFilter, name);
  if (GetSaveFileNameA(&ofn)) ExportConfirmed(g_session, name);
}

}  // namespace plimbar
