#include "vstgui/platform/x11_keys.h"

#include <X11/X.h>
#include <X11/keysym.h>

namespace VSTGUI::X11 {

int32_t modifiersFromState(unsigned int state) {
    int32_t bits = 0;
    if (state & ShiftMask) bits |= kShift;
    if (state & ControlMask) bits |= kControl;
    if (state & Mod1Mask) bits |= kAlt;
    if (state & Mod4Mask) bits |= kApple;
    return bits;
}

int32_t buttonsFromState(unsigned int state) {
    int32_t bits = 0;
    if (state & Button1Mask) bits |= kLButton;
    if (state & Button2Mask) bits |= kMButton;
    if (state & Button3Mask) bits |= kRButton;
    return bits;
}

int32_t buttonFromNumber(unsigned int button) {
    switch (button) {
    case Button1:
        return kLButton;
    case Button2:
        return kMButton;
    case Button3:
        return kRButton;
    default:
        return 0;
    }
}

bool wheelFromButton(unsigned int button, CMouseWheelAxis& axis, float& distance) {
    switch (button) {
    case 4:
        axis = kMouseWheelAxisY, distance = 1.f;
        return true;
    case 5:
        axis = kMouseWheelAxisY, distance = -1.f;
        return true;
    case 6:
        axis = kMouseWheelAxisX, distance = 1.f;
        return true;
    case 7:
        axis = kMouseWheelAxisX, distance = -1.f;
        return true;
    default:
        return false;
    }
}

namespace {

unsigned char virtualKey(unsigned long keysym) {
    switch (keysym) {
    case XK_BackSpace:
        return VKEY_BACK;
    case XK_Tab:
    case XK_ISO_Left_Tab:
    case XK_KP_Tab:
        return VKEY_TAB;
    case XK_Clear:
    case XK_KP_Begin:
        return VKEY_CLEAR;
    case XK_Return:
        return VKEY_RETURN;
    case XK_Pause:
        return VKEY_PAUSE;
    case XK_Escape:
        return VKEY_ESCAPE;
    case XK_space:
    case XK_KP_Space:
        return VKEY_SPACE;
    case XK_End:
    case XK_KP_End:
        return VKEY_END;
    case XK_Home:
    case XK_KP_Home:
        return VKEY_HOME;
    case XK_Left:
    case XK_KP_Left:
        return VKEY_LEFT;
    case XK_Up:
    case XK_KP_Up:
        return VKEY_UP;
    case XK_Right:
    case XK_KP_Right:
        return VKEY_RIGHT;
    case XK_Down:
    case XK_KP_Down:
        return VKEY_DOWN;
    case XK_Page_Up:
    case XK_KP_Page_Up:
        return VKEY_PAGEUP;
    case XK_Page_Down:
    case XK_KP_Page_Down:
        return VKEY_PAGEDOWN;
    case XK_Select:
        return VKEY_SELECT;
    case XK_Print:
        return VKEY_SNAPSHOT; // the Print Screen key
    case XK_KP_Enter:
        return VKEY_ENTER;
    case XK_Insert:
    case XK_KP_Insert:
        return VKEY_INSERT;
    case XK_Delete:
    case XK_KP_Delete:
        return VKEY_DELETE;
    case XK_Help:
        return VKEY_HELP;
    case XK_KP_Multiply:
        return VKEY_MULTIPLY;
    case XK_KP_Add:
        return VKEY_ADD;
    case XK_KP_Separator:
        return VKEY_SEPARATOR;
    case XK_KP_Subtract:
        return VKEY_SUBTRACT;
    case XK_KP_Decimal:
        return VKEY_DECIMAL;
    case XK_KP_Divide:
        return VKEY_DIVIDE;
    case XK_KP_Equal:
        return VKEY_EQUALS;
    case XK_Num_Lock:
        return VKEY_NUMLOCK;
    case XK_Scroll_Lock:
        return VKEY_SCROLL;
    case XK_Shift_L:
    case XK_Shift_R:
        return VKEY_SHIFT;
    case XK_Control_L:
    case XK_Control_R:
        return VKEY_CONTROL;
    case XK_Alt_L:
    case XK_Alt_R:
    case XK_Meta_L:
    case XK_Meta_R:
        return VKEY_ALT;
    default:
        break;
    }
    if (keysym >= XK_KP_0 && keysym <= XK_KP_9)
        return static_cast<unsigned char>(VKEY_NUMPAD0 + (keysym - XK_KP_0));
    if (keysym >= XK_F1 && keysym <= XK_F12)
        return static_cast<unsigned char>(VKEY_F1 + (keysym - XK_F1));
    return 0;
}

bool printableLatin1(unsigned long c) {
    return (c >= 0x20 && c <= 0x7e) || (c >= 0xa0 && c <= 0xff);
}

} // namespace

VstKeyCode keyCodeFromKeySym(unsigned long keysym, unsigned int state, const char* text,
                             int length) {
    VstKeyCode key{};
    key.virt = virtualKey(keysym);
    if (text && length == 1 && printableLatin1(static_cast<unsigned char>(text[0])))
        key.character = static_cast<unsigned char>(text[0]);
    else if (printableLatin1(keysym))
        // With Control held the text is a control character; the key's
        // symbol still names the character.
        key.character = static_cast<VstInt32>(keysym);
    if (state & ShiftMask) key.modifier |= MODIFIER_SHIFT;
    if (state & Mod1Mask) key.modifier |= MODIFIER_ALTERNATE;
    if (state & Mod4Mask) key.modifier |= MODIFIER_COMMAND;
    if (state & ControlMask) key.modifier |= MODIFIER_CONTROL;
    return key;
}

} // namespace VSTGUI::X11
