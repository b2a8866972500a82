// The undo history's bookkeeping (the EditHistory of session.h).
//
// A step is one edit of the user's, kept as the whole patch before and
// after it: one scroll move (from its first message to the release, or until
// another bar or oscillator takes over), a mute toggle, a waveform choice or
// a paste. An edit that leaves every value as it was is no step. A new step
// after an undo drops the steps that could have been redone; the oldest
// goes when kHistorySteps are kept. A load starts a new history.
#ifndef PLIMBAR_EDITOR_HISTORY_H
#define PLIMBAR_EDITOR_HISTORY_H

#include "editor/session.h"

namespace plimbar {

// Forgets every step (and a scroll move still open).
void ClearHistory(EditHistory& h);

// Around an edit that is one step: BeginEditStep keeps the patch as it is
// (closing a scroll move still open), EndEditStep makes the step from it to
// `now`, on oscillator osc.
void BeginEditStep(EditHistory& h, const Patch& now);
void EndEditStep(EditHistory& h, const Patch& now, int osc, bool renders);

// A scroll message of bar on oscillator osc, before its value changes: a
// move of another bar or oscillator closes the open move first, and the
// first message of a move keeps the patch as it is.
void ScrollEditStarts(EditHistory& h, const Patch& now, int bar, int osc);
// The release of the move (or anything that ends it): a step when a value
// differs from where the move started.
void CloseScrollMove(EditHistory& h, const Patch& now);

// The step an undo (redo) puts back, moving the history by one; null when
// there is none. An open scroll move is closed first.
const EditStep* StepToUndo(EditHistory& h, const Patch& now);
const EditStep* StepToRedo(EditHistory& h, const Patch& now);

}  // namespace plimbar

#endif  // PLIMBAR_EDITOR_HISTORY_H
