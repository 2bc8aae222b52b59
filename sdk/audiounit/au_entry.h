// The two ways a host opens a unit: the component entry point of the
// Component Manager (a parameter block per call) and the AudioComponent
// factory (a plug-in interface whose lookup hands out one function per
// selector). Both create the unit through an AUUnitCreator, catch whatever
// a unit throws and answer it as a status: an OSStatus (or short) unchanged,
// -108 for exhausted memory, -1 for anything else.
//
// Parameter blocks of this layer: params[i] is argument i of the call (after
// the unit), in the order of the call's C signature, each widened to a
// pointer-sized integer; a Float32 travels as its bit pattern in the low 32
// bits. kComponentOpenSelect takes the ComponentInstanceRecord in params[0];
// every other call gets the unit's storage as the entry's second argument.
#pragma once

#include "audiounit/au_base.h"

#include <cstdint>
#include <new>

struct ComponentParameters {
    UInt8 flags;
    UInt8 paramSize; // bytes of params in use
    SInt16 what;     // the selector
    UInt32 padding;
    intptr_t params[1]; // as many as the call has
};
static_assert(offsetof(ComponentParameters, params) == 8);

using ComponentEntryProc = OSStatus (*)(ComponentParameters* params, void* storage);

// A looked-up method; cast it to the selector's own signature, whose first
// argument is the plug-in interface (self):
//   Initialize, Uninitialize: OSStatus(void* self)
//   GetPropertyInfo: (self, id, scope, element, UInt32* size, Boolean* writable)
//   GetProperty: (self, id, scope, element, void* data, UInt32* ioSize)
//   SetProperty: (self, id, scope, element, const void* data, UInt32 size)
//   GetParameter: (self, id, scope, element, Float32* value)
//   SetParameter: (self, id, scope, element, Float32 value, UInt32 offset)
//   Reset: (self, scope, element)
//   AddPropertyListener, RemovePropertyListenerWithUserData:
//       (self, id, AudioUnitPropertyListenerProc, void* refCon)
//   Render: (self, AudioUnitRenderActionFlags*, const AudioTimeStamp*, UInt32 bus,
//            UInt32 frames, AudioBufferList* ioData)
//   ScheduleParameters: (self, const AudioUnitParameterEvent*, UInt32 count)
//   MusicDevice MIDI event: (self, UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset)
//   MusicDevice SysEx: (self, const UInt8* data, UInt32 length)
using AudioComponentMethod = void (*)();

struct AudioComponentPlugInInterface {
    OSStatus (*Open)(void* self, AudioComponentInstance instance);
    OSStatus (*Close)(void* self);
    AudioComponentMethod (*Lookup)(SInt16 selector);
    void* reserved;
};

using AudioComponentFactoryFunction =
    AudioComponentPlugInInterface* (*)(const AudioComponentDescription* description);

// How a component makes one unit for an instance; the unit is constructed,
// the entry runs its PostConstructor.
using AUUnitCreator = AUBase* (*)(AudioComponentInstance instance);

// The component entry: open (under a process-wide lock), close, version,
// can-do, the AudioUnit calls and the MusicDevice MIDI calls. A missing
// parameter block gives -50, an unknown selector badComponentSelector.
OSStatus AUComponentEntry(AUUnitCreator create, ComponentParameters* params, void* storage);

// A new plug-in interface for one instance; Close releases it.
AudioComponentPlugInInterface* AUComponentFactory(AUUnitCreator create);

// The platform's AudioUnitGetProperty and AudioUnitSetProperty for code
// that runs beside the unit (its view): the call reaches the unit whose
// storage the instance holds, as a host's call would.
OSStatus AudioUnitGetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, void* data, UInt32* ioSize);
OSStatus AudioUnitSetProperty(AudioUnit unit, AudioUnitPropertyID id, AudioUnitScope scope,
                              AudioUnitElement element, const void* data, UInt32 size);

// Runs f and turns what it throws into a status.
template <class F> OSStatus AUCatchStatus(F&& f) noexcept {
    try {
        return f();
    } catch (OSStatus status) {
        return status;
    } catch (short status) {
        return status;
    } catch (const std::bad_alloc&) {
        return kAudio_MemFullError;
    } catch (...) {
        return -1;
    }
}
