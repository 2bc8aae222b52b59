#include "editor/popup_menu.h"

#include "core/aplugin.h"
#include "editor/gui_tables.h"
#include "editor/ueditor.h"

#include <cassert>

using namespace VSTGUI;

namespace {

// The popup style with the value display's no-draw style: the list opens at
// the tiny menu view, which itself draws nothing.
constexpr int32_t kPopupMenuStyle = static_cast<int32_t>(COptionMenu::kPopupStyle) |
                                    static_cast<int32_t>(CParamDisplay::kNoDrawStyle);

// An entry's tag: command * kCommandStep + argument.
constexpr int kCommandStep = menu_tag::kMaxArgument + 1;

} // namespace

namespace menu_tag {

int make(int command, int argument) {
    assert(command > 0 && argument >= 0 && argument <= kMaxArgument);
    return command * kCommandStep + argument;
}

int command(int tag) {
    return tag < 0 ? 0 : tag / kCommandStep;
}

int argument(int tag) {
    return tag < 0 ? 0 : tag % kCommandStep;
}

} // namespace menu_tag

HostValuesWatch::HostValuesWatch(APlugin* plugin) : plugin(plugin) {
    if (!plugin) return;
    for (int t = 0; t < tag::Count; ++t)
        before[static_cast<std::size_t>(t)] = plugin->getParameter(t);
}

HostValuesWatch::~HostValuesWatch() {
    if (!plugin) return;
    for (int t = 0; t < tag::Count; ++t) {
        if (plugin->getParameter(t) != before[static_cast<std::size_t>(t)]) {
            plugin->requestHostDisplayUpdate();
            return;
        }
    }
}

EditorPopup::EditorPopup(uEditor& editor, int halfSize)
    : editor(editor), watch(static_cast<APlugin*>(editor.getEffect())) {
    CFrame* frame = editor.getFrame();
    auto* plugin = static_cast<APlugin*>(editor.getEffect());
    if (!frame || !plugin) return;
    plugin->core.popupOpen.set();
    CPoint where;
    frame->getCurrentMouseLocation(where);
    square = CRect(where.x - halfSize, where.y - halfSize, where.x + halfSize, where.y + halfSize);
    menu = new COptionMenu(square, nullptr, NO_PARAM_TAG, nullptr, nullptr, kPopupMenuStyle);
}

EditorPopup::~EditorPopup() {
    if (!menu) return;
    if (CFrame* frame = editor.getFrame()) {
        if (frame->isChild(menu))
            frame->removeView(menu, true); // releases the menu and its submenus
        else
            menu->forget();
        frame->setDirty(true);
        frame->invalidRect(frame->getViewSize());
        frame->setDirty(false);
    } else {
        menu->forget();
    }
    editor.resume(); // refreshes everything and clears the popup flag
}

void EditorPopup::add(const std::string& title, COptionMenu* parent) {
    addItem(title, parent);
}

CMenuItem* EditorPopup::addItem(const std::string& title, COptionMenu* parent) {
    return menu ? (parent ? parent : menu)->addEntry(title) : nullptr;
}

COptionMenu* EditorPopup::addSubmenu(const std::string& title, COptionMenu* parent) {
    if (!menu) return nullptr;
    auto* sub = new COptionMenu(square, nullptr, NO_PARAM_TAG, nullptr, nullptr, kPopupMenuStyle);
    (parent ? parent : menu)->addEntry(sub, title);
    sub->forget(); // the entry holds it now
    return sub;
}

void EditorPopup::show() {
    CFrame* frame = editor.getFrame();
    if (!menu || !frame) return;
    frame->addView(menu); // the frame holds the menu's one reference while it is up
    menu->popup();
    frame->looseFocus();

    char title[256] = {};
    if (menu->getCurrent(title, false) >= 0 && menu->getLastItemMenu(choiceIndexInMenu) == menu)
        rootTitle = title;
    choiceMenu = menu->getLastItemMenu(choiceIndexInMenu);
    if (choiceMenu) {
        if (CMenuItem* item = choiceMenu->getEntry(choiceIndexInMenu)) {
            itemTitle = item->getTitle();
            chosenCommand = menu_tag::command(item->getTag());
            chosenArgument = menu_tag::argument(item->getTag());
        }
    } else {
        choiceIndexInMenu = -1;
    }
}
