// End-to-end tests: the real PlimbarMaker.exe, started in a folder of its
// own under Wine on a virtual display, driven through window messages.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "app_driver.h"
#include "dialog_controls.h"
#include "resources/resource.h"

using namespace plimbar_test;

namespace {

constexpr uint32_t kGreen = 0x00FF00;
constexpr uint32_t kBlack = 0x000000;

void Screenshot(App& app, const std::string& name) {
  app.Settle();  // every control painted
  Image img = CaptureClient(app.dialog());
  std::string path = ScreenshotFolder() + "\\" + name + ".png";
  EXPECT_TRUE(SavePng(img, path)) << path;
}

// "section/key=value" for every key line of an INI text, in file order;
// section names as written.
std::vector<std::string> IniEntries(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  std::string line, section;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line[0] == '[') {
      section = line.substr(1, line.find(']') - 1);
      continue;
    }
    out.push_back(section + "/" + line);
  }
  return out;
}

// The value of key in section (any case) of an INI text, or "<missing>".
std::string IniValue(const std::string& text, const std::string& section,
                     const std::string& key) {
  for (const std::string& e : IniEntries(text)) {
    size_t slash = e.find('/'), eq = e.find('=');
    if (Lower(e.substr(0, slash)) == Lower(section) &&
        Lower(e.substr(slash + 1, eq - slash - 1)) == Lower(key))
      return e.substr(eq + 1);
  }
  return "<missing>";
}

// The keys a settings file holds after one exit, in the order they are
// written: the 108 oscillator keys, Time, dir; Version; freq, bits.
std::vector<std::string> ExpectedSettingsKeys() {
  const char* params[] = {"Tune",   "DeTune", "Bend",        "BendCurve",
                          "Volume", "Attack", "AttackCurve", "Decay",
                          "DecayCurve", "Distortion", "Mute", "WaveForm"};
  std::vector<std::string> keys;
  for (int n = 1; n <= 9; ++n)
    for (const char* p : params) keys.push_back("Setting/" + std::string(p) + std::to_string(n));
  keys.push_back("Setting/Time");
  keys.push_back("Setting/dir");
  keys.push_back("Version/Version");
  keys.push_back("format/freq");
  keys.push_back("format/bits");
  return keys;
}

std::vector<std::string> KeysOf(const std::string& text) {
  std::vector<std::string> keys;
  for (const std::string& e : IniEntries(text)) keys.push_back(e.substr(0, e.find('=')));
  return keys;
}

// Row of the topmost green pixel in column x, or h when there is none.
int TopGreen(const Image& img, int x) {
  for (int y = 0; y < img.h; ++y)
    if (img.At(x, y) == kGreen) return y;
  return img.h;
}

// True when every pixel of column x from row top down is green and every
// one above it black.
bool IsBarColumn(const Image& img, int x, int top) {
  for (int y = 0; y < img.h; ++y)
    if (img.At(x, y) != (y >= top ? kGreen : kBlack)) return false;
  return true;
}

bool OnlyGreenAndBlack(const Image& img) {
  for (uint32_t v : img.px)
    if (v != kGreen && v != kBlack) return false;
  return true;
}

struct Views {
  HWND wave, pitch, volume;
};

Views ViewsOf(const App& app) {
  return {app.View("WaveWnd", IDC_WAVE_FRAME), app.View("PitchWnd", IDC_PITCH_FRAME),
          app.View("VolWnd", IDC_VOLUME_FRAME)};
}

// Waits until the view's picture differs from before and has stayed the
// same for two captures in a row (a paint may be caught half done);
// returns it.
Image WaitForChange(HWND view, const Image& before) {
  Image now = before, last;
  WaitUntil(
      [&] {
        last = now;
        now = CaptureClient(view);
        return now != before && now == last;
      },
      kWaitTimeoutMs);
  return now;
}

const int kOscIds[9] = {IDC_OSC1, IDC_OSC2, IDC_OSC3, IDC_OSC4, IDC_OSC5,
                        IDC_OSC6, IDC_OSC7, IDC_OSC8, IDC_OSC9};

void ExpectOnlyPressed(const App& app, int id) {
  for (int other : kOscIds)
    EXPECT_EQ(app.Pressed(other), other == id) << "button " << other;
}

}  // namespace

// --- start-up ---------------------------------------------------------------

TEST(StartUp, FirstStartShowsOsc1OfTheDefaultPatch) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  // Five volume rows, four pitch rows, the length (1000 ms = Time 50).
  EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), L"80");
  EXPECT_EQ(app.Text(IDC_ATTACK_VALUE), L"0");
  EXPECT_EQ(app.Text(IDC_ATTACKCURVE_VALUE), L"0");
  EXPECT_EQ(app.Text(IDC_DECAY_VALUE), L"100");
  EXPECT_EQ(app.Text(IDC_DECAYCURVE_VALUE), L"50");
  EXPECT_EQ(app.Text(IDC_TUNE_VALUE), L"880");
  EXPECT_EQ(app.Text(IDC_DETUNE_VALUE), L"0");
  EXPECT_EQ(app.Text(IDC_BEND_VALUE), L"880");
  EXPECT_EQ(app.Text(IDC_BENDCURVE_VALUE), L"50");
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"1000");
  EXPECT_EQ(app.ScrollPos(IDC_VOLUME_BAR), 80);
  EXPECT_EQ(app.ScrollPos(IDC_DECAY_BAR), 100);
  EXPECT_EQ(app.ScrollPos(IDC_TUNE_BAR), 60);
  EXPECT_EQ(app.ScrollPos(IDC_DETUNE_BAR), 50);
  EXPECT_EQ(app.ScrollPos(IDC_TIME_BAR), 50);
  ExpectOnlyPressed(app, IDC_OSC1);
  EXPECT_FALSE(app.Checked(IDC_MUTE));
  EXPECT_EQ(app.ComboSelection(), 0);
  EXPECT_EQ(app.ComboText(0), L"正弦波");
  EXPECT_EQ(app.ComboText(1), L"鋸歯波");
  EXPECT_EQ(app.ComboText(2), L"矩形波");
  EXPECT_EQ(app.ComboText(3), L"ノイズ");
  EXPECT_EQ(app.WindowText(app.dialog()), L"PlimbarMaker");
  // The format items: 44KHz and 16Bits marked (when the menu can be read
  // from another process).
  int m44 = app.MenuChecked(IDM_RATE_44K);
  if (m44 >= 0) {
    EXPECT_EQ(m44, 1);
    EXPECT_EQ(app.MenuChecked(IDM_RATE_22K), 0);
    EXPECT_EQ(app.MenuChecked(IDM_RATE_11K), 0);
    EXPECT_EQ(app.MenuChecked(IDM_BITS_16), 1);
    EXPECT_EQ(app.MenuChecked(IDM_BITS_8), 0);
  } else {
    std::printf("note: menu states of another process cannot be read here\n");
  }
  Screenshot(app, "01-start");
}

TEST(StartUp, ViewsFillTheirFrames) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  Views v = ViewsOf(app);
  const struct { HWND view; int frame; } pairs[] = {
      {v.wave, IDC_WAVE_FRAME}, {v.pitch, IDC_PITCH_FRAME}, {v.volume, IDC_VOLUME_FRAME}};
  for (const auto& p : pairs) {
    ASSERT_NE(p.view, nullptr);
    RECT frame, view;
    GetClientRect(app.Item(p.frame), &frame);
    GetWindowRect(p.view, &view);
    POINT origin = {0, 0};
    ClientToScreen(app.Item(p.frame), &origin);
    EXPECT_EQ(view.left, origin.x) << p.frame;
    EXPECT_EQ(view.top, origin.y) << p.frame;
    EXPECT_EQ(view.right - view.left, frame.right) << p.frame;
    EXPECT_EQ(view.bottom - view.top, frame.bottom) << p.frame;
    EXPECT_GT(frame.right, 20) << p.frame;
    EXPECT_GT(frame.bottom, 20) << p.frame;
  }
}

TEST(StartUp, ViewsDrawTheDefaultPatch) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  Views v = ViewsOf(app);
  // Pitch view: Tune 60, Bend 50: a flat pitch of 60 semitones, 0.6 of
  // the view, so every column is a green bar of (H - 1) * 0.6 + 1 pixels.
  Image pitch = CaptureClient(v.pitch);
  ASSERT_GT(pitch.w, 0);
  const double tall = (pitch.h - 1) * 0.6;
  const int hHigh = static_cast<int>(tall + 1e-6), hLow = static_cast<int>(tall - 1e-6);
  for (int x = 0; x < pitch.w; ++x) {
    int top = TopGreen(pitch, x);
    EXPECT_TRUE(top == pitch.h - 1 - hHigh || top == pitch.h - 1 - hLow)
        << "column " << x << " top " << top;
    EXPECT_TRUE(IsBarColumn(pitch, x, top)) << "column " << x;
  }
  // Volume view: level 80 falling to 0 at the end. The curve's first
  // entries hold 0.776 (about Volume / 100), then the fall begins.
  Image vol = CaptureClient(v.volume);
  ASSERT_GT(vol.w, 0);
  const int firstBar = vol.h - TopGreen(vol, 0) - 1;  // h
  EXPECT_GE(firstBar, static_cast<int>((vol.h - 1) * 0.75));
  EXPECT_LE(firstBar, static_cast<int>((vol.h - 1) * 0.80));
  int previous = 0;
  for (int x = 0; x < vol.w; ++x) {
    int top = TopGreen(vol, x);
    EXPECT_TRUE(IsBarColumn(vol, x, top)) << "column " << x;
    EXPECT_GE(top, previous) << "the envelope only falls; column " << x;
    previous = top;
  }
  EXPECT_GE(TopGreen(vol, vol.w - 1), vol.h - 2);  // about 0 at the end
  // Waveform view: green on black; the sine of level 0.8 reaches about
  // 0.8 of the half height at the left and has died down at the right.
  Image wave = CaptureClient(v.wave);
  ASSERT_GT(wave.w, 0);
  EXPECT_TRUE(OnlyGreenAndBlack(wave));
  int top = wave.h;
  for (int x = 0; x < wave.w / 20; ++x) top = std::min(top, TopGreen(wave, x));
  EXPECT_NEAR(top, wave.h / 2 - 0.8 * wave.h / 2, 2.0);
  for (int y = 0; y < wave.h; ++y) {
    if (y < wave.h / 2 - 2 || y > wave.h / 2 + 2) {
      EXPECT_EQ(wave.At(wave.w - 1, y), kBlack) << "row " << y;
    }
  }
  EXPECT_EQ(wave.At(wave.w - 1, wave.h / 2), kGreen);
}

// Run twice by ctest: under the Japanese code page 932 and under 1252
// (PLIMBAR_E2E_EXPECT_ACP names the one this run must have).
TEST(CodePage, WaveformNamesShowWhateverTheAnsiCodePage) {
  const char* expected = std::getenv("PLIMBAR_E2E_EXPECT_ACP");
  if (expected != nullptr) {
    ASSERT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
  }
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName() + std::to_string(GetACP()))));
  EXPECT_EQ(app.ComboText(0), L"正弦波");
  EXPECT_EQ(app.ComboText(1), L"鋸歯波");
  EXPECT_EQ(app.ComboText(2), L"矩形波");
  EXPECT_EQ(app.ComboText(3), L"ノイズ");
  EXPECT_EQ(app.Text(IDC_MUTE), L"ミュート");
  Screenshot(app, "02-code-page-" + std::to_string(GetACP()));
}

TEST(StartUp, VolumeViewOfAStraightDecay) {
  // Volume 80, Attack 0, Decay 50, DecayCurve 50: a straight fall from
  // 0.7764736 at entry 0 to 0.0235264 at entry 123, then 0 to the end.
  // The curve is filled in steps: between its points an entry holds the
  // value of a neighbouring point, at most one step (0.8 / 32) off the line.
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName()), "[Setting]\r\nDecay1=50\r\n"));
  Image vol = CaptureClient(ViewsOf(app).volume);
  ASSERT_GT(vol.w, 0);
  for (int x = 0; x < vol.w; ++x) {
    const int entry = x * 256 / vol.w;
    const double v = entry >= 124 ? 0.0
                                  : 0.7764736 - entry * (0.7764736 - 0.0235264) / 123;
    const int h = vol.h - TopGreen(vol, x) - 1;
    EXPECT_LE(h, (vol.h - 1) * (v + 0.8 / 32) + 1.0) << "column " << x << " entry " << entry;
    EXPECT_GE(h, (vol.h - 1) * (v - 0.8 / 32) - 1.0) << "column " << x << " entry " << entry;
    if (entry == 0) {
      EXPECT_EQ(h, static_cast<int>((vol.h - 1) * 0.7764736));
    }
    if (entry >= 124) {
      EXPECT_EQ(h, 0) << "column " << x;
    }
    EXPECT_TRUE(IsBarColumn(vol, x, vol.h - 1 - h)) << "column " << x;
  }
}

// --- scroll bars -------------------------------------------------------------

TEST(Scroll, VolumeBarLinePageThumbAndEndScroll) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  const struct { int code, pos; const wchar_t* shown; } steps[] = {
      {SB_LINERIGHT, 0, L"81"},   {SB_PAGERIGHT, 0, L"91"},
      {SB_PAGERIGHT, 0, L"100"},  {SB_LINERIGHT, 0, L"100"},
      {SB_PAGELEFT, 0, L"90"},    {SB_THUMBTRACK, 37, L"37"},
      {SB_ENDSCROLL, 0, L"37"},   {SB_THUMBPOSITION, 5, L"5"},
      {SB_PAGELEFT, 0, L"0"},     {SB_LINELEFT, 0, L"0"},
      {SB_LINERIGHT, 0, L"1"},    {SB_TOP, 0, L"1"},
      {SB_BOTTOM, 0, L"1"},
  };
  for (const auto& s : steps) {
    app.Scroll(IDC_VOLUME_BAR, s.code, s.pos);
    EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), s.shown) << "code " << s.code;
    EXPECT_EQ(app.ScrollPos(IDC_VOLUME_BAR), _wtoi(s.shown)) << "code " << s.code;
  }
}

TEST(Scroll, PitchDisplaysShowFrequenciesAndSignedDetune) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  app.Scroll(IDC_DETUNE_BAR, SB_THUMBTRACK, 0);
  EXPECT_EQ(app.Text(IDC_DETUNE_VALUE), L"-100");
  app.Scroll(IDC_DETUNE_BAR, SB_THUMBTRACK, 100);
  EXPECT_EQ(app.Text(IDC_DETUNE_VALUE), L"100");
  app.Scroll(IDC_DETUNE_BAR, SB_THUMBPOSITION, 50);
  EXPECT_EQ(app.Text(IDC_DETUNE_VALUE), L"0");
  // 72 semitones above 27.5 Hz: 1760 Hz; 48: 440 Hz. Bend 50 keeps the end
  // pitch equal to the start.
  app.Scroll(IDC_TUNE_BAR, SB_THUMBTRACK, 72);
  EXPECT_EQ(app.Text(IDC_TUNE_VALUE), L"1760");
  EXPECT_EQ(app.Text(IDC_BEND_VALUE), L"1760");
  app.Scroll(IDC_TUNE_BAR, SB_PAGELEFT);
  app.Scroll(IDC_TUNE_BAR, SB_LINELEFT);
  app.Scroll(IDC_TUNE_BAR, SB_LINELEFT);
  EXPECT_EQ(app.ScrollPos(IDC_TUNE_BAR), 60);
  EXPECT_EQ(app.Text(IDC_TUNE_VALUE), L"880");
  app.Scroll(IDC_TUNE_BAR, SB_THUMBPOSITION, 48);
  EXPECT_EQ(app.Text(IDC_TUNE_VALUE), L"440");
  // Bend 100 doubles the end pitch in semitones: 96 above 27.5 Hz is
  // 27.5 * 2^8 = 7040 Hz; Bend 25 halves it: 24 semitones, 110 Hz.
  app.Scroll(IDC_BEND_BAR, SB_THUMBTRACK, 100);
  EXPECT_EQ(app.Text(IDC_BEND_VALUE), L"7040");
  app.Scroll(IDC_BEND_BAR, SB_THUMBTRACK, 25);
  EXPECT_EQ(app.Text(IDC_BEND_VALUE), L"110");
  EXPECT_EQ(app.Text(IDC_TUNE_VALUE), L"440");
  EXPECT_EQ(app.Text(IDC_BENDCURVE_VALUE), L"50");
}

TEST(Scroll, TimeDraggedToZeroShows20) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  app.Scroll(IDC_TIME_BAR, SB_THUMBTRACK, 0);
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"20");
  EXPECT_EQ(app.ScrollPos(IDC_TIME_BAR), 1);
  app.Scroll(IDC_TIME_BAR, SB_LINELEFT);
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"20");
  app.Scroll(IDC_TIME_BAR, SB_ENDSCROLL);
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"20");
  app.Scroll(IDC_TIME_BAR, SB_PAGERIGHT);
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"220");
  app.Scroll(IDC_TIME_BAR, SB_THUMBPOSITION, 100);
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"2000");
  app.Scroll(IDC_TIME_BAR, SB_LINERIGHT);
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"2000");
}

TEST(Scroll, EditsRedrawTheCurvesButNotTheWaveformUntilRendered) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  Views v = ViewsOf(app);
  Image wave = CaptureClient(v.wave);
  Image vol = CaptureClient(v.volume);
  const int bar80 = vol.h - TopGreen(vol, 0) - 1;
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 40);
  Image volAfter = WaitForChange(v.volume, vol);
  EXPECT_NE(volAfter, vol);
  // The envelope scales with Volume: half the level, half the bar.
  const int bar40 = volAfter.h - TopGreen(volAfter, 0) - 1;
  EXPECT_NEAR(bar40, bar80 / 2.0, 1.0);
  ASSERT_TRUE(app.Settle());
  EXPECT_EQ(CaptureClient(v.wave), wave) << "an edit alone does not render";
  // The dialog's IDOK renders what is pending and redraws the waveform.
  app.Command(IDOK);
  Image waveAfter = WaitForChange(v.wave, wave);
  EXPECT_NE(waveAfter, wave);
  int top = waveAfter.h;
  for (int x = 0; x < waveAfter.w / 20; ++x) top = std::min(top, TopGreen(waveAfter, x));
  EXPECT_NEAR(top, waveAfter.h / 2 - 0.4 * waveAfter.h / 2, 2.0);
}

// --- oscillators ---------------------------------------------------------------

// A working patch with an OSC7 unlike OSC1: loud enough to show, two
// octaves up (Tune 84: 3520 Hz), square wave, muted, short decay.
const char kOsc7Settings[] =
    "[Setting]\r\nVolume7=30\r\nTune7=84\r\nDecay7=40\r\nWaveForm7=2\r\n"
    "Mute7=1\r\nAttack1=20\r\n";

TEST(Oscillators, ChoosingOsc7ChangesPanelAndCurvesNotWaveform) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName()), kOsc7Settings));
  Views v = ViewsOf(app);
  EXPECT_EQ(app.Text(IDC_ATTACK_VALUE), L"20");
  Image wave = CaptureClient(v.wave);
  Image pitch = CaptureClient(v.pitch);
  Image vol = CaptureClient(v.volume);
  app.Command(IDC_OSC7);
  EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), L"30");
  EXPECT_EQ(app.Text(IDC_ATTACK_VALUE), L"0");
  EXPECT_EQ(app.Text(IDC_DECAY_VALUE), L"40");
  EXPECT_EQ(app.Text(IDC_TUNE_VALUE), L"3520");
  EXPECT_EQ(app.ScrollPos(IDC_TUNE_BAR), 84);
  EXPECT_TRUE(app.Checked(IDC_MUTE));
  EXPECT_EQ(app.ComboSelection(), 2);
  ExpectOnlyPressed(app, IDC_OSC7);
  // The pitch view now shows 84 semitones: bars of (H - 1) * 0.84 + 1.
  Image pitch7 = WaitForChange(v.pitch, pitch);
  const double tall = (pitch7.h - 1) * 0.84;
  for (int x = 0; x < pitch7.w; x += 7) {
    int top = TopGreen(pitch7, x);
    EXPECT_NEAR(pitch7.h - 1 - top, tall, 1.0) << "column " << x;
  }
  Image vol7 = WaitForChange(v.volume, vol);
  EXPECT_NE(vol7, vol);
  ASSERT_TRUE(app.Settle());
  EXPECT_EQ(CaptureClient(v.wave), wave) << "choosing renders nothing";
  Screenshot(app, "03-osc7");
  // Back to OSC1: its values again.
  app.Command(IDC_OSC1);
  ExpectOnlyPressed(app, IDC_OSC1);
  EXPECT_EQ(app.Text(IDC_ATTACK_VALUE), L"20");
  EXPECT_FALSE(app.Checked(IDC_MUTE));
}

TEST(Oscillators, WaveformChangeRedrawsTheWaveformViewAtOnce) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  Views v = ViewsOf(app);
  Image wave = CaptureClient(v.wave);
  HWND combo = app.Item(IDC_WAVEFORM);
  // Another notification than a selection change does nothing.
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  app.Command(IDC_WAVEFORM, CBN_SETFOCUS, combo);
  app.Command(IDOK);  // renders only what is pending: nothing changed
  ASSERT_TRUE(app.Settle());
  EXPECT_EQ(CaptureClient(v.wave), wave);
  // The square wave: a selection change renders at once.
  app.Command(IDC_WAVEFORM, CBN_SELCHANGE, combo);
  Image square = WaitForChange(v.wave, wave);
  ASSERT_NE(square, wave);
  // A square wave sits at its two levels: at the left, most green pixels
  // lie on the rows of +0.8 and -0.8.
  const int up = square.h / 2 - (26213 * square.h) / 65536;
  int onLevels = 0, green = 0;
  for (int x = 0; x < square.w / 50; ++x)
    for (int y = 0; y < square.h; ++y)
      if (square.At(x, y) == kGreen) {
        ++green;
        if (std::abs(y - up) <= 1 || std::abs(y - (square.h - up)) <= 1) ++onLevels;
      }
  EXPECT_GT(green, 0);
  EXPECT_GT(onLevels * 10, green * 8) << onLevels << " of " << green;
  Screenshot(app, "04-square-wave");
}

// --- exit and restart ------------------------------------------------------------

enum class WayOut { kEscape, kCloseBox, kExitButton, kExitMenu, kAltF4 };

class ExitWay : public testing::TestWithParam<WayOut> {};

TEST_P(ExitWay, WritesTheSettingsFile) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 42);
  ASSERT_FALSE(FileExists(app.SettingsPath()));
  switch (GetParam()) {
    case WayOut::kEscape:
      PostMessageW(app.dialog(), WM_KEYDOWN, VK_ESCAPE, 0x00010001);
      break;
    case WayOut::kCloseBox:
      PostMessageW(app.dialog(), WM_SYSCOMMAND, SC_CLOSE, 0);
      break;
    case WayOut::kExitButton:
      PostMessageW(app.Item(IDCANCEL), BM_CLICK, 0, 0);
      break;
    case WayOut::kExitMenu:
      app.PostCommand(IDM_EXIT);
      break;
    case WayOut::kAltF4:
      PostMessageW(app.dialog(), WM_SYSKEYDOWN, VK_F4, 0x20000001);
      break;
  }
  DWORD code = 1234;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, &code));
  EXPECT_EQ(code, 0u);
  std::string ini = ReadFile(app.SettingsPath());
  EXPECT_EQ(KeysOf(ini), ExpectedSettingsKeys());
  EXPECT_EQ(IniValue(ini, "Setting", "Volume1"), "42");
  EXPECT_EQ(IniValue(ini, "Setting", "Decay1"), "100");
  EXPECT_EQ(IniValue(ini, "Setting", "Time"), "50");
  EXPECT_EQ(IniValue(ini, "Version", "Version"), "20");
  EXPECT_EQ(IniValue(ini, "setting", "dir"), "");
  EXPECT_EQ(IniValue(ini, "format", "freq"), "44100");
  EXPECT_EQ(IniValue(ini, "format", "bits"), "16");
}

INSTANTIATE_TEST_SUITE_P(Exit, ExitWay,
                         testing::Values(WayOut::kEscape, WayOut::kCloseBox,
                                         WayOut::kExitButton, WayOut::kExitMenu,
                                         WayOut::kAltF4));

TEST(Exit, RestartBringsBackPatchFormatAndFolder) {
  const std::string dir = RunFolder(TestName());
  const std::string folder = dir + "\\My Sounds";
  {
    App app;
    ASSERT_TRUE(app.Start(dir, ("[format]\r\nfreq=22050\r\nbits=8\r\n[setting]\r\ndir=" +
                                folder + "\r\n").c_str()));
    CreateDirectoryA(folder.c_str(), nullptr);
    if (app.MenuChecked(IDM_RATE_22K) >= 0) {
      EXPECT_EQ(app.MenuChecked(IDM_RATE_22K), 1);
      EXPECT_EQ(app.MenuChecked(IDM_RATE_44K), 0);
      EXPECT_EQ(app.MenuChecked(IDM_BITS_8), 1);
    }
    app.Scroll(IDC_TIME_BAR, SB_THUMBTRACK, 10);
    app.Command(IDC_OSC5);
    app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 66);
    app.Scroll(IDC_DECAYCURVE_BAR, SB_THUMBTRACK, 12);
    PostMessageW(app.Item(IDC_MUTE), BM_CLICK, 0, 0);
    ASSERT_TRUE(WaitUntil([&] { return app.Checked(IDC_MUTE); }, kWaitTimeoutMs));
    Screenshot(app, "05-edited-osc5");
    app.PostCommand(IDCANCEL);
    ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, nullptr));
  }
  // The program was copied afresh; the settings file stays.
  std::string ini = ReadFile(dir + "\\PlimbarMaker.ini");
  EXPECT_EQ(IniValue(ini, "format", "freq"), "22050");
  EXPECT_EQ(IniValue(ini, "format", "bits"), "8");
  EXPECT_EQ(IniValue(ini, "Setting", "Volume5"), "66");
  EXPECT_EQ(IniValue(ini, "Setting", "Mute5"), "1");
  EXPECT_EQ(IniValue(ini, "Setting", "Time"), "10");
  App again;
  ASSERT_TRUE(again.Start(dir, nullptr, {}, /*keep=*/true));
  // OSC1 is current again; the edited OSC5 and Time came back.
  ExpectOnlyPressed(again, IDC_OSC1);
  EXPECT_EQ(again.Text(IDC_TIME_VALUE), L"200");
  again.Command(IDC_OSC5);
  EXPECT_EQ(again.Text(IDC_VOLUME_VALUE), L"66");
  EXPECT_EQ(again.Text(IDC_DECAYCURVE_VALUE), L"12");
  EXPECT_TRUE(again.Checked(IDC_MUTE));
  if (again.MenuChecked(IDM_RATE_22K) >= 0) {
    EXPECT_EQ(again.MenuChecked(IDM_RATE_22K), 1);
    EXPECT_EQ(again.MenuChecked(IDM_BITS_8), 1);
  }
  again.PostCommand(IDM_EXIT);
  ASSERT_TRUE(again.WaitForExit(kWaitTimeoutMs * 2, nullptr));
  std::string ini2 = ReadFile(dir + "\\PlimbarMaker.ini");
  EXPECT_EQ(IniValue(ini2, "setting", "dir"), IniValue(ini, "setting", "dir"));
  EXPECT_EQ(IniValue(ini2, "format", "freq"), "22050");
}

TEST(Exit, SettingsWithCapitalSectionNamesAreRead) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName()),
                        "[SETTING]\r\nVOLUME1=33\r\ntime=5\r\nDIR=C:\\windows\r\n"
                        "[FORMAT]\r\nFREQ=11025\r\n"));
  EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), L"33");
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"100");
  app.PostCommand(IDCANCEL);
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, nullptr));
  std::string ini = ReadFile(app.SettingsPath());
  EXPECT_EQ(IniValue(ini, "setting", "dir"), "C:\\windows");
  EXPECT_EQ(IniValue(ini, "format", "freq"), "11025");
  EXPECT_EQ(IniValue(ini, "Setting", "Volume1"), "33");
}

TEST(Exit, UnknownFormatAndOutOfRangeValuesAreBroughtIntoRange) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName()),
                        "[Setting]\r\nVolume1=250\r\nTime=0\r\nDeTune1=-7\r\n"
                        "WaveForm1=9\r\n[format]\r\nfreq=48000\r\nbits=24\r\n"));
  EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), L"100");
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"20");
  EXPECT_EQ(app.Text(IDC_DETUNE_VALUE), L"-100");
  EXPECT_EQ(app.ComboSelection(), 3);
  if (app.MenuChecked(IDM_RATE_44K) >= 0) {
    EXPECT_EQ(app.MenuChecked(IDM_RATE_44K), 1);
    EXPECT_EQ(app.MenuChecked(IDM_BITS_16), 1);
  }
  app.PostCommand(IDCANCEL);
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, nullptr));
  std::string ini = ReadFile(app.SettingsPath());
  EXPECT_EQ(IniValue(ini, "format", "freq"), "44100");
  EXPECT_EQ(IniValue(ini, "format", "bits"), "16");
  EXPECT_EQ(IniValue(ini, "Setting", "Volume1"), "100");
  EXPECT_EQ(IniValue(ini, "Setting", "Time"), "1");
}

// --- file dialogs ----------------------------------------------------------------

namespace {

// Opens a file dialog with a command and waits for it.
HWND OpenFileDialog(App& app, int command) {
  app.PostCommand(command);
  return app.WaitForOtherDialog();
}

uint32_t Le32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint8_t>(b[at + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
uint32_t Le16(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8;
}

// The patch keys of a patch file, in the order they are written.
std::vector<std::string> ExpectedPatchKeys() {
  std::vector<std::string> keys = ExpectedSettingsKeys();
  keys.erase(keys.begin() + 109, keys.end());  // up to Setting/Time
  keys.push_back("Version/Version");
  return keys;
}

}  // namespace

TEST(Files, SaveAsSaveWavExportAndOpenThroughTheDialogs) {
  const std::string dir = RunFolder(TestName());
  const std::string sounds = dir + "\\Sounds";
  App app;
  ASSERT_TRUE(app.Start(dir));
  CreateDirectoryA(sounds.c_str(), nullptr);
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 90);
  app.Scroll(IDC_TIME_BAR, SB_THUMBTRACK, 25);  // 500 ms
  HWND combo = app.Item(IDC_WAVEFORM);
  SendMessageW(combo, CB_SETCURSEL, 2, 0);
  app.Command(IDC_WAVEFORM, CBN_SELCHANGE, combo);  // square; renders

  // Save As: no current file yet, so the proposed name is ".plb" alone.
  HWND dlg = OpenFileDialog(app, IDM_SAVE_AS);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(App::FileTypes(dlg), (std::vector<std::wstring>{L"*.plb", L"*.*"}));
  App::TypeFileName(dlg, sounds + "\\kick");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  std::string kick = ReadFile(sounds + "\\kick.plb");
  EXPECT_EQ(KeysOf(kick), ExpectedPatchKeys());
  EXPECT_EQ(IniValue(kick, "Setting", "Volume1"), "90");
  EXPECT_EQ(IniValue(kick, "Setting", "Time"), "25");
  EXPECT_EQ(IniValue(kick, "Setting", "WaveForm1"), "2");
  EXPECT_EQ(IniValue(kick, "Version", "Version"), "20");
  EXPECT_FALSE(FileExists(sounds + "\\kick"));

  // Save: no dialog; the same file, rewritten.
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 70);
  app.Command(IDM_SAVE);
  EXPECT_EQ(IniValue(ReadFile(sounds + "\\kick.plb"), "Setting", "Volume1"), "70");
  EXPECT_FALSE(FileExists(sounds + "\\kick.plb.plb"));

  // WAV export: proposes kick.wav; a bare name lands in Sounds.
  dlg = OpenFileDialog(app, IDM_SAVE_WAV);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(App::FileTypes(dlg), (std::vector<std::wstring>{L"*.wav", L"*.*"}));
  std::wstring proposed = app.WindowText(App::FileNameEdit(dlg));
  // The dialog takes the proposed Sounds\kick.wav apart: it opens in
  // Sounds and shows the name alone.
  EXPECT_EQ(proposed, L"kick.wav");
  App::TypeFileName(dlg, "drum");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  const std::string wav = ReadFile(sounds + "\\drum.wav");
  // 500 ms at 44100 Hz, 16 bits, mono: 22050 samples, 44100 bytes.
  ASSERT_EQ(wav.size(), 44u + 44100u);
  EXPECT_EQ(wav.substr(0, 4), "RIFF");
  EXPECT_EQ(Le32(wav, 4), 44100u + 36u);
  EXPECT_EQ(wav.substr(8, 8), "WAVEfmt ");
  EXPECT_EQ(Le32(wav, 16), 16u);
  EXPECT_EQ(Le16(wav, 20), 1u);
  EXPECT_EQ(Le16(wav, 22), 1u);
  EXPECT_EQ(Le32(wav, 24), 44100u);
  EXPECT_EQ(Le32(wav, 28), 88200u);
  EXPECT_EQ(Le16(wav, 32), 2u);
  EXPECT_EQ(Le16(wav, 34), 16u);
  EXPECT_EQ(wav.substr(36, 4), "data");
  EXPECT_EQ(Le32(wav, 40), 44100u);
  // The square wave at level 0.9 rendered before the export: it starts on
  // a plateau (880 Hz: 25 samples per half period) near 0.9 of full scale
  // (the envelope's first entries hold 0.97 of the level).
  const int16_t first = static_cast<int16_t>(Le16(wav, 44));
  EXPECT_NEAR(first, 0.9 * 0.97 * 32767, 200);
  for (int i = 1; i < 20; ++i) EXPECT_EQ(static_cast<int16_t>(Le16(wav, 44 + 2 * i)), first) << i;

  // Open: change the patch, then load kick.plb by its bare name from the
  // last folder.
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 10);
  dlg = OpenFileDialog(app, IDM_OPEN);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(app.WindowText(App::FileNameEdit(dlg)), L"") << "Open starts with an empty name";
  App::TypeFileName(dlg, "kick.plb");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  EXPECT_EQ(app.Text(IDC_VOLUME_VALUE), L"70");
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"500");
  EXPECT_EQ(app.ComboSelection(), 2);
  Screenshot(app, "06-after-open");

  // Cancelling Open keeps the current name (as a .plb name): Save then
  // writes kick.plb again without a dialog.
  dlg = OpenFileDialog(app, IDM_OPEN);
  ASSERT_NE(dlg, nullptr);
  ASSERT_TRUE(App::CancelFileDialog(dlg));
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 55);
  app.Command(IDM_SAVE);
  EXPECT_EQ(IniValue(ReadFile(sounds + "\\kick.plb"), "Setting", "Volume1"), "55");

  app.PostCommand(IDM_EXIT);
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, nullptr));
  const std::string ini = ReadFile(app.SettingsPath());
  EXPECT_EQ(Lower(IniValue(ini, "setting", "dir")), Lower(sounds));

  // Next run: the file dialogs start in the last folder again.
  App again;
  ASSERT_TRUE(again.Start(dir, nullptr, {}, /*keep=*/true));
  again.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 1);
  dlg = OpenFileDialog(again, IDM_OPEN);
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, "kick.plb");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(again.Settle());
  EXPECT_EQ(again.Text(IDC_VOLUME_VALUE), L"55");
  // With no current file after the restart... the Open set it: Save
  // writes kick.plb without a dialog.
  again.PostCommand(IDCANCEL);
  ASSERT_TRUE(again.WaitForExit(kWaitTimeoutMs * 2, nullptr));
}

TEST(Files, WavExportInTheStoredFormatAndExtensionRules) {
  const std::string dir = RunFolder(TestName());
  App app;
  ASSERT_TRUE(app.Start(dir, "[Setting]\r\nTime=1\r\n[format]\r\nfreq=11025\r\nbits=8\r\n"));
  // No current file: a cancelled Open leaves none, so Save asks for a name.
  HWND open = OpenFileDialog(app, IDM_OPEN);
  ASSERT_NE(open, nullptr);
  ASSERT_TRUE(App::CancelFileDialog(open));
  HWND saveAs = OpenFileDialog(app, IDM_SAVE);
  ASSERT_NE(saveAs, nullptr);
  EXPECT_EQ(App::WindowText(App::FileNameEdit(saveAs)), L".plb");
  ASSERT_TRUE(App::CancelFileDialog(saveAs));
  // 20 ms at 11025 Hz, 8 bits: 882 / 4 = 220 bytes.
  HWND dlg = OpenFileDialog(app, IDM_SAVE_WAV);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(app.WindowText(App::FileNameEdit(dlg)), L".wav");
  App::TypeFileName(dlg, dir + "\\TINY.WAV");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  const std::string wav = ReadFile(dir + "\\TINY.WAV");
  ASSERT_EQ(wav.size(), 44u + 220u);
  EXPECT_EQ(Le32(wav, 24), 11025u);
  EXPECT_EQ(Le16(wav, 34), 8u);
  EXPECT_EQ(Le32(wav, 40), 220u);
  // A 3-character name gets the extension added: a.w.wav.
  dlg = OpenFileDialog(app, IDM_SAVE_WAV);
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, dir + "\\a.w");
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(FileExists(dir + "\\a.w.wav"));
  // Save with the WAV's name as the current name writes a.w.plb: the
  // first '.' begins a text of 2 characters, which is stripped... the
  // overwrite-save appends ".plb" to the chosen name as it is.
  app.Command(IDM_SAVE);
  EXPECT_TRUE(FileExists(dir + "\\a.w.plb"));
  app.PostCommand(IDCANCEL);
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, nullptr));
}

// --- the dialog's controls ------------------------------------------------------

TEST(Dialog, SixtyNineControlsInTemplateOrderWithTheirStylesAndPlaces) {
  ASSERT_EQ(sizeof kControls / sizeof kControls[0], 69u);
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  std::vector<HWND> children;
  for (HWND c = GetWindow(app.dialog(), GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT))
    children.push_back(c);
  ASSERT_EQ(children.size(), 69u);
  // Dialog units to pixels from the outer frame (10, 5, 360, 195).
  RECT outer;
  GetWindowRect(children[0], &outer);
  POINT origin = {0, 0};
  ClientToScreen(app.dialog(), &origin);
  const double sx = (outer.right - outer.left) / 360.0, sy = (outer.bottom - outer.top) / 195.0;
  const double ox = origin.x, oy = origin.y;
  for (size_t i = 0; i < children.size(); ++i) {
    const ControlSpec& s = kControls[i];
    HWND c = children[i];
    char cls[64] = "";
    GetClassNameA(c, cls, sizeof cls);
    EXPECT_STREQ(cls, s.cls) << "control " << i;
    EXPECT_EQ(static_cast<int>(static_cast<int16_t>(GetWindowLongW(c, GWL_ID))), s.id)
        << "control " << i;
    const DWORD style = static_cast<DWORD>(GetWindowLongW(c, GWL_STYLE));
    // A combo box hands its WS_VSCROLL to its drop-down list when it is
    // made; the template has it.
    const DWORD running = s.id == IDC_WAVEFORM ? s.style & ~WS_VSCROLL : s.style;
    EXPECT_EQ(style, WS_CHILD | WS_VISIBLE | running)
        << "control " << i << " id " << s.id << std::hex << " style " << style;
    if (s.text != nullptr) {
      EXPECT_EQ(App::WindowText(c), s.text) << "control " << i;
    }
    RECT r;
    GetWindowRect(c, &r);
    EXPECT_NEAR(r.left - ox, s.x * sx, 1.5) << "control " << i;
    EXPECT_NEAR(r.top - oy, s.y * sy, 1.5) << "control " << i;
    EXPECT_NEAR(r.right - r.left, s.w * sx, 1.5) << "control " << i;
    if (std::string(cls) != "ComboBox") {  // a closed combo box is one line high
      EXPECT_NEAR(r.bottom - r.top, s.h * sy, 1.5) << "control " << i;
    }
  }
  const DWORD dstyle = static_cast<DWORD>(GetWindowLongW(app.dialog(), GWL_STYLE));
  const DWORD want = WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | DS_3DLOOK |
                     DS_SETFONT | DS_CENTER | WS_VISIBLE | WS_CLIPSIBLINGS;
  EXPECT_EQ(dstyle & ~(WS_CLIPSIBLINGS), want & ~WS_CLIPSIBLINGS) << std::hex << dstyle;
  EXPECT_TRUE(GetWindowLongW(app.dialog(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  // Client area: 381 x 292 dialog units.
  RECT cr;
  GetClientRect(app.dialog(), &cr);
  EXPECT_NEAR(cr.right, 381 * sx, 2.0);
}

TEST(Files, NamesThatCannotTakeTheExtensionWriteNothing) {
  const std::string dir = RunFolder(TestName());
  App app;
  ASSERT_TRUE(app.Start(dir));
  auto countStartingWith = [&](const std::string& prefix) {
    int n = 0;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "\\" + prefix + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return 0;
    do ++n; while (FindNextFileA(h, &fd));
    FindClose(h);
    return n;
  };
  // 259 characters chosen: no room for ".plb" or ".wav" in a path buffer.
  const std::string full = dir + "\\" + std::string(259 - dir.size() - 1, 'x');
  ASSERT_EQ(full.size(), 259u);
  HWND dlg = OpenFileDialog(app, IDM_SAVE_AS);
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, full);
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  dlg = OpenFileDialog(app, IDM_SAVE_WAV);
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, full);
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  // The Save As took the long name as the current one (no dialog now: the
  // save itself fails, as nothing fits).
  app.PostCommand(IDM_SAVE);
  ASSERT_TRUE(app.Settle());
  EXPECT_EQ(app.WaitForOtherDialog(500), nullptr);
  EXPECT_EQ(countStartingWith("x"), 0);
  // 255 characters take ".plb" and ".wav" (259).
  const std::string fits = dir + "\\" + std::string(255 - dir.size() - 1, 'y');
  dlg = OpenFileDialog(app, IDM_SAVE_AS);
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, fits);
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  dlg = OpenFileDialog(app, IDM_SAVE_WAV);
  ASSERT_NE(dlg, nullptr);
  App::TypeFileName(dlg, fits);
  ASSERT_TRUE(App::ConfirmFileDialog(dlg));
  ASSERT_TRUE(app.Settle());
  EXPECT_TRUE(FileExists(fits + ".plb"));
  EXPECT_TRUE(FileExists(fits + ".wav"));
  EXPECT_EQ(countStartingWith("y"), 2);
  // The program is still fine.
  app.PostCommand(IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 2, &code));
  EXPECT_EQ(code, 0u);
}
