// The effect chain after the summed voices: chorus, then flanger or phaser,
// then the tempo-synced delay, then the reverb.
//
// Units and calibration:
//   - The chain works on the voice bus of four floats (left and right of two
//     sub-samples per frame), scaled by 0.1 on the way in and 10 on the way
//     out. Chorus, flanger, phaser, delay and reverb each take the mean of
//     the two sub-samples per channel.
//   - Mix laws: with w the smoothed mix (0.99 per sample towards the knob)
//     plus its modulation, the wet part has gain clamp(2w, 0, 1) and the dry
//     part clamp(2 - 2w, 0, 1). Balance b = clamp(pan + 1/2, 0, 1) gives the
//     wet left clamp(2 - 2b, 0, 1) and the wet right clamp(2b, 0, 1) (the
//     flanger's pan law, used by every stage).
//   - Chorus and flanger: TDelay lengths swept by their effect LFO between
//     (1 - width) x span and span (+ 10 samples), span = length x 50 ms; the
//     right channel adds 2^(8 v) x 8 + 1 samples (getStereoSpread).
//   - Phaser: four all-pass sections per channel, centre frequency
//     15 x 2^(10 p) Hz at pitch p; depth d = width / 2 sweeps the table
//     position p x (1 +- d); Q = 0.707 x 4^q for the Q modulation q in -1..1;
//     feedback within +-0.95.
//   - Tone stages (chorus, flanger, phaser): a one-pole low-pass and a
//     one-pole high-pass, each stepped twice per frame, from the shared
//     coefficient table 20 x 2^(11 x) / (2 x rate).
//   - Delay: TDelay with equal-decay feedback (-0.99 .. 0.99) and the
//     band-limiting feedback filter; "Delay Length" modulation scales both
//     lengths by 2^m (m within -1..1), "Delay Fine Length" adds m x 10 ms.
//   - Reverb: a TDelay pre-delay (2^(10 v) / 2000 s) into TBasicReverb, wet
//     (o1 + o3, o2 + o4) x 0.707 x 0.9. Its four input taps move on slow
//     triangles at the two effect rates; setMod scales the lanes' loop gains
//     by 1 +- 0.002 on sines at the same rates.
//   - Sleep: after 8 seconds below 0.0001 at the output the chain stops
//     working and passes the bus; the first sound above that wakes it at
//     once with its state (delay lines, reverb tail) as it was.
//   - Sources "Chorus Out", "Flanger/Phaser Out" and "Delay Out" are the
//     mean of the bus after each stage, in output units (-1..1).
#pragma once

#include "core/mod_slots.h"
#include "core/numeric.h"
#include "engine/delay.h"
#include "engine/lfo.h"
#include "engine/reverb.h"
#include "engine/tables.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>

// The three 65,536-entry tables the chain reads, for one sample rate r:
// x = i / 65535, lowPass[i] = 20 x 2^(11 x) / (2 r), sine[i] and cosine[i] of
// 2 pi x 15 x 2^(10 x) / r (768 KiB). Built once per rate, read-only, shared
// by every instance at that rate, and kept only while an instance holds a
// reference: a host announcing many rates does not grow the process.
struct EffectTables {
    static constexpr int kSize = 65536;
    float sampleRate = 0.0f;
    std::array<float, kSize> lowPass{};
    std::array<float, kSize> sine{};
    std::array<float, kSize> cosine{};
    mutable std::atomic<int> users{0}; // references held

    // A reference to the tables of a rate, built when no instance holds
    // them. Locks and may allocate or free: never on the audio thread.
    static const EffectTables* acquire(float rate);
    // Gives a reference back (null does nothing). Lock-free, so the audio
    // thread may call it; the tables are freed by a later acquire or
    // collect, off the audio thread.
    static void release(const EffectTables* tables);
    // Frees the tables no reference holds.
    static void collect();
    // Table sets alive in the process.
    static int liveCount();

    static int index(float x) { return static_cast<int>(clamp01(x) * 65535.99f); }
};

// One effect LFO: two positions (left, right) and, for the flanger and
// phaser, a third slower one that drives the pan modulation. Stepped every
// 4 frames; between steps the outputs move by their ramps. The per-output
// values sit in lane 0..2 of four (lane 3 is unused), so that a step and a
// ramp are one vector operation each.
struct EffectLfoState {
    using Lanes = float __attribute__((vector_size(16)));
    double phaseLeft = 0.0, phaseRight = 0.0, phaseThird = 0.0;
    double hum = 1.0;     // rate jitter of the current cycle
    double stepAcc = 0.0; // step-quantisation counter
    union {
        float out[4] = {}; // left, right, third (0 where unread; ramped every frame)
        Lanes outLanes;
    };
    Lanes target = {}; // reached at the next step
    Lanes ramp = {};   // (target - out) / 4
    Lanes held = {};   // the stepped values between counter wraps
};

// What one effect-LFO step reads besides its state.
struct EffectLfoInputs {
    double rate = 0.0;       // cycles per step
    double thirdRate = 0.0;  // cycles per step of the third position (0: none)
    double stereoRate = 0.0; // right rate factor max(0, 3 x spread + 1)
    double phase = 0.0;      // phase destination, cycles
    double separation = 0.0; // right phase offset, cycles
    float humDepth = 0.0f;   // humanisation destination
    bool third = true;       // the third position is read (its lane stays 0 otherwise)
    const LfoShaping* shaping = nullptr;
};

// The inputs of a step made ready: clamped and made finite once, for every
// step while the inputs stay as they are.
struct EffectLfoReadyInputs {
    double rate = 0.0, thirdRate = 0.0, stereoRate = 0.0; // within 0..1, 0..1, 0..16
    double phase = 0.0, separation = 0.0;                 // finite
    double humDepth = 0.0;                                // within -4..4
    bool third = true;
    const LfoShaping* shaping = nullptr;

    EffectLfoReadyInputs() = default;
    explicit EffectLfoReadyInputs(const EffectLfoInputs& in); // in.shaping set
};

// The raw values an effect LFO's inputs are made from: rate and pan speed,
// then the spread, phase, separation and humanisation destinations.
struct EffectLfoInputKey {
    double rate = 0.0, panSpeed = 0.0;
    float spread = 0.0f, phase = 0.0f, separation = 0.0f, human = 0.0f;

    bool sameBits(const EffectLfoInputKey& o) const { return std::memcmp(this, &o, sizeof o) == 0; }
};

// The ready inputs of one effect LFO with the key they were made from: while
// its destinations rest, a step reuses them.
struct EffectLfoKeptInputs {
    EffectLfoInputKey key;
    EffectLfoReadyInputs ready;
    bool valid = false;
};

class EffectLfo {
public:
    static void reset(EffectLfoState& s) { s = EffectLfoState{}; }
    static void step(EffectLfoState& s, const EffectLfoReadyInputs& in, const float* sine,
                     RandSeed& humSource);
    static void step(EffectLfoState& s, const EffectLfoInputs& in, const float* sine,
                     RandSeed& humSource) {
        step(s, EffectLfoReadyInputs(in), sine, humSource);
    }
    // step(a, inA, ...) then step(b, inB, ...) in one call.
    static void stepTwo(EffectLfoState& a, const EffectLfoReadyInputs& inA, EffectLfoState& b,
                        const EffectLfoReadyInputs& inB, const float* sine, RandSeed& humSource);
    static void ramp(EffectLfoState& s) { s.outLanes += s.ramp; }
};

// The reverb's loop-gain factor 1 + 0.002 x sin(2 pi t) at t turns, in
// float. of(t) gives the bits of plain(t) (std::sin of 2 pi t) for every t,
// and for 0 <= t < 1 mostly without std::sin: a polynomial within
// kSineError of the sine brackets it, and while both ends of the bracket
// give one factor, so does the sine (every step of the formula rises with
// it); only a bracket across a float step asks std::sin.
struct ReverbLoopGain {
    static constexpr float kDepth = 0.002f;
    static constexpr double kSineError = 4e-9;

    static float factor(double sine) { return 1.0f + kDepth * static_cast<float>(sine); }
    static float plain(double t);
    static float of(double t);
    static void of4(const double (&t)[4], float (&out)[4]); // four at once, each as of()
    // sin(2 pi t) within kSineError, for 0 <= t < 1.
    static double sineOfTurns(double t);
};

// Four floats side by side: the bus (left, right of the first sub-sample,
// then of the second) and the stereo units that work on it.
using FxQuad = float __attribute__((vector_size(16)));

// Low-pass at cLo, minus the part below cHi, stepped twice per frame: one
// input sample per channel gives the two sub-samples of that channel. Both
// channels run side by side in lanes 0 (left) and 1 (right); lanes 2 and 3
// are unused. The result is in bus order: (left, right) of the first
// sub-sample, then of the second.
struct ToneStage {
    FxQuad s = {}, h = {};

    FxQuad process(float left, float right, float cLo, float cHi) {
        const FxQuad x = {left, right, 0.0f, 0.0f};
        const FxQuad a = (x - s) * cLo + s + 1e-15f;
        s = (x - a) * cLo + a + 1e-15f;
        const FxQuad b = (a - h) * cHi + h + 1e-15f;
        h = (s - b) * cHi + b + 1e-15f;
        return __builtin_shufflevector(a - b, s - h, 0, 1, 4, 5);
    }
};

// One channel of the phaser: four second-order all-pass sections.
struct PhaserChannel {
    static constexpr int kStages = 4;
    float x1[kStages] = {}, x2[kStages] = {}, y1[kStages] = {}, y2[kStages] = {};
    float last = 0.0f; // the last section's previous output
};

// The last input and result of a costly curve (exp2 and the like): an
// unchanged control costs one comparison. NaN never matches.
struct CurveMemo {
    float in = std::numeric_limits<float>::quiet_NaN();
    double out = 0.0;

    template <class Curve> double operator()(float x, Curve curve) {
        if (!(x == in)) {
            in = x;
            out = curve(x);
        }
        return out;
    }
};

// Coefficients of the 16-frame block, from the knobs and the global
// destination sums.
struct EffectControls {
    // chorus
    float chorusSpan = 0.0f, chorusDepth = 0.0f, chorusLo = 0.0f, chorusHi = 0.0f;
    float chorusMix = 0.0f, chorusMixMod = 0.0f, chorusGainL = 1.0f, chorusGainR = 1.0f;
    // flanger and phaser
    float modSpan = 0.0f, modDepth = 0.0f, modLo = 0.0f, modHi = 0.0f;
    float modMix = 0.0f, modMixMod = 0.0f, panMod = 0.0f, pan = 0.0f;
    std::array<double, 3> panSpeed{0.0, 0.25, 0.25}; // third LFO rate over the LFO rate
    float phaserDepth = 0.0f, phaserRange = 0.0f, phaserInvTwoQ = 0.0f, phaserFeed = 0.0f;
    // delay
    float delayMix = 0.0f, delayMixMod = 0.0f, delayGainL = 1.0f, delayGainR = 1.0f;
    // reverb
    float preDelayLen = 5.0f;
    float reverbMix = 0.0f, reverbMixMod = 0.0f, reverbGainL = 1.0f, reverbGainR = 1.0f;
};

// What a full pass of updateFXDerived read besides the tags' values, and
// the values' change count before it read them: while all stay, a pass
// would make the same coefficients and the same calls of the units'
// setters, and only the reverb's taps and loop-gain modulation move.
struct EffectControlInputs {
    // The effect destinations: the "Chorus" .. "Delay/Reverb" groups.
    static constexpr int kFirstDest = dst::ChorusLength;
    static constexpr int kDests = dst::Count - kFirstDest;
    uint32_t valueChanges = 0;
    const EffectTables* tables = nullptr;
    float sampleRate = 0.0f, tempo = 0.0f;
    uint32_t switches = 0; // the effects on and the phaser choice, one bit each
    std::array<float, kDests> dests{};
    bool valid = false; // cleared by initFX and by an effect switched on
};

struct EffectChainState {
    // The longest run of frames the chain works on in one pass.
    static constexpr int kRunFrames = 16;
    using Frame = std::array<float, 4>;

    // The shared tables the chain reads, and the ones it read before the
    // last rate change (held until the next one, should a block still run
    // on them). Each holds one reference, given back at destruction.
    std::atomic<const EffectTables*> tables{nullptr};
    std::atomic<const EffectTables*> retiredTables{nullptr};
    // A rate that arrived while a preset was applied, for the next block
    // start: its tables, their rate with them.
    std::atomic<const EffectTables*> pendingTables{nullptr};
    EffectChainState() = default;
    EffectChainState(const EffectChainState&) = delete;
    EffectChainState& operator=(const EffectChainState&) = delete;
    ~EffectChainState();
    // Takes over the reference of `next` as the tables read from now on.
    void useTables(const EffectTables* next);

    TDelay chorusDelay;
    TDelay flangerDelay;
    TDelay effectDelay;
    TBasicReverb reverb;
    TDelay reverbPreDelay;

    // Cached by updateFXRare.
    bool chorusOn = false, modOn = false, phaser = false, delayOn = false, reverbOn = false;
    bool anyOn = false;
    bool choiceSeen = false; // phaser as last seen, for the reset on a change

    std::array<EffectLfoState, 3> lfo{}; // chorus, flanger, phaser
    std::array<EffectLfoKeptInputs, 3> lfoInputs{};
    RandSeed humSeed{1};
    std::array<float, 3> spread{129.0f, 9.0f, 129.0f}; // right-channel offsets, samples

    EffectControls ctl;
    EffectControlInputs ctlSeen; // the inputs of ctl and spread
    // spreads (chorus, flanger, phaser), delay scale, reverb size, pre-delay,
    // pan speeds (flanger, phaser)
    std::array<CurveMemo, 3> spreadMemo{};
    CurveMemo delayScaleMemo, reverbSizeMemo, preDelayMemo;
    std::array<CurveMemo, 2> panSpeedMemo{};
    float chorusMix = 0.0f, modMix = 0.0f, delayMix = 0.0f, reverbMix = 0.0f; // smoothed knobs
    ToneStage chorusTone, modTone;
    std::array<PhaserChannel, 2> phaserChannel{};
    static constexpr int kPhaserHistory = 16384;
    std::array<float, kPhaserHistory> phaserHistory{};
    int phaserPos = 0;
    bool phaserDirty = false; // the history holds sound
    float peak = 0.0f;        // the flanger's or phaser's wet peak follower

    std::array<double, 4> tapPhase{}; // reverb input taps, 0..1
    uint64_t frame = 0;               // the frame the coefficients are made for
    uint64_t silence = 0;             // frames since the output last carried sound
    bool asleep = false;
    bool outputsClear = true; // sources 66..68 are 0

    // Set by any thread, carried out by the audio thread before its next
    // frame of the chain: the chain starts afresh (initFX).
    std::atomic<bool> resetRequested{false};
};
