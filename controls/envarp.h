// Two graphic editing screens of the editor.
//
// TEnvScreen draws one four-stage envelope (attack, decay, sustain,
// release) as a curve over a filled area with five round handles, and lets
// the user drag the attack, decay and release handles sideways and the
// sustain handle up and down. It keeps no parameter value of its own: every
// value is read from the plug-in when drawing and every change goes back
// through the plug-in's automated setter.
//
// TArpScreen is the arpeggiator's step grid: 16 steps by 8 rows, one
// parameter per cell (tag 317 + 16 x row + step). It shows the playing step,
// the loop start, the step numbers and each cell's value as text; cells are
// toggled, dragged, picked from a popup, reset, typed in and stepped with the
// wheel, all through the arpeggiator section's lock.
//
// Both carry the tag NO_PARAM_TAG, are built once per opening of the editor
// and are polled by the editor's idle pass through the getters below.
#pragma once

#include "core/tags.h"
#include "vstgui/vstgui.h"

#include <array>

class TEnvScreen : public VSTGUI::CControl {
public:
    // envelope: 0 amp, 1 filter (whose picture the invert switch turns upside
    // down); the four tags in the order attack, decay, sustain, release;
    // decaySustain: dragging the decay or sustain handle moves both;
    // sizeIndex: the GUI size index (clamped to 0..3).
    TEnvScreen(const VSTGUI::CRect& size, VSTGUI::IControlListener* listener, int envelope,
               int tagA, int tagD, int tagS, int tagR, bool decaySustain, int sizeIndex);
    TEnvScreen(const TEnvScreen& other) = default;
    ~TEnvScreen() override;

    VSTGUI::CView* newCopy() const override { return new TEnvScreen(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    // A gesture taken away ends like a release: the host's edit is closed.
    VSTGUI::CMouseEventResult onMouseCancel() override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // Decay-sustain mode; takes effect at the next drag, without a redraw.
    void setDecaySustain(bool on) { decaySustain = on; }
    bool getDecaySustain() const { return decaySustain; }
    // The handle last picked (the attack until the first click).
    int getSelectedEnvTag() const { return selectedTag; }
    // A handle drag is in progress.
    bool getMouseDown() const { return dragging; }
    // The tag of the handle nearest to x (pixels from the view's left edge),
    // the attack's when no handle is strictly nearest.
    int getNearestTag(int x) const;

    int getEnvelope() const { return envelope; }
    int getSizeIndex() const { return sizeIndex; }

private:
    // Where the five handles stand for the present parameter values.
    struct Handles {
        VSTGUI::CPoint start, attack, decay, sustain, release;
    };
    Handles handlesFor(float a, float d, float s, float r, bool invert) const;

    bool decaySustain;
    bool dragging = false;
    bool inverted = false;
    int sizeIndex;
    int envelope;
    int tagA, tagD, tagS, tagR;
    int selectedTag;
    int labelSize;
    int innerTop, innerBottom;
    int innerLeft, innerRight;
    int innerWidth;
    int handleRadius;
    float segmentWidth;
    float gap;
    float innerHeight;
    float dragValue = 0.0f, sustainValue = 0.0f, decayValue = 0.0f;
    float dragStep = 0.0f, sustainStep = 0.0f, decayStep = 0.0f;
    float scale;
    VSTGUI::CFontRef font;
    VSTGUI::CPoint dragStart{0, 0};
    VSTGUI::CPoint lastPoint{0, 0};
};

class TArpScreen : public VSTGUI::CControl {
public:
    static constexpr int kSteps = tag::ArpStepCount;
    static constexpr int kRows = tag::ArpRowCount;

    // size: the GUI size index (clamped to 0..3).
    TArpScreen(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int size);
    TArpScreen(const TArpScreen& other) = default;
    ~TArpScreen() override;

    VSTGUI::CView* newCopy() const override { return new TArpScreen(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    // A gesture taken away ends like a release: the host's edit is closed.
    VSTGUI::CMouseEventResult onMouseCancel() override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // The step the LED marks (-1 none); redrawn only when it changed.
    void setLedStep(int step);
    int getLedPos() const { return ledStep; }

    // The step column under x (clamped to 0..15) and the row under y
    // (0..7 on the grid, negative above it only past a whole row, 8 and up
    // below it), both in the coordinates of the view's parent.
    int getArpStep(int x) const;
    int getArpRow(int y) const;
    // A value drag is in progress.
    bool getMouseDown() const { return mouseDown; }
    // The cell last picked for editing (-1 none).
    int getSelectedArpTag() const { return selectedTag; }
    // The step and row of the last click or wheel turn.
    int getLastStep() const { return lastStep; }
    int getLastRow() const { return lastRow; }
    int getSizeIndex() const { return sizeIndex; }

    // Cell values through the arpeggiator section's lock (0 without an
    // editor or plug-in). The setters mark the grid dirty.
    float getArpValue(int tag) const;
    bool getArpValueOnOff(int tag) const;
    void setArpValue(int tag, float value);
    void toggleArpValue(int tag);

private:
    // The chord or ratchet popup for the selected cell.
    void popupCellMenu(const char* const* entries, int count);

    bool mouseDown = false;
    int sizeIndex;
    int ledStep = -1;
    int selectedTag = -1;
    int lastStep = 0;
    int lastRow = 0;
    std::array<int, kRows> rowTop{};
    std::array<int, kRows> rowBottom{};
    float scale;
    float dragStart = 0.0f;
    float dragStep = 0.0f;
    VSTGUI::CPoint downPoint{0, 0};
    VSTGUI::CPoint lastPoint{-1, -1};
    VSTGUI::CFontRef font;
};
