// Soak test: the real PlimbarMaker.exe under a long random sequence of what
// a user can do, from a fixed seed. The test keeps its own model of the
// patch, worked out from the actions alone. After every step the program
// must answer within a bounded time and the displays the step changed must
// show the model's values; every fifth step all ten displays, every tenth
// also the thumbs, the boxes, the OSC buttons and the range of every
// value. Now and then it exports a WAV and saves or opens a patch through
// the file dialogs and checks those files; at the end the settings file
// the program writes on exit must read back, with the portable reader, into
// exactly the model.
//
// PLIMBAR_SOAK_STEPS overrides the number of steps (default 20000);
// PLIMBAR_SOAK_CAPTURE names the file where the ALSA file device the run
// set up writes the sound (see CMakeLists.txt), when there is one.
#include <gtest/gtest.h>

#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "app_driver.h"
#include "resources/resource.h"
#include "soak_support.h"

using namespace plimbar_test;
using namespace plimbar_soak;

namespace {

constexpr unsigned kSeed = 20261206u;
constexpr DWORD kAnswerTimeoutMs = 10000;
constexpr int kShowEvery = 2000;
constexpr int kShownSteps = 100;
constexpr int kDialogEvery = 1000;  // a file dialog takes a second or two

int StepCount() {
  const char* s = std::getenv("PLIMBAR_SOAK_STEPS");
  if (s != nullptr && std::atoi(s) > 0) return std::atoi(s);
  return 20000;
}

// The scroll codes as the panel handles them.
int Scrolled(int value, int code, int position) {
  switch (code) {
    case SB_LINELEFT: return value > 0 ? value - 1 : value;
    case SB_LINERIGHT: return value < 100 ? value + 1 : value;
    case SB_PAGELEFT: return value - 10 < 0 ? 0 : value - 10;
    case SB_PAGERIGHT: return value + 10 > 100 ? 100 : value + 10;
    case SB_THUMBPOSITION:
    case SB_THUMBTRACK: return position;
    default: return value;  // SB_TOP, SB_BOTTOM, SB_ENDSCROLL
  }
}

// Bytes of the sound in a format: 882 samples per Time step at 44100 Hz.
long WavBytes(const Model& m) {
  return 882L * m.time * (m.rate / 11025) * (m.bits / 8) / 4;
}

long FileSize(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA d;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return -1;
  return static_cast<long>(d.nFileSizeLow);
}

// A file dialog opened by a command, a name typed, confirmed.
bool ThroughFileDialog(App& app, int command, const std::string& name) {
  app.PostCommand(command);
  HWND dlg = app.WaitForOtherDialog();
  if (dlg == nullptr) return false;
  App::TypeFileName(dlg, name);
  return App::ConfirmFileDialog(dlg) && app.Settle();
}

}  // namespace

TEST(Soak, RandomUserSessionKeepsThePanelInRangeAndSavesWhatItShows) {
  const int steps = StepCount();
  std::mt19937 rng(kSeed);
  auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };

  const std::string dir = RunFolder("Soak");
  const std::string out = dir + "\\out";

  // Start from a random patch in range, Distortion included (no control
  // changes it, so it must come through untouched).
  Model m;
  for (auto& osc : m.v) {
    for (int k = 0; k < kParamCount; ++k) osc[k] = pick(101);
    osc[kMute] = pick(2);
    osc[kWaveForm] = pick(4);
  }
  m.time = 1 + pick(100);
  m.rate = 44100;
  m.bits = 16;

  // Sound goes to an ALSA file device when the run provides one: ctest
  // gives the program a HOME whose .asoundrc sends the default device's
  // sound to the file PLIMBAR_SOAK_CAPTURE. Without it, Test finds no
  // device and still renders.
  const char* captureEnv = std::getenv("PLIMBAR_SOAK_CAPTURE");
  const std::string capture = captureEnv != nullptr ? WinPath(captureEnv) : "";
  if (!capture.empty()) DeleteFileA(capture.c_str());
  App app;
  ASSERT_TRUE(app.Start(dir, SettingsText(m, "").c_str()));
  CreateDirectoryA(out.c_str(), nullptr);
  HANDLE process = OpenProgramProcess(app);

  int cur = 0;
  bool filled = false;
  int clip[kParamCount] = {};
  bool haveName = false;     // a current patch file name exists
  std::string currentPlb;    // where an overwrite-save writes
  std::string lastFolder;    // set by Save As and Open
  std::string savedPatch;    // the last patch file written
  Model saved = m;
  long counts[16] = {};
  int wavs = 0, saves = 0, opens = 0;

  ASSERT_EQ(PanelMismatch(app, m, cur), "") << "at start";
  int shownSteps = 0;
  double tAct = 0, tAns = 0, tChk = 0;
  const auto started = std::chrono::steady_clock::now();

  for (int step = 0; step < steps; ++step) {
    // The window is shown for the first 100 steps of every 2000 and hidden
    // otherwise: under Wine every repaint of the curve views costs some
    // 20 ms, so the views are soaked for a part of the run and the panel's
    // logic for all of it. A file dialog may bring the window back: the
    // state is set again after each.
    const bool shown = step % kShowEvery < kShownSteps;
    if (step % kShowEvery == 0 || step % kShowEvery == kShownSteps) {
      ShowWindowAsync(app.dialog(), shown ? SW_SHOW : SW_HIDE);
      ASSERT_TRUE(app.Settle());
    }
    if (shown) ++shownSteps;
    const auto t0 = std::chrono::steady_clock::now();
    std::string what;
    unsigned changed = 1u << 9;  // the Time display: cheap, always read
    if (step % kDialogEvery == kDialogEvery / 2) {
      // A file dialog: WAV export, Save As, or Open of the last saved patch.
      const int kind = (step / kDialogEvery) % 4;
      const std::string name = out + "\\s" + std::to_string(step);
      if (kind == 0 || kind == 2) {
        what = "WAV export";
        ASSERT_TRUE(ThroughFileDialog(app, IDM_SAVE_WAV, name)) << "step " << step;
        // The export proposes and completes the name: name.wav.
        EXPECT_EQ(FileSize(name + ".wav"), 44 + WavBytes(m)) << "step " << step;
        haveName = true;
        currentPlb = name + ".plb";
        ++wavs;
      } else if (kind == 1 || savedPatch.empty()) {
        what = "Save As";
        ASSERT_TRUE(ThroughFileDialog(app, IDM_SAVE_AS, name)) << "step " << step;
        savedPatch = name + ".plb";
        saved = m;
        int clamped = -1;
        Model got = ReadModel(savedPatch, &clamped);
        got.rate = m.rate;  // a patch file holds no format
        got.bits = m.bits;
        EXPECT_EQ(ModelDifference(m, got), "") << "step " << step;
        EXPECT_EQ(clamped, 0);
        haveName = true;
        currentPlb = savedPatch;
        lastFolder = out;
        ++saves;
      } else {
        what = "Open";
        ASSERT_TRUE(ThroughFileDialog(app, IDM_OPEN, savedPatch)) << "step " << step;
        for (int o = 0; o < 9; ++o)
          for (int k = 0; k < kParamCount; ++k) m.v[o][k] = saved.v[o][k];
        m.time = saved.time;
        haveName = true;
        currentPlb = savedPatch;
        lastFolder = out;
        ++opens;
      }
      ShowWindowAsync(app.dialog(), shown ? SW_SHOW : SW_HIDE);
      ASSERT_TRUE(app.Settle());
    } else {
      const int r = pick(1000);
      if (r < 600) {
        const int bar = pick(10);
        const Bar& b = kBars[bar];
        // A pitch bar changes all three pitch displays.
        changed |= b.param == kTune || b.param == kDeTune || b.param == kBend
                        ? (1u << 5 | 1u << 6 | 1u << 7)
                        : 1u << bar;
        const int code = pick(9);
        const int position = pick(101);
        what = "scroll " + std::to_string(b.bar) + " code " + std::to_string(code) +
               " pos " + std::to_string(position);
        app.Scroll(b.bar, code, position);
        int& value = b.param == kTimeParam ? m.time : m.v[cur][b.param];
        value = Scrolled(value, code, position);
        if (m.time == 0) m.time = 1;
        ++counts[0];
      } else if (r < 680) {
        cur = pick(9);
        what = "OSC" + std::to_string(cur + 1);
        if (pick(4) == 0) {
          DWORD_PTR res = 0;
          SendMessageTimeoutW(app.Item(kOscButtons[cur]), BM_CLICK, 0, 0, SMTO_NORMAL,
                              kAnswerTimeoutMs, &res);
        } else {
          app.Command(kOscButtons[cur]);
        }
        ++counts[1];
      } else if (r < 730) {
        what = "mute";
        DWORD_PTR res = 0;
        if (pick(2) == 0) {
          // A click toggles the box, which tells the dialog.
          SendMessageTimeoutW(app.Item(IDC_MUTE), BM_CLICK, 0, 0, SMTO_NORMAL,
                              kAnswerTimeoutMs, &res);
          m.v[cur][kMute] = m.v[cur][kMute] != 0 ? 0 : 1;
        } else {
          const int state = pick(2);
          SendMessageTimeoutW(app.Item(IDC_MUTE), BM_SETCHECK,
                              state ? BST_CHECKED : BST_UNCHECKED, 0, SMTO_NORMAL,
                              kAnswerTimeoutMs, &res);
          app.Command(IDC_MUTE, BN_CLICKED, app.Item(IDC_MUTE));
          m.v[cur][kMute] = state;
        }
        ++counts[2];
      } else if (r < 780) {
        const int wave = pick(4);
        what = "waveform " + std::to_string(wave);
        HWND combo = app.Item(IDC_WAVEFORM);
        DWORD_PTR res = 0;
        SendMessageTimeoutW(combo, CB_SETCURSEL, wave, 0, SMTO_NORMAL, kAnswerTimeoutMs, &res);
        app.Command(IDC_WAVEFORM, CBN_SELCHANGE, combo);
        m.v[cur][kWaveForm] = wave;
        ++counts[3];
      } else if (r < 820) {
        const int command = IDM_RATE_44K + pick(5);
        what = "format " + std::to_string(command);
        app.Command(command);
        switch (command) {
          case IDM_RATE_44K: m.rate = 44100; break;
          case IDM_RATE_22K: m.rate = 22050; break;
          case IDM_RATE_11K: m.rate = 11025; break;
          case IDM_BITS_16: m.bits = 16; break;
          default: m.bits = 8; break;
        }
        ++counts[4];
      } else if (r < 850) {
        what = "copy";
        app.Command(IDM_COPY);
        filled = true;
        for (int k = 0; k < kParamCount; ++k) clip[k] = m.v[cur][k];
        ++counts[5];
      } else if (r < 880) {
        what = "paste";
        app.Command(IDM_PASTE);
        if (filled)
          for (int k = 0; k < kParamCount; ++k)
            if (k != kDistortion) m.v[cur][k] = clip[k];
        ++counts[6];
      } else if (r < 920) {
        what = "Test";
        app.Command(IDC_TEST);
        ++counts[7];
      } else if (r < 950) {
        what = "IDOK";
        app.Command(IDOK);
        ++counts[8];
      } else if (r < 955 && haveName) {
        // Overwrite-save: no dialog while there is a current name.
        what = "Save";
        app.Command(IDM_SAVE);
        savedPatch = currentPlb;
        saved = m;
        ++counts[9];
      } else {
        what = "end scroll";
        app.Scroll(kBars[pick(10)].bar, SB_ENDSCROLL, 0);
        ++counts[10];
      }
    }
    const auto t1 = std::chrono::steady_clock::now();
    ASSERT_TRUE(Answers(app, kAnswerTimeoutMs)) << "no answer after step " << step << ": " << what;
    const auto t2 = std::chrono::steady_clock::now();
    // Every step the displays the action may have changed; every fifth
    // step all ten; every tenth step, and after the actions that change
    // them, the thumbs, the boxes and the OSC buttons too. (Under Wine each
    // read costs a server round trip: reading everything every step would
    // make the run several times longer.)
    const bool full = step % 10 == 0 || what.compare(0, 3, "OSC") == 0 ||
                      what == "paste" || what == "Open";
    const bool boxes = full || what.compare(0, 4, "mute") == 0 ||
                       what.compare(0, 8, "waveform") == 0;
    const unsigned displays = step % 5 == 0 ? kAllDisplays : changed;
    ASSERT_EQ(PanelMismatch(app, m, cur, full ? kButtons : boxes ? kControls : kDisplays,
                            displays),
              "")
        << "step " << step << " (" << what << ")";
    if (full) {
      ASSERT_EQ(PanelOutOfRange(app), "") << "step " << step << " (" << what << ")";
    }
    const auto t3 = std::chrono::steady_clock::now();
    tAct += std::chrono::duration<double>(t1 - t0).count();
    tAns += std::chrono::duration<double>(t2 - t1).count();
    tChk += std::chrono::duration<double>(t3 - t2).count();
    if (what.compare(0, 6, "format") == 0 && app.MenuChecked(IDM_RATE_44K) >= 0) {
      EXPECT_EQ(app.MenuChecked(IDM_RATE_44K), m.rate == 44100 ? 1 : 0);
      EXPECT_EQ(app.MenuChecked(IDM_RATE_22K), m.rate == 22050 ? 1 : 0);
      EXPECT_EQ(app.MenuChecked(IDM_RATE_11K), m.rate == 11025 ? 1 : 0);
      EXPECT_EQ(app.MenuChecked(IDM_BITS_16), m.bits == 16 ? 1 : 0);
      EXPECT_EQ(app.MenuChecked(IDM_BITS_8), m.bits == 8 ? 1 : 0);
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  // At the end every oscillator's panel matches the model, on the screen.
  ShowWindowAsync(app.dialog(), SW_SHOW);
  ASSERT_TRUE(app.Settle());
  for (int o = 0; o < 9; ++o) {
    app.Command(kOscButtons[o]);
    EXPECT_EQ(PanelMismatch(app, m, o), "") << "OSC" << o + 1 << " at the end";
  }
  const size_t peak = PeakWorkingSet(process);

  app.PostCommand(IDM_EXIT);
  DWORD code = 1;
  ASSERT_TRUE(app.WaitForExit(kWaitTimeoutMs * 3, &code));
  EXPECT_EQ(code, 0u);
  const std::string settings = app.SettingsPath();
  int clamped = -1;
  const Model written = ReadModel(settings, &clamped);
  EXPECT_EQ(ModelDifference(m, written), "") << "settings file after exit";
  EXPECT_EQ(clamped, 0);
  char folder[512] = "";
  GetPrivateProfileStringA("setting", "dir", "", folder, sizeof folder, settings.c_str());
  EXPECT_EQ(lstrcmpiA(folder, lastFolder.c_str()), 0) << folder;

  const long captured = capture.empty() ? -1 : FileSize(capture);
  std::printf(
      "soak: %d steps in %.1f s (%.2f ms per step, %d of them with the window shown), seed %u\n"
      "soak: %ld scrolls, %ld OSC buttons, %ld mutes, %ld waveforms, %ld formats, "
      "%ld copies, %ld pastes, %ld Test presses, %ld IDOK, %ld saves, %ld end scrolls; "
      "%d WAV exports, %d Save As, %d Open through the dialogs\n"
      "soak: peak working set of the program %.1f MB\n"
      "soak: sound captured through the ALSA file device: %s (%ld bytes)\n",
      steps, seconds, seconds * 1000.0 / steps, shownSteps, kSeed, counts[0], counts[1], counts[2],
      counts[3], counts[4], counts[5], counts[6], counts[7], counts[8], counts[9],
      counts[10], wavs, saves, opens, peak / (1024.0 * 1024.0),
      captured > 44 ? "yes" : "no", captured);
  std::printf("soak: actions %.1f s, answers %.1f s, checks %.1f s\n", tAct, tAns, tChk);
  const std::string figures = dir + "\\figures.txt";
  char line[256];
  std::snprintf(line, sizeof line, "steps=%d\nseconds=%.1f\npeak_working_set_bytes=%lu\ncaptured_bytes=%ld\n",
                steps, seconds, static_cast<unsigned long>(peak), captured);
  WriteFile(figures, line);
  if (process != nullptr) CloseHandle(process);
}
