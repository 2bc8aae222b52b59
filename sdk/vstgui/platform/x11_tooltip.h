// The tooltip of an editor window on X11: a small override-redirect window
// on the root window, below and right of the pointer, showing one line of
// text drawn with cairo. Its picture is the window's background, so the
// server repaints it without any event reaching us.
#pragma once

#include "vstgui/vstguibase.h"

#include <string>

typedef struct _XDisplay Display;

namespace VSTGUI::X11 {

// The top-left corner of a tooltip of size w x h for the pointer at
// (screen coordinates): gap pixels below it, or above it when there is no
// room below, and moved left as far as needed to stay on a screen of
// screenW x screenH.
CPoint placeTooltip(const CPoint& pointer, int w, int h, int gap, int screenW, int screenH);

// The size of a tooltip whose text measures textWidth x textHeight pixels
// in a font of fontSize pixels.
CPoint tooltipSize(double textWidth, double textHeight, double fontSize);

// How far below the pointer a tooltip in a font of fontSize pixels starts.
int tooltipGap(double fontSize);

class TooltipWindow {
public:
    // frameWindow: the editor's window, whose coordinates show() takes.
    TooltipWindow(Display* display, unsigned long frameWindow);
    ~TooltipWindow();
    TooltipWindow(const TooltipWindow&) = delete;
    TooltipWindow& operator=(const TooltipWindow&) = delete;

    // Shows text for the pointer at where (frame window coordinates), or
    // replaces the text shown; the window is made at the first call.
    void show(const CPoint& where, const std::string& text, double fontSize, int32_t fontStyle);
    void hide();
    // Destroys the window; call before the display is closed.
    void destroy();

    bool isShown() const { return shown; }
    unsigned long nativeHandle() const { return window; }

private:
    bool makeWindow();

    Display* display;
    unsigned long frameWindow;
    unsigned long window = 0; // X11 window ids
    unsigned long root = 0;
    int screen = 0;
    int screenW = 0;
    int screenH = 0;
    bool shown = false;
};

} // namespace VSTGUI::X11
