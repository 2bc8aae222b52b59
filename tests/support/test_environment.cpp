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

#if defined(__SANITIZE_THREAD__)
#define ONDIX_TSAN_BUILD 1
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define ONDIX_TSAN_BUILD 1
#endif
#endif

#ifdef ONDIX_TSAN_BUILD
// ThreadSanitizer sees cairo only through the calls it intercepts: cairo is
// not built with it. Cairo keeps the clip records it frees in lock-free pools
// shared by every thread and hands them out again through atomic exchanges
// that ThreadSanitizer cannot see, so a record that one editor's drawing let
// go and another editor's drawing takes up on its own thread looks like a
// race between the two threads' copies into it. Reports whose stacks pass
// through cairo are left out; a race between two accesses of our own code is
// still reported. ThreadSanitizer's run-time library asks the program for
// these, so the function is exported whatever the default visibility.
extern "C" __attribute__((visibility("default"))) const char* __tsan_default_suppressions() {
    return "race:libcairo.so\n";
}
#endif
