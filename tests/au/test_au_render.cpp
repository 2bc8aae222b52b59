// The AudioUnit adapter's audio side: MIDI by both paths, slices split by
// parameter events, bypass, the time record, a MIDI stress run against a
// render thread, and the real plug-in rendered through the unit.
#include "au/fake_effect.h"
#include "core/aplugin.h"
#include "core/tags.h"
#include "support/allocation_watch.h"
#include "support/au_param_events.h"
#include "support/property_seeds.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <iostream>
#include <limits>
#include <random>
#include <thread>
#include <vector>

extern "C" OSStatus AUPLUGINEntry(ComponentParameters* params, void* storage);
extern "C" AudioComponentPlugInInterface* AUPLUGINFactory(const AudioComponentDescription*);

using ondix::auhost::AUTestHost;
using ondix::auhost::OpenWay;

namespace {

class AURender : public ::testing::Test {
protected:
    void SetUp() override {
        FakeEffect::next = {};
        ASSERT_EQ(host.open(), noErr);
        ASSERT_EQ(host.setMaxFrames(512), noErr);
        ASSERT_EQ(host.initialize(), noErr);
    }
    AUPLUGIN& unit() { return *static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage())); }
    FakeEffect& fx() { return *static_cast<FakeEffect*>(unit().Effect()); }
    // Sends by the MusicDevice call or by fast dispatch.
    OSStatus send(bool fast, UInt32 status, UInt32 d1, UInt32 d2, UInt32 offset) {
        return fast ? host.midiFast(status, d1, d2, offset) : host.midi(status, d1, d2, offset);
    }
    static bool all(const float* x, UInt32 n, float v) {
        return std::all_of(x, x + n, [v](float s) { return s == v; });
    }

    AUTestHost host{fakeUnitEntries()};
};

} // namespace

TEST_F(AURender, MidiArrivesAsVstMidiEventsByBothPaths) {
    for (bool fast : {false, true}) {
        SCOPED_TRACE(fast ? "fast dispatch" : "MusicDevice call");
        fx().events.clear();
        ASSERT_EQ(send(fast, 0x90, 60, 100, 0), noErr);
        ASSERT_EQ(send(fast, 0x81, 0x3C, 0x7F, 700), noErr); // beyond the slice
        ASSERT_EQ(host.render(512), noErr);
        ASSERT_EQ(fx().events.size(), 2u);
        const VstMidiEvent& on = fx().events[0];
        EXPECT_EQ(on.type, kVstMidiType);
        EXPECT_EQ(on.byteSize, 24);
        EXPECT_EQ(on.deltaFrames, 0);
        EXPECT_EQ(on.flags, 0);
        const char expected[4] = {char(0x90), 60, 100, 0};
        EXPECT_EQ(std::memcmp(on.midiData, expected, 4), 0);
        const VstMidiEvent& off = fx().events[1];
        EXPECT_EQ(off.deltaFrames, 511);
        EXPECT_EQ(static_cast<unsigned char>(off.midiData[0]), 0x81);
        EXPECT_EQ(off.midiData[1], 0x3C);
        EXPECT_EQ(off.midiData[2], 0x7F);

        // A full queue: 1024 arrive in one slice, the 1025th is dropped.
        fx().events.clear();
        const UInt64 droppedBefore = unit().DroppedEvents();
        for (int i = 0; i < 1025; ++i) ASSERT_EQ(send(fast, 0xB0, 1, i & 127, i % 512), noErr);
        ASSERT_EQ(host.render(512), noErr);
        EXPECT_EQ(fx().events.size(), 1024u);
        EXPECT_EQ(unit().DroppedEvents() - droppedBefore, 1u);
        ASSERT_EQ(host.render(512), noErr);
        EXPECT_EQ(fx().events.size(), 1024u);
    }
}

TEST_F(AURender, TheEffectRendersIntoTheHostsBuffersZeroedFirst) {
    ASSERT_EQ(host.render(512), noErr);
    ASSERT_EQ(fx().processes.size(), 1u);
    const FakeEffect::Process& p = fx().processes[0];
    EXPECT_EQ(p.frames, 512);
    EXPECT_TRUE(p.outputsWereZero); // the canary never reaches the effect
    for (int c = 0; c < 2; ++c) {
        EXPECT_EQ(p.outputs[c], host.channel(c));
        EXPECT_EQ(p.inputs[c], p.outputs[c]); // "Input" reads the zeroed outputs: silence
        EXPECT_TRUE(all(host.channel(c), 512, FakeEffect::kWritten));
    }
    EXPECT_TRUE(host.listUnchanged());

    // A host that gives no buffers gets the unit's own.
    ASSERT_EQ(host.render(256, 0, true), noErr);
    ASSERT_NE(host.channel(0), nullptr);
    EXPECT_TRUE(all(host.channel(0), 256, FakeEffect::kWritten));

    const struct {
        const char* what;
        UInt32 frames;
        UInt32 channels; // of the list the host hands
        OSStatus status;
    } refused[] = {
        {"more than the maximum", 513, 2, kAudioUnitErr_TooManyFramesToProcess},
        {"one buffer for stereo", 64, 1, kAudio_ParamError},
    };
    for (const auto& r : refused) {
        SCOPED_TRACE(r.what);
        std::vector<float> buffer(1024);
        struct {
            UInt32 count;
            AudioBuffer b[2];
        } list{r.channels, {{1, 4 * r.frames, buffer.data()}, {1, 4 * r.frames, buffer.data()}}};
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(unit().DoRender(&flags, &host.stamp, 0, r.frames,
                                  reinterpret_cast<AudioBufferList*>(&list)),
                  r.status);
    }
}

TEST_F(AURender, BypassAndSilentSlicesGiveZerosAndKeepTheEvents) {
    const struct {
        const char* what;
        bool bypass;
        AudioUnitRenderActionFlags flags;
    } cases[] = {{"bypass", true, 0},
                 {"output is silence", false, kAudioUnitRenderAction_OutputIsSilence}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        fx().events.clear();
        fx().processes.clear();
        ASSERT_EQ(host.set(kAudioUnitProperty_BypassEffect, UInt32(c.bypass)), noErr);
        ASSERT_EQ(host.midi(0x90, 64, 90, 10), noErr);
        ASSERT_EQ(host.render(512, c.flags), noErr);
        ASSERT_EQ(host.midi(0x80, 64, 0, 20), noErr);
        ASSERT_EQ(host.render(512, c.flags), noErr);
        EXPECT_TRUE(all(host.channel(0), 512, 0.0f)); // not the stale canary
        EXPECT_TRUE(all(host.channel(1), 512, 0.0f));
        EXPECT_TRUE(fx().processes.empty());
        EXPECT_TRUE(fx().events.empty());

        ASSERT_EQ(host.set(kAudioUnitProperty_BypassEffect, UInt32(0)), noErr);
        ASSERT_EQ(host.render(512), noErr);
        ASSERT_EQ(fx().events.size(), 2u); // both, with the first slice after
        EXPECT_EQ(fx().events[0].deltaFrames, 10);
        EXPECT_EQ(fx().events[1].deltaFrames, 20);
    }
}

// A slice of no frames has no frame to place an event on: the queue waits
// for the next slice, by either render path.
TEST_F(AURender, ASliceOfNoFramesKeepsTheEvents) {
    for (bool scheduled : {false, true}) {
        SCOPED_TRACE(scheduled ? "with parameter events" : "plain");
        fx().events.clear();
        ASSERT_EQ(host.midi(0x80, 64, 0, 20), noErr);
        if (scheduled) {
            ASSERT_EQ(host.scheduleParameters({immediate(0, 0, 0.5f)}), noErr);
        }
        ASSERT_EQ(host.render(0), noErr);
        EXPECT_TRUE(fx().events.empty());
        ASSERT_EQ(host.render(512), noErr);
        ASSERT_EQ(fx().events.size(), 1u);
        EXPECT_EQ(fx().events[0].deltaFrames, 20);
        EXPECT_EQ(unit().DroppedEvents(), 0u);
    }
}

TEST_F(AURender, ParameterEventsSplitTheSliceAndMidiGoesToItsSubSlice) {
    const struct {
        UInt32 noteOffset;
        size_t subSlice;
        VstInt32 delta;
    } notes[] = {{300, 1, 200}, {50, 0, 50}, {100, 1, 0}, {900, 1, 411}};
    for (const auto& n : notes) {
        SCOPED_TRACE(n.noteOffset);
        fx().events.clear();
        fx().processes.clear();
        ASSERT_EQ(host.scheduleParameters({immediate(12, 100, 0.625f)}), noErr);
        EXPECT_EQ(fx().params[12], 0.625f); // immediate events reach the effect at once
        ASSERT_EQ(host.midi(0x90, 60, 100, n.noteOffset), noErr);
        ASSERT_EQ(host.render(512), noErr);

        ASSERT_EQ(fx().processes.size(), 2u);
        EXPECT_EQ(fx().processes[0].frames, 100);
        EXPECT_EQ(fx().processes[1].frames, 412);
        EXPECT_EQ(fx().processes[0].outputs[0], host.channel(0));
        EXPECT_EQ(fx().processes[1].outputs[1], host.channel(1) + 100);
        EXPECT_TRUE(fx().processes[1].outputsWereZero);
        ASSERT_EQ(fx().events.size(), 1u);
        // The note was handed over just before its sub-slice's processReplacing.
        const long intoSecond = fx().processes[1].eventsBefore - fx().processes[0].eventsBefore;
        EXPECT_EQ(intoSecond, n.subSlice == 1 ? 1 : 0);
        EXPECT_EQ(fx().events[0].deltaFrames, n.delta);
        EXPECT_TRUE(host.listUnchanged()); // the host's pointers as it gave them
        EXPECT_TRUE(all(host.channel(0), 512, FakeEffect::kWritten));
        float value = 0;
        ASSERT_EQ(host.getParameter(12, value), noErr);
        EXPECT_EQ(value, 0.625f);
        fx().setParameter(12, 0.0f);
    }
}

// A message is delivered as sent or not at all: a status or data byte out
// of range drops it (masked, it would be another valid message); a byte the
// message does not carry is not looked at and reaches the effect as 0.
TEST_F(AURender, MessagesWithDataOutOfRangeAreDropped) {
    const struct {
        UInt32 status, d1, d2;
        bool delivered;
        UInt8 d2Delivered;
    } rows[] = {
        {0xB0, 200, 255, false, 0},  {0xB0, 72, 128, false, 0}, {0x90, 0x13C, 100, false, 0},
        {0x190, 60, 100, false, 0},  {0xE3, 0, 0x80, false, 0}, {0xF2, 0x10, 0x80, false, 0},
        {0xB0, 127, 127, true, 127}, {0xC5, 5, 200, true, 0},   {0xD0, 64, 999, true, 0},
        {0xF8, 200, 200, true, 0},   {0xA1, 60, 0, true, 0},
    };
    for (bool fast : {false, true})
        for (const auto& r : rows) {
            SCOPED_TRACE(testing::Message() << (fast ? "fast " : "") << std::hex << r.status << " "
                                            << r.d1 << " " << r.d2);
            fx().events.clear();
            ASSERT_EQ(send(fast, r.status, r.d1, r.d2, 3), noErr);
            ASSERT_EQ(host.render(64), noErr);
            ASSERT_EQ(fx().events.size(), r.delivered ? 1u : 0u);
            if (!r.delivered) continue;
            const VstMidiEvent& e = fx().events[0];
            EXPECT_EQ(static_cast<unsigned char>(e.midiData[0]), r.status);
            EXPECT_EQ(static_cast<UInt32>(e.midiData[1]), r.d1 <= 127 ? r.d1 : 0u);
            EXPECT_EQ(static_cast<unsigned char>(e.midiData[2]), r.d2Delivered);
            EXPECT_EQ(e.deltaFrames, 3);
        }
    EXPECT_EQ(unit().DroppedEvents(), 0u); // not counted as a full queue
}

// Property: whatever order a slice's MIDI arrives in, the effect gets it in
// the order of the offsets the host gave (beyond the slice too), and in
// arrival order among equal offsets; with the slice split or not.
TEST_F(AURender, MidiReachesTheEffectInTheOrderOfItsOffsets) {
    for (const std::uint32_t seed : propertySeeds({37u})) {
        SCOPED_TRACE(seedTrace(seed));
        std::mt19937 random(seed);
        auto pick = [&](UInt32 lo, UInt32 hi) {
            return std::uniform_int_distribution<UInt32>(lo, hi)(random);
        };
        for (int trial = 0; trial < 200; ++trial) {
            SCOPED_TRACE(trial);
            fx().events.clear();
            struct Sent {
                UInt32 offset, number;
            };
            std::vector<Sent> sent;
            const UInt32 count = pick(0, 3) == 0 ? pick(200, 1024) : pick(0, 12);
            for (UInt32 n = 0; n < count; ++n) {
                const UInt32 offset = pick(0, 4) == 0 ? pick(0, 3) : pick(0, 700);
                sent.push_back({offset, n});
                // The message's number in its data bytes.
                ASSERT_EQ(send(n % 2 == 1, 0xB0, (n >> 7) & 127, n & 127, offset), noErr);
            }
            const bool split = trial % 2 == 1;
            if (split) {
                ASSERT_EQ(host.scheduleParameters({immediate(3, pick(1, 511), 0.5f)}), noErr);
            }
            ASSERT_EQ(host.render(512), noErr);
            std::stable_sort(sent.begin(), sent.end(),
                             [](const Sent& a, const Sent& b) { return a.offset < b.offset; });
            ASSERT_EQ(fx().events.size(), sent.size());
            for (std::size_t i = 0; i < sent.size(); ++i) {
                const VstMidiEvent& e = fx().events[i];
                ASSERT_EQ(static_cast<UInt32>(e.midiData[1] << 7 | e.midiData[2]), sent[i].number)
                    << i;
                if (!split) {
                    ASSERT_EQ(static_cast<UInt32>(e.deltaFrames), std::min(sent[i].offset, 511u));
                }
            }
        }
    }
}

// Ramped events reach the effect as immediate ones do: the ramp's value at
// the start of each sub-slice the effect renders, and at the end of the
// slice the value the unit reads back; one event for a parameter the unit
// does not have is refused alone.
TEST_F(AURender, ScheduledRampsReachTheEffect) {
    const struct {
        const char* what;
        std::vector<AudioUnitParameterEvent> events;
        float before;             // parameter 12 before the slice
        OSStatus status;          // of ScheduleParameters
        std::vector<float> heard; // parameter 12 while each sub-slice renders
        float after;              // what the effect and the unit hold after
    } rows[] = {
        {"a ramp over the slice", {ramped(12, 0, 512, 1.0f, 0.0f)}, 0.3f, noErr, {1.0f}, 0.0f},
        {"split in the middle",
         {ramped(12, 0, 512, 1.0f, 0.0f), immediate(3, 256, 0.5f)},
         0.3f,
         noErr,
         {1.0f, 0.5f},
         0.0f},
        {"begun later: the value stands until then",
         {immediate(3, 128, 0.5f), ramped(12, 256, 256, 0.2f, 0.8f)},
         0.7f,
         noErr,
         {0.7f, 0.7f, 0.2f},
         0.8f},
        {"longer than the slice",
         {ramped(12, 0, 1024, 0.0f, 1.0f), immediate(3, 256, 0.5f)},
         0.3f,
         noErr,
         {0.0f, 0.25f},
         0.5f},
        {"begun in an earlier slice",
         {ramped(12, -512, 1024, 0.0f, 1.0f)},
         0.3f,
         noErr,
         {0.5f},
         1.0f},
        {"an immediate event after the ramp has the last word",
         {ramped(12, 0, 512, 1.0f, 0.0f), immediate(12, 400, 0.25f)},
         0.3f,
         noErr,
         {1.0f, 0.25f},
         0.25f},
        {"one bad event among good ones",
         {ramped(12, 0, 512, 1.0f, 0.0f), immediate(1024, 0, 0.5f), immediate(14, 0, 0.3f)},
         0.3f,
         kAudioUnitErr_InvalidParameter,
         {1.0f},
         0.0f},
    };
    fx().watch = 12;
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(host.setParameter(12, r.before), noErr);
        fx().processes.clear();
        EXPECT_EQ(host.scheduleParameters(r.events), r.status);
        ASSERT_EQ(host.render(512), noErr);
        ASSERT_EQ(fx().processes.size(), r.heard.size());
        for (std::size_t i = 0; i < r.heard.size(); ++i)
            EXPECT_FLOAT_EQ(fx().processes[i].watched, r.heard[i]) << i;
        float value = -1.0f;
        ASSERT_EQ(host.getParameter(12, value), noErr);
        EXPECT_FLOAT_EQ(value, r.after);
        EXPECT_FLOAT_EQ(fx().params[12], r.after);
        if (r.status != noErr) {
            EXPECT_FLOAT_EQ(fx().params[14], 0.3f); // the good events applied
            ASSERT_EQ(host.getParameter(14, value), noErr);
            EXPECT_FLOAT_EQ(value, 0.3f);
        }
    }
}

// Sizes are checked in 64 bits: frames x bytes per frame beyond 32 bits
// is refused like any other count too large for the host's buffers, and
// nothing is written.
TEST_F(AURender, ABufferTooSmallIsRefusedWhateverTheFrameCount) {
    const UInt32 most = (1u << 30) + 4;
    ASSERT_EQ(unit().SetMaxFramesPerSlice(most), noErr); // as a host that asked for so much
    const struct {
        UInt32 frames;
        OSStatus status;
    } rows[] = {{4, noErr},
                {5, kAudio_ParamError},
                {4096, kAudio_ParamError},
                {1u << 30, kAudio_ParamError},       // 2^32 bytes: 0 in 32 bits
                {(1u << 30) + 4, kAudio_ParamError}, // 2^32 + 16 bytes: 16 in 32 bits
                {(1u << 30) + 3, kAudio_ParamError}};
    for (const auto& r : rows) {
        SCOPED_TRACE(r.frames);
        std::vector<float> left(8, AUTestHost::kCanary), right(8, AUTestHost::kCanary);
        struct {
            UInt32 count;
            AudioBuffer b[2];
        } list{2, {{1, 16, left.data()}, {1, 16, right.data()}}};
        AudioUnitRenderActionFlags flags = 0;
        EXPECT_EQ(unit().DoRender(&flags, &host.stamp, 0, r.frames,
                                  reinterpret_cast<AudioBufferList*>(&list)),
                  r.status);
        const float written = r.status == noErr ? FakeEffect::kWritten : AUTestHost::kCanary;
        EXPECT_TRUE(all(left.data(), 4, written));
        EXPECT_TRUE(all(right.data(), 4, written));
        EXPECT_TRUE(all(left.data() + 4, 4, AUTestHost::kCanary));
    }
    ASSERT_EQ(unit().SetMaxFramesPerSlice(512), noErr);
}

TEST_F(AURender, TheTimeRecordFollowsTheHostsCallbacks) {
    FakeEffect& e = fx();
    e.readTime = true;
    host.stamp.mSampleTime = 4096;
    host.stamp.mHostTime = 123456789;
    host.stamp.mSMPTETime.mType = kSMPTETimeType2997;
    host.stamp.mSMPTETime.mCounter = 77;
    host.stamp.mFlags = kAudioTimeStampHostTimeValid | kAudioTimeStampSMPTETimeValid;
    const struct {
        const char* what;
        bool beat, musical, transport;
        double tempo;
        bool record;
        VstInt32 flags; // besides nanos and SMPTE
    } rows[] = {
        {"all callbacks", true, true, true, 97.5, true,
         kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid |
             kVstTransportPlaying},
        {"tempo 0", true, true, true, 0.0, false, 0},
        {"tempo below 0", true, true, true, -1.0, false, 0},
        {"tempo NaN", true, true, true, std::nan(""), false, 0},
        {"no callbacks", false, false, false, 97.5, true, 0},
        {"beat only", true, false, false, 97.5, true, kVstTempoValid | kVstPpqPosValid},
        {"musical time, no beat", false, true, true, 97.5, true,
         kVstBarsValid | kVstTimeSigValid | kVstTransportPlaying},
        {"no transport callback", true, true, false, 97.5, true,
         kVstTempoValid | kVstPpqPosValid | kVstBarsValid | kVstTimeSigValid |
             kVstTransportPlaying | kVstTransportChanged},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        host.time = {r.beat, r.musical, r.transport, 12.25, r.tempo, 300,
                     7.0f,   8,         8.0,         true,  false};
        ASSERT_EQ(host.offerCallbacks(), noErr);
        ASSERT_EQ(host.render(64), noErr);
        ASSERT_EQ(e.hadTime, r.record);
        if (!r.record) continue;
        const VstTimeInfo& t = e.time;
        EXPECT_EQ(t.flags, r.flags | kVstNanosValid | kVstSmpteValid);
        EXPECT_EQ(t.tempo, r.beat ? 97.5 : 120.0);
        EXPECT_EQ(t.samplePos, host.stamp.mSampleTime - 64);
        EXPECT_EQ(t.sampleRate, 44100.0);
        EXPECT_EQ(t.nanoSeconds, 123456789.0);
        EXPECT_EQ(t.smpteFrameRate, 2);
        EXPECT_EQ(t.smpteOffset, 77);
        if (r.beat) {
            EXPECT_EQ(t.ppqPos, 12.25);
        }
        if (r.musical) {
            EXPECT_EQ(t.timeSigNumerator, 7);
            EXPECT_EQ(t.timeSigDenominator, 8);
            EXPECT_EQ(t.barStartPos, 8.0);
            EXPECT_EQ(t.samplesToNextClock, 300);
        }
    }
}

// One thread plays MIDI as fast as it can by both paths while this one
// renders: every event is delivered once or counted as dropped.
TEST_F(AURender, StressMidiAgainstTheRenderThread) {
    constexpr int kSent = 100000;
    std::atomic<bool> rendering{false};
    std::atomic<bool> done{false};
    std::thread player([&] {
        // Start once the renderer runs, so the two really overlap.
        while (!rendering.load()) std::this_thread::yield();
        for (int i = 0; i < kSent; ++i)
            send(i % 2 == 1, 0x90 | (i & 15), i & 127, 64, static_cast<UInt32>(i % 512));
        done.store(true);
    });
    int slices = 0;
    do {
        ASSERT_EQ(host.render(512), noErr);
        ++slices;
        rendering.store(true);
    } while (!done.load());
    player.join();
    ASSERT_EQ(host.render(512), noErr); // what was still pending
    EXPECT_EQ(fx().received.load() + static_cast<long>(unit().DroppedEvents()), kSent);
    EXPECT_GT(slices, 0);
}

TEST_F(AURender, RenderingAllocatesNothing) {
    const std::vector<AudioUnitParameterEvent> split = {immediate(3, 200, 0.5f),
                                                        ramped(5, 0, 512, 0.0f, 1.0f)};
    fx().readTime = true;
    host.time = {};
    ASSERT_EQ(host.offerCallbacks(), noErr);
    for (int warm = 0; warm < 2; ++warm) ASSERT_EQ(host.render(512), noErr);
    AllocationWatch watch;
    for (int i = 0; i < 50; ++i) {
        host.midiFast(0x80, 60, 0, 400);
        host.midi(0x90, 60, 100, 17); // out of order: sorted in place
        host.scheduleParameters(split);
        ASSERT_EQ(host.render(512), noErr);
    }
    EXPECT_EQ(watch.count(), 0);
}

// The real plug-in inside the unit, as an AU host plays it.
TEST(AURealPlugin, PlaysANoteAndFallsSilentAfterItsRelease) {
    const long liveAtStart = CFLiveObjectCount();
    {
        AUTestHost host({AUPLUGINEntry, AUPLUGINFactory});
        ASSERT_EQ(host.open(OpenWay::Entry), noErr);
        ASSERT_EQ(host.setOutputFormat(canonicalFormat(48000, 2)), noErr);
        ASSERT_EQ(host.setMaxFrames(512), noErr);
        ASSERT_EQ(host.offerCallbacks(), noErr);
        ASSERT_EQ(host.initialize(), noErr);

        std::vector<float> left;
        float peak = 0.0f;
        bool finite = true;
        auto play = [&](int slices) {
            for (int s = 0; s < slices; ++s) {
                ASSERT_EQ(host.render(512), noErr);
                for (int c = 0; c < 2; ++c)
                    for (int i = 0; i < 512; ++i) {
                        const float x = host.channel(c)[i];
                        finite &= std::isfinite(x);
                        peak = std::max(peak, std::fabs(x));
                    }
                left.insert(left.end(), host.channel(0), host.channel(0) + 512);
            }
        };
        play(16); // past the start-up
        left.clear();
        ASSERT_EQ(host.midiFast(0x90, 69, 100, 0), noErr);
        play(64);
        const std::vector<float> held(left.begin() + 8192, left.end());
        EXPECT_NEAR(spectrum::peakFrequency(held, 48000.0, 150.0, 300.0), 220.0, 0.5);
        EXPECT_GT(spectrum::rms(held), 0.01);

        ASSERT_EQ(host.midi(0x80, 69, 0, 0), noErr);
        left.clear();
        play(48); // half a second: longer than the release
        const float tail = *std::max_element(left.end() - 512, left.end(), [](float a, float b) {
            return std::fabs(a) < std::fabs(b);
        });
        EXPECT_LT(std::fabs(tail), 1e-5f);
        EXPECT_TRUE(finite);
        EXPECT_LE(peak, 0.999f);
    }
    EXPECT_EQ(CFLiveObjectCount(), liveAtStart);
}

// The real plug-in inside the unit: what a host sends out of order, with a
// byte out of range or as a ramp is heard as it was meant. A value scheduled
// beyond the range, or not a number, immediately or as a ramp's end, is read
// back by the host as the plug-in took it (as a value set directly is),
// within 0..1.
TEST(AURealPlugin, EventsAreHeardAsMeant) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    const struct {
        const char* what;
        void (*send)(AUTestHost& host); // else the event is scheduled
        bool sounds;                    // at the end
        AudioUnitParameterEvent event{};
    } rows[] = {
        {"note off at 1 sent before the note on at 0",
         [](AUTestHost& host) {
             host.midi(0x80, 60, 0, 1);
             host.midi(0x90, 60, 100, 0);
         },
         false},
        {"a note on whose note number is out of range",
         [](AUTestHost& host) { host.midiFast(0x90, 0xBC, 100, 0); }, false},
        {"a held note ramped to silence by Main Volume",
         [](AUTestHost& host) {
             host.midi(0x90, 69, 100, 0);
             host.render(512);
             host.scheduleParameters({ramped(tag::MainVolume, 0, 512, 1.0f, 0.0f)});
         },
         false},
        {"a held note", [](AUTestHost& host) { host.midi(0x90, 69, 100, 0); }, true},
        {"not a number at frame 100", nullptr, false, immediate(tag::FilterFreq, 100, nan)},
        {"1.5 at frame 0", nullptr, false, immediate(tag::FilterFreq, 0, 1.5f)},
        {"-0.25 at frame 511", nullptr, false, immediate(tag::FilterFreq, 511, -0.25f)},
        {"infinity beyond the slice", nullptr, false, immediate(tag::FilterFreq, 700, inf)},
        {"a switch at 0.7", nullptr, false, immediate(tag::ArpLatchOn, 10, 0.7f)},
        {"a ramp to 1.5", nullptr, false, ramped(tag::FilterFreq, 0, 256, 0.2f, 1.5f)},
        {"a ramp from not a number", nullptr, false, ramped(tag::FilterFreq, 16, 64, nan, 0.3f)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        AUTestHost host({AUPLUGINEntry, AUPLUGINFactory});
        ASSERT_EQ(host.open(OpenWay::Entry), noErr);
        ASSERT_EQ(host.setOutputFormat(canonicalFormat(48000, 2)), noErr);
        ASSERT_EQ(host.setMaxFrames(512), noErr);
        ASSERT_EQ(host.initialize(), noErr);
        for (int s = 0; s < 16; ++s) ASSERT_EQ(host.render(512), noErr); // past the start-up
        if (r.send)
            r.send(host);
        else
            ASSERT_EQ(host.scheduleParameters({r.event}), noErr);
        float peak = 0.0f;
        for (int s = 0; s < 96; ++s) { // a second: longer than any release
            ASSERT_EQ(host.render(512), noErr);
            if (s < 88) continue;
            for (int c = 0; c < 2; ++c)
                for (int i = 0; i < 512; ++i) peak = std::max(peak, std::fabs(host.channel(c)[i]));
        }
        if (r.sounds)
            EXPECT_GT(peak, 0.01f);
        else
            EXPECT_LT(peak, 1e-5f);
        // What the host reads back is what the instrument plays.
        auto* unit = static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()));
        for (const int t : {tag::MainVolume, tag::FilterFreq, tag::ArpLatchOn}) {
            float value = -1.0f;
            ASSERT_EQ(host.getParameter(static_cast<AudioUnitParameterID>(t), value), noErr);
            EXPECT_EQ(value, unit->Effect()->getParameter(t)) << t;
            EXPECT_TRUE(value >= 0.0f && value <= 1.0f) << t << ": " << value;
        }
    }
}

// Not a number from the host, set directly, scheduled or as a ramp, is
// stored as 0 (as the plug-in's own entry and a restored state take it),
// and the host reads back 0.
TEST(AURealPlugin, NotANumberIsTakenAsZero) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const auto id = static_cast<AudioUnitParameterID>(tag::ArpNumSteps);
    AUTestHost host({AUPLUGINEntry, AUPLUGINFactory});
    ASSERT_EQ(host.open(OpenWay::Entry), noErr);
    ASSERT_EQ(host.setOutputFormat(canonicalFormat(48000, 2)), noErr);
    ASSERT_EQ(host.setMaxFrames(512), noErr);
    ASSERT_EQ(host.initialize(), noErr);
    auto* unit = static_cast<AUPLUGIN*>(static_cast<AUBase*>(host.storage()));
    const auto& plugin = *static_cast<const APlugin*>(unit->Effect());
    const struct {
        const char* what;
        std::function<OSStatus()> send;
    } rows[] = {
        {"set directly", [&] { return host.setParameter(id, nan); }},
        {"scheduled at frame 0", [&] { return host.scheduleParameters({immediate(id, 0, nan)}); }},
        {"scheduled at frame 100",
         [&] { return host.scheduleParameters({immediate(id, 100, nan)}); }},
        {"a ramp to it", [&] { return host.scheduleParameters({ramped(id, 0, 64, 0.5f, nan)}); }},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        ASSERT_EQ(host.setParameter(id, 0.6f), noErr);
        ASSERT_EQ(r.send(), noErr);
        ASSERT_EQ(host.render(512), noErr);
        float value = -1.0f;
        ASSERT_EQ(host.getParameter(id, value), noErr);
        EXPECT_EQ(value, 0.0f);
        EXPECT_EQ(plugin.getStoredValue(tag::ArpNumSteps), 0.0f);
    }
}
