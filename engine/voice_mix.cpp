// The voice mix stage: every listed voice's lanes through the mix unit of
// engine/voice_mix.h, in list order, into the voice bus.

#include "engine/voice_mix.h"

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
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

// clampTo() of core/numeric.h lane by lane, -0 included.
inline F4 clampExact(F4 v, F4 lo, F4 hi) {
    return select(v >= lo, select(v > hi, hi, v), lo);
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

// Up to four single-copy voices side by side, voice k in vector lane k, with
// the arithmetic of VoiceMix::process() for one copy. All four pointers must
// be valid (spare lanes repeat a voice); only the first `count` voices take
// their new state. part[k] receives voice k's addition to the bus.
template <int Mode>
[[gnu::always_inline]] inline void mixFour(const VoiceMix::Frame& frame, VoiceState* const* voices,
                                           int count, SquareCarry& carry, F4* part) {
    auto gather = [voices](auto read) {
        return F4::of(read(*voices[0]), read(*voices[1]), read(*voices[2]), read(*voices[3]));
    };

    // The samples: shaper and DC blocker.
    F4 y0 = gather([](const VoiceState& v) { return v.dsp.filter.out[0][0]; });
    F4 y1 = gather([](const VoiceState& v) { return v.dsp.filter.out[1][0]; });
    if constexpr (Mode != Distortion::kOff) {
        for (int k = 0; k < count; ++k) prepareShape<Mode>(voices[k]->dsp);
        if constexpr (Mode == Distortion::kAtan) {
            // Spare lanes repeat voice 0, which is prepared.
            const F4 k = gather([](const VoiceState& v) { return v.dsp.mix.shape.k; });
            const F4 inv = gather([](const VoiceState& v) { return v.dsp.mix.shape.invAtanK; });
            y0 = atanShape(safe(y0), k, inv);
            y1 = atanShape(safe(y1), k, inv);
        } else {
            for (int k = 0; k < count; ++k) {
                VoiceDspState& dsp = voices[k]->dsp;
                float a = y0[k], b = y1[k];
                Distortion::processLane(dsp.mix.shape, dsp.lanes[0].distortion, carry, a, b);
                y0.set(k, a);
                y1.set(k, b);
            }
        }
    }
    (void)carry;
    DCBlocker* const blockers[4] = {&voices[0]->dsp.lanes[0].dc, &voices[1]->dsp.lanes[0].dc,
                                    &voices[2]->dsp.lanes[0].dc, &voices[3]->dsp.lanes[0].dc};
    DCBlocker::processFour(blockers, count, frame.dcCoef, y0.v, y1.v);

    // The gains.
    const F4 panTag(frame.panTag);
    F4 panSmoothed = gather([](const VoiceState& v) { return v.dsp.panSmoothed; });
    panSmoothed =
        select(panSmoothed != panTag, (panSmoothed - panTag) * 0.99f + panTag, panSmoothed);
    for (int k = 0; k < count; ++k) voices[k]->dsp.panSmoothed = panSmoothed[k];
    const F4 pan =
        panSmoothed + gather([](const VoiceState& v) { return v.mod.dst[dst::MainPan]; });
    F4 gain = gather([](const VoiceState& v) { return v.mod.src[src::EnvFirst]; });
    gain *= gather([](const VoiceState& v) { return v.velocityGain; });
    gain *= abs(gather([](const VoiceState& v) { return v.mod.dst[dst::MainVolume]; }));

    const F4 divide = gather([](const VoiceState& v) { return v.uniDivide; });
    const F4 left = clampExact(2.0f - 2.0f * pan, F4(0.0f), F4(1.0f)) * gain * divide;
    const F4 right = clampExact(2.0f * pan, F4(0.0f), F4(1.0f)) * gain * divide;
    const F4 gL = gather([](const VoiceState& v) { return v.dsp.lanes[0].copyPanL; }) * left;
    const F4 gR = gather([](const VoiceState& v) { return v.dsp.lanes[0].copyPanR; }) * right;

    F4 p0 = gL * y0, p1 = gR * y0, p2 = gL * y1, p3 = gR * y1;
    const F4 voiceOut = (p0 + p1 + p2 + p3) * 0.25f;
    for (int k = 0; k < count; ++k) voices[k]->mod.src[src::VoiceOut] = voiceOut[k];
    _MM_TRANSPOSE4_PS(p0.v, p1.v, p2.v, p3.v); // voice k: {gL y0, gR y0, gL y1, gR y1}
    part[0] = p0;
    part[1] = p1;
    part[2] = p2;
    part[3] = p3;
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
    if constexpr (Mode != Distortion::kOff) shapePrepared = &prepareShape<Mode>(dsp);

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
            y0 = atanShape(safe(y0), shape.k, shape.invAtanK);
            y1 = atanShape(safe(y1), shape.k, shape.invAtanK);
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

// Every listed voice in `Mode`: single-copy voices four at a time (a last
// one alone goes voice by voice), their parts then added in list order with
// the other voices'.
template <int Mode>
void mixList(const VoiceMix::Frame& frame, VoiceState* const* list, int count, F4& bus) {
    SquareCarry carry; // "Square" carries a sign from lane to lane within the frame
    bool allSingle = true;
    for (int n = 0; n < count; ++n) allSingle &= list[n]->uniVoices <= 1;
    // With one copy each, the groups follow the list: their parts go straight
    // into the bus.
    if (allSingle) {
        F4 part[4];
        int n = 0;
        for (; n + 4 <= count; n += 4) {
            mixFour<Mode>(frame, list + n, 4, carry, part);
            bus += part[0];
            bus += part[1];
            bus += part[2];
            bus += part[3];
        }
        const int rest = count - n;
        if (rest > 1) {
            VoiceState* const four[4] = {list[n], list[n + 1], list[n + rest - 1], list[n]};
            mixFour<Mode>(frame, four, rest, carry, part);
            for (int k = 0; k < rest; ++k) bus += part[k];
        } else if (rest == 1) {
            VoiceMix::process<Mode>(frame, *list[n], carry, bus);
        }
        return;
    }
    const bool together = Mode != Distortion::kSquare;

    __m128 parts[VoiceMix::kMaxListed]; // written before read
    uint32_t done = 0;                  // bit n: list[n]'s part is in parts[n]
    if (together) {
        VoiceState* four[4];
        int at[4];
        int filled = 0;
        auto run = [&] {
            for (int k = filled; k < 4; ++k) four[k] = four[0];
            F4 part[4];
            mixFour<Mode>(frame, four, filled, carry, part);
            for (int k = 0; k < filled; ++k) {
                parts[at[k]] = part[k].v;
                done |= 1u << at[k];
            }
            filled = 0;
        };
        for (int n = 0; n < count; ++n) {
            if (list[n]->uniVoices > 1) continue;
            four[filled] = list[n];
            at[filled] = n;
            if (++filled == 4) run();
        }
        if (filled > 1) run();
    }
    for (int n = 0; n < count; ++n) {
        if (done >> n & 1u)
            bus += F4(parts[n]);
        else
            VoiceMix::process<Mode>(frame, *list[n], carry, bus);
    }
}

template <int Mode>
void mixEach(const VoiceMix::Frame& frame, VoiceState* const* list, int count, F4& bus) {
    SquareCarry carry;
    for (int n = 0; n < count; ++n) VoiceMix::process<Mode>(frame, *list[n], carry, bus);
}

using MixListFn = void (*)(const VoiceMix::Frame&, VoiceState* const*, int, F4&);

template <int... M>
constexpr std::array<MixListFn, Distortion::kModeCount>
listFunctions(std::integer_sequence<int, M...>) {
    return {&mixList<M>...};
}
template <int... M>
constexpr std::array<MixListFn, Distortion::kModeCount>
eachFunctions(std::integer_sequence<int, M...>) {
    return {&mixEach<M>...};
}
constexpr auto kModes = std::make_integer_sequence<int, Distortion::kModeCount>{};
constexpr auto kMixList = listFunctions(kModes);
constexpr auto kMixEach = eachFunctions(kModes);

int modeIndex(int mode) {
    return mode >= 0 && mode < Distortion::kModeCount ? mode : Distortion::kOff;
}

} // namespace

void VoiceMix::processList(const Frame& frame, VoiceState* const* voices, int count, F4& bus) {
    kMixList[modeIndex(frame.mode)](frame, voices, count, bus);
}

void VoiceMix::processEach(const Frame& frame, VoiceState* const* voices, int count, F4& bus) {
    kMixEach[modeIndex(frame.mode)](frame, voices, count, bus);
}

void APlugin::voiceMixStage() {
    static_assert(VoiceMix::kMaxListed == kNumVoices);
    const RenderState& render = engine.render;
    VoiceMix::Frame frame;
    frame.panTag = getCurrentValue(tag::MainPan);
    frame.mode = engine.notes.distortMode;
    frame.dcCoef = engine.rate.dcCoef;
    VoiceState* listed[kNumVoices];
    for (int n = 0; n < render.activeVoiceCount; ++n)
        listed[n] = &engine.voices[render.activeVoices[n]];
    std::array<float, 4>& voiceBus = engine.render.voiceBus;
    F4 bus = _mm_loadu_ps(voiceBus.data());
    VoiceMix::processList(frame, listed, render.activeVoiceCount, bus);
    _mm_storeu_ps(voiceBus.data(), bus.v);
}
