// The engine's sine and semitone power bit for bit against MPFR, fast and slow path.
// PLIMBAR_EXACT_MATH_COUNT sets the random arguments per function (10^6; 10^5 sanitized).
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "engine/engine.h"
#include "engine/exact_math.h"

namespace plimbar {

namespace detail = exact_math_detail;

struct Random {  // splitmix64
  uint64_t state;
  uint64_t Next() {
    uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Between(double lo, double hi) { return lo + (hi - lo) * ((Next() >> 11) * 0x1p-53); }
  double LogUniform(int lo, int hi) {
    const double x = std::ldexp(Between(1.0, 2.0), lo + static_cast<int>(Next() % (hi - lo + 1)));
    return Next() & 1 ? -x : x;
  }
};

// One function against MPFR; the first mismatch is kept.
struct Checker {
  using Function = double (*)(double);
  Checker(bool s, Function e, Function sl) : sine(s), exact(e), slow(sl) {}
  bool sine;
  Function exact, slow;
  long mismatches = 0;
  long decided[3] = {0, 0, 0};  // by the fast path, at 191 bits, at 319 bits (the backstop)
  const long undecided = detail::GetSlowPathCounts().undecided;
  std::ostringstream first;

  void Check(double x, bool slowToo) {
    mpfr_t base, v;
    mpfr_inits2(53, base, v, static_cast<mpfr_ptr>(nullptr));
    mpfr_set_d(base, kSemitoneRatio, MPFR_RNDN);
    mpfr_set_d(v, x, MPFR_RNDN);
    sine ? mpfr_sin(v, v, MPFR_RNDN) : mpfr_pow(v, base, v, MPFR_RNDN);
    const double want = mpfr_get_d(v, MPFR_RNDN);
    mpfr_clears(base, v, static_cast<mpfr_ptr>(nullptr));
    for (int path = 0; path <= (slowToo ? 1 : 0); ++path) {
      const detail::SlowPathCounts before = detail::GetSlowPathCounts();
      const double got = path ? slow(x) : exact(x);
      const detail::SlowPathCounts after = detail::GetSlowPathCounts();
      if (path == 0) ++decided[after.calls == before.calls ? 0 : after.longer == before.longer ? 1 : 2];
      if (std::memcmp(&got, &want, sizeof got) != 0 && mismatches++ == 0)
        first << std::hexfloat << x << (path ? " (slow path)" : "") << ": " << got << ", correctly rounded " << want;
    }
  }
  // x and -x through both paths, with their neighbours when `around`.
  void Edges(std::initializer_list<double> xs, bool around) {
    for (double x : xs)
      for (double y : {std::nextafter(x, 0.0), x, std::nextafter(x, INFINITY)})
        for (double z : {y, -y})
          if (around || y == x) Check(z, true);
  }
  // The random arguments (one in 8 also through the slow path), then the verdict on all.
  template <typename Pick>
  void RandomArgumentsAndVerdict(uint64_t seed, Pick pick) {
    const char* env = std::getenv("PLIMBAR_EXACT_MATH_COUNT");
#ifdef PLIMBAR_SANITIZED
    long count = 100000;  // the plain build runs the full count
#else
    long count = 1000000;
#endif
    if (env && std::atol(env) > 0) count = std::atol(env);
    Random r{seed};
    for (long i = 0; i < count; ++i) Check(pick(r, i), i % 8 < 1);
    EXPECT_EQ(0, mismatches) << first.str();
    EXPECT_EQ(undecided, detail::GetSlowPathCounts().undecided);
    // The slow path must have decided some results itself. No argument in the engine's range
    // is known to need the 319-bit backstop (none in 4 10^9 random ones), so it is not required.
    EXPECT_GT(decided[1], 0) << "the fast path decided all " << decided[0];
  }
};

// Arguments of the engine's range whose fast result lies within the fast path's error bound of
// a rounding boundary (found by a random search), so that ExactSin and ExactSemitonePow reach
// the slow path with them; every one must, and then decide right.
constexpr double kSlowSines[] = {
    0x1.09ec097fdfa3cp-2,  0x1.6393eccc080a5p+2,  0x1.2e52c0068bd57p+2,  0x1.3b8030edc648cp+2,
    0x1.4e9c1c95e72d4p+1,  0x1.50819806db33ep+1,  0x1.86902ca00de2bp+2,  0x1.1b651c0c6c8dbp+2,
    -0x1.4b7e445e07912p+32, -0x1.c85ce60c5d983p+33, -0x1.00de0a1d2005ep+33, -0x1.5e8024f8cba44p+33,
    -0x1.2d226e8a99c28p+33, -0x1.8a7692c694df4p+33, -0x1.7b389518a3e9dp+33, -0x1.7b91de81024bap+33,
    -0x1.bde4038fa3077p+16, -0x1.ecfde5169f35ap+16, -0x1.f8ea2e6ff1b6bp+16, -0x1.487bc0e34ae32p+15,
    -0x1.dcbdd9fcd580bp+16, -0x1.5a446d29a82efp+16, -0x1.6a9633ffd12ep+12,  -0x1.b89517958c0cp+15};
constexpr double kSlowPowers[] = {
    0x1.0c060db84b992p+7, 0x1.175c918f0c85fp+5, 0x1.9297d2d09238p+2,  0x1.2bd46b67a2d7ep+6,
    0x1.094ca75397f2cp+7, 0x1.122ff09ce1676p+7, 0x1.22c69c6d4afb4p+7, 0x1.2151ef6f060c5p+6,
    0x1.2bedf8ddd924ep+6, 0x1.5be6e50ac3a7fp+4, 0x1.0775271237d65p+5, 0x1.d8ae7f0ebbd61p+6};

template <size_t N>
void ExpectSlowDecisions(Checker& c, const double (&table)[N]) {
  const long before = c.decided[1];
  for (double x : table) c.Check(x, false);
  EXPECT_EQ(c.decided[1] - before, long(N)) << "not every argument of the table reached the slow path";
}

// The slow paths' rounding to the nearest double, ties to even, on limbs made by hand: a 128-bit
// integer whose top bit is bit 100 (times 2^-100: 1 <= v < 2), its 53 bits M, then the guard bit
// and the 47 bits below it (the sticky part).
TEST(ExactMath, SlowPathRoundsToNearestEven) {
  const uint64_t kEven = (uint64_t{1} << 52) | 2, kOdd = (uint64_t{1} << 52) | 1, kTop = (uint64_t{1} << 53) - 1;
  const uint64_t kLowOnes = (uint64_t{1} << 47) - 1;
  const struct {
    uint64_t mant, guard, below;
    double want;  // in units of 2^-52
  } rows[] = {
      {kEven, 0, 0, double(kEven)},                 // exact
      {kEven, 1, 0, double(kEven)},                 // a tie stays even
      {kOdd, 1, 0, double(kOdd + 1)},               // a tie goes to even
      {kEven, 1, 1, double(kEven + 1)},             // above the tie by the lowest bit
      {kEven, 1, kLowOnes, double(kEven + 1)},      // every bit below set
      {kEven, 0, kLowOnes, double(kEven)},          // below the tie
      {kTop, 1, 0, double(uint64_t{1} << 53)},      // the carry into the next power of two
  };
  for (const auto& r : rows) {
    const uint64_t low = (r.mant << 48) | (r.guard << 47) | r.below;  // bits 0..63 of the 101
    const uint64_t w[2] = {low, r.mant >> 16};
    double got = 0.0;
    ASSERT_TRUE(detail::NearestDouble(w, 2, -100, got));
    EXPECT_EQ(got, std::ldexp(r.want, -52)) << std::hex << r.mant << " " << r.guard << " " << r.below;
  }
}

TEST(ExactMath, SineMatchesMpfr) {
  Checker c{true, ExactSin, detail::SinSlow};
  // The wrapped phases' ends, the fast path's limits, the doubles nearest to pi/2, pi, 3pi/2 and,
  // by binade up to 2^48, to multiples of pi (from the continued fraction of pi / ulp).
  c.Edges({kTwoPi, kPi, 0x1p-26, 0x1p17, 0x1p35, 0x1.921fb54442d18p+0, 0x1.2d97c7f3321d2p+2,
           0x1.921fb54442d18p+1, 0x1.921fb54442d18p+2, 0x1.2d97c7f3321d2p+3, 0x1.dd85a7410f58dp+5,
           0x1.6c6cbc45dc8dep+6, 0x1.6c6cbc45dc8dep+10, 0x1.6c6cbc45dc8dep+14, 0x1.635e3d74befcap+15,
           0x1.67e57cdd4dc54p+16, 0x1.65a1dd290660fp+17, 0x1.bf9b3c6059d24p+18, 0x1.39c6fd67805a7p+19,
           0x1.9eb7148f354d6p+21, 0x1.b951f1572eba5p+24, 0x1.b951f1572eba5p+28, 0x1.b951f1572eba5p+32,
           0x1.5c9508c58aafap+33, 0x1.5c9508c58aafap+34, 0x1.de5e5054e921bp+35, 0x1.46546a5bd73ccp+36,
           0x1.bb23eaa3db16dp+39, 0x1.065c829d68730p+40, 0x1.065c829d68730p+47, 0x1.f42d52c35675dp+47},
          true);
  // 0, the domain's limit, the most negative phase a patch reaches; the results nearest to a
  // midpoint (2^-29 to 2^-36 ulp) where the fast path gave up in 6 10^9 random phases.
  c.Edges({0.0, 0x1p-15, std::nextafter(0x1p48, 0.0), 1.5671e10, 1.6e10,
           0x1.5303fa9b110c1p+1, 0x1.a0464ff808b71p-3, 0x1.53bb37431e25dp+16, 0x1.12ca199a0a79p+17,
           0x1.7ce3b0621f3fbp+33, 0x1.de50f65ad1922p-3, 0x1.36caa59443799p+16, 0x1.6bf10c8f3cb71p+17,
           0x1.6c23704a71d1ep+33, 0x1.5c2ab7ab37d77p+17, 0x1.648306daf1cfep+16, 0x1.4bb85828dcb58p+2},
          false);
  // Where the slow path's first quotient of |x| / (pi/2) is one too high or too low (x nearest
  // (k + 1/2) pi/2, found with MPFR), so that it corrects it, in both directions.
  c.Edges({0x1.8949c2e8a2d9ap+10, 0x1.9251f93aeb59ep+10, 0x1.32ccfe936c2dap+17, 0x1.32cf59c2fc141p+17,
           0x1.7681cca49ab7ap+30, 0x1.d4223fc5e6c7p+32, 0x1.cf73d39ad015fp+33, 0x1.cf73d39d2b459p+33,
           0x1.c92972436db81p+43, 0x1.c92972436dea4p+43},
          false);
  ExpectSlowDecisions(c, kSlowSines);
  // Wrapped phases, the negative phases a patch reaches, deep FM, log-uniform 2^-30 to 2^34.
  c.RandomArgumentsAndVerdict(20260601, [](Random& r, long i) {
    switch (i % 4) {
      case 0: return r.Between(0.0, kTwoPi);
      case 1: return r.Between(-1.6e10, 0.0);
      case 2: return r.Between(-0x1p17, 0.0);
      default: return r.LogUniform(-30, 33);
    }
  });
}

TEST(ExactMath, SemitonePowerMatchesMpfr) {
  Checker c{false, ExactSemitonePow, detail::PowSlow};
  // 0, 1, the exponents a patch gives (-1 to 201), tiny ones that round to 1; the domain's
  // limit and the hardest roundings found in 3 10^9 random exponents.
  c.Edges({0.0, 1.0, 2.0, 201.0, 100.5, 0.5, 0x1p-60, 0x1p-53}, true);
  c.Edges({1024.0, 0x1.792e26db11283p+7, 0x1.fb0962ac1369ep+6, 0x1.e259d6194b595p+5,
           0x1.f06d5498d23ebp+3, 0x1.397b8b145ecf5p+5, 0x1.9b0331a84082bp+5, 0x1.2e241b890f2c3p+6,
           0x1.5b757390842dp+5, 0x1.0a3446646a43fp+7, 0x1.6461c3517b14bp+6, 0x1.fec2c4996efedp+4,
           0x1.79726435fdcf9p+6},
          false);
  // Every start and end pitch of a patch, formed as the curve tables do.
  for (int tune = 0; tune <= 100; ++tune)
    for (int detune = 0; detune <= 100; ++detune) {
      const double s = tune + (detune - 50) / 100.0;
      c.Check(s, false);
      for (int bend = 0; bend <= 100; ++bend) c.Check(bend * s / 50, false);
    }
  ExpectSlowDecisions(c, kSlowPowers);
  // The patches' [-1, 201], the domain, log-uniform in size from 2^-70 to 2^10.
  c.RandomArgumentsAndVerdict(20260602, [](Random& r, long i) {
    switch (i % 3) {
      case 0: return r.Between(-1.0, 201.0);
      case 1: return r.Between(-1024.0, 1024.0);
      default: return r.LogUniform(-70, 9);
    }
  });
}

}  // namespace plimbar
