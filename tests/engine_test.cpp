// Engine tests: the numbers here are worked out by hand or by a second,
// simpler formulation, never copied from the engine's own output.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "engine/engine.h"
#include "engine/exact_math.h"

namespace plimbar {
namespace {

constexpr double kTableTolerance = 1e-9;  // hand values carry 7-9 digits

std::unique_ptr<Engine> Fresh() {
  auto e = NewEngine();
  SetTime(e->patch, 50);
  return e;
}

const double* PitchRow(const Engine& e, int osc) {
  return e.pitchTable + osc * kCurvePoints;
}
const double* VolumeRow(const Engine& e, int osc) {
  return e.volumeTable + osc * kCurvePoints;
}

// --- patch model -----------------------------------------------------------

TEST(PatchModel, InitialValuesAndStartState) {
  auto e = NewEngine();
  const Patch& p = e->patch;
  for (int n = 0; n < kOscillators; ++n) {
    EXPECT_EQ(p.Tune[n], 60);
    EXPECT_EQ(p.Volume[n], n == 0 ? 80 : 0);
    EXPECT_EQ(p.Decay[n], n % 3 == 0 ? 50 : 100) << n;
    EXPECT_EQ(p.Distortion[n], 50);
    EXPECT_EQ(e->pending[n], 1);
  }
  EXPECT_EQ(p.Time, 0);
  EXPECT_EQ(p.soundLength, 0);
  EXPECT_EQ(e->noiseState, 1u);
  EXPECT_EQ(e->format.rate, 44100);
  EXPECT_EQ(e->format.bits, 16);
}

TEST(PatchModel, SoundLengthIs882SamplesPerStep) {
  EXPECT_EQ(SoundLengthForTime(1), 882);
  EXPECT_EQ(SoundLengthForTime(50), 44100);
  EXPECT_EQ(SoundLengthForTime(100), 88200);
}

TEST(PatchModel, MarkPendingMarksThePathUpToTheCarrier) {
  // Expected flags per oscillator, written out as a table.
  const int expected[9][9] = {
      {1, 0, 0, 0, 0, 0, 0, 0, 0}, {1, 1, 0, 0, 0, 0, 0, 0, 0},
      {1, 1, 1, 0, 0, 0, 0, 0, 0}, {0, 0, 0, 1, 0, 0, 0, 0, 0},
      {0, 0, 0, 1, 1, 0, 0, 0, 0}, {0, 0, 0, 1, 1, 1, 0, 0, 0},
      {0, 0, 0, 0, 0, 0, 1, 0, 0}, {0, 0, 0, 0, 0, 0, 1, 1, 0},
      {0, 0, 0, 0, 0, 0, 1, 1, 1}};
  for (int n = 0; n < 9; ++n) {
    auto e = NewEngine();
    for (int& f : e->pending) f = 0;
    MarkPending(*e, n);
    for (int m = 0; m < 9; ++m) EXPECT_EQ(e->pending[m], expected[n][m]) << n;
  }
}

// --- curve tables -----------------------------------------------------------

TEST(CurveTables, ParameterStepsEndAtNinetyEightHundredths) {
  int steps = 0;
  double last = -1;
  for (double t = 0.0; t < 1.0; t += 0.02) {
    last = t;
    ++steps;
  }
  EXPECT_EQ(steps, 50);
  EXPECT_EQ(last, 0.9800000000000005);
}

TEST(CurveTables, DefaultPitchIsFlatAt880Hz) {
  auto e = Fresh();
  BuildCurveTables(*e, 0);
  for (int p = 0; p < kCurvePoints; ++p)
    EXPECT_NEAR(PitchRow(*e, 0)[p], 0.6, 2e-16) << p;
  EXPECT_GE(e->initialFrequency[0], 880.0);
  EXPECT_LT(e->initialFrequency[0], 880.001);
  EXPECT_EQ(static_cast<unsigned>(e->bendFrequency[0]), 880u);
  e->patch.Tune[0] = 48;
  BuildCurveTables(*e, 0);
  EXPECT_EQ(static_cast<unsigned>(e->initialFrequency[0]), 440u);
}

TEST(CurveTables, BendToZeroStopsShortOfTheEnd) {
  auto e = Fresh();
  e->patch.Bend[0] = 0;
  BuildCurveTables(*e, 0);
  // S = 60, E = 0, control point (128, 30); step t = 0.02 covers entry 0:
  // y = 0.941192 * 60 + (0.057624 + 0.001176) * 30 = 58.23552.
  EXPECT_NEAR(PitchRow(*e, 0)[0], 0.5823552, kTableTolerance);
  // At t = 0.98: 0.000008 * 60 + (0.001176 + 0.057624) * 30 = 1.76448.
  for (int p = 241; p < 256; ++p)
    EXPECT_NEAR(PitchRow(*e, 0)[p], 0.0176448, kTableTolerance) << p;
  EXPECT_EQ(e->bendFrequency[0], 27.5);
  EXPECT_EQ(static_cast<unsigned>(e->bendFrequency[0]), 27u);
}

TEST(CurveTables, LowestPitchIsNotFlatBecauseTheControlValueTruncates) {
  auto e = Fresh();
  e->patch.Tune[0] = 0;
  e->patch.DeTune[0] = 0;
  BuildCurveTables(*e, 0);
  for (int p = 0; p < kCurvePoints; ++p) {
    EXPECT_GE(PitchRow(*e, 0)[p], -0.00471) << p;
    EXPECT_LE(PitchRow(*e, 0)[p], -0.00125) << p;
  }
}

TEST(CurveTables, HighestPitchFrequencies) {
  auto e = Fresh();
  e->patch.Tune[0] = 100;
  e->patch.DeTune[0] = 100;
  e->patch.Bend[0] = 100;
  BuildCurveTables(*e, 0);
  // 27.5 * 2^(100.5/12) and 27.5 * 2^(201/12).
  EXPECT_EQ(static_cast<unsigned>(e->initialFrequency[0]), 9129u);
  EXPECT_EQ(static_cast<unsigned>(e->bendFrequency[0]), 3030994u);
}

TEST(CurveTables, StraightDecayOfTheDefaultCarrier) {
  auto e = Fresh();  // Volume 80, Attack 0, Decay 50, DecayCurve 50
  BuildCurveTables(*e, 0);
  const double* v = VolumeRow(*e, 0);
  EXPECT_NEAR(v[0], 0.7764736, kTableTolerance);
  EXPECT_NEAR(v[123], 0.0235264, kTableTolerance);
  for (int p = 1; p <= 123; ++p) EXPECT_LE(v[p], v[p - 1]) << p;
  for (int p = 124; p < 256; ++p) EXPECT_EQ(v[p], 0.0) << p;
}

TEST(CurveTables, FullDecayLeavesOnlyTheLastEntryZero) {
  auto e = Fresh();
  e->patch.Volume[0] = 100;
  e->patch.Decay[0] = 100;
  e->patch.DecayCurve[0] = 100;
  BuildCurveTables(*e, 0);
  EXPECT_NEAR(VolumeRow(*e, 0)[254], 0.363944, kTableTolerance);
  EXPECT_EQ(VolumeRow(*e, 0)[255], 0.0);
}

TEST(CurveTables, DecayBeforeAttackEndIsSilentAfterTheAttack) {
  auto e = Fresh();
  e->patch.Volume[0] = 100;
  e->patch.Attack[0] = 50;
  e->patch.AttackCurve[0] = 50;
  e->patch.Decay[0] = 30;
  BuildCurveTables(*e, 0);
  const double* v = VolumeRow(*e, 0);
  // t = 0.02: 0.0588 * 50 + 0.000008 * 100 = 2.9408.
  EXPECT_NEAR(v[0], 0.029408, kTableTolerance);
  EXPECT_NEAR(v[127], 0.970592, kTableTolerance);
  for (int p = 1; p < 128; ++p) EXPECT_GE(v[p], v[p - 1]) << p;
  for (int p = 128; p < 256; ++p) EXPECT_EQ(v[p], 0.0) << p;
}

TEST(CurveTables, ZeroVolumeIsSilentEverywhere) {
  auto e = Fresh();
  e->patch.Volume[4] = 0;
  e->patch.Attack[4] = 30;
  BuildCurveTables(*e, 4);
  for (int p = 0; p < 256; ++p) EXPECT_EQ(VolumeRow(*e, 4)[p], 0.0);
}

// A second formulation of the fill: entry j holds y / 100 of the first of
// the 50 steps whose position reaches j + 1, else the closing value.
struct Step {
  double x, y;
};

double EntryOf(const std::vector<Step>& steps, int j, double closing) {
  for (const Step& s : steps)
    if (static_cast<int>(s.x) > j) return s.y / 100;
  return closing;
}

std::vector<double> BernsteinTs() {
  std::vector<double> ts;
  for (double t = 0.0; t < 1.0; t += 0.02) ts.push_back(t);
  return ts;
}

TEST(CurveTables, RowsMatchAFirstCoveringStepFormulation) {
  uint32_t seed = 12345;
  auto rnd = [&seed](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 8) % static_cast<uint32_t>(n));
  };
  auto e = Fresh();
  for (int trial = 0; trial < 400; ++trial) {
    Patch& p = e->patch;
    const int osc = trial % 9;
    p.Tune[osc] = rnd(101);
    p.DeTune[osc] = rnd(101);
    p.Bend[osc] = rnd(101);
    p.BendCurve[osc] = rnd(101);
    p.Volume[osc] = rnd(101);
    p.Attack[osc] = rnd(101);
    p.AttackCurve[osc] = rnd(101);
    p.Decay[osc] = rnd(101);
    p.DecayCurve[osc] = rnd(101);
    BuildCurveTables(*e, osc);

    const double S = p.Tune[osc] + (p.DeTune[osc] - 50) / 100.0;
    const double E = p.Bend[osc] * S / 50;
    const double bc = p.BendCurve[osc] / 100.0;
    const int cv = static_cast<int>(bc * S + (1 - bc) * E);
    const int cp = p.BendCurve[osc] * 256 / 100;
    std::vector<Step> pitch, attack, decay;
    const int A = p.Attack[osc], D = p.Decay[osc], V = p.Volume[osc];
    const int acp = ((p.AttackCurve[osc] * A) / 100) * 256 / 100;
    const int acv = V - (V * p.AttackCurve[osc]) / 100;
    const int dcp = A + (p.DecayCurve[osc] * (D - A)) / 100;
    const int dcv = (V * p.DecayCurve[osc]) / 100;
    for (double t : BernsteinTs()) {
      const double u = 1 - t;
      const double w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t,
                   w3 = t * t * t;
      pitch.push_back({w1 * cp + w2 * cp + w3 * 256,
                       w0 * S + w1 * cv + w2 * cv + w3 * E});
      attack.push_back({w1 * acp + w2 * acp + w3 * A * 256 / 100,
                        w1 * acv + w2 * acv + w3 * V});
      decay.push_back({w0 * A * 256 / 100 + w1 * dcp * 256 / 100 +
                           w2 * dcp * 256 / 100 + w3 * D * 256 / 100,
                       w0 * V + w1 * dcv + w2 * dcv});
    }
    const int attackEnd = A * 256 / 100;
    for (int j = 0; j < 256; ++j) {
      ASSERT_EQ(PitchRow(*e, osc)[j],
                EntryOf(pitch, j, pitch.back().y / 100))
          << "trial " << trial << " entry " << j;
      const double vol =
          j < attackEnd ? EntryOf(attack, j, attack.back().y / 100)
                        : EntryOf(decay, j, 0.0);
      ASSERT_EQ(VolumeRow(*e, osc)[j], vol)
          << "trial " << trial << " entry " << j;
    }
  }
}

TEST(CurveTables, OutOfRangeParametersStayInsideTheRow) {
  auto e = Fresh();
  const double guard = 12345.0;
  for (double& v : e->volumeTable) v = guard;
  for (double& v : e->pitchTable) v = guard;
  Patch& p = e->patch;
  const int extremes[] = {-2147483647 - 1, -1000, -1, 101, 5000, 2147483647};
  for (int x : extremes) {
    p.Tune[4] = p.DeTune[4] = p.Bend[4] = p.BendCurve[4] = x;
    p.Volume[4] = p.Attack[4] = p.AttackCurve[4] = x;
    p.Decay[4] = p.DecayCurve[4] = x;
    BuildCurveTables(*e, 4);
    for (int i = 0; i < 9 * 256; ++i) {
      if (i / 256 == 4) continue;
      ASSERT_EQ(e->volumeTable[i], guard) << x;
      ASSERT_EQ(e->pitchTable[i], guard) << x;
    }
  }
}

TEST(CurveTables, TableEntryForASampleStretchesOverTheSound) {
  auto e = NewEngine();
  SetTime(e->patch, 1);
  for (int p = 0; p < 256; ++p) e->pitchTable[2 * 256 + p] = p;
  for (int i = 0; i < 4; ++i) EXPECT_EQ(PitchAt(*e, 2, i), 0.0) << i;
  EXPECT_EQ(PitchAt(*e, 2, 4), 1.0);  // 4 * 256 / 882 = 1
  EXPECT_EQ(PitchAt(*e, 2, 881), 255.0);
}

// --- oscillators ------------------------------------------------------------

TEST(Oscillators, FirstNoiseDrawsAfterStart) {
  auto e = NewEngine();
  const int expected[] = {41, 18467, 6334, 26500, 19169};
  for (int x : expected) EXPECT_EQ(NextNoise(*e), x);
}

TEST(Oscillators, WaveformValuesAtKnownPhases) {
  auto e = NewEngine();
  Patch& p = e->patch;
  p.WaveForm[0] = kSine;
  EXPECT_EQ(WaveformSample(*e, 0, 0.0), 0.0);
  // sin(-0.5) = -0.47942553860420300027..., the nearest double (MPFR).
  EXPECT_EQ(WaveformSample(*e, 0, -0.5), -0x1.eaee8744b05fp-2);
  p.WaveForm[0] = kSawtooth;
  EXPECT_EQ(WaveformSample(*e, 0, 0.0), -1.0);
  EXPECT_EQ(WaveformSample(*e, 0, 3.1415926535), 0.0);
  EXPECT_EQ(WaveformSample(*e, 0, 3.1415926535 / 2), -0.5);
  EXPECT_EQ(WaveformSample(*e, 0, -1.0), -1.0);
  EXPECT_EQ(WaveformSample(*e, 0, 7.0), 1.0);
  p.WaveForm[0] = kSquare;
  EXPECT_EQ(WaveformSample(*e, 0, 0.0), 1.0);
  EXPECT_EQ(WaveformSample(*e, 0, 3.1415926535), 1.0);
  EXPECT_EQ(WaveformSample(*e, 0, std::nextafter(3.1415926535, 4.0)), -1.0);
  EXPECT_EQ(WaveformSample(*e, 0, -2.0), 1.0);
  p.WaveForm[0] = kNoise;
  EXPECT_EQ(WaveformSample(*e, 0, 1.0), -0.99749755859375);  // 41/16384 - 1
  EXPECT_EQ(e->noiseState, 1u * 214013u + 2531011u);
}

// Sets up a patch with one audible carrier and renders it.
std::unique_ptr<Engine> RenderOne(int wave, int volume, int time) {
  auto e = Fresh();
  SetTime(e->patch, time);
  e->patch.WaveForm[0] = wave;
  e->patch.Volume[0] = volume;
  for (int n = 0; n < 9; ++n) BuildCurveTables(*e, n);
  RenderPatch(*e);
  return e;
}

TEST(Oscillators, FirstToneSampleIsTakenAtPhaseZero) {
  const double v0 = 0.7764736;  // volume entry 0 of the default carrier
  EXPECT_EQ(RenderOne(kSine, 80, 50)->oscBuffers[0][0], 0.0);
  EXPECT_NEAR(RenderOne(kSawtooth, 80, 50)->oscBuffers[0][0], -v0, 1e-9);
  EXPECT_NEAR(RenderOne(kSquare, 80, 50)->oscBuffers[0][0], v0, 1e-9);
  EXPECT_NEAR(RenderOne(kNoise, 80, 50)->oscBuffers[0][0],
              -0.99749755859375 * v0, 1e-9);
}

TEST(Oscillators, SineCarrierHasItsPitchAndSilentTail) {
  auto e = RenderOne(kSine, 100, 50);
  // Decay 50: the volume reaches 0 at entry 124, sample 21361; until then
  // an 880 Hz sine crosses zero upwards 880 times a second.
  int crossings = 0;
  for (int i = 1; i < 21000; ++i)
    if (e->oscBuffers[0][i - 1] < 0 && e->oscBuffers[0][i] >= 0) ++crossings;
  EXPECT_NEAR(crossings, 880 * 21000 / 44100, 1);
  for (int i = 21400; i < 44100; ++i) ASSERT_EQ(e->oscBuffers[0][i], 0.0) << i;
  for (int i = 44100; i < kMaxSamples; ++i)
    ASSERT_EQ(e->oscBuffers[0][i], 0.0) << i;
  for (int n = 1; n < 9; ++n)  // silent oscillators render as 0.0
    for (int i = 0; i < kMaxSamples; i += 97) ASSERT_EQ(e->oscBuffers[n][i], 0.0);
}

TEST(Oscillators, MutedOscillatorIsZeroAndDrawsNoNoise) {
  auto e = Fresh();
  for (int n = 0; n < 9; ++n) {
    e->patch.WaveForm[n] = kNoise;
    e->patch.Mute[n] = 1;
    e->patch.Volume[n] = 100;
    BuildCurveTables(*e, n);
  }
  for (double& v : e->oscBuffers[5]) v = 0.25;
  RenderOscillators(*e);
  EXPECT_EQ(e->noiseState, 1u);
  for (int i = 0; i < kMaxSamples; ++i) ASSERT_EQ(e->oscBuffers[5][i], 0.0);
  for (int n = 0; n < 9; ++n) EXPECT_EQ(e->pending[n], 0);
}

TEST(Oscillators, NothingPendingChangesNothing) {
  auto e = RenderOne(kNoise, 80, 10);
  const uint32_t state = e->noiseState;
  const double before = e->oscBuffers[0][100];
  e->oscBuffers[0][100] = 0.125;
  RenderOscillators(*e);
  EXPECT_EQ(e->noiseState, state);
  EXPECT_EQ(e->oscBuffers[0][100], 0.125);
  EXPECT_NE(before, 0.125);
}

TEST(Oscillators, NoiseRendersDifferAndAdvanceOneDrawPerSample) {
  auto e = RenderOne(kNoise, 80, 1);
  uint32_t s = 1;
  for (int i = 0; i < 882; ++i) s = s * 214013u + 2531011u;
  EXPECT_EQ(e->noiseState, s);
  std::vector<double> first(e->oscBuffers[0], e->oscBuffers[0] + 882);
  MarkPending(*e, 0);
  RenderPatch(*e);
  EXPECT_NE(std::memcmp(first.data(), e->oscBuffers[0], 882 * sizeof(double)),
            0);
}

// The noise smoothing written as a window sum, from an independent copy of
// the generator: sample i sums the unsmoothed samples from
// k = trunc(i - 44100 / f) (at least 0) to i and divides by sqrt(i - k).
TEST(Oscillators, NoiseIsAWindowSumOverOnePeriod) {
  auto e = Fresh();
  SetTime(e->patch, 2);
  const int length = 1764;
  e->patch.WaveForm[6] = kNoise;
  e->patch.Volume[6] = 100;
  e->patch.Decay[6] = 100;
  e->patch.Tune[6] = 0;  // about 27 Hz: a window of some 1600 samples
  e->patch.Bend[6] = 100;
  for (int n = 0; n < 9; ++n) BuildCurveTables(*e, n);
  for (int n = 0; n < 9; ++n) e->pending[n] = n == 6;
  RenderOscillators(*e);

  uint32_t state = 1;
  std::vector<double> raw(length);
  for (int i = 0; i < length; ++i) {
    state = state * 214013u + 2531011u;
    const int draw = static_cast<int>((state >> 16) & 0x7FFF);
    const double vol = e->volumeTable[6 * 256 + i * 256 / length];
    raw[i] = vol * (draw / 16384.0 - 1.0);
  }
  for (int i = 0; i < length; ++i) {
    const double pitch = e->pitchTable[6 * 256 + i * 256 / length];
    const double f = 27.5 * ExactSemitonePow(pitch * 100.0);
    int k = static_cast<int>(i - 44100.0 / f);
    if (k < 0) k = 0;
    double sum = 0.0;
    for (int j = k; j <= i; ++j) sum += raw[j];
    const double want = k == i ? raw[i] : sum / std::sqrt(i - k);
    ASSERT_EQ(e->oscBuffers[6][i], want) << i;
  }
  EXPECT_EQ(e->oscBuffers[6][0], raw[0]);
}

TEST(Oscillators, SilentModulatorLeavesTheCarrierUnmodulated) {
  auto plain = RenderOne(kSine, 80, 20);
  auto e = Fresh();
  SetTime(e->patch, 20);
  e->patch.Mute[1] = 1;
  e->patch.Volume[1] = 100;  // loud but muted
  e->patch.Volume[2] = 100;  // modulates OSC2, which is muted anyway
  for (int n = 0; n < 9; ++n) BuildCurveTables(*e, n);
  RenderPatch(*e);
  EXPECT_EQ(std::memcmp(plain->oscBuffers[0], e->oscBuffers[0],
                        sizeof e->oscBuffers[0]),
            0);
}

TEST(Oscillators, NoiseIgnoresItsModulator) {
  auto a = RenderOne(kNoise, 80, 5);
  auto b = Fresh();
  SetTime(b->patch, 5);
  b->patch.WaveForm[0] = kNoise;
  b->patch.Volume[1] = 100;  // a loud sine modulator below OSC1
  for (int n = 0; n < 9; ++n) BuildCurveTables(*b, n);
  RenderPatch(*b);
  EXPECT_NE(b->oscBuffers[1][100], 0.0);
  // OSC2 is a sine and draws no noise, so OSC1 gets the same draws.
  EXPECT_EQ(std::memcmp(a->oscBuffers[0], b->oscBuffers[0],
                        sizeof a->oscBuffers[0]),
            0);
}

TEST(Oscillators, ModulatorAtMinusOneTenthStopsThePhase) {
  auto e = Fresh();
  SetTime(e->patch, 1);
  e->patch.WaveForm[0] = kSawtooth;
  e->patch.Volume[0] = 100;
  e->patch.Decay[0] = 100;
  BuildCurveTables(*e, 0);
  for (int i = 0; i < kMaxSamples; ++i) e->oscBuffers[1][i] = -0.1;
  for (int n = 0; n < 9; ++n) e->pending[n] = n == 0;
  RenderOscillators(*e);
  // -0.1 * 10 + 1 = 0: the phase stays at 0, the sawtooth at -1.
  for (int i = 0; i < 882; ++i)
    ASSERT_EQ(e->oscBuffers[0][i], -e->volumeTable[i * 256 / 882]) << i;
}

TEST(Oscillators, ZeroLengthRendersSilenceAndDrawsNothing) {
  auto e = NewEngine();  // Time 0 before any load
  e->patch.WaveForm[0] = kNoise;
  for (double& v : e->oscBuffers[0]) v = 1.0;
  RenderOscillators(*e);
  EXPECT_EQ(e->noiseState, 1u);
  for (int i = 0; i < kMaxSamples; ++i) ASSERT_EQ(e->oscBuffers[0][i], 0.0);
}

// --- mixdown ----------------------------------------------------------------

// Mixes with OSC1 holding v / 32767 at sample 0 and OSC4, OSC7 silent.
struct MixCase {
  double sum;  // carrier sum
  int s16;
  int u8;
};

TEST(MixDown, ScalesClipsAndTruncates) {
  const MixCase cases[] = {
      {0.0, 0, 128},
      {1.0, 32767, 255},
      {-1.0, -32767, 0},
      {3.0, 32767, 255},
      {-2.0, -32768, 0},
      {-0.9 / 32767.0, 0, 128},
      {-1.5 / 32767.0, -1, 127},
      {255.5 / 32767.0, 255, 128},
      {256.0 / 32767.0, 256, 129},
      {-256.0 / 32767.0, -256, 127},
      {-257.0 / 32767.0, -257, 126},
  };
  auto e = NewEngine();
  for (const MixCase& c : cases) {
    e->oscBuffers[0][0] = c.sum;
    e->format.bits = 16;
    MixDown(*e);
    EXPECT_EQ(e->pcm16[0], c.s16) << c.sum;
    e->format.bits = 8;
    MixDown(*e);
    EXPECT_EQ(e->pcm8[0], c.u8) << c.sum;
  }
}

TEST(MixDown, SumsTheThreeCarriersOnly) {
  auto e = NewEngine();
  e->oscBuffers[0][7] = 0.25;
  e->oscBuffers[3][7] = 0.125;
  e->oscBuffers[6][7] = 0.0625;
  e->oscBuffers[1][7] = 0.5;  // a modulator: not heard
  MixDown(*e);
  EXPECT_EQ(e->pcm16[7], static_cast<int>(0.4375 * 32767));  // 14335
}

TEST(MixDown, LowerRatesKeepTheLastSampleOfEachGroup) {
  auto e = NewEngine();
  for (int i = 0; i < kMaxSamples; ++i) e->oscBuffers[0][i] = i % 8 / 32767.0;
  e->format.rate = 22050;
  MixDown(*e);
  EXPECT_EQ(e->pcm16[0], 1);  // sample 1
  EXPECT_EQ(e->pcm16[1], 3);  // sample 3
  EXPECT_EQ(e->pcm16[44099], 88199 % 8);
  e->format.rate = 11025;
  for (int i = 0; i < kMaxSamples; ++i) e->pcm16[i] = -5;
  MixDown(*e);
  EXPECT_EQ(e->pcm16[0], 3);  // sample 3
  EXPECT_EQ(e->pcm16[1], 7);  // sample 7
  EXPECT_EQ(e->pcm16[22049], 7);
  EXPECT_EQ(e->pcm16[22050], -5);  // beyond 88200 / 4: untouched
}

TEST(MixDown, PcmByteCounts) {
  struct Row {
    int time, bytes[6];  // 44100/16, 44100/8, 22050/16, 22050/8, 11025/16, 11025/8
  };
  const Row rows[] = {{1, {1764, 882, 882, 441, 441, 220}},
                      {50, {88200, 44100, 44100, 22050, 22050, 11025}},
                      {100, {176400, 88200, 88200, 44100, 44100, 22050}},
                      {3, {5292, 2646, 2646, 1323, 1323, 661}}};
  const OutputFormat formats[] = {{44100, 16}, {44100, 8}, {22050, 16},
                                  {22050, 8},  {11025, 16}, {11025, 8}};
  for (const Row& r : rows)
    for (int f = 0; f < 6; ++f)
      EXPECT_EQ(PcmByteCount(SoundLengthForTime(r.time), formats[f]),
                r.bytes[f])
          << r.time << " " << f;
  EXPECT_EQ(PcmByteCount(44100, OutputFormat{48000, 16}), 0);
  EXPECT_EQ(PcmByteCount(44100, OutputFormat{44100, 12}), 0);
}

TEST(MixDown, FormatChangeRemixesWithoutTouchingTheOscillators) {
  auto e = RenderOne(kNoise, 80, 10);
  const uint32_t state = e->noiseState;
  std::vector<double> carrier(e->oscBuffers[0], e->oscBuffers[0] + kMaxSamples);
  e->format.bits = 8;
  RenderPatch(*e);
  EXPECT_EQ(e->noiseState, state);
  EXPECT_EQ(std::memcmp(carrier.data(), e->oscBuffers[0], sizeof e->oscBuffers[0]),
            0);
  EXPECT_EQ(CurrentPcm(*e), e->pcm8);
  EXPECT_EQ(e->pcm8[0], (e->pcm16[0] >> 8) + 128);
}

}  // namespace
}  // namespace plimbar
