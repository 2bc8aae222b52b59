// The oscillator unit: the four unison lanes of one voice, each with an up
// oscillator, a down oscillator (the spread pair) and a sub-oscillator,
// rendering four sub-samples per output frame (4x the sample rate).
//
// Units and calibration:
//   - Phases are 29-bit fixed point (2^29 = one cycle) in uint32; the top 11
//     of the 29 bits index a 2048-sample table (phase >> 18, masked).
//     Increments (steps) are cycles per sub-sample in the same fixed point,
//     kept below one cycle. Phase offsets (phase modulation, copy phase) are
//     cycles as 29-bit values, added before the index is taken; the phases
//     themselves advance by four steps per frame and wrap at one cycle.
//   - A sample is read through the symmetry warp row (an index map of the
//     2048 positions) from two morph frames of the note's pitch table and
//     blended: lo + (hi - lo) * weight. No interpolation between positions.
//   - The output of a lane is normalised for the sub-oscillator's level:
//       plain     out = up * subNorm
//       sub only  out = subNorm * (up + subGain * sub)
//       spread    out = subNorm * (subGain * sub + (down * downGain + up * upGain) / 2)
//     lastOutUp/lastOutDown keep the mean of the last four sub-samples (the
//     feedback source).
//
// State is lane-major: every per-lane value is an array of four, one SSE2
// vector, so that the four lanes of a unison voice move together; the table
// reads stay scalar per lane (SSE2 has no gather), the blend and the sums are
// vectorised. APlugin decides when the control-rate work runs (voice ticks,
// smoothing, modulation) and fills the values a frame reads (prepare); the
// unit does the per-frame work (process).
#pragma once

#include "core/mod_slots.h"
#include "engine/simd4.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <emmintrin.h>

namespace osc {

constexpr int kVoices = 16;               // voices of the engine
constexpr int kLanes = 4;                 // unison copies of a voice
constexpr int kSubSamples = 4;            // sub-samples per output frame
constexpr float kPhaseOne = 536870912.0f; // 2^29: one cycle
constexpr uint32_t kPhaseMask = (1u << 29) - 1;
constexpr int kIndexShift = 18;       // phase >> 18: a position of the 2048-sample table
constexpr uint32_t kIndexMask = 2047; // the 11 bits of the table position

// Cycles (any size, NaN as 0) as a 29-bit phase offset.
inline uint32_t phaseOffset(float cycles) {
    if (cycles == 0.0f) return 0;
    if (!(std::fabs(cycles) < 1048576.0f)) return 0; // also NaN and infinity
    // Two's-complement wrap of the fixed-point value keeps the fraction.
    const int64_t fixed = static_cast<int64_t>(static_cast<double>(cycles) * kPhaseOne);
    return static_cast<uint32_t>(fixed) & kPhaseMask;
}

// phaseOffset of four values at once, bit for bit. The whole cycles drop
// out of the 29 bits, so the exact fraction (cycles less their truncation,
// of the same sign) gives the offset; its fixed point fits 32 bits.
inline __m128i phaseOffset4(__m128 cycles) {
    const __m128 magnitude = _mm_andnot_ps(_mm_set1_ps(-0.0f), cycles);
    const __m128 valid = _mm_and_ps(_mm_cmpneq_ps(cycles, _mm_setzero_ps()),
                                    _mm_cmplt_ps(magnitude, _mm_set1_ps(1048576.0f)));
    const __m128 fraction = _mm_sub_ps(cycles, _mm_cvtepi32_ps(_mm_cvttps_epi32(cycles)));
    const __m128i fixed = _mm_cvttps_epi32(_mm_mul_ps(fraction, _mm_set1_ps(kPhaseOne)));
    return _mm_and_si128(_mm_and_si128(fixed, _mm_set1_epi32(static_cast<int>(kPhaseMask))),
                         _mm_castps_si128(valid));
}

// An increment in cycles per sub-sample as a 29-bit step, kept below one
// cycle per sub-sample.
inline uint32_t phaseStep(float cycles) {
    if (!(cycles > 0.0f)) return 0;
    return cycles >= 1.0f ? kPhaseMask : static_cast<uint32_t>(cycles * kPhaseOne);
}

// 2^x kept for the last x (bit for bit): the ratios of a voice's 16-frame
// tick are taken again only when their inputs move.
struct Exp2Memo {
    uint32_t input = 0; // the bits of 0.0f
    float value = 1.0f;
    float operator()(float x) {
        const uint32_t bits = std::bit_cast<uint32_t>(x);
        if (bits != input) {
            input = bits;
            value = std::exp2(x);
        }
        return value;
    }
};

} // namespace osc

// The pitch ratios of a voice's 16-frame tick: the whole voice's, the spread
// pair's, the sub-oscillator's and each copy's (unison pitch, its fine and
// semi offsets, the detuned pair of one mode).
struct OscillatorRatios {
    osc::Exp2Memo global, pitch, up, down, sub, pair;
    std::array<osc::Exp2Memo, osc::kLanes> copy, copyOffset;
};

// What a voice's 16-frame tick and its preparation read besides the values
// the stage's epoch covers, as of its last tick: the destinations of the
// oscillators (one run and three more) and the other inputs, bit for bit.
struct OscillatorTickInputs {
    static constexpr int kFirstDest = dst::UnisonDetune, kLastDest = dst::SubPhase;
    std::array<float, kLastDest - kFirstDest + 1> dest{};
    std::array<uint32_t, 16> other{};
    bool valid = false; // false until a tick has taken them
};

// The oscillator state of one voice's four lanes.
struct OscillatorState {
    using U4 = std::array<uint32_t, osc::kLanes>;
    using F4 = std::array<float, osc::kLanes>;

    // Running state.
    alignas(16) U4 phaseUp{}, phaseDown{}, phaseSub{};
    alignas(16) U4 stepUp{}, stepDown{}, stepSub{}; // drift included
    alignas(16) F4 lastOutUp{}, lastOutDown{};      // feedback: mean of the last sub-samples

    // What a frame reads, filled by prepare while the inputs change.
    alignas(16) U4 offsetUp{}, offsetDown{}, offsetSub{};
    alignas(16) F4 weight{};                          // morph blend per lane
    std::array<const float*, osc::kLanes> lo{}, hi{}; // morph frames per lane
    const uint16_t* warp = nullptr;    // symmetry warp row of the up and down oscillators
    const float* subWave = nullptr;    // the sub-oscillator's wave
    const uint16_t* subWarp = nullptr; // and its warp row
    float upGain = 1.0f, downGain = 1.0f, subGain = 0.0f, subNorm = 1.0f;
    int copies = 1;
    bool direct = true;  // false: noise, fold, bits or feedback (APlugin::oscillatorLane)
    bool spread = false; // the down oscillator sounds
    bool sub = false;    // the sub-oscillator sounds
    bool blend = false;  // some lane's morph weight is not 0
    int kind = 0;        // the process variant these values select (osc::kind)

    // The stage's epoch the prepared values were made in while no input of
    // theirs moves from frame to frame; 0 while they must be prepared anew.
    uint32_t restEpoch = 0;
    void invalidate() { restEpoch = 0; }
};

// What the oscillator stage keeps between frames: the shared values of the
// last frame (an epoch starts whenever one changes) and whether the matrix
// routes to a destination the oscillators read on every frame.
struct OscillatorStageState {
    using Key = std::array<uint64_t, 9>;
    Key key{};
    uint32_t epoch = 1;
    uint32_t matrixGeneration = 0;
    bool matrixFrameDest = false;
    std::array<OscillatorRatios, osc::kVoices> ratios{};     // per voice
    std::array<OscillatorTickInputs, osc::kVoices> inputs{}; // per voice
};

namespace osc {

// The phase offsets of the lanes from each copy's phase (cycles) and the
// phases of the up, down and sub-oscillators: offsetUp always, offsetDown
// while the pair is spread, offsetSub while the sub-oscillator sounds.
void prepareOffsets(OscillatorState& s, const std::array<float, kLanes>& copyPhase, float phase,
                    float upPhase, float downPhase, float subPhase);

// The morph table positions (0..65535) of the four copies: copy 0 at the
// morph position p, copy k at p + unisonMorph[0] + unisonMorph[k]; with
// `wrap` positions beyond 0..1 fold back.
I4 morphIndices(float p, const float* unisonMorph, bool wrap);

// The process variant of prepared values (sets `kind`).
void selectKind(OscillatorState& s);

// One frame of the prepared oscillators of a voice: four sub-samples into
// each sounding lane's output, lane k's at out + k * laneStride floats.
// Returns the mean of lane 0's four sub-samples.
float process(OscillatorState& s, float* out, std::ptrdiff_t laneStride);

} // namespace osc
