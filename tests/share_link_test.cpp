// Share links: texts worked out independently (tests/data/share_links.txt),
// the round trip, and every way a text can be wrong.
#include "editor/share_link.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

#include "storage/ini.h"
#include "storage/patch_file.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

std::string Link(const char* name) { return test::DataRows("share_links.txt", name).at(0).at(0); }

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

// The documented layout both ways, every format; what it could not open it does not encode.
TEST(ShareLink, EncodesTheDocumentedLayoutAndDecodesItBack) {
  EXPECT_EQ(Encode(FileDefaults(), {44100, 16}), Link("default"));
  const Patch want = Varied();
  for (const OutputFormat f : {OutputFormat{11025, 8}, {44100, 16}, {44100, 8}, {22050, 16}, {22050, 8}, {11025, 16}}) {
    Patch p;
    OutputFormat g{};
    const std::string text = Encode(want, f);
    EXPECT_TRUE(f.rate != 11025 || f.bits != 8 || text == Link("varied")) << text;
    ASSERT_EQ(Decode(text, &p, &g), LinkStatus::kOk);
    EXPECT_TRUE(std::memcmp(&p, &want, sizeof p) == 0 && p.soundLength == 88200) << f.rate << " " << f.bits;
    EXPECT_TRUE(g.rate == f.rate && g.bits == f.bits) << f.rate << " " << f.bits;
  }
  char text[kShareLinkChars + 1] = "x";
  Patch p = FileDefaults();
  p.Mute[4] = 2;
  EXPECT_FALSE(EncodeShareLink(p, {44100, 16}, text, sizeof text));
  EXPECT_STREQ(text, "");
  EXPECT_FALSE(EncodeShareLink(FileDefaults(), {48000, 16}, text, sizeof text));
  EXPECT_FALSE(EncodeShareLink(FileDefaults(), {44100, 16}, text, kShareLinkChars));
}

// The refused texts of tests/data/share_links.txt, each with its reason; none writes the patch.
TEST(ShareLink, TellsWhatIsWrongWithABadText) {
  const std::string reasons[] = {"not-base64", "unknown-version", "truncated", "damaged", "out-of-range"};
  for (const auto& c : test::DataRows("share_links.txt", "refused")) {
    const long reason = std::find(std::begin(reasons), std::end(reasons), c.at(0)) - std::begin(reasons);
    Patch p = Varied();
    const Patch before = p;
    EXPECT_EQ(Decode(c.at(1), &p), static_cast<LinkStatus>(reason + 1)) << c[0] << " " << c[1];
    EXPECT_EQ(std::memcmp(&p, &before, sizeof p), 0) << "a refused link wrote the patch";
  }
}

TEST(ShareLink, EveryChangedCharacterIsRefused) {
  const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
  const std::string varied = Link("varied");
  for (int i = 0; i < kShareLinkChars; ++i)
    for (const char* c = alphabet; *c != '\0'; ++c) {
      std::string text = varied;
      if (text[i] == *c) continue;
      text[i] = *c;
      ASSERT_NE(Decode(text), LinkStatus::kOk) << "position " << i << ": " << text;
    }
}

}  // namespace
}  // namespace plimbar
