// The straightforward render that the program's fast render must match double for double.
#ifndef PLIMBAR_TESTS_REFERENCE_RENDER_H
#define PLIMBAR_TESTS_REFERENCE_RENDER_H

#include "engine/engine.h"

namespace plimbar {

// The same contract as RenderPatch.
void ReferenceRenderPatch(Engine& e);

}  // namespace plimbar

#endif  // PLIMBAR_TESTS_REFERENCE_RENDER_H
