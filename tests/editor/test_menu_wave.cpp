// The user-wave menu: its lines with and without a partial, the wave
// commands on the selected wave, the clipboard of both waves, typed partial
// values, preset files, the preview switch and the shared undo.

#include "section_menu_fixture.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <vector>

namespace {

constexpr int kFirstWaveTag = 715;
constexpr int kLastWaveTag = 992;

struct WaveMenu : SectionMenuTest {
    void menu(int partial, std::vector<std::string> path) {
        next(std::move(path));
        ui().showWaveMenu(partial);
    }
    void selectWave(int w) {
        if (ui().getSelectedWave() != w) ui().changeRadioDelta(4, 1);
        ASSERT_EQ(ui().getSelectedWave(), w);
    }
    std::vector<int> waveTags(int first = kFirstWaveTag, int last = kLastWaveTag) {
        std::vector<int> out;
        for (int t = first; t <= last; ++t) out.push_back(t);
        return out;
    }
    std::vector<float> wave(int w) { return values(waveTags(715 + 128 * w, 842 + 128 * w)); }
    // Wave w gets partials with amplitude and phase steps that differ
    // between the waves and between partials, and a name.
    void fill(int w, int offset) {
        for (int j = 0; j < 128; ++j)
            p().setWaveTablePartials(w, j, static_cast<float>((j * 7 + offset) % 1000) / 1023.0f,
                                     static_cast<float>((j * 13 + offset) % 1000) / 1023.0f);
        p().set2StringFromParam(w == 0 ? "Alps" : "Beta", tag::waveName(w, 0), 10);
        p().setParameter(tag::WaveHasPresetFirst + w, 1.0f);
        p().convertWaveTablePartialsToWaveTable(w);
    }
    float amp(int w, int j) { return p().getWaveTablePartialsAmp(w, j); }
    float phase(int w, int j) { return p().getWaveTablePartialsPhase(w, j); }
};

} // namespace

TEST_F(WaveMenu, LinesWithoutAndWithAPartial) {
    menu(-1, {});
    std::vector<std::string> plain = lastTitles();
    EXPECT_EQ(plain[0], "User Wave 1 Command Menu");
    EXPECT_FALSE(lastLines()[0].enabled);
    EXPECT_EQ(plain[2], "Info");
    EXPECT_TRUE(lastLines()[2].hasSubmenu);
    EXPECT_FALSE(lastHas("Clear Partial"));
    EXPECT_FALSE(lastHas("Set Partial Amp"));
    for (const auto& line : lastLines()) EXPECT_NE(line.title.rfind("Partials", 0), 0u);
    EXPECT_EQ(plain.back(), "Undo");
    EXPECT_EQ(plain[plain.size() - 3], "Preview User Wave: Off");
    EXPECT_EQ(plain.size(), 29u);

    const auto& info = popups.history().back().submenus.at(0);
    ASSERT_EQ(info.size(), 9u);
    EXPECT_EQ(info[0].title, "Left Click: Change value");
    EXPECT_EQ(info[4].title, "Left Click +  Alt: Set to original value");
    EXPECT_EQ(info[8].title, "Scroll Wheel + Shift: Fine change amount");
    for (const auto& line : info) EXPECT_FALSE(line.enabled);

    // Partial 2 (shown as 3) at amplitude step 512 and phase step 256.
    selectWave(1);
    p().setWaveTablePartials(1, 2, 512.5f / 1023.0f, 256.5f / 1023.0f);
    menu(2, {});
    const std::vector<std::string> full = lastTitles();
    EXPECT_EQ(full[0], "User Wave 2 Command Menu");
    EXPECT_EQ(full[1], "Partials 3: Amp 50 %, Phase 90 deg");
    EXPECT_FALSE(lastLines()[1].enabled);
    EXPECT_EQ(full.size(), plain.size() + 6);
    const auto clear = std::find(full.begin(), full.end(), "Clear Partial");
    ASSERT_NE(clear, full.end());
    EXPECT_EQ(std::vector<std::string>(clear, clear + 6),
              (std::vector<std::string>{"Clear Partial", "Set Partial to Original Settings",
                                        "Set Partial Amp", "Set Partial Phase", "-",
                                        "Load User Wave Preset"}));

    // The first partial reads Partials 1.
    menu(0, {});
    EXPECT_EQ(lastTitles()[1].rfind("Partials 1: Amp ", 0), 0u);
    EXPECT_FALSE(p().core.popupOpen);
}

TEST_F(WaveMenu, WaveCommandsActOnTheSelectedWave) {
    fill(0, 11);
    fill(1, 500);
    const std::vector<float> w0 = wave(0);
    const std::vector<float> w1 = wave(1);
    selectWave(1);

    menu(-1, {"Copy to Other User Wave"});
    EXPECT_EQ(wave(0), w1);
    EXPECT_EQ(p().getWavePresetStr(0), "Beta");
    menu(-1, {"Undo"});
    EXPECT_EQ(wave(0), w0);
    EXPECT_EQ(p().getWavePresetStr(0), "Alps");

    menu(-1, {"Swap User Waves"});
    EXPECT_EQ(wave(0), w1);
    EXPECT_EQ(wave(1), w0);
    menu(-1, {"Undo"});

    menu(-1, {"Clear Selected User Wave"});
    EXPECT_EQ(wave(0), w0);
    for (int j = 0; j < 128; ++j) EXPECT_EQ(amp(1, j), 0.0f);
    menu(-1, {"Undo"});
    EXPECT_EQ(wave(1), w1);

    // Clearing amplitudes keeps the phases and the other way round.
    std::vector<float> amps, phases;
    for (int j = 0; j < 128; ++j) {
        amps.push_back(amp(1, j));
        phases.push_back(phase(1, j));
    }
    menu(-1, {"Clear All Partial Amp"});
    for (int j : {0, 5, 127}) {
        EXPECT_EQ(amp(1, j), 0.0f);
        EXPECT_EQ(phase(1, j), phases[static_cast<size_t>(j)]);
    }
    menu(-1, {"Undo"});
    menu(-1, {"Clear All Partial Phase"});
    for (int j : {0, 5, 127}) {
        EXPECT_EQ(phase(1, j), 0.0f);
        EXPECT_EQ(amp(1, j), amps[static_cast<size_t>(j)]);
    }
    EXPECT_EQ(wave(0), w0);

    menu(-1, {"Clear All User Waves"});
    for (int j = 0; j < 128; ++j) EXPECT_EQ(amp(0, j) + amp(1, j), 0.0f);
    EXPECT_EQ(p().getWavePresetStr(0), "None");
    menu(-1, {"Undo"});
    menu(-1, {"Undo"}); // the snapshot stays: the same state again
    EXPECT_EQ(wave(0), w0);
    EXPECT_EQ(p().getWavePresetStr(1), "Beta");

    // Invert acts on the selected wave's samples only.
    const float before0 = p().getWaveTableValue(0, 100);
    const float before1 = p().getWaveTableValue(1, 100);
    ASSERT_GT(std::fabs(before1), 1e-3f);
    menu(-1, {"Invert Selected User Wave"});
    EXPECT_NEAR(p().getWaveTableValue(1, 100), -before1, 0.05f);
    EXPECT_FLOAT_EQ(p().getWaveTableValue(0, 100), before0);
}

TEST_F(WaveMenu, SinglePartialsAndTheirOriginals) {
    fill(0, 3);
    p().setParameter(tag::TakeOver, 1.0f);
    const std::vector<float> loaded = wave(0);
    const float loadedAmp = amp(0, 9);
    const float loadedPhase = phase(0, 9);
    fill(0, 600);

    menu(9, {"Clear Partial"});
    EXPECT_EQ(amp(0, 9), 0.0f);
    EXPECT_EQ(phase(0, 9), 0.0f);
    EXPECT_NE(amp(0, 10), 0.0f);

    menu(9, {"Set Partial to Original Settings"});
    EXPECT_FLOAT_EQ(amp(0, 9), loadedAmp);
    EXPECT_FLOAT_EQ(phase(0, 9), loadedPhase);
    EXPECT_NE(wave(0)[10], loaded[10]); // only the one partial

    menu(-1, {"Set User Waves to Original Settings"});
    EXPECT_EQ(wave(0), loaded);
}

TEST_F(WaveMenu, TypedPartialValues) {
    selectWave(1);
    p().setWaveTablePartials(1, 4, 0.25f, 0.5f);
    const float startAmp = amp(1, 4);
    const float startPhase = phase(1, 4);

    dialogs.pushText("50");
    menu(4, {"Set Partial Amp"});
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_EQ(dialogs.textRequests[0].prompt, "Partial Amp - 0 to 100%");
    EXPECT_EQ(dialogs.textRequests[0].title, p().getParameterNameStr(843 + 4));
    EXPECT_EQ(dialogs.textRequests[0].initialText, APlugin::getFloatStr(startAmp * 100.0f, 6));
    EXPECT_NEAR(amp(1, 4), 0.5f, 1.0f / 1023.0f);
    EXPECT_FLOAT_EQ(phase(1, 4), startPhase);
    EXPECT_FALSE(p().core.popupOpen);

    dialogs.pushText("540 deg"); // one and a half turns, clamped to one
    menu(4, {"Set Partial Phase"});
    EXPECT_EQ(dialogs.textRequests[1].prompt, "Partial Phase - 0 to 360");
    EXPECT_EQ(dialogs.textRequests[1].initialText, APlugin::getFloatStr(startPhase * 360.0f, 6));
    EXPECT_FLOAT_EQ(std::fmod(phase(1, 4), 1.0f), 0.0f);
    EXPECT_NEAR(amp(1, 4), 0.5f, 1.0f / 1023.0f);

    dialogs.pushText("90");
    menu(4, {"Set Partial Phase"});
    EXPECT_NEAR(phase(1, 4), 0.25f, 1.0f / 1023.0f);

    // Cancel, an emptied field and an answer without a number change nothing.
    p().setWaveTablePartials(1, 4, 0.75f, 0.5f);
    const std::vector<float> before = wave(1);
    dialogs.pushTextCancel();
    menu(4, {"Set Partial Amp"});
    dialogs.pushText("");
    menu(4, {"Set Partial Phase"});
    dialogs.pushText("a lot");
    menu(4, {"Set Partial Amp"});
    EXPECT_EQ(wave(1), before);
}

// Every whole per cent and degree typed for a partial is what the menu's
// partial line shows afterwards, though the partial holds 1023 steps.
TEST_F(WaveMenu, TypedPartialValuesShowAsTyped) {
    selectWave(0);
    auto shownLine = [&] {
        menu(4, {});
        return lastTitles().at(1);
    };
    for (const bool phaseTyped : {false, true}) {
        const int last = phaseTyped ? 360 : 100;
        for (int typed = 0; typed <= last; ++typed) {
            p().setWaveTablePartials(0, 4, 0.5f, 0.5f);
            dialogs.pushText(std::to_string(typed));
            menu(4, {phaseTyped ? "Set Partial Phase" : "Set Partial Amp"});
            // The other half as it was (0.5 is step 511, shown 49 % and 179 deg).
            const std::string amp = std::to_string(phaseTyped ? 49 : typed);
            const std::string phase = std::to_string(phaseTyped ? typed : 179);
            EXPECT_EQ(shownLine(), "Partials 5: Amp " + amp + " %, Phase " + phase + " deg");
        }
    }
}

TEST_F(WaveMenu, ClipboardHoldsBothWavesAndTheirNames) {
    fill(0, 21);
    fill(1, 321);
    const std::vector<float> all = values(waveTags());
    menu(-1, {"Paste All User Waves"}); // nothing copied yet
    EXPECT_EQ(values(waveTags()), all);

    menu(-1, {"Copy All User Waves"});
    menu(-1, {"Clear All User Waves"});
    p().set2StringFromParam("Other", tag::waveName(1, 0), 10);
    host.clearLog();
    menu(-1, {"Paste All User Waves"});
    EXPECT_EQ(values(waveTags()), all);
    EXPECT_EQ(p().getWavePresetStr(0), "Alps");
    EXPECT_EQ(p().getWavePresetStr(1), "Beta");
    EXPECT_EQ(automated(), 0u);
    EXPECT_GT(std::fabs(p().getWaveTableValue(1, 300)), 1e-4f); // the table was rebuilt
}

TEST_F(WaveMenu, DismissingReplacesTheSnapshotAndPreviewToggles) {
    fill(0, 40);
    const std::vector<float> filled = wave(0);
    menu(-1, {"Clear Selected User Wave"});
    menu(-1, {});
    menu(-1, {"Undo"});
    EXPECT_NE(wave(0), filled);
    EXPECT_EQ(amp(0, 7), 0.0f);
    EXPECT_TRUE(ui().getPageRequests().refreshWave);

    ASSERT_FALSE(p().getTempPreviewWave());
    menu(-1, {"Preview User Wave: Off"});
    EXPECT_TRUE(p().getTempPreviewWave());
    menu(-1, {"Preview User Wave: On"});
    EXPECT_TRUE(lastHas("Preview User Wave: On"));
    EXPECT_FALSE(p().getTempPreviewWave());
    menu(-1, {});
    EXPECT_TRUE(lastHas("Preview User Wave: Off"));
}

TEST_F(WaveMenu, PresetFilesRoundTripThroughTheSelectedWave) {
    fill(0, 77);
    const std::string path = prefs.path() + "/Gravel.uwv";
    dialogs.pushFile(path);
    menu(-1, {"Save User Wave Preset"});
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].mode, FileDialogRequest::Mode::save);
    ASSERT_TRUE(std::filesystem::exists(path));

    selectWave(1);
    dialogs.pushFile(path);
    menu(-1, {"Load User Wave Preset"});
    EXPECT_EQ(p().getWavePresetStr(1), "Gravel");
    for (int j : {0, 1, 64, 127}) {
        EXPECT_NEAR(amp(1, j), amp(0, j), 1.0f / 1023.0f + 1e-6f) << j;
        EXPECT_NEAR(phase(1, j), phase(0, j), 1.0f / 1023.0f + 1e-6f) << j;
    }
    // Undo takes back the load.
    menu(-1, {"Undo"});
    EXPECT_NE(p().getWavePresetStr(1), "Gravel");

    // A cancelled dialog and the sample import without a file change nothing.
    const std::vector<float> before = values(waveTags());
    menu(-1, {"Load User Wave Preset"});
    menu(-1, {"Load Sample into Selected User Wave"});
    EXPECT_EQ(values(waveTags()), before);
}
