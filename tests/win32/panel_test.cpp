// The parameter panel on the real main dialog, made in this process: which
// oscillators an edit marks render-pending, what it changes and what it
// leaves alone. Needs a display (run with the end-to-end fixture).
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "resources/resource.h"
#include "tests/win32/dialog_support.h"
#include "ui/app.h"
#include "ui/file_commands.h"
#include "ui/main_dialog.h"
#include "ui/panel.h"
#include "ui/views.h"

namespace plimbar {
namespace {

using test::ClearPending;
using test::Pending;
using test::Text;

class Panel : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(RegisterViewClasses(g_instance));
  }
  void SetUp() override {
    ResetEngine(g_engine);
    g_settingsPath[0] = '\0';  // no settings file: the defaults
    dialog_ = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 MainDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
    ASSERT_EQ(g_mainDialog, dialog_);
    Pump();
  }
  void TearDown() override {
    DestroyWindow(dialog_);
    Pump();
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  HWND Bar(int id) const { return GetDlgItem(dialog_, id); }
  void Scroll(int id, int code, int pos = 0) { HandleScroll(code, pos, Bar(id)); }

  HWND dialog_ = nullptr;
};

TEST_F(Panel, StartsOnOsc1OfTheDefaultPatchWithNothingPending) {
  EXPECT_EQ(g_currentOsc, 0);
  EXPECT_EQ(Pending(), "000000000");  // the load rendered everything
  EXPECT_EQ(g_engine.patch.Time, 50);
  EXPECT_EQ(g_engine.patch.soundLength, 44100);
  EXPECT_EQ(Text(IDC_VOLUME_VALUE), "80");
  EXPECT_EQ(GetScrollPos(Bar(IDC_VOLUME_BAR), SB_CTL), 80);
  int lo = -1, hi = -1;
  GetScrollRange(Bar(IDC_TIME_BAR), SB_CTL, &lo, &hi);
  EXPECT_EQ(lo, 0);
  EXPECT_EQ(hi, 100);
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_WAVEFORM, CB_GETCOUNT, 0, 0), 4);
}

bool MenuChecked(int id) {
  return (GetMenuState(GetMenu(g_mainDialog), id, MF_BYCOMMAND) & MF_CHECKED) != 0;
}

TEST_F(Panel, FormatMarksFollowTheSettings) {
  EXPECT_TRUE(MenuChecked(IDM_RATE_44K));
  EXPECT_FALSE(MenuChecked(IDM_RATE_22K));
  EXPECT_FALSE(MenuChecked(IDM_RATE_11K));
  EXPECT_TRUE(MenuChecked(IDM_BITS_16));
  EXPECT_FALSE(MenuChecked(IDM_BITS_8));
  // A settings file with 22050 Hz and 8 bits: marked, and the first render
  // is already 8-bit at 22050 Hz.
  DestroyWindow(dialog_);
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::strcat(path, "plimbar_panel_settings.ini");
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("[format]\r\nfreq=22050\r\nbits=8\r\n", f);
  std::fclose(f);
  std::strcpy(g_settingsPath, path);
  ResetEngine(g_engine);
  dialog_ = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, MainDialogProc, 0);
  ASSERT_NE(dialog_, nullptr);
  g_settingsPath[0] = '\0';
  DeleteFileA(path);
  EXPECT_FALSE(MenuChecked(IDM_RATE_44K));
  EXPECT_TRUE(MenuChecked(IDM_RATE_22K));
  EXPECT_TRUE(MenuChecked(IDM_BITS_8));
  EXPECT_FALSE(MenuChecked(IDM_BITS_16));
  EXPECT_EQ(g_engine.format.rate, 22050);
  // OSC1's sine at level 0.78 went into the 8-bit buffer (peaks about
  // 0.78 * 127 from 128); the 16-bit one was never written.
  int peak = 0, any16 = 0;
  for (int i = 0; i < 100; ++i) {
    peak = std::max(peak, std::abs(g_engine.pcm8[i] - 128));
    any16 |= g_engine.pcm16[i];
  }
  EXPECT_NEAR(peak, 0.776 * 127, 3);
  EXPECT_EQ(any16, 0);
}

TEST_F(Panel, EditsMarkTheOscillatorAndThoseAboveIt) {
  struct Case {
    int osc;  // button id
    int bar;
    const char* pending;
  } cases[] = {
      {IDC_OSC2, IDC_VOLUME_BAR, "110000000"},  // not OSC3 below it
      {IDC_OSC1, IDC_TUNE_BAR, "100000000"},
      {IDC_OSC9, IDC_ATTACK_BAR, "000000111"},
      {IDC_OSC6, IDC_DETUNE_BAR, "000111000"},
      {IDC_OSC5, IDC_DECAY_BAR, "000111000"},   // Decay: the whole chain
      {IDC_OSC1, IDC_DECAY_BAR, "111000000"},
      {IDC_OSC8, IDC_DECAY_BAR, "000000111"},
      {IDC_OSC9, IDC_DECAY_BAR, "000000111"},
      {IDC_OSC4, IDC_TIME_BAR, "111111111"},    // Time: all nine
  };
  for (const Case& c : cases) {
    SelectOscillator(c.osc);
    ClearPending();
    Scroll(c.bar, SB_LINELEFT);
    EXPECT_EQ(Pending(), c.pending) << "osc button " << c.osc << " bar " << c.bar;
  }
  SelectOscillator(IDC_OSC2);
  ClearPending();
  CheckDlgButton(dialog_, IDC_MUTE, BST_CHECKED);
  MuteChanged();
  EXPECT_EQ(Pending(), "110000000");
  EXPECT_EQ(g_engine.patch.Mute[1], 1);
}

TEST_F(Panel, SelectingAnOscillatorMarksAndRendersNothing) {
  g_engine.patch.Volume[6] = 30;
  ClearPending();
  int16_t before[64];
  std::memcpy(before, g_engine.pcm16, sizeof before);
  SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_OSC7, BN_CLICKED), 0);
  EXPECT_EQ(g_currentOsc, 6);
  EXPECT_EQ(Pending(), "000000000");
  EXPECT_EQ(Text(IDC_VOLUME_VALUE), "30");
  EXPECT_EQ(std::memcmp(before, g_engine.pcm16, sizeof before), 0);
  for (int n = 0; n < kOscillators; ++n) {
    const LRESULT state = SendMessageW(GetDlgItem(dialog_, kOscButtonIds[n]), BM_GETSTATE, 0, 0);
    EXPECT_EQ((state & BST_PUSHED) != 0, n == 6) << n;
  }
}

TEST_F(Panel, EndScrollAndTheOtherCodesChangeNothingButStillMark) {
  SelectOscillator(IDC_OSC3);
  const int volume = g_engine.patch.Volume[2];
  for (int code : {SB_ENDSCROLL, SB_TOP, SB_BOTTOM, 99}) {
    ClearPending();
    Scroll(IDC_VOLUME_BAR, code, 77);
    EXPECT_EQ(g_engine.patch.Volume[2], volume) << code;
    EXPECT_EQ(Pending(), "111000000") << code;
  }
}

TEST_F(Panel, TimeNeverStaysAtZero) {
  Scroll(IDC_TIME_BAR, SB_THUMBTRACK, 0);
  EXPECT_EQ(g_engine.patch.Time, 1);
  EXPECT_EQ(g_engine.patch.soundLength, 882);
  EXPECT_EQ(Text(IDC_TIME_VALUE), "20");
  ClearPending();
  Scroll(IDC_TIME_BAR, SB_LINELEFT);  // 1 -> 0 -> 1
  EXPECT_EQ(g_engine.patch.Time, 1);
  EXPECT_EQ(Pending(), "111111111");
  Scroll(IDC_TIME_BAR, SB_PAGERIGHT);
  EXPECT_EQ(g_engine.patch.soundLength, 11 * 882);
}

TEST_F(Panel, ThumbPositionsFromElsewhereStayInRange) {
  // The bars never send more than 100, but the position is 16 bits wide:
  // Time 500 would run the render past its buffers.
  Scroll(IDC_TIME_BAR, SB_THUMBPOSITION, 500);
  EXPECT_EQ(g_engine.patch.Time, 100);
  EXPECT_EQ(g_engine.patch.soundLength, kMaxSamples);
  Scroll(IDC_TUNE_BAR, SB_THUMBTRACK, 65535);
  EXPECT_EQ(g_engine.patch.Tune[0], 100);
}

TEST_F(Panel, ABarThatIsNotAParameterOnlyMarks) {
  SelectOscillator(IDC_OSC5);
  ClearPending();
  const Patch before = g_engine.patch;
  HandleScroll(SB_PAGERIGHT, 0, GetDlgItem(dialog_, IDC_WAVEFORM));
  EXPECT_EQ(Pending(), "000110000");
  EXPECT_EQ(std::memcmp(&before, &g_engine.patch, sizeof before), 0);
}

TEST_F(Panel, OnlyASelectionChangeOfTheComboRenders) {
  ClearPending();
  SendDlgItemMessageW(dialog_, IDC_WAVEFORM, CB_SETCURSEL, 3, 0);
  for (int note : {CBN_SETFOCUS, CBN_DROPDOWN, CBN_KILLFOCUS, CBN_CLOSEUP}) {
    SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_WAVEFORM, note),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_WAVEFORM)));
    EXPECT_EQ(g_engine.patch.WaveForm[0], 0) << note;
    EXPECT_EQ(Pending(), "000000000") << note;
  }
  SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(IDC_WAVEFORM, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_WAVEFORM)));
  EXPECT_EQ(g_engine.patch.WaveForm[0], 3);
  EXPECT_EQ(Pending(), "000000000") << "rendered at once";
  // Unknown commands do nothing.
  const Patch before = g_engine.patch;
  SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(40001, 0), 0);
  SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(1099, 0), 0);
  EXPECT_EQ(std::memcmp(&before, &g_engine.patch, sizeof before), 0);
}

TEST_F(Panel, ALoadShowsTheCurrentOscillatorAndKeepsItsButton) {
  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::strcat(path, "plimbar_panel_load.plb");
  FILE* f = std::fopen(path, "wb");
  ASSERT_NE(f, nullptr);
  std::fputs("[Setting]\r\nVolume1=11\r\nVolume3=33\r\nTune3=250\r\nTime=-4\r\n", f);
  std::fclose(f);
  SelectOscillator(IDC_OSC3);
  LoadWorkingPatch(path);
  DeleteFileA(path);
  EXPECT_EQ(g_currentOsc, 2);
  EXPECT_EQ(Text(IDC_VOLUME_VALUE), "33");
  EXPECT_EQ(g_engine.patch.Tune[2], 100);  // clamped
  EXPECT_EQ(g_engine.patch.Time, 1);       // clamped
  EXPECT_EQ(Pending(), "000000000");
  EXPECT_TRUE(SendMessageW(GetDlgItem(dialog_, IDC_OSC3), BM_GETSTATE, 0, 0) & BST_PUSHED);
}

TEST_F(Panel, UnknownFilePathsEndInTheFolder) {
  char folder[kPathCapacity];
  FolderOf("C:\\Sounds\\kick.plb", folder);
  EXPECT_STREQ(folder, "C:\\Sounds");
  FolderOf("kick.plb", folder);
  EXPECT_STREQ(folder, "");
  FolderOf("C:\\kick", folder);
  EXPECT_STREQ(folder, "C:");
}

// One paint of 88200 points (Time 100, 44100 Hz) onto the waveform view's
// window, one SetPixel per sample and through the memory bitmap: the
// figures for the log, no limit asserted.
TEST_F(Panel, WaveformPaintTimeOnTheWindow) {
  ShowWindow(dialog_, SW_SHOW);
  Scroll(IDC_TIME_BAR, SB_THUMBPOSITION, 100);
  SendMessageW(dialog_, WM_COMMAND, IDOK, 0);  // render Time 100
  Pump();
  RECT rc;
  GetClientRect(g_waveView, &rc);
  ASSERT_GT(rc.right, 0);
  EXPECT_EQ(WaveformPointCount(g_engine), 88200);
  HDC dc = GetDC(g_waveView);
  LARGE_INTEGER f, t0, t1, t2;
  QueryPerformanceFrequency(&f);
  const int reps = 3;
  QueryPerformanceCounter(&t0);
  for (int r = 0; r < reps; ++r) {
    PaintWaveformPerPixel(dc, rc.right, rc.bottom, g_engine);
    GdiFlush();
  }
  QueryPerformanceCounter(&t1);
  for (int r = 0; r < reps; ++r) {
    PaintWaveform(dc, rc.right, rc.bottom, g_engine);
    GdiFlush();
  }
  QueryPerformanceCounter(&t2);
  ReleaseDC(g_waveView, dc);
  const double perPixel = 1000.0 * (t1.QuadPart - t0.QuadPart) / f.QuadPart / reps;
  const double fast = 1000.0 * (t2.QuadPart - t1.QuadPart) / f.QuadPart / reps;
  std::printf("waveform paint, 88200 points, %ld x %ld, window DC: SetPixel %.2f ms, "
              "memory bitmap %.2f ms\n", rc.right, rc.bottom, perPixel, fast);
  RecordProperty("setpixel_ms", std::to_string(perPixel));
  RecordProperty("bitmap_ms", std::to_string(fast));
}

}  // namespace
}  // namespace plimbar
