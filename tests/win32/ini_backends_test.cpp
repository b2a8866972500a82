// The portable INI layer against the Windows private-profile functions:
// one sequence of operations run through both back ends, every read
// compared, and the files compared byte for byte where the platform keeps
// a file's other lines as they were.
//
// Wine's private-profile code rewrites the whole file on every write: it
// drops blank lines and the blanks around "=" and at the ends of values,
// also of a value it is asked to write. Windows keeps every other line
// untouched, and so does the portable layer. Under Wine those scenarios are named and compared after both files
// are brought to Wine's layout; on Windows they are compared byte for byte.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "storage/ini.h"
#include "storage/ini_win32.h"
#include "test_support.h"

namespace plimbar {
namespace {

bool RunningUnderWine() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

std::string TempFolder(const std::string& name) {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  std::string dir = std::string(base) + "plimbar_ini_cmp_" + name;
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// Wine's layout of an INI text: no blank lines, no blanks around the first
// '=' of a key line nor at the end of a value, CR LF ends.
std::string WineLayout(const std::string& text) {
  std::istringstream in(text);
  std::string line, out;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t a = line.find_first_not_of(" \t");
    if (a == std::string::npos) continue;
    line = line.substr(a);
    size_t eq = line.find('=');
    if (line[0] != '[' && line[0] != ';' && eq != std::string::npos) {
      std::string key = line.substr(0, eq), value = line.substr(eq + 1);
      key.erase(key.find_last_not_of(" \t") + 1);
      size_t v = value.find_first_not_of(" \t");
      value = v == std::string::npos ? "" : value.substr(v);
      value.erase(value.find_last_not_of(" \t") + 1);
      line = key + "=" + value;
    }
    out += line + "\r\n";
  }
  return out;
}

enum class Op { kReadInt, kReadString, kWrite };

struct Step {
  Op op;
  const char* section;
  const char* key;
  const char* text;  // write: the value; readString: the default (may be null)
  int def;           // readInt: the default
};

// Runs the steps on the file at path through one back end; every read
// gives one line of the returned record.
std::vector<std::string> RunSteps(const IniBackend& ini, const std::string& path,
                             const std::vector<Step>& steps) {
  std::vector<std::string> record;
  for (const Step& s : steps) {
    std::string what = std::string(s.section) + "/" + s.key;
    switch (s.op) {
      case Op::kReadInt:
        record.push_back("int " + what + " = " +
                         std::to_string(ini.readInt(s.section, s.key, s.def, path.c_str())));
        break;
      case Op::kReadString: {
        char buf[16];  // small on purpose: long values are cut to 15
        int n = ini.readString(s.section, s.key, s.text, buf, sizeof buf, path.c_str());
        record.push_back("string " + what + " = [" + buf + "] length " + std::to_string(n));
        break;
      }
      case Op::kWrite:
        record.push_back("write " + what + " -> " +
                         (ini.writeString(s.section, s.key, s.text, path.c_str()) ? "ok" : "failed"));
        break;
    }
  }
  return record;
}

struct Scenario {
  const char* name;
  const char* initial;  // null: no file at the start
  std::vector<Step> steps;
  bool wineRewrites;    // Wine rewrites this file's layout on a write
};

void PrintTo(const Scenario& s, std::ostream* os) { *os << s.name; }

Step RI(const char* s, const char* k, int def) { return {Op::kReadInt, s, k, nullptr, def}; }
Step RS(const char* s, const char* k, const char* def = nullptr) {
  return {Op::kReadString, s, k, def, 0};
}
Step W(const char* s, const char* k, const char* v) { return {Op::kWrite, s, k, v, 0}; }

std::vector<Scenario> Scenarios() {
  return {
      {"NewFile", nullptr,
       {RI("Setting", "Tune1", 60), RS("Setting", "Tune1", "x"),
        W("Setting", "Tune1", "60"), W("Setting", "DeTune1", "50"),
        W("Version", "Version", "20"), W("format", "freq", "44100"),
        W("Setting", "Tune1", "61"), W("setting", "dir", ""),
        RI("Setting", "Tune1", 0), RI("SETTING", "detune1", 0),
        RS("setting", "DIR", "none"), RI("format", "freq", 0)},
       false},
      {"ExistingFileWithExtras",
       "; settings of another program\r\n[other]\r\nkeep=this line\r\n"
       "[Setting]\r\nTune1=10\r\nExtra=kept\r\n; a comment\r\nVolume1=20\r\n"
       "[Version]\r\nVersion=19\r\n",
       {RI("Setting", "Tune1", 0), RS("other", "keep"), RI("Setting", "Extra", 7),
        W("Setting", "Volume1", "21"), W("Setting", "Attack1", "5"),
        W("Version", "Version", "20"), W("format", "bits", "16"),
        RI("Setting", "Volume1", 0), RI("Setting", "Attack1", 0),
        RS("other", "keep"), RI("format", "bits", 0)},
       false},
      {"BlankLinesAndBlanksAroundEquals",
       "[Setting]\r\n\r\nTune1 = 10\r\n  Volume1=  20  \r\n\r\n[format]\r\nfreq =22050\r\n",
       {RI("Setting", "Tune1", 0), RI("Setting", "Volume1", 0), RS("Setting", "Volume1"),
        RI("format", "freq", 0), W("Setting", "Tune1", "11"), RI("Setting", "Tune1", 0),
        RI("Setting", "Volume1", 0), RI("format", "freq", 0)},
       true},
      {"OtherLetterCase",
       "[SETTING]\r\nTUNE1=5\r\n[Format]\r\nFreq=11025\r\n",
       {RI("Setting", "Tune1", 0), RI("setting", "tune1", 0), RI("FORMAT", "FREQ", 0),
        W("setting", "tune1", "6"), W("format", "BITS", "8"),
        RI("Setting", "Tune1", 0), RS("Format", "bits")},
       false},
      {"MissingKeys",
       "[Setting]\r\nTune1=1\r\n",
       {RI("Setting", "Nothing", 42), RI("Nowhere", "Tune1", -3), RS("Setting", "Nothing"),
        RS("Setting", "Nothing", "fallback"), RS("Nowhere", "x", "d"),
        RI("Setting", "tune1", 0)},
       false},
      {"ValuesWithBlanksAndSigns",
       "[v]\r\na=12\r\nb=-5\r\nc=+7\r\nd= 3\r\ne=\r\nf=abc\r\ng=12abc\r\nh=-0\r\n"
       "i=4294967297\r\nj=-2147483648\r\nk=text with blanks\r\nl=a very long value indeed\r\n",
       {RI("v", "a", 99), RI("v", "b", 99), RI("v", "c", 99), RI("v", "d", 99),
        RI("v", "e", 99), RI("v", "f", 99), RI("v", "g", 99), RI("v", "h", 99),
        RI("v", "i", 99), RI("v", "j", 99), RS("v", "k"), RS("v", "l"), RS("v", "e", "def"),
        W("v", "m", "-17"), RI("v", "m", 0), W("v", "n", "  spaced  "), RS("v", "n"),
        W("v", "a", ""), RI("v", "a", 99), RS("v", "a", "def")},
       true},
  };
}

class IniBackends : public testing::TestWithParam<Scenario> {};

TEST_P(IniBackends, GiveTheSameReadsAndFiles) {
  const Scenario& sc = GetParam();
  const std::string dir = TempFolder(sc.name);
  const std::string portable = dir + "\\portable.ini";
  const std::string win32 = dir + "\\win32.ini";
  DeleteFileA(portable.c_str());
  DeleteFileA(win32.c_str());
  if (sc.initial != nullptr) {
    plimbar::test::WriteText(portable, sc.initial);
    plimbar::test::WriteText(win32, sc.initial);
  }
  std::vector<std::string> a = RunSteps(kPortableIni, portable, sc.steps);
  std::vector<std::string> b = RunSteps(kWin32Ini, win32, sc.steps);
  // Let the platform write back any file it keeps cached.
  WritePrivateProfileStringA(nullptr, nullptr, nullptr, win32.c_str());
  EXPECT_EQ(a, b) << "reads differ (left: portable, right: Win32)";
  const std::string pa = plimbar::test::ReadText(portable);
  const std::string pb = plimbar::test::ReadText(win32);
  if (sc.wineRewrites && RunningUnderWine()) {
    std::printf("%s: Wine rewrote the file:\n--- portable ---\n%s--- Win32 ---\n%s",
                sc.name, pa.c_str(), pb.c_str());
    EXPECT_NE(pa, pb) << "Wine kept the layout after all: compare bytes again";
    EXPECT_EQ(WineLayout(pa), pb);
  } else {
    EXPECT_EQ(pa, pb) << "files differ (left: portable, right: Win32)";
  }
  DeleteFileA(portable.c_str());
  DeleteFileA(win32.c_str());
  RemoveDirectoryA(dir.c_str());
}

INSTANTIATE_TEST_SUITE_P(Scenarios, IniBackends, testing::ValuesIn(Scenarios()),
                         [](const testing::TestParamInfo<Scenario>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
}  // namespace plimbar
