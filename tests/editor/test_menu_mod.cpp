// The modulation matrix menu: what it offers from the menu button and from a
// slot, the matrix and slot commands, modulating a slot's amount from a later
// free slot, the shared undo snapshot, and matrix preset files.

#include "core/section_tags.h"
#include "core/vocabulary.h"
#include "modxy_menu_fixture.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <string>

using namespace VSTGUI;

namespace {

using section_tags::MOD_ALL_TAGS;

struct ModMenu : ModXYMenuFixture {
    // Gives every slot its own values so that moves and copies show.
    void fillSlots() {
        for (int k = 0; k < tag::ModSlotCount; ++k)
            plugin->setModSlotVar(k, k % 2 == 1, 0.05f + 0.07f * static_cast<float>(k), k + 1,
                                  k + 10);
    }
    std::array<float, 4> slot(int k) {
        return {value(tag::slotBypass(k)), value(tag::slotSource(k)), value(tag::slotDest(k)),
                value(tag::slotAmount(k))};
    }
    void choose(int slot, std::vector<std::string> path) {
        popups.chooseTitlePath(std::move(path));
        ui().showModMenu(slot);
    }
    std::string modulateTitle(int group) {
        return std::string("Modulate Slot Amount by ") + SRC_SUB_STR[group];
    }
};

} // namespace

TEST_F(ModMenu, MenuButtonOffersMatrixCommandsOnlyAndASlotAddsItsOwn) {
    popups.dismiss();
    ui().showModMenu(-1);
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(titles(rootLines()),
              (std::vector<std::string>{
                  "Mod Matrix Command Menu", "-", "Info", "-", "Reset Mod Matrix",
                  "Set Mod Matrix to Original Settings", "Zero Amounts", "Bypass All",
                  "Un-Bypass All", "Copy Mod Matrix", "Paste Mod Matrix", "-",
                  "Load Mod Matrix Preset", "Save Mod Matrix Preset", "-", "Undo"}));
    EXPECT_FALSE(rootLines()[0].enabled);
    ASSERT_EQ(submenus().size(), 1u); // only the information lines
    ASSERT_EQ(submenus()[0].size(), 9u);
    for (const Line& l : submenus()[0]) EXPECT_FALSE(l.enabled) << l.title;
    EXPECT_EQ(submenus()[0][0].title, "Left Click: Change value");
    EXPECT_EQ(submenus()[0][8].title, "Scroll Wheel + Shift: Fine change amount");

    popups.dismiss();
    ui().showModMenu(3);
    const auto shown = titles(rootLines());
    const std::vector<std::string> slotPart = {"Reset Slot",
                                               "Zero Slot Amount",
                                               "Copy Slot",
                                               "Paste Slot",
                                               "Bypass Slot",
                                               "Un-Bypass Slot",
                                               "Move Slot Up",
                                               "Move Slot Down",
                                               "Enter Slot Amount Value",
                                               modulateTitle(0),
                                               modulateTitle(1),
                                               modulateTitle(2),
                                               "-"};
    ASSERT_EQ(shown.size(), 16u + slotPart.size());
    EXPECT_EQ(std::vector<std::string>(shown.begin() + 12, shown.begin() + 25), slotPart);
    for (const Line& l : rootLines()) EXPECT_TRUE(l.separator || l.enabled || l.title == shown[0]);

    // The source groups, each in source order, "None" in none of them.
    ASSERT_EQ(submenus().size(), 4u);
    const std::array<std::pair<int, int>, 3> groups = {{{1, 39}, {39, 62}, {62, 75}}};
    for (int g = 0; g < 3; ++g) {
        const auto& lines = submenus()[static_cast<std::size_t>(g + 1)];
        ASSERT_EQ(static_cast<int>(lines.size()), groups[g].second - groups[g].first);
        for (int i = groups[g].first; i < groups[g].second; ++i)
            EXPECT_EQ(lines[static_cast<std::size_t>(i - groups[g].first)].title, SRC_STR[i]);
    }
    EXPECT_FALSE(plugin->core.popupOpen);
}

TEST_F(ModMenu, ModulatingASlotAmountFillsTheFirstFreeLaterSlot) {
    for (int k = 0; k < tag::ModSlotCount; ++k) plugin->setModSlotVar(k, true, 0.2f, 0, 0);
    plugin->setModSlotVar(4, false, 0.7f, 3, 20);
    plugin->setModSlotVar(5, false, 0.8f, 4, 21);
    const auto before = values(MOD_ALL_TAGS);

    // Slot 3 (shown as 4): slots 4 and 5 are taken, 0..2 are free but lie before it.
    choose(3, {modulateTitle(1), SRC_STR[40]});
    EXPECT_EQ(plugin->getModSlotSrc(6), 40);
    EXPECT_EQ(plugin->getModSlotDest(6), 132);
    EXPECT_FLOAT_EQ(value(tag::slotAmount(6)), 0.5f);
    EXPECT_FALSE(plugin->getModSlotBypass(6));
    for (int k : {0, 1, 2, 3, 4, 5, 7})
        EXPECT_EQ(slot(k),
                  (std::array<float, 4>{before[k], before[12 + k], before[24 + k], before[36 + k]}))
            << k;

    // Sources of the first and last groups, each on the next free slot.
    choose(3, {modulateTitle(0), SRC_STR[1]});
    EXPECT_EQ(plugin->getModSlotSrc(7), 1);
    EXPECT_EQ(plugin->getModSlotDest(7), 132);
    choose(0, {modulateTitle(2), SRC_STR[74]}); // slot 1 is free again
    EXPECT_EQ(plugin->getModSlotSrc(1), 74);
    EXPECT_EQ(plugin->getModSlotDest(1), 129);

    // The last slot has no later slot: nothing changes.
    const auto full = values(MOD_ALL_TAGS);
    choose(11, {modulateTitle(1), SRC_STR[45]});
    EXPECT_EQ(values(MOD_ALL_TAGS), full);
}

TEST_F(ModMenu, SlotCommands) {
    fillSlots();
    // Reset gives no modulation (0.5); zeroing gives the amount's default.
    choose(2, {"Reset Slot"});
    EXPECT_EQ(slot(2), (std::array<float, 4>{0.0f, 0.0f, 0.0f, 0.5f}));
    choose(4, {"Zero Slot Amount"});
    EXPECT_FLOAT_EQ(value(tag::slotAmount(4)), plugin->getDefaultValue(tag::slotAmount(4)));
    EXPECT_EQ(plugin->getModSlotDest(4), 14);

    choose(4, {"Bypass Slot"});
    EXPECT_TRUE(plugin->getModSlotBypass(4));
    choose(4, {"Un-Bypass Slot"});
    EXPECT_FALSE(plugin->getModSlotBypass(4));

    // Moving swaps all four values with the neighbour; the screen is redrawn.
    const auto five = slot(5);
    const auto four = slot(4);
    choose(5, {"Move Slot Up"});
    EXPECT_EQ(slot(4), five);
    EXPECT_EQ(slot(5), four);
    EXPECT_TRUE(ui().getPageRequests().redrawModScreen);
    choose(4, {"Move Slot Down"});
    EXPECT_EQ(slot(4), four);
    EXPECT_EQ(slot(5), five);

    // The ends stay where they are.
    const auto all = values(MOD_ALL_TAGS);
    choose(0, {"Move Slot Up"});
    choose(11, {"Move Slot Down"});
    EXPECT_EQ(values(MOD_ALL_TAGS), all);

    // Paste with nothing copied does nothing; a copied slot pastes anywhere.
    choose(8, {"Paste Slot"});
    EXPECT_EQ(values(MOD_ALL_TAGS), all);
    choose(9, {"Copy Slot"});
    choose(1, {"Paste Slot"});
    EXPECT_EQ(slot(1), slot(9));
    EXPECT_EQ(plugin->getModSlotSrc(1), 10);
    EXPECT_EQ(plugin->getModSlotDest(1), 19);
}

TEST_F(ModMenu, EnterSlotAmountValueAsksInTheDestinationsUnit) {
    plugin->setModSlotVar(2, false, 0.5f, 3, 20);
    dialogs.pushText("50");
    choose(2, {"Enter Slot Amount Value"});
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_NE(value(tag::slotAmount(2)), 0.5f);
}

TEST_F(ModMenu, MatrixCommands) {
    fillSlots();
    auto orig = [&](int t) { return std::clamp(plugin->getOrigValue(t), 0.0f, 1.0f); };
    int differing = 0;
    for (int t : MOD_ALL_TAGS) differing += value(t) != orig(t);
    ASSERT_GT(differing, 12);

    choose(-1, {"Bypass All"});
    for (int k = 0; k < 12; ++k) EXPECT_TRUE(plugin->getModSlotBypass(k)) << k;
    choose(-1, {"Un-Bypass All"});
    for (int k = 0; k < 12; ++k) EXPECT_FALSE(plugin->getModSlotBypass(k)) << k;
    choose(-1, {"Zero Amounts"});
    for (int k = 0; k < 12; ++k)
        EXPECT_FLOAT_EQ(value(tag::slotAmount(k)), plugin->getDefaultValue(tag::slotAmount(k)));
    EXPECT_EQ(plugin->getModSlotDest(3), 13); // sources and destinations stay

    // Copy, change everything, paste back.
    choose(-1, {"Copy Mod Matrix"});
    const auto copied = values(MOD_ALL_TAGS);
    choose(-1, {"Reset Mod Matrix"});
    for (int k = 0; k < 12; ++k) EXPECT_EQ(slot(k), (std::array<float, 4>{0, 0, 0, 0.5f})) << k;
    choose(-1, {"Paste Mod Matrix"});
    EXPECT_EQ(values(MOD_ALL_TAGS), copied);

    // Back to the values of the preset as it was loaded.
    choose(-1, {"Set Mod Matrix to Original Settings"});
    for (int t : MOD_ALL_TAGS) EXPECT_FLOAT_EQ(value(t), orig(t)) << t;
}

TEST_F(ModMenu, PasteMatrixWithNothingCopiedDoesNothing) {
    fillSlots();
    const auto all = values(MOD_ALL_TAGS);
    choose(-1, {"Paste Mod Matrix"});
    EXPECT_EQ(values(MOD_ALL_TAGS), all);
}

TEST_F(ModMenu, UndoRestoresTheSnapshotTakenWhenTheMenuLastClosed) {
    // Nothing to undo yet.
    fillSlots();
    const auto filled = values(MOD_ALL_TAGS);
    choose(-1, {"Undo"});
    EXPECT_EQ(values(MOD_ALL_TAGS), filled);

    choose(-1, {"Reset Mod Matrix"});
    host.clearLog();
    choose(-1, {"Undo"});
    EXPECT_EQ(values(MOD_ALL_TAGS), filled);
    EXPECT_EQ(host.count(audioMasterAutomate), MOD_ALL_TAGS.size()); // the host is told

    // The snapshot stays: undo again after another change elsewhere.
    plugin->setModSlotVar(0, true, 0.9f, 7, 7);
    choose(-1, {"Undo"});
    EXPECT_EQ(values(MOD_ALL_TAGS), filled);

    // A dismissed menu retakes the snapshot and changes nothing.
    plugin->setModSlotVar(0, true, 0.9f, 7, 7);
    const auto changed = values(MOD_ALL_TAGS);
    popups.dismiss();
    ui().showModMenu(4);
    EXPECT_EQ(values(MOD_ALL_TAGS), changed);
    plugin->setModSlotVar(0, false, 0.1f, 2, 2);
    choose(-1, {"Undo"});
    EXPECT_EQ(values(MOD_ALL_TAGS), changed);

    // The matrix screen's own snapshot is the same one.
    ui().setModUndo();
    plugin->setModSlotVar(1, false, 0.3f, 2, 2);
    choose(-1, {"Undo"});
    EXPECT_EQ(values(MOD_ALL_TAGS), changed);
}

TEST_F(ModMenu, PresetFilesSaveAndLoadTheWholeMatrix) {
    fillSlots();
    const auto saved = values(MOD_ALL_TAGS);
    const auto dir = fileDir();
    dialogs.pushFile((dir / "matrix").string()); // the save dialog adds ".mod"
    choose(3, {"Save Mod Matrix Preset"});
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "Save Mod Matrix Preset");
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, plugin->core.folders.modPresetDir);

    const auto lines = readLines(dir / "matrix.mod");
    ASSERT_EQ(lines.size(), 49u);
    EXPECT_EQ(lines[0], "V1.0");
    for (std::size_t i = 0; i < MOD_ALL_TAGS.size(); ++i) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%f", static_cast<double>(saved[i]));
        EXPECT_EQ(lines[i + 1], expected) << i;
    }

    // Load it back over a reset matrix, then undo the load.
    choose(-1, {"Reset Mod Matrix"});
    const auto reset = values(MOD_ALL_TAGS);
    dialogs.pushFile((dir / "matrix.mod").string());
    choose(-1, {"Load Mod Matrix Preset"});
    EXPECT_EQ(dialogs.fileRequests.back().title, "Load Mod Matrix Preset");
    EXPECT_EQ(dialogs.fileRequests.back().initialFolder, plugin->core.folders.modPresetDir);
    for (std::size_t i = 0; i < MOD_ALL_TAGS.size(); ++i)
        EXPECT_NEAR(value(MOD_ALL_TAGS[i]), saved[i], 1e-6f) << i;
    choose(-1, {"Undo"});
    EXPECT_EQ(values(MOD_ALL_TAGS), reset);

    // Values beyond 0..1 are clamped: 1.5 loads as 1.0, the first amount.
    std::string text = "V1.0\n";
    for (std::size_t i = 0; i < 48; ++i) text += i == 36 ? "1.5\n" : "0.000000\n";
    writeAll(dir / "loud.mod", text);
    dialogs.pushFile((dir / "loud.mod").string());
    choose(-1, {"Load Mod Matrix Preset"});
    EXPECT_FLOAT_EQ(value(tag::slotAmount(0)), 1.0f);
    EXPECT_TRUE(dialogs.alertRequests.empty());

    // A short file changes nothing and says so.
    const auto now = values(MOD_ALL_TAGS);
    writeAll(dir / "short.mod", "V1.0\n0.5\n0.5\n");
    dialogs.pushFile((dir / "short.mod").string());
    choose(-1, {"Load Mod Matrix Preset"});
    EXPECT_EQ(values(MOD_ALL_TAGS), now);
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_NE(dialogs.alertRequests[0].header.find("Problem with Mod file"), std::string::npos);

    // A save into a folder that does not exist.
    dialogs.pushFile((dir / "missing" / "x.mod").string());
    choose(-1, {"Save Mod Matrix Preset"});
    ASSERT_EQ(dialogs.alertRequests.size(), 2u);
    EXPECT_NE(dialogs.alertRequests[1].header.find("Problem with Mod File"), std::string::npos);

    // Cancelling either dialog does nothing.
    dialogs.pushFileCancel();
    choose(-1, {"Load Mod Matrix Preset"});
    EXPECT_EQ(values(MOD_ALL_TAGS), now);
    EXPECT_EQ(dialogs.alertRequests.size(), 2u);
}

TEST_F(ModMenu, WithoutAWindowNothingHappens) {
    ui().close();
    plugin->core.popupOpen.clear();
    fillSlots();
    const auto all = values(MOD_ALL_TAGS);
    popups.chooseTitlePath({"Reset Mod Matrix"});
    ui().showModMenu(2);
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_EQ(values(MOD_ALL_TAGS), all);
    EXPECT_FALSE(plugin->core.popupOpen);
    float v = 0.0f;
    EXPECT_FALSE(ui().getModUndo(tag::slotAmount(0), v)); // no snapshot taken
}
