// The offline host's pure helpers: note parsing, the built-in phrase, event
// scheduling into blocks, Standard MIDI Files, level metering, WAV or RF64,
// number text and the resident memory.
#include "tools/host/event_list.h"
#include "tools/host/level_meter.h"
#include "tools/host/midi_file.h"
#include "tools/host/midi_phrase.h"
#include "tools/host/numbers.h"
#include "tools/host/resident_memory.h"
#include "tools/host/wav_writer.h"

#include <sndfile.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <memory>
#include <optional>
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
    for (const char* text :
         {"C4:0", "C4:128", "C4:loud", "C4:100:-1", "C4:100:0:0", "C4:100:0:-2", "C4:100:0:1:5",
          "C4:100:0,5", "C4:100:inf", "", "C4:100:0:1e15", "C4:100:1e300:1", "C4:100:3599.5:1"}) {
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

TEST(HostToolPhrase, BuiltInPhraseResolvesToTheTonicWithTwoVoicesAtMost) {
    auto notes = builtInPhrase();
    double end = phraseEnd(notes);
    EXPECT_DOUBLE_EQ(end, 7.75);
    // The lowest and the highest of the last notes are both an A.
    int lowest = 128, highest = -1;
    for (const PhraseNote& n : notes) {
        if (n.start < 7.0) continue;
        lowest = std::min(lowest, n.note);
        highest = std::max(highest, n.note);
    }
    EXPECT_EQ(lowest % 12, 9);
    EXPECT_EQ(highest % 12, 9);
    int sounding = 0, most = 0;
    for (const MidiMessage& m : scheduleNotes(notes, 1000.0)) {
        sounding += m.status == kNoteOn ? 1 : -1;
        most = std::max(most, sounding);
    }
    EXPECT_EQ(sounding, 0);
    EXPECT_LE(most, 2);
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
    messages = scheduleNotes({{60, 100, 1e300, 1.0}, {62, 100, 0.0, 1e15}}, 44100.0);
    ASSERT_EQ(messages.size(), 4u);
    EXPECT_TRUE(messages[0].frame == 0 && messages[1].data1 == 62 && messages[3].data1 == 60);
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

// A file larger than a plain WAV header may describe (here lowered) is RF64, read back whole.
TEST(HostToolWav, AFileTooLargeForAPlainWavHeaderIsRF64) {
    std::filesystem::create_directories(ONDIX_TEST_OUTPUT_DIR);
    const std::string path = ONDIX_TEST_OUTPUT_DIR "/wav-format.wav";
    std::vector<float> samples(8000), back(8000); // 4000 frames, 32000 bytes
    for (size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<float>(i) / 8000.0f;
    for (const int64_t largest : {WavWriter::kLargestPlainWav, int64_t{1} << 14}) {
        WavWriter writer;
        std::string error;
        ASSERT_TRUE(writer.open(path, 48000, 2, 4000, error, largest) &&
                    writer.write(samples.data(), 4000, error) && writer.commit(error))
            << error;
        SF_INFO info{};
        SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
        EXPECT_EQ(info.format,
                  (largest < 32000 ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT);
        EXPECT_TRUE(info.frames == 4000 && sf_readf_float(file, back.data(), 4000) == 4000 &&
                    sf_close(file) == 0 && back == samples);
    }
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

// --- Standard MIDI Files ---------------------------------------------------

namespace {

using Bytes = std::vector<uint8_t>;

void append(Bytes& out, std::initializer_list<int> bytes) {
    for (int b : bytes) out.push_back(static_cast<uint8_t>(b));
}

void appendU32(Bytes& out, uint32_t value) {
    append(out, {static_cast<int>(value >> 24), static_cast<int>(value >> 16 & 0xFF),
                 static_cast<int>(value >> 8 & 0xFF), static_cast<int>(value & 0xFF)});
}

// A variable-length quantity, seven bits a byte, most significant first.
void appendVlq(Bytes& out, uint32_t value) {
    uint8_t groups[5];
    int count = 0;
    do {
        groups[count++] = static_cast<uint8_t>(value & 0x7F);
        value >>= 7;
    } while (value > 0);
    while (count > 1) out.push_back(static_cast<uint8_t>(groups[--count] | 0x80));
    out.push_back(groups[0]);
}

Bytes header(int format, int tracks, int division) {
    Bytes out = {'M', 'T', 'h', 'd'};
    appendU32(out, 6);
    append(out, {format >> 8, format & 0xFF, tracks >> 8, tracks & 0xFF, division >> 8,
                 division & 0xFF});
    return out;
}

// Wraps a track body (events without the end-of-track) into an MTrk chunk.
void appendTrack(Bytes& file, const Bytes& body, bool endOfTrack = true) {
    Bytes chunk = body;
    if (endOfTrack) append(chunk, {0x00, 0xFF, 0x2F, 0x00});
    append(file, {'M', 'T', 'r', 'k'});
    appendU32(file, static_cast<uint32_t>(chunk.size()));
    file.insert(file.end(), chunk.begin(), chunk.end());
}

void appendTempo(Bytes& track, uint32_t delta, uint32_t microsPerQuarter) {
    appendVlq(track, delta);
    append(track, {0xFF, 0x51, 0x03, static_cast<int>(microsPerQuarter >> 16),
                   static_cast<int>(microsPerQuarter >> 8 & 0xFF),
                   static_cast<int>(microsPerQuarter & 0xFF)});
}

MidiFile parsed(const Bytes& bytes) {
    std::string error;
    auto file = parseMidiFile(bytes, error);
    EXPECT_TRUE(file) << error;
    return file.value_or(MidiFile{});
}

std::string parseError(const Bytes& bytes) {
    std::string error;
    auto file = parseMidiFile(bytes, error);
    EXPECT_FALSE(file);
    EXPECT_NE(error.find(" byte "), std::string::npos) << error; // every error says where
    return error;
}

// Format 1, 480 ticks per quarter note: a tempo track that goes from 120 BPM
// to 240 BPM at tick 960 and to 100 BPM at tick 1920, and a track of notes
// every half beat on channel 3 with a control change and pitch bend.
Bytes tempoChangeFile() {
    Bytes file = header(1, 2, 480);
    Bytes tempo;
    appendTempo(tempo, 0, 500000);
    appendTempo(tempo, 960, 250000);
    appendTempo(tempo, 960, 600000);
    appendTrack(file, tempo);

    Bytes notes;
    append(notes, {0x00, 0xB2, 0x07, 0x64}); // volume
    for (int i = 0; i < 10; ++i) {
        appendVlq(notes, i == 0 ? 0 : 240);
        if (i == 0) {
            append(notes, {0x92, 60 + i, 100});
        } else {
            append(notes, {60 + i, 100}); // running status
        }
    }
    append(notes, {0x10, 0xE2, 0x00, 0x50}); // pitch bend 16 ticks later
    appendTrack(file, notes);
    return file;
}

} // namespace

TEST(HostToolMidiFile, FormatZeroWithRunningStatus) {
    Bytes file = header(0, 1, 96);
    Bytes track;
    append(track, {0x00, 0x90, 60, 100});    // note on, channel 1
    append(track, {0x60, 60, 0});            // running status: note on, velocity 0
    append(track, {0x00, 0x81, 62, 64});     // note off with a release velocity, channel 2
    append(track, {0x0A, 0xB5, 74, 90});     // control change, channel 6
    append(track, {0x00, 75, 10});           // running status: another control change
    append(track, {0x05, 0xEF, 0x7F, 0x7F}); // pitch bend, channel 16
    append(track, {0x00, 0xDA, 0x33});       // channel pressure, one data byte
    append(track, {0x00, 0x34});             // running status: channel pressure
    append(track, {0x01, 0xA4, 61, 70});     // poly pressure, channel 5
    appendTrack(file, track);

    MidiFile midi = parsed(file);
    EXPECT_EQ(midi.format, 0);
    EXPECT_EQ(midi.tracks, 1);
    EXPECT_EQ(midi.ticksPerQuarter, 96);
    EXPECT_TRUE(midi.tempos.empty());
    const std::vector<MidiFileEvent> expected = {
        {0, 0x90, 60, 100},   {96, 0x90, 60, 0},    {96, 0x81, 62, 64},
        {106, 0xB5, 74, 90},  {106, 0xB5, 75, 10},  {111, 0xEF, 0x7F, 0x7F},
        {111, 0xDA, 0x33, 0}, {111, 0xDA, 0x34, 0}, {112, 0xA4, 61, 70},
    };
    ASSERT_EQ(midi.events.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(midi.events[i].tick, expected[i].tick) << i;
        EXPECT_EQ(midi.events[i].status, expected[i].status) << i;
        EXPECT_EQ(midi.events[i].data1, expected[i].data1) << i;
        EXPECT_EQ(midi.events[i].data2, expected[i].data2) << i;
    }

    // 120 BPM until told otherwise: 96 ticks are half a second.
    auto schedule = scheduleMidiFile(midi, 44100.0);
    ASSERT_EQ(schedule.size(), expected.size());
    EXPECT_EQ(schedule[0].frame, 0);
    EXPECT_EQ(schedule[1].frame, 22050);
    // 106 ticks = 0.5520833.. s = 24346.875 frames, rounded to the nearest.
    EXPECT_EQ(schedule[3].frame, 24347);
    EXPECT_EQ(schedule[3].status, 0xB5);
    EXPECT_EQ(schedule[8].frame, 25725); // 112 ticks = 0.583.. s
}

TEST(HostToolMidiFile, FormatOneMergesTracksInTimeOrder) {
    Bytes file = header(1, 3, 100);
    Bytes first, second, third;
    append(first, {0x00, 0x90, 60, 100, 0x64, 0x80, 60, 0});  // ticks 0 and 100
    append(second, {0x32, 0x91, 64, 90, 0x32, 0x81, 64, 0});  // ticks 50 and 100
    append(third, {0x64, 0x92, 67, 80, 0x00, 0xB2, 64, 127}); // ticks 100 and 100
    appendTrack(file, first);
    appendTrack(file, second);
    appendTrack(file, third);

    MidiFile midi = parsed(file);
    EXPECT_EQ(midi.tracks, 3);
    ASSERT_EQ(midi.events.size(), 6u);
    const uint64_t ticks[] = {0, 50, 100, 100, 100, 100};
    // At equal ticks the first track's events come first, each track in its own order.
    const uint8_t statuses[] = {0x90, 0x91, 0x80, 0x81, 0x92, 0xB2};
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(midi.events[i].tick, ticks[i]) << i;
        EXPECT_EQ(midi.events[i].status, statuses[i]) << i;
    }
}

TEST(HostToolMidiFile, TempoChangesMidFileAreExactInSamples) {
    MidiFile midi = parsed(tempoChangeFile());
    EXPECT_EQ(midi.format, 1);
    EXPECT_EQ(midi.tracks, 2);
    ASSERT_EQ(midi.tempos.size(), 3u);
    EXPECT_EQ(midi.tempos[1].tick, 960u);
    EXPECT_EQ(midi.tempos[1].microsPerQuarter, 250000u);
    EXPECT_EQ(midi.tempos[2].tick, 1920u);
    ASSERT_EQ(midi.events.size(), 12u);

    // Ticks 0..960 at 120 BPM (1 s), 960..1920 at 240 BPM (0.5 s), then
    // 100 BPM: 0.6 s a quarter note.
    auto seconds = [](uint64_t tick) {
        if (tick <= 960) return tick / 960.0;
        if (tick <= 1920) return 1.0 + (tick - 960) / 1920.0;
        return 1.5 + (tick - 1920) * 0.6 / 480.0;
    };
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        auto schedule = scheduleMidiFile(midi, rate);
        ASSERT_EQ(schedule.size(), midi.events.size());
        for (size_t i = 0; i < schedule.size(); ++i) {
            auto expected = static_cast<int64_t>(std::llround(seconds(midi.events[i].tick) * rate));
            EXPECT_EQ(schedule[i].frame, expected) << "event " << i << " at " << rate << " Hz";
        }
    }
    auto at48k = scheduleMidiFile(midi, 48000.0);
    EXPECT_EQ(at48k[0].status, 0xB2);
    EXPECT_EQ(at48k[1].frame, 0);
    EXPECT_EQ(at48k[3].frame, 24000);        // tick 480
    EXPECT_EQ(at48k[5].frame, 48000);        // tick 960, where the tempo doubles
    EXPECT_EQ(at48k[6].frame, 54000);        // tick 1200
    EXPECT_EQ(at48k[9].frame, 72000);        // tick 1920, where 100 BPM begins
    EXPECT_EQ(at48k[10].frame, 86400);       // tick 2160: 1.5 s + 0.3 s
    EXPECT_EQ(at48k[11].frame, 86400 + 960); // pitch bend 16 ticks later: 0.02 s
    EXPECT_EQ(at48k[11].status, 0xE2);
    EXPECT_EQ(at48k[11].data2, 0x50);
}

TEST(HostToolMidiFile, TempoOfTheLaterTrackAtTheSameTickWins) {
    Bytes file = header(1, 2, 96);
    Bytes first, second;
    appendTempo(first, 0, 1000000);
    appendTempo(second, 0, 250000);
    append(second, {0x60, 0x90, 60, 100});
    appendTrack(file, first);
    appendTrack(file, second);
    auto schedule = scheduleMidiFile(parsed(file), 1000.0);
    ASSERT_EQ(schedule.size(), 1u);
    EXPECT_EQ(schedule[0].frame, 250);
}

TEST(HostToolMidiFile, MetaSysexAndProgramChangesAreSkipped) {
    Bytes file = header(0, 1, 480);
    Bytes track;
    append(track, {0x00, 0xFF, 0x03, 0x05, 'L', 'e', 'a', 'd', '!'}); // track name
    append(track, {0x00, 0xFF, 0x58, 0x04, 0x03, 0x02, 0x18, 0x08});  // time signature
    append(track, {0x00, 0xF0, 0x05, 0x7E, 0x7F, 0x09, 0x01, 0xF7});  // GM on
    append(track, {0x00, 0xC0, 0x05});                                // program change
    append(track, {0x00, 0x90, 60, 100});
    append(track, {0x10, 0xF7, 0x02, 0x01, 0x02});    // escaped bytes
    append(track, {0x00, 64, 90});                    // running status survives the sysex
    append(track, {0x00, 0xFF, 0x7F, 0x03, 1, 2, 3}); // sequencer-specific
    append(track, {0x00, 0xFF, 0x01, 0x00});          // empty text
    append(track, {0x10, 0x80, 60, 0});
    appendTrack(file, track);

    MidiFile midi = parsed(file);
    ASSERT_EQ(midi.events.size(), 3u);
    EXPECT_EQ(midi.events[0].status, 0x90);
    EXPECT_EQ(midi.events[0].tick, 0u);
    EXPECT_EQ(midi.events[1].status, 0x90);
    EXPECT_EQ(midi.events[1].data1, 64);
    EXPECT_EQ(midi.events[1].tick, 16u);
    EXPECT_EQ(midi.events[2].status, 0x80);
    EXPECT_EQ(midi.events[2].tick, 32u);
    EXPECT_EQ(midi.skipped, 7u);
    EXPECT_TRUE(midi.tempos.empty());
}

TEST(HostToolMidiFile, UnknownChunksExtraHeaderBytesAndTrailingDataAreIgnored) {
    Bytes file = {'M', 'T', 'h', 'd'};
    appendU32(file, 8); // two bytes more than we know
    append(file, {0, 0, 0, 1, 0, 96, 0xAB, 0xCD});
    append(file, {'X', 'Y', 'Z', 'W'});
    appendU32(file, 3);
    append(file, {1, 2, 3});
    Bytes track;
    append(track, {0x00, 0x90, 60, 100});
    append(track, {0x00, 0xFF, 0x2F, 0x00});
    append(track, {0xDE, 0xAD}); // after the end-of-track, inside the chunk
    appendTrack(file, track, false);
    append(file, {'j', 'u', 'n', 'k'}); // after the last declared track

    MidiFile midi = parsed(file);
    EXPECT_EQ(midi.tracks, 1);
    ASSERT_EQ(midi.events.size(), 1u);
    EXPECT_EQ(midi.events[0].data1, 60);
}

TEST(HostToolMidiFile, TrackWithoutEndOfTrackIsReadToItsEnd) {
    Bytes file = header(0, 1, 96);
    appendTrack(file, {0x00, 0x90, 60, 100, 0x60, 0x80, 60, 0}, false);
    EXPECT_EQ(parsed(file).events.size(), 2u);
}

TEST(HostToolMidiFile, ZeroTracksIsAnEmptyFile) {
    MidiFile midi = parsed(header(1, 0, 480));
    EXPECT_EQ(midi.tracks, 0);
    EXPECT_TRUE(midi.events.empty());
    EXPECT_TRUE(scheduleMidiFile(midi, 44100.0).empty());
}

TEST(HostToolMidiFile, EveryTruncationIsAnError) {
    Bytes file = tempoChangeFile();
    for (size_t size = 0; size < file.size(); ++size) {
        std::string error;
        EXPECT_FALSE(parseMidiFile(file.data(), size, error)) << size;
        EXPECT_FALSE(error.empty()) << size;
    }
}

TEST(HostToolMidiFile, AbsurdLengthsAreErrors) {
    Bytes trackLength = header(0, 1, 96);
    append(trackLength, {'M', 'T', 'r', 'k', 0x7F, 0xFF, 0xFF, 0xFF, 0x00, 0x90, 60, 100});
    EXPECT_NE(parseError(trackLength).find("claims"), std::string::npos);

    Bytes headerLength = {'M', 'T', 'h', 'd', 0xFF, 0xFF, 0xFF, 0xF0, 0, 0, 0, 1, 0, 96};
    EXPECT_NE(parseError(headerLength).find("claims"), std::string::npos);

    Bytes sysex = header(0, 1, 96);
    appendTrack(sysex, {0x00, 0xF0, 0xFF, 0xFF, 0xFF, 0x7F, 0x01, 0x02});
    parseError(sysex);

    Bytes meta = header(0, 1, 96);
    appendTrack(meta, {0x00, 0xFF, 0x01, 0x8F, 0xFF, 0xFF, 0x7F, 'a'});
    parseError(meta);

    Bytes longNumber = header(0, 1, 96);
    appendTrack(longNumber, {0x80, 0x80, 0x80, 0x80, 0x00, 0x90, 60, 100});
    EXPECT_NE(parseError(longNumber).find("more than four bytes"), std::string::npos);

    Bytes manyTracks = header(1, 65535, 96);
    appendTrack(manyTracks, {0x00, 0x90, 60, 100});
    EXPECT_NE(parseError(manyTracks).find("1 of 65535"), std::string::npos);
}

TEST(HostToolMidiFile, MalformedContentIsAnError) {
    const std::pair<Bytes, const char*> headers[] = {
        {{}, "at byte 0: not a Standard MIDI File (it does not start with 'MThd')"},
        {{'R', 'I', 'F', 'F', 0, 0, 0, 0}, "at byte 0: not a Standard MIDI File"},
        {header(0, 1, 0xE728), "at byte 12: SMPTE time division is not supported"},
        {header(2, 1, 96), "at byte 8: format 2 (independent sequences) is not supported"},
        {header(0, 1, 0), "at byte 12: the header's time division is 0"},
        {{'M', 'T', 'h', 'd', 0, 0, 0, 4, 0, 0, 0, 1}, "at byte 4: the header is 4 bytes long"},
        {header(0, 2, 96), "at byte 14: the file ends after 0 of 2 tracks"}};
    for (const auto& [bytes, said] : headers)
        EXPECT_NE(parseError(bytes).find(said), std::string::npos) << said;

    auto withTrack = [](const Bytes& body) {
        Bytes file = header(0, 1, 96);
        appendTrack(file, body);
        return file;
    };
    EXPECT_NE(parseError(withTrack({0x00, 60, 100})).find("no status"), std::string::npos);
    EXPECT_NE(parseError(withTrack({0x00, 0xF8})).find("0xF8"), std::string::npos);
    parseError(withTrack({0x00, 0x90, 0x90, 100}));              // data byte with the top bit
    parseError(withTrack({0x00, 0xFF, 0x51, 0x02, 0x07, 0xA1})); // tempo of two bytes
    parseError(withTrack({0x00, 0xFF, 0x51, 0x03, 0, 0, 0}));    // tempo 0
}

TEST(HostToolMidiFile, EventCountIsCapped) {
    Bytes file = header(0, 1, 96);
    Bytes track;
    for (int i = 0; i < 100; ++i) append(track, {0x00, 0x90, 60, 100});
    appendTrack(file, track);
    std::string error;
    EXPECT_TRUE(parseMidiFile(file, error, 101)) << error;
    EXPECT_FALSE(parseMidiFile(file, error, 100));
    EXPECT_NE(error.find("more than 100 events"), std::string::npos);
}

TEST(HostToolMidiFile, DamagedFilesNeverCrash) {
    // Byte flips, insertions and cuts of a good file: each read either works
    // or fails with a message (the sanitizers watch for anything worse).
    const Bytes good = tempoChangeFile();
    uint32_t state = 12345;
    auto random = [&state](uint32_t limit) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % limit;
    };
    for (int round = 0; round < 3000; ++round) {
        Bytes file = good;
        int changes = 1 + static_cast<int>(random(4));
        for (int c = 0; c < changes; ++c) {
            auto at = static_cast<size_t>(random(static_cast<uint32_t>(file.size())));
            switch (random(3)) {
            case 0:
                file[at] = static_cast<uint8_t>(random(256));
                break;
            case 1:
                file.insert(file.begin() + static_cast<std::ptrdiff_t>(at),
                            static_cast<uint8_t>(random(256)));
                break;
            default:
                file.resize(std::max<size_t>(at, 1));
                break;
            }
        }
        std::string error;
        auto midi = parseMidiFile(file, error);
        if (midi) {
            auto schedule = scheduleMidiFile(*midi, 44100.0);
            EXPECT_TRUE(std::is_sorted(
                schedule.begin(), schedule.end(),
                [](const MidiMessage& a, const MidiMessage& b) { return a.frame < b.frame; }));
            for (const MidiMessage& m : schedule) EXPECT_GE(m.frame, 0);
        } else {
            EXPECT_FALSE(error.empty());
        }
    }
}

TEST(HostToolMidiFile, HugeTimesSaturateInsteadOfOverflowing) {
    Bytes file = header(0, 1, 1);
    Bytes track;
    appendTempo(track, 0, 0xFFFFFF);
    for (int i = 0; i < 1000; ++i) {
        appendVlq(track, 0x0FFFFFFF);
        append(track, {0x90, 60, 100});
    }
    appendTrack(file, track);
    auto schedule = scheduleMidiFile(parsed(file), 768000.0);
    ASSERT_EQ(schedule.size(), 1000u);
    EXPECT_GT(schedule.front().frame, 0);
    EXPECT_TRUE(std::is_sorted(
        schedule.begin(), schedule.end(),
        [](const MidiMessage& a, const MidiMessage& b) { return a.frame < b.frame; }));
}

TEST(HostToolMidiFile, NonIntegralRateStaysClose) {
    auto schedule = scheduleMidiFile(parsed(tempoChangeFile()), 44100.5);
    ASSERT_EQ(schedule.size(), 12u);
    EXPECT_EQ(schedule[5].frame, 44101); // tick 960 = 1 s, 44100.5 rounded up
    EXPECT_EQ(schedule[10].frame, static_cast<int64_t>(std::llround(1.8 * 44100.5)));
}

TEST(HostToolMidiFile, ReadsFromDiskAndNamesTheFileInErrors) {
    std::string path = testing::TempDir() + "ondix-host-test.mid";
    Bytes bytes = tempoChangeFile();
    std::FILE* out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size(), out);
    std::fclose(out);
    std::string error;
    auto midi = readMidiFile(path, error);
    ASSERT_TRUE(midi) << error;
    EXPECT_EQ(midi->events.size(), 12u);

    out = std::fopen(path.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    std::fwrite(bytes.data(), 1, bytes.size() - 3, out);
    std::fclose(out);
    EXPECT_FALSE(readMidiFile(path, error));
    EXPECT_EQ(error.rfind(path + ": ", 0), 0u) << error;
    std::remove(path.c_str());

    EXPECT_FALSE(readMidiFile(path + ".missing", error));
    EXPECT_NE(error.find("cannot open"), std::string::npos);
    EXPECT_FALSE(readMidiFile(testing::TempDir(), error)); // a folder
    EXPECT_FALSE(error.empty());
}

TEST(HostToolMidiFile, BlocksOf37FramesKeepEveryEventsSamplePosition) {
    MidiFile midi = parsed(tempoChangeFile());
    const double rate = 44100.0;
    std::vector<PhraseNote> notes = {{72, 100, 0.0101, 0.5}, {48, 90, 1.0, 0.25}};
    auto schedule = mergeSchedules(scheduleNotes(notes, rate), scheduleMidiFile(midi, rate));
    ASSERT_EQ(schedule.size(), 16u);
    ASSERT_TRUE(std::is_sorted(
        schedule.begin(), schedule.end(),
        [](const MidiMessage& a, const MidiMessage& b) { return a.frame < b.frame; }));

    for (int32_t block : {1, 37, 64, 8192}) {
        EventList list;
        size_t cursor = 0;
        std::vector<MidiMessage> delivered;
        const int64_t total = schedule.back().frame + 100;
        for (int64_t start = 0; start < total; start += block) {
            auto frames = static_cast<int32_t>(std::min<int64_t>(block, total - start));
            list.fill(schedule, cursor, start, frames);
            VstEvents* events = list.events();
            VstEvent* const* pointers = events->events; // numEvents of them, not two
            for (VstInt32 i = 0; i < events->numEvents; ++i) {
                auto* e = reinterpret_cast<VstMidiEvent*>(pointers[i]);
                ASSERT_GE(e->deltaFrames, 0);
                ASSERT_LT(e->deltaFrames, frames);
                delivered.push_back({start + e->deltaFrames, static_cast<uint8_t>(e->midiData[0]),
                                     static_cast<uint8_t>(e->midiData[1]),
                                     static_cast<uint8_t>(e->midiData[2])});
            }
        }
        ASSERT_EQ(delivered.size(), schedule.size()) << block;
        for (size_t i = 0; i < schedule.size(); ++i) {
            EXPECT_EQ(delivered[i].frame, schedule[i].frame) << block << " " << i;
            EXPECT_EQ(delivered[i].status, schedule[i].status) << block << " " << i;
            EXPECT_EQ(delivered[i].data1, schedule[i].data1) << block << " " << i;
            EXPECT_EQ(delivered[i].data2, schedule[i].data2) << block << " " << i;
        }
    }
}

TEST(HostToolMidiFile, MergedSchedulesPutTheFirstListFirstAtEqualFrames) {
    std::vector<MidiMessage> first = {{0, 0x90, 60, 100}, {10, 0x80, 60, 0}};
    std::vector<MidiMessage> second = {{0, 0x91, 64, 100}, {5, 0xB1, 1, 2}, {10, 0x81, 64, 0}};
    auto merged = mergeSchedules(first, second);
    ASSERT_EQ(merged.size(), 5u);
    const uint8_t order[] = {0x90, 0x91, 0xB1, 0x80, 0x81};
    for (size_t i = 0; i < 5; ++i) EXPECT_EQ(merged[i].status, order[i]) << i;
}

TEST(HostToolMemory, ResidentLineOfTheStatusText) {
    struct Case {
        const char* text;
        std::optional<int64_t> kib;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"Name:\tondix-host\nVmPeak:\t  9000 kB\nVmRSS:\t    6288 kB\nRssAnon:\t 1 kB\n",
              6288},
             {"VmRSS:\t12 kB", 12},
             {"VmHWM:\t 5 kB\nVmRSS:\t  kB\n", std::nullopt},
             {"VmRSS:\t 7 MB\n", std::nullopt},
             {"VmRSS:\t x kB\n", std::nullopt},
             {"Name:\tx\nVmSwap:\t 3 kB\n", std::nullopt},
             {"", std::nullopt}}) {
        EXPECT_EQ(parseResidentKiB(c.text), c.kib) << c.text;
    }
}

TEST(HostToolMemory, TouchedPagesShowInTheResidentMemory) {
    auto before = residentKiB();
    ASSERT_TRUE(before);
    constexpr size_t kBytes = 64u << 20;
    auto block = std::make_unique<char[]>(kBytes);
    for (size_t i = 0; i < kBytes; i += 4096) block[i] = static_cast<char>(i >> 12);
    auto after = residentKiB();
    ASSERT_TRUE(after);
    EXPECT_GE(*after - *before, 60 * 1024) << static_cast<int>(block[kBytes - 4096]);
}
