// `ondix-host info`: what the plug-in says about itself.
#include "commands.h"
#include "numbers.h"

#include <algorithm>
#include <cstdint>
#include <iostream>
#include <string>
#include <vector>

namespace ondix::host {

namespace {

std::string categoryName(VstIntPtr category) {
    static const char* const kNames[] = {
        "unknown",     "effect",      "synth",       "analysis",        "mastering", "spatializer",
        "room effect", "surround fx", "restoration", "offline process", "shell",     "generator",
    };
    if (category >= 0 && category < static_cast<VstIntPtr>(std::size(kNames))) {
        return kNames[category];
    }
    return "?";
}

std::string flagNames(VstInt32 flags) {
    struct Flag {
        VstInt32 bit;
        const char* name;
    };
    static constexpr Flag kFlags[] = {
        {effFlagsHasEditor, "HasEditor"},
        {effFlagsHasClip, "HasClip"},
        {effFlagsHasVu, "HasVu"},
        {effFlagsCanMono, "CanMono"},
        {effFlagsCanReplacing, "CanReplacing"},
        {effFlagsProgramChunks, "ProgramChunks"},
        {effFlagsIsSynth, "IsSynth"},
        {effFlagsNoSoundInStop, "NoSoundInStop"},
        {effFlagsExtIsAsync, "ExtIsAsync"},
        {effFlagsExtHasBuffer, "ExtHasBuffer"},
        {effFlagsCanDoubleReplacing, "CanDoubleReplacing"},
    };
    std::string names;
    VstInt32 known = 0;
    for (const Flag& flag : kFlags) {
        known |= flag.bit;
        if (flags & flag.bit) names += std::string(names.empty() ? "" : " ") + flag.name;
    }
    if (VstInt32 unknown = flags & ~known) {
        names += (names.empty() ? "" : " ") + formatHex(static_cast<uint32_t>(unknown));
    }
    return names.empty() ? "(none)" : names;
}

// The four characters of an ID, most significant byte first.
std::string fourChars(VstInt32 id) {
    std::string text = "'";
    for (int shift = 24; shift >= 0; shift -= 8) {
        auto c = static_cast<char>((static_cast<uint32_t>(id) >> shift) & 0xFF);
        text += (c >= 0x20 && c < 0x7F) ? c : '.';
    }
    return text + "'";
}

void row(const std::string& label, const std::string& value) {
    std::string line = label;
    line.resize(std::max<size_t>(line.size() + 1, 16), ' ');
    std::cout << line << value << '\n';
}

std::string padded(std::string text, size_t width, bool right = false) {
    if (text.size() < width) text.insert(right ? 0 : text.size(), width - text.size(), ' ');
    return text;
}

void printParameters(Plugin& plugin) {
    AEffect& effect = plugin.effect();
    struct Param {
        std::string index, name, display, label, value;
    };
    std::vector<Param> params;
    Param heading{"index", "name", "display", "label", "value"};
    for (VstInt32 i = 0; i < effect.numParams; ++i) {
        params.push_back(
            {formatInt(i), plugin.queryString(effGetParamName, i),
             plugin.queryString(effGetParamDisplay, i), plugin.queryString(effGetParamLabel, i),
             effect.getParameter ? formatFixed(effect.getParameter(&effect, i), 4) : "?"});
    }
    size_t wIndex = heading.index.size(), wName = heading.name.size();
    size_t wDisplay = heading.display.size(), wLabel = heading.label.size();
    for (const Param& p : params) {
        wIndex = std::max(wIndex, p.index.size());
        wName = std::max(wName, p.name.size());
        wDisplay = std::max(wDisplay, p.display.size());
        wLabel = std::max(wLabel, p.label.size());
    }
    auto print = [&](const Param& p) {
        std::cout << padded(p.index, wIndex, true) << "  " << padded(p.name, wName) << "  "
                  << padded(p.display, wDisplay, true) << "  " << padded(p.label, wLabel) << "  "
                  << p.value << '\n';
    };
    std::cout << '\n';
    print(heading);
    for (const Param& p : params) print(p);
}

} // namespace

int runInfo(const InfoOptions& options) {
    const ProcessLevel user(kVstProcessLevelUser);
    std::string error;
    auto plugin = Plugin::load(options.pluginPath, options.host, error);
    if (!plugin) {
        reportError(error);
        return kExitFailure;
    }
    plugin->open();
    AEffect& effect = plugin->effect();

    row("plug-in", options.pluginPath);
    row("effect name", plugin->queryString(effGetEffectName));
    row("vendor", plugin->queryString(effGetVendorString));
    row("product", plugin->queryString(effGetProductString));
    row("vendor version", formatInt(plugin->dispatch(effGetVendorVersion)));
    row("VST version", formatInt(plugin->dispatch(effGetVstVersion)));
    VstIntPtr category = plugin->dispatch(effGetPlugCategory);
    row("category", formatInt(category) + " (" + categoryName(category) + ")");
    row("unique ID",
        formatHex(static_cast<uint32_t>(effect.uniqueID)) + " " + fourChars(effect.uniqueID));
    row("effect version", formatInt(effect.version));
    row("flags", formatHex(static_cast<uint32_t>(effect.flags)) + " " + flagNames(effect.flags));
    row("inputs", formatInt(effect.numInputs));
    row("outputs", formatInt(effect.numOutputs));
    row("programs", formatInt(effect.numPrograms));
    row("parameters", formatInt(effect.numParams));
    row("initial delay", formatInt(effect.initialDelay));
    if (options.params) printParameters(*plugin);
    std::cout.flush();

    if (options.verbose) reportCallbacks(plugin->counts());
    return kExitOk;
}

} // namespace ondix::host
