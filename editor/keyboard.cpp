// The computer keyboard and preset stepping.
//
// With the window focused, the up and down arrows step to the previous and
// next preset; the preset menu's arrows and wheel do the same. Steps are
// at least 200 ms apart and wait while the plug-in is still applying a
// preset; page up and down are swallowed so the host does not act on them.

#include "core/aplugin.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

namespace {

constexpr uint32_t kPresetStepInterval = 200; // ms

} // namespace

void uEditor::stepPreset(int delta) {
    APlugin* p = plugin();
    if (!p || p->getIsSettingPreset()) return;
    const uint32_t now = getTicks();
    lastKeyTick = now;
    // A clock that wrapped below the last step allows a step at once.
    if (now < lastPresetStepTick) lastPresetStepTick = now - (kPresetStepInterval + 1);
    if (now - lastPresetStepTick < kPresetStepInterval) return;
    lastPresetStepTick = now;
    p->changePresetDelta(delta);
    resume();
}

void uEditor::changeProgramDelta(int delta, bool /*unused*/) {
    stepPreset(delta);
}

int32_t uEditor::onKeyDown(const VstKeyCode& key, CFrame* /*frame*/) {
    if (!prefs.keyboard || key.virt < VKEY_UP || key.virt > VKEY_PAGEDOWN) return -1;
    switch (key.virt) {
    case VKEY_UP:
        stepPreset(-1);
        return 1;
    case VKEY_DOWN:
        stepPreset(+1);
        return 1;
    case VKEY_PAGEUP:
    case VKEY_PAGEDOWN:
        return 1;
    default: // the right arrow goes to the frame
        return -1;
    }
}

int32_t uEditor::onKeyUp(const VstKeyCode& /*key*/, CFrame* /*frame*/) {
    return -1;
}
