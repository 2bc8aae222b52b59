// The arpeggiator menu: its entries from the menu button and from a grid
// cell, the locked section, section resets, copy and paste, rotating and
// swapping steps, the cell, step and row commands, preset files and undo.

#include "controls/envarp.h"
#include "core/section_tags.h"
#include "envarp_menu_fixture.h"

#include <algorithm>
#include <array>

using namespace VSTGUI;

namespace {

constexpr int kGridTags = tag::ArpRowCount * tag::ArpStepCount;

struct ArpMenu : EnvArpMenuFixture {
    void choose(std::vector<std::string> path, int row = -1, int step = -1, bool cell = false) {
        popups.chooseTitlePath(std::move(path));
        ui().showArpMenu(row, step, cell);
    }
    // Chooses a cell command for (row, step), steps counted from 0.
    void cell(const std::string& title, int row, int step) { choose({title}, row, step, true); }
    void dismiss() {
        popups.dismiss();
        ui().showArpMenu(-1, -1, false);
    }
    static int at(int row, int step) { return tag::arpStep(row, step); }
    std::vector<float> row(int r) {
        std::vector<float> out;
        for (int s = 0; s < tag::ArpStepCount; ++s) out.push_back(value(at(r, s)));
        return out;
    }
    std::vector<float> column(int s) {
        std::vector<float> out;
        for (int r = 0; r < tag::ArpRowCount; ++r) out.push_back(value(at(r, s)));
        return out;
    }
    std::vector<float> grid() {
        std::vector<float> out;
        for (int t = tag::ArpGridFirst; t <= tag::ArpGridLast; ++t) out.push_back(value(t));
        return out;
    }
    // Distinct values in every continuous row, alternating switches in the
    // two switch rows (on, tied).
    void fillGrid() {
        for (int r = 0; r < tag::ArpRowCount; ++r)
            for (int s = 0; s < tag::ArpStepCount; ++s)
                p().setParameter(at(r, s), r < 2 ? float((s + r) % 2) : (s + 1) / 32.0f);
    }
    void setSteps(int n) { p().setSteppedValue(tag::ArpNumSteps, n - 1); }
    std::size_t automations() const { return host.count(audioMasterAutomate); }
};

const std::vector<std::string> HEAD = {"Arp Command Menu",
                                       "Info",
                                       "-",
                                       "Reset Arp Section",
                                       "Set Arp Section to Original Settings",
                                       "Reset Arp",
                                       "Turn All Steps On",
                                       "Turn All Steps Off",
                                       "Reset Tie Row",
                                       "Reset Slide Row",
                                       "Reset Tune Row",
                                       "Reset Velocity Row",
                                       "Reset Chord Row",
                                       "Reset Free Row",
                                       "Reset Ratcheting Row",
                                       "-",
                                       "Copy Arp",
                                       "Paste Arp",
                                       "-",
                                       "Move Arp Left",
                                       "Move Arp Right",
                                       "Reset Arp Magic"};
const std::vector<std::string> CELL = {"-",
                                       "Reset Cell",
                                       "Reset Step",
                                       "Reset Row",
                                       "-",
                                       "Randomize Cell",
                                       "Randomize Step",
                                       "Randomize Row",
                                       "-",
                                       "Copy Step",
                                       "Paste Step",
                                       "Set All To Step",
                                       "Swap Step With Next",
                                       "Swap Step With Previous",
                                       "-",
                                       "Enter Tune Value",
                                       "Enter Velocity Value",
                                       "Enter Free Value"};
const std::vector<std::string> TAIL = {"-", "Load Arp Preset", "Save Arp Preset", "-", "Undo"};

std::vector<std::string> join(std::initializer_list<std::vector<std::string>> parts) {
    std::vector<std::string> out;
    for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
    return out;
}

} // namespace

TEST_F(ArpMenu, CellCommandsAppearOnlyWhenOpenedFromTheGrid) {
    dismiss();
    EXPECT_EQ(titles(rootLines()), join({HEAD, TAIL}));
    EXPECT_FALSE(rootLines()[0].enabled);
    ASSERT_EQ(submenus().size(), 1u);
    ASSERT_EQ(submenus()[0].size(), 9u);
    EXPECT_EQ(submenus()[0][4].title, "Left Click + Alt: Set steps");
    for (const Line& l : submenus()[0]) EXPECT_FALSE(l.enabled);

    popups.dismiss();
    ui().showArpMenu(2, 5, true);
    EXPECT_EQ(titles(rootLines()), join({HEAD, CELL, TAIL}));
    for (std::size_t i = 1; i < rootLines().size(); ++i)
        EXPECT_TRUE(rootLines()[i].separator || rootLines()[i].enabled) << i;
    EXPECT_FALSE(p().core.popupOpen);
    EXPECT_TRUE(ui().getPageRequests().redrawArp); // the grid redraws at the next idle pass
}

TEST_F(ArpMenu, ALockedSectionOffersAndRunsNothing) {
    fillGrid();
    p().setLockState(2, 1);
    const std::vector<float> before = grid();
    choose({"Reset Arp"});
    ASSERT_EQ(popups.popupCount(), 1);
    ASSERT_EQ(rootLines().size(), 1u);
    EXPECT_EQ(rootLines()[0].title, "Arp Menu Locked");
    EXPECT_FALSE(rootLines()[0].enabled);
    EXPECT_EQ(grid(), before);
    float v = 0.0f;
    EXPECT_FALSE(ui().getArpUndo(at(0, 0), v)); // no snapshot taken
    EXPECT_FALSE(p().core.popupOpen);

    p().setLockState(2, 0);
    p().setLockState(1, 1); // the play section locks the menu too
    choose({"Reset Arp"}, 0, 0, true);
    EXPECT_EQ(rootLines().size(), 1u);
    EXPECT_EQ(grid(), before);
}

TEST_F(ArpMenu, SectionResetsKeepTheArpSwitch) {
    fillGrid();
    p().setParameter(tag::ArpOn, 1.0f);
    p().setParameter(tag::ArpSwing, 0.77f);
    choose({"Reset Arp Section"});
    EXPECT_EQ(value(tag::ArpOn), 1.0f);
    for (std::size_t i = 1; i < section_tags::ARP_TAGS.size(); ++i) {
        const int t = section_tags::ARP_TAGS[i];
        EXPECT_EQ(value(t), std::min(p().getDefaultValue(t), 1.0f)) << t;
    }

    fillGrid();
    p().setParameter(tag::ArpSwing, 0.77f);
    choose({"Set Arp Section to Original Settings"});
    EXPECT_EQ(value(tag::ArpOn), 1.0f);
    for (std::size_t i = 1; i < section_tags::ARP_TAGS.size(); ++i) {
        const int t = section_tags::ARP_TAGS[i];
        EXPECT_EQ(value(t), std::min(p().getOrigValue(t), 1.0f)) << t;
    }

    fillGrid();
    p().setParameter(tag::ArpSwing, 0.77f);
    choose({"Reset Arp"});
    EXPECT_EQ(value(tag::ArpSwing), 0.77f);
    for (int t = tag::ArpGridFirst; t <= tag::ArpGridLast; ++t)
        EXPECT_EQ(value(t), p().getDefaultValue(t)) << t;

    fillGrid();
    choose({"Reset Chord Row"});
    for (int s = 0; s < tag::ArpStepCount; ++s)
        EXPECT_EQ(value(at(tag::RowChord, s)), p().getDefaultValue(at(tag::RowChord, s)));
    EXPECT_EQ(value(at(tag::RowFree, 3)), 4 / 32.0f);

    choose({"Turn All Steps Off"});
    EXPECT_EQ(row(tag::RowOn), std::vector<float>(16, 0.0f));
    choose({"Turn All Steps On"});
    EXPECT_EQ(row(tag::RowOn), std::vector<float>(16, 1.0f));

    p().setParameter(tag::SetArpRandom, 1.0f);
    choose({"Reset Arp Magic"});
    EXPECT_EQ(value(tag::SetArpRandom), 0.0f);
}

TEST_F(ArpMenu, CopyAndPasteCarryTheWholeSectionAndSwitchThePlayModeToArp) {
    fillGrid();
    p().setParameter(tag::PlayMode, 0.0f);
    choose({"Paste Arp"}); // nothing copied yet
    EXPECT_EQ(value(tag::PlayMode), 0.0f);

    p().setParameter(tag::ArpOn, 1.0f);
    choose({"Copy Arp"});
    const std::vector<float> copied = values(section_tags::ARP_TAGS);
    choose({"Reset Arp Section"});
    p().setParameter(tag::ArpOn, 0.0f);
    ASSERT_NE(values(section_tags::ARP_TAGS), copied);
    choose({"Paste Arp"});
    EXPECT_EQ(values(section_tags::ARP_TAGS), copied);
    EXPECT_EQ(value(tag::PlayMode), 1.0f);

    // Pasted with the switch off, the play mode stays.
    p().setParameter(tag::ArpOn, 0.0f);
    choose({"Copy Arp"});
    p().setParameter(tag::PlayMode, 0.0f);
    choose({"Paste Arp"});
    EXPECT_EQ(value(tag::PlayMode), 0.0f);
}

TEST_F(ArpMenu, MovingRotatesTheFirstStepsOfEveryRow) {
    fillGrid();
    setSteps(8);
    const std::vector<float> before = grid();
    choose({"Move Arp Left"});
    for (int r = 0; r < tag::ArpRowCount; ++r) {
        for (int s = 0; s < 8; ++s)
            EXPECT_EQ(value(at(r, s)), before[16 * r + (s + 1) % 8]) << r << "," << s;
        for (int s = 8; s < 16; ++s) EXPECT_EQ(value(at(r, s)), before[16 * r + s]);
    }
    // Steps 1..8 valued 1..8: left gives 2..8, 1; right from there gives back.
    EXPECT_EQ(value(at(tag::RowFree, 7)), 1 / 32.0f);
    choose({"Move Arp Right"});
    EXPECT_EQ(grid(), before);
    choose({"Move Arp Right"});
    EXPECT_EQ(value(at(tag::RowFree, 0)), 8 / 32.0f);
    EXPECT_EQ(value(at(tag::RowFree, 1)), 1 / 32.0f);
    EXPECT_EQ(value(at(tag::RowFree, 8)), 9 / 32.0f);
}

TEST_F(ArpMenu, SwappingWrapsAroundTheStepsInUse) {
    fillGrid();
    setSteps(8);
    const std::vector<float> step8 = column(7), step1 = column(0), step7 = column(6);
    cell("Swap Step With Next", 4, 7);
    EXPECT_EQ(column(7), step1);
    EXPECT_EQ(column(0), step8);
    cell("Swap Step With Previous", 4, 0); // back again
    EXPECT_EQ(column(0), step1);
    EXPECT_EQ(column(7), step8);
    cell("Swap Step With Previous", 4, 7);
    EXPECT_EQ(column(6), step8);
    EXPECT_EQ(column(7), step7);
}

TEST_F(ArpMenu, CellStepAndRowCommands) {
    fillGrid();
    cell("Set All To Step", 0, 4);
    for (int s = 0; s < tag::ArpStepCount; ++s) EXPECT_EQ(column(s), column(4)) << s;

    fillGrid();
    const std::vector<float> step3 = column(2);
    cell("Copy Step", 5, 2);
    cell("Paste Step", 5, 9);
    EXPECT_EQ(column(9), step3);

    fillGrid();
    cell("Reset Cell", tag::RowTune, 6);
    EXPECT_EQ(value(at(tag::RowTune, 6)), p().getDefaultValue(at(tag::RowTune, 6)));
    EXPECT_EQ(value(at(tag::RowTune, 5)), 6 / 32.0f);
    cell("Reset Step", tag::RowTune, 10);
    for (int r = 0; r < tag::ArpRowCount; ++r)
        EXPECT_EQ(value(at(r, 10)), p().getDefaultValue(at(r, 10))) << r;
    cell("Reset Row", tag::RowVelocity, 0);
    for (int s = 0; s < tag::ArpStepCount; ++s)
        EXPECT_EQ(value(at(tag::RowVelocity, s)), p().getDefaultValue(at(tag::RowVelocity, s)));

    // A row outside the grid makes the cell commands do nothing.
    fillGrid();
    const std::vector<float> before = grid();
    for (const char* title : {"Reset Cell", "Reset Step", "Randomize Row", "Set All To Step"})
        cell(title, 8, 3);
    EXPECT_EQ(grid(), before);
}

TEST_F(ArpMenu, RandomisingNeverTouchesWhetherAStepPlaysOrIsTied) {
    fillGrid();
    const std::vector<float> onRow = row(tag::RowOn), tiedRow = row(tag::RowTied);
    for (int i = 0; i < 20; ++i) cell("Randomize Step", 2, i % 16);
    EXPECT_EQ(row(tag::RowOn), onRow);
    EXPECT_EQ(row(tag::RowTied), tiedRow);
    int changed = 0;
    for (int r = tag::RowSlide; r < tag::ArpRowCount; ++r)
        for (int s = 0; s < 16; ++s) {
            const float v = value(at(r, s));
            EXPECT_GE(v, 0.0f);
            EXPECT_LE(v, 1.0f);
            changed += v != (s + 1) / 32.0f;
        }
    EXPECT_GT(changed, 50);

    fillGrid();
    cell("Randomize Row", tag::RowFree, 0);
    std::vector<float> freeRow = row(tag::RowFree);
    std::sort(freeRow.begin(), freeRow.end());
    EXPECT_GT(std::unique(freeRow.begin(), freeRow.end()) - freeRow.begin(), 8);
    EXPECT_EQ(row(tag::RowChord)[0], 1 / 32.0f);

    // A step of -1 stands for the highlighted step, or the first.
    fillGrid();
    const std::vector<float> before = grid();
    for (int i = 0; i < 4; ++i) cell("Randomize Cell", tag::RowVelocity, -1);
    const std::vector<float> after = grid();
    for (int t = 0; t < kGridTags; ++t)
        EXPECT_TRUE(t == 16 * tag::RowVelocity || after[t] == before[t]) << t;
    EXPECT_NE(after[16 * tag::RowVelocity], before[16 * tag::RowVelocity]);
}

TEST_F(ArpMenu, EnterValueAsksForThatRowOfTheStep) {
    for (auto [title, r] : {std::pair{"Enter Tune Value", tag::RowTune},
                            std::pair{"Enter Velocity Value", tag::RowVelocity},
                            std::pair{"Enter Free Value", tag::RowFree}}) {
        dialogs.pushTextCancel();
        cell(title, 0, 11);
        ASSERT_FALSE(dialogs.textRequests.empty());
        EXPECT_EQ(dialogs.textRequests.back().title, p().getParameterNameStr(at(r, 11))) << title;
    }
    EXPECT_EQ(dialogs.textRequests.size(), 3u);
    EXPECT_FALSE(p().core.popupOpen);
}

TEST_F(ArpMenu, UndoRestoresTheSameSnapshotAndTellsTheHost) {
    fillGrid();
    const std::vector<float> before = values(section_tags::ARP_TAGS);
    choose({"Reset Arp"});
    const std::size_t automated = automations();
    choose({"Undo"});
    EXPECT_EQ(values(section_tags::ARP_TAGS), before);
    EXPECT_EQ(automations(), automated + section_tags::ARP_TAGS.size());
    p().setParameter(at(tag::RowFree, 0), 0.9f);
    choose({"Undo"});
    EXPECT_EQ(values(section_tags::ARP_TAGS), before);
    EXPECT_EQ(automations(), automated + 2 * section_tags::ARP_TAGS.size());

    // Dismissing the menu retakes the snapshot.
    p().setParameter(at(tag::RowFree, 0), 0.9f);
    dismiss();
    choose({"Undo"});
    EXPECT_EQ(value(at(tag::RowFree, 0)), 0.9f);
}

TEST_F(ArpMenu, PresetFilesHoldTheWholeSection) {
    p().core.folders.arpPresetDir = fileDir().string() + "/";
    fillGrid();
    p().setParameter(tag::ArpOn, 1.0f);
    dialogs.pushFile((fileDir() / "groove.txt").string());
    choose({"Save Arp Preset"});
    EXPECT_EQ(dialogs.fileRequests.back().title, "Save Arp Preset");
    EXPECT_EQ(dialogs.fileRequests.back().defaultSaveName, "*.arp");
    const std::vector<std::string> lines = readLines(fileDir() / "groove.arp");
    ASSERT_EQ(lines.size(), 167u);
    EXPECT_EQ(lines[0], "V1.0");
    EXPECT_EQ(lines[1], "1.000000"); // Arp On comes first
    for (std::size_t i = 1; i < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 8u) << lines[i];
    const std::vector<float> saved = values(section_tags::ARP_TAGS);

    choose({"Reset Arp Section"});
    p().setParameter(tag::ArpOn, 0.0f);
    p().setParameter(tag::PlayMode, 0.0f);
    dialogs.pushFile((fileDir() / "groove.arp").string());
    choose({"Load Arp Preset"});
    EXPECT_EQ(dialogs.fileRequests.back().title, "Load Arp Preset");
    EXPECT_EQ(dialogs.fileRequests.back().initialFolder, fileDir().string() + "/");
    for (std::size_t i = 0; i < saved.size(); ++i)
        EXPECT_NEAR(value(section_tags::ARP_TAGS[i]), saved[i], 1e-6f) << i;
    EXPECT_EQ(value(tag::PlayMode), 1.0f);

    // A value out of range refuses the whole file.
    std::string text = "V1.0\n";
    for (int i = 0; i < 166; ++i) text += i == 100 ? "1.5\n" : "0.000000\n";
    writeAll(fileDir() / "bad.arp", text);
    const std::vector<float> current = values(section_tags::ARP_TAGS);
    dialogs.pushFile((fileDir() / "bad.arp").string());
    choose({"Load Arp Preset"});
    EXPECT_EQ(values(section_tags::ARP_TAGS), current);
    EXPECT_EQ(alerts(), std::vector<std::string>{"Problem with Arp file"});
    EXPECT_FALSE(p().core.popupOpen);
}
