// Whole files read and written byte for byte, a fresh folder per test; on POSIX a full disk.
#ifndef PLIMBAR_TESTS_TEST_SUPPORT_H_
#define PLIMBAR_TESTS_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iomanip>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#include <unistd.h>
#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#endif

namespace plimbar::test {

namespace fs = std::filesystem;

// The whole file as bytes; empty when it cannot be opened.
inline std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteText(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(out.good()) << "cannot write " << p.string();
}

// A small generator of the tests' own (splitmix64): the same numbers on every platform.
struct Random {
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % (hi - lo + 1u)); }
  double Between(double lo, double hi) { return lo + (hi - lo) * ((Next() >> 11) * 0x1p-53); }
  bool Chance(int percent) { return Between(0, 99) < percent; }
};

#ifdef PLIMBAR_SOURCE_DIR
// The rows of a list in tests/data/NAME: "[list]" alone on a line starts it, and every line up to
// the next list is a row of words split at blanks; a word in double quotes may hold blanks (no
// quote), and in any word the escapes \r \n \t \0 \\ \xHH stand for their characters and "{N*c}"
// for N times the character c. A line that starts with "#" is a comment. A missing or empty list
// fails the test.
using DataRowList = std::vector<std::vector<std::string>>;
inline const DataRowList& DataRows(const std::string& name, const std::string& list) {
  static std::map<std::string, std::map<std::string, DataRowList>> files;
  std::map<std::string, DataRowList>& lists = files[name];
  std::ifstream in(lists.empty() ? fs::path(PLIMBAR_SOURCE_DIR) / "tests/data" / name : fs::path());
  DataRowList* rows = nullptr;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> row;
    for (std::string w; words >> std::quoted(w, '"', '\1');) {  // '\1': no escape character of its own
      for (size_t at = w.find('\\'); at != std::string::npos && at + 1 < w.size(); at = w.find('\\', at + 1)) {
        const size_t simple = std::string("rnt0").find(w[at + 1]);
        if (w[at + 1] == 'x') w.replace(at, 4, 1, static_cast<char>(std::stoi(w.substr(at + 2, 2), nullptr, 16)));
        else w.replace(at, 2, 1, simple != std::string::npos ? "\r\n\t"[simple] : w[at + 1]);  // [3]: the NUL
      }
      for (size_t at = w.find('{'), star; at != std::string::npos; at = w.find('{', at + 1))
        if ((star = w.find('*', at)) + 2 < w.size() && w[star + 2] == '}' && std::isdigit(w[at + 1]))
          w.replace(at, star + 3 - at, std::string(std::stoul(w.substr(at + 1, star - at - 1)), w[star + 1]));
      row.push_back(w);
    }
    const char first = row.empty() ? '#' : line[line.find_first_not_of(" \t")];
    if (first == '[' && row.size() == 1) rows = &lists[row[0].substr(1, row[0].size() - 2)];
    else if (first != '#' && rows != nullptr) rows->push_back(row);
  }
  const DataRowList& found = lists[list];  // from now on the file counts as read
  EXPECT_FALSE(found.empty()) << "no list " << list << " in " << name;
  return found;
}

#endif

// Each test gets a fresh folder of its own in the temporary folder, removed afterwards with all in it.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const testing::TestInfo* t = testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::temp_directory_path() / ("plimbar_" + std::string(t->test_suite_name()) + "." + t->name() + "_" +
                                        std::to_string(getpid()));
    std::error_code ec;
    fs::remove_all(dir_, ec);
    ASSERT_TRUE(fs::create_directory(dir_, ec)) << dir_.string();
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

#ifndef _WIN32
// What f() returns (0..254) in a child whose files cannot grow past `bytes` (EFBIG); -1 on a crash.
template <typename F>
int InChildWithFileSizeLimit(rlim_t bytes, F f) {
  const pid_t pid = fork();
  if (pid == 0) {
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit limit;
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = bytes;
    _exit(setrlimit(RLIMIT_FSIZE, &limit) == 0 ? f() : 255);
  }
  int status = 0;
  const bool exited = pid > 0 && waitpid(pid, &status, 0) == pid && WIFEXITED(status);
  return exited ? WEXITSTATUS(status) : -1;
}
#endif

}  // namespace plimbar::test

#endif  // PLIMBAR_TESTS_TEST_SUPPORT_H_
