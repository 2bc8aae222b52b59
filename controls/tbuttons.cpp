#include "controls/tbuttons.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/numeric.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;
// A bypassed switch: its face at 64 of 255 over a black veil.
constexpr float kBypassedAlpha = 64.0f / 255.0f;
constexpr CColor kBypassVeil{0, 0, 0, 150};

// Frame int(value) of a two-frame bitmap (off above on); a value beyond
// 0..1 shows the nearer frame.
void drawTwoFrame(CDrawContext* context, CBitmap* bitmap, const CRect& rect, float value,
                  float alpha) {
    const int frame = truncTo(value, 0, 1);
    const CCoord top = bitmap->getHeight() * frame * 0.5;
    bitmap->draw(context, rect, CPoint(0, top), alpha);
}

} // namespace

// ------------------------------------------------------------------ TMenuButton

TMenuButton::TMenuButton(const CRect& rect, IControlListener* listener, int kind)
    : CControl(rect, listener, NO_PARAM_TAG, nullptr), kind(kind) {}

TMenuButton::TMenuButton(const TMenuButton& other) : CControl(other), kind(other.kind) {}

void TMenuButton::draw(CDrawContext* context) {
    uEditor* editor = editorOf(this);
    if (!editor || !editor->getEditorFinishedOpening()) return;
    // Kinds 4 and up lie invisibly over the editor's artwork.
    if (kind < 4) {
        if (CBitmap* icon = editor->getBitmap(BITMAP_MENU_ICON))
            icon->draw(context, getViewSize(), CPoint(0, 0), 1.0f);
    }
    setDirty(false);
}

CMouseEventResult TMenuButton::onMouseDown(CPoint& /*where*/, const CButtonState& /*buttons*/) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    if (!editor || !pluginOf(editor)) return kDone;
    switch (kind) {
    case 1:
        editor->showArpMenu(-1, -1, false);
        break;
    case 2:
        editor->showXYMenu();
        break;
    case 3:
        editor->showWaveMenu(-1);
        break;
    case 4:
        editor->showControlMenu();
        break;
    case 5:
        editor->showOscMenu();
        break;
    case 6:
        editor->showFilterMenu();
        break;
    case 7:
        editor->showModMenu(-1);
        break;
    default:
        break;
    }
    setDirty(true);
    return kMouseEventHandled;
}

// ------------------------------------------------------------------ TOnOff

TOnOff::TOnOff(const CRect& rect, IControlListener* listener, int32_t tag, CBitmap* bitmap,
               int32_t style)
    : COnOffButton(rect, listener, tag, bitmap, style) {}

void TOnOff::draw(CDrawContext* context) {
    if (!mayDraw(this) || !background) return;
    // A switch's label lies beneath its translucent face: fading the face
    // alone would bring the label out brighter than on a switch in use, so a
    // bypassed switch first veils what lies beneath.
    if (bypassed) {
        context->setFillColor(kBypassVeil);
        context->drawRect(getViewSize(), kDrawFilled);
    }
    drawTwoFrame(context, background, getViewSize(), value, bypassed ? kBypassedAlpha : 1.0f);
    setDirty(false);
}

CMouseEventResult TOnOff::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    if (!editor || !pluginOf(editor)) return kDone;
    if (anyOf(buttons, kShift | kControl | kAlt | kApple) && listener &&
        listener->controlModifierClicked(this, buttons) != 0)
        return kDone;
    value = truncTo(value, -1, 1) == 0 ? 1.0f : 0.0f;
    setDirty(true);
    beginEdit();
    valueChanged();
    endEdit();
    return kMouseEventHandled;
}

void TOnOff::setState(bool on) {
    value = on ? 1.0f : 0.0f;
    setDirty(true);
}

void TOnOff::setBypassed(bool state) {
    if (state == bypassed) return;
    bypassed = state;
    setDirty(true);
}

// ------------------------------------------------------------------ TRadioButton

TRadioButton::TRadioButton(const CRect& rect, IControlListener* listener, CBitmap* bitmap,
                           int group, int index)
    : CControl(rect, listener, NO_PARAM_TAG, nullptr), group(group), index(index), bitmap(bitmap) {
    if (bitmap) bitmap->remember();
}

TRadioButton::TRadioButton(const TRadioButton& other)
    : CControl(other), group(other.group), index(other.index), bitmap(other.bitmap) {
    if (bitmap) bitmap->remember();
}

TRadioButton::~TRadioButton() {
    if (bitmap) bitmap->forget();
}

void TRadioButton::draw(CDrawContext* context) {
    if (!mayDraw(this) || !bitmap) return;
    drawTwoFrame(context, bitmap, getViewSize(), value, 1.0f);
    setDirty(false);
}

CMouseEventResult TRadioButton::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    if (!editor) return kDone;
    const bool menuClick = anyOf(buttons, kMenuClick);
    if (menuClick && (group == 1 || group == 2)) {
        editor->showFreeMod(group, index);
        return kDone;
    }
    if (menuClick && group == 0) {
        if (index >= 1)
            editor->showArpMenu(-1, -1, false);
        else
            editor->showWaveMenu(-1);
        return kDone;
    }
    // An on button stays on; the editor turns the group's others off.
    if (value < 0.5f) {
        value = 1.0f - value;
        setDirty(true);
        valueChanged();
    }
    return kMouseEventHandled;
}

bool TRadioButton::onWheel(const CPoint& /*where*/, const float& distance,
                           const CButtonState& /*buttons*/) {
    uEditor* editor = editorOf(this);
    if (!editor) return false;
    editor->changeRadioDelta(group, -wheelStep(distance));
    return true;
}

void TRadioButton::setState(bool on) {
    value = on ? 1.0f : 0.0f;
    setDirty(true);
}
