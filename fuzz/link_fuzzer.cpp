// libFuzzer target: any bytes as a share link (editor/share_link.h), under ASan and UBSan. An accepted
// text decodes to a patch a load could give (the ranges of tests/patch_table.h, the sound length set,
// a format the program offers) and encodes back to exactly the same text.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "editor/share_link.h"
#include "tests/patch_table.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "link property failed: %s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace plimbar;
  // The text exactly as long as the input, so a read past it is caught.
  char* text = static_cast<char*>(std::malloc(size == 0 ? 1 : size));
  if (text == nullptr) return 0;
  if (size > 0) std::memcpy(text, data, size);
  Patch p;
  OutputFormat f{};
  const LinkStatus status = DecodeShareLink(text, size, &p, &f);
  if (status == LinkStatus::kOk) {
    if (!test::InRange(p)) Fail("a value out of range, or the sound length not set");
    if (!IsValidFormat(f)) Fail("a format the program does not offer");
    char again[kShareLinkChars + 1];
    if (!EncodeShareLink(p, f, again, sizeof again)) Fail("an accepted link does not encode");
    if (std::strlen(again) != size || std::memcmp(again, text, size) != 0)
      Fail("encode(decode(x)) differs from x");
  }
  std::free(text);
  return 0;
}
