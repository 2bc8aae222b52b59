// Per-voice constants of the distortion modes (see distortion.h).

#include "engine/distortion.h"

#include <numbers>

DistortionParams Distortion::prepare(int mode, float drive) {
    DistortionParams p;
    p.mode = mode >= 0 && mode < kModeCount ? mode : kOff;
    const float d = drive >= 0.0f ? std::min(drive, kMaxDrive) : 0.0f; // NaN reads 0
    p.drive = d;

    switch (p.mode) {
    case kAtan:
        p.k = std::exp2(5.0f * d) - 0.99f; // 0.01 .. 29.9
        p.invAtanK = 1.0f / std::atan(p.k);
        break;
    case kBit:
        p.q = std::exp2(17.0f - 16.0f * d);
        p.invQ = 1.0f / p.q;
        break;
    case kCos: {
        const float w = (std::exp2(5.0f * d) - 1.0f) * 3.1415925f;
        p.cosTurnsPerUnit = static_cast<double>(w) / (2.0 * std::numbers::pi);
        break;
    }
    case kCross:
        p.crossT = 0.2f * d;
        break;
    case kFold:
        p.foldA = 1.0f - 0.99f * d; // 0.0199 .. 1
        p.foldInv4A = 1.0f / (4.0f * p.foldA);
        p.foldInvA = 1.0f / p.foldA;
        break;
    case kLimit:
        p.limitGain = 1.0f / std::exp2(-6.0f * d);
        break;
    case kOver:
        p.k = std::exp2(6.0f * d) - 1.0f;
        p.overKm1 = p.k - 1.0f;
        p.overM = std::clamp(1.0f - 10.0f * d, 0.0f, 1.0f);
        break;
    case kPower:
        p.powerA = 2.0f * d / (1.0f - d);
        break;
    case kRate:
        p.rateStep = 0.5f / std::exp2(8.0f * d);
        break;
    case kSaturate:
        p.k = std::exp2(4.0f * d) - 1.0f;
        break;
    default:
        break;
    }
    return p;
}
