// The idle pass: its rate, what the readouts and tooltips say about the
// control under the mouse (or the one the host edits), and what it pulls
// from the engine: faces, locks, modulation rings, the pages it rebuilds.

#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

struct EditorIdle : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    std::unique_ptr<APlugin> plugin;

    void SetUp() override {
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        ASSERT_EQ(dispatch(effEditOpen), 1);
        ui().showMainScreen();
        idle();
    }
    void TearDown() override {
        if (plugin) dispatch(effEditClose);
    }
    VstIntPtr dispatch(VstInt32 opcode) {
        AEffect* e = plugin->getAeffect();
        return e->dispatcher(e, opcode, 0, 0, nullptr, 0.0f);
    }
    APlugin& p() { return *plugin; }
    uEditor& ui() { return *plugin->getUEditor(); }
    const editor_controls::All& c() { return ui().getControls(); }
    CFrame* frame() { return ui().frameForTests(); }
    void idle() {
        clock.advance(40);
        dispatch(effEditIdle);
    }
    void pointAt(const CView* view) {
        Testing::mouseMove(frame(), view->getFrameRect().getCenter(), CButtonState());
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
        {c().freeLFO.speedReadout[0], "Free LFO 1 Speed",
         p().getLFOSpeedStr(63, 2048.0f, 15.0f, true)},
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
    idle();
    EXPECT_EQ(edited->getBackground(), ui().getBitmap(10052));
    EXPECT_TRUE(edited->isDirty());
    idle(); // drawn
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
