// Value texts, names and labels that hosts and the editor show for the
// parameters.

#include "core/aplugin.h"
#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstring>
#include <iterator>
#include <limits>
#include <memory>
#include <string>

namespace {

class DisplayText : public ::testing::Test {
protected:
    FakeHost host;
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);

    std::string show(int t, float v) {
        plugin->setParameter(t, v);
        return plugin->getParameterDisplayStr(t);
    }
    std::string show(int t) { return plugin->getParameterDisplayStr(t); }
    void setDest(int slot, int dest) { plugin->setModDest(slot, dest); }
};

struct Example {
    int tag;
    float value;
    const char* text;
};

// Restores the numeric locale a test changed.
class NumericLocale {
public:
    NumericLocale() : saved(std::setlocale(LC_NUMERIC, nullptr)) {}
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved.c_str()); }
    bool set(const char* name) { return std::setlocale(LC_NUMERIC, name) != nullptr; }

private:
    std::string saved;
};

} // namespace

TEST_F(DisplayText, KindExamples) {
    const Example examples[] = {
        {tag::MainVolume, 0.833f, "-10.0 dB"},   {tag::MainVolume, 1.0f, "0.0 dB"},
        {tag::MainVolume, 0.0f, "-60.0 dB"},     {tag::MainPan, 0.5f, "C"},
        {tag::MainPan, 1.0f, "0% L / 100% R"},   {tag::MainPan, 0.0f, "100% L / 0% R"},
        {tag::MainPan, 0.75f, "50% L / 100% R"}, {tag::FilterFreq, 0.0f, "20 Hz"},
        {tag::FilterFreq, 0.5f, "640 Hz"},       {tag::FilterFreq, 1.0f, "20.5 KHz"},
        {tag::AmpEnvAttack, 0.0f, "1 ms"},       {tag::AmpEnvAttack, 0.5f, "128 ms"},
        {tag::AmpEnvAttack, 1.0f, "16.38 sec"},  {tag::VelocityToVolume, 0.5f, "50%"},
        {tag::VelocityToVolume, 1.0f, "100%"},   {tag::KeyToFilterFreq, 0.0f, "-100%"},
        {tag::KeyToFilterFreq, 1.0f, "100%"},    {tag::ChorusMix, 0.5f, "Equal"},
        {tag::ChorusMix, 0.0f, "100% D / 0% W"}, {tag::ChorusMix, 1.0f, "0% D / 100% W"},
        {tag::DontUse, 0.0f, "INTERNAL 1"},      {tag::DontUse, 1.0f, "INTERNAL 101"},
    };
    for (const Example& e : examples)
        EXPECT_EQ(show(e.tag, e.value), e.text) << "tag " << e.tag << " at " << e.value;
}

TEST_F(DisplayText, OwnRuleExamples) {
    plugin->setParameter(tag::FreeLfo1SyncOn, 0.0f);
    plugin->setParameter(107, 0.0f); // delay tempo sync
    const Example examples[] = {
        {tag::OscSubVolume, 0.0f, "Sine Volume0dB"},
        {tag::OscSubVolume, 0.25f, "Sine Volume-20dB"},
        {tag::OscSubVolume, 0.5f, "Off"},
        {tag::OscSubVolume, 1.0f, "Square Volume0dB"},
        {tag::OscSModSpeed, 0.0f, "0.03 Hz"}, // slowest, still running
        {tag::OscSModSpeed, 1.0f, "27.50 Hz"},
        {tag::FreeLfo1Speed, 0.0f, "Off"},
        {tag::FreeLfo1Speed, 1.0f, "440.00 Hz"},
        {tag::XYSpeed, 0.0f, "0.06x"},
        {tag::XYSpeed, 1.0f, "16.00x"},
        {tag::ChorusLength, 1.0f, "50.0 ms"},
        {tag::ChorusSpeed, 0.0f, "0.01 Hz"},
        {tag::ChorusSpeed, 1.0f, "13.75 Hz"},
        {110, 0.0f, "0.0 ms"},
        {110, 1.0f, "511.5 ms"},
        {111, 0.0f, "0.25 m"},
        {111, 1.0f, "7.75 m"},
        {112, 0.0f, "1%"},
        {112, 1.0f, "400%"},
        {102, 0.0f, "1.0ms"},
        {102, 1.0f, "4096.0ms"},
    };
    for (const Example& e : examples)
        EXPECT_EQ(show(e.tag, e.value), e.text) << "tag " << e.tag << " at " << e.value;

    // Synced, the lengths come from the note-length lists.
    plugin->setParameter(tag::FreeLfo1SyncOn, 1.0f);
    EXPECT_EQ(show(tag::FreeLfo1Speed, 0.0f), "Off");
    plugin->setParameter(107, 1.0f);
    EXPECT_EQ(show(102, 0.0f), "1/32T");
    EXPECT_EQ(show(103, 1.0f), "1/2*");

    plugin->setParameter(87, 1.0f);
    EXPECT_EQ(show(87), "Phaser");
    plugin->setParameter(87, 0.0f);
    EXPECT_EQ(show(87), "Flanger");
}

TEST_F(DisplayText, EnvelopeTimeFollowsTheSyncSwitch) {
    const int attack = tag::freeEnv(0, tag::FreeEnvAttack);
    EXPECT_EQ(show(attack, 0.0f), "1 ms");
    plugin->setParameter(tag::freeEnv(0, tag::FreeEnvSync), 1.0f);
    EXPECT_EQ(show(attack, 0.0f), "1/32T QB"); // the shortest synced length
    EXPECT_EQ(show(attack, 1.0f), "Off");
    // The second envelope has its own switch.
    EXPECT_EQ(show(tag::freeEnv(1, tag::FreeEnvAttack), 0.0f), "1 ms");
}

TEST_F(DisplayText, FadeTime) {
    const int fade = tag::freeEnv(0, tag::FreeEnvFade);
    const int sustain = tag::freeEnv(0, tag::FreeEnvSustain);
    plugin->setParameter(sustain, 0.0f);
    EXPECT_EQ(show(fade, 0.5f), "Off");
    EXPECT_EQ(show(fade, 1.0f), "Up 1 ms");
    EXPECT_EQ(show(fade, 0.0f), "Off"); // nothing to travel down from 0
    plugin->setParameter(sustain, 1.0f);
    EXPECT_EQ(show(fade, 0.0f), "Down 1 ms");
    EXPECT_EQ(show(fade, 1.0f), "Off"); // already at the top
    plugin->setParameter(tag::freeEnv(0, tag::FreeEnvSync), 1.0f);
    EXPECT_EQ(show(fade, 0.5f), "Off");
}

TEST_F(DisplayText, ModulationAmountFollowsTheDestinationType) {
    const int amount = tag::slotAmount(0);
    setDest(0, 1); // plain
    EXPECT_EQ(show(amount, 0.5f), "0%");
    EXPECT_EQ(show(amount, 1.0f), "100%");
    setDest(0, 21); // semitones
    EXPECT_EQ(show(amount, 0.5f), "0.00s");
    EXPECT_EQ(show(amount, 0.0f), "-36.00s");
    EXPECT_EQ(show(amount, 1.0f), "36.00s");
    setDest(0, 5); // speed
    EXPECT_EQ(show(amount, 0.5f), "x1.00");
    EXPECT_EQ(show(amount, 0.0f), "x0.25");
    EXPECT_EQ(show(amount, 1.0f), "x4.00");
    // The XY amounts use the four XY slots.
    setDest(12, 21);
    EXPECT_EQ(show(tag::XYModAmountFirst, 0.5f), "0.00s");
}

// A text asked for a given value (a host's value-to-string) depends on that
// value only: moving the tag's live value, locked or not, changes nothing.
TEST_F(DisplayText, TextOfAGivenValueIgnoresTheLiveValue) {
    const float asked[] = {0.0f, 0.25f, 0.5f, 0.75f, 1.0f};
    for (bool locked : {false, true}) {
        plugin->setLockState(2, locked ? 1 : 0);
        for (int t = 0; t < tag::Count; ++t) {
            plugin->setParameter(t, 0.0f);
            std::string texts[std::size(asked)];
            for (std::size_t i = 0; i < std::size(asked); ++i)
                texts[i] = plugin->formatParameterValue(t, asked[i]);
            for (float live : {0.37f, 1.0f}) {
                plugin->setParameter(t, live);
                for (std::size_t i = 0; i < std::size(asked); ++i)
                    ASSERT_EQ(plugin->formatParameterValue(t, asked[i]), texts[i])
                        << "tag " << t << " value " << asked[i] << " live " << live;
            }
        }
    }
    const int tune = tag::arpStep(tag::RowTune, 0);
    EXPECT_EQ(plugin->formatParameterValue(tune, 0.0f), "-36 Semi");
    EXPECT_EQ(plugin->formatParameterValue(tune, 0.5f), "0 Semi");
    EXPECT_EQ(plugin->formatParameterValue(tune + 15, 1.0f), "36 Semi");
}

TEST_F(DisplayText, ArpMagicModeIsDashedWithoutMagicSteps) {
    plugin->setSteppedValue(124, 0);
    EXPECT_EQ(show(298), "------");
}

TEST_F(DisplayText, WaveShaperManualModeHasNoUse) {
    plugin->setSteppedValue(995, 0);
    EXPECT_EQ(show(993), " n/a");
}

TEST_F(DisplayText, FloatHelpers) {
    EXPECT_EQ(APlugin::getFloatStr(12.5f, 2), "12.50");
    EXPECT_EQ(APlugin::getFloatStr(-10.02f, 1), "-10.0");
    EXPECT_EQ(APlugin::getFloatStr(3.0f, 0), "3");
    EXPECT_EQ(APlugin::getFloatStr(-0.01f, 1), "0.0"); // no sign on a zero
    EXPECT_EQ(APlugin::getFilterFreqStr(0.5f), "640 Hz");
    EXPECT_EQ(APlugin::getEnvLenStr(1.0f), "16.38 sec");
    EXPECT_EQ(APlugin::getFadeLenStr(0.5f, 0.3f), "Off");
    // Out-of-range input gives a text of the range's end, never garbage.
    EXPECT_EQ(APlugin::getFilterFreqStr(std::numeric_limits<float>::quiet_NaN()), "20 Hz");
    EXPECT_EQ(APlugin::getEnvLenStr(7.0f), "16.38 sec");
}

TEST_F(DisplayText, InvalidTagsAndNullBuffers) {
    char text[64];
    std::strcpy(text, "xyz");
    plugin->getParameterDisplay(-1, text);
    EXPECT_STREQ(text, " ");
    plugin->getParameterDisplay(tag::Count, text);
    EXPECT_STREQ(text, " ");
    plugin->getParameterDisplay(0, nullptr); // nothing happens

    std::strcpy(text, "xyz");
    plugin->getParameterName(tag::Count, text);
    EXPECT_STREQ(text, "");
    plugin->getParameterName(0, nullptr);
    EXPECT_EQ(plugin->getParameterNameStr(tag::MainVolume), "Main Volume");

    for (int t : {-5, 0, 500, 1023, 1024}) {
        std::strcpy(text, "xyz");
        plugin->getParameterLabel(t, text);
        EXPECT_STREQ(text, " ");
    }
}

TEST_F(DisplayText, NonFiniteAndOutOfRangeValuesGiveSensibleTexts) {
    for (float v : {std::numeric_limits<float>::quiet_NaN(), -3.0f, 1e30f,
                    std::numeric_limits<float>::infinity()}) {
        for (int t = 0; t < tag::Count; ++t) {
            plugin->core.values.currentValue[t] = v;
            plugin->core.programStore[0].values[t] = v;
        }
        for (int t = 0; t < tag::Count; ++t) {
            const std::string text = plugin->getParameterDisplayStr(t);
            EXPECT_FALSE(text.empty()) << t;
            EXPECT_LE(text.size(), 63u) << t;
            EXPECT_EQ(text.find("nan"), std::string::npos) << t << ": " << text;
            EXPECT_EQ(text.find("inf"), std::string::npos) << t << ": " << text;
        }
    }
}

TEST_F(DisplayText, EveryTagHasABoundedTextInAnyLocale) {
    auto checkAll = [&](bool commaLocale) {
        for (float v : {0.0f, 0.5f, 1.0f}) {
            for (int t = 0; t < tag::Count; ++t) plugin->setParameter(t, v);
            for (int t = 0; t < tag::Count; ++t) {
                char text[64];
                std::memset(text, 'Z', sizeof text);
                plugin->getParameterDisplay(t, text);
                const std::size_t length = strnlen(text, sizeof text);
                ASSERT_LT(length, sizeof text) << "tag " << t;
                EXPECT_GT(length, 0u) << "tag " << t;
                if (commaLocale) {
                    EXPECT_EQ(std::strchr(text, ','), nullptr) << "tag " << t << ": " << text;
                }

                char name[64];
                std::memset(name, 'Z', sizeof name);
                plugin->getParameterName(t, name);
                EXPECT_LT(strnlen(name, sizeof name), sizeof name) << "tag " << t;
            }
        }
    };
    checkAll(false);

    NumericLocale locale;
    if (!locale.set("de_DE.UTF-8") && !locale.set("de_DE.utf8")) {
        GTEST_SKIP() << "no comma-decimal locale installed";
    }
    EXPECT_STREQ(std::localeconv()->decimal_point, ",");
    checkAll(true);
    plugin->setParameter(tag::MainVolume, 0.833f);
    EXPECT_EQ(plugin->getParameterDisplayStr(tag::MainVolume), "-10.0 dB");
    plugin->setParameter(tag::FilterFreq, 1.0f);
    EXPECT_EQ(plugin->getParameterDisplayStr(tag::FilterFreq), "20.5 KHz");
}

TEST_F(DisplayText, OwnRuleTagsNeverShowThePlaceholder) {
    const ParamTable& meta = plugin->meta();
    for (float v : {0.0f, 0.5f, 1.0f}) {
        for (int t = 0; t < tag::Count; ++t) plugin->setParameter(t, v);
        for (int t = 0; t < tag::Count; ++t) {
            if (meta.displayKind[t] != kDisplayOwn) continue;
            EXPECT_NE(plugin->getParameterDisplayStr(t), "----")
                << "tag " << t << " " << meta.paramName[t];
        }
    }
}
