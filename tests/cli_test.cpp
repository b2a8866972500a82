// plimbar-render as a user or a script runs it: a table of runs, each in a folder of its own, and
// the batches of new sounds and variations.
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

struct Result {
  int status;
  std::string out, err;
};

// plimbar-render run with args in the folder dir, after the shell text prefix.
Result RunIn(const fs::path& dir, const std::vector<std::string>& args, const std::string& prefix = "") {
  std::string cmd = "cd " + Quote(dir.string()) + " && " + prefix + "exec " + Quote(PLIMBAR_RENDER);
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

struct CliRun {
  std::vector<std::pair<std::string, std::string>> files;  // "x/": a folder
  std::vector<std::string> args;
  int status = 0;
  std::string out, err;                // patterns
  std::vector<std::string> outputs;    // "a.wav:88244" (size), "b.wav=a.wav"
  std::string prefix;                  // shell text run first
};

class Cli : public TempFolderTest {};

// The runs of tests/data/cli_runs.txt (their format is there), each word's "$NAME"s replaced.
std::vector<CliRun> Runs() {
  std::vector<std::pair<std::string, std::string>> names = {{"VERSION", PLIMBAR_PROJECT_VERSION}};
  auto expand = [&names](std::string word) {  // no name begins another, no text holds a '$'
    for (const auto& [name, text] : names)
      for (size_t at; (at = word.find("$" + name)) != std::string::npos;) word.replace(at, name.size() + 1, text);
    return word;
  };
  for (const auto& row : DataRows("cli_runs.txt", "texts")) names.emplace_back(row.at(0), expand(row.at(1)));
  std::vector<CliRun> runs;
  for (const auto& row : DataRows("cli_runs.txt", "runs")) {
    std::vector<std::string> w(row.size() - 1);
    std::transform(row.begin() + 1, row.end(), w.begin(), expand);
    if (row[0] == "run" || runs.empty()) runs.emplace_back().args = w;
    CliRun& r = runs.back();
    for (size_t i = 0; row[0] == "files" && i + 1 < w.size(); i += 2) r.files.emplace_back(w[i], w[i + 1]);
    if (row[0] == "status") r.status = std::stoi(w.at(0));
    if (row[0] == "out" || row[0] == "err" || row[0] == "prefix")
      (row[0] == "out" ? r.out : row[0] == "err" ? r.err : r.prefix) += w.at(0);
    if (row[0] == "outputs") r.outputs = w;
  }
  return runs;
}

TEST_F(Cli, Runs) {
  const std::vector<CliRun> runs = Runs();
  for (const CliRun& run : runs) {
    const fs::path dir = dir_ / std::to_string(&run - runs.data());
    std::string args;
    for (const std::string& a : run.args) args += " " + a;
    SCOPED_TRACE("run " + std::to_string(&run - runs.data()) + ":" + args.substr(0, 300));
    std::set<std::string> want, left;  // the files it must leave, and no other
    fs::create_directories(dir);
    for (const auto& f : run.files) {
      fs::create_directories((dir / f.first).parent_path());
      if (f.first.back() == '/') continue;
      want.insert(f.first);
      WriteText(dir / f.first, f.second == "@huge" ? "[Setting]\r\nTime=7\r\n" : f.second);
      if (f.second == "@huge") fs::resize_file(dir / f.first, 16u * 1024 * 1024 + 1);
    }
    const Result r = RunIn(dir, run.args, run.prefix);
    EXPECT_EQ(r.status, run.status);
    EXPECT_TRUE(Matches(run.out.c_str(), r.out.c_str())) << r.out;
    EXPECT_TRUE(Matches(run.err.c_str(), r.err.c_str())) << r.err;
    for (const std::string& o : run.outputs) {
      const size_t at = o.find_first_of(":=");
      const std::string name = o.substr(0, at), value = o.substr(at + 1);
      want.insert(name);
      EXPECT_EQ(o[at] == ':' ? std::to_string(ReadText(dir / name).size()) : ReadText(dir / name),
                o[at] == ':' ? value : ReadText(dir / value)) << o;
    }
    for (const auto& f : FilesIn(dir)) left.insert(f.first);
    EXPECT_EQ(left, want);
    for (const auto& f : run.files)  // the patches as they were
      EXPECT_TRUE(f.first.back() == '/' || f.second == "@huge" || ReadText(dir / f.first) == f.second) << f.first;
  }
}

// --generate and --vary: sound i is sound 1 of a batch from seed S + i - 1 (modulo 2^32), the same
// files from every run; each patch is a whole file in the program's format (an old file of that name
// replaced, not merged) and each WAV the one plimbar-render makes of that patch alone; a missing
// folder is made; a file that cannot be written stops the run and leaves the files before it whole.
TEST_F(Cli, NewSoundsAndVariationsAreTheSameFilesEveryRun) {
  const std::vector<std::string> generate = {"--generate", "snare", "--count", "3", "--seed", "4294967295",
                                             "--rate", "22050", "--bits", "8", "-o", "new"};
  const fs::path a = dir_ / "a", b = dir_ / "b";
  fs::create_directories(a / "new");
  fs::create_directories(b / "new/snare-002.wav");
  WriteText(a / "new/snare-001.plb", "[Other]\r\nKept=1\r\n");
  const Result r = RunIn(a, generate), stopped = RunIn(b, generate);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(Matches("new/snare-001.wav: 22050 Hz 8-bit, * ms, peak * dBFS, 0 clipped, seed 4294967295\n"
                      "new/snare-002.wav: * seed 0\nnew/snare-003.wav: * seed 1\n", r.out.c_str())) << r.out;
  const auto files = FilesIn(a / "new");
  EXPECT_EQ(files.size(), 6u);
  for (int i = 1; i <= 3; ++i) {
    const std::string name = "snare-00" + std::to_string(i);
    Patch p;
    ReadPatchFile(kPortableIni, (a / "new" / (name + ".plb")).string().c_str(), p, nullptr);
    EXPECT_EQ(files.at(name + ".plb"), PatchText(ValuesOf(p))) << name;
    ASSERT_EQ(RunIn(a, {"--rate", "22050", "--bits", "8", "-o", "alone.wav", "new/" + name + ".plb"}).status, 0);
    EXPECT_EQ(ReadText(a / "alone.wav"), files.at(name + ".wav")) << name;
  }
  ASSERT_EQ(RunIn(a, generate).status, 0);
  EXPECT_EQ(FilesIn(a / "new"), files);
  // Sound 2 alone from its seed, into two folders that are made.
  ASSERT_EQ(RunIn(a, {"--generate", "snare", "--seed", "0", "--rate", "22050", "--bits", "8", "-o", "one/two"}).status,
            0);
  EXPECT_EQ(ReadText(a / "one/two/snare-001.plb"), files.at("snare-002.plb"));
  EXPECT_EQ(ReadText(a / "one/two/snare-001.wav"), files.at("snare-002.wav"));
  // A folder where snare-002.wav goes: the run stops there.
  EXPECT_EQ(stopped.status, 1);
  EXPECT_EQ(stopped.err, "plimbar-render: new: cannot write new/snare-002.wav: Is a directory\n");
  EXPECT_EQ(FilesIn(b), (std::map<std::string, std::string>{{"new/snare-001.plb", files.at("snare-001.plb")},
                                                            {"new/snare-001.wav", files.at("snare-001.wav")},
                                                            {"new/snare-002.plb", files.at("snare-002.plb")}}));

  // Variations of a patch, named after it.
  const std::vector<std::string> vary = {"--vary", "2", "--strength", "small", "--seed", "7", "-o", ".", "my.kick.plb"};
  fs::copy_file(fs::path(PLIMBAR_SOURCE_DIR) / "examples/kick.plb", b / "my.kick.plb");
  const Result v = RunIn(b, vary);
  ASSERT_EQ(v.status, 0) << v.err;
  EXPECT_TRUE(Matches("./my.kick-001.wav: 44100 Hz 16-bit, * seed 7\n./my.kick-002.wav: * seed 8\n", v.out.c_str()))
      << v.out;
  ASSERT_EQ(RunIn(b, {"-o", "alone.wav", "my.kick-002.plb"}).status, 0);
  EXPECT_EQ(ReadText(b / "alone.wav"), ReadText(b / "my.kick-002.wav"));
  const auto varied = FilesIn(b);
  EXPECT_EQ(varied.count("my.kick-001.plb") + varied.count("my.kick-001.wav"), 2u);
  ASSERT_EQ(RunIn(b, vary).status, 0);
  EXPECT_EQ(FilesIn(b), varied);
}

}  // namespace
