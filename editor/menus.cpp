// The editor's popup menus. Each menu operation builds its menu when asked,
// shows it at the mouse and acts on the choice before it returns.

#include "core/aplugin.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

// The menus themselves come with their sections; until then a request
// shows nothing.
void uEditor::showMIDIMenu(CControl* /*control*/, bool /*slider*/) {}
void uEditor::showControlMenu() {}
void uEditor::showOscMenu() {}
void uEditor::showFilterMenu() {}
void uEditor::showFreeMod(int /*kind*/, int /*index*/) {}
void uEditor::showEnvMenu(int /*envelope*/) {}
void uEditor::showWaveMenu(int /*wave*/) {}
void uEditor::showArpMenu(int /*row*/, int /*step*/, bool /*rowMenu*/) {}
void uEditor::showModMenu(int /*slot*/) {}
void uEditor::showXYMenu() {}

void uEditor::setDropTag(int t) {
    drop.tag = t;
    if (t != -1 && plugin()) {
        drop.value = plugin()->getParameter(t);
        drop.released = false;
    }
}

// The drop targets take a gesture once drag-and-drop modulation is built;
// until then the idle pass finds nothing to drop on.
void uEditor::dropMod() {}
void uEditor::setXYDrop(int /*destTag*/, int /*amountTag*/) {}
