// The settings file: its name from the program's path, the fallback of an
// unknown format, and one write-read round through the program's INI back
// end and the portable one.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "storage/ini_win32.h"
#include "storage/settings.h"

namespace plimbar {
namespace {

std::string PathFor(const char* module) {
  char out[kPathCapacity];
  if (!SettingsPathFor(module, out)) return "<none>";
  return out;
}

TEST(SettingsPath, ExtensionOfTheProgramBecomesIni) {
  EXPECT_EQ(PathFor("C:\\Tools\\drums.exe"), "C:\\Tools\\drums.ini");
  EXPECT_EQ(PathFor("C:\\Tools\\PlimbarMaker.EXE"), "C:\\Tools\\PlimbarMaker.ini");
  EXPECT_EQ(PathFor("C:\\a.b\\drums.x.exe"), "C:\\a.b\\drums.x.ini");
  // No extension: a dot in a folder name is not one.
  EXPECT_EQ(PathFor("C:\\my.tools\\drums"), "C:\\my.tools\\drums.ini");
  EXPECT_EQ(PathFor("drums"), "drums.ini");
  EXPECT_EQ(PathFor(""), "<none>");
  EXPECT_EQ(PathFor(nullptr), "<none>");
}

TEST(SettingsPath, LongPathsStayInTheBuffer) {
  // 255 characters + ".exe" = 259: fits, and so does its ".ini".
  std::string p = "C:\\" + std::string(252, 'a') + ".exe";
  ASSERT_EQ(p.size(), 259u);
  EXPECT_EQ(PathFor(p.c_str()), p.substr(0, 255) + ".ini");
  // Without an extension, ".ini" added to 257 characters would need 261.
  std::string q = "C:\\" + std::string(254, 'b');
  EXPECT_EQ(PathFor(q.c_str()), "<none>");
  // Longer than a path buffer holds: refused, not cut.
  std::string r = "C:\\" + std::string(300, 'c') + ".exe";
  EXPECT_EQ(PathFor(r.c_str()), "<none>");
}

TEST(SettingsFormat, UnknownRatesAndDepthsFallBack) {
  for (int r : {44100, 22050, 11025}) EXPECT_EQ(ValidRateOrDefault(r), r);
  for (int r : {0, -44100, 48000, 8000, 44101, 88200}) EXPECT_EQ(ValidRateOrDefault(r), 44100);
  for (int b : {16, 8}) EXPECT_EQ(ValidBitsOrDefault(b), b);
  for (int b : {0, 24, 32, 1, -16}) EXPECT_EQ(ValidBitsOrDefault(b), 16);
}

class SettingsFile : public testing::TestWithParam<bool> {
 protected:
  const IniBackend& Ini() const { return GetParam() ? kWin32Ini : kPortableIni; }
  std::string Path() const {
    char base[MAX_PATH];
    GetTempPathA(MAX_PATH, base);
    return std::string(base) + (GetParam() ? "plimbar_settings_w.ini" : "plimbar_settings_p.ini");
  }
  void Put(const char* text) {
    FILE* f = std::fopen(Path().c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fputs(text, f);
    std::fclose(f);
  }
  void TearDown() override { DeleteFileA(Path().c_str()); }
};

TEST_P(SettingsFile, MissingFileGivesTheDefaults) {
  DeleteFileA(Path().c_str());
  Settings s;
  std::memset(&s, 0x55, sizeof s);
  ReadSettings(Ini(), Path().c_str(), s);
  EXPECT_STREQ(s.lastFolder, "");
  EXPECT_EQ(s.format.rate, 44100);
  EXPECT_EQ(s.format.bits, 16);
}

TEST_P(SettingsFile, ReadsCapitalSectionsAndFallsBackOnBadFormats) {
  Put("[SETTING]\r\nDIR=C:\\Sounds\\Kicks\r\n[FORMAT]\r\nFREQ=22050\r\nBITS=8\r\n");
  Settings s = {};
  ReadSettings(Ini(), Path().c_str(), s);
  EXPECT_STREQ(s.lastFolder, "C:\\Sounds\\Kicks");
  EXPECT_EQ(s.format.rate, 22050);
  EXPECT_EQ(s.format.bits, 8);
  Put("[format]\r\nfreq=96000\r\nbits=12\r\n");
  ReadSettings(Ini(), Path().c_str(), s);
  EXPECT_EQ(s.format.rate, 44100);
  EXPECT_EQ(s.format.bits, 16);
}

TEST_P(SettingsFile, ALongFolderIsCutToTheBuffer) {
  std::string text = "[setting]\r\ndir=C:\\" + std::string(400, 'd') + "\r\n";
  Put(text.c_str());
  Settings s = {};
  ReadSettings(Ini(), Path().c_str(), s);
  EXPECT_EQ(std::strlen(s.lastFolder), static_cast<size_t>(kPathCapacity - 1));
}

TEST_P(SettingsFile, WritesPatchThenFolderThenFormat) {
  DeleteFileA(Path().c_str());
  std::unique_ptr<Engine> e = NewEngine();
  SetTime(e->patch, 7);
  e->patch.Volume[4] = 33;
  Settings s = {};
  std::strcpy(s.lastFolder, "C:\\Drums");
  s.format = {11025, 8};
  ASSERT_TRUE(WriteSettings(Ini(), Path().c_str(), e->patch, s));
  FILE* f = std::fopen(Path().c_str(), "rb");
  ASSERT_NE(f, nullptr);
  char buf[8192] = {};
  std::fread(buf, 1, sizeof buf - 1, f);
  std::fclose(f);
  const std::string text = buf;
  // Order of appearance: first and last patch keys, dir in the same
  // section, then Version, then the format.
  const char* order[] = {"[Setting]\r\nTune1=", "Volume5=33\r\n", "WaveForm9=", "Time=7\r\n",
                         "dir=C:\\Drums\r\n", "[Version]\r\nVersion=20\r\n",
                         "[format]\r\nfreq=11025\r\nbits=8\r\n"};
  size_t at = 0;
  for (const char* piece : order) {
    size_t found = text.find(piece, at);
    ASSERT_NE(found, std::string::npos) << piece << " after " << at << " in\n" << text;
    at = found;
  }
  Settings back = {};
  ReadSettings(Ini(), Path().c_str(), back);
  EXPECT_STREQ(back.lastFolder, "C:\\Drums");
  EXPECT_EQ(back.format.rate, 11025);
  EXPECT_EQ(back.format.bits, 8);
}

INSTANTIATE_TEST_SUITE_P(Backends, SettingsFile, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& i) {
                           return std::string(i.param ? "Win32" : "Portable");
                         });

}  // namespace
}  // namespace plimbar
