// plimbar-render as a user or a script runs it (a table of runs, each in a folder of its own);
// an outside reader of its WAVs; the examples.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <set>
#include <vector>

#include "storage/patch_file.h"
#include "tests/patch_table.h"
#include "tests/test_support.h"

namespace {

using namespace plimbar;
using namespace plimbar::test;

std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Whether text matches pattern, where '*' stands for any text.
bool Matches(const char* p, const char* t) {
  if (*p == '*') return Matches(p + 1, t) || (*t != '\0' && Matches(p, t + 1));
  return *p == *t && (*p == '\0' || Matches(p + 1, t + 1));
}

using Files = std::vector<std::pair<std::string, std::string>>;  // "x/": a folder
struct CliRun {
  Files files;
  std::vector<std::string> args;
  int status;
  std::string out, err;                   // patterns
  std::vector<std::string> outputs = {};  // "a.wav:88244" (size), "b.wav=a.wav"
  std::string prefix = "";                // shell text run first
};

class Cli : public TempFolderTest {};

#define E "plimbar-render: "
#define SYNOPSIS \
  "Usage: plimbar-render [--rate 44100|22050|11025] [--bits 16|8] [-o OUT.wav] PATCH [PATCH ...]\n" \
  "       plimbar-render --generate KIND [--count N] [--seed S] -o DIR [--rate HZ] [--bits N]\n" \
  "       plimbar-render --vary N [--strength small|medium|large] [--seed S] -o DIR [--rate HZ] [--bits N] PATCH\n"
#define USAGE SYNOPSIS "Try 'plimbar-render --help' for more information.\n"
#define OK " Hz 16-bit, 1000 ms, peak -2.2 dBFS, 0 clipped\n"  // the default patch

TEST_F(Cli, Runs) {
  const std::string d = "[Setting]\r\n[Version]\r\nVersion=20\r\n", ten = "[setting]\r\ntime=10\r\n";
  const std::string noise = "[Setting]\r\nWaveForm1=3\r\nTune1=30\r\nTime=5\r\n";
  std::string loud = "[Setting]\r\nTime=1\r\n";  // three full squares: above 1.0
  for (const char* n : {"1", "4", "7"})
    loud += std::string("Volume") + n + "=100\r\nDecayCurve" + n + "=100\r\nWaveForm" + n + "=2\r\n";
  auto path = [](size_t n, const std::string& tail) {  // n characters, in folders
    return std::string(100, 'a') + "/" + std::string(100, 'b') + "/" +
           std::string(n - tail.size() - 203, 'c') + "/" + tail;
  };
  const std::string p259 = path(259, "k.plb"), p260 = path(260, "k.plb"), bare = path(259, "bare");
  const std::string huge(5000, 'x');
  const Files ab = {{"a.plb", d}, {"b.plb", d}}, k = {{"k.plb", d}};
  const CliRun runs[] = {
      {{}, {"--version"}, 0, "plimbar-render " PLIMBAR_PROJECT_VERSION "\n", ""},
      {{}, {"-h"}, 0, SYNOPSIS "*Exit status: 0*", ""},
      {ab, {"--rate", "44100"}, 2, "", E "no patch file given\n" USAGE},
      {ab, {"--ratex", "a.plb"}, 2, "", E "unknown option '--ratex'\n" USAGE},
      {ab, {"--rate", "-44100", "a.plb"}, 2, "", E "bad rate '-44100': use 44100, 22050 or 11025\n" USAGE},
      {ab, {"--bits=", "a.plb"}, 2, "", E "bad bits '': use 16 or 8\n" USAGE},
      {ab, {"a.plb", "--bits"}, 2, "", E "option --bits needs a value (16 or 8)\n" USAGE},
      {ab, {"-o", "x.wav", "-o", "y.wav", "a.plb"}, 2, "", E "option -o given more than once\n" USAGE},
      {ab, {"-o", "x.wav", "a.plb", "b.plb"}, 2, "", E "-o takes a single patch, but 2 were given\n" USAGE},
      // New sounds and variations: what goes with what; nothing written, no folder made.
      {k, {"--generate", "bass", "-o", "o"}, 2, "", E "unknown kind 'bass': use kick, *\n" USAGE},
      {k, {"--generate", "kick", "--count", "1001", "-o", "o"}, 2, "", E "bad count '1001' for --count: use 1 to 1000\n" USAGE},
      {k, {"--vary=0", "-o", "o", "k.plb"}, 2, "", E "bad count '0' for --vary: use 1 to 1000\n" USAGE},
      {k, {"--generate", "tom", "--seed", "4294967296", "-o", "o"}, 2, "", E "bad seed '4294967296': use a number from 0 to 4294967295\n" USAGE},
      {k, {"--vary", "2", "--seed=-1", "-o", "o", "k.plb"}, 2, "", E "bad seed '-1': *\n" USAGE},
      {k, {"--vary", "2", "--strength", "huge", "-o", "o", "k.plb"}, 2, "", E "bad strength 'huge': use small, medium or large\n" USAGE},
      {k, {"--generate", "kick"}, 2, "", E "--generate and --vary need -o DIR, the folder of the new files\n" USAGE},
      {k, {"--generate", "kick", "-o", "o", "k.plb"}, 2, "", E "--generate takes no patch file\n" USAGE},
      {k, {"--generate", "kick", "--strength", "small", "-o", "o"}, 2, "", E "--strength goes with --vary\n" USAGE},
      {ab, {"--vary", "2", "-o", "o", "a.plb", "b.plb"}, 2, "", E "--vary takes one patch file\n" USAGE},
      {k, {"--vary", "2", "--count", "2", "-o", "o", "k.plb"}, 2, "", E "--count goes with --generate *\n" USAGE},
      {k, {"--generate", "kick", "--vary", "2", "-o", "o"}, 2, "", E "--generate and --vary go alone, once\n" USAGE},
      {k, {"--seed", "5", "k.plb"}, 2, "", E "--count, --seed and --strength go with --generate or --vary\n" USAGE},
      {k, {"--vary", "2", "-o", "o", "none.plb"}, 1, "", E "none.plb: cannot open: No such file or directory\n"},
      {k, {"--generate", "kick", "-o", "k.plb"}, 1, "", E "k.plb: cannot make the folder: not a folder\n"},
      {k, {"--generate", "kick", "-o", "k.plb/o"}, 1, "", E "k.plb/o: cannot make the folder: Not a directory\n"},
      // Names and formats of the outputs.
      {{{"-a.plb", d}}, {"--rate=22050", "--bits=8", "--", "-a.plb"}, 0,
       "-a.wav: 22050 Hz 8-bit, 1000 ms, peak -2.1 dBFS, 0 clipped\n", "", {"-a.wav:22094"}},
      {{{"s.d/k.PLB", d}, {"s.d/snare", d}, {"s.d/.plb", d}, {"s.d/t.v2.plb", d}},
       {"--rate", "11025", "s.d/k.PLB", "s.d/snare", "s.d/.plb", "s.d/t.v2.plb"}, 0,
       "s.d/k.wav: 11025" OK "s.d/snare.wav: 11025" OK "s.d/.plb.wav: 11025" OK "s.d/t.v2.wav: 11025" OK,
       "", {"s.d/k.wav:22094", "s.d/snare.wav:22094", "s.d/.plb.wav:22094", "s.d/t.v2.wav:22094"}},
      {{{"k.plb", d}, {"k.txt", ten}}, {"k.plb", "k.txt"}, 0,
       "k.wav: 44100" OK "k.wav: 44100 Hz 16-bit, 200 ms, peak -2.2 dBFS, 0 clipped\n",
       E "k.txt: warning: k.wav was written earlier in this run and is replaced\n", {"k.wav:17684"}},
      {{{"o/", ""}, {"k.plb", d}}, {"-o", "o/k.data", "--bits", "8", "k.plb"}, 0,
       "o/k.data: 44100 Hz 8-bit, 1000 ms, peak -2.1 dBFS, 0 clipped\n", "", {"o/k.data:44144"}},
      {k, {"--output=b.wav", "--rate", "22050", "k.plb"}, 0, "b.wav: 22050" OK, "", {"b.wav:44144"}},
      // Outputs that cannot be written, and the patch itself.
      {k, {"-o", "no/x.wav", "k.plb"}, 1, "", E "k.plb: cannot write no/x.wav: No such file or directory\n"},
      {k, {"-o", "k.plb/x.wav", "k.plb"}, 1, "", E "k.plb: cannot write k.plb/x.wav: Not a directory\n"},
      {{{"k.wav", d}}, {"-o", "./k.wav", "k.wav"}, 1, "",
       E "k.wav: the WAV would replace the patch file itself; give another name with -o\n"},
      {{{"p.plb", "[Setting]\r\nTime=100\r\n"}, {"p.wav", "RIFF earlier sound"}}, {"p.plb"}, 1, "",
       E "p.plb: cannot write p.wav: File too large\n", {}, "trap '' XFSZ; ulimit -f 20;"},
      // Sounds: silence, clipping, noise from the seed for every patch.
      {{{"m.plb", "[Setting]\r\nVolume1=100\r\nMute1=1\r\nVolume4=100\r\nMute4=1\r\nVolume7=100\r\n"
                  "WaveForm7=3\r\nMute7=7\r\nTime=10\r\n"}},
       {"--bits", "8", "--rate", "11025", "m.plb"}, 0,
       "m.wav: 11025 Hz 8-bit, 200 ms, peak -inf dBFS, 0 clipped\n", "", {"m.wav:2249"}},
      {{{"l.plb", loud}}, {"l.plb"}, 0, "l.wav: 44100 Hz 16-bit, 20 ms, peak 0.0 dBFS, 879 clipped\n",
       "", {"l.wav:1808"}},
      {{{"n1.plb", noise}, {"n2.plb", noise}}, {"n1.plb", "n2.plb"}, 0,
       "n1.wav: 44100 Hz 16-bit, 100 ms, peak * dBFS, 0 clipped\n"
       "n2.wav: 44100 Hz 16-bit, 100 ms, peak * dBFS, 0 clipped\n", "", {"n1.wav:8864", "n2.wav=n1.wav"}},
      // Files that are no patches and values out of range; the rest rendered.
      {{{"a.plb", d}, {"e.plb", ""}, {"n.plb", "[Settings]\r\nTime=10\r\n"}, {"f.plb/", ""},
        {"b.plb", "\x89PNG\r\n\x1a\n\x01\xff[Set\r\n=\r\n"}, {"c.plb", ten}, {"h.plb", "@huge"},
        {"j.plb", "[SETTING]\r\n\x01\xfe=\x7f[\r\x02;\xff\r\nTIME=3\r\nvolume1=50\r\n"},
        {"t.plb", "[Setting]\r\nTime=99999999999\r\nTune1=101\r\n"}},
       {"a.plb", "none.plb", "e.plb", "n.plb", "b.plb", "f.plb", "h.plb", "c.plb", "j.plb", "t.plb"}, 1,
       "a.wav: 44100" OK "c.wav: 44100 Hz 16-bit, 200 ms, peak -2.2 dBFS, 0 clipped\n"
       "j.wav: 44100 Hz 16-bit, 60 ms, peak -6.3 dBFS, 0 clipped\n"
       "t.wav: 44100 Hz 16-bit, 2000 ms, peak * dBFS, 0 clipped\n",
       E "none.plb: cannot open: No such file or directory\n"
       E "e.plb: not a patch file (no [Setting] section)\n"
       E "n.plb: not a patch file (no [Setting] section)\n"
       E "b.plb: not a patch file (no [Setting] section)\n"
       E "f.plb: is a directory, not a patch file\n"
       E "h.plb: too large for a patch file (over 16 MiB)\n"
       E "t.plb: warning: Tune1=101 is out of range, using 100\n"
       E "t.plb: warning: Time=1215752191 is out of range, using 100\n",
       {"a.wav:88244", "c.wav:17684", "j.wav:5336", "t.wav:176444"}},
      // Paths of up to 259 characters.
      {{{p259, ten}, {p260, ten}, {bare, ten}}, {p260, bare, huge, p259}, 1, "*", E + p260 +
       ": path too long (260 characters; at most 259)\n" E + bare + ": output name " + bare +
       ".wav too long (263 characters; at most 259)\n" E + huge +
       ": path too long (5000 characters; at most 259)\n", {p259.substr(0, 255) + ".wav:17684"}},
      {k, {"-o", huge + ".wav", "k.plb"}, 1, "",
       E "k.plb: output name " + huge + ".wav too long (5004 characters; at most 259)\n"},
  };
  int index = 0;
  for (const CliRun& run : runs) {
    const fs::path dir = dir_ / std::to_string(index++);
    std::string cmd = "exec " + Quote(PLIMBAR_RENDER);
    for (const std::string& a : run.args) cmd += " " + Quote(a);
    SCOPED_TRACE("run " + std::to_string(index - 1) + ": " + cmd.substr(0, 300));
    std::set<std::string> want;  // the files it must leave, and no other
    fs::create_directories(dir);
    for (const auto& f : run.files) {
      fs::create_directories((dir / f.first).parent_path());
      if (f.first.back() == '/') continue;
      want.insert(f.first);
      WriteText(dir / f.first, f.second == "@huge" ? "[Setting]\r\nTime=7\r\n" : f.second);
      if (f.second == "@huge") fs::resize_file(dir / f.first, 16u * 1024 * 1024 + 1);
    }
    const std::string out = (dir_ / "stdout").string(), err = (dir_ / "stderr").string();
    const int raw = std::system(("(cd " + Quote(dir.string()) + " && " + run.prefix + cmd + ") >" +
                                 Quote(out) + " 2>" + Quote(err)).c_str());
    EXPECT_EQ(WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, run.status);
    EXPECT_TRUE(Matches(run.out.c_str(), ReadText(out).c_str())) << ReadText(out);
    EXPECT_TRUE(Matches(run.err.c_str(), ReadText(err).c_str())) << ReadText(err);
    for (const std::string& o : run.outputs) {
      const size_t at = o.find_first_of(":=");
      const std::string name = o.substr(0, at), value = o.substr(at + 1);
      want.insert(name);
      EXPECT_EQ(o[at] == ':' ? std::to_string(ReadText(dir / name).size()) : ReadText(dir / name),
                o[at] == ':' ? value : ReadText(dir / value)) << o;
    }
    std::set<std::string> left;
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) left.insert(fs::relative(e.path(), dir).string());
    EXPECT_EQ(left, want);
    for (const auto& f : run.files) {  // the patches as they were
      if (f.first.back() == '/' || f.second == "@huge") continue;
      EXPECT_EQ(ReadText(dir / f.first), f.second) << f.first;
    }
  }
}

struct Result {
  int status;
  std::string out, err;
};

// plimbar-render run with args in the folder dir.
Result RunIn(const fs::path& dir, const std::vector<std::string>& args) {
  std::string cmd = "cd " + Quote(dir.string()) + " && exec " + Quote(PLIMBAR_RENDER);
  for (const std::string& a : args) cmd += " " + Quote(a);
  const fs::path out = dir / ".stdout", err = dir / ".stderr";
  const int raw = std::system((cmd + " >" + Quote(out.string()) + " 2>" + Quote(err.string())).c_str());
  Result r = {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, ReadText(out), ReadText(err)};
  fs::remove(out);
  fs::remove(err);
  return r;
}

// Every file below dir, by its path from there, with its bytes.
std::map<std::string, std::string> FilesIn(const fs::path& dir) {
  std::map<std::string, std::string> files;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) files[fs::relative(e.path(), dir).string()] = ReadText(e.path());
  return files;
}

// --generate and --vary: the same command gives the same files; sound i is sound 1 of a batch from
// seed S + i - 1 (modulo 2^32); each patch is a whole file in the program's format and each WAV the
// one plimbar-render makes of that patch alone; old files of those names are replaced, not merged;
// a file that cannot be written stops the run and leaves the files before it whole.
TEST_F(Cli, NewSoundsAndVariationsAreTheSameFilesEveryRun) {
  const std::vector<std::string> generate = {"--generate", "snare", "--count", "3", "--seed", "4294967295",
                                             "--rate", "22050", "--bits", "8", "-o", "new/a/b"};
  const fs::path first = dir_ / "first", second = dir_ / "second", third = dir_ / "third";
  for (const fs::path& d : {first, second, third}) fs::create_directories(d / "new/a/b");
  WriteText(second / "new/a/b/snare-001.plb", "[Other]\r\nKept=1\r\n");
  fs::create_directories(third / "new/a/b/snare-002.wav");
  fs::remove(first / "new/a/b");  // a missing folder is made
  const Result a = RunIn(first, generate), b = RunIn(second, generate), c = RunIn(third, generate);
  ASSERT_EQ(a.status, 0) << a.err;
  EXPECT_EQ(b.status, 0);
  EXPECT_EQ(a.err + b.err, "");
  const char* const seeds[] = {"4294967295", "0", "1"};
  std::string lines;
  for (int i = 0; i < 3; ++i)
    lines += "new/a/b/snare-00" + std::to_string(i + 1) + ".wav: 22050 Hz 8-bit, * ms, peak * dBFS, 0 clipped, seed " +
             seeds[i] + "\n";
  EXPECT_TRUE(Matches(lines.c_str(), a.out.c_str())) << a.out;
  const auto files = FilesIn(first);
  EXPECT_EQ(files.size(), 6u);
  EXPECT_EQ(FilesIn(second), files);
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "new/a/b/snare-00" + std::to_string(i);
    Patch p;
    ReadPatchFile(kPortableIni, (first / (name + ".plb")).string().c_str(), p, nullptr);
    EXPECT_EQ(files.at(name + ".plb"), PatchText(ValuesOf(p))) << name;
    ASSERT_EQ(RunIn(first, {"--rate", "22050", "--bits", "8", "-o", "alone.wav", name + ".plb"}).status, 0);
    EXPECT_EQ(ReadText(first / "alone.wav"), files.at(name + ".wav")) << name;
  }
  // Sound 2 alone from its seed.
  ASSERT_EQ(RunIn(first, {"--generate", "snare", "--seed", "0", "--rate", "22050", "--bits", "8", "-o", "one"}).status, 0);
  EXPECT_EQ(ReadText(first / "one/snare-001.plb"), files.at("new/a/b/snare-002.plb"));
  EXPECT_EQ(ReadText(first / "one/snare-001.wav"), files.at("new/a/b/snare-002.wav"));
  // A folder where snare-002.wav goes: the run stops there.
  EXPECT_EQ(c.status, 1);
  EXPECT_EQ(c.err, E "new/a/b: cannot write new/a/b/snare-002.wav: Is a directory\n");
  const std::map<std::string, std::string> before = {{"new/a/b/snare-001.plb", files.at("new/a/b/snare-001.plb")},
                                                     {"new/a/b/snare-001.wav", files.at("new/a/b/snare-001.wav")},
                                                     {"new/a/b/snare-002.plb", files.at("new/a/b/snare-002.plb")}};
  EXPECT_EQ(FilesIn(third), before);

  // Variations of a patch, named after it.
  const std::vector<std::string> vary = {"--vary", "2", "--strength", "small", "--seed", "7", "-o", ".", "my.kick.plb"};
  fs::copy_file(fs::path(PLIMBAR_SOURCE_DIR) / "examples/kick.plb", second / "my.kick.plb");
  fs::copy_file(second / "my.kick.plb", third / "my.kick.plb");
  const Result v = RunIn(second, vary), w = RunIn(third, vary);
  ASSERT_EQ(v.status, 0) << v.err;
  EXPECT_TRUE(Matches("./my.kick-001.wav: 44100 Hz 16-bit, * seed 7\n./my.kick-002.wav: * seed 8\n", v.out.c_str()))
      << v.out;
  for (const char* name : {"my.kick-001.plb", "my.kick-001.wav", "my.kick-002.plb", "my.kick-002.wav"}) {
    EXPECT_EQ(ReadText(second / name), ReadText(third / name)) << name;
    EXPECT_FALSE(ReadText(second / name).empty()) << name;
  }
  ASSERT_EQ(RunIn(second, {"-o", "alone.wav", "my.kick-002.plb"}).status, 0);
  EXPECT_EQ(ReadText(second / "alone.wav"), ReadText(second / "my.kick-002.wav"));
}

TEST_F(Cli, PythonWaveReadsTheFiles) {  // Time 1: 882 samples; 441 bytes at 11025 Hz, 16 bits: 220 frames
  WriteText(dir_ / "d.plb", "[Setting]\r\nTime=1\r\n");
  WriteText(dir_ / "read.py", "import sys, wave\nfor name in sys.argv[1:]:\n    w = wave.open(name)\n"
                              "    print(w.getnchannels(), w.getsampwidth(), w.getframerate(), w.getnframes())\n");
  const std::string runs = "for f in '44100 16' '22050 8' '11025 16'; do set -- $f; " + Quote(PLIMBAR_RENDER) +
                           " --rate $1 --bits $2 -o $1.wav d.plb || exit 1; done && python3 read.py *.wav >py.txt";
  ASSERT_EQ(std::system(("cd " + Quote(dir_.string()) + " && " + runs).c_str()), 0);
  EXPECT_EQ(ReadText(dir_ / "py.txt"), "1 2 11025 220\n1 1 22050 441\n1 2 44100 882\n");
}

TEST(Examples, CompletePatchesThatSoundUnclipped) {
  const fs::path dir = fs::path(PLIMBAR_SOURCE_DIR) / "examples";
  for (const char* name : {"kick", "snare", "hihat-closed", "hihat-open", "tom", "clap", "cowbell", "fm-perc"})
    EXPECT_TRUE(fs::exists(dir / (name + std::string(".plb")))) << name;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.path().extension() != ".plb") continue;
    SCOPED_TRACE(entry.path().filename().string());
    std::unique_ptr<Engine> e = NewEngine();
    ReadPatchFile(kPortableIni, entry.path().string().c_str(), e->patch, nullptr);
    // As the program saves it: every key, in file order, within range.
    EXPECT_EQ(ReadText(entry.path()), PatchText(ValuesOf(e->patch)));
    // The program's noise runs on from render to render: later noise too.
    for (int render = 0; render < 5; ++render) {
      MarkAllPending(*e);
      for (int osc = kOscillators - 1; osc >= 0; --osc) BuildCurveTables(*e, osc);
      RenderPatch(*e);
      int clipped = 0, loudest = 0;
      for (int i = 0; i < e->patch.soundLength; ++i) {
        const double v = (e->oscBuffers[0][i] + e->oscBuffers[3][i] + e->oscBuffers[6][i]) * 32767.0;
        clipped += v > 32767.0 || v < -32768.0;
        loudest = std::max(loudest, std::abs(static_cast<int>(e->pcm16[i])));
      }
      EXPECT_EQ(clipped, 0) << "render " << render;
      EXPECT_GT(loudest, 1000) << "render " << render;
    }
  }
}

}  // namespace
