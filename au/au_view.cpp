// The Cocoa view, its window controller and factory.
#include "au/au_view.h"

#include "au/au_component.h"
#include "audiounit/au_entry.h"
#include "vstgui/platform/platform_window.h"

namespace ondix::au {

std::unique_ptr<NSPanel> WindowController::createWindow(NSSize size) {
    auto panel = std::make_unique<NSPanel>();
    panel->contentRect = {{0.0, 0.0}, size};
    panel->styleMask = kStyle;
    panel->backing = NSBackingStoreBuffered;
    panel->deferred = false;
    return panel;
}

std::unique_ptr<WindowController> WindowController::initWithSize(NSSize size) {
    std::unique_ptr<NSPanel> window = createWindow(size);
    if (!window) return nullptr;
    window->releasedWhenClosed = true;
    std::unique_ptr<WindowController> controller(new WindowController(std::move(window)));
    NSPanel* panel = controller->window();
    panel->centred = true;
    panel->hidesOnDeactivate = true;
    panel->title = kTitle;
    return controller;
}

CocoaView::~CocoaView() {
    if (timer_) timer_->invalidate();
    if (mAU && parent_)
        AudioUnitSetProperty(mAU, kEditorCloseProperty, kAudioUnitScope_Global, 0, parent_,
                             sizeof(void*));
}

void CocoaView::createWindowController() {
    Float64 size[2] = {};
    UInt32 bytes = sizeof size;
    if (AudioUnitGetProperty(mAU, kEditorSizeProperty, kAudioUnitScope_Global, 0, size, &bytes) !=
        noErr)
        return;
    const NSSize extent{size[0], size[1]};
    controller_ = WindowController::initWithSize(extent);
    if (!controller_) return;
    view_ = std::make_unique<NSView>(NSRect{{0.0, 0.0}, extent});
    controller_->window()->contentView = view_.get();
    parent_ = view_->nativeWindow()
                  ? reinterpret_cast<void*>(static_cast<uintptr_t>(view_->nativeWindow()))
                  : reinterpret_cast<void*>(VSTGUI::Platform::kOffscreenParentBit |
                                            reinterpret_cast<uintptr_t>(this));
    AudioUnitSetProperty(mAU, kEditorOpenProperty, kAudioUnitScope_Global, 0, parent_,
                         sizeof(void*));
}

void CocoaView::setupIdleTimer() {
    timer_ =
        NSRunLoop::currentRunLoop().scheduledTimer(kIdleInterval, true, [this] { editorIdle(); });
}

void CocoaView::editorIdle() {
    AudioUnitSetProperty(mAU, kEditorIdleProperty, kAudioUnitScope_Global, 0, this, sizeof(void*));
}

std::unique_ptr<CocoaView> CocoaViewFactory::uiViewForAudioUnit(AudioUnit unit, NSSize) const {
    auto view = std::make_unique<CocoaView>();
    view->setAU(unit);
    view->createWindowController();
    view->setupIdleTimer();
    return view;
}

} // namespace ondix::au

namespace {

using ondix::au::CocoaView;
using ondix::au::CocoaViewFactory;

const AUCocoaViewFactoryInterface kFactoryInterface = {
    [] { return CocoaViewFactory().interfaceVersion(); },
    [] { return CocoaViewFactory().description(); },
    [](AudioUnit unit, double width, double height) -> void* {
        return CocoaViewFactory().uiViewForAudioUnit(unit, {width, height}).release();
    },
    [](void* view) { delete static_cast<CocoaView*>(view); },
    [](void* view) -> unsigned long {
        const NSView* v = view ? static_cast<CocoaView*>(view)->view() : nullptr;
        return v ? v->nativeWindow() : 0;
    },
    [](double seconds) { NSRunLoop::currentRunLoop().advance(seconds); },
};

} // namespace

const AUCocoaViewFactoryInterface* auCocoaViewFactoryInterface() {
    return &kFactoryInterface;
}
