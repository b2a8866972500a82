// Undo and redo of patch edits.
//
// A step is one edit of the user's, stored as the whole patch before and
// after it: one change of a scroll bar's value (a thumb drag or a held
// arrow, from press to release, is one step), a mute toggle, a waveform
// choice or a paste. An edit that leaves every value as it was is no step.
// The last kHistorySteps steps are kept, in fixed storage; a new step after
// an undo drops the steps that could have been redone. Loading a patch
// starts a new history. Nothing here is saved.
#ifndef PLIMBAR_UI_EDIT_HISTORY_H
#define PLIMBAR_UI_EDIT_HISTORY_H

#include <windows.h>

#include "engine/engine.h"

namespace plimbar {

constexpr int kHistorySteps = 100;

// Forgets every step (and a scroll move still open).
void ClearHistory();

// Call before an edit that is one step (mute, waveform, paste): keeps the
// patch as it is now, closing a scroll move still open.
void BeginEditStep();
// Call after it: a step from the patch BeginEditStep kept to the patch now,
// on oscillator osc; renders says whether the edit rendered (only a
// waveform choice does).
void EndEditStep(int osc, bool renders);

// A scroll message of one of the parameter bars, before its value changes:
// a move of another bar or oscillator closes the open move first, and the
// first message of a move keeps the patch as it is.
void ScrollEditStarts(HWND bar, int osc);
// After the value changed: the release (SB_ENDSCROLL) closes the move, and
// the move is a step when some value differs from where it started.
void ScrollEditDone(int code);

// Ctrl+Z and Ctrl+Y / Ctrl+Shift+Z. Put back the whole patch as it was
// before (after) the step, mark and rebuild every oscillator whose values
// change (and the oscillators above it), select the step's oscillator, and
// render when the step rendered. Nothing when there is no such step.
void UndoEdit();
void RedoEdit();

}  // namespace plimbar

#endif  // PLIMBAR_UI_EDIT_HISTORY_H
