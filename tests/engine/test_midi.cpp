// MIDI from the host: sample-accurate offsets, the fixed event queue, the
// channel filter, and what notes, bends and controllers do to the voices.

#include "engine/sound_check.h"
#include "platform/prefs.h"
#include "support/plugin_harness.h"
#include "support/property_seeds.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

namespace {

std::set<int> gatedNotes(const PluginHarness& h) {
    std::set<int> notes;
    for (const VoiceState& v : h.plugin->engine.voices)
        if (v.gate) notes.insert(v.note);
    return notes;
}

bool allRecordsFree(const PluginHarness& h) {
    const MidiEventQueue& q = h.plugin->engine.midiEventQueue;
    for (int slot = 1; slot < MidiEventQueue::kRecords; ++slot)
        if (q.events[slot].deltaFrames != MidiEventQueue::kFree) return false;
    return true;
}

// `count` control changes without a built-in effect (controller 7).
EventBlock controllers(int count, int offset = 0) {
    EventBlock b;
    for (int i = 0; i < count; ++i) b.cc(offset, 7, i & 127);
    return b;
}

// The loudest sample of both channels over `frames` frames.
float peak(SoundCheck& s, int frames) {
    std::vector<float> right;
    const std::vector<float> left = s.capture(frames, &right);
    float most = 0.0f;
    for (std::size_t i = 0; i < left.size(); ++i)
        most = std::max({most, std::fabs(left[i]), std::fabs(right[i])});
    return most;
}

// Once the release has run out: the note sounds on (one voice gated) or
// was ended (silence, no voice).
void expectNoteHeardAfterRelease(SoundCheck& s, bool sounds) {
    s.capture(8192);
    EXPECT_EQ(s.h.pending(), 0);
    const float level = peak(s, 4096);
    if (sounds)
        EXPECT_GT(level, 0.01f);
    else
        EXPECT_EQ(level, 0.0f);
    EXPECT_EQ(s.h.gatedCount(), sounds ? 1 : 0);
}

} // namespace

// ------------------------------------------------------------------ timing

TEST(MidiTiming, OffsetsZeroOneAndTwoReachFramesZeroZeroAndOne) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(1, 62).noteOn(2, 64));
    EXPECT_EQ(h.pending(), 3);

    h.render(1); // frame 0
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60, 62}));
    EXPECT_EQ(h.pending(), 1);

    h.render(1); // frame 1
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60, 62, 64}));
    EXPECT_EQ(h.pending(), 0);
    EXPECT_TRUE(allRecordsFree(h));
}

TEST(MidiTiming, OffsetsInsideALongBlockAreHandledAtTheirFrame) {
    PluginHarness h;
    h.send(EventBlock().noteOn(17, 60).noteOn(40, 62));
    // Offset d (d >= 1) is due on frame d - 1.
    h.render(16); // frames 0..15
    EXPECT_EQ(h.gatedCount(), 0);
    h.render(1); // frame 16
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
    h.render(22); // frames 17..38
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
    h.render(1); // frame 39
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60, 62}));
}

TEST(MidiTiming, OffsetsBeyondTheBlockCarryOverIntoTheNextBlock) {
    PluginHarness h;
    h.send(EventBlock().noteOn(100, 60));
    h.render(64);
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_EQ(h.pending(), 1);

    // The host announces the next block with an empty event list.
    h.send(EventBlock());
    h.render(35); // frames 64..98
    EXPECT_EQ(h.gatedCount(), 0);
    h.render(1); // frame 99
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
    EXPECT_EQ(h.pending(), 0);
}

TEST(MidiTiming, EventsDueOnTheSameFrameKeepTheirOrder) {
    PluginHarness h;
    // On then off at the same frame: the note ends released; off then on: held.
    h.send(EventBlock().noteOn(5, 60).noteOff(5, 60).noteOff(5, 62).noteOn(5, 62));
    h.render(8);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{62}));
}

TEST(MidiTiming, EventsDueOnTheSameFrameFollowTheirArrivalNotTheirRecord) {
    // The first event is held over from a 64-frame block in record 2 (a
    // controller had record 1); the second arrives with the next block, takes
    // the freed record 1 and falls due on the same frame.
    const struct {
        const char* name;
        bool onFirst; // note on first, then its note off; else the reverse
        bool sounds;  // what is heard once the release is over
    } cases[] = {
        {"note on held over, note off later: the note ends", true, false},
        {"note off held over, note on later: the note plays", false, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoundCheck s;
        EventBlock first = EventBlock().cc(0, 7, 100);
        EventBlock second;
        if (c.onFirst) {
            first.noteOn(100, 60);
            second.noteOff(36, 60);
        } else {
            first.noteOff(100, 60);
            second.noteOn(36, 60);
        }
        s.h.send(first);
        s.h.render(64);
        s.h.send(second);
        s.h.render(64);
        EXPECT_EQ(s.h.pending(), 0);
        expectNoteHeardAfterRelease(s, c.sounds);
    }
}

// Offsets 0 and 1 both come due on the first frame, as does an offset of 1
// left from the previous block: whatever calls they came in, the one meant
// for the earlier moment plays first.
TEST(MidiTiming, EventsDueOnTheSameFrameFollowTheirOffsets) {
    const struct {
        const char* name;
        int firstBlock;  // frames of a block rendered between the calls, or 0
        bool onFirst;    // the note on is the first call's, else the note off
        int onAt, offAt; // offsets
        bool sounds;     // what is heard once the release is over
        bool oneCall;    // both in the first call (in the order off, on)
    } cases[] = {
        {"off at 1, then on at 0: the note ends", 0, false, 0, 1, false, false},
        {"on at 1, then off at 0: the note plays", 0, true, 1, 0, true, false},
        {"off at 1 and on at 0 in one call: the note ends", 0, false, 0, 1, false, true},
        {"off left at 1 from a block, on at 0: the note ends", 64, false, 0, 65, false, false},
        {"on left at 1 from a block, off at 0: the note plays", 64, true, 65, 0, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoundCheck s;
        AEffect* effect = s.h.effect();
        auto call = [&](EventBlock& block) {
            effect->dispatcher(effect, effProcessEvents, 0, 0, block.get(), 0.0f);
        };
        EventBlock on = EventBlock().noteOn(c.onAt, 60);
        EventBlock off = EventBlock().noteOff(c.offAt, 60);
        if (c.oneCall) {
            EventBlock both = EventBlock().noteOff(c.offAt, 60).noteOn(c.onAt, 60);
            call(both);
        } else {
            call(c.onFirst ? on : off);
            if (c.firstBlock > 0) s.h.render(c.firstBlock);
            call(c.onFirst ? off : on);
        }
        expectNoteHeardAfterRelease(s, c.sounds);
    }
}

namespace {

// One handled event: the frame it was handled on and its number.
struct Handled {
    std::uint64_t frame;
    int id;
    bool operator==(const Handled&) const = default;
};

// A queue driven frame by frame as processReplacing drives it (with the
// quiet-frame shortcut) or as the silent loops do (a look at the records on
// every frame with events pending); what is handled goes to a log instead of
// the engine. The host's calls reach it through the plug-in's processEvents.
struct QueueDriver {
    explicit QueueDriver(bool shortcut) : shortcut(shortcut) { queue.reset(); }
    void send(PluginHarness& h, EventBlock& block) {
        std::swap(h.engine().midiEventQueue, queue);
        h.send(block);
        std::swap(h.engine().midiEventQueue, queue);
    }
    void frames(int n, std::vector<Handled>& log) {
        for (int i = 0; i < n; ++i, ++frame) {
            if (queue.pending == 0 || (shortcut && queue.passQuietFrame())) continue;
            queue.runFrame([&](const VstMidiEvent& e) {
                log.push_back({frame, e.midiData[1] << 7 | e.midiData[2]});
            });
        }
    }
    MidiEventQueue queue;
    bool shortcut;
    std::uint64_t frame = 0;
};

} // namespace

// Random event lists in several calls before random blocks: each event is
// handled on the frame its offset gives (offset d >= 1 on frame d - 1), and
// events due on the same frame in the order of their moments, then of their
// arrival, with the shortcut and without it.
TEST(MidiTiming, EventOrderPropertyAcrossCallsAndBlocks) {
    for (const std::uint32_t seed : propertySeeds({20261208u})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 random(seed);
        auto pick = [&](int lo, int hi) {
            return std::uniform_int_distribution<int>(lo, hi)(random);
        };
        PluginHarness h(0x5EED, false);
        QueueDriver fast(true), full(false);
        for (int trial = 0; trial < 300; ++trial) {
            SCOPED_TRACE(trial);
            struct Sent {
                std::uint64_t due, moment;
                int id;
            };
            std::vector<Sent> sent;
            std::vector<Handled> fastLog, fullLog;
            fast.queue.reset();
            full.queue.reset();
            fast.frame = full.frame = 0;
            int outstanding = 0; // sent but not yet due
            const int blocks = pick(1, 24);
            for (int b = 0; b < blocks; ++b) {
                const int frames = pick(0, 3) == 0 ? pick(1, 4) : pick(1, 300);
                for (int calls = pick(0, 3); calls > 0; --calls) {
                    EventBlock block;
                    for (int n = pick(0, 8); n > 0 && outstanding < MidiEventQueue::kRecords - 1;
                         --n) {
                        const int kind = pick(0, 9);
                        const int offset = kind < 3   ? kind // 0, 1, 2: the first frames
                                           : kind < 4 ? -pick(1, 5)
                                           : kind < 5
                                               ? frames + pick(-2, 2) // about the block's end
                                               : pick(0, 2 * frames);
                        const int id = static_cast<int>(sent.size());
                        block.midi(offset, 0xB0, id >> 7, id & 127); // its number in the data
                        const std::uint64_t d = static_cast<std::uint64_t>(std::max(offset, 0));
                        sent.push_back({fast.frame + (d > 0 ? d - 1 : 0), fast.frame + d, id});
                        ++outstanding;
                    }
                    fast.send(h, block);
                    full.send(h, block);
                }
                fast.frames(frames, fastLog);
                full.frames(frames, fullLog);
                outstanding = static_cast<int>(sent.size() - fastLog.size());
            }
            fast.frames(700, fastLog); // the rest comes due
            full.frames(700, fullLog);

            std::stable_sort(sent.begin(), sent.end(), [](const Sent& a, const Sent& b) {
                return a.due != b.due ? a.due < b.due : a.moment < b.moment;
            });
            std::vector<Handled> expected;
            for (const Sent& e : sent) expected.push_back({e.due, e.id});
            ASSERT_EQ(fastLog, expected);
            ASSERT_EQ(fullLog, expected);
            EXPECT_EQ(fast.queue.pending, 0);
        }
    }
}

// ------------------------------------------------------------------ the queue

TEST(MidiQueue, HoldsTwoHundredFiftyEventsAndDropsTheNext) {
    PluginHarness h;
    EventBlock full = controllers(250);
    full.noteOn(0, 60); // the 251st pending event
    EXPECT_EQ(h.send(full), 1);
    EXPECT_EQ(h.pending(), 250);

    h.render(1);
    EXPECT_EQ(h.pending(), 0);
    EXPECT_EQ(h.gatedCount(), 0) << "the 251st event must have been dropped";
    EXPECT_TRUE(allRecordsFree(h));

    // Drained: the queue takes events again, to its full size.
    h.send(EventBlock().noteOn(0, 64));
    h.render(1);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{64}));
    h.send(controllers(250));
    EXPECT_EQ(h.pending(), 250);
    h.render(1);
    EXPECT_EQ(h.pending(), 0);
}

TEST(MidiQueue, CapacityCountsEventsStillPendingFromEarlierBlocks) {
    PluginHarness h;
    h.send(controllers(200, 1000)); // due far in the future
    h.render(32);
    EXPECT_EQ(h.pending(), 200);
    EventBlock more = controllers(50);
    more.noteOn(0, 60); // the 251st pending
    h.send(more);
    EXPECT_EQ(h.pending(), 250);
    h.render(1);
    EXPECT_EQ(h.pending(), 200);
    EXPECT_EQ(h.gatedCount(), 0);

    h.send(EventBlock().noteOn(0, 62)); // room again
    h.render(1);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{62}));
}

TEST(MidiQueue, AFullQueueNeverLosesWhatEndsANote) {
    // Note 60 sounds; then 250 events fill the queue before the event that
    // ends the note arrives. It must get in: the note falls silent.
    const struct {
        const char* name;
        void (*fill)(EventBlock&);
        void (*end)(EventBlock&);
    } cases[] = {
        {"250 controllers 7, then the note off",
         [](EventBlock& b) {
             for (int i = 0; i < 250; ++i) b.cc(1, 7, i & 127);
         },
         [](EventBlock& b) { b.noteOff(2, 60); }},
        {"250 different controllers, then the note off",
         [](EventBlock& b) {
             for (int i = 0; i < 250; ++i) b.cc(1, 2 + i / 16, 64, i % 16);
         },
         [](EventBlock& b) { b.noteOff(2, 60); }},
        {"250 note ons due much later, then the note off",
         [](EventBlock& b) {
             for (int i = 0; i < 250; ++i) b.noteOn(1000000, 61 + i % 60, 100, i % 16);
         },
         [](EventBlock& b) { b.noteOff(2, 60); }},
        {"250 note offs of other notes, then this one's",
         [](EventBlock& b) {
             for (int i = 0; i < 250; ++i) b.noteOff(1, 61 + i % 60, i % 16);
         },
         [](EventBlock& b) { b.noteOff(2, 60); }},
        {"250 controllers, then all notes off",
         [](EventBlock& b) {
             for (int i = 0; i < 250; ++i) b.cc(1, 7, i & 127);
         },
         [](EventBlock& b) { b.cc(2, 123, 0); }},
        {"pedal down, note off, 250 controllers, then pedal up",
         [](EventBlock& b) {
             b.cc(0, 64, 127).noteOff(0, 60);
             for (int i = 0; i < 250; ++i) b.cc(1, 7, i & 127);
         },
         [](EventBlock& b) { b.cc(2, 64, 0); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SoundCheck s;
        s.h.send(EventBlock().noteOn(0, 60));
        EXPECT_GT(peak(s, 2048), 0.01f);

        EventBlock b;
        c.fill(b);
        c.end(b);
        s.h.send(b);
        EXPECT_EQ(s.h.pending(), 250) << "the queue keeps its size";
        s.capture(8192); // the release runs out
        EXPECT_EQ(s.h.gatedCount(), 0);
        EXPECT_EQ(peak(s, 4096), 0.0f);
    }
}

TEST(MidiQueue, AReleaseInAFullQueueTakesTheRoomOfAValueSetAgainLater) {
    PluginHarness h;
    EventBlock b = EventBlock().noteOn(0, 60).cc(0, 1, 127).midi(0, 0xC0, 5);
    for (int i = 0; i < 247; ++i) b.cc(0, 7, i & 127); // 250 pending
    b.noteOff(1, 60).noteOff(1, 61);
    h.send(b);
    EXPECT_EQ(h.pending(), 250);
    h.render(4);
    // The program change (no effect) and the first controller 7 gave way.
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_EQ(h.engine().midi.globalModWheel, 1.0f) << "the only mod wheel message stays";
    EXPECT_EQ(h.engine().midi.lastCCValue, 246 & 127) << "the last controller 7 stays";
}

TEST(MidiQueue, NegativeOffsetIsHandledAtFrameZeroAndFreesItsSlot) {
    PluginHarness h;
    h.send(EventBlock().noteOn(-5, 60).noteOn(-99, 62).noteOn(-2147483647, 64));
    EXPECT_EQ(h.pending(), 3);
    h.render(1);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60, 62, 64}));
    EXPECT_EQ(h.pending(), 0);
    EXPECT_TRUE(allRecordsFree(h));

    // Every slot is usable again.
    h.send(controllers(250));
    EXPECT_EQ(h.pending(), 250);
    h.render(1);
    EXPECT_EQ(h.pending(), 0);
    EXPECT_TRUE(allRecordsFree(h));
}

TEST(MidiQueue, NullListsAndNullEventsAreSkipped) {
    PluginHarness h;
    EXPECT_EQ(h.p().processEvents(nullptr), 1);
    EXPECT_EQ(h.effect()->dispatcher(h.effect(), effProcessEvents, 0, 0, nullptr, 0.0f), 0);
    EXPECT_EQ(h.pending(), 0);

    h.send(EventBlock().null().noteOn(0, 60).null().noteOn(3, 64).null());
    EXPECT_EQ(h.pending(), 2);
    h.render(4);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60, 64}));

    // An empty list, also through the dispatcher as a host sends it.
    EventBlock empty;
    EXPECT_EQ(h.effect()->dispatcher(h.effect(), effProcessEvents, 0, 0, empty.get(), 0.0f), 1);
    EXPECT_EQ(h.pending(), 0);
}

TEST(MidiQueue, SysexEventsAreIgnored) {
    PluginHarness h;
    h.send(EventBlock().sysex(0).noteOn(0, 60).sysex(1));
    EXPECT_EQ(h.pending(), 1);
    h.render(2);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
}

TEST(MidiQueue, ProgramChangeAndSystemMessagesAreConsumedWithoutEffect) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60));
    h.render(1);
    const float volume = h.p().getCurrentValue(tag::MainVolume);
    h.send(EventBlock().midi(0, 0xC0, 5).midi(0, 0xF8).midi(0, 0xFE));
    h.render(1);
    EXPECT_EQ(h.pending(), 0);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
    EXPECT_EQ(h.p().getCurrentValue(tag::MainVolume), volume);
}

// ------------------------------------------------------------------ notes

TEST(MidiNotes, VelocityZeroNoteOnReleases) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60, 100).noteOn(0, 67, 90));
    h.render(16);
    const int v = h.gatedVoiceWithNote(60);
    ASSERT_GE(v, 0);
    EXPECT_FLOAT_EQ(h.voice(v).velocity, 100.0f / 127.0f);

    h.send(EventBlock().noteOn(0, 60, 0));
    h.render(16);
    EXPECT_FALSE(h.voice(v).gate);
    EXPECT_EQ(h.voice(v).note, 0);
    EXPECT_TRUE(h.voice(v).sounds()) << "a released note fades through its release";
    EXPECT_EQ(gatedNotes(h), (std::set<int>{67}));

    // A plain note off releases too, whatever its velocity.
    h.send(EventBlock().noteOff(0, 67, 0, 127));
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 0);
}

TEST(MidiNotes, NoteOffForANoteNotPlayingChangesNothing) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60));
    h.render(16);
    h.send(EventBlock().noteOff(0, 61).noteOff(0, 0));
    h.render(16);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
}

// ------------------------------------------------------------------ the channel filter

class MidiChannel : public ::testing::Test {
protected:
    void useChannelPreference(PluginHarness& h, int value) {
        saveIntToPrefs(REG_MIDI_IN_CHANNEL_STR, value);
        h.p().refreshMidiChannelPref();
        h.p().updateMidiChannel(true);
    }
    // The channels whose note on starts a voice (one channel at a time).
    static std::set<int> acceptedChannels(PluginHarness& h) {
        std::set<int> channels;
        for (int ch = 0; ch < 16; ++ch) {
            h.send(EventBlock().noteOn(0, 40 + ch, 100, ch));
            h.render(1);
            if (h.gatedVoiceWithNote(40 + ch) >= 0) channels.insert(ch);
            h.send(EventBlock().noteOff(0, 40 + ch, ch));
            h.render(1);
        }
        return channels;
    }
    TempPrefs prefs; // before the harness: construction reads the preference store
};

TEST_F(MidiChannel, SeventeenDiscardsEveryChannel) {
    PluginHarness h;
    useChannelPreference(h, 17);
    EXPECT_EQ(h.engine().midi.midiChannel.load(), 16);
    EXPECT_TRUE(acceptedChannels(h).empty());
    EXPECT_EQ(h.pending(), 0) << "discarded events still leave the queue";

    h.send(EventBlock().bend(0, 0x0000).cc(0, 1, 127));
    h.render(1);
    EXPECT_EQ(h.engine().global.src[src::PitchBend], 0.0f);
    EXPECT_EQ(h.engine().midi.globalModWheel, 0.0f);
}

TEST_F(MidiChannel, ZeroAndEighteenAcceptEveryChannel) {
    for (int pref : {0, 18, 200, -3}) {
        PluginHarness h;
        useChannelPreference(h, pref);
        EXPECT_EQ(h.engine().midi.midiChannel.load(), -1) << "preference " << pref;
        EXPECT_EQ(acceptedChannels(h).size(), 16u) << "preference " << pref;
    }
}

TEST_F(MidiChannel, OneChannelAcceptsOnlyThatChannel) {
    PluginHarness h;
    useChannelPreference(h, 5); // the fifth channel, status low nibble 4
    EXPECT_EQ(h.engine().midi.midiChannel.load(), 4);
    EXPECT_EQ(acceptedChannels(h), (std::set<int>{4}));
}

TEST_F(MidiChannel, ForcedUpdateSilencesHeldNotes) {
    PluginHarness h;
    useChannelPreference(h, 0);
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 2);
    h.p().updateMidiChannel(true);
    EXPECT_EQ(h.gatedCount(), 0);
}

// ------------------------------------------------------------------ bend and controllers

TEST(MidiBend, CentreGivesExactlyZeroAndBottomMinusOne) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(1);

    h.send(EventBlock().bend(0, 0x0000));
    h.render(1);
    EXPECT_EQ(h.engine().global.src[src::PitchBend], -1.0f);
    EXPECT_EQ(h.engine().midi.globalBend, -1.0f);
    for (const VoiceState& v : h.engine().voices) EXPECT_EQ(v.mod.src[src::PitchBend], -1.0f);

    h.send(EventBlock().bend(0, 0x2000));
    h.render(1);
    EXPECT_EQ(h.engine().global.src[src::PitchBend], 0.0f);
    for (const VoiceState& v : h.engine().voices) EXPECT_EQ(v.mod.src[src::PitchBend], 0.0f);

    h.send(EventBlock().bend(0, 0x3FFF));
    h.render(1);
    const float top = h.engine().global.src[src::PitchBend];
    EXPECT_LT(top, 1.0f);
    EXPECT_NEAR(top, 0.99988f, 0.00002f);
}

TEST(MidiBend, VoicesBendByTheRangeOfTheirDirection) {
    PluginHarness h;
    h.p().setSteppedValue(tag::PitchBendUp, 2);    // two semitones
    h.p().setSteppedValue(tag::PitchBendDown, 12); // an octave
    h.send(EventBlock().noteOn(0, 60));
    h.render(16);
    const VoiceState& v = h.voice(0);
    EXPECT_EQ(v.bend, 0.0f);

    h.send(EventBlock().bend(0, 0x0000));
    h.render(32);
    EXPECT_FLOAT_EQ(v.bend, -1.0f);
    h.send(EventBlock().bend(0, 0x3FFF));
    h.render(32);
    EXPECT_NEAR(v.bend, 2.0f / 12.0f, 0.0001f);
    h.send(EventBlock().bend(0, 0x2000));
    h.render(32);
    EXPECT_EQ(v.bend, 0.0f);

    // A note started while the wheel is bent starts bent.
    h.send(EventBlock().bend(0, 0x1000).noteOn(1, 64));
    h.render(1);
    const int w = h.gatedVoiceWithNote(64);
    ASSERT_GE(w, 0);
    EXPECT_NEAR(h.voice(w).bend, -0.5f, 0.0001f);
}

TEST(MidiControllers, ModWheelPressureAndMappedControllersReachTheVoices) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(1);
    const int a = h.gatedVoiceWithNote(60);
    const int b = h.gatedVoiceWithNote(64);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);

    h.send(EventBlock()
               .cc(0, 1, 127)            // mod wheel
               .cc(0, 74, 64)            // mapped controller, src::Brightness
               .midi(0, 0xD0, 127)       // channel pressure
               .midi(0, 0xA0, 64, 127)); // poly aftertouch on note 64 only
    h.render(1);
    EXPECT_EQ(h.engine().midi.globalModWheel, 1.0f);
    EXPECT_EQ(h.engine().midi.lastCCValue, 64);
    for (int v : {a, b}) {
        EXPECT_EQ(h.voice(v).modWheel, 1.0f);
        EXPECT_EQ(h.voice(v).channelPressure, 1.0f);
        EXPECT_FLOAT_EQ(h.voice(v).controllers[src::Brightness - src::ControllerFirst],
                        64.0f / 127.0f);
    }
    EXPECT_EQ(h.voice(b).polyAftertouch, 1.0f);
    EXPECT_EQ(h.voice(a).polyAftertouch, 0.0f);

    // Poly aftertouch for a note that no voice plays goes to every voice.
    h.send(EventBlock().midi(0, 0xA0, 100, 127));
    h.render(1);
    EXPECT_EQ(h.voice(a).polyAftertouch, 1.0f);
}

TEST(MidiControllers, AllNotesOffStopsEveryVoice) {
    for (int controller : {120, 121, 123}) {
        PluginHarness h;
        EventBlock chord;
        for (int n = 0; n < 6; ++n) chord.noteOn(0, 60 + n);
        h.send(chord);
        h.render(64);
        ASSERT_EQ(h.gatedCount(), 6);
        h.send(EventBlock().cc(0, controller, 0));
        h.render(1);
        EXPECT_EQ(h.gatedCount(), 0) << "controller " << controller;
        for (const VoiceState& v : h.engine().voices) EXPECT_FALSE(v.stolen);
    }
}

TEST(MidiControllers, AllNotesOffClearsTheMonoNoteStack) {
    PluginHarness h;
    h.setStep(tag::PlayMode, 2); // mono, last-note priority
    ASSERT_EQ(h.engine().notes.playMode, 2);
    h.send(EventBlock().noteOn(0, 60).noteOn(1, 64).noteOn(2, 67));
    h.render(16);
    ASSERT_EQ(h.engine().notes.monoTop, 2);
    ASSERT_EQ(gatedNotes(h), (std::set<int>{67}));

    h.send(EventBlock().cc(0, 123, 0));
    h.render(1);
    const NoteState& ns = h.engine().notes;
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_EQ(ns.monoTop, -1);
    EXPECT_FALSE(ns.monoHeld);
    EXPECT_EQ(ns.prevPitch, -10.0f);
    for (int n : ns.monoStack) EXPECT_EQ(n, -1);

    // The keys still held are forgotten: their releases do nothing, and the
    // next note starts a new run with its own velocity.
    h.send(EventBlock().noteOff(0, 67).noteOff(0, 64));
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 0);
    h.send(EventBlock().noteOn(0, 72, 50));
    h.render(16);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{72}));
    EXPECT_EQ(h.engine().notes.monoVelocity, 50);
}

// ------------------------------------------------------------------ sustain

TEST(MidiSustain, PedalHoldsReleasedNotesUntilPedalUp) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60));
    h.render(2048);
    const int v = h.gatedVoiceWithNote(60);
    ASSERT_GE(v, 0);

    h.send(EventBlock().cc(0, 64, 64)); // 64/127 > 0.5: down
    h.render(16);
    EXPECT_TRUE(h.engine().midi.sustainDown);
    EXPECT_TRUE(h.voice(v).sustainHeld);

    h.send(EventBlock().noteOff(0, 60));
    h.render(16);
    EXPECT_FALSE(h.voice(v).gate);
    const double held = h.voice(v).ampLevel();
    h.render(22050); // half a second, longer than the default release
    EXPECT_NE(h.voice(v).env[kEnvAmp].stage, kEnvRelease);
    EXPECT_NEAR(h.voice(v).ampLevel(), held, 1e-3);
    EXPECT_TRUE(h.voice(v).sounds());

    // A note started while the pedal is down is held by it as well.
    h.send(EventBlock().noteOn(0, 64).noteOff(32, 64));
    h.render(64);
    const int w = [&] {
        for (int i = 0; i < kNumVoices; ++i)
            if (i != v && h.voice(i).sounds()) return i;
        return -1;
    }();
    ASSERT_GE(w, 0);
    EXPECT_TRUE(h.voice(w).sustainHeld);
    EXPECT_NE(h.voice(w).env[kEnvAmp].stage, kEnvRelease);

    h.send(EventBlock().cc(0, 64, 63)); // 63/127 < 0.5: up
    h.render(32);
    EXPECT_FALSE(h.engine().midi.sustainDown);
    EXPECT_EQ(h.voice(v).env[kEnvAmp].stage, kEnvRelease);
    EXPECT_EQ(h.voice(w).env[kEnvAmp].stage, kEnvRelease);
    EXPECT_LT(h.voice(v).ampLevel(), held);
    h.render(44100);
    EXPECT_EQ(h.soundingCount(), 0);
}

TEST(MidiSustain, PedalAlsoHoldsAVoiceAlreadyInItsRelease) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvRelease, 0.6f); // about 340 ms
    h.send(EventBlock().noteOn(0, 60).noteOff(2000, 60));
    h.render(2000 + 4410);
    ASSERT_EQ(h.voice(0).env[kEnvAmp].stage, kEnvRelease);
    const double falling = h.voice(0).ampLevel();
    ASSERT_GT(falling, 0.1);
    h.send(EventBlock().cc(0, 64, 127));
    h.render(32);
    EXPECT_TRUE(h.voice(0).sustainHeld) << "a voice that still sounds is held";
    const double caught = h.voice(0).ampLevel();
    h.render(44100);
    EXPECT_NEAR(h.voice(0).ampLevel(), caught, 1e-9);
    h.send(EventBlock().cc(0, 64, 0));
    h.render(44100);
    EXPECT_FALSE(h.voice(0).sounds());
}

TEST(MidiSustain, HeldKeysAreNotReleasedByThePedal) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).cc(1, 64, 127));
    h.render(64);
    h.send(EventBlock().cc(0, 64, 0));
    h.render(4096);
    EXPECT_EQ(gatedNotes(h), (std::set<int>{60}));
    const int v = h.gatedVoiceWithNote(60);
    EXPECT_NE(h.voice(v).env[kEnvAmp].stage, kEnvRelease);
}

TEST(MidiSustain, PedalInMpeModeKeepsNoteOffsWorking) {
    PluginHarness h;
    h.setStep(tag::PlayMode, 1); // MPE
    ASSERT_EQ(h.engine().notes.playMode, 1);

    h.send(EventBlock().noteOn(0, 60, 100, 1).noteOn(0, 60, 100, 2).noteOn(0, 67, 100, 3));
    h.render(64);
    ASSERT_EQ(h.gatedCount(), 3);
    int onChannel[16];
    for (int& c : onChannel) c = -1;
    for (int v = 0; v < kNumVoices; ++v)
        if (h.voice(v).gate) onChannel[h.voice(v).channel] = v;
    ASSERT_GE(onChannel[1], 0);
    ASSERT_GE(onChannel[2], 0);
    ASSERT_GE(onChannel[3], 0);

    // Pedal down and up on one channel, while the notes are held.
    h.send(EventBlock().cc(0, 64, 127, 1).cc(8, 64, 0, 1));
    h.render(64);
    EXPECT_EQ(h.voice(onChannel[1]).channel, 1);
    EXPECT_EQ(h.voice(onChannel[2]).channel, 2);

    // Each note off still finds its own voice, and only that one.
    h.send(EventBlock().noteOff(0, 60, 1));
    h.render(16);
    EXPECT_FALSE(h.voice(onChannel[1]).gate);
    EXPECT_TRUE(h.voice(onChannel[2]).gate);
    EXPECT_TRUE(h.voice(onChannel[3]).gate);

    // With the pedal down, releases still match by channel and the pedal
    // holds the envelopes until it comes up.
    h.send(EventBlock().cc(0, 64, 127, 2).noteOff(1, 60, 2).noteOff(1, 67, 3));
    h.render(256);
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_NE(h.voice(onChannel[2]).env[kEnvAmp].stage, kEnvRelease);
    h.send(EventBlock().cc(0, 64, 0, 2));
    h.render(32);
    EXPECT_EQ(h.voice(onChannel[2]).env[kEnvAmp].stage, kEnvRelease);
    EXPECT_EQ(h.voice(onChannel[3]).env[kEnvAmp].stage, kEnvRelease);
}

TEST(MidiSustain, MpeControllersFollowTheirChannel) {
    PluginHarness h;
    h.setStep(tag::PlayMode, 1);
    h.send(EventBlock().noteOn(0, 60, 100, 4).noteOn(0, 62, 100, 5));
    h.render(16);
    const int a = h.gatedVoiceWithNote(60);
    const int b = h.gatedVoiceWithNote(62);
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    h.send(EventBlock().bend(0, 0x0000, 4).cc(0, 1, 127, 5));
    h.render(1);
    EXPECT_EQ(h.voice(a).mod.src[src::PitchBend], -1.0f);
    EXPECT_EQ(h.voice(b).mod.src[src::PitchBend], 0.0f);
    EXPECT_EQ(h.voice(b).modWheel, 1.0f);
    EXPECT_EQ(h.voice(a).modWheel, 0.0f);
    EXPECT_EQ(h.engine().global.src[src::PitchBend], -1.0f);
}

// ------------------------------------------------------------------ arpeggiator key entry

namespace {

// Key entry switched on and taken over by the engine's next slow tick.
void startKeyEntry(PluginHarness& h) {
    h.p().setOn(tag::ArpKeyEntryOn);
    h.render(256);
    ASSERT_TRUE(h.engine().notes.arpKeyEntry);
    ASSERT_EQ(h.engine().notes.arpEntryStep, 0);
}

void enter(PluginHarness& h, int note, int velocity = 100) {
    h.send(EventBlock().noteOn(0, note, velocity).noteOff(8, note));
    h.render(16);
}

} // namespace

TEST(MidiArpKeyEntry, NotesAreWrittenIntoTheGridStepByStep) {
    PluginHarness h;
    startKeyEntry(h);
    h.send(EventBlock().noteOn(0, 72, 64));
    h.render(1);
    EXPECT_TRUE(h.p().getOnOff(tag::arpStep(tag::RowOn, 0)));
    EXPECT_NEAR(h.p().getCurrentValue(tag::arpStep(tag::RowTune, 0)), (12 + 0.1f) / 72.0f + 0.5f,
                1e-6f);
    EXPECT_NEAR(h.p().getCurrentValue(tag::arpStep(tag::RowVelocity, 0)), 64.0f / 127.0f, 1e-6f);
    EXPECT_EQ(h.gatedCount(), 1) << "the entered note sounds as a preview";
    EXPECT_EQ(h.engine().notes.curVoice, 1);

    h.send(EventBlock().noteOff(0, 72));
    h.render(1);
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_EQ(h.engine().notes.arpEntryStep, 1);

    // Tied steps are passed over.
    h.p().setOn(tag::arpStep(tag::RowTied, 2));
    enter(h, 60);
    EXPECT_EQ(h.engine().notes.arpEntryStep, 3);
    EXPECT_NEAR(h.p().getCurrentValue(tag::arpStep(tag::RowTune, 1)), 0.1f / 72.0f + 0.5f, 1e-6f);
}

TEST(MidiArpKeyEntry, EntryEndsAfterTheLastStep) {
    PluginHarness h;
    h.p().setSteppedValue(tag::ArpNumSteps, 3); // four steps
    startKeyEntry(h);
    for (int n = 0; n < 4; ++n) enter(h, 60 + n);
    EXPECT_FALSE(h.engine().notes.arpKeyEntry);
    EXPECT_FALSE(h.p().getOnOff(tag::ArpKeyEntryOn));
    EXPECT_EQ(h.engine().notes.arpEntryStep, 0);

    // Notes play normally again.
    h.send(EventBlock().noteOn(0, 50));
    h.render(16);
    EXPECT_GE(h.gatedVoiceWithNote(50), 0);
}

TEST(MidiArpKeyEntry, StepBeyondAShortenedGridEndsTheEntry) {
    PluginHarness h;
    startKeyEntry(h);
    for (int n = 0; n < 6; ++n) enter(h, 60 + n);
    ASSERT_EQ(h.engine().notes.arpEntryStep, 6);
    h.p().setSteppedValue(tag::ArpNumSteps, 3); // now four steps: the entry step lies beyond
    enter(h, 70);
    EXPECT_FALSE(h.engine().notes.arpKeyEntry);
    EXPECT_EQ(h.engine().notes.arpEntryStep, 0);
    EXPECT_EQ(h.gatedCount(), 0);
}
