// Keeps every test away from the user's own settings and files: when the
// test program is started without ONDIX_PREFS_DIR (ctest sets it),
// preferences go to a folder of their own under the temporary directory, and
// the data folder (presets, section presets, the manual) always lies in a
// folder "data" beside the preferences.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class PrefsEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        const char* dir = std::getenv("ONDIX_PREFS_DIR");
        if (!dir || !*dir) {
            const auto path = std::filesystem::temp_directory_path() /
                              ("ondix-test-prefs-" + std::to_string(getpid()));
            ownDir = path.string();
            setenv("ONDIX_PREFS_DIR", ownDir.c_str(), 1);
        }
        const std::string data = std::string(std::getenv("ONDIX_PREFS_DIR")) + "/data";
        setenv("XDG_DATA_HOME", data.c_str(), 1);
    }
    void TearDown() override {
        if (ownDir.empty()) return;
        std::error_code ec;
        std::filesystem::remove_all(ownDir, ec);
    }

private:
    std::string ownDir;
};

const auto* const registered = ::testing::AddGlobalTestEnvironment(new PrefsEnvironment);

} // namespace
