// The voice mix stage: every listed voice's lanes through the mix unit of
// engine/voice_mix.h, in list order, into the voice bus.

#include "engine/voice_mix.h"

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

// Distortion::safe() lane by lane: NaN -> 0, then clamp to +-kInputLimit.
inline F4 safe(F4 x) {
    x = x & F4(_mm_cmpeq_ps(x.v, x.v));
    x = _mm_max_ps(F4(-Distortion::kInputLimit).v, x.v);
    return _mm_min_ps(F4(Distortion::kInputLimit).v, x.v);
}

// Distortion::fastAtan() lane by lane.
inline F4 fastAtan(F4 z) {
    const F4 az = abs(z);
    const F4 above = az > F4(1.0f);
    const F4 r = select(above, 1.0f / az, az);
    const F4 poly = Distortion::atanPolynomial(r);
    const F4 magnitude = select(above, 1.5707963268f - poly, poly);
    const F4 sign = _mm_set1_ps(-0.0f);
    return _mm_or_ps(_mm_andnot_ps(sign.v, magnitude.v), _mm_and_ps(sign.v, z.v));
}

// Distortion::atanShape() lane by lane.
inline F4 atanShape(F4 x, const DistortionParams& p) {
    const F4 y = fastAtan(F4(p.k) * x) * p.invAtanK;
    return select(abs(x) > F4(0.001f), y, x);
}

} // namespace

template <int Mode>
void VoiceMix::process(const Frame& frame, VoiceState& voice, SquareCarry& carry, F4& bus) {
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;
    const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);

    if (dsp.panSmoothed != frame.panTag)
        dsp.panSmoothed = (dsp.panSmoothed - frame.panTag) * 0.99f + frame.panTag;
    const float pan = dsp.panSmoothed + dst[dst::MainPan];
    const float gain =
        voice.mod.src[src::EnvFirst] * voice.velocityGain * std::fabs(dst[dst::MainVolume]);
    const float left = clampTo(2.0f - 2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;
    const float right = clampTo(2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;

    const DistortionParams* shapePrepared = nullptr;
    if constexpr (Mode != Distortion::kOff) {
        VoiceMixState& mix = dsp.mix;
        if (mix.shapeMode != Mode || !(mix.shapeDrive == dsp.distortDrive)) {
            mix.shape = Distortion::prepare(Mode, dsp.distortDrive);
            mix.shapeMode = Mode;
            mix.shapeDrive = dsp.distortDrive;
        }
        shapePrepared = &mix.shape;
    }

    if (copies == 1) {
        // One lane in floats: the same arithmetic as the lanes side by side.
        LaneState& lane = dsp.lanes[0];
        float a = dsp.filter.out[0][0], b = dsp.filter.out[1][0];
        if constexpr (Mode != Distortion::kOff)
            Distortion::processLane(*shapePrepared, lane.distortion, carry, a, b);
        a = lane.dc.process(a, frame.dcCoef);
        b = lane.dc.process(b, frame.dcCoef);
        const float gL = lane.copyPanL * left;
        const float gR = lane.copyPanR * right;
        bus += F4::of(gL, gR, gL, gR) * F4::of(a, a, b, b);
        voice.mod.src[src::VoiceOut] = (gL * a + gR * a + gL * b + gR * b) * 0.25f;
        return;
    }

    F4 y0 = dsp.filter.out[0], y1 = dsp.filter.out[1];
    if constexpr (Mode != Distortion::kOff) {
        const DistortionParams& shape = *shapePrepared;
        if constexpr (Mode == Distortion::kAtan) {
            y0 = atanShape(safe(y0), shape);
            y1 = atanShape(safe(y1), shape);
        } else {
            for (int k = 0; k < copies; ++k) {
                float a = y0[k], b = y1[k];
                Distortion::processLane(shape, dsp.lanes[k].distortion, carry, a, b);
                y0.set(k, a);
                y1.set(k, b);
            }
        }
    }
    (void)carry;

    // Two lanes per double vector; the second pair only with more than two
    // copies. Lanes without a copy stay at rest.
    const F4 active = firstLanes(copies);
    __m128 lo0 = (y0 & active).v, lo1 = (y1 & active).v;
    __m128 hi0 = _mm_movehl_ps(lo0, lo0), hi1 = _mm_movehl_ps(lo1, lo1);
    DCBlocker::processPair(dsp.lanes[0].dc, dsp.lanes[1].dc, frame.dcCoef, lo0, lo1);
    if (copies > 2) {
        DCBlocker::processPair(dsp.lanes[2].dc, dsp.lanes[3].dc, frame.dcCoef, hi0, hi1);
        lo0 = _mm_movelh_ps(lo0, hi0);
        lo1 = _mm_movelh_ps(lo1, hi1);
    }
    alignas(16) float out0[4], out1[4];
    _mm_store_ps(out0, lo0);
    _mm_store_ps(out1, lo1);

    for (int k = 0; k < copies; ++k) {
        const LaneState& lane = dsp.lanes[k];
        const float gL = lane.copyPanL * left;
        const float gR = lane.copyPanR * right;
        const F4 g = F4::of(gL, gR, gL, gR);
        const F4 product = g * F4::of(out0[k], out0[k], out1[k], out1[k]);
        bus += product;
        if (k == 0)
            voice.mod.src[src::VoiceOut] =
                (product[0] + product[1] + product[2] + product[3]) * 0.25f;
    }
}

namespace {

using VoiceMixFn = void (*)(const VoiceMix::Frame&, VoiceState&, SquareCarry&, F4&);

template <int... M>
constexpr std::array<VoiceMixFn, Distortion::kModeCount>
mixFunctions(std::integer_sequence<int, M...>) {
    return {&VoiceMix::process<M>...};
}
constexpr auto kMix = mixFunctions(std::make_integer_sequence<int, Distortion::kModeCount>{});

} // namespace

void APlugin::voiceMixStage() {
    const RenderState& render = engine.render;
    const int mode = engine.notes.distortMode;
    VoiceMix::Frame frame;
    frame.panTag = getCurrentValue(tag::MainPan);
    frame.mode = mode >= 0 && mode < Distortion::kModeCount ? mode : Distortion::kOff;
    frame.dcCoef = engine.rate.dcCoef;
    const VoiceMixFn mix = kMix[frame.mode];
    SquareCarry carry; // "Square" carries a sign from lane to lane within the frame
    std::array<float, 4>& voiceBus = engine.render.voiceBus;
    F4 bus = _mm_loadu_ps(voiceBus.data());
    for (int n = 0; n < render.activeVoiceCount; ++n)
        mix(frame, engine.voices[render.activeVoices[n]], carry, bus);
    _mm_storeu_ps(voiceBus.data(), bus.v);
}
