// The program's render against the straightforward reference render: the
// samples of every oscillator double for double, the noise state and the
// PCM, for random and extreme patches, with every noise kernel the processor
// runs, in the block layouts of the 64-bit and the 32-bit x86 builds. Also
// the kernels against plain window sums, the bulk phase wrap against single
// subtractions, and no allocation while rendering.
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

// Every operator new of the process is counted.
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
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
  g_allocations.fetch_add(1);
  return std::malloc(size ? size : 1);
}
void* operator new[](std::size_t size, const std::nothrow_t& t) noexcept {
  return operator new(size, t);
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

namespace plimbar {
namespace {

// Optimized builds check volume; sanitizer and unoptimized builds memory.
#if defined(NDEBUG) && !defined(PLIMBAR_SANITIZED)
constexpr int kRandomPatches = 100;
#else
constexpr int kRandomPatches = 8;
#endif

// A small generator of its own (the same numbers on every platform).
struct Random {
  uint64_t state;
  uint32_t Next() {
    state = state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state >> 33);
  }
  int Between(int lo, int hi) { return lo + static_cast<int>(Next() % (hi - lo + 1u)); }
  bool Chance(int percent) { return Between(0, 99) < percent; }
};

// A valid random oscillator: often loud modulators (whose samples drive the
// phase backwards), the ends of the ranges, noise, a few muted.
OscillatorParams RandomOscillator(Random& r, int n) {
  auto edgy = [&r](int percent) {
    return r.Chance(percent) ? (r.Chance(50) ? 0 : 100) : r.Between(0, 100);
  };
  // In order: Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve,
  // Decay, DecayCurve, Distortion (no effect), Mute, WaveForm.
  return {edgy(20), edgy(20), edgy(15), r.Between(0, 100),
          n % 3 != 0 && r.Chance(50) ? r.Between(80, 100) : edgy(10),
          r.Chance(40) ? 0 : r.Between(0, 100), r.Between(0, 100),
          r.Chance(30) ? 100 : r.Between(0, 100), r.Between(0, 100), r.Between(0, 100),
          r.Chance(12) ? 1 : 0, r.Chance(35) ? kNoise : r.Between(0, 2)};
}

// The kernels this processor runs, in the layouts of every build.
std::vector<int> Kernels() {
  std::vector<int> kernels;
  for (int k = 0; k < kNoiseKernelCount; ++k)
    if (NoiseKernelSupported(kNoiseKernels[k].level)) kernels.push_back(k);
  return kernels;
}

// Empty when both engines hold the same samples of the sound, noise state,
// pending flags and PCM; otherwise the first difference.
std::string Difference(const Engine& a, const Engine& b) {
  const int length = std::min(std::max(a.patch.soundLength, 0), kMaxSamples);
  for (int n = 0; n < kOscillators; ++n) {
    for (int i = 0; i < length; ++i) {
      if (std::memcmp(&a.oscBuffers[n][i], &b.oscBuffers[n][i], sizeof(double)) != 0) {
        return "OSC" + std::to_string(n + 1) + " sample " + std::to_string(i) + ": " +
               std::to_string(a.oscBuffers[n][i]) + " vs " + std::to_string(b.oscBuffers[n][i]);
      }
    }
  }
  if (a.noiseState != b.noiseState) return "noise states differ";
  if (std::memcmp(a.pending, b.pending, sizeof a.pending) != 0) return "pending flags differ";
  return std::memcmp(a.pcm16, b.pcm16, sizeof a.pcm16) != 0 ? "PCM differs" : "";
}

// Loads p with the noise generator at `noise` and renders it, then sets
// OSC n to v (only its path to the carrier pending) and renders again: the
// reference once, the program's render with every kernel.
void CheckRenders(const Patch& p, uint32_t noise, int n, const OscillatorParams& v,
                  const std::string& what) {
  static const std::vector<int> kernels = Kernels();
  static std::vector<std::unique_ptr<Engine>> engines;  // the reference first
  while (engines.size() <= kernels.size()) engines.push_back(NewEngine());
  for (int step = 0; step < 2; ++step) {
    for (size_t k = 0; k <= kernels.size(); ++k) {
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
      if (k == 0) {
        ReferenceRenderPatch(e);
        continue;
      }
      ASSERT_TRUE(SelectNoiseKernel(kernels[k - 1]));
      RenderPatch(e);
      ASSERT_EQ("", Difference(e, *engines[0]))
          << what << (step == 0 ? "" : ", then OSC" + std::to_string(n + 1)) << ", kernel "
          << kNoiseKernels[kernels[k - 1]].name;
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
    ASSERT_NO_FATAL_FAILURE(CheckRenders(p, r.Next(), n, v, "patch " + std::to_string(t)));
  }
}

TEST(RenderEquivalence, ExtremePatches) {
  // The lowest noise (the longest windows, across a refill of the kernels'
  // rows) and the highest; the top pitch at once (BendCurve 0) under full
  // modulators: the largest phase steps, phases far below zero. Time 0 is
  // silence; above 100 (only a changed struct holds it) the buffers fill.
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
    ASSERT_NO_FATAL_FAILURE(CheckRenders(p, 12345, 4, v, "row of Time " + std::to_string(x[0]) +
                                                             ", Tune " + std::to_string(x[1])));
  }
}

TEST(WindowKernels, MatchPlainSmoothingForAnyWindowStarts) {
  Random r{7};
  const int kLength = 12000;
  std::vector<double> scratch(kLength), sums(kLength), workspace(kNoiseWorkspaceDoubles + 1);
  std::vector<int> starts(kLength);
  for (double& x : scratch) {  // noise-like values of mixed scale, +-0.0
    const int kind = r.Between(0, 19);
    x = kind < 2 ? (kind ? -0.0 : 0.0)
                 : (r.Between(0, 32767) / 16384.0 - 1.0) * (r.Between(0, 999) / 997.0);
  }
  for (int trial = 0; trial < 24; ++trial) {
    // Spans in runs of one length, as a pitch row gives them, jumps between
    // runs, single odd samples, spans of one, spans longer than the kernels'
    // rows, windows cut at the start, and (one trial in 6) chaos.
    int span = r.Between(1, 1700);
    for (int i = 0; i < kLength; ++i) {
      if (r.Chance(1)) {
        const int kind = r.Between(0, 3);
        span = kind == 0 ? r.Between(1, 8) : kind == 1 ? r.Between(2040, 2300) : r.Between(1, 1700);
      }
      const int s = trial % 6 == 5 ? r.Between(0, 40) : r.Chance(1) ? span + r.Between(-2, 2) : span;
      starts[i] = std::max(0, i - std::max(s, 0));
    }
    const int begin = r.Between(0, 300), end = kLength - r.Between(0, 300);
    std::vector<double> plain(kLength, 12345.0);  // outside begin..end: untouched
    for (int i = begin; i < end; ++i) {
      double sum = 0.0;
      for (int j = starts[i]; j <= i; ++j) sum += scratch[j];
      plain[i] = starts[i] == i ? scratch[i] : sum / std::sqrt(i - starts[i]);
    }
    for (int index : Kernels()) {
      std::fill(sums.begin(), sums.end(), 12345.0);
      kNoiseKernels[index].smooth(scratch.data(), starts.data(), begin, end, sums.data(),
                                  workspace.data() + trial % 2);  // any alignment
      for (int i = 0; i < kLength; ++i) {
        ASSERT_EQ(0, std::memcmp(&plain[i], &sums[i], sizeof(double)))
            << kNoiseKernels[index].name << ", trial " << trial << ", sample " << i;
      }
    }
  }
}

TEST(PhaseWrap, MatchesSubtractingOneAtATime) {
  Random r{11};
  auto check = [](double x) {
    double plain = x;
    while (plain >= kTwoPi) plain -= kTwoPi;
    const double wrapped = WrapPhase(x);
    ASSERT_EQ(0, std::memcmp(&plain, &wrapped, sizeof plain)) << std::hexfloat << x;
  };
  // Every binade up to 2^18 (a phase step of the top pitch under a
  // modulator far beyond full scale): random doubles, the binade's edges and
  // neighbours, multiples of kTwoPi and neighbours; then the wrap's bounds.
  for (int e = -3; e <= 18; ++e) {
    const double low = std::ldexp(1.0, e), multiple = std::floor(low / kTwoPi) * kTwoPi;
    for (int t = 0; t < (e <= 12 ? 3000 : 300); ++t)
      check(low + low * (r.Next() / 4294967296.0 + r.Next() / 1.8446744073709552e19));
    for (double below = low, above = low, t = 0; t < 8; ++t) {
      check(below = std::nextafter(below, 0.0));
      check(above = std::nextafter(above, 1e300));
    }
    for (double m : {low, multiple, std::nextafter(multiple, 0.0), std::nextafter(multiple, 1e9)})
      check(m);
  }
  for (double x : {-0.0, 0.0, -1.0, -5000.0, kTwoPi, kWrapBulkFrom}) check(x);
}

TEST(RenderEquivalence, RenderingAllocatesNothing) {
  std::unique_ptr<Engine> e = NewEngine();
  Random r{5};
  for (int t = 0; t < 10; ++t) {
    for (int n = 0; n < kOscillators; ++n) SetOscillator(e->patch, n, RandomOscillator(r, n));
    SetTime(e->patch, t < 5 ? 10 : 100);
    for (int n = kOscillators - 1; n >= 0; --n) BuildCurveTables(*e, n);
    MarkAllPending(*e);
    const long before = g_allocations.load();
    RenderPatch(*e);
    EXPECT_EQ(before, g_allocations.load()) << "patch " << t;
  }
}

}  // namespace
}  // namespace plimbar
