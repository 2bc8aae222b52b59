// A host playing the plug-in: MIDI event lists handed over with
// effProcessEvents, block after block (offsets anywhere in the block and
// beyond it, any status and data bytes, on any channel), host automation of
// any parameter with any value between the blocks, and blocks of any size up
// to the host's. Every output sample must be finite and within the output
// limit, every value the host reads back within 0..1 (one it wrote stored
// as it plays, not a number as 0), and after all notes
// off (sustain pedal up, controller 123 on every channel) no key may stay
// held: every voice dies away. (A note due after the all notes off, its
// offset carried beyond the blocks before, is a new note: the notes off
// come once every event handed over has come due.)
//
// One plug-in serves the whole run (fuzz::keptInstance); each input starts
// from the start-up state, restored as a chunk.
//
// Input: steps of an operation byte and its argument bytes, until the input
// ends (at most 96 steps).
//   0 a MIDI event for the next block   offset, status, data 1, data 2
//                                       (offset: byte / 128 of a block)
//   1 host automation                   tag high, tag low, value (hostValue)
//   2 a block                           frames (1..512, byte * 2 + 1 when below 256)
//   3 blocks of 512 frames              count (1..8)
//   4 a null entry or a SysEx record    which (bit 0: SysEx), offset
// The events gathered are handed over before the next block.
//
// An input is rendered for as long as it asks and no longer, within a
// budget: the blocks of its steps make 4096 frames at most (what is asked
// beyond is cut), the events handed over are then played up to the last one
// due, and the release is followed for 2048 frames at most. Rendering is
// nearly all an input costs (a block of eight voices about a millisecond
// with the sanitizers); within the budget every step stays open, and only
// what would play after the first tenth of a second goes unheard.

#include "event_support.h"
#include "plugin_support.h"

#include <algorithm>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

constexpr int kBlock = 512;
constexpr int kMaxEvents = 64; // per block
constexpr int kMaxSteps = 96;
constexpr int kStepFrames = 8 * kBlock; // what the steps' blocks may render in all
constexpr int kReleaseBlock = 256;
constexpr int kReleaseFrames = 8 * kReleaseBlock;

Bytes gStartChunk;

// The events for the next block; a null entry stands for a null pointer in
// the list.
struct PendingEvents {
    std::vector<VstMidiEvent> events;
    std::vector<bool> null;

    void add(const VstMidiEvent& e, bool isNull = false) {
        if (events.size() >= kMaxEvents) return;
        events.push_back(e);
        null.push_back(isNull);
    }
    void clear() {
        events.clear();
        null.clear();
    }
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    gStartChunk = fuzz::startKeptInstanceOnThisThread();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::Instance& plugin = fuzz::keptInstance(0); // REAPER
    APlugin& p = plugin.plugin();
    // The start-up state again, and the engine reset to it.
    plugin.dispatch(effSetChunk, 0, static_cast<VstIntPtr>(gStartChunk.size()), gStartChunk.data());
    plugin.settle();

    PendingEvents pending;
    std::array<bool, tag::Count> written{};
    int budget = kStepFrames;
    int owed = 0; // frames until the last event handed over comes due
    size_t at = 0;
    auto next = [&]() -> uint8_t { return at < size ? data[at++] : 0; };
    auto block = [&](int frames) {
        if (!pending.events.empty()) {
            for (const VstMidiEvent& e : pending.events) owed = std::max(owed, e.deltaFrames + 1);
            plugin.send(pending.events, pending.null);
        }
        pending.clear();
        plugin.render(frames);
        owed = std::max(owed - frames, 0);
    };
    auto stepBlock = [&](int frames) {
        frames = std::min(frames, budget);
        if (frames == 0) return;
        budget -= frames;
        block(frames);
    };
    for (int steps = 0; at < size && steps < kMaxSteps; ++steps) {
        switch (next() % 5) {
        case 0: {
            const int offset = next() * kBlock / 128;
            const uint8_t status = next(), d1 = next(), d2 = next();
            pending.add(fuzz::midiEvent(offset, status, d1, d2));
            break;
        }
        case 1: {
            const uint8_t high = next(), low = next(), value = next();
            const int t = fuzz::tagFrom(high, low);
            plugin.effect->setParameter(plugin.effect, t, fuzz::hostValue(value));
            fuzz::checkHostWrite(p, t, fuzz::hostValue(value));
            written[static_cast<std::size_t>(t)] = true;
            break;
        }
        case 2: {
            const uint8_t frames = next();
            stepBlock(frames < 255 ? frames * 2 + 1 : kBlock);
            break;
        }
        case 3: {
            const int count = next() % 8 + 1;
            for (int i = 0; i < count; ++i) stepBlock(kBlock);
            break;
        }
        case 4: {
            const uint8_t which = next(), offset = next();
            VstMidiEvent e = fuzz::midiEvent(offset * kBlock / 128, 0xF0, 0x7E, 0x7F);
            if (which & 1) e.type = kVstSysExType; // read by its type alone
            pending.add(e, (which & 1) == 0);
            break;
        }
        default:
            break;
        }
    }
    // Every event handed over has come due (an offset beyond its block
    // carries over into the next blocks, 1020 frames at most).
    while (!pending.events.empty() || owed > 0) block(std::clamp(owed, 1, kBlock));
    fuzz::checkParameterValues(p, written);

    // All notes off as hosts send it when the transport stops.
    for (uint8_t channel = 0; channel < 16; ++channel) {
        pending.add(fuzz::midiEvent(0, 0xB0 | channel, 64, 0));
        pending.add(fuzz::midiEvent(0, 0xB0 | channel, 123, 0));
    }
    block(kReleaseBlock);
    fuzz::checkNotesEnd(
        p, [&] { plugin.render(kReleaseBlock); }, kReleaseBlock, kReleaseFrames);
    return 0;
}
