// Voice filter stage: every frame, every unison copy of every listed voice
// reduces its four oscillator sub-samples to two, runs them through the
// filter type and the optional high-pass, and leaves them in LaneState::out
// for the distortion and mix stage.
//
// Units and calibration:
//   - Cut-off positions are normalised (0..1 over FREQ, 20 Hz .. 20480 Hz,
//     ten octaves); the sum of knob, envelope, mod wheel, velocity and
//     modulation is clamped to 0..1 per copy, turned into Hz through FREQ,
//     scaled by the key ratio and held at the ceiling 0.2 x (2 x rate).
//   - The filters run at twice the rate: sub-sample j of the output is the
//     mean of oscillator sub-samples 2j and 2j + 1, scaled by 0.05 going in
//     and by 10 coming out (a bypassed lane gives exactly the mean).
//   - Resonance: "Filter Q" + modulation, clamped to 0..1, times 0.9.
//   - Costs: the type is global, so one template instance per type runs every
//     listed voice and copy with the output selection compiled in (one
//     indirect call per frame). Coefficients are recomputed only when a
//     copy's cut-off or resonance moved, the high-pass coefficients only when
//     its frequency input moved; a copy whose position, key ratio and
//     resonance are those of the last frame skips even the FREQ look-up, so a
//     held note costs one comparison and the filter itself. The key ratios
//     (exp2) are refreshed on the voice's 16-frame tick.

#include "core/aplugin.h"
#include "core/numeric.h"

#include "engine/filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace {

static_assert(kFilterLanes == kNumLanes, "one comb ring per lane");

inline int freqIndex(float position) {
    return static_cast<int>(clampTo(position, 0.0f, 1.0f) * kFilterCurveIndexScale);
}

// Values every voice of a frame shares.
struct FilterFrame {
    FilterContext ctx;
    const float* freq = nullptr;    // FREQ
    const float* sinHalf = nullptr; // SIN_HALF
    float ceiling = 0.0f;           // Hz
    float cutoffTag = 1.0f, resonanceTag = 0.0f, envAmountTag = 0.0f, envSign = 1.0f;
    float hiPassTag = 0.0f, hiPassQTag = 0.0f;
    bool hiPassOn = false, hiPassQOn = false;
};

// The voice's cut-off before the copies' offsets; the attack cut short.
struct VoiceCutoff {
    float position; // normalised
    float q;
};
inline VoiceCutoff voiceCutoff(VoiceState& voice, const FilterFrame& frame) {
    VoiceDspState& dsp = voice.dsp;
    const FilterVoice& fv = dsp.filter;
    const auto& dst = voice.mod.dst;
    if (dsp.filterFreqSmoothed != frame.cutoffTag)
        dsp.filterFreqSmoothed =
            (dsp.filterFreqSmoothed - frame.cutoffTag) * 0.985f + frame.cutoffTag;
    const float amount =
        clampTo(frame.envAmountTag + dst[dst::FilterEnvAmount], 0.0f, 1.0f) * frame.envSign;
    const float position = voice.mod.src[src::EnvFirst + 2 * kEnvFilter] * amount +
                           fv.modWheelTerm + fv.velocityTerm + dst[dst::FilterFreq] +
                           dsp.filterFreqSmoothed;
    // An envelope that would open the filter beyond the ceiling has nothing
    // left to do in its attack.
    EnvelopeState& env = voice.env[kEnvFilter];
    if (amount > 0.0f && env.stage == kEnvAttack &&
        frame.ceiling < frame.freq[freqIndex(position)] * fv.keyRatio)
        env.stage = kEnvDecay;
    return {position, clampTo(frame.resonanceTag + dst[dst::FilterQ], 0.0f, 1.0f) * 0.9f};
}

// The high-pass coefficients of a voice: F (cached on its frequency input)
// and Q.
inline void voiceHighPass(VoiceState& voice, const FilterFrame& frame, float& f, float& q) {
    VoiceDspState& dsp = voice.dsp;
    FilterVoice& fv = dsp.filter;
    const auto& dst = voice.mod.dst;
    if (dsp.hiPassFreqSmoothed != frame.hiPassTag)
        dsp.hiPassFreqSmoothed =
            (dsp.hiPassFreqSmoothed - frame.hiPassTag) * 0.985f + frame.hiPassTag;
    const float r = frame.hiPassQTag + dst[dst::HiPassQ];
    q = frame.hiPassQOn && r >= 0.0f ? 1.0f - 0.9f * std::min(r, 1.0f) : 1.0f;
    const float position = clampTo(dsp.hiPassFreqSmoothed + dst[dst::HiPassFreq], 0.0f, 1.0f);
    if (position != fv.hiPassInput || fv.hiPassKeyRatio != fv.hiPassRatioUsed) {
        fv.hiPassInput = position;
        fv.hiPassRatioUsed = fv.hiPassKeyRatio;
        const float hz =
            std::min(fv.hiPassKeyRatio * frame.freq[freqIndex(position)], frame.ceiling);
        fv.hiPassF = 2.0f * frame.sinHalf[frame.ctx.index(hz)];
    }
    f = fv.hiPassF;
}

// The filter input of every lane: the mean of its oscillator sub-samples
// 2j and 2j + 1, scaled by 0.05; lanes from `copies` on get 0.
inline void laneInputs(const VoiceDspState& dsp, int copies, F4& x0, F4& x1) {
    if (copies == 1) {
        // {o0 + o1, o1 + o0, o2 + o3, o3 + o2}: the sums sit in floats 0 and 2.
        const __m128 o = _mm_loadu_ps(dsp.lanes[0].osc.data());
        const F4 sum = F4(o) + F4(_mm_shuffle_ps(o, o, _MM_SHUFFLE(2, 3, 0, 1)));
        const __m128 first = _mm_castsi128_ps(_mm_setr_epi32(-1, 0, 0, 0));
        const F4 scaled = sum * 0.05f;
        x0 = _mm_and_ps(scaled.v, first);
        x1 = _mm_and_ps(_mm_movehl_ps(scaled.v, scaled.v), first);
        return;
    }
    __m128 r[4];
    for (int k = 0; k < 4; ++k)
        r[k] = k < copies ? _mm_loadu_ps(dsp.lanes[k].osc.data()) : _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
    x0 = (F4(r[0]) + F4(r[1])) * 0.05f;
    x1 = (F4(r[2]) + F4(r[3])) * 0.05f;
}

// A voice with one copy: lane 0 alone, in floats, with the arithmetic of
// the four-lane path below (the same samples). The other lanes rest.
template <int Type>
inline void filterFirstLane(VoiceState& voice, const FilterFrame& frame, const VoiceCutoff& cut,
                            bool steady, float hiPassF, float hiPassQ, CombRing& ring) {
    FilterVoice& fv = voice.dsp.filter;
    const LaneState& lane = voice.dsp.lanes[0];
    if constexpr (Type != kFilterBypass) {
        const float position = cut.position + lane.copyFilterOffset;
        if (!steady || position != fv.position[0]) {
            fv.position.set(0, position);
            const float hz = std::min(frame.freq[freqIndex(position)] * fv.keyRatio, frame.ceiling);
            fv.lanes.retuneFirst<Type>(frame.ctx, hz, cut.q, fv.noteStart);
        }
    }
    float x0 = (lane.osc[0] + lane.osc[1]) * 0.05f;
    float x1 = (lane.osc[2] + lane.osc[3]) * 0.05f;
    fv.lanes.runFirst<Type>(frame.ctx, ring.data(), x0, x1);
    if (frame.hiPassOn) {
        ResonantHighPassT<float> hp = laneOf(fv.highPass, 0);
        x0 = hp.tick(x0, hiPassF, hiPassQ);
        x1 = hp.tick(x1, hiPassF, hiPassQ);
        setLane(fv.highPass, 0, hp);
    }
    x0 *= 10.0f;
    x1 *= 10.0f;
    if (!(std::fabs(x0 + x1) < 1e30f)) [[unlikely]] {
        const float hz = fv.lanes.cutoff(0);
        fv.resetLane(0);
        if (Type == kFilterCombPlus || Type == kFilterCombMinus) ring.fill(0.0f);
        fv.lanes.retuneFirst<Type>(frame.ctx, hz, cut.q, true);
        x0 = x1 = 0.0f;
    }
    // The mix reads lane 0 alone for a voice with one copy.
    fv.out[0].set(0, x0);
    fv.out[1].set(0, x1);
    voice.mod.src[src::FilterOut] = (x0 + x1) * 0.5f;
    fv.noteStart = false;
}

// Every listed voice through the filter of one type, its lanes side by side.
template <int Type> void filterVoices(EngineState& engine, const FilterFrame& frame) {
    const RenderState& render = engine.render;
    for (int n = 0; n < render.activeVoiceCount; ++n) {
        const int v = render.activeVoices[n];
        VoiceState& voice = engine.voices[v];
        FilterVoice& fv = voice.dsp.filter;
        const VoiceCutoff cut = voiceCutoff(voice, frame);
        const float keyRatio = fv.keyRatio;
        const bool force = fv.noteStart;
        // While the key ratio and resonance stay put, a copy whose position
        // did not move keeps its Hz: no look-up, no comparison.
        const bool steady = !force && cut.q == fv.lastQ && keyRatio == fv.lastKeyRatio;
        fv.lastQ = cut.q;
        fv.lastKeyRatio = keyRatio;
        float hiPassF = 0.0f, hiPassQ = 1.0f;
        if (frame.hiPassOn) voiceHighPass(voice, frame, hiPassF, hiPassQ);
        CombRing* rings = &engine.filter.combRings[static_cast<std::size_t>(v) * kUnisonCopies];

        if (voice.uniVoices <= 1) {
            filterFirstLane<Type>(voice, frame, cut, steady, hiPassF, hiPassQ, rings[0]);
            continue;
        }
        const int copies = std::min(voice.uniVoices, kUnisonCopies);
        const F4 active = firstLanes(copies);
        const auto& lanes = voice.dsp.lanes;
        if constexpr (Type != kFilterBypass) {
            const F4 position =
                F4(cut.position) + F4::of(lanes[0].copyFilterOffset, lanes[1].copyFilterOffset,
                                          lanes[2].copyFilterOffset, lanes[3].copyFilterOffset);
            if (!steady || maskBits((position != fv.position) & active)) {
                fv.position = select(active, position, fv.position);
                const F4 clamped = clampTo(position, F4(0.0f), F4(1.0f)); // as freqIndex()
                const F4 table = gather(frame.freq, truncate(clamped * kFilterCurveIndexScale));
                const F4 hz = stdMin(table * keyRatio, F4(frame.ceiling));
                fv.lanes.retune<Type>(frame.ctx, hz, cut.q, force ? active : F4(0.0f), active);
            }
        }
        float* ringData[kUnisonCopies] = {rings[0].data(), rings[1].data(), rings[2].data(),
                                          rings[3].data()};
        F4 x0, x1;
        laneInputs(voice.dsp, copies, x0, x1);
        fv.lanes.run<Type>(frame.ctx, ringData, copies, x0, x1);
        if (frame.hiPassOn) {
            const F4 f = hiPassF, q = hiPassQ;
            ResonantHighPassT<F4> hp = fv.highPass;
            x0 = hp.tick(x0, f, q);
            x1 = hp.tick(x1, f, q);
            fv.highPass = hp;
        }
        x0 *= 10.0f;
        x1 *= 10.0f;
        // A lane that was fed a NaN or ran away starts again rather than
        // staying silent until its next note.
        const int bad = ~maskBits(abs(x0 + x1) < F4(1e30f)) & maskBits(active);
        if (bad != 0) [[unlikely]] {
            for (int k = 0; k < copies; ++k) {
                if (!(bad >> k & 1)) continue;
                const F4 lane = onlyLane(k);
                const float hz = fv.lanes.cutoff(k);
                fv.resetLane(k);
                if (Type == kFilterCombPlus || Type == kFilterCombMinus) rings[k].fill(0.0f);
                fv.lanes.retune<Type>(frame.ctx, F4(hz), cut.q, lane, lane);
                x0.set(k, 0.0f);
                x1.set(k, 0.0f);
            }
        }
        fv.out = {x0, x1};
        voice.mod.src[src::FilterOut] = (x0[0] + x1[0]) * 0.5f;
        fv.noteStart = false;
    }
}

using VoiceLoop = void (*)(EngineState&, const FilterFrame&);

template <int... T>
constexpr std::array<VoiceLoop, kFilterTypeCount> voiceLoops(std::integer_sequence<int, T...>) {
    return {&filterVoices<T>...};
}
constexpr auto kVoiceLoops = voiceLoops(std::make_integer_sequence<int, kFilterTypeCount>{});

} // namespace

void APlugin::filterStage() {
    if (engine.render.activeVoiceCount == 0) return;
    FilterGlobal& fg = engine.filter;
    const RateState& rate = engine.rate;
    const FilterCurves& curves = tables_->filterCurves;
    // Coefficients belong to a rate; after a change every lane starts anew.
    if (fg.coefficientRate != rate.sampleRate) {
        fg.coefficientRate = rate.sampleRate;
        fg.context = FilterContext::at(curves, rate.sampleRate);
        initFilter(1, -1);
    }

    FilterFrame frame;
    frame.ctx = fg.context;
    frame.freq = curves.FREQ.data();
    frame.sinHalf = curves.SIN_HALF.data();
    frame.ceiling = rate.filterCeiling;
    frame.cutoffTag = getCurrentValue(tag::FilterFreq);
    frame.resonanceTag = getCurrentValue(tag::FilterQ);
    frame.envAmountTag = getCurrentValue(tag::EnvToFilterFreq);
    frame.envSign = fg.envelopeSign;
    frame.hiPassOn = fg.hiPassOn;
    frame.hiPassQOn = fg.hiPassQOn;
    frame.hiPassTag = getCurrentValue(tag::HiPassFreq);
    frame.hiPassQTag = getCurrentValue(tag::HiPassQ);
    // The type is the same for every lane: one loop instance per type.
    kVoiceLoops[fg.type > kFilterBypass && fg.type < kFilterTypeCount ? fg.type : 0](engine, frame);
}

// Mode 0 has no global filter state; 1 and 2 clear every voice, 3 the one
// given. Lanes come back without coefficients, so the next frame computes
// them for whatever type is current. The comb rings are cleared only while a
// comb type is selected (a change to a comb type clears them all).
void APlugin::initFilter(int mode, int v) {
    FilterGlobal& fg = engine.filter;
    const bool comb = fg.type == kFilterCombPlus || fg.type == kFilterCombMinus;
    auto clearVoice = [&](int i) {
        VoiceState& voice = engine.voices[i];
        voice.dsp.filter.resetLanes();
        voice.dsp.filter.hiPassInput = -1.0f;
        if (comb) {
            const int copies =
                mode == 3 ? std::clamp(voice.uniVoices, 1, kUnisonCopies) : kUnisonCopies;
            for (int k = 0; k < copies; ++k)
                fg.combRings[static_cast<std::size_t>(i) * kUnisonCopies + k].fill(0.0f);
        }
    };
    if (mode == 1 || mode == 2) {
        for (int i = 0; i < kNumVoices; ++i) clearVoice(i);
    } else if (mode == 3 && isValidVoice(v)) {
        clearVoice(v);
        engine.voices[v].dsp.filter.noteStart = true;
    }
}

// Every 128 frames (and on note start, reset and preset changes): the type,
// with a clean start for every lane when it changed or a reset is pending;
// the envelope sign and the high-pass switches; the distortion mode.
void APlugin::updateFilterRare() {
    FilterGlobal& fg = engine.filter;
    const int type = getSteppedValue(tag::FilterType);
    if (type != fg.type || engine.render.forceFX) {
        fg.type = type;
        initFilter(2, -1);
    }
    fg.envelopeSign = getOnOff(tag::InvertFilterEnvOn) ? -1.0f : 1.0f;
    fg.hiPassOn = getOnOff(tag::HiPassOn);
    fg.hiPassQOn = getOnOff(tag::HiPassQOn);
    engine.notes.distortMode = getSteppedValue(tag::DistortMode);
}

// On the voice's 16-frame tick: the XY-to-morph amounts and the filter's key
// and controller terms.
void APlugin::voiceControlTerms(int v) {
    const auto& g = engine.global.dst;
    engine.notes.xyToMorphX = std::clamp(
        2.0f * getCurrentValue(tag::XYXToMorph) - 1.0f + g[dst::XYXToMorph], -1.0f, 1.0f);
    engine.notes.xyToMorphY = std::clamp(
        2.0f * getCurrentValue(tag::XYYToMorph) - 1.0f + g[dst::XYYToMorph], -1.0f, 1.0f);

    if (!isValidVoice(v)) return;
    VoiceState& voice = engine.voices[v];
    FilterVoice& fv = voice.dsp.filter;
    fv.modWheelTerm =
        (2.0f * getCurrentValue(tag::ModWheelToFilterFreq) - 1.0f) * voice.mod.src[src::ModWheel];
    fv.velocityTerm = getCurrentValue(tag::VelocityToFilterFreq) * voice.velocity;
    const float pitch = std::isfinite(voice.pitch) ? voice.pitch : 0.0f;
    // The exp2s are taken again only when their inputs moved.
    const float keyInput = (2.0f * getCurrentValue(tag::KeyToFilterFreq) - 1.0f) * pitch;
    if (keyInput != fv.keyRatioInput) {
        fv.keyRatioInput = keyInput;
        fv.keyRatio = std::exp2(keyInput);
    }
    if (getOnOff(tag::HiPassKeyTrackOn)) {
        if (pitch != fv.pitchRatioInput) {
            fv.pitchRatioInput = pitch;
            fv.pitchRatio = std::exp2(pitch);
        }
        fv.hiPassKeyRatio = fv.pitchRatio;
    } else {
        fv.hiPassKeyRatio = 1.0f;
    }
}
