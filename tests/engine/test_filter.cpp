// The voice filter: every family measured with noise in and a spectrum out
// (slopes, high-pass, band-pass and notch shapes), stability at the top
// resonance at 44.1, 96 and 192 kHz, the comb's delay and limit, the ring and
// amp modulators' sidebands, the high-pass; then through the plug-in: bypass,
// a type change clearing every lane, the ceiling, the attack cut short, the
// key and controller terms, and rendered noise and saw notes.

#include "core/modes.h"
#include "engine/filters.h"
#include "engine/sound_check.h"
#include "engine/tables.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

using spectrum::dB;
using spectrum::Spectrum;

namespace {

const FilterCurves& curves() {
    return engineTables().filterCurves;
}

// Deterministic white noise, uniform in -amp..amp.
class Noise {
public:
    explicit Noise(float amp, uint32_t seed = 12345) : amp(amp), state(seed) {}
    float next() {
        state = state * 1664525u + 1013904223u;
        return amp * (static_cast<float>(state >> 8) / 8388608.0f - 1.0f);
    }

private:
    float amp;
    uint32_t state;
};

// One lane of a type, fed frame by frame (two sub-samples at 2r).
struct Lane {
    Lane(int type, float hz, float q, float rate = 44100.0f)
        : type(type), ctx(FilterContext::at(curves(), rate)), ring(CombFilter::kRingSize, 0.0f) {
        filter.retune(type, ctx, hz, q);
    }
    void frame(float& x0, float& x1) { filter.run(type, ctx, ring.data(), x0, x1); }
    // Every sub-sample of `input` through the filter (pairs make frames).
    std::vector<float> process(const std::vector<float>& input) {
        std::vector<float> out(input);
        for (std::size_t i = 0; i + 1 < out.size(); i += 2) frame(out[i], out[i + 1]);
        return out;
    }

    int type;
    FilterContext ctx;
    std::vector<float> ring;
    LaneFilter filter;
};

std::vector<float> noise(int n, float amp = 0.05f, uint32_t seed = 12345) {
    Noise g(amp, seed);
    std::vector<float> x(n);
    for (float& v : x) v = g.next();
    return x;
}

// Mean power per bin between lo and hi, in dB.
double bandDb(const Spectrum& s, double lo, double hi) {
    const double bins = std::max(1.0, (hi - lo) / s.binHz());
    return 10.0 * std::log10(s.bandPower(lo, hi) / bins + 1e-300);
}
// The level around a frequency (+-10 %).
double levelDb(const Spectrum& s, double hz, double width = 0.1) {
    return bandDb(s, hz * (1.0 - width), hz * (1.0 + width));
}

// White noise through a type at `hz`: the spectrum of the output divided
// by that of the input, bin by bin (the same noise, so its ripple cancels).
Spectrum noiseResponse(int type, float hz, float q = 0.0f, float rate = 44100.0f) {
    Lane lane(type, hz, q, rate);
    const std::vector<float> x = noise(1 << 17);
    Spectrum wet = Spectrum::of(lane.process(x), 2.0 * rate);
    const Spectrum dry = Spectrum::of(x, 2.0 * rate);
    for (std::size_t k = 0; k < wet.amp.size(); ++k) wet.amp[k] /= std::max(dry.amp[k], 1e-12);
    return wet;
}

// Normalised "Filter Frequency" position of a cut-off in Hz.
float positionOf(double hz) {
    return static_cast<float>(std::log2(hz / 20.0) / 10.0);
}

} // namespace

// ------------------------------------------------------------------ responses

TEST(FilterResponse, TwelveDbLowPassIsTwentyDbDownThreeOctavesUp) {
    for (int type : {kFilter12Lp, kFilter12LpZ}) {
        const Spectrum s = noiseResponse(type, 1000.0f);
        const double pass = bandDb(s, 100.0, 300.0);
        EXPECT_LT(levelDb(s, 8000.0), pass - 20.0) << "type " << type;
        EXPECT_NEAR(levelDb(s, 200.0), pass, 1.0) << "type " << type << " passes the lows";
    }
}

TEST(FilterResponse, TwentyFourDbLowPassesAreFortyDbDownThreeOctavesUp) {
    for (int type : {kFilter24LpI, kFilter24LpII, kFilter24LpZ}) {
        const Spectrum s = noiseResponse(type, 1000.0f);
        const double pass = bandDb(s, 100.0, 300.0);
        EXPECT_LT(levelDb(s, 8000.0), pass - 40.0) << "type " << type;
        EXPECT_GT(levelDb(s, 8000.0) - levelDb(s, 16000.0), 10.0) << "keeps falling";
    }
}

TEST(FilterResponse, HighPassesCutTheLows) {
    struct Case {
        int type;
        double atLeast; // dB below the highs, three octaves under the cut-off
    };
    // "24dB HP" subtracts the ladder's low-pass from its input: the slope
    // far below the cut-off is 6 dB per octave.
    for (const Case c : {Case{kFilter12Hp, 30.0}, Case{kFilter12HpZ, 30.0}, Case{kFilter24Hp, 6.0},
                         Case{kFilter24HpZ, 60.0}}) {
        const Spectrum s = noiseResponse(c.type, 1000.0f);
        const double high = bandDb(s, 6000.0, 12000.0);
        EXPECT_LT(levelDb(s, 125.0), high - c.atLeast) << "type " << c.type;
        EXPECT_GT(levelDb(s, 8000.0), high - 1.5) << "type " << c.type << " passes the highs";
        EXPECT_GT(levelDb(s, 125.0) - levelDb(s, 31.25), 10.0) << "type " << c.type << " falls";
    }
}

TEST(FilterResponse, BandPassesPeakAtTheCutOff) {
    for (int type : {kFilter12Bp, kFilter12BpZ, kFilter24Bp, kFilter24BpZ}) {
        const Spectrum s = noiseResponse(type, 1000.0f, 0.5f);
        const double centre = levelDb(s, 1000.0);
        EXPECT_GT(centre, levelDb(s, 125.0) + 12.0) << "type " << type;
        EXPECT_GT(centre, levelDb(s, 8000.0) + 12.0) << "type " << type;
    }
}

TEST(FilterResponse, NotchesRemoveTheCutOffAndPassTheRest) {
    for (int type : {kFilter12Notch, kFilter12NotchZ, kFilter24Notch, kFilter24NotchZ}) {
        const Spectrum s = noiseResponse(type, 1000.0f);
        const double low = levelDb(s, 100.0), high = levelDb(s, 10000.0);
        const double centre = levelDb(s, 1000.0, 0.02);
        EXPECT_LT(centre, low - 20.0) << "type " << type;
        EXPECT_LT(centre, high - 20.0) << "type " << type;
        EXPECT_NEAR(low, high, 3.0) << "type " << type << ": both sides pass";
    }
}

TEST(FilterResponse, ResonanceRaisesThePeak) {
    for (int type : {kFilter12Lp, kFilter12LpZ, kFilter24LpI, kFilter24LpZ}) {
        const Spectrum flat = noiseResponse(type, 1000.0f, 0.0f);
        const Spectrum peaked = noiseResponse(type, 1000.0f, 0.9f);
        const double gain = (levelDb(peaked, 1000.0, 0.03) - levelDb(peaked, 200.0)) -
                            (levelDb(flat, 1000.0, 0.03) - levelDb(flat, 200.0));
        EXPECT_GT(gain, 10.0) << "type " << type;
    }
}

TEST(FilterResponse, CutOffScalesWithTheRate) {
    // The same cut-off in Hz at another rate: the same response in Hz.
    const Spectrum a = noiseResponse(kFilter12LpZ, 2000.0f, 0.0f, 44100.0f);
    const Spectrum b = noiseResponse(kFilter12LpZ, 2000.0f, 0.0f, 96000.0f);
    const double dropA = levelDb(a, 8000.0) - bandDb(a, 100.0, 300.0);
    const double dropB = levelDb(b, 8000.0) - bandDb(b, 100.0, 300.0);
    EXPECT_NEAR(dropA, dropB, 2.0);
}

// ------------------------------------------------------------------ stability

TEST(FilterStability, TopResonanceStaysBoundedAtEveryRate) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        const float ceiling = 0.4f * rate;
        for (int type = 1; type < kFilterTypeCount; ++type) {
            double worst = 0.0;
            bool finite = true;
            for (float hz : {20.0f, 1000.0f, 20480.0f, ceiling}) {
                hz = std::min(hz, ceiling);
                for (int signal = 0; signal < 2; ++signal) {
                    Lane lane(type, hz, 0.9f, rate);
                    Noise g(1.0f, 7);
                    for (int i = 0; i < 12000; ++i) {
                        // Full-scale noise, then a full-scale square (steps).
                        float x0 = signal == 0 ? g.next() : ((i / 300) & 1 ? 1.0f : -1.0f);
                        float x1 = signal == 0 ? g.next() : x0;
                        lane.frame(x0, x1);
                        finite = finite && std::isfinite(x0) && std::isfinite(x1);
                        worst = std::max({worst, static_cast<double>(std::fabs(x0)),
                                          static_cast<double>(std::fabs(x1))});
                    }
                }
            }
            EXPECT_TRUE(finite) << "type " << type << " at " << rate;
            EXPECT_LE(worst, 100.0) << "type " << type << " at " << rate;
        }
    }
}

TEST(FilterStability, TopResonanceThroughThePlugInAtEveryRate) {
    for (float rate : {44100.0f, 96000.0f, 192000.0f}) {
        for (int type :
             {kFilter12Bp, kFilter12BpZ, kFilter24LpII, kFilter24NotchZ, kFilterCombPlus}) {
            SoundCheck s;
            s.rate(rate);
            s.h.p().setSteppedValue(tag::FilterType, type);
            s.h.p().setParameter(tag::FilterQ, 1.0f);
            s.h.p().setParameter(tag::FilterFreq, positionOf(440.0));
            s.h.p().setOn(tag::HiPassOn);
            s.h.p().setOn(tag::HiPassQOn);
            s.h.p().setParameter(tag::HiPassQ, 1.0f);
            s.h.p().setParameter(tag::HiPassFreq, positionOf(100.0));
            s.waves(1, 1);
            s.play(45, 0, 8192); // a saw at the cut-off's harmonic region
            EXPECT_TRUE(s.h.allFinite) << "type " << type << " at " << rate;
            EXPECT_LE(s.h.maxAbs, 0.999f);
            const VoiceState& voice = s.h.voice(0);
            EXPECT_LE(
                std::fabs(filterLaneOf(s.h.engine().filter, voice.dsp.filter, 0, voice.uniVoices, 0)
                              .out(0)),
                1000.0f);
        }
    }
}

TEST(FilterStability, NaNInputDoesNotSilenceTheLaneForGood) {
    // The stage resets a lane whose output is not finite; the classes
    // themselves pass a NaN on, and recover after reset().
    Lane lane(kFilter12Lp, 1000.0f, 0.5f);
    float x0 = std::numeric_limits<float>::quiet_NaN(), x1 = 0.0f;
    lane.frame(x0, x1);
    EXPECT_TRUE(std::isnan(x1));
    lane.filter.reset();
    lane.filter.retune(kFilter12Lp, lane.ctx, 1000.0f, 0.5f);
    x0 = x1 = 0.01f;
    lane.frame(x0, x1);
    EXPECT_TRUE(std::isfinite(x0) && std::isfinite(x1));
}

// ------------------------------------------------------------------ coefficients

TEST(FilterCoefficients, OnlyAMovedCutOffOrResonanceRetunes) {
    const FilterContext ctx = FilterContext::at(curves(), 44100.0f);
    LaneFilter f;
    EXPECT_EQ(f.cutoff(), -1.0f) << "no coefficients yet";
    f.retune<kFilter24LpII>(ctx, 1000.0f, 0.5f);
    EXPECT_EQ(f.cutoff(), 1000.0f);
    f.retune<kFilter24LpII>(ctx, 1000.00005f, 0.50005f);
    EXPECT_EQ(f.cutoff(), 1000.0f) << "within 0.0001: unchanged";
    EXPECT_EQ(f.resonance(), 0.5f);
    f.retune<kFilter24LpII>(ctx, 1000.0f, 0.5f, true);
    f.retune<kFilter24LpII>(ctx, 1000.5f, 0.5f);
    EXPECT_EQ(f.cutoff(), 1000.5f);
    f.retune<kFilter24LpII>(ctx, 1000.5f, 0.6f);
    EXPECT_EQ(f.resonance(), 0.6f);
    f.reset();
    EXPECT_EQ(f.cutoff(), -1.0f);
}

TEST(FilterCoefficients, CurveIndexFollowsTheDoubledRate) {
    const FilterContext ctx = FilterContext::at(curves(), 44100.0f);
    EXPECT_EQ(ctx.index(0.0f), 0);
    EXPECT_EQ(ctx.index(-5.0f), 0);
    EXPECT_EQ(ctx.index(std::numeric_limits<float>::quiet_NaN()), 0);
    EXPECT_EQ(ctx.index(88200.0f), kFilterCurveSize - 1);
    EXPECT_EQ(ctx.index(1e9f), kFilterCurveSize - 1);
    EXPECT_EQ(ctx.index(17640.0f), static_cast<int>(17640.0f * 262143.98f / 88200.0f));
}

// ------------------------------------------------------------------ bypass

TEST(FilterBypass, PassesTheSignalUnchanged) {
    for (int type : {0, -1, 22, 99}) {
        Lane lane(type, 1000.0f, 0.9f);
        const std::vector<float> x = noise(4096);
        EXPECT_EQ(lane.process(x), x) << "type " << type;
    }
}

// ------------------------------------------------------------------ comb

namespace {

// Frames from an impulse (both sub-samples) to the first echo.
int combEcho(float hz, float rate) {
    Lane lane(kFilterCombPlus, hz, 0.5f, rate);
    for (int n = 0; n < 3 * CombFilter::kRingSize; ++n) {
        float x0 = n == 0 ? 1.0f : 0.0f, x1 = x0;
        lane.frame(x0, x1);
        if (n > 0 && (x0 != 0.0f || x1 != 0.0f)) return n;
    }
    return -1;
}

} // namespace

TEST(FilterComb, TwentyHertzAt44kDelays2205Frames) {
    EXPECT_EQ(CombFilter::delayFor(20.0f, 44100.0f), 564480);
    EXPECT_EQ(combEcho(20.0f, 44100.0f), 2205);
    EXPECT_EQ(combEcho(441.0f, 44100.0f), 100);
}

TEST(FilterComb, DelayNeverExceedsTheRing) {
    for (float hz : {20.0f, 1.0f, 0.001f, 0.0f, -3.0f, std::numeric_limits<float>::quiet_NaN(),
                     std::numeric_limits<float>::infinity()}) {
        for (float rate : {44100.0f, 192000.0f, 500000.0f}) {
            const int32_t d = CombFilter::delayFor(hz, rate);
            EXPECT_GE(d, CombFilter::kMinDelay);
            EXPECT_LE(d, 8191 * 256) << hz << " Hz at " << rate;
        }
    }
    EXPECT_EQ(CombFilter::delayFor(1.0f, 44100.0f), 8191 * 256) << "held, not wrapped";
    EXPECT_EQ(CombFilter::delayFor(0.0f, 44100.0f), 8191 * 256);
    EXPECT_EQ(combEcho(20.0f, 192000.0f), 8191);
    EXPECT_EQ(combEcho(0.5f, 44100.0f), 8191);
    EXPECT_EQ(CombFilter::delayFor(1e9f, 44100.0f), CombFilter::kMinDelay);
}

TEST(FilterComb, FeedbackSignFollowsTheType) {
    Lane plus(kFilterCombPlus, 441.0f, 0.9f), minus(kFilterCombMinus, 441.0f, 0.9f);
    float p0 = 1.0f, p1 = 1.0f, m0 = 1.0f, m1 = 1.0f;
    plus.frame(p0, p1);
    minus.frame(m0, m1);
    for (int n = 1; n <= 100; ++n) { // the echo comes 100 frames later
        p0 = p1 = m0 = m1 = 0.0f;
        plus.frame(p0, p1);
        minus.frame(m0, m1);
    }
    const float g = std::pow(1.1f * 0.9f, 0.25f);
    EXPECT_NEAR(p0, g, 1e-5f);
    EXPECT_NEAR(m0, -g, 1e-5f);
}

TEST(FilterComb, OutputIsLimitedToAHundred) {
    Lane lane(kFilterCombPlus, 2000.0f, 0.9f);
    float worst = 0.0f;
    for (int n = 0; n < 200000; ++n) {
        float x0 = 5.0f, x1 = 5.0f; // constant push against the top feedback
        lane.frame(x0, x1);
        worst = std::max({worst, std::fabs(x0), std::fabs(x1)});
    }
    EXPECT_EQ(worst, 100.0f);
}

// ------------------------------------------------------------------ modulators

TEST(FilterModulators, RingModulationMakesBothSidebands) {
    const float rate = 44100.0f, q = 0.9f;
    Lane lane(kFilterRingMod, 1000.0f, q, rate);
    std::vector<float> x(1 << 16);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] =
            0.05f * static_cast<float>(std::sin(2.0 * spectrum::kPi * 5000.0 * i / (2.0 * rate)));
    const std::vector<float> y = lane.process(x);
    const double r = 2.0 * rate;
    EXPECT_NEAR(spectrum::toneAmplitude(y, r, 4000.0), 0.05 * q / 2, 0.0005);
    EXPECT_NEAR(spectrum::toneAmplitude(y, r, 6000.0), 0.05 * q / 2, 0.0005);
    EXPECT_NEAR(spectrum::toneAmplitude(y, r, 5000.0), 0.05 * (1 - q), 0.0005);
}

TEST(FilterModulators, AmpModulationKeepsTheCarrier) {
    const float rate = 44100.0f, q = 0.8f;
    Lane lane(kFilterAmpMod, 700.0f, q, rate);
    std::vector<float> x(1 << 16);
    for (std::size_t i = 0; i < x.size(); ++i)
        x[i] =
            0.05f * static_cast<float>(std::sin(2.0 * spectrum::kPi * 3000.0 * i / (2.0 * rate)));
    const std::vector<float> y = lane.process(x);
    const double r = 2.0 * rate;
    EXPECT_NEAR(spectrum::toneAmplitude(y, r, 3000.0), 0.05 * (1 - 0.5 * q), 0.0005);
    EXPECT_NEAR(spectrum::toneAmplitude(y, r, 2300.0), 0.05 * q / 4, 0.0005);
    EXPECT_NEAR(spectrum::toneAmplitude(y, r, 3700.0), 0.05 * q / 4, 0.0005);
}

// ------------------------------------------------------------------ high-pass

TEST(FilterHighPass, CutsBelowItsFrequencyAndResonates) {
    const float rate = 44100.0f;
    const FilterContext ctx = FilterContext::at(curves(), rate);
    const float f = 2.0f * curves().SIN_HALF[ctx.index(1000.0f)];
    auto response = [&](float q) {
        ResonantHighPass hp;
        std::vector<float> y = noise(1 << 17);
        for (float& v : y) v = hp.tick(v, f, q);
        return Spectrum::of(y, 2.0 * rate);
    };
    const Spectrum plain = response(1.0f);
    const double high = bandDb(plain, 6000.0, 12000.0);
    EXPECT_LT(levelDb(plain, 125.0), high - 30.0);
    const Spectrum resonant = response(0.1f);
    EXPECT_GT(levelDb(resonant, 1000.0, 0.03), bandDb(resonant, 6000.0, 12000.0) + 10.0);
}

// ------------------------------------------------------------------ through the plug-in

namespace {

// Copy 0 of a voice; without one given, of the first gated voice.
VoiceState& voice0(SoundCheck& s, int voice = -1) {
    for (int v = 0; v < kNumVoices && voice < 0; ++v)
        if (s.h.voice(v).gate) voice = v;
    return s.h.voice(std::max(voice, 0));
}
// Where copy 0 of that voice keeps its filter.
FilterLaneRef filter0(SoundCheck& s, int voice = -1) {
    const VoiceState& v = voice0(s, voice);
    const int index = static_cast<int>(&v - &s.h.voice(0));
    return filterLaneOf(s.h.engine().filter, v.dsp.filter, index, v.uniVoices, 0);
}
LaneState& lane0(SoundCheck& s, int voice = -1) {
    return voice0(s, voice).dsp.lanes[0];
}
// The filter stage's output of copy k, sub-sample j.
float laneOut(SoundCheck& s, const VoiceState& voice, int k, int j) {
    const int index = static_cast<int>(&voice - &s.h.voice(0));
    return filterLaneOf(s.h.engine().filter, voice.dsp.filter, index, voice.uniVoices, k).out(j);
}

} // namespace

TEST(FilterStage, BypassIsTheMeanOfEachSubSamplePair) {
    SoundCheck s; // type 0
    s.waves(1, 1);
    s.h.send(EventBlock().noteOn(0, 60, 100));
    s.h.render(1);
    const int v = s.h.gatedVoiceWithNote(60);
    ASSERT_GE(v, 0);
    for (int i = 0; i < 300; ++i) {
        s.h.render(1);
        const LaneState& lane = lane0(s, v);
        ASSERT_NEAR(laneOut(s, voice0(s, v), 0, 0), (lane.osc[0] + lane.osc[1]) * 0.5f, 1e-6f);
        ASSERT_NEAR(laneOut(s, voice0(s, v), 0, 1), (lane.osc[2] + lane.osc[3]) * 0.5f, 1e-6f);
    }
    EXPECT_NEAR(s.h.voice(v).mod.src[src::FilterOut],
                (laneOut(s, voice0(s, v), 0, 0) + laneOut(s, voice0(s, v), 0, 1)) * 0.5f, 1e-7f)
        << "Filter Out is copy 0's mean";
}

TEST(FilterStage, ATypeChangeClearsEveryLane) {
    const int sequence[] = {kFilter24LpII,    kFilter12Bp,     kFilterCombPlus,
                            kFilterCombMinus, kFilter24NotchZ, kFilter24LpI};
    SoundCheck s;
    s.waves(1, 1);
    s.h.p().setSteppedValue(tag::UnisonMode, 3); // four copies
    s.h.p().setParameter(tag::FilterQ, 1.0f);
    s.h.p().setParameter(tag::FilterFreq, positionOf(300.0));
    s.h.p().setSteppedValue(tag::FilterType, sequence[0]);
    s.h.settle_();
    s.h.send(EventBlock().noteOn(0, 48, 100).noteOn(0, 55, 100));
    s.capture(3000);
    for (std::size_t t = 1; t < std::size(sequence); ++t) {
        const int type = sequence[t];
        s.h.p().setSteppedValue(tag::FilterType, type);
        s.h.alignTo(128);
        s.h.render(1); // the tick that sees the new type, then the filter runs
        const FilterContext ctx = FilterContext::at(curves(), s.h.engine().rate.sampleRate);
        for (int note : {48, 55}) {
            const int v = s.h.gatedVoiceWithNote(note);
            ASSERT_GE(v, 0);
            const VoiceState& voice = s.h.voice(v);
            for (int k = 0; k < std::clamp(voice.uniVoices, 1, 4); ++k) {
                const LaneState& lane = voice.dsp.lanes[k];
                LaneFilter fresh;
                fresh.retune(type, ctx, voice.dsp.filter.lanes.cutoff(k),
                             voice.dsp.filter.lanes.resonance(k));
                std::vector<float> ring(CombFilter::kRingSize, 0.0f);
                float x0 = (lane.osc[0] + lane.osc[1]) * 0.05f;
                float x1 = (lane.osc[2] + lane.osc[3]) * 0.05f;
                fresh.run(type, ctx, ring.data(), x0, x1);
                EXPECT_NEAR(laneOut(s, voice, k, 0), x0 * 10.0f, 1e-6f)
                    << "type " << type << " lane " << k;
                EXPECT_NEAR(laneOut(s, voice, k, 1), x1 * 10.0f, 1e-6f)
                    << "type " << type << " lane " << k;
            }
        }
        s.capture(3000); // states fill up again
    }
    EXPECT_TRUE(s.h.allFinite);
}

TEST(FilterStage, CombRingsStartEmptyAfterTheSwitch) {
    SoundCheck s;
    s.waves(1, 1);
    s.h.p().setParameter(tag::FilterQ, 1.0f);
    s.h.p().setParameter(tag::FilterFreq, 0.0f); // 20 Hz: 2205 frames
    s.h.p().setSteppedValue(tag::FilterType, kFilterCombPlus);
    s.h.settle_();
    s.h.send(EventBlock().noteOn(0, 60, 100));
    s.capture(6000); // the ring is full of feedback
    s.h.p().setSteppedValue(tag::FilterType, kFilterCombMinus);
    s.h.alignTo(128);
    for (int n = 0; n < 2000; ++n) {
        s.h.render(1);
        const LaneState& lane = lane0(s);
        ASSERT_NEAR(laneOut(s, voice0(s), 0, 0), (lane.osc[0] + lane.osc[1]) * 0.5f, 1e-6f)
            << "frame " << n;
        ASSERT_NEAR(laneOut(s, voice0(s), 0, 1), (lane.osc[2] + lane.osc[3]) * 0.5f, 1e-6f)
            << "frame " << n;
    }
}

TEST(FilterStage, CutOffNeverPassesTheCeiling) {
    for (float rate : {44100.0f, 96000.0f}) {
        SoundCheck s;
        s.rate(rate);
        s.h.p().setSteppedValue(tag::FilterType, kFilter12LpZ);
        s.h.p().setParameter(tag::FilterFreq, 0.9f);
        s.h.p().setParameter(tag::KeyToFilterFreq, 1.0f); // 2^pitch
        s.h.p().setParameter(tag::EnvToFilterFreq, 1.0f);
        s.h.p().setParameter(tag::FilterEnvAttack, 0.3f);
        s.h.settle_();
        s.h.send(EventBlock().noteOn(0, 127, 100));
        const float ceiling = s.h.engine().rate.filterCeiling;
        EXPECT_FLOAT_EQ(ceiling, 0.4f * rate);
        float highest = 0.0f;
        for (int b = 0; b < 200; ++b) {
            s.h.render(64);
            highest = std::max(highest, filter0(s).cutoff());
            ASSERT_LE(filter0(s).cutoff(), ceiling);
        }
        EXPECT_EQ(highest, ceiling) << "reached and held at " << rate;
        s.release();
    }
}

TEST(FilterStage, TheAttackIsCutShortOnceTheCutOffPassesTheCeiling) {
    SoundCheck s;
    s.h.p().setSteppedValue(tag::FilterType, kFilter12Lp);
    s.h.p().setParameter(tag::FilterFreq, 0.5f);
    s.h.p().setParameter(tag::EnvToFilterFreq, 1.0f);
    s.h.p().setParameter(tag::FilterEnvAttack, 0.7f); // about 0.9 s for the whole rise
    s.h.settle_();
    s.h.send(EventBlock().noteOn(0, 57, 100)); // key ratio 1
    // 0.5 + level reaches the ceiling, 17640 Hz = FREQ at 0.97847.
    const double threshold = std::log2(17640.0 / 20.0) / 10.0 - 0.5;
    const VoiceState& voice = s.h.voice(0);
    float previous = 0.0f;
    int frames = 0;
    while (voice.env[kEnvFilter].stage == kEnvAttack && frames < 88200) {
        previous = voice.mod.src[src::EnvFirst + 2];
        s.h.render(1);
        ++frames;
    }
    const float level = voice.mod.src[src::EnvFirst + 2];
    EXPECT_GT(frames, 4410) << "not before the envelope got there";
    EXPECT_GE(level, threshold - 1e-4);
    EXPECT_LT(previous, threshold + 1e-4);
    EXPECT_LT(level, 0.5f) << "left the attack well before its top";
    s.release();
}

TEST(FilterStage, TheAttackRunsItsCourseBelowTheCeilingOrInverted) {
    struct Case {
        float freq, amount;
        bool invert;
    };
    for (const Case c :
         {Case{0.2f, 0.5f, false}, Case{0.9f, 1.0f, true}, Case{0.9f, 0.0f, false}}) {
        SoundCheck s;
        s.h.p().setSteppedValue(tag::FilterType, kFilter12Lp);
        s.h.p().setParameter(tag::FilterFreq, c.freq);
        s.h.p().setParameter(tag::EnvToFilterFreq, c.amount);
        s.h.p().setOnOff(tag::InvertFilterEnvOn, c.invert);
        s.h.p().setParameter(tag::FilterEnvAttack, 0.6f);
        s.h.settle_();
        s.h.send(EventBlock().noteOn(0, 57, 100));
        const VoiceState& voice = s.h.voice(0);
        float last = 0.0f;
        int frames = 0;
        while (voice.env[kEnvFilter].stage == kEnvAttack && frames < 88200) {
            last = voice.mod.src[src::EnvFirst + 2];
            s.h.render(1);
            ++frames;
        }
        EXPECT_GT(last, 0.98f) << "the attack reached its top: freq " << c.freq << " amount "
                               << c.amount << (c.invert ? " inverted" : "");
        s.release();
    }
}

TEST(FilterStage, KeyAndControllerTerms) {
    SoundCheck s;
    s.h.p().setSteppedValue(tag::FilterType, kFilter12Lp);
    s.h.p().setParameter(tag::KeyToFilterFreq, 1.0f);
    s.h.p().setParameter(tag::VelocityToFilterFreq, 0.5f);
    s.h.p().setParameter(tag::ModWheelToFilterFreq, 0.0f);
    s.h.p().setOn(tag::HiPassKeyTrackOn);
    s.h.settle_();
    s.h.send(EventBlock().noteOn(0, 69, 127)); // one octave above note 57
    s.capture(64);
    const FilterVoice& fv = s.h.voice(0).dsp.filter;
    const FilterGlobal& fg = s.h.engine().filter;
    EXPECT_FLOAT_EQ(fg.keyRatio(0), 2.0f);
    EXPECT_FLOAT_EQ(fv.hiPassKeyRatio, 2.0f);
    EXPECT_FLOAT_EQ(fg.velocityTerm(0), 0.5f);
    EXPECT_FLOAT_EQ(fg.modWheelTerm(0), -s.h.voice(0).mod.src[src::ModWheel]);
    s.release();

    s.h.p().setParameter(tag::KeyToFilterFreq, 0.0f);
    s.h.p().setOff(tag::HiPassKeyTrackOn);
    s.h.send(EventBlock().noteOn(0, 45, 127)); // one octave below
    s.capture(64);
    const int v = s.h.gatedVoiceWithNote(45);
    ASSERT_GE(v, 0);
    EXPECT_FLOAT_EQ(s.h.engine().filter.keyRatio(v), 2.0f) << "inverse tracking";
    EXPECT_FLOAT_EQ(s.h.voice(v).dsp.filter.hiPassKeyRatio, 1.0f);
    s.release();
}

TEST(FilterStage, CombDelayThroughThePlugIn) {
    for (const auto& [rate, delay] :
         {std::pair{44100.0f, 564480}, std::pair{192000.0f, 8191 * 256}}) {
        SoundCheck s;
        s.rate(rate);
        s.h.p().setSteppedValue(tag::FilterType, kFilterCombPlus);
        s.h.p().setParameter(tag::FilterFreq, 0.0f);
        s.h.settle_();
        s.h.send(EventBlock().noteOn(0, 57, 100));
        s.capture(64);
        EXPECT_EQ(filter0(s).cutoff(), 20.0f);
        EXPECT_EQ(filter0(s).combDelay(), delay) << rate;
        s.release();
    }
}

TEST(FilterStage, RenderedNoiseIsLowPassed) {
    // White noise from the oscillator through "12dB LP" and "24dB LP II" at
    // 1 kHz, against the same noise bypassed.
    auto render = [](int type) {
        SoundCheck s;
        s.waves(14, 14);
        s.h.p().setSteppedValue(tag::FilterType, type);
        s.h.p().setParameter(tag::FilterFreq, positionOf(1000.0));
        s.h.settle_();
        return Spectrum::of(s.play(57, 1024, 1 << 15), 44100.0);
    };
    const Spectrum dry = render(kFilterBypass);
    for (const auto& [type, drop] :
         {std::pair{kFilter12Lp, 20.0}, std::pair{kFilter24LpII, 40.0}}) {
        const Spectrum wet = render(type);
        const double pass = bandDb(wet, 100.0, 300.0) - bandDb(dry, 100.0, 300.0);
        const double stop = levelDb(wet, 8000.0) - levelDb(dry, 8000.0);
        EXPECT_NEAR(pass, 0.0, 1.5) << "type " << type;
        EXPECT_LT(stop, pass - drop) << "type " << type;
    }
}

TEST(FilterStage, HighPassRemovesTheLowHarmonicsOfASaw) {
    auto harmonics = [](bool on) {
        SoundCheck s;
        s.waves(1, 1);
        s.h.p().setSteppedValue(tag::FilterType, kFilterBypass);
        s.h.p().setParameter(tag::HiPassFreq, positionOf(2000.0));
        s.h.p().setOnOff(tag::HiPassOn, on);
        s.h.settle_();
        const std::vector<float> x = s.play(57, 2048, 1 << 15); // 110 Hz
        return std::pair{spectrum::toneAmplitude(x, 44100.0, 110.0),
                         spectrum::toneAmplitude(x, 44100.0, 110.0 * 40)};
    };
    const auto [lowOff, highOff] = harmonics(false);
    const auto [lowOn, highOn] = harmonics(true);
    EXPECT_LT(dB(lowOn / lowOff), -40.0) << "fundamental, four octaves below";
    EXPECT_NEAR(dB(highOn / highOff), 0.0, 1.5) << "40th harmonic, above";
}

TEST(FilterStage, DefaultPatchKeepsTheSoundAndItsLevel) {
    // The default type ("24dB LP II", wide open) barely touches a sine.
    SoundCheck s;
    s.h.p().setSteppedValue(tag::FilterType, kFilter24LpII);
    s.h.settle_();
    const double wet = spectrum::toneAmplitude(s.play(69, 2048, 8192), 44100.0, 220.0);
    s.h.p().setSteppedValue(tag::FilterType, kFilterBypass);
    s.h.settle_();
    const double dry = spectrum::toneAmplitude(s.play(69, 2048, 8192), 44100.0, 220.0);
    EXPECT_NEAR(dB(wet / dry), 0.0, 0.1);
}

TEST(FilterStage, ResonanceTopsOutAtNineTenths) {
    SoundCheck s;
    s.h.p().setSteppedValue(tag::FilterType, kFilter12LpZ);
    s.h.p().setParameter(tag::FilterQ, 1.0f);
    s.h.settle_();
    s.h.send(EventBlock().noteOn(0, 60, 100));
    s.capture(64);
    EXPECT_FLOAT_EQ(filter0(s).resonance(), 0.9f);
    s.release();
}

// ------------------------------------------------------------------ four lanes

// The voice's four lanes side by side give exactly what four separate lanes
// give, for every type: lanes that move, lanes that rest (and keep their
// coefficients), a resonance that moves by less than the change threshold,
// a forced retune and a lane cleared on its own.
TEST(FilterLanes4, EveryTypeMatchesFourSeparateLanesBitForBit) {
    const FilterContext ctx = FilterContext::at(curves(), 44100.0f);
    for (int type = kFilter12Lp; type < kFilterTypeCount; ++type) {
        SCOPED_TRACE(type);
        LaneFilter4 wide;
        LaneFilter single[4];
        std::vector<std::vector<float>> rings(8, std::vector<float>(CombFilter::kRingSize, 0.0f));
        float* wideRings[4] = {rings[0].data(), rings[1].data(), rings[2].data(), rings[3].data()};
        Noise noise(1.0f);
        for (int frame = 0; frame < 3000; ++frame) {
            float hz[4];
            for (int k = 0; k < 4; ++k) // lane 3 rests, lane 2 moves in steps below 0.0001 Hz
                hz[k] = k == 3   ? 700.0f
                        : k == 2 ? 300.0f + 0.00004f * static_cast<float>(frame)
                                 : 200.0f * static_cast<float>(k + 1) +
                                       3.0f * static_cast<float>(frame % 500);
            const float q =
                0.5f + 0.00003f * static_cast<float>(frame % 40) + (frame > 1500 ? 0.3f : 0.0f);
            const bool force = frame == 0 || frame == 2000;
            if (frame == 2500) { // lane 1 alone starts again
                wide.resetLane(1);
                single[1].reset();
                std::fill(rings[1].begin(), rings[1].end(), 0.0f);
                std::fill(rings[5].begin(), rings[5].end(), 0.0f);
            }
            wide.retune(type, ctx, F4::of(hz[0], hz[1], hz[2], hz[3]), q, firstLanes(force ? 4 : 0),
                        firstLanes(4));
            F4 x0, x1;
            float s0[4], s1[4];
            for (int k = 0; k < 4; ++k) {
                single[k].retune(type, ctx, hz[k], q, force);
                s0[k] = 0.05f * noise.next();
                s1[k] = 0.05f * noise.next();
                x0.set(k, s0[k]);
                x1.set(k, s1[k]);
                single[k].run(type, ctx, rings[4 + k].data(), s0[k], s1[k]);
            }
            wide.run(type, ctx, wideRings, 4, x0, x1);
            for (int k = 0; k < 4; ++k) {
                ASSERT_EQ(x0[k], s0[k]) << "frame " << frame << " lane " << k;
                ASSERT_EQ(x1[k], s1[k]) << "frame " << frame << " lane " << k;
                ASSERT_EQ(wide.cutoff(k), single[k].cutoff());
            }
        }
    }
}

// Lane 0 run alone (a group with one voice of one copy) gives what it gives
// side by side with the others, for every type, and leaves the other lanes
// as they were: four lanes, then lane 0 alone while the others rest (with a
// forced retune and a restart of lane 0), then four lanes again match four
// separate lanes whose 1..3 paused as long.
TEST(FilterLanes4, LaneZeroAloneMatchesASeparateLaneAndLeavesTheOthers) {
    const FilterContext ctx = FilterContext::at(curves(), 44100.0f);
    for (int type = kFilter12Lp; type < kFilterTypeCount; ++type) {
        SCOPED_TRACE(type);
        LaneFilter4 wide;
        LaneFilter single[4];
        std::vector<std::vector<float>> rings(8, std::vector<float>(CombFilter::kRingSize, 0.0f));
        float* wideRings[4] = {rings[0].data(), rings[1].data(), rings[2].data(), rings[3].data()};
        Noise noise(1.0f);
        for (int frame = 0; frame < 3000; ++frame) {
            const int lanes = frame >= 1000 && frame < 2000 ? 1 : 4;
            const float q = 0.4f + (frame >= 1500 ? 0.3f : 0.0f);
            const bool force = frame == 0 || frame == 1200;
            if (frame == 1700) {
                wide.resetLane(0);
                single[0].reset();
                std::fill(rings[0].begin(), rings[0].end(), 0.0f);
                std::fill(rings[4].begin(), rings[4].end(), 0.0f);
            }
            float hz[4], s0[4], s1[4];
            F4 x0, x1;
            for (int k = 0; k < lanes; ++k) {
                hz[k] = 150.0f * static_cast<float>(k + 1) + 4.0f * static_cast<float>(frame % 300);
                s0[k] = 0.05f * noise.next();
                s1[k] = 0.05f * noise.next();
                x0.set(k, s0[k]);
                x1.set(k, s1[k]);
                single[k].retune(type, ctx, hz[k], q, force);
                single[k].run(type, ctx, rings[4 + k].data(), s0[k], s1[k]);
            }
            if (lanes == 1) {
                wide.retune(type, ctx, F4(hz[0]), F4(q), force ? onlyLane(0) : F4(0.0f),
                            onlyLane(0));
                wide.runLanes(type, ctx, wideRings, 1, x0, x1);
            } else {
                wide.retune(type, ctx, F4::of(hz[0], hz[1], hz[2], hz[3]), q,
                            firstLanes(force ? 4 : 0), firstLanes(4));
                wide.run(type, ctx, wideRings, 4, x0, x1);
            }
            for (int k = 0; k < lanes; ++k) {
                ASSERT_EQ(x0[k], s0[k]) << "frame " << frame << " lane " << k;
                ASSERT_EQ(x1[k], s1[k]) << "frame " << frame << " lane " << k;
                ASSERT_EQ(wide.cutoff(k), single[k].cutoff());
            }
        }
    }
}

// Voices with one copy run side by side, four to a group, beside a voice
// with four copies: for every type, with and without the high-pass, notes
// that start at different frames, one that stops and one that takes a voice
// again, every copy's output equals that of a separate lane (LaneFilter and
// ResonantHighPass) fed the same oscillator sub-samples and coefficients, bit
// for bit, frame by frame.
TEST(FilterStage, VoicesSideBySideMatchSeparateLanesBitForBit) {
    struct Step {
        int frame, note, copies; // note < 0: note off
    };
    const Step steps[] = {{0, 48, 1},   {37, 55, 1},  {300, 60, 4},   {620, 64, 1}, {700, 67, 1},
                          {701, 71, 1}, {900, 74, 1}, {1100, -55, 1}, {1600, 77, 1}};
    for (int type = kFilterBypass; type < kFilterTypeCount; ++type) {
        for (bool hiPass : {false, true}) {
            SCOPED_TRACE(testing::Message() << "type " << type << " high-pass " << hiPass);
            SoundCheck s;
            s.waves(1, 1);
            s.h.p().setSteppedValue(tag::FilterType, type);
            s.h.p().setParameter(tag::FilterFreq, positionOf(600.0));
            s.h.p().setParameter(tag::FilterQ, 0.7f);
            s.h.p().setParameter(tag::EnvToFilterFreq, 0.8f); // the cut-off sweeps
            s.h.p().setParameter(tag::FilterEnvAttack, 0.2f);
            s.h.p().setOnOff(tag::HiPassOn, hiPass);
            s.h.p().setParameter(tag::HiPassFreq, positionOf(150.0));
            s.h.settle_();
            const EngineState& engine = s.h.engine();
            const FilterContext ctx = FilterContext::at(curves(), engine.rate.sampleRate);
            struct Ref {
                LaneFilter f;
                ResonantHighPass hp;
                std::vector<float> ring = std::vector<float>(CombFilter::kRingSize, 0.0f);
            };
            std::vector<Ref> refs(kNumVoices * 4);
            bool mixedGroup = false, twoGroups = false;
            for (int frame = 0; frame < 2200; ++frame) {
                std::vector<const Step*> started;
                for (const Step& step : steps) {
                    if (step.frame != frame) continue;
                    if (step.note > 0) started.push_back(&step);
                    if (step.note > 0) s.h.send(EventBlock().noteOn(0, step.note, 100));
                    if (step.note < 0) s.h.send(EventBlock().noteOff(0, -step.note));
                }
                s.h.render(1);
                for (const Step* step : started) { // a new note's lanes start anew
                    const int v = s.h.gatedVoiceWithNote(step->note);
                    ASSERT_GE(v, 0);
                    for (int k = 0; k < 4; ++k) refs[v * 4 + k] = {};
                }
                const RenderState& listed = engine.render;
                unsigned single = 0, several = 0;
                for (int n = 0; n < listed.activeVoiceCount; ++n) {
                    const int v = listed.activeVoices[n];
                    const VoiceState& voice = s.h.voice(v);
                    const int copies = std::clamp(voice.uniVoices, 1, 4);
                    (copies == 1 ? single : several) |= 1u << (v / 4);
                    for (int k = 0; k < copies; ++k) {
                        Ref& ref = refs[v * 4 + k];
                        const FilterLaneRef lane =
                            filterLaneOf(engine.filter, voice.dsp.filter, v, voice.uniVoices, k);
                        ref.f.retune(type, ctx, lane.cutoff(), lane.resonance());
                        const auto& osc = voice.dsp.lanes[k].osc;
                        float x0 = (osc[0] + osc[1]) * 0.05f, x1 = (osc[2] + osc[3]) * 0.05f;
                        ref.f.run(type, ctx, ref.ring.data(), x0, x1);
                        if (hiPass) {
                            x0 = ref.hp.tick(x0, voice.dsp.filter.hiPassF, 1.0f);
                            x1 = ref.hp.tick(x1, voice.dsp.filter.hiPassF, 1.0f);
                        }
                        ASSERT_EQ(lane.out(0), x0 * 10.0f)
                            << "frame " << frame << " voice " << v << " copy " << k;
                        ASSERT_EQ(lane.out(1), x1 * 10.0f)
                            << "frame " << frame << " voice " << v << " copy " << k;
                    }
                }
                // Four copies from the note's second frame on, which starts
                // its filter anew, as an arpeggio step's chord would give
                // them from the first.
                for (const Step* step : started) {
                    const int v = s.h.gatedVoiceWithNote(step->note);
                    if (step->copies == 1) continue;
                    s.h.voice(v).uniVoices = step->copies;
                    s.h.p().initFilter(3, v);
                    for (int k = 0; k < 4; ++k) refs[v * 4 + k] = {};
                }
                mixedGroup |= (single & several) != 0;
                twoGroups |= (single & (single - 1)) != 0;
            }
            EXPECT_TRUE(mixedGroup) << "a group shared with a voice of four copies";
            EXPECT_TRUE(twoGroups) << "voices of one copy in two groups";
            EXPECT_TRUE(s.h.allFinite);
        }
    }
}

// What the filter and the mix keep of a voice four voices side by side (its
// place among the voices with one copy, its velocity gain, unison divider,
// copy 0's pan and cut-off offset) equals the voice's own at every frame:
// under legato notes that change the velocity gain without a restart, and
// notes that restart in the same lanes with another number of copies.
TEST(FilterStage, KeptCopiesFollowTheirVoicesFrameByFrame) {
    struct Row {
        const char* name;
        int playMode;
        bool keptMoves; // a kept value moves under a sounding note (else: the copies change)
        void (*act)(SoundCheck& s, int frame);
    };
    const Row rows[] = {
        {"legato velocities", playmode::Legato, true,
         [](SoundCheck& s, int f) {
             const int notes[] = {48, 55, 60, 52};
             if (f % 150 == 75)
                 s.h.p().setParameter(tag::MainPan, 0.1f + static_cast<float>(f) / 1000.0f);
             if (f % 150 != 0 || f >= 600) return;
             s.h.p().setParameter(tag::VelocityToVolume, 0.2f + static_cast<float>(f) / 1000.0f);
             s.h.send(EventBlock().noteOn(0, notes[f / 150], 20 + f / 6));
         }},
        {"copies change between notes", playmode::Poly, false,
         [](SoundCheck& s, int f) {
             if (f % 40 != 0 || f >= 760) return;
             s.h.p().setSteppedValue(tag::UnisonMode, f % 120 == 0 ? unimode::Four : unimode::Off);
             s.h.p().setParameter(tag::MainPan, f % 80 == 0 ? 0.2f : 0.7f);
             s.h.send(EventBlock().noteOn(0, 40 + f / 40, 100));
             if (f >= 200) s.h.send(EventBlock().noteOff(0, 40 + f / 40 - 5));
         }},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SoundCheck s;
        s.waves(1, 1);
        s.h.p().setSteppedValue(tag::PlayMode, row.playMode);
        s.h.p().setSteppedValue(tag::FilterType, kFilter24LpII);
        s.h.settle_();
        const EngineState& engine = s.h.engine();
        const FilterGlobal& fg = engine.filter;
        VoiceMixGains4 before[kNumVoices / 4];
        bool moved = false, sawOne = false, sawFour = false, panMoved = false;
        for (int frame = 0; frame < 800; ++frame) {
            row.act(s, frame);
            s.h.render(1);
            const RenderState& render = engine.render;
            if (render.activeVoiceCount == 0) continue;
            uint32_t single = 0, several = 0;
            for (int n = 0; n < render.activeVoiceCount; ++n) {
                const int v = render.activeVoices[n];
                const VoiceState& voice = s.h.voice(v);
                const VoiceMixGains4& kept = engine.mixGains[static_cast<std::size_t>(v / 4)];
                const int k = v % 4;
                (voice.uniVoices <= 1 ? single : several) |= 1u << v;
                ASSERT_EQ(kept.velocityGain[k], voice.velocityGain) << frame << " " << v;
                ASSERT_EQ(kept.uniDivide[k], voice.uniDivide) << frame << " " << v;
                ASSERT_EQ(kept.copyPanL[k], voice.dsp.lanes[0].copyPanL) << frame << " " << v;
                ASSERT_EQ(kept.copyPanR[k], voice.dsp.lanes[0].copyPanR) << frame << " " << v;
                ASSERT_EQ(fg.terms[static_cast<std::size_t>(v / 4)].copyOffset[k],
                          voice.dsp.lanes[0].copyFilterOffset);
                const VoiceMixGains4& last = before[v / 4];
                if (voice.uniVoices <= 1) { // the smoothed pan moves in the group
                    const float to = s.h.p().getCurrentValue(tag::MainPan);
                    // A note that starts this frame starts from its voice's.
                    float pan = voice.voiceTick == 1 ? voice.dsp.panSmoothed : last.panSmoothed[k];
                    if (pan != to) pan = (pan - to) * 0.99f + to;
                    ASSERT_EQ(kept.panSmoothed[k], pan) << frame << " " << v;
                    panMoved |= voice.voiceTick > 1 && last.panSmoothed[k] != pan;
                }
                moved |= voice.voiceTick > 1 && (last.velocityGain[k] != kept.velocityGain[k] ||
                                                 last.copyPanL[k] != kept.copyPanL[k]);
            }
            sawOne |= single != 0;
            sawFour |= several != 0;
            ASSERT_EQ(fg.singles, single) << frame;
            ASSERT_EQ(fg.several, several) << frame;
            std::copy(engine.mixGains.begin(), engine.mixGains.end(), before);
        }
        EXPECT_TRUE(row.keptMoves ? moved : sawOne && sawFour)
            << "a kept value moved under a sounding note, or voices of one and of four copies "
               "took turns";
        EXPECT_TRUE(panMoved) << "the smoothed pan moved under a sounding note";
        EXPECT_TRUE(s.h.allFinite);
    }
}
