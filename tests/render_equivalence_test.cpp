// The program's render against the reference render with every noise kernel in both block
// layouts, allocating nothing; the bulk phase wrap on arguments beyond any render's.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/noise_windows.h"
#include "engine/phase_wrap.h"
#include "tests/reference_render.h"
#include "tests/test_support.h"

// Every operator new of the process is counted, each form replaced (under AddressSanitizer a form
// left to it would be freed here by the wrong one).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
static std::atomic<long> g_allocations{0};
void* operator new(std::size_t size) {
  g_allocations.fetch_add(1);
  if (void* p = std::malloc(size ? size : 1)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) { return operator new(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return operator new(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return operator new(size); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace plimbar {

// Optimized builds check volume; sanitizer and unoptimized builds memory.
#if defined(NDEBUG) && !defined(PLIMBAR_SANITIZED)
constexpr int kRandomPatches = 100;
#else
constexpr int kRandomPatches = 8;
#endif

using test::Random;

// Often loud modulators (driving the phase backwards), the ends of the ranges, noise, a few muted.
OscillatorParams RandomOscillator(Random& r, int n) {
  auto edgy = [&r](int percent) { return r.Chance(percent) ? (r.Chance(50) ? 0 : 100) : r.Between(0, 100); };
  return {edgy(20), edgy(20), edgy(15), r.Between(0, 100),
          n % 3 != 0 && r.Chance(50) ? r.Between(80, 100) : edgy(10),
          r.Chance(40) ? 0 : r.Between(0, 100), r.Between(0, 100),
          r.Chance(30) ? 100 : r.Between(0, 100), r.Between(0, 100), r.Between(0, 100),
          r.Chance(12) ? 1 : 0, r.Chance(35) ? kNoise : r.Between(0, 2)};
}

// What differs in the samples of the sound, noise state, pending flags and PCM; empty if nothing.
std::string Difference(const Engine& a, const Engine& b) {
  const size_t bytes = sizeof(double) * std::min(std::max(a.patch.soundLength, 0), kMaxSamples);
  for (int n = 0; n < kOscillators; ++n)
    if (std::memcmp(a.oscBuffers[n], b.oscBuffers[n], bytes) != 0) return "OSC" + std::to_string(n + 1);
  if (a.noiseState != b.noiseState) return "noise states";
  if (std::memcmp(a.pending, b.pending, sizeof a.pending) != 0) return "pending flags";
  return std::memcmp(a.pcm16, b.pcm16, sizeof a.pcm16) != 0 ? "PCM" : "";
}

// Renders p from noise state `noise`, then again after setting OSC n to v: the reference (k = 0),
// then the program's render with every kernel this processor runs (k - 1).
void CheckRenders(const Patch& p, uint32_t noise, int n, const OscillatorParams& v,
                  const std::string& what) {
  static std::vector<std::unique_ptr<Engine>> engines;
  while (engines.size() <= kNoiseKernelCount) engines.push_back(NewEngine());
  for (int step = 0; step < 2; ++step) {
    for (int k = 0; k <= kNoiseKernelCount; ++k) {
      if (k > 0 && !NoiseKernelSupported(kNoiseKernels[k - 1].level)) continue;
      Engine& e = *engines[k];
      if (step == 0) {
        e.patch = p;
        for (int o = kOscillators - 1; o >= 0; --o) BuildCurveTables(e, o);
        MarkAllPending(e);
        e.noiseState = noise;
      } else {
        SetOscillator(e.patch, n, v);
        BuildCurveTables(e, n);
        MarkPending(e, n);
      }
      ASSERT_TRUE(k == 0 || SelectNoiseKernel(k - 1));
      const long before = g_allocations.load();
      (k == 0 ? ReferenceRenderPatch : RenderPatch)(e);
      ASSERT_EQ("", g_allocations.load() != before ? "allocations" : Difference(e, *engines[0]))
          << what << (step ? ", then OSC" + std::to_string(n + 1) : "") << ", kernel "
          << (k ? kNoiseKernels[k - 1].name : "none (the reference)");
    }
  }
  SelectNoiseKernel(DefaultNoiseKernel());
}

TEST(RenderEquivalence, RandomPatches) {
  Random r{20240601};
  for (int t = 0; t < kRandomPatches; ++t) {
    Patch p;
    SetInitialPatch(p);
    for (int n = 0; n < kOscillators; ++n) SetOscillator(p, n, RandomOscillator(r, n));
    SetTime(p, r.Chance(90) ? r.Between(1, 4) : r.Between(5, 8));
    const int n = r.Between(0, kOscillators - 1);
    OscillatorParams v = r.Chance(50) ? GetOscillator(p, n) : RandomOscillator(r, n);
    v.WaveForm = r.Between(0, 3);
    ASSERT_NO_FATAL_FAILURE(CheckRenders(p, static_cast<uint32_t>(r.Next()), n, v, "patch " + std::to_string(t)));
  }
}

TEST(RenderEquivalence, ExtremePatches) {
  // The longest and shortest noise windows; the top pitch at once under full modulators (the
  // largest phase steps, phases far below zero); Time 0, and above 100 (only a struct holds it).
  const int rows[][7] = {  // Time, Tune, DeTune, Bend, BendCurve, carriers, modulators
      {10, 0, 0, 50, 50, kNoise, kNoise},          {10, 0, 0, 0, 50, kNoise, kNoise},
      {5, 100, 100, 100, 50, kNoise, kNoise},      {100, 100, 100, 100, 50, kSine, kSine},
      {20, 100, 100, 100, 0, kSine, kSquare},      {20, 100, 100, 100, 0, kSawtooth, kSquare},
      {20, 100, 100, 100, 0, kSquare, kNoise},     {20, 100, 100, 0, 50, kSawtooth, kSine},
      {20, 30, 50, 100, 100, kSawtooth, kSawtooth}, {0, 60, 50, 50, 50, kNoise, kSine},
      {1000, 60, 50, 50, 50, kSquare, kNoise}};
  for (const auto& x : rows) {
    Patch p;
    SetInitialPatch(p);
    OscillatorParams v = GetOscillator(p, 0);
    v.Tune = x[1], v.DeTune = x[2], v.Bend = x[3], v.BendCurve = x[4];
    v.Volume = v.Decay = v.DecayCurve = 100;
    for (int n = 0; n < kOscillators; ++n) {
      v.WaveForm = n % 3 == 0 ? x[5] : x[6];
      SetOscillator(p, n, v);
    }
    SetTime(p, x[0]);
    v.WaveForm = kSquare;
    ASSERT_NO_FATAL_FAILURE(CheckRenders(p, 12345, 4, v, "row " + std::to_string(&x - rows)));
  }
}

// Random doubles, the floor and multiples of kTwoPi near it, in every binade up to 2^18.
TEST(PhaseWrap, MatchesSubtractingOneAtATime) {
  Random r{11};
  for (int e = -3; e <= 18; ++e) {
    const double low = std::ldexp(1.0, e), multiple = std::floor(low / kTwoPi) * kTwoPi;
    std::vector<double> xs = {-low, low, std::nextafter(low, 0.0), multiple,
                              std::nextafter(multiple, 0.0), std::nextafter(multiple, 1e9)};
    for (int t = 0; t < (e <= 12 ? 3000 : 300); ++t)
      xs.push_back(low + low * r.Between(0.0, 1.0));
    for (double x : xs) {
      double plain = x;
      while (plain >= kTwoPi) plain -= kTwoPi;
      ASSERT_EQ(plain, WrapPhase(x)) << std::hexfloat << x;  // no -0.0 arises: == is bitwise here
    }
  }
}

}  // namespace plimbar
