// Envelopes: the stage timing of the Envelope class stepped on its own (16
// samples per step), and the four envelopes of a voice inside the plug-in.

#include "engine/envelope.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace {

constexpr int kStep = 16; // samples per envelope step

EnvelopeInputs heldInputs(double rate) {
    EnvelopeInputs in;
    in.sampleRate = rate;
    in.samplesPerWholeNote = rate * 240.0 / 120.0; // 120 BPM
    in.gateOn = true;
    return in;
}

EnvelopeInputs releasingInputs(double rate) {
    EnvelopeInputs in = heldInputs(rate);
    in.gateOn = false;
    in.releasing = true;
    return in;
}

// An envelope resting in its sustain stage at `level`.
EnvelopeState sustaining(double level) {
    EnvelopeState s;
    s.stage = kEnvSustain;
    s.level = s.output = s.prevOutput = s.releaseLevel = s.releaseOutput = level;
    return s;
}

// Seconds the attack stage lasts for the attack value t.
double attackSeconds(double t, double rate, double speed = 1.0) {
    EnvelopeInputs in = heldInputs(rate);
    in.attack = t;
    in.speed = speed;
    EnvelopeState s;
    long steps = 0;
    while (s.stage == kEnvAttack && steps < 10'000'000) {
        Envelope::step(s, in);
        ++steps;
    }
    EXPECT_EQ(s.level, 1.0);
    return static_cast<double>(steps) * kStep / rate;
}

bool finiteState(const EnvelopeState& s) {
    return std::isfinite(s.level) && std::isfinite(s.output) && std::isfinite(s.prevOutput) &&
           std::isfinite(s.ramp) && std::isfinite(s.releaseLevel) && std::isfinite(s.releaseOutput);
}

} // namespace

// ------------------------------------------------------------------ stage times

TEST(EnvelopeTiming, AttackZeroReachesFullLevelInAboutOneMillisecond) {
    // About 1 ms, rounded up to whole steps of 16 samples.
    for (double rate : {44100.0, 48000.0, 96000.0, 192000.0}) {
        const double ms = attackSeconds(0.0, rate) * 1000.0;
        const double stepMs = kStep * 1000.0 / rate;
        EXPECT_GT(ms, 0.95) << rate;
        EXPECT_LT(ms, 1.05 + stepMs) << rate;
    }
    EXPECT_LT(attackSeconds(0.0, 44100.0) * 1000.0, 1.1);
    EXPECT_LT(attackSeconds(0.0, 96000.0) * 1000.0, 1.2);
}

TEST(EnvelopeTiming, AttackOneTakesAboutSixteenSeconds) {
    for (double rate : {44100.0, 96000.0}) {
        EXPECT_NEAR(attackSeconds(1.0, rate), 16.384, 0.05) << rate;
    }
}

TEST(EnvelopeTiming, StageTimeDoublesEverySeventhOfTheRange) {
    // About 2^(14 t) ms for the full range.
    for (double t : {0.25, 0.5, 0.75}) {
        const double expected = std::exp2(14.0 * t) / 1000.0;
        EXPECT_NEAR(attackSeconds(t, 44100.0), expected, expected * 0.02 + 0.0004) << t;
        EXPECT_NEAR(attackSeconds(t, 96000.0), expected, expected * 0.02 + 0.0004) << t;
    }
}

TEST(EnvelopeTiming, SpeedScalesEveryRate) {
    const double normal = attackSeconds(0.5, 44100.0);
    EXPECT_NEAR(attackSeconds(0.5, 44100.0, 2.0), normal / 2.0, 0.001);
    EXPECT_NEAR(attackSeconds(0.5, 44100.0, 0.5), normal * 2.0, 0.001);
}

TEST(EnvelopeTiming, DecayStopsAtTheSustainLevel) {
    EnvelopeInputs in = heldInputs(44100.0);
    in.decay = 0.3;
    in.sustain = 0.4;
    EnvelopeState s;
    s.stage = kEnvDecay;
    s.level = 1.0;
    for (int i = 0; i < 2000 && s.stage == kEnvDecay; ++i) Envelope::step(s, in);
    EXPECT_EQ(s.stage, kEnvSustain);
    EXPECT_DOUBLE_EQ(s.level, 0.4 * 0.9999);
    for (int i = 0; i < 2000; ++i) Envelope::step(s, in);
    EXPECT_DOUBLE_EQ(s.level, 0.4 * 0.9999) << "the amplitude and filter envelopes hold S";
}

// ------------------------------------------------------------------ release

TEST(EnvelopeRelease, AmplitudeEndsOnceItFallsBelowTenMillionths) {
    for (bool curved : {false, true}) {
        EnvelopeInputs in = releasingInputs(44100.0);
        in.amplitude = true;
        in.release = 0.3;
        in.curved = curved;
        in.releaseShape = std::exp2(0.8);
        EnvelopeState s = sustaining(0.9999);
        double last = s.output;
        int steps = 0;
        while (s.output > 0.0 && steps < 100000) {
            last = s.output;
            Envelope::step(s, in);
            ++steps;
        }
        SCOPED_TRACE(curved);
        EXPECT_EQ(s.stage, kEnvRelease);
        EXPECT_GE(last, 0.00001) << "it ends at the first step below the threshold";
        EXPECT_EQ(s.output, 0.0);
        EXPECT_EQ(s.prevOutput, 0.0) << "the voice's level drops to 0 at once";
        EXPECT_EQ(s.ramp, 0.0);
        // About 18 ms for the full range.
        EXPECT_NEAR(steps * kStep / 44100.0, std::exp2(14.0 * 0.3) / 1000.0, 0.002);
    }
}

TEST(EnvelopeRelease, OnlyTheAmplitudeEnvelopeIsCutBelowTheThreshold) {
    // A slow curved release passes through outputs between 0 and 0.00001.
    auto firstOutputBelowThreshold = [](bool amplitude, double& prevOutput) {
        EnvelopeInputs in = releasingInputs(44100.0);
        in.amplitude = amplitude;
        in.release = 0.6;
        in.curved = true;
        in.releaseShape = std::exp2(0.8);
        EnvelopeState s = sustaining(0.9999);
        for (int i = 0; i < 100000 && s.output >= 0.00001; ++i) Envelope::step(s, in);
        prevOutput = s.prevOutput;
        return s.output;
    };
    double prev = -1.0;
    const double filter = firstOutputBelowThreshold(false, prev);
    EXPECT_GT(filter, 0.0);
    EXPECT_LT(filter, 0.00001);
    EXPECT_GT(prev, 0.0);
    EXPECT_EQ(firstOutputBelowThreshold(true, prev), 0.0);
    EXPECT_EQ(prev, 0.0);
}

TEST(EnvelopeRelease, FreeEnvelopeWithFullReleaseNeverDecays) {
    for (double release : {1.0, 0.99995}) {
        EnvelopeInputs in = releasingInputs(44100.0);
        in.freeEnvelope = true;
        in.release = release;
        EnvelopeState s = sustaining(0.7);
        for (int i = 0; i < 200000; ++i) Envelope::step(s, in); // over a minute
        EXPECT_EQ(s.stage, kEnvRelease);
        EXPECT_EQ(s.level, 0.7) << release;
        EXPECT_EQ(s.output, 0.7) << release;
    }
    // At 0.9999 and below it decays, slowly.
    EnvelopeInputs in = releasingInputs(44100.0);
    in.freeEnvelope = true;
    in.release = 0.9999;
    EnvelopeState s = sustaining(0.7);
    for (int i = 0; i < 10000; ++i) Envelope::step(s, in);
    EXPECT_LT(s.level, 0.7);
    // The amplitude and filter envelopes never hold.
    in.freeEnvelope = false;
    s = sustaining(0.7);
    for (int i = 0; i < 10000; ++i) Envelope::step(s, in);
    EXPECT_LT(s.level, 0.7);
}

TEST(EnvelopeRelease, SyncedReleaseAtTheTopStepEndsAtOnce) {
    EnvelopeInputs in = releasingInputs(44100.0);
    in.freeEnvelope = true;
    in.synced = true;
    in.release = 1.0;
    EnvelopeState s = sustaining(0.8);
    Envelope::step(s, in);
    EXPECT_EQ(s.level, 0.0);
    EXPECT_EQ(s.output, 0.0);
}

TEST(EnvelopeRelease, SyncedReleaseLastsItsNoteLength) {
    // Step 16 is one whole note: 2 s at 120 BPM, 1 s at 240 BPM.
    for (double tempo : {120.0, 240.0}) {
        EnvelopeInputs in = releasingInputs(44100.0);
        in.samplesPerWholeNote = 44100.0 * 240.0 / tempo;
        in.freeEnvelope = true;
        in.synced = true;
        in.release = 0.52;
        EnvelopeState s = sustaining(1.0);
        long steps = 0;
        while (s.level > 0.0 && steps < 1'000'000) {
            Envelope::step(s, in);
            ++steps;
        }
        EXPECT_NEAR(steps * kStep / 44100.0, 240.0 / tempo, 0.01) << tempo;
    }
}

// ------------------------------------------------------------------ fade

namespace {

double levelAfterFade(double fade, bool synced, int steps = 2000) {
    EnvelopeInputs in = heldInputs(44100.0);
    in.freeEnvelope = true;
    in.synced = synced;
    in.sustain = 0.6;
    in.fade = fade;
    EnvelopeState s = sustaining(0.6);
    for (int i = 0; i < steps; ++i) Envelope::step(s, in);
    EXPECT_EQ(s.stage, kEnvSustain);
    return s.level;
}

} // namespace

TEST(EnvelopeFade, HalfHoldsBelowFallsAboveRises) {
    EXPECT_EQ(levelAfterFade(0.5, false), 0.6);
    EXPECT_LT(levelAfterFade(0.3, false), 0.6);
    EXPECT_GT(levelAfterFade(0.7, false), 0.6);
    // Far from the middle it is fast: to the ends of the range.
    EXPECT_EQ(levelAfterFade(0.0, false), 0.0);
    EXPECT_EQ(levelAfterFade(1.0, false), 1.0);
}

TEST(EnvelopeFade, SyncedFadeFollowsTheSameDirections) {
    EXPECT_EQ(levelAfterFade(0.5, true), 0.6);
    EXPECT_LT(levelAfterFade(0.4, true), 0.6);
    EXPECT_GT(levelAfterFade(0.6, true), 0.6);
}

TEST(EnvelopeFade, SyncedFadeAtOffHoldsTheLevel) {
    // Just off the middle, but on the "Off" step of the synced fade lengths.
    for (double fade : {0.495, 0.502, 0.505}) {
        EXPECT_EQ(levelAfterFade(fade, true), 0.6) << fade;
    }
}

TEST(EnvelopeFade, AmplitudeAndFilterEnvelopesHaveNoFade) {
    EnvelopeInputs in = heldInputs(44100.0);
    in.sustain = 0.6;
    in.fade = 0.0;
    EnvelopeState s = sustaining(0.6 * 0.9999);
    for (int i = 0; i < 2000; ++i) Envelope::step(s, in);
    EXPECT_DOUBLE_EQ(s.level, 0.6 * 0.9999);
}

// ------------------------------------------------------------------ speed factors

TEST(EnvelopeSpeed, NonFiniteAndExtremeSpeedsAreClamped) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (double speed : {nan, inf, -inf, 1e300, 0.0, -5.0, 1e-300}) {
        const double c = Envelope::clampSpeed(speed);
        EXPECT_TRUE(std::isfinite(c)) << speed;
        EXPECT_GT(c, 0.0) << speed;
        for (bool synced : {false, true}) {
            EnvelopeInputs in = heldInputs(44100.0);
            in.speed = speed;
            in.synced = synced;
            in.freeEnvelope = true;
            in.attack = 0.2;
            in.decay = 0.2;
            in.sustain = 0.5;
            in.fade = 0.8;
            in.release = 0.2;
            in.curved = true;
            in.decayShape = in.releaseShape = std::exp2(0.8);
            EnvelopeState s;
            for (int i = 0; i < 300; ++i) {
                Envelope::step(s, in);
                ASSERT_TRUE(finiteState(s)) << "speed " << speed << " step " << i;
                ASSERT_GE(s.level, 0.0);
                ASSERT_LE(s.level, 1.0);
            }
            in.releasing = true;
            in.gateOn = false;
            for (int i = 0; i < 300; ++i) {
                Envelope::step(s, in);
                ASSERT_TRUE(finiteState(s)) << "speed " << speed << " release step " << i;
                ASSERT_GE(s.level, 0.0);
                ASSERT_LE(s.level, 1.0);
            }
        }
    }
}

TEST(EnvelopeSpeed, ShapeExponentStaysFinite) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_NEAR(Envelope::shapeExponent(0.0), std::exp2(0.8), 1e-12);
    for (double d : {nan, inf, -inf, 1e300}) {
        const double k = Envelope::shapeExponent(d);
        EXPECT_TRUE(std::isfinite(k)) << d;
        EXPECT_GE(k, 1.0 / 16.0);
        EXPECT_LE(k, 4096.0);
    }
}

TEST(EnvelopeStolen, FallsByOneHundredthPerStep) {
    EnvelopeState s = sustaining(0.9999);
    int steps = 0;
    while (!Envelope::stepStolen(s) && steps < 1000) ++steps;
    EXPECT_EQ(steps + 1, 100);
    EXPECT_EQ(s.level, 0.0);
    EXPECT_EQ(s.stage, kEnvRelease);
}

// ------------------------------------------------------------------ inside the plug-in

TEST(EnvelopeInPlugin, ReleaseEndsTheVoiceAndItLeavesTheActiveList) {
    PluginHarness h;
    h.p().setParameter(tag::ExpEnvShapeOn, 0.0f);
    h.p().setParameter(tag::AmpEnvRelease, 0.3f); // about 18 ms
    h.send(EventBlock().noteOn(0, 60));
    h.render(4410);
    ASSERT_TRUE(h.listed(0));
    h.send(EventBlock().noteOff(0, 60));

    int frames = 0;
    while (h.voice(0).sounds() && frames < 44100) {
        h.render(1);
        ++frames;
    }
    EXPECT_NEAR(frames, std::exp2(14.0 * 0.3) * 44.1, 48.0);
    EXPECT_EQ(h.voice(0).ampLevel(), 0.0) << "the level ends at exactly 0";
    EXPECT_EQ(h.voice(0).env[kEnvAmp].stage, kEnvRelease);

    int more = 0;
    while (h.listed(0) && more < 16) {
        h.render(1);
        ++more;
    }
    EXPECT_LE(more, 4) << "the list drops the voice at its next rebuild";
    EXPECT_EQ(h.engine().render.activeVoiceCount, 0);
    EXPECT_EQ(h.soundingCount(), 0);
}

// The free envelopes run only while a modulation slot reads them: route both
// to a destination with amount 0.5 (no effect on the sound).
void useFreeEnvelopes(PluginHarness& h) {
    h.p().setModSlotVar(10, false, 0.5f, src::Free1Env, dst::OscMorph);
    h.p().setModSlotVar(11, false, 0.5f, src::Free2Env, dst::OscMorph);
    h.render(256);
}

TEST(EnvelopeInPlugin, FreeEnvelopeWithFullReleaseNeverDecays) {
    PluginHarness h;
    useFreeEnvelopes(h);
    h.p().setParameter(tag::AmpEnvRelease, 1.0f); // the voice keeps sounding
    h.p().setParameter(tag::freeEnv(0, tag::FreeEnvSustain), 0.7f);
    h.p().setParameter(tag::freeEnv(0, tag::FreeEnvRelease), 1.0f);
    h.p().setParameter(tag::freeEnv(1, tag::FreeEnvSustain), 0.7f);
    h.p().setParameter(tag::freeEnv(1, tag::FreeEnvRelease), 0.9f);
    h.send(EventBlock().noteOn(0, 60));
    h.render(8820);
    h.send(EventBlock().noteOff(0, 60));
    h.render(32);
    const EnvelopeState& free1 = h.voice(0).env[kEnvFree1];
    const EnvelopeState& free2 = h.voice(0).env[kEnvFree2];
    ASSERT_EQ(free1.stage, kEnvRelease);
    const double held = free1.level;
    const double falling = free2.level;
    EXPECT_NEAR(held, 0.7 * 0.9999, 1e-6);

    h.render(44100);
    ASSERT_TRUE(h.voice(0).sounds());
    EXPECT_EQ(free1.level, held);
    EXPECT_LT(free2.level, falling - 0.05);
}

TEST(EnvelopeInPlugin, SyncedReleaseAtTheTopStepEndsAtOnce) {
    PluginHarness h;
    useFreeEnvelopes(h);
    h.p().setParameter(tag::AmpEnvRelease, 1.0f);
    h.p().setParameter(tag::freeEnv(0, tag::FreeEnvSync), 1.0f);
    h.p().setParameter(tag::freeEnv(0, tag::FreeEnvRelease), 1.0f);
    h.send(EventBlock().noteOn(0, 60));
    h.render(4410);
    ASSERT_GT(h.voice(0).env[kEnvFree1].level, 0.9);
    h.send(EventBlock().noteOff(0, 60));
    h.render(16);
    EXPECT_EQ(h.voice(0).env[kEnvFree1].level, 0.0);
    h.render(32);
    EXPECT_EQ(h.voice(0).env[kEnvFree1].prevOutput, 0.0);
}

TEST(EnvelopeInPlugin, FreeEnvelopeFadeMovesOnlyOffTheMiddle) {
    PluginHarness h;
    useFreeEnvelopes(h);
    h.p().setParameter(tag::freeEnv(0, tag::FreeEnvSustain), 0.6f);
    h.p().setParameter(tag::freeEnv(0, tag::FreeEnvFade), 0.5f);
    h.p().setParameter(tag::freeEnv(1, tag::FreeEnvSustain), 0.6f);
    h.p().setParameter(tag::freeEnv(1, tag::FreeEnvFade), 0.8f);
    h.send(EventBlock().noteOn(0, 60));
    h.render(44100);
    EXPECT_NEAR(h.voice(0).env[kEnvFree1].level, 0.6 * 0.9999, 1e-6);
    EXPECT_GT(h.voice(0).env[kEnvFree2].level, 0.6);
}

TEST(EnvelopeInPlugin, NonFiniteModulationKeepsEveryLevelFinite) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(64);
    const float inf = std::numeric_limits<float>::infinity();
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // What a runaway modulation could leave in the destination sums: the
    // speeds (5, 89, 77, 97, 105), stage times, sustain levels and shapes.
    auto& a = h.voice(0).mod.dst;
    a[dst::GlobalEnvSpeed] = nan;
    a[89] = inf;
    a[77] = 1e38f;
    a[97] = -inf;
    a[105] = 0.0f;
    a[90] = nan;
    a[92] = inf;
    a[94] = nan;
    a[95] = -inf;
    auto& b = h.voice(1).mod.dst;
    b[dst::GlobalEnvSpeed] = inf;
    b[89] = 0.0f; // inf * 0
    b[79] = nan;
    b[101] = nan;
    b[102] = inf;
    h.render(4410);
    h.send(EventBlock().noteOff(0, 60).noteOff(0, 64));
    h.render(4410);
    for (int v : {0, 1})
        for (int e = 0; e < kNumEnvelopes; ++e) {
            const EnvelopeState& s = h.voice(v).env[e];
            EXPECT_TRUE(finiteState(s)) << "voice " << v << " envelope " << e;
            EXPECT_GE(s.level, 0.0);
            EXPECT_LE(s.level, 1.0);
        }
    EXPECT_TRUE(h.allFinite);
}

// The length in whole notes that a synced length text names: "a/b QB", "a/bT"
// two thirds of it, "a/b*" dotted (the longest, "16/1*", lasts 18).
double namedWholeNotes(const std::string& label) {
    const double a = std::stod(label);
    double length = a / std::stod(label.substr(label.find('/') + 1));
    if (label.find('T') != std::string::npos) length *= 2.0 / 3.0;
    if (label.find('*') != std::string::npos)
        length = label.starts_with("16/1*") ? 18.0 : length * 1.5;
    return length;
}

TEST(EnvelopeInPlugin, SyncedAttackLastsTheLengthItsTextNames) {
    constexpr double kWholeNote120 = 44100.0 * 2.0; // frames at 120 BPM
    for (const int step : {1, 7, 13, 17, 20}) {
        SCOPED_TRACE(step);
        PluginHarness h;
        ASSERT_EQ(h.engine().render.tempoD, 120.0);
        useFreeEnvelopes(h);
        const int attack = tag::freeEnv(0, tag::FreeEnvAttack);
        h.p().setParameter(tag::AmpEnvRelease, 1.0f);
        h.p().setParameter(tag::freeEnv(0, tag::FreeEnvSync), 1.0f);
        h.p().setSteppedValue(attack, step, 30.99f, 31);
        const std::string shown = h.p().getParameterDisplayStr(attack);
        const double expected = namedWholeNotes(shown) * kWholeNote120;
        h.send(EventBlock().noteOn(0, 60));
        int frames = 0;
        const int limit = static_cast<int>(expected) + 4 * kStep;
        while (h.voice(0).env[kEnvFree1].stage == kEnvAttack && frames < limit) {
            h.render(kStep);
            frames += kStep;
        }
        EXPECT_NEAR(frames, expected, 2 * kStep) << shown;
    }
}
