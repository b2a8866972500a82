// The portable INI layer against file texts written out by hand (the fuzz
// target takes any bytes), and the replacement of files only by complete
// ones, for the INI and the WAV writer.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "audio/wav_file.h"
#include "storage/ini.h"
#include "storage/patch_file.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

namespace fs = std::filesystem;
using namespace std::string_literals;
using test::ReadText;

const char kNoFile[] = "<no file>";

class Ini : public test::TempFolderTest {
 protected:
  std::string path() const { return File("test.ini"); }
  void Put(const std::string& text) {
    fs::remove(path());
    if (text != kNoFile) test::WriteText(path(), text);
  }
  std::string Listing() const {  // the names in the folder, sorted
    std::set<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.insert(e.path().filename().string());
    std::string list;
    for (const std::string& n : names) list += n + " ";
    return list;
  }
};

TEST_F(Ini, ReadTable) {
  const std::string dup = "[A]\r\nk=1\r\nk=2\r\n[B]\r\nk=10\r\n[a]\r\nk=3\r\nj=4\r\n";
  const struct {
    std::string text;
    const char *section, *key, *text_read;  // "<d>": the default
    int number;                             // readInt with default -1
  } rows[] = {
      {kNoFile, "S", "k", "<d>", -1},          {"[S]\r\nk=5\r\n", "T", "k", "<d>", -1},
      {"[S]\r\nk=5\r\n", "S", "j", "<d>", -1}, {"[SeTTinG]\r\nTUNE1=7\r\n", "setting", "tune1", "7", 7},
      {"[a{]\r\nk=1\r\n", "A[", "k", "<d>", -1},  // only letters fold
      {"[a{]\r\nk=1\r\n", "A{", "K", "1", 1},
      {"  [ S ]  \r\n \t k \t=\t 42 \t\r\n", "S", "k", "42", 42},
      {"[S]\r\nk =  C:\\My Sounds  \r\n", "S", "k", "C:\\My Sounds", 0},
      {"[S]\r\nk=\"C:\\x y\"\r\n", "S", "k", "C:\\x y", 0}, {"[S]\r\nk='1'\r\n", "S", "k", "1", 1},
      {"[S]\r\nk=\"mixed'\r\n", "S", "k", "\"mixed'", 0}, {"[S]\r\nk=\"\r\n", "S", "k", "\"", 0},
      {"[S]\r\nk=\"\"\r\n", "S", "k", "", -1},       {"[S]\r\nk= \" 12 \" \r\n", "S", "k", " 12 ", 12},
      {"[S]\r\nk=\"in\"side\"\r\n", "S", "k", "in\"side", 0}, {"k=1\r\n[S]\r\n", "S", "k", "<d>", -1},
      {"[S]\r\n;k=2\r\n  ; k=2\r\nk\r\n[k=3\r\n", "S", "k", "<d>", -1},
      {"[S]\r\n[broken\r\nk = 3 ; no comment\r\n", "S", "k", "3 ; no comment", 3},
      {"[S]\r\nk==4\r\n", "S", "k", "=4", 0},  {dup, "a", "k", "1", 1},
      {dup, "A", "j", "<d>", -1},               {dup, "B", "k", "10", 10},
      {"[S]\na=1\nk=2\n", "S", "k", "2", 2},    {"[S]\ra=1\rk=2\r", "S", "k", "2", 2},
      {"[S]\r\na=1\nk=2\r", "S", "k", "2", 2},  {"\r\n\n\r[S]\n\ra=1\r\r\nk=2", "S", "k", "2", 2},
      {"[S]\r\nk=  -12abc\r\n", "S", "k", "-12abc", -12}, {"[S]\r\nk=   \r\n", "S", "k", "", -1},
      {"[S]\r\nk=4294967297\r\n", "S", "k", "4294967297", 1},
      {"[S]\r\nk=12\0" "34\r\n"s, "S", "k", "12", 12}, {"[S]\r\nTu\0ne=5\r\n"s, "S", "Tune", "<d>", -1},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.text) + " " + r.section + "/" + r.key);
    Put(r.text);
    char buf[512];
    const int n = kPortableIni.readString(r.section, r.key, "<d>", buf, sizeof buf, path().c_str());
    EXPECT_EQ(buf, std::string(r.text_read));
    EXPECT_EQ(n, static_cast<int>(std::strlen(buf)));
    EXPECT_EQ(kPortableIni.readInt(r.section, r.key, -1, path().c_str()), r.number);
  }
}

TEST(ParseIniInt, DecimalWithSignAndWrapAround) {
  const struct {
    const char* text;
    int value;
  } rows[] = {{"0", 0},         {"60", 60},     {"  -12abc", -12}, {"\t 42", 42}, {"+7", 7},
              {"-0", 0},        {"abc", 0},     {"", 0},           {"-", 0},      {"--5", 0},
              {"+-5", 0},       {"- 5", 0},     {"12 34", 12},     {"007", 7},    {"1e3", 1},
              {"0x1F", 0},      {"2147483647", INT_MAX}, {"-2147483648", INT_MIN},
              {"2147483648", INT_MIN},  {"4294967295", -1}, {"4294967296", 0}, {"4294967297", 1},
              {"-4294967297", -1}, {"99999999999", 1215752191},  // - 23 * 2^32
              {"12345678901234567890", -350287150}};              // 3944680146 - 2^32
  for (const auto& r : rows) EXPECT_EQ(ParseIniInt(r.text), r.value) << r.text;
  EXPECT_EQ(ParseIniInt(nullptr), 0);
}

TEST_F(Ini, WriteTable) {
  const std::string patch = "; a patch\r\n[Other]\r\nk=1\r\n\r\n[setting]\n  tUNE1 = 60  ; old\nb=5\r\n";
  const struct {
    std::string before;
    const char *section, *key, *value;
    const char* after;  // null: refused, the file as it was
  } rows[] = {
      {kNoFile, "Setting", "Tune1", "60", "[Setting]\r\nTune1=60\r\n"},
      {"[S]\r\nk=1\r\n[V]\r\n", "s", "dir", "", "[S]\r\nk=1\r\ndir=\r\n[V]\r\n"},
      {"[A]\r\nx=1\r\n\r\n\r\n[B]\r\n", "a", "z", "3", "[A]\r\nx=1\r\nz=3\r\n\r\n\r\n[B]\r\n"},
      {"[A]\r\nx=1\r\n; c\r\n  \t\r\n[B]\r\n", "A", "z", "3", "[A]\r\nx=1\r\n; c\r\nz=3\r\n  \t\r\n[B]\r\n"},
      {"[A]", "A", "z", "3", "[A]\r\nz=3\r\n"},     {"[A]\r\nx=1", "A", "z", "3", "[A]\r\nx=1\r\nz=3\r\n"},
      {"[A]\nx=1\n\n", "A", "z", "3", "[A]\nx=1\nz=3\r\n\n"},
      {"[A]\rx=1\r", "A", "z", "3", "[A]\rx=1\rz=3\r\n"},
      {"[A]\r\nx=1\r\n[a]\r\n", "a", "z", "3", "[A]\r\nx=1\r\nz=3\r\n[a]\r\n"},
      {"", "New", "k", "v", "[New]\r\nk=v\r\n"},
      {"[A]\r\nx=1", "New", "k", "v", "[A]\r\nx=1\r\n[New]\r\nk=v\r\n"},
      {"[A]\nx=1\n", "New", "k", "v", "[A]\nx=1\n[New]\r\nk=v\r\n"},
      {"[A]\r\n\r\n", "New", "k", "v", "[A]\r\n\r\n[New]\r\nk=v\r\n"},
      {"[New", "New", "k", "v", "[New\r\n[New]\r\nk=v\r\n"},
      {patch, "Setting", "Tune1", "7", "; a patch\r\n[Other]\r\nk=1\r\n\r\n[setting]\n  tUNE1 =7\nb=5\r\n"},
      {"[V]\r\nVersion=20", "v", "VERSION", "'21'", "[V]\r\nVersion='21'"},
      {"[A]\r\nk=1\r\nk=2\r\n[a]\r\nk=3\r\n", "a", "K", "9", "[A]\r\nk=9\r\nk=2\r\n[a]\r\nk=3\r\n"},
      {"[A]\r\nk=1\r\n[B]\r\n[A]\r\nj=3\r\n", "A", "j", "4", "[A]\r\nk=1\r\nj=4\r\n[B]\r\n[A]\r\nj=3\r\n"},
      {"[S]\r\nk=1\r\n", "S", "k", "1\r\nx=2", nullptr}, {"[S]\r\nk=1\r\n", "S", "k", "1\n", nullptr},
      {"[S]\r\nk=1\r\n", "S", "a=b", "1", nullptr},      {"[S]\r\nk=1\r\n", "S]", "k", "1", nullptr},
      {"[S]\r\nk=1\r\n", nullptr, "k", "1", nullptr},    {"[S]\r\nk=1\r\n", "S", nullptr, "1", nullptr},
      {"[S]\r\nk=1\r\n", "S", "k", nullptr, nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.before));
    Put(r.before);
    EXPECT_EQ(kPortableIni.writeString(r.section, r.key, r.value, path().c_str()), r.after != nullptr);
    EXPECT_EQ(ReadText(path()), r.after != nullptr ? r.after : r.before);
  }
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", nullptr));
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", ""));
}

TEST_F(Ini, FilesAboveSixteenMegabytesAreNeitherReadNorWritten) {
  const uintmax_t kLimit = 16u * 1024u * 1024u;
  Put("[S]\r\nk=1\r\n");
  fs::resize_file(path(), kLimit + 1);  // NUL bytes after the key
  EXPECT_EQ(kPortableIni.readInt("S", "k", 5, path().c_str()), 5);
  EXPECT_FALSE(PortableIniHasSection("S", path().c_str()));
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "2", path().c_str()));
  EXPECT_EQ(fs::file_size(path()), kLimit + 1);
  fs::resize_file(path(), kLimit);
  EXPECT_EQ(kPortableIni.readInt("S", "k", 5, path().c_str()), 1);
}

// The two writers over storage/file_replace: errno on failure, else 0.
int WriteIni(const std::string& path) {
  errno = 0;
  return kPortableIni.writeString("S", "k", "2", path.c_str()) ? 0 : errno;
}
int WriteWav(const std::string& path) {  // 176444 bytes
  static std::unique_ptr<Engine> e = NewEngine();
  SetTime(e->patch, 100);
  errno = 0;
  return WriteWavFile(*e, path.c_str()) ? 0 : errno;
}

TEST_F(Ini, FailedWritesLeaveWhatWasThereAndNoTemporaryFile) {
  const std::string old = "[S]\r\nk=1\r\n;" + std::string(5987, 'c') + "\r\n";
  const std::string target = File("f"), link = File("link");
  for (auto write : {WriteIni, WriteWav}) {
    // Over a file, through a symbolic link, failing part way (a full disk).
    test::WriteText(target, old);
    ASSERT_EQ(chmod(target.c_str(), 0604), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(test::InChildWithFileSizeLimit(4096, [&] { return write(link); }), EFBIG);
    EXPECT_EQ(ReadText(target), old);
    EXPECT_EQ(Listing(), "f link ");
    // Without the limit it is replaced; the link and the mode stay.
    EXPECT_EQ(write(link), 0);
    EXPECT_EQ(fs::file_size(target), write == WriteIni ? 6000u : 176444u);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0604));
    fs::remove(link);
    fs::remove(target);
    // A new file that fails part way, a missing folder, a folder.
    EXPECT_EQ(test::InChildWithFileSizeLimit(5, [&] { return write(target); }), EFBIG);
    EXPECT_EQ(write(File("none/f")), ENOENT);
    EXPECT_EQ(Listing(), "");
    fs::create_directory(target);
    EXPECT_NE(write(target), 0);
    EXPECT_TRUE(fs::is_directory(target));
    fs::remove(target);
  }
  Patch p;
  SetInitialPatch(p);
  EXPECT_FALSE(SavePatchFile(kPortableIni, File("none/p.plb").c_str(), p));
}

TEST_F(Ini, AFileThatIsNoRegularFileIsWrittenInPlaceAndStays) {
  // A pipe whose reader leaves after 100 bytes: the export fails, and the
  // pipe is neither replaced nor removed.
  const std::string fifo = File("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const pid_t reader = fork();
  if (reader == 0) {
    char buf[100];
    const int fd = open(fifo.c_str(), O_RDONLY);
    _exit(fd >= 0 && read(fd, buf, sizeof buf) > 0 ? 0 : 1);
  }
  signal(SIGPIPE, SIG_IGN);
  EXPECT_EQ(WriteWav(fifo), EPIPE);
  kill(reader, SIGKILL);  // should it still wait for a writer
  waitpid(reader, nullptr, 0);
  EXPECT_TRUE(fs::is_fifo(fifo));
}

}  // namespace
}  // namespace plimbar
