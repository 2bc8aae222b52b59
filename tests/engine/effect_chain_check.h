// Every mix and feedback of the effect chain at full, all four effects on, a
// chord held for a second and released for `releasedSeconds` while the
// tails feed themselves: the output stays finite, clear of the limit and
// audible, and the audio thread makes no heap call. Shared by the effect
// tests under the sanitizers (a short tail) and the long tests (a minute).
#pragma once

#include "engine/sound_check.h"
#include "support/allocation_watch.h"

#include <gtest/gtest.h>

inline void checkEffectChainAtFull(int releasedSeconds) {
    for (const bool phaser : {false, true}) {
        SCOPED_TRACE(phaser ? "phaser" : "flanger");
        SoundCheck s;
        APlugin& p = s.h.p();
        for (int t : {tag::ChorusOn, tag::FlangerPhaserOn, tag::DelayOn, tag::ReverbOn})
            p.setOnOff(t, true);
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
        s.h.renderIn(releasedSeconds * 44100, SoundCheck::kBlock);
        EXPECT_EQ(watch.count(), 0);
        EXPECT_TRUE(s.h.allFinite);
        EXPECT_LE(s.h.maxAbs, 0.999f);
        EXPECT_GT(s.h.maxAbs, 0.01f);
    }
}
