// AEffGUIEditor: the VST 2.4 editor bound to a frame of the GUI layer.
//
// A derived editor creates its CFrame in open() and closes it in close();
// this class answers the host's rectangle request, forwards idle, keys and
// the wheel to the frame and passes edit gestures to the plug-in.
#pragma once

#include "vstgui/cframe.h"

#include "core/audioeffect.h"

namespace VSTGUI {

class AEffGUIEditor : public AEffEditor, public VSTGUIEditorInterface {
public:
    explicit AEffGUIEditor(AudioEffect* effect);
    ~AEffGUIEditor() override;

    bool getRect(ERect** ppRect) override;
    // Remembers the host's window; the derived editor builds the frame.
    bool open(void* ptr) override;
    void close() override;
    // True while a frame is open (headless frames included).
    bool isOpen() override;
    void idle() override;
    bool onKeyDown(VstKeyCode& keyCode) override;
    bool onKeyUp(VstKeyCode& keyCode) override;
    // The host's wheel: goes to the view under the last known mouse position.
    bool onWheel(float distance) override;
    bool setKnobMode(VstInt32 mode) override;

    // VSTGUIEditorInterface
    void beginEdit(int32_t index) override;
    void endEdit(int32_t index) override;
    void doIdleStuff() override;

    // Milliseconds of the layer's clock.
    static uint32_t getTicks();

protected:
    ERect rect{};
};

} // namespace VSTGUI
