// AUPLUGIN: construction, lifecycle, properties and parameters.
#include "au/au_plugin.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

constexpr AUChannelInfo kChannelInfo[] = {{0, 2}};

// The name rule: the effect's name, empty when it begins with '~' or '-',
// at most 254 characters, read as Mac Roman.
CFStringRef makeParameterName(AudioEffectX& effect, VstInt32 index) {
    char text[256] = {};
    effect.getParameterName(index, text);
    text[254] = '\0';
    if (text[0] == '~' || text[0] == '-') text[0] = '\0';
    return CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman);
}

} // namespace

AUPLUGIN::PresetTable::~PresetTable() {
    for (AUPreset& p : entries)
        if (p.presetName) CFRelease(p.presetName);
}

void AUPLUGIN::PresetTable::setName(UInt32 index, CFStringRef name) {
    if (entries[index].presetName) CFRelease(entries[index].presetName);
    entries[index].presetName = name;
}

AUPLUGIN::AUPLUGIN(AudioComponentInstance instance, EffectCreator createEffect)
    : AUBase(instance, 0, 1, 0), AUMIDIBase(this) {
    // The effect asks its host for the rate, block size and product while it
    // is built; the callback answers those as for a unit not there yet.
    effectOwner_.reset(createEffect ? createEffect(AUPLUGINAudioMasterCallback) : nullptr);
    effect_ = dynamic_cast<AudioEffectX*>(effectOwner_.get());
    aeffect_ = effect_ ? effect_->getAeffect() : nullptr;
    if (!aeffect_) throw OSStatus(kAudioUnitErr_FailedInitialization);
    aeffect_->resvd1 = reinterpret_cast<VstIntPtr>(this);
    numParams_ = static_cast<UInt32>(std::max<VstInt32>(aeffect_->numParams, 0));
    numPrograms_ = std::min<UInt32>(std::max<VstInt32>(aeffect_->numPrograms, 0), kMaxPrograms);

    effect_->suspend();
    effect_->setSampleRate(kInitialSampleRate);

    pending_ = std::make_unique<VstMidiEvent[]>(kMaxEvents);
    taken_ = std::make_unique<VstMidiEvent[]>(kMaxEvents);
    takenOffsets_ = std::make_unique<SInt32[]>(kMaxEvents);
    constexpr std::size_t kHeaderWords = offsetof(VstEvents, events) / sizeof(VstIntPtr);
    eventsStorage_ = std::make_unique<VstIntPtr[]>(kHeaderWords + kMaxEvents);
    events_ = reinterpret_cast<VstEvents*>(eventsStorage_.get());

    Globals()->UseIndexedParameters(numParams_);
    parameterNames_.reserve(numParams_);
    for (UInt32 i = 0; i < numParams_; ++i)
        parameterNames_.emplace_back(makeParameterName(*effect_, static_cast<VstInt32>(i)));

    effect_->setBlockSize(kInitialBlockSize);
    effect_->setProgram(0);
    for (UInt32 i = 0; i < numPrograms_; ++i) {
        presets_.entries[i].presetNumber = static_cast<SInt32>(i);
        presets_.setName(i, CFStringCreateWithCString(kCFAllocatorDefault, "Default",
                                                      kCFStringEncodingMacRoman));
    }
}

AUPLUGIN::~AUPLUGIN() {
    parameterNames_.clear();
    // The effect may still call its host while it goes; it then finds no unit.
    aeffect_->resvd1 = 0;
    effectOwner_.reset();
    effect_ = nullptr;
    aeffect_ = nullptr;
}

CFStringRef AUPLUGIN::ParameterName(UInt32 index) const {
    return index < parameterNames_.size() ? parameterNames_[index].get() : nullptr;
}

VstEvent** AUPLUGIN::EventSlots() {
    // VstEvents declares two pointers; ours has room for kMaxEvents behind
    // its header, reached through a pointer of its own.
    return reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(events_) +
                                        offsetof(VstEvents, events));
}

// ---------------------------------------------------------------- lifecycle

OSStatus AUPLUGIN::Initialize() {
    if (!effect_) return kAudioUnitErr_Uninitialized;
    const UInt32 channels = GetOutput(0)->GetStreamFormat().mChannelsPerFrame;
    const AUChannelInfo* infos = nullptr;
    const UInt32 count = SupportedNumChannels(&infos);
    bool supported = false;
    for (UInt32 i = 0; i < count; ++i)
        supported |= infos[i].inChannels == 0 && infos[i].outChannels == SInt16(channels);
    if (!supported) return kAudioUnitErr_FormatNotSupported;

    effect_->suspend();
    effect_->setSampleRate(static_cast<float>(sampleRate_));
    effect_->setBlockSize(static_cast<VstInt32>(GetMaxFramesPerSlice()));
    GetProgramNames();
    effect_->resume();
    SynchronizeParams();
    return noErr;
}

OSStatus AUPLUGIN::Reset(AudioUnitScope scope, AudioUnitElement element) {
    effect_->suspend();
    effect_->resume();
    return AUBase::Reset(scope, element);
}

OSStatus AUPLUGIN::SetMaxFramesPerSlice(UInt32 frames) {
    const OSStatus status = AUBase::SetMaxFramesPerSlice(frames);
    effect_->suspend();
    effect_->setBlockSize(static_cast<VstInt32>(frames));
    effect_->resume();
    return status;
}

Float64 AUPLUGIN::GetLatency() {
    if (!aeffect_ || !std::isfinite(sampleRate_) || sampleRate_ <= 0.0) return 0.0;
    return aeffect_->initialDelay / sampleRate_;
}

UInt32 AUPLUGIN::SupportedNumChannels(const AUChannelInfo** infos) {
    if (infos) *infos = kChannelInfo;
    return static_cast<UInt32>(std::size(kChannelInfo));
}

// ---------------------------------------------------------------- programs and parameters

void AUPLUGIN::GetProgramNames() {
    for (UInt32 i = 0; i < numPrograms_; ++i) {
        char text[256] = "Default";
        effect_->getProgramNameIndexed(0, static_cast<VstInt32>(i), text);
        text[255] = '\0';
        presets_.setName(
            i, CFStringCreateWithCString(kCFAllocatorDefault, text, kCFStringEncodingMacRoman));
    }
}

void AUPLUGIN::SynchronizeParams() {
    if (!effect_) return;
    for (UInt32 i = 0; i < numParams_; ++i)
        Globals()->SetParameter(i, effect_->getParameter(static_cast<VstInt32>(i)));
}

void AUPLUGIN::UpdateDisplayAU() {
    if (!effect_) return;
    SynchronizeParams();
}

void AUPLUGIN::EffectEdited(VstInt32 index, AudioUnitEventType type) {
    if (index < 0 || !aeffect_ || static_cast<UInt32>(index) >= numParams_) return;
    const auto id = static_cast<AudioUnitParameterID>(index);
    if (type == kAudioUnitEvent_ParameterValueChange) {
        // The effect holds the value by now, limited to its range: the host
        // reads what the effect plays.
        Globals()->SetParameter(id, effect_->getParameter(index));
    }
    AudioUnitEvent event{};
    event.mEventType = type;
    event.mArgument.mParameter = {GetComponentInstance(), id, kAudioUnitScope_Global, 0};
    AUEventListenerNotify(nullptr, nullptr, &event);
}

OSStatus AUPLUGIN::GetParameterList(AudioUnitScope scope, AudioUnitParameterID* list,
                                    UInt32& count) {
    if (scope != kAudioUnitScope_Global || !aeffect_)
        return AUBase::GetParameterList(scope, list, count);
    count = numParams_;
    if (list)
        for (UInt32 i = 0; i < numParams_; ++i) list[i] = i;
    return noErr;
}

OSStatus AUPLUGIN::SetParameter(AudioUnitParameterID id, AudioUnitScope, AudioUnitElement,
                                AudioUnitParameterValue value, UInt32) {
    if (id >= numParams_) return kAudioUnitErr_InvalidParameter;
    Globals()->SetParameter(id, value);
    effect_->setParameter(static_cast<VstInt32>(id), value);
    return noErr;
}

OSStatus AUPLUGIN::ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 count) {
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.eventType == kParameterEvent_Immediate && e.parameter < numParams_)
            effect_->setParameter(static_cast<VstInt32>(e.parameter),
                                  e.eventValues.immediate.value);
    }
    return AUBase::ScheduleParameter(events, count);
}

// ---------------------------------------------------------------- properties

OSStatus AUPLUGIN::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                   AudioUnitElement element, UInt32& size, bool& writable) {
    if (id == kAudioUnitProperty_FastDispatch) {
        size = sizeof(MusicDeviceMIDIEventProc);
        writable = false;
        return noErr;
    }
    if (id == kAudioUnitProperty_BypassEffect && scope == kAudioUnitScope_Global) {
        size = sizeof(UInt32);
        writable = true;
        return noErr;
    }
    return AUBase::GetPropertyInfo(id, scope, element, size, writable);
}

OSStatus AUPLUGIN::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                               AudioUnitElement element, void* data) {
    if (id == kAudioUnitProperty_FastDispatch) {
        if (element != kMusicDeviceMIDIEventSelect) return kAudioUnitErr_InvalidElement;
        const MusicDeviceMIDIEventProc proc = AUPLUGINMIDIEvent;
        std::memcpy(data, &proc, sizeof proc);
        return noErr;
    }
    if (id == kAudioUnitProperty_BypassEffect && scope == kAudioUnitScope_Global) {
        const UInt32 on = Bypassed() ? 1 : 0;
        std::memcpy(data, &on, sizeof on);
        return noErr;
    }
    return AUBase::GetProperty(id, scope, element, data);
}

OSStatus AUPLUGIN::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                               AudioUnitElement element, const void* data, UInt32 size) {
    if (id == kAudioUnitProperty_BypassEffect) {
        if (size < sizeof(UInt32)) return kAudioUnitErr_InvalidPropertyValue;
        UInt32 value = 0;
        std::memcpy(&value, data, sizeof value);
        const bool on = value != 0;
        if (on == Bypassed()) return noErr;
        // The effect starts from a clean state when it is heard again.
        if (!on && IsInitialized()) Reset(kAudioUnitScope_Global, 0);
        bypass_.store(on, std::memory_order_relaxed);
        return noErr;
    }
    return AUBase::SetProperty(id, scope, element, data, size);
}

// ---------------------------------------------------------------- formats

bool AUPLUGIN::StreamFormatWritable(AudioUnitScope, AudioUnitElement) {
    return !IsInitialized();
}

bool AUPLUGIN::ValidFormat(AudioUnitScope, AudioUnitElement, const AudioStreamBasicDescription& f) {
    return f.mFormatID == kAudioFormatLinearPCM &&
           f.mFormatFlags == kAudioFormatFlagsCanonicalUnit && f.mBytesPerPacket == 4 &&
           f.mFramesPerPacket == 1 && f.mBytesPerFrame == 4 && f.mBitsPerChannel == 32 &&
           (f.mChannelsPerFrame == 1 || f.mChannelsPerFrame == 2) && std::isfinite(f.mSampleRate) &&
           f.mSampleRate > 0.0;
}

OSStatus AUPLUGIN::ChangeStreamFormat(AudioUnitScope scope, AudioUnitElement element,
                                      const AudioStreamBasicDescription& oldFormat,
                                      const AudioStreamBasicDescription& newFormat) {
    if (scope != kAudioUnitScope_Input && scope != kAudioUnitScope_Output)
        return kAudioUnitErr_InvalidScope;
    if (!GetIOElement(scope, element)) return kAudioUnitErr_InvalidElement;
    sampleRate_ = newFormat.mSampleRate;
    effect_->suspend();
    effect_->setSampleRate(static_cast<float>(sampleRate_));
    effect_->resume();
    return AUBase::ChangeStreamFormat(scope, element, oldFormat, newFormat);
}
