// INI access: the three operations that patch and settings files rest on.
//
// Two back ends share this seam: a small portable implementation (the
// command-line renderer, native tests, fuzzing) and, in the Windows program,
// the platform's private-profile functions. Both behave alike:
//   - section and key names match without regard to ASCII letter case;
//   - a missing file, section or key gives the default;
//   - a write creates a missing file, adds a missing section at the end of
//     the file, adds a missing key to its section, replaces an existing
//     value where it stands and leaves every other line as it was;
//     lines are written with CR LF ends;
//   - an integer reads as: leading blanks skipped, an optional sign, decimal
//     digits (wrapping modulo 2^32 as the platform does), the rest ignored;
//     no digits gives 0; a key with an empty value gives the default;
//   - blanks around names and values are dropped, and a value enclosed in
//     matching double or single quotes loses them; lines starting with ';'
//     are comments; the first of duplicated sections or keys counts.
// The portable layer refuses files above 16 MiB (reads give the defaults,
// writes fail); a write rewrites the whole file from memory, never a part.
#ifndef PLIMBAR_STORAGE_INI_H
#define PLIMBAR_STORAGE_INI_H

#include <string>

namespace plimbar {

struct IniBackend {
  // The key's value read as an integer, or def when it is missing.
  int (*readInt)(const char* section, const char* key, int def,
                 const char* path);
  // Copies the key's text (or def, or "" when def is null) into buf, cut to
  // size - 1 characters and always terminated; returns the length copied.
  int (*readString)(const char* section, const char* key, const char* def,
                    char* buf, int size, const char* path);
  // Sets one key; false when the file could not be written.
  bool (*writeString)(const char* section, const char* key,
                      const char* value, const char* path);
};

// The portable implementation. It refuses files larger than this: reads
// give the defaults and writes fail (real patch and settings files are a
// few KB).
extern const IniBackend kPortableIni;
constexpr unsigned long kMaxIniFileBytes = 16ul * 1024ul * 1024ul;

// Whether the file exists and holds a section of that name (any case).
// Portable layer only: the command-line renderer uses it to tell a patch
// file from any other file.
bool PortableIniHasSection(const char* section, const char* path);

// A file held in memory, for a reader or writer of many keys of one file
// (a patch: 109 keys and Time). While a hold on a path lives (on its
// thread), the portable layer's reads of that path (readInt, readString,
// PortableIniHasSection) answer from the held text and its writes change
// the held text only; Store then writes the text to the file once, through
// a replacement. The same code reads and changes the held text as a file's,
// by the same rules. Paths are told apart as spelled. Holds may nest: a
// hold on a path already held takes the outer hold's text. Nothing throws;
// when the file's text cannot be held in memory, reads fall back to the
// file itself, key by key. The path must stay valid while the hold lives.
class PortableIniHold {
 public:
  enum Start {
    kFromFile,  // the file as it is now (a missing file: no text)
    kEmpty,     // no text: a new file, whatever the path holds now
  };
  PortableIniHold(const char* path, Start start);
  ~PortableIniHold();
  PortableIniHold(const PortableIniHold&) = delete;
  PortableIniHold& operator=(const PortableIniHold&) = delete;

  // Whether the file could be read (a missing one counts as read: empty).
  // When it could not (unreadable, above the size limit), reads give the
  // defaults and writes fail, as on the file itself; error() tells why
  // (an errno value).
  bool readable() const { return result_ != kUnreadable; }
  int error() const { return error_; }

  // Writes the held text to the file: it takes the file's place only once
  // complete (storage/file_replace.h). False, errno set, when it could not.
  bool Store();

 private:
  friend struct PortableIniHolds;
  enum Result { kRead, kUnreadable, kNotHeld };
  const char* path_;
  std::string text_;
  Result result_ = kNotHeld;
  int error_ = 0;
  PortableIniHold* outer_ = nullptr;
};

// Integer parse shared by the portable reader: blanks skipped, optional
// sign, decimal digits with 32-bit wrap-around, rest ignored; 0 without
// digits.
int ParseIniInt(const char* text);

}  // namespace plimbar

#endif  // PLIMBAR_STORAGE_INI_H
