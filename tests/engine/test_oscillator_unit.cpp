// The oscillator unit on its own: the unison lanes rendered together (SSE2
// for four) give bit for bit what each lane gives rendered alone, for every
// mix of up, down and sub-oscillator, with and without a morph blend, for one
// to four copies; the lanes' phase offsets prepared four at once are those
// of one at a time.

#include "engine/oscillator.h"
#include "support/property_seeds.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

namespace {

struct MixCase {
    bool spread, sub, blend;
    float subNorm;
};

TEST(OscillatorUnit, FourLanesTogetherMatchEachLaneAlone) {
    for (const std::uint32_t seed : propertySeeds({21u})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 gen(seed);
        std::uniform_real_distribution<float> wave(-1.0f, 1.0f);
        std::vector<float> tables(6 * 2048);
        for (float& x : tables) x = wave(gen);
        std::vector<uint16_t> warp(2048), subWarp(2048);
        for (int i = 0; i < 2048; ++i) {
            warp[i] = static_cast<uint16_t>((i * 7 + 3) % 2048);
            subWarp[i] = static_cast<uint16_t>(2047 - i);
        }
        const MixCase setups[] = {{false, false, false, 1.0f}, {false, false, true, 0.8f},
                                  {false, true, true, 0.5f},   {true, false, false, 1.0f},
                                  {true, true, true, 0.7f},    {true, true, false, 0.6f}};
        for (const MixCase& c : setups)
            for (int copies = 1; copies <= osc::kLanes; ++copies) {
                OscillatorState four;
                four.copies = copies;
                four.spread = c.spread;
                four.sub = c.sub;
                four.subNorm = c.subNorm;
                four.subGain = 1.0f / c.subNorm - 1.0f;
                four.upGain = 0.9f;
                four.downGain = 0.7f;
                four.warp = warp.data();
                four.subWave = &tables[5 * 2048];
                four.subWarp = subWarp.data();
                for (int k = 0; k < osc::kLanes; ++k) {
                    four.lo[k] = &tables[k * 2048];
                    four.hi[k] = &tables[(k + 1) * 2048];
                    four.weight[k] = c.blend ? 0.25f * static_cast<float>(k) : 0.0f;
                    four.phaseUp[k] = gen() & osc::kPhaseMask;
                    four.phaseDown[k] = gen() & osc::kPhaseMask;
                    four.phaseSub[k] = gen() & osc::kPhaseMask;
                    // Lane 3 steps nearly a cycle per sub-sample: its sums pass 2^32.
                    four.stepUp[k] =
                        osc::phaseStep(k == 3 ? 0.999f : 0.01f + 0.003f * static_cast<float>(k));
                    four.stepDown[k] = osc::phaseStep(0.009f + 0.002f * static_cast<float>(k));
                    four.stepSub[k] = osc::phaseStep(0.005f);
                    four.offsetUp[k] =
                        osc::phaseOffset(k == 2 ? -1e-7f : 0.1f * static_cast<float>(k));
                    four.offsetDown[k] = osc::phaseOffset(-0.3f);
                    four.offsetSub[k] = osc::phaseOffset(0.7f);
                }
                four.blend = c.blend;
                osc::selectKind(four);
                std::array<OscillatorState, osc::kLanes> alone;
                for (int k = 0; k < copies; ++k) {
                    OscillatorState& a = alone[k];
                    a = four;
                    a.copies = 1;
                    a.lo[0] = four.lo[k];
                    a.hi[0] = four.hi[k];
                    a.weight[0] = four.weight[k];
                    a.phaseUp[0] = four.phaseUp[k];
                    a.phaseDown[0] = four.phaseDown[k];
                    a.phaseSub[0] = four.phaseSub[k];
                    a.stepUp[0] = four.stepUp[k];
                    a.stepDown[0] = four.stepDown[k];
                    a.stepSub[0] = four.stepSub[k];
                    a.offsetUp[0] = four.offsetUp[k];
                    a.offsetDown[0] = four.offsetDown[k];
                    a.offsetSub[0] = four.offsetSub[k];
                    osc::selectKind(a);
                }
                for (int frame = 0; frame < 300; ++frame) {
                    std::array<float, 4 * osc::kLanes> together{}, single{};
                    const float first = osc::process(four, together.data(), 4);
                    for (int k = 0; k < copies; ++k) osc::process(alone[k], &single[4 * k], 4);
                    // The returned value is lane 0's mean, summed as the source reads it.
                    ASSERT_EQ(first,
                              (together[0] + together[1] + together[2] + together[3]) * 0.25f);
                    ASSERT_EQ(0, std::memcmp(together.data(), single.data(), sizeof(together)))
                        << "spread " << c.spread << " sub " << c.sub << " blend " << c.blend
                        << " copies " << copies << " frame " << frame;
                    for (int k = 0; k < copies; ++k) {
                        ASSERT_EQ(four.phaseDown[k], alone[k].phaseDown[0]);
                        ASSERT_EQ(four.phaseSub[k], alone[k].phaseSub[0]);
                        ASSERT_EQ(four.phaseUp[k], alone[k].phaseUp[0]);
                        ASSERT_EQ(four.lastOutUp[k], alone[k].lastOutUp[0]);
                        if (c.spread) {
                            ASSERT_EQ(four.lastOutDown[k], alone[k].lastOutDown[0]);
                        }
                    }
                }
            }
    }
}

// Cycles of every kind: signed zeros, a subnormal, fractions near a whole
// cycle, the largest accepted and the first refused magnitude, infinities,
// NaN, then many of all sizes.
TEST(OscillatorUnit, OffsetsFourAtOnceMatchOneAtATime) {
    std::vector<float> cycles = {0.0f,
                                 -0.0f,
                                 1e-45f,
                                 -3e-39f,
                                 1e-10f,
                                 -1e-7f,
                                 0.5f,
                                 -0.5f,
                                 0.99999994f,
                                 -0.99999994f,
                                 1.0f,
                                 -1.0f,
                                 1.25f,
                                 -1.25f,
                                 3.7f,
                                 -3.7f,
                                 4096.3f,
                                 -65535.01f,
                                 1048575.9f,
                                 -1048575.9f,
                                 1048576.0f,
                                 -1048576.0f,
                                 3e9f,
                                 std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity(),
                                 std::numeric_limits<float>::quiet_NaN()};
    for (const std::uint32_t seed : propertySeeds({7u})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 gen(seed);
        for (int i = 0; i < 40000; ++i) {
            const float magnitude =
                std::exp2(std::uniform_real_distribution<float>(-30.0f, 22.0f)(gen));
            cycles.push_back((gen() & 1) != 0 ? magnitude : -magnitude);
        }
        while (cycles.size() % 4 != 0) cycles.push_back(0.25f);
        for (std::size_t i = 0; i < cycles.size(); i += 4) {
            alignas(16) std::array<uint32_t, 4> four;
            _mm_store_si128(reinterpret_cast<__m128i*>(four.data()),
                            osc::phaseOffset4(_mm_loadu_ps(&cycles[i])));
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(four[k], osc::phaseOffset(cycles[i + k])) << "cycles " << cycles[i + k];
        }

        // The preparation sums each oscillator's cycles in the order of one lane at a time.
        OscillatorState s;
        s.spread = s.sub = true;
        std::uniform_real_distribution<float> any(-3.0f, 3.0f);
        for (int i = 0; i < 1000; ++i) {
            alignas(16) std::array<float, osc::kLanes> copy;
            for (float& x : copy) x = any(gen);
            const float phase = any(gen), up = any(gen), down = any(gen), sub = any(gen);
            osc::prepareOffsets(s, copy, phase, up, down, sub);
            for (int k = 0; k < osc::kLanes; ++k) {
                ASSERT_EQ(s.offsetUp[k], osc::phaseOffset(copy[k] + phase + up));
                ASSERT_EQ(s.offsetDown[k], osc::phaseOffset(copy[k] + phase + down));
                ASSERT_EQ(s.offsetSub[k], osc::phaseOffset(sub + copy[k]));
            }
        }
    }
}

} // namespace

// The morph position of one copy taken on its own.
int morphIndexOfOne(float p, const float* unisonMorph, bool wrap, int k) {
    const float q = k == 0 ? p : p + unisonMorph[0] + unisonMorph[k];
    int index = static_cast<int>(std::fmin(std::fmax(q, -64.0f), 64.0f) * 65535.9f);
    if (std::isnan(q)) index = static_cast<int>(-64.0f * 65535.9f);
    if (wrap) {
        const int m = ((index + 1310720) % 131070 + 131070) % 131070;
        index = 65535 - std::abs(65535 - m);
    }
    return index < 0 ? 0 : (index > 65535 ? 65535 : index);
}

TEST(OscillatorUnit, MorphIndicesFourAtOnceMatchOneAtATime) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Case {
        float p;
        std::array<float, 4> unisonMorph;
    };
    const Case cases[] = {
        {0.0f, {0.0f, 0.0f, 0.0f, 0.0f}},          {0.37f, {0.1f, -0.2f, 0.3f, 0.45f}},
        {0.999999f, {0.0f, 1e-6f, 2e-6f, -1e-6f}}, {-0.3f, {-0.25f, 0.6f, -1.7f, 2.9f}},
        {1.4f, {0.5f, -3.1f, 7.2f, -0.8f}},        {-70.0f, {100.0f, -30.0f, 1.0f, 65.0f}},
        {nan, {0.0f, 0.2f, 0.4f, 0.6f}},           {0.5f, {0.0f, nan, 0.1f, -nan}},
        {0.5f, {3e7f, -3e7f, 0.0f, -3e7f}}}; // summed in order
    for (const Case& c : cases)
        for (bool wrap : {false, true}) {
            const I4 four = osc::morphIndices(c.p, c.unisonMorph.data(), wrap);
            for (int k = 0; k < osc::kLanes; ++k)
                EXPECT_EQ(four[k], morphIndexOfOne(c.p, c.unisonMorph.data(), wrap, k))
                    << "p " << c.p << " copy " << k << " wrap " << wrap;
        }
}
