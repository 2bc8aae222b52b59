// The four envelopes of every voice (amplitude, filter, free 1, free 2) and
// their global copies, stepped every 16 samples; and setGlobalRare, the
// recomputation of rarely changing engine state.

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

// Parameter tags and modulation destinations of each envelope, in the order
// amplitude, filter, free 1, free 2.
constexpr int ENV_ATTACK_TAGS[4] = {tag::AmpEnvAttack, tag::FilterEnvAttack,
                                    tag::freeEnv(0, tag::FreeEnvAttack),
                                    tag::freeEnv(1, tag::FreeEnvAttack)};
constexpr int ENV_DECAY_TAGS[4] = {tag::AmpEnvDecay, tag::FilterEnvDecay,
                                   tag::freeEnv(0, tag::FreeEnvDecay),
                                   tag::freeEnv(1, tag::FreeEnvDecay)};
constexpr int ENV_SUSTAIN_TAGS[4] = {tag::AmpEnvSustain, tag::FilterEnvSustain,
                                     tag::freeEnv(0, tag::FreeEnvSustain),
                                     tag::freeEnv(1, tag::FreeEnvSustain)};
constexpr int ENV_FADE_TAGS[4] = {-1, -1, tag::freeEnv(0, tag::FreeEnvFade),
                                  tag::freeEnv(1, tag::FreeEnvFade)};
constexpr int ENV_RELEASE_TAGS[4] = {tag::AmpEnvRelease, tag::FilterEnvRelease,
                                     tag::freeEnv(0, tag::FreeEnvRelease),
                                     tag::freeEnv(1, tag::FreeEnvRelease)};
constexpr int DEST_ENV_ATTACK[4] = {dst::AmpEnvAttack, dst::FilterEnvAttack, dst::FreeEnv1Attack,
                                    dst::FreeEnv2Attack};
constexpr int DEST_ENV_DECAY[4] = {dst::AmpEnvDecay, dst::FilterEnvDecay, dst::FreeEnv1Decay,
                                   dst::FreeEnv2Decay};
constexpr int DEST_ENV_SUSTAIN[4] = {dst::AmpEnvSustain, dst::FilterEnvSustain,
                                     dst::FreeEnv1Sustain, dst::FreeEnv2Sustain};
constexpr int DEST_ENV_FADE[4] = {-1, -1, dst::FreeEnv1Fade, dst::FreeEnv2Fade};
constexpr int DEST_ENV_RELEASE[4] = {dst::AmpEnvRelease, dst::FilterEnvRelease,
                                     dst::FreeEnv1Release, dst::FreeEnv2Release};
constexpr int DEST_ENV_SPEED[4] = {dst::AmpEnvSpeed, dst::FilterEnvSpeed, dst::FreeEnv1Speed,
                                   dst::FreeEnv2Speed};
constexpr int DEST_ENV_DEC_SHAPE[4] = {dst::AmpEnvDecayShape, dst::FilterEnvDecayShape,
                                       dst::FreeEnv1DecayShape, dst::FreeEnv2DecayShape};
constexpr int DEST_ENV_REL_SHAPE[4] = {dst::AmpEnvReleaseShape, dst::FilterEnvReleaseShape,
                                       dst::FreeEnv1ReleaseShape, dst::FreeEnv2ReleaseShape};

} // namespace

namespace {

// The positions of EnvelopeInputKey::values.
enum KeyIndex : int {
    kKeyAttack,
    kKeyDecay,
    kKeySustain,
    kKeyFade,
    kKeyRelease,
    kKeyAttackMod,
    kKeyDecayMod,
    kKeySustainMod,
    kKeyFadeMod,
    kKeyReleaseMod,
    kKeySpeedMod,
    kKeyGlobalSpeedMod,
    kKeyDecayShapeMod,
    kKeyReleaseShapeMod,
    kKeySwitches,
    kKeyCount
};
static_assert(kKeyCount == std::tuple_size_v<decltype(EnvelopeInputKey::values)>);

constexpr uint32_t kKeyCurved = 1, kKeySynced = 2;

float keyFloat(const EnvelopeInputKey& k, int i) {
    return std::bit_cast<float>(k.values[i]);
}

// The inputs of envelope env from what its key holds.
EnvelopeInputs inputsFromKey(int env, const EnvelopeInputKey& k) {
    auto x = [&](int value, int mod) {
        const double v = keyFloat(k, value) + keyFloat(k, mod);
        return clamp01(v);
    };
    EnvelopeInputs in;
    in.attack = x(kKeyAttack, kKeyAttackMod);
    in.decay = x(kKeyDecay, kKeyDecayMod);
    in.sustain = x(kKeySustain, kKeySustainMod);
    in.fade = ENV_FADE_TAGS[env] >= 0 ? x(kKeyFade, kKeyFadeMod) : 0.5;
    in.release = x(kKeyRelease, kKeyReleaseMod);
    in.speed = Envelope::clampSpeed(static_cast<double>(keyFloat(k, kKeySpeedMod)) *
                                    static_cast<double>(keyFloat(k, kKeyGlobalSpeedMod)));
    in.decayShape = Envelope::shapeExponent(keyFloat(k, kKeyDecayShapeMod));
    in.releaseShape = Envelope::shapeExponent(keyFloat(k, kKeyReleaseShapeMod));
    in.curved = (k.values[kKeySwitches] & kKeyCurved) != 0;
    in.freeEnvelope = env >= kEnvFree1;
    in.synced = (k.values[kKeySwitches] & kKeySynced) != 0 && in.freeEnvelope;
    in.amplitude = env == kEnvAmp;
    in.sampleRate = std::bit_cast<double>(k.sampleRate);
    in.samplesPerWholeNote = std::bit_cast<double>(k.samplesPerWholeNote);
    return in;
}

} // namespace

namespace {

// What envelope Env reads, its tags and destinations known at compile time.
template <int Env> EnvelopeInputKey readKey(const APlugin& p, const ModRow& row, bool synced) {
    EnvelopeInputKey k;
    auto put = [&](int i, float v) { k.values[i] = std::bit_cast<uint32_t>(v); };
    put(kKeyAttack, p.getCurrentValue(ENV_ATTACK_TAGS[Env]));
    put(kKeyDecay, p.getCurrentValue(ENV_DECAY_TAGS[Env]));
    put(kKeySustain, p.getCurrentValue(ENV_SUSTAIN_TAGS[Env]));
    put(kKeyRelease, p.getCurrentValue(ENV_RELEASE_TAGS[Env]));
    put(kKeyAttackMod, row.dst[DEST_ENV_ATTACK[Env]]);
    put(kKeyDecayMod, row.dst[DEST_ENV_DECAY[Env]]);
    put(kKeySustainMod, row.dst[DEST_ENV_SUSTAIN[Env]]);
    if constexpr (ENV_FADE_TAGS[Env] >= 0) {
        put(kKeyFade, p.getCurrentValue(ENV_FADE_TAGS[Env]));
        put(kKeyFadeMod, row.dst[DEST_ENV_FADE[Env]]);
    }
    put(kKeyReleaseMod, row.dst[DEST_ENV_RELEASE[Env]]);
    put(kKeySpeedMod, row.dst[DEST_ENV_SPEED[Env]]);
    put(kKeyGlobalSpeedMod, row.dst[dst::GlobalEnvSpeed]);
    put(kKeyDecayShapeMod, row.dst[DEST_ENV_DEC_SHAPE[Env]]);
    put(kKeyReleaseShapeMod, row.dst[DEST_ENV_REL_SHAPE[Env]]);
    k.values[kKeySwitches] =
        (APlugin::getOnOff(p.getCurrentValue(tag::ExpEnvShapeOn)) ? kKeyCurved : 0u) |
        (synced ? kKeySynced : 0u);
    k.sampleRate = std::bit_cast<uint64_t>(p.engine.rate.sampleRateD);
    k.samplesPerWholeNote = std::bit_cast<uint64_t>(p.engine.render.samplesPerWholeNoteD);
    return k;
}

} // namespace

EnvelopeInputKey APlugin::envelopeInputKey(int env, const ModRow& row, bool synced) const {
    switch (env) {
    case kEnvAmp:
        return readKey<kEnvAmp>(*this, row, synced);
    case kEnvFilter:
        return readKey<kEnvFilter>(*this, row, synced);
    case kEnvFree1:
        return readKey<kEnvFree1>(*this, row, synced);
    default:
        return readKey<kEnvFree2>(*this, row, synced);
    }
}

EnvelopeInputs APlugin::envelopeInputs(int env, const ModRow& row, bool synced) const {
    return inputsFromKey(env, envelopeInputKey(env, row, synced));
}

// The same inputs, computed again only when something they come from moved.
EnvelopeInputs& APlugin::cachedEnvelopeInputs(int env, const ModRow& row, bool synced,
                                              EnvelopeInputCache& cache) const {
    const EnvelopeInputKey key = envelopeInputKey(env, row, synced);
    if (!cache.valid || !(key == cache.key)) {
        cache.key = key;
        cache.inputs = inputsFromKey(env, key);
        cache.valid = true;
    }
    return cache.inputs;
}

void APlugin::setVolEnv(int v, int env, bool synced) {
    if (!isValidVoice(v) || env != kEnvAmp) return;
    VoiceState& voice = engine.voices[v];
    EnvelopeState& state = voice.env[kEnvAmp];
    if (voice.stolen) {
        if (Envelope::stepStolen(state)) voice.stolen = false;
        return;
    }
    const bool releasing = !voice.gate && !engine.midi.sustainDown;
    if (Envelope::holds(state, false, releasing)) {
        Envelope::stepHeld(state);
        return;
    }
    if (Envelope::releaseEnded(state, releasing)) return;
    EnvelopeInputs& in = cachedEnvelopeInputs(kEnvAmp, voice.mod, synced, voice.envInputs[kEnvAmp]);
    in.gateOn = voice.gate;
    in.releasing = releasing;
    Envelope::step(state, in);
}

void APlugin::setEnv(int v, int env, bool synced) {
    if (!isValidVoice(v) || env < kEnvFilter || env >= kNumEnvelopes) return;
    VoiceState& voice = engine.voices[v];
    EnvelopeState& state = voice.env[env];
    const bool releasing = !voice.gate && !engine.midi.sustainDown;
    if (Envelope::holds(state, env >= kEnvFree1, releasing)) {
        Envelope::stepHeld(state);
        return;
    }
    if (Envelope::releaseEnded(state, releasing)) return;
    EnvelopeInputs& in = cachedEnvelopeInputs(env, voice.mod, synced, voice.envInputs[env]);
    in.gateOn = voice.gate;
    in.releasing = releasing;
    Envelope::step(state, in);
}

void APlugin::setEnvGlobal(int env, bool synced) {
    if (env < 0 || env >= kNumEnvelopes) return;
    // The global copy runs while any voice sounds.
    const bool gate = engine.render.anyVoicePlaying;
    EnvelopeState& state = engine.globalEnv[env];
    const bool releasing = !gate && !engine.midi.sustainDown;
    if (Envelope::holds(state, env >= kEnvFree1, releasing)) {
        Envelope::stepHeld(state);
        return;
    }
    if (Envelope::releaseEnded(state, releasing)) return;
    EnvelopeInputs& in =
        cachedEnvelopeInputs(env, engine.global, synced, engine.globalEnvInputs[env]);
    in.gateOn = gate;
    in.releasing = releasing;
    Envelope::step(state, in);
}

namespace {

RareInputs rareInputs(const CoreState& core, const EngineState& engine) {
    return {.valueChanges = core.valueChanges.load(std::memory_order_acquire),
            .midiEvents = engine.midi.events,
            .sampleRate = engine.rate.sampleRateD,
            .lfoRateBase = engine.rate.lfoRateBase,
            .tempo = engine.render.tempoD,
            .samplesPerWholeNote = engine.render.samplesPerWholeNoteD,
            .arpSteps = engine.global.dst[dst::ArpSteps],
            .arpLoopStart = engine.global.dst[dst::ArpLoopStart],
            .valid = true};
}

bool sameRareInputs(const RareInputs& a, const RareInputs& b) {
    auto same = [](auto x, auto y) {
        return std::memcmp(&x, &y, sizeof x) == 0; // bit for bit: NaN and -0 too
    };
    return a.valid && b.valid && a.valueChanges == b.valueChanges && a.midiEvents == b.midiEvents &&
           same(a.sampleRate, b.sampleRate) && same(a.lfoRateBase, b.lfoRateBase) &&
           same(a.tempo, b.tempo) && same(a.samplesPerWholeNote, b.samplesPerWholeNote) &&
           same(a.arpSteps, b.arpSteps) && same(a.arpLoopStart, b.arpLoopStart);
}

} // namespace

// The render loop's 128-frame tick: setGlobalRare when anything it reads may
// have changed (a value, a lock, MIDI, rate, tempo, the arpeggiator's loop
// sums, a reset of the effects, the level of an effect that is off).
void APlugin::setGlobalRareWhenChanged() {
    const RenderState& render = engine.render;
    const EffectChainState& fx = engine.fx;
    const auto& src = engine.global.src;
    const bool offEffectSounds = (!fx.chorusOn && src[src::ChorusOut] != 0.0f) ||
                                 (!fx.modOn && src[src::ModFxOut] != 0.0f) ||
                                 (!fx.delayOn && src[src::DelayOut] != 0.0f);
    if (render.controlPlan.everyFrame || render.forceFX ||
        fx.resetRequested.load(std::memory_order_relaxed) || offEffectSounds ||
        !sameRareInputs(rareInputs(core, engine), render.rareSeen))
        setGlobalRare();
    else
        takeTuning(); // the editor loads tunings at any time
}

void APlugin::setGlobalRare() {
    engine.render.rareSeen = rareInputs(core, engine); // before the values are read
    updateWaveTablesRare(); // wave A, wave B, oscillator mode, morph wrap
    updateFilterRare();     // filter type, its sign, high-pass switches, distortion mode
    updateXYRare();         // XY quantisation and replay rate
    updateLfoRare();        // free LFO waves, modes and increments
    updateModSlotCache();   // sources, destinations and active slot lists
    updateUsageFlags();     // what the render loop may skip
    updateFXRare();         // effect enables
    updateArpRare();        // arpeggiator modes, hold and key entry
    takeTuning();           // a tuning table the editor has loaded
}
