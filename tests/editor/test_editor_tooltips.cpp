// Tooltips of the editor, headless, driven as a host drives it: pointer
// moves into the frame and effEditIdle on a hand-driven clock. A knob's
// tooltip shows its parameter after the pointer rests, follows the value,
// and the "Tool-Tips" switch and preference turn it off.

#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "platform/prefs.h"
#include "support/editor_host_fixture.h"

#include <gtest/gtest.h>

using namespace VSTGUI;

namespace {

struct EditorTooltips : EditorHostWithPopups {
    const CTooltipSupport& tips() { return frame()->getTooltipSupport(); }
    CPoint knobCentre(int t) {
        for (TKnob* knob : c().main.knobs)
            if (knob && knob->getTag() == t) return knob->getFrameRect().getCenter();
        ADD_FAILURE() << "no knob of tag " << t;
        return CPoint();
    }
    std::string knobText(int t) {
        return p().getParameterNameStr(t) + " :" + p().getParameterDisplayStr(t);
    }
    // Idle passes (40 ms apart) until the tooltip shows; how many.
    int passesUntilShown(int most = 50) {
        for (int pass = 1; pass <= most; ++pass) {
            idle();
            if (tips().isVisible()) return pass;
        }
        return -1;
    }
    void chooseInControlMenu(const std::string& title) {
        popups.chooseTitlePath({title});
        Testing::click(frame(), c().header.controlMenu->getFrameRect().getCenter());
    }
};

} // namespace

TEST_F(EditorTooltips, KnobShowsItsParameterAfterRestingFollowsItAndTheSwitchTurnsItOff) {
    const CPoint knob = knobCentre(tag::FilterFreq);
    // The controls' text size of the 100 % editor.
    EXPECT_EQ(tips().getFontSize(), 10);

    Testing::mouseMove(frame(), knob, CButtonState());
    EXPECT_EQ(passesUntilShown(), 15); // 600 ms
    EXPECT_EQ(tips().getText(), knobText(tag::FilterFreq));

    // The host changes the value: the shown text follows within two passes.
    const std::string before = tips().getText();
    p().setParameter(tag::FilterFreq, 0.8f);
    idle();
    idle();
    ASSERT_TRUE(tips().isVisible());
    EXPECT_EQ(tips().getText(), knobText(tag::FilterFreq));
    EXPECT_NE(tips().getText(), before);

    // "Tool-Tips: On" switches them off at once: none shows over the knob.
    chooseInControlMenu("Tool-Tips: On");
    ASSERT_EQ(popups.popupCount(), 1);
    Testing::mouseMove(frame(), knob, CButtonState());
    EXPECT_EQ(passesUntilShown(), -1);

    chooseInControlMenu("Tool-Tips: Off");
    Testing::mouseMove(frame(), knob, CButtonState());
    EXPECT_EQ(passesUntilShown(), 15);
}

TEST_F(EditorTooltips, PreferenceOffShowsNoneAndTheTextSizeFollowsTheEditorSize) {
    dispatch(effEditClose);
    plugin.reset();
    saveStringToPrefs("Big200", "Y");
    saveStringToPrefs(REG_TOOL_TIP_STR, "N");
    plugin = std::make_unique<APlugin>(FakeHost::callback);
    ASSERT_EQ(dispatch(effEditOpen), 1);
    ui().showMainScreen();
    EXPECT_EQ(tips().getFontSize(), 18);

    Testing::mouseMove(frame(), knobCentre(tag::FilterFreq), CButtonState());
    EXPECT_EQ(passesUntilShown(), -1);
}
