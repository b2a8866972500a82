// The synthesis engine: patch model, curve tables, oscillators and mixdown.
//
// Nine oscillators in three chains of three. The top of each chain is a
// carrier that reaches the mix; each oscillator below modulates the
// frequency of the one above it:
//
//     OSC1   OSC4   OSC7      carriers      --> summed, clipped, PCM
//      ^      ^      ^
//     OSC2   OSC5   OSC8      modulators of the carriers
//      ^      ^      ^
//     OSC3   OSC6   OSC9      bottom modulators (never modulated)
//
// Oscillator n (0..8) is a carrier when n % 3 == 0 and a bottom oscillator
// when n % 3 == 2.
//
// All state lives in one plain struct, `Engine`, with the operations as free
// functions over it. The program owns exactly one instance for its whole run;
// a test or a command-line render makes a fresh one. The struct is about
// 8 MB: make it static or allocate it once (NewEngine), never on the stack.
//
// The numbers are exact: IEEE doubles, every conversion to an integer
// truncates toward zero, every integer division truncates and sums are
// formed in the order the comments give. Nothing here allocates, and
// nothing throws.
#ifndef PLIMBAR_ENGINE_ENGINE_H
#define PLIMBAR_ENGINE_ENGINE_H

#include <cstdint>
#include <memory>

namespace plimbar {

constexpr int kOscillators = 9;
constexpr int kMaxSamples = 88200;   // 2 s at 44100 Hz: Time 100
constexpr int kCurvePoints = 256;    // entries per oscillator and table
constexpr int kRenderRate = 44100;   // rate of the oscillator buffers, Hz
constexpr int kSamplesPerTimeStep = 882;  // 20 ms at 44100 Hz

constexpr double kBaseFrequency = 27.5;               // Hz of pitch 0
constexpr double kSemitoneRatio = 1.0594630943592953;  // 2^(1/12)
// The waveforms and the phase use these shortened constants, not the
// full-precision pi: the sound depends on them.
constexpr double kPi = 3.1415926535;
constexpr double kTwoPi = 6.283185307;
constexpr double kFmDepth = 10.0;        // modulator sample -> frequency factor
constexpr double kNoiseDivisor = 16384.0;  // scale of one noise draw
constexpr uint32_t kNoiseSeed = 1;       // generator state at program start
// Room for the noise render's window-sum kernels, in doubles.
constexpr int kNoiseWorkspaceDoubles = 2 * 2048 * 8 + 3 * 128 + 8;

// Valid values of the parameters, as the panel produces them.
constexpr int kParamMin = 0;
constexpr int kParamMax = 100;
constexpr int kTimeMin = 1;
constexpr int kTimeMax = 100;
constexpr int kWaveFormMax = 3;

enum WaveFormKind { kSine = 0, kSawtooth = 1, kSquare = 2, kNoise = 3 };

// The whole patch: one array of nine values per parameter, indexed by
// oscillator 0..8, plus the patch-wide sound length.
struct Patch {
  int Tune[kOscillators];         // start pitch, semitones above 27.5 Hz
  int DeTune[kOscillators];       // (DeTune - 50) / 100 semitone offset
  int Bend[kOscillators];         // end pitch = start pitch * Bend / 50
  int BendCurve[kOscillators];    // shape of the glide
  int Volume[kOscillators];       // peak level %, or modulation depth
  int Attack[kOscillators];       // end of the attack, % of the sound
  int AttackCurve[kOscillators];  // shape of the attack
  int Decay[kOscillators];        // end of the decay, % of the sound
  int DecayCurve[kOscillators];   // shape of the decay
  int Distortion[kOscillators];   // stored in files only; no effect
  int Mute[kOscillators];         // nonzero: renders as silence
  int WaveForm[kOscillators];     // WaveFormKind
  int Time;         // sound length in 20 ms steps, 1..100 (0 before loading)
  int soundLength;  // Time * 882 samples at 44100 Hz, kept beside Time
};

// The twelve values of one oscillator, in the order of the table of
// parameters (also the order of the keys in a patch file).
struct OscillatorParams {
  int Tune, DeTune, Bend, BendCurve, Volume, Attack, AttackCurve, Decay,
      DecayCurve, Distortion, Mute, WaveForm;
};

struct OutputFormat {
  int rate;  // 44100, 22050 or 11025 Hz
  int bits;  // 16 or 8
};

struct Engine {
  Patch patch;
  OutputFormat format;
  int pending[kOscillators];  // nonzero: render again before use

  // Curve tables, row n at n * kCurvePoints. Pitch entries are semitones
  // above 27.5 Hz divided by 100; volume entries are amplitude factors.
  double pitchTable[kOscillators * kCurvePoints];
  double volumeTable[kOscillators * kCurvePoints];
  double initialFrequency[kOscillators];  // Hz at the start pitch
  double bendFrequency[kOscillators];     // Hz at the end pitch

  double oscBuffers[kOscillators][kMaxSamples];  // 44100 Hz signals
  double noiseScratch[kMaxSamples];              // unsmoothed noise
  uint32_t noiseState;

  int16_t pcm16[kMaxSamples];  // signed, silence 0
  uint8_t pcm8[kMaxSamples];   // unsigned, biased by 128, silence 128

  // Working space of the noise render: the window start k of every sample
  // of the oscillator being rendered, and room for the window-sum kernels
  // (engine/noise_windows.h).
  int noiseWindowStart[kMaxSamples];
  double noiseWorkspace[kNoiseWorkspaceDoubles];
};

// --- patch model ---------------------------------------------------------

// Puts an engine into its start-up state: the patch at its initial values
// (Time and sound length 0), every oscillator pending, 44100 Hz / 16 bits,
// noise generator at its seed, all tables and buffers zero.
void ResetEngine(Engine& e);

// A fresh engine in its start-up state, allocated once on the heap.
std::unique_ptr<Engine> NewEngine();

// The initial patch values (Volume 80 for OSC1, Decay 50 for the carriers...),
// with Time and the sound length 0.
void SetInitialPatch(Patch& p);

// Time * 88200 / 100 samples at 44100 Hz.
inline int SoundLengthForTime(int time) { return time * 88200 / 100; }

// Sets Time and the sound length beside it.
void SetTime(Patch& p, int time);

// Marks oscillator n and every oscillator above it in its chain pending.
void MarkPending(Engine& e, int n);
void MarkAllPending(Engine& e);
bool AnyPending(const Engine& e);

OscillatorParams GetOscillator(const Patch& p, int n);
void SetOscillator(Patch& p, int n, const OscillatorParams& v);

// --- curve tables ---------------------------------------------------------

// Rebuilds oscillator osc's pitch row, volume row and its two frequencies
// from its parameters. Every write stays inside the oscillator's rows,
// whatever the parameters hold.
void BuildCurveTables(Engine& e, int osc);

// The table entries for sample i (0..sound length - 1) of the current
// sound: entry (i * 256) / sound length of oscillator osc's row.
double PitchAt(const Engine& e, int osc, int i);
double VolumeAt(const Engine& e, int osc, int i);

// --- oscillators ----------------------------------------------------------

// Next draw of the program-wide noise generator, 0..32767.
int NextNoise(Engine& e);

// Oscillator n's waveform at phase p (radians); draws one noise number when
// the waveform is noise.
double WaveformSample(Engine& e, int n, double phase);

// Renders every pending oscillator, OSC9 first, and clears its flag.
// Requires the sound length in 0..kMaxSamples, current tables of every
// pending oscillator and WaveForm in 0..3 for every pending, unmuted one.
void RenderOscillators(Engine& e);

// --- mixdown --------------------------------------------------------------

// Sums the three carriers into the current PCM buffer, clipped, in the
// current output format.
void MixDown(Engine& e);

// Renders whatever is pending, then mixes. (The program repaints the
// waveform view after it; the engine knows nothing of windows.)
void RenderPatch(Engine& e);

// Number of bytes of the current PCM buffer that make up the sound;
// 0 for a format outside the three rates and two depths.
int PcmByteCount(const Engine& e);
int PcmByteCount(int soundLength, const OutputFormat& f);

// Whether a format is one of the six the program offers.
bool IsValidFormat(const OutputFormat& f);

// The start of the current PCM buffer: pcm16 at 16 bits, pcm8 otherwise.
const uint8_t* CurrentPcm(const Engine& e);

// The largest magnitude among the samples of the sound in the current PCM
// buffer (its PCM byte count; half a sample at the end of an odd count is
// no sample), on the 16-bit scale: 8-bit samples count as (byte - 128) *
// 256. 0 for silence.
int PeakMagnitude(const Engine& e);

// Mixed samples of the sound beyond full scale: the carrier sum, formed in
// the mixdown's order, times 32767 above 32767 or below -32768.
int ClippedSamples(const Engine& e);

}  // namespace plimbar

#endif  // PLIMBAR_ENGINE_ENGINE_H
