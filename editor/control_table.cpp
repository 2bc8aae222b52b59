// The control table and the factories that build every control of the
// editor's screens, the moves between option menus and stepped parameters,
// the radio groups' wheel stepping and a knob's modulation display.
//
// Geometry: a design coordinate v becomes trunc(v x SCALE) plus the control's
// offset for the size (v itself at 100 %); a design width or height is scaled
// the same way without offset. Sizes taken from a bitmap are used as they
// are: the bitmaps are already those of the current size.

#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/mod_slots.h"
#include "core/vocabulary.h"
#include "editor/ueditor.h"

#include <algorithm>

using namespace VSTGUI;

namespace {

constexpr int kModStripFirst = 10030; // knob modulation strips, one per knob type
constexpr int kSmallPointer = 10034;  // pointer strip of knob types 0 and 1
constexpr int kLargePointer = 10035;  // pointer strip of knob types 2 and 3
constexpr int kKnobFrames = 149;
constexpr int32_t kMenuStyle = 0x100;
constexpr int32_t kSubMenuStyle = 0x110;
constexpr int kOscMenuHeight = 17;

// The radio groups: how many states each has.
constexpr int kRadioStates[7] = {2, 2, 2, 3, 2, 3, 2};

// Wave numbers of the oscillator menu: the first 16 waves in the menu
// itself, then five groups in submenus, then the two user waves.
constexpr int kOscMainWaves = 16;
constexpr int kOscGroupEnd[5] = {55, 87, 119, 151, 183};
constexpr int kOscUserFirst = 183;

CRect rectAt(CCoord x, CCoord y, CCoord width, CCoord height) {
    return CRect(x, y, x + width, y + height);
}

} // namespace

// ------------------------------------------------------------------ the table

void uEditor::addControl(CControl* control, int kind) {
    APlugin* p = plugin();
    if (!p || !frame || !control) return;
    if (table.count >= tag::Count) return;
    const int slot = table.count++;
    table.control[slot] = control;
    table.kind[slot] = kind;
    table.tooltipEnabled[slot] = kind != kPlainKind;
    const int t = control->getTag();
    if (isValidTag(t)) {
        table.tagKind[t] = kind;
        table.tagToControl[t] = slot;
        control->setDefaultValue(p->getDefaultValue(t));
        control->setValue(p->getParameter(t));
    } else {
        control->setDefaultValue(0.0f);
        control->setValue(0.0f);
    }
}

CControl* uEditor::getTagControl(int t) const {
    if (!isValidTag(t) || table.tagToControl[t] < 0) return nullptr;
    return table.control[table.tagToControl[t]];
}

int uEditor::getTagKind(int t) const {
    if (!isValidTag(t) || table.tagToControl[t] < 0) return -1;
    return table.tagKind[t];
}

CControl* uEditor::getTableControl(int slot) const {
    return slot >= 0 && slot < table.count ? table.control[slot] : nullptr;
}

int uEditor::getTableKind(int slot) const {
    return slot >= 0 && slot < table.count ? table.kind[slot] : -1;
}

bool uEditor::getTooltipEnabled(int slot) const {
    return slot >= 0 && slot < table.count && table.tooltipEnabled[slot];
}

int uEditor::scaledX(int x, const Offsets& off) const {
    return getScaled(x, off.dx[0], off.dx[1], off.dx[2]);
}

int uEditor::scaledY(int y, const Offsets& off) const {
    return getScaled(y, off.dy[0], off.dy[1], off.dy[2]);
}

// ------------------------------------------------------------------ buttons

void uEditor::createOnOff(TOnOff*& out, int t, int x, int y, CBitmap* bitmap, const Offsets& off) {
    if (!bitmap) return;
    const CRect r =
        rectAt(scaledX(x, off), scaledY(y, off), bitmap->getWidth(), bitmap->getHeight() / 2);
    out = new TOnOff(r, this, t, bitmap, 0);
    addControl(out, kOnOffKind);
}

void uEditor::createOnOff(TOnOff*& out, int t, int x, int y, const Offsets& off) {
    createOnOff(out, t, x, y, getBitmap(BITMAP_SWITCH), off);
}

void uEditor::createKickButton(CKickButton*& out, int x, int y, int t, CBitmap* bitmap,
                               const Offsets& off) {
    if (!bitmap) return;
    const CRect r =
        rectAt(scaledX(x, off), scaledY(y, off), bitmap->getWidth(), bitmap->getHeight() / 2);
    out = new CKickButton(r, this, t, bitmap, CPoint(0, 0));
    addControl(out, kPlainKind);
}

void uEditor::createKickButton(CKickButton*& out, int x, int y, CBitmap* bitmap,
                               const Offsets& off) {
    createKickButton(out, x, y, NO_PARAM_TAG, bitmap, off);
}

void uEditor::createKickButton(CKickButton*& out, int x, int y, const Offsets& off) {
    createKickButton(out, x, y, NO_PARAM_TAG, getBitmap(BITMAP_SWITCH), off);
}

void uEditor::createKickButtonArea(CKickButton*& out, int x, int y, int width, int height,
                                   const Offsets& off) {
    const CRect r =
        rectAt(scaledX(x, off), scaledY(y, off), getScaled(width), getScaled(height) / 2);
    out = new CKickButton(r, this, NO_PARAM_TAG, nullptr, CPoint(0, 0));
    addControl(out, kPlainKind);
}

void uEditor::createRadio(TRadioButton*& out, int x, int y, int group, int index, CBitmap* bitmap,
                          const Offsets& off) {
    if (!bitmap) return;
    const CRect r =
        rectAt(scaledX(x, off), scaledY(y, off), bitmap->getWidth(), bitmap->getHeight() / 2);
    out = new TRadioButton(r, this, bitmap, group, index);
    addControl(out, kPlainKind);
}

void uEditor::createRadio(TRadioButton*& out, int x, int y, int group, int index,
                          const Offsets& off) {
    createRadio(out, x, y, group, index, getBitmap(BITMAP_SWITCH), off);
}

// ------------------------------------------------------------------ knobs and readouts

void uEditor::createKnob(TKnob*& out, int t, int x, int y, int type, const Offsets& off) {
    const int knobType = std::clamp(type, 0, 3);
    CBitmap* modStrip = getBitmap(kModStripFirst + knobType);
    if (!modStrip) return;
    CBitmap* pointer = getBitmap(knobType < 2 ? kSmallPointer : kLargePointer);
    const CCoord width = pointer ? pointer->getWidth() : modStrip->getWidth();
    const CCoord height =
        static_cast<int>((pointer ? pointer->getHeight() : modStrip->getHeight()) / kKnobFrames);
    const CRect r = rectAt(scaledX(x, off), scaledY(y, off), width, height);
    out = new TKnob(r, this, t, pointer, modStrip, CPoint(0, 0), kKnobFrames);
    addControl(out, kKnobKind);
}

void uEditor::createReadout(TReadout*& out, int x, int y, int width, int height,
                            const std::string& text, bool centred, const Offsets& off) {
    const CRect r = rectAt(scaledX(x, off), scaledY(y, off), getScaled(width), getScaled(height));
    out = new TReadout(r, this, text, sizeIndex, centred, false);
    addControl(out, kPlainKind);
}

// ------------------------------------------------------------------ menus

void uEditor::createMenu(TOptionMenu*& out, int t, int x, int y, int width, int height, int count,
                         const char* const* entries, bool centred, bool deltaArrows,
                         const Offsets& off) {
    const CRect r = rectAt(scaledX(x, off), scaledY(y, off), getScaled(width), getScaled(height));
    out =
        new TOptionMenu(r, this, t, nullptr, nullptr, kMenuStyle, sizeIndex, centred, deltaArrows);
    for (int i = 0; entries && i < count; ++i) out->addEntry(entries[i]);
    addControl(out, kMenuKind);
}

void uEditor::createMenu(TOptionMenu*& out, int t, int x, int y, int width, int height,
                         std::span<const char* const> entries, bool centred, bool deltaArrows,
                         const Offsets& off) {
    APlugin* p = plugin();
    if (!p) return;
    const int count = std::min(p->getSteppedNum(t), static_cast<int>(entries.size()));
    createMenu(out, t, x, y, width, height, std::max(count, 0), entries.data(), centred,
               deltaArrows, off);
}

void uEditor::createMenu(TOptionMenu*& out, int t, int x, int y, CBitmap* bitmap, int count,
                         const char* const* entries, bool centred, bool deltaArrows,
                         const Offsets& off) {
    if (!bitmap) return;
    const CRect r =
        rectAt(scaledX(x, off), scaledY(y, off), bitmap->getWidth(), bitmap->getHeight());
    out = new TOptionMenu(r, this, t, bitmap, nullptr, kMenuStyle, sizeIndex, centred, deltaArrows);
    for (int i = 0; entries && i < count; ++i) out->addEntry(entries[i]);
    addControl(out, kMenuKind);
}

TOptionMenu* uEditor::makeSubMenu(const CRect& r, int style, bool centred,
                                  const char* const* entries, int first, int last) {
    auto* menu = new TOptionMenu(r, nullptr, NO_PARAM_TAG, nullptr, nullptr, style, sizeIndex,
                                 centred, false);
    for (int i = first; entries && i < last; ++i) menu->addEntry(entries[i]);
    return menu;
}

void uEditor::createOscMenu(std::array<TOptionMenu*, 6>& menus, int t, int x, int y, int width,
                            const Offsets& off) {
    const CRect r =
        rectAt(scaledX(x, off), scaledY(y, off), getScaled(width), getScaled(kOscMenuHeight));
    menus[0] = new TOptionMenu(r, this, t, nullptr, nullptr, kMenuStyle, sizeIndex, true, true);
    int first = kOscMainWaves;
    for (int g = 0; g < 5; ++g) {
        menus[g + 1] =
            new TOptionMenu(r, this, t, nullptr, nullptr, kMenuStyle, sizeIndex, true, false);
        for (int i = first; i < kOscGroupEnd[g]; ++i) menus[g + 1]->addEntry(OSC_WAVE_STR[i]);
        first = kOscGroupEnd[g];
    }
    TOptionMenu* main = menus[0];
    for (int i = 0; i < kOscMainWaves; ++i) main->addEntry(OSC_WAVE_STR[i]);
    for (int g = 0; g < 5; ++g) main->addEntry(menus[g + 1], WAVE_SUB_STR[g + 1]);
    for (int i = kOscUserFirst; i < static_cast<int>(OSC_WAVE_STR.size()); ++i)
        main->addEntry(OSC_WAVE_STR[i]);
    addControl(main, kMenuKind);
}

void uEditor::createDestMenu(int index, int t, int x, int y, int width, int height,
                             const Offsets& off) {
    if (index < 0 || index > 3) return;
    const CRect r = rectAt(scaledX(x, off), scaledY(y, off), getScaled(width), getScaled(height));
    TOptionMenu*& main = controls.xy.destMenu[index];
    main = new TOptionMenu(r, this, t, nullptr, nullptr, kMenuStyle, sizeIndex, true, false);
    main->addEntry("None");
    for (int g = 0; g < dst::GroupCount; ++g) {
        TOptionMenu*& sub = controls.xy.destSubMenu[index][g];
        sub = makeSubMenu(r, kSubMenuStyle, false, DEST_STR.data(), dst::GroupFirst[g],
                          dst::GroupEnd[g]);
        main->addEntry(sub, DEST_SUB_STR[g]);
    }
    addControl(main, kMenuKind);
}

// ------------------------------------------------------------------ menus and stepped parameters

void uEditor::setMenuValue(CControl* menu) {
    APlugin* p = plugin();
    auto* m = dynamic_cast<COptionMenu*>(menu);
    if (!p || !m) return;
    p->setSteppedValue(m->getTag(), m->getCurrentIndex(false));
}

void uEditor::setMenuValue(int t, int step) {
    if (APlugin* p = plugin(); p && isValidTag(t)) p->setSteppedValue(t, step);
}

void uEditor::resumeMenu(TOptionMenu* menu) {
    APlugin* p = plugin();
    if (!p || !menu) return;
    menu->setValue(static_cast<float>(p->getSteppedValue(menu->getTag())));
}

void uEditor::resumeSubMenu(TOptionMenu* menu, int t, std::span<const char* const> table) {
    APlugin* p = plugin();
    if (!p || !menu || table.empty()) return;
    const int step = std::clamp(p->getSteppedValue(t), 0, static_cast<int>(table.size()) - 1);
    menu->setString(table[static_cast<std::size_t>(step)]);
}

void uEditor::setModValue(TKnob* knob) {
    if (APlugin* p = plugin(); p && knob) knob->setModValue(p->getModValue(knob->getTag()));
}

// ------------------------------------------------------------------ radio groups

void uEditor::changeRadioDelta(int group, int delta) {
    if (group < 0 || group > 6) return;
    int old = 0;
    switch (group) {
    case 0:
        old = mainPage;
        break;
    case 1:
        old = selectedFreeEnv;
        break;
    case 2:
        old = selectedFreeLFO;
        break;
    case 3:
        if (!plugin()) return;
        old = plugin()->getSteppedValue(tag::XYRecordMode);
        break;
    case 4:
        old = selectedWave;
        break;
    case 5:
        old = waveDrawMode;
        break;
    case 6:
        old = partialView;
        break;
    }
    const int n = kRadioStates[group];
    setRadioGroup(group, ((old + delta) % n + n) % n);
}

// Stores a group's new state and does what follows from it.
void uEditor::setRadioGroup(int group, int state) {
    auto match = [](auto& buttons, int on) {
        for (std::size_t i = 0; i < buttons.size(); ++i)
            if (buttons[i]) buttons[i]->setState(static_cast<int>(i) == on);
    };
    switch (group) {
    case 0:
        mainPage = state;
        showMainScreen();
        break;
    case 1:
        selectedFreeEnv = state;
        match(controls.freeEnv.select, state);
        requests.rebuildFreeEnvPage = true;
        break;
    case 2:
        selectedFreeLFO = state;
        match(controls.freeLFO.select, state);
        requests.rebuildFreeLFOPage = true;
        break;
    case 3:
        if (APlugin* p = plugin()) p->setSteppedValue(tag::XYRecordMode, state);
        requests.refreshXYMode = true;
        break;
    case 4:
        selectedWave = state;
        if (controls.wave.screen) controls.wave.screen->setWave(selectedWave);
        showMainScreen();
        break;
    case 5:
        waveDrawMode = state;
        if (controls.wave.screen) controls.wave.screen->setDrawMode(waveDrawMode);
        showMainScreen();
        break;
    case 6:
        partialView = state;
        if (controls.wave.screen) controls.wave.screen->setMode(partialView);
        showMainScreen();
        match(controls.wave.view, state);
        break;
    default:
        break;
    }
}
