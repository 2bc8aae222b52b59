// Ondix's own description of the CoreAudio and AudioUnit (version 2) records
// and constants that the AudioUnit adapter and its test host use.
//
// Written from the public documentation of the interface (x86-64, natural
// alignment). Only what the adapter needs is here; the values of the statuses,
// property IDs and selectors are those the platform publishes. Sizes a host
// relies on are checked with static_assert at the end.
#pragma once

#include "audiounit/core_foundation.h"

#include <cstddef>
#include <cstdint>

using OSStatus = int32_t;
using OSType = uint32_t;
using UInt8 = uint8_t;
using SInt16 = int16_t;
using UInt16 = uint16_t;
using UInt32 = uint32_t;
using SInt32 = int32_t;
using UInt64 = uint64_t;
using Float32 = float;
using Float64 = double;

// Four-character code with the first character in the most significant byte.
constexpr OSType auFourCC(const char (&code)[5]) {
    return (static_cast<OSType>(static_cast<unsigned char>(code[0])) << 24) |
           (static_cast<OSType>(static_cast<unsigned char>(code[1])) << 16) |
           (static_cast<OSType>(static_cast<unsigned char>(code[2])) << 8) |
           static_cast<OSType>(static_cast<unsigned char>(code[3]));
}

// ---------------------------------------------------------------- statuses
constexpr OSStatus noErr = 0;
constexpr OSStatus kAudio_UnimplementedError = -4;
constexpr OSStatus fnfErr = -43; // file (here: the unit's bundle) not found
constexpr OSStatus kAudio_ParamError = -50;
constexpr OSStatus kAudio_MemFullError = -108;
constexpr OSStatus badComponentSelector = static_cast<OSStatus>(0x80008002);
constexpr OSStatus kAudioUnitErr_InvalidProperty = -10879;
constexpr OSStatus kAudioUnitErr_InvalidParameter = -10878;
constexpr OSStatus kAudioUnitErr_InvalidElement = -10877;
constexpr OSStatus kAudioUnitErr_NoConnection = -10876;
constexpr OSStatus kAudioUnitErr_FailedInitialization = -10875;
constexpr OSStatus kAudioUnitErr_TooManyFramesToProcess = -10874;
constexpr OSStatus kAudioUnitErr_FormatNotSupported = -10868;
constexpr OSStatus kAudioUnitErr_Uninitialized = -10867;
constexpr OSStatus kAudioUnitErr_InvalidScope = -10866;
constexpr OSStatus kAudioUnitErr_PropertyNotWritable = -10865;
constexpr OSStatus kAudioUnitErr_CannotDoInCurrentContext = -10863;
constexpr OSStatus kAudioUnitErr_InvalidPropertyValue = -10851;
constexpr OSStatus kAudioUnitErr_Initialized = -10849;

// ---------------------------------------------------------------- stream formats
constexpr OSType kAudioFormatLinearPCM = auFourCC("lpcm");

enum : UInt32 {
    kAudioFormatFlagIsFloat = 1u << 0,
    kAudioFormatFlagIsBigEndian = 1u << 1,
    kAudioFormatFlagIsSignedInteger = 1u << 2,
    kAudioFormatFlagIsPacked = 1u << 3,
    kAudioFormatFlagIsAlignedHigh = 1u << 4,
    kAudioFormatFlagIsNonInterleaved = 1u << 5,
    kAudioFormatFlagIsNonMixable = 1u << 6,
};
// 32-bit float, packed, one buffer per channel: 41.
constexpr UInt32 kAudioFormatFlagsCanonicalUnit =
    kAudioFormatFlagIsFloat | kAudioFormatFlagIsPacked | kAudioFormatFlagIsNonInterleaved;

struct AudioStreamBasicDescription {
    Float64 mSampleRate;
    OSType mFormatID;
    UInt32 mFormatFlags;
    UInt32 mBytesPerPacket;
    UInt32 mFramesPerPacket;
    UInt32 mBytesPerFrame;
    UInt32 mChannelsPerFrame;
    UInt32 mBitsPerChannel;
    UInt32 mReserved;
};

// The canonical format of a unit's bus: float, one buffer per channel.
constexpr AudioStreamBasicDescription canonicalFormat(Float64 rate, UInt32 channels) {
    return {rate, kAudioFormatLinearPCM, kAudioFormatFlagsCanonicalUnit, 4, 1, 4, channels, 32, 0};
}

// ---------------------------------------------------------------- buffers
struct AudioBuffer {
    UInt32 mNumberChannels;
    UInt32 mDataByteSize;
    void* mData;
};

// Variable-length: mNumberBuffers buffers follow the count; the declared one
// is only the minimum. Read the buffers through audioBuffers().
struct AudioBufferList {
    UInt32 mNumberBuffers;
    AudioBuffer mBuffers[1];
};

constexpr std::size_t audioBufferListBytes(UInt32 buffers) {
    return offsetof(AudioBufferList, mBuffers) + sizeof(AudioBuffer) * (buffers ? buffers : 1);
}
inline AudioBuffer* audioBuffers(AudioBufferList& list) {
    return reinterpret_cast<AudioBuffer*>(reinterpret_cast<char*>(&list) +
                                          offsetof(AudioBufferList, mBuffers));
}
inline const AudioBuffer* audioBuffers(const AudioBufferList& list) {
    return reinterpret_cast<const AudioBuffer*>(reinterpret_cast<const char*>(&list) +
                                                offsetof(AudioBufferList, mBuffers));
}

// ---------------------------------------------------------------- time
enum : UInt32 {
    kSMPTETimeType24 = 0,
    kSMPTETimeType25 = 1,
    kSMPTETimeType30Drop = 2,
    kSMPTETimeType30 = 3,
    kSMPTETimeType2997 = 4,
    kSMPTETimeType2997Drop = 5,
};

struct SMPTETime {
    SInt16 mSubframes;
    SInt16 mSubframeDivisor;
    UInt32 mCounter;
    UInt32 mType;
    UInt32 mFlags;
    SInt16 mHours;
    SInt16 mMinutes;
    SInt16 mSeconds;
    SInt16 mFrames;
};

enum : UInt32 {
    kAudioTimeStampSampleTimeValid = 1u << 0,
    kAudioTimeStampHostTimeValid = 1u << 1,
    kAudioTimeStampRateScalarValid = 1u << 2,
    kAudioTimeStampWordClockTimeValid = 1u << 3,
    kAudioTimeStampSMPTETimeValid = 1u << 4,
};

struct AudioTimeStamp {
    Float64 mSampleTime;
    UInt64 mHostTime;
    Float64 mRateScalar;
    UInt64 mWordClockTime;
    SMPTETime mSMPTETime;
    UInt32 mFlags;
    UInt32 mReserved;
};

// ---------------------------------------------------------------- units
using AudioUnitPropertyID = UInt32;
using AudioUnitScope = UInt32;
using AudioUnitElement = UInt32;
using AudioUnitParameterID = UInt32;
using AudioUnitParameterValue = Float32;
using AudioUnitRenderActionFlags = UInt32;

// The handle a host holds for one open unit. On this platform layer it is a
// record the host owns; opening stores the unit's storage in it.
struct ComponentInstanceRecord {
    void* storage;
};
using AudioComponentInstance = ComponentInstanceRecord*;
using ComponentInstance = AudioComponentInstance;
using AudioUnit = AudioComponentInstance;

enum : AudioUnitScope {
    kAudioUnitScope_Global = 0,
    kAudioUnitScope_Input = 1,
    kAudioUnitScope_Output = 2,
    kAudioUnitScope_Group = 3,
};

enum : AudioUnitPropertyID {
    kAudioUnitProperty_ClassInfo = 0,
    kAudioUnitProperty_SampleRate = 2,
    kAudioUnitProperty_ParameterList = 3,
    kAudioUnitProperty_ParameterInfo = 4,
    kAudioUnitProperty_FastDispatch = 5,
    kAudioUnitProperty_StreamFormat = 8,
    kAudioUnitProperty_ElementCount = 11,
    kAudioUnitProperty_Latency = 12,
    kAudioUnitProperty_SupportedNumChannels = 13,
    kAudioUnitProperty_MaximumFramesPerSlice = 14,
    kAudioUnitProperty_ParameterValueStrings = 16,
    kAudioUnitProperty_TailTime = 20,
    kAudioUnitProperty_BypassEffect = 21,
    kAudioUnitProperty_FactoryPresets = 24,
    kAudioUnitProperty_HostCallbacks = 27,
    kAudioUnitProperty_CurrentPreset = 28,
    kAudioUnitProperty_InPlaceProcessing = 29,
    kAudioUnitProperty_CocoaUI = 31,
    kAudioUnitProperty_ParameterStringFromValue = 33,
    kAudioUnitProperty_PresentPreset = 36,
    kAudioUnitProperty_OfflineRender = 37,
    kMusicDeviceProperty_InstrumentCount = 1000,
};

// ---------------------------------------------------------------- parameter info
using AudioUnitParameterUnit = UInt32;
using AudioUnitParameterOptions = UInt32;
constexpr AudioUnitParameterUnit kAudioUnitParameterUnit_Generic = 0;
enum : AudioUnitParameterOptions {
    kAudioUnitParameterFlag_CFNameRelease = 1u << 4,
    kAudioUnitParameterFlag_ValuesHaveStrings = 1u << 21,
    kAudioUnitParameterFlag_HasCFNameString = 1u << 27,
    kAudioUnitParameterFlag_IsGlobalMeta = 1u << 28,
    kAudioUnitParameterFlag_IsReadable = 1u << 30,
    kAudioUnitParameterFlag_IsWritable = 1u << 31,
};
struct AudioUnitParameterInfo {
    char name[52]; // UTF-8, NUL-terminated
    CFStringRef unitName;
    UInt32 clumpID;
    CFStringRef cfNameString;
    AudioUnitParameterUnit unit;
    AudioUnitParameterValue minValue;
    AudioUnitParameterValue maxValue;
    AudioUnitParameterValue defaultValue;
    AudioUnitParameterOptions flags;
};
// kAudioUnitProperty_ParameterStringFromValue: the host fills the ID and
// (optionally) the value; the unit answers a new string the host releases.
struct AudioUnitParameterStringFromValue {
    AudioUnitParameterID inParamID;
    const AudioUnitParameterValue* inValue;
    CFStringRef outString;
};
// kAudioUnitProperty_CocoaUI: where the view factory lives and its class.
struct AudioUnitCocoaViewInfo {
    CFURLRef mCocoaAUViewBundleLocation;
    CFStringRef mCocoaAUViewClass[1];
};

enum : AudioUnitRenderActionFlags {
    kAudioUnitRenderAction_PreRender = 1u << 2,
    kAudioUnitRenderAction_PostRender = 1u << 3,
    kAudioUnitRenderAction_OutputIsSilence = 1u << 4,
};

// Component types.
constexpr OSType kAudioUnitType_MusicDevice = auFourCC("aumu");

struct AudioComponentDescription {
    OSType componentType;
    OSType componentSubType;
    OSType componentManufacturer;
    UInt32 componentFlags;
    UInt32 componentFlagsMask;
};

struct AUChannelInfo {
    SInt16 inChannels;
    SInt16 outChannels;
};

struct AUPreset {
    SInt32 presetNumber;
    CFStringRef presetName;
};

// Scheduled parameter changes (AudioUnitScheduleParameters).
enum AUParameterEventType : UInt32 {
    kParameterEvent_Immediate = 1,
    kParameterEvent_Ramped = 2,
};

struct AudioUnitParameterEvent {
    AudioUnitScope scope;
    AudioUnitElement element;
    AudioUnitParameterID parameter;
    AUParameterEventType eventType;
    union {
        struct {
            SInt32 startBufferOffset;
            UInt32 durationInFrames;
            AudioUnitParameterValue startValue;
            AudioUnitParameterValue endValue;
        } ramp;
        struct {
            UInt32 bufferOffset;
            AudioUnitParameterValue value;
        } immediate;
    } eventValues;
};

// The host's musical time, asked for while rendering.
using HostCallback_GetBeatAndTempo = OSStatus (*)(void* hostUserData, Float64* currentBeat,
                                                  Float64* currentTempo);
using HostCallback_GetMusicalTimeLocation = OSStatus (*)(void* hostUserData,
                                                         UInt32* deltaSampleOffsetToNextBeat,
                                                         Float32* timeSigNumerator,
                                                         UInt32* timeSigDenominator,
                                                         Float64* currentMeasureDownBeat);
using HostCallback_GetTransportState = OSStatus (*)(void* hostUserData, Boolean* isPlaying,
                                                    Boolean* transportStateChanged,
                                                    Float64* currentSampleInTimeLine,
                                                    Boolean* isCycling, Float64* cycleStartBeat,
                                                    Float64* cycleEndBeat);

struct HostCallbackInfo {
    void* hostUserData;
    HostCallback_GetBeatAndTempo beatAndTempoProc;
    HostCallback_GetMusicalTimeLocation musicalTimeLocationProc;
    HostCallback_GetTransportState transportStateProc;
    void* transportStateProc2; // not used by this layer
};

using AudioUnitPropertyListenerProc = void (*)(void* refCon, AudioUnit unit, AudioUnitPropertyID id,
                                               AudioUnitScope scope, AudioUnitElement element);

// ---------------------------------------------------------------- listener events
enum AudioUnitEventType : UInt32 {
    kAudioUnitEvent_ParameterValueChange = 0,
    kAudioUnitEvent_BeginParameterChangeGesture = 1,
    kAudioUnitEvent_EndParameterChangeGesture = 2,
    kAudioUnitEvent_PropertyChange = 3,
};

struct AudioUnitParameter {
    AudioUnit mAudioUnit;
    AudioUnitParameterID mParameterID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

struct AudioUnitProperty {
    AudioUnit mAudioUnit;
    AudioUnitPropertyID mPropertyID;
    AudioUnitScope mScope;
    AudioUnitElement mElement;
};

struct AudioUnitEvent {
    AudioUnitEventType mEventType;
    union {
        AudioUnitParameter mParameter;
        AudioUnitProperty mProperty;
    } mArgument;
};

using AUEventListenerRef = void*;

// ---------------------------------------------------------------- selectors
// Component Manager selectors and those of the AudioUnit and MusicDevice
// calls, as the entry point and the factory's lookup see them.
enum : SInt16 {
    kComponentOpenSelect = -1,
    kComponentCloseSelect = -2,
    kComponentCanDoSelect = -3,
    kComponentVersionSelect = -4,
    kAudioUnitInitializeSelect = 1,
    kAudioUnitUninitializeSelect = 2,
    kAudioUnitGetPropertyInfoSelect = 3,
    kAudioUnitGetPropertySelect = 4,
    kAudioUnitSetPropertySelect = 5,
    kAudioUnitGetParameterSelect = 6,
    kAudioUnitSetParameterSelect = 7,
    kAudioUnitResetSelect = 9,
    kAudioUnitAddPropertyListenerSelect = 10,
    kAudioUnitRenderSelect = 14,
    kAudioUnitScheduleParametersSelect = 17,
    kAudioUnitRemovePropertyListenerWithUserDataSelect = 18,
    kMusicDeviceMIDIEventSelect = 0x0101,
    kMusicDeviceSysExSelect = 0x0102,
};

// The fast-dispatch form of the MusicDevice MIDI call: storage is the unit's
// component storage (ComponentInstanceRecord::storage).
using MusicDeviceMIDIEventProc = OSStatus (*)(void* storage, UInt32 status, UInt32 data1,
                                              UInt32 data2, UInt32 offsetSampleFrame);

// ---------------------------------------------------------------- layout checks
static_assert(sizeof(void*) == 8, "the layout below is the 64-bit one");
static_assert(sizeof(AudioStreamBasicDescription) == 40);
static_assert(sizeof(AudioBuffer) == 16);
static_assert(offsetof(AudioBufferList, mBuffers) == 8);
static_assert(sizeof(SMPTETime) == 24);
static_assert(sizeof(AudioTimeStamp) == 64);
static_assert(offsetof(AudioTimeStamp, mSMPTETime) == 32);
static_assert(offsetof(AudioTimeStamp, mFlags) == 56);
static_assert(sizeof(AudioUnitParameterEvent) == 32);
static_assert(sizeof(AudioComponentDescription) == 20);
static_assert(sizeof(AUChannelInfo) == 4);
static_assert(sizeof(HostCallbackInfo) == 40);
static_assert(sizeof(AudioUnitParameterInfo) == 104);
static_assert(offsetof(AudioUnitParameterInfo, cfNameString) == 72);
static_assert(offsetof(AudioUnitParameterInfo, flags) == 96);
static_assert(sizeof(AudioUnitParameterStringFromValue) == 24);
static_assert(sizeof(AudioUnitCocoaViewInfo) == 16);
static_assert(sizeof(AUPreset) == 16);
