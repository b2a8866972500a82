// Checks of the portable INI layer on one file, shared by the targets that
// read INI files: every read agrees with the plain reference reading, a
// short buffer gets a terminated prefix, and a write either is refused
// (line breaks, '=' in a key, ']' in a section name) leaving the file as it
// was, or reads back as written and leaves every other key as it was.
#ifndef PLIMBAR_FUZZ_INI_CHECKS_H
#define PLIMBAR_FUZZ_INI_CHECKS_H

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "fuzz/reference_ini.h"
#include "storage/ini.h"

namespace plimbar_fuzz {

// Names and values taken from the file itself, raw (blanks, quotes and all),
// so that lookups exercise trimming and case folding with what the fuzzer
// put there, plus a few fixed ones.
struct IniCandidates {
  std::vector<std::string> sections;
  std::vector<std::string> keys;
  std::vector<std::string> values;
};

inline IniCandidates CandidatesOf(const std::string& text) {
  IniCandidates c;
  for (const std::string& raw : RefLines(text)) {
    size_t p = 0;
    while (p < raw.size() && RefBlank(raw[p])) ++p;
    if (p < raw.size() && raw[p] == '[') {
      size_t close = raw.find(']', p + 1);
      if (close != std::string::npos && c.sections.size() < 2) {
        c.sections.push_back(raw.substr(p + 1, close - p - 1));
      }
      continue;
    }
    size_t eq = raw.find('=');
    if (eq != std::string::npos) {
      if (c.keys.size() < 3) c.keys.push_back(raw.substr(0, eq));
      if (c.values.size() < 3) c.values.push_back(raw.substr(eq + 1));
    }
  }
  c.sections.push_back("Setting");
  c.keys.push_back("Time");
  // Strings as C strings end at a NUL.
  for (auto* list : {&c.sections, &c.keys, &c.values}) {
    for (std::string& s : *list) s = s.substr(0, s.find('\0'));
  }
  return c;
}

// Every read of (section, key) in the file at path, whose bytes are text,
// agrees with the reference.
inline void CheckIniRead(const plimbar::IniBackend& ini, const char* path,
                         size_t fileSize, const RefIni& ref,
                         const std::string& section, const std::string& key) {
  const std::string where = "[" + Quote(section) + "] " + Quote(key);
  std::string expected;
  const bool found = ref.LookUp(section, key, expected);

  // The whole value, or the default when missing.
  const int big = static_cast<int>(fileSize) + 16;  // the text or a default
  std::unique_ptr<char[]> buf(new char[big]);
  for (const char* def : {"\x01" "default"}) {
    std::memset(buf.get(), 'x', big);
    int n = ini.readString(section.c_str(), key.c_str(), def, buf.get(), big,
                           path);
    const std::string want = found ? expected : std::string(def);
    CHECK_MSG(n == static_cast<int>(want.size()) && buf[n] == '\0' &&
                  std::memcmp(buf.get(), want.data(), want.size()) == 0,
              where + " read " + Quote(std::string(buf.get(), n > 0 ? n : 0)) +
                  ", reference " + Quote(want));
  }
  {  // no default: empty text
    int n = ini.readString(section.c_str(), key.c_str(), nullptr, buf.get(),
                           big, path);
    CHECK_MSG(n == static_cast<int>(found ? expected.size() : 0) &&
                  buf[n] == '\0',
              where + " with no default");
  }

  // Short buffers of exactly their size: a terminated prefix.
  for (int size : {1, 5}) {
    std::unique_ptr<char[]> small(new char[size]);
    int n = ini.readString(section.c_str(), key.c_str(), nullptr, small.get(),
                           size, path);
    const std::string full = found ? expected : std::string();
    const size_t want = full.size() < static_cast<size_t>(size - 1)
                            ? full.size()
                            : static_cast<size_t>(size - 1);
    CHECK_MSG(n == static_cast<int>(want) && small[n] == '\0' &&
                  std::memcmp(small.get(), full.data(), want) == 0,
              where + " into " + std::to_string(size) + " bytes");
  }

  // Integers: the default when missing or empty, else the integer reading.
  for (int def : {-7}) {
    int got = ini.readInt(section.c_str(), key.c_str(), def, path);
    int want = (found && !expected.empty()) ? RefParseInt(expected) : def;
    CHECK_MSG(got == want, where + " readInt " + std::to_string(got) +
                               ", reference " + std::to_string(want) +
                               " from " + Quote(expected));
  }
}

// ParseIniInt against the reference, and against strtol where the text is
// a plain number that fits.
inline void CheckParseInt(const std::string& s) {
  const std::string c = s.substr(0, s.find('\0'));
  const int got = plimbar::ParseIniInt(c.c_str());
  CHECK_MSG(got == RefParseInt(c), Quote(c) + " parses as " +
                                       std::to_string(got) + ", reference " +
                                       std::to_string(RefParseInt(c)));
  size_t p = (!c.empty() && (c[0] == '+' || c[0] == '-')) ? 1 : 0;
  size_t digits = 0;
  while (p + digits < c.size() && c[p + digits] >= '0' && c[p + digits] <= '9')
    ++digits;
  if (digits >= 1 && digits <= 9) {
    CHECK_MSG(got == static_cast<int>(std::strtol(c.c_str(), nullptr, 10)),
              Quote(c) + " parses as " + std::to_string(got));
  }
}

// Whether writing (section, key, value) must be refused.
inline bool WriteMustFail(const std::string& section, const std::string& key,
                          const std::string& value) {
  auto breaks = [](const std::string& s) {
    return s.find('\r') != std::string::npos ||
           s.find('\n') != std::string::npos;
  };
  return breaks(section) || breaks(key) || breaks(value) ||
         key.find('=') != std::string::npos ||
         section.find(']') != std::string::npos;
}

// Whether an accepted write can read back byte for byte: the reader trims
// blanks around names and values, drops enclosing quotes from values, and
// takes a line starting with '[' or ';' for a section line or a comment.
inline bool WriteReadsBack(const std::string& section, const std::string& key,
                           const std::string& value) {
  auto padded = [](const std::string& s) {
    return !s.empty() && (RefBlank(s.front()) || RefBlank(s.back()));
  };
  if (padded(section) || padded(key) || padded(value)) return false;
  if (!key.empty() && (key[0] == '[' || key[0] == ';')) return false;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') &&
      value.back() == value[0]) {
    return false;
  }
  return true;
}

// Writes (section, key, value) into the scratch file holding text and
// checks the outcome; probes are (section, key) pairs whose readings must
// not change unless they name the key written.
inline void CheckIniWrite(const plimbar::IniBackend& ini,
                          const ScratchFile& file, const std::string& text,
                          const std::string& section, const std::string& key,
                          const std::string& value,
                          const IniCandidates& probes) {
  const std::string what = "write [" + Quote(section) + "] " + Quote(key) +
                           "=" + Quote(value);
  file.Write(text);
  const bool ok =
      ini.writeString(section.c_str(), key.c_str(), value.c_str(), file.path());
  const std::string after = file.Read();
  const RefIni refBefore(text), refAfter(after);
  if (WriteMustFail(section, key, value)) {
    CHECK_MSG(!ok, what + " was accepted");
    CHECK_MSG(after == text, what + " was refused but changed the file");
    return;
  }
  CHECK_MSG(ok, what + " failed");
  if (WriteReadsBack(section, key, value)) {
    std::string got;
    CHECK_MSG(refAfter.LookUp(section, key, got) && got == value,
              what + " reads back as " + Quote(got));
  }
  CheckIniRead(ini, file.path(), after.size(), refAfter, section, key);
  for (const std::string& s : probes.sections) {
    for (const std::string& k : probes.keys) {
      // A name written with blanks around it reads as the trimmed name.
      if (RefSameName(RefTrim(s), RefTrim(section)) &&
          RefSameName(RefTrim(k), RefTrim(key))) {
        continue;
      }
      std::string before, now;
      bool had = refBefore.LookUp(s, k, before);
      bool has = refAfter.LookUp(s, k, now);
      CHECK_MSG(had == has && before == now,
                what + " changed [" + Quote(s) + "] " + Quote(k) + " from " +
                    Quote(before) + " to " + Quote(now));
    }
  }
}

// All of the above on one file: reads of every candidate pair, the section
// test, integer parsing of the values, and one write chosen by selector.
inline void CheckIniLayer(const plimbar::IniBackend& ini,
                          const ScratchFile& input, const ScratchFile& scratch,
                          const std::string& text, unsigned selector) {
  const IniCandidates c = CandidatesOf(text);
  const RefIni ref(text);
  for (const std::string& s : c.sections) {
    for (const std::string& k : c.keys) {
      CheckIniRead(ini, input.path(), text.size(), ref, s, k);
    }
    CHECK_MSG(plimbar::PortableIniHasSection(s.c_str(), input.path()) ==
                  ref.HasSection(s),
              "section test of " + Quote(s));
  }
  for (const std::string& v : c.values) CheckParseInt(v);
  CheckParseInt(text);

  // One write: a section and key of the file, and either one of its values
  // or a stretch of raw bytes (which may hold line breaks).
  const std::string& section = c.sections[selector % c.sections.size()];
  const std::string& key = c.keys[(selector / 4) % c.keys.size()];
  std::string value;
  if ((selector & 0x80) != 0 || c.values.empty()) {
    size_t from = text.size() / 2;
    value = text.substr(from, 40);
    value = value.substr(0, value.find('\0'));
  } else {
    value = c.values[(selector / 16) % c.values.size()];
  }
  CheckIniWrite(ini, scratch, text, section, key, value, c);
}

}  // namespace plimbar_fuzz

#endif  // PLIMBAR_FUZZ_INI_CHECKS_H
