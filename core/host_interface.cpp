// What APlugin answers the host directly: names, version, capabilities,
// output pins, parameter names and automatability, the begin and end of edit
// gestures and the vendor-specific calls (NKS properties, the mouse wheel).

#include "core/aplugin.h"

#include "core/version.h"
#include "editor/ueditor.h"

#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace {

constexpr const char* kEffectName = "Ondix";
constexpr const char* kProductName = "Ondix";
constexpr const char* kVendorName = "Haldmer";
constexpr VstInt32 kVendorVersion = ONDIX_VERSION;

void copyText(char* dest, const char* text) {
    std::strcpy(dest, text);
}

constexpr std::uint32_t fourCC(char a, char b, char c, char d) {
    return (static_cast<std::uint32_t>(static_cast<unsigned char>(a)) << 24) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(b)) << 16) |
           (static_cast<std::uint32_t>(static_cast<unsigned char>(c)) << 8) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(d));
}

constexpr std::uint32_t kNksGet = 0x4E49;  // 'NI': property value
constexpr std::uint32_t kNksInfo = 0x4E69; // 'Ni': property size and writability
constexpr std::uint32_t kNksKI = 0x4B49;   // 'KI': notification to the host
constexpr std::uint32_t kWheelTarget = fourCC('s', 't', 'C', 'A');
constexpr std::uint32_t kWheelCall = fourCC('W', 'h', 'e', 'e');
static_assert(kWheelTarget == 0x73744341 && kWheelCall == 0x57686565);

constexpr int kFirstNksProperty = 12;
constexpr int kLastNksProperty = 32;

// The property-information record of the 'Ni' calls.
struct NksPropertyInfo {
    std::uint64_t size;
    std::uint8_t writable;
};
static_assert(offsetof(NksPropertyInfo, writable) == 8);

} // namespace

// Sizes and writability of the four properties answered; 0 for the others.
int APlugin::getVendorSpecificPropertyInfo(int property, uint64_t& size, bool& writable) const {
    switch (property) {
    case 12:
        size = 4;
        writable = false;
        return 1;
    case 13:
        size = 4;
        writable = true;
        return 1;
    case 28:
        size = 1;
        writable = false;
        return 1;
    case 32:
        size = 8;
        writable = true;
        return 1;
    default:
        return 0;
    }
}

bool APlugin::getVendorSpecificProperty(int property, void* data) const {
    if (property == 28) return true; // answered, nothing to write
    if (!data) return false;
    switch (property) {
    case 12: {
        const std::int32_t v = 3;
        std::memcpy(data, &v, sizeof v);
        return true;
    }
    case 13: {
        const std::int32_t v = 0;
        std::memcpy(data, &v, sizeof v);
        return true;
    }
    case 32: {
        const std::int64_t v = 1;
        std::memcpy(data, &v, sizeof v);
        return true;
    }
    default:
        return false;
    }
}

// No property can be set.
int APlugin::setVendorSpecificProperty(int /*property*/, void* /*data*/, uint64_t /*size*/) {
    return 0;
}

bool APlugin::notifyNKSHost(int message, void* data, uint64_t size) {
    if (!audioMaster || canHostDo("NIMKPIVendorSpecificCallbacks") == 0) return false;
    const auto index =
        static_cast<VstInt32>((kNksKI << 16) | (static_cast<std::uint32_t>(message) & 0xFFFF));
    return audioMaster(&cEffect, audioMasterVendorSpecific, index, static_cast<VstIntPtr>(size),
                       data, 0.0f) == 1;
}

VstIntPtr APlugin::vendorSpecific(VstInt32 index, VstIntPtr value, void* ptr, float opt) {
    const auto code = static_cast<std::uint32_t>(index);
    if (core.host.hostIsNKS) {
        const std::uint32_t kind = code >> 16;
        const int property = static_cast<int>(code & 0xFFFF);
        if (kind != kNksGet && kind != kNksInfo) return 0;
        if (property < kFirstNksProperty || property > kLastNksProperty) return 0;
        if (kind == kNksGet) return getVendorSpecificProperty(property, ptr) ? 1 : 0;
        std::uint64_t size = 0;
        bool writable = false;
        if (!getVendorSpecificPropertyInfo(property, size, writable)) return 0;
        if (ptr) {
            auto* bytes = static_cast<unsigned char*>(ptr);
            const std::uint8_t flag = writable ? 1 : 0;
            std::memcpy(bytes + offsetof(NksPropertyInfo, size), &size, sizeof size);
            std::memcpy(bytes + offsetof(NksPropertyInfo, writable), &flag, sizeof flag);
        }
        return 1;
    }
    if (code == kWheelTarget && static_cast<std::uint64_t>(value) == kWheelCall) {
        if (AEffEditor* ui = editor) return ui->onWheel(opt) ? 1 : 0;
    }
    return 0;
}

namespace {} // namespace

VstIntPtr APlugin::dispatcher(VstInt32 opcode, VstInt32 index, VstIntPtr value, void* ptr,
                              float opt) {
    // A call that does not come with the audio: the host hears of values the
    // audio thread changed without telling it (a preset applied, the play
    // mode following the Arp switch), with or without an editor. The host
    // suspends or resumes only while it does not process.
    if (opcode != effProcessEvents && opcode != effStartProcess && opcode != effStopProcess &&
        opcode != effClose && opcode != effOpen) {
        if (opcode == effMainsChanged ||
            (core.hostDisplayDue.load(std::memory_order_relaxed) && !onAudioThread()))
            serveHostDisplayUpdate();
    }
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
    if (isValidTag(t)) copyText(text, params.paramName[t].substr(0, 63).c_str()); // 63 + NUL
}

// Hosts build their automation lanes from this answer.
bool APlugin::canParameterBeAutomated(VstInt32 t) {
    return isValidTag(t) && params.automatable[t];
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
