#include "vstgui/coptionmenu.h"

#include "core/numeric.h"
#include "vstgui/cbitmap.h"
#include "vstgui/cframe.h"

#include <algorithm>
#include <utility>

namespace VSTGUI {

namespace {

// Submenus nested deeper than this are not searched (and a menu that
// contains itself is not followed forever).
constexpr int kMaxDepth = 32;

// Fills path with (menu, entry index) from root down to the entry that holds
// target; true when target is root or lies below it.
bool findMenuPath(COptionMenu* root, COptionMenu* target,
                  std::vector<std::pair<COptionMenu*, int32_t>>& path, int depth = 0) {
    if (root == target) return true;
    if (depth >= kMaxDepth) return false;
    for (int32_t i = 0; i < root->getNbEntries(); ++i) {
        COptionMenu* submenu = root->getEntry(i)->getSubmenu();
        if (!submenu) continue;
        path.emplace_back(root, i);
        if (findMenuPath(submenu, target, path, depth + 1)) return true;
        path.pop_back();
    }
    return false;
}

bool holdsMenu(CMenuItem* item, COptionMenu* menu) {
    if (!menu || !item->getSubmenu()) return false;
    std::vector<std::pair<COptionMenu*, int32_t>> path;
    return findMenuPath(item->getSubmenu(), menu, path);
}

} // namespace

// ------------------------------------------------------------------ CMenuItem

CMenuItem::CMenuItem(const UTF8String& title, int32_t flags) : title(title), flags(flags) {}

CMenuItem::CMenuItem(const UTF8String& title, COptionMenu* submenu) : title(title) {
    setSubmenu(submenu);
}

CMenuItem::CMenuItem(const UTF8String& title, int32_t tag, int32_t flags)
    : title(title), flags(flags), tag(tag) {}

CMenuItem::~CMenuItem() {
    if (submenu) submenu->forget();
}

void CMenuItem::setSubmenu(COptionMenu* menu) {
    if (menu == submenu) return;
    if (menu) menu->remember();
    if (submenu) submenu->forget();
    submenu = menu;
}

void CMenuItem::setEnabled(bool state) {
    if (state)
        flags &= ~kDisabled;
    else
        flags |= kDisabled;
}

void CMenuItem::setChecked(bool state) {
    if (state)
        flags |= kChecked;
    else
        flags &= ~kChecked;
}

// ------------------------------------------------------------------ COptionMenu

COptionMenu::COptionMenu() : CParamDisplay(CRect(0, 0, 0, 0), nullptr, 0) {}

COptionMenu::COptionMenu(const CRect& size, IControlListener* listener, int32_t tag,
                         CBitmap* background, CBitmap* bgWhenClick, int32_t style)
    : CParamDisplay(size, background, style), bgWhenClick(bgWhenClick) {
    this->listener = listener;
    this->tag = tag;
    if (bgWhenClick) bgWhenClick->remember();
}

COptionMenu::COptionMenu(const COptionMenu& other)
    : CParamDisplay(other), items(other.items), bgWhenClick(other.bgWhenClick),
      currentIndex(other.currentIndex) {
    for (CMenuItem* item : items) item->remember();
    if (bgWhenClick) bgWhenClick->remember();
}

COptionMenu::~COptionMenu() {
    for (CMenuItem* item : items) item->forget();
    if (bgWhenClick) bgWhenClick->forget();
}

CMenuItem* COptionMenu::addEntry(CMenuItem* item, int32_t index) {
    if (!item) return nullptr;
    if (index < 0 || index > getNbEntries())
        items.push_back(item);
    else
        items.insert(items.begin() + index, item);
    return item;
}

CMenuItem* COptionMenu::addEntry(COptionMenu* submenu, const UTF8String& title) {
    return addEntry(new CMenuItem(title, submenu));
}

CMenuItem* COptionMenu::addEntry(const UTF8String& title, int32_t index, int32_t itemFlags) {
    if (title == "-") return addSeparator(index);
    if (title.starts_with("-G"))
        return addEntry(new CMenuItem(title.substr(2), itemFlags | CMenuItem::kDisabled), index);
    return addEntry(new CMenuItem(title, itemFlags), index);
}

CMenuItem* COptionMenu::addSeparator(int32_t index) {
    return addEntry(new CMenuItemSeparator, index);
}

CMenuItem* COptionMenu::getEntry(int32_t index) const {
    if (index < 0 || index >= getNbEntries()) return nullptr;
    return items[static_cast<size_t>(index)];
}

bool COptionMenu::removeEntry(int32_t index) {
    CMenuItem* item = getEntry(index);
    if (!item) return false;
    if (lastMenu == this ? lastResult == index : holdsMenu(item, lastMenu)) {
        lastMenu = nullptr;
        lastResult = -1;
    }
    items.erase(items.begin() + index);
    if (currentIndex == index)
        currentIndex = -1;
    else if (currentIndex > index)
        makeCurrent(currentIndex - 1);
    item->forget();
    return true;
}

bool COptionMenu::removeAllEntry() {
    std::vector<CMenuItem*> old;
    old.swap(items);
    for (CMenuItem* item : old) item->forget();
    currentIndex = -1;
    lastMenu = nullptr;
    lastResult = -1;
    return true;
}

int32_t COptionMenu::getCurrentIndex(bool countSeparator) const {
    if (currentIndex < 0 || currentIndex >= getNbEntries()) return -1;
    if (countSeparator) return currentIndex;
    int32_t separators = 0;
    for (int32_t i = 0; i < currentIndex; ++i)
        if (items[static_cast<size_t>(i)]->isSeparator()) ++separators;
    return currentIndex - separators;
}

CMenuItem* COptionMenu::getCurrent() const {
    return getEntry(getCurrentIndex(true));
}

int32_t COptionMenu::getCurrent(char* txt, bool countSeparator) const {
    const int32_t index = getCurrentIndex(countSeparator);
    if (txt) {
        if (const CMenuItem* item = getCurrent()) {
            const UTF8String& title = item->getTitle();
            const size_t n = std::min<size_t>(title.size(), 255);
            title.copy(txt, n);
            txt[n] = '\0';
        }
    }
    return index;
}

bool COptionMenu::setEntry(long index, char* txt) {
    if (index < 0 || index >= getNbEntries()) return false;
    CMenuItem* item = items[static_cast<size_t>(index)];
    const UTF8String title = txt ? txt : "";
    if (title.starts_with("-G")) {
        item->setEnabled(false);
        item->setTitle(title.substr(2));
    } else {
        item->setEnabled(true);
        item->setTitle(title);
    }
    return true;
}

bool COptionMenu::setCurrent(int32_t index, bool countSeparator) {
    if (index < 0) return false;
    int32_t raw = index;
    if (!countSeparator) {
        // The index-th entry that is not a separator.
        raw = -1;
        for (int32_t i = 0, seen = 0; i < getNbEntries(); ++i) {
            if (items[static_cast<size_t>(i)]->isSeparator()) continue;
            if (seen++ == index) {
                raw = i;
                break;
            }
        }
    }
    if (raw < 0 || raw >= getNbEntries()) return false;
    makeCurrent(raw);
    setDirty(true);
    return true;
}

void COptionMenu::makeCurrent(int32_t index) {
    currentIndex = index;
    value = static_cast<float>(index);
}

void COptionMenu::setValue(float newValue) {
    const int32_t count = getNbEntries();
    if (count == 0) {
        CParamDisplay::setValue(newValue);
        return;
    }
    makeCurrent(truncTo(newValue, 0, count - 1)); // any float: a value is not always an index
}

COptionMenu* COptionMenu::getLastItemMenu(int32_t& idxInMenu) const {
    idxInMenu = lastMenu ? lastResult : -1;
    return lastMenu;
}

bool COptionMenu::popup(const PopupCallback& callback) {
    CFrame* frame = getFrame();
    if (!frame) return false;
    const CRect rect = getFrameRect();
    // The popup style opens the list at the view; otherwise it drops below it.
    const CPoint where =
        (getStyle() & kPopupStyle) ? rect.getTopLeft() : CPoint(rect.left, rect.bottom);
    return runPopup(frame, where, callback);
}

bool COptionMenu::popup(CFrame* frame, const CPoint& frameLocation, const PopupCallback& callback) {
    if (!frame) return false;
    if (isAttached()) return runPopup(frame, frameLocation, callback);

    // On the frame for the popup only: the frame takes a reference of its
    // own, which removing the menu drops again, so the caller's reference
    // is untouched.
    remember();
    if (!frame->addView(this)) {
        forget();
        return false;
    }
    const bool chosen = runPopup(frame, frameLocation, callback);
    // Whoever took the menu off the frame meanwhile settled that reference.
    frame->removeView(this, true);
    return chosen;
}

bool COptionMenu::runPopup(CFrame* frame, const CPoint& where, const PopupCallback& callback) {
    if (popupOpen) return false;
    IPopupProvider* provider = frame->getPopupProvider();
    if (!provider) return false;

    // The listener or the callback may drop the last other reference.
    remember();
    lastMenu = nullptr;
    lastResult = -1;
    popupOpen = true;
    setDirty(true);
    const IPopupProvider::Result result = provider->popup(this, frame, where);
    popupOpen = false;
    setDirty(true);

    bool chosen = false;
    std::vector<std::pair<COptionMenu*, int32_t>> path;
    if (result.menu && findMenuPath(this, result.menu, path)) {
        const CMenuItem* item = result.menu->getEntry(result.index);
        // Separators, titles, disabled entries and entries that only hold a
        // submenu cannot be chosen: a provider that reports one counts as
        // dismissed.
        chosen = item && item->isEnabled() && !item->isSeparator() && !item->isTitle() &&
                 !item->getSubmenu();
    }
    if (chosen) {
        for (const auto& [menu, entry] : path) {
            menu->makeCurrent(entry);
            menu->setDirty(true);
        }
        result.menu->makeCurrent(result.index);
        result.menu->setDirty(true);
        lastMenu = result.menu;
        lastResult = result.index;
        valueChanged();
        if (callback) callback(this);
    }
    forget();
    return chosen;
}

void COptionMenu::draw(CDrawContext* context) {
    if (getStyle() & kNoDrawStyle) {
        setDirty(false);
        return;
    }
    drawBack(context, popupOpen ? bgWhenClick : nullptr);
    if (const CMenuItem* item = getCurrent()) drawPlatformText(context, item->getTitle().c_str());
    setDirty(false);
}

CMouseEventResult COptionMenu::onMouseDown(CPoint& /*where*/, const CButtonState& buttons) {
    if (!(buttons & (kLButton | kRButton | kApple))) return kMouseEventNotHandled;
    popup();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

} // namespace VSTGUI
