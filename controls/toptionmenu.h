// TOptionMenu: the editor's text menu control.
//
// Shows a short text (the chosen entry of a stepped parameter, a preset or
// folder name, a wave preset) and pops up its list of entries when clicked.
// Optional "-" and "+" zones at its two ends step the parameter without the
// list; a preset menu carries previous/next arrows at its right end that step
// the program, a folder menu arrows at its left end; a wave-preset menu steps
// the selected user wave through the factory waves. A bypassed menu shows a
// dash and ignores the mouse; the indicator square at its left end blinks
// while the section it belongs to is locked.
#pragma once

#include "vstgui/vstgui.h"

#include <string>

class TOptionMenu : public VSTGUI::COptionMenu {
public:
    // size: the GUI size index (clamped to 0..3); centred: the text is
    // centred, else left-aligned; deltaArrows: the "-" and "+" zones.
    TOptionMenu(const VSTGUI::CRect& rect, VSTGUI::IControlListener* listener, int32_t tag,
                VSTGUI::CBitmap* background, VSTGUI::CBitmap* backgroundWhenClicked, int32_t style,
                int size, bool centred, bool deltaArrows);
    ~TOptionMenu() override;

    void draw(VSTGUI::CDrawContext* context) override;
    VSTGUI::CMouseEventResult onMouseDown(VSTGUI::CPoint& where,
                                          const VSTGUI::CButtonState& buttons) override;
    bool onWheel(const VSTGUI::CPoint& where, const float& distance,
                 const VSTGUI::CButtonState& buttons) override;
    // The axis form passes the vertical wheel on to the handler above.
    using VSTGUI::CView::onWheel;

    // The shown text; an empty text is kept as " ". Marks the menu dirty
    // only when the text changed.
    void setString(const std::string& text);
    void setString(const char* text);
    const std::string& getString() const { return text; }

    void setPresetMenu();
    void setFolderMenu();
    void setWavePresetMenu();
    void reverseDelta();
    // x offsets of the "-" and "+" labels.
    void setDeltaOff(int minusX, int plusX);
    void setTextOff(int) {}
    void setBypassed(bool state);
    // The lock indicator: shown while on, filled at even phases.
    void setIndicator(bool on, int phase);

    bool isPresetMenu() const { return presetMenu; }
    bool isFolderMenu() const { return folderMenu; }
    bool isWavePresetMenu() const { return wavePresetMenu; }
    bool hasDeltaZones() const { return deltaZones; }
    bool isBypassed() const { return bypassed; }
    bool isIndicatorOn() const { return indicatorOn; }
    int getIndicatorPhase() const { return indicatorPhase; }
    int getSizeIndex() const { return sizeIndex; }

private:
    // The text the menu shows now (before the bypassed dash).
    std::string shownText();
    // The "-" and "+" zones and the wheel of a wave-preset menu.
    void stepWavePreset(int direction);

    bool deltaZones;
    bool reverse = false;
    bool folderMenu = false;
    bool presetMenu = false;
    bool wavePresetMenu = false;
    bool bypassed = false;
    bool indicatorOn = false;
    int indicatorPhase = 0;
    int indicatorInset;
    int deltaZoneWidth;
    int presetArrowOff;
    int folderArrowOff;
    int minusLabelX = 0;
    int plusLabelX = 0;
    std::string text;
    VSTGUI::CHoriTxtAlign textAlign;
    int sizeIndex;
};
