// Points the preference store at a fresh, empty folder for one test and
// restores the previous folder afterwards.
#pragma once

#include "platform/prefs.h"

#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <unistd.h>

class TempPrefs {
public:
    TempPrefs() {
        if (const char* old = std::getenv("ONDIX_PREFS_DIR")) previous = old;
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ondix-prefs-XXXXXX").string();
        if (mkdtemp(pattern.data())) dir = pattern;
        setenv("ONDIX_PREFS_DIR", dir.c_str(), 1);
        reloadPrefs();
    }
    ~TempPrefs() {
        if (previous)
            setenv("ONDIX_PREFS_DIR", previous->c_str(), 1);
        else
            unsetenv("ONDIX_PREFS_DIR");
        reloadPrefs();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }
    TempPrefs(const TempPrefs&) = delete;
    TempPrefs& operator=(const TempPrefs&) = delete;

    const std::string& path() const { return dir; }

private:
    std::string dir;
    std::optional<std::string> previous;
};
