// The oscillator and filter section menus.
//
// Both offer reset to defaults, a return to the loaded preset, one clipboard
// and one level of undo per section. Every use of a menu that is not "Undo"
// (dismissing it too) first takes the section's snapshot, so "Undo" returns
// to the state before the last use of the menu. Undo and paste write plainly
// (the host is not told); resets and returns to the preset are automated.

#include "core/aplugin.h"
#include "editor/popup_menu.h"
#include "editor/section_values.h"
#include "editor/ueditor.h"

#include <array>
#include <span>
#include <string>

using namespace VSTGUI;

namespace {

// The oscillator section in the order every command walks it: waves A and B,
// morph, octave to spread, mode, morph wrap, free running, drift and the XY
// pad's morph amounts.
constexpr std::array<int, 15> OSC_TAGS = {
    tag::OscWaveA,      tag::OscWaveB,         tag::OscMorph,     tag::OscOctave,  tag::OscSymmetry,
    tag::OscSModAmount, tag::OscSModSpeed,     tag::OscSubVolume, tag::OscSpread,  tag::OscMode,
    tag::MorphWrapOn,   tag::OscFreeRunningOn, tag::DriftOn,      tag::XYXToMorph, tag::XYYToMorph};

// The filter section: type, then 23..38.
constexpr std::array<int, 17> FILTER_TAGS = {tag::FilterType,
                                             tag::FilterFreq,
                                             tag::FilterQ,
                                             tag::ModWheelToFilterFreq,
                                             tag::VelocityToFilterFreq,
                                             tag::KeyToFilterFreq,
                                             tag::EnvToFilterFreq,
                                             tag::InvertFilterEnvOn,
                                             tag::FilterEnvAttack,
                                             tag::FilterEnvDecay,
                                             tag::FilterEnvSustain,
                                             tag::FilterEnvRelease,
                                             tag::HiPassOn,
                                             tag::HiPassFreq,
                                             tag::HiPassQOn,
                                             tag::HiPassQ,
                                             tag::HiPassKeyTrackOn};

// Parts of the filter section that have their own reset (the envelope
// amount belongs to both the main filter and the filter envelope).
constexpr std::array<int, 7> MAIN_FILTER_TAGS = {
    tag::FilterType,           tag::FilterFreq,      tag::FilterQ,        tag::ModWheelToFilterFreq,
    tag::VelocityToFilterFreq, tag::KeyToFilterFreq, tag::EnvToFilterFreq};
constexpr std::array<int, 6> FILTER_ENV_TAGS = {tag::EnvToFilterFreq,  tag::InvertFilterEnvOn,
                                                tag::FilterEnvAttack,  tag::FilterEnvDecay,
                                                tag::FilterEnvSustain, tag::FilterEnvRelease};
constexpr std::array<int, 5> HIPASS_TAGS = {tag::HiPassOn, tag::HiPassFreq, tag::HiPassQOn,
                                            tag::HiPassQ, tag::HiPassKeyTrackOn};

void resetTags(APlugin& p, std::span<const int> tags) {
    for (int t : tags) p.setToDefault(t);
}

void origTags(APlugin& p, std::span<const int> tags) {
    for (int t : tags) p.setToOrig(t);
}

} // namespace

void uEditor::showOscMenu() {
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();

    for (const char* title : {"-GOscillator Command Menu", "-", "Reset Oscillator",
                              "Set to Original Oscillator Settings", "Set Oscillator Wave A to B",
                              "Set Oscillator Wave B to A", "Swap Oscillator Waves",
                              "Copy Oscillator", "Paste Oscillator", "-", "Undo"})
        menu.add(title);
    menu.show();

    const std::string& chosen = menu.rootChoice();
    auto& undo = stores.undo[kOscSection];
    auto& clipboard = stores.clipboard[kOscSection];
    if (chosen != "Undo") section_values::store(p, undo, OSC_TAGS);

    if (chosen == "Undo") section_values::restore(p, undo, OSC_TAGS);
    if (chosen == "Reset Oscillator") resetTags(p, OSC_TAGS);
    if (chosen == "Set to Original Oscillator Settings") origTags(p, OSC_TAGS);
    if (chosen == "Set Oscillator Wave A to B") p.copyParameter(tag::OscWaveA, tag::OscWaveB);
    if (chosen == "Set Oscillator Wave B to A") p.copyParameter(tag::OscWaveB, tag::OscWaveA);
    if (chosen == "Swap Oscillator Waves") p.swapParameter(tag::OscWaveB, tag::OscWaveA);
    if (chosen == "Copy Oscillator") section_values::store(p, clipboard, OSC_TAGS);
    if (chosen == "Paste Oscillator") section_values::restore(p, clipboard, OSC_TAGS);
}

void uEditor::showFilterMenu() {
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();

    for (const char* title :
         {"-GFilter Command Menu", "-", "Reset All Filters", "Reset Main Filter",
          "Reset Filter Envelope", "Reset HiPass Filter", "Set to Original Filters Settings",
          "Copy Filters", "Paste Filters", "-", "Undo"})
        menu.add(title);
    menu.show();

    const std::string& chosen = menu.rootChoice();
    auto& undo = stores.undo[kFilterSection];
    auto& clipboard = stores.clipboard[kFilterSection];
    if (chosen != "Undo") section_values::store(p, undo, FILTER_TAGS);

    if (chosen == "Undo") section_values::restore(p, undo, FILTER_TAGS);
    if (chosen == "Reset All Filters") resetTags(p, FILTER_TAGS);
    if (chosen == "Reset Main Filter") resetTags(p, MAIN_FILTER_TAGS);
    if (chosen == "Reset Filter Envelope") resetTags(p, FILTER_ENV_TAGS);
    if (chosen == "Reset HiPass Filter") resetTags(p, HIPASS_TAGS);
    if (chosen == "Set to Original Filters Settings") origTags(p, FILTER_TAGS);
    if (chosen == "Copy Filters") section_values::store(p, clipboard, FILTER_TAGS);
    if (chosen == "Paste Filters") section_values::restore(p, clipboard, FILTER_TAGS);
}
