// Saving and restoring a plug-in's state in a file, as a host keeps it in a
// project. A plug-in that exchanges chunks (effFlagsProgramChunks) gets its
// bank chunk back byte for byte; any other plug-in is saved as its parameter
// values, one 32-bit float per parameter in index order.
#include "commands.h"
#include "numbers.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <vector>

namespace ondix::host {

namespace {

bool exchangesChunks(const AEffect& effect) {
    return (effect.flags & effFlagsProgramChunks) != 0;
}

bool writeFile(const std::string& path, const void* data, size_t size, std::string& error) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    if (file) file.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
    if (!file) {
        error = "cannot write the state file " + path;
        return false;
    }
    return true;
}

} // namespace

bool saveState(Plugin& plugin, const std::string& path, bool verbose, std::string& error) {
    AEffect& effect = plugin.effect();
    if (exchangesChunks(effect)) {
        void* chunk = nullptr;
        const VstIntPtr size = plugin.dispatch(effGetChunk, 0, 0, &chunk);
        if (size > 0 && chunk) {
            if (!writeFile(path, chunk, static_cast<size_t>(size), error)) return false;
            if (verbose)
                std::cerr << "ondix-host: saved a " << formatInt(size) << "-byte chunk to " << path
                          << '\n';
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
    if (!writeFile(path, values.data(), values.size() * sizeof(float), error)) return false;
    if (verbose)
        std::cerr << "ondix-host: saved " << formatInt(static_cast<int64_t>(values.size()))
                  << " parameter values to " << path << '\n';
    return true;
}

bool loadState(Plugin& plugin, const std::string& path, bool verbose, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot read the state file " + path;
        return false;
    }
    std::vector<char> bytes((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    AEffect& effect = plugin.effect();
    const size_t valueBytes = static_cast<size_t>(std::max<VstInt32>(effect.numParams, 0)) * 4;

    // A file of exactly the parameter values was saved from a host session
    // without chunks; anything else is a chunk.
    const bool valuesFile = valueBytes != 0 && bytes.size() == valueBytes && effect.setParameter;
    if (exchangesChunks(effect) && !valuesFile) {
        if (bytes.empty() || plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(bytes.size()),
                                             bytes.data()) == 0) {
            error = "the plug-in refused the chunk in " + path + " (" +
                    formatInt(static_cast<int64_t>(bytes.size())) + " bytes)";
            return false;
        }
        if (verbose)
            std::cerr << "ondix-host: restored a " << formatInt(static_cast<int64_t>(bytes.size()))
                      << "-byte chunk from " << path << '\n';
        return true;
    }
    if (!valuesFile) {
        error = path + " holds " + formatInt(static_cast<int64_t>(bytes.size())) +
                " bytes, not the " + formatInt(static_cast<int64_t>(valueBytes)) +
                " bytes of this plug-in's parameter values";
        return false;
    }
    for (VstInt32 i = 0; i < effect.numParams; ++i) {
        float v = 0.0f;
        std::memcpy(&v, bytes.data() + static_cast<size_t>(i) * 4, 4);
        effect.setParameter(&effect, i, v);
    }
    if (verbose)
        std::cerr << "ondix-host: restored " << formatInt(effect.numParams)
                  << " parameter values from " << path << '\n';
    return true;
}

} // namespace ondix::host
