// Render speed: RenderPatch with all nine oscillators pending at Time 100,
// the fast render against the straightforward reference render, case by
// case, plus MixDown alone; and the whole plimbar-render process on the
// worst case, from its start to its exit. After the usual output, a
// summary table gives each case's median time for both renders and their
// ratio, and the process against both renders of the worst case.
//
//   render_bench [--benchmark_...]   (PLIMBAR_EXAMPLES_DIR: other examples;
//                                     PLIMBAR_BENCH_DIR: the process's folder)
//
// The process reads its patch from and writes its WAV to a fresh folder in
// PLIMBAR_BENCH_DIR, by default the system's temporary folder. The WAV is
// flushed to its disk before it replaces the old one, and how long a disk
// takes to flush depends on the disk, not on the renderer's start: give a
// memory-backed folder to leave it out.
#include <benchmark/benchmark.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "engine/engine.h"
#include "engine/noise_windows.h"
#include "storage/ini.h"
#include "storage/patch_file.h"
#include "tests/reference_render.h"

extern char** environ;

namespace plimbar {
namespace {

struct Case {
  std::string name;
  Patch patch;
};

constexpr int kBest = 100;      // the noise kernel the program picks
constexpr int kWorstCase = 3;   // nine noise oscillators at the lowest pitch

// A short name of kNoiseKernels[index]: its width and vectors per block.
std::string KernelName(int index) {
  static const char* const kWidths[] = {"base", "avx", "avx512"};
  const NoiseWindowKernel& k = kNoiseKernels[index];
  return std::string(kWidths[k.level]) + "x" + std::to_string(k.groups);
}

// Every oscillator's parameters set to one value (Time 100).
Patch UniformPatch(const OscillatorParams& v) {
  Patch p;
  SetInitialPatch(p);
  for (int n = 0; n < kOscillators; ++n) SetOscillator(p, n, v);
  SetTime(p, 100);
  return p;
}

OscillatorParams Params(int tune, int detune, int bend, int volume, int wave) {
  OscillatorParams v{};
  v.Tune = tune;
  v.DeTune = detune;
  v.Bend = bend;
  v.BendCurve = 50;
  v.Volume = volume;
  v.Attack = 0;
  v.AttackCurve = 0;
  v.Decay = 100;
  v.DecayCurve = 50;
  v.Distortion = 50;
  v.Mute = 0;
  v.WaveForm = wave;
  return v;
}

std::vector<Case> MakeCases() {
  std::vector<Case> cases;
  {
    Patch p;
    SetInitialPatch(p);
    SetTime(p, 100);
    cases.push_back({"default", p});
  }
  {
    // Three waveforms, modulators at full depth, pitches spread out.
    Patch p;
    SetInitialPatch(p);
    for (int n = 0; n < kOscillators; ++n) {
      OscillatorParams v = Params(40 + 7 * n, 50, 60, 100, n % 3);
      v.Attack = 5;
      v.Decay = 90;
      SetOscillator(p, n, v);
    }
    SetTime(p, 100);
    cases.push_back({"nine_tones_deep_fm", p});
  }
  {
    Patch p;
    SetInitialPatch(p);
    SetOscillator(p, 0, Params(0, 50, 50, 100, kNoise));
    SetTime(p, 100);
    cases.push_back({"noise_carrier_tune0", p});
  }
  cases.push_back({"nine_noise_tune0_detune0",  // kWorstCase
                   UniformPatch(Params(0, 0, 50, 100, kNoise))});
  cases.push_back({"nine_noise_tune0_detune0_bend0",
                   UniformPatch(Params(0, 0, 0, 100, kNoise))});
  cases.push_back({"top_pitch_full_fm_sine",
                   UniformPatch(Params(100, 100, 100, 100, kSine))});
  cases.push_back({"top_pitch_full_fm_square",
                   UniformPatch(Params(100, 100, 100, 100, kSquare))});
  {
    // The slowest tone patch found: the top pitch reached at once
    // (BendCurve 0), sine carriers driven by square modulators, so the
    // phase steps by thousands of radians per sample.
    Patch p = UniformPatch(Params(100, 100, 100, 100, kSquare));
    for (int n = 0; n < kOscillators; ++n) {
      p.BendCurve[n] = 0;
      if (n % 3 == 0) p.WaveForm[n] = kSine;
    }
    cases.push_back({"top_pitch_early_bend_square_fm", p});
  }

  // The example library, each patch as the program loads it but at Time 100.
  const char* env = std::getenv("PLIMBAR_EXAMPLES_DIR");
  const std::filesystem::path dir =
      env ? std::filesystem::path(env)
          : std::filesystem::path(PLIMBAR_SOURCE_DIR) / "examples";
  std::error_code ec;
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(dir, ec)) {
    if (entry.path().extension() == ".plb") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& file : files) {
    Patch p;
    ReadPatchFile(kPortableIni, file.string().c_str(), p, nullptr);
    SetTime(p, 100);
    cases.push_back({"example_" + file.stem().string(), p});
  }
  return cases;
}

// Per-iteration wall times in seconds, by benchmark name.
std::map<std::string, std::vector<double>>& Timings() {
  static std::map<std::string, std::vector<double>> timings;
  return timings;
}

std::unique_ptr<Engine> EngineFor(const Patch& p) {
  std::unique_ptr<Engine> e = NewEngine();
  e->patch = p;
  for (int n = kOscillators - 1; n >= 0; --n) BuildCurveTables(*e, n);
  return e;
}

// Renders the patch with all nine oscillators pending from the same noise
// state, every iteration: the reference render (kernel -1) or the fast one
// with kNoiseKernels[kernel] (kBest: the one the program picks).
void BenchRender(benchmark::State& state, const Patch& patch, int kernel,
                 const std::string& key) {
  std::unique_ptr<Engine> e = EngineFor(patch);
  const int chosen = DefaultNoiseKernel();
  if (kernel >= 0) SelectNoiseKernel(kernel == kBest ? chosen : kernel);
  std::vector<double>& times = Timings()[key];
  for (auto _ : state) {
    MarkAllPending(*e);
    e->noiseState = kNoiseSeed;
    const auto t0 = std::chrono::steady_clock::now();
    if (kernel >= 0) {
      RenderPatch(*e);
    } else {
      ReferenceRenderPatch(*e);
    }
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
    benchmark::DoNotOptimize(e->pcm16[0]);
    benchmark::ClobberMemory();
  }
  SelectNoiseKernel(chosen);
}

void BenchMixDown(benchmark::State& state) {
  Patch p;
  SetInitialPatch(p);
  SetTime(p, 100);
  std::unique_ptr<Engine> e = EngineFor(p);
  RenderPatch(*e);
  std::vector<double>& times = Timings()["mixdown"];
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    MixDown(*e);
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
    benchmark::DoNotOptimize(e->pcm16[0]);
    benchmark::ClobberMemory();
  }
}

// The folder of the process runs: a fresh one in PLIMBAR_BENCH_DIR, else in
// the system's temporary folder.
std::filesystem::path ProcessFolder() {
  namespace fs = std::filesystem;
  const char* env = std::getenv("PLIMBAR_BENCH_DIR");
  std::error_code ec;
  fs::path root = env ? fs::path(env) : fs::temp_directory_path(ec);
  std::string name = (root / "plimbar_bench_XXXXXX").string();
  if (mkdtemp(name.data()) == nullptr) return {};
  return name;
}

// plimbar-render run on a patch file of the case, start to exit, every
// iteration: exec, load, the engine, the render, the WAV written.
void BenchProcess(benchmark::State& state, const Patch& patch,
                  const std::string& key) {
  namespace fs = std::filesystem;
  const fs::path dir = ProcessFolder();
  const std::string patchPath = (dir / "case.plb").string();
  {
    PortableIniHold fresh(patchPath.c_str(), PortableIniHold::kEmpty);
    if (dir.empty() || !SavePatchFile(kPortableIni, patchPath.c_str(), patch) ||
        !fresh.Store()) {
      state.SkipWithError("cannot write the patch file");
      return;
    }
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  char program[] = PLIMBAR_RENDER;
  std::string arg = patchPath;
  char* argv[] = {program, arg.data(), nullptr};
  std::vector<double>& times = Timings()[key];
  for (auto _ : state) {
    const auto t0 = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = 0;
    if (posix_spawn(&pid, program, &actions, nullptr, argv, environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0) {
      state.SkipWithError("plimbar-render failed");
      break;
    }
    const auto t1 = std::chrono::steady_clock::now();
    times.push_back(std::chrono::duration<double>(t1 - t0).count());
  }
  posix_spawn_file_actions_destroy(&actions);
  std::error_code ec;
  fs::remove_all(dir, ec);
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const size_t m = v.size() / 2;
  return v.size() % 2 ? v[m] : (v[m - 1] + v[m]) / 2.0;
}

}  // namespace
}  // namespace plimbar

int main(int argc, char** argv) {
  using namespace plimbar;
  const std::vector<Case> cases = MakeCases();
  for (const Case& c : cases) {
    const std::string ref = "reference/" + c.name;
    const std::string fast = "fast/" + c.name;
    const Patch patch = c.patch;
    benchmark::RegisterBenchmark(
        ref.c_str(),
        [patch, ref](benchmark::State& s) { BenchRender(s, patch, -1, ref); })
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
    benchmark::RegisterBenchmark(
        fast.c_str(),
        [patch, fast](benchmark::State& s) {
          BenchRender(s, patch, kBest, fast);
        })
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
  }
  // The worst case with each kernel this processor can run, as a processor
  // without the widest vectors would render it, and in the 32-bit x86
  // build's block layout as well as in the 64-bit one.
  const Patch worst = cases[kWorstCase].patch;
  for (int kernel = 0; kernel < kNoiseKernelCount; ++kernel) {
    if (!NoiseKernelSupported(kNoiseKernels[kernel].level)) continue;
    const std::string name =
        "fast_" + KernelName(kernel) + "/" + cases[kWorstCase].name;
    benchmark::RegisterBenchmark(
        name.c_str(),
        [worst, kernel, name](benchmark::State& s) {
          BenchRender(s, worst, kernel, name);
        })
        ->Unit(benchmark::kMillisecond)
        ->Repetitions(5)
        ->ReportAggregatesOnly(true);
  }
  const std::string process = "process/" + cases[kWorstCase].name;
  benchmark::RegisterBenchmark(
      process.c_str(),
      [worst, process](benchmark::State& s) { BenchProcess(s, worst, process); })
      ->Unit(benchmark::kMillisecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true)
      ->UseRealTime();
  benchmark::RegisterBenchmark("mixdown", BenchMixDown)
      ->Unit(benchmark::kMicrosecond)
      ->Repetitions(5)
      ->ReportAggregatesOnly(true);

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  std::printf("noise kernel of the fast render: %s\n",
              CurrentNoiseKernel().name);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();

  // One line per case: the median of every timed render of this run.
  std::printf("\n%-36s %13s %13s %8s\n", "case (Time 100, all pending)",
              "reference ms", "fast ms", "ratio");
  const auto& t = Timings();
  auto line = [&t](const std::string& label, const std::string& fastKey,
                   const std::string& refKey) {
    const auto r = t.find(refKey);
    const auto f = t.find(fastKey);
    if (r == t.end() || f == t.end()) return;
    const double rm = Median(r->second) * 1e3;
    const double fm = Median(f->second) * 1e3;
    std::printf("%-36s %13.3f %13.3f %7.1fx\n", label.c_str(), rm, fm,
                fm > 0 ? rm / fm : 0.0);
  };
  for (const Case& c : cases) {
    line(c.name, "fast/" + c.name, "reference/" + c.name);
  }
  for (int kernel = 0; kernel < kNoiseKernelCount; ++kernel) {
    const std::string name = cases[kWorstCase].name;
    line(name + " (" + KernelName(kernel) + ")",
         "fast_" + KernelName(kernel) + "/" + name, "reference/" + name);
  }
  {
    // The whole process on the worst case against both renders in-process.
    const std::string name = cases[kWorstCase].name;
    const auto p = t.find("process/" + name);
    const auto f = t.find("fast/" + name);
    const auto r = t.find("reference/" + name);
    if (p != t.end() && f != t.end() && r != t.end()) {
      const double pm = Median(p->second) * 1e3;
      const double fm = Median(f->second) * 1e3;
      const double rm = Median(r->second) * 1e3;
      std::printf("\nplimbar-render process, %s: %.3f ms\n", name.c_str(), pm);
      std::printf("  %.2fx its in-process render (%.3f ms)\n", fm > 0 ? pm / fm : 0.0, fm);
      std::printf("  %.1fx faster than the reference render (%.3f ms)\n",
                  pm > 0 ? rm / pm : 0.0, rm);
    }
  }
  const auto m = t.find("mixdown");
  if (m != t.end()) {
    std::printf("%-36s %13s %13.3f\n", "mixdown alone", "",
                Median(m->second) * 1e3);
  }
  return 0;
}
