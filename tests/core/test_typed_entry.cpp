// Typed entry of parameter values in their own units, typed modulation
// amounts, wheel and arrow stepping, and stepping through the preset list.

#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "platform/dialog_service.h"
#include "support/fake_host.h"

#include <gtest/gtest.h>

#include <climits>
#include <clocale>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <utility>
#include <vector>

namespace {

// The scripted answers, noting whether the popup flag was up while each box
// was open.
class FlagWatchingScript : public ScriptedDialogService {
public:
    explicit FlagWatchingScript(const Flag& flag) : flag(flag) {}
    std::optional<std::string> inputText(const TextInputRequest& request) override {
        flagWhileOpen.push_back(flag.get());
        return ScriptedDialogService::inputText(request);
    }
    const Flag& flag;
    std::vector<bool> flagWhileOpen;
};

class TypedEntry : public ::testing::Test {
protected:
    FakeHost host;
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);
    FlagWatchingScript script{plugin->core.popupOpen};
    ScopedDialogService installed{script};

    float value(int t) { return plugin->getParameter(t); }
    std::string shown(int t) { return plugin->getParameterDisplayStr(t); }
    int step(int t) { return plugin->getSteppedValue(t); }

    // Types answer into the box of tag t; returns the request the box made.
    TextInputRequest type(int t, const std::string& answer) {
        script.pushText(answer);
        const std::size_t before = script.textRequests.size();
        plugin->setNumValue(t);
        EXPECT_EQ(script.textRequests.size(), before + 1) << "no box for tag " << t;
        return script.textRequests.empty() ? TextInputRequest{} : script.textRequests.back();
    }
    TextInputRequest typeMod(int slot, const std::string& answer) {
        script.pushText(answer);
        const std::size_t before = script.textRequests.size();
        plugin->setModValue(slot);
        EXPECT_EQ(script.textRequests.size(), before + 1) << "no box for slot " << slot;
        return script.textRequests.empty() ? TextInputRequest{} : script.textRequests.back();
    }
    std::size_t automations() const { return host.count(audioMasterAutomate); }
};

// Restores the numeric locale a test changed.
class NumericLocale {
public:
    NumericLocale() : saved(std::setlocale(LC_NUMERIC, nullptr)) {}
    ~NumericLocale() { std::setlocale(LC_NUMERIC, saved.c_str()); }
    bool setDecimalComma() {
        for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"})
            if (std::setlocale(LC_NUMERIC, name)) return true;
        return false;
    }

private:
    std::string saved;
};

struct PromptCase {
    int tag;
    const char* prompt;
};

} // namespace

// ------------------------------------------------------------------ the box

TEST_F(TypedEntry, PromptsStateTheRangeInTheParametersUnit) {
    plugin->setParameter(tag::FreeLfo1SyncOn, 1.0f);
    plugin->setParameter(tag::DelaySyncOn, 1.0f);
    plugin->setParameter(56, 1.0f); // free envelope 1 tempo sync
    const PromptCase cases[] = {
        {117, "1 to 16 Steps"},
        {381, "0 to 127"},
        {365, "-36 to 36 semi"},
        {429, "0 - Off, 2,3,4"},
        {39, "-100 to 100%"},
        {43, "-100 to 100%"},
        {21, "-100 to 100%"},
        {20, "0 to 27.5Hz"},
        {124, "0 (0: Off) to 8 (4 Steps: Random)"},
        {600, "-100 to 100%"},
        {63, "Off [0] to 1/32T QB [33]"},
        {49, "0.06x to 16x"},
        {81, "0 to 50ms"},
        {89, "0 to 50ms"},
        {91, "Off [0] to 1/16T [30]"},
        {98, "Off [0] to 1/16T [30]"},
        {83, "0 to 13.75Hz"},
        {102, "1/32T [0] to 1/2* [14]"},
        {112, "1 to 400%"},
        {111, "0.25 to 7.75m^3"},
        {110, "0 to 511ms"},
        {tag::FilterType, "0 to 21"},
        {tag::OscWaveA, "0 to 184"},
        {tag::DriftOn, "0 to 1"}, // a stepped switch takes a step number
        {tag::DelayOn, "0 for Off, 1 for On"},
        {tag::MainPan, "-100 to 100%"},
        {tag::ChorusMix, "-100 to 100%"},
        {tag::KeyToFilterFreq, "-100 to 100%"},
        {tag::MainVolume, "-60 to 0 dB"},
        {123, "0 to 127"},
        {tag::FilterFreq, "20 to 20500 hz"},
        {51, "1/32T QB [0] to Off [30]"},
        {tag::AmpEnvAttack, "1 to 16000 ms"},
        {54, "Down 1/32T QB [0] to Up 1/32T [60]"},
        {60, "-100 to 100%"},
        {tag::VelocityToVolume, "0 to 100%"},
        {87, "0 to 100%"},
    };
    for (const PromptCase& c : cases) {
        script.pushTextCancel();
        plugin->setNumValue(c.tag);
        ASSERT_FALSE(script.textRequests.empty());
        const TextInputRequest& r = script.textRequests.back();
        EXPECT_EQ(r.prompt, c.prompt) << "tag " << c.tag;
        EXPECT_EQ(r.title, plugin->getParameterNameStr(c.tag)) << "tag " << c.tag;
    }

    plugin->setParameter(tag::FreeLfo1SyncOn, 0.0f);
    plugin->setParameter(tag::DelaySyncOn, 0.0f);
    plugin->setParameter(56, 0.0f);
    const PromptCase unsynced[] = {
        {63, "0 to 440Hz"}, {102, "0 to 1024ms"}, {51, "1 to 16000 ms"}, {54, "-100 to 100%"}};
    for (const PromptCase& c : unsynced) {
        script.pushTextCancel();
        plugin->setNumValue(c.tag);
        EXPECT_EQ(script.textRequests.back().prompt, c.prompt) << "tag " << c.tag;
    }
}

TEST_F(TypedEntry, BoxOpensWithTheValueTextOrTheRowsOwnText) {
    plugin->setParameter(tag::FilterFreq, 0.5f);
    EXPECT_EQ(type(tag::FilterFreq, "").initialText, "640 Hz");

    // Envelope times open in milliseconds with two decimals.
    plugin->setParameter(tag::AmpEnvAttack, 0.5f);
    EXPECT_EQ(type(tag::AmpEnvAttack, "").initialText, "128.00 ms");
    plugin->setParameter(tag::AmpEnvAttack, 1.0f);
    EXPECT_EQ(type(tag::AmpEnvAttack, "").initialText, "16384.00 ms");

    // Ratchets open on their count (0 for Off); continuous switches show Off
    // or On.
    plugin->setSteppedValue(429, 2);
    EXPECT_EQ(type(429, "").initialText, "3");
    plugin->setSteppedValue(429, 0);
    EXPECT_EQ(type(429, "").initialText, "0");
    plugin->setParameter(tag::DelayOn, 1.0f);
    EXPECT_EQ(type(tag::DelayOn, "").initialText, "On");
    plugin->setParameter(tag::DelayOn, 0.0f);
    EXPECT_EQ(type(tag::DelayOn, "").initialText, "Off");
}

TEST_F(TypedEntry, CancelOrEmptyAnswerChangesNothing) {
    plugin->setParameter(tag::FilterFreq, 0.3f);
    plugin->setSteppedValue(tag::FilterType, 5);
    host.clearLog();

    script.pushTextCancel();
    plugin->setNumValue(tag::FilterFreq);
    EXPECT_FLOAT_EQ(value(tag::FilterFreq), 0.3f);
    type(tag::FilterType, "");
    EXPECT_EQ(step(tag::FilterType), 5);
    EXPECT_EQ(automations(), 0u);
}

// The popup flag (no editor rebuild under the box) is up while a box is
// open and afterwards as it was before, however the entry ends: down after
// an entry from a control, still up inside a menu, whose closing refresh
// takes it down.
TEST_F(TypedEntry, PopupFlagIsUpOnlyWhileTheBoxIsOpen) {
    plugin->setModDest(0, 21); // a pitch destination: slot 0's amount has a box
    plugin->setModDest(1, 0);  // slot 1 has none
    const struct {
        const char* ending;
        std::optional<std::string> answer; // nullopt: cancelled
        int tag;                           // -1: the amount of slot, not a tag
        int slot;
        bool box;
    } rows[] = {
        {"accepted", "1000", tag::FilterFreq, 0, true},
        {"cancelled", std::nullopt, tag::FilterFreq, 0, true},
        {"empty", "", tag::FilterType, 0, true},
        {"no number", "abc", tag::FilterFreq, 0, true},
        {"unchanged", "Off", tag::DelayOn, 0, true},
        {"internal tag", "1", tag::ApplyPreset, 0, false},
        {"amount accepted", "7", -1, 0, true},
        {"amount cancelled", std::nullopt, -1, 0, true},
        {"amount without destination", "7", -1, 1, false},
    };
    plugin->setParameter(tag::DelayOn, 0.0f);
    for (const bool inMenu : {false, true}) {
        for (const auto& row : rows) {
            SCOPED_TRACE(std::string(row.ending) + (inMenu ? " in a menu" : " from a control"));
            plugin->core.popupOpen.set(inMenu);
            script.flagWhileOpen.clear();
            script.textAnswers.clear();
            if (row.answer)
                script.pushText(*row.answer);
            else
                script.pushTextCancel();
            if (row.tag >= 0)
                plugin->setNumValue(row.tag);
            else
                plugin->setModValue(row.slot);
            EXPECT_EQ(script.flagWhileOpen, std::vector<bool>(row.box ? 1 : 0, true));
            EXPECT_EQ(bool(plugin->core.popupOpen), inMenu);
        }
    }
}

// Every box of every tag and every slot amount: a cancel, an empty answer or
// one without a number keeps the value exactly.
TEST_F(TypedEntry, AnswersWithoutANumberKeepEveryValue) {
    const std::optional<std::string> answers[] = {std::nullopt, "", "abc", "-", ".", "Off", "x%"};
    for (int slot = 0; slot < tag::ModSlotCount; ++slot)
        plugin->setParameter(tag::slotDest(slot), 0.3f);
    for (int t = 0; t < tag::Count; ++t) {
        plugin->setParameter(t, 0.37f);
        const float before = value(t);
        for (const auto& answer : answers) {
            if (answer)
                script.pushText(*answer);
            else
                script.pushTextCancel();
            plugin->setNumValue(t);
            script.textAnswers.clear(); // a tag without a box leaves its answer
            ASSERT_EQ(value(t), before) << "tag " << t << " answer " << answer.value_or("cancel");
        }
    }
    for (int slot = 0; slot < tag::ModSlotCount; ++slot) {
        const float before = value(tag::slotAmount(slot));
        for (const auto& answer : answers) {
            if (answer)
                script.pushText(*answer);
            else
                script.pushTextCancel();
            plugin->setModValue(slot);
            EXPECT_EQ(value(tag::slotAmount(slot)), before) << "slot " << slot;
        }
    }
}

TEST_F(TypedEntry, InvalidAndInternalTagsOpenNoBox) {
    for (int t : {-1, tag::Count, INT_MAX}) plugin->setNumValue(t);
    EXPECT_TRUE(script.textRequests.empty());
    EXPECT_FALSE(plugin->core.popupOpen);

    // Internal tags, the host-only commands 997 and 998 among them.
    for (int t : {0, 130, tag::ApplyPreset, tag::TakeOver, 1010}) {
        const float before = value(t);
        script.pushText("1");
        plugin->setNumValue(t);
        EXPECT_FLOAT_EQ(value(t), before) << "tag " << t;
    }
    EXPECT_TRUE(script.textRequests.empty());
    EXPECT_FALSE(plugin->core.presetPending);
}

// A box confirmed as it opened keeps the value, also where the text shown is
// not a number of the prompt's unit (a list entry, a balance).
TEST_F(TypedEntry, ConfirmingTheShownTextUnchangedKeepsTheValue) {
    plugin->setSteppedValue(tag::FilterType, 5);
    plugin->setParameter(tag::MainPan, 0.75f);
    plugin->setParameter(tag::AmpEnvAttack, 0.3f); // between two whole milliseconds
    plugin->setParameter(tag::DelayOn, 1.0f);
    plugin->setParameter(tag::OscSubVolume, 0.25f);
    plugin->setParameter(54, 0.8f);
    for (int t :
         {tag::FilterType, tag::MainPan, tag::AmpEnvAttack, tag::DelayOn, tag::OscSubVolume, 54}) {
        const float before = value(t);
        script.pushText(t == tag::AmpEnvAttack ? plugin->getFloatStr(18.0f, 2) + " ms"
                        : t == tag::DelayOn    ? "On"
                                               : shown(t));
        plugin->setNumValue(t);
        EXPECT_EQ(value(t), before) << "tag " << t;
    }
}

// ------------------------------------------------------------------ round trips

// For every kind of value text: a value is shown, the text is typed back
// into the box (opened on another value) and the value comes back within the
// resolution of the text.
TEST_F(TypedEntry, ValueTextTypedBackGivesTheValueAgain) {
    struct Case {
        int tag;
        float value;
        float other; // the value the box is opened on
        float tolerance;
    };
    const Case cases[] = {
        {tag::VelocityToVolume, 0.37f, 0.9f, 0.0101f}, // kind 2, "37%"
        {tag::KeyToFilterFreq, 0.2f, 0.9f, 0.0051f},   // kind 3, "-60%"
        {tag::KeyToFilterFreq, 0.93f, 0.1f, 0.0051f},
        {tag::MainVolume, 0.833f, 0.2f, 0.0018f}, // kind 4, "-10.0 dB"
        {tag::MainVolume, 0.0f, 0.5f, 0.0f},
        {123, 0.5f, 0.1f, 1.0f / 127.0f},               // kind 5
        {381, 0.25f, 0.9f, 1.0f / 127.0f},              // step velocity
        {365, 0.75f, 0.1f, 1.0f / 72.0f},               // kind 9, "18 Semi"
        {365, 0.0f, 0.6f, 1.0f / 72.0f},                // "-36 Semi"
        {tag::FilterFreq, 0.5f, 0.1f, 0.0001f},         // kind 11, "640 Hz"
        {tag::FilterFreq, 0.27f, 0.9f, 0.0012f},        // "129 Hz"
        {tag::FilterFreq, 0.85f, 0.1f, 0.0032f},        // "7.2 KHz"
        {tag::FilterFreq, 1.0f, 0.1f, 0.0f},            // "20.5 KHz"
        {tag::AmpEnvAttack, 0.5f, 0.1f, 0.0f},          // kind 15, "128 ms"
        {tag::AmpEnvAttack, 0.9f, 0.1f, 0.0002f},       // "6.21 sec", typed as ms
        {tag::OscSModSpeed, 0.6f, 0.1f, 0.0002f},       // "1.72 Hz"
        {tag::FreeLfo1Speed, 0.4f, 0.8f, 0.0001f},      // sync off
        {tag::ChorusSpeed, 0.56f, 0.1f, 0.0025f},       // "0.65 Hz"
        {tag::XYSpeed, 0.5f, 0.1f, 0.0f},               // "1.00x"
        {tag::XYSpeed, 0.8f, 0.1f, 0.0003f},            // "5.28x"
        {tag::ChorusLength, 0.426f, 0.9f, 0.0011f},     // "21.3 ms"
        {tag::DelayLeft, 0.67f, 0.1f, 0.0001f},         // sync off: "263.2ms"
        {tag::ReverbPreDelay, 0.61f, 0.1f, 0.0003f},    // "33.8 ms"
        {tag::ReverbSize, 0.645f, 0.1f, 1.0f / 30.75f}, // "5.00 m"
        {tag::ReverbLength, 0.81f, 0.1f, 0.002f},       // "139%"
        {tag::XYX, 0.25f, 0.9f, 0.0051f},               // bipolar, "-50%"
        {600, 0.9f, 0.1f, 0.0051f},                     // XY path point
        {tag::freeEnv(0, tag::FreeEnvSustain), 0.66f, 0.1f, 0.0101f},
    };
    plugin->setParameter(tag::FreeLfo1SyncOn, 0.0f);
    plugin->setParameter(tag::DelaySyncOn, 0.0f);
    for (const Case& c : cases) {
        plugin->setParameter(c.tag, c.value);
        std::string text = shown(c.tag);
        if (plugin->meta().displayKind[c.tag] == kDisplayEnvTime)
            text = plugin->getFloatStr(std::floor(std::exp2(14.0f * c.value)), 2) + " ms";
        plugin->setParameter(c.tag, c.other);
        type(c.tag, text);
        EXPECT_NEAR(value(c.tag), c.value, c.tolerance) << "tag " << c.tag << " typed " << text;
    }
}

// Every tag whose box takes a number in the unit its text shows, at random
// values (fresh seed per run): the box's own text typed back, and the value
// text typed as it stands, read back as the same texts; every whole
// millisecond typed into an envelope time reads back as itself and shows the
// text the display gives that time.
TEST_F(TypedEntry, TypedTextsReadBackAsTheTextsTyped) {
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (const int sync : {tag::FreeLfo1SyncOn, tag::FreeLfo2SyncOn, tag::DelaySyncOn,
                           tag::freeEnv(0, tag::FreeEnvSync), tag::freeEnv(1, tag::FreeEnvSync)})
        plugin->setParameter(sync, 0.0f);
    for (int xy = 0; xy < tag::XYModCount; ++xy)
        plugin->setSteppedValue(tag::XYModDestFirst + xy, 1);
    const ParamTable& m = plugin->meta();
    auto wordsOrSteps = [&m](int t) {
        const int kind = m.displayKind[t];
        return m.steppedNum[t] != -1 || kind == kDisplayOnOff || kind == kDisplayInternal ||
               kind == kDisplayPan || kind == kDisplayMix || kind == kDisplayFadeTime ||
               t == tag::OscSubVolume || t == tag::FlangerOrPhaser ||
               (t >= tag::slotAmount(0) && t < tag::slotAmount(tag::ModSlotCount));
    };
    // Types into tag t (slot amount when slot >= 0); the box's text and the
    // value text afterwards.
    auto typeInto = [&](int t, int slot, const std::string& answer) {
        if (slot >= 0) {
            typeMod(slot, answer);
            return std::pair(shown(t), shown(t));
        }
        type(t, answer);
        const std::string box = type(t, "").initialText;
        return std::pair(box, shown(t));
    };
    auto check = [&](int t, int slot) {
        for (int i = 0; i < 40; ++i) {
            const float v = unit(random);
            plugin->setParameter(t, v);
            const auto [box, text] = typeInto(t, slot, "");
            if (t == tag::ReverbPreDelay && text == "0.0 ms") continue; // its box ignores 0
            for (const std::string& answer : {box, text}) {
                plugin->setParameter(t, unit(random));
                const auto [boxAfter, textAfter] = typeInto(t, slot, answer);
                ASSERT_EQ(textAfter, text) << "tag " << t << " at " << v << " typed " << answer;
                if (answer == box) {
                    ASSERT_EQ(boxAfter, box) << "tag " << t << " at " << v;
                }
            }
        }
    };
    for (int t = 0; t < tag::Count; ++t) {
        if (wordsOrSteps(t)) continue;
        plugin->setSteppedValue(tag::WaveShaperMode, static_cast<int>(random() % 23));
        check(t, -1);
    }
    for (int slot = 0; slot < tag::ModSlotCount; ++slot) {
        // Plain and speed destinations; semitones are typed whole.
        plugin->setModDest(slot, slot % 2 ? 5 : 1);
        check(tag::slotAmount(slot), slot);
    }

    int missed = 0;
    for (int ms = 1; ms <= 16000; ++ms) {
        plugin->setParameter(tag::AmpEnvAttack, unit(random));
        const std::string typed = std::to_string(ms);
        type(tag::AmpEnvAttack, typed);
        const std::string expected =
            ms < 1000 ? typed + " ms" : plugin->getFloatStr(ms / 1000.0f, 2) + " sec";
        if (type(tag::AmpEnvAttack, "").initialText != typed + ".00 ms" ||
            shown(tag::AmpEnvAttack) != expected)
            ++missed;
    }
    EXPECT_EQ(missed, 0) << "of 16000 whole milliseconds typed";
}

// Balances, fades and the sub-oscillator show words; their box takes the
// signed percentage the prompt asks for.
TEST_F(TypedEntry, BipolarPercentagesRoundTrip) {
    const int tags[] = {tag::MainPan, tag::ChorusMix, tag::OscSubVolume, 54, 43};
    for (int t : tags) {
        for (int percent : {-100, -40, 0, 30, 100}) {
            plugin->setParameter(t, percent == 0 ? 0.9f : 0.5f);
            type(t, std::to_string(percent) + "%");
            EXPECT_NEAR(value(t), percent / 200.0f + 0.5f, 1e-6f) << "tag " << t;
        }
        type(t, "250");
        EXPECT_EQ(value(t), 1.0f);
        type(t, "-250");
        EXPECT_EQ(value(t), 0.0f);
    }
    plugin->setParameter(tag::MainPan, 0.5f);
    type(tag::MainPan, "50");
    EXPECT_EQ(shown(tag::MainPan), "50% L / 100% R");
}

TEST_F(TypedEntry, StepNumbersRoundTripAndClamp) {
    struct Case {
        int tag;
        int count;
    };
    plugin->setParameter(tag::FreeLfo1SyncOn, 1.0f);
    plugin->setParameter(tag::DelaySyncOn, 1.0f);
    plugin->setParameter(56, 1.0f);
    const Case cases[] = {{tag::FilterType, 22}, {tag::OscWaveA, 185},   {124, 9}, {91, 31},
                          {tag::DriftOn, 2},     {tag::slotDest(3), 222}};
    for (const Case& c : cases) {
        for (int s : {0, 1, c.count / 2, c.count - 1}) {
            plugin->setSteppedValue(c.tag, s == 0 ? 1 : 0);
            type(c.tag, std::to_string(s));
            EXPECT_EQ(step(c.tag), s) << "tag " << c.tag;
        }
        type(c.tag, std::to_string(c.count + 7));
        EXPECT_EQ(step(c.tag), c.count - 1) << "tag " << c.tag;
        type(c.tag, "-3");
        EXPECT_EQ(step(c.tag), 0) << "tag " << c.tag;
    }

    // Tempo-synced continuous parameters: the index into their list.
    type(tag::FreeLfo1Speed, "33");
    EXPECT_EQ(shown(tag::FreeLfo1Speed), LFO_PERIOD_STR[33]);
    type(tag::FreeLfo1Speed, "[12]");
    EXPECT_EQ(shown(tag::FreeLfo1Speed), LFO_PERIOD_STR[12]);
    type(tag::DelayRight, "14");
    EXPECT_EQ(shown(tag::DelayRight), DELAY_LEN_STR[14]);
    type(51, "30");
    EXPECT_EQ(shown(51), ENV_TEMPO_SYNC_STR[30]);
    type(51, "7");
    EXPECT_EQ(shown(51), ENV_TEMPO_SYNC_STR[7]);
    type(54, "60");
    EXPECT_EQ(shown(54), ENV_FADE_TEMPO_SYNC_STR[60]);
    type(54, "0");
    EXPECT_EQ(shown(54), ENV_FADE_TEMPO_SYNC_STR[0]);
}

// ------------------------------------------------------------------ the special rows

TEST_F(TypedEntry, ArpStepsAreCountedFromOne) {
    for (int t : {117, 118}) {
        type(t, "1");
        EXPECT_EQ(step(t), 0);
        EXPECT_EQ(shown(t), "1");
        type(t, "16");
        EXPECT_EQ(step(t), 15);
        type(t, "0");
        EXPECT_EQ(step(t), 0);
        type(t, "17");
        EXPECT_EQ(step(t), 15);
        type(t, "7 Steps");
        EXPECT_EQ(shown(t), "7");
    }
}

TEST_F(TypedEntry, RatchetsTakeTwoThreeOrFourAndAnyOtherNumberIsOff) {
    const int t = 429;
    type(t, "3");
    EXPECT_EQ(step(t), 2);
    EXPECT_EQ(shown(t), "3");
    type(t, "5");
    EXPECT_EQ(shown(t), "Off");
    type(t, "4");
    type(t, "x"); // no number: kept
    EXPECT_EQ(shown(t), "4");
    type(t, "2");
    EXPECT_EQ(shown(t), "2");
    type(t, "0");
    EXPECT_EQ(shown(t), "Off");
    EXPECT_FLOAT_EQ(value(t), 0.1f / 3.99f);
}

TEST_F(TypedEntry, ArpStepTunesAreWholeSemitones) {
    for (int semi : {-36, -12, -1, 0, 5, 36}) {
        type(370, std::to_string(semi));
        EXPECT_EQ(shown(370), std::to_string(semi) + " Semi");
    }
    type(370, "50");
    EXPECT_EQ(shown(370), "36 Semi");
    type(370, "-50");
    EXPECT_EQ(shown(370), "-36 Semi");
}

TEST_F(TypedEntry, ThresholdRowsIgnoreZero) {
    plugin->setParameter(tag::FreeLfo1SyncOn, 0.0f);
    plugin->setParameter(tag::DelaySyncOn, 0.0f);
    for (int t : {tag::OscSModSpeed, tag::ChorusSpeed, tag::FreeLfo1Speed, tag::XYSpeed,
                  tag::ReverbLength, tag::ReverbPreDelay, tag::DelayLeft}) {
        plugin->setParameter(t, 0.4f);
        for (const char* answer : {"0", "-5", "Off", "0.0001"}) {
            type(t, answer);
            EXPECT_FLOAT_EQ(value(t), 0.4f) << "tag " << t << " typed " << answer;
        }
    }
    type(tag::DelayLeft, "0.001");
    EXPECT_FLOAT_EQ(value(tag::DelayLeft), 0.4f);
    type(tag::DelayLeft, "1");
    EXPECT_EQ(value(tag::DelayLeft), 0.0f);
    EXPECT_EQ(shown(tag::DelayLeft), "1.0ms");
    type(tag::DelayLeft, "100000");
    EXPECT_EQ(value(tag::DelayLeft), 1.0f);
}

TEST_F(TypedEntry, FrequenciesAcceptKilohertzAndClampBelowTheRange) {
    type(tag::FilterFreq, "440");
    EXPECT_FLOAT_EQ(value(tag::FilterFreq), std::log2(22.0f) / 10.0f);
    EXPECT_EQ(shown(tag::FilterFreq), "440 Hz");
    type(tag::FilterFreq, "1.5 KHz");
    EXPECT_EQ(shown(tag::FilterFreq), "1.5 KHz");
    type(tag::FilterFreq, "12k");
    EXPECT_EQ(shown(tag::FilterFreq), "12.0 KHz");
    type(tag::FilterFreq, "30000");
    EXPECT_EQ(value(tag::FilterFreq), 1.0f);
    for (const char* low : {"0", "-440", "5"}) {
        plugin->setParameter(tag::FilterFreq, 0.5f);
        type(tag::FilterFreq, low);
        EXPECT_EQ(value(tag::FilterFreq), 0.0f) << low;
    }
    // Envelope times: no entry leaves 0..1 either.
    for (const char* low : {"0", "-3"}) {
        plugin->setParameter(tag::AmpEnvAttack, 0.5f);
        type(tag::AmpEnvAttack, low);
        EXPECT_EQ(value(tag::AmpEnvAttack), 0.0f) << low;
    }
    type(tag::AmpEnvAttack, "99999");
    EXPECT_EQ(value(tag::AmpEnvAttack), 1.0f);
}

TEST_F(TypedEntry, ContinuousSwitchesTakeZeroOrOne) {
    const int t = tag::DelayOn;
    type(t, "1");
    EXPECT_EQ(value(t), 1.0f);
    type(t, "0.4");
    EXPECT_EQ(value(t), 0.0f);
    type(t, "0.5");
    EXPECT_EQ(value(t), 1.0f);
    type(t, "yes"); // no digits: nothing
    EXPECT_EQ(value(t), 1.0f);
}

TEST_F(TypedEntry, OutOfRangeNumbersAreClamped) {
    type(tag::MainVolume, "12");
    EXPECT_EQ(value(tag::MainVolume), 1.0f);
    type(tag::MainVolume, "-80 dB");
    EXPECT_EQ(value(tag::MainVolume), 0.0f);
    type(123, "300");
    EXPECT_EQ(value(123), 1.0f);
    type(tag::VelocityToVolume, "-5%");
    EXPECT_EQ(value(tag::VelocityToVolume), 0.0f);
    type(tag::VelocityToVolume, "150");
    EXPECT_EQ(value(tag::VelocityToVolume), 1.0f);
    type(tag::ReverbSize, "0");
    EXPECT_EQ(shown(tag::ReverbSize), "0.25 m");
    type(tag::ReverbSize, "20");
    EXPECT_EQ(shown(tag::ReverbSize), "7.75 m");
    type(tag::ChorusLength, "80");
    EXPECT_EQ(value(tag::ChorusLength), 1.0f);
}

TEST_F(TypedEntry, ContinuousValuesAreWrittenPlainlyStepsAreAutomated) {
    host.clearLog();
    type(tag::FilterFreq, "440");
    type(tag::MainPan, "20");
    EXPECT_EQ(automations(), 0u);
    type(tag::FilterType, "3");
    type(117, "4");
    EXPECT_EQ(automations(), 2u);
}

TEST_F(TypedEntry, NumbersUseAPointUnderADecimalCommaLocale) {
    NumericLocale locale;
    if (!locale.setDecimalComma()) GTEST_SKIP() << "no decimal-comma locale installed";
    type(tag::ReverbSize, "2.25");
    EXPECT_EQ(shown(tag::ReverbSize), "2.25 m");
    type(tag::MainVolume, "-10.5");
    EXPECT_NEAR(value(tag::MainVolume), -10.5f / 60.0f + 1.0f, 1e-6f);
    plugin->setParameter(tag::AmpEnvAttack, 0.5f);
    EXPECT_EQ(type(tag::AmpEnvAttack, "").initialText, "128.00 ms");
    plugin->setModDest(0, 5); // a speed destination
    typeMod(0, "1.5");
    EXPECT_EQ(shown(tag::slotAmount(0)), "x1.50");
}

// ------------------------------------------------------------------ modulation amounts

TEST_F(TypedEntry, ModAmountsAreTypedInTheDestinationsUnit) {
    const int amount = tag::slotAmount(2);

    plugin->setModDest(2, 5); // speed
    const TextInputRequest speed = typeMod(2, "2");
    EXPECT_EQ(speed.prompt, "0.25x to 4x");
    EXPECT_EQ(speed.title, "Slot 3 Amount");
    EXPECT_EQ(speed.initialText, "x1.00");
    EXPECT_FLOAT_EQ(value(amount), 0.75f);
    EXPECT_EQ(shown(amount), "x2.00");
    typeMod(2, "x0.50"); // the text as shown, edited
    EXPECT_EQ(shown(amount), "x0.50");
    typeMod(2, "10");
    EXPECT_EQ(value(amount), 1.0f);
    typeMod(2, "0.1");
    EXPECT_EQ(value(amount), 0.0f);

    plugin->setModDest(2, 21); // semitone pitch
    EXPECT_EQ(typeMod(2, "12").prompt, "-36 to 36 Semi");
    EXPECT_FLOAT_EQ(value(amount), 12.0f / 72.0f + 0.5f);
    EXPECT_EQ(shown(amount), "12.00s");
    typeMod(2, "-7.9");
    EXPECT_EQ(shown(amount), "-7.00s");
    typeMod(2, "99");
    EXPECT_EQ(value(amount), 1.0f);

    plugin->setModDest(2, 1); // plain
    EXPECT_EQ(typeMod(2, "50%").prompt, "-100 to 100%");
    EXPECT_FLOAT_EQ(value(amount), 0.75f);
    EXPECT_EQ(shown(amount), "50%");
    typeMod(2, "-300");
    EXPECT_EQ(value(amount), 0.0f);
}

TEST_F(TypedEntry, ModAmountBoxChangesNothingOnCancelOrUnchangedText) {
    const int amount = tag::slotAmount(0);
    plugin->setModDest(0, 21);
    plugin->setParameter(amount, 0.6f); // "7.20s": not whole semitones
    script.pushTextCancel();
    plugin->setModValue(0);
    typeMod(0, shown(amount));
    EXPECT_FLOAT_EQ(value(amount), 0.6f);
    EXPECT_FALSE(plugin->core.popupOpen) << "the amount box leaves the popup flag alone";
    host.clearLog();
    typeMod(0, "1");
    EXPECT_EQ(automations(), 0u);
}

TEST_F(TypedEntry, ModAmountBoxNeedsAUserSlotWithADestination) {
    plugin->setModDest(4, 0);
    for (int slot : {-1, 12, 15, 4}) plugin->setModValue(slot);
    EXPECT_TRUE(script.textRequests.empty());
}

// ------------------------------------------------------------------ stepping

TEST_F(TypedEntry, SteppedTagsStopAtTheirEnds) {
    const int t = tag::FilterType;
    plugin->setSteppedValue(t, 21);
    plugin->changeDelta(t, +1, false, 1.0f);
    EXPECT_EQ(step(t), 21);
    plugin->changeDelta(t, -1, false, 1.0f);
    EXPECT_EQ(step(t), 20);
    plugin->setSteppedValue(t, 0);
    plugin->changeDelta(t, -1, true, 1.0f);
    EXPECT_EQ(step(t), 0);
    plugin->changeDelta(t, 3, false, 0.1f); // fine and scale do not shrink steps
    EXPECT_EQ(step(t), 3);
    plugin->changeDelta(t, INT_MAX, false, 1.0f);
    EXPECT_EQ(step(t), 21);
    plugin->changeDelta(t, INT_MIN, false, 1.0f);
    EXPECT_EQ(step(t), 0);

    // A switch with steps moves like any stepped tag.
    plugin->setParameter(tag::DriftOn, 0.0f);
    plugin->changeDelta(tag::DriftOn, +1, false, 1.0f);
    EXPECT_TRUE(plugin->getOnOff(tag::DriftOn));
    plugin->changeDelta(tag::DriftOn, 0, false, 1.0f);
    EXPECT_TRUE(plugin->getOnOff(tag::DriftOn));
}

TEST_F(TypedEntry, SwitchesGoOnOrOffBySign) {
    const int t = tag::DelayOn; // a switch without steps
    plugin->changeDelta(t, +1, false, 1.0f);
    EXPECT_EQ(value(t), 1.0f);
    plugin->changeDelta(t, +1, false, 1.0f);
    EXPECT_EQ(value(t), 1.0f);
    plugin->changeDelta(t, -1, false, 1.0f);
    EXPECT_EQ(value(t), 0.0f);
    plugin->changeDelta(t, 0, false, 1.0f);
    EXPECT_EQ(value(t), 1.0f);
    plugin->changeDelta(t, -5, true, 1.0f);
    EXPECT_EQ(value(t), 0.0f);
}

TEST_F(TypedEntry, ContinuousTagsMoveByCoarseOrFineStepsWithinTheRange) {
    const int t = tag::FilterQ;
    plugin->setParameter(t, 0.5f);
    plugin->changeDelta(t, +1, false, 1.0f);
    EXPECT_NEAR(value(t), 0.51f, 1e-6f);
    plugin->changeDelta(t, -1, true, 1.0f);
    EXPECT_NEAR(value(t), 0.509f, 1e-6f);
    plugin->changeDelta(t, +1, false, 0.5f);
    EXPECT_NEAR(value(t), 0.514f, 1e-6f);
    plugin->changeDelta(t, -3, false, 1.0f);
    EXPECT_NEAR(value(t), 0.484f, 1e-6f);

    plugin->setParameter(t, 0.995f);
    plugin->changeDelta(t, +1, false, 1.0f);
    EXPECT_EQ(value(t), 1.0f);
    plugin->setParameter(t, 0.0005f);
    plugin->changeDelta(t, -1, true, 1.0f);
    EXPECT_EQ(value(t), 0.0f);
    plugin->changeDelta(t, +1, false, NAN);
    EXPECT_EQ(value(t), 0.0f);
}

TEST_F(TypedEntry, WaveStepsCentreTheSymmetryFirst) {
    for (int wave : {tag::OscWaveA, tag::OscWaveB}) {
        plugin->setParameter(tag::OscSymmetry, 0.9f);
        const int before = step(wave);
        plugin->changeDelta(wave, +1, false, 1.0f);
        EXPECT_EQ(value(tag::OscSymmetry), plugin->getDefaultValue(tag::OscSymmetry));
        EXPECT_EQ(step(wave), before + 1);
    }
    plugin->setParameter(tag::OscSymmetry, 0.9f);
    plugin->changeDelta(tag::OscMorph, +1, false, 1.0f);
    EXPECT_FLOAT_EQ(value(tag::OscSymmetry), 0.9f);
}

TEST_F(TypedEntry, EveryStepIsReportedToTheHostAndInvalidTagsAreIgnored) {
    host.clearLog();
    plugin->changeDelta(tag::FilterType, +1, false, 1.0f);
    plugin->changeDelta(tag::DelayOn, +1, false, 1.0f);
    plugin->changeDelta(tag::FilterQ, +1, false, 1.0f);
    EXPECT_EQ(automations(), 3u);
    plugin->changeDelta(-1, +1, false, 1.0f);
    plugin->changeDelta(tag::Count, +1, false, 1.0f);
    EXPECT_EQ(automations(), 3u);
}

// ------------------------------------------------------------------ preset stepping

TEST_F(TypedEntry, PresetStepsWrapAroundTheListAndWaitForTheAudioThread) {
    const int count = plugin->presetCount;
    ASSERT_GE(count, 3); // the factory presets
    plugin->changePresetDelta(+1);
    EXPECT_EQ(plugin->core.presetIndex, 1);
    EXPECT_TRUE(plugin->getIsSettingPreset());

    plugin->changePresetDelta(+1); // still pending: refused
    EXPECT_EQ(plugin->core.presetIndex, 1);

    plugin->core.presetPending.clear();
    plugin->changePresetDelta(count); // once round the list
    EXPECT_EQ(plugin->core.presetIndex, 1);
    EXPECT_FALSE(plugin->core.presetPending) << "no move, nothing to apply";
    plugin->changePresetDelta(-2);
    EXPECT_EQ(plugin->core.presetIndex, count - 1);
    plugin->core.presetPending.clear();
    plugin->changePresetDelta(INT_MIN);
    const long long expected =
        ((count - 1 + static_cast<long long>(INT_MIN)) % count + count) % count;
    EXPECT_EQ(plugin->core.presetIndex, expected);
}
