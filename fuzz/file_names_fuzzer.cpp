// Fuzz target: the file-name helpers on names of any bytes and length.
//
// Input: the first byte chooses the extension (".plb", ".wav", other letter
// cases, an empty or a lone dot, a long one, or text taken from the input up
// to its first NUL); the remaining bytes, with NULs left out, are the name.
// Every name is passed in a heap block of exactly its size, so a read past
// its terminator is caught.
//
// Properties, beyond surviving under the sanitizers:
//   StripExtension: null exactly when the name has more than 259
//     characters; otherwise a prefix of the name of at most 259 characters,
//     cut exactly at the first '.' of the file name (after the last '\\'
//     or '/') when the text from there (dot included) is at most 4
//     characters, else the whole name.
//   AppendExtension: null exactly when the name or the extension has more
//     than 259 characters or the result would; otherwise the name itself
//     when it has at least 4 characters and ends in the extension (any
//     letter case), else the name followed by the extension; the result
//     always starts with the name and ends in the extension (any case).
//   Both accept their own previous result as input, and the proposal the
//   file dialogs use, AppendExtension(StripExtension(name), ".plb"),
//   follows from the two.
//   SettingsPathFor: false exactly when the path is empty or longer than
//     259 characters or the result does not fit; otherwise the path with its extension (the text from the
//     last '.' of its file name) replaced by ".ini", or ".ini" appended.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

#include "fuzz/fuzz_support.h"
#include "storage/patch_file.h"
#include "storage/settings.h"

using namespace plimbar;
using namespace plimbar_fuzz;

namespace {

constexpr size_t kMaxName = 259;

// A C string in a heap block of exactly its size.
struct ExactString {
  explicit ExactString(const std::string& s) : block(new char[s.size() + 1]) {
    std::memcpy(block.get(), s.c_str(), s.size() + 1);
  }
  const char* get() const { return block.get(); }
  std::unique_ptr<char[]> block;
};

bool EndsWithAnyCase(const std::string& s, const std::string& tail) {
  if (tail.size() > s.size()) return false;
  for (size_t i = 0; i < tail.size(); ++i) {
    unsigned char a = s[s.size() - tail.size() + i], b = tail[i];
    if (a >= 'A' && a <= 'Z') a += 'a' - 'A';
    if (b >= 'A' && b <= 'Z') b += 'a' - 'A';
    if (a != b) return false;
  }
  return true;
}

// Where the file name begins: after the last '\\' or '/'.
size_t FileNameStart(const std::string& name) {
  const size_t sep = name.find_last_of("\\/");
  return sep == std::string::npos ? 0 : sep + 1;
}

// What StripExtension should give; false for "null".
bool ExpectedStrip(const std::string& name, std::string& out) {
  if (name.size() > kMaxName) return false;
  size_t dot = name.find('.', FileNameStart(name));
  out = (dot != std::string::npos && name.size() - dot <= 4)
            ? name.substr(0, dot)
            : name;
  return true;
}

// What AppendExtension should give; false for "null".
bool ExpectedAppend(const std::string& name, const std::string& ext,
                    std::string& out) {
  if (name.size() > kMaxName || ext.size() > kMaxName) return false;
  out = (name.size() >= 4 && EndsWithAnyCase(name, ext)) ? name : name + ext;
  return out.size() <= kMaxName;
}

std::string Describe(const char* what, const std::string& name,
                     const char* got, bool expectOk, const std::string& want) {
  return std::string(what) + "(" + Quote(name) + ") gave " +
         (got ? Quote(got) : std::string("null")) + ", expected " +
         (expectOk ? Quote(want) : std::string("null"));
}

// The result buffer of the helpers: at most kMaxName characters before its
// terminator.
void CheckFits(const char* r) {
  CHECK(r == nullptr || std::memchr(r, '\0', kMaxName + 1) != nullptr);
}

std::string CheckStrip(const std::string& name) {
  ExactString arg(name);
  const char* r = StripExtension(arg.get());
  CheckFits(r);
  std::string want;
  const bool ok = ExpectedStrip(name, want);
  CHECK_MSG((r != nullptr) == ok && (!ok || want == r),
            Describe("StripExtension", name, r, ok, want));
  if (r == nullptr) return std::string();
  const std::string got = r;
  // Stated without the model: a prefix; what was cut is at most 4
  // characters, starts with a '.' and holds no folder separator.
  CHECK(name.compare(0, got.size(), got) == 0);
  if (got != name) {
    const std::string cut = name.substr(got.size());
    CHECK(cut.size() <= 4 && cut[0] == '.' &&
          cut.find_first_of("\\/") == std::string::npos &&
          got.find('.', FileNameStart(name)) == std::string::npos);
  }
  // Its own buffer as input: a second strip finds the name unchanged or
  // cuts at the (new) first dot by the same rule.
  const char* again = StripExtension(r);
  std::string want2;
  ExpectedStrip(got, want2);
  CHECK(again != nullptr && want2 == again);
  return got;
}

void CheckAppend(const std::string& name, const std::string& ext) {
  ExactString arg(name), extArg(ext);
  const char* r = AppendExtension(arg.get(), extArg.get());
  CheckFits(r);
  std::string want;
  const bool ok = ExpectedAppend(name, ext, want);
  CHECK_MSG((r != nullptr) == ok && (!ok || want == r),
            Describe("AppendExtension", name + "|" + ext, r, ok, want));
  if (r == nullptr) return;
  const std::string got = r;
  CHECK(got.compare(0, name.size(), name) == 0);
  CHECK(EndsWithAnyCase(got, ext));
  CHECK(got.size() <= kMaxName);
  // Its own buffer as input: with an extension of 4 or more characters the
  // result already ends in it and comes back unchanged.
  if (ext.size() >= 4) {
    const char* again = AppendExtension(r, extArg.get());
    CHECK(again != nullptr && got == again);
  }
}

void CheckSettingsPath(const std::string& path) {
  ExactString arg(path);
  char out[kPathCapacity];
  std::memset(out, 'x', sizeof out);
  const bool ok = SettingsPathFor(arg.get(), out);
  CHECK(std::memchr(out, '\0', sizeof out) != nullptr);
  // The stem: the path up to the last '.' of its file name (the part after
  // the last '\', '/' or ':'), or the whole path.
  size_t nameStart = path.find_last_of("\\/:");
  nameStart = nameStart == std::string::npos ? 0 : nameStart + 1;
  size_t dot = path.rfind('.');
  size_t stem = (dot != std::string::npos && dot >= nameStart) ? dot
                                                               : path.size();
  const std::string want = path.substr(0, stem) + ".ini";
  // A module path comes in a buffer of 260: a longer one is refused too.
  const bool expectOk =
      !path.empty() && path.size() <= kMaxName && want.size() <= kMaxName;
  CHECK_MSG(ok == expectOk && (ok ? want == out : out[0] == '\0'),
            Describe("SettingsPathFor", path, ok ? out : nullptr, expectOk,
                     want));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  static const char* const kExtensions[] = {".plb", ".wav", ".PLB", ".Wav",
                                            "",     ".",    ".ini"};
  const unsigned choice = data[0] % 8;
  std::string ext, name;
  size_t pos = 1;
  if (choice < 7) {
    ext = kExtensions[choice];
  } else {
    const void* nul = std::memchr(data + 1, '\0', size - 1);
    size_t end = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data)
                     : size;
    ext.assign(reinterpret_cast<const char*>(data + 1), end - 1);
    pos = end < size ? end + 1 : size;
  }
  for (size_t i = pos; i < size; ++i) {
    if (data[i] != '\0') name += static_cast<char>(data[i]);
  }

  const std::string stripped = CheckStrip(name);
  CheckAppend(name, ext);
  CheckAppend(name, ".plb");
  // The name the file dialogs propose: the strip's buffer passed straight
  // into the append.
  if (name.size() <= kMaxName) {
    const char* proposal = AppendExtension(StripExtension(name.c_str()), ".plb");
    std::string want;
    const bool ok = ExpectedAppend(stripped, ".plb", want);
    CHECK_MSG((proposal != nullptr) == ok && (!ok || want == proposal),
              Describe("proposal", name, proposal, ok, want));
  }
  CheckSettingsPath(name);
  return 0;
}
