// Standard MIDI Files as the offline host reads them (render --midi): parsed
// from memory, scheduled through the tempo map at several sample rates and
// cut into the plug-in's event blocks. A refused file says why; an accepted
// one gives a schedule in time order that every block takes up exactly.

#include "fuzz_support.h"

#include "tools/host/event_list.h"
#include "tools/host/midi_file.h"

#include <algorithm>

using namespace ondix::host;

namespace {

void checkSchedule(const std::vector<MidiMessage>& schedule, size_t events) {
    if (schedule.size() != events) fuzz::fail("the schedule lost or invented messages");
    if (!std::is_sorted(
            schedule.begin(), schedule.end(),
            [](const MidiMessage& a, const MidiMessage& b) { return a.frame < b.frame; }))
        fuzz::fail("the schedule is not in time order");
    if (!schedule.empty() && schedule.front().frame < 0) fuzz::fail("a message before frame 0");

    // Blocks of 512 frames from the block of each next message on.
    constexpr int32_t kBlock = 512;
    EventList list;
    size_t cursor = 0;
    while (cursor < schedule.size()) {
        const int64_t start = schedule[cursor].frame / kBlock * kBlock;
        const size_t before = cursor;
        list.fill(schedule, cursor, start, kBlock);
        if (cursor == before) fuzz::fail("a block took up none of its messages");
        const VstEvents* events = list.events();
        if (events->numEvents != static_cast<VstInt32>(cursor - before))
            fuzz::fail("a block's event count is wrong");
        for (const VstMidiEvent& e : list.midi())
            if (e.deltaFrames < 0 || e.deltaFrames >= kBlock)
                fuzz::fail("an event offset lies outside its block");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string error;
    const std::optional<MidiFile> file = parseMidiFile(data, size, error);
    if (!file) {
        if (error.empty()) fuzz::fail("a refused file without a message");
        return 0;
    }
    for (const MidiFileEvent& e : file->events)
        if (e.status < 0x80 || e.status >= 0xF0 || e.data1 > 127 || e.data2 > 127)
            fuzz::fail("an event that is no channel message");
    for (double rate : {44100.0, 48000.0, 44100.5, 768000.0, 1.0})
        checkSchedule(scheduleMidiFile(*file, rate), file->events.size());
    return 0;
}
