// Playback through the wave-out device.
#include "audio/playback.h"

#include <mmsystem.h>

#include <cstring>

namespace plimbar {
namespace {

int g_playing = 0;
HWAVEOUT g_device = nullptr;
WAVEHDR g_header;  // reused by every start; lives for the whole run
// The copy the device plays; 16-bit samples need even alignment.
alignas(4) uint8_t g_sound[kPlaybackBytes];
int g_soundBytes = 0;

void CloseDevice() {
  if (g_device != nullptr && waveOutClose(g_device) == MMSYSERR_NOERROR)
    g_device = nullptr;
}

// Drops a device that could not be closed: it holds nothing of ours once
// the header is unprepared, and a later press must be able to start.
void ForgetDevice() {
  CloseDevice();
  g_device = nullptr;
  g_playing = 0;
}

}  // namespace

int StartPlayback(Engine& e, HWND receiver, void (*render)()) {
  if (g_playing != 0) return 0;
  g_playing = 1;
  if (AnyPending(e) && render != nullptr) render();
  if (waveOutGetNumDevs() == 0) {
    g_playing = 0;
    return 0;
  }
  const int bytes = PcmByteCount(e);
  const int bits = e.format.bits;
  // A format outside the six has no byte count: nothing to play.
  if (!IsValidFormat(e.format) || bytes <= 0 || bytes > kPlaybackBytes) {
    g_playing = 0;
    return 1;
  }
  std::memcpy(g_sound, CurrentPcm(e), static_cast<size_t>(bytes));
  g_soundBytes = bytes;

  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = static_cast<DWORD>(e.format.rate);
  format.nAvgBytesPerSec = static_cast<DWORD>(e.format.rate * bits / 8);
  format.nBlockAlign = static_cast<WORD>(bits / 8);
  format.wBitsPerSample = static_cast<WORD>(bits);
  format.cbSize = 0;
  if (waveOutOpen(&g_device, WAVE_MAPPER, &format,
                  reinterpret_cast<DWORD_PTR>(receiver), 0,
                  CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    g_device = nullptr;
    g_playing = 0;
    return 1;
  }
  std::memset(&g_header, 0, sizeof g_header);
  g_header.lpData = reinterpret_cast<LPSTR>(g_sound);
  g_header.dwBufferLength = static_cast<DWORD>(bytes);
  g_header.dwFlags = 0;
  if (waveOutPrepareHeader(g_device, &g_header, sizeof g_header) !=
      MMSYSERR_NOERROR) {
    ForgetDevice();
    return 1;
  }
  if (waveOutWrite(g_device, &g_header, sizeof g_header) != MMSYSERR_NOERROR) {
    waveOutUnprepareHeader(g_device, &g_header, sizeof g_header);
    ForgetDevice();
    return 1;
  }
  return 1;
}

void FinishPlayback(WPARAM device, LPARAM header) {
  if (g_device == nullptr) {
    g_playing = 0;
    return;
  }
  // Only the end of our own block on our own device ends the sound.
  if (reinterpret_cast<HWAVEOUT>(device) != g_device ||
      reinterpret_cast<WAVEHDR*>(header) != &g_header)
    return;
  waveOutUnprepareHeader(g_device, &g_header, sizeof g_header);
  CloseDevice();
  g_playing = 0;
}

void StopPlayback() {
  if (g_device != nullptr) {
    waveOutReset(g_device);
    // After the reset the device has handed the block back; the unprepare
    // fails only while it still holds it. Bounded: a device that never
    // lets go is dropped.
    for (int tries = 0; tries < 200; ++tries) {
      if (waveOutUnprepareHeader(g_device, &g_header, sizeof g_header) !=
          WAVERR_STILLPLAYING)
        break;
      Sleep(10);
    }
    CloseDevice();
    g_device = nullptr;
  }
  g_playing = 0;
}

bool IsPlaying() { return g_playing != 0; }

const uint8_t* PlaybackBytes() { return g_sound; }
int PlaybackByteCount() { return g_soundBytes; }

}  // namespace plimbar
