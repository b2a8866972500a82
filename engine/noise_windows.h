// Window sums of the noise smoothing, many samples side by side.
//
// Sample i of a noise oscillator is smoothed by summing scratch[k] up to
// scratch[i], in that order and starting from 0.0. The sums of neighbouring
// samples do not depend on each other, so a kernel computes a block of them
// at once, one sample per vector lane, each lane still adding its own window
// in its own order: the results are the same doubles as one sum at a time.
//
// The kernel is picked once from what the processor offers (SSE2 at least;
// AVX and AVX-512 where the processor and the system support them). Every
// kernel gives identical results; tests may switch between them.
#ifndef PLIMBAR_ENGINE_NOISE_WINDOWS_H
#define PLIMBAR_ENGINE_NOISE_WINDOWS_H

#include "engine/engine.h"

namespace plimbar {

// Windows of up to about this many samples are summed by vectors, longer
// ones one at a time (see noise_windows.cpp).
constexpr int kNoiseVectorWindow = 2048;
static_assert(kNoiseWorkspaceDoubles >=
                  2 * kNoiseVectorWindow * 8 + 3 * 128 + 8,
              "the engine's workspace holds the rows and three blocks");

enum NoiseKernelLevel {
  kNoiseKernelBase = 0,    // two doubles per vector (SSE2 on x86)
  kNoiseKernelAvx = 1,     // four doubles per vector
  kNoiseKernelAvx512 = 2,  // eight doubles per vector
  kNoiseKernelLevels = 3
};

// Writes, for every sample i from begin to end - 1, its smoothed value
//   out[i] = scratch[i]                 when k == i,
//   out[i] = sum / sqrt(i - k)          otherwise, where k = starts[i] and
//   sum = 0.0 + scratch[k] + scratch[k + 1] + ... + scratch[i],
// added in that order. Requires 0 <= starts[i] <= i for every i below end
// (also below begin) and scratch[0 .. end - 1] filled. Reads nothing of
// scratch at or above end; writes only out[begin .. end - 1] and the
// workspace (kNoiseWorkspaceDoubles doubles, any alignment). Allocates
// nothing.
using NoiseSmoothFunction = void (*)(const double* scratch, const int* starts,
                                     int begin, int end, double* out,
                                     double* workspace);

struct NoiseWindowKernel {
  int level;   // NoiseKernelLevel: the vector width
  int groups;  // vectors per block
  NoiseSmoothFunction smooth;
  const char* name;
};

// Every kernel that some build renders with: each vector width in the
// layout of the 64-bit builds (entries 0 .. 2) and in that of the 32-bit x86
// build (entries 3 .. 5), whatever this build is, so that both can be
// tested on any machine.
constexpr int kNoiseKernelCount = 2 * kNoiseKernelLevels;
extern const NoiseWindowKernel kNoiseKernels[kNoiseKernelCount];

// Whether this processor and system can run kernels of that level.
bool NoiseKernelSupported(int level);

// The kernel in use: the widest supported one in this build's layout unless
// a test chose another.
const NoiseWindowKernel& CurrentNoiseKernel();

// The index in kNoiseKernels of the kernel this build picks here.
int DefaultNoiseKernel();

// Uses kNoiseKernels[index] from now on; false (and no change) when the
// processor cannot run it. For tests and benchmarks.
bool SelectNoiseKernel(int index);

}  // namespace plimbar

#endif  // PLIMBAR_ENGINE_NOISE_WINDOWS_H
