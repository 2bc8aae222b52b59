// The ground every menu test stands on: a plug-in with its editor open
// headless on the main screen, popup menus and dialogs answered from
// scripts, preferences in a temporary folder and a hand-driven clock.
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

struct EditorMenuFixture : ::testing::Test {
    using Line = VSTGUI::Testing::ScriptedPopupProvider::Line;

    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    ScriptedDialogService dialogs;
    ScopedDialogService scopedDialogs{dialogs};
    VSTGUI::Testing::ScriptedPopupProvider popups;
    std::unique_ptr<APlugin> plugin;

    void SetUp() override {
        VSTGUI::Testing::setPopupProviderOverride(&popups);
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        ASSERT_TRUE(ui().open(nullptr));
        ui().showMainScreen();
    }
    void TearDown() override {
        if (plugin && ui().isOpen()) ui().close();
        plugin.reset();
        VSTGUI::Testing::setPopupProviderOverride(nullptr);
    }

    uEditor& ui() { return *plugin->getUEditor(); }
    APlugin& p() { return *plugin; }

    // Titles as the user saw them, "-" for separators.
    static std::vector<std::string> titles(const std::vector<Line>& lines) {
        std::vector<std::string> out;
        for (const Line& l : lines) out.push_back(l.separator ? "-" : l.title);
        return out;
    }
};
