// Playback through the wave-out device.
#include "audio/playback.h"

#include <mmsystem.h>

#include <cstring>

namespace plimbar {
namespace {

HWAVEOUT g_device = nullptr;
WAVEHDR g_header;  // reused by every block; lives for the whole run
// The copy the device plays; 16-bit samples need even alignment.
alignas(4) uint8_t g_sound[kPlaybackBytes];

void CloseDevice() {
  if (g_device != nullptr && waveOutClose(g_device) == MMSYSERR_NOERROR) g_device = nullptr;
}

// Drops a device that could not be closed: it holds nothing of ours once
// the header is unprepared, and a later press must be able to start.
void ForgetDevice() {
  CloseDevice();
  g_device = nullptr;
}

}  // namespace

bool PlayPcmBlock(const uint8_t* pcm, int bytes, const OutputFormat& f, HWND receiver) {
  if (waveOutGetNumDevs() == 0) return false;
  // A format outside the six has no byte count: nothing to play.
  if (!IsValidFormat(f) || bytes <= 0 || bytes > kPlaybackBytes) return false;
  std::memcpy(g_sound, pcm, static_cast<size_t>(bytes));

  WAVEFORMATEX format = {};
  format.wFormatTag = WAVE_FORMAT_PCM;
  format.nChannels = 1;
  format.nSamplesPerSec = static_cast<DWORD>(f.rate);
  format.nAvgBytesPerSec = static_cast<DWORD>(f.rate * f.bits / 8);
  format.nBlockAlign = static_cast<WORD>(f.bits / 8);
  format.wBitsPerSample = static_cast<WORD>(f.bits);
  format.cbSize = 0;
  if (waveOutOpen(&g_device, WAVE_MAPPER, &format, reinterpret_cast<DWORD_PTR>(receiver), 0,
                  CALLBACK_WINDOW) != MMSYSERR_NOERROR) {
    g_device = nullptr;
    return false;
  }
  std::memset(&g_header, 0, sizeof g_header);
  g_header.lpData = reinterpret_cast<LPSTR>(g_sound);
  g_header.dwBufferLength = static_cast<DWORD>(bytes);
  g_header.dwFlags = 0;
  if (waveOutPrepareHeader(g_device, &g_header, sizeof g_header) != MMSYSERR_NOERROR) {
    ForgetDevice();
    return false;
  }
  if (waveOutWrite(g_device, &g_header, sizeof g_header) != MMSYSERR_NOERROR) {
    waveOutUnprepareHeader(g_device, &g_header, sizeof g_header);
    ForgetDevice();
    return false;
  }
  return true;
}

bool FinishPlayback(WPARAM device, LPARAM header) {
  if (g_device == nullptr) return true;
  // Only the end of our own block on our own device ends the sound.
  if (reinterpret_cast<HWAVEOUT>(device) != g_device ||
      reinterpret_cast<WAVEHDR*>(header) != &g_header)
    return false;
  waveOutUnprepareHeader(g_device, &g_header, sizeof g_header);
  CloseDevice();
  return true;
}

void StopPlayback() {
  if (g_device == nullptr) return;
  waveOutReset(g_device);
  // After the reset the device has handed the block back; the unprepare
  // fails only while it still holds it. Bounded: a device that never lets
  // go is dropped.
  for (int tries = 0; tries < 200; ++tries) {
    if (waveOutUnprepareHeader(g_device, &g_header, sizeof g_header) != WAVERR_STILLPLAYING) break;
    Sleep(10);
  }
  CloseDevice();
  g_device = nullptr;
}

}  // namespace plimbar
