#include "engine/tables.h"

#include "core/process_shared.h"

#include <cmath>
#include <numbers>

namespace {

void fillSine(EngineTables& t) {
    constexpr double kStep = 2.0 * std::numbers::pi / kPhaseTableSize;
    for (int i = 0; i < kPhaseTableSize; ++i)
        t.sineTable[i] = static_cast<float>(std::sin(kStep * i));
}

void fillLfoShapes(EngineTables& t) {
    constexpr double kLfoPi = 3.1415925; // the sine kind's own value of pi
    auto& rows = t.lfoShapeTable;
    for (int i = 0; i < kPhaseTableSize; ++i) {
        const double x = static_cast<double>(i) / kPhaseTableSize;
        rows[kLfoSine][i] = static_cast<float>(std::sin(2.0 * kLfoPi * x));
        rows[kLfoTriangle][i] = static_cast<float>(2.0 * (1.0 - std::fabs(1.0 - 2.0 * x)) - 1.0);
        rows[kLfoSawUp][i] = static_cast<float>(2.0 * x - 1.0);
        rows[kLfoSawDown][i] = static_cast<float>(1.0 - 2.0 * x);
        rows[kLfoSquare][i] = x <= 0.5 ? -1.0f : 1.0f;
        rows[kLfoHeld][i] = 0.0f;
    }
}

void fillMorphPositions(EngineTables& t) {
    constexpr int kLast = kMorphFrames - 1;
    for (int i = 0; i < kPhaseTableSize; ++i) {
        const double pos = static_cast<double>(i) / (kPhaseTableSize - 1) * kLast;
        const int lo = static_cast<int>(pos);
        t.morphFrameLo[i] = lo;
        t.morphFrameHi[i] = lo < kLast ? lo + 1 : kLast;
        t.morphWeight[i] = static_cast<float>(pos - lo);
    }
}

void fillTableInterpolateWeight(EngineTables& t) {
    auto& rows = t.tableInterpolateWeight;
    for (int j = 0; j < kWaveTableSize; ++j) {
        rows[0][j] = 0.0f;
        rows[kMorphFrames - 1][j] = 1.0f;
    }
    for (int r = 1; r < kMorphFrames - 1; ++r) {
        const float e = static_cast<float>(std::exp2(4.0 - r / 4.0));
        for (int j = 0; j < kWaveTableSize; ++j)
            rows[r][j] = std::pow(static_cast<float>(j) / 4006.0f, e);
    }
}

void fillNoise(EngineTables& t, std::uint32_t seed) {
    RandSeed gen(seed);
    for (float& v : t.noiseWaveTable) v = gen.nextBipolar();
    t.noiseTableSeed = gen;
}

void fillSymmetryWarp(EngineTables& t) {
    for (int r = 0; r < kWaveTableSize; ++r) {
        const double k = r / 2047.0 * 0.98 + 0.01;
        const int split = static_cast<int>(k * 2048.0);
        auto& row = t.symmetryWarp[r];
        for (int j = 0; j < split; ++j) row[j] = static_cast<std::uint16_t>(j * 0.5 / k);
        for (int j = split; j < kWaveTableSize; ++j)
            row[j] = static_cast<std::uint16_t>((j - split) * 0.5 / (1.0 - k) + 1024.0);
    }
    // Applied after all rows, so that this row, not the one at k = 0.5, is exact.
    auto& identity = t.symmetryWarp[kSymmetryIdentityRow];
    for (int j = 0; j < kWaveTableSize; ++j) identity[j] = static_cast<std::uint16_t>(j);
}

void fillSubGain(EngineTables& t) {
    for (int i = 0; i < kFilterCurveSize; ++i) {
        const double x = static_cast<double>(i) / kFilterCurveSize;
        t.subGainCurve[i] =
            x < 0.001 ? 0.0f : static_cast<float>(std::pow(10.0, (30.0 * x - 30.0) / 20.0));
    }
}

} // namespace

std::unique_ptr<EngineTables> EngineTables::build(std::uint32_t noiseSeed) {
    // Default-initialised: every table is written below, so nothing is zeroed twice.
    std::unique_ptr<EngineTables> t(new EngineTables);
    fillSine(*t);
    fillLfoShapes(*t);
    fillMorphPositions(*t);
    fillTableInterpolateWeight(*t);
    fillNoise(*t, noiseSeed);
    fillSymmetryWarp(*t);
    fillSubGain(*t);
    t->filterCurves.fill();
    return t;
}

const EngineTables& engineTables() {
    constinit static ProcessShared<EngineTables> shared{[] { return EngineTables::build(); }};
    return shared.get();
}
