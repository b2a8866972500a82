// The file formats against hand-written texts and bytes (some in tests/data) and tests/patch_table.h:
// the INI layer, patch and settings files, file names, WAV files, files replaced only by complete ones.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "audio/wav_file.h"
#include "storage/file_replace.h"
#include "storage/settings.h"
#include "tests/patch_table.h"
#include "tests/test_support.h"

namespace {

using namespace plimbar;
using namespace plimbar::test;
const char kNoFile[] = "<none>";

class Formats : public TempFolderTest {
 protected:
  std::string Put(const std::string& name, const std::string& text) {  // kNoFile: no such file
    fs::remove(File(name));
    if (text != kNoFile) WriteText(File(name), text);
    return File(name);
  }
};
class Ini : public Formats {};

// A C string in a heap block of exactly its size: ASan catches a read past its end.
std::unique_ptr<char[]> Exact(const std::string& s) {
  return std::unique_ptr<char[]>(std::strcpy(new char[s.size() + 1], s.c_str()));
}
std::string Text(const char* s) { return s != nullptr ? s : "<null>"; }

TEST_F(Formats, PatchAndSettingsWritten) {
  // The first exit: patch (a mute of -9 written as 1), folder, then format.
  Patch p;  // a different value in nearly every key
  for (int n = 0; n < kOscCount; ++n)
    for (int k = 0; k < kKeysPerOsc; ++k)
      (p.*kFields[k])[n] = k == kMute ? n % 2 : k == kWaveForm ? n % 4 : 10 + (n * 12 + k) % 89;
  p.Time = 37;
  PatchValues v = ValuesOf(p);
  p.Mute[4] = -9;
  v.value[4][kMute] = 1;
  const std::string lines = SettingLines(v), path = File("s.ini");
  ASSERT_TRUE(WriteSettings(kPortableIni, path.c_str(), p, Settings{"C:\\Drums", {11025, 8}}));
  EXPECT_EQ(ReadText(path), "[Setting]\r\n" + lines + "dir=C:\\Drums\r\n[Version]\r\nVersion=20\r\n"
                                "[format]\r\nfreq=11025\r\nbits=8\r\n");
  // A patch saved where no file was: its keys and version alone.
  ASSERT_TRUE(SavePatchFile(kPortableIni, File("new.plb").c_str(), p));
  EXPECT_EQ(ReadText(File("new.plb")), PatchText(v));
  // A patch saved over a file: values replaced where they stand, other keys kept.
  WriteText(path, "; by hand\r\n[Extra]\r\nfoo=bar\r\n[Setting]\r\nTune1=1\r\nMyKey=5\r\n\r\n"
                  "[version]\r\nVersion=3\r\nNote=x\r\n");
  ASSERT_TRUE(SavePatchFile(kPortableIni, path.c_str(), p));
  const size_t tune1 = lines.find("\r\n") + 2;
  EXPECT_EQ(ReadText(path), "; by hand\r\n[Extra]\r\nfoo=bar\r\n[Setting]\r\n" + lines.substr(0, tune1) +
                                "MyKey=5\r\n" + lines.substr(tune1) + "\r\n[version]\r\nVersion=20\r\nNote=x\r\n");
}

TEST(Settings, PathForTheProgram) {
  for (const auto& r : DataRows("file_names.txt", "settings-paths")) {
    char out[kPathCapacity];
    std::memset(out, 'x', sizeof out);
    const bool ok = SettingsPathFor(Exact(r.at(0)).get(), out);
    EXPECT_EQ(ok ? out : out[0] == '\0' ? "<null>" : "<not emptied>", r.at(1)) << r[0];
  }
  char out[kPathCapacity];
  EXPECT_FALSE(SettingsPathFor(nullptr, out));
}

TEST(FileNames, StripAndAppendExtension) {
  for (const auto& r : DataRows("file_names.txt", "extensions")) {
    SCOPED_TRACE(r.at(0) + " " + r.at(1));
    const auto name = Exact(r[0]), ext = Exact(r[1]);
    EXPECT_EQ(Text(StripExtension(name.get())), r.at(2));
    EXPECT_EQ(Text(AppendExtension(name.get(), ext.get())), r.at(3));
  }
  EXPECT_EQ(StripExtension(nullptr), nullptr);
  EXPECT_EQ(AppendExtension(nullptr, ".plb"), nullptr);
  EXPECT_EQ(AppendExtension("kick", nullptr), nullptr);
}

std::string Le(uint32_t v, int size) {  // v as `size` little-endian bytes
  std::string s;
  for (int i = 0; i < size; ++i) s += static_cast<char>(v >> (8 * i) & 0xFF);
  return s;
}

TEST_F(Formats, WavFileOfEveryFormat) {
  std::unique_ptr<Engine> e = NewEngine();
  for (int j = 0; j < kMaxSamples; ++j) {  // distinct bytes, negative samples
    e->pcm16[j] = static_cast<int16_t>(j * 257 - 30000);
    e->pcm8[j] = static_cast<uint8_t>(j * 7 + 3);
  }
  const std::string path = File("w.wav");
  const int rows[][4] = {{44100, 16, 88200, 2}, {44100, 8, 44100, 1}, {22050, 16, 44100, 2},
                         {22050, 8, 22050, 1},  {11025, 16, 22050, 2}, {11025, 8, 11025, 1}};
  for (const auto& r : rows) {  // rate, bits, byte rate, block size
    for (int time : {3, 100}) {  // 11025 Hz 16 bits, Time 3: 1323 bytes, odd
      SetTime(e->patch, time);
      e->format = {r[0], r[1]};
      ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
      const uint32_t n = static_cast<uint32_t>(PcmByteCount(*e));
      std::string want = "RIFF" + Le(n + 36, 4) + "WAVEfmt " + Le(16, 4) + Le(1, 2) + Le(1, 2) + Le(r[0], 4) +
                         Le(r[2], 4) + Le(r[3], 2) + Le(r[1], 2) + "data" + Le(n, 4);
      for (uint32_t k = 0; k < n; ++k)  // no pad byte, nothing after
        want += r[1] == 8 ? Le(e->pcm8[k], 1) : Le(static_cast<uint16_t>(e->pcm16[k / 2]) >> k % 2 * 8, 1);
      EXPECT_TRUE(ReadText(path) == want) << r[0] << " Hz " << r[1] << " bits, Time " << time;
    }
  }
  // What it cannot write: nothing is created.
  for (const OutputFormat f : {OutputFormat{48000, 16}, {44100, 24}, {0, 0}, {22050, 0}}) {
    e->format = f;
    EXPECT_FALSE(WriteWavFile(*e, File("bad.wav").c_str()));
  }
  e->format = {44100, 16};
  e->patch.soundLength = 101 * 882;  // beyond the buffers
  EXPECT_FALSE(WriteWavFile(*e, File("bad.wav").c_str()));
  EXPECT_FALSE(fs::exists(File("bad.wav")));
  EXPECT_FALSE(WriteWavFile(*e, ""));
  EXPECT_FALSE(WriteWavFile(*e, nullptr));
}

// The rows of tests/data/ini_writes.txt; a refused write leaves the file as it was.
TEST_F(Ini, WriteTable) {
  auto c = [](const std::string& s) { return s == "<null>" ? nullptr : s.c_str(); };
  for (const auto& r : DataRows("ini_writes.txt", "writes")) {
    SCOPED_TRACE(::testing::PrintToString(r.at(0)) + " " + r.at(1) + " " + r.at(2) + " " + r.at(3));
    const std::string path = Put("test.ini", r[0]);
    EXPECT_EQ(kPortableIni.writeString(c(r[1]), c(r[2]), c(r[3]), path.c_str()), r.at(4) != "<null>");
    EXPECT_EQ(ReadText(path), r[4] != "<null>" ? r[4] : r[0] == kNoFile ? "" : r[0]);
  }
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", nullptr));
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "1", ""));
}

// The reading rules on any text, and the patch read from it, are the fuzz target's (fuzz/corpus).
// Without a file, or above 16 MiB, a read gives the defaults; no such file is written either.
TEST_F(Ini, FilesAboveSixteenMegabytesAreNeitherReadNorWritten) {
  char text[8];
  kPortableIni.readString("S", "k", "<d>", text, sizeof text, File("none").c_str());
  EXPECT_STREQ(text, "<d>");
  EXPECT_EQ(kPortableIni.readInt("S", "k", -1, File("none").c_str()), -1);
  EXPECT_EQ(ParseIniInt(nullptr), 0);
  const uintmax_t kLimit = 16u * 1024u * 1024u;
  const std::string path = Put("test.ini", "[S]\r\nk=1\r\n");
  fs::resize_file(path, kLimit + 1);  // NUL bytes after the key
  EXPECT_EQ(kPortableIni.readInt("S", "k", 5, path.c_str()), 5);
  EXPECT_FALSE(kPortableIni.writeString("S", "k", "2", path.c_str()));
  EXPECT_EQ(fs::file_size(path), kLimit + 1);
  fs::resize_file(path, kLimit);
  EXPECT_EQ(kPortableIni.readInt("S", "k", 5, path.c_str()), 1);
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

// A write that fails leaves what was there and no temporary file. By hand, every way a replacement
// can fail after its file is closed leaves no file to close again: a second close is refused (EBADF)
// and touches nothing (under the sanitizers, a double close shows).
TEST_F(Ini, FailedWritesLeaveWhatWasThereAndNoFileToCloseAgain) {
  const std::string old = "[S]\r\nk=1\r\n;" + std::string(5987, 'c') + "\r\n";
  const std::string target = File("f"), link = File("link");
  auto files = [&] { return std::distance(fs::directory_iterator(dir_), fs::directory_iterator()); };
  for (auto write : {WriteIni, WriteWav}) {
    // Over a file, through a symbolic link, failing part way (a full disk).
    WriteText(target, old);
    ASSERT_EQ(chmod(target.c_str(), 0604), 0);
    ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    EXPECT_EQ(InChildWithFileSizeLimit(4096, [&] { return write(link); }), EFBIG);
    EXPECT_EQ(ReadText(target), old);
    EXPECT_EQ(files(), 2);  // f and link, no temporary file
    // Without the limit it is replaced; the link and the mode stay.
    EXPECT_EQ(write(link), 0);
    EXPECT_EQ(fs::file_size(target), write == WriteIni ? 6000u : 176444u);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms(0604));
    fs::remove(link);
    fs::remove(target);
    // A new file that fails part way, a missing folder, a folder.
    EXPECT_EQ(InChildWithFileSizeLimit(5, [&] { return write(target); }), EFBIG);
    EXPECT_EQ(write(File("none/f")), ENOENT);
    EXPECT_EQ(files(), 0);
    fs::create_directory(target);
    EXPECT_NE(write(target), 0);
    EXPECT_TRUE(fs::is_directory(target));
    fs::remove(target);
  }
  EXPECT_FALSE(SavePatchFile(kPortableIni, File("none/p.plb").c_str(), NewEngine()->patch));
  // The writer saw its write fail; the last buffer cannot be written; a write failed unseen (the
  // stream's error); the rename cannot take the target's place; nothing failed.
  enum Way { kWriterFailed, kFlushFails, kUnseenWriteError, kRenameFails, kDone };
  for (const Way way : {kWriterFailed, kFlushFails, kUnseenWriteError, kRenameFails, kDone}) {
    SCOPED_TRACE(way);
    fs::remove_all(target);
    WriteText(target, "old");
    const bool full = way == kFlushFails || way == kUnseenWriteError;
    const int result = InChildWithFileSizeLimit(full ? 4096 : 1 << 30, [&] {
      FileReplacement r;
      if (!OpenReplacement(target.c_str(), r)) return 10;
      std::fputs(std::string(way == kFlushFails ? 6000 : way == kUnseenWriteError ? 100000 : 3, 'n').c_str(), r.file);
      if (way == kRenameFails) {  // the target became a folder with something in it
        fs::remove(target);
        fs::create_directories(target + "/inside");
      }
      const bool ok = CloseReplacement(r, target.c_str(), way != kWriterFailed, true);  // EFBIG or EISDIR
      if (ok != (way == kDone) || r.file != nullptr) return 11;
      errno = 0;
      return CloseReplacement(r, target.c_str(), true, true) || errno != EBADF ? 12 : 0;
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(way == kRenameFails ? fs::is_directory(target) : ReadText(target) == (way == kDone ? "nnn" : "old"),
              true);
    EXPECT_EQ(files(), 1) << "a temporary file is left";
  }
  // No regular file is written in place: a pipe whose reader leaves after 100 bytes stays a pipe.
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
