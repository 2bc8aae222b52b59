// CTooltipSupport: when the frame shows a view's tooltip text.
//
// The pointer resting on a view with tooltip text for the delay shows the
// text beside the pointer; while it is shown it follows the view's text.
// Moving to another view or out of the frame, a click, a key or the wheel
// hides it; after a click, key or wheel nothing shows until the pointer
// moves again, and nothing shows while a button is held. Time is the layer's
// clock (getPlatformTicks) read at the frame's idle passes, so the frame
// needs no timer of its own. Headless frames keep the same state without a
// window, which is what tests read.
#pragma once

#include "vstgui/vstguibase.h"

#include <string>

namespace VSTGUI {

class CFrame;
class CView;

class CTooltipSupport {
public:
    static constexpr uint32_t kDefaultDelay = 600; // ms
    static constexpr CCoord kDefaultFontSize = 12; // pixels

    explicit CTooltipSupport(CFrame* frame) : frame(frame) {}

    // Off (the start state) hides the tooltip and shows none until on again.
    void setEnabled(bool state, uint32_t delayTimeInMs = kDefaultDelay);
    bool isEnabled() const { return enabled; }
    uint32_t getDelay() const { return delay; }
    void setFont(CCoord size, int32_t style);
    CCoord getFontSize() const { return fontSize; }

    // Input, in frame coordinates.
    void onMouseMoved(const CPoint& where, const CButtonState& buttons);
    void onMouseExited();
    // A click, a key or the wheel.
    void onUserAction();
    // view leaves the frame (with everything inside it).
    void onViewRemoved(CView* view);
    // Shows, updates or hides; called at every idle pass of the frame.
    void onIdle();
    void hide();

    // What is shown now: the text and the pointer position it was shown at.
    bool isVisible() const { return visible; }
    const std::string& getText() const { return text; }
    const CPoint& getPosition() const { return position; }

private:
    CFrame* frame;
    bool enabled = false;
    uint32_t delay = kDefaultDelay;
    CCoord fontSize = kDefaultFontSize;
    int32_t fontStyle = kNormalFace;

    CView* hoverView = nullptr; // the deepest view under the pointer
    bool armed = false;         // the pointer rests there since hoverSince
    uint32_t hoverSince = 0;
    CPoint pointer;

    bool visible = false;
    std::string text;
    CPoint position;
};

} // namespace VSTGUI
