// The process-wide store of pitch-table banks, driven through the render
// loop's staged rebuild: instances playing the same factory wave pair share
// one bank, equal to the one an instance builds for itself; a change on one
// instance leaves the bank another plays as it was; banks of user waves are
// never shared; the store's room follows the instances; and instances
// changing waves on their own threads each end on the right bank.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>
#include <vector>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// One instance as a host drives it (the test harness allows one host at a
// time; these tests need several instances).
class Instance {
public:
    Instance() : plugin(std::make_unique<APlugin>(quietHost)) {
        plugin->setSampleRate(44100.0f);
        plugin->resume();
    }
    APlugin& p() { return *plugin; }
    void render(int frames) {
        std::vector<float> inL(frames), inR(frames), outL(frames), outR(frames);
        float* in[2] = {inL.data(), inR.data()};
        float* out[2] = {outL.data(), outR.data()};
        plugin->processReplacing(in, out, frames);
        for (float x : outL) {
            if (!std::isfinite(x)) allFinite = false;
            maxAbs = std::max(maxAbs, std::fabs(x));
        }
    }
    void send(EventBlock block) { plugin->processEvents(block.get()); }

    float maxAbs = 0.0f;
    bool allFinite = true;

private:
    std::unique_ptr<APlugin> plugin;
};

// Renders until a requested rebuild has been taken and finished.
void settle(Instance& h) {
    for (int block = 0; block < 64; ++block) {
        h.render(512);
        const WaveState& ws = h.p().waves;
        if (block >= 16 && !ws.rebuildRequested.load() && !h.p().tableRebuildRunning()) return;
    }
    FAIL() << "the rebuild did not finish";
}

void setWaves(Instance& h, int a, int b, int mode) {
    h.p().setSteppedValue(tag::OscWaveA, a);
    h.p().setSteppedValue(tag::OscWaveB, b);
    h.p().setSteppedValue(tag::OscMode, mode);
    settle(h);
}

const PitchTableBank& played(const APlugin& p) {
    return p.waves.pitchTableBank[p.waves.activeBank.load()];
}

// The bank an instance builds for itself from its current waves, into its
// other slot (which the oscillator does not read).
const PitchTableBank& privateBuild(APlugin& p) {
    p.setOscWaveTables();
    p.setOscWavePitchTables(0, kNumPitchTables);
    return p.waves.pitchTableBank[1 - p.waves.activeBank.load()];
}

TEST(PitchBanks, InstancesOnTheSameFactoryPairShareOneBankEqualToAPrivateBuild) {
    Instance a, b;
    for (const auto& [waveA, waveB, mode] : {std::array{1, 2, 0}, std::array{7, 40, 9}}) {
        setWaves(a, waveA, waveB, mode);
        setWaves(b, waveA, waveB, mode);
        EXPECT_EQ(&played(a.p()), &played(b.p())) << waveA << " " << waveB << " " << mode;
        const auto own = std::make_unique<PitchTableBank>(privateBuild(b.p()));
        EXPECT_TRUE(*own == played(a.p())) << waveA << " " << waveB << " " << mode;
    }
}

TEST(PitchBanks, AChangeOnOneInstanceLeavesTheBankTheOtherPlays) {
    Instance a, b;
    setWaves(a, 3, 5, 1);
    setWaves(b, 3, 5, 1);
    ASSERT_EQ(&played(a.p()), &played(b.p()));
    const auto before = std::make_unique<PitchTableBank>(played(a.p()));

    setWaves(b, 3, 6, 1);
    EXPECT_NE(&played(a.p()), &played(b.p()));
    EXPECT_TRUE(*before == played(a.p()));
    EXPECT_FALSE(*before == played(b.p()));
    // a plays on from its bank.
    a.send(EventBlock().noteOn(0, 60));
    a.render(4096);
    EXPECT_TRUE(a.allFinite);
    EXPECT_GT(a.maxAbs, 0.01f);
}

TEST(PitchBanks, UserWaveBanksAreNotShared) {
    Instance a, b;
    for (Instance* h : {&a, &b}) {
        for (int j = 0; j < 8; ++j) h->p().setWaveTablePartials(0, j, 1.0f / (j + 1), 0.5f);
        h->p().convertWaveTablePartialsToWaveTable(0);
        setWaves(*h, kFirstUserWave, 2, 0);
    }
    EXPECT_NE(&played(a.p()), &played(b.p()));
    EXPECT_TRUE(played(a.p()) == played(b.p()));
}

TEST(PitchBanks, TheStoreHoldsRoomForTwoBanksPerInstance) {
    const int banks = PitchBankSlots::storeBanks();
    const int touched = PitchBankSlots::touchedBanks();
    {
        std::vector<std::unique_ptr<Instance>> hs;
        for (int i = 0; i < 3; ++i) {
            hs.push_back(std::make_unique<Instance>());
            setWaves(*hs.back(), 10 + i, 20, 0);
        }
        EXPECT_EQ(PitchBankSlots::storeBanks(), banks + 6);
    }
    EXPECT_EQ(PitchBankSlots::storeBanks(), banks);
    EXPECT_LE(PitchBankSlots::touchedBanks(), touched); // the banks built into went first
}

// Four instances on four threads, each stepping through wave pairs some of
// the others play at the same time: every one ends on a bank equal to its
// own build of its last pair.
TEST(PitchBanks, InstancesChangingWavesOnTheirOwnThreadsEndOnTheirOwnPairs) {
    constexpr int kInstances = 4;
    std::vector<std::unique_ptr<Instance>> hs;
    for (int i = 0; i < kInstances; ++i) hs.push_back(std::make_unique<Instance>());
    std::vector<std::thread> threads;
    for (int i = 0; i < kInstances; ++i)
        threads.emplace_back([&h = *hs[i], i] {
            for (int step = 0; step < 4; ++step) setWaves(h, 1 + (i + step) % 3, 30, 0);
        });
    for (std::thread& t : threads) t.join();
    for (int i = 0; i < kInstances; ++i) {
        APlugin& p = hs[i]->p();
        EXPECT_EQ(p.getSteppedValue(tag::OscWaveA), 1 + (i + 3) % 3);
        const auto playing = std::make_unique<PitchTableBank>(played(p));
        EXPECT_TRUE(*playing == privateBuild(p)) << "instance " << i;
    }
}

} // namespace
