// Voice distortion: eleven waveshapers (and "Off") applied to every lane's
// two sub-samples at twice the sample rate, after the voice filter.
//
// Units and calibration:
//   - Signals are linear amplitudes, full scale 1.0. The drive d is a
//     normalised 0..0.99 per voice (values outside are clamped, NaN reads 0).
//   - Every input is first made safe: NaN becomes 0 and the value is clamped
//     to +-kInputLimit (4096, 72 dB over full scale, far beyond any real
//     signal). So every mode, "Off" included, returns a finite value, and a
//     NaN input costs one sample, never the lane's state.
//   - Mode constants (k, 1/atan(k), Q, w, ...) depend on the mode and the
//     drive only; prepare() computes them once per voice and frame, the
//     per-sample functions below only read them.
//
// Modes, with x the (made-safe) input and the bound of |y| (up to a few ulp
// of float rounding, and for Atan the 1e-6 of its approximation):
//    0 Off       y = x                                          |x|
//    1 Atan      k = 2^(5d) - 0.99; y = atan(kx) / atan(k) for   max(1, |x|), and
//                |x| > 0.001, else y = x                         <= (pi/2) / atan(k)
//                                                                (157.1 at d = 0)
//    2 Bit       Q = 2^(17 - 16d); y = sign(x) floor(|x| Q) / Q  |x|
//    3 Cos       w = (2^(5d) - 1) * 3.1415925; y = cos(wx) x     |x|
//    4 Cross     t = 0.2d; e = |x| - t, doubled when negative;   max(|x| - t, 2t)
//                y = -e for x < 0, else e (x = 0 gives -0.4d)    <= max(|x|, 0.396)
//    5 Fold      a = 1 - 0.99d; triangle of period 4a:           1
//                y = (||(x-a) - floor((x-a)/4a) 4a| - 2a| - a)/a
//    6 Limit     y = clamp(x 2^(6d), -1, 1)                      1
//    7 Over      k = 2^(6d) - 1, m = clamp(1 - 10d, 0, 1);       max(4/3, |x|)
//                y = (k + |x|) x / (|x|(k - 1) + x^2 + 1)        (the fraction peaks
//                    * (1 - m) + m x                             at 4/3, k = 0, |x| = 2)
//    8 Power     a = 2d / (1 - d); y = (a + 1) x / (|x| a + 1)   max(1, |x|), < 1 + 1/a
//    9 Rate      per sub-sample counter += 0.5 / 2^(8d); when    largest |x| held
//                it reaches 1 it keeps its fraction and the      since the lane's reset
//                lane holds x; y = the held value (d = 0 takes
//                every second sub-sample, d = 0.99 one in 484)
//   10 Saturate  k = 2^(4d) - 1, u = kx; y = (x + u)/(|u| + 1)   max(1, |x|), < 1 + 1/k
//   11 Square    y = d s + (1 - d) x, s = +1 for x > 0.001,      max(1, |x|)
//                -1 for x < -0.001, else the s of the lane
//                processed before at the same sub-sample
//                position in this frame (0 at the frame's start)
// Any other mode number is "Off". At d = 0 Cos, Over, Power and Saturate
// are the exact identity, Limit clamps at +-1, Bit quantises to 2^-17.
// By their formulas Atan steps at |x| = 0.001 (from 0.001 to
// atan(0.001k) / atan(k): negligible at small drive, 0.0194 at d = 0.99) and
// Cross steps at x = 0 (from +0.4d to -0.4d).
//
// Approximations (no libm call per sample):
//   - atan: odd minimax-like polynomial of degree 13 on |z| <= 1, with
//     atan(z) = pi/2 - atan(1/z) above; relative error < 1e-6 over all
//     floats (measured 8.6e-7). 1/atan(k) is exact (std::atan in prepare).
//   - cos: the phase w x is taken in turns in double (exact reduction for
//     any input), then an even polynomial of degree 12 on one period;
//     absolute error of cos < 1e-6 (measured 5.3e-7), clamped to -1..1, so
//     |y error| < 1e-6 |x|. cos(0) is exactly 1.
//   - Bit and Rate are exact; Fold's floor uses x * (1 / 4a) (a boundary
//     that rounds to the other side gives the same output, the triangle is
//     continuous there) and its output is clamped to -1..1.
//
// Use per frame (lanes of a voice share the drive):
//   SquareCarry carry;                              // once per frame, all voices
//   for each active voice, ascending:
//       const DistortionParams p = Distortion::prepare(mode, voice.drive);
//       for each of its lanes (copies ascending):
//           Distortion::processLane(p, lane.distortion, carry, x0, x1);
// DistortionLane holds the Rate state of one lane; reset it with the lane.
// Call it in mode "Off" too: it is then only the NaN/inf guard.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

// Per-voice constants of the active mode, from Distortion::prepare().
struct DistortionParams {
    int mode = 0;                 // effective mode 0..11 (unknown modes read as 0)
    float drive = 0.0f;           // d, clamped to 0..0.99
    float k = 0.0f;               // Atan, Over, Saturate: k
    float invAtanK = 1.0f;        // Atan: 1 / atan(k)
    float q = 1.0f;               // Bit: Q
    float invQ = 1.0f;            // Bit: 1 / Q
    double cosTurnsPerUnit = 0.0; // Cos: w / (2 pi), turns of the cosine per unit of x
    float crossT = 0.0f;          // Cross: t
    float foldA = 1.0f;           // Fold: a
    float foldInv4A = 0.25f;      // Fold: 1 / (4a)
    float foldInvA = 1.0f;        // Fold: 1 / a
    float limitGain = 1.0f;       // Limit: 1 / L = 2^(6d)
    float overKm1 = -1.0f;        // Over: k - 1
    float overM = 1.0f;           // Over: m
    float powerA = 0.0f;          // Power: a
    float rateStep = 0.5f;        // Rate: counter increment per sub-sample
};

// Rate (mode 9) state of one lane.
struct DistortionLane {
    float rateCounter = 0.0f;
    float rateHeld = 0.0f;

    void reset() { *this = DistortionLane{}; }
};

// Square (mode 11) sign carried from one lane to the next, per sub-sample
// position. Construct (or reset) one at the start of every frame.
struct SquareCarry {
    float sign[2] = {0.0f, 0.0f};

    void reset() { sign[0] = sign[1] = 0.0f; }
};

class Distortion {
public:
    enum Mode : int {
        kOff = 0,
        kAtan = 1,
        kBit = 2,
        kCos = 3,
        kCross = 4,
        kFold = 5,
        kLimit = 6,
        kOver = 7,
        kPower = 8,
        kRate = 9,
        kSaturate = 10,
        kSquare = 11,
    };
    static constexpr int kModeCount = 12;
    static constexpr float kInputLimit = 4096.0f;
    static constexpr float kMaxDrive = 0.99f;

    // Constants of `mode` at drive d (once per voice and frame; calls exp2,
    // atan).
    static DistortionParams prepare(int mode, float drive);

    // NaN -> 0, then clamp to +-kInputLimit.
    static float safe(float x) {
        x = x == x ? x : 0.0f;
        return std::clamp(x, -kInputLimit, kInputLimit);
    }

    // ---- one sub-sample of one mode; x must come from safe()

    static float atanShape(float x, const DistortionParams& p) {
        const float y = fastAtan(p.k * x) * p.invAtanK;
        return std::fabs(x) > 0.001f ? y : x;
    }

    static float bit(float x, const DistortionParams& p) {
        // |x| Q < 2^29, so truncation is floor.
        const float steps = static_cast<float>(static_cast<std::int32_t>(std::fabs(x) * p.q));
        return std::copysign(steps * p.invQ, x);
    }

    static float cosShape(float x, const DistortionParams& p) {
        return cosTurns(static_cast<double>(x) * p.cosTurnsPerUnit) * x;
    }

    static float cross(float x, const DistortionParams& p) {
        float e = std::fabs(x) - p.crossT;
        e = e < 0.0f ? e * 2.0f : e;
        return x < 0.0f ? -e : e;
    }

    static float fold(float x, const DistortionParams& p) {
        const float a = p.foldA;
        const float v = x - a;
        const float r = std::fabs(v - floorSmall(v * p.foldInv4A) * (4.0f * a));
        const float y = (std::fabs(r - 2.0f * a) - a) * p.foldInvA;
        return std::clamp(y, -1.0f, 1.0f);
    }

    static float limit(float x, const DistortionParams& p) {
        return std::clamp(x * p.limitGain, -1.0f, 1.0f);
    }

    static float over(float x, const DistortionParams& p) {
        const float ax = std::fabs(x);
        const float shaped = (p.k + ax) * x / (ax * p.overKm1 + x * x + 1.0f);
        return shaped * (1.0f - p.overM) + p.overM * x;
    }

    static float power(float x, const DistortionParams& p) {
        return (p.powerA + 1.0f) * x / (std::fabs(x) * p.powerA + 1.0f);
    }

    static float rate(float x, const DistortionParams& p, DistortionLane& lane) {
        lane.rateCounter += p.rateStep;
        if (lane.rateCounter >= 1.0f) { // the step is at most 0.5: the fraction is counter - 1
            lane.rateCounter -= 1.0f;
            lane.rateHeld = x;
        }
        return lane.rateHeld;
    }

    static float saturate(float x, const DistortionParams& p) {
        const float u = p.k * x;
        return (x + u) / (std::fabs(u) + 1.0f);
    }

    static float square(float x, const DistortionParams& p, float& carriedSign) {
        const float s = x > 0.001f ? 1.0f : (x < -0.001f ? -1.0f : carriedSign);
        carriedSign = s;
        return p.drive * s + (1.0f - p.drive) * x;
    }

    // ---- dispatch

    // One sub-sample of p.mode (makes x safe first). carriedSign is the
    // Square sign of this sub-sample position (SquareCarry::sign[j]).
    static float process(const DistortionParams& p, DistortionLane& lane, float& carriedSign,
                         float x) {
        x = safe(x);
        switch (p.mode) {
        case kAtan:
            return atanShape(x, p);
        case kBit:
            return bit(x, p);
        case kCos:
            return cosShape(x, p);
        case kCross:
            return cross(x, p);
        case kFold:
            return fold(x, p);
        case kLimit:
            return limit(x, p);
        case kOver:
            return over(x, p);
        case kPower:
            return power(x, p);
        case kRate:
            return rate(x, p, lane);
        case kSaturate:
            return saturate(x, p);
        case kSquare:
            return square(x, p, carriedSign);
        default:
            return x;
        }
    }

    // Both sub-samples of one lane, in place; one mode dispatch per lane.
    static void processLane(const DistortionParams& p, DistortionLane& lane, SquareCarry& carry,
                            float& x0, float& x1) {
        float a = safe(x0);
        float b = safe(x1);
        switch (p.mode) {
        case kAtan:
            a = atanShape(a, p), b = atanShape(b, p);
            break;
        case kBit:
            a = bit(a, p), b = bit(b, p);
            break;
        case kCos:
            a = cosShape(a, p), b = cosShape(b, p);
            break;
        case kCross:
            a = cross(a, p), b = cross(b, p);
            break;
        case kFold:
            a = fold(a, p), b = fold(b, p);
            break;
        case kLimit:
            a = limit(a, p), b = limit(b, p);
            break;
        case kOver:
            a = over(a, p), b = over(b, p);
            break;
        case kPower:
            a = power(a, p), b = power(b, p);
            break;
        case kRate:
            a = rate(a, p, lane), b = rate(b, p, lane);
            break;
        case kSaturate:
            a = saturate(a, p), b = saturate(b, p);
            break;
        case kSquare:
            a = square(a, p, carry.sign[0]), b = square(b, p, carry.sign[1]);
            break;
        default:
            break;
        }
        x0 = a;
        x1 = b;
    }

    // ---- approximations (public for the tests)

    // atan(z) for any float z (+-inf gives +-pi/2); relative error < 1e-6.
    static float fastAtan(float z) {
        const float az = std::fabs(z);
        const bool above = az > 1.0f;
        const float r = above ? 1.0f / az : az; // 0..1
        const float poly = atanPolynomial(r);
        return std::copysign(above ? 1.5707963268f - poly : poly, z);
    }

    // atan(r) for r in 0..1, over a float or a vector of lanes with float
    // arithmetic.
    template <class T> static T atanPolynomial(T r) {
        const T t = r * r;
        T poly = T(0.0076483539f);
        poly = poly * t - 0.0363604309f;
        poly = poly * t + 0.0831264530f;
        poly = poly * t - 0.1344786406f;
        poly = poly * t + 0.1987204027f;
        poly = poly * t - 0.3332567804f;
        poly = poly * t + 0.9999992256f;
        return poly * r;
    }

    // cos(2 pi turns) for |turns| < 2^50; absolute error < 1e-6, result in
    // -1..1, exactly 1 at whole turns.
    static float cosTurns(double turns) {
        constexpr double kRound = 6755399441055744.0; // 1.5 * 2^52: adding it rounds to an integer
        const double whole = (turns + kRound) - kRound;
        const float u = static_cast<float>(turns - whole); // -0.5..0.5
        const float s = u * u;                             // 0..0.25
        float h = 6.7122172950f;
        h = h * s - 26.099592379f;
        h = h * s + 60.202799099f;
        h = h * s - 85.454380819f;
        h = h * s + 64.939341972f;
        h = h * s - 19.739208622f;
        return std::clamp(1.0f + s * h, -1.0f, 1.0f);
    }

private:
    // floor(v) for |v| < 2^31.
    static float floorSmall(float v) {
        const float t = static_cast<float>(static_cast<std::int32_t>(v));
        return t > v ? t - 1.0f : t;
    }
};
