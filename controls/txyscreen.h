// TXYScreen: the XY pad.
//
// Live mode: a drag moves the pad position (a double click centres it).
// Record mode: a drag records a take of pad movements, and a MIDI move of
// the pad after entering Record starts a take that lasts until Replay.
// Replay mode: with editing on, the recorded path of 128 points is shown
// and its editable points can be dragged, alone or with their neighbours
// (grouping Narrow and Wide bend the path around the point). Behind it an
// oscilloscope trace of the oscillator or the output can be drawn.
//
// Every value that matters lives in parameters (position 39/40, MIDI
// position 41/42, path 459.. and 587..); the pad keeps only what it shows
// and, while a point is dragged, a snapshot of the path. Pad positions are
// 0..1 with y growing upwards.
#pragma once

#include "core/tags.h"
#include "engine/xy_pad.h"
#include "vstgui/vstgui.h"

#include <array>

// Half-width of a group drag per grouping (Single, Narrow, Wide).
inline constexpr std::array<int, 3> XY_GROUP_NO = {1, 3, 8};
// Diameter of a path point's dot per size index.
inline constexpr std::array<int, 4> XY_BLOB_SIZE = {6, 7, 8, 12};
// The oscilloscope box per size index, from the pad's top-left corner.
struct XYOscBox {
    int x, y, samples, height;
};
inline constexpr std::array<XYOscBox, 4> XY_OSC_BOX = {
    {{39, 39, 160, 167}, {48, 48, 204, 206}, {59, 49, 240, 258}, {79, 69, 320, 340}}};

class TXYScreen : public VSTGUI::CControl {
public:
    static constexpr int kPoints = tag::XYPointCount;
    static constexpr int kScopeSize = 1024;

    TXYScreen(const VSTGUI::CRect& size, VSTGUI::IControlListener* listener, int sizeIndex);
    TXYScreen(const TXYScreen& other);
    ~TXYScreen() override;

    VSTGUI::CView* newCopy() const override;
    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseUp(VSTGUI::CPoint& where,
                                        const VSTGUI::CButtonState& buttons) override;
    VSTGUI::CMouseEventResult onMouseMoved(VSTGUI::CPoint& where,
                                           const VSTGUI::CButtonState& buttons) override;
    // A drag taken away ends like a release: a take being recorded is
    // ended and kept, a dragged path point stays where it is.
    VSTGUI::CMouseEventResult onMouseCancel() override;

    // Display settings from the editor and the XY menu.
    void setGrouping(int g);
    void drawOsc(bool on) { oscVisible = on; }
    void setOscMode(bool output) { oscMode = output; }

    // Path editing is switched on (tag 456).
    bool getEditOn() const;
    // A path has been recorded (its length is at least 0.002).
    bool hasPath() const;
    // A pad coordinate snapped to the space quantisation grid.
    float snapValue(float v) const;
    // Path point i as a pixel of the pad, and its snapped pad position.
    void getXYPoint(int i, int& x, int& y) const;
    void getSnappedXYPoint(int i, float& x, float& y) const;
    // Writes path point i (automated).
    void setXYPoint(int i, float x, float y);
    // The editable path point nearest to a position (the coordinates of the
    // pad's parent); -1 without a plug-in.
    int getEditPoint(int x, int y);

    bool getOscVisible() const { return oscVisible; }
    bool getOscMode() const { return oscMode; }
    int getGrouping() const { return grouping; }
    int getGroupSize() const { return groupSize; }
    int getEditingPoint() const { return editPoint; }
    int getRecordMode() const { return recordMode; }
    bool isRecordArmed() const { return recordArmed; }
    bool isMidiTake() const { return midiTake; }
    bool getMidiMoved() const { return midiMoved; }
    float getPosX() const { return posX; }
    float getPosY() const { return posY; }
    int getSizeIndex() const { return sizeIndex; }
    const std::array<float, kScopeSize>& getScopeBuffer() const { return scopeBuffer; }

private:
    // A position of the pad's parent as a pad position.
    void toPad(const VSTGUI::CPoint& where, float& x, float& y) const;
    int pixelX(float x) const;
    // The pixel of a value that already runs downwards (1 - y).
    int pixelYDown(float down) const;
    // Draws the position dot with its centre on a pixel.
    void drawMarker(VSTGUI::CDrawContext* context, VSTGUI::CBitmap* dot, int x, int y) const;

    bool oscMode = false;
    // A drag began with a press here and has not ended yet.
    bool dragging = false;
    bool midiMoved = false;
    bool recordArmed = false;
    bool midiTake = false;
    bool oscVisible = true;
    int32_t recordMode = 0;
    int32_t playMode = 0;
    int32_t editPoint = -1;
    int32_t grouping = 0;
    int32_t groupSize = 0;
    int32_t sizeIndex;
    float areaWidth;
    float areaHeight;
    float posX = 0.5f;
    float posY = 0.5f;
    std::array<float, kPoints> pathX{};
    std::array<float, kPoints> pathY{};
    std::array<float, kScopeSize> scopeBuffer{};
};
