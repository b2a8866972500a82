// The real PlimbarMaker.exe under Wine, driven by tables of steps. What the sound holds is the
// editor's: the Session scenario's exports against the editor's run of the same steps.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <utility>

#include "app_driver.h"
#include "editor/controls.h"
#include "tests/patch_table.h"
#include "tests/session_steps.h"

namespace pt = plimbar::test;
using namespace e2e;

namespace {

// The bars in the editor's order (the patch keys' order, then Time) and the OSC buttons.
using plimbar::kBarControls;
const auto& kOsc = plimbar::kOscButtonIds;
static_assert(pt::kTune == 0 && pt::kDecayCurve == 8, "bar b < 9 edits key b");
const struct { const char* cls; int frame; } kViews[3] = {
    {"WaveWnd", IDC_WAVE_FRAME}, {"PitchWnd", IDC_PITCH_FRAME}, {"VolWnd", IDC_VOLUME_FRAME}};
enum { k44 = 1, k22 = 2, k11 = 4, k16 = 8, k8 = 16 };  // App::Marks() bits

std::string Env(const char* name) { return std::getenv(name) != nullptr ? std::getenv(name) : ""; }

struct Session {
  std::string dir, cwd, exe;  // Windows paths; the program starts in cwd
  std::unique_ptr<App> app;
  std::string lastExport;  // the last WAV exported
  std::vector<uint32_t> views[3];
  pt::PatchValues shown;  // the panel as it was read last
  int files = 0;
  App& a() { return *app; }
  HWND View(int i) { return FindWindowExA(a().Item(kViews[i].frame), nullptr, kViews[i].cls, nullptr); }
  std::vector<uint32_t> Shot(int i) {  // view i as painted now
    RedrawWindow(a().dialog(), nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
    return e2e::Capture(View(i));
  }
  std::string Ini() const { return exe.substr(0, exe.size() - 4) + ".ini"; }
  std::string Capture() const { return dir + "\\capture.wav"; }  // see e2e_env.sh run
};

struct Step { std::string what; std::function<void(Session&)> run; };
Step Do(std::string what, std::function<void(Session&)> run) { return {what, run}; }

// Runs the steps in a folder of the test's name with a copy of the program (or the
// package of run_from_zip.sh); after every step the program must answer.
void RunSteps(const std::vector<Step>& steps) {
  Session s;
  // PLIMBAR_E2E_PROGRAM: another build of the program (a Windows path) to run the steps with.
  const std::string package = Env("PLIMBAR_PACKAGE_DIR");
  const std::string built = Env("PLIMBAR_E2E_PROGRAM").empty() ? WinPath(PLIMBAR_E2E_EXE) : Env("PLIMBAR_E2E_PROGRAM");
  s.dir = package.empty() ? WinPath(PLIMBAR_E2E_WORK) + "\\" + testing::UnitTest::GetInstance()->current_test_info()->name()
                          : Env("PLIMBAR_PACKAGE_OUT");
  s.cwd = package.empty() ? s.dir : Env("PLIMBAR_PACKAGE_START");
  s.exe = (package.empty() ? s.dir : package) + "\\PlimbarMaker.exe";
  for (const char* f : {"\\PlimbarMaker.exe", "\\Plimbar.chm"})
    ASSERT_TRUE(!package.empty() || CopyFileA((built.substr(0, built.rfind('\\')) + f).c_str(), (s.dir + f).c_str(), 0));
  for (size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE("step " + std::to_string(i + 1) + ": " + steps[i].what);
    steps[i].run(s);
    if (testing::Test::HasFatalFailure()) return;
    ASSERT_TRUE(!s.app || !s.app->Running() || s.app->Answers()) << "the program does not answer";
  }
}

// "%DIR%" in a path or the arguments stands for the session's folder.
std::string InDir(const Session& s, std::string text) {
  for (size_t at; (at = text.find("%DIR%")) != std::string::npos;) text.replace(at, 5, s.dir);
  return text;
}
// Starts the program with args; settings (unless null) become its settings file ("": none).
Step Start(const char* settings, std::string args = "") {
  const bool keep = settings == nullptr;
  const std::string text = keep ? "" : settings;
  return Do("Start " + args, [=](Session& s) {
    if (!keep) DeleteFileA(s.Ini().c_str());
    if (!text.empty()) WriteText(s.Ini(), text);
    s.app.reset(new App);
    ASSERT_TRUE(s.app->Start(s.exe, s.cwd, InDir(s, args)));
  });
}
Step Scroll(int bar, int code, int pos = 0) {
  return Do("Scroll " + std::to_string(bar), [=](Session& s) {
    ASSERT_NE(App::Send(s.a().dialog(), WM_HSCROLL, MAKEWPARAM(code, pos), LPARAM(s.a().Item(bar))), -1);
  });
}
Step Click(int id) { return Do("Click", [=](Session& s) { ASSERT_NE(App::Send(s.a().Item(id), BM_CLICK), -1); }); }
Step Osc(int n) { return Click(kOsc[n]); }
// An entry chosen in the waveform list, then a notification of the list.
Step Combo(int index, int notification = CBN_SELCHANGE) {
  return Do("Combo", [=](Session& s) {
    App::Send(s.a().Item(IDC_WAVEFORM), CB_SETCURSEL, index);
    ASSERT_NE(s.a().Command(IDC_WAVEFORM, notification), -1);
  });
}
Step Menu(int id) { return Do("Menu " + std::to_string(id), [=](Session& s) { ASSERT_TRUE(s.a().Post(WM_COMMAND, id)); }); }
Step Key(WORD key, int modifiers = 0) { return Do("Key", [=](Session& s) { ASSERT_TRUE(s.a().Key(key, modifiers)); }); }
// A command given by its key instead of its menu item (see FileDialog).
constexpr int ByKey(WORD key, int modifiers) { return -(modifiers << 16 | key); }
// A file dialog by command (or ByKey): checks the proposed name, types name, confirms or cancels.
void FileDialog(Session& s, int command, std::string name, const wchar_t* proposed = nullptr, bool ok = true) {
  name = InDir(s, name);
  ASSERT_TRUE(command > 0 ? s.a().Post(WM_COMMAND, command) : s.a().Key(WORD(-command & 0xFFFF), -command >> 16));
  HWND dlg = s.a().Other("#32770");
  ASSERT_NE(dlg, nullptr) << "no file dialog";
  HWND edit = dlg;  // the name field: an edit in a combo box in a ComboBoxEx32, or an edit of its own
  for (const char* cls : {"ComboBoxEx32", "ComboBox", "Edit"}) edit = FindWindowExA(edit, nullptr, cls, nullptr);
  if (edit == nullptr) edit = FindWindowExA(dlg, nullptr, "Edit", nullptr);
  EXPECT_TRUE(proposed == nullptr || App::Text(edit) == proposed);
  if (!name.empty()) App::Send(edit, WM_SETTEXT, 0, LPARAM(Wide(name).c_str()));
  PostMessageW(dlg, WM_COMMAND, ok ? IDOK : IDCANCEL, 0);
  ASSERT_TRUE(WaitUntil([&] { return !IsWindow(dlg); })) << "the file dialog stays";
  ASSERT_TRUE(s.a().Post(WM_NULL));
}
Step File(int command, std::string name, const wchar_t* proposed = nullptr, bool ok = true) {
  return Do("File " + name, [=](Session& s) { FileDialog(s, command, name, proposed, ok); });
}

// What the panel shows for each oscillator in turn (Distortion as -1), minimised: nothing paints.
pt::PatchValues Panel(Session& s) {
  pt::PatchValues v;
  EXPECT_TRUE(s.a().Post(WM_SYSCOMMAND, SC_MINIMIZE));
  for (int n = 0; n < 9; ++n) {
    s.a().Command(kOsc[n], BN_CLICKED);
    for (int b = 0; b < 10; ++b) (b == 9 ? v.time : v.value[n][b]) = int(App::Send(s.a().Item(kBarControls[b].bar), SBM_GETPOS));
    v.value[n][pt::kDistortion] = -1;
    v.value[n][pt::kMute] = App::Send(s.a().Item(IDC_MUTE), BM_GETCHECK) == BST_CHECKED;
    v.value[n][pt::kWaveForm] = int(App::Send(s.a().Item(IDC_WAVEFORM), CB_GETCURSEL));
  }
  EXPECT_TRUE(s.a().Post(WM_SYSCOMMAND, SC_RESTORE));
  return v;
}
Step Shows(int id, std::wstring text) { return Do("Shows", [=](Session& s) { EXPECT_EQ(s.a().Text(id), text); }); }
// What a control answers to msg (SBM_GETPOS, BM_GETCHECK, CB_GETCURSEL).
Step Reads(int id, UINT msg, LRESULT want) {
  return Do("Reads", [=](Session& s) { EXPECT_EQ(App::Send(s.a().Item(id), msg), want); });
}
// A scroll, then what its row shows and its thumb.
Step Edit(int bar, int code, int pos, const wchar_t* shown, int thumb) {
  return Do("Edit " + std::to_string(bar) + " " + std::to_string(code), [=](Session& s) {
    Scroll(bar, code, pos).run(s);
    EXPECT_EQ(s.a().Text(kBarControls[plimbar::BarOfControl(bar)].value), shown);
    EXPECT_EQ(App::Send(s.a().Item(bar), SBM_GETPOS), thumb);
  });
}
Step Pressed(int n) {
  return Do("Pressed", [=](Session& s) {
    for (int m = 0; m < 9; ++m) EXPECT_EQ((App::Send(s.a().Item(kOsc[m]), BM_GETSTATE) & BST_PUSHED) != 0, m == n) << m;
  });
}
Step Marks(int bits) { return Do("Marks", [=](Session& s) { EXPECT_EQ(s.a().Marks(), bits); }); }
// No window of the program besides the main dialog: no message box.
Step Calm() { return Do("Calm", [](Session& s) { EXPECT_EQ(s.a().Other("#32770", 300), nullptr); }); }
// A value in the settings file, or in file.
Step Setting(std::string section, std::string key, std::string value, std::string file = "") {
  return Do("Setting " + key, [=](Session& s) {
    wchar_t buf[300] = L"";
    const std::wstring path = Wide(file.empty() ? s.Ini() : InDir(s, file));
    GetPrivateProfileStringW(Wide(section).c_str(), Wide(key).c_str(), L"<none>", buf, 300, path.c_str());
    EXPECT_EQ(buf, Wide(InDir(s, value)));
  });
}
// Writes a file (and its folder) by way of an ASCII name.
Step Make(std::string path, std::string text) {
  return Do("Make " + path, [=](Session& s) {
    const std::wstring to = Wide(InDir(s, path));
    CreateDirectoryW(to.substr(0, to.rfind(L'\\')).c_str(), nullptr);
    WriteText(s.dir + "\\made", text);
    ASSERT_TRUE(MoveFileExW(Wide(s.dir + "\\made").c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING));
  });
}
Step FileThere(std::string path) { return Do(path, [=](Session& s) { EXPECT_TRUE(Exists(s.dir + "\\" + path)); }); }
// The waveform list holds the program's string table, under code page cp.
Step ComboTexts(UINT cp) {
  return Do("ComboTexts", [=](Session& s) {
    UINT acp = 0;
    EXPECT_TRUE(s.a().Marks(&acp) >= 0 && acp == cp) << acp;
    HMODULE exe = LoadLibraryExA(s.exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    for (int i = 0; i < 4; ++i) {
      wchar_t want[32] = L"", got[32] = L"";
      EXPECT_TRUE(LoadStringW(exe, IDS_SINE + i, want, 32) > 0 &&
                  App::Send(s.a().Item(IDC_WAVEFORM), CB_GETLBTEXT, i, LPARAM(got)) > 0 && std::wstring(want) == got) << i;
    }
    FreeLibrary(exe);
  });
}

// The views captured, then redrawn or not since ('-': unchanged).
Step Snap() { return Do("Snap", [](Session& s) { for (int i = 0; i < 3; ++i) s.views[i] = s.Shot(i); }); }
Step Redrawn(std::string changed) {
  return Do("Redrawn " + changed, [=](Session& s) {
    for (int i = 0; i < 3; ++i) EXPECT_EQ(s.Shot(i) != s.views[i], changed[i] != '-') << kViews[i].cls;
  });
}

// Exports the sound (that it is the editor's is the Session scenario's). The waveform view shows
// it: sample i of n (as 16 bits) a green point at column w i / n, row h / 2 - s h / 65536.
void Export(Session& s) {
  const std::string wav = s.dir + "\\sound" + std::to_string(++s.files) + ".wav";
  FileDialog(s, IDM_SAVE_WAV, wav);
  const std::string exported = ReadText(wav);
  const Wav parsed = ParseWav(exported);
  ASSERT_TRUE(parsed.ok) << wav;
  const std::vector<uint32_t> got = s.Shot(0);
  ASSERT_GT(got[0], 0u) << "no waveform view";
  const long long w = got[0], h = (got.size() - 1) / w, n = parsed.data.size() / (parsed.bits / 8);
  std::vector<uint32_t> want(got.size(), 0);
  for (long long i = 0; i < n; ++i) {
    const int v = parsed.bits == 16 ? int16_t(Le(parsed.data, 2 * i, 2)) : (uint8_t(parsed.data[i]) - 128) * 256;
    const long long y = h / 2 - v * h / 65536;
    if (y >= 0 && y < h) want[1 + y * w + w * i / n] = 0x00FF00;
  }
  want[0] = got[0];
  EXPECT_TRUE(got == want) << "the waveform view does not show the export";
  s.lastExport = exported;
}
Step Rendered() { return Do("Rendered", Export); }

// Playback into the ALSA file device of $HOME/.asoundrc.
Step PressTest() {
  return Do("PressTest", [](Session& s) {
    DeleteFileA(s.Capture().c_str());
    ASSERT_NE(App::Send(s.a().Item(IDC_TEST), BM_CLICK), -1);
  });
}
Step Playing() { return Do("Playing", [](Session& s) { ASSERT_FALSE(CaptureClosed(s.Capture())) << "ended too soon"; }); }
// The sound played to its end is the last export (an odd byte count at 16 bits ends in half a
// sample, not played).
Step Played() {
  return Do("Played", [](Session& s) {
    ASSERT_TRUE(WaitUntil([&] { return CaptureClosed(s.Capture()); })) << "nothing played";
    const Wav played = ParseWav(ReadText(s.Capture())), exported = ParseWav(s.lastExport);
    ASSERT_TRUE(played.rate == exported.rate && played.bits == exported.bits) << played.rate;
    const size_t whole = exported.data.size() & ~size_t(exported.bits / 8 - 1);
    EXPECT_EQ(PlayedDifference(played.data, exported.data.substr(0, whole), played.bits), "");
  });
}

// Leaves one of five ways: exit code 0, the settings written at the exit (the file removed just
// before), their Time the Time bar's (what else they hold is the editor's).
enum Way { kEsc, kCloseBox, kExitButton, kExitMenu, kAltF4 };
Step Exit(Way way) {
  return Do("Exit " + std::to_string(way), [=](Session& s) {
    const int time = int(App::Send(s.a().Item(IDC_TIME_BAR), SBM_GETPOS));
    ASSERT_TRUE(DeleteFileA(s.Ini().c_str()) || GetLastError() == ERROR_FILE_NOT_FOUND);
    const UINT msg[] = {WM_KEYDOWN, WM_SYSCOMMAND, BM_CLICK, WM_COMMAND, WM_SYSKEYDOWN};
    const WPARAM wp[] = {VK_ESCAPE, SC_CLOSE, 0, IDM_EXIT, VK_F4};
    const LPARAM lp[] = {0x00010001, 0, 0, 0, 0x20000001};
    PostMessageW(way == kExitButton ? s.a().Item(IDCANCEL) : s.a().dialog(), msg[way], wp[way], lp[way]);
    DWORD code = 1;
    ASSERT_TRUE(s.a().WaitForExit(&code)) << "the program does not end";
    EXPECT_EQ(code, 0u);
    EXPECT_EQ(int(GetPrivateProfileIntA("Setting", "Time", -1, s.Ini().c_str())), time) << "the settings";
  });
}

// F1 opens the program's help; the help item finds it open and opens no second window.
Step Help() {
  return Do("Help", [](Session& s) {
    ASSERT_TRUE(s.a().Key(VK_F1, 0));
    HWND help = s.a().Other("HH Parent");
    ASSERT_NE(help, nullptr) << "no help window";
    EXPECT_NE(App::Text(help).find(L"PlimbarMaker"), std::wstring::npos) << "not the program's help file";
    ASSERT_TRUE(s.a().Post(WM_COMMAND, IDM_HELP));
    EXPECT_EQ(s.a().Other("HH Parent", 300, help), nullptr) << "a second help window";
  });
}

// The window as it starts with no settings file, for the page's comparison: program.ppm (its client
// area, a binary PPM) and controls.txt ("id class x y w h" of each control in template order, then
// "view CLASS x y w h" of the views, in client pixels).
Step Shots() {
  return Do("program.ppm, controls.txt", [](Session& s) {
    HWND d = s.a().dialog();
    RedrawWindow(d, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
    const std::vector<uint32_t> px = e2e::Capture(d);
    ASSERT_GT(px[0], 0u);
    std::string ppm = "P6\n" + std::to_string(px[0]) + " " + std::to_string((px.size() - 1) / px[0]) + "\n255\n";
    for (size_t i = 1; i < px.size(); ++i) ppm += {char(px[i] >> 16), char(px[i] >> 8), char(px[i])};  // 0xRRGGBB
    WriteText(s.dir + "\\program.ppm", ppm);
    std::string text;
    auto line = [&](const std::string& head, HWND c) {
      RECT r;
      GetWindowRect(c, &r);
      MapWindowPoints(nullptr, d, reinterpret_cast<POINT*>(&r), 2);
      text += head + " " + std::to_string(r.left) + " " + std::to_string(r.top) + " " + std::to_string(r.right - r.left) +
              " " + std::to_string(r.bottom - r.top) + "\n";
    };
    for (HWND c = GetWindow(d, GW_CHILD); c != nullptr; c = GetWindow(c, GW_HWNDNEXT)) {
      char cls[64] = "";
      GetClassNameA(c, cls, sizeof cls);
      line(std::to_string(short(GetDlgCtrlID(c))) + " " + cls, c);
    }
    for (int i = 0; i < 3; ++i) line(std::string("view ") + kViews[i].cls, s.View(i));
    WriteText(s.dir + "\\controls.txt", text);
  });
}

TEST(Scenario, StartUp) {
  RunSteps({Start(""), Pressed(0), Shots(), ComboTexts(932),
            Do("views fill their frames", [](Session& s) {
              for (int i = 0; i < 3; ++i) {
                RECT frame, view;
                HWND f = s.a().Item(kViews[i].frame);
                ASSERT_TRUE(GetClientRect(f, &frame) && GetWindowRect(s.View(i), &view));
                MapWindowPoints(nullptr, f, reinterpret_cast<POINT*>(&view), 2);
                EXPECT_TRUE(EqualRect(&view, &frame) && frame.right > 20) << kViews[i].cls;
              }
            }),
            Exit(kEsc)});
}

// Each control reaches the session and shows what it says (the rules are the editor's own tests).
TEST(Scenario, Panel) {
  // Tune 72 - 28/100 semitones, the end 51/50 of that: 27.5 Hz x 2^(73.1544 / 12) = 1881.3 Hz.
  RunSteps({Start("[Setting]\r\nVolume7=30\r\nTune7=84\r\nDecay7=40\r\nWaveForm7=2\r\nMute7=1\r\n"), Snap(),
            Edit(IDC_TUNE_BAR, SB_THUMBTRACK, 72, L"1760", 72), Edit(IDC_DETUNE_BAR, SB_THUMBPOSITION, 22, L"-56", 22),
            Edit(IDC_BEND_BAR, SB_LINERIGHT, 0, L"1881", 51), Edit(IDC_BENDCURVE_BAR, SB_PAGERIGHT, 0, L"60", 60),
            Edit(IDC_VOLUME_BAR, SB_PAGELEFT, 0, L"70", 70), Edit(IDC_ATTACK_BAR, SB_THUMBTRACK, 95, L"95", 95),
            Edit(IDC_ATTACKCURVE_BAR, SB_THUMBTRACK, 45, L"45", 45), Edit(IDC_DECAY_BAR, SB_THUMBTRACK, 74, L"74", 74),
            Edit(IDC_DECAYCURVE_BAR, SB_THUMBTRACK, 15, L"15", 15), Edit(IDC_TIME_BAR, SB_THUMBTRACK, 20, L"400", 20),
            Redrawn("-pv"),
            // Choosing OSC7 shows it and its curves, and renders nothing.
            Snap(), Osc(6), Pressed(6), Shows(IDC_VOLUME_VALUE, L"30"), Reads(IDC_MUTE, BM_GETCHECK, 1),
            Reads(IDC_WAVEFORM, CB_GETCURSEL, 2), Redrawn("-pv"),
            // The mute box and the list: only a selection change of the list stores and renders.
            Osc(0), Click(IDC_MUTE), Osc(1), Osc(0), Reads(IDC_MUTE, BM_GETCHECK, 1), Click(IDC_MUTE), Osc(1), Osc(0),
            Reads(IDC_MUTE, BM_GETCHECK, 0), Snap(), Combo(3, CBN_SETFOCUS), Combo(3, CBN_DROPDOWN), Combo(3, CBN_CLOSEUP),
            Combo(3, CBN_KILLFOCUS), Osc(1), Osc(0), Reads(IDC_WAVEFORM, CB_GETCURSEL, 0), Redrawn("---"), Combo(2), Osc(1),
            Osc(0), Reads(IDC_WAVEFORM, CB_GETCURSEL, 2), Redrawn("w--"), Exit(kCloseBox)});
}

// The Settings menu marks its format; Ctrl+C and Ctrl+V copy and paste (the menu items, and OK,
// are the Session scenario's).
TEST(Scenario, Menus) {
  RunSteps({Start("[Setting]\r\nTune2=61\r\nVolume2=33\r\nWaveForm2=1\r\n"), Marks(k44 | k16), Menu(IDM_RATE_22K),
            Marks(k22 | k16), Menu(IDM_BITS_8), Marks(k22 | k8), Menu(IDM_RATE_11K), Marks(k11 | k8), Menu(IDM_BITS_16),
            Marks(k11 | k16), Menu(IDM_RATE_44K), Marks(k44 | k16), Osc(1), Key('C', kCtrl), Osc(7), Key('V', kCtrl),
            Pressed(7), Reads(IDC_TUNE_BAR, SBM_GETPOS, 61), Shows(IDC_VOLUME_VALUE, L"33"),
            Reads(IDC_WAVEFORM, CB_GETCURSEL, 1), Exit(kExitButton)});
}

// The file dialogs: the names they propose, a relative name in the folder of the last file.
TEST(Scenario, Files) {
  RunSteps({Start(""), Make("%DIR%\\Sounds\\notes.txt", ""), Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 90),
            File(IDM_SAVE_AS, "%DIR%\\Sounds\\kick", L".plb"), FileThere("Sounds\\kick.plb"),
            Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 70), Menu(IDM_SAVE), File(IDM_SAVE_WAV, "drum", L"kick.wav"),
            FileThere("Sounds\\drum.wav"), Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 10), File(IDM_OPEN, "kick.plb", L""),
            Shows(IDC_VOLUME_VALUE, L"70"), Exit(kExitMenu)});
}

// What the window does with bad input: no message, safe values shown, the dialogs open with an
// over-long folder, a huge patch file the platform reads (the rules are the editor's and the
// fuzz target's).
TEST(Scenario, BadInput) {
  std::string huge = "[Setting]\r\nTime=7\r\nVolume1=33\r\n";
  while (huge.size() < 17u << 20) huge += ";" + std::string(1021, 'x') + "\r\n";  // above 16 MiB
  RunSteps({Start(("[SETTING]\r\nVOLUME1=250\r\nDIR=C:\\" + std::string(400, 'd') + "\r\n[FORMAT]\r\nFREQ=48000\r\n").c_str()),
            Calm(), Shows(IDC_VOLUME_VALUE, L"100"), Marks(k44 | k16), File(IDM_OPEN, "", nullptr, false),
            File(IDM_SAVE_AS, "", nullptr, false), File(IDM_SAVE_WAV, "", nullptr, false), Make("%DIR%\\huge.plb", huge),
            File(IDM_OPEN, "%DIR%\\huge.plb"), Calm(), Shows(IDC_VOLUME_VALUE, L"33"), Exit(kExitButton)});
}

// Two formats, one sound at a time, the about box (the end of the sound handled under it), an
// exit while playing, no device.
TEST(Scenario, Playback) {
  RunSteps({Start("[Setting]\r\nTime=3\r\nVolume2=40\r\nTune2=70\r\n[format]\r\nfreq=22050\r\nbits=8\r\n"), Rendered(),
            PressTest(), Played(), Menu(IDM_RATE_44K), Menu(IDM_BITS_16), Scroll(IDC_TIME_BAR, SB_THUMBTRACK, 100),
            Menu(IDOK), Rendered(), PressTest(), Playing(), Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 20), Click(IDC_TEST),
            Played(), PressTest(), Rendered(), Played(), PressTest(), Playing(),
            Do("about box: its version; Esc and the close box leave it open, Enter closes it", [](Session& s) {
              ASSERT_TRUE(s.a().Post(WM_COMMAND, IDM_ABOUT));
              HWND box = s.a().Other("#32770"), ok = GetDlgItem(box, IDOK);
              ASSERT_TRUE(box != nullptr && !IsWindowEnabled(s.a().dialog()) && !CaptureClosed(s.Capture()));
              std::wstring texts;
              for (HWND c = GetWindow(box, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) texts += App::Text(c) + L"|";
              EXPECT_NE(texts.find(L"Version " + Wide(PLIMBAR_VERSION) + L"|"), texts.npos);
              PostMessageW(ok, WM_KEYDOWN, VK_ESCAPE, 0);
              PostMessageW(box, WM_SYSCOMMAND, SC_CLOSE, 0);
              ASSERT_TRUE(s.a().Post(WM_NULL));
              EXPECT_TRUE(WaitUntil([&] { return CaptureClosed(s.Capture()); })) << "the sound did not end";
              EXPECT_TRUE(IsWindow(box)) << "Esc or the close box closed the about box";
              PostMessageW(ok, WM_KEYDOWN, VK_RETURN, 0);
              ASSERT_TRUE(WaitUntil([&] { return IsWindowEnabled(s.a().dialog()) != 0; }));
            }),
            PressTest(), Played(), PressTest(), Playing(), Exit(kAltF4),
            Do("the device was closed at the exit", [](Session& s) { EXPECT_TRUE(CaptureClosed(s.Capture())); }),
            Do("no device from now on", [](Session& s) { ASSERT_TRUE(DeleteFileA((s.dir + "\\.asoundrc").c_str())); }),
            Start(nullptr), Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 10), PressTest(), Rendered(),
            Do("nothing played", [](Session& s) { EXPECT_FALSE(Exists(s.Capture())); }), Exit(kExitMenu)});
}

// Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z reach the history, the step's oscillator shown; Ctrl+M and
// Ctrl+Shift+M vary the sound by their strength, the seed in the caption (the rules are the editor's).
TEST(Scenario, Undo) {
  const Step undo = Key('Z', kCtrl);
  auto varied = [](std::wstring strength) {
    return Do("varied", [=](Session& s) {
      EXPECT_NE(App::Text(s.a().dialog()).find(L"PlimbarMaker - 変化 " + strength + L" #"), std::wstring::npos);
      const pt::PatchValues now = Panel(s);
      EXPECT_NE(pt::SettingLines(now), pt::SettingLines(s.shown));
      s.shown = now;
    });
  };
  RunSteps({Start("[Setting]\r\nVolume2=30\r\n"), Osc(1), Scroll(IDC_VOLUME_BAR, SB_THUMBTRACK, 75), Osc(6),
            Click(IDC_MUTE), Osc(0), undo, Pressed(6), Reads(IDC_MUTE, BM_GETCHECK, 0), undo, Pressed(1),
            Shows(IDC_VOLUME_VALUE, L"30"), Key('Y', kCtrl), Shows(IDC_VOLUME_VALUE, L"75"), Key('Z', kCtrl | kShift),
            Pressed(6), Reads(IDC_MUTE, BM_GETCHECK, 1), Do("panel", [](Session& s) { s.shown = Panel(s); }),
            Key('M', kCtrl), varied(L"中"),
            Key('M', kCtrl | kShift), varied(L"大"), Exit(kEsc)});
}
// A patch opened from the command line (blanks and Japanese in its path; a missing one keeps
// the working patch), by a drop (the first .plb counts), and the File menu's keys.
TEST(Scenario, OpenAndKeys) {
  const std::string folder = "%DIR%\\My Sounds", kick = folder + "\\キック.plb";
  auto volumeIn = [](std::string path, const char* want) { return Setting("Setting", "Volume1", want, path); };
  auto drop = [](std::vector<std::string> files) {
    return Do("Drop", [=](Session& s) mutable {
      for (std::string& f : files) f = InDir(s, f);
      ASSERT_TRUE(s.a().Drop(files));
    });
  };
  RunSteps({Make(kick, "[Setting]\r\nVolume1=11\r\n"), Make("%DIR%\\b.plb", "[Setting]\r\nVolume1=22\r\n"),
            Make("%DIR%\\c.plb", "[Setting]\r\nVolume1=33\r\n"), Make("%DIR%\\notes.txt", "[Setting]\r\nVolume1=44\r\n"),
            Start("[Setting]\r\nVolume1=66\r\n", "\"" + kick + "\""), Shows(IDC_VOLUME_VALUE, L"11"),
            Scroll(IDC_VOLUME_BAR, SB_LINERIGHT), Key('S', kCtrl), volumeIn(kick, "12"), Exit(kExitMenu),
            Setting("setting", "dir", folder), Start(nullptr, "\"%DIR%\\gone.plb\""), Calm(),
            Shows(IDC_VOLUME_VALUE, L"12"), drop({"%DIR%\\notes.txt", "%DIR%\\b.plb", "%DIR%\\c.plb"}),
            Shows(IDC_VOLUME_VALUE, L"22"), drop({"%DIR%\\notes.txt"}), Shows(IDC_VOLUME_VALUE, L"22"),
            File(ByKey('S', kCtrl | kShift), "%DIR%\\keyed", L"b.plb"), volumeIn("%DIR%\\keyed.plb", "22"),
            File(ByKey('E', kCtrl), "", L"keyed.wav"), FileThere("keyed.wav"), File(ByKey('O', kCtrl), "c.plb", L""),
            Shows(IDC_VOLUME_VALUE, L"33"), Exit(kEsc)});
}

// The release zip under code page 1252, in a fresh prefix (see tests/package/run_from_zip.sh).
TEST(Scenario, FromZip) {
  const std::string package = Env("PLIMBAR_PACKAGE_DIR"), kick = package + "\\examples\\kick.plb";
  ASSERT_FALSE(package.empty()) << "run by tests/package/run_from_zip.sh";
  RunSteps({Start(nullptr), ComboTexts(1252), File(IDM_OPEN, kick, L""), PressTest(),
            Do("export as proposed; the package's renderer makes the same bytes", [=](Session& s) {
              FileDialog(s, IDM_SAVE_WAV, "", L"kick.wav");
              s.lastExport = ReadText(package + "\\examples\\kick.wav");
              ASSERT_EQ(RunConsole(package + "\\plimbar-render.exe", "-o \"" + s.dir + "\\kick.wav\" examples\\kick.plb", package), 0);
              EXPECT_TRUE(ParseWav(s.lastExport).ok && ReadText(s.dir + "\\kick.wav") == s.lastExport);
            }),
            Played(), Help(), Exit(kExitMenu), Setting("setting", "dir", package + "\\examples")});
}

// A step table (tests/data/session/*.steps: PLIMBAR_SESSION_STEPS, else every-kind.steps) carried
// out in the program from its start with no settings file; each export goes to the folder
// "session" of the test's own, where scripts/test.sh compares it with the editor's run
// (tests/session_replay), as the page's test compares the page's.
TEST(Scenario, Session) {
  std::string error;
  const std::string table = Env("PLIMBAR_SESSION_STEPS").empty() ? PLIMBAR_SESSION_STEPS : Env("PLIMBAR_SESSION_STEPS");
  const auto table_steps = pt::ReadSteps(ReadText(table), &error);
  ASSERT_FALSE(table_steps.empty()) << table << ": " << error;
  const std::map<std::string, int> menu = {
      {"copy", IDM_COPY}, {"paste", IDM_PASTE}, {"undo", IDM_UNDO}, {"redo", IDM_REDO}, {"render", IDOK}};
  std::vector<Step> steps = {Start(""), Make("%DIR%\\session\\table.txt", table)};  // the exports' folder
  for (const pt::SessionStep& t : table_steps) {
    const std::string& a = t.action;
    if (menu.count(a) != 0) steps.push_back(Menu(menu.at(a)));
    if (a == "osc") steps.push_back(Osc(t.value - 1));
    if (a == "scroll") steps.push_back(Scroll(kBarControls[t.bar].bar, t.code, t.value));
    if (a == "wave") steps.push_back(Combo(t.value));
    if (a == "rate") steps.push_back(Menu(t.value == 44100 ? IDM_RATE_44K : t.value == 22050 ? IDM_RATE_22K : IDM_RATE_11K));
    if (a == "bits") steps.push_back(Menu(t.value == 16 ? IDM_BITS_16 : IDM_BITS_8));
    if (a == "mute")
      steps.push_back(Do("mute", [on = t.value](Session& s) {
        App::Send(s.a().Item(IDC_MUTE), BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED);
        ASSERT_NE(s.a().Command(IDC_MUTE, BN_CLICKED), -1);
      }));
    if (a == "test") steps.insert(steps.end(), {PressTest(), Do("played", [](Session& s) {
                                    ASSERT_TRUE(WaitUntil([&] { return CaptureClosed(s.Capture()); })) << "nothing played";
                                  })});
    if (a == "export") steps.push_back(File(IDM_SAVE_WAV, "%DIR%\\session\\" + t.name));
  }
  steps.push_back(Exit(kExitMenu));
  RunSteps(steps);
}

}  // namespace
