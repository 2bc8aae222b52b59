// The component entry point and the AudioComponent factory.
#include "audiounit/au_entry.h"

#include <bit>
#include <cstddef>
#include <cstring>
#include <memory>
#include <mutex>

namespace {

// Units are created one at a time.
std::mutex openMutex;

OSStatus openUnit(AUUnitCreator create, AudioComponentInstance instance, AUBase*& unit) {
    if (!create || !instance) return kAudio_ParamError;
    std::lock_guard<std::mutex> lock(openMutex);
    std::unique_ptr<AUBase> made(create(instance));
    if (!made) return kAudioUnitErr_FailedInitialization;
    made->PostConstructor();
    unit = made.release();
    instance->storage = unit;
    return noErr;
}

// ---- the calls, on a unit (shared by both ways in)

OSStatus callMIDIEvent(AUBase* unit, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
    AUMIDIBase* midi = unit->MIDIBase();
    return midi ? midi->MIDIEvent(status, data1, data2, offset) : badComponentSelector;
}

OSStatus callSysEx(AUBase* unit, const UInt8* data, UInt32 length) {
    AUMIDIBase* midi = unit->MIDIBase();
    return midi ? midi->SysEx(data, length) : badComponentSelector;
}

// ---- the factory's instance and its methods

struct PlugInInstance {
    AudioComponentPlugInInterface interface;
    AUUnitCreator create;
    AUBase* unit;
};

AUBase* unitOf(void* self) {
    auto* instance = static_cast<PlugInInstance*>(self);
    if (!instance || !instance->unit) throw OSStatus(kAudio_ParamError);
    return instance->unit;
}

OSStatus plugInOpen(void* self, AudioComponentInstance instance) {
    return AUCatchStatus([&] {
        auto* plugIn = static_cast<PlugInInstance*>(self);
        if (!plugIn || plugIn->unit) return kAudio_ParamError;
        return openUnit(plugIn->create, instance, plugIn->unit);
    });
}

OSStatus plugInClose(void* self) {
    return AUCatchStatus([&] {
        auto* plugIn = static_cast<PlugInInstance*>(self);
        if (!plugIn) return kAudio_ParamError;
        delete plugIn->unit;
        delete plugIn;
        return noErr;
    });
}

OSStatus mInitialize(void* self) {
    return AUCatchStatus([&] { return unitOf(self)->DoInitialize(); });
}
OSStatus mUninitialize(void* self) {
    return AUCatchStatus([&] {
        unitOf(self)->DoCleanup();
        return noErr;
    });
}
OSStatus mGetPropertyInfo(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                          AudioUnitElement element, UInt32* size, Boolean* writable) {
    return AUCatchStatus(
        [&] { return unitOf(self)->DispatchGetPropertyInfo(id, scope, element, size, writable); });
}
OSStatus mGetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                      AudioUnitElement element, void* data, UInt32* ioSize) {
    return AUCatchStatus(
        [&] { return unitOf(self)->DispatchGetProperty(id, scope, element, data, ioSize); });
}
OSStatus mSetProperty(void* self, AudioUnitPropertyID id, AudioUnitScope scope,
                      AudioUnitElement element, const void* data, UInt32 size) {
    return AUCatchStatus(
        [&] { return unitOf(self)->DispatchSetProperty(id, scope, element, data, size); });
}
OSStatus mGetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope,
                       AudioUnitElement element, AudioUnitParameterValue* value) {
    return AUCatchStatus(
        [&] { return unitOf(self)->DispatchGetParameter(id, scope, element, value); });
}
OSStatus mSetParameter(void* self, AudioUnitParameterID id, AudioUnitScope scope,
                       AudioUnitElement element, AudioUnitParameterValue value, UInt32 offset) {
    return AUCatchStatus(
        [&] { return unitOf(self)->DispatchSetParameter(id, scope, element, value, offset); });
}
OSStatus mReset(void* self, AudioUnitScope scope, AudioUnitElement element) {
    return AUCatchStatus([&] { return unitOf(self)->DoReset(scope, element); });
}
OSStatus mAddPropertyListener(void* self, AudioUnitPropertyID id,
                              AudioUnitPropertyListenerProc proc, void* refCon) {
    return AUCatchStatus([&] { return unitOf(self)->AddPropertyListener(id, proc, refCon); });
}
OSStatus mRemovePropertyListener(void* self, AudioUnitPropertyID id,
                                 AudioUnitPropertyListenerProc proc, void* refCon) {
    return AUCatchStatus(
        [&] { return unitOf(self)->RemovePropertyListenerWithUserData(id, proc, refCon); });
}
OSStatus mRender(void* self, AudioUnitRenderActionFlags* flags, const AudioTimeStamp* timeStamp,
                 UInt32 bus, UInt32 frames, AudioBufferList* ioData) {
    return AUCatchStatus(
        [&] { return unitOf(self)->DoRender(flags, timeStamp, bus, frames, ioData); });
}
OSStatus mScheduleParameters(void* self, const AudioUnitParameterEvent* events, UInt32 count) {
    return AUCatchStatus([&] { return unitOf(self)->DispatchScheduleParameters(events, count); });
}
OSStatus mMIDIEvent(void* self, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
    return AUCatchStatus([&] { return callMIDIEvent(unitOf(self), status, data1, data2, offset); });
}
OSStatus mSysEx(void* self, const UInt8* data, UInt32 length) {
    return AUCatchStatus([&] { return callSysEx(unitOf(self), data, length); });
}

template <class F> AudioComponentMethod method(F* f) {
    return reinterpret_cast<AudioComponentMethod>(f);
}

AudioComponentMethod plugInLookup(SInt16 selector) {
    switch (selector) {
    case kAudioUnitInitializeSelect:
        return method(mInitialize);
    case kAudioUnitUninitializeSelect:
        return method(mUninitialize);
    case kAudioUnitGetPropertyInfoSelect:
        return method(mGetPropertyInfo);
    case kAudioUnitGetPropertySelect:
        return method(mGetProperty);
    case kAudioUnitSetPropertySelect:
        return method(mSetProperty);
    case kAudioUnitGetParameterSelect:
        return method(mGetParameter);
    case kAudioUnitSetParameterSelect:
        return method(mSetParameter);
    case kAudioUnitResetSelect:
        return method(mReset);
    case kAudioUnitAddPropertyListenerSelect:
        return method(mAddPropertyListener);
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return method(mRemovePropertyListener);
    case kAudioUnitRenderSelect:
        return method(mRender);
    case kAudioUnitScheduleParametersSelect:
        return method(mScheduleParameters);
    case kMusicDeviceMIDIEventSelect:
        return method(mMIDIEvent);
    case kMusicDeviceSysExSelect:
        return method(mSysEx);
    default:
        return nullptr;
    }
}

// ---- parameter blocks

// The block's words lie beyond the one the record declares: read them
// through a pointer of their own.
template <class T> T arg(const ComponentParameters* p, int i) {
    const auto* words = reinterpret_cast<const intptr_t*>(reinterpret_cast<const char*>(p) +
                                                          offsetof(ComponentParameters, params));
    const intptr_t raw = words[i];
    if constexpr (std::is_pointer_v<T>) {
        return reinterpret_cast<T>(raw);
    } else if constexpr (std::is_same_v<T, Float32>) {
        return std::bit_cast<Float32>(static_cast<UInt32>(raw));
    } else {
        return static_cast<T>(raw);
    }
}

OSStatus dispatchToUnit(AUBase* unit, const ComponentParameters* p) {
    switch (p->what) {
    case kComponentVersionSelect:
        return static_cast<OSStatus>(unit->Version());
    case kAudioUnitInitializeSelect:
        return unit->DoInitialize();
    case kAudioUnitUninitializeSelect:
        unit->DoCleanup();
        return noErr;
    case kAudioUnitGetPropertyInfoSelect:
        return unit->DispatchGetPropertyInfo(arg<UInt32>(p, 0), arg<UInt32>(p, 1),
                                             arg<UInt32>(p, 2), arg<UInt32*>(p, 3),
                                             arg<Boolean*>(p, 4));
    case kAudioUnitGetPropertySelect:
        return unit->DispatchGetProperty(arg<UInt32>(p, 0), arg<UInt32>(p, 1), arg<UInt32>(p, 2),
                                         arg<void*>(p, 3), arg<UInt32*>(p, 4));
    case kAudioUnitSetPropertySelect:
        return unit->DispatchSetProperty(arg<UInt32>(p, 0), arg<UInt32>(p, 1), arg<UInt32>(p, 2),
                                         arg<const void*>(p, 3), arg<UInt32>(p, 4));
    case kAudioUnitGetParameterSelect:
        return unit->DispatchGetParameter(arg<UInt32>(p, 0), arg<UInt32>(p, 1), arg<UInt32>(p, 2),
                                          arg<Float32*>(p, 3));
    case kAudioUnitSetParameterSelect:
        return unit->DispatchSetParameter(arg<UInt32>(p, 0), arg<UInt32>(p, 1), arg<UInt32>(p, 2),
                                          arg<Float32>(p, 3), arg<UInt32>(p, 4));
    case kAudioUnitResetSelect:
        return unit->DoReset(arg<UInt32>(p, 0), arg<UInt32>(p, 1));
    case kAudioUnitAddPropertyListenerSelect:
        return unit->AddPropertyListener(
            arg<UInt32>(p, 0), arg<AudioUnitPropertyListenerProc>(p, 1), arg<void*>(p, 2));
    case kAudioUnitRemovePropertyListenerWithUserDataSelect:
        return unit->RemovePropertyListenerWithUserData(
            arg<UInt32>(p, 0), arg<AudioUnitPropertyListenerProc>(p, 1), arg<void*>(p, 2));
    case kAudioUnitRenderSelect:
        return unit->DoRender(arg<AudioUnitRenderActionFlags*>(p, 0),
                              arg<const AudioTimeStamp*>(p, 1), arg<UInt32>(p, 2),
                              arg<UInt32>(p, 3), arg<AudioBufferList*>(p, 4));
    case kAudioUnitScheduleParametersSelect:
        return unit->DispatchScheduleParameters(arg<const AudioUnitParameterEvent*>(p, 0),
                                                arg<UInt32>(p, 1));
    case kMusicDeviceMIDIEventSelect:
        return callMIDIEvent(unit, arg<UInt32>(p, 0), arg<UInt32>(p, 1), arg<UInt32>(p, 2),
                             arg<UInt32>(p, 3));
    case kMusicDeviceSysExSelect:
        return callSysEx(unit, arg<const UInt8*>(p, 0), arg<UInt32>(p, 1));
    default:
        return badComponentSelector;
    }
}

bool entryCanDo(SInt16 selector) {
    return selector == kComponentOpenSelect || selector == kComponentCloseSelect ||
           selector == kComponentCanDoSelect || selector == kComponentVersionSelect ||
           plugInLookup(selector) != nullptr;
}

} // namespace

OSStatus AUComponentEntry(AUUnitCreator create, ComponentParameters* params, void* storage) {
    return AUCatchStatus([&]() -> OSStatus {
        if (!params) return kAudio_ParamError;
        switch (params->what) {
        case kComponentOpenSelect: {
            AUBase* unit = nullptr;
            return openUnit(create, arg<AudioComponentInstance>(params, 0), unit);
        }
        case kComponentCloseSelect:
            delete static_cast<AUBase*>(storage);
            return noErr;
        case kComponentCanDoSelect:
            return entryCanDo(arg<SInt16>(params, 0)) ? 1 : 0;
        default:
            if (!storage) return kAudio_ParamError;
            return dispatchToUnit(static_cast<AUBase*>(storage), params);
        }
    });
}

AudioComponentPlugInInterface* AUComponentFactory(AUUnitCreator create) {
    auto* instance = new (std::nothrow) PlugInInstance{};
    if (!instance) return nullptr;
    instance->interface = {plugInOpen, plugInClose, plugInLookup, nullptr};
    instance->create = create;
    return &instance->interface;
}

OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, void* data, UInt32* ioSize) {
    if (!unit || !unit->storage) return kAudio_ParamError;
    return AUCatchStatus([&] {
        return static_cast<AUBase*>(unit->storage)
            ->DispatchGetProperty(id, scope, element, data, ioSize);
    });
}

OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, const void* data, UInt32 size) {
    if (!unit || !unit->storage) return kAudio_ParamError;
    return AUCatchStatus([&] {
        return static_cast<AUBase*>(unit->storage)
            ->DispatchSetProperty(id, scope, element, data, size);
    });
}
