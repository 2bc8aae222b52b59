// State files of the offline host: what a file's bytes mean to a plug-in.
//
// A plug-in that exchanges chunks (effFlagsProgramChunks) gets its bank chunk
// back byte for byte; any other plug-in is saved as its parameter values, one
// 32-bit float per parameter in index order. A file of exactly the values'
// size is taken as values (a session saved without chunks), anything else as
// a chunk for a plug-in that takes chunks. Only a regular file of at most
// kMaxStateFileBytes is read; a save replaces the file durably and follows a
// link to its target (output_file.h).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace ondix::host {

constexpr size_t kMaxStateFileBytes = size_t{256} << 20;

// What the host knows of a plug-in when it restores a state.
struct StateTarget {
    int32_t numParams = 0;
    bool exchangesChunks = false;
    bool canSetParameters = false; // the effect has setParameter
};

struct StateFileContents {
    enum class Kind {
        chunk,    // hand the file's bytes to effSetChunk
        values,   // set `values`, one per parameter
        unusable, // neither: the size fits no form this plug-in takes
    };
    Kind kind = Kind::unusable;
    std::vector<float> values;
};

// The meaning of a state file's bytes for a plug-in. No file access.
inline StateFileContents parseStateFile(const uint8_t* data, size_t size,
                                        const StateTarget& target) {
    StateFileContents contents;
    const size_t count = target.numParams > 0 ? static_cast<size_t>(target.numParams) : 0;
    const bool valuesFile = count != 0 && size == count * 4 && target.canSetParameters;
    if (target.exchangesChunks && !valuesFile) {
        contents.kind = StateFileContents::Kind::chunk;
    } else if (valuesFile) {
        contents.kind = StateFileContents::Kind::values;
        contents.values.resize(count);
        std::memcpy(contents.values.data(), data, size);
    }
    return contents;
}

} // namespace ondix::host
