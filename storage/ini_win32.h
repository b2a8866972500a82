// INI access through the Windows private-profile functions: the back end
// the program uses. Windows builds only.
#ifndef PLIMBAR_STORAGE_INI_WIN32_H
#define PLIMBAR_STORAGE_INI_WIN32_H

#include "storage/ini.h"

namespace plimbar {

// GetPrivateProfileIntA, GetPrivateProfileStringA and
// WritePrivateProfileStringA behind the IniBackend seam. Paths must be
// full paths: the platform looks for a bare file name in the Windows folder.
extern const IniBackend kWin32Ini;

}  // namespace plimbar

#endif  // PLIMBAR_STORAGE_INI_WIN32_H
