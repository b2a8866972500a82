// Fuzz target: a patch file of any bytes.
//
// The input is written to a scratch file and goes the way a patch file
// goes: the portable INI layer reads it, ReadPatchFile turns it into a
// patch, the tables are built and the sound rendered (with Time cut to 2,
// so each input stays fast), and the patch is saved and read again.
// Properties checked, beyond surviving under the sanitizers:
//   - every INI read agrees with a plain reference reading of the text, and
//     a write reads back (or is refused, leaving the file as it was);
//   - every value of the patch is in its range (Time 1..100, WaveForm 0..3,
//     Mute 0..1, the others 0..100) and the sound length is Time * 882;
//   - the patch is what the keys say: default when missing or empty, the
//     integer reading clamped into range otherwise, and the report lists
//     exactly the keys that were clamped;
//   - a table build, even from unclamped values, writes the whole of its
//     oscillator's rows and nothing else;
//   - the render clears every pending flag and leaves finite samples;
//   - a patch saved to a new file gives the exact expected text, and saved
//     to a new file or over the input, reads back as the same patch with
//     nothing clamped, keeping every key of the file the patch does not own.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/ini_checks.h"
#include "fuzz/reference_ini.h"
#include "storage/ini.h"
#include "storage/patch_file.h"

using namespace plimbar;
using namespace plimbar_fuzz;

namespace {

int* Field(Patch& p, int param) {
  int(*fields[12])[kOscillators] = {
      &p.Tune,   &p.DeTune,      &p.Bend,  &p.BendCurve,  &p.Volume,
      &p.Attack, &p.AttackCurve, &p.Decay, &p.DecayCurve, &p.Distortion,
      &p.Mute,   &p.WaveForm};
  return *fields[param];
}
const int* Field(const Patch& p, int param) {
  return Field(const_cast<Patch&>(p), param);
}

// The twelve parameters in the order a patch file holds them, with their
// defaults (OSC1, others) and largest values; written out here rather than
// taken from the reader's own table.
const char* const kNames[12] = {"Tune",   "DeTune",      "Bend",
                                "BendCurve", "Volume",   "Attack",
                                "AttackCurve", "Decay",  "DecayCurve",
                                "Distortion",  "Mute",   "WaveForm"};
const int kFirstDefault[12] = {60, 50, 50, 50, 80, 0, 0, 100, 50, 50, 0, 0};
const int kOtherDefault[12] = {60, 50, 50, 50, 0, 0, 0, 100, 50, 50, 0, 0};
const int kMax[12] = {100, 100, 100, 100, 100, 100,
                      100, 100, 100, 100, 1,   3};
constexpr int kMute = 10;

std::string KeyName(int param, int osc) {
  return std::string(kNames[param]) + std::to_string(osc + 1);
}

// The first field in which two patches differ, or "" when they are equal.
std::string PatchDiff(const Patch& a, const Patch& b) {
  for (int param = 0; param < 12; ++param) {
    for (int osc = 0; osc < kOscillators; ++osc) {
      int x = Field(a, param)[osc], y = Field(b, param)[osc];
      if (x != y) {
        return KeyName(param, osc) + ": " + std::to_string(x) + " vs " +
               std::to_string(y);
      }
    }
  }
  if (a.Time != b.Time) {
    return "Time: " + std::to_string(a.Time) + " vs " + std::to_string(b.Time);
  }
  if (a.soundLength != b.soundLength) {
    return "sound length: " + std::to_string(a.soundLength) + " vs " +
           std::to_string(b.soundLength);
  }
  return "";
}

void CheckInRange(const Patch& p) {
  for (int param = 0; param < 12; ++param) {
    for (int osc = 0; osc < kOscillators; ++osc) {
      int v = Field(p, param)[osc];
      CHECK_MSG(v >= 0 && v <= kMax[param],
                KeyName(param, osc) + " = " + std::to_string(v));
    }
  }
  CHECK_MSG(p.Time >= 1 && p.Time <= 100, "Time = " + std::to_string(p.Time));
  CHECK_MSG(p.soundLength == p.Time * 882,
            "sound length " + std::to_string(p.soundLength));
}

// What the file's keys say, without clamping (Mute reduced to 0/1), and the
// number of keys that clamping moves.
struct Expected {
  Patch raw;
  Patch clamped;
  int clampedCount = 0;
};

int ClampTo(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

Expected ExpectedPatch(const std::string& text) {
  Expected x;
  std::memset(&x.raw, 0, sizeof x.raw);
  std::memset(&x.clamped, 0, sizeof x.clamped);
  const RefIni ref(text);
  auto read = [&](const std::string& key, int def) {
    std::string value;
    if (!ref.LookUp("Setting", key, value) || value.empty()) return def;
    return RefParseInt(value);
  };
  for (int param = 0; param < 12; ++param) {
    for (int osc = 0; osc < kOscillators; ++osc) {
      int v = read(KeyName(param, osc),
                   osc == 0 ? kFirstDefault[param] : kOtherDefault[param]);
      if (param == kMute) v = v != 0 ? 1 : 0;
      Field(x.raw, param)[osc] = v;
      int c = ClampTo(v, 0, kMax[param]);
      if (c != v) ++x.clampedCount;
      Field(x.clamped, param)[osc] = c;
    }
  }
  int t = read("Time", 50);
  x.raw.Time = t;
  x.raw.soundLength = 0;
  int c = ClampTo(t, 1, 100);
  if (c != t) ++x.clampedCount;
  x.clamped.Time = c;
  x.clamped.soundLength = c * 882;
  return x;
}

void CheckReport(const PatchReadReport& report, const Expected& x) {
  CHECK_MSG(report.clampedCount == x.clampedCount,
            "report lists " + std::to_string(report.clampedCount) +
                " clamped keys, expected " + std::to_string(x.clampedCount));
  for (int i = 0; i < report.clampedCount; ++i) {
    const ClampedKey& k = report.clamped[i];
    CHECK(std::memchr(k.key, '\0', sizeof k.key) != nullptr);
    const std::string key = k.key;
    int raw = 0, used = 0;
    bool known = false;
    if (key == "Time") {
      raw = x.raw.Time;
      used = x.clamped.Time;
      known = true;
    }
    for (int param = 0; param < 12 && !known; ++param) {
      for (int osc = 0; osc < kOscillators; ++osc) {
        if (KeyName(param, osc) == key) {
          raw = Field(x.raw, param)[osc];
          used = Field(x.clamped, param)[osc];
          known = true;
          break;
        }
      }
    }
    CHECK_MSG(known && k.read == raw && k.used == used && raw != used,
              "report entry " + key + " " + std::to_string(k.read) + " -> " +
                  std::to_string(k.used));
  }
}

// The text SavePatchFile writes into a new file for p.
std::string ExpectedFileText(const Patch& p) {
  std::string t = "[Setting]\r\n";
  for (int osc = 0; osc < kOscillators; ++osc) {
    for (int param = 0; param < 12; ++param) {
      int v = Field(p, param)[osc];
      if (param == kMute) v = v != 0 ? 1 : 0;
      t += KeyName(param, osc) + "=" + std::to_string(v) + "\r\n";
    }
  }
  t += "Time=" + std::to_string(p.Time) + "\r\n";
  t += "[Version]\r\nVersion=20\r\n";
  return t;
}

// Builds oscillator osc's tables and checks that the build filled both of
// its rows and both of its frequencies with finite numbers and touched no
// other byte of the table area (nor the neighbouring members).
void CheckedTableBuild(Engine& e, int osc) {
  static_assert(offsetof(Engine, pending) < offsetof(Engine, pitchTable),
                "member order");
  const size_t begin = offsetof(Engine, pending);
  const size_t end = offsetof(Engine, oscBuffers) + 64 * sizeof(double);
  unsigned char* base = reinterpret_cast<unsigned char*>(&e);

  double* pitch = e.pitchTable + osc * kCurvePoints;
  double* volume = e.volumeTable + osc * kCurvePoints;
  for (int i = 0; i < kCurvePoints; ++i) pitch[i] = volume[i] = NAN;
  e.initialFrequency[osc] = e.bendFrequency[osc] = NAN;

  static std::vector<unsigned char> snapshot(sizeof(Engine));
  unsigned char* before = snapshot.data();
  std::memcpy(before + begin, base + begin, end - begin);
  BuildCurveTables(e, osc);

  for (int i = 0; i < kCurvePoints; ++i) {
    CHECK_MSG(std::isfinite(pitch[i]) && std::isfinite(volume[i]),
              "OSC" + std::to_string(osc + 1) + " entry " + std::to_string(i) +
                  " not written or not finite");
  }
  CHECK(std::isfinite(e.initialFrequency[osc]) &&
        std::isfinite(e.bendFrequency[osc]));
  // Compare everything but the oscillator's own entries, then keep them.
  double builtPitch[kCurvePoints], builtVolume[kCurvePoints];
  std::memcpy(builtPitch, pitch, sizeof builtPitch);
  std::memcpy(builtVolume, volume, sizeof builtVolume);
  const double builtInitial = e.initialFrequency[osc];
  const double builtBend = e.bendFrequency[osc];
  std::memcpy(pitch, before + (reinterpret_cast<unsigned char*>(pitch) - base),
              sizeof builtPitch);
  std::memcpy(volume,
              before + (reinterpret_cast<unsigned char*>(volume) - base),
              sizeof builtVolume);
  std::memcpy(&e.initialFrequency[osc],
              before + (reinterpret_cast<unsigned char*>(
                            &e.initialFrequency[osc]) - base),
              sizeof(double));
  std::memcpy(&e.bendFrequency[osc],
              before + (reinterpret_cast<unsigned char*>(
                            &e.bendFrequency[osc]) - base),
              sizeof(double));
  CHECK_MSG(std::memcmp(before + begin, base + begin, end - begin) == 0,
            "table build of OSC" + std::to_string(osc + 1) +
                " wrote outside its rows");
  std::memcpy(pitch, builtPitch, sizeof builtPitch);
  std::memcpy(volume, builtVolume, sizeof builtVolume);
  e.initialFrequency[osc] = builtInitial;
  e.bendFrequency[osc] = builtBend;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static ScratchFile input("patch_reader", "input.plb");
  static ScratchFile fresh("patch_reader", "new.plb");
  static ScratchFile over("patch_reader", "over.plb");
  static ScratchFile ini("patch_reader", "ini.ini");
  static std::unique_ptr<Engine> engine = NewEngine();
  CHECK(engine != nullptr);
  Engine& e = *engine;

  const std::string text(reinterpret_cast<const char*>(data), size);
  input.Write(data, size);
  const unsigned selector = size > 0 ? data[size - 1] : 0;

  // The INI layer on its own.
  CheckIniLayer(kPortableIni, input, ini, text, selector);

  // The reader.
  Patch p;
  std::memset(&p, 0x5a, sizeof p);  // every field must be set by the read
  PatchReadReport report;
  ReadPatchFile(kPortableIni, input.path(), p, &report);
  CheckInRange(p);
  const Expected x = ExpectedPatch(text);
  CHECK_MSG(PatchDiff(p, x.clamped).empty(),
            "read vs expected: " + PatchDiff(p, x.clamped));
  CheckReport(report, x);

  // A short render of the patch as read, in one of the six formats.
  ResetEngine(e);
  e.patch = p;
  SetTime(e.patch, p.Time < 2 ? p.Time : 2);
  static const OutputFormat kFormats[6] = {{44100, 16}, {22050, 16},
                                           {11025, 16}, {44100, 8},
                                           {22050, 8},  {11025, 8}};
  e.format = kFormats[size % 6];
  for (int osc = kOscillators - 1; osc >= 0; --osc) CheckedTableBuild(e, osc);
  RenderPatch(e);
  CHECK(!AnyPending(e));
  const int length = e.patch.soundLength;
  for (int osc = 0; osc < kOscillators; ++osc) {
    for (int i = 0; i < length; ++i) {
      CHECK_MSG(std::isfinite(e.oscBuffers[osc][i]),
                "OSC" + std::to_string(osc + 1) + " sample " +
                    std::to_string(i));
      if (e.patch.Mute[osc]) CHECK(e.oscBuffers[osc][i] == 0.0);
    }
    CHECK(e.oscBuffers[osc][length] == 0.0 &&
          e.oscBuffers[osc][kMaxSamples - 1] == 0.0);
  }
  const int step = 44100 / e.format.rate;
  const int bytes = PcmByteCount(e);
  CHECK(bytes > 0 && bytes <= (kMaxSamples / step) * (e.format.bits / 8));

  // Table builds from the values as the file holds them, before clamping:
  // every build stays inside its own rows.
  e.patch = x.raw;
  for (int osc = 0; osc < kOscillators; ++osc) CheckedTableBuild(e, osc);

  // Saved to a new file: the exact text, and the same patch back.
  fresh.Remove();
  CHECK(SavePatchFile(kPortableIni, fresh.path(), p));
  const std::string saved = fresh.Read();
  CHECK_MSG(saved == ExpectedFileText(p), "saved text " + Quote(saved));
  Patch back;
  ReadPatchFile(kPortableIni, fresh.path(), back, nullptr);  // no report
  CHECK_MSG(PatchDiff(back, p).empty(), "new file: " + PatchDiff(back, p));

  // Saved over the input file: the same patch back, other keys kept.
  over.Write(data, size);
  CHECK(SavePatchFile(kPortableIni, over.path(), p));
  const std::string rewritten = over.Read();
  ReadPatchFile(kPortableIni, over.path(), back, &report);
  CHECK_MSG(PatchDiff(back, p).empty(), "over input: " + PatchDiff(back, p));
  CHECK(report.clampedCount == 0);
  const RefIni refText(text), refRewritten(rewritten);
  std::string version;
  CHECK(refRewritten.LookUp("Version", "Version", version) &&
        version == "20");
  const IniCandidates c = CandidatesOf(text);
  for (const std::string& s : c.sections) {
    for (const std::string& k : c.keys) {
      const std::string ts = RefTrim(s), tk = RefTrim(k);
      bool owned = false;
      if (RefSameName(ts, "Setting")) {
        owned = RefSameName(tk, "Time");
        for (int param = 0; param < 12 && !owned; ++param)
          for (int osc = 0; osc < kOscillators && !owned; ++osc)
            owned = RefSameName(tk, KeyName(param, osc));
      } else if (RefSameName(ts, "Version")) {
        owned = RefSameName(tk, "Version");
      }
      if (owned) continue;
      std::string was, is;
      bool had = refText.LookUp(s, k, was);
      bool has = refRewritten.LookUp(s, k, is);
      CHECK_MSG(had == has && was == is,
                "saving changed [" + Quote(s) + "] " + Quote(k));
    }
  }
  return 0;
}
