// The file formats: patch files read and written, the settings file, the
// file-name helpers and WAV files, against texts and bytes written out by
// hand and the key table of tests/patch_table.h.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <sstream>
#include <string>

#include "audio/wav_file.h"
#include "storage/patch_file.h"
#include "storage/settings.h"
#include "tests/patch_table.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

namespace fs = std::filesystem;
using namespace test;
const char kNoFile[] = "<no file>";

// The "[Setting]" lines of the defaults with the keys of `changes`
// ("Tune1=12 Time=3") set.
std::string Lines(const std::string& changes) {
  std::string lines = "\n" + SettingLines(DefaultValues());
  std::istringstream in(changes);
  for (std::string item; in >> item;) {
    const size_t at = lines.find("\n" + item.substr(0, item.find('=') + 1));
    EXPECT_NE(at, std::string::npos) << item;
    lines.replace(at + 1, lines.find('\r', at) - at - 1, item);
  }
  return lines.substr(1);
}

// A valid patch with a different value in nearly every key.
PatchValues Distinct() {
  PatchValues v;
  for (int n = 0; n < kOscCount; ++n)
    for (int k = 0; k < kKeysPerOsc; ++k)
      v.value[n][k] = k == kMute ? n % 2 : k == kWaveForm ? n % 4 : 10 + (n * 12 + k) % 89;
  v.time = 37;
  return v;
}

// A C string in a heap block of exactly its size: a read past its end is
// caught under AddressSanitizer.
std::unique_ptr<char[]> Exact(const std::string& s) {
  std::unique_ptr<char[]> block(new char[s.size() + 1]);
  std::memcpy(block.get(), s.c_str(), s.size() + 1);
  return block;
}
std::string Text(const char* s) { return s != nullptr ? s : "<null>"; }

class Formats : public TempFolderTest {};

TEST_F(Formats, PatchReadTable) {
  const std::string path = File("p.plb"), full = PatchText(Distinct());
  // Cut inside the value of Volume5 (its first digit kept), inside its
  // name, inside the section line: what came before stays.
  const size_t volume5 = full.find("Volume5=");
  std::string before, all = "[Setting]\r\n", largest;
  for (int n = 0; n < kOscCount; ++n) {
    for (int k = 0; k < kKeysPerOsc; ++k) {
      if (n < 4 || (n == 4 && k < kVolume))
        before += " " + KeyName(k, n) + "=" + std::to_string(Distinct().value[n][k]);
      all += KeyName(k, n) + "=1000\r\n";
      largest += " " + KeyName(k, n) + "=" + std::to_string(kKeys[k].max);
    }
  }
  const struct {
    std::string text, values;  // values: the keys that are no defaults
    const char* report;        // null: every key but the mutes
  } rows[] = {
      {kNoFile, "", ""},
      {"", "", ""},
      {"[format]\r\nfreq=22050\r\nTune1=10\r\n", "", ""},
      {"[Setting]\r\nTime=10\r\n", "Time=10", ""},
      {"[SETTING]\r\ntune1=12\r\nVOLUME5=44\r\ntime=100\r\n", "Tune1=12 Volume5=44 Time=100", ""},
      {"[Setting]\r\nMute1=7\r\nMute2=-1\r\nMute3=0\r\nMute4=junk\r\n", "Mute1=1 Mute2=1", ""},
      {"[Setting]\r\nTime=0\r\nTune4=-5\r\nVolume3=101\r\nWaveForm2=9\r\nWaveForm5=-1\r\n"
       "Mute6=5\r\nDecay1=100\r\nDeTune9=2147483647\r\nBend8=-2147483648\r\n",
       "Time=1 Tune4=0 Volume3=100 WaveForm2=3 WaveForm5=0 Mute6=1 DeTune9=100 Bend8=0",
       "WaveForm2:9>3 Volume3:101>100 Tune4:-5>0 WaveForm5:-1>0 Bend8:-2147483648>0 "
       "DeTune9:2147483647>100 Time:0>1 "},
      {"[Setting]\r\nTime=99999999999\r\nTune1=4294967297\r\nVolume1=-4294967246\r\n"
       "Decay1=18446744073709551616\r\n",
       "Time=100 Tune1=1 Volume1=50 Decay1=0", "Time:1215752191>100 "},
      {"[Setting]\r\nTime=3\r\nVolume1=40\r\nTime=9\r\n[Version]\r\nVersion=20\r\n"
       "[setting]\r\nTime=20\r\nTune1=10\r\n", "Time=3 Volume1=40", ""},
      {"; typed by hand\n[setting]\nTIME = 25\ntune1=40\nbend1 = 10\nVolume1=100\n"
       "decay1=70\nVOLUME2=35\nTune2=72\nWaveForm2=2\nmute3=1\nDISTORTION9=12\n\n"
       "[version]\nversion=20\n",
       "Time=25 Tune1=40 Bend1=10 Volume1=100 Decay1=70 Volume2=35 Tune2=72 WaveForm2=2 "
       "Mute3=1 Distortion9=12", ""},
      {full.substr(0, volume5 + 9), before + " Volume5=" + full[volume5 + 8], ""},
      {full.substr(0, volume5 + 4), before, ""},
      {full.substr(0, 5), "", ""},
      {all + "Time=1000\r\n", largest + " Time=100", nullptr},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(::testing::PrintToString(r.text.substr(0, 200)));
    fs::remove(path);
    if (r.text != kNoFile) WriteText(path, r.text);
    Patch p, q;
    std::memset(&p, 0x5A, sizeof p);  // every field must be set
    std::memset(&q, 0x5A, sizeof q);
    PatchReadReport report;
    ReadPatchFile(kPortableIni, path.c_str(), p, &report);
    ReadPatchFile(kPortableIni, path.c_str(), q, nullptr);
    EXPECT_EQ(SettingLines(ValuesOf(p)), Lines(r.values));
    EXPECT_EQ(p.soundLength, SoundLengthForTime(p.Time));
    EXPECT_EQ(std::memcmp(&p, &q, sizeof p), 0);
    std::string listed;  // in reading order: OSC1 to OSC9, Volume first, Time last
    for (int i = 0; i < report.clampedCount; ++i) {
      const ClampedKey& c = report.clamped[i];
      listed += std::string(c.key) + ":" + std::to_string(c.read) + ">" + std::to_string(c.used) + " ";
    }
    if (r.report == nullptr) {  // 100 keys, Volume1 first, Time last
      EXPECT_EQ(report.clampedCount, 100);
      listed = listed.substr(0, 17) + listed.substr(listed.size() - 14);
    }
    EXPECT_EQ(listed, r.report != nullptr ? r.report : "Volume1:1000>100 Time:1000>100 ");
  }
}

TEST_F(Formats, PatchWrite) {
  // Into a new file: the whole text, a mute of -9 written as 1.
  PatchValues v = Distinct();
  Patch p;
  Store(v, p);
  p.Mute[4] = -9;
  v.value[4][kMute] = 1;
  const std::string path = File("p.plb");
  ASSERT_TRUE(SavePatchFile(kPortableIni, path.c_str(), p));
  EXPECT_EQ(ReadText(path), PatchText(v));
  Patch back;
  ReadPatchFile(kPortableIni, path.c_str(), back, nullptr);
  EXPECT_EQ(SettingLines(ValuesOf(back)), SettingLines(v));
  // Over a file: values replaced where they stand, other keys kept.
  WriteText(path, "; by hand\r\n[Extra]\r\nfoo=bar\r\n[Setting]\r\nTune1=1\r\nMyKey=5\r\n\r\n"
                  "[version]\r\nVersion=3\r\nNote=x\r\n");
  ASSERT_TRUE(SavePatchFile(kPortableIni, path.c_str(), p));
  const std::string lines = SettingLines(v);
  const size_t tune1 = lines.find("\r\n") + 2;
  EXPECT_EQ(ReadText(path), "; by hand\r\n[Extra]\r\nfoo=bar\r\n[Setting]\r\n" +
                                lines.substr(0, tune1) + "MyKey=5\r\n" + lines.substr(tune1) +
                                "\r\n[version]\r\nVersion=20\r\nNote=x\r\n");
}

TEST(Settings, PathForTheProgram) {
  const std::string a255 = "C:\\" + std::string(252, 'a');
  const struct {
    std::string module, ini;
  } rows[] = {{"C:\\Tools\\drums.exe", "C:\\Tools\\drums.ini"}, {"drums", "drums.ini"},
              {"C:\\Tools\\PlimbarMaker.EXE", "C:\\Tools\\PlimbarMaker.ini"}, {"", "<null>"},
              {"C:\\a.b\\drums.x.exe", "C:\\a.b\\drums.x.ini"}, {"a.b:drums", "a.b:drums.ini"},
              {"C:\\my.tools\\drums", "C:\\my.tools\\drums.ini"},
              {"/opt/my.tools/drums", "/opt/my.tools/drums.ini"}, {a255 + ".exe", a255 + ".ini"},
              {a255 + "bb", "<null>"}, {a255 + "bbbb.exe", "<null>"},  // 261 and 263
              {std::string(600, 'c'), "<null>"}};
  for (const auto& r : rows) {
    char out[kPathCapacity];
    std::memset(out, 'x', sizeof out);
    const bool ok = SettingsPathFor(Exact(r.module).get(), out);
    EXPECT_EQ(ok ? out : out[0] == '\0' ? "<null>" : "<not emptied>", r.ini) << r.module;
  }
  char out[kPathCapacity];
  EXPECT_FALSE(SettingsPathFor(nullptr, out));
}

TEST_F(Formats, SettingsReadAndWritten) {
  const std::string path = File("s.ini");
  const struct {
    std::string text, dir;
    int rate, bits;
  } rows[] = {
      {kNoFile, "", 44100, 16},
      {"[SETTING]\r\nDIR=C:\\Sounds\\Kicks\r\n[FORMAT]\r\nFREQ=22050\r\nBITS=8\r\n",
       "C:\\Sounds\\Kicks", 22050, 8},
      {"[format]\r\nfreq=11025\r\nbits=16\r\n", "", 11025, 16},
      {"[format]\r\nfreq=48000\r\nbits=12\r\n", "", 44100, 16},
      {"[format]\r\nfreq=-44100\r\nbits=0\r\n", "", 44100, 16},
      {"[setting]\r\ndir=C:\\" + std::string(400, 'd') + "\r\n", "C:\\" + std::string(256, 'd'),
       44100, 16}};
  for (const auto& r : rows) {
    fs::remove(path);
    if (r.text != kNoFile) WriteText(path, r.text);
    Settings s;
    std::memset(&s, 0x55, sizeof s);
    ReadSettings(kPortableIni, path.c_str(), s);
    EXPECT_EQ(s.lastFolder + (" " + std::to_string(s.format.rate) + "/" + std::to_string(s.format.bits)),
              r.dir + " " + std::to_string(r.rate) + "/" + std::to_string(r.bits));
  }
  // The first exit: patch, folder, then format.
  fs::remove(path);
  Patch p;
  Store(Distinct(), p);
  Settings s = {"C:\\Drums", {11025, 8}};
  ASSERT_TRUE(WriteSettings(kPortableIni, path.c_str(), p, s));
  EXPECT_EQ(ReadText(path), "[Setting]\r\n" + SettingLines(Distinct()) + "dir=C:\\Drums\r\n"
                                "[Version]\r\nVersion=20\r\n[format]\r\nfreq=11025\r\nbits=8\r\n");
}

TEST(FileNames, StripAndAppendExtension) {
  const std::string n255(255, 'n'), n256(256, 'n'), n259(259, 'n');
  const struct {
    std::string name, ext, stripped, appended;
  } rows[] = {
      {"kick.plb", ".plb", "kick", "kick.plb"},      {"kick", ".plb", "kick", "kick.plb"},
      {"kick.au", ".wav", "kick", "kick.au.wav"},    {"kick.", ".wav", "kick", "kick..wav"},
      {"kick.aiff", ".wav", "kick.aiff", "kick.aiff.wav"},
      {"My.Sounds\\kick.plb", ".wav", "My.Sounds\\kick", "My.Sounds\\kick.plb.wav"},
      {"a.b/c.d\\kick.au", ".plb", "a.b/c.d\\kick", "a.b/c.d\\kick.au.plb"},
      {"My.Sounds\\.wav", ".wav", "My.Sounds\\", "My.Sounds\\.wav"},
      {"x.y/", ".plb", "x.y/", "x.y/.plb"},          {"a.b.c", ".plb", "a", "a.b.c.plb"},
      {"a.bc.d", ".plb", "a.bc.d", "a.bc.d.plb"},    {".wav", ".wav", "", ".wav"},
      {"", ".plb", "", ".plb"},                      {"kick.PLB", ".plb", "kick", "kick.PLB"},
      {"KICK.WAV", ".wav", "KICK", "KICK.WAV"},      {"kick.txt", ".plb", "kick", "kick.txt.plb"},
      {"a.w", ".wav", "a", "a.w.wav"},               {"wav", ".wav", "wav", "wav.wav"},
      {"xwav", ".wav", "xwav", "xwav.wav"},          {n255, ".plb", n255, n255 + ".plb"},
      {n256, ".plb", n256, "<null>"},                {n259, ".plb", n259, "<null>"},
      {n255 + ".PLB", ".plb", n255, n255 + ".PLB"},  {n256 + ".plb", ".plb", "<null>", "<null>"},
      {std::string(600, 'n'), ".plb", "<null>", "<null>"}};
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name + " " + r.ext);
    const auto name = Exact(r.name), ext = Exact(r.ext);
    EXPECT_EQ(Text(StripExtension(name.get())), r.stripped);
    EXPECT_EQ(Text(AppendExtension(name.get(), ext.get())), r.appended);
    if (r.stripped == "<null>") continue;
    // Each takes the other's buffer: the name the file dialogs propose.
    const std::string proposed = Text(AppendExtension(StripExtension(name.get()), ext.get()));
    EXPECT_EQ(proposed, Text(AppendExtension(Exact(r.stripped).get(), ext.get())));
  }
  EXPECT_EQ(StripExtension(nullptr), nullptr);
  EXPECT_EQ(AppendExtension(nullptr, ".plb"), nullptr);
  EXPECT_EQ(AppendExtension("kick", nullptr), nullptr);
}

TEST_F(Formats, WavFileOfEveryFormat) {
  const int rows[][4] = {{44100, 16, 88200, 2}, {44100, 8, 44100, 1}, {22050, 16, 44100, 2},
                         {22050, 8, 22050, 1},  {11025, 16, 22050, 2}, {11025, 8, 11025, 1}};
  std::unique_ptr<Engine> e = NewEngine();
  for (int j = 0; j < kMaxSamples; ++j) {  // distinct bytes, negative samples
    e->pcm16[j] = static_cast<int16_t>(j * 257 - 30000);
    e->pcm8[j] = static_cast<uint8_t>(j * 7 + 3);
  }
  const std::string path = File("w.wav");
  for (const auto& r : rows) {
    for (int time : {3, 100}) {  // 11025 Hz 16 bits, Time 3: 1323, odd
      SetTime(e->patch, time);
      e->format = {r[0], r[1]};
      ASSERT_TRUE(WriteWavFile(*e, path.c_str()));
      const std::string b = ReadText(path);
      const uint32_t n = static_cast<uint32_t>(PcmByteCount(*e));
      ASSERT_EQ(b.size(), 44 + n) << r[0] << " " << r[1];  // no pad byte, nothing after
      std::string header = b.substr(0, 4) + b.substr(8, 8) + b.substr(36, 4);
      const int fields[][2] = {{4, 4}, {16, 4}, {20, 2}, {22, 2}, {24, 4},
                               {28, 4}, {32, 2}, {34, 2}, {40, 4}};  // offset, size
      for (const auto& f : fields) {  // little-endian
        uint32_t v = 0;
        for (int i = f[1] - 1; i >= 0; --i) v = v << 8 | static_cast<uint8_t>(b[f[0] + i]);
        header += " " + std::to_string(v);
      }
      EXPECT_EQ(header, "RIFFWAVEfmt data " + std::to_string(n + 36) + " 16 1 1 " +
                            std::to_string(r[0]) + " " + std::to_string(r[2]) + " " +
                            std::to_string(r[3]) + " " + std::to_string(r[1]) + " " + std::to_string(n));
      for (uint32_t k = 0; k < n; ++k) {
        const uint16_t s = static_cast<uint16_t>(e->pcm16[k / 2]);
        const uint8_t want = r[1] == 8 ? e->pcm8[k] : k % 2 ? s >> 8 : s & 0xFF;
        ASSERT_EQ(static_cast<uint8_t>(b[44 + k]), want) << "data byte " << k;
      }
    }
  }
  // What it cannot write: nothing is created.
  const OutputFormat bad[] = {{48000, 16}, {44100, 24}, {0, 0}, {22050, 0}};
  for (const OutputFormat& f : bad) {
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

}  // namespace
}  // namespace plimbar
