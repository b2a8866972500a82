// The pictures of the graph views.
#include "editor/views.h"

#include <cmath>
#include <cstddef>

namespace plimbar {

int WaveformPointCount(const Engine& e) {
  switch (e.format.rate) {
    case 44100: return e.patch.soundLength;
    case 22050: return e.patch.soundLength / 2;
    case 11025: return e.patch.soundLength / 4;
    default: return 0;  // no such rate: nothing was mixed
  }
}

int PcmSampleAt(const Engine& e, int i) {
  if (e.format.bits == 16) return e.pcm16[i];
  return (static_cast<int>(e.pcm8[i]) - 128) * 256;
}

void DrawWaveView(const Session& s, int w, int h, uint32_t* pixels,
                  ViewColours colours) {
  if (w <= 0 || h <= 0) return;
  const size_t area = static_cast<size_t>(w) * static_cast<size_t>(h);
  for (size_t i = 0; i < area; ++i) pixels[i] = colours.background;
  const Engine& e = s.engine;
  const int n = WaveformPointCount(e);
  if (n <= 0 || n > kMaxSamples) return;
  for (int i = 0; i < n; ++i) {
    const int v = PcmSampleAt(e, i);
    const int x = static_cast<int>(static_cast<long long>(w) * i / n);
    const int y = h / 2 - static_cast<int>(static_cast<long long>(v) * h / 65536);
    if (x >= 0 && x < w && y >= 0 && y < h)
      pixels[static_cast<size_t>(y) * w + x] = colours.ink;
  }
}

void DrawCurveView(const Session& s, CurveView view, int w, int h,
                   uint32_t* pixels, ViewColours colours) {
  if (w <= 0 || h <= 0) return;
  const int osc = s.currentOsc >= 0 && s.currentOsc < kOscillators ? s.currentOsc : 0;
  const double* row = (view == kPitchCurve ? s.engine.pitchTable : s.engine.volumeTable) +
                      osc * kCurvePoints;
  for (int x = 0; x < w; ++x) {
    double v = row[static_cast<long long>(x) * kCurvePoints / w];
    // Any value beyond these fills the column or leaves it empty alike.
    if (v > 2.0) v = 2.0;
    if (v < -2.0) v = -2.0;
    const int bar = static_cast<int>((h - 1) * v);
    // The bar's top edge, kept inside the view.
    int edge = h - bar - 1;
    if (edge < 0) edge = 0;
    if (edge > h) edge = h;
    for (int y = 0; y < h; ++y)
      pixels[static_cast<size_t>(y) * w + x] = y < edge ? colours.background : colours.ink;
  }
}

}  // namespace plimbar
