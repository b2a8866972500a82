// Engine numbers worked out by hand or by a second formulation; whole renders belong to the
// reference render (render_equivalence_test.cpp), which shares what is checked here.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "tests/test_support.h"

namespace plimbar {

// Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve, Decay, DecayCurve.
using Shape = int[9];

void SetShape(Patch& p, int osc, const Shape& s) {
  SetOscillator(p, osc, {s[0], s[1], s[2], s[3], s[4], s[5], s[6], s[7], s[8], 50, 0, kSine});
}

double Number(const std::string& word) {  // "a/b" is a divided by b
  const size_t slash = word.find('/');
  const double divisor = slash == std::string::npos ? 1.0 : std::strtod(&word[slash + 1], nullptr);
  return std::strtod(word.c_str(), nullptr) / divisor;
}

std::unique_ptr<Engine> With(const Shape& s, int osc = 4, int time = 50) {
  auto e = NewEngine();
  SetTime(e->patch, time);
  SetShape(e->patch, osc, s);
  for (int n = 0; n < kOscillators; ++n) BuildCurveTables(*e, n);
  return e;
}

TEST(PatchModel, StartStateAndPendingMarks) {
  auto e = NewEngine();
  for (int n = 0; n < kOscillators; ++n) {  // OSC1 80 loud, carriers Decay 50
    const OscillatorParams v = GetOscillator(e->patch, n),
                           want = {60, 50, 50, 50, n == 0 ? 80 : 0, 0, 0, n % 3 ? 100 : 50, 50, 50, 0, 0};
    EXPECT_EQ(std::memcmp(&v, &want, sizeof v), 0) << "OSC" << n + 1;
  }
  EXPECT_EQ(std::vector<int>(e->pending, e->pending + 9), std::vector<int>(9, 1));
  EXPECT_EQ(e->patch.Time + e->patch.soundLength, 0);
  EXPECT_EQ(e->format.rate * 100 + e->format.bits, 4410016);
  // Which oscillators a change marks is the editor's (editor_test). An oscillator that does not
  // exist changes no flag and nothing beside the flags.
  const std::vector<char> before(reinterpret_cast<char*>(e.get()), reinterpret_cast<char*>(e.get() + 1));
  for (int n : {-1, 9, 10, 11, 100, INT_MIN, INT_MAX}) {
    MarkPending(*e, n);
    EXPECT_TRUE(std::memcmp(before.data(), e.get(), sizeof(Engine)) == 0) << n;
  }
}

// Entry j holds y / 100 of the first of the 50 steps whose position reaches j + 1, else the closing
// value; the frequencies at S and E are 27.5 * 2^(S/12) and 27.5 * 2^(E/12) Hz. Hand-picked shapes
// (S below 0 and a control value of 0, the top pitch, Bend 0, Decay before Attack, no Volume, a full
// Decay), then random ones.
TEST(CurveTables, RowsMatchAFirstCoveringStepFormulation) {
  const Shape picked[] = {{0, 0, 50, 50, 80, 0, 0, 50, 50},    {100, 100, 100, 50, 80, 0, 0, 50, 50},
                          {60, 50, 0, 50, 80, 0, 0, 50, 50},   {60, 50, 50, 50, 100, 50, 50, 30, 50},
                          {60, 50, 50, 50, 0, 30, 50, 50, 50}, {60, 50, 50, 50, 100, 0, 0, 100, 100}};
  uint32_t seed = 12345;
  auto e = NewEngine();
  for (int trial = 0; trial < 300; ++trial) {
    Shape s;
    for (int i = 0; i < 9; ++i)
      s[i] = trial < 6 ? picked[trial][i] : static_cast<int>(((seed = seed * 1103515245u + 12345u) >> 8) % 101u);
    const int osc = trial % 9;
    SetShape(e->patch, osc, s);
    BuildCurveTables(*e, osc);
    const double S = s[0] + (s[1] - 50) / 100.0, E = s[2] * S / 50, bc = s[3] / 100.0;
    EXPECT_NEAR(e->initialFrequency[osc] / (27.5 * std::pow(2.0, S / 12)), 1.0, 1e-12) << trial;
    EXPECT_NEAR(e->bendFrequency[osc] / (27.5 * std::pow(2.0, E / 12)), 1.0, 1e-12) << trial;
    const int cv = static_cast<int>(bc * S + (1 - bc) * E), cp = s[3] * 256 / 100;
    const int V = s[4], A = s[5], D = s[7], acp = ((s[6] * A) / 100) * 256 / 100;
    const int acv = V - (V * s[6]) / 100, dcp = A + (s[8] * (D - A)) / 100, dcv = (V * s[8]) / 100;
    struct Step { double x, y; };
    std::vector<Step> pitch, attack, decay;
    for (double t = 0.0; t < 1.0; t += 0.02) {
      const double u = 1 - t, w0 = u * u * u, w1 = 3 * u * u * t, w2 = 3 * u * t * t, w3 = t * t * t;
      pitch.push_back({w1 * cp + w2 * cp + w3 * 256, w0 * S + w1 * cv + w2 * cv + w3 * E});
      attack.push_back({w1 * acp + w2 * acp + w3 * A * 256 / 100, w1 * acv + w2 * acv + w3 * V});
      decay.push_back({w0 * A * 256 / 100 + w1 * dcp * 256 / 100 + w2 * dcp * 256 / 100 +
                           w3 * D * 256 / 100, w0 * V + w1 * dcv + w2 * dcv});
    }
    auto entry = [](const std::vector<Step>& steps, int j, double closing) {
      for (const Step& st : steps)
        if (static_cast<int>(st.x) > j) return st.y / 100;
      return closing;
    };
    for (int j = 0; j < kCurvePoints; ++j) {
      const double pitchEntry = entry(pitch, j, pitch.back().y / 100);
      const double volume = j < A * 256 / 100 ? entry(attack, j, attack.back().y / 100) : entry(decay, j, 0.0);
      ASSERT_EQ(e->pitchTable[osc * kCurvePoints + j], pitchEntry) << trial << " " << j;
      ASSERT_EQ(e->volumeTable[osc * kCurvePoints + j], volume) << trial << " " << j;
    }
  }
}

// A value outside 0..100 is taken at the nearest end, and no write leaves the oscillator's rows.
TEST(CurveTables, OutOfRangeParametersAreClampedInsideTheRow) {
  for (int x : {INT_MIN, -1000, -1, 101, 5000, INT_MAX}) {
    const int c = x < 0 ? 0 : 100;
    auto e = With({x, x, x, x, x, x, x, x, x});
    auto clamped = With({c, c, c, c, c, c, c, c, c});
    for (double& v : e->volumeTable) v = 12345.0;
    for (double& v : e->pitchTable) v = 12345.0;
    BuildCurveTables(*e, 4);
    for (int i = 0; i < kOscillators * kCurvePoints; ++i) {
      const bool own = i / kCurvePoints == 4;
      ASSERT_EQ(e->volumeTable[i], own ? clamped->volumeTable[i] : 12345.0) << x << " " << i;
      ASSERT_EQ(e->pitchTable[i], own ? clamped->pitchTable[i] : 12345.0) << x << " " << i;
    }
  }
}

TEST(Oscillators, NoiseWaveformsAndModulation) {
  auto e = NewEngine();
  for (int x : {41, 18467, 6334, 26500, 19169}) EXPECT_EQ(NextNoise(*e), x);
  for (const auto& r : test::DataRows("engine_samples.txt", "waveforms")) {
    e->patch.WaveForm[2] = std::stoi(r.at(0));
    EXPECT_EQ(WaveformSample(*e, 2, Number(r.at(1))), Number(r.at(2))) << r[0] << " " << r[1];
  }
  // A modulator at -0.1 gives (-0.1 * 10 + 1) = 0: the sine's phase stays at 0.
  e = With({60, 50, 50, 50, 100, 0, 0, 100, 50}, 0, 1);
  for (double& m : e->oscBuffers[1]) m = -0.1;
  for (int n = 0; n < kOscillators; ++n) e->pending[n] = n == 0;
  RenderOscillators(*e);
  for (int i = 0; i < 882; ++i) ASSERT_EQ(e->oscBuffers[0][i], 0.0) << i;
}

TEST(MixDown, ScalesClipsTruncatesDecimatesAndCounts) {
  auto e = NewEngine();
  for (const auto& r : test::DataRows("engine_samples.txt", "mixdown")) {
    e->oscBuffers[0][0] = Number(r.at(0));
    for (int bits : {16, 8}) {
      e->format.bits = bits;
      MixDown(*e);
      EXPECT_EQ(bits == 16 ? e->pcm16[0] : e->pcm8[0], std::stoi(r.at(bits == 16 ? 1 : 2))) << r[0];
    }
  }
  // The three carriers only: a modulator is not heard.
  ResetEngine(*e);
  for (int n = 0; n < kOscillators; ++n) e->oscBuffers[n][7] = 0.5 / (1 << n);
  MixDown(*e);
  EXPECT_EQ(e->pcm16[7], 18687);  // (0.5 + 0.0625 + 0.0078125) * 32767 = 18687.43
  // Which mixed sample each 16-bit slot keeps at each rate.
  ResetEngine(*e);
  for (int i = 0; i < kMaxSamples; ++i) e->oscBuffers[0][i] = i % 8 / 32767.0;
  for (int16_t& s : e->pcm16) s = -5;
  for (const auto& r : test::DataRows("engine_samples.txt", "decimation")) {
    e->format.rate = std::stoi(r.at(0));
    MixDown(*e);
    EXPECT_EQ(e->pcm16[std::stoi(r.at(1))], std::stoi(r.at(2))) << r[0] << " " << r[1];
  }
  // The bytes of PCM in each format, none in a format not offered; the other lengths are cli_test's
  // (the WAVs' sizes).
  SetTime(e->patch, 3);
  for (const auto& r : test::DataRows("engine_samples.txt", "pcm-bytes")) {
    e->format = {std::stoi(r.at(0)), std::stoi(r.at(1))};
    EXPECT_EQ(PcmByteCount(*e), std::stoi(r.at(2))) << r[0] << " " << r[1];
    EXPECT_EQ(CurrentPcm(*e), e->format.bits == 8 ? e->pcm8 : reinterpret_cast<const uint8_t*>(e->pcm16));
  }
  EXPECT_EQ(PcmByteCount(44100, OutputFormat{48000, 16}) + PcmByteCount(44100, {44100, 12}), 0);
}

// The peak and the clipped samples of the sound are those of its own samples: the loudest or only
// clipped one may be the last, and what lies beyond (silence, or slots an earlier, longer render
// left, or half a sample) never counts.
TEST(MixDown, PeakAndClippingCoverTheSoundAndNothingBeyond) {
  auto e = NewEngine();
  for (const auto& r : test::DataRows("engine_samples.txt", "sound-ends")) {
    e->format = {std::stoi(r.at(0)), std::stoi(r.at(1))};
    SetTime(e->patch, std::stoi(r.at(2)));
    const int last = std::stoi(r.at(3));  // the sound's last sample in the PCM buffer
    for (int16_t& v : e->pcm16) v = 0;
    for (uint8_t& v : e->pcm8) v = 128;
    const bool sixteen = e->format.bits == 16;
    auto put = [&](int j, int level) {  // level on the 16-bit scale, a multiple of 256
      if (sixteen) e->pcm16[j] = static_cast<int16_t>(level);
      else e->pcm8[j] = static_cast<uint8_t>(level / 256 + 128);
    };
    put(last - 1, -1024);
    put(last, -4096);
    put(last + 1, -32768);  // beyond the sound
    EXPECT_EQ(PeakMagnitude(*e), 4096) << r[0] << " " << r[1] << " Time " << r[2];
    const int length = e->patch.soundLength;
    for (double* b : e->oscBuffers) std::fill(b, b + kMaxSamples, 0.0);
    e->oscBuffers[3][length - 1] = 1.5;  // the last mixed sample of the sound
    if (length < kMaxSamples) e->oscBuffers[6][length] = -2.0;
    EXPECT_EQ(ClippedSamples(*e), 1) << "Time " << r[2];
  }
}

}  // namespace plimbar
