// INI access through the Windows private-profile functions.
#include "storage/ini_win32.h"

#include <windows.h>

namespace plimbar {
namespace {

int ReadInt(const char* section, const char* key, int def, const char* path) {
  // The platform returns the value as UINT; negative values come back as
  // their two's complement, which the cast restores.
  return static_cast<int>(GetPrivateProfileIntA(section, key, def, path));
}

int ReadString(const char* section, const char* key, const char* def,
               char* buf, int size, const char* path) {
  if (buf == nullptr || size <= 0) return 0;
  DWORD n = GetPrivateProfileStringA(section, key, def != nullptr ? def : "",
                                     buf, static_cast<DWORD>(size), path);
  buf[size - 1] = '\0';
  return static_cast<int>(n);
}

bool WriteString(const char* section, const char* key, const char* value,
                 const char* path) {
  return WritePrivateProfileStringA(section, key, value, path) != FALSE;
}

}  // namespace

const IniBackend kWin32Ini = {ReadInt, ReadString, WriteString};

}  // namespace plimbar
