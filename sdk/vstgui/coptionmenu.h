// Option menus: a value display that pops up a list of entries, with
// submenus. popup() is modal and synchronous: it returns after the user has
// chosen or dismissed. A choice (in the root or in any submenu) sets the
// current entry of the menu it was made in and of each menu above it (to
// the entry holding the submenu), remembers it for getLastItemMenu, and
// notifies the root's listener once. A dismissed popup changes nothing.
#pragma once

#include "vstgui/cparamdisplay.h"

#include <functional>
#include <vector>

namespace VSTGUI {

class COptionMenu;
class CFrame;

class CMenuItem : public CBaseObject {
public:
    enum Flags : int32_t {
        kNoFlags = 0,
        kDisabled = 1 << 0,
        kTitle = 1 << 1,
        kChecked = 1 << 2,
        kSeparator = 1 << 3,
    };

    explicit CMenuItem(const UTF8String& title, int32_t flags = kNoFlags);
    // An entry holding a submenu; the entry takes a reference to it.
    CMenuItem(const UTF8String& title, COptionMenu* submenu);
    CMenuItem(const UTF8String& title, int32_t tag, int32_t flags);
    ~CMenuItem() override;

    void setTitle(const UTF8String& t) { title = t; }
    const UTF8String& getTitle() const { return title; }
    void setSubmenu(COptionMenu* menu);
    COptionMenu* getSubmenu() const { return submenu; }
    void setEnabled(bool state);
    bool isEnabled() const { return (flags & kDisabled) == 0; }
    void setChecked(bool state);
    bool isChecked() const { return (flags & kChecked) != 0; }
    bool isTitle() const { return (flags & kTitle) != 0; }
    bool isSeparator() const { return (flags & kSeparator) != 0; }
    void setTag(int32_t t) { tag = t; }
    int32_t getTag() const { return tag; }
    int32_t getFlags() const { return flags; }

private:
    UTF8String title;
    int32_t flags = kNoFlags;
    int32_t tag = -1;
    COptionMenu* submenu = nullptr;
};

// A separator entry.
class CMenuItemSeparator : public CMenuItem {
public:
    CMenuItemSeparator() : CMenuItem("", kSeparator) {}
};

class COptionMenu : public CParamDisplay {
public:
    enum Style : int32_t {
        kPopupStyle = 1 << 8,          // the list opens at the view
        kCheckStyle = 1 << 9,          // the current entry shows a check
        kMultipleCheckStyle = 1 << 10, // entries show their own check flags
    };
    using PopupCallback = std::function<void(COptionMenu*)>;

    COptionMenu();
    COptionMenu(const CRect& size, IControlListener* listener, int32_t tag,
                CBitmap* background = nullptr, CBitmap* bgWhenClick = nullptr, int32_t style = 0);
    COptionMenu(const COptionMenu& other);
    ~COptionMenu() override;
    CView* newCopy() const override { return new COptionMenu(*this); }

    // Entries. The menu holds one reference to each entry it adds. A title
    // "-" adds a separator; a title that begins with "-G" adds a disabled
    // (greyed) entry titled with the rest.
    virtual CMenuItem* addEntry(CMenuItem* item, int32_t index = -1);
    virtual CMenuItem* addEntry(COptionMenu* submenu, const UTF8String& title);
    virtual CMenuItem* addEntry(const UTF8String& title, int32_t index = -1,
                                int32_t itemFlags = CMenuItem::kNoFlags);
    virtual CMenuItem* addSeparator(int32_t index = -1);
    CMenuItem* getEntry(int32_t index) const;
    int32_t getNbEntries() const { return static_cast<int32_t>(items.size()); }
    const std::vector<CMenuItem*>& getItems() const { return items; }
    virtual bool removeEntry(int32_t index);
    virtual bool removeAllEntry();

    // The current entry (the value); with countSeparator false, separators
    // before it are not counted. -1 when there is none.
    int32_t getCurrentIndex(bool countSeparator = false) const;
    CMenuItem* getCurrent() const;
    // The current index as above; when txt is given and there is a current
    // entry, its title is copied into txt (at most 255 characters and the
    // NUL: txt must hold 256 bytes).
    int32_t getCurrent(char* txt, bool countSeparator) const;
    // Retitles entry index (counting separators): a txt that begins with
    // "-G" disables it and shows the rest, any other txt enables it (nullptr
    // gives an empty title). false when there is no such entry.
    bool setEntry(long index, char* txt);
    // Makes entry index current; false when out of range.
    bool setCurrent(int32_t index, bool countSeparator = true);
    void setValue(float value) override;

    // The menu in which the last choice was made and the chosen index in it;
    // nullptr when the last popup was dismissed or none ran.
    COptionMenu* getLastItemMenu(int32_t& idxInMenu) const;

    // Pops the list up at this view (which must be on a frame) and waits.
    // true when an entry was chosen.
    bool popup(const PopupCallback& callback = {});
    // Pops up at a point of a frame; a menu that is not on a view tree is
    // added to the frame for the duration of the popup only.
    bool popup(CFrame* frame, const CPoint& frameLocation, const PopupCallback& callback = {});
    bool isPopupOpen() const { return popupOpen; }

    void setStyle(int32_t newStyle) override { CParamDisplay::setStyle(newStyle); }
    bool isCheckStyle() const { return (getStyle() & kCheckStyle) != 0; }
    bool isMultipleCheckStyle() const { return (getStyle() & kMultipleCheckStyle) != 0; }
    CBitmap* getBackgroundWhenClick() const { return bgWhenClick; }

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    // Shows the menu through the frame's popup provider and applies the
    // choice.
    bool runPopup(CFrame* frame, const CPoint& where, const PopupCallback& callback);
    void makeCurrent(int32_t index);

    std::vector<CMenuItem*> items;
    CBitmap* bgWhenClick = nullptr;
    COptionMenu* lastMenu = nullptr;
    int32_t lastResult = -1;
    // The current entry, counting separators; -1 until one is set or chosen.
    int32_t currentIndex = -1;
    bool popupOpen = false;
};

} // namespace VSTGUI
