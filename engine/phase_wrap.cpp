// The phase wrap in bulk.
//
// Take a phase x in the binade [2^e, 2^(e+1)), where doubles are the
// multiples of u = 2^(e-52). While x - kTwoPi (exactly) stays at or above
// 2^e, the subtraction rounds to a multiple of u, and since x is one, the
// rounded result is x - s, where s is kTwoPi rounded to the nearest multiple
// of u. (Unless kTwoPi lies exactly halfway between two multiples of u: then
// the result depends on x. That happens in one binade only, [32, 64), below
// where the bulk starts.) So n subtractions inside the binade give exactly
// x - n * s, and n * s and x - n * s are doubles, computed without rounding.
// The bulk stops a few steps short of the binade's floor; the single
// subtractions that follow cross into the binade below (where they round on
// a finer grid), and so on down to [64, 128), below which single
// subtractions finish.
#include "engine/phase_wrap.h"

#include <cmath>
#include <cstdint>
#include <cstring>

namespace plimbar {
namespace {

constexpr int kFirstBinade = 6;   // [64, 128): the lowest one counted in bulk
constexpr int kLastBinade = 30;   // up to 2^31: far beyond any valid patch

static_assert(kWrapBulkFrom >= 128.0, "the bulk starts above [64, 128)");

struct Binade {
  double floor;    // 2^e
  double step;     // kTwoPi rounded to the binade's grid
  double inverse;  // about 1 / step
  double fromTop;  // steps * step, for a phase from 2^(e+1) - kTwoPi up
};

struct BinadeTable {
  Binade binade[kLastBinade + 1];
  BinadeTable() {
    for (int e = kFirstBinade; e <= kLastBinade; ++e) {
      Binade& b = binade[e];
      b.floor = std::ldexp(1.0, e);
      // kTwoPi / u scaled exactly, rounded to an integer (never a tie in
      // these binades), scaled back exactly.
      b.step = std::ldexp(std::nearbyint(std::ldexp(kTwoPi, 52 - e)), e - 52);
      b.inverse = 1.0 / b.step;
      b.fromTop = Count(2.0 * b.floor - kTwoPi, b) * b.step;
    }
  }
  // Subtractions that surely stay in b's binade from phase on: about
  // (phase - 2^e) / s, less two, so that no rounding of this estimate can
  // count one too many.
  static int Count(double phase, const Binade& b) {
    return static_cast<int>((phase - b.floor) * b.inverse) - 2;
  }
};

const BinadeTable kBinades;

// e of a positive normal double in [2^e, 2^(e+1)).
inline int BinadeOf(double x) {
  uint64_t bits;
  std::memcpy(&bits, &x, sizeof bits);
  return static_cast<int>((bits >> 52) & 0x7FF) - 1023;
}

}  // namespace

double WrapLargePhase(double phase) {
  int e = BinadeOf(phase);
  if (phase >= kWrapBulkFrom && e <= kLastBinade) {
    // The phase's own binade: the count from the phase.
    const Binade& b = kBinades.binade[e];
    const int n = BinadeTable::Count(phase, b);
    if (n > 0) phase -= n * b.step;
    while (phase >= b.floor) phase -= kTwoPi;
    // Each binade below is entered from its top, at no less than
    // 2^(e+1) - kTwoPi: a fixed count.
    for (--e; e >= kFirstBinade; --e) {
      const Binade& d = kBinades.binade[e];
      phase -= d.fromTop;
      while (phase >= d.floor) phase -= kTwoPi;
    }
  }
  while (phase >= kTwoPi) phase -= kTwoPi;
  return phase;
}

}  // namespace plimbar
