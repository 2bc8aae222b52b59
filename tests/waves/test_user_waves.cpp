// User waves held as packed partials in parameters: the packing and its
// bounds, synthesis of a wave's table from its partials, analysis of a table
// back into partials, the sample accessors, the LFO rows that follow the
// user waves, and a main-thread conversion racing the audio thread.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <memory>
#include <mutex>
#include <numbers>
#include <thread>
#include <vector>

namespace {

constexpr int N = kWaveSize;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// The packed integer behind a partial parameter: amplitude step * 1024 +
// phase step.
int packedOf(float value) {
    return static_cast<int>(value * 1024.0f * 1024.0f);
}

float packedValue(int ampStep, int phaseStep) {
    return static_cast<float>(ampStep * 1024 + phaseStep) / 1048576.0f;
}

// A table from partials as the additive synthesis defines it: each partial
// j is a(j) cos(theta(j) - 2 pi (j + 1) i / N) with theta = (phase - 0.5) 2 pi,
// and the sum is scaled so that its peak equals the largest amplitude.
std::vector<double> additive(const std::vector<TAdditive>& partials) {
    std::vector<double> x(N, 0.0);
    double largest = 0.0;
    for (size_t j = 0; j < partials.size(); ++j) {
        const double a = partials[j].amplitude;
        if (a == 0.0) continue;
        largest = std::max(largest, a);
        const double theta = (partials[j].phase - 0.5) * kTwoPi;
        const double step = kTwoPi * static_cast<double>(j + 1) / N;
        for (int i = 0; i < N; ++i) x[i] += a * std::cos(theta - step * i);
    }
    double peak = 0.0;
    for (double v : x) peak = std::max(peak, std::fabs(v));
    if (peak > 0.0)
        for (double& v : x) v *= largest / peak;
    return x;
}

template <typename Table> double maxDiff(const Table& table, const std::vector<double>& expected) {
    double d = 0.0;
    for (int i = 0; i < N; ++i)
        d = std::max(d, std::fabs(static_cast<double>(table[i]) - expected[i]));
    return d;
}

std::vector<double> sineWave() {
    std::vector<double> s(N);
    for (int i = 0; i < N; ++i) s[i] = std::sin(kTwoPi * i / N);
    return s;
}

// One plug-in for the whole group (each holds tens of megabytes); every test
// sets up the partials it relies on.
class UserWaveTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { harness = new PluginHarness(); }
    static void TearDownTestSuite() {
        delete harness;
        harness = nullptr;
    }

    APlugin& p() { return harness->p(); }
    PluginHarness& h() { return *harness; }

    // Every partial of wave w silent; only the given partials set.
    void setOnly(int w, std::initializer_list<std::pair<int, TAdditive>> partials) {
        for (int j = 0; j < kUserWavePartials; ++j) p().setWaveTablePartials(w, j, 0.0f, 0.0f);
        for (const auto& [j, partial] : partials) p().setWaveTablePartials(w, j, partial);
    }
    // The wave's partials as the parameters decode them.
    std::vector<TAdditive> decoded(int w) {
        std::vector<TAdditive> out(kUserWavePartials);
        for (int j = 0; j < kUserWavePartials; ++j) out[j] = p().getWaveTablePartials(w, j);
        return out;
    }

    static PluginHarness* harness;
};

PluginHarness* UserWaveTest::harness = nullptr;

using UserWavePacking = UserWaveTest;
using UserWaveSynthesis = UserWaveTest;
using UserWaveSamples = UserWaveTest;
using UserWaveLfo = UserWaveTest;
using UserWaveThreads = UserWaveTest;

} // namespace

// ------------------------------------------------------------------ packing

TEST_F(UserWavePacking, BothHalvesPackIntoOneParameter) {
    p().setWaveTablePartials(0, 0, 1.0f, 0.75f);
    EXPECT_EQ(p().getParameter(tag::partial(0, 0)), packedValue(1023, 767));
    EXPECT_EQ(p().getParameter(tag::partial(0, 0)), (1023.0f * 1024.0f + 767.0f) / 1048576.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsAmp(0, 0), 1.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsPhase(0, 0), 767.0f / 1023.0f);
    const TAdditive both = p().getWaveTablePartials(0, 0);
    EXPECT_FLOAT_EQ(both.amplitude, 1.0f);
    EXPECT_FLOAT_EQ(both.phase, 767.0f / 1023.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartials(0, 0, false), 1.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartials(0, 0, true), 767.0f / 1023.0f);

    // The same through a TAdditive, and into the second wave.
    p().setWaveTablePartials(1, 127, TAdditive{0.25f, 0.5f});
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(1, 127))), 255 * 1024 + 511);
}

TEST_F(UserWavePacking, DecodingAGivenValue) {
    float a = -1.0f, ph = -1.0f;
    APlugin::getWaveTablePartials(packedValue(511, 255), a, ph);
    EXPECT_FLOAT_EQ(a, 511.0f / 1023.0f);
    EXPECT_FLOAT_EQ(ph, 255.0f / 1023.0f);
    APlugin::getWaveTablePartials(0.0f, a, ph);
    EXPECT_EQ(a, 0.0f);
    EXPECT_EQ(ph, 0.0f);
}

TEST_F(UserWavePacking, AmplitudeAloneKeepsThePhaseStep) {
    p().setWaveTablePartials(1, 5, 0.3f, 0.6f);
    const int before = packedOf(p().getParameter(tag::partial(1, 5)));
    ASSERT_EQ(before % 1024, 613); // int(0.6 * 1023)

    p().setWaveTablePartialsAmp(1, 5, 0.5f);
    const int after = packedOf(p().getParameter(tag::partial(1, 5)));
    EXPECT_EQ(after / 1024, 511);
    EXPECT_EQ(after % 1024, 613);

    // And the phase alone keeps the amplitude step.
    p().setWaveTablePartialsPhase(1, 5, 0.1f);
    const int phased = packedOf(p().getParameter(tag::partial(1, 5)));
    EXPECT_EQ(phased / 1024, 511);
    EXPECT_EQ(phased % 1024, 102); // int(0.1 * 1023)

    // The bool form is the same pair of operations.
    p().setWaveTablePartials(1, 5, 0.25f, false);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(1, 5))), 255 * 1024 + 102);
    p().setWaveTablePartials(1, 5, 0.75f, true);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(1, 5))), 255 * 1024 + 767);
}

TEST_F(UserWavePacking, BadWaveOrPartialReadsSilentHalfTurn) {
    EXPECT_EQ(p().getWaveTablePartialsPhase(2, 0), 0.5f);
    EXPECT_EQ(p().getWaveTablePartialsAmp(2, 0), 0.0f);
    EXPECT_EQ(p().getWaveTablePartialsAmp(0, 128), 0.0f);
    EXPECT_EQ(p().getWaveTablePartialsPhase(0, 128), 0.5f);
    const TAdditive far = p().getWaveTablePartials(0, 200);
    EXPECT_EQ(far.amplitude, 0.0f);
    EXPECT_EQ(far.phase, 0.5f);
    const TAdditive negative = p().getWaveTablePartials(-1, -1);
    EXPECT_EQ(negative.amplitude, 0.0f);
    EXPECT_EQ(negative.phase, 0.5f);
    EXPECT_EQ(p().getWaveTablePartials(5, 3, true), 0.5f);
    EXPECT_EQ(p().getWaveTablePartials(5, 3, false), 0.0f);

    EXPECT_TRUE(APlugin::isValidWavePartial(1, 127));
    EXPECT_FALSE(APlugin::isValidWavePartial(-1, 0));
    EXPECT_FALSE(APlugin::isValidWavePartial(0, -1));
    EXPECT_FALSE(APlugin::isValidWavePartial(2, 0));
    EXPECT_FALSE(APlugin::isValidWavePartial(0, 128));
}

TEST_F(UserWavePacking, BadWaveOrPartialWritesNothing) {
    // Wave 2 partial 0 would land on 971 (the first has-name switch) and
    // wave 0 partial 128 on wave 1's first partial.
    const float hasName = p().getParameter(971);
    const float wave1First = p().getParameter(tag::partial(1, 0));
    const float wave0Last = p().getParameter(tag::partial(0, 127));
    const float below = p().getParameter(tag::partial(0, 0) - 1);
    p().setWaveTablePartials(2, 0, 0.3f, 0.3f);
    p().setWaveTablePartials(0, 128, 0.3f, 0.3f);
    p().setWaveTablePartials(-1, 0, 0.3f, 0.3f);
    p().setWaveTablePartials(0, -1, 0.3f, 0.3f);
    p().setWaveTablePartialsAmp(2, 0, 0.3f);
    p().setWaveTablePartialsPhase(0, 128, 0.3f);
    p().setWaveTablePartials(2, 0, TAdditive{0.3f, 0.3f});
    EXPECT_EQ(p().getParameter(971), hasName);
    EXPECT_EQ(p().getParameter(tag::partial(1, 0)), wave1First);
    EXPECT_EQ(p().getParameter(tag::partial(0, 127)), wave0Last);
    EXPECT_EQ(p().getParameter(tag::partial(0, 0) - 1), below);
}

TEST_F(UserWavePacking, ParameterOfOneReadsFullAmplitudeZeroPhase) {
    p().setParameter(tag::partial(0, 3), 1.0f);
    EXPECT_EQ(p().getWaveTablePartialsAmp(0, 3), 1.0f);
    EXPECT_EQ(p().getWaveTablePartialsPhase(0, 3), 0.0f);

    // Replacing one half starts from amplitude step 1023, phase step 0.
    p().setWaveTablePartialsPhase(0, 3, 0.5f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 3))), 1023 * 1024 + 511);
    p().setParameter(tag::partial(0, 3), 1.0f);
    p().setWaveTablePartialsAmp(0, 3, 0.5f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 3))), 511 * 1024 + 0);
}

TEST_F(UserWavePacking, AmplitudeOutOfRangeIsClampedWithoutTouchingThePhase) {
    p().setWaveTablePartials(0, 1, 1.5f, 0.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 1))), 1023 * 1024 + 255);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsAmp(0, 1), 1.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsPhase(0, 1), 255.0f / 1023.0f);

    p().setWaveTablePartials(0, 1, -0.5f, 0.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 1))), 0 * 1024 + 255);
    EXPECT_EQ(p().getWaveTablePartialsAmp(0, 1), 0.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsPhase(0, 1), 255.0f / 1023.0f);

    // The single-half setter clamps the same way.
    p().setWaveTablePartials(0, 2, 0.2f, 0.4f); // phase step 409
    p().setWaveTablePartialsAmp(0, 2, 1.5f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 2))), 1023 * 1024 + 409);
    p().setWaveTablePartialsAmp(0, 2, -1.0f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 2))), 0 * 1024 + 409);
}

TEST_F(UserWavePacking, PhaseOutsideOneTurnWrapsWithoutTouchingTheAmplitude) {
    p().setWaveTablePartials(0, 4, 0.5f, 1.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 4))), 511 * 1024 + 255);
    p().setWaveTablePartials(0, 4, 0.5f, -0.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 4))), 511 * 1024 + 767);
    p().setWaveTablePartials(0, 4, 0.5f, 3.5f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 4))), 511 * 1024 + 511);

    p().setWaveTablePartialsPhase(0, 4, 1.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 4))), 511 * 1024 + 255);
    p().setWaveTablePartialsPhase(0, 4, -0.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 4))), 511 * 1024 + 767);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsAmp(0, 4), 511.0f / 1023.0f);

    // A full turn is the last step, not 0: a phase dragged to the top stays there.
    p().setWaveTablePartials(0, 4, 0.5f, 1.0f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 4))), 511 * 1024 + 1023);
    p().setWaveTablePartialsPhase(0, 4, 1.0f);
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsPhase(0, 4), 1.0f);
}

TEST_F(UserWavePacking, NonFiniteInputsStayInsideTheirField) {
    p().setWaveTablePartials(0, 6, std::nanf(""), 0.5f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 6))), 0 * 1024 + 511);
    p().setWaveTablePartials(0, 6, 0.5f, std::numeric_limits<float>::infinity());
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 6))) / 1024, 511);
    p().setWaveTablePartials(0, 6, std::numeric_limits<float>::infinity(), 0.25f);
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 6))) % 1024, 255);
}

// ------------------------------------------------------------------ synthesis and analysis

TEST_F(UserWaveSynthesis, OnePartialGivesItsCosine) {
    setOnly(1, {{2, TAdditive{0.5f, 0.5f}}});
    p().waves.rebuildRequested.store(false);
    p().convertWaveTablePartialsToWaveTable(1);

    // Exactly the decoded partial (amplitude and phase steps of 511) ...
    const std::vector<double> exact = additive(decoded(1));
    EXPECT_LT(maxDiff(p().waves.userWaveTable[1], exact), 2e-5);
    // ... which is 0.5 cos(2 pi 3 i / 2048) to the packing's resolution.
    std::vector<double> nominal(N);
    for (int i = 0; i < N; ++i) nominal[i] = 0.5 * std::cos(kTwoPi * 3.0 * i / N);
    EXPECT_LT(maxDiff(p().waves.userWaveTable[1], nominal), 2e-3);
    EXPECT_NEAR(p().waves.userWaveTable[1][0], 511.0 / 1023.0, 2e-5);

    // The scratch table holds the last wave built, and a rebuild is asked for.
    for (int i = 0; i < N; ++i)
        ASSERT_EQ(p().mainWaveWorkspace().tempWaveTable[i], p().waves.userWaveTable[1][i]) << i;
    EXPECT_TRUE(p().waves.rebuildRequested.load());
}

TEST_F(UserWaveSynthesis, PeakEqualsTheLargestPartial) {
    setOnly(0,
            {{0, TAdditive{0.6f, 0.75f}}, {1, TAdditive{0.3f, 0.2f}}, {9, TAdditive{0.2f, 0.9f}}});
    p().convertWaveTablePartialsToWaveTable(0);
    const auto& t = p().waves.userWaveTable[0];
    float peak = 0.0f;
    for (float v : t) peak = std::max(peak, std::fabs(v));
    EXPECT_NEAR(peak, 613.0 / 1023.0, 1e-5); // int(0.6 * 1023) / 1023
    EXPECT_LT(maxDiff(t, additive(decoded(0))), 2e-5);
}

TEST_F(UserWaveSynthesis, SilentPartialsGiveASilentTableAndStillRequestARebuild) {
    setOnly(0, {{3, TAdditive{0.7f, 0.3f}}});
    p().convertWaveTablePartialsToWaveTable(0);
    ASSERT_GT(std::fabs(p().waves.userWaveTable[0][100]), 0.0f);

    for (int j = 0; j < kUserWavePartials; ++j) p().setWaveTablePartials(0, j, 0.0f, 0.37f);
    p().waves.rebuildRequested.store(false);
    p().convertWaveTablePartialsToWaveTable(0);
    for (int i = 0; i < N; ++i) {
        ASSERT_EQ(p().waves.userWaveTable[0][i], 0.0f) << i;
        ASSERT_EQ(p().mainWaveWorkspace().tempWaveTable[i], 0.0f) << i;
    }
    EXPECT_TRUE(p().waves.rebuildRequested.load());
}

TEST_F(UserWaveSynthesis, BadWaveConvertsNothing) {
    p().waves.rebuildRequested.store(false);
    p().convertWaveTablePartialsToWaveTable(2);
    p().convertWaveTablePartialsToWaveTable(-1);
    p().convertWaveTableToWaveTablePartials(2);
    EXPECT_FALSE(p().waves.rebuildRequested.load());
}

TEST_F(UserWaveSynthesis, SineRoundTripsThroughThePartials) {
    const std::vector<double> sine = sineWave();
    for (int i = 0; i < N; ++i) p().setWaveTableValue(0, i, static_cast<float>(sine[i]));
    p().waves.rebuildRequested.store(false);

    p().convertWaveTableToWaveTablePartials(0);
    EXPECT_FALSE(p().waves.rebuildRequested.load()); // analysis alone does not rebuild
    EXPECT_EQ(packedOf(p().getParameter(tag::partial(0, 0))) / 1024, 1023);
    EXPECT_NEAR(p().getWaveTablePartialsPhase(0, 0), 0.75, 1.0 / 1023.0 + 1e-6);
    for (int j = 1; j < kUserWavePartials; ++j)
        ASSERT_EQ(p().getWaveTablePartialsAmp(0, j), 0.0f) << j;

    p().convertWaveTablePartialsToWaveTable(0);
    EXPECT_LT(maxDiff(p().waves.userWaveTable[0], sine), 4e-3); // one phase step is 0.006 rad

    // The scratch conversions, unpacked: exact to single precision.
    WaveWorkspace& work = p().mainWaveWorkspace();
    for (int i = 0; i < N; ++i) work.tempWaveTable[i] = static_cast<float>(sine[i]);
    p().convertTempWaveTableToTempPartials(128);
    EXPECT_NEAR(work.tempPartials[0].amplitude, 1.0, 1e-5);
    EXPECT_NEAR(work.tempPartials[0].phase, 0.75, 1e-4);
    for (int j = 1; j < 128; ++j) ASSERT_LT(work.tempPartials[j].amplitude, 1e-4) << j;
    for (int i = 0; i < N; ++i) work.tempWaveTable[i] = 0.0f;
    p().convertTempPartialsToTempWaveTable(128);
    EXPECT_LT(maxDiff(work.tempWaveTable, sine), 2e-4);
}

TEST_F(UserWaveSynthesis, AnalysisClampsTheScratchTable) {
    WaveWorkspace& work = p().mainWaveWorkspace();
    for (int i = 0; i < N; ++i)
        work.tempWaveTable[i] = static_cast<float>(3.0 * std::sin(kTwoPi * 2.0 * i / N));
    p().convertTempWaveTableToTempPartials(128);
    for (float v : work.tempWaveTable) ASSERT_LE(std::fabs(v), 1.0f);
    // The largest partial gets the clamped wave's peak.
    float largest = 0.0f;
    int at = -1;
    for (int j = 0; j < 128; ++j)
        if (work.tempPartials[j].amplitude > largest) {
            largest = work.tempPartials[j].amplitude;
            at = j;
        }
    EXPECT_EQ(at, 1);
    EXPECT_NEAR(largest, 1.0, 1e-5);
}

// ------------------------------------------------------------------ samples

TEST_F(UserWaveSamples, IndexAndValueAreClamped) {
    p().setWaveTableValue(0, 5000, 3.0f);
    EXPECT_EQ(p().waves.userWaveTable[0][2047], 1.0f);
    EXPECT_EQ(p().getWaveTableValue(0, 2047), 1.0f);
    EXPECT_EQ(p().getWaveTableValue(0, 99999), 1.0f);

    p().setWaveTableValue(1, -7, -2.5f);
    EXPECT_EQ(p().waves.userWaveTable[1][0], -1.0f);
    EXPECT_EQ(p().getWaveTableValue(1, -100), -1.0f);

    p().setWaveTableValue(1, 10, 0.25f);
    EXPECT_EQ(p().getWaveTableValue(1, 10), 0.25f);

    const auto before = p().waves.userWaveTable;
    p().setWaveTableValue(2, 10, 0.5f);
    p().setWaveTableValue(-1, 10, 0.5f);
    EXPECT_EQ(p().waves.userWaveTable, before);
    EXPECT_EQ(p().getWaveTableValue(2, 10), 0.0f);
    EXPECT_EQ(p().getWaveTableValue(-1, 10), 0.0f);
}

// ------------------------------------------------------------------ LFO rows

TEST_F(UserWaveLfo, RowsFollowTheTableAtTheNextRebuildStart) {
    // LFO 1 plays user wave 1's shape (LFO wave 17) from the next rare tick.
    constexpr int kUserWaveShape = 17, kSine = 0;
    p().setSteppedValue(tag::freeLfoWave(0), kUserWaveShape);
    h().render(128);
    h().settle_();
    setOnly(0, {{1, TAdditive{0.7f, 0.3f}}, {4, TAdditive{0.2f, 0.6f}}});
    p().convertWaveTablePartialsToWaveTable(0);
    auto table = p().waves.userWaveTable[0];
    auto expectedRow = [&](int i) {
        const float x = static_cast<float>(i) / 65536.0f * 2047.9999f;
        const int j = static_cast<int>(x);
        const int j1 = (j + 1) % 2047;
        return table[j] + (table[j1] - table[j]) * (x - static_cast<float>(j));
    };
    auto rowMatches = [&] {
        // Bit for bit: the rows are written four samples at a time.
        const float* row = p().engine.userLfoRows.row(0);
        for (int i = 0; i < 65536; ++i)
            if (row[i] != expectedRow(i)) return false;
        return true;
    };
    EXPECT_FALSE(rowMatches()); // still the previous wave

    h().alignTo(4096);
    EXPECT_FALSE(rowMatches());
    h().render(1); // the 4096-frame tick starts the rebuild (the oscillator plays no user
                   // wave, so its tables stay as they are)
    EXPECT_FALSE(p().waves.rebuildRequested.load());
    EXPECT_TRUE(rowMatches());
    // The wrap: the last entries interpolate towards sample 1, not sample 0.
    const float* row = p().engine.userLfoRows.row(0);
    EXPECT_FLOAT_EQ(row[65535], expectedRow(65535));
    EXPECT_FLOAT_EQ(row[0], table[0]);
    h().settle_();

    // One sample drawn into the table alone changes the rows as well, at the
    // next rebuild start.
    p().setWaveTableValue(0, 1000, -0.9f);
    table = p().waves.userWaveTable[0];
    p().requestTableRebuild();
    EXPECT_FALSE(rowMatches());
    h().alignTo(4096);
    h().render(1);
    EXPECT_TRUE(rowMatches());
    h().settle_();

    // A row no LFO plays is left as it is, until an LFO takes the shape: it
    // then plays the table as it is now from the next rare tick on.
    p().setSteppedValue(tag::freeLfoWave(0), kSine);
    h().render(128);
    p().setWaveTableValue(0, 10, 0.8f);
    table = p().waves.userWaveTable[0];
    p().requestTableRebuild();
    h().alignTo(4096);
    h().render(1);
    h().settle_();
    EXPECT_FALSE(rowMatches());
    p().setSteppedValue(tag::freeLfoWave(0), kUserWaveShape);
    h().render(128);
    EXPECT_TRUE(rowMatches());
}

// ------------------------------------------------------------------ threads

// The editor converts on the main thread while the audio thread renders and
// rebuilds: neither may see the other's half-finished work.
TEST_F(UserWaveThreads, MainThreadConversionsDoNotDisturbTheAudioThread) {
    APlugin& plugin = p();
    setOnly(0,
            {{0, TAdditive{0.8f, 0.75f}}, {2, TAdditive{0.4f, 0.1f}}, {6, TAdditive{0.2f, 0.5f}}});
    plugin.convertWaveTablePartialsToWaveTable(0);
    plugin.setSteppedValue(tag::OscWaveA, kFirstUserWave); // user wave 0
    plugin.setSteppedValue(tag::OscWaveB, 1);              // Saw
    plugin.setSteppedValue(tag::OscMode, 0);               // Mix
    h().settle_();
    ASSERT_EQ(plugin.waves.cachedWaveA, kFirstUserWave);
    const WaveTable wave = plugin.waves.userWaveTable[0];
    float peak = 0.0f;
    for (float v : wave) peak = std::max(peak, std::fabs(v));

    // Table 0 of frame 0 is wave A brought to its own peak.
    auto frame0Error = [&] {
        const WaveTable& t = plugin.waves.pitchTableBank[plugin.waves.activeBank.load()][0][0];
        double d = 0.0;
        for (int i = 0; i < N; ++i) d = std::max(d, std::fabs(double(t[i]) - double(wave[i])));
        return d;
    };
    ASSERT_LT(frame0Error(), 1e-4);

    std::atomic<bool> stop{false};
    std::atomic<int> conversions{0};
    std::atomic<int> tornTables{0};
    std::thread editor([&] {
        while (!stop.load()) {
            plugin.convertWaveTablePartialsToWaveTable(0);
            {
                std::lock_guard lock(plugin.waves.userWaveMutex);
                const WaveTable& t = plugin.waves.userWaveTable[0];
                if (t != wave) tornTables.fetch_add(1);
            }
            // Bursts of edits with pauses long enough for a whole rebuild.
            const int n = conversions.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(n % 8 == 7 ? 90 : 2));
        }
    });

    int flips = 0, badFlips = 0;
    int bank = plugin.waves.activeBank.load();
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
    while (std::chrono::steady_clock::now() < until) {
        h().render(512);
        if (plugin.waves.activeBank.load() != bank) {
            bank = plugin.waves.activeBank.load();
            ++flips;
            if (frame0Error() > 1e-4) ++badFlips;
        }
    }
    stop.store(true);
    editor.join();

    RecordProperty("bankSwitchesDuringEdits", flips);
    EXPECT_GT(conversions.load(), 10);
    EXPECT_EQ(tornTables.load(), 0);
    EXPECT_EQ(badFlips, 0) << "of " << flips << " flips";
    EXPECT_TRUE(h().allFinite);

    // Once the editor is quiet the last request completes with the same wave.
    h().settle_();
    EXPECT_LT(frame0Error(), 1e-4);
    EXPECT_EQ(plugin.waves.userWaveTable[0], wave);
}

// A conversion that the audio thread had to put off (the user waves were
// busy) is not lost: it happens at a following 4096-frame tick, even when
// nothing else asks for a rebuild.
TEST_F(UserWaveThreads, PostponedAudioThreadConversionIsNotLost) {
    APlugin& plugin = p();
    setOnly(1, {{0, TAdditive{0.5f, 0.75f}}});
    plugin.convertWaveTablePartialsToWaveTable(1);
    h().settle_();
    const WaveTable before = plugin.waves.userWaveTable[1];

    // New partials, not yet converted.
    setOnly(1, {{3, TAdditive{0.6f, 0.4f}}});
    const std::vector<double> expected = additive(decoded(1));

    std::atomic<int> state{0}; // 1 locked, 2 asked to unlock
    std::thread holder([&] {
        std::unique_lock lock(plugin.waves.userWaveMutex);
        state.store(1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (state.load() != 2 && std::chrono::steady_clock::now() < until)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    while (state.load() != 1) std::this_thread::yield();
    plugin.convertUserWaveOnAudioThread(1); // returns at once: the lock is busy
    state.store(2);
    holder.join();
    EXPECT_EQ(plugin.waves.userWaveTable[1], before);

    h().render(2 * 4096);
    EXPECT_LT(maxDiff(plugin.waves.userWaveTable[1], expected), 2e-5)
        << "the postponed conversion never ran";
    h().settle_();
}
