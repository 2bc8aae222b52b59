// The editor's popup menus: built at the mouse, up only while shown, the
// choice recognised by title, the popup flag raised meanwhile and the editor
// refreshed afterwards whatever the outcome.

#include "core/aplugin.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <memory>

using namespace VSTGUI;

namespace {

struct PopupFixture : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    Testing::ScriptedPopupProvider popups;
    std::unique_ptr<APlugin> plugin = std::make_unique<APlugin>(FakeHost::callback);

    PopupFixture() { Testing::setPopupProviderOverride(&popups); }
    ~PopupFixture() override { Testing::setPopupProviderOverride(nullptr); }
    uEditor& ui() { return *plugin->getUEditor(); }
    CFrame* frame() { return ui().frameForTests(); }

    // A small menu with a heading, two commands and a submenu of three.
    void build(EditorPopup& menu) {
        menu.add("-GTest Menu");
        menu.add("Copy");
        menu.add("-");
        menu.add("Paste");
        COptionMenu* sub = menu.addSubmenu("Waves");
        for (const char* w : {"Sine", "Saw", "Square"}) menu.add(w, sub);
    }
};

} // namespace

TEST_F(PopupFixture, WithoutAWindowNothingHappens) {
    plugin->core.popupOpen.clear();
    {
        EditorPopup menu(ui());
        EXPECT_FALSE(menu.valid());
        menu.add("Copy");
        menu.show();
        EXPECT_FALSE(menu.chosen());
    }
    EXPECT_FALSE(plugin->core.popupOpen);
    EXPECT_EQ(popups.popupCount(), 0);
}

TEST_F(PopupFixture, RootCommandIsRecognisedByItsTitle) {
    ASSERT_TRUE(ui().open(nullptr));
    ui().showMainScreen();
    Testing::mouseMove(frame(), CPoint(300, 200), 0);
    const uint32_t viewsBefore = frame()->getNbViews();
    popups.chooseTitlePath({"Paste"});
    {
        EditorPopup menu(ui());
        ASSERT_TRUE(menu.valid());
        EXPECT_TRUE(plugin->core.popupOpen);
        EXPECT_EQ(menu.root()->getViewSize(), CRect(292, 192, 308, 208));
        build(menu);
        menu.show();
        EXPECT_EQ(menu.rootChoice(), "Paste");
        EXPECT_EQ(menu.itemChoice(), "Paste");
        EXPECT_EQ(frame()->getNbViews(), viewsBefore + 1); // still up until the menu goes
    }
    EXPECT_EQ(frame()->getNbViews(), viewsBefore);
    EXPECT_FALSE(plugin->core.popupOpen); // cleared by the refresh

    // What the user saw: the heading greyed without its prefix, a separator.
    ASSERT_EQ(popups.popupCount(), 1);
    const auto& lines = popups.history()[0].lines;
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].title, "Test Menu");
    EXPECT_FALSE(lines[0].enabled);
    EXPECT_TRUE(lines[2].separator);
    EXPECT_TRUE(lines[4].hasSubmenu);
    ui().close();
}

TEST_F(PopupFixture, SubmenuChoiceLeavesTheRootTitlesUnequal) {
    ASSERT_TRUE(ui().open(nullptr));
    const int64_t before = Testing::liveObjects();
    popups.chooseTitlePath({"Waves", "Saw"});
    {
        EditorPopup menu(ui());
        build(menu);
        menu.show();
        EXPECT_TRUE(menu.chosen());
        EXPECT_EQ(menu.rootChoice(), "");
        EXPECT_EQ(menu.itemChoice(), "Saw");
        EXPECT_EQ(menu.choiceIndex(), 1);
        EXPECT_NE(menu.choiceSubmenu(), menu.root());
    }
    EXPECT_EQ(Testing::liveObjects(), before); // menu and submenu released
    ui().close();
}

TEST_F(PopupFixture, DismissingChoosesNothingAndStillRefreshes) {
    ASSERT_TRUE(ui().open(nullptr));
    const float volume = plugin->getParameter(tag::MainVolume);
    popups.dismiss();
    {
        EditorPopup menu(ui());
        build(menu);
        menu.show();
        EXPECT_FALSE(menu.chosen());
        EXPECT_EQ(menu.rootChoice(), "");
        EXPECT_EQ(menu.itemChoice(), "");
        EXPECT_EQ(menu.choiceIndex(), -1);
        EXPECT_TRUE(plugin->core.popupOpen);
    }
    EXPECT_FALSE(plugin->core.popupOpen);
    EXPECT_EQ(plugin->getParameter(tag::MainVolume), volume);

    // A greyed heading offered as the answer counts as a dismissal.
    popups.chooseIndex(0);
    {
        EditorPopup menu(ui());
        build(menu);
        menu.show();
        EXPECT_FALSE(menu.chosen());
    }
    ui().close();
}
