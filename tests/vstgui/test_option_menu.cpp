// Option menus: entries and the current entry, modal popups answered by a
// scripted provider, choices in submenus, dismissals, entries that cannot be
// chosen, the menu's stay on the frame and the references it holds.

#include "control_test_support.h"

using namespace VSTGUI;
using namespace ControlTest;

namespace {

constexpr int32_t kPopupNoDraw =
    static_cast<int32_t>(COptionMenu::kPopupStyle) | CParamDisplay::kNoDrawStyle;

// A root menu as the editor builds one for a popup: a heading, commands, a
// separator and two submenus, the second nested one level deeper.
COptionMenu* buildMenu(IControlListener* rootListener, IControlListener* submenuListener) {
    const CRect square(92, 92, 108, 108);
    auto* root = new COptionMenu(square, rootListener, 9999, nullptr, nullptr, kPopupNoDraw);
    root->addEntry("Context Menu", -1, CMenuItem::kDisabled);
    root->addEntry("Copy");
    root->addEntry("-");
    root->addEntry("Paste");

    auto* destinations =
        new COptionMenu(square, submenuListener, 9999, nullptr, nullptr, kPopupNoDraw);
    destinations->addEntry("Off");
    destinations->addEntry("Cutoff");
    destinations->addEntry("-");
    destinations->addEntry("Pitch");
    root->addEntry(destinations, "Destination");
    destinations->forget();

    auto* more = new COptionMenu(square, nullptr, 9999, nullptr, nullptr, kPopupNoDraw);
    auto* deeper = new COptionMenu(square, nullptr, 9999, nullptr, nullptr, kPopupNoDraw);
    deeper->addEntry("Sine");
    deeper->addEntry("Saw");
    more->addEntry(deeper, "Waves");
    deeper->forget();
    more->addEntry("Random");
    root->addEntry(more, "More");
    more->forget();
    return root;
}

// Also notes how many views the frame holds while the menu is up.
class CountingProvider : public Testing::ScriptedPopupProvider {
public:
    Result popup(COptionMenu* root, CFrame* frame, const CPoint& where) override {
        viewsDuring = static_cast<int>(frame->getNbViews());
        rootOnFrame = frame->isChild(root);
        openDuring = root->isPopupOpen();
        location = where;
        return ScriptedPopupProvider::popup(root, frame, where);
    }
    int viewsDuring = -1;
    bool rootOnFrame = false;
    bool openDuring = false;
    CPoint location{-1, -1};
};

class GuiOptionMenuTest : public HeadlessFrameTest {
protected:
    void SetUp() override {
        HeadlessFrameTest::SetUp();
        Testing::setPopupProviderOverride(&provider);
    }
    CountingProvider provider;
    RecordingListener rootListener;
    RecordingListener submenuListener;
};

} // namespace

using GuiOptionMenuPopup = GuiOptionMenuTest;

TEST_F(GuiOptionMenuPopup, SubmenuChoiceReachesTheRootOnce) {
    COptionMenu* root = buildMenu(&rootListener, &submenuListener);
    int callbacks = 0;
    provider.chooseTitlePath({"Destination", "Pitch"});

    EXPECT_TRUE(root->popup(frame, CPoint(100, 100), [&](COptionMenu* menu) {
        EXPECT_EQ(menu, root);
        ++callbacks;
    }));

    EXPECT_EQ(callbacks, 1);
    ASSERT_EQ(rootListener.controls.size(), 1u);
    EXPECT_EQ(rootListener.controls[0], root);
    EXPECT_TRUE(submenuListener.values.empty());

    int32_t index = -1;
    COptionMenu* chosenIn = root->getLastItemMenu(index);
    COptionMenu* destinations = root->getEntry(4)->getSubmenu();
    EXPECT_EQ(chosenIn, destinations);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(destinations->getCurrent()->getTitle(), "Pitch");
    EXPECT_EQ(destinations->getCurrentIndex(), 2); // the separator is not counted
    EXPECT_EQ(destinations->getCurrentIndex(true), 3);
    // The root's current entry is the one that holds the submenu.
    EXPECT_EQ(root->getCurrent()->getTitle(), "Destination");
    EXPECT_FLOAT_EQ(root->getValue(), 4.0f);
    EXPECT_EQ(provider.location, CPoint(100, 100));
    root->forget();
}

TEST_F(GuiOptionMenuPopup, ChoiceTwoLevelsDownSetsEveryMenuOnTheWay) {
    COptionMenu* root = buildMenu(&rootListener, nullptr);
    provider.chooseTitlePath({"More", "Waves", "Saw"});
    EXPECT_TRUE(root->popup(frame, CPoint(100, 100)));

    COptionMenu* more = root->getEntry(5)->getSubmenu();
    COptionMenu* waves = more->getEntry(0)->getSubmenu();
    int32_t index = -1;
    EXPECT_EQ(root->getLastItemMenu(index), waves);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(root->getCurrent()->getTitle(), "More");
    EXPECT_EQ(more->getCurrent()->getTitle(), "Waves");
    EXPECT_EQ(waves->getCurrent()->getTitle(), "Saw");
    EXPECT_EQ(rootListener.values.size(), 1u);
    root->forget();
}

TEST_F(GuiOptionMenuPopup, RootChoiceIsReadBackByTitle) {
    COptionMenu* root = buildMenu(&rootListener, nullptr);
    provider.chooseTitlePath({"Paste"});
    EXPECT_TRUE(root->popup(frame, CPoint(100, 100)));
    int32_t index = -1;
    EXPECT_EQ(root->getLastItemMenu(index), root);
    EXPECT_EQ(index, 3);
    EXPECT_EQ(root->getCurrentIndex(), 2);
    EXPECT_EQ(root->getCurrent()->getTitle(), "Paste");
    root->forget();
}

TEST_F(GuiOptionMenuPopup, DismissLeavesNoChoice) {
    COptionMenu* root = buildMenu(&rootListener, nullptr);
    // A fresh menu has no current entry, so a dismissed popup offers no
    // title to act on.
    EXPECT_EQ(root->getCurrent(), nullptr);
    EXPECT_EQ(root->getCurrentIndex(), -1);

    int callbacks = 0;
    provider.dismiss();
    EXPECT_FALSE(root->popup(frame, CPoint(100, 100), [&](COptionMenu*) { ++callbacks; }));
    EXPECT_EQ(callbacks, 0);
    EXPECT_TRUE(rootListener.values.empty());
    int32_t index = 7;
    EXPECT_EQ(root->getLastItemMenu(index), nullptr);
    EXPECT_EQ(index, -1);
    EXPECT_EQ(root->getCurrent(), nullptr);

    // After a choice, a dismissed popup forgets the last choice but keeps
    // the current entry.
    provider.chooseTitlePath({"Copy"});
    provider.dismiss();
    EXPECT_TRUE(root->popup(frame, CPoint(100, 100)));
    EXPECT_FALSE(root->popup(frame, CPoint(100, 100)));
    EXPECT_EQ(root->getLastItemMenu(index), nullptr);
    EXPECT_EQ(root->getCurrent()->getTitle(), "Copy");
    EXPECT_EQ(rootListener.values.size(), 1u);
    // No scripted answer left: dismissed.
    EXPECT_FALSE(root->popup(frame, CPoint(100, 100)));
    EXPECT_EQ(provider.popupCount(), 4);
    root->forget();
}

TEST_F(GuiOptionMenuPopup, EntriesThatCannotBeChosenCountAsDismissed) {
    COptionMenu* root = buildMenu(&rootListener, nullptr);
    auto* title = new CMenuItem("Heading", CMenuItem::kTitle);
    root->addEntry(title);
    const int32_t titleIndex = root->getNbEntries() - 1;

    // The disabled heading, the separator, the title entry, an entry that
    // holds a submenu, and indexes outside the menu.
    for (int32_t index : {0, 2, titleIndex, 4, -1, 99}) {
        provider.chooseIndex(index);
        EXPECT_FALSE(root->popup(frame, CPoint(100, 100))) << "entry " << index;
        int32_t last = 0;
        EXPECT_EQ(root->getLastItemMenu(last), nullptr) << "entry " << index;
    }
    // A disabled entry of a submenu, reached by its title.
    root->getEntry(4)->getSubmenu()->getEntry(1)->setEnabled(false);
    provider.chooseTitlePath({"Destination", "Cutoff"});
    EXPECT_FALSE(root->popup(frame, CPoint(100, 100)));

    EXPECT_TRUE(rootListener.values.empty());
    EXPECT_EQ(root->getCurrent(), nullptr);
    root->forget();
}

TEST_F(GuiOptionMenuPopup, MenuIsOnTheFrameOnlyWhileItIsUp) {
    COptionMenu* root = buildMenu(&rootListener, nullptr);
    frame->addView(new CView(CRect(0, 0, 10, 10)));
    const int before = static_cast<int>(frame->getNbViews());
    const int32_t references = root->getNbReference();

    provider.chooseTitlePath({"Copy"});
    EXPECT_TRUE(root->popup(frame, CPoint(100, 100)));
    EXPECT_EQ(provider.viewsDuring, before + 1);
    EXPECT_TRUE(provider.rootOnFrame);
    EXPECT_TRUE(provider.openDuring);
    EXPECT_FALSE(root->isPopupOpen());
    EXPECT_EQ(static_cast<int>(frame->getNbViews()), before);
    EXPECT_FALSE(root->isAttached());
    EXPECT_EQ(root->getNbReference(), references);
    root->forget();
}

TEST_F(GuiOptionMenuPopup, MenuAlreadyOnTheFrameStaysThere) {
    COptionMenu* root = buildMenu(&rootListener, nullptr);
    frame->addView(root);
    provider.chooseTitlePath({"Paste"});
    EXPECT_TRUE(root->popup(frame, CPoint(100, 100)));
    EXPECT_TRUE(frame->isChild(root));
    EXPECT_EQ(provider.viewsDuring, 1);
    frame->removeView(root);
}

TEST_F(GuiOptionMenuPopup, ClickOnAMenuViewPopsItUpAtTheView) {
    auto* menu = new COptionMenu(CRect(40, 30, 140, 50), &rootListener, 77, nullptr, nullptr,
                                 COptionMenu::kPopupStyle);
    menu->addEntry("Saw");
    menu->addEntry("Square");
    frame->addView(menu);

    provider.chooseIndex(1);
    CPoint where(50, 40);
    EXPECT_EQ(menu->onMouseDown(where, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(provider.location, CPoint(40, 30));
    EXPECT_EQ(rootListener.values, (std::vector<float>{1.0f}));
    EXPECT_EQ(provider.viewsDuring, 1);

    // Without a button nothing pops up.
    EXPECT_EQ(menu->onMouseDown(where, 0), kMouseEventNotHandled);
    EXPECT_EQ(provider.popupCount(), 1);

    // Through the frame: a click is a popup.
    provider.chooseIndex(0);
    Testing::click(frame, CPoint(60, 40));
    EXPECT_EQ(rootListener.values, (std::vector<float>{1.0f, 0.0f}));
}

TEST_F(GuiOptionMenuPopup, ListenerMayDropTheMenuDuringTheChoice) {
    struct Dropping : IControlListener {
        void valueChanged(CControl* control) override { control->forget(); }
    } dropping;
    const int64_t live = Testing::liveObjects();
    COptionMenu* root = buildMenu(&dropping, nullptr);
    provider.chooseTitlePath({"Copy"});
    EXPECT_TRUE(root->popup(frame, CPoint(100, 100)));
    EXPECT_EQ(Testing::liveObjects(), live);
}

// ------------------------------------------------------------------ entries

using GuiOptionMenuEntries = GuiOptionMenuTest;

TEST_F(GuiOptionMenuEntries, ScriptedProviderRecordsWhatWasShown) {
    COptionMenu* root = buildMenu(nullptr, nullptr);
    root->popup(frame, CPoint(100, 100));
    ASSERT_EQ(provider.popupCount(), 1);
    const auto& shown = provider.history()[0];

    ASSERT_EQ(shown.lines.size(), 6u);
    EXPECT_EQ(shown.lines[0].title, "Context Menu");
    EXPECT_FALSE(shown.lines[0].enabled);
    EXPECT_TRUE(shown.lines[1].enabled);
    EXPECT_TRUE(shown.lines[2].separator);
    EXPECT_FALSE(shown.lines[3].separator);
    EXPECT_EQ(shown.lines[4].title, "Destination");
    EXPECT_TRUE(shown.lines[4].hasSubmenu);
    EXPECT_FALSE(shown.lines[1].hasSubmenu);

    // Depth first: Destination, More, then Waves inside More.
    ASSERT_EQ(shown.submenus.size(), 3u);
    EXPECT_EQ(shown.submenus[0][1].title, "Cutoff");
    EXPECT_TRUE(shown.submenus[0][2].separator);
    EXPECT_EQ(shown.submenus[1][0].title, "Waves");
    EXPECT_TRUE(shown.submenus[1][0].hasSubmenu);
    EXPECT_EQ(shown.submenus[2][1].title, "Saw");
    root->forget();
}

TEST_F(GuiOptionMenuEntries, DashTitleIsASeparator) {
    COptionMenu menu;
    menu.addEntry("One");
    CMenuItem* separator = menu.addEntry("-");
    menu.addEntry("-G Not a separator");
    EXPECT_TRUE(separator->isSeparator());
    EXPECT_FALSE(menu.getEntry(2)->isSeparator());
    // "-G" makes a greyed entry shown without the prefix.
    EXPECT_EQ(menu.getEntry(2)->getTitle(), " Not a separator");
    EXPECT_FALSE(menu.getEntry(2)->isEnabled());

    // Inserted where asked; an index past the end appends.
    menu.addEntry("Zero", 0);
    menu.addEntry("Last", 99);
    EXPECT_EQ(menu.getEntry(0)->getTitle(), "Zero");
    EXPECT_EQ(menu.getEntry(4)->getTitle(), "Last");
    menu.addSeparator(1);
    EXPECT_TRUE(menu.getEntry(1)->isSeparator());
}

TEST_F(GuiOptionMenuEntries, CurrentIndexWithAndWithoutSeparators) {
    COptionMenu menu;
    for (const char* title : {"A", "-", "B", "-", "C"}) menu.addEntry(title);

    EXPECT_TRUE(menu.setCurrent(4));
    EXPECT_EQ(menu.getCurrentIndex(), 2);
    EXPECT_EQ(menu.getCurrentIndex(true), 4);
    EXPECT_TRUE(menu.setCurrent(1, false));
    EXPECT_EQ(menu.getCurrent()->getTitle(), "B");
    EXPECT_FALSE(menu.setCurrent(3, false));
    EXPECT_FALSE(menu.setCurrent(5));
    EXPECT_EQ(menu.getCurrent()->getTitle(), "B");

    // The value is the entry index, kept within the entries.
    menu.setValue(4);
    EXPECT_EQ(menu.getCurrent()->getTitle(), "C");
    menu.setValue(17);
    EXPECT_EQ(menu.getCurrentIndex(true), 4);
    menu.setValue(-3);
    EXPECT_EQ(menu.getCurrentIndex(true), 0);
    EXPECT_FLOAT_EQ(menu.getValue(), 0.0f);

    // Removing entries keeps the current one, or leaves none.
    menu.setValue(4);
    EXPECT_TRUE(menu.removeEntry(1));
    EXPECT_EQ(menu.getCurrent()->getTitle(), "C");
    EXPECT_TRUE(menu.removeEntry(3));
    EXPECT_EQ(menu.getCurrent(), nullptr);
    EXPECT_FALSE(menu.removeEntry(3));
    menu.removeAllEntry();
    EXPECT_EQ(menu.getNbEntries(), 0);
    EXPECT_EQ(menu.getCurrentIndex(), -1);
}

TEST_F(GuiOptionMenuEntries, MenusWithSubmenusLeaveNothingBehind) {
    // Stock fonts and the like come into being on first use.
    buildMenu(nullptr, nullptr)->forget();
    const int64_t live = Testing::liveObjects();

    COptionMenu* root = buildMenu(&rootListener, nullptr);
    EXPECT_GT(Testing::liveObjects(), live + 10);
    COptionMenu* copy = new COptionMenu(*root);
    provider.chooseTitlePath({"More", "Waves", "Sine"});
    root->popup(frame, CPoint(100, 100));
    root->forget();
    // The copy shares the entries, which live on with it.
    EXPECT_EQ(copy->getEntry(5)->getSubmenu()->getEntry(0)->getTitle(), "Waves");
    copy->forget();
    EXPECT_EQ(Testing::liveObjects(), live);

    // An entry dropped from a menu goes with the menu's reference.
    COptionMenu* menu = buildMenu(nullptr, nullptr);
    menu->removeEntry(4);
    menu->removeAllEntry();
    menu->forget();
    EXPECT_EQ(Testing::liveObjects(), live);
}

TEST_F(GuiOptionMenuEntries, ItemHoldsItsSubmenu) {
    auto* submenu = new COptionMenu;
    auto* item = new CMenuItem("Sub", submenu);
    EXPECT_EQ(submenu->getNbReference(), 2);
    auto* other = new COptionMenu;
    item->setSubmenu(other);
    EXPECT_EQ(submenu->getNbReference(), 1);
    EXPECT_EQ(other->getNbReference(), 2);
    item->forget();
    EXPECT_EQ(other->getNbReference(), 1);
    other->forget();
    submenu->forget();
}

TEST_F(GuiOptionMenuEntries, DrawsTheCurrentEntryUnlessNoDraw) {
    auto* menu = new COptionMenu(CRect(20, 20, 160, 44), nullptr, 1);
    menu->setFontColor(CColor(255, 255, 0));
    menu->setBackColor(CColor(0, 0, 80));
    frame->addView(menu);
    frame->idle();
    const auto yellow = [&] { return yellowishPixels(frame, menu->getViewSize()); };
    // No entries: nothing to show but the background.
    EXPECT_EQ(yellow(), 0);
    EXPECT_EQ(Testing::pixelAt(frame, 21, 21), CColor(0, 0, 80));

    menu->addEntry("Sawtooth");
    menu->setValue(0);
    menu->setDirty();
    frame->idle();
    EXPECT_GT(yellow(), 10);

    menu->setStyle(kPopupNoDraw);
    frame->setBackgroundColor(kBlackCColor);
    frame->invalidRect(menu->getViewSize());
    menu->setDirty();
    frame->idle();
    EXPECT_EQ(yellow(), 0);
    EXPECT_EQ(Testing::pixelAt(frame, 21, 21), kBlackCColor);
}
