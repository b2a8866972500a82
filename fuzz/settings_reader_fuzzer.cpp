// Fuzz target: a settings file of any bytes, as a crash elsewhere or a
// hand edit may leave it.
//
// The input goes the way the settings file goes at start and at exit:
// ReadSettings and ReadPatchFile read it, then WriteSettings writes the state
// back over it (and into a new file), and both are read again.
// Properties, beyond surviving under the sanitizers:
//   - freq ends as 44100, 22050 or 11025 and bits as 16 or 8: the value of
//     the file when it is one of these, else 44100 or 16;
//   - the last folder is terminated within its 260 bytes and is the file's
//     "dir" of section "setting" (any case), cut to 259 characters, or empty;
//   - the working patch read from it is in range;
//   - written to a new file the state gives the exact expected text, and
//     written over the input or to a new file it reads back the same
//     (folder, format and patch), when the folder is text the INI syntax
//     can carry unchanged (no blanks at its ends, not in quotes).
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/ini_checks.h"
#include "fuzz/reference_ini.h"
#include "storage/ini.h"
#include "storage/patch_file.h"
#include "storage/settings.h"

using namespace plimbar;
using namespace plimbar_fuzz;

namespace {

constexpr size_t kMaxFolder = 259;

int ReferenceInt(const RefIni& ref, const char* section, const char* key,
                 int def) {
  std::string value;
  if (!ref.LookUp(section, key, value) || value.empty()) return def;
  return RefParseInt(value);
}

bool SamePatch(const Patch& a, const Patch& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;  // plain ints, no padding
}

void CheckPatchInRange(const Patch& p) {
  const int(*fields[])[kOscillators] = {
      &p.Tune,   &p.DeTune, &p.Bend,       &p.BendCurve,
      &p.Volume, &p.Attack, &p.AttackCurve, &p.Decay,
      &p.DecayCurve, &p.Distortion};
  for (auto f : fields)
    for (int v : *f) CHECK(v >= 0 && v <= 100);
  for (int v : p.Mute) CHECK(v == 0 || v == 1);
  for (int v : p.WaveForm) CHECK(v >= 0 && v <= 3);
  CHECK(p.Time >= 1 && p.Time <= 100 && p.soundLength == p.Time * 882);
}

// Reads settings and patch from path and checks them against text.
void ReadAndCheck(const char* path, const std::string& text, Settings& s,
                  Patch& p) {
  std::memset(&s, 0x7f, sizeof s);  // no terminator anywhere to start with
  ReadSettings(kPortableIni, path, s);
  const void* nul = std::memchr(s.lastFolder, '\0', sizeof s.lastFolder);
  CHECK_MSG(nul != nullptr, "last folder not terminated");

  const RefIni ref(text);
  std::string dir;
  if (!ref.LookUp("setting", "dir", dir)) dir.clear();
  dir = dir.substr(0, kMaxFolder);
  CHECK_MSG(dir == s.lastFolder, "folder " + Quote(s.lastFolder) +
                                     ", expected " + Quote(dir));

  const int freq = ReferenceInt(ref, "format", "freq", 44100);
  const int bits = ReferenceInt(ref, "format", "bits", 16);
  const int wantRate =
      (freq == 44100 || freq == 22050 || freq == 11025) ? freq : 44100;
  const int wantBits = (bits == 16 || bits == 8) ? bits : 16;
  CHECK_MSG(s.format.rate == wantRate,
            "freq " + std::to_string(s.format.rate) + " from " +
                std::to_string(freq));
  CHECK_MSG(s.format.bits == wantBits,
            "bits " + std::to_string(s.format.bits) + " from " +
                std::to_string(bits));
  CHECK(IsValidFormat(s.format));

  std::memset(&p, 0x5a, sizeof p);
  ReadPatchFile(kPortableIni, path, p, nullptr);
  CheckPatchInRange(p);
}

// The text WriteSettings gives in a new file.
std::string ExpectedText(const Patch& p, const Settings& s) {
  static const char* const kNames[12] = {
      "Tune",   "DeTune",      "Bend",  "BendCurve",  "Volume",
      "Attack", "AttackCurve", "Decay", "DecayCurve", "Distortion",
      "Mute",   "WaveForm"};
  const int(*fields[12])[kOscillators] = {
      &p.Tune,   &p.DeTune,      &p.Bend,  &p.BendCurve,  &p.Volume,
      &p.Attack, &p.AttackCurve, &p.Decay, &p.DecayCurve, &p.Distortion,
      &p.Mute,   &p.WaveForm};
  std::string t = "[Setting]\r\n";
  for (int osc = 0; osc < kOscillators; ++osc) {
    for (int i = 0; i < 12; ++i) {
      t += std::string(kNames[i]) + std::to_string(osc + 1) + "=" +
           std::to_string((*fields[i])[osc]) + "\r\n";
    }
  }
  t += "Time=" + std::to_string(p.Time) + "\r\n";
  // "setting" is the patch's section in another case: dir joins it.
  t += std::string("dir=") + s.lastFolder + "\r\n";
  t += "[Version]\r\nVersion=20\r\n";
  t += "[format]\r\nfreq=" + std::to_string(s.format.rate) +
       "\r\nbits=" + std::to_string(s.format.bits) + "\r\n";
  return t;
}

// The written file at path (its bytes are text) reads back as the patch
// and format that were written, and as the last folder when it is carried.
void ReadsBack(const char* path, const std::string& text, const Patch& p, const Settings& s,
               bool carried) {
  Settings s2;
  Patch p2;
  ReadAndCheck(path, text, s2, p2);
  CHECK(SamePatch(p, p2));
  CHECK(s2.format.rate == s.format.rate && s2.format.bits == s.format.bits);
  if (carried) {
    CHECK_MSG(std::strcmp(s2.lastFolder, s.lastFolder) == 0,
              "folder " + Quote(s.lastFolder) + " came back as " + Quote(s2.lastFolder));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchFile input("settings_reader", "input.ini");
  static ScratchFile fresh("settings_reader", "new.ini");
  static ScratchFile over("settings_reader", "over.ini");

  const std::string text(reinterpret_cast<const char*>(data), size);
  input.Write(data, size);

  Settings s;
  Patch p;
  ReadAndCheck(input.path(), text, s, p);

  const bool carried = WriteReadsBack("setting", "dir", s.lastFolder);

  // The first exit with no earlier file.
  fresh.Remove();
  CHECK(WriteSettings(kPortableIni, fresh.path(), p, s));
  const std::string written = fresh.Read();
  CHECK_MSG(written == ExpectedText(p, s), "written " + Quote(written));
  ReadsBack(fresh.path(), written, p, s, carried);

  // An exit over the file as it was found.
  over.Write(data, size);
  CHECK(WriteSettings(kPortableIni, over.path(), p, s));
  ReadsBack(over.path(), over.Read(), p, s, carried);
  return 0;
}
