// Popup menus on X11: override-redirect windows drawn with cairo, run
// modally on the editor's display connection with the pointer (and, when
// possible, the keyboard) grabbed.
//
// A menu taller than the screen flows into further columns to its right.
#pragma once

#include "vstgui/platform/platform_window.h"

#include <functional>
#include <string>
#include <vector>

typedef struct _XDisplay Display;
union _XEvent;

namespace VSTGUI::X11 {

// What one entry of a menu shows.
struct MenuLine {
    std::string title;
    bool enabled = true;
    bool separator = false;
    bool header = false; // a title line: shown, never chosen
    bool submenu = false;
    bool checked = false;

    // Can be highlighted and activated (chosen, or its submenu opened).
    bool selectable() const { return enabled && !separator && !header; }
};

// A title as drawn: UTF-8 as it is; bytes that are no part of well-formed
// UTF-8 are taken as Latin-1 (cairo draws nothing of an invalid string).
std::string menuText(const std::string& title);

// The lines of a menu's entries, in entry order.
std::vector<MenuLine> menuLines(COptionMenu* menu);

inline constexpr int kMenuFontSize = 13;
inline constexpr int kMenuLineHeight = 22;
inline constexpr int kMenuSeparatorHeight = 9;
inline constexpr int kMenuPadding = 4;    // above the first and below the last line
inline constexpr int kMenuTextLeft = 24;  // room for the check mark
inline constexpr int kMenuTextRight = 28; // room for the submenu mark
inline constexpr int kMenuMinWidth = 120;

struct MenuLayout {
    std::vector<CRect> lines; // one per line, menu coordinates
    int width = 0;
    int height = 0;
    int columns = 1;
};

// Lays the lines out top to bottom; a column that would grow taller than
// maxHeight continues in a new column. textWidth measures a title.
MenuLayout layoutMenu(const std::vector<MenuLine>& lines,
                      const std::function<double(const std::string&)>& textWidth, int maxHeight);

// The line under a point in menu coordinates, -1 when none.
int menuLineAt(const MenuLayout& layout, const CPoint& where);

// The top-left corner of a menu of size w x h opened at anchor (screen
// coordinates), moved left and up as far as needed to stay on a screen of
// screenW x screenH.
CPoint placeMenu(const CPoint& anchor, int w, int h, int screenW, int screenH);

// The top-left corner of a submenu of size w x h for the entry entryRect
// (screen coordinates) of a menu spanning menuLeft..menuRight: right of the
// menu, or left of it when it does not fit there, and kept on the screen.
CPoint placeSubmenu(const CRect& entryRect, int menuLeft, int menuRight, int w, int h, int screenW,
                    int screenH);

// The popup menus of one editor window.
class PopupMenus : public IPopupProvider {
public:
    // frameEvent receives the events for other windows that arrive while a
    // menu is up (the frame window's exposures); it answers false when the
    // frame window is gone, which dismisses the menu.
    PopupMenus(Display* display, unsigned long frameWindow,
               std::function<bool(_XEvent&)> frameEvent);

    Result popup(COptionMenu* root, CFrame* frame, const CPoint& where) override;

private:
    Display* display;
    unsigned long frameWindow;
    std::function<bool(_XEvent&)> frameEvent;
    bool running = false;
};

} // namespace VSTGUI::X11
