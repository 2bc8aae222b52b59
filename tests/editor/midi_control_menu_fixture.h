// The editor open headless with scripted popups and dialogs, for the tests
// of the parameter context menu and the control menu.
#pragma once

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct MidiControlMenuTest : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};
    VSTGUI::Testing::ScriptedPopupProvider popups;
    std::unique_ptr<APlugin> plugin;
    std::vector<VSTGUI::CControl*> standIns;

    void SetUp() override {
        VSTGUI::Testing::setPopupProviderOverride(&popups);
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        ASSERT_TRUE(ui().open(nullptr));
        ui().showMainScreen();
        idle();
    }
    void TearDown() override {
        if (plugin && ui().isOpen()) ui().close();
        plugin.reset();
        for (VSTGUI::CControl* c : standIns) c->forget();
        VSTGUI::Testing::setPopupProviderOverride(nullptr);
    }

    APlugin& p() { return *plugin; }
    uEditor& ui() { return *plugin->getUEditor(); }
    VSTGUI::CFrame* frame() { return ui().frameForTests(); }
    void idle() {
        clock.advance(40);
        ui().idleNow();
    }
    // A control of the tag that is not part of any screen (for tags whose
    // knob lives on a page not shown).
    VSTGUI::CControl* control(int t) {
        auto* c = new VSTGUI::CControl(VSTGUI::CRect(0, 0, 10, 10), nullptr, t);
        standIns.push_back(c);
        return c;
    }

    // Scripts the next popup's answer: a title path, or a dismissal when
    // empty.
    void next(std::vector<std::string> path) {
        if (path.empty())
            popups.dismiss();
        else
            popups.chooseTitlePath(std::move(path));
    }
    const std::vector<VSTGUI::Testing::ScriptedPopupProvider::Line>& lastLines() {
        return popups.history().back().lines;
    }
    static std::vector<std::string>
    titles(const std::vector<VSTGUI::Testing::ScriptedPopupProvider::Line>& lines) {
        std::vector<std::string> out;
        for (const auto& line : lines) out.push_back(line.separator ? "-" : line.title);
        return out;
    }
    std::vector<std::string> lastTitles() { return titles(lastLines()); }
    bool lastHas(const std::string& title) {
        for (const auto& line : lastLines())
            if (!line.separator && line.title == title) return true;
        return false;
    }
    // Whether the last popup showed title greyed (true) or choosable.
    bool lastGreyed(const std::string& title) {
        for (const auto& line : lastLines())
            if (!line.separator && line.title == title) return !line.enabled;
        ADD_FAILURE() << "no line " << title;
        return false;
    }
    std::size_t automated() const { return host.count(audioMasterAutomate); }
};
