#include "engine/envelope.h"
#include "core/numeric.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

constexpr double kSilence = 0.00001;
constexpr double kMinSpeed = 1.0 / 1048576.0; // 2^-20
constexpr double kMaxSpeed = 1048576.0;       // 2^20

int syncIndex(double t, int last, double scale) {
    return truncTo(t * scale + 0.1, 0, last);
}

} // namespace

double Envelope::clampSpeed(double speed) {
    if (!(speed > kMinSpeed)) return kMinSpeed; // also NaN
    return speed > kMaxSpeed ? kMaxSpeed : speed;
}

double Envelope::unsyncedRate(double t, double speed, double sampleRate) {
    return speed * 16000.0 / (std::exp2(14.0 * t) * sampleRate + 32.0);
}

double Envelope::syncedRate(double t, double speed, double samplesPerWholeNote) {
    const int i = syncIndex(t, 30, 30.99);
    return 16.0 / (speed * D_ENV_TEMPO_SYNC[i] * samplesPerWholeNote + 1.0);
}

double Envelope::rate(double t, const EnvelopeInputs& in) {
    const double speed = clampSpeed(in.speed);
    return in.synced ? syncedRate(t, speed, in.samplesPerWholeNote)
                     : unsyncedRate(t, speed, in.sampleRate);
}

double Envelope::shapeExponent(double d) {
    const double c = std::clamp(std::isnan(d) ? 0.0 : d + 0.4, -1.0, 1.0);
    return std::exp2(4.0 - 8.0 * c);
}

bool Envelope::stepStolen(EnvelopeState& s) {
    s.prevOutput = s.output;
    s.level = clamp01(s.level - 0.01);
    s.output = s.level;
    s.ramp = (s.output - s.prevOutput) / 16.0;
    if (s.level > 0.0) return false;
    s.stage = kEnvRelease;
    return true;
}

void Envelope::stepHeld(EnvelopeState& s) {
    s.prevOutput = s.output;
    s.output = s.level <= 0.0 ? 0.0 : s.level;
    s.releaseLevel = s.level;
    s.releaseOutput = s.output;
    s.ramp = (s.output - s.prevOutput) / 16.0;
}

bool Envelope::releaseEnded(const EnvelopeState& s, bool releasing) {
    auto positiveZero = [](double x) { return std::bit_cast<uint64_t>(x) == 0; };
    // The curved release scales releaseOutput by (0 / releaseLevel)^k, k > 0:
    // +0 for a finite releaseOutput without sign and a releaseLevel of 0 or
    // above.
    return releasing && s.stage == kEnvRelease && positiveZero(s.level) && positiveZero(s.output) &&
           positiveZero(s.prevOutput) && positiveZero(s.ramp) && std::isfinite(s.releaseOutput) &&
           !std::signbit(s.releaseOutput) && s.releaseLevel >= 0.0;
}

void Envelope::step(EnvelopeState& s, const EnvelopeInputs& in) {
    s.prevOutput = s.output;

    if (in.releasing) {
        s.stage = kEnvRelease;
        const bool hold = in.freeEnvelope && !in.synced && in.release > 0.9999;
        const double r = hold ? 0.0 : rate(in.release, in);
        s.level = clamp01(s.level - r);
        if (in.curved) {
            const double divisor = s.releaseLevel == 0.0 ? 1.0 : s.releaseLevel;
            s.output = s.releaseOutput * std::pow(s.level / divisor, in.releaseShape);
        } else {
            s.output = s.level;
        }
        if (in.amplitude && s.output < kSilence) {
            s.output = 0.0;
            s.prevOutput = 0.0;
        }
        s.ramp = (s.output - s.prevOutput) / 16.0;
        return;
    }

    const double sustain = clamp01(in.sustain) * 0.9999;
    switch (s.stage) {
    case kEnvAttack:
        s.level += rate(in.attack, in);
        if (s.level > 1.0) {
            s.level = 1.0;
            s.stage = kEnvDecay;
        }
        break;
    case kEnvDecay:
        s.level -= rate(in.decay, in);
        if (s.level < sustain) {
            s.level = sustain;
            s.stage = kEnvSustain;
        }
        break;
    case kEnvSustain:
        if (in.freeEnvelope) {
            const double tilt = std::fabs(1.0 - 2.0 * in.fade);
            if (tilt >= 0.0002) {
                const double speed = clampSpeed(in.speed);
                double f;
                if (in.synced) {
                    const double length = D_ENV_FADE_TEMPO_SYNC[syncIndex(in.fade, 60, 60.99)];
                    // A fade of length 0 ("Off") holds the level.
                    f = length == 0.0 ? 0.0
                                      : speed * 16.0 / (length * in.samplesPerWholeNote + 1.0);
                } else {
                    f = speed * 16000.0 / (std::exp2(18.0 - 18.0 * tilt) * in.sampleRate);
                    if (in.fade < 0.5) f = -f;
                }
                s.level = clamp01(s.level + f);
            }
        }
        break;
    case kEnvRelease:
        if (in.gateOn) { // a stolen voice that has finished fading
            s.ramp = 0.0;
            return;
        }
        break;
    default:
        break;
    }

    if (s.level <= 0.0) {
        s.output = 0.0;
    } else if (s.stage == kEnvDecay && in.curved) {
        if (sustain >= s.level) {
            s.output = sustain;
        } else {
            const double span = 1.0 - sustain <= 0.00001 ? 1.0 : 1.0 - sustain;
            s.output =
                (1.0 - sustain) * std::pow((s.level - sustain) / span, in.decayShape) + sustain;
        }
    } else {
        s.output = s.level;
    }
    s.releaseLevel = s.level;
    s.releaseOutput = s.output;
    s.ramp = (s.output - s.prevOutput) / 16.0;
}
