// A test AudioUnit host: opens a music device by its AudioComponent factory
// or its component entry, and drives it only through those, the way an AU
// host does. It sets formats, initialises, renders into buffers of its own
// (filled with a canary value first, so a sample the unit never wrote shows),
// sends MIDI by the MusicDevice call and by fast dispatch, sends SysEx,
// schedules parameter events, answers the unit's musical-time callbacks from
// a script, and records property-listener calls and parameter events.
//
//     AUTestHost host({AUPLUGINEntry, AUPLUGINFactory});
//     host.open(OpenWay::Factory);
//     host.setOutputFormat(canonicalFormat(48000, 2));
//     host.initialize();
//     host.midi(0x90, 60, 100, 0);
//     host.render(512);                 // host.channel(0)[i] ...
//
// Parameter events reach the host through the process's event sink, so they
// are seen only from units in this process (not from a dlopen'd library,
// whose sink is its own). One host at a time takes them.
#pragma once

#include "audiounit/au_entry.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ondix::auhost {

struct AUEntryPoints {
    ComponentEntryProc entry = nullptr;
    AudioComponentFactoryFunction factory = nullptr;
};

enum class OpenWay { Factory, Entry };

// An AudioUnit library loaded with dlopen; its two entry points.
class AULibrary {
public:
    // Null on failure, with the reason in error.
    static std::unique_ptr<AULibrary> load(const std::string& path, std::string& error);
    ~AULibrary();
    AULibrary(const AULibrary&) = delete;
    AULibrary& operator=(const AULibrary&) = delete;
    AUEntryPoints entries() const { return entries_; }

private:
    AULibrary() = default;
    void* handle_ = nullptr;
    AUEntryPoints entries_;
};

class AUTestHost {
public:
    static constexpr float kCanary = 1234.5f;
    static constexpr std::size_t kEventRoom = 1 << 14;

    // What the host's musical-time callbacks answer; a callback is offered to
    // the unit only when its switch is on (see offerCallbacks).
    struct MusicalTime {
        bool beatAndTempo = true;
        bool musicalTimeLocation = true;
        bool transportState = true;
        double beat = 0.0;
        double tempo = 120.0;
        UInt32 samplesToNextBeat = 0;
        float numerator = 4.0f;
        UInt32 denominator = 4;
        double downBeat = 0.0;
        bool playing = true;
        bool changed = false;
    };

    struct PropertyCall {
        AudioUnitPropertyID id;
        AudioUnitScope scope;
        AudioUnitElement element;
    };

    explicit AUTestHost(AUEntryPoints entries);
    ~AUTestHost(); // closes the unit
    AUTestHost(const AUTestHost&) = delete;
    AUTestHost& operator=(const AUTestHost&) = delete;

    OSStatus open(OpenWay way = OpenWay::Factory);
    OSStatus close();
    bool isOpen() const { return open_; }
    AudioUnit instance() { return &instance_; }
    // The unit's component storage (only meaningful in this process).
    void* storage() const { return instance_.storage; }

    OSStatus initialize();
    OSStatus uninitialize();
    OSStatus reset(AudioUnitScope scope = kAudioUnitScope_Global, AudioUnitElement element = 0);

    OSStatus getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             UInt32* size, Boolean* writable);
    OSStatus getProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         void* data, UInt32* ioSize);
    OSStatus setProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                         const void* data, UInt32 size);
    template <class T>
    OSStatus get(AudioUnitPropertyID id, T& value, AudioUnitScope scope = kAudioUnitScope_Global,
                 AudioUnitElement element = 0) {
        UInt32 size = sizeof(T);
        return getProperty(id, scope, element, &value, &size);
    }
    template <class T>
    OSStatus set(AudioUnitPropertyID id, const T& value,
                 AudioUnitScope scope = kAudioUnitScope_Global, AudioUnitElement element = 0) {
        return setProperty(id, scope, element, &value, sizeof(T));
    }
    // The output bus's stream format; the host's buffers follow it.
    OSStatus setOutputFormat(const AudioStreamBasicDescription& format);
    OSStatus setMaxFrames(UInt32 frames);
    // The beat, musical-time and transport callbacks switched on in `time`.
    OSStatus offerCallbacks();
    // Records calls of the listener for `id` into propertyCalls.
    OSStatus listen(AudioUnitPropertyID id);

    OSStatus getParameter(AudioUnitParameterID id, float& value);
    OSStatus setParameter(AudioUnitParameterID id, float value, UInt32 offset = 0);
    OSStatus scheduleParameters(const std::vector<AudioUnitParameterEvent>& events);

    // MIDI by the MusicDevice call, by fast dispatch, and SysEx.
    OSStatus midi(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset);
    OSStatus midiFast(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset);
    OSStatus sysEx(const std::vector<UInt8>& message);

    // Renders `frames` frames of bus 0 into the host's buffers (canary
    // first; with giveNoBuffers the list carries null mData and the unit's
    // own buffers come back). The time stamp's sample time then moves on.
    // Allocates nothing after the first call at a size.
    OSStatus render(UInt32 frames, AudioUnitRenderActionFlags flags = 0,
                    bool giveNoBuffers = false);
    // Channel c of the last render (the buffer the list pointed at after it).
    const float* channel(UInt32 c) const;
    // Whether the unit left the host's list as it was given (pointers and sizes).
    bool listUnchanged() const { return listUnchanged_; }
    AudioUnitRenderActionFlags lastFlags() const { return lastFlags_; }

    MusicalTime time;
    AudioTimeStamp stamp{};

    // Parameter events posted by units in this process, oldest first.
    std::vector<AudioUnitEvent> events() const;
    void clearEvents();
    std::vector<PropertyCall> propertyCalls;

private:
    template <class... A> OSStatus call(SInt16 selector, A... args);
    static void sink(void* self, const AudioUnitEvent& event);
    static void propertyListener(void* self, AudioUnit unit, AudioUnitPropertyID id,
                                 AudioUnitScope scope, AudioUnitElement element);
    static OSStatus beatAndTempo(void* self, Float64* beat, Float64* tempo);
    static OSStatus musicalTimeLocation(void* self, UInt32* toNextBeat, Float32* numerator,
                                        UInt32* denominator, Float64* downBeat);
    static OSStatus transportState(void* self, Boolean* playing, Boolean* changed,
                                   Float64* sampleInTimeLine, Boolean* cycling, Float64* cycleStart,
                                   Float64* cycleEnd);
    void shapeBuffers(UInt32 channels, UInt32 frames);

    AUEntryPoints entries_;
    OpenWay way_ = OpenWay::Factory;
    AudioComponentPlugInInterface* plugIn_ = nullptr;
    ComponentInstanceRecord instance_{nullptr};
    bool open_ = false;
    UInt32 channels_ = 2;
    std::vector<std::vector<float>> buffers_;
    std::vector<char> listStorage_;
    std::vector<AudioBuffer> given_;
    std::vector<const float*> rendered_;
    bool listUnchanged_ = true;
    AudioUnitRenderActionFlags lastFlags_ = 0;
    mutable std::mutex eventsMutex_;
    std::vector<AudioUnitEvent> events_;
};

} // namespace ondix::auhost
