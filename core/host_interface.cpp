// What APlugin answers the host directly: names, version, capabilities,
// output pins, parameter names and the begin and end of edit gestures.

#include "core/aplugin.h"

#include "editor/ueditor.h"

#include <charconv>
#include <cstring>

namespace {

constexpr const char* kEffectName = "Ondix";
constexpr const char* kProductName = "Ondix";
constexpr const char* kVendorName = "Haldmer";
constexpr VstInt32 kVendorVersion = 0x10001;

void copyText(char* dest, const char* text) {
    std::strcpy(dest, text);
}

} // namespace

VstIntPtr APlugin::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt) {
    if (opcode == effCanDo && ptr &&
        std::strcmp(static_cast<const char*>(ptr), "NKSCallbacks") == 0)
        return 1;
    return AudioEffectX::dispatcher(opcode, index, value, ptr, opt);
}

VstInt32 APlugin::canDo(char* text) {
    if (!text) return 0;
    for (const char* can : {"receiveVstEvents", "receiveVstMidiEvent", "receiveVstTimeInfo"})
        if (std::strcmp(text, can) == 0) return 1;
    return 0;
}

bool APlugin::getEffectName(char* name) {
    if (!name) return false;
    copyText(name, kEffectName);
    return true;
}

bool APlugin::getVendorString(char* text) {
    if (!text) return false;
    copyText(text, kVendorName);
    return true;
}

bool APlugin::getProductString(char* text) {
    if (!text) return false;
    copyText(text, kProductName);
    return true;
}

VstInt32 APlugin::getVendorVersion() {
    return kVendorVersion;
}

bool APlugin::getOutputProperties(VstInt32 index, VstPinProperties* properties) {
    if (!properties || index < 0 || index > 1) return false;
    // "Ondix 1", "Ondix 2"
    char label[64] = {};
    std::strcpy(label, kProductName);
    std::size_t len = std::strlen(label);
    label[len++] = ' ';
    std::to_chars(label + len, label + sizeof label - 1, index + 1);
    std::memcpy(properties->label, label, sizeof label);
    properties->flags = kVstPinIsActive | kVstPinIsStereo;
    return true;
}

void APlugin::getParameterName(VstInt32 t, char* text) {
    if (!text) return;
    text[0] = '\0';
    if (isValidTag(t)) copyText(text, params.paramName[t].c_str());
}

void APlugin::getParameterLabel(VstInt32, char* label) {
    if (label) copyText(label, " "); // units are part of the value text
}

std::string APlugin::getParameterNameStr(int t) {
    char buffer[256] = {};
    getParameterName(t, buffer);
    return buffer;
}

bool APlugin::beginEdit(VstInt32 t) {
    if (uEditor* ui = getUEditor()) ui->setEditTag(t);
    return AudioEffectX::beginEdit(t);
}

bool APlugin::endEdit(VstInt32 t) {
    if (uEditor* ui = getUEditor()) ui->setEditTag(-1);
    return AudioEffectX::endEdit(t);
}

// The output peak field is never written, so the meter reads 0.
float APlugin::getVu() {
    return 0.0f;
}

// Every voice, the arpeggiator and the note stacks off.
void APlugin::suspend() {
    setEverythingOff(true);
}
