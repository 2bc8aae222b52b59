// The back (settings) screen: its controls, made once per opening of the
// window, and showing it in the frame.
//
// A click anywhere on the screen that no setting takes returns to the main
// screen: the "To Main Screen" button covers the whole screen and is the
// first view attached, so every setting lies above it.

#include "controls/tbuttons.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "core/aplugin.h"
#include "core/vocabulary.h"
#include "editor/artwork.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"

#include <algorithm>
#include <cstdio>

using namespace VSTGUI;
using ondix::artwork::ControlPlace;
using ondix::artwork::PlaceKind;

namespace {

constexpr int kScreenBitmap = 10000; // the size of the whole screen

// The per-size offsets the layout table gives the control at a design
// position (none when it has none there).
uEditor::Offsets offsetsAt(int x, int y, PlaceKind kind) {
    for (const ControlPlace& p : ondix::artwork::controlPlaces())
        if (p.page == 0 && p.x == x && p.y == y && p.kind == kind) return {p.dx, p.dy};
    return {};
}

// The stored A4 pitch when it lies in 10..10000 Hz, else 440.
int storedA4() {
    return a4OrDefault(loadIntFromPrefs(REG_A4_STR));
}

} // namespace

void uEditor::createBackScreen() {
    APlugin* p = plugin();
    if (!p) return;
    editor_controls::Back& b = controls.back;

    CBitmap* screen = getBitmap(kScreenBitmap);
    const CRect whole(0, 0, screen ? screen->getWidth() : getScaled(DESIGN_WIDTH),
                      screen ? screen->getHeight() : getScaled(DESIGN_HEIGHT));
    b.toMain = new CKickButton(whole, this, NO_PARAM_TAG, nullptr, CPoint(0, 0));

    createMenu(b.midiChannel, NO_PARAM_TAG, 214, 414, 74, 14,
               static_cast<int>(MIDI_IN_CHANNEL_STR.size()), MIDI_IN_CHANNEL_STR.data(), true,
               false, offsetsAt(214, 414, PlaceKind::Menu));

    CBitmap* face = getBitmap(BITMAP_SWITCH);
    auto backSwitch = [&](TOnOff*& out, int y) {
        createOnOff(out, NO_PARAM_TAG, 125, y, face, offsetsAt(125, y, PlaceKind::Switch));
    };
    backSwitch(b.midiPreset, 432);
    backSwitch(b.midiBank, 452);
    backSwitch(b.altMidi, 472);
    backSwitch(b.keyboard, 492);
    backSwitch(b.presetWarning, 512);
    backSwitch(b.decaySustain, 532);

    createMenu(b.screenSize, NO_PARAM_TAG, 214, 552, 74, 14,
               static_cast<int>(SCREEN_SIZE_STR.size()), SCREEN_SIZE_STR.data(), true, false,
               offsetsAt(214, 552, PlaceKind::Menu));

    // The three text fields are not parameters' controls: they stay out of
    // the table.
    auto field = [&](int x, int y, int width, int height, PlaceKind kind) {
        const Offsets off = offsetsAt(x, y, kind);
        const int left = scaledX(x, off), top = scaledY(y, off);
        return CRect(left, top, left + getScaled(width), top + getScaled(height));
    };
    const VstInt32 version = p->getVendorVersion();
    char versionText[64];
    // The platform word, then the version as major.minor.patch.
    std::snprintf(versionText, sizeof versionText, "Linux v%d.%d.%d", (version >> 16) & 0xFF,
                  (version >> 8) & 0xFF, version & 0xFF);
    b.version = new TReadout(field(128, 170, 190, 19, PlaceKind::Readout), this, versionText,
                             sizeIndex, false, false);
    b.a4Tuning = new TReadout(field(150, 571, 74, 15, PlaceKind::Readout), this, "440 Hz",
                              sizeIndex, true, true);
    createKickButton(b.resetTuning, 466, 572, NO_PARAM_TAG, face,
                     offsetsAt(466, 572, PlaceKind::Kick));
    b.loadTuning = new TReadout(field(306, 571, 142, 15, PlaceKind::Readout), this, "Tuning",
                                sizeIndex, true, true);
}

void uEditor::showBackScreen(bool /*unused*/) {
    APlugin* p = plugin();
    if (!frame || !p) return;
    editor_controls::Back& b = controls.back;

    frame->removeAll(false);
    frame->invalid();
    frame->setDirty(false);
    frame->setBackground(getBitmap(10003));

    auto attach = [&](CView* view) {
        if (view) frame->addView(view);
    };
    attach(b.toMain);
    attach(b.version);
    attach(b.keyboard);
    attach(b.presetWarning);
    attach(b.altMidi);
    attach(b.midiPreset);
    attach(b.midiBank);
    attach(b.screenSize);
    attach(b.decaySustain);
    attach(b.midiChannel);

    auto fromPrefs = [](TOnOff* button, const char* key, bool def) {
        if (button) button->setState(getRegisterIsOn(key, def));
    };
    fromPrefs(b.presetWarning, REG_PRESET_WARNING_STR, false);
    fromPrefs(b.keyboard, REG_KEYBOARD_STR, true);
    fromPrefs(b.altMidi, REG_MIDI_CAPTURE_STR, true);
    fromPrefs(b.midiPreset, REG_MIDI_PRESET_STR, true);
    fromPrefs(b.midiBank, REG_MIDI_BANK_STR, true);
    if (b.decaySustain) b.decaySustain->setState(getDecaySustainPref());

    if (b.screenSize) {
        b.screenSize->setString(vocabAt(SCREEN_SIZE_SHORT_STR, sizeIndex));
        b.screenSize->setDirty(true);
    }
    if (b.midiChannel) {
        const int channel = std::clamp(loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR), 0, 16);
        b.midiChannel->setString(MIDI_IN_CHANNEL_STR[static_cast<std::size_t>(channel)]);
    }

    attach(b.a4Tuning);
    if (b.a4Tuning) b.a4Tuning->setString(std::to_string(storedA4()) + "hz");
    attach(b.resetTuning);
    attach(b.loadTuning);
    if (b.loadTuning) b.loadTuning->setString(p->getTuningName());

    screenCode = SCREEN_BACK;
    frame->setDirty(true);
}
