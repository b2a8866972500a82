// What the soak and the bad-input tests of the running program share: the
// panel's controls, a model of the patch the test keeps as it goes, and
// readers for what the program shows and writes.
#ifndef PLIMBAR_TESTS_SOAK_SOAK_SUPPORT_H
#define PLIMBAR_TESTS_SOAK_SOAK_SUPPORT_H

#include <windows.h>

#include <string>

#include "app_driver.h"

namespace plimbar_soak {

// Parameters in patch file order.
enum Param {
  kTune, kDeTune, kBend, kBendCurve, kVolume, kAttack, kAttackCurve, kDecay,
  kDecayCurve, kDistortion, kMute, kWaveForm, kParamCount
};
constexpr int kTimeParam = -1;

// One scroll bar: the value it edits (kTimeParam: the patch's Time) and
// the static text that shows it.
struct Bar {
  int bar;
  int param;
  int display;
};
extern const Bar kBars[10];
extern const int kOscButtons[9];

// A patch as the test believes it to be, plus the output format.
struct Model {
  int v[9][kParamCount];
  int time;
  int rate;
  int bits;
};

// The all-defaults patch of a file without keys.
Model DefaultModel();

// The frequency shown for a start pitch S (semitones above 27.5 Hz),
// truncated: 27.5 * 2^(S/12).
long ShownFrequency(double semitones);

// The text of a static control as a number; false when it is no number.
bool DisplayNumber(const plimbar_test::App& app, int id, long* value);

// How much of the panel a check reads: the ten value displays (cheap: no
// message to the program); also the bars' thumbs, the mute box and the
// waveform; also the pressed look of the nine OSC buttons.
enum CheckDepth { kDisplays, kControls, kButtons };

constexpr unsigned kAllDisplays = 0x3FF;

// Compares the panel with oscillator osc of m, as deep as asked; at depth
// kDisplays only the displays of kBars[i] for the bits i set in displays.
// Returns "" when all agree, else what differs. Frequencies may differ by
// 1 Hz from the formula (last-digit rounding of pow at a truncation
// boundary).
std::string PanelMismatch(const plimbar_test::App& app, const Model& m, int osc,
                          int depth = kButtons, unsigned displays = kAllDisplays);

// Checks that every value the panel shows lies in its range; "" when so.
std::string PanelOutOfRange(const plimbar_test::App& app);

// The patch and format of an INI file read with the portable reader (the
// command-line renderer's). clamped: how many keys it had to bring into
// range.
Model ReadModel(const std::string& path, int* clamped);
std::string ModelDifference(const Model& want, const Model& got);

// Writes m as a settings file (all patch keys, freq, bits, dir).
std::string SettingsText(const Model& m, const std::string& dir);

// The program's process, for its memory figures.
HANDLE OpenProgramProcess(const plimbar_test::App& app);
// Largest working set of the process so far, in bytes (0 when unknown).
size_t PeakWorkingSet(HANDLE process);

// Whether the program answers a message within timeoutMs.
bool Answers(const plimbar_test::App& app, DWORD timeoutMs);

}  // namespace plimbar_soak

#endif  // PLIMBAR_TESTS_SOAK_SOAK_SUPPORT_H
