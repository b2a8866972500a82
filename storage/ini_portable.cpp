// The portable INI back end: plain C stdio over whole files.
//
// A file is taken as any bytes. It splits into lines at LF, CR LF or a lone
// CR. After leading blanks (spaces, tabs) a line is
//   - a section line when it starts with '[' and holds a ']': the name is
//     the text between them, blanks trimmed;
//   - a comment when it starts with ';';
//   - a key line when it holds '=': the key is the text before the first
//     '=', the value the text after it, both with blanks trimmed; a value
//     enclosed in matching double or single quotes loses them;
//   - anything else (blank lines, text without '=') is neither and is left
//     alone.
// Key lines before the first section line belong to no section. Names match
// without regard to ASCII letter case; when a section or a key appears twice,
// the first one counts, for reading and for the write that replaces it.
//
// A write reads the whole file, changes it in memory and writes it to a
// temporary file beside it, which replaces the file only once it is
// complete: neither a failure to read nor one to write turns into a
// shortened file. Only the bytes of the
// value being replaced change, or the new lines being added; new lines end
// in CR LF. The replaced line keeps its key as spelled in the file, its
// spacing up to the '=' and its line end.
//
// Files larger than kMaxIniFileBytes (16 MiB) are refused: reads give the
// defaults and writes fail. Real patch and settings files are a few KB.
//
// A held file (PortableIniHold) is the same text kept in memory: reads and
// writes of its path run the same code on the held text instead of a fresh
// copy of the file, and only Store writes it.
#include "storage/ini.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "storage/file_replace.h"

namespace plimbar {
namespace {


enum class LoadResult { kOk, kMissing, kFailed };

// Reads the whole file at path into text. kMissing only when the file does
// not exist; any other failure to open or read, or a file above the size
// limit, is kFailed, with errno telling why.
LoadResult LoadFile(const char* path, std::string& text) {
  text.clear();
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return LoadResult::kFailed;
  }
  errno = 0;
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    return errno == ENOENT ? LoadResult::kMissing : LoadResult::kFailed;
  }
  char chunk[16384];
  bool ok = true;
  for (;;) {
    size_t n = std::fread(chunk, 1, sizeof chunk, f);
    if (n > 0) {
      if (text.size() + n > kMaxIniFileBytes) {
        ok = false;
        errno = EFBIG;
        break;
      }
      text.append(chunk, n);
    }
    if (n < sizeof chunk) {
      if (std::ferror(f)) {
        ok = false;
        if (errno == 0) errno = EIO;
      }
      break;
    }
  }
  const int error = errno;
  std::fclose(f);
  if (!ok) {
    text.clear();
    errno = error;
    return LoadResult::kFailed;
  }
  return LoadResult::kOk;
}

// The new text replaces the file only once it is written whole, so a failed
// write leaves the file that was there before exactly as it was.
bool StoreFile(const char* path, const std::string& text) {
  FileReplacement out;
  if (!OpenReplacement(path, out)) return false;
  bool ok = text.empty() ||
            std::fwrite(text.data(), 1, text.size(), out.file) == text.size();
  return CloseReplacement(out, path, ok, /*removePartialInPlace=*/false);
}

// The holds alive on this thread, innermost first (PortableIniHold::outer_).
thread_local PortableIniHold* g_innermostHold = nullptr;

}  // namespace

// The holds' side of the reading and writing below.
struct PortableIniHolds {
  static PortableIniHold* Of(const char* path) {
    if (path == nullptr) return nullptr;
    for (PortableIniHold* h = g_innermostHold; h != nullptr; h = h->outer_) {
      if (std::strcmp(h->path_, path) == 0) return h;
    }
    return nullptr;
  }

  // The text of the file at path as the layer sees it: the held text, or
  // the file read into own.
  static LoadResult Text(const char* path, std::string& own,
                         const std::string*& text) {
    if (PortableIniHold* h = Of(path)) {
      text = &h->text_;
      if (h->result_ == PortableIniHold::kUnreadable) {
        errno = h->error_;
        return LoadResult::kFailed;
      }
      return LoadResult::kOk;  // a missing file is held as no text
    }
    text = &own;
    return LoadFile(path, own);
  }

  // A write's new text: into the hold when the path is held, else to the
  // file.
  static bool Put(const char* path, std::string& text) {
    if (PortableIniHold* h = Of(path)) {
      h->text_.swap(text);
      return true;
    }
    return StoreFile(path, text);
  }

  static void Link(PortableIniHold* h) {
    h->outer_ = g_innermostHold;
    g_innermostHold = h;
  }

  static void Unlink(PortableIniHold* h) {
    for (PortableIniHold** p = &g_innermostHold; *p != nullptr;
         p = &(*p)->outer_) {
      if (*p == h) {
        *p = h->outer_;
        return;
      }
    }
  }
};

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

char LowerAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// Whether the len bytes at s equal the C string name, ignoring ASCII case.
bool NameEquals(const char* s, size_t len, const char* name) {
  size_t n = std::strlen(name);
  if (n != len) return false;
  for (size_t i = 0; i < len; ++i) {
    if (LowerAscii(s[i]) != LowerAscii(name[i])) return false;
  }
  return true;
}

// Offsets into the file text; every range is [begin, end).
struct Span {
  size_t begin = 0, end = 0;
  size_t size() const { return end - begin; }
};

void TrimBlanks(const std::string& t, Span& s) {
  while (s.begin < s.end && IsBlank(t[s.begin])) ++s.begin;
  while (s.end > s.begin && IsBlank(t[s.end - 1])) --s.end;
}

enum class LineKind { kOther, kSection, kKey };

struct Line {
  size_t start = 0;    // first byte of the line
  size_t end = 0;      // end of its content, before the line break
  size_t next = 0;     // first byte of the next line
  LineKind kind = LineKind::kOther;
  Span name;           // section name or key
  Span afterEquals;    // key lines: everything after the first '='
  Span value;          // key lines: the value, trimmed, quotes removed
  bool blank = false;  // nothing but blanks
};

// Splits off and classifies the line starting at pos (pos < text size).
Line ParseLine(const std::string& t, size_t pos) {
  Line line;
  line.start = pos;
  size_t e = pos;
  const size_t size = t.size();
  while (e < size && t[e] != '\n' && t[e] != '\r') ++e;
  line.end = e;
  if (e < size && t[e] == '\r') {
    ++e;
    if (e < size && t[e] == '\n') ++e;
  } else if (e < size) {
    ++e;  // '\n'
  }
  line.next = e;

  size_t p = line.start;
  while (p < line.end && IsBlank(t[p])) ++p;
  if (p == line.end) {
    line.blank = true;
    return line;
  }
  if (t[p] == ';') return line;
  if (t[p] == '[') {
    const void* close = std::memchr(t.data() + p + 1, ']', line.end - p - 1);
    if (close == nullptr) return line;
    line.kind = LineKind::kSection;
    line.name.begin = p + 1;
    line.name.end = static_cast<size_t>(static_cast<const char*>(close) -
                                        t.data());
    TrimBlanks(t, line.name);
    return line;
  }
  const void* eq = std::memchr(t.data() + p, '=', line.end - p);
  if (eq == nullptr) return line;
  size_t eqPos = static_cast<size_t>(static_cast<const char*>(eq) - t.data());
  line.kind = LineKind::kKey;
  line.name.begin = p;
  line.name.end = eqPos;
  TrimBlanks(t, line.name);
  line.afterEquals.begin = eqPos + 1;
  line.afterEquals.end = line.end;
  line.value = line.afterEquals;
  TrimBlanks(t, line.value);
  if (line.value.size() >= 2) {
    char q = t[line.value.begin];
    if ((q == '"' || q == '\'') && t[line.value.end - 1] == q) {
      ++line.value.begin;
      --line.value.end;
    }
  }
  return line;
}

// Where a section and one of its keys stand in a file.
struct Location {
  bool sectionFound = false;
  Line header;               // the section line
  size_t sectionEnd = 0;     // start of the next section line, or the end
  size_t lastContentEnd = 0; // end (line break included) of the section's
                             // last non-blank line, or of its header
  bool keyFound = false;
  Line key;
};

// Finds the first section of that name and, when key is not null, the
// first key of that name within it.
Location Find(const std::string& t, const char* section, const char* key) {
  Location loc;
  size_t pos = 0;
  const size_t size = t.size();
  while (pos < size) {
    Line line = ParseLine(t, pos);
    pos = line.next;
    if (!loc.sectionFound) {
      if (line.kind == LineKind::kSection &&
          NameEquals(t.data() + line.name.begin, line.name.size(), section)) {
        loc.sectionFound = true;
        loc.header = line;
        loc.lastContentEnd = line.next;
        loc.sectionEnd = size;
      }
      continue;
    }
    if (line.kind == LineKind::kSection) {
      loc.sectionEnd = line.start;
      break;
    }
    if (!line.blank) loc.lastContentEnd = line.next;
    if (key != nullptr && !loc.keyFound && line.kind == LineKind::kKey &&
        NameEquals(t.data() + line.name.begin, line.name.size(), key)) {
      loc.keyFound = true;
      loc.key = line;
    }
  }
  return loc;
}

// The value of the key, as text up to an embedded NUL if any. False when
// the file, section or key is missing or unreadable.
bool LookUp(const char* section, const char* key, const char* path,
            std::string& value) {
  if (section == nullptr || key == nullptr) return false;
  std::string own;
  const std::string* held = nullptr;
  if (PortableIniHolds::Text(path, own, held) != LoadResult::kOk) return false;
  const std::string& text = *held;
  Location loc = Find(text, section, key);
  if (!loc.keyFound) return false;
  const char* v = text.data() + loc.key.value.begin;
  size_t n = loc.key.value.size();
  const void* nul = std::memchr(v, '\0', n);
  if (nul != nullptr) n = static_cast<size_t>(static_cast<const char*>(nul) - v);
  value.assign(v, n);
  return true;
}

bool EndsWithLineBreak(const std::string& t) {
  return !t.empty() && (t.back() == '\n' || t.back() == '\r');
}

bool HasLineBreak(const char* s) {
  return std::strchr(s, '\n') != nullptr || std::strchr(s, '\r') != nullptr;
}

int PortableReadInt(const char* section, const char* key, int def,
                    const char* path) {
  try {
    std::string value;
    if (!LookUp(section, key, path, value) || value.empty()) return def;
    return ParseIniInt(value.c_str());
  } catch (const std::bad_alloc&) {
    return def;
  }
}

int PortableReadString(const char* section, const char* key, const char* def,
                       char* buf, int size, const char* path) {
  if (buf == nullptr || size <= 0) return 0;
  const char* src = def != nullptr ? def : "";
  size_t n = std::strlen(src);
  std::string value;
  try {
    if (LookUp(section, key, path, value)) {
      src = value.c_str();
      n = value.size();
    }
  } catch (const std::bad_alloc&) {
  }
  if (n > static_cast<size_t>(size - 1)) n = static_cast<size_t>(size - 1);
  std::memcpy(buf, src, n);
  buf[n] = '\0';
  return static_cast<int>(n);
}

bool PortableWriteString(const char* section, const char* key,
                         const char* value, const char* path) {
  // Names and values that would break the line structure are refused: a
  // line break in any of them, '=' in a key, ']' in a section name.
  if (section == nullptr || key == nullptr || value == nullptr ||
      path == nullptr) {
    return false;
  }
  if (HasLineBreak(section) || HasLineBreak(key) || HasLineBreak(value) ||
      std::strchr(key, '=') != nullptr || std::strchr(section, ']') != nullptr) {
    return false;
  }
  try {
    std::string own;
    const std::string* current = nullptr;
    if (PortableIniHolds::Text(path, own, current) == LoadResult::kFailed) {
      return false;
    }
    std::string text;
    if (current == &own) {
      text.swap(own);
    } else {
      text = *current;  // a held text changes only when the write succeeds
    }
    Location loc = Find(text, section, key);
    if (loc.keyFound) {
      text.replace(loc.key.afterEquals.begin, loc.key.afterEquals.size(),
                   value);
    } else if (loc.sectionFound) {
      std::string add;
      size_t at = loc.lastContentEnd;
      // The last line of the file may lack its line break.
      if (at > 0 && text[at - 1] != '\n' && text[at - 1] != '\r') {
        add += "\r\n";
      }
      add += key;
      add += '=';
      add += value;
      add += "\r\n";
      text.insert(at, add);
    } else {
      if (!text.empty() && !EndsWithLineBreak(text)) text += "\r\n";
      text += '[';
      text += section;
      text += "]\r\n";
      text += key;
      text += '=';
      text += value;
      text += "\r\n";
    }
    if (text.size() > kMaxIniFileBytes) return false;
    return PortableIniHolds::Put(path, text);
  } catch (const std::bad_alloc&) {
    return false;
  }
}

}  // namespace

int ParseIniInt(const char* text) {
  if (text == nullptr) return 0;
  const char* p = text;
  while (IsBlank(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = *p == '-';
    ++p;
  }
  uint32_t u = 0;
  while (*p >= '0' && *p <= '9') {
    u = u * 10u + static_cast<uint32_t>(*p - '0');
    ++p;
  }
  if (negative) u = 0u - u;
  // Two's complement reading of the 32 bits, without relying on the
  // implementation's conversion of out-of-range values.
  if (u <= 0x7fffffffu) return static_cast<int>(u);
  return -static_cast<int>(~u) - 1;
}

bool PortableIniHasSection(const char* section, const char* path) {
  if (section == nullptr) return false;
  try {
    std::string own;
    const std::string* text = nullptr;
    if (PortableIniHolds::Text(path, own, text) != LoadResult::kOk) return false;
    return Find(*text, section, nullptr).sectionFound;
  } catch (const std::bad_alloc&) {
    return false;
  }
}

PortableIniHold::PortableIniHold(const char* path, Start start)
    : path_(path != nullptr ? path : "") {
  if (start == kFromFile) {
    try {
      std::string own;
      const std::string* text = nullptr;
      const LoadResult r = PortableIniHolds::Text(path_, own, text);
      error_ = r == LoadResult::kFailed ? (errno != 0 ? errno : EIO) : 0;
      if (text == &own) {
        text_.swap(own);
      } else {
        text_ = *text;
      }
      result_ = r == LoadResult::kFailed ? kUnreadable : kRead;
    } catch (const std::bad_alloc&) {
      text_.clear();
      result_ = kNotHeld;  // read key by key from the file
      return;
    }
  } else {
    result_ = kRead;  // no text: a new file
  }
  PortableIniHolds::Link(this);
}

PortableIniHold::~PortableIniHold() {
  if (result_ != kNotHeld) PortableIniHolds::Unlink(this);
}

bool PortableIniHold::Store() {
  if (result_ == kNotHeld) return true;  // the writes went to the file
  if (result_ == kUnreadable) {
    errno = error_;
    return false;
  }
  return StoreFile(path_, text_);
}

const IniBackend kPortableIni = {PortableReadInt, PortableReadString,
                                 PortableWriteString};

}  // namespace plimbar
