// The patch model: initial values, sound length and render-pending marks.
#include <cstring>
#include <new>

#include "engine/engine.h"

namespace plimbar {

void SetInitialPatch(Patch& p) {
  for (int n = 0; n < kOscillators; ++n) {
    const bool carrier = n % 3 == 0;
    p.Tune[n] = 60;
    p.DeTune[n] = 50;
    p.Bend[n] = 50;
    p.BendCurve[n] = 50;
    p.Volume[n] = n == 0 ? 80 : 0;
    p.Attack[n] = 0;
    p.AttackCurve[n] = 0;
    p.Decay[n] = carrier ? 50 : 100;
    p.DecayCurve[n] = 50;
    p.Distortion[n] = 50;
    p.Mute[n] = 0;
    p.WaveForm[n] = kSine;
  }
  // The start-up load sets the length; until then there is no sound.
  p.Time = 0;
  p.soundLength = 0;
}

void ResetEngine(Engine& e) {
  std::memset(&e, 0, sizeof e);  // tables, buffers, scratch: all zero
  SetInitialPatch(e.patch);
  e.format.rate = 44100;
  e.format.bits = 16;
  for (int n = 0; n < kOscillators; ++n) e.pending[n] = 1;
  e.noiseState = kNoiseSeed;
}

std::unique_ptr<Engine> NewEngine() {
  std::unique_ptr<Engine> e(new (std::nothrow) Engine);
  if (e) ResetEngine(*e);
  return e;
}

void SetTime(Patch& p, int time) {
  p.Time = time;
  p.soundLength = SoundLengthForTime(time);
}

void MarkPending(Engine& e, int n) {
  if (n < 0 || n >= kOscillators) return;
  // A modulator shapes the frequency of everything above it in its chain.
  e.pending[n] = 1;
  if (n % 3 >= 1) e.pending[n - 1] = 1;
  if (n % 3 == 2) e.pending[n - 2] = 1;
}

void MarkAllPending(Engine& e) {
  for (int n = 0; n < kOscillators; ++n) e.pending[n] = 1;
}

bool AnyPending(const Engine& e) {
  for (int n = 0; n < kOscillators; ++n)
    if (e.pending[n]) return true;
  return false;
}

OscillatorParams GetOscillator(const Patch& p, int n) {
  OscillatorParams v;
  v.Tune = p.Tune[n];
  v.DeTune = p.DeTune[n];
  v.Bend = p.Bend[n];
  v.BendCurve = p.BendCurve[n];
  v.Volume = p.Volume[n];
  v.Attack = p.Attack[n];
  v.AttackCurve = p.AttackCurve[n];
  v.Decay = p.Decay[n];
  v.DecayCurve = p.DecayCurve[n];
  v.Distortion = p.Distortion[n];
  v.Mute = p.Mute[n];
  v.WaveForm = p.WaveForm[n];
  return v;
}

void SetOscillator(Patch& p, int n, const OscillatorParams& v) {
  p.Tune[n] = v.Tune;
  p.DeTune[n] = v.DeTune;
  p.Bend[n] = v.Bend;
  p.BendCurve[n] = v.BendCurve;
  p.Volume[n] = v.Volume;
  p.Attack[n] = v.Attack;
  p.AttackCurve[n] = v.AttackCurve;
  p.Decay[n] = v.Decay;
  p.DecayCurve[n] = v.DecayCurve;
  p.Distortion[n] = v.Distortion;
  p.Mute[n] = v.Mute;
  p.WaveForm[n] = v.WaveForm;
}

}  // namespace plimbar
