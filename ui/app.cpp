// Definitions of the program-wide state declared in app.h.
#include "ui/app.h"

namespace plimbar {

Engine g_engine;
HINSTANCE g_instance = nullptr;
HWND g_mainDialog = nullptr;
HWND g_waveView = nullptr;
HWND g_pitchView = nullptr;
HWND g_volumeView = nullptr;
int g_currentOsc = 0;
char g_patchFileName[kPathCapacity] = "";
char g_lastFolder[kPathCapacity] = "";
char g_settingsPath[kPathCapacity] = "";

}  // namespace plimbar
