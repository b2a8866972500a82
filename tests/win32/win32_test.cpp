// The Windows-only code in-process: INI back ends, file replacement, help loader.
#include <gtest/gtest.h>

#include <windows.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <sstream>

#include "storage/file_replace.h"
#include "storage/ini_win32.h"
#include "tests/test_support.h"
#include "ui/help.h"

namespace plimbar {
namespace {

using namespace test;

// An empty folder of the test's own in the temporary folder.
std::string Folder() {
  char base[MAX_PATH];
  GetTempPathA(MAX_PATH, base);
  const std::string dir = base + std::string("plimbar_") + testing::UnitTest::GetInstance()->current_test_info()->name();
  fs::remove_all(dir);
  CreateDirectoryA(dir.c_str(), nullptr);
  return dir;
}

// One operation on an INI file as text: "i section key default" (an int),
// "s section key [default]" (a string into 16 bytes), "w section key [value]".
std::string Apply(const IniBackend& ini, const std::string& path, const std::string& op) {
  std::istringstream in(op);
  std::string kind, section, key, arg;
  in >> kind >> section >> key;
  const char* a = (in >> arg) ? arg.c_str() : nullptr;
  if (kind == "i") return std::to_string(ini.readInt(section.c_str(), key.c_str(), std::stoi(arg), path.c_str()));
  if (kind == "w") return ini.writeString(section.c_str(), key.c_str(), a ? a : "", path.c_str()) ? "ok" : "failed";
  char buf[16];
  const int n = ini.readString(section.c_str(), key.c_str(), a, buf, sizeof buf, path.c_str());
  return "[" + std::string(buf) + "] " + std::to_string(n);
}

// Both back ends read alike and write the same file, but where Wine drops blank lines and blanks around '='.
TEST(IniBackends, GiveTheSameReadsAndFiles) {
  const struct {
    const char* initial;  // null: no file
    std::vector<const char*> ops;
    bool sameFile;
  } cases[] = {
      {nullptr, {"i Setting Tune1 60", "s Setting Tune1 x", "w Setting Tune1 60", "w Version Version 20",
                 "w format freq 44100", "w Setting Tune1 61", "w setting dir", "i SETTING tune1 0", "s setting DIR none",
                 "i format freq 0"}, true},
      {"; another program's\r\n[other]\r\nkeep=this line\r\n[Setting]\r\nTune1=10\r\nExtra=kept\r\n; note\r\n"
       "Volume1=20\r\n[Version]\r\nVersion=19\r\n",
       {"i Setting Tune1 0", "s other keep", "i Setting Extra 7", "w Setting Volume1 21", "w Setting Attack1 5",
        "w Version Version 20", "w format bits 16", "i Setting Attack1 0", "s other keep"}, true},
      {"[SETTING]\r\nTUNE1=5\r\n[Format]\r\nFreq=11025\r\n",
       {"i Setting Tune1 0", "i FORMAT FREQ 0", "w setting tune1 6", "w format BITS 8", "s Format bits"}, true},
      {"[Setting]\r\n\r\nTune1 = 10\r\n  Volume1=  20  \r\n[v]\r\na=12\r\nb=-5\r\nc=+7\r\nd= 3\r\ne=\r\nf=abc\r\n"
       "g=12abc\r\nh=-0\r\ni=4294967297\r\nj=-2147483648\r\nk=text with blanks\r\nl=a very long value indeed\r\n",
       {"i Setting Tune1 0", "i Setting Volume1 0", "s Setting Volume1", "i v a 99", "i v b 99", "i v c 99", "i v d 99",
        "i v e 99", "i v f 99", "i v g 99", "i v h 99", "i v i 99", "i v j 99", "s v k", "s v l", "s v e def",
        "s v none def", "i none x -3", "w v m -17", "i v m 0", "w v a", "i v a 99"}, false},
  };
  const std::string dir = Folder(), portable = dir + "\\portable.ini", win32 = dir + "\\win32.ini";
  for (const auto& c : cases) {
    for (const std::string& file : {portable, win32}) {
      DeleteFileA(file.c_str());
      if (c.initial != nullptr) WriteText(file, c.initial);
    }
    for (const char* op : c.ops) EXPECT_EQ(Apply(kPortableIni, portable, op), Apply(kWin32Ini, win32, op)) << op;
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, win32.c_str());  // the platform's cache written out
    EXPECT_TRUE(!c.sameFile || ReadText(portable) == ReadText(win32)) << ReadText(portable) << ReadText(win32);
  }
  // A save into a folder that vanished: refused by both, and the folder is not made again.
  for (const IniBackend* ini : {&kPortableIni, &kWin32Ini})
    EXPECT_FALSE(ini->writeString("Setting", "Tune1", "1", (dir + "\\gone\\p.plb").c_str()));
  EXPECT_FALSE(fs::exists(dir + "\\gone"));
  fs::remove_all(dir);
}

TEST(FileReplace, OnlyACompleteWriteTakesTheOldFilesPlace) {
  const std::string dir = Folder(), path = dir + "\\kick.wav";
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteText(path, "old");
  for (bool ok : {false, true}) {
    FileReplacement r;
    ASSERT_TRUE(OpenReplacement(path.c_str(), r));
    std::fputs("new", r.file);
    EXPECT_EQ(CloseReplacement(r, path.c_str(), ok, true), ok);
    EXPECT_EQ(ReadText(path), ok ? "new" : "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1) << "a temporary file is left";
  }
  // A read-only file is not replaced (a rename alone would replace it under Wine).
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  FileReplacement ro;
  EXPECT_FALSE(OpenReplacement(path.c_str(), ro));
  EXPECT_EQ(errno, EACCES);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadText(path), "new");
  FileReplacement r;  // a missing folder gets nothing
  EXPECT_FALSE(OpenReplacement((dir + "\\none\\x.wav").c_str(), r));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 1);
  fs::remove_all(dir);
}

// The help control as a fake: the names loaded (each + ';'), entry lookups and calls.
struct Fake {
  bool registered, registeredLoads, bareLoads, hasEntry;
  std::string loads;
  int entryLookups, calls;
} g_fake;

// The control's entry, called as Windows calls it (stdcall on 32-bit x86: a lambda cannot be one).
HWND WINAPI FakeHtmlHelp(HWND, LPCSTR file, UINT command, DWORD_PTR data) {
  ++g_fake.calls;
  const bool asked = !std::strcmp(file, "x.chm") && command == 0 && !std::strcmp(LPCSTR(data), "index.htm");
  return HWND(intptr_t(asked ? 0x1234 : 1));
}

TEST(HelpLoader, LoadsOnceFallsBackAndGivesUpForGood) {
  const struct {
    Fake fake;
    const char* loads;  // after two requests
    int entryLookups, calls;
  } rows[] = {{{true, true, true, true, "", 0, 0}, "C:\\hh\\hhctrl.ocx;", 1, 2},
              {{false, true, true, true, "", 0, 0}, "hhctrl.ocx;", 1, 2},
              {{true, false, true, true, "", 0, 0}, "C:\\hh\\hhctrl.ocx;hhctrl.ocx;", 1, 2},
              {{true, false, false, true, "", 0, 0}, "C:\\hh\\hhctrl.ocx;hhctrl.ocx;", 0, 0},
              {{true, true, true, false, "", 0, 0}, "C:\\hh\\hhctrl.ocx;", 1, 0}};
  const HelpLoader fake = {
      [](char* path) { return std::strcpy(path, "C:\\hh\\hhctrl.ocx"), g_fake.registered; },
      [](const char* name) {
        g_fake.loads += std::string(name) + ";";
        const bool loads = std::strcmp(name, "hhctrl.ocx") == 0 ? g_fake.bareLoads : g_fake.registeredLoads;
        return loads ? GetModuleHandleA(nullptr) : HMODULE();
      },
      [](HMODULE, LPCSTR name) {
        ++g_fake.entryLookups;
        return g_fake.hasEntry && uintptr_t(name) == 14 ? FARPROC(reinterpret_cast<void*>(FakeHtmlHelp)) : FARPROC();
      }};
  for (const auto& row : rows) {
    g_fake = row.fake;
    ResetHelpForTest(fake);
    for (int i = 0; i < 2; ++i)
      EXPECT_EQ(CallHtmlHelp(nullptr, "x.chm", 0, DWORD_PTR("index.htm")), HWND(intptr_t(row.calls > 0 ? 0x1234 : 0)));
    EXPECT_EQ(g_fake.loads, row.loads);
    EXPECT_EQ(g_fake.entryLookups, row.entryLookups);
    EXPECT_EQ(g_fake.calls, row.calls);
  }
  ResetHelpForTest(kSystemHelpLoader);
}

}  // namespace
}  // namespace plimbar
