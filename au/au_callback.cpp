// The host the effect sees inside the AudioUnit: AUPLUGINAudioMasterCallback.
#include "au/au_component.h"
#include "au/au_plugin.h"

#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr VstIntPtr kHostVersion = 0x10001;
constexpr VstIntPtr kAbsentSampleRate = 44100;
constexpr VstIntPtr kAbsentBlockSize = 1024;

struct CanDo {
    const char* capability;
    VstIntPtr answer;
};
constexpr CanDo kCanDo[] = {
    {"sendVstEvents", 1},
    {"sendVstMidiEvent", 1},
    {"sendVstTimeInfo", 1},
    {"receiveVstEvents", 0},
    {"receiveVstMidiEvent", 0},
    {"receiveVstTimeInfo", 0},
    {"reportConnectionChanges", 0},
    {"acceptIOChanges", 0},
    {"sizeWindow", 0},
    {"asyncProcessing", 0},
    {"offline", 0},
    {"supplyIdle", 1},
    {"supportShell", 0},
};

// The directory answer: nothing ever fills it.
char pluginDirectory[80] = {};

VstIntPtr canDo(const void* text) {
    if (!text) return 0;
    const std::string_view asked(static_cast<const char*>(text));
    for (const CanDo& row : kCanDo)
        if (asked == row.capability) return row.answer;
    return 0;
}

bool beginsWith(const char* text, const char* prefix) {
    return std::strncmp(text, prefix, std::strlen(prefix)) == 0;
}

// The product the effect is told: "Kore" or "Maschine Host" in those hosts
// (known by the beginning of the application's bundle identifier),
// otherwise "Default", also when the identifier is missing or too long.
void hostProduct(char* out) {
    using namespace ondix::au;
    std::strcpy(out, kDefaultProduct);
    char bundle[256] = {};
    const CFStringRef identifier = CFBundleGetIdentifier(CFBundleGetMainBundle());
    if (!identifier ||
        !CFStringGetCString(identifier, bundle, sizeof bundle, kCFStringEncodingMacRoman) ||
        bundle[0] == '\0')
        return;
    if (beginsWith(bundle, kKoreBundleIdentifier)) std::strcpy(out, kKoreProduct);
    if (beginsWith(bundle, kMaschineBundleIdentifier)) std::strcpy(out, kMaschineProduct);
}

} // namespace

VstIntPtr AUPLUGINAudioMasterCallback(AEffect* effect, VstInt32 opcode, VstInt32 index,
                                      VstIntPtr /*value*/, void* ptr, float /*opt*/) {
    // While the effect is being built resvd1 is still empty: no unit yet.
    AUPLUGIN* unit = effect ? reinterpret_cast<AUPLUGIN*>(effect->resvd1) : nullptr;
    if (static_cast<uint32_t>(opcode) > static_cast<uint32_t>(audioMasterEndEdit)) return 0;
    switch (opcode) {
    case audioMasterAutomate:
        if (unit) unit->EffectEdited(index, kAudioUnitEvent_ParameterValueChange);
        return 1;
    case audioMasterBeginEdit:
        if (unit) unit->EffectEdited(index, kAudioUnitEvent_BeginParameterChangeGesture);
        return 1;
    case audioMasterEndEdit:
        if (unit) unit->EffectEdited(index, kAudioUnitEvent_EndParameterChangeGesture);
        return 1;
    case audioMasterVersion:
        return kHostVersion;
    case audioMasterCurrentId:
        return vstFourCC('O', 'N', 'D', 'P');
    case audioMasterGetTime:
        return unit ? reinterpret_cast<VstIntPtr>(unit->GetTimeInfo()) : 0;
    case audioMasterGetSampleRate: {
        if (!unit) return kAbsentSampleRate;
        const double rate = unit->SampleRate();
        return std::isfinite(rate) && rate > 0.0 && rate < 1.0e9 ? static_cast<VstIntPtr>(rate) : 0;
    }
    case audioMasterGetBlockSize:
        return unit ? unit->GetMaxFramesPerSlice() : kAbsentBlockSize;
    case audioMasterGetCurrentProcessLevel:
        // The unit knows whether the host renders offline, not which thread
        // is which.
        return unit && unit->IsRenderingOffline() ? kVstProcessLevelOffline
                                                  : kVstProcessLevelUnknown;
    case audioMasterGetVendorString:
        if (ptr) std::strcpy(static_cast<char*>(ptr), ondix::au::kHostVendorCode);
        return 1;
    case audioMasterGetProductString:
        if (!ptr) return 0;
        hostProduct(static_cast<char*>(ptr));
        return 1;
    case audioMasterCanDo:
        return canDo(ptr);
    case audioMasterGetDirectory:
        return reinterpret_cast<VstIntPtr>(pluginDirectory);
    case audioMasterUpdateDisplay:
        if (unit) unit->UpdateDisplayAU();
        return 1;
    default:
        return 0;
    }
}
