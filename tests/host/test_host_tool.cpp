// The offline host's pure helpers: note parsing, the built-in phrase, event
// scheduling into blocks, level metering and number text.
#include "tools/host/event_list.h"
#include "tools/host/level_meter.h"
#include "tools/host/midi_phrase.h"
#include "tools/host/numbers.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>
#include <vector>

using namespace ondix::host;

TEST(HostToolNotes, NumbersAndNames) {
    EXPECT_EQ(parseNoteName("60"), 60);
    EXPECT_EQ(parseNoteName("0"), 0);
    EXPECT_EQ(parseNoteName("127"), 127);
    EXPECT_EQ(parseNoteName("C4"), 60);
    EXPECT_EQ(parseNoteName("c4"), 60);
    EXPECT_EQ(parseNoteName("A4"), 69);
    EXPECT_EQ(parseNoteName("F#3"), 54);
    EXPECT_EQ(parseNoteName("Bb2"), 46);
    EXPECT_EQ(parseNoteName("C-1"), 0);
    EXPECT_EQ(parseNoteName("G9"), 127);
}

TEST(HostToolNotes, RejectsBadNotes) {
    for (const char* text :
         {"", "128", "-1", "G#9", "Cb-1", "H4", "C", "C10", "C4x", "4C", " 60"}) {
        EXPECT_FALSE(parseNoteName(text)) << text;
    }
}

TEST(HostToolNotes, AllFieldsAndDefaults) {
    std::string error;
    auto full = parseNoteArgument("E4:90:0.5:1.25", error);
    ASSERT_TRUE(full) << error;
    EXPECT_EQ(full->note, 64);
    EXPECT_EQ(full->velocity, 90);
    EXPECT_DOUBLE_EQ(full->start, 0.5);
    EXPECT_DOUBLE_EQ(full->length, 1.25);

    auto bare = parseNoteArgument("72", error);
    ASSERT_TRUE(bare) << error;
    EXPECT_EQ(bare->note, 72);
    EXPECT_EQ(bare->velocity, 100);
    EXPECT_DOUBLE_EQ(bare->start, 0.0);
    EXPECT_DOUBLE_EQ(bare->length, 1.0);
}

TEST(HostToolNotes, RejectsBadArguments) {
    for (const char* text : {"C4:0", "C4:128", "C4:loud", "C4:100:-1", "C4:100:0:0", "C4:100:0:-2",
                             "C4:100:0:1:5", "C4:100:0,5", "C4:100:inf", ""}) {
        std::string error;
        EXPECT_FALSE(parseNoteArgument(text, error)) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(HostToolNotes, DecimalPointWhateverTheLocale) {
    // A plug-in may switch LC_NUMERIC to a comma locale; parsing must not care.
    const char* previous = std::setlocale(LC_NUMERIC, nullptr);
    std::string saved = previous ? previous : "C";
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8"); // may not exist; then C stays
    std::string error;
    auto parsed = parseNoteArgument("C4:100:0.25:0.5", error);
    std::string text = formatFixed(1.5, 2);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(parsed) << error;
    EXPECT_DOUBLE_EQ(parsed->start, 0.25);
    EXPECT_EQ(text, "1.50");
}

TEST(HostToolPhrase, BuiltInPhraseIsAFewBars) {
    auto notes = builtInPhrase();
    ASSERT_GT(notes.size(), 12u);
    double end = phraseEnd(notes);
    EXPECT_GE(end, 6.0);
    EXPECT_LE(end, 8.0);
    for (const PhraseNote& n : notes) {
        EXPECT_GE(n.note, 0);
        EXPECT_LE(n.note, 127);
        EXPECT_GE(n.velocity, 1);
        EXPECT_LE(n.velocity, 127);
        EXPECT_GE(n.start, 0.0);
        EXPECT_GT(n.length, 0.0);
    }
}

TEST(HostToolSchedule, FramesAreRoundedAndOrdered) {
    std::vector<PhraseNote> notes = {{64, 80, 0.5, 0.25}, {60, 100, 0.0, 0.5}};
    auto messages = scheduleNotes(notes, 1000.0);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[0].frame, 0);
    EXPECT_EQ(messages[0].status, kNoteOn);
    EXPECT_EQ(messages[0].data1, 60);
    EXPECT_EQ(messages[0].data2, 100);
    // At frame 500 note 60 ends and note 64 begins: the off comes first.
    EXPECT_EQ(messages[1].frame, 500);
    EXPECT_EQ(messages[1].status, kNoteOff);
    EXPECT_EQ(messages[1].data1, 60);
    EXPECT_EQ(messages[2].frame, 500);
    EXPECT_EQ(messages[2].status, kNoteOn);
    EXPECT_EQ(messages[2].data1, 64);
    EXPECT_EQ(messages[3].frame, 750);
    EXPECT_EQ(messages[3].status, kNoteOff);
}

TEST(HostToolSchedule, RetriggeredKeyIsNotCut) {
    std::vector<PhraseNote> notes = {{60, 100, 1.0, 1.0}, {60, 100, 0.0, 1.0}};
    auto messages = scheduleNotes(notes, 100.0);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_EQ(messages[1].frame, 100);
    EXPECT_EQ(messages[1].status, kNoteOff);
    EXPECT_EQ(messages[2].frame, 100);
    EXPECT_EQ(messages[2].status, kNoteOn);
}

TEST(HostToolSchedule, TinyNoteStillLastsAFrame) {
    std::vector<PhraseNote> notes = {{60, 100, 0.0, 1e-9}};
    auto messages = scheduleNotes(notes, 44100.0);
    ASSERT_EQ(messages.size(), 2u);
    EXPECT_EQ(messages[1].frame, 1);
}

TEST(HostToolEvents, BlocksGetSampleAccurateDeltas) {
    std::vector<MidiMessage> schedule = {{3, kNoteOn, 60, 100},
                                         {63, kNoteOn, 64, 90},
                                         {64, kNoteOff, 60, 0},
                                         {200, kNoteOff, 64, 0}};
    EventList list;
    size_t cursor = 0;

    list.fill(schedule, cursor, 0, 64);
    VstEvents* events = list.events();
    ASSERT_EQ(events->numEvents, 2);
    auto* first = reinterpret_cast<VstMidiEvent*>(events->events[0]);
    EXPECT_EQ(first->type, kVstMidiType);
    EXPECT_EQ(first->byteSize, static_cast<VstInt32>(sizeof(VstMidiEvent)));
    EXPECT_EQ(first->deltaFrames, 3);
    EXPECT_EQ(static_cast<unsigned char>(first->midiData[0]), 0x90);
    EXPECT_EQ(first->midiData[1], 60);
    EXPECT_EQ(first->midiData[2], 100);
    EXPECT_EQ(first->midiData[3], 0);
    auto* second = reinterpret_cast<VstMidiEvent*>(events->events[1]);
    EXPECT_EQ(second->deltaFrames, 63);

    list.fill(schedule, cursor, 64, 64);
    ASSERT_EQ(list.events()->numEvents, 1);
    auto* off = reinterpret_cast<VstMidiEvent*>(list.events()->events[0]);
    EXPECT_EQ(off->deltaFrames, 0);
    EXPECT_EQ(static_cast<unsigned char>(off->midiData[0]), 0x80);

    list.fill(schedule, cursor, 128, 64); // an empty block still yields a record
    EXPECT_EQ(list.events()->numEvents, 0);

    list.fill(schedule, cursor, 192, 64);
    EXPECT_EQ(list.events()->numEvents, 1);
    EXPECT_EQ(cursor, schedule.size());
}

TEST(HostToolEvents, ManyEventsInOneBlock) {
    std::vector<MidiMessage> schedule;
    for (int i = 0; i < 40; ++i) {
        schedule.push_back({i, kNoteOn, static_cast<uint8_t>(40 + i), 100});
    }
    EventList list;
    size_t cursor = 0;
    list.fill(schedule, cursor, 0, 512);
    VstEvents* events = list.events();
    ASSERT_EQ(events->numEvents, 40);
    // The pointers past the two declared ones live in the list's own storage.
    auto** slots =
        reinterpret_cast<VstEvent**>(reinterpret_cast<char*>(events) + offsetof(VstEvents, events));
    for (int i = 0; i < 40; ++i) {
        auto* event = reinterpret_cast<VstMidiEvent*>(slots[i]);
        EXPECT_EQ(event->deltaFrames, i);
        EXPECT_EQ(event->midiData[1], 40 + i);
    }
}

TEST(HostToolMeter, PeakRmsAndNonFinite) {
    LevelMeter meter;
    EXPECT_EQ(meter.peak(), 0.0);
    EXPECT_EQ(meter.rms(), 0.0);
    std::vector<float> samples = {0.5f, -1.0f, 0.5f, 0.0f};
    meter.add(samples.data(), samples.size());
    EXPECT_DOUBLE_EQ(meter.peak(), 1.0);
    EXPECT_NEAR(meter.rms(), std::sqrt(1.5 / 4.0), 1e-12);
    float bad[2] = {NAN, INFINITY};
    meter.add(bad, 2);
    EXPECT_EQ(meter.nonFinite(), 2u);
    EXPECT_DOUBLE_EQ(meter.peak(), 1.0);
}

TEST(HostToolNumbers, Formatting) {
    EXPECT_EQ(formatFixed(-3.14159, 2), "-3.14");
    EXPECT_EQ(formatFixed(0.5, 4), "0.5000");
    EXPECT_EQ(formatFixed(-INFINITY, 2), "-inf");
    EXPECT_EQ(formatFixed(NAN, 2), "nan");
    EXPECT_EQ(formatInt(-42), "-42");
    EXPECT_EQ(formatHex(0x4F6E6478u), "0x4F6E6478");
    EXPECT_EQ(formatHex(0x10u), "0x00000010");
    EXPECT_EQ(formatFixed(toDecibels(0.5), 2), "-6.02");
    EXPECT_TRUE(std::isinf(toDecibels(0.0)));
}

TEST(HostToolNumbers, Parsing) {
    EXPECT_EQ(parseDouble("0.25"), 0.25);
    EXPECT_EQ(parseDouble("+2"), 2.0);
    EXPECT_EQ(parseDouble("1e-3"), 0.001);
    EXPECT_FALSE(parseDouble("0,25"));
    EXPECT_FALSE(parseDouble("1.5s"));
    EXPECT_FALSE(parseDouble("nan"));
    EXPECT_FALSE(parseDouble(""));
    EXPECT_EQ(parseInt("48000"), 48000);
    EXPECT_FALSE(parseInt("48000.0"));
    EXPECT_FALSE(parseInt("0x10"));
}
