// The page's entry points into the editor: one static Session, the core's
// operations by number, and the texts, pixels and sound the page shows.
// Every function is called from the worker script (web/src/worker.js); files
// pass through emscripten's in-memory file system.
#include <emscripten/emscripten.h>

#include <cstdint>
#include <cstdio>
#include <cstring>

#include "editor/history.h"
#include "editor/session.h"
#include "editor/share_link.h"
#include "editor/variations.h"
#include "editor/views.h"
#include "engine/noise_windows.h"

using namespace plimbar;

namespace {

Session g_session;  // the page's one session (about 8 MB, static)

// The settings file as the page keeps it between visits (localStorage), in
// the in-memory file system while it is read or written.
const char kSettingsPath[] = "/store/PlimbarMaker.ini";
// Where a link's patch is put to be loaded like a file.
const char kLinkPatchPath[] = "/store/link.plb";

// Room for the largest view a page shows, in pixels.
constexpr int kMaxViewPixels = 2048 * 1024;
uint32_t g_pixels[kMaxViewPixels];

// Black and RGB(0, 255, 0) as canvas pixels (RGBA bytes, little-endian).
constexpr ViewColours kColours = {0xFF000000u, 0xFF00FF00u};

char g_text[kPathCapacity];  // the last text handed out

// What the panel, the OSC buttons and the menu show, as the page reads it.
struct PanelState {
  int currentOsc;
  int positions[kParamBars];
  int mute;
  int waveForm;
  int rateChecked[3];  // 44100, 22050, 11025
  int bitsChecked[2];  // 16, 8
  int playing;
  int rate;
  int bits;
  int pcmBytes;
  int canUndo;
  int canRedo;
  int locks[kOscillators];  // Session::locks, bit k: key k of kPatchParams
  int timeLocked;
  uint32_t lastSeed;        // of the last new sound or variation
};
PanelState g_state;

}  // namespace

extern "C" {

EMSCRIPTEN_KEEPALIVE void pm_reset() { ResetSession(g_session); }

// StartSession with the stored settings file (withSettings) or with none.
EMSCRIPTEN_KEEPALIVE unsigned pm_start(int withSettings) {
  return StartSession(g_session, kPortableIni, withSettings ? kSettingsPath : "");
}

// The working patch and the format written to a fresh settings file.
EMSCRIPTEN_KEEPALIVE int pm_exit() {
  std::remove(kSettingsPath);
  return ExitSession(g_session, kPortableIni, kSettingsPath) ? 1 : 0;
}

EMSCRIPTEN_KEEPALIVE unsigned pm_select(int n) { return SelectOscillator(g_session, n); }
EMSCRIPTEN_KEEPALIVE unsigned pm_scroll(int bar, int code, int position) {
  return Scroll(g_session, bar, code, position);
}
EMSCRIPTEN_KEEPALIVE unsigned pm_mute(int muted) { return SetMute(g_session, muted != 0); }
EMSCRIPTEN_KEEPALIVE unsigned pm_wave(int waveForm) { return ChooseWaveForm(g_session, waveForm); }
EMSCRIPTEN_KEEPALIVE unsigned pm_copy() { return CopyOscillator(g_session); }
EMSCRIPTEN_KEEPALIVE unsigned pm_paste() { return PasteOscillator(g_session); }
EMSCRIPTEN_KEEPALIVE unsigned pm_undo() { return Undo(g_session); }
EMSCRIPTEN_KEEPALIVE unsigned pm_redo() { return Redo(g_session); }
EMSCRIPTEN_KEEPALIVE unsigned pm_rate(int rate) { return SetRate(g_session, rate); }
EMSCRIPTEN_KEEPALIVE unsigned pm_bits(int bits) { return SetBits(g_session, bits); }
EMSCRIPTEN_KEEPALIVE unsigned pm_render() { return RenderNow(g_session); }

// A press of Test: -1 when refused (a sound plays), else what to refresh.
EMSCRIPTEN_KEEPALIVE int pm_begin_playback() {
  unsigned refresh = 0;
  if (!BeginPlayback(g_session, &refresh)) return -1;
  return static_cast<int>(refresh);
}
EMSCRIPTEN_KEEPALIVE void pm_end_playback() { EndPlayback(g_session); }

// --- files -----------------------------------------------------------------

EMSCRIPTEN_KEEPALIVE void pm_begin_open() { BeginOpen(g_session); }
// path null: the dialog was cancelled.
EMSCRIPTEN_KEEPALIVE unsigned pm_end_open(const char* path) {
  return EndOpen(g_session, kPortableIni, path);
}
EMSCRIPTEN_KEEPALIVE unsigned pm_open_named(const char* path) {
  return OpenNamedPatch(g_session, kPortableIni, path);
}
// 0: no current name (ask with Save As); 1: saved; 2: not written.
EMSCRIPTEN_KEEPALIVE int pm_save() {
  bool saved = false;
  if (!SaveToCurrentName(g_session, kPortableIni, &saved)) return 0;
  return saved ? 1 : 2;
}
EMSCRIPTEN_KEEPALIVE int pm_save_as(const char* path) {
  return SaveAsConfirmed(g_session, kPortableIni, path) ? 1 : 0;
}
EMSCRIPTEN_KEEPALIVE int pm_export(const char* path) {
  return ExportConfirmed(g_session, path) ? 1 : 0;
}
// The name a Save As (1) or Export (2) dialog starts with; "" for Open (0).
EMSCRIPTEN_KEEPALIVE const char* pm_proposed(int kind) {
  const FileDialogKind kinds[] = {kOpenDialog, kSaveAsDialog, kExportDialog};
  ProposedName(g_session, kinds[kind >= 0 && kind <= 2 ? kind : 0], g_text);
  return g_text;
}
EMSCRIPTEN_KEEPALIVE const char* pm_file_name() { return g_session.patchFileName; }

// --- what the page shows -------------------------------------------------------

EMSCRIPTEN_KEEPALIVE const PanelState* pm_state() {
  const Session& s = g_session;
  PanelState& st = g_state;
  st.currentOsc = s.currentOsc;
  for (int b = 0; b < kParamBars; ++b) st.positions[b] = BarPosition(s, b);
  st.mute = MuteShown(s) ? 1 : 0;
  st.waveForm = WaveFormShown(s);
  const int rates[] = {44100, 22050, 11025};
  for (int i = 0; i < 3; ++i) st.rateChecked[i] = RateChecked(s, rates[i]) ? 1 : 0;
  st.bitsChecked[0] = BitsChecked(s, 16) ? 1 : 0;
  st.bitsChecked[1] = BitsChecked(s, 8) ? 1 : 0;
  st.playing = s.playing ? 1 : 0;
  st.rate = s.engine.format.rate;
  st.bits = s.engine.format.bits;
  st.pcmBytes = PcmByteCount(s.engine);
  st.canUndo = CanUndo(s) ? 1 : 0;
  st.canRedo = CanRedo(s) ? 1 : 0;
  for (int n = 0; n < kOscillators; ++n) st.locks[n] = s.locks[n];
  st.timeLocked = s.timeLocked ? 1 : 0;
  st.lastSeed = s.lastSeed;
  return &st;
}
EMSCRIPTEN_KEEPALIVE int pm_state_ints() { return sizeof(PanelState) / sizeof(int); }
static_assert(sizeof(PanelState) % sizeof(int) == 0, "the page reads the state as ints");

EMSCRIPTEN_KEEPALIVE const char* pm_value_text(int bar) {
  static char text[16];
  ValueText(g_session, bar, text);
  return text;
}

// One view's picture (0 waveform, 1 volume, 2 pitch), w x h RGBA pixels; null
// when it does not fit.
EMSCRIPTEN_KEEPALIVE const uint32_t* pm_draw(int view, int w, int h) {
  if (w <= 0 || h <= 0 || w > kMaxViewPixels / h) return nullptr;
  if (view == 0) {
    DrawWaveView(g_session, w, h, g_pixels, kColours);
  } else {
    DrawCurveView(g_session, view == 2 ? kPitchCurve : kVolumeCurve, w, h, g_pixels, kColours);
  }
  return g_pixels;
}

EMSCRIPTEN_KEEPALIVE const uint8_t* pm_pcm() { return CurrentPcm(g_session.engine); }

// --- share links -----------------------------------------------------------------

EMSCRIPTEN_KEEPALIVE const char* pm_link_encode() {
  if (!EncodeShareLink(g_session.engine.patch, g_session.engine.format, g_text, sizeof g_text))
    g_text[0] = '\0';
  return g_text;
}

// Opens a link's patch and format as a load (a new history), keeping the
// current file name: the LinkStatus, and *refresh what to bring up to date.
EMSCRIPTEN_KEEPALIVE int pm_link_open(const char* text, int length, unsigned* refresh) {
  *refresh = 0;
  Patch p;
  OutputFormat f;
  const LinkStatus status =
      DecodeShareLink(text, length > 0 ? static_cast<size_t>(length) : 0, &p, &f);
  if (status != LinkStatus::kOk) return static_cast<int>(status);
  // The link's patch goes through the loader as a file would.
  std::remove(kLinkPatchPath);
  if (!SavePatchFile(kPortableIni, kLinkPatchPath, p)) return -1;
  Session& s = g_session;
  s.engine.format = f;
  LoadPatchIntoEngine(s.engine, kPortableIni, kLinkPatchPath, nullptr);
  std::remove(kLinkPatchPath);
  ClearHistory(s.history);
  *refresh = kRefreshOscillator | kRefreshWaveView | kRefreshMarks;
  return 0;
}

// --- variations -----------------------------------------------------------------

EMSCRIPTEN_KEEPALIVE unsigned pm_generate(int kind, uint32_t seed) {
  return GenerateSound(g_session, kind, seed);
}
EMSCRIPTEN_KEEPALIVE unsigned pm_mutate(int strength, uint32_t seed) {
  return MutateSound(g_session, strength, seed);
}

// The locks: Time's; all of oscillator n's at once (bit k: key k of
// kPatchParams), bits beyond the keys dropped.
EMSCRIPTEN_KEEPALIVE void pm_lock_time(int on) { g_session.timeLocked = on != 0; }
EMSCRIPTEN_KEEPALIVE void pm_set_locks(int n, int bits) {
  if (n < 0 || n >= kOscillators) return;
  g_session.locks[n] = static_cast<uint16_t>(bits & (LockBit(kPatchKeysPerOscillator) - 1));
}

// The names of a kind (a strength): 0 the command line's, 1 Japanese,
// 2 English; null past the last.
namespace {
const char* NameOf(const VariationName* v, int which) {
  if (v == nullptr) return nullptr;
  return which == 0 ? v->cli : which == 1 ? v->japanese : v->english;
}
}  // namespace
EMSCRIPTEN_KEEPALIVE const char* pm_kind_name(int kind, int which) { return NameOf(SoundKindName(kind), which); }
EMSCRIPTEN_KEEPALIVE const char* pm_strength_name(int strength, int which) {
  return NameOf(StrengthName(strength), which);
}
// The patch file's key stem of key k ("Tune" ...); null past the last.
EMSCRIPTEN_KEEPALIVE const char* pm_key_name(int key) {
  return key >= 0 && key < kPatchKeysPerOscillator ? kPatchParams[key].name : nullptr;
}

// --- benchmark -----------------------------------------------------------------

// Every oscillator rendered again and mixed, as a load does.
EMSCRIPTEN_KEEPALIVE void pm_bench_render_all() {
  MarkAllPending(g_session.engine);
  RenderPatch(g_session.engine);
}
// The noise kernel (kNoiseKernels), 0 when that one cannot run here.
EMSCRIPTEN_KEEPALIVE int pm_bench_kernel(int index) { return SelectNoiseKernel(index) ? 1 : 0; }
EMSCRIPTEN_KEEPALIVE const char* pm_bench_kernel_name() { return CurrentNoiseKernel().name; }
EMSCRIPTEN_KEEPALIVE int pm_bench_kernel_count() { return kNoiseKernelCount; }

}  // extern "C"
