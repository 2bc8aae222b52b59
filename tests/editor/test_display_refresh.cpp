// Displays that must follow what the plug-in holds: the screen rebuild after
// a preset once a typed entry started from a control has ended, and the user
// wave's pictures after the original-preset and edited-preset buttons.

#include "controls/envarp.h"
#include "controls/tbuttons.h"
#include "controls/tmodscreen.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/txyscreen.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "support/editor_host_fixture.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <complex>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

using namespace VSTGUI;

namespace {

struct DisplayRefresh : EditorHostFixture {
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};
    int presetStep = +1;

    void click(CPoint at, CButtonState buttons) {
        clock.advance(1000); // never a double click
        Testing::click(frame(), at, buttons);
        idle();
    }
    void click(const CView* view) { click(view->getFrameRect().getCenter(), kLButton); }
    // The frame's pixels in the given places, row by row.
    std::vector<CColor> pixelsIn(std::initializer_list<CRect> places) {
        std::vector<CColor> out;
        for (const CRect& r : places)
            for (int y = static_cast<int>(r.top); y < r.bottom; ++y)
                for (int x = static_cast<int>(r.left); x < r.right; ++x)
                    out.push_back(Testing::pixelAt(frame(), x, y));
        return out;
    }
    // The audio thread's blocks until nothing is pending (preset, screen
    // update, table rebuild).
    void render() {
        std::array<float, 256> in{}, left{}, right{};
        float* inputs[2] = {in.data(), in.data()};
        float* outputs[2] = {left.data(), right.data()};
        auto busy = [&] {
            return p().getIsSettingPreset() || p().tableRebuildRunning() ||
                   p().waves.rebuildRequested.load();
        };
        for (int guard = 0; guard < 256 && busy(); ++guard)
            p().processReplacing(inputs, outputs, 256);
        ASSERT_FALSE(busy());
    }
    // The next (or previous) preset of the list, applied by the audio thread.
    void stepPreset() {
        clock.advance(1000); // past the stepping interval
        ui().changeProgramDelta(presetStep, false);
        presetStep = -presetStep;
        render();
    }
    std::string programName() {
        char name[64] = {};
        p().getProgramName(name);
        return name;
    }
};

// A control that starts a typed entry: where to click it with which buttons
// (its page shown first), and how many boxes the click opens.
struct EntryControl {
    const char* name;
    std::function<CPoint(DisplayRefresh&)> show;
    CButtonState buttons;
    std::size_t boxes;
};

CPoint arpVelocityCell(DisplayRefresh& t) {
    t.click(t.c().main.pageSelect[1]);
    TArpScreen* arp = t.c().arp.screen;
    const CRect r = arp->getFrameRect();
    CPoint at = r.getCenter();
    for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y)
        if (arp->getArpRow(y) == tag::RowVelocity) at.y = y;
    return at;
}

// Column c of the matrix row that shows slot 0 (with a destination) or slot
// 1 (without one).
CPoint modCell(DisplayRefresh& t, int column, bool withDestination) {
    t.p().setModSlotVar(0, false, 0.5f, 3, 12);
    t.p().setModSlotVar(1, false, 0.5f, 0, 0);
    t.idle();
    TModScreen* mod = t.c().mod.screen;
    const CRect r = mod->getFrameRect();
    const int slot = withDestination ? 0 : 1;
    CPoint at(r.left, r.top);
    for (int y = static_cast<int>(r.top); y < static_cast<int>(r.bottom); ++y)
        if (mod->getModSlotFromY(y) == slot) {
            at.y = y + 2;
            break;
        }
    // Inside the column, away from the boundary pixels (which count as the
    // amount column).
    auto inside = [&](int x) {
        for (int d = -3; d <= 3; ++d)
            if (mod->getModCol(x + d) != column) return false;
        return true;
    };
    for (int x = static_cast<int>(r.left) + 4; x < static_cast<int>(r.right); ++x)
        if (inside(x)) {
            at.x = x;
            break;
        }
    return at;
}

// The speed readout of a free LFO, its speed free-running.
CPoint lfoSpeedReadout(DisplayRefresh& t, int lfo) {
    t.p().setParameter(tag::freeLfoSync(lfo), 0.0f);
    t.click(t.c().freeLFO.select[lfo]);
    return t.c().freeLFO.speedReadout[lfo]->getFrameRect().getCenter();
}

CPoint envelope(DisplayRefresh& t, bool amp) {
    if (t.ui().getEnvelopeShowKnobs()) t.click(t.c().filter.envelopeDisplay);
    const TEnvScreen* screen = amp ? t.c().filter.ampEnvScreen : t.c().filter.filterEnvScreen;
    return screen->getFrameRect().getCenter();
}

const std::vector<EntryControl>& entryControls() {
    const CButtonState ctrlClick(kLButton | kControl);
    static const std::vector<EntryControl> table = {
        {"free LFO 1 speed readout", [](DisplayRefresh& t) { return lfoSpeedReadout(t, 0); },
         kLButton, 1},
        {"free LFO 2 speed readout", [](DisplayRefresh& t) { return lfoSpeedReadout(t, 1); },
         kLButton, 1},
        {"arpeggiator velocity cell", arpVelocityCell, ctrlClick, 1},
        {"amp envelope screen", [](DisplayRefresh& t) { return envelope(t, true); }, ctrlClick, 1},
        {"filter envelope screen", [](DisplayRefresh& t) { return envelope(t, false); }, ctrlClick,
         1},
        {"matrix source", [](DisplayRefresh& t) { return modCell(t, 1, true); }, ctrlClick, 1},
        {"matrix destination", [](DisplayRefresh& t) { return modCell(t, 2, true); }, ctrlClick, 1},
        {"matrix amount", [](DisplayRefresh& t) { return modCell(t, 3, true); }, ctrlClick, 1},
        {"matrix amount without destination (no box)",
         [](DisplayRefresh& t) { return modCell(t, 3, false); }, ctrlClick, 0},
        {"XY pad (X, then Y)",
         [](DisplayRefresh& t) {
             t.p().setSteppedValue(tag::XYRecordMode, 0); // Live
             t.idle();
             return t.c().xy.screen->getFrameRect().getCenter();
         },
         ctrlClick, 2},
    };
    return table;
}

// A harmonic's amplitude in one period.
double harmonic(const std::vector<double>& wave, int k) {
    constexpr double kTwoPi = 6.283185307179586;
    std::complex<double> sum = 0.0;
    const double n = static_cast<double>(wave.size());
    for (std::size_t i = 0; i < wave.size(); ++i)
        sum += wave[i] * std::polar(1.0, -kTwoPi * k * static_cast<double>(i) / n);
    return 2.0 * std::abs(sum) / n;
}

} // namespace

// However a typed entry started from a control ends (a number accepted, the
// box cancelled, an answer without a number refused, no box at all), the
// preset chosen next rebuilds the screen: the header names the new preset.
TEST_F(DisplayRefresh, ATypedEntryFromAControlLeavesThePresetRebuildToHappen) {
    ASSERT_GE(p().presetCount, 2);
    const std::optional<std::string> endings[] = {"50", std::nullopt, "abc"};
    for (const EntryControl& control : entryControls()) {
        for (const auto& answer : endings) {
            SCOPED_TRACE(std::string(control.name) + ", answer " + answer.value_or("cancelled"));
            const CPoint at = control.show(*this);
            dialogs.textAnswers.clear();
            for (std::size_t b = 0; b < control.boxes; ++b) {
                if (answer)
                    dialogs.pushText(*answer);
                else
                    dialogs.pushTextCancel();
            }
            const std::size_t before = dialogs.textRequests.size();
            click(at, control.buttons);
            ASSERT_EQ(dialogs.textRequests.size(), before + control.boxes);
            EXPECT_FALSE(p().core.popupOpen);

            const std::string shownBefore = c().header.presetMenu->getString();
            stepPreset();
            EXPECT_NE(programName(), shownBefore);
            EXPECT_TRUE(ui().isRebuildRequested());
            idle();
            EXPECT_EQ(c().header.presetMenu->getString(), programName());
        }
    }
}

// Partials drawn into user wave 1 (which both oscillator waves play), then
// the original-preset and edited-preset buttons: the wave view and the side
// panel (the wave's samples), the shaper preview and the oscillator's
// frames all hold the drawn spectrum again, as the partial bars do.
TEST_F(DisplayRefresh, UserWavePicturesFollowTheOriginalAndEditedPresetButtons) {
    click(c().main.pageSelect[0]);
    click(c().wave.select[0]);
    click(c().wave.view[1]);
    ASSERT_EQ(ui().getSelectedWave(), 0);
    p().setSteppedValue(tag::OscWaveA, kFirstUserWave);
    p().setSteppedValue(tag::OscWaveB, kFirstUserWave);
    p().setSteppedValue(tag::OscMode, 0);
    const std::array<float, 8> drawn = {1.0f, 0.0f, 0.5f, 0.0f, 0.25f, 0.0f, 0.0f, 0.125f};
    for (int j = 0; j < kUserWavePartials; ++j)
        p().setWaveTablePartials(0, j, j < 8 ? drawn[j] : 0.0f, 0.75f);
    p().convertWaveTablePartialsToWaveTable(0);
    idle();
    std::array<float, 8> stored{}; // the drawn amplitudes in their 10-bit steps
    for (int j = 0; j < 8; ++j) stored[j] = p().getWaveTablePartialsAmp(0, j);

    click(c().header.originalPreset);
    ASSERT_FALSE(p().getEditChanged());
    ASSERT_NE(p().getWaveTablePartialsAmp(0, 2), stored[2]) << "the loaded preset has another wave";
    click(c().header.editedPreset);
    ASSERT_TRUE(p().getEditChanged());
    render();
    idle();

    std::vector<double> shown(kWaveSize), preview(kWaveSize), frame(kWaveSize);
    for (int i = 0; i < kWaveSize; ++i) {
        shown[i] = p().getWaveTableValue(0, i);
        preview[i] = p().getPreviewWaveTableValue(i);
        ASSERT_EQ(shown[i], p().waves.userWaveTable[0][i]) << i;
    }
    const double fundamental = harmonic(shown, 1);
    ASSERT_GT(fundamental, 0.1);
    for (int j = 0; j < 8; ++j) {
        SCOPED_TRACE("partial " + std::to_string(j));
        ASSERT_EQ(p().getWaveTablePartialsAmp(0, j), stored[j]); // the bars
        const double expected = stored[j] / stored[0];
        EXPECT_NEAR(harmonic(shown, j + 1) / fundamental, expected, 0.01);
        EXPECT_NEAR(harmonic(preview, j + 1) / harmonic(preview, 1), expected, 0.01);
        // The first frame of the oscillator's table, as a spectrum (bin k is
        // harmonic k).
        const double re = p().waves.frameSpectrumRe[0][j + 1];
        const double im = p().waves.frameSpectrumIm[0][j + 1];
        const double re1 = p().waves.frameSpectrumRe[0][1];
        const double im1 = p().waves.frameSpectrumIm[0][1];
        EXPECT_NEAR(std::hypot(re, im) / std::hypot(re1, im1), expected, 0.01);
    }
}

// ------------------------------------------------------------------ the user wave's preset

// However the selected user wave's preset changes ("+" and "-" zones of its
// menu, the wheel, from a factory wave, Sine or None), the next idle passes
// show it at once: the menu names it, and the wave screen (samples or
// partials) draws what selecting the wave again draws.
TEST_F(DisplayRefresh, EveryWayTheWavePresetChangesRefreshesNameAndPicturesTogether) {
    click(c().main.pageSelect[0]);
    TOptionMenu* menu = c().wave.presetMenu;
    auto pixels = [&] { return pixelsIn({c().wave.screen->getFrameRect(), menu->getFrameRect()}); };
    const CRect r = menu->getFrameRect();
    const struct {
        int start; // factory wave; -1: cleared ("None")
        std::function<void()> change;
    } ways[] = {{0, [&] { click(CPoint(r.right - 2, r.getCenter().y), kLButton); }},
                {-1, [&] { click(CPoint(r.right - 2, r.getCenter().y), kLButton); }},
                {5, [&] { click(CPoint(r.left + 2, r.getCenter().y), kLButton); }},
                {0, [&] { click(CPoint(r.left + 2, r.getCenter().y), kLButton); }},
                {3, [&] { Testing::wheel(frame(), r.getCenter(), -1.0f); }},
                {3, [&] { Testing::wheel(frame(), r.getCenter(), 1.0f); }}};
    for (std::size_t view = 0; view < 2; ++view)
        for (const auto& way : ways) {
            SCOPED_TRACE("from " + std::to_string(way.start) + ", way " +
                         std::to_string(&way - ways) + ", view " + std::to_string(view));
            way.start < 0 ? p().clearWave(0) : p().loadWavePreset(0, way.start);
            click(c().wave.view[view]);
            click(c().wave.select[0]); // the page shown afresh
            const std::string before = p().getWavePresetStr(0);
            way.change();
            idle();
            idle();
            ASSERT_NE(p().getWavePresetStr(0), before);
            EXPECT_EQ(menu->getString(), p().getWavePresetStr(0));
            const std::vector<CColor> shown = pixels();
            ui().showMainScreen();
            idle();
            frame()->redrawAll();
            EXPECT_TRUE(shown == pixels());
        }
}

// Parameters that a graphic screen draws rather than a control of their own,
// written by the host or MIDI from another thread: the next idle pass shows
// them as a full redraw does, whichever slot, path point or cell it was.
TEST_F(DisplayRefresh, ScreensShowEveryWriteFromAnyThreadAtTheNextIdle) {
    click(c().main.pageSelect[1]); // the arpeggiator page: matrix, pad, grid
    enum Screen { Matrix, Pad, Grid };
    const struct {
        const char* name;
        Screen screen;
        std::vector<std::pair<int, float>> writes;
    } rows[] = {
        {"slot 1 source", Matrix, {{tag::slotSource(0), 0.3f}}},
        {"slot 4 destination", Matrix, {{tag::slotDest(3), 0.1f}}},
        {"slot 8 amount", Matrix, {{tag::slotAmount(7), 0.9f}}},
        {"slot 2 bypass", Matrix, {{tag::slotSource(1), 0.5f}, {tag::slotBypass(1), 1.0f}}},
        {"slot 6 whole",
         Matrix,
         {{tag::slotSource(5), 0.2f}, {tag::slotDest(5), 0.4f}, {tag::slotAmount(5), 0.2f}}},
        {"pad position", Pad, {{tag::XYX, 0.8f}, {tag::XYY, 0.2f}}},
        {"pad replaying with its path shown",
         Pad,
         {{tag::XYEditOn, 1.0f}, {tag::XYRecordMode, 1.0f}}},
        {"pad path",
         Pad,
         {{tag::XYLengthSec, 0.001f},
          {tag::xyPointX(0), 0.1f},
          {tag::xyPointY(0), 0.1f},
          {tag::xyPointX(64), 0.9f},
          {tag::xyPointY(64), 0.8f}}},
        {"arp velocity cell", Grid, {{tag::arpStep(tag::RowVelocity, 2), 0.1f}}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const CView* screens[] = {c().mod.screen, c().xy.screen, c().arp.screen};
        const CRect r = screens[row.screen]->getFrameRect();
        auto pixels = [&] { return pixelsIn({r}); };
        idle();
        const std::vector<CColor> before = pixels();
        std::thread writer([&] {
            for (const auto& [t, v] : row.writes) p().setParameter(t, v);
        });
        writer.join();
        idle();
        const std::vector<CColor> shown = pixels();
        frame()->redrawAll();
        const std::vector<CColor> full = pixels();
        EXPECT_FALSE(before == full) << "the writes change the picture";
        std::size_t differing = 0;
        for (std::size_t i = 0; i < shown.size(); ++i)
            if (!(shown[i] == full[i])) ++differing;
        EXPECT_EQ(differing, 0u) << "pixels of " << shown.size() << " still stale";
    }
}
