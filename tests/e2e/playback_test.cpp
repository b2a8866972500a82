// Playback end to end: the real program plays through Wine's ALSA driver
// into an ALSA "file" device, so what the device was given lands in a WAV
// file that these tests read back.
//
// The suite runs with HOME set to a folder of its own (PLIMBAR_E2E_ALSA_HOME
// names the same folder); every program a test starts inherits it, and its
// ALSA library reads $HOME/.asoundrc when it first opens a device. With that
// file the program has one output device whose sound lands in the run
// folder's capture.wav; without it, this machine has no output device.
//
// What the device delivers here: the block's bytes unchanged, in the format
// the program opened it with (no resampling or conversion), with a 44-byte
// header that the ALSA library completes when the device is closed. While a
// device is open the header's RIFF size reads 36 and its data size 0. A
// block of an odd number of bytes at 16 bits (11025 Hz and odd Time) loses
// its half sample: the device plays whole samples only. On a loaded
// machine Wine's sound driver may fall behind and play silent frames
// between the block's frames; PlayedDifference allows for those.
//
// Most tests leave the program to App's destructor, which ends it: writing
// the settings at an orderly exit takes seconds under Wine, and the exit is
// tested on its own.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>
#include <tuple>

#include "app_driver.h"
#include "resources/resource.h"

using namespace plimbar_test;

namespace {

// The Unix folder the suite's HOME points at, or "" when the suite was not
// started that way.
std::string AlsaHome() {
  const char* home = std::getenv("PLIMBAR_E2E_ALSA_HOME");
  return home != nullptr ? home : "";
}

// Gives the programs started from now on the capture device, writing into
// the Unix file capture.
bool UseCaptureDevice(const std::string& capture) {
  return WriteFile(WinPath(AlsaHome() + "/.asoundrc"), CaptureDeviceConfig(capture));
}

// Takes the output device away from the programs started from now on.
void NoOutputDevice() { DeleteFileA(WinPath(AlsaHome() + "/.asoundrc").c_str()); }

// A run folder with its Unix and Windows names.
struct RunPaths {
  std::string win;
  std::string capture;      // Windows path of capture.wav
  std::string captureUnix;  // the same as the device names it
};

RunPaths MakeRun() {
  RunPaths r;
  r.win = RunFolder(TestName());
  r.captureUnix = std::string(PLIMBAR_E2E_WORK) + "/runs/" + TestName() + "/capture.wav";
  r.capture = WinPath(r.captureUnix);
  return r;
}

bool WaitForCapture(const std::string& path) {
  return WaitUntil([&] { return CaptureClosed(path); }, kWaitTimeoutMs);
}

// Exports the current sound through "WAVを保存(&W)" and returns the file.
std::string ExportWav(App& app, const std::string& winPath) {
  app.PostCommand(IDM_SAVE_WAV);
  HWND dlg = app.WaitForOtherDialog();
  if (dlg == nullptr) return "";
  App::TypeFileName(dlg, winPath);
  if (!App::ConfirmFileDialog(dlg)) return "";
  app.Settle();
  return ReadFile(winPath);
}

Image WaveView(App& app) {
  app.Settle();
  return CaptureClient(app.View("WaveWnd", IDC_WAVE_FRAME));
}

// Settings for a start: a patch with a modulated carrier and a noise
// carrier (so a render draws noise), at the given format and length.
std::string SettingsFor(int rate, int bits, int time) {
  return "[Setting]\r\nTime=" + std::to_string(time) +
         "\r\nVolume2=40\r\nTune2=70\r\nVolume4=30\r\nWaveForm4=3\r\nDecay4=20\r\n"
         "[format]\r\nfreq=" + std::to_string(rate) + "\r\nbits=" + std::to_string(bits) + "\r\n";
}

class Playback : public testing::Test {
 protected:
  void SetUp() override {
    if (AlsaHome().empty()) GTEST_SKIP() << "PLIMBAR_E2E_ALSA_HOME is not set";
  }
  void TearDown() override {
    if (!AlsaHome().empty()) NoOutputDevice();
  }
};

// --- what plays --------------------------------------------------------------

// The comparison the suite's checks rest on: it lets through only silent
// frames put between the sound's frames, nothing else.
TEST_F(Playback, CaptureComparisonAllowsOnlyInsertedSilentFrames) {
  const std::string z(2, '\0');
  const std::string want = "\x01\x02" + z + "\x03\x04";  // three 16-bit frames
  EXPECT_EQ(PlayedDifference(want, want, 16), "");
  EXPECT_EQ(PlayedDifference(z + "\x01\x02" + z + z + z + "\x03\x04" + z, want, 16), "");
  EXPECT_NE(PlayedDifference("\x01\x02" + z + "\x03\x05", want, 16), "") << "a changed byte";
  EXPECT_NE(PlayedDifference("\x01\x02" + z, want, 16), "") << "a lost frame";
  EXPECT_NE(PlayedDifference("\x01\x02" + z + "\x07\x07\x03\x04", want, 16), "")
      << "a frame that is not silence";
  EXPECT_NE(PlayedDifference("\x01\x02" + z + std::string(1, '\0') + "\x03\x04", want, 16),
            "")
      << "half a frame";
  EXPECT_NE(PlayedDifference("\x03\x04\x01\x02" + z, want, 16), "") << "frames out of order";
  // At 8 bits silence is 128; 0 is a sound.
  EXPECT_EQ(PlayedDifference("\x80\x10\x80\x80\x20", "\x10\x80\x20", 8), "");
  EXPECT_NE(PlayedDifference(std::string("\x10\0\x80\x20", 4), "\x10\x80\x20", 8), "");
}

class PlaybackFormat : public Playback,
                       public testing::WithParamInterface<std::tuple<int, int, int>> {};

TEST_P(PlaybackFormat, CapturedSoundIsTheExportedPcm) {
  const int rate = std::get<0>(GetParam());
  const int bits = std::get<1>(GetParam());
  const int time = std::get<2>(GetParam());
  const RunPaths run = MakeRun();
  RemoveFolderContents(run.win);
  ASSERT_TRUE(UseCaptureDevice(run.captureUnix));
  App app;
  ASSERT_TRUE(app.Start(run.win, SettingsFor(rate, bits, time).c_str(), {}, /*keep=*/true));
  const Wav exported = ParseWav(ExportWav(app, run.win + "\\export.wav"));
  ASSERT_TRUE(exported.ok);
  // PCM byte count: 882 * Time samples at 44100 Hz, decimated, bits / 8
  // bytes each.
  const size_t bytes = static_cast<size_t>(882 * time) * bits / 8 / (44100 / rate);
  ASSERT_EQ(exported.data.size(), bytes);
  ASSERT_FALSE(FileExists(run.capture)) << "nothing plays before Test";

  app.Command(IDC_TEST);
  ASSERT_TRUE(WaitForCapture(run.capture));
  const Wav captured = ParseWav(ReadFile(run.capture));
  ASSERT_TRUE(captured.ok);
  EXPECT_EQ(captured.channels, 1u);
  EXPECT_EQ(captured.rate, static_cast<uint32_t>(rate));
  EXPECT_EQ(captured.bits, static_cast<uint32_t>(bits));
  // An odd block at 16 bits ends in half a sample, which is not played.
  const size_t whole = bits == 16 ? bytes & ~static_cast<size_t>(1) : bytes;
  EXPECT_EQ(PlayedDifference(captured.data, exported.data.substr(0, whole), bits), "");
  // Not silence: the comparison means something.
  const char silence = bits == 16 ? 0 : static_cast<char>(128);
  EXPECT_NE(captured.data.find_first_not_of(silence), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Playback, PlaybackFormat,
    testing::Values(std::make_tuple(44100, 16, 5), std::make_tuple(44100, 16, 50),
                    std::make_tuple(22050, 8, 5), std::make_tuple(22050, 8, 50),
                    std::make_tuple(11025, 16, 4), std::make_tuple(11025, 16, 50),
                    std::make_tuple(11025, 16, 3), std::make_tuple(44100, 8, 7),
                    std::make_tuple(22050, 16, 20), std::make_tuple(11025, 8, 1)));

// --- one sound at a time -----------------------------------------------------

TEST_F(Playback, SecondPressDuringPlaybackDoesNothingAndAPressAfterTheEndPlays) {
  const RunPaths run = MakeRun();
  RemoveFolderContents(run.win);
  ASSERT_TRUE(UseCaptureDevice(run.captureUnix));
  App app;
  // 2 s at 44100 Hz, 16 bits: the longest sound.
  ASSERT_TRUE(app.Start(run.win, SettingsFor(44100, 16, 100).c_str(), {}, true));
  const Wav first = ParseWav(ExportWav(app, run.win + "\\first.wav"));
  ASSERT_TRUE(first.ok);

  app.Command(IDC_TEST);
  // Keep the first sound under another name and free the capture name: a
  // second start would open the device again and make a new capture.wav.
  const std::string kept = run.win + "\\played-first.wav";
  ASSERT_TRUE(CreateHardLinkA(kept.c_str(), run.capture.c_str(), nullptr));
  ASSERT_TRUE(DeleteFileA(run.capture.c_str()));
  // An edit marks OSC1 pending without rendering.
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 20);
  ASSERT_FALSE(CaptureClosed(kept)) << "the first sound ended too early for this test";
  app.Command(IDC_TEST);

  ASSERT_TRUE(WaitForCapture(kept));
  app.Settle();
  EXPECT_FALSE(FileExists(run.capture)) << "a press during playback played";
  const Wav played = ParseWav(ReadFile(kept));
  ASSERT_TRUE(played.ok);
  EXPECT_EQ(PlayedDifference(played.data, first.data, 16), "");
  // The export holds the sound as the last render left it: the press
  // during playback did not render the edit.
  const Wav unchanged = ParseWav(ExportWav(app, run.win + "\\unchanged.wav"));
  ASSERT_TRUE(unchanged.ok);
  EXPECT_TRUE(unchanged.data == first.data) << "a press during playback rendered";

  // After the end: the press renders the pending edit and plays it.
  app.Command(IDC_TEST);
  ASSERT_TRUE(WaitForCapture(run.capture));
  const Wav second = ParseWav(ReadFile(run.capture));
  const Wav edited = ParseWav(ExportWav(app, run.win + "\\edited.wav"));
  ASSERT_TRUE(second.ok);
  ASSERT_TRUE(edited.ok);
  EXPECT_EQ(edited.data.size(), 176400u);
  EXPECT_EQ(PlayedDifference(second.data, edited.data, 16), "");
  EXPECT_FALSE(edited.data == first.data) << "the press after the end did not render";
}

TEST_F(Playback, RendersDuringPlaybackHappenAtOnceAndThePressedSoundPlays) {
  const RunPaths run = MakeRun();
  RemoveFolderContents(run.win);
  ASSERT_TRUE(UseCaptureDevice(run.captureUnix));
  App app;
  ASSERT_TRUE(app.Start(run.win, SettingsFor(44100, 16, 100).c_str(), {}, true));
  const Wav pressed = ParseWav(ExportWav(app, run.win + "\\pressed.wav"));
  ASSERT_TRUE(pressed.ok);
  const Image atPress = WaveView(app);

  app.Command(IDC_TEST);
  // A waveform change (square) renders at once...
  HWND combo = app.Item(IDC_WAVEFORM);
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  app.Command(IDC_WAVEFORM, CBN_SELCHANGE, combo);
  Image afterWaveForm;
  EXPECT_TRUE(WaitUntil([&] { return (afterWaveForm = WaveView(app)) != atPress; },
                        kWaitTimeoutMs))
      << "the waveform change did not render";
  // ...and so does a change of rate and one of depth.
  app.Command(IDM_RATE_22K);
  app.Command(IDM_BITS_8);
  ASSERT_FALSE(CaptureClosed(run.capture)) << "the sound ended too early for this test";
  EXPECT_TRUE(WaitUntil([&] { return WaveView(app) != afterWaveForm; }, kWaitTimeoutMs))
      << "the format change did not render";

  ASSERT_TRUE(WaitForCapture(run.capture));
  const Wav played = ParseWav(ReadFile(run.capture));
  ASSERT_TRUE(played.ok);
  EXPECT_EQ(played.rate, 44100u);
  EXPECT_EQ(played.bits, 16u);
  ASSERT_EQ(pressed.data.size(), 176400u);
  EXPECT_EQ(PlayedDifference(played.data, pressed.data, 16), "")
      << "the sound changed while it played";

  // The next press plays the new sound: 22050 Hz, 8 bits, square.
  const Wav now = ParseWav(ExportWav(app, run.win + "\\now.wav"));
  ASSERT_TRUE(now.ok);
  ASSERT_TRUE(DeleteFileA(run.capture.c_str()));
  app.Command(IDC_TEST);
  ASSERT_TRUE(WaitForCapture(run.capture));
  const Wav next = ParseWav(ReadFile(run.capture));
  EXPECT_EQ(next.rate, 22050u);
  EXPECT_EQ(next.bits, 8u);
  EXPECT_EQ(now.data.size(), 44100u);
  EXPECT_EQ(PlayedDifference(next.data, now.data, 8), "");
}

TEST_F(Playback, WithoutAnOutputDeviceTestOnlyRenders) {
  const RunPaths run = MakeRun();
  RemoveFolderContents(run.win);
  NoOutputDevice();
  App app;
  ASSERT_TRUE(app.Start(run.win, SettingsFor(44100, 16, 20).c_str(), {}, true));
  const Wav start = ParseWav(ExportWav(app, run.win + "\\start.wav"));
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 10);
  app.Command(IDC_TEST);
  const Wav first = ParseWav(ExportWav(app, run.win + "\\first.wav"));
  ASSERT_TRUE(start.ok);
  ASSERT_TRUE(first.ok);
  EXPECT_FALSE(first.data == start.data) << "Test did not render the pending edit";
  // The playing flag was cleared again: the next press renders too.
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 100);
  app.Command(IDC_TEST);
  const Wav second = ParseWav(ExportWav(app, run.win + "\\second.wav"));
  ASSERT_TRUE(second.ok);
  EXPECT_FALSE(second.data == first.data) << "a second press was refused";
  app.Settle();
  EXPECT_FALSE(FileExists(run.capture));
}

TEST_F(Playback, EndDuringPlaybackReleasesTheDeviceBeforeTheSettingsAreWritten) {
  const RunPaths run = MakeRun();
  RemoveFolderContents(run.win);
  ASSERT_TRUE(UseCaptureDevice(run.captureUnix));
  App app;
  ASSERT_TRUE(app.Start(run.win, SettingsFor(44100, 16, 100).c_str(), {}, true));
  app.Command(IDC_TEST);
  ASSERT_FALSE(CaptureClosed(run.capture)) << "the sound ended too early for this test";
  app.PostCommand(IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs, &code));
  EXPECT_EQ(code, 0u);
  // A device closed by the program completes the capture's header; a
  // program that ends with the device open leaves it unfinished.
  // (The device pads a stopped stream with silence, so the data's length
  // says nothing here.)
  EXPECT_TRUE(CaptureClosed(run.capture));
  EXPECT_NE(ReadFile(run.win + "\\PlimbarMaker.ini").find("freq=44100"), std::string::npos);
}

}  // namespace
