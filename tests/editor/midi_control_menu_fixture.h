// The editor open headless with scripted popups and dialogs, for the tests
// of the parameter context menu and the control menu.
#pragma once

#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "support/editor_menu_fixture.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

struct MidiControlMenuTest : EditorMenuFixture {
    std::vector<VSTGUI::CControl*> standIns;

    void SetUp() override {
        EditorMenuFixture::SetUp();
        if (HasFatalFailure()) return;
        idle();
    }
    void TearDown() override {
        EditorMenuFixture::TearDown();
        for (VSTGUI::CControl* c : standIns) c->forget();
    }

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
