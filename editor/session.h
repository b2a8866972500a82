// The editing session: everything the user does to a patch, the same for
// every face of the program (the Windows dialog, the browser page).
//
// A face turns its controls' events into the operations below and brings
// up to date what each operation says (a mask of Refresh bits); it draws
// what views.h computes. The session owns the engine (patch, format, tables,
// sound), the current oscillator, the oscillator clipboard, the undo
// history, the current patch file name and the last folder, and the playing
// flag. Everything is fixed storage: the Session is one plain struct (about
// 8 MB, like the engine inside it) that a face keeps for its whole run and a
// test makes fresh with NewSession. Nothing here allocates or throws.
//
// What each operation stores, marks render-pending, rebuilds and renders:
//
//   operation             stores                 marks            renders
//   SelectOscillator      the current osc        nothing          no
//   Scroll (bar)          the bar's value        osc and above;   no
//                         (Time kept >= 1)       Decay: the chain;
//                                                Time: all nine
//   SetMute               Mute                   osc and above    no
//   ChooseWaveForm        WaveForm               osc and above    yes
//   PasteOscillator       11 values (not         osc and above    no
//                         Distortion, not Time)
//   Undo / Redo           the whole patch        what changed     when the
//                                                and above it     step did
//   SetRate / SetBits     the output format      nothing          yes (mix)
//   RenderNow (IDOK)      -                      -                yes
//   BeginPlayback         the playing flag       -                when pending
//   loads (start, Open,   the whole patch        all nine         yes
//   drop, command line)
//   GenerateSound,        the whole patch        what changed     yes
//   MutateSound           (variations.h)         and above it;
//                                                Time: all nine
#ifndef PLIMBAR_EDITOR_SESSION_H
#define PLIMBAR_EDITOR_SESSION_H

#include <memory>

#include "engine/engine.h"
#include "storage/ini.h"
#include "storage/patch_file.h"

namespace plimbar {

// What a face must bring up to date after an operation.
enum Refresh : unsigned {
  kRefreshPanel = 1u << 0,       // bars, value displays, mute box, waveform list
  kRefreshVolumeView = 1u << 1,  // the current oscillator's volume curve
  kRefreshPitchView = 1u << 2,   // the current oscillator's pitch curve
  kRefreshWaveView = 1u << 3,    // the sound was rendered and mixed again
  kRefreshMarks = 1u << 4,       // the check marks of the rate and depth items
  kRefreshOscButtons = 1u << 5,  // which OSC button shows pressed
  // UpdateOscillator: an oscillator's tables rebuilt and the panel shown.
  kRefreshOscillator = kRefreshPanel | kRefreshVolumeView | kRefreshPitchView,
  kRefreshAll = 0x3Fu,
};

// The ten parameter bars, in the order the dialog sets them up and shows
// them: Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve, Decay,
// DecayCurve of the current oscillator, then the patch's Time.
enum ParamBar {
  kBarTune, kBarDeTune, kBarBend, kBarBendCurve, kBarVolume, kBarAttack,
  kBarAttackCurve, kBarDecay, kBarDecayCurve, kBarTime, kParamBars
};

// The codes of a scroll bar's messages, with the values of the Windows
// scroll codes (SB_LINELEFT ... SB_ENDSCROLL), which a face may pass on as
// they come.
enum ScrollCode {
  kLineLeft = 0, kLineRight = 1, kPageLeft = 2, kPageRight = 3,
  kThumbPosition = 4, kThumbTrack = 5, kTop = 6, kBottom = 7, kEndScroll = 8
};

constexpr int kHistorySteps = 100;

// One oscillator's settings as Copy took them: all but Distortion (and the
// patch-wide Time). Never stored.
struct OscillatorClipboard {
  int filled;  // 0 until the first copy
  int Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve, Decay,
      DecayCurve, Mute, WaveForm;
};

// One step of the undo history: the whole patch before and after an edit.
struct EditStep {
  Patch before;
  Patch after;
  int osc;       // the oscillator the edit was made on
  bool renders;  // the edit rendered (a waveform choice)
};

// The last kHistorySteps steps in a ring: steps first .. first + count - 1,
// oldest first; the first `undoable` of them are done, the rest can be
// redone. A scroll move (a drag, a held arrow) stays open until its release
// or until another bar or oscillator takes over.
struct EditHistory {
  EditStep steps[kHistorySteps];
  int first, count, undoable;
  Patch editStart;  // the patch when the edit under way began
  bool editOpen;    // a step has begun and not ended
  int scrollBar;    // the bar of an open scroll move, else -1
  int scrollOsc;
};

struct Session {
  Engine engine;
  int currentOsc;  // 0..8: the oscillator the panel edits
  OscillatorClipboard clipboard;
  EditHistory history;
  // The current patch file name (empty: none) and the folder the file
  // dialogs open in; paths of up to 259 characters.
  char patchFileName[kPathCapacity];
  char lastFolder[kPathCapacity];
  // For an Open dialog under way: the name to come back on a cancel.
  char openFallback[kPathCapacity];
  bool playing;  // a sound was handed to the device and has not ended
  bool started;  // StartSession ran: the settings were read
  // Variations (editor/variations.h): the parameters a mutation leaves as
  // they are (bit k of locks[n]: key k of oscillator n in patch-file order;
  // timeLocked: Time), the patch a run of mutations varies around and the
  // last result of that run, and the seed of the last variation.
  uint16_t locks[kOscillators];
  bool timeLocked;
  Patch mutationOrigin;
  Patch lastMutation;
  bool mutationRun;  // lastMutation holds a result
  uint32_t lastSeed;
};

// A fresh session in its start-up state (before StartSession), allocated
// once; null when there is no memory.
std::unique_ptr<Session> NewSession();
void ResetSession(Session& s);

// --- start and exit -------------------------------------------------------

// The dialog's start: OSC1 current and shown, then the settings file read
// (last folder, format; a rate or depth not offered falls back to 44100 Hz
// or 16 bits) and the working patch loaded from it (an empty path: the
// built-in defaults, 44100 Hz, 16 bits). Renders. Returns kRefreshAll.
unsigned StartSession(Session& s, const IniBackend& ini, const char* settingsPath);

// The exit: the working patch, the last folder and the format written to the
// settings file. Nothing when StartSession never ran or the path is empty.
// False when a write failed.
bool ExitSession(const Session& s, const IniBackend& ini, const char* settingsPath);

// --- the panel --------------------------------------------------------------

// Makes oscillator n (0..8) current and shows it; marks and renders nothing.
unsigned SelectOscillator(Session& s, int n);

// A scroll message of bar (a ParamBar; any other number marks the current
// oscillator and does nothing more): marks, changes the value by code and
// position (lines of 1 and pages of 10 kept in 0..100, the thumb's
// position), keeps Time at least 1, rebuilds the current oscillator's tables.
// A move from its first message to kEndScroll is one undo step.
unsigned Scroll(Session& s, int bar, int code, int position);

// The mute box now shows `muted`: stores it and marks. Nothing to refresh
// (the box shows it already).
unsigned SetMute(Session& s, bool muted);

// A waveform chosen in the list (0..3; anything else keeps the one there):
// stores it, marks and renders.
unsigned ChooseWaveForm(Session& s, int waveForm);

// --- the Edit and Settings menus, IDOK --------------------------------------

unsigned CopyOscillator(Session& s);
// The clipboard into the current oscillator (Distortion and Time kept),
// marked; does not render. Nothing with an empty clipboard.
unsigned PasteOscillator(Session& s);

// Ctrl+Z, and Ctrl+Y or Ctrl+Shift+Z: the whole patch as before (after) the
// step; every oscillator that changes is marked (with those above it) and
// rebuilt, the step's oscillator made current; renders when the step did.
unsigned Undo(Session& s);
unsigned Redo(Session& s);
bool CanUndo(const Session& s);
bool CanRedo(const Session& s);

// "44KHz" ... "8Bits": the format set, then rendered (usually a mix only).
unsigned SetRate(Session& s, int rate);
unsigned SetBits(Session& s, int bits);

// The dialog's IDOK: renders what is pending and mixes.
unsigned RenderNow(Session& s);

// --- playback ---------------------------------------------------------------

// A press of Test. Refused (false, nothing done) while a sound plays.
// Otherwise the playing flag is set and what is pending rendered (refresh
// says so); the face then hands CurrentPcm / PcmByteCount in the engine's
// format to its device, and calls EndPlayback when the device is done or
// could not start.
bool BeginPlayback(Session& s, unsigned* refresh);
void EndPlayback(Session& s);

// --- files ------------------------------------------------------------------

enum FileDialogKind { kOpenDialog, kSaveAsDialog, kExportDialog };

// The name a file dialog starts with (kPathCapacity bytes): empty for Open;
// the current patch file name with ".plb" (Save As) or ".wav" (Export) in
// place of a short extension; empty when that does not fit.
void ProposedName(const Session& s, FileDialogKind kind, char* out);

// Open: BeginOpen before the dialog shows (the current name is emptied and
// kept), then EndOpen with the chosen path, or null for a cancel (then a
// current name comes back with ".plb", none stays none). A chosen path
// becomes the current name, its folder the last folder, and the patch is
// loaded from it with ".plb" added unless it ends so.
void BeginOpen(Session& s);
unsigned EndOpen(Session& s, const IniBackend& ini, const char* chosen);

// A patch named on the command line or dropped: opened as a confirmed Open.
unsigned OpenNamedPatch(Session& s, const IniBackend& ini, const char* path);

// Overwrite-save: false when there is no current patch file name, and then
// the face asks for one with Save As. *saved tells whether the file was
// written.
bool SaveToCurrentName(Session& s, const IniBackend& ini, bool* saved);

// Save As and Export confirmed with a chosen name: it becomes the current
// patch file name (Save As: its folder the last folder), then the patch is
// written with ".plb", the sound (as last rendered) with ".wav". False when
// nothing could be written (a name without room for the extension writes
// nothing).
bool SaveAsConfirmed(Session& s, const IniBackend& ini, const char* chosen);
bool ExportConfirmed(Session& s, const char* chosen);

// The folder part of path: everything before its last '\' or '/'; empty
// when there is none. Writes at most kPathCapacity bytes.
void FolderOf(const char* path, char* folder);

// Reads the patch at path into e as the program's start-up load does: values
// brought into range (clamped keys listed in report, when given), all nine
// marked, the tables built from OSC9 down to OSC1, rendered and mixed in e's
// format. plimbar-render and every load of a session go through here.
void LoadPatchIntoEngine(Engine& e, const IniBackend& ini, const char* path,
                         PatchReadReport* report);

// --- what the panel and the menu show ---------------------------------------

// The number a bar's value display shows, as text: Hz for Tune and Bend
// (the frequency truncated), 2 DeTune - 100, Time * 20 ms, else the value.
void ValueText(const Session& s, int bar, char (&out)[16]);
// The bar's thumb position: the value it edits.
int BarPosition(const Session& s, int bar);
bool MuteShown(const Session& s);
int WaveFormShown(const Session& s);
// Whether the rate (44100 ...) or depth (16, 8) menu item has its mark.
bool RateChecked(const Session& s, int rate);
bool BitsChecked(const Session& s, int bits);

}  // namespace plimbar

#endif  // PLIMBAR_EDITOR_SESSION_H
