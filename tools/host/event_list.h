// The VstEvents record the host hands to effProcessEvents for one block.
//
// VstEvents is variable-length: numEvents pointers follow its header, so it
// lives in host-owned storage sized for the block. The events and the record
// stay valid until the next fill(), which covers the plug-in's right to look
// at them until its next processReplacing returns.
#pragma once

#include "midi_phrase.h"

#include "vst2/vst2.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace ondix::host {

class EventList {
public:
    // Takes the messages of `schedule` that fall in [blockStart, blockStart +
    // frames), starting at `cursor` and moving it past them. Each becomes a
    // VstMidiEvent whose deltaFrames is its offset inside the block.
    void fill(const std::vector<MidiMessage>& schedule, size_t& cursor, int64_t blockStart,
              int32_t frames) {
        midi_.clear();
        while (cursor < schedule.size() && schedule[cursor].frame < blockStart + frames) {
            const MidiMessage& m = schedule[cursor++];
            VstMidiEvent event{};
            event.type = kVstMidiType;
            event.byteSize = static_cast<VstInt32>(sizeof(VstMidiEvent));
            event.deltaFrames = static_cast<VstInt32>(std::max<int64_t>(0, m.frame - blockStart));
            event.midiData[0] = static_cast<char>(m.status);
            event.midiData[1] = static_cast<char>(m.data1);
            event.midiData[2] = static_cast<char>(m.data2);
            if ((m.status & 0xF0) == kNoteOff) event.noteOffVelocity = static_cast<char>(m.data2);
            midi_.push_back(event);
        }
        // Header, then at least the two pointers the record declares.
        constexpr size_t kHeaderWords = offsetof(VstEvents, events) / sizeof(VstIntPtr);
        storage_.assign(kHeaderWords + std::max<size_t>(midi_.size(), 2), 0);
        events()->numEvents = static_cast<VstInt32>(midi_.size());
        auto** slots = reinterpret_cast<VstEvent**>(storage_.data() + kHeaderWords);
        for (size_t i = 0; i < midi_.size(); ++i) slots[i] = reinterpret_cast<VstEvent*>(&midi_[i]);
    }

    VstEvents* events() { return reinterpret_cast<VstEvents*>(storage_.data()); }
    const std::vector<VstMidiEvent>& midi() const { return midi_; }

private:
    static_assert(offsetof(VstEvents, events) % sizeof(VstIntPtr) == 0);
    std::vector<VstMidiEvent> midi_;
    std::vector<VstIntPtr> storage_ = std::vector<VstIntPtr>(4, 0);
};

} // namespace ondix::host
