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

enum class OscCommand {
    None,
    Reset,
    SetToOriginal,
    WaveAToB,
    WaveBToA,
    SwapWaves,
    Copy,
    Paste,
    Undo
};

constexpr MenuEntry<OscCommand> OSC_MENU[] = {
    {"-GOscillator Command Menu", OscCommand::None},
    {"-", OscCommand::None},
    {"Reset Oscillator", OscCommand::Reset},
    {"Set to Original Oscillator Settings", OscCommand::SetToOriginal},
    {"Set Oscillator Wave A to B", OscCommand::WaveAToB},
    {"Set Oscillator Wave B to A", OscCommand::WaveBToA},
    {"Swap Oscillator Waves", OscCommand::SwapWaves},
    {"Copy Oscillator", OscCommand::Copy},
    {"Paste Oscillator", OscCommand::Paste},
    {"-", OscCommand::None},
    {"Undo", OscCommand::Undo},
};

enum class FilterCommand {
    None,
    ResetAll,
    ResetMain,
    ResetEnvelope,
    ResetHiPass,
    SetToOriginal,
    Copy,
    Paste,
    Undo
};

constexpr MenuEntry<FilterCommand> FILTER_MENU[] = {
    {"-GFilter Command Menu", FilterCommand::None},
    {"-", FilterCommand::None},
    {"Reset All Filters", FilterCommand::ResetAll},
    {"Reset Main Filter", FilterCommand::ResetMain},
    {"Reset Filter Envelope", FilterCommand::ResetEnvelope},
    {"Reset HiPass Filter", FilterCommand::ResetHiPass},
    {"Set to Original Filters Settings", FilterCommand::SetToOriginal},
    {"Copy Filters", FilterCommand::Copy},
    {"Paste Filters", FilterCommand::Paste},
    {"-", FilterCommand::None},
    {"Undo", FilterCommand::Undo},
};

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

    menu.addTable(OSC_MENU);
    menu.show();

    const OscCommand command = menu.command<OscCommand>();
    auto& undo = stores.undo[kOscSection];
    auto& clipboard = stores.clipboard[kOscSection];
    if (command != OscCommand::Undo) section_values::store(p, undo, OSC_TAGS);

    switch (command) {
    case OscCommand::None:
        break;
    case OscCommand::Undo:
        section_values::restore(p, undo, OSC_TAGS);
        break;
    case OscCommand::Reset:
        resetTags(p, OSC_TAGS);
        break;
    case OscCommand::SetToOriginal:
        origTags(p, OSC_TAGS);
        break;
    case OscCommand::WaveAToB:
        p.copyParameter(tag::OscWaveA, tag::OscWaveB);
        break;
    case OscCommand::WaveBToA:
        p.copyParameter(tag::OscWaveB, tag::OscWaveA);
        break;
    case OscCommand::SwapWaves:
        p.swapParameter(tag::OscWaveB, tag::OscWaveA);
        break;
    case OscCommand::Copy:
        section_values::store(p, clipboard, OSC_TAGS);
        break;
    case OscCommand::Paste:
        section_values::restore(p, clipboard, OSC_TAGS);
        break;
    }
}

void uEditor::showFilterMenu() {
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();

    menu.addTable(FILTER_MENU);
    menu.show();

    const FilterCommand command = menu.command<FilterCommand>();
    auto& undo = stores.undo[kFilterSection];
    auto& clipboard = stores.clipboard[kFilterSection];
    if (command != FilterCommand::Undo) section_values::store(p, undo, FILTER_TAGS);

    switch (command) {
    case FilterCommand::None:
        break;
    case FilterCommand::Undo:
        section_values::restore(p, undo, FILTER_TAGS);
        break;
    case FilterCommand::ResetAll:
        resetTags(p, FILTER_TAGS);
        break;
    case FilterCommand::ResetMain:
        resetTags(p, MAIN_FILTER_TAGS);
        break;
    case FilterCommand::ResetEnvelope:
        resetTags(p, FILTER_ENV_TAGS);
        break;
    case FilterCommand::ResetHiPass:
        resetTags(p, HIPASS_TAGS);
        break;
    case FilterCommand::SetToOriginal:
        origTags(p, FILTER_TAGS);
        break;
    case FilterCommand::Copy:
        section_values::store(p, clipboard, FILTER_TAGS);
        break;
    case FilterCommand::Paste:
        section_values::restore(p, clipboard, FILTER_TAGS);
        break;
    }
}
