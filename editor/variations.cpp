// Variations: the random numbers, the table of kinds, the strengths, new
// sounds and variations, and their session operations.
#include "editor/variations.h"

#include <cstring>

#include "editor/history.h"

namespace plimbar {

// --- the random numbers -------------------------------------------------------

namespace {
constexpr uint64_t kPcgMultiplier = 6364136223846793005ull;
}  // namespace

uint32_t NextRandom(VariationRandom& r) {
  const uint64_t old = r.state;
  r.state = old * kPcgMultiplier + r.increment;
  const uint32_t x = static_cast<uint32_t>(((old >> 18) ^ old) >> 27);
  const uint32_t rot = static_cast<uint32_t>(old >> 59);
  return (x >> rot) | (x << ((32u - rot) & 31u));
}

void SeedRandom(VariationRandom& r, uint32_t seed, uint32_t stream) {
  r.state = 0;
  r.increment = (static_cast<uint64_t>(stream) << 1) | 1u;
  NextRandom(r);
  r.state += seed;
  NextRandom(r);
}

uint32_t RandomBelow(VariationRandom& r, uint32_t n) {
  if (n <= 1) return 0;
  const uint32_t threshold = (0u - n) % n;  // 2^32 mod n
  for (;;) {
    const uint32_t x = NextRandom(r);
    if (x >= threshold) return x % n;
  }
}

int RandomInRange(VariationRandom& r, int lo, int hi) {
  if (hi <= lo) return lo;
  return lo + static_cast<int>(RandomBelow(r, static_cast<uint32_t>(hi - lo) + 1u));
}

bool RandomChance(VariationRandom& r, uint32_t num, uint32_t den) {
  if (num == 0) return false;
  if (num >= den) return true;
  return RandomBelow(r, den) < num;
}

// --- the kinds ----------------------------------------------------------------

namespace {

struct Range {
  int lo, hi;
};

// Waveforms a voice may take: bit w for WaveForm w.
constexpr uint8_t S = 1u << kSine, Q = 1u << kSquare, N = 1u << kNoise;

// One oscillator of a kind. presence: chance of 8 that it is there (a
// modulator only with the oscillator above it). tuneOf: -1, or the
// oscillator whose drawn Tune this one's range is an offset from (an
// interval). Each range is inclusive, in the parameter's units.
struct VoiceRule {
  int osc;
  uint8_t waves;
  int presence;
  int tuneOf;
  Range tune, deTune, bend, bendCurve, volume, attack, attackCurve, decay, decayCurve;
};

constexpr int kMaxVoices = 4;

struct KindRule {
  VariationName name;
  Range time;  // 20 ms steps
  int voices;
  VoiceRule voice[kMaxVoices];
};

// ONE table of the kinds. The examples' values lie inside each range; the
// ranges are as wide as keeps the kind recognisable: the pitch and its
// drop, the envelope shapes, the layers' balance, the length. No kind
// clips: the carriers' levels leave the headroom the examples leave (a
// noise layer peaks at about twice its Volume).
//
//  osc waves pres tuneOf   Tune       DeTune    Bend      BendCurve  Volume    Attack   AttackCurve Decay      DecayCurve
constexpr KindRule kSoundKindTable[kSoundKinds] = {
    {{"kick", "キック", "Kick"}, {15, 28}, 2, {
        // A sine dropping fast by about an octave and a half, and a short FM click at the onset.
        {0, S, 8, -1, {28, 38}, {46, 54}, {10, 22}, {5, 20}, {75, 92}, {0, 0}, {0, 0}, {85, 100}, {20, 40}},
        {1, S, 6, -1, {64, 80}, {50, 50}, {40, 50}, {50, 50}, {3, 9}, {0, 0}, {0, 0}, {2, 5}, {40, 60}}}},
    {{"snare", "スネア", "Snare"}, {10, 16}, 3, {
        // A bending sine body under a bright noise layer and a darker, shorter one.
        {0, S, 8, -1, {30, 40}, {46, 54}, {35, 48}, {10, 30}, {28, 36}, {0, 0}, {0, 0}, {35, 65}, {20, 40}},
        {3, N, 8, -1, {90, 100}, {50, 50}, {50, 50}, {50, 50}, {18, 24}, {0, 0}, {0, 0}, {85, 100}, {15, 30}},
        {6, N, 6, -1, {72, 88}, {50, 50}, {50, 50}, {50, 50}, {12, 19}, {0, 0}, {0, 0}, {45, 75}, {15, 35}}}},
    {{"hihat-closed", "クローズドハイハット", "Closed hi-hat"}, {4, 5}, 3, {
        // Bright noise with a metallic square pair in deep FM; a fast decay.
        {0, N, 8, -1, {96, 100}, {50, 50}, {50, 50}, {50, 50}, {30, 40}, {0, 0}, {0, 0}, {90, 100}, {8, 18}},
        {3, Q, 8, -1, {88, 98}, {50, 50}, {50, 50}, {50, 50}, {10, 18}, {0, 0}, {0, 0}, {90, 100}, {8, 18}},
        {4, Q, 8, 3, {2, 8}, {50, 50}, {50, 50}, {50, 50}, {20, 34}, {0, 0}, {0, 0}, {90, 100}, {40, 60}}}},
    {{"hihat-open", "オープンハイハット", "Open hi-hat"}, {18, 35}, 3, {
        // The closed hi-hat's ingredients, decaying long and slower.
        {0, N, 8, -1, {96, 100}, {50, 50}, {50, 50}, {50, 50}, {28, 40}, {0, 0}, {0, 0}, {90, 100}, {25, 45}},
        {3, Q, 8, -1, {88, 98}, {50, 50}, {50, 50}, {50, 50}, {10, 18}, {0, 0}, {0, 0}, {90, 100}, {20, 40}},
        {4, Q, 8, 3, {2, 8}, {50, 50}, {50, 50}, {50, 50}, {20, 34}, {0, 0}, {0, 0}, {90, 100}, {40, 60}}}},
    {{"tom", "タム", "Tom"}, {15, 28}, 2, {
        // A sine gliding down a few semitones, with a short noise stick.
        {0, S, 8, -1, {28, 38}, {46, 54}, {36, 46}, {12, 28}, {70, 82}, {0, 0}, {0, 0}, {85, 100}, {22, 38}},
        {3, N, 8, -1, {66, 76}, {50, 50}, {50, 50}, {50, 50}, {12, 16}, {0, 0}, {0, 0}, {6, 12}, {15, 30}}}},
    {{"clap", "クラップ", "Clap"}, {12, 20}, 3, {
        // Three noise bursts a few milliseconds apart, the last opening into a tail.
        {0, N, 8, -1, {82, 90}, {50, 50}, {50, 50}, {50, 50}, {42, 52}, {0, 0}, {0, 0}, {2, 4}, {40, 60}},
        {3, N, 8, -1, {80, 88}, {50, 50}, {50, 50}, {50, 50}, {35, 45}, {2, 4}, {60, 100}, {5, 8}, {40, 60}},
        {6, N, 8, -1, {80, 90}, {50, 50}, {50, 50}, {50, 50}, {32, 42}, {6, 9}, {80, 100}, {90, 100}, {6, 14}}}},
    {{"cowbell", "カウベル", "Cowbell"}, {11, 20}, 2, {
        // Two squares about a fifth apart, fast-then-slow decay.
        {0, Q, 8, -1, {48, 56}, {46, 54}, {50, 50}, {50, 50}, {30, 38}, {0, 0}, {0, 0}, {90, 100}, {10, 22}},
        {3, Q, 8, 0, {6, 8}, {46, 54}, {50, 50}, {50, 50}, {30, 38}, {0, 0}, {0, 0}, {90, 100}, {10, 22}}}},
    {{"rimshot", "リムショット", "Rimshot"}, {3, 5}, 3, {
        // Two short sines, a low and a high one, with a noise click.
        {0, S, 8, -1, {42, 50}, {46, 54}, {50, 50}, {50, 50}, {32, 42}, {0, 0}, {0, 0}, {40, 55}, {20, 40}},
        {3, S, 8, -1, {64, 74}, {46, 54}, {50, 50}, {50, 50}, {24, 34}, {0, 0}, {0, 0}, {30, 45}, {20, 40}},
        {6, N, 8, -1, {90, 100}, {50, 50}, {50, 50}, {50, 50}, {15, 24}, {0, 0}, {0, 0}, {10, 20}, {40, 60}}}},
    {{"conga", "コンガ", "Conga"}, {11, 20}, 2, {
        // A mid sine settling a little lower, with a slap of FM at the onset.
        {0, S, 8, -1, {36, 46}, {46, 54}, {44, 49}, {5, 20}, {72, 88}, {0, 0}, {0, 0}, {90, 100}, {18, 32}},
        {1, S, 8, -1, {58, 70}, {50, 50}, {50, 50}, {50, 50}, {2, 5}, {0, 0}, {0, 0}, {2, 5}, {40, 60}}}},
    {{"zap", "ザップ", "Zap"}, {10, 22}, 2, {
        // A laser sweep of a sine from several kHz down to a low tone, with light FM.
        {0, S, 8, -1, {84, 95}, {46, 54}, {8, 18}, {20, 40}, {60, 78}, {0, 0}, {0, 0}, {90, 100}, {30, 50}},
        {1, S, 6, -1, {50, 70}, {50, 50}, {10, 30}, {3, 10}, {2, 5}, {0, 0}, {0, 0}, {90, 100}, {40, 60}}}},
    {{"fm-perc", "FMパーカッション", "FM percussion"}, {28, 55}, 3, {
        // A sine under a modulator an interval above it, itself modulated; the sidebands die first.
        {0, S, 8, -1, {48, 62}, {46, 54}, {50, 50}, {50, 50}, {70, 88}, {0, 0}, {0, 0}, {90, 100}, {14, 26}},
        {1, S, 8, 0, {7, 19}, {50, 50}, {50, 50}, {50, 50}, {4, 8}, {0, 0}, {0, 0}, {45, 75}, {14, 26}},
        {2, S, 6, -1, {34, 46}, {50, 50}, {50, 50}, {50, 50}, {2, 4}, {0, 0}, {0, 0}, {30, 50}, {14, 26}}}},
};

constexpr VariationName kStrengthNameTable[kMutationStrengths] = {
    {"small", "小", "Small"}, {"medium", "中", "Medium"}, {"large", "大", "Large"}};

// Keys in patch-file order (kPatchParams).
enum Key {
  kTuneKey, kDeTuneKey, kBendKey, kBendCurveKey, kVolumeKey, kAttackKey, kAttackCurveKey,
  kDecayKey, kDecayCurveKey, kDistortionKey, kMuteKey, kWaveFormKey
};

int Clamp(int v, int lo, int hi) { return v < lo ? lo : v > hi ? hi : v; }

bool SameValues(const Patch& a, const Patch& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

int Draw(VariationRandom& r, const Range& range) { return RandomInRange(r, range.lo, range.hi); }

}  // namespace

//                Tune DeTune Bend BendCurve Volume Attack AttackCurve Decay DecayCurve Distortion Mute WaveForm
const StrengthRule kStrengthRules[kMutationStrengths] = {
    {{16, 16, 16, 16, 16, 16, 16, 16, 16, 0, 0, 0}, {2, 5, 3, 5, 5, 2, 8, 6, 6, 0, 0, 0}, 1, 16, 10},
    {{32, 32, 32, 32, 32, 32, 32, 32, 32, 0, 1, 2}, {5, 12, 8, 12, 12, 5, 20, 15, 15, 0, 0, 0}, 3, 32, 25},
    {{48, 48, 48, 48, 48, 48, 48, 48, 48, 0, 3, 6}, {12, 25, 20, 30, 25, 12, 40, 35, 35, 0, 0, 0}, 8, 48, 50},
};

const VariationName* SoundKindName(int kind) {
  return kind >= 0 && kind < kSoundKinds ? &kSoundKindTable[kind].name : nullptr;
}

const VariationName* StrengthName(int strength) {
  return strength >= 0 && strength < kMutationStrengths ? &kStrengthNameTable[strength] : nullptr;
}

int KindOfName(const char* name) {
  if (name == nullptr) return -1;
  for (int k = 0; k < kSoundKinds; ++k)
    if (std::strcmp(name, kSoundKindTable[k].name.cli) == 0) return k;
  return -1;
}

int StrengthOfName(const char* name) {
  if (name == nullptr) return -1;
  for (int k = 0; k < kMutationStrengths; ++k)
    if (std::strcmp(name, kStrengthNameTable[k].cli) == 0) return k;
  return -1;
}

// --- new sounds -------------------------------------------------------------------

bool GeneratePatch(int kind, uint32_t seed, Patch& out) {
  if (kind < 0 || kind >= kSoundKinds) return false;
  const KindRule& rule = kSoundKindTable[kind];
  VariationRandom r;
  SeedRandom(r, seed, kGenerateStream);

  // Every oscillator idle, as a file without its keys leaves it (Volume 0).
  Patch p;
  for (const PatchParamInfo& info : kPatchParams)
    for (int n = 0; n < kOscillators; ++n) (p.*info.field)[n] = info.defaultOthers;

  bool present[kOscillators] = {};
  for (int v = 0; v < rule.voices; ++v) {
    const VoiceRule& voice = rule.voice[v];
    const int n = voice.osc;
    const bool there = RandomChance(r, static_cast<uint32_t>(voice.presence), 8);
    if (!there || (n % 3 != 0 && !present[n - 1])) continue;
    present[n] = true;
    int waves[4], count = 0;
    for (int w = 0; w <= kWaveFormMax; ++w)
      if (voice.waves & (1u << w)) waves[count++] = w;
    p.WaveForm[n] = waves[RandomBelow(r, static_cast<uint32_t>(count))];
    const int base = voice.tuneOf >= 0 ? p.Tune[voice.tuneOf] : 0;
    p.Tune[n] = Clamp(base + Draw(r, voice.tune), kParamMin, kParamMax);
    p.DeTune[n] = Draw(r, voice.deTune);
    p.Bend[n] = Draw(r, voice.bend);
    p.BendCurve[n] = Draw(r, voice.bendCurve);
    p.Volume[n] = Draw(r, voice.volume);
    p.Attack[n] = Draw(r, voice.attack);
    p.AttackCurve[n] = Draw(r, voice.attackCurve);
    p.Decay[n] = Draw(r, voice.decay);
    p.DecayCurve[n] = Draw(r, voice.decayCurve);
  }
  SetTime(p, Draw(r, rule.time));
  out = p;
  return true;
}

// --- variations -------------------------------------------------------------------

namespace {

// Which oscillators shape the sound: a carrier that is unmuted with Volume
// above 0 sounds; a modulator shapes it when it is unmuted with Volume
// above 0 and the one above it shapes it. placed: would shape it unmuted.
struct Roles {
  bool shapes[kOscillators];
  bool placed[kOscillators];
};

Roles RolesOf(const Patch& p) {
  Roles roles = {};
  for (int n = 0; n < kOscillators; ++n) {
    const bool above = n % 3 == 0 || roles.shapes[n - 1];
    roles.placed[n] = above && p.Volume[n] > 0;
    roles.shapes[n] = roles.placed[n] && p.Mute[n] == 0;
  }
  return roles;
}

bool Locked(const uint16_t* locks, int n, int key) {
  return locks != nullptr && (locks[n] & LockBit(key)) != 0;
}

int SoundingCarriers(const Patch& p) {
  int count = 0;
  for (int n = 0; n < kOscillators; n += 3) count += p.Mute[n] == 0 && p.Volume[n] > 0;
  return count;
}

// The continuous keys a variation moves, and their ranges.
constexpr int kMovingKeys[] = {kTuneKey,  kDeTuneKey, kBendKey,  kBendCurveKey, kVolumeKey,
                               kAttackKey, kAttackCurveKey, kDecayKey, kDecayCurveKey};

// One draw of a variation of origin into p (p starts as origin).
void DrawVariation(VariationRandom& r, const StrengthRule& rule, const Patch& origin,
                   const uint16_t* locks, bool timeLocked, Patch& p) {
  const Roles roles = RolesOf(origin);
  for (int n = 0; n < kOscillators; ++n) {
    if (roles.shapes[n]) {
      for (int key : kMovingKeys) {
        if (Locked(locks, n, key) || !RandomChance(r, rule.chance[key], 64)) continue;
        const PatchParamInfo& info = kPatchParams[key];
        const bool modulatorVolume = key == kVolumeKey && n % 3 != 0;
        const int step = modulatorVolume ? rule.modulatorVolumeStep : rule.step[key];
        const int amount = RandomInRange(r, 1, step);
        const int delta = RandomBelow(r, 2) != 0 ? amount : -amount;
        const int lo = key == kVolumeKey ? 1 : info.min;  // it keeps sounding
        (p.*info.field)[n] = Clamp((origin.*info.field)[n] + delta, lo, info.max);
      }
      if (!Locked(locks, n, kWaveFormKey) && RandomChance(r, rule.chance[kWaveFormKey], 64)) {
        p.WaveForm[n] = (origin.WaveForm[n] + 1 + static_cast<int>(RandomBelow(r, 3))) % 4;
      }
    }
    if (roles.placed[n] && !Locked(locks, n, kMuteKey) &&
        RandomChance(r, rule.chance[kMuteKey], 64)) {
      const bool lastCarrier = n % 3 == 0 && p.Mute[n] == 0 && SoundingCarriers(p) == 1;
      if (!lastCarrier) p.Mute[n] = p.Mute[n] != 0 ? 0 : 1;
    }
  }
  if (!timeLocked && RandomChance(r, rule.timeChance, 64)) {
    const int time = Clamp(origin.Time, kTimeMin, kTimeMax);
    const int step = time * rule.timePercent / 100 > 1 ? time * rule.timePercent / 100 : 1;
    const int amount = RandomInRange(r, 1, step);
    SetTime(p, Clamp(time + (RandomBelow(r, 2) != 0 ? amount : -amount), kTimeMin, kTimeMax));
  }
}

// The last resort when every draw came out equal: the first parameter that
// may move, one step away from its value.
void Nudge(const Patch& origin, const uint16_t* locks, bool timeLocked, Patch& p) {
  const Roles roles = RolesOf(origin);
  for (int n = 0; n < kOscillators; ++n) {
    if (!roles.shapes[n]) continue;
    for (int key : kMovingKeys) {
      if (Locked(locks, n, key)) continue;
      const PatchParamInfo& info = kPatchParams[key];
      const int v = (origin.*info.field)[n];
      const int lo = key == kVolumeKey ? 1 : info.min;
      if (v < info.max || v > lo) {
        (p.*info.field)[n] = v < info.max ? v + 1 : v - 1;
        return;
      }
    }
  }
  if (!timeLocked) SetTime(p, origin.Time < kTimeMax ? origin.Time + 1 : origin.Time - 1);
}

}  // namespace

void MutatePatch(const Patch& origin, int strength, uint32_t seed,
                 const uint16_t locks[kOscillators], bool timeLocked, Patch& out) {
  if (strength < 0 || strength >= kMutationStrengths) strength = kStrengthMedium;
  const StrengthRule& rule = kStrengthRules[strength];
  // Values outside their ranges are first brought into them, as a load
  // does; the sound length as Time gives it.
  Patch start = origin;
  for (const PatchParamInfo& info : kPatchParams)
    for (int n = 0; n < kOscillators; ++n)
      (start.*info.field)[n] = Clamp((start.*info.field)[n], info.min, info.max);
  SetTime(start, Clamp(start.Time, kTimeMin, kTimeMax));
  for (int attempt = 0; attempt < kMutationAttempts; ++attempt) {
    VariationRandom r;
    SeedRandom(r, seed, kMutateStream + static_cast<uint32_t>(attempt));
    Patch p = start;
    DrawVariation(r, rule, start, locks, timeLocked, p);
    if (!SameValues(p, start)) {
      out = p;
      return;
    }
  }
  Patch p = start;
  Nudge(start, locks, timeLocked, p);
  out = p;
}

// --- session operations ---------------------------------------------------------

namespace {

bool OscillatorDiffers(const Patch& a, const Patch& b, int n) {
  for (const PatchParamInfo& info : kPatchParams)
    if ((a.*info.field)[n] != (b.*info.field)[n]) return true;
  return false;
}

// The working patch replaced by p as one undo step: what changed (and what
// lies above it) marked and rebuilt, everything when Time changed, rendered.
unsigned Replace(Session& s, const Patch& p) {
  Engine& e = s.engine;
  BeginEditStep(s.history, e.patch);
  const Patch before = e.patch;
  e.patch = p;
  SetTime(e.patch, e.patch.Time);
  if (before.Time != e.patch.Time) MarkAllPending(e);
  for (int n = kOscillators - 1; n >= 0; --n) {
    if (!OscillatorDiffers(before, e.patch, n)) continue;
    MarkPending(e, n);
    BuildCurveTables(e, n);
  }
  RenderPatch(e);
  const int osc = s.currentOsc >= 0 && s.currentOsc < kOscillators ? s.currentOsc : 0;
  EndEditStep(s.history, e.patch, osc, true);
  return kRefreshOscillator | kRefreshWaveView;
}

}  // namespace

unsigned GenerateSound(Session& s, int kind, uint32_t seed) {
  Patch p;
  if (!GeneratePatch(kind, seed, p)) return 0;
  s.lastSeed = seed;
  const unsigned refresh = Replace(s, p);
  // A new sound starts a run of its own.
  s.mutationOrigin = s.engine.patch;
  s.lastMutation = s.engine.patch;
  s.mutationRun = true;
  return refresh;
}

unsigned MutateSound(Session& s, int strength, uint32_t seed) {
  if (strength < 0 || strength >= kMutationStrengths) return 0;
  const Patch now = s.engine.patch;
  if (!s.mutationRun || !SameValues(now, s.lastMutation)) {
    s.mutationOrigin = now;  // an edit since (or no run yet): a new run
    s.mutationRun = false;
  }
  // Locked parameters stay as they are now, whatever the origin holds.
  Patch origin = s.mutationOrigin;
  for (int n = 0; n < kOscillators; ++n)
    for (int key = 0; key < kPatchKeysPerOscillator; ++key)
      if (Locked(s.locks, n, key)) (origin.*kPatchParams[key].field)[n] = (now.*kPatchParams[key].field)[n];
  if (s.timeLocked) SetTime(origin, now.Time);
  Patch p;
  MutatePatch(origin, strength, seed, s.locks, s.timeLocked, p);
  // Not the working patch again (it may be an earlier variation of the run).
  for (uint32_t k = 1; SameValues(p, now) && k < static_cast<uint32_t>(kMutationAttempts); ++k)
    MutatePatch(origin, strength, seed ^ (k << 24), s.locks, s.timeLocked, p);
  s.lastSeed = seed;
  if (SameValues(p, now)) return 0;  // nothing may move
  const unsigned refresh = Replace(s, p);
  s.lastMutation = s.engine.patch;
  s.mutationRun = true;
  return refresh;
}

}  // namespace plimbar
