// The state chunk a host hands back through effSetChunk, as any bytes, to
// the plug-in under every host policy, as bank or as preset chunk. The
// restored values then reach the engine (preset application, wave tables,
// tuning, effects) and play a chord: the output must stay finite and within
// full scale, and the chunk must be readable again. A chunk the plug-in hands
// over restores exactly: get, set and get again give the same bytes, also
// after the preset application.
//
// One plug-in per host kind serves the whole run (fuzz::keptInstance): a
// chunk is a whole state, and its restore resets the engine to it, as when a
// host loads a project into a plug-in that has been playing. A chunk refused
// or ignored by the host policy changes nothing and ends the input.
//
// Input: one set-up byte, then the chunk's bytes (all of them, also fewer or
// more than one record).
//   bits 0-2  the host (fuzz::kHostKinds)
//   bit 3     a preset chunk (effSetChunk index 1) instead of a bank chunk
//   bits 4-5  sample rate: 44100, 48000, 96000, 22050
//   bits 6-7  block size: 512, 64, 37, 1024

#include "plugin_support.h"

#include <algorithm>
#include <vector>

namespace {

// The chord's length: its notes start, the control ticks (every 16 frames)
// and the rare-settings tick (every 128) run with the restored values, and
// the notes are released.
constexpr int kPlayFrames = 128;

// A chunk whose waves need a new bank plays its chord on it for one input in
// this many; the others play it to the engine waiting for the bank's pitch
// tables (fuzz::Instance::settle). Most inputs keep the waves of the input
// before (mutations elsewhere), and play on the bank already there.
constexpr unsigned kPitchTablesOneIn = 16;

constexpr double kRates[4] = {44100.0, 48000.0, 96000.0, 22050.0};
constexpr int kBlocks[4] = {512, 64, 37, 1024};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpPluginProcess();
    // The effects' tables of every rate, held for the whole run: the kept
    // plug-ins change rates with nearly every input, and the last one to give
    // a rate's tables up would have them built again at its next use.
    for (double rate : kRates) EffectTables::acquire(static_cast<float>(rate));
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const uint8_t setup = data[0];
    fuzz::Instance& plugin = fuzz::keptInstance(setup & 7);
    plugin.configure(kRates[(setup >> 4) & 3], kBlocks[setup >> 6]);

    // The host's own buffer, exactly as long as the chunk it says it is.
    std::vector<uint8_t> chunk(data + 1, data + size);
    const bool preset = (setup & 8) != 0;
    plugin.dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(chunk.size()),
                    chunk.data());
    if (!plugin.plugin().core.presetPending) return 0; // refused, or ignored by the policy

    // What the host saves now restores exactly: set and get again give the
    // same bytes, and the preset application leaves them as they are.
    // (Playing may change them: a drawn random arpeggio is stored.)
    const std::vector<uint8_t> saved = plugin.chunk(preset);
    chunk = saved;
    if (plugin.dispatch(effSetChunk, preset ? 1 : 0, static_cast<VstIntPtr>(chunk.size()),
                        chunk.data()) == 0)
        fuzz::fail("the plug-in refused its own chunk");
    if (plugin.chunk(preset) != saved) fuzz::fail("a restored chunk is saved as other bytes");
    plugin.applyPreset();
    if (plugin.chunk(preset) != saved) fuzz::fail("the preset application changed the chunk");

    plugin.settle(fuzz::oneInputIn(kPitchTablesOneIn, data, size));
    plugin.checkPlayedTables(false);
    plugin.play(kPlayFrames);
    return 0;
}
