// The voice mix, listened to: main pan, the amplitude envelope's attack and
// release as heard at the output, velocity to volume, and the DC blocker
// (offset removed, corner near 9.5 Hz, stable and cleared at any rate).

#include "engine/dc_blocker.h"
#include "engine/engine_state.h"
#include "engine/sound_check.h"
#include "engine/voice_mix.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <vector>

using spectrum::dB;
using spectrum::toneAmplitude;

namespace {

// Peak level of consecutive windows of `size` samples.
std::vector<double> windowPeaks(const std::vector<float>& x, int size) {
    std::vector<double> peaks;
    for (std::size_t start = 0; start + size <= x.size(); start += size) {
        double p = 0.0;
        for (int i = 0; i < size; ++i)
            p = std::max(p, static_cast<double>(std::fabs(x[start + i])));
        peaks.push_back(p);
    }
    return peaks;
}

// Steady level of note 69 (a 220 Hz sine) at a velocity.
double levelAt(SoundCheck& s, int velocity) {
    return toneAmplitude(s.play(69, 2048, 8192, velocity), s.rate(), 220.0);
}

} // namespace

// ------------------------------------------------------------------ pan

TEST(VoiceMixPan, HalfIsCentred) {
    SoundCheck s;
    s.h.p().setParameter(tag::MainPan, 0.5f);
    std::vector<float> right;
    const std::vector<float> left = s.hold(69, 256, 4096, 127, &right);
    s.release();
    EXPECT_GT(spectrum::rms(left), 0.05);
    int differing = 0;
    for (std::size_t i = 0; i < left.size(); ++i) differing += left[i] != right[i];
    EXPECT_EQ(differing, 0) << "left and right are the same samples";
}

TEST(VoiceMixPan, ZeroIsFullyLeftAndOneFullyRight) {
    SoundCheck s;
    std::vector<float> right;
    s.h.p().setParameter(tag::MainPan, 0.0f);
    std::vector<float> left = s.hold(69, 256, 4096, 127, &right);
    s.release();
    const double centre = spectrum::rms(left);
    EXPECT_GT(centre, 0.05);
    EXPECT_EQ(*std::max_element(right.begin(), right.end()), 0.0f);
    EXPECT_EQ(*std::min_element(right.begin(), right.end()), 0.0f);

    s.h.p().setParameter(tag::MainPan, 1.0f);
    left = s.hold(69, 256, 4096, 127, &right);
    s.release();
    EXPECT_NEAR(spectrum::rms(right), centre, 0.01 * centre) << "the same level on the other side";
    EXPECT_EQ(*std::max_element(left.begin(), left.end()), 0.0f);
    EXPECT_EQ(*std::min_element(left.begin(), left.end()), 0.0f);
}

// ------------------------------------------------------------------ amplitude envelope

TEST(VoiceMixLevel, TheAttackRampsTheOutputUp) {
    SoundCheck s;
    s.h.p().setParameter(tag::AmpEnvAttack, 0.5f); // about 128 ms from silence to full level
    const int ms10 = 441;
    const std::vector<double> p = windowPeaks(s.play(69, 0, 30 * ms10), ms10);
    const double full = p.back();
    ASSERT_GT(full, 0.05);
    EXPECT_LT(p[0], 0.1 * full) << "starts from silence";
    EXPECT_NEAR(p[6], 0.5 * full, 0.1 * full) << "about half way after 60..70 ms";
    for (std::size_t i = 1; i < 13; ++i) EXPECT_GE(p[i], p[i - 1]) << "rising, window " << i;
    for (std::size_t i = 15; i < p.size(); ++i)
        EXPECT_NEAR(p[i], full, 0.02 * full) << "at full level after the attack, window " << i;
}

TEST(VoiceMixLevel, TheReleaseTailFallsToSilence) {
    SoundCheck s;
    s.h.p().setParameter(tag::AmpEnvRelease, 0.4f); // about 50 ms
    const std::vector<float> held = s.hold(69, 2048, 2205);
    const double level = windowPeaks(held, 2205)[0];
    ASSERT_GT(level, 0.05);

    s.h.send(EventBlock().noteOff(0, 69));
    const int ms5 = 221;
    const std::vector<float> tail = s.capture(60 * ms5);
    const std::vector<double> p = windowPeaks(tail, ms5);
    EXPECT_GT(p[0], 0.5 * level) << "no click: the tail starts near the held level";
    bool between = false;
    for (std::size_t i = 1; i < p.size(); ++i) {
        EXPECT_LE(p[i], p[i - 1] * 1.01 + 1e-6) << "falling, window " << i;
        between |= p[i] > 0.05 * level && p[i] < 0.5 * level;
    }
    EXPECT_TRUE(between) << "a gradual tail";
    EXPECT_EQ(p.back(), 0.0) << "silent at the end";
    EXPECT_EQ(s.h.soundingCount(), 0);
}

TEST(VoiceMixLevel, VelocityToVolumeScalesTheLevel) {
    SoundCheck s;
    s.h.p().setParameter(tag::VelocityToVolume, 1.0f); // level follows velocity
    double loud = levelAt(s, 127);
    EXPECT_NEAR(levelAt(s, 64) / loud, 64.0 / 127.0, 0.01);
    EXPECT_NEAR(levelAt(s, 16) / loud, 16.0 / 127.0, 0.005);

    s.h.p().setParameter(tag::VelocityToVolume, 0.0f); // velocity ignored
    loud = levelAt(s, 127);
    EXPECT_NEAR(levelAt(s, 64) / loud, 1.0, 0.01);

    s.h.p().setParameter(tag::VelocityToVolume, 0.5f); // half of the range follows
    loud = levelAt(s, 127);
    EXPECT_NEAR(levelAt(s, 64) / loud, 0.5 * 64.0 / 127.0 + 0.5, 0.01);
}

// ------------------------------------------------------------------ DC blocker

TEST(VoiceMixDc, AWarpedWaveLeavesNoOffset) {
    SoundCheck s;
    // A sine with its first half squeezed into a tenth of the cycle: the
    // narrow positive lobe and the wide negative one average far from 0.
    s.h.p().setParameter(tag::OscSymmetry, 0.1f);
    // 300 ms (18 time constants of the blocker), then 40 whole periods of
    // 220 Hz (2205 samples are exactly 11 periods at 44.1 kHz).
    const std::vector<float> x = s.play(69, 13230, 4 * 2205);
    const double hi = *std::max_element(x.begin(), x.end());
    const double lo = *std::min_element(x.begin(), x.end());
    ASSERT_GT(hi - lo, 0.1);
    EXPECT_GT(std::fabs(hi + lo), 0.2 * (hi - lo)) << "the cycle is lopsided";
    EXPECT_LT(std::fabs(spectrum::mean(x)), 1e-3 * (hi - lo)) << "but its mean is 0";
}

TEST(VoiceMixDc, BlockerCornerIsNearTenHertz) {
    SoundCheck s; // sine
    const double rate = s.rate();
    // Note 62 (146.8 Hz) is far above the corner; sixteen times lower
    // (9.17 Hz) sits just below it.
    const double pass = toneAmplitude(s.play(62, 2048, 16384), rate, 146.83);
    s.h.p().setParameter(tag::OscOctave, 0.0f);
    const std::vector<float> low = s.play(62, 22050, 65536);
    const double f = spectrum::peakFrequency(low, rate, 5.0, 15.0);
    ASSERT_NEAR(f, 146.83 / 16.0, 0.05);
    // A one-pole high-pass with its corner at 60 / (2 pi) = 9.55 Hz.
    const double expected = f / std::hypot(f, 60.0 / (2.0 * spectrum::kPi));
    EXPECT_NEAR(toneAmplitude(low, rate, f) / pass, expected, 0.05);
}

TEST(VoiceMixDc, BlockerStaysStableAtTheLowestAcceptedRates) {
    SoundCheck s;
    s.h.p().setParameter(tag::OscSymmetry, 0.1f); // a wave with a large offset
    for (const float rate : {25.0f, 10.0f, 5.0f}) {
        SCOPED_TRACE(rate);
        s.rate(rate);
        EXPECT_GT(s.h.engine().rate.dcCoef, 0.0f);
        EXPECT_LE(s.h.engine().rate.dcCoef, 1.0f);
        s.hold(60, 0, 256);
        const int v = s.h.gatedVoiceWithNote(60);
        ASSERT_GE(v, 0);
        for (const LaneState& lane : s.h.voice(v).dsp.lanes) {
            EXPECT_TRUE(std::isfinite(lane.dc.state()));
            EXPECT_LE(std::fabs(lane.dc.state()), 2.0);
        }
        EXPECT_TRUE(s.h.allFinite);
        s.release();
    }
}

TEST(VoiceMixDc, ARateChangeClearsEveryBlocker) {
    SoundCheck s;
    s.h.p().setParameter(tag::OscSymmetry, 0.1f);
    s.hold(69, 0, 4410);
    const int v = s.h.gatedVoiceWithNote(69);
    ASSERT_GE(v, 0);
    ASSERT_GT(std::fabs(s.h.voice(v).dsp.lanes[0].dc.state()), 0.01)
        << "the blocker holds the offset";

    s.h.p().setSampleRate(48000.0f);
    for (int w = 0; w < kNumVoices; ++w)
        for (const LaneState& lane : s.h.voice(w).dsp.lanes)
            EXPECT_EQ(lane.dc.state(), 0.0) << "voice " << w;
}

TEST(VoiceMixDc, APairOfLanesMatchesTwoSingleLanesBitForBit) {
    for (const float rate : {44100.0f, 500000.0f, 20.0f}) {
        const float c = DCBlocker::coefficient(rate);
        DCBlocker a, b, singleA, singleB;
        uint32_t seed = 1;
        for (int i = 0; i < 20000; ++i) {
            float y[4];
            for (float& v : y) {
                seed = seed * 1664525u + 1013904223u;
                v = static_cast<float>(seed >> 8) / 8388608.0f - 0.7f; // an offset to remove
            }
            if (i == 500) y[1] = std::numeric_limits<float>::quiet_NaN(); // cleared, not kept
            __m128 y0 = _mm_setr_ps(y[0], y[2], 9.0f, 9.0f),
                   y1 = _mm_setr_ps(y[1], y[3], 9.0f, 9.0f);
            DCBlocker::processPair(a, b, c, y0, y1);
            const float expected[4] = {singleA.process(y[0], c), singleB.process(y[2], c),
                                       singleA.process(y[1], c), singleB.process(y[3], c)};
            const float got[4] = {y0[0], y0[1], y1[0], y1[1]};
            for (int j = 0; j < 4; ++j) // the NaN sample itself passes as NaN
                ASSERT_TRUE(got[j] == expected[j] ||
                            (std::isnan(got[j]) && std::isnan(expected[j])))
                    << rate << " " << i << " " << j;
            ASSERT_EQ(a.state(), singleA.state());
            ASSERT_EQ(b.state(), singleB.state());
        }
    }
}

// ------------------------------------------------------------------ list of voices

namespace {

uint32_t bitsOf(float x) {
    uint32_t b;
    std::memcpy(&b, &x, sizeof b);
    return b;
}

// Sixteen voices: single copies in voices 0..2, 4..7 and 9 (a group shared
// with a voice of several copies, a full group and one alone), four copies
// in voice 3, three in voice 10 and then two (its third lane's blocker
// rests), and voice 5 with two copies for a while (the copies as one vector
// against lane by lane); each sounds over its
// own span of frames. Every frame gets fresh filter outputs (in the voice's
// group for one copy), envelope, pan and volume modulation, now and then a
// loud or a NaN sample and a new drive.
struct MixScene {
    std::vector<VoiceState> voices = std::vector<VoiceState>(kNumVoices);
    std::vector<FilterGroup> groups = std::vector<FilterGroup>(kNumVoices / 4);
    std::vector<VoiceMixGains4> gains = std::vector<VoiceMixGains4>(kNumVoices / 4);
    uint32_t seed = 7;

    float next(float lo, float hi) {
        seed = seed * 1664525u + 1013904223u;
        return lo + (hi - lo) * static_cast<float>(seed >> 8) / 16777216.0f;
    }
    static bool sounds(int v, int frame) {
        if (v != 3 && v != 9 && v != 10 && v > 7) return false;
        return frame >= 9 * v && frame < 260 + 23 * v;
    }
    MixScene() {
        for (int v = 0; v < kNumVoices; ++v) {
            VoiceState& s = voices[v];
            s.uniVoices = v == 3 ? 4 : v == 10 ? 3 : 1;
            s.uniDivide = v == 3 ? 0.5f : v == 10 ? 0.6f : 1.0f;
            s.velocityGain = next(0.2f, 1.0f);
            s.dsp.panSmoothed = next(0.0f, 1.0f);
            for (LaneState& lane : s.dsp.lanes) {
                lane.copyPanL = next(0.0f, 1.0f);
                lane.copyPanR = next(0.0f, 1.0f);
            }
            VoiceMix::noteGains(gains.data(), s, v);
            VoiceMix::noteStart(gains.data(), s, v);
        }
    }
    // The voices with one copy among those that sound; their kept gains and
    // pans in `kept`.
    VoiceMix::Singles singles(int frame, std::vector<VoiceMixGains4>& kept) const {
        VoiceMix::Singles s{0, false, groups.data(), kept.data()};
        for (int v = 0; v < kNumVoices; ++v)
            if (sounds(v, frame)) {
                if (voices[v].uniVoices <= 1)
                    s.voices |= 1u << v;
                else
                    s.others = true;
            }
        return s;
    }
    void inputs(int frame) {
        if (frame == 400 || frame == 560) { // voice 5 takes two copies, then one again
            voices[5].uniVoices = frame == 400 ? 2 : 1;
            voices[5].uniDivide = frame == 400 ? 0.7f : 1.0f;
            voices[5].dsp.panSmoothed = next(0.0f, 1.0f); // as a restarted note
            VoiceMix::noteGains(gains.data(), voices[5], 5);
            VoiceMix::noteStart(gains.data(), voices[5], 5);
        }
        if (frame == 300) voices[10].uniVoices = 2;
        if (frame % 16 == 3) { // a tick moves copy 0's pan, a legato note the velocity gain
            VoiceState& s = voices[frame / 16 % 8];
            s.dsp.lanes[0].copyPanL = next(0.0f, 1.0f);
            if (frame % 32 == 3) s.velocityGain = next(0.2f, 1.0f);
            VoiceMix::noteGains(gains.data(), s, frame / 16 % 8);
        }
        for (int v = 0; v < kNumVoices; ++v) {
            VoiceState& s = voices[v];
            auto& out = s.dsp.filter.out;
            for (int j = 0; j < 2; ++j)
                for (int k = 0; k < 4; ++k) out[j].set(k, next(-1.5f, 1.5f));
            if (frame % 37 == v) out[frame & 1].set(0, next(-9000.0f, 9000.0f));
            if (frame == 90 + v) out[1].set(0, std::nanf(""));
            if (s.uniVoices <= 1) { // copy 0 waits in the group; the voice's own is stale
                for (int j = 0; j < 2; ++j) {
                    groups[v / 4].out[j].set(v % 4, out[j][0]);
                    out[j].set(0, 1e9f);
                }
            }
            if (frame % 50 == 0) s.dsp.distortDrive = next(0.0f, 0.99f);
            s.mod.src[src::EnvFirst] = next(0.0f, 1.0f);
            s.mod.dst[dst::MainPan] = next(-0.3f, 0.3f);
            s.mod.dst[dst::MainVolume] = next(-1.0f, 1.0f);
        }
    }
};

} // namespace

TEST(VoiceMixList, FourAtATimeMatchesVoiceByVoiceBitForBit) {
    for (int mode = 0; mode < Distortion::kModeCount; ++mode) {
        SCOPED_TRACE(mode);
        MixScene scene;
        std::vector<VoiceState> reference = scene.voices;
        std::vector<VoiceMixGains4> referenceGains = scene.gains;
        for (int frame = 0; frame < 700; ++frame) {
            scene.inputs(frame);
            for (std::size_t g = 0; g < referenceGains.size(); ++g) { // all but the moving pans
                const F4 pan = referenceGains[g].panSmoothed;
                referenceGains[g] = scene.gains[g];
                referenceGains[g].panSmoothed = pan;
            }
            if (frame == 400 || frame == 560) {
                reference[5].dsp.panSmoothed = scene.voices[5].dsp.panSmoothed;
                VoiceMix::noteStart(referenceGains.data(), reference[5], 5);
            }
            for (int v = 0; v < kNumVoices; ++v) {
                reference[v].dsp.filter.out = scene.voices[v].dsp.filter.out;
                reference[v].dsp.distortDrive = scene.voices[v].dsp.distortDrive;
                reference[v].mod = scene.voices[v].mod;
                reference[v].uniVoices = scene.voices[v].uniVoices;
                reference[v].uniDivide = scene.voices[v].uniDivide;
                reference[v].velocityGain = scene.voices[v].velocityGain;
                reference[v].dsp.lanes[0].copyPanL = scene.voices[v].dsp.lanes[0].copyPanL;
            }
            const VoiceMix::Frame f{frame < 150 ? 0.3f : 0.8f, mode, 0.02f};
            int list[kNumVoices];
            int count = 0;
            for (int v = 0; v < kNumVoices; ++v)
                if (MixScene::sounds(v, frame)) list[count++] = v;
            F4 bus(0.125f), expected(0.125f);
            VoiceMix::processList(f, scene.voices.data(), scene.singles(frame, scene.gains), list,
                                  count, bus);
            VoiceMix::processEach(f, reference.data(), scene.singles(frame, referenceGains), list,
                                  count, expected);
            for (int j = 0; j < 4; ++j)
                ASSERT_EQ(bitsOf(bus[j]), bitsOf(expected[j])) << "frame " << frame;
            for (int v = 0; v < kNumVoices; ++v) { // listed or not
                const VoiceState &a = scene.voices[v], &b = reference[v];
                ASSERT_EQ(bitsOf(a.mod.src[src::VoiceOut]), bitsOf(b.mod.src[src::VoiceOut]))
                    << "frame " << frame << " voice " << v;
                ASSERT_EQ(bitsOf(a.dsp.panSmoothed), bitsOf(b.dsp.panSmoothed)) << v;
                ASSERT_EQ(bitsOf(scene.gains[v / 4].panSmoothed[v % 4]),
                          bitsOf(referenceGains[v / 4].panSmoothed[v % 4]))
                    << "frame " << frame << " voice " << v;
                for (int k = 0; k < 4; ++k) {
                    const LaneState &x = a.dsp.lanes[k], &y = b.dsp.lanes[k];
                    ASSERT_EQ(x.dc.state(), y.dc.state()) << frame << " " << v << " " << k;
                    ASSERT_EQ(bitsOf(x.distortion.rateCounter), bitsOf(y.distortion.rateCounter));
                    ASSERT_EQ(bitsOf(x.distortion.rateHeld), bitsOf(y.distortion.rateHeld));
                }
            }
        }
    }
}
