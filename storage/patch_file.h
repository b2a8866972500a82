// Patch files: INI text with extension ".plb".
//
//   [Setting]
//   Tune1=60 ... WaveForm1=0      twelve keys per oscillator, OSC1 first
//   ...
//   Tune9=60 ... WaveForm9=0
//   Time=50
//   [Version]
//   Version=20
//
// The same reader and writer keep the working patch in the settings file.
#ifndef PLIMBAR_STORAGE_PATCH_FILE_H
#define PLIMBAR_STORAGE_PATCH_FILE_H

#include "engine/engine.h"
#include "storage/ini.h"

namespace plimbar {

constexpr int kPathCapacity = 260;  // path buffers: 259 characters + NUL
constexpr int kPatchKeysPerOscillator = 12;
constexpr int kPatchKeyCount = kOscillators * kPatchKeysPerOscillator + 1;
constexpr int kPatchFileVersion = 20;
extern const char kPatchSection[];    // "Setting"
extern const char kVersionSection[];  // "Version"

// One parameter of the patch file: its key stem ("Tune", completed with the
// oscillator number 1..9), where it lives in the Patch, its default for
// OSC1 and for the others when the key is missing, and its valid range.
struct PatchParamInfo {
  const char* name;
  int (Patch::*field)[kOscillators];
  int defaultFirst;   // default of oscillator 1
  int defaultOthers;  // default of oscillators 2..9
  int min, max;
};

// The twelve parameters in the order they are written (Tune, DeTune, Bend,
// BendCurve, Volume, Attack, AttackCurve, Decay, DecayCurve, Distortion,
// Mute, WaveForm).
extern const PatchParamInfo kPatchParams[kPatchKeysPerOscillator];

// A value outside its range that the reader brought back into it.
struct ClampedKey {
  char key[16];  // "Tune3", "Time"
  int read;      // the value the file holds
  int used;      // the value stored in the patch
};

struct PatchReadReport {
  int clampedCount;
  ClampedKey clamped[kPatchKeyCount];
};

// Reads a patch from the INI file at path into p: the keys of section
// "Setting" with their defaults, Mute reduced to 0 or 1, every value
// clamped into its range (Time 1..100, WaveForm 0..3, the others 0..100)
// and Time's sound length set. A missing file gives the default patch.
// Each clamped key is listed in report when report is not null.
// Marks nothing, builds no tables, renders nothing.
void ReadPatchFile(const IniBackend& ini, const char* path, Patch& p,
                   PatchReadReport* report);

// Writes the 109 patch keys into section "Setting" and Version=20 into
// section "Version": 110 writes, in file order. Keys and sections of the
// file that the patch does not define stay. False when a write failed.
bool SavePatchFile(const IniBackend& ini, const char* path, const Patch& p);

// Writes value with "%d".
bool WriteIniInt(const IniBackend& ini, const char* section, const char* key,
                 int value, const char* path);

// name without its extension: cut at the first '.' of the file name (the
// part after the last '\\' or '/') when the text from there on, dot
// included, is at most 4 characters. A '.' in a folder name never counts,
// so My.Sounds\kick.plb gives My.Sounds\kick. Returns a
// buffer of the function's own (overwritten by the next call), or null when
// name is null or longer than 259 characters.
const char* StripExtension(const char* name);

// name with extension (".plb", ".wav") added, unless name has at least 4
// characters and already ends in it (any letter case). Returns a buffer of
// the function's own, or null when the result would not fit in 259
// characters.
const char* AppendExtension(const char* name, const char* extension);

}  // namespace plimbar

#endif  // PLIMBAR_STORAGE_PATCH_FILE_H
