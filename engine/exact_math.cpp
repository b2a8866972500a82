// The slow paths of the engine's sine and semitone power (exact_math.h):
// the same functions in fixed point, with exact integer arithmetic, for the
// arguments where the fast path cannot tell how its result rounds.
//
// A value is N 64-bit limbs with one integer bit and 64N - 1 fraction bits
// (0 <= v < 2); every product is truncated, so every step adds at most one
// unit of the last place (ulp). Each function first runs with N = 3 (191
// fraction bits). Its result, known within 32 ulps, decides the rounding
// unless the true value lies within that distance of a midpoint between two
// doubles. Sines are at least 2^-61 in size (no double at all comes closer
// than that to a multiple of pi/2, a known result of the searches for the
// hardest argument reductions; the tests check the closest ones below 2^48),
// so that would take a true value agreeing with a midpoint to more than 124
// bits, relative; the hardest cases that exhaustive searches have found for
// sine and exponential in double precision agree to fewer. Then N = 5 (319
// fraction bits) decides again, as a second line.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "engine/exact_math.h"

namespace plimbar {
namespace exact_math_detail {
namespace {

using u64 = uint64_t;

// a * b = hi * 2^64 + lo.
inline void Mul64(u64 a, u64 b, u64& hi, u64& lo) {
#if defined(__SIZEOF_INT128__)
  __extension__ typedef unsigned __int128 u128;
  const u128 p = static_cast<u128>(a) * b;
  hi = static_cast<u64>(p >> 64);
  lo = static_cast<u64>(p);
#else
  const u64 a0 = a & 0xFFFFFFFFu, a1 = a >> 32;
  const u64 b0 = b & 0xFFFFFFFFu, b1 = b >> 32;
  const u64 p00 = a0 * b0, p01 = a0 * b1, p10 = a1 * b0, p11 = a1 * b1;
  const u64 mid = (p00 >> 32) + (p01 & 0xFFFFFFFFu) + (p10 & 0xFFFFFFFFu);
  lo = (mid << 32) | (p00 & 0xFFFFFFFFu);
  hi = p11 + (p01 >> 32) + (p10 >> 32) + (mid >> 32);
#endif
}

// N limbs of 64 bits, the lowest first; a sum wraps modulo 2^(64 N).
template <int N>
struct Limbs {
  u64 w[N];
};

template <int N>
Limbs<N> Add(const Limbs<N>& a, const Limbs<N>& b) {
  Limbs<N> r;
  u64 carry = 0;
  for (int i = 0; i < N; ++i) {
    const u64 s = a.w[i] + carry;
    const u64 c1 = s < carry;
    r.w[i] = s + b.w[i];
    carry = c1 + (r.w[i] < s);
  }
  return r;
}

// --- integers of 8 limbs, modulo 2^512 (two's complement) -------------------

constexpr int kBig = 8;
// The reduction works at 448 fraction bits (the constants' scale).
constexpr int kBigFraction = 448;

using Big = Limbs<kBig>;

Big BigOf(const u64 (&c)[kBig]) {
  Big r;
  for (int i = 0; i < kBig; ++i) r.w[i] = c[i];
  return r;
}

Big BigNegate(const Big& a) {
  Big r;
  u64 carry = 1;
  for (int i = 0; i < kBig; ++i) {
    r.w[i] = ~a.w[i] + carry;
    carry = carry && r.w[i] == 0;
  }
  return r;
}

Big BigSub(const Big& a, const Big& b) { return Add(a, BigNegate(b)); }

bool BigNegative(const Big& a) { return (a.w[kBig - 1] >> 63) != 0; }

// a < b as unsigned numbers.
bool BigLess(const Big& a, const Big& b) {
  for (int i = kBig - 1; i >= 0; --i) {
    if (a.w[i] != b.w[i]) return a.w[i] < b.w[i];
  }
  return false;
}

// a * m for a small enough not to wrap.
Big BigMul(const Big& a, u64 m) {
  Big r;
  u64 carry = 0;
  for (int i = 0; i < kBig; ++i) {
    u64 hi, lo;
    Mul64(a.w[i], m, hi, lo);
    lo += carry;
    hi += lo < carry;
    r.w[i] = lo;
    carry = hi;
  }
  return r;
}

// m * 2^s (s >= 0, the result below 2^511).
Big BigShiftedLeft(u64 m, int s) {
  Big r = {};
  const int limb = s / 64, bit = s % 64;
  r.w[limb] = m << bit;
  if (bit != 0 && limb + 1 < kBig) r.w[limb + 1] = m >> (64 - bit);
  return r;
}

// floor(a / 2^s) for a >= 0, 0 <= s < 512.
Big BigShiftedRight(const Big& a, int s) {
  Big r = {};
  const int limb = s / 64, bit = s % 64;
  for (int i = 0; i + limb < kBig; ++i) {
    u64 v = a.w[i + limb] >> bit;
    if (bit != 0 && i + limb + 1 < kBig) v |= a.w[i + limb + 1] << (64 - bit);
    r.w[i] = v;
  }
  return r;
}

// --- fixed point: N limbs, one integer bit ------------------------------------

template <int N>
using Fixed = Limbs<N>;

// a - b for a >= b.
template <int N>
Fixed<N> Sub(const Fixed<N>& a, const Fixed<N>& b) {
  Fixed<N> r;
  u64 borrow = 0;
  for (int i = 0; i < N; ++i) {
    const u64 d = a.w[i] - b.w[i];
    const u64 b1 = a.w[i] < b.w[i];
    r.w[i] = d - borrow;
    borrow = b1 + (d < borrow);
  }
  return r;
}

// floor(a b) for a b < 2: the exact product of 2N limbs, shifted.
template <int N>
Fixed<N> Mul(const Fixed<N>& a, const Fixed<N>& b) {
  u64 p[2 * N] = {};
  for (int i = 0; i < N; ++i) {
    u64 carry = 0;
    for (int k = 0; k < N; ++k) {
      u64 hi, lo;
      Mul64(a.w[i], b.w[k], hi, lo);
      lo += carry;
      hi += lo < carry;
      p[i + k] += lo;
      hi += p[i + k] < lo;
      carry = hi;
    }
    p[i + N] = carry;
  }
  // p / 2^(128N - 2) as a value; the result is p / 2^(64N - 1).
  Fixed<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = (p[N + i] << 1) | (p[N + i - 1] >> 63);
  return r;
}

// 1/n!, within one ulp below.
template <int N>
Fixed<N> InvFactorial(int n) {
  Fixed<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = kInvFactorial[n][6 - N + i];
  return r;
}

// A non-negative Big at 448 fraction bits below 2, as Fixed<N> (floor).
template <int N>
Fixed<N> FixedOf(const Big& a) {
  const Big s = BigShiftedRight(a, kBigFraction + 1 - 64 * N);
  Fixed<N> r;
  for (int i = 0; i < N; ++i) r.w[i] = s.w[i];
  return r;
}

// Terms of the Taylor series used with N limbs, up to u^m (sine: u^m /
// (2m+1)!, cosine: u^m / (2m)!, in u = r^2) and t^m / m! (exponential): the
// first term left out, at the largest argument (u = (pi/4)^2, t = ln 2), is
// below 2^-3 ulp.
template <int N>
struct Terms;
template <>
struct Terms<3> {
  static constexpr int kSin = 21, kCos = 21, kExp = 42;
};
template <>
struct Terms<5> {
  static constexpr int kSin = 31, kCos = 32, kExp = 62;
};
static_assert(2 * Terms<5>::kCos < 72 && 2 * Terms<5>::kSin + 1 < 72 &&
                  Terms<5>::kExp < 72,
              "the table holds 1/n! up to n = 71");

// sum over k = 0..m of (-1)^k u^k / (2k + parity)!, by Horner from the
// inside: each partial sum stays positive (u <= 0.62 and the coefficients
// fall by 1/6 or more), and its error stays below 1/(1 - u) times the 5
// ulps a step adds (coefficient, product, u's 3 ulps): below 14 ulps.
template <int N>
Fixed<N> AlternatingSeries(const Fixed<N>& u, int m, int parity) {
  Fixed<N> p = InvFactorial<N>(2 * m + parity);
  for (int k = m - 1; k >= 0; --k) {
    p = Sub(InvFactorial<N>(2 * k + parity), Mul(u, p));
  }
  return p;
}

// Errors of the final values, in ulps, with room to spare: the series'
// 14 ulps (13 after multiplying by r) and the exponential's Horner error,
// below (1 + 1 + 2) / (1 - ln 2) < 14 ulps.
constexpr u64 kErrorUlps = 32;

}  // namespace

bool NearestDouble(const uint64_t* w, int n, int e, double& out) {
  int top = -1;
  for (int i = n - 1; i >= 0 && top < 0; --i) {
    if (w[i] != 0) top = 64 * i + 63 - __builtin_clzll(w[i]);
  }
  if (top < 53) return false;
  auto bit = [&](int b) -> u64 { return (w[b / 64] >> (b % 64)) & 1u; };
  u64 mant = 0;
  for (int b = top; b > top - 53; --b) mant = (mant << 1) | bit(b);
  // Round to nearest, ties to even: the next bit and the ones below it.
  const int low = top - 52;  // weight of mant's last bit: 2^low
  bool sticky = false;
  for (int b = low - 2; b >= 0 && !sticky; --b) sticky = bit(b) != 0;
  int exponent = top + e;  // of the leading bit
  if (bit(low - 1) && (sticky || (mant & 1u))) {
    if (++mant == u64{1} << 53) {
      mant >>= 1;
      ++exponent;
    }
  }
  if (exponent < -1000 || exponent > 1000) return false;
  const u64 bits = (static_cast<u64>(exponent + 1023) << 52) |
                   (mant & ((u64{1} << 52) - 1));
  std::memcpy(&out, &bits, sizeof out);
  return true;
}

namespace {

// The double nearest v 2^scale (negated when `negative`): true when every
// value within kErrorUlps of v rounds to it, false (and the double nearest v
// itself) otherwise.
template <int N>
bool Decide(const Fixed<N>& v, int scale, bool negative, double& out) {
  u64 lo[N + 1], hi[N + 1];
  u64 borrow = kErrorUlps, carry = kErrorUlps;
  for (int i = 0; i < N; ++i) {
    lo[i] = v.w[i] - borrow;
    borrow = v.w[i] < borrow;
    hi[i] = v.w[i] + carry;
    carry = hi[i] < carry;
  }
  lo[N] = 0;
  hi[N] = carry;
  const int e = scale - (64 * N - 1);
  double a = 0.0, b = 0.0;
  const bool decided = !borrow && NearestDouble(lo, N + 1, e, a) &&
                       NearestDouble(hi, N + 1, e, b) && a == b;
  if (!decided && !NearestDouble(v.w, N, e, a)) a = 0.0;
  out = negative ? -a : a;
  return decided;
}

// A positive normal double as m 2^e with m < 2^53.
void Split(double x, u64& m, int& e) {
  u64 bits;
  std::memcpy(&bits, &x, sizeof bits);
  e = static_cast<int>((bits >> 52) & 0x7FF) - 1075;
  m = (bits & ((u64{1} << 52) - 1)) | (u64{1} << 52);
}

constexpr double kSinLimit = 0x1p48;  // the slow sine's domain: |x| < 2^48

// sin x for 2^-26 <= |x| < 2^48, with N limbs: false when undecided.
//
// x = q pi/2 + r exactly enough: x and q pi/2 as integers at 448 fraction
// bits (pi/2 truncated there, so the product is off by at most q < 2^48
// units of 2^-448), q adjusted until |r| <= pi/4. Then sin x is +-sin r or
// +-cos r, from the Taylor series in u = r^2 (r within 1 ulp, u within 3).
template <int N>
bool SinFixed(double x, double& y) {
  const double ax = std::fabs(x);
  u64 m;
  int e;
  Split(ax, m, e);
  const Big halfPi = BigOf(kHalfPiFixed);
  const Big quarterPi = BigShiftedRight(halfPi, 1);
  // q = round(|x| 2/pi) < 2^48, from the low bits of the shifted sum.
  u64 q;
  const double qt = ax * kTwoOverPi + kRoundShift;
  std::memcpy(&q, &qt, sizeof q);
  q &= (u64{1} << 51) - 1;
  Big r = BigSub(BigShiftedLeft(m, e + kBigFraction), BigMul(halfPi, q));
  bool below = BigNegative(r);
  Big size = below ? BigNegate(r) : r;
  while (BigLess(quarterPi, size)) {
    if (below) {
      r = Add(r, halfPi);
      --q;
    } else {
      r = BigSub(r, halfPi);
      ++q;
    }
    below = BigNegative(r);
    size = below ? BigNegate(r) : r;
  }
  const Fixed<N> rf = FixedOf<N>(size);
  const Fixed<N> u = Mul(rf, rf);
  const bool cosine = (q & 1u) != 0;
  const Fixed<N> v =
      cosine ? AlternatingSeries(u, Terms<N>::kCos, 0)
             : Mul(rf, AlternatingSeries(u, Terms<N>::kSin, 1));
  // sin(x) = sin(|x|) negated for x < 0; sin(q pi/2 + r) is sin r, cos r,
  // -sin r, -cos r for q mod 4 = 0..3; sin(-r) = -sin r, cos(-r) = cos r.
  const bool negative = ((x < 0) != ((q & 2u) != 0)) != (!cosine && below);
  return Decide(v, 0, negative, y);
}

// kSemitoneRatio^e = exp(e L) for 2^-60 <= |e| <= 1024, with N limbs: false
// when undecided.
//
// T = e L at 448 fraction bits: L truncated there (off by less than 2^11
// units for |e| <= 1024) and the product truncated (1 unit). k = floor(T /
// ln 2), t = T - k ln 2 in [0, ln 2) (ln 2 truncated: |k| < 2^7 units), so
// the result is 2^k e^t, e^t from its Taylor series (t within 1 ulp).
template <int N>
bool PowFixed(double e, double& y) {
  u64 m;
  int ex;
  Split(std::fabs(e), m, ex);
  const Big ln2 = BigOf(kLn2Fixed);
  Big t = BigShiftedRight(BigMul(BigOf(kLnRatioFixed), m), -ex);
  if (e < 0) t = BigNegate(t);
  // An estimate of floor(T / ln 2) (|T / ln 2| < 86), then exact steps.
  int k = static_cast<int>(e * kLnRatioHi * 1.4426950408889634);
  const Big kLn2 = BigMul(ln2, static_cast<u64>(k < 0 ? -k : k));
  t = k < 0 ? Add(t, kLn2) : BigSub(t, kLn2);
  while (BigNegative(t)) {
    t = Add(t, ln2);
    --k;
  }
  while (!BigLess(t, ln2)) {
    t = BigSub(t, ln2);
    ++k;
  }
  const Fixed<N> tf = FixedOf<N>(t);
  Fixed<N> p = InvFactorial<N>(Terms<N>::kExp);
  for (int n = Terms<N>::kExp - 1; n >= 0; --n) {
    p = Add(InvFactorial<N>(n), Mul(tf, p));
  }
  return Decide(p, k, false, y);
}

SlowPathCounts g_counts = {0, 0, 0};

}  // namespace

double SinSlow(double x) {
  const double ax = std::fabs(x);
  if (ax < 0x1p-26) return x;  // sin x = x (1 - x^2/6 ...) rounds to x
  if (!(ax < kSinLimit)) return std::numeric_limits<double>::quiet_NaN();
  ++g_counts.calls;
  double y;
  if (SinFixed<3>(x, y)) return y;
  ++g_counts.longer;
  if (SinFixed<5>(x, y)) return y;
  ++g_counts.undecided;
  return y;
}

double PowSlow(double e) {
  const double ae = std::fabs(e);
  if (!(ae <= 1024.0)) return std::numeric_limits<double>::quiet_NaN();
  if (ae < 0x1p-60) return 1.0;
  ++g_counts.calls;
  double y;
  if (PowFixed<3>(e, y)) return y;
  ++g_counts.longer;
  if (PowFixed<5>(e, y)) return y;
  ++g_counts.undecided;
  return y;
}

SlowPathCounts GetSlowPathCounts() { return g_counts; }

}  // namespace exact_math_detail
}  // namespace plimbar
