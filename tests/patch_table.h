// The patch file's keys written down once from what a patch file is (not taken from storage/), for the
// table tests, the fuzzer and the end-to-end runner; no test framework, builds for Windows.
#ifndef PLIMBAR_TESTS_PATCH_TABLE_H
#define PLIMBAR_TESTS_PATCH_TABLE_H

#include <string>

#include "engine/engine.h"

namespace plimbar {
namespace test {

struct KeyInfo {
  const char* stem;                 // "Tune": the key is the stem and the oscillator 1..9
  int defaultFirst, defaultOthers;  // of OSC1, of OSC2..OSC9
  int min, max;                     // the reader clamps into this range
};

constexpr int kKeysPerOsc = 12, kOscCount = 9;
// Volume defaults to 80 for OSC1 only; a missing Decay reads as 100 everywhere.
constexpr KeyInfo kKeys[kKeysPerOsc] = {
    {"Tune", 60, 60, 0, 100},       {"DeTune", 50, 50, 0, 100},     {"Bend", 50, 50, 0, 100},
    {"BendCurve", 50, 50, 0, 100},  {"Volume", 80, 0, 0, 100},      {"Attack", 0, 0, 0, 100},
    {"AttackCurve", 0, 0, 0, 100},  {"Decay", 100, 100, 0, 100},    {"DecayCurve", 50, 50, 0, 100},
    {"Distortion", 50, 50, 0, 100}, {"Mute", 0, 0, 0, 1},           {"WaveForm", 0, 0, 0, 3},
};
enum KeyIndex {
  kTune, kDeTune, kBend, kBendCurve, kVolume, kAttack, kAttackCurve, kDecay, kDecayCurve, kDistortion, kMute, kWaveForm
};
constexpr int kTimeDefault = 50, kTimeMin = 1, kTimeMax = 100;

using PatchField = int (Patch::*)[kOscCount];
constexpr PatchField kFields[kKeysPerOsc] = {  // the member each key fills
    &Patch::Tune,        &Patch::DeTune, &Patch::Bend,       &Patch::BendCurve,  &Patch::Volume, &Patch::Attack,
    &Patch::AttackCurve, &Patch::Decay,  &Patch::DecayCurve, &Patch::Distortion, &Patch::Mute,   &Patch::WaveForm};

// A patch as the file holds it: value[osc][key] in file order, and Time.
struct PatchValues {
  int value[kOscCount][kKeysPerOsc];
  int time;
};

// What a file without any key reads as.
inline PatchValues DefaultValues() {
  PatchValues p;
  for (int n = 0; n < kOscCount; ++n)
    for (int k = 0; k < kKeysPerOsc; ++k) p.value[n][k] = n == 0 ? kKeys[k].defaultFirst : kKeys[k].defaultOthers;
  p.time = kTimeDefault;
  return p;
}

inline PatchValues ValuesOf(const Patch& p) {
  PatchValues v;
  for (int n = 0; n < kOscCount; ++n)
    for (int k = 0; k < kKeysPerOsc; ++k) v.value[n][k] = (p.*kFields[k])[n];
  v.time = p.Time;
  return v;
}

// Every value within the range a patch file allows, the sound length as Time gives it.
inline bool InRange(const Patch& p) {
  const PatchValues v = ValuesOf(p);
  for (int n = 0; n < kOscCount; ++n)
    for (int k = 0; k < kKeysPerOsc; ++k)
      if (v.value[n][k] < kKeys[k].min || v.value[n][k] > kKeys[k].max) return false;
  return v.time >= kTimeMin && v.time <= kTimeMax && p.soundLength == v.time * 882;
}

// "Tune3" for key kTune of oscillator index 2.
inline std::string KeyName(int key, int osc) { return kKeys[key].stem + std::to_string(osc + 1); }

// The "[Setting]" lines of p, CR LF after each, in file order.
inline std::string SettingLines(const PatchValues& p) {
  std::string s;
  for (int n = 0; n < kOscCount; ++n)
    for (int k = 0; k < kKeysPerOsc; ++k) s += KeyName(k, n) + "=" + std::to_string(p.value[n][k]) + "\r\n";
  return s + "Time=" + std::to_string(p.time) + "\r\n";
}

// The whole text of a patch saved where no file was.
inline std::string PatchText(const PatchValues& p) {
  return "[Setting]\r\n" + SettingLines(p) + "[Version]\r\nVersion=20\r\n";
}

}  // namespace test
}  // namespace plimbar

#endif  // PLIMBAR_TESTS_PATCH_TABLE_H
