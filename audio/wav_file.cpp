// WAV export: the 44-byte RIFF/WAVE header, then the sound's PCM bytes.
//
// Every number in the file is little-endian whatever the host is, so the
// header and the 16-bit samples are assembled byte by byte rather than
// copied from memory.
#include "audio/wav_file.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "storage/file_replace.h"

namespace plimbar {
namespace {

void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
}

void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v & 0xFF);
  p[1] = static_cast<uint8_t>((v >> 8) & 0xFF);
  p[2] = static_cast<uint8_t>((v >> 16) & 0xFF);
  p[3] = static_cast<uint8_t>((v >> 24) & 0xFF);
}

// Writes n bytes; false on a short write.
bool WriteAll(std::FILE* f, const uint8_t* data, size_t n) {
  return n == 0 || std::fwrite(data, 1, n, f) == n;
}

// The first n bytes of the 16-bit buffer as little-endian bytes, in chunks
// through a small buffer on the stack. An odd n ends with the low byte of
// the last sample.
bool WritePcm16(std::FILE* f, const int16_t* samples, size_t n) {
  uint8_t chunk[4096];
  size_t done = 0;
  while (done < n) {
    size_t len = n - done;
    if (len > sizeof chunk) len = sizeof chunk;
    for (size_t k = 0; k < len; ++k) {
      size_t byte = done + k;
      uint16_t s = static_cast<uint16_t>(samples[byte / 2]);
      chunk[k] = static_cast<uint8_t>(byte % 2 == 0 ? (s & 0xFF) : (s >> 8));
    }
    if (!WriteAll(f, chunk, len)) return false;
    done += len;
  }
  return true;
}

}  // namespace

void BuildWavHeader(const OutputFormat& f, uint32_t n,
                    uint8_t header[kWavHeaderBytes]) {
  const uint32_t rate = static_cast<uint32_t>(f.rate);
  const uint32_t bits = static_cast<uint32_t>(f.bits);
  std::memcpy(header + 0, "RIFF", 4);
  PutU32(header + 4, n + 36);
  std::memcpy(header + 8, "WAVE", 4);
  std::memcpy(header + 12, "fmt ", 4);
  PutU32(header + 16, 16);                // size of the fmt body
  PutU16(header + 20, 1);                 // format tag: PCM
  PutU16(header + 22, 1);                 // channels: mono
  PutU32(header + 24, rate);              // sample rate
  PutU32(header + 28, rate * bits / 8);   // byte rate
  PutU16(header + 32, bits / 8);          // block alignment
  PutU16(header + 34, bits);              // bits per sample
  std::memcpy(header + 36, "data", 4);
  PutU32(header + 40, n);
}

bool WriteWavFile(const Engine& e, const char* path) {
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return false;
  }
  if (!IsValidFormat(e.format)) {
    errno = EINVAL;
    return false;
  }
  const int count = PcmByteCount(e);
  const int capacity = kMaxSamples * (e.format.bits / 8);
  if (count < 0 || count > capacity) {
    errno = EINVAL;
    return false;
  }
  const size_t n = static_cast<size_t>(count);

  uint8_t header[kWavHeaderBytes];
  BuildWavHeader(e.format, static_cast<uint32_t>(n), header);

  // errno tells the caller why a write failed (the command-line renderer
  // prints it); a short write that sets none is reported as EIO.
  // The old file of that name stays as it was unless the new one is
  // complete; a partial file written in place (too long a folder name for a
  // temporary file) is removed, so no player takes it for the sound.
  FileReplacement out;
  if (!OpenReplacement(path, out)) return false;
  errno = 0;
  bool ok = WriteAll(out.file, header, sizeof header);
  if (ok) {
    ok = e.format.bits == 16 ? WritePcm16(out.file, e.pcm16, n)
                             : WriteAll(out.file, e.pcm8, n);
  }
  return CloseReplacement(out, path, ok, /*removePartialInPlace=*/true);
}

}  // namespace plimbar
