// The main screen's layout: the control table and its tag map, where every
// control sits at 100 % and 150 % compared with the artwork's layout table
// and the fixed places of the design, the menus' entries, the factories'
// geometry, and the moves between menus and stepped parameters.

#include "controls/envarp.h"
#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/tmodscreen.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/artwork.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <sstream>
#include <vector>

using namespace VSTGUI;
using ondix::artwork::ControlPlace;
using ondix::artwork::PlaceKind;

namespace {

constexpr int kSizeKeys = 4;
constexpr const char* kSizePrefs[kSizeKeys] = {"Big100", "Big125", "Big150", "Big200"};

struct EditorLayout : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    std::unique_ptr<APlugin> plugin;
    int size = 0;

    // A plug-in whose editor opens at size index s, showing the main screen.
    void openAt(int s) {
        if (plugin) closeEditor();
        for (const char* key : kSizePrefs) saveStringToPrefs(key, "N");
        saveStringToPrefs(kSizePrefs[s], "Y");
        size = s;
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        AEffect* e = plugin->getAeffect();
        ASSERT_EQ(e->dispatcher(e, effEditOpen, 0, 0, nullptr, 0.0f), 1);
        ui().showMainScreen();
    }
    void closeEditor() {
        AEffect* e = plugin->getAeffect();
        e->dispatcher(e, effEditClose, 0, 0, nullptr, 0.0f);
    }
    void TearDown() override {
        if (plugin) closeEditor();
    }
    uEditor& ui() { return *plugin->getUEditor(); }
    const editor_controls::All& c() { return ui().getControls(); }

    int px(int v) const { return ondix::artwork::scaled(v, size); }
    int off(const std::array<int, 3>& o) const { return size == 0 ? 0 : o[size - 1]; }
    CRect designRect(int x, int y, int w, int h, const std::array<int, 3>& dx = {},
                     const std::array<int, 3>& dy = {}) const {
        const int left = px(x) + off(dx), top = px(y) + off(dy);
        return CRect(left, top, left + w, top + h);
    }
    ondix::artwork::BitmapSize frameOf(int bitmap) const {
        return ondix::artwork::frameSize(bitmap, size);
    }
};

// The rect a control of the layout table has at the current size.
CRect expectedRect(const EditorLayout& t, const ControlPlace& p) {
    int w = t.px(p.width), h = t.px(p.height);
    const bool sizedByBitmap =
        p.kind == PlaceKind::Knob || p.kind == PlaceKind::Switch || p.kind == PlaceKind::Kick ||
        p.kind == PlaceKind::Radio || (p.kind == PlaceKind::Menu && p.bitmap != 0) ||
        (p.kind == PlaceKind::Icon && p.bitmap == 10051) || p.bitmap == 10041;
    if (sizedByBitmap) {
        w = t.frameOf(p.bitmap).width;
        h = t.frameOf(p.bitmap).height;
    }
    return t.designRect(p.x, p.y, w, h, p.dx, p.dy);
}

int expectedKind(PlaceKind kind) {
    switch (kind) {
    case PlaceKind::Knob:
        return uEditor::kKnobKind;
    case PlaceKind::Switch:
        return uEditor::kOnOffKind;
    case PlaceKind::Menu:
        return uEditor::kMenuKind;
    case PlaceKind::Slider:
        return uEditor::kSliderKind;
    default:
        return -1;
    }
}

std::string describe(const CRect& r) {
    std::ostringstream s;
    s << "(" << r.left << ", " << r.top << ", " << r.right << ", " << r.bottom << ")";
    return s.str();
}

std::vector<std::string> titles(const COptionMenu* menu) {
    std::vector<std::string> out;
    for (CMenuItem* item : menu->getItems()) out.push_back(item->getTitle());
    return out;
}

} // namespace

// ------------------------------------------------------------------ places

// Every parameter control of the layout table exists once at its place, with
// its kind, and its tag maps to a control.
TEST_F(EditorLayout, ParameterControlsSitWhereTheArtworkPlacesThem) {
    for (int s : {0, 2}) {
        openAt(s);
        SCOPED_TRACE("size index " + std::to_string(s));
        int checked = 0;
        for (const ControlPlace& p : ondix::artwork::controlPlaces()) {
            const int kind = expectedKind(p.kind);
            if (!uEditor::isValidTag(p.tag) || kind < 0) continue;
            // The morph slider follows its own per-size table (below).
            if (p.tag == 16) continue;
            const CRect want = expectedRect(*this, p);
            bool found = false;
            std::string seen;
            for (int slot = 0; slot < ui().getControlCount(); ++slot) {
                CControl* control = ui().getTableControl(slot);
                if (control->getTag() != p.tag || ui().getTableKind(slot) != kind) continue;
                seen += describe(control->getViewSize()) + " ";
                found = found || control->getViewSize() == want;
            }
            EXPECT_TRUE(found) << "tag " << p.tag << " wanted " << describe(want) << ", has "
                               << seen;
            EXPECT_NE(ui().getTagControl(p.tag), nullptr) << p.tag;
            ++checked;
        }
        EXPECT_GT(checked, 100);
    }
}

// Every view that the main screen shows has its place in the artwork, on the
// page and lower page where it shows.
TEST_F(EditorLayout, EveryShownControlHasAPlaceInTheArtwork) {
    for (int s : {0, 2}) {
        openAt(s);
        for (int page : {1, 0}) { // arpeggiator, then user waves
            if (ui().getMainPage() != page) ui().changeRadioDelta(0, 1);
            ASSERT_EQ(ui().getMainPage(), page);
            const unsigned mask = page == 1 ? ondix::artwork::kArpPage : ondix::artwork::kWavePage;
            std::set<const CView*> exempt = {c().header.managerArea, c().header.backScreenArea,
                                             c().arp.on}; // the arp switch shows on both pages
            if (s != 0) {
                // Per-size tables (the matrix and the grid are checked with
                // the graphic screens).
                exempt.insert({c().osc.morph, c().mod.screen, c().arp.screen});
            }
            for (int i = 0; i < uEditor::kSubPageCount; ++i)
                exempt.insert(ui().getSubPage(static_cast<uEditor::SubPage>(i)));

            auto hasPlace = [&](const CView* view, int pageId) {
                for (const ControlPlace& p : ondix::artwork::controlPlaces()) {
                    if (p.page != pageId || (pageId == 0 && !(p.screens & mask))) continue;
                    if (view->getViewSize() == expectedRect(*this, p)) return true;
                }
                return false;
            };
            CFrame* frame = ui().frameForTests();
            for (CView* view : frame->getChildren()) {
                if (exempt.count(view)) continue;
                EXPECT_TRUE(hasPlace(view, 0)) << "size " << s << " page " << page << ": view at "
                                               << describe(view->getViewSize());
            }
            // The sub-pages as they are shown now (LFO 1 without sync,
            // envelope 1, the flanger).
            const std::pair<uEditor::SubPage, int> pages[] = {{uEditor::kFreeLFOPage, 10024},
                                                              {uEditor::kFreeEnvPage, 10025},
                                                              {uEditor::kFXPage, 10026}};
            for (auto [subPage, id] : pages)
                for (CView* view : ui().getSubPage(subPage)->getChildren())
                    EXPECT_TRUE(hasPlace(view, id))
                        << "page " << id << ": view at " << describe(view->getViewSize());
        }
    }
}

// The places the design fixes, spot-checked at 100 % and 150 %.
TEST_F(EditorLayout, FixedPlacesOfTheDesign) {
    openAt(0);
    EXPECT_EQ(c().osc.morph->getViewSize(), CRect(97, 104, 118, 355));
    EXPECT_EQ(c().osc.waveA[0]->getViewSize(), CRect(129, 106, 210, 123));
    EXPECT_EQ(c().osc.waveB[0]->getViewSize(), CRect(129, 336, 210, 353));
    EXPECT_EQ(c().header.managerArea->getViewSize(), CRect(633, 6, 808, 69));
    EXPECT_EQ(c().header.backScreenArea->getViewSize(), CRect(800, 17, 1096, 62));
    EXPECT_EQ(c().header.controlMenu->getViewSize(), CRect(1098, 10, 1115, 20));
    EXPECT_EQ(ui().getScreenRect(uEditor::GraphicScreen::Arp), CRect(331, 473, 821, 661));
    EXPECT_EQ(ui().getScreenRect(uEditor::GraphicScreen::Mod), CRect(25, 648, 275, 752));

    openAt(2);
    // Morph slider, matrix and arpeggiator screens: straight from their
    // per-size tables, not by the scaling rule.
    EXPECT_EQ(c().osc.morph->getViewSize(), CRect(146, 154, 178, 530));
    EXPECT_EQ(ui().getScreenRect(uEditor::GraphicScreen::Arp), CRect(497, 710, 1233, 992));
    EXPECT_EQ(ui().getScreenRect(uEditor::GraphicScreen::Mod), CRect(37, 975, 413, 1132));
    EXPECT_EQ(ui().getScreenRect(uEditor::GraphicScreen::XY), CRect(340, 167, 698, 525));
    // Scaled design rects.
    EXPECT_EQ(c().osc.waveA[0]->getViewSize(), CRect(193, 159, 314, 184));
    EXPECT_EQ(c().osc.octave->getViewSize(), designRect(31, 396, px(47), px(14)));
    EXPECT_EQ(c().xy.speed->getViewSize(),
              designRect(375, 90, frameOf(10041).width, frameOf(10041).height));
    EXPECT_EQ(c().header.folderMenu->getViewSize(), designRect(112, 42, px(164), px(16)));
    EXPECT_EQ(c().play.unisonPicture->getViewSize(),
              designRect(926, 196, px(36), px(9), {0, -1, 0}));
    EXPECT_EQ(c().wave.presetMenu->getViewSize(),
              designRect(296, 704, px(138), px(14), {0, 0, 2}, {2, 2, 3}));
    EXPECT_EQ(c().xy.drawOsc->getViewSize(),
              designRect(534, 396, frameOf(10050).width, frameOf(10050).height));

    // The free-LFO page: both LFOs share the page's places.
    for (int l = 0; l < 2; ++l) {
        EXPECT_EQ(c().freeLFO.mode[l]->getViewSize(), designRect(9, 21, px(57), px(14)));
        EXPECT_EQ(c().freeLFO.wave[l]->getViewSize(), designRect(74, 21, px(57), px(14)));
        EXPECT_EQ(c().freeLFO.speedReadout[l]->getViewSize(), designRect(173, 21, px(57), px(14)));
        EXPECT_EQ(c().freeLFO.speedMenu[l]->getViewSize(), designRect(173, 21, px(57), px(14)));
        EXPECT_EQ(c().freeLFO.speedKnob[l]->getViewSize(),
                  designRect(135, 12, frameOf(10035).width, frameOf(10035).height));
        EXPECT_EQ(c().freeLFO.sync[l]->getViewSize(),
                  designRect(233, 21, frameOf(10050).width, frameOf(10050).height));
        EXPECT_EQ(c().freeLFO.select[l]->getViewSize().left, px(l == 0 ? 22 : 87));
    }
    // Free envelopes and effects: the knob columns of their pages.
    const int envX[5] = {18, 65, 112, 157, 203};
    const int fxX[6] = {9, 51, 93, 134, 176, 218};
    for (int e = 0; e < 2; ++e)
        for (int k = 0; k < 5; ++k)
            EXPECT_EQ(c().freeEnv.knobs[e][k]->getViewSize().getTopLeft(),
                      CPoint(px(envX[k]), px(11)));
    for (int k = 0; k < 6; ++k) {
        EXPECT_EQ(c().fx.flanger[k]->getViewSize().getTopLeft(), CPoint(px(fxX[k]), px(7)));
        EXPECT_EQ(c().fx.phaser[k]->getViewSize().getTopLeft(), CPoint(px(fxX[k]), px(7)));
    }
}

// No two controls shown together overlap, in the frame or in a sub-page.
TEST_F(EditorLayout, ControlsShownTogetherDoNotOverlap) {
    auto overlap = [](const CRect& a, const CRect& b) {
        return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
    };
    for (int s : {0, 2}) {
        openAt(s);
        for (int step = 0; step < 2; ++step) {
            if (step == 1) ui().changeRadioDelta(0, 1); // the user-wave page
            std::vector<CViewContainer*> containers = {ui().frameForTests()};
            for (int i = 0; i < uEditor::kSubPageCount; ++i)
                containers.push_back(ui().getSubPage(static_cast<uEditor::SubPage>(i)));
            for (CViewContainer* container : containers) {
                const auto& views = container->getChildren();
                for (std::size_t i = 0; i < views.size(); ++i)
                    for (std::size_t j = i + 1; j < views.size(); ++j) {
                        // The two invisible click areas of the header share
                        // a few pixels; the later one takes the click there.
                        if (views[i] == c().header.managerArea &&
                            views[j] == c().header.backScreenArea)
                            continue;
                        EXPECT_FALSE(overlap(views[i]->getViewSize(), views[j]->getViewSize()))
                            << "size " << s << " page " << step << ": "
                            << describe(views[i]->getViewSize()) << " and "
                            << describe(views[j]->getViewSize());
                    }
            }
        }
    }
}

// At every size no control shown covers a caption that the background
// paints beside a control (its own or a neighbour's), in the frame and in
// the sub-pages as they first show.
TEST_F(EditorLayout, ControlsLeaveTheCaptionsFreeAtEverySize) {
    auto covers = [](const CRect& r, const ondix::artwork::CaptionBox& b) {
        return r.left < b.right && b.left < r.right && r.top < b.bottom && b.top < r.bottom;
    };
    int checked = 0;
    for (int s = 0; s < kSizeKeys; ++s) {
        openAt(s);
        for (int page : {1, 0}) { // arpeggiator, then user waves
            if (ui().getMainPage() != page) ui().changeRadioDelta(0, 1);
            ASSERT_EQ(ui().getMainPage(), page);
            const unsigned mask = page == 1 ? ondix::artwork::kArpPage : ondix::artwork::kWavePage;
            const std::pair<CViewContainer*, int> containers[] = {
                {ui().frameForTests(), 0},
                {ui().getSubPage(uEditor::kFreeLFOPage), 10024},
                {ui().getSubPage(uEditor::kFreeEnvPage), 10025},
                {ui().getSubPage(uEditor::kFXPage), 10026}};
            for (auto [container, pageId] : containers) {
                for (const ControlPlace& p : ondix::artwork::controlPlaces()) {
                    if (p.page != pageId || (pageId == 0 && !(p.screens & mask))) continue;
                    ondix::artwork::CaptionBox box{};
                    if (!ondix::artwork::captionBox(p, s, box)) continue;
                    ++checked;
                    for (CView* view : container->getChildren())
                        EXPECT_FALSE(covers(view->getViewSize(), box))
                            << "size " << s << " page " << pageId << ": view at "
                            << describe(view->getViewSize()) << " covers \"" << p.label << "\" ("
                            << box.left << ", " << box.top << ", " << box.right << ", "
                            << box.bottom << ")";
                }
            }
        }
    }
    EXPECT_GT(checked, 400);
}

// ------------------------------------------------------------------ the table

TEST_F(EditorLayout, TableKindsTooltipsAndValues) {
    openAt(0);
    APlugin& p = *plugin;

    // Tags with two controls map to the one made last.
    for (int t : {117, 118, 124}) {
        EXPECT_EQ(ui().getTagKind(t), uEditor::kKnobKind) << t;
        EXPECT_NE(dynamic_cast<TKnob*>(ui().getTagControl(t)), nullptr) << t;
    }
    EXPECT_EQ(ui().getTagControl(117), c().arp.knobs[4]);
    EXPECT_EQ(ui().getTagControl(88), c().main.switches[15]);
    EXPECT_EQ(c().main.switches[14]->getTag(), 88);
    EXPECT_EQ(ui().getTagControl(63), c().freeLFO.speedKnob[0]);
    EXPECT_EQ(ui().getTagControl(65), c().freeLFO.speedKnob[1]);
    // The speed readouts carry their speed tag but were entered before it.
    EXPECT_EQ(c().freeLFO.speedReadout[0]->getTag(), 63);
    EXPECT_EQ(ui().getTagKind(16), uEditor::kSliderKind);
    EXPECT_EQ(ui().getTagKind(49), uEditor::kSliderKind);
    EXPECT_EQ(ui().getTagKind(14), uEditor::kMenuKind);
    EXPECT_EQ(ui().getTagKind(29), uEditor::kOnOffKind);
    EXPECT_EQ(ui().getTagControl(0), nullptr);
    EXPECT_EQ(ui().getTagKind(0), -1);
    // Menus' submenus, the preset and folder menus, the unison picture, the
    // oscillator display switch and the back screen's text fields stay out.
    std::set<const CControl*> inTable;
    for (int slot = 0; slot < ui().getControlCount(); ++slot)
        inTable.insert(ui().getTableControl(slot));
    for (const CControl* outside : std::initializer_list<const CControl*>{
             c().header.presetMenu, c().header.folderMenu, c().play.unisonPicture, c().xy.drawOsc,
             c().osc.waveA[1], c().xy.destSubMenu[0][0], c().back.version, c().back.a4Tuning,
             c().back.loadTuning, c().back.toMain})
        EXPECT_EQ(inTable.count(outside), 0u);
    EXPECT_EQ(c().xy.drawOsc->getTag(), 1024);

    // Kind 0 shows no tooltip; the others do. Parameters' controls start at
    // their parameter's value and default; the rest at 0.
    for (int slot = 0; slot < ui().getControlCount(); ++slot) {
        CControl* control = ui().getTableControl(slot);
        EXPECT_EQ(ui().getTooltipEnabled(slot), ui().getTableKind(slot) != uEditor::kPlainKind);
        const int t = control->getTag();
        if (ui().getTableKind(slot) == uEditor::kKnobKind) {
            EXPECT_FLOAT_EQ(control->getDefaultValue(), p.getDefaultValue(t)) << t;
            EXPECT_FLOAT_EQ(control->getValue(), p.getParameter(t)) << t;
        }
        if (!uEditor::isValidTag(t)) {
            EXPECT_FLOAT_EQ(control->getDefaultValue(), 0.0f);
        }
    }
    // 44 main knobs in the order of their types.
    const int firstTags[6] = {11, 2, 3, 1, 8, 9};
    for (int i = 0; i < 6; ++i) EXPECT_EQ(c().main.knobs[i]->getTag(), firstTags[i]);
    EXPECT_EQ(c().main.knobs[43]->getTag(), 115);
    EXPECT_EQ(c().main.knobs[3]->getModStrip(), ui().getBitmap(10030)); // type 0
    EXPECT_EQ(c().main.knobs[1]->getModStrip(), ui().getBitmap(10033)); // type 3
    EXPECT_EQ(c().main.switches[10]->getBackground(), ui().getBitmap(10066));
    EXPECT_EQ(c().filter.invertEnvelope->getBackground(), ui().getBitmap(10055));
}

TEST_F(EditorLayout, MenusListTheirVocabulary) {
    openAt(0);
    // Oscillator waves: 16 waves, the five groups, the two user waves.
    const auto main = titles(c().osc.waveA[0]);
    ASSERT_EQ(main.size(), 23u);
    EXPECT_EQ(main[0], OSC_WAVE_STR[0]);
    EXPECT_EQ(main[15], OSC_WAVE_STR[15]);
    EXPECT_EQ(main[16], "Additive Waves");
    EXPECT_EQ(main[20], "Spectral Waves 4");
    EXPECT_EQ(main[21], "User 1");
    EXPECT_EQ(main[22], "User 2");
    const int groupSizes[5] = {39, 32, 32, 32, 32};
    int wave = 16;
    for (int g = 0; g < 5; ++g) {
        const auto sub = titles(c().osc.waveA[g + 1]);
        ASSERT_EQ(static_cast<int>(sub.size()), groupSizes[g]);
        EXPECT_EQ(sub.front(), OSC_WAVE_STR[static_cast<std::size_t>(wave)]);
        EXPECT_EQ(c().osc.waveA[0]->getEntry(16 + g)->getSubmenu(), c().osc.waveA[g + 1]);
        wave += groupSizes[g];
    }
    EXPECT_EQ(wave, 183);

    // Destinations: "None" and twelve groups covering 1..221.
    for (int i = 0; i < 4; ++i) {
        const auto top = titles(c().xy.destMenu[i]);
        ASSERT_EQ(top.size(), 13u);
        EXPECT_EQ(top[0], "None");
        EXPECT_EQ(c().xy.destMenu[i]->getTag(), 452 + i);
        int total = 0;
        for (int g = 0; g < 12; ++g) {
            EXPECT_EQ(top[g + 1], DEST_SUB_STR[g]);
            total += c().xy.destSubMenu[i][g]->getNbEntries();
        }
        EXPECT_EQ(total, 221);
        EXPECT_EQ(titles(c().xy.destSubMenu[i][0]).front(), DEST_STR[1]);
        EXPECT_EQ(titles(c().xy.destSubMenu[i][11]).back(), DEST_STR[221]);
    }

    // Preset menu: the eight groups, a separator and the preset commands.
    const auto preset = titles(c().header.presetMenu);
    ASSERT_EQ(preset.size(), 33u);
    EXPECT_EQ(preset[0], "Preset 1-32");
    EXPECT_EQ(preset[7], "Preset 225 - 256");
    for (int i = 0; i < 24; ++i) {
        const std::string command = PRESET_COMMAND_STR[i];
        EXPECT_EQ(preset[9 + i], command == "-" ? "" : command) << i; // separators have no title
    }
    EXPECT_TRUE(c().header.presetMenu->isPresetMenu());
    EXPECT_TRUE(c().header.folderMenu->isFolderMenu());
    EXPECT_EQ(c().header.folderMenu->getString(), "Introduction Folder");
    EXPECT_EQ(titles(c().header.ecsMenu),
              (std::vector<std::string>{"Load ECS", "Save ECS", "Clear All MIDI"}));
    EXPECT_EQ(c().header.paramName->getString(), "Haldmer");
    EXPECT_EQ(c().header.paramValue->getString(), "Ondix");

    // Wave presets: 182 names of the wave list in six groups, then the
    // saved waves.
    const COptionMenu* presets = c().wave.presetMenu;
    ASSERT_EQ(presets->getNbEntries(), 7);
    int names = 0;
    for (int g = 0; g < 6; ++g) names += presets->getEntry(g)->getSubmenu()->getNbEntries();
    EXPECT_EQ(names, 182);
    EXPECT_EQ(titles(presets->getEntry(0)->getSubmenu()).front(), "None");
    EXPECT_EQ(titles(presets->getEntry(6)->getSubmenu()), (std::vector<std::string>{"No Presets"}));
    EXPECT_TRUE(c().wave.presetMenu->isWavePresetMenu());

    // Stepped menus take as many entries as their tag has steps.
    EXPECT_EQ(c().play.playMode->getNbEntries(), plugin->getSteppedNum(243));
    EXPECT_EQ(titles(c().play.playLock), (std::vector<std::string>{"Off", "On", "Set"}));
    EXPECT_EQ(c().freeLFO.speedMenu[1]->getNbEntries(), 34);
    EXPECT_TRUE(c().osc.octave->hasDeltaZones());
    EXPECT_TRUE(c().osc.waveA[0]->hasDeltaZones());
    EXPECT_FALSE(c().play.playMode->hasDeltaZones());
}

// ------------------------------------------------------------------ factories

TEST_F(EditorLayout, FactoriesScaleDesignUnits) {
    openAt(0);
    CKickButton* area = nullptr;
    ui().createKickButtonArea(area, 10, 20, 40, 126, {{5, 5, 5}, {5, 5, 5}});
    ASSERT_NE(area, nullptr);
    EXPECT_EQ(area->getViewSize(), CRect(10, 20, 50, 83)); // no offsets at 100 %
    EXPECT_EQ(area->getTag(), NO_PARAM_TAG);
    uEditor::removeControl(area);

    openAt(2);
    TOnOff* button = nullptr;
    ui().createOnOff(button, 12, 100, 100, {{0, 3, 0}, {0, -1, 0}});
    ASSERT_NE(button, nullptr);
    EXPECT_EQ(button->getViewSize().getTopLeft(), CPoint(153, 149));
    EXPECT_EQ(ui().getTagControl(12), button); // the newer control takes the tag
    uEditor::removeControl(button);

    TOnOff* none = nullptr;
    ui().createOnOff(none, 12, 0, 0, static_cast<CBitmap*>(nullptr));
    EXPECT_EQ(none, nullptr); // no bitmap, no control

    TReadout* readout = nullptr;
    ui().createReadout(readout, 10, 10, 100, 15, "x", true);
    EXPECT_EQ(readout->getViewSize(), CRect(15, 15, 165, 37));
    uEditor::removeControl(readout);
}

// ------------------------------------------------------------------ menus and parameters

TEST_F(EditorLayout, MenusAndSteppedParametersMoveBothWays) {
    openAt(0);
    APlugin& p = *plugin;
    TOptionMenu* filter = c().filter.type;

    filter->setCurrent(5);
    ui().setMenuValue(filter);
    EXPECT_EQ(p.getSteppedValue(250), 5);
    ui().setMenuValue(250, 7);
    EXPECT_EQ(p.getSteppedValue(250), 7);
    ui().setMenuValue(1024, 3); // not a tag: nothing
    ui().setMenuValue(static_cast<CControl*>(nullptr));

    ui().resumeMenu(filter);
    EXPECT_EQ(filter->getCurrentIndex(), 7);
    p.setSteppedValue(14, 183);
    ui().resumeSubMenu(c().osc.waveA[0], 14, OSC_WAVE_STR);
    EXPECT_EQ(c().osc.waveA[0]->getString(), "User 1");

    // A knob's ring follows the modulated value; without a voice that is
    // the value itself.
    TKnob* volume = c().main.knobs[3];
    p.setParameter(1, 1.0f);
    ui().setModValue(volume);
    EXPECT_EQ(volume->getModFrame(), 148);
    p.setParameter(1, 0.0f);
    ui().setModValue(volume);
    EXPECT_EQ(volume->getModFrame(), 0);
    ui().setModValue(nullptr);
}
