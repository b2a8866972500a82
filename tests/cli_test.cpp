// plimbar-render, run as a user or a script runs it: exit status, messages,
// the files it writes (read back by hand and by Python's wave module), and
// the example patches.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
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
using test::ReadBytes;
using test::ReadText;
using test::WriteText;

const std::string kRender = PLIMBAR_RENDER;
const std::string kPython = PLIMBAR_PYTHON3;
const std::string kData = std::string(PLIMBAR_TEST_DATA_DIR) + "/cli";
const std::string kExamples = std::string(PLIMBAR_SOURCE_DIR) + "/examples";

int Count(const std::string& text, const std::string& what) {
  int n = 0;
  for (size_t at = text.find(what); at != std::string::npos;
       at = text.find(what, at + 1))
    ++n;
  return n;
}

int16_t Sample16(const std::vector<uint8_t>& wav, int j) {
  return static_cast<int16_t>(wav[44 + 2 * j] | (wav[45 + 2 * j] << 8));
}

using Result = test::RunResult;

// Each test works in a fresh folder of its own; patches from the data
// folder are copied in, so outputs written next to them stay there.
class Cli : public test::TempFolderTest {
 protected:
  Cli() : TempFolderTest("plimbar_cli_") {}

  fs::path Copy(const std::string& dataName, const std::string& as = "") {
    const fs::path to = dir_ / (as.empty() ? dataName : as);
    fs::copy_file(kData + "/" + dataName, to,
                  fs::copy_options::overwrite_existing);
    return to;
  }

  // Runs plimbar-render in the test's folder with these arguments.
  Result Run(const std::vector<std::string>& args) {
    std::string cmd = Quote(kRender);
    for (const std::string& a : args) cmd += " " + Quote(a);
    return test::RunIn(dir_, cmd);
  }
};

// --- command line ---------------------------------------------------------

TEST_F(Cli, HelpAndVersionGoToStdoutAndSucceed) {
  Result r = Run({"--help"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.find("Usage: plimbar-render [--rate 44100|22050|11025]"
                           " [--bits 16|8] [-o OUT.wav] PATCH [PATCH ...]\n"));
  EXPECT_NE(std::string::npos, r.out.find("Exit status"));
  EXPECT_EQ("", r.err);

  r = Run({"--version"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("plimbar-render " PLIMBAR_PROJECT_VERSION "\n", r.out);
  EXPECT_EQ("", r.err);
}

TEST_F(Cli, UsageErrorsExitTwoWithReasonAndRenderNothing) {
  Copy("default.plb", "a.plb");
  Copy("default.plb", "b.plb");
  struct Case {
    std::vector<std::string> args;
    const char* reason;
  };
  const Case cases[] = {
      {{}, "no patch file given"},
      {{"--rate", "44100"}, "no patch file given"},
      {{"--frobnicate", "a.plb"}, "unknown option '--frobnicate'"},
      {{"-x", "a.plb"}, "unknown option '-x'"},
      {{"--rate", "48000", "a.plb"}, "bad rate '48000'"},
      {{"--rate=4410", "a.plb"}, "bad rate '4410'"},
      {{"--rate", "44100Hz", "a.plb"}, "bad rate '44100Hz'"},
      {{"--rate", "-44100", "a.plb"}, "bad rate '-44100'"},
      {{"--bits", "24", "a.plb"}, "bad bits '24'"},
      {{"--bits=", "a.plb"}, "bad bits ''"},
      {{"a.plb", "--rate"}, "option --rate needs a value"},
      {{"a.plb", "--bits"}, "option --bits needs a value"},
      {{"a.plb", "-o"}, "option -o needs a file name"},
      {{"-o", "x.wav", "-o", "y.wav", "a.plb"}, "option -o given more than once"},
      {{"-o", "x.wav", "a.plb", "b.plb"}, "-o takes a single patch, but 2 were given"},
      {{"--ratex", "a.plb"}, "unknown option '--ratex'"},
  };
  for (const Case& c : cases) {
    std::string line;
    for (const std::string& a : c.args) line += a + " ";
    SCOPED_TRACE(line);
    const Result r = Run(c.args);
    EXPECT_EQ(2, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(0u, r.err.find(std::string("plimbar-render: ") + c.reason))
        << r.err;
    EXPECT_NE(std::string::npos, r.err.find("Usage: plimbar-render"));
    EXPECT_FALSE(fs::exists(dir_ / "a.wav"));
    EXPECT_FALSE(fs::exists(dir_ / "x.wav"));
  }
}

TEST_F(Cli, AcceptsEqualsFormsAndDoubleDash) {
  Copy("default.plb", "-dash.plb");
  const Result r = Run({"--rate=22050", "--bits=8", "--", "-dash.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  // 8 bits: the lowest sample, -25441, becomes byte 28, (28 - 128) * 256 =
  // -25600: 20 log10(25600 / 32768) = -2.14 dB.
  EXPECT_EQ("-dash.wav: 22050 Hz 8-bit, 1000 ms, peak -2.1 dBFS, 0 clipped\n",
            r.out);
  EXPECT_EQ(22050u + 44u, fs::file_size(dir_ / "-dash.wav"));
}

// --- output files -----------------------------------------------------------

TEST_F(Cli, DefaultPatchGivesTheExpectedFileNextToIt) {
  fs::create_directory(dir_ / "sounds");
  Copy("default.plb", "sounds/default.plb");
  const Result r = Run({"sounds/default.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ("", r.err);
  // OSC1 at Volume 80 peaks at 0.7764736 of full scale: 20 log10 = -2.2 dB.
  EXPECT_EQ("sounds/default.wav: 44100 Hz 16-bit, 1000 ms, peak -2.2 dBFS, "
            "0 clipped\n",
            r.out);
  const std::vector<uint8_t> wav = ReadBytes(dir_ / "sounds/default.wav");
  ASSERT_EQ(88244u, wav.size());
  const uint8_t header[44] = {
      'R', 'I', 'F', 'F', 0xAC, 0x58, 0x01, 0x00, 'W', 'A', 'V', 'E',
      'f', 'm', 't', ' ', 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
      0x44, 0xAC, 0x00, 0x00, 0x88, 0x58, 0x01, 0x00, 0x02, 0x00, 0x10, 0x00,
      'd', 'a', 't', 'a', 0x88, 0x58, 0x01, 0x00};
  EXPECT_EQ(0, std::memcmp(wav.data(), header, 44));
}

TEST_F(Cli, OutputNameReplacesOnlyTheFilesExtension) {
  fs::create_directory(dir_ / "my.sounds");
  Copy("default.plb", "my.sounds/kick.PLB");
  Copy("default.plb", "my.sounds/snare");
  Copy("default.plb", "my.sounds/.plb");
  Copy("default.plb", "my.sounds/tom.v2.plb");
  const Result r = Run({"--rate", "11025", "my.sounds/kick.PLB",
                        "my.sounds/snare", "my.sounds/.plb",
                        "my.sounds/tom.v2.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_TRUE(fs::exists(dir_ / "my.sounds/kick.wav"));
  EXPECT_TRUE(fs::exists(dir_ / "my.sounds/snare.wav"));
  EXPECT_TRUE(fs::exists(dir_ / "my.sounds/.plb.wav"));
  EXPECT_TRUE(fs::exists(dir_ / "my.sounds/tom.v2.wav"));
  EXPECT_EQ(4, Count(r.out, "11025 Hz 16-bit, 1000 ms"));
}

TEST_F(Cli, TwoPatchesWithOneOutputNameAreRenderedWithAWarning) {
  Copy("default.plb", "kick.plb");
  Copy("lower_case.plb", "kick.txt");
  const Result r = Run({"kick.plb", "kick.txt"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("plimbar-render: kick.txt: warning: kick.wav was written earlier "
            "in this run and is replaced\n",
            r.err);
  EXPECT_EQ(44u + 17640u, fs::file_size(dir_ / "kick.wav"));  // the second
}

TEST_F(Cli, DashOWritesExactlyTheGivenName) {
  Copy("default.plb", "kick.plb");
  fs::create_directory(dir_ / "out");
  Result r = Run({"-o", "out/render.data", "--bits", "8", "kick.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(0u, r.out.find("out/render.data: 44100 Hz 8-bit, 1000 ms"));
  EXPECT_EQ(44144u, fs::file_size(dir_ / "out/render.data"));
  EXPECT_FALSE(fs::exists(dir_ / "kick.wav"));

  r = Run({"--output=out/b.wav", "kick.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  EXPECT_EQ(88244u, fs::file_size(dir_ / "out/b.wav"));

  r = Run({"-o", "no/such/dir/x.wav", "kick.plb"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("", r.out);
  EXPECT_EQ("plimbar-render: kick.plb: cannot write no/such/dir/x.wav: "
            "No such file or directory\n",
            r.err);
}

TEST_F(Cli, NeverWritesTheWavOverItsOwnPatch) {
  const fs::path patch = Copy("default.plb", "kick.wav");
  const std::string before = ReadText(patch);
  Result r = Run({"kick.wav"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("kick.wav: the WAV would replace"));
  r = Run({"-o", "./kick.wav", "kick.wav"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ(before, ReadText(patch));
}

TEST_F(Cli, EverySampleFormatHasTheCountedLength) {
  Copy("default.plb", "p.plb");
  struct Case {
    const char* rate;
    const char* bits;
    uintmax_t size;
  } const cases[] = {{"44100", "16", 88244}, {"44100", "8", 44144},
                     {"22050", "16", 44144}, {"22050", "8", 22094},
                     {"11025", "16", 22094}, {"11025", "8", 11069}};
  for (const Case& c : cases) {
    const Result r = Run({"--rate", c.rate, "--bits", c.bits, "p.plb"});
    EXPECT_EQ(0, r.status);
    EXPECT_EQ(c.size, fs::file_size(dir_ / "p.wav")) << c.rate << "/" << c.bits;
  }
}

// --- sample values worked out by hand ------------------------------------

// square.plb: OSC1 square at Tune 60 (880 Hz), Volume 100, Attack 0,
// Decay 100, DecayCurve 50. Volume entry 0 is the decay curve at t = 0.02:
// 0.941192 * 100 + (0.057624 + 0.001176) * 50 = 97.0592 %, covering samples
// 0..172 of the 44100. So v = 0.970592 * 32767 = 31803.39 -> +/-31803.
// The phase steps 2 pi * 880 / 44100 = 0.12538 rad: samples 0..25 lie in the
// first half period (+1), 26..50 in the second (-1), 51 wraps.
constexpr int kSquarePeak = 31803;

TEST_F(Cli, SquareCarrierFirstSamplesMatchHandWorkedValues) {
  Copy("square.plb");
  Result r = Run({"square.plb"});
  ASSERT_EQ(0, r.status) << r.err;
  // 20 log10(31803 / 32768) = -0.26 dB.
  EXPECT_EQ("square.wav: 44100 Hz 16-bit, 1000 ms, peak -0.3 dBFS, 0 clipped\n",
            r.out);
  std::vector<uint8_t> wav = ReadBytes(dir_ / "square.wav");
  ASSERT_EQ(88244u, wav.size());
  for (int j = 0; j <= 24; ++j) EXPECT_EQ(kSquarePeak, Sample16(wav, j)) << j;
  for (int j = 27; j <= 49; ++j) EXPECT_EQ(-kSquarePeak, Sample16(wav, j)) << j;
  for (int j = 52; j <= 74; ++j) EXPECT_EQ(kSquarePeak, Sample16(wav, j)) << j;

  // 8 bits: (31803 >> 8) + 128 = 252, (-31803 >> 8) + 128 = -125 + 128 = 3.
  r = Run({"--bits", "8", "square.plb"});
  ASSERT_EQ(0, r.status);
  wav = ReadBytes(dir_ / "square.wav");
  ASSERT_EQ(44144u, wav.size());
  for (int j = 0; j <= 24; ++j) EXPECT_EQ(252, wav[44 + j]) << j;
  for (int j = 27; j <= 49; ++j) EXPECT_EQ(3, wav[44 + j]) << j;

  // 22050 Hz: slot j holds mixed sample 2j + 1, so slots 0..11 are high
  // (samples 1..23) and slots 14..24 low (samples 29..49).
  r = Run({"--rate", "22050", "square.plb"});
  ASSERT_EQ(0, r.status);
  wav = ReadBytes(dir_ / "square.wav");
  for (int j = 0; j <= 11; ++j) EXPECT_EQ(kSquarePeak, Sample16(wav, j)) << j;
  for (int j = 14; j <= 24; ++j) EXPECT_EQ(-kSquarePeak, Sample16(wav, j)) << j;
}

TEST_F(Cli, MutedCarriersGiveSilenceInBothDepths) {
  Copy("muted.plb");
  Result r = Run({"muted.plb"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("muted.wav: 44100 Hz 16-bit, 200 ms, peak -inf dBFS, 0 clipped\n",
            r.out);
  std::vector<uint8_t> wav = ReadBytes(dir_ / "muted.wav");
  ASSERT_EQ(44u + 17640u, wav.size());
  for (size_t k = 44; k < wav.size(); ++k) ASSERT_EQ(0, wav[k]) << k;

  r = Run({"--bits", "8", "--rate", "11025", "muted.plb"});
  ASSERT_EQ(0, r.status);
  EXPECT_EQ("muted.wav: 11025 Hz 8-bit, 200 ms, peak -inf dBFS, 0 clipped\n",
            r.out);
  wav = ReadBytes(dir_ / "muted.wav");
  ASSERT_EQ(44u + 2205u, wav.size());
  for (size_t k = 44; k < wav.size(); ++k) ASSERT_EQ(128, wav[k]) << k;
}

TEST_F(Cli, ClippedSamplesAreCountedFromTheCarrierSum) {
  // Three identical squares, Volume 100, DecayCurve 100: the volume row
  // falls no lower than 0.363944 (entry 254) before entry 255, which is 0.
  // Three times that is above full scale, so every sample clips except
  // 879..881, the ones that read entry 255 ((i * 256) / 882 = 255).
  std::string text = "[Setting]\r\nTime=1\r\n";
  for (int osc : {1, 4, 7}) {
    for (const char* key : {"Volume%d=100\r\n", "WaveForm%d=2\r\n",
                            "Decay%d=100\r\n", "DecayCurve%d=100\r\n"}) {
      char line[32];
      std::snprintf(line, sizeof line, key, osc);
      text += line;
    }
  }
  WriteText(dir_ / "loud.plb", text);
  const Result r = Run({"loud.plb"});
  ASSERT_EQ(0, r.status) << r.err;
  EXPECT_EQ("loud.wav: 44100 Hz 16-bit, 20 ms, peak 0.0 dBFS, 879 clipped\n",
            r.out);
}

TEST_F(Cli, PythonWaveReadsWhatWasWritten) {
  if (kPython.empty() || kPython.find("NOTFOUND") != std::string::npos)
    GTEST_SKIP() << "python3 not found";
  Copy("square.plb");
  ASSERT_EQ(0, Run({"square.plb", "-o", "a.wav"}).status);
  ASSERT_EQ(0, Run({"square.plb", "-o", "b.wav", "--rate", "22050",
                    "--bits", "8"}).status);
  WriteText(dir_ / "short.plb", "[Setting]\r\nTime=1\r\n");
  ASSERT_EQ(0, Run({"short.plb", "-o", "c.wav", "--rate", "11025"}).status);
  WriteText(dir_ / "read.py",
            "import sys, wave, struct\n"
            "for name in sys.argv[1:]:\n"
            "    w = wave.open(name, 'rb')\n"
            "    n = w.getnframes()\n"
            "    data = w.readframes(n)\n"
            "    first = list(data[:4]) if w.getsampwidth() == 1 else \\\n"
            "        list(struct.unpack('<2h', data[:4]))\n"
            "    print(w.getnchannels(), w.getsampwidth(), w.getframerate(),\n"
            "          n, len(data), *first)\n");
  const std::string cmd = "cd " + Quote(dir_.string()) + " && " +
                          Quote(kPython) + " read.py a.wav b.wav c.wav >py.txt";
  ASSERT_EQ(0, std::system(cmd.c_str()));
  EXPECT_EQ("1 2 44100 44100 88200 31803 31803\n"
            "1 1 22050 22050 22050 252 252 252 252\n"
            // 441 data bytes: 220 whole frames. Default patch at Time 1:
            // slots 0 and 1 are mixed samples 3 and 7 of an 880 Hz sine at
            // volume entry 0.7764736 (entries 0..2 share it):
            // 0.7764736 * sin(3 * 0.1253788) * 32767 = 9345.86 and
            // 0.7764736 * sin(7 * 0.1253788) * 32767 = 19571.56.
            "1 2 11025 220 440 9345 19571\n",
            ReadText(dir_ / "py.txt"));
}

TEST_F(Cli, EachPatchRendersAsIfAlone) {
  // Noise draws from a generator that starts at its seed for every patch,
  // so a noise patch gives the same bytes first or after another one.
  Copy("noise.plb", "n1.plb");
  Copy("noise.plb", "n2.plb");
  ASSERT_EQ(0, Run({"n1.plb", "n2.plb"}).status);
  const std::vector<uint8_t> a = ReadBytes(dir_ / "n1.wav");
  const std::vector<uint8_t> b = ReadBytes(dir_ / "n2.wav");
  ASSERT_EQ(44u + 8820u, a.size());
  EXPECT_TRUE(a == b);
}

// --- bad input ---------------------------------------------------------------

TEST_F(Cli, UnreadablePatchesExitOneNamingFileAndReason) {
  Copy("empty.plb");
  Copy("not_a_patch.plb");
  fs::create_directory(dir_ / "folder.plb");
  // Random bytes from a fixed generator, with NULs and no line structure.
  std::string noise;
  uint32_t s = 12345;
  for (int k = 0; k < 5000; ++k) {
    s = s * 1103515245u + 12345u;
    noise += static_cast<char>(s >> 23);
  }
  WriteText(dir_ / "random.plb", noise);

  struct Case {
    const char* file;
    const char* message;
  } const cases[] = {
      {"missing.plb", "missing.plb: cannot open: No such file or directory"},
      {"empty.plb", "empty.plb: not a patch file (no [Setting] section)"},
      {"not_a_patch.plb",
       "not_a_patch.plb: not a patch file (no [Setting] section)"},
      {"random.plb", "random.plb: not a patch file (no [Setting] section)"},
      {"folder.plb", "folder.plb: is a directory, not a patch file"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    const Result r = Run({c.file});
    EXPECT_EQ(1, r.status);
    EXPECT_EQ("", r.out);
    EXPECT_EQ(std::string("plimbar-render: ") + c.message + "\n", r.err);
  }
  for (const fs::directory_entry& entry : fs::directory_iterator(dir_))
    EXPECT_NE(".wav", entry.path().extension()) << entry.path();
}

TEST_F(Cli, GarbageAfterASettingSectionStillRenders) {
  std::string text = "[Setting]\r\n";
  uint32_t s = 99;
  for (int k = 0; k < 20000; ++k) {
    s = s * 1103515245u + 12345u;
    text += static_cast<char>(s >> 23);
  }
  text += "\r\nTime=3\r\n";
  WriteText(dir_ / "junk.plb", text);
  const Result r = Run({"junk.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  const uintmax_t size = fs::file_size(dir_ / "junk.wav");
  EXPECT_EQ(0u, (size - 44) % 1764);
  EXPECT_GE(size, 44u + 1764u);
  EXPECT_LE(size, 44u + 176400u);
}

TEST_F(Cli, OutOfRangeValuesAreClampedWithOneWarningEach) {
  Copy("out_of_range.plb");
  const Result r = Run({"out_of_range.plb"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ(0u, r.out.find("out_of_range.wav: 44100 Hz 16-bit, 20 ms,"));
  const char* warnings[] = {
      "Tune1=101 is out of range, using 100",
      "DeTune1=-1 is out of range, using 0",
      "Bend2=1000 is out of range, using 100",
      "BendCurve2=-1000 is out of range, using 0",
      "Volume2=-1 is out of range, using 0",
      "Attack3=2147483647 is out of range, using 100",
      "AttackCurve3=-2147483648 is out of range, using 0",
      "Decay4=150 is out of range, using 100",
      "DecayCurve4=-50 is out of range, using 0",
      "Distortion5=200 is out of range, using 100",
      "WaveForm6=4 is out of range, using 3",
      "WaveForm7=-1 is out of range, using 0",
      "Time=0 is out of range, using 1",
  };
  for (const char* w : warnings) {
    EXPECT_EQ(1, Count(r.err, std::string("plimbar-render: out_of_range.plb: "
                                          "warning: ") + w + "\n"))
        << w;
  }
  EXPECT_EQ(13, Count(r.err, "\n"));  // Mute5=-7 is a mute, not an error
  EXPECT_EQ(44u + 1764u, fs::file_size(dir_ / "out_of_range.wav"));
}

TEST_F(Cli, HugeTimeIsClampedToTwoSeconds) {
  Copy("huge_time.plb");
  const Result r = Run({"huge_time.plb"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("plimbar-render: huge_time.plb: warning: Time=99999999 is out of "
            "range, using 100\n",
            r.err);
  EXPECT_EQ(0u, r.out.find("huge_time.wav: 44100 Hz 16-bit, 2000 ms,"));
  EXPECT_EQ(176444u, fs::file_size(dir_ / "huge_time.wav"));
}

TEST_F(Cli, NonNumericValuesReadAsTheirDigitsOrZero) {
  // Time=fifty has no digits: 0, clamped to 1 (20 ms). Decay1=- reads 0,
  // so OSC1 is silent at once.
  Copy("non_numeric.plb");
  Result r = Run({"non_numeric.plb"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("plimbar-render: non_numeric.plb: warning: Time=0 is out of "
            "range, using 1\n",
            r.err);
  EXPECT_EQ("non_numeric.wav: 44100 Hz 16-bit, 20 ms, peak -inf dBFS, "
            "0 clipped\n",
            r.out);
  // "  7 steps" reads 7; an empty value gives the default 50.
  Copy("numeric_prefix.plb");
  Copy("empty_value.plb");
  r = Run({"numeric_prefix.plb", "empty_value.plb"});
  EXPECT_EQ(0, r.status);
  EXPECT_EQ("", r.err);
  EXPECT_NE(std::string::npos, r.out.find("numeric_prefix.wav: 44100 Hz "
                                          "16-bit, 140 ms"));
  EXPECT_NE(std::string::npos, r.out.find("empty_value.wav: 44100 Hz "
                                          "16-bit, 1000 ms"));
}

TEST_F(Cli, SectionAndKeysMatchInAnyLetterCase) {
  Copy("lower_case.plb");
  Copy("upper_case.plb");
  const Result r = Run({"lower_case.plb", "upper_case.plb"});
  EXPECT_EQ(0, r.status) << r.err;
  // lower: time=10; upper: TIME=15 and volume1=50 (entry 0 is 0.485296,
  // -6.28 dB).
  EXPECT_EQ("lower_case.wav: 44100 Hz 16-bit, 200 ms, peak -2.2 dBFS, "
            "0 clipped\n"
            "upper_case.wav: 44100 Hz 16-bit, 300 ms, peak -6.3 dBFS, "
            "0 clipped\n",
            r.out);
}

TEST_F(Cli, OneBadPatchAmongGoodOnesFailsOnlyItself) {
  Copy("default.plb", "a.plb");
  Copy("empty.plb", "b.plb");
  Copy("lower_case.plb", "c.plb");
  const Result r = Run({"a.plb", "missing.plb", "b.plb", "c.plb"});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("a.wav: 44100 Hz 16-bit, 1000 ms, peak -2.2 dBFS, 0 clipped\n"
            "c.wav: 44100 Hz 16-bit, 200 ms, peak -2.2 dBFS, 0 clipped\n",
            r.out);
  EXPECT_EQ(2, Count(r.err, "\n"));
  EXPECT_TRUE(fs::exists(dir_ / "a.wav"));
  EXPECT_FALSE(fs::exists(dir_ / "b.wav"));
  EXPECT_TRUE(fs::exists(dir_ / "c.wav"));
}

// --- long paths --------------------------------------------------------------

// A relative path of exactly `length` characters inside the test folder,
// made of nested folders of at most 100 characters, ending in `tail`.
std::string PathOfLength(const fs::path& root, size_t length,
                         const std::string& tail) {
  std::string rel;
  while (rel.size() + tail.size() < length) {
    const size_t room = length - tail.size() - rel.size();
    // Each folder adds its name and a '/'; keep at least 2 for the last.
    size_t name = std::min<size_t>(100, room - 1);
    if (room - (name + 1) == 1) --name;  // never leave one character over
    rel += std::string(name, 'd') + "/";
    fs::create_directories(root / rel);
  }
  return rel + tail;
}

TEST_F(Cli, PathsUpTo259CharactersWorkAndLongerOnesFailWithAMessage) {
  const std::string text = "[Setting]\r\nTime=1\r\n";

  // 259 characters, output 259 characters too: rendered.
  const std::string p259 = PathOfLength(dir_, 259, "k.plb");
  ASSERT_EQ(259u, p259.size());
  WriteText(dir_ / p259, text);
  Result r = Run({p259});
  EXPECT_EQ(0, r.status) << r.err;
  const std::string w259 = p259.substr(0, 255) + ".wav";
  EXPECT_EQ(1764u + 44u, fs::file_size(dir_ / w259));

  // 260 characters: refused before anything is read.
  const std::string p260 = PathOfLength(dir_, 260, "k.plb");
  ASSERT_EQ(260u, p260.size());
  WriteText(dir_ / p260, text);
  r = Run({p260});
  EXPECT_EQ(1, r.status);
  EXPECT_EQ("plimbar-render: " + p260 +
                ": path too long (260 characters; at most 259)\n",
            r.err);

  // 259 characters without an extension: the output would have 263.
  const std::string bare = PathOfLength(dir_, 259, "bare");
  WriteText(dir_ / bare, text);
  r = Run({bare});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos,
            r.err.find(".wav too long (263 characters; at most 259)"));
  EXPECT_FALSE(fs::exists(dir_ / (bare + ".wav")));

  // Far beyond, in the patch and in -o.
  const std::string huge(5000, 'x');
  r = Run({huge});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("path too long (5000 characters"));
  WriteText(dir_ / "p.plb", text);
  r = Run({"-o", huge + ".wav", "p.plb"});
  EXPECT_EQ(1, r.status);
  EXPECT_NE(std::string::npos, r.err.find("(5004 characters; at most 259)"));
}

// --- examples ----------------------------------------------------------------

TEST_F(Cli, ExamplesAreCompletePatchFilesThatRenderCleanly) {
  const char* required[] = {"kick", "snare", "hihat-closed", "hihat-open",
                            "tom", "clap", "cowbell", "fm-perc"};
  for (const char* name : required)
    EXPECT_TRUE(fs::exists(kExamples + "/" + name + ".plb")) << name;

  int count = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(kExamples)) {
    if (entry.path().extension() != ".plb") continue;
    ++count;
    const std::string path = entry.path().string();
    SCOPED_TRACE(path);

    // As the program saves it: loading and saving again gives the same
    // bytes, and nothing is clamped.
    Patch p;
    PatchReadReport report;
    ReadPatchFile(kPortableIni, path.c_str(), p, &report);
    EXPECT_EQ(0, report.clampedCount);
    const fs::path again = dir_ / entry.path().filename();
    ASSERT_TRUE(SavePatchFile(kPortableIni, again.string().c_str(), p));
    EXPECT_EQ(ReadText(path), ReadText(again));

    // The program's noise generator runs on from render to render, so a
    // noise patch must stay unclipped for other noise than the first too.
    std::unique_ptr<Engine> e = NewEngine();
    e->patch = p;
    for (int render = 0; render < 20; ++render) {
      MarkAllPending(*e);
      for (int osc = kOscillators - 1; osc >= 0; --osc)
        BuildCurveTables(*e, osc);
      RenderPatch(*e);
      int clipped = 0;
      for (int i = 0; i < e->patch.soundLength; ++i) {
        const double v = (e->oscBuffers[0][i] + e->oscBuffers[3][i] +
                          e->oscBuffers[6][i]) * 32767.0;
        if (v > 32767.0 || v < -32768.0) ++clipped;
      }
      EXPECT_EQ(0, clipped) << "render " << render;
    }

    // Renders in every format with no warning and nothing clipped.
    for (const char* bits : {"16", "8"}) {
      const Result r = Run({"--bits", bits, "-o", "x.wav", path});
      EXPECT_EQ(0, r.status);
      EXPECT_EQ("", r.err);
      EXPECT_NE(std::string::npos, r.out.find(", 0 clipped\n")) << r.out;
      EXPECT_EQ(std::string::npos, r.out.find("-inf")) << r.out;
    }
  }
  EXPECT_GE(count, 8);
}

}  // namespace
}  // namespace plimbar
