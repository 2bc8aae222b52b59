// Curve tables of the voice filter.
//
// Seven curves sampled over x = i / 262144, i = 0..262143 (kFilterCurveSize
// entries, x = 0 .. 1 - 2^-18), so that the filter computes no exponential or
// trigonometric function per sample:
//
//   FREQ      cut-off frequency in Hz of a normalised knob position x:
//             20 * 2^(10x), 20 Hz at x = 0, 640 Hz at x = 0.5, just under
//             20480 Hz at the top. Index it with int(x * 262143.98).
//
// The other six are coefficient curves indexed by the cut-off as a fraction
// of the doubled sample rate, i = int(Hz * 262143.98 / (2 * rate)), so
// x = Hz / (2 * rate) and pi * x is the half-angle of the cut-off:
//
//   SIN_HALF  sin(pi x); 2 * SIN_HALF is the state-variable filter's F.
//   TAN_HALF  sin(pi x) / (cos(pi x) + 0.0015), the prewarped gain g of the
//             zero-delay state-variable stages (rises to a pole just above
//             x = 0.5; the filter reads it below 0.4).
//   COT_HALF  cos(pi x) / (sin(pi x) + 0.0015) + 1e-15, the biquad's c;
//             entry 0 is 1.
//   LADDER_G  2x(1 - 2x) + 2x = 4x(1 - x), the ladder's stage gain;
//             entry 0 is 1e-15.
//   LADDER_P  2 * LADDER_G - 1, the ladder's pole; entry 0 is -1.
//   LADDER_R  1 + 0.5y(5.6y^2 - y + 1) with y = 1 - 2x, the ladder's
//             resonance compensation (3.8 at x = 0, 1 at x = 0.5).
//
// Every entry is evaluated in double precision and rounded once to float.
#pragma once

#include <array>

inline constexpr int kFilterCurveBits = 18;
inline constexpr int kFilterCurveSize = 1 << kFilterCurveBits; // 262144 entries per curve

// Index scale used by the filter: i = int(fraction * kFilterCurveIndexScale)
// stays below kFilterCurveSize for every fraction in 0..1.
inline constexpr float kFilterCurveIndexScale = 262143.98f;

struct FilterCurves {
    using Curve = std::array<float, kFilterCurveSize>;

    Curve FREQ;
    Curve SIN_HALF;
    Curve TAN_HALF;
    Curve COT_HALF;
    Curve LADDER_P;
    Curve LADDER_R;
    Curve LADDER_G;

    // Computes all seven curves (every entry is written).
    void fill();
};
