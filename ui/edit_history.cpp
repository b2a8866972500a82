// Undo and redo of patch edits: a ring of steps in static storage.
#include "ui/edit_history.h"

#include <cstring>

#include "resources/resource.h"
#include "ui/app.h"
#include "ui/main_dialog.h"
#include "ui/panel.h"

namespace plimbar {
namespace {

struct EditStep {
  Patch before;
  Patch after;
  int osc;       // the oscillator the edit was made on
  bool renders;  // the edit rendered (a waveform choice)
};

// Steps first .. first + count - 1 of the ring, oldest first; the first
// `undoable` of them are done, the rest can be redone.
EditStep g_steps[kHistorySteps];
int g_first = 0;
int g_count = 0;
int g_undoable = 0;

Patch g_editStart;        // the patch when the edit under way began
bool g_editOpen = false;  // a step has begun and not ended
HWND g_scrollBar = nullptr;  // the bar of an open scroll move, else null
int g_scrollOsc = 0;

bool SameValues(const Patch& a, const Patch& b) {
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void PushStep(const Patch& before, const Patch& after, int osc, bool renders) {
  g_count = g_undoable;  // a new edit drops what could have been redone
  if (g_count == kHistorySteps) {
    g_first = (g_first + 1) % kHistorySteps;  // the oldest goes
    --g_count;
  }
  EditStep& s = g_steps[(g_first + g_count) % kHistorySteps];
  s.before = before;
  s.after = after;
  s.osc = osc;
  s.renders = renders;
  g_undoable = ++g_count;
}

// Ends the step under way: a step when a value changed.
void CloseEdit(int osc, bool renders) {
  if (g_editOpen && !SameValues(g_editStart, g_engine.patch))
    PushStep(g_editStart, g_engine.patch, osc, renders);
  g_editOpen = false;
  g_scrollBar = nullptr;
}

void CloseScrollMove() {
  if (g_scrollBar != nullptr) CloseEdit(g_scrollOsc, false);
}

bool OscillatorDiffers(const Patch& a, const Patch& b, int n) {
  const OscillatorParams x = GetOscillator(a, n);
  const OscillatorParams y = GetOscillator(b, n);
  return std::memcmp(&x, &y, sizeof x) != 0;
}

// Puts target in place of the working patch, as the edits would have left
// it, and shows the step's oscillator.
void PutBack(const Patch& target, const EditStep& step) {
  const Patch now = g_engine.patch;
  g_engine.patch = target;
  SetTime(g_engine.patch, g_engine.patch.Time);
  if (now.Time != target.Time) MarkAllPending(g_engine);
  for (int n = 0; n < kOscillators; ++n) {
    if (!OscillatorDiffers(now, target, n)) continue;
    MarkPending(g_engine, n);
    BuildCurveTables(g_engine, n);
  }
  SelectOscillator(kOscButtonIds[step.osc]);
  if (step.renders) RenderAndShow();
}

}  // namespace

void ClearHistory() {
  g_first = g_count = g_undoable = 0;
  g_editOpen = false;
  g_scrollBar = nullptr;
}

void BeginEditStep() {
  CloseScrollMove();
  g_editStart = g_engine.patch;
  g_editOpen = true;
}

void EndEditStep(int osc, bool renders) { CloseEdit(osc, renders); }

void ScrollEditStarts(HWND bar, int osc) {
  if (g_scrollBar != nullptr && (bar != g_scrollBar || osc != g_scrollOsc))
    CloseScrollMove();
  if (g_scrollBar == nullptr) {
    g_editStart = g_engine.patch;
    g_editOpen = true;
    g_scrollBar = bar;
    g_scrollOsc = osc;
  }
}

void ScrollEditDone(int code) {
  if (code == SB_ENDSCROLL) CloseScrollMove();
}

void UndoEdit() {
  CloseScrollMove();
  if (g_undoable == 0) return;
  --g_undoable;
  const EditStep& step = g_steps[(g_first + g_undoable) % kHistorySteps];
  PutBack(step.before, step);
}

void RedoEdit() {
  CloseScrollMove();
  if (g_undoable == g_count) return;
  const EditStep& step = g_steps[(g_first + g_undoable) % kHistorySteps];
  ++g_undoable;
  PutBack(step.after, step);
}

}  // namespace plimbar
