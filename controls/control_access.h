// How the editor's controls reach the editor and the plug-in object.
//
// Every control finds the editor through the GUI layer's getEditor() (the
// frame's editor interface, which is the uEditor) and the plug-in through the
// editor's getEffect(). A control that is not on a frame of the editor, or
// whose editor has no plug-in object, finds neither and leaves its handlers
// without doing anything.
#pragma once

#include "vstgui/vstgui.h"

class APlugin;
class uEditor;

namespace ControlAccess {

// The editor of the frame the view is on, or nullptr.
uEditor* editorOf(const VSTGUI::CView* view);
// The editor's plug-in object, or nullptr.
APlugin* pluginOf(uEditor* editor);

// Nothing is drawn until the editor has built every control of its window.
bool mayDraw(const VSTGUI::CView* view);

// A knob's or slider's drag taken away before its release (the control
// removed, the pointer grab lost, Escape): the edit is closed, the value
// stays where the drag left it and the drag-and-drop gesture it armed is
// dropped without a drop. Not handled when no drag of the control runs.
VSTGUI::CMouseEventResult cancelDial(VSTGUI::CControl* control, bool& dragging);

// The modifier-click tests of the controls. A mask test asks for any of the
// bits; an equality test for exactly these bits and no others.
inline bool anyOf(const VSTGUI::CButtonState& buttons, int32_t mask) {
    return (buttons & mask) != 0;
}
inline bool exactly(const VSTGUI::CButtonState& buttons, int32_t state) {
    return static_cast<int32_t>(buttons) == state;
}

// The X11 layer reports Ctrl as kControl, Alt (Mod1) as kAlt and Super (Mod4)
// as kApple (sdk/vstgui/platform/x11_keys.cpp); the menus' information lines
// name these keys.
// Right button, or a click with Super held: the context or section menu.
inline constexpr int32_t kMenuClick = VSTGUI::kRButton | VSTGUI::kApple; // 0x88
// Ctrl-click alone: the default value (typed entry on the graphic screens).
inline constexpr int32_t kDefaultClick = VSTGUI::kLButton | VSTGUI::kControl; // 0x22
// Alt-click alone: the value of the loaded preset.
inline constexpr int32_t kOriginalClick = VSTGUI::kLButton | VSTGUI::kAlt; // 0x42

// The step of a wheel turn: +1 away from the user, -1 towards, 0 for none.
inline int wheelStep(float distance) {
    return distance > 0 ? 1 : (distance < 0 ? -1 : 0);
}

} // namespace ControlAccess
