// The XY pad menu: the titles that show state, the pad's display and
// grouping options, the section commands, path shapes and transformations
// (checked point by point), typed positions, MIDI latching of the two axes,
// undo and XY preset files.

#include "controls/tbuttons.h"
#include "controls/txyscreen.h"
#include "core/section_tags.h"
#include "modxy_menu_fixture.h"
#include "platform/prefs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

using namespace VSTGUI;

namespace {

using section_tags::XY_SECTION_TAGS;

struct XYMenu : ModXYMenuFixture {
    TXYScreen* pad() { return ui().getControls().xy.screen; }
    void choose(std::vector<std::string> path) {
        popups.chooseTitlePath(std::move(path));
        ui().showXYMenu();
    }
    void shape(const std::string& title) { choose({"Presets", title}); }

    // Path point i as pad coordinates -1..1.
    float px(int i) { return 2.0f * value(tag::xyPointX(i)) - 1.0f; }
    float py(int i) { return 2.0f * value(tag::xyPointY(i)) - 1.0f; }
    std::vector<float> path() {
        std::vector<float> out;
        for (int i = 0; i < 128; ++i) {
            out.push_back(px(i));
            out.push_back(py(i));
        }
        return out;
    }
    // A path whose every point is different: a slow curve inside the pad.
    void curvedPath() {
        for (int i = 0; i < 128; ++i)
            plugin->setXY(i, -0.9f + 0.014f * static_cast<float>(i),
                          0.6f * std::sin(0.05f * static_cast<float>(i)));
    }
    void expectPathNear(const std::vector<float>& expected, float tolerance = 1e-5f) {
        const auto now = path();
        for (std::size_t k = 0; k < now.size(); ++k)
            ASSERT_NEAR(now[k], expected[k], tolerance)
                << "point " << k / 2 << (k % 2 ? " y" : " x");
    }
};

} // namespace

TEST_F(XYMenu, EntriesShowTheStateOfTheirSwitches) {
    plugin->setOff(tag::XYEditOn);
    setMidiCC(5, tag::XYMidiX);
    setMidiCC(9, tag::XYMidiX);
    setMidiCC(3, tag::XYMidiY);
    popups.dismiss();
    ui().showXYMenu();
    ASSERT_EQ(popups.popupCount(), 1);
    EXPECT_EQ(titles(rootLines()), (std::vector<std::string>{"XY Command Menu",
                                                             "Info",
                                                             "-",
                                                             "Set Oscillator / Output Display: On",
                                                             "Set Oscillator / Output Display: Off",
                                                             "Set To Oscillator Display",
                                                             "Set To Output Display",
                                                             "-",
                                                             "Edit Positions : Off",
                                                             "Edit Grouping Single <<<",
                                                             "Edit Grouping Narrow",
                                                             "Edit Grouping Wide",
                                                             "-",
                                                             "Reset All XY Settings",
                                                             "Set XY to Original Settings",
                                                             "Reset XY Position",
                                                             "Reset XY Modulations",
                                                             "Clear XY Modulations",
                                                             "Reset XY Modulation Amounts",
                                                             "Copy XY",
                                                             "Paste XY",
                                                             "Load XY Preset",
                                                             "Save XY Preset",
                                                             "-",
                                                             "Presets",
                                                             "Reverse",
                                                             "Flip Horizontally",
                                                             "Flip Vertically",
                                                             "Rotate",
                                                             "Snap to grid",
                                                             "Smooth",
                                                             "Scale X and Y",
                                                             "Set X",
                                                             "Set Y",
                                                             "Set X and Y",
                                                             "Undo",
                                                             "-",
                                                             "X Latched to CC 9, Y Latched to CC 3",
                                                             "-",
                                                             "Latch X To MIDI",
                                                             "Latch Y To MIDI",
                                                             "Set X MIDI CC",
                                                             "Set Y MIDI CC",
                                                             "Unlatch X/Y MIDI"}));
    EXPECT_FALSE(rootLines()[0].enabled);
    EXPECT_FALSE(findLine(rootLines(), "X Latched to CC 9, Y Latched to CC 3")->enabled);
    ASSERT_EQ(submenus().size(), 2u);
    EXPECT_EQ(submenus()[0].size(), 6u); // the live-mode reset is the double click
    for (const Line& l : submenus()[0]) EXPECT_FALSE(l.enabled);
    EXPECT_EQ(titles(submenus()[1]),
              (std::vector<std::string>{"Set to Circle", "Set to Square", "Set to Horizontal Line",
                                        "Set to Vertical Line", "Set to Diagonal Line",
                                        "Set to Spiral In", "Set to Spiral Out"}));
    EXPECT_FALSE(plugin->core.popupOpen);

    // "Edit Positions" flips the switch its title shows.
    choose({"Edit Positions : Off"});
    EXPECT_TRUE(plugin->getOnOff(tag::XYEditOn));
    popups.dismiss();
    ui().showXYMenu();
    EXPECT_TRUE(hasTitle(rootLines(), "Edit Positions : On"));
    EXPECT_TRUE(hasTitle(rootLines(), "X Latched to CC 9, Y Latched to CC 3"));
    choose({"Edit Positions : On"});
    EXPECT_FALSE(plugin->getOnOff(tag::XYEditOn));

    setMidiCC(5, 0);
    setMidiCC(9, 0);
    setMidiCC(3, 0);
    popups.dismiss();
    ui().showXYMenu();
    EXPECT_TRUE(hasTitle(rootLines(), "X Not Latched, Y Not Latched"));
}

TEST_F(XYMenu, DisplayAndGroupingOptionsReachThePad) {
    ASSERT_NE(pad(), nullptr);
    choose({"Set Oscillator / Output Display: Off"});
    EXPECT_FALSE(pad()->getOscVisible());
    EXPECT_FALSE(uEditor::getRegValue(REG_DRAW_OSC_STR, true));
    EXPECT_EQ(ui().getControls().xy.drawOsc->getValue(), 0.0f);
    choose({"Set Oscillator / Output Display: On"});
    EXPECT_TRUE(pad()->getOscVisible());
    EXPECT_TRUE(uEditor::getRegValue(REG_DRAW_OSC_STR, false));
    EXPECT_EQ(ui().getControls().xy.drawOsc->getValue(), 1.0f);
    ui().toggleDrawOsc();
    EXPECT_FALSE(pad()->getOscVisible());
    EXPECT_FALSE(uEditor::getRegValue(REG_DRAW_OSC_STR, true));

    choose({"Set To Output Display"});
    EXPECT_TRUE(pad()->getOscMode());
    EXPECT_TRUE(uEditor::getRegValue(REG_OSC_OUT_STR, false));
    choose({"Set To Oscillator Display"});
    EXPECT_FALSE(pad()->getOscMode());
    EXPECT_FALSE(uEditor::getRegValue(REG_OSC_OUT_STR, true));

    // Grouping: the marked entry changes nothing, another one switches.
    choose({"Edit Grouping Single <<<"});
    EXPECT_EQ(pad()->getGrouping(), 0);
    choose({"Edit Grouping Wide"});
    EXPECT_EQ(pad()->getGrouping(), 2);
    EXPECT_EQ(pad()->getGroupSize(), 8);
    EXPECT_TRUE(hasTitle(popups.history().back().lines, "Edit Grouping Single <<<"));
    choose({"Edit Grouping Wide <<<"});
    EXPECT_EQ(pad()->getGrouping(), 2);
    EXPECT_TRUE(hasTitle(rootLines(), "Edit Grouping Wide <<<"));
    EXPECT_TRUE(hasTitle(rootLines(), "Edit Grouping Single"));
    choose({"Edit Grouping Narrow"});
    EXPECT_EQ(pad()->getGroupSize(), 3);
}

TEST_F(XYMenu, SectionCommands) {
    for (int t = 43; t <= 48; ++t) plugin->setParameter(t, 0.9f);
    for (int t = 452; t <= 455; ++t) plugin->setSteppedValue(t, 20);
    choose({"Reset XY Modulation Amounts"});
    for (int t = 43; t <= 48; ++t) EXPECT_FLOAT_EQ(value(t), plugin->getDefaultValue(t)) << t;
    EXPECT_EQ(plugin->getSteppedValue(452), 20);

    choose({"Clear XY Modulations"});
    for (int t = 452; t <= 455; ++t) EXPECT_EQ(value(t), 0.0f) << t;

    for (int t = 43; t <= 48; ++t) plugin->setParameter(t, 0.9f);
    for (int t = 452; t <= 455; ++t) plugin->setSteppedValue(t, 20);
    choose({"Reset XY Modulations"});
    for (int t : {43, 44, 45, 46, 47, 48, 452, 453, 454, 455})
        EXPECT_FLOAT_EQ(value(t), plugin->getDefaultValue(t)) << t;

    plugin->setXY(0.1f, 0.8f);
    choose({"Reset XY Position"});
    EXPECT_FLOAT_EQ(value(tag::XYX), 0.5f);
    EXPECT_FLOAT_EQ(value(tag::XYY), 0.5f);

    curvedPath();
    plugin->setParameter(tag::XYSpeed, 0.77f);
    choose({"Reset All XY Settings"});
    for (int t : XY_SECTION_TAGS) EXPECT_FLOAT_EQ(value(t), plugin->getDefaultValue(t)) << t;

    curvedPath();
    choose({"Set XY to Original Settings"});
    for (int t : XY_SECTION_TAGS)
        EXPECT_FLOAT_EQ(value(t), std::clamp(plugin->getOrigValue(t), 0.0f, 1.0f)) << t;
}

TEST_F(XYMenu, CopyPasteAndUndo) {
    // Nothing copied, nothing to undo: nothing happens.
    curvedPath();
    const auto curved = values(XY_SECTION_TAGS);
    choose({"Paste XY"});
    EXPECT_EQ(values(XY_SECTION_TAGS), curved);
    EXPECT_FALSE(plugin->engine.requests.reset.load());

    choose({"Copy XY"});
    shape("Set to Square");
    EXPECT_NE(values(XY_SECTION_TAGS), curved);
    host.clearLog();
    choose({"Undo"}); // back to before the shape, quietly
    EXPECT_EQ(values(XY_SECTION_TAGS), curved);
    EXPECT_EQ(host.count(audioMasterAutomate), 0u);
    choose({"Undo"});
    EXPECT_EQ(values(XY_SECTION_TAGS), curved);

    shape("Set to Circle");
    plugin->engine.requests.reset.store(false);
    choose({"Paste XY"});
    EXPECT_EQ(values(XY_SECTION_TAGS), curved);
    EXPECT_TRUE(plugin->engine.requests.reset.load()); // the engine restarts at its next tick

    // A dismissed menu retakes the snapshot and changes nothing.
    plugin->setXY(3, 0.25f, 0.25f);
    const auto moved = values(XY_SECTION_TAGS);
    popups.dismiss();
    ui().showXYMenu();
    EXPECT_EQ(values(XY_SECTION_TAGS), moved);
    plugin->setXY(3, -0.5f, -0.5f);
    choose({"Undo"});
    EXPECT_EQ(values(XY_SECTION_TAGS), moved);

    // The pad's own snapshot is the same one.
    ui().setXYUndo();
    plugin->setXY(0.2f, 0.2f);
    choose({"Undo"});
    EXPECT_EQ(values(XY_SECTION_TAGS), moved);
}

TEST_F(XYMenu, ShapesPutTheirPointsInPlace) {
    plugin->setParameter(tag::XYLengthSec, 0.0f);
    plugin->setParameter(tag::XYLengthMs, 0.0f);
    shape("Set to Square");
    EXPECT_EQ(std::make_pair(px(0), py(0)), std::make_pair(-1.0f, -1.0f));
    EXPECT_EQ(std::make_pair(px(32), py(32)), std::make_pair(-1.0f, 1.0f));
    EXPECT_EQ(std::make_pair(px(64), py(64)), std::make_pair(1.0f, 1.0f));
    EXPECT_EQ(std::make_pair(px(96), py(96)), std::make_pair(1.0f, -1.0f));
    EXPECT_FLOAT_EQ(py(16), 0.0f); // half way up the left edge
    // A shape drawn where no path was recorded gets a length.
    EXPECT_FLOAT_EQ(value(tag::XYLengthSec), 0.004f);
    EXPECT_FLOAT_EQ(value(tag::XYLengthMs), 0.0f);

    // An existing path keeps its length.
    plugin->setParameter(tag::XYLengthSec, 0.3f);
    plugin->setParameter(tag::XYLengthMs, 0.6f);
    shape("Set to Circle");
    EXPECT_FLOAT_EQ(value(tag::XYLengthSec), 0.3f);
    EXPECT_FLOAT_EQ(value(tag::XYLengthMs), 0.6f);
    EXPECT_NEAR(value(tag::xyPointX(1)), 0.5f, 1e-6f); // top centre
    EXPECT_NEAR(value(tag::xyPointY(1)), 1.0f, 1e-6f);
    EXPECT_LT(px(0), 0.0f); // just before it, to the left
    EXPECT_GT(py(0), 0.99f);
    EXPECT_NEAR(px(33), 1.0f, 1e-3f); // a quarter turn clockwise: right
    for (int i = 0; i < 128; ++i) EXPECT_NEAR(std::hypot(px(i), py(i)), 1.0f, 1e-4f) << i;

    shape("Set to Horizontal Line");
    for (int i : {0, 50, 127}) {
        EXPECT_NEAR(px(i), 2.0f * static_cast<float>(i) / 127.0f - 1.0f, 1e-6f);
        EXPECT_FLOAT_EQ(py(i), 0.0f);
    }
    shape("Set to Vertical Line");
    EXPECT_FLOAT_EQ(px(10), 0.0f);
    EXPECT_FLOAT_EQ(py(0), -1.0f);
    EXPECT_FLOAT_EQ(py(127), 1.0f);
}

TEST_F(XYMenu, ShapesThatAskFirst) {
    shape("Set to Vertical Line");
    const auto vertical = path();

    // The diagonal asks for an angle; 45 runs corner to corner.
    dialogs.pushText("45");
    shape("Set to Diagonal Line");
    ASSERT_EQ(dialogs.textRequests.size(), 1u);
    EXPECT_EQ(dialogs.textRequests[0].prompt, "Angle to rotate (0 to 360 deg)");
    EXPECT_EQ(dialogs.textRequests[0].title, "XY Diagonal Line");
    EXPECT_EQ(dialogs.textRequests[0].initialText, "45");
    EXPECT_NEAR(px(0), -1.0f, 1e-5f);
    EXPECT_NEAR(py(0), -1.0f, 1e-5f);
    EXPECT_NEAR(px(127), 1.0f, 1e-5f);
    EXPECT_NEAR(py(127), 1.0f, 1e-5f);
    // Other angles reach the nearer pair of edges; only the number counts.
    dialogs.pushText("deg 30");
    shape("Set to Diagonal Line");
    EXPECT_NEAR(px(127), 1.0f, 1e-5f);
    EXPECT_NEAR(py(127), std::tan(30.0f * 3.14159f / 180.0f), 1e-4f);

    // A cancelled question draws nothing.
    shape("Set to Vertical Line");
    dialogs.pushTextCancel();
    shape("Set to Diagonal Line");
    dialogs.pushTextCancel();
    shape("Set to Spiral In");
    expectPathNear(vertical, 0.0f);

    // Spirals: inwards from the top centre, outwards from the centre.
    dialogs.pushText("4.0");
    shape("Set to Spiral In");
    EXPECT_EQ(dialogs.textRequests.back().prompt, "Turns of Spiral");
    EXPECT_EQ(dialogs.textRequests.back().title, "XY Spiral");
    EXPECT_EQ(dialogs.textRequests.back().initialText, "4.0");
    EXPECT_NEAR(px(0), 0.0f, 1e-6f);
    EXPECT_NEAR(py(0), 1.0f, 1e-6f);
    EXPECT_NEAR(std::hypot(px(64), py(64)), 1.0f - 64.0f / 127.9999f, 1e-4f);
    EXPECT_NEAR(std::hypot(px(127), py(127)), 1.0f - 127.0f / 127.9999f, 1e-4f);
    dialogs.pushText("0.5");
    shape("Set to Spiral Out");
    EXPECT_NEAR(px(0), 0.0f, 1e-6f);
    EXPECT_NEAR(py(0), 0.0f, 1e-6f);
    // Half a turn over the path: the last point is near the bottom edge.
    EXPECT_NEAR(px(127), 0.0f, 0.03f);
    EXPECT_NEAR(py(127), -1.0f, 0.01f);
}

TEST_F(XYMenu, ReverseFollowsThePointQuantisation) {
    curvedPath();
    plugin->setSteppedValue(tag::XYPointQuant, 0);
    auto old = path();
    plugin->engine.requests.reset.store(false);
    choose({"Reverse"});
    EXPECT_TRUE(plugin->engine.requests.reset.load());
    for (int i = 0; i < 128; ++i) {
        ASSERT_NEAR(px(i), old[2 * (127 - i)], 1e-5f) << i;
        ASSERT_NEAR(py(i), old[2 * (127 - i) + 1], 1e-5f) << i;
    }

    // Two editable points (0 and 64): straight from the old 64 to the old 0,
    // then back towards the old 64.
    curvedPath();
    plugin->setSteppedValue(tag::XYPointQuant, 6);
    ASSERT_EQ(plugin->getXYPointQuant(), 6);
    old = path();
    const float x0 = old[0], y0 = old[1], x64 = old[128], y64 = old[129];
    choose({"Reverse"});
    for (int i = 0; i < 128; ++i) {
        const float f = static_cast<float>(i % 64) / 64.0f;
        const bool back = i >= 64;
        const float ex = back ? (1 - f) * x0 + f * x64 : (1 - f) * x64 + f * x0;
        const float ey = back ? (1 - f) * y0 + f * y64 : (1 - f) * y64 + f * y0;
        ASSERT_NEAR(px(i), ex, 1e-5f) << i;
        ASSERT_NEAR(py(i), ey, 1e-5f) << i;
    }
}

TEST_F(XYMenu, Transformations) {
    curvedPath();
    auto old = path();
    choose({"Flip Horizontally"});
    for (int i = 0; i < 128; ++i) {
        ASSERT_NEAR(px(i), -old[2 * i], 1e-5f);
        ASSERT_NEAR(py(i), old[2 * i + 1], 1e-5f);
    }
    old = path();
    choose({"Flip Vertically"});
    for (int i = 0; i < 128; ++i) {
        ASSERT_NEAR(px(i), old[2 * i], 1e-5f);
        ASSERT_NEAR(py(i), -old[2 * i + 1], 1e-5f);
    }

    // Rotating by 90 degrees turns (x, y) into (-y, x).
    old = path();
    dialogs.pushText("90");
    choose({"Rotate"});
    EXPECT_EQ(dialogs.textRequests.back().title, "XY Rotation");
    EXPECT_EQ(dialogs.textRequests.back().initialText, "0");
    for (int i = 0; i < 128; ++i) {
        ASSERT_NEAR(px(i), -old[2 * i + 1], 1e-4f) << i;
        ASSERT_NEAR(py(i), old[2 * i], 1e-4f) << i;
    }
    // No answer is no angle.
    old = path();
    dialogs.pushTextCancel();
    choose({"Rotate"});
    expectPathNear(old);

    // Scaling: by half; 0 % changes nothing.
    dialogs.pushText("50%");
    choose({"Scale X and Y"});
    EXPECT_EQ(dialogs.textRequests.back().prompt, "Scale amount in %");
    for (int i = 0; i < 128; ++i) {
        ASSERT_NEAR(px(i), 0.5f * old[2 * i], 1e-5f);
        ASSERT_NEAR(py(i), 0.5f * old[2 * i + 1], 1e-5f);
    }
    old = path();
    dialogs.pushText("0");
    choose({"Scale X and Y"});
    expectPathNear(old, 0.0f);
    // Beyond the pad the points stop at its edges.
    dialogs.pushText("1000");
    choose({"Scale X and Y"});
    for (int i = 0; i < 128; ++i) ASSERT_LE(std::fabs(px(i)), 1.0f);
    EXPECT_FLOAT_EQ(py(0), 1.0f); // (0, 0.45) ten times over
}

TEST_F(XYMenu, SnapAndSmooth) {
    curvedPath();
    auto old = path();
    for (const char* ignored : {"0", "128", "-3"}) {
        dialogs.pushText(ignored);
        choose({"Snap to grid"});
        expectPathNear(old, 0.0f);
    }
    EXPECT_EQ(dialogs.textRequests.back().prompt, "Grid size (0 for no grid)");
    EXPECT_EQ(dialogs.textRequests.back().title, "XY Grid");

    dialogs.pushText("1");
    choose({"Snap to grid"});
    for (float v : path())
        EXPECT_TRUE(v == -1.0f || v == -0.5f || v == 0.0f || v == 0.5f || v == 1.0f) << v;
    EXPECT_EQ(px(0), -1.0f);  // -0.9
    EXPECT_EQ(px(18), -0.5f); // -0.648
    EXPECT_EQ(px(100), 0.5f); // 0.5
    EXPECT_EQ(py(10), 0.5f);  // 0.288 rounds to 0.5

    // A straight, evenly spaced line stays, except at its two ends.
    shape("Set to Horizontal Line");
    old = path();
    choose({"Smooth"});
    for (int i = 1; i < 127; ++i) ASSERT_NEAR(px(i), old[2 * i], 1e-5f) << i;
    EXPECT_NEAR(px(0), (old[0] + old[2]) / 2.0f, 1e-5f);
    EXPECT_NEAR(px(127), (old[252] + old[254]) / 2.0f, 1e-5f);
}

TEST_F(XYMenu, TypedPositionsAskForThePointOrThePad) {
    ui().setXYPoint(-1);
    dialogs.pushTextCancel();
    dialogs.pushTextCancel();
    choose({"Set X and Y"});
    ASSERT_EQ(dialogs.textRequests.size(), 2u);
    EXPECT_EQ(dialogs.textRequests[0].title, plugin->getParameterNameStr(tag::XYX));
    EXPECT_EQ(dialogs.textRequests[1].title, plugin->getParameterNameStr(tag::XYY));

    ui().setXYPoint(5);
    dialogs.pushTextCancel();
    choose({"Set Y"});
    ASSERT_EQ(dialogs.textRequests.size(), 3u);
    EXPECT_EQ(dialogs.textRequests[2].title, plugin->getParameterNameStr(tag::xyPointY(5)));
    dialogs.pushTextCancel();
    choose({"Set X"});
    EXPECT_EQ(dialogs.textRequests[3].title, plugin->getParameterNameStr(tag::xyPointX(5)));
    EXPECT_FALSE(plugin->core.popupOpen);
}

TEST_F(XYMenu, MidiAxesLatchAndUnlatch) {
    choose({"Latch X To MIDI"});
    EXPECT_EQ(plugin->engine.midi.learnTag.load(), tag::XYMidiX);
    EXPECT_TRUE(plugin->engine.midi.learnArmed.load());
    choose({"Latch Y To MIDI"});
    EXPECT_EQ(plugin->engine.midi.learnTag.load(), tag::XYMidiY);

    // A typed controller number for each axis.
    dialogs.pushText("21");
    choose({"Set X MIDI CC"});
    dialogs.pushText("22");
    choose({"Set Y MIDI CC"});
    EXPECT_EQ(getMidiCC(21), tag::XYMidiX);
    EXPECT_EQ(getMidiCC(22), tag::XYMidiY);
    popups.dismiss();
    ui().showXYMenu();
    EXPECT_TRUE(hasTitle(rootLines(), "X Latched to CC 21, Y Latched to CC 22"));

    choose({"Unlatch X/Y MIDI"});
    EXPECT_EQ(getMidiCC(21), 0);
    EXPECT_EQ(getMidiCC(22), 0);
    EXPECT_EQ(plugin->engine.midi.ccMap[21].load(), 0);
}

TEST_F(XYMenu, PresetFiles) {
    curvedPath();
    plugin->setParameter(tag::XYSpeed, 0.3f);
    const auto saved = values(XY_SECTION_TAGS);
    const auto dir = fileDir();

    // The name is kept as typed: no extension is added.
    dialogs.pushFile((dir / "wobble").string());
    choose({"Save XY Preset"});
    ASSERT_EQ(dialogs.fileRequests.size(), 1u);
    EXPECT_EQ(dialogs.fileRequests[0].title, "Save XY Preset");
    EXPECT_EQ(dialogs.fileRequests[0].initialFolder, plugin->core.folders.xyPresetDir);
    ASSERT_TRUE(std::filesystem::exists(dir / "wobble"));
    const auto lines = readLines(dir / "wobble");
    ASSERT_EQ(lines.size(), 283u);
    EXPECT_EQ(lines[0], "V1.0");

    choose({"Reset All XY Settings"});
    dialogs.pushFile((dir / "wobble").string());
    choose({"Load XY Preset"});
    EXPECT_EQ(dialogs.fileRequests.back().title, "Load XY Preset");
    for (std::size_t i = 0; i < XY_SECTION_TAGS.size(); ++i) {
        const int t = XY_SECTION_TAGS[i];
        if (t == tag::XYMidiX || t == tag::XYMidiY) continue; // the reset centres them
        EXPECT_NEAR(value(t), saved[i], 1e-6f) << t;
    }

    // Out-of-range values are clamped; a short file is refused.
    std::string text = "V1.0\n";
    for (std::size_t i = 0; i < XY_SECTION_TAGS.size(); ++i)
        text += i == 0 ? "1.5\n" : (i == 1 ? "-2\n" : "0.25\n");
    writeAll(dir / "odd.xy", text);
    dialogs.pushFile((dir / "odd.xy").string());
    choose({"Load XY Preset"});
    EXPECT_FLOAT_EQ(value(XY_SECTION_TAGS[0]), 1.0f);
    EXPECT_FLOAT_EQ(value(XY_SECTION_TAGS[1]), 0.0f);
    EXPECT_FLOAT_EQ(value(tag::xyPointX(0)), 0.25f);
    EXPECT_TRUE(dialogs.alertRequests.empty());

    const auto now = values(XY_SECTION_TAGS);
    writeAll(dir / "short.xy", "V1.0\n0.5\n");
    dialogs.pushFile((dir / "short.xy").string());
    choose({"Load XY Preset"});
    EXPECT_EQ(values(XY_SECTION_TAGS), now);
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_NE(dialogs.alertRequests[0].header.find("Problem with XY file"), std::string::npos);

    dialogs.pushFile((dir / "missing" / "x.xy").string());
    choose({"Save XY Preset"});
    ASSERT_EQ(dialogs.alertRequests.size(), 2u);
    EXPECT_NE(dialogs.alertRequests[1].header.find("Problem with XY File"), std::string::npos);
}

TEST_F(XYMenu, WithoutAWindowTheMenuDoesNotOpen) {
    ui().close();
    plugin->core.popupOpen.clear();
    popups.chooseTitlePath({"Reset All XY Settings"});
    curvedPath();
    const auto all = values(XY_SECTION_TAGS);
    ui().showXYMenu();
    EXPECT_EQ(popups.popupCount(), 0);
    EXPECT_EQ(values(XY_SECTION_TAGS), all);
    EXPECT_FALSE(plugin->core.popupOpen);
}
