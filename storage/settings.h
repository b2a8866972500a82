// The settings file: the program's state between runs, kept in an INI file
// next to the program (its path with ".ini" in place of ".exe").
//
//   [Setting]         the working patch (see patch_file.h), and
//   dir=C:\Sounds     the last folder of the file dialogs
//   [Version]
//   Version=20
//   [format]
//   freq=44100        44100, 22050 or 11025
//   bits=16           16 or 8
//
// Section names match in any letter case, so "setting" and "Setting" are
// one section. Read once at start, written once at exit.
#ifndef PLIMBAR_STORAGE_SETTINGS_H
#define PLIMBAR_STORAGE_SETTINGS_H

#include "engine/engine.h"
#include "storage/ini.h"
#include "storage/patch_file.h"

namespace plimbar {

extern const char kFolderSection[];  // "setting"
extern const char kFolderKey[];      // "dir"
extern const char kFormatSection[];  // "format"
extern const char kRateKey[];        // "freq"
extern const char kBitsKey[];        // "bits"
constexpr int kDefaultRate = 44100;
constexpr int kDefaultBits = 16;

struct Settings {
  char lastFolder[kPathCapacity];  // empty: no folder yet
  OutputFormat format;
};

// The settings file name for the program file at modulePath: the path cut
// at the last '.' of its file name, then ".ini"; ".ini" appended when the
// file name has no '.'. False (and out empty) when modulePath is empty or
// the result does not fit in kPathCapacity - 1 characters.
bool SettingsPathFor(const char* modulePath, char (&out)[kPathCapacity]);

// rate when it is one of 44100, 22050, 11025, else 44100.
int ValidRateOrDefault(int rate);
// bits when it is 16 or 8, else 16.
int ValidBitsOrDefault(int bits);

// Reads "dir" (empty when missing), "freq" and "bits"; a rate or depth the
// program does not offer falls back to 44100 Hz or 16 bits. A missing file
// gives the defaults. The patch is read separately (ReadPatchFile).
void ReadSettings(const IniBackend& ini, const char* path, Settings& s);

// Writes, in this order: the patch (SavePatchFile), "dir", "freq", "bits".
// False when any write failed; later writes are still attempted.
bool WriteSettings(const IniBackend& ini, const char* path, const Patch& p,
                   const Settings& s);

}  // namespace plimbar

#endif  // PLIMBAR_STORAGE_SETTINGS_H
