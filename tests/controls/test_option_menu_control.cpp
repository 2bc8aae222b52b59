// The editor's option menu: its shown text, the "-"/"+" zones, preset and
// folder arrows, the wave-preset menu, the lock indicator, the wheel, and the
// menu additions of the GUI layer ("-" and "-G" titles, getCurrent with a
// title, setEntry).

#include "controls/toptionmenu.h"
#include "controls_fixture.h"
#include "core/vocabulary.h"

#include <cstring>

using namespace ControlsTest;

namespace {

// A stepped parameter whose menu shows its chosen entry.
constexpr int kMenuTag = tag::ArpSpeed;
constexpr CRect kMenuRect(100, 300, 220, 317);

struct ControlsOptionMenu : ControlsFixture {
    TOptionMenu* makeMenu(int t = kMenuTag, const CRect& r = kMenuRect, bool deltaZones = true,
                          int size = 0) {
        TOptionMenu* menu =
            add(new TOptionMenu(r, &listener, t, nullptr, nullptr, 0x100, size, true, deltaZones));
        for (const char* title : {"One", "Two", "Three", "Four"}) menu->addEntry(title);
        return menu;
    }
    int step() { return plugin->getSteppedValue(kMenuTag); }
    CPoint at(CCoord dx) const { return CPoint(kMenuRect.left + dx, kMenuRect.top + 8); }
    CCoord right(CCoord dx) const { return kMenuRect.getWidth() - dx; }
    Testing::ScriptedPopupProvider popups;
};

} // namespace

TEST_F(ControlsOptionMenu, TextIsKeptAndMarkedOnlyWhenItChanges) {
    TOptionMenu* menu = makeMenu();
    EXPECT_EQ(menu->getString(), "");
    redraw();
    menu->setString("");
    EXPECT_EQ(menu->getString(), " ");
    EXPECT_TRUE(menu->isDirty());
    redraw();
    menu->setString(std::string());
    EXPECT_FALSE(menu->isDirty());
    menu->setString(static_cast<const char*>(nullptr));
    EXPECT_FALSE(menu->isDirty());
    menu->setString("Fast");
    EXPECT_TRUE(menu->isDirty());
    EXPECT_EQ(menu->getString(), "Fast");
}

TEST_F(ControlsOptionMenu, ZonesStepAndTheMiddlePopsUp) {
    Testing::setPopupProviderOverride(&popups);
    ASSERT_GT(plugin->getSteppedNum(kMenuTag), 4);
    plugin->setSteppedValue(kMenuTag, 2);
    TOptionMenu* menu = makeMenu();

    click(at(right(5)));
    EXPECT_EQ(step(), 3);
    click(at(5));
    click(at(5));
    EXPECT_EQ(step(), 1);
    EXPECT_EQ(popups.popupCount(), 0);

    // Shift jumps to the first or the last step.
    click(at(right(1)), kLButton | kShift);
    EXPECT_EQ(step(), plugin->getSteppedNum(kMenuTag) - 1);
    click(at(0), kLButton | kShift);
    EXPECT_EQ(step(), 0);

    // Reversed zones: "+" on the left.
    menu->reverseDelta();
    click(at(right(5)));
    EXPECT_EQ(step(), 0);
    click(at(5));
    EXPECT_EQ(step(), 1);

    // The middle pops the list up; the choice reaches the listener.
    popups.chooseIndex(2);
    click(at(60));
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(popups.history()[0].lines.size(), 4u);
    EXPECT_EQ(listener.values, (std::vector<float>{2.0f}));
    EXPECT_EQ(menu->getCurrentIndex(false), 2);

    // Without zones the ends pop up as well.
    TOptionMenu* plain = makeMenu(kMenuTag, CRect(100, 340, 220, 357), false);
    plugin->setSteppedValue(kMenuTag, 1);
    click(CPoint(218, 348));
    EXPECT_EQ(popups.popupCount(), 2);
    EXPECT_EQ(step(), 1);
    EXPECT_FALSE(plain->hasDeltaZones());
}

TEST_F(ControlsOptionMenu, CommandClickResetsAndModifierClicksAreOffered) {
    Testing::setPopupProviderOverride(&popups);
    const int def = plugin->getSteppedValue(kMenuTag, plugin->getDefaultValue(kMenuTag));
    plugin->setSteppedValue(kMenuTag, def == 3 ? 1 : 3);
    makeMenu();

    // Command with Option (0x62) is still a Command click: a mask test.
    click(at(60), kLButton | kControl | kAlt);
    EXPECT_EQ(step(), def);
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_TRUE(listener.offered.empty());

    // Shift, Option and Control clicks are offered first; the editor does
    // not take them, so the list pops up.
    click(at(60), kLButton | kShift);
    EXPECT_EQ(listener.offered, (std::vector<int32_t>{kLButton | kShift}));
    EXPECT_EQ(popups.popupCount(), 1);
    click(at(60), kLButton | kApple);
    EXPECT_EQ(popups.popupCount(), 2);
    listener.consume = 1;
    click(at(60), kLButton | kAlt);
    EXPECT_EQ(popups.popupCount(), 2);
    // A right click pops up too; a middle click does not.
    listener.consume = 0;
    click(at(60), kRButton);
    EXPECT_EQ(popups.popupCount(), 3);
    click(at(60), kMButton);
    EXPECT_EQ(popups.popupCount(), 3);
}

TEST_F(ControlsOptionMenu, BypassedAndDisabledMenusIgnoreTheMouse) {
    Testing::setPopupProviderOverride(&popups);
    plugin->setSteppedValue(kMenuTag, 2);
    TOptionMenu* menu = makeMenu();
    menu->setBypassed(true);
    EXPECT_TRUE(menu->isDirty());
    click(at(60));
    click(at(right(2)));
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_EQ(step(), 2);
    redraw();
    menu->setBypassed(true);
    EXPECT_FALSE(menu->isDirty());

    menu->setBypassed(false);
    menu->setMouseEnabled(false);
    CPoint p = at(60);
    EXPECT_EQ(menu->onMouseDown(p, kLButton), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_EQ(popups.popupCount(), 0);
}

TEST_F(ControlsOptionMenu, WheelSteps) {
    plugin->setSteppedValue(kMenuTag, 2);
    makeMenu();
    wheel(at(60), 1.0f); // away from the user: the previous entry
    EXPECT_EQ(step(), 1);
    wheel(at(60), -1.0f);
    wheel(at(60), -2.0f);
    EXPECT_EQ(step(), 3);
    TOptionMenu* menu = static_cast<TOptionMenu*>(added[0]);
    EXPECT_FALSE(menu->onWheel(at(60), kMouseWheelAxisX, 1.0f, CButtonState()));
    EXPECT_EQ(step(), 3);
}

TEST_F(ControlsOptionMenu, PresetArrowsAndWheelStepThePresets) {
    Testing::setPopupProviderOverride(&popups);
    for (const char* name : {"Second", "Third", "Fourth"})
        std::strcpy(plugin->presetNames[plugin->presetCount++].data(), name);
    TOptionMenu* menu = makeMenu(kMenuTag, kMenuRect, true);
    menu->setPresetMenu();
    EXPECT_FALSE(menu->hasDeltaZones());
    CBitmap* arrow = ui().getBitmap(10071);
    const CCoord w = arrow ? arrow->getWidth() : 10;
    plugin->setSteppedValue(kMenuTag, 2);
    const auto applied = [&] {
        plugin->core.presetPending.clear();
        plugin->core.screenUpdatePending.clear();
    };

    click(at(right(1)));
    EXPECT_EQ(plugin->core.presetIndex, 1);
    applied();
    click(at(right(w + 1)));
    EXPECT_EQ(plugin->core.presetIndex, 0);
    applied();
    EXPECT_EQ(popups.popupCount(), 0);
    click(at(right(2 * w + 2)));
    EXPECT_EQ(popups.popupCount(), 1);

    // The wheel steps presets and never the menu's parameter.
    clock.advance(1000);
    wheel(at(60), -1.0f);
    EXPECT_EQ(plugin->core.presetIndex, 1);
    EXPECT_EQ(step(), 2);

    // A folder menu's wheel does nothing; clicks on its arrows neither.
    menu->setFolderMenu();
    EXPECT_FALSE(menu->isPresetMenu());
    applied();
    clock.advance(1000);
    wheel(at(60), -1.0f);
    EXPECT_EQ(plugin->core.presetIndex, 1);
    EXPECT_EQ(step(), 2);
    click(at(1));
    EXPECT_EQ(popups.popupCount(), 1);
}

TEST_F(ControlsOptionMenu, WavePresetMenuSteps) {
    constexpr int kFirstPartial = 715;
    TOptionMenu* menu = add(new TOptionMenu(kMenuRect, &listener, NO_PARAM_TAG, nullptr, nullptr,
                                            0x100, 0, true, true));
    menu->setWavePresetMenu();
    menu->setString("None");
    plugin->setParameter(kFirstPartial, 0.123f);

    click(at(2)); // "-" on "None": nothing
    EXPECT_FLOAT_EQ(plugin->getParameter(kFirstPartial), 0.123f);
    click(at(right(2))); // "+": factory wave 0
    EXPECT_NE(plugin->getParameter(kFirstPartial), 0.123f);

    plugin->setParameter(kFirstPartial, 0.123f);
    wheel(at(60), -1.0f); // the next wave from "None" is factory wave 0 too
    EXPECT_NE(plugin->getParameter(kFirstPartial), 0.123f);
}

TEST_F(ControlsOptionMenu, IndicatorBlinksWithThePhase) {
    TOptionMenu* menu = makeMenu(NO_PARAM_TAG, kMenuRect, false);
    redraw();
    // The square of inset 6 in a 17-pixel-high menu: 106..111.
    const CRect square(106, 306, 111, 311);
    EXPECT_EQ(countPixels(square, isLightBlue), 0);

    menu->setIndicator(true, 4);
    EXPECT_TRUE(menu->isDirty());
    redraw();
    EXPECT_EQ(countPixels(square, isLightBlue), 25);
    EXPECT_EQ(pixel(106, 306), LIGHT_BLUE_COLOR);

    menu->setIndicator(true, 5);
    EXPECT_TRUE(menu->isDirty());
    redraw();
    EXPECT_EQ(countPixels(square, isLightBlue), 0);

    menu->setIndicator(true, 5);
    EXPECT_FALSE(menu->isDirty());
    menu->setIndicator(false, 5);
    EXPECT_TRUE(menu->isDirty());
    redraw();
    // A new phase while off is kept without a redraw.
    menu->setIndicator(false, 8);
    EXPECT_FALSE(menu->isDirty());
    EXPECT_EQ(menu->getIndicatorPhase(), 8);
}

TEST_F(ControlsOptionMenu, ShownTextSources) {
    // The menu's own text, else its chosen entry; the bypassed dash; the
    // engine's effective mode for the play-mode menu; nothing for tag 9998.
    const CRect a(100, 300, 220, 317);
    const CPoint b(100, 340);
    const CRect bRect(b, a.getSize());
    TOptionMenu* shown = makeMenu(NO_PARAM_TAG, a, true);
    TOptionMenu* reference = makeMenu(NO_PARAM_TAG, bRect, true);

    shown->setCurrent(2);
    reference->setString("Three");
    redraw();
    EXPECT_GT(countPixels(a, isLightBlue), 20);
    EXPECT_TRUE(sameImage(a, b));

    shown->setBypassed(true);
    reference->setString("------");
    redraw();
    EXPECT_TRUE(sameImage(a, b));

    shown->setBypassed(false);
    shown->setTag(tag::PlayMode);
    shown->setString("Anything");
    shown->setDirty(true);
    reference->setString(vocabAt(PLAY_MODE_SHORT_STR, plugin->getPlayMode()));
    redraw();
    EXPECT_TRUE(sameImage(a, b));

    shown->setTag(NO_DRAW_MENU_TAG);
    shown->setDirty(true);
    redraw();
    EXPECT_EQ(countPixels(a, [](const CColor& c) { return !(c == kBlackCColor); }), 0);
}

TEST_F(ControlsOptionMenu, SizeIndexIsClamped) {
    TOptionMenu* small = makeMenu(kMenuTag, kMenuRect, true, -1);
    TOptionMenu* big = makeMenu(kMenuTag, CRect(100, 340, 220, 357), true, 7);
    EXPECT_EQ(small->getSizeIndex(), 0);
    EXPECT_EQ(big->getSizeIndex(), 3);
    EXPECT_EQ(small->getFont(), FONT_SIZES[0]);
    EXPECT_EQ(big->getFont(), FONT_SIZES[3]);
    // The zone width follows the size: 24 pixels at 200 per cent.
    plugin->setSteppedValue(kMenuTag, 2);
    click(CPoint(220 - 20, 348));
    EXPECT_EQ(step(), 3);
}

// ------------------------------------------------------------------ entries

TEST(ControlsMenuEntries, DashAndGreyedTitles) {
    COptionMenu menu;
    menu.addEntry("-GHeading");
    menu.addEntry("First");
    menu.addEntry("-");
    menu.addEntry("Second");
    menu.addEntry("-G");
    ASSERT_EQ(menu.getNbEntries(), 5);
    EXPECT_FALSE(menu.getEntry(0)->isEnabled());
    EXPECT_EQ(menu.getEntry(0)->getTitle(), "Heading");
    EXPECT_TRUE(menu.getEntry(1)->isEnabled());
    EXPECT_TRUE(menu.getEntry(2)->isSeparator());
    EXPECT_FALSE(menu.getEntry(4)->isEnabled());
    EXPECT_EQ(menu.getEntry(4)->getTitle(), "");
    // Flags given by the caller are kept.
    CMenuItem* titled = menu.addEntry("-GInfo", 0, CMenuItem::kTitle);
    EXPECT_TRUE(titled->isTitle());
    EXPECT_FALSE(titled->isEnabled());

    char title[256] = "untouched";
    EXPECT_EQ(menu.getCurrent(title, false), -1);
    EXPECT_STREQ(title, "untouched");
    menu.setCurrent(4); // "Second", after the separator
    EXPECT_EQ(menu.getCurrent(nullptr, false), 3);
    EXPECT_EQ(menu.getCurrent(title, true), 4);
    EXPECT_STREQ(title, "Second");

    // Retitling: "-G" greys, anything else enables.
    char grey[] = "-GNo longer";
    char plain[] = "Again";
    EXPECT_TRUE(menu.setEntry(4, grey));
    EXPECT_FALSE(menu.getEntry(4)->isEnabled());
    EXPECT_EQ(menu.getEntry(4)->getTitle(), "No longer");
    EXPECT_TRUE(menu.setEntry(4, plain));
    EXPECT_TRUE(menu.getEntry(4)->isEnabled());
    EXPECT_EQ(menu.getEntry(4)->getTitle(), "Again");
    EXPECT_TRUE(menu.setEntry(1, nullptr));
    EXPECT_EQ(menu.getEntry(1)->getTitle(), "");
    EXPECT_FALSE(menu.setEntry(9, plain));
    EXPECT_FALSE(menu.setEntry(-1, plain));

    // Long titles are cut to what a 256-byte buffer holds.
    menu.addEntry(std::string(300, 'x'));
    menu.setCurrent(menu.getNbEntries() - 1);
    EXPECT_EQ(menu.getCurrent(title, true), menu.getNbEntries() - 1);
    EXPECT_EQ(std::strlen(title), 255u);
}

TEST_F(ControlsOptionMenu, GreyedEntriesCannotBeChosen) {
    Testing::setPopupProviderOverride(&popups);
    TOptionMenu* menu = add(new TOptionMenu(kMenuRect, &listener, NO_PARAM_TAG, nullptr, nullptr,
                                            0x100, 0, true, false));
    menu->addEntry("-GInformation");
    menu->addEntry("Command");
    popups.chooseIndex(0);
    click(at(60));
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(popups.history()[0].lines[0].title, "Information");
    EXPECT_FALSE(popups.history()[0].lines[0].enabled);
    EXPECT_TRUE(listener.values.empty());
    popups.chooseTitlePath({"Command"});
    click(at(60));
    EXPECT_EQ(listener.values.size(), 1u);
    char title[256] = {};
    EXPECT_EQ(menu->getCurrent(title, false), 1);
    EXPECT_STREQ(title, "Command");
}
