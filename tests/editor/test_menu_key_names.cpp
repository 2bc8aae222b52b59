// The information lines of the menus name the keys of a Linux keyboard that
// give each click: the ones the X11 layer turns into the button states the
// controls test for.

#include "controls/control_access.h"
#include "controls/tknob.h"
#include "support/editor_menu_fixture.h"
#include "vstgui/platform/x11_keys.h"

#include <X11/X.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

struct MenuKeyNames : EditorMenuFixture {
    // The lines of the information submenu of the last menu.
    std::vector<std::string> infoLines() {
        for (const auto& submenu : popups.history().back().submenus)
            if (!submenu.empty() && submenu.front().title == "Left Click: Change value")
                return titles(submenu);
        return {};
    }
};

} // namespace

// Ctrl (ControlMask) gives the default click, Alt (Mod1) the original-value
// click, Super (Mod4) and the right button the menu click.
TEST_F(MenuKeyNames, TheNamedKeysGiveTheClicks) {
    using namespace ControlAccess;
    EXPECT_TRUE(exactly(kLButton | X11::modifiersFromState(ControlMask), kDefaultClick));
    EXPECT_TRUE(exactly(kLButton | X11::modifiersFromState(Mod1Mask), kOriginalClick));
    EXPECT_TRUE(anyOf(kLButton | X11::modifiersFromState(Mod4Mask), kMenuClick));
    EXPECT_TRUE(anyOf(X11::buttonFromNumber(Button3), kMenuClick));
    EXPECT_FALSE(anyOf(kLButton | X11::modifiersFromState(ControlMask), kMenuClick));
}

TEST_F(MenuKeyNames, InformationLinesNameCtrlAltAndSuper) {
    const struct {
        const char* menu;
        std::function<void(MenuKeyNames&)> open;
        std::vector<std::string> modifierLines; // the "Left Click + ..." lines
    } rows[] = {
        {"knob",
         [](MenuKeyNames& t) { t.ui().showMIDIMenu(t.ui().getControls().main.knobs[0], false); },
         {"Left Click + Shift: Fine change value", "Left Click + Super: Show this menu",
          "Left Click + Ctrl: Set to default", "Left Click + Alt: Set to original value"}},
        {"mod matrix",
         [](MenuKeyNames& t) { t.ui().showModMenu(0); },
         {"Left Click + Shift: Fine change value", "Left Click + Super: Show this menu",
          "Left Click + Ctrl: Set value", "Left Click + Alt: Set to original value"}},
        {"arpeggiator",
         [](MenuKeyNames& t) { t.ui().showArpMenu(3, 2, true); },
         {"Left Click + Shift: Fine change value", "Left Click + Super: Show this menu",
          "Left Click + Ctrl: Set value", "Left Click + Alt: Set steps"}},
        {"envelope",
         [](MenuKeyNames& t) { t.ui().showEnvMenu(0); },
         {"Left Click + Shift: Fine change value", "Left Click + Super: Show this menu",
          "Left Click + Ctrl: Set value", "Left Click + Alt: Set to original value"}},
        {"user wave",
         [](MenuKeyNames& t) { t.ui().showWaveMenu(-1); },
         {"Left Click + Shift: Fine change value", "Left Click + Super: Show this menu",
          "Left Click + Ctrl: Set to default", "Left Click +  Alt: Set to original value"}},
        {"XY pad",
         [](MenuKeyNames& t) { t.ui().showXYMenu(); },
         {"Left Click + Super: Show this menu", "Left Click + Ctrl: Set value",
          "Left Click + Alt: Set to original value"}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.menu);
        popups.dismiss();
        row.open(*this);
        const std::vector<std::string> lines = infoLines();
        ASSERT_FALSE(lines.empty());
        std::vector<std::string> modifierLines;
        for (const std::string& line : lines)
            if (line.rfind("Left Click +", 0) == 0) modifierLines.push_back(line);
        EXPECT_EQ(modifierLines, row.modifierLines);
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Right Click: Show this menu"),
                  lines.end());
    }
}
