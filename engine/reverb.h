// TBasicReverb: the stereo reverb at the end of the effect chain.
//
// Units and calibration:
//   - Comb-and-allpass design on the classic comb tunings (left 1116 ..
//     1046 samples at 44.1 kHz, right the same + 23) and allpass tunings
//     (556, 441, 341, 225; the second chain + 23), all scaled by rate / 44100.
//   - 40 combs in four lanes of ten: lane 0 the left combs of set 1, lane 1
//     the right combs of set 1, lane 2 the left combs of set 2, lane 3 the
//     right combs of set 2 (set lengths scaled by setSize's s1 and s2). The
//     outputs o1..o4 are the lanes, so (o1 + o3, o2 + o4) is (left, right).
//   - Inputs enter at 0.03 (-30 dB): the comb bank rings up about 24 dB.
//     In each lane the even combs take the lane's own input, the odd
//     ones that input delayed by one of the four modulated taps (left taps 1
//     and 3, right taps 2 and 4; tap k reads widen_k + 1 samples back).
//   - Room size v in 0..1 gives the comb loop gain log10(20 v + 1) x 0.249579
//     + 0.65 (0.65 .. 0.98); setMod's factors (about 1 +- 0.002) scale each
//     lane's loop gain, never above 0.99. Damping v gives 0.55 v.
//   - Each lane's comb sum passes a one-pole high-pass (coefficient
//     2 x min(20 x 2^(10 v) / rate, 0.3), off below 0.01) and four allpasses
//     of gain 0.5 (lanes 0 and 1 the first chain, lanes 2 and 3 the second).
//   - Runs of frames pass the comb bank in vectors of four lanes (SSE2) or,
//     where the processor has AVX2, of eight: an even comb and the odd one
//     after it side by side. Both do the same
//     single-precision operations in the same order (no fused multiply-add),
//     so they give the same bits.
//   - Every buffer is mapped for the highest accepted rate (500 kHz) when the
//     object is built, so rate changes and mutes never allocate; the buffers
//     are zero pages, which hold memory only where written. The comb and
//     allpass rings run over a window of rows sized for the rate (the
//     longest comb at the largest size the chain sets, kMaxSize, and the
//     longest allpass), so that low rates touch only part of them.
#pragma once

#include "core/zero_pages.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

struct stereoStruct;

class TBasicReverb {
public:
    static constexpr int kRing = 16384; // comb and input rings, samples
    static constexpr int kLanes = 4;
    static constexpr int kCombsPerLane = 10;
    static constexpr int kCombs = kLanes * kCombsPerLane;
    static constexpr int kAllpassStages = 4;
    static constexpr int kAllpassRing = 8192; // rows per allpass stage, above the longest
    static constexpr float kMaxRate = 500000.0f;
    static constexpr int kMaxCombLength = kRing - 1;
    static constexpr int kMinWiden = 1, kMaxWiden = kRing - 1;
    // The largest s1 or s2 the chain sets: 2^(8 - 6) x 1.1. Longer combs are
    // held at the longest one this size gives at the rate.
    static constexpr float kMaxSize = 4.4f;

    TBasicReverb();
    TBasicReverb(const TBasicReverb&) = delete;
    TBasicReverb& operator=(const TBasicReverb&) = delete;

    void create();               // 44.1 kHz, default room and damping, init
    void init();                 // comb and allpass lengths for the rate, mute
    void setSampleRate(float r); // ignored below 1 Hz, above 500 kHz or unchanged
    void mute();                 // every ring and filter state to zero
    void setRoomSize(float v);   // 0..1
    void setDamp(float v);       // 0..1
    void setFilter(float v);     // high-pass frequency 0..1
    void setSize(float s1, float s2);
    void setWiden(int a, int b, int c, int d); // tap delays in samples, 1..16383
    void setMod(float m1, float m2, float m3, float m4);
    void process(float inL, float inR, float& o1, float& o2, float& o3, float& o4);
    // `frames` (at most kRunFrames) frames in a row: the left and right
    // inputs of frame n in in[n] (engine/delay.h),
    // outputs o1..o4 of frame n in out[4 n .. 4 n + 3]. The same as as many
    // calls of the one-frame process.
    static constexpr int kRunFrames = 16;
    void process(const stereoStruct* in, float* out, int frames);
    // Runs of frames take the AVX2 comb bank where the processor has one
    // (the same bits as the SSE2 one); off, or without AVX2, the SSE2 one.
    // Returns whether the AVX2 bank is in use.
    bool useWideCombs(bool on);

    float getSampleRate() const { return sampleRate; }
    float getRoomSize() const { return roomSize; }
    float getDamp() const { return damp; }
    float getLoopGain(int lane) const { return laneRoom[lane & 3]; }
    int getTapOffset(int k) const { return tapOffset[k & 3]; }
    int getCombLength(int lane, int comb) const;
    int getAllpassLength(int lane, int stage) const { return allpassLen[lane & 3][stage & 3]; }
    int getCombRows() const { return combRows; } // the comb ring's window at this rate

private:
    void update(); // the lanes' loop gains and damping from roomSize, damp and mod
    // The input ring and comb bank over a run: the four lanes' comb sums of
    // frame n in sums[4 n .. 4 n + 3].
    void combs(const stereoStruct* in, float* sums, int frames);
    void combsWide(const stereoStruct* in, float* sums, int frames);
    // combsWide, then the allpasses, in AVX2 code.
    void processWide(const stereoStruct* in, float* out, int frames);
    // High-pass and allpasses over a run: the comb sums to the outputs.
    void allpasses(const float* sums, float* out, int frames);

    float sampleRate = 44100.0f;
    float roomSize = 0.9099097f;
    float damp = 0.275f;
    int inputPos = 0;
    std::array<int, 4> tapOffset{};
    std::array<float, kCombs> sizeFactor{};
    std::array<float, kLanes> mod{1.0f, 1.0f, 1.0f, 1.0f};
    float lastS1 = -1.0f, lastS2 = -1.0f;
    // The last inputs of the curve setters (NaN: compute on the next call).
    float lastRoomIn = kNoValue, lastDampIn = kNoValue, lastFilterIn = kNoValue;
    static constexpr float kNoValue = std::numeric_limits<float>::quiet_NaN();

    // Lane copies.
    std::array<float, kLanes> laneDamp{}, laneUndamp{}, laneRoom{};
    float hpCoef = 0.0f;
    std::array<float, kLanes> hpState{};

    // Comb bank: a ring of combRows rows, row r holding comb j of lane l at
    // r x kCombs + j x kLanes + l, each row written twice (at r and at
    // r + combRows), so that a comb reads the row its length back from the
    // second copy without a wrap: one load per comb and lane.
    int combPos = 0;
    int combRows = kRing;
    std::array<int, kCombs> combLength{};          // same order as a row
    std::array<std::ptrdiff_t, kCombs> combRead{}; // (combRows - length) x kCombs + column
    std::array<float, kCombs> combStore{};
    ZeroPages<float> combRing; // zero pages: memory once the reverb has run
    // Input ring: left, then right, each written twice (at p and at
    // p + kRing), so that a tap reads pos + tapOffset[k] without a wrap.
    ZeroPages<float> inputRing;
    bool dirty = false; // something was written since the last mute
    bool wide = false;  // combsWide runs the comb bank
    // The allpass window in use (rows - 1, a power of two) and the widest
    // windows used since the last mute, which the next mute clears.
    int allpassMask = kAllpassRing - 1;
    int combRowsUsed = 0, allpassRowsUsed = 0;

    // Allpasses: lanes 0 and 1 share the first chain's lengths, 2 and 3 the
    // second's. Each stage is one ring of four-lane rows written at a shared
    // position; a pair of lanes reads its row its own length back, so that a
    // stage is one vector step for all four lanes.
    // Each stage holds its window twice (row r at r and at r + rows), so
    // that a pair reads the row its length back at a fixed distance from
    // the row being written, within the second copy: allpassRead[pair][s].
    int allpassPos = 0;
    ZeroPages<float> allpassBuf; // [stage][2 x kAllpassRing rows][lane]
    std::array<std::array<int, kAllpassStages>, 2> allpassRead{};
    std::array<std::array<int, kAllpassStages>, kLanes> allpassLen{};
};
