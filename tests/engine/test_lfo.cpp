// Free LFOs, the SMod LFO and the effect-LFO rates: the FreeLfo and SModLfo
// classes stepped on their own, and the LFOs inside the plug-in measured
// through the modulation sources they publish.

#include "core/vocabulary.h"
#include "engine/lfo.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <numbers>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace {

constexpr int kFramesPerStep = 4;
constexpr int kWaveSawUp = 8, kWaveSquare = 12, kWaveHeld = 16;
constexpr double kRate = 44100.0;
constexpr double kWholeNote120 = kRate * 240.0 / 120.0; // frames per whole note at 120 BPM

// ---------------------------------------------------------------- the class on its own

// One free LFO driven frame by frame as the render loop drives it.
struct LfoRunner {
    FreeLfoState s;
    FreeLfoStepInputs in;
    Random15 held{1234};
    RandSeed human{1};
    long frame = 0;

    float tick() {
        if (frame % kFramesPerStep == 0)
            FreeLfo::step(s, in, held, human);
        else
            FreeLfo::ramp(s);
        ++frame;
        return s.output;
    }
    // The value reached by one step (the output one step later).
    float stepTarget() {
        FreeLfo::step(s, in, held, human);
        frame += kFramesPerStep;
        return s.target;
    }
};

// The analytic waves of the table kinds 0..4 at x in 0..1.
double waveAt(int kind, double x) {
    switch (kind) {
    case kLfoSine:
        return std::sin(2.0 * std::numbers::pi * x);
    case kLfoTriangle:
        return 1.0 - 2.0 * std::fabs(1.0 - 2.0 * x);
    case kLfoSawUp:
        return 2.0 * x - 1.0;
    case kLfoSawDown:
        return 1.0 - 2.0 * x;
    case kLfoSquare:
        return x <= 0.5 ? -1.0 : 1.0;
    default:
        return 0.0;
    }
}

// Per-instance user-wave rows filled with constants (heap: 512 KiB).
std::unique_ptr<UserWaveLfoRows> userRows(float first, float second) {
    auto rows = std::make_unique<UserWaveLfoRows>();
    std::fill(rows->rows[0].begin(), rows->rows[0].end(), first);
    std::fill(rows->rows[1].begin(), rows->rows[1].end(), second);
    return rows;
}

// The values of wave w over one cycle of 64 steps.
std::vector<float> cycleOf(int w, const UserWaveLfoRows& user) {
    LfoRunner r;
    const int kind = LFO_WAVE_TYPE[w];
    r.in.table = kind == kLfoHeld ? nullptr : lfoShapeRow(engineTables(), user, kind);
    r.in.startPhase = LFO_PHASE[w];
    FreeLfo::setCoefficients(r.s, 1.0 / 64.0, FreeLfoControls{});
    std::vector<float> values;
    for (int k = 0; k < 64; ++k) values.push_back(r.stepTarget());
    return values;
}

// ---------------------------------------------------------------- the plug-in

// Slot 0 reads free LFO 1 (amount 0.5: the destination does not move).
void useLfo1(PluginHarness& h, int dest = dst::OscMorph) {
    h.p().setModSlotVar(0, false, 0.5f, src::Free1Lfo, dest);
}

// A destination sum held at `value` as a slot would leave it: the matrix
// starts every pass from the base row.
void holdDest(PluginHarness& h, int dest, float value) {
    h.engine().destBase[dest] = value;
    h.engine().global.dst[dest] = value;
}

// LFO 1 at a free (unsynced) speed value; the patch starts synced.
void freeSpeed(PluginHarness& h, float speed) {
    h.p().setOff(tag::freeLfoSync(0));
    h.p().setParameter(tag::freeLfoSpeed(0), speed);
}

float lfo1(PluginHarness& h) {
    return h.engine().global.src[src::Free1Lfo];
}

// Lines the render up so that the next frame is a step of the global LFOs
// and renders it; render(4) then always ends on a step.
void alignToStep(PluginHarness& h) {
    h.alignTo(kFramesPerStep);
    h.render(1);
}

// The global LFO 1 value at `steps` consecutive steps.
std::vector<float> lfo1AtSteps(PluginHarness& h, int steps) {
    alignToStep(h);
    std::vector<float> values;
    values.reserve(steps);
    for (int k = 0; k < steps; ++k) {
        h.render(kFramesPerStep);
        values.push_back(lfo1(h));
    }
    return values;
}

// Frames between the falls of a rising saw, in steps of 4 frames.
std::vector<double> sawPeriods(const std::vector<float>& values) {
    std::vector<double> falls;
    for (size_t k = 1; k < values.size(); ++k)
        if (values[k] < values[k - 1] - 1.0f) falls.push_back(static_cast<double>(k));
    std::vector<double> periods;
    for (size_t k = 1; k < falls.size(); ++k)
        periods.push_back((falls[k] - falls[k - 1]) * kFramesPerStep);
    return periods;
}

void setLfo1Mode(PluginHarness& h, int mode) {
    h.setStep(tag::freeLfoMode(0), mode);
}

} // namespace

// ================================================================ waves

TEST(LfoWaves, TablesOfTheBaseWavesHaveTheirShapes) {
    const auto user = userRows(0.0f, 0.0f);
    for (int w : {0, 4, 8, 10, 12}) {
        const int kind = LFO_WAVE_TYPE[w];
        const std::vector<float> cycle = cycleOf(w, *user);
        for (int k = 0; k < 64; ++k) {
            // The table is read at int(p * 65535.99): within one entry of p.
            const double x = static_cast<int>(k / 64.0 * 65535.99) / 65536.0;
            EXPECT_NEAR(cycle[k], waveAt(kind, x), 2e-4) << "wave " << w << " step " << k;
        }
    }
}

TEST(LfoWaves, VariantsStartAQuarterHalfOrThreeQuartersIntoTheirWave) {
    const auto user = userRows(0.0f, 0.0f);
    int variants = 0;
    for (int w = 0; w < 16; ++w) {
        int base = w;
        while (base > 0 && LFO_WAVE_TYPE[base - 1] == LFO_WAVE_TYPE[w]) --base;
        const int shift = static_cast<int>(LFO_PHASE[w] * 64.0);
        EXPECT_EQ(shift,
                  static_cast<int>(
                      (w - base) *
                      (LFO_WAVE_TYPE[w] == kLfoSawUp || LFO_WAVE_TYPE[w] == kLfoSawDown ? 32 : 16)))
            << w;
        const std::vector<float> plain = cycleOf(base, *user);
        const std::vector<float> variant = cycleOf(w, *user);
        for (int k = 0; k < 64; ++k)
            EXPECT_EQ(variant[k], plain[(k + shift) % 64]) << "wave " << w << " step " << k;
        variants += w != base;
    }
    EXPECT_EQ(variants, 11); // three for sine, triangle and square, one for each saw
}

TEST(LfoWaves, NamedStartValues) {
    const auto user = userRows(0.0f, 0.0f);
    auto first = [&](int w) { return cycleOf(w, *user)[0]; };
    EXPECT_NEAR(first(0), 0.0f, 1e-6f);  // Sine
    EXPECT_NEAR(first(1), 1.0f, 1e-6f);  // Sine + 90
    EXPECT_NEAR(first(2), 0.0f, 1e-3f);  // Sine + 180
    EXPECT_NEAR(first(3), -1.0f, 1e-6f); // Sine + 270
    EXPECT_NEAR(first(4), -1.0f, 1e-6f); // Triangle starts at its bottom
    EXPECT_NEAR(first(6), 1.0f, 1e-3f);  // Triangle + 180 at its top
    EXPECT_NEAR(first(8), -1.0f, 1e-6f); // Saw Up
    EXPECT_NEAR(first(9), 0.0f, 1e-3f);  // Saw Up + 180
    EXPECT_NEAR(first(10), 1.0f, 1e-6f); // Saw Down
    EXPECT_EQ(first(12), -1.0f);         // Square: low half first
    EXPECT_EQ(first(15), 1.0f);          // Square + 270: high half first
    EXPECT_EQ(std::string(LFO_WAVE_STR[1]), "Sine + 90 Degrees");
    EXPECT_EQ(std::string(LFO_WAVE_STR[15]), "Square + 270 Degrees");
}

TEST(LfoWaves, UserWavesReadTheInstanceRowsAndSampleAndHoldReadsNoTable) {
    const auto user = userRows(0.5f, -0.25f);
    for (float v : cycleOf(17, *user)) EXPECT_FLOAT_EQ(v, 0.5f);
    for (float v : cycleOf(18, *user)) EXPECT_FLOAT_EQ(v, -0.25f);
    EXPECT_EQ(LFO_WAVE_TYPE[16], kLfoHeld);
    EXPECT_EQ(std::string(LFO_WAVE_STR[16]), "S&H");
}

// ================================================================ timing

TEST(LfoTiming, SquareWithoutSmoothingReachesEachLevelOverFourFrames) {
    LfoRunner r;
    r.in.table = engineTables().lfoShapeTable[kLfoSquare].data();
    FreeLfo::setCoefficients(r.s, 1.0 / 16.0, FreeLfoControls{}); // 64 frames a cycle
    for (int i = 0; i < 64; ++i) r.tick();
    float prev = r.s.output;
    int moving = 0;
    for (int i = 0; i < 256; ++i) {
        const float out = r.tick();
        const float change = std::fabs(out - prev);
        EXPECT_LE(change, 0.5f + 1e-6f) << "frame " << i;
        if (change > 0.0f) {
            EXPECT_NEAR(change, 0.5f, 1e-6f);
            ++moving;
        }
        prev = out;
    }
    EXPECT_EQ(moving, 8 * 4); // two edges a cycle, four cycles, four frames each
}

TEST(LfoTiming, SquareInThePlugInRampsOverFourFrames) {
    PluginHarness h;
    useLfo1(h);
    h.p().setSteppedValue(tag::freeLfoWave(0), kWaveSquare);
    freeSpeed(h, 0.8f); // 55 Hz
    h.settle_();
    float prev = lfo1(h);
    int moving = 0;
    float low = 0.0f, high = 0.0f;
    for (int i = 0; i < 4096; ++i) {
        h.render(1);
        const float out = lfo1(h);
        EXPECT_LE(std::fabs(out - prev), 0.5f + 1e-5f) << i;
        moving += std::fabs(out - prev) > 0.25f;
        low = std::min(low, out);
        high = std::max(high, out);
        prev = out;
    }
    EXPECT_GT(moving, 20);
    EXPECT_FLOAT_EQ(low, -1.0f);
    EXPECT_FLOAT_EQ(high, 1.0f);
}

TEST(LfoTiming, SyncedQuarterAndWholeNoteAt120Bpm) {
    for (const auto& [step, wholeNotes] : {std::pair{23, 0.25}, std::pair{17, 1.0}}) {
        PluginHarness h;
        ASSERT_EQ(h.engine().render.tempoD, 120.0);
        useLfo1(h);
        h.p().setSteppedValue(tag::freeLfoWave(0), kWaveSawUp);
        h.p().setOn(tag::freeLfoSync(0));
        h.p().setSteppedValue(tag::freeLfoSpeed(0), step, 33.99f, 34);
        h.settle_();
        const double expected = wholeNotes * kWholeNote120; // 22050 or 88200 frames
        const int steps = static_cast<int>(expected * 3.5 / kFramesPerStep);
        const std::vector<double> periods = sawPeriods(lfo1AtSteps(h, steps));
        ASSERT_GE(periods.size(), 2u) << step;
        double sum = 0.0;
        for (double p : periods) {
            EXPECT_NEAR(p, expected, kFramesPerStep) << step;
            sum += p;
        }
        EXPECT_NEAR(sum / periods.size(), expected, 2.0) << step;
    }
}

// The length in whole notes that a speed-menu text names: "a/b", "a/bT"
// (two thirds), "a/b*" (dotted), with or without " QB".
double namedLength(const std::string& label) {
    const double a = std::stod(label);
    const double b = std::stod(label.substr(label.find('/') + 1));
    double length = a / b;
    if (label.find('T') != std::string::npos) length *= 2.0 / 3.0;
    if (label.find('*') != std::string::npos) length *= 1.5;
    // The two longest dotted lengths are those of the instrument's other
    // synced tables.
    if (label.starts_with("16/1*")) length = 18.0;
    if (label.starts_with("32/1*")) length = 36.0;
    return length;
}

TEST(LfoTiming, SyncedPeriodTablesFollowTheSpeedMenus) {
    EXPECT_EQ(D_LFO_TEMPO_SYNCED_PERIOD[0], 0.0);
    for (int k = 1; k < 34; ++k)
        EXPECT_DOUBLE_EQ(D_LFO_TEMPO_SYNCED_PERIOD[k], namedLength(LFO_PERIOD_STR[k])) << k;
    EXPECT_EQ(FX_PERIOD[0], 0.0);
    for (int k = 1; k < 31; ++k) EXPECT_DOUBLE_EQ(FX_PERIOD[k], namedLength(FX_PERIOD_STR[k])) << k;
}

TEST(LfoTiming, FreeRateSpansItsRangeAndStopsBelowTheFloor) {
    const double base = 1.71875 / (16.0 * kRate);
    auto hz = [&](float speed) {
        return FreeLfo::baseIncrement(speed, false, base, kRate, 120.0) * kRate / kFramesPerStep;
    };
    EXPECT_NEAR(hz(1.0f), 440.0, 1e-9);
    EXPECT_NEAR(hz(0.00001f), 0.013428 * std::exp2(15 * 0.00001), 1e-5);
    EXPECT_EQ(hz(0.000009f), 0.0);
    EXPECT_EQ(FreeLfo::baseIncrement(0.0f, true, base, kRate, 120.0), 0.0); // synced "Off"
}

// ================================================================ SMod LFO

// The SMod LFO at a speed for one second from a reset phase: the frames
// (interpolated) where it rises through zero. Every frame is also handed to
// the check, with the LFO's value.
template <class Check> std::vector<double> sModRises(PluginHarness& h, float speed, Check check) {
    h.p().setParameter(tag::OscSModSpeed, speed);
    h.render(32);
    h.p().resetSModLfoPhase();
    std::vector<double> rises;
    float prev = 0.0f;
    for (int i = 0; i < 44100; ++i) {
        h.render(1);
        const float v = h.engine().global.src[src::SModLfo];
        if (prev < 0.0f && v >= 0.0f) rises.push_back(i - 1 + prev / (prev - v));
        prev = v;
        check(v);
    }
    return rises;
}

TEST(LfoSMod, SpeedOneIsTwentySevenAndAHalfHertz) {
    PluginHarness h;
    const std::vector<double> rises = sModRises(h, 1.0f, [&](float v) {
        EXPECT_FLOAT_EQ(h.engine().global.src[src::UniSModLfo], v * 0.5f + 0.5f);
    });
    ASSERT_GE(rises.size(), 20u);
    const double period = (rises.back() - rises.front()) / (rises.size() - 1);
    EXPECT_NEAR(kRate / period, 27.5, 0.02);
}

TEST(LfoSMod, SpeedZeroIsAboutOneTwentySeventhOfAHertz) {
    PluginHarness h;
    h.p().setParameter(tag::OscSModSpeed, 0.0f);
    h.render(32);
    h.p().resetSModLfoPhase();
    const int frames = 4 * 44100;
    h.renderIn(frames, 441);
    // Frame n reads the phase reached after n frames.
    const double t = (frames - 1) / kRate;
    const double v = h.engine().global.src[src::SModLfo];
    ASSERT_GT(v, 0.3);
    ASSERT_LT(v, 0.9);
    const double f = std::asin(v) / (2.0 * std::numbers::pi * t);
    EXPECT_NEAR(f, 0.0268555, 0.0001);
}

TEST(LfoSMod, PhaseWrapsIntoTheTableWhateverTheIncrement) {
    const float* sine = engineTables().sineTable.data();
    for (double inc : {0.001, 40.0, 65535.0, 65536.5, 3.7 * 65536.0, 1e7}) {
        SModLfoState s;
        s.inc = inc;
        for (int i = 0; i < 20000; ++i) {
            SModLfo::advance(s);
            ASSERT_GE(s.phase, 0.0) << inc;
            ASSERT_LT(s.phase, SModLfo::kWrap) << inc;
            EXPECT_EQ(SModLfo::read(s, sine), sine[static_cast<int>(s.phase)]);
        }
    }
    // The increment itself: 2^(10 c) x 0.107421875 / rate x 16384 entries a frame.
    EXPECT_NEAR(SModLfo::increment(1.0f, 0.107421875f / 44100.0f) * 44100.0 / 65536.0, 27.5, 1e-4);
    EXPECT_NEAR(SModLfo::increment(-3.0f, 0.107421875f / 44100.0f) * 44100.0 / 65536.0, 0.0268555,
                1e-6);
}

TEST(LfoSMod, LowAndHighSampleRatesKeepThePhaseInItsTable) {
    for (float rate : {5.0f, 8000.0f, 192000.0f}) {
        for (float speed : {0.0f, 1.0f}) {
            PluginHarness h;
            h.p().setSampleRate(rate);
            h.p().setParameter(tag::OscSModSpeed, speed);
            for (int i = 0; i < 600; ++i) {
                h.render(7);
                const double phase = h.engine().lfo.smod.phase;
                ASSERT_GE(phase, 0.0) << rate << " " << speed;
                ASSERT_LT(phase, SModLfo::kWrap) << rate << " " << speed;
                const float v = h.engine().global.src[src::SModLfo];
                ASSERT_TRUE(std::isfinite(v));
                ASSERT_LE(std::fabs(v), 1.0f);
            }
        }
    }
}

// The speed text says what the running LFO does: "Off" only where the
// engine's phase stands still, otherwise the rate it measures.
TEST(LfoSMod, SpeedTextNamesTheRateTheEngineRuns) {
    for (float speed : {0.0f, 0.000005f, 0.5f}) {
        PluginHarness h;
        h.p().setParameter(tag::OscSModSpeed, speed);
        h.render(64);
        const double before = h.engine().lfo.smod.phase;
        h.render(1000);
        const double after = h.engine().lfo.smod.phase;
        const double hertz = h.engine().lfo.smod.inc * h.engine().rate.sampleRate / SModLfo::kWrap;
        ASSERT_GT(after, before) << speed; // runs (too slow to wrap in 1000 frames)
        EXPECT_EQ(h.p().getParameterDisplayStr(tag::OscSModSpeed),
                  APlugin::getFloatStr(static_cast<float>(hertz), 2) + " Hz")
            << speed;
        EXPECT_EQ(h.p().formatParameterValue(tag::OscSModSpeed, speed),
                  h.p().getParameterDisplayStr(tag::OscSModSpeed));
    }
}

// ================================================================ sample and hold

TEST(LfoHold, HeldValuesComeFromTheEngineGeneratorOncePerCycle) {
    LfoRunner r; // null table: the sample-and-hold wave
    Random15 expected(1234);
    FreeLfo::setCoefficients(r.s, 1.0 / 8.0, FreeLfoControls{}); // a new value every 8 steps
    float held = 0.0f;
    for (int k = 1; k <= 8 * 20; ++k) {
        r.stepTarget();
        // The phase wraps at every 8th step; the value shows from the next one.
        if (k % 8 == 0) held = expected.bipolar();
        EXPECT_EQ(r.s.heldRandom, held) << k;
    }
}

TEST(LfoHold, PlugInHoldsEachDrawBetweenItsSteps) {
    PluginHarness h;
    useLfo1(h);
    h.p().setSteppedValue(tag::freeLfoWave(0), kWaveHeld);
    freeSpeed(h, 0.6f); // 6.9 Hz: a cycle of some 1600 steps
    h.settle_();
    // From here on only the LFO draws from the engine's generator (no voices).
    h.engine().random.setSeed(4321);
    Random15 expected(4321);
    std::vector<float> plateaus;
    float prev = lfo1(h);
    int sameRun = 0, longestRun = 0;
    for (float v : lfo1AtSteps(h, 40000)) {
        if (v != prev) {
            plateaus.push_back(v);
            longestRun = std::max(longestRun, sameRun);
            sameRun = 0;
        } else {
            ++sameRun;
        }
        prev = v;
    }
    ASSERT_GE(plateaus.size(), 15u);
    for (float v : plateaus) EXPECT_EQ(v, expected.bipolar());
    EXPECT_GT(longestRun, 1000); // held for the whole cycle
}

// ================================================================ shaping destinations

TEST(LfoShaping, ShapePointBendsThePhase) {
    auto run = [](float shape) {
        LfoRunner r;
        r.in.table = engineTables().lfoShapeTable[kLfoSawUp].data();
        FreeLfoControls c;
        c.shape = shape;
        FreeLfo::setCoefficients(r.s, 1.0 / 1000.0, c);
        std::vector<float> v;
        for (int k = 0; k < 1000; ++k) v.push_back(r.stepTarget());
        return v;
    };
    const std::vector<float> plain = run(0.0f);
    for (int k = 0; k < 1000; ++k) EXPECT_NEAR(plain[k], 2.0 * k / 1000.0 - 1.0, 1e-4);
    // s = 0.8 x 0.998 + 0.001: the first half of the wave takes 80 % of the cycle.
    const std::vector<float> bent = run(0.6f);
    const double s = 0.8 * 0.998 + 0.001;
    EXPECT_NEAR(bent[static_cast<int>(s * 1000)], 0.0, 2e-3);
    EXPECT_NEAR(bent[400], 2.0 * (0.4 * 0.5 / s) - 1.0, 1e-3);
}

TEST(LfoShaping, BiasBitsAndHoldThroughTheirDestinations) {
    // Bias +1 removes the negative half, -1 the positive half.
    for (float bias : {1.0f, -1.0f}) {
        PluginHarness h;
        useLfo1(h, dst::FreeLfo1Bias);
        holdDest(h, dst::FreeLfo1Bias, bias);
        freeSpeed(h, 0.7f); // 19.4 Hz
        h.settle_();
        ASSERT_TRUE(h.engine().lfo.shapingUsed[0]);
        float low = 1.0f, high = -1.0f;
        for (float v : lfo1AtSteps(h, 4000)) {
            low = std::min(low, v);
            high = std::max(high, v);
        }
        if (bias > 0.0f) {
            EXPECT_GE(low, -1e-6f);
            EXPECT_GT(high, 0.99f);
        } else {
            EXPECT_LE(high, 1e-6f);
            EXPECT_LT(low, -0.99f);
        }
    }
    {
        // Bits 1: two levels per unit.
        PluginHarness h;
        useLfo1(h, dst::FreeLfo1Bits);
        holdDest(h, dst::FreeLfo1Bits, 1.0f);
        freeSpeed(h, 0.7f);
        h.settle_();
        std::set<float> levels;
        for (float v : lfo1AtSteps(h, 4000)) {
            EXPECT_NEAR(v * 2.0f, std::round(v * 2.0f), 1e-5f);
            levels.insert(std::round(v * 2.0f) / 2.0f);
        }
        // The peaks need the exact table top; the inner levels always show.
        for (float level : levels) EXPECT_TRUE(level >= -1.0f && level <= 1.0f) << level;
        for (float level : {-0.5f, 0.0f, 0.5f}) EXPECT_EQ(levels.count(level), 1u) << level;
    }
    {
        // Hold 0.5: a new value every 4 x 2^-8 ... every 64 steps.
        PluginHarness h;
        useLfo1(h, dst::FreeLfo1SampleHold);
        holdDest(h, dst::FreeLfo1SampleHold, 0.5f);
        freeSpeed(h, 0.7f);
        h.settle_();
        const std::vector<float> v = lfo1AtSteps(h, 64 * 40);
        int changes = 0;
        for (size_t k = 1; k < v.size(); ++k) changes += v[k] != v[k - 1];
        EXPECT_NEAR(changes, 40, 2);
    }
}

TEST(LfoShaping, ShapeDestinationMovesTheMeanOfASaw) {
    for (const auto& [shape, mean] :
         {std::pair{0.0f, 0.0}, std::pair{1.0f, -0.5}, std::pair{-1.0f, 0.5}}) {
        PluginHarness h;
        useLfo1(h, dst::FreeLfo1Shape);
        holdDest(h, dst::FreeLfo1Shape, shape);
        h.p().setSteppedValue(tag::freeLfoWave(0), kWaveSawUp);
        freeSpeed(h, 0.7f);
        h.settle_();
        double sum = 0.0;
        const std::vector<float> v = lfo1AtSteps(h, 80000); // some 140 cycles
        for (float x : v) sum += x;
        EXPECT_NEAR(sum / v.size(), mean, 0.02) << shape;
    }
}

TEST(LfoShaping, CoefficientsFollowTheStatedFormulas) {
    FreeLfoState s;
    FreeLfoControls c;
    c.shaping = true;
    c.smooth = 1.0f;
    c.hold = 1.0f;
    c.bits = 0.5f;
    c.bias = 0.25f;
    c.shape = -3.0f; // clamped: s = 0.001
    FreeLfo::setCoefficients(s, 0.01, c);
    EXPECT_NEAR(s.smooth, 1.0f - std::exp2(-13.0f), 1e-7f);
    EXPECT_DOUBLE_EQ(s.shaping.shInc, 4.0 * std::exp2(-16.0));
    EXPECT_FLOAT_EQ(s.shaping.bitsQ, 512.0f);
    EXPECT_FLOAT_EQ(s.shaping.bitsInvQ, 1.0f / 512.0f);
    EXPECT_FLOAT_EQ(s.shaping.biasFactor[0], 0.75f);
    EXPECT_FLOAT_EQ(s.shaping.biasFactor[2], 1.0f);
    EXPECT_NEAR(s.shaping.shapePoint, 0.001, 1e-12);
    c.hold = -1.0f; // negative: every step
    c.bits = -1.0f; // negative: 2^17
    c.smooth = -1.0f;
    c.bias = -0.5f;
    FreeLfo::setCoefficients(s, 0.01, c);
    EXPECT_DOUBLE_EQ(s.shaping.shInc, 4.0);
    EXPECT_FLOAT_EQ(s.shaping.bitsQ, 131072.0f);
    EXPECT_EQ(s.smooth, 0.0f);
    EXPECT_FLOAT_EQ(s.shaping.biasFactor[0], 1.0f);
    EXPECT_FLOAT_EQ(s.shaping.biasFactor[2], 0.5f);
    EXPECT_DOUBLE_EQ(s.increment, 0.01);
}

TEST(LfoShaping, HoldAtOneLastsTwoToTheFourteenSteps) {
    LfoRunner r;
    r.in.table = engineTables().lfoShapeTable[kLfoSawUp].data();
    r.in.shaping = true;
    FreeLfoControls c;
    c.shaping = true;
    c.hold = 1.0f;
    FreeLfo::setCoefficients(r.s, 1.0 / 1000.0, c);
    std::vector<int> changes;
    float prev = r.stepTarget(); // held at its start value until the first refresh
    for (int k = 1; k < 3 * 16384 + 10; ++k) {
        const float v = r.stepTarget();
        if (v != prev) changes.push_back(k);
        prev = v;
    }
    ASSERT_GE(changes.size(), 2u);
    for (size_t i = 1; i < changes.size(); ++i) EXPECT_EQ(changes[i] - changes[i - 1], 16384);
}

TEST(LfoShaping, SmoothingBlendsEachLevelWithTheLast) {
    LfoRunner r;
    r.in.table = engineTables().lfoShapeTable[kLfoSquare].data();
    FreeLfoControls c;
    c.smooth = 0.1f; // 1 - 2^-1.3
    FreeLfo::setCoefficients(r.s, 1.0 / 64.0, c);
    const float k = 1.0f - std::exp2(-1.3f);
    float prevTarget = 0.0f;
    for (int step = 0; step < 200; ++step) {
        const float target = r.stepTarget();
        const float v = (step % 64) <= 32 ? -1.0f : 1.0f;
        EXPECT_NEAR(target, (prevTarget - v) * k + v, 1e-5f) << step;
        prevTarget = target;
    }
}

// ================================================================ modes and resets

TEST(LfoModes, PolyRunsACopyPerVoiceFromItsNote) {
    PluginHarness h;
    useLfo1(h);
    setLfo1Mode(h, 0);
    ASSERT_TRUE(h.engine().lfo.perVoice[0]);
    h.send(EventBlock().noteOn(0, 60));
    h.render(4000);
    h.send(EventBlock().noteOn(0, 64));
    h.render(40);
    const VoiceState& a = h.voice(h.gatedVoiceWithNote(60));
    const VoiceState& b = h.voice(h.gatedVoiceWithNote(64));
    const double inc = b.lfo.lfo[0].increment;
    ASSERT_GT(inc, 0.0);
    EXPECT_NEAR(b.lfo.lfo[0].accPhase, 10 * inc, inc * 0.01); // ten steps since its note
    EXPECT_NEAR(a.lfo.lfo[0].accPhase, 1010 * inc, inc * 0.01);
    // Each voice publishes its own copy.
    EXPECT_EQ(a.mod.src[src::Free1Lfo], a.lfo.lfo[0].output);
    EXPECT_EQ(b.mod.src[src::Free1Lfo], b.lfo.lfo[0].output);
    EXPECT_EQ(b.mod.src[src::UniFree1Lfo], b.lfo.lfo[0].output * 0.5f + 0.5f);
    EXPECT_NE(a.mod.src[src::Free1Lfo], b.mod.src[src::Free1Lfo]);
}

TEST(LfoModes, FreeMonoAndLegatoResetTheGlobalLfoAsNotesStart) {
    // {mode, reset by a fresh note, reset by an overlapping note}
    for (const auto& [mode, fresh, overlapping] :
         {std::tuple{1, false, false}, std::tuple{2, true, true}, std::tuple{3, true, false}}) {
        const int lfoMode = mode; // clang 14 captures no structured binding
        PluginHarness h;
        useLfo1(h);
        setLfo1Mode(h, mode);
        ASSERT_FALSE(h.engine().lfo.perVoice[0]) << mode;
        h.render(4000);
        const FreeLfoState& g = h.engine().lfo.lfo[0];
        const double inc = g.increment;
        ASSERT_GT(inc, 0.0);
        auto playAndCheck = [&](int note, bool reset) {
            const double before = g.accPhase;
            h.send(EventBlock().noteOn(0, note));
            h.render(4);
            if (reset)
                EXPECT_LE(g.accPhase, 1.5 * inc) << "mode " << lfoMode << " note " << note;
            else
                EXPECT_GT(g.accPhase, before) << "mode " << lfoMode << " note " << note;
            // Every voice takes the global values.
            const VoiceState& v = h.voice(h.gatedVoiceWithNote(note));
            EXPECT_EQ(v.mod.src[src::Free1Lfo], h.engine().global.src[src::Free1Lfo]);
        };
        playAndCheck(60, fresh);
        h.render(2000);
        playAndCheck(64, overlapping);
    }
}

TEST(LfoModes, TransportStartRestartsTheGlobalLfosAndTheSModPhase) {
    PluginHarness h;
    useLfo1(h);
    h.p().setSteppedValue(tag::freeLfoMode(0), 1);
    h.settle_();
    h.render(3000);
    ASSERT_GT(h.engine().lfo.lfo[0].accPhase, 0.0);
    ASSERT_GT(h.engine().lfo.smod.phase, 0.0);
    h.host.timeInfo.flags &= ~kVstTransportPlaying;
    h.render(32);
    h.host.timeInfo.flags |= kVstTransportPlaying;
    h.alignTo(16);
    h.render(1); // the 16-frame block sees the start
    EXPECT_EQ(h.engine().lfo.lfo[0].accPhase, 0.0);
    EXPECT_LE(h.engine().lfo.smod.phase, h.engine().lfo.smod.inc);
}

TEST(LfoModes, UnusedLfosAreNotSteppedAndTheirSourcesStayCleared) {
    PluginHarness h;
    h.p().setModSlotVar(0, false, 0.5f, src::Free2Lfo, dst::OscMorph); // LFO 2 only
    h.settle_();
    h.send(EventBlock().noteOn(0, 60));
    h.render(2000);
    const VoiceState& v = h.voice(h.gatedVoiceWithNote(60));
    EXPECT_FALSE(h.engine().lfo.used[0]);
    EXPECT_TRUE(h.engine().lfo.used[1]);
    EXPECT_EQ(h.engine().lfo.lfo[0].accPhase, 0.0);
    EXPECT_EQ(v.lfo.lfo[0].accPhase, 0.0);
    EXPECT_GT(v.lfo.lfo[1].accPhase, 0.0); // Poly: the voice's own copy of LFO 2
    for (int s = src::Free1Lfo; s <= src::UniFree1Lfo; ++s) {
        EXPECT_EQ(h.engine().global.src[s], 0.0f);
        EXPECT_EQ(v.mod.src[s], 0.0f);
    }
    // A bypassed slot does not count.
    h.p().setModSlotVar(0, true, 0.5f, src::Free2Lfo, dst::OscMorph);
    h.settle_();
    EXPECT_FALSE(h.engine().lfo.used[1]);
    EXPECT_EQ(h.engine().global.src[src::Free2Lfo], 0.0f);
}

TEST(LfoModes, VoiceSpeedMultipliesItsOwnAndTheGlobalLfoSpeed) {
    PluginHarness h;
    useLfo1(h);
    holdDest(h, dst::GlobalLfoSpeed, 2.0f); // in the global row and every voice row
    h.settle_();
    h.send(EventBlock().noteOn(0, 60));
    h.render(64);
    const double base = h.engine().lfo.baseIncrement[0];
    const VoiceState& v = h.voice(h.gatedVoiceWithNote(60));
    EXPECT_NEAR(h.engine().lfo.lfo[0].increment, base * 2.0, base * 1e-6);
    EXPECT_NEAR(v.lfo.lfo[0].increment, base * 4.0, base * 1e-6);
}

TEST(LfoModes, HumanisationDrawsANewFactorEachCycle) {
    PluginHarness h;
    useLfo1(h);
    holdDest(h, dst::FreeLfo1Human, 1.0f);
    h.p().setSteppedValue(tag::freeLfoMode(0), 1);
    freeSpeed(h, 0.8f);
    h.settle_();
    std::set<double> factors;
    for (int i = 0; i < 200; ++i) {
        h.render(256);
        const double human = h.engine().lfo.lfo[0].human;
        EXPECT_GE(human, 0.5);
        EXPECT_LE(human, 2.0);
        factors.insert(human);
    }
    EXPECT_GT(factors.size(), 20u);
}

// ================================================================ other sources

TEST(LfoSources, OffsetReadsOneInEveryVoiceRow) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(64);
    for (int note : {60, 64})
        EXPECT_EQ(h.voice(h.gatedVoiceWithNote(note)).mod.src[src::Offset], 1.0f);
    EXPECT_EQ(h.engine().global.src[src::Offset], 1.0f);
}

TEST(LfoSources, NoiseSourcesRunOnlyWhenUsed) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60));
    h.render(256);
    const VoiceState& v = h.voice(h.gatedVoiceWithNote(60));
    EXPECT_EQ(v.mod.src[src::White], 0.0f);
    EXPECT_EQ(v.mod.src[src::PinkNoise], 0.0f);
    h.p().setModSlotVar(0, false, 0.5f, src::White, dst::OscMorph);
    h.p().setModSlotVar(1, false, 0.5f, src::UniPinkNoise, dst::OscMorph);
    h.render(256);
    std::set<float> white, pink;
    for (int i = 0; i < 64; ++i) {
        h.render(1);
        const float w = v.mod.src[src::White], p = v.mod.src[src::PinkNoise];
        EXPECT_EQ(h.engine().global.src[src::White], w);
        EXPECT_FLOAT_EQ(v.mod.src[src::UniWhite], w * 0.5f + 0.5f);
        EXPECT_FLOAT_EQ(v.mod.src[src::UniPinkNoise], p * 0.5f + 0.5f);
        EXPECT_LE(std::fabs(w), 1.0f);
        EXPECT_LE(std::fabs(p), 1.0f);
        white.insert(w);
        pink.insert(p);
    }
    EXPECT_GT(white.size(), 60u);
    EXPECT_GT(pink.size(), 20u); // each pink value lasts two frames
}

// ================================================================ effect-LFO rates

TEST(LfoEffectRates, SyncedStepZeroDoesNotMove) {
    for (const auto& [phaser, speedTag] :
         {std::pair{false, tag::FlangerSpeed}, std::pair{true, tag::PhaserSpeed}}) {
        PluginHarness h;
        h.p().setOn(tag::FlangerPhaserOn);
        h.p().setParameter(tag::FlangerOrPhaser, phaser ? 1.0f : 0.0f);
        h.p().setSteppedValue(speedTag, 0, 30.99f, 31);
        h.settle_();
        const EffectLfoRate& fx = h.engine().lfo.effects[phaser ? 2 : 1];
        ASSERT_TRUE(fx.on);
        EXPECT_EQ(fx.rate, 0.0);
        // "1/4": one cycle a quarter note, in steps of 4 frames.
        ASSERT_EQ(std::string(FX_PERIOD_STR[23]), "1/4");
        h.p().setSteppedValue(speedTag, 23, 30.99f, 31);
        h.render(32);
        EXPECT_NEAR(1.0 / fx.rate * kFramesPerStep, 0.25 * kWholeNote120, 1e-6);
    }
}

TEST(LfoEffectRates, ChorusRateAndShapingFromItsParameterAndDestinations) {
    PluginHarness h;
    h.p().setOn(tag::ChorusOn);
    h.p().setParameter(tag::ChorusSpeed, 0.5f);
    holdDest(h, 156, 0.25f); // shape point 0.75
    holdDest(h, 157, -1.0f); // bias: positive half off
    h.settle_();
    const EffectLfoRate& chorus = h.engine().lfo.effects[0];
    ASSERT_TRUE(chorus.on);
    EXPECT_NEAR(chorus.rate, std::exp2(5.0) * 1.71875 / (16.0 * kRate) * 0.25, 1e-12);
    EXPECT_NEAR(chorus.shaping.shapePoint, 0.75 * 0.998 + 0.001, 1e-9);
    EXPECT_FLOAT_EQ(chorus.shaping.biasFactor[2], 0.0f);
    EXPECT_DOUBLE_EQ(chorus.shaping.shInc, 4.0);
    EXPECT_FALSE(h.engine().lfo.effects[1].on);
    EXPECT_FALSE(h.engine().lfo.effects[2].on);
}

// ================================================================ the texts

// The rate that a speed text names ("0.86 Hz").
double shownHertz(PluginHarness& h, int t) {
    return std::stod(h.p().getParameterDisplayStr(t));
}

TEST(LfoTexts, FreeRateTextNamesTheMeasuredRate) {
    for (const float speed : {0.4f, 0.6f, 0.8f}) {
        SCOPED_TRACE(speed);
        PluginHarness h;
        useLfo1(h);
        h.p().setSteppedValue(tag::freeLfoWave(0), kWaveSawUp);
        freeSpeed(h, speed);
        h.settle_();
        const double shown = shownHertz(h, tag::freeLfoSpeed(0));
        const int steps = static_cast<int>(3.5 * kRate / shown / kFramesPerStep);
        const std::vector<double> periods = sawPeriods(lfo1AtSteps(h, steps));
        ASSERT_GE(periods.size(), 2u);
        double sum = 0.0;
        for (double p : periods) sum += p;
        EXPECT_NEAR(kRate * periods.size() / sum, shown, shown * 0.005 + 0.005);
        // The second LFO runs at the same rate for the same value.
        h.p().setOff(tag::freeLfoSync(1));
        h.p().setParameter(tag::freeLfoSpeed(1), speed);
        EXPECT_EQ(h.p().getParameterDisplayStr(tag::freeLfoSpeed(1)),
                  h.p().getParameterDisplayStr(tag::freeLfoSpeed(0)));
    }
}

TEST(LfoTexts, SModRateTextNamesTheMeasuredRate) {
    for (const float speed : {0.7f, 0.85f, 1.0f}) {
        SCOPED_TRACE(speed);
        PluginHarness h;
        const std::vector<double> rises = sModRises(h, speed, [](float) {});
        ASSERT_GE(rises.size(), 3u);
        const double measured = kRate * (rises.size() - 1) / (rises.back() - rises.front());
        const double shown = shownHertz(h, tag::OscSModSpeed);
        EXPECT_NEAR(measured, shown, shown * 0.005 + 0.005);
    }
}
