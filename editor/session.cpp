// The editing session: the panel, the menus, playback and start and exit.
#include "editor/session.h"

#include <cstdio>
#include <cstring>
#include <new>

#include "audio/wav_file.h"
#include "editor/history.h"
#include "storage/settings.h"

namespace plimbar {
namespace {

// The value a bar edits: a parameter of the oscillator, or the patch's Time.
template <typename P>
auto& ValueOf(P& p, int bar, int osc) {
  switch (bar) {
    case kBarTune: return p.Tune[osc];
    case kBarDeTune: return p.DeTune[osc];
    case kBarBend: return p.Bend[osc];
    case kBarBendCurve: return p.BendCurve[osc];
    case kBarVolume: return p.Volume[osc];
    case kBarAttack: return p.Attack[osc];
    case kBarAttackCurve: return p.AttackCurve[osc];
    case kBarDecay: return p.Decay[osc];
    case kBarDecayCurve: return p.DecayCurve[osc];
    default: return p.Time;
  }
}

// A scroll code applied to a value of 0..100.
int ScrollValue(int code, int position, int value) {
  switch (code) {
    case kLineLeft: return value > kParamMin ? value - 1 : value;
    case kLineRight: return value < kParamMax ? value + 1 : value;
    case kPageLeft: return value - 10 < kParamMin ? kParamMin : value - 10;
    case kPageRight: return value + 10 > kParamMax ? kParamMax : value + 10;
    case kThumbPosition:
    case kThumbTrack:
      // The bars' range keeps the position in 0..100; a message sent by
      // hand could carry any number.
      return position < kParamMin ? kParamMin : (position > kParamMax ? kParamMax : position);
    default: return value;  // kTop, kBottom, kEndScroll
  }
}

int ValidOsc(int n) { return n >= 0 && n < kOscillators ? n : 0; }

// UpdateOscillator: the oscillator's tables rebuilt, the panel shown.
unsigned UpdateOscillator(Session& s, int osc) {
  BuildCurveTables(s.engine, osc);
  return kRefreshOscillator;
}

unsigned Render(Session& s) {
  RenderPatch(s.engine);
  return kRefreshWaveView;
}

void CopyPath(char* dst, const char* src) {
  size_t i = 0;
  if (src != nullptr)
    for (; i < kPathCapacity - 1 && src[i] != '\0'; ++i) dst[i] = src[i];
  dst[i] = '\0';
}

const char kPatchExtension[] = ".plb";
const char kWavExtension[] = ".wav";

// Loads the patch at path (empty: the file defaults) into the session.
unsigned LoadWorking(Session& s, const IniBackend& ini, const char* path) {
  if (path != nullptr && path[0] != '\0') {
    LoadPatchIntoEngine(s.engine, ini, path, nullptr);
  } else {
    LoadPatchIntoEngine(s.engine, kPortableIni, "", nullptr);  // no file: defaults
  }
  ClearHistory(s.history);  // a loaded patch starts a history of its own
  // The panel and the curve views show the current oscillator.
  if (s.currentOsc != 0) BuildCurveTables(s.engine, s.currentOsc);
  return kRefreshOscillator | kRefreshWaveView;
}

}  // namespace

std::unique_ptr<Session> NewSession() {
  std::unique_ptr<Session> s(new (std::nothrow) Session);
  if (s) ResetSession(*s);
  return s;
}

void ResetSession(Session& s) {
  ResetEngine(s.engine);
  s.currentOsc = 0;
  std::memset(&s.clipboard, 0, sizeof s.clipboard);
  ClearHistory(s.history);
  s.patchFileName[0] = '\0';
  s.lastFolder[0] = '\0';
  s.openFallback[0] = '\0';
  s.playing = false;
  s.started = false;
  std::memset(s.locks, 0, sizeof s.locks);
  s.timeLocked = false;
  s.mutationRun = false;
  s.lastSeed = 0;
}

void LoadPatchIntoEngine(Engine& e, const IniBackend& ini, const char* path,
                         PatchReadReport* report) {
  ReadPatchFile(ini, path, e.patch, report);
  MarkAllPending(e);
  for (int osc = kOscillators - 1; osc >= 0; --osc) BuildCurveTables(e, osc);
  RenderPatch(e);
}

// --- start and exit -------------------------------------------------------

unsigned StartSession(Session& s, const IniBackend& ini, const char* settingsPath) {
  s.currentOsc = 0;
  UpdateOscillator(s, 0);  // the built-in patch, until the load below
  Settings settings = {};
  if (settingsPath != nullptr && settingsPath[0] != '\0') {
    ReadSettings(ini, settingsPath, settings);
  } else {
    settings.format.rate = kDefaultRate;
    settings.format.bits = kDefaultBits;
  }
  CopyPath(s.lastFolder, settings.lastFolder);
  s.engine.format = settings.format;
  LoadWorking(s, ini, settingsPath);
  s.started = true;
  return kRefreshAll;
}

bool ExitSession(const Session& s, const IniBackend& ini, const char* settingsPath) {
  if (!s.started || settingsPath == nullptr || settingsPath[0] == '\0') return false;
  Settings settings = {};
  CopyPath(settings.lastFolder, s.lastFolder);
  settings.format = s.engine.format;
  return WriteSettings(ini, settingsPath, s.engine.patch, settings);
}

// --- the panel --------------------------------------------------------------

unsigned SelectOscillator(Session& s, int n) {
  if (n < 0 || n >= kOscillators) return 0;
  s.currentOsc = n;
  return UpdateOscillator(s, n) | kRefreshOscButtons;
}

unsigned Scroll(Session& s, int bar, int code, int position) {
  const int osc = ValidOsc(s.currentOsc);
  Engine& e = s.engine;
  MarkPending(e, osc);
  if (bar < 0 || bar >= kParamBars) return 0;  // not one of the ten
  ScrollEditStarts(s.history, e.patch, bar, osc);
  if (bar == kBarTime) MarkAllPending(e);
  // The decay of a modulator shapes what lies below it too, so a Decay
  // change leaves the whole chain pending.
  if (bar == kBarDecay) {
    if (osc % 3 == 0) e.pending[osc + 1] = e.pending[osc + 2] = 1;
    if (osc % 3 == 1) e.pending[osc + 1] = 1;
  }
  int& value = ValueOf(e.patch, bar, osc);
  value = ScrollValue(code, position, value);
  // For every bar and code: Time never stays 0, the sound length follows.
  if (e.patch.Time < kTimeMin) e.patch.Time = kTimeMin;
  SetTime(e.patch, e.patch.Time);
  const unsigned refresh = UpdateOscillator(s, osc);
  if (code == kEndScroll) CloseScrollMove(s.history, e.patch);
  return refresh;
}

unsigned SetMute(Session& s, bool muted) {
  const int osc = ValidOsc(s.currentOsc);
  BeginEditStep(s.history, s.engine.patch);
  s.engine.patch.Mute[osc] = muted ? 1 : 0;
  MarkPending(s.engine, osc);
  EndEditStep(s.history, s.engine.patch, osc, false);
  return 0;
}

unsigned ChooseWaveForm(Session& s, int waveForm) {
  const int osc = ValidOsc(s.currentOsc);
  BeginEditStep(s.history, s.engine.patch);
  // No selection keeps the waveform the oscillator has.
  if (waveForm >= 0 && waveForm <= kWaveFormMax) s.engine.patch.WaveForm[osc] = waveForm;
  MarkPending(s.engine, osc);
  const unsigned refresh = Render(s);
  EndEditStep(s.history, s.engine.patch, osc, true);
  return refresh;
}

// --- the Edit and Settings menus, IDOK --------------------------------------

unsigned CopyOscillator(Session& s) {
  const Patch& p = s.engine.patch;
  const int n = ValidOsc(s.currentOsc);
  OscillatorClipboard& c = s.clipboard;
  c.filled = 1;
  c.Tune = p.Tune[n];
  c.DeTune = p.DeTune[n];
  c.Bend = p.Bend[n];
  c.BendCurve = p.BendCurve[n];
  c.Volume = p.Volume[n];
  c.Attack = p.Attack[n];
  c.AttackCurve = p.AttackCurve[n];
  c.Decay = p.Decay[n];
  c.DecayCurve = p.DecayCurve[n];
  c.Mute = p.Mute[n];
  c.WaveForm = p.WaveForm[n];
  return 0;
}

unsigned PasteOscillator(Session& s) {
  const OscillatorClipboard& c = s.clipboard;
  if (c.filled == 0) return 0;
  BeginEditStep(s.history, s.engine.patch);
  Patch& p = s.engine.patch;
  const int n = ValidOsc(s.currentOsc);
  p.Tune[n] = c.Tune;
  p.DeTune[n] = c.DeTune;
  p.Bend[n] = c.Bend;
  p.BendCurve[n] = c.BendCurve;
  p.Volume[n] = c.Volume;
  p.Attack[n] = c.Attack;
  p.AttackCurve[n] = c.AttackCurve;
  p.Decay[n] = c.Decay;
  p.DecayCurve[n] = c.DecayCurve;
  p.Mute[n] = c.Mute;
  p.WaveForm[n] = c.WaveForm;
  MarkPending(s.engine, n);
  const unsigned refresh = UpdateOscillator(s, n);
  EndEditStep(s.history, p, n, false);
  return refresh;
}

namespace {

bool OscillatorDiffers(const Patch& a, const Patch& b, int n) {
  const OscillatorParams x = GetOscillator(a, n);
  const OscillatorParams y = GetOscillator(b, n);
  return std::memcmp(&x, &y, sizeof x) != 0;
}

// Puts target in place of the working patch, as the edits would have left
// it, and shows the step's oscillator.
unsigned PutBack(Session& s, const Patch& target, const EditStep& step) {
  Engine& e = s.engine;
  const Patch now = e.patch;
  e.patch = target;
  SetTime(e.patch, e.patch.Time);
  if (now.Time != target.Time) MarkAllPending(e);
  for (int n = 0; n < kOscillators; ++n) {
    if (!OscillatorDiffers(now, target, n)) continue;
    MarkPending(e, n);
    BuildCurveTables(e, n);
  }
  unsigned refresh = SelectOscillator(s, step.osc);
  if (step.renders) refresh |= Render(s);
  return refresh;
}

}  // namespace

unsigned Undo(Session& s) {
  const EditStep* step = StepToUndo(s.history, s.engine.patch);
  return step != nullptr ? PutBack(s, step->before, *step) : 0;
}

unsigned Redo(Session& s) {
  const EditStep* step = StepToRedo(s.history, s.engine.patch);
  return step != nullptr ? PutBack(s, step->after, *step) : 0;
}

bool CanUndo(const Session& s) { return s.history.undoable > 0; }
bool CanRedo(const Session& s) { return s.history.undoable < s.history.count; }

unsigned SetRate(Session& s, int rate) {
  s.engine.format.rate = rate;
  return kRefreshMarks | Render(s);
}

unsigned SetBits(Session& s, int bits) {
  s.engine.format.bits = bits;
  return kRefreshMarks | Render(s);
}

unsigned RenderNow(Session& s) { return Render(s); }

// --- playback ---------------------------------------------------------------

bool BeginPlayback(Session& s, unsigned* refresh) {
  if (refresh != nullptr) *refresh = 0;
  if (s.playing) return false;  // one sound at a time: not even a render
  s.playing = true;
  if (AnyPending(s.engine)) {
    const unsigned rendered = Render(s);
    if (refresh != nullptr) *refresh = rendered;
  }
  return true;
}

void EndPlayback(Session& s) { s.playing = false; }

// --- files ------------------------------------------------------------------

void FolderOf(const char* path, char* folder) {
  CopyPath(folder, path);
  char* cut = nullptr;
  for (char* p = folder; *p != '\0'; ++p)
    if (*p == '\\' || *p == '/') cut = p;
  if (cut != nullptr) {
    *cut = '\0';
  } else {
    folder[0] = '\0';
  }
}

void ProposedName(const Session& s, FileDialogKind kind, char* out) {
  if (kind == kOpenDialog) {
    out[0] = '\0';
    return;
  }
  const char* extension = kind == kExportDialog ? kWavExtension : kPatchExtension;
  CopyPath(out, AppendExtension(StripExtension(s.patchFileName), extension));
}

void BeginOpen(Session& s) {
  // A cancel brings a current name back with the patch extension (or as it
  // was, when that would not fit); none stays none.
  if (s.patchFileName[0] != '\0') {
    const char* proposed = AppendExtension(StripExtension(s.patchFileName), kPatchExtension);
    CopyPath(s.openFallback, proposed != nullptr ? proposed : s.patchFileName);
  } else {
    s.openFallback[0] = '\0';
  }
  s.patchFileName[0] = '\0';
}

unsigned EndOpen(Session& s, const IniBackend& ini, const char* chosen) {
  if (chosen == nullptr) {
    CopyPath(s.patchFileName, s.openFallback);
    return 0;
  }
  return OpenNamedPatch(s, ini, chosen);
}

unsigned OpenNamedPatch(Session& s, const IniBackend& ini, const char* path) {
  CopyPath(s.patchFileName, path);
  FolderOf(s.patchFileName, s.lastFolder);
  const char* load = AppendExtension(s.patchFileName, kPatchExtension);
  if (load == nullptr) return 0;
  char loadPath[kPathCapacity];
  CopyPath(loadPath, load);
  return LoadWorking(s, ini, loadPath);
}

namespace {

// A name that cannot take the extension is a failed save: nothing is
// written under a shortened name.
bool SavePatchTo(const Session& s, const IniBackend& ini, const char* name) {
  const char* path = AppendExtension(name, kPatchExtension);
  return path != nullptr && SavePatchFile(ini, path, s.engine.patch);
}

}  // namespace

bool SaveToCurrentName(Session& s, const IniBackend& ini, bool* saved) {
  if (saved != nullptr) *saved = false;
  if (s.patchFileName[0] == '\0') return false;
  const bool ok = SavePatchTo(s, ini, s.patchFileName);
  if (saved != nullptr) *saved = ok;
  return true;
}

bool SaveAsConfirmed(Session& s, const IniBackend& ini, const char* chosen) {
  CopyPath(s.patchFileName, chosen);
  FolderOf(s.patchFileName, s.lastFolder);
  return SavePatchTo(s, ini, s.patchFileName);
}

bool ExportConfirmed(Session& s, const char* chosen) {
  CopyPath(s.patchFileName, chosen);
  // The sound as the last render left it.
  const char* path = AppendExtension(chosen, kWavExtension);
  return path != nullptr && WriteWavFile(s.engine, path);
}

// --- what the panel and the menu show ---------------------------------------

void ValueText(const Session& s, int bar, char (&out)[16]) {
  const Engine& e = s.engine;
  const int osc = ValidOsc(s.currentOsc);
  long long shown;
  switch (bar) {
    case kBarTune: shown = static_cast<long long>(e.initialFrequency[osc]); break;
    case kBarBend: shown = static_cast<long long>(e.bendFrequency[osc]); break;
    case kBarDeTune: shown = 2LL * e.patch.DeTune[osc] - 100; break;
    case kBarTime: shown = e.patch.Time * 20LL; break;  // milliseconds
    default: shown = bar >= 0 && bar < kParamBars ? BarPosition(s, bar) : 0; break;
  }
  std::snprintf(out, sizeof out, "%lld", shown);
}

int BarPosition(const Session& s, int bar) {
  if (bar < 0 || bar >= kParamBars) return 0;
  return ValueOf(s.engine.patch, bar, ValidOsc(s.currentOsc));
}

bool MuteShown(const Session& s) { return s.engine.patch.Mute[ValidOsc(s.currentOsc)] != 0; }
int WaveFormShown(const Session& s) { return s.engine.patch.WaveForm[ValidOsc(s.currentOsc)]; }
bool RateChecked(const Session& s, int rate) { return s.engine.format.rate == rate; }
bool BitsChecked(const Session& s, int bits) { return s.engine.format.bits == bits; }

}  // namespace plimbar
