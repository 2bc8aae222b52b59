// The idle pass: its rate, what the readouts and tooltips say about the
// control or graphic screen under the mouse (or the control the host edits),
// what it pulls from the engine: faces, locks, modulation rings, the pages
// and screens it redraws, and the drops of drag-and-drop modulation.

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
#include "support/editor_host_fixture.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

struct EditorIdle : EditorHostFixture {
    void pointAt(const CView* view) {
        Testing::mouseMove(frame(), view->getFrameRect().getCenter(), CButtonState());
    }
    // The mouse at a frame position, and the pass that reads it.
    void hoverAt(CPoint where) {
        Testing::mouseMove(frame(), where, CButtonState());
        idle();
    }
    std::string nameOf(int t) { return p().getParameterNameStr(t); }
    std::string valueOf(int t) { return p().getParameterDisplayStr(t); }
    // A left-button drag of a control from its centre to another view's,
    // with a pass while the button is held and one after its release.
    // heldValue: the control's parameter while the button was held.
    void dragOnto(const CControl* from, const CView* to) {
        clock.advance(1000); // not a double click
        Testing::mouseDown(frame(), from->getFrameRect().getCenter());
        Testing::mouseMove(frame(), to->getFrameRect().getCenter());
        idle();
        heldValue = p().getParameter(from->getTag());
        Testing::mouseUp(frame(), to->getFrameRect().getCenter());
        idle();
    }
    float heldValue = 0.0f;
    std::vector<int> slotDestinations() {
        std::vector<int> out;
        for (int s = 0; s < tag::ModSlotCount; ++s) out.push_back(p().getModSlotDest(s));
        return out;
    }
    std::string shownName() { return c().header.paramName->getString(); }
    std::string shownValue() { return c().header.paramValue->getString(); }
    TKnob* knobOf(int t) {
        for (TKnob* knob : c().main.knobs)
            if (knob && knob->getTag() == t) return knob;
        return nullptr;
    }
    int modFrameOf(int t) {
        const int f = static_cast<int>(149.0f * p().getModValue(t) + 0.1f);
        return f < 0 ? 0 : (f > 148 ? 148 : f);
    }
};

} // namespace

// ------------------------------------------------------------------ rate

TEST_F(EditorIdle, RunsAtMostEvery40MillisecondsWhateverTheClock) {
    p().setParameter(tag::FilterFreq, 0.3f);
    clock.advance(39);
    dispatch(effEditIdle);
    EXPECT_NE(ui().shownValue(tag::FilterFreq), 0.3f);
    clock.advance(1);
    dispatch(effEditIdle);
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.3f);

    // Across the end of the 32-bit clock the 40 ms still count.
    clock.advance(UINT32_MAX - clock.ticks() - 20);
    dispatch(effEditIdle);
    p().setParameter(tag::FilterFreq, 0.6f);
    clock.advance(30);
    dispatch(effEditIdle);
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.3f);
    clock.advance(10);
    ASSERT_LT(clock.ticks(), 100u);
    dispatch(effEditIdle);
    EXPECT_FLOAT_EQ(ui().shownValue(tag::FilterFreq), 0.6f);
}

// ------------------------------------------------------------------ readouts and tooltips

TEST_F(EditorIdle, HoverOverAKnobNamesItsParameter) {
    TKnob* filter = knobOf(tag::FilterFreq);
    pointAt(filter);
    idle();
    const std::string name = p().getParameterNameStr(tag::FilterFreq);
    const std::string value = p().getParameterDisplayStr(tag::FilterFreq);
    EXPECT_EQ(shownName(), name);
    EXPECT_EQ(shownValue(), value);
    EXPECT_EQ(filter->getTooltipText(), name + " :" + value);

    // Inside a sub-page: the effects page's knob, not the page.
    TKnob* flangerSpeed = c().fx.flanger[2];
    pointAt(flangerSpeed);
    idle();
    EXPECT_EQ(shownName(), p().getParameterNameStr(91));
    EXPECT_EQ(shownValue(), p().getParameterDisplayStr(91));

    // The value text follows the parameter.
    p().setParameter(91, 0.9f);
    idle();
    EXPECT_EQ(shownValue(), p().getParameterDisplayStr(91));

    // Over nothing the readouts keep their texts.
    Testing::mouseMove(frame(), CPoint(2, 2), CButtonState());
    ASSERT_EQ(frame()->getViewAt(CPoint(2, 2)), nullptr);
    idle();
    EXPECT_EQ(shownName(), p().getParameterNameStr(91));
}

TEST_F(EditorIdle, HoverTableNamesTheOtherControls) {
    p().setParameter(64, 0.0f); // the free LFO's speed in hertz
    idle();
    struct Row {
        const CView* view;
        std::string name, value;
    };
    const std::vector<Row> rows = {
        {c().filter.envelopeDisplay, "Select Envelope Display or Knobs", "Envelope Display"},
        {c().play.playLock, "Play Lock Menu", "Off"},
        {c().header.managerArea, "Show Manager Screen", ""},
        {c().header.paramName, "Parameter Name Readout", "Parameter Value Readout"},
        {c().main.pageSelect[0], "Show Wave Screen", "Right Click For Wave Menu"},
        {c().freeLFO.speedReadout[0], "Free LFO 1 Speed", p().getLFOSpeedStr(tag::FreeLfo1Speed)},
        {c().xy.drawOsc, "XY Draw Oscillator On/Off", "On"},
        {c().xy.recordMode[1], "XY Record Mode", ""},
        {c().arp.magicSteps, "Arp Magic Steps",
         ARP_MAGIC_STEPS_STR[static_cast<std::size_t>(p().getLockSteppedValue(124))]},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        pointAt(row.view);
        idle();
        EXPECT_EQ(shownName(), row.name);
        EXPECT_EQ(shownValue(), row.value);
        EXPECT_EQ(row.view->getTooltipText(),
                  row.value.empty() ? row.name : row.name + " : " + row.value);
    }

    // Tempo-synced, the speed is a note length.
    p().setParameter(64, 1.0f);
    idle();
    pointAt(c().freeLFO.speedMenu[0]);
    idle();
    EXPECT_EQ(shownValue(),
              LFO_PERIOD_STR[static_cast<std::size_t>(p().getSteppedValue(63, 33.99f, 34))]);

    ui().changeRadioDelta(0, 1); // the user-wave page
    pointAt(c().wave.presetMenu);
    idle();
    EXPECT_EQ(shownName(), "Wave Presets");
    EXPECT_EQ(shownValue(), p().getWavePresetStr(0));
}

TEST_F(EditorIdle, ReadoutsFollowTheParameterTheHostEdits) {
    pointAt(c().header.presetMenu);
    idle();
    EXPECT_EQ(shownName(), "Preset Menu");
    EXPECT_EQ(shownValue(), "");

    p().beginEdit(tag::FilterFreq);
    p().setParameter(tag::FilterFreq, 0.8f);
    idle();
    EXPECT_EQ(shownName(), p().getParameterNameStr(tag::FilterFreq));
    EXPECT_EQ(shownValue(), p().getParameterDisplayStr(tag::FilterFreq));
    p().endEdit(tag::FilterFreq);
    idle();
    EXPECT_EQ(shownName(), "Preset Menu");
}

TEST_F(EditorIdle, BackScreenDropsRebuildsButFollowsTheMouse) {
    ui().showBackScreen(false);
    p().setParameter(87, 1.0f); // the phaser page, when pages are refreshed
    ui().updateFrame();
    pointAt(c().back.keyboard);
    idle();
    EXPECT_EQ(ui().getScreenCode(), SCREEN_BACK);
    EXPECT_FALSE(ui().isRebuildRequested());
    EXPECT_TRUE(ui().getPageRequests().rebuildFXPage);
    EXPECT_EQ(ui().getSubPage(uEditor::kFXPage)->getBackground(), ui().getBitmap(10026));
    EXPECT_EQ(shownName(), "Keyboard Control On/Off");
    EXPECT_EQ(c().back.keyboard->getTooltipText(), "Keyboard Control On/Off");

    Testing::mouseMove(frame(), CPoint(700, 300), CButtonState());
    idle();
    EXPECT_EQ(shownName(), "To Main Screen");

    ui().showMainScreen();
    idle();
    EXPECT_EQ(ui().getSubPage(uEditor::kFXPage)->getBackground(), ui().getBitmap(10027));
}

// ------------------------------------------------------------------ faces

TEST_F(EditorIdle, EditedPresetFaceChangesOnce) {
    CKickButton* edited = c().header.editedPreset;
    EXPECT_EQ(edited->getBackground(), ui().getBitmap(10050));
    p().setParameter(tag::FilterFreq, p().getParameter(tag::FilterFreq) > 0.5f ? 0.1f : 0.9f);
    ASSERT_TRUE(p().getEditChanged());
    idle(); // changed and drawn in the same pass
    EXPECT_EQ(edited->getBackground(), ui().getBitmap(10052));
    EXPECT_FALSE(edited->isDirty());
    const uint32_t draws = edited->getDrawCount();
    idle();
    idle();
    EXPECT_EQ(edited->getDrawCount(), draws);
}

TEST_F(EditorIdle, UnisonPictureFollowsTheMode) {
    TBitmap* picture = c().play.unisonPicture;
    for (auto [mode, face] :
         {std::pair{0, 10075}, {4, 10076}, {5, 10076}, {6, 10075}, {7, 10076}, {3, 10075}}) {
        p().setSteppedValue(245, mode);
        idle();
        EXPECT_EQ(picture->getBackground(), ui().getBitmap(face)) << mode;
    }
}

TEST_F(EditorIdle, XYPadButtonsFollowTheEngine) {
    TOnOff* drawOsc = c().xy.drawOsc;
    EXPECT_EQ(drawOsc->getBackground(), ui().getBitmap(10052));
    Testing::click(frame(), drawOsc->getFrameRect().getCenter());
    EXPECT_FALSE(getRegisterIsOn("DrawOsc", true));
    idle();
    EXPECT_EQ(drawOsc->getBackground(), ui().getBitmap(10050));

    p().setSteppedValue(445, 1);
    p().setSteppedValue(447, 1);
    idle();
    EXPECT_FLOAT_EQ(c().xy.recordMode[1]->getValue(), 1.0f);
    EXPECT_FLOAT_EQ(c().xy.recordMode[0]->getValue(), 0.0f);
    EXPECT_EQ(c().xy.playMode->getCurrentIndex(), 1);
    EXPECT_EQ(c().xy.loopMode->getCurrentIndex(), p().getXYLoopMode());
}

// ------------------------------------------------------------------ locks and rings

TEST_F(EditorIdle, PlayLockShowsTheLockedValuesAndBlinks) {
    TKnob* portamento = knobOf(tag::PortamentoAmount);
    p().setParameter(tag::PortamentoAmount, 0.25f);
    p().setSteppedValue(243, 2);
    p().setLockState(1, 1);
    p().setParameter(tag::PortamentoAmount, 0.75f);
    p().setSteppedValue(243, 6);
    idle();
    EXPECT_FLOAT_EQ(portamento->getValue(), 0.25f);
    EXPECT_EQ(c().play.playMode->getCurrentIndex(), 2);
    TOptionMenu* lock = c().play.playLock;
    EXPECT_TRUE(lock->isIndicatorOn());
    EXPECT_EQ(lock->getIndicatorPhase(), static_cast<int>(clock.ticks() / 500));
    clock.advance(500 - 40);
    idle();
    EXPECT_EQ(lock->getIndicatorPhase(), static_cast<int>(clock.ticks() / 500));

    p().setLockState(1, 0);
    idle();
    EXPECT_FALSE(lock->isIndicatorOn());
}

TEST_F(EditorIdle, ArpPageShowsTheEngineAndItsLock) {
    p().setSteppedValue(124, 0);
    idle();
    EXPECT_EQ(c().arp.magicSteps->getString(), ARP_MAGIC_STEPS_SHORT_STR[0]);
    EXPECT_TRUE(c().arp.magicMode->isBypassed());
    p().setSteppedValue(124, 3);
    p().setSteppedValue(117, 9);
    p().setSteppedValue(118, 2);
    idle();
    EXPECT_EQ(c().arp.magicSteps->getString(), ARP_MAGIC_STEPS_SHORT_STR[3]);
    EXPECT_FALSE(c().arp.magicMode->isBypassed());
    EXPECT_EQ(c().arp.numSteps->getString(),
              ARP_STEPS_STR[static_cast<std::size_t>(p().getArpNumOfStepsWithCatchup())]);
    EXPECT_EQ(c().arp.loopStart->getString(),
              ARP_STEPS_STR[static_cast<std::size_t>(p().getArpLoopStartWithCatchup())]);

    // Locked, each arpeggiator knob shows its own parameter's held value.
    p().setLockState(2, 1);
    const int heldSteps = p().getArpNumOfStepsWithCatchup();
    p().setParameter(120, 0.9f);
    p().setSteppedValue(117, 4);
    idle();
    EXPECT_TRUE(c().arp.lock->isIndicatorOn());
    for (TKnob* knob : c().arp.knobs)
        EXPECT_FLOAT_EQ(knob->getValue(), p().getLockVar(knob->getTag())) << knob->getTag();
    EXPECT_EQ(p().getArpNumOfStepsWithCatchup(), heldSteps);
    EXPECT_EQ(c().arp.numSteps->getString(), ARP_STEPS_STR[static_cast<std::size_t>(heldSteps)]);
    EXPECT_EQ(c().arp.numSteps->getCurrentIndex(), heldSteps);
}

TEST_F(EditorIdle, RingsAndTheEffectInUse) {
    p().setParameter(1, 1.0f);
    p().setParameter(16, 0.8f);
    p().setParameter(95, 0.6f);
    idle();
    EXPECT_EQ(knobOf(1)->getModFrame(), 148);
    EXPECT_NEAR(c().osc.morph->getModValue(), p().getModValue(16), 1e-6);

    TOnOff* flanger = c().main.switches[editor_controls::Main::kFlangerSwitch];
    TOnOff* phaser = c().main.switches[editor_controls::Main::kPhaserSwitch];
    EXPECT_FALSE(flanger->isBypassed());
    EXPECT_TRUE(phaser->isBypassed());
    EXPECT_EQ(c().fx.phaser[0]->getModFrame(), 0); // not the effect in use

    // The phaser's knobs come onto their page in this pass and show their
    // rings from the next.
    p().setParameter(87, 1.0f);
    idle();
    idle();
    EXPECT_TRUE(flanger->isBypassed());
    EXPECT_FALSE(phaser->isBypassed());
    EXPECT_EQ(c().fx.phaser[0]->getModFrame(), modFrameOf(95));
    EXPECT_TRUE(ui().getSubPage(uEditor::kFXPage)->isChild(c().fx.phaser[0]));
}

// ------------------------------------------------------------------ pages

TEST_F(EditorIdle, PageRequestsRebuildTheirPages) {
    CViewContainer* lfoPage = ui().getSubPage(uEditor::kFreeLFOPage);
    p().setParameter(64, 0.0f);
    idle();
    EXPECT_TRUE(lfoPage->isChild(c().freeLFO.speedReadout[0]));
    p().setParameter(64, 1.0f);
    idle();
    EXPECT_FALSE(lfoPage->isChild(c().freeLFO.speedReadout[0]));
    EXPECT_TRUE(lfoPage->isChild(c().freeLFO.speedMenu[0]));

    // The user-wave page lists the saved presets again on request.
    ui().changeRadioDelta(0, 1);
    p().setParameter(996, 1.0f);
    idle();
    TOptionMenu* presets = c().wave.presetMenu;
    const CMenuItem* saved = presets->getEntry(presets->getNbEntries() - 1);
    ASSERT_NE(saved, nullptr);
    ASSERT_NE(saved->getSubmenu(), nullptr);
    EXPECT_EQ(saved->getTitle(), WAVE_SUB_STR[6]);
    if (p().getWavePresetNo() == 0) {
        ASSERT_EQ(saved->getSubmenu()->getNbEntries(), 1);
        EXPECT_EQ(saved->getSubmenu()->getEntry(0)->getTitle(), "No Presets");
    }
    EXPECT_EQ(presets->getString(), p().getWavePresetStr(0));
    EXPECT_FALSE(ui().getPageRequests().refreshWave);
}

// ------------------------------------------------------------------ graphic screens

TEST_F(EditorIdle, GraphicScreensRedrawOnTheirRequests) {
    const editor_controls::All& all = c();
    idle();
    // A screen is drawn again only when something asked for it; a request
    // raised in one pass is drawn in the next.
    auto redrawnBy = [&](CView* screen, auto&& change) {
        idle();
        idle();
        const uint32_t before = screen->getDrawCount();
        idle();
        EXPECT_EQ(screen->getDrawCount(), before) << "drawn without a request";
        change();
        idle();
        idle();
        return screen->getDrawCount() > before;
    };
    EXPECT_FALSE(redrawnBy(all.arp.screen, [] {}));
    EXPECT_TRUE(redrawnBy(all.arp.screen, [&] { p().setParameter(tag::arpStep(4, 3), 0.3f); }));
    EXPECT_TRUE(redrawnBy(all.arp.screen, [&] { p().setSteppedValue(tag::ArpNumSteps, 5); }));
    EXPECT_TRUE(redrawnBy(all.filter.filterEnvScreen, [&] { p().setParameter(31, 0.2f); }));
    EXPECT_FALSE(redrawnBy(all.filter.ampEnvScreen, [&] { p().setParameter(29, 1.0f); }));
    EXPECT_TRUE(redrawnBy(all.filter.ampEnvScreen, [&] { p().setParameter(13, 1.0f); }));
    EXPECT_TRUE(redrawnBy(all.filter.ampEnvScreen, [&] { p().setParameter(5, 0.7f); }));
    EXPECT_TRUE(redrawnBy(all.xy.screen, [&] { ui().updateXY(); }));
    EXPECT_TRUE(redrawnBy(all.xy.screen, [&] { p().setParameter(456, 1.0f); }));
    EXPECT_TRUE(redrawnBy(all.mod.screen, [&] { ui().resume(); }));

    // The oscilloscope follows the "XY Draw Oscillator" switch.
    EXPECT_TRUE(all.xy.screen->getOscVisible());
    Testing::click(frame(), all.xy.drawOsc->getFrameRect().getCenter());
    idle();
    EXPECT_FALSE(all.xy.screen->getOscVisible());
    clock.advance(1000);
    Testing::click(frame(), all.xy.drawOsc->getFrameRect().getCenter());
    idle();
    EXPECT_TRUE(all.xy.screen->getOscVisible());

    // The grid's LED shows the key-entry step.
    EXPECT_EQ(all.arp.screen->getLedPos(), -1);
    p().engine.notes.arpKeyEntry = true;
    p().engine.notes.arpEntryStep = 5;
    p().publishDisplay(); // as the audio thread does at its tick
    idle();
    EXPECT_EQ(all.arp.screen->getLedPos(), 5);
    p().engine.notes.arpKeyEntry = false;
    p().publishDisplay();
    idle();
    EXPECT_EQ(all.arp.screen->getLedPos(), -1);

    // The user wave: a preview of the shaper and a wave refresh.
    ui().changeRadioDelta(0, 1);
    ASSERT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
    EXPECT_TRUE(redrawnBy(all.wave.screen, [&] { p().setTempPreviewWave(true); }));
    EXPECT_TRUE(redrawnBy(all.wave.screen, [&] { p().setParameter(996, 1.0f); }));
    EXPECT_FALSE(redrawnBy(all.wave.screen, [] {}));
}

TEST_F(EditorIdle, ScreenHoversNameTheCellUnderTheMouse) {
    const editor_controls::All& all = c();

    // The matrix at 100 %: 13-pixel rows, columns from 0, 28, 107 and 207.
    const CRect mod = all.mod.screen->getViewSize();
    const int rowY = static_cast<int>(mod.top) + 6;
    const int left = static_cast<int>(mod.left);
    const std::pair<CPoint, int> cells[] = {
        {CPoint(left + 150, rowY + 3 * 13), 282}, // slot 4's destination
        {CPoint(left + 230, rowY), 67},           // slot 1's amount
        {CPoint(left + 10, rowY + 5 * 13), 260},  // slot 6's bypass
        {CPoint(left + 60, rowY + 7 * 13), 274},  // slot 8's source
    };
    for (auto [where, t] : cells) {
        SCOPED_TRACE(t);
        hoverAt(where);
        EXPECT_EQ(shownName(), nameOf(t));
        EXPECT_EQ(shownValue(), valueOf(t));
    }

    // The arpeggiator grid: row 4 (velocity), step 6.
    TArpScreen* arp = all.arp.screen;
    const CRect grid = arp->getViewSize();
    const CPoint velocity6(grid.left + 5 * 30.625 + 15, grid.top + 19 + 4 * 188.0 / 9 + 10);
    hoverAt(velocity6);
    EXPECT_EQ(shownName(), nameOf(tag::arpStep(4, 5)));
    EXPECT_EQ(shownValue(), valueOf(tag::arpStep(4, 5)));
    hoverAt(CPoint(grid.right - 2, grid.top + 19 + 7 * 188.0 / 9 + 10));
    EXPECT_EQ(shownName(), nameOf(tag::arpStep(7, 15)));
    // Its last pixel row lies below the eighth row: only the screen's name.
    hoverAt(CPoint(grid.left + 40, grid.bottom - 1));
    EXPECT_EQ(shownName(), "Arp Screen");
    EXPECT_EQ(shownValue(), "");
    // While a value is dragged, the dragged cell is named wherever the
    // mouse goes on the grid.
    clock.advance(1000);
    Testing::mouseDown(frame(), velocity6);
    ASSERT_TRUE(arp->getMouseDown());
    Testing::mouseMove(frame(), CPoint(grid.left + 300, grid.top + 19 + 6 * 188.0 / 9 + 10));
    idle();
    EXPECT_EQ(shownName(), nameOf(tag::arpStep(4, 5)));
    Testing::mouseUp(frame(), CPoint(grid.left + 300, grid.top + 19 + 6 * 188.0 / 9 + 10));
    idle();
    EXPECT_EQ(shownName(), nameOf(tag::arpStep(6, 9)));

    // The XY pad: the position in live mode, the screen's name while
    // recording, the path point in replay.
    TXYScreen* pad = all.xy.screen;
    const CPoint padCentre = pad->getFrameRect().getCenter();
    p().setParameter(tag::XYX, 0.75f);
    p().setParameter(tag::XYY, 0.25f);
    hoverAt(padCentre);
    EXPECT_EQ(shownName(), "XY Position :");
    EXPECT_EQ(shownValue(), "X: 50%, Y: -50%");
    p().setSteppedValue(tag::XYRecordMode, 1);
    hoverAt(padCentre + CPoint(1, 0));
    EXPECT_EQ(shownName(), "XY Screen");
    EXPECT_EQ(shownValue(), "");
    p().setSteppedValue(tag::XYRecordMode, 2);
    p().setSteppedValue(449, 0); // every path point can be edited
    p().setSteppedValue(451, 0); // no snapping
    for (int i = 0; i < TXYScreen::kPoints; ++i) {
        p().setParameter(tag::XYPointXFirst + i, 0.25f);
        p().setParameter(tag::XYPointYFirst + i, 0.25f);
    }
    p().setParameter(tag::XYPointXFirst + 8, 0.75f);
    p().setParameter(tag::XYPointYFirst + 8, 1.0f);
    p().setParameter(tag::XYPointXFirst + 4, 0.5f);
    int px = 0, py = 0;
    pad->getXYPoint(8, px, py);
    hoverAt(CPoint(px, py + 1));
    EXPECT_EQ(shownName(), "XY Point :9");
    EXPECT_EQ(shownValue(), "X: 50%, Y: 100%");
    ui().setXYPoint(4); // the point the pad works on wins
    hoverAt(CPoint(px, py + 2));
    EXPECT_EQ(shownName(), "XY Point :5");
    EXPECT_EQ(shownValue(), "X: 0%, Y: -50%");
    ui().setXYPoint(-1);

    // The envelopes: the handle nearest to the mouse, measured from 574 and
    // 853. With attack, decay and release at full length the handles of
    // the 235-pixel screen stand 41, 96, 151 and 206 pixels from there.
    for (int t : {4, 5, 7, 30, 31, 33}) p().setParameter(t, 1.0f);
    idle();
    hoverAt(CPoint(853 + 96, 386));
    EXPECT_EQ(shownName(), nameOf(5));
    EXPECT_EQ(shownValue(), valueOf(5));
    hoverAt(CPoint(853 + 206, 380));
    EXPECT_EQ(shownName(), nameOf(7));
    hoverAt(CPoint(574 + 151, 300));
    EXPECT_EQ(shownName(), nameOf(32));
    hoverAt(CPoint(574 + 41 + 5, 300));
    EXPECT_EQ(shownName(), nameOf(30));
    // Between decay and sustain the origin decides: measured from the
    // screens' own left edges (586 and 859) these would name the decays.
    hoverAt(CPoint(574 + 130, 300));
    EXPECT_EQ(shownName(), nameOf(32));
    hoverAt(CPoint(853 + 126, 386));
    EXPECT_EQ(shownName(), nameOf(6));

    // The user wave's partials: amplitude and phase of the partial.
    ui().changeRadioDelta(0, 1);
    ui().changeRadioDelta(4, 1);
    TWaveScreen* wave = all.wave.screen;
    hoverAt(wave->getFrameRect().getCenter());
    EXPECT_EQ(shownName(), "User Wave Screen"); // the samples: no partial
    EXPECT_EQ(shownValue(), "");
    ui().changeRadioDelta(6, 1);
    p().setWaveTablePartials(1, 20, 1.0f, 0.0f);
    p().setWaveTablePartials(1, 21, 0.0f, 0.5f);
    int x20 = 0;
    while (wave->getWaveTablePartial(x20) < 20) ++x20;
    ASSERT_EQ(wave->getWaveTablePartial(x20), 20);
    const int waveLeft = static_cast<int>(wave->getViewSize().left);
    const int waveY = static_cast<int>(wave->getViewSize().top) + 40;
    hoverAt(CPoint(waveLeft + x20, waveY));
    EXPECT_EQ(shownName(), "Wave 2 Partials 21: Amp / Phase");
    EXPECT_EQ(shownValue(), "100 %, 0 deg");
    int x21 = x20;
    while (wave->getWaveTablePartial(x21) < 21) ++x21;
    hoverAt(CPoint(waveLeft + x21, waveY));
    EXPECT_EQ(shownName(), "Wave 2 Partials 22: Amp / Phase");
    // Half a turn, as the packed phase keeps it: just under 180 degrees.
    const float phase = p().getWaveTablePartialsPhase(1, 21);
    ASSERT_NEAR(phase, 0.5f, 0.001f);
    EXPECT_EQ(shownValue(), "0 %, " + std::to_string(static_cast<int>(phase * 360.0f)) + " deg");
}

// ------------------------------------------------------------------ drag and drop

TEST_F(EditorIdle, DraggingAKnobOntoTheMatrixFillsTheFirstFreeSlot) {
    TKnob* cutoff = knobOf(tag::FilterFreq);
    const int dest = p().getTagDest(tag::FilterFreq);
    ASSERT_NE(dest, 0);
    // The first two slots are taken.
    p().setModSlotVar(0, false, 0.3f, 1, 1);
    p().setModSlotVar(1, true, 0.7f, 2, 2);
    std::vector<int> dests = slotDestinations();
    const auto freeSlot = std::find(dests.begin(), dests.end(), 0);
    ASSERT_NE(freeSlot, dests.end());
    const int s = static_cast<int>(freeSlot - dests.begin());
    EXPECT_GE(s, 2);

    p().setParameter(tag::FilterFreq, 0.8f);
    idle();
    const uint32_t draws = c().mod.screen->getDrawCount();
    dragOnto(cutoff, c().mod.screen);
    EXPECT_LT(heldValue, 0.5f); // dragged down over the screen
    // The slot: not bypassed, half amount, no source yet.
    dests[static_cast<std::size_t>(s)] = dest;
    EXPECT_EQ(slotDestinations(), dests);
    EXPECT_FLOAT_EQ(p().getParameter(tag::slotAmount(s)), 0.5f);
    EXPECT_FLOAT_EQ(p().getParameter(tag::slotBypass(s)), 0.0f);
    EXPECT_EQ(p().getSteppedValue(tag::slotSource(s)), 0);
    // The knob's parameter has its mouse-down value back.
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 0.8f);
    idle();
    EXPECT_GT(c().mod.screen->getDrawCount(), draws);

    // One drop per gesture: more passes over the matrix assign nothing.
    idle();
    idle();
    EXPECT_EQ(slotDestinations(), dests);

    // A slider drops the same way, into the next free slot.
    const int morphDest = p().getTagDest(16);
    ASSERT_NE(morphDest, 0);
    const auto nextFree = std::find(dests.begin(), dests.end(), 0);
    ASSERT_NE(nextFree, dests.end());
    *nextFree = morphDest;
    dragOnto(c().osc.morph, c().mod.screen);
    EXPECT_EQ(slotDestinations(), dests);
}

TEST_F(EditorIdle, DropsThatAssignNothing) {
    // A parameter that feeds no destination only gets its value back.
    TKnob* unmodulated = nullptr;
    for (TKnob* knob : c().main.knobs)
        if (knob && p().getTagDest(knob->getTag()) == 0) unmodulated = knob;
    ASSERT_NE(unmodulated, nullptr);
    const int t = unmodulated->getTag();
    p().setParameter(t, 0.6f);
    idle();
    const std::vector<int> before = slotDestinations();
    dragOnto(unmodulated, c().mod.screen);
    EXPECT_LT(heldValue, 0.5f);
    EXPECT_EQ(slotDestinations(), before);
    EXPECT_FLOAT_EQ(p().getParameter(t), 0.6f);

    // With all twelve slots in use nothing changes, the value comes back and
    // the gesture is over.
    for (int s = 0; s < tag::ModSlotCount; ++s) p().setModSlotVar(s, false, 0.2f, 1, s + 1);
    const std::vector<int> full = slotDestinations();
    p().setParameter(tag::FilterFreq, 0.8f);
    const float amount = p().getParameter(tag::slotAmount(3));
    idle();
    dragOnto(knobOf(tag::FilterFreq), c().mod.screen);
    EXPECT_EQ(slotDestinations(), full);
    EXPECT_FLOAT_EQ(p().getParameter(tag::slotAmount(3)), amount);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 0.8f);
    const float xyDest = p().getParameter(452);
    pointAt(c().xy.destMenu[0]);
    idle();
    EXPECT_FLOAT_EQ(p().getParameter(452), xyDest);
}

TEST_F(EditorIdle, DraggingAKnobOntoAnXYDestinationMenuSetsThatDestination) {
    TKnob* cutoff = knobOf(tag::FilterFreq);
    const int dest = p().getTagDest(tag::FilterFreq);
    ASSERT_NE(dest, 0);
    p().setParameter(tag::FilterFreq, 0.8f);
    p().setParameter(45, 0.1f);
    idle();
    const float others[3] = {p().getParameter(452), p().getParameter(453), p().getParameter(455)};
    const std::vector<int> slots = slotDestinations();

    // Destination menu X 2 (index 2): tag 454 with amount tag 45. Only the
    // knob's own value goes back to the host; the drop itself is not
    // automation.
    const CPoint menu = c().xy.destMenu[2]->getFrameRect().getCenter();
    clock.advance(1000);
    Testing::mouseDown(frame(), cutoff->getFrameRect().getCenter());
    Testing::mouseMove(frame(), menu);
    idle();
    Testing::mouseUp(frame(), menu);
    const std::size_t automatedBefore = host.count(audioMasterAutomate);
    idle();
    EXPECT_EQ(p().getSteppedValue(454), dest);
    EXPECT_FLOAT_EQ(p().getParameter(454), (static_cast<float>(dest) + 0.1f) / 299.99f);
    EXPECT_FLOAT_EQ(p().getParameter(45), 0.5f);
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), 0.8f);
    EXPECT_FLOAT_EQ(p().getParameter(452), others[0]);
    EXPECT_FLOAT_EQ(p().getParameter(453), others[1]);
    EXPECT_FLOAT_EQ(p().getParameter(455), others[2]);
    EXPECT_EQ(slotDestinations(), slots);
    EXPECT_EQ(host.count(audioMasterAutomate), automatedBefore + 1);
    // The menu names its new destination from the next pass.
    idle();
    EXPECT_EQ(c().xy.destMenu[2]->getString(), DEST_SHORT_STR[static_cast<std::size_t>(dest)]);
}

TEST_F(EditorIdle, WithoutTheDragAndDropPreferenceNothingIsDropped) {
    dispatch(effEditClose);
    plugin.reset();
    saveStringToPrefs("DragAndDrop", "N");
    plugin = std::make_unique<APlugin>(FakeHost::callback);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ui().showMainScreen();
    p().setParameter(tag::FilterFreq, 0.8f);
    idle();
    const std::vector<int> slots = slotDestinations();
    dragOnto(knobOf(tag::FilterFreq), c().mod.screen);
    EXPECT_EQ(slotDestinations(), slots);
    // The drag itself moved the knob's parameter; nothing puts it back.
    EXPECT_LT(p().getParameter(tag::FilterFreq), 0.8f);
}
