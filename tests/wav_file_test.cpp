// WAV writer: header bytes against hand-worked bytes, the data against the
// PCM buffer, and the failure paths.
#include "audio/wav_file.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#ifndef _WIN32
#include <unistd.h>
#endif
#ifdef __linux__
#include <dirent.h>
#include <sys/stat.h>
#endif

#include "engine/engine.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

using test::ReadBytes;

// One row of the format table, the numbers written out by hand.
struct FormatCase {
  int rate, bits;
  int time;
  uint32_t byteRate;
  uint16_t align;
  uint32_t n;  // PCM byte count
};

// N per format at Time 1, 50 and 100: 1764, 882, 882, 441, 441 and 220.5
// (rounded down) per Time step.
const FormatCase kFormats[] = {
    {44100, 16, 1, 88200, 2, 1764},  {44100, 16, 50, 88200, 2, 88200},
    {44100, 16, 100, 88200, 2, 176400},
    {44100, 8, 1, 44100, 1, 882},    {44100, 8, 50, 44100, 1, 44100},
    {44100, 8, 100, 44100, 1, 88200},
    {22050, 16, 1, 44100, 2, 882},   {22050, 16, 50, 44100, 2, 44100},
    {22050, 16, 100, 44100, 2, 88200},
    {22050, 8, 1, 22050, 1, 441},    {22050, 8, 50, 22050, 1, 22050},
    {22050, 8, 100, 22050, 1, 44100},
    {11025, 16, 1, 22050, 2, 441},   {11025, 16, 50, 22050, 2, 22050},
    {11025, 16, 100, 22050, 2, 44100},
    {11025, 8, 1, 11025, 1, 220},    {11025, 8, 50, 11025, 1, 11025},
    {11025, 8, 100, 11025, 1, 22050},
};

uint32_t Le32(const uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

// Every test writes into a fresh folder of its own, so the check for
// leftover temporary files sees no other test's.
class WavFile : public test::TempFolderTest {
 protected:
  WavFile() : TempFolderTest("plimbar_wav_") {}
};

bool Exists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return false;
  std::fclose(f);
  return true;
}

// An engine with a given Time and format, its PCM buffers filled with a
// pattern that has negative samples and distinct high and low bytes.
std::unique_ptr<Engine> PatternEngine(int time, int rate, int bits) {
  std::unique_ptr<Engine> e = NewEngine();
  SetTime(e->patch, time);
  e->format = {rate, bits};
  for (int j = 0; j < kMaxSamples; ++j) {
    e->pcm16[j] = static_cast<int16_t>(j * 257 - 30000);
    e->pcm8[j] = static_cast<uint8_t>(j * 7 + 3);
  }
  return e;
}

TEST_F(WavFile, HeaderOfEveryFormatMatchesHandWorkedFields) {
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) +
                 " bits, Time " + std::to_string(c.time));
    uint8_t h[kWavHeaderBytes];
    std::memset(h, 0xEE, sizeof h);
    BuildWavHeader({c.rate, c.bits}, c.n, h);
    EXPECT_EQ(0, std::memcmp(h + 0, "RIFF", 4));
    EXPECT_EQ(c.n + 36, Le32(h + 4));
    EXPECT_EQ(0, std::memcmp(h + 8, "WAVEfmt ", 8));
    EXPECT_EQ(16u, Le32(h + 16));
    EXPECT_EQ(1, Le16(h + 20));
    EXPECT_EQ(1, Le16(h + 22));
    EXPECT_EQ(static_cast<uint32_t>(c.rate), Le32(h + 24));
    EXPECT_EQ(c.byteRate, Le32(h + 28));
    EXPECT_EQ(c.align, Le16(h + 32));
    EXPECT_EQ(c.bits, Le16(h + 34));
    EXPECT_EQ(0, std::memcmp(h + 36, "data", 4));
    EXPECT_EQ(c.n, Le32(h + 40));
  }
}

TEST_F(WavFile, HeaderBytesAreLittleEndianLiterals) {
  // 44100 Hz, 16 bits, Time 50: N = 88200 = 0x015888, RIFF size 88236 =
  // 0x0158AC, rate 44100 = 0xAC44, byte rate 88200.
  const uint8_t expected16[kWavHeaderBytes] = {
      'R', 'I', 'F', 'F', 0xAC, 0x58, 0x01, 0x00, 'W', 'A', 'V', 'E',
      'f', 'm', 't', ' ', 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
      0x44, 0xAC, 0x00, 0x00, 0x88, 0x58, 0x01, 0x00, 0x02, 0x00, 0x10, 0x00,
      'd', 'a', 't', 'a', 0x88, 0x58, 0x01, 0x00};
  uint8_t h[kWavHeaderBytes];
  BuildWavHeader({44100, 16}, 88200, h);
  EXPECT_EQ(0, std::memcmp(h, expected16, sizeof h));

  // 11025 Hz, 8 bits, Time 1: N = 220 = 0xDC, RIFF size 256, rate and byte
  // rate 11025 = 0x2B11, alignment 1.
  const uint8_t expected8[kWavHeaderBytes] = {
      'R', 'I', 'F', 'F', 0x00, 0x01, 0x00, 0x00, 'W', 'A', 'V', 'E',
      'f', 'm', 't', ' ', 0x10, 0x00, 0x00, 0x00, 0x01, 0x00, 0x01, 0x00,
      0x11, 0x2B, 0x00, 0x00, 0x11, 0x2B, 0x00, 0x00, 0x01, 0x00, 0x08, 0x00,
      'd', 'a', 't', 'a', 0xDC, 0x00, 0x00, 0x00};
  BuildWavHeader({11025, 8}, 220, h);
  EXPECT_EQ(0, std::memcmp(h, expected8, sizeof h));
}

TEST_F(WavFile, FileHoldsHeaderAndExactlyTheCountedPcmBytes) {
  const std::string path = File("formats.wav");
  for (const FormatCase& c : kFormats) {
    SCOPED_TRACE(std::to_string(c.rate) + " Hz " + std::to_string(c.bits) +
                 " bits, Time " + std::to_string(c.time));
    std::unique_ptr<Engine> e = PatternEngine(c.time, c.rate, c.bits);
    ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
    const std::vector<uint8_t> file = ReadBytes(path);
    ASSERT_EQ(c.n + 44, file.size());  // no pad byte, nothing after
    EXPECT_EQ(c.n + 36, Le32(&file[4]));
    EXPECT_EQ(c.n, Le32(&file[40]));
    EXPECT_EQ(c.byteRate, Le32(&file[28]));
    for (uint32_t k = 0; k < c.n; ++k) {
      uint8_t want;
      if (c.bits == 16) {
        const uint16_t s = static_cast<uint16_t>(e->pcm16[k / 2]);
        want = static_cast<uint8_t>(k % 2 == 0 ? s & 0xFF : s >> 8);
      } else {
        want = e->pcm8[k];
      }
      if (file[44 + k] != want) {
        ADD_FAILURE() << "data byte " << k << " is " << int(file[44 + k])
                      << ", expected " << int(want);
        break;
      }
    }
  }
}

TEST_F(WavFile, SixteenBitSamplesAreWrittenLowByteFirst) {
  std::unique_ptr<Engine> e = PatternEngine(1, 44100, 16);
  e->pcm16[0] = -2;      // 0xFFFE
  e->pcm16[1] = 0x1234;
  e->pcm16[2] = -32768;  // 0x8000
  e->pcm16[3] = 32767;   // 0x7FFF
  const std::string path = File("order.wav");
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  const std::vector<uint8_t> file = ReadBytes(path);
  ASSERT_EQ(44u + 1764u, file.size());
  const uint8_t expected[] = {0xFE, 0xFF, 0x34, 0x12, 0x00, 0x80, 0xFF, 0x7F};
  EXPECT_EQ(0, std::memcmp(&file[44], expected, sizeof expected));
}

TEST_F(WavFile, OddByteCountEndsWithHalfASampleAndNoPad) {
  // 11025 Hz, 16 bits, Time 1: 441 bytes, the last one the low byte of
  // sample 220.
  std::unique_ptr<Engine> e = PatternEngine(1, 11025, 16);
  e->pcm16[220] = 0x5AA5;
  e->pcm16[221] = 0x7777;  // must not appear
  const std::string path = File("odd.wav");
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  const std::vector<uint8_t> file = ReadBytes(path);
  ASSERT_EQ(485u, file.size());
  EXPECT_EQ(477u, Le32(&file[4]));
  EXPECT_EQ(441u, Le32(&file[40]));
  EXPECT_EQ(0xA5, file[484]);
}

TEST_F(WavFile, ReplacesAndTruncatesAnExistingFile) {
  const std::string path = File("replace.wav");
  std::unique_ptr<Engine> e = PatternEngine(100, 44100, 16);
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  ASSERT_EQ(176444u, ReadBytes(path).size());
  e = PatternEngine(1, 11025, 8);
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  EXPECT_EQ(264u, ReadBytes(path).size());
}

TEST_F(WavFile, RefusesWhatItCannotWrite) {
  std::unique_ptr<Engine> e = PatternEngine(50, 44100, 16);

  // A format outside the six: nothing is created.
  const std::string path = File("bad_format.wav");
  const OutputFormat bad[] = {{48000, 16}, {44100, 24}, {0, 0}, {22050, 0}};
  for (const OutputFormat& f : bad) {
    e->format = f;
    EXPECT_FALSE(WriteWavFile(*e, path.c_str()));
    EXPECT_FALSE(Exists(path));
  }
  e->format = {44100, 16};

  // A folder that does not exist.
  const std::string missing = File("no_such_dir/x.wav");
  errno = 0;
  EXPECT_FALSE(WriteWavFile(*e, missing.c_str()));
  EXPECT_EQ(ENOENT, errno);

  EXPECT_FALSE(WriteWavFile(*e, ""));
  EXPECT_FALSE(WriteWavFile(*e, nullptr));

  // A sound length beyond the buffers never reads past them.
  e->patch.Time = 101;
  e->patch.soundLength = 101 * 882;
  EXPECT_FALSE(WriteWavFile(*e, path.c_str()));
  EXPECT_FALSE(Exists(path));
}

#ifdef __linux__
struct LimitedWrite {
  bool limited = false;  // the file size limit could be set
  bool ok = false;       // what WriteWavFile returned
  int error = 0;         // errno after it
};

// Writes the WAV while files cannot grow past 10000 bytes.
LimitedWrite WriteWavFileUnderLimit(const Engine& e, const std::string& path) {
  LimitedWrite w;
  test::FileSizeLimit limit(10000);
  w.limited = limit.set();
  if (!w.limited) return w;
  errno = 0;
  w.ok = WriteWavFile(e, path.c_str());
  w.error = errno;
  return w;
}

TEST_F(WavFile, ShortWriteToADeviceFailsAndLeavesTheDevice) {
  std::unique_ptr<Engine> e = PatternEngine(50, 44100, 16);
  errno = 0;
  EXPECT_FALSE(WriteWavFile(*e, "/dev/full"));
  EXPECT_EQ(ENOSPC, errno);
  EXPECT_TRUE(Exists("/dev/full"));
}

TEST_F(WavFile, ShortWriteRemovesThePartialFile) {
  // A file size limit makes the writes fail part way (EFBIG).
  const std::string path = File("partial.wav");
  std::unique_ptr<Engine> e = PatternEngine(100, 44100, 16);
  const LimitedWrite w = WriteWavFileUnderLimit(*e, path);
  ASSERT_TRUE(w.limited);
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(EFBIG, w.error);
  EXPECT_FALSE(Exists(path));
}

TEST_F(WavFile, FailedReplaceLeavesTheOldFileByteForByte) {
  // An earlier export of 20 ms, then a 2-second export that fails part way
  // (a file size limit of 10000 bytes: EFBIG).
  const std::string path = File("keep_old.wav");
  std::unique_ptr<Engine> e = PatternEngine(1, 11025, 8);
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  const std::vector<uint8_t> before = ReadBytes(path);
  ASSERT_EQ(264u, before.size());
  e = PatternEngine(100, 44100, 16);
  const LimitedWrite w = WriteWavFileUnderLimit(*e, path);
  ASSERT_TRUE(w.limited);
  EXPECT_FALSE(w.ok);
  EXPECT_EQ(EFBIG, w.error);
  EXPECT_EQ(before, ReadBytes(path));
  // No temporary file is left in the folder.
  const std::string folder = path.substr(0, path.rfind('/'));
  DIR* d = opendir(folder.c_str());
  ASSERT_NE(nullptr, d);
  for (struct dirent* ent = readdir(d); ent != nullptr; ent = readdir(d))
    EXPECT_NE(0, std::strncmp(ent->d_name, ".plimbar-", 9)) << ent->d_name;
  closedir(d);
  // The same export without the limit replaces it.
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  EXPECT_EQ(176444u, ReadBytes(path).size());
}

TEST_F(WavFile, ReplacingKeepsPermissionsAndSymbolicLinks) {
  const std::string path = File("mode.wav");
  const std::string link = File("link.wav");
  std::unique_ptr<Engine> e = PatternEngine(1, 11025, 8);
  ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
  ASSERT_EQ(0, chmod(path.c_str(), 0640));
  ASSERT_EQ(0, symlink(path.c_str(), link.c_str()));
  e = PatternEngine(2, 11025, 8);  // 441 bytes
  ASSERT_TRUE(WriteWavFile(*e, link.c_str()));
  struct stat st;
  ASSERT_EQ(0, lstat(link.c_str(), &st));
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  ASSERT_EQ(0, stat(path.c_str(), &st));
  EXPECT_EQ(0640u, st.st_mode & 07777u);
  EXPECT_EQ(44u + 441u, ReadBytes(path).size());
}
#endif

}  // namespace
}  // namespace plimbar
