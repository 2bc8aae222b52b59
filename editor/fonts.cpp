#include "editor/gui_tables.h"

namespace {

VSTGUI::CFontDesc verdanaSmall("Verdana", 10);
VSTGUI::CFontDesc verdanaLarge("Verdana", 14);
VSTGUI::CFontDesc verySmaller("Verdana", 9);
VSTGUI::CFontDesc verySmallerBig("Verdanaial", 12);
VSTGUI::CFontDesc managerSmall("Verdana", 10);
VSTGUI::CFontDesc managerBig("Verdanaial", 13);

} // namespace

const VSTGUI::CFontRef gVerdanaSmall = &verdanaSmall;
const VSTGUI::CFontRef gVerdanaLarge = &verdanaLarge;
const VSTGUI::CFontRef gNormalFontVerySmaller = &verySmaller;
const VSTGUI::CFontRef gNormalFontVerySmallerBig = &verySmallerBig;
const VSTGUI::CFontRef gNormalFontManagerSmall = &managerSmall;
const VSTGUI::CFontRef gNormalFontManagerBig = &managerBig;

const std::array<VSTGUI::CFontRef, 4> FONT_SIZES = {VSTGUI::kNormalFontSmaller, VSTGUI::kNormalFont,
                                                    VSTGUI::kNormalFontBig,
                                                    VSTGUI::kNormalFontVeryBig};
const std::array<VSTGUI::CFontRef, 4> FONT_SMALL_SIZES = {
    VSTGUI::kNormalFontSmaller, VSTGUI::kNormalFontSmall, VSTGUI::kNormalFont,
    VSTGUI::kNormalFontBig};
