// The three graph views: the waveform of the last render, and the pitch
// curve and volume envelope of the current oscillator. Green on black; each
// view is a child of a sunken frame of the main dialog and covers its
// client area. The views only paint: they keep no data of their own.
#ifndef PLIMBAR_UI_VIEWS_H
#define PLIMBAR_UI_VIEWS_H

#include <windows.h>

#include <cstdint>

#include "engine/engine.h"

namespace plimbar {

constexpr COLORREF kViewGreen = RGB(0, 255, 0);

extern const char kWaveViewClass[];   // "WaveWnd"
extern const char kVolumeViewClass[]; // "VolWnd"
extern const char kPitchViewClass[];  // "PitchWnd"

// Registers "WaveWnd", "VolWnd", "PitchWnd" in this order; false as soon as
// one registration fails.
bool RegisterViewClasses(HINSTANCE instance);

LRESULT CALLBACK WaveWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK VolWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
LRESULT CALLBACK PitchWndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

// Fits the waveform, pitch and volume views, in this order, to the client
// areas of their frames (with repaint).
void PlaceViews(HWND dialog);
// Fits one view to the client area of the dialog's control frameId.
void FitViewToFrame(HWND dialog, int frameId, HWND view);

// --- waveform view ---------------------------------------------------------

// Output samples that hold the sound: the sound length at 44100 Hz, / 2 at
// 22050 Hz, / 4 at 11025 Hz; 0 for any other rate.
int WaveformPointCount(const Engine& e);

// Sample i of the current PCM buffer as a 16-bit value: the sample itself
// at 16 bits, (byte - 128) * 256 at 8 bits.
int PcmSampleAt(const Engine& e, int i);

// Plots the waveform into a w x h image of 32-bit pixels (rows top to
// bottom, 0x00RRGGBB) that the caller has filled with the background:
// sample i goes to column (w * i) / n and row h / 2 - (s * h) / 65536,
// every sample one pixel in colour; points outside the image are dropped,
// as the window's clipping drops them.
void PlotWaveform(const Engine& e, int w, int h, uint32_t* pixels,
                  uint32_t colour);

// Paints the waveform view's picture (black, then the green points) into
// the w x h area at the origin of hdc: drawn in a memory bitmap and copied
// with one BitBlt.
void PaintWaveform(HDC hdc, int w, int h, const Engine& e);

// The same picture with FillRect and one SetPixel per sample: the plain
// way, kept as the reference for tests and the benchmark.
void PaintWaveformPerPixel(HDC hdc, int w, int h, const Engine& e);

// --- pitch and volume views -----------------------------------------------

// Paints one curve row (kCurvePoints entries) into the area rc of hdc: for
// each column x a green bar of h + 1 pixels on the bottom edge, h =
// (height - 1) * row[(x * 256) / width] truncated, and black above it.
void PaintCurve(HDC hdc, const RECT& rc, const double* row);

}  // namespace plimbar

#endif  // PLIMBAR_UI_VIEWS_H
