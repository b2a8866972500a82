// New sounds of a kind and variations of a patch: the random numbers against the generator's
// published values, the kinds measured against the example patches by one fixed rule, the strengths' bounds
// derived from their table, locks, and the session's undo step.
#include "editor/variations.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <iterator>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "tests/patch_table.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

using namespace test;

std::string ExamplePath(int kind) {
  return std::string(PLIMBAR_SOURCE_DIR) + "/examples/" + SoundKindName(kind)->cli + ".plb";
}

std::unique_ptr<Session> SessionWith(int kind) {  // the example loaded as at start-up
  std::unique_ptr<Session> s = NewSession();
  LoadPatchIntoEngine(s->engine, kPortableIni, ExamplePath(kind).c_str(), nullptr);
  return s;
}

// e as at a start, then holding p, rendered.
void RenderFresh(Engine& e, const Patch& p) {
  ResetEngine(e);
  e.patch = p;
  for (int n = kOscCount - 1; n >= 0; --n) BuildCurveTables(e, n);
  RenderPatch(e);
}

std::string Bytes(const Patch& p) { return std::string(reinterpret_cast<const char*>(&p), sizeof p); }

// The generator's published test values: its first outputs for state 42, stream 54.
TEST(Variations, RandomNumbersAreTheGeneratorsPublishedOnes) {
  VariationRandom r;
  SeedRandom(r, 42, 54);
  for (uint32_t want : {0xa15c02b7u, 0x7b47f409u, 0xba1d3330u, 0x83d2f293u, 0xbfa4784bu, 0xcbed606eu})
    EXPECT_EQ(NextRandom(r), want);
}

// What the CLI writes for a patch, rendered at 44100 Hz, 16 bits.
struct Measure {
  int peak;         // largest |sample|
  int length;       // samples up to the last one at or above peak / 32 (-30 dB)
  double centroid;  // Hz: the magnitude spectrum's centre (whole sound, zero-padded FFT)
};

void Fft(std::vector<std::complex<double>>& a) {  // in place, radix 2, size a power of two
  const size_t n = a.size();
  for (size_t i = 1, j = 0; i < n; ++i) {
    size_t bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    if (i < (j ^= bit)) std::swap(a[i], a[j]);
  }
  for (size_t len = 2; len <= n; len <<= 1) {
    const std::complex<double> w = std::polar(1.0, -2 * std::acos(-1.0) / static_cast<double>(len));
    for (size_t i = 0; i < n; i += len) {
      std::complex<double> t = 1;
      for (size_t k = i; k < i + len / 2; ++k, t *= w) {
        const std::complex<double> u = a[k], v = a[k + len / 2] * t;
        a[k] = u + v;
        a[k + len / 2] = u - v;
      }
    }
  }
}

Measure Measured(const Engine& e) {  // the sound e holds
  const int count = e.patch.soundLength;
  Measure m = {PeakMagnitude(e), 0, 0.0};
  for (int i = 0; i < count; ++i)
    if (std::abs(e.pcm16[i]) * 32 >= m.peak) m.length = i + 1;
  size_t n = 1;
  while (n < static_cast<size_t>(count)) n <<= 1;
  std::vector<std::complex<double>> a(n);
  for (int i = 0; i < count; ++i) a[i] = e.pcm16[i];
  Fft(a);
  double sum = 0, weighted = 0;
  for (size_t k = 1; k <= n / 2; ++k) {
    sum += std::abs(a[k]);
    weighted += std::abs(a[k]) * k * 44100.0 / n;
  }
  m.centroid = sum > 0 ? weighted / sum : 0.0;
  return m;
}

// The rule, one for every kind, fixed before any generated sound was heard: a sound is of the kind
// when its length lies within a factor of 2 of the example's, its peak within 6 dB of it and its
// spectral centroid within an octave of it; and it does not clip. The examples themselves are
// complete files as the program saves them, and sound unclipped, also in the later renders where
// the program's noise runs on.
TEST(Variations, GeneratedSoundsHoldTheirKind) {
  constexpr double kLengthFactor = 2.0, kPeakDb = 6.0, kCentroidFactor = 2.0;
  constexpr int kSounds = 100;
  std::unique_ptr<Engine> e = NewEngine();
  for (int kind = 0; kind < kSoundKinds; ++kind) {
    SCOPED_TRACE(SoundKindName(kind)->cli);
    LoadPatchIntoEngine(*e, kPortableIni, ExamplePath(kind).c_str(), nullptr);
    EXPECT_EQ(ReadText(ExamplePath(kind)), PatchText(ValuesOf(e->patch)));
    const Measure ex = Measured(*e);
    for (int render = 0; render < 5; ++render, MarkAllPending(*e), RenderPatch(*e))
      EXPECT_TRUE(ClippedSamples(*e) == 0 && PeakMagnitude(*e) > 1000) << "example, render " << render;
    std::set<std::string> seen;
    for (uint32_t seed = 0; seed < kSounds; ++seed) {
      Patch p;
      ASSERT_TRUE(GeneratePatch(kind, seed * 7919u, p));
      ASSERT_TRUE(InRange(p)) << seed;
      seen.insert(Bytes(p));
      RenderFresh(*e, p);
      const Measure m = Measured(*e);
      const double db = 20 * std::log10(static_cast<double>(m.peak) / ex.peak);  // -inf for silence
      EXPECT_EQ(ClippedSamples(*e), 0) << seed;
      EXPECT_LE(std::fabs(db), kPeakDb) << seed;
      EXPECT_TRUE(m.length * kLengthFactor >= ex.length && m.length <= ex.length * kLengthFactor)
          << seed << ": " << m.length << " samples, the example " << ex.length;
      EXPECT_TRUE(m.centroid * kCentroidFactor >= ex.centroid && m.centroid <= ex.centroid * kCentroidFactor)
          << seed << ": " << m.centroid << " Hz, the example " << ex.centroid;
    }
    EXPECT_EQ(seen.size(), static_cast<size_t>(kSounds));
    ResetEngine(*e);
  }
  Patch p;
  EXPECT_FALSE(GeneratePatch(kSoundKinds, 1, p));
}

// Which oscillators shape the sound (engine.h): a carrier with Volume above 0, unmuted; below it,
// one with Volume above 0 (its depth), unmuted, under one that shapes it.
std::vector<bool> Shaping(const Patch& p) {
  std::vector<bool> on(kOscCount);
  for (int n = 0; n < kOscCount; ++n) on[n] = p.Volume[n] > 0 && !p.Mute[n] && (n % 3 == 0 || on[n - 1]);
  return on;
}

// Variations in a row through the session of every example, each from the last, the strengths in
// turn: 1,000 of each. Each valid, neither the example nor the one before, none alike within 100
// in a row. Bounds from the strength's table: no value ever lies further from the example's than
// its step (Mute 1, WaveForm 3, Distortion 0), so the run stays around the example; and no stretch
// of 100 averages below half of the least the steps give on average: every key of every oscillator
// that shapes the sound, and Time, with its chance, moving (step + 1) / 2, at worst half of that
// at the end of its range.
TEST(Variations, ChainedVariationsNeitherConvergeNorDrift) {
  for (int kind = 0; kind < kSoundKinds; ++kind) {
    SCOPED_TRACE(SoundKindName(kind)->cli);
    std::unique_ptr<Session> s = SessionWith(kind);
    const PatchValues origin = ValuesOf(s->engine.patch);
    const std::vector<bool> shaping = Shaping(s->engine.patch);
    int step[kMutationStrengths][kOscCount][kKeysPerOsc], timeStep[kMutationStrengths];
    double least[kMutationStrengths], sum = 0, leastSum = 0;
    for (int st = 0; st < kMutationStrengths; ++st) {
      const StrengthRule& rule = kStrengthRules[st];
      timeStep[st] = std::max(1, origin.time * rule.timePercent / 100);
      least[st] = rule.timeChance / 64.0 * (timeStep[st] + 1) / 4;
      for (int n = 0; n < kOscCount; ++n)
        for (int k = 0; k < kKeysPerOsc; ++k) {
          step[st][n][k] =
              k == kMute ? 1 : k == kWaveForm ? 3 : k == kVolume && n % 3 ? rule.modulatorVolumeStep : rule.step[k];
          if (shaping[n] && k != kMute && k != kWaveForm) least[st] += rule.chance[k] / 64.0 * (step[st][n][k] + 1) / 4;
        }
    }
    const std::string example = Bytes(s->engine.patch);
    std::set<std::string> seen = {example};
    for (uint32_t seed = 1; seed <= 1000u; ++seed) {
      const int st = seed % kMutationStrengths;
      ASSERT_NE(MutateSound(*s, st, seed), 0u);
      ASSERT_TRUE(InRange(s->engine.patch) && seen.insert(Bytes(s->engine.patch)).second) << "seed " << seed;
      const PatchValues v = ValuesOf(s->engine.patch);
      ASSERT_LE(std::abs(v.time - origin.time), timeStep[st]) << "seed " << seed;
      sum += std::abs(v.time - origin.time);
      leastSum += least[st];
      for (int n = 0; n < kOscCount; ++n)
        for (int k = 0; k < kKeysPerOsc; ++k) {
          ASSERT_LE(std::abs(v.value[n][k] - origin.value[n][k]), step[st][n][k]) << KeyName(k, n) << ", seed " << seed;
          sum += std::abs(v.value[n][k] - origin.value[n][k]);
        }
      if (seed % 100 == 0) {
        EXPECT_GE(sum, leastSum / 2) << "variations " << seed - 99 << " on";
        sum = leastSum = 0;
        seen = {example, Bytes(s->engine.patch)};
      }
    }
  }
}

// One row per lock kind: the parameter moves in the session's variations until it is locked, and
// from then on keeps the value it had when it was locked (even where the run's origin differs).
TEST(Variations, LockedParametersNeverMove) {
  auto value = [](const Patch& p, int key, int osc) { return key == kKeysPerOsc ? p.Time : (p.*kFields[key])[osc]; };
  for (const auto& r : DataRows("variation_locks.txt", "locks")) {
    auto stem = [&](const KeyInfo& k) { return r.at(0) == k.stem; };
    const int key = static_cast<int>(std::find_if(std::begin(kKeys), std::end(kKeys), stem) - std::begin(kKeys));
    const int kind = KindOfName(r.at(1).c_str()), osc = std::stoi(r.at(2)) - 1;  // key kKeysPerOsc: Time
    ASSERT_TRUE((key < kKeysPerOsc || r[0] == "Time") && kind >= 0) << r[0] << " " << r[1];
    SCOPED_TRACE(key == kKeysPerOsc ? std::string("Time") : KeyName(key, osc));
    std::unique_ptr<Session> s = SessionWith(kind);
    const int original = value(s->engine.patch, key, osc);
    bool moved = false;
    uint32_t seed = 1;
    for (; seed <= 300 && !moved; ++seed) {
      MutateSound(*s, kStrengthLarge, seed);
      moved = value(s->engine.patch, key, osc) != original;
    }
    EXPECT_EQ(moved, key != kDistortion);  // Distortion is never heard, and never moves
    const int locked = value(s->engine.patch, key, osc);
    if (key == kKeysPerOsc) s->timeLocked = true;
    else s->locks[osc] = LockBit(key);
    for (int i = 0; i < 100; ++i, ++seed) {
      MutateSound(*s, kStrengthLarge, seed);
      ASSERT_EQ(value(s->engine.patch, key, osc), locked) << "seed " << seed;
    }
  }
  // All but OSC1's Tune locked, where a small variation leaves it as it is three times in four:
  // every variation still differs. Everything that could move locked: no variation, no step.
  std::unique_ptr<Session> s = SessionWith(kKindKick);
  const Patch kick = s->engine.patch;
  for (uint16_t& l : s->locks) l = 0xFFF;
  s->locks[0] &= static_cast<uint16_t>(~LockBit(kTune));
  for (uint32_t seed = 1; seed <= 100; ++seed) {
    Patch p;
    MutatePatch(kick, kStrengthSmall, seed, s->locks, true, p);
    EXPECT_NE(p.Tune[0], kick.Tune[0]) << seed;
  }
  s->locks[0] = 0xFFF;
  s->timeLocked = true;
  EXPECT_EQ(MutateSound(*s, kStrengthLarge, 1), 0u);
  EXPECT_FALSE(CanUndo(*s));
}

// A new sound and a variation: each one undo step, redone as it was; the sound as a fresh render
// of the new patch gives it (the kick has no noise, so the render does not depend on the noise),
// also when only the modulator under the carrier moved (the carrier locked).
TEST(Variations, NewSoundAndVariationAreOneUndoStepEach) {
  std::unique_ptr<Session> s = NewSession();
  StartSession(*s, kPortableIni, "");
  const Patch start = s->engine.patch;
  uint32_t seed = 1;  // a kick with its click
  for (Patch p; GeneratePatch(kKindKick, seed, p) && p.Volume[1] == 0;) ++seed;
  EXPECT_EQ(GenerateSound(*s, kKindKick, seed), kRefreshOscillator | kRefreshWaveView);
  const Patch generated = s->engine.patch;
  s->locks[0] = 0xFFF;
  s->timeLocked = true;
  EXPECT_EQ(MutateSound(*s, kStrengthMedium, 8), kRefreshOscillator | kRefreshWaveView);
  const Patch varied = s->engine.patch;
  EXPECT_EQ(s->lastSeed, 8u);
  const PatchValues a = ValuesOf(varied), b = ValuesOf(generated);
  for (int n = 0; n < kOscCount; ++n)
    EXPECT_EQ(std::memcmp(a.value[n], b.value[n], sizeof a.value[n]) != 0, n == 1) << "OSC" << n + 1;
  std::unique_ptr<Engine> fresh = NewEngine();
  RenderFresh(*fresh, varied);
  EXPECT_EQ(std::memcmp(fresh->pcm16, s->engine.pcm16, sizeof fresh->pcm16), 0);
  for (const Patch* want : {&generated, &start}) {
    Undo(*s);
    EXPECT_EQ(Bytes(s->engine.patch), Bytes(*want));
  }
  EXPECT_FALSE(CanUndo(*s));
  for (const Patch* want : {&generated, &varied}) {
    Redo(*s);
    EXPECT_EQ(Bytes(s->engine.patch), Bytes(*want));
  }
  EXPECT_FALSE(CanRedo(*s));
}

}  // namespace
}  // namespace plimbar
