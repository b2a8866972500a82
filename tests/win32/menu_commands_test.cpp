// The Settings and Edit menus, the keyboard shortcuts, Test without an
// output device and the help call, on the real main dialog made in this
// process. Needs a display (run with the end-to-end fixture).
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "audio/playback.h"
#include "resources/resource.h"
#include "tests/win32/dialog_support.h"
#include "ui/app.h"
#include "ui/help.h"
#include "ui/main_dialog.h"
#include "ui/menu_commands.h"
#include "ui/panel.h"
#include "ui/views.h"

namespace plimbar {
namespace {

using test::ClearPending;
using test::Pending;
using test::Text;

// The check mark and state of an item of the Settings popup, read by
// command id from the popup itself.
UINT ItemState(int id) {
  HMENU settings = GetSubMenu(GetMenu(g_mainDialog), 2);
  MENUITEMINFOA item = {};
  item.cbSize = sizeof item;
  item.fMask = MIIM_STATE;
  if (!GetMenuItemInfoA(settings, static_cast<UINT>(id), FALSE, &item)) return 0xFFFFFFFFu;
  return item.fState;
}

// "44K 22K 11K 16 8": which of the five items carry a check mark.
std::string Marks() {
  const int ids[] = {IDM_RATE_44K, IDM_RATE_22K, IDM_RATE_11K, IDM_BITS_16, IDM_BITS_8};
  std::string s;
  for (int id : ids) s += (ItemState(id) & MFS_CHECKED) ? '1' : '0';
  return s;
}

class MenuCommands : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    g_instance = GetModuleHandleW(nullptr);
    ASSERT_TRUE(RegisterViewClasses(g_instance));
  }
  // The other suites of this program register the classes themselves.
  static void TearDownTestSuite() {
    for (const char* cls : {kWaveViewClass, kVolumeViewClass, kPitchViewClass})
      UnregisterClassA(cls, g_instance);
  }
  void SetUp() override {
    ResetEngine(g_engine);
    g_oscClipboard = {};
    g_settingsPath[0] = '\0';
    dialog_ = CreateDialogParamW(g_instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr,
                                 MainDialogProc, 0);
    ASSERT_NE(dialog_, nullptr);
    Pump();
  }
  void TearDown() override {
    if (dialog_ != nullptr) DestroyWindow(dialog_);
    Pump();
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  void Command(int id) { SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(id, 0), 0); }
  void Select(int buttonId) { SendMessageW(dialog_, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED), 0); }

  HWND dialog_ = nullptr;
};

// --- Settings menu -----------------------------------------------------------

TEST_F(MenuCommands, RateAndDepthItemsSetMarksAndMixAgain) {
  // The default patch, Time 50 (44100 samples).
  EXPECT_EQ(Marks(), "10010");
  struct Step {
    int command;
    const char* marks;
    int rate, bits, bytes;
  };
  // PCM byte counts at Time 50, worked out by hand: 44100 samples
  // * bits / 8, halved at 22050 Hz and quartered at 11025 Hz.
  const Step steps[] = {
      {IDM_BITS_8, "10001", 44100, 8, 44100},   {IDM_RATE_22K, "01001", 22050, 8, 22050},
      {IDM_RATE_11K, "00101", 11025, 8, 11025}, {IDM_BITS_16, "00110", 11025, 16, 22050},
      {IDM_RATE_22K, "01010", 22050, 16, 44100}, {IDM_RATE_44K, "10010", 44100, 16, 88200},
  };
  for (const Step& s : steps) {
    Command(s.command);
    EXPECT_EQ(Marks(), s.marks) << s.command;
    EXPECT_EQ(g_engine.format.rate, s.rate);
    EXPECT_EQ(g_engine.format.bits, s.bits);
    EXPECT_EQ(PcmByteCount(g_engine), s.bytes);
    // Every item stays enabled.
    EXPECT_EQ(ItemState(IDM_RATE_11K) & MFS_GRAYED, 0u);
  }
}

// The carriers' sum at 44100 Hz sample i, clipped and truncated: the value
// a 16-bit slot holds.
int MixedSample(int i) {
  double v = (g_engine.oscBuffers[0][i] + g_engine.oscBuffers[3][i] + g_engine.oscBuffers[6][i]) * 32767.0;
  if (v > 32767.0) v = 32767.0;
  if (v < -32768.0) v = -32768.0;
  return static_cast<int>(v);
}

TEST_F(MenuCommands, FormatChangeWithNothingPendingOnlyMixes) {
  // A noise carrier, rendered: the noise generator has moved.
  g_engine.patch.WaveForm[3] = kNoise;
  g_engine.patch.Volume[3] = 60;
  MarkPending(g_engine, 3);
  Command(IDOK);
  ASSERT_EQ(Pending(), "000000000");
  const uint32_t noise = g_engine.noiseState;
  std::vector<double> buffers(&g_engine.oscBuffers[0][0], &g_engine.oscBuffers[0][0] + kOscillators * kMaxSamples);

  Command(IDM_RATE_11K);
  EXPECT_EQ(g_engine.noiseState, noise) << "no noise is drawn by a mixdown";
  EXPECT_TRUE(std::memcmp(buffers.data(), g_engine.oscBuffers, buffers.size() * sizeof(double)) == 0);
  // Slot j at 11025 Hz holds mixed sample 4j + 3.
  for (int j : {0, 1, 100, 5000, 11024})
    EXPECT_EQ(g_engine.pcm16[j], MixedSample(4 * j + 3)) << j;

  // The rate already in force mixes again all the same.
  g_engine.pcm16[7] = 12345;
  Command(IDM_RATE_11K);
  EXPECT_EQ(g_engine.pcm16[7], MixedSample(31));
  EXPECT_EQ(g_engine.noiseState, noise);

  // With the noise oscillator pending, the change renders it: new draws.
  MarkPending(g_engine, 3);
  Command(IDM_BITS_8);
  EXPECT_NE(g_engine.noiseState, noise);
  EXPECT_EQ(Pending(), "000000000");
  for (int j : {0, 1, 100, 5000})
    EXPECT_EQ(g_engine.pcm8[j], (MixedSample(4 * j + 3) >> 8) + 128) << j;
}

// --- Edit menu ---------------------------------------------------------------

void GiveOsc2DistinctValues() {
  Patch& p = g_engine.patch;
  p.Tune[1] = 61;
  p.DeTune[1] = 71;
  p.Bend[1] = 12;
  p.BendCurve[1] = 13;
  p.Volume[1] = 33;
  p.Attack[1] = 7;
  p.AttackCurve[1] = 88;
  p.Decay[1] = 66;
  p.DecayCurve[1] = 22;
  p.Distortion[1] = 11;
  p.Mute[1] = 1;
  p.WaveForm[1] = kSawtooth;
  BuildCurveTables(g_engine, 1);
  p.Distortion[6] = 77;
}

TEST_F(MenuCommands, PasteBeforeAnyCopyDoesNothing) {
  Select(IDC_OSC7);
  ClearPending();
  const Patch before = g_engine.patch;
  Command(IDM_PASTE);
  EXPECT_TRUE(std::memcmp(&before, &g_engine.patch, sizeof before) == 0);
  EXPECT_EQ(Pending(), "000000000");
}

TEST_F(MenuCommands, CopyOsc2PasteIntoOsc7) {
  GiveOsc2DistinctValues();
  Select(IDC_OSC2);
  ClearPending();
  const Patch beforeCopy = g_engine.patch;
  Command(IDM_COPY);
  EXPECT_TRUE(std::memcmp(&beforeCopy, &g_engine.patch, sizeof beforeCopy) == 0);
  EXPECT_EQ(Pending(), "000000000") << "copy marks nothing";
  EXPECT_EQ(g_oscClipboard.filled, 1);

  Select(IDC_OSC7);
  const std::vector<int16_t> pcm(g_engine.pcm16, g_engine.pcm16 + kMaxSamples);
  Command(IDM_PASTE);
  const Patch& p = g_engine.patch;
  EXPECT_EQ(p.Tune[6], 61);
  EXPECT_EQ(p.DeTune[6], 71);
  EXPECT_EQ(p.Bend[6], 12);
  EXPECT_EQ(p.BendCurve[6], 13);
  EXPECT_EQ(p.Volume[6], 33);
  EXPECT_EQ(p.Attack[6], 7);
  EXPECT_EQ(p.AttackCurve[6], 88);
  EXPECT_EQ(p.Decay[6], 66);
  EXPECT_EQ(p.DecayCurve[6], 22);
  EXPECT_EQ(p.Mute[6], 1);
  EXPECT_EQ(p.WaveForm[6], kSawtooth);
  EXPECT_EQ(p.Distortion[6], 77) << "Distortion is not pasted";
  EXPECT_EQ(p.Time, 50);
  EXPECT_EQ(p.soundLength, 44100);
  // OSC7 is a carrier: nothing above it.
  EXPECT_EQ(Pending(), "000000100");
  // The tables were rebuilt: OSC7's rows are OSC2's (same parameters).
  EXPECT_TRUE(std::memcmp(&g_engine.volumeTable[6 * kCurvePoints], &g_engine.volumeTable[1 * kCurvePoints],
                          kCurvePoints * sizeof(double)) == 0);
  EXPECT_TRUE(std::memcmp(&g_engine.pitchTable[6 * kCurvePoints], &g_engine.pitchTable[1 * kCurvePoints],
                          kCurvePoints * sizeof(double)) == 0);
  // The panel shows OSC7 with the pasted values; the sound is not rendered.
  EXPECT_EQ(g_currentOsc, 6);
  EXPECT_EQ(Text(IDC_VOLUME_VALUE), "33");
  EXPECT_EQ(Text(IDC_DECAY_VALUE), "66");
  EXPECT_EQ(Text(IDC_DETUNE_VALUE), "42");  // 2 * 71 - 100
  EXPECT_EQ(Text(IDC_TIME_VALUE), "1000");
  EXPECT_EQ(IsDlgButtonChecked(dialog_, IDC_MUTE), BST_CHECKED);
  EXPECT_EQ(SendDlgItemMessageW(dialog_, IDC_WAVEFORM, CB_GETCURSEL, 0, 0), kSawtooth);
  EXPECT_EQ(GetScrollPos(GetDlgItem(dialog_, IDC_ATTACKCURVE_BAR), SB_CTL), 88);
  EXPECT_TRUE(std::memcmp(pcm.data(), g_engine.pcm16, pcm.size() * sizeof(int16_t)) == 0);

  // Into a bottom oscillator: the whole chain above becomes pending.
  ClearPending();
  Select(IDC_OSC3);
  Command(IDM_PASTE);
  EXPECT_EQ(Pending(), "111000000");
  EXPECT_EQ(g_engine.patch.Volume[2], 33);
}

TEST_F(MenuCommands, PasteIntoTheSameOscillatorMarksIt) {
  Select(IDC_OSC5);
  Command(IDM_COPY);
  ClearPending();
  const Patch before = g_engine.patch;
  g_engine.volumeTable[4 * kCurvePoints + 3] = -1.0;  // rebuilt by the paste
  Command(IDM_PASTE);
  EXPECT_TRUE(std::memcmp(&before, &g_engine.patch, sizeof before) == 0);
  EXPECT_EQ(Pending(), "000110000");
  EXPECT_GE(g_engine.volumeTable[4 * kCurvePoints + 3], 0.0);
}

// --- keyboard shortcuts ------------------------------------------------------

// A key as the dialog loop sees it, handed to the loop's message hook.
bool FilterKey(HWND to, WPARAM key, bool ctrl) {
  BYTE keys[256];
  GetKeyboardState(keys);
  keys[VK_CONTROL] = ctrl ? 0x80 : 0;
  keys[VK_LCONTROL] = ctrl ? 0x80 : 0;
  SetKeyboardState(keys);
  MSG msg = {};
  msg.hwnd = to;
  msg.message = WM_KEYDOWN;
  msg.wParam = key;
  msg.lParam = 1;
  const bool handled = CallMsgFilterW(&msg, MSGF_DIALOGBOX) != 0;
  keys[VK_CONTROL] = keys[VK_LCONTROL] = 0;
  SetKeyboardState(keys);
  return handled;
}

TEST_F(MenuCommands, CtrlCAndCtrlVReachTheDialogLoop) {
  GiveOsc2DistinctValues();
  Select(IDC_OSC2);
  HWND bar = GetDlgItem(dialog_, IDC_VOLUME_BAR);
  EXPECT_FALSE(FilterKey(bar, 'C', false)) << "C alone is no shortcut";
  EXPECT_EQ(g_oscClipboard.filled, 0);
  EXPECT_TRUE(FilterKey(bar, 'C', true));
  EXPECT_EQ(g_oscClipboard.filled, 1);
  EXPECT_EQ(g_oscClipboard.Volume, 33);
  Select(IDC_OSC8);
  ClearPending();
  EXPECT_TRUE(FilterKey(GetDlgItem(dialog_, IDC_OSC8), 'V', true));
  EXPECT_EQ(g_engine.patch.Volume[7], 33);
  EXPECT_EQ(Pending(), "000000110");
  // Keys of another window (a file dialog, the about box) are theirs.
  HWND other = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, g_instance, nullptr);
  Select(IDC_OSC9);
  EXPECT_FALSE(FilterKey(other, 'V', true));
  EXPECT_NE(g_engine.patch.Volume[8], 33);
  DestroyWindow(other);
  // The hook goes with the dialog.
  DestroyWindow(dialog_);
  dialog_ = nullptr;
  Pump();
  EXPECT_FALSE(FilterKey(bar, 'C', true));
}

// --- Test without an output device -------------------------------------------

TEST_F(MenuCommands, TestWithoutAnOutputDeviceRendersAndEndsThePress) {
  if (waveOutGetNumDevs() != 0) GTEST_SKIP() << "this machine has an output device";
  SendMessageW(dialog_, WM_HSCROLL, MAKEWPARAM(SB_THUMBTRACK, 20),
               reinterpret_cast<LPARAM>(GetDlgItem(dialog_, IDC_VOLUME_BAR)));
  ASSERT_EQ(Pending(), "100000000");
  Command(IDC_TEST);
  EXPECT_EQ(Pending(), "000000000");
  EXPECT_FALSE(IsPlaying());
  // A notice that is not ours changes nothing.
  SendMessageW(dialog_, MM_WOM_DONE, 0, 0);
  EXPECT_FALSE(IsPlaying());
}

// --- help ----------------------------------------------------------------------

struct FakeControl {
  int pathLookups = 0;
  std::vector<std::string> loads;
  int entryLookups = 0;
  int calls = 0;
  bool registered = true;        // the registry names the control
  bool registeredLoads = true;   // and that path loads
  bool bareLoads = true;         // "hhctrl.ocx" loads
  bool hasEntry = true;          // export 14 is there
  HWND caller = nullptr;
  std::string file;
  UINT command = 99;
  std::string data;
};
FakeControl* g_fake = nullptr;
HMODULE FakeModule() { return reinterpret_cast<HMODULE>(GetModuleHandleW(nullptr)); }

bool FakeFindPath(char* path) {
  ++g_fake->pathLookups;
  if (!g_fake->registered) return false;
  std::strcpy(path, "C:\\registered\\hhctrl.ocx");
  return true;
}
HMODULE FakeLoad(const char* name) {
  g_fake->loads.push_back(name);
  const bool registered = std::strcmp(name, "C:\\registered\\hhctrl.ocx") == 0;
  if (registered ? g_fake->registeredLoads : g_fake->bareLoads) return FakeModule();
  return nullptr;
}
HWND WINAPI FakeHtmlHelp(HWND caller, LPCSTR file, UINT command, DWORD_PTR data) {
  ++g_fake->calls;
  g_fake->caller = caller;
  g_fake->file = file;
  g_fake->command = command;
  g_fake->data = reinterpret_cast<const char*>(data);
  return reinterpret_cast<HWND>(static_cast<intptr_t>(0x1234));
}
FARPROC FakeEntry(HMODULE module, LPCSTR name) {
  ++g_fake->entryLookups;
  if (module != FakeModule() || reinterpret_cast<uintptr_t>(name) != 14 || !g_fake->hasEntry)
    return nullptr;
  return reinterpret_cast<FARPROC>(reinterpret_cast<void*>(FakeHtmlHelp));
}

class Help : public MenuCommands {
 protected:
  void SetUp() override {
    MenuCommands::SetUp();
    g_fake = &fake_;
    ResetHelpForTest(HelpLoader{FakeFindPath, FakeLoad, FakeEntry});
  }
  void TearDown() override {
    ResetHelpForTest(kSystemHelpLoader);
    g_fake = nullptr;
    MenuCommands::TearDown();
  }
  FakeControl fake_;
};

// The folder of this program, with its trailing '\'.
std::string ProgramFolder() {
  char module[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string s(module, n);
  return s.substr(0, s.find_last_of("\\/") + 1);
}

TEST_F(Help, FirstChoiceLoadsTheRegisteredControlOnceLaterChoicesReuseIt) {
  Command(IDM_HELP);
  Command(IDM_HELP);
  EXPECT_EQ(fake_.pathLookups, 1);
  EXPECT_EQ(fake_.loads, std::vector<std::string>{"C:\\registered\\hhctrl.ocx"});
  EXPECT_EQ(fake_.entryLookups, 1);
  EXPECT_EQ(fake_.calls, 2);
  EXPECT_EQ(fake_.caller, dialog_);
  EXPECT_EQ(fake_.command, 0u);  // HH_DISPLAY_TOPIC
  EXPECT_EQ(fake_.data, "index.htm");
  // No Plimbar.chm next to this program: the bare name.
  ASSERT_EQ(GetFileAttributesA((ProgramFolder() + "Plimbar.chm").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(fake_.file, "Plimbar.chm");
}

TEST_F(Help, AHelpFileNextToTheProgramIsNamedInFull) {
  const std::string chm = ProgramFolder() + "Plimbar.chm";
  HANDLE h = CreateFileA(chm.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  Command(IDM_HELP);
  DeleteFileA(chm.c_str());
  EXPECT_EQ(fake_.file, chm);
}

TEST_F(Help, WithoutARegistryEntryTheBareNameIsLoaded) {
  fake_.registered = false;
  EXPECT_NE(CallHtmlHelp(dialog_, "x.chm", 0, reinterpret_cast<DWORD_PTR>("index.htm")), nullptr);
  EXPECT_EQ(fake_.loads, std::vector<std::string>{"hhctrl.ocx"});
}

TEST_F(Help, ARegisteredPathThatFailsFallsBackToTheBareName) {
  fake_.registeredLoads = false;
  EXPECT_NE(CallHtmlHelp(dialog_, "x.chm", 0, reinterpret_cast<DWORD_PTR>("index.htm")), nullptr);
  EXPECT_EQ(fake_.loads, (std::vector<std::string>{"C:\\registered\\hhctrl.ocx", "hhctrl.ocx"}));
  EXPECT_EQ(fake_.calls, 1);
}

TEST_F(Help, NoControlTriesBothWaysOnceAndNeverAgain) {
  fake_.registeredLoads = false;
  fake_.bareLoads = false;
  Command(IDM_HELP);
  EXPECT_EQ(fake_.loads.size(), 2u);
  EXPECT_EQ(CallHtmlHelp(dialog_, "x.chm", 0, 0), nullptr);
  Command(IDM_HELP);
  EXPECT_EQ(fake_.pathLookups, 1);
  EXPECT_EQ(fake_.loads.size(), 2u) << "tried again after the failure";
  EXPECT_EQ(fake_.entryLookups, 0);
  EXPECT_EQ(fake_.calls, 0);
}

TEST_F(Help, AControlWithoutTheEntryIsNotTriedAgain) {
  fake_.hasEntry = false;
  EXPECT_EQ(CallHtmlHelp(dialog_, "x.chm", 0, 0), nullptr);
  EXPECT_EQ(CallHtmlHelp(dialog_, "x.chm", 0, 0), nullptr);
  EXPECT_EQ(fake_.loads.size(), 1u);
  EXPECT_EQ(fake_.entryLookups, 1);
  EXPECT_EQ(fake_.calls, 0);
}

TEST(HelpControl, TheSystemRegistersItsPath) {
  char path[kHelpPathCapacity];
  std::memset(path, 'x', sizeof path);
  ASSERT_TRUE(FindHelpControlPath(path));
  std::string p = path;
  for (char& c : p) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  EXPECT_NE(p.find("hhctrl.ocx"), std::string::npos) << path;
}

}  // namespace
}  // namespace plimbar
