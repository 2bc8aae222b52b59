// AUBase, its elements and the MIDI mix-in.
#include "audiounit/au_base.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace {

// Keys of the class information.
constexpr const char* kVersionKey = "version";
constexpr const char* kTypeKey = "type";
constexpr const char* kSubtypeKey = "subtype";
constexpr const char* kManufacturerKey = "manufacturer";
constexpr const char* kDataKey = "data";
constexpr const char* kNameKey = "name";
constexpr const char* kUntitledName = "Untitled";

using Key = CFKeyString;

void setNumber(CFMutableDictionaryRef d, const char* key, SInt32 value) {
    const CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &value);
    CFDictionarySetValue(d, Key(key), number);
    CFRelease(number);
}

// The value of key when it is a number that is exactly this SInt32.
bool numberIs(CFDictionaryRef d, const char* key, SInt32 expected) {
    const void* value = CFDictionaryGetValue(d, Key(key));
    if (CFGetTypeID(value) != CFNumberGetTypeID()) return false;
    SInt32 got = 0;
    return CFNumberGetValue(static_cast<CFNumberRef>(value), kCFNumberSInt32Type, &got) &&
           got == expected;
}

void putWord(std::vector<uint8_t>& out, UInt32 word) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(word >> shift));
}

UInt32 getWord(const uint8_t* p) {
    return (UInt32(p[0]) << 24) | (UInt32(p[1]) << 16) | (UInt32(p[2]) << 8) | UInt32(p[3]);
}

// count x size in bytes, when it fits the UInt32 that a size is given in.
bool byteCount(std::uint64_t count, std::uint64_t size, UInt32& bytes) {
    const std::uint64_t product = count * size; // both below 2^32: no overflow
    if (count > UINT32_MAX || size > UINT32_MAX || product > UINT32_MAX) return false;
    bytes = static_cast<UInt32>(product);
    return true;
}

} // namespace

// ---------------------------------------------------------------- elements

AUElement::AUElement() : format_(canonicalFormat(AUBase::kDefaultSampleRate, 2)) {}

void AUElement::UseIndexedParameters(UInt32 count) {
    parameters_ = std::make_unique<std::atomic<AudioUnitParameterValue>[]>(count);
    for (UInt32 i = 0; i < count; ++i) parameters_[i].store(0.0f, std::memory_order_relaxed);
    parameterCount_ = count;
}

AudioUnitParameterValue AUElement::GetParameter(AudioUnitParameterID id) const {
    return id < parameterCount_ ? parameters_[id].load(std::memory_order_relaxed) : 0.0f;
}

void AUElement::SetParameter(AudioUnitParameterID id, AudioUnitParameterValue value) {
    if (id < parameterCount_) parameters_[id].store(value, std::memory_order_relaxed);
}

void AUIOElement::SetStreamFormat(const AudioStreamBasicDescription& format) {
    AUElement::SetStreamFormat(format);
    listStorage_.assign(audioBufferListBytes(NumberOfBuffers()), 0);
    prepared_ = false;
}

UInt32 AUIOElement::NumberOfBuffers() const {
    const AudioStreamBasicDescription& f = GetStreamFormat();
    return (f.mFormatFlags & kAudioFormatFlagIsNonInterleaved) ? f.mChannelsPerFrame : 1;
}

void AUIOElement::AllocateBuffers(UInt32 maxFrames) {
    own_.assign(static_cast<std::size_t>(maxFrames) * GetStreamFormat().mChannelsPerFrame, 0.0f);
    ownFrames_ = maxFrames;
    prepared_ = false;
}

void AUIOElement::DeallocateBuffers() {
    own_.clear();
    own_.shrink_to_fit();
    ownFrames_ = 0;
    prepared_ = false;
}

OSStatus AUIOElement::PrepareBuffer(AudioBufferList& host, UInt32 frames) {
    const UInt32 count = NumberOfBuffers();
    const UInt32 bytesPerFrame = GetStreamFormat().mBytesPerFrame;
    if (host.mNumberBuffers != count) return kAudio_ParamError;
    AudioBuffer* buffers = audioBuffers(host);
    const UInt32 channelsPerBuffer = count ? GetStreamFormat().mChannelsPerFrame / count : 0;
    // The bytes the frames take, in 64 bits: a count that does not fit 32
    // cannot fit a buffer either.
    UInt32 bytes = 0;
    if (!byteCount(frames, bytesPerFrame, bytes)) return kAudio_ParamError;
    for (UInt32 b = 0; b < count; ++b) {
        AudioBuffer& buffer = buffers[b];
        if (buffer.mData) {
            if (buffer.mDataByteSize < bytes) return kAudio_ParamError;
            continue;
        }
        if (frames > ownFrames_) return kAudio_ParamError;
        buffer.mData = own_.data() + static_cast<std::size_t>(b) * ownFrames_ * channelsPerBuffer;
        buffer.mDataByteSize = bytes;
    }
    std::memcpy(listStorage_.data(), &host, audioBufferListBytes(count));
    prepared_ = true;
    return noErr;
}

AudioBufferList& AUIOElement::GetBufferList() {
    if (!prepared_) throw OSStatus(-1);
    return *reinterpret_cast<AudioBufferList*>(listStorage_.data());
}

// ---------------------------------------------------------------- AUBase

AUBase::AUBase(AudioComponentInstance instance, UInt32 numInputs, UInt32 numOutputs,
               UInt32 /*numGroups*/)
    : instance_(instance) {
    for (UInt32 i = 0; i < numInputs; ++i) inputs_.push_back(std::make_unique<AUIOElement>());
    for (UInt32 i = 0; i < numOutputs; ++i) outputs_.push_back(std::make_unique<AUIOElement>());
    scheduled_.reserve(kScheduledEventRoom);
    listeners_.reserve(16);
}

AUBase::~AUBase() {
    if (currentPreset_.presetName) CFRelease(currentPreset_.presetName);
}

AUElement* AUBase::GetElement(AudioUnitScope scope, AudioUnitElement element) {
    if (scope == kAudioUnitScope_Global) return element == 0 ? &global_ : nullptr;
    return GetIOElement(scope, element);
}

AUIOElement* AUBase::GetIOElement(AudioUnitScope scope, AudioUnitElement element) {
    auto& list = scope == kAudioUnitScope_Input ? inputs_ : outputs_;
    if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output) return nullptr;
    return element < list.size() ? list[element].get() : nullptr;
}

AUIOElement* AUBase::GetOutput(AudioUnitElement element) {
    AUIOElement* output = GetIOElement(kAudioUnitScope_Output, element);
    if (!output) throw OSStatus(kAudioUnitErr_InvalidElement);
    return output;
}

OSStatus AUBase::DoInitialize() {
    if (initialized_) return noErr;
    // A maximum the unit set itself is checked here, before the effect
    // hears of it and before the buffers are allocated.
    if (maxFrames_ > kMaxFramesPerSliceLimit) return kAudioUnitErr_FailedInitialization;
    const OSStatus status = Initialize();
    if (status != noErr) return status;
    for (auto& output : outputs_) output->AllocateBuffers(maxFrames_);
    initialized_ = true;
    return noErr;
}

void AUBase::DoCleanup() {
    if (!initialized_) return;
    Cleanup();
    for (auto& output : outputs_) output->DeallocateBuffers();
    initialized_ = false;
}

OSStatus AUBase::DoReset(AudioUnitScope scope, AudioUnitElement element) {
    return Reset(scope, element);
}

OSStatus AUBase::Reset(AudioUnitScope, AudioUnitElement) {
    return noErr;
}

// ---- properties

OSStatus AUBase::DispatchGetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                         AudioUnitElement element, UInt32* size,
                                         Boolean* writable) {
    UInt32 bytes = 0;
    bool canWrite = false;
    const OSStatus status = GetPropertyInfo(id, scope, element, bytes, canWrite);
    if (status != noErr) return status;
    if (size) *size = bytes;
    if (writable) *writable = canWrite;
    return noErr;
}

OSStatus AUBase::DispatchGetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, void* data, UInt32* ioSize) {
    UInt32 bytes = 0;
    bool writable = false;
    OSStatus status = GetPropertyInfo(id, scope, element, bytes, writable);
    if (status != noErr) return status;
    if (!data || !ioSize) {
        if (ioSize) *ioSize = bytes;
        return data ? kAudio_ParamError : noErr;
    }
    // Room for less than the whole value: the value cannot be given.
    if (*ioSize < bytes) return kAudioUnitErr_InvalidPropertyValue;
    status = GetProperty(id, scope, element, data);
    if (status == noErr) *ioSize = bytes;
    return status;
}

OSStatus AUBase::DispatchSetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                                     AudioUnitElement element, const void* data, UInt32 size) {
    // A set without data removes the property's value, which no property
    // of this layer allows.
    if (!data) return kAudioUnitErr_InvalidPropertyValue;
    const OSStatus status = SetProperty(id, scope, element, data, size);
    if (status == noErr) PropertyChanged(id, scope, element);
    return status;
}

OSStatus AUBase::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                 AudioUnitElement element, UInt32& size, bool& writable) {
    writable = false;
    switch (id) {
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat:
        if (!GetIOElement(scope, element)) return kAudioUnitErr_InvalidElement;
        size = id == kAudioUnitProperty_SampleRate ? sizeof(Float64)
                                                   : sizeof(AudioStreamBasicDescription);
        writable = StreamFormatWritable(scope, element);
        return noErr;
    case kAudioUnitProperty_ElementCount:
        size = sizeof(UInt32);
        writable = BusCountWritable(scope);
        return noErr;
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        const OSStatus status = GetParameterList(scope, nullptr, count);
        if (status != noErr) return status;
        if (!byteCount(count, sizeof(AudioUnitParameterID), size))
            return kAudioUnitErr_InvalidPropertyValue;
        return noErr;
    }
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime:
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (id == kAudioUnitProperty_TailTime && !SupportsTail())
            return kAudioUnitErr_InvalidProperty;
        size = sizeof(Float64);
        return noErr;
    case kAudioUnitProperty_SupportedNumChannels: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        const UInt32 count = SupportedNumChannels(nullptr);
        if (count == 0) return kAudioUnitErr_InvalidProperty;
        if (!byteCount(count, sizeof(AUChannelInfo), size))
            return kAudioUnitErr_InvalidPropertyValue;
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
    case kAudioUnitProperty_OfflineRender:
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        size = sizeof(UInt32);
        writable = true;
        return noErr;
    case kAudioUnitProperty_HostCallbacks:
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        size = sizeof(HostCallbackInfo);
        writable = true;
        return noErr;
    case kAudioUnitProperty_ClassInfo:
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        size = sizeof(CFPropertyListRef);
        writable = true;
        return noErr;
    case kAudioUnitProperty_ParameterInfo:
        size = sizeof(AudioUnitParameterInfo);
        return noErr;
    case kAudioUnitProperty_ParameterValueStrings: {
        const OSStatus status = GetParameterValueStrings(scope, element, nullptr);
        if (status != noErr) return status;
        size = sizeof(CFArrayRef);
        return noErr;
    }
    case kAudioUnitProperty_FactoryPresets: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        const OSStatus status = GetPresets(nullptr);
        if (status != noErr) return status;
        size = sizeof(CFArrayRef);
        return noErr;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset:
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        size = sizeof(AUPreset);
        writable = true;
        return noErr;
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AUBase::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             void* data) {
    switch (id) {
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat: {
        AUIOElement* io = GetIOElement(scope, element);
        if (!io) return kAudioUnitErr_InvalidElement;
        if (id == kAudioUnitProperty_SampleRate) {
            const Float64 rate = io->GetStreamFormat().mSampleRate;
            std::memcpy(data, &rate, sizeof rate);
        } else {
            std::memcpy(data, &io->GetStreamFormat(), sizeof(AudioStreamBasicDescription));
        }
        return noErr;
    }
    case kAudioUnitProperty_ElementCount: {
        UInt32 count = 0;
        if (scope == kAudioUnitScope_Global) count = 1;
        if (scope == kAudioUnitScope_Input) count = static_cast<UInt32>(inputs_.size());
        if (scope == kAudioUnitScope_Output) count = static_cast<UInt32>(outputs_.size());
        std::memcpy(data, &count, sizeof count);
        return noErr;
    }
    case kAudioUnitProperty_ParameterList: {
        UInt32 count = 0;
        GetParameterList(scope, nullptr, count);
        return GetParameterList(scope, static_cast<AudioUnitParameterID*>(data), count);
    }
    case kAudioUnitProperty_Latency:
    case kAudioUnitProperty_TailTime: {
        const Float64 seconds = id == kAudioUnitProperty_Latency ? GetLatency() : GetTailTime();
        std::memcpy(data, &seconds, sizeof seconds);
        return noErr;
    }
    case kAudioUnitProperty_SupportedNumChannels: {
        const AUChannelInfo* infos = nullptr;
        const UInt32 count = SupportedNumChannels(&infos);
        std::memcpy(data, infos, count * sizeof(AUChannelInfo));
        return noErr;
    }
    case kAudioUnitProperty_MaximumFramesPerSlice:
        std::memcpy(data, &maxFrames_, sizeof maxFrames_);
        return noErr;
    case kAudioUnitProperty_OfflineRender: {
        const UInt32 on = IsRenderingOffline() ? 1 : 0;
        std::memcpy(data, &on, sizeof on);
        return noErr;
    }
    case kAudioUnitProperty_HostCallbacks:
        std::memcpy(data, &hostCallbacks_, sizeof hostCallbacks_);
        return noErr;
    case kAudioUnitProperty_ClassInfo: {
        CFPropertyListRef state = nullptr;
        const OSStatus status = SaveState(&state);
        if (status == noErr) std::memcpy(data, &state, sizeof state);
        return status;
    }
    case kAudioUnitProperty_ParameterInfo: {
        AudioUnitParameterInfo info{};
        const OSStatus status = GetParameterInfo(scope, element, info);
        if (status == noErr) std::memcpy(data, &info, sizeof info);
        return status;
    }
    case kAudioUnitProperty_ParameterValueStrings: {
        CFArrayRef strings = nullptr;
        const OSStatus status = GetParameterValueStrings(scope, element, &strings);
        if (status == noErr) std::memcpy(data, &strings, sizeof strings);
        return status;
    }
    case kAudioUnitProperty_FactoryPresets: {
        CFArrayRef presets = nullptr;
        const OSStatus status = GetPresets(&presets);
        if (status == noErr) std::memcpy(data, &presets, sizeof presets);
        return status;
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: {
        // PresentPreset hands the host a name of its own to release.
        AUPreset preset = currentPreset_;
        if (id == kAudioUnitProperty_PresentPreset && preset.presetName)
            CFRetain(preset.presetName);
        std::memcpy(data, &preset, sizeof preset);
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

OSStatus AUBase::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope, AudioUnitElement element,
                             const void* data, UInt32 size) {
    switch (id) {
    case kAudioUnitProperty_SampleRate:
    case kAudioUnitProperty_StreamFormat: {
        AUIOElement* io = GetIOElement(scope, element);
        if (!io) return kAudioUnitErr_InvalidElement;
        AudioStreamBasicDescription format = io->GetStreamFormat();
        if (id == kAudioUnitProperty_SampleRate) {
            if (size < sizeof(Float64)) return kAudioUnitErr_InvalidPropertyValue;
            std::memcpy(&format.mSampleRate, data, sizeof(Float64));
        } else {
            if (size < sizeof format) return kAudioUnitErr_InvalidPropertyValue;
            std::memcpy(&format, data, sizeof format);
        }
        if (!StreamFormatWritable(scope, element)) return kAudioUnitErr_PropertyNotWritable;
        if (!ValidFormat(scope, element, format)) return kAudioUnitErr_FormatNotSupported;
        const AudioStreamBasicDescription old = io->GetStreamFormat();
        return ChangeStreamFormat(scope, element, old, format);
    }
    case kAudioUnitProperty_MaximumFramesPerSlice: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (size < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        UInt32 frames = 0;
        std::memcpy(&frames, data, sizeof frames);
        if (frames == 0 || frames > kMaxFramesPerSliceLimit)
            return kAudioUnitErr_InvalidPropertyValue;
        if (frames == maxFrames_) return noErr;
        if (initialized_) return kAudioUnitErr_Initialized;
        return SetMaxFramesPerSlice(frames);
    }
    case kAudioUnitProperty_OfflineRender: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (size < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        UInt32 on = 0;
        std::memcpy(&on, data, sizeof on);
        offlineRender_.store(on != 0, std::memory_order_relaxed);
        return noErr;
    }
    case kAudioUnitProperty_HostCallbacks: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        HostCallbackInfo info{};
        std::memcpy(&info, data, std::min<std::size_t>(size, sizeof info));
        hostCallbacks_ = info;
        return noErr;
    }
    case kAudioUnitProperty_ClassInfo: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (size != sizeof(CFPropertyListRef)) return kAudioUnitErr_InvalidPropertyValue;
        CFPropertyListRef state = nullptr;
        std::memcpy(&state, data, sizeof state);
        return RestoreState(state);
    }
    case kAudioUnitProperty_CurrentPreset:
    case kAudioUnitProperty_PresentPreset: {
        if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidScope;
        if (size < sizeof(AUPreset)) return kAudioUnitErr_InvalidPropertyValue;
        AUPreset preset{};
        std::memcpy(&preset, data, sizeof preset);
        if (preset.presetNumber >= 0) return NewFactoryPresetSet(preset);
        // A preset of the user's own: only its name is kept.
        if (!preset.presetName) return kAudioUnitErr_InvalidPropertyValue;
        SetAFactoryPresetAsCurrent(preset);
        return noErr;
    }
    default:
        return kAudioUnitErr_InvalidProperty;
    }
}

bool AUBase::StreamFormatWritable(AudioUnitScope, AudioUnitElement) {
    return !initialized_;
}

UInt32 AUBase::SupportedNumChannels(const AUChannelInfo** infos) {
    if (infos) *infos = nullptr;
    return 0;
}

bool AUBase::ValidFormat(AudioUnitScope, AudioUnitElement,
                         const AudioStreamBasicDescription& format) {
    return format.mFormatID == kAudioFormatLinearPCM &&
           format.mFormatFlags == kAudioFormatFlagsCanonicalUnit && format.mBitsPerChannel == 32 &&
           format.mBytesPerFrame == 4 && format.mChannelsPerFrame > 0 &&
           std::isfinite(format.mSampleRate) && format.mSampleRate > 0.0;
}

OSStatus AUBase::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                    const AudioStreamBasicDescription&,
                                    const AudioStreamBasicDescription& newFormat) {
    AUIOElement* io = GetIOElement(scope, element);
    if (!io) return kAudioUnitErr_InvalidElement;
    io->SetStreamFormat(newFormat);
    return noErr;
}

OSStatus AUBase::SetMaxFramesPerSlice(UInt32 frames) {
    maxFrames_ = frames;
    return noErr;
}

OSStatus AUBase::GetParameterList(AudioUnitScope scope, AudioUnitParameterID* list, UInt32& count) {
    AUElement* element = GetElement(scope, 0);
    count = element ? element->NumberOfParameters() : 0;
    if (list)
        for (UInt32 i = 0; i < count; ++i) list[i] = i;
    return noErr;
}

// ---- parameters

OSStatus AUBase::DispatchGetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                      AudioUnitElement element, AudioUnitParameterValue* value) {
    if (!value) return kAudio_ParamError;
    AUElement* e = GetElement(scope, element);
    if (!e) return kAudioUnitErr_InvalidElement;
    if (!e->HasParameter(id)) return kAudioUnitErr_InvalidParameter;
    *value = e->GetParameter(id);
    return noErr;
}

OSStatus AUBase::DispatchSetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                                      AudioUnitElement element, AudioUnitParameterValue value,
                                      UInt32 bufferOffset) {
    return SetParameter(id, scope, element, value, bufferOffset);
}

OSStatus AUBase::SetParameter(AudioUnitParameterID id, AudioUnitScope scope,
                              AudioUnitElement element, AudioUnitParameterValue value, UInt32) {
    AUElement* e = GetElement(scope, element);
    if (!e) return kAudioUnitErr_InvalidElement;
    if (!e->HasParameter(id)) return kAudioUnitErr_InvalidParameter;
    e->SetParameter(id, value);
    return noErr;
}

OSStatus AUBase::DispatchScheduleParameters(const AudioUnitParameterEvent* events, UInt32 count) {
    if (!events && count) return kAudio_ParamError;
    return ScheduleParameter(events, count);
}

OSStatus AUBase::ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 count) {
    for (UInt32 i = 0; i < count; ++i) {
        const Scheduled s{events[i], sequence_++};
        if (scheduled_.size() < scheduled_.capacity())
            scheduled_.push_back(s);
        else
            applyScheduled(s, ~0u); // no room: its final value now
    }
    return noErr;
}

SInt32 AUBase::Scheduled::start() const {
    return event.eventType == kParameterEvent_Ramped
               ? event.eventValues.ramp.startBufferOffset
               : static_cast<SInt32>(event.eventValues.immediate.bufferOffset);
}

// The event's value at `frame` of the slice.
void AUBase::applyScheduled(const Scheduled& s, UInt32 frame) {
    AUElement* e = GetElement(s.event.scope, s.event.element);
    if (!e) return;
    const AudioUnitParameterEvent& ev = s.event;
    if (ev.eventType != kParameterEvent_Ramped) {
        e->SetParameter(ev.parameter, ev.eventValues.immediate.value);
        return;
    }
    const auto& ramp = ev.eventValues.ramp;
    const double elapsed = frame == ~0u ? static_cast<double>(ramp.durationInFrames)
                                        : static_cast<double>(frame) - ramp.startBufferOffset;
    const double t =
        ramp.durationInFrames ? std::clamp(elapsed / ramp.durationInFrames, 0.0, 1.0) : 1.0;
    e->SetParameter(ev.parameter,
                    static_cast<float>(ramp.startValue + (ramp.endValue - ramp.startValue) * t));
}

OSStatus AUBase::ProcessForScheduledParams(void* userData, UInt32 frames) {
    // In time order; events at the same offset keep the order they came in.
    std::sort(scheduled_.begin(), scheduled_.end(), [](const Scheduled& a, const Scheduled& b) {
        return a.start() != b.start() ? a.start() < b.start() : a.sequence < b.sequence;
    });
    OSStatus status = noErr;
    std::size_t next = 0;
    UInt32 start = 0;
    while (start < frames && status == noErr) {
        while (next < scheduled_.size() && scheduled_[next].start() <= static_cast<SInt32>(start))
            ++next;
        // Every event begun so far sets its value for this sub-slice.
        for (std::size_t i = 0; i < next; ++i) applyScheduled(scheduled_[i], start);
        UInt32 end = frames;
        if (next < scheduled_.size())
            end = std::min<UInt32>(frames, static_cast<UInt32>(scheduled_[next].start()));
        status = ProcessScheduledSlice(userData, start, end - start, frames);
        start = end;
    }
    // Events at or beyond the slice's end still leave their value.
    for (const Scheduled& s : scheduled_) applyScheduled(s, frames);
    scheduled_.clear();
    return status;
}

OSStatus AUBase::ProcessScheduledSlice(void*, UInt32, UInt32, UInt32) {
    return noErr;
}

OSStatus AUBase::ProcessBufferLists(AudioUnitRenderActionFlags&, const AudioBufferList&,
                                    AudioBufferList&, UInt32) {
    return kAudio_UnimplementedError;
}

OSStatus AUBase::Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp&, UInt32 frames) {
    AudioBufferList& list = GetOutput(0)->GetBufferList();
    return ProcessBufferLists(flags, list, list, frames);
}

OSStatus AUBase::DoRender(AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                          UInt32 bus, UInt32 frames, AudioBufferList* ioData) {
    if (!timeStamp || !ioData) return kAudio_ParamError;
    AUIOElement* output = GetIOElement(kAudioUnitScope_Output, bus);
    if (!output) return kAudioUnitErr_InvalidElement;
    if (!initialized_) return kAudioUnitErr_Uninitialized;
    if (frames > maxFrames_) return kAudioUnitErr_TooManyFramesToProcess;
    const OSStatus prepared = output->PrepareBuffer(*ioData, frames);
    if (prepared != noErr) return prepared;
    AudioUnitRenderActionFlags localFlags = flags ? *flags : 0;
    const OSStatus status = Render(localFlags, *timeStamp, frames);
    output->InvalidateBufferList();
    if (flags) *flags = localFlags;
    return status;
}

// ---- parameter info, presets and state

OSStatus AUBase::GetParameterInfo(AudioUnitScope, AudioUnitParameterID, AudioUnitParameterInfo&) {
    return kAudioUnitErr_InvalidParameter;
}

OSStatus AUBase::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::GetPresets(CFArrayRef*) const {
    return kAudioUnitErr_InvalidProperty;
}

OSStatus AUBase::NewFactoryPresetSet(const AUPreset&) {
    return kAudioUnitErr_InvalidProperty;
}

void AUBase::SetAFactoryPresetAsCurrent(const AUPreset& preset) {
    if (preset.presetName) CFRetain(preset.presetName);
    if (currentPreset_.presetName) CFRelease(currentPreset_.presetName);
    currentPreset_ = preset;
}

CFDataRef AUBase::CopyParameterData() {
    std::vector<uint8_t> bytes;
    auto block = [&](AudioUnitScope scope, AudioUnitElement element, AUElement& e) {
        const UInt32 count = e.NumberOfParameters();
        if (count == 0) return;
        bytes.reserve(bytes.size() + 12 + 8 * std::size_t(count));
        putWord(bytes, scope);
        putWord(bytes, element);
        putWord(bytes, count);
        for (UInt32 id = 0; id < count; ++id) {
            putWord(bytes, id);
            putWord(bytes, std::bit_cast<UInt32>(e.GetParameter(id)));
        }
    };
    block(kAudioUnitScope_Global, 0, global_);
    for (UInt32 i = 0; i < inputs_.size(); ++i) block(kAudioUnitScope_Input, i, *inputs_[i]);
    for (UInt32 i = 0; i < outputs_.size(); ++i) block(kAudioUnitScope_Output, i, *outputs_[i]);
    return CFDataCreate(kCFAllocatorDefault, bytes.data(), static_cast<CFIndex>(bytes.size()));
}

void AUBase::RestoreParameterData(CFDataRef data) {
    const uint8_t* p = CFDataGetBytePtr(data);
    std::size_t left = static_cast<std::size_t>(CFDataGetLength(data));
    while (left >= 12) {
        const AudioUnitScope scope = getWord(p);
        const AudioUnitElement element = getWord(p + 4);
        const UInt32 count = getWord(p + 8);
        p += 12;
        left -= 12;
        if (count > left / 8) return; // a block longer than what is left: nothing more
        AUElement* e = GetElement(scope, element);
        for (UInt32 i = 0; i < count; ++i, p += 8, left -= 8)
            if (e) e->SetParameter(getWord(p), std::bit_cast<Float32>(getWord(p + 4)));
    }
}

OSStatus AUBase::SaveState(CFPropertyListRef* out) {
    if (!out) return kAudio_ParamError;
    const AudioComponentDescription desc = GetComponentDescription();
    CFMutableDictionaryRef state = CFDictionaryCreateMutable(
        kCFAllocatorDefault, 0, &kCFTypeDictionaryKeyCallBacks, &kCFTypeDictionaryValueCallBacks);
    setNumber(state, kVersionKey, kCurrentSavedStateVersion);
    setNumber(state, kTypeKey, static_cast<SInt32>(desc.componentType));
    setNumber(state, kSubtypeKey, static_cast<SInt32>(desc.componentSubType));
    setNumber(state, kManufacturerKey, static_cast<SInt32>(desc.componentManufacturer));
    const CFDataRef data = CopyParameterData();
    CFDictionarySetValue(state, Key(kDataKey), data);
    CFRelease(data);
    if (currentPreset_.presetName) {
        CFDictionarySetValue(state, Key(kNameKey), currentPreset_.presetName);
    } else {
        const CFStringRef untitled =
            CFStringCreateWithCString(kCFAllocatorDefault, kUntitledName, kCFStringEncodingUTF8);
        CFDictionarySetValue(state, Key(kNameKey), untitled);
        CFRelease(untitled);
    }
    *out = state;
    return noErr;
}

OSStatus AUBase::CheckStateDescription(CFDictionaryRef state) const {
    const AudioComponentDescription desc = GetComponentDescription();
    const bool matches =
        numberIs(state, kVersionKey, kCurrentSavedStateVersion) &&
        numberIs(state, kTypeKey, static_cast<SInt32>(desc.componentType)) &&
        numberIs(state, kSubtypeKey, static_cast<SInt32>(desc.componentSubType)) &&
        numberIs(state, kManufacturerKey, static_cast<SInt32>(desc.componentManufacturer));
    return matches ? noErr : kAudioUnitErr_InvalidPropertyValue;
}

OSStatus AUBase::RestoreParametersAndName(CFDictionaryRef state) {
    const void* data = CFDictionaryGetValue(state, Key(kDataKey));
    if (CFGetTypeID(data) == CFDataGetTypeID()) RestoreParameterData(static_cast<CFDataRef>(data));
    const void* name = CFDictionaryGetValue(state, Key(kNameKey));
    if (CFGetTypeID(name) == CFStringGetTypeID())
        SetAFactoryPresetAsCurrent({-1, static_cast<CFStringRef>(name)});
    return noErr;
}

OSStatus AUBase::RestoreState(CFPropertyListRef state) {
    if (CFGetTypeID(state) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    const auto* dictionary = static_cast<CFDictionaryRef>(state);
    const OSStatus status = CheckStateDescription(dictionary);
    if (status != noErr) return status;
    return RestoreParametersAndName(dictionary);
}

// ---- listeners and host callbacks

OSStatus AUBase::AddPropertyListener(AudioUnitPropertyID id, AudioUnitPropertyListenerProc proc,
                                     void* refCon) {
    if (!proc) return kAudio_ParamError;
    listeners_.push_back({id, proc, refCon});
    return noErr;
}

OSStatus AUBase::RemovePropertyListenerWithUserData(AudioUnitPropertyID id,
                                                    AudioUnitPropertyListenerProc proc,
                                                    void* refCon) {
    std::erase_if(listeners_, [&](const Listener& l) {
        return l.id == id && l.proc == proc && l.refCon == refCon;
    });
    return noErr;
}

void AUBase::PropertyChanged(AudioUnitPropertyID id, AudioUnitScope scope,
                             AudioUnitElement element) {
    for (const Listener& l : listeners_)
        if (l.id == id) l.proc(l.refCon, instance_, id, scope, element);
}

OSStatus AUBase::CallHostBeatAndTempo(Float64* beat, Float64* tempo) {
    if (!hostCallbacks_.beatAndTempoProc) return kAudioUnitErr_CannotDoInCurrentContext;
    return hostCallbacks_.beatAndTempoProc(hostCallbacks_.hostUserData, beat, tempo);
}

OSStatus AUBase::CallHostMusicalTimeLocation(UInt32* samplesToNextBeat, Float32* numerator,
                                             UInt32* denominator, Float64* downBeat) {
    if (!hostCallbacks_.musicalTimeLocationProc) return kAudioUnitErr_CannotDoInCurrentContext;
    return hostCallbacks_.musicalTimeLocationProc(hostCallbacks_.hostUserData, samplesToNextBeat,
                                                  numerator, denominator, downBeat);
}

OSStatus AUBase::CallHostTransportState(Boolean* playing, Boolean* changed) {
    if (!hostCallbacks_.transportStateProc) return kAudioUnitErr_CannotDoInCurrentContext;
    return hostCallbacks_.transportStateProc(hostCallbacks_.hostUserData, playing, changed, nullptr,
                                             nullptr, nullptr, nullptr);
}

// ---------------------------------------------------------------- AUMIDIBase

AUMIDIBase::AUMIDIBase(AUBase* unit) : unit_(unit) {
    unit->midi_ = this;
}

OSStatus AUMIDIBase::MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
    return HandleMidiEvent(static_cast<UInt8>(status & 0xF0), static_cast<UInt8>(status & 0x0F),
                           static_cast<UInt8>(data1), static_cast<UInt8>(data2), offset);
}

OSStatus AUMIDIBase::SysEx(const UInt8*, UInt32) {
    return unit_->IsInitialized() ? noErr : kAudioUnitErr_Uninitialized;
}

OSStatus AUMIDIBase::HandleMidiEvent(UInt8, UInt8, UInt8, UInt8, UInt32) {
    return noErr;
}
