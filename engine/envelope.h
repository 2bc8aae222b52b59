// Envelope generator: attack, decay, sustain (with a fade for the free
// envelopes) and release.
//
// Units and calibration:
//   - The envelope is stepped every 16 samples; between steps the render loop
//     adds `ramp` (output change per sample) to the interpolated value, which
//     lives in `prevOutput` (for the amplitude envelope it is the voice's
//     amplitude level).
//   - Stage times are normalised values t in 0..1. Unsynced, the full 0..1
//     level range takes about 2^(14 t) ms (1 ms at 0, 16.4 s at 1) at speed 1,
//     whatever the sample rate. Synced, a stage takes a note length from
//     D_ENV_TEMPO_SYNC (in whole notes).
//   - `speed` multiplies every rate (1 when unmodulated).
//   - Curved decay and release use the exponents kD and kR (2^0.8 by default).
#pragma once

#include <array>

// Note lengths in whole notes for synced stages, index 0..30 (the last is 0).
inline constexpr std::array<double, 31> D_ENV_TEMPO_SYNC = {
    1.0 / 48, 1.0 / 32, 3.0 / 64, 1.0 / 24, 1.0 / 16, 3.0 / 32, 1.0 / 12, 1.0 / 8,
    3.0 / 16, 1.0 / 6,  1.0 / 4,  3.0 / 8,  1.0 / 3,  1.0 / 2,  3.0 / 4,  2.0 / 3,
    1.0,      3.0 / 2,  4.0 / 3,  2.0,      3.0,      8.0 / 3,  4.0,      6.0,
    16.0 / 3, 8.0,      12.0,     32.0 / 3, 16.0,     18.0,     0.0};

// Fade lengths, index 0..60: falling (negative) lengths 0..29, 30 holds
// (length 0), rising lengths 31..60 from the longest to the shortest.
inline constexpr std::array<double, 61> D_ENV_FADE_TEMPO_SYNC = [] {
    std::array<double, 61> t{};
    for (int i = 0; i < 30; ++i) {
        t[i] = -D_ENV_TEMPO_SYNC[i];
        t[60 - i] = D_ENV_TEMPO_SYNC[i];
    }
    t[30] = 0.0;
    return t;
}();

enum EnvelopeStage : int { kEnvAttack = 0, kEnvDecay = 1, kEnvSustain = 2, kEnvRelease = 3 };

struct EnvelopeState {
    int stage = kEnvAttack;
    double level = 0.0;        // linear level the rates move
    double output = 0.0;       // shaped output of the last step
    double prevOutput = 0.0;   // interpolated output, advanced by ramp every sample
    double releaseLevel = 0.0; // level and output of the last step before release
    double releaseOutput = 0.0;
    double ramp = 0.0; // per-sample increment towards output

    void reset() { *this = EnvelopeState{}; }
    // Starts in the decay stage at full level (attack skipped).
    void startAtDecay() {
        reset();
        stage = kEnvDecay;
        level = 1.0;
    }
};

// Everything one step needs besides the state.
struct EnvelopeInputs {
    double attack = 0.0; // stage values, parameter + modulation, clamped to 0..1
    double decay = 0.0;
    double sustain = 1.0;
    double fade = 0.5; // free envelopes only
    double release = 0.0;
    double speed = 1.0;        // rate multiplier
    double decayShape = 1.0;   // kD
    double releaseShape = 1.0; // kR
    bool curved = false;       // curved decay and release
    bool synced = false;       // stage times are note lengths
    bool freeEnvelope = false; // has a fade stage, may hold on a long release
    bool amplitude = false;    // the amplitude envelope: silence ends the voice
    bool releasing = false;    // gate off and sustain pedal up
    bool gateOn = false;
    double sampleRate = 44100.0;
    double samplesPerWholeNote = 88200.0;
};

class Envelope {
public:
    // Level change per step for a stage value t.
    static double unsyncedRate(double t, double speed, double sampleRate);
    static double syncedRate(double t, double speed, double samplesPerWholeNote);
    static double rate(double t, const EnvelopeInputs& in);

    // Decay/release exponent from a shape modulation sum: 2^(4 - 8 clamp(d + 0.4, -1, 1)).
    static double shapeExponent(double shapeModulation);

    // Rate multipliers come from products of modulation; keep them finite.
    static double clampSpeed(double speed);

    // One 16-sample step.
    static void step(EnvelopeState& s, const EnvelopeInputs& in);

    // The amplitude and filter envelopes hold their sustain level whatever
    // their inputs while not releasing: step() then reads none of them.
    static bool holds(const EnvelopeState& s, bool freeEnvelope, bool releasing) {
        return s.stage == kEnvSustain && !freeEnvelope && !releasing;
    }
    // That step, for an envelope that holds.
    static void stepHeld(EnvelopeState& s);

    // A release that has ended: at level 0 with nothing left to ramp, a step
    // while releasing leaves every field as it is, whatever its inputs.
    static bool releaseEnded(const EnvelopeState& s, bool releasing);

    // A stolen voice's amplitude envelope: falls by 0.01 per step. Returns
    // true once it has reached 0 (the voice is then no longer stolen).
    static bool stepStolen(EnvelopeState& s);
};
