// A second, deliberately plain reading of INI text, written from the rules
// in storage/ini.h and storage/ini_portable.cpp, to compare the portable
// back end against:
//   - lines end at LF, CR LF or a lone CR;
//   - after leading blanks (space, tab) a line starting with '[' that holds
//     a ']' names a section (the text up to the first ']', blanks trimmed);
//     one starting with ';' is a comment; one holding '=' is a key line
//     (key before the first '=', value after it, both trimmed, a value in
//     matching double or single quotes loses them);
//   - names match without regard to ASCII case; the first of duplicated
//     sections and keys counts; a value ends at an embedded NUL.
// It works on std::string copies, line by line, without offsets, and
// parses the whole file into a list of sections first.
#ifndef PLIMBAR_FUZZ_REFERENCE_INI_H
#define PLIMBAR_FUZZ_REFERENCE_INI_H

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace plimbar_fuzz {

inline bool RefBlank(char c) { return c == ' ' || c == '\t'; }

inline std::string RefTrim(const std::string& s) {
  size_t b = 0, e = s.size();
  while (b < e && RefBlank(s[b])) ++b;
  while (e > b && RefBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

inline bool RefSameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z') x = static_cast<char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<char>(y + ('a' - 'A'));
    if (x != y) return false;
  }
  return true;
}

inline std::vector<std::string> RefLines(const std::string& text) {
  std::vector<std::string> lines;
  std::string cur;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = text[i];
    if (c == '\r' || c == '\n') {
      lines.push_back(cur);
      cur.clear();
      if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
    } else {
      cur += c;
    }
  }
  if (!cur.empty()) lines.push_back(cur);
  return lines;
}

struct RefLine {
  enum Kind { kOther, kSection, kKey } kind = kOther;
  std::string name;   // section name or key, trimmed
  std::string value;  // key lines: trimmed, quotes removed
};

inline RefLine RefClassify(const std::string& raw) {
  RefLine out;
  size_t p = 0;
  while (p < raw.size() && RefBlank(raw[p])) ++p;
  if (p == raw.size() || raw[p] == ';') return out;
  if (raw[p] == '[') {
    size_t close = raw.find(']', p + 1);
    if (close == std::string::npos) return out;
    out.kind = RefLine::kSection;
    out.name = RefTrim(raw.substr(p + 1, close - p - 1));
    return out;
  }
  size_t eq = raw.find('=', p);
  if (eq == std::string::npos) return out;
  out.kind = RefLine::kKey;
  out.name = RefTrim(raw.substr(p, eq - p));
  out.value = RefTrim(raw.substr(eq + 1));
  if (out.value.size() >= 2) {
    char q = out.value.front();
    if ((q == '"' || q == '\'') && out.value.back() == q) {
      out.value = out.value.substr(1, out.value.size() - 2);
    }
  }
  return out;
}

// A whole file, read once: its sections in file order, each with its key
// lines in file order. Key lines before the first section are dropped.
struct RefIni {
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  std::vector<Section> sections;

  explicit RefIni(const std::string& text) {
    for (const std::string& raw : RefLines(text)) {
      RefLine line = RefClassify(raw);
      if (line.kind == RefLine::kSection) {
        sections.push_back(Section{line.name, {}});
      } else if (line.kind == RefLine::kKey && !sections.empty()) {
        sections.back().keys.emplace_back(line.name, line.value);
      }
    }
  }

  bool HasSection(const std::string& section) const {
    for (const Section& s : sections)
      if (RefSameName(s.name, section)) return true;
    return false;
  }

  // The value of key in the first section of that name, cut at a NUL;
  // false when either is missing.
  bool LookUp(const std::string& section, const std::string& key,
              std::string& value) const {
    for (const Section& s : sections) {
      if (!RefSameName(s.name, section)) continue;
      for (const auto& kv : s.keys) {
        if (RefSameName(kv.first, key)) {
          value = kv.second.substr(0, kv.second.find('\0'));
          return true;
        }
      }
      return false;  // only the first section of that name counts
    }
    return false;
  }
};

inline bool RefLookUp(const std::string& text, const std::string& section,
                      const std::string& key, std::string& value) {
  return RefIni(text).LookUp(section, key, value);
}

// The integer reading: blanks skipped, optional sign, decimal digits taken
// modulo 2^32, two's complement; 0 without digits.
inline int RefParseInt(const std::string& s) {
  size_t p = 0;
  while (p < s.size() && RefBlank(s[p])) ++p;
  bool negative = false;
  if (p < s.size() && (s[p] == '+' || s[p] == '-')) negative = s[p++] == '-';
  uint64_t v = 0;
  while (p < s.size() && s[p] >= '0' && s[p] <= '9') {
    v = (v * 10 + static_cast<uint64_t>(s[p] - '0')) % 4294967296u;
    ++p;
  }
  if (negative) v = (4294967296u - v) % 4294967296u;
  int64_t signedValue = v >= 2147483648u ? static_cast<int64_t>(v) - 4294967296
                                         : static_cast<int64_t>(v);
  return static_cast<int>(signedValue);
}

}  // namespace plimbar_fuzz

#endif  // PLIMBAR_FUZZ_REFERENCE_INI_H
