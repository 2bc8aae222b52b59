// The effect chain over a minute of rendering: every mix and feedback at
// full, a chord held for a second and released, and the tails of all four
// effects feeding themselves for the rest: none runs away. (In the program
// built without the sanitizers, tests/long/; the first two seconds of it are
// an effect test under them, tests/engine/test_effects.cpp.)

#include "engine/sound_check.h"
#include "support/allocation_watch.h"

#include <gtest/gtest.h>

namespace {

void allEffects(APlugin& p, bool on) {
    for (int t : {tag::ChorusOn, tag::FlangerPhaserOn, tag::DelayOn, tag::ReverbOn})
        p.setOnOff(t, on);
}

} // namespace

TEST(EffectChain, EveryMixAndFeedbackAtFullStaysFiniteAndLimitedFor60Seconds) {
    for (const bool phaser : {false, true}) {
        SCOPED_TRACE(phaser ? "phaser" : "flanger");
        SoundCheck s;
        APlugin& p = s.h.p();
        allEffects(p, true);
        p.setOnOff(tag::FlangerOrPhaser, phaser);
        for (int t : {tag::ChorusMix, tag::FlangerMix, tag::PhaserMix, tag::DelayMix,
                      tag::ReverbMix, tag::FlangerFeed, tag::PhaserFeed, tag::DelayFeed,
                      tag::ReverbSize, tag::ReverbLength, tag::ChorusWidth, tag::FlangerWidth})
            p.setParameter(t, 1.0f);
        p.setParameter(tag::ReverbDamp, 0.0f);
        s.h.send(EventBlock().noteOn(0, 48).noteOn(0, 60).noteOn(0, 67));
        s.h.render(SoundCheck::kBlock); // the harness's buffers at their size
        EventBlock off;
        off.noteOff(0, 48).noteOff(0, 60).noteOff(0, 67).get();
        AllocationWatch watch;
        s.h.renderIn(44100, SoundCheck::kBlock);
        s.h.send(off);
        s.h.renderIn(59 * 44100, SoundCheck::kBlock);
        EXPECT_EQ(watch.count(), 0);
        EXPECT_TRUE(s.h.allFinite);
        EXPECT_LE(s.h.maxAbs, 0.999f);
        EXPECT_GT(s.h.maxAbs, 0.01f);
    }
}
