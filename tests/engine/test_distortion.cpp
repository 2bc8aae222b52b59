// Voice distortion and DC blocker: each mode against its formula, the
// calibration points at drive 0 and 0.99, the output bound of every mode
// over a sweep of inputs and drives, NaN and inf recovery, the Square sign
// carried across lanes, and the DC blocker's decay, corner and coefficient.

#include "engine/dc_blocker.h"
#include "engine/distortion.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// One sub-sample through a fresh lane and a fresh carry.
float shapeOnce(int mode, float drive, float x) {
    const DistortionParams p = Distortion::prepare(mode, drive);
    DistortionLane lane;
    float carry = 0.0f;
    return Distortion::process(p, lane, carry, x);
}

// The formula of each stateless mode, in double.
double reference(int mode, double d, double x) {
    const double ax = std::fabs(x);
    switch (mode) {
    case Distortion::kAtan: {
        const double k = static_cast<double>(std::exp2(5.0f * static_cast<float>(d)) - 0.99f);
        return std::fabs(static_cast<float>(x)) > 0.001f ? std::atan(k * x) / std::atan(k) : x;
    }
    case Distortion::kBit: {
        const double q = std::exp2(17.0 - 16.0 * d);
        return std::copysign(std::floor(ax * q) / q, x);
    }
    case Distortion::kCos: {
        const double w =
            static_cast<double>((std::exp2(5.0f * static_cast<float>(d)) - 1.0f) * 3.1415925f);
        return std::cos(w * x) * x;
    }
    case Distortion::kCross: {
        const double t = 0.2 * d;
        double e = ax - t;
        if (e < 0) e *= 2;
        return x < 0 ? -e : e;
    }
    case Distortion::kFold: {
        const double a = 1.0 - 0.99 * d;
        return (std::fabs(std::fabs((x - a) - std::floor((x - a) / (4 * a)) * 4 * a) - 2 * a) - a) /
               a;
    }
    case Distortion::kLimit:
        return std::clamp(x / std::exp2(-6.0 * d), -1.0, 1.0);
    case Distortion::kOver: {
        const double k = std::exp2(6.0 * d) - 1.0;
        const double m = std::clamp(1.0 - 10.0 * d, 0.0, 1.0);
        return ((k + ax) * x / (ax * (k - 1) + x * x + 1)) * (1 - m) + m * x;
    }
    case Distortion::kPower: {
        const double a = 2 * d / (1 - d);
        return (a + 1) * x / (ax * a + 1);
    }
    case Distortion::kSaturate: {
        const double k = std::exp2(4.0 * d) - 1.0;
        const double u = k * x;
        return (x + u) / (std::fabs(u) + 1);
    }
    default:
        return x;
    }
}

// The stated bound of |y| for an input of magnitude ax (before the few ulp
// of float rounding).
double bound(int mode, double d, double ax) {
    switch (mode) {
    case Distortion::kAtan: {
        const double k = std::exp2(5.0 * d) - 0.99;
        return std::min(std::max(1.0, ax), (std::numbers::pi / 2) / std::atan(k));
    }
    case Distortion::kCross:
        return std::max(ax - 0.2 * d, 0.4 * d);
    case Distortion::kFold:
    case Distortion::kLimit:
        return 1.0;
    case Distortion::kOver:
        return std::max(4.0 / 3.0, ax);
    case Distortion::kPower:
    case Distortion::kSaturate:
    case Distortion::kSquare:
        return std::max(1.0, ax);
    default:
        return ax; // Off, Bit, Cos; Rate: the held input
    }
}

std::vector<float> drives() {
    std::vector<float> d;
    for (int i = 0; i <= 99; ++i) d.push_back(static_cast<float>(i) * 0.01f);
    return d;
}

} // namespace

// ------------------------------------------------------------------ prepare

TEST(DistortionParams, UnknownModesAndDrivesAreSafe) {
    EXPECT_EQ(Distortion::prepare(-1, 0.5f).mode, Distortion::kOff);
    EXPECT_EQ(Distortion::prepare(12, 0.5f).mode, Distortion::kOff);
    EXPECT_EQ(Distortion::prepare(Distortion::kFold, 2.0f).drive, 0.99f);
    EXPECT_EQ(Distortion::prepare(Distortion::kFold, -1.0f).drive, 0.0f);
    EXPECT_EQ(Distortion::prepare(Distortion::kFold, kNaN).drive, 0.0f);
    EXPECT_EQ(shapeOnce(42, 0.5f, 0.75f), 0.75f);
}

TEST(DistortionParams, ConstantsOfTheModes) {
    EXPECT_NEAR(Distortion::prepare(Distortion::kAtan, 0.0f).k, 0.01f, 1e-7f);
    EXPECT_NEAR(Distortion::prepare(Distortion::kAtan, 0.99f).k, std::exp2(4.95) - 0.99, 1e-4);
    EXPECT_EQ(Distortion::prepare(Distortion::kBit, 0.0f).q, 131072.0f);
    EXPECT_EQ(Distortion::prepare(Distortion::kCos, 0.0f).cosTurnsPerUnit, 0.0);
    EXPECT_NEAR(Distortion::prepare(Distortion::kFold, 0.99f).foldA, 0.0199f, 1e-7f);
    EXPECT_NEAR(Distortion::prepare(Distortion::kLimit, 0.99f).limitGain, std::exp2(5.94), 1e-3);
    EXPECT_EQ(Distortion::prepare(Distortion::kOver, 0.0f).overM, 1.0f);
    EXPECT_EQ(Distortion::prepare(Distortion::kOver, 0.1f).overM, 0.0f);
    EXPECT_NEAR(Distortion::prepare(Distortion::kPower, 0.5f).powerA, 2.0f, 1e-6f);
    EXPECT_EQ(Distortion::prepare(Distortion::kRate, 0.0f).rateStep, 0.5f);
    EXPECT_EQ(Distortion::prepare(Distortion::kSaturate, 0.0f).k, 0.0f);
}

// ------------------------------------------------------------------ approximations

TEST(DistortionApprox, AtanRelativeErrorBelowOneMillionth) {
    double worst = 0.0;
    for (double z = 1e-6; z < 1e6; z *= 1.0001) {
        for (const double s : {-1.0, 1.0}) {
            const float zf = static_cast<float>(s * z);
            const double exact = std::atan(static_cast<double>(zf));
            worst = std::max(worst, std::fabs((Distortion::fastAtan(zf) - exact) / exact));
        }
    }
    EXPECT_LT(worst, 1e-6);
    EXPECT_EQ(Distortion::fastAtan(0.0f), 0.0f);
    EXPECT_NEAR(Distortion::fastAtan(kInf), std::numbers::pi / 2, 1e-7);
    EXPECT_NEAR(Distortion::fastAtan(-kInf), -std::numbers::pi / 2, 1e-7);
}

TEST(DistortionApprox, CosAbsoluteErrorBelowOneMillionth) {
    double worst = 0.0;
    float largest = 0.0f;
    for (double t = -70000.0; t < 70000.0; t += 0.0137) {
        const float c = Distortion::cosTurns(t);
        worst = std::max(worst, std::fabs(c - std::cos(2.0 * std::numbers::pi * t)));
        largest = std::max(largest, std::fabs(c));
    }
    EXPECT_LT(worst, 1e-6);
    EXPECT_LE(largest, 1.0f);
    EXPECT_EQ(Distortion::cosTurns(0.0), 1.0f);
    EXPECT_EQ(Distortion::cosTurns(-3.0), 1.0f);
    EXPECT_EQ(Distortion::cosTurns(0.5), -1.0f);
}

// ------------------------------------------------------------------ drive 0

TEST(DistortionDriveZero, AtanIsNearLinear) {
    for (float x = -1.0f; x <= 1.0f; x += 0.0625f) {
        const float y = shapeOnce(Distortion::kAtan, 0.0f, x);
        EXPECT_NEAR(y, x, 1e-4f * std::max(std::fabs(x), 0.01f) + 1e-7f) << x;
        EXPECT_NEAR(y, reference(Distortion::kAtan, 0.0, x), 2e-6 * std::fabs(x)) << x;
    }
    EXPECT_NEAR(shapeOnce(Distortion::kAtan, 0.0f, 1.0f), 1.0f, 2e-6f);
    // The dead band around 0 passes the input unchanged.
    EXPECT_EQ(shapeOnce(Distortion::kAtan, 0.5f, 0.001f), 0.001f);
    EXPECT_EQ(shapeOnce(Distortion::kAtan, 0.5f, -0.0005f), -0.0005f);
}

TEST(DistortionDriveZero, BitQuantisesToTwoToTheMinus17) {
    constexpr float step = 1.0f / 131072.0f;
    EXPECT_EQ(shapeOnce(Distortion::kBit, 0.0f, 0.5f * step), 0.0f);
    EXPECT_EQ(shapeOnce(Distortion::kBit, 0.0f, 3.75f * step), 3.0f * step);
    EXPECT_EQ(shapeOnce(Distortion::kBit, 0.0f, -3.75f * step), -3.0f * step);
    for (float x = -4.0f; x <= 4.0f; x += 0.01237f) {
        const float y = shapeOnce(Distortion::kBit, 0.0f, x);
        const float steps = y * 131072.0f;
        EXPECT_EQ(steps, std::trunc(steps)) << x;
        EXPECT_LE(std::fabs(y), std::fabs(x)) << x;
        EXPECT_LT(std::fabs(x - y), step) << x;
    }
}

TEST(DistortionDriveZero, CosOverPowerSaturateAreTheIdentity) {
    for (const int mode :
         {Distortion::kCos, Distortion::kOver, Distortion::kPower, Distortion::kSaturate}) {
        for (float x = -4.0f; x <= 4.0f; x += 0.00731f)
            ASSERT_EQ(shapeOnce(mode, 0.0f, x), x) << "mode " << mode << " x " << x;
    }
}

TEST(DistortionDriveZero, LimitClampsAtOne) {
    EXPECT_EQ(shapeOnce(Distortion::kLimit, 0.0f, 0.5f), 0.5f);
    EXPECT_EQ(shapeOnce(Distortion::kLimit, 0.0f, -0.999f), -0.999f);
    EXPECT_EQ(shapeOnce(Distortion::kLimit, 0.0f, 1.5f), 1.0f);
    EXPECT_EQ(shapeOnce(Distortion::kLimit, 0.0f, -3.0f), -1.0f);
}

TEST(DistortionDriveZero, RateHoldsEverySecondSubSample) {
    const DistortionParams p = Distortion::prepare(Distortion::kRate, 0.0f);
    DistortionLane lane;
    SquareCarry carry;
    float last = 0.0f;
    for (int frame = 0; frame < 8; ++frame) {
        float x0 = 0.1f * static_cast<float>(frame) + 0.01f;
        float x1 = 0.1f * static_cast<float>(frame) + 0.02f;
        const float in1 = x1;
        Distortion::processLane(p, lane, carry, x0, x1);
        EXPECT_EQ(x0, last) << frame; // sub-sample 0 repeats the held value
        EXPECT_EQ(x1, in1) << frame;  // sub-sample 1 takes the new one
        last = in1;
    }
}

TEST(DistortionDriveZero, RateAtFullDriveHoldsAbout484SubSamples) {
    const DistortionParams p = Distortion::prepare(Distortion::kRate, 0.99f);
    DistortionLane lane;
    float carry = 0.0f;
    int captures = 0;
    float held = 0.0f;
    for (int i = 1; i <= 484 * 20; ++i) {
        const float y = Distortion::process(p, lane, carry, 1e-4f * static_cast<float>(i));
        if (y != held) {
            ++captures;
            held = y;
        }
    }
    EXPECT_NEAR(captures, 20, 1);
}

// ------------------------------------------------------------------ drive 0.99 and other points

TEST(DistortionFold, FoldsAtPlusMinus0199AtFullDrive) {
    constexpr float a = 0.0199f;
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.99f, a), 1.0f, 1e-4f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.99f, -a), -1.0f, 1e-4f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.99f, 0.01f), 0.01f / a, 1e-4f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.99f, 2.0f * a), 0.0f, 1e-4f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.99f, 3.0f * a), -1.0f, 1e-4f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.99f, 0.0f), 0.0f, 1e-5f);
    // Drive 0 folds at +-1.
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.0f, 0.5f), 0.5f, 1e-6f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.0f, 1.0f), 1.0f, 1e-6f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.0f, 1.5f), 0.5f, 1e-6f);
    EXPECT_NEAR(shapeOnce(Distortion::kFold, 0.0f, -1.25f), -0.75f, 1e-6f);
}

TEST(DistortionLimit, MultipliesByTwoToThe594AtFullDrive) {
    const float gain = static_cast<float>(std::exp2(5.94));
    EXPECT_NEAR(shapeOnce(Distortion::kLimit, 0.99f, 0.01f), 0.01f * gain, 1e-5f);
    EXPECT_NEAR(shapeOnce(Distortion::kLimit, 0.99f, -0.015f), -0.015f * gain, 1e-5f);
    EXPECT_EQ(shapeOnce(Distortion::kLimit, 0.99f, 0.02f), 1.0f);
    EXPECT_EQ(shapeOnce(Distortion::kLimit, 0.99f, -0.02f), -1.0f);
}

TEST(DistortionCross, ZeroGivesMinusPoint4Drive) {
    for (const float d : {0.0f, 0.25f, 0.5f, 0.99f}) {
        EXPECT_NEAR(shapeOnce(Distortion::kCross, d, 0.0f), -0.4f * d, 1e-7f) << d;
        EXPECT_NEAR(shapeOnce(Distortion::kCross, d, -0.0f), -0.4f * d, 1e-7f) << d;
    }
    // Outside the dead zone the magnitude drops by t, the sign stays.
    EXPECT_NEAR(shapeOnce(Distortion::kCross, 0.5f, 0.6f), 0.5f, 1e-6f);
    EXPECT_NEAR(shapeOnce(Distortion::kCross, 0.5f, -0.6f), -0.5f, 1e-6f);
    // Inside it the doubled negative value flips sides.
    EXPECT_NEAR(shapeOnce(Distortion::kCross, 0.5f, 0.05f), -0.1f, 1e-6f);
    EXPECT_NEAR(shapeOnce(Distortion::kCross, 0.5f, -0.05f), 0.1f, 1e-6f);
}

TEST(DistortionOver, PeaksNearFourThirds) {
    // k small and m = 0 just above d = 0.1 gives the widest bulge.
    float peak = 0.0f;
    for (float x = 0.0f; x <= 4.0f; x += 0.001f)
        peak = std::max(peak, shapeOnce(Distortion::kOver, 0.1f, x));
    const double k = std::exp2(0.6) - 1.0;
    const double u = 1.0 + std::sqrt(1.0 + k); // the argument of the maximum
    EXPECT_NEAR(peak, 1.0 + (u - 1.0) / (u * u + (k - 1.0) * u + 1.0), 1e-4);
    EXPECT_LT(peak, 4.0f / 3.0f);
}

// ------------------------------------------------------------------ Square

TEST(DistortionSquare, SignCarriesAcrossLanesPerSubSamplePosition) {
    const float d = 0.5f;
    const DistortionParams p = Distortion::prepare(Distortion::kSquare, d);
    DistortionLane lanes[3];
    SquareCarry carry; // frame start

    float a0 = 0.5f, a1 = -0.5f; // lane 0 sets +1 at position 0, -1 at position 1
    Distortion::processLane(p, lanes[0], carry, a0, a1);
    EXPECT_FLOAT_EQ(a0, d + (1 - d) * 0.5f);
    EXPECT_FLOAT_EQ(a1, -d - (1 - d) * 0.5f);

    float b0 = 0.0f, b1 = 0.0005f; // inside the dead band: carried signs
    Distortion::processLane(p, lanes[1], carry, b0, b1);
    EXPECT_FLOAT_EQ(b0, d);
    EXPECT_FLOAT_EQ(b1, -d + (1 - d) * 0.0005f);

    float c0 = -0.2f, c1 = 0.001f; // position 0 turns negative, 0.001 still carries
    Distortion::processLane(p, lanes[2], carry, c0, c1);
    EXPECT_FLOAT_EQ(c0, -d - (1 - d) * 0.2f);
    EXPECT_FLOAT_EQ(c1, -d + (1 - d) * 0.001f);
    EXPECT_EQ(carry.sign[0], -1.0f);
    EXPECT_EQ(carry.sign[1], -1.0f);

    // A new frame starts from s = 0.
    carry.reset();
    float e0 = 0.0005f, e1 = -0.0005f;
    Distortion::processLane(p, lanes[0], carry, e0, e1);
    EXPECT_FLOAT_EQ(e0, (1 - d) * 0.0005f);
    EXPECT_FLOAT_EQ(e1, -(1 - d) * 0.0005f);
    EXPECT_EQ(SquareCarry{}.sign[0], 0.0f);
}

// ------------------------------------------------------------------ sweeps

TEST(DistortionSweep, StatelessModesFollowTheirFormulas) {
    for (const int mode : {Distortion::kAtan, Distortion::kBit, Distortion::kCos,
                           Distortion::kCross, Distortion::kFold, Distortion::kLimit,
                           Distortion::kOver, Distortion::kPower, Distortion::kSaturate}) {
        double worst = 0.0;
        for (const float d : drives()) {
            const DistortionParams p = Distortion::prepare(mode, d);
            DistortionLane lane;
            float carry = 0.0f;
            for (int i = -4000; i <= 4000; i += 3) {
                const float x = static_cast<float>(i) * 0.001f;
                const double y = Distortion::process(p, lane, carry, x);
                const double ref = reference(mode, d, x);
                double err = std::fabs(y - ref) / std::max(1.0, std::fabs(ref));
                if (mode == Distortion::kBit) err *= p.q;      // in steps: a floor may flip by one
                if (mode == Distortion::kFold) err *= p.foldA; // in input units
                worst = std::max(worst, err);
            }
        }
        const double tolerance = mode == Distortion::kBit ? 1.0 + 1e-3 : 1e-5;
        EXPECT_LE(worst, tolerance) << "mode " << mode;
    }
}

TEST(DistortionSweep, EveryModeStaysFiniteAndWithinItsBound) {
    for (int mode = 0; mode < Distortion::kModeCount; ++mode) {
        for (const float d : drives()) {
            const DistortionParams p = Distortion::prepare(mode, d);
            DistortionLane lane;
            SquareCarry carry;
            float heldBound = 0.0f; // Rate: the largest input so far
            for (int i = -4000; i <= 4000; i += 7) {
                float x0 = static_cast<float>(i) * 0.001f;
                float x1 = -0.5f * x0;
                const float in0 = x0, in1 = x1;
                heldBound = std::max({heldBound, std::fabs(in0), std::fabs(in1)});
                Distortion::processLane(p, lane, carry, x0, x1);
                for (const auto& [in, out] : {std::pair{in0, x0}, std::pair{in1, x1}}) {
                    ASSERT_TRUE(std::isfinite(out)) << mode << " " << d << " " << in;
                    const double b =
                        mode == Distortion::kRate ? heldBound : bound(mode, d, std::fabs(in));
                    ASSERT_LE(std::fabs(out), b * (1.0 + 2e-6) + 1e-7)
                        << "mode " << mode << " d " << d << " x " << in;
                }
            }
        }
    }
}

TEST(DistortionSweep, ExtremeInputsAreClampedAndFinite) {
    const float inputs[] = {kInf,
                            -kInf,
                            1e30f,
                            -1e30f,
                            5000.0f,
                            -5000.0f,
                            1e-40f,
                            -1e-40f,
                            std::numeric_limits<float>::max(),
                            -std::numeric_limits<float>::max()};
    for (int mode = 0; mode < Distortion::kModeCount; ++mode) {
        for (const float d : {0.0f, 0.05f, 0.5f, 0.99f}) {
            for (const float x : inputs) {
                const float y = shapeOnce(mode, d, x);
                ASSERT_TRUE(std::isfinite(y)) << mode << " " << d << " " << x;
                const float safe = std::clamp(x, -Distortion::kInputLimit, Distortion::kInputLimit);
                if (mode != Distortion::kRate) {
                    ASSERT_LE(std::fabs(y), bound(mode, d, std::fabs(safe)) * (1.0 + 2e-6) + 1e-7)
                        << mode << " " << d << " " << x;
                }
            }
        }
    }
    EXPECT_EQ(shapeOnce(Distortion::kOff, 0.0f, kInf), Distortion::kInputLimit);
    EXPECT_EQ(shapeOnce(Distortion::kOff, 0.0f, -1e30f), -Distortion::kInputLimit);
}

TEST(DistortionSweep, NaNInputRecovers) {
    for (int mode = 0; mode < Distortion::kModeCount; ++mode) {
        for (const float d : {0.0f, 0.3f, 0.99f}) {
            const DistortionParams p = Distortion::prepare(mode, d);
            DistortionLane lane;
            SquareCarry carry;
            float n0 = kNaN, n1 = kNaN;
            Distortion::processLane(p, lane, carry, n0, n1);
            EXPECT_TRUE(std::isfinite(n0) && std::isfinite(n1)) << mode << " " << d;
            if (mode != Distortion::kRate && mode != Distortion::kSquare) {
                EXPECT_EQ(n0, shapeOnce(mode, d, 0.0f)) << mode; // NaN reads as 0
            }
            float y0 = 0.0f, y1 = 0.0f;
            for (int i = 0; i < 600; ++i) { // long enough for Rate to take a new value
                y0 = 0.3f, y1 = 0.3f;
                Distortion::processLane(p, lane, carry, y0, y1);
            }
            const float expected = mode == Distortion::kRate ? 0.3f : shapeOnce(mode, d, 0.3f);
            EXPECT_EQ(y1, expected) << mode << " " << d;
        }
    }
}

TEST(DistortionSweep, LaneAndSampleDispatchAgree) {
    for (int mode = 0; mode < Distortion::kModeCount; ++mode) {
        const DistortionParams p = Distortion::prepare(mode, 0.37f);
        DistortionLane laneA, laneB;
        SquareCarry carry;
        float sign0 = 0.0f, sign1 = 0.0f;
        for (int i = 0; i < 500; ++i) {
            const float in0 = std::sin(0.05f * static_cast<float>(i)) * 1.3f;
            const float in1 = std::sin(0.05f * static_cast<float>(i) + 0.02f) * 1.3f;
            float x0 = in0, x1 = in1;
            Distortion::processLane(p, laneA, carry, x0, x1);
            ASSERT_EQ(x0, Distortion::process(p, laneB, sign0, in0)) << mode << " " << i;
            ASSERT_EQ(x1, Distortion::process(p, laneB, sign1, in1)) << mode << " " << i;
        }
    }
}

// ------------------------------------------------------------------ DC blocker

namespace {

// Peak output of the blocker for a unit sine of f Hz at host rate r (the
// blocker runs at 2r), measured over the last second of two.
double dcGain(double f, float r) {
    const float c = DCBlocker::coefficient(r);
    DCBlocker dc;
    const int n = static_cast<int>(4.0 * r);
    double peak = 0.0;
    for (int i = 0; i < n; ++i) {
        const double phase = 2.0 * std::numbers::pi * f * i / (2.0 * r);
        const float y = dc.process(static_cast<float>(std::sin(phase)), c);
        if (i >= n / 2) peak = std::max(peak, std::fabs(static_cast<double>(y)));
    }
    return peak;
}

// The frequency where the gain falls to 1/sqrt(2), by bisection.
double dcCorner(float r) {
    double lo = 2.0, hi = 40.0;
    for (int i = 0; i < 12; ++i) {
        const double mid = 0.5 * (lo + hi);
        (dcGain(mid, r) < std::sqrt(0.5) ? lo : hi) = mid;
    }
    return 0.5 * (lo + hi);
}

} // namespace

TEST(DCBlocker, ConstantInputDecaysToZero) {
    for (const float r : {44100.0f, 96000.0f, 500000.0f}) {
        const float c = DCBlocker::coefficient(r);
        DCBlocker dc;
        float y = 1.0f;
        for (int i = 0; i < static_cast<int>(2 * r); ++i) y = dc.process(0.7f, c); // one second
        EXPECT_LT(std::fabs(y), 1e-9f) << r;
    }
    const float c = DCBlocker::coefficient(44100.0f);
    float y = 1.0f;
    // One time constant (1 / c sub-samples) leaves about 1/e.
    DCBlocker fresh;
    const int tau = static_cast<int>(std::lround(1.0f / c));
    for (int i = 0; i < tau; ++i) y = fresh.process(1.0f, c);
    EXPECT_NEAR(y, std::exp(-1.0), 0.01);
}

TEST(DCBlocker, CornerNearNinePointFiveHz) {
    for (const float r : {44100.0f, 48000.0f, 96000.0f}) {
        const double corner = dcCorner(r);
        EXPECT_NEAR(corner, 60.0 / (2.0 * std::numbers::pi), 0.3) << r;
    }
    EXPECT_GT(dcGain(200.0, 44100.0f), 0.998);
    EXPECT_LT(dcGain(2.0, 44100.0f), 0.25);
}

TEST(DCBlocker, CoefficientStaysAtMostOne) {
    EXPECT_FLOAT_EQ(DCBlocker::coefficient(44100.0f), 60.0f / 88200.0f);
    EXPECT_EQ(DCBlocker::coefficient(5.0f), 1.0f);
    EXPECT_EQ(DCBlocker::coefficient(30.0f), 1.0f);
    EXPECT_EQ(DCBlocker::coefficient(0.0f), 1.0f);
    EXPECT_EQ(DCBlocker::coefficient(kNaN), 1.0f);
    for (float r = 5.0f; r <= 500000.0f; r *= 1.01f) {
        const float c = DCBlocker::coefficient(r);
        ASSERT_GT(c, 0.0f) << r;
        ASSERT_LE(c, 1.0f) << r;
    }
    // At c = 1 the state follows the input: nothing passes, nothing grows.
    DCBlocker dc;
    for (int i = 0; i < 100; ++i) {
        const float y = dc.process(i % 2 ? 1.0f : -1.0f, DCBlocker::coefficient(5.0f));
        ASSERT_EQ(y, 0.0f);
    }
}

TEST(DCBlocker, NonFiniteInputRecovers) {
    const float c = DCBlocker::coefficient(44100.0f);
    for (const float bad : {kNaN, kInf, -kInf}) {
        DCBlocker dc;
        for (int i = 0; i < 100; ++i) dc.process(0.5f, c);
        dc.process(bad, c);
        EXPECT_EQ(dc.state(), 0.0f);
        DCBlocker fresh;
        for (int i = 0; i < 100; ++i) ASSERT_EQ(dc.process(0.5f, c), fresh.process(0.5f, c));
    }
}
