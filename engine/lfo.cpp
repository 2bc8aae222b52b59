// Free LFOs, the SMod LFO and the effect-LFO rates (units in lfo.h).
//
// Where each part runs in the render loop:
//   every frame          stepGlobalLfos: SMod value (sources 47, 48) and the
//                        global free LFOs that a slot reads (a step every 4
//                        frames of the sample counter, the ramp in between)
//   every frame          advanceSModLfo: SMod phase; on the 16-frame block,
//                        after the global matrix, the SMod rate, the global
//                        free-LFO coefficients and the effect-LFO rates
//   voice 16-frame tick  voiceLfoAndXYTick: coefficients of the voice's own
//                        LFO copies (mode Poly)
//   every frame          stepVoiceLfosAndNoise: the voices' own copies (a step
//                        every 4 frames of the voice's counter), then the
//                        white and pink noise sources
//   setGlobalRare        updateLfoRare: waves, modes, base increments, usage
//                        flags, effect enables

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>
#include <mutex>

namespace {

constexpr int kPinkGlobal = kNumPinkGenerators - 1;

// Effect LFOs: chorus, flanger, phaser.
constexpr int kChorus = 0, kFlanger = 1, kPhaser = 2;
struct SyncedEffectDests {
    int speedTag, rate, shape, bias, bits, hold;
};
constexpr SyncedEffectDests kSyncedEffects[] = {
    {tag::FlangerSpeed, dst::FlangerSpeed, dst::FlangerShape, dst::FlangerBias, dst::FlangerBits,
     dst::FlangerSampleHold},
    {tag::PhaserSpeed, dst::PhaserSpeed, dst::PhaserShape, dst::PhaserBias, dst::PhaserBits,
     dst::PhaserSampleHold},
};

int limitIndex(double x) {
    return static_cast<int>(clampTo(x, 0.0, 65535.0));
}

// The step inputs of free LFO n, from the row whose phase destination it
// follows; humanisation always comes from the global row.
FreeLfoStepInputs stepInputs(const LfoGlobal& g, const float* table, int n, const ModRow& row,
                             const ModRow& global) {
    FreeLfoStepInputs in;
    in.table = table;
    in.startPhase = g.startPhase[n];
    in.phaseOffset = row.dst[lfoDest(n, kLfoDestPhase)];
    in.shaping = g.shapingUsed[n];
    in.humanDepth = global.dst[lfoDest(n, kLfoDestHuman)];
    return in;
}

FreeLfoControls controls(const ModRow& row, int n, double speed, bool shaping) {
    FreeLfoControls c;
    c.speed = speed;
    c.shape = row.dst[lfoDest(n, kLfoDestShape)];
    c.smooth = row.dst[lfoDest(n, kLfoDestSmooth)];
    c.bias = row.dst[lfoDest(n, kLfoDestBias)];
    c.bits = row.dst[lfoDest(n, kLfoDestBits)];
    c.hold = row.dst[lfoDest(n, kLfoDestHold)];
    c.shaping = shaping;
    return c;
}

// The 16-frame block of the LFOs, after the global matrix: SMod rate,
// coefficients of the global free LFOs, effect-LFO rates.
void updateLfoRates(APlugin& p) {
    EngineState& engine = p.engine;
    LfoGlobal& g = engine.lfo;
    const ModRow& global = engine.global;
    const RenderState& render = engine.render;
    const RateState& rate = engine.rate;

    g.smod.inc = SModLfo::increment(
        p.getCurrentValue(tag::OscSModSpeed) + global.dst[dst::OscSModSpeed], rate.smodRateBase);

    for (int n = 0; n < kFreeLfos; ++n) {
        if (!g.used[n]) continue;
        const double speed = global.dst[lfoDest(n, kLfoDestSpeed)] * render.lfoSpeed;
        FreeLfo::setCoefficients(g.lfo[n], g.baseIncrement[n],
                                 controls(global, n, speed, g.shapingUsed[n]));
    }

    if (engine.fx.asleep) return; // the effect LFOs rest with their chain
    EffectLfoRate& chorus = g.effects[kChorus];
    if (chorus.on) {
        // The rate destination is added inside the exponential; the sum is
        // kept within one full-amount slot of the knob's range.
        const float c = clampTo(p.getCurrentValue(tag::ChorusSpeed) + global.dst[dst::ChorusSpeed],
                                -1.0f, 2.0f);
        chorus.rate = std::exp2(10.0 * c) * rate.lfoRateBase * 0.25;
        chorus.shaping.setHold(global.dst[dst::ChorusSampleHold]);
        chorus.shaping.setShapePoint(global.dst[dst::ChorusShape] + 0.5);
        chorus.shaping.setBias(global.dst[dst::ChorusBias]);
        chorus.shaping.setBits(global.dst[dst::ChorusBits]);
    }
    for (int e = kFlanger; e <= kPhaser; ++e) {
        EffectLfoRate& fx = g.effects[e];
        if (!fx.on) continue;
        const SyncedEffectDests& d = kSyncedEffects[e - kFlanger];
        const int step = p.getSteppedValue(d.speedTag, 30.99f, 31);
        const double speed = clampTo(static_cast<double>(global.dst[d.rate]), 0.0, 16.0);
        fx.rate = step == 0
                      ? 0.0
                      : std::exp2(2.0 * speed) / (FX_PERIOD[step] * render.samplesPerWholeNoteD);
        fx.shaping.setHold(global.dst[d.hold]);
        fx.shaping.setShapePoint(global.dst[d.shape] + 0.5);
        fx.shaping.setBias(global.dst[d.bias]);
        fx.shaping.setBits(global.dst[d.bits]);
    }
}

} // namespace

// ------------------------------------------------------------------ shaping

void LfoShaping::setShapePoint(double x) {
    shapePoint = clampTo(x, 0.0, 1.0) * 0.998 + 0.001;
    shapeLo = 0.5 / shapePoint;
    shapeHi = 0.5 / (1.0 - shapePoint);
}

void LfoShaping::setHold(float hold) {
    shInc = 4.0 * std::exp2(-16.0 * clampTo(hold, 0.0f, 1.0f));
}

void LfoShaping::setBias(float bias) {
    const float b = clampTo(bias, -1.0f, 1.0f);
    biasFactor = {1.0f, 1.0f, 1.0f};
    if (b > 0.0f)
        biasFactor[0] = 1.0f - b; // negative values
    else
        biasFactor[2] = 1.0f - std::fabs(b); // positive values
}

void LfoShaping::setBits(float bits) {
    bitsQ = std::exp2(17.0f - 16.0f * clampTo(bits, 0.0f, 1.0f));
    bitsInvQ = 1.0f / bitsQ;
}

// ------------------------------------------------------------------ one free LFO

void FreeLfo::reset(FreeLfoState& s) {
    s.accPhase = 0.0;
    s.output = s.target = s.rampStep = 0.0f;
    s.heldRandom = s.shapedHold = 0.0f;
    s.shAcc = 0.0;
    s.human = 1.0;
}

void FreeLfo::setCoefficients(FreeLfoState& s, double baseIncrement, const FreeLfoControls& c) {
    const double inc = baseIncrement * c.speed * s.human;
    s.increment = std::isfinite(inc) && inc > 0.0 ? inc : 0.0;

    // The exponentials only when their input moved (per voice they rarely do).
    if (c.smooth != s.lastSmoothIn) {
        s.lastSmoothIn = c.smooth;
        s.smooth = 1.0f - std::exp2(-13.0f * clampTo(c.smooth, 0.0f, 1.0f));
    }
    s.shaping.setShapePoint(c.shape * 0.5 + 0.5);
    if (!c.shaping) return;
    if (c.hold != s.lastHoldIn) {
        s.lastHoldIn = c.hold;
        s.shaping.setHold(c.hold);
    }
    s.shaping.setBias(c.bias);
    if (c.bits != s.lastBitsIn) {
        s.lastBitsIn = c.bits;
        s.shaping.setBits(c.bits);
    }
}

void FreeLfo::step(FreeLfoState& s, const FreeLfoStepInputs& in, Random15& heldSource,
                   RandSeed& humanSource) {
    s.output = s.target;

    const double x = in.phaseOffset + in.startPhase + s.accPhase + 10.0;
    double p = x - std::floor(x);
    if (!(p >= 0.0 && p < 1.0)) p = 0.0; // a non-finite phase offset
    const LfoShaping& sh = s.shaping;
    p = p >= sh.shapePoint ? (p - sh.shapePoint) * sh.shapeHi + 0.5 : p * sh.shapeLo;

    float v = in.table ? in.table[limitIndex(p * 65535.99)] : s.heldRandom;
    if (in.shaping) {
        v *= sh.biasFactor[v > 0.0f ? 2 : (v == 0.0f ? 1 : 0)];
        s.shAcc += sh.shInc;
        if (s.shAcc >= 1.0) {
            s.shAcc -= std::floor(s.shAcc);
            const float sign = v > 0.0f ? 1.0f : (v < 0.0f ? -1.0f : 0.0f);
            s.shapedHold = sh.bitsInvQ * sign * std::floor(std::fabs(sh.bitsQ * v));
        }
        v = s.shapedHold;
    } else {
        s.shapedHold = v;
    }

    s.target = (s.output - v) * s.smooth + v + 1e-15f;
    s.rampStep = (s.target - s.output) * 0.25f;

    s.accPhase += s.increment;
    if (s.accPhase >= 1.0) {
        s.accPhase -= std::floor(s.accPhase);
        if (!(s.accPhase < 1.0)) s.accPhase = 0.0;
        // A new cycle: a new held value and a new humanisation factor.
        s.heldRandom = heldSource.bipolar();
        const double r = humanSource.nextUnipolar();
        const double depth = clampTo(static_cast<double>(in.humanDepth), -64.0, 64.0);
        s.human = depth == 0.0 ? 1.0 : std::exp2((2.0 * r - 1.0) * depth);
    }
}

double FreeLfo::baseIncrement(float speed, bool synced, double lfoRateBase, double sampleRate,
                              double tempo) {
    if (!(speed >= 0.00001f)) return 0.0;
    const float value = std::min(speed, 1.0f);
    if (!synced) return std::exp2(15.0 * value) * lfoRateBase * 0.5;
    const int step = std::clamp(static_cast<int>(value * 33.99f + 0.1f), 0, 33);
    const double length = D_LFO_TEMPO_SYNCED_PERIOD[step];
    if (step == 0 || !(tempo > 0.0)) return 0.0;
    // One cycle per `length` whole notes, 4 frames per step.
    return 4.0 / (length * sampleRate * 240.0 / tempo);
}

// ------------------------------------------------------------------ SMod LFO

double SModLfo::increment(float c, float smodRateBase) {
    return std::exp2(10.0 * clampTo(c, 0.0f, 1.0f)) * smodRateBase * 16384.0;
}

float SModLfo::read(SModLfoState& s, const float* sineTable) {
    s.value = sineTable[limitIndex(s.phase)];
    return s.value;
}

void SModLfo::advance(SModLfoState& s) {
    s.phase += s.inc;
    // At low sample rates one frame can cover more than a whole cycle.
    if (s.phase >= kWrap) s.phase = std::fmod(s.phase, kWrap);
    if (!(s.phase >= 0.0)) s.phase = 0.0;
}

// ------------------------------------------------------------------ the engine's LFOs

void APlugin::initLFO(int mode, int lfo, int voice) {
    if (lfo < 0 || lfo >= kFreeLfos) return;
    if (mode == 0 || mode == 2) FreeLfo::reset(engine.lfo.lfo[lfo]);
    if (mode == 1 || mode == 2)
        for (VoiceState& v : engine.voices) FreeLfo::reset(v.lfo.lfo[lfo]);
    if (mode == 3 && isValidVoice(voice)) FreeLfo::reset(engine.voices[voice].lfo.lfo[lfo]);
}

// Every frame, after the free-LFO sources were cleared: the SMod value and
// the global free LFOs that some slot reads.
void APlugin::stepGlobalLfos() {
    LfoGlobal& g = engine.lfo;
    ModRow& global = engine.global;

    const float smod = SModLfo::read(g.smod, tables_->sineTable.data());
    global.src[src::SModLfo] = smod;
    global.src[src::UniSModLfo] = smod * 0.5f + 0.5f;

    if (!g.used[0] && !g.used[1]) return;
    static_assert(kFreeLfos == 2);
    const bool stepNow = (engine.render.sampleCounter & 3) == 0;
    for (int n = 0; n < kFreeLfos; ++n) {
        if (!g.used[n]) continue;
        FreeLfoState& lfo = g.lfo[n];
        if (stepNow) {
            const float* table = g.kind[n] == kLfoHeld
                                     ? nullptr
                                     : lfoShapeRow(*tables_, engine.userLfoRows, g.kind[n]);
            FreeLfo::step(lfo, stepInputs(g, table, n, global, global), engine.random, g.humanSeed);
        } else {
            FreeLfo::ramp(lfo);
        }
        global.src[src::FreeLfoFirst + 2 * n] = lfo.bipolar();
        global.src[src::FreeLfoFirst + 2 * n + 1] = lfo.unipolar();
    }
}

// Every frame, after the global block (whose 16-frame pass has just
// refreshed the destination sums): the rates follow them, then the SMod
// phase moves on.
void APlugin::advanceSModLfo() {
    if ((engine.render.sampleCounter & 15) == 0) updateLfoRates(*this);
    SModLfo::advance(engine.lfo.smod);
}

void APlugin::resetSModLfoPhase() {
    engine.lfo.smod.phase = 0.0;
}

// Every frame, after the per-voice control stage: the voices' own LFO copies
// overwrite the global values copied into them; then the noise sources.
void APlugin::stepVoiceLfosAndNoise() {
    LfoGlobal& g = engine.lfo;
    const RenderState& render = engine.render;
    if (g.perVoice[0] || g.perVoice[1]) {
        const float* tables[kFreeLfos];
        for (int n = 0; n < kFreeLfos; ++n)
            tables[n] = g.kind[n] == kLfoHeld
                            ? nullptr
                            : lfoShapeRow(*tables_, engine.userLfoRows, g.kind[n]);
        for (int i = 0; i < render.activeVoiceCount; ++i) {
            VoiceState& voice = engine.voices[render.activeVoices[i]];
            const bool stepNow = (voice.voiceTick & 3) == 0;
            for (int n = 0; n < kFreeLfos; ++n) {
                if (!g.perVoice[n]) continue;
                FreeLfoState& lfo = voice.lfo.lfo[n];
                if (stepNow)
                    FreeLfo::step(lfo, stepInputs(g, tables[n], n, voice.mod, engine.global),
                                  engine.random, g.humanSeed);
                else
                    FreeLfo::ramp(lfo);
                voice.mod.src[src::FreeLfoFirst + 2 * n] = lfo.bipolar();
                voice.mod.src[src::FreeLfoFirst + 2 * n + 1] = lfo.unipolar();
            }
        }
    }

    if (g.whiteNoiseUsed) {
        const float white = engine.pinkSeed.nextUnipolar();
        setListedSource(src::White, white * 2.0f - 1.0f);
        setListedSource(src::UniWhite, white);
    }
    if (g.pinkNoiseUsed) {
        const float pink = doPinkNoise(kPinkGlobal);
        setListedSource(src::PinkNoise, pink);
        setListedSource(src::UniPinkNoise, pink * 0.5f + 0.5f);
    }
}

// Part of setGlobalRare: the cached waves, modes and base increments, what
// the slots use, and which effect LFOs run.
void APlugin::updateLfoRare() {
    LfoGlobal& g = engine.lfo;
    const auto kindsBefore = g.kind;
    for (int n = 0; n < kFreeLfos; ++n) {
        g.wave[n] = std::clamp(getSteppedValue(tag::freeLfoWave(n)), 0, kLfoWaves - 1);
        g.kind[n] = LFO_WAVE_TYPE[g.wave[n]];
        g.startPhase[n] = LFO_PHASE[g.wave[n]];
        g.mode[n] = std::clamp(getSteppedValue(tag::freeLfoMode(n)), 0, 3);
        g.baseIncrement[n] = FreeLfo::baseIncrement(
            getCurrentValue(tag::freeLfoSpeed(n)), getOnOff(tag::freeLfoSync(n)),
            engine.rate.lfoRateBase, engine.rate.sampleRateD, engine.render.tempoD);
        g.used[n] = g.shapingUsed[n] = false;
    }
    g.whiteNoiseUsed = g.pinkNoiseUsed = false;

    // The slots that take part in the matrix: a source, a destination, not bypassed.
    for (int slot = 0; slot < kModSlots; ++slot) {
        const int src = getModSrc(slot);
        const int dest = getModDest(slot);
        if (!isValidSrc(src) || dest <= dst::None || dest >= dst::Count || getModSlotBypass(slot))
            continue;
        for (int n = 0; n < kFreeLfos; ++n) {
            const int lfoSrc = src::FreeLfoFirst + 2 * n;
            g.used[n] = g.used[n] || src == lfoSrc || src == lfoSrc + 1;
            g.shapingUsed[n] = g.shapingUsed[n] || (dest >= lfoDest(n, kLfoDestBias) &&
                                                    dest <= lfoDest(n, kLfoDestHold));
        }
        g.whiteNoiseUsed = g.whiteNoiseUsed || src == src::White || src == src::UniWhite;
        g.pinkNoiseUsed = g.pinkNoiseUsed || src == src::PinkNoise || src == src::UniPinkNoise;
    }
    for (int n = 0; n < kFreeLfos; ++n) g.perVoice[n] = g.used[n] && g.mode[n] == 0;

    // A free LFO that takes a user wave's shape plays the wave's current
    // table (the rows of shapes no LFO plays are not kept up to date). When
    // a conversion holds the lock, the row waits for the next rebuild start.
    bool shapeTaken = false;
    for (int w = 0; w < kNumUserWaves; ++w)
        shapeTaken = shapeTaken || (lfoPlaysUserWave(w) &&
                                    std::find(kindsBefore.begin(), kindsBefore.end(),
                                              kSharedLfoShapeKinds + w) == kindsBefore.end());
    if (shapeTaken) {
        std::unique_lock lock(waves.userWaveMutex, std::try_to_lock);
        if (lock.owns_lock()) fillUserWaveLfoRows();
    }

    const bool flangerOrPhaser = getOnOff(tag::FlangerPhaserOn);
    const bool phaser = getCurrentValue(tag::FlangerOrPhaser) >= 0.5f;
    g.effects[kChorus].on = getOnOff(tag::ChorusOn);
    g.effects[kFlanger].on = flangerOrPhaser && !phaser;
    g.effects[kPhaser].on = flangerOrPhaser && phaser;
}

// On the voice's 16-frame tick, before its matrix: the coefficients of its
// own LFO copies from its destination sums (its LFO speed and the global one
// both multiply).
void APlugin::voiceLfoAndXYTick(int v) {
    const LfoGlobal& g = engine.lfo;
    VoiceState& voice = engine.voices[v];
    for (int n = 0; n < kFreeLfos; ++n) {
        if (!g.perVoice[n]) continue;
        const auto& dst = voice.mod.dst;
        const double speed =
            dst[lfoDest(n, kLfoDestSpeed)] * dst[dst::GlobalLfoSpeed] * engine.render.lfoSpeed;
        FreeLfo::setCoefficients(voice.lfo.lfo[n], g.baseIncrement[n],
                                 controls(voice.mod, n, speed, g.shapingUsed[n]));
    }
    voiceXYTick(v);
}
