// The editor opened headless with scripted popups and dialogs, for the
// modulation matrix and XY pad menu tests.
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

struct ModXYMenuFixture : EditorMenuFixture {

    void SetUp() override {
        EditorMenuFixture::SetUp();
        if (HasFatalFailure()) return;
        ui().idleNow();
    }

    float value(int t) { return plugin->getParameter(t); }
    std::vector<float> values(std::span<const int> tags) {
        std::vector<float> out;
        for (int t : tags) out.push_back(plugin->getParameter(t));
        return out;
    }

    // What the last popup showed: its root lines and its submenus (depth
    // first).
    const std::vector<Line>& rootLines() { return popups.history().back().lines; }
    const std::vector<std::vector<Line>>& submenus() { return popups.history().back().submenus; }
    static bool hasTitle(const std::vector<Line>& lines, const std::string& title) {
        for (const Line& l : lines)
            if (!l.separator && l.title == title) return true;
        return false;
    }
    static const Line* findLine(const std::vector<Line>& lines, const std::string& title) {
        for (const Line& l : lines)
            if (!l.separator && l.title == title) return &l;
        return nullptr;
    }

    // A folder for preset files that goes with the test's preferences.
    std::filesystem::path fileDir() {
        std::filesystem::path dir = std::filesystem::path(prefs.path()) / "files";
        std::filesystem::create_directories(dir);
        return dir;
    }
    static std::vector<std::string> readLines(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::vector<std::string> lines;
        for (std::string line; std::getline(in, line);) lines.push_back(line);
        return lines;
    }
    static std::string readAll(const std::filesystem::path& path) {
        std::ifstream in(path, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    static void writeAll(const std::filesystem::path& path, const std::string& text) {
        std::ofstream out(path, std::ios::binary);
        out << text;
    }
};
