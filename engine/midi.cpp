// MIDI event queue and MIDI handling.
//
// The host hands events in blocks, each with a sample offset inside the
// coming block. They wait in a fixed queue (no allocation) and are released
// one by one at their sample while the render loop runs.

#include "core/aplugin.h"
#include "core/modes.h"

#include "platform/prefs.h"

#include <algorithm>

namespace {

// Controller numbers that drive the sources src::ControllerFirst onwards.
constexpr int kMappedControllerNumbers[kMappedControllers] = {
    2, 3, 4, 11, 16, 17, 18, 19, 20, 21, 74, 84, 85, 86, 87, 88, 89, 90, 113, 114};

int mappedControllerIndex(int controller) {
    for (int i = 0; i < kMappedControllers; ++i)
        if (kMappedControllerNumbers[i] == controller) return i;
    return -1;
}

} // namespace

// ------------------------------------------------------------------ the queue

namespace {

constexpr int kSustainController = 64;

bool isAllOffController(int controller) {
    return controller == 120 || controller == 121 || controller == 123;
}
bool pedalDown(int value) {
    return value / 127.0f > 0.5f;
}

// What an event does, for choosing the one a full queue gives up.
enum class EventKind {
    Inert,  // no effect: program change, system and stray data bytes
    Value,  // sets a value that a later event of its kind replaces
    NoteOn, // starts a note
    Release // ends notes: note off, sustain pedal up, all notes or sound off
};

EventKind kindOf(const VstMidiEvent& event) {
    const int status = static_cast<unsigned char>(event.midiData[0]) & 0xF0;
    const int d1 = event.midiData[1] & 127;
    const int d2 = event.midiData[2] & 127;
    switch (status) {
    case 0x80:
        return EventKind::Release;
    case 0x90:
        return d2 > 0 ? EventKind::NoteOn : EventKind::Release;
    case 0xB0:
        if (isAllOffController(d1) || (d1 == kSustainController && !pedalDown(d2)))
            return EventKind::Release;
        return EventKind::Value;
    case 0xA0:
    case 0xD0:
    case 0xE0:
        return EventKind::Value;
    default:
        return EventKind::Inert;
    }
}

// The value an event of kind Value sets: channel and message, and for
// controllers and poly aftertouch the controller or note.
int valueKey(const VstMidiEvent& event) {
    const int statusByte = static_cast<unsigned char>(event.midiData[0]);
    const int status = statusByte & 0xF0;
    const int d1 = status == 0xA0 || status == 0xB0 ? event.midiData[1] & 127 : 0;
    return statusByte << 7 | d1;
}

// Whether the event in slot a comes due before the one in slot b.
bool dueBefore(const MidiEventQueue& queue, int a, int b) {
    const int32_t da = queue.events[a].deltaFrames;
    const int32_t db = queue.events[b].deltaFrames;
    return da != db ? da < db : queue.arrival[a] < queue.arrival[b];
}

// The slot a release takes when the queue is full: an event without effect,
// else a value that a later event of its kind sets again, else any value,
// else a note on; within each the one due first. Only when every pending
// event is a release itself does it answer a release (the one due first).
int slotForRelease(const MidiEventQueue& queue) {
    std::array<uint8_t, MidiEventQueue::kRecords> values; // slots of Value events
    int valueCount = 0;
    int inert = 0, noteOn = 0, release = 0;
    auto earliest = [&](int& best, int slot) {
        if (best == 0 || dueBefore(queue, slot, best)) best = slot;
    };
    for (int slot = 1; slot < MidiEventQueue::kRecords; ++slot) {
        const VstMidiEvent& event = queue.events[slot];
        if (event.deltaFrames == MidiEventQueue::kFree) continue;
        switch (kindOf(event)) {
        case EventKind::Inert:
            earliest(inert, slot);
            break;
        case EventKind::Value:
            values[valueCount++] = static_cast<uint8_t>(slot);
            break;
        case EventKind::NoteOn:
            earliest(noteOn, slot);
            break;
        case EventKind::Release:
            earliest(release, slot);
            break;
        }
    }
    if (inert) return inert;
    if (valueCount > 0) {
        // By value, then by due frame: every entry followed by one of the
        // same value is replaced later anyway.
        std::sort(values.begin(), values.begin() + valueCount, [&](int a, int b) {
            const int ka = valueKey(queue.events[a]), kb = valueKey(queue.events[b]);
            return ka != kb ? ka < kb : dueBefore(queue, a, b);
        });
        int replaced = 0, any = 0;
        for (int i = 0; i < valueCount; ++i) {
            earliest(any, values[i]);
            if (i + 1 < valueCount &&
                valueKey(queue.events[values[i]]) == valueKey(queue.events[values[i + 1]]))
                earliest(replaced, values[i]);
        }
        return replaced ? replaced : any;
    }
    return noteOn ? noteOn : release;
}

} // namespace

// ------------------------------------------------------------------ the records
//
// The taken records are the lowest ones mostly (a free record is taken from
// the bottom), so every walk over them stops once it has met all `pending`.

// Record numbers are kept in bytes while sorting.
static_assert(MidiEventQueue::kRecords <= 256);

int MidiEventQueue::freeSlot() const {
    if (pending >= kRecords - 1) return 0;
    for (int slot = 1; slot < kRecords; ++slot)
        if (events[slot].deltaFrames == kFree) return slot;
    return 0;
}

void MidiEventQueue::place(int slot, const VstMidiEvent& midi) {
    VstMidiEvent& record = events[slot];
    record.type = midi.type;
    record.byteSize = midi.byteSize;
    const std::int64_t due = std::int64_t{std::max(0, midi.deltaFrames)} + heldFrames;
    record.deltaFrames = static_cast<int32_t>(std::min<std::int64_t>(due, INT32_MAX));
    record.flags = midi.flags;
    record.noteLength = midi.noteLength;
    record.noteOffset = midi.noteOffset;
    for (int b = 0; b < 4; ++b) record.midiData[b] = midi.midiData[b];
    record.detune = midi.detune;
    record.noteOffVelocity = midi.noteOffVelocity;
    record.reserved2 = midi.reserved2;
    arrival[slot] = ++arrivals;
}

void MidiEventQueue::payOwed() {
    if (owed == 0) return;
    for (int slot = 1, seen = 0; slot < kRecords && seen < pending; ++slot) {
        int32_t& d = events[slot].deltaFrames;
        if (d == kFree) continue;
        ++seen;
        if (d > 0) d = d > owed ? d - owed : 0;
    }
    owed = 0;
}

void MidiEventQueue::findQuietFrames() {
    int32_t quiet = INT32_MAX;
    for (int slot = 1, seen = 0; slot < kRecords && seen < pending; ++slot) {
        const int32_t d = events[slot].deltaFrames;
        if (d == kFree) continue;
        ++seen;
        quiet = std::min(quiet, d > 0 ? d - 1 : 0);
    }
    quietFrames = quiet == INT32_MAX ? 0 : quiet;
}

int MidiEventQueue::takeDue(std::array<uint8_t, kRecords>& due) {
    payOwed();
    // A record due now stood at 1 before this frame, or at 0 (offset 0, or
    // a negative one): those at 0 were meant for the earlier moment and go
    // first. Among equal countdowns the earlier arrival goes first.
    std::array<uint64_t, kRecords> keys;
    int count = 0;
    for (int slot = 1, seen = 0; slot < kRecords && seen < pending; ++slot) {
        int32_t& d = events[slot].deltaFrames;
        if (d == kFree) continue;
        ++seen;
        if (d > 1) {
            --d;
            continue;
        }
        const uint64_t key = (d == 1 ? uint64_t{1} << 63 : 0) | arrival[slot];
        d = 0;
        int i = count++;
        for (; i > 0 && keys[i - 1] > key; --i) {
            keys[i] = keys[i - 1];
            due[i] = due[i - 1];
        }
        keys[i] = key;
        due[i] = static_cast<uint8_t>(slot);
    }
    return count;
}

VstInt32 APlugin::processEvents(VstEvents* events) {
    if (!events) return 1;
    MidiEventQueue& queue = engine.midiEventQueue;
    queue.payOwed();
    const int count = std::max(0, events->numEvents);
    // The host's block holds numEvents pointers after its header, more than
    // the two the record declares: they are read from the first one's address.
    VstEvent* const* list = events->events;
    for (int n = 0; n < count; ++n) {
        const VstEvent* event = list[n];
        if (!event || event->type != kVstMidiType) continue;
        const auto* midi = reinterpret_cast<const VstMidiEvent*>(event);

        int slot = queue.freeSlot();
        if (slot == 0) {
            // Full. Anything but a release is dropped; a release must not be
            // lost (the note would sound on), so it takes the place of the
            // event whose loss matters least.
            if (kindOf(*midi) != EventKind::Release) continue;
            slot = slotForRelease(queue);
            if (slot == 0) continue;
            // Every pending event a release: with no note on waiting, the
            // one due first can end its notes now instead.
            if (kindOf(queue.events[slot]) == EventKind::Release)
                handleMidiEvent(queue.events[slot]);
        } else {
            ++queue.pending;
        }

        queue.place(slot, *midi);
    }
    queue.findQuietFrames();
    return 1;
}

void APlugin::processMidi(long /*sampleIndex*/) {
    MidiEventQueue& queue = engine.midiEventQueue;
    // While a thread writes the record for a restore or a chosen preset, the
    // events wait and the queue stands still. Handled now, they would act on
    // the state before it and write what they change (the arpeggiator's grid
    // in key entry, its magic pattern) into the record on its way; they come
    // due once it is written, the first note after the application.
    if (core.presetPending.rewriting()) {
        queue.hold(1);
        return;
    }
    queue.runFrame([this](const VstMidiEvent& event) { handleMidiEvent(event); });
}

// ------------------------------------------------------------------ one event

void APlugin::handleMidiEvent(const VstMidiEvent& event) {
    ++engine.midi.events;
    const int statusByte = static_cast<unsigned char>(event.midiData[0]);
    const int channel = statusByte & 0x0F;
    const int wanted = engine.midi.midiChannel.load(std::memory_order_relaxed);
    if ((wanted != -1 && wanted != channel) || core.settingPreset) return;

    const int status = statusByte & 0xF0;
    const int d1 = event.midiData[1] & 127;
    const int d2 = event.midiData[2] & 127;

    if (status == 0x90 && d2 > 0) {
        catchUpBeforeNote();
        if (engine.notes.arpKeyEntry)
            arpKeyEntryNote(d1, d2);
        else
            midiNoteDown(d1, d2, channel);
        return;
    }
    if (status == 0x80 || status == 0x90) {
        if (engine.notes.arpKeyEntry)
            arpKeyEntryRelease();
        else
            midiNoteReleased(d1, d2, channel);
        return;
    }

    const bool mpe = engine.notes.playMode == playmode::PolyMpe;
    MidiState& midi = engine.midi;
    auto forVoices = [&](auto&& apply) {
        for (VoiceState& voice : engine.voices)
            if (!mpe || voice.channel == channel) apply(voice);
    };

    switch (status) {
    case 0xA0: { // poly aftertouch
        const float p = d2 / 127.0f;
        if (mpe) {
            forVoices([&](VoiceState& voice) { voice.polyAftertouch = p; });
            midi.chanPolyAftertouch[channel] = p;
        } else {
            bool matched = false;
            for (VoiceState& voice : engine.voices)
                if (voice.note == d1 && voice.sounds()) {
                    voice.polyAftertouch = p;
                    matched = true;
                }
            if (!matched)
                for (VoiceState& voice : engine.voices) voice.polyAftertouch = p;
        }
        break;
    }
    case 0xD0: { // channel pressure
        const float p = d1 / 127.0f;
        forVoices([&](VoiceState& voice) { voice.channelPressure = p; });
        if (mpe) midi.chanPressure[channel] = p;
        break;
    }
    case 0xE0: { // pitch bend, -1 .. +0.99988
        const float v = (d1 / 128.0f + d2) / 128.0f;
        const float bend = (v - 0.5f) * 2.0f;
        forVoices([&](VoiceState& voice) { voice.mod.src[src::PitchBend] = bend; });
        if (mpe) midi.chanBend[channel] = bend;
        midi.globalBend = bend;
        engine.global.src[src::PitchBend] = bend;
        break;
    }
    case 0xB0:
        handleControlChange(d1, d2, channel);
        break;
    default:
        break; // program change and system messages: nothing
    }
}

void APlugin::handleControlChange(int controller, int value, int channel) {
    MidiState& midi = engine.midi;
    midi.lastCCValue = value;
    const float c = value / 127.0f;
    const bool mpe = engine.notes.playMode == playmode::PolyMpe;

    if (controller == 1) {
        for (VoiceState& voice : engine.voices)
            if (!mpe || voice.channel == channel) voice.modWheel = c;
        if (mpe) midi.chanModWheel[channel] = c;
        midi.globalModWheel = c;
    } else if (const int index = mappedControllerIndex(controller); index >= 0) {
        setModSrcAmt(src::ControllerFirst + index, c, channel);
    } else if (controller == kSustainController) {
        sustainPedal(pedalDown(value));
    } else if (isAllOffController(controller)) {
        turnAllVoicesOff();
        setArpRunning(false);
        engine.notes.curVoice = 0;
        initArp();
        for (VoiceState& voice : engine.voices) voice.stolen = false;
        clearMonoStack();
        engine.notes.prevPitch = -10.0f;
        return;
    }
    handleLearnedController(controller, value);
}

void APlugin::sustainPedal(bool down) {
    MidiState& midi = engine.midi;
    const int mode = engine.notes.playMode;
    const bool wasArpSustain = midi.arpSustain;
    midi.sustainDown = false;
    midi.arpSustain = false;
    // The voice-to-channel maps of MPE play stay: held notes must still find
    // their note off.
    for (VoiceState& voice : engine.voices) voice.sustainHeld = false;

    if (down && mode != playmode::Arp) {
        midi.sustainDown = true;
        for (VoiceState& voice : engine.voices) voice.sustainHeld = voice.sounds();
    } else if (down) {
        // What the latch already holds back stays held: those keys are up.
        midi.arpSustain = true;
    } else if (mode == playmode::Arp && wasArpSustain) {
        releaseHeldArpKeys(0);
    }
}

// ------------------------------------------------------------------ channel preference

namespace {
// "MIDIChannel" as last read or written on the main thread; the audio thread
// reads only this copy.
std::atomic<int> gMidiChannelPref{0};
} // namespace

void APlugin::refreshMidiChannelPref() {
    gMidiChannelPref.store(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), std::memory_order_relaxed);
}

void APlugin::updateMidiChannel(bool force) {
    const int stored = gMidiChannelPref.load(std::memory_order_relaxed);
    const int channel = stored >= 0 && stored < 18 ? stored - 1 : -1;
    const int old = engine.midi.midiChannel.exchange(channel, std::memory_order_relaxed);
    if (old != channel || force) setEverythingOff(true);
}

// ------------------------------------------------------------------ modulation sources

void APlugin::setModSrcAmt(int source, float value) {
    if (source <= src::None || source >= src::Count) return;
    engine.global.src[source] = value;
    for (VoiceState& voice : engine.voices) voice.mod.src[source] = value;
}

void APlugin::setModSrcAmt(int v, int source, float value) {
    if (!isValidVoice(v) || source <= src::None || source >= src::Count) return;
    engine.voices[v].mod.src[source] = value;
}

void APlugin::setModSrcAmt(int source, float value, int channel) {
    const int index = source - src::ControllerFirst;
    if (index < 0 || index >= kMappedControllers) return;
    const bool mpe = engine.notes.playMode == playmode::PolyMpe;
    if (!mpe) {
        for (VoiceState& voice : engine.voices) voice.controllers[index] = value;
        return;
    }
    if (channel < 0 || channel >= kMidiChannels) return;
    for (VoiceState& voice : engine.voices)
        if (voice.channel == channel) voice.controllers[index] = value;
    engine.midi.chanControllers[channel][index] = value;
}

// ------------------------------------------------------------------ arpeggiator key entry
//
// With key entry on, played notes are written into the arpeggiator grid, one
// step per note, and sound once as a preview.

void APlugin::arpKeyEntryNote(int note, int velocity) {
    const int s = std::clamp(engine.notes.arpEntryStep, 0, tag::ArpStepCount - 1);
    setOn(tag::arpStep(tag::RowOn, s));
    setOff(tag::arpStep(tag::RowTied, s));
    setOff(tag::arpStep(tag::RowSlide, s));
    setParameterAutomated(tag::arpStep(tag::RowTune, s),
                          std::clamp((note - 60 + 0.1f) / 72.0f + 0.5f, 0.0f, 1.0f));
    setParameterAutomated(tag::arpStep(tag::RowVelocity, s), std::min(velocity / 127.0f, 1.0f));
    setToDefault(tag::arpStep(tag::RowFree, s));
    setToDefault(tag::arpStep(tag::RowChord, s));
    setToDefault(tag::arpStep(tag::RowRatchet, s));
    core.screenUpdatePending.set();
    turnAllVoicesOff();
    NoteState& ns = engine.notes;
    ns.curVoice = (limitVoice(ns.curVoice) + 1) % 15;
    setVoiceOn(ns.curVoice);
    setNotePressed(ns.curVoice, note, velocity, 0.0f, true, false, true);
    engine.voices[ns.curVoice].sustainHeld = engine.midi.sustainDown;
}

void APlugin::arpKeyEntryRelease() {
    NoteState& ns = engine.notes;
    const int n = getArpNumOfSteps();
    int s = ns.arpEntryStep;
    // Move to the next step that is on and not tied; a step at or past the
    // last one ends the search (and the entry).
    do {
        ++s;
    } while (s < n && !(getArpStepOn(s) && !getArpStepTied(s)));
    if (n != 0 && s >= n) {
        setOff(tag::ArpKeyEntryOn);
        ns.arpKeyEntry = false;
        s = 0;
    }
    ns.arpEntryStep = s;
    turnAllVoicesOff();
}
