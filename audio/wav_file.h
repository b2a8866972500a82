// WAV export: a 44-byte RIFF/WAVE header and the sound's PCM bytes.
#ifndef PLIMBAR_AUDIO_WAV_FILE_H
#define PLIMBAR_AUDIO_WAV_FILE_H

#include <cstdint>

#include "engine/engine.h"

namespace plimbar {

constexpr int kWavHeaderBytes = 44;

// Fills the 44 header bytes for n bytes of mono PCM in format f.
void BuildWavHeader(const OutputFormat& f, uint32_t n,
                    uint8_t header[kWavHeaderBytes]);

// Writes the current PCM buffer of e, PCM byte count bytes of it, after the
// header to exactly this path (no extension is added here; callers complete
// the name with AppendExtension). No pad byte follows an odd count.
// False (errno set) when the file cannot be created or a write fails; an
// existing file of that name then stays as it was, since the new one takes
// its place only when complete.
bool WriteWavFile(const Engine& e, const char* path);

}  // namespace plimbar

#endif  // PLIMBAR_AUDIO_WAV_FILE_H
