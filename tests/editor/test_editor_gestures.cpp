// Whole mouse gestures driven through the frame the way a host delivers
// them: a press, idle passes between the moves, the release and a last
// pass. Pages rebuild in those passes (their own requests, a program
// change); the view that holds the mouse must keep it until the release and
// the host must see exactly one begin and end of the edit.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/tmodscreen.h"
#include "controls/tsliders.h"
#include "controls/txyscreen.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/modes.h"
#include "editor/ueditor.h"
#include "support/editor_host_fixture.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace VSTGUI;

namespace {

struct EditorGestures : EditorHostFixture {
    void click(const CView* view) {
        clock.advance(1000);
        Testing::click(frame(), view->getFrameRect().getCenter());
        idle();
    }
    std::vector<VstInt32> edits(VstInt32 opcode) const {
        std::vector<VstInt32> out;
        for (const FakeHost::Call& call : host.calls)
            if (call.opcode == opcode) out.push_back(call.index);
        return out;
    }
};

// One drag on one page.
struct Gesture {
    const char* name;
    // Shows the page and returns the view to press and where (frame coordinates).
    std::function<CView*(EditorGestures&, CPoint&)> show;
    // What the drag edits, read from the plug-in.
    std::function<float(EditorGestures&)> value;
    // The parameter the host sees edited; -1: the drag edits no parameter.
    std::function<int(EditorGestures&)> edited;
    CPoint step; // each move, in pixels, the way that raises the value
};

CPoint centre(const CView* view) {
    return view->getFrameRect().getCenter();
}

TKnob* mainKnob(EditorGestures& t, int tag) {
    for (TKnob* knob : t.c().main.knobs)
        if (knob && knob->getTag() == tag) return knob;
    return nullptr;
}

void showLowerPage(EditorGestures& t, int page) {
    t.click(t.c().main.pageSelect[static_cast<std::size_t>(page)]);
}

void showEnvelopeKnobs(EditorGestures& t, bool knobs) {
    if (t.ui().getEnvelopeShowKnobs() != knobs) t.click(t.c().filter.envelopeDisplay);
}

float param(EditorGestures& t, int tag) {
    return t.p().getParameter(tag);
}

const std::vector<Gesture>& gestures() {
    static const std::vector<Gesture> table = {
        {"AmpEnvelopeHandle",
         [](EditorGestures& t, CPoint& at) -> CView* {
             showEnvelopeKnobs(t, false);
             for (int tag = 4; tag <= 7; ++tag) t.p().setParameter(tag, 0.3f);
             t.idle();
             at = centre(t.c().filter.ampEnvScreen);
             return t.c().filter.ampEnvScreen;
         },
         [](EditorGestures& t) { return param(t, t.c().filter.ampEnvScreen->getSelectedEnvTag()); },
         [](EditorGestures& t) { return t.c().filter.ampEnvScreen->getSelectedEnvTag(); },
         CPoint(3, -3)},
        {"AmpEnvelopeKnob",
         [](EditorGestures& t, CPoint& at) -> CView* {
             showEnvelopeKnobs(t, true);
             t.p().setParameter(5, 0.3f);
             t.idle();
             at = centre(t.c().filter.ampEnvKnobs[1]);
             return t.c().filter.ampEnvKnobs[1];
         },
         [](EditorGestures& t) { return param(t, 5); }, [](EditorGestures&) { return 5; },
         CPoint(0, -5)},
        {"FreeLfoSpeedKnob",
         [](EditorGestures& t, CPoint& at) -> CView* {
             TKnob* knob = t.c().freeLFO.speedKnob[0];
             t.p().setParameter(tag::freeLfoSync(0), 0.0f);
             t.p().setParameter(knob->getTag(), 0.3f);
             t.idle();
             at = centre(knob);
             return knob;
         },
         [](EditorGestures& t) { return param(t, tag::freeLfoSpeed(0)); },
         [](EditorGestures&) { return tag::freeLfoSpeed(0); }, CPoint(0, -5)},
        {"FlangerKnob",
         [](EditorGestures& t, CPoint& at) -> CView* {
             t.p().setParameter(89, 0.3f);
             t.idle();
             at = centre(t.c().fx.flanger[0]);
             return t.c().fx.flanger[0];
         },
         [](EditorGestures& t) { return param(t, 89); }, [](EditorGestures&) { return 89; },
         CPoint(0, -5)},
        {"ArpVelocityCell",
         [](EditorGestures& t, CPoint& at) -> CView* {
             showLowerPage(t, 1);
             TArpScreen* arp = t.c().arp.screen;
             const CRect r = arp->getFrameRect();
             at = r.getCenter();
             for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y)
                 if (arp->getArpRow(y) == tag::RowVelocity) at.y = y;
             const int cell = tag::arpStep(tag::RowVelocity, arp->getArpStep(int(at.x)));
             t.p().setParameter(cell, 0.3f);
             t.idle();
             return arp;
         },
         [](EditorGestures& t) { return param(t, t.c().arp.screen->getSelectedArpTag()); },
         [](EditorGestures& t) { return t.c().arp.screen->getSelectedArpTag(); }, CPoint(0, -3)},
        {"ArpKnob",
         [](EditorGestures& t, CPoint& at) -> CView* {
             showLowerPage(t, 1);
             TKnob* knob = t.c().arp.knobs[0];
             t.p().setParameter(knob->getTag(), 0.3f);
             t.idle();
             at = centre(knob);
             return knob;
         },
         [](EditorGestures& t) { return param(t, t.c().arp.knobs[0]->getTag()); },
         [](EditorGestures& t) { return t.c().arp.knobs[0]->getTag(); }, CPoint(0, -5)},
        {"UserWavePartial",
         [](EditorGestures& t, CPoint& at) -> CView* {
             showLowerPage(t, 0);
             t.click(t.c().wave.view[1]);
             TWaveScreen* wave = t.c().wave.screen;
             const CRect r = wave->getFrameRect();
             at = CPoint(r.left + 20, r.top + r.getHeight() * 0.4);
             return wave;
         },
         [](EditorGestures& t) {
             TWaveScreen* wave = t.c().wave.screen;
             return t.p().getWaveTablePartialsAmp(t.ui().getSelectedWave() == 1 ? 1 : 0,
                                                  wave->getWaveTablePartial(20));
         },
         [](EditorGestures&) { return -1; }, CPoint(0, -3)},
        {"UserWaveShaperKnob",
         [](EditorGestures& t, CPoint& at) -> CView* {
             showLowerPage(t, 0);
             TKnob* knob = t.c().wave.shaperKnobs[0];
             t.p().setParameter(knob->getTag(), 0.3f);
             t.idle();
             at = centre(knob);
             return knob;
         },
         [](EditorGestures& t) { return param(t, t.c().wave.shaperKnobs[0]->getTag()); },
         [](EditorGestures& t) { return t.c().wave.shaperKnobs[0]->getTag(); }, CPoint(0, -5)},
        {"MainKnob",
         [](EditorGestures& t, CPoint& at) -> CView* {
             TKnob* knob = mainKnob(t, tag::FilterFreq);
             t.p().setParameter(tag::FilterFreq, 0.3f);
             t.idle();
             at = centre(knob);
             return knob;
         },
         [](EditorGestures& t) { return param(t, tag::FilterFreq); },
         [](EditorGestures&) { return tag::FilterFreq; }, CPoint(0, -5)},
        {"MorphSlider",
         [](EditorGestures& t, CPoint& at) -> CView* {
             t.p().setParameter(16, 0.3f);
             t.idle();
             at = centre(t.c().osc.morph);
             return t.c().osc.morph;
         },
         [](EditorGestures& t) { return param(t, 16); }, [](EditorGestures&) { return 16; },
         CPoint(0, 3)},
    };
    return table;
}

} // namespace

// Before every move the page's contents are asked to rebuild, as a program
// change does; the page's own requests (a handle of a shown envelope, the
// free LFO's speed) come on top.
TEST_F(EditorGestures, ADragSurvivesTheRebuildsOfItsPage) {
    for (const Gesture& g : gestures()) {
        SCOPED_TRACE(g.name);
        CPoint at;
        CView* view = g.show(*this, at);
        ASSERT_NE(view, nullptr);
        ASSERT_TRUE(view->isAttached());
        host.clearLog();

        clock.advance(1000); // not a double click
        Testing::mouseDown(frame(), at);
        idle();
        const int edited = g.edited(*this);
        float last = g.value(*this);
        for (int move = 1; move <= 6; ++move) {
            ui().updateFrame();
            idle();
            at = at + g.step;
            Testing::mouseMove(frame(), at);
            idle();
            const float now = g.value(*this);
            EXPECT_GT(now, last) << "move " << move;
            last = now;
        }
        Testing::mouseUp(frame(), at);
        idle();
        EXPECT_EQ(frame()->getMouseDownView(), nullptr);
        EXPECT_FALSE(ui().isRebuildRequested());
        EXPECT_TRUE(view->isAttached());
        EXPECT_FLOAT_EQ(g.value(*this), last);

        const std::vector<VstInt32> expected =
            edited < 0 ? std::vector<VstInt32>{} : std::vector<VstInt32>{edited};
        EXPECT_EQ(edits(audioMasterBeginEdit), expected);
        EXPECT_EQ(edits(audioMasterEndEdit), expected);
    }
}

// The editor's own buttons (the logo opens the back screen) carry no
// parameter: the host hears of no edit, even when the click replaces the
// whole screen under the mouse.
TEST_F(EditorGestures, ButtonsWithoutAParameterSendTheHostNoEdit) {
    const std::vector<CView*> buttons = {c().header.managerArea, c().header.backScreenArea};
    for (CView* button : buttons) {
        ASSERT_NE(button, nullptr);
        ui().showMainScreen();
        idle();
        host.clearLog();
        click(button);
        EXPECT_EQ(frame()->getMouseDownView(), nullptr);
        EXPECT_TRUE(edits(audioMasterBeginEdit).empty());
        EXPECT_TRUE(edits(audioMasterEndEdit).empty());
    }
}

// ------------------------------------------------------------------ gestures that end early

// However a drag ends (released, its view removed by a screen switch, the
// pointer grab lost, the window closed, Escape), the host hears one end for
// its one begin, what the drag did stays, the rest of the drag (the button
// still held) changes nothing, and the next drag is heard again.
TEST_F(EditorGestures, EveryWayADragEndsEndsItsEdit) {
    constexpr float kMark = 0.123f;
    auto wave = [this] { return ui().getSelectedWave() == 1 ? 1 : 0; };
    struct Kind {
        const char* name;
        CPoint step;
        bool hostEdit; // the host hears of an edit of the parameter moved
        // Shows the view; gives the press point and the parameter the drag
        // moves (-1: the sample under the stroke).
        std::function<int(CPoint&)> show;
    };
    const std::vector<Kind> kinds = {
        {"Knob", CPoint(0, -5), true,
         [&](CPoint& at) {
             at = centre(mainKnob(*this, tag::FilterFreq));
             return tag::FilterFreq;
         }},
        {"KnobOnASubPage", CPoint(0, -5), true,
         [&](CPoint& at) {
             at = centre(c().fx.flanger[0]);
             return c().fx.flanger[0]->getTag();
         }},
        {"HorizontalSlider", CPoint(3, 0), true,
         [&](CPoint& at) {
             at = centre(c().xy.speed);
             return c().xy.speed->getTag();
         }},
        {"VerticalSlider", CPoint(0, 3), true,
         [&](CPoint& at) {
             at = centre(c().osc.morph);
             return c().osc.morph->getTag();
         }},
        {"MatrixAmount", CPoint(3, 0), true,
         [&](CPoint& at) {
             TModScreen* mod = c().mod.screen;
             const int si = mod->getSizeIndex();
             at = mod->getFrameRect().getTopLeft() +
                  CPoint((MOD_COL_START[si][3] + MOD_COL_END[si][3]) / 2, 2);
             const int slot = mod->getModSlotFromY(static_cast<int>(at.y));
             p().setModSlotVar(slot, false, 0.3f, 0, 0);
             return tag::slotAmount(slot);
         }},
        {"XYRecording", CPoint(3, 0), false,
         [&](CPoint& at) {
             p().setSteppedValue(tag::XYRecordMode, xyrecord::Record);
             p().setParameter(tag::xyPointX(0), kMark);
             at = centre(c().xy.screen) - CPoint(20, 0);
             return int(tag::XYX);
         }},
        {"UserWaveStroke", CPoint(0, -3), false,
         [&](CPoint& at) {
             showLowerPage(*this, 0);
             click(c().wave.view[0]);
             click(c().wave.drawMode[0]);
             p().clearWave(wave());
             at = c().wave.screen->getFrameRect().getTopLeft() + CPoint(0, 20);
             return -1;
         }},
    };
    const std::vector<std::pair<const char*, std::function<void(CPoint)>>> endings = {
        {"Release", [&](CPoint at) { Testing::mouseUp(frame(), at); }},
        {"ScreenSwitch", [&](CPoint) { ui().showBackScreen(false); }},
        {"PointerGrabLost", [&](CPoint) { frame()->platformOnMouseCancel(); }},
        {"WindowClosed",
         [&](CPoint) {
             dispatch(effEditClose);
             ASSERT_EQ(dispatch(effEditOpen), 1);
         }},
        {"Escape",
         [&](CPoint) {
             VstKeyCode escape{0, VKEY_ESCAPE, 0};
             EXPECT_TRUE(Testing::keyDown(frame(), escape));
         }},
    };
    for (const auto& [ending, end] : endings) {
        for (const Kind& kind : kinds) {
            SCOPED_TRACE(std::string(ending) + " " + kind.name);
            for (int drag = 0; drag < 2; ++drag) {
                ui().showMainScreen();
                idle();
                CPoint at;
                const int moved = kind.show(at);
                if (moved >= 0) p().setParameter(moved, 0.3f);
                auto value = [&] {
                    return moved >= 0 ? param(*this, moved) : p().getWaveTableValue(wave(), 0);
                };
                const auto once =
                    kind.hostEdit ? std::vector<VstInt32>{moved} : std::vector<VstInt32>{};
                idle();
                host.clearLog();
                clock.advance(1000); // not a double click
                Testing::mouseDown(frame(), at);
                const float first = value();
                for (int move = 0; move < 3; ++move) {
                    at = at + kind.step;
                    Testing::mouseMove(frame(), at);
                    idle();
                }
                const float last = value();
                EXPECT_GT(last, first);
                if (drag == 0) {
                    end(at);
                    if (ending != std::string("WindowClosed")) idle();
                    // Then the button is let go somewhere.
                    Testing::mouseMove(frame(), at + kind.step);
                    Testing::mouseUp(frame(), at + kind.step);
                } else {
                    Testing::mouseUp(frame(), at);
                }
                idle();
                EXPECT_EQ(frame()->getMouseDownView(), nullptr);
                EXPECT_EQ(edits(audioMasterBeginEdit), once);
                EXPECT_EQ(edits(audioMasterEndEdit), once);
                if (moved < 0) {
                    // The stroke was analysed into partials, as on a release.
                    float sum = 0.0f;
                    for (int k = 0; k < 128; ++k) sum += p().getWaveTablePartialsAmp(wave(), k);
                    EXPECT_GT(sum, 0.0f);
                } else {
                    EXPECT_FLOAT_EQ(value(), last);
                }
                // A recorded take has ended and become the path.
                if (moved == tag::XYX) {
                    EXPECT_NE(param(*this, tag::xyPointX(0)), kMark);
                }
            }
        }
    }
    p().setSteppedValue(tag::XYRecordMode, xyrecord::Live);
}
