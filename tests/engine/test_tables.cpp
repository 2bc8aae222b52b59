// Engine lookup tables: shapes and spot values of every table, the noise
// generator's arithmetic, the per-instance LFO rows, and that the shared
// tables are built once per process.

#include "engine/tables.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

const EngineTables& tables() {
    return engineTables();
}

const FilterCurves& curves() {
    return engineTables().filterCurves;
}

// Index of x = i / 262144 in a filter curve.
constexpr int curveIndex(double x) {
    return static_cast<int>(x * kFilterCurveSize);
}

template <typename Row> bool nonDecreasing(const Row& row, int from = 0, int to = -1) {
    if (to < 0) to = static_cast<int>(row.size());
    for (int i = from + 1; i < to; ++i)
        if (row[i] < row[i - 1]) return false;
    return true;
}

} // namespace

// ------------------------------------------------------------------ sine

TEST(TablesSine, QuarterPointsAndSymmetry) {
    const auto& s = tables().sineTable;
    EXPECT_EQ(s[0], 0.0f);
    EXPECT_EQ(s[16384], 1.0f);
    EXPECT_NEAR(s[32768], 0.0f, 1e-7f);
    EXPECT_EQ(s[49152], -1.0f);
    EXPECT_NEAR(s[8192], std::sqrt(0.5f), 1e-7f);
    for (int i = 0; i < 32768; i += 97) EXPECT_NEAR(s[i], -s[i + 32768], 1e-7f) << i;
    for (int i = 1; i < 16384; i += 89) EXPECT_NEAR(s[i], s[32768 - i], 1e-7f) << i;
}

// ------------------------------------------------------------------ LFO shapes

TEST(TablesLfo, SineKindUsesItsOwnPi) {
    const auto& row = tables().lfoShapeTable[kLfoSine];
    EXPECT_EQ(row[0], 0.0f);
    EXPECT_NEAR(row[16384], 1.0f, 1e-7f);
    EXPECT_NEAR(row[49152], -1.0f, 1e-7f);
    // pi taken as 3.1415925 leaves sin(2 pi * 0.5) = sin(pi - 3.1415925) > 0.
    EXPECT_NEAR(row[32768], 1.5358979e-7f, 1e-12f);
    for (int i = 0; i < kPhaseTableSize; i += 251)
        EXPECT_NEAR(row[i], tables().sineTable[i], 1e-6f);
}

TEST(TablesLfo, TriangleAndSawEnds) {
    const auto& tri = tables().lfoShapeTable[kLfoTriangle];
    EXPECT_EQ(tri[0], -1.0f);
    EXPECT_EQ(tri[16384], 0.0f);
    EXPECT_EQ(tri[32768], 1.0f);
    EXPECT_EQ(tri[49152], 0.0f);
    EXPECT_EQ(tri[65535], -1.0f + 4.0f / 65536.0f);
    EXPECT_TRUE(nonDecreasing(tri, 0, 32769));
    EXPECT_EQ(*std::max_element(tri.begin(), tri.end()), 1.0f);

    const auto& up = tables().lfoShapeTable[kLfoSawUp];
    const auto& down = tables().lfoShapeTable[kLfoSawDown];
    EXPECT_EQ(up[0], -1.0f);
    EXPECT_EQ(up[32768], 0.0f);
    EXPECT_EQ(up[65535], 1.0f - 2.0f / 65536.0f);
    EXPECT_EQ(down[0], 1.0f);
    EXPECT_EQ(down[65535], -1.0f + 2.0f / 65536.0f);
    for (int i = 0; i < kPhaseTableSize; ++i) ASSERT_EQ(up[i], -down[i]) << i;
    EXPECT_TRUE(nonDecreasing(up));
}

TEST(TablesLfo, SquareSwitchesJustAfterHalf) {
    const auto& sq = tables().lfoShapeTable[kLfoSquare];
    EXPECT_EQ(sq[0], -1.0f);
    EXPECT_EQ(sq[32767], -1.0f);
    EXPECT_EQ(sq[32768], -1.0f); // x = 0.5 still low
    EXPECT_EQ(sq[32769], 1.0f);
    EXPECT_EQ(sq[65535], 1.0f);
    EXPECT_EQ(std::count(sq.begin(), sq.end(), 1.0f), 32767);
}

TEST(TablesLfo, HeldKindIsSilent) {
    const auto& held = tables().lfoShapeTable[kLfoHeld];
    EXPECT_TRUE(std::all_of(held.begin(), held.end(), [](float v) { return v == 0.0f; }));
}

TEST(TablesLfo, UserWaveKindsArePerInstance) {
    auto a = std::make_unique<UserWaveLfoRows>();
    auto b = std::make_unique<UserWaveLfoRows>();
    for (int w = 0; w < 2; ++w)
        EXPECT_TRUE(
            std::all_of(a->rows[w].begin(), a->rows[w].end(), [](float v) { return v == 0.0f; }));

    for (int kind = 0; kind < kSharedLfoShapeKinds; ++kind) {
        EXPECT_EQ(lfoShapeRow(tables(), *a, kind), tables().lfoShapeTable[kind].data());
        EXPECT_EQ(lfoShapeRow(tables(), *a, kind), lfoShapeRow(tables(), *b, kind));
    }
    EXPECT_EQ(lfoShapeRow(tables(), *a, kLfoUserWave1), a->row(0));
    EXPECT_EQ(lfoShapeRow(tables(), *a, kLfoUserWave2), a->row(1));

    a->row(1)[100] = 0.5f;
    EXPECT_EQ(lfoShapeRow(tables(), *a, kLfoUserWave2)[100], 0.5f);
    EXPECT_EQ(lfoShapeRow(tables(), *b, kLfoUserWave2)[100], 0.0f);
    EXPECT_EQ(lfoShapeRow(tables(), *a, kLfoUserWave1)[100], 0.0f);
}

// ------------------------------------------------------------------ morph positions

TEST(TablesMorph, EndsAndMiddle) {
    const auto& t = tables();
    EXPECT_EQ(t.morphFrameLo[0], 0);
    EXPECT_EQ(t.morphFrameHi[0], 1);
    EXPECT_EQ(t.morphWeight[0], 0.0f);

    // The last position is frame 31 alone: hi does not run past the last frame.
    EXPECT_EQ(t.morphFrameLo[65535], 31);
    EXPECT_EQ(t.morphFrameHi[65535], 31);
    EXPECT_EQ(t.morphWeight[65535], 0.0f);
    EXPECT_EQ(t.morphFrameLo[65534], 30);
    EXPECT_EQ(t.morphFrameHi[65534], 31);
    EXPECT_GT(t.morphWeight[65534], 0.999f);

    // Halfway is halfway between frames 15 and 16.
    EXPECT_EQ(t.morphFrameLo[32768], 15);
    EXPECT_EQ(t.morphFrameHi[32768], 16);
    EXPECT_NEAR(t.morphWeight[32768], 0.5f, 0.001f);
}

TEST(TablesMorph, PositionsRiseSmoothlyThroughEveryFrame) {
    const auto& t = tables();
    std::set<int> frames;
    for (int i = 0; i < kPhaseTableSize; ++i) {
        const int lo = t.morphFrameLo[i];
        frames.insert(lo);
        ASSERT_TRUE(lo >= 0 && lo <= 31) << i;
        ASSERT_EQ(t.morphFrameHi[i], std::min(lo + 1, 31)) << i;
        ASSERT_GE(t.morphWeight[i], 0.0f) << i;
        ASSERT_LT(t.morphWeight[i], 1.0f) << i;
        ASSERT_NEAR(lo + t.morphWeight[i], i / 65535.0 * 31.0, 1e-5) << i;
        if (i > 0) {
            ASSERT_GT(lo + t.morphWeight[i], t.morphFrameLo[i - 1] + t.morphWeight[i - 1]) << i;
        }
    }
    EXPECT_EQ(frames.size(), 32u);
}

// ------------------------------------------------------------------ table interpolation weights

TEST(TablesInterpolate, FirstAndLastFramesAreAllAOrAllB) {
    const auto& w = tables().tableInterpolateWeight;
    EXPECT_TRUE(std::all_of(w[0].begin(), w[0].end(), [](float v) { return v == 0.0f; }));
    EXPECT_TRUE(std::all_of(w[31].begin(), w[31].end(), [](float v) { return v == 1.0f; }));
}

TEST(TablesInterpolate, InnerFramesRiseAlongTheCycleAndFromFrameToFrame) {
    const auto& w = tables().tableInterpolateWeight;
    for (int r = 1; r <= 30; ++r) {
        EXPECT_EQ(w[r][0], 0.0f) << r;
        EXPECT_TRUE(nonDecreasing(w[r])) << r;
        EXPECT_LT(w[r][2047], 0.95f) << r; // the divisor 4006 keeps B from taking over
        EXPECT_GT(w[r][2047], w[r][1024]) << r;
        for (int j = 1; j < kWaveTableSize; j += 31)
            EXPECT_LE(w[r][j], w[r + 1][j]) << r << " " << j;
    }
    // Frame 16 has exponent 1: the weight is linear, j / 4006.
    EXPECT_FLOAT_EQ(w[16][2003], 0.5f);
    EXPECT_FLOAT_EQ(w[16][1000], 1000.0f / 4006.0f);
    // Frame 12 has exponent 2.
    EXPECT_NEAR(w[12][2003], 0.25f, 1e-6f);
    // Frame 1, exponent 2^3.75: nearly nothing of B anywhere.
    EXPECT_LT(w[1][2047], 2e-4f);
}

// ------------------------------------------------------------------ noise

TEST(TablesNoise, WhiteNoiseInRange) {
    const auto& n = tables().noiseWaveTable;
    double sum = 0.0, squares = 0.0;
    for (float v : n) {
        ASSERT_GE(v, -1.0f);
        ASSERT_LE(v, 1.0f);
        sum += v;
        squares += static_cast<double>(v) * v;
    }
    const double mean = sum / kWaveTableSize;
    const double rms = std::sqrt(squares / kWaveTableSize);
    EXPECT_LT(std::fabs(mean), 0.05);
    EXPECT_NEAR(rms, 1.0 / std::sqrt(3.0), 0.05); // uniform in -1..1
    EXPECT_GT(std::set<float>(n.begin(), n.end()).size(), 2000u);
    EXPECT_LT(*std::min_element(n.begin(), n.end()), -0.9f);
    EXPECT_GT(*std::max_element(n.begin(), n.end()), 0.9f);
}

TEST(TablesNoise, GeneratorArithmetic) {
    RandSeed g(1);
    EXPECT_EQ(g.next(), 16807);
    EXPECT_EQ(g.state(), 16808u);
    EXPECT_EQ(g.next(), 16808 * 16807);
    // Wrap-around: the product is taken modulo 2^32 and read as signed.
    RandSeed w(0xFFFFFFFFu);
    EXPECT_EQ(w.next(), -16807);
    EXPECT_EQ(w.state(), 0xFFFFBE5Au); // 2^32 - 16807 + 1
    RandSeed big(0x80000000u / 16807u + 1u);
    EXPECT_LT(big.next(), 0); // past 2^31: negative, without overflow
    static_assert([] {
        RandSeed c(3);
        return c.next() == 3 * 16807 && c.state() == 3u * 16807u + 1u;
    }());

    RandSeed u(12345);
    for (int i = 0; i < 10000; ++i) {
        const float v = u.nextUnipolar();
        ASSERT_GE(v, 0.0f);
        ASSERT_LE(v, 1.0f);
    }
}

TEST(TablesNoise, TableIsTheGeneratorsFirstDraws) {
    const auto& t = tables();
    EXPECT_FLOAT_EQ(t.noiseWaveTable[0], 16807.0f / 2147483648.0f);
    RandSeed g(1);
    for (int i = 0; i < kWaveTableSize; ++i)
        ASSERT_EQ(t.noiseWaveTable[i], static_cast<float>(g.next()) / 2147483648.0f) << i;
    EXPECT_EQ(t.noiseTableSeed.state(), g.state());
}

TEST(TablesNoise, DeterministicForASeed) {
    const auto a = EngineTables::build(77);
    const auto b = EngineTables::build(77);
    EXPECT_EQ(a->noiseWaveTable, b->noiseWaveTable);
    EXPECT_EQ(a->noiseTableSeed.state(), b->noiseTableSeed.state());
    EXPECT_NE(a->noiseWaveTable, tables().noiseWaveTable);
}

// ------------------------------------------------------------------ symmetry warp

TEST(TablesSymmetry, IdentityRowAndRange) {
    const auto& s = tables().symmetryWarp;
    for (int j = 0; j < kWaveTableSize; ++j) ASSERT_EQ(s[kSymmetryIdentityRow][j], j);
    for (int r = 0; r < kWaveTableSize; ++r) {
        ASSERT_EQ(s[r][0], 0) << r;
        ASSERT_TRUE(nonDecreasing(s[r])) << r;
        ASSERT_LT(s[r][2047], 2048) << r; // the largest entry of a rising row
        ASSERT_GE(s[r][2047], 2020) << r; // the cycle still reaches its end
    }
}

TEST(TablesSymmetry, EveryRowMeetsTheMiddleOfTheWaveAtItsSplitPoint) {
    const auto& s = tables().symmetryWarp;
    for (int r = 0; r < kWaveTableSize; ++r) {
        if (r == kSymmetryIdentityRow) continue;
        const auto mid = std::find(s[r].begin(), s[r].end(), 1024);
        ASSERT_NE(mid, s[r].end()) << r;
        const int split = static_cast<int>(mid - s[r].begin());
        ASSERT_GT(split, 0) << r;
        ASSERT_LT(s[r][split - 1], 1024) << r;
        // The split point moves from 1% to 99% of the cycle with the row.
        const double k = r / 2047.0 * 0.98 + 0.01;
        ASSERT_NEAR(split, k * 2048.0, 1.0) << r;
    }
    EXPECT_LT(s[0][19], 1024);
    EXPECT_EQ(s[0][20], 1024);
    EXPECT_LT(s[2047][2026], 1024);
    EXPECT_EQ(s[2047][2027], 1024);
}

TEST(TablesSymmetry, CentreRowsLeaveTheWaveAlmostUnchanged) {
    const auto& s = tables().symmetryWarp;
    for (int r : {1023, 1024}) {
        for (int j = 0; j < kWaveTableSize; ++j)
            ASSERT_LE(std::abs(static_cast<int>(s[r][j]) - j), 1) << r << " " << j;
    }
}

// ------------------------------------------------------------------ note maps

TEST(TablesNotes, PitchTablePerNote) {
    EXPECT_EQ(noteToPitchTable[0], 0);
    EXPECT_EQ(noteToPitchTable[59], 0);
    EXPECT_EQ(noteToPitchTable[60], 1);
    EXPECT_EQ(noteToPitchTable[61], 1);
    EXPECT_EQ(noteToPitchTable[62], 2);
    EXPECT_EQ(noteToPitchTable[124], 33);
    EXPECT_EQ(noteToPitchTable[125], 33);
    EXPECT_EQ(noteToPitchTable[127], 34);
    for (int n = 0; n < 128; ++n) {
        ASSERT_GE(noteToPitchTable[n], 0);
        ASSERT_LT(noteToPitchTable[n], kPitchTables);
        if (n > 0) {
            ASSERT_GE(noteToPitchTable[n], noteToPitchTable[n - 1]);
        }
    }
}

TEST(TablesNotes, SquareWavePerNote) {
    EXPECT_EQ(noteToSquareWave[0], 0);
    EXPECT_EQ(noteToSquareWave[59], 0);
    EXPECT_EQ(noteToSquareWave[60], 1);
    EXPECT_EQ(noteToSquareWave[61], 1);
    EXPECT_EQ(noteToSquareWave[64], 1);
    EXPECT_EQ(noteToSquareWave[65], 2);
    EXPECT_EQ(noteToSquareWave[124], 13);
    EXPECT_EQ(noteToSquareWave[125], 13);
    EXPECT_EQ(noteToSquareWave[127], 13);
    for (int n = 0; n < 128; ++n) {
        ASSERT_GE(noteToSquareWave[n], 0);
        ASSERT_LT(noteToSquareWave[n], 14); // 14 square waves
        if (n > 0) {
            ASSERT_GE(noteToSquareWave[n], noteToSquareWave[n - 1]);
        }
    }
}

TEST(TablesNotes, PitchBinLimitsShrinkWithPitch) {
    EXPECT_EQ(pitchBinLimit[0], 2048);
    EXPECT_EQ(pitchBinLimit[1], 149);
    EXPECT_EQ(pitchBinLimit[17], 23);
    EXPECT_EQ(pitchBinLimit[34], 3);
    EXPECT_TRUE(nonDecreasing(std::vector<int>(pitchBinLimit.rbegin(), pitchBinLimit.rend())));
    // Each table serves two notes: the limits fall by about a whole tone per table.
    EXPECT_NEAR(static_cast<double>(pitchBinLimit[2]) / pitchBinLimit[1], std::exp2(-2.0 / 12),
                0.01);
}

// ------------------------------------------------------------------ bit reversal

TEST(TablesBitReverse, ElevenBitReversalIsAnInvolution) {
    EXPECT_EQ(bitReverseTable[0], 0);
    EXPECT_EQ(bitReverseTable[1], 1024);
    EXPECT_EQ(bitReverseTable[2], 512);
    EXPECT_EQ(bitReverseTable[3], 1536);
    EXPECT_EQ(bitReverseTable[1024], 1);
    EXPECT_EQ(bitReverseTable[2047], 2047);
    EXPECT_EQ(bitReverseTable[0b10000000011], 0b11000000001);
    std::vector<bool> seen(kWaveTableSize);
    for (int i = 0; i < kWaveTableSize; ++i) {
        const int r = bitReverseTable[i];
        ASSERT_TRUE(r >= 0 && r < kWaveTableSize) << i;
        ASSERT_EQ(bitReverseTable[r], i) << i;
        seen[r] = true;
    }
    EXPECT_TRUE(std::all_of(seen.begin(), seen.end(), [](bool b) { return b; }));
}

// ------------------------------------------------------------------ destination types

TEST(TablesDestType, TypesPerDestination) {
    int count[6] = {};
    for (int d = 0; d < dst::Count; ++d) {
        ASSERT_TRUE(destType[d] >= 1 && destType[d] <= 5) << d;
        ++count[destType[d]];
    }
    EXPECT_EQ(count[kDestVolume], 8);
    EXPECT_EQ(count[kDestSemitone], 8);
    EXPECT_EQ(count[kDestSpeed], 12);
    EXPECT_EQ(count[kDestModAmount], 18);
    EXPECT_EQ(count[kDestPlain], 222 - 46);

    EXPECT_EQ(destType[dst::None], kDestPlain);
    EXPECT_EQ(destType[dst::MainVolume], kDestVolume);
    EXPECT_EQ(destType[dst::OscSemi], kDestSemitone);
    EXPECT_EQ(destType[dst::FreeLfo1Speed], kDestSpeed);
    EXPECT_EQ(destType[dst::XYSpeed], kDestSpeed); // between two amount groups
    EXPECT_EQ(destType[dst::XYSmooth], kDestPlain);
    EXPECT_EQ(destType[dst::ChorusSpeed],
              kDestPlain); // chorus rate goes into an exponential itself
    EXPECT_EQ(destType[dst::ReverbMix], kDestPlain);
    // The amount destinations of all 16 slots are amount modulations.
    for (int d = dst::Mod1Amount; d <= dst::Mod12Amount; ++d)
        EXPECT_EQ(destType[d], kDestModAmount) << d;
    for (int d = dst::XYXToFree1Amount; d <= dst::XYYToFree2Amount; ++d)
        EXPECT_EQ(destType[d], kDestModAmount) << d;
    static_assert(destType[dst::XYYToMorph] == kDestModAmount &&
                  destType[dst::ChorusLength] == kDestPlain);
}

// ------------------------------------------------------------------ filter curves

TEST(TablesFilterCurves, FiniteEverywhere) {
    const auto& c = curves();
    for (const auto* curve : {&c.FREQ, &c.SIN_HALF, &c.TAN_HALF, &c.COT_HALF, &c.LADDER_P,
                              &c.LADDER_R, &c.LADDER_G, &tables().subGainCurve}) {
        for (int i = 0; i < kFilterCurveSize; ++i) ASSERT_TRUE(std::isfinite((*curve)[i])) << i;
    }
}

TEST(TablesFilterCurves, CutOffFrequencyIsTenOctavesFrom20Hz) {
    const auto& f = curves().FREQ;
    EXPECT_EQ(f[0], 20.0f);
    EXPECT_NEAR(f[curveIndex(0.1)], 40.0f, 0.01f);
    EXPECT_FLOAT_EQ(f[curveIndex(0.5)], 640.0f);
    EXPECT_FLOAT_EQ(f[curveIndex(0.75)], 3620.3867f); // 20 * 2^7.5
    EXPECT_LT(f[kFilterCurveSize - 1], 20480.0f);
    EXPECT_GT(f[kFilterCurveSize - 1], 20479.0f);
    // The filter's index scale reaches the last entry and no further.
    EXPECT_EQ(static_cast<int>(1.0f * kFilterCurveIndexScale), kFilterCurveSize - 1);
    for (int i = 1; i < kFilterCurveSize; ++i) ASSERT_GT(f[i], f[i - 1]) << i;
}

TEST(TablesFilterCurves, HalfAngleSineAndTangent) {
    const auto& c = curves();
    const int half = curveIndex(0.5);
    EXPECT_EQ(c.SIN_HALF[0], 0.0f);
    EXPECT_EQ(c.SIN_HALF[half], 1.0f);
    EXPECT_NEAR(c.SIN_HALF[curveIndex(0.25)], std::sqrt(0.5f), 1e-7f);
    EXPECT_NEAR(c.SIN_HALF[curveIndex(1.0 / 6)], 0.5f, 1e-5f);
    EXPECT_TRUE(nonDecreasing(c.SIN_HALF, 0, half + 1));

    EXPECT_EQ(c.TAN_HALF[0], 0.0f);
    const float s = std::sqrt(0.5f);
    EXPECT_NEAR(c.TAN_HALF[curveIndex(0.25)], s / (s + 0.0015f), 1e-6f);
    EXPECT_NEAR(c.TAN_HALF[half], 1.0f / 0.0015f, 0.01f);
    for (int i = 1; i <= half; ++i) ASSERT_GT(c.TAN_HALF[i], c.TAN_HALF[i - 1]) << i;
    // Over the range the filter reads (cut-off up to 0.2 of the doubled rate)
    // the tangent stays close to tan(pi x).
    for (int i = 0; i <= curveIndex(0.2); i += 1000) {
        const double x = static_cast<double>(i) / kFilterCurveSize;
        ASSERT_NEAR(c.TAN_HALF[i], std::tan(3.141592653589793 * x), 0.0015 * 1.5) << i;
    }
}

TEST(TablesFilterCurves, HalfAngleCotangent) {
    const auto& c = curves().COT_HALF;
    const int half = curveIndex(0.5);
    EXPECT_EQ(c[0], 1.0f);
    EXPECT_NEAR(c[1], 1.0 / (std::sin(3.141592653589793 / kFilterCurveSize) + 0.0015), 0.01);
    const float s = std::sqrt(0.5f);
    EXPECT_NEAR(c[curveIndex(0.25)], s / (s + 0.0015f), 1e-6f);
    EXPECT_NEAR(c[half], 0.0f, 1e-12f);
    EXPECT_NEAR(c[kFilterCurveSize - 1], -c[1], 0.01f);
    for (int i = 2; i < kFilterCurveSize; ++i) ASSERT_LT(c[i], c[i - 1]) << i;
}

TEST(TablesFilterCurves, LadderCoefficients) {
    const auto& c = curves();
    const int quarter = curveIndex(0.25), half = curveIndex(0.5);
    EXPECT_EQ(c.LADDER_G[0], 1e-15f);
    EXPECT_EQ(c.LADDER_P[0], -1.0f);
    EXPECT_EQ(c.LADDER_R[0], 3.8f);

    EXPECT_FLOAT_EQ(c.LADDER_G[quarter], 0.75f); // 4x(1 - x)
    EXPECT_FLOAT_EQ(c.LADDER_G[half], 1.0f);
    EXPECT_FLOAT_EQ(c.LADDER_P[quarter], 0.5f);
    EXPECT_FLOAT_EQ(c.LADDER_P[half], 1.0f);
    EXPECT_FLOAT_EQ(c.LADDER_R[quarter], 1.475f); // y = 0.5
    EXPECT_FLOAT_EQ(c.LADDER_R[half], 1.0f);
    EXPECT_NEAR(c.LADDER_R[1], 3.8f, 1e-4f);

    for (int i = 1; i < kFilterCurveSize; ++i) {
        ASSERT_NEAR(c.LADDER_P[i], 2.0f * c.LADDER_G[i] - 1.0f, 1e-6f) << i;
        ASSERT_LT(c.LADDER_R[i], c.LADDER_R[i - 1]) << i;
    }
    for (int i = 1; i <= half; ++i) ASSERT_GE(c.LADDER_G[i], c.LADDER_G[i - 1]) << i;
    for (int i = half + 1; i < kFilterCurveSize; ++i) ASSERT_LE(c.LADDER_G[i], c.LADDER_G[i - 1]);
}

TEST(TablesSubGain, ThirtyDecibelRange) {
    const auto& g = tables().subGainCurve;
    EXPECT_EQ(g[0], 0.0f);
    EXPECT_EQ(g[262], 0.0f); // x < 0.001
    EXPECT_NEAR(g[263], std::pow(10.0, (30.0 * 263 / kFilterCurveSize - 30.0) / 20.0), 1e-8);
    EXPECT_NEAR(g[263], 0.0316228f, 2e-4f);             // -30 dB
    EXPECT_NEAR(g[curveIndex(0.5)], 0.1778279f, 1e-6f); // -15 dB
    EXPECT_NEAR(g[kFilterCurveSize - 1], 1.0f, 2e-5f);
    EXPECT_LT(g[kFilterCurveSize - 1], 1.0f);
    EXPECT_TRUE(nonDecreasing(g));
}

// ------------------------------------------------------------------ sharing

TEST(TablesShared, BuiltOncePerProcess) {
    const EngineTables* first = &engineTables();
    EXPECT_EQ(&engineTables(), first);

    std::vector<const EngineTables*> seen(4);
    std::vector<std::thread> threads;
    for (auto& s : seen) threads.emplace_back([&s] { s = &engineTables(); });
    for (auto& t : threads) t.join();
    for (const auto* s : seen) EXPECT_EQ(s, first);
}

TEST(TablesShared, FreshBuildMatchesTheSharedCopy) {
    const auto fresh = EngineTables::build();
    const auto& shared = engineTables();
    EXPECT_NE(fresh.get(), &shared);
    EXPECT_EQ(fresh->sineTable, shared.sineTable);
    EXPECT_EQ(fresh->lfoShapeTable, shared.lfoShapeTable);
    EXPECT_EQ(fresh->morphFrameLo, shared.morphFrameLo);
    EXPECT_EQ(fresh->morphFrameHi, shared.morphFrameHi);
    EXPECT_EQ(fresh->morphWeight, shared.morphWeight);
    EXPECT_EQ(fresh->tableInterpolateWeight, shared.tableInterpolateWeight);
    EXPECT_EQ(fresh->noiseWaveTable, shared.noiseWaveTable);
    EXPECT_EQ(fresh->symmetryWarp, shared.symmetryWarp);
    EXPECT_EQ(fresh->subGainCurve, shared.subGainCurve);
    EXPECT_EQ(fresh->filterCurves.FREQ, shared.filterCurves.FREQ);
    EXPECT_EQ(fresh->filterCurves.SIN_HALF, shared.filterCurves.SIN_HALF);
    EXPECT_EQ(fresh->filterCurves.TAN_HALF, shared.filterCurves.TAN_HALF);
    EXPECT_EQ(fresh->filterCurves.COT_HALF, shared.filterCurves.COT_HALF);
    EXPECT_EQ(fresh->filterCurves.LADDER_P, shared.filterCurves.LADDER_P);
    EXPECT_EQ(fresh->filterCurves.LADDER_R, shared.filterCurves.LADDER_R);
    EXPECT_EQ(fresh->filterCurves.LADDER_G, shared.filterCurves.LADDER_G);
}
