// The engine's sine and semitone power against MPFR, which rounds
// correctly: every result must be the same double, bit for bit. Random
// arguments over the whole range the engine reaches and over the functions'
// domains, the edges, the doubles nearest to multiples of pi (the hardest
// reductions) and the hardest roundings found; the slow paths on their own
// for a share of the arguments, since the fast paths rarely hand over.
//
// PLIMBAR_EXACT_MATH_COUNT sets the random arguments per function (default
// 10^6, 10^5 in the sanitizer build; the long run:
// PLIMBAR_EXACT_MATH_COUNT=10000000 or more).
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/engine.h"
#include "engine/exact_math.h"

namespace plimbar {
namespace {

namespace detail = exact_math_detail;

double MpfrSin(double x) {
  mpfr_t v;
  mpfr_init2(v, 53);
  mpfr_set_d(v, x, MPFR_RNDN);
  mpfr_sin(v, v, MPFR_RNDN);
  const double y = mpfr_get_d(v, MPFR_RNDN);
  mpfr_clear(v);
  return y;
}

double MpfrSemitonePow(double e) {
  mpfr_t base, v;
  mpfr_init2(base, 53);
  mpfr_init2(v, 53);
  mpfr_set_d(base, kSemitoneRatio, MPFR_RNDN);
  mpfr_set_d(v, e, MPFR_RNDN);
  mpfr_pow(v, base, v, MPFR_RNDN);
  const double y = mpfr_get_d(v, MPFR_RNDN);
  mpfr_clear(base);
  mpfr_clear(v);
  return y;
}

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {  // splitmix64
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Unit() { return (Next() >> 11) * 0x1p-53; }  // [0, 1)
  double Between(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  // A random sign and mantissa with the exponent uniform in [lo, hi].
  double LogUniform(int lo, int hi) {
    const double m = std::ldexp(1.0 + Unit(), lo + static_cast<int>(
                                                       Next() % (hi - lo + 1)));
    return Next() & 1 ? -m : m;
  }

 private:
  uint64_t state_;
};

long RandomCount() {
  const char* env = std::getenv("PLIMBAR_EXACT_MATH_COUNT");
  const long n = env ? std::atol(env) : 0;
#ifdef PLIMBAR_SANITIZED
  const long fallback = 100000;  // the plain build runs the full count
#else
  const long fallback = 1000000;
#endif
  return n > 0 ? n : fallback;
}

// One function against its reference: the first mismatch is kept.
struct Checker {
  using Function = double (*)(double);
  Checker(Function e, Function s, Function r)
      : exact(e), slow(s), reference(r) {}
  Function exact, slow, reference;
  long checked = 0;
  long mismatches = 0;
  std::string first;

  void Check(double x, bool slowToo) {
    const double want = reference(x);
    Compare(x, exact(x), want, "");
    if (slowToo) Compare(x, slow(x), want, " (slow path)");
  }
  void Compare(double x, double got, double want, const char* what) {
    ++checked;
    if (std::memcmp(&got, &want, sizeof got) == 0) return;
    if (mismatches++ == 0) {
      char text[160];
      std::snprintf(text, sizeof text, "%a%s: %a, correctly rounded %a", x,
                    what, got, want);
      first = text;
    }
  }
};

double Sin(double x) { return ExactSin(x); }
double Pow(double e) { return ExactSemitonePow(e); }

// Doubles that come closest to a multiple of pi, by binade (from the
// continued fraction of pi / ulp), up to the slow path's 2^48.
const double kNearPiMultiples[] = {
    0x1.921fb54442d18p+1,  0x1.921fb54442d18p+2,  0x1.2d97c7f3321d2p+3,
    0x1.dd85a7410f58dp+5,  0x1.6c6cbc45dc8dep+6,  0x1.6c6cbc45dc8dep+10,
    0x1.6c6cbc45dc8dep+14, 0x1.635e3d74befcap+15, 0x1.67e57cdd4dc54p+16,
    0x1.65a1dd290660fp+17, 0x1.bf9b3c6059d24p+18, 0x1.39c6fd67805a7p+19,
    0x1.9eb7148f354d6p+21, 0x1.b951f1572eba5p+24, 0x1.b951f1572eba5p+28,
    0x1.b951f1572eba5p+32, 0x1.5c9508c58aafap+33, 0x1.5c9508c58aafap+34,
    0x1.de5e5054e921bp+35, 0x1.46546a5bd73ccp+36, 0x1.bb23eaa3db16dp+39,
    0x1.065c829d68730p+40, 0x1.065c829d68730p+47, 0x1.f42d52c35675dp+47,
};

// Arguments whose results lie nearest to a midpoint between two doubles
// (within 2^-29 to 2^-36 ulp), the hardest of those where the fast paths
// gave up in a search of 6 10^9 random phases and 3 10^9 random exponents.
const double kHardSines[] = {
    0x1.5303fa9b110c1p+1,  0x1.a0464ff808b71p-3,  -0x1.53bb37431e25dp+16,
    -0x1.12ca199a0a79p+17, -0x1.7ce3b0621f3fbp+33, 0x1.de50f65ad1922p-3,
    -0x1.36caa59443799p+16, -0x1.6bf10c8f3cb71p+17, -0x1.6c23704a71d1ep+33,
    -0x1.5c2ab7ab37d77p+17, -0x1.648306daf1cfep+16, 0x1.4bb85828dcb58p+2,
};
const double kHardPowers[] = {
    0x1.792e26db11283p+7, 0x1.fb0962ac1369ep+6, 0x1.e259d6194b595p+5,
    0x1.f06d5498d23ebp+3, 0x1.397b8b145ecf5p+5, 0x1.9b0331a84082bp+5,
    0x1.2e241b890f2c3p+6, 0x1.5b757390842dp+5,  0x1.0a3446646a43fp+7,
    0x1.6461c3517b14bp+6, 0x1.fec2c4996efedp+4, 0x1.79726435fdcf9p+6,
};

TEST(ExactMath, SineMatchesMpfr) {
  Checker c{Sin, detail::SinSlow, MpfrSin};
  const long before = detail::GetSlowPathCounts().undecided;
  // The edges: 0, the wrapped phases' ends, kPi and its neighbours, the
  // doubles nearest to multiples of pi/2 in the wrapped range and the
  // hardest reductions (both signs, one ulp around), the most negative
  // phase a patch reaches (oscillators.cpp) and the domain's limits.
  const double edges[] = {0.0,
                          -0.0,
                          std::nextafter(kTwoPi, 0.0),
                          kTwoPi,
                          kPi,
                          std::nextafter(kPi, 0.0),
                          std::nextafter(kPi, 4.0),
                          0x1p-26,
                          std::nextafter(0x1p-26, 1.0),
                          0x1p-15,
                          0x1p17,
                          std::nextafter(0x1p17, 0.0),
                          0x1p35,
                          std::nextafter(0x1p35, 0.0),
                          std::nextafter(0x1p48, 0.0),
                          -1.5671e10,
                          -1.6e10};
  for (double x : edges) {
    c.Check(x, true);
    c.Check(-x, true);
  }
  mpfr_t halfPi;
  mpfr_init2(halfPi, 200);
  for (int n = 1; n <= 4; ++n) {
    mpfr_const_pi(halfPi, MPFR_RNDN);
    mpfr_mul_si(halfPi, halfPi, n, MPFR_RNDN);
    mpfr_div_2ui(halfPi, halfPi, 1, MPFR_RNDN);
    const double x = mpfr_get_d(halfPi, MPFR_RNDN);
    for (double y : {std::nextafter(x, 0.0), x, std::nextafter(x, 8.0)}) {
      c.Check(y, true);
      c.Check(-y, true);
    }
  }
  mpfr_clear(halfPi);
  for (double x : kNearPiMultiples) {
    for (double y : {std::nextafter(x, 0.0), x, std::nextafter(x, 1e300)}) {
      c.Check(y, true);
      c.Check(-y, true);
    }
  }
  for (double x : kHardSines) c.Check(x, true);

  // Random: a quarter each uniform over the wrapped phases, uniform over the
  // negative phases a patch reaches, uniform over [-2^17, 0] (deep FM) and
  // log-uniform in size from 2^-30 to 2^34; one in 8 also through the slow
  // path alone.
  Random r(20260601);
  const long count = RandomCount();
  for (long i = 0; i < count; ++i) {
    double x;
    switch (i % 4) {
      case 0: x = r.Between(0.0, kTwoPi); break;
      case 1: x = r.Between(-1.6e10, 0.0); break;
      case 2: x = r.Between(-0x1p17, 0.0); break;
      default: x = r.LogUniform(-30, 33); break;
    }
    c.Check(x, i % 8 < 1);
  }
  EXPECT_EQ(0, c.mismatches) << c.first;
  EXPECT_EQ(before, detail::GetSlowPathCounts().undecided);
  std::printf("sine: %ld results checked, slow path longer %ld times\n",
              c.checked, detail::GetSlowPathCounts().longer);
}

TEST(ExactMath, SemitonePowerMatchesMpfr) {
  Checker c{Pow, detail::PowSlow, MpfrSemitonePow};
  const long before = detail::GetSlowPathCounts().undecided;
  // The edges: 0, 1, the smallest and largest exponents a patch gives
  // (-1 and 201 semitones), the tiny exponents that round to 1, the
  // domain's limits.
  for (double e : {0.0, 1.0, 2.0, 201.0, 100.5, 0.5, 0x1p-60, 0x1p-53}) {
    for (double f : {e, std::nextafter(e, 0.0), std::nextafter(e, 2e3)}) {
      c.Check(f, true);
      c.Check(-f, true);
    }
  }
  c.Check(1024.0, true);
  c.Check(-1024.0, true);
  for (double e : kHardPowers) c.Check(e, true);
  // Every start and end pitch of a patch: S = Tune + (DeTune - 50) / 100,
  // E = Bend * S / 50, as the curve tables form them.
  for (int tune = 0; tune <= 100; ++tune) {
    for (int detune = 0; detune <= 100; ++detune) {
      const double s = tune + (detune - 50) / 100.0;
      c.Check(s, false);
      for (int bend = 0; bend <= 100; ++bend) c.Check(bend * s / 50, false);
    }
  }
  // Random: uniform over the patches' [-1, 201], uniform over the domain,
  // log-uniform in size from 2^-70 to 2^10; one in 8 also through the slow
  // path alone.
  Random r(20260602);
  const long count = RandomCount();
  for (long i = 0; i < count; ++i) {
    double e;
    switch (i % 3) {
      case 0: e = r.Between(-1.0, 201.0); break;
      case 1: e = r.Between(-1024.0, 1024.0); break;
      default: e = r.LogUniform(-70, 9); break;
    }
    c.Check(e, i % 8 < 1);
  }
  EXPECT_EQ(0, c.mismatches) << c.first;
  EXPECT_EQ(before, detail::GetSlowPathCounts().undecided);
  std::printf("semitone power: %ld results checked, slow path longer %ld "
              "times\n", c.checked, detail::GetSlowPathCounts().longer);
}

}  // namespace
}  // namespace plimbar
