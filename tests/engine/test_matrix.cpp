// The modulation matrix by destination type, and end to end through the
// rendered pitch.

#include "engine/matrix.h"
#include "engine/sound_check.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace {

// Routes a user slot: source, destination, amount parameter (0.5 = none).
void route(PluginHarness& h, int slot, int source, int dest, float amount, bool bypass = false) {
    h.p().setModSlotVar(slot, bypass, amount, source, dest);
}

// Plays a note and lets the matrix run (its caches refresh every 128 frames).
VoiceState& playAndSettle(PluginHarness& h) {
    h.send(EventBlock().noteOn(0, 69, 127));
    h.render(512);
    return h.voice(h.gatedVoiceWithNote(69));
}

// The largest output sample over some blocks.
float peakOf(PluginHarness& h, int frames) {
    float peak = 0.0f;
    for (int done = 0; done < frames; done += 256) {
        h.render(256);
        for (int i = 0; i < 256; ++i)
            peak = std::max({peak, std::fabs(h.left[i]), std::fabs(h.right[i])});
    }
    return peak;
}

} // namespace

TEST(Matrix, AmountHalfChangesNoTypeOfDestination) {
    PluginHarness h;
    route(h, 0, src::Offset, dst::OscMorph, 0.5f);
    route(h, 1, src::Offset, dst::MainVolume, 0.5f);
    route(h, 2, src::Offset, dst::OscSemi, 0.5f);
    route(h, 3, src::Offset, dst::GlobalLfoSpeed, 0.5f);
    VoiceState& v = playAndSettle(h);
    // The four XY slots are always routed (amount 0.5 by default).
    EXPECT_EQ(h.engine().matrix.activeCount, 4 + 4);
    EXPECT_FLOAT_EQ(v.mod.dst[dst::OscMorph], 0.0f);
    EXPECT_FLOAT_EQ(v.mod.dst[dst::MainVolume], 1.0f);
    EXPECT_FLOAT_EQ(v.mod.dst[dst::OscSemi], 0.0f);
    EXPECT_FLOAT_EQ(v.mod.dst[dst::GlobalLfoSpeed], 1.0f);
}

TEST(Matrix, VolumeSlotAtMinusOneFollowsTheSource) {
    {
        PluginHarness h;
        route(h, 0, src::ChannelAftertouch, dst::MainVolume, 0.0f); // a = -1, source 0
        VoiceState& quiet = playAndSettle(h);
        EXPECT_FLOAT_EQ(quiet.mod.dst[dst::MainVolume], 1.0f);
        EXPECT_GT(peakOf(h, 2048), 0.01f);
    }
    PluginHarness h;
    route(h, 0, src::Offset, dst::MainVolume, 0.0f); // a = -1, source 1
    VoiceState& muted = playAndSettle(h);
    EXPECT_FLOAT_EQ(muted.mod.dst[dst::MainVolume], 0.0f);
    EXPECT_LT(peakOf(h, 2048), 1e-6f); // ... and the voice is silent
}

TEST(Matrix, SpeedSlotsMultiplyAndInactiveSlotsDoNothing) {
    PluginHarness h;
    route(h, 0, src::Offset, dst::GlobalLfoSpeed, 0.75f);      // a = 0.5: x 2
    route(h, 1, src::Offset, dst::GlobalLfoSpeed, 1.0f);       // a = 1: x 4
    route(h, 2, src::Offset, dst::GlobalLfoSpeed, 1.0f, true); // bypassed
    route(h, 3, 0, dst::GlobalLfoSpeed, 1.0f);                 // no source
    route(h, 4, src::Offset, 0, 1.0f);                         // no destination
    VoiceState& v = playAndSettle(h);
    EXPECT_EQ(h.engine().matrix.activeCount, 2 + 4);
    EXPECT_NEAR(v.mod.dst[dst::GlobalLfoSpeed], 8.0f, 1e-4f);
    h.render(16);
    EXPECT_NEAR(h.engine().global.dst[dst::GlobalLfoSpeed], 8.0f, 1e-4f);
}

TEST(Matrix, AnAmountSlotScalesAnotherSlot) {
    PluginHarness h;
    route(h, 0, src::Offset, dst::OscSemi, 1.0f);    // +3 octaves at full amount
    route(h, 1, src::Offset, DEST_MOD_AMT[0], 0.0f); // slot 0's amount -1
    VoiceState& v = playAndSettle(h);
    EXPECT_NEAR(v.matrix.amount[0], 0.0f, 1e-6f);
    EXPECT_NEAR(v.mod.dst[dst::OscSemi], 0.0f, 1e-6f);
}

TEST(Matrix, SemitoneSlotAtFullAmountRaisesTheRenderedPitchThreeOctaves) {
    SoundCheck s;
    s.waves(0, 0); // sines
    route(s.h, 0, src::Offset, dst::OscSemi, 1.0f);
    s.h.render(512);
    const auto x = s.hold(69, 4096, 16384);
    const double f = spectrum::peakFrequency(x, s.rate(), 1000.0, 3000.0);
    EXPECT_NEAR(f, 1760.0, 2.0);
}
