// The oscillator's wave tables: the 32 morph frames between waves A and B in
// the oscillator modes, the noise cases, the band-limited pitch tables and
// their loudness levelling, the staged rebuild as the render loop drives it
// (when it notices a change, when it starts, the silence while it runs, the
// bank switch, restarts and the user-wave lock), and factory waves loaded
// into the user waves.

#include "support/plugin_harness.h"

#include "data/factory_waves.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int N = kWaveSize;
constexpr int kFrames = kNumMorphFrames;
constexpr double kTwoPi = 2.0 * std::numbers::pi;
constexpr int kUser0 = kFirstUserWave;     // 183
constexpr int kUser1 = kFirstUserWave + 1; // 184

const FactoryWaves& factory() {
    return factoryWaves();
}

Fft2048& scratchFft() {
    static std::unique_ptr<Fft2048> fft = std::make_unique<Fft2048>();
    return *fft;
}

// The wave of a frame: the inverse transform of its spectrum.
std::vector<double> frameWave(const APlugin& p, int f) {
    Fft2048& fft = scratchFft();
    std::copy(p.waves.frameSpectrumRe[f].begin(), p.waves.frameSpectrumRe[f].end(), fft.fftInRe);
    std::copy(p.waves.frameSpectrumIm[f].begin(), p.waves.frameSpectrumIm[f].end(), fft.fftInIm);
    fft.ifft(N);
    return std::vector<double>(fft.fftOutRe, fft.fftOutRe + N);
}

// Magnitudes of the forward transform of a real table.
std::vector<double> magnitudes(const WaveTable& t) {
    Fft2048& fft = scratchFft();
    std::copy(t.begin(), t.end(), fft.fftInRe);
    std::fill(std::begin(fft.fftInIm), std::end(fft.fftInIm), 0.0f);
    fft.fft(N);
    std::vector<double> m(N);
    for (int k = 0; k < N; ++k) m[k] = std::hypot(double(fft.fftOutRe[k]), double(fft.fftOutIm[k]));
    return m;
}

template <typename A, typename B> double maxDiff(const A& a, const B& b) {
    double d = 0.0;
    for (int i = 0; i < N; ++i) d = std::max(d, std::fabs(double(a[i]) - double(b[i])));
    return d;
}

template <typename A> double peakOf(const A& a) {
    double m = 0.0;
    for (int i = 0; i < N; ++i) m = std::max(m, std::fabs(double(a[i])));
    return m;
}

std::vector<double> factoryWave(int w) {
    return std::vector<double>(factory().oscWave[w].begin(), factory().oscWave[w].end());
}

// Additive synthesis of the first 127 partials, scaled so that the peak
// equals the largest amplitude; partial j sits at harmonic j + 1 as
// a cos((phase - 0.5) 2 pi - 2 pi (j + 1) i / N).
std::vector<double> additive127(const std::vector<TAdditive>& partials) {
    std::vector<double> x(N, 0.0);
    double largest = 0.0;
    for (int j = 0; j < 127 && j < static_cast<int>(partials.size()); ++j) {
        const double a = partials[j].amplitude;
        if (a < 1e-9) continue;
        largest = std::max(largest, a);
        const double theta = (double(partials[j].phase) - 0.5) * kTwoPi;
        const double step = kTwoPi * (j + 1) / N;
        for (int i = 0; i < N; ++i) x[i] += a * std::cos(theta - step * i);
    }
    const double peak = peakOf(x);
    if (peak > 0.0)
        for (double& v : x) v *= largest / peak;
    return x;
}

std::vector<TAdditive> factoryPartials(int w) {
    std::vector<TAdditive> out(127);
    for (int j = 0; j < 127; ++j)
        out[j] = {factory().partialsAmp[w][j + 1] / 1024.0f, factory().partialsPhase[w][j + 1]};
    return out;
}

std::vector<TAdditive> userPartials(APlugin& p, int u) {
    std::vector<TAdditive> out(127);
    for (int j = 0; j < 127; ++j) out[j] = p.getWaveTablePartials(u, j);
    return out;
}

// Frames and levels, for "left as they were" checks.
struct FrameSnapshot {
    std::array<WaveTable, kFrames> re, im;
    std::array<float, kFrames> level;
    explicit FrameSnapshot(const APlugin& p)
        : re(p.waves.frameSpectrumRe), im(p.waves.frameSpectrumIm), level(p.waves.frameLevel) {}
    bool sameAs(const APlugin& p) const {
        return re == p.waves.frameSpectrumRe && im == p.waves.frameSpectrumIm &&
               level == p.waves.frameLevel;
    }
};

// One plug-in per group (each holds tens of megabytes).
class WaveTablesTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { harness = new PluginHarness(); }
    static void TearDownTestSuite() {
        delete harness;
        harness = nullptr;
    }
    APlugin& p() { return harness->p(); }
    PluginHarness& h() { return *harness; }

    // The frame build straight from the cached waves and the mode parameter.
    void build(int a, int b, int mode) {
        p().waves.cachedWaveA = a;
        p().waves.cachedWaveB = b;
        p().setSteppedValue(tag::OscMode, mode);
        ASSERT_EQ(p().getOscMode(), mode);
        p().setOscWaveTables();
    }

    // Only the given partials of user wave u, then its table rebuilt.
    void setUserWave(int u, std::initializer_list<std::pair<int, TAdditive>> partials) {
        for (int j = 0; j < kUserWavePartials; ++j) p().setWaveTablePartials(u, j, 0.0f, 0.0f);
        for (const auto& [j, partial] : partials) p().setWaveTablePartials(u, j, partial);
        p().convertWaveTablePartialsToWaveTable(u);
    }

    static PluginHarness* harness;
};

PluginHarness* WaveTablesTest::harness = nullptr;

using WaveTablesFrames = WaveTablesTest;
using WaveTablesPitch = WaveTablesTest;
using WavePresetLoad = WaveTablesTest;

} // namespace

// ------------------------------------------------------------------ the frame build

TEST_F(WaveTablesFrames, MixOfSineAndSaw) {
    build(0, 1, 0);
    EXPECT_FALSE(p().waves.waveAIsNoise);
    EXPECT_FALSE(p().waves.waveBIsNoise);
    EXPECT_FALSE(p().waves.bothWavesNoise);
    EXPECT_LT(maxDiff(frameWave(p(), 0), factoryWave(0)), 1e-5);
    EXPECT_LT(maxDiff(frameWave(p(), 31), factoryWave(1)), 1e-5);
    std::vector<double> mix(N);
    for (int i = 0; i < N; ++i)
        mix[i] = factory().oscWave[0][i] * 16.0 / 31.0 + factory().oscWave[1][i] * 15.0 / 31.0;
    EXPECT_LT(maxDiff(frameWave(p(), 15), mix), 1e-5);
    for (int f = 0; f < kFrames; ++f) EXPECT_EQ(p().waves.frameLevel[f], 1.0f) << f;
}

TEST_F(WaveTablesFrames, TinyRealPartsAreCleared) {
    build(0, 1, 0);
    for (int f = 0; f < kFrames; ++f)
        for (int k = 0; k < N; ++k) {
            const float re = p().waves.frameSpectrumRe[f][k];
            ASSERT_TRUE(re == 0.0f || std::fabs(re) >= 1e-5f) << f << " " << k;
        }
}

TEST_F(WaveTablesFrames, BothWavesNoiseLeavesTheFrames) {
    build(0, 1, 0);
    const FrameSnapshot before(p());
    p().waves.rebuildRunning = true;
    build(FactoryWaves::kWhiteNoiseWave, FactoryWaves::kPinkNoiseWave, 0);
    EXPECT_TRUE(p().waves.bothWavesNoise);
    EXPECT_TRUE(p().waves.waveAIsNoise);
    EXPECT_TRUE(p().waves.waveBIsNoise);
    EXPECT_FALSE(p().waves.rebuildRunning);
    EXPECT_TRUE(before.sameAs(p()));

    // The flags are cleared again by the next build.
    build(0, 1, 0);
    EXPECT_FALSE(p().waves.bothWavesNoise);
    EXPECT_FALSE(p().waves.waveAIsNoise);
}

TEST_F(WaveTablesFrames, NoiseAndUserWaveFadeTheUserWaveIn) {
    setUserWave(1, {{0, TAdditive{0.6f, 0.75f}}, {2, TAdditive{0.3f, 0.25f}}});
    const WaveTable user = p().waves.userWaveTable[1];
    const double peak = peakOf(user);
    ASSERT_NEAR(peak, 613.0 / 1023.0, 1e-5);

    build(FactoryWaves::kWhiteNoiseWave, kUser1, 0);
    EXPECT_TRUE(p().waves.waveAIsNoise);
    EXPECT_FALSE(p().waves.waveBIsNoise);
    EXPECT_FALSE(p().waves.bothWavesNoise);
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_LT(maxDiff(frameWave(p(), f), user), 1e-5) << f;
        const double expected = f == 0 ? 1.0 : peak * f / 31.0;
        EXPECT_NEAR(p().waves.frameLevel[f], expected, 1e-5) << f;
    }

    // The other way round: B is the noise and A fades out.
    build(kUser1, FactoryWaves::kPinkNoiseWave, 0);
    EXPECT_TRUE(p().waves.waveBIsNoise);
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_LT(maxDiff(frameWave(p(), f), user), 1e-5) << f;
        const double expected = f == 31 ? 1.0 : peak * (31 - f) / 31.0;
        EXPECT_NEAR(p().waves.frameLevel[f], expected, 1e-5) << f;
    }
}

TEST_F(WaveTablesFrames, NoiseAndFactoryWaveKeepFullLevels) {
    build(3, FactoryWaves::kWhiteNoiseWave, 9);
    EXPECT_TRUE(p().waves.waveBIsNoise);
    for (int f = 0; f < kFrames; ++f) {
        EXPECT_LT(maxDiff(frameWave(p(), f), factoryWave(3)), 1e-5) << f;
        EXPECT_EQ(p().waves.frameLevel[f], 1.0f) << f;
    }
}

TEST_F(WaveTablesFrames, RangeSkipsTheNoiseWaves) {
    build(12, 16, 14);
    for (int f = 0; f < kFrames; ++f) {
        const float t = static_cast<float>(f) / 31.0f;
        const float q = 12.0f + t * 4.0f;
        const int n = static_cast<int>(std::trunc(q));
        const float r = q - std::trunc(q);
        int i0 = std::min(n, 182);
        int i1 = n >= 182 ? 182 : n + 1;
        if (FactoryWaves::isNoise(i0)) i0 = 13;
        if (FactoryWaves::isNoise(i1)) i1 = 16;
        ASSERT_FALSE(FactoryWaves::isNoise(i0) || FactoryWaves::isNoise(i1));
        std::vector<double> x(N);
        for (int i = 0; i < N; ++i)
            x[i] = factory().oscWave[i0][i] +
                   (factory().oscWave[i1][i] - factory().oscWave[i0][i]) * r;
        EXPECT_LT(maxDiff(frameWave(p(), f), x), 1e-5) << "frame " << f;
        // Never silent: a noise wave (all zeros) would pull it towards 0.
        EXPECT_GT(peakOf(frameWave(p(), f)), 0.2) << "frame " << f;
    }
    EXPECT_LT(maxDiff(frameWave(p(), 31), factoryWave(16)), 1e-5);
    EXPECT_LT(maxDiff(frameWave(p(), 0), factoryWave(12)), 1e-5);
}

TEST_F(WaveTablesFrames, RangeWithAUserWaveIsBuiltAsMorph) {
    setUserWave(
        0, {{0, TAdditive{0.9f, 0.75f}}, {1, TAdditive{0.5f, 0.4f}}, {4, TAdditive{0.3f, 0.1f}}});
    build(kUser0, 5, 14);
    const FrameSnapshot range(p());
    build(kUser0, 5, 1);
    EXPECT_TRUE(range.sameAs(p()));

    // And that is the partial morph: frame 0 is user wave 0's partials,
    // frame 31 the first 127 partials of wave 5.
    EXPECT_LT(maxDiff(frameWave(p(), 0), additive127(userPartials(p(), 0))), 1e-4);
    EXPECT_LT(maxDiff(frameWave(p(), 31), additive127(factoryPartials(5))), 1e-4);
    // The levels are the peaks of the sample-domain mixes.
    for (int f : {0, 10, 31}) {
        const float wA = static_cast<float>(f) / -31.0f + 1.0f;
        double level = 0.0;
        for (int i = 0; i < N; ++i)
            level = std::max(level, std::fabs(double(p().waves.userWaveTable[0][i]) * wA +
                                              double(factory().oscWave[5][i]) * (1.0 - wA)));
        EXPECT_NEAR(p().waves.frameLevel[f], level, 1e-5) << f;
    }
}

TEST_F(WaveTablesFrames, FactoryMorphLevelsInvertThePeak) {
    build(1, 2, 1);
    for (int f : {0, 15, 31}) {
        const std::vector<double> x = frameWave(p(), f);
        EXPECT_NEAR(p().waves.frameLevel[f] * peakOf(x), 1.0, 1e-4) << f;
    }
    // Frame 0 carries wave A's spectrum as stored: its wave is wave A.
    EXPECT_LT(maxDiff(frameWave(p(), 0), factoryWave(1)), 1e-4);
}

TEST_F(WaveTablesFrames, LowPartialMorphMovesPartialsFromAToB) {
    build(1, 2, 2);
    EXPECT_LT(maxDiff(frameWave(p(), 0), additive127(factoryPartials(1))), 1e-4);
    EXPECT_LT(maxDiff(frameWave(p(), 31), additive127(factoryPartials(2))), 1e-4);
    // In between the partials below K come from B.
    const int f = 20;
    const float t = static_cast<float>(f) / 31.0f;
    const int K = static_cast<int>(t * t * t * 128.0f);
    ASSERT_GT(K, 2);
    std::vector<TAdditive> mixed = factoryPartials(1);
    const std::vector<TAdditive> fromB = factoryPartials(2);
    for (int j = 0; j + 1 < K; ++j) mixed[j] = fromB[j];
    EXPECT_LT(maxDiff(frameWave(p(), f), additive127(mixed)), 1e-4);
    for (int g = 0; g < kFrames; ++g) EXPECT_EQ(p().waves.frameLevel[g], 1.0f) << g;
}

TEST_F(WaveTablesFrames, HighAndParityPartialMorphs) {
    const std::vector<TAdditive> pa = factoryPartials(1), pb = factoryPartials(2);
    // Mode 3: partials above K = int((1 - t)^3 * 128) come from B.
    build(1, 2, 3);
    for (int f : {0, 9, 31}) {
        const float t = static_cast<float>(f) / 31.0f;
        const int K = static_cast<int>((1.0f - t) * (1.0f - t) * (1.0f - t) * 128.0f);
        std::vector<TAdditive> mixed(127);
        for (int j = 0; j < 127; ++j) mixed[j] = j + 1 > K ? pb[j] : pa[j];
        EXPECT_LT(maxDiff(frameWave(p(), f), additive127(mixed)), 1e-4) << "mode 3 frame " << f;
    }
    // Modes 4 and 5: odd and even harmonics cross over one after the other.
    for (int mode : {4, 5}) {
        build(1, 2, mode);
        for (int f : {0, 7, 15, 16, 23, 30, 31}) {
            const float ramp = f <= 15 ? f * 0.0625f : 1.0f;
            const float late = f <= 15 ? 0.0f : (f <= 30 ? (f - 16) * 0.0625f : 1.0f);
            const float wOdd = mode == 4 ? late : ramp;
            const float wEven = mode == 4 ? ramp : late;
            std::vector<TAdditive> mixed(127);
            for (int j = 0; j < 127; ++j) {
                const float w = (j + 1) % 2 == 1 ? wOdd : wEven;
                mixed[j] = {pa[j].amplitude * (1.0f - w) + pb[j].amplitude * w,
                            pa[j].phase * (1.0f - w) + pb[j].phase * w};
            }
            EXPECT_LT(maxDiff(frameWave(p(), f), additive127(mixed)), 1e-4)
                << "mode " << mode << " frame " << f;
        }
    }
}

TEST_F(WaveTablesFrames, SampleDomainModes) {
    const auto& A = factory().oscWave[1];
    const auto& B = factory().oscWave[2];
    for (int mode : {6, 7, 9, 10, 11, 12, 13}) {
        build(1, 2, mode);
        for (int f : {0, 1, 12, 30, 31}) {
            const float t = static_cast<float>(f) / 31.0f;
            const float wA = static_cast<float>(f) / -31.0f + 1.0f;
            std::vector<double> x(N);
            if (mode == 6) {
                const float e = static_cast<float>(std::exp2(4.0 - f / 4.0));
                for (int i = 0; i < N; ++i) {
                    const float w = f == 0    ? 0.0f
                                    : f == 31 ? 1.0f
                                              : std::pow(static_cast<float>(i) / 4006.0f, e);
                    x[i] = A[i] * (1.0f - w) + B[i] * w;
                }
            } else if (mode == 7) {
                const int split = static_cast<int>(t * 2048.0f);
                for (int i = 0; i < N; ++i) x[i] = i < split ? B[i] : A[i];
            } else if (mode == 9) {
                const double d = 3.0 * f / 31.0;
                float q = 0.0f;
                for (int i = 0; i < N; ++i) {
                    q += static_cast<float>(std::exp2(B[i] * d));
                    x[i] = A[static_cast<int>(q) & 2047];
                }
            } else if (mode == 10) {
                for (int i = 0; i < N; ++i)
                    x[i] = A[(static_cast<int>(B[i] * 2048.0f * t) + i) & 2047];
            } else if (mode == 11) {
                for (int i = 0; i < N; ++i) x[i] = (std::fabs(B[i]) * t + (1.0f - t)) * A[i];
            } else if (mode == 12) {
                for (int i = 0; i < N; ++i) x[i] = A[i] * B[i] * (1.0f - wA) + A[i] * wA;
            } else {
                for (int i = 0; i < N; ++i)
                    x[i] = B[static_cast<int>(A[i] * 1021.0f + 1024.0f)] * (1.0f - wA) + A[i] * wA;
            }
            EXPECT_LT(maxDiff(frameWave(p(), f), x), 2e-5) << "mode " << mode << " frame " << f;
            const double level = mode >= 9 ? std::max(peakOf(x), 1e-4) : 1.0;
            EXPECT_NEAR(p().waves.frameLevel[f], level, 1e-6) << "mode " << mode << " frame " << f;
        }
    }
}

// ------------------------------------------------------------------ pitch tables

TEST_F(WaveTablesPitch, EmptyRangeChangesNothing) {
    build(1, 2, 0);
    p().setOscWavePitchTables(0, 35);
    const int bank = p().waves.activeBank.load();
    auto banks = std::make_unique<std::array<PitchTableBank, 2>>();
    for (int slot : {0, 1}) (*banks)[slot] = p().waves.pitchTableBank[slot];
    auto sameBanks = [&] {
        return (*banks)[0] == p().waves.pitchTableBank[0] &&
               (*banks)[1] == p().waves.pitchTableBank[1];
    };
    const FrameSnapshot frames(p());
    p().waves.pitchTablesBusy = true;
    p().setOscWavePitchTables(5, 5);
    EXPECT_FALSE(p().waves.pitchTablesBusy);
    EXPECT_EQ(p().waves.activeBank.load(), bank);
    EXPECT_TRUE(sameBanks());
    EXPECT_TRUE(frames.sameAs(p()));
    p().setOscWavePitchTables(9, 3);
    EXPECT_TRUE(sameBanks());
}

TEST_F(WaveTablesPitch, FullBuildLevelsAndBandLimitsTheTables) {
    build(1, 2, 0); // Saw to Square: rich spectra
    const int bank = p().waves.activeBank.load();
    const auto activeBefore = std::make_unique<PitchTableBank>(p().waves.pitchTableBank[bank]);
    p().setOscWavePitchTables(0, 35);
    EXPECT_TRUE(*activeBefore == p().waves.pitchTableBank[bank]); // the played bank is untouched
    p().normalizePitchTables();
    ASSERT_EQ(p().waves.activeBank.load(), 1 - bank);
    EXPECT_FALSE(p().waves.pitchTablesBusy);
    EXPECT_FALSE(p().waves.rebuildRunning);
    const PitchTableBank& built = p().waves.pitchTableBank[1 - bank];

    for (int f = 0; f < kFrames; ++f) {
        // Table 0 is the frame's wave brought to the frame's level.
        const std::vector<double> x = frameWave(p(), f);
        const double peak = peakOf(x);
        std::vector<double> scaled(N);
        for (int i = 0; i < N; ++i) scaled[i] = x[i] / peak * p().waves.frameLevel[f];
        ASSERT_LT(maxDiff(built[0][f], scaled), 1e-4) << f;

        // Tables 1..34 have the loudness of table 0.
        double s0 = 0.0;
        for (float v : built[0][f]) s0 += std::fabs(v);
        for (int t = 1; t < kNumPitchTables; ++t) {
            double s = 0.0;
            for (float v : built[t][f]) s += std::fabs(v);
            ASSERT_NEAR(s, s0, s0 * 1e-4) << "frame " << f << " table " << t;
        }
    }

    // The top table keeps bins 0..2 only: harmonics 1 and 2.
    for (int f : {0, 15, 31}) {
        const std::vector<double> m = magnitudes(built[34][f]);
        const double strongest = *std::max_element(m.begin(), m.end());
        ASSERT_GT(strongest, 1.0);
        EXPECT_GT(m[1], strongest * 0.1) << f;
        for (int k = 3; k <= N - 3; ++k)
            ASSERT_LT(m[k], strongest * 1e-4) << "frame " << f << " bin " << k;
    }
    // Table 1 keeps 148 harmonics, no more.
    const std::vector<double> m1 = magnitudes(built[1][0]);
    const double strongest1 = *std::max_element(m1.begin(), m1.end());
    EXPECT_GT(m1[147], strongest1 * 1e-4);
    for (int k = 149; k <= N - 149; ++k) ASSERT_LT(m1[k], strongest1 * 1e-4) << k;
}

// ------------------------------------------------------------------ the staged rebuild

namespace {

// What one staged rebuild looked like from the render loop.
struct RebuildTrace {
    int framesToNotice = -1;    // frames from the change until the request
    bool startedOnTick = false; // the frames were built at a 4096-frame tick
    int flips = 0;              // bank switches seen
    bool silentWhileRunning = true;
    bool voiceStill = true;
    int stagesSeen = 0;
};

} // namespace

class WaveTablesRebuildTest : public WaveTablesTest {
protected:
    // Renders single frames until a rebuild is requested (at most `limit`).
    int framesUntilRequested(int limit) {
        for (int n = 1; n <= limit; ++n) {
            h().render(1);
            if (p().waves.rebuildRequested.load()) return n;
        }
        return -1;
    }
    // Renders up to (not including) the next 4096-frame tick.
    void renderToTick() {
        const int rest = static_cast<int>((4096 - h().counter() % 4096) % 4096);
        if (rest > 0) h().render(rest);
    }
    // Silent from `from` on (the output glides into the silence over its
    // first 1.5 ms).
    bool blockSilent(int frames, int from = 0) const {
        for (int i = from; i < frames; ++i)
            if (harness->left[i] != 0.0f || harness->right[i] != 0.0f) return false;
        return true;
    }
    // From just before the start tick: the start and the eight stages.
    void runStages(RebuildTrace& trace, int voice) {
        const int bank = p().waves.activeBank.load();
        h().render(1); // the 4096-frame tick
        trace.startedOnTick = p().tableRebuildRunning() && p().waves.rebuildStage == 0 &&
                              !p().waves.rebuildRequested.load();
        const int tick = p().engine.voices[voice].voiceTick;
        h().render(511);
        trace.silentWhileRunning = trace.silentWhileRunning && blockSilent(511, 70);
        int seen = bank;
        for (int s = 1; s <= 8; ++s) {
            h().render(512); // its first frame is a 512-frame tick
            if (p().waves.activeBank.load() != seen) {
                seen = p().waves.activeBank.load();
                ++trace.flips;
            }
            if (s < 8) {
                if (p().waves.rebuildStage == s && p().tableRebuildRunning()) ++trace.stagesSeen;
                trace.silentWhileRunning = trace.silentWhileRunning && blockSilent(512);
                // The voice's own clock stands still while the build runs.
                if (p().engine.voices[voice].voiceTick != tick) trace.voiceStill = false;
            } else if (p().waves.rebuildStage == -1 && !p().tableRebuildRunning()) {
                ++trace.stagesSeen;
            }
        }
    }
    // A held note that sounds, so that the silence of a rebuild shows.
    int playNote() {
        h().send(EventBlock().noteOn(0, 60));
        h().render(64);
        const int v = h().gatedVoiceWithNote(60);
        EXPECT_GE(v, 0);
        h().render(1024);
        EXPECT_FALSE(blockSilent(1024)) << "the note should sound";
        return std::max(v, 0);
    }
    void releaseNote() {
        h().send(EventBlock().noteOff(0, 60));
        h().settle_();
    }
};

using WaveTablesStaged = WaveTablesRebuildTest;

TEST_F(WaveTablesStaged, ModeChangeRebuildsInStagesAndSwitchesBanksOnce) {
    p().setSteppedValue(tag::OscWaveA, 1);
    p().setSteppedValue(tag::OscWaveB, 2);
    p().setSteppedValue(tag::OscMode, 7);
    h().settle_();
    ASSERT_EQ(p().waves.cachedOscMode, 7);
    const int voice = playNote();

    h().alignTo(4096);
    h().render(1);
    const int bank = p().waves.activeBank.load();
    p().setSteppedValue(tag::OscMode, 8);
    RebuildTrace trace;
    trace.framesToNotice = framesUntilRequested(128);
    EXPECT_GT(trace.framesToNotice, 0);
    EXPECT_LE(trace.framesToNotice, 128);
    EXPECT_EQ(p().waves.cachedOscMode, 8);

    // Nothing is built before the next 4096-frame tick.
    const FrameSnapshot old(p());
    renderToTick();
    EXPECT_FALSE(p().tableRebuildRunning());
    EXPECT_EQ(p().waves.rebuildStage, -1);
    EXPECT_TRUE(p().waves.rebuildRequested.load());
    EXPECT_TRUE(old.sameAs(p()));
    const int tickBefore = p().engine.voices[voice].voiceTick;

    runStages(trace, voice);
    EXPECT_TRUE(trace.startedOnTick);
    EXPECT_EQ(trace.stagesSeen, 8);
    EXPECT_EQ(trace.flips, 1);
    EXPECT_TRUE(trace.silentWhileRunning);
    EXPECT_TRUE(trace.voiceStill) << "voice clock " << tickBefore << " -> "
                                  << p().engine.voices[voice].voiceTick;
    EXPECT_EQ(p().waves.activeBank.load(), 1 - bank);
    EXPECT_FALSE(p().waves.rebuildRequested.load());

    // The new bank is Table Combine: frame 15 holds A squeezed into its
    // first 1058 samples and B into the last 990.
    const int s = static_cast<int>(15.0f / 31.0f * 2048.0f);
    const int n = N - s;
    std::vector<double> x(N);
    for (int i = 0; i < n; ++i)
        x[i] = factory().oscWave[1][static_cast<int>(static_cast<float>(i) / n * 2047.9999f)];
    for (int i = n; i < N; ++i)
        x[i] = factory().oscWave[2][static_cast<int>(static_cast<float>(i - n) / s * 2047.9999f)];
    EXPECT_LT(maxDiff(frameWave(p(), 15), x), 1e-5);
    const WaveTable& table = p().waves.pitchTableBank[p().waves.activeBank.load()][0][15];
    const double peak = peakOf(x);
    for (double& v : x) v /= peak;
    EXPECT_LT(maxDiff(table, x), 1e-4);

    // Nothing more happens without a change.
    h().render(8192);
    EXPECT_EQ(p().waves.activeBank.load(), 1 - bank);
    releaseNote();
}

TEST_F(WaveTablesStaged, WaveAChangeIsNoticedAndBuilt) {
    p().setSteppedValue(tag::OscWaveA, 1);
    p().setSteppedValue(tag::OscWaveB, 2);
    p().setSteppedValue(tag::OscMode, 0);
    h().settle_();
    const int voice = playNote();

    h().alignTo(4096);
    h().render(1);
    const int bank = p().waves.activeBank.load();
    p().setSteppedValue(tag::OscWaveA, 0);
    RebuildTrace trace;
    trace.framesToNotice = framesUntilRequested(128);
    EXPECT_GT(trace.framesToNotice, 0);
    EXPECT_LE(trace.framesToNotice, 128);
    EXPECT_EQ(p().waves.cachedWaveA, 0);
    renderToTick();
    EXPECT_FALSE(p().tableRebuildRunning());
    runStages(trace, voice);
    EXPECT_TRUE(trace.startedOnTick);
    EXPECT_EQ(trace.flips, 1);
    EXPECT_TRUE(trace.silentWhileRunning);
    EXPECT_TRUE(trace.voiceStill);
    EXPECT_EQ(p().waves.activeBank.load(), 1 - bank);
    EXPECT_LT(maxDiff(p().waves.pitchTableBank[1 - bank][0][0], factoryWave(0)), 1e-4);
    releaseNote();
}

TEST_F(WaveTablesStaged, RequestDuringTheStagesRestartsFromTheFrames) {
    setUserWave(0, {{0, TAdditive{0.9f, 0.75f}}});
    p().setSteppedValue(tag::OscWaveA, kUser0);
    p().setSteppedValue(tag::OscWaveB, 1);
    p().setSteppedValue(tag::OscMode, 0);
    h().settle_();
    const int bank = p().waves.activeBank.load();
    int flips = 0;
    auto countFlip = [&, seen = bank]() mutable {
        if (p().waves.activeBank.load() != seen) {
            seen = p().waves.activeBank.load();
            ++flips;
        }
    };

    // A first change starts a build ...
    setUserWave(0, {{1, TAdditive{0.7f, 0.2f}}});
    const WaveTable first = p().waves.userWaveTable[0];
    renderToTick();
    h().render(1);
    ASSERT_TRUE(p().tableRebuildRunning());
    EXPECT_LT(maxDiff(frameWave(p(), 0), first), 1e-5);
    h().render(511);
    for (int s = 1; s <= 3; ++s) {
        h().render(512);
        countFlip();
    }
    ASSERT_EQ(p().waves.rebuildStage, 3);

    // ... and a second one during its stages abandons it.
    setUserWave(0, {{2, TAdditive{0.8f, 0.6f}}});
    const WaveTable second = p().waves.userWaveTable[0];
    h().render(512);
    countFlip();
    EXPECT_EQ(p().waves.rebuildStage, -1);
    EXPECT_FALSE(p().tableRebuildRunning());
    renderToTick();
    countFlip();
    EXPECT_EQ(flips, 0);
    EXPECT_EQ(p().waves.rebuildStage, -1);
    EXPECT_TRUE(p().waves.rebuildRequested.load());

    // The restart builds the frames again, from the second wave.
    h().render(1);
    ASSERT_TRUE(p().tableRebuildRunning());
    EXPECT_EQ(p().waves.rebuildStage, 0);
    EXPECT_LT(maxDiff(frameWave(p(), 0), second), 1e-5);
    h().render(511);
    for (int s = 1; s <= 8; ++s) {
        h().render(512);
        countFlip();
        if (s < 8) {
            EXPECT_EQ(flips, 0) << "stage " << s;
        }
    }
    EXPECT_EQ(flips, 1);
    EXPECT_EQ(p().waves.activeBank.load(), 1 - bank);
    // Frame 0 of table 0 is the second wave at its own peak.
    EXPECT_LT(maxDiff(p().waves.pitchTableBank[1 - bank][0][0], second), 1e-4);
}

TEST_F(WaveTablesStaged, BusyUserWaveLockPostponesTheBuild) {
    p().setSteppedValue(tag::OscWaveA, 1);
    p().setSteppedValue(tag::OscWaveB, 2);
    p().setSteppedValue(tag::OscMode, 0);
    h().settle_();
    const int bank = p().waves.activeBank.load();
    const int voice = playNote();

    // Another thread holds the user waves (as a main-thread conversion does).
    std::atomic<int> state{0}; // 1 locked, 2 asked to unlock
    std::atomic<bool> timedOut{false};
    std::thread holder([&] {
        std::unique_lock lock(p().waves.userWaveMutex);
        state.store(1);
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (state.load() != 2) {
            if (std::chrono::steady_clock::now() > until) {
                timedOut.store(true);
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    while (state.load() != 1) std::this_thread::yield();

    h().alignTo(4096);
    h().render(1);
    p().setSteppedValue(tag::OscWaveA, 3);
    EXPECT_GT(framesUntilRequested(128), 0);
    const FrameSnapshot old(p());
    for (int ticks = 0; ticks < 2; ++ticks) {
        renderToTick();
        const int tick = p().engine.voices[voice].voiceTick;
        h().render(512); // crosses the 4096-frame tick
        EXPECT_FALSE(p().tableRebuildRunning());
        EXPECT_EQ(p().waves.rebuildStage, -1);
        EXPECT_TRUE(p().waves.rebuildRequested.load());
        EXPECT_TRUE(old.sameAs(p()));
        EXPECT_EQ(p().waves.activeBank.load(), bank);
        EXPECT_EQ(p().engine.voices[voice].voiceTick - tick, 512); // the voices play on
        EXPECT_FALSE(blockSilent(512));
    }
    state.store(2);
    holder.join();
    EXPECT_FALSE(timedOut.load()) << "the render loop waited for the lock";

    // Free again: the next tick builds.
    RebuildTrace trace;
    renderToTick();
    runStages(trace, voice);
    EXPECT_TRUE(trace.startedOnTick);
    EXPECT_EQ(trace.flips, 1);
    EXPECT_EQ(p().waves.activeBank.load(), 1 - bank);
    EXPECT_LT(maxDiff(frameWave(p(), 0), factoryWave(3)), 1e-5);
    releaseNote();
}

// ------------------------------------------------------------------ factory waves into user waves

TEST_F(WavePresetLoad, StartUpLoadsTheSineIntoBothWaves) {
    // Run first in its group, on the plug-in as it came up.
    for (int t = tag::PartialFirst; t <= tag::WaveNameLast; ++t)
        ASSERT_EQ(p().getDefaultValue(t), p().getCurrentValue(t)) << "tag " << t;
    EXPECT_FALSE(p().getEditChanged());
    for (int w = 0; w < 2; ++w) {
        EXPECT_EQ(p().get2StringFromParamStr(tag::waveName(w, 0), tag::UserWaveNameChars), "Sine");
        EXPECT_TRUE(p().getOnOff(tag::WaveHasPresetFirst + w));
        EXPECT_EQ(p().getWaveTablePartialsAmp(w, 0), 1.0f);
        EXPECT_NEAR(p().getWaveTablePartialsPhase(w, 0), 0.75, 1.0 / 1023.0 + 1e-6);
        std::vector<double> sine(N);
        for (int i = 0; i < N; ++i) sine[i] = std::sin(kTwoPi * i / N);
        EXPECT_LT(maxDiff(p().waves.userWaveTable[w], sine), 4e-3);
    }
}

TEST_F(WavePresetLoad, FactoryWaveNamesTheUserWave) {
    p().waves.rebuildRequested.store(false);
    p().loadWavePreset(1, 2);
    EXPECT_EQ(p().get2StringFromParamStr(tag::waveName(1, 0), tag::UserWaveNameChars), "Square");
    EXPECT_EQ(p().getParameterNameStr(tag::WaveHasPresetFirst + 1), "Wave 2 Has Preset");
    EXPECT_TRUE(p().getOnOff(tag::WaveHasPresetFirst + 1));
    EXPECT_TRUE(p().waves.rebuildRequested.load());
    // Wave 0 is untouched.
    EXPECT_EQ(p().get2StringFromParamStr(tag::waveName(0, 0), tag::UserWaveNameChars), "Sine");

    // The table is the synthesis of the 128 analysed partials: close to the
    // factory square, and peaking at its strongest partial.
    const WaveTable& t = p().waves.userWaveTable[1];
    float largest = 0.0f;
    for (int j = 0; j < kUserWavePartials; ++j)
        largest = std::max(largest, p().getWaveTablePartialsAmp(1, j));
    EXPECT_NEAR(peakOf(t), largest, 1e-5);
    double dot = 0.0, tt = 0.0, ss = 0.0;
    for (int i = 0; i < N; ++i) {
        dot += double(t[i]) * factory().oscWave[2][i];
        tt += double(t[i]) * t[i];
        ss += double(factory().oscWave[2][i]) * factory().oscWave[2][i];
    }
    EXPECT_GT(dot / std::sqrt(tt * ss), 0.95);

    // Back to the start-up state.
    p().loadWavePreset(1, 0);
    for (int t2 = tag::partial(1, 0); t2 <= tag::WaveNameLast; ++t2)
        ASSERT_EQ(p().getDefaultValue(t2), p().getCurrentValue(t2)) << "tag " << t2;
    p().core.editChanged.clear();
}

TEST_F(WavePresetLoad, OutOfRangeNumbersDoNothing) {
    std::vector<float> before;
    for (int t = tag::PartialFirst; t <= tag::WaveNameLast; ++t)
        before.push_back(p().getStoredValue(t));
    const auto tables = p().waves.userWaveTable;
    p().waves.rebuildRequested.store(false);
    p().loadWavePreset(0, 183);
    p().loadWavePreset(0, -1);
    p().loadWavePreset(2, 0);
    p().loadWavePreset(-1, 0);
    std::vector<float> after;
    for (int t = tag::PartialFirst; t <= tag::WaveNameLast; ++t)
        after.push_back(p().getStoredValue(t));
    EXPECT_EQ(before, after);
    EXPECT_EQ(tables, p().waves.userWaveTable);
    EXPECT_FALSE(p().waves.rebuildRequested.load());
}

// ------------------------------------------------------------------ restoring a bank's waves

namespace {

struct WaveChoice {
    const char* name;
    int a, b, mode;
    float amplitude; // of partial 4 of user wave 2
};

// A host that saves and restores the state as a chunk.
void chunkHost(PluginHarness& h) {
    h.p().core.host.hostIsReaper = true;
}

// A state whose sound differs from the start-up one only in the waves.
std::vector<unsigned char> chunkWith(const WaveChoice& c) {
    PluginHarness author;
    chunkHost(author);
    APlugin& p = author.p();
    p.setSteppedValue(tag::OscWaveA, c.a);
    p.setSteppedValue(tag::OscWaveB, c.b);
    p.setSteppedValue(tag::OscMode, c.mode);
    p.setWaveTablePartials(1, 3, c.amplitude, 0.25f);
    p.convertWaveTablePartialsToWaveTable(1);
    void* data = nullptr;
    const VstInt32 size = p.getChunk(&data, false);
    const auto* bytes = static_cast<const unsigned char*>(data);
    return {bytes, bytes + size};
}

// Renders until a restored state plays. True when a staged rebuild ran
// meanwhile.
bool playRestored(PluginHarness& h) {
    bool built = false;
    for (int block = 0; block < 64; ++block) {
        h.render(256);
        built = built || h.p().tableRebuildRunning();
        if (!h.p().core.presetPending && !h.p().waves.rebuildRequested.load() &&
            !h.p().tableRebuildRunning())
            break;
    }
    return built;
}

// Restores the chunk as a host does from its audio thread.
bool restore(PluginHarness& h, std::vector<unsigned char> chunk) {
    h.p().setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), false);
    return playRestored(h);
}

const PitchTableBank& playedBank(APlugin& p) {
    return p.waves.pitchTableBank[p.waves.activeBank.load()];
}

} // namespace

// A restore of the waves one of the two banks was built from plays that
// bank at once, with no rebuild and its silence; a change of a wave, the
// mode or one user-wave partial builds anew. Whatever the way, the bank
// played is the one a fresh instance builds for the state, and the editor's
// oscillator picture holds that bank's tables. (A preset
// application plays bank 1 until its rebuild is done, so the bank it builds
// goes to slot 0, and slot 1 keeps what a change of a wave built there.)
TEST(WaveBankReuse, RestoringTheWavesOfEitherBankBuildsNothing) {
    const WaveChoice x{"user wave 2 against a saw", kUser1, 2, 1, 0.5f};
    const WaveChoice y{"one partial louder", kUser1, 2, 1, 0.75f};
    const WaveChoice z{"factory waves in another mode", 3, 7, 9, 0.5f};
    std::vector<std::vector<unsigned char>> chunks;
    std::vector<std::unique_ptr<PitchTableBank>> fresh; // one instance at a time
    for (const WaveChoice* c : {&x, &y, &z}) {
        chunks.push_back(chunkWith(*c));
        PluginHarness other;
        chunkHost(other);
        restore(other, chunks.back());
        fresh.push_back(std::make_unique<PitchTableBank>(playedBank(other.p())));
    }
    constexpr int kWaveBChanged = -1;
    struct Step {
        int state; // 0 x, 1 y, 2 z, or wave B changed by the host
        bool builds;
    };
    PluginHarness h;
    chunkHost(h);
    auto pictureShowsPlayedBank = [&h] {
        const PitchTableBank& bank = playedBank(h.p());
        for (int f = 0; f < kNumMorphFrames; ++f)
            for (int i = 0; i < kWaveSize; ++i)
                if (h.p().engine.display.oscTable[f][i].get() != bank[0][f][i]) return false;
        return true;
    };
    for (const Step& step :
         {Step{0, true}, Step{0, false}, Step{1, true}, Step{1, false}, Step{kWaveBChanged, true},
          Step{1, false}, Step{2, true}, Step{0, true}, Step{0, false}}) {
        if (step.state == kWaveBChanged) {
            h.p().setSteppedValue(tag::OscWaveB, 5);
            EXPECT_TRUE(playRestored(h)) << "wave B changed";
            EXPECT_TRUE(pictureShowsPlayedBank()) << "wave B changed";
            continue;
        }
        const WaveChoice& c = step.state == 0 ? x : step.state == 1 ? y : z;
        EXPECT_EQ(restore(h, chunks[step.state]), step.builds) << c.name;
        EXPECT_EQ(std::memcmp(&playedBank(h.p()), fresh[step.state].get(), sizeof(PitchTableBank)),
                  0)
            << c.name;
        EXPECT_TRUE(pictureShowsPlayedBank()) << c.name;
    }

    // From the host's main thread the bank is prepared off the audio thread;
    // there too the bank built already is taken, not built again.
    const unsigned builds = h.p().waves.slotBuilds.load();
    std::thread([&] {
        h.p().setChunk(chunks[0].data(), static_cast<VstInt32>(chunks[0].size()), false);
    }).join();
    EXPECT_FALSE(playRestored(h));
    EXPECT_EQ(h.p().waves.slotBuilds.load(), builds);
    EXPECT_EQ(std::memcmp(&playedBank(h.p()), fresh[0].get(), sizeof(PitchTableBank)), 0);
}
