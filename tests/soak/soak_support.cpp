#include "soak_support.h"

#include <psapi.h>

#include <cmath>
#include <cstdlib>
#include <cwchar>
#include <sstream>

#include "resources/resource.h"
#include "storage/ini.h"
#include "storage/patch_file.h"
#include "storage/settings.h"

namespace plimbar_soak {

using plimbar_test::App;

const Bar kBars[10] = {
    {IDC_VOLUME_BAR, kVolume, IDC_VOLUME_VALUE},
    {IDC_ATTACK_BAR, kAttack, IDC_ATTACK_VALUE},
    {IDC_ATTACKCURVE_BAR, kAttackCurve, IDC_ATTACKCURVE_VALUE},
    {IDC_DECAY_BAR, kDecay, IDC_DECAY_VALUE},
    {IDC_DECAYCURVE_BAR, kDecayCurve, IDC_DECAYCURVE_VALUE},
    {IDC_TUNE_BAR, kTune, IDC_TUNE_VALUE},
    {IDC_DETUNE_BAR, kDeTune, IDC_DETUNE_VALUE},
    {IDC_BEND_BAR, kBend, IDC_BEND_VALUE},
    {IDC_BENDCURVE_BAR, kBendCurve, IDC_BENDCURVE_VALUE},
    {IDC_TIME_BAR, kTimeParam, IDC_TIME_VALUE},
};

const int kOscButtons[9] = {IDC_OSC1, IDC_OSC2, IDC_OSC3, IDC_OSC4, IDC_OSC5,
                            IDC_OSC6, IDC_OSC7, IDC_OSC8, IDC_OSC9};

namespace {

const char* const kNames[kParamCount] = {
    "Tune", "DeTune", "Bend", "BendCurve", "Volume", "Attack", "AttackCurve",
    "Decay", "DecayCurve", "Distortion", "Mute", "WaveForm"};

}  // namespace

Model DefaultModel() {
  Model m;
  for (int o = 0; o < 9; ++o) {
    // Written out from the table of defaults: a file without keys.
    const int defaults[kParamCount] = {60, 50, 50, 50, o == 0 ? 80 : 0, 0, 0,
                                       100, 50, 50, 0, 0};
    for (int k = 0; k < kParamCount; ++k) m.v[o][k] = defaults[k];
  }
  m.time = 50;
  m.rate = 44100;
  m.bits = 16;
  return m;
}

long ShownFrequency(double semitones) {
  return static_cast<long>(27.5 * std::pow(2.0, semitones / 12.0));
}

bool DisplayNumber(const App& app, int id, long* value) {
  // The text a static keeps where the window manager holds it: no message
  // to the program, so the check stays cheap enough to run every step.
  wchar_t text[64] = L"";
  if (GetWindowTextW(app.Item(id), text, 64) <= 0) return false;
  wchar_t* end = nullptr;
  *value = std::wcstol(text, &end, 10);
  return end != nullptr && *end == L'\0';
}

std::string PanelMismatch(const App& app, const Model& m, int osc, int depth,
                          unsigned displays) {
  std::ostringstream out;
  const int* v = m.v[osc];
  for (int i = 0; i < 10; ++i) {
    const Bar& b = kBars[i];
    if (depth == kDisplays && (displays & (1u << i)) == 0) continue;
    const int want = b.param == kTimeParam ? m.time : v[b.param];
    if (depth >= kControls) {
      const int pos = app.ScrollPos(b.bar);
      if (pos != want) out << " bar " << b.bar << " at " << pos << " (want " << want << ")";
    }
    long shown = 0;
    if (!DisplayNumber(app, b.display, &shown)) {
      out << " display " << b.display << " is no number";
      continue;
    }
    long expect = 0;
    long slack = 0;
    const double start = v[kTune] + (v[kDeTune] - 50) / 100.0;
    switch (b.param) {
      case kTimeParam: expect = m.time * 20L; break;
      case kDeTune: expect = 2L * v[kDeTune] - 100; break;
      case kTune: expect = ShownFrequency(start); slack = 1; break;
      case kBend: expect = ShownFrequency(v[kBend] * start / 50); slack = 1; break;
      default: expect = v[b.param]; break;
    }
    if (std::labs(shown - expect) > slack)
      out << " display " << b.display << " shows " << shown << " (want " << expect << ")";
  }
  if (depth < kControls) return out.str();
  if (app.Checked(IDC_MUTE) != (v[kMute] != 0)) out << " mute box differs";
  if (app.ComboSelection() != v[kWaveForm])
    out << " waveform " << app.ComboSelection() << " (want " << v[kWaveForm] << ")";
  if (depth >= kButtons)
    for (int o = 0; o < 9; ++o)
      if (app.Pressed(kOscButtons[o]) != (o == osc)) out << " OSC" << o + 1 << " button state";
  return out.str();
}

std::string PanelOutOfRange(const App& app) {
  std::ostringstream out;
  for (const Bar& b : kBars) {
    const int pos = app.ScrollPos(b.bar);
    if (pos < 0 || pos > 100) out << " bar " << b.bar << " at " << pos;
    long shown = 0;
    if (!DisplayNumber(app, b.display, &shown)) {
      out << " display " << b.display << " is no number";
      continue;
    }
    bool ok = true;
    switch (b.param) {
      case kTimeParam: ok = shown >= 20 && shown <= 2000 && shown % 20 == 0; break;
      case kDeTune: ok = shown >= -100 && shown <= 100; break;
      // 0..100 semitones and a detune of half a semitone either way: from
      // 27.5 * 2^(-0.5/12) to 27.5 * 2^(100.5/12) Hz.
      case kTune: ok = shown >= 26 && shown <= 9150; break;
      // The end pitch runs from 0 to twice the start pitch in semitones.
      // The end pitch runs from twice the lowest start pitch (-0.5
      // semitone) to twice the highest, in semitones.
      case kBend: ok = shown >= 25 && shown <= 3100000; break;
      default: ok = shown >= 0 && shown <= 100; break;
    }
    if (!ok) out << " display " << b.display << " shows " << shown;
  }
  const int wave = app.ComboSelection();
  if (wave < 0 || wave > 3) out << " waveform " << wave;
  return out.str();
}

Model ReadModel(const std::string& path, int* clamped) {
  plimbar::Patch p = {};
  plimbar::PatchReadReport report = {};
  plimbar::ReadPatchFile(plimbar::kPortableIni, path.c_str(), p, &report);
  plimbar::Settings s = {};
  plimbar::ReadSettings(plimbar::kPortableIni, path.c_str(), s);
  if (clamped != nullptr) *clamped = report.clampedCount;
  Model m;
  for (int o = 0; o < 9; ++o) {
    int* v = m.v[o];
    v[kTune] = p.Tune[o];
    v[kDeTune] = p.DeTune[o];
    v[kBend] = p.Bend[o];
    v[kBendCurve] = p.BendCurve[o];
    v[kVolume] = p.Volume[o];
    v[kAttack] = p.Attack[o];
    v[kAttackCurve] = p.AttackCurve[o];
    v[kDecay] = p.Decay[o];
    v[kDecayCurve] = p.DecayCurve[o];
    v[kDistortion] = p.Distortion[o];
    v[kMute] = p.Mute[o];
    v[kWaveForm] = p.WaveForm[o];
  }
  m.time = p.Time;
  m.rate = s.format.rate;
  m.bits = s.format.bits;
  return m;
}

std::string ModelDifference(const Model& want, const Model& got) {
  std::ostringstream out;
  for (int o = 0; o < 9; ++o)
    for (int k = 0; k < kParamCount; ++k)
      if (want.v[o][k] != got.v[o][k])
        out << " " << kNames[k] << o + 1 << "=" << got.v[o][k] << " (want " << want.v[o][k] << ")";
  if (want.time != got.time) out << " Time=" << got.time << " (want " << want.time << ")";
  if (want.rate != got.rate) out << " freq=" << got.rate << " (want " << want.rate << ")";
  if (want.bits != got.bits) out << " bits=" << got.bits << " (want " << want.bits << ")";
  return out.str();
}

std::string SettingsText(const Model& m, const std::string& dir) {
  std::ostringstream out;
  out << "[Setting]\r\n";
  for (int o = 0; o < 9; ++o)
    for (int k = 0; k < kParamCount; ++k) out << kNames[k] << o + 1 << "=" << m.v[o][k] << "\r\n";
  out << "Time=" << m.time << "\r\ndir=" << dir << "\r\n[Version]\r\nVersion=20\r\n";
  out << "[format]\r\nfreq=" << m.rate << "\r\nbits=" << m.bits << "\r\n";
  return out.str();
}

HANDLE OpenProgramProcess(const App& app) {
  DWORD pid = 0;
  GetWindowThreadProcessId(app.dialog(), &pid);
  if (pid == 0) return nullptr;
  return OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, pid);
}

size_t PeakWorkingSet(HANDLE process) {
  PROCESS_MEMORY_COUNTERS pmc = {};
  pmc.cb = sizeof pmc;
  if (process == nullptr || !GetProcessMemoryInfo(process, &pmc, sizeof pmc)) return 0;
  return pmc.PeakWorkingSetSize;
}

bool Answers(const App& app, DWORD timeoutMs) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(app.dialog(), WM_NULL, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                             timeoutMs, &result) != 0;
}

}  // namespace plimbar_soak
