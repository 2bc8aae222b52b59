// The render loop: one output frame at a time, with a control-rate schedule
// on a 64-bit sample counter.
//
//   every frame   MIDI release, envelope ramps, the voice stages, effects
//                 (while no slot reads the chain's output, the effects and
//                 the output of the frames up to the next tick, event or
//                 block end run together after their voices)
//   every 4       the active-voice list
//   every 16      global envelopes, matrix, master volume, tempo, requests,
//                 what the editor shows
//   every 128     mode changes and setGlobalRare (while anything it reads
//                 changed)
//   every 512     one stage of the staged wave-table rebuild
//   every 4096    rebuild start, editor refresh, a pending preset
//
// A note that starts before the tick has the pending preset, reset or mode
// change carried out first (catchUpBeforeNote), so that they cut only what
// sounded before them.
//
// Each voice also counts its own frames from its note start; its 16-frame
// work (controllers, bend, envelopes) runs on that counter.

#include "core/aplugin.h"
#include "core/modes.h"
#include "core/numeric.h"
#include "core/thread_role.h"

#include "editor/ueditor.h"

#include <algorithm>
#include <bit>
#include <cfloat>
#include <chrono>
#include <cmath>
#include <cstring>
#include <thread>
#include <xmmintrin.h>

namespace {

constexpr float kOutputLimit = 0.999f;
constexpr VstInt32 kTimeRequest = kVstPpqPosValid | kVstTempoValid; // 0x600

// Flush denormals to zero while rendering, restoring the host's setting.
class DenormalGuard {
public:
    DenormalGuard() : saved(_mm_getcsr()) { _mm_setcsr(saved | 0x8040); } // FTZ | DAZ
    ~DenormalGuard() { _mm_setcsr(saved); }
    DenormalGuard(const DenormalGuard&) = delete;
    DenormalGuard& operator=(const DenormalGuard&) = delete;

private:
    unsigned int saved;
};

uint64_t nowMilliseconds() {
    using namespace std::chrono;
    return static_cast<uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

float limitOutput(float x) {
    return clampTo(finiteOr(x, 0.0f), -kOutputLimit, kOutputLimit);
}

// No fade or jump is under way: the output passes as it is.
bool edgesSmooth(const RenderState& render) {
    return !(render.silent || render.cutSound || !(render.jumpPhase <= 0.0f) ||
             !(render.fadeInPhase >= 1.0f));
}

// The frame's output pair from the chain's block, with its edges smoothed.
[[gnu::always_inline]] inline void finishOutput(APlugin& p) {
    RenderState& render = p.engine.render;
    const float gain = render.masterGain * 0.5f;
    render.outputPair[0] = limitOutput((render.fxBlock[0] + render.fxBlock[2]) * gain);
    render.outputPair[1] = limitOutput((render.fxBlock[1] + render.fxBlock[3]) * gain);
    if (!edgesSmooth(render))
        p.smoothOutputEdges(false);
    else
        render.lastOutput = render.outputPair; // no edge to smooth
}

// The output pair to the host's frame i, and to the sources and the scope.
[[gnu::always_inline]] inline void sendFrame(APlugin& p, float* outL, float* outR, int i) {
    const RenderState& render = p.engine.render;
    const float outLeft = render.outputPair[0];
    const float outRight = render.outputPair[1];
    if (outL) outL[i] = outLeft;
    if (outR) outR[i] = outRight;
    const float mono = (outLeft + outRight) * 0.5f;
    p.setFrameSource(src::Output, mono);
    p.engine.display.pushScope(mono);
}

// limitOutput on four values at once.
__m128 limitOutputs(__m128 x) {
    const __m128 finite =
        _mm_cmple_ps(_mm_andnot_ps(_mm_set1_ps(-0.0f), x), _mm_set1_ps(FLT_MAX)); // NaN: false
    x = _mm_and_ps(x, finite);
    return _mm_min_ps(_mm_max_ps(x, _mm_set1_ps(-kOutputLimit)), _mm_set1_ps(kOutputLimit));
}

// finishOutput and sendFrame for every frame of the waiting run, while the
// edges are smooth (nothing in the run changes that), both outputs exist and
// no slot reads "Output" (only the last frame's value then stays): two
// frames side by side, lanes (left, right) of each.
void sendRun(APlugin& p) {
    RenderState& render = p.engine.render;
    RenderState::FxRun& run = render.fxRun;
    DisplayState& display = p.engine.display;
    const __m128 gain = _mm_set1_ps(render.masterGain * 0.5f);
    float* outL = run.outL + run.firstIndex;
    float* outR = run.outR + run.firstIndex;
    uint32_t scopePos = display.scopeWritePos.get();
    float out[4] = {};
    for (int k = 0; k < run.count; k += 2) {
        const __m128 a = _mm_loadu_ps(run.bus[k].data());
        const __m128 b = _mm_loadu_ps(run.bus[k + 1 < run.count ? k + 1 : k].data());
        const __m128 sum = _mm_add_ps(_mm_movelh_ps(a, b), _mm_movehl_ps(b, a));
        const __m128 pair = limitOutputs(_mm_mul_ps(sum, gain));
        const __m128 mono =
            _mm_mul_ps(_mm_add_ps(pair, _mm_shuffle_ps(pair, pair, _MM_SHUFFLE(2, 3, 0, 1))),
                       _mm_set1_ps(0.5f));
        _mm_storeu_ps(out, pair);
        outL[k] = out[0];
        outR[k] = out[1];
        display.scope[scopePos++ & (kScopeSize - 1)].set(_mm_cvtss_f32(mono));
        if (k + 1 < run.count) {
            outL[k + 1] = out[2];
            outR[k + 1] = out[3];
            display.scope[scopePos++ & (kScopeSize - 1)].set(
                _mm_cvtss_f32(_mm_movehl_ps(mono, mono)));
            out[0] = out[2];
            out[1] = out[3];
        }
    }
    display.scopeWritePos.set(scopePos);
    render.fxBlock = run.bus[run.count - 1];
    render.outputPair = {out[0], out[1]};
    render.lastOutput = render.outputPair;
    p.setFrameSource(src::Output, (out[0] + out[1]) * 0.5f);
}

// While no slot reads what the chain puts out ("Output" and the effect
// levels), the voices of a frame do not wait for it: the chain then works
// on the frames up to the next tick or event in one run.
bool chainMayWait(const EngineState& engine) {
    const RenderState& render = engine.render;
    // The four sources the chain puts out sit side by side: one load.
    static_assert(src::ModFxOut == src::ChorusOut + 1 && src::DelayOut == src::ChorusOut + 2 &&
                  src::Output == src::ChorusOut + 3 && sizeof(bool) == 1);
    uint32_t read;
    std::memcpy(&read, &engine.matrix.sourceUsed[src::ChorusOut], sizeof read);
    return render.fxRun.allowed && !render.forceFX && engine.fx.anyOn && !engine.fx.asleep &&
           read == 0;
}

// Counts a block's start and its end (CoreState::renderPasses).
class RenderPass {
public:
    explicit RenderPass(std::atomic<uint32_t>& passes) : passes(passes) {
        passes.fetch_add(1, std::memory_order_seq_cst);
    }
    ~RenderPass() { passes.fetch_add(1, std::memory_order_release); }
    RenderPass(const RenderPass&) = delete;
    RenderPass& operator=(const RenderPass&) = delete;

private:
    std::atomic<uint32_t>& passes;
};

} // namespace

void APlugin::processReplacing(float** inputs, float** outputs, VstInt32 frames) {
    if (frames <= 0 || !outputs) return;
    const RenderPass pass(core.renderPasses);
    DenormalGuard denormals;
    float* outL = outputs[0];
    float* outR = outputs[1];
    const float* inL = inputs ? inputs[0] : nullptr;
    const float* inR = inputs ? inputs[1] : nullptr;
    MidiEventQueue& queue = engine.midiEventQueue;
    threadrole::markRendering();
    setProgramAfterWaitingFromNo();
    setProgramAfterWaitingFromName();
    setPreviewAfterWaitingFromName();

    // A restored state whose tuning file the worker is still reading waits
    // for it, and the host's events with it: its first notes play in tune.
    // A block of silence; the sound after it fades in.
    const auto silence = [&] {
        for (int i = 0; i < frames; ++i) {
            if (outL) outL[i] = 0.0f;
            if (outR) outR[i] = 0.0f;
        }
        engine.render.lastOutput = {0.0f, 0.0f};
        engine.render.silent = true;
    };
    // Offline, a block plays what the calls before it ask for, whatever
    // the time the file worker takes.
    if (engine.tuningRequests.outstanding() && getCurrentProcessLevel() == kVstProcessLevelOffline)
        waitForTuningReads();
    // The newest table plays from the block's first event on: a note right
    // after a write of the tuning's switch or name is heard in it.
    takeTuning();
    if (core.presetPending && !core.settingPreset && awaitingRestoredTuning(frames)) {
        queue.hold(frames);
        silence();
        return;
    }
    queue.heldFrames = 0;

    if (core.settingPreset) {
        for (int i = 0; i < frames && queue.pending > 0; ++i) processMidi(i);
        silence();
        return;
    }

    if (const EffectTables* tables = engine.fx.pendingTables.exchange(nullptr)) {
        if (std::fabs(engine.rate.sampleRate - tables->sampleRate) > 0.1f)
            applySampleRate(tables->sampleRate, tables);
        else
            EffectTables::release(tables);
    }

    readHostTime();
    RenderState& render = engine.render;
    render.blockEnd = render.blockStart + static_cast<uint64_t>(frames);
    render.controlPlan.stale = true; // the host may have changed anything since
    // The first block starts at the patch's volume rather than gliding to it.
    if (render.sampleCounter == 0) render.masterVolume = getCurrentValue(tag::MainVolume);
    render.songPosition[0] = render.songPosition[1] =
        render.hasTimeInfo ? render.timeInfo.ppqPos : 0.0;
    if (editorIsShowing()) {
        const uint64_t now = nowMilliseconds();
        if (now - render.lastXYRefresh > 25) {
            getUEditor()->updateXY();
            render.lastXYRefresh = now;
        }
    }

    render.fxRun.outL = outL;
    render.fxRun.outR = outR;
    render.fxRun.allowed = true;
    for (int i = 0; i < frames; ++i) {
        // Frames before the next event comes due go on as if none were
        // pending: the effects' run and the control plan stay.
        if (queue.pending > 0 && !queue.passQuietFrame()) {
            finishFxRun();
            processMidi(i);
            render.controlPlan.stale = true;
        }
        const float left = inL ? inL[i] : 0.0f;
        const float right = inR ? inR[i] : 0.0f;
        // The host's audio as a modulation source, kept within -1..1.
        const float input = (left + right) * 0.5f;
        setFrameSource(src::Input, clampTo(finiteOr(input, 0.0f), -1.0f, 1.0f));

        renderFrame();
        if (render.fxRun.count == 0) sendFrame(*this, outL, outR, i);
    }
    finishFxRun();
    render.fxRun.allowed = false;
    render.fxRun.outL = render.fxRun.outR = nullptr;
}

// The frames that waited for their chain: the chain over all of them, then
// each frame's output in order.
void APlugin::finishFxRun() {
    RenderState& render = engine.render;
    RenderState::FxRun& run = render.fxRun;
    if (run.count == 0) return;
    runFX(run.bus.data(), run.count, run.firstFrame, false);
    if (edgesSmooth(render) && run.outL && run.outR && !engine.matrix.sourceUsed[src::Output]) {
        sendRun(*this);
    } else {
        for (int k = 0; k < run.count; ++k) {
            render.fxBlock = run.bus[k];
            finishOutput(*this);
            sendFrame(*this, run.outL, run.outR, run.firstIndex + k);
        }
    }
    run.count = 0;
}

// A source that changes every frame for everyone ("Input", "Output", the
// noise sources): it is written to the global row and the listed voices; a
// voice entering the list takes the global value (buildActiveVoiceList), so
// every voice that renders sees the same value as with a write to all
// sixteen.
void APlugin::setListedSource(int source, float value) {
    engine.global.src[source] = value;
    const RenderState& render = engine.render;
    for (int n = 0; n < render.activeVoiceCount; ++n)
        engine.voices[render.activeVoices[n]].mod.src[source] = value;
}

// After a routing change: the listed voices take the global values of the
// sources whose per-voice copies are kept only while a slot reads them.
void APlugin::refreshListedSources() {
    const RenderState& render = engine.render;
    for (int n = 0; n < render.activeVoiceCount; ++n) {
        auto& src = engine.voices[render.activeVoices[n]].mod.src;
        for (int s : {src::Input, src::Output, src::SModLfo, src::UniSModLfo})
            src[s] = engine.global.src[s];
    }
}

// "Input" and "Output": the voices' copies feed only the matrix, so while
// no slot reads the source only the global row is written; a routing change
// brings the listed voices up to date (refreshListedSources).
void APlugin::setFrameSource(int source, float value) {
    if (engine.matrix.sourceUsed[source])
        setListedSource(source, value);
    else
        engine.global.src[source] = value;
}

void APlugin::readHostTime() {
    RenderState& render = engine.render;
    const VstTimeInfo* info = getTimeInfo(kTimeRequest);
    render.hasTimeInfo = info != nullptr;
    if (info) render.timeInfo = *info;
    render.blockStart = render.sampleCounter;
}

// The wave-table rebuild and the preset application at their ticks: every
// 512 frames the next stage of a staged build; every 4096 a requested build
// starts, and, unless a staged build runs, the editor is refreshed and a
// pending preset applied (also while one runs, when the preset's tables were
// built for it already).
void APlugin::runTableAndPresetTicks(std::uint64_t counter) {
    if ((counter & 511) == 0) runTableRebuildStage();
    if ((counter & 4095) != 0) return;
    startTableRebuild();
    if (!tableRebuildRunning()) {
        if (core.screenUpdatePending) updateEditorScreen();
        if (core.presetPending) setPresetParameters();
    } else if (core.presetPending && presetTablesReady()) {
        setPresetParameters(); // its tables replace the staged build
    }
}

void APlugin::renderFrame() {
    RenderState& render = engine.render;
    const uint64_t counter = render.sampleCounter;

    if ((counter & 15) == 0) finishFxRun(); // before anything of the tick
    runTableAndPresetTicks(counter);

    const bool waiting = core.settingPreset || core.presetPending || tableRebuildRunning();
    if (waiting) finishFxRun();
    render.outputPair = {0.0f, 0.0f};
    if (waiting) {
        // The editor still learns that the engine waits.
        if ((counter & 15) == 0) publishDisplayAtTick();
        smoothOutputEdges(true);
        render.controlPlan.stale = true; // the voices' clocks stand still
        ++render.sampleCounter;
        return;
    }

    ModRow& global = engine.global;
    for (int s = src::FreeLfoFirst; s < src::FreeLfoFirst + 4; ++s) global.src[s] = 0.0f;

    if ((counter & 127) == 0) {
        agreePlayModeAfterWrites();
        if (modesChanged()) reset();
        setGlobalRareWhenChanged();
    }

    stepGlobalLfos();
    // The voices' copies of the SMod LFO feed only the matrix.
    if (engine.matrix.sourceUsed[src::SModLfo] || engine.matrix.sourceUsed[src::UniSModLfo])
        for (int n = 0; n < render.activeVoiceCount; ++n) {
            VoiceState& voice = engine.voices[render.activeVoices[n]];
            voice.mod.src[src::SModLfo] = global.src[src::SModLfo];
            voice.mod.src[src::UniSModLfo] = global.src[src::UniSModLfo];
        }

    if ((counter & 15) == 0) {
        globalTick();
        render.controlPlan.stale = true; // requests, the arpeggiator and resets start voices
    }

    advanceSModLfo();

    if ((counter & 3) == 0) buildActiveVoiceList();

    voiceControlStage();
    stepVoiceLfosAndNoise();

    render.voiceBus = {0.0f, 0.0f, 0.0f, 0.0f};
    renderVoices();

    RenderState::FxRun& run = render.fxRun;
    if (chainMayWait(engine) && run.count < EffectChainState::kRunFrames) {
        if (run.count == 0) {
            run.firstFrame = counter;
            run.firstIndex = static_cast<int>(counter - render.blockStart);
        }
        run.bus[run.count++] = render.voiceBus;
    } else {
        finishFxRun();
        render.fxBlock = render.voiceBus;
        doFX(render.forceFX);
        finishOutput(*this);
    }
    render.forceFX = false;

    if ((counter & 15) == 0) {
        for (int s : {src::OscOut, src::FilterOut, src::VoiceOut}) {
            float sum = 0.0f;
            for (int n = 0; n < render.activeVoiceCount; ++n)
                sum += engine.voices[render.activeVoices[n]].mod.src[s];
            global.src[s] = sum;
        }
    }
    ++render.sampleCounter;
}

namespace {

// 0 to 1 with level ends, for the output ramps.
float smoothStep(float t) {
    return t * t * (3.0f - 2.0f * t);
}

} // namespace

// The rebuild silence, a pending preset and a reset start and end at exact
// frames; the output glides across those edges instead of stepping. At a
// cut (the first silent frame, or a reset) the difference between the frame
// last sent and the new output is added back and fades out over about
// 1.5 ms; the first sound after a silence fades in over as long. The ramps
// shape the two output samples only: nothing per voice.
void APlugin::smoothOutputEdges(bool silent) {
    RenderState& render = engine.render;
    auto& out = render.outputPair;
    bool cut = render.cutSound;
    if (silent != render.silent) {
        cut |= silent;
        if (!silent) render.fadeInPhase = 0.0f;
        render.silent = silent;
    }
    if (!cut && render.jumpPhase <= 0.0f && render.fadeInPhase >= 1.0f) {
        render.lastOutput = out;
        return;
    }
    const float step = engine.rate.edgeStep;
    if (render.fadeInPhase < 1.0f) {
        render.fadeInPhase = std::min(render.fadeInPhase + step, 1.0f);
        const float g = smoothStep(render.fadeInPhase);
        out[0] *= g;
        out[1] *= g;
    }
    if (cut) {
        render.cutSound = false;
        render.jump = {render.lastOutput[0] - out[0], render.lastOutput[1] - out[1]};
        render.jumpPhase = 1.0f;
    }
    if (render.jumpPhase > 0.0f) {
        render.jumpPhase = std::max(render.jumpPhase - step, 0.0f);
        const float g = smoothStep(render.jumpPhase);
        out[0] += render.jump[0] * g;
        out[1] += render.jump[1] * g;
    }
    // The jump was taken between two limited frames, so it can carry a new
    // frame up to twice full scale: the limit is the last thing a sample meets.
    out[0] = limitOutput(out[0]);
    out[1] = limitOutput(out[1]);
    render.lastOutput = out;
}

// Every 16 frames, before the voices.
void APlugin::globalTick() {
    RenderState& render = engine.render;
    ModRow& global = engine.global;
    NoteState& ns = engine.notes;

    serveEngineRequests();
    if (ns.playMode != playmode::Arp) arpModulationOutsideArp();

    setLastVoice();
    render.anyVoicePlaying = anyVoiceSounds();

    // Host time: song position, tempo and transport.
    if (render.hasTimeInfo) {
        const VstTimeInfo& info = render.timeInfo;
        render.songPosition[0] = info.ppqPos;
        if (info.flags & kVstTempoValid) {
            const double tempo = std::isfinite(info.tempo) ? info.tempo : render.tempoD;
            render.tempoD = clampTo(tempo, 1.0, 12000.0);
            render.tempo = static_cast<float>(render.tempoD);
            render.samplesPerWholeNote = engine.rate.sampleRate * 240.0f / render.tempo;
            render.samplesPerWholeNoteD = engine.rate.sampleRateD * 240.0 / render.tempoD;
        }
        updateArpClock();
        const bool playing = (info.flags & kVstTransportPlaying) != 0;
        if (playing && !render.transportPlaying)
            transportStarted();
        else if (!playing && render.transportPlaying)
            turnAllVoicesOff();
        render.transportPlaying = playing;
    }

    MidiState& midi = engine.midi;
    midi.smoothModWheel = (midi.smoothModWheel - midi.globalModWheel) * 0.99f + midi.globalModWheel;
    global.src[src::ModWheel] = midi.smoothModWheel;
    global.src[src::Offset] = 1.0f;

    render.envSpeed = global.dst[dst::GlobalEnvSpeed];
    render.lfoSpeed = global.dst[dst::GlobalLfoSpeed];

    setEnvGlobal(kEnvAmp, false);
    setEnvGlobal(kEnvFilter, false);
    if (freeEnvelopeUsed(0)) setEnvGlobal(kEnvFree1, getOnOff(tag::freeEnv(0, tag::FreeEnvSync)));
    if (freeEnvelopeUsed(1)) setEnvGlobal(kEnvFree2, getOnOff(tag::freeEnv(1, tag::FreeEnvSync)));
    for (int e = 0; e < kNumEnvelopes; ++e) {
        const float out = static_cast<float>(engine.globalEnv[e].output);
        global.src[src::EnvFirst + 2 * e] = out;
        global.src[src::EnvFirst + 2 * e + 1] = 1.0f - out;
    }

    updateXYGlobal();
    applyGlobalMatrix();

    const float volume = getCurrentValue(tag::MainVolume);
    render.masterVolume = (render.masterVolume - volume) * 0.995f + volume;
    // The volume comes to rest on its value: the gain is made again only
    // when it moved.
    const uint32_t volumeBits = std::bit_cast<uint32_t>(render.masterVolume);
    if (!render.masterGainValid || volumeBits != render.masterGainFrom) {
        render.masterGain = render.masterVolume < 0.001f
                                ? 0.0f
                                : std::pow(10.0f, (render.masterVolume * 60.0f - 60.0f) / 20.0f);
        render.masterGainFrom = volumeBits;
        render.masterGainValid = true;
    }

    updateGlobalDerivedValues();
    if (ns.playMode == playmode::Arp) stepArpClock();
    publishDisplayAtTick();
}

void APlugin::transportStarted() {
    resetSModLfoPhase();
    initEnv(2, -1);
    initLFO(2, 0, -1);
    initLFO(2, 1, -1);
    initXY(2, -1);
    restartArpPhrase();
    restartXYReplaySpeed();
    restartEffectLfos();
}

void APlugin::buildActiveVoiceList() {
    RenderState& render = engine.render;
    uint32_t listedVoices = 0;
    int count = 0;
    const float input = engine.global.src[src::Input];
    const float output = engine.global.src[src::Output];
    for (uint32_t may = voicesThatMaySound(); may != 0; may &= may - 1) {
        const int v = std::countr_zero(may);
        VoiceState& voice = engine.voices[v];
        if (!voice.sounds()) continue;
        voice.mod.src[src::Input] = input;
        voice.mod.src[src::Output] = output;
        listedVoices |= 1u << v;
        render.activeVoices[count] = v;
        render.activeUniVoices[count] = voice.uniVoices;
        ++count;
    }
    render.activeVoiceCount = count;
    render.listedVoices = listedVoices;
    render.startedVoices = 0;
    // The list holds the voices in order: the same voices, the same list.
    if (listedVoices != render.controlPlan.listed) render.controlPlan.stale = true;
    if (render.activeVoiceCount == 0) clearArpSoundingVoice();
}

namespace {

// What a voice's per-frame control work needs besides its tick.
struct VoiceFrameWork {
    uint32_t generation;
    bool freeLfos; // the voices copy the global free LFOs
    bool xyFrames; // the voices' XY sources glide on their own

    bool busy(const VoiceState& voice, const XYVoice& xv) const {
        return freeLfos || voice.envRest.restingGeneration != generation ||
               (xyFrames && (!xv.resting || xv.restGeneration != generation));
    }
};

VoiceFrameWork voiceFrameWork(const EngineState& engine) {
    const XYState& xy = engine.xy;
    return {engine.matrix.generation, engine.matrix.freeLfoSourceUsed,
            xy.recordMode == xyrecord::Live ||
                (xy.recordMode == xyrecord::Replay && xy.playMode == xyplay::Poly)};
}

} // namespace

// The control plan from the listed voices as they are: each voice's tick
// frame from its clock (which moves on with the sample counter while the
// voice stays listed), what works on every frame, and the matrix halves.
void APlugin::makeControlPlan() {
    RenderState& render = engine.render;
    ControlPlan& plan = render.controlPlan;
    const VoiceFrameWork work = voiceFrameWork(engine);
    plan = ControlPlan{.stale = false, .everyFrame = plan.everyFrame};
    const uint32_t counter = static_cast<uint32_t>(render.sampleCounter);
    for (int n = 0; n < render.activeVoiceCount; ++n) {
        const int v = render.activeVoices[n];
        const VoiceState& voice = engine.voices[v];
        const uint32_t bit = 1u << n;
        plan.listed |= 1u << v;
        plan.tick[(counter - static_cast<uint32_t>(voice.voiceTick)) & 15] |= bit;
        if (work.busy(voice, engine.xy.voices[v])) plan.busy |= bit;
        if (!voice.matrix.idle) plan.matrixFrames |= bit;
    }
}

// Every frame, over the listed voices: each voice's 16-frame tick when due,
// then its envelope sources, and the envelopes move by their ramps (the free
// envelopes while a slot reads them, the second implies both). An inverse
// envelope source is written only while a slot reads it (updateModSlotCache
// brings it up to date when that starts). Envelopes whose ramps are all 0
// after a tick leave their sources as the tick frame wrote them until the
// next tick, a routing change or a reset (initEnv).
void APlugin::voiceControlStage() {
    RenderState& render = engine.render;
    ControlPlan& plan = render.controlPlan;
    if (plan.stale || plan.everyFrame) makeControlPlan();
    uint32_t due = plan.busy | plan.tick[render.sampleCounter & 15];
    if (due == 0) return;

    const MatrixState& m = engine.matrix;
    const XYState& xy = engine.xy;
    const VoiceFrameWork work = voiceFrameWork(engine);
    const uint32_t generation = m.generation;
    const int envelopes = m.freeEnvelopeUsed[1]   ? kEnvFree2 + 1
                          : m.freeEnvelopeUsed[0] ? kEnvFree1 + 1
                                                  : kEnvFilter + 1;
    const uint8_t framedMask = static_cast<uint8_t>((1u << envelopes) - 1u);
    bool anyInverse = false;
    for (int e = 0; e < envelopes; ++e) anyInverse |= m.sourceUsed[src::EnvFirst + 2 * e + 1];

    while (due != 0) {
        const int n = std::countr_zero(due);
        due &= due - 1;
        const uint32_t bit = 1u << n;
        const int v = render.activeVoices[n];
        VoiceState& voice = engine.voices[v];
        const bool tick = (voice.voiceTick & 15) == 0;
        if (tick) {
            voiceControlTick(v);
            plan.matrixFrames =
                voice.matrix.idle ? plan.matrixFrames & ~bit : plan.matrixFrames | bit;
        }

        VoiceEnvelopeRest& rest = voice.envRest;
        if (tick || rest.restingGeneration != generation) {
            auto& src = voice.mod.src;
            bool still = true;
            for (int e = 0; e < envelopes; ++e) {
                EnvelopeState& env = voice.env[e];
                src[src::EnvFirst + 2 * e] = static_cast<float>(env.prevOutput);
                env.prevOutput += env.ramp;
                still &= env.ramp == 0.0;
            }
            if (anyInverse)
                for (int e = 0; e < envelopes; ++e)
                    if (m.sourceUsed[src::EnvFirst + 2 * e + 1])
                        src[src::EnvFirst + 2 * e + 1] = 1.0f - src[src::EnvFirst + 2 * e];
            rest.framed |= framedMask;
            if (tick) rest.restingGeneration = still ? generation : 0;
        }

        if (work.freeLfos)
            for (int s = src::FreeLfoFirst; s < src::FreeLfoFirst + 4; ++s)
                voice.mod.src[s] = engine.global.src[s];
        const XYVoice& xv = xy.voices[v];
        if (work.xyFrames && (!xv.resting || xv.restGeneration != generation)) voiceXYFrame(v);

        plan.busy = work.busy(voice, xv) ? plan.busy | bit : plan.busy & ~bit;
    }
}

// The inverse envelope sources of every voice, from their envelope sources:
// after a routing change, as if they had been written all along (an
// envelope never run since the voice's reset keeps its zeros).
void APlugin::refreshInverseEnvelopeSources() {
    for (VoiceState& voice : engine.voices)
        for (int e = 0; e < kNumEnvelopes; ++e)
            if (voice.envRest.framed & (1u << e))
                voice.mod.src[src::EnvFirst + 2 * e + 1] =
                    1.0f - voice.mod.src[src::EnvFirst + 2 * e];
}

// The voice's 16-frame work: controllers, bend, glide, envelopes, LFOs,
// the first half of its matrix and its arpeggiator modulation.
void APlugin::voiceControlTick(int v) {
    VoiceState& voice = engine.voices[v];
    ModRow& global = engine.global;
    const bool last = v == engine.notes.lastVoice;

    // The controllers glide to their values; once a pass leaves every one
    // as it was, the passes rest until a MIDI event or a new note.
    auto& src = voice.mod.src;
    const uint32_t events = engine.midi.events;
    const bool resting =
        static_cast<uint32_t>(voice.voiceTick) - static_cast<uint32_t>(voice.controllersRestTick) ==
            16u &&
        voice.controllersRestEvents == events;
    if (resting) {
        voice.controllersRestTick = voice.voiceTick;
    } else {
        uint32_t moved = 0;
        auto smooth = [&moved](float& s, float target) {
            const float next = s * 0.99f + target * 0.00999999f;
            moved |= std::bit_cast<uint32_t>(next) ^ std::bit_cast<uint32_t>(s);
            s = next;
        };
        smooth(src[src::ModWheel], voice.modWheel);
        smooth(src[src::ChannelAftertouch], voice.channelPressure);
        smooth(src[src::PolyAftertouch], voice.polyAftertouch);
        src[src::ModWheelOrAftertouch] = std::max(src[src::ModWheel], src[src::ChannelAftertouch]);
        for (int i = 0; i < kMappedControllers; ++i)
            smooth(src[src::ControllerFirst + i], voice.controllers[i]);
        voice.controllersRestTick = moved == 0 ? voice.voiceTick : -1;
        voice.controllersRestEvents = events;
    }
    if (last) {
        for (int s = src::ModWheelOrAftertouch; s <= src::PolyAftertouch; ++s)
            global.src[s] = src[s];
        for (int i = 0; i < kMappedControllers; ++i)
            global.src[src::ControllerFirst + i] = src[src::ControllerFirst + i];
    }

    // A centred wheel bends by its own zero whatever the range (the ranges
    // are finite and not negative).
    const float wheel = src[src::PitchBend];
    voice.bend = wheel == 0.0f ? wheel : bendOctaves(wheel);

    // Portamento: the sounding pitch moves towards the note's pitch.
    if (voice.glideStep != 0.0f) {
        voice.soundingPitch += voice.glideStep;
        const bool arrived = voice.glideStep > 0.0f ? voice.soundingPitch >= voice.pitch
                                                    : voice.soundingPitch <= voice.pitch;
        const bool jump = (engine.notes.portMode == portmode::HeldRate ||
                           engine.notes.portMode == portmode::HeldTime) &&
                          getNotesOn() < 2;
        if (arrived || jump) {
            voice.soundingPitch = voice.pitch;
            voice.glideStep = 0.0f;
            voice.glideDir = 0.0f;
        }
    }

    voiceControlTerms(v);

    setVolEnv(v, kEnvAmp, false);
    setEnv(v, kEnvFilter, false);
    // The free envelopes only feed modulation slots: unused, they rest.
    if (freeEnvelopeUsed(0)) setEnv(v, kEnvFree1, getOnOff(tag::freeEnv(0, tag::FreeEnvSync)));
    if (freeEnvelopeUsed(1)) setEnv(v, kEnvFree2, getOnOff(tag::freeEnv(1, tag::FreeEnvSync)));

    voiceLfoAndXYTick(v);
    applyVoiceMatrixFirstHalf(v);
    voiceArpTick(v);
    if (last) global.src[src::ArpFree] = voice.mod.src[src::ArpFree];
}

// The sound of every listed voice, stage by stage over the whole list.
void APlugin::renderVoices() {
    // With no voice listed every stage leaves the bus as it is.
    if (engine.render.activeVoiceCount == 0) return;
    applyVoiceMatrixSecondHalf();
    oscillatorStage();
    filterStage();
    voiceMixStage();
}
