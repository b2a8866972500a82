// Window-sum kernels of the noise smoothing; see noise_windows.h.
//
// A block is W * G consecutive samples i0 .. i0 + W*G - 1, summed by G
// vectors of W lanes. Lane l of vector g is sample i0 + g + l*G. All lanes
// walk the same steps j = 0 .. longest, where longest is the largest window
// span i - k in the block: at step j, lane (g, l) adds
//   scratch[i0 - longest + j + g + l*G].
// A lane reaches its own window at step longest - (i - k), where it adds
// scratch[k]; at the last step it adds scratch[i]. Before that it adds 0.0
// to its 0.0, so each lane forms exactly 0.0 + scratch[k] + ... +
// scratch[i], in that order. Only the first steps (the head), where some
// lane still waits, are masked.
//
// What a vector adds at one step is a "row": row q holds scratch[q],
// scratch[q + G], ..., scratch[q + (W-1)*G], and vector g adds row
// i0 - longest + j + g. The rows are built once per sound, in order, in
// aligned memory, so every load is one aligned vector. (Loading W
// neighbouring doubles straight from scratch instead splits most loads
// across two cache lines and halves the speed.) When the row space is
// full, the rows still needed move to its front.
#include "engine/noise_windows.h"

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace plimbar {
namespace {

// Vectors of 2, 4 and 8 doubles and the lane masks that comparing them
// gives. Loads and stores go through memcpy, so the compiler never assumes
// an alignment that the stack may not have.
typedef double Vec2 __attribute__((vector_size(16)));
typedef long long Mask2 __attribute__((vector_size(16)));
typedef double Vec4 __attribute__((vector_size(32)));
typedef long long Mask4 __attribute__((vector_size(32)));
typedef double Vec8 __attribute__((vector_size(64)));
typedef long long Mask8 __attribute__((vector_size(64)));

// How the body of a block walks its rows (see RowBlock).
enum Walk {
  kStepByStep,       // every vector loads its row at every step
  kRowsInRegisters,  // the G rows in use stay in registers
  kDiagonal,         // G steps at a time, each row loaded once, added G times
};

// Vectors per block and walk of each kernel, in two layouts, as measured
// here. 32-bit x86 has eight vector registers: there the sums must all fit
// with room for a row, so that nothing is spilled in the loop (its layout:
// few vectors, the diagonal walk). 64-bit x86 has sixteen, and thirty-two
// with AVX-512, enough for the sums and the rows in use. Every layout gives
// the same doubles; each build renders with its own, and the tests run
// both on any machine.
constexpr int kRows = 2 * kNoiseVectorWindow;

struct Workspace {
  double* rows;     // kRows rows of up to 8 doubles, 64-byte aligned
  double* partial;  // one block of results, lane order
  double* entry;    // one block of entry steps, lane order
  double* roots;    // one block of square roots of the spans, lane order
};

Workspace Carve(double* raw) {
  const uintptr_t at = reinterpret_cast<uintptr_t>(raw);
  const uintptr_t aligned = (at + 63) & ~static_cast<uintptr_t>(63);
  Workspace w;
  w.rows = raw + (aligned - at) / sizeof(double);
  w.partial = w.rows + kRows * 8;
  w.entry = w.partial + 128;
  w.roots = w.entry + 128;
  return w;
}

// The square root of span, remembered for the next call with the same span.
inline double RootOf(int span, int& lastSpan, double& lastRoot) {
  if (span != lastSpan) {
    lastSpan = span;
    lastRoot = std::sqrt(span);
  }
  return lastRoot;
}

// (Vectors travel by reference: a vector argument or result of a function
// compiled without AVX would have another calling convention.)
template <typename V>
__attribute__((always_inline)) inline void Load(V& v, const double* p) {
  std::memcpy(&v, p, sizeof v);
}

template <typename V>
__attribute__((always_inline)) inline void Store(double* p, const V& v) {
  std::memcpy(p, &v, sizeof v);
}

// One block from rows: rows[t * W] is row lo + t. Lane (g, l) ends in
// partial[g * W + l] as its sum divided by its root: roots[g * W + l], or
// root for every lane when roots is null (then there is no head).
template <typename V, typename M, int W, int G, Walk kWalk>
__attribute__((always_inline)) inline void RowBlock(
    const double* rows, int longest, int head, const double* entry,
    const double* roots, double root, double* partial) {
  // The head, one vector at a time (few live registers).
  for (int g = 0; g < G; ++g) {
    V acc = {};
    if (head == 0) {
      Store(partial + g * W, acc);
      continue;
    }
    V entryStep;
    Load(entryStep, entry + g * W);
    for (int j = 0; j < head; ++j) {
      const V step = V{} + static_cast<double>(j);
      const M joined = step >= entryStep;
      V v;
      Load(v, rows + (j + g) * W);
      acc += reinterpret_cast<V>(reinterpret_cast<M>(v) & joined);
    }
    Store(partial + g * W, acc);
  }
  // The body: every lane adds at every step.
  V acc[G];
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g) Load(acc[g], partial + g * W);
  int j = head;
  if (kWalk == kRowsInRegisters) {
    // Vector g adds row j + g at step j, so a row loaded for vector G-1
    // serves every vector in turn: keep the G rows in use in registers,
    // one new load per step.
    V slot[G];  // row r in slot r % G, counted from the first step
#pragma GCC unroll 16
    for (int m = 0; m + 1 < G; ++m) Load(slot[m], rows + (j + m) * W);
    for (; j + G - 1 <= longest; j += G) {
      const double* row = rows + j * W;
      __asm__("" : "+r"(row));
#pragma GCC unroll 16
      for (int t = 0; t < G; ++t) {
        Load(slot[(t + G - 1) % G], row + (t + G - 1) * W);
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) acc[g] += slot[(t + g) % G];
      }
    }
  } else if (kWalk == kDiagonal) {
    // G steps at a time, row by row: row j + r is what vector g adds at
    // step j + r - g, so each row, loaded once, goes to every vector that
    // adds it in these steps. Each vector still gets its rows in step
    // order, and only the sums and one row are live.
    for (; j + G - 1 <= longest; j += G) {
      const double* row = rows + j * W;
      __asm__("" : "+r"(row));
#pragma GCC unroll 32
      for (int r = 0; r < 2 * G - 1; ++r) {
        V v;
        Load(v, row + r * W);
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) {
          if (r - g >= 0 && r - g < G) acc[g] += v;
        }
      }
    }
  }
  // The remaining steps (all of them when walking step by step).
  for (; j <= longest; ++j) {
    const double* row = rows + j * W;
    // Each vector loads its row afresh: without this the compiler carries
    // rows from step to step in registers, with a copy per vector and step.
    __asm__("" : "+r"(row));
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
      V v;
      Load(v, row + g * W);
      acc[g] += v;
    }
  }
  // The division: vector lanes divide exactly as one double at a time.
  if (roots) {
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
      V r;
      Load(r, roots + g * W);
      acc[g] /= r;
    }
  } else {
    const V r = V{} + root;
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) acc[g] /= r;
  }
#pragma GCC unroll 16
  for (int g = 0; g < G; ++g) Store(partial + g * W, acc[g]);
}

// Sample i's smoothed value, the plain way.
inline double PlainSmoothed(const double* scratch, int k, int i) {
  double sum = 0.0;
  for (int j = k; j <= i; ++j) sum += scratch[j];
  return k == i ? scratch[i] : sum / std::sqrt(i - k);
}

template <typename V, typename M, int W, int G, Walk kWalk>
__attribute__((always_inline)) inline void SmoothWindows(
    const double* scratch, const int* starts, int begin, int end,
    double* out, double* raw) {
  constexpr int kBlock = W * G;
  static_assert(kBlock <= 128, "the workspace holds blocks of 128");
  const Workspace ws = Carve(raw);
  int rootSpan = -1;  // the last square root taken
  double root = 0.0;
  int base = 0;   // row base is at ws.rows[0]
  int low = 0;    // rows low .. built - 1 are there
  int built = 0;
  int i = begin;
  while (i < end) {
    // The last block ends at the last sample; samples that it takes again
    // are not written again.
    const int i0 = end - i < kBlock ? end - kBlock : i;
    int longest = 0;
    int shortest = INT_MAX;
    if (i0 >= 0) {
      for (int o = 0; o < kBlock; ++o) {
        const int span = i0 + o - starts[i0 + o];
        if (span > longest) longest = span;
        if (span < shortest) shortest = span;
      }
    }
    if (i0 < 0 || shortest < 1 || i0 - longest < 0) {
      // Near the start of the sound: one sample at a time.
      const int stop = end - i < kBlock ? end : i + kBlock;
      for (; i < stop; ++i) out[i] = PlainSmoothed(scratch, starts[i], i);
      continue;
    }
    const int lo = i0 - longest;  // first row of the block
    const int hi = i0 + G;        // one past its last row
    if (hi - lo > kRows) {
      // Windows longer than the row space (no valid patch has them): one
      // lane at a time.
      for (int g = 0; g < G; ++g) {
        for (int l = 0; l < W; ++l) {
          const int at = i0 + g + l * G;
          ws.partial[g * W + l] = PlainSmoothed(scratch, starts[at], at);
        }
      }
    } else {
      if (lo < low || lo > built) base = low = built = lo;  // start afresh
      if (hi - base > kRows) {
        // Out of room: move the rows still needed to the front.
        std::memmove(ws.rows, ws.rows + (lo - base) * W,
                     sizeof(double) * W * (built - lo));
        base = low = lo;
      }
      for (double* row = ws.rows + (built - base) * W; built < hi;
           ++built, row += W) {
        V v;
        for (int l = 0; l < W; ++l) v[l] = scratch[built + l * G];
        Store(row, v);
      }
      // Every span here is at least 1. Mostly all lanes share one span, and
      // with it the square root; otherwise each lane has its own entry step
      // and its own root.
      const bool uniform = longest == shortest;
      if (!uniform) {
        for (int g = 0; g < G; ++g) {
          for (int l = 0; l < W; ++l) {
            const int o = g + l * G;
            const int span = i0 + o - starts[i0 + o];
            ws.entry[g * W + l] = static_cast<double>(longest - span);
            ws.roots[g * W + l] = RootOf(span, rootSpan, root);
          }
        }
      }
      RowBlock<V, M, W, G, kWalk>(
          ws.rows + (lo - base) * W, longest, longest - shortest, ws.entry,
          uniform ? nullptr : ws.roots, RootOf(longest, rootSpan, root),
          ws.partial);
    }
    for (int g = 0; g < G; ++g) {
      for (int l = 0; l < W; ++l) {
        const int at = i0 + g + l * G;
        if (at >= i) out[at] = ws.partial[g * W + l];
      }
    }
    i = i0 + kBlock;
  }
}

// One kernel function per vector width, block layout and walk.
template <typename V, typename M, int W, int G, Walk kWalk>
void Smooth(const double* scratch, const int* starts, int begin, int end,
            double* out, double* workspace) {
  SmoothWindows<V, M, W, G, kWalk>(scratch, starts, begin, end, out,
                                   workspace);
}

#if defined(__i386__) || defined(__x86_64__)
#define PLIMBAR_X86_KERNELS 1
// The wider vectors, compiled for the processors that have them.
template <int G, Walk kWalk>
__attribute__((target("avx"))) void SmoothAvx(const double* scratch,
                                              const int* starts, int begin,
                                              int end, double* out,
                                              double* workspace) {
  SmoothWindows<Vec4, Mask4, 4, G, kWalk>(scratch, starts, begin, end, out,
                                          workspace);
}

template <int G, Walk kWalk>
__attribute__((target("avx512f"))) void SmoothAvx512(const double* scratch,
                                                     const int* starts,
                                                     int begin, int end,
                                                     double* out,
                                                     double* workspace) {
  SmoothWindows<Vec8, Mask8, 8, G, kWalk>(scratch, starts, begin, end, out,
                                          workspace);
}
#define PLIMBAR_AVX(G, walk) SmoothAvx<G, walk>
#define PLIMBAR_AVX512(G, walk) SmoothAvx512<G, walk>
#else
// No wider vectors: those levels are never supported (the base kernel
// stands in their rows).
#define PLIMBAR_AVX(G, walk) Smooth<Vec2, Mask2, 2, G, walk>
#define PLIMBAR_AVX512(G, walk) Smooth<Vec2, Mask2, 2, G, walk>
#endif

}  // namespace

// The 64-bit layout of each width first, then the 32-bit x86 one.
const NoiseWindowKernel kNoiseKernels[kNoiseKernelCount] = {
    {kNoiseKernelBase, 12, Smooth<Vec2, Mask2, 2, 12, kStepByStep>,
     "base, 12 vectors step by step"},
    {kNoiseKernelAvx, 12, PLIMBAR_AVX(12, kStepByStep),
     "avx, 12 vectors step by step"},
    {kNoiseKernelAvx512, 12, PLIMBAR_AVX512(12, kRowsInRegisters),
     "avx512, 12 vectors with rows in registers"},
    {kNoiseKernelBase, 6, Smooth<Vec2, Mask2, 2, 6, kDiagonal>,
     "base, 6 vectors diagonally"},
    {kNoiseKernelAvx, 7, PLIMBAR_AVX(7, kDiagonal),
     "avx, 7 vectors diagonally"},
    {kNoiseKernelAvx512, 7, PLIMBAR_AVX512(7, kDiagonal),
     "avx512, 7 vectors diagonally"},
};

namespace {

// Where this build's layout starts in kNoiseKernels.
#if defined(__x86_64__) || defined(__aarch64__)
constexpr int kOwnLayout = 0;
#else
constexpr int kOwnLayout = kNoiseKernelLevels;
#endif

int BestKernel() {
#ifdef PLIMBAR_X86_KERNELS
  __builtin_cpu_init();
#endif
  for (int level = kNoiseKernelLevels - 1; level > 0; --level) {
    if (NoiseKernelSupported(level)) return kOwnLayout + level;
  }
  return kOwnLayout + kNoiseKernelBase;
}

int g_kernel = -1;  // chosen at first use

}  // namespace

bool NoiseKernelSupported(int level) {
  switch (level) {
    case kNoiseKernelBase:
      return true;
#ifdef PLIMBAR_X86_KERNELS
    // These flags include the system's consent (it saves the registers).
    case kNoiseKernelAvx:
      return __builtin_cpu_supports("avx");
    case kNoiseKernelAvx512:
      return __builtin_cpu_supports("avx512f");
#endif
    default:
      return false;
  }
}

const NoiseWindowKernel& CurrentNoiseKernel() {
  if (g_kernel < 0) g_kernel = BestKernel();
  return kNoiseKernels[g_kernel];
}

int DefaultNoiseKernel() { return BestKernel(); }

bool SelectNoiseKernel(int index) {
  if (index < 0 || index >= kNoiseKernelCount) return false;
  if (!NoiseKernelSupported(kNoiseKernels[index].level)) return false;
  g_kernel = index;
  return true;
}

}  // namespace plimbar
