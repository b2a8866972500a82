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

class IniBackends : public TempFolderTest {};
class FileReplace : public TempFolderTest {};

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

// Both back ends read alike and write the same file: the rows of tests/data/ini_backends.txt.
TEST_F(IniBackends, GiveTheSameReadsAndFiles) {
  const std::string portable = File("portable.ini"), win32 = File("win32.ini");
  for (const auto& c : DataRows("ini_backends.txt", "cases")) {
    for (const std::string& file : {portable, win32}) {
      DeleteFileA(file.c_str());
      if (c.at(1) != "<none>") WriteText(file, c[1]);
    }
    for (size_t i = 2; i < c.size(); ++i)
      EXPECT_EQ(Apply(kPortableIni, portable, c[i]), Apply(kWin32Ini, win32, c[i])) << c[i];
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, win32.c_str());  // the platform's cache written out
    EXPECT_TRUE(c[0] != "same" || ReadText(portable) == ReadText(win32)) << ReadText(portable) << ReadText(win32);
  }
  // A save into a folder that vanished: refused by both, and the folder is not made again.
  for (const IniBackend* ini : {&kPortableIni, &kWin32Ini})
    EXPECT_FALSE(ini->writeString("Setting", "Tune1", "1", File("gone\\p.plb").c_str()));
  EXPECT_FALSE(fs::exists(File("gone")));
}

TEST_F(FileReplace, OnlyACompleteWriteTakesTheOldFilesPlace) {
  const std::string path = File("kick.wav");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  WriteText(path, "old");
  for (bool ok : {false, true}) {
    FileReplacement r;
    ASSERT_TRUE(OpenReplacement(path.c_str(), r));
    std::fputs("new", r.file);
    EXPECT_EQ(CloseReplacement(r, path.c_str(), ok, true), ok);
    EXPECT_EQ(ReadText(path), ok ? "new" : "old");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1) << "a temporary file is left";
  }
  // A read-only file is not replaced (a rename alone would replace it under Wine).
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  FileReplacement ro;
  EXPECT_FALSE(OpenReplacement(path.c_str(), ro));
  EXPECT_EQ(errno, EACCES);
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  EXPECT_EQ(ReadText(path), "new");
  FileReplacement r;  // a missing folder gets nothing
  EXPECT_FALSE(OpenReplacement(File("none\\x.wav").c_str(), r));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), {}), 1);
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
