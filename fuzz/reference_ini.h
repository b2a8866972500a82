// A second, deliberately plain reading of INI text by the rules of storage/ini.h: lines end at LF, CR LF
// or CR; after blanks '[' starts a section (name up to the first ']', none without one), ';' a comment, and
// a line with '=' is a key; names and values are trimmed, a value loses matching quotes around it and ends
// at a NUL; names match in any ASCII case, the first of duplicates counts; integers wrap modulo 2^32.
#ifndef PLIMBAR_FUZZ_REFERENCE_INI_H
#define PLIMBAR_FUZZ_REFERENCE_INI_H

#include <algorithm>
#include <cstdint>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace plimbar_fuzz {

inline std::string Trim(const std::string& s) {
  const size_t b = s.find_first_not_of(" \t");
  return b == std::string::npos ? "" : s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

inline bool SameName(const std::string& a, const std::string& b) {
  auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + 32 : c; };
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) {
           return lower(x) == lower(y);
         });
}

inline int RefParseInt(const std::string& s) {
  size_t p = s.find_first_not_of(" \t");
  if (p == std::string::npos) return 0;
  const bool negative = s[p] == '-';
  if (s[p] == '+' || s[p] == '-') ++p;
  uint64_t v = 0;
  for (; p < s.size() && s[p] >= '0' && s[p] <= '9'; ++p) v = (v * 10 + (s[p] - '0')) % 4294967296u;
  if (negative) v = (4294967296u - v) % 4294967296u;
  return static_cast<int>(static_cast<int64_t>(v) - (v >= 2147483648u ? 4294967296 : 0));
}

struct RefIni {
  struct Section {
    std::string name;
    std::vector<std::pair<std::string, std::string>> keys;
  };
  std::vector<Section> sections;

  explicit RefIni(std::string text) {
    std::replace(text.begin(), text.end(), '\r', '\n');  // CR LF gives a blank line more: no matter
    std::istringstream in(text);
    for (std::string raw; std::getline(in, raw);) {
      const std::string line = Trim(raw);
      const size_t close = line.find(']'), equals = line.find('=');
      if (line.empty() || line[0] == ';') continue;
      if (line[0] == '[') {
        if (close != std::string::npos) sections.push_back({Trim(line.substr(1, close - 1)), {}});
      } else if (equals != std::string::npos && !sections.empty()) {
        std::string value = Trim(line.substr(equals + 1));
        if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
          value = value.substr(1, value.size() - 2);
        sections.back().keys.emplace_back(Trim(line.substr(0, equals)), value);
      }
    }
  }

  const Section* Find(const std::string& section) const {
    for (const Section& s : sections)
      if (SameName(s.name, section)) return &s;
    return nullptr;
  }

  // The value of key in the first section of that name, up to a NUL.
  bool LookUp(const std::string& section, const std::string& key, std::string& value) const {
    const Section* s = Find(section);
    for (size_t i = 0; s != nullptr && i < s->keys.size(); ++i) {
      if (!SameName(s->keys[i].first, key)) continue;
      value = s->keys[i].second.substr(0, s->keys[i].second.find('\0'));
      return true;
    }
    return false;
  }

  // The integer the key holds, or def when it is missing or empty.
  int Int(const std::string& section, const std::string& key, int def) const {
    std::string value;
    return LookUp(section, key, value) && !value.empty() ? RefParseInt(value) : def;
  }
};

}  // namespace plimbar_fuzz

#endif  // PLIMBAR_FUZZ_REFERENCE_INI_H
