// The editor open headless with scripted popups and dialogs, for the tests
// of the section command menus (oscillator, filter, free modulation and
// user-wave menus).
#pragma once

#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "support/editor_menu_fixture.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

struct SectionMenuTest : EditorMenuFixture {

    void SetUp() override {
        EditorMenuFixture::SetUp();
        if (HasFatalFailure()) return;
        idle();
    }

    void idle() {
        clock.advance(40);
        ui().idleNow();
    }

    // Scripts the next popup's answer: a title path, or a dismissal when
    // empty.
    void next(std::vector<std::string> path) {
        if (path.empty())
            popups.dismiss();
        else
            popups.chooseTitlePath(std::move(path));
    }
    // The root lines of the last popup, as the user saw them.
    const std::vector<VSTGUI::Testing::ScriptedPopupProvider::Line>& lastLines() {
        return popups.history().back().lines;
    }
    std::vector<std::string> lastTitles() {
        std::vector<std::string> out;
        for (const auto& line : lastLines()) out.push_back(line.separator ? "-" : line.title);
        return out;
    }
    bool lastHas(const std::string& title) {
        for (const auto& line : lastLines())
            if (!line.separator && line.title == title) return true;
        return false;
    }

    // Values of a list of tags, and distinct non-default values for them.
    std::vector<float> values(std::initializer_list<int> tags) { return values(std::vector(tags)); }
    std::vector<float> values(const std::vector<int>& tags) {
        std::vector<float> out;
        for (int t : tags) out.push_back(p().getParameter(t));
        return out;
    }
    // Gives every tag a value that is neither its default nor its neighbour's,
    // then makes that state the loaded preset's when asked.
    void scramble(const std::vector<int>& tags, float seed = 0.13f) {
        float v = seed;
        for (int t : tags) {
            v += 0.29f;
            if (v > 0.95f) v -= 0.9f;
            float value = v;
            if (value == p().getDefaultValue(t)) value = 1.0f - value;
            p().setParameter(t, value);
        }
    }
    std::size_t automated() const { return host.count(audioMasterAutomate); }
};
