// Definitions of the program-wide state declared in app.h.
#include "ui/app.h"

namespace plimbar {

Session g_session;
HINSTANCE g_instance = nullptr;
HWND g_mainDialog = nullptr;
HWND g_waveView = nullptr;
HWND g_pitchView = nullptr;
HWND g_volumeView = nullptr;
char g_settingsPath[kPathCapacity] = "";

}  // namespace plimbar
