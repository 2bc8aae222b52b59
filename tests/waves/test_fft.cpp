// 2048-point FFT: sign conventions and scaling, the partial phase convention,
// round trips, the four-lane inverse against the scalar one, the bit helpers,
// the shared twiddle tables, and independent objects on two threads.

#include "waves/fft.h"

#include "engine/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <memory>
#include <numbers>
#include <thread>
#include <vector>

namespace {

constexpr int N = Fft2048::kSize;
constexpr double kTwoPi = 2.0 * std::numbers::pi;

std::unique_ptr<Fft2048> makeFft() {
    return std::make_unique<Fft2048>();
}

// Deterministic values in -1..1.
class Lcg {
public:
    explicit Lcg(std::uint32_t seed) : state_(seed) {}
    float next() {
        state_ = state_ * 1664525u + 1013904223u;
        return static_cast<float>(state_ >> 8) / 8388608.0f - 1.0f;
    }

private:
    std::uint32_t state_;
};

void fillRandom(float* re, float* im, std::uint32_t seed) {
    Lcg rng(seed);
    for (int i = 0; i < N; ++i) {
        re[i] = rng.next();
        im[i] = rng.next();
    }
}

// Phase of a bin in turns, 0..1, as partial tables store it.
double phaseTurns(float re, float im) {
    return std::atan2(static_cast<double>(im), re + 1e-5) / kTwoPi + 0.5;
}

// Direct transform in double precision with kernel e^(sign 2 pi i j k / N).
std::vector<std::complex<double>> directDft(const float* re, const float* im, int sign) {
    std::vector<std::complex<double>> out(N);
    for (int k = 0; k < N; ++k) {
        std::complex<double> acc = 0.0;
        for (int j = 0; j < N; ++j) {
            const double a = sign * kTwoPi * ((static_cast<long>(j) * k) % N) / N;
            acc += std::complex<double>(re[j], im[j]) * std::polar(1.0, a);
        }
        out[k] = acc;
    }
    return out;
}

float maxAbs(const float* x, int n = N) {
    float m = 0.0f;
    for (int i = 0; i < n; ++i) m = std::max(m, std::fabs(x[i]));
    return m;
}

} // namespace

// ------------------------------------------------------------------ conventions

TEST(FftSignConvention, UnitSineGives1024iAtBinOne) {
    auto f = makeFft();
    for (int j = 0; j < N; ++j) {
        f->fftInRe[j] = static_cast<float>(std::sin(kTwoPi * j / N));
        f->fftInIm[j] = 0.0f;
    }
    f->fft(N);
    EXPECT_NEAR(f->fftOutRe[1], 0.0f, 1e-3f);
    EXPECT_NEAR(f->fftOutIm[1], 1024.0f, 1e-3f);
    EXPECT_NEAR(f->fftOutRe[N - 1], 0.0f, 1e-3f);
    EXPECT_NEAR(f->fftOutIm[N - 1], -1024.0f, 1e-3f);
    EXPECT_NEAR(std::hypot(f->fftOutRe[1], f->fftOutIm[1]), 1024.0, 1e-3);
    EXPECT_NEAR(phaseTurns(f->fftOutRe[1], f->fftOutIm[1]), 0.75, 1e-6);
    EXPECT_NEAR(phaseTurns(f->fftOutRe[N - 1], f->fftOutIm[N - 1]), 0.25, 1e-6);
    for (int k = 2; k < N - 1; ++k) {
        ASSERT_NEAR(f->fftOutRe[k], 0.0f, 1e-3f) << k;
        ASSERT_NEAR(f->fftOutIm[k], 0.0f, 1e-3f) << k;
    }
}

TEST(FftSignConvention, HarmonicAmplitudeTimes1024) {
    auto f = makeFft();
    // 0.25 cos at harmonic 3 plus 0.5 sin at harmonic 7.
    for (int j = 0; j < N; ++j) {
        f->fftInRe[j] = static_cast<float>(0.25 * std::cos(kTwoPi * 3 * j / N) +
                                           0.5 * std::sin(kTwoPi * 7 * j / N));
        f->fftInIm[j] = 0.0f;
    }
    f->fft(N);
    EXPECT_NEAR(f->fftOutRe[3], 256.0f, 1e-3f);
    EXPECT_NEAR(f->fftOutIm[3], 0.0f, 1e-3f);
    EXPECT_NEAR(phaseTurns(f->fftOutRe[3], f->fftOutIm[3]), 0.5, 1e-6); // cosine: half a turn
    EXPECT_NEAR(f->fftOutRe[7], 0.0f, 1e-3f);
    EXPECT_NEAR(f->fftOutIm[7], 512.0f, 1e-3f);
    EXPECT_NEAR(phaseTurns(f->fftOutRe[7], f->fftOutIm[7]), 0.75, 1e-6);
}

TEST(FftSignConvention, ForwardUsesPositiveExponentUnscaled) {
    auto f = makeFft();
    fillRandom(f->fftInRe, f->fftInIm, 7);
    const auto ref = directDft(f->fftInRe, f->fftInIm, +1);
    f->fft(N);
    for (int k = 0; k < N; ++k) {
        ASSERT_NEAR(f->fftOutRe[k], ref[k].real(), 2e-3) << k;
        ASSERT_NEAR(f->fftOutIm[k], ref[k].imag(), 2e-3) << k;
    }
}

TEST(FftSignConvention, InverseUsesNegativeExponentDividedByN) {
    auto f = makeFft();
    fillRandom(f->fftInRe, f->fftInIm, 11);
    const auto ref = directDft(f->fftInRe, f->fftInIm, -1);
    f->ifft(N);
    for (int j = 0; j < N; ++j) {
        ASSERT_NEAR(f->fftOutRe[j], ref[j].real() / N, 1e-6) << j;
        ASSERT_NEAR(f->fftOutIm[j], ref[j].imag() / N, 1e-6) << j;
    }
}

TEST(FftSignConvention, ConstantGivesDcOf2048) {
    auto f = makeFft();
    std::fill_n(f->fftInRe, N, 1.0f);
    std::fill_n(f->fftInIm, N, 0.0f);
    f->fft(N);
    EXPECT_FLOAT_EQ(f->fftOutRe[0], 2048.0f);
    EXPECT_FLOAT_EQ(f->fftOutIm[0], 0.0f);
    for (int k = 1; k < N; ++k) {
        ASSERT_NEAR(f->fftOutRe[k], 0.0f, 1e-3f) << k;
        ASSERT_NEAR(f->fftOutIm[k], 0.0f, 1e-3f) << k;
    }
}

TEST(FftSignConvention, SingleBinInverseGivesHalfCosine) {
    auto f = makeFft();
    std::fill_n(f->fftInRe, N, 0.0f);
    std::fill_n(f->fftInIm, N, 0.0f);
    f->fftInRe[1] = 1024.0f;
    f->ifft(N);
    for (int j = 0; j < N; ++j) {
        ASSERT_NEAR(f->fftOutRe[j], 0.5 * std::cos(kTwoPi * j / N), 1e-6) << j;
        ASSERT_NEAR(f->fftOutIm[j], -0.5 * std::sin(kTwoPi * j / N), 1e-6) << j;
    }
}

TEST(FftSignConvention, PartialPhaseInTurnsRoundTrips) {
    // A partial {amplitude a, phase p} goes in as a (cos t, sin t) with
    // t = (p - 0.5) 2 pi; phase 0.75 synthesises a sine, and analysis of the
    // result gives the phase back.
    auto f = makeFft();
    for (const double p : {0.75, 0.1, 0.33, 0.5, 0.9}) {
        std::fill_n(f->fftInRe, N, 0.0f);
        std::fill_n(f->fftInIm, N, 0.0f);
        const double t = (p - 0.5) * kTwoPi;
        f->fftInRe[5] = static_cast<float>(std::cos(t));
        f->fftInIm[5] = static_cast<float>(std::sin(t));
        f->ifft(N);
        if (p == 0.75) {
            const float scale = 1.0f / maxAbs(f->fftOutRe);
            for (int j = 0; j < N; j += 17)
                ASSERT_NEAR(f->fftOutRe[j] * scale, std::sin(kTwoPi * 5 * j / N), 1e-4) << j;
        }
        std::copy_n(f->fftOutRe, N, f->fftInRe);
        std::fill_n(f->fftInIm, N, 0.0f);
        f->fft(N);
        EXPECT_NEAR(phaseTurns(f->fftOutRe[5], f->fftOutIm[5]), p, 1e-4) << p;
    }
}

// ------------------------------------------------------------------ round trips

TEST(FftRoundTrip, InverseOfForwardIsIdentity) {
    auto f = makeFft();
    std::vector<float> re(N), im(N);
    fillRandom(re.data(), im.data(), 3);
    std::copy(re.begin(), re.end(), f->fftInRe);
    std::copy(im.begin(), im.end(), f->fftInIm);
    f->fft(N);
    std::copy_n(f->fftOutRe, N, f->fftInRe);
    std::copy_n(f->fftOutIm, N, f->fftInIm);
    f->ifft(N);
    for (int j = 0; j < N; ++j) {
        ASSERT_NEAR(f->fftOutRe[j], re[j], 2e-6f) << j;
        ASSERT_NEAR(f->fftOutIm[j], im[j], 2e-6f) << j;
    }
}

TEST(FftRoundTrip, ForwardOfInverseIsIdentity) {
    auto f = makeFft();
    std::vector<float> re(N), im(N);
    fillRandom(re.data(), im.data(), 5);
    std::copy(re.begin(), re.end(), f->fftInRe);
    std::copy(im.begin(), im.end(), f->fftInIm);
    f->ifft(N);
    std::copy_n(f->fftOutRe, N, f->fftInRe);
    std::copy_n(f->fftOutIm, N, f->fftInIm);
    f->fft(N);
    for (int k = 0; k < N; ++k) {
        ASSERT_NEAR(f->fftOutRe[k], re[k], 2e-6f) << k;
        ASSERT_NEAR(f->fftOutIm[k], im[k], 2e-6f) << k;
    }
}

TEST(FftRoundTrip, InputBuffersAreLeftUnchanged) {
    auto f = makeFft();
    fillRandom(f->fftInRe, f->fftInIm, 9);
    const std::vector<float> re(f->fftInRe, f->fftInRe + N), im(f->fftInIm, f->fftInIm + N);
    f->fft(N);
    f->ifft(N);
    EXPECT_TRUE(std::equal(re.begin(), re.end(), f->fftInRe));
    EXPECT_TRUE(std::equal(im.begin(), im.end(), f->fftInIm));
}

TEST(FftRoundTrip, ParsevalHolds) {
    auto f = makeFft();
    fillRandom(f->fftInRe, f->fftInIm, 13);
    double timeEnergy = 0.0;
    for (int j = 0; j < N; ++j)
        timeEnergy += double(f->fftInRe[j]) * f->fftInRe[j] + double(f->fftInIm[j]) * f->fftInIm[j];
    f->fft(N);
    double freqEnergy = 0.0;
    for (int k = 0; k < N; ++k)
        freqEnergy +=
            double(f->fftOutRe[k]) * f->fftOutRe[k] + double(f->fftOutIm[k]) * f->fftOutIm[k];
    EXPECT_NEAR(freqEnergy / N / timeEnergy, 1.0, 1e-5);
}

TEST(FftRoundTrip, SameInputSameOutputBitForBit) {
    auto a = makeFft();
    auto b = makeFft();
    fillRandom(a->fftInRe, a->fftInIm, 21);
    std::copy_n(a->fftInRe, N, b->fftInRe);
    std::copy_n(a->fftInIm, N, b->fftInIm);
    a->fft(N);
    b->fft(N);
    EXPECT_TRUE(std::equal(a->fftOutRe, a->fftOutRe + N, b->fftOutRe));
    EXPECT_TRUE(std::equal(a->fftOutIm, a->fftOutIm + N, b->fftOutIm));
}

TEST(FftRoundTrip, SizeIsClampedAndOtherSizesStayInBounds) {
    auto a = makeFft();
    auto b = makeFft();
    fillRandom(a->fftInRe, a->fftInIm, 17);
    std::copy_n(a->fftInRe, N, b->fftInRe);
    std::copy_n(a->fftInIm, N, b->fftInIm);
    a->fft(N);
    b->fft(100000); // clamped to 2048
    EXPECT_TRUE(std::equal(a->fftOutRe, a->fftOutRe + N, b->fftOutRe));
    a->ifft(N);
    b->ifft(1 << 20);
    EXPECT_TRUE(std::equal(a->fftOutIm, a->fftOutIm + N, b->fftOutIm));

    // n = 0 (or below) transforms nothing.
    std::fill_n(b->fftOutRe, N, 7.0f);
    b->fft(0);
    b->ifft(-3);
    EXPECT_TRUE(std::all_of(b->fftOutRe, b->fftOutRe + N, [](float v) { return v == 7.0f; }));

    // Sizes the transform is not built for give no meaningful result, but
    // touch nothing outside the buffers (the sanitizers watch) and stay finite.
    for (const int n : {1, 2, 3, 100, 1024, 2047}) {
        b->fft(n);
        b->ifft(n);
        b->m_ifft(n);
        for (int i = 0; i < N; ++i) {
            ASSERT_TRUE(std::isfinite(b->fftOutRe[i])) << n;
            ASSERT_TRUE(std::isfinite(b->fft4OutRe[i][0])) << n;
        }
    }
    // The four-lane inverse multiplies by n: n = 0 leaves zeros.
    b->m_ifft(0);
    for (int i = 0; i < N; ++i) ASSERT_EQ(b->fft4OutRe[i][3], 0.0f);
}

// ------------------------------------------------------------------ four lanes

TEST(FftFourLane, EqualsFourScalarInversesTimesNSquared) {
    auto f = makeFft();
    auto scalar = makeFft();
    for (int lane = 0; lane < 4; ++lane) {
        Lcg rng(100 + lane);
        for (int i = 0; i < N; ++i) {
            f->fft4InRe[i][lane] = rng.next();
            f->fft4InIm[i][lane] = rng.next();
        }
    }
    f->m_ifft(N);
    for (int lane = 0; lane < 4; ++lane) {
        for (int i = 0; i < N; ++i) {
            scalar->fftInRe[i] = f->fft4InRe[i][lane];
            scalar->fftInIm[i] = f->fft4InIm[i][lane];
        }
        scalar->ifft(N);
        const float peak = maxAbs(scalar->fftOutRe) * float(N) * float(N);
        for (int i = 0; i < N; ++i) {
            const float wantRe = scalar->fftOutRe[i] * float(N) * float(N);
            const float wantIm = scalar->fftOutIm[i] * float(N) * float(N);
            ASSERT_NEAR(f->fft4OutRe[i][lane], wantRe, peak * 1e-6f) << lane << " " << i;
            ASSERT_NEAR(f->fft4OutIm[i][lane], wantIm, peak * 1e-6f) << lane << " " << i;
        }
    }
}

// The pitch tables' transform: only the bins below the limit are read (the
// others hold garbage here) and the result is the full transform's of the
// band-limited spectrum, value for value, at every limit a pitch table uses
// and at the edges of every skipped stage.
TEST(FftFourLane, LowBinTransformEqualsTheFullOneOfTheBandLimitedSpectrum) {
    auto low = makeFft();
    auto full = makeFft();
    for (int limit : {1, 2, 3, 4, 5, 8, 9, 16, 17, 33, 64, 65, 129, 149, 512, 1024, 1025, 2048}) {
        Lcg rng(static_cast<std::uint32_t>(limit));
        for (int k = 0; k < N; ++k)
            for (int lane = 0; lane < 4; ++lane) {
                const float re = rng.next(), im = rng.next();
                low->fft4InRe[k][lane] = k < limit ? re : 1e30f;
                low->fft4InIm[k][lane] = k < limit ? im : -1e30f;
                full->fft4InRe[k][lane] = k < limit ? re : 0.0f;
                full->fft4InIm[k][lane] = k < limit ? im : 0.0f;
            }
        low->m_ifftLowBins(limit);
        full->m_ifft(N);
        int differing = 0;
        for (int i = 0; i < N; ++i)
            for (int lane = 0; lane < 4; ++lane)
                differing += low->fft4OutRe[i][lane] != full->fft4OutRe[i][lane] ||
                             low->fft4OutIm[i][lane] != full->fft4OutIm[i][lane];
        EXPECT_EQ(differing, 0) << "limit " << limit;
    }
}

TEST(FftFourLane, OneLaneSpectrumLeavesOtherLanesAlone) {
    auto f = makeFft();
    auto scalar = makeFft();
    Lcg rng(42);
    for (int i = 0; i < N; ++i) {
        const float re = rng.next();
        const float im = rng.next();
        f->fft4InRe[i][2] = re;
        f->fft4InIm[i][2] = im;
        scalar->fftInRe[i] = re;
        scalar->fftInIm[i] = im;
    }
    f->m_ifft(N);
    scalar->ifft(N);
    for (int i = 0; i < N; ++i) {
        for (int lane : {0, 1, 3}) {
            ASSERT_EQ(f->fft4OutRe[i][lane], 0.0f);
            ASSERT_EQ(f->fft4OutIm[i][lane], 0.0f);
        }
        ASSERT_NEAR(f->fft4OutRe[i][2], scalar->fftOutRe[i] * 2048.0f * 2048.0f, 1.0f) << i;
    }

    // Changing lane 2 does not move lane 0's result.
    for (int i = 0; i < N; ++i) f->fft4InRe[i][0] = std::sin(0.01f * i);
    f->m_ifft(N);
    std::vector<float> lane0(N);
    for (int i = 0; i < N; ++i) lane0[i] = f->fft4OutRe[i][0];
    for (int i = 0; i < N; ++i) f->fft4InRe[i][2] = 0.5f;
    f->m_ifft(N);
    for (int i = 0; i < N; ++i) ASSERT_EQ(f->fft4OutRe[i][0], lane0[i]) << i;
}

TEST(FftFourLane, SingleBinGivesScaledCosineInEveryLane) {
    auto f = makeFft();
    for (int lane = 0; lane < 4; ++lane) f->fft4InRe[lane + 1][lane] = 1.0f; // bin lane + 1
    f->m_ifft(N);
    for (int lane = 0; lane < 4; ++lane)
        for (int i = 0; i < N; i += 31)
            ASSERT_NEAR(f->fft4OutRe[i][lane] / 2048.0, std::cos(kTwoPi * (lane + 1) * i / N), 1e-5)
                << lane << " " << i;
}

// ------------------------------------------------------------------ bit helpers

TEST(FftBits, NumberOfBitsNeeded) {
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(2048), 11);
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(1), 0);
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(2), 1);
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(32768), 15);
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(0), 16);
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(65536), 16); // bit 16 is not looked at
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(6), 1);      // lowest set bit
    EXPECT_EQ(Fft2048::numberOfBitsNeeded(-1), 0);
    for (int b = 0; b < 16; ++b) EXPECT_EQ(Fft2048::numberOfBitsNeeded(1 << b), b);
}

TEST(FftBits, ReverseBits) {
    EXPECT_EQ(Fft2048::reverseBits(1, 11), 1024);
    EXPECT_EQ(Fft2048::reverseBits(5, 0), 0);
    EXPECT_EQ(Fft2048::reverseBits(5, -3), 0);
    EXPECT_EQ(Fft2048::reverseBits(1, 1), 1);
    EXPECT_EQ(Fft2048::reverseBits(0b110, 3), 0b011);
    EXPECT_EQ(Fft2048::reverseBits(0b1011, 3), 0b110); // bits above numBits are dropped
    EXPECT_EQ(Fft2048::reverseBits(2047, 11), 2047);
    for (int i = 0; i < N; ++i) {
        ASSERT_EQ(Fft2048::reverseBits(i, 11), bitReverseTable[i]) << i;
        ASSERT_EQ(Fft2048::reverseBits(Fft2048::reverseBits(i, 11), 11), i) << i;
    }
}

// ------------------------------------------------------------------ tables

TEST(FftTwiddles, FollowTheRecurrenceCloseToExactRoots) {
    const FftTables& t = fftTables();
    for (int s = 1; s <= 11; ++s) {
        const int m = 1 << s;
        const int h = m / 2;
        for (int i = 0; i < FftTables::kButterflies; ++i) {
            const int k = i % h;
            const double a = kTwoPi * k / m;
            ASSERT_NEAR(t.twiddleRe[0][s - 1][i], std::cos(a), 2e-5) << s << " " << i;
            ASSERT_NEAR(t.twiddleIm[0][s - 1][i], std::sin(a), 2e-5) << s << " " << i;
            ASSERT_NEAR(t.twiddleRe[1][s - 1][i], std::cos(a), 2e-5) << s << " " << i;
            ASSERT_NEAR(t.twiddleIm[1][s - 1][i], -std::sin(a), 2e-5) << s << " " << i;
            // Every block repeats the first one exactly.
            ASSERT_EQ(t.twiddleRe[0][s - 1][i], t.twiddleRe[0][s - 1][k]);
            ASSERT_EQ(t.twiddleIm[1][s - 1][i], t.twiddleIm[1][s - 1][k]);
            for (int lane = 0; lane < 4; ++lane) {
                ASSERT_EQ(t.ifft4TwiddleRe[s - 1][i][lane], t.twiddleRe[1][s - 1][i]);
                ASSERT_EQ(t.ifft4TwiddleIm[s - 1][i][lane], t.twiddleIm[1][s - 1][i]);
            }
        }
        EXPECT_EQ(t.twiddleRe[0][s - 1][0], 1.0f);
        EXPECT_EQ(t.twiddleIm[0][s - 1][0], 0.0f);
    }
}

TEST(FftTwiddles, SharedOncePerProcess) {
    const FftTables* first = &fftTables();
    const FftTables* second = nullptr;
    std::thread other([&] { second = &fftTables(); });
    other.join();
    EXPECT_EQ(first, second);
}

// ------------------------------------------------------------------ threads

namespace {

// One round of the thread test: a forward, inverse or four-lane transform of
// inputs seeded by the round number; the outputs are appended to `out`.
void runRound(Fft2048& f, int round, std::vector<float>& out) {
    fillRandom(f.fftInRe, f.fftInIm, 1000 + round);
    switch (round % 3) {
    case 0:
        f.fft(N);
        break;
    case 1:
        f.ifft(N);
        break;
    default:
        for (int i = 0; i < N; ++i) {
            for (int lane = 0; lane < 4; ++lane) {
                f.fft4InRe[i][lane] = f.fftInRe[(i + lane) % N];
                f.fft4InIm[i][lane] = f.fftInIm[(i + 3 * lane) % N];
            }
        }
        f.m_ifft(N);
        out.assign(&f.fft4OutRe[0][0], &f.fft4OutRe[0][0] + 4 * N);
        out.insert(out.end(), &f.fft4OutIm[0][0], &f.fft4OutIm[0][0] + 4 * N);
        return;
    }
    out.assign(f.fftOutRe, f.fftOutRe + N);
    out.insert(out.end(), f.fftOutIm, f.fftOutIm + N);
}

} // namespace

TEST(FftThreads, TwoObjectsOnTwoThreadsMatchOneObject) {
    constexpr int kRounds = 30;
    // Reference: the same sequence of transforms on one object.
    std::vector<std::vector<float>> want(2 * kRounds);
    {
        auto f = makeFft();
        for (int r = 0; r < 2 * kRounds; ++r) {
            runRound(*f, r, want[r]);
        }
    }
    std::vector<std::vector<float>> got(2 * kRounds);
    auto worker = [&](int parity) {
        auto f = makeFft();
        for (int r = parity; r < 2 * kRounds; r += 2) {
            runRound(*f, r, got[r]);
        }
    };
    std::thread a(worker, 0);
    std::thread b(worker, 1);
    a.join();
    b.join();
    for (int r = 0; r < 2 * kRounds; ++r) EXPECT_EQ(got[r], want[r]) << r;
}
