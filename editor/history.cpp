// The undo history: a ring of steps in fixed storage.
#include "editor/history.h"

#include <cstring>

namespace plimbar {
namespace {

bool SameValues(const Patch& a, const Patch& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

void PushStep(EditHistory& h, const Patch& before, const Patch& after, int osc, bool renders) {
  h.count = h.undoable;  // a new edit drops what could have been redone
  if (h.count == kHistorySteps) {
    h.first = (h.first + 1) % kHistorySteps;  // the oldest goes
    --h.count;
  }
  EditStep& s = h.steps[(h.first + h.count) % kHistorySteps];
  s.before = before;
  s.after = after;
  s.osc = osc;
  s.renders = renders;
  h.undoable = ++h.count;
}

// Ends the step under way: a step when a value changed.
void CloseEdit(EditHistory& h, const Patch& now, int osc, bool renders) {
  if (h.editOpen && !SameValues(h.editStart, now)) PushStep(h, h.editStart, now, osc, renders);
  h.editOpen = false;
  h.scrollBar = -1;
}

}  // namespace

void ClearHistory(EditHistory& h) {
  h.first = h.count = h.undoable = 0;
  h.editOpen = false;
  h.scrollBar = -1;
  h.scrollOsc = 0;
}

void BeginEditStep(EditHistory& h, const Patch& now) {
  CloseScrollMove(h, now);
  h.editStart = now;
  h.editOpen = true;
}

void EndEditStep(EditHistory& h, const Patch& now, int osc, bool renders) {
  CloseEdit(h, now, osc, renders);
}

void ScrollEditStarts(EditHistory& h, const Patch& now, int bar, int osc) {
  if (h.scrollBar >= 0 && (bar != h.scrollBar || osc != h.scrollOsc)) CloseScrollMove(h, now);
  if (h.scrollBar < 0) {
    h.editStart = now;
    h.editOpen = true;
    h.scrollBar = bar;
    h.scrollOsc = osc;
  }
}

void CloseScrollMove(EditHistory& h, const Patch& now) {
  if (h.scrollBar >= 0) CloseEdit(h, now, h.scrollOsc, false);
}

const EditStep* StepToUndo(EditHistory& h, const Patch& now) {
  CloseScrollMove(h, now);
  if (h.undoable == 0) return nullptr;
  --h.undoable;
  return &h.steps[(h.first + h.undoable) % kHistorySteps];
}

const EditStep* StepToRedo(EditHistory& h, const Patch& now) {
  CloseScrollMove(h, now);
  if (h.undoable == h.count) return nullptr;
  return &h.steps[(h.first + h.undoable++) % kHistorySteps];
}

}  // namespace plimbar
