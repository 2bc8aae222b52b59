// Notes, play modes and voice allocation.
//
// Sixteen voices, each stacking up to four unison copies. A new note takes a
// free voice; when only one voice is left free, the quietest released (else
// the quietest) voice is stolen so that one voice always stays in reserve.
// Mono and legato modes keep a note stack with last, high or low priority.

#include "core/aplugin.h"
#include "core/modes.h"

#include "engine/tables.h"
#include "engine/voice_tables.h"

#include <algorithm>
#include <bit>
#include <cmath>

namespace {

constexpr float kNoPitch = -10.0f;

bool isLastPriority(int mode) {
    return mode == playmode::Mono || mode == playmode::Legato;
}
bool isHighPriority(int mode) {
    return mode == playmode::MonoHigh || mode == playmode::LegatoHigh;
}
bool isMono(int mode) {
    return mode >= playmode::Mono && mode <= playmode::MonoLow;
}
bool isLegato(int mode) {
    return mode >= playmode::Legato && mode <= playmode::LegatoLow;
}

float signOf(float x) {
    return x > 0.0f ? 1.0f : (x < 0.0f ? -1.0f : 0.0f);
}

} // namespace

// ------------------------------------------------------------------ modes

int APlugin::getPlayMode() const {
    if (getLockVarOnOff(tag::ArpOn)) return playmode::Arp;
    return getLockSteppedValue(tag::PlayMode);
}

int APlugin::getPortMode() const {
    if (getPlayMode() == playmode::Arp)
        return getLockSteppedValue(tag::ArpMode) == arpmode::Chord ? portmode::Off
                                                                   : portmode::ConstantRate;
    return getLockSteppedValue(tag::PortamentoMode);
}

int APlugin::getGlobalUniMode() const {
    return getLockSteppedValue(tag::UnisonMode);
}

int APlugin::getUniMode(int voice) const {
    if (engine.notes.playMode == playmode::Arp && isValidVoice(voice)) {
        const int chordMode = getArpUniMode(voice);
        if (chordMode >= 0) return chordMode;
    }
    return engine.notes.uniModeGlobal;
}

int APlugin::getUniVoiceNum(int voice) const {
    return UNI_VOICE_NUM[std::clamp(getUniMode(voice), 0, 23)];
}

float APlugin::getUniDivide(int voice) const {
    return UNI_DIVIDE[std::clamp(getUniMode(voice), 0, 23)];
}

// ------------------------------------------------------------------ voice state

void APlugin::setVoiceOn(int v) {
    if (!isValidVoice(v)) return;
    engine.voices[v].gate = true;
    engine.voices[v].stolen = false;
    engine.render.startedVoices |= 1u << v;
}

void APlugin::setVoiceOff(int v) {
    if (isValidVoice(v)) engine.voices[v].gate = false;
}

void APlugin::setHold(int v) {
    if (isValidVoice(v)) engine.voices[v].sustainHeld = engine.midi.sustainDown;
}

uint32_t APlugin::voicesThatMaySound() const {
    return engine.render.listedVoices | engine.render.startedVoices;
}

bool APlugin::anyVoiceSounds() const {
    for (uint32_t may = voicesThatMaySound(); may != 0; may &= may - 1)
        if (engine.voices[std::countr_zero(may)].sounds()) return true;
    return false;
}

int APlugin::getNotesPlaying() const {
    int count = 0;
    for (const VoiceState& voice : engine.voices) count += voice.sounds() ? 1 : 0;
    return count;
}

int APlugin::getNotesOn() const {
    const int mode = engine.notes.playMode;
    if (mode == playmode::Poly || mode == playmode::Arp) {
        int gated = 0;
        for (const VoiceState& voice : engine.voices) gated += voice.gate ? 1 : 0;
        return gated;
    }
    return engine.notes.monoHeld ? 2 : 0;
}

void APlugin::setLastVoice() {
    NoteState& ns = engine.notes;
    int best = -1;
    if (isValidVoice(ns.curVoice) && engine.voices[ns.curVoice].sounds()) best = ns.curVoice;
    for (uint32_t may = voicesThatMaySound(); may != 0; may &= may - 1) {
        const int v = std::countr_zero(may);
        if (!engine.voices[v].sounds()) continue;
        if (best < 0 || engine.voices[v].noteOnStamp > engine.voices[best].noteOnStamp) best = v;
    }
    if (best >= 0) ns.lastVoice = best;
}

// ------------------------------------------------------------------ allocation

namespace {

// The quietest voice among candidates; released voices first.
int quietestVoice(const std::array<VoiceState, kNumVoices>& voices, int skip, double ceiling) {
    int best = -1;
    for (int v = 0; v < kNumVoices; ++v) {
        if (v == skip || voices[v].gate || !(voices[v].ampLevel() < ceiling)) continue;
        if (best < 0 || voices[v].ampLevel() < voices[best].ampLevel()) best = v;
    }
    if (best >= 0) return best;
    for (int v = 0; v < kNumVoices; ++v) {
        if (v == skip) continue;
        if (best < 0 || voices[v].ampLevel() < voices[best].ampLevel()) best = v;
    }
    return best;
}

} // namespace

void APlugin::getNextCurVoice() {
    auto& voices = engine.voices;
    int sounding = 0;
    int firstFree = -1;
    for (int v = 0; v < kNumVoices; ++v) {
        if (voices[v].sounds())
            ++sounding;
        else if (firstFree < 0)
            firstFree = v;
    }

    int chosen;
    if (sounding == kNumVoices - 1) {
        // Keep one voice in reserve: the newcomer takes the free voice and
        // the quietest other voice fades out.
        const int victim = quietestVoice(voices, firstFree, 100.0);
        if (victim >= 0) {
            voices[victim].gate = false;
            voices[victim].stolen = true;
        }
        chosen = firstFree;
        voices[chosen].stolen = false;
    } else if (sounding < kNumVoices - 1) {
        chosen = firstFree;
    } else {
        chosen = quietestVoice(voices, -1, 1e300);
    }
    engine.notes.curVoice = chosen;
    engine.notes.lastAllocVoice = chosen;
    voices[chosen].noteOnStamp = static_cast<int64_t>(engine.render.sampleCounter);
}

// ------------------------------------------------------------------ the mono note stack

bool APlugin::pushMonoNote(int note) {
    NoteState& ns = engine.notes;
    const int mode = ns.playMode;
    if (ns.monoTop < 0) {
        ns.monoTop = 0;
        ns.monoStack[0] = note;
        return true;
    }
    const int top = ns.monoStack[ns.monoTop];
    if (!isLastPriority(mode)) {
        if (isHighPriority(mode) ? note <= top : note >= top) return false;
    }
    ns.monoTop = std::min(ns.monoTop + 1, kMonoStackSize - 1);
    ns.monoStack[ns.monoTop] = note;
    return true;
}

void APlugin::clearMonoStack() {
    engine.notes.monoStack.fill(-1);
    engine.notes.monoTop = -1;
    engine.notes.monoHeld = false;
}

void APlugin::stealCurrentVoice() {
    VoiceState& voice = engine.voices[limitVoice(engine.notes.curVoice)];
    voice.gate = false;
    voice.stolen = true;
}

// ------------------------------------------------------------------ note down and up

void APlugin::midiNoteDown(int note, int velocity, int channel) {
    note = std::clamp(note, 0, 127);
    velocity = std::clamp(velocity, 0, 127);
    NoteState& ns = engine.notes;
    const int mode = ns.playMode;

    if (!anyVoiceSounds()) {
        ModRow& g = engine.global;
        g.src[src::Velocity] = velocity / 127.0f;
        g.src[src::Note] = note / 127.0f;
        g.src[src::CenterNote] = (note - 57) / 12.0f;
        g.src[src::NoteRandom1] = engine.random.bipolar();
        g.src[src::NoteRandom2] = engine.random.bipolar();
        g.src[src::UniNoteRandom1] = g.src[src::NoteRandom1] * 0.5f + 0.5f;
        g.src[src::UniNoteRandom2] = g.src[src::NoteRandom2] * 0.5f + 0.5f;
        ns.globalFilterFreeRun = true;
        initEnv(0, -1);
        for (int s = src::ArpFirst; s < src::ArpFirst + 4; ++s) g.src[s] = 0.0f;
        resetArpClock();
    }

    if (mode == playmode::Poly || mode == playmode::Arp) {
        bool anyGated = false;
        for (const VoiceState& voice : engine.voices) anyGated |= voice.gate;
        ns.freshNote = !anyGated;
    } else {
        ns.freshNote = !ns.monoHeld;
    }

    if (mode == playmode::Poly || mode == playmode::PolyMpe) {
        getNextCurVoice();
        setVoiceOn(ns.curVoice);
        if (mode == playmode::PolyMpe && channel >= 0 && channel < kMidiChannels) {
            ns.channelToVoice[channel] = ns.curVoice;
            engine.voices[ns.curVoice].channel = channel;
        }
        setNotePressed(ns.curVoice, note, velocity, 0.0f, true, false, true);
    } else if (isMono(mode) || isLegato(mode)) {
        const bool firstOfRun = ns.monoTop < 0;
        if (!pushMonoNote(note)) return;
        if (isMono(mode) || firstOfRun) {
            stealCurrentVoice();
            getNextCurVoice();
            setVoiceOn(ns.curVoice);
            if (firstOfRun) {
                ns.monoVelocity = velocity;
            } else {
                ns.monoHeld = true;
                ns.freshNote = false;
            }
            setNotePressed(ns.curVoice, note, ns.monoVelocity, 0.0f, true, false, true);
        } else {
            ns.monoHeld = true;
            ns.freshNote = false;
            setNotePressed(ns.curVoice, note, ns.monoVelocity, 0.0f, false, false, true);
        }
    } else if (mode == playmode::Arp) {
        arpNoteDown(note, velocity);
        return;
    }
    engine.voices[limitVoice(ns.curVoice)].sustainHeld = engine.midi.sustainDown;
}

void APlugin::midiNoteReleased(int note, int /*velocity*/, int channel) {
    NoteState& ns = engine.notes;
    const int mode = ns.playMode;

    if (mode == playmode::Poly) {
        for (VoiceState& voice : engine.voices)
            if (voice.note == note) {
                voice.note = 0;
                voice.gate = false;
            }
        return;
    }
    if (mode == playmode::PolyMpe) {
        for (VoiceState& voice : engine.voices)
            if (voice.note == note && voice.channel == channel) {
                voice.note = 0;
                voice.gate = false;
                voice.stolen = false;
            }
        return;
    }
    if (mode == playmode::Arp) {
        arpNoteReleased(note);
        return;
    }

    // Mono and legato.
    int index = -1;
    for (int i = 0; i <= ns.monoTop; ++i)
        if (ns.monoStack[i] == note) {
            index = i;
            break;
        }
    if (index < 0) return;

    if (ns.monoTop == 0) {
        if (isLegato(mode)) {
            for (VoiceState& voice : engine.voices) voice.gate = false;
        } else {
            VoiceState& voice = engine.voices[limitVoice(ns.curVoice)];
            voice.gate = false;
            voice.stolen = false;
        }
        clearMonoStack();
        return;
    }

    const bool wasTop = index == ns.monoTop;
    for (int i = index; i < ns.monoTop; ++i) ns.monoStack[i] = ns.monoStack[i + 1];
    ns.monoStack[ns.monoTop] = -1;
    --ns.monoTop;
    if (!wasTop) return;

    const int top = ns.monoStack[ns.monoTop];
    if (isLegato(mode)) {
        setNotePressed(ns.curVoice, top, ns.monoVelocity, 0.0f, false, false, true);
    } else {
        stealCurrentVoice();
        getNextCurVoice();
        setVoiceOn(ns.curVoice);
        setNotePressed(ns.curVoice, top, ns.monoVelocity, 0.0f, true, false, true);
    }
}

// ------------------------------------------------------------------ a voice's note

void APlugin::setNotePressed(int v, int note, int velocity, float detune, bool restart,
                             bool fromArp, bool glide) {
    if (!isValidVoice(v)) return;
    VoiceState& voice = engine.voices[v];
    NoteState& ns = engine.notes;
    ModRow& global = engine.global;

    note = std::clamp(note, 0, 127);
    voice.note = note;
    voice.pitch = (getTuning(note) + detune - 57.0f) / 12.0f;
    voice.velocity = velocity / 127.0f;
    const float s = std::clamp(
        getCurrentValue(tag::VelocityToVolume) + global.dst[dst::MainVelToVolume], 0.0f, 1.0f);
    voice.velocityGain = s * velocity / 127.0f + (1.0f - s);
    VoiceMix::noteGains(engine.mixGains.data(), voice, v);

    if (ns.prevPitch == kNoPitch) ns.prevPitch = voice.pitch;

    // Portamento.
    float factor = 1.0f;
    if (!fromArp || glide) {
        const float g = fromArp ? getLockVar(tag::ArpSlide) + global.dst[dst::ArpSlide]
                                : getLockVar(tag::PortamentoAmount) + global.dst[dst::Portamento];
        factor = std::exp2(12.0f * std::clamp(std::isnan(g) ? 0.0f : g, 0.0f, 1.0f));
    }
    const float distance = voice.pitch - ns.prevPitch;
    float step = 0.0f;
    switch (ns.portMode) {
    case 1:
    case 3:
        step = signOf(distance) / factor;
        break;
    case 2:
    case 4:
        step = distance / factor;
        break;
    default:
        break;
    }
    if ((ns.portMode == portmode::HeldRate || ns.portMode == portmode::HeldTime) &&
        getNotesOn() < 2)
        step = 0.0f;
    voice.glideStep = step;
    voice.glideDir = signOf(step);
    voice.glideStart = ns.prevPitch;
    voice.soundingPitch = step != 0.0f ? ns.prevPitch : voice.pitch;
    ns.prevPitch = voice.pitch;

    if (restart && fromArp) takeArpRatchet(v);

    if (restart) {
        voice.uniVoices = getUniVoiceNum(v);
        voice.uniDivide = getUniDivide(v);
        VoiceMix::noteGains(engine.mixGains.data(), voice, v);
        voice.uniMode = getUniMode(v);
        VoiceDspState& dsp = voice.dsp;
        dsp.invalidateCaches();
        dsp.morphSmoothed = getCurrentValue(tag::OscMorph);
        dsp.symmetrySmoothed = getCurrentValue(tag::OscSymmetry);
        dsp.filterFreqSmoothed = getCurrentValue(tag::FilterFreq);
        dsp.hiPassFreqSmoothed = getCurrentValue(tag::HiPassFreq);
        dsp.panSmoothed = getCurrentValue(tag::MainPan);
        dsp.subLevelSmoothed = std::fabs(getCurrentValue(tag::OscSubVolume) - 0.5f) * 2.0f;
        dsp.distortSmoothed = std::clamp(getCurrentValue(tag::DistortAmount), 0.0f, 1.0f) * 0.99f;
        voice.mod.dst = engine.destBase;

        const bool freeRunning = getOnOff(tag::OscFreeRunningOn);
        for (int k = 0; k < osc::kLanes; ++k) {
            const uint32_t start =
                freeRunning ? static_cast<uint32_t>(engine.random.unipolar() * 536870912.0f) : 0u;
            dsp.osc.phaseUp[k] = dsp.osc.phaseDown[k] = dsp.osc.phaseSub[k] = start;
        }
        resetOscillator(v);

        initFilter(3, v);
        voice.voiceTick = 0; // the voice's own 4-, 16- and 128-frame clock starts with the note
        initEnv(3, v);

        // An envelope whose attack is (nearly) zero and not modulated starts
        // at full level in its decay stage.
        struct AttackSkip {
            int env, attackTag, attackDest;
        };
        static constexpr AttackSkip skips[] = {
            {kEnvFilter, tag::FilterEnvAttack, dst::FilterEnvAttack},
            {kEnvFree1, tag::freeEnv(0, tag::FreeEnvAttack), dst::FreeEnv1Attack},
            {kEnvFree2, tag::freeEnv(1, tag::FreeEnvAttack), dst::FreeEnv2Attack},
        };
        for (const AttackSkip& skip : skips) {
            if (getCurrentValue(skip.attackTag) >= 0.001f) continue;
            bool modulated = false;
            for (int slot = 0; slot < kModSlots; ++slot)
                modulated |= getModDest(slot) == skip.attackDest;
            if (!modulated) voice.env[skip.env].startAtDecay();
        }
        for (int slot = 0; slot < kModSlots; ++slot)
            if (dst::isSpread(getModDest(slot))) ns.spreadModulated = true;

        initLFO(3, 0, v);
        initLFO(3, 1, v);
        for (int lfo = 0; lfo < 2; ++lfo) {
            const int lfoMode = getSteppedValue(tag::freeLfoMode(lfo));
            if (lfoMode == 2 || (lfoMode == 3 && ns.freshNote)) initLFO(0, lfo, -1);
        }

        resetArpVoice(v);
        initXY(3, v);
        restartXYReplayForNote();

        // Per-note random and alternating sources.
        const float r1 = engine.random.bipolar();
        const float r2 = engine.random.bipolar();
        const int c = ns.noteCounter;
        static constexpr float alternate4[4] = {-1.0f, 0.0f, 1.0f, 0.0f};
        const float values[10] = {r1,
                                  r1 * 0.5f + 0.5f,
                                  r2,
                                  r2 * 0.5f + 0.5f,
                                  static_cast<float>((c % 2) * 2 - 1),
                                  static_cast<float>(c % 2),
                                  static_cast<float>(c % 3 - 1),
                                  (c % 3) * 0.5f,
                                  alternate4[c % 4],
                                  alternate4[c % 4] * 0.5f + 0.5f};
        for (int i = 0; i < 10; ++i) {
            voice.mod.src[src::NoteRandom1 + i] = values[i];
            global.src[src::NoteRandom1 + i] = values[i];
        }
        ns.noteCounter = (c + 1) % 12;

        // Controller snapshot.
        const MidiState& midi = engine.midi;
        const bool mpe =
            ns.playMode == playmode::PolyMpe && voice.channel >= 0 && voice.channel < kMidiChannels;
        if (mpe) {
            voice.modWheel = midi.chanModWheel[voice.channel];
            voice.polyAftertouch = midi.chanPolyAftertouch[voice.channel];
            voice.channelPressure = midi.chanPressure[voice.channel];
            voice.controllers = midi.chanControllers[voice.channel];
        }
        voice.snapModWheel = voice.modWheel;
        voice.snapPolyAftertouch = voice.polyAftertouch;
        voice.snapChannelPressure = voice.channelPressure;
        const float ctl[4] = {voice.modWheel, std::max(voice.modWheel, voice.channelPressure),
                              voice.channelPressure, voice.polyAftertouch};
        for (int i = 0; i < 4; ++i) {
            voice.mod.src[src::ModWheel + i] = ctl[i];
            global.src[src::ModWheel + i] = ctl[i];
        }
        for (int i = 0; i < kMappedControllers; ++i) {
            voice.mod.src[src::ControllerFirst + i] = voice.controllers[i];
            global.src[src::ControllerFirst + i] = voice.controllers[i];
        }
        voice.mod.src[src::PitchBend] = mpe ? midi.chanBend[voice.channel] : midi.globalBend;

        voice.bend = bendOctaves(voice.mod.src[src::PitchBend]);
    }

    voice.mod.src[src::Velocity] = voice.velocity;
    voice.mod.src[src::Note] = note / 127.0f;
    voice.mod.src[src::CenterNote] = (note - 57) / 12.0f;
    ns.freshNote = false;
    setGlobalRare();
}

float APlugin::bendOctaves(float bend) const {
    const float range = getLockVar(bend > 0.0f ? tag::PitchBendUp : tag::PitchBendDown);
    const int index = std::clamp(static_cast<int>(std::clamp(range, 0.0f, 1.0f) * 15.99f), 0, 15);
    return bend * PITCH_BEND_RANGE_ARRAY[index];
}

// ------------------------------------------------------------------ stopping and resetting

void APlugin::turnAllVoicesOff() {
    for (VoiceState& voice : engine.voices) {
        voice.gate = false;
        voice.stolen = false;
        voice.channel = -1;
    }
    engine.notes.channelToVoice.fill(-1);
}

void APlugin::setEverythingOff(bool forgetPitch) {
    turnAllVoicesOff();
    setArpRunning(false);
    engine.notes.curVoice = 0;
    initArp();
    clearMonoStack();
    engine.midi.arpHeldReleases = {};
    if (forgetPitch) engine.notes.prevPitch = kNoPitch;
}

void APlugin::reset(ResetValues values) {
    NoteState& ns = engine.notes;
    ns.previewOn = false;
    updateMidiChannel(false);
    setEverythingOff(true);
    initEnv(2, -1);
    initLFO(2, 0, -1);
    initLFO(2, 1, -1);
    initXY(2, -1);
    if (values == kCentreXYPad) {
        setParameter(tag::XYMidiX, 0.5f);
        setParameter(tag::XYMidiY, 0.5f);
    }
    restartRunningXYReplay();
    ns.playMode = getPlayMode();
    ns.portMode = getPortMode();
    ns.uniModeGlobal = getGlobalUniMode();
    cacheArpModes();
    engine.render.forceFX = true;
    engine.render.cutSound = true; // the output glides across the cut
    waves.frameLevel.fill(1.0f);
    // A preset application that took tables built for it needs no rebuild.
    if (!waves.keepTablesOnReset) requestTableRebuild();
    setGlobalRare();
    core.screenUpdatePending.set();
}

bool APlugin::modesChanged() const {
    const NoteState& ns = engine.notes;
    return getPlayMode() != ns.playMode || getPortMode() != ns.portMode ||
           getGlobalUniMode() != ns.uniModeGlobal;
}

// A pending preset, the editor's reset and a mode change are otherwise
// carried out at the render loop's ticks; a note started before that tick
// would be cut with the notes that sounded before the request.
void APlugin::catchUpBeforeNote() {
    const bool resetAsked = engine.requests.reset.exchange(false, std::memory_order_relaxed);
    agreePlayModeAfterWrites(); // a preset on its way keeps its values
    if (core.presetPending)
        setPresetParameters(); // resets the engine too
    else if (resetAsked || modesChanged())
        reset();
}

void APlugin::previewNoteOn() {
    engine.requests.previewOn.store(true, std::memory_order_relaxed);
}

void APlugin::previewNoteReleased() {
    engine.requests.previewOff.store(true, std::memory_order_relaxed);
}

void APlugin::requestReset() {
    engine.requests.reset.store(true, std::memory_order_relaxed);
}

// Carries out what the main thread asked for; audio thread, 16-frame tick.
void APlugin::serveEngineRequests() {
    EngineRequests& rq = engine.requests;
    if (rq.reset.exchange(false, std::memory_order_relaxed)) reset();
    if (rq.previewOn.exchange(false, std::memory_order_relaxed)) {
        if (!engine.notes.previewOn) setEverythingOff(true);
        engine.notes.previewOn = true;
        midiNoteDown(60, 100, 0);
    }
    if (rq.previewOff.exchange(false, std::memory_order_relaxed)) {
        midiNoteReleased(60, 0, 0);
        engine.notes.previewOn = false;
    }
    if (const int step = rq.arpEntryStep.exchange(-1, std::memory_order_relaxed); step >= 0)
        engine.notes.arpEntryStep = step;
}

// ------------------------------------------------------------------ state resets

void APlugin::initEnv(int mode, int v) {
    if (mode == 0 || mode == 2)
        for (EnvelopeState& env : engine.globalEnv) env.reset();
    if (mode == 1 || mode == 2)
        for (VoiceState& voice : engine.voices) {
            for (EnvelopeState& env : voice.env) env.reset();
            voice.envRest.restingGeneration = 0;
        }
    if (mode == 3 && isValidVoice(v)) {
        for (EnvelopeState& env : engine.voices[v].env) env.reset();
        engine.voices[v].envRest.restingGeneration = 0;
    }
}

// ------------------------------------------------------------------ start state

void APlugin::restEngineState() {
    for (int d = 0; d < dst::Count; ++d)
        engine.destBase[d] = destType[d] == kDestVolume || destType[d] == kDestSpeed ? 1.0f : 0.0f;
    engine.global = ModRow{};
    engine.global.dst = engine.destBase;
    for (VoiceState& voice : engine.voices) {
        voice = VoiceState{};
        voice.mod.dst = engine.destBase;
        voice.mod.src[src::Offset] = 1.0f; // "Offset" is 1 in every row
    }
    engine.mixGains = {};
    engine.globalEnv = {};
    engine.notes = NoteState{};
    engine.notes.monoStack.fill(-1);
    engine.notes.channelToVoice.fill(-1);
    engine.render.activeVoiceCount = 0;
    engine.render.sampleCounter = 0;
    engine.render.rareSeen.valid = false;
    engine.matrix.globalBaseGeneration = 0; // the global sums start from the new base
    engine.render.masterVolume = params.defaultValue[tag::MainVolume];
    engine.render.envSpeed = engine.render.lfoSpeed = 1.0;
}
