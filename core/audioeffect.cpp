#include "core/audioeffect.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string_view>

namespace {

constexpr VstInt32 kNoEffectId = vstFourCC('N', 'o', 'E', 'f');
constexpr VstIntPtr kIdentifyAnswer = vstFourCC('N', 'v', 'E', 'f');

// Writes at most maxLen characters of s and a NUL after them.
void putText(char* text, std::string_view s, VstInt32 maxLen) {
    if (text == nullptr || maxLen < 0) return;
    const std::size_t n = std::min(s.size(), static_cast<std::size_t>(maxLen));
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
}

// Narrows a double to float without leaving the float range (NaN stays NaN).
float narrowToFloat(double v) {
    if (v > std::numeric_limits<float>::max()) return std::numeric_limits<float>::infinity();
    if (v < -std::numeric_limits<float>::max()) return -std::numeric_limits<float>::infinity();
    return static_cast<float>(v);
}

} // namespace

// ---------------------------------------------------------------- AEffEditor

AEffEditor::AEffEditor(AudioEffect* effect) : effect(effect), systemWindow(nullptr) {}

AEffEditor::~AEffEditor() = default;

bool AEffEditor::getRect(ERect** rect) {
    if (rect != nullptr) *rect = nullptr;
    return false;
}

bool AEffEditor::open(void* parent) {
    systemWindow = parent;
    return false;
}

// ---------------------------------------------------------------- AudioEffect

AudioEffect::AudioEffect(audioMasterCallback audioMaster, VstInt32 numPrograms, VstInt32 numParams)
    : audioMaster(audioMaster), editor(nullptr), sampleRate(44100.0f), blockSize(1024),
      numPrograms(numPrograms), numParams(numParams), curProgram(0) {
    std::memset(&cEffect, 0, sizeof(cEffect));
    cEffect.magic = kEffectMagic;
    cEffect.dispatcher = dispatchEffectClass;
    cEffect.process = __processClassDeprecated;
    cEffect.setParameter = setParameterClass;
    cEffect.getParameter = getParameterClass;
    cEffect.numPrograms = numPrograms;
    cEffect.numParams = numParams;
    cEffect.numInputs = 1;
    cEffect.numOutputs = 2;
    cEffect.flags = effFlagsCanReplacing;
    cEffect.ioRatio = 1.0f;
    cEffect.object = this;
    cEffect.uniqueID = kNoEffectId;
    cEffect.version = 1;
    cEffect.processReplacing = processClassReplacing;
    cEffect.processDoubleReplacing = processClassDoubleReplacing;
}

AudioEffect::~AudioEffect() {
    // Cleared first, so an editor that looks at its effect while going away
    // finds no editor rather than itself half destroyed.
    AEffEditor* owned = editor;
    editor = nullptr;
    delete owned;
}

void AudioEffect::setEditor(AEffEditor* newEditor) {
    editor = newEditor;
    setFlag(effFlagsHasEditor, newEditor != nullptr);
}

VstIntPtr AudioEffect::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                                  float opt) {
    switch (opcode) {
    case effOpen:
        open();
        return 0;
    case effClose:
        close();
        return 0;
    case effSetProgram:
        // Anything that is no program number at all (outside the 32-bit
        // range) is refused here; negative numbers go on to setProgram.
        if (value < numPrograms && value >= std::numeric_limits<VstInt32>::min()) {
            setProgram(static_cast<VstInt32>(value));
        }
        return 0;
    case effGetProgram:
        return getProgram();
    case effSetProgramName:
        if (ptr != nullptr) setProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetProgramName:
        if (ptr != nullptr) getProgramName(static_cast<char*>(ptr));
        return 0;
    case effGetParamLabel:
        if (ptr != nullptr) getParameterLabel(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamDisplay:
        if (ptr != nullptr) getParameterDisplay(index, static_cast<char*>(ptr));
        return 0;
    case effGetParamName:
        if (ptr != nullptr) getParameterName(index, static_cast<char*>(ptr));
        return 0;
    case effSetSampleRate:
        setSampleRate(opt);
        return 0;
    case effSetBlockSize:
        setBlockSize(static_cast<VstInt32>(value));
        return 0;
    case effMainsChanged:
        if (value == 0) {
            suspend();
        } else {
            resume();
        }
        return 0;
    case effEditGetRect:
        if (editor == nullptr || ptr == nullptr) return 0;
        return editor->getRect(static_cast<ERect**>(ptr)) ? 1 : 0;
    case effEditOpen:
        // A null parent is passed on: the editor decides what it can do.
        if (editor == nullptr) return 0;
        return editor->open(ptr) ? 1 : 0;
    case effEditClose:
        if (editor != nullptr) editor->close();
        return 0;
    case effEditIdle:
        if (editor != nullptr) editor->idle();
        return 0;
    case effIdentify:
        return kIdentifyAnswer;
    case effGetChunk:
        if (ptr == nullptr) return 0;
        return getChunk(static_cast<void**>(ptr), index != 0);
    case effSetChunk:
        // A chunk with no data or a size outside 0..2^31-1 is no chunk.
        if (ptr == nullptr || value < 0 || value > std::numeric_limits<VstInt32>::max()) {
            return 0;
        }
        return setChunk(ptr, static_cast<VstInt32>(value), index != 0);
    default:
        // effGetVu, effEditDraw, effEditMouse, effEditKey, effEditTop,
        // effEditSleep and everything unknown.
        return 0;
    }
}

void AudioEffect::setParameterAutomated(VstInt32 index, float value) {
    if (std::isnan(value)) return;
    const float clamped = std::clamp(value, 0.0f, 1.0f);
    setParameter(index, clamped);
    if (audioMaster != nullptr) {
        audioMaster(&cEffect, audioMasterAutomate, index, 0, nullptr, clamped);
    }
}

void AudioEffect::getProgramName(char* name) {
    if (name != nullptr) *name = '\0';
}

void AudioEffect::getParameterLabel(VstInt32 /*index*/, char* label) {
    if (label != nullptr) *label = '\0';
}

void AudioEffect::getParameterDisplay(VstInt32 /*index*/, char* text) {
    if (text != nullptr) *text = '\0';
}

void AudioEffect::getParameterName(VstInt32 /*index*/, char* text) {
    if (text != nullptr) *text = '\0';
}

// ---------------------------------------------------------------- host calls

VstInt32 AudioEffect::getMasterVersion() {
    if (audioMaster == nullptr) return 1;
    const auto version =
        static_cast<VstInt32>(audioMaster(&cEffect, audioMasterVersion, 0, 0, nullptr, 0.0f));
    return version == 0 ? 1 : version;
}

VstInt32 AudioEffect::getCurrentUniqueId() {
    if (audioMaster == nullptr) return 0;
    return static_cast<VstInt32>(audioMaster(&cEffect, audioMasterCurrentId, 0, 0, nullptr, 0.0f));
}

void AudioEffect::masterIdle() {
    if (audioMaster != nullptr) audioMaster(&cEffect, audioMasterIdle, 0, 0, nullptr, 0.0f);
}

// The pin query answers 0 for a connected pin.
bool AudioEffect::isInputConnected(VstInt32 input) {
    if (audioMaster == nullptr) return true;
    return audioMaster(&cEffect, audioMasterPinConnected, input, 0, nullptr, 0.0f) == 0;
}

bool AudioEffect::isOutputConnected(VstInt32 output) {
    if (audioMaster == nullptr) return true;
    return audioMaster(&cEffect, audioMasterPinConnected, output, 1, nullptr, 0.0f) == 0;
}

// ---------------------------------------------------------------- converters

void AudioEffect::dB2string(float value, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    if (value <= 0.0f) {
        putText(text, "-oo", maxLen);
        return;
    }
    float2string(narrowToFloat(20.0 * std::log10(static_cast<double>(value))), text, maxLen);
}

void AudioEffect::Hz2string(float samples, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    if (samples == 0.0f) {
        float2string(0.0f, text, maxLen);
        return;
    }
    float2string(sampleRate / samples, text, maxLen);
}

void AudioEffect::ms2string(float samples, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    const double ms = static_cast<double>(samples) * 1000.0 / static_cast<double>(sampleRate);
    float2string(narrowToFloat(ms), text, maxLen);
}

// Fixed-point text eight characters wide: sign, every integer digit, the
// point, then as many fraction digits as fit. Fraction digits are truncated,
// never rounded. Values that do not fit (and NaN) read "Huge!".
void AudioEffect::float2string(float value, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    const double v = value;
    if (std::isnan(v) || v > 99999999.0 || v < -9999999.0) {
        putText(text, "Huge!", maxLen);
        return;
    }
    const bool negative = v < 0.0;
    const double magnitude = negative ? -v : v;

    char integer[16];
    const auto intEnd =
        std::to_chars(integer, integer + sizeof(integer), static_cast<std::uint64_t>(magnitude))
            .ptr;
    const int intDigits = static_cast<int>(intEnd - integer);
    const int used = (negative ? 1 : 0) + intDigits + 1;
    const int fracDigits = used >= 8 ? 0 : 8 - used;

    // A float has 24 significant bits and 10^6 needs 20, so the product is
    // exact in double and floor() truncates the true decimal expansion.
    std::uint64_t scale = 1;
    for (int i = 0; i < fracDigits; ++i) scale *= 10;
    const auto scaled =
        static_cast<std::uint64_t>(std::floor(magnitude * static_cast<double>(scale)));
    std::uint64_t fraction = scaled % scale;

    char out[32];
    int n = 0;
    if (negative) out[n++] = '-';
    std::memcpy(out + n, integer, static_cast<std::size_t>(intDigits));
    n += intDigits;
    out[n++] = '.';
    for (int i = fracDigits - 1; i >= 0; --i) {
        out[n + i] = static_cast<char>('0' + fraction % 10);
        fraction /= 10;
    }
    n += fracDigits;
    putText(text, std::string_view(out, static_cast<std::size_t>(n)), maxLen);
}

void AudioEffect::int2string(VstInt32 value, char* text, VstInt32 maxLen) {
    if (text == nullptr) return;
    if (value >= 100000000) {
        putText(text, "Huge!", maxLen);
        return;
    }
    char out[16];
    const auto end = std::to_chars(out, out + sizeof(out), value).ptr;
    putText(text, std::string_view(out, static_cast<std::size_t>(end - out)), maxLen);
}

// ---------------------------------------------------------------- trampolines

namespace {

AudioEffect* objectOf(AEffect* e) {
    return e != nullptr ? static_cast<AudioEffect*>(e->object) : nullptr;
}

} // namespace

VstIntPtr AudioEffect::dispatchEffectClass(AEffect* e, VstInt32 opcode, VstInt32 index,
                                           VstIntPtr value, void* ptr, float opt) {
    AudioEffect* self = objectOf(e);
    if (self == nullptr) return 0;
    if (opcode == effClose) {
        self->dispatcher(opcode, index, value, ptr, opt);
        delete self;
        return 1;
    }
    return self->dispatcher(opcode, index, value, ptr, opt);
}

float AudioEffect::getParameterClass(AEffect* e, VstInt32 index) {
    AudioEffect* self = objectOf(e);
    return self != nullptr ? self->getParameter(index) : 0.0f;
}

void AudioEffect::setParameterClass(AEffect* e, VstInt32 index, float value) {
    if (AudioEffect* self = objectOf(e)) self->setParameter(index, value);
}

void AudioEffect::__processClassDeprecated(AEffect* e, float** inputs, float** outputs,
                                           VstInt32 sampleFrames) {
    if (AudioEffect* self = objectOf(e)) self->__processDeprecated(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassReplacing(AEffect* e, float** inputs, float** outputs,
                                        VstInt32 sampleFrames) {
    if (AudioEffect* self = objectOf(e)) self->processReplacing(inputs, outputs, sampleFrames);
}

void AudioEffect::processClassDoubleReplacing(AEffect* e, double** inputs, double** outputs,
                                              VstInt32 sampleFrames) {
    if (AudioEffect* self = objectOf(e)) {
        self->processDoubleReplacing(inputs, outputs, sampleFrames);
    }
}
