// Control work the render loop skips while its inputs rest: envelope inputs
// kept between steps, held envelopes stepped without them, the voices' XY
// sources written only while they move, and the editor's copies published
// at a block's last tick. Each must leave exactly what the full work would.

#include "core/mod_slots.h"
#include "engine/envelope.h"
#include "engine/matrix.h"
#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

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

void send(PluginHarness& h, int status, int d1, int d2) {
    h.send(EventBlock().midi(0, status, d1, d2));
}

int differing(const std::vector<uint32_t>& a, const std::vector<uint32_t>& b) {
    if (a.size() != b.size()) return -1;
    int n = 0;
    for (std::size_t i = 0; i < a.size(); ++i) n += a[i] != b[i];
    return n;
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

// The per-frame envelope sources: resting envelopes keep the values their
// tick frame wrote, inverse sources appear when a slot starts reading them
// and a reset of the envelopes wakes the resting voices.
TEST(ControlRest, EnvelopeSourcesFollowRestsRoutingAndResets) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(44100); // well into the sustain
    auto expectSources = [&](const char* when, bool inverses) {
        for (int v : {0, 1})
            for (int e : {kEnvAmp, kEnvFilter}) {
                const auto& s = h.voice(v).mod.src;
                const EnvelopeState& env = h.voice(v).env[e];
                ASSERT_EQ(env.ramp, 0.0) << when;
                EXPECT_EQ(s[src::EnvFirst + 2 * e], static_cast<float>(env.prevOutput))
                    << when << " voice " << v << " envelope " << e;
                if (inverses) {
                    EXPECT_EQ(s[src::EnvFirst + 2 * e + 1], 1.0f - s[src::EnvFirst + 2 * e])
                        << when << " voice " << v << " envelope " << e;
                }
            }
    };
    expectSources("at rest", false);
    EXPECT_EQ(h.voice(0).envRest.restingGeneration, h.engine().matrix.generation);

    h.p().setModSlotVar(0, false, 0.6f, src::InvAmpEnv, dst::OscMorph);
    h.p().setModSlotVar(1, false, 0.6f, src::InvFilterEnv, dst::FilterFreq);
    h.render(300);
    ASSERT_TRUE(h.engine().matrix.sourceUsed[src::InvAmpEnv]);
    expectSources("with the inverses read", true);

    h.p().initEnv(1, -1); // every voice's envelopes back to zero
    for (int v : {0, 1}) EXPECT_EQ(h.voice(v).envRest.restingGeneration, 0u);
    h.render(1); // a tick or not, the sources start again from the reset levels
    for (int v : {0, 1})
        for (int e : {kEnvAmp, kEnvFilter}) {
            EXPECT_EQ(h.voice(v).mod.src[src::EnvFirst + 2 * e], 0.0f) << "voice " << v;
            EXPECT_EQ(h.voice(v).mod.src[src::EnvFirst + 2 * e + 1], 1.0f) << "voice " << v;
        }
}

// Which listed voices have control work on a frame is planned ahead and kept
// while nothing restarts or wakes a voice; resting controller glides skip
// their passes. Events after a long rest, off the voices' ticks, must sound
// the same as with the plan made anew on every frame and a program change
// (which changes nothing else) on every frame, so that no glide rests; and
// a moved controller keeps gliding after a rest.
TEST(ControlRest, EventsAfterARestSoundAsWithEveryFrameWoken) {
    struct Event {
        int frame, status, d1, d2;
    };
    struct Case {
        const char* what;
        int source; // read by slot 0, -1 none
        std::vector<Event> events;
        int glide;         // the source that must glide after the first event, -1 none
        bool full = false; // every voice holds a note: a new one takes a sounding voice
    };
    const Case cases[] = {
        {"mod wheel", src::ModWheel, {{1037, 0xB0, 1, 127}}, src::ModWheel},
        {"mapped controller", src::ControllerFirst, {{533, 0xB0, 2, 90}}, src::ControllerFirst},
        {"channel pressure", src::ChannelAftertouch, {{77, 0xD0, 100, 0}}, src::ChannelAftertouch},
        {"bend and back", -1, {{777, 0xE0, 0, 100}, {1501, 0xE0, 0, 64}}, -1},
        {"same note again", -1, {{523, 0x90, 64, 90}}, -1},
        {"note off, a new note", -1, {{301, 0x80, 60, 0}, {305, 0x90, 72, 100}}, -1},
        {"all off, a new note", -1, {{901, 0xB0, 123, 0}, {903, 0x90, 55, 100}}, -1},
        {"a sounding voice taken", -1, {{611, 0x90, 90, 100}, {615, 0x90, 91, 70}}, -1, true},
    };
    constexpr int kSpan = 2048, kBlock = 128;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> outputs[2];
        for (bool woken : {false, true}) {
            PluginHarness h;
            h.engine().render.controlPlan.everyFrame = woken;
            if (c.source >= 0) h.p().setModSlotVar(0, false, 0.9f, c.source, dst::FilterFreq);
            EventBlock notes;
            for (int n = 0; n < (c.full ? kNumVoices : 3); ++n) notes.noteOn(n, 48 + 4 * n);
            h.send(notes);
            h.renderIn(8192, 512); // sustained: envelopes, controllers and matrix rest
            int glided = 0, blocks = 0;
            float before = c.glide >= 0 ? h.voice(0).mod.src[c.glide] : 0.0f;
            for (int f = 0; f < kSpan; f += kBlock) {
                EventBlock events;
                for (int i = 0; i < kBlock; ++i) {
                    for (const Event& e : c.events)
                        if (e.frame == f + i) events.midi(i, e.status, e.d1, e.d2);
                    if (woken) events.midi(i, 0xC0, 0);
                }
                h.send(events);
                h.render(kBlock);
                std::vector<float>& out = outputs[woken ? 1 : 0];
                out.insert(out.end(), h.left.begin(), h.left.begin() + kBlock);
                out.insert(out.end(), h.right.begin(), h.right.begin() + kBlock);
                if (c.glide >= 0 && f > c.events[0].frame) {
                    // Eight of the voice's ticks per block: the source rose.
                    const float now = h.voice(0).mod.src[c.glide];
                    glided += now > before ? 1 : 0;
                    ++blocks;
                    before = now;
                }
            }
            if (c.glide >= 0) {
                EXPECT_GT(blocks, 0);
                EXPECT_EQ(glided, blocks) << "the glide stood still";
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

// A voice's tick keeps its slot amounts and its Live XY target while nothing
// they come from changed. After each kind of change, between ticks, the sound
// and the voices' tick state must be those of the full tick on every frame.
TEST(ControlRest, RestingTickWorkMatchesTheFullTick) {
    struct Case {
        const char* what;
        void (*apply)(PluginHarness&);
    };
    const Case cases[] = {
        {"nothing", [](PluginHarness&) {}},
        {"amount knob", [](PluginHarness& h) { h.p().setParameter(MOD_AMT_TAGS[0], 0.15f); }},
        {"other value", [](PluginHarness& h) { h.p().setParameter(tag::FilterFreq, 0.3f); }},
        {"pad move", [](PluginHarness& h) { h.p().setParameter(tag::XYX, 0.85f); }},
        {"pad grid", [](PluginHarness& h) { h.p().setSteppedValue(tag::XYSpaceQuant, 3); }},
        {"mod wheel", [](PluginHarness& h) { send(h, 0xB0, 1, 110); }},
        {"pitch bend", [](PluginHarness& h) { send(h, 0xE0, 0, 100); }},
        {"aftertouch", [](PluginHarness& h) { send(h, 0xD0, 90, 0); }},
        {"LFO routed",
         [](PluginHarness& h) {
             h.p().setModSlotVar(2, false, 0.8f, src::Free1Lfo, dst::OscMorph);
         }},
        {"LFO on an amount",
         [](PluginHarness& h) {
             h.p().setModSlotVar(2, false, 0.6f, src::Free1Lfo, dst::modAmount(1));
         }},
        {"note off", [](PluginHarness& h) { send(h, 0x80, 52, 0); }},
    };
    constexpr int kBefore = 8192 + 700, kSpan = 2100, kBlock = 100;
    static_assert((kBefore + 3 * kBlock) % 16 != 0, "the change falls between ticks");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint32_t> outputs[2], states[2];
        for (bool full : {false, true}) {
            PluginHarness h;
            h.engine().render.controlPlan.everyFrame = full;
            h.setStep(tag::XYRecordMode, xyrecord::Live);
            h.p().setModSlotVar(0, false, 0.7f, src::UniXYX, dst::MainPan);
            h.p().setModSlotVar(1, false, 0.9f, src::ModWheel, dst::OscMorph);
            h.send(EventBlock().noteOn(0, 48).noteOn(0, 52).noteOn(0, 55));
            h.renderIn(kBefore, 512); // sustained: the tick work rests
            for (int f = 0; f < kSpan; f += kBlock) {
                if (f == 3 * kBlock) c.apply(h);
                h.render(kBlock);
                auto& out = outputs[full ? 1 : 0];
                for (int i = 0; i < kBlock; ++i)
                    for (float x : {h.left[i], h.right[i]})
                        out.push_back(std::bit_cast<uint32_t>(x));
                auto& st = states[full ? 1 : 0];
                for (int v = 0; v < 3; ++v) {
                    const XYVoice& xv = h.engine().xy.voices[v];
                    for (float x :
                         {xv.pair[0], xv.pair[1], xv.next[0], xv.next[1], xv.step[0], xv.step[1]})
                        st.push_back(std::bit_cast<uint32_t>(x));
                    for (float x : h.voice(v).matrix.amount)
                        st.push_back(std::bit_cast<uint32_t>(x));
                    for (float x : h.voice(v).mod.dst) st.push_back(std::bit_cast<uint32_t>(x));
                    st.push_back(h.voice(v).matrix.idle);
                }
            }
        }
        EXPECT_EQ(differing(outputs[0], outputs[1]), 0) << "the sound differs";
        EXPECT_EQ(differing(states[0], states[1]), 0) << "the tick state differs";
    }
}
