// Helpers every fuzz target may use, without the plug-in's code: stopping a
// run on a broken expectation, the hosts the plug-in tells apart, and a
// scratch folder for the preferences (and the seed program's files).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace fuzz {

// Ends the run: libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// A host as the plug-in recognises it: by product string (REAPER and KORE
// save one bank chunk, KOMPLETE and MASCHINE are NKS hosts, ondix-host is our
// own) and by vendor ("PROP..." vendors get preset chunks too). The last two
// exchange no chunks at all.
struct HostKind {
    const char* product;
    const char* vendor;
};
inline constexpr HostKind kHostKinds[8] = {
    {"REAPER", "Cockos"},
    {"Komplete Kontrol", "Native Instruments"},
    {"MASCHINE 2", "Native Instruments"},
    {"ondix-host", "Ondix Developers"},
    {"Reason", "Propellerhead Software"},
    {"KORE Player", "Native Instruments"},
    {"Bitwig Studio", "Bitwig"},
    {"", ""},
};

// True for one input in `n`, picked by a hash of all its bytes: a choice
// the fuzzer cannot steer, since nearly every mutation changes it.
inline bool oneInputIn(unsigned n, const uint8_t* data, size_t size) {
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 16777619u;
    return hash % n == 0;
}

// The process's scratch folder: $ONDIX_FUZZ_SCRATCH when set (scripts/fuzz.sh
// makes one in /dev/shm and removes it afterwards), else a folder of its own
// in /dev/shm (else $TMPDIR, else /tmp) that is removed when the process ends.
inline const std::string& scratchFolder() {
    struct Folder {
        std::string path;
        bool own = false;
        Folder() {
            if (const char* given = std::getenv("ONDIX_FUZZ_SCRATCH"); given && *given) {
                path = given;
            } else {
                std::string base = "/dev/shm";
                if (access(base.c_str(), W_OK) != 0) {
                    const char* tmp = std::getenv("TMPDIR");
                    base = tmp && *tmp ? tmp : "/tmp";
                }
                path = base + "/ondix-fuzz-" + std::to_string(getpid());
                own = true;
            }
            std::filesystem::create_directories(path);
        }
        ~Folder() {
            std::error_code ec;
            if (own) std::filesystem::remove_all(path, ec);
        }
    };
    static const Folder folder;
    return folder.path;
}

// Points the preference store at a folder in the scratch folder, so that no
// target reads or changes the user's settings. Call before the first
// preference is read (LLVMFuzzerInitialize).
inline void usePrivatePrefs() {
    const std::string prefs = scratchFolder() + "/prefs";
    std::filesystem::create_directories(prefs);
    setenv("ONDIX_PREFS_DIR", prefs.c_str(), 1);
}

} // namespace fuzz
