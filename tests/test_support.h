// Whole files read and written byte for byte; on POSIX a fresh folder per test and a full disk.
#ifndef PLIMBAR_TESTS_TEST_SUPPORT_H_
#define PLIMBAR_TESTS_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <system_error>

#ifndef _WIN32
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
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

#ifndef _WIN32
// Each test gets a fresh temporary folder, removed afterwards with all in it.
class TempFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string name = (fs::temp_directory_path() / "plimbar_XXXXXX").string();
    ASSERT_NE(mkdtemp(name.data()), nullptr);
    dir_ = name;
  }
  void TearDown() override {
    std::error_code ec;
    if (!dir_.empty()) fs::remove_all(dir_, ec);
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  fs::path dir_;
};

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
