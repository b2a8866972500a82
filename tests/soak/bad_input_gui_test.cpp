// Bad input to the real program: patch files that are empty, binary,
// truncated, huge or full of odd values, opened through the Open dialog; an
// over-long folder in the settings file; saves and exports whose target is
// read-only or whose folder vanished. The program answers with safe values
// and, as designed, without a message; files already there stay as they
// were. docs/bad-inputs.md lists every row and the test that covers it.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app_driver.h"
#include "resources/resource.h"
#include "soak_support.h"
#include "storage/ini.h"

using namespace plimbar_test;
using namespace plimbar_soak;

namespace {

std::string TestFolder() {
  const auto* info = testing::UnitTest::GetInstance()->current_test_info();
  return RunFolder(std::string(info->test_suite_name()) + "_" + info->name());
}

// Opens path through the Open dialog.
bool OpenThroughDialog(App& app, const std::string& path) {
  app.PostCommand(IDM_OPEN);
  HWND dlg = app.WaitForOtherDialog();
  if (dlg == nullptr) return false;
  App::TypeFileName(dlg, path);
  return App::ConfirmFileDialog(dlg) && app.Settle();
}

// The program answers, shows no window of its own besides the main dialog
// (no message box), and its panel is in range.
void ExpectCalm(App& app, const std::string& after) {
  EXPECT_TRUE(Answers(app, 10000)) << after;
  EXPECT_EQ(app.WaitForOtherDialog(300), nullptr) << "a message after " << after;
  EXPECT_EQ(PanelOutOfRange(app), "") << after;
}

// Selects each oscillator in turn and compares the panel with m.
void ExpectPatch(App& app, const Model& m, const std::string& after) {
  for (int o = 0; o < 9; ++o) {
    app.Command(kOscButtons[o]);
    EXPECT_EQ(PanelMismatch(app, m, o), "") << "OSC" << o + 1 << " after " << after;
  }
  app.Command(kOscButtons[0]);
}

int FilesIn(const std::string& dir) {
  int n = 0;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return 0;
  do {
    if (std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..") ++n;
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  return n;
}

}  // namespace

TEST(BadInputGui, BadPatchFilesOpenAsSafeValuesWithoutMessages) {
  const std::string dir = TestFolder();
  App app;
  ASSERT_TRUE(app.Start(dir));
  const std::string files = dir + "\\files";
  CreateDirectoryA(files.c_str(), nullptr);
  const Model defaults = DefaultModel();

  // Something to lose: a patch that is not the default one.
  Model other = defaults;
  other.v[0][kVolume] = 13;
  other.v[4][kTune] = 3;
  other.time = 9;
  ASSERT_TRUE(WriteFile(files + "\\other.plb", SettingsText(other, "")));

  struct Case {
    const char* name;
    std::string bytes;
  };
  std::string binary;
  unsigned s = 4242;
  for (int i = 0; i < 6000; ++i) {
    s = s * 1103515245u + 12345u;
    binary += static_cast<char>(s >> 23);
  }
  // A complete patch file, cut in the middle of the value of Volume5.
  Model full = defaults;
  for (int o = 0; o < 9; ++o)
    for (int k = 0; k < kParamCount; ++k) full.v[o][k] = k == kMute ? 1 : k == kWaveForm ? 2 : 10 + o * 9 + k;
  full.time = 77;
  std::string complete = SettingsText(full, "");
  const size_t cut = complete.find("Volume5=") + 9;  // "Volume5=" and one digit
  const Case empty = {"empty.plb", ""};
  const Case garbage = {"binary.plb", binary};
  const Case truncated = {"truncated.plb", complete.substr(0, cut)};

  for (const Case& c : {empty, garbage, truncated}) {
    SCOPED_TRACE(c.name);
    ASSERT_TRUE(OpenThroughDialog(app, files + "\\other.plb"));
    ExpectPatch(app, other, "other.plb");
    ASSERT_TRUE(WriteFile(files + "\\" + c.name, c.bytes));
    ASSERT_TRUE(OpenThroughDialog(app, files + "\\" + c.name));
    ExpectCalm(app, c.name);
    Model want = defaults;
    if (c.name == std::string("truncated.plb")) {
      // OSC1..OSC4 whole, OSC5 up to Volume5, which reads its one digit.
      for (int o = 0; o < 4; ++o)
        for (int k = 0; k < kParamCount; ++k) want.v[o][k] = full.v[o][k];
      for (int k = 0; k < kVolume; ++k) want.v[4][k] = full.v[4][k];
      want.v[4][kVolume] = full.v[4][kVolume] / 10;
    }
    ExpectPatch(app, want, c.name);
  }

  // Values out of range, negative, not numbers, beyond 32 bits, and
  // duplicated keys: clamped into range; a duplicated key counts once, the
  // first time.
  ASSERT_TRUE(WriteFile(files + "\\odd.plb",
                        "[Setting]\r\nVolume1=99999999999\r\nTune1=4294967297\r\n"
                        "Attack1=-5\r\nDecay1=abc\r\nDecayCurve1=12abc\r\nBend1=250\r\n"
                        "AttackCurve1=7\r\nAttackCurve1=9\r\nWaveForm1=-3\r\nMute1=-1\r\n"
                        "Time=-4294967200\r\n"));
  ASSERT_TRUE(OpenThroughDialog(app, files + "\\odd.plb"));
  ExpectCalm(app, "odd.plb");
  Model odd = defaults;
  // 99999999999 and -4294967200 wrap modulo 2^32 as the platform reads
  // them (1215752191 and 96), 4294967297 reads 1; then each is clamped.
  odd.v[0][kVolume] = 100;
  odd.v[0][kTune] = 1;
  odd.v[0][kAttack] = 0;
  odd.v[0][kDecay] = 0;
  odd.v[0][kDecayCurve] = 12;
  odd.v[0][kBend] = 100;
  odd.v[0][kAttackCurve] = 7;
  odd.v[0][kWaveForm] = 0;
  odd.v[0][kMute] = 1;
  odd.time = 96;
  ExpectPatch(app, odd, "odd.plb");

  // A huge file: 17 MiB of comment lines after the patch keys.
  std::string huge = "[Setting]\r\nTime=7\r\nVolume1=33\r\n";
  const std::string filler = ";" + std::string(1021, 'x') + "\r\n";
  while (huge.size() < 17u * 1024u * 1024u) huge += filler;
  ASSERT_TRUE(WriteFile(files + "\\huge.plb", huge));
  ASSERT_TRUE(OpenThroughDialog(app, files + "\\huge.plb"));
  ExpectCalm(app, "huge.plb");
  Model big = defaults;
  big.time = 7;
  big.v[0][kVolume] = 33;
  ExpectPatch(app, big, "huge.plb");

  // A file chosen with another extension is read from that name with
  // ".plb" added, which does not exist: the default patch.
  ASSERT_TRUE(WriteFile(files + "\\kick.txt", "[Setting]\r\nTime=3\r\n"));
  ASSERT_TRUE(OpenThroughDialog(app, files + "\\kick.txt"));
  ExpectCalm(app, "kick.txt");
  ExpectPatch(app, defaults, "kick.txt");

  app.PostCommand(IDM_EXIT);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, &code));
  EXPECT_EQ(code, 0u);
}

TEST(BadInputGui, OverLongFolderInTheSettingsIsCutAndTheDialogsStillOpen) {
  const std::string dir = TestFolder();
  const std::string longDir = "C:\\" + std::string(400, 'd');
  App app;
  ASSERT_TRUE(app.Start(dir, ("[setting]\r\ndir=" + longDir + "\r\n").c_str()));
  ExpectCalm(app, "start");
  for (int command : {IDM_OPEN, IDM_SAVE_AS, IDM_SAVE_WAV}) {
    app.PostCommand(command);
    HWND dlg = app.WaitForOtherDialog();
    ASSERT_NE(dlg, nullptr) << command;
    ASSERT_TRUE(App::CancelFileDialog(dlg));
    ExpectCalm(app, "a cancelled dialog");
  }
  app.PostCommand(IDM_EXIT);
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, nullptr));
  char folder[1024] = "";
  plimbar::kPortableIni.readString("setting", "dir", "", folder, sizeof folder,
                                   app.SettingsPath().c_str());
  EXPECT_EQ(std::string(folder), longDir.substr(0, 259));
}

TEST(BadInputGui, FailedSavesAndExportsLeaveTheOldFilesAsTheyWere) {
  const std::string dir = TestFolder();
  const std::string keep = dir + "\\keep";
  const std::string gone = dir + "\\gone";
  App app;
  ASSERT_TRUE(app.Start(dir));
  CreateDirectoryA(keep.c_str(), nullptr);
  CreateDirectoryA(gone.c_str(), nullptr);

  // A WAV export over a read-only WAV: refused, the old bytes stay, no
  // temporary file is left.
  app.Command(IDM_BITS_8);
  app.PostCommand(IDM_SAVE_WAV);
  HWND dlg = app.WaitForOtherDialog();
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, keep + "\\old.wav");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  const std::string oldWav = ReadFile(keep + "\\old.wav");
  ASSERT_EQ(oldWav.size(), 44u + 44100u);  // 1 s, 8 bits
  ASSERT_TRUE(SetFileAttributesA((keep + "\\old.wav").c_str(), FILE_ATTRIBUTE_READONLY));
  app.Command(IDM_BITS_16);
  app.PostCommand(IDM_SAVE_WAV);
  dlg = app.WaitForOtherDialog();
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, keep + "\\old.wav");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ExpectCalm(app, "an export over a read-only WAV");
  EXPECT_TRUE(ReadFile(keep + "\\old.wav") == oldWav) << "the read-only WAV was replaced";
  EXPECT_EQ(FilesIn(keep), 1);

  // A patch saved, then made read-only: the overwrite-save goes to the
  // platform's profile writer key by key, as the program is designed. What
  // that writer does with a read-only file is the platform's affair:
  // Windows refuses; Wine run by the superuser rewrites it. The program
  // stays calm either way.
  app.PostCommand(IDM_SAVE_AS);
  dlg = app.WaitForOtherDialog();
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, keep + "\\kick");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  const std::string oldPatch = ReadFile(keep + "\\kick.plb");
  ASSERT_NE(oldPatch.find("Volume1=80"), std::string::npos);
  ASSERT_TRUE(SetFileAttributesA((keep + "\\kick.plb").c_str(), FILE_ATTRIBUTE_READONLY));
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 12);
  app.Command(IDM_SAVE);
  ExpectCalm(app, "a save over a read-only patch");
  std::printf("a save over a read-only patch file: the platform %s it\n",
              ReadFile(keep + "\\kick.plb") == oldPatch ? "refused" : "rewrote");
  SetFileAttributesA((keep + "\\old.wav").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesA((keep + "\\kick.plb").c_str(), FILE_ATTRIBUTE_NORMAL);

  // A patch saved into a folder that then vanishes: the overwrite-save
  // writes nothing anywhere and does not bring the folder back.
  app.PostCommand(IDM_SAVE_AS);
  dlg = app.WaitForOtherDialog();
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, gone + "\\snare");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  ASSERT_TRUE(FileExists(gone + "\\snare.plb"));
  ASSERT_TRUE(RemoveFolderContents(gone));
  ASSERT_TRUE(RemoveDirectoryA(gone.c_str()));
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 34);
  app.Command(IDM_SAVE);
  ExpectCalm(app, "a save into a vanished folder");
  EXPECT_FALSE(FileExists(gone));
  EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), L"34");

  app.PostCommand(IDM_EXIT);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, &code));
  EXPECT_EQ(code, 0u);
}
