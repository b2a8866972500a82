// Playback of a sound through the wave-out device.
//
// One block at a time: PlayPcmBlock copies the sound into a buffer of its
// own and queues that copy as one block; the device reports the end of the
// block to the receiver window (MM_WOM_DONE), which hands the notice to
// FinishPlayback. Because the device plays the copy, renders asked for
// during playback run at once, and what is heard is still the sound as it
// was when it was handed over. Whether a press of Test may start a sound is
// the editing session's business (its playing flag).
#ifndef PLIMBAR_AUDIO_PLAYBACK_H
#define PLIMBAR_AUDIO_PLAYBACK_H

#include <windows.h>

#include <cstdint>

#include "engine/engine.h"

namespace plimbar {

// Room for the longest sound: 2 s at 44100 Hz, 16 bits.
constexpr int kPlaybackBytes = 176400;

// Plays `bytes` bytes of mono PCM in format f once; receiver gets the
// device's notices. False when nothing plays: no output device, a format or
// size the device cannot take, or a device call that failed (then nothing is
// left open).
bool PlayPcmBlock(const uint8_t* pcm, int bytes, const OutputFormat& f, HWND receiver);

// The end-of-block notice: MM_WOM_DONE's wParam (the device) and lParam
// (the finished header). Releases the block and closes the device; true
// when no sound is playing any more (a notice that names another device
// leaves a playing sound alone and returns false).
bool FinishPlayback(WPARAM device, LPARAM header);

// Stops a playing sound and releases the device; waits for the device to
// hand the block back. Used when the program ends.
void StopPlayback();

}  // namespace plimbar

#endif  // PLIMBAR_AUDIO_PLAYBACK_H
