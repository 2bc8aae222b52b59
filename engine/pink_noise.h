// Noise sources of the oscillator and of the noise modulation sources.
//
// PinkNoise: one row-sum pink-noise generator (the engine keeps 65: one per
// voice lane 0..63 and one for the global noise sources).
//   - Seven rows of white noise, each 0..0.25, plus one extra value of
//     0..0.25 taken at every full refresh; the output is their sum - 1, in
//     -1..1 (up to the float rounding of the running sum, < 3e-5, between
//     two full refreshes).
//   - Each value is held for two calls; on the even calls c (the call
//     counter after its increment) rows are refreshed by the low byte of c:
//       0 (c a multiple of 256)    all seven, and the sum is rebuilt from them
//                                  plus one extra draw kept in the sum only
//       multiple of 64, not 0      rows 0..6
//       c mod 64 = 16              rows 0..5
//       c mod 64 = 32              rows 0..4
//       c mod 64 = 48              rows 0..3
//       c mod 16 = 8               rows 0..2
//       c mod 8  = 4               rows 0..1
//       c mod 4  = 2               row 0
//     Row 0 changes every 2 calls, row 1 every 4, row 2 every 8, row 3
//     every 16, rows 4..6 on average every 21, 32 and 64: about -3 dB per
//     octave between roughly rate / 512 and rate / 8.
//   - A new row value is white * 0.25, white = one 0..1 draw of the
//     instance's RandSeed (tables.h), rows in ascending order, one draw each.
//     All generators of an instance share that RandSeed (one thread only).
//   - The counter wraps at 2^32 (a wrap to 0 is a full refresh).
//
// WhiteNoise: the oscillator's white noise, -1..1, from the instance's
// 15-bit generator: r / 32767 * 2 - 1, r = 0..32767.
#pragma once

#include "engine/random15.h"
#include "engine/tables.h"

#include <cstdint>

class PinkNoise {
public:
    static constexpr int kRows = 7;

    // The next sample, -1..1.
    float next(RandSeed& rng) {
        ++counter_;
        if (counter_ & 1u) return sum_ - 1.0f;
        refresh(rng);
        return sum_ - 1.0f;
    }

    void reset() { *this = PinkNoise{}; }

    std::uint32_t counter() const { return counter_; }
    float row(int r) const { return rows_[r]; }
    float sum() const { return sum_; }

private:
    void refresh(RandSeed& rng); // even counter: refresh rows by its low byte

    std::uint32_t counter_ = 0;
    float rows_[kRows] = {};
    float sum_ = 0.0f;
};

class WhiteNoise {
public:
    // -1..1 (r = 0 gives -1, r = 32767 gives 1).
    static float next(Random15& rng) {
        return static_cast<float>(rng.next()) / 32767.0f * 2.0f - 1.0f;
    }
};
