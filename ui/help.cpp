// The help viewer.
#include "ui/help.h"

#include "ui/app.h"

namespace plimbar {

const char kHelpFileName[] = "Plimbar.chm";
const char kHelpTopic[] = "index.htm";
const char kHelpControlKey[] =
    "CLSID\\{ADB880A6-D8FF-11CF-9377-00AA003B7A11}\\InprocServer32";

namespace {

// The entry of the control at ordinal 14 (its ANSI help call).
using HtmlHelpEntry = HWND(WINAPI*)(HWND, LPCSTR, UINT, DWORD_PTR);

HMODULE SystemLoad(const char* name) { return LoadLibraryA(name); }
FARPROC SystemEntry(HMODULE module, LPCSTR name) {
  return GetProcAddress(module, name);
}

HelpLoader g_loader = {FindHelpControlPath, SystemLoad, SystemEntry};
HMODULE g_control = nullptr;       // never released
HtmlHelpEntry g_entry = nullptr;   // looked up once
int g_loadFailed = 0;              // latch: set once, never cleared

}  // namespace

const HelpLoader kSystemHelpLoader = {FindHelpControlPath, SystemLoad,
                                      SystemEntry};

bool FindHelpControlPath(char* path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CLASSES_ROOT, kHelpControlKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return false;
  DWORD size = kHelpPathCapacity;
  LONG r = RegQueryValueExA(key, nullptr, nullptr, nullptr,
                            reinterpret_cast<BYTE*>(path), &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return false;
  // The value need not end in a null; make sure the buffer does.
  if (size >= static_cast<DWORD>(kHelpPathCapacity)) size = kHelpPathCapacity - 1;
  path[size] = '\0';
  return true;
}

HWND CallHtmlHelp(HWND caller, const char* file, UINT command, DWORD_PTR data) {
  if (g_loadFailed != 0) return nullptr;  // no second attempt
  if (g_control == nullptr) {
    char path[kHelpPathCapacity] = "";
    if (g_loader.findPath(path)) g_control = g_loader.load(path);
    if (g_control == nullptr) g_control = g_loader.load("hhctrl.ocx");
    if (g_control == nullptr) {
      g_loadFailed = 1;
      return nullptr;
    }
  }
  if (g_entry == nullptr) {
    g_entry = reinterpret_cast<HtmlHelpEntry>(
        reinterpret_cast<void*>(g_loader.entry(g_control, MAKEINTRESOURCEA(14))));
    if (g_entry == nullptr) {
      g_loadFailed = 1;
      return nullptr;
    }
  }
  return g_entry(caller, file, command, data);
}

void HelpFilePath(char* out) {
  char module[kHelpPathCapacity];
  DWORD n = GetModuleFileNameA(nullptr, module, kHelpPathCapacity);
  int slash = -1;
  if (n > 0 && n < static_cast<DWORD>(kHelpPathCapacity)) {
    for (DWORD i = 0; i < n; ++i)
      if (module[i] == '\\' || module[i] == '/') slash = static_cast<int>(i);
  }
  const int nameLength = sizeof kHelpFileName - 1;
  if (slash >= 0 && slash + 1 + nameLength < kHelpPathCapacity) {
    for (int i = 0; i <= slash; ++i) out[i] = module[i];
    for (int i = 0; i <= nameLength; ++i) out[slash + 1 + i] = kHelpFileName[i];
    if (GetFileAttributesA(out) != INVALID_FILE_ATTRIBUTES) return;
  }
  for (int i = 0; i <= nameLength; ++i) out[i] = kHelpFileName[i];
}

void ShowHelp() {
  char file[kHelpPathCapacity];
  HelpFilePath(file);
  CallHtmlHelp(g_mainDialog, file, kHelpDisplayTopic,
               reinterpret_cast<DWORD_PTR>(kHelpTopic));
}

void ResetHelpForTest(const HelpLoader& loader) {
  g_loader = loader;
  g_control = nullptr;
  g_entry = nullptr;
  g_loadFailed = 0;
}

}  // namespace plimbar
