// The editor opened headless with scripted popups and dialogs, for the
// envelope and arpeggiator menu tests.
#pragma once

#include "core/aplugin.h"
#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "support/fake_host.h"
#include "support/manual_clock.h"
#include "support/temp_prefs.h"
#include "vstgui/testing.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <span>
#include <sstream>
#include <string>
#include <vector>

struct EnvArpMenuFixture : ::testing::Test {
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
        ui().idleNow();
        std::filesystem::create_directories(fileDir());
    }
    void TearDown() override {
        if (plugin) ui().close();
        plugin.reset();
        VSTGUI::Testing::setPopupProviderOverride(nullptr);
    }

    uEditor& ui() { return *plugin->getUEditor(); }
    APlugin& p() { return *plugin; }
    float value(int t) { return plugin->getParameter(t); }
    std::vector<float> values(std::span<const int> tags) {
        std::vector<float> out;
        for (int t : tags) out.push_back(plugin->getParameter(t));
        return out;
    }

    // What the last popup showed.
    const std::vector<Line>& rootLines() { return popups.history().back().lines; }
    const std::vector<std::vector<Line>>& submenus() { return popups.history().back().submenus; }
    // Titles as the user saw them, "-" for separators.
    static std::vector<std::string> titles(const std::vector<Line>& lines) {
        std::vector<std::string> out;
        for (const Line& l : lines) out.push_back(l.separator ? "-" : l.title);
        return out;
    }
    std::vector<std::string> alerts() const {
        std::vector<std::string> out;
        for (const AlertRequest& r : dialogs.alertRequests) out.push_back(r.header);
        return out;
    }

    std::filesystem::path fileDir() const { return std::filesystem::path(prefs.path()) / "files"; }
    static std::vector<std::string> readLines(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static void writeAll(const std::filesystem::path& path, const std::string& text) {
        std::ofstream(path, std::ios::binary) << text;
    }
};
