// Playback of the current sound through the wave-out device.
//
// One sound at a time. A press of Test renders first when anything is
// pending, copies the sound into a buffer of its own and queues that copy
// as one block; the device reports the end of the block to the main dialog
// (MM_WOM_DONE), which hands the notice to FinishPlayback. Because the
// device plays the copy, renders asked for during playback (a waveform
// change, a change of rate or depth, a patch load, the dialog's IDOK) run
// at once, and what is heard is still the sound as it was at the press.
#ifndef PLIMBAR_AUDIO_PLAYBACK_H
#define PLIMBAR_AUDIO_PLAYBACK_H

#include <windows.h>

#include <cstdint>

#include "engine/engine.h"

namespace plimbar {

// Room for the longest sound: 2 s at 44100 Hz, 16 bits.
constexpr int kPlaybackBytes = 176400;

// Plays the current sound of e once. receiver gets the device's notices.
// render brings the sound up to date (render, mix and redraw); it is called
// once, and only when an oscillator is pending. Returns 0 when the press is
// refused (a sound is playing) or there is no output device, else 1. Every
// failure leaves nothing playing and the playing flag clear.
int StartPlayback(Engine& e, HWND receiver, void (*render)());

// The end-of-block notice: MM_WOM_DONE's wParam (the device) and lParam
// (the finished header). Releases the block, closes the device and clears
// the playing flag. A notice that names another device leaves a playing
// sound alone.
void FinishPlayback(WPARAM device, LPARAM header);

// Stops a playing sound and releases the device; waits for the device to
// hand the block back. Used when the program ends.
void StopPlayback();

bool IsPlaying();

// The sound the device plays: its bytes and their number (the PCM byte
// count at the press). For tests.
const uint8_t* PlaybackBytes();
int PlaybackByteCount();

}  // namespace plimbar

#endif  // PLIMBAR_AUDIO_PLAYBACK_H
