// The oscillators: nine 44100 Hz signals in double precision, rendered from
// the bottom of each chain upward so that a modulator's buffer is current
// when the oscillator above it reads it.
//
// What is computed at which level:
//   once per render and table entry: the entry's frequency (one pow), its
//     phase step, its noise window length;
//   once per sample: the waveform (one sin for a sine, one draw for noise),
//     the modulated phase step and the phase wrap, the noise window sum.
// Every double is the one that the plain per-sample formulas give: the same
// operations on the same inputs in the same order. The sine and the power
// are the engine's own, correctly rounded (exact_math.h), so that every
// build gives the same doubles.
//
// The phases the sine sees. The phase starts at 0.0 and after every step is
// wrapped from above only, so it stays below kTwoPi; a modulator drives it
// below zero, and nothing brings it back up but later steps. The most
// negative phase follows from the largest backward step:
//   - the highest frequency: the curve tables clamp every parameter to
//     0..100 (Param in curve_tables.cpp), so the pitch stays within
//     [-1, 201] semitones (start Tune + (DeTune - 50)/100 in [-0.5, 100.5],
//     end pitch up to twice that with Bend 100): at most 27.5 *
//     kSemitoneRatio^201 = 3030994.3 Hz, a step of 431.844 rad;
//   - the largest modulator sample: a tone's is volume * wave, at most 1; a
//     noise oscillator's is a window sum of span + 1 draws of size at most
//     1 (volume <= 1, draw/16384 - 1 >= -1) over sqrt(span), where the
//     span, about one period, is at most 1699 samples (the lowest pitch,
//     -1 semitone, is 25.9565 Hz, a period of 1698.99 samples): at most
//     1700 / sqrt(1699) = 41.244. So the factor (m * 10 + 1) >= -411.44;
//   - the length: RenderLength bounds every render to kMaxSamples, whatever
//     Time holds, so the sine reads phases after at most 88199 steps.
// So every phase is above -88199 * 411.44 * 431.844 = -1.5671e10 (less a
// fraction of a radian that the additions round off), inside -2^34: well
// within the range where ExactSin is correct (|x| < 2^48), and within its
// fast path's reduction (|x| < 2^35).
#include <cmath>
#include <cstdint>

#include "engine/engine.h"
#include "engine/exact_math.h"
#include "engine/noise_windows.h"
#include "engine/phase_wrap.h"

namespace plimbar {
namespace {

bool IsBottom(int n) { return n % 3 == 2; }

// One step of the noise generator: state * 214013 + 2531011 modulo 2^32,
// giving bits 16..30 of the new state.
inline int DrawNoise(uint32_t& state) {
  state = state * 214013u + 2531011u;  // wraps modulo 2^32
  return static_cast<int>((state >> 16) & 0x7FFF);
}

// Samples of the current sound, bounded to the buffers.
int RenderLength(const Engine& e) {
  const int length = e.patch.soundLength;
  if (length < 0) return 0;
  return length > kMaxSamples ? kMaxSamples : length;
}

void ClearFrom(double* buffer, int from) {
  for (int i = from; i < kMaxSamples; ++i) buffer[i] = 0.0;
}

// Frequency in Hz of a pitch table entry (semitones / 100). The exponent
// lies in [-1, 201] (see curve_tables.cpp), give or take rounding.
double FrequencyOf(double pitch) {
  return kBaseFrequency * ExactSemitonePow(pitch * 100.0);
}

// The first sample that reads table entry p, of the samples 0 .. length - 1
// that are rendered: sample i reads entry (i * 256) / sound length
// (PitchAt), so entry p covers FirstSampleOf(p) up to FirstSampleOf(p + 1)
// - 1 (none when they are equal).
int FirstSampleOf(const Engine& e, int p, int length) {
  const int64_t first =
      (static_cast<int64_t>(p) * e.patch.soundLength + kCurvePoints - 1) /
      kCurvePoints;
  if (first < 0) return 0;
  return first < length ? static_cast<int>(first) : length;
}

// The 256 frequencies of oscillator n's pitch row.
void RowFrequencies(const Engine& e, int n, double* freq) {
  const double* pitch = e.pitchTable + n * kCurvePoints;
  for (int p = 0; p < kCurvePoints; ++p) freq[p] = FrequencyOf(pitch[p]);
}

// Sine, sawtooth or square: the phase starts at 0.0 for every render and
// advances by 2 pi f / 44100 per sample. The modulator's sample at the same
// index scales the frequency by (m * 10 + 1): 0.0 leaves it, -0.1 stops the
// phase, below that it runs backwards. Only the upper bound is wrapped, by
// repeated subtraction (counted in bulk for large phases: WrapPhase).
template <int kWave>
void RenderToneWave(Engine& e, int n, int length) {
  double freq[kCurvePoints];
  RowFrequencies(e, n, freq);
  const double* volume = e.volumeTable + n * kCurvePoints;
  double* out = e.oscBuffers[n];
  const double* modulator = IsBottom(n) ? nullptr : e.oscBuffers[n + 1];
  double phase = 0.0;
  for (int p = 0; p < kCurvePoints; ++p) {
    const int begin = FirstSampleOf(e, p, length);
    const int end = FirstSampleOf(e, p + 1, length);
    const double base = freq[p];
    const double v = volume[p];
    const double plainStep = (kTwoPi * base) / 44100.0;
    for (int i = begin; i < end; ++i) {
      double s;
      if (kWave == kSine) {
        s = ExactSin(phase);
      } else if (kWave == kSawtooth) {
        const double x = phase / kPi - 1.0;
        s = x >= 1.0 ? 1.0 : x <= -1.0 ? -1.0 : x;
      } else if (kWave == kSquare) {
        s = phase <= kPi ? 1.0 : -1.0;
      } else {
        s = 0.0;  // no such waveform: silence
      }
      out[i] = v * s;
      if (modulator) {
        const double f = (modulator[i] * kFmDepth + 1.0) * base;
        phase = phase + (kTwoPi * f) / 44100.0;
      } else {
        phase = phase + plainStep;
      }
      phase = WrapPhase(phase);
    }
  }
  ClearFrom(out, length);
}

void RenderTone(Engine& e, int n, int length) {
  switch (e.patch.WaveForm[n]) {
    case kSine:
      RenderToneWave<kSine>(e, n, length);
      break;
    case kSawtooth:
      RenderToneWave<kSawtooth>(e, n, length);
      break;
    case kSquare:
      RenderToneWave<kSquare>(e, n, length);
      break;
    default:
      RenderToneWave<-1>(e, n, length);
      break;
  }
}

// The smoothed value of sample i from its window sum.
inline double Smoothed(const double* scratch, int i, int k, double sum) {
  return k == i ? scratch[i] : sum / std::sqrt(i - k);
}

// Noise: one draw per sample, smoothed by summing a window of one period of
// the current pitch (plus the current sample) and dividing by the square
// root of the window's span. Not frequency-modulated.
//
// First every draw, in sample order, and every window start; then the
// window sums. Samples whose window starts at 0 (the start of the sound)
// share their prefix: sample i's sum is sample i-1's plus scratch[i]. The
// others go to the vector kernel, each sum still formed from scratch[k] up
// to scratch[i].
void RenderNoise(Engine& e, int n, int length) {
  double freq[kCurvePoints];
  RowFrequencies(e, n, freq);
  const double* volume = e.volumeTable + n * kCurvePoints;
  double* out = e.oscBuffers[n];
  double* scratch = e.noiseScratch;
  int* starts = e.noiseWindowStart;

  // The generator state stays in a local while the draws run (one draw per
  // sample, in sample order), and goes back at the end.
  uint32_t state = e.noiseState;
  for (int p = 0; p < kCurvePoints; ++p) {
    const int begin = FirstSampleOf(e, p, length);
    const int end = FirstSampleOf(e, p + 1, length);
    const double period = 44100.0 / freq[p];
    const double v = volume[p];
    for (int i = begin; i < end; ++i) {
      scratch[i] = v * (DrawNoise(state) / kNoiseDivisor - 1.0);
      int k = static_cast<int>(i - period);
      if (k < 0) k = 0;
      starts[i] = k;
    }
  }
  e.noiseState = state;

  int i = 0;
  double prefix = 0.0;
  for (; i < length && starts[i] == 0; ++i) {
    prefix += scratch[i];
    out[i] = Smoothed(scratch, i, 0, prefix);
  }

  // The rest through the window-sum kernel.
  CurrentNoiseKernel().smooth(scratch, starts, i, length, out,
                              e.noiseWorkspace);
  ClearFrom(out, length);
}

}  // namespace

int NextNoise(Engine& e) { return DrawNoise(e.noiseState); }

double WaveformSample(Engine& e, int n, double phase) {
  switch (e.patch.WaveForm[n]) {
    case kSine:
      return ExactSin(phase);
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
