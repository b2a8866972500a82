// The oscillators: nine 44100 Hz signals in double precision, rendered from
// the bottom of each chain upward so that a modulator's buffer is current
// when the oscillator above it reads it.
#include <cmath>

#include "engine/engine.h"

namespace plimbar {
namespace {

bool IsBottom(int n) { return n % 3 == 2; }

// Samples of the current sound, bounded to the buffers.
int RenderLength(const Engine& e) {
  const int length = e.patch.soundLength;
  if (length < 0) return 0;
  return length > kMaxSamples ? kMaxSamples : length;
}

void ClearFrom(double* buffer, int from) {
  for (int i = from; i < kMaxSamples; ++i) buffer[i] = 0.0;
}

// Frequency in Hz of a pitch table entry (semitones / 100).
double FrequencyOf(double pitch) {
  return kBaseFrequency * std::pow(kSemitoneRatio, pitch * 100.0);
}

// Sine, sawtooth or square: the phase starts at 0.0 for every render and
// advances by 2 pi f / 44100 per sample. The modulator's sample at the same
// index scales the frequency by (m * 10 + 1): 0.0 leaves it, -0.1 stops the
// phase, below that it runs backwards. Only the upper bound is wrapped.
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

// Noise: one draw per sample, smoothed by summing a window of one period of
// the current pitch (plus the current sample) and dividing by the square
// root of the window's span. Not frequency-modulated.
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

int NextNoise(Engine& e) {
  e.noiseState = e.noiseState * 214013u + 2531011u;  // wraps modulo 2^32
  return static_cast<int>((e.noiseState >> 16) & 0x7FFF);
}

double WaveformSample(Engine& e, int n, double phase) {
  switch (e.patch.WaveForm[n]) {
    case kSine:
      return std::sin(phase);
    case kSawtooth: {
      const double x = phase / kPi - 1.0;
      return x >= 1.0 ? 1.0 : x <= -1.0 ? -1.0 : x;
    }
    case kSquare:
      return phase <= kPi ? 1.0 : -1.0;
    case kNoise:
      return NextNoise(e) / kNoiseDivisor - 1.0;
    default:
      return 0.0;  // no such waveform: silence
  }
}

void RenderOscillators(Engine& e) {
  const int length = RenderLength(e);
  for (int n = kOscillators - 1; n >= 0; --n) {
    if (!e.pending[n]) continue;
    e.pending[n] = 0;
    if (e.patch.Mute[n]) {
      ClearFrom(e.oscBuffers[n], 0);  // the whole buffer, no noise drawn
    } else if (e.patch.WaveForm[n] == kNoise) {
      RenderNoise(e, n, length);
    } else {
      RenderTone(e, n, length);
    }
  }
}

}  // namespace plimbar
