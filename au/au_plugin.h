// AUPLUGIN: the AudioUnit music device around the plug-in object.
//
// The unit creates the plug-in (the effect) through an effect creator
// (createEffectInstance unless a test hands another), gives it
// AUPLUGINAudioMasterCallback as its host, and from then on drives it only
// through its VST 2.4 interface: AudioEffectX's virtual operations and the
// AEffect dispatcher. One stereo output bus, no input bus.
//
// MIDI: the host's MIDI calls append VstMidiEvents to a pending queue of
// 1024 under an atomic busy flag (a producer spins, then sleeps 100 µs
// between tries). The render side only tries the flag: on success it copies
// the queue into its own event list and empties it, on contention it takes
// nothing new this slice. The audio thread therefore never waits, and every
// event is either delivered once or counted as dropped (queue full).
//
// A message whose status or data bytes are out of range is dropped rather
// than cut to another message. The render side hands a slice's events to the
// effect in the order of their offsets (a host may send them out of order),
// in arrival order among equal offsets.
//
// Rendering: the output buffers are zeroed and handed to processReplacing as
// inputs and outputs. Scheduled parameter events split a slice; each MIDI
// event goes to the sub-slice its offset falls in, rebased to it. Immediate
// events reach the effect when they are scheduled; a ramp reaches it at its
// value at the start of each sub-slice it has begun by, and at the slice's
// end with the value the unit then reads back. Bypass and a slice flagged
// OutputIsSilence give zeros and leave the queue waiting.
//
// Parameters, presets and state (au_state.cpp): parameter i is the effect's
// parameter i in the global scope. Value texts and whole programs come from
// the effect's AdapterServices when it has them (the plug-in does): a value
// is formatted without being set, and the state carries the program store
// ("mCompleteData") or the effect's chunk ("mChunkData") besides the class
// information. A restore checks the description first and changes nothing
// when it does not match.
//
// Editor: a view opens the effect's editor with the private properties of
// au_component.h; the unit remembers the parent value of an editor that
// opened, closes the editor when that view goes, before another opens, and
// before the effect is deleted.
#pragma once

#include "audiounit/au_base.h"
#include "core/adapter_services.h"
#include "core/audioeffectx.h"
#include "core/version.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

using EffectCreator = AudioEffect* (*)(audioMasterCallback audioMaster);

// The plug-in's factory (core/aplugin.cpp).
AudioEffect* createEffectInstance(audioMasterCallback audioMaster);

// The host callback the effect gets (au_callback.cpp).
VstIntPtr AUPLUGINAudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr value, void* ptr, float opt);

// The fast-dispatch MIDI call; storage is the unit's component storage.
OSStatus AUPLUGINMIDIEvent(void* storage, UInt32 status, UInt32 data1, UInt32 data2,
                           UInt32 offsetSampleFrame);

class AUPLUGIN : public AUBase, public AUMIDIBase {
public:
    static constexpr UInt32 kMaxPrograms = 256;
    static constexpr UInt32 kMaxEvents = 1024;
    static constexpr UInt32 kVersion = ONDIX_VERSION;
    static constexpr VstInt32 kInitialBlockSize = 1024;
    static constexpr float kInitialSampleRate = 44100.0f;

    // Throws kAudioUnitErr_FailedInitialization when no effect can be made
    // (and lets the creator's exceptions through): a unit always has one.
    explicit AUPLUGIN(AudioComponentInstance instance,
                      EffectCreator createEffect = createEffectInstance);
    ~AUPLUGIN() override;

    UInt32 Version() override { return kVersion; }
    OSStatus Initialize() override;
    void Cleanup() override {}
    OSStatus Reset(AudioUnitScope scope, AudioUnitElement element) override;
    OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32& size, bool& writable) override;
    OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* data) override;
    OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         const void* data, UInt32 size) override;
    OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope, AudioUnitElement element,
                          AudioUnitParameterValue value, UInt32 bufferOffset) override;
    OSStatus ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 count) override;
    OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                AudioBufferList& out, UInt32 frames) override;
    OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                    UInt32 frames) override;
    bool BusCountWritable(AudioUnitScope) override { return false; }
    OSStatus GetParameterList(AudioUnitScope scope, AudioUnitParameterID* list,
                              UInt32& count) override;
    Float64 GetLatency() override;
    bool SupportsTail() override { return false; }
    bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element) override;
    UInt32 SupportedNumChannels(const AUChannelInfo** infos) override;
    bool ValidFormat(AudioUnitScope scope, AudioUnitElement element,
                     const AudioStreamBasicDescription& format) override;
    OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                const AudioStreamBasicDescription& oldFormat,
                                const AudioStreamBasicDescription& newFormat) override;
    OSStatus SetMaxFramesPerSlice(UInt32 frames) override;
    OSStatus ProcessScheduledSlice(void* userData, UInt32 startFrame, UInt32 sliceFrames,
                                   UInt32 totalFrames) override;
    OSStatus MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) override;
    OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                             UInt32 startFrame) override;
    AudioComponentDescription GetComponentDescription() const override;
    OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                              AudioUnitParameterInfo& info) override;
    OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id,
                                      CFArrayRef* out) override;
    OSStatus GetPresets(CFArrayRef* out) const override;
    OSStatus NewFactoryPresetSet(const AUPreset& preset) override;
    OSStatus SaveState(CFPropertyListRef* out) override;
    OSStatus RestoreState(CFPropertyListRef state) override;

    // The effect's program names into the preset table.
    virtual void GetProgramNames();

    // ---- for the host callback
    // The time record for the effect, or null (no usable tempo).
    VstTimeInfo* GetTimeInfo();
    // The effect changed its own values: the unit's copies follow.
    void UpdateDisplayAU();
    // The unit's copy of every parameter := the effect's value.
    void SynchronizeParams();
    // audioMasterAutomate, BeginEdit and EndEdit for parameter `index`.
    void EffectEdited(VstInt32 index, AudioUnitEventType type);
    Float64 SampleRate() const { return sampleRate_; }

    // ---- what tests look at
    AudioEffectX* Effect() const { return effect_; }
    UInt32 NumParams() const { return numParams_; }
    UInt32 NumPrograms() const { return numPrograms_; }
    CFStringRef ParameterName(UInt32 index) const;
    const AUPreset& Preset(UInt32 index) const { return presets_.entries[index]; }
    bool Bypassed() const { return bypass_.load(std::memory_order_relaxed); }
    // MIDI events dropped because the queue was full.
    UInt64 DroppedEvents() const { return dropped_.load(std::memory_order_relaxed); }
    // The parent value of the open editor, or null.
    const void* EditorView() const { return editorView_; }

private:
    struct CFReleaser {
        void operator()(const __CFString* s) const { CFRelease(s); }
    };
    using CFStringHolder = std::unique_ptr<const __CFString, CFReleaser>;
    // The factory presets; releases their names.
    struct PresetTable {
        PresetTable() = default;
        PresetTable(const PresetTable&) = delete;
        PresetTable& operator=(const PresetTable&) = delete;
        ~PresetTable();
        void setName(UInt32 index, CFStringRef name);
        std::array<AUPreset, kMaxPrograms> entries{};
    };
    // A value scheduled for this slice: a ramp, which the effect follows,
    // or an immediate value, which the effect took when it was scheduled.
    struct Followed {
        AudioUnitParameterID parameter;
        SInt32 start; // the frame of the slice it begins on
        bool ramped;
    };
    static constexpr UInt32 kMaxFollowed = AUBase::kScheduledEventRoom;
    // A render slice's parameter split (ProcessScheduledSlice's user data).
    struct SliceJob {
        AudioBufferList* list;
        bool runEffect;
    };

    // Zeros (or, for a real input list, a copy) instead of the effect when
    // bypassed or told the output is silence; false when the effect runs.
    bool OutputWithoutEffect(AudioUnitRenderActionFlags flags, const AudioBufferList& in,
                             AudioBufferList& out, UInt32 frames);
    // Moves the pending queue into the render list, if the flag is free,
    // in the order of the events' offsets (arrival order among equal ones).
    void TakePendingEvents(UInt32 frames);
    // The effect's parameter := the unit's value of it (as the scheduled
    // events left it), and the unit's value := what the effect took.
    void FollowUnitValue(AudioUnitParameterID id);
    // The unit's value := what the effect holds (a value beyond the range,
    // or NaN, is read back as the effect took it).
    void FollowEffectValue(AudioUnitParameterID id);
    // For each scheduled value begun by `frame` of the slice, which the base
    // has applied to the unit's value: FollowUnitValue for a ramp,
    // FollowEffectValue for an immediate value.
    void FollowScheduled(std::int64_t frame);
    // One sub-slice: zeroed outputs, its events, processReplacing.
    void RenderSlice(AudioBufferList& list, UInt32 start, UInt32 frames);
    void AcquireQueue();
    VstEvent** EventSlots();
    VstIntPtr Dispatch(VstInt32 opcode, VstIntPtr value = 0, void* ptr = nullptr);
    // Property 33: the text of a value, or of the running one.
    OSStatus ValueString(AudioUnitParameterStringFromValue& request);
    OSStatus CocoaViewInfo(AudioUnitCocoaViewInfo& info) const;
    OSStatus EditorSize(Float64 (&size)[2]);
    void OpenEditor(void* parent);
    void CloseEditor();
    // The state's own keys (au_state.cpp).
    void AddEffectState(CFMutableDictionaryRef state);
    void RestoreEffectState(CFDictionaryRef state);

    PresetTable presets_;
    std::atomic<bool> bypass_{false};
    std::unique_ptr<AudioEffect> effectOwner_;
    AudioEffectX* effect_ = nullptr;
    AdapterServices* services_ = nullptr; // the effect's, when it has them
    AEffect* aeffect_ = nullptr;
    void* editorView_ = nullptr; // not owned
    UInt32 numPrograms_ = 0;
    UInt32 numParams_ = 0;
    AudioTimeStamp lastTimeStamp_{};
    Float64 sampleRate_ = kInitialSampleRate;
    int inputChannels_ = 2;
    int outputChannels_ = 2;
    std::vector<CFStringHolder> parameterNames_;
    VstTimeInfo timeInfo_{};

    // MIDI: the producers' queue (under busy_) and the render side's list.
    std::atomic<int> busy_{0};
    UInt32 pendingCount_ = 0;
    std::unique_ptr<VstMidiEvent[]> pending_;
    std::unique_ptr<VstMidiEvent[]> taken_;
    std::unique_ptr<SInt32[]> takenOffsets_;
    std::unique_ptr<UInt16[]> takenOrder_; // taken_ indices in the order of their offsets
    UInt32 takenCount_ = 0;
    // The values scheduled since the last render (the render thread's, as
    // the base's scheduled list is).
    std::unique_ptr<Followed[]> followed_;
    UInt32 followedCount_ = 0;
    std::unique_ptr<VstIntPtr[]> eventsStorage_; // a VstEvents with room for kMaxEvents
    VstEvents* events_ = nullptr;
    std::atomic<UInt64> dropped_{0};
};
