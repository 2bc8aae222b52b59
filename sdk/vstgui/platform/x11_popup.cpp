// Popup menus for the X11 window: one override-redirect window per open
// (sub)menu, a modal event loop on the editor's display connection.
//
// Pointer events are grabbed to the root menu's window (not to their
// owners), so every pointer event is judged by its root coordinates.
// Submenus open when the pointer rests on their entry; a release over an
// enabled entry chooses it once the user has pressed inside the loop or
// dragged there from the click that opened the menu; a press outside every
// menu or Escape dismisses. Arrow keys, Return and Escape work while the
// keyboard is grabbed (or the editor has the focus).
#include "vstgui/platform/x11_popup.h"
#include "vstgui/cfont.h"
#include "vstgui/coptionmenu.h"
#include "vstgui/platform/x11_display.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/keysym.h>
#include <cairo-xlib.h>
#include <cairo.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <poll.h>
#include <thread>

namespace VSTGUI::X11 {

std::vector<MenuLine> menuLines(COptionMenu* menu) {
    std::vector<MenuLine> lines;
    if (!menu) return lines;
    const int32_t current = menu->getCurrentIndex(true);
    const std::vector<CMenuItem*>& items = menu->getItems();
    for (size_t i = 0; i < items.size(); ++i) {
        MenuLine line;
        const CMenuItem* item = items[i];
        if (!item) {
            line.separator = true;
            lines.push_back(line);
            continue;
        }
        line.title = item->getTitle();
        line.separator = item->isSeparator() || line.title == "-";
        line.header = item->isTitle();
        line.enabled = item->isEnabled();
        line.submenu = item->getSubmenu() != nullptr;
        if (menu->isMultipleCheckStyle())
            line.checked = item->isChecked();
        else if (menu->isCheckStyle())
            line.checked = static_cast<int32_t>(i) == current;
        lines.push_back(line);
    }
    return lines;
}

MenuLayout layoutMenu(const std::vector<MenuLine>& lines,
                      const std::function<double(const std::string&)>& textWidth, int maxHeight) {
    MenuLayout layout;
    double widest = 0;
    for (const MenuLine& line : lines)
        if (!line.separator) widest = std::max(widest, textWidth(line.title));
    const int columnWidth = std::max(kMenuMinWidth, static_cast<int>(std::ceil(widest)) +
                                                        kMenuTextLeft + kMenuTextRight);
    const int usable = std::max(maxHeight - 2 * kMenuPadding, kMenuLineHeight);
    int column = 0;
    int y = 0;
    int tallest = 0;
    for (const MenuLine& line : lines) {
        const int h = line.separator ? kMenuSeparatorHeight : kMenuLineHeight;
        if (y > 0 && y + h > usable) {
            ++column;
            y = 0;
        }
        layout.lines.emplace_back(column * columnWidth, kMenuPadding + y,
                                  (column + 1) * columnWidth, kMenuPadding + y + h);
        y += h;
        tallest = std::max(tallest, y);
    }
    layout.columns = column + 1;
    layout.width = layout.columns * columnWidth;
    layout.height = tallest + 2 * kMenuPadding;
    return layout;
}

int menuLineAt(const MenuLayout& layout, const CPoint& where) {
    for (size_t i = 0; i < layout.lines.size(); ++i)
        if (layout.lines[i].pointInside(where)) return static_cast<int>(i);
    return -1;
}

namespace {

int keepOnScreen(int position, int size, int screenSize) {
    if (position + size > screenSize) position = screenSize - size;
    return std::max(position, 0);
}

} // namespace

CPoint placeMenu(const CPoint& anchor, int w, int h, int screenW, int screenH) {
    return CPoint(keepOnScreen(static_cast<int>(anchor.x), w, screenW),
                  keepOnScreen(static_cast<int>(anchor.y), h, screenH));
}

CPoint placeSubmenu(const CRect& entryRect, int menuLeft, int menuRight, int w, int h, int screenW,
                    int screenH) {
    int x = menuRight;
    if (x + w > screenW) x = menuLeft - w;
    if (x < 0) x = std::max(0, screenW - w);
    int y = static_cast<int>(entryRect.top) - kMenuPadding;
    return CPoint(x, keepOnScreen(y, h, screenH));
}

namespace {

// The length of the well-formed UTF-8 sequence at text[i], 0 when there is
// none (stray, overlong, surrogate or out-of-range forms).
size_t utf8SequenceAt(const std::string& text, size_t i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) return 1;
    const size_t length = (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xe ? 3 : (c >> 3) == 0x1e ? 4 : 0;
    if (length == 0 || i + length > text.size()) return 0;
    uint32_t code = c & (0x7f >> length);
    for (size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xc0) != 0x80) return 0;
        code = (code << 6) | (next & 0x3f);
    }
    static constexpr uint32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kSmallest[length] || code > 0x10ffff || (code >= 0xd800 && code <= 0xdfff)) return 0;
    return length;
}

} // namespace

std::string menuText(const std::string& title) {
    std::string out;
    out.reserve(title.size());
    for (size_t i = 0; i < title.size();) {
        if (const size_t length = utf8SequenceAt(title, i)) {
            out.append(title, i, length);
            i += length;
        } else {
            const auto c = static_cast<unsigned char>(title[i++]);
            out += static_cast<char>(0xc0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3f));
        }
    }
    return out;
}

namespace {

const char* const kCheckMark = "\xe2\x9c\x93";   // U+2713
const char* const kSubmenuMark = "\xe2\x96\xb8"; // U+25B8

void setRgb(cairo_t* cr, uint32_t rgb) {
    cairo_set_source_rgb(cr, ((rgb >> 16) & 0xff) / 255.0, ((rgb >> 8) & 0xff) / 255.0,
                         (rgb & 0xff) / 255.0);
}

constexpr uint32_t kBackground = 0x2b2d31;
constexpr uint32_t kBorder = 0x5a5e66;
constexpr uint32_t kText = 0xe6e6e6;
constexpr uint32_t kGreyText = 0x85888e;
constexpr uint32_t kHighlight = 0x3a6ea5;
constexpr uint32_t kHighlightText = 0xffffff;
constexpr uint32_t kSeparator = 0x4a4e55;

struct Level {
    COptionMenu* menu = nullptr;
    std::vector<MenuLine> lines;
    MenuLayout layout;
    Window window = 0;
    cairo_surface_t* surface = nullptr; // the window
    cairo_surface_t* image = nullptr;   // drawn here, then copied to the window
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    int highlight = -1;
    int openedFrom = -1; // the line of the level above that holds this menu
};

class Session {
public:
    Session(Display* display, Window frameWindow, const std::function<bool(XEvent&)>& frameEvent)
        : display(display), frameWindow(frameWindow), frameEvent(frameEvent) {
        measureSurface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 1, 1);
        measure = cairo_create(measureSurface);
        setFont(measure, false);
    }

    ~Session() {
        closeLevels(0);
        if (pointerGrabbed || keyboardGrabbed) {
            ErrorTrap trap(display);
            if (pointerGrabbed) XUngrabPointer(display, CurrentTime);
            if (keyboardGrabbed) XUngrabKeyboard(display, CurrentTime);
        }
        XFlush(display);
        cairo_destroy(measure);
        cairo_surface_destroy(measureSurface);
    }

    IPopupProvider::Result run(COptionMenu* rootMenu, const CPoint& where) {
        if (!setUp()) return {};
        int anchorX = 0, anchorY = 0;
        {
            ErrorTrap trap(display);
            Window child = 0;
            if (!XTranslateCoordinates(display, frameWindow, root, static_cast<int>(where.x),
                                       static_cast<int>(where.y), &anchorX, &anchorY, &child) ||
                trap.failed())
                return {};
        }
        if (!openLevel(rootMenu, -1, CPoint(anchorX, anchorY), CRect()) || !grab()) return {};

        startPointer();
        while (!finished) {
            if (XPending(display) == 0) {
                pollfd fd{ConnectionNumber(display), POLLIN, 0};
                poll(&fd, 1, 250);
                continue;
            }
            XEvent event;
            XNextEvent(display, &event);
            dispatch(event);
        }
        return result;
    }

private:
    bool setUp() {
        ErrorTrap trap(display);
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(display, frameWindow, &attributes) || trap.failed()) return false;
        screen = attributes.screen;
        root = RootWindowOfScreen(screen);
        visual = DefaultVisualOfScreen(screen);
        depth = DefaultDepthOfScreen(screen);
        colormap = DefaultColormapOfScreen(screen);
        screenW = WidthOfScreen(screen);
        screenH = HeightOfScreen(screen);
        return true;
    }

    void setFont(cairo_t* cr, bool bold) {
        cairo_set_font_face(cr, getCairoFontFace(bold ? kBoldFace : kNormalFace));
        cairo_set_font_size(cr, kMenuFontSize);
    }

    double textWidth(const std::string& text) {
        cairo_text_extents_t extents;
        cairo_text_extents(measure, menuText(text).c_str(), &extents);
        return extents.x_advance;
    }

    // Opens menu as a new level: at anchor for the root, else beside
    // entryRect (screen coordinates) of the deepest open level.
    bool openLevel(COptionMenu* menu, int openedFrom, const CPoint& anchor,
                   const CRect& entryRect) {
        Level level;
        level.menu = menu;
        level.openedFrom = openedFrom;
        level.lines = menuLines(menu);
        if (level.lines.empty()) return false;
        level.layout = layoutMenu(
            level.lines, [this](const std::string& t) { return textWidth(t); }, screenH);
        // Wider than the screen (many columns): the rest is cut.
        level.width = std::min(level.layout.width, screenW);
        level.height = std::min(level.layout.height, screenH);
        CPoint at = levels.empty() ? placeMenu(anchor, level.width, level.height, screenW, screenH)
                                   : placeSubmenu(entryRect, levels.back().x,
                                                  levels.back().x + levels.back().width,
                                                  level.width, level.height, screenW, screenH);
        level.x = static_cast<int>(at.x);
        level.y = static_cast<int>(at.y);

        ErrorTrap trap(display);
        XSetWindowAttributes set{};
        set.override_redirect = True;
        set.save_under = True;
        set.background_pixel = BlackPixelOfScreen(screen);
        set.border_pixel = 0;
        set.colormap = colormap;
        set.event_mask = ExposureMask | ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                         KeyPressMask | StructureNotifyMask;
        level.window =
            XCreateWindow(display, root, level.x, level.y, static_cast<unsigned>(level.width),
                          static_cast<unsigned>(level.height), 0, depth, InputOutput, visual,
                          CWOverrideRedirect | CWSaveUnder | CWBackPixel | CWBorderPixel |
                              CWColormap | CWEventMask,
                          &set);
        if (trap.failed()) return false;
        Atom type = XInternAtom(display, "_NET_WM_WINDOW_TYPE", False);
        Atom popupMenu = XInternAtom(display, "_NET_WM_WINDOW_TYPE_POPUP_MENU", False);
        XChangeProperty(display, level.window, type, XA_ATOM, 32, PropModeReplace,
                        reinterpret_cast<unsigned char*>(&popupMenu), 1);
        XMapRaised(display, level.window);
        level.surface =
            cairo_xlib_surface_create(display, level.window, visual, level.width, level.height);
        level.image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, level.width, level.height);
        levels.push_back(std::move(level));
        return !trap.failed();
    }

    // Keeps the first count levels.
    void closeLevels(size_t count) {
        if (levels.size() <= count) return;
        ErrorTrap trap(display);
        while (levels.size() > count) {
            Level& level = levels.back();
            if (level.surface) cairo_surface_destroy(level.surface);
            if (level.image) cairo_surface_destroy(level.image);
            if (level.window) XDestroyWindow(display, level.window);
            levels.pop_back();
        }
    }

    bool grab() {
        XSync(display, False);
        const Window window = levels.front().window;
        const unsigned int mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask;
        // The menu window may not be viewable yet, or another client may
        // still hold a grab for a moment: keep trying for up to 2 s (a busy
        // machine can take that long) before giving up.
        for (int attempt = 0; attempt < 200; ++attempt) {
            ErrorTrap trap(display);
            int status = XGrabPointer(display, window, False, mask, GrabModeAsync, GrabModeAsync,
                                      None, None, CurrentTime);
            if (status == GrabSuccess && !trap.failed()) {
                pointerGrabbed = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!pointerGrabbed) return false;
        ErrorTrap trap(display);
        keyboardGrabbed = XGrabKeyboard(display, window, False, GrabModeAsync, GrabModeAsync,
                                        CurrentTime) == GrabSuccess &&
                          !trap.failed();
        return true;
    }

    void startPointer() {
        ErrorTrap trap(display);
        Window r = 0, c = 0;
        int wx = 0, wy = 0;
        unsigned int mask = 0;
        if (!XQueryPointer(display, root, &r, &c, &startX, &startY, &wx, &wy, &mask) ||
            trap.failed())
            startX = startY = -100000;
    }

    void choose(size_t level, int line) {
        result.menu = levels[level].menu;
        result.index = line;
        finished = true;
    }

    void dismiss() { finished = true; }

    // The level and line under a point of the screen; false when the point
    // is on no menu (line may be -1 on a menu's padding).
    bool locate(int x, int y, size_t& level, int& line) const {
        for (size_t i = levels.size(); i-- > 0;) {
            const Level& l = levels[i];
            if (x >= l.x && x < l.x + l.width && y >= l.y && y < l.y + l.height) {
                level = i;
                line = menuLineAt(l.layout, CPoint(x - l.x, y - l.y));
                return true;
            }
        }
        return false;
    }

    void setHighlight(size_t level, int line) {
        Level& l = levels[level];
        if (line >= 0 && !l.lines[line].selectable()) line = -1;
        if (l.highlight == line) return;
        l.highlight = line;
        draw(l);
    }

    // Opens the submenu of a line of a level (closing any other below it).
    bool openSubmenu(size_t level, int line) {
        if (levels.size() > level + 1 && levels[level + 1].openedFrom == line) return true;
        closeLevels(level + 1);
        const Level& l = levels[level];
        if (line < 0 || !l.lines[line].selectable() || !l.lines[line].submenu) return false;
        CMenuItem* item = l.menu->getEntry(line);
        COptionMenu* submenu = item ? item->getSubmenu() : nullptr;
        if (!submenu) return false;
        for (const Level& open : levels)
            if (open.menu == submenu) return false; // a menu that holds itself
        CRect entry = l.layout.lines[line];
        entry.offset(l.x, l.y);
        return openLevel(submenu, line, CPoint(), entry);
    }

    void hover(int x, int y) {
        size_t level = 0;
        int line = -1;
        if (!locate(x, y, level, line)) {
            // Off the menus: the deepest menu forgets its highlight; the
            // entries leading to it stay lit.
            setHighlight(levels.size() - 1, -1);
            return;
        }
        if (levels.size() > level + 1 && levels[level + 1].openedFrom != line)
            closeLevels(level + 1);
        setHighlight(level, line);
        if (line >= 0 && levels[level].lines[line].submenu) openSubmenu(level, line);
    }

    void onPress(const XButtonEvent& b) {
        if (b.button > Button3) return; // the wheel
        pressSeen = true;
        size_t level = 0;
        int line = -1;
        if (!locate(b.x_root, b.y_root, level, line)) {
            dismiss();
            return;
        }
        hover(b.x_root, b.y_root);
    }

    void onRelease(const XButtonEvent& b) {
        if (b.button > Button3) return;
        const bool dragged = std::abs(b.x_root - startX) > 3 || std::abs(b.y_root - startY) > 3;
        size_t level = 0;
        int line = -1;
        if (!locate(b.x_root, b.y_root, level, line)) {
            // Pressed on the editor, dragged off every menu and released.
            if (!pressSeen && dragged) dismiss();
            return;
        }
        if (!pressSeen && !dragged) return; // the release of the opening click
        if (line >= 0 && levels[level].lines[line].selectable() &&
            !levels[level].lines[line].submenu)
            choose(level, line);
    }

    size_t activeLevel() const {
        for (size_t i = levels.size(); i-- > 0;)
            if (levels[i].highlight >= 0) return i;
        return 0;
    }

    void step(size_t level, int direction) {
        Level& l = levels[level];
        const int n = static_cast<int>(l.lines.size());
        int line = l.highlight;
        for (int k = 0; k < n; ++k) {
            line = line < 0 ? (direction > 0 ? 0 : n - 1) : (line + direction + n) % n;
            if (l.lines[line].selectable()) {
                closeLevels(level + 1);
                setHighlight(level, line);
                return;
            }
        }
    }

    void enterSubmenu(size_t level) {
        if (!openSubmenu(level, levels[level].highlight)) return;
        step(level + 1, +1);
    }

    void onKey(XKeyEvent& key) {
        const KeySym keysym = XLookupKeysym(&key, 0);
        const size_t level = activeLevel();
        const int line = levels[level].highlight;
        switch (keysym) {
        case XK_Escape:
            dismiss();
            break;
        case XK_Up:
        case XK_KP_Up:
            step(level, -1);
            break;
        case XK_Down:
        case XK_KP_Down:
            step(level, +1);
            break;
        case XK_Right:
        case XK_KP_Right:
            if (line >= 0 && levels[level].lines[line].submenu) enterSubmenu(level);
            break;
        case XK_Left:
        case XK_KP_Left:
            if (level > 0) {
                closeLevels(level);
            } else if (levels.size() > 1) {
                closeLevels(1);
            }
            break;
        case XK_Return:
        case XK_KP_Enter:
        case XK_space:
            if (line < 0) break;
            if (levels[level].lines[line].submenu)
                enterSubmenu(level);
            else
                choose(level, line);
            break;
        default:
            break;
        }
    }

    Level* levelOf(Window window) {
        for (Level& level : levels)
            if (level.window == window) return &level;
        return nullptr;
    }

    void dispatch(XEvent& event) {
        switch (event.type) {
        case MotionNotify: {
            XMotionEvent& m = event.xmotion;
            hover(m.x_root, m.y_root);
            return;
        }
        case ButtonPress:
            onPress(event.xbutton);
            return;
        case ButtonRelease:
            onRelease(event.xbutton);
            return;
        case KeyPress:
            onKey(event.xkey);
            return;
        case KeyRelease:
        case EnterNotify:
        case LeaveNotify:
            return;
        default:
            break;
        }
        if (Level* level = levelOf(event.xany.window)) {
            if (event.type == Expose && event.xexpose.count == 0) draw(*level);
            // A menu window that vanishes under us ends the menu.
            if (event.type == UnmapNotify || event.type == DestroyNotify) dismiss();
            return;
        }
        if (!frameEvent(event)) dismiss();
    }

    // Text is drawn off screen: glyphs never go through the X server, and
    // the window gets the whole menu at once.
    void draw(Level& level) {
        if (!level.surface || !level.image) return;
        cairo_t* cr = cairo_create(level.image);
        setRgb(cr, kBackground);
        cairo_paint(cr);
        cairo_font_extents_t font;
        setFont(cr, false);
        cairo_font_extents(cr, &font);
        for (size_t i = 0; i < level.lines.size(); ++i) {
            const MenuLine& line = level.lines[i];
            const CRect& r = level.layout.lines[i];
            if (line.separator) {
                setRgb(cr, kSeparator);
                cairo_set_line_width(cr, 1);
                const double y = std::floor((r.top + r.bottom) / 2) + 0.5;
                cairo_move_to(cr, r.left + 6, y);
                cairo_line_to(cr, r.right - 6, y);
                cairo_stroke(cr);
                continue;
            }
            const bool lit = static_cast<int>(i) == level.highlight;
            if (lit) {
                setRgb(cr, kHighlight);
                cairo_rectangle(cr, r.left + 2, r.top, r.getWidth() - 4, r.getHeight());
                cairo_fill(cr);
            }
            setRgb(cr, lit ? kHighlightText : line.selectable() ? kText : kGreyText);
            setFont(cr, line.header);
            const double baseline =
                r.top + std::round((r.getHeight() + font.ascent - font.descent) / 2);
            cairo_save(cr);
            cairo_rectangle(cr, r.left, r.top, r.getWidth() - kMenuTextRight + 8, r.getHeight());
            cairo_clip(cr);
            cairo_move_to(cr, r.left + kMenuTextLeft, baseline);
            cairo_show_text(cr, menuText(line.title).c_str());
            cairo_restore(cr);
            setFont(cr, false);
            if (line.checked) {
                cairo_move_to(cr, r.left + 7, baseline);
                cairo_show_text(cr, kCheckMark);
            }
            if (line.submenu) {
                cairo_move_to(cr, r.right - kMenuTextRight + 12, baseline);
                cairo_show_text(cr, kSubmenuMark);
            }
        }
        setRgb(cr, kBorder);
        cairo_set_line_width(cr, 1);
        cairo_rectangle(cr, 0.5, 0.5, level.width - 1, level.height - 1);
        cairo_stroke(cr);
        cairo_destroy(cr);
        cairo_surface_flush(level.image);

        cr = cairo_create(level.surface);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_set_source_surface(cr, level.image, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_flush(level.surface);
        XFlush(display);
    }

    Display* display;
    Window frameWindow;
    const std::function<bool(XEvent&)>& frameEvent;
    cairo_surface_t* measureSurface = nullptr;
    cairo_t* measure = nullptr;

    Screen* screen = nullptr;
    Window root = 0;
    Visual* visual = nullptr;
    int depth = 0;
    Colormap colormap = 0;
    int screenW = 0;
    int screenH = 0;

    std::vector<Level> levels;
    bool pointerGrabbed = false;
    bool keyboardGrabbed = false;
    int startX = 0;
    int startY = 0;
    bool pressSeen = false;
    bool finished = false;
    IPopupProvider::Result result;
};

} // namespace

PopupMenus::PopupMenus(Display* display, unsigned long frameWindow,
                       std::function<bool(_XEvent&)> frameEvent)
    : display(display), frameWindow(frameWindow), frameEvent(std::move(frameEvent)) {}

IPopupProvider::Result PopupMenus::popup(COptionMenu* root, CFrame* /*frame*/,
                                         const CPoint& where) {
    if (running || !root || root->getNbEntries() == 0) return {};
    running = true;
    Result result;
    {
        Session session(display, frameWindow, frameEvent);
        result = session.run(root, where);
    }
    running = false;
    return result;
}

} // namespace VSTGUI::X11
