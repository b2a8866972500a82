// The Edit and Help menus, the about box and the keyboard shortcuts on the
// real program. The menus' check marks and the clipboard's inner state are
// checked in-process (tests/win32); here what a user sees. Tests that do
// not look at the settings file leave the program to App's destructor.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdlib>
#include <string>

#include "app_driver.h"
#include "resources/resource.h"

using namespace plimbar_test;

namespace {

// Presses a key, alone, as the keyboard would, into the focused window of
// the foreground program.
void Key(HWND dialog, WORD key) {
  SetForegroundWindow(dialog);
  INPUT in[2] = {};
  for (INPUT& i : in) i.type = INPUT_KEYBOARD;
  in[0].ki.wVk = key;
  in[1].ki.wVk = key;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof(INPUT));
}

// The same with Ctrl held. Keys arrive in order, but after any message
// sent to the program after this call: wait for their effect.
void CtrlKey(HWND dialog, WORD key) {
  SetForegroundWindow(dialog);
  INPUT in[4] = {};
  for (INPUT& i : in) i.type = INPUT_KEYBOARD;
  in[0].ki.wVk = VK_CONTROL;
  in[1].ki.wVk = key;
  in[2].ki.wVk = key;
  in[2].ki.dwFlags = KEYEVENTF_KEYUP;
  in[3].ki.wVk = VK_CONTROL;
  in[3].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(4, in, sizeof(INPUT));
}

// The texts of the value displays of the current oscillator's nine rows
// and the mute and waveform controls.
struct PanelTexts {
  std::wstring values[9];
  bool mute;
  int wave;
  bool operator==(const PanelTexts& o) const {
    for (int i = 0; i < 9; ++i)
      if (values[i] != o.values[i]) return false;
    return mute == o.mute && wave == o.wave;
  }
};

const int kValueIds[9] = {IDC_TUNE_VALUE,   IDC_DETUNE_VALUE, IDC_BEND_VALUE,
                          IDC_BENDCURVE_VALUE, IDC_VOLUME_VALUE, IDC_ATTACK_VALUE,
                          IDC_ATTACKCURVE_VALUE, IDC_DECAY_VALUE, IDC_DECAYCURVE_VALUE};

PanelTexts ReadPanel(App& app) {
  app.Settle();
  PanelTexts t;
  for (int i = 0; i < 9; ++i) t.values[i] = app.Text(kValueIds[i]);
  t.mute = app.Checked(IDC_MUTE);
  t.wave = app.ComboSelection();
  return t;
}

// OSC2 given values unlike the defaults of every oscillator.
void EditOsc2(App& app) {
  app.Command(IDC_OSC2);
  app.Scroll(IDC_TUNE_BAR, SB_THUMBTRACK, 61);
  app.Scroll(IDC_DETUNE_BAR, SB_THUMBTRACK, 71);
  app.Scroll(IDC_BEND_BAR, SB_THUMBTRACK, 12);
  app.Scroll(IDC_BENDCURVE_BAR, SB_THUMBTRACK, 13);
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 33);
  app.Scroll(IDC_ATTACK_BAR, SB_THUMBTRACK, 7);
  app.Scroll(IDC_ATTACKCURVE_BAR, SB_THUMBTRACK, 88);
  app.Scroll(IDC_DECAY_BAR, SB_THUMBTRACK, 66);
  app.Scroll(IDC_DECAYCURVE_BAR, SB_THUMBTRACK, 22);
  SendMessageW(app.Item(IDC_MUTE), BM_SETCHECK, BST_CHECKED, 0);
  app.Command(IDC_MUTE, BN_CLICKED, app.Item(IDC_MUTE));
  HWND combo = app.Item(IDC_WAVEFORM);
  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  app.Command(IDC_WAVEFORM, CBN_SELCHANGE, combo);
}

Image WaveView(App& app) {
  app.Settle();
  return CaptureClient(app.View("WaveWnd", IDC_WAVE_FRAME));
}

}  // namespace

// --- copy and paste ----------------------------------------------------------

TEST(Menus, CopyOsc2PasteIntoOsc7ByMenuAndByKeys) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName()), "[Setting]\r\nTime=10\r\n"));
  // Paste before any copy: nothing changes.
  app.Command(IDC_OSC7);
  const PanelTexts osc7 = ReadPanel(app);
  app.Command(IDM_PASTE);
  EXPECT_TRUE(ReadPanel(app) == osc7);

  EditOsc2(app);
  const PanelTexts osc2 = ReadPanel(app);
  EXPECT_EQ(osc2.values[4], L"33");
  EXPECT_FALSE(osc2 == osc7);
  app.Command(IDM_COPY);
  app.Command(IDC_OSC7);
  EXPECT_TRUE(ReadPanel(app) == osc7) << "copy changed OSC7";
  const Image wave = WaveView(app);
  const Image volume = CaptureClient(app.View("VolWnd", IDC_VOLUME_FRAME));
  app.Command(IDM_PASTE);
  EXPECT_TRUE(ReadPanel(app) == osc2);
  // The volume view shows OSC7's new envelope; the waveform the old sound.
  EXPECT_TRUE(WaitUntil(
      [&] {
        app.Settle();
        return CaptureClient(app.View("VolWnd", IDC_VOLUME_FRAME)) != volume;
      },
      kWaitTimeoutMs));
  EXPECT_TRUE(app.Pressed(IDC_OSC7));
  EXPECT_EQ(app.Text(IDC_TIME_VALUE), L"200") << "Time is not pasted";
  EXPECT_TRUE(WaveView(app) == wave) << "paste does not render";

  // The keys: Ctrl+C on OSC2 (changed again), Ctrl+V on OSC8. The focus
  // on the Volume bar, where the right arrow key adds 1.
  app.Command(IDC_OSC2);
  app.Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 44);
  const PanelTexts osc2b = ReadPanel(app);
  DWORD_PTR r = 0;
  SendMessageTimeoutW(app.dialog(), WM_NEXTDLGCTL,
                      reinterpret_cast<WPARAM>(app.Item(IDC_VOLUME_BAR)), TRUE,
                      SMTO_NORMAL, kWaitTimeoutMs, &r);
  CtrlKey(app.dialog(), 'C');
  // The arrow key comes after Ctrl+C: once it has moved the bar, the copy
  // has been taken.
  Key(app.dialog(), VK_RIGHT);
  ASSERT_TRUE(WaitUntil([&] { return app.Text(IDC_VOLUME_VALUE) == L"45"; },
                        kWaitTimeoutMs));
  app.Command(IDC_OSC8);
  const PanelTexts osc8 = ReadPanel(app);
  ASSERT_FALSE(osc8 == osc2b);
  // The copy has been taken once the paste shows it.
  CtrlKey(app.dialog(), 'V');
  EXPECT_TRUE(WaitUntil([&] { return app.Text(IDC_VOLUME_VALUE) == L"44"; },
                        kWaitTimeoutMs))
      << "Ctrl+V did not paste";
  EXPECT_TRUE(ReadPanel(app) == osc2b);
  app.PostCommand(IDCANCEL);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs, &code));
  // The stored patch: OSC8 took OSC2's values, kept its own Distortion.
  const std::string ini = ReadFile(app.SettingsPath());
  EXPECT_NE(ini.find("Volume8=44"), std::string::npos);
  EXPECT_NE(ini.find("Tune8=61"), std::string::npos);
  EXPECT_NE(ini.find("Mute8=1"), std::string::npos);
  EXPECT_NE(ini.find("WaveForm8=1"), std::string::npos);
  EXPECT_NE(ini.find("Volume7=33"), std::string::npos);
  EXPECT_NE(ini.find("Time=10"), std::string::npos);
}

// --- the about box -----------------------------------------------------------

namespace {

// Waits until every message posted to the program's thread so far has been
// handled: a scroll posted behind them changes the Time display.
bool DrainPostedMessages(App& app, int time) {
  PostMessageW(app.dialog(), WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, time),
               reinterpret_cast<LPARAM>(app.Item(IDC_TIME_BAR)));
  const std::wstring want = std::to_wstring(time * 20);
  return WaitUntil([&] { return app.Text(IDC_TIME_VALUE) == want; }, kWaitTimeoutMs);
}

HWND OpenAbout(App& app) {
  app.PostCommand(IDM_ABOUT);
  return app.WaitForOtherDialog();
}

}  // namespace

TEST(Menus, AboutBoxClosesOnlyWithOkOrEnter) {
  App app;
  ASSERT_TRUE(app.Start(RunFolder(TestName())));
  HWND box = OpenAbout(app);
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(App::WindowText(box), L"ﾊﾞｰｼﾞｮﾝ情報");
  HWND ok = GetDlgItem(box, IDOK);
  ASSERT_NE(ok, nullptr);
  EXPECT_EQ(App::WindowText(ok), L"OK");
  int children = 0;
  bool icon = false, text = false;
  for (HWND c = GetWindow(box, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
    ++children;
    const LONG style = GetWindowLongW(c, GWL_STYLE);
    if (c != ok && (style & SS_TYPEMASK) == SS_ICON) icon = true;
    if (c != ok && App::WindowText(c) == L"PlimbarMaker Version 0.1") text = true;
  }
  EXPECT_EQ(children, 3);
  EXPECT_TRUE(icon);
  EXPECT_TRUE(text);
  EXPECT_FALSE(IsWindowEnabled(app.dialog())) << "the box is modal";

  // Esc and the close box: ignored.
  PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  PostMessageW(box, WM_CLOSE, 0, 0);
  ASSERT_TRUE(DrainPostedMessages(app, 7));
  EXPECT_TRUE(IsWindow(box)) << "Esc or the close box closed the about box";
  // Enter presses the default button, "OK".
  PostMessageW(ok, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kWaitTimeoutMs));
  EXPECT_TRUE(WaitUntil([&] { return IsWindowEnabled(app.dialog()) != 0; }, kWaitTimeoutMs));

  // A click on "OK".
  box = OpenAbout(app);
  ASSERT_NE(box, nullptr);
  PostMessageW(GetDlgItem(box, IDOK), BM_CLICK, 0, 0);
  EXPECT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kWaitTimeoutMs));
}

TEST(Menus, EndOfPlaybackIsHandledWhileTheAboutBoxIsOpen) {
  const char* home = std::getenv("PLIMBAR_E2E_ALSA_HOME");
  if (home == nullptr) GTEST_SKIP() << "PLIMBAR_E2E_ALSA_HOME is not set";
  const std::string dir = RunFolder(TestName());
  RemoveFolderContents(dir);
  const std::string captureUnix =
      std::string(PLIMBAR_E2E_WORK) + "/runs/" + TestName() + "/capture.wav";
  const std::string capture = WinPath(captureUnix);
  const std::string asoundrc = WinPath(std::string(home) + "/.asoundrc");
  ASSERT_TRUE(WriteFile(asoundrc, CaptureDeviceConfig(captureUnix)));
  // The device goes again with the test, however it ends.
  struct Remove {
    std::string path;
    ~Remove() { DeleteFileA(path.c_str()); }
  } removeAsoundrc{asoundrc};
  App app;
  ASSERT_TRUE(app.Start(dir, "[Setting]\r\nTime=100\r\n", {}, true));
  app.Command(IDC_TEST);
  HWND box = OpenAbout(app);
  ASSERT_NE(box, nullptr);
  auto closed = [&] { return CaptureClosed(capture); };
  ASSERT_FALSE(closed()) << "the sound ended before the box opened";
  // The device is closed (the capture's header completed) only by the
  // end-of-playback handling, which runs inside the box's loop.
  EXPECT_TRUE(WaitUntil(closed, kWaitTimeoutMs));
  EXPECT_TRUE(IsWindow(box));
  PostMessageW(GetDlgItem(box, IDOK), WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(box); }, kWaitTimeoutMs));
  // The playing flag is clear: the next press plays again.
  ASSERT_TRUE(DeleteFileA(capture.c_str()));
  app.Command(IDC_TEST);
  EXPECT_TRUE(WaitUntil(closed, kWaitTimeoutMs));
}

// --- help ----------------------------------------------------------------------

TEST(Menus, HelpOpensOneHelpWindowAndReusesIt) {
  // The help file lies next to the program, as the build places it.
  const std::string dir = RunFolder(TestName());
  RemoveFolderContents(dir);
  std::string chm = WinPath(PLIMBAR_E2E_EXE);
  chm = chm.substr(0, chm.find_last_of('\\') + 1) + "Plimbar.chm";
  ASSERT_TRUE(CopyFileA(chm.c_str(), (dir + "\\Plimbar.chm").c_str(), FALSE)) << chm;
  App app;
  ASSERT_TRUE(app.Start(dir, nullptr, {}, /*keep=*/true));
  ASSERT_EQ(FindHelpWindows(app.dialog()).count, 0);
  app.PostCommand(IDM_HELP);
  ASSERT_TRUE(WaitUntil([&] { return FindHelpWindows(app.dialog()).count > 0; }, kWaitTimeoutMs))
      << "no help window";
  HelpWindows first = FindHelpWindows(app.dialog());
  EXPECT_EQ(first.count, 1);
  app.PostCommand(IDM_HELP);
  ASSERT_TRUE(DrainPostedMessages(app, 9));
  HelpWindows again = FindHelpWindows(app.dialog());
  EXPECT_EQ(again.count, 1) << "a second window instead of the first";
}
