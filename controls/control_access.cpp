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

} // namespace ControlAccess
