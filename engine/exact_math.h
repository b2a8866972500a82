// The engine's own sine and power of kSemitoneRatio, correctly rounded:
// each returns the double nearest the exact value of the function at its
// exact double argument. C libraries differ in the last bit of sin and pow
// (and the x87 code of a 32-bit build differs again), so the engine computes
// them itself, with IEEE double + - * / only (no fused multiply-add, no
// long double), plus integer arithmetic: every build gives the same bits.
//
// How (the error bounds are derived in the comments of the code below):
//   - a fast path in doubles, with pairs of doubles where one double is not
//     enough, and a proved bound on its error; when the bound leaves the
//     rounding of the result in doubt (about once in 2000 calls for the
//     sine, once in 16000 for the power), it gives up
//   - and a slow path decides: the same function in fixed point with 191
//     and then 319 fraction bits (exact integer arithmetic, exact_math.cpp).
#ifndef PLIMBAR_ENGINE_EXACT_MATH_H
#define PLIMBAR_ENGINE_EXACT_MATH_H

#include <cmath>
#include <cstdint>
#include <cstring>

namespace plimbar {

// sin x, correctly rounded, for |x| < 2^48; NaN beyond. The oscillators
// call it with phases from about -1.6e10 up to kTwoPi (oscillators.cpp).
inline double ExactSin(double x);

// kSemitoneRatio^e (of the double kSemitoneRatio itself, not of 2^(1/12)),
// correctly rounded, for |e| <= 1024; NaN beyond. The engine's exponents
// lie in [-1, 201] (curve_tables.cpp).
inline double ExactSemitonePow(double e);

namespace exact_math_detail {

struct SinEntry {
  double sh, sl;  // sin(j pi/512) = sh + sl
  double ch, cl;  // cos(j pi/512) = ch + cl, ch with 28 significant bits
};
struct ExpEntry {
  double h, l;  // 2^(j/256) = h + l, h with 27 significant bits
};

#include "engine/exact_math_tables.inc"

// Adding and subtracting 1.5 * 2^52 rounds a double below 2^51 to an
// integer (ties to even); the integer sits in the low bits of the sum.
constexpr double kRoundShift = 0x1.8p52;

// The rounding tests. Take (yh, yl) with |yh + yl - y| <= eps |y| for the
// true value y. If yh + yl * (1 + 2^-m) rounds to yh, then y rounds to yh
// too, provided 2^54 eps < 2^-m - 2^-52: in that case yl * (1 + 2^-m) was
// at most half an ulp of yh away (rounding to nearest makes it no smaller
// than yl * (1 + 2^-m - 2^-53)), so yl itself stayed short of half an ulp
// by more than 2^(-m-1) ulp >= 2^(-m-54) |yh| > eps |y| (the same holds
// below yh, where at a power of two the half gap is |yh| 2^-54).
constexpr double kSinRoundTest = 1.0 + 0x1p-11;  // eps = 2^-66.0: see below
constexpr double kPowRoundTest = 1.0 + 0x1p-14;  // eps = 2^-69.9

// The low 32 bits of a double's representation.
inline uint32_t LowBits(double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  return static_cast<uint32_t>(bits);
}

// sin x for x = xh + xl, |xh| < 2^17 and |xl| <= 2^-36; `x` is the original
// argument, for the one case settled here.
//
// Reduction: x = k h + r with h = pi/512, k = round(xh / h) < 2^25, so
// |r| <= h/2 (1 + 2^-26) < 2^-8.35. With h = step1 + step2 + step3 (step1
// a multiple of 2^-35 with 28 bits, step2 a multiple of 2^-57 with 21):
//   - k step1 and k step2 are exact (at most 53 and 46 bits);
//   - xh - k step1 is exact: it is a multiple of ulp(xh) <= 2^-35 below
//     2^-8 in size, and for k >= 1 that fits 53 bits of ulp(xh) >= 2^-60;
//   - subtracting k step2 stays exact: the result, |r| + |k step3| <
//     2^-8.3, is a multiple of min(ulp(xh), 2^-57) and fits 53 of them.
//   So rh = r + q up to |h - steps| k < 2^-85.6, where q = k step3 - xl is
//   rounded by at most 2^-91 (tier A; plus 2^-89 when xl != 0).
// rs is rh rounded to a multiple of 2^-33 (25 bits), tail = rh - rs - q
// (rounded by at most 2^-87), rd = rh - q. In all |rs + tail - r| <= 2^-84.5
// (with the first reduction of SinFast, 2^-86.8 more).
//
// Evaluation: j = k mod 1024; sin(jh + r) = -sin((j - 512)h + r) for
// j >= 512. With S = sin jh, C = cos jh from the table,
//   sin(jh + r) = S + C r + S (cos r - 1) + C (sin r - r)
// where ch rs is exact (28 + 25 bits), sh + ch rs is split exactly into
// s + e1 (|sh| >= sin h > |ch rs| unless sh = 0), and the rest is small:
//   pc = cos r - 1 with |pc| <= r^2/2 <= 2^-17.7: Taylor to r^6 (the next
//     term, r^8/8!, is below 2^-82), and its error below 2.5 2^-53 r^2
//     (rd's rounding 1, r2's 0.5, the Horner sum's 0.5, the product's 0.5);
//   ps = sin r - r, |ps| <= 2^-27.6: to r^7 (next below 2^-93), error below
//     6.5 2^-53 |ps| < 2^-77.9;
//   C r - ch rs = ch tail + cl (rs + tail): from ch (ps + tail) + cl (rd +
//     ps), rounding errors below 2^-80 in all.
// The sums: sh pc + (...) rounds by at most 2^-53 (|S| r^2/2 + 2^-27.5);
// the rest is exact (s + X split exactly) or below 2^-100 |y|. sh vs S and
// the product sh pc add 2^-53 |S| r^2. So the error is at most
//   4 2^-53 |S| r^2 + 2^-76.3 absolute.
// For j != 0 (mod 512), |y| >= sin(h/2) > 2^-8.36 and |S| <= 2 |y| (the
// ratio sin jh / sin(jh - h/2) is largest at j = 1): relative error below
// 4 2^-53 2 2^-16.7 + 2^-76.3 / 2^-8.36 < 2^-66.7 + 2^-67.9 < 2^-66.0.
// (Only j = 1 and 511 come near that; elsewhere it is below 2^-67.)
// For j = 0, y = sin r with S = 0: 2^-84.5 / |r| plus much smaller terms,
// below 2^-69 when |r| >= 2^-15; smaller r go to the slow path (x below
// 2^-26 in size is its own sine rounded: sin x = x (1 - x^2/6 ...) and
// x^2/6 < 2^-54.5).
inline bool SinReduced(double x, double xh, double xl, double& y) {
  const double t = xh * kSinInvStep + kRoundShift;
  const double k = t - kRoundShift;
  const uint32_t j = LowBits(t) & 1023u;
  const double rh = (xh - k * kSinStep1) - k * kSinStep2;
  const double q = k * kSinStep3 - xl;
  const double rs = (rh + 0x1.8p19) - 0x1.8p19;
  const double tail = (rh - rs) - q;
  const double rd = rh - q;
  if ((j & 511u) == 0 && !(std::fabs(rd) >= 0x1p-15)) {
    if (!(std::fabs(x) < 0x1p-26)) return false;
    y = x;
    return true;
  }
  const SinEntry& e = kSinTable[j & 511u];
  const double p = e.ch * rs;
  const double s = e.sh + p;
  const double e1 = (e.sh - s) + p;
  const double r2 = rd * rd;
  const double pc = r2 * (-0.5 + r2 * (kCos2 + r2 * kCos3));
  const double ps = (r2 * rd) * (kSin1 + r2 * (kSin2 + r2 * kSin3));
  const double small =
      e.sh * pc + (((e1 + e.sl) + e.ch * (ps + tail)) + e.cl * (rd + ps));
  const double yh = s + small;
  const double yl = (s - yh) + small;
  if (yh != yh + yl * kSinRoundTest) return false;
  y = (j & 512u) ? -yh : yh;
  return true;
}

// The fast sine: true and y = sin x correctly rounded, or false when it
// cannot tell (then SinSlow decides).
//
// Below 2^17 the reduction above works directly. From 2^17 to 2^35 (where
// k would need more than 25 bits) the argument first loses a multiple n of
// 2^16 pi = 2^25 h (k mod 1024 stays the same): n < 2^18, turn1 is a
// multiple of 2^-17 with 35 bits, so n turn1 is exact and so is x - n
// turn1 (below 2^16.7, a multiple of ulp(x) >= 2^-35); n turn2 is exact
// (35 + 18 bits) and its subtraction is split exactly (xh + err); err - n
// turn3 rounds by at most 2^-89, and |2^16 pi - turns| n < 2^-87.6.
inline bool SinFast(double x, double& y) {
  const double ax = std::fabs(x);
  if (ax < 0x1p17) return SinReduced(x, x, 0.0, y);
  if (!(ax < 0x1p35)) return false;
  const double n = (x * kSinInvTurn + kRoundShift) - kRoundShift;
  const double x1 = x - n * kSinTurn1;
  const double m = -(n * kSinTurn2);
  const double xh = x1 + m;
  const double b = xh - x1;
  const double xl = ((x1 - (xh - b)) + (m - b)) - n * kSinTurn3;
  return SinReduced(x, xh, xl, y);
}

// The fast power kSemitoneRatio^e = exp(e L), L = ln kSemitoneRatio, for
// |e| <= 1024: true and y correctly rounded, or false (then PowSlow).
//
// T = e L: e split in two 26-bit halves (Veltkamp), hi = hi1 + hi2, so
// th + tl = e hi exactly (Dekker) up to e lo: |T - th - tl| < 2^-99.
// Reduction: k = round(th 256/ln 2), |k| < 2^15, t = T - k ln2/256 with
// |t| <= 2^-9.5: k step1 is exact (37 + 15 bits) and so is th - k step1
// (a multiple of ulp(th) below 2^-9); tl - k step2 rounds by at most
// 2^-85, k step2 by 2^-85, |ln2/256 - steps| k < 2^-86: t = t1 + t2 within
// 2^-83.7. ts is t1 rounded to a multiple of 2^-35 (26 bits), tail = t1 - ts
// + t2 (rounded by 2^-84), td = t1 + t2.
// exp(T) = 2^(k/256) e^t = 2^m E (1 + t + q), E = 2^(j/256), q = e^t - 1 - t:
// h ts is exact (27 + 26 bits) and h + h ts is split exactly; q <= 2^-20 to
// t^6 (next term below 2^-78.8), with error below 4.5 2^-53 q < 2^-70.8;
// the other products and sums round by less than 2^-71 in all. With E >= 1
// the relative error stays below 2^-69.9.
inline bool PowFast(double e, double& y) {
  const double ae = std::fabs(e);
  if (!(ae <= 1024.0)) return false;
  if (ae < 0x1p-60) {  // |e L| < 2^-64: e^(eL) rounds to 1
    y = 1.0;
    return true;
  }
  const double c = e * 134217729.0;  // 2^27 + 1
  const double e1 = c - (c - e);
  const double e2 = e - e1;
  const double th = e * kLnRatioHi;
  const double tl = ((((e1 * kLnRatioHi1 - th) + e1 * kLnRatioHi2) +
                      e2 * kLnRatioHi1) +
                     e2 * kLnRatioHi2) +
                    e * kLnRatioLo;
  const double kt = th * kExpInvStep + kRoundShift;
  const double k = kt - kRoundShift;
  const int32_t ki = static_cast<int32_t>(LowBits(kt));  // k mod 2^32
  const double t1 = th - k * kExpStep1;
  const double t2 = tl - k * kExpStep2;
  const double ts = (t1 + 0x1.8p17) - 0x1.8p17;
  const double tail = (t1 - ts) + t2;
  const double td = t1 + t2;
  const double q =
      (td * td) *
      (kExp2 + td * (kExp3 + td * (kExp4 + td * (kExp5 + td * kExp6))));
  const ExpEntry& en = kExpTable[ki & 255];
  const double p = en.h * ts;
  const double s = en.h + p;
  const double e3 = (en.h - s) + p;
  const double small = en.h * (q + tail) + ((e3 + en.l) + en.l * (td + q));
  const double yh = s + small;
  const double yl = (s - yh) + small;
  if (yh != yh + yl * kPowRoundTest) return false;
  // 2^m, m = floor(k / 256) in [-86, 86]: exact.
  const uint64_t scale = static_cast<uint64_t>((ki >> 8) + 1023) << 52;
  double two;
  std::memcpy(&two, &scale, sizeof two);
  y = yh * two;
  return true;
}

// The slow paths: correct for every argument in the domain, on their own.
double SinSlow(double x);
double PowSlow(double e);

// How often the slow paths worked in fixed point, how often they needed
// their second, longer precision, and how often even that could not decide
// (never seen; then the nearer double of the longer result is returned).
// For tests.
struct SlowPathCounts {
  long calls;
  long longer;
  long undecided;
};
SlowPathCounts GetSlowPathCounts();

// The rounding of the slow paths, for tests: the double nearest the integer
// held in the 64-bit limbs w[0..n) (lowest first, at least 54 bits long)
// times 2^e, ties to even; false when the integer is shorter or the result
// would not be normal.
bool NearestDouble(const uint64_t* w, int n, int e, double& out);

}  // namespace exact_math_detail

inline double ExactSin(double x) {
  double y;
  if (exact_math_detail::SinFast(x, y)) return y;
  return exact_math_detail::SinSlow(x);
}

inline double ExactSemitonePow(double e) {
  double y;
  if (exact_math_detail::PowFast(e, y)) return y;
  return exact_math_detail::PowSlow(e);
}

}  // namespace plimbar

#endif  // PLIMBAR_ENGINE_EXACT_MATH_H
