// Share links: a whole patch and its output format as a short text that
// fits in a web address's fragment, so that opening the address opens the
// patch.
//
// The text is base64url (RFC 4648, section 5, without padding) of 89 bytes:
//
//   byte 0       the patch format's version, kPatchFileVersion (20)
//   byte 1       the format: rate index * 2 + depth index, where the rates
//                are 44100, 22050, 11025 Hz (0, 1, 2) and the depths 16, 8
//                bits (0, 1)
//   bytes 2..84  the 109 values, most significant bit first, each in just
//                the bits its largest value needs: per oscillator OSC1..OSC9
//                the twelve keys in patch-file order (7 bits each, Mute 1,
//                WaveForm 2), then Time (7 bits); 664 bits in all
//   bytes 85..88 CRC-32 (the one of zip and PNG) of bytes 0..84, big-endian
//
// Every text has one spelling: the decoder accepts only what the encoder
// writes (no padding, no other alphabet, zero bits in the last character
// where base64 leaves room), so encoding a decoded link gives it back.
#ifndef PLIMBAR_EDITOR_SHARE_LINK_H
#define PLIMBAR_EDITOR_SHARE_LINK_H

#include <cstddef>

#include "engine/engine.h"

namespace plimbar {

constexpr int kShareLinkBytes = 89;
constexpr int kShareLinkChars = 119;  // base64url of kShareLinkBytes

// Why a text is no link we can open.
enum class LinkStatus {
  kOk,
  kNotBase64,       // empty, or a character outside base64url, or not its one spelling
  kUnknownVersion,  // made by a program whose patch format we do not know
  kTruncated,       // shorter (or longer) than a link of this version
  kDamaged,         // the checksum does not match
  kOutOfRange,      // a value or the format outside what the program offers
};

// The patch (its 109 values; the sound length is not stored) and format as
// link text, NUL-terminated, into out (at least kShareLinkChars + 1 bytes).
// False, writing only an empty text, when a value or the format is outside
// its range: every link made is one the decoder opens.
bool EncodeShareLink(const Patch& p, const OutputFormat& f, char* out, size_t size);

// Reads length characters of text (no NUL needed). On kOk, p holds the
// patch with its sound length set and f the format; otherwise neither is
// touched.
LinkStatus DecodeShareLink(const char* text, size_t length, Patch* p, OutputFormat* f);

}  // namespace plimbar

#endif  // PLIMBAR_EDITOR_SHARE_LINK_H
