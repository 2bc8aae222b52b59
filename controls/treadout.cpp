#include "controls/treadout.h"

#include "controls/control_access.h"
#include "core/aplugin.h"
#include "core/tags.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <cstring>

using namespace VSTGUI;
using namespace ControlAccess;

namespace {

constexpr CMouseEventResult kDone = kMouseDownEventHandledButDontNeedMovedOrUpEvents;

// The two readouts that show a parameter's value and edit it by typing.
bool isNumericEntryTag(int32_t t) {
    return t == tag::freeLfoSpeed(0) || t == tag::freeLfoSpeed(1);
}

} // namespace

// ------------------------------------------------------------------ TReadout

TReadout::TReadout(const CRect& rect, IControlListener* listener, std::string text, int size,
                   bool centred, bool clickable)
    : CControl(rect, listener, NO_PARAM_TAG, nullptr), clickable(clickable),
      sizeIndex(clampSizeIndex(size)), text(std::move(text)),
      textAlign(centred ? kCenterText : kLeftText), readoutFont(FONT_SIZES[sizeIndex]) {}

TReadout::TReadout(const TReadout& other)
    : CControl(other), clickable(other.clickable), sizeIndex(other.sizeIndex), text(other.text),
      textAlign(other.textAlign), readoutFont(other.readoutFont) {}

TReadout::~TReadout() = default;

void TReadout::setString(const std::string& newText) {
    if (newText == text) return;
    text = newText;
    setDirty(true);
}

void TReadout::draw(CDrawContext* context) {
    if (!mayDraw(this)) return;
    const CRect& r = getViewSize();
    const int height = static_cast<int>(r.getHeight());
    const int y = static_cast<int>(r.top) + height % 2 - 1 + (sizeIndex == 0 ? 1 : 0);
    context->setFont(readoutFont);
    context->setFontColor(LIGHT_BLUE_COLOR);
    context->drawString(text.c_str(), CRect(r.left, y, r.left + r.getWidth(), y + r.getHeight()),
                        textAlign, true);
    setDirty(false);
}

CMouseEventResult TReadout::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
    if (!getMouseEnabled()) return kDone;
    uEditor* editor = editorOf(this);
    APlugin* plugin = pluginOf(editor);
    if (!editor || !plugin || !buttons.isLeftButton()) return kDone;
    if (isNumericEntryTag(tag)) {
        plugin->setNumValue(tag);
        setDirty(true);
        return kDone;
    }
    if (!clickable) return kDone;
    value = 1.0f;
    setDirty(true);
    valueChanged();
    return kMouseEventHandled;
}

CMouseEventResult TReadout::onMouseUp(CPoint& /*where*/, const CButtonState& buttons) {
    if (buttons.isLeftButton()) {
        value = 0.0f;
        setDirty(true);
        valueChanged();
    }
    return kMouseEventHandled;
}

bool TReadout::onWheel(const CPoint& /*where*/, const float& distance,
                       const CButtonState& buttons) {
    uEditor* editor = editorOf(this);
    if (!editor) return false;
    if (isNumericEntryTag(tag)) {
        if (APlugin* plugin = pluginOf(editor))
            plugin->changeDelta(tag, wheelStep(distance), anyOf(buttons, kShift), 1.0f);
        setDirty(true);
    }
    return true;
}

// ------------------------------------------------------------------ TReadoutString

TReadoutString::TReadoutString(const CRect& rect, const char* newText)
    : CParamDisplay(rect, nullptr, 0) {
    setString(newText);
}

void TReadoutString::setString(const char* newText) {
    if (!newText) newText = " ";
    std::strncpy(text, newText, sizeof(text) - 1);
    text[sizeof(text) - 1] = '\0';
    setDirty(true);
}

void TReadoutString::draw(CDrawContext* context) {
    if (!mayDraw(this)) return;
    context->setFont(kNormalFontVeryBig);
    context->setFontColor(getFontColor());
    context->drawString(text, getViewSize(), getHoriAlign(), true);
    setDirty(false);
}
