// The effect chain over a minute: every mix and feedback at full, and the
// tails of all four effects feeding themselves for 59 seconds after the
// chord: none runs away. (Its first two seconds are an effect test under the
// sanitizers, tests/engine/test_effects.cpp.)

#include "engine/effect_chain_check.h"

TEST(EffectChain, EveryMixAndFeedbackAtFullStaysFiniteAndLimitedFor60Seconds) {
    checkEffectChainAtFull(59);
}
