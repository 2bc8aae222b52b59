// Every command menu of the editor, opened the way the editor opens it: each
// entry a user can choose carries its own command on the entry itself, so a
// label can be reworded (or an entry moved) without its command getting
// lost, and no two entries of one menu give the same command.

#include "controls/toptionmenu.h"
#include "core/tags.h"
#include "editor/popup_menu.h"
#include "support/editor_menu_fixture.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

using namespace VSTGUI;
using Line = Testing::ScriptedPopupProvider::Line;

namespace {

// The kinds of showFreeMod, as the free modulation radio buttons pass them.
constexpr int kFreeEnvelopeKind = 1;
constexpr int kFreeLfoKind = 2;

struct MenuCommands : EditorMenuFixture {
    std::vector<CControl*> standIns;

    void TearDown() override {
        EditorMenuFixture::TearDown();
        for (CControl* c : standIns) c->forget();
    }
    // A control of the tag outside every screen, for the parameter menu.
    CControl* control(int t) {
        auto* c = new CControl(CRect(0, 0, 10, 10), nullptr, t);
        standIns.push_back(c);
        return c;
    }
    void click(const CView* view) {
        clock.advance(1000);
        Testing::click(ui().frameForTests(), view->getFrameRect().getCenter());
    }
};

struct MenuCase {
    const char* name;
    std::function<void(MenuCommands&)> open;
    // False where the submenus list values rather than commands (presets).
    bool submenusGiveCommands = true;
};

const std::vector<MenuCase>& menuCases() {
    static const std::vector<MenuCase> cases = {
        {"oscillator", [](MenuCommands& f) { f.ui().showOscMenu(); }},
        {"filter", [](MenuCommands& f) { f.ui().showFilterMenu(); }},
        {"user wave", [](MenuCommands& f) { f.ui().showWaveMenu(-1); }},
        {"user wave partial", [](MenuCommands& f) { f.ui().showWaveMenu(4); }},
        {"control", [](MenuCommands& f) { f.ui().showControlMenu(); }},
        {"free LFO", [](MenuCommands& f) { f.ui().showFreeMod(kFreeLfoKind, 0); }},
        {"free envelope", [](MenuCommands& f) { f.ui().showFreeMod(kFreeEnvelopeKind, 1); }},
        {"amp envelope", [](MenuCommands& f) { f.ui().showEnvMenu(0); }},
        {"filter envelope", [](MenuCommands& f) { f.ui().showEnvMenu(1); }},
        {"arpeggiator", [](MenuCommands& f) { f.ui().showArpMenu(-1, -1, false); }},
        {"arpeggiator cell", [](MenuCommands& f) { f.ui().showArpMenu(2, 3, true); }},
        {"mod matrix", [](MenuCommands& f) { f.ui().showModMenu(-1); }},
        {"mod matrix slot", [](MenuCommands& f) { f.ui().showModMenu(3); }},
        {"XY pad", [](MenuCommands& f) { f.ui().showXYMenu(); }},
        {"modulated parameter",
         [](MenuCommands& f) { f.ui().showMIDIMenu(f.control(tag::FilterFreq), false); }},
        {"synced LFO speed",
         [](MenuCommands& f) {
             f.p().setOn(tag::FreeLfo1SyncOn);
             f.ui().showMIDIMenu(f.control(tag::FreeLfo1Speed), true);
         }},
        {"preset header", [](MenuCommands& f) { f.click(f.ui().getControls().header.presetMenu); },
         false},
        {"ECS header", [](MenuCommands& f) { f.click(f.ui().getControls().header.ecsMenu); }},
    };
    return cases;
}

bool choosable(const Line& line) {
    return !line.separator && line.enabled && !line.hasSubmenu;
}

} // namespace

TEST_F(MenuCommands, EveryChoosableEntryGivesACommandOfItsOwn) {
    for (const MenuCase& menu : menuCases()) {
        SCOPED_TRACE(menu.name);
        const int before = popups.popupCount();
        popups.dismiss();
        menu.open(*this);
        ASSERT_EQ(popups.popupCount(), before + 1);
        const auto& shown = popups.history().back();

        std::vector<const std::vector<Line>*> lists = {&shown.lines};
        if (menu.submenusGiveCommands)
            for (const auto& submenu : shown.submenus) lists.push_back(&submenu);

        std::set<int> tags;
        int entries = 0;
        for (const auto* lines : lists) {
            for (const Line& line : *lines) {
                if (!choosable(line)) continue;
                ++entries;
                EXPECT_GT(menu_tag::command(line.tag), 0)
                    << '"' << line.title << "\" gives nothing";
                EXPECT_TRUE(tags.insert(line.tag).second)
                    << '"' << line.title << "\" repeats command " << menu_tag::command(line.tag)
                    << " argument " << menu_tag::argument(line.tag);
            }
        }
        EXPECT_GE(entries, 3);
    }
}

// The greyed information lines ("Gesture: what it does") name each gesture
// once, and the two menu gestures as what opens the menu.
TEST_F(MenuCommands, InformationLinesNameEachGestureOnce) {
    int informed = 0;
    for (const MenuCase& menu : menuCases()) {
        SCOPED_TRACE(menu.name);
        popups.dismiss();
        menu.open(*this);
        const auto& shown = popups.history().back();
        for (const auto& submenu : shown.submenus) {
            std::set<std::string> gestures;
            for (const Line& line : submenu) {
                const std::size_t colon = line.title.find(": ");
                if (line.enabled || colon == std::string::npos ||
                    line.title.find("Click") == std::string::npos)
                    continue;
                const std::string gesture = line.title.substr(0, colon);
                const std::string action = line.title.substr(colon + 2);
                EXPECT_TRUE(gestures.insert(gesture).second) << line.title;
                const bool menuGesture =
                    gesture == "Left Click + Super" || gesture == "Right Click";
                EXPECT_EQ(menuGesture, action == "Show this menu") << line.title;
            }
            informed += !gestures.empty();
        }
    }
    EXPECT_GE(informed, 5);
}
