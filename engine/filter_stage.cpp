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
//     indirect call per frame). The copies of a voice run side by side as
//     one vector; voices with one copy run four at a time, voice v in lane
//     v % 4 of group v / 4 (the filter state of such a voice lives in its
//     group, not in the voice). Coefficients are recomputed only when a
//     copy's cut-off or resonance moved, the high-pass coefficients only when
//     its frequency input moved; a copy whose position, key ratio and
//     resonance are those of the last frame skips even the FREQ look-up, so a
//     held note costs one comparison and the filter itself. The key ratios
//     (exp2) are refreshed on the voice's 16-frame tick. What moves only on a
//     tick or at a note's start (the key and controller terms, copy 0's
//     offset, the smoothed cut-off of a voice with one copy) is kept four
//     voices side by side, so a group reads it as one vector; the listed
//     voices are sorted by their copies once per list (and again after a
//     note restarts); a group's output stays in the group for the mix.

#include "core/aplugin.h"
#include "core/numeric.h"

#include "engine/filters.h"
#include "engine/voice_mix.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <utility>

namespace {

static_assert(kFilterLanes == kNumLanes, "one comb ring per lane");
static_assert(kFilterVoices == kNumVoices && kFilterGroups * 4 == kNumVoices,
              "voice v with one copy is lane v % 4 of group v / 4");

inline int freqIndex(float position) {
    return static_cast<int>(clampTo(position, 0.0f, 1.0f) * kFilterCurveIndexScale);
}

// Values every voice of a frame shares.
struct FilterFrame {
    const FilterContext& ctx;
    const float* freq;    // FREQ
    const float* sinHalf; // SIN_HALF
    float ceiling;        // Hz
    float cutoffTag, resonanceTag, envAmountTag, envSign;
    bool hiPassOn, hiPassQOn;
    float hiPassTag = 0.0f, hiPassQTag = 0.0f; // read while the high-pass is on
};

// The voice's cut-off before the copies' offsets; the attack cut short.
struct VoiceCutoff {
    float position; // normalised
    float q;
};
inline VoiceCutoff voiceCutoff(VoiceState& voice, const FilterFrame& frame, float modWheelTerm,
                               float velocityTerm, float keyRatio) {
    VoiceDspState& dsp = voice.dsp;
    const auto& dst = voice.mod.dst;
    if (dsp.filterFreqSmoothed != frame.cutoffTag)
        dsp.filterFreqSmoothed =
            (dsp.filterFreqSmoothed - frame.cutoffTag) * 0.985f + frame.cutoffTag;
    const float amount =
        clampTo(frame.envAmountTag + dst[dst::FilterEnvAmount], 0.0f, 1.0f) * frame.envSign;
    const float position = voice.mod.src[src::EnvFirst + 2 * kEnvFilter] * amount + modWheelTerm +
                           velocityTerm + dst[dst::FilterFreq] + dsp.filterFreqSmoothed;
    // An envelope that would open the filter beyond the ceiling has nothing
    // left to do in its attack.
    EnvelopeState& env = voice.env[kEnvFilter];
    if (amount > 0.0f && env.stage == kEnvAttack &&
        frame.ceiling < frame.freq[freqIndex(position)] * keyRatio)
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

// The filter input of a voice's lanes: the mean of its oscillator
// sub-samples 2j and 2j + 1, scaled by 0.05; lanes from `copies` on get 0.
inline void laneInputs(const VoiceDspState& dsp, int copies, F4& x0, F4& x1) {
    __m128 r[4];
    for (int k = 0; k < 4; ++k)
        r[k] = k < copies ? _mm_loadu_ps(dsp.lanes[k].osc.data()) : _mm_setzero_ps();
    _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
    x0 = (F4(r[0]) + F4(r[1])) * 0.05f;
    x1 = (F4(r[2]) + F4(r[3])) * 0.05f;
}

inline F4 load(const float* f) {
    return _mm_load_ps(f);
}

// clampTo(v, 0, 1) of core/numeric.h lane by lane, -0 and NaN included:
// min(v, 1) where v >= 0, else 0.
inline F4 clamp01Exact(F4 v) {
    return (v >= F4(0.0f)) & stdMin(v, F4(1.0f));
}

// Floats 0, 1 and 2 of four places p[k] as three vectors.
inline void gatherThree(const float* const* p, F4& first, F4& second, F4& third) {
    const __m128 a0 = _mm_loadu_ps(p[0]), a1 = _mm_loadu_ps(p[1]);
    const __m128 a2 = _mm_loadu_ps(p[2]), a3 = _mm_loadu_ps(p[3]);
    const __m128 lo01 = _mm_unpacklo_ps(a0, a1), lo23 = _mm_unpacklo_ps(a2, a3);
    first = _mm_movelh_ps(lo01, lo23);
    second = _mm_movehl_ps(lo23, lo01);
    third = _mm_movelh_ps(_mm_unpackhi_ps(a0, a1), _mm_unpackhi_ps(a2, a3));
}

// The voices with one copy in group `group` (bit k of `lanes`: voice
// 4 group + k takes part), side by side in one vector: voiceCutoff(), the
// cut-off look-up and the filter with the arithmetic of the scalar forms,
// lane by lane (the same samples). Lanes that do not take part read their
// voice's values but write nothing back, and keep their filter state.
template <int Type>
inline void filterGroup(EngineState& engine, const FilterFrame& frame, unsigned group, int lanes) {
    FilterGlobal& fg = engine.filter;
    FilterGroup& at = fg.groups[group];
    const FilterTerms4& terms = fg.terms[group];
    VoiceState* const voices = &engine.voices[group * 4];
    auto each = [&](auto&& field) {
        return F4::of(field(voices[0]), field(voices[1]), field(voices[2]), field(voices[3]));
    };
    const F4 active = maskOf(lanes);
    const int force = static_cast<int>(fg.noteStarts >> (group * 4)) & lanes;

    // voiceCutoff(), four at a time.
    const F4 cutoffTag = frame.cutoffTag;
    F4 smoothed = at.cutoffSmoothed;
    const F4 smoothing = (smoothed != cutoffTag) & active;
    if (maskBits(smoothing) != 0) {
        smoothed = select(smoothing, (smoothed - cutoffTag) * 0.985f + cutoffTag, smoothed);
        at.cutoffSmoothed = smoothed;
    }
    static_assert(dst::FilterQ == dst::FilterFreq + 1 &&
                  dst::FilterEnvAmount == dst::FilterFreq + 2 && dst::FilterFreq + 4 <= dst::Count);
    const float* const modulation[4] = {
        &voices[0].mod.dst[dst::FilterFreq], &voices[1].mod.dst[dst::FilterFreq],
        &voices[2].mod.dst[dst::FilterFreq], &voices[3].mod.dst[dst::FilterFreq]};
    F4 freqModulation, qModulation, envModulation;
    gatherThree(modulation, freqModulation, qModulation, envModulation);
    const F4 amount = clamp01Exact(frame.envAmountTag + envModulation) * frame.envSign;
    const F4 cutPosition = each([](const VoiceState& v) {
                               return v.mod.src[src::EnvFirst + 2 * kEnvFilter];
                           }) * amount +
                           terms.modWheel + terms.velocity + freqModulation + smoothed;
    const F4 keyRatio = terms.keyRatio;
    // An envelope that would open the filter beyond the ceiling has nothing
    // left to do in its attack.
    if (const int bits = maskBits(amount > F4(0.0f)) & lanes) {
        const __m128i stages =
            _mm_setr_epi32(voices[0].env[kEnvFilter].stage, voices[1].env[kEnvFilter].stage,
                           voices[2].env[kEnvFilter].stage, voices[3].env[kEnvFilter].stage);
        const int attack =
            _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(stages, _mm_set1_epi32(kEnvAttack)))) &
            bits;
        for (int rest = attack; rest != 0; rest &= rest - 1) {
            const int k = std::countr_zero(static_cast<unsigned>(rest));
            if (frame.ceiling < frame.freq[freqIndex(cutPosition[k])] * keyRatio[k])
                voices[k].env[kEnvFilter].stage = kEnvDecay;
        }
    }
    const F4 q = clamp01Exact(frame.resonanceTag + qModulation) * 0.9f;
    // While the key ratio and resonance stay put, a lane whose position did
    // not move keeps its Hz: no look-up.
    F4 unsteady = (q != at.lastQ) | (keyRatio != at.lastKeyRatio);
    if (force != 0) unsteady = unsteady | maskOf(force);
    if (lanes == 15) {
        at.lastQ = q;
        at.lastKeyRatio = keyRatio;
    } else {
        at.lastQ = select(active, q, at.lastQ);
        at.lastKeyRatio = select(active, keyRatio, at.lastKeyRatio);
    }
    F4 hiPassF, hiPassQ;
    if (frame.hiPassOn) {
        alignas(16) float f[4] = {}, q[4] = {1.0f, 1.0f, 1.0f, 1.0f};
        for (int k = 0; k < 4; ++k)
            if (lanes >> k & 1) voiceHighPass(voices[k], frame, f[k], q[k]);
        hiPassF = load(f);
        hiPassQ = load(q);
    }

    if constexpr (Type != kFilterBypass) {
        const F4 position = cutPosition + terms.copyOffset;
        const F4 moved = (unsteady | (position != at.position)) & active;
        if (maskBits(moved)) {
            at.position = select(moved, position, at.position);
            const F4 clamped = clampTo(position, F4(0.0f), F4(1.0f)); // as freqIndex()
            const F4 table = gather(frame.freq, truncate(clamped * kFilterCurveIndexScale));
            const F4 hz = stdMin(table * keyRatio, F4(frame.ceiling));
            at.lanes.retune<Type>(frame.ctx, hz, q, maskOf(force), moved);
        }
    }
    CombRing* rings = &engine.filter.combRings[static_cast<std::size_t>(group) * 4 * kUnisonCopies];
    __m128 r0 = _mm_loadu_ps(voices[0].dsp.lanes[0].osc.data());
    __m128 r1 = _mm_loadu_ps(voices[1].dsp.lanes[0].osc.data());
    __m128 r2 = _mm_loadu_ps(voices[2].dsp.lanes[0].osc.data());
    __m128 r3 = _mm_loadu_ps(voices[3].dsp.lanes[0].osc.data());
    _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
    F4 x0 = (F4(r0) + F4(r1)) * 0.05f;
    F4 x1 = (F4(r2) + F4(r3)) * 0.05f;
    if constexpr (Type == kFilterCombPlus || Type == kFilterCombMinus) {
        float* ringData[4] = {rings[0].data(), rings[kUnisonCopies].data(),
                              rings[2 * kUnisonCopies].data(), rings[3 * kUnisonCopies].data()};
        at.lanes.runLanes<Type>(frame.ctx, ringData, lanes, x0, x1);
    } else {
        at.lanes.runLanes<Type>(frame.ctx, nullptr, lanes, x0, x1);
    }
    if (frame.hiPassOn) {
        ResonantHighPassT<F4> hp = at.highPass;
        x0 = hp.tick(x0, hiPassF, hiPassQ);
        x1 = hp.tick(x1, hiPassF, hiPassQ);
        at.highPass.low = select(active, hp.low, at.highPass.low);
        at.highPass.band = select(active, hp.band, at.highPass.band);
    }
    x0 *= 10.0f;
    x1 *= 10.0f;
    // A lane that was fed a NaN or ran away starts again rather than
    // staying silent until its next note.
    const int bad = ~maskBits(abs(x0 + x1) < F4(1e30f)) & lanes;
    if (bad != 0) [[unlikely]] {
        for (int k = 0; k < 4; ++k) {
            if (!(bad >> k & 1)) continue;
            const F4 lane = onlyLane(k);
            const float hz = at.lanes.cutoff(k);
            at.resetLane(k);
            if (Type == kFilterCombPlus || Type == kFilterCombMinus)
                rings[static_cast<std::size_t>(k) * kUnisonCopies].fill(0.0f);
            at.lanes.retune<Type>(frame.ctx, F4(hz), q, lane, lane);
            x0.set(k, 0.0f);
            x1.set(k, 0.0f);
        }
    }
    // The mix takes the output from here.
    const F4 mean = (x0 + x1) * 0.5f;
    if (lanes == 15) {
        at.out = {x0, x1};
        for (int k = 0; k < 4; ++k) voices[k].mod.src[src::FilterOut] = mean[k];
    } else {
        at.out[0] = select(active, x0, at.out[0]);
        at.out[1] = select(active, x1, at.out[1]);
        for (int k = 0; k < 4; ++k)
            if (lanes >> k & 1) voices[k].mod.src[src::FilterOut] = mean[k];
    }
    if (force != 0) fg.noteStarts &= ~(static_cast<uint32_t>(force) << (group * 4));
}

// A voice with several copies: its own lanes side by side.
template <int Type>
void filterCopies(EngineState& engine, int v, const FilterFrame& frame, const VoiceCutoff& cut,
                  float keyRatio, bool noteStart, bool steady, float hiPassF, float hiPassQ) {
    VoiceState& voice = engine.voices[v];
    FilterVoice& fv = voice.dsp.filter;
    CombRing* rings = &engine.filter.combRings[static_cast<std::size_t>(v) * kUnisonCopies];
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
            fv.lanes.retune<Type>(frame.ctx, hz, cut.q, noteStart ? active : F4(0.0f), active);
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
}

// Every listed voice through the filter of one type: the voices with several
// copies one by one, their copies side by side; then the voices with one copy
// four at a time in their groups.
template <int Type> void filterVoices(EngineState& engine, const FilterFrame& frame) {
    FilterGlobal& fg = engine.filter;
    const uint32_t listed = engine.render.listedVoices;
    if (!fg.sorted || listed != fg.sortedList) {
        uint32_t single = 0;
        for (uint32_t rest = listed; rest != 0; rest &= rest - 1) {
            const int v = std::countr_zero(rest);
            single |= static_cast<uint32_t>(engine.voices[v].uniVoices <= 1) << v;
        }
        fg.sortedList = listed;
        fg.singles = single;
        fg.several = listed & ~single;
        fg.sorted = true;
    }
    for (uint32_t several = fg.several; several != 0; several &= several - 1) {
        const int v = std::countr_zero(several);
        VoiceState& voice = engine.voices[v];
        FilterVoice& fv = voice.dsp.filter;
        const FilterTerms4& terms = fg.terms[static_cast<std::size_t>(v / 4)];
        const float keyRatio = terms.keyRatio[v % 4];
        const VoiceCutoff cut =
            voiceCutoff(voice, frame, terms.modWheel[v % 4], terms.velocity[v % 4], keyRatio);
        const bool noteStart = fg.noteStarts >> v & 1;
        // While the key ratio and resonance stay put, a copy whose position
        // did not move keeps its Hz: no look-up, no comparison.
        const bool steady = !noteStart && cut.q == fv.lastQ && keyRatio == fv.lastKeyRatio;
        fv.lastQ = cut.q;
        fv.lastKeyRatio = keyRatio;
        float hiPassF = 0.0f, hiPassQ = 1.0f;
        if (frame.hiPassOn) voiceHighPass(voice, frame, hiPassF, hiPassQ);
        filterCopies<Type>(engine, v, frame, cut, keyRatio, noteStart, steady, hiPassF, hiPassQ);
        fg.noteStarts &= ~(1u << v);
    }
    for (uint32_t single = fg.singles, group = 0; single != 0; ++group, single >>= 4)
        if (single & 15u) filterGroup<Type>(engine, frame, group, static_cast<int>(single & 15u));
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

    FilterFrame frame{fg.context,
                      curves.FREQ.data(),
                      curves.SIN_HALF.data(),
                      rate.filterCeiling,
                      getCurrentValue(tag::FilterFreq),
                      getCurrentValue(tag::FilterQ),
                      getCurrentValue(tag::EnvToFilterFreq),
                      fg.envelopeSign,
                      fg.hiPassOn,
                      fg.hiPassQOn};
    if (frame.hiPassOn) {
        frame.hiPassTag = getCurrentValue(tag::HiPassFreq);
        frame.hiPassQTag = getCurrentValue(tag::HiPassQ);
    }
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
        fg.groups[static_cast<std::size_t>(i / 4)].resetLane(i % 4);
        voice.dsp.filter.hiPassInput = -1.0f;
        if (comb) {
            const int copies =
                mode == 3 ? std::clamp(voice.uniVoices, 1, kUnisonCopies) : kUnisonCopies;
            for (int k = 0; k < copies; ++k)
                fg.combRings[static_cast<std::size_t>(i) * kUnisonCopies + k].fill(0.0f);
        }
    };
    fg.sorted = false; // a restarted note may have taken another number of copies
    if (mode == 1 || mode == 2) {
        for (int i = 0; i < kNumVoices; ++i) clearVoice(i);
    } else if (mode == 3 && isValidVoice(v)) {
        clearVoice(v);
        fg.noteStarts |= 1u << v;
        // The note starts from the smoothed cut-off and pan it was given.
        fg.groups[static_cast<std::size_t>(v / 4)].cutoffSmoothed.set(
            v % 4, engine.voices[v].dsp.filterFreqSmoothed);
        VoiceMix::noteStart(engine.mixGains.data(), engine.voices[v], v);
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
    FilterTerms4& terms = engine.filter.terms[static_cast<std::size_t>(v / 4)];
    const int lane = v % 4;
    terms.modWheel.set(lane, (2.0f * getCurrentValue(tag::ModWheelToFilterFreq) - 1.0f) *
                                 voice.mod.src[src::ModWheel]);
    terms.velocity.set(lane, getCurrentValue(tag::VelocityToFilterFreq) * voice.velocity);
    const float pitch = std::isfinite(voice.pitch) ? voice.pitch : 0.0f;
    // The exp2s are taken again only when their inputs moved.
    const float keyInput = (2.0f * getCurrentValue(tag::KeyToFilterFreq) - 1.0f) * pitch;
    if (keyInput != fv.keyRatioInput) {
        fv.keyRatioInput = keyInput;
        terms.keyRatio.set(lane, std::exp2(keyInput));
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
