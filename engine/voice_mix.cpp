// The voice mix stage: every listed voice's lanes through the mix unit of
// engine/voice_mix.h, in list order, into the voice bus.

#include "engine/voice_mix.h"

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <array>
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

// clampTo() of core/numeric.h lane by lane, -0 included.
inline F4 clampExact(F4 v, F4 lo, F4 hi) {
    return select(v >= lo, select(v > hi, hi, v), lo);
}

// Two neighbouring floats of four places p[k] as two vectors:
// first[k] = p[k][0], second[k] = p[k][1].
inline void gatherNeighbours(const float* const* p, F4& first, F4& second) {
    auto load = [](const float* q) {
        return _mm_loadl_pi(_mm_setzero_ps(), reinterpret_cast<const __m64*>(q));
    };
    const __m128 t01 = _mm_unpacklo_ps(load(p[0]), load(p[1])); // a0 a1 b0 b1
    const __m128 t23 = _mm_unpacklo_ps(load(p[2]), load(p[3])); // a2 a3 b2 b3
    first = _mm_movelh_ps(t01, t23);
    second = _mm_movehl_ps(t23, t01);
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

// Up to four single-copy voices side by side, voice k in vector lane k, with
// the arithmetic of VoiceMix::process() for one copy. All four pointers must
// be valid (spare lanes repeat a voice); only the first `count` voices take
// their new state. part[k] receives voice k's addition to the bus.
template <int Mode>
[[gnu::noinline]] void mixFour(const VoiceMix::Frame& frame, VoiceState* const* voices, int count,
                               SquareCarry& carry, F4* part) {
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
    const F4 moving = panSmoothed != panTag;
    if (maskBits(moving) != 0) { // at rest once the pan has arrived
        panSmoothed = select(moving, (panSmoothed - panTag) * 0.99f + panTag, panSmoothed);
        for (int k = 0; k < count; ++k) voices[k]->dsp.panSmoothed = panSmoothed[k];
    }
    static_assert(dst::MainPan == dst::MainVolume + 2 && dst::MainVolume + 4 <= dst::Count);
    const float* const modulation[4] = {
        &voices[0]->mod.dst[dst::MainVolume], &voices[1]->mod.dst[dst::MainVolume],
        &voices[2]->mod.dst[dst::MainVolume], &voices[3]->mod.dst[dst::MainVolume]};
    F4 volume, panModulation;
    gatherFirstAndThird(modulation, volume, panModulation);
    const F4 pan = panSmoothed + panModulation;
    F4 gain = gather([](const VoiceState& v) { return v.mod.src[src::EnvFirst]; });
    gain *= gather([](const VoiceState& v) { return v.velocityGain; });
    gain *= abs(volume);

    const F4 divide = gather([](const VoiceState& v) { return v.uniDivide; });
    const F4 left = clampExact(2.0f - 2.0f * pan, F4(0.0f), F4(1.0f)) * gain * divide;
    const F4 right = clampExact(2.0f * pan, F4(0.0f), F4(1.0f)) * gain * divide;
    static_assert(offsetof(LaneState, copyPanR) == offsetof(LaneState, copyPanL) + sizeof(float));
    const float* const copyPan[4] = {
        &voices[0]->dsp.lanes[0].copyPanL, &voices[1]->dsp.lanes[0].copyPanL,
        &voices[2]->dsp.lanes[0].copyPanL, &voices[3]->dsp.lanes[0].copyPanL};
    F4 copyPanL, copyPanR;
    gatherNeighbours(copyPan, copyPanL, copyPanR);
    const F4 gL = copyPanL * left;
    const F4 gR = copyPanR * right;

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

// Every listed voice in `Mode`, in list order: runs of single-copy voices
// four at a time (a run's last one alone goes voice by voice), so the bus
// and the "Square" sign see the voices in the order of the list.
template <int Mode>
void mixList(const VoiceMix::Frame& frame, VoiceState* const* list, int count, F4& bus) {
    SquareCarry carry; // "Square" carries a sign from lane to lane within the frame
    VoiceState* four[4];
    F4 part[4];
    int filled = 0;
    auto flush = [&] {
        if (filled == 1) {
            VoiceMix::process<Mode>(frame, *four[0], carry, bus);
        } else if (filled > 1) {
            for (int k = filled; k < 4; ++k) four[k] = four[0];
            mixFour<Mode>(frame, four, filled, carry, part);
            for (int k = 0; k < filled; ++k) bus += part[k];
        }
        filled = 0;
    };
    auto single = [list](int n) { return list[n]->uniVoices <= 1; };
    for (int n = 0; n < count;) {
        if (filled == 0 && n + 4 <= count && single(n) && single(n + 1) && single(n + 2) &&
            single(n + 3)) {
            mixFour<Mode>(frame, list + n, 4, carry, part);
            bus += part[0];
            bus += part[1];
            bus += part[2];
            bus += part[3];
            n += 4;
            continue;
        }
        VoiceState& voice = *list[n++];
        if (voice.uniVoices > 1) {
            if (filled != 0) flush();
            VoiceMix::process<Mode>(frame, voice, carry, bus);
            continue;
        }
        four[filled] = &voice;
        if (++filled == 4) {
            mixFour<Mode>(frame, four, 4, carry, part);
            bus += part[0];
            bus += part[1];
            bus += part[2];
            bus += part[3];
            filled = 0;
        }
    }
    if (filled != 0) flush();
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

using VoiceMixFn = void (*)(const VoiceMix::Frame&, VoiceState&, SquareCarry&, F4&);

template <int... M>
constexpr std::array<VoiceMixFn, Distortion::kModeCount>
mixFunctions(std::integer_sequence<int, M...>) {
    return {&VoiceMix::process<M>...};
}
constexpr auto kMix = mixFunctions(kModes);

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
    const RenderState& render = engine.render;
    VoiceMix::Frame frame;
    frame.panTag = getCurrentValue(tag::MainPan);
    frame.mode = engine.notes.distortMode;
    frame.dcCoef = engine.rate.dcCoef;
    const int count = render.activeVoiceCount;
    // Both ways give the same sum; the copies noted with the list (first and
    // last voice) pick the faster one.
    const auto& copies = render.activeUniVoices;
    const bool singles = count > 1 && (copies[0] <= 1 || copies[count - 1] <= 1);
    std::array<float, 4>& voiceBus = engine.render.voiceBus;
    F4 bus = _mm_loadu_ps(voiceBus.data());
    if (singles) {
        VoiceState* listed[kNumVoices];
        for (int n = 0; n < count; ++n) listed[n] = &engine.voices[render.activeVoices[n]];
        VoiceMix::processList(frame, listed, count, bus);
    } else {
        const VoiceMixFn mix = kMix[modeIndex(frame.mode)];
        SquareCarry carry;
        for (int n = 0; n < count; ++n)
            mix(frame, engine.voices[render.activeVoices[n]], carry, bus);
    }
    _mm_storeu_ps(voiceBus.data(), bus.v);
}
