// A plug-in with its editor opened the way a host opens it (effEditOpen,
// headless), on the main screen, idled through effEditIdle on a hand-driven
// clock, with preferences in a temporary folder.
#pragma once

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <memory>

struct EditorHostFixture : ::testing::Test {
    TempPrefs prefs;
    ManualClock clock;
    FakeHost host;
    std::unique_ptr<APlugin> plugin;

    void SetUp() override {
        plugin = std::make_unique<APlugin>(FakeHost::callback);
        ASSERT_EQ(dispatch(effEditOpen), 1);
        ui().showMainScreen();
        idle();
    }
    void TearDown() override {
        if (plugin) dispatch(effEditClose);
        plugin.reset();
    }
    VstIntPtr dispatch(VstInt32 opcode) {
        AEffect* e = plugin->getAeffect();
        return e->dispatcher(e, opcode, 0, 0, nullptr, 0.0f);
    }
    APlugin& p() { return *plugin; }
    uEditor& ui() { return *plugin->getUEditor(); }
    const editor_controls::All& c() { return ui().getControls(); }
    VSTGUI::CFrame* frame() { return ui().frameForTests(); }
    // One idle pass, 40 ms after the last.
    void idle() {
        clock.advance(40);
        dispatch(effEditIdle);
    }
};

// The same, with every popup menu answered by `popups` (a script).
struct EditorHostWithPopups : EditorHostFixture {
    VSTGUI::Testing::ScriptedPopupProvider popups;

    void SetUp() override {
        VSTGUI::Testing::setPopupProviderOverride(&popups);
        EditorHostFixture::SetUp();
    }
    void TearDown() override {
        EditorHostFixture::TearDown();
        VSTGUI::Testing::setPopupProviderOverride(nullptr);
    }
};
