// Parameter events as an AudioUnit host schedules them: a value taken at a
// frame of the slice, or a ramp from one value to another over some frames.
#pragma once

#include "audiounit/core_audio.h"

inline AudioUnitParameterEvent immediate(AudioUnitParameterID id, UInt32 offset, float value) {
    AudioUnitParameterEvent e{};
    e.scope = kAudioUnitScope_Global;
    e.parameter = id;
    e.eventType = kParameterEvent_Immediate;
    e.eventValues.immediate = {offset, value};
    return e;
}

inline AudioUnitParameterEvent ramped(AudioUnitParameterID id, SInt32 start, UInt32 frames,
                                      float from, float to) {
    AudioUnitParameterEvent e{};
    e.scope = kAudioUnitScope_Global;
    e.parameter = id;
    e.eventType = kParameterEvent_Ramped;
    e.eventValues.ramp = {start, frames, from, to};
    return e;
}
