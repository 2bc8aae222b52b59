// The sample rate the host announces, what follows from it, and when a new
// rate is taken.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

// A held chord and a mono note stack to see what a rate change silences.
void holdNotes(PluginHarness& h) {
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64).noteOn(0, 67));
    h.render(64);
    ASSERT_EQ(h.gatedCount(), 3);
}

float rateOf(PluginHarness& h) {
    return h.engine().rate.sampleRate;
}

} // namespace

TEST(SampleRate, StartsAt44100) {
    PluginHarness h(1, false);
    EXPECT_EQ(rateOf(h), 44100.0f);
    EXPECT_EQ(h.engine().rate.sampleRateD, 44100.0);
    EXPECT_EQ(h.p().getSampleRate(), 44100.0f);
    EXPECT_FLOAT_EQ(h.engine().rate.filterCeiling, 0.4f * 44100.0f);
    EXPECT_FLOAT_EQ(h.engine().render.samplesPerWholeNote, 88200.0f);

    // The host's first announcement of 44100 changes nothing.
    holdNotes(h);
    h.effect()->dispatcher(h.effect(), effSetSampleRate, 0, 0, nullptr, 44100.0f);
    EXPECT_EQ(h.gatedCount(), 3);
}

TEST(SampleRate, ChangesOfAtMostATenthAreIgnored) {
    PluginHarness h;
    holdNotes(h);
    for (float r : {44100.05f, 44099.95f, 44100.09f}) {
        h.p().setSampleRate(r);
        EXPECT_EQ(rateOf(h), 44100.0f) << r;
        EXPECT_EQ(h.gatedCount(), 3) << r;
    }
    h.effect()->dispatcher(h.effect(), effSetSampleRate, 0, 0, nullptr, 44100.2f);
    EXPECT_EQ(rateOf(h), 44100.2f);
    EXPECT_EQ(h.p().getSampleRate(), 44100.2f);
    EXPECT_EQ(h.gatedCount(), 0) << "an accepted rate silences every voice";
}

TEST(SampleRate, RatesOutsideFiveToFiveHundredThousandAreIgnored) {
    PluginHarness h;
    holdNotes(h);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float r : {4.0f, 4.99f, 600000.0f, 500000.5f, 0.0f, -44100.0f, nan, inf, -inf}) {
        h.p().setSampleRate(r);
        EXPECT_EQ(rateOf(h), 44100.0f) << r;
        EXPECT_EQ(h.gatedCount(), 3) << r;
    }
    h.render(64);
    EXPECT_EQ(rateOf(h), 44100.0f);

    // The ends of the range are taken.
    h.p().setSampleRate(5.0f);
    EXPECT_EQ(rateOf(h), 5.0f);
    h.p().setSampleRate(500000.0f);
    EXPECT_EQ(rateOf(h), 500000.0f);
}

TEST(SampleRate, AcceptedRateStopsEverything) {
    PluginHarness h;
    h.setStep(tag::PlayMode, 5); // legato: a note stack and a held run
    h.send(EventBlock().noteOn(0, 60).noteOn(4, 64));
    h.render(64);
    ASSERT_EQ(h.engine().notes.monoTop, 1);
    ASSERT_TRUE(h.engine().notes.monoHeld);

    h.p().setSampleRate(48000.0f);
    const NoteState& ns = h.engine().notes;
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_EQ(ns.monoTop, -1);
    EXPECT_FALSE(ns.monoHeld);
    EXPECT_EQ(ns.prevPitch, -10.0f);
    EXPECT_EQ(ns.curVoice, 0);
    for (const VoiceState& v : h.engine().voices) EXPECT_FALSE(v.stolen);

    // Releasing the old keys does nothing; a new note starts a new run.
    h.send(EventBlock().noteOff(0, 64).noteOff(0, 60).noteOn(1, 70, 40));
    h.render(64);
    EXPECT_GE(h.gatedVoiceWithNote(70), 0);
    EXPECT_EQ(h.gatedCount(), 1);
}

TEST(SampleRate, DerivedValuesFollowTheRate) {
    PluginHarness h;
    h.host.timeInfo.tempo = 150.0;
    h.render(32);
    for (float r : {96000.0f, 22050.0f, 48000.0f}) {
        h.p().setSampleRate(r);
        const RateState& rs = h.engine().rate;
        EXPECT_FLOAT_EQ(rs.filterCeiling, 0.4f * r) << r;
        EXPECT_FLOAT_EQ(rs.doubleRate, 2.0f * r);
        EXPECT_FLOAT_EQ(rs.invRate, 1.0f / r);
        EXPECT_DOUBLE_EQ(rs.invRateD, 1.0 / r);
        EXPECT_FLOAT_EQ(rs.invDoubleRate, 0.5f / r);
        EXPECT_FLOAT_EQ(h.engine().render.samplesPerWholeNote, r * 240.0f / 150.0f);
        EXPECT_NEAR(h.engine().render.samplesPerWholeNoteD, r * 240.0 / 150.0, 1e-6);
        // The DC blocker's corner stays near 9.5 Hz at every rate.
        EXPECT_NEAR(rs.dcCoef * rs.doubleRate / (2.0 * std::numbers::pi), 9.55, 0.05) << r;
        EXPECT_FLOAT_EQ(rs.dcCoef + rs.dcCoefComplement, 1.0f);
        EXPECT_FLOAT_EQ(h.p().getSampleRate(), r);
    }
}

TEST(SampleRate, ChangeDuringAPresetIsAppliedAtTheNextBlockStart) {
    PluginHarness h;
    holdNotes(h);
    h.p().core.settingPreset.set();
    h.p().setSampleRate(48000.0f);
    EXPECT_EQ(rateOf(h), 44100.0f) << "not while the preset is being applied";
    h.render(32); // a block that starts while it still is: silent, nothing changes
    EXPECT_EQ(rateOf(h), 44100.0f);

    h.p().core.settingPreset.clear();
    h.render(1);
    EXPECT_EQ(rateOf(h), 48000.0f) << "the rate must not be lost";
    EXPECT_FLOAT_EQ(h.engine().rate.filterCeiling, 0.4f * 48000.0f);
    EXPECT_EQ(h.gatedCount(), 0);

    // Only once.
    holdNotes(h);
    h.render(64);
    EXPECT_EQ(h.gatedCount(), 3);
}

TEST(SampleRate, TheLastRateAnnouncedDuringAPresetWins) {
    PluginHarness h;
    h.p().core.settingPreset.set();
    h.p().setSampleRate(48000.0f);
    h.p().setSampleRate(88200.0f);
    h.p().core.settingPreset.clear();
    h.render(1);
    EXPECT_EQ(rateOf(h), 88200.0f);
}

TEST(SampleRate, AnEarlierPendingRateDoesNotOverrideALaterOne) {
    PluginHarness h;
    h.p().core.settingPreset.set();
    h.p().setSampleRate(48000.0f); // kept for the next block
    h.p().core.settingPreset.clear();
    h.p().setSampleRate(96000.0f); // announced before that block, applied at once
    ASSERT_EQ(rateOf(h), 96000.0f);
    h.render(64);
    EXPECT_EQ(rateOf(h), 96000.0f) << "the host's latest rate is the one in force";
}

// Each rate's effect tables take 768 KiB: a host that announces many
// slightly different rates (some while a preset is applied) must not grow
// the process; the tables go with the last instance that uses them.
TEST(SampleRate, EffectTablesOfRatesNoInstanceUsesAreFreed) {
    const int before = EffectTables::liveCount();
    {
        PluginHarness h;
        holdNotes(h);
        for (int k = 1; k <= 200; ++k) {
            const float rate = 44100.0f + 0.5f * static_cast<float>(k);
            const bool duringPreset = k % 2 == 0;
            if (duringPreset) h.p().core.settingPreset.set(); // kept for the next block
            h.p().setSampleRate(rate + 0.25f);
            h.p().setSampleRate(rate);
            h.p().core.settingPreset.clear();
            h.render(16);
            ASSERT_EQ(rateOf(h), rate);
        }
        // The rate's tables and the ones before them, should a block still
        // run on those; and those the audio thread let go when it took the
        // last rate, until the next call off the audio thread frees them.
        EXPECT_LE(EffectTables::liveCount() - before, 3);
        EXPECT_TRUE(h.allFinite);
    }
    EXPECT_LE(EffectTables::liveCount(), before);
}

TEST(SampleRate, EnvelopeTimesAreTheSameInSecondsAtEveryRate) {
    // Frames from note on until the amplitude attack (about 128 ms) is over.
    auto attackSeconds = [](float rate) {
        PluginHarness h;
        h.p().setSampleRate(rate);
        h.p().setParameter(tag::AmpEnvAttack, 0.5f);
        h.send(EventBlock().noteOn(0, 60));
        int frames = 0;
        while (frames < 100000) {
            h.render(16);
            frames += 16;
            if (h.voice(0).env[kEnvAmp].stage != kEnvAttack) break;
        }
        return frames / static_cast<double>(rate);
    };
    const double at44 = attackSeconds(44100.0f);
    const double at96 = attackSeconds(96000.0f);
    const double at192 = attackSeconds(192000.0f);
    EXPECT_NEAR(at44, 0.128, 0.003);
    EXPECT_NEAR(at96, at44, 0.001);
    EXPECT_NEAR(at192, at44, 0.001);
}

TEST(SampleRate, DeprecatedAccumulatingProcessIsSilentButConsumesMidi) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(20, 62));
    std::vector<float> l(64, 0.5f), r(64, 0.5f);
    float* out[2] = {l.data(), r.data()};
    h.p().__processDeprecated(nullptr, out, 64);
    for (int i = 0; i < 64; ++i) {
        EXPECT_EQ(l[i], 0.0f);
        EXPECT_EQ(r[i], 0.0f);
    }
    EXPECT_EQ(h.pending(), 0);
    EXPECT_GE(h.gatedVoiceWithNote(60), 0);
    EXPECT_GE(h.gatedVoiceWithNote(62), 0);
    h.p().__processDeprecated(nullptr, nullptr, 16);
    h.p().__processDeprecated(nullptr, out, 0);
}
