// The 1024-tag parameter table: names, kinds, steps, defaults, switches,
// destinations, edit tracking and lock sections, checked as a whole.

#include "core/aplugin.h"
#include "core/paramtable.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace {

const ParamTable& table() {
    return ParamTable::get();
}

int defaultStep(int t) {
    return APlugin::getSteppedValue(table().defaultValue[t], table().steppedRange[t],
                                    table().steppedNum[t]);
}

} // namespace

TEST(ParamTable, EveryTagHasAUniqueNameAndAConsistentDefinition) {
    std::set<std::string> names;
    for (int t = 0; t < tag::Count; ++t) {
        const std::string& name = table().paramName[t];
        EXPECT_FALSE(name.empty()) << "tag " << t;
        EXPECT_TRUE(names.insert(name).second) << "duplicate name " << name;
        if (table().steppedNum[t] == -1)
            EXPECT_EQ(table().steppedRange[t], -1.0f) << "tag " << t;
        else
            EXPECT_GT(table().steppedRange[t], 0.0f) << "tag " << t;
        const int kind = table().displayKind[t];
        EXPECT_TRUE(kind >= 0 && kind <= 17 && kind != 8 && kind != 10 && kind != 12) << t;
        EXPECT_GE(table().defaultValue[t], 0.0f) << t;
        EXPECT_GE(table().zeroValue[t], 0.0f) << t;
        EXPECT_TRUE(table().tagDest[t] >= 0 && table().tagDest[t] <= 221) << t;
    }
    EXPECT_EQ(names.size(), 1024u);
}

TEST(ParamTable, NamesAtTheEndsOfEveryBlock) {
    const std::pair<int, const char*> expected[] = {
        {0, "Don't Use"},
        {1, "Main Volume"},
        {7, "Amp Envelope Release"},
        {13, "Exp Envelope Shape On / Off"},
        {21, "Oscillator Sub-Volume"},
        {25, "Mod Wheel > Filter Frequency"},
        {34, "HiPass Filter On / Off"},
        {46, "XY Y 2 Mod Amount"},
        {51, "Free Envelope1 Attack"},
        {56, "Free Envelope1 Tempo Sync On / Off"},
        {60, "Free Envelope2 Fade"},
        {62, "Free Envelope2 Tempo Sync On / Off"},
        {63, "Free LFO 1 Speed"},
        {66, "Free LFO 2 Tempo Sync On / Off"},
        {67, "Slot 1 Amount"},
        {78, "Slot 12 Amount"},
        {87, "Select Flanger or Phaser"},
        {88, "Flanger/Phaser On / Off"},
        {115, "Reverb Mix"},
        {122, "Arp Velocity / Key"},
        {127, "Arp Key Entry On / Off"},
        {128, "Internal - 1"},
        {242, "Internal - 115"},
        {250, "Filter Type"},
        {254, "Free LFO 2 Wave"},
        {255, "Slot 1 Bypass On / Off"},
        {266, "Slot 12 Bypass On / Off"},
        {278, "Slot 12 Source"},
        {290, "Slot 12 Destination"},
        {300, "Arp Random On"},
        {301, "Arp Step 1 Random Tune"},
        {316, "Arp Step 16 Random Tune"},
        {317, "Arp Step 1 On / Off"},
        {348, "Arp Step 16 Tied On / Off"},
        {364, "Arp Step 16 Slide On / Off"},
        {380, "Arp Step 16 Tune"},
        {396, "Arp Step 16 Velocity"},
        {412, "Arp Step 16 Chord"},
        {428, "Arp Step 16 Free"},
        {444, "Arp Step 16 Ratchet"},
        {455, "XY Y 2 Mod Destination"},
        {458, "XY Length MS"},
        {459, "Point 1 X"},
        {586, "Point 128 X"},
        {587, "Point 1 Y"},
        {714, "Point 128 Y"},
        {715, "Wave 1 Partial 1"},
        {842, "Wave 1 Partial 128"},
        {843, "Wave 2 Partial 1"},
        {970, "Wave 2 Partial 128"},
        {972, "Wave 2 Has Preset"},
        {973, "Wave 1 Name - Char 1"},
        {982, "Wave 1 Name - Char 10"},
        {992, "Wave 2 Name - Char 10"},
        {996, "Exponential Partials On / Off"},
        {997, "Unused 1"},
        {998, "Unused 2"},
        {1000, "Oscillator Free-Running On / Off"},
        {1001, "ONDIX"},
        {1003, "Tuning Name - Char 1"},
        {1022, "Tuning Name - Char 20"},
        {1023, "ONDIX Version"},
    };
    for (const auto& [t, name] : expected) EXPECT_EQ(table().paramName[t], name) << "tag " << t;
}

TEST(ParamTable, StepCountsAndRanges) {
    struct Row {
        int first, last, steps;
        float range;
    };
    const Row rows[] = {
        {14, 15, 185, 184.99f}, {17, 17, 9, 8.0f},      {91, 91, 31, 30.99f},
        {98, 98, 31, 30.99f},   {117, 118, 16, 15.0f},  {119, 119, 17, 16.99f},
        {124, 124, 9, 8.99f},   {243, 243, 9, 8.99f},   {244, 244, 5, 4.0f},
        {245, 245, 24, 23.0f},  {246, 247, 16, 15.99f}, {248, 248, 12, 19.99f},
        {249, 249, 15, 19.99f}, {250, 250, 22, 23.99f}, {251, 251, 4, 3.99f},
        {252, 252, 19, 18.99f}, {267, 278, 75, 99.99f}, {279, 290, 222, 299.99f},
        {291, 291, 16, 19.99f}, {292, 293, 4, 3.0f},    {294, 294, 9, 9.99f},
        {295, 297, 3, 2.99f},   {298, 298, 13, 19.99f}, {397, 412, 21, 20.0f},
        {429, 444, 4, 3.99f},   {445, 445, 3, 2.0f},    {446, 446, 3, 2.99f},
        {447, 447, 4, 2.99f},   {448, 448, 34, 33.99f}, {449, 449, 7, 6.0f},
        {450, 450, 34, 33.99f}, {451, 451, 5, 4.0f},    {452, 455, 222, 299.99f},
        {995, 995, 23, 22.99f}, {997, 998, 2, 1.99f},
    };
    for (const Row& r : rows)
        for (int t = r.first; t <= r.last; ++t) {
            EXPECT_EQ(table().steppedNum[t], r.steps) << "tag " << t;
            EXPECT_FLOAT_EQ(table().steppedRange[t], r.range) << "tag " << t;
        }
    // Continuous on/off switches.
    for (int t : {87, 88, 101, 109, 999, 1000}) EXPECT_EQ(table().steppedNum[t], -1) << t;
}

TEST(ParamTable, ExactlyTheseTagsAreSwitches) {
    std::set<int> expected = {12,  13,  29,  36,  38,  56,  62,  64,  66,   79,
                              80,  87,  88,  101, 107, 109, 116, 125, 126,  127,
                              299, 456, 971, 972, 996, 997, 998, 999, 1000, 1002};
    for (int t = 255; t <= 266; ++t) expected.insert(t);
    for (int t = 317; t <= 364; ++t) expected.insert(t);
    for (int t = 0; t < tag::Count; ++t)
        EXPECT_EQ(table().isSwitch[t], expected.count(t) == 1) << "tag " << t;
    EXPECT_FALSE(table().isSwitch[tag::HiPassOn]); // shown as on/off only
    EXPECT_EQ(table().displayKind[tag::HiPassOn], kDisplayOnOff);
}

TEST(ParamTable, DefaultsAndZeroValues) {
    EXPECT_FLOAT_EQ(table().defaultValue[tag::MainVolume], 0.833f);
    EXPECT_FLOAT_EQ(table().zeroValue[tag::MainVolume], 1.0f);
    EXPECT_FLOAT_EQ(table().zeroValue[tag::MainPan], 0.5f);
    EXPECT_FLOAT_EQ(table().zeroValue[tag::AmpEnvSustain], 0.0f);
    EXPECT_EQ(defaultStep(tag::FilterType), 10);
    EXPECT_EQ(defaultStep(tag::OscOctave), 4);
    EXPECT_EQ(defaultStep(tag::ArpNumSteps), 15);
    EXPECT_EQ(table().zeroValue[tag::ArpNumSteps], table().defaultValue[tag::ArpNumSteps]);
    EXPECT_EQ(defaultStep(tag::ArpSpeed), 8);
    EXPECT_EQ(table().zeroValue[tag::ArpSpeed], 0.0f);
    EXPECT_EQ(defaultStep(tag::ArpStepsCatchup), 1);
    EXPECT_EQ(defaultStep(tag::ArpLoopStartCatchup), 2);
    EXPECT_EQ(defaultStep(tag::FlangerSpeed), 10);
    EXPECT_EQ(defaultStep(tag::PhaserSpeed), 10);
    EXPECT_EQ(defaultStep(tag::XYSyncToMode), 17);
    const int xyDests[4] = {74, 84, 86, 75};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(defaultStep(tag::XYModDestFirst + i), xyDests[i]);
    EXPECT_EQ(table().defaultValue[tag::arpStep(tag::RowOn, 15)], 1.0f);
    EXPECT_EQ(table().zeroValue[tag::ArpHostSyncOn], 1.0f);
    EXPECT_EQ(table().defaultValue[tag::OscFreeRunningOn], 1.0f);
    EXPECT_EQ(table().defaultValue[tag::Marker], 1.0f);
    EXPECT_FLOAT_EQ(table().defaultValue[tag::freeEnv(1, tag::FreeEnvRelease)], 0.29f);
}

TEST(ParamTable, DestinationsEditTrackingAndLocks) {
    EXPECT_EQ(table().tagDest[tag::DontUse], 86);
    EXPECT_EQ(table().tagDest[tag::MainVolume], 86);
    EXPECT_EQ(table().tagDest[tag::EnvToFilterFreq], 76);
    EXPECT_EQ(table().tagDest[tag::ModWheelToFilterFreq], 0);
    EXPECT_EQ(table().tagDest[tag::slotAmount(11)], 140);
    EXPECT_EQ(table().tagDest[tag::freeEnv(1, tag::FreeEnvRelease)], 110);
    EXPECT_EQ(table().tagDest[tag::freeEnv(1, tag::FreeEnvSync)], 0);
    EXPECT_EQ(table().tagDest[tag::ReverbMix], 221);
    EXPECT_EQ(table().tagDest[tag::ArpVelocityRatchet], 15);

    for (int t = 0; t < tag::Count; ++t) {
        const bool untracked =
            (t >= 39 && t <= 42) || (t >= 208 && t <= 242) || (t >= 299 && t <= 316);
        EXPECT_EQ(table().editTracked[t], !untracked) << "tag " << t;
        int section = kLockNone;
        if (t == 8 || t == 9 || t == 10 || (t >= 243 && t <= 247)) section = kLockPlay;
        if ((t >= 116 && t <= 125) || (t >= 291 && t <= 444)) section = kLockArp;
        EXPECT_EQ(table().lockSection[t], section) << "tag " << t;
    }
}

TEST(ParamTable, DefiningAnInvalidTagChangesNothing) {
    ParamTable copy;
    const auto before = copy.paramName;
    copy.setParameterVars(-1, 0.3f, true, 1.99f, 2, 5, 1, "x", -1.0f);
    copy.setParameterVars(1024, 0.3f, true, 1.99f, 2, 5, 1, "x", -1.0f);
    EXPECT_EQ(copy.paramName, before);
    copy.setParameterVars(5, 0.25f, false, -1.0f, -1, 0, 2, "y", -1.0f);
    EXPECT_EQ(copy.zeroValue[5], 0.25f); // negative zero value: same as default
}
