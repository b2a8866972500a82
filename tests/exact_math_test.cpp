// The engine's sine and semitone power bit for bit against MPFR, fast and slow path.
// PLIMBAR_EXACT_MATH_COUNT sets the random arguments per function (10^6; 10^5 sanitized).
#include <gtest/gtest.h>
#include <mpfr.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/exact_math.h"
#include "tests/test_support.h"

namespace plimbar {

namespace detail = exact_math_detail;

using test::Random;
double LogUniform(Random& r, int lo, int hi) {  // 2^lo to 2^(hi + 1) in size, either sign
  const double x = std::ldexp(r.Between(1.0, 2.0), r.Between(lo, hi));
  return r.Next() & 1 ? -x : x;
}

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
  void Edges(const std::vector<double>& xs, bool around) {
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

std::vector<double> Arguments(const std::string& name) {
  std::vector<double> xs;
  for (const auto& row : test::DataRows("exact_math_arguments.txt", name))
    for (const std::string& word : row) xs.push_back(std::strtod(word.c_str(), nullptr));
  return xs;
}

// Every argument of the list must take the slow path at 191 bits, and then decide right.
void ExpectSlowDecisions(Checker& c, const std::vector<double>& xs) {
  const long before = c.decided[1];
  for (double x : xs) c.Check(x, false);
  EXPECT_EQ(c.decided[1] - before, long(xs.size())) << "not every argument of the list reached the slow path";
}

// The slow paths' rounding to the nearest double, ties to even, on limbs made by hand: a 128-bit
// integer whose top bit is bit 100 (times 2^-100: 1 <= v < 2), its 53 bits M, then the guard bit
// and the 47 bits below it (the sticky part): the rows of tests/data/exact_math_arguments.txt.
TEST(ExactMath, SlowPathRoundsToNearestEven) {
  for (const auto& r : test::DataRows("exact_math_arguments.txt", "nearest-even")) {
    uint64_t v[4];
    for (int i = 0; i < 4; ++i) v[i] = std::strtoull(r.at(i).c_str(), nullptr, 16);
    const uint64_t low = (v[0] << 48) | (v[1] << 47) | v[2];  // bits 0..63 of the 101
    const uint64_t w[2] = {low, v[0] >> 16};
    double got = 0.0;
    ASSERT_TRUE(detail::NearestDouble(w, 2, -100, got));
    EXPECT_EQ(got, std::ldexp(double(v[3]), -52)) << r[0] << " " << r[1] << " " << r[2];
  }
}

TEST(ExactMath, SineMatchesMpfr) {
  Checker c{true, ExactSin, detail::SinSlow};
  c.Edges({kTwoPi, kPi}, true);  // the wrapped phases' ends
  c.Edges(Arguments("sine-edges-and-neighbours"), true);
  c.Edges(Arguments("sine-edges"), false);
  ExpectSlowDecisions(c, Arguments("sine-slow"));
  // Wrapped phases, the negative phases a patch reaches, deep FM, log-uniform 2^-30 to 2^34.
  c.RandomArgumentsAndVerdict(20260601, [](Random& r, long i) {
    switch (i % 4) {
      case 0: return r.Between(0.0, kTwoPi);
      case 1: return r.Between(-1.6e10, 0.0);
      case 2: return r.Between(-0x1p17, 0.0);
      default: return LogUniform(r, -30, 33);
    }
  });
}

TEST(ExactMath, SemitonePowerMatchesMpfr) {
  Checker c{false, ExactSemitonePow, detail::PowSlow};
  c.Edges(Arguments("power-edges-and-neighbours"), true);
  c.Edges(Arguments("power-edges"), false);
  // Every start and end pitch of a patch, formed as the curve tables do.
  for (int tune = 0; tune <= 100; ++tune)
    for (int detune = 0; detune <= 100; ++detune) {
      const double s = tune + (detune - 50) / 100.0;
      c.Check(s, false);
      for (int bend = 0; bend <= 100; ++bend) c.Check(bend * s / 50, false);
    }
  ExpectSlowDecisions(c, Arguments("power-slow"));
  // The patches' [-1, 201], the domain, log-uniform in size from 2^-70 to 2^10.
  c.RandomArgumentsAndVerdict(20260602, [](Random& r, long i) {
    switch (i % 3) {
      case 0: return r.Between(-1.0, 201.0);
      case 1: return r.Between(-1024.0, 1024.0);
      default: return LogUniform(r, -70, 9);
    }
  });
}

}  // namespace plimbar
