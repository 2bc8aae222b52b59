#include "core/audioeffectx.h"

#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// The arrangement header (type and channel count) before the speaker records.
constexpr std::size_t kArrangementHeaderBytes = offsetof(VstSpeakerArrangement, speakers);

// Largest channel count whose arrangement size still fits a 32-bit byte count.
constexpr VstInt32 kMaxArrangementChannels = static_cast<VstInt32>(
    (static_cast<std::size_t>(std::numeric_limits<VstInt32>::max()) - kArrangementHeaderBytes) /
    sizeof(VstSpeakerProperties));

// The key modifiers arrive as a float; anything that is no small integer
// counts as no modifier.
unsigned char modifierByte(float opt) {
    if (!(opt >= 0.0f && opt < 2147483648.0f)) return 0;
    return static_cast<unsigned char>(static_cast<VstInt32>(opt) & 0xFF);
}

} // namespace

AudioEffectX::AudioEffectX(audioMasterCallback audioMaster, VstInt32 numPrograms,
                           VstInt32 numParams)
    : AudioEffect(audioMaster, numPrograms, numParams) {}

VstIntPtr AudioEffectX::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                   float opt) {
    switch (opcode) {
    case effProcessEvents:
        if (ptr == nullptr) return 0;
        return processEvents(static_cast<VstEvents*>(ptr));
    case effCanBeAutomated:
        return canParameterBeAutomated(index) ? 1 : 0;
    case effString2Parameter:
        if (ptr == nullptr) return 0;
        return string2parameter(index, static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProgramNameIndexed:
        if (ptr == nullptr) return 0;
        return getProgramNameIndexed(static_cast<VstInt32>(value), index, static_cast<char*>(ptr))
                   ? 1
                   : 0;
    case effGetInputProperties:
        if (ptr == nullptr) return 0;
        return getInputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetOutputProperties:
        if (ptr == nullptr) return 0;
        return getOutputProperties(index, static_cast<VstPinProperties*>(ptr)) ? 1 : 0;
    case effGetPlugCategory:
        return getPlugCategory();
    case effOfflineNotify:
        if (ptr == nullptr) return 0;
        return offlineNotify(static_cast<VstAudioFile*>(ptr), static_cast<VstInt32>(value),
                             index != 0)
                   ? 1
                   : 0;
    case effOfflinePrepare:
        if (ptr == nullptr) return 0;
        return offlinePrepare(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1
                                                                                               : 0;
    case effOfflineRun:
        if (ptr == nullptr) return 0;
        return offlineRun(static_cast<VstOfflineTask*>(ptr), static_cast<VstInt32>(value)) ? 1 : 0;
    case effProcessVarIo:
        if (ptr == nullptr) return 0;
        return processVariableIo(static_cast<VstVariableIo*>(ptr)) ? 1 : 0;
    case effSetSpeakerArrangement:
        return setSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement*>(value),
                                     static_cast<VstSpeakerArrangement*>(ptr))
                   ? 1
                   : 0;
    case effSetBypass:
        return setBypass(value != 0) ? 1 : 0;
    case effGetEffectName:
        if (ptr == nullptr) return 0;
        return getEffectName(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorString:
        if (ptr == nullptr) return 0;
        return getVendorString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetProductString:
        if (ptr == nullptr) return 0;
        return getProductString(static_cast<char*>(ptr)) ? 1 : 0;
    case effGetVendorVersion:
        return getVendorVersion();
    case effVendorSpecific:
        return vendorSpecific(index, value, ptr, opt);
    case effCanDo:
        if (ptr == nullptr) return 0;
        return canDo(static_cast<char*>(ptr));
    case effGetTailSize:
        return getGetTailSize();
    case effGetParameterProperties:
        if (ptr == nullptr) return 0;
        return getParameterProperties(index, static_cast<VstParameterProperties*>(ptr)) ? 1 : 0;
    case effGetVstVersion:
        return getVstVersion();
    case effEditKeyDown:
    case effEditKeyUp: {
        if (editor == nullptr) return 0;
        VstKeyCode key{};
        key.character = index;
        key.virt = static_cast<unsigned char>(value & 0xFF);
        key.modifier = modifierByte(opt);
        const bool taken = opcode == effEditKeyDown ? editor->onKeyDown(key) : editor->onKeyUp(key);
        return taken ? 1 : 0;
    }
    case effSetEditKnobMode:
        if (editor == nullptr) return 0;
        return editor->setKnobMode(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetMidiProgramName:
        if (ptr == nullptr) return 0;
        return getMidiProgramName(index, static_cast<MidiProgramName*>(ptr));
    case effGetCurrentMidiProgram:
        if (ptr == nullptr) return 0;
        return getCurrentMidiProgram(index, static_cast<MidiProgramName*>(ptr));
    case effGetMidiProgramCategory:
        if (ptr == nullptr) return 0;
        return getMidiProgramCategory(index, static_cast<MidiProgramCategory*>(ptr));
    case effHasMidiProgramsChanged:
        return hasMidiProgramsChanged(index) ? 1 : 0;
    case effGetMidiKeyName:
        if (ptr == nullptr) return 0;
        return getMidiKeyName(index, static_cast<MidiKeyName*>(ptr)) ? 1 : 0;
    case effBeginSetProgram:
        return beginSetProgram() ? 1 : 0;
    case effEndSetProgram:
        return endSetProgram() ? 1 : 0;
    case effGetSpeakerArrangement:
        // Both pointers are written through.
        if (ptr == nullptr || value == 0) return 0;
        return getSpeakerArrangement(reinterpret_cast<VstSpeakerArrangement**>(value),
                                     static_cast<VstSpeakerArrangement**>(ptr))
                   ? 1
                   : 0;
    case effShellGetNextPlugin:
        if (ptr == nullptr) return 0;
        return getNextShellPlugin(static_cast<char*>(ptr));
    case effStartProcess:
        return startProcess();
    case effStopProcess:
        return stopProcess();
    case effSetTotalSampleToProcess:
        return setTotalSampleToProcess(static_cast<VstInt32>(value));
    case effSetPanLaw:
        return setPanLaw(static_cast<VstInt32>(value), opt) ? 1 : 0;
    case effBeginLoadBank:
        if (ptr == nullptr) return 0;
        return beginLoadBank(static_cast<VstPatchChunkInfo*>(ptr));
    case effBeginLoadProgram:
        if (ptr == nullptr) return 0;
        return beginLoadProgram(static_cast<VstPatchChunkInfo*>(ptr));
    case effSetProcessPrecision:
        return setProcessPrecision(static_cast<VstInt32>(value)) ? 1 : 0;
    case effGetNumMidiInputChannels:
        return getNumMidiInputChannels();
    case effGetNumMidiOutputChannels:
        return getNumMidiOutputChannels();
    default:
        // The 2.4 basics, and the deprecated opcodes of this range, which
        // the base answers with 0.
        return AudioEffect::dispatcher(opcode, index, value, ptr, opt);
    }
}

void AudioEffectX::resume() {
    if ((cEffect.flags & effFlagsIsSynth) != 0 || canHostDo("receiveVstMidiEvent") == 1) {
        __wantEventsDeprecated(1);
    }
}

bool AudioEffectX::getSpeakerArrangement(VstSpeakerArrangement** inputs,
                                         VstSpeakerArrangement** outputs) {
    if (inputs != nullptr) *inputs = nullptr;
    if (outputs != nullptr) *outputs = nullptr;
    return false;
}

VstPlugCategory AudioEffectX::getPlugCategory() {
    return (cEffect.flags & effFlagsIsSynth) != 0 ? kPlugCategSynth : kPlugCategUnknown;
}

// ---------------------------------------------------------------- host calls

VstTimeInfo* AudioEffectX::getTimeInfo(VstInt32 filter) {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<VstTimeInfo*>(
        audioMaster(&cEffect, audioMasterGetTime, 0, filter, nullptr, 0.0f));
}

bool AudioEffectX::sendVstEventsToHost(VstEvents* events) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterProcessEvents, 0, 0, events, 0.0f) == 1;
}

bool AudioEffectX::beginEdit(VstInt32 index) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterBeginEdit, index, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::endEdit(VstInt32 index) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterEndEdit, index, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::ioChanged() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterIOChanged, 0, 0, nullptr, 0.0f) != 0;
}

double AudioEffectX::updateSampleRate() {
    if (audioMaster != nullptr) {
        const VstIntPtr rate = audioMaster(&cEffect, audioMasterGetSampleRate, 0, 0, nullptr, 0.0f);
        if (rate > 0) sampleRate = static_cast<float>(rate);
    }
    return sampleRate;
}

VstInt32 AudioEffectX::updateBlockSize() {
    if (audioMaster != nullptr) {
        const VstIntPtr size = audioMaster(&cEffect, audioMasterGetBlockSize, 0, 0, nullptr, 0.0f);
        if (size > 0 && size <= std::numeric_limits<VstInt32>::max()) {
            blockSize = static_cast<VstInt32>(size);
        }
    }
    return blockSize;
}

VstInt32 AudioEffectX::getInputLatency() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetInputLatency, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getOutputLatency() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetOutputLatency, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getCurrentProcessLevel() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetCurrentProcessLevel, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::getAutomationState() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetAutomationState, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::getHostVendorString(char* text) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterGetVendorString, 0, 0, text, 0.0f) != 0;
}

bool AudioEffectX::getHostProductString(char* text) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterGetProductString, 0, 0, text, 0.0f) != 0;
}

VstInt32 AudioEffectX::getHostVendorVersion() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetVendorVersion, 0, 0, nullptr, 0.0f));
}

VstIntPtr AudioEffectX::hostVendorSpecific(VstInt32 arg1, VstIntPtr arg2, void* ptrArg,
                                           float floatArg) {
    if (audioMaster == nullptr) return 0;
    return audioMaster(&cEffect, audioMasterVendorSpecific, arg1, arg2, ptrArg, floatArg);
}

// Hosts answer 1 (can), 0 (don't know) or -1 (cannot); only "can" counts.
VstInt32 AudioEffectX::canHostDo(const char* text) {
    if (audioMaster == nullptr) return 0;
    return audioMaster(&cEffect, audioMasterCanDo, 0, 0, const_cast<char*>(text), 0.0f) > 0 ? 1 : 0;
}

VstInt32 AudioEffectX::getHostLanguage() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetLanguage, 0, 0, nullptr, 0.0f));
}

void* AudioEffectX::getDirectory() {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<void*>(
        audioMaster(&cEffect, audioMasterGetDirectory, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::updateDisplay() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterUpdateDisplay, 0, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::sizeWindow(VstInt32 width, VstInt32 height) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterSizeWindow, width, height, nullptr, 0.0f) != 0;
}

bool AudioEffectX::openFileSelector(VstFileSelect* select) {
    if (audioMaster == nullptr || select == nullptr) return false;
    return audioMaster(&cEffect, audioMasterOpenFileSelector, 0, 0, select, 0.0f) != 0;
}

bool AudioEffectX::closeFileSelector(VstFileSelect* select) {
    if (audioMaster == nullptr || select == nullptr) return false;
    return audioMaster(&cEffect, audioMasterCloseFileSelector, 0, 0, select, 0.0f) != 0;
}

// ---------------------------------------------------------------- speaker arrangements

bool AudioEffectX::allocateArrangement(VstSpeakerArrangement** arrangement, VstInt32 numChannels) {
    if (arrangement == nullptr) return false;
    deallocateArrangement(arrangement);
    if (numChannels < 0 || numChannels > kMaxArrangementChannels) return false;
    const std::size_t bytes = kArrangementHeaderBytes +
                              sizeof(VstSpeakerProperties) * static_cast<std::size_t>(numChannels);
    void* memory = std::calloc(1, bytes);
    if (memory == nullptr) return false;
    *arrangement = static_cast<VstSpeakerArrangement*>(memory);
    (*arrangement)->numChannels = numChannels;
    return true;
}

bool AudioEffectX::deallocateArrangement(VstSpeakerArrangement** arrangement) {
    if (arrangement == nullptr) return false;
    std::free(*arrangement);
    *arrangement = nullptr;
    return true;
}

bool AudioEffectX::copySpeaker(VstSpeakerProperties* to, VstSpeakerProperties* from) {
    if (to == nullptr || from == nullptr) return false;
    if (to == from) return true;
    // The source name need not be terminated: at most 63 characters, then NUL.
    const std::size_t maxName = sizeof(from->name) - 1;
    const void* end = std::memchr(from->name, '\0', maxName);
    const std::size_t nameLen =
        end != nullptr ? static_cast<std::size_t>(static_cast<const char*>(end) - from->name)
                       : maxName;
    std::memset(to->name, 0, sizeof(to->name));
    std::memcpy(to->name, from->name, nameLen);
    to->type = from->type;
    to->azimuth = from->azimuth;
    to->elevation = from->elevation;
    to->radius = from->radius;
    to->reserved = from->reserved;
    std::memcpy(to->future, from->future, sizeof(to->future));
    return true;
}

bool AudioEffectX::matchArrangement(VstSpeakerArrangement** to, VstSpeakerArrangement* from) {
    if (to == nullptr || from == nullptr) return false;
    if (*to == from) return true;
    if (!deallocateArrangement(to)) return false;
    if (!allocateArrangement(to, from->numChannels)) return false;
    (*to)->type = from->type;
    for (VstInt32 i = 0; i < from->numChannels; ++i) {
        if (!copySpeaker(&(*to)->speakers[i], &from->speakers[i])) return false;
    }
    return true;
}

// ---------------------------------------------------------------- offline host calls

bool AudioEffectX::offlineRead(VstOfflineTask* task, VstInt32 option, bool readSource) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterOfflineRead, readSource ? 1 : 0, option, task, 0.0f) !=
           0;
}

bool AudioEffectX::offlineWrite(VstOfflineTask* task, VstInt32 option) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterOfflineWrite, 0, option, task, 0.0f) != 0;
}

bool AudioEffectX::offlineStart(VstAudioFile* files, VstInt32 numFiles, VstInt32 numNewFiles) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterOfflineStart, numNewFiles, numFiles, files, 0.0f) != 0;
}

bool AudioEffectX::offlineGetCurrentPass() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterOfflineGetCurrentPass, 0, 0, nullptr, 0.0f) != 0;
}

bool AudioEffectX::offlineGetCurrentMetaPass() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterOfflineGetCurrentMetaPass, 0, 0, nullptr, 0.0f) != 0;
}

// ---------------------------------------------------------------- deprecated host calls

void AudioEffectX::__wantEventsDeprecated(VstInt32 filter) {
    if (audioMaster != nullptr) {
        audioMaster(&cEffect, audioMasterWantMidi, 0, filter, nullptr, 0.0f);
    }
}

VstInt32 AudioEffectX::__tempoAtDeprecated(VstInt32 pos) {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(audioMaster(&cEffect, audioMasterTempoAt, 0, pos, nullptr, 0.0f));
}

VstInt32 AudioEffectX::__getNumAutomatableParametersDeprecated() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetNumAutomatableParameters, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::__getParameterQuantizationDeprecated() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterGetParameterQuantization, 0, 0, nullptr, 0.0f));
}

bool AudioEffectX::__needIdleDeprecated() {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterNeedIdle, 0, 0, nullptr, 0.0f) != 0;
}

// The host never took the pin number for these two.
AEffect* AudioEffectX::__getPreviousPlugDeprecated(VstInt32 /*input*/) {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<AEffect*>(
        audioMaster(&cEffect, audioMasterGetPreviousPlug, 0, 0, nullptr, 0.0f));
}

AEffect* AudioEffectX::__getNextPlugDeprecated(VstInt32 /*output*/) {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<AEffect*>(
        audioMaster(&cEffect, audioMasterGetNextPlug, 0, 0, nullptr, 0.0f));
}

VstInt32 AudioEffectX::__willProcessReplacingDeprecated() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(
        audioMaster(&cEffect, audioMasterWillReplaceOrAccumulate, 0, 0, nullptr, 0.0f));
}

void AudioEffectX::__setOutputSamplerateDeprecated(float rate) {
    if (audioMaster != nullptr) {
        audioMaster(&cEffect, audioMasterSetOutputSampleRate, 0, 0, nullptr, rate);
    }
}

VstSpeakerArrangement* AudioEffectX::__getInputSpeakerArrangementDeprecated() {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<VstSpeakerArrangement*>(
        audioMaster(&cEffect, audioMasterGetInputSpeakerArrangement, 0, 0, nullptr, 0.0f));
}

VstSpeakerArrangement* AudioEffectX::__getOutputSpeakerArrangementDeprecated() {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<VstSpeakerArrangement*>(
        audioMaster(&cEffect, audioMasterGetOutputSpeakerArrangement, 0, 0, nullptr, 0.0f));
}

void* AudioEffectX::__openWindowDeprecated(VstWindow* window) {
    if (audioMaster == nullptr) return nullptr;
    return reinterpret_cast<void*>(
        audioMaster(&cEffect, audioMasterOpenWindow, 0, 0, window, 0.0f));
}

bool AudioEffectX::__closeWindowDeprecated(VstWindow* window) {
    if (audioMaster == nullptr) return false;
    return audioMaster(&cEffect, audioMasterCloseWindow, 0, 0, window, 0.0f) != 0;
}

bool AudioEffectX::__getChunkFileDeprecated(void* nativePath) {
    if (audioMaster == nullptr || nativePath == nullptr) return false;
    return audioMaster(&cEffect, audioMasterGetChunkFile, 0, 0, nativePath, 0.0f) != 0;
}
