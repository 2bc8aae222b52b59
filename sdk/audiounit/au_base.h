// The AudioUnit (version 2) base classes a unit is built on: elements and
// scopes with their parameters and stream formats, the base properties, the
// lifecycle and render checks, scheduled parameter events, property
// listeners, presets, the class-information state and the MIDI mix-in of a
// music device.
//
// Class information (kAudioUnitProperty_ClassInfo) is a dictionary with
// "version" (0), "type", "subtype" and "manufacturer" (the component's
// description, SInt32 numbers), "name" (the current preset's name) and
// "data": the parameter values, as blocks of big-endian words
//     scope, element, count, then count x (parameter ID, Float32 value)
// for every element that has parameters. A restore checks the four
// description keys before anything changes, and reads "data" block by
// block, each count against the bytes that are left.
//
// Threads: lifecycle and property calls come from the host's main thread,
// Render and the MIDI calls from its audio thread. Parameter values are
// atomics that any thread may write. The scheduled-event list belongs to the
// thread that renders (hosts schedule right before they render); its room is
// reserved at construction, and an event beyond it sets its parameter at
// once (a ramp its end value) rather than allocate.
//
// Operations may throw an OSStatus; the entry points (au_entry.h) turn it
// into the status the host gets.
#pragma once

#include "audiounit/core_audio.h"

#include <atomic>
#include <memory>
#include <vector>

class AUBase;
class AUMIDIBase;

// One element of a scope: its parameters and, for a bus, its stream format.
class AUElement {
public:
    AUElement();
    virtual ~AUElement() = default;
    AUElement(const AUElement&) = delete;
    AUElement& operator=(const AUElement&) = delete;

    // Room for `count` parameters with IDs 0 .. count - 1, all 0. Main thread,
    // before any render.
    void UseIndexedParameters(UInt32 count);
    UInt32 NumberOfParameters() const { return parameterCount_; }
    bool HasParameter(AudioUnitParameterID id) const { return id < parameterCount_; }
    // Relaxed atomics: any thread. An unknown ID reads 0 and writes nothing.
    AudioUnitParameterValue GetParameter(AudioUnitParameterID id) const;
    void SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value);

    const AudioStreamBasicDescription& GetStreamFormat() const { return format_; }
    virtual void SetStreamFormat(const AudioStreamBasicDescription& format) { format_ = format; }

private:
    std::unique_ptr<std::atomic<AudioUnitParameterValue>[]> parameters_;
    UInt32 parameterCount_ = 0;
    AudioStreamBasicDescription format_;
};

// A bus: an element with a buffer list for rendering. The list points either
// at the host's buffers or, where the host gave none (null mData), at the
// element's own, allocated when the unit is initialised.
class AUIOElement : public AUElement {
public:
    void SetStreamFormat(const AudioStreamBasicDescription& format) override;
    // One buffer per channel for a non-interleaved format, else one.
    UInt32 NumberOfBuffers() const;
    // Own buffers for maxFrames frames. Main thread.
    void AllocateBuffers(UInt32 maxFrames);
    void DeallocateBuffers();
    // Checks the host's list for `frames` frames (-50 for a wrong buffer
    // count or a buffer too small), fills in the own buffers where mData is
    // null, and makes the element's list the host's.
    OSStatus PrepareBuffer(AudioBufferList& host, UInt32 frames);
    // The list prepared for this render; throws -1 when there is none.
    AudioBufferList& GetBufferList();
    void InvalidateBufferList() { prepared_ = false; }

private:
    std::vector<char> listStorage_ = std::vector<char>(audioBufferListBytes(2));
    std::vector<float> own_;
    UInt32 ownFrames_ = 0;
    bool prepared_ = false;
};

class AUBase {
public:
    static constexpr UInt32 kDefaultMaxFramesPerSlice = 1156;
    // The most frames per slice a host may ask for. Hosts render in slices
    // of up to 4096 frames, offline renderers 8192 or a few times more; a
    // larger maximum is refused (kAudioUnitErr_InvalidPropertyValue), as
    // the unit's own buffers for it are allocated at Initialize.
    static constexpr UInt32 kMaxFramesPerSliceLimit = 1u << 16;
    static constexpr UInt32 kScheduledEventRoom = 1024;
    static constexpr Float64 kDefaultSampleRate = 44100.0;

    AUBase(AudioComponentInstance instance, UInt32 numInputs, UInt32 numOutputs,
           UInt32 numGroups = 0);
    virtual ~AUBase();
    AUBase(const AUBase&) = delete;
    static constexpr SInt32 kCurrentSavedStateVersion = 0;
    AUBase& operator=(const AUBase&) = delete;

    // Runs once after construction, before any other call.
    virtual void PostConstructor() {}

    // ---- what the entry points call
    OSStatus DoInitialize();
    void DoCleanup();
    OSStatus DoReset(AudioUnitScope scope, AudioUnitElement element);
    OSStatus DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, UInt32* size, Boolean* writable);
    // ioSize: room at data on the way in, bytes written on the way out.
    OSStatus DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, void* data, UInt32* ioSize);
    OSStatus DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, const void* data, UInt32 size);
    OSStatus DispatchGetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                  AudioUnitElement element, AudioUnitParameterValue* value);
    OSStatus DispatchSetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                  AudioUnitElement element, AudioUnitParameterValue value,
                                  UInt32 bufferOffset);
    OSStatus DispatchScheduleParameters(const AudioUnitParameterEvent* events, UInt32 count);
    OSStatus DoRender(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                      UInt32 bus, UInt32 frames, AudioBufferList* ioData);
    OSStatus AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                 void* refCon);
    OSStatus RemovePropertyListenerWithUserData(AudioUnitPropertyID id,
                                                AudioUnitPropertyListenerProc proc, void* refCon);
    // The MIDI side of a music device, or null.
    AUMIDIBase* MIDIBase() const { return midi_; }
    // What the host opened: type, subtype and manufacturer of the component.
    virtual AudioComponentDescription GetComponentDescription() const { return {}; }

    // ---- what a unit overrides
    virtual UInt32 Version() { return 0; }
    virtual OSStatus Initialize() { return noErr; }
    virtual void Cleanup() {}
    virtual OSStatus Reset(AudioUnitScope scope, AudioUnitElement element);
    virtual OSStatus GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, UInt32& size, bool& writable);
    virtual OSStatus GetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, void* data);
    virtual OSStatus SetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, const void* data, UInt32 size);
    virtual OSStatus SetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                  AudioUnitElement element, AudioUnitParameterValue value,
                                  UInt32 bufferOffset);
    // Appends the events to the scheduled list (the base applies them to the
    // elements' parameters while rendering).
    virtual OSStatus ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 count);
    virtual OSStatus ProcessBufferLists(AudioUnitRenderActionFlags& flags,
                                        const AudioBufferList& in, AudioBufferList& out,
                                        UInt32 frames);
    virtual OSStatus Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                            UInt32 frames);
    virtual bool BusCountWritable(AudioUnitScope) { return false; }
    virtual OSStatus GetParameterList(AudioUnitScope scope, AudioUnitParameterID* list,
                                      UInt32& count);
    virtual Float64 GetLatency() { return 0.0; }
    virtual Float64 GetTailTime() { return 0.0; }
    virtual bool SupportsTail() { return false; }
    virtual bool StreamFormatWritable(AudioUnitScope scope, AudioUnitElement element);
    // The channel configurations; 0 (and null) for "any".
    virtual UInt32 SupportedNumChannels(const AUChannelInfo** infos);
    virtual bool ValidFormat(AudioUnitScope scope, AudioUnitElement element,
                             const AudioStreamBasicDescription& format);
    virtual OSStatus ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                        const AudioStreamBasicDescription& oldFormat,
                                        const AudioStreamBasicDescription& newFormat);
    virtual OSStatus SetMaxFramesPerSlice(UInt32 frames);
    virtual OSStatus ProcessScheduledSlice(void* userData, UInt32 startFrame, UInt32 sliceFrames,
                                           UInt32 totalFrames);
    // kAudioUnitProperty_ParameterInfo (the element argument is the ID).
    virtual OSStatus GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                      AudioUnitParameterInfo& info);
    // kAudioUnitProperty_ParameterValueStrings: a new array (the host
    // releases it); with out null only whether there are strings.
    virtual OSStatus GetParameterValueStrings(AudioUnitScope scope, AudioUnitParameterID id,
                                              CFArrayRef* out);
    // kAudioUnitProperty_FactoryPresets: a new array of AUPreset addresses
    // (null callbacks; the host releases the array, not the records); with
    // out null only whether there are presets.
    virtual OSStatus GetPresets(CFArrayRef* out) const;
    // A factory preset chosen by the host (PresentPreset or CurrentPreset).
    virtual OSStatus NewFactoryPresetSet(const AUPreset& preset);
    // The class information: a new dictionary into out.
    virtual OSStatus SaveState(CFPropertyListRef* out);
    // The class information from a host: a dictionary whose description
    // matches, then its "data" and "name".
    virtual OSStatus RestoreState(CFPropertyListRef state);

    // ---- services
    AudioComponentInstance GetComponentInstance() const { return instance_; }
    bool IsInitialized() const { return initialized_; }
    UInt32 GetMaxFramesPerSlice() const { return maxFrames_; }
    // kAudioUnitProperty_OfflineRender, set by a host that renders with no
    // real-time deadline (0 or 1; 0 until set). Any thread.
    bool IsRenderingOffline() const { return offlineRender_.load(std::memory_order_relaxed); }
    AUElement* Globals() { return &global_; }
    // Null when the scope has no such element.
    AUElement* GetElement(AudioUnitScope scope, AudioUnitElement element);
    AUIOElement* GetIOElement(AudioUnitScope scope, AudioUnitElement element);
    // Throws kAudioUnitErr_InvalidElement when there is no such output.
    AUIOElement* GetOutput(AudioUnitElement element);
    bool HasScheduledParameters() const { return !scheduled_.empty(); }
    // Splits the slice at the scheduled events' offsets, applies the events
    // to the parameters at their sub-slice and calls ProcessScheduledSlice
    // for each sub-slice in time order; then empties the list.
    OSStatus ProcessForScheduledParams(void* userData, UInt32 frames);
    // Tells the property listeners of id.
    void PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element);
    // The host's musical time; kAudioUnitErr_CannotDoInCurrentContext when
    // the host offers no such callback.
    OSStatus CallHostBeatAndTempo(Float64* beat, Float64* tempo);
    OSStatus CallHostMusicalTimeLocation(UInt32* samplesToNextBeat, Float32* numerator,
                                         UInt32* denominator, Float64* downBeat);
    OSStatus CallHostTransportState(Boolean* playing, Boolean* changed);
    bool HasHostTransportState() const { return hostCallbacks_.transportStateProc != nullptr; }
    // The preset the unit reports as current; the name is retained.
    void SetAFactoryPresetAsCurrent(const AUPreset& preset);
    const AUPreset& CurrentPreset() const { return currentPreset_; }
    // The four description keys of a state: kAudioUnitErr_InvalidPropertyValue
    // unless each is there, a number, and equal to this unit's.
    OSStatus CheckStateDescription(CFDictionaryRef state) const;
    // "data" and "name" of a state already checked; always noErr.
    OSStatus RestoreParametersAndName(CFDictionaryRef state);

private:
    friend class AUMIDIBase;
    struct Scheduled {
        AudioUnitParameterEvent event;
        UInt32 sequence;
        SInt32 start() const;
    };
    struct Listener {
        AudioUnitPropertyID id;
        AudioUnitPropertyListenerProc proc;
        void* refCon;
    };
    void applyScheduled(const Scheduled& s, UInt32 frame);
    CFDataRef CopyParameterData();
    void RestoreParameterData(CFDataRef data);

    AudioComponentInstance instance_;
    AUElement global_;
    std::vector<std::unique_ptr<AUIOElement>> inputs_;
    std::vector<std::unique_ptr<AUIOElement>> outputs_;
    UInt32 maxFrames_ = kDefaultMaxFramesPerSlice;
    std::atomic<bool> offlineRender_{false};
    bool initialized_ = false;
    std::vector<Scheduled> scheduled_;
    UInt32 sequence_ = 0;
    std::vector<Listener> listeners_;
    HostCallbackInfo hostCallbacks_{};
    AUMIDIBase* midi_ = nullptr;
    AUPreset currentPreset_{-1, nullptr};
};

// The MIDI side of a music device, mixed into a unit beside AUBase.
class AUMIDIBase {
public:
    explicit AUMIDIBase(AUBase* unit);
    virtual ~AUMIDIBase() = default;
    AUMIDIBase(const AUMIDIBase&) = delete;
    AUMIDIBase& operator=(const AUMIDIBase&) = delete;

    // Splits the status byte and calls HandleMidiEvent.
    virtual OSStatus MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset);
    // -10867 while the unit is not initialised; otherwise the message is
    // dropped and the answer is 0.
    virtual OSStatus SysEx(const UInt8* data, UInt32 length);
    virtual OSStatus HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                                     UInt32 startFrame);

private:
    AUBase* unit_;
};

// ---------------------------------------------------------------- listener service
// Stands for the platform's AUEventListenerNotify: every event goes to the
// one sink the process installed (a host's listener service), from any
// thread. Without a sink events are dropped. Answers 0.
OSStatus AUEventListenerNotify(AUEventListenerRef sendingListener, void* sendingObject,
                               const AudioUnitEvent* event);
using AUEventSink = void (*)(void* refCon, const AudioUnitEvent& event);
// Installs the sink (null removes it). Call while no unit posts events.
void AUEventListenerInstallSink(AUEventSink sink, void* refCon);
