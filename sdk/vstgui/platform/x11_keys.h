// Translation of X11 input state into the layer's types.
//
// Free of Xlib headers so that it can be used (and tested) anywhere: key
// symbols and event state masks are passed as the plain numbers X uses.
#pragma once

#include "vstgui/vstguibase.h"

#include "vst2/vst2.h"

#include <cstdint>

namespace VSTGUI::X11 {

// The modifier bits (kShift, kControl, kAlt, kApple) of an X event state:
// Shift, Control, Mod1 (Alt) and Mod4 (Super).
int32_t modifiersFromState(unsigned int state);

// The mouse buttons held (kLButton, kMButton, kRButton) in an X event state.
int32_t buttonsFromState(unsigned int state);

// The CButton bit of X button 1, 2 or 3; 0 for any other button.
int32_t buttonFromNumber(unsigned int button);

// Wheel notches of X buttons 4 to 7: 4 and 5 turn the vertical axis (+1 and
// -1), 6 and 7 the horizontal one (+1 and -1). false for other buttons.
bool wheelFromButton(unsigned int button, CMouseWheelAxis& axis, float& distance);

// A key event as the plug-in interface sees it. keysym and state come from
// the event, text is what XLookupString produced for it (length bytes, may
// be empty). character carries a printable Latin-1 character; virt the VST
// virtual key of keys that have one; modifier the VST modifier bits.
VstKeyCode keyCodeFromKeySym(unsigned long keysym, unsigned int state, const char* text,
                             int length);

} // namespace VSTGUI::X11
