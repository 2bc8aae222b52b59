// The user-wave menu: clearing, copying and swapping the two user waves, a
// clipboard of both, the wave operations, sample import, clearing and typing
// single partials, user-wave preset files, the preview-play switch and one
// level of undo (shared with the wave screen and the wave page's buttons).
//
// Opened with the partial under the mouse (0..127) from the wave screen's
// partials view, or with -1 from the menu button, the radio button and the
// samples view; only with a partial does it show the partial line and the
// single-partial commands.

#include "core/aplugin.h"
#include "core/numeric.h"
#include "editor/popup_menu.h"
#include "editor/ueditor.h"
#include "platform/dialogs.h"
#include "platform/file_helpers.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

using namespace VSTGUI;

namespace {

// The first partial tag of each user wave.
constexpr std::array<int, 2> WAVE_TABLE_PARTIAL_TAGS = {tag::partial(0, 0), tag::partial(1, 0)};
constexpr int kFirstWaveTag = tag::PartialFirst;
constexpr int kLastWaveTag = tag::WaveNameLast;

constexpr const char* kInfoLines[] = {"-GLeft Click: Change value",
                                      "-GLeft Click + Shift: Fine change value",
                                      "-GLeft Click + Super: Show this menu",
                                      "-GLeft Click + Ctrl: Set to default",
                                      "-GLeft Click +  Alt: Set to original value",
                                      "-GDouble Click: Set to default",
                                      "-GRight Click: Show this menu",
                                      "-GScroll Wheel: Change amount",
                                      "-GScroll Wheel + Shift: Fine change amount"};

enum class WaveCommand {
    None,
    ClearSelected,
    ClearAll,
    SetToOriginal,
    CopyToOther,
    Swap,
    CopyAll,
    PasteAll,
    Normalize,
    RemoveDC,
    Invert,
    Reverse,
    Smooth,
    LoadSample,
    ClearPartialAmps,
    ClearPartialPhases,
    ClearPartial,
    PartialToOriginal,
    SetPartialAmp,
    SetPartialPhase,
    LoadPreset,
    SavePreset,
    PreviewOn,
    PreviewOff,
    Undo
};

// The commands below the Info submenu.
constexpr MenuEntry<WaveCommand> WAVE_COMMANDS[] = {
    {"-", WaveCommand::None},
    {"Clear Selected User Wave", WaveCommand::ClearSelected},
    {"Clear All User Waves", WaveCommand::ClearAll},
    {"Set User Waves to Original Settings", WaveCommand::SetToOriginal},
    {"Copy to Other User Wave", WaveCommand::CopyToOther},
    {"Swap User Waves", WaveCommand::Swap},
    {"-", WaveCommand::None},
    {"Copy All User Waves", WaveCommand::CopyAll},
    {"Paste All User Waves", WaveCommand::PasteAll},
    {"-", WaveCommand::None},
    {"Normalize Selected User Wave", WaveCommand::Normalize},
    {"Remove DC in Selected User Wave", WaveCommand::RemoveDC},
    {"Invert Selected User Wave", WaveCommand::Invert},
    {"Reverse Selected User Wave", WaveCommand::Reverse},
    {"Smooth Selected User Wave", WaveCommand::Smooth},
    {"-", WaveCommand::None},
    {"Load Sample into Selected User Wave", WaveCommand::LoadSample},
    {"-", WaveCommand::None},
    {"Clear All Partial Amp", WaveCommand::ClearPartialAmps},
    {"Clear All Partial Phase", WaveCommand::ClearPartialPhases},
};
// Only with a partial under the mouse.
constexpr MenuEntry<WaveCommand> PARTIAL_COMMANDS[] = {
    {"Clear Partial", WaveCommand::ClearPartial},
    {"Set Partial to Original Settings", WaveCommand::PartialToOriginal},
    {"Set Partial Amp", WaveCommand::SetPartialAmp},
    {"Set Partial Phase", WaveCommand::SetPartialPhase},
    {"-", WaveCommand::None},
};
constexpr MenuEntry<WaveCommand> PRESET_COMMANDS[] = {
    {"Load User Wave Preset", WaveCommand::LoadPreset},
    {"Save User Wave Preset", WaveCommand::SavePreset},
    {"-", WaveCommand::None},
};
constexpr MenuSwitch<WaveCommand> PREVIEW_SWITCH = {
    {"Preview User Wave: On", WaveCommand::PreviewOff},
    {"Preview User Wave: Off", WaveCommand::PreviewOn},
};
constexpr MenuEntry<WaveCommand> UNDO_COMMAND[] = {
    {"-", WaveCommand::None},
    {"Undo", WaveCommand::Undo},
};

void rebuild(APlugin& p, int w) {
    p.convertWaveTablePartialsToWaveTable(w);
}

// Asks for partial p of wave w's amplitude (0..100 %) or phase (0..360
// degrees) and sets it, keeping the other half. A cancel, an empty answer or
// one without a number changes nothing.
void typePartial(APlugin& p, int w, int partial, bool phase) {
    const float scale = phase ? 360.0f : 100.0f;
    const float current =
        phase ? p.getWaveTablePartialsPhase(w, partial) : p.getWaveTablePartialsAmp(w, partial);
    const std::string title =
        p.getParameterNameStr(WAVE_TABLE_PARTIAL_TAGS[static_cast<size_t>(w)] + partial);
    const char* prompt = phase ? "Partial Phase - 0 to 360" : "Partial Amp - 0 to 100%";

    char buffer[TEXT_BUFFER_SIZE] = {};
    const std::string start = APlugin::getFloatStr(current * scale, 6);
    std::strncpy(buffer, start.c_str(), sizeof buffer - 1);

    // The input box is modal: keep the audio thread from rebuilding the
    // editor under it.
    p.core.popupOpen.set();
    inputBox(prompt, title.c_str(), buffer);
    stripAllButNum(buffer);
    if (!startsWithNumber(buffer)) return;
    const double typed = textToDouble(buffer) / static_cast<double>(scale);
    const float value = static_cast<float>(clamp01(typed));
    if (phase)
        p.setWaveTablePartialsPhase(w, partial, value);
    else
        p.setWaveTablePartialsAmp(w, partial, value);
    rebuild(p, w);
}

} // namespace

void uEditor::showWaveMenu(int partial) {
    EditorPopup menu(*this);
    if (!menu.valid()) return;
    APlugin& p = *plugin();
    const int w = selectedWave == 1 ? 1 : 0;
    const bool hasPartial = APlugin::isValidPartial(partial);

    menu.add(w == 0 ? "-GUser Wave 1 Command Menu" : "-GUser Wave 2 Command Menu");
    if (hasPartial) {
        const int amp = static_cast<int>(p.getWaveTablePartialsAmp(w, partial) * 100.0f);
        const int phase = static_cast<int>(p.getWaveTablePartialsPhase(w, partial) * 360.0f);
        menu.add("-GPartials " + std::to_string(partial + 1) + ": Amp " + std::to_string(amp) +
                 " %, Phase " + std::to_string(phase) + " deg");
    }
    menu.add("-");
    COptionMenu* info = menu.addSubmenu("Info");
    for (const char* line : kInfoLines) menu.add(line, info);
    menu.addTable(WAVE_COMMANDS);
    if (hasPartial) menu.addTable(PARTIAL_COMMANDS);
    menu.addTable(PRESET_COMMANDS);
    menu.add(PREVIEW_SWITCH.shown(p.getTempPreviewWave()));
    menu.addTable(UNDO_COMMAND);
    menu.show();

    const WaveCommand command = menu.command<WaveCommand>();
    if (command == WaveCommand::Undo)
        doWaveUndo();
    else
        setWaveUndo();

    switch (command) {
    case WaveCommand::None:
    case WaveCommand::Undo:
        break;
    case WaveCommand::ClearSelected:
        p.clearWave(w);
        break;
    case WaveCommand::ClearAll:
        p.clearWave(0);
        p.clearWave(1);
        break;
    case WaveCommand::SetToOriginal:
        setWaveToOrig();
        break;
    case WaveCommand::CopyToOther:
        p.copyWave(w, 1 - w);
        break;
    case WaveCommand::Swap:
        p.swapWave(w, 1 - w);
        break;
    case WaveCommand::CopyAll:
        for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t)
            stores.waveClipboard.value[static_cast<size_t>(t - kFirstWaveTag)] = p.getParameter(t);
        stores.waveClipboard.valid = true;
        break;
    case WaveCommand::PasteAll:
        if (!stores.waveClipboard.valid) break;
        for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t)
            p.setParameter(t, stores.waveClipboard.value[static_cast<size_t>(t - kFirstWaveTag)]);
        rebuild(p, 0);
        rebuild(p, 1);
        break;
    case WaveCommand::Normalize:
        p.normalizeWave(w);
        break;
    case WaveCommand::RemoveDC:
        p.removeDCInWave(w);
        break;
    case WaveCommand::Invert:
        p.invertWave(w);
        break;
    case WaveCommand::Reverse:
        p.reverseWave(w);
        break;
    case WaveCommand::Smooth:
        p.smoothWave(w);
        break;
    case WaveCommand::LoadSample:
        p.loadSample(w);
        break;
    case WaveCommand::ClearPartialAmps:
        for (int j = 0; j < tag::PartialCount; ++j) p.setWaveTablePartialsAmp(w, j, 0.0f);
        rebuild(p, w);
        break;
    case WaveCommand::ClearPartialPhases:
        for (int j = 0; j < tag::PartialCount; ++j) p.setWaveTablePartialsPhase(w, j, 0.0f);
        rebuild(p, w);
        break;
    case WaveCommand::ClearPartial:
        if (!hasPartial) break;
        p.setWaveTablePartials(w, partial, 0.0f, 0.0f);
        rebuild(p, w);
        break;
    case WaveCommand::PartialToOriginal:
        if (!hasPartial) break;
        p.setToOrig(WAVE_TABLE_PARTIAL_TAGS[static_cast<size_t>(w)] + partial);
        rebuild(p, w);
        break;
    case WaveCommand::SetPartialAmp:
        if (hasPartial) typePartial(p, w, partial, false);
        break;
    case WaveCommand::SetPartialPhase:
        if (hasPartial) typePartial(p, w, partial, true);
        break;
    case WaveCommand::LoadPreset:
        p.loadWave(w);
        break;
    case WaveCommand::SavePreset:
        p.saveWave(w);
        break;
    case WaveCommand::PreviewOn:
        p.setTempPreviewWave(true);
        break;
    case WaveCommand::PreviewOff:
        p.setTempPreviewWave(false);
        break;
    }

    // The idle pass refreshes the wave page and re-reads the wave presets.
    requests.refreshWave = true;
}
