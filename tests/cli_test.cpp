// plimbar-render as a user or a script runs it: a table of runs, each in a folder of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <set>
#include <vector>

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

struct CliRun {
  std::vector<std::pair<std::string, std::string>> files;  // "x/": a folder
  std::vector<std::string> args;
  int status = 0;
  std::string out, err;                // patterns
  std::vector<std::string> outputs;    // "a.wav:88244" (size), "b.wav=a.wav", "c.wav" (there)
  std::string prefix;                  // shell text run first
};

class Cli : public TempFolderTest {};

// The runs of tests/data/cli_runs.txt (their format is there), each word's "$NAME"s replaced.
std::vector<CliRun> Runs() {
  std::vector<std::pair<std::string, std::string>> names = {{"VERSION", PLIMBAR_PROJECT_VERSION},
                                                            {"RENDER", Quote(PLIMBAR_RENDER)}};
  auto expand = [&names](std::string word) {  // no name begins another, no text holds "$NAME"
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
    if (row[0] == "outputs") r.outputs.insert(r.outputs.end(), w.begin(), w.end());
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
      const std::string name = o.substr(0, at);
      want.insert(name);
      if (at == std::string::npos) continue;  // there, whatever it holds
      const std::string value = o.substr(at + 1);
      if (o[at] == '=') want.insert(value);
      EXPECT_EQ(o[at] == ':' ? std::to_string(ReadText(dir / name).size()) : ReadText(dir / name),
                o[at] == ':' ? value : ReadText(dir / value)) << o;
    }
    for (const auto& e : fs::recursive_directory_iterator(dir))
      if (e.is_regular_file()) left.insert(fs::relative(e.path(), dir).string());
    EXPECT_EQ(left, want);
    for (const auto& f : run.files)  // the files as they were, unless written
      EXPECT_TRUE(f.first.back() == '/' || f.second == "@huge" || ReadText(dir / f.first) == f.second ||
                  std::any_of(run.outputs.begin(), run.outputs.end(), [&](const std::string& o) {
                    return o.compare(0, f.first.size() + 1, f.first + "=") == 0;
                  })) << f.first;
  }
}

}  // namespace
