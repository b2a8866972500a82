// Variations: a new sound of a kind drawn from a seed, and variations of a
// patch around it, the same on every build and in every face.
//
// Everything here is integer arithmetic: the random numbers, the ranges,
// the steps and the chances (integer fractions). No floating point takes
// part in a choice, so a seed gives the same patch on every build (native,
// Windows, WebAssembly). Only the render of the result is floating point,
// and the engine's render is exact too.
//
// The random numbers: PCG-XSH-RR, 64-bit state, 32-bit output.
//   step:   state = state * 6364136223846793005 + increment   (mod 2^64)
//   output: from the state before the step, x = ((state >> 18) ^ state) >> 27
//           (its low 32 bits), rotated right by state >> 59
//   seed:   increment = 2 * stream + 1; state = 0; one step;
//           state += seed; one step
// The stream tells the uses apart: kGenerateStream for a new sound,
// kMutateStream + attempt for a variation (an attempt that came out equal
// to its origin is drawn again on the next stream). A number below n
// (RandomBelow) rejects the outputs below 2^32 mod n, then takes the
// remainder: every value is equally likely.
//
// A new sound (GeneratePatch): the kind's rows of kSoundKindTable (in
// variations.cpp) say which oscillators sound or modulate, with which
// waveforms, and the range of each of their parameters and of Time; every
// other oscillator is left idle (the file's defaults, Volume 0). The
// ranges come from the example patches (examples/<name>.plb) and from what
// makes each kind that kind (a kick's fast pitch drop, a cowbell's two
// squares a fifth apart...). Every value lies in its range and the kind's
// first oscillator always sounds.
//
// A variation (MutatePatch): every parameter that shapes the sound moves,
// with the strength's chance, by a random nonzero amount of at most the
// strength's step around the origin, kept in its range: the parameters of
// an oscillator that sounds (a carrier, unmuted, Volume above 0) or
// modulates one that does. Idle oscillators and Distortion (stored, never
// heard) stay. A sounding oscillator's Volume stays at least 1. WaveForm
// and Mute change rarely, and only at the medium and large strengths; the
// last sounding carrier is never muted. Locked parameters never move. A
// variation differs from its origin whenever anything may move.
#ifndef PLIMBAR_EDITOR_VARIATIONS_H
#define PLIMBAR_EDITOR_VARIATIONS_H

#include <cstdint>

#include "editor/session.h"
#include "engine/engine.h"
#include "storage/patch_file.h"

namespace plimbar {

// --- the random numbers -------------------------------------------------------

struct VariationRandom {
  uint64_t state;
  uint64_t increment;  // odd
};

constexpr uint32_t kGenerateStream = 1;
constexpr uint32_t kMutateStream = 16;  // + attempt 0..kMutationAttempts - 1
constexpr int kMutationAttempts = 16;

void SeedRandom(VariationRandom& r, uint32_t seed, uint32_t stream);
uint32_t NextRandom(VariationRandom& r);
// 0 .. n - 1 (n >= 1), each equally likely.
uint32_t RandomBelow(VariationRandom& r, uint32_t n);
// lo .. hi inclusive (lo <= hi).
int RandomInRange(VariationRandom& r, int lo, int hi);
// True with probability num / den.
bool RandomChance(VariationRandom& r, uint32_t num, uint32_t den);

// The seed of the i-th sound of a batch (i from 0) whose seed is seed:
// seed + i, modulo 2^32. So sound i of a batch is the first of a batch
// started at its seed.
inline uint32_t NthSeed(uint32_t seed, uint32_t i) { return seed + i; }

// --- names for the faces ---------------------------------------------------------

// The name on the command line (and of the example patch), a caption in
// Japanese and one in English; UTF-8.
struct VariationName {
  const char* cli;
  const char* japanese;
  const char* english;
};

enum SoundKind {
  kKindKick, kKindSnare, kKindHiHatClosed, kKindHiHatOpen, kKindTom,
  kKindClap, kKindCowbell, kKindRimshot, kKindConga, kKindZap, kKindFmPerc,
  kSoundKinds
};

enum MutationStrength { kStrengthSmall, kStrengthMedium, kStrengthLarge, kMutationStrengths };

// Null outside 0 .. kSoundKinds - 1 (kMutationStrengths - 1).
const VariationName* SoundKindName(int kind);
const VariationName* StrengthName(int strength);
// The kind (strength) of a command-line name, exactly as spelled; -1 for
// none.
int KindOfName(const char* name);
int StrengthOfName(const char* name);

// --- the strengths --------------------------------------------------------------

// What a variation of one strength does to the parameters of an oscillator
// that shapes the sound, key by key in patch-file order (kPatchParams).
struct StrengthRule {
  uint8_t chance[kPatchKeysPerOscillator];  // of 64: that the key moves
  // Largest move of a key; a move is 1 .. step up or down. Mute flips and
  // WaveForm takes one of the other three, so their step is unused.
  uint8_t step[kPatchKeysPerOscillator];
  uint8_t modulatorVolumeStep;  // a modulator's Volume is its depth: finer
  uint8_t timeChance;           // of 64
  uint8_t timePercent;          // Time moves by up to this % of it (>= 1)
};
extern const StrengthRule kStrengthRules[kMutationStrengths];

// Bit k of Session::locks[n]: key k (kPatchParams order) of oscillator n.
constexpr uint16_t LockBit(int key) { return static_cast<uint16_t>(1u << key); }

// --- pure operations ------------------------------------------------------------

// A new patch of the kind from seed (Time and sound length set). False,
// out untouched, for no such kind.
bool GeneratePatch(int kind, uint32_t seed, Patch& out);

// A variation of origin at the strength from seed, locked parameters as in
// origin (values outside their ranges are first brought into them). A
// strength out of range is taken as medium. out equals origin only when
// nothing may move (every shaping parameter locked): when a draw comes out
// equal it is drawn again on the next stream, and after kMutationAttempts
// the first parameter that may move takes one step. locks may be null
// (nothing locked).
void MutatePatch(const Patch& origin, int strength, uint32_t seed,
                 const uint16_t locks[kOscillators], bool timeLocked,
                 Patch& out);

// --- session operations ---------------------------------------------------------

// The working patch replaced by a new one of the kind (locks are for
// variations; a new sound takes no notice of them): one undo step, the
// changed oscillators (and those above them) marked and rebuilt, all nine
// marked when Time changed, rendered. Starts a run of variations around
// the new patch. Stores seed in lastSeed. Returns kRefreshOscillator |
// kRefreshWaveView; 0 (nothing done) for no such kind.
unsigned GenerateSound(Session& s, int kind, uint32_t seed);

// The working patch replaced by a variation of the strength, as
// GenerateSound. While the working patch is the last variation, the run
// goes on around the same origin; otherwise the working patch becomes the
// origin. Locked parameters keep their current values. A variation equal
// to the working patch (an earlier one of the run) is drawn again from
// seed ^ (k << 24), k = 1, 2 ... below kMutationAttempts. Stores seed in
// lastSeed. 0, and no step, when nothing may move or for a strength out of
// range.
unsigned MutateSound(Session& s, int strength, uint32_t seed);

}  // namespace plimbar

#endif  // PLIMBAR_EDITOR_VARIATIONS_H
