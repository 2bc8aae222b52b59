#include "editor/gui_tables.h"

#include "core/immortal.h"

namespace {

// Never destroyed, like the stock fonts (sdk/vstgui/cfont.cpp).
Immortal<VSTGUI::CFontDesc> verdanaSmall("Verdana", 10);
Immortal<VSTGUI::CFontDesc> verdanaLarge("Verdana", 14);
Immortal<VSTGUI::CFontDesc> verySmaller("Verdana", 9);
Immortal<VSTGUI::CFontDesc> verySmallerBig("Verdanaial", 12);
Immortal<VSTGUI::CFontDesc> managerSmall("Verdana", 10);
Immortal<VSTGUI::CFontDesc> managerBig("Verdanaial", 13);

} // namespace

const VSTGUI::CFontRef gVerdanaSmall = &verdanaSmall.object;
const VSTGUI::CFontRef gVerdanaLarge = &verdanaLarge.object;
const VSTGUI::CFontRef gNormalFontVerySmaller = &verySmaller.object;
const VSTGUI::CFontRef gNormalFontVerySmallerBig = &verySmallerBig.object;
const VSTGUI::CFontRef gNormalFontManagerSmall = &managerSmall.object;
const VSTGUI::CFontRef gNormalFontManagerBig = &managerBig.object;

const std::array<VSTGUI::CFontRef, 4> FONT_SIZES = {VSTGUI::kNormalFontSmaller, VSTGUI::kNormalFont,
                                                    VSTGUI::kNormalFontBig,
                                                    VSTGUI::kNormalFontVeryBig};
const std::array<VSTGUI::CFontRef, 4> FONT_SMALL_SIZES = {
    VSTGUI::kNormalFontSmaller, VSTGUI::kNormalFontSmall, VSTGUI::kNormalFont,
    VSTGUI::kNormalFontBig};
