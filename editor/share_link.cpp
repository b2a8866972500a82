// Share links: the patch and format packed into bits, checked with CRC-32,
// written as base64url.
#include "editor/share_link.h"

#include <cstdint>

#include "storage/patch_file.h"

namespace plimbar {
namespace {

constexpr int kPayloadBytes = kShareLinkBytes - 4;  // what the checksum covers
constexpr int kRates[] = {44100, 22050, 11025};
constexpr int kDepths[] = {16, 8};
constexpr char kAlphabet[] =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

// The bits a value of 0..max needs.
int WidthFor(int max) {
  int width = 0;
  while ((1 << width) <= max) ++width;
  return width;
}

uint32_t Crc32(const uint8_t* bytes, int n) {
  uint32_t crc = 0xFFFFFFFFu;
  for (int i = 0; i < n; ++i) {
    crc ^= bytes[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

// Bits written and read most significant first, from byte 2 on.
struct BitCursor {
  uint8_t* bytes;
  int bit = 2 * 8;
  void Put(int value, int width) {
    for (int k = width - 1; k >= 0; --k, ++bit)
      if ((value >> k) & 1) bytes[bit / 8] = static_cast<uint8_t>(bytes[bit / 8] | (0x80 >> (bit % 8)));
  }
  int Take(int width) {
    int value = 0;
    for (int k = 0; k < width; ++k, ++bit) value = (value << 1) | ((bytes[bit / 8] >> (7 - bit % 8)) & 1);
    return value;
  }
};

// Visits the 109 values in link order with their ranges: f(value, min, max).
template <typename P, typename F>
void ForEachValue(P& p, F f) {
  for (int n = 0; n < kOscillators; ++n)
    for (const PatchParamInfo& info : kPatchParams) f((p.*(info.field))[n], info.min, info.max);
  f(p.Time, kTimeMin, kTimeMax);
}

int IndexOf(const int* values, int count, int v) {
  for (int i = 0; i < count; ++i)
    if (values[i] == v) return i;
  return -1;
}

int Sextet(char c) {
  for (int i = 0; i < 64; ++i)
    if (kAlphabet[i] == c) return i;
  return -1;
}

}  // namespace

static_assert(kShareLinkChars == (kShareLinkBytes * 8 + 5) / 6, "base64 without padding");

bool EncodeShareLink(const Patch& p, const OutputFormat& f, char* out, size_t size) {
  if (out == nullptr || size == 0) return false;
  out[0] = '\0';
  if (size < static_cast<size_t>(kShareLinkChars) + 1) return false;
  const int rate = IndexOf(kRates, 3, f.rate);
  const int depth = IndexOf(kDepths, 2, f.bits);
  bool inRange = rate >= 0 && depth >= 0;
  ForEachValue(p, [&](int v, int min, int max) { inRange = inRange && v >= min && v <= max; });
  if (!inRange) return false;

  uint8_t bytes[kShareLinkBytes] = {};
  bytes[0] = static_cast<uint8_t>(kPatchFileVersion);
  bytes[1] = static_cast<uint8_t>(rate * 2 + depth);
  BitCursor bits{bytes};
  ForEachValue(p, [&](int v, int, int max) { bits.Put(v, WidthFor(max)); });
  const uint32_t crc = Crc32(bytes, kPayloadBytes);
  for (int k = 0; k < 4; ++k) bytes[kPayloadBytes + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));

  int c = 0;
  for (int bit = 0; bit < kShareLinkBytes * 8; bit += 6) {
    int sextet = 0;
    for (int k = 0; k < 6; ++k) {
      const int b = bit + k;
      sextet = (sextet << 1) | (b < kShareLinkBytes * 8 ? (bytes[b / 8] >> (7 - b % 8)) & 1 : 0);
    }
    out[c++] = kAlphabet[sextet];
  }
  out[c] = '\0';
  return true;
}

LinkStatus DecodeShareLink(const char* text, size_t length, Patch* p, OutputFormat* f) {
  if (text == nullptr || length == 0) return LinkStatus::kNotBase64;
  // The version is in the first two characters; read no more than a link of
  // ours can hold before the length is known to be right.
  uint8_t bytes[kShareLinkBytes] = {};
  const size_t readable = length < static_cast<size_t>(kShareLinkChars) ? length : kShareLinkChars;
  for (size_t i = 0; i < length; ++i)
    if (Sextet(text[i]) < 0) return LinkStatus::kNotBase64;
  if (length == 1) return LinkStatus::kTruncated;  // not even the version
  for (size_t i = 0; i < readable; ++i) {
    const int sextet = Sextet(text[i]);
    for (int k = 0; k < 6; ++k) {
      const size_t b = i * 6 + static_cast<size_t>(k);
      if (((sextet >> (5 - k)) & 1) == 0) continue;
      if (b >= static_cast<size_t>(kShareLinkBytes) * 8) return LinkStatus::kNotBase64;  // bits beyond the last byte
      bytes[b / 8] = static_cast<uint8_t>(bytes[b / 8] | (0x80 >> (b % 8)));
    }
  }
  if (bytes[0] != kPatchFileVersion) return LinkStatus::kUnknownVersion;
  if (length != static_cast<size_t>(kShareLinkChars)) return LinkStatus::kTruncated;
  uint32_t stored = 0;
  for (int k = 0; k < 4; ++k) stored = (stored << 8) | bytes[kPayloadBytes + k];
  if (stored != Crc32(bytes, kPayloadBytes)) return LinkStatus::kDamaged;
  if (bytes[1] >= 6) return LinkStatus::kOutOfRange;

  Patch decoded;
  SetInitialPatch(decoded);
  BitCursor bits{bytes};
  bool inRange = true;
  ForEachValue(decoded, [&](int& v, int min, int max) {
    v = bits.Take(WidthFor(max));
    inRange = inRange && v >= min && v <= max;
  });
  if (!inRange) return LinkStatus::kOutOfRange;
  SetTime(decoded, decoded.Time);
  if (p != nullptr) *p = decoded;
  if (f != nullptr) *f = OutputFormat{kRates[bytes[1] / 2], kDepths[bytes[1] % 2]};
  return LinkStatus::kOk;
}

}  // namespace plimbar
