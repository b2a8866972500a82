// The settings file: last folder, output format and the working patch.
#include "storage/settings.h"

#include <cstring>

namespace plimbar {

const char kFolderSection[] = "setting";
const char kFolderKey[] = "dir";
const char kFormatSection[] = "format";
const char kRateKey[] = "freq";
const char kBitsKey[] = "bits";

bool SettingsPathFor(const char* modulePath, char (&out)[kPathCapacity]) {
  static const char kExtension[] = ".ini";
  out[0] = '\0';
  if (modulePath == nullptr || modulePath[0] == '\0') return false;
  size_t len = 0;
  while (len < kPathCapacity && modulePath[len] != '\0') ++len;
  if (len >= kPathCapacity) return false;
  // The extension is the text from the last '.' of the file name; a '.' in
  // a folder name does not count.
  size_t stem = len;
  for (size_t i = len; i > 0; --i) {
    char c = modulePath[i - 1];
    if (c == '\\' || c == '/' || c == ':') break;
    if (c == '.') {
      stem = i - 1;
      break;
    }
  }
  if (stem + sizeof kExtension - 1 > kPathCapacity - 1) return false;
  std::memcpy(out, modulePath, stem);
  std::memcpy(out + stem, kExtension, sizeof kExtension);
  return true;
}

int ValidRateOrDefault(int rate) {
  return (rate == 44100 || rate == 22050 || rate == 11025) ? rate
                                                           : kDefaultRate;
}

int ValidBitsOrDefault(int bits) {
  return (bits == 16 || bits == 8) ? bits : kDefaultBits;
}

void ReadSettings(const IniBackend& ini, const char* path, Settings& s) {
  ini.readString(kFolderSection, kFolderKey, nullptr, s.lastFolder,
                 kPathCapacity, path);
  s.lastFolder[kPathCapacity - 1] = '\0';
  s.format.rate = ValidRateOrDefault(
      ini.readInt(kFormatSection, kRateKey, kDefaultRate, path));
  s.format.bits = ValidBitsOrDefault(
      ini.readInt(kFormatSection, kBitsKey, kDefaultBits, path));
}

bool WriteSettings(const IniBackend& ini, const char* path, const Patch& p,
                   const Settings& s) {
  bool ok = SavePatchFile(ini, path, p);
  ok = ini.writeString(kFolderSection, kFolderKey, s.lastFolder, path) && ok;
  ok = WriteIniInt(ini, kFormatSection, kRateKey, s.format.rate, path) && ok;
  ok = WriteIniInt(ini, kFormatSection, kBitsKey, s.format.bits, path) && ok;
  return ok;
}

}  // namespace plimbar
