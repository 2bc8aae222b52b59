// The oscillator and filter command menus: what they show, the resets and
// returns to the preset (told to the host), wave copies, clipboard and the
// one-level undo (not told to the host).

#include "section_menu_fixture.h"

#include <algorithm>
#include <vector>

namespace {

const std::vector<int> kOscTags = {14, 15, 16, 17, 18, 19, 20, 21, 22, 249, 999, 1000, 12, 47, 48};
const std::vector<int> kFilterTags = {250, 23, 24, 25, 26, 27, 28, 29, 30,
                                      31,  32, 33, 34, 35, 36, 37, 38};

struct OscFilterMenu : SectionMenuTest {
    void osc(std::vector<std::string> path) {
        next(std::move(path));
        ui().showOscMenu();
    }
    void filter(std::vector<std::string> path) {
        next(std::move(path));
        ui().showFilterMenu();
    }
    void expectDefaults(const std::vector<int>& tags) {
        for (int t : tags) EXPECT_FLOAT_EQ(p().getParameter(t), p().getDefaultValue(t)) << t;
    }
};

} // namespace

TEST_F(OscFilterMenu, MenusShowTheirEntriesAndCloseCleanly) {
    osc({});
    EXPECT_EQ(lastTitles(), (std::vector<std::string>{
                                "Oscillator Command Menu", "-", "Reset Oscillator",
                                "Set to Original Oscillator Settings", "Set Oscillator Wave A to B",
                                "Set Oscillator Wave B to A", "Swap Oscillator Waves",
                                "Copy Oscillator", "Paste Oscillator", "-", "Undo"}));
    EXPECT_FALSE(lastLines()[0].enabled);
    EXPECT_TRUE(lastLines()[10].enabled);
    EXPECT_FALSE(p().core.popupOpen);

    filter({});
    EXPECT_EQ(lastTitles(),
              (std::vector<std::string>{"Filter Command Menu", "-", "Reset All Filters",
                                        "Reset Main Filter", "Reset Filter Envelope",
                                        "Reset HiPass Filter", "Set to Original Filters Settings",
                                        "Copy Filters", "Paste Filters", "-", "Undo"}));
    EXPECT_FALSE(lastLines()[0].enabled);
    EXPECT_FALSE(p().core.popupOpen);

    // Without a window nothing pops up and the popup flag is left alone.
    ui().close();
    p().core.popupOpen.clear();
    osc({"Reset Oscillator"});
    ui().showFilterMenu();
    EXPECT_EQ(popups.popupCount(), 2);
    EXPECT_FALSE(p().core.popupOpen);
}

TEST_F(OscFilterMenu, ResetIsAutomatedAndUndoIsNotAndRepeats) {
    scramble(kOscTags);
    const std::vector<float> before = values(kOscTags);
    host.clearLog();

    osc({"Reset Oscillator"});
    expectDefaults(kOscTags);
    EXPECT_EQ(automated(), kOscTags.size());

    host.clearLog();
    osc({"Undo"});
    EXPECT_EQ(values(kOscTags), before);
    EXPECT_EQ(automated(), 0u);
    p().setParameter(tag::OscMorph, 0.01f);
    osc({"Undo"}); // the snapshot stays
    EXPECT_EQ(values(kOscTags), before);

    // The editor shows the restored values after its refresh.
    idle();
    EXPECT_FLOAT_EQ(ui().shownValue(tag::OscMorph), before[2]);
}

TEST_F(OscFilterMenu, DismissingReplacesTheUndoSnapshot) {
    scramble(kOscTags);
    osc({"Reset Oscillator"});
    osc({}); // the snapshot now holds the defaults
    osc({"Undo"});
    expectDefaults(kOscTags);
}

TEST_F(OscFilterMenu, OriginalSettingsComeFromTheLoadedPreset) {
    scramble(kOscTags, 0.4f);
    p().setParameter(tag::TakeOver, 1.0f); // this state is now the loaded one
    const std::vector<float> loaded = values(kOscTags);
    scramble(kOscTags, 0.7f);
    host.clearLog();
    osc({"Set to Original Oscillator Settings"});
    EXPECT_EQ(values(kOscTags), loaded);
    EXPECT_EQ(automated(), kOscTags.size());

    scramble(kFilterTags, 0.4f);
    p().setParameter(tag::TakeOver, 1.0f);
    const std::vector<float> loadedFilter = values(kFilterTags);
    scramble(kFilterTags, 0.7f);
    filter({"Set to Original Filters Settings"});
    EXPECT_EQ(values(kFilterTags), loadedFilter);
}

TEST_F(OscFilterMenu, WaveCopiesAndSwapExchangeOnlyTheWaves) {
    const float waveA = (3 + 0.1f) / p().getSteppedRange(tag::OscWaveA);
    const float waveB = (40 + 0.1f) / p().getSteppedRange(tag::OscWaveB);
    const float morph = 0.37f;
    auto setWaves = [&] {
        p().setParameter(tag::OscWaveA, waveA);
        p().setParameter(tag::OscWaveB, waveB);
        p().setParameter(tag::OscMorph, morph);
    };

    setWaves();
    osc({"Set Oscillator Wave A to B"});
    EXPECT_EQ(p().getSteppedValue(tag::OscWaveA), 3);
    EXPECT_EQ(p().getSteppedValue(tag::OscWaveB), 3);

    setWaves();
    osc({"Set Oscillator Wave B to A"});
    EXPECT_EQ(p().getSteppedValue(tag::OscWaveA), 40);
    EXPECT_EQ(p().getSteppedValue(tag::OscWaveB), 40);

    setWaves();
    host.clearLog();
    osc({"Swap Oscillator Waves"});
    EXPECT_FLOAT_EQ(p().getParameter(tag::OscWaveA), waveB);
    EXPECT_FLOAT_EQ(p().getParameter(tag::OscWaveB), waveA);
    EXPECT_FLOAT_EQ(p().getParameter(tag::OscMorph), morph);
    osc({"Undo"});
    EXPECT_FLOAT_EQ(p().getParameter(tag::OscWaveA), waveA);
    EXPECT_FLOAT_EQ(p().getParameter(tag::OscWaveB), waveB);
}

TEST_F(OscFilterMenu, ClipboardsAreSeparateAndSurviveUndo) {
    // Nothing to paste yet: nothing changes.
    scramble(kFilterTags);
    const std::vector<float> filterBefore = values(kFilterTags);
    filter({"Paste Filters"});
    EXPECT_EQ(values(kFilterTags), filterBefore);
    osc({"Paste Oscillator"});
    filter({"Copy Filters"});
    osc({"Paste Oscillator"}); // the filter's copy is not the oscillator's
    EXPECT_EQ(values(kFilterTags), filterBefore);

    scramble(kOscTags, 0.2f);
    const std::vector<float> copied = values(kOscTags);
    osc({"Copy Oscillator"});
    scramble(kOscTags, 0.6f);
    const std::vector<float> changed = values(kOscTags);
    host.clearLog();
    osc({"Paste Oscillator"});
    EXPECT_EQ(values(kOscTags), copied);
    EXPECT_EQ(automated(), 0u);
    osc({"Undo"}); // back to before the paste, the clipboard stays
    EXPECT_EQ(values(kOscTags), changed);
    osc({"Paste Oscillator"});
    EXPECT_EQ(values(kOscTags), copied);

    filter({"Reset All Filters"});
    expectDefaults(kFilterTags);
    filter({"Paste Filters"});
    EXPECT_EQ(values(kFilterTags), filterBefore);
}

TEST_F(OscFilterMenu, FilterResetsCoverTheirOwnParts) {
    auto check = [&](const std::string& command, const std::vector<int>& reset) {
        scramble(kFilterTags);
        const std::vector<float> before = values(kFilterTags);
        filter({command});
        for (size_t i = 0; i < kFilterTags.size(); ++i) {
            const int t = kFilterTags[i];
            const bool isReset = std::find(reset.begin(), reset.end(), t) != reset.end();
            EXPECT_FLOAT_EQ(p().getParameter(t), isReset ? p().getDefaultValue(t) : before[i])
                << command << " tag " << t;
        }
        filter({"Undo"});
        EXPECT_EQ(values(kFilterTags), before) << command;
    };
    check("Reset Main Filter", {250, 23, 24, 25, 26, 27, 28});
    check("Reset Filter Envelope", {28, 29, 30, 31, 32, 33});
    check("Reset HiPass Filter", {34, 35, 36, 37, 38});
    check("Reset All Filters", kFilterTags);
}
