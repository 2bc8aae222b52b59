// A wave-table rebuild silence and a reset start and end at exact frames;
// the output glides across those edges: no sample step larger than the
// held note's own.

#include "engine/sound_check.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

namespace {

constexpr int kNote = 69; // 440 Hz
constexpr int kSine = 0;  // wave A and B "Sine"
constexpr int kTriangle = 4;
constexpr int kSteady = 4096;
constexpr int kAcross = 3 * 4096; // detection, the rebuild start, its silence and the return
// A fade-in adds the slope of its gain to the wave's own: a few per cent at
// most over 1.5 ms at this pitch. A hard edge is several times the own step.
constexpr float kFadeAllowance = 1.05f;

float largestStep(const std::vector<float>& x, float before) {
    float step = 0.0f;
    for (float v : x) {
        step = std::max(step, std::fabs(v - before));
        before = v;
    }
    return step;
}

struct Change {
    const char* name;
    std::function<void(APlugin&)> make;
    bool cutsTheNote; // a reset; otherwise the note comes back after the rebuild silence
};

const Change kChanges[] = {
    {"Wave A", [](APlugin& p) { p.setSteppedValue(tag::OscWaveA, kTriangle); }, false},
    {"Wave B", [](APlugin& p) { p.setSteppedValue(tag::OscWaveB, kTriangle); }, false},
    {"Oscillator Mode", [](APlugin& p) { p.setSteppedValue(tag::OscMode, 1); }, false},
    {"Play Mode", [](APlugin& p) { p.setSteppedValue(tag::PlayMode, 2); }, true},
    {"Unison Mode", [](APlugin& p) { p.setSteppedValue(tag::UnisonMode, 3); }, true},
    {"Portamento Mode", [](APlugin& p) { p.setSteppedValue(tag::PortamentoMode, 2); }, true},
    {"the editor's reset", [](APlugin& p) { p.requestReset(); }, true},
    {"a chosen preset", [](APlugin& p) { p.requestPresetApplication(kPresetChosen); }, true},
};

} // namespace

TEST(OutputEdges, NoStepAcrossASilenceOrResetIsLargerThanTheNotesOwn) {
    for (const Change& change : kChanges) {
        for (const int offset : {0, 1000, 2931}) { // where in the slow tick's cycle it comes
            SCOPED_TRACE(testing::Message() << change.name << ", " << offset << " frames late");
            SoundCheck s;
            s.h.p().setParameter(tag::AmpEnvAttack, 0.0f);
            s.waves(kSine, kSine);
            s.h.alignTo(4096);
            const std::vector<float> steady = s.hold(kNote, kSteady + offset, kSteady);
            float own = largestStep(steady, steady.front());
            ASSERT_GT(own, 0.005f) << "the note sounds";

            change.make(s.h.p());
            const std::vector<float> across = s.capture(kAcross);
            const std::vector<float> after = s.capture(kSteady);
            if (!change.cutsTheNote) {
                EXPECT_GE(longestSilence(across), 4000) << "the rebuild silence is kept";
                own = std::max(own, largestStep(after, after.front()));
                EXPECT_GT(own, 0.005f) << "the note comes back";
            } else {
                EXPECT_EQ(s.h.soundingCount(), 0) << "the reset cuts the note";
            }
            EXPECT_LE(largestStep(across, steady.back()), own * kFadeAllowance);
            EXPECT_LE(largestStep(after, across.back()), own * kFadeAllowance);
        }
    }
}

// A cut's jump fades out added to the sound that follows it: full scale
// before the cut, nothing at it and full scale again just after would sum to
// twice full scale. The limit is the last thing every sample meets.
TEST(OutputEdges, AFadingJumpOnAFullScaleOutputStaysWithinTheLimit) {
    constexpr float kLimit = 0.999f;
    const struct {
        const char* name;
        float after; // the output of the frames after the cut, left (right: its negative)
        bool alternate;
    } cases[] = {{"the jump's sign", kLimit, false},
                 {"against it", -kLimit, false},
                 {"alternating", kLimit, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        PluginHarness h;
        APlugin& p = h.p();
        RenderState& render = h.engine().render;
        render.lastOutput = {kLimit, -kLimit};
        render.cutSound = true;
        render.outputPair = {0.0f, 0.0f};
        p.smoothOutputEdges(false);
        float peak = std::max(std::fabs(render.outputPair[0]), std::fabs(render.outputPair[1]));
        for (int i = 0; i < 200; ++i) {
            const float x = c.alternate && (i & 1) ? -c.after : c.after;
            render.outputPair = {x, -x};
            p.smoothOutputEdges(false);
            peak = std::max({peak, std::fabs(render.outputPair[0]), std::fabs(render.outputPair[1])});
        }
        EXPECT_LE(peak, kLimit);
        EXPECT_FLOAT_EQ(peak, kLimit);
    }
}
