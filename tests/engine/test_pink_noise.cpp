// Pink-noise generator: the row refresh of every counter value, the first
// draws of a fresh generator, the output range, the -3 dB per octave slope
// of its spectrum, and independence of generators with their own seeds; and
// the white-noise helper.

#include "engine/pink_noise.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <cstdint>
#include <numbers>
#include <utility>
#include <vector>

namespace {

// Number of draws taken from `before` to reach `after` (-1 if more than 16).
int drawsBetween(RandSeed before, const RandSeed& after) {
    for (int n = 0; n <= 16; ++n) {
        if (before.state() == after.state()) return n;
        before.next();
    }
    return -1;
}

// Rows that changed value between two snapshots.
int changedRows(const PinkNoise& a, const PinkNoise& b) {
    int n = 0;
    for (int r = 0; r < PinkNoise::kRows; ++r) n += a.row(r) != b.row(r);
    return n;
}

// The rows a call with counter c refreshes (0 for odd c).
int expectedRows(std::uint32_t c) {
    if (c & 1u) return 0;
    const std::uint32_t low = c & 0xFFu;
    if (low == 0) return 7;
    if (low % 64 == 0) return 7;
    if (low % 64 == 16) return 6;
    if (low % 64 == 32) return 5;
    if (low % 64 == 48) return 4;
    if (low % 16 == 8) return 3;
    if (low % 8 == 4) return 2;
    return 1;
}

// In-place radix-2 FFT.
void fft(std::vector<std::complex<double>>& a) {
    const std::size_t n = a.size();
    for (std::size_t i = 1, j = 0; i < n; ++i) {
        std::size_t bit = n >> 1;
        for (; j & bit; bit >>= 1) j ^= bit;
        j ^= bit;
        if (i < j) std::swap(a[i], a[j]);
    }
    for (std::size_t len = 2; len <= n; len <<= 1) {
        const double angle = -2.0 * std::numbers::pi / static_cast<double>(len);
        const std::complex<double> step(std::cos(angle), std::sin(angle));
        for (std::size_t i = 0; i < n; i += len) {
            std::complex<double> w(1.0);
            for (std::size_t k = 0; k < len / 2; ++k) {
                const auto u = a[i + k];
                const auto v = a[i + k + len / 2] * w;
                a[i + k] = u + v;
                a[i + k + len / 2] = u - v;
                w *= step;
            }
        }
    }
}

} // namespace

TEST(PinkNoise, FirstCallReturnsMinusOne) {
    PinkNoise pink;
    RandSeed rng(1);
    EXPECT_EQ(pink.next(rng), -1.0f);
    EXPECT_EQ(rng.state(), 1u); // no draw on an odd call
    EXPECT_EQ(pink.counter(), 1u);
}

TEST(PinkNoise, SecondCallRefreshesRowZeroOnlyWithTheFirstDraw) {
    PinkNoise pink;
    RandSeed rng(1);
    pink.next(rng);
    const float out = pink.next(rng);
    EXPECT_EQ(drawsBetween(RandSeed(1), rng), 1);
    const float firstDraw = static_cast<float>((16807.0 * std::exp2(-31.0) + 1.0) * 0.5);
    EXPECT_NEAR(pink.row(0), firstDraw * 0.25f, 1e-7f);
    for (int r = 1; r < PinkNoise::kRows; ++r) EXPECT_EQ(pink.row(r), 0.0f) << r;
    EXPECT_EQ(out, pink.row(0) - 1.0f);
    EXPECT_EQ(pink.next(rng), out); // held for the odd call
}

TEST(PinkNoise, RefreshedRowsFollowTheCounter) {
    PinkNoise pink;
    RandSeed rng(7);
    for (std::uint32_t c = 1; c <= 1024; ++c) {
        const PinkNoise before = pink;
        const RandSeed rngBefore = rng;
        pink.next(rng);
        ASSERT_EQ(pink.counter(), c);
        const int rows = expectedRows(c);
        const int extra = (c & 0xFFu) == 0 ? 1 : 0;
        ASSERT_EQ(drawsBetween(rngBefore, rng), rows + extra) << c;
        ASSERT_EQ(changedRows(before, pink), rows) << c;
        for (int r = 0; r < rows; ++r) ASSERT_NE(pink.row(r), before.row(r)) << c << " " << r;
        for (int r = rows; r < PinkNoise::kRows; ++r) ASSERT_EQ(pink.row(r), before.row(r)) << c;
    }
}

TEST(PinkNoise, TheNamedCountersRefreshSixFiveAndFourRows) {
    PinkNoise pink;
    RandSeed rng(1);
    std::vector<int> draws(257, 0);
    for (std::uint32_t c = 1; c <= 256; ++c) {
        const RandSeed before = rng;
        pink.next(rng);
        draws[c] = drawsBetween(before, rng);
    }
    EXPECT_EQ(draws[2], 1);
    EXPECT_EQ(draws[4], 2);
    EXPECT_EQ(draws[8], 3);
    EXPECT_EQ(draws[16], 6);
    EXPECT_EQ(draws[32], 5);
    EXPECT_EQ(draws[48], 4);
    EXPECT_EQ(draws[64], 7);
    EXPECT_EQ(draws[80], 6);
    EXPECT_EQ(draws[112], 4);
    EXPECT_EQ(draws[256], 8); // seven rows and the extra value
}

TEST(PinkNoise, FullRefreshRebuildsTheSum) {
    PinkNoise pink;
    RandSeed rng(3);
    for (int i = 0; i < 256; ++i) pink.next(rng);
    float rows = 0.0f;
    for (int r = 0; r < PinkNoise::kRows; ++r) rows += pink.row(r);
    const float extra = pink.sum() - rows;
    EXPECT_GE(extra, -1e-6f);
    EXPECT_LE(extra, 0.25f + 1e-6f);
    EXPECT_GT(extra, 0.0f); // a zero draw is all but impossible
}

TEST(PinkNoise, OutputStaysWithinMinusOneToOne) {
    PinkNoise pink;
    RandSeed rng(1);
    double sum = 0.0;
    float lo = 1.0f, hi = -1.0f;
    constexpr int n = 1 << 21;
    for (int i = 0; i < n; ++i) {
        const float y = pink.next(rng);
        ASSERT_GE(y, -1.0f) << i;
        ASSERT_LE(y, 1.0f) << i;
        lo = std::min(lo, y);
        hi = std::max(hi, y);
        sum += y;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.02); // eight values of mean 0.125 sum to 1
    EXPECT_LT(lo, -0.5f);
    EXPECT_GT(hi, 0.5f);
}

TEST(PinkNoise, SpectrumFallsThreeDecibelsPerOctave) {
    PinkNoise pink;
    RandSeed rng(1);
    constexpr int kSize = 4096;
    constexpr int kSegments = 256;
    std::vector<double> power(kSize / 2, 0.0);
    std::vector<std::complex<double>> buf(kSize);
    for (int s = 0; s < kSegments; ++s) {
        for (int i = 0; i < kSize; ++i) {
            const double hann = 0.5 - 0.5 * std::cos(2.0 * std::numbers::pi * i / kSize);
            buf[i] = pink.next(rng) * hann;
        }
        fft(buf);
        for (int k = 0; k < kSize / 2; ++k) power[k] += std::norm(buf[k]);
    }
    // Mean power density of octave bands [2^b, 2^(b+1)) bins, b = 3..8:
    // rate / 512 .. rate / 8. Least-squares slope in dB per octave.
    std::vector<double> db;
    for (int b = 3; b <= 8; ++b) {
        double sum = 0.0;
        for (int k = 1 << b; k < (2 << b); ++k) sum += power[k];
        db.push_back(10.0 * std::log10(sum / (1 << b)));
    }
    const double n = static_cast<double>(db.size());
    double mx = (n - 1) / 2, my = 0.0;
    for (const double v : db) my += v / n;
    double sxy = 0.0, sxx = 0.0;
    for (std::size_t i = 0; i < db.size(); ++i) {
        sxy += (static_cast<double>(i) - mx) * (db[i] - my);
        sxx += (static_cast<double>(i) - mx) * (static_cast<double>(i) - mx);
    }
    const double slope = sxy / sxx;
    EXPECT_NEAR(slope, -3.0, 0.5);
    // Each octave falls, none by more than a white-to-brown extreme.
    for (std::size_t i = 1; i < db.size(); ++i) {
        EXPECT_LT(db[i] - db[i - 1], -1.0) << i;
        EXPECT_GT(db[i] - db[i - 1], -5.0) << i;
    }
}

TEST(PinkNoise, SeparateSeedsAreIndependent) {
    PinkNoise a, b;
    RandSeed ra(1), rb(987654321u);
    constexpr int n = 1 << 18;
    double sa = 0, sb = 0, saa = 0, sbb = 0, sab = 0;
    for (int i = 0; i < n; ++i) {
        const double x = a.next(ra), y = b.next(rb);
        sa += x, sb += y, saa += x * x, sbb += y * y, sab += x * y;
    }
    const double cov = sab / n - (sa / n) * (sb / n);
    const double corr = cov / std::sqrt((saa / n - sa * sa / n / n) * (sbb / n - sb * sb / n / n));
    // Pink noise is strongly correlated in time, so the spread of the
    // estimate is wider than 1/sqrt(n); 0.05 is still far from dependence.
    EXPECT_LT(std::fabs(corr), 0.05);
}

TEST(PinkNoise, SameSeedRepeatsAndResetRestarts) {
    PinkNoise a, b;
    RandSeed ra(42), rb(42);
    for (int i = 0; i < 1000; ++i) ASSERT_EQ(a.next(ra), b.next(rb)) << i;
    a.reset();
    EXPECT_EQ(a.counter(), 0u);
    EXPECT_EQ(a.sum(), 0.0f);
    EXPECT_EQ(a.next(ra), -1.0f);
}

TEST(PinkNoise, GeneratorsSharingOneSeedDrawInCallOrder) {
    // The engine's 65 generators share the instance's RandSeed: each draw
    // goes to whichever generator refreshes.
    PinkNoise g[2];
    RandSeed shared(1);
    g[0].next(shared);
    g[1].next(shared);
    g[0].next(shared); // first draw
    g[1].next(shared); // second draw
    RandSeed ref(1);
    EXPECT_EQ(g[0].row(0), ref.nextUnipolar() * 0.25f);
    EXPECT_EQ(g[1].row(0), ref.nextUnipolar() * 0.25f);
}

TEST(PinkNoiseWhite, FollowsTheFifteenBitFormula) {
    Random15 gen(12345), ref(12345);
    double sum = 0.0;
    constexpr int n = 100000;
    for (int i = 0; i < n; ++i) {
        const float w = WhiteNoise::next(gen);
        const int r = ref.next();
        ASSERT_EQ(w, static_cast<float>(r) / 32767.0f * 2.0f - 1.0f);
        ASSERT_GE(w, -1.0f);
        ASSERT_LE(w, 1.0f);
        sum += w;
    }
    EXPECT_NEAR(sum / n, 0.0, 0.01);
}
