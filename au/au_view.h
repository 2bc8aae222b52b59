// The Cocoa view of the AudioUnit: the factory a host finds through the
// Cocoa UI property, the view that hosts the effect's editor, and the
// window controller of its panel.
//
// The view talks to its unit only through properties, as code beside a
// unit does: it reads the editor's size (0x10001), builds a panel of that
// size with itself as content, opens the editor in its native parent
// (0x10000) and idles it from a run-loop timer every 0.02 s (0x10002).
// When it goes it stops the timer and closes the editor (0x10003).
//
// The parent value it hands the editor is its X11 window where it has one,
// else an off-screen parent value of the GUI layer carrying the view's
// identity (Platform::isOffscreenParent): never null, since a property set
// without data would be a removal.
#pragma once

#include "audiounit/appkit.h"
#include "audiounit/core_audio.h"

#include <memory>

namespace ondix::au {

// ONDX_QVTZ_WindowController: the panel the view lives in.
class WindowController : public NSWindowController {
public:
    static constexpr unsigned long kStyle =
        NSWindowStyleMaskTitled | NSWindowStyleMaskClosable | NSWindowStyleMaskUtilityWindow;
    static constexpr const char* kTitle = "Ondix";

    // Null when no window can be made.
    static std::unique_ptr<WindowController> initWithSize(NSSize size);
    // A panel of content {0, 0, width, height}, style 19, buffered, not deferred.
    static std::unique_ptr<NSPanel> createWindow(NSSize size);

private:
    using NSWindowController::NSWindowController;
};

// ONDX_QVTZ_CocoaView.
class CocoaView {
public:
    static constexpr double kIdleInterval = static_cast<double>(0.02f);

    CocoaView() = default;
    // dealloc: the timer stops and the editor closes.
    ~CocoaView();
    CocoaView(const CocoaView&) = delete;
    CocoaView& operator=(const CocoaView&) = delete;

    void setAU(AudioUnit unit) { mAU = unit; }
    // The editor's size, the panel, and the editor opened in the view.
    void createWindowController();
    void setupIdleTimer();
    // One timer tick: one editor idle.
    void editorIdle();

    AudioUnit audioUnit() const { return mAU; }
    NSView* view() const { return view_.get(); }
    WindowController* windowController() const { return controller_.get(); }
    // What the editor was opened in (null before createWindowController).
    void* parentValue() const { return parent_; }
    const NSTimer* timer() const { return timer_.get(); }

private:
    AudioUnit mAU = nullptr;
    std::unique_ptr<NSView> view_;
    std::unique_ptr<WindowController> controller_;
    std::shared_ptr<NSTimer> timer_;
    void* parent_ = nullptr;
};

// ONDX_QVTZ_CocoaViewFactory.
class CocoaViewFactory {
public:
    static constexpr UInt32 kInterfaceVersion = 0;
    static constexpr const char* kDescription = " AU_Cocoa_UI";

    UInt32 interfaceVersion() const { return kInterfaceVersion; }
    const char* description() const { return kDescription; }
    // A new view for the unit; the preferred size is not used.
    std::unique_ptr<CocoaView> uiViewForAudioUnit(AudioUnit unit, NSSize preferredSize) const;
};

} // namespace ondix::au

// What the library exports under the factory's class name (the Cocoa UI
// property names it): plain functions, so a host in another module needs
// none of the classes above. The run loop is the library's; a host drives
// it with advanceRunLoop.
struct AUCocoaViewFactoryInterface {
    UInt32 (*interfaceVersion)();
    const char* (*description)();
    // A new view, or null; release it with releaseView.
    void* (*uiViewForAudioUnit)(AudioUnit unit, double width, double height);
    void (*releaseView)(void* view);
    // The view's X11 window to embed, 0 for a view without one.
    unsigned long (*nativeWindow)(void* view);
    void (*advanceRunLoop)(double seconds);
};
const AUCocoaViewFactoryInterface* auCocoaViewFactoryInterface();
