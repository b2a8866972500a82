// Patch files: the reader and writer over the portable INI layer, and the
// two file-name helpers. Expected files are built here from hand-written
// lists of names and defaults, not from the program's own tables.
#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "storage/ini.h"
#include "storage/patch_file.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

namespace fs = std::filesystem;
using test::ReadText;
using test::WriteText;

// The twelve keys of one oscillator in the order a file holds them.
const char* const kWriteOrder[12] = {
    "Tune",        "DeTune", "Bend",       "BendCurve",  "Volume", "Attack",
    "AttackCurve", "Decay",  "DecayCurve", "Distortion", "Mute",   "WaveForm"};

// The same keys in the order the reader takes them.
const char* const kReadOrder[12] = {
    "Volume",  "Attack", "AttackCurve", "Decay",      "DecayCurve", "Tune",
    "DeTune",  "Bend",   "BendCurve",   "Distortion", "Mute",       "WaveForm"};

// Every field of a patch, for comparing two of them.
struct Field {
  const char* name;
  int (Patch::*array)[kOscillators];
};
const Field kFields[12] = {
    {"Tune", &Patch::Tune},           {"DeTune", &Patch::DeTune},
    {"Bend", &Patch::Bend},           {"BendCurve", &Patch::BendCurve},
    {"Volume", &Patch::Volume},       {"Attack", &Patch::Attack},
    {"AttackCurve", &Patch::AttackCurve}, {"Decay", &Patch::Decay},
    {"DecayCurve", &Patch::DecayCurve},   {"Distortion", &Patch::Distortion},
    {"Mute", &Patch::Mute},           {"WaveForm", &Patch::WaveForm}};

// What a file without any key loads as.
Patch FileDefaults() {
  Patch p;
  for (int n = 0; n < kOscillators; ++n) {
    p.Tune[n] = 60;
    p.DeTune[n] = 50;
    p.Bend[n] = 50;
    p.BendCurve[n] = 50;
    p.Volume[n] = n == 0 ? 80 : 0;
    p.Attack[n] = 0;
    p.AttackCurve[n] = 0;
    p.Decay[n] = 100;
    p.DecayCurve[n] = 50;
    p.Distortion[n] = 50;
    p.Mute[n] = 0;
    p.WaveForm[n] = 0;
  }
  p.Time = 50;
  p.soundLength = 44100;
  return p;
}

// A patch full of values no reader would invent, to see every field set.
Patch Scribbled() {
  Patch p;
  std::memset(&p, 0x5A, sizeof p);
  return p;
}

void ExpectSamePatch(const Patch& actual, const Patch& expected) {
  for (const Field& f : kFields) {
    for (int n = 0; n < kOscillators; ++n) {
      EXPECT_EQ((actual.*f.array)[n], (expected.*f.array)[n])
          << f.name << n + 1;
    }
  }
  EXPECT_EQ(actual.Time, expected.Time);
  EXPECT_EQ(actual.soundLength, expected.soundLength);
}

class PatchFileTest : public test::TempFolderTest {
 protected:
  PatchFileTest() : TempFolderTest("plimbar_patch_") {}
  void SetUp() override {
    TempFolderTest::SetUp();
    path_ = File("kick.plb");
  }

  Patch Load(PatchReadReport* report = nullptr) const {
    Patch p = Scribbled();
    ReadPatchFile(kPortableIni, path_.c_str(), p, report);
    return p;
  }

  std::string path_;
};

// The "key=value" lines of section Setting for p, in file order.
std::vector<std::string> SettingLines(const Patch& p) {
  std::vector<std::string> lines;
  for (int n = 0; n < kOscillators; ++n) {
    for (const char* name : kWriteOrder) {
      int value = 0;
      for (const Field& f : kFields) {
        if (std::strcmp(f.name, name) == 0) value = (p.*f.array)[n];
      }
      lines.push_back(std::string(name) + std::to_string(n + 1) + "=" +
                      std::to_string(value));
    }
  }
  lines.push_back("Time=" + std::to_string(p.Time));
  return lines;
}

std::string NewFileText(const Patch& p) {
  std::string text = "[Setting]\r\n";
  for (const std::string& line : SettingLines(p)) text += line + "\r\n";
  return text + "[Version]\r\nVersion=20\r\n";
}

// --- saving -------------------------------------------------------------------

TEST_F(PatchFileTest, DefaultPatchSavesAsTheExpectedNewFile) {
  Patch p = FileDefaults();
  ASSERT_TRUE(SavePatchFile(kPortableIni, path_.c_str(), p));
  std::string text = ReadText(path_);
  EXPECT_EQ(text, NewFileText(p));
  // Spot checks of the hand-built text itself.
  EXPECT_EQ(text.rfind("[Setting]\r\nTune1=60\r\nDeTune1=50\r\nBend1=50\r\n", 0),
            0u);
  EXPECT_NE(text.find("\r\nVolume1=80\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nVolume2=0\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\nWaveForm9=0\r\nTime=50\r\n[Version]\r\nVersion=20\r\n"),
            std::string::npos);
  EXPECT_EQ(SettingLines(p).size(), 109u);
}

TEST_F(PatchFileTest, InitialPatchSavesItsCarrierDecays) {
  Patch p;
  SetInitialPatch(p);
  SetTime(p, 50);
  ASSERT_TRUE(SavePatchFile(kPortableIni, path_.c_str(), p));
  std::string text = ReadText(path_);
  EXPECT_EQ(text, NewFileText(p));
  for (const char* line : {"\r\nDecay1=50\r\n", "\r\nDecay2=100\r\n",
                           "\r\nDecay4=50\r\n", "\r\nDecay7=50\r\n",
                           "\r\nDecay9=100\r\n"}) {
    EXPECT_NE(text.find(line), std::string::npos) << line;
  }
}

TEST_F(PatchFileTest, SavingOverAFileKeepsItsOtherKeysAndSections) {
  WriteText(path_,
      "; saved by hand\r\n"
      "[Extra]\r\n"
      "foo=bar\r\n"
      "[Setting]\r\n"
      "Tune1=1\r\n"
      "MyKey=5\r\n"
      "\r\n"
      "[version]\r\n"
      "Version=3\r\n"
      "Note=x\r\n");
  Patch p = FileDefaults();
  ASSERT_TRUE(SavePatchFile(kPortableIni, path_.c_str(), p));
  std::string expected =
      "; saved by hand\r\n"
      "[Extra]\r\n"
      "foo=bar\r\n"
      "[Setting]\r\n"
      "Tune1=60\r\n"
      "MyKey=5\r\n";
  std::vector<std::string> lines = SettingLines(p);
  for (size_t i = 1; i < lines.size(); ++i) expected += lines[i] + "\r\n";
  expected +=
      "\r\n"
      "[version]\r\n"
      "Version=20\r\n"
      "Note=x\r\n";
  EXPECT_EQ(ReadText(path_), expected);

  // A second save of another patch changes values only where they stand.
  Patch q = p;
  q.Tune[0] = 33;
  q.WaveForm[8] = 3;
  SetTime(q, 7);
  ASSERT_TRUE(SavePatchFile(kPortableIni, path_.c_str(), q));
  std::string again = expected;
  auto replace = [&again](const std::string& from, const std::string& to) {
    size_t at = again.find(from);
    ASSERT_NE(at, std::string::npos) << from;
    again.replace(at, from.size(), to);
  };
  replace("\r\nTune1=60\r\n", "\r\nTune1=33\r\n");
  replace("\r\nWaveForm9=0\r\n", "\r\nWaveForm9=3\r\n");
  replace("\r\nTime=50\r\n", "\r\nTime=7\r\n");
  EXPECT_EQ(ReadText(path_), again);
}

// An INI back end that records the calls and can fail a chosen write.
std::vector<std::string> g_calls;
int g_failWrite = -1;  // index among the writes, or -1
int g_writes = 0;

int RecordReadInt(const char* section, const char* key, int def,
                  const char*) {
  g_calls.push_back(std::string(section) + "/" + key);
  return def;
}
int RecordReadString(const char*, const char*, const char*, char* buf,
                     int size, const char*) {
  if (size > 0) buf[0] = '\0';
  return 0;
}
bool RecordWrite(const char* section, const char* key, const char* value,
                 const char*) {
  g_calls.push_back(std::string(section) + "/" + key + "=" + value);
  return g_writes++ != g_failWrite;
}
const IniBackend kRecorder = {RecordReadInt, RecordReadString, RecordWrite};

void ResetRecorder(int failWrite) {
  g_calls.clear();
  g_writes = 0;
  g_failWrite = failWrite;
}

TEST(PatchFileOrder, SaveWrites110KeysInFileOrder) {
  Patch p = FileDefaults();
  p.Mute[4] = -9;  // any nonzero mute is written as 1
  p.Volume[2] = -17;  // everything else as stored
  ResetRecorder(-1);
  ASSERT_TRUE(SavePatchFile(kRecorder, "x", p));
  std::vector<std::string> expected;
  for (const std::string& line : SettingLines(p)) {
    expected.push_back("Setting/" + line);
  }
  expected.push_back("Version/Version=20");
  ASSERT_EQ(expected.size(), 110u);
  expected[4 * 12 + 10] = "Setting/Mute5=1";
  EXPECT_EQ(expected[2 * 12 + 4], "Setting/Volume3=-17");
  EXPECT_EQ(g_calls, expected);
}

TEST(PatchFileOrder, SaveStopsAtTheFirstFailedWrite) {
  for (int fail : {0, 1, 57, 108, 109}) {
    ResetRecorder(fail);
    EXPECT_FALSE(SavePatchFile(kRecorder, "x", FileDefaults())) << fail;
    EXPECT_EQ(g_writes, fail + 1);
  }
}

TEST(PatchFileOrder, LoadReadsEachOscillatorInReadingOrderThenTime) {
  ResetRecorder(-1);
  Patch p = Scribbled();
  ReadPatchFile(kRecorder, "x", p, nullptr);
  std::vector<std::string> expected;
  for (int n = 1; n <= 9; ++n) {
    for (const char* name : kReadOrder) {
      expected.push_back("Setting/" + std::string(name) + std::to_string(n));
    }
  }
  expected.push_back("Setting/Time");
  EXPECT_EQ(g_calls, expected);
  ExpectSamePatch(p, FileDefaults());
}

TEST(PatchFileOrder, WriteIniIntFormatsPlainDecimal) {
  for (int v : {0, 7, -7, 100, INT_MAX, INT_MIN}) {
    ResetRecorder(-1);
    EXPECT_TRUE(WriteIniInt(kRecorder, "format", "freq", v, "x"));
    ASSERT_EQ(g_calls.size(), 1u);
    char text[32];
    std::snprintf(text, sizeof text, "%d", v);
    EXPECT_EQ(g_calls[0], std::string("format/freq=") + text);
  }
  ResetRecorder(0);
  EXPECT_FALSE(WriteIniInt(kRecorder, "format", "bits", 16, "x"));
}

// --- loading ------------------------------------------------------------------

TEST_F(PatchFileTest, MissingEmptyOrForeignFilesLoadTheDefaults) {
  PatchReadReport report;
  report.clampedCount = 99;
  ExpectSamePatch(Load(&report), FileDefaults());  // no file at all
  EXPECT_EQ(report.clampedCount, 0);

  WriteText(path_, "");
  ExpectSamePatch(Load(), FileDefaults());

  WriteText(path_, "[format]\r\nfreq=22050\r\nTune1=10\r\n");  // no section Setting
  ExpectSamePatch(Load(), FileDefaults());

  std::mt19937 rng(77u);
  for (int round = 0; round < 10; ++round) {
    std::string bytes(1 + rng() % 5000u, '\0');
    for (char& c : bytes) c = static_cast<char>(rng() & 0xFF);
    WriteText(path_, bytes);
    ASSERT_FALSE(PortableIniHasSection("Setting", path_.c_str()));
    ExpectSamePatch(Load(&report), FileDefaults());
    EXPECT_EQ(report.clampedCount, 0);
  }
}

TEST_F(PatchFileTest, OnlyTimeGivesTheDefaultsWithThatLength) {
  WriteText(path_, "[Setting]\r\nTime=10\r\n");
  Patch expected = FileDefaults();
  expected.Time = 10;
  expected.soundLength = 8820;
  ExpectSamePatch(Load(), expected);
}

TEST_F(PatchFileTest, NamesMatchWithoutRegardToCase) {
  WriteText(path_, "[SETTING]\r\ntune1=12\r\nVOLUME5=44\r\ntime=100\r\n");
  Patch expected = FileDefaults();
  expected.Tune[0] = 12;
  expected.Volume[4] = 44;
  expected.Time = 100;
  expected.soundLength = 88200;
  ExpectSamePatch(Load(), expected);
}

TEST_F(PatchFileTest, AnyNonzeroMuteLoadsAsMutedAndSavesAsOne) {
  WriteText(path_, "[Setting]\r\nMute1=7\r\nMute2=-1\r\nMute3=0\r\nMute4=junk\r\n");
  PatchReadReport report;
  Patch p = Load(&report);
  EXPECT_EQ(p.Mute[0], 1);
  EXPECT_EQ(p.Mute[1], 1);
  EXPECT_EQ(p.Mute[2], 0);
  EXPECT_EQ(p.Mute[3], 0);
  EXPECT_EQ(report.clampedCount, 0);  // not an out-of-range value
  ASSERT_TRUE(SavePatchFile(kPortableIni, path_.c_str(), p));
  std::string text = ReadText(path_);
  EXPECT_EQ(text.rfind("[Setting]\r\nMute1=1\r\nMute2=1\r\n", 0), 0u);
  EXPECT_NE(text.find("\r\nMute3=0\r\nMute4=0\r\n"), std::string::npos);
}

TEST_F(PatchFileTest, OutOfRangeValuesAreClampedAndReported) {
  WriteText(path_,
      "[Setting]\r\n"
      "Time=0\r\n"
      "Tune4=-5\r\n"
      "Volume3=101\r\n"
      "WaveForm2=9\r\n"
      "WaveForm5=-1\r\n"
      "Mute6=5\r\n"
      "Decay1=100\r\n"
      "Attack1=0\r\n"
      "DeTune9=2147483647\r\n"
      "Bend8=-2147483648\r\n");
  PatchReadReport report;
  Patch p = Load(&report);
  Patch expected = FileDefaults();
  expected.Tune[3] = 0;
  expected.Volume[2] = 100;
  expected.WaveForm[1] = 3;
  expected.WaveForm[4] = 0;
  expected.Mute[5] = 1;
  expected.DeTune[8] = 100;
  expected.Bend[7] = 0;
  expected.Time = 1;
  expected.soundLength = 882;
  ExpectSamePatch(p, expected);

  // Listed in reading order: oscillator by oscillator, Time last.
  struct Expected {
    const char* key;
    int read, used;
  } list[] = {{"WaveForm2", 9, 3},           {"Volume3", 101, 100},
              {"Tune4", -5, 0},              {"WaveForm5", -1, 0},
              {"Bend8", INT_MIN, 0},         {"DeTune9", INT_MAX, 100},
              {"Time", 0, 1}};
  ASSERT_EQ(report.clampedCount, 7);
  for (int i = 0; i < 7; ++i) {
    EXPECT_STREQ(report.clamped[i].key, list[i].key);
    EXPECT_EQ(report.clamped[i].read, list[i].read) << list[i].key;
    EXPECT_EQ(report.clamped[i].used, list[i].used) << list[i].key;
  }

  WriteText(path_, "[Setting]\r\nTime=100000\r\n");
  p = Load(&report);
  EXPECT_EQ(p.Time, 100);
  EXPECT_EQ(p.soundLength, 88200);
  ASSERT_EQ(report.clampedCount, 1);
  EXPECT_STREQ(report.clamped[0].key, "Time");
  EXPECT_EQ(report.clamped[0].read, 100000);
  EXPECT_EQ(report.clamped[0].used, 100);

  // Without a report the values are clamped all the same.
  WriteText(path_, "[Setting]\r\nTime=-3\r\nWaveForm1=4\r\n");
  p = Scribbled();
  ReadPatchFile(kPortableIni, path_.c_str(), p, nullptr);
  EXPECT_EQ(p.Time, 1);
  EXPECT_EQ(p.WaveForm[0], 3);
}

TEST_F(PatchFileTest, EveryKeyOutOfRangeFitsTheReport) {
  std::string text = "[Setting]\r\n";
  for (int n = 1; n <= 9; ++n) {
    for (const char* name : kWriteOrder) {
      text += std::string(name) + std::to_string(n) + "=1000\r\n";
    }
  }
  text += "Time=1000\r\n";
  WriteText(path_, text);
  PatchReadReport report;
  Patch p = Load(&report);
  EXPECT_EQ(report.clampedCount, 9 * 11 + 1);  // all but the nine mutes
  EXPECT_STREQ(report.clamped[0].key, "Volume1");
  EXPECT_STREQ(report.clamped[report.clampedCount - 1].key, "Time");
  EXPECT_EQ(p.Mute[8], 1);
  EXPECT_EQ(p.WaveForm[8], 3);
  EXPECT_EQ(p.AttackCurve[4], 100);
}

TEST_F(PatchFileTest, HandwrittenFileLoads) {
  path_ = std::string(PLIMBAR_TEST_DATA_DIR) + "/handmade.plb";
  Patch expected = FileDefaults();
  expected.Time = 25;
  expected.soundLength = 22050;
  expected.Tune[0] = 40;
  expected.Bend[0] = 10;
  expected.Volume[0] = 100;
  expected.Decay[0] = 70;
  expected.Volume[1] = 35;
  expected.Tune[1] = 72;
  expected.WaveForm[1] = 2;
  expected.Mute[2] = 1;
  expected.Distortion[8] = 12;
  ExpectSamePatch(Load(), expected);
}

TEST_F(PatchFileTest, RandomValidPatchesSurviveARoundTrip) {
  std::mt19937 rng(4242u);
  for (int round = 0; round < 20; ++round) {
    Patch p;
    for (const Field& f : kFields) {
      int max = 100;
      if (std::strcmp(f.name, "Mute") == 0) max = 1;
      if (std::strcmp(f.name, "WaveForm") == 0) max = 3;
      for (int n = 0; n < kOscillators; ++n) {
        (p.*f.array)[n] = static_cast<int>(rng() % (max + 1u));
      }
    }
    SetTime(p, 1 + static_cast<int>(rng() % 100u));
    if (round % 2 == 1) fs::remove(path_);  // also over an existing file
    ASSERT_TRUE(SavePatchFile(kPortableIni, path_.c_str(), p));
    PatchReadReport report;
    ExpectSamePatch(Load(&report), p);
    EXPECT_EQ(report.clampedCount, 0);
    EXPECT_EQ(ReadText(path_), NewFileText(p));
  }
}

TEST_F(PatchFileTest, SaveToAnUnwritablePlaceFails) {
  std::string nowhere = (dir_ / "missing" / "kick.plb").string();
  EXPECT_FALSE(SavePatchFile(kPortableIni, nowhere.c_str(), FileDefaults()));
  EXPECT_FALSE(fs::exists(nowhere));
}

// --- file names -----------------------------------------------------------------

struct NameCase {
  const char* name;
  const char* expected;
};

TEST(FileNames, StripExtensionCutsAtTheFileNamesFirstDotOnlyForShortEndings) {
  const NameCase cases[] = {
      {"kick.plb", "kick"},
      {"kick", "kick"},
      {"kick.au", "kick"},
      {"kick.", "kick"},
      {"kick.aiff", "kick.aiff"},
      {"My.Sounds\\kick.plb", "My.Sounds\\kick"},
      {"C:\\PlimbarMaker-0.1-win32\\examples\\kick.plb", "C:\\PlimbarMaker-0.1-win32\\examples\\kick"},
      {"a.b/c.d\\kick.au", "a.b/c.d\\kick"},
      {"My.Sounds\\kick", "My.Sounds\\kick"},
      {"My.Sounds\\kick.aiff", "My.Sounds\\kick.aiff"},
      {"My.Sounds\\.wav", "My.Sounds\\"},
      {"x.y/", "x.y/"},
      {"Sounds\\kick.wav", "Sounds\\kick"},
      {"a.b.c", "a"},
      {"a.bc.d", "a.bc.d"},
      {".wav", ""},
      {"", ""},
  };
  for (const NameCase& c : cases) {
    const char* r = StripExtension(c.name);
    ASSERT_NE(r, nullptr) << c.name;
    EXPECT_STREQ(r, c.expected) << c.name;
  }
  EXPECT_EQ(StripExtension(nullptr), nullptr);
}

struct AppendCase {
  const char* name;
  const char* extension;
  const char* expected;
};

TEST(FileNames, AppendExtensionAddsItUnlessAlreadyThere) {
  const AppendCase cases[] = {
      {"kick", ".plb", "kick.plb"},
      {"kick.plb", ".plb", "kick.plb"},
      {"kick.PLB", ".plb", "kick.PLB"},
      {"KICK.WAV", ".wav", "KICK.WAV"},
      {"kick.txt", ".plb", "kick.txt.plb"},
      {"Sounds\\kick.wav", ".plb", "Sounds\\kick.wav.plb"},
      {"a.w", ".wav", "a.w.wav"},
      {".wav", ".wav", ".wav"},
      {"xwav", ".wav", "xwav.wav"},
      {"wav", ".wav", "wav.wav"},
      {"", ".plb", ".plb"},
  };
  for (const AppendCase& c : cases) {
    const char* r = AppendExtension(c.name, c.extension);
    ASSERT_NE(r, nullptr) << c.name;
    EXPECT_STREQ(r, c.expected) << c.name;
  }
  EXPECT_EQ(AppendExtension(nullptr, ".plb"), nullptr);
  EXPECT_EQ(AppendExtension("kick", nullptr), nullptr);
}

TEST(FileNames, ResultsLiveInTheFunctionsOwnBuffers) {
  const char* stripped = StripExtension("Sounds\\kick.wav");
  const char* appended = AppendExtension(stripped, ".plb");
  EXPECT_STREQ(appended, "Sounds\\kick.plb");
  EXPECT_STREQ(stripped, "Sounds\\kick");
  // Each function may be handed its own last result.
  EXPECT_STREQ(AppendExtension(appended, ".wav"), "Sounds\\kick.plb.wav");
  EXPECT_STREQ(StripExtension(StripExtension("a.b.c")), "a");
  EXPECT_EQ(StripExtension("x.plb"), stripped);  // same buffer, overwritten
  EXPECT_STREQ(stripped, "x");
}

TEST(FileNames, LongNamesAreRefusedRatherThanCut) {
  const std::string n255(255, 'n'), n256(256, 'n'), n259(259, 'n'),
      n260(260, 'n');
  // The result may be 259 characters, not one more.
  const char* r = AppendExtension(n255.c_str(), ".plb");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::strlen(r), 259u);
  EXPECT_EQ(std::string(r), n255 + ".plb");
  EXPECT_EQ(AppendExtension(n256.c_str(), ".plb"), nullptr);
  EXPECT_EQ(AppendExtension(n259.c_str(), ".plb"), nullptr);
  // A 259-character name that already ends in the extension fits.
  const std::string done = n255 + ".PLB";
  r = AppendExtension(done.c_str(), ".plb");
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::string(r), done);
  // Inputs longer than 259 characters are refused.
  EXPECT_EQ(AppendExtension(n260.c_str(), ".plb"), nullptr);
  EXPECT_EQ(AppendExtension((n256 + ".plb").c_str(), ".plb"), nullptr);
  EXPECT_EQ(StripExtension(n260.c_str()), nullptr);
  EXPECT_EQ(StripExtension((n256 + ".plb").c_str()), nullptr);
  r = StripExtension(done.c_str());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::string(r), n255);
  r = StripExtension(n259.c_str());
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(std::string(r), n259);
}

}  // namespace
}  // namespace plimbar
