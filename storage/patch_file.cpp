// Patch files: the reader, the writer and the two file-name helpers.
#include "storage/patch_file.h"

#include <cstdio>
#include <cstring>
#include <optional>

namespace plimbar {

const char kPatchSection[] = "Setting";
const char kVersionSection[] = "Version";

// Defaults are those of a file that lacks the key. They differ from the
// patch the program starts with in one place: a missing Decay reads as 100
// for every oscillator, while the start-up patch has 50 for the carriers.
const PatchParamInfo kPatchParams[kPatchKeysPerOscillator] = {
    {"Tune", &Patch::Tune, 60, 60, kParamMin, kParamMax},
    {"DeTune", &Patch::DeTune, 50, 50, kParamMin, kParamMax},
    {"Bend", &Patch::Bend, 50, 50, kParamMin, kParamMax},
    {"BendCurve", &Patch::BendCurve, 50, 50, kParamMin, kParamMax},
    {"Volume", &Patch::Volume, 80, 0, kParamMin, kParamMax},
    {"Attack", &Patch::Attack, 0, 0, kParamMin, kParamMax},
    {"AttackCurve", &Patch::AttackCurve, 0, 0, kParamMin, kParamMax},
    {"Decay", &Patch::Decay, 100, 100, kParamMin, kParamMax},
    {"DecayCurve", &Patch::DecayCurve, 50, 50, kParamMin, kParamMax},
    {"Distortion", &Patch::Distortion, 50, 50, kParamMin, kParamMax},
    {"Mute", &Patch::Mute, 0, 0, 0, 1},
    {"WaveForm", &Patch::WaveForm, 0, 0, kParamMin, kWaveFormMax},
};

namespace {

constexpr int kDefaultTime = 50;
constexpr int kMaxNameLength = kPathCapacity - 1;

// The reader takes the keys of one oscillator in this order (indices into
// kPatchParams): Volume, Attack, AttackCurve, Decay, DecayCurve, Tune,
// DeTune, Bend, BendCurve, Distortion, Mute, WaveForm.
constexpr int kReadOrder[kPatchKeysPerOscillator] = {4, 5, 6, 7, 8, 0,
                                                     1, 2, 3, 9, 10, 11};

// "Tune" and oscillator 0 give "Tune1".
void FormatKey(char (&key)[16], const char* stem, int osc) {
  std::snprintf(key, sizeof key, "%s%d", stem, osc + 1);
}

// Brings value into min..max, noting the key in report when it moved.
int Clamp(const char* key, int value, int min, int max,
          PatchReadReport* report) {
  int used = value < min ? min : (value > max ? max : value);
  if (used != value && report != nullptr &&
      report->clampedCount < kPatchKeyCount) {
    ClampedKey& c = report->clamped[report->clampedCount++];
    std::snprintf(c.key, sizeof c.key, "%s", key);
    c.read = value;
    c.used = used;
  }
  return used;
}

// strlen that stops looking after limit + 1 characters (then the result is
// limit + 1): a name without its terminator is never read past that.
size_t BoundedLength(const char* s, size_t limit) {
  size_t n = 0;
  while (n <= limit && s[n] != '\0') ++n;
  return n;
}

bool EndsWithIgnoringCase(const char* s, size_t len, const char* tail,
                          size_t tailLen) {
  if (tailLen > len) return false;
  const char* p = s + (len - tailLen);
  for (size_t i = 0; i < tailLen; ++i) {
    char a = p[i], b = tail[i];
    if (a >= 'A' && a <= 'Z') a = static_cast<char>(a - 'A' + 'a');
    if (b >= 'A' && b <= 'Z') b = static_cast<char>(b - 'A' + 'a');
    if (a != b) return false;
  }
  return true;
}

}  // namespace

void ReadPatchFile(const IniBackend& ini, const char* path, Patch& p,
                   PatchReadReport* report) {
  if (report != nullptr) report->clampedCount = 0;
  // Through the portable layer the file is read once for all 110 keys, not
  // once per key.
  std::optional<PortableIniHold> once;
  if (ini.readInt == kPortableIni.readInt && path != nullptr) {
    once.emplace(path, PortableIniHold::kFromFile);
  }
  char key[16];
  for (int osc = 0; osc < kOscillators; ++osc) {
    for (int order : kReadOrder) {
      const PatchParamInfo& info = kPatchParams[order];
      FormatKey(key, info.name, osc);
      int def = osc == 0 ? info.defaultFirst : info.defaultOthers;
      int value = ini.readInt(kPatchSection, key, def, path);
      if (info.field == &Patch::Mute) {
        value = value != 0 ? 1 : 0;  // any nonzero value means muted
      } else {
        value = Clamp(key, value, info.min, info.max, report);
      }
      (p.*info.field)[osc] = value;
    }
  }
  int time = ini.readInt(kPatchSection, "Time", kDefaultTime, path);
  SetTime(p, Clamp("Time", time, kTimeMin, kTimeMax, report));
}

bool SavePatchFile(const IniBackend& ini, const char* path, const Patch& p) {
  char key[16];
  for (int osc = 0; osc < kOscillators; ++osc) {
    for (const PatchParamInfo& info : kPatchParams) {
      FormatKey(key, info.name, osc);
      int value = (p.*info.field)[osc];
      if (info.field == &Patch::Mute) value = value != 0 ? 1 : 0;
      if (!WriteIniInt(ini, kPatchSection, key, value, path)) return false;
    }
  }
  if (!WriteIniInt(ini, kPatchSection, "Time", p.Time, path)) return false;
  return WriteIniInt(ini, kVersionSection, "Version", kPatchFileVersion, path);
}

bool WriteIniInt(const IniBackend& ini, const char* section, const char* key,
                 int value, const char* path) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", value);
  return ini.writeString(section, key, text, path);
}

const char* StripExtension(const char* name) {
  static char result[kPathCapacity];
  if (name == nullptr) return nullptr;
  size_t len = BoundedLength(name, kMaxNameLength);
  if (len > kMaxNameLength) return nullptr;
  char copy[kPathCapacity];
  std::memcpy(copy, name, len);
  copy[len] = '\0';
  // The first '.' of the file name: folders such as "PlimbarMaker-0.1-win32"
  // (where the release unpacks) or "taro.yamada" have dots of their own.
  const char* file = copy;
  for (const char* p = copy; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/') file = p + 1;
  const char* dot = std::strchr(file, '.');
  if (dot != nullptr && len - static_cast<size_t>(dot - copy) <= 4) {
    len = static_cast<size_t>(dot - copy);
    copy[len] = '\0';
  }
  std::memcpy(result, copy, len + 1);
  return result;
}

const char* AppendExtension(const char* name, const char* extension) {
  static char result[kPathCapacity];
  if (name == nullptr || extension == nullptr) return nullptr;
  size_t len = BoundedLength(name, kMaxNameLength);
  size_t extLen = BoundedLength(extension, kMaxNameLength);
  if (len > kMaxNameLength || extLen > kMaxNameLength) return nullptr;
  char copy[kPathCapacity];
  std::memcpy(copy, name, len);
  copy[len] = '\0';
  if (!(len >= 4 && EndsWithIgnoringCase(copy, len, extension, extLen))) {
    if (len + extLen > kMaxNameLength) return nullptr;
    std::memcpy(copy + len, extension, extLen);
    len += extLen;
    copy[len] = '\0';
  }
  std::memcpy(result, copy, len + 1);
  return result;
}

}  // namespace plimbar
