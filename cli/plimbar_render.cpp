// plimbar-render: renders patch files to WAV files without a window.
//
//   plimbar-render [--rate 44100|22050|11025] [--bits 16|8] [-o OUT.wav]
//                  PATCH [PATCH ...]
//
// Each patch is rendered in an engine of its own, exactly as the program
// renders it right after loading it at start-up: all nine oscillators
// pending, the noise generator at its seed. So a file's WAV never depends on
// the other files on the command line, and it holds the same bytes the
// program exports for that patch in that format.
//
// Exit status: 0 when every patch was rendered and written; 1 when a patch
// could not be read or a WAV could not be written (the other patches are
// still rendered); 2 for a usage error, before anything is rendered.
#include <sys/stat.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "audio/wav_file.h"
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
    " [-o OUT.wav] PATCH [PATCH ...]\n";

constexpr char kHelp[] =
    "\n"
    "Renders PlimbarMaker patch files (.plb) to mono PCM WAV files, with the\n"
    "same bytes as the program's WAV export.\n"
    "\n"
    "Options:\n"
    "  --rate HZ     sample rate: 44100 (default), 22050 or 11025\n"
    "  --bits N      bits per sample: 16 (default) or 8\n"
    "  -o, --output OUT.wav\n"
    "                write to OUT.wav, exactly that name (one patch only)\n"
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
    "Exit status: 0 all patches rendered; 1 a patch could not be read or a\n"
    "WAV not written (the others are still rendered); 2 usage error.\n";

struct Options {
  OutputFormat format = {44100, 16};
  const char* output = nullptr;  // -o, or null: next to each patch
  std::vector<const char*> patches;
};

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

// Checks that path names a readable regular file that holds a [Setting]
// section; prints the reason and returns false otherwise.
bool CheckPatchFile(const char* path) {
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
  std::FILE* f = std::fopen(path, "rb");
  if (f == nullptr) {
    FileError(path, std::string("cannot open: ") + std::strerror(errno));
    return false;
  }
  std::fclose(f);
  if (!PortableIniHasSection(kPatchSection, path)) {
    FileError(path, "not a patch file (no [Setting] section)");
    return false;
  }
  return true;
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

// Renders one patch into the WAV file out (null: next to the patch).
// Returns false after printing why when the patch could not be read or the
// WAV not written. written lists the WAVs of this run so far.
bool RenderOne(const char* patchPath, const char* out,
               const OutputFormat& format, std::vector<std::string>& written) {
  if (!CheckPatchFile(patchPath)) return false;

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

  for (const std::string& name : written) {
    if (name == outName) {
      std::fprintf(stderr, "%s: %s: warning: %s was written earlier in this "
                   "run and is replaced\n", kProgram, patchPath,
                   outName.c_str());
      break;
    }
  }

  std::unique_ptr<Engine> engine = NewEngine();
  if (engine == nullptr) {
    FileError(patchPath, "out of memory");
    return false;
  }
  Engine& e = *engine;

  // As the program's start-up load: read, mark everything, build the
  // tables from OSC9 down to OSC1, render in the chosen format.
  PatchReadReport report;
  ReadPatchFile(kPortableIni, patchPath, e.patch, &report);
  for (int k = 0; k < report.clampedCount; ++k) {
    const ClampedKey& c = report.clamped[k];
    std::fprintf(stderr,
                 "%s: %s: warning: %s=%d is out of range, using %d\n",
                 kProgram, patchPath, c.key, c.read, c.used);
  }
  MarkAllPending(e);
  for (int osc = kOscillators - 1; osc >= 0; --osc) BuildCurveTables(e, osc);
  e.format = format;
  RenderPatch(e);

  if (!WriteWavFile(e, outName.c_str())) {
    const int error = errno;
    FileError(patchPath, "cannot write " + outName + ": " +
                             std::strerror(error != 0 ? error : EIO));
    return false;
  }

  written.push_back(outName);

  const int lengthMs = e.patch.soundLength * 1000 / kRenderRate;
  std::printf("%s: %d Hz %d-bit, %d ms, peak %s dBFS, %d clipped\n",
              outName.c_str(), format.rate, format.bits, lengthMs,
              PeakText(PeakMagnitude(e)).c_str(), ClippedSamples(e));
  std::fflush(stdout);
  return true;
}

int Run(int argc, char** argv) {
  Options opt;
  switch (ParseArguments(argc, argv, opt)) {
    case ParseResult::kHelp:
      std::printf("%s%s", kSynopsis, kHelp);
      return 0;
    case ParseResult::kVersion:
      std::printf("%s %s\n", kProgram, kVersion);
      return 0;
    case ParseResult::kUsageError:
      return 2;
    case ParseResult::kRun:
      break;
  }
  int status = 0;
  std::vector<std::string> written;
  for (const char* patch : opt.patches) {
    if (!RenderOne(patch, opt.output, opt.format, written)) status = 1;
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
