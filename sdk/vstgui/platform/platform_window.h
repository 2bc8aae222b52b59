// The window system below the frame. A frame opened on a host window gets a
// platform window: a child window of the host's window that shows the
// frame's off-screen image and turns pointer and key input into calls of the
// frame. Without a host window the frame draws off screen only (headless).
#pragma once

#include <cstdint>

#include "vstgui/vstguibase.h"

#include "vst2/vst2.h"

#include <memory>
#include <string>

typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class COptionMenu;
class CFrame;

// Shows a popup menu modally and reports the choice.
class IPopupProvider {
public:
    struct Result {
        COptionMenu* menu = nullptr; // the (sub)menu of the chosen entry; null when dismissed
        int32_t index = -1;          // the entry's index in that menu
    };
    virtual ~IPopupProvider() = default;
    // Blocks until the user chooses or dismisses; where is in frame
    // coordinates.
    virtual Result popup(COptionMenu* root, CFrame* frame, const CPoint& where) = 0;
};

namespace Platform {

// Input from the window system, in frame coordinates. The frame implements it.
class IWindowEvents {
public:
    virtual ~IWindowEvents() = default;
    virtual void platformOnMouseDown(CPoint where, CButtonState buttons) = 0;
    virtual void platformOnMouseMoved(CPoint where, CButtonState buttons) = 0;
    virtual void platformOnMouseUp(CPoint where, CButtonState buttons) = 0;
    virtual void platformOnMouseExited() = 0;
    virtual void platformOnWheel(CPoint where, CMouseWheelAxis axis, float distance,
                                 CButtonState buttons) = 0;
    virtual bool platformOnKeyDown(VstKeyCode& key) = 0;
    virtual bool platformOnKeyUp(VstKeyCode& key) = 0;
    // The pointer was taken away while a button was held (another grab took
    // it, the window was unmapped or destroyed, a release went elsewhere):
    // the gesture under way ends without a release.
    virtual void platformOnMouseCancel() {}
};

class IWindow {
public:
    virtual ~IWindow() = default;
    // Copies area (frame coordinates) of the frame's off-screen image to the
    // window. The window keeps the image to answer exposures by copying
    // again; it never asks the frame to draw.
    virtual void present(cairo_surface_t* image, const CRect& area) = 0;
    // Handles every pending event of the window system, calling the frame.
    virtual void pumpEvents() = 0;
    // The pointer position in frame coordinates and the buttons held; false
    // when unknown.
    virtual bool getMouseLocation(CPoint& where, CButtonState& buttons) = 0;
    // Popup menus shown by this window system (never null).
    virtual IPopupProvider* popupProvider() = 0;
    // The native window handle (an X11 window id).
    virtual unsigned long nativeHandle() const = 0;
    // Shows text in a small window beside the pointer position where (frame
    // coordinates), or shows new text in the one already there; the font
    // size is in pixels.
    virtual void showTooltip(const CPoint& /*where*/, const std::string& /*text*/,
                             CCoord /*fontSize*/, int32_t /*fontStyle*/) {}
    virtual void hideTooltip() {}
};

// A parent value that asks for a frame without a window, drawn off screen
// only, for hosts that must hand a non-null parent (an AudioUnit view
// without a display): any value with the top bit set, which no X11 window
// id has. The other bits are the host's own (it may tell its views apart
// by them).
constexpr uintptr_t kOffscreenParentBit = uintptr_t(1) << (sizeof(uintptr_t) * 8 - 1);
inline bool isOffscreenParent(const void* parent) {
    return (reinterpret_cast<uintptr_t>(parent) & kOffscreenParentBit) != 0;
}

// A child window of the given host window (an X11 window id passed as a
// pointer), width x height pixels, reporting input to events. nullptr when
// there is no display or the parent is not a window: nothing is left
// behind and the caller must not crash. X errors never end the process.
std::unique_ptr<IWindow> createChildWindow(void* parent, int width, int height,
                                           IWindowEvents* events);

} // namespace Platform
} // namespace VSTGUI
