// Share links: texts worked out independently (Python's base64 and
// zlib.crc32 over the documented layout), the round trip, and every way a
// text can be wrong.
#include "editor/share_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "storage/ini.h"
#include "storage/patch_file.h"

namespace plimbar {
namespace {

// The patch a load of no file gives (the file defaults, Time 50), 44100 Hz,
// 16 bits.
const char kDefaultLink[] =
    "FAB4yZMqAABkZMg8ZMmQAAAyMmQeMmTIAAAZGTIPGTJkAAAMjJkHjJkyAAAGRkyDxkyZAAADIyZB4yZMgAABkZMg8ZM"
    "mQAAAyMmQeMmTIAAAZGTIMqPgwCk";
// Key k of oscillator n holds (12 n + 7 k) mod (its maximum + 1), Time 100,
// 11025 Hz, 8 bits.
const char kVariedLink[] =
    "FAUAHHFTiNUxcPyMJmkKhe2exJZMH0y1o7hSaFcpFbJzAjzqtzGWDd9FmU7WEGKLyHKo2L4EQPLGRPrXcgYaUNojUt4"
    "ggskZQJ1xwAhJAueSrGbo5B_iGiU";
// Well-formed, with a right checksum, but out of range: Tune1 101; format
// byte 6; Time 0.
const char kTune101Link[] =
    "FADKyZMqAABkZMg8ZMmQAAAyMmQeMmTIAAAZGTIPGTJkAAAMjJkHjJkyAAAGRkyDxkyZAAADIyZB4yZMgAABkZMg8ZM"
    "mQAAAyMmQeMmTIAAAZGTIMo4Qync";
const char kFormat6Link[] =
    "FAZ4yZMqAABkZMg8ZMmQAAAyMmQeMmTIAAAZGTIPGTJkAAAMjJkHjJkyAAAGRkyDxkyZAAADIyZB4yZMgAABkZMg8ZM"
    "mQAAAyMmQeMmTIAAAZGTIMqSYBMo";
const char kTime0Link[] =
    "FAB4yZMqAABkZMg8ZMmQAAAyMmQeMmTIAAAZGTIPGTJkAAAMjJkHjJkyAAAGRkyDxkyZAAADIyZB4yZMgAABkZMg8ZM"
    "mQAAAyMmQeMmTIAAAZGTIAGs3kak";

Patch FileDefaults() {
  Patch p;
  ReadPatchFile(kPortableIni, "", p, nullptr);
  return p;
}

Patch Varied() {
  Patch p = FileDefaults();
  for (int n = 0; n < kOscillators; ++n)
    for (int k = 0; k < kPatchKeysPerOscillator; ++k)
      (p.*(kPatchParams[k].field))[n] = (12 * n + 7 * k) % (kPatchParams[k].max + 1);
  SetTime(p, 100);
  return p;
}

std::string Encode(const Patch& p, OutputFormat f) {
  char text[kShareLinkChars + 1];
  EXPECT_TRUE(EncodeShareLink(p, f, text, sizeof text));
  return text;
}

LinkStatus Decode(const std::string& text, Patch* p = nullptr, OutputFormat* f = nullptr) {
  return DecodeShareLink(text.data(), text.size(), p, f);
}

TEST(ShareLink, EncodesTheDocumentedLayout) {
  EXPECT_EQ(Encode(FileDefaults(), {44100, 16}), kDefaultLink);
  EXPECT_EQ(Encode(Varied(), {11025, 8}), kVariedLink);
}

TEST(ShareLink, DecodesEveryValueAndFormatBack) {
  Patch p;
  OutputFormat f{};
  ASSERT_EQ(Decode(kVariedLink, &p, &f), LinkStatus::kOk);
  const Patch want = Varied();
  EXPECT_EQ(std::memcmp(&p, &want, sizeof p), 0);
  EXPECT_EQ(p.soundLength, 88200);
  EXPECT_EQ(f.rate, 11025);
  EXPECT_EQ(f.bits, 8);
  const int rates[] = {44100, 22050, 11025};
  for (int rate : rates)
    for (int bits : {16, 8}) {
      ASSERT_EQ(Decode(Encode(want, {rate, bits}), &p, &f), LinkStatus::kOk);
      EXPECT_EQ(f.rate, rate);
      EXPECT_EQ(f.bits, bits);
    }
}

TEST(ShareLink, RefusesToEncodeWhatItCouldNotOpen) {
  char text[kShareLinkChars + 1] = "x";
  Patch p = FileDefaults();
  p.Mute[4] = 2;
  EXPECT_FALSE(EncodeShareLink(p, {44100, 16}, text, sizeof text));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(EncodeShareLink(FileDefaults(), {48000, 16}, text, sizeof text));
  EXPECT_FALSE(EncodeShareLink(FileDefaults(), {44100, 16}, text, kShareLinkChars));
}

TEST(ShareLink, TellsWhatIsWrongWithABadText) {
  const std::string good = kDefaultLink;
  std::string unknownVersion = good;
  unknownVersion[0] = 'G';  // version 24
  std::string lastBitsSet = good;
  lastBitsSet.back() = 'l';  // 'k' with a bit beyond the 89 bytes
  const struct {
    std::string text;
    LinkStatus status;
  } cases[] = {
      {"", LinkStatus::kNotBase64},
      {good.substr(0, 50) + "+" + good.substr(51), LinkStatus::kNotBase64},
      {good + "=", LinkStatus::kNotBase64},
      {good.substr(0, 60) + " " + good.substr(60), LinkStatus::kNotBase64},
      {lastBitsSet, LinkStatus::kNotBase64},
      {"F", LinkStatus::kTruncated},
      {good.substr(0, kShareLinkChars - 1), LinkStatus::kTruncated},
      {good + "A", LinkStatus::kTruncated},
      {unknownVersion, LinkStatus::kUnknownVersion},
      {kTune101Link, LinkStatus::kOutOfRange},
      {kFormat6Link, LinkStatus::kOutOfRange},
      {kTime0Link, LinkStatus::kOutOfRange},
  };
  for (const auto& c : cases) {
    Patch p = Varied();
    const Patch before = p;
    EXPECT_EQ(Decode(c.text, &p), c.status) << c.text;
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0) << "a refused link wrote the patch";
  }
}

TEST(ShareLink, EveryChangedCharacterIsRefused) {
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  for (int i = 0; i < kShareLinkChars; ++i)
    for (const char* c = alphabet; *c != '\0'; ++c) {
      std::string text = kVariedLink;
      if (text[i] == *c) continue;
      text[i] = *c;
      ASSERT_NE(Decode(text), LinkStatus::kOk) << "position " << i << ": " << text;
    }
}

}  // namespace
}  // namespace plimbar
