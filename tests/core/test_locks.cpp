// Section locks: Play and Arp keep their values across preset loads while
// locked, and unlocking either drops or applies the held copy.

#include "core/aplugin.h"
#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

class SectionLocks : public ::testing::Test {
protected:
    FakeHost host;
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);

    // Puts new values into the program record and loads it, as a preset
    // arriving from the host does.
    void loadPresetWith(int t, float v) {
        plugin->core.programStore[0].values[t] = v;
        plugin->setProgram(0);
    }
};

} // namespace

TEST_F(SectionLocks, InvalidSectionsAndRepeatedLocks) {
    plugin->setLockState(3, 1);
    plugin->setLockState(0, 1);
    EXPECT_EQ(plugin->getLockState(0), 0);
    EXPECT_EQ(plugin->getLockState(3), 0);
    EXPECT_FALSE(plugin->getArpOrPlayLocked());

    plugin->setLockState(kLockPlay, 1);
    EXPECT_TRUE(plugin->getPlayLocked());
    EXPECT_TRUE(plugin->core.screenUpdatePending);
    EXPECT_TRUE(plugin->getTagLocked(tag::PortamentoAmount));
    EXPECT_FALSE(plugin->getTagLocked(tag::MainVolume));

    // Locking again takes no new snapshot and asks for no screen update.
    plugin->core.screenUpdatePending.clear();
    plugin->setParameter(tag::PortamentoAmount, 0.8f);
    plugin->setLockState(kLockPlay, 1);
    EXPECT_FALSE(plugin->core.screenUpdatePending);
    EXPECT_EQ(plugin->getLockVar(tag::PortamentoAmount), 0.0f);
}

TEST_F(SectionLocks, LockedPlayModeSurvivesAPresetLoad) {
    plugin->setSteppedValue(tag::PlayMode, 3);
    plugin->setLockState(kLockPlay, 1);
    loadPresetWith(tag::PlayMode, ParamTable::stepToValue(6, 8.99f));
    EXPECT_EQ(plugin->getSteppedValue(tag::PlayMode), 6);     // the preset's value
    EXPECT_EQ(plugin->getLockSteppedValue(tag::PlayMode), 3); // what keeps playing

    // Unlocking drops the held copy: the preset's value is read again.
    plugin->setLockState(kLockPlay, 0);
    EXPECT_EQ(plugin->getLockSteppedValue(tag::PlayMode), 6);
}

TEST_F(SectionLocks, ApplyAndUnlockWritesTheHeldCopyBack) {
    plugin->setParameter(tag::arpStep(tag::RowOn, 4), 0.0f);
    plugin->setParameter(tag::ArpSwing, 0.4f);
    plugin->setLockState(kLockArp, 1);
    loadPresetWith(tag::ArpSwing, 0.9f);
    loadPresetWith(tag::arpStep(tag::RowOn, 4), 1.0f);

    const std::size_t automated = host.count(audioMasterAutomate);
    plugin->setLockState(kLockArp, 2);
    EXPECT_EQ(plugin->getLockState(kLockArp), 0);
    EXPECT_FLOAT_EQ(plugin->getCurrentValue(tag::ArpSwing), 0.4f);
    EXPECT_EQ(plugin->getCurrentValue(tag::arpStep(tag::RowOn, 4)), 0.0f);
    EXPECT_EQ(host.count(audioMasterAutomate), automated); // plain writes
}

TEST_F(SectionLocks, ApplyOnANeverLockedSectionKeepsTheGrid) {
    // The held copy of a section never locked is all zeros; applying it
    // would switch off every arpeggiator step.
    plugin->setLockState(kLockArp, 2);
    EXPECT_EQ(plugin->getLockState(kLockArp), 0);
    for (int s = 0; s < tag::ArpStepCount; ++s)
        EXPECT_EQ(plugin->getCurrentValue(tag::arpStep(tag::RowOn, s)), 1.0f) << s;
    EXPECT_EQ(plugin->getSteppedValue(tag::ArpNumSteps), 15);
}

TEST_F(SectionLocks, LockAwareReadersAndWriters) {
    // Unlocked: the stored value of the program record.
    plugin->setParameter(tag::PortamentoAmount, 0.25f);
    EXPECT_EQ(plugin->getLockVar(tag::PortamentoAmount), plugin->getCurrentValue(8));
    EXPECT_EQ(plugin->getLockVar(tag::MainVolume), plugin->getCurrentValue(tag::MainVolume));
    EXPECT_EQ(plugin->getLockVar(-1), 0.0f);
    EXPECT_FALSE(plugin->getLockVarOnOff(2000));

    // Unlocked setLockVar also writes through the automated path.
    std::size_t automated = host.count(audioMasterAutomate);
    plugin->setLockVar(tag::PortamentoAmount, 0.3f);
    EXPECT_EQ(host.count(audioMasterAutomate), automated + 1);
    EXPECT_FLOAT_EQ(plugin->getCurrentValue(tag::PortamentoAmount), 0.3f);

    // Locked: only the held copy changes, and the host hears nothing.
    plugin->setLockState(kLockPlay, 1);
    automated = host.count(audioMasterAutomate);
    plugin->setLockVar(tag::PortamentoAmount, 0.6f);
    EXPECT_EQ(host.count(audioMasterAutomate), automated);
    EXPECT_FLOAT_EQ(plugin->getCurrentValue(tag::PortamentoAmount), 0.3f);
    EXPECT_FLOAT_EQ(plugin->getLockVar(tag::PortamentoAmount), 0.6f);

    // Tags without a section are left alone.
    plugin->setLockVar(tag::MainVolume, 0.3f);
    EXPECT_FLOAT_EQ(plugin->getCurrentValue(tag::MainVolume), 0.833f);

    // Switch readers follow the same copies.
    plugin->setParameter(tag::ArpOn, 1.0f);
    plugin->setLockState(kLockArp, 1);
    plugin->setParameter(tag::ArpOn, 0.0f);
    EXPECT_TRUE(plugin->getLockVarOnOff(tag::ArpOn));
    EXPECT_FALSE(plugin->getOnOff(tag::ArpOn));
}
