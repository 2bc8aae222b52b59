// Values the render loop keeps while their inputs stand still (the master
// gain, the arpeggiator's swing, gate and smoothing, the XY smoothing), the
// voices it looks at for the list (the listed ones and those started since),
// and envelopes whose release has ended, which step without their inputs.
// A change after a rest must sound exactly as with all of them made afresh.

#include "core/mod_slots.h"
#include "core/modes.h"
#include "engine/envelope.h"
#include "support/plugin_harness.h"

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
