// Helpers shared by the fuzz targets: property checks that abort with a
// message (libFuzzer then keeps the input as a crash), and the scratch files
// a target works on.
//
// Each process uses its own fixed file names, made from the target name and
// the process id, in $TMPDIR (else /dev/shm, else /tmp); they are removed at
// exit.
#ifndef PLIMBAR_FUZZ_FUZZ_SUPPORT_H
#define PLIMBAR_FUZZ_FUZZ_SUPPORT_H

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace plimbar_fuzz {

[[noreturn]] inline void Fail(const char* file, int line, const char* what,
                              const std::string& detail) {
  std::fprintf(stderr, "\n*** property failed at %s:%d: %s\n", file, line,
               what);
  if (!detail.empty()) std::fprintf(stderr, "    %s\n", detail.c_str());
  std::fflush(stderr);
  std::abort();
}

// CHECK(cond) and CHECK_MSG(cond, detail): a failed property is a crash.
#define CHECK(cond)                                                 \
  do {                                                              \
    if (!(cond)) ::plimbar_fuzz::Fail(__FILE__, __LINE__, #cond, ""); \
  } while (0)
#define CHECK_MSG(cond, detail)                                         \
  do {                                                                  \
    if (!(cond)) ::plimbar_fuzz::Fail(__FILE__, __LINE__, #cond, (detail)); \
  } while (0)

// Printable form of a byte string for failure messages (cut after 200).
inline std::string Quote(const std::string& s) {
  std::string out = "\"";
  size_t n = 0;
  for (unsigned char c : s) {
    if (++n > 200) {
      out += "...";
      break;
    }
    if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  out += '"';
  return out;
}

// A scratch file of this process: "<tmp>/plimbar-fuzz-<target>-<pid>-<tag>".
class ScratchFile {
 public:
  ScratchFile(const char* target, const char* tag) {
    const char* dir = std::getenv("TMPDIR");
    if (dir == nullptr || dir[0] == '\0') {
      // A memory file system when there is one: the targets rewrite their
      // files a few hundred times per input.
      dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    }
    path_ = std::string(dir) + "/plimbar-fuzz-" + target + "-" +
            std::to_string(static_cast<long>(getpid())) + "-" + tag;
  }
  ~ScratchFile() { Remove(); }
  ScratchFile(const ScratchFile&) = delete;
  ScratchFile& operator=(const ScratchFile&) = delete;

  const char* path() const { return path_.c_str(); }

  void Remove() const { std::remove(path_.c_str()); }

  // Replaces the file's contents with the bytes given.
  void Write(const uint8_t* data, size_t size) const {
    std::FILE* f = std::fopen(path_.c_str(), "wb");
    CHECK_MSG(f != nullptr, "cannot create scratch file " + path_);
    bool ok = size == 0 || std::fwrite(data, 1, size, f) == size;
    ok = std::fclose(f) == 0 && ok;
    CHECK_MSG(ok, "cannot write scratch file " + path_);
  }
  void Write(const std::string& s) const {
    Write(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  }

  // The file's whole contents.
  std::string Read() const {
    std::string text;
    std::FILE* f = std::fopen(path_.c_str(), "rb");
    CHECK_MSG(f != nullptr, "cannot open scratch file " + path_);
    char chunk[8192];
    size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) text.append(chunk, n);
    std::fclose(f);
    return text;
  }

 private:
  std::string path_;
};

}  // namespace plimbar_fuzz

#endif  // PLIMBAR_FUZZ_FUZZ_SUPPORT_H
