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
                                      "-GLeft Click + Control: Show this menu",
                                      "-GLeft Click + Command: Set to default",
                                      "-GLeft Click +  Opt: Set to original value",
                                      "-GDouble Click: Set to default",
                                      "-GRight Click: Show this menu",
                                      "-GScroll Wheel: Change amount",
                                      "-GScroll Wheel + Shift: Fine change amount"};

void rebuild(APlugin& p, int w) {
    p.convertWaveTablePartialsToWaveTable(w);
}

// Asks for partial p of wave w's amplitude (0..100 %) or phase (0..360
// degrees) and sets it, keeping the other half. An empty answer changes
// nothing; text without a number gives 0.
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
    if (buffer[0] == '\0') return;
    stripAllButNum(buffer);
    const double typed = textToDouble(buffer) / static_cast<double>(scale);
    const float value = static_cast<float>(std::clamp(typed, 0.0, 1.0));
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
    for (const char* title : {"-",
                              "Clear Selected User Wave",
                              "Clear All User Waves",
                              "Set User Waves to Original Settings",
                              "Copy to Other User Wave",
                              "Swap User Waves",
                              "-",
                              "Copy All User Waves",
                              "Paste All User Waves",
                              "-",
                              "Normalize Selected User Wave",
                              "Remove DC in Selected User Wave",
                              "Invert Selected User Wave",
                              "Reverse Selected User Wave",
                              "Smooth Selected User Wave",
                              "-",
                              "Load Sample into Selected User Wave",
                              "-",
                              "Clear All Partial Amp",
                              "Clear All Partial Phase"})
        menu.add(title);
    if (hasPartial)
        for (const char* title : {"Clear Partial", "Set Partial to Original Settings",
                                  "Set Partial Amp", "Set Partial Phase", "-"})
            menu.add(title);
    for (const char* title : {"Load User Wave Preset", "Save User Wave Preset", "-"})
        menu.add(title);
    menu.add(p.getTempPreviewWave() ? "Preview User Wave: On" : "Preview User Wave: Off");
    menu.add("-");
    menu.add("Undo");
    menu.show();

    const std::string& chosen = menu.rootChoice();
    if (chosen == "Undo")
        doWaveUndo();
    else
        setWaveUndo();

    if (chosen == "Clear Selected User Wave") p.clearWave(w);
    if (chosen == "Clear All User Waves") {
        p.clearWave(0);
        p.clearWave(1);
    }
    if (chosen == "Set User Waves to Original Settings") setWaveToOrig();
    if (chosen == "Copy to Other User Wave") p.copyWave(w, 1 - w);
    if (chosen == "Swap User Waves") p.swapWave(w, 1 - w);
    if (chosen == "Copy All User Waves") {
        for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t)
            stores.waveClipboard.value[static_cast<size_t>(t - kFirstWaveTag)] = p.getParameter(t);
        stores.waveClipboard.valid = true;
    }
    if (chosen == "Paste All User Waves" && stores.waveClipboard.valid) {
        for (int t = kFirstWaveTag; t <= kLastWaveTag; ++t)
            p.setParameter(t, stores.waveClipboard.value[static_cast<size_t>(t - kFirstWaveTag)]);
        rebuild(p, 0);
        rebuild(p, 1);
    }
    if (chosen == "Normalize Selected User Wave") p.normalizeWave(w);
    if (chosen == "Remove DC in Selected User Wave") p.removeDCInWave(w);
    if (chosen == "Invert Selected User Wave") p.invertWave(w);
    if (chosen == "Reverse Selected User Wave") p.reverseWave(w);
    if (chosen == "Smooth Selected User Wave") p.smoothWave(w);
    if (chosen == "Load Sample into Selected User Wave") p.loadSample(w);
    if (chosen == "Clear All Partial Amp") {
        for (int j = 0; j < tag::PartialCount; ++j) p.setWaveTablePartialsAmp(w, j, 0.0f);
        rebuild(p, w);
    }
    if (chosen == "Clear All Partial Phase") {
        for (int j = 0; j < tag::PartialCount; ++j) p.setWaveTablePartialsPhase(w, j, 0.0f);
        rebuild(p, w);
    }
    if (hasPartial) {
        if (chosen == "Clear Partial") {
            p.setWaveTablePartials(w, partial, 0.0f, 0.0f);
            rebuild(p, w);
        }
        if (chosen == "Set Partial to Original Settings") {
            p.setToOrig(WAVE_TABLE_PARTIAL_TAGS[static_cast<size_t>(w)] + partial);
            rebuild(p, w);
        }
        if (chosen == "Set Partial Amp") typePartial(p, w, partial, false);
        if (chosen == "Set Partial Phase") typePartial(p, w, partial, true);
    }
    if (chosen == "Load User Wave Preset") p.loadWave(w);
    if (chosen == "Save User Wave Preset") p.saveWave(w);
    if (chosen == "Preview User Wave: On") p.setTempPreviewWave(false);
    if (chosen == "Preview User Wave: Off") p.setTempPreviewWave(true);

    // The idle pass refreshes the wave page and re-reads the wave presets.
    requests.refreshWave = true;
}
