// The state chunk: one program record (1024 values and a 32-byte name,
// 4128 bytes) exchanged with the hosts recognised at construction. Other
// hosts are told that programs are not chunks and save the values one by one.

#include "core/aplugin.h"
#include "core/numeric.h"

#include <bit>
#include <cmath>
#include <cstring>

// The record's values are little-endian floats; a chunk saved on one
// machine must read the same on another.
static_assert(std::endian::native == std::endian::little,
              "the program record is stored as little-endian floats");

namespace {

constexpr VstInt32 kChunkBytes = static_cast<VstInt32>(sizeof(ProgramRecord));

} // namespace

// The current program's record, as it stands, into a chunk buffer.
static void fillChunk(const ProgramRecord& from, ProgramRecord& chunk) {
    for (int t = 0; t < tag::Count; ++t) chunk.values[t] = loadRelaxed(from.values[t]);
    std::memset(chunk.name, 0, sizeof chunk.name);
    const std::size_t length = strnlen(from.name, sizeof from.name - 1);
    std::memcpy(chunk.name, from.name, length);
}

// The buffer a chunk request of this host goes through, or null when the
// host's policy refuses it: NKS hosts exchange banks through the program
// buffer and get no preset chunks; "PROP" vendors also get preset chunks.
ProgramRecord* APlugin::chunkBuffer(bool isPreset) {
    const HostFlags& host = core.host;
    if (host.hostIsNKS) return isPreset ? nullptr : &programChunk;
    if (!isPreset) return &bankChunk;
    return host.hostIsProp ? &programChunk : nullptr;
}

VstInt32 APlugin::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    const HostFlags& host = core.host;
    if (!host.exchangesChunks()) return 0;

    ProgramRecord* chunk = chunkBuffer(isPreset);
    if (!chunk) return 0;

    fillChunk(core.programStore[static_cast<std::size_t>(curProgram)], *chunk);
    *data = chunk;
    return kChunkBytes;
}

// Values and name of an accepted chunk into the current program's record.
// Finite values outside 0..1 are kept (the host gets them back; they play
// as their nearest bound); a value that is not finite becomes the bound it
// plays as: an infinity its own end of the range, NaN 0, as every clamp
// takes it (core/numeric.h). A name without its NUL is cut at 31 characters.
void APlugin::restoreRecord(const ProgramRecord& chunk) {
    ProgramRecord& record = core.programStore[static_cast<std::size_t>(curProgram)];
    for (int t = 0; t < tag::Count; ++t) {
        const float v = chunk.values[t];
        storeRelaxed(record.values[t], std::isfinite(v) ? v : clamp01(v));
    }
    core.valuesChanged();
    std::memset(record.name, 0, sizeof record.name);
    std::memcpy(record.name, chunk.name, strnlen(chunk.name, sizeof chunk.name - 1));
}

VstInt32 APlugin::setChunk(void* data, VstInt32 byteSize, bool isPreset) {
    // Whatever the host policy, something shorter than a record is no chunk.
    if (!data || byteSize < kChunkBytes) return 0;
    const HostFlags& host = core.host;
    if (!host.exchangesChunks()) return 1;

    ProgramRecord* chunk = chunkBuffer(isPreset);
    if (!chunk) return 1; // ignored by policy; hosts read 0 as an error

    std::memcpy(chunk, data, sizeof(ProgramRecord)); // a longer chunk: its first record
    // The restored values reach the engine (user waves, tuning, effects,
    // voices) through a preset application on the audio thread, which
    // keeps them exactly as they are. It is asked for before the record is
    // written, and taken once setProgram has spread them into the value
    // copies: meanwhile the audio thread waits instead of resetting for a
    // play mode it sees change (which would re-centre the XY pad in the new
    // record), and a preset chosen before, whose application has not run,
    // is not applied to the restored values.
    const RecordRewrite rewrite(*this, kPresetRestore);
    restoreRecord(*chunk);
    requestPresetApplication(kPresetRestore);
    setProgram(curProgram);
    return 1;
}

// ------------------------------------------------------------------ whole programs for adapters

bool APlugin::readStoredProgram(int program, ProgramRecord& out) const {
    if (program < 0 || program >= storedProgramCount()) return false;
    fillChunk(core.programStore[static_cast<std::size_t>(program)], out);
    return true;
}

bool APlugin::restoreStoredProgram(int program, const ProgramRecord& record) {
    if (program != curProgram || program < 0 || program >= storedProgramCount()) return false;
    const RecordRewrite rewrite(*this, kPresetRestore);
    restoreRecord(record);
    // As for a restored chunk: asked before setProgram spreads the values.
    requestPresetApplication(kPresetRestore);
    return true;
}
