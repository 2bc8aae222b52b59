// The main screen's controls: created once per opening of the window, in a
// fixed order (the order of the control table), and forgotten again when it
// closes. Which of them the frame and the sub-pages show is decided by the
// screen switching (screens.cpp).
//
// Positions. Where a control's place is fixed by the screen's design, it is
// written here; every other control takes its place from the artwork's
// layout table, which is also what the painted panels are drawn around.
// Either way the per-size pixel offsets come from the layout table.

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
#include "editor/artwork.h"
#include "editor/header_menus.h"
#include "editor/ueditor.h"

#include <algorithm>
#include <iterator>

using namespace VSTGUI;
using ondix::artwork::ControlPlace;
using ondix::artwork::PlaceKind;

namespace {

// Pages of the sub-page containers, named by their background.
constexpr int kFilterEnvKnobPage = 10021;
constexpr int kAmpEnvKnobPage = 10023;
constexpr int kLFOPageBitmap = 10024;
constexpr int kEnvelopePageBitmap = 10025;
constexpr int kFlangerPage = 10026;
constexpr int kPhaserPage = 10027;

constexpr int kECSMenuBitmap = 10054;
constexpr int kInvertEnvBitmap = 10055;
constexpr int kFlangerPhaserBitmap = 10066;
constexpr int kMorphStrip = 10040;
constexpr int kSpeedStrip = 10041;
constexpr int kMorphPositions = 232;
constexpr int kSpeedFrames = 61;
constexpr int32_t kMenuStyle = 0x100;
constexpr int32_t kWaveSubMenuStyle = 0x110;
constexpr int kProgramNameBuffer = 64;

// Where the layout table puts a control.
struct Spot {
    int x = 0, y = 0, width = 0, height = 0;
    uEditor::Offsets off;
};

Spot spotOf(const ControlPlace& p) {
    return {p.x, p.y, p.width, p.height, {p.dx, p.dy}};
}

// The control of this tag and kind on a page (0: the frame).
Spot placeOf(int t, PlaceKind kind, int page = 0) {
    for (const ControlPlace& p : ondix::artwork::controlPlaces())
        if (p.tag == t && p.kind == kind && p.page == page) return spotOf(p);
    return {};
}

// A control at a fixed design position: the table's size and offsets for
// the control it has there (none when it has none).
Spot placeAt(int x, int y, PlaceKind kind, int page = 0) {
    for (const ControlPlace& p : ondix::artwork::controlPlaces())
        if (p.x == x && p.y == y && p.kind == kind && p.page == page) return spotOf(p);
    Spot s;
    s.x = x;
    s.y = y;
    return s;
}

// The main knobs in creation order, with their knob types.
struct KnobType {
    int tag, type;
};
constexpr KnobType kMainKnobs[] = {
    {11, 2},  {2, 3},   {3, 2},   {1, 0},   {8, 2},   {9, 2},   {10, 2},  {22, 2},  {21, 3},
    {18, 3},  {19, 2},  {20, 2},  {23, 0},  {24, 2},  {25, 3},  {28, 2},  {26, 2},  {27, 3},
    {37, 2},  {35, 0},  {47, 1},  {48, 1},  {43, 3},  {45, 3},  {44, 3},  {46, 3},  {81, 2},
    {82, 2},  {83, 2},  {84, 2},  {85, 2},  {86, 3},  {102, 2}, {103, 2}, {104, 3}, {105, 2},
    {106, 2}, {108, 3}, {110, 2}, {111, 2}, {112, 2}, {113, 2}, {114, 2}, {115, 3},
};
static_assert(std::size(kMainKnobs) == editor_controls::Main::kKnobCount);

// The main switches before the two flanger/phaser switches.
constexpr int kMainSwitchTags[] = {1000, 999, 12, 13, 34, 38, 36, 456, 80, 79, 87, 101, 107, 109};

constexpr int kFlangerKnobTypes[6] = {2, 2, 2, 2, 2, 3};
constexpr int kArpKnobTags[7] = {tag::ArpSwing,           tag::ArpSlide,    tag::ArpVelocityKey,
                                 tag::ArpVelocityRatchet, tag::ArpNumSteps, tag::ArpLoopStart,
                                 tag::ArpMagicSteps};

// Wave presets: how many names of WAVE_STR each group submenu takes.
constexpr int kWaveGroupSizes[6] = {14, 40, 32, 32, 32, 32};

} // namespace

void uEditor::createMainScreenControls() {
    APlugin* p = plugin();
    if (!p) return;
    editor_controls::All& c = controls;

    // The wave shaper's two amounts per shaper type.
    shaperValue1.fill(0.0f);
    shaperValue2.fill(0.0f);
    shaperValue1[1] = shaperValue1[2] = 0.75f;
    shaperValue1[4] = shaperValue1[7] = 0.5f;
    shaperValue1[10] = shaperValue1[11] = shaperValue1[12] = 1.0f;
    shaperValue2[1] = 0.5f;
    shaperValue2[2] = 0.75f;
    shaperValue2[8] = 0.5f;
    shaperValue2[9] = 1.0f;
    shaperValue2[12] = shaperValue2[13] = 0.5f;

    // ------------------------------------------------------------ 1. header
    {
        editor_controls::Header& h = c.header;
        const Spot presetSpot = placeAt(112, 23, PlaceKind::Menu);
        h.presetMenu = new TOptionMenu(
            CRect(scaledX(112, presetSpot.off), scaledY(23, presetSpot.off),
                  scaledX(112, presetSpot.off) + getScaled(164),
                  scaledY(23, presetSpot.off) + getScaled(16)),
            this, NO_PARAM_TAG, nullptr, nullptr, kMenuStyle, sizeIndex, false, false);
        h.presetMenu->setPresetMenu();
        fillPresetMenu(); // editor/menu_preset.cpp
        char name[kProgramNameBuffer] = {};
        p->getProgramName(name);
        h.presetMenu->setString(name);

        const Spot folderSpot = placeAt(112, 42, PlaceKind::Menu);
        const int fx = scaledX(112, folderSpot.off), fy = scaledY(42, folderSpot.off);
        h.folderMenu =
            new TOptionMenu(CRect(fx, fy, fx + getScaled(164), fy + getScaled(16)), this,
                            NO_PARAM_TAG, nullptr, nullptr, kMenuStyle, sizeIndex, false, false);
        h.folderMenu->setFolderMenu();
        h.folderMenu->addEntry("Introduction Folder");
        h.folderMenu->setString("Introduction Folder");

        createKickButton(h.preview, 39, 31, placeAt(39, 31, PlaceKind::Kick).off);
        createKickButton(h.editedPreset, 322, 24, placeAt(322, 24, PlaceKind::Kick).off);
        createKickButton(h.originalPreset, 322, 43, placeAt(322, 43, PlaceKind::Kick).off);
        createKickButton(h.help, 372, 43, placeAt(372, 43, PlaceKind::Kick).off);
        {
            constexpr int kECSCount = static_cast<int>(std::size(ECS_MENU));
            const char* labels[kECSCount] = {};
            for (int i = 0; i < kECSCount; ++i) labels[i] = ECS_MENU[i].label;
            createMenu(h.ecsMenu, NO_DRAW_MENU_TAG, 372, 24, getBitmap(kECSMenuBitmap), kECSCount,
                       labels, true, false, placeAt(372, 24, PlaceKind::Menu).off);
            for (int i = 0; h.ecsMenu && i < kECSCount; ++i)
                menu_tag::attach(h.ecsMenu->getEntry(i), ECS_MENU[i].command);
        }
        createReadout(h.paramName, 402, 23, 225, 16, "Haldmer", false,
                      placeAt(402, 23, PlaceKind::Readout).off);
        createReadout(h.paramValue, 402, 42, 225, 16, "Ondix", false,
                      placeAt(402, 42, PlaceKind::Readout).off);
        createKickButtonArea(h.managerArea, 633, 6, 175, 126);
        createKickButtonArea(h.backScreenArea, 800, 17, 296, 90);
        h.controlMenu =
            new TMenuButton(CRect(getScaled(1098), getScaled(10), getScaled(1098) + getScaled(17),
                                  getScaled(10) + getScaled(10)),
                            this, 4);
        addControl(h.controlMenu, kPlainKind);
    }

    // ------------------------------------------------------------ 2. main knobs
    for (std::size_t i = 0; i < std::size(kMainKnobs); ++i) {
        const Spot s = placeOf(kMainKnobs[i].tag, PlaceKind::Knob);
        createKnob(c.main.knobs[i], kMainKnobs[i].tag, s.x, s.y, kMainKnobs[i].type, s.off);
    }

    // ------------------------------------------------------------ 3. main switches
    {
        std::size_t k = 0;
        for (int t : kMainSwitchTags) {
            const Spot s = placeOf(t, PlaceKind::Switch);
            CBitmap* face =
                getBitmap(t == tag::FlangerOrPhaser ? kFlangerPhaserBitmap : BITMAP_SWITCH);
            createOnOff(c.main.switches[k++], t, s.x, s.y, face, s.off);
        }
        // Two switches for one parameter: the flanger's and the phaser's. The
        // second takes the tag.
        createOnOff(c.main.switches[k++], 88, 905, 524, placeAt(905, 524, PlaceKind::Switch).off);
        createOnOff(c.main.switches[k++], 88, 983, 524, placeAt(983, 524, PlaceKind::Switch).off);
    }

    // ------------------------------------------------------------ 4. play menus
    {
        editor_controls::Play& pl = c.play;
        auto playMenu = [&](TOptionMenu*& out, int t, std::span<const char* const> entries) {
            const Spot s = placeOf(t, PlaceKind::Menu);
            createMenu(out, t, s.x, s.y, s.width, s.height, entries, true, false, s.off);
        };
        playMenu(pl.playMode, 243, PLAY_MODE_STR);
        playMenu(pl.portamentoMode, 244, PORT_MODE_STR);
        {
            const Spot s = placeAt(1043, 128, PlaceKind::Menu);
            createMenu(pl.playLock, NO_PARAM_TAG, 1043, 128, s.width, s.height,
                       static_cast<int>(LOCK_STR.size()), LOCK_STR.data(), true, false, s.off);
        }
        playMenu(pl.unisonMode, 245, UNI_MODE_STR);
        playMenu(pl.bendDown, 246, PITCH_BEND_STR);
        playMenu(pl.bendUp, 247, PITCH_BEND_STR);
        playMenu(pl.distortMode, 248, DISTORT_MODE_STR);
        if (sizeIndex == 0) {
            for (TOptionMenu* m :
                 {pl.playMode, pl.portamentoMode, pl.playLock, pl.unisonMode, pl.distortMode})
                if (m) m->setTextOff(1);
        }

        // ------------------------------------------------------------ 5. unison picture
        if (CBitmap* picture = getBitmap(BITMAP_UNISON)) {
            const Spot s = placeAt(926, 196, PlaceKind::Icon);
            const int x = scaledX(926, s.off), y = scaledY(196, s.off);
            pl.unisonPicture =
                new TBitmap(CRect(x, y, x + getScaled(36), y + getScaled(9)), picture, this);
        }
    }

    // ------------------------------------------------------------ 6. oscillator
    {
        editor_controls::Osc& o = c.osc;
        const Spot mode = placeAt(22, 214, PlaceKind::Menu);
        createMenu(o.mode, 249, 22, 214, mode.width, 15, OSC_MODE_STR, true, false, mode.off);
        createOscMenu(o.waveA, 14, 129, 106, 81, placeAt(129, 106, PlaceKind::Menu).off);
        createOscMenu(o.waveB, 15, 129, 336, 81, placeAt(129, 336, PlaceKind::Menu).off);
        const Spot oct = placeAt(31, 396, PlaceKind::Menu);
        createMenu(o.octave, 17, 31, 396, 47, oct.height, OSC_OCT_STR, true, true, oct.off);
        if (o.octave) {
            constexpr int kMinusX[4] = {1, 3, 4, 6};
            constexpr int kPlusX[4] = {-1, 0, -2, -5};
            o.octave->setDeltaOff(kMinusX[sizeIndex], kPlusX[sizeIndex]);
        }
        if (CBitmap* strip = getBitmap(kMorphStrip)) {
            const ondix::artwork::PixelRect m = ondix::artwork::morphSliderRect(sizeIndex);
            o.morph = new TVSlider(CRect(m.x, m.y, m.x + m.w, m.y + m.h), this, 16, strip,
                                   CPoint(0, 0), kMorphPositions, sizeIndex);
            // The index marks beside the tape show through the strip's margins.
            o.morph->setTransparency(true);
            addControl(o.morph, kSliderKind);
        }
        o.menuButton =
            new TMenuButton(CRect(getScaled(24), getScaled(90), getScaled(24) + getScaled(65),
                                  getScaled(90) + getScaled(17)),
                            this, 5);
        addControl(o.menuButton, kPlainKind);
    }

    // ------------------------------------------------------------ 7. filter
    editor_controls::Filter& f = c.filter;
    {
        const Spot type = placeAt(695, 127, PlaceKind::Menu);
        createMenu(f.type, 250, 695, 127, 76, type.height, FILTER_TYPE_STR, true, false, type.off);
        if (f.type && sizeIndex == 0) f.type->setTextOff(1);
        createOnOff(f.invertEnvelope, 29, 748, 233, getBitmap(kInvertEnvBitmap),
                    placeAt(748, 233, PlaceKind::Switch).off);
        for (int k = 0; k < 4; ++k) {
            const Spot s = placeOf(30 + k, PlaceKind::Knob, kFilterEnvKnobPage);
            createKnob(f.filterEnvKnobs[k], 30 + k, s.x, s.y, 0, s.off);
        }
        f.filterEnvScreen = new TEnvScreen(getScreenRect(GraphicScreen::FilterEnvelope), this, 1,
                                           30, 31, 32, 33, prefs.decaySustain, sizeIndex);
        addControl(f.filterEnvScreen, kPlainKind);
        f.menuButton =
            new TMenuButton(CRect(getScaled(571), getScaled(90), getScaled(571) + getScaled(61),
                                  getScaled(90) + getScaled(18)),
                            this, 6);
        addControl(f.menuButton, kPlainKind);
        createOnOff(f.envelopeDisplay, NO_PARAM_TAG, 1086, 215,
                    placeAt(1086, 215, PlaceKind::Switch).off);
    }

    // ------------------------------------------------------------ 8. amplifier envelope
    for (int k = 0; k < 4; ++k) {
        const Spot s = placeOf(4 + k, PlaceKind::Knob, kAmpEnvKnobPage);
        createKnob(f.ampEnvKnobs[k], 4 + k, s.x, s.y, 0, s.off);
    }
    f.ampEnvScreen = new TEnvScreen(getScreenRect(GraphicScreen::AmpEnvelope), this, 0, 4, 5, 6, 7,
                                    prefs.decaySustain, sizeIndex);
    addControl(f.ampEnvScreen, kPlainKind);
    selectedFreeLFO = 0;

    // ------------------------------------------------------------ 9. free LFOs
    for (int l = 0; l < 2; ++l) {
        editor_controls::FreeLFO& lfo = c.freeLFO;
        const int speedTag = tag::freeLfoSpeed(l);
        const int modeTag = tag::freeLfoMode(l), waveTag = tag::freeLfoWave(l);
        const int syncTag = tag::freeLfoSync(l);
        const int selX = l == 0 ? 22 : 87;
        createRadio(lfo.select[l], selX, 430, 2, l, getBitmap(10060 + l),
                    placeAt(selX, 430, PlaceKind::Radio).off);
        // Both LFOs share the page's places (the first LFO's in the table).
        const Spot mode = placeOf(tag::freeLfoMode(0), PlaceKind::Menu, kLFOPageBitmap);
        createMenu(lfo.mode[l], modeTag, 9, 21, 57, mode.height, LFO_MODE_STR, true, false,
                   mode.off);
        const Spot wave = placeOf(tag::freeLfoWave(0), PlaceKind::Menu, kLFOPageBitmap);
        createMenu(lfo.wave[l], waveTag, 74, 21, 57, wave.height, LFO_WAVE_STR, true, false,
                   wave.off);
        const Spot readout = placeOf(tag::FreeLfo1Speed, PlaceKind::Readout, kLFOPageBitmap);
        createReadout(lfo.speedReadout[l], 173, 21, 57, 14, "", true, readout.off);
        if (lfo.speedReadout[l]) lfo.speedReadout[l]->setTag(speedTag);
        createMenu(lfo.speedMenu[l], speedTag, 173, 21, 57, 14,
                   static_cast<int>(LFO_PERIOD_STR.size()), LFO_PERIOD_STR.data(), true, false,
                   readout.off);
        const Spot knob = placeOf(tag::FreeLfo1Speed, PlaceKind::Knob, kLFOPageBitmap);
        createKnob(lfo.speedKnob[l], speedTag, 135, 12, 2, knob.off);
        const Spot sync = placeOf(tag::FreeLfo1SyncOn, PlaceKind::Switch, kLFOPageBitmap);
        createOnOff(lfo.sync[l], syncTag, 233, 21, sync.off);
    }

    // ------------------------------------------------------------ 10. free envelopes
    for (int e = 0; e < 2; ++e) {
        editor_controls::FreeEnv& env = c.freeEnv;
        const int selX = e == 0 ? 22 : 87;
        createRadio(env.select[e], selX, 523, 1, e, getBitmap(10062 + e),
                    placeAt(selX, 523, PlaceKind::Radio).off);
        constexpr int kX[5] = {18, 65, 112, 157, 203};
        for (int k = 0; k < 5; ++k) {
            const int t = tag::freeEnv(e, k);
            const Spot s = placeOf(tag::freeEnv(0, k), PlaceKind::Knob, kEnvelopePageBitmap);
            createKnob(env.knobs[e][k], t, kX[k], 11, k == tag::FreeEnvFade ? 3 : 2, s.off);
        }
    }
    createOnOff(c.freeEnv.sync, tag::freeEnv(0, tag::FreeEnvSync), 257, 526,
                placeAt(257, 526, PlaceKind::Switch).off);
    selectedFreeEnv = 0;

    // ------------------------------------------------------------ 11. modulation matrix
    c.mod.menuButton =
        new TMenuButton(CRect(getScaled(22), getScaled(612), getScaled(22) + getScaled(53),
                              getScaled(612) + getScaled(20)),
                        this, 7);
    addControl(c.mod.menuButton, kPlainKind);
    c.mod.screen = new TModScreen(getScreenRect(GraphicScreen::Mod), this, sizeIndex);
    addControl(c.mod.screen, kPlainKind);

    // ------------------------------------------------------------ 12. XY pad
    {
        editor_controls::XY& xy = c.xy;
        // Index, tag and y of the four destination menus, in creation order.
        constexpr int kDest[4][3] = {{0, tag::XYModDestFirst, 146},
                                     {2, tag::XYModDestFirst + 2, 207},
                                     {1, tag::XYModDestFirst + 1, 270},
                                     {3, tag::XYModDestFirst + 3, 334}};
        for (const auto& d : kDest)
            createDestMenu(d[0], d[1], 479, d[2], 73, 13, placeAt(479, d[2], PlaceKind::Menu).off);

        auto xyMenu = [&](TOptionMenu*& out, int t, int x, int y,
                          std::span<const char* const> entries) {
            createMenu(out, t, x, y, 63, 12, entries, true, true,
                       placeAt(x, y, PlaceKind::Menu).off);
        };
        xyMenu(xy.playMode, 447, 270, 358, XY_PLAY_MODE_STR);
        xyMenu(xy.loopMode, 446, 270, 377, XY_LOOP_MODE_STR);
        xyMenu(xy.syncToMode, 448, 270, 396, XY_SYNC_TO_MODE_STR);
        xyMenu(xy.pointQuant, 449, 393, 358, XY_POINT_QUANT_STR);
        xyMenu(xy.spaceQuant, 451, 393, 377, XY_SPACE_QUANT_STR);
        xyMenu(xy.timeQuant, 450, 393, 396, XY_TIME_QUANT_STR);
        if (xy.timeQuant) xy.timeQuant->reverseDelta();

        constexpr int kModeX[3] = {243, 288, 345};
        for (int i = 0; i < 3; ++i)
            createRadio(xy.recordMode[i], kModeX[i], 87, 3, i,
                        placeAt(kModeX[i], 87, PlaceKind::Radio).off);

        if (CBitmap* icon = getBitmap(BITMAP_MENU_ICON)) {
            const int x = getScaled(534), y = getScaled(377);
            xy.menuButton = new TMenuButton(
                CRect(x, y, x + icon->getWidth(), y + icon->getHeight() / 2), this, 2);
            addControl(xy.menuButton, kPlainKind);
        }
        if (CBitmap* face = getBitmap(BITMAP_SWITCH)) {
            const int x = getScaled(534), y = getScaled(396);
            xy.drawOsc = new TOnOff(CRect(x, y, x + face->getWidth(), y + face->getHeight() / 2),
                                    this, 1024, face, 0);
        }
        if (CBitmap* strip = getBitmap(kSpeedStrip)) {
            const Spot s = placeAt(375, 90, PlaceKind::Slider);
            const int x = scaledX(375, s.off), y = scaledY(90, s.off);
            xy.speed = new THSlider(CRect(x, y, x + strip->getWidth(),
                                          y + static_cast<int>(strip->getHeight() / kSpeedFrames)),
                                    this, 49, strip, CPoint(0, 0), kSpeedFrames);
            addControl(xy.speed, kSliderKind);
        }
        xy.screen = new TXYScreen(getScreenRect(GraphicScreen::XY), this, sizeIndex);
        addControl(xy.screen, kPlainKind);
    }

    // ------------------------------------------------------------ 13. effects page
    for (int k = 0; k < 6; ++k) {
        const Spot fl = placeOf(89 + k, PlaceKind::Knob, kFlangerPage);
        createKnob(c.fx.flanger[k], 89 + k, fl.x, fl.y, kFlangerKnobTypes[k], fl.off);
    }
    for (int k = 0; k < 6; ++k) {
        const Spot ph = placeOf(95 + k, PlaceKind::Knob, kPhaserPage);
        createKnob(c.fx.phaser[k], 95 + k, ph.x, ph.y, kFlangerKnobTypes[k], ph.off);
    }

    // ------------------------------------------------------------ 14. lower-page selector
    createRadio(c.main.pageSelect[0], 296, 428, 0, 0, getBitmap(10064),
                placeAt(296, 428, PlaceKind::Radio).off);
    createRadio(c.main.pageSelect[1], 380, 428, 0, 1, getBitmap(10065),
                placeAt(380, 428, PlaceKind::Radio).off);

    // ------------------------------------------------------------ 15. arpeggiator page
    {
        editor_controls::Arp& a = c.arp;
        createOnOff(a.on, 116, 428, 432, placeAt(428, 432, PlaceKind::Switch).off);
        auto arpMenu = [&](TOptionMenu*& out, int t, int x, int y, int width,
                           std::span<const char* const> entries) {
            const Spot s = placeAt(x, y, PlaceKind::Menu);
            createMenu(out, t, x, y, width, s.height ? s.height : 14, entries, true, false, s.off);
        };
        arpMenu(a.speed, 119, 470, 432, 58, ARP_SPEED_STR);
        arpMenu(a.mode, 291, 534, 432, 58, ARP_MODE_STR);
        arpMenu(a.octave, 292, 597, 432, 58, ARP_OCT_STR);
        arpMenu(a.tiedMode, 293, 661, 432, 58, ARP_TIED_MODE_STR);
        {
            const Spot s = placeAt(724, 432, PlaceKind::Menu);
            createMenu(a.lock, NO_PARAM_TAG, 724, 432, 58, s.height ? s.height : 14,
                       static_cast<int>(LOCK_STR.size()), LOCK_STR.data(), true, false, s.off);
        }
        if (sizeIndex == 0) {
            for (TOptionMenu* m : {a.speed, a.mode, a.octave, a.tiedMode, a.lock})
                if (m) m->setTextOff(1);
        }
        arpMenu(a.numSteps, 117, 341, 686, 35, ARP_STEPS_STR);
        arpMenu(a.loopStart, 118, 589, 686, 35, ARP_STEPS_STR);
        arpMenu(a.stepsCatchup, 296, 389, 686, 66, ARP_CATCHUP_STR);
        arpMenu(a.loopStartCatchup, 297, 636, 686, 66, ARP_CATCHUP_STR);
        arpMenu(a.loopMode, 295, 467, 686, 66, ARP_LOOP_MODE_STR);
        arpMenu(a.ratchetMode, 294, 715, 686, 66, ARP_RATCHET_MODE_STR);
        arpMenu(a.magicSteps, 124, 467, 722, 66, ARP_MAGIC_STEPS_STR);
        arpMenu(a.magicMode, 298, 590, 722, 66, ARP_MAGIC_MODE_STR);
        for (int k = 0; k < 7; ++k) {
            const Spot s = placeOf(kArpKnobTags[k], PlaceKind::Knob);
            createKnob(a.knobs[k], kArpKnobTags[k], s.x, s.y, 2, s.off);
        }
        auto arpSwitch = [&](TOnOff*& out, int t) {
            const Spot s = placeOf(t, PlaceKind::Switch);
            createOnOff(out, t, s.x, s.y, s.off);
        };
        arpSwitch(a.keyEntry, 127);
        arpSwitch(a.hostSync, 125);
        arpSwitch(a.latch, 126);
        if (CBitmap* icon = getBitmap(BITMAP_MENU_ICON)) {
            const int x = getScaled(800), y = getScaled(432);
            a.menuButton = new TMenuButton(
                CRect(x, y, x + icon->getWidth(), y + icon->getHeight() / 2), this, 1);
            addControl(a.menuButton, kPlainKind);
        }
        a.screen = new TArpScreen(getScreenRect(GraphicScreen::Arp), this, sizeIndex);
        addControl(a.screen, kPlainKind);
    }
    selectedWave = 0;
    waveDrawMode = 0;
    partialView = 0;

    // ------------------------------------------------------------ 16. user-wave page
    {
        editor_controls::Wave& w = c.wave;
        auto radio = [&](TRadioButton*& out, int x, int group, int index) {
            createRadio(out, x, 432, group, index, placeAt(x, 432, PlaceKind::Radio).off);
        };
        radio(w.select[0], 487, 4, 0);
        radio(w.select[1], 534, 4, 1);
        radio(w.drawMode[0], 587, 5, 0);
        radio(w.drawMode[1], 626, 5, 1);
        radio(w.drawMode[2], 666, 5, 2);
        radio(w.view[0], 716, 6, 0);
        radio(w.view[1], 763, 6, 1);
        createOnOff(w.expPartials, 996, 804, 432, placeAt(804, 432, PlaceKind::Switch).off);
        const Spot shaper = placeAt(444, 704, PlaceKind::Menu);
        createMenu(w.shaperMenu, 995, 444, 704, 65, shaper.height ? shaper.height : 14,
                   WAVE_SHAPER_STR, true, false, shaper.off);
        createKnob(w.shaperKnobs[0], 993, 520, 695, 2, placeAt(520, 695, PlaceKind::Knob).off);
        createKnob(w.shaperKnobs[1], 994, 562, 695, 2, placeAt(562, 695, PlaceKind::Knob).off);

        // Wave presets: the factory waves in six groups, then the saved ones.
        {
            const Spot s = placeAt(296, 704, PlaceKind::Menu);
            const int x = scaledX(296, s.off), y = scaledY(704, s.off);
            const CRect r(x, y, x + getScaled(138), y + getScaled(14));
            w.presetMenu = new TOptionMenu(r, this, NO_PARAM_TAG, nullptr, nullptr, kMenuStyle,
                                           sizeIndex, true, true);
            w.presetMenu->setWavePresetMenu();
            int first = 0;
            for (int g = 0; g < 6; ++g) {
                TOptionMenu* group = makeSubMenu(r, kWaveSubMenuStyle, false, WAVE_STR.data(),
                                                 first, first + kWaveGroupSizes[g]);
                first += kWaveGroupSizes[g];
                w.presetMenu->addEntry(group, WAVE_SUB_STR[g]);
                group->forget();
            }
            TOptionMenu* saved = makeSubMenu(r, kWaveSubMenuStyle, false, nullptr, 0, 0);
            const int count = p->getWavePresetNo();
            if (count == 0) saved->addEntry("No Presets");
            for (int n = 0; n < count; ++n) saved->addEntry(p->getWavePresetStrFromNo(n).c_str());
            w.presetMenu->addEntry(saved, WAVE_SUB_STR[6]);
            saved->forget();
            addControl(w.presetMenu, kMenuKind);
        }

        auto kick = [&](CKickButton*& out, int x) {
            createKickButton(out, x, 704, placeAt(x, 704, PlaceKind::Kick).off);
        };
        kick(w.apply, 613);
        kick(w.undo, 650);
        kick(w.clear, 687);
        kick(w.load, 724);
        kick(w.save, 761);
        if (CBitmap* icon = getBitmap(BITMAP_MENU_ICON)) {
            const int x = getScaled(798), y = getScaled(704);
            w.menuButton = new TMenuButton(
                CRect(x, y, x + icon->getWidth(), y + icon->getHeight() / 2), this, 3);
            addControl(w.menuButton, kPlainKind);
        }
        w.screen = new TWaveScreen(getScreenRect(GraphicScreen::Wave), this, sizeIndex);
        addControl(w.screen, kPlainKind);
    }
}

VSTGUI::CRect uEditor::getScreenRect(GraphicScreen screen) const {
    const int i = clampSizeIndex(sizeIndex);
    auto fromTables = [i](const int(&x)[4], const int(&y)[4], const int(&w)[4], const int(&h)[4]) {
        return CRect(x[i], y[i], x[i] + w[i], y[i] + h[i]);
    };
    auto designed = [this](int x, int y, int width, int height, const Offsets& off) {
        const int left = scaledX(x, off), top = scaledY(y, off);
        return CRect(left, top, left + getScaled(width), top + getScaled(height));
    };
    switch (screen) {
    case GraphicScreen::Arp:
        return fromTables({331, 416, 497, 662}, {473, 592, 710, 946}, {490, 613, 736, 982},
                          {188, 236, 282, 376});
    case GraphicScreen::Mod:
        return fromTables({25, 31, 37, 50}, {648, 812, 975, 1300}, {250, 313, 376, 500},
                          {104, 131, 157, 208});
    case GraphicScreen::XY:
        return designed(227, 110, 239, 239, {{}, {0, 2, 2}});
    case GraphicScreen::Wave:
        return designed(302, 473, 522, 188, {});
    case GraphicScreen::FilterEnvelope:
    case GraphicScreen::AmpEnvelope:
        return designed(4, 4, 235, 69, {});
    }
    return {};
}

// Every control pointer is forgotten once and nulled, the main knobs first.
// The frame and the sub-pages have given their views back by now.
void uEditor::removeControls() {
    controls.forEach([](auto*& control) { removeControl(control); });
}
