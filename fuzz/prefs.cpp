// The preference files: the user's own file and the read-only file for any
// user. Whatever they hold, every read gives a value of the size asked for,
// and a value copied from the any-user file into the own one reads the same.
//
// Input: one byte choosing where the text goes (0: the own file, 1: the
// any-user file, 2: both), then the file's text.
//
// STOPGAP: the store only reads files today, so the input is written to the
// scratch folder's preference files and the store reloaded. Switch to the
// parse function over memory when the store has one.

#include "plugin_support.h"

#include <cstring>
#include <filesystem>
#include <string_view>

namespace {

const char* const kStringKeys[] = {
    "ECSDir",
    "XYPresetDir",
    "ArpPresetDir",
    "ModPresetDir",
    "EnvelopePresetDir",
    "WavePresetDir",
    "SampleDir",
    "Help",
    "Tuning",
    REG_PRESET_WARNING_STR,
    "A4",
    REG_MIDI_CAPTURE_STR,
    REG_SCREEN_SIZE[0],
    REG_KEYBOARD_STR,
    "",
};

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    fuzz::setUpPluginProcess();
    std::filesystem::create_directories(
        std::filesystem::path(prefsAnyUserFilePath()).parent_path());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    const int where = data[0] % 3;
    std::error_code ec;
    for (const std::string& path : {prefsOwnFilePath(), prefsAnyUserFilePath()})
        std::filesystem::remove(path, ec);
    const std::string own =
        "prefs/" + std::filesystem::path(prefsOwnFilePath()).filename().string();
    const std::string any =
        "prefs/any-user/" + std::filesystem::path(prefsAnyUserFilePath()).filename().string();
    if (where != 1) fuzz::writeScratchFile(own, data + 1, size - 1);
    if (where != 0) fuzz::writeScratchFile(any, data + 1, size - 1);
    reloadPrefs();

    for (const char* key : kStringKeys) {
        for (int maxLen : {256, 128, 8, 1}) {
            std::string value;
            loadStringFromPrefs(key, value, maxLen);
            if (value.size() > static_cast<std::size_t>(maxLen > 1 ? maxLen - 1 : 0))
                fuzz::fail("a string longer than asked for");
            char buffer[PREF_MAX_LEN];
            std::memset(buffer, 'x', sizeof buffer);
            loadStringFromPrefs(key, buffer, maxLen);
            // The buffer holds the value up to its first NUL byte.
            const std::string_view cString(value.c_str());
            if (std::string_view(buffer) != cString)
                fuzz::fail("the buffer and string reads differ");
            // A second read (the value may have been copied into the own file) agrees.
            std::string again;
            loadStringFromPrefs(key, again, maxLen);
            if (again != value) fuzz::fail("a second read gives another value");
        }
        (void)loadIntFromPrefs(key);
        (void)getRegisterIsOn(key, true);
    }
    (void)loadIntFromPrefs(REG_MIDI_IN_CHANNEL_STR);
    for (int n = 0; n < 128; ++n) (void)getMidiCC(n);
    return 0;
}
