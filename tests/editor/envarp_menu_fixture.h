// The editor opened headless with scripted popups and dialogs, for the
// envelope and arpeggiator menu tests.
#pragma once

#include "editor/ueditor.h"
#include "platform/dialog_service.h"
#include "support/editor_menu_fixture.h"
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

struct EnvArpMenuFixture : EditorMenuFixture {

    void SetUp() override {
        EditorMenuFixture::SetUp();
        if (HasFatalFailure()) return;
        ui().idleNow();
        std::filesystem::create_directories(fileDir());
    }

    float value(int t) { return plugin->getParameter(t); }
    std::vector<float> values(std::span<const int> tags) {
        std::vector<float> out;
        for (int t : tags) out.push_back(plugin->getParameter(t));
        return out;
    }

    // What the last popup showed.
    const std::vector<Line>& rootLines() { return popups.history().back().lines; }
    const std::vector<std::vector<Line>>& submenus() { return popups.history().back().submenus; }
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
