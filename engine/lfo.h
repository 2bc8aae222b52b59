// Free LFOs, the SMod LFO and the rates of the effect LFOs.
//
// Units and calibration:
//   - A free LFO takes one step every 4 frames; between steps its output
//     moves by `rampStep` every frame, so each new level is reached linearly
//     over 4 frames. `increment` is the phase advance per step in cycles.
//   - Free rate r (0..1, tags 63 / 65): base increment 2^(15 r) x lfoRateBase / 2
//     per step, lfoRateBase = 1.71875 / (16 x sample rate): about 0.0134 Hz at
//     r = 0 up to 440 Hz at r = 1; below 0.00001 the LFO stands still.
//   - Synced (switches 64 / 66): one cycle lasts D_LFO_TEMPO_SYNCED_PERIOD[step]
//     whole notes, an increment of 4 / (length x samples per whole note) per
//     step; step 0 ("Off") stands still.
//   - Speed destinations (113 / 121 and 6, global and per voice) and the
//     humanisation factor multiply the increment; they are 1 unmodulated.
//   - Values are -1..1 (bipolar source); the unipolar source is x / 2 + 1/2.
//   - Shaping, from the destination sums of the row that drives the LFO:
//     shape point s = clamp(shape / 2 + 1/2, 0, 1) x 0.998 + 0.001 bends the
//     phase (s = 0.5 leaves it unchanged); smoothing 1 - 2^(-13 d) blends
//     each new level with the last; bias d > 0 squeezes the negative half by
//     1 - d, d < 0 the positive half by 1 - |d|; bits give 2^(17 - 16 d)
//     levels per unit; sample and hold refreshes the shaped value every
//     2^(16 d) / 4 steps (every step at d <= 0, 2^14 steps at d = 1).
//   - The SMod LFO is a sine stepped every frame through the 65536-entry
//     sine table: 2^(10 c) x 0.0268555 Hz, 0.0269 Hz at c = 0, 27.5 Hz at c = 1.
//   - Effect-LFO rates are cycles per effect-LFO step (every 4 frames): the
//     chorus 2^(10 c) x lfoRateBase / 4; flanger and phaser one cycle per
//     FX_PERIOD[step] whole notes (x 2^(2 d - 2) with the speed destination d,
//     1 unmodulated), 0 at step 0.
#pragma once

#include "core/mod_slots.h"
#include "engine/random15.h"
#include "engine/tables.h"

#include <array>
#include <cstdint>

constexpr int kFreeLfos = 2;

// The LFO rate bases times the sample rate (RateState::lfoRateBase and
// smodRateBase are these over the rate).
inline constexpr double kLfoRateBaseHz = 1.71875 / 16.0;
inline constexpr float kSModRateBaseHz = 0.107421875f;
constexpr int kLfoWaves = 19;
constexpr int kEffectLfos = 3; // chorus, flanger, phaser

// Table kind of each of the 19 waves (LfoShapeKind).
inline constexpr std::array<int, kLfoWaves> LFO_WAVE_TYPE = {0, 0, 0, 0, 1, 1, 1, 1, 2, 2,
                                                             3, 3, 4, 4, 4, 4, 5, 6, 7};
// Start phase of each wave in cycles (the +90 / +180 / +270 degree variants).
inline constexpr std::array<double, kLfoWaves> LFO_PHASE = {0.0,  0.25, 0.5, 0.75, 0.0, 0.25, 0.5,
                                                            0.75, 0.0,  0.5, 0.0,  0.5, 0.0,  0.25,
                                                            0.5,  0.75, 0.0, 0.0,  0.0};

// One cycle of a synced free LFO in whole notes, by speed step 0..33 (the
// order of the speed menu: "Off", then 32/1* down to 1/32T).
inline constexpr std::array<double, 34> D_LFO_TEMPO_SYNCED_PERIOD = {
    0.0,      36.0,    32.0,   64.0 / 3, 18.0,     16.0,    32.0 / 3, 12.0,   8.0,
    16.0 / 3, 6.0,     4.0,    8.0 / 3,  3.0,      2.0,     4.0 / 3,  1.5,    1.0,
    2.0 / 3,  0.75,    0.5,    1.0 / 3,  0.375,    0.25,    1.0 / 6,  0.1875, 0.125,
    1.0 / 12, 0.09375, 0.0625, 1.0 / 24, 0.046875, 0.03125, 1.0 / 48};

// One cycle of the flanger or phaser LFO in whole notes, by speed step 0..30
// ("Off", then 32/1* down to 1/16T).
inline constexpr std::array<double, 31> FX_PERIOD = {
    0.0,     36.0,   32.0,  64.0 / 3, 18.0,    16.0,   32.0 / 3, 12.0, 8.0, 16.0 / 3, 6.0,   4.0,
    8.0 / 3, 3.0,    2.0,   4.0 / 3,  1.5,     1.0,    2.0 / 3,  0.75, 0.5, 1.0 / 3,  0.375, 0.25,
    1.0 / 6, 0.1875, 0.125, 1.0 / 12, 0.09375, 0.0625, 1.0 / 24};

// Destinations of free LFO n: kLfoDestFirst + 8n + field.
constexpr int kLfoDestFirst = dst::FreeLfo1Speed;
enum LfoDestField : int {
    kLfoDestSpeed = 0,
    kLfoDestPhase = 1,
    kLfoDestShape = 2,
    kLfoDestSmooth = 3,
    kLfoDestBias = 4,
    kLfoDestBits = 5,
    kLfoDestHold = 6,
    kLfoDestHuman = 7,
};
constexpr int lfoDest(int lfo, int field) {
    return kLfoDestFirst + 8 * lfo + field;
}
static_assert(lfoDest(0, kLfoDestHuman) == dst::FreeLfo1Human &&
              lfoDest(1, kLfoDestSpeed) == dst::FreeLfo2Speed &&
              lfoDest(1, kLfoDestHold) == dst::FreeLfo2SampleHold);

// The shaping stage shared by the free LFOs and the effect LFOs.
struct LfoShaping {
    double shInc = 4.0; // sample-and-hold counter advance per step
    double shapePoint = 0.5, shapeLo = 1.0, shapeHi = 1.0; // s, 0.5 / s, 0.5 / (1 - s)
    std::array<float, 3> biasFactor{1.0f, 1.0f, 1.0f};     // negative, zero, positive values
    float bitsQ = 131072.0f, bitsInvQ = 1.0f / 131072.0f;  // quantiser and its inverse

    // From the shape point value x (clamped to 0..1 here).
    void setShapePoint(double x);
    // From the destination sums; each is clamped where the formulas need it.
    void setHold(float hold);
    void setBias(float bias);
    void setBits(float bits);
};

// One free LFO (the global copy, or one voice's copy).
struct FreeLfoState {
    double accPhase = 0.0;   // running phase 0..1
    float output = 0.0f;     // published value, ramped every frame
    float target = 0.0f;     // value reached at the next step
    float rampStep = 0.0f;   // (target - output) / 4
    float heldRandom = 0.0f; // sample-and-hold wave value, -1..1
    float shapedHold = 0.0f; // last value through the bias / bits / hold stage
    double shAcc = 0.0;      // sample-and-hold counter
    double human = 1.0;      // humanisation factor of the current cycle
    double increment = 0.0;  // phase advance per step
    float smooth = 0.0f;     // 0..1
    LfoShaping shaping;

    // Inputs of the last coefficient update that needed an exponential.
    float lastSmoothIn = 0.0f, lastHoldIn = 0.0f, lastBitsIn = 0.0f;

    float bipolar() const { return output; }
    float unipolar() const { return output * 0.5f + 0.5f; }
};

// Destination sums that drive one LFO's coefficients.
struct FreeLfoControls {
    double speed = 1.0; // product of the LFO's speed destination and the LFO speed destinations
    float shape = 0.0f, smooth = 0.0f, bias = 0.0f, bits = 0.0f, hold = 0.0f;
    bool shaping = false; // bias, bits and hold are in use (otherwise left as they are)
};

// What one step reads besides the state.
struct FreeLfoStepInputs {
    const float* table = nullptr; // phase table of the wave (65536 entries); null: sample and hold
    double startPhase = 0.0;      // of the wave, in cycles
    double phaseOffset = 0.0;     // phase destination sum, in cycles
    bool shaping = false;         // bias, bits and hold apply
    float humanDepth = 0.0f;      // humanisation destination sum
};

class FreeLfo {
public:
    // Back to phase 0 with output, hold and ramp at their start values;
    // coefficients stay.
    static void reset(FreeLfoState& s);

    // The coefficients of the 16-frame control block.
    static void setCoefficients(FreeLfoState& s, double baseIncrement, const FreeLfoControls& c);

    // One step (every 4 frames). `heldSource` draws the sample-and-hold wave,
    // `humanSource` the humanisation factor of each new cycle.
    static void step(FreeLfoState& s, const FreeLfoStepInputs& in, Random15& heldSource,
                     RandSeed& humanSource);

    // The frames between steps.
    static void ramp(FreeLfoState& s) { s.output += s.rampStep; }

    // Base increment per step for a speed value, either free or synced.
    static double baseIncrement(float speed, bool synced, double lfoRateBase, double sampleRate,
                                double tempo);
    // Cycles per second of an unsynced LFO at that speed, unmodulated.
    static double hertz(float speed) {
        return baseIncrement(speed, false, kLfoRateBaseHz, 1.0, 0.0) / 4.0;
    }
};

// The SMod LFO: phase in table entries, 0 <= phase < kSModWrap.
struct SModLfoState {
    double phase = 0.0;
    double inc = 0.0; // table entries per frame
    float value = 0.0f;
};

class SModLfo {
public:
    static constexpr double kWrap = 65535.99;

    // Increment per frame for c = clamp(speed tag + destination 55, 0, 1).
    static double increment(float c, float smodRateBase);
    // Cycles per second at c.
    static double hertz(float c) { return increment(c, kSModRateBaseHz) / kWrap; }
    // Reads the value at the current phase.
    static float read(SModLfoState& s, const float* sineTable);
    // One frame on; the phase wraps back into the table whatever the increment.
    static void advance(SModLfoState& s);
};

// Coefficients of one effect LFO, for the effect chain.
struct EffectLfoRate {
    bool on = false;   // its effect is enabled (rates are only refreshed then)
    double rate = 0.0; // cycles per effect-LFO step
    LfoShaping shaping;
};

// The engine's global LFO state.
struct LfoGlobal {
    std::array<FreeLfoState, kFreeLfos> lfo{}; // the global free LFOs (sources 49..52)
    SModLfoState smod;                         // sources 47, 48

    // Cached by setGlobalRare.
    std::array<int, kFreeLfos> wave{};             // 0..18
    std::array<int, kFreeLfos> kind{};             // LFO_WAVE_TYPE of the wave
    std::array<double, kFreeLfos> startPhase{};    // LFO_PHASE of the wave
    std::array<int, kFreeLfos> mode{};             // 0 Poly, 1 Free, 2 Mono, 3 Legato
    std::array<double, kFreeLfos> baseIncrement{}; // per step
    std::array<bool, kFreeLfos> used{};            // a slot reads the LFO
    std::array<bool, kFreeLfos> perVoice{};        // used, in mode Poly
    std::array<bool, kFreeLfos> shapingUsed{};     // a slot targets its bias, bits or hold
    bool whiteNoiseUsed = false;                   // sources 71, 72
    bool pinkNoiseUsed = false;                    // sources 73, 74

    std::array<EffectLfoRate, kEffectLfos> effects{}; // chorus, flanger, phaser

    RandSeed humanSeed{1}; // humanisation draws of every free LFO copy
};

// One voice's own copies of the free LFOs (mode Poly).
struct LfoVoice {
    std::array<FreeLfoState, kFreeLfos> lfo{};
};
