// The Help menu's help file, shown by the system's HTML Help control. The
// control is loaded at run time on the first request (found through its
// registered class id, else by its bare file name) and kept loaded; once
// loading has failed, no later request tries again.
#ifndef PLIMBAR_UI_HELP_H
#define PLIMBAR_UI_HELP_H

#include <windows.h>

namespace plimbar {

constexpr int kHelpPathCapacity = 260;
constexpr UINT kHelpDisplayTopic = 0;  // HH_DISPLAY_TOPIC

extern const char kHelpFileName[];   // "Plimbar.chm"
extern const char kHelpTopic[];      // "index.htm"
extern const char kHelpControlKey[]; // the control's InprocServer32 key

// The control's registered path (default value of its InprocServer32 key
// under HKEY_CLASSES_ROOT) into path (kHelpPathCapacity bytes); false when
// it cannot be read.
bool FindHelpControlPath(char* path);

// Calls the control's HtmlHelpA entry with the four arguments; null when
// the control or its entry is not available.
HWND CallHtmlHelp(HWND caller, const char* file, UINT command, DWORD_PTR data);

// The help file to ask for: "Plimbar.chm" next to the program when that
// file exists (full path), else the bare name. Writes kHelpPathCapacity
// bytes at most.
void HelpFilePath(char* out);

// Menu item "PlimbarMakerのヘルプ".
void ShowHelp();

// The run-time loading, replaceable by tests.
struct HelpLoader {
  bool (*findPath)(char* path);
  HMODULE (*load)(const char* name);
  FARPROC (*entry)(HMODULE module, LPCSTR name);
};
extern const HelpLoader kSystemHelpLoader;
// Puts in another loader and forgets the loaded control and the latch.
void ResetHelpForTest(const HelpLoader& loader);

}  // namespace plimbar

#endif  // PLIMBAR_UI_HELP_H
