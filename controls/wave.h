// TWaveScreen: the editor of the two user waves on the user-wave page.
//
// It shows one user wave either as its 2048 samples or as its 128 partials
// (amplitude bars in the upper half, phase bars in the lower half, and the
// whole wave in miniature in a side panel on the right) and lets the user
// draw: samples freehand, as a straight line or by erasing, partial
// amplitudes or phases by dragging over the bars, and single partials with
// the wheel. Every change goes into the plug-in's user-wave store, which
// keeps both forms of a wave in step: a drawn stroke is analysed into 128
// partials and rebuilt from them when the mouse is released, and every
// partial change rebuilds the samples at once.
//
// While a wave-shaper mode is set the screen also draws the shaper's preview
// and ignores every click. A Command click or double click clears the shown
// wave, an Option click returns both waves to the loaded preset, a menu
// click opens the user-wave menu; each click takes the user-wave undo
// snapshot first.
//
// The editor drives the view, wave and draw mode from the page's radio
// buttons and the shaper mode from parameter 995; the screen itself carries
// the tag NO_PARAM_TAG and keeps no parameter value.
#pragma once

#include "vstgui/vstgui.h"

class APlugin;

class TWaveScreen : public VSTGUI::CControl {
public:
    // sizeIndex: the GUI size index (clamped to 0..3).
    TWaveScreen(const VSTGUI::CRect& size, VSTGUI::IControlListener* listener, int sizeIndex);
    TWaveScreen(const TWaveScreen& other) = default;
    ~TWaveScreen() override;

    VSTGUI::CView* newCopy() const override { return new TWaveScreen(*this); }
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    // A stroke taken away ends where it is: what it drew is kept and
    // analysed as on a release; a line not yet released is not drawn.
    VSTGUI::CMouseEventResult onMouseCancel() override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // View mode: 0 samples, 1 partials. Always redraws.
    void setMode(int mode);
    int getMode() const { return viewMode; }
    // The user wave shown, 0 or 1. Always redraws.
    void setWave(int newWave);
    int getWave() const { return wave; }
    // Draw mode: 0 freehand, 1 line, 2 erase. Redraws only on a change.
    void setDrawMode(int mode);
    int getDrawMode() const { return drawMode; }
    // The step of the wave-shaper mode (parameter 995), 0 for none. Redraws
    // only on a change.
    void setShaperMode(int mode);
    int getShaperMode() const { return shaperMode; }

    // The partial under pixel column x (from the view's left edge) in the
    // partials view, 0..127; 0 when the screen has no editor or plug-in.
    int getWaveTablePartial(int x) const;
    // Writes 2v - 1 into sample index of the shown wave (v 0..1 from the
    // bottom of the view).
    void setWaveValue(int index, float v);

    int getSizeIndex() const { return sizeIndex; }
    // Whether a line of the line mode is being dragged (and drawn).
    bool isLineShown() const { return lineShown; }

private:
    VSTGUI::CMouseEventResult samplesMoved(const VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons);
    VSTGUI::CMouseEventResult partialsMoved(const VSTGUI::CPoint& where,
                                            const VSTGUI::CButtonState& buttons);
    void drawSamples(VSTGUI::CDrawContext* context, APlugin& plugin);
    void drawPartials(VSTGUI::CDrawContext* context, APlugin& plugin);
    // Sample index and value (0..1 from the bottom) of a pixel, in view
    // coordinates; the partial value of y in the half chosen.
    int partialAt(int x, bool exponential) const;
    int sampleIndexOf(float x) const;
    float valueOf(float y) const;
    float partialValueOf(float y, bool inLowerHalf) const;
    // Writes the samples from index lo (value vLo) up to but not including
    // hi, interpolated; a single index when both are equal (value vHi).
    void writeSegment(int lo, float vLo, int hi, float vHi);

    // A drag started at mouse-down and not ended yet: moves without one are
    // hovers, even with the left button held.
    bool dragging = false;
    bool lowerHalf = false;
    bool lineShown = false;
    bool drawStart = false;
    int sizeIndex;
    int wave = 0;
    int shaperMode = 0;
    int viewMode = 0;
    int drawMode = 0;
    int lastIndex = 0;
    int prevIndex = 0;
    int width;
    int height;
    int halfHeight;
    int areaWidth;
    int panelWidth;
    int partialX = 0;
    int lastPartialX = 0;
    float scale;
    float widthF;
    float heightF;
    float halfHeightF;
    float areaWidthF;
    float lineStartX = 0.0f;
    float lineStartValue = 0.0f;
    float lineEndX = 0.0f;
    float lineEndValue = 0.0f;
    float lastValue = 0.0f;
    float prevValue = 0.0f;
    float partialValue = 0.0f;
    float lastPartialValue = 0.0f;
    VSTGUI::CPoint lastPoint;
    VSTGUI::CFontRef font;
};
