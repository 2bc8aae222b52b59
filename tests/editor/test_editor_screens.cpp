// Switching screens: the main screen's two lower pages, the five sub-pages
// and the back screen, the graphic screens in their places, the radio
// groups' stepping, that every control lives exactly once through all of
// it, and a picture of the main screen.

#include "controls/envarp.h"
#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/tmodscreen.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "controls/txyscreen.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

struct EditorScreens : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    std::unique_ptr<APlugin> plugin;

    void make() { plugin = std::make_unique<APlugin>(FakeHost::callback); }
    VstIntPtr dispatch(VstInt32 opcode) {
        AEffect* e = plugin->getAeffect();
        return e->dispatcher(e, opcode, 0, 0, nullptr, 0.0f);
    }
    void open() { ASSERT_EQ(dispatch(effEditOpen), 1); }
    // A new plug-in whose editor opens at size s (0: 100 %, 1: 125 %, 2: 150 %, 3: 200 %).
    void openAtSize(int s) {
        if (plugin) dispatch(effEditClose);
        const char* keys[4] = {"Big100", "Big125", "Big150", "Big200"};
        for (const char* key : keys) saveStringToPrefs(key, "N");
        saveStringToPrefs(keys[s], "Y");
        make();
        open();
    }
    void TearDown() override {
        if (plugin) dispatch(effEditClose);
    }
    uEditor& ui() { return *plugin->getUEditor(); }
    const editor_controls::All& c() { return ui().getControls(); }
    CFrame* frame() { return ui().frameForTests(); }
    CViewContainer* page(uEditor::SubPage p) { return ui().getSubPage(p); }
    bool shows(const CView* view) { return view && frame()->isChild(const_cast<CView*>(view)); }
    bool holds(uEditor::SubPage p, const CView* view) {
        return view && page(p)->isChild(const_cast<CView*>(view));
    }

    // Every control pointer the editor holds.
    std::vector<CControl*> members() {
        std::vector<CControl*> out;
        editor_controls::All all = c();
        all.forEach([&](auto*& control) {
            if (control) out.push_back(control);
        });
        return out;
    }
    // The pixels of a view's place that change when it is hidden: what it
    // draws over what lies behind it.
    int pixelsDrawnBy(CView* view) {
        const CRect r = view->getFrameRect();
        std::vector<CColor> shown;
        frame()->redrawAll();
        for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
            for (int x = static_cast<int>(r.left); x < r.right; ++x)
                shown.push_back(Testing::pixelAt(frame(), x, y));
        view->setVisible(false);
        frame()->redrawAll();
        int differing = 0;
        std::size_t i = 0;
        for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
            for (int x = static_cast<int>(r.left); x < r.right; ++x)
                if (!(Testing::pixelAt(frame(), x, y) == shown[i++])) ++differing;
        view->setVisible(true);
        frame()->redrawAll();
        return differing;
    }

    // How often each view is attached to the frame or a sub-page now.
    std::map<const CView*, int> attachments() {
        std::map<const CView*, int> count;
        for (CView* v : frame()->getChildren()) ++count[v];
        for (int i = 0; i < uEditor::kSubPageCount; ++i)
            for (CView* v : page(static_cast<uEditor::SubPage>(i))->getChildren()) ++count[v];
        return count;
    }
};

} // namespace

// ------------------------------------------------------------------ lifetimes

// Every control is made once per opening, keeps one reference while the
// screens move it around, is attached at most once at any moment, and is
// gone after close.
TEST_F(EditorScreens, SwitchingKeepsEveryControlAliveExactlyOnce) {
    make();
    const int64_t baseline = Testing::liveObjects();
    for (int round = 0; round < 2; ++round) {
        open();
        const std::vector<CControl*> all = members();
        EXPECT_GT(all.size(), 250u);
        const int64_t built = Testing::liveObjects();

        // A group submenu has a second reference: its entry in the main menu.
        std::set<const CControl*> submenus;
        for (int g = 1; g < 6; ++g) submenus.insert({c().osc.waveA[g], c().osc.waveB[g]});
        for (const auto& groups : c().xy.destSubMenu)
            for (TOptionMenu* m : groups) submenus.insert(m);

        auto check = [&](const char* where) {
            SCOPED_TRACE(where);
            EXPECT_EQ(Testing::liveObjects(), built);
            for (CControl* control : all)
                EXPECT_EQ(control->getNbReference(), submenus.count(control) ? 2 : 1);
            for (auto [view, n] : attachments()) EXPECT_EQ(n, 1);
        };
        check("back screen after opening");
        ui().showMainScreen();
        check("main screen, arpeggiator");
        ui().changeRadioDelta(0, 1);
        ASSERT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
        check("main screen, user waves");
        ui().showFreeLFOScreen();
        ui().showFreeEnvScreen();
        ui().showEnvScreens();
        ui().showFXScreen();
        check("sub-pages refilled");
        ui().showBackScreen(false);
        check("back screen again");
        ui().showMainScreen();
        clock.advance(40);
        dispatch(effEditIdle);
        check("after an idle pass");

        dispatch(effEditClose);
        EXPECT_EQ(Testing::liveObjects(), baseline) << "round " << round;
        EXPECT_TRUE(members().empty());
        EXPECT_EQ(ui().getControlCount(), 0);
        EXPECT_EQ(ui().getTagControl(23), nullptr);
    }
}

// ------------------------------------------------------------------ main screen

TEST_F(EditorScreens, LowerPagesShowTheirOwnControls) {
    make();
    open();
    ui().showMainScreen();
    EXPECT_EQ(ui().getScreenCode(), SCREEN_MAIN_ARP);
    EXPECT_EQ(frame()->getBackground(), ui().getBitmap(10000));
    // The blocks every main screen shows.
    for (TKnob* knob : c().main.knobs) EXPECT_TRUE(shows(knob));
    for (TOnOff* button : c().main.switches) EXPECT_TRUE(shows(button));
    EXPECT_TRUE(shows(c().header.presetMenu));
    EXPECT_TRUE(shows(c().osc.waveA[0]));
    EXPECT_FALSE(shows(c().osc.waveA[1])); // reached through its menu only
    EXPECT_TRUE(shows(c().osc.morph));
    EXPECT_TRUE(shows(c().xy.speed));
    EXPECT_TRUE(shows(c().xy.drawOsc));
    EXPECT_TRUE(shows(c().freeEnv.sync));
    // The arpeggiator page.
    EXPECT_TRUE(shows(c().arp.on));
    EXPECT_TRUE(shows(c().arp.magicMode));
    for (TKnob* knob : c().arp.knobs) EXPECT_TRUE(shows(knob));
    EXPECT_FALSE(shows(c().wave.presetMenu));
    EXPECT_FALSE(shows(c().wave.shaperKnobs[0]));
    EXPECT_EQ(c().main.pageSelect[1]->getValue(), 1.0f);
    EXPECT_EQ(c().main.pageSelect[0]->getValue(), 0.0f);
    EXPECT_EQ(c().play.playLock->getString(), "Off");
    EXPECT_EQ(c().arp.lock->getString(), "Off");
    // The frame starts with the five sub-pages.
    for (int i = 0; i < uEditor::kSubPageCount; ++i)
        EXPECT_EQ(frame()->getView(static_cast<uint32_t>(i)),
                  page(static_cast<uEditor::SubPage>(i)));

    // The user-wave page; the arpeggiator switch stays.
    ui().changeRadioDelta(0, -1);
    EXPECT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
    EXPECT_EQ(frame()->getBackground(), ui().getBitmap(10001));
    EXPECT_TRUE(shows(c().arp.on));
    EXPECT_FALSE(shows(c().arp.magicMode));
    for (TKnob* knob : c().arp.knobs) EXPECT_FALSE(shows(knob));
    EXPECT_TRUE(shows(c().wave.presetMenu));
    EXPECT_TRUE(shows(c().wave.save));
    EXPECT_TRUE(shows(c().wave.shaperMenu));
    EXPECT_EQ(c().main.pageSelect[0]->getValue(), 1.0f);
    EXPECT_EQ(c().wave.select[0]->getValue(), 1.0f);
    EXPECT_EQ(c().wave.drawMode[0]->getValue(), 1.0f);
    EXPECT_EQ(c().wave.view[0]->getValue(), 1.0f);
    for (TKnob* knob : c().main.knobs) EXPECT_TRUE(shows(knob));
}

// A control that stays when the lower page changes looks the same on both
// pages: each background paints its label and field.
TEST_F(EditorScreens, ControlsOfBothLowerPagesLookAlikeOnBoth) {
    make();
    open();
    ui().showMainScreen();
    auto pixelsOf = [&](CView* v) {
        const CRect r = v->getViewSize();
        std::vector<CColor> out;
        for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
            for (int x = static_cast<int>(r.left); x < r.right; ++x)
                out.push_back(Testing::pixelAt(frame(), x, y));
        return out;
    };
    std::set<const CView*> tabs(c().main.pageSelect.begin(), c().main.pageSelect.end());
    std::map<CView*, std::vector<CColor>> onArpPage;
    frame()->redrawAll();
    for (CView* v : frame()->getChildren())
        if (!tabs.count(v)) onArpPage[v] = pixelsOf(v);
    ui().changeRadioDelta(0, -1);
    ASSERT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
    frame()->redrawAll();
    int compared = 0;
    for (auto& [view, pixels] : onArpPage) {
        if (!shows(view)) continue;
        ++compared;
        const auto* control = dynamic_cast<CControl*>(view);
        EXPECT_TRUE(pixelsOf(view) == pixels)
            << "tag " << (control ? control->getTag() : -1) << " at " << view->getViewSize().left
            << ", " << view->getViewSize().top;
    }
    EXPECT_GT(compared, 100);
}

TEST_F(EditorScreens, SubPagesHoldTheirControls) {
    make();
    plugin->setParameter(64, 0.0f); // LFO 1 runs free
    open();
    ui().showMainScreen();
    APlugin& p = *plugin;
    const auto& lfo = c().freeLFO;

    // Free LFO 1 without tempo sync: its speed as text.
    EXPECT_EQ(page(uEditor::kFreeLFOPage)->getBackground(), ui().getBitmap(10024));
    for (const CView* v : std::initializer_list<const CView*>{
             lfo.mode[0], lfo.wave[0], lfo.sync[0], lfo.speedKnob[0], lfo.speedReadout[0]})
        EXPECT_TRUE(holds(uEditor::kFreeLFOPage, v));
    EXPECT_FALSE(holds(uEditor::kFreeLFOPage, lfo.speedMenu[0]));
    EXPECT_EQ(page(uEditor::kFreeLFOPage)->getNbViews(), 5u);
    EXPECT_EQ(lfo.speedReadout[0]->getString(), p.getParameterDisplayStr(63));
    EXPECT_EQ(lfo.select[0]->getValue(), 1.0f);

    // Free LFO 2 with tempo sync: its period menu instead of the text.
    ui().changeRadioDelta(2, 1);
    EXPECT_EQ(ui().getSelectedFreeLFO(), 1);
    EXPECT_EQ(lfo.select[1]->getValue(), 1.0f);
    EXPECT_EQ(lfo.select[0]->getValue(), 0.0f);
    p.setParameter(66, 1.0f);
    p.setSteppedValue(65, 5, 33.99f, 34);
    ui().showFreeLFOScreen();
    EXPECT_TRUE(holds(uEditor::kFreeLFOPage, lfo.speedMenu[1]));
    EXPECT_FALSE(holds(uEditor::kFreeLFOPage, lfo.speedReadout[1]));
    EXPECT_FALSE(holds(uEditor::kFreeLFOPage, lfo.mode[0]));
    EXPECT_TRUE(holds(uEditor::kFreeLFOPage, lfo.speedKnob[1]));
    EXPECT_EQ(lfo.speedMenu[1]->getCurrentIndex(), 5);
    EXPECT_FLOAT_EQ(lfo.speedKnob[1]->getValue(), p.getParameter(65));

    // Free envelope 2: its five knobs, and the frame's sync switch serves it.
    p.setParameter(62, 1.0f);
    ui().changeRadioDelta(1, -1);
    EXPECT_EQ(ui().getSelectedFreeEnv(), 1);
    ui().showFreeEnvScreen();
    for (TKnob* knob : c().freeEnv.knobs[1]) EXPECT_TRUE(holds(uEditor::kFreeEnvPage, knob));
    for (TKnob* knob : c().freeEnv.knobs[0]) EXPECT_FALSE(holds(uEditor::kFreeEnvPage, knob));
    EXPECT_EQ(c().freeEnv.sync->getTag(), 62);
    EXPECT_EQ(c().freeEnv.sync->getValue(), 1.0f);
    EXPECT_TRUE(shows(c().freeEnv.sync));

    // Effects: the phaser's knobs replace the flanger's, which keep their
    // values and come back unchanged.
    const float flangerMix = c().fx.flanger[5]->getValue();
    p.setParameter(87, 1.0f);
    ui().showFXScreen();
    EXPECT_EQ(page(uEditor::kFXPage)->getBackground(), ui().getBitmap(10027));
    for (TKnob* knob : c().fx.phaser) EXPECT_TRUE(holds(uEditor::kFXPage, knob));
    for (TKnob* knob : c().fx.flanger) EXPECT_FALSE(holds(uEditor::kFXPage, knob));
    p.setParameter(87, 0.0f);
    ui().showFXScreen();
    EXPECT_EQ(page(uEditor::kFXPage)->getNbViews(), 6u);
    EXPECT_FLOAT_EQ(c().fx.flanger[5]->getValue(), flangerMix);

    // The envelope pages show the graphic screens alone.
    EXPECT_EQ(page(uEditor::kEnvPage1)->getBackground(), ui().getBitmap(10020));
    EXPECT_EQ(page(uEditor::kEnvPage2)->getBackground(), ui().getBitmap(10022));
    EXPECT_EQ(page(uEditor::kEnvPage1)->getNbViews(), 1u);
    EXPECT_EQ(page(uEditor::kEnvPage2)->getNbViews(), 1u);
    EXPECT_TRUE(holds(uEditor::kEnvPage1, c().filter.filterEnvScreen));
    EXPECT_TRUE(holds(uEditor::kEnvPage2, c().filter.ampEnvScreen));
}

TEST_F(EditorScreens, EnvelopePagesShowKnobsWhenAsked) {
    saveStringToPrefs("EnvelopeShowKnobs", "Y");
    make();
    plugin->setParameter(31, 0.3f);
    open();
    ui().showMainScreen();
    EXPECT_EQ(page(uEditor::kEnvPage1)->getBackground(), ui().getBitmap(10021));
    EXPECT_EQ(page(uEditor::kEnvPage2)->getBackground(), ui().getBitmap(10023));
    for (TKnob* knob : c().filter.filterEnvKnobs) EXPECT_TRUE(holds(uEditor::kEnvPage1, knob));
    for (TKnob* knob : c().filter.ampEnvKnobs) EXPECT_TRUE(holds(uEditor::kEnvPage2, knob));
    EXPECT_FLOAT_EQ(c().filter.filterEnvKnobs[1]->getValue(), 0.3f);
    EXPECT_FALSE(holds(uEditor::kEnvPage1, c().filter.filterEnvScreen));
    EXPECT_FALSE(holds(uEditor::kEnvPage2, c().filter.ampEnvScreen));
    EXPECT_EQ(page(uEditor::kEnvPage1)->getNbViews(), 4u);
}

// ------------------------------------------------------------------ graphic screens

// The five kinds of graphic screen stand at their design places at 100 % and
// 150 %, each on the page that shows it, with what the editor tells them.
TEST_F(EditorScreens, GraphicScreensStandAtTheirPlaces) {
    struct Expected {
        CRect arp, mod, xy, wave, envelope;
    };
    // 150 %: design positions times 1.5, truncated, with the XY pad 2 pixels
    // lower; the arpeggiator and matrix from their own per-size tables.
    const Expected sizes[2] = {
        {CRect(331, 473, 821, 661), CRect(25, 648, 275, 752), CRect(227, 110, 466, 349),
         CRect(302, 473, 824, 661), CRect(4, 4, 239, 73)},
        {CRect(497, 710, 1233, 992), CRect(37, 975, 413, 1132), CRect(340, 167, 698, 525),
         CRect(453, 709, 1236, 991), CRect(6, 6, 358, 109)},
    };
    for (int s : {0, 2}) {
        SCOPED_TRACE(s == 0 ? "100 %" : "150 %");
        saveStringToPrefs("Big150", s == 2 ? "Y" : "N");
        saveStringToPrefs("DrawOsc", "N");
        saveStringToPrefs("OscOut", "Y");
        make();
        const int64_t baseline = Testing::liveObjects();
        open();
        ui().showMainScreen();
        const Expected& e = sizes[s == 0 ? 0 : 1];
        const editor_controls::All& all = c();

        // The arpeggiator page: the grid, the matrix and the pad in the
        // frame, the envelopes in their pages.
        ASSERT_NE(all.arp.screen, nullptr);
        ASSERT_NE(all.mod.screen, nullptr);
        ASSERT_NE(all.xy.screen, nullptr);
        ASSERT_NE(all.wave.screen, nullptr);
        ASSERT_NE(all.filter.filterEnvScreen, nullptr);
        ASSERT_NE(all.filter.ampEnvScreen, nullptr);
        EXPECT_EQ(all.arp.screen->getViewSize(), e.arp);
        EXPECT_EQ(all.mod.screen->getViewSize(), e.mod);
        EXPECT_EQ(all.xy.screen->getViewSize(), e.xy);
        EXPECT_EQ(all.wave.screen->getViewSize(), e.wave);
        EXPECT_EQ(all.filter.filterEnvScreen->getViewSize(), e.envelope);
        EXPECT_EQ(all.filter.ampEnvScreen->getViewSize(), e.envelope);
        EXPECT_TRUE(shows(all.arp.screen));
        EXPECT_TRUE(shows(all.mod.screen));
        EXPECT_TRUE(shows(all.xy.screen));
        EXPECT_FALSE(shows(all.wave.screen));
        EXPECT_TRUE(holds(uEditor::kEnvPage1, all.filter.filterEnvScreen));
        EXPECT_TRUE(holds(uEditor::kEnvPage2, all.filter.ampEnvScreen));
        // The filter envelope is envelope 1, the amplifier's envelope 0.
        EXPECT_EQ(all.filter.filterEnvScreen->getEnvelope(), 1);
        EXPECT_EQ(all.filter.ampEnvScreen->getEnvelope(), 0);
        for (const CControl* screen : std::initializer_list<const CControl*>{
                 all.arp.screen, all.mod.screen, all.xy.screen, all.wave.screen,
                 all.filter.filterEnvScreen, all.filter.ampEnvScreen})
            EXPECT_EQ(screen->getTag(), NO_PARAM_TAG);
        EXPECT_EQ(all.arp.screen->getSizeIndex(), s);
        EXPECT_EQ(all.wave.screen->getSizeIndex(), s);
        // The pad follows the oscilloscope preferences.
        EXPECT_FALSE(all.xy.screen->getOscVisible());
        EXPECT_TRUE(all.xy.screen->getOscMode());
        EXPECT_EQ(all.xy.screen->getGrouping(), 0);

        // Each screen draws over its place.
        clock.advance(40);
        dispatch(effEditIdle);
        for (CView* screen :
             std::initializer_list<CView*>{all.arp.screen, all.mod.screen, all.xy.screen,
                                           all.filter.filterEnvScreen, all.filter.ampEnvScreen})
            EXPECT_GT(pixelsDrawnBy(screen), 50)
                << screen->getViewSize().left << "," << screen->getViewSize().top;

        // The user-wave page: the wave screen instead of the grid.
        ui().changeRadioDelta(0, 1);
        EXPECT_TRUE(shows(all.wave.screen));
        EXPECT_FALSE(shows(all.arp.screen));
        EXPECT_TRUE(shows(all.mod.screen));
        EXPECT_TRUE(shows(all.xy.screen));
        EXPECT_TRUE(holds(uEditor::kEnvPage1, all.filter.filterEnvScreen));
        clock.advance(40);
        dispatch(effEditIdle);
        EXPECT_GT(pixelsDrawnBy(all.wave.screen), 200);

        // Each screen is attached once, and nothing outlives the window.
        for (auto [view, n] : attachments()) EXPECT_EQ(n, 1);
        dispatch(effEditClose);
        EXPECT_EQ(Testing::liveObjects(), baseline);
        plugin.reset();
    }
}

// ------------------------------------------------------------------ radio groups

TEST_F(EditorScreens, RadioGroupsStepAndWrap) {
    make();
    open();
    ui().showMainScreen();
    APlugin& p = *plugin;

    // XY record mode by the wheel over one of its buttons: up steps back.
    const CRect live = c().xy.recordMode[0]->getViewSize();
    const CPoint onLive(live.left + 2, live.top + 2);
    EXPECT_EQ(p.getXYRecordMode(), 0);
    Testing::wheel(frame(), onLive, -1.0f);
    EXPECT_EQ(p.getXYRecordMode(), 1);
    Testing::wheel(frame(), onLive, -1.0f);
    EXPECT_EQ(p.getXYRecordMode(), 2);
    Testing::wheel(frame(), onLive, -1.0f);
    EXPECT_EQ(p.getXYRecordMode(), 0); // Replay -> Live
    Testing::wheel(frame(), onLive, 1.0f);
    EXPECT_EQ(p.getXYRecordMode(), 2); // and back
    ui().changeRadioDelta(3, 0);
    EXPECT_EQ(p.getXYRecordMode(), 2);

    // Draw modes wrap and the page is rebuilt with the buttons set; the
    // user-wave screen draws in the mode chosen.
    ui().changeRadioDelta(0, 1); // to the user-wave page
    TWaveScreen* wave = c().wave.screen;
    ASSERT_NE(wave, nullptr);
    for (int expected : {2, 1, 0, 2}) {
        ui().changeRadioDelta(5, -1);
        EXPECT_EQ(ui().getWaveDrawMode(), expected);
        EXPECT_EQ(wave->getDrawMode(), expected);
        for (int i = 0; i < 3; ++i)
            EXPECT_EQ(c().wave.drawMode[i]->getValue(), i == expected ? 1.0f : 0.0f);
    }
    EXPECT_EQ(wave->getWave(), 0);
    ui().changeRadioDelta(4, 1);
    EXPECT_EQ(ui().getSelectedWave(), 1);
    EXPECT_EQ(c().wave.select[1]->getValue(), 1.0f);
    EXPECT_EQ(wave->getWave(), 1);
    // The partials view has a background of its own.
    EXPECT_EQ(wave->getMode(), 0);
    ui().changeRadioDelta(6, 1);
    EXPECT_EQ(ui().getPartialView(), 1);
    EXPECT_EQ(wave->getMode(), 1);
    EXPECT_EQ(frame()->getBackground(), ui().getBitmap(10002));
    EXPECT_EQ(c().wave.view[1]->getValue(), 1.0f);
    EXPECT_EQ(c().wave.view[0]->getValue(), 0.0f);
    ui().changeRadioDelta(6, 1);
    EXPECT_EQ(wave->getMode(), 0);
    EXPECT_EQ(frame()->getBackground(), ui().getBitmap(10001));
    // The states survive a trip through the arpeggiator page.
    ui().changeRadioDelta(0, 1);
    ui().changeRadioDelta(0, 1);
    ASSERT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
    EXPECT_EQ(wave->getWave(), 1);
    EXPECT_EQ(wave->getDrawMode(), 2);
    EXPECT_EQ(wave->getMode(), 0);

    // Groups outside 0..6 are nobody's.
    ui().changeRadioDelta(7, 1);
    ui().changeRadioDelta(-1, 1);
    EXPECT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
}

// ------------------------------------------------------------------ back screen

TEST_F(EditorScreens, BackScreenShowsTheSettings) {
    make();
    open();
    EXPECT_EQ(ui().getScreenCode(), SCREEN_BACK);
    EXPECT_EQ(frame()->getBackground(), ui().getBitmap(10003));
    const auto& b = c().back;
    // The main-screen button covers the screen under every setting.
    EXPECT_EQ(frame()->getView(0), b.toMain);
    EXPECT_EQ(b.toMain->getViewSize(), frame()->getViewSize());
    EXPECT_EQ(frame()->getNbViews(), 13u);
    EXPECT_EQ(b.version->getString(), "Linux v1.0.1");
    EXPECT_EQ(b.a4Tuning->getString(), "440hz");
    EXPECT_EQ(b.loadTuning->getString(), "Default Tuning");
    EXPECT_EQ(b.screenSize->getString(), "100%");
    EXPECT_EQ(b.midiChannel->getString(), "Omni");
    EXPECT_EQ(b.midiChannel->getNbEntries(), 17);
    EXPECT_EQ(b.screenSize->getNbEntries(), 4);
    // Switch defaults: every one on except the preset warning and
    // decay/sustain, which is off as the envelope screens are.
    for (TOnOff* on : {b.keyboard, b.altMidi, b.midiPreset, b.midiBank})
        EXPECT_EQ(on->getValue(), 1.0f);
    for (TOnOff* off : {b.presetWarning, b.decaySustain}) EXPECT_EQ(off->getValue(), 0.0f);
    EXPECT_EQ(b.resetTuning->getViewSize().getTopLeft(), CPoint(466, 572));
    EXPECT_EQ(b.midiChannel->getViewSize(), CRect(214, 414, 288, 428));

    // Stored values outside their ranges.
    const std::pair<int, const char*> a4[] = {
        {9, "440hz"}, {10001, "440hz"}, {10, "10hz"}, {10000, "10000hz"}};
    for (auto [stored, shown] : a4) {
        saveIntToPrefs("A4", stored);
        ui().showBackScreen(false);
        EXPECT_EQ(b.a4Tuning->getString(), shown) << stored;
    }
    const std::pair<int, const char*> channels[] = {{20, "CH 16"}, {-3, "Omni"}, {5, "CH 05"}};
    for (auto [stored, shown] : channels) {
        saveIntToPrefs("MIDIChannel", stored);
        ui().showBackScreen(false);
        EXPECT_EQ(b.midiChannel->getString(), shown) << stored;
    }
    saveStringToPrefs("Keyboard", "N");
    saveStringToPrefs("PresetWarning", "Y");
    ui().showBackScreen(false);
    EXPECT_EQ(b.keyboard->getValue(), 0.0f);
    EXPECT_EQ(b.presetWarning->getValue(), 1.0f);
    EXPECT_EQ(frame()->getNbViews(), 13u);

    // Back and forth through the whole-screen button.
    ui().showMainScreen();
    EXPECT_FALSE(shows(b.toMain));
    EXPECT_FALSE(shows(b.keyboard));
}

TEST_F(EditorScreens, BackScreenAtEachSize) {
    for (int s = 0; s < 4; ++s) {
        openAtSize(s);
        EXPECT_EQ(c().back.screenSize->getString(), SCREEN_SIZE_SHORT_STR[s]);
        // The tuning text fields take their per-size y offsets.
        const int yOffsets[4] = {0, 4, 6, 5};
        EXPECT_EQ(c().back.a4Tuning->getViewSize().top,
                  static_cast<int>(571 * SCALE[s]) + yOffsets[s]);
    }
}

// ------------------------------------------------------------------ picture

// The main screen as drawn, for a look by eye: written under the build tree
// (tests/output/editor-screens/main-100.png, main-150.png with the arpeggiator
// page, and main-wave-*.png with the user-wave page). Every graphic screen
// shows something: two matrix slots, a pad position, a velocity ramp.
TEST_F(EditorScreens, MainScreenPictureIsWritten) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(ONDIX_TEST_OUTPUT_DIR) / "editor-screens";
    fs::create_directories(folder);
    for (int s : {0, 2}) {
        if (plugin) dispatch(effEditClose);
        saveStringToPrefs("Big150", s == 2 ? "Y" : "N");
        make();
        plugin->setParameter(79, 1.0f); // a switch that shows on
        plugin->setModSlotVar(0, false, 0.75f, 3, plugin->getTagDest(tag::FilterFreq));
        plugin->setModSlotVar(1, true, 0.3f, 5, plugin->getTagDest(tag::PortamentoAmount));
        plugin->setParameter(tag::XYX, 0.7f);
        plugin->setParameter(tag::XYY, 0.35f);
        for (int step = 0; step < 16; ++step)
            plugin->setParameter(tag::arpStep(tag::RowVelocity, step),
                                 static_cast<float>(step + 1) / 16.0f);
        open();
        ui().showMainScreen();
        clock.advance(40);
        dispatch(effEditIdle);
        const fs::path file = folder / (s == 0 ? "main-100.png" : "main-150.png");
        ASSERT_TRUE(Testing::writePng(frame(), file.string()));
        EXPECT_GT(fs::file_size(file), 10000u);

        // The controls are drawn over the background: a knob's pixels are
        // not the background's.
        cairo_surface_t* background = ui().getBitmap(10000)->getSurface();
        const CRect knob = c().main.knobs[12]->getViewSize(); // filter frequency
        int differing = 0;
        for (int y = static_cast<int>(knob.top); y < knob.bottom; ++y)
            for (int x = static_cast<int>(knob.left); x < knob.right; ++x)
                if (!(Testing::pixelAt(frame(), x, y) == Testing::pixelAt(background, x, y)))
                    ++differing;
        EXPECT_GT(differing, 20) << "size " << s;

        // And with the user-wave page.
        ui().changeRadioDelta(0, 1);
        clock.advance(40);
        dispatch(effEditIdle);
        const fs::path wave = folder / (s == 0 ? "main-wave-100.png" : "main-wave-150.png");
        ASSERT_TRUE(Testing::writePng(frame(), wave.string()));
    }
}

// The partials view's background paints nothing where the bars and the axis
// labels go: each row of the partial area is one colour. The names of the
// halves stand in the side panel's top and bottom quarters, clear of the
// miniature wave.
TEST_F(EditorScreens, PartialsBackgroundLeavesTheBarsTheirArea) {
    for (const char* big : {"N", "Y"}) {
        if (plugin) dispatch(effEditClose);
        saveStringToPrefs("Big150", big);
        make();
        open();
        const CRect r = ui().getScreenRect(uEditor::GraphicScreen::Wave);
        const int scaledPanel = static_cast<int>(160 * (big[0] == 'Y' ? 1.5f : 1.0f));
        const int left = static_cast<int>(r.left), top = static_cast<int>(r.top);
        const int area = static_cast<int>(r.getWidth()) - scaledPanel;
        const int height = static_cast<int>(r.getHeight());
        cairo_surface_t* background = ui().getBitmap(10002)->getSurface();
        auto rowIsPlain = [&](int y, int from, int to) {
            const CColor first = Testing::pixelAt(background, from, y);
            for (int x = from + 1; x < to; ++x)
                if (!(Testing::pixelAt(background, x, y) == first)) return false;
            return true;
        };
        int busyRows = 0;
        for (int y = top + 3; y < top + height - 3; ++y)
            if (!rowIsPlain(y, left + 3, left + area - 1)) ++busyRows;
        EXPECT_EQ(busyRows, 0) << "Big150 " << big;
        // Text in the panel's top and bottom quarters.
        auto textRows = [&](int from, int to) {
            int n = 0;
            for (int y = from; y < to; ++y)
                if (!rowIsPlain(y, left + area + 2, left + area + scaledPanel - 2)) ++n;
            return n;
        };
        EXPECT_GT(textRows(top + 1, top + height / 4), 3) << "Big150 " << big;
        EXPECT_GT(textRows(top + height * 3 / 4, top + height - 2), 3) << "Big150 " << big;
    }
}

// The switches of the effect in use are brighter than the bypassed one's,
// whether the effect is on or off, as an on switch is brighter than an off
// one.
TEST_F(EditorScreens, TheEffectInUseHasTheBrighterSwitch) {
    make();
    open();
    ui().showMainScreen();
    auto light = [&](CView* v) {
        const CRect r = v->getViewSize();
        double sum = 0;
        int n = 0;
        for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
            for (int x = static_cast<int>(r.left); x < r.right; ++x, ++n) {
                const CColor p = Testing::pixelAt(frame(), x, y);
                sum += p.red + p.green + p.blue;
            }
        return n ? sum / n : 0.0;
    };
    TOnOff* flanger = c().main.switches[editor_controls::Main::kFlangerSwitch];
    TOnOff* phaser = c().main.switches[editor_controls::Main::kPhaserSwitch];
    TOnOff* delay = dynamic_cast<TOnOff*>(ui().getTagControl(tag::DelayOn));
    ASSERT_NE(delay, nullptr);
    auto show = [&] {
        for (int i = 0; i < 2; ++i) {
            clock.advance(40);
            dispatch(effEditIdle);
        }
        frame()->redrawAll();
    };
    for (const float on : {0.0f, 1.0f}) {
        plugin->setParameter(tag::DelayOn, on);
        show();
        const double delayLight = light(delay);
        plugin->setParameter(tag::DelayOn, 1.0f - on);
        show();
        EXPECT_EQ(light(delay) > delayLight, on == 0.0f);
        for (const float usePhaser : {0.0f, 1.0f}) {
            plugin->setParameter(tag::FlangerPhaserOn, on);
            plugin->setParameter(tag::FlangerOrPhaser, usePhaser);
            show();
            ASSERT_EQ(flanger->getValue(), on);
            TOnOff* used = usePhaser > 0.5f ? phaser : flanger;
            TOnOff* bypassed = usePhaser > 0.5f ? flanger : phaser;
            ASSERT_TRUE(bypassed->isBypassed());
            EXPECT_GT(light(used), light(bypassed) + 10) << "on " << on << " phaser " << usePhaser;
        }
    }
}

// ------------------------------------------------------------------ morph marks and the ECS button

// At every size: the ECS menu draws nothing of its own, its picture ("ECS"
// and its arrow) stands in the background under it; over the morph slider's
// whole range, a numbered mark stands on the index (the middle of the window:
// the mark's dark box is centred there, not a position away) exactly when the
// value text reads a whole ten, "0%" .. "100%".
TEST_F(EditorScreens, EcsButtonAndMorphMarksAtEverySize) {
    for (int s = 0; s < 4; ++s) {
        openAtSize(s);
        ui().showMainScreen();
        clock.advance(40);
        dispatch(effEditIdle);
        const TOptionMenu* ecs = c().header.ecsMenu;
        ASSERT_NE(ecs, nullptr);
        const CRect e = ecs->getViewSize();
        EXPECT_EQ(e.left, static_cast<int>(372 * SCALE[s]));
        int lit = 0;
        for (int y = static_cast<int>(e.top); y < e.bottom; ++y)
            for (int x = static_cast<int>(e.left); x < e.right; ++x) {
                const CColor px = Testing::pixelAt(frame(), x, y);
                if (px.red < 120 && px.green > 150 && px.blue > 150) ++lit; // the accent
            }
        EXPECT_GT(lit, 10 * (s + 1)) << "size " << s;

        ASSERT_NE(c().osc.morph, nullptr);
        const CRect r = c().osc.morph->getViewSize();
        const int w = static_cast<int>(r.getWidth());
        const int edge = std::max(1, static_cast<int>(SCALE[s]));
        // Inside the tape, right of its edge line and left of the label.
        const int x = static_cast<int>(r.left) + static_cast<int>(std::lround(w * 0.16)) + edge;
        const double index = r.top + std::floor(r.getHeight() / 2);
        int tens = 0, mismatches = 0;
        for (int i = 0; i <= 2000; ++i) {
            plugin->setParameter(tag::OscMorph, static_cast<float>(i / 2000.0));
            clock.advance(40);
            dispatch(effEditIdle);
            // The dark run nearest the index.
            double nearest = 1e9;
            int runStart = -1;
            for (int y = static_cast<int>(r.top); y <= r.bottom; ++y) {
                const CColor px = y < r.bottom ? Testing::pixelAt(frame(), x, y) : CColor();
                const bool dark = y < r.bottom && px.red + px.green + px.blue < 40;
                if (dark && runStart < 0) runStart = y;
                if (!dark && runStart >= 0) {
                    const double centre = (runStart + y - 1) / 2.0;
                    if (std::fabs(centre - index) < std::fabs(nearest - index)) nearest = centre;
                    runStart = -1;
                }
            }
            const std::string text = plugin->getParameterDisplayStr(tag::OscMorph);
            const bool readsTen = text.size() >= 2 && text.compare(text.size() - 2, 2, "0%") == 0;
            const bool onIndex = std::fabs(nearest - index) <= 1.5;
            tens += readsTen;
            if (readsTen != onIndex && ++mismatches <= 4)
                ADD_FAILURE() << "size " << s << ", a position is " << w << " pixels: " << i
                              << "/2000 reads " << text << (onIndex ? ", on" : ", off")
                              << " the index";
        }
        EXPECT_EQ(tens, 10 * 20 + 1) << "size " << s; // 100% at the end only
    }
}
