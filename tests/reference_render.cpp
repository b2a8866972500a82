// The oscillator render in its plainest form, loop for loop as the renderer
// is described: every sample pays for its pow, every noise sample re-sums
// its whole window from scratch[k] up to scratch[i].
#include "tests/reference_render.h"

#include <cmath>

#include "engine/exact_math.h"

namespace plimbar {
namespace {

bool IsBottom(int n) { return n % 3 == 2; }

int RenderLength(const Engine& e) {
  const int length = e.patch.soundLength;
  if (length < 0) return 0;
  return length > kMaxSamples ? kMaxSamples : length;
}

void ClearFrom(double* buffer, int from) {
  for (int i = from; i < kMaxSamples; ++i) buffer[i] = 0.0;
}

double FrequencyOf(double pitch) {
  return kBaseFrequency * ExactSemitonePow(pitch * 100.0);
}

void RenderTone(Engine& e, int n, int length) {
  double* out = e.oscBuffers[n];
  const double* modulator = IsBottom(n) ? nullptr : e.oscBuffers[n + 1];
  double phase = 0.0;
  for (int i = 0; i < length; ++i) {
    const double base = FrequencyOf(PitchAt(e, n, i));
    const double f = modulator ? (modulator[i] * kFmDepth + 1.0) * base : base;
    const double s = WaveformSample(e, n, phase);
    out[i] = VolumeAt(e, n, i) * s;
    phase = phase + (kTwoPi * f) / 44100.0;
    while (phase >= kTwoPi) phase -= kTwoPi;
  }
  ClearFrom(out, length);
}

void RenderNoise(Engine& e, int n, int length) {
  double* out = e.oscBuffers[n];
  double* scratch = e.noiseScratch;
  for (int i = 0; i < length; ++i) {
    const double f = FrequencyOf(PitchAt(e, n, i));
    scratch[i] = VolumeAt(e, n, i) * WaveformSample(e, n, 0.0);
    int k = static_cast<int>(i - 44100.0 / f);
    if (k < 0) k = 0;
    double sum = 0.0;
    for (int j = k; j <= i; ++j) sum += scratch[j];
    out[i] = k == i ? scratch[i] : sum / std::sqrt(i - k);
  }
  ClearFrom(out, length);
}

}  // namespace

void ReferenceRenderOscillators(Engine& e) {
  const int length = RenderLength(e);
  for (int n = kOscillators - 1; n >= 0; --n) {
    if (!e.pending[n]) continue;
    e.pending[n] = 0;
    if (e.patch.Mute[n]) {
      ClearFrom(e.oscBuffers[n], 0);
    } else if (e.patch.WaveForm[n] == kNoise) {
      RenderNoise(e, n, length);
    } else {
      RenderTone(e, n, length);
    }
  }
}

void ReferenceRenderPatch(Engine& e) {
  ReferenceRenderOscillators(e);
  MixDown(e);
}

}  // namespace plimbar
