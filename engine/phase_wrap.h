// The phase wrap of the tone render: while phase >= kTwoPi, subtract
// kTwoPi. Each subtraction rounds, so the result is not fmod's; this gives
// exactly what the subtractions give, without doing them one by one when the
// phase is large (high pitches with deep modulation step the phase by
// thousands of radians per sample).
#ifndef PLIMBAR_ENGINE_PHASE_WRAP_H
#define PLIMBAR_ENGINE_PHASE_WRAP_H

#include "engine/engine.h"

namespace plimbar {

// From this phase up, the subtractions are counted in bulk.
constexpr double kWrapBulkFrom = 128.0;

// WrapPhase for phases from kWrapBulkFrom up.
double WrapLargePhase(double phase);

// The phase after subtracting kTwoPi while it is >= kTwoPi. A phase below
// zero stays as it is.
inline double WrapPhase(double phase) {
  if (phase >= kWrapBulkFrom) phase = WrapLargePhase(phase);
  while (phase >= kTwoPi) phase -= kTwoPi;
  return phase;
}

}  // namespace plimbar

#endif  // PLIMBAR_ENGINE_PHASE_WRAP_H
