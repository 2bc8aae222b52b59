// Shared tables of the editor: screen codes, the per-size tables of the
// controls, the GUI colours and the editor fonts.
//
// Size index 0..3 is the 100, 125, 150 and 200 per cent editor; every table
// indexed by it has four entries.
#pragma once

#include "vstgui/cfont.h"
#include "vstgui/vstguibase.h"

#include <algorithm>
#include <array>

// What the frame shows.
inline constexpr int SCREEN_MAIN_WAVE = 0; // main screen, user-wave lower page
inline constexpr int SCREEN_MAIN_ARP = 1;  // main screen, arpeggiator lower page
inline constexpr int SCREEN_MANAGER = 2;   // preset manager (no controls)
inline constexpr int SCREEN_BACK = 3;      // the settings screen

// Controls that are not parameters carry this tag.
inline constexpr int NO_PARAM_TAG = 9999;
// A menu that draws nothing.
inline constexpr int NO_DRAW_MENU_TAG = 9998;

// The design screen all positions are given for.
inline constexpr int DESIGN_WIDTH = 1132;
inline constexpr int DESIGN_HEIGHT = 779;
inline constexpr int kBitmapCount = 47; // as editor/artwork.h counts them

// Design ids of the bitmaps that several files load (editor/artwork.cpp
// paints every one).
inline constexpr int BITMAP_SWITCH = 10050;    // the default two-frame switch, also the unlit face
inline constexpr int BITMAP_MENU_ICON = 10051; // the menu buttons' icon
inline constexpr int BITMAP_UNISON = 10076;    // the unison display

inline constexpr int clampSizeIndex(int index) {
    return std::clamp(index, 0, 3);
}

inline constexpr std::array<float, 4> SCALE = {1.0f, 1.25f, 1.5f, 2.0f};
inline constexpr std::array<int, 4> MENU_DELTA_BUTTON_WIDTH = {12, 15, 18, 24};
inline constexpr std::array<int, 4> MENU_PRESET_ARROW_OFF = {0, 0, 0, 0};
inline constexpr std::array<int, 4> MENU_FOLDER_ARROW_OFF = {0, 0, 0, -2};
inline constexpr std::array<int, 4> MENU_INDICATOR_INSET = {6, 7, 9, 12};
inline constexpr std::array<int, 4> VSLIDER_RING_X_SHIFT = {1, 1, 0, 0};
inline constexpr std::array<float, 4> ARP_STEP_WIDTH = {30.625f, 38.3125f, 46.0f, 61.375f};
inline constexpr std::array<float, 4> ARP_ROW_HEIGHT = {188.0f / 9.0f, 236.0f / 9.0f, 94.0f / 3.0f,
                                                        376.0f / 9.0f};
inline constexpr std::array<int, 4> ARP_LED_OFFSET = {19, 24, 28, 40};
inline constexpr std::array<int, 4> ARP_TEXT_OFFSET = {2, 3, 4, 6};
inline constexpr std::array<int, 4> ARP_LOOP_MARK_START = {3, 3, 3, 5};
inline constexpr std::array<int, 4> ARP_LOOP_MARK_END = {7, 9, 11, 14};

// GUI colours.
inline constexpr VSTGUI::CColor LIGHT_BLUE_COLOR{40, 224, 224, 255};
inline constexpr VSTGUI::CColor MID_BLUE_COLOR{25, 153, 153, 255};
inline constexpr VSTGUI::CColor DARK_BLUE_COLOR{25, 153, 153, 127};
inline constexpr VSTGUI::CColor DARK_BLUE_TRANS_25_COLOR{25, 153, 153, 63};
inline constexpr VSTGUI::CColor DARK_BLUE_TRANS_12_COLOR{25, 153, 153, 31};
inline constexpr VSTGUI::CColor MID_DARK_BLUE_COLOR{40, 224, 224, 63};
inline constexpr VSTGUI::CColor SCROLL_BAR_COLOR{40, 224, 224, 63};
inline constexpr VSTGUI::CColor WAVE_COLOR{25, 153, 153, 255};

// The editor's fonts (plain; every family draws as DejaVu Sans). They live
// for the whole process.
extern const VSTGUI::CFontRef gVerdanaSmall;             // "Verdana" 10
extern const VSTGUI::CFontRef gVerdanaLarge;             // "Verdana" 14
extern const VSTGUI::CFontRef gNormalFontVerySmaller;    // "Verdana" 9
extern const VSTGUI::CFontRef gNormalFontVerySmallerBig; // "Verdanaial" 12
extern const VSTGUI::CFontRef gNormalFontManagerSmall;   // "Verdana" 10
extern const VSTGUI::CFontRef gNormalFontManagerBig;     // "Verdanaial" 13

// Control text per size: 10, 12, 14, 18 and (user-wave screen) 10, 11, 12, 14.
extern const std::array<VSTGUI::CFontRef, 4> FONT_SIZES;
extern const std::array<VSTGUI::CFontRef, 4> FONT_SMALL_SIZES;
