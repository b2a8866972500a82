// Pitch and volume curves: 256 entries per oscillator, each entry standing
// for the moment p/256 of the sound whatever its length.
//
// Every curve is a cubic Bezier segment whose two inner control points
// coincide, sampled at 50 values of t (0.0, 0.02, ... 0.98; t = 1.0 is never
// reached). Each sample's value is written forward into the row up to the
// table position the sample has reached, so entry j holds y / 100 of the
// first step whose position x is at least j + 1.
#include "engine/engine.h"
#include "engine/exact_math.h"

namespace plimbar {
namespace {

// The four Bernstein weights of one step, formed as written:
// u*u*u, 3*u*u*t, 3*u*t*t, t*t*t.
struct Weights {
  double w0, w1, w2, w3;
};

Weights WeightsAt(double t) {
  const double u = 1.0 - t;
  return Weights{u * u * u, 3 * u * u * t, 3 * u * t * t, t * t * t};
}

// Number of entries a step's position covers, bounded to the row: trunc(x)
// for positions inside it, 256 beyond it, 0 below it or for a NaN.
int CoveredEntries(double x) {
  if (x >= kCurvePoints) return kCurvePoints;
  if (x > 0.0) return static_cast<int>(x);
  return 0;
}

int ClampToRow(int cursor) {
  if (cursor < 0) return 0;
  if (cursor > kCurvePoints) return kCurvePoints;
  return cursor;
}

// The panel keeps every parameter in 0..100 and the patch reader clamps
// what a file brings; a value outside that range is taken at the nearest
// valid one, so no product below can overflow and no fill run away.
int Param(const int (&field)[kOscillators], int osc) {
  const int v = field[osc];
  return v < kParamMin ? kParamMin : v > kParamMax ? kParamMax : v;
}

// One segment's fill. `at(w, x, y)` computes the segment's position and
// value for the weights of a step. Returns the value of the last step
// (t = 0.98), which the closing rules use.
template <typename PointAt>
double FillSegment(double* row, int& cursor, PointAt at) {
  double x = 0.0;
  double y = 0.0;
  for (double t = 0.0; t < 1.0; t += 0.02) {
    at(WeightsAt(t), x, y);
    const int count = CoveredEntries(x);
    while (cursor < count) row[cursor++] = y / 100;
  }
  return y;
}

void FillTo(double* row, int& cursor, int end, double value) {
  end = ClampToRow(end);
  while (cursor < end) row[cursor++] = value;
}

void BuildPitchRow(Engine& e, int osc) {
  const Patch& p = e.patch;
  const int tune = Param(p.Tune, osc);
  const int deTune = Param(p.DeTune, osc);
  const int bend = Param(p.Bend, osc);
  const int bendCurvePercent = Param(p.BendCurve, osc);
  // Start pitch S, end pitch E, in semitones above 27.5 Hz.
  const double S = tune + (deTune - 50) / 100.0;
  const double E = bend * S / 50;
  const double bendCurve = bendCurvePercent / 100.0;
  const int controlValue =
      static_cast<int>(bendCurve * S + (1 - bendCurve) * E);
  const int controlPos = bendCurvePercent * 256 / 100;

  // S lies in [-0.5, 100.5] and E in [-1, 201] (Bend doubles at most), and
  // so does every entry of the row, a weighted mean of S, E and the control
  // value between them: these are the exponents of the engine's powers.
  e.initialFrequency[osc] = ExactSemitonePow(S) * kBaseFrequency;
  e.bendFrequency[osc] = ExactSemitonePow(E) * kBaseFrequency;

  // Start (0, S), doubled control point (controlPos, controlValue),
  // end (256, E).
  double* row = e.pitchTable + osc * kCurvePoints;
  int cursor = 0;
  const double last = FillSegment(row, cursor, [&](const Weights& w, double& x,
                                                   double& y) {
    x = w.w1 * controlPos + w.w2 * controlPos + w.w3 * 256;
    y = w.w0 * S + w.w1 * controlValue + w.w2 * controlValue + w.w3 * E;
  });
  // The glide never quite reaches E: the rest holds the value at t = 0.98.
  FillTo(row, cursor, kCurvePoints, last / 100);
}

void BuildVolumeRow(Engine& e, int osc) {
  const Patch& p = e.patch;
  const int volume = Param(p.Volume, osc);
  const int attack = Param(p.Attack, osc);
  const int attackCurve = Param(p.AttackCurve, osc);
  const int decay = Param(p.Decay, osc);
  const int decayCurve = Param(p.DecayCurve, osc);
  double* row = e.volumeTable + osc * kCurvePoints;

  // Attack: from (0, 0) to (Attack * 2.56, Volume).
  const int attackEnd = attack * 256 / 100;
  const int attackControlPos = ((attackCurve * attack) / 100) * 256 / 100;
  const int attackControlValue = volume - (volume * attackCurve) / 100;
  int cursor = 0;
  const double attackLast = FillSegment(
      row, cursor, [&](const Weights& w, double& x, double& y) {
        x = w.w1 * attackControlPos + w.w2 * attackControlPos +
            w.w3 * attack * 256 / 100;
        y = w.w1 * attackControlValue + w.w2 * attackControlValue +
            w.w3 * volume;
      });
  FillTo(row, cursor, attackEnd, attackLast / 100);

  // Decay: from (Attack * 2.56, Volume) to (Decay * 2.56, 0); Decay is the
  // moment the sound has died away, counted from its start.
  const int decayControlPos =
      attack + (decayCurve * (decay - attack)) / 100;
  const int decayControlValue = (volume * decayCurve) / 100;
  cursor = ClampToRow(attackEnd);
  FillSegment(row, cursor, [&](const Weights& w, double& x, double& y) {
    x = w.w0 * attack * 256 / 100 + w.w1 * decayControlPos * 256 / 100 +
        w.w2 * decayControlPos * 256 / 100 + w.w3 * decay * 256 / 100;
    y = w.w0 * volume + w.w1 * decayControlValue + w.w2 * decayControlValue;
  });
  FillTo(row, cursor, kCurvePoints, 0.0);
}

int EntryFor(const Engine& e, int i) {
  return (i * kCurvePoints) / e.patch.soundLength;
}

}  // namespace

void BuildCurveTables(Engine& e, int osc) {
  if (osc < 0 || osc >= kOscillators) return;
  BuildPitchRow(e, osc);
  BuildVolumeRow(e, osc);
}

double PitchAt(const Engine& e, int osc, int i) {
  return e.pitchTable[osc * kCurvePoints + EntryFor(e, i)];
}

double VolumeAt(const Engine& e, int osc, int i) {
  return e.volumeTable[osc * kCurvePoints + EntryFor(e, i)];
}

}  // namespace plimbar
