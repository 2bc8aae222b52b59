// Values the render loop keeps while their inputs stand still (the master
// gain, the arpeggiator's swing, gate and smoothing, the XY smoothing), the
// voices it looks at for the list (the listed ones and those started since),
// and envelopes whose release has ended, which step without their inputs.
// A change after a rest must sound exactly as with all of them made afresh.

#include "core/mod_slots.h"
#include "core/modes.h"
#include "engine/envelope.h"
#include "support/plugin_harness.h"
#include "support/temp_prefs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <vector>

namespace {

// Everything made again, every voice looked at.
void forgetControlCaches(EngineState& e) {
    e.render.masterGainValid = false;
    e.arp.factorsValid = false;
    e.xy.smoothValid = false;
    e.render.startedVoices = (1u << kNumVoices) - 1u;
}

} // namespace

TEST(ControlCaches, ChangesAfterARestSoundAsWithEverythingMadeAfresh) {
    struct Case {
        const char* what;
        std::function<void(PluginHarness&)> setup;
        std::function<void(PluginHarness&, EventBlock&, int)> change; // at a block offset
        bool release = false; // the notes end early, the change comes after silence
    };
    const Case cases[] = {
        {"main volume", [](PluginHarness&) {},
         [](PluginHarness& h, EventBlock&, int) { h.p().setParameter(tag::MainVolume, 0.45f); }},
        {"arp swing and note length",
         [](PluginHarness& h) {
             h.setStep(tag::PlayMode, playmode::Arp);
             h.p().setModSlotVar(0, false, 0.9f, src::ModWheel, dst::ArpNoteLength);
         },
         [](PluginHarness& h, EventBlock& events, int offset) {
             h.p().setParameter(tag::ArpSwing, 0.8f);
             events.midi(offset, 0xB0, 1, 127);
         }},
        {"a note after silence", [](PluginHarness&) {},
         [](PluginHarness&, EventBlock& events, int offset) { events.noteOn(offset, 67); }, true},
        {"a note after silence, inverse envelope read",
         [](PluginHarness& h) {
             h.p().setModSlotVar(0, false, 0.8f, src::InvAmpEnv, dst::FilterFreq);
         },
         [](PluginHarness&, EventBlock& events, int offset) { events.noteOn(offset, 50, 60); },
         true},
    };
    constexpr int kFrames = 12288, kChange = 9003, kBlock = 4;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> outputs[2];
        for (bool afresh : {false, true}) {
            PluginHarness h;
            c.setup(h);
            h.send(EventBlock().noteOn(0, 48).noteOn(0, 55).noteOn(0, 64));
            for (int f = 0; f < kFrames; f += kBlock) {
                EventBlock events;
                if (c.release && f == 2048) events.noteOff(1, 48).noteOff(1, 55).noteOff(1, 64);
                if (f <= kChange && kChange < f + kBlock) c.change(h, events, kChange - f);
                if (events.size() > 0) h.send(events);
                if (afresh) forgetControlCaches(h.engine());
                h.render(kBlock);
                std::vector<float>& out = outputs[afresh ? 1 : 0];
                out.insert(out.end(), h.left.begin(), h.left.begin() + kBlock);
                out.insert(out.end(), h.right.begin(), h.right.begin() + kBlock);
            }
        }
        ASSERT_EQ(outputs[0].size(), outputs[1].size());
        EXPECT_EQ(std::memcmp(outputs[0].data(), outputs[1].data(), outputs[0].size() * 4), 0);
        float after = 0.0f; // the change is heard
        for (size_t i = 2 * kChange; i < outputs[0].size(); ++i)
            after = std::max(after, std::fabs(outputs[0][i]));
        EXPECT_GT(after, 0.01f);
    }
}

TEST(ControlCaches, EndedReleaseStepsAsAFullStep) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double releaseLevel, releaseOutput;
        bool curved, amplitude, ended;
    };
    const Case cases[] = {
        {0.0, 0.0, true, false, true},   {0.7, 0.4, true, false, true},
        {inf, 0.5, true, true, true},    {-0.0, 0.3, false, false, true},
        {-0.5, 0.4, true, false, false}, {0.5, -0.0, true, false, false},
        {nan, 0.4, true, false, false},  {0.5, inf, false, false, false},
    };
    for (const Case& c : cases) {
        EnvelopeState s;
        s.stage = kEnvRelease;
        s.releaseLevel = c.releaseLevel;
        s.releaseOutput = c.releaseOutput;
        EXPECT_EQ(Envelope::releaseEnded(s, true), c.ended) << c.releaseLevel;
        EXPECT_FALSE(Envelope::releaseEnded(s, false));
        if (!c.ended) continue;
        EnvelopeInputs in;
        in.release = 0.3;
        in.curved = c.curved;
        in.amplitude = c.amplitude;
        in.releasing = true;
        in.releaseShape = 1.0; // odd: a sign would show
        EnvelopeState stepped = s;
        Envelope::step(stepped, in);
        auto bits = [](double x) { return std::bit_cast<uint64_t>(x); };
        EXPECT_EQ(stepped.stage, s.stage);
        for (auto field :
             {&EnvelopeState::level, &EnvelopeState::output, &EnvelopeState::prevOutput,
              &EnvelopeState::releaseLevel, &EnvelopeState::releaseOutput, &EnvelopeState::ramp})
            EXPECT_EQ(bits(stepped.*field), bits(s.*field)) << c.releaseLevel;
    }
}

// The 128-frame tick's work (setGlobalRare) rests while no value, lock, MIDI
// event, rate or tempo changed. A change by each way a value reaches the
// engine must sound exactly as with that work run at every tick.
TEST(ControlCaches, RareWorkFollowsEveryWayAValueChanges) {
    struct Case {
        const char* what;
        std::function<void(PluginHarness&)> setup;
        std::function<void(PluginHarness&, EventBlock&, int)> change; // at a block offset
    };
    constexpr int lfoWave = tag::freeLfoWave(0);
    std::vector<unsigned char> state; // another filter type, as a host saved it
    {
        PluginHarness other;
        other.p().core.host.hostIsOwn = true;
        other.p().setSteppedValue(tag::FilterType, 2);
        void* data = nullptr;
        const VstInt32 size = other.p().getChunk(&data, false);
        const auto* bytes = static_cast<const unsigned char*>(data);
        state.assign(bytes, bytes + size);
    }
    const Case cases[] = {
        {"host: an LFO's wave", [](PluginHarness&) {},
         [](PluginHarness& h, EventBlock&, int) { h.p().setParameter(lfoWave, 0.7f); }},
        {"editor: the filter type", [](PluginHarness&) {},
         [](PluginHarness& h, EventBlock&, int) { h.p().setSteppedValue(tag::FilterType, 3); }},
        {"MIDI learn: an LFO's wave",
         [](PluginHarness& h) {
             h.p().setParameter(lfoWave, 0.0f);
             h.p().setMIDILatch(lfoWave, true);
         },
         [](PluginHarness&, EventBlock& events, int offset) {
             events.cc(offset, 20, 0).cc(offset, 20, 89); // picked up, then moved
         }},
        {"a state restored", [](PluginHarness& h) { h.p().core.host.hostIsOwn = true; },
         [&state](PluginHarness& h, EventBlock&, int) {
             std::vector<unsigned char> copy = state;
             h.p().setChunk(copy.data(), static_cast<VstInt32>(copy.size()), false);
         }},
        {"a locked value", [](PluginHarness& h) { h.p().setLockState(kLockArp, 1); },
         [](PluginHarness& h, EventBlock&, int) { h.p().setLockVar(tag::ArpOctave, 1.0f); }},
        {"a lock released without its held values",
         [](PluginHarness& h) {
             h.p().setLockState(kLockArp, 1);
             h.p().setParameter(tag::ArpOctave, 1.0f); // read once unlocked
         },
         [](PluginHarness& h, EventBlock&, int) { h.p().setLockState(kLockArp, 0); }},
    };
    constexpr int kFrames = 8192, kChange = 5003, kBlock = 64;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempPrefs prefs; // learning touches the preference store
        std::vector<float> outputs[2];
        for (bool everyTick : {false, true}) {
            PluginHarness h;
            h.engine().render.controlPlan.everyFrame = everyTick;
            h.p().setModSlotVar(0, false, 0.9f, src::Free1Lfo, dst::FilterFreq);
            c.setup(h);
            h.send(EventBlock().noteOn(0, 48).noteOn(0, 55).noteOn(0, 64));
            for (int f = 0; f < kFrames; f += kBlock) {
                EventBlock events;
                if (f <= kChange && kChange < f + kBlock) c.change(h, events, kChange - f);
                if (events.size() > 0) h.send(events);
                h.render(kBlock);
                std::vector<float>& out = outputs[everyTick ? 1 : 0];
                out.insert(out.end(), h.left.begin(), h.left.begin() + kBlock);
                out.insert(out.end(), h.right.begin(), h.right.begin() + kBlock);
            }
        }
        ASSERT_EQ(outputs[0].size(), outputs[1].size());
        int differing = 0;
        for (std::size_t i = 0; i < outputs[0].size(); ++i)
            differing +=
                std::bit_cast<uint32_t>(outputs[0][i]) != std::bit_cast<uint32_t>(outputs[1][i]);
        EXPECT_EQ(differing, 0);
    }
}

// The global sums reset only the destinations the slots write; a routing
// change brings every destination no slot targets any more back to its base.
TEST(ControlCaches, GlobalSumsLeaveOnlyTargetedDestinationsOffTheirBase) {
    PluginHarness h;
    struct Routing {
        int slot, source, dest;
    };
    const Routing routings[] = {{0, src::Offset, dst::GlobalLfoSpeed},
                                {1, src::Offset, dst::FilterFreq},
                                {0, src::Offset, dst::MainPan},
                                {1, src::Offset, dst::OscMorph},
                                {1, src::None, dst::OscMorph}};
    h.send(EventBlock().noteOn(0, 60));
    for (const Routing& r : routings) {
        h.p().setModSlotVar(r.slot, false, 0.9f, r.source, r.dest);
        h.render(700);
        const EngineState& e = h.engine();
        int off = 0;
        for (int d = 0; d < dst::Count; ++d) {
            if (e.matrix.destUsed[d]) continue;
            EXPECT_EQ(std::bit_cast<uint32_t>(e.global.dst[d]),
                      std::bit_cast<uint32_t>(e.destBase[d]))
                << "slot " << r.slot << " to " << r.dest << ": destination " << d;
        }
        for (int d = 0; d < dst::Count; ++d) off += e.global.dst[d] != e.destBase[d];
        if (r.source == src::Offset) {
            EXPECT_GT(off, 0) << "the slot moves its destination";
        }
    }
}
