// Factory waves and sub-oscillator squares: the shape of the shared data,
// the exact sine, the noise placeholders, the partial tables against the
// forward transform, and the quality bar measured on every wave's spectrum
// (peak, mean, band limit, fundamental strength and phase, families,
// distinctness), plus spot checks that each wave fits its name.

#include "data/factory_waves.h"

#include "core/vocabulary.h"
#include "waves/fft.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <numbers>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int N = FactoryWaves::kSize;
constexpr int kWaves = FactoryWaves::kWaveCount;
constexpr int kSquares = FactoryWaves::kSquareCount;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

const FactoryWaves& waves() {
    return factoryWaves();
}

bool isNoise(int w) {
    return FactoryWaves::isNoise(w);
}

// Forward transform of one table: complex bins 0..2047.
struct Spectrum {
    std::vector<float> re, im;
    double mag(int k) const { return std::hypot(double(re[k]), double(im[k])); }
    // Strongest magnitude among harmonics 1..1024 and its harmonic.
    double strongest(int* at = nullptr) const {
        double m = 0.0;
        for (int k = 1; k <= N / 2; ++k) {
            if (mag(k) > m) {
                m = mag(k);
                if (at) *at = k;
            }
        }
        return m;
    }
    // Magnitudes of harmonics 1..512 relative to the fundamental.
    double rel(int k) const { return mag(k) / mag(1); }
};

Spectrum analyse(const float* table) {
    static thread_local std::unique_ptr<Fft2048> fft = std::make_unique<Fft2048>();
    std::copy_n(table, N, fft->fftInRe);
    std::fill_n(fft->fftInIm, N, 0.0f);
    fft->fft(N);
    return {std::vector<float>(fft->fftOutRe, fft->fftOutRe + N),
            std::vector<float>(fft->fftOutIm, fft->fftOutIm + N)};
}

const std::vector<Spectrum>& waveSpectra() {
    static const std::vector<Spectrum> spectra = [] {
        std::vector<Spectrum> s;
        for (int w = 0; w < kWaves; ++w) s.push_back(analyse(waves().oscWave[w].data()));
        return s;
    }();
    return spectra;
}

const std::vector<Spectrum>& squareSpectra() {
    static const std::vector<Spectrum> spectra = [] {
        std::vector<Spectrum> s;
        for (int q = 0; q < kSquares; ++q) s.push_back(analyse(waves().squareWave[q].data()));
        return s;
    }();
    return spectra;
}

// Cosine similarity of the magnitude spectra (harmonics 1..512).
double similarity(const Spectrum& a, const Spectrum& b) {
    double ab = 0.0, aa = 0.0, bb = 0.0;
    for (int k = 1; k <= FactoryWaves::kMaxHarmonic; ++k) {
        ab += a.mag(k) * b.mag(k);
        aa += a.mag(k) * a.mag(k);
        bb += b.mag(k) * b.mag(k);
    }
    return ab / std::sqrt(aa * bb);
}

double phaseTurns(float re, float im) {
    return std::atan2(double(im), double(re) + 1e-5) / kTwoPi + 0.5;
}

// Distance of two phases in turns, across the 0/1 wrap.
double phaseDistance(double a, double b) {
    const double d = std::fabs(a - b);
    return std::min(d, 1.0 - d);
}

std::string name(int w) {
    return std::to_string(w) + " " + OSC_WAVE_STR[w];
}

int waveNamed(const char* wanted) {
    for (int w = 0; w < kWaves; ++w)
        if (std::string(OSC_WAVE_STR[w]) == wanted) return w;
    ADD_FAILURE() << "no wave named " << wanted;
    return 0;
}

// Families whose members are neighbours along one sweep of timbre.
std::vector<std::vector<int>> sweepFamilies() {
    std::vector<std::vector<int>> f = {
        {waveNamed("Saw"), waveNamed("Saw 2"), waveNamed("Saw 3"), waveNamed("Saw 4"),
         waveNamed("Saw 5")},
        {waveNamed("Square"), waveNamed("Square 2"), waveNamed("Square 3"), waveNamed("Square 4"),
         waveNamed("Square 5")},
        {waveNamed("Triangle"), waveNamed("Triangle 2"), waveNamed("Triangle 3")},
        {waveNamed("Harmc1"), waveNamed("Harmc2"), waveNamed("Harmc3"), waveNamed("Harmc4")},
        {waveNamed("Organ 1"), waveNamed("Organ 2"), waveNamed("Organ 3"), waveNamed("Ch. Organ")},
    };
    std::vector<int> vox;
    for (int i = 1; i <= 9; ++i) vox.push_back(waveNamed(("Vox 0" + std::to_string(i)).c_str()));
    f.push_back(vox);
    for (int first = FactoryWaves::kFirstSpectrumWave; first < kWaves; first += 16) {
        std::vector<int> family;
        for (int i = 0; i < 16; ++i) family.push_back(first + i);
        f.push_back(family);
    }
    return f;
}

} // namespace

// ------------------------------------------------------------------ shape of the data

TEST(FactoryWavesData, SizesAndNames) {
    EXPECT_EQ(FactoryWaves::kWaveCount, 183);
    EXPECT_EQ(FactoryWaves::kSquareCount, 14);
    EXPECT_EQ(waves().oscWave.size(), 183u);
    EXPECT_EQ(waves().partialsAmp.size(), 183u);
    EXPECT_EQ(waves().partialsPhase.size(), 183u);
    EXPECT_EQ(waves().squareWave.size(), 14u);
    EXPECT_EQ(OSC_WAVE_STR.size(), static_cast<std::size_t>(kWaves + 2)); // then the user waves
    EXPECT_STREQ(OSC_WAVE_STR[FactoryWaves::kWhiteNoiseWave], "W. Noise");
    EXPECT_STREQ(OSC_WAVE_STR[FactoryWaves::kPinkNoiseWave], "P. Noise");
    EXPECT_STREQ(OSC_WAVE_STR[FactoryWaves::kFirstSpectrumWave], "Spec 001");
    EXPECT_STREQ(OSC_WAVE_STR[FactoryWaves::kFirstScaledPartialsWave], "Spec 074");
    EXPECT_STREQ(OSC_WAVE_STR[kWaves - 1], "Spec 128");
}

TEST(FactoryWavesData, SharedOncePerProcess) {
    const FactoryWaves* first = &factoryWaves();
    const FactoryWaves* second = nullptr;
    std::thread other([&] { second = &factoryWaves(); });
    other.join();
    EXPECT_EQ(first, second);
}

TEST(FactoryWavesData, BuildIsDeterministic) {
    const auto copy = FactoryWaves::build();
    for (int w = 0; w < kWaves; ++w) {
        ASSERT_EQ(std::memcmp(copy->oscWave[w].data(), waves().oscWave[w].data(), N * 4), 0) << w;
        ASSERT_EQ(std::memcmp(copy->partialsAmp[w].data(), waves().partialsAmp[w].data(), N * 4),
                  0);
        ASSERT_EQ(
            std::memcmp(copy->partialsPhase[w].data(), waves().partialsPhase[w].data(), N * 4), 0);
    }
    for (int q = 0; q < kSquares; ++q)
        ASSERT_EQ(std::memcmp(copy->squareWave[q].data(), waves().squareWave[q].data(), N * 4), 0);
}

TEST(FactoryWavesData, EveryValueFinite) {
    for (int w = 0; w < kWaves; ++w) {
        for (int i = 0; i < N; ++i) {
            ASSERT_TRUE(std::isfinite(waves().oscWave[w][i])) << name(w) << " " << i;
            ASSERT_TRUE(std::isfinite(waves().partialsAmp[w][i])) << name(w) << " " << i;
            ASSERT_TRUE(std::isfinite(waves().partialsPhase[w][i])) << name(w) << " " << i;
        }
    }
    for (int q = 0; q < kSquares; ++q)
        for (int i = 0; i < N; ++i) ASSERT_TRUE(std::isfinite(waves().squareWave[q][i])) << q;
}

// ------------------------------------------------------------------ sine and noise

TEST(FactoryWavesSine, ExactSineSamples) {
    for (int j = 0; j < N; ++j)
        ASSERT_EQ(waves().oscWave[0][j], static_cast<float>(std::sin(kTwoPi * j / N))) << j;
    EXPECT_EQ(waves().oscWave[0][512], 1.0f);
    EXPECT_EQ(waves().oscWave[0][1536], -1.0f);
}

TEST(FactoryWavesSine, PartialsAre1024AtBinOneAndItsMirror) {
    const auto& amp = waves().partialsAmp[0];
    const auto& phase = waves().partialsPhase[0];
    EXPECT_NEAR(amp[1], 1024.0f, 1e-2f);
    EXPECT_NEAR(phase[1], 0.75f, 1e-5f);
    EXPECT_NEAR(amp[N - 1], 1024.0f, 1e-2f);
    EXPECT_NEAR(phase[N - 1], 0.25f, 1e-5f);
    for (int k = 2; k < N - 1; ++k) ASSERT_LT(amp[k], 1e-2f) << k;
    EXPECT_LT(amp[0], 1e-2f);
}

TEST(FactoryWavesNoise, ZerosWithFlooredMagnitudes) {
    for (const int w : {FactoryWaves::kWhiteNoiseWave, FactoryWaves::kPinkNoiseWave}) {
        for (int i = 0; i < N; ++i) {
            ASSERT_EQ(waves().oscWave[w][i], 0.0f) << w;
            ASSERT_EQ(waves().partialsAmp[w][i], 1e-15f) << w;
            ASSERT_EQ(waves().partialsPhase[w][i], 0.5f) << w; // atan2(0, 1e-5) / 2 pi + 0.5
        }
    }
}

// ------------------------------------------------------------------ partial tables

TEST(FactoryWavesPartials, FollowTheForwardTransform) {
    for (int w = 0; w < kWaves; ++w) {
        if (isNoise(w)) continue;
        const Spectrum& s = waveSpectra()[w];
        float largest = 0.0f;
        for (int k = 0; k < N; ++k)
            largest = std::max(largest, std::sqrt(s.re[k] * s.re[k] + s.im[k] * s.im[k]));
        const float scale = w >= FactoryWaves::kFirstScaledPartialsWave ? 1024.0f / largest : 1.0f;
        for (int k = 0; k < N; ++k) {
            const float mag = std::sqrt(s.re[k] * s.re[k] + s.im[k] * s.im[k]) * scale + 1e-15f;
            ASSERT_NEAR(waves().partialsAmp[w][k], mag, 1e-5f * (mag + 1.0f))
                << name(w) << " " << k;
            ASSERT_LT(phaseDistance(waves().partialsPhase[w][k], phaseTurns(s.re[k], s.im[k])),
                      1e-5)
                << name(w) << " " << k;
            ASSERT_GE(waves().partialsPhase[w][k], 0.0f);
            ASSERT_LE(waves().partialsPhase[w][k], 1.0f);
        }
    }
}

TEST(FactoryWavesPartials, ScaledWavesPeakAt1024) {
    for (int w = FactoryWaves::kFirstScaledPartialsWave; w < kWaves; ++w) {
        const auto& amp = waves().partialsAmp[w];
        EXPECT_EQ(*std::max_element(amp.begin(), amp.end()), 1024.0f) << name(w);
    }
    // Before them, magnitudes are the plain transform's: a peak-1 wave's
    // strongest harmonic stays below 1024 * 4 / pi.
    for (int w = 1; w < FactoryWaves::kFirstScaledPartialsWave; ++w) {
        if (isNoise(w)) continue;
        const auto& amp = waves().partialsAmp[w];
        EXPECT_LT(*std::max_element(amp.begin(), amp.end()), 1024.0f * 4.0f / 3.14159f) << name(w);
    }
}

TEST(FactoryWavesPartials, UpperHalfMirrorsLowerHalf) {
    for (int w = 0; w < kWaves; ++w) {
        const auto& amp = waves().partialsAmp[w];
        const auto& phase = waves().partialsPhase[w];
        for (int k = 1; k < N / 2; ++k) {
            ASSERT_NEAR(amp[k], amp[N - k], 1e-3f * (amp[k] + 1.0f)) << name(w) << " " << k;
            if (amp[k] > 1.0f) { // a real wave's bins N - k are the conjugates
                ASSERT_LT(phaseDistance(phase[N - k], 1.0 - phase[k]), 1e-3) << name(w) << " " << k;
            }
        }
    }
}

// ------------------------------------------------------------------ quality bar

TEST(FactoryWavesQuality, PeakExactlyOne) {
    for (int w = 0; w < kWaves; ++w) {
        if (isNoise(w)) continue;
        float peak = 0.0f;
        for (const float v : waves().oscWave[w]) peak = std::max(peak, std::fabs(v));
        EXPECT_EQ(peak, 1.0f) << name(w);
    }
}

TEST(FactoryWavesQuality, ZeroMean) {
    for (int w = 0; w < kWaves; ++w) {
        double sum = 0.0;
        for (const float v : waves().oscWave[w]) sum += v;
        EXPECT_LT(std::fabs(sum / N), 1e-6) << name(w);
    }
}

TEST(FactoryWavesQuality, AtMost512Harmonics) {
    for (int w = 0; w < kWaves; ++w) {
        if (isNoise(w)) continue;
        const Spectrum& s = waveSpectra()[w];
        const double top = s.strongest();
        for (int k = FactoryWaves::kMaxHarmonic + 1; k <= N / 2; ++k)
            ASSERT_LT(s.mag(k), 1e-5 * top) << name(w) << " harmonic " << k;
    }
}

TEST(FactoryWavesQuality, ClearFundamentalInSinePhase) {
    const Spectrum& sine = waveSpectra()[0];
    const double sinePhase = phaseTurns(sine.re[1], sine.im[1]);
    for (int w = 0; w < kWaves; ++w) {
        if (isNoise(w)) continue;
        const Spectrum& s = waveSpectra()[w];
        EXPECT_GE(s.mag(1), 0.02 * s.strongest()) << name(w);
        EXPECT_LT(phaseDistance(phaseTurns(s.re[1], s.im[1]), sinePhase), 1e-4) << name(w);
        // So a crossfade with the sine reinforces the fundamental.
        double dot = 0.0;
        for (int j = 0; j < N; ++j) dot += double(waves().oscWave[w][j]) * waves().oscWave[0][j];
        EXPECT_GT(dot, 0.0) << name(w);
    }
}

TEST(FactoryWavesQuality, NoTwoTablesAlike) {
    std::vector<const float*> tables;
    std::vector<std::string> names;
    for (int w = 0; w < kWaves; ++w) {
        if (w == FactoryWaves::kPinkNoiseWave) continue; // the two noise placeholders are both 0
        tables.push_back(waves().oscWave[w].data());
        names.push_back(name(w));
    }
    for (int q = 0; q < kSquares; ++q) {
        tables.push_back(waves().squareWave[q].data());
        names.push_back("square " + std::to_string(q));
    }
    for (std::size_t a = 0; a < tables.size(); ++a) {
        for (std::size_t b = a + 1; b < tables.size(); ++b) {
            double sum = 0.0;
            for (int j = 0; j < N; ++j) {
                const double d = double(tables[a][j]) - tables[b][j];
                sum += d * d;
            }
            ASSERT_GT(std::sqrt(sum / N), 1e-3) << names[a] << " vs " << names[b];
        }
    }
}

TEST(FactoryWavesQuality, NeighboursInAFamilyAreSimilar) {
    for (const auto& family : sweepFamilies()) {
        const double ends = similarity(waveSpectra()[family.front()], waveSpectra()[family.back()]);
        for (std::size_t i = 0; i + 1 < family.size(); ++i) {
            const double s = similarity(waveSpectra()[family[i]], waveSpectra()[family[i + 1]]);
            EXPECT_GE(s, 0.5) << name(family[i]) << " vs " << name(family[i + 1]);
            if (family.size() == 16) { // the spectral sweeps move away steadily
                EXPECT_GT(s, ends) << name(family[i]) << " vs " << name(family[i + 1]);
            }
        }
    }
}

TEST(FactoryWavesQuality, RezSeriesRisesSmoothly) {
    const int rez[] = {waveNamed("Rez 1"), waveNamed("Rez 2"), waveNamed("Rez 3"),
                       waveNamed("Rez 4"), waveNamed("Rez 5")};
    const int ratio[] = {3, 5, 8, 12, 18};
    for (int i = 0; i < 5; ++i) {
        int at = 0;
        waveSpectra()[rez[i]].strongest(&at);
        EXPECT_EQ(at, ratio[i]) << name(rez[i]);
    }
}

// ------------------------------------------------------------------ sub-oscillator squares

TEST(FactoryWavesSquares, HardSquareIsExact) {
    for (int j = 0; j < N; ++j) ASSERT_EQ(waves().squareWave[0][j], j < N / 2 ? -1.0f : 1.0f) << j;
}

TEST(FactoryWavesSquares, SofterSquaresKeepPeakPolarityAndOddHarmonics) {
    for (int q = 1; q < kSquares; ++q) {
        const auto& x = waves().squareWave[q];
        float peak = 0.0f;
        double firstHalf = 0.0, secondHalf = 0.0, sum = 0.0;
        for (int j = 0; j < N; ++j) {
            peak = std::max(peak, std::fabs(x[j]));
            (j < N / 2 ? firstHalf : secondHalf) += x[j];
            sum += x[j];
        }
        EXPECT_EQ(peak, 1.0f) << q;
        EXPECT_LT(firstHalf, 0.0) << q;
        EXPECT_GT(secondHalf, 0.0) << q;
        EXPECT_LT(std::fabs(sum / N), 1e-6) << q;
        const Spectrum& s = squareSpectra()[q];
        for (int k = 2; k <= N / 2; k += 2) ASSERT_LT(s.mag(k), 1e-4 * s.mag(1)) << q << " " << k;
        for (int k = FactoryWaves::kMaxHarmonic + 1; k <= N / 2; ++k)
            ASSERT_LT(s.mag(k), 1e-5 * s.mag(1)) << q << " " << k;
        // Same polarity as square 0: fundamental -sin.
        EXPECT_LT(s.im[1], 0.0f) << q;
    }
}

TEST(FactoryWavesSquares, EdgesSoftenSquareBySquare) {
    // Harmonic content relative to the fundamental never grows from one
    // square to the next, and the total above the fundamental falls.
    double previousEnergy = 1e9;
    for (int q = 0; q < kSquares; ++q) {
        const Spectrum& s = squareSpectra()[q];
        double energy = 0.0;
        for (int k = 2; k <= N / 2; ++k) energy += s.rel(k) * s.rel(k);
        EXPECT_LT(energy, previousEnergy) << q;
        previousEnergy = energy;
        if (q == 0) continue;
        const Spectrum& before = squareSpectra()[q - 1];
        for (int k = 3; k <= FactoryWaves::kMaxHarmonic; k += 2)
            ASSERT_LE(s.rel(k), before.rel(k) + 1e-6) << q << " " << k;
    }
}

// ------------------------------------------------------------------ names

TEST(FactoryWavesNames, SawFallsAsOneOverK) {
    const Spectrum& s = waveSpectra()[waveNamed("Saw")];
    for (int k = 2; k <= 32; ++k) EXPECT_NEAR(s.rel(k) * k, 1.0, 0.02) << k;
    // Sine phase throughout: a falling ramp.
    const auto& x = waves().oscWave[waveNamed("Saw")];
    EXPECT_GT(x[100], 0.5f);
    EXPECT_LT(x[N - 100], -0.5f);
    EXPECT_GT(x[100], x[1000]);
}

TEST(FactoryWavesNames, SquareAndHollowHaveOddHarmonicsOnly) {
    for (const char* n : {"Square", "Hollow"}) {
        const Spectrum& s = waveSpectra()[waveNamed(n)];
        for (int k = 2; k <= 64; k += 2) EXPECT_LT(s.rel(k), 1e-4) << n << " " << k;
    }
    const Spectrum& sq = waveSpectra()[waveNamed("Square")];
    for (int k = 3; k <= 31; k += 2) EXPECT_NEAR(sq.rel(k) * k, 1.0, 0.03) << k;
}

TEST(FactoryWavesNames, TriangleFallsAsOneOverKSquared) {
    const Spectrum& s = waveSpectra()[waveNamed("Triangle")];
    for (int k = 3; k <= 31; k += 2) EXPECT_NEAR(s.rel(k) * k * k, 1.0, 0.03) << k;
    for (int k = 2; k <= 32; k += 2) EXPECT_LT(s.rel(k), 1e-4) << k;
    // Skewed triangles add even harmonics.
    EXPECT_GT(waveSpectra()[waveNamed("Triangle 2")].rel(2), 0.05);
    EXPECT_GT(waveSpectra()[waveNamed("Triangle 3")].rel(2),
              waveSpectra()[waveNamed("Triangle 2")].rel(2));
}

TEST(FactoryWavesNames, SawsGetDarker) {
    const int saws[] = {waveNamed("Saw"), waveNamed("Saw 2"), waveNamed("Saw 3"),
                        waveNamed("Saw 4"), waveNamed("Saw 5")};
    for (int i = 1; i < 5; ++i)
        for (int k = 2; k <= 64; ++k)
            EXPECT_LT(waveSpectra()[saws[i]].rel(k), waveSpectra()[saws[i - 1]].rel(k) + 1e-9)
                << name(saws[i]) << " " << k;
}

TEST(FactoryWavesNames, PulsesHaveTheirDutyNotch) {
    // A pulse of duty d has no harmonic at multiples of 1 / d.
    const struct {
        const char* name;
        int notch;
    } pulses[] = {{"Square 2", 5}, {"Square 3", 10}, {"Square 4", 5}, {"Square 5", 10}};
    for (const auto& p : pulses) {
        const Spectrum& s = waveSpectra()[waveNamed(p.name)];
        EXPECT_LT(s.rel(p.notch), 1e-3) << p.name;
        EXPECT_GT(s.rel(2), 0.05) << p.name; // even harmonics, unlike the square
    }
}

TEST(FactoryWavesNames, HalfSineHasOnlyEvenHarmonicsAboveTheFundamental) {
    const Spectrum& s = waveSpectra()[waveNamed("HalfSine")];
    EXPECT_NEAR(s.rel(2), 4.0 / (3.0 * 3.14159265), 0.01); // (2/pi)/(4-1) against 1/2
    for (int k = 3; k <= 63; k += 2) EXPECT_LT(s.rel(k), 1e-4) << k;
}

TEST(FactoryWavesNames, PairsAreNormalisedSums) {
    const struct {
        const char* name;
        const char* a;
        const char* b;
    } pairs[] = {{"SineSaw", "Sine", "Saw"},   {"SineSqr", "Sine", "Square"},
                 {"SineRez", "Sine", "Rez 1"}, {"SawSqr", "Saw", "Square"},
                 {"SawRez", "Saw", "Rez 1"},   {"SqrRez", "Square", "Rez 1"}};
    for (const auto& p : pairs) {
        const auto& x = waves().oscWave[waveNamed(p.name)];
        const auto& a = waves().oscWave[waveNamed(p.a)];
        const auto& b = waves().oscWave[waveNamed(p.b)];
        float peak = 0.0f;
        for (int j = 0; j < N; ++j) peak = std::max(peak, std::fabs(a[j] + b[j]));
        for (int j = 0; j < N; ++j) ASSERT_NEAR(x[j], (a[j] + b[j]) / peak, 1e-6f) << p.name;
    }
}

TEST(FactoryWavesNames, SparseSpectra) {
    const Spectrum& octave = waveSpectra()[waveNamed("Octave")];
    for (int k = 2; k <= 128; ++k) {
        const bool powerOfTwo = (k & (k - 1)) == 0;
        if (powerOfTwo && k <= 64) {
            EXPECT_GT(octave.rel(k), 0.1) << k;
        } else if (!powerOfTwo) {
            EXPECT_LT(octave.rel(k), 1e-3) << k;
        }
    }
    int at = 0;
    waveSpectra()[waveNamed("Overtone")].strongest(&at);
    EXPECT_EQ(at, 5);
    const Spectrum& whistle = waveSpectra()[waveNamed("Whistle")];
    for (int k = 2; k <= 512; ++k) EXPECT_LT(whistle.rel(k), 0.05) << k;
    EXPECT_GT(whistle.rel(2), 0.001); // not the plain sine
}

TEST(FactoryWavesNames, DigixIsASixteenStepStaircase) {
    const auto& x = waves().oscWave[waveNamed("Digix")];
    // Flat across the middle of each step...
    for (int step = 0; step < 16; ++step) {
        const int mid = step * 128 + 64;
        for (int j = mid - 32; j < mid + 32; ++j) ASSERT_NEAR(x[j], x[mid], 0.02f) << step;
    }
    // ...and only harmonics 16 m +- 1.
    const Spectrum& s = waveSpectra()[waveNamed("Digix")];
    for (int k = 2; k <= 100; ++k) {
        if (k % 16 == 1 || k % 16 == 15) continue;
        EXPECT_LT(s.rel(k), 1e-4) << k;
    }
}

TEST(FactoryWavesNames, OrgansUseDrawbarHarmonics) {
    for (const char* n : {"Organ 1", "Organ 2", "Organ 3", "Ch. Organ"}) {
        const Spectrum& s = waveSpectra()[waveNamed(n)];
        for (int k = 2; k <= 64; ++k) {
            const bool drawbar = k <= 6 || k == 8;
            if (!drawbar) {
                EXPECT_LT(s.rel(k), 1e-3) << n << " " << k;
            }
        }
    }
    // Registrations grow: more drawbars pulled from 1 to 3.
    auto count = [](const char* n) {
        int c = 0;
        for (int k = 1; k <= 8; ++k) c += waveSpectra()[waveNamed(n)].rel(k) > 0.01;
        return c;
    };
    EXPECT_LT(count("Organ 1"), count("Organ 2"));
    EXPECT_LT(count("Organ 2"), count("Organ 3"));
}

TEST(FactoryWavesNames, VowelsPeakNearTheirFormants) {
    // Average formants F1, F2 (Hz) of adult male (C3 pitch) and adult female
    // (A3 pitch) speakers; the strongest harmonic lies within one harmonic
    // spacing of one of them.
    const struct {
        const char* name;
        double pitch, f1, f2;
    } vowels[] = {
        {"Vocal A", 130.81, 730, 1090}, {"Vocal E", 130.81, 530, 1840},
        {"Vocal O", 130.81, 570, 840},  {"Vocal U", 130.81, 300, 870},
        {"Vox 01", 220.0, 310, 2790},   {"Vox 02", 220.0, 430, 2480},
        {"Vox 03", 220.0, 610, 2330},   {"Vox 04", 220.0, 860, 2050},
        {"Vox 05", 220.0, 760, 1400},   {"Vox 06", 220.0, 850, 1220},
        {"Vox 07", 220.0, 590, 920},    {"Vox 08", 220.0, 470, 1160},
        {"Vox 09", 220.0, 370, 950},
    };
    for (const auto& v : vowels) {
        int at = 0;
        waveSpectra()[waveNamed(v.name)].strongest(&at);
        const double hz = at * v.pitch;
        EXPECT_LE(std::min(std::fabs(hz - v.f1), std::fabs(hz - v.f2)), v.pitch) << v.name;
    }
}
