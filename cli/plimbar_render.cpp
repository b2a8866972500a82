// plimbar-render: renders patch files to WAV files without a window, and
// makes new sounds of a kind or variations of a patch.
//
//   plimbar-render [--rate 44100|22050|11025] [--bits 16|8] [-o OUT.wav]
//                  PATCH [PATCH ...]
//   plimbar-render --generate KIND [--count N] [--seed S] -o DIR [format]
//   plimbar-render --vary N [--strength S] [--seed S] -o DIR [format] PATCH
//
// Each patch is rendered exactly as the program renders it right after
// loading it at start-up (LoadPatchIntoEngine): all nine oscillators
// pending, the noise generator at its seed. So a file's WAV never depends on
// the other files on the command line, and it holds the same bytes the
// program exports for that patch in that format. One engine serves the
// whole run: a load sets everything a render reads (the patch, the pending
// flags, the tables) and the run sets the format and the noise seed; every
// render writes each buffer it reads whole.
//
// Exit status: 0 when every patch was rendered and written; 1 when a patch
// could not be read or a file could not be written (other patches named
// are still rendered; a batch of new files stops there); 2 for a usage
// error, before anything is read or written.
#include <sys/stat.h>
#include <sys/types.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifdef _WIN32
#include <direct.h>
#elif defined(__linux__) && !defined(__EMSCRIPTEN__)
#include <sys/mman.h>
#endif

#include "audio/wav_file.h"
#include "editor/session.h"
#include "editor/variations.h"
#include "engine/engine.h"
#include "plimbar_version.h"
#include "storage/ini.h"
#include "storage/patch_file.h"

#ifdef _WIN32
// The Windows command prompt hands wildcards to the program as they are
// typed: the C run-time expands "examples\*.plb" into the matching names.
extern "C" {
int _dowildcard = -1;
}
#endif

namespace plimbar {
namespace {

constexpr char kProgram[] = "plimbar-render";
constexpr char kVersion[] = PLIMBAR_VERSION_STRING;
// Patch and output paths share the program's path buffers: 259 characters.
constexpr size_t kMaxPathLength = kPathCapacity - 1;

constexpr char kSynopsis[] =
    "Usage: plimbar-render [--rate 44100|22050|11025] [--bits 16|8]"
    " [-o OUT.wav] PATCH [PATCH ...]\n"
    "       plimbar-render --generate KIND [--count N] [--seed S] -o DIR"
    " [--rate HZ] [--bits N]\n"
    "       plimbar-render --vary N [--strength small|medium|large] [--seed S]"
    " -o DIR [--rate HZ] [--bits N] PATCH\n";

constexpr long kMaxCount = 1000;
constexpr uint32_t kDefaultSeed = 1;

constexpr char kHelp[] =
    "\n"
    "Renders PlimbarMaker patch files (.plb) to mono PCM WAV files, with the\n"
    "same bytes as the program's WAV export.\n"
    "\n"
    "Options:\n"
    "  --rate HZ     sample rate: 44100 (default), 22050 or 11025\n"
    "  --bits N      bits per sample: 16 (default) or 8\n"
    "  -o, --output OUT.wav\n"
    "                write to OUT.wav, exactly that name (one patch only);\n"
    "                with --generate and --vary: the folder of the new files\n"
    "  --generate KIND\n"
    "                make new sounds of a kind (see below)\n"
    "  --count N     how many new sounds: 1 (default) to 1000\n"
    "  --vary N      make N (1 to 1000) variations of PATCH\n"
    "  --strength S  how far a variation goes: small, medium (default), large\n"
    "  --seed S      the first sound's seed, 0 to 4294967295 (default 1)\n"
    "  -h, --help    show this help and exit\n"
    "  --version     show the version and exit\n"
    "  --            end of options: the rest are patch files\n"
    "\n"
    "Without -o each WAV goes next to its patch, named after it with the\n"
    "patch's extension replaced by \".wav\" (kick.plb -> kick.wav); an\n"
    "existing file of that name is replaced. Paths may have at most 259\n"
    "characters: a longer patch or output path fails that patch.\n"
    "\n"
    "For every patch one line is printed: the output file, its format and\n"
    "length, the peak level in dBFS and the number of clipped samples (mixed\n"
    "values beyond full scale). Values outside their ranges are used\n"
    "clamped, with a warning on stderr.\n"
    "\n"
    "--generate and --vary write N patch files and their WAVs into the folder\n"
    "DIR (made when missing; existing files of the same names are replaced),\n"
    "named after the kind or PATCH's name and the number of the sound:\n"
    "kick-001.plb and kick-001.wav, ... (--vary 3 ... snare.plb gives\n"
    "snare-001 to snare-003). Sound i (from 1) is drawn from seed S + i - 1\n"
    "(modulo 2^32), so the same command gives the same files on every\n"
    "machine, and --count 1 --seed S+i-1 gives sound i alone. Each variation\n"
    "is drawn around PATCH itself. The line of each sound ends with its\n"
    "seed. The run stops at the first file that cannot be written; the files\n"
    "written before it stay whole.\n"
    "\n"
    "Kinds:%s.\n"
    "\n"
    "Exit status: 0 all patches rendered; 1 a patch could not be read or a\n"
    "file not written (other patches named are still rendered); 2 usage\n"
    "error (then nothing is written).\n";

enum class Mode { kRender, kGenerate, kVary };

struct Options {
  OutputFormat format = {44100, 16};
  const char* output = nullptr;  // -o, or null: next to each patch
  std::vector<const char*> patches;
  Mode mode = Mode::kRender;
  int kind = -1;                  // --generate
  long count = 1;                 // --count, --vary
  bool countGiven = false;
  int strength = kStrengthMedium;  // --vary
  bool strengthGiven = false;
  uint32_t seed = kDefaultSeed;
  bool seedGiven = false;
};

// "kick, snare, ..." for the messages; with break, lines of the help,
// each starting with two spaces.
std::string KindList(bool breakLines = false) {
  std::string list, line;
  for (int k = 0; k < kSoundKinds; ++k) {
    const std::string name = std::string(SoundKindName(k)->cli) + (k + 1 < kSoundKinds ? "," : "");
    if (breakLines && !line.empty() && line.size() + 1 + name.size() > 72) {
      list += line + "\n";
      line.clear();
    }
    line += (line.empty() ? (breakLines ? "  " : "") : " ") + name;
  }
  return breakLines ? "\n" + list + line : list + line;
}

enum class ParseResult { kRun, kHelp, kVersion, kUsageError };

void UsageError(const std::string& reason) {
  std::fprintf(stderr, "%s: %s\n%sTry '%s --help' for more information.\n",
               kProgram, reason.c_str(), kSynopsis, kProgram);
}

// A whole decimal number made of digits only ("44100"), or -1.
long ParseNumber(const char* text) {
  if (text[0] == '\0' || std::strlen(text) > 9) return -1;
  long v = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return -1;
    v = v * 10 + (*p - '0');
  }
  return v;
}

// A seed: a decimal number below 2^32 (digits only). False otherwise.
bool ParseSeed(const char* text, uint32_t& seed) {
  if (text[0] == '\0') return false;
  unsigned long long v = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p < '0' || *p > '9') return false;
    v = v * 10 + static_cast<unsigned>(*p - '0');
    if (v > 0xFFFFFFFFull) return false;
  }
  seed = static_cast<uint32_t>(v);
  return true;
}

// Matches "--name VALUE" and "--name=VALUE". Returns false when arg is not
// this option; otherwise value is set (null when the value is missing) and
// i moves past a separate value.
bool TakeValue(const char* name, int argc, char** argv, int& i,
               const char*& value) {
  const char* arg = argv[i];
  const size_t len = std::strlen(name);
  if (std::strncmp(arg, name, len) != 0) return false;
  if (arg[len] == '=') {
    value = arg + len + 1;
    return true;
  }
  if (arg[len] != '\0') return false;
  value = i + 1 < argc ? argv[++i] : nullptr;
  return true;
}

ParseResult CheckCombination(const Options& opt);

ParseResult ParseArguments(int argc, char** argv, Options& opt) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (optionsEnded || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
      opt.patches.push_back(arg);
      continue;
    }
    const char* value = nullptr;
    if (std::strcmp(arg, "--") == 0) {
      optionsEnded = true;
    } else if (std::strcmp(arg, "--help") == 0 ||
               std::strcmp(arg, "-h") == 0) {
      return ParseResult::kHelp;
    } else if (std::strcmp(arg, "--version") == 0) {
      return ParseResult::kVersion;
    } else if (TakeValue("--rate", argc, argv, i, value)) {
      if (value == nullptr) {
        UsageError("option --rate needs a value (44100, 22050 or 11025)");
        return ParseResult::kUsageError;
      }
      const long rate = ParseNumber(value);
      if (rate != 44100 && rate != 22050 && rate != 11025) {
        UsageError(std::string("bad rate '") + value +
                   "': use 44100, 22050 or 11025");
        return ParseResult::kUsageError;
      }
      opt.format.rate = static_cast<int>(rate);
    } else if (TakeValue("--bits", argc, argv, i, value)) {
      if (value == nullptr) {
        UsageError("option --bits needs a value (16 or 8)");
        return ParseResult::kUsageError;
      }
      const long bits = ParseNumber(value);
      if (bits != 16 && bits != 8) {
        UsageError(std::string("bad bits '") + value + "': use 16 or 8");
        return ParseResult::kUsageError;
      }
      opt.format.bits = static_cast<int>(bits);
    } else if (TakeValue("--generate", argc, argv, i, value)) {
      if (opt.mode != Mode::kRender) {
        UsageError("--generate and --vary go alone, once");
        return ParseResult::kUsageError;
      }
      opt.kind = value != nullptr ? KindOfName(value) : -1;
      if (opt.kind < 0) {
        UsageError(std::string("unknown kind '") + (value ? value : "") + "': use " + KindList());
        return ParseResult::kUsageError;
      }
      opt.mode = Mode::kGenerate;
    } else if (TakeValue("--vary", argc, argv, i, value) ||
               TakeValue("--count", argc, argv, i, value)) {
      const bool vary = std::strncmp(arg, "--vary", 6) == 0;
      const char* name = vary ? "--vary" : "--count";
      if (vary ? opt.mode != Mode::kRender : opt.countGiven) {
        UsageError(vary ? "--generate and --vary go alone, once" : "option --count given more than once");
        return ParseResult::kUsageError;
      }
      const long n = value != nullptr ? ParseNumber(value) : -1;
      if (n < 1 || n > kMaxCount) {
        UsageError(std::string("bad count '") + (value ? value : "") + "' for " + name + ": use 1 to 1000");
        return ParseResult::kUsageError;
      }
      opt.count = n;
      if (vary) {
        opt.mode = Mode::kVary;
      } else {
        opt.countGiven = true;
      }
    } else if (TakeValue("--strength", argc, argv, i, value)) {
      opt.strength = value != nullptr ? StrengthOfName(value) : -1;
      if (opt.strength < 0) {
        UsageError(std::string("bad strength '") + (value ? value : "") + "': use small, medium or large");
        return ParseResult::kUsageError;
      }
      opt.strengthGiven = true;
    } else if (TakeValue("--seed", argc, argv, i, value)) {
      if (value == nullptr || !ParseSeed(value, opt.seed)) {
        UsageError(std::string("bad seed '") + (value ? value : "") + "': use a number from 0 to 4294967295");
        return ParseResult::kUsageError;
      }
      opt.seedGiven = true;
    } else if (TakeValue("-o", argc, argv, i, value) ||
               TakeValue("--output", argc, argv, i, value)) {
      if (value == nullptr || value[0] == '\0') {
        UsageError("option -o needs a file name");
        return ParseResult::kUsageError;
      }
      if (opt.output != nullptr) {
        UsageError("option -o given more than once");
        return ParseResult::kUsageError;
      }
      opt.output = value;
    } else {
      UsageError(std::string("unknown option '") + arg + "'");
      return ParseResult::kUsageError;
    }
  }
  return CheckCombination(opt);
}

// What goes with what.
ParseResult CheckCombination(const Options& opt) {
  const char* problem = nullptr;
  if (opt.mode == Mode::kGenerate) {
    if (!opt.patches.empty()) problem = "--generate takes no patch file";
    else if (opt.strengthGiven) problem = "--strength goes with --vary";
  } else if (opt.mode == Mode::kVary) {
    if (opt.patches.size() != 1) problem = "--vary takes one patch file";
    else if (opt.countGiven) problem = "--count goes with --generate (--vary N gives the count)";
  } else if (opt.countGiven || opt.seedGiven || opt.strengthGiven) {
    problem = "--count, --seed and --strength go with --generate or --vary";
  }
  if (problem == nullptr && opt.mode != Mode::kRender && opt.output == nullptr) {
    problem = "--generate and --vary need -o DIR, the folder of the new files";
  }
  if (problem != nullptr) {
    UsageError(problem);
    return ParseResult::kUsageError;
  }
  if (opt.mode != Mode::kRender) return ParseResult::kRun;
  if (opt.patches.empty()) {
    UsageError("no patch file given");
    return ParseResult::kUsageError;
  }
  if (opt.output != nullptr && opt.patches.size() > 1) {
    UsageError("-o takes a single patch, but " +
               std::to_string(opt.patches.size()) + " were given");
    return ParseResult::kUsageError;
  }
  return ParseResult::kRun;
}

bool IsSeparator(char c) {
#ifdef _WIN32
  return c == '/' || c == '\\' || c == ':';
#else
  return c == '/';
#endif
}

// The patch path with the extension of its last component replaced by
// ".wav" ("sounds/kick.plb" -> "sounds/kick.wav"; "kick" -> "kick.wav").
// A leading dot does not start an extension (".plb" -> ".plb.wav"), and a
// dot in a folder name is not the file's extension.
std::string DefaultOutputName(const std::string& patch) {
  size_t start = patch.size();
  while (start > 0 && !IsSeparator(patch[start - 1])) --start;
  const size_t dot = patch.rfind('.');
  const bool hasExtension = dot != std::string::npos && dot > start;
  return (hasExtension ? patch.substr(0, dot) : patch) + ".wav";
}

// Whether two paths name the same file.
bool SameFile(const char* a, const char* b) {
#ifdef _WIN32
  // No inode numbers: compare the names as the file system does, without
  // regard to letter case and with either separator.
  for (;; ++a, ++b) {
    char ca = *a == '/' ? '\\' : *a, cb = *b == '/' ? '\\' : *b;
    if (ca >= 'A' && ca <= 'Z') ca = static_cast<char>(ca - 'A' + 'a');
    if (cb >= 'A' && cb <= 'Z') cb = static_cast<char>(cb - 'A' + 'a');
    if (ca != cb) return false;
    if (ca == '\0') return true;
  }
#else
  if (std::strcmp(a, b) == 0) return true;
  struct stat sa, sb;
  if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
#endif
}

void FileError(const char* file, const std::string& reason) {
  std::fprintf(stderr, "%s: %s: %s\n", kProgram, file, reason.c_str());
}

std::string TooLong(const char* what, size_t length) {
  return std::string(what) + " too long (" + std::to_string(length) +
         " characters; at most " + std::to_string(kMaxPathLength) + ")";
}

// Checks that path names a regular file of at most 16 MiB; prints the
// reason and returns false otherwise.
bool CheckPatchPath(const char* path) {
  const size_t length = std::strlen(path);
  if (length > kMaxPathLength) {
    FileError(path, TooLong("path", length));
    return false;
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    FileError(path, std::string("cannot open: ") + std::strerror(errno));
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    FileError(path, "is a directory, not a patch file");
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    FileError(path, "not a regular file");
    return false;
  }
  if (static_cast<unsigned long long>(st.st_size) > kMaxIniFileBytes) {
    FileError(path, "too large for a patch file (over 16 MiB)");
    return false;
  }
  return true;
}

// Whether the held patch file could be read and holds a [Setting] section;
// prints the reason otherwise.
bool CheckPatchText(const char* path, const PortableIniHold& held) {
  if (!held.readable()) {
    FileError(path, std::string("cannot open: ") + std::strerror(held.error()));
    return false;
  }
  if (!PortableIniHasSection(kPatchSection, path)) {
    FileError(path, "not a patch file (no [Setting] section)");
    return false;
  }
  return true;
}

void WarnClamped(const char* path, const PatchReadReport& report) {
  for (int k = 0; k < report.clampedCount; ++k) {
    const ClampedKey& c = report.clamped[k];
    std::fprintf(stderr,
                 "%s: %s: warning: %s=%d is out of range, using %d\n",
                 kProgram, path, c.key, c.read, c.used);
  }
}

std::string PeakText(int peak) {
  if (peak == 0) return "-inf";
  double db = 20.0 * std::log10(peak / 32768.0);
  db = std::round(db * 10.0) / 10.0;
  if (db == 0.0) db = 0.0;  // no "-0.0"
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", db);
  return text;
}

// The line after a WAV: its format, length, peak and clipped samples.
std::string SoundText(const Engine& e) {
  const int lengthMs = e.patch.soundLength * 1000 / kRenderRate;
  char text[128];
  std::snprintf(text, sizeof text, "%d Hz %d-bit, %d ms, peak %s dBFS, %d clipped",
                e.format.rate, e.format.bits, lengthMs,
                PeakText(PeakMagnitude(e)).c_str(), ClippedSamples(e));
  return text;
}

// The engine of the whole run, allocated once. A render of a long sound
// touches nearly all of its 8 MB; on Linux they lie in transparent huge
// pages where the system offers them, since 4 KB pages would cost some
// 2000 page faults, as long as the render itself on some machines.
class RunEngine {
 public:
  RunEngine() {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    constexpr size_t kHuge = size_t{2} << 20;
    size_ = (sizeof(Engine) + kHuge - 1) / kHuge * kHuge + kHuge;
    void* map = mmap(nullptr, size_, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (map != MAP_FAILED) {
      map_ = map;
      const uintptr_t at = (reinterpret_cast<uintptr_t>(map) + kHuge - 1) &
                           ~static_cast<uintptr_t>(kHuge - 1);
      madvise(reinterpret_cast<void*>(at), size_ - kHuge, MADV_HUGEPAGE);  // a hint
      engine_ = new (reinterpret_cast<void*>(at)) Engine;
      ResetEngine(*engine_);
      return;
    }
#endif
    owned_ = NewEngine();
    engine_ = owned_.get();
  }
  ~RunEngine() {
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
    if (map_ != nullptr) munmap(map_, size_);
#endif
  }
  RunEngine(const RunEngine&) = delete;
  RunEngine& operator=(const RunEngine&) = delete;
  Engine* get() const { return engine_; }

 private:
  Engine* engine_ = nullptr;
  std::unique_ptr<Engine> owned_;
#if defined(__linux__) && !defined(__EMSCRIPTEN__)
  void* map_ = nullptr;
  size_t size_ = 0;
#endif
};

// Loads the patch at path into e and renders it in format as the program
// does right after loading it at start-up.
void LoadAndRender(Engine& e, const char* path, const OutputFormat& format,
                   PatchReadReport* report) {
  e.format = format;
  e.noiseState = kNoiseSeed;
  LoadPatchIntoEngine(e, kPortableIni, path, report);
}

std::string WriteError(const std::string& name) {
  const int error = errno;
  return "cannot write " + name + ": " + std::strerror(error != 0 ? error : EIO);
}

// Renders one patch into the WAV file out (null: next to the patch).
// Returns false after printing why when the patch could not be read or the
// WAV not written. written lists the WAVs of this run so far.
bool RenderOne(Engine& e, const char* patchPath, const char* out,
               const OutputFormat& format, std::vector<std::string>& written) {
  if (!CheckPatchPath(patchPath)) return false;

  const std::string outName =
      out != nullptr ? std::string(out) : DefaultOutputName(patchPath);
  if (outName.size() > kMaxPathLength) {
    FileError(patchPath,
              TooLong(("output name " + outName).c_str(), outName.size()));
    return false;
  }
  if (SameFile(outName.c_str(), patchPath)) {
    FileError(patchPath,
              "the WAV would replace the patch file itself; give another "
              "name with -o");
    return false;
  }

  // The file is read once: every check and key below reads the held text.
  {
    const PortableIniHold held(patchPath, PortableIniHold::kFromFile);
    if (!CheckPatchText(patchPath, held)) return false;
    for (const std::string& name : written) {
      if (name == outName) {
        std::fprintf(stderr, "%s: %s: warning: %s was written earlier in this "
                     "run and is replaced\n", kProgram, patchPath,
                     outName.c_str());
        break;
      }
    }
    PatchReadReport report;
    LoadAndRender(e, patchPath, format, &report);
    WarnClamped(patchPath, report);
  }

  if (!WriteWavFile(e, outName.c_str())) {
    FileError(patchPath, WriteError(outName));
    return false;
  }
  written.push_back(outName);
  std::printf("%s: %s\n", outName.c_str(), SoundText(e).c_str());
  std::fflush(stdout);
  return true;
}

#ifdef _WIN32
constexpr char kFolderSeparator = '\\';
#else
constexpr char kFolderSeparator = '/';
#endif

// Makes the folder dir and any missing folder above it. False with the
// reason when it cannot be made or is no folder.
bool MakeFolder(const std::string& dir, std::string& why) {
  struct stat st;
  if (stat(dir.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    why = "not a folder";
    return false;
  }
  if (errno != ENOENT) {  // a file in the way above it, no access...
    why = std::strerror(errno);
    return false;
  }
  size_t cut = dir.size();
  while (cut > 0 && IsSeparator(dir[cut - 1])) --cut;  // trailing separators
  while (cut > 0 && !IsSeparator(dir[cut - 1])) --cut;
  size_t parent = cut;
  while (parent > 0 && IsSeparator(dir[parent - 1])) --parent;
  if (parent > 0 && !(parent == 2 && dir[1] == ':') && !MakeFolder(dir.substr(0, parent), why)) {
    return false;
  }
#ifdef _WIN32
  const int made = _mkdir(dir.c_str());
#else
  const int made = mkdir(dir.c_str(), 0777);
#endif
  if (made != 0 && errno != EEXIST) {
    why = std::strerror(errno);
    return false;
  }
  if (stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
    why = "not a folder";
    return false;
  }
  return true;
}

// The name a variation of the patch at path takes: the patch's file name
// without folders and without its extension ("sounds/snare.plb" -> "snare").
std::string StemOf(const std::string& path) {
  size_t start = path.size();
  while (start > 0 && !IsSeparator(path[start - 1])) --start;
  const size_t dot = path.rfind('.');
  const size_t end = dot != std::string::npos && dot > start ? dot : path.size();
  return path.substr(start, end - start);
}

// --generate and --vary: count patches, from the kind or around origin,
// each written with its WAV into the folder dir.
int MakeBatch(Engine& e, const Options& opt, const std::string& stem,
              const Patch* origin) {
  std::string dir = opt.output;
  if (!IsSeparator(dir.back())) dir += kFolderSeparator;
  auto base = [&](long i) {
    char number[24];
    std::snprintf(number, sizeof number, "-%03ld", i + 1);
    return dir + stem + number;
  };
  const std::string longest = base(opt.count - 1) + ".plb";
  if (longest.size() > kMaxPathLength) {
    FileError(opt.output, TooLong(("output name " + longest).c_str(), longest.size()));
    return 1;
  }
  std::string why;
  if (!MakeFolder(opt.output, why)) {
    FileError(opt.output, "cannot make the folder: " + why);
    return 1;
  }
  for (long i = 0; i < opt.count; ++i) {
    const uint32_t seed = NthSeed(opt.seed, static_cast<uint32_t>(i));
    Patch p;
    if (origin != nullptr) {
      MutatePatch(*origin, opt.strength, seed, nullptr, false, p);
    } else {
      GeneratePatch(opt.kind, seed, p);
    }
    const std::string patchName = base(i) + ".plb", wavName = base(i) + ".wav";
    {
      // A new file in the program's format, written whole at once; its WAV
      // rendered from it as written (read from the held text).
      PortableIniHold fresh(patchName.c_str(), PortableIniHold::kEmpty);
      if (!SavePatchFile(kPortableIni, patchName.c_str(), p) || !fresh.Store()) {
        FileError(opt.output, WriteError(patchName));
        return 1;
      }
      LoadAndRender(e, patchName.c_str(), opt.format, nullptr);
    }
    if (!WriteWavFile(e, wavName.c_str())) {
      FileError(opt.output, WriteError(wavName));
      return 1;
    }
    std::printf("%s: %s, seed %lu\n", wavName.c_str(), SoundText(e).c_str(),
                static_cast<unsigned long>(seed));
    std::fflush(stdout);
  }
  return 0;
}

// --vary: the patch it varies, read as a render reads it.
int VaryPatch(Engine& e, const Options& opt) {
  const char* path = opt.patches[0];
  if (!CheckPatchPath(path)) return 1;
  Patch origin;
  {
    const PortableIniHold held(path, PortableIniHold::kFromFile);
    if (!CheckPatchText(path, held)) return 1;
    PatchReadReport report;
    ReadPatchFile(kPortableIni, path, origin, &report);
    WarnClamped(path, report);
  }
  return MakeBatch(e, opt, StemOf(path), &origin);
}

int Run(int argc, char** argv) {
  Options opt;
  switch (ParseArguments(argc, argv, opt)) {
    case ParseResult::kHelp:
      std::printf("%s", kSynopsis);
      std::printf(kHelp, KindList(true).c_str());
      return 0;
    case ParseResult::kVersion:
      std::printf("%s %s\n", kProgram, kVersion);
      return 0;
    case ParseResult::kUsageError:
      return 2;
    case ParseResult::kRun:
      break;
  }
  RunEngine engine;
  if (engine.get() == nullptr) {
    std::fprintf(stderr, "%s: out of memory\n", kProgram);
    return 1;
  }
  Engine& e = *engine.get();
  if (opt.mode == Mode::kGenerate) return MakeBatch(e, opt, SoundKindName(opt.kind)->cli, nullptr);
  if (opt.mode == Mode::kVary) return VaryPatch(e, opt);
  int status = 0;
  std::vector<std::string> written;
  for (const char* patch : opt.patches) {
    if (!RenderOne(e, patch, opt.output, opt.format, written)) status = 1;
  }
  return status;
}

}  // namespace
}  // namespace plimbar

int main(int argc, char** argv) {
  try {
    return plimbar::Run(argc, argv);
  } catch (const std::bad_alloc&) {
    std::fprintf(stderr, "%s: out of memory\n", plimbar::kProgram);
    return 1;
  }
}
