#include "controls/control_access.h"

#include "core/aplugin.h"
#include "editor/ueditor.h"

namespace ControlAccess {

uEditor* editorOf(const VSTGUI::CView* view) {
    if (!view) return nullptr;
    return dynamic_cast<uEditor*>(view->getEditor());
}

APlugin* pluginOf(uEditor* editor) {
    if (!editor) return nullptr;
    return dynamic_cast<APlugin*>(editor->getEffect());
}

bool mayDraw(const VSTGUI::CView* view) {
    const uEditor* editor = editorOf(view);
    return editor && editor->getEditorFinishedOpening();
}

VSTGUI::CMouseEventResult cancelDial(VSTGUI::CControl* control, bool& dragging) {
    if (!dragging) return VSTGUI::kMouseEventNotHandled;
    dragging = false;
    control->endEdit();
    control->setDirty(true);
    uEditor* editor = editorOf(control);
    if (editor && editor->getDragAndDrop() && editor->getDropSource(control->getTag()))
        editor->setDropTag(-1);
    return VSTGUI::kMouseEventHandled;
}

} // namespace ControlAccess
