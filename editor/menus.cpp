// Drag-and-drop modulation: a knob or slider is dragged onto the modulation
// matrix or an XY destination menu. (The popup menus themselves live in
// menu_*.cpp, one file per menu.)

#include "core/aplugin.h"
#include "core/mod_slots.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

void uEditor::setDropTag(int t) {
    drop.tag = t;
    if (t != -1 && plugin()) {
        drop.value = plugin()->getParameter(t);
        drop.released = false;
    }
}

// ------------------------------------------------------------------ drag-and-drop modulation
//
// A knob or slider arms the gesture at mouse-down with its tag and value;
// the idle pass calls a drop operation whenever the pointer is over a
// target. A drop gives the dragged parameter its mouse-down value back (the
// drag over the screen moved it) and assigns the modulation destination it
// feeds. One drop per gesture: the gesture is disarmed afterwards, also when
// the parameter cannot be modulated or the target has no room.

namespace {

// A modulation destination as the value of a stepped destination parameter.
constexpr float kDestRange = 299.99f;
constexpr float kDestOffset = 0.1f;
constexpr float kDropAmount = 0.5f;

} // namespace

// The part every drop shares. True with the destination (0: none) when the
// target is to assign it; false when nothing is armed or the gesture was
// dropped here.
bool uEditor::takeDrop(int& dest) {
    APlugin* p = plugin();
    if (drop.tag == -1 || !p) return false;
    if (!isValidTag(drop.tag) || !drop.source[drop.tag] || !prefs.dragAndDrop) {
        drop.tag = -1;
        return false;
    }
    p->setParameterAutomated(drop.tag, drop.value);
    dest = p->getTagDest(drop.tag);
    return true;
}

// Onto the matrix: the first user slot without a destination, at half
// amount, not bypassed and without a source yet.
void uEditor::dropMod() {
    int dest = 0;
    if (!takeDrop(dest)) return;
    APlugin* p = plugin();
    for (int slot = 0; dest != dst::None && slot < tag::ModSlotCount; ++slot) {
        if (p->getModSlotDest(slot) != dst::None) continue;
        p->setModSlotVar(slot, false, kDropAmount, src::None, dest);
        requests.redrawModScreen = true;
        break;
    }
    drop.tag = -1;
}

// Onto an XY destination menu: its destination and amount, set plainly (the
// host is not told).
void uEditor::setXYDrop(int destTag, int amountTag) {
    int dest = 0;
    if (!takeDrop(dest)) return;
    if (dest != dst::None) {
        APlugin* p = plugin();
        p->setParameter(destTag, (static_cast<float>(dest) + kDestOffset) / kDestRange);
        p->setParameter(amountTag, kDropAmount);
    }
    drop.tag = -1;
}
