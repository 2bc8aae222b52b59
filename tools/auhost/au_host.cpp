// The test AudioUnit host.
#include "au_host.h"

#include "tools/host/shared_library.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstring>
#include <dlfcn.h>
#include <type_traits>

namespace ondix::auhost {

// ---------------------------------------------------------------- library

std::unique_ptr<AULibrary> AULibrary::load(const std::string& path, std::string& error) {
    std::unique_ptr<AULibrary> library(new AULibrary);
    // Only a sound regular file is loaded (shared_library.h). The library
    // stays mapped until the process ends: graphics libraries it pulls in
    // keep tables from their constructors that unmapping would orphan.
    library->handle_ = ondix::host::loadLibrary(path, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE, error);
    if (!library->handle_) return nullptr;
    library->entries_.entry =
        reinterpret_cast<ComponentEntryProc>(dlsym(library->handle_, "AUPLUGINEntry"));
    library->entries_.factory =
        reinterpret_cast<AudioComponentFactoryFunction>(dlsym(library->handle_, "AUPLUGINFactory"));
    if (!library->entries_.entry || !library->entries_.factory) {
        error = path + " exports no AUPLUGINEntry and AUPLUGINFactory";
        return nullptr;
    }
    return library;
}

AULibrary::~AULibrary() {
    if (handle_) dlclose(handle_);
}

// ---------------------------------------------------------------- calls

namespace {

template <class T> intptr_t widen(T value) {
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<intptr_t>(value);
    } else if constexpr (std::is_same_v<T, float>) {
        return static_cast<intptr_t>(std::bit_cast<UInt32>(value));
    } else {
        return static_cast<intptr_t>(value);
    }
}

} // namespace

template <class... A> OSStatus AUTestHost::call(SInt16 selector, A... args) {
    if (!open_) return kAudio_ParamError;
    if (way_ == OpenWay::Factory) {
        const AudioComponentMethod method = plugIn_->Lookup(selector);
        if (!method) return badComponentSelector;
        using Method = OSStatus (*)(void*, A...);
        return reinterpret_cast<Method>(method)(plugIn_, args...);
    }
    // A parameter block on the stack: header, then one word per argument.
    struct Block {
        ComponentParameters header;
        intptr_t more[8];
    } block{};
    static_assert(sizeof...(A) <= 9);
    block.header.what = selector;
    block.header.paramSize = static_cast<UInt8>(sizeof...(A) * sizeof(intptr_t));
    auto* slot = reinterpret_cast<intptr_t*>(reinterpret_cast<char*>(&block.header) +
                                             offsetof(ComponentParameters, params));
    ((*slot++ = widen(args)), ...);
    return entries_.entry(&block.header, instance_.storage);
}

// ---------------------------------------------------------------- lifecycle

AUTestHost::AUTestHost(AUEntryPoints entries) : entries_(entries) {
    events_.reserve(kEventRoom);
    propertyCalls.reserve(256);
    AUEventListenerInstallSink(&AUTestHost::sink, this);
    stamp.mFlags = kAudioTimeStampSampleTimeValid;
    shapeBuffers(2, 1024);
}

AUTestHost::~AUTestHost() {
    close();
    AUEventListenerInstallSink(nullptr, nullptr);
}

OSStatus AUTestHost::open(OpenWay way) {
    if (open_) return kAudio_ParamError;
    way_ = way;
    instance_.storage = nullptr;
    OSStatus status = noErr;
    if (way == OpenWay::Factory) {
        static constexpr AudioComponentDescription kAny{};
        plugIn_ = entries_.factory ? entries_.factory(&kAny) : nullptr;
        if (!plugIn_) return kAudio_ParamError;
        status = plugIn_->Open(plugIn_, &instance_);
        if (status != noErr) {
            plugIn_->Close(plugIn_);
            plugIn_ = nullptr;
        }
    } else {
        ComponentParameters params{};
        params.what = kComponentOpenSelect;
        params.paramSize = sizeof(intptr_t);
        params.params[0] = reinterpret_cast<intptr_t>(&instance_);
        status = entries_.entry ? entries_.entry(&params, nullptr) : kAudio_ParamError;
    }
    open_ = status == noErr;
    return status;
}

OSStatus AUTestHost::close() {
    if (!open_) return noErr;
    OSStatus status = noErr;
    if (way_ == OpenWay::Factory) {
        status = plugIn_->Close(plugIn_);
        plugIn_ = nullptr;
    } else {
        ComponentParameters params{};
        params.what = kComponentCloseSelect;
        status = entries_.entry(&params, instance_.storage);
    }
    instance_.storage = nullptr;
    open_ = false;
    return status;
}

OSStatus AUTestHost::initialize() {
    return call(kAudioUnitInitializeSelect);
}
OSStatus AUTestHost::uninitialize() {
    return call(kAudioUnitUninitializeSelect);
}
OSStatus AUTestHost::reset(AudioUnitScope scope, AudioUnitElement element) {
    return call(kAudioUnitResetSelect, scope, element);
}

// ---------------------------------------------------------------- properties and parameters

OSStatus AUTestHost::getPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, UInt32* size, Boolean* writable) {
    return call(kAudioUnitGetPropertyInfoSelect, id, scope, element, size, writable);
}

OSStatus AUTestHost::getProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, void* data, UInt32* ioSize) {
    return call(kAudioUnitGetPropertySelect, id, scope, element, data, ioSize);
}

OSStatus AUTestHost::setProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, const void* data, UInt32 size) {
    return call(kAudioUnitSetPropertySelect, id, scope, element, data, size);
}

OSStatus AUTestHost::setOutputFormat(const AudioStreamBasicDescription& format) {
    const OSStatus status = set(kAudioUnitProperty_StreamFormat, format, kAudioUnitScope_Output, 0);
    if (status == noErr) channels_ = format.mChannelsPerFrame;
    return status;
}

OSStatus AUTestHost::setMaxFrames(UInt32 frames) {
    return set(kAudioUnitProperty_MaximumFramesPerSlice, frames);
}

OSStatus AUTestHost::offerCallbacks() {
    HostCallbackInfo info{};
    info.hostUserData = this;
    if (time.beatAndTempo) info.beatAndTempoProc = &AUTestHost::beatAndTempo;
    if (time.musicalTimeLocation) info.musicalTimeLocationProc = &AUTestHost::musicalTimeLocation;
    if (time.transportState) info.transportStateProc = &AUTestHost::transportState;
    return set(kAudioUnitProperty_HostCallbacks, info);
}

OSStatus AUTestHost::listen(AudioUnitPropertyID id) {
    return call(kAudioUnitAddPropertyListenerSelect, id,
                static_cast<AudioUnitPropertyListenerProc>(&AUTestHost::propertyListener),
                static_cast<void*>(this));
}

OSStatus AUTestHost::getParameter(AudioUnitParameterID id, float& value) {
    return call(kAudioUnitGetParameterSelect, id, UInt32(kAudioUnitScope_Global), UInt32(0),
                &value);
}

OSStatus AUTestHost::setParameter(AudioUnitParameterID id, float value, UInt32 offset) {
    return call(kAudioUnitSetParameterSelect, id, UInt32(kAudioUnitScope_Global), UInt32(0), value,
                offset);
}

OSStatus AUTestHost::scheduleParameters(const std::vector<AudioUnitParameterEvent>& events) {
    return call(kAudioUnitScheduleParametersSelect, events.data(),
                static_cast<UInt32>(events.size()));
}

// ---------------------------------------------------------------- MIDI

OSStatus AUTestHost::midi(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
    return call(kMusicDeviceMIDIEventSelect, status, data1, data2, offset);
}

OSStatus AUTestHost::midiFast(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
    MusicDeviceMIDIEventProc proc = nullptr;
    UInt32 size = sizeof proc;
    const OSStatus got = getProperty(kAudioUnitProperty_FastDispatch, kAudioUnitScope_Global,
                                     kMusicDeviceMIDIEventSelect, &proc, &size);
    if (got != noErr) return got;
    return proc(instance_.storage, status, data1, data2, offset);
}

OSStatus AUTestHost::sysEx(const std::vector<UInt8>& message) {
    return call(kMusicDeviceSysExSelect, message.data(), static_cast<UInt32>(message.size()));
}

// ---------------------------------------------------------------- rendering

void AUTestHost::shapeBuffers(UInt32 channels, UInt32 frames) {
    if (buffers_.size() != channels || buffers_[0].size() < frames) {
        buffers_.assign(channels, std::vector<float>(std::max<UInt32>(frames, 1024)));
        listStorage_.assign(audioBufferListBytes(channels), 0);
        given_.resize(channels);
        rendered_.assign(channels, nullptr);
    }
}

OSStatus AUTestHost::render(UInt32 frames, AudioUnitRenderActionFlags flags, bool giveNoBuffers) {
    shapeBuffers(channels_, frames);
    auto& list = *reinterpret_cast<AudioBufferList*>(listStorage_.data());
    list.mNumberBuffers = channels_;
    AudioBuffer* buffers = audioBuffers(list);
    for (UInt32 c = 0; c < channels_; ++c) {
        std::fill(buffers_[c].begin(), buffers_[c].end(), kCanary);
        buffers[c] = {1, giveNoBuffers ? 0 : frames * UInt32(sizeof(float)),
                      giveNoBuffers ? nullptr : buffers_[c].data()};
        given_[c] = buffers[c];
    }
    AudioUnitRenderActionFlags ioFlags = flags;
    UInt32 bus = 0;
    const OSStatus status = call(kAudioUnitRenderSelect, &ioFlags,
                                 static_cast<const AudioTimeStamp*>(&stamp), bus, frames, &list);
    lastFlags_ = ioFlags;
    listUnchanged_ = list.mNumberBuffers == channels_;
    for (UInt32 c = 0; c < channels_ && listUnchanged_; ++c) {
        rendered_[c] = static_cast<const float*>(buffers[c].mData);
        if (!giveNoBuffers)
            listUnchanged_ = buffers[c].mData == given_[c].mData &&
                             buffers[c].mDataByteSize == given_[c].mDataByteSize;
    }
    stamp.mSampleTime += frames;
    return status;
}

const float* AUTestHost::channel(UInt32 c) const {
    return c < rendered_.size() ? rendered_[c] : nullptr;
}

// ---------------------------------------------------------------- callbacks

std::vector<AudioUnitEvent> AUTestHost::events() const {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    return events_;
}

void AUTestHost::clearEvents() {
    std::lock_guard<std::mutex> lock(eventsMutex_);
    events_.clear();
}

void AUTestHost::sink(void* self, const AudioUnitEvent& event) {
    auto* host = static_cast<AUTestHost*>(self);
    std::lock_guard<std::mutex> lock(host->eventsMutex_);
    if (host->events_.size() < host->events_.capacity()) host->events_.push_back(event);
}

void AUTestHost::propertyListener(void* self, AudioUnit, AudioUnitPropertyID id,
                                  AudioUnitScope scope, AudioUnitElement element) {
    auto* host = static_cast<AUTestHost*>(self);
    host->propertyCalls.push_back({id, scope, element});
}

OSStatus AUTestHost::beatAndTempo(void* self, Float64* beat, Float64* tempo) {
    const MusicalTime& t = static_cast<AUTestHost*>(self)->time;
    if (beat) *beat = t.beat;
    if (tempo) *tempo = t.tempo;
    return noErr;
}

OSStatus AUTestHost::musicalTimeLocation(void* self, UInt32* toNextBeat, Float32* numerator,
                                         UInt32* denominator, Float64* downBeat) {
    const MusicalTime& t = static_cast<AUTestHost*>(self)->time;
    if (toNextBeat) *toNextBeat = t.samplesToNextBeat;
    if (numerator) *numerator = t.numerator;
    if (denominator) *denominator = t.denominator;
    if (downBeat) *downBeat = t.downBeat;
    return noErr;
}

OSStatus AUTestHost::transportState(void* self, Boolean* playing, Boolean* changed,
                                    Float64* sampleInTimeLine, Boolean* cycling,
                                    Float64* cycleStart, Float64* cycleEnd) {
    auto* host = static_cast<AUTestHost*>(self);
    if (playing) *playing = host->time.playing;
    if (changed) *changed = host->time.changed;
    if (sampleInTimeLine) *sampleInTimeLine = host->stamp.mSampleTime;
    if (cycling) *cycling = false;
    if (cycleStart) *cycleStart = 0.0;
    if (cycleEnd) *cycleEnd = 0.0;
    return noErr;
}

} // namespace ondix::auhost
