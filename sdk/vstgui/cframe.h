// CFrame: the root container, bound to the editor.
//
// The frame draws into its own off-screen image. Opened on a host window it
// also shows that image in a child window (platform/platform_window.h);
// opened on a null parent it works headless and still reports itself open,
// which is what tests and tools use. idle() turns dirty flags into redraws:
// each dirty view is drawn once over what lies below it, then the changed
// areas are presented.
#pragma once

#include "vstgui/ctooltipsupport.h"
#include "vstgui/cviewcontainer.h"
#include "vstgui/platform/platform_window.h"

#include <memory>
#include <vector>

typedef struct _cairo_surface cairo_surface_t;

namespace VSTGUI {

class CFrame : public CViewContainer, public Platform::IWindowEvents {
public:
    CFrame(const CRect& size, VSTGUIEditorInterface* editor);
    ~CFrame() override;

    // Opens on the host's window (an X11 window id) or, with nullptr or an
    // off-screen parent value (Platform::isOffscreenParent), headless. false when the window cannot
    // be made; the frame is then not open.
    bool open(void* systemWindow);
    // Removes (and forgets) the remaining views, closes the window and
    // drops the reference that the creator of the frame holds: do not use
    // the frame afterwards.
    void close();
    bool isOpen() const { return opened; }
    bool isHeadless() const { return opened && !window; }

    VSTGUIEditorInterface* getEditor() const override { return editor; }
    void beginEdit(int32_t index);
    void endEdit(int32_t index);
    int32_t getKnobMode() const;

    // Redraws dirty views and invalid areas and presents them; pumps the
    // window's events first.
    void idle();
    // Marks an area (frame coordinates) for redrawing at the next idle.
    void invalidRect(const CRect& rect);
    // Draws everything now (used after opening).
    void redrawAll();

    void registerKeyboardHook(IKeyboardHook* hook);
    void unregisterKeyboardHook(IKeyboardHook* hook);
    int32_t onKeyDown(VstKeyCode& keyCode) override;
    int32_t onKeyUp(VstKeyCode& keyCode) override;
    void setFocusView(CView* view) { focusView = view; }
    CView* getFocusView() const { return focusView; }
    // No view has the keyboard focus any more.
    void looseFocus() { focusView = nullptr; }

    // The last known pointer position (frame coordinates) and buttons.
    bool getCurrentMouseLocation(CPoint& where) const;
    CButtonState getCurrentMouseButtons() const;

    // Where popup menus are shown: the test override, else the window's,
    // else the headless provider that dismisses every menu.
    IPopupProvider* getPopupProvider();

    // The tooltip of the view under a resting pointer (ctooltipsupport.h);
    // off until enabled.
    void enableTooltips(bool state, uint32_t delayTimeInMs = CTooltipSupport::kDefaultDelay) {
        tooltips.setEnabled(state, delayTimeInMs);
    }
    CTooltipSupport& getTooltipSupport() { return tooltips; }

    cairo_surface_t* getOffscreenSurface() const { return image; }
    Platform::IWindow* getPlatformWindow() const { return window.get(); }

    // Input, in frame coordinates (from the window system or from tests).
    // A second down within 400 ms and 4 pixels of the first, with the same
    // button, carries kDoubleClick.
    void platformOnMouseDown(CPoint where, CButtonState buttons) override;
    void platformOnMouseMoved(CPoint where, CButtonState buttons) override;
    void platformOnMouseUp(CPoint where, CButtonState buttons) override;
    void platformOnMouseExited() override;
    void platformOnWheel(CPoint where, CMouseWheelAxis axis, float distance,
                         CButtonState buttons) override;
    bool platformOnKeyDown(VstKeyCode& key) override;
    bool platformOnKeyUp(VstKeyCode& key) override;
    void platformOnMouseCancel() override;

    // Ends the gesture of the view that took the last mouse-down without a
    // release: its onMouseCancel closes the edit it began. Every way a
    // gesture can end early comes here or to the removal of that view (which
    // cancels the same way): a lost pointer grab, Escape, closing the frame.
    // false when no gesture was under way.
    bool cancelMouseGesture();

    // A view is about to be removed or deleted: forget any pointer to it.
    void onViewRemoved(CView* view);

private:
    void present(const CRect& area);
    void drawArea(const CRect& area);
    void collectDirty(CViewContainer* container, const CPoint& origin, const CRect& clip,
                      std::vector<CRect>& areas);

    VSTGUIEditorInterface* editor;
    bool opened = false;
    std::unique_ptr<Platform::IWindow> window;
    cairo_surface_t* image = nullptr;
    std::vector<CRect> invalidAreas;
    std::vector<IKeyboardHook*> keyboardHooks;
    CView* focusView = nullptr;
    CTooltipSupport tooltips{this};
    CPoint mouseLocation{-1, -1};
    CButtonState mouseButtons;
    uint32_t lastDownTime = 0;
    CPoint lastDownPoint{-1000, -1000};
    int32_t lastDownButton = 0;
};

} // namespace VSTGUI
