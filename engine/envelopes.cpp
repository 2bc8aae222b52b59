// The four envelopes of every voice (amplitude, filter, free 1, free 2) and
// their global copies, stepped every 16 samples; and setGlobalRare, the
// recomputation of rarely changing engine state.

#include "core/aplugin.h"
#include "core/numeric.h"

#include <algorithm>
#include <cmath>

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

EnvelopeInputs APlugin::envelopeInputs(int env, const ModRow& row, bool synced) const {
    auto x = [&](int paramTag, int dest) {
        const double v = getCurrentValue(paramTag) + (dest >= 0 ? row.dst[dest] : 0.0f);
        return clamp01(v);
    };
    EnvelopeInputs in;
    in.attack = x(ENV_ATTACK_TAGS[env], DEST_ENV_ATTACK[env]);
    in.decay = x(ENV_DECAY_TAGS[env], DEST_ENV_DECAY[env]);
    in.sustain = x(ENV_SUSTAIN_TAGS[env], DEST_ENV_SUSTAIN[env]);
    in.fade = ENV_FADE_TAGS[env] >= 0 ? x(ENV_FADE_TAGS[env], DEST_ENV_FADE[env]) : 0.5;
    in.release = x(ENV_RELEASE_TAGS[env], DEST_ENV_RELEASE[env]);
    in.speed = Envelope::clampSpeed(static_cast<double>(row.dst[DEST_ENV_SPEED[env]]) *
                                    static_cast<double>(row.dst[dst::GlobalEnvSpeed]));
    in.decayShape = Envelope::shapeExponent(row.dst[DEST_ENV_DEC_SHAPE[env]]);
    in.releaseShape = Envelope::shapeExponent(row.dst[DEST_ENV_REL_SHAPE[env]]);
    in.curved = getOnOff(tag::ExpEnvShapeOn);
    in.freeEnvelope = env >= kEnvFree1;
    in.synced = synced && in.freeEnvelope;
    in.amplitude = env == kEnvAmp;
    in.sampleRate = engine.rate.sampleRateD;
    in.samplesPerWholeNote = engine.render.samplesPerWholeNoteD;
    return in;
}

void APlugin::setVolEnv(int v, int env, bool synced) {
    if (!isValidVoice(v) || env != kEnvAmp) return;
    VoiceState& voice = engine.voices[v];
    EnvelopeState& state = voice.env[kEnvAmp];
    if (voice.stolen) {
        if (Envelope::stepStolen(state)) voice.stolen = false;
        return;
    }
    EnvelopeInputs in = envelopeInputs(kEnvAmp, voice.mod, synced);
    in.gateOn = voice.gate;
    in.releasing = !voice.gate && !engine.midi.sustainDown;
    Envelope::step(state, in);
}

void APlugin::setEnv(int v, int env, bool synced) {
    if (!isValidVoice(v) || env < kEnvFilter || env >= kNumEnvelopes) return;
    VoiceState& voice = engine.voices[v];
    EnvelopeInputs in = envelopeInputs(env, voice.mod, synced);
    in.gateOn = voice.gate;
    in.releasing = !voice.gate && !engine.midi.sustainDown;
    Envelope::step(voice.env[env], in);
}

void APlugin::setEnvGlobal(int env, bool synced) {
    if (env < 0 || env >= kNumEnvelopes) return;
    // The global copy runs while any voice sounds.
    const bool gate = engine.render.anyVoicePlaying;
    EnvelopeInputs in = envelopeInputs(env, engine.global, synced);
    in.gateOn = gate;
    in.releasing = !gate && !engine.midi.sustainDown;
    Envelope::step(engine.globalEnv[env], in);
}

void APlugin::setGlobalRare() {
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
