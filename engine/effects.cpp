// The effect chain of APlugin (units in effects.h).
//
// Where each part runs:
//   every frame      runFX: the chain on the bus after the voices, frame by
//                    frame (doFX) or on a run of frames up to the next tick
//                    or event (APlugin::finishFxRun) while nothing reads its
//                    output; effect LFOs step every 4 frames
//   every 16 frames  updateGlobalDerivedValues: stereo offsets and the
//                    chain's coefficients (lengths, feedback, filters, mixes);
//                    while their inputs rest, only the reverb's taps and
//                    loop-gain sines move
//   setGlobalRare    updateFXRare: enables, and a fresh start when the
//                    flanger/phaser choice changes or a reset is pending
//   any thread       requestFXReset, setReverbSampleRate: flags that the
//                    audio thread carries out before its next frame

#include "core/aplugin.h"

#include "core/mod_slots.h"
#include "core/numeric.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <xmmintrin.h>

namespace {

constexpr float kSilence = 0.0001f;
constexpr float kSleepSeconds = 8.0f;
constexpr float kInScale = 0.1f, kOutScale = 10.0f;
constexpr float kPeakLimit = 0.9f;
constexpr float kMixSmooth = 0.99f;
constexpr float kDelayWetScale = 0.9f;
constexpr float kReverbWetScale = 0.707f * 0.9f;
constexpr int kChorus = 0, kFlanger = 1, kPhaser = 2;
// Reverb input taps: spans in ms; taps 1 and 3 follow the first effect
// rate, 2 and 4 the second.
constexpr double kTapSpanMs[4] = {4.278032, 17.379171, 63.0, 41.224243};
constexpr float kPhaserQ = 0.7071f;

// floor(x) for 0 <= x < 2^63.
double wholePart(double x) {
    return static_cast<double>(static_cast<long long>(x));
}

// Gains of a wet/dry mix w and of a balance b (both 0.5 in the middle).
float wetGain(float w) {
    return clampTo(2.0f * w, 0.0f, 1.0f);
}
float dryGain(float w) {
    return clampTo(2.0f - 2.0f * w, 0.0f, 1.0f);
}
float leftGain(float b) {
    return clampTo(2.0f - 2.0f * b, 0.0f, 1.0f);
}
float rightGain(float b) {
    return clampTo(2.0f * b, 0.0f, 1.0f);
}

// The bus with a wet signal of four sub-samples mixed in.
[[gnu::always_inline]] inline void mixInto(FxQuad& bus, float w, float gainL, float gainR,
                                           FxQuad wet) {
    const float wl = wetGain(w) * gainL;
    const float wr = wetGain(w) * gainR;
    const FxQuad gains = {wl, wr, wl, wr};
    bus = bus * dryGain(w) + wet * gains;
}

// The wet gains and dry gain of mixInto for a mix w that stays as it is.
struct FixedMix {
    FxQuad gains;
    float dry;

    FixedMix(float w, float gainL, float gainR) {
        const float wl = wetGain(w) * gainL;
        const float wr = wetGain(w) * gainR;
        gains = FxQuad{wl, wr, wl, wr};
        dry = dryGain(w);
    }
    void apply(FxQuad& bus, FxQuad wet) const { bus = bus * dry + wet * gains; }
};

// The smoothed mix m stands still on its knob value k: one more step,
// (m - k) x 0.99 + k, gives m back bit for bit (it may rest a step away
// from k), and so does every step after it.
bool mixSettled(float m, float k) {
    const float next = (m - k) * kMixSmooth + k;
    return std::bit_cast<uint32_t>(next) == std::bit_cast<uint32_t>(m);
}

// A stage's wet signal mixed into the bus frame by frame over a run: the
// mix m glides towards its knob k (m = (m - k) x 0.99 + k per frame) with
// the modulation added, or, once settled, keeps its gains for the run.
struct WetMix {
    float mix;
    const float knob, mod, gainL, gainR;
    const bool settled;
    const FixedMix fixed;

    WetMix(float mix, float knob, float mod, float gainL, float gainR)
        : mix(mix), knob(knob), mod(mod), gainL(gainL), gainR(gainR),
          settled(mixSettled(mix, knob)), fixed(mix + mod, gainL, gainR) {}

    [[gnu::always_inline]] void apply(FxQuad& bus, FxQuad wet) {
        if (settled) {
            fixed.apply(bus, wet);
        } else {
            mix = (mix - knob) * kMixSmooth + knob;
            mixInto(bus, mix + mod, gainL, gainR, wet);
        }
    }
};

// The pan modulation turns at a quarter of its LFO's rate, times 4^m for
// the speed modulation m.
double panSpeed(float m) {
    return 0.25 * std::exp2(2.0 * clampTo(m, -4.0f, 4.0f));
}

stereoStruct meanOfPairs(FxQuad bus) {
    const FxQuad sum = (bus + __builtin_shufflevector(bus, bus, 2, 3, 0, 1)) * 0.5f;
    return {sum[0], sum[1]};
}

std::array<float, 4> toArray(FxQuad q) {
    std::array<float, 4> a;
    std::memcpy(a.data(), &q, sizeof q);
    return a;
}

// ((lfo / 2 + 1/2) x depth + 1 - depth) x span + 10 samples, lane by lane:
// the chorus's left and right in lanes 0 and 1, the flanger's in 2 and 3.
FxQuad sweptLengths(FxQuad lfo, FxQuad depth, FxQuad span) {
    return ((lfo * 0.5f + 0.5f) * depth + 1.0f - depth) * span + 10.0f;
}

// Four all-pass sections with coefficients a1, a2 (and 1 for the last
// term); every section's output stays within +-100.
float phaserSections(PhaserChannel& ch, float x, float a1, float a2) {
    for (int s = 0; s < PhaserChannel::kStages; ++s) {
        float y = a2 * x + a1 * ch.x1[s] + ch.x2[s] - a1 * ch.y1[s] - a2 * ch.y2[s];
        y = clampTo(y, -100.0f, 100.0f);
        ch.x2[s] = ch.x1[s];
        ch.x1[s] = x;
        ch.y2[s] = ch.y1[s];
        ch.y1[s] = y;
        x = y;
    }
    ch.last = x;
    return x;
}

// The reverb's share of a control pass that moves on every pass: its four
// input taps walk on their triangles by 16 frames, and the loop gains follow
// sines of the frame counter.
void stepReverbTaps(EffectChainState& fx, const RateState& rs, float widenDest) {
    const float rate = rs.sampleRate;
    const double rates[4] = {rs.fxRate1, rs.fxRate2, rs.fxRate1, rs.fxRate2};
    const float depth = clamp01(widenDest + 0.5f);
    const uint64_t counter = fx.frame;
    int widen[4];
    double turns[4];
    for (int k = 0; k < 4; ++k) {
        double& p = fx.tapPhase[k];
        p += 16.0 * rates[k];
        p -= wholePart(p);
        const double tri = 1.0 - std::fabs(2.0 * p - 1.0);
        widen[k] =
            static_cast<int>(rate / 1000.0 * kTapSpanMs[k] * (tri * depth + 1.0 - depth) + 1.0);
        const double m = static_cast<double>(counter) * rates[k] + 0.25 * k;
        turns[k] = m - wholePart(m);
    }
    float mod[4];
    ReverbLoopGain::of4(turns, mod);
    fx.reverb.setWiden(widen[0], widen[1], widen[2], widen[3]);
    fx.reverb.setMod(mod[0], mod[1], mod[2], mod[3]);
}

// Whether a full pass of updateFXDerived would find the inputs of its last
// one: no value, lock, effect destination sum, rate, tempo, table or switch
// changed since (a reset or an effect switched on forgets them). The inputs
// are recorded for the full pass otherwise; the change count before the
// values are read.
bool controlInputsRest(APlugin& p) {
    const EngineState& engine = p.engine;
    const EffectChainState& fx = engine.fx;
    EffectControlInputs& seen = p.engine.fx.ctlSeen;
    const uint32_t changes = p.core.valueChanges.load(std::memory_order_acquire);
    const EffectTables* tables = fx.tables.load(std::memory_order_relaxed);
    const float rate = engine.rate.sampleRate, tempo = engine.render.tempo;
    const uint32_t switches = (fx.chorusOn ? 1u : 0u) | (fx.modOn ? 2u : 0u) |
                              (fx.phaser ? 4u : 0u) | (fx.delayOn ? 8u : 0u) |
                              (fx.reverbOn ? 16u : 0u);
    const float* dests = engine.global.dst.data() + EffectControlInputs::kFirstDest;
    auto same = [](float a, float b) {
        return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
    };
    if (seen.valid && !engine.render.controlPlan.everyFrame && seen.valueChanges == changes &&
        seen.tables == tables && same(seen.sampleRate, rate) && same(seen.tempo, tempo) &&
        seen.switches == switches && std::memcmp(seen.dests.data(), dests, sizeof seen.dests) == 0)
        return true;
    seen.valueChanges = changes;
    seen.tables = tables;
    seen.sampleRate = rate;
    seen.tempo = tempo;
    seen.switches = switches;
    std::memcpy(seen.dests.data(), dests, sizeof seen.dests);
    seen.valid = true;
    return false;
}

} // namespace

float APlugin::getStereoSpread(float v) {
    return std::exp2(8.0f * v) * 8.0f + 1.0f;
}

void APlugin::requestFXReset() {
    engine.fx.resetRequested.store(true, std::memory_order_relaxed);
}

// A rate change: the shared tables of the new rate (a reference the caller
// acquired) now, the delay lines and the reverb rebuilt on the audio thread
// before its next frame of the chain.
void APlugin::setReverbSampleRate(const EffectTables* tables) {
    engine.fx.useTables(tables);
    requestFXReset();
}

// Audio thread (or construction): every effect starts afresh at the current
// rate; the reverb is silent.
void APlugin::initFX() {
    EffectChainState& fx = engine.fx;
    fx.resetRequested.store(false, std::memory_order_relaxed);
    const float rate = engine.rate.sampleRate;
    if (!fx.tables.load(std::memory_order_relaxed)) fx.useTables(EffectTables::acquire(rate));
    fx.chorusDelay.init(rate);
    fx.flangerDelay.init(rate);
    fx.effectDelay.init(rate);
    fx.reverbPreDelay.init(rate);
    fx.reverb.setSampleRate(rate);
    fx.reverb.mute();
    for (EffectLfoState& l : fx.lfo) EffectLfo::reset(l);
    fx.chorusTone = {};
    fx.modTone = {};
    fx.phaserChannel = {};
    if (fx.phaserDirty) fx.phaserHistory.fill(0.0f);
    fx.phaserDirty = false;
    fx.phaserPos = 0;
    fx.peak = 0.0f;
    fx.tapPhase = {0.0, 0.25, 0.5, 0.75};
    fx.silence = 0;
    fx.asleep = false;
    fx.choiceSeen = getFlangerOrPhaser();
    fx.ctlSeen.valid = false; // the units forgot their settings
    updateFXControls();
    fx.chorusMix = fx.ctl.chorusMix;
    fx.modMix = fx.ctl.modMix;
    fx.delayMix = fx.ctl.delayMix;
    fx.reverbMix = fx.ctl.reverbMix;
}

// At construction (core/startup.cpp): the effect chain at the stored rate,
// a request to clear the arpeggiator's magic steps, and the global and every
// voice's XY replay from the start.
void APlugin::initEffectChain() {
    initFX(); // the four delay lines at the stored rate, the reverb silent
    resetArpMagic(false);
    initXY(2, -1);
}

void APlugin::restartEffectLfos() {
    for (EffectLfoState& l : engine.fx.lfo) {
        l.phaseLeft = l.phaseRight = l.phaseThird = 0.0;
        l.hum = 1.0;
        l.stepAcc = 0.0;
    }
}

// Part of setGlobalRare.
void APlugin::updateFXRare() {
    EffectChainState& fx = engine.fx;
    fx.frame = engine.render.sampleCounter;
    const bool phaser = getFlangerOrPhaser();
    if (phaser != fx.choiceSeen || engine.render.forceFX ||
        fx.resetRequested.load(std::memory_order_relaxed))
        initFX();
    const bool wasOn[4] = {fx.chorusOn, fx.modOn, fx.delayOn, fx.reverbOn};
    fx.phaser = phaser;
    fx.chorusOn = getOnOff(tag::ChorusOn);
    fx.modOn = getOnOff(tag::FlangerPhaserOn);
    fx.delayOn = getOnOff(tag::DelayOn);
    fx.reverbOn = getOnOff(tag::ReverbOn);
    fx.anyOn = fx.chorusOn || fx.modOn || fx.delayOn || fx.reverbOn;
    const bool isOn[4] = {fx.chorusOn, fx.modOn, fx.delayOn, fx.reverbOn};
    bool started = false;
    for (int e = 0; e < 4; ++e) started |= isOn[e] && !wasOn[e];
    if (started) {
        fx.ctlSeen.valid = false;
        updateFXControls();
    }

    // The level sources of effects that are off read 0.
    const int sources[3] = {src::ChorusOut, src::ModFxOut, src::DelayOut};
    for (int e = 0; e < 3; ++e)
        if (!isOn[e] && engine.global.src[sources[e]] != 0.0f) setFrameSource(sources[e], 0.0f);
}

// Step 10.10 of the 16-frame block, the effect chain's share: the three
// right-channel offsets, then the chain's coefficients.
void APlugin::updateGlobalDerivedValues() {
    updateFXDerived(engine.render.sampleCounter);
}

// The same for the frame at sample counter `frame` (a waking chain).
void APlugin::updateFXDerived(uint64_t frame) {
    EffectChainState& fx = engine.fx;
    if (!fx.anyOn || fx.asleep) return;
    fx.frame = frame;
    const auto& d = engine.global.dst;
    if (controlInputsRest(*this)) { // the rest would change nothing
        if (fx.reverbOn) stepReverbTaps(fx, engine.rate, d[dst::ReverbPreWiden]);
        return;
    }
    const float widen[3] = {clamp01(d[dst::ChorusWiden] + 0.5f), clamp01(d[dst::FlangerWiden]),
                            clamp01(d[dst::PhaserWiden] + 0.5f)};
    for (int n = 0; n < 3; ++n)
        fx.spread[n] = static_cast<float>(fx.spreadMemo[n](widen[n], getStereoSpread));
    updateFXControls();
}

void APlugin::updateFXControls() {
    EffectChainState& fx = engine.fx;
    EffectControls& c = fx.ctl;
    const EffectTables& t = *fx.tables.load(std::memory_order_relaxed);
    const auto& d = engine.global.dst;
    const float rate = engine.rate.sampleRate;
    auto knob = [this](int tag) { return getCurrentValue(tag); };
    auto balance = [&](int dest, float& gl, float& gr) {
        const float b = clamp01(d[dest] + 0.5f);
        gl = leftGain(b);
        gr = rightGain(b);
    };

    if (fx.chorusOn) {
        c.chorusSpan = rate * 0.05f * clamp01(knob(tag::ChorusLength) + d[dst::ChorusLength]);
        c.chorusDepth = clamp01(knob(tag::ChorusWidth) + d[dst::ChorusWidth]) * 0.99f;
        c.chorusLo = t.lowPass[EffectTables::index(knob(tag::ChorusLP) + d[dst::ChorusLP])];
        c.chorusHi = t.lowPass[EffectTables::index(knob(tag::ChorusHP) + d[dst::ChorusHP])];
        c.chorusMix = knob(tag::ChorusMix);
        c.chorusMixMod = d[dst::ChorusMix];
        balance(dst::ChorusPan, c.chorusGainL, c.chorusGainR);
    }

    if (fx.modOn && !fx.phaser) {
        c.modSpan = rate * 0.05f * clamp01(knob(tag::FlangerLength) + d[dst::FlangerLength]);
        c.modDepth = clamp01(knob(tag::FlangerWidth) + d[dst::FlangerWidth]) * 0.99f;
        c.modLo = t.lowPass[EffectTables::index(d[dst::FlangerLP] + 1.0f)];
        c.modHi = t.lowPass[EffectTables::index(d[dst::FlangerHP])];
        c.modMix = knob(tag::FlangerMix);
        c.modMixMod = d[dst::FlangerMix];
        c.panMod = knob(tag::FlangerPanMod) + d[dst::FlangerPanMod];
        c.pan = d[dst::FlangerPan];
        c.panSpeed[kFlanger] = fx.panSpeedMemo[0](d[dst::FlangerPanModSpeed], panSpeed);
        // The flanger's feedback is always inverted.
        fx.flangerDelay.setFeed(
            -clampTo(knob(tag::FlangerFeed) + d[dst::FlangerFeed], -1.0f, 1.0f));
    } else if (fx.modOn) {
        c.phaserDepth = clamp01(knob(tag::PhaserWidth) + d[dst::PhaserWidth]) * 0.5f;
        c.phaserRange = 2.0f * clamp01(knob(tag::PhaserPitch) + d[dst::PhaserPitch]);
        const float q = kPhaserQ * std::exp2(2.0f * clampTo(d[dst::PhaserQ], -1.0f, 1.0f));
        c.phaserInvTwoQ = 0.5f / q;
        c.phaserFeed = clampTo(knob(tag::PhaserFeed) + d[dst::PhaserFeed], -0.95f, 0.95f);
        c.modLo = t.lowPass[EffectTables::index(d[dst::PhaserLP] + 1.0f)];
        c.modHi = t.lowPass[EffectTables::index(d[dst::PhaserHP])];
        c.modMix = knob(tag::PhaserMix);
        c.modMixMod = d[dst::PhaserMix];
        c.panMod = knob(tag::PhaserPanMod) + d[dst::PhaserPanMod];
        c.pan = d[dst::PhaserPan];
        c.panSpeed[kPhaser] = fx.panSpeedMemo[1](d[dst::PhaserPanModSpeed], panSpeed);
    }

    if (fx.delayOn) {
        TDelay& dl = fx.effectDelay;
        dl.setTempo(engine.render.tempo);
        dl.setTimeSync(knob(tag::DelaySyncOn));
        const float scale = static_cast<float>(fx.delayScaleMemo(
            clampTo(d[dst::DelayLength], -1.0f, 1.0f), [](float m) { return std::exp2(m); }));
        const float offset = clampTo(d[dst::DelayFineLength], -1.0f, 1.0f) * rate * 0.01f;
        dl.setDelayLen(clamp01(knob(tag::DelayLeft) + d[dst::DelayLeftLength]),
                       clamp01(knob(tag::DelayRight) + d[dst::DelayRightLength]), offset, offset,
                       scale);
        dl.setEqual(1.0f);
        const float feed = knob(tag::DelayFeed) + d[dst::DelayFeed];
        dl.setFeed(feed < 0.0f ? -0.99f : clamp01(feed) * 1.98f - 0.99f, 0.0f);
        dl.setFeedFilter(clamp01(knob(tag::DelayLP) + d[dst::DelayLP]),
                         clamp01(knob(tag::DelayHP) + d[dst::DelayHP]));
        c.delayMix = knob(tag::DelayMix);
        c.delayMixMod = d[dst::DelayMix];
        balance(dst::DelayPan, c.delayGainL, c.delayGainR);
        c.delayGainL *= kDelayWetScale;
        c.delayGainR *= kDelayWetScale;
    }

    if (fx.reverbOn) {
        TBasicReverb& rv = fx.reverb;
        stepReverbTaps(fx, engine.rate, d[dst::ReverbPreWiden]);
        rv.setRoomSize(clamp01(knob(tag::ReverbSize) + d[dst::ReverbSize]));
        rv.setDamp(clamp01(knob(tag::ReverbDamp) + d[dst::ReverbDamp]));
        rv.setFilter(clamp01(knob(tag::ReverbHP) + d[dst::ReverbHP]));
        const float s = static_cast<float>(
            fx.reverbSizeMemo(clamp01(knob(tag::ReverbLength) + d[dst::ReverbLength]),
                              [](float v) { return std::exp2(v * 8.0f - 6.0f); }));
        rv.setSize(s, s * 1.1f);
        const float pre = clampTo(knob(tag::ReverbPreDelay) + d[dst::ReverbPreDelay], 0.0f, 4.0f);
        const float preCurve =
            static_cast<float>(fx.preDelayMemo(pre, [](float v) { return std::exp2(v * 10.0f); }));
        fx.reverbPreDelay.setDelayLenDirect(preCurve / 2000.0f * rate + 1.0f);
        fx.reverbPreDelay.setFeed(clampTo(d[dst::ReverbPreFeed], -0.9f, 0.9f));
        c.reverbMix = knob(tag::ReverbMix);
        c.reverbMixMod = d[dst::ReverbMix];
        balance(dst::ReverbPan, c.reverbGainL, c.reverbGainR);
        c.reverbGainL *= kReverbWetScale;
        c.reverbGainR *= kReverbWetScale;
    }
}

// The level of the bus as the chain carries it, that is after its input
// scale (kInScale) and before the output scale brings it back.
void APlugin::setFXSource(int source, const std::array<float, 4>& bus) {
    const float mean = (bus[0] + bus[1] + bus[2] + bus[3]) * 0.25f;
    setFrameSource(source, clampTo(mean, -1.0f, 1.0f));
    engine.fx.outputsClear = false;
}

void APlugin::clearFXSources() {
    EffectChainState& fx = engine.fx;
    if (fx.outputsClear) return;
    for (int s : {src::ChorusOut, src::ModFxOut, src::DelayOut}) setFrameSource(s, 0.0f);
    fx.outputsClear = true;
}

// One frame of the chain on the working block. `force` works even while
// the chain sleeps.
void APlugin::doFX(bool force) {
    EffectChainState& fx = engine.fx;
    std::array<float, 4>& block = engine.render.fxBlock;
    // The chain off, or asleep and still silent: nothing to work on.
    if (!fx.resetRequested.load(std::memory_order_relaxed)) {
        if (fx.asleep && !force && std::fabs(block[0]) + std::fabs(block[1]) <= kSilence) return;
        if (!fx.anyOn) {
            clearFXSources();
            return;
        }
    }
    runFX(&block, 1, engine.render.sampleCounter, force);
}

namespace {

// The inputs of effect LFO n's steps: made afresh only when the raw values
// they come from changed (they change at control ticks, never within a run
// of frames).
const EffectLfoReadyInputs& effectLfoInputs(EngineState& engine, int n) {
    struct Dests {
        int phase, separation, spread, human;
    };
    static constexpr Dests kDests[3] = {
        {dst::ChorusPhase, dst::ChorusSep, dst::ChorusSpread, dst::ChorusHuman},
        {dst::FlangerPhase, dst::FlangerSep, dst::FlangerSpread, dst::FlangerHuman},
        {dst::PhaserPhase, dst::PhaserSep, dst::PhaserSpread, dst::PhaserHuman},
    };
    const Dests& dn = kDests[n];
    const auto& d = engine.global.dst;
    EffectChainState& fx = engine.fx;
    const EffectLfoRate& rate = engine.lfo.effects[n];
    const EffectLfoInputKey key{rate.rate,   fx.ctl.panSpeed[n], d[dn.spread],
                                d[dn.phase], d[dn.separation],   d[dn.human]};
    EffectLfoKeptInputs& kept = fx.lfoInputs[n];
    if (!kept.valid || !key.sameBits(kept.key)) {
        EffectLfoInputs in;
        in.rate = key.rate;
        in.thirdRate = key.rate * key.panSpeed;
        in.stereoRate = std::max(0.0, 3.0 * key.spread + 1.0);
        in.phase = key.phase;
        in.separation = key.separation;
        in.humDepth = key.human;
        in.third = n != kChorus; // the chorus has no pan to move
        in.shaping = &rate.shaping;
        kept.ready = EffectLfoReadyInputs(in);
        kept.key = key;
        kept.valid = true;
    }
    return kept.ready;
}

// The stages on frames [0, count) that are all awake, with no control step
// between them: each stage passes over every frame before the next starts
// (stage by stage is the same as frame by frame, since a stage reads only
// the bus before it and its own state). A level source is written for
// every frame while a slot reads it, else only for the last one.
[[gnu::noinline]] void chainFrames(APlugin& p, FxQuad* bus, int count, uint64_t frame) {
    EffectChainState& fx = p.engine.fx;
    const EffectTables& t = *fx.tables.load(std::memory_order_relaxed);
    const EffectControls& c = fx.ctl;
    const auto& used = p.engine.matrix.sourceUsed;

    // The effect LFOs first, frame by frame (they draw on one shared random
    // source in frame order): stepped on every fourth sample counter,
    // ramped in between. The chorus's and the flanger's delay lengths follow
    // from them side by side.
    using Lanes = EffectLfoState::Lanes;
    Lanes modLfo[EffectChainState::kRunFrames];
    FxQuad lengths[EffectChainState::kRunFrames];
    const FxQuad depths = {c.chorusDepth, c.chorusDepth, c.modDepth, c.modDepth};
    const FxQuad spans = {c.chorusSpan, c.chorusSpan, c.modSpan, c.modSpan};
    const int modLfoIndex = fx.phaser ? kPhaser : kFlanger;
    EffectLfoState& chorusState = fx.lfo[kChorus];
    EffectLfoState& modState = fx.lfo[modLfoIndex];
    const EffectLfoReadyInputs* chorusIn = nullptr; // taken at the run's first step
    const EffectLfoReadyInputs* modIn = nullptr;
    const float* sine = engineTables().sineTable.data();
    // Between steps the ramped outputs stay here (an LFO that is off stays
    // at 0); a step starts from its own target, so only the run's last
    // outputs go back to the states.
    const bool chorusOn = fx.chorusOn, modOn = fx.modOn;
    Lanes chorusLfo = {}, chorusRamp = {}, modLfoNow = {}, modRamp = {};
    if (chorusOn) {
        chorusLfo = chorusState.outLanes;
        chorusRamp = chorusState.ramp;
    }
    if (modOn) {
        modLfoNow = modState.outLanes;
        modRamp = modState.ramp;
    }
    int nextStep = static_cast<int>((0 - frame) & 3); // the first frame on a multiple of 4
    for (int n = 0; n < count; ++n) {
        if (n == nextStep && chorusOn && modOn) {
            nextStep += 4;
            if (!chorusIn) chorusIn = &effectLfoInputs(p.engine, kChorus);
            if (!modIn) modIn = &effectLfoInputs(p.engine, modLfoIndex);
            EffectLfo::stepTwo(chorusState, *chorusIn, modState, *modIn, sine, fx.humSeed);
            chorusLfo = chorusState.outLanes;
            chorusRamp = chorusState.ramp;
            modLfoNow = modState.outLanes;
            modRamp = modState.ramp;
        } else if (n == nextStep) {
            nextStep += 4;
            if (chorusOn) {
                if (!chorusIn) chorusIn = &effectLfoInputs(p.engine, kChorus);
                EffectLfo::step(chorusState, *chorusIn, sine, fx.humSeed);
                chorusLfo = chorusState.outLanes;
                chorusRamp = chorusState.ramp;
            }
            if (modOn) {
                if (!modIn) modIn = &effectLfoInputs(p.engine, modLfoIndex);
                EffectLfo::step(modState, *modIn, sine, fx.humSeed);
                modLfoNow = modState.outLanes;
                modRamp = modState.ramp;
            }
        } else {
            chorusLfo += chorusRamp;
            modLfoNow += modRamp;
        }
        modLfo[n] = modLfoNow;
        lengths[n] =
            sweptLengths(__builtin_shufflevector(chorusLfo, modLfoNow, 0, 1, 4, 5), depths, spans);
    }
    if (chorusOn) chorusState.outLanes = chorusLfo;
    if (modOn) modState.outLanes = modLfoNow;

    if (fx.chorusOn) {
        ToneStage tone = fx.chorusTone;
        WetMix mix(fx.chorusMix, c.chorusMix, c.chorusMixMod, c.chorusGainL, c.chorusGainR);
        const int last = used[src::ChorusOut] ? 0 : count - 1;
        // Read once: the delay's writes could be taken to touch them.
        const float spread = fx.spread[kChorus], lo = c.chorusLo, hi = c.chorusHi;
        stereoStruct in[EffectChainState::kRunFrames], len[EffectChainState::kRunFrames],
            out[EffectChainState::kRunFrames];
        for (int n = 0; n < count; ++n) {
            in[n] = meanOfPairs(bus[n]);
            len[n] = {lengths[n][0], lengths[n][1] + spread};
        }
        fx.chorusDelay.processSwept(in, len, out, count);
        for (int n = 0; n < count; ++n) {
            const FxQuad wet = tone.process(out[n].left, out[n].right, lo, hi);
            mix.apply(bus[n], wet);
            if (n >= last) p.setFXSource(src::ChorusOut, toArray(bus[n]));
        }
        fx.chorusTone = tone;
        fx.chorusMix = mix.mix;
    }

    if (fx.modOn) {
        ToneStage tone = fx.modTone;
        float mix = fx.modMix, peak = fx.peak;
        // A settled mix keeps its wet and dry gains; the balance moves.
        const bool settled = mixSettled(mix, c.modMix);
        const float fixedWet = wetGain(mix + c.modMixMod), fixedDry = dryGain(mix + c.modMixMod);
        const int last = used[src::ModFxOut] ? 0 : count - 1;
        const float spread = fx.spread[kFlanger];
        const float lo = c.modLo, hi = c.modHi, halfPanMod = c.panMod * 0.5f, pan = c.pan;
        stereoStruct flanged[EffectChainState::kRunFrames];
        if (!fx.phaser) {
            stereoStruct in[EffectChainState::kRunFrames], len[EffectChainState::kRunFrames];
            for (int n = 0; n < count; ++n) {
                in[n] = meanOfPairs(bus[n]);
                len[n] = {lengths[n][2], lengths[n][3] + spread};
            }
            fx.flangerDelay.processSwept(in, len, flanged, count);
        }
        for (int n = 0; n < count; ++n) {
            const Lanes l = modLfo[n];
            stereoStruct out;
            if (!fx.phaser) {
                out = flanged[n];
            } else {
                const stereoStruct in = meanOfPairs(bus[n]);
                float y[2];
                const float x[2] = {in.left, in.right};
                for (int ch = 0; ch < 2; ++ch) {
                    const int i =
                        EffectTables::index((l[ch] * c.phaserDepth + 0.5f) * c.phaserRange);
                    const float tq = std::max(t.sine[i] * c.phaserInvTwoQ, 1e-4f);
                    const float inv = 1.0f / (1.0f + tq);
                    PhaserChannel& pc = fx.phaserChannel[ch];
                    y[ch] = phaserSections(pc, x[ch] - c.phaserFeed * pc.last,
                                           -2.0f * t.cosine[i] * inv, (1.0f - tq) * inv);
                }
                constexpr int mask = EffectChainState::kPhaserHistory - 1;
                fx.phaserHistory[fx.phaserPos] = y[0];
                out.left =
                    fx.phaserHistory[(fx.phaserPos - static_cast<int>(fx.spread[kPhaser])) & mask];
                out.right = y[1];
                fx.phaserPos = (fx.phaserPos + 1) & mask;
                fx.phaserDirty = true;
            }
            FxQuad wet = tone.process(out.left, out.right, lo, hi);
            const FxQuad size = wet < 0.0f ? -wet : wet;
            const FxQuad swapped = __builtin_shufflevector(size, size, 2, 3, 0, 1);
            const FxQuad half = size > swapped ? size : swapped;
            const float level = std::max(half[0], half[1]);
            peak = level > peak ? level : (peak - level) * 0.999f + level;
            if (peak > kPeakLimit) wet *= kPeakLimit / peak;
            const float b = clamp01(halfPanMod * l[2] + pan + 0.5f);
            if (settled) {
                const float wl = fixedWet * leftGain(b), wr = fixedWet * rightGain(b);
                bus[n] = bus[n] * fixedDry + wet * FxQuad{wl, wr, wl, wr};
            } else {
                mix = (mix - c.modMix) * kMixSmooth + c.modMix;
                mixInto(bus[n], mix + c.modMixMod, leftGain(b), rightGain(b), wet);
            }
            if (n >= last) p.setFXSource(src::ModFxOut, toArray(bus[n]));
        }
        fx.modTone = tone;
        fx.modMix = mix;
        fx.peak = peak;
    }

    if (fx.delayOn) {
        WetMix mix(fx.delayMix, c.delayMix, c.delayMixMod, c.delayGainL, c.delayGainR);
        const int last = used[src::DelayOut] ? 0 : count - 1;
        stereoStruct in[EffectChainState::kRunFrames], out[EffectChainState::kRunFrames];
        for (int n = 0; n < count; ++n) in[n] = meanOfPairs(bus[n]);
        fx.effectDelay.process(in, out, count);
        for (int n = 0; n < count; ++n) {
            const FxQuad wet = {out[n].left, out[n].right, out[n].left, out[n].right};
            mix.apply(bus[n], wet);
            if (n >= last) p.setFXSource(src::DelayOut, toArray(bus[n]));
        }
        fx.delayMix = mix.mix;
    }

    if (fx.reverbOn) {
        // Frames [0, count) are written before they are read: no zero fill.
        union Pairs {
            stereoStruct at[EffectChainState::kRunFrames];
            Pairs() {}
        } in, pre;
        for (int n = 0; n < count; ++n) in.at[n] = meanOfPairs(bus[n]);
        fx.reverbPreDelay.process(in.at, pre.at, count);
        FxQuad o[EffectChainState::kRunFrames];
        static_assert(sizeof o == sizeof(float) * 4 * TBasicReverb::kRunFrames);
        fx.reverb.process(pre.at, reinterpret_cast<float*>(o), count);
        WetMix mix(fx.reverbMix, c.reverbMix, c.reverbMixMod, c.reverbGainL, c.reverbGainR);
        for (int n = 0; n < count; ++n) {
            // (o1 + o3, o2 + o4): left and right, twice.
            const FxQuad wet = o[n] + __builtin_shufflevector(o[n], o[n], 2, 3, 0, 1);
            mix.apply(bus[n], wet);
        }
        fx.reverbMix = mix.mix;
    }
}

float inputLevel(const EffectChainState::Frame& f) {
    return std::fabs(f[0]) + std::fabs(f[1]);
}

using QuadMask = int __attribute__((vector_size(16))); // a comparison of two FxQuads

// |left| + |right| of the first sub-sample of four frames, one frame a lane.
FxQuad firstPairLevels(const FxQuad (&f)[4]) {
    using Ints = QuadMask;
    const FxQuad ab = __builtin_shufflevector(f[0], f[1], 0, 1, 4, 5);
    const FxQuad cd = __builtin_shufflevector(f[2], f[3], 0, 1, 4, 5);
    const Ints magnitude = Ints{} + 0x7fffffff;
    const FxQuad left = (FxQuad)((Ints)__builtin_shufflevector(ab, cd, 0, 2, 4, 6) & magnitude);
    const FxQuad right = (FxQuad)((Ints)__builtin_shufflevector(ab, cd, 1, 3, 5, 7) & magnitude);
    return left + right;
}

// One bit a lane, lane 0 in bit 0.
uint32_t laneBits(QuadMask mask) {
    return static_cast<uint32_t>(_mm_movemask_ps((__m128)mask));
}

} // namespace

void APlugin::runFX(std::array<float, 4>* frames, int count, uint64_t frame, bool force) {
    EffectChainState& fx = engine.fx;
    // The most frames of silence after which the chain still works.
    const uint64_t awakeLimit = static_cast<uint64_t>(kSleepSeconds * engine.rate.sampleRate);
    int n = 0;
    while (n < count) {
        EffectChainState::Frame& block = frames[n];
        const bool loud = inputLevel(block) > kSilence;
        // Asleep and still silent: the bus passes, nothing else happens.
        if (fx.asleep && !force && !loud && !fx.resetRequested.load(std::memory_order_relaxed)) {
            ++n;
            continue;
        }
        fx.frame = frame + static_cast<uint64_t>(n);
        if (fx.resetRequested.load(std::memory_order_relaxed)) initFX();
        if (!fx.anyOn || getOnOff(tag::FXBypassOn)) {
            clearFXSources();
            ++n;
            continue;
        }
        if (loud) {
            fx.silence = 0;
            if (fx.asleep) {
                fx.asleep = false; // awake at once, with the state it had
                updateFXDerived(fx.frame);
            }
        }
        if (!force && fx.silence > awakeLimit) {
            if (!fx.asleep) clearFXSources();
            fx.asleep = true;
            ++n;
            continue;
        }

        // Frames that cannot fall asleep: at most awakeLimit - silence
        // more, whatever they hold.
        const int run = static_cast<int>(
            std::min<uint64_t>(static_cast<uint64_t>(count - n), awakeLimit - fx.silence + 1));
        FxQuad bus[EffectChainState::kRunFrames];
        uint32_t loudIn = 0, loudOut = 0;
        // Four frames at a time, then the rest one by one (the same sums
        // and comparisons lane by lane).
        const int quads = run & ~3;
        for (int k = 0; k < quads; k += 4) {
            FxQuad in[4];
            std::memcpy(in, frames[n + k].data(), sizeof in);
            for (int j = 0; j < 4; ++j) bus[k + j] = in[j] * kInScale;
            loudIn |= laneBits(firstPairLevels(in) > kSilence) << k;
        }
        for (int k = quads; k < run; ++k) {
            FxQuad in;
            std::memcpy(&in, frames[n + k].data(), sizeof in);
            bus[k] = in * kInScale;
            if (std::fabs(in[0]) + std::fabs(in[1]) > kSilence) loudIn |= 1u << k;
        }
        chainFrames(*this, bus, run, fx.frame);
        for (int k = 0; k < quads; k += 4) {
            FxQuad out[4];
            for (int j = 0; j < 4; ++j) out[j] = bus[k + j] * kOutScale;
            std::memcpy(frames[n + k].data(), out, sizeof out);
            loudOut |= laneBits(!(firstPairLevels(out) < kSilence)) << k;
        }
        for (int k = quads; k < run; ++k) {
            const FxQuad out = bus[k] * kOutScale;
            std::memcpy(frames[n + k].data(), &out, sizeof out);
            if (!(std::fabs(out[0]) + std::fabs(out[1]) < kSilence)) loudOut |= 1u << k;
        }
        // Silence is counted from the last sound in or out: the gaps between
        // a long delay's echoes never add up to a sleep that cuts the tail.
        // After the last frame with sound, the silent frames that follow
        // it, and that frame too when only its input had sound.
        if (const uint32_t sound = loudIn | loudOut; sound == 0) {
            fx.silence += static_cast<uint64_t>(run);
        } else {
            const int lastSound = 31 - std::countl_zero(sound);
            fx.silence =
                static_cast<uint64_t>(run - 1 - lastSound) + (loudOut >> lastSound & 1u ? 0 : 1);
        }
        n += run;
    }
}
