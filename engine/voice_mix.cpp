// The voice mix stage: every listed voice's lanes through the mix unit of
// engine/voice_mix.h, in list order, into the voice bus.

#include "engine/voice_mix.h"

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstddef>
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

// Distortion::atanShape() lane by lane, with the constants k and 1/atan(k)
// of each lane.
inline F4 atanShape(F4 x, F4 k, F4 invAtanK) {
    const F4 y = fastAtan(k * x) * invAtanK;
    return select(abs(x) > F4(0.001f), y, x);
}

// The same with the constants of one voice (the multi-copy path).
inline F4 atanShape(F4 x, const DistortionParams& p) {
    const F4 y = fastAtan(F4(p.k) * x) * p.invAtanK;
    return select(abs(x) > F4(0.001f), y, x);
}

// clampTo(v, 0, 1) of core/numeric.h lane by lane, -0 and NaN included:
// min(v, 1) where v >= 0, else 0.
inline F4 clamp01Exact(F4 v) {
    return (v >= F4(0.0f)) & stdMin(v, F4(1.0f));
}

// Floats 0 and 2 of four places p[k] as two vectors.
inline void gatherFirstAndThird(const float* const* p, F4& first, F4& third) {
    const __m128 a0 = _mm_loadu_ps(p[0]), a1 = _mm_loadu_ps(p[1]);
    const __m128 a2 = _mm_loadu_ps(p[2]), a3 = _mm_loadu_ps(p[3]);
    first = _mm_movelh_ps(_mm_unpacklo_ps(a0, a1), _mm_unpacklo_ps(a2, a3));
    third = _mm_movelh_ps(_mm_unpackhi_ps(a0, a1), _mm_unpackhi_ps(a2, a3));
}

// The constants of the voice's shaper, prepared when the mode or the drive
// changed.
template <int Mode> const DistortionParams& prepareShape(VoiceDspState& dsp) {
    VoiceMixState& mix = dsp.mix;
    if (mix.shapeMode != Mode || !(mix.shapeDrive == dsp.distortDrive)) {
        mix.shape = Distortion::prepare(Mode, dsp.distortDrive);
        mix.shapeMode = Mode;
        mix.shapeDrive = dsp.distortDrive;
    }
    return mix.shape;
}

// The voices with one copy set in `lanes` (bit k: voice k of `four`, at
// least two) side by side, voice k in vector lane k, with the arithmetic of
// VoiceMix::process() for one copy; `in` holds their inputs lane by lane,
// `gains` their velocity gains, dividers and copy pans.
// The other lanes are computed from whatever their voices hold and change
// nothing. part[k] receives voice k's addition to the bus.
template <int Mode>
[[gnu::always_inline]] inline void
mixGroup(const VoiceMix::Frame& frame, const DCBlocker::Four& dc, VoiceState* four, int lanes,
         const VoiceMix::Input& in, VoiceMixGains4& gains, SquareCarry& carry, __m128* part) {
    auto gather = [four](auto read) {
        return F4::of(read(four[0]), read(four[1]), read(four[2]), read(four[3]));
    };

    // The samples: shaper and DC blocker.
    F4 y0 = in[0], y1 = in[1];
    if constexpr (Mode != Distortion::kOff) {
        for (int k = 0; k < 4; ++k)
            if (lanes >> k & 1) prepareShape<Mode>(four[k].dsp);
        if constexpr (Mode == Distortion::kAtan) {
            const F4 k = gather([](const VoiceState& v) { return v.dsp.mix.shape.k; });
            const F4 inv = gather([](const VoiceState& v) { return v.dsp.mix.shape.invAtanK; });
            y0 = atanShape(safe(y0), k, inv);
            y1 = atanShape(safe(y1), k, inv);
        } else {
            for (int k = 0; k < 4; ++k) {
                if (!(lanes >> k & 1)) continue;
                VoiceDspState& dsp = four[k].dsp;
                float a = y0[k], b = y1[k];
                Distortion::processLane(dsp.mix.shape, dsp.lanes[0].distortion, carry, a, b);
                y0.set(k, a);
                y1.set(k, b);
            }
        }
    }
    (void)carry;
    DCBlocker* const blockers[4] = {&four[0].dsp.lanes[0].dc, &four[1].dsp.lanes[0].dc,
                                    &four[2].dsp.lanes[0].dc, &four[3].dsp.lanes[0].dc};
    DCBlocker::processFour(blockers, lanes, dc, y0.v, y1.v);

    // The gains.
    const F4 panTag(frame.panTag);
    F4 panSmoothed = gains.panSmoothed;
    const F4 moving = panSmoothed != panTag;
    if (maskBits(moving) != 0) { // at rest once the pan has arrived
        panSmoothed = select(moving, (panSmoothed - panTag) * 0.99f + panTag, panSmoothed);
        gains.panSmoothed =
            lanes == 15 ? panSmoothed : select(maskOf(lanes), panSmoothed, gains.panSmoothed);
    }
    static_assert(dst::MainPan == dst::MainVolume + 2 && dst::MainVolume + 4 <= dst::Count);
    const float* const modulation[4] = {
        &four[0].mod.dst[dst::MainVolume], &four[1].mod.dst[dst::MainVolume],
        &four[2].mod.dst[dst::MainVolume], &four[3].mod.dst[dst::MainVolume]};
    F4 volume, panModulation;
    gatherFirstAndThird(modulation, volume, panModulation);
    const F4 pan = panSmoothed + panModulation;
    F4 gain = gather([](const VoiceState& v) { return v.mod.src[src::EnvFirst]; });
    gain *= gains.velocityGain;
    gain *= abs(volume);

    const F4 left = clamp01Exact(2.0f - 2.0f * pan) * gain * gains.uniDivide;
    const F4 right = clamp01Exact(2.0f * pan) * gain * gains.uniDivide;
    const F4 gL = gains.copyPanL * left;
    const F4 gR = gains.copyPanR * right;

    F4 p0 = gL * y0, p1 = gR * y0, p2 = gL * y1, p3 = gR * y1;
    const F4 voiceOut = (p0 + p1 + p2 + p3) * 0.25f;
    for (int k = 0; k < 4; ++k)
        if (lanes == 15 || (lanes >> k & 1)) four[k].mod.src[src::VoiceOut] = voiceOut[k];
    _MM_TRANSPOSE4_PS(p0.v, p1.v, p2.v, p3.v); // voice k: {gL y0, gR y0, gL y1, gR y1}
    part[0] = p0.v;
    part[1] = p1.v;
    part[2] = p2.v;
    part[3] = p3.v;
}

// A voice with one copy alone, sub-samples a and b, its smoothed pan
// `panSmoothed`: its addition to the bus.
template <int Mode>
F4 onePart(const VoiceMix::Frame& frame, VoiceState& voice, float a, float b, float& panSmoothed,
           SquareCarry& carry) {
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;
    if (panSmoothed != frame.panTag)
        panSmoothed = (panSmoothed - frame.panTag) * 0.99f + frame.panTag;
    const float pan = panSmoothed + dst[dst::MainPan];
    const float gain =
        voice.mod.src[src::EnvFirst] * voice.velocityGain * std::fabs(dst[dst::MainVolume]);
    const float left = clampTo(2.0f - 2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;
    const float right = clampTo(2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;

    // One lane in floats: the same arithmetic as the lanes side by side.
    LaneState& lane = dsp.lanes[0];
    if constexpr (Mode != Distortion::kOff)
        Distortion::processLane(prepareShape<Mode>(dsp), lane.distortion, carry, a, b);
    (void)carry;
    a = lane.dc.process(a, frame.dcCoef);
    b = lane.dc.process(b, frame.dcCoef);
    const float gL = lane.copyPanL * left;
    const float gR = lane.copyPanR * right;
    voice.mod.src[src::VoiceOut] = (gL * a + gR * a + gL * b + gR * b) * 0.25f;
    return F4::of(gL, gR, gL, gR) * F4::of(a, a, b, b);
}

// The front half of a voice with several copies: its pan smoothed one step,
// the left and right gains of the voice, and its copies' two sub-samples
// (y0, y1, copy k in lane k) through the shaper of `Mode`.
template <int Mode>
[[gnu::always_inline]] inline void
shapeCopies(const VoiceMix::Frame& frame, VoiceState& voice, const VoiceMix::Input& in, int copies,
            SquareCarry& carry, float& left, float& right, F4& y0, F4& y1) {
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;
    if (dsp.panSmoothed != frame.panTag)
        dsp.panSmoothed = (dsp.panSmoothed - frame.panTag) * 0.99f + frame.panTag;
    const float pan = dsp.panSmoothed + dst[dst::MainPan];
    const float gain =
        voice.mod.src[src::EnvFirst] * voice.velocityGain * std::fabs(dst[dst::MainVolume]);
    left = clampTo(2.0f - 2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;
    right = clampTo(2.0f * pan, 0.0f, 1.0f) * gain * voice.uniDivide;

    y0 = in[0];
    y1 = in[1];
    if constexpr (Mode != Distortion::kOff) {
        const DistortionParams& shape = prepareShape<Mode>(dsp);
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
}

} // namespace

void VoiceMix::noteStart(VoiceMixGains4* gains, const VoiceState& voice, int v) {
    gains[static_cast<std::size_t>(v / 4)].panSmoothed.set(v % 4, voice.dsp.panSmoothed);
}

void VoiceMix::noteGains(VoiceMixGains4* gains, const VoiceState& voice, int v) {
    VoiceMixGains4& four = gains[static_cast<std::size_t>(v / 4)];
    const int k = v % 4;
    four.velocityGain.set(k, voice.velocityGain);
    four.uniDivide.set(k, voice.uniDivide);
    four.copyPanL.set(k, voice.dsp.lanes[0].copyPanL);
    four.copyPanR.set(k, voice.dsp.lanes[0].copyPanR);
}

template <int Mode>
void VoiceMix::process(const Frame& frame, VoiceState& voice, const Input& in, SquareCarry& carry,
                       F4& bus) {
    VoiceDspState& dsp = voice.dsp;
    const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);
    if (copies == 1) {
        bus += onePart<Mode>(frame, voice, in[0][0], in[1][0], dsp.panSmoothed, carry);
        return;
    }

    float left, right;
    F4 y0, y1;
    shapeCopies<Mode>(frame, voice, in, copies, carry, left, right, y0, y1);

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

// A voice with several copies, its four lanes as one vector: the arithmetic
// of VoiceMix::process() (the shapers, the DC blockers, the copies' gains
// and their parts added to the bus copy by copy), with the DC blockers'
// coefficients `dc` and the copies' parts side by side.
template <int Mode>
void mixCopies(const VoiceMix::Frame& frame, const DCBlocker::Four& dc, VoiceState& voice,
               SquareCarry& carry, F4& bus) {
    VoiceDspState& dsp = voice.dsp;
    const int copies = std::clamp(voice.uniVoices, 1, kUnisonCopies);
    const VoiceMix::Input& in = dsp.filter.out;
    if (copies == 1) {
        bus += onePart<Mode>(frame, voice, in[0][0], in[1][0], dsp.panSmoothed, carry);
        return;
    }

    float left, right;
    F4 y0, y1;
    shapeCopies<Mode>(frame, voice, in, copies, carry, left, right, y0, y1);

    // Lanes without a copy step with 0; lanes 2 and 3 keep their new state
    // only with more than two copies (as the pairs of process() do).
    const F4 active = firstLanes(copies);
    y0 = y0 & active;
    y1 = y1 & active;
    auto& lanes = dsp.lanes;
    DCBlocker* const blockers[4] = {&lanes[0].dc, &lanes[1].dc, &lanes[2].dc, &lanes[3].dc};
    DCBlocker::processFour(blockers, copies > 2 ? 15 : 3, dc, y0.v, y1.v);

    const F4 gL =
        F4::of(lanes[0].copyPanL, lanes[1].copyPanL, lanes[2].copyPanL, lanes[3].copyPanL) * left;
    const F4 gR =
        F4::of(lanes[0].copyPanR, lanes[1].copyPanR, lanes[2].copyPanR, lanes[3].copyPanR) * right;
    F4 p0 = gL * y0, p1 = gR * y0, p2 = gL * y1, p3 = gR * y1;
    voice.mod.src[src::VoiceOut] = _mm_cvtss_f32((((p0 + p1) + p2) + p3).v) * 0.25f;
    _MM_TRANSPOSE4_PS(p0.v, p1.v, p2.v, p3.v); // copy k: {gL y0, gR y0, gL y1, gR y1}
    F4 sum = bus + p0;
    sum += p1;
    if (copies > 2) {
        sum += p2;
        if (copies > 3) sum += p3;
    }
    bus = sum;
}

// Every listed voice in `Mode` voice by voice, each part into the bus in
// list order: a voice with several copies lane by lane through
// VoiceMix::process() (Plain, the reference) or as one vector (mixCopies).
// "Square" carries its sign from voice to voice in list order, so with a
// voice of several copies listed the list goes this way.
template <int Mode, bool Plain>
void mixEach(const VoiceMix::Frame& frame, VoiceState* voices, const VoiceMix::Singles& singles,
             const int* list, int count, F4& bus) {
    SquareCarry carry;
    const DCBlocker::Four dc = DCBlocker::four(frame.dcCoef);
    for (int n = 0; n < count; ++n) {
        const int v = list[n];
        if (!(singles.voices >> v & 1)) {
            if constexpr (Plain)
                VoiceMix::process<Mode>(frame, voices[v], voices[v].dsp.filter.out, carry, bus);
            else
                mixCopies<Mode>(frame, dc, voices[v], carry, bus);
            continue;
        }
        // Its output and smoothed pan wait in its group.
        const int k = v % 4;
        const auto& out = singles.groups[v / 4].out;
        VoiceMixGains4& gains = singles.gains[v / 4];
        float pan = gains.panSmoothed[k];
        bus += onePart<Mode>(frame, voices[v], out[0][k], out[1][k], pan, carry);
        gains.panSmoothed.set(k, pan);
    }
}

template <int Mode>
void mixList(const VoiceMix::Frame& frame, VoiceState* voices, const VoiceMix::Singles& singles,
             const int* list, int count, F4& bus) {
    const uint32_t single = singles.voices;
    const bool several = singles.others;
    if (Mode == Distortion::kSquare && several) {
        mixEach<Mode, false>(frame, voices, singles, list, count, bus);
        return;
    }
    SquareCarry carry; // "Square" carries a sign from lane to lane within the frame
    const DCBlocker::Four dc = DCBlocker::four(frame.dcCoef);
    F4 sum = bus;
    __m128 part[kNumVoices];
    for (uint32_t rest = single; rest != 0;) {
        const int g = std::countr_zero(rest) / 4;
        const int lanes = static_cast<int>(rest >> (4 * g)) & 15;
        rest &= ~(15u << (4 * g));
        const VoiceMix::Input& in = singles.groups[g].out;
        __m128 four[4];
        if ((lanes & (lanes - 1)) != 0) {
            mixGroup<Mode>(frame, dc, voices + 4 * g, lanes, in, singles.gains[g], carry, four);
        } else {
            const int k = std::countr_zero(static_cast<unsigned>(lanes));
            VoiceMixGains4& gains = singles.gains[g];
            float pan = gains.panSmoothed[k];
            four[k] = onePart<Mode>(frame, voices[4 * g + k], in[0][k], in[1][k], pan, carry).v;
            gains.panSmoothed.set(k, pan);
        }
        if (several) { // summed in list order below
            for (int k = 0; k < 4; ++k)
                if (lanes >> k & 1) part[4 * g + k] = four[k];
            continue;
        }
        // The list holds these voices alone, ascending.
        if (lanes == 15) {
            sum += F4(four[0]);
            sum += F4(four[1]);
            sum += F4(four[2]);
            sum += F4(four[3]);
        } else {
            for (int k = 0; k < 4; ++k)
                if (lanes >> k & 1) sum += F4(four[k]);
        }
    }
    if (several) {
        for (int n = 0; n < count; ++n) {
            const int v = list[n];
            if (single >> v & 1)
                sum += F4(part[v]);
            else
                mixCopies<Mode>(frame, dc, voices[v], carry, sum);
        }
    }
    bus = sum;
}

using MixListFn = void (*)(const VoiceMix::Frame&, VoiceState*, const VoiceMix::Singles&,
                           const int*, int, F4&);

template <int... M>
constexpr std::array<MixListFn, Distortion::kModeCount>
listFunctions(std::integer_sequence<int, M...>) {
    return {&mixList<M>...};
}
template <int... M>
constexpr std::array<MixListFn, Distortion::kModeCount>
eachFunctions(std::integer_sequence<int, M...>) {
    return {&mixEach<M, true>...};
}
constexpr auto kModes = std::make_integer_sequence<int, Distortion::kModeCount>{};
constexpr auto kMixList = listFunctions(kModes);
constexpr auto kMixEach = eachFunctions(kModes);

int modeIndex(int mode) {
    return mode >= 0 && mode < Distortion::kModeCount ? mode : Distortion::kOff;
}

} // namespace

void VoiceMix::processList(const Frame& frame, VoiceState* voices, const Singles& singles,
                           const int* list, int count, F4& bus) {
    kMixList[modeIndex(frame.mode)](frame, voices, singles, list, count, bus);
}

void VoiceMix::processEach(const Frame& frame, VoiceState* voices, const Singles& singles,
                           const int* list, int count, F4& bus) {
    kMixEach[modeIndex(frame.mode)](frame, voices, singles, list, count, bus);
}

void APlugin::voiceMixStage() {
    const RenderState& render = engine.render;
    const VoiceMix::Frame frame{getCurrentValue(tag::MainPan), engine.notes.distortMode,
                                engine.rate.dcCoef};
    // The voices with one copy as the filter stage of this frame ran them.
    const FilterGlobal& fg = engine.filter;
    const VoiceMix::Singles singles{fg.singles, fg.several != 0, fg.groups.data(),
                                    engine.mixGains.data()};
    std::array<float, 4>& voiceBus = engine.render.voiceBus;
    F4 bus = _mm_loadu_ps(voiceBus.data());
    VoiceMix::processList(frame, engine.voices.data(), singles, render.activeVoices.data(),
                          render.activeVoiceCount, bus);
    _mm_storeu_ps(voiceBus.data(), bus.v);
}
