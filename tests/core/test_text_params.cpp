// Text held in parameters: one character per tag (the preset name) and two
// characters per tag (user-wave and tuning names), the character filter, the
// length limits and runs that reach past the last tag.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <string>

namespace {

float oneCharValue(int c) {
    return (static_cast<float>(c) + 0.5f) / 255.99f;
}
float twoCharValue(int high, int low) {
    return (static_cast<float>(high * 256 + low) + 0.5f) / 65536.0f;
}

// One plug-in for the group; nothing here renders.
class TextParamsTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { harness = new PluginHarness(0x5EED, false); }
    static void TearDownTestSuite() {
        delete harness;
        harness = nullptr;
    }
    APlugin& p() { return harness->p(); }

    // The three copies of a tag agree with v.
    void expectAllCopies(int t, float v) {
        EXPECT_EQ(p().getStoredValue(t), v) << "tag " << t;
        EXPECT_EQ(p().getCurrentValue(t), v) << "tag " << t;
        EXPECT_EQ(p().core.values.editValue[t], v) << "tag " << t;
    }

    static PluginHarness* harness;
};

PluginHarness* TextParamsTest::harness = nullptr;

using TextParamsOneChar = TextParamsTest;
using TextParamsTwoChar = TextParamsTest;

constexpr int kWave0Name = tag::WaveNameFirst; // 973..982
constexpr int kWave1Name = tag::WaveNameFirst + tag::UserWaveNameChars;

} // namespace

// ------------------------------------------------------------------ two characters per tag

TEST_F(TextParamsTwoChar, OddLengthGetsATrailingBlank) {
    p().set2StringFromParam("abc", kWave0Name, tag::UserWaveNameChars);
    expectAllCopies(kWave0Name, twoCharValue('a', 'b'));
    expectAllCopies(kWave0Name + 1, twoCharValue('c', ' '));
    for (int k = 2; k < tag::UserWaveNameChars; ++k) expectAllCopies(kWave0Name + k, 0.0f);
    EXPECT_EQ(p().get2StringFromParamStr(kWave0Name, tag::UserWaveNameChars), "abc ");
}

TEST_F(TextParamsTwoChar, LongWaveNameKeepsTwentyCharacters) {
    const std::string name = "ABCDEFGHIJKLMNOPQRSTUVWXY"; // 25
    p().set2StringFromParam(name, kWave1Name, tag::UserWaveNameChars);
    EXPECT_EQ(p().get2StringFromParamStr(kWave1Name, tag::UserWaveNameChars), name.substr(0, 20));
    expectAllCopies(kWave1Name + 9, twoCharValue('S', 'T'));

    // Exactly twenty characters also fill all ten tags.
    p().set2StringFromParam("abcdefghijklmnopqrst", kWave1Name, tag::UserWaveNameChars);
    EXPECT_EQ(p().get2StringFromParamStr(kWave1Name, tag::UserWaveNameChars),
              "abcdefghijklmnopqrst");
}

TEST_F(TextParamsTwoChar, ShorterTextClearsTheRestOfTheRun) {
    p().set2StringFromParam("abcdefghijklmnopqrst", kWave0Name, tag::UserWaveNameChars);
    p().set2StringFromParam("Hi", kWave0Name, tag::UserWaveNameChars);
    EXPECT_EQ(p().get2StringFromParamStr(kWave0Name, tag::UserWaveNameChars), "Hi");
    for (int k = 1; k < tag::UserWaveNameChars; ++k) expectAllCopies(kWave0Name + k, 0.0f);
    p().set2StringFromParam("", kWave0Name, tag::UserWaveNameChars);
    EXPECT_EQ(p().get2StringFromParamStr(kWave0Name, tag::UserWaveNameChars), "");
}

TEST_F(TextParamsTwoChar, FilterAppliesToBothHalves) {
    p().set2StringFromParam("a:b/c", kWave0Name, tag::UserWaveNameChars);
    // "a-b c" and the blank that pads it to an even length.
    EXPECT_EQ(p().get2StringFromParamStr(kWave0Name, tag::UserWaveNameChars), "a-b c ");
    expectAllCopies(kWave0Name + 1, twoCharValue('b', ' '));

    p().set2StringFromParam("\"*/<>?\\|", kWave0Name, tag::UserWaveNameChars);
    EXPECT_EQ(p().get2StringFromParamStr(kWave0Name, tag::UserWaveNameChars), "        ");
}

TEST_F(TextParamsTwoChar, HighHalfZeroStillReadsTheLowHalf) {
    for (int k = 0; k < tag::UserWaveNameChars; ++k) p().setParameter(kWave1Name + k, 0.0f);
    p().setParameter(kWave1Name + 0, twoCharValue(0, 'x'));
    // a stored 0 in between reads as nothing, and reading goes on
    p().setParameter(kWave1Name + 2, twoCharValue('y', 'z'));
    p().setParameter(kWave1Name + 3, twoCharValue('w', 0));
    EXPECT_EQ(p().get2StringFromParamStr(kWave1Name, tag::UserWaveNameChars), "xyzw");
}

TEST_F(TextParamsTwoChar, HighCodesDisappear) {
    p().set2StringFromParam(std::string("a\xC8"
                                        "b\x07"),
                            kWave0Name, tag::UserWaveNameChars);
    expectAllCopies(kWave0Name, twoCharValue('a', 0));
    expectAllCopies(kWave0Name + 1, twoCharValue('b', 0));
    EXPECT_EQ(p().get2StringFromParamStr(kWave0Name, tag::UserWaveNameChars), "ab");
}

TEST_F(TextParamsTwoChar, RunPastTheLastTagTouchesOnlyRealTags) {
    p().setParameter(1019, 0.3f);
    p().set2StringFromParam("abcdefghijklmnopqrst", 1020, 10);
    EXPECT_EQ(p().getStoredValue(1019), 0.3f);
    expectAllCopies(1020, twoCharValue('a', 'b'));
    expectAllCopies(1023, twoCharValue('g', 'h'));
    EXPECT_EQ(p().get2StringFromParamStr(1020, 10), "abcdefgh");

    // The clear of a short text stays inside the tags as well.
    p().set2StringFromParam("zz", 1020, 10);
    EXPECT_EQ(p().get2StringFromParamStr(1020, 10), "zz");
    expectAllCopies(1023, 0.0f);
    EXPECT_EQ(p().getStoredValue(1019), 0.3f);

    // Nothing happens for an empty run.
    p().set2StringFromParam("qq", 1020, 0);
    EXPECT_EQ(p().get2StringFromParamStr(1020, 10), "zz");
}

// ------------------------------------------------------------------ one character per tag

TEST_F(TextParamsOneChar, StoresAndReadsEachCharacter) {
    p().setStringFromParam("Pad", tag::PresetNameFirst, tag::PresetNameLength);
    expectAllCopies(tag::PresetNameFirst, oneCharValue('P'));
    expectAllCopies(tag::PresetNameFirst + 2, oneCharValue('d'));
    expectAllCopies(tag::PresetNameFirst + 3, 0.0f);
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "Pad");
}

TEST_F(TextParamsOneChar, LongPresetNameStoresOneLessThanTheRun) {
    const std::string name = "123456789012345678901234567890"; // 30
    p().setStringFromParam(name, tag::PresetNameFirst, tag::PresetNameLength);
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength),
              name.substr(0, 27));
    expectAllCopies(tag::PresetNameLast, 0.0f);

    // 28 characters are cut to 27 too: the last tag of a full run stays 0.
    p().setStringFromParam(name.substr(0, 28), tag::PresetNameFirst, tag::PresetNameLength);
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength),
              name.substr(0, 27));
    EXPECT_EQ(p().getStoredValue(tag::PresetNameLast), 0.0f);
}

TEST_F(TextParamsOneChar, FilterReplacesReservedCharacters) {
    p().setStringFromParam("a:b/c", tag::PresetNameFirst, tag::PresetNameLength);
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "a-b c");
    p().setStringFromParam("\"*/<>?\\|", tag::PresetNameFirst, tag::PresetNameLength);
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "        ");
}

TEST_F(TextParamsOneChar, HighAndControlCodesDisappear) {
    p().setStringFromParam(std::string("a\xC8"
                                       "b\x1F"
                                       "c"),
                           tag::PresetNameFirst, tag::PresetNameLength);
    expectAllCopies(tag::PresetNameFirst + 1, oneCharValue(0));
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "abc");
    // Zero characters are skipped, not an end of text.
    p().setParameter(tag::PresetNameFirst + 5, oneCharValue('z'));
    EXPECT_EQ(p().getStringFromParamStr(tag::PresetNameFirst, tag::PresetNameLength), "abcz");
}

TEST_F(TextParamsOneChar, RunPastTheLastTagTouchesOnlyRealTags) {
    p().setParameter(1019, 0.3f);
    p().setStringFromParam("abcdefghij", 1020, 10);
    EXPECT_EQ(p().getStoredValue(1019), 0.3f);
    expectAllCopies(1020, oneCharValue('a'));
    expectAllCopies(1023, oneCharValue('d'));
    EXPECT_EQ(p().getStringFromParamStr(1020, 10), "abcd");
    p().setStringFromParam("x", 1020, 0);
    EXPECT_EQ(p().getStringFromParamStr(1020, 10), "abcd");
}
