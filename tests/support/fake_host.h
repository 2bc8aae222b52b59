// A scripted host for in-process tests of the plug-in object.
//
// FakeHost::callback is a plain audioMasterCallback. Because a function
// pointer carries no state, it reaches the FakeHost that currently exists:
// the constructor makes the new object the current host and the destructor
// clears it. Only one FakeHost may live at a time (a second one throws).
//
// The plug-in calls its host from the audio thread and from the main thread
// at once: the log takes calls from any thread. Its lock is hidden from
// ThreadSanitizer, so that it cannot order the plug-in's own accesses and
// hide a race between them. Read `calls` directly only while no other thread
// calls the host; count, last, logSize and clearLog may be used at any time.
//
//     FakeHost host;
//     host.productString = "REAPER";
//     host.canDo["receiveVstMidiEvent"] = 1;
//     MyPlugin plugin(FakeHost::callback);
//     ...
//     EXPECT_EQ(host.count(audioMasterAutomate), 1u);
//     EXPECT_FLOAT_EQ(host.last(audioMasterAutomate)->opt, 0.5f);
//
// Without a current FakeHost the callback answers 0 to everything, like a
// host that knows nothing.
#pragma once

#include "vst2/vst2.h"

#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

class FakeHost {
public:
    // One call the plug-in made, as it arrived.
    struct Call {
        AEffect* effect;
        VstInt32 opcode;
        VstInt32 index;
        VstIntPtr value;
        void* ptr;
        float opt;
    };

    FakeHost();
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    // The audioMasterCallback to hand the plug-in. Works with a null effect
    // (the plug-in asks for the version and the strings while it is being
    // constructed, before the host has its record).
    static VstIntPtr callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                              void* ptr, float opt);
    // The FakeHost the callback reaches, or null.
    static FakeHost* current();

    // Log helpers.
    std::size_t count(VstInt32 opcode) const;
    std::optional<Call> last(VstInt32 opcode) const;
    std::size_t logSize() const;
    void clearLog(); // keeps the log's reserved room

    // Every call, oldest first.
    std::vector<Call> calls;

    // ---- scripted answers
    // An entry here answers its opcode before anything below is consulted
    // (nothing is written through ptr then).
    std::map<VstInt32, VstIntPtr> answers;
    // audioMasterVersion.
    VstIntPtr version = 2400;
    // audioMasterGetProductString / audioMasterGetVendorString: empty answers
    // 0 and writes nothing; otherwise the text is copied into the plug-in's
    // buffer (kStringBufferBytes, always NUL-terminated) and the answer is 1.
    std::string productString;
    std::string vendorString;
    // audioMasterGetTime answers the address of this record: 120 BPM at
    // 44100 Hz, 4/4, playing, with tempo and time signature valid.
    VstTimeInfo timeInfo;
    // audioMasterGetSampleRate / audioMasterGetBlockSize.
    VstIntPtr sampleRate = 44100;
    VstIntPtr blockSize = 512;
    // audioMasterCanDo by capability text; unknown texts answer 0.
    std::map<std::string, VstIntPtr> canDo;
    // audioMasterGetCurrentProcessLevel: the level given to the calling
    // thread with a ThreadLevel, else this one (0: the host does not say).
    VstIntPtr processLevel = kVstProcessLevelUnknown;
    // While it lives, the host answers `level` to the thread that made it.
    class ThreadLevel {
    public:
        explicit ThreadLevel(VstIntPtr level);
        ~ThreadLevel();
        ThreadLevel(const ThreadLevel&) = delete;
        ThreadLevel& operator=(const ThreadLevel&) = delete;

    private:
        VstIntPtr previous;
    };

    static constexpr std::size_t kStringBufferBytes = 256;

private:
    VstIntPtr answer(const Call& call);
    mutable std::mutex logMutex;
};
