// State of the sound engine that the plug-in object owns.
//
// Everything lives in fixed-size arrays inside the plug-in object (which is
// heap-allocated); nothing here is allocated while rendering. Per-voice state
// is one VoiceState per voice; the global note, MIDI, render and rate state
// are grouped in their own structs.
#pragma once

#include "core/atomic_value.h"
#include "core/mod_slots.h"
#include "core/tags.h"
#include "engine/arp.h"
#include "engine/effects.h"
#include "engine/envelope.h"
#include "engine/lfo.h"
#include "engine/matrix.h"
#include "engine/pink_noise.h"
#include "engine/random15.h"
#include "engine/tables.h"
#include "engine/tuning.h"
#include "engine/voice_dsp_state.h"
#include "engine/xy_pad.h"
#include "vst2/vst2.h"
#include "waves/sample.h"
#include "waves/wave_state.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>

constexpr int kNumVoices = 16;
static_assert(kArpVoices == kNumVoices); // engine/arp.h keeps one entry per voice
constexpr int kUnisonCopies = 4;
constexpr int kNumLanes = kNumVoices * kUnisonCopies; // one lane per unison copy
constexpr int kNumEnvelopes = 4;                      // amplitude, filter, free 1, free 2
constexpr int kMidiChannels = 16;
constexpr int kMappedControllers = src::ControllerCount; // sources src::ControllerFirst..
constexpr int kMonoStackSize = 128;
constexpr int kMidiNotes = 128;
// The output history the editor's scope reads: its 20480-sample span and
// room for the samples rendered while it reads (a power of two).
constexpr int kScopeSize = 32768;
constexpr int kNumPinkGenerators = 65;

// A voice sounds while gated or while its amplitude is above this level.
constexpr double kVoiceSilence = 0.00001;

enum EnvelopeIndex : int { kEnvAmp = 0, kEnvFilter = 1, kEnvFree1 = 2, kEnvFree2 = 3 };

// What envelopeInputs reads for one envelope from the parameters, one
// modulation row, the rate and the tempo, bit for bit.
struct EnvelopeInputKey {
    std::array<uint32_t, 15> values{}; // 5 parameters, 9 modulation sums, the switches
    uint64_t sampleRate = 0, samplesPerWholeNote = 0;
    bool operator==(const EnvelopeInputKey&) const = default;
};

// One envelope's inputs as last computed, kept while what they come from
// rests (a voice's envelopes mostly run on unchanging inputs).
struct EnvelopeInputCache {
    EnvelopeInputKey key;
    bool valid = false;
    EnvelopeInputs inputs;
};

// One row of modulation: source values and destination sums.
struct ModRow {
    std::array<float, src::Count> src{};
    std::array<float, dst::Count> dst{};
};

// Which of a voice's envelope sources the per-frame stage has written since
// the voice's reset, and whether its envelopes rest until the next tick.
struct VoiceEnvelopeRest {
    uint8_t framed = 0;             // bit e: envelope e was run (its sources hold its level)
    uint32_t restingGeneration = 0; // every ramp run was 0 at the last tick under this
                                    // routing generation; 0: they move
};

struct VoiceState {
    bool gate = false;        // the key is held (or an arpeggiator step holds it)
    bool stolen = false;      // fading out to make room
    bool sustainHeld = false; // held by the sustain pedal
    int note = 0;             // MIDI note, 0 after its note off
    int channel = -1;         // MIDI channel of the note (MPE), -1 none
    int64_t noteOnStamp = 0;  // sample counter when the voice was assigned

    float pitch = 0.0f;         // octaves relative to MIDI note 57
    float soundingPitch = 0.0f; // pitch on its way there (portamento)
    float velocity = 0.0f;      // 0..1
    float velocityGain = 1.0f;
    float glideStart = 0.0f;
    float glideStep = 0.0f; // octaves per 16 samples
    float glideDir = 0.0f;  // -1, 0, +1
    float bend = 0.0f;      // octaves

    int uniVoices = 1; // unison copies 1..4
    int uniMode = 0;
    float uniDivide = 1.0f;
    VoiceDspState dsp;  // oscillator, filter, distortion and mix
    MatrixVoice matrix; // this voice's slot amounts
    LfoVoice lfo;       // its own copies of the free LFOs (mode Poly)

    // Controller values as received, and their snapshot at the note start.
    float modWheel = 0.0f, polyAftertouch = 0.0f, channelPressure = 0.0f;
    float snapModWheel = 0.0f, snapPolyAftertouch = 0.0f, snapChannelPressure = 0.0f;
    std::array<float, kMappedControllers> controllers{};
    // The smoothed copies of the values above stood still at the tick with
    // this clock (-1 none) and no MIDI event came since (MidiState::events).
    int32_t controllersRestTick = -1;
    uint32_t controllersRestEvents = 0;

    std::array<EnvelopeState, kNumEnvelopes> env{};
    std::array<EnvelopeInputCache, kNumEnvelopes> envInputs{};
    VoiceEnvelopeRest envRest;
    int32_t voiceTick = 0; // frames since the note started
    ModRow mod;

    // The amplitude envelope's interpolated output is the voice's level.
    double ampLevel() const { return env[kEnvAmp].prevOutput; }
    bool sounds() const { return gate || ampLevel() > kVoiceSilence; }
};

// Notes, play modes and voice allocation shared by all voices.
struct NoteState {
    int playMode = 0, portMode = 0, uniModeGlobal = 0; // cached modes
    int curVoice = 0;
    int lastAllocVoice = 0;
    int lastVoice = 0;
    float prevPitch = -10.0f; // pitch of the previous note, -10 none
    std::array<int, kMonoStackSize> monoStack{};
    int monoTop = -1;
    int monoVelocity = 0;
    bool monoHeld = false;
    bool freshNote = false;
    int noteCounter = 0; // 0..11
    bool previewOn = false;
    std::array<int, kMidiChannels> channelToVoice{};
    bool globalFilterFreeRun = false;
    int distortMode = 0;          // cached \"Distort Mode\"
    bool spreadActive = false;    // the two-oscillator path is in use (never turns off)
    bool spreadModulated = false; // a slot targets dst::OscSpread..OscDownSpreadPhase
    float xyToMorphX = 0.0f, xyToMorphY = 0.0f; // XY-to-morph amounts, -1..1
    bool arpKeyEntry = false;                   // cached "Arp Key Entry On / Off"
    int arpEntryStep = 0;                       // grid step the next entered note goes to
};

// A pick-up reference that stands for the parameter's value at the moment
// its controller first moves (a binding loaded at start-up, a preset loaded
// or restored since).
inline constexpr float kPickupFromCurrentValue = -1.0f;

// MIDI input state.
struct MidiState {
    std::atomic<int> midiChannel{-1};          // -1 every channel, 0..15 one, 16 none
    std::array<std::atomic<int>, 128> ccMap{}; // parameter tag per controller, 0 none
    std::array<bool, tag::Count> captured{};   // pick-up reached per tag
    std::array<float, tag::Count> pickupRef{}; // pick-up reference per tag, or the above
    std::atomic<int> learnTag{-1};             // tag waiting to be learned, -1 none
    // Held by a thread that writes the map and stores it in the preferences
    // (the main thread, the file worker; never the audio thread), so that a
    // learned binding stored late never writes over a later change.
    std::mutex storeLock;
    // Controllers learned on the audio thread whose preference the main
    // thread still has to write (one bit per controller number).
    std::array<std::atomic<std::uint64_t>, 2> learnedPrefPending{};
    std::atomic<bool> learnArmed{false}; // the next control change binds learnTag

    int lastCCValue = 0;
    uint32_t events = 0; // MIDI events handled so far (any may move a controller)
    float globalModWheel = 0.0f;
    float smoothModWheel = 0.0f;
    float globalBend = 0.0f;
    // Per-channel values of MPE play.
    std::array<float, kMidiChannels> chanModWheel{}, chanPolyAftertouch{}, chanPressure{},
        chanBend{};
    std::array<std::array<float, kMappedControllers>, kMidiChannels> chanControllers{};

    bool sustainDown = false;
    bool arpSustain = false;
    // Releases that the arpeggiator's latch or the pedal holds back, counted
    // per note: each stands for one entry of that note in the note list (or
    // the sequencer's key stack), so no count exceeds the entries it can
    // release and none is ever dropped.
    std::array<uint8_t, kMidiNotes> arpHeldReleases{};
};

// The pending MIDI events of the coming samples. Events due on the same frame
// are handled in the order of their offsets (an offset of 0 and one of 1 are
// both due on the first frame), and in the order they arrived among equal
// offsets, whichever records they occupy.
struct MidiEventQueue {
    static constexpr int kRecords = 251;  // record 0 is never used
    static constexpr int32_t kFree = -99; // deltaFrames of a free record

    std::array<VstMidiEvent, kRecords> events{};
    std::array<uint64_t, kRecords> arrival{}; // stamp of each taken record, rising
    uint64_t arrivals = 0;                    // stamps handed out so far
    int32_t pending = 0;                      // taken records
    // Every pending record counts down by one per frame and comes due at 0.
    // The frames before the next one can come due need no look at the
    // records: quietFrames of them are left, and owed have passed without
    // their countdown (payOwed brings the records up to date).
    int32_t quietFrames = 0;
    int32_t owed = 0;
    // Frames the queue has stood still for (while a restored state waits for
    // its tuning, or its record is written): events that arrive meanwhile
    // come due that much later, so every event keeps its place in time among
    // the held ones.
    int32_t heldFrames = 0;

    // The lowest free record, or 0 when the queue is full.
    int freeSlot() const;
    // A copy of the host's event into the free record `slot` (the caller
    // counts it), stamped as the latest arrival. A negative offset would
    // never come due (and -99 means free): it is handled at the next frame.
    void place(int slot, const VstMidiEvent& event);
    // Frames (a block, or one frame) in which no record counts down.
    void hold(int32_t frames) { heldFrames = std::min(heldFrames + frames, kMaxHeldFrames); }

    static constexpr int32_t kMaxHeldFrames = 1 << 24;

    // One frame of the render loop on which no record can come due: its
    // countdown is owed instead. False when the records must be looked at.
    bool passQuietFrame() {
        if (quietFrames == 0) return false;
        --quietFrames;
        ++owed;
        return true;
    }

    // One frame: every record counts down, and each one due now goes to
    // handle(event) in turn and is freed.
    template <class Handle> void runFrame(Handle&& handle) {
        std::array<uint8_t, kRecords> due;
        const int count = takeDue(due);
        for (int i = 0; i < count; ++i) {
            if (pending < 1) {
                pending = 0;
                return;
            }
            --pending;
            VstMidiEvent& event = events[due[i]];
            handle(static_cast<const VstMidiEvent&>(event));
            event.deltaFrames = kFree;
        }
        findQuietFrames();
    }

    void payOwed();
    // From the records as they stand: a record of countdown d (0 or more) is
    // looked at again after max(d - 1, 0) quiet frames.
    void findQuietFrames();

    // Every record a free MIDI event.
    void reset() {
        for (auto& e : events) {
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = kFree;
            e.reserved1 = 99;
        }
        arrival.fill(0);
        arrivals = 0;
        pending = 0;
        quietFrames = owed = heldFrames = 0;
    }

private:
    // Counts every record down by one frame; the records due now into `due`
    // in the order they are handled. Answers how many.
    int takeDue(std::array<uint8_t, kRecords>& due);
};

// Everything derived from the sample rate.
struct RateState {
    float sampleRate = 44100.0f;
    double sampleRateD = 44100.0;
    float doubleRate = 88200.0f;
    float invRate = 1.0f / 44100.0f;
    double invRateD = 1.0 / 44100.0;
    float invDoubleRate = 1.0f / 88200.0f;
    float smodRateBase = 0.0f;
    float driftRateHigh = 0.0f, driftRateLow = 0.0f;
    double lfoRateBase = 0.0;
    float filterCeiling = 0.0f;
    float dcCoef = 0.0f, dcCoefComplement = 1.0f;
    float fxRate1 = 0.0f, fxRate2 = 0.0f;         // the reverb's tap and loop-gain movements
    float edgeStep = 1.0f / (0.0015f * 44100.0f); // one step of a 1.5 ms output ramp
    float basePitch = 110.0f / 44100.0f; // cycles per sample of the reference (A4 / 440 x 110 Hz)
};

// The render loop's own state.
// Which listed voices have per-frame control work (voiceControlStage and
// the per-frame matrix half), by list position. Between their ticks most
// voices have none: their envelopes, XY sources and matrix sums rest. Made
// afresh after anything that may start, reset or wake a voice (MIDI, the
// 16-frame global work, a change of the list, a new block, a frame that
// renders no voices); in between only the stage's own work changes it.
struct ControlPlan {
    bool stale = true;
    uint32_t busy = 0;               // work on every frame
    std::array<uint32_t, 16> tick{}; // the tick falls on frames with sampleCounter & 15 == i
    uint32_t matrixFrames = 0;       // the per-frame matrix half runs (not idle)
    uint32_t listed = 0;             // the voices of the list it was made for, by number
    bool everyFrame = false;         // tests: made anew on every frame (and setGlobalRare
                                     // run at every 128-frame tick)
};

// What setGlobalRare read besides the tags' values, and the values' change
// count before it read them: while all stay, it would change nothing.
struct RareInputs {
    uint32_t valueChanges = 0;
    uint32_t midiEvents = 0;
    double sampleRate = 0.0, lfoRateBase = 0.0, tempo = 0.0, samplesPerWholeNote = 0.0;
    float arpSteps = 0.0f, arpLoopStart = 0.0f; // global sums the arpeggiator's loop reads
    bool valid = false;
};

struct RenderState {
    uint64_t sampleCounter = 0;
    int activeVoiceCount = 0;
    std::array<int, kNumVoices> activeVoices{};
    std::array<int, kNumVoices> activeUniVoices{};
    // The voices that may sound: a voice left out of the list comes back
    // only through setVoiceOn (the envelopes of unlisted voices stand still),
    // so only the listed ones and those started since the list was made are
    // looked at (APlugin::voicesThatMaySound).
    uint32_t listedVoices = 0;
    uint32_t startedVoices = (1u << kNumVoices) - 1u;
    ControlPlan controlPlan;
    RareInputs rareSeen;
    std::array<float, 4> voiceBus{}; // L, R of sub-sample 0, L, R of sub-sample 1
    std::array<float, 4> fxBlock{};  // the effect chain's working block
    std::array<float, 2> outputPair{};
    float masterGain = 0.0f;
    float masterVolume = 0.0f;
    uint32_t masterGainFrom = 0; // bits of the masterVolume masterGain was made from
    bool masterGainValid = false;
    uint64_t lastXYRefresh = 0;

    VstTimeInfo timeInfo{};  // copy of the host's time information of this block
    uint64_t blockStart = 0; // sampleCounter at the start of this block
    uint64_t blockEnd = 0;   // and after its last frame
    bool hasTimeInfo = false;
    std::array<double, 2> songPosition{};
    bool transportPlaying = false;
    float tempo = 120.0f;
    double tempoD = 120.0;
    float samplesPerWholeNote = 88200.0f;
    double samplesPerWholeNoteD = 88200.0;
    bool anyVoicePlaying = false;
    bool forceFX = false;  // one-shot reset of the effect chain
    double envSpeed = 1.0; // global destination 5, for the envelopes
    double lfoSpeed = 1.0; // global destination 6, for the LFOs

    // The edges of silences and resets (smoothOutputEdges): the last frame
    // sent out, what the last cut took away (fading while jumpPhase falls
    // from 1 to 0) and the fade-in after a silence (fadeInPhase 0 to 1).
    std::array<float, 2> lastOutput{};
    std::array<float, 2> jump{};
    float jumpPhase = 0.0f;
    float fadeInPhase = 1.0f;
    bool silent = false;   // the last frame was one of a silence
    bool cutSound = false; // a reset cut the voices since the last frame

    // Frames whose effect chain and output wait for the end of their run:
    // consecutive frames of one block between two control ticks, while
    // nothing reads the chain's output before then (APlugin::finishFxRun).
    struct FxRun {
        std::array<EffectChainState::Frame, EffectChainState::kRunFrames> bus{};
        int count = 0;
        int firstIndex = 0;      // the first frame's index in the block
        uint64_t firstFrame = 0; // and its sample counter
        float* outL = nullptr;   // the block's outputs; null outside processReplacing
        float* outR = nullptr;
        bool allowed = false; // within processReplacing
    } fxRun;
};

// Requests from the main thread that the audio thread carries out at its
// next 16-frame tick.
struct EngineRequests {
    std::atomic<bool> reset{false};
    std::atomic<bool> previewOn{false};
    std::atomic<bool> previewOff{false};
    std::atomic<int> arpEntryStep{-1}; // the key-entry step the editor chose, -1 none
    std::atomic<int> arpMagicReset{0}; // 1 clear the magic steps, 2 also draw anew
};

// What the editor shows of the running engine.
//
// The audio thread owns the engine's working state; the editor, on the
// host's main thread, never reads it. The audio thread publishes copies
// here instead, every value a relaxed atomic: the modulation sums, the voice
// and arpeggiator state and the oscillator's flags at every 16-frame tick
// (APlugin::publishDisplay), the output samples as it renders them, and the
// oscillator's lowest pitch tables whenever a new bank starts to play. The
// editor's getters read only these copies and the parameter values. A
// picture drawn while a publication is under way may mix two ticks; the
// next idle pass draws it again.
struct DisplayState {
    // ---- every 16 frames
    std::array<Relaxed<float>, dst::Count> globalDst;        // global destination sums
    std::array<Relaxed<float>, dst::Count> voiceDst;         // the last sounding voice's sums
    Relaxed<float> globalXYX, globalXYY, voiceXYX, voiceXYY; // the XY sources, global and voice
    Relaxed<float> voiceMorph;             // the last voice's smoothed morph position
    Relaxed<int> voiceWarpRow;             // and its symmetry row
    Relaxed<float> voiceCutoffHz;          // its filter's cut-off (first copy), -1 none
    Relaxed<float> xyToMorphX, xyToMorphY; // XY-to-morph amounts
    Relaxed<float> masterGain;
    Relaxed<uint32_t> soundingVoices; // one bit per voice that sounds
    Relaxed<int> arpLedPos;           // the step to light, -1 none
    Relaxed<int> arpPassParity;       // 0/1, flips at every pass of the loop
    Relaxed<bool> arpPlaying;         // the note list holds a note
    Relaxed<bool> arpRatchetDisplay;  // the pass now playing ratchets
    Relaxed<uint32_t> arpMagicMuted;  // one bit per step the magic steps mute
    std::array<Relaxed<int>, tag::ArpStepCount> arpMagicTune; // semitones per step
    // The oscillator's wave flags, and whether a wave-table rebuild runs.
    Relaxed<bool> morphWrap, waveAIsNoise, waveBIsNoise, bothWavesNoise, tableRebuildRunning;

    // ---- every frame: the output, the newest sample at scopeWritePos - 1
    std::array<Relaxed<float>, kScopeSize> scope;
    Relaxed<uint32_t> scopeWritePos;

    // ---- whenever a new bank starts to play: its pitch table 0 of every
    // morph frame, all the oscillator picture reads of it
    std::array<std::array<Relaxed<float>, kWaveSize>, kNumMorphFrames> oscTable;

    // Audio thread.
    void pushScope(float sample) {
        const uint32_t pos = scopeWritePos.get();
        scope[pos & (kScopeSize - 1)].set(sample);
        scopeWritePos.set(pos + 1);
    }
    void clearScope() {
        for (Relaxed<float>& s : scope) s.set(0.0f);
    }
};

static_assert(std::tuple_size_v<decltype(XYState::voices)> == kNumVoices);

struct EngineState {
    RateState rate;
    RenderState render;
    NoteState notes;
    MidiState midi;
    MidiEventQueue midiEventQueue;
    EngineRequests requests;
    DisplayState display;

    std::array<VoiceState, kNumVoices> voices{};
    // Voices with one copy: the gains the mix reads four at a time (VoiceMix::noteGains).
    std::array<VoiceMixGains4, kNumVoices / 4> mixGains{};
    ModRow global;                            // global sources and destination sums
    MatrixState matrix;                       // the slots as setGlobalRare last saw them
    LfoGlobal lfo;                            // free LFOs, SMod LFO and effect-LFO rates
    FilterGlobal filter;                      // voice filter: cached type and switches, comb rings
    std::array<float, dst::Count> destBase{}; // neutral value of every destination
    std::array<EnvelopeState, kNumEnvelopes> globalEnv{};
    std::array<EnvelopeInputCache, kNumEnvelopes> globalEnvInputs{};
    ArpState arp;
    UserWaveLfoRows userLfoRows;   // LFO shapes 6 and 7: this instance's user waves
    XYState xy;                    // the XY pad: take, path replay, pad sources
    TuningExchange tuning;         // tuning tables on their way to the audio thread
    TuningRequests tuningRequests; // tuning files asked for, and the table's source

    Random15 random;
    std::array<PinkNoise, kNumPinkGenerators> pinkNoise{}; // one per lane, then the global one
    RandSeed pinkSeed{1};

    TSample sampleReader;
    EffectChainState fx; // chorus, flanger or phaser, delay, reverb
};
