// Control work the render loop skips while its inputs rest: envelope inputs
// kept between steps, held envelopes stepped without them, the voices' XY
// sources written only while they move, and the editor's copies published
// at a block's last tick. Each must leave exactly what the full work would.

#include "core/mod_slots.h"
#include "engine/envelope.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

bool sameInputs(const EnvelopeInputs& a, const EnvelopeInputs& b) {
    auto bits = [](double x) { return std::bit_cast<uint64_t>(x); };
    return bits(a.attack) == bits(b.attack) && bits(a.decay) == bits(b.decay) &&
           bits(a.sustain) == bits(b.sustain) && bits(a.fade) == bits(b.fade) &&
           bits(a.release) == bits(b.release) && bits(a.speed) == bits(b.speed) &&
           bits(a.decayShape) == bits(b.decayShape) &&
           bits(a.releaseShape) == bits(b.releaseShape) && a.curved == b.curved &&
           a.synced == b.synced && a.freeEnvelope == b.freeEnvelope && a.amplitude == b.amplitude &&
           bits(a.sampleRate) == bits(b.sampleRate) &&
           bits(a.samplesPerWholeNote) == bits(b.samplesPerWholeNote);
}

bool sameState(const EnvelopeState& a, const EnvelopeState& b) {
    return a.stage == b.stage && std::memcmp(&a.level, &b.level, sizeof(double)) == 0 &&
           std::memcmp(&a.output, &b.output, sizeof(double)) == 0 &&
           std::memcmp(&a.prevOutput, &b.prevOutput, sizeof(double)) == 0 &&
           std::memcmp(&a.releaseLevel, &b.releaseLevel, sizeof(double)) == 0 &&
           std::memcmp(&a.releaseOutput, &b.releaseOutput, sizeof(double)) == 0 &&
           std::memcmp(&a.ramp, &b.ramp, sizeof(double)) == 0;
}

} // namespace

TEST(ControlRest, HeldEnvelopeStepsAlikeWhateverItsInputs) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    struct Case {
        double level, output, sustain, speed, shape;
        bool curved, synced;
    };
    const Case cases[] = {
        {0.6, 0.6, 0.2, 1.0, 1.7, false, false},    {0.6, 0.4, 0.9, 3.0, 0.1, true, false},
        {0.0, 0.0, 0.5, nan, nan, true, true},      {1.0, 0.3, inf, inf, inf, false, true},
        {0.25, 0.25, -1.0, 0.0, 16.0, true, false},
    };
    for (const Case& c : cases) {
        EnvelopeState held;
        held.stage = kEnvSustain;
        held.level = c.level;
        held.output = c.output;
        EnvelopeInputs in;
        in.gateOn = true;
        in.sustain = c.sustain;
        in.speed = c.speed;
        in.decayShape = in.releaseShape = c.shape;
        in.curved = c.curved;
        in.synced = c.synced;
        ASSERT_TRUE(Envelope::holds(held, in.freeEnvelope, in.releasing));
        EnvelopeState stepped = held;
        for (int i = 0; i < 3; ++i) {
            Envelope::step(stepped, in);
            Envelope::stepHeld(held);
            EXPECT_TRUE(sameState(held, stepped)) << c.level << " " << c.sustain << " step " << i;
        }
    }
    EnvelopeState s;
    s.stage = kEnvSustain;
    EXPECT_FALSE(Envelope::holds(s, true, false)); // a free envelope fades
    EXPECT_FALSE(Envelope::holds(s, false, true)); // releasing
    s.stage = kEnvDecay;
    EXPECT_FALSE(Envelope::holds(s, false, false)); // still moving
}

// The kept inputs follow every parameter, modulation sum, rate and tempo
// they come from, for every envelope, voice and global.
TEST(ControlRest, KeptEnvelopeInputsFollowWhatTheyComeFrom) {
    PluginHarness h;
    APlugin& p = h.p();
    h.send(EventBlock().noteOn(0, 60));
    h.render(256);
    ModRow& row = h.voice(0).mod;
    struct Change {
        const char* what;
        void (*apply)(PluginHarness&, ModRow&);
    };
    const Change changes[] = {
        {"nothing", [](PluginHarness&, ModRow&) {}},
        {"amp decay",
         [](PluginHarness& hh, ModRow&) { hh.p().setParameter(tag::AmpEnvDecay, 0.9f); }},
        {"filter sustain",
         [](PluginHarness& hh, ModRow&) { hh.p().setParameter(tag::FilterEnvSustain, 0.1f); }},
        {"free fade",
         [](PluginHarness& hh, ModRow&) {
             hh.p().setParameter(tag::freeEnv(1, tag::FreeEnvFade), 0.8f);
         }},
        {"curve switch",
         [](PluginHarness& hh, ModRow&) { hh.p().setParameter(tag::ExpEnvShapeOn, 0.0f); }},
        {"attack sum", [](PluginHarness&, ModRow& r) { r.dst[dst::AmpEnvAttack] = 0.25f; }},
        {"fade sum", [](PluginHarness&, ModRow& r) { r.dst[dst::FreeEnv2Fade] = -0.5f; }},
        {"speed sum", [](PluginHarness&, ModRow& r) { r.dst[dst::GlobalEnvSpeed] = 2.0f; }},
        {"shape sum", [](PluginHarness&, ModRow& r) { r.dst[dst::FilterEnvReleaseShape] = 0.3f; }},
        {"negative zero", [](PluginHarness&, ModRow& r) { r.dst[dst::AmpEnvSustain] = -0.0f; }},
        {"rate", [](PluginHarness& hh, ModRow&) { hh.engine().rate.sampleRateD = 96000.0; }},
        {"tempo",
         [](PluginHarness& hh, ModRow&) { hh.engine().render.samplesPerWholeNoteD = 12345.0; }},
    };
    for (const Change& c : changes) {
        SCOPED_TRACE(c.what);
        c.apply(h, row);
        for (int env = 0; env < kNumEnvelopes; ++env)
            for (bool synced : {false, true}) {
                for (ModRow* r : {&row, &h.engine().global}) {
                    EnvelopeInputCache& cache =
                        r == &row ? h.voice(0).envInputs[env] : h.engine().globalEnvInputs[env];
                    const EnvelopeInputs fresh = p.envelopeInputs(env, *r, synced);
                    EXPECT_TRUE(sameInputs(p.cachedEnvelopeInputs(env, *r, synced, cache), fresh))
                        << "envelope " << env << " synced " << synced;
                }
            }
    }
}

// Live: a pad move, a record pass and a slot that starts reading the distance
// all reach the voices' sources, which rest in between.
TEST(ControlRest, RestingXYSourcesFollowThePadModesAndRouting) {
    PluginHarness h;
    h.setStep(tag::XYRecordMode, xyrecord::Live);
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 67));
    h.render(512);
    auto expectSourcesAtPair = [&](const char* when) {
        for (int v : {0, 1}) {
            const XYVoice& xv = h.engine().xy.voices[v];
            const auto& s = h.voice(v).mod.src;
            const float bx = 2.0f * xv.pair[0] - 1.0f, by = 2.0f * xv.pair[1] - 1.0f;
            EXPECT_EQ(s[src::XYX], bx) << when << " voice " << v;
            EXPECT_EQ(s[src::XYY], by) << when << " voice " << v;
            EXPECT_EQ(s[src::UniXYX], xv.pair[0]) << when << " voice " << v;
            EXPECT_EQ(s[src::UniXYY], xv.pair[1]) << when << " voice " << v;
            if (h.engine().matrix.sourceUsed[src::XYDistance]) {
                EXPECT_EQ(s[src::XYDistance], std::min(xyDistance(bx, by), 1.0f)) << when;
            }
        }
    };
    expectSourcesAtPair("at rest");
    EXPECT_TRUE(h.engine().xy.voices[0].resting);

    h.p().setParameter(tag::XYX, 0.9f);
    h.p().setParameter(tag::XYY, 0.2f);
    h.render(512);
    EXPECT_FLOAT_EQ(h.voice(0).mod.src[src::UniXYX], 0.9f);
    expectSourcesAtPair("after a pad move");

    h.setStep(tag::XYRecordMode, xyrecord::Record);
    h.render(256);
    h.setStep(tag::XYRecordMode, xyrecord::Live);
    h.p().setParameter(tag::XYX, 0.3f);
    h.render(512);
    expectSourcesAtPair("back from recording");

    h.p().setModSlotVar(0, false, 0.8f, src::XYDistance, dst::FilterFreq);
    h.render(512);
    ASSERT_TRUE(h.engine().matrix.sourceUsed[src::XYDistance]);
    expectSourcesAtPair("with the distance read");
}

// Blocks of any length leave the editor's copies as the block's last tick
// had them; the arpeggiator's follow every tick.
TEST(ControlRest, DisplayShowsTheLastTickOfEveryBlock) {
    PluginHarness h;
    h.p().setModSlotVar(0, false, 0.9f, src::Free1Lfo, dst::FilterFreq);
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    for (int frames : {512, 37, 16, 100, 1, 15, 333}) {
        h.render(frames);
        const EngineState& e = h.engine();
        for (int k = 0; k < dst::Count; ++k)
            ASSERT_EQ(e.display.globalDst[k].get(), e.global.dst[k]) << frames << " dst " << k;
        EXPECT_EQ(e.display.masterGain.get(), e.render.masterGain) << frames;
        uint32_t sounding = 0;
        for (int v = 0; v < kNumVoices; ++v)
            if (e.voices[v].sounds()) sounding |= 1u << v;
        EXPECT_EQ(e.display.soundingVoices.get(), sounding) << frames;
    }
}
