// Helpers the native test programs share: a fresh folder per test, whole
// files read and written byte for byte, a file size limit, and running a
// shell command with its output captured.
#ifndef PLIMBAR_TESTS_TEST_SUPPORT_H_
#define PLIMBAR_TESTS_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <system_error>
#include <vector>

#ifdef __linux__
#include <signal.h>
#include <sys/resource.h>
#endif
#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace plimbar {
namespace test {

namespace fs = std::filesystem;

// The whole file as bytes; empty when it cannot be opened.
inline std::string ReadText(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::vector<uint8_t> ReadBytes(const fs::path& p) {
  const std::string s = ReadText(p);
  return std::vector<uint8_t>(s.begin(), s.end());
}

// Replaces the file with exactly these bytes.
inline void WriteText(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  EXPECT_TRUE(out.good()) << "cannot write " << p.string();
}

// Each test gets a fresh folder of its own in the temporary folder, named
// after the prefix and the test, and removed with everything in it after.
class TempFolderTest : public ::testing::Test {
 protected:
  explicit TempFolderTest(const char* prefix) : prefix_(prefix) {}

  void SetUp() override {
    const ::testing::TestInfo* info =
        ::testing::UnitTest::GetInstance()->current_test_info();
    std::random_device rd;
    for (int attempt = 0; attempt < 100 && dir_.empty(); ++attempt) {
      const fs::path dir = fs::path(::testing::TempDir()) /
                           (prefix_ + info->name() + "_" +
                            std::to_string(rd() % 1000000u));
      std::error_code ec;
      if (fs::create_directory(dir, ec)) dir_ = dir;
    }
    ASSERT_FALSE(dir_.empty()) << "no temporary folder";
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }

  std::string File(const char* name) const { return (dir_ / name).string(); }

  fs::path dir_;

 private:
  std::string prefix_;
};

#ifdef __linux__
// While alive, files cannot grow past `bytes` and SIGXFSZ is ignored, so a
// write beyond the limit fails with EFBIG; both are restored afterwards.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    if (getrlimit(RLIMIT_FSIZE, &old_) != 0) return;
    oldHandler_ = signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old_;
    small.rlim_cur = bytes;
    set_ = setrlimit(RLIMIT_FSIZE, &small) == 0;
    if (!set_) signal(SIGXFSZ, oldHandler_);
  }
  ~FileSizeLimit() {
    if (!set_) return;
    setrlimit(RLIMIT_FSIZE, &old_);
    signal(SIGXFSZ, oldHandler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  bool set() const { return set_; }

 private:
  struct rlimit old_ = {};
  void (*oldHandler_)(int) = SIG_DFL;
  bool set_ = false;
};
#endif

#ifndef _WIN32
// s as one word for the POSIX shell.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') q += "'\\''";
    else q += c;
  }
  return q + "'";
}

struct RunResult {
  int status = -1;  // the exit status, or 128 + the signal that ended it
  std::string out, err;
};

// Runs the shell command in the folder dir, its standard output and error
// caught in two files there that are removed again.
inline RunResult RunIn(const fs::path& dir, const std::string& command) {
  const fs::path out = dir / ".stdout", err = dir / ".stderr";
  const std::string cmd = "(cd " + Quote(dir.string()) + " && " + command +
                          ") >" + Quote(out.string()) + " 2>" +
                          Quote(err.string());
  RunResult r;
  const int raw = std::system(cmd.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  r.out = ReadText(out);
  r.err = ReadText(err);
  std::error_code ec;
  fs::remove(out, ec);
  fs::remove(err, ec);
  return r;
}
#endif

}  // namespace test
}  // namespace plimbar

#endif  // PLIMBAR_TESTS_TEST_SUPPORT_H_
