// Controls and parameters in step: what the controls send to the plug-in
// (plain parameters, locked sections, the special controls by identity),
// what the plug-in's values do to the controls at the next idle pass, the
// full refresh and the control the host edits.

#include "controls/envarp.h"
#include "controls/tbitmap.h"
#include "controls/tbuttons.h"
#include "controls/tknob.h"
#include "controls/toptionmenu.h"
#include "controls/treadout.h"
#include "controls/tsliders.h"
#include "controls/wave.h"
#include "core/aplugin.h"
#include "core/modes.h"
#include "core/preset_store.h"
#include "core/vocabulary.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "platform/open_document.h"
#include "platform/prefs.h"
#include "support/editor_host_fixture.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/plugin_harness.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <vector>

using namespace VSTGUI;

namespace {

struct EditorSync : EditorHostWithPopups {
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};

    CPoint centre(const CView* view) { return view->getFrameRect().getCenter(); }
    // A click a second after the last, so that no two make a double click.
    void click(const CView* view, CPoint at = {-1, -1}) {
        clock.advance(1000);
        Testing::click(frame(), at.x < 0 ? centre(view) : at);
    }
    void choose(TOptionMenu* menu, int index) {
        popups.chooseIndex(index);
        click(menu);
    }
    void choose(TOptionMenu* menu, std::vector<std::string> path) {
        popups.chooseTitlePath(std::move(path));
        click(menu);
    }
    // A knob dragged upwards by `pixels`.
    void drag(TKnob* knob, int pixels) {
        const CPoint from = centre(knob);
        clock.advance(1000);
        Testing::mouseDown(frame(), from);
        Testing::mouseMove(frame(), CPoint(from.x, from.y - pixels));
        Testing::mouseUp(frame(), CPoint(from.x, from.y - pixels));
    }
    void showWavePage() {
        click(c().main.pageSelect[0]);
        ASSERT_EQ(ui().getScreenCode(), SCREEN_MAIN_WAVE);
    }
    std::size_t automated() const { return host.count(audioMasterAutomate); }
    TKnob* knobOf(int t) {
        for (TKnob* knob : c().main.knobs)
            if (knob && knob->getTag() == t) return knob;
        return nullptr;
    }
};

// The audio thread's blocks until nothing waits (a preset, a table rebuild),
// then a few more for its mode checks.
void renderBlocks(APlugin& p, int blocks) {
    std::array<float, 256> in{}, left{}, right{};
    float* inputs[2] = {in.data(), in.data()};
    float* outputs[2] = {left.data(), right.data()};
    auto busy = [&] {
        return p.getIsSettingPreset() || p.tableRebuildRunning() || p.waves.rebuildRequested.load();
    };
    for (int guard = 0; guard < 512 && busy(); ++guard) p.processReplacing(inputs, outputs, 256);
    for (int b = 0; b < blocks; ++b) p.processReplacing(inputs, outputs, 256);
}

float stepValue(APlugin& p, int t, int step) {
    return (static_cast<float>(step) + 0.1f) / p.getSteppedRange(t);
}

} // namespace

// ------------------------------------------------------------------ controls to the plug-in

TEST_F(EditorSync, LockedSectionsAndPlainControlsSendNothing) {
    TKnob* filter = knobOf(tag::FilterFreq);
    TKnob* portamento = knobOf(tag::PortamentoAmount);
    ASSERT_NE(filter, nullptr);
    ASSERT_NE(portamento, nullptr);

    // A free knob sends its value; 50 pixels up is a quarter of the range.
    const float filterBefore = p().getParameter(tag::FilterFreq);
    drag(filter, 50);
    EXPECT_NEAR(p().getParameter(tag::FilterFreq), std::min(filterBefore + 0.25f, 1.0f), 1e-4);

    // While the Play section is locked its knob changes nothing.
    p().setLockState(1, 1);
    const float portamentoBefore = p().getParameter(tag::PortamentoAmount);
    const std::size_t sent = automated();
    drag(portamento, 50);
    EXPECT_FLOAT_EQ(p().getParameter(tag::PortamentoAmount), portamentoBefore);
    EXPECT_EQ(automated(), sent);

    // Controls of no parameter that have nothing to do send nothing.
    for (CControl* plain :
         {static_cast<CControl*>(c().header.paramName), static_cast<CControl*>(c().back.version)}) {
        plain->setValue(1.0f);
        ui().valueChanged(plain);
    }
    click(c().header.managerArea);
    EXPECT_EQ(automated(), sent);
}

TEST_F(EditorSync, LockedMenusKeepTheirSections) {
    // The Arp lock keeps the arpeggiator's menus and those of portamento
    // mode, unison mode and the bend ranges (tags 244..247); the play mode
    // waits for both locks.
    p().setLockState(2, 1);
    const int speed = p().getSteppedValue(119);
    choose(c().arp.speed, speed == 0 ? 1 : 0);
    EXPECT_EQ(p().getSteppedValue(119), speed);
    const int portamento = p().getSteppedValue(244);
    choose(c().play.portamentoMode, portamento == 2 ? 1 : 2);
    EXPECT_EQ(p().getSteppedValue(244), portamento);
    choose(c().play.playMode, 3);
    EXPECT_NE(p().getSteppedValue(243), 3);

    p().setLockState(2, 0);
    p().setLockState(1, 1);
    choose(c().play.portamentoMode, 2);
    EXPECT_EQ(p().getSteppedValue(244), 2);
    choose(c().arp.speed, speed == 0 ? 1 : 0);
    EXPECT_EQ(p().getSteppedValue(119), speed == 0 ? 1 : 0);
}

TEST_F(EditorSync, PlayModeAndArpeggiatorSwitchAgree) {
    choose(c().play.playMode, 8);
    EXPECT_EQ(p().getSteppedValue(243), 8);
    EXPECT_TRUE(p().getOnOff(116));
    EXPECT_FLOAT_EQ(c().arp.on->getValue(), 1.0f);
    choose(c().play.playMode, 5);
    EXPECT_FALSE(p().getOnOff(116));
    EXPECT_FLOAT_EQ(c().arp.on->getValue(), 0.0f);
    EXPECT_TRUE(ui().getPageRequests().refreshXYMenus);

    // The switch remembers the play mode; a mode in which the arpeggiator
    // only modulates stops it and gives the play mode back.
    click(c().arp.on);
    EXPECT_TRUE(p().getOnOff(116));
    EXPECT_EQ(p().getSteppedValue(243), 8);
    choose(c().arp.mode, 11);
    EXPECT_EQ(p().getSteppedValue(291), 11);
    EXPECT_FALSE(p().getOnOff(116));
    EXPECT_EQ(p().getSteppedValue(243), 5);
    idle();
    EXPECT_FLOAT_EQ(c().arp.on->getValue(), 0.0f);
    EXPECT_EQ(c().play.playMode->getCurrentIndex(), 5);

    // Switching it off by hand gives the saved mode back too.
    click(c().arp.on);
    EXPECT_EQ(p().getSteppedValue(243), 8);
    click(c().arp.on);
    EXPECT_FALSE(p().getOnOff(116));
    EXPECT_EQ(p().getSteppedValue(243), 5);
}

TEST_F(EditorSync, PlayLockMenuLocksAndSetsBothSections) {
    choose(c().play.playLock, 1);
    EXPECT_EQ(p().getLockState(1), 1);
    EXPECT_EQ(p().getLockState(2), 1);
    EXPECT_EQ(c().play.playLock->getString(), "On");
    EXPECT_EQ(c().arp.lock->getString(), "On");
    EXPECT_EQ(c().arp.lock->getCurrentIndex(), 1);

    // "Set" applies the held values and unlocks both.
    const float portamento = p().getParameter(tag::PortamentoAmount);
    p().setParameter(tag::PortamentoAmount, portamento > 0.5f ? 0.1f : 0.9f);
    choose(c().play.playLock, 2);
    EXPECT_EQ(p().getLockState(1), 0);
    EXPECT_EQ(p().getLockState(2), 0);
    EXPECT_FLOAT_EQ(p().getParameter(tag::PortamentoAmount), portamento);
    EXPECT_EQ(c().play.playLock->getCurrentIndex(), 0);
    EXPECT_EQ(c().arp.lock->getCurrentIndex(), 0);
    EXPECT_EQ(c().play.playLock->getString(), "Off");
    EXPECT_EQ(c().arp.lock->getString(), "Off");

    // The arp-lock menu locks its own section only.
    choose(c().arp.lock, 1);
    EXPECT_EQ(p().getLockState(1), 0);
    EXPECT_EQ(p().getLockState(2), 1);
    choose(c().arp.lock, 2);
    EXPECT_EQ(p().getLockState(2), 0);
    EXPECT_EQ(c().arp.lock->getCurrentIndex(), 0);
}

TEST_F(EditorSync, ChoicesInSubmenusBecomeTheirNumbers) {
    p().setParameter(18, 0.9f);
    choose(c().osc.waveA[0], {"Additive Waves", OSC_WAVE_STR[20]});
    EXPECT_EQ(p().getSteppedValue(14), 20);
    EXPECT_FLOAT_EQ(p().getParameter(18), p().getDefaultValue(18));
    choose(c().osc.waveB[0], {"User 2"});
    EXPECT_EQ(p().getSteppedValue(15), 184);

    // The XY destinations: a group's entry, then "None".
    choose(c().xy.destMenu[2], {"Filter", DEST_STR[76]});
    EXPECT_EQ(p().getSteppedValue(454), 76);
    choose(c().xy.destMenu[2], {"None"});
    EXPECT_EQ(p().getSteppedValue(454), 0);
    idle();
    EXPECT_EQ(c().xy.destMenu[2]->getString(), DEST_SHORT_STR[0]);
}

TEST_F(EditorSync, SelectorsShowTheirChoice) {
    click(c().freeLFO.select[1]);
    EXPECT_EQ(ui().getSelectedFreeLFO(), 1);
    EXPECT_FLOAT_EQ(c().freeLFO.select[0]->getValue(), 0.0f);
    idle();
    CViewContainer* lfoPage = ui().getSubPage(uEditor::kFreeLFOPage);
    EXPECT_TRUE(lfoPage->isChild(c().freeLFO.mode[1]));
    EXPECT_FALSE(lfoPage->isChild(c().freeLFO.mode[0]));

    click(c().freeEnv.select[1]);
    EXPECT_EQ(ui().getSelectedFreeEnv(), 1);
    idle();
    EXPECT_EQ(c().freeEnv.sync->getTag(), tag::freeEnv(1, tag::FreeEnvSync));

    // The XY mode buttons set the record mode; the next pass lights them.
    click(c().xy.recordMode[2]);
    EXPECT_EQ(p().getSteppedValue(445), 2);
    idle();
    EXPECT_FLOAT_EQ(c().xy.recordMode[0]->getValue(), 0.0f);
    EXPECT_FLOAT_EQ(c().xy.recordMode[2]->getValue(), 1.0f);

    showWavePage();
    click(c().wave.select[1]);
    EXPECT_EQ(ui().getSelectedWave(), 1);
    EXPECT_FLOAT_EQ(c().wave.select[0]->getValue(), 0.0f);
    click(c().wave.drawMode[2]);
    EXPECT_EQ(ui().getWaveDrawMode(), 2);
    EXPECT_FLOAT_EQ(c().wave.drawMode[0]->getValue(), 0.0f);
    EXPECT_FLOAT_EQ(c().wave.drawMode[2]->getValue(), 1.0f);
    click(c().wave.view[1]);
    EXPECT_EQ(ui().getPartialView(), 1);
    EXPECT_TRUE(ui().isRebuildRequested());
    idle();
    EXPECT_EQ(frame()->getBackground(), ui().getBitmap(10002));

    click(c().main.pageSelect[1]);
    EXPECT_EQ(ui().getScreenCode(), SCREEN_MAIN_ARP);
}

TEST_F(EditorSync, WavePageControls) {
    showWavePage();
    // A shaper type brings its two amounts.
    choose(c().wave.shaperMenu, 2);
    EXPECT_EQ(p().getSteppedValue(995), 2);
    EXPECT_FLOAT_EQ(p().getParameter(993), 0.75f);
    EXPECT_FLOAT_EQ(p().getParameter(994), 0.75f);
    EXPECT_FLOAT_EQ(c().wave.shaperKnobs[1]->getDefaultValue(), 0.75f);
    choose(c().wave.shaperMenu, 9);
    EXPECT_FLOAT_EQ(p().getParameter(993), 0.0f);
    EXPECT_FLOAT_EQ(p().getParameter(994), 1.0f);

    // Factory waves by name; "None" clears; the undo button brings the last
    // wave back.
    choose(c().wave.presetMenu, {WAVE_SUB_STR[0], "Saw"});
    const std::string saw = p().getWavePresetStr(0);
    EXPECT_EQ(saw.rfind("Saw", 0), 0u);
    choose(c().wave.presetMenu, {WAVE_SUB_STR[0], "None"});
    EXPECT_EQ(p().getWavePresetStr(0), "None");
    click(c().wave.undo);
    EXPECT_EQ(p().getWavePresetStr(0), saw);
    idle();
    EXPECT_EQ(c().wave.presetMenu->getString(), saw);

    click(c().wave.clear);
    EXPECT_EQ(p().getWavePresetStr(0), "None");
    EXPECT_FLOAT_EQ(p().getWaveTablePartialsAmp(0, 1), 0.0f);
}

// Saved waves from the wave-preset folder: a readable file loads under its
// name; one the reader refuses says so and leaves the wave as it was.
TEST_F(EditorSync, SavedWavesThatCannotBeReadChangeNothing) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::path(prefs.path()) / "waves";
    fs::create_directories(folder);
    std::string good = "V1.0\n";
    for (int j = 0; j < 256; ++j) good += j == 2 ? "0.5\n" : "0\n";
    std::ofstream(folder / "Good.uwv") << good;
    const char* const refused[][2] = {
        {"Bad", "V1.0\n0.5\nbanana\n"}, {"Glued", "V1.0\n0.5x\n0.25\n"}, {"Empty", "V1.0\n"}};
    for (const auto& [name, text] : refused)
        std::ofstream(folder / (std::string(name) + ".uwv")) << text;
    p().core.folders.wavePresetDir = folder.string();
    showWavePage();
    click(c().wave.clear); // the saved list is read again at the next pass
    idle();

    choose(c().wave.presetMenu, {WAVE_SUB_STR[6], "Good"});
    EXPECT_EQ(p().getWavePresetStr(0), "Good");
    EXPECT_NEAR(p().getWaveTablePartialsAmp(0, 2), 0.5f, 1.0f / 1023.0f);
    idle();
    const std::vector<float> partials = [&] {
        std::vector<float> v;
        for (int j = 0; j < 128; ++j) v.push_back(p().getParameter(tag::partial(0, j)));
        return v;
    }();
    for (const auto& [name, text] : refused) {
        const std::size_t alerts = dialogs.alertRequests.size();
        choose(c().wave.presetMenu, {WAVE_SUB_STR[6], name});
        ASSERT_EQ(dialogs.alertRequests.size(), alerts + 1) << name;
        EXPECT_EQ(dialogs.alertRequests.back().header, "Problem with User Wave File");
        EXPECT_EQ(p().getWavePresetStr(0), "Good") << name;
        for (int j = 0; j < 128; ++j)
            ASSERT_EQ(p().getParameter(tag::partial(0, j)), partials[static_cast<std::size_t>(j)])
                << name << " partial " << j;
        idle();
        EXPECT_EQ(c().wave.presetMenu->getString(), "Good") << name;
    }
}

// The user-wave page's buttons and shaper menu tell the wave screen what to
// show and how to draw.
TEST_F(EditorSync, WavePageDrivesTheWaveScreen) {
    showWavePage();
    TWaveScreen* wave = c().wave.screen;
    ASSERT_NE(wave, nullptr);
    click(c().wave.drawMode[1]);
    EXPECT_EQ(wave->getDrawMode(), 1);
    click(c().wave.drawMode[2]);
    EXPECT_EQ(wave->getDrawMode(), 2);
    // The partials view: at once, and still after the page is rebuilt.
    click(c().wave.view[1]);
    EXPECT_EQ(wave->getMode(), 1);
    idle();
    EXPECT_EQ(wave->getMode(), 1);
    EXPECT_EQ(wave->getDrawMode(), 2);
    click(c().wave.select[1]);
    EXPECT_EQ(wave->getWave(), 1);

    // The shaper type chosen is previewed; applying it ends the preview.
    choose(c().wave.shaperMenu, 4);
    EXPECT_EQ(wave->getShaperMode(), 4);
    click(c().wave.apply);
    EXPECT_EQ(p().getSteppedValue(995), 0);
    EXPECT_EQ(wave->getShaperMode(), 0);
    // A shaper type set by the host reaches the screen, like the menu, with
    // the next full refresh.
    p().setSteppedValue(995, 3);
    ui().resume();
    EXPECT_EQ(c().wave.shaperMenu->getCurrentIndex(), 3);
    EXPECT_EQ(wave->getShaperMode(), 3);
}

TEST_F(EditorSync, HeaderCommands) {
    choose(c().header.presetMenu, {"Set To 150% Screen Size"});
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);
    EXPECT_EQ(dialogs.alertRequests[0].header,
              "When you next open Ondix, it'll open in 150% Screen Mode");
    EXPECT_TRUE(getRegisterIsOn("Big150", false));

    p().setParameter(tag::FilterFreq, 0.123f);
    choose(c().header.presetMenu, {"Clear Preset"});
    EXPECT_FLOAT_EQ(p().getParameter(tag::FilterFreq), p().getDefaultValue(tag::FilterFreq));
    EXPECT_TRUE(p().getEditChanged());
    click(c().header.originalPreset);
    EXPECT_FALSE(p().getEditChanged());
    click(c().header.editedPreset);
    EXPECT_TRUE(p().getEditChanged());

    setMidiCC(7, tag::FilterFreq);
    choose(c().header.ecsMenu, {"Clear All MIDI"});
    EXPECT_EQ(getMidiCC(7), 0);
}

TEST_F(EditorSync, PresetMenuChoosesSavesAndListsPresets) {
    std::string folder = (std::filesystem::temp_directory_path() / "ondix-menu-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    p().core.folders.presetDir = folder + "/";
    choose(c().header.presetMenu, {"Refresh Folders"});

    const auto factory = listFactoryPresets();
    ASSERT_GE(factory.size(), 2u);
    choose(c().header.presetMenu, {"Preset 1-32", factory[1].name});
    EXPECT_EQ(p().core.presetIndex, 1);
    EXPECT_TRUE(p().core.presetPending);
    p().setPresetParameters(); // the audio thread's part
    ui().resume();
    EXPECT_EQ(c().header.presetMenu->getString(), factory[1].name);

    dialogs.pushText("Mine");
    choose(c().header.presetMenu, {"Save Preset As"});
    EXPECT_TRUE(std::filesystem::exists(folder + "/Mine.ondix"));
    // Listed at once, after the factory presets, at the end of its group.
    const int mine = static_cast<int>(factory.size());
    const COptionMenu* group =
        c().header.presetMenu->getEntry(mine / PRESET_GROUP_SIZE)->getSubmenu();
    ASSERT_NE(group, nullptr);
    EXPECT_EQ(group->getItems().back()->getTitle(), "Mine");
    EXPECT_EQ(c().header.presetMenu->getString(), "Mine");

    choose(c().header.presetMenu, {"Default Preset"});
    EXPECT_EQ(p().core.presetIndex, 0);
    std::filesystem::remove_all(folder);
}

// A preset saved as "Mine" and deleted, as saved and edited: the menu names
// the preset that plays, and its values are all that preset's, the loaded
// ones too.
TEST_F(EditorSync, DeletingTheCurrentPresetLeavesMenuAndSoundInAgreement) {
    std::string folder = (std::filesystem::temp_directory_path() / "ondix-menu-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    p().core.folders.presetDir = folder + "/";
    auto values = [&] {
        std::vector<float> out;
        for (int t = 0; t < tag::Count; ++t) out.push_back(p().getCurrentValue(t));
        return out;
    };
    choose(c().header.presetMenu, {"Default Preset"});
    p().setPresetParameters(); // the audio thread's part
    const std::vector<float> first = values();
    for (const bool edited : {false, true}) {
        choose(c().header.presetMenu, {"Preset 1-32", listFactoryPresets()[1].name});
        p().setPresetParameters();
        dialogs.pushText("Mine");
        choose(c().header.presetMenu, {"Save Preset As"});
        if (edited) p().setParameterAutomated(tag::FilterQ, 0.9f);
        dialogs.pushAlertAnswer(ALERT_DEFAULT);
        choose(c().header.presetMenu, {"Delete Preset"});
        p().setPresetParameters();
        ui().resume();
        EXPECT_EQ(c().header.presetMenu->getString(), listFactoryPresets()[0].name);
        EXPECT_EQ(values(), first);
        click(c().header.originalPreset);
        EXPECT_EQ(values(), first);
    }
    std::filesystem::remove_all(folder);
}

// However the play mode or the Arp switch changes, from the initial patch
// and from the arpeggiator: the switch is on exactly for the arpeggiator, the
// play mode's own text (the readout) names the mode that plays (as the menu
// does), and the engine plays it.
TEST_F(EditorSync, PlayModeAndArpSwitchAgreeHoweverTheyChange) {
    AEffect* e = p().getAeffect();
    const CPoint menu = centre(c().play.playMode);
    auto wheel = [&](int notches) { // down the list: towards the arpeggiator
        for (int n = 0; n < std::abs(notches); ++n)
            Testing::wheel(frame(), menu, notches > 0 ? -1.0f : 1.0f);
    };
    const std::vector<std::function<void()>> ways = {
        [&] { wheel(8); },
        [&] { wheel(-3); },
        [&] { choose(c().play.playMode, playmode::Legato); },
        [&] { clock.advance(1000), Testing::click(frame(), menu, kLButton | kControl); },
        [&] { popups.chooseTitlePath({"Increase"}), ui().showMIDIMenu(c().play.playMode, false); },
        [&] { e->setParameter(e, tag::PlayMode, stepValue(p(), tag::PlayMode, playmode::Mono)); },
        [&] { e->setParameter(e, tag::PlayMode, 1.0f); },
        [&] { e->setParameter(e, tag::ArpOn, 0.0f); },
        [&] { click(c().arp.on); },
        [&] { choose(c().arp.mode, arpmode::ModFree); },
    };
    click(c().main.pageSelect[1]); // the arpeggiator page
    for (const int start : {0, static_cast<int>(playmode::Arp)}) {
        for (std::size_t i = 0; i < ways.size(); ++i) {
            SCOPED_TRACE("from " + std::to_string(start) + ", way " + std::to_string(i));
            p().setParameter(tag::PlayMode, stepValue(p(), tag::PlayMode, start));
            p().setParameter(tag::ArpOn, start == playmode::Arp ? 1.0f : 0.0f);
            p().setSteppedValue(tag::ArpMode, arpmode::Up);
            renderBlocks(p(), 4);
            ui().resume();
            idle();
            ways[i]();
            renderBlocks(p(), 4); // the audio thread's mode check
            idle();
            const int plays = p().getPlayMode();
            EXPECT_EQ(p().getParameterDisplayStr(tag::PlayMode), PLAY_MODE_STR[plays]);
            EXPECT_EQ(c().arp.on->getValue() >= 0.5f, plays == playmode::Arp);
            EXPECT_EQ(p().engine.notes.playMode, plays);
        }
    }
}

namespace {

// What the plug-in plays for a held C major chord: "Poly" with the three
// keys at once, "Arp" when they sound one after another, else "Mono".
std::string heldChordPlays(EditorSync& t) {
    AEffect* e = t.p().getAeffect();
    auto send = [&](int status, int velocity) {
        EventBlock block;
        for (int note : {60, 64, 67}) block.midi(0, status, note, velocity);
        e->dispatcher(e, effProcessEvents, 0, 0, block.get(), 0.0f);
    };
    send(0x90, 100);
    std::set<int> notes;
    std::size_t together = 0;
    for (int b = 0; b < 200; ++b) { // 1.2 s
        renderBlocks(t.p(), 1);
        std::size_t gated = 0;
        for (const VoiceState& v : t.p().engine.voices)
            if (v.gate) {
                ++gated;
                notes.insert(v.note % 12);
            }
        together = std::max(together, gated);
    }
    send(0x80, 0);
    renderBlocks(t.p(), 60);
    if (together >= 3) return "Poly";
    return notes.size() >= 3 ? "Arp" : "Mono";
}

} // namespace

// From play mode Mono the Arp switch goes on and off again, by each way a
// switch or a preset reaches the plug-in: on, the host reads, the editor
// shows and the engine plays the arpeggiator; off, all three are Mono again,
// the mode the arpeggiator was chosen from.
TEST_F(EditorSync, ArpSwitchOnAndOffLeavesThePlayModeItFound) {
    const float mono = stepValue(p(), tag::PlayMode, playmode::Mono);
    std::string folder = (std::filesystem::temp_directory_path() / "ondix-arp-XXXXXX").string();
    ASSERT_NE(mkdtemp(folder.data()), nullptr);
    const std::string presetFile = folder + "/Mono Arp.ondix";
    std::ofstream(presetFile) << "Ondix Preset 1\nPlay Mode = " << mono
                              << "\nArp On / Off = 1\nEnd\n";
    p().core.folders.presetDir = folder + "/";
    p().refreshPresetList();
    AEffect* e = p().getAeffect();
    auto host = [&](float on) { e->setParameter(e, tag::ArpOn, on); };
    auto controller = [&](int value) {
        EventBlock block;
        block.cc(0, 80, value);
        e->dispatcher(e, effProcessEvents, 0, 0, block.get(), 0.0f);
    };
    const struct {
        const char* name;
        std::function<void()> on, off;
    } ways[] = {
        {"host", [&] { host(1.0f); }, [&] { host(0.0f); }},
        {"editor", [&] { click(c().arp.on); }, [&] { click(c().arp.on); }},
        {"learned controller",
         [&] {
             p().setMIDILatch(tag::ArpOn, true);
             controller(0); // learned where the switch stands
             controller(127);
         },
         [&] { controller(0); }},
        {"preset chosen: Mono with the switch on",
         [&] {
             const auto list = listAllPresets(folder);
             const auto it = std::find_if(list.begin(), list.end(), [&](const PresetEntry& e) {
                 return e.path == presetFile;
             });
             ASSERT_NE(it, list.end());
             ASSERT_TRUE(p().choosePreset(static_cast<int>(it - list.begin())));
         },
         [&] { host(0.0f); }},
    };
    click(c().main.pageSelect[1]); // the arpeggiator page
    for (const auto& way : ways) {
        SCOPED_TRACE(way.name);
        p().setParameter(tag::PlayMode, mono);
        p().setParameter(tag::ArpOn, 0.0f);
        renderBlocks(p(), 4);
        for (const bool on : {true, false}) {
            SCOPED_TRACE(on ? "switched on" : "switched off");
            (on ? way.on : way.off)();
            renderBlocks(p(), 4); // the audio thread's part
            idle();
            char text[kVstMaxParamStrLen + 8] = {};
            e->dispatcher(e, effGetParamDisplay, tag::PlayMode, 0, text, 0.0f);
            const int mode = on ? playmode::Arp : playmode::Mono;
            EXPECT_EQ(std::string(text), PLAY_MODE_STR[mode]) << "the host reads";
            EXPECT_EQ(c().play.playMode->getCurrentIndex(false), mode) << "the editor shows";
            EXPECT_EQ(c().arp.on->getValue() >= 0.5f, on);
            EXPECT_EQ(heldChordPlays(*this), on ? "Arp" : "Mono") << "the engine plays";
        }
    }
    std::filesystem::remove_all(folder);
}

// ------------------------------------------------------------------ the back screen

TEST_F(EditorSync, BackScreenSettings) {
    click(c().header.backScreenArea);
    ASSERT_EQ(ui().getScreenCode(), SCREEN_BACK);
    const editor_controls::Back& b = c().back;

    click(b.keyboard);
    EXPECT_FALSE(getRegisterIsOn("Keyboard", true));
    click(b.presetWarning);
    EXPECT_TRUE(getRegisterIsOn("PresetWarning", false));
    click(b.midiBank);
    EXPECT_FALSE(getRegisterIsOn("MIDIBank", true));
    // Without a preference decay/sustain is off on the switch as on the
    // envelope screens; the switch sets both screens.
    TEnvScreen* screens[2] = {c().filter.filterEnvScreen, c().filter.ampEnvScreen};
    EXPECT_EQ(b.decaySustain->getValue(), 0.0f);
    for (TEnvScreen* env : screens) EXPECT_FALSE(env->getDecaySustain());
    click(b.decaySustain); // now on
    EXPECT_TRUE(getRegisterIsOn("DecaySustain", false));
    for (TEnvScreen* env : screens) EXPECT_TRUE(env->getDecaySustain());
    click(b.decaySustain); // off
    EXPECT_FALSE(getRegisterIsOn("DecaySustain", true));
    for (TEnvScreen* env : screens) EXPECT_FALSE(env->getDecaySustain());
    click(b.decaySustain);
    EXPECT_TRUE(getRegisterIsOn("DecaySustain", false));
    for (TEnvScreen* env : screens) EXPECT_TRUE(env->getDecaySustain());

    choose(b.midiChannel, 3);
    EXPECT_EQ(loadIntFromPrefs("MIDIChannel"), 3);
    EXPECT_EQ(b.midiChannel->getString(), "CH 03");
    EXPECT_EQ(p().engine.midi.midiChannel.load(), 2);

    choose(b.screenSize, 1);
    EXPECT_EQ(b.screenSize->getString(), "125%");
    EXPECT_TRUE(getRegisterIsOn("Big125", false));
    ASSERT_EQ(dialogs.alertRequests.size(), 1u);

    click(b.resetTuning);
    EXPECT_EQ(b.loadTuning->getString(), p().getTuningName());

    // Anywhere else the screen leads back to the main screen.
    click(b.toMain, CPoint(700, 300));
    EXPECT_EQ(ui().getScreenCode(), SCREEN_MAIN_ARP);
}

// The box opens on the stored pitch; a cancel, an empty answer, one without a
// number or one outside 10..10000 Hz keeps it.
TEST_F(EditorSync, A4TuningAcceptsTenToTenThousandHertz) {
    ui().showBackScreen(false);
    TReadout* a4 = c().back.a4Tuning;
    for (const char* answer : {"abc", "5", "10001"}) {
        dialogs.pushText(answer);
        click(a4);
        EXPECT_EQ(a4OrDefault(loadIntFromPrefs("A4")), 440) << answer;
        EXPECT_EQ(a4->getString(), "440hz") << answer;
    }
    ASSERT_EQ(dialogs.textRequests.size(), 3u);
    EXPECT_EQ(dialogs.textRequests[0].prompt, "A4 Tuning : 440 Hz Default");
    EXPECT_EQ(dialogs.textRequests[0].title, "Hz");
    EXPECT_EQ(dialogs.textRequests[0].initialText, "440");

    dialogs.pushText("432.7");
    click(a4);
    EXPECT_EQ(loadIntFromPrefs("A4"), 432);
    EXPECT_EQ(a4->getString(), "432hz");
    const float rate = p().engine.rate.sampleRate;
    EXPECT_FLOAT_EQ(p().engine.rate.basePitch, 432.0f * (110.0f / rate) / 440.0f);

    const char* const keeping[] = {"", "abc", "5", "10001", nullptr}; // nullptr: cancel
    for (const char* answer : keeping) {
        if (answer)
            dialogs.pushText(answer);
        else
            dialogs.pushTextCancel();
        click(a4);
        EXPECT_EQ(dialogs.textRequests.back().initialText, "432");
        EXPECT_EQ(loadIntFromPrefs("A4"), 432) << (answer ? answer : "cancel");
        EXPECT_EQ(a4->getString(), "432hz");
        EXPECT_FLOAT_EQ(p().engine.rate.basePitch, 432.0f * (110.0f / rate) / 440.0f);
    }
    EXPECT_EQ(dialogs.textRequests.size(), 9u); // the release asks nothing
}

TEST_F(EditorSync, HelpOpensTheManualWhenItExists) {
    namespace fs = std::filesystem;
    const fs::path dir = fs::path(prefs.path()) / "bin";
    fs::create_directories(dir);
    const fs::path log = dir / "opened.txt";
    {
        std::ofstream script(dir / "xdg-open");
        script << "#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" << log.string() << "'\n";
    }
    fs::permissions(dir / "xdg-open", fs::perms::owner_all);
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir.string() + ":" + oldPath).c_str(), 1);

    p().core.folders.helpPath = (dir / "missing.pdf").string();
    click(c().header.help);
    const fs::path manual = dir / "The \"Ondix\" Manual $HOME.pdf";
    std::ofstream(manual) << "manual";
    p().core.folders.helpPath = manual.string();
    click(c().header.help);

    std::string opened;
    for (int i = 0; i < 500 && opened.empty(); ++i) {
        std::ifstream in(log);
        std::getline(in, opened);
        if (opened.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(opened, manual.string()); // one argument, no shell, nothing for the missing file
}

// Help with nothing to show: no manual where the preference says, or no
// xdg-open on the PATH. Each press says why in a message box.
TEST_F(EditorSync, HelpSaysWhyNothingOpens) {
    namespace fs = std::filesystem;
    const fs::path empty = fs::path(prefs.path()) / "no-programs";
    fs::create_directories(empty);
    const fs::path manual = fs::path(prefs.path()) / "manual.html";
    std::ofstream(manual) << "manual";
    const std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", empty.c_str(), 1);
    struct Case {
        fs::path help;
        const char* says;
    } cases[] = {{manual, MISSING_OPENER_HEADER},
                 {manual, MISSING_OPENER_HEADER},
                 {fs::path(prefs.path()) / "missing.pdf", "The manual was not found: "}};
    for (const Case& k : cases) {
        const std::size_t before = dialogs.alertRequests.size();
        p().core.folders.helpPath = k.help.string();
        click(c().header.help);
        ASSERT_EQ(dialogs.alertRequests.size(), before + 1) << k.help;
        EXPECT_EQ(dialogs.alertRequests.back().header.rfind(k.says, 0), 0u)
            << dialogs.alertRequests.back().header;
    }
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_NE(dialogs.alertRequests.front().message.find("xdg-utils"), std::string::npos);
}

// ------------------------------------------------------------------ the plug-in to the controls

TEST_F(EditorSync, PluginValuesReachControlsAtTheNextPass) {
    TKnob* filter = knobOf(tag::FilterFreq);
    p().setParameter(tag::FilterFreq, 0.3f);
    EXPECT_NE(filter->getValue(), 0.3f);
    idle();
    EXPECT_FLOAT_EQ(filter->getValue(), 0.3f);

    // Menus with a row of their own follow at once (value or short text).
    p().setSteppedValue(296, 0); // step counts as set
    p().setParameter(250, stepValue(p(), 250, 5));
    p().setParameter(291, stepValue(p(), 291, 3));
    p().setParameter(452, stepValue(p(), 452, 20));
    p().setParameter(14, stepValue(p(), 14, 1));
    p().setParameter(117, stepValue(p(), 117, 6));
    idle();
    EXPECT_EQ(c().filter.type->getCurrentIndex(), 5);
    EXPECT_EQ(c().arp.mode->getString(), ARP_MODE_SHORT_STR[3]);
    EXPECT_EQ(c().xy.destMenu[0]->getString(), DEST_SHORT_STR[20]);
    EXPECT_EQ(c().osc.waveA[0]->getString(), "Saw");
    EXPECT_EQ(c().arp.numSteps->getString(), "7");
    EXPECT_FLOAT_EQ(c().arp.knobs[4]->getValue(), p().getLockVar(117));

    // A menu without a row keeps its value until the full refresh.
    showWavePage();
    const int shaper = c().wave.shaperMenu->getCurrentIndex();
    p().setParameter(995, stepValue(p(), 995, shaper + 3));
    idle();
    EXPECT_EQ(c().wave.shaperMenu->getCurrentIndex(), shaper);
    ui().resume();
    EXPECT_EQ(c().wave.shaperMenu->getCurrentIndex(), shaper + 3);
}

TEST_F(EditorSync, EnvelopeKnobsFollowOnlyWhileShown) {
    TKnob* attack = c().filter.ampEnvKnobs[0];
    TOnOff* display = c().filter.envelopeDisplay;
    const float before = attack->getValue();

    // Graphic envelopes: the knob stays, both pages are rebuilt.
    display->setValue(1.0f);
    p().setParameter(4, before > 0.5f ? 0.2f : 0.8f);
    idle();
    EXPECT_FLOAT_EQ(attack->getValue(), before);
    EXPECT_FLOAT_EQ(display->getValue(), 0.0f);
    EXPECT_FALSE(ui().getPageRequests().rebuildEnvPages);

    click(display);
    EXPECT_TRUE(ui().getEnvelopeShowKnobs());
    EXPECT_TRUE(getRegisterIsOn("EnvelopeShowKnobs", false));
    idle();
    EXPECT_TRUE(ui().getSubPage(uEditor::kEnvPage2)->isChild(attack));
    p().setParameter(4, 0.35f);
    idle();
    EXPECT_FLOAT_EQ(attack->getValue(), 0.35f);
}

TEST_F(EditorSync, FlangerAndPhaserSwitchesShareTheirParameter) {
    TOnOff* flanger = c().main.switches[editor_controls::Main::kFlangerSwitch];
    TOnOff* phaser = c().main.switches[editor_controls::Main::kPhaserSwitch];
    p().setParameter(88, 1.0f);
    idle();
    EXPECT_FLOAT_EQ(flanger->getValue(), 1.0f);
    EXPECT_FLOAT_EQ(phaser->getValue(), 1.0f);
    click(flanger);
    EXPECT_FLOAT_EQ(p().getParameter(88), 0.0f);
    idle();
    EXPECT_FLOAT_EQ(phaser->getValue(), 0.0f);
}

// A control that calls the full refresh again while it is being refreshed.
class ReenteringKnob : public CControl {
public:
    ReenteringKnob(uEditor& editor, APlugin& plugin)
        : CControl(CRect(0, 0, 1, 1), nullptr, tag::FilterQ), editor(editor), plugin(plugin) {}
    void setValue(float v) override {
        CControl::setValue(v);
        if (!reenter) return;
        ++calls;
        plugin.core.popupOpen.set();
        editor.resume(); // would clear the flag if it ran
    }
    void draw(CDrawContext*) override {}
    uEditor& editor;
    APlugin& plugin;
    bool reenter = false;
    int calls = 0;
};

TEST_F(EditorSync, ResumeRunsOnceAndRefreshesMenusOnlyOnTheMainScreens) {
    auto* knob = new ReenteringKnob(ui(), p());
    ui().addControl(knob, uEditor::kKnobKind);
    knob->setValue(p().getParameter(tag::FilterQ) > 0.5f ? 0.0f : 1.0f);
    knob->reenter = true;
    ui().resume();
    EXPECT_EQ(knob->calls, 1);
    EXPECT_TRUE(p().core.popupOpen);
    knob->reenter = false;

    // On the back screen: no menu, but every value control and every page
    // request.
    ui().showBackScreen(false);
    idle();
    const int filterType = c().filter.type->getCurrentIndex();
    p().setSteppedValue(250, filterType == 4 ? 6 : 4);
    p().setParameter(tag::FilterFreq, 0.42f);
    ui().resume();
    EXPECT_EQ(c().filter.type->getCurrentIndex(), filterType);
    EXPECT_FLOAT_EQ(knobOf(tag::FilterFreq)->getValue(), 0.42f);
    const uEditor::PageRequests& r = ui().getPageRequests();
    for (bool raised :
         {r.rebuildFXPage, r.redrawArp, r.refreshWave, r.refreshXYMode, r.refreshXYMenus,
          r.redrawModScreen, r.redrawXYNext, r.redrawEnvScreen1, r.redrawEnvScreen2,
          r.rebuildFreeLFOPage, r.rebuildEnvPages, r.rebuildFreeEnvPage})
        EXPECT_TRUE(raised);
    ui().showMainScreen();
    EXPECT_EQ(c().filter.type->getCurrentIndex(), filterType == 4 ? 6 : 4);
    dispatch(effEditClose); // the table does not own the knob
    knob->forget();
}

TEST_F(EditorSync, EditTagNamesTheFirstControlOfItsTag) {
    ui().setEditTag(117); // the step-count menu comes before its knob
    EXPECT_EQ(ui().getEditControl(), c().arp.numSteps);
    ui().setEditTag(0); // no control: unchanged
    EXPECT_EQ(ui().getEditControl(), c().arp.numSteps);
    ui().setEditTag(1024);
    EXPECT_EQ(ui().getEditControl(), nullptr);

    p().beginEdit(tag::FilterFreq);
    EXPECT_EQ(ui().getEditControl(), knobOf(tag::FilterFreq));
    p().endEdit(tag::FilterFreq);
    EXPECT_EQ(ui().getEditControl(), nullptr);
}
