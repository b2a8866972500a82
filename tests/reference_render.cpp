// Every sample pays for its pow; every noise sample re-sums its whole window.
#include "tests/reference_render.h"

#include <algorithm>
#include <cmath>

#include "engine/exact_math.h"

namespace plimbar {
namespace {

double FrequencyAt(const Engine& e, int n, int i) {
  return kBaseFrequency * ExactSemitonePow(PitchAt(e, n, i) * 100.0);
}

void RenderTone(Engine& e, int n, int length) {
  const double* modulator = n % 3 == 2 ? nullptr : e.oscBuffers[n + 1];
  double phase = 0.0;
  for (int i = 0; i < length; ++i) {
    const double base = FrequencyAt(e, n, i);
    const double f = modulator ? (modulator[i] * kFmDepth + 1.0) * base : base;
    e.oscBuffers[n][i] = VolumeAt(e, n, i) * WaveformSample(e, n, phase);
    phase = phase + (kTwoPi * f) / 44100.0;
    while (phase >= kTwoPi) phase -= kTwoPi;
  }
}

void RenderNoise(Engine& e, int n, int length) {
  double* scratch = e.noiseScratch;
  for (int i = 0; i < length; ++i) {
    const double f = FrequencyAt(e, n, i);
    scratch[i] = VolumeAt(e, n, i) * WaveformSample(e, n, 0.0);
    const int k = std::max(0, static_cast<int>(i - 44100.0 / f));
    double sum = 0.0;
    for (int j = k; j <= i; ++j) sum += scratch[j];
    e.oscBuffers[n][i] = k == i ? scratch[i] : sum / std::sqrt(i - k);
  }
}

}  // namespace

void ReferenceRenderPatch(Engine& e) {
  const int length = std::min(std::max(e.patch.soundLength, 0), kMaxSamples);
  for (int n = kOscillators - 1; n >= 0; --n) {
    if (!e.pending[n]) continue;
    e.pending[n] = 0;
    const bool muted = e.patch.Mute[n] != 0;  // silence, no noise drawn
    if (!muted) (e.patch.WaveForm[n] == kNoise ? RenderNoise : RenderTone)(e, n, length);
    std::fill(e.oscBuffers[n] + (muted ? 0 : length), e.oscBuffers[n] + kMaxSamples, 0.0);
  }
  MixDown(e);
}

}  // namespace plimbar
