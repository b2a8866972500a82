// The editing session's rules, as every face gets them: what each user action stores, marks,
// renders and asks to redraw; undo and redo; the file dialogs' names; start and exit; the views'
// pictures. Values are worked out by hand or by a second, plainer formulation.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <map>
#include <random>
#include <string>

#include "editor/history.h"
#include "editor/session.h"
#include "editor/views.h"
#include "tests/patch_table.h"
#include "tests/session_steps.h"
#include "tests/test_support.h"

namespace plimbar {
namespace {

using namespace test;

std::string Flags(const Engine& e) {
  std::string f;
  for (int p : e.pending) f += p ? '1' : '0';
  return f;
}
std::string Text(const Session& s, int bar) {
  char t[16];
  ValueText(s, bar, t);
  return t;
}
std::unique_ptr<Session> Started() {
  auto s = NewSession();
  StartSession(*s, kPortableIni, "");
  return s;
}

// Each scroll code on a bar, and what its display shows: the rows of tests/data/editor_scrolls.txt.
TEST(Editor, ScrollCodesAndWhatTheDisplaysShow) {
  for (const auto& r : DataRows("editor_scrolls.txt", "scrolls")) {
    SCOPED_TRACE(r.at(0) + " " + r.at(1) + " " + r.at(2) + " " + r.at(3));
    const int bar = IndexOf(kStepBars, kParamBars, r[0]), code = IndexOf(kStepCodes, 9, r[2]);
    auto s = Started();
    SelectOscillator(*s, 4);
    Scroll(*s, bar, kThumbTrack, std::stoi(r[1]));
    Scroll(*s, bar, code >= 0 ? code : std::stoi(r[2]), std::stoi(r[3]));
    EXPECT_EQ(BarPosition(*s, bar), std::stoi(r.at(4)));
    EXPECT_EQ(Text(*s, bar), r.at(5));
  }
  auto s = Started();  // Tune 100, DeTune 100, Bend 100: 100.5 and 201 semitones
  for (int bar : {kBarTune, kBarDeTune, kBarBend}) Scroll(*s, bar, kThumbTrack, 100);
  EXPECT_EQ(Text(*s, kBarTune) + " " + Text(*s, kBarBend), "9129 3030994");
}

// Which oscillators each action marks render-pending, whether it renders (the flags cleared,
// the sound mixed again) and what it asks the face to redraw.
TEST(Editor, WhatEachActionMarksRendersAndRedraws) {
  const std::map<std::string, unsigned (*)(Session&)> actions = {
      {"select", [](Session& x) { return SelectOscillator(x, x.currentOsc); }},
      {"volume", [](Session& x) { return Scroll(x, kBarVolume, kLineRight, 0); }},
      {"decay", [](Session& x) { return Scroll(x, kBarDecay, kLineLeft, 0); }},
      {"time", [](Session& x) { return Scroll(x, kBarTime, kLineRight, 0); }},
      {"mute", [](Session& x) { return SetMute(x, true); }},
      {"wave", [](Session& x) { return ChooseWaveForm(x, kNoise); }},
      {"paste", PasteOscillator},
      {"rate", [](Session& x) { return SetRate(x, 22050); }},
      {"ok", RenderNow}};
  const std::map<std::string, unsigned> refreshes = {{"oscillator", kRefreshOscillator},
      {"oscbuttons", kRefreshOscButtons}, {"waveview", kRefreshWaveView}, {"marks", kRefreshMarks}};
  for (const auto& row : DataRows("editor_actions.txt", "actions")) {
    SCOPED_TRACE(row.at(0) + " on OSC" + row.at(1));
    const std::string& action = row[0];
    unsigned want = 0;
    for (size_t i = 3; i < row.size(); ++i) want |= refreshes.at(row[i]);
    auto s = Started();
    CopyOscillator(*s);
    SelectOscillator(*s, std::stoi(row[1]) - 1);  // nothing pending after the start's render
    if (action == "wave" || action == "rate" || action == "ok") s->engine.pending[s->currentOsc] = 1;
    const Patch before = s->engine.patch;
    const uint32_t noise = s->engine.noiseState;
    s->engine.pcm16[0] = 12345;  // a render mixes again
    EXPECT_EQ(actions.at(action)(*s), want);
    EXPECT_EQ(Flags(s->engine), row.at(2));
    EXPECT_EQ(s->engine.pcm16[0] != 12345, (want & kRefreshWaveView) != 0);
    EXPECT_EQ(s->engine.noiseState != noise, action == "wave");  // only the noise render draws
    EXPECT_EQ(std::memcmp(&before, &s->engine.patch, sizeof before) != 0,
              action != "select" && action != "rate" && action != "ok");
  }
  // A format change with nothing pending renders nothing: the buffers and the noise stay.
  auto s = Started();
  ChooseWaveForm(*s, kNoise);
  const uint32_t noise = s->engine.noiseState;
  const double first = s->engine.oscBuffers[0][0];
  SetBits(*s, 8);
  EXPECT_TRUE(noise == s->engine.noiseState && first == s->engine.oscBuffers[0][0] && s->engine.pcm8[0] != 0);
}

// Copy takes eleven values; paste writes them into another oscillator, keeping its Distortion and
// the patch's Time, and renders nothing. Before any copy a paste does nothing.
TEST(Editor, TheClipboardLeavesDistortionAndTime) {
  auto s = Started();
  const Patch start = s->engine.patch;
  SelectOscillator(*s, 6);
  EXPECT_EQ(PasteOscillator(*s), 0u);
  EXPECT_TRUE(std::memcmp(&start, &s->engine.patch, sizeof start) == 0 && Flags(s->engine) == "000000000");
  Patch& p = s->engine.patch;
  for (int k = 0; k < kKeysPerOsc; ++k) (p.*kFields[k])[1] = k == kMute ? 1 : k == kWaveForm ? 2 : 11 + k;
  p.Distortion[6] = 77;
  SelectOscillator(*s, 1);
  CopyOscillator(*s);
  SelectOscillator(*s, 6);
  PasteOscillator(*s);
  for (int k = 0; k < kKeysPerOsc; ++k)
    EXPECT_EQ((p.*kFields[k])[6], k == kDistortion ? 77 : (p.*kFields[k])[1]) << kKeys[k].stem;
  EXPECT_EQ(p.Time, start.Time);
  EXPECT_EQ(Text(*s, kBarVolume), "15");  // the panel shows the pasted oscillator
}

// Undo and redo: a scroll move (its messages up to the release, or until another bar or
// oscillator takes over), a mute toggle, a waveform choice and a paste are one step each;
// copying, selecting and formats are none; a new edit drops the redo; 100 steps are kept; a load
// starts afresh. An undo selects the step's oscillator and renders only where the step did.
TEST(Editor, UndoAndRedoStepByStep) {
  auto s = Started();
  ChooseWaveForm(*s, kNoise);  // so that a render shows in the noise generator
  ClearHistory(s->history);
  const Patch start = s->engine.patch;
  struct Edit {
    int osc;
    void (*run)(Session&);
    bool renders;
  };
  const Edit edits[] = {
      {0, [](Session& x) { Scroll(x, kBarTime, kThumbTrack, 20), Scroll(x, kBarTime, kEndScroll, 0); }, false},
      {1, [](Session& x) { for (int v : {60, 70, 75}) Scroll(x, kBarVolume, kThumbTrack, v); }, false},
      {1, [](Session& x) { Scroll(x, kBarTune, kLineRight, 0), Scroll(x, kBarTune, kLineRight, 0); }, false},
      {6, [](Session& x) { SetMute(x, true); }, false},
      {2, [](Session& x) { ChooseWaveForm(x, kSawtooth); }, true},
      {8, [](Session& x) { SelectOscillator(x, 1), CopyOscillator(x), SelectOscillator(x, 8), PasteOscillator(x); }, false},
  };
  Patch after[6];
  for (int i = 0; i < 6; ++i) {
    SelectOscillator(*s, edits[i].osc);
    edits[i].run(*s);
    SetRate(*s, 22050);  // no step
    after[i] = s->engine.patch;
  }
  SetRate(*s, 44100);
  for (int i = 5; i >= -1; --i) {
    ASSERT_TRUE(std::memcmp(&s->engine.patch, i >= 0 ? &after[i] : &start, sizeof start) == 0) << i;
    if (i < 0) break;
    RenderNow(*s);
    const uint32_t noise = s->engine.noiseState;
    const unsigned refresh = Undo(*s);
    EXPECT_EQ(s->currentOsc, edits[i].osc);
    EXPECT_EQ((refresh & kRefreshWaveView) != 0, edits[i].renders) << i;
    EXPECT_EQ(s->engine.noiseState != noise, edits[i].renders) << i;
  }
  EXPECT_EQ(Undo(*s), 0u);  // nothing more
  for (int i = 0; i < 6; ++i) {
    Redo(*s);
    EXPECT_TRUE(std::memcmp(&s->engine.patch, &after[i], sizeof start) == 0) << i;
  }
  EXPECT_EQ(Redo(*s), 0u);
  // A new edit after two undos drops the redo: the next undo goes to the waveform step.
  Undo(*s), Undo(*s);
  SelectOscillator(*s, 4);
  Scroll(*s, kBarDecay, kPageLeft, 0), Scroll(*s, kBarDecay, kEndScroll, 0);
  EXPECT_FALSE(CanRedo(*s));
  Undo(*s);
  EXPECT_TRUE(std::memcmp(&s->engine.patch, &after[3], sizeof start) == 0);
  Undo(*s);
  EXPECT_TRUE(std::memcmp(&s->engine.patch, &after[2], sizeof start) == 0);
  // 150 moves of one bar (ending each with its release): the last 100 come back, no more.
  for (int k = 1; k <= 150; ++k) Scroll(*s, kBarDecayCurve, kThumbTrack, 7 * k % 101), Scroll(*s, kBarDecayCurve, kEndScroll, 0);
  int undone = 0;
  while (Undo(*s) != 0) ++undone;
  EXPECT_EQ(undone, 100);
  EXPECT_EQ(BarPosition(*s, kBarDecayCurve), 7 * 50 % 101);
  // An edit that changes nothing is no step; a load forgets every step.
  auto t = Started();
  Scroll(*t, kBarVolume, kLineLeft, 0), Scroll(*t, kBarVolume, kLineRight, 0), Scroll(*t, kBarVolume, kEndScroll, 0);
  EXPECT_FALSE(CanUndo(*t));
  Scroll(*t, kBarVolume, kLineLeft, 0), Scroll(*t, kBarVolume, kEndScroll, 0);
  ASSERT_TRUE(CanUndo(*t));
  OpenNamedPatch(*t, kPortableIni, "/nonexistent-folder/none");
  EXPECT_FALSE(CanUndo(*t));
}

// The names the dialogs propose, and what a confirmed or cancelled dialog changes.
class EditorFiles : public TempFolderTest {};

TEST_F(EditorFiles, DialogNamesAndWhatTheyChange) {
  for (const auto& r : DataRows("file_names.txt", "dialog-names")) {
    auto s = Started();
    std::strcpy(s->patchFileName, r.at(0).c_str());
    for (const auto& [dialog, want] :
         {std::pair{kSaveAsDialog, r.at(1)}, {kExportDialog, r.at(2)}, {kOpenDialog, ""}}) {
      char name[kPathCapacity];
      ProposedName(*s, dialog, name);
      EXPECT_EQ(name, want) << dialog;
    }
    BeginOpen(*s);
    EXPECT_STREQ(s->patchFileName, "");  // the dialog starts with an empty name
    EXPECT_EQ(EndOpen(*s, kPortableIni, nullptr), 0u);
    EXPECT_EQ(s->patchFileName, r.at(3));
  }
  auto s = Started();
  bool saved = true;
  EXPECT_FALSE(SaveToCurrentName(*s, kPortableIni, &saved));  // no name: ask with Save As
  EXPECT_FALSE(saved);
  // Save As "kick" writes kick.plb; the name stays without the extension, its folder the last one.
  Scroll(*s, kBarVolume, kThumbTrack, 33);
  ASSERT_TRUE(SaveAsConfirmed(*s, kPortableIni, File("kick").c_str()));
  EXPECT_EQ(s->patchFileName, File("kick"));
  EXPECT_EQ(s->lastFolder, dir_.string());
  EXPECT_EQ(kPortableIni.readInt("Setting", "Volume1", 0, File("kick.plb").c_str()), 33);
  // An export takes the name; an overwrite-save then writes NAME.wav.plb beside the WAV.
  ASSERT_TRUE(ExportConfirmed(*s, File("drum.wav").c_str()));
  EXPECT_EQ(s->patchFileName, File("drum.wav"));
  EXPECT_EQ(s->lastFolder, dir_.string());
  Scroll(*s, kBarVolume, kThumbTrack, 44);
  EXPECT_TRUE(SaveToCurrentName(*s, kPortableIni, &saved) && saved);
  EXPECT_EQ(kPortableIni.readInt("Setting", "Volume1", 0, File("drum.wav.plb").c_str()), 44);
  EXPECT_EQ(ReadText(File("drum.wav")).substr(0, 4), "RIFF");
  // Open: the chosen name, its folder, the patch loaded (kick.PLB takes no second extension;
  // kick.txt is read as kick.txt.plb, which is not there: the defaults).
  fs::create_directories(File("sub"));
  WriteText(File("sub/kick.PLB"), "[Setting]\r\nVolume1=12\r\nTime=3\r\n");
  WriteText(File("sub/kick.txt"), "[Setting]\r\nVolume1=13\r\n");
  for (const auto& [chosen, volume] : {std::pair{"sub/kick.PLB", 12}, {"sub/kick.txt", 80}}) {
    BeginOpen(*s);
    EXPECT_EQ(EndOpen(*s, kPortableIni, File(chosen).c_str()), kRefreshOscillator | kRefreshWaveView);
    EXPECT_EQ(s->patchFileName, File(chosen));
    EXPECT_EQ(s->lastFolder, File("sub"));
    EXPECT_EQ(BarPosition(*s, kBarVolume), volume);
  }
  // A name with no room for the extension writes nothing, under no shortened name.
  const std::string full = File(std::string(kPathCapacity - 2 - dir_.string().size(), 'x'));
  EXPECT_FALSE(SaveAsConfirmed(*s, kPortableIni, full.c_str()) || ExportConfirmed(*s, full.c_str()));
  EXPECT_FALSE(SaveToCurrentName(*s, kPortableIni, &saved) && saved);
}

// Start: OSC1 of the stored patch, the stored format and folder (their fallbacks are the fuzz
// target's); exit: all of it back, so that the next start finds the same. Before a start nothing
// is written.
TEST_F(EditorFiles, StartAndExitKeepTheSessionBetweenRuns) {
  const std::string ini = File("PlimbarMaker.ini");
  auto s = NewSession();
  EXPECT_FALSE(ExitSession(*s, kPortableIni, ini.c_str()));
  EXPECT_FALSE(fs::exists(ini));
  WriteText(ini, "[format]\r\nfreq=22050\r\nbits=8\r\n[SETTING]\r\ndir=C:\\Drums\r\nVolume1=40\r\n");
  EXPECT_EQ(StartSession(*s, kPortableIni, ini.c_str()), unsigned(kRefreshAll));
  EXPECT_TRUE(RateChecked(*s, 22050) && BitsChecked(*s, 8) && !RateChecked(*s, 11025));
  EXPECT_EQ(BarPosition(*s, kBarVolume), 40);
  EXPECT_STREQ(s->lastFolder, "C:\\Drums");
  EXPECT_TRUE(s->currentOsc == 0 && s->patchFileName[0] == '\0');
  EXPECT_FALSE(AnyPending(s->engine));  // rendered in the stored format
  SelectOscillator(*s, 5);
  Scroll(*s, kBarTune, kThumbTrack, 71);
  ASSERT_TRUE(ExitSession(*s, kPortableIni, ini.c_str()));
  auto next = NewSession();
  StartSession(*next, kPortableIni, ini.c_str());
  EXPECT_EQ(std::memcmp(&next->engine.patch, &s->engine.patch, sizeof(Patch)), 0);
  EXPECT_TRUE(RateChecked(*next, 22050) && BitsChecked(*next, 8));
  EXPECT_STREQ(next->lastFolder, "C:\\Drums");
}

// Test: a press while a sound plays is refused and renders nothing; a press renders only what
// is pending.
TEST(Editor, OneSoundAtATime) {
  auto s = Started();
  unsigned refresh = 1;
  Scroll(*s, kBarVolume, kLineLeft, 0);
  ASSERT_TRUE(BeginPlayback(*s, &refresh));
  EXPECT_EQ(refresh, unsigned(kRefreshWaveView));
  Scroll(*s, kBarVolume, kLineLeft, 0);
  EXPECT_FALSE(BeginPlayback(*s, &refresh));
  EXPECT_TRUE(refresh == 0 && AnyPending(s->engine));
  EndPlayback(*s);
  ASSERT_TRUE(BeginPlayback(*s, &refresh));
  EndPlayback(*s);
  ASSERT_TRUE(BeginPlayback(*s, &refresh));
  EXPECT_EQ(refresh, 0u);  // nothing pending: the sound as it is
}

// The views: sample i of n a point at column w i / n, row h / 2 - s h / 65536 (8-bit samples as
// (byte - 128) 256); a curve column x shows entry 256 x / w as a bar of (h - 1) v + 1 pixels.
TEST(Editor, ViewPictures) {
  auto s = Started();
  const ViewColours c = {0x10, 0x20};
  const int w = 433, h = 97;
  std::vector<uint32_t> got(w * h), want(w * h);
  for (const OutputFormat f : {OutputFormat{22050, 16}, {11025, 8}, {44100, 8}}) {
    s->engine.format = f;
    SetTime(s->engine.patch, 3);
    for (unsigned i = 0, x = 12345; i < kMaxSamples; ++i) {
      s->engine.pcm16[i] = int16_t((x = x * 1103515245u + 12345u) >> 8);
      s->engine.pcm8[i] = uint8_t(x >> 20);
    }
    DrawWaveView(*s, w, h, got.data(), c);
    std::fill(want.begin(), want.end(), 0x10);
    const int n = 3 * 882 * f.rate / 44100;
    for (int i = 0; i < n; ++i) {
      const double v = f.bits == 16 ? s->engine.pcm16[i] : (s->engine.pcm8[i] - 128.0) * 256;
      const int y = h / 2 - static_cast<int>(std::trunc(v * h / 65536));
      if (y >= 0 && y < h) want[y * w + static_cast<int>(std::floor(double(w) * i / n))] = 0x20;
    }
    EXPECT_TRUE(got == want) << f.rate << " " << f.bits;
  }
  const int cw = 64, ch = 11;
  double* row = s->engine.volumeTable + 3 * kCurvePoints;
  SelectOscillator(*s, 3);
  for (int i = 0; i < kCurvePoints; ++i) row[i] = i == 4 ? 3.5 : i == 8 ? -0.25 : i == 12 ? 0.35 : i / 255.0;
  std::vector<uint32_t> bars(cw * ch);
  DrawCurveView(*s, kVolumeCurve, cw, ch, bars.data(), c);
  for (int x = 0; x < cw; ++x) {
    const int tall = x == 1 ? 11 : x == 2 ? 0 : x == 3 ? 4 : int(10 * (4 * x / 255.0)) + 1;
    for (int y = 0; y < ch; ++y) ASSERT_EQ(bars[y * cw + x], y >= ch - tall ? 0x20u : 0x10u) << x << "," << y;
  }
}

// Any sequence of actions, bad files among them, keeps every value in range and the state whole
// (also under the sanitizers).
TEST_F(EditorFiles, RandomActionsKeepTheSessionWhole) {
  WriteText(File("junk.plb"), "[Setting]\r\nVolume1=250\r\nTime=0\r\nWaveForm3=9\r\nTune5=-7\r\n\x01\xfe=\x7f");
  std::mt19937 random(20261208u);
  auto pick = [&](int n) { return int(random() % unsigned(n)); };
  auto s = Started();
  for (int i = 0; i < 5000; ++i) {
    switch (pick(12)) {
      case 0: SelectOscillator(*s, pick(11) - 1); break;
      case 1: case 2: case 3: Scroll(*s, pick(12) - 1, pick(10), pick(200) - 50); break;
      case 4: SetMute(*s, pick(2)); break;
      case 5: ChooseWaveForm(*s, pick(6) - 1); break;
      case 6: pick(2) ? CopyOscillator(*s) : PasteOscillator(*s); break;
      case 7: pick(2) ? Undo(*s) : Redo(*s); break;
      case 8: SetRate(*s, pick(3) == 0 ? 44100 : pick(2) ? 22050 : 11025); break;
      case 9: SetBits(*s, pick(2) ? 8 : 16); break;
      case 10: if (pick(50) == 0) OpenNamedPatch(*s, kPortableIni, File(pick(2) ? "junk.plb" : "none").c_str()); break;
      default: if (BeginPlayback(*s, nullptr)) EndPlayback(*s); break;
    }
    ASSERT_TRUE(InRange(s->engine.patch)) << i << ":\n" << SettingLines(ValuesOf(s->engine.patch));
    ASSERT_TRUE(s->currentOsc >= 0 && s->currentOsc < 9 && s->history.count <= kHistorySteps) << i;
  }
}

}  // namespace
}  // namespace plimbar
