// AUPLUGIN: construction, lifecycle, properties, parameters, presets and
// the editor properties.
#include "au/au_plugin.h"

#include "au/au_component.h"
#include "core/numeric.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

namespace {

constexpr AUChannelInfo kChannelInfo[] = {{0, 2}};

constexpr const char* kGenericName = "Generic";
constexpr AudioUnitParameterValue kDefaultParameterValue = 0.5f;
// A value text: the display cut at this many characters, a blank, the label.
constexpr std::size_t kValueTextChars = 32;
constexpr std::size_t kTextBuffer = 512;

// text cut to fit a field of `bytes` with its NUL, at a UTF-8 character
// boundary.
void copyUtf8(char* field, std::size_t bytes, const char* text) {
    std::size_t length = strnlen(text, bytes);
    if (length >= bytes) {
        length = bytes - 1;
        while (length > 0 && (static_cast<unsigned char>(text[length]) & 0xC0) == 0x80) --length;
    }
    std::memcpy(field, text, length);
    field[length] = '\0';
}

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
    services_ = dynamic_cast<AdapterServices*>(effectOwner_.get());
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
    takenOrder_ = std::make_unique<UInt16[]>(kMaxEvents);
    followed_ = std::make_unique<Followed[]>(kMaxFollowed);
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
    if (numPrograms_ > 0) SetAFactoryPresetAsCurrent(presets_.entries[0]);
}

AUPLUGIN::~AUPLUGIN() {
    // An editor still open in a view would outlive its effect.
    CloseEditor();
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
    if (IsInitialized()) {
        GetProgramNames();
        const VstInt32 program = effect_->getProgram();
        if (program >= 0 && static_cast<UInt32>(program) < numPrograms_)
            SetAFactoryPresetAsCurrent(presets_.entries[static_cast<std::size_t>(program)]);
        PropertyChanged(kAudioUnitProperty_CurrentPreset, kAudioUnitScope_Global, 0);
    }
    PropertyChanged(kAudioUnitProperty_FactoryPresets, kAudioUnitScope_Global, 0);
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
    const auto index = static_cast<VstInt32>(id);
    effect_->setParameter(index, value);
    // The effect limits what it takes (a range, a switch): the host reads
    // back what the effect plays, as after the effect's own automation.
    Globals()->SetParameter(id, effect_->getParameter(index));
    return noErr;
}

OSStatus AUPLUGIN::ScheduleParameter(const AudioUnitParameterEvent* events, UInt32 count) {
    // An event for a parameter the unit does not have is refused on its
    // own; the others of the list still apply.
    OSStatus status = noErr;
    for (UInt32 i = 0; i < count; ++i) {
        const AudioUnitParameterEvent& e = events[i];
        if (e.parameter >= numParams_) {
            status = kAudioUnitErr_InvalidParameter;
            continue;
        }
        if (e.eventType == kParameterEvent_Immediate)
            effect_->setParameter(static_cast<VstInt32>(e.parameter),
                                  e.eventValues.immediate.value);
        AUBase::ScheduleParameter(&e, 1);
        if (e.scope == kAudioUnitScope_Global && e.element == 0) {
            const bool ramped = e.eventType == kParameterEvent_Ramped;
            if (followedCount_ < kMaxFollowed) {
                const SInt32 start =
                    ramped ? e.eventValues.ramp.startBufferOffset
                           : static_cast<SInt32>(e.eventValues.immediate.bufferOffset);
                followed_[followedCount_++] = {e.parameter, start, ramped};
            } else if (ramped) {
                // No room to follow it: the base has set its end value already.
                FollowUnitValue(e.parameter);
            } else {
                FollowEffectValue(e.parameter);
            }
        }
    }
    return status;
}

void AUPLUGIN::FollowUnitValue(AudioUnitParameterID id) {
    const auto index = static_cast<VstInt32>(id);
    effect_->setParameter(index, Globals()->GetParameter(id));
    Globals()->SetParameter(id, effect_->getParameter(index));
}

void AUPLUGIN::FollowEffectValue(AudioUnitParameterID id) {
    Globals()->SetParameter(id, effect_->getParameter(static_cast<VstInt32>(id)));
}

void AUPLUGIN::FollowScheduled(std::int64_t frame) {
    for (UInt32 k = 0; k < followedCount_; ++k) {
        const Followed& f = followed_[k];
        if (f.start > frame) continue;
        if (f.ramped)
            FollowUnitValue(f.parameter);
        else
            FollowEffectValue(f.parameter);
    }
}

OSStatus AUPLUGIN::GetParameterInfo(AudioUnitScope scope, AudioUnitParameterID id,
                                    AudioUnitParameterInfo& info) {
    if (scope != kAudioUnitScope_Global) return kAudioUnitErr_InvalidParameter;
    info = AudioUnitParameterInfo{};
    info.flags = kAudioUnitParameterFlag_IsReadable | kAudioUnitParameterFlag_IsWritable;
    if (!IsInitialized()) info.flags |= kAudioUnitParameterFlag_IsGlobalMeta;
    info.unit = kAudioUnitParameterUnit_Generic;
    info.minValue = 0.0f;
    info.maxValue = 1.0f;
    info.defaultValue = kDefaultParameterValue;
    if (id >= numParams_) {
        info.cfNameString =
            CFStringCreateWithCString(kCFAllocatorDefault, kGenericName, kCFStringEncodingMacRoman);
        info.flags |=
            kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_CFNameRelease;
        copyUtf8(info.name, sizeof info.name, kGenericName);
        return noErr;
    }
    if (!parameterNames_[id])
        parameterNames_[id].reset(makeParameterName(*effect_, static_cast<VstInt32>(id)));
    info.cfNameString = parameterNames_[id].get(); // the unit keeps it
    info.flags |=
        kAudioUnitParameterFlag_HasCFNameString | kAudioUnitParameterFlag_ValuesHaveStrings;
    char utf8[1024] = {};
    if (CFStringGetCString(info.cfNameString, utf8, sizeof utf8, kCFStringEncodingUTF8))
        copyUtf8(info.name, sizeof info.name, utf8);
    return noErr;
}

OSStatus AUPLUGIN::GetParameterValueStrings(AudioUnitScope, AudioUnitParameterID, CFArrayRef*) {
    // Every text comes from the value-to-string property.
    return kAudioUnitErr_InvalidProperty;
}

// ---------------------------------------------------------------- presets

OSStatus AUPLUGIN::GetPresets(CFArrayRef* out) const {
    if (numPrograms_ == 0) return kAudioUnitErr_InvalidProperty;
    if (!out) return noErr;
    const void* records[kMaxPrograms];
    for (UInt32 i = 0; i < numPrograms_; ++i) records[i] = &presets_.entries[i];
    *out = CFArrayCreate(kCFAllocatorDefault, records, static_cast<CFIndex>(numPrograms_), nullptr);
    return noErr;
}

OSStatus AUPLUGIN::NewFactoryPresetSet(const AUPreset& preset) {
    for (UInt32 i = 0; i < numPrograms_; ++i) {
        const AUPreset& entry = presets_.entries[i];
        if (entry.presetNumber != preset.presetNumber) continue;
        effect_->setProgram(static_cast<VstInt32>(i));
        SetAFactoryPresetAsCurrent(entry);
        return noErr;
    }
    return kAudioUnitErr_InvalidPropertyValue;
}

// ---------------------------------------------------------------- properties

AudioComponentDescription AUPLUGIN::GetComponentDescription() const {
    return ondix::au::kComponentDescription;
}

OSStatus AUPLUGIN::GetPropertyInfo(AudioUnitPropertyID id, AudioUnitScope scope,
                                   AudioUnitElement element, UInt32& size, bool& writable) {
    using namespace ondix::au;
    if (id == kAudioUnitProperty_FastDispatch) {
        size = sizeof(MusicDeviceMIDIEventProc);
        writable = false;
        return noErr;
    }
    if (scope != kAudioUnitScope_Global)
        return AUBase::GetPropertyInfo(id, scope, element, size, writable);
    writable = false;
    switch (id) {
    case kAudioUnitProperty_SampleRate:
        size = sizeof(Float64);
        writable = true;
        return noErr;
    case kAudioUnitProperty_BypassEffect:
        size = sizeof(UInt32);
        writable = true;
        return noErr;
    case kAudioUnitProperty_InPlaceProcessing:
    case kMusicDeviceProperty_InstrumentCount:
        size = sizeof(UInt32);
        return noErr;
    case kAudioUnitProperty_CocoaUI:
        size = sizeof(AudioUnitCocoaViewInfo);
        return noErr;
    case kAudioUnitProperty_ParameterStringFromValue:
        size = sizeof(AudioUnitParameterStringFromValue);
        return noErr;
    case kEditorOpenProperty:
    case kEditorIdleProperty:
    case kEditorCloseProperty:
        size = sizeof(void*);
        writable = true;
        return noErr;
    case kEditorSizeProperty:
        size = 2 * sizeof(Float64);
        return noErr;
    default:
        return AUBase::GetPropertyInfo(id, scope, element, size, writable);
    }
}

OSStatus AUPLUGIN::GetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                               AudioUnitElement element, void* data) {
    using namespace ondix::au;
    if (id == kAudioUnitProperty_FastDispatch) {
        if (element != kMusicDeviceMIDIEventSelect) return kAudioUnitErr_InvalidElement;
        const MusicDeviceMIDIEventProc proc = AUPLUGINMIDIEvent;
        std::memcpy(data, &proc, sizeof proc);
        return noErr;
    }
    if (scope != kAudioUnitScope_Global) return AUBase::GetProperty(id, scope, element, data);
    switch (id) {
    case kAudioUnitProperty_SampleRate:
        std::memcpy(data, &sampleRate_, sizeof sampleRate_);
        return noErr;
    case kAudioUnitProperty_BypassEffect: {
        const UInt32 on = Bypassed() ? 1 : 0;
        std::memcpy(data, &on, sizeof on);
        return noErr;
    }
    case kAudioUnitProperty_InPlaceProcessing:
    case kMusicDeviceProperty_InstrumentCount: {
        const UInt32 zero = 0;
        std::memcpy(data, &zero, sizeof zero);
        return noErr;
    }
    case kAudioUnitProperty_CocoaUI: {
        AudioUnitCocoaViewInfo info{};
        const OSStatus status = CocoaViewInfo(info);
        if (status == noErr) std::memcpy(data, &info, sizeof info);
        return status;
    }
    case kAudioUnitProperty_ParameterStringFromValue: {
        AudioUnitParameterStringFromValue request{};
        std::memcpy(&request, data, sizeof request);
        const OSStatus status = ValueString(request);
        if (status == noErr) std::memcpy(data, &request, sizeof request);
        return status;
    }
    case kEditorSizeProperty: {
        Float64 size[2] = {};
        const OSStatus status = EditorSize(size);
        if (status == noErr) std::memcpy(data, size, sizeof size);
        return status;
    }
    default:
        return AUBase::GetProperty(id, scope, element, data);
    }
}

OSStatus AUPLUGIN::SetProperty(AudioUnitPropertyID id, AudioUnitScope scope,
                               AudioUnitElement element, const void* data, UInt32 size) {
    using namespace ondix::au;
    switch (id) {
    case kAudioUnitProperty_SampleRate: {
        // Any scope: the rate is the unit's and the effect's, one for all.
        Float64 rate = 0.0;
        if (size != sizeof rate) return kAudioUnitErr_InvalidPropertyValue;
        std::memcpy(&rate, data, sizeof rate);
        if (!std::isfinite(rate) || rate <= 0.0) return kAudioUnitErr_InvalidPropertyValue;
        sampleRate_ = rate;
        effect_->suspend();
        effect_->setSampleRate(static_cast<float>(rate));
        effect_->resume();
        return noErr;
    }
    case kAudioUnitProperty_BypassEffect: {
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
    case kEditorOpenProperty:
        OpenEditor(const_cast<void*>(data));
        return noErr;
    case kEditorIdleProperty:
        Dispatch(effEditIdle);
        return noErr;
    case kEditorCloseProperty:
        // Only the view the editor is open in closes it: a view that was
        // replaced by a newer one must not close the newer one's editor.
        if (data == editorView_) CloseEditor();
        return noErr;
    default:
        return AUBase::SetProperty(id, scope, element, data, size);
    }
}

// ---------------------------------------------------------------- value texts and the editor

VstIntPtr AUPLUGIN::Dispatch(VstInt32 opcode, VstIntPtr value, void* ptr) {
    if (!aeffect_ || !aeffect_->dispatcher) return 0;
    return aeffect_->dispatcher(aeffect_, opcode, 0, value, ptr, 0.0f);
}

OSStatus AUPLUGIN::ValueString(AudioUnitParameterStringFromValue& request) {
    if (!aeffect_) return noErr;
    if (request.inParamID >= numParams_) return kAudioUnitErr_InvalidParameter;
    const auto index = static_cast<VstInt32>(request.inParamID);
    std::string display;
    if (!request.inValue) {
        char text[kTextBuffer] = {};
        effect_->getParameterDisplay(index, text);
        text[kTextBuffer - 1] = '\0';
        display = text;
    } else if (services_) {
        // The given value's own text; the running effect is not touched.
        display = services_->formatParameterValue(index, clamp01(*request.inValue));
    } else {
        // An effect that cannot format a value it does not hold: the value.
        char text[32] = {};
        const auto end = std::to_chars(text, text + sizeof text - 1,
                                       static_cast<double>(clamp01(*request.inValue)),
                                       std::chars_format::fixed, 3);
        display.assign(text, end.ptr);
    }
    if (display.size() > kValueTextChars) display.resize(kValueTextChars);
    char label[kTextBuffer] = {};
    effect_->getParameterLabel(index, label);
    label[kTextBuffer - 1] = '\0';
    const std::string text = display + " " + label;
    request.outString =
        CFStringCreateWithCString(kCFAllocatorDefault, text.c_str(), kCFStringEncodingMacRoman);
    return noErr;
}

OSStatus AUPLUGIN::CocoaViewInfo(AudioUnitCocoaViewInfo& info) const {
    using namespace ondix::au;
    const CFStringRef identifier = CFStringCreateWithCString(
        kCFAllocatorDefault, kComponentBundleIdentifier, kCFStringEncodingUTF8);
    const CFBundleRef bundle = CFBundleGetBundleWithIdentifier(identifier);
    CFRelease(identifier);
    const CFURLRef url = bundle ? CFBundleCopyBundleURL(bundle) : nullptr;
    if (!url) return fnfErr;
    info.mCocoaAUViewBundleLocation = url;
    info.mCocoaAUViewClass[0] = CFStringCreateWithCString(
        kCFAllocatorDefault, kCocoaViewFactoryClass, kCFStringEncodingASCII);
    return noErr;
}

OSStatus AUPLUGIN::EditorSize(Float64 (&size)[2]) {
    ERect* rect = nullptr;
    Dispatch(effEditGetRect, 0, &rect);
    if (!rect) return -1;
    size[0] = rect->right - rect->left;
    size[1] = rect->bottom - rect->top;
    return noErr;
}

void AUPLUGIN::OpenEditor(void* parent) {
    // One editor per effect: a new view takes it over from the old one.
    CloseEditor();
    if (Dispatch(effEditOpen, 0, parent) == 1) editorView_ = parent;
}

void AUPLUGIN::CloseEditor() {
    if (!editorView_) return;
    editorView_ = nullptr;
    Dispatch(effEditClose);
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
