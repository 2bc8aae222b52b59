// Arpeggiator and step sequencer: tables, run-time state and the step clock.
//
// Units and calibration:
//   - The clock is stepped on the render loop's 16-frame tick. `stepInc` is
//     the fraction of one step per tick: at speed "1x" a step lasts one
//     sixteenth note of the host's tempo (speed factor x 16 x tempo / 15 /
//     sample rate).
//   - Swing s (0..1) multiplies the increment by swing[0] = 1 + s/2 and
//     swing[1] = (1 + s/2) / (1 + s) on alternate steps, so a pair of steps
//     always lasts two steps; the first step of a phrase is the long one.
//   - Step positions are grid columns 0..15; a position outside 0..15 never
//     sounds.
//   - Step tune is in semitones (-36..36), step velocity in MIDI units (0..127).
//
// ArpStepClock walks the grid under the three loop modes and is the one
// place that decides the next step; the note arpeggio, the global modulation
// phrase and each voice's modulation phrase each own one. arpPatternIndex
// chooses the held note of a pattern step. Both are plain functions of their
// inputs and are tested on their own; APlugin's arpeggiator methods
// (engine/arp.cpp) drive them from the parameters.
#pragma once

#include "core/modes.h"
#include "core/numeric.h"
#include "core/tags.h"

#include <array>

constexpr int kArpMaxNotes = 32;         // held notes in the note list
constexpr int kArpVoices = 16;           // one entry per voice
constexpr double kArpNoRatchet = 9999.0; // ratchet length meaning "no further hit"
constexpr double kArpNoGate = 99999.0;   // gate length meaning "never released by the gate"

// Groups of "Arp Mode" steps (core/modes.h).
constexpr bool arpIsPattern(int mode) {
    return mode >= arpmode::Up && mode <= arpmode::OrderedDownUp;
}
constexpr bool arpIsSequencer(int mode) {
    return mode >= arpmode::Sequencer && mode <= arpmode::SequencerMono;
}
constexpr bool arpIsModulation(int mode) {
    return mode >= arpmode::ModFree && mode <= arpmode::ModPoly;
}
// Modes 5..8 walk the held notes by pitch, the others by the order of presses.
constexpr bool arpWalksSorted(int mode) {
    return mode >= arpmode::Ordered && mode <= arpmode::OrderedDownUp;
}

// Step-rate factor of each "Arp Speed" step ("1/16x" .. "16x"), then a 0.
inline constexpr std::array<double, 18> ARP_TEMPO_ARRAY = {
    0.0625, 1.0 / 12, 0.125, 1.0 / 6, 0.25, 1.0 / 3, 0.5,  2.0 / 3, 1.0,
    1.5,    2.0,      3.0,   4.0,     6.0,  8.0,     12.0, 16.0,    0.0};

// Unison mode that plays each chord of the grid's chord row; -1 ("Set")
// keeps the global unison mode.
inline constexpr std::array<int, 21> UNI_FOR_ARP_CHORD = {
    -1, 0, 4, 5, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23};

// Magic steps: steps varied by each selection of "Arp Magic Steps"; odd
// selections keep their variation in the preset ("Set Random").
inline constexpr std::array<int, 9> ARP_MAGIC_COUNT = {0, 1, 1, 2, 2, 3, 3, 4, 4};
// The two intervals (semitones) a transposed magic step draws from, per magic mode.
inline constexpr std::array<std::array<int, 13>, 2> ARP_MAGIC_SEMI = {{
    {0, 7, -5, -5, 12, -12, -12, 7, -5, -5, 12, -12, -12},
    {0, 7, -5, 7, 12, -12, 12, 7, -5, 7, 12, -12, 12},
}};
// Magic modes 0 and 7..12 mute steps; 1..6 only transpose.
constexpr bool arpMagicMutes(int mode) {
    return mode == 0 || mode >= 7;
}

// Semitones of a step's tune value: int(v x 72) - 36, a value outside 0..1
// (or NaN) read as its nearest end.
inline int arpTuneSemitones(float v) {
    return static_cast<int>(clamp01(v) * 72.0f) - 36;
}

constexpr bool arpValidStep(int step) {
    return step >= 0 && step < tag::ArpStepCount;
}

// One pattern step: the index into the note list and whether the pattern
// wrapped (the octave moves on).
struct ArpPatternStep {
    int index = 0;
    bool wrap = false;
};
// The held note that pattern mode `mode` plays at count `counter` of `held`
// notes; `random01` (0..1) drives mode "Random". The index is always within
// 0..held - 1 (0 when nothing is held); the first step of a phrase never wraps.
ArpPatternStep arpPatternIndex(int mode, int held, int counter, bool first, float random01);

// The loop a clock walks: the number of steps in use and the first step.
struct ArpLoopBounds {
    int numSteps = tag::ArpStepCount; // 1..16
    int loopStart = 0;                // 0..numSteps - 1
};

// A position in the grid and the rules that move it one step.
class ArpStepClock {
public:
    enum class Advance {
        Step,    // the next step sounds
        PassEnd, // ... and a pass through the loop ended
        Stopped, // loop mode Off ran past the last step: the phrase is over
    };

    int step = -1; // -1 before the first step
    int dir = 1;   // +1 up, -1 down (PingPong)

    void restart() {
        step = -1;
        dir = 1;
    }

    // One step on under `loopMode`. `loop` is the loop in use; at a loop
    // point it takes `fresh` (the loop the parameters give now) when
    // `takeFresh` is set. Loop On wraps to the loop start; Off stops after
    // the last step; PingPong plays the last step twice and the loop start
    // once. The step always stays within 0..15 and within the loop in use.
    Advance advance(int loopMode, ArpLoopBounds& loop, const ArpLoopBounds& fresh, bool takeFresh);
};

// One voice's "Mod Poly" phrase.
struct ArpVoiceMod {
    bool running = false;
    double pos = 0.0;
    int swingIndex = 0;
    int parity = 0;
    ArpStepClock clock;
};

// Magic steps: the variation applied to the pass now playing and the one
// stored for "Set Random".
struct ArpMagicState {
    std::array<bool, tag::ArpStepCount> on{};  // the step may sound
    std::array<int, tag::ArpStepCount> tune{}; // semitones added to the step
    std::array<bool, tag::ArpStepCount> storedOn{};
    std::array<int, tag::ArpStepCount> storedTune{};
    int sel = -1;  // selection last seen, -1 none yet (adopted without a new draw)
    int count = 0; // steps to vary, 0..4
    int mode = -1; // magic mode last seen, -1 none yet
    bool setRandom = false;
    int pass = 0; // passes since the last full reset
    std::array<int, tag::ArpStepCount> candidates{};
    int candidateCount = 0;

    void clearApplied() {
        on.fill(true);
        tune.fill(0);
    }
};

struct ArpNote {
    int note = 0;
    int velocity = 0;
};

// The arpeggiator's run-time state (audio thread only).
struct ArpState {
    bool running = false;       // the step clock runs
    bool firstStep = true;      // the next step is the first of a phrase
    bool restartSeq = false;    // sequencer modes: the next step starts again at step 0
    bool chordJoin = true;      // chord mode: keys added during the first step sound at once
    bool hostSync = true;       // cached "Arp Host Sync On / Off"
    bool latch = false;         // cached "Arp Latch On / Off"
    bool voiceSounding = false; // a step's voice sounds (cleared when the voice list empties)
    bool cached = false;        // the modes below hold what the parameters gave
    int mode = 0;               // cached getArpMode
    int loopMode = 0;
    int octave = 0; // current octave offset 0..numOct - 1
    int numOct = 0;
    int passParity = 0;
    int passCount = 0; // modulo 720
    int speedIndex = 0;
    ArpStepClock clock;
    ArpLoopBounds loop;
    int noteCounter = 0; // pattern position, counts untied steps
    int swingIndex = 0;
    int heldCount = 0;
    int ratchetCount = 0;
    int playNote = 0;
    int noteIndex = 0;
    float lastKeyVel = 0.0f;
    float playPitch = 0.0f;
    float playVel = 1.0f;
    float stepTuneSrc = 0.0f; // sources 54 and 55 of the step now sounding
    float stepVelSrc = 0.0f;
    std::array<ArpNote, kArpMaxNotes> pressed{}; // press order
    std::array<ArpNote, kArpMaxNotes> sorted{};  // by ascending note
    std::array<int, kArpVoices> chordVoice{};
    int chordCount = 0; // entries of chordVoice in use
    std::array<bool, kArpMaxNotes> newNote{};
    std::array<int, kArpVoices> stepOfVoice{};
    std::array<float, kArpVoices> voiceFree{};    // target of each voice's "Arp Free"
    std::array<float, kArpVoices> voiceFreeSrc{}; // and its smoothed value
    std::array<ArpVoiceMod, kArpVoices> voiceMod{};

    // Global modulation phrase (modes "Mod Free" and "Mod Mono").
    bool modRunning = false;
    ArpStepClock modClock;
    int modParity = 0;
    double modPos = 0.0;
    float modFree = 0.0f, modFreeTarget = 0.0f;

    double stepPos = 0.0;
    double stepInc = 0.0;
    double ratchetPos = 0.0;
    double ratchetLen = kArpNoRatchet;
    double gateLen = kArpNoGate;
    std::array<double, 2> swing{1.0, 1.0};
    float smoothUp = 1.0f, smoothDown = 1.0f;
    // The swing, gate and smoothing inputs (bits) the values above were made
    // from; factorsValid false until they are made.
    std::array<uint32_t, 6> factorInputs{};
    bool factorsValid = false;
    double lastSixteenth = 0.0; // whole sixteenths of the host position at the last start test

    ArpMagicState magic;
};
