// Arrow keys and the preset menu step through presets, throttled and only
// once the previous preset has been applied.

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

using namespace VSTGUI;

namespace {

struct KeyboardFixture : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    std::unique_ptr<APlugin> plugin;

    void make() {
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        for (const char* name : {"Second", "Third", "Fourth"})
            std::strcpy(plugin->presetNames[plugin->presetCount++].data(), name);
        ASSERT_TRUE(plugin->getUEditor()->open(nullptr));
    }
    // A plug-in whose user preset folder holds `files` (name, text), with
    // its editor open.
    void makeWithPresetFiles(std::initializer_list<std::pair<const char*, const char*>> files) {
        const std::filesystem::path folder = std::filesystem::path(prefs.path()) / "Presets";
        std::filesystem::create_directories(folder);
        for (const auto& [name, text] : files) std::ofstream(folder / name) << text;
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        plugin->core.folders.presetDir = folder.string() + "/";
        plugin->refreshPresetList();
        ASSERT_TRUE(plugin->getUEditor()->open(nullptr));
    }
    static constexpr const char* kGoodPreset = "Ondix Preset 1\nFilter Frequency = 0.25\nEnd\n";
    static constexpr const char* kPresetWithoutEnd = "Ondix Preset 1\nFilter Frequency = 0.25\n";
    uEditor& ui() { return *plugin->getUEditor(); }
    int32_t key(unsigned char virt) {
        VstKeyCode code{0, virt, 0};
        return Testing::keyDown(ui().frameForTests(), code) ? 1 : -1;
    }
    // The audio thread applies the pending preset.
    void applied() {
        plugin->core.presetPending.clear();
        plugin->core.screenUpdatePending.clear();
    }
};

} // namespace

TEST_F(KeyboardFixture, ArrowsStepAtMostEvery200Milliseconds) {
    make();
    clock.advance(1000);
    EXPECT_EQ(key(VKEY_DOWN), 1);
    EXPECT_EQ(plugin->core.presetIndex, 1);
    EXPECT_TRUE(plugin->core.presetPending);

    // Key repeat every 30 ms: used, but no step before 200 ms have passed.
    applied();
    for (int i = 0; i < 6; ++i) {
        clock.advance(30);
        EXPECT_EQ(key(VKEY_DOWN), 1);
        EXPECT_EQ(plugin->core.presetIndex, 1) << i;
    }
    clock.advance(20); // 200 ms since the step
    EXPECT_EQ(key(VKEY_DOWN), 1);
    EXPECT_EQ(plugin->core.presetIndex, 2);

    // Up again; a step while the last one waits for the audio thread is refused.
    clock.advance(300);
    EXPECT_EQ(key(VKEY_UP), 1);
    EXPECT_EQ(plugin->core.presetIndex, 2);
    applied();
    EXPECT_EQ(key(VKEY_UP), 1);
    EXPECT_EQ(plugin->core.presetIndex, 1);
}

TEST_F(KeyboardFixture, PageKeysAreSwallowedAndOtherKeysPassed) {
    make();
    clock.advance(1000);
    EXPECT_EQ(key(VKEY_PAGEUP), 1);
    EXPECT_EQ(key(VKEY_PAGEDOWN), 1);
    EXPECT_EQ(plugin->core.presetIndex, 0);
    EXPECT_EQ(key(VKEY_RIGHT), -1);
    EXPECT_EQ(key(VKEY_LEFT), -1);
    EXPECT_EQ(key(VKEY_RETURN), -1);
    EXPECT_EQ(ui().onKeyUp(VstKeyCode{0, VKEY_DOWN, 0}, ui().frameForTests()), -1);
}

TEST_F(KeyboardFixture, KeyboardPreferenceOffLeavesTheArrowsToTheHost) {
    saveStringToPrefs("Keyboard", "N");
    make();
    clock.advance(1000);
    EXPECT_EQ(key(VKEY_DOWN), -1);
    EXPECT_EQ(key(VKEY_PAGEUP), -1);
    EXPECT_EQ(plugin->core.presetIndex, 0);
}

TEST_F(KeyboardFixture, PresetMenuStepsThroughTheSameGateAndAWrappedClockSteps) {
    make();
    clock.advance(1000);
    ui().changeProgramDelta(+1, false);
    EXPECT_EQ(plugin->core.presetIndex, 1);
    applied();
    ui().changeProgramDelta(+1, true);
    EXPECT_EQ(plugin->core.presetIndex, 1); // too soon

    // The millisecond counter wraps below the last step: the next step is allowed.
    ManualClock wrapped(5);
    ui().changeProgramDelta(+1, false);
    EXPECT_EQ(plugin->core.presetIndex, 2);
}

// A held arrow key runs over a refused user preset: it is passed over at
// every round of the list, and its message comes up once.
TEST_F(KeyboardFixture, HeldArrowPassesARefusedPresetWithOneMessage) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped{dialogs};
    makeWithPresetFiles({{"A Good.ondix", kGoodPreset},
                         {"B No End.ondix", kPresetWithoutEnd},
                         {"C Good.ondix", kGoodPreset}});
    const int refused = plugin->presetCount - 2;
    ASSERT_EQ(std::string(plugin->presetNames[static_cast<std::size_t>(refused)].data()),
              "B No End");

    clock.advance(1000);
    int visits = 0;
    for (int press = 0; press < 34; ++press) {
        clock.advance(250);
        EXPECT_EQ(key(press < 17 ? VKEY_UP : VKEY_DOWN), 1);
        EXPECT_NE(plugin->core.presetIndex, refused) << press;
        visits +=
            plugin->core.presetIndex == refused + 1 || plugin->core.presetIndex == refused - 1;
        applied();
    }
    EXPECT_EQ(visits, 4); // its neighbours, on the way up and back down
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_NE(dialogs.alertRequests[0].header.find("B No End"), std::string::npos);
}

// Refused files side by side: one press passes all of them in its
// direction and lands on the next readable preset, with one message that
// names every file it passed (each told once while the plug-in is loaded).
TEST_F(KeyboardFixture, OnePressPassesEveryRefusedPresetInItsDirection) {
    ScriptedDialogService dialogs;
    ScopedDialogService scoped{dialogs};
    makeWithPresetFiles({{"A Good.ondix", kGoodPreset},
                         {"B No End.ondix", kPresetWithoutEnd},
                         {"C Not A Preset.ondix", "banana\n"},
                         {"D Good.ondix", kGoodPreset}});
    const int last = plugin->presetCount - 1;
    ASSERT_EQ(std::string(plugin->presetNames[static_cast<std::size_t>(last)].data()), "D Good");
    plugin->core.presetIndex = last;

    // Up from D: past C and B to A, one message naming both in that order.
    clock.advance(1000);
    EXPECT_EQ(key(VKEY_UP), 1);
    EXPECT_EQ(plugin->core.presetIndex, last - 3);
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    const std::string& told = dialogs.alertRequests[0].header;
    EXPECT_EQ(told.rfind("Problem with Preset Files: 2 presets were passed over: ", 0), 0u) << told;
    const std::size_t c = told.find("\"C Not A Preset\" (the file is not an Ondix preset)");
    const std::size_t b = told.find("\"B No End\" (the file ends early");
    EXPECT_NE(c, std::string::npos) << told;
    EXPECT_NE(b, std::string::npos) << told;
    EXPECT_LT(c, b) << told;
    applied();

    // Down from A: past B and C to D again, without telling twice.
    clock.advance(250);
    EXPECT_EQ(key(VKEY_DOWN), 1);
    EXPECT_EQ(plugin->core.presetIndex, last);
    EXPECT_EQ(dialogs.alertRequests.size(), 1u);
}
