// The XY pad, listened to and measured: the pad's sources on a volume slot
// and on the morph, takes reduced to their path, and the replay of a path
// through every loop mode, point and space quantisation, speed and sync.

#include "core/mod_slots.h"
#include "engine/sound_check.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace {

constexpr int kSine = 0;
constexpr int kSaw = 1;

double rms(const std::vector<float>& x) {
    double sum = 0.0;
    for (float v : x) sum += static_cast<double>(v) * v;
    return std::sqrt(sum / static_cast<double>(x.size()));
}

// ------------------------------------------------------------------ the pad's sources

TEST(XYPadSources, VolumeSlotFollowsThePadFromSilenceToFullLevel) {
    struct Case {
        float padX, amount, level; // level relative to the unmodulated note
    };
    const Case cases[] = {
        {1.0f, 1.0f, 1.0f}, // the pad's +1 at full amount: full level
        {0.5f, 1.0f, 0.5f}, // the centre: half
        {0.0f, 1.0f, 0.0f}, // the left edge: silence
        {0.0f, 0.5f, 1.0f}, // no amount: no effect
        {1.0f, 0.0f, 0.0f}, // -1 at the right edge: silence
        {0.5f, 0.0f, 0.5f}, // and half at the centre
    };
    SoundCheck s;
    APlugin& p = s.h.p();
    p.setModDest(14, dst::MainVolume); // "XY X 2 Mod Destination"
    p.setParameter(tag::XYModAmountFirst + 2, 0.5f);
    s.h.settle_();
    const double reference = rms(s.play(69, 2048, 8192));
    ASSERT_GT(reference, 0.01);
    for (const Case& c : cases) {
        p.setXY(c.padX, 0.5f);
        p.setParameter(tag::XYModAmountFirst + 2, c.amount);
        s.h.settle_();
        const double level = rms(s.play(69, 2048, 8192)) / reference;
        EXPECT_NEAR(level, c.level, 0.02) << "pad " << c.padX << " amount " << c.amount;
    }
}

TEST(XYPadSources, XToMorphMovesTheOscillatorTowardWaveB) {
    SoundCheck s;
    s.waves(kSine, kSaw);
    APlugin& p = s.h.p();
    p.setParameter(tag::OscMorph, 0.0f);
    p.setParameter(tag::XYXToMorph, 1.0f); // full amount
    const double rate = s.rate();
    // The saw's second harmonic is half its fundamental; the sine has none.
    auto secondHarmonic = [&](float padX) {
        p.setXY(padX, 0.5f);
        s.h.settle_();
        const std::vector<float> x = s.play(69, 2048, 16384);
        const double f0 = spectrum::peakFrequency(x, rate, 150.0, 300.0);
        return spectrum::toneAmplitude(x, rate, 2.0 * f0) / spectrum::toneAmplitude(x, rate, f0);
    };
    EXPECT_LT(secondHarmonic(0.5f), 0.01);        // centre: wave A
    EXPECT_NEAR(secondHarmonic(1.0f), 0.5, 0.03); // +1: all the way to wave B
    const double half = secondHarmonic(0.75f);    // half way
    EXPECT_GT(half, 0.1);
    EXPECT_LT(half, 0.4);
}

// ------------------------------------------------------------------ takes

struct XYTake : ::testing::Test {
    PluginHarness h;
    APlugin& p() { return h.p(); }
    float value(int t) { return p().getParameter(t); }
    void record(float x, float y, int frames) {
        p().setXYRecord(x, y);
        h.renderIn(frames, 512);
    }
};

TEST_F(XYTake, TakeStoresItsLengthAndBecomesThePath) {
    p().setSampleRate(48000.0f);
    h.settle_();
    h.setStep(tag::XYRecordMode, 1);
    p().startXYRecord();
    record(0.2f, 0.8f, 60000); // 1.25 s
    record(0.6f, 0.4f, 60016); // 1.25 s and the tick that ends it
    p().endXYRecord();
    EXPECT_FLOAT_EQ(value(tag::XYLengthSec), 0.002f); // 2.5 s
    EXPECT_FLOAT_EQ(value(tag::XYLengthMs), 0.5f);
    for (int k : {0, 10, 60}) {
        EXPECT_FLOAT_EQ(value(tag::xyPointX(k)), 0.2f) << k;
        EXPECT_FLOAT_EQ(value(tag::xyPointY(k)), 0.8f) << k;
    }
    for (int k : {66, 100, 127}) {
        EXPECT_FLOAT_EQ(value(tag::xyPointX(k)), 0.6f) << k;
        EXPECT_FLOAT_EQ(value(tag::xyPointY(k)), 0.4f) << k;
    }
    EXPECT_TRUE(p().getHasXYPath());

    // With no take running, ending one changes nothing.
    p().endXYRecord();
    EXPECT_FLOAT_EQ(value(tag::XYLengthMs), 0.5f);
    EXPECT_FLOAT_EQ(value(tag::xyPointX(0)), 0.2f);
}

TEST_F(XYTake, ShortTakesAndLowRatesLeaveNoStaleEntries) {
    p().setSampleRate(8000.0f); // a tick is 2 ms: the grid skips every other entry
    h.settle_();
    h.setStep(tag::XYRecordMode, 1);
    p().startXYRecord();
    record(0.9f, 0.9f, 4000);
    p().endXYRecord();
    p().startXYRecord();
    record(0.3f, 0.1f, 4000);
    p().endXYRecord();
    for (int k = 0; k < kXYPoints; ++k) {
        ASSERT_FLOAT_EQ(value(tag::xyPointX(k)), 0.3f) << k;
        ASSERT_FLOAT_EQ(value(tag::xyPointY(k)), 0.1f) << k;
    }
    // A take of a single entry, ended before any tick: every point is it.
    p().startXYRecord();
    p().setXYRecord(0.75f, 0.25f);
    p().endXYRecord();
    for (int k : {0, 64, 127}) {
        EXPECT_FLOAT_EQ(value(tag::xyPointX(k)), 0.75f);
        EXPECT_FLOAT_EQ(value(tag::xyPointY(k)), 0.25f);
    }
    // A point outside the path is no point: the partial behind it stays.
    const float partial = value(tag::xyPointY(0) + 200);
    const float yPoint = value(tag::xyPointX(0) + 200);
    p().setXY(200, 1.0f, -1.0f);
    p().setXY(-1, 1.0f, -1.0f);
    EXPECT_FLOAT_EQ(value(tag::xyPointY(0) + 200), partial);
    EXPECT_FLOAT_EQ(value(tag::xyPointX(0) + 200), yPoint);
}

// ------------------------------------------------------------------ replay

// A path that shows where the replay is: X of point k is k / 127 on the
// points a stride of 16 visits and 0 elsewhere (with marks), or k / 127
// everywhere (ramp); Y is 0.5.
struct XYReplayTest : ::testing::Test {
    PluginHarness h;
    APlugin& p() { return h.p(); }
    static constexpr double kLength = 1.0; // seconds

    void path(bool marks) {
        for (int k = 0; k < kXYPoints; ++k) {
            const bool visited = !marks || k % 16 == 0;
            p().setParameter(tag::xyPointX(k), visited ? k / 127.0f : 0.0f);
            p().setParameter(tag::xyPointY(k), 0.5f);
        }
        p().setParameter(tag::XYLengthSec, 0.001f); // 1 s
        p().setParameter(tag::XYLengthMs, 0.0f);
        p().setParameter(tag::XYSmooth, 0.0f);
        p().setSteppedValue(tag::XYSyncToMode, 0); // the path's own length
    }
    // Replay, globally, restarted by a note (play mode Mono).
    void start(int loop, int pointQuant = 0, float speed = 0.5f, int spaceQuant = 0) {
        h.send(EventBlock().noteOff(0, 60));
        p().setSteppedValue(tag::XYLoopMode, loop);
        p().setSteppedValue(tag::XYPointQuant, pointQuant);
        p().setSteppedValue(tag::XYSpaceQuant, spaceQuant);
        p().setParameter(tag::XYSpeed, speed);
        p().setSteppedValue(tag::XYPlayMode, xyplay::Mono);
        h.setStep(tag::XYRecordMode, xyrecord::Replay);
        h.alignTo(16);
        h.send(EventBlock().noteOn(0, 60));
    }
    float sourceX() { return h.engine().global.src[src::UniXYX]; }
    // X after `points` path points of replay at speed 1.
    float at(double points) {
        const double ticks = points / kXYPathLen * kLength * h.engine().rate.sampleRateD / kXYTick;
        h.renderIn(kXYTick * static_cast<int>(std::lround(ticks)), 256);
        return sourceX();
    }
};

TEST_F(XYReplayTest, LoopModesAndPointQuantisation) {
    constexpr int kQuant8 = 4; // "8": points 0, 16 .. 112
    struct Case {
        const char* name;
        bool marks;
        int loop, pointQuant;
        double points;            // replay time, in path points at speed 1
        float x;                  // expected "UniPolar XY X"
        float tolerance = 0.012f; // a tick moves X by 0.046 on the glide back to 0
    };
    const Case cases[] = {
        {"Off holds the last point", false, xyloop::Off, 0, 200.0, 1.0f},
        {"Off runs along the path", false, xyloop::Off, 0, 40.0, 40.0f / 127.0f},
        {"On wraps to the start", false, xyloop::On, 0, 128.0 + 32.0, 32.0f / 127.0f},
        {"On glides from 127 back to 0", false, xyloop::On, 0, 127.5, 0.5f, 0.03f},
        {"PingPong comes back", false, xyloop::PingPong, 0, 128.0 + 32.0, 95.0f / 127.0f},
        {"PingPong turns at 127", false, xyloop::PingPong, 0, 127.5, 1.0f},
        {"PingPong is back at 0", false, xyloop::PingPong, 0, 2.0 * 128.0 - 0.5, 0.0f},
        {"\"8\" between points 16 and 32", true, xyloop::On, kQuant8, 24.0, 24.0f / 127.0f},
        {"\"8\" from 112 back to 0", true, xyloop::On, kQuant8, 120.0, 56.0f / 127.0f},
        {"\"128\" sees the points between", true, xyloop::On, 0, 24.5, 0.0f},
        {"\"8\" Off holds point 112", true, xyloop::Off, kQuant8, 300.0, 112.0f / 127.0f},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        path(c.marks);
        start(c.loop, c.pointQuant);
        EXPECT_NEAR(at(c.points), c.x, c.tolerance);
        const double position = h.engine().xy.replay.position;
        EXPECT_GE(position, 0.0);
        EXPECT_LT(position, c.loop == xyloop::PingPong ? 2 * kXYPathLen : kXYPathLen);
        h.send(EventBlock().noteOff(0, 60));
        h.render(4096);
    }
}

TEST_F(XYReplayTest, SpeedScalesTheReplayAndFastRatesStayInRange) {
    path(false);
    start(xyloop::On, 0, 1.0f); // 16 times faster
    EXPECT_NEAR(at(64.0 / 16.0), 64.0f / 127.0f, 0.012f);
    start(xyloop::On, 0, 0.0f); // 16 times slower
    EXPECT_NEAR(at(16.0 * 16.0), 16.0f / 127.0f, 0.012f);

    // A 2 ms path at speed 16 runs three passes a tick: the position wraps
    // back into the path every time.
    p().setParameter(tag::XYLengthSec, 0.0f);
    p().setParameter(tag::XYLengthMs, 0.002f);
    start(xyloop::On, 0, 1.0f);
    for (int tick = 0; tick < 64; ++tick) {
        h.render(16);
        ASSERT_GE(h.engine().xy.replay.position, 0.0);
        ASSERT_LT(h.engine().xy.replay.position, kXYPathLen);
        ASSERT_TRUE(std::isfinite(sourceX()));
    }
}

TEST_F(XYReplayTest, SpaceQuantisationPutsEverySourceOnTheGrid) {
    path(false);
    start(xyloop::On, 0, 0.5f, 4); // a grid of 4
    std::vector<bool> seen(5, false);
    for (int tick = 0; tick < 44100 / 16; ++tick) {
        h.render(16);
        const float u = sourceX();
        const float step = u * 4.0f;
        ASSERT_NEAR(step, std::round(step), 1e-6f) << u;
        seen[static_cast<std::size_t>(std::lround(step))] = true;
        ASSERT_FLOAT_EQ(h.engine().global.src[src::XYX], 2.0f * u - 1.0f);
    }
    for (int k = 0; k < 5; ++k) EXPECT_TRUE(seen[static_cast<std::size_t>(k)]) << k / 4.0;
}

TEST_F(XYReplayTest, PolyReplaysEachVoiceFromItsOwnNote) {
    path(false);
    start(xyloop::On);
    p().setSteppedValue(tag::XYPlayMode, xyplay::Poly);
    h.send(EventBlock().noteOff(0, 60));
    h.renderIn(8192, 256);
    h.alignTo(16);
    h.send(EventBlock().noteOn(0, 60));
    at(64.0);
    h.send(EventBlock().noteOn(0, 67));
    at(32.0);
    const int first = h.gatedVoiceWithNote(60), second = h.gatedVoiceWithNote(67);
    ASSERT_GE(first, 0);
    ASSERT_GE(second, 0);
    EXPECT_NEAR(h.voice(first).mod.src[src::UniXYX], 96.0f / 127.0f, 0.012f);
    EXPECT_NEAR(h.voice(second).mod.src[src::UniXYX], 32.0f / 127.0f, 0.012f);
    // The global sources show the newest voice.
    EXPECT_NEAR(h.engine().global.src[src::UniXYX], 32.0f / 127.0f, 0.012f);
    float x = 0.0f, y = 0.0f;
    p().getXYEditor(first, x, y);
    EXPECT_NEAR(x, 96.0f / 127.0f, 0.012f);
}

TEST_F(XYReplayTest, SyncedPassLastsItsNoteValue) {
    p().setSampleRate(48000.0f);
    h.host.timeInfo.tempo = 120.0;
    h.host.timeInfo.sampleRate = 48000.0;
    h.settle_();
    path(false);
    p().setSteppedValue(tag::XYSyncToMode, 17); // "1/1": 96,000 frames at 120 BPM
    start(xyloop::On);
    h.renderIn(48000, 256); // half the note value is half the path
    EXPECT_NEAR(sourceX(), 64.0f / 127.0f, 0.012f);
    const double rate = h.engine().xy.settings.rate; // points per tick
    EXPECT_NEAR(kXYPathLen * kXYTick / rate, 96001.0, 0.01);
}

} // namespace
