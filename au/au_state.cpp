// AUPLUGIN: saving and restoring the instrument's state.
//
// The class information of the base carries three keys of the unit's own:
//   "mChunkData"    CFData: the effect's chunk as it gave it (when it gives one)
//   "mCompleteData" CFData: every stored program (when it gives no chunk),
//                   per program 27 bytes of its name, a 0 byte, then its
//                   values as big-endian Float32: 28 + 4 x numParams bytes
//   "mCurPreset"    CFNumber SInt32: the effect's current program
//
// A state from a host is read as untrusted: a key of the wrong type is left
// out, every length is checked before a byte is read, and nothing changes
// unless the description keys say the state is this component's.
#include "au/au_plugin.h"

#include "core/numeric.h"

#include <bit>
#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr const char* kChunkKey = "mChunkData";
constexpr const char* kCompleteKey = "mCompleteData";
constexpr const char* kPresetKey = "mCurPreset";
constexpr const char* kPresetSizeWrong = "Fatal error, preset Size wrong!\n";

// Bytes of a record's name in "mCompleteData", and of its head (name and 0).
constexpr std::size_t kRecordNameBytes = 27;
constexpr std::size_t kRecordHeadBytes = 28;

using Key = CFKeyString;

// The value of key when it has the type asked for, else null.
const void* valueOfType(CFDictionaryRef state, const char* key, CFTypeID type) {
    const void* value = CFDictionaryGetValue(state, Key(key));
    return CFGetTypeID(value) == type ? value : nullptr;
}

void setData(CFMutableDictionaryRef state, const char* key, const void* bytes, std::size_t size) {
    const CFDataRef data = CFDataCreate(kCFAllocatorDefault, static_cast<const uint8_t*>(bytes),
                                        static_cast<CFIndex>(size));
    CFDictionarySetValue(state, Key(key), data);
    CFRelease(data);
}

void putBigEndian(uint8_t* out, float value) {
    const auto word = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(word >> (24 - 8 * i));
}

float getBigEndian(const uint8_t* in) {
    uint32_t word = 0;
    for (int i = 0; i < 4; ++i) word = (word << 8) | in[i];
    return std::bit_cast<float>(word);
}

} // namespace

OSStatus AUPLUGIN::SaveState(CFPropertyListRef* out) {
    if (!out) return kAudio_ParamError;
    // The base stores the effect's values, as the effect holds them now.
    SynchronizeParams();
    const OSStatus status = AUBase::SaveState(out);
    if (status != noErr) return status;
    AddEffectState(static_cast<CFMutableDictionaryRef>(const_cast<void*>(*out)));
    return noErr;
}

void AUPLUGIN::AddEffectState(CFMutableDictionaryRef state) {
    const SInt32 current = effect_->getProgram();
    void* chunk = nullptr;
    const VstInt32 size = effect_->getChunk(&chunk, false);
    if (size > 0 && chunk) {
        setData(state, kChunkKey, chunk, static_cast<std::size_t>(size));
    } else if (services_ && numPrograms_ <= static_cast<UInt32>(services_->storedProgramCount())) {
        const std::size_t recordBytes = kRecordHeadBytes + 4 * std::size_t(numParams_);
        std::vector<uint8_t> bytes(recordBytes * numPrograms_, 0);
        const UInt32 values = std::min<UInt32>(numParams_, tag::Count);
        for (UInt32 p = 0; p < numPrograms_; ++p) {
            ProgramRecord record{};
            services_->readStoredProgram(static_cast<int>(p), record);
            uint8_t* at = bytes.data() + recordBytes * p;
            std::memcpy(at, record.name, kRecordNameBytes);
            for (UInt32 i = 0; i < values; ++i)
                putBigEndian(at + kRecordHeadBytes + 4 * i, record.values[i]);
        }
        setData(state, kCompleteKey, bytes.data(), bytes.size());
    }
    const CFNumberRef number = CFNumberCreate(kCFAllocatorDefault, kCFNumberSInt32Type, &current);
    CFDictionarySetValue(state, Key(kPresetKey), number);
    CFRelease(number);
}

OSStatus AUPLUGIN::RestoreState(CFPropertyListRef state) {
    if (CFGetTypeID(state) != CFDictionaryGetTypeID()) return kAudioUnitErr_InvalidPropertyValue;
    const auto* dictionary = static_cast<CFDictionaryRef>(state);
    // Another component's state, or none at all: nothing may change.
    const OSStatus status = CheckStateDescription(dictionary);
    if (status != noErr) return status;
    RestoreEffectState(dictionary);
    RestoreParametersAndName(dictionary);
    // The effect has the last word: what it took is what the host reads.
    SynchronizeParams();
    return noErr;
}

void AUPLUGIN::RestoreEffectState(CFDictionaryRef state) {
    bool storeChanged = false;
    const VstInt32 current = effect_->getProgram();

    if (const auto* chunk =
            static_cast<CFDataRef>(valueOfType(state, kChunkKey, CFDataGetTypeID()))) {
        const CFIndex length = CFDataGetLength(chunk);
        const uint8_t* bytes = CFDataGetBytePtr(chunk);
        if (aeffect_->flags & effFlagsProgramChunks) {
            // The effect copies what it takes and asks for its own application.
            effect_->setChunk(const_cast<uint8_t*>(bytes), static_cast<VstInt32>(length), false);
        } else if (services_ && length == static_cast<CFIndex>(sizeof(ProgramRecord))) {
            // Saved where chunks are exchanged, restored where they are not:
            // the chunk is the current program's record all the same.
            ProgramRecord record{};
            std::memcpy(&record, bytes, sizeof record);
            storeChanged |= services_->restoreStoredProgram(current, record);
        }
    }

    if (const auto* complete =
            static_cast<CFDataRef>(valueOfType(state, kCompleteKey, CFDataGetTypeID()))) {
        const std::size_t recordBytes = kRecordHeadBytes + 4 * std::size_t(numParams_);
        if (static_cast<std::size_t>(CFDataGetLength(complete)) != recordBytes * numPrograms_) {
            std::fputs(kPresetSizeWrong, stderr);
        } else if (services_) {
            const uint8_t* bytes = CFDataGetBytePtr(complete);
            const UInt32 values = std::min<UInt32>(numParams_, tag::Count);
            for (UInt32 p = 0; p < numPrograms_; ++p) {
                ProgramRecord record{};
                if (!services_->readStoredProgram(static_cast<int>(p), record)) continue;
                const uint8_t* at = bytes + recordBytes * p;
                std::memcpy(record.name, at, kRecordNameBytes);
                record.name[kRecordNameBytes] = '\0';
                for (UInt32 i = 0; i < values; ++i)
                    record.values[i] = getBigEndian(at + kRecordHeadBytes + 4 * i);
                storeChanged |= services_->restoreStoredProgram(static_cast<int>(p), record);
            }
        }
    }

    // Only a whole SInt32 naming a program selects it.
    bool programSet = false;
    if (const auto* number =
            static_cast<CFNumberRef>(valueOfType(state, kPresetKey, CFNumberGetTypeID()))) {
        SInt32 program = -1;
        if (CFNumberGetValue(number, kCFNumberSInt32Type, &program) && program >= 0 &&
            static_cast<UInt32>(program) < numPrograms_) {
            effect_->setProgram(program);
            programSet = true;
        }
    }
    // Restored programs reach the current values through setProgram.
    if (storeChanged && !programSet) effect_->setProgram(effect_->getProgram());
}
