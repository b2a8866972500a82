// The three graph views: the waveform of the last render, and the pitch
// curve and volume envelope of the current oscillator. Each view is a child
// of a sunken frame of the main dialog and covers its client area; it only
// paints the session's picture of it (editor/views.h), green on black.
#ifndef PLIMBAR_UI_VIEWS_H
#define PLIMBAR_UI_VIEWS_H

#include <windows.h>

namespace plimbar {

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

}  // namespace plimbar

#endif  // PLIMBAR_UI_VIEWS_H
