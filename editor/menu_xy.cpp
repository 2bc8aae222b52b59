// The XY pad menu.

#include "core/aplugin.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"

using namespace VSTGUI;

// Not built yet: the request shows nothing.
void uEditor::showXYMenu() {}
