// Bad input that the other test programs do not cover: truncated, huge,
// beyond-32-bit and duplicated patch files through the reader and through
// plimbar-render, and outputs into folders that vanished, cannot be written
// or fail part way, which must leave the files already there as they were.
// docs/bad-inputs.md lists every row and the test that covers it.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "storage/ini.h"
#include "storage/patch_file.h"
#include "tests/test_support.h"

namespace fs = std::filesystem;

namespace plimbar {
namespace {

using test::Quote;
using test::ReadText;
using test::WriteText;

const char* const kParams[12] = {"Tune",   "DeTune", "Bend",        "BendCurve",
                                 "Volume", "Attack", "AttackCurve", "Decay",
                                 "DecayCurve", "Distortion", "Mute", "WaveForm"};

// The value of every key of a patch, by key name ("Tune1", "Time").
using Keys = std::map<std::string, int>;

// The keys of a file without any: the table of defaults, written out.
Keys DefaultKeys() {
  Keys k;
  for (int n = 1; n <= 9; ++n) {
    const int defaults[12] = {60, 50, 50, 50, n == 1 ? 80 : 0, 0, 0, 100, 50, 50, 0, 0};
    for (int i = 0; i < 12; ++i) k[kParams[i] + std::to_string(n)] = defaults[i];
  }
  k["Time"] = 50;
  return k;
}

Keys KeysOf(const Patch& p) {
  Keys k;
  for (int o = 0; o < 9; ++o) {
    const std::string n = std::to_string(o + 1);
    const int v[12] = {p.Tune[o],   p.DeTune[o], p.Bend[o],        p.BendCurve[o],
                       p.Volume[o], p.Attack[o], p.AttackCurve[o], p.Decay[o],
                       p.DecayCurve[o], p.Distortion[o], p.Mute[o], p.WaveForm[o]};
    for (int i = 0; i < 12; ++i) k[kParams[i] + n] = v[i];
  }
  k["Time"] = p.Time;
  return k;
}

class BadInput : public test::TempFolderTest {
 protected:
  BadInput() : TempFolderTest("plimbar_bad_") {}

  using Result = test::RunResult;

#ifdef PLIMBAR_RENDER
  // Runs plimbar-render in the test's folder; prefix is shell text run
  // first (limits, traps).
  Result Render(const std::vector<std::string>& args, const std::string& prefix = "") {
    std::string cmd = prefix + " exec " + Quote(PLIMBAR_RENDER);
    for (const std::string& a : args) cmd += " " + Quote(a);
    return test::RunIn(dir_, cmd);
  }
#endif
};

// --- truncated files -----------------------------------------------------------

TEST_F(BadInput, TruncatedPatchFileKeepsWhatCameBeforeTheCut) {
  // A complete patch with values no default has, then the same text cut at
  // every byte of OSC5's keys and at a few other places.
  Keys full;
  std::string text = "[Setting]\r\n";
  int value = 1;
  for (int n = 1; n <= 9; ++n)
    for (const char* p : kParams) {
      const std::string key = p + std::to_string(n);
      // Mute is read as 0 or 1 and WaveForm 0..3: keep them in range.
      const int v = std::string(p) == "Mute" ? 1 : std::string(p) == "WaveForm" ? 2 : 11 + value++ % 89;
      full[key] = v;
      text += key + "=" + std::to_string(v) + "\r\n";
    }
  full["Time"] = 37;
  text += "Time=37\r\n[Version]\r\nVersion=20\r\n";
  const size_t osc5 = text.find("Tune5=");
  std::vector<size_t> cuts = {0, 5, 11, 12, text.size() - 1, text.find("Time=") + 6};
  for (size_t c = osc5; c < text.find("Tune6="); ++c) cuts.push_back(c);

  const fs::path path = dir_ / "cut.plb";
  for (size_t cut : cuts) {
    SCOPED_TRACE("cut at byte " + std::to_string(cut));
    const std::string part = text.substr(0, cut);
    WriteText(path, part);
    // What the cut file holds, worked out line by line: whole lines keep
    // their value; the cut line keeps the digits it has (none: the key is
    // missing or empty, so the default).
    Keys want = DefaultKeys();
    if (part.compare(0, 9, "[Setting]") == 0) {
      std::istringstream in(part.substr(part.find('\n') + 1));
      std::string line;
      while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line[0] == '[') break;
        const size_t eq = line.find('=');
        if (eq == std::string::npos || eq + 1 == line.size()) continue;
        const std::string key = line.substr(0, eq);
        if (full.count(key) == 0) continue;
        int v = std::stoi(line.substr(eq + 1));
        if (key.compare(0, 4, "Mute") == 0) v = v != 0;
        if (key == "Time" && v < 1) v = 1;
        want[key] = v;
      }
    }
    Patch p = {};
    ReadPatchFile(kPortableIni, path.string().c_str(), p, nullptr);
    EXPECT_EQ(KeysOf(p), want);
    EXPECT_EQ(p.soundLength, p.Time * 882);
  }
}

// --- huge files, values beyond 32 bits, duplicates ---------------------------------

TEST_F(BadInput, HugePatchFileGivesTheDefaults) {
  // 17 MiB: a patch section, then comment lines. Above the reader's limit of
  // 16 MiB the whole file is refused rather than read in part.
  std::string text = "[Setting]\r\nTime=7\r\nVolume1=33\r\n";
  const std::string filler = ";" + std::string(1021, 'x') + "\r\n";
  while (text.size() < 17u * 1024u * 1024u) text += filler;
  WriteText(dir_ / "huge.plb", text);
  Patch p = {};
  ReadPatchFile(kPortableIni, (dir_ / "huge.plb").string().c_str(), p, nullptr);
  EXPECT_EQ(KeysOf(p), DefaultKeys());
#ifdef PLIMBAR_RENDER
  const Result r = Render({"huge.plb"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("plimbar-render: huge.plb: too large for a patch file (over 16 MiB)\n", r.err);
  EXPECT_FALSE(fs::exists(dir_ / "huge.wav"));
#endif
}

TEST_F(BadInput, ValuesBeyond32BitsWrapThenAreClamped) {
  // 99999999999 = 23 * 2^32 + 1215752191; 4294967297 = 2^32 + 1;
  // -4294967246 = -2^32 + 50.
  WriteText(dir_ / "big.plb",
            "[Setting]\r\nTime=99999999999\r\nTune1=4294967297\r\n"
            "Volume1=-4294967246\r\nDecay1=18446744073709551616\r\n");
  Patch p = {};
  PatchReadReport report = {};
  ReadPatchFile(kPortableIni, (dir_ / "big.plb").string().c_str(), p, &report);
  EXPECT_EQ(p.Time, 100);
  EXPECT_EQ(p.Tune[0], 1);
  EXPECT_EQ(p.Volume[0], 50);
  EXPECT_EQ(p.Decay[0], 0);  // 2^64 wraps to 0
  EXPECT_EQ(report.clampedCount, 1);
#ifdef PLIMBAR_RENDER
  const Result r = Render({"big.plb"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("plimbar-render: big.plb: warning: Time=1215752191 is out of range, using 100\n",
            r.err);
  EXPECT_EQ(0u, r.out.find("big.wav: 44100 Hz 16-bit, 2000 ms,"));
  EXPECT_EQ(44u + 176400u, fs::file_size(dir_ / "big.wav"));
#endif
}

TEST_F(BadInput, DuplicatedSectionsAndKeysTakeTheFirst) {
  WriteText(dir_ / "dup.plb",
            "[Setting]\r\nTime=3\r\nVolume1=40\r\nTime=9\r\n[Version]\r\nVersion=20\r\n"
            "[setting]\r\nTime=20\r\nTune1=10\r\n");
  Patch p = {};
  ReadPatchFile(kPortableIni, (dir_ / "dup.plb").string().c_str(), p, nullptr);
  EXPECT_EQ(p.Time, 3);
  EXPECT_EQ(p.Volume[0], 40);
  EXPECT_EQ(p.Tune[0], 60);  // only in the second section
#ifdef PLIMBAR_RENDER
  const Result r = Render({"dup.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  EXPECT_EQ(0u, r.out.find("dup.wav: 44100 Hz 16-bit, 60 ms,"));
#endif
}

// --- outputs that cannot be written --------------------------------------------------

TEST_F(BadInput, SaveThatFailsPartWayLeavesTheOldPatchFile) {
  // An existing patch file with a comment that makes it longer than the file
  // size limit set for the save; the save fails (EFBIG) and the file stays.
  std::string old = "; kept\r\n[Setting]\r\nTime=9\r\n;" + std::string(8000, 'k') + "\r\n";
  const fs::path path = dir_ / "old.plb";
  WriteText(path, old);
  Patch p = {};
  ReadPatchFile(kPortableIni, "", p, nullptr);
  bool ok;
  {
    test::FileSizeLimit limit(4096);
    ASSERT_TRUE(limit.set());
    ok = SavePatchFile(kPortableIni, path.string().c_str(), p);
  }
  EXPECT_FALSE(ok);
  EXPECT_EQ(ReadText(path), old);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);
}

#ifdef PLIMBAR_RENDER
TEST_F(BadInput, CliOutputThatCannotBeWrittenFailsWithAReasonAndKeepsOldFiles) {
  WriteText(dir_ / "p.plb", "[Setting]\r\nTime=100\r\n");
  // A folder that is not there (or no longer).
  fs::create_directory(dir_ / "gone");
  fs::remove(dir_ / "gone");
  Result r = Render({"-o", "gone/p.wav", "p.plb"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("plimbar-render: p.plb: cannot write gone/p.wav: No such file or directory\n",
            r.err);
  EXPECT_FALSE(fs::exists(dir_ / "gone"));

  // A folder no one may create files in, not even the superuser.
  r = Render({"-o", "/proc/plimbar-test.wav", "p.plb"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(0u, r.err.find("plimbar-render: p.plb: cannot write /proc/plimbar-test.wav: "))
      << r.err;
  EXPECT_EQ('\n', r.err.back());

  // A WAV from an earlier run, replaced by a longer one that fails part way
  // (a file size limit of 20 blocks of 512 bytes): the old one stays.
  const std::string old = "RIFF earlier sound";
  WriteText(dir_ / "p.wav", old);
  r = Render({"p.plb"}, "trap '' XFSZ; ulimit -f 20;");
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("plimbar-render: p.plb: cannot write p.wav: File too large\n", r.err);
  EXPECT_EQ(ReadText(dir_ / "p.wav"), old);
  for (const fs::directory_entry& e : fs::directory_iterator(dir_)) {
    const std::string name = e.path().filename().string();
    EXPECT_TRUE(name == "p.plb" || name == "p.wav") << name << " left behind";
  }
  // Without the limit it is replaced.
  r = Render({"p.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(44u + 176400u, fs::file_size(dir_ / "p.wav"));
}
#endif

}  // namespace
}  // namespace plimbar
