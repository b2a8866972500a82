// The straightforward oscillator render, kept as the reference that the
// program's fast render must match double for double: a pow per sample, the
// noise window summed afresh for every sample.
#ifndef PLIMBAR_TESTS_REFERENCE_RENDER_H
#define PLIMBAR_TESTS_REFERENCE_RENDER_H

#include "engine/engine.h"

namespace plimbar {

// Renders every pending oscillator, OSC9 first, and clears its flag: the
// same contract as RenderOscillators.
void ReferenceRenderOscillators(Engine& e);

// ReferenceRenderOscillators followed by MixDown.
void ReferenceRenderPatch(Engine& e);

}  // namespace plimbar

#endif  // PLIMBAR_TESTS_REFERENCE_RENDER_H
