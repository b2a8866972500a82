// Fuzz target: any bytes read by the portable INI layer as a patch and as a settings file, checked against
// fuzz/reference_ini.h and tests/patch_table.h. Written files are left to tests/formats_test.cpp.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fuzz/reference_ini.h"
#include "storage/settings.h"
#include "tests/patch_table.h"

namespace {

using namespace plimbar;
using namespace plimbar_fuzz;
namespace pt = plimbar::test;

void Fail(const char* cond, const std::string& what) {
  std::fprintf(stderr, "*** property failed: %s\n    %s\n", cond, what.c_str());
  std::abort();
}
#define CHECK(cond, what) ((cond) ? (void)0 : Fail(#cond, what))

const char kInput[] = "<fuzz input>";  // never a file: fopen (below) reads it from g_input
std::string g_input;

// Every reading of (section s, key k) agrees with the reference.
void CheckRead(const RefIni& ref, const std::string& s, const std::string& k) {
  std::string want;
  const bool found = ref.LookUp(s, k, want);
  for (int size : {5, static_cast<int>(want.size()) + 1}) {
    std::unique_ptr<char[]> buf(new char[size]);  // exactly its size
    const int n = kPortableIni.readString(s.c_str(), k.c_str(), found ? "" : "<d>", buf.get(), size, kInput);
    const std::string text = (found ? want : "<d>").substr(0, size - 1);
    CHECK(n == static_cast<int>(text.size()) && buf[n] == '\0' && buf.get() == text, "[" + s + "] " + k);
  }
  CHECK(kPortableIni.readInt(s.c_str(), k.c_str(), -7, kInput) == ref.Int(s, k, -7), "[" + s + "] " + k);
}

// ReadPatchFile: what the keys say, within range, every field set (with a report or without); the
// clamped ones reported in reading order, oscillator by oscillator, then Time (Mute, 0..1, never is:
// all but 0 is 1).
void CheckPatch(const RefIni& ref) {
  const int order[] = {pt::kVolume, pt::kAttack, pt::kAttackCurve, pt::kDecay, pt::kDecayCurve, pt::kTune,
                       pt::kDeTune, pt::kBend, pt::kBendCurve, pt::kDistortion, pt::kWaveForm, pt::kMute};
  pt::PatchValues want = pt::DefaultValues();
  std::string clamped;
  auto read = [&](const std::string& key, int& v, int lo, int hi) {
    v = ref.Int("Setting", key, v);
    const int used = hi == 1 ? v != 0 : v < lo ? lo : v > hi ? hi : v;
    if (hi != 1 && used != v) clamped += " " + key + "=" + std::to_string(v) + ">" + std::to_string(used);
    v = used;
  };
  for (int n = 0; n < pt::kOscCount; ++n)
    for (int k : order) read(pt::KeyName(k, n), want.value[n][k], pt::kKeys[k].min, pt::kKeys[k].max);
  read("Time", want.time, pt::kTimeMin, pt::kTimeMax);
  Patch p, q;
  std::memset(&p, 0x5A, sizeof p);
  std::memset(&q, 0xA5, sizeof q);
  PatchReadReport report;
  ReadPatchFile(kPortableIni, kInput, p, &report);
  ReadPatchFile(kPortableIni, kInput, q, nullptr);
  const pt::PatchValues values = pt::ValuesOf(p);
  CHECK(std::memcmp(&values, &want, sizeof want) == 0,
        "read\n" + pt::SettingLines(values) + "expected\n" + pt::SettingLines(want));
  CHECK(std::memcmp(&p, &q, sizeof p) == 0, "a field not set, or set otherwise without a report");
  CHECK(p.soundLength == want.time * 882, "sound length");  // 20 ms a step at 44100 Hz
  CHECK(report.clampedCount >= 0 && report.clampedCount <= kPatchKeyCount, "report size");
  std::string reported;
  for (int i = 0; i < report.clampedCount; ++i) {
    const ClampedKey& c = report.clamped[i];
    CHECK(std::memchr(c.key, '\0', sizeof c.key) != nullptr, "report key");
    reported += " " + std::string(c.key) + "=" + std::to_string(c.read) + ">" + std::to_string(c.used);
  }
  CHECK(reported == clamped, "reported\n" + reported + "\nexpected\n" + clamped);
}

// ReadSettings: the folder cut, the format or its fallback.
void CheckSettings(const RefIni& ref) {
  Settings s;
  std::memset(&s, 0x7f, sizeof s);
  ReadSettings(kPortableIni, kInput, s);
  std::string dir;
  ref.LookUp("setting", "dir", dir);
  const int rate = ref.Int("format", "freq", 44100), bits = ref.Int("format", "bits", 16);
  CHECK(std::memchr(s.lastFolder, '\0', sizeof s.lastFolder) != nullptr && s.lastFolder == dir.substr(0, 259), dir);
  CHECK(s.format.rate == (rate == 22050 || rate == 11025 ? rate : 44100), "freq");
  CHECK(s.format.bits == (bits == 8 ? 8 : 16), "bits");
}

}  // namespace

extern "C" FILE* __interceptor_fopen(const char* path, const char* mode);
extern "C" FILE* fopen(const char* path, const char* mode) {
  if (std::strcmp(path, kInput) == 0) return fmemopen(&g_input[0], g_input.size(), mode);
  return __interceptor_fopen(path, mode);  // the sanitizer's, then the C library's
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_input.assign(reinterpret_cast<const char*>(data), size);
  const RefIni ref(g_input);
  // Names as the file spells them (as C strings: up to a NUL), and fixed.
  std::vector<std::string> sections = {"Setting"}, keys = {"dir"};
  for (const auto& s : ref.sections) {
    if (sections.size() < 3) sections.push_back(s.name.substr(0, s.name.find('\0')));
    for (size_t i = 0; i < s.keys.size() && keys.size() < 3; ++i)
      keys.push_back(s.keys[i].first.substr(0, s.keys[i].first.find('\0')));
  }
  // The first spelled names with bit 5 toggled in 0x40..0x7f: letters change case, '[' becomes '{'.
  for (std::vector<std::string>* names : {&sections, &keys}) {
    std::string toggled = names->size() > 1 ? (*names)[1] : "";
    for (char& c : toggled) c = (c & 0xC0) == 0x40 ? static_cast<char>(c ^ 0x20) : c;
    if (!toggled.empty()) names->push_back(toggled);
  }
  for (const std::string& s : sections) {
    CHECK(PortableIniHasSection(s.c_str(), kInput) == (ref.Find(s) != nullptr), s);
    for (const std::string& k : keys) CheckRead(ref, s, k);
  }
  // Without a section "Setting" the patch is the defaults: checked on one input in 8 (109 readings).
  if (ref.Find("Setting") != nullptr || size % 8 == 0) CheckPatch(ref);
  CheckSettings(ref);
  return 0;
}
