// The pictures of the three graph views, as every face draws them: the
// waveform of the last render, and the current oscillator's pitch curve and
// volume envelope. Each is drawn into a w x h image of 32-bit pixels, rows
// top to bottom, in the face's own pixel layout: the face gives the two
// colours (the program's are black and green, RGB(0, 255, 0)).
#ifndef PLIMBAR_EDITOR_VIEWS_H
#define PLIMBAR_EDITOR_VIEWS_H

#include <cstdint>

#include "editor/session.h"

namespace plimbar {

struct ViewColours {
  uint32_t background;
  uint32_t ink;
};

// Output samples that hold the sound: the sound length at 44100 Hz, / 2 at
// 22050 Hz, / 4 at 11025 Hz; 0 for any other rate.
int WaveformPointCount(const Engine& e);

// Sample i of the current PCM buffer as a 16-bit value: the sample itself
// at 16 bits, (byte - 128) * 256 at 8 bits.
int PcmSampleAt(const Engine& e, int i);

// The waveform view: the background, then sample i of n a point at column
// (w * i) / n, row h / 2 - (s * h) / 65536 (both divisions truncating, h / 2
// first); points outside the image are dropped, as a window's clipping
// drops them.
void DrawWaveView(const Session& s, int w, int h, uint32_t* pixels,
                  ViewColours colours);

enum CurveView { kVolumeCurve, kPitchCurve };

// A curve view of the current oscillator: for each column x, v = the row's
// entry (x * 256) / w and a bar of (h - 1) * v + 1 pixels (truncated)
// standing on the bottom edge, the background above it; a value above 1
// fills the column, one that makes the bar negative leaves it empty.
void DrawCurveView(const Session& s, CurveView view, int w, int h,
                   uint32_t* pixels, ViewColours colours);

}  // namespace plimbar

#endif  // PLIMBAR_EDITOR_VIEWS_H
