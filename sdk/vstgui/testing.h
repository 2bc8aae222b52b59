// Test access to the GUI layer: what tests and tools use to run the editor
// without a screen. A frame opened on a null parent is headless; the
// helpers below feed it input, read its pixels and replace the layer's
// clock, bitmaps and popup menus.
#pragma once

#include "vstgui/cbitmap.h"
#include "vstgui/cframe.h"
#include "vstgui/coptionmenu.h"

#include <functional>
#include <string>
#include <vector>

namespace VSTGUI::Testing {

// Objects of the layer alive now (every CBaseObject).
int64_t liveObjects();

// The clock behind getTicks and double-click detection (milliseconds).
void setClock(std::function<uint32_t()> clock);
void resetClock();

// Asked before the process's bitmap provider while set (nullptr removes).
void setBitmapProviderOverride(IBitmapProvider* provider);
// Shows every popup while set, in place of the window system's (nullptr
// removes).
void setPopupProviderOverride(IPopupProvider* provider);

// Input at frame coordinates; idle() is not run.
void mouseDown(CFrame* frame, CPoint where, CButtonState buttons = kLButton);
void mouseMove(CFrame* frame, CPoint where, CButtonState buttons = kLButton);
void mouseUp(CFrame* frame, CPoint where, CButtonState buttons = kLButton);
void click(CFrame* frame, CPoint where, CButtonState buttons = kLButton);
void wheel(CFrame* frame, CPoint where, float distance, CButtonState buttons = 0);
bool keyDown(CFrame* frame, VstKeyCode key);

// The frame's image (after its idle pass has drawn).
CColor pixelAt(CFrame* frame, int x, int y);
bool writePng(CFrame* frame, const std::string& path);
bool writePng(CBitmap* bitmap, const std::string& path);
CColor pixelAt(cairo_surface_t* surface, int x, int y);

// A popup provider driven by the test: each popup takes the next scripted
// answer (dismiss when none is left) and records what it showed.
class ScriptedPopupProvider : public IPopupProvider {
public:
    struct Line {
        std::string title;
        bool enabled = true;
        bool separator = false;
        bool hasSubmenu = false;
        int32_t tag = -1; // the entry's tag (what the editor attached to it)
    };
    struct Shown {
        std::vector<Line> lines;                 // the root menu's entries
        std::vector<std::vector<Line>> submenus; // each submenu, depth first
    };

    // Chooses the entry reached by titles, root first ("Copy", or
    // {"Destination", "Cutoff"} for an entry of a submenu).
    void chooseTitlePath(std::vector<std::string> path);
    // Chooses entry index of the root menu.
    void chooseIndex(int32_t index);
    void dismiss();

    Result popup(COptionMenu* root, CFrame* frame, const CPoint& where) override;

    const std::vector<Shown>& history() const { return shown; }
    int popupCount() const { return static_cast<int>(shown.size()); }

private:
    struct Answer {
        enum Kind { kPath, kIndex, kDismiss } kind = kDismiss;
        std::vector<std::string> path;
        int32_t index = -1;
    };
    std::vector<Answer> answers;
    size_t next = 0;
    std::vector<Shown> shown;
};

} // namespace VSTGUI::Testing
