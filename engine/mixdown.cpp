// The mixdown: the three carriers summed at 44100 Hz, clipped and turned
// into 16-bit or 8-bit PCM at 44100, 22050 or 11025 Hz.
#include "engine/engine.h"

namespace plimbar {

static_assert((-1 >> 1) == -1, "the 8-bit conversion needs arithmetic shifts");

namespace {

// Decimation step: 1 at 44100 Hz, 2 at 22050, 4 at 11025; 0 for any other.
int DecimationStep(int rate) {
  switch (rate) {
    case 44100: return 1;
    case 22050: return 2;
    case 11025: return 4;
    default: return 0;
  }
}

}  // namespace

bool IsValidFormat(const OutputFormat& f) {
  return DecimationStep(f.rate) != 0 && (f.bits == 16 || f.bits == 8);
}

int PcmByteCount(int soundLength, const OutputFormat& f) {
  if (!IsValidFormat(f)) return 0;
  const int divisor = 8 * DecimationStep(f.rate);
  return soundLength * f.bits / divisor;
}

int PcmByteCount(const Engine& e) {
  return PcmByteCount(e.patch.soundLength, e.format);
}

const uint8_t* CurrentPcm(const Engine& e) {
  if (e.format.bits == 16) return reinterpret_cast<const uint8_t*>(e.pcm16);
  return e.pcm8;
}

void MixDown(Engine& e) {
  const int d = DecimationStep(e.format.rate);
  if (d == 0) return;  // no such rate: the buffer stays as it was
  const int shift = d == 1 ? 0 : d == 2 ? 1 : 2;
  const double* osc1 = e.oscBuffers[0];
  const double* osc4 = e.oscBuffers[3];
  const double* osc7 = e.oscBuffers[6];
  const bool sixteen = e.format.bits == 16;
  // Every slot j is written d times and keeps mixed sample d * j + d - 1:
  // plain decimation, no filtering.
  for (int i = 0; i < kMaxSamples; ++i) {
    double v = (osc1[i] + osc4[i] + osc7[i]) * 32767.0;
    if (v > 32767.0) v = 32767.0;
    if (v < -32768.0) v = -32768.0;
    const int s = static_cast<int>(v);
    const int j = i >> shift;
    if (sixteen) {
      e.pcm16[j] = static_cast<int16_t>(s);
    } else {
      e.pcm8[j] = static_cast<uint8_t>((s >> 8) + 128);
    }
  }
}

int PeakMagnitude(const Engine& e) {
  const int bytes = PcmByteCount(e);
  const int samples = e.format.bits == 16 ? bytes / 2 : bytes;
  int peak = 0;
  for (int j = 0; j < samples; ++j) {
    const int s = e.format.bits == 16 ? e.pcm16[j] : (e.pcm8[j] - 128) * 256;
    const int m = s < 0 ? -s : s;
    if (m > peak) peak = m;
  }
  return peak;
}

int ClippedSamples(const Engine& e) {
  int clipped = 0;
  const int length = e.patch.soundLength < kMaxSamples ? e.patch.soundLength : kMaxSamples;
  for (int i = 0; i < length; ++i) {
    const double v =
        (e.oscBuffers[0][i] + e.oscBuffers[3][i] + e.oscBuffers[6][i]) * 32767.0;
    if (v > 32767.0 || v < -32768.0) ++clipped;
  }
  return clipped;
}

void RenderPatch(Engine& e) {
  RenderOscillators(e);
  MixDown(e);
}

}  // namespace plimbar

