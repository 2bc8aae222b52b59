// Saving and restoring a plug-in's state in a file, as a host keeps it in a
// project (the forms are described in state_file.h).
#include "state_file.h"

#include "commands.h"
#include "numbers.h"
#include "platform/file_io.h"

#include <algorithm>
#include <iostream>
#include <string_view>
#include <vector>

namespace ondix::host {

namespace {

bool exchangesChunks(const AEffect& effect) {
    return (effect.flags & effFlagsProgramChunks) != 0;
}

bool writeFile(OutputFile& file, const void* data, size_t size, std::string& error) {
    return file.write(std::string_view(static_cast<const char*>(data), size), error);
}

} // namespace

bool saveState(Plugin& plugin, OutputFile& file, bool verbose, std::string& error) {
    AEffect& effect = plugin.effect();
    if (exchangesChunks(effect)) {
        void* chunk = nullptr;
        const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &chunk);
        if (size > 0 && chunk) {
            if (!writeFile(file, chunk, static_cast<size_t>(size), error)) return false;
            if (verbose)
                std::cerr << "ondix-host: saved a " << formatInt(size) << "-byte chunk to "
                          << file.path() << '\n';
            return true;
        }
        // A plug-in that announces chunks but hands none over: its values.
    }
    if (!effect.getParameter) {
        error = "the plug-in offers neither a chunk nor getParameter";
        return false;
    }
    std::vector<float> values(static_cast<size_t>(std::max<VstInt32>(effect.numParams, 0)));
    for (size_t i = 0; i < values.size(); ++i)
        values[i] = effect.getParameter(&effect, static_cast<VstInt32>(i));
    if (!writeFile(file, values.data(), values.size() * sizeof(float), error)) return false;
    if (verbose)
        std::cerr << "ondix-host: saved " << formatInt(static_cast<int64_t>(values.size()))
                  << " parameter values to " << file.path() << '\n';
    return true;
}

bool readStateFile(const std::string& path, std::string& bytes, std::string& error) {
    return readRegularFile(path, kMaxStateFileBytes, bytes, error);
}

bool loadState(Plugin& plugin, const std::string& path, const std::string& bytes, bool verbose,
               std::string& error) {
    AEffect& effect = plugin.effect();
    const StateTarget target{effect.numParams, exchangesChunks(effect),
                             effect.setParameter != nullptr};
    const StateFileContents contents =
        parseStateFile(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), target);
    const auto size = formatInt(static_cast<int64_t>(bytes.size()));
    switch (contents.kind) {
    case StateFileContents::Kind::chunk: {
        // The plug-in may keep the pointer only for the call: a copy it may write to.
        std::vector<char> chunk(bytes.begin(), bytes.end());
        if (chunk.empty() || plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(chunk.size()),
                                             chunk.data()) == 0) {
            error = "the plug-in refused the chunk in " + path + " (" + size + " bytes)";
            return false;
        }
        if (verbose)
            std::cerr << "ondix-host: restored a " << size << "-byte chunk from " << path << '\n';
        return true;
    }
    case StateFileContents::Kind::values:
        // Values as --set and --preset take them, or none is set.
        for (VstInt32 i = 0; i < effect.numParams; ++i) {
            const float value = contents.values[static_cast<size_t>(i)];
            if (value >= 0.0f && value <= 1.0f) continue;
            error = path + ": the value of parameter " + formatInt(i) + " '" +
                    plugin.queryString(effGetParamName, i) + "' is " + formatFloat(value) +
                    ", not a number from 0 to 1";
            return false;
        }
        for (VstInt32 i = 0; i < effect.numParams; ++i)
            effect.setParameter(&effect, i, contents.values[static_cast<size_t>(i)]);
        if (verbose)
            std::cerr << "ondix-host: restored " << formatInt(effect.numParams)
                      << " parameter values from " << path << '\n';
        return true;
    case StateFileContents::Kind::unusable:
        break;
    }
    error = path + " holds " + size + " bytes, not the " +
            formatInt(static_cast<int64_t>(std::max<VstInt32>(effect.numParams, 0)) * 4) +
            " bytes of this plug-in's parameter values";
    return false;
}

} // namespace ondix::host
