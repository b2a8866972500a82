// The program's render against the straightforward reference render: every
// oscillator buffer double for double, the noise generator state and the
// PCM, over many random valid patches, on every noise kernel the processor
// can run. Also: the noise kernels against plain window sums, the bulk phase
// wrap against single subtractions, and no allocation while rendering.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
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

// Every operator new of the process is counted, so that a test can see
// whether a render allocates.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif
namespace {
std::atomic<long> g_allocations{0};
}  // namespace

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

// A small generator of its own (the same numbers on every platform).
class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint32_t Next() {
    state_ = state_ * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<uint32_t>(state_ >> 33);
  }
  int Below(int n) {
    return static_cast<int>(Next() % static_cast<uint32_t>(n));
  }
  int Between(int lo, int hi) { return lo + Below(hi - lo + 1); }
  bool Chance(int percent) { return Below(100) < percent; }

 private:
  uint64_t state_;
};

// A valid random oscillator. Modulators are often loud (their samples
// drive the phase backwards: negative phases), noise is common, a few are
// muted.
OscillatorParams RandomOscillator(Random& r, int n) {
  OscillatorParams v{};
  v.Tune = r.Chance(20) ? (r.Chance(50) ? 0 : 100) : r.Between(0, 100);
  v.DeTune = r.Chance(20) ? (r.Chance(50) ? 0 : 100) : r.Between(0, 100);
  v.Bend = r.Chance(15) ? (r.Chance(50) ? 0 : 100) : r.Between(0, 100);
  v.BendCurve = r.Between(0, 100);
  const bool modulator = n % 3 != 0;
  v.Volume = modulator && r.Chance(50) ? r.Between(80, 100)
             : r.Chance(10)            ? 0
                                       : r.Between(0, 100);
  v.Attack = r.Chance(40) ? 0 : r.Between(0, 100);
  v.AttackCurve = r.Between(0, 100);
  v.Decay = r.Chance(30) ? 100 : r.Between(0, 100);
  v.DecayCurve = r.Between(0, 100);
  v.Distortion = r.Between(0, 100);
  v.Mute = r.Chance(12) ? 1 : 0;
  v.WaveForm = r.Chance(35) ? kNoise : r.Between(0, 2);
  return v;
}

Patch RandomPatch(Random& r, int time) {
  Patch p;
  SetInitialPatch(p);
  for (int n = 0; n < kOscillators; ++n) {
    SetOscillator(p, n, RandomOscillator(r, n));
  }
  SetTime(p, time);
  return p;
}

// Two engines holding the same patch, tables and noise state: one renders
// the program's way, the other the reference way.
struct EnginePair {
  std::unique_ptr<Engine> fast = NewEngine();
  std::unique_ptr<Engine> reference = NewEngine();

  void Load(const Patch& p, uint32_t noiseState) {
    for (Engine* e : {fast.get(), reference.get()}) {
      e->patch = p;
      for (int n = kOscillators - 1; n >= 0; --n) BuildCurveTables(*e, n);
      MarkAllPending(*e);
      e->noiseState = noiseState;
    }
  }
  void ChangeOscillator(int n, const OscillatorParams& v) {
    for (Engine* e : {fast.get(), reference.get()}) {
      SetOscillator(e->patch, n, v);
      BuildCurveTables(*e, n);
      MarkPending(*e, n);
    }
  }
  void Render() {
    RenderPatch(*fast);
    ReferenceRenderPatch(*reference);
  }
};

// Empty when both engines hold the same doubles, noise state and PCM;
// otherwise the first difference.
std::string Difference(const EnginePair& pair) {
  const Engine& a = *pair.fast;
  const Engine& b = *pair.reference;
  char text[200];
  for (int n = 0; n < kOscillators; ++n) {
    if (std::memcmp(a.oscBuffers[n], b.oscBuffers[n],
                    sizeof a.oscBuffers[n]) == 0) {
      continue;
    }
    for (int i = 0; i < kMaxSamples; ++i) {
      if (std::memcmp(&a.oscBuffers[n][i], &b.oscBuffers[n][i],
                      sizeof(double)) != 0) {
        std::snprintf(text, sizeof text,
                      "OSC%d sample %d: fast %.17g, reference %.17g", n + 1,
                      i, a.oscBuffers[n][i], b.oscBuffers[n][i]);
        return text;
      }
    }
  }
  if (a.noiseState != b.noiseState) return "noise generator states differ";
  for (int n = 0; n < kOscillators; ++n) {
    if (a.pending[n] != b.pending[n]) return "pending flags differ";
  }
  if (std::memcmp(a.pcm16, b.pcm16, sizeof a.pcm16) != 0) return "PCM differs";
  return std::string();
}

// The kernels this processor can run, in the block layouts of every build
// (kNoiseKernels), not only this build's.
std::vector<int> SupportedKernels() {
  std::vector<int> kernels;
  for (int k = 0; k < kNoiseKernelCount; ++k) {
    if (NoiseKernelSupported(kNoiseKernels[k].level)) kernels.push_back(k);
  }
  return kernels;
}

// Restores the kernel that the program would pick.
class KernelChoice {
 public:
  KernelChoice() : saved_(DefaultNoiseKernel()) {}
  ~KernelChoice() { SelectNoiseKernel(saved_); }

 private:
  int saved_;
};

// Unoptimized or sanitizer builds check memory, not volume: fewer patches.
#if defined(NDEBUG) && !defined(__SANITIZE_ADDRESS__)
constexpr bool kSlowBuild = false;
#else
constexpr bool kSlowBuild = true;
#endif

#ifdef _WIN32
constexpr int kLongPatches = 8;  // the reference is slow under emulation
#else
constexpr int kLongPatches = kSlowBuild ? 3 : 36;
#endif

TEST(WindowKernels, MatchPlainSmoothingForAnyWindowStarts) {
  KernelChoice restore;
  Random r(7);
  const int kLength = 12000;
  std::vector<double> scratch(kLength);
  for (double& x : scratch) {
    // Noise-like values of mixed scale, with exact and negative zeros.
    const int kind = r.Below(20);
    const double draw = r.Below(32768) / 16384.0 - 1.0;
    x = kind == 0 ? 0.0 : kind == 1 ? -0.0 : draw * (r.Below(1000) / 997.0);
  }
  std::vector<int> starts(kLength);
  std::vector<double> sums(kLength);
  std::vector<double> workspace(kNoiseWorkspaceDoubles + 1);
  for (int trial = 0; trial < 24; ++trial) {
    // Window spans in runs of one length, as a pitch table gives them, with
    // jumps between runs (up and down), single odd samples, spans of one,
    // spans longer than the kernels' ring, and the start of the sound where
    // windows are cut at 0.
    int span = r.Between(1, 1700);
    for (int i = 0; i < kLength; ++i) {
      if (r.Chance(1)) {
        const int kind = r.Below(4);
        span = kind == 0   ? r.Between(1, 8)
               : kind == 1 ? r.Between(2040, 2300)
                           : r.Between(1, 1700);
      }
      int s = r.Chance(1) ? span + r.Between(-2, 2) : span;
      if (trial % 6 == 5) s = r.Between(0, 40);  // chaos, k == i included
      if (s < 0) s = 0;
      starts[i] = i - s < 0 ? 0 : i - s;
    }
    const int begin = r.Between(0, 300);
    const int end = kLength - r.Between(0, 300);
    // The workspace may sit at any alignment.
    double* ws = workspace.data() + (trial % 2);
    for (int index : SupportedKernels()) {
      const NoiseWindowKernel& kernel = kNoiseKernels[index];
      std::fill(sums.begin(), sums.end(), 12345.0);
      kernel.smooth(scratch.data(), starts.data(), begin, end, sums.data(),
                    ws);
      for (int i = 0; i < kLength; ++i) {
        if (i < begin || i >= end) {
          ASSERT_EQ(12345.0, sums[i]) << kernel.name << " wrote sample " << i;
          continue;
        }
        double sum = 0.0;
        for (int j = starts[i]; j <= i; ++j) sum += scratch[j];
        const int k = starts[i];
        const double plain = k == i ? scratch[i] : sum / std::sqrt(i - k);
        ASSERT_EQ(0, std::memcmp(&plain, &sums[i], sizeof plain))
            << kernel.name << " trial " << trial << " sample " << i << ": "
            << sums[i] << " vs " << plain;
      }
    }
  }
}

// The wrap done one subtraction at a time.
double PlainWrap(double phase) {
  while (phase >= kTwoPi) phase -= kTwoPi;
  return phase;
}

TEST(PhaseWrap, MatchesSubtractingOneAtATime) {
  Random r(11);
  auto check = [](double x) {
    const double plain = PlainWrap(x);
    const double wrapped = WrapPhase(x);
    ASSERT_EQ(0, std::memcmp(&plain, &wrapped, sizeof plain))
        << std::hexfloat << x << ": " << wrapped << " vs " << plain;
  };
  // Every binade up to 2^18 (a phase step of the highest pitch with a
  // modulator far beyond full scale): random doubles, the binade's edges
  // and their neighbours, multiples of kTwoPi and their neighbours.
  for (int e = -3; e <= 18; ++e) {
    const double low = std::ldexp(1.0, e);
    const int count = e <= 12 ? 3000 : 300;
    for (int t = 0; t < count; ++t) {
      // A fraction from 0 to 1 with all its bits random.
      const double f =
          r.Next() / 4294967296.0 + r.Next() / 1.8446744073709552e19;
      check(low + low * f);
    }
    double below = low;
    double above = low;
    for (int t = 0; t < 8; ++t) {
      check(below);
      check(above);
      below = std::nextafter(below, 0.0);
      above = std::nextafter(above, 1e300);
    }
    const double multiple = std::floor(low / kTwoPi) * kTwoPi;
    check(multiple);
    check(std::nextafter(multiple, 0.0));
    check(std::nextafter(multiple, 1e300));
  }
  // Negative phases and the wrap's own bounds.
  for (double x : {-0.0, 0.0, -1.0, -5000.0, kTwoPi, kWrapBulkFrom}) check(x);
}

TEST(RenderEquivalence, ManyShortRandomPatches) {
  KernelChoice restore;
  const int chosen = DefaultNoiseKernel();
  for (int kernel : SupportedKernels()) {
    ASSERT_TRUE(SelectNoiseKernel(kernel));
    SCOPED_TRACE(CurrentNoiseKernel().name);
    // The full count with the kernel that this processor renders with, a
    // sample with the others.
    const int patches = kSlowBuild ? 150 : kernel == chosen ? 2000 : 400;
    Random r(20240601 + kernel);
    EnginePair pair;
    for (int t = 0; t < patches; ++t) {
      const int time = r.Chance(90) ? r.Between(1, 4) : r.Between(5, 8);
      pair.Load(RandomPatch(r, time), r.Next());
      pair.Render();
      ASSERT_EQ("", Difference(pair)) << "patch " << t << ", Time " << time;
      // Then only part of the patch pending: one edited oscillator and those
      // above it; the others keep their buffers and modulate from them.
      const int n = r.Below(kOscillators);
      OscillatorParams v = GetOscillator(pair.fast->patch, n);
      if (r.Chance(50)) {
        v.WaveForm = r.Between(0, 3);
      } else {
        v = RandomOscillator(r, n);
      }
      pair.ChangeOscillator(n, v);
      pair.Render();
      ASSERT_EQ("", Difference(pair))
          << "patch " << t << " after editing OSC" << n + 1;
    }
  }
}

TEST(RenderEquivalence, NoiseAtEveryPitch) {
  KernelChoice restore;
  for (int kernel : SupportedKernels()) {
    ASSERT_TRUE(SelectNoiseKernel(kernel));
    SCOPED_TRACE(CurrentNoiseKernel().name);
    Random r(99);
    EnginePair pair;
    for (int tune = 0; tune <= 100; tune += kSlowBuild ? 9 : 1) {
      for (int detune : {0, 50, 100}) {
        Patch p;
        SetInitialPatch(p);
        for (int n = 0; n < kOscillators; ++n) {
          OscillatorParams v = RandomOscillator(r, n);
          v.Tune = tune;
          v.DeTune = detune;
          v.WaveForm = kNoise;
          v.Mute = 0;
          if (n % 3 == 0) v.Bend = 50;  // one flat pitch per chain
          SetOscillator(p, n, v);
        }
        SetTime(p, 3);
        pair.Load(p, r.Next());
        pair.Render();
        ASSERT_EQ("", Difference(pair))
            << "Tune " << tune << " DeTune " << detune;
      }
    }
  }
}

TEST(RenderEquivalence, RandomPatchesAtFullLength) {
  Random r(31337);
  EnginePair pair;
  const std::vector<int> kernels = SupportedKernels();
  for (int t = 0; t < kLongPatches; ++t) {
    const Patch p = RandomPatch(r, 100);
    const uint32_t state = r.Next();
    pair.Load(p, state);
    ReferenceRenderPatch(*pair.reference);
    // Every kernel against the same reference render.
    for (int kernel : kernels) {
      KernelChoice restore;
      ASSERT_TRUE(SelectNoiseKernel(kernel));
      pair.fast->patch = p;
      MarkAllPending(*pair.fast);
      pair.fast->noiseState = state;
      RenderPatch(*pair.fast);
      ASSERT_EQ("", Difference(pair))
          << "patch " << t << " kernel " << CurrentNoiseKernel().name;
    }
  }
}

TEST(RenderEquivalence, ExtremePatchesAtFullLength) {
  // The lowest noise (longest windows); the highest pitches, reached early
  // (BendCurve 0), with full-scale modulators: the largest phase steps, and
  // phases driven far below zero by modulator samples of -1.
  struct Extreme {
    int tune, detune, bend, bendCurve, carrierWave, modulatorWave;
  };
  const Extreme extremes[] = {
      {0, 0, 50, 50, kNoise, kNoise},
      {0, 0, 0, 50, kNoise, kNoise},
      {100, 100, 100, 50, kSine, kSine},
      {100, 100, 100, 0, kSine, kSquare},
      {100, 100, 100, 0, kSquare, kSquare},
      {100, 100, 100, 0, kSawtooth, kSquare},
      {100, 100, 100, 0, kSine, kNoise},
      {100, 100, 100, 0, kSquare, kSawtooth},
      {100, 100, 0, 50, kSawtooth, kSine},
      {30, 50, 100, 100, kSawtooth, kSawtooth},
  };
  EnginePair pair;
  int count = 0;
  for (const Extreme& x : extremes) {
    if (kSlowBuild && count++ % 3 != 0) continue;
    Patch p;
    SetInitialPatch(p);
    for (int n = 0; n < kOscillators; ++n) {
      OscillatorParams v = GetOscillator(p, n);
      v.Tune = x.tune;
      v.DeTune = x.detune;
      v.Bend = x.bend;
      v.BendCurve = x.bendCurve;
      v.Volume = 100;
      v.Decay = 100;
      v.DecayCurve = 100;
      v.WaveForm = n % 3 == 0 ? x.carrierWave : x.modulatorWave;
      SetOscillator(p, n, v);
    }
    SetTime(p, 100);
    pair.Load(p, 12345);
    pair.Render();
    ASSERT_EQ("", Difference(pair))
        << "Tune " << x.tune << " BendCurve " << x.bendCurve << " waves "
        << x.carrierWave << "/" << x.modulatorWave;
  }
}

TEST(RenderEquivalence, LengthsOutsideTheValidTimes) {
  // Time 0 renders silence; a Time above 100 (which only a changed struct
  // can hold) renders the buffers' 88200 samples, with the table entries of
  // the longer sound.
  Random r(77);
  EnginePair pair;
  for (int time : {0, 0, 101, 150, 1000}) {
    pair.Load(RandomPatch(r, 100), r.Next());
    for (Engine* e : {pair.fast.get(), pair.reference.get()}) {
      SetTime(e->patch, time);
    }
    pair.Render();
    ASSERT_EQ("", Difference(pair)) << "Time " << time;
  }
}

TEST(RenderEquivalence, RenderingAllocatesNothing) {
  std::unique_ptr<Engine> e = NewEngine();
  Random r(5);
  for (int t = 0; t < 20; ++t) {
    e->patch = RandomPatch(r, t < 10 ? 10 : 100);
    for (int n = kOscillators - 1; n >= 0; --n) BuildCurveTables(*e, n);
    MarkAllPending(*e);
    const long before = g_allocations.load();
    RenderPatch(*e);
    EXPECT_EQ(before, g_allocations.load()) << "patch " << t;
  }
}

// Not checks: how long the slowest patches take here (for the notes of the
// 32-bit build, which has no benchmark program). The best of three.
template <typename F>
double BestSeconds(F&& render) {
  double best = 1e9;
  for (int rep = 0; rep < 3; ++rep) {
    const auto t0 = std::chrono::steady_clock::now();
    render();
    const auto t1 = std::chrono::steady_clock::now();
    best = std::min(best, std::chrono::duration<double>(t1 - t0).count());
  }
  return best;
}

void PrintTimings(const char* what, const Patch& p) {
  EnginePair pair;
  pair.Load(p, kNoiseSeed);
  const double ref = BestSeconds([&] {
    MarkAllPending(*pair.reference);
    ReferenceRenderPatch(*pair.reference);
  });
  std::printf("%s, Time 100: reference %.1f ms\n", what, ref * 1e3);
  KernelChoice restore;
  for (int kernel : SupportedKernels()) {
    SelectNoiseKernel(kernel);
    const double fast = BestSeconds([&] {
      MarkAllPending(*pair.fast);
      RenderPatch(*pair.fast);
    });
    std::printf("  fast, %s noise kernel: %.1f ms (%.1fx)\n",
                CurrentNoiseKernel().name, fast * 1e3, ref / fast);
  }
}

TEST(RenderTiming, SlowestPatches) {
  if (kSlowBuild) GTEST_SKIP() << "timings of an unoptimized build say nothing";
  Patch noise;
  SetInitialPatch(noise);
  Patch tones = noise;
  for (int n = 0; n < kOscillators; ++n) {
    OscillatorParams v = GetOscillator(noise, n);
    v.Tune = 0;
    v.DeTune = 0;
    v.Volume = 100;
    v.Decay = 100;
    v.WaveForm = kNoise;
    SetOscillator(noise, n, v);
    v.Tune = 100;
    v.DeTune = 100;
    v.Bend = 100;
    v.BendCurve = 0;
    v.WaveForm = n % 3 == 0 ? kSine : kSquare;
    SetOscillator(tones, n, v);
  }
  SetTime(noise, 100);
  SetTime(tones, 100);
  PrintTimings("nine noise oscillators at the lowest pitch", noise);
  PrintTimings("top pitch at once, square modulators", tones);
}

}  // namespace
}  // namespace plimbar
