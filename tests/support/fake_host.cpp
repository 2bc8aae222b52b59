#include "support/fake_host.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

// ThreadSanitizer's annotations, present only in its builds.
extern "C" {
void AnnotateIgnoreSyncBegin(const char* file, int line) __attribute__((weak));
void AnnotateIgnoreSyncEnd(const char* file, int line) __attribute__((weak));
void AnnotateIgnoreReadsBegin(const char* file, int line) __attribute__((weak));
void AnnotateIgnoreReadsEnd(const char* file, int line) __attribute__((weak));
void AnnotateIgnoreWritesBegin(const char* file, int line) __attribute__((weak));
void AnnotateIgnoreWritesEnd(const char* file, int line) __attribute__((weak));
}

namespace {

FakeHost* gCurrentHost = nullptr;

// Holds the log's lock, unseen by ThreadSanitizer: neither the lock nor the
// log's memory takes part in its race detection.
class LogAccess {
public:
    explicit LogAccess(std::mutex& m) : mutex(m) {
        if (AnnotateIgnoreSyncBegin != nullptr) {
            AnnotateIgnoreSyncBegin(__FILE__, __LINE__);
            AnnotateIgnoreReadsBegin(__FILE__, __LINE__);
            AnnotateIgnoreWritesBegin(__FILE__, __LINE__);
        }
        mutex.lock();
    }
    ~LogAccess() {
        mutex.unlock();
        if (AnnotateIgnoreSyncEnd != nullptr) {
            AnnotateIgnoreWritesEnd(__FILE__, __LINE__);
            AnnotateIgnoreReadsEnd(__FILE__, __LINE__);
            AnnotateIgnoreSyncEnd(__FILE__, __LINE__);
        }
    }
    LogAccess(const LogAccess&) = delete;
    LogAccess& operator=(const LogAccess&) = delete;

private:
    std::mutex& mutex;
};

VstIntPtr copyString(const std::string& s, void* ptr) {
    if (s.empty() || ptr == nullptr) return 0;
    const std::size_t n = std::min(s.size(), FakeHost::kStringBufferBytes - 1);
    auto* text = static_cast<char*>(ptr);
    std::memcpy(text, s.data(), n);
    text[n] = '\0';
    return 1;
}

} // namespace

FakeHost::FakeHost() : timeInfo{} {
    if (gCurrentHost != nullptr) {
        throw std::logic_error("FakeHost: only one host may exist at a time");
    }
    timeInfo.sampleRate = 44100.0;
    timeInfo.tempo = 120.0;
    timeInfo.timeSigNumerator = 4;
    timeInfo.timeSigDenominator = 4;
    timeInfo.flags = kVstTransportPlaying | kVstTempoValid | kVstTimeSigValid;
    gCurrentHost = this;
}

namespace {
thread_local VstIntPtr tThreadLevel = -1; // -1: none given
} // namespace

FakeHost::ThreadLevel::ThreadLevel(VstIntPtr level) : previous(tThreadLevel) {
    tThreadLevel = level;
}

FakeHost::ThreadLevel::~ThreadLevel() {
    tThreadLevel = previous;
}

FakeHost::~FakeHost() {
    if (gCurrentHost == this) gCurrentHost = nullptr;
}

FakeHost* FakeHost::current() {
    return gCurrentHost;
}

VstIntPtr FakeHost::callback(AEffect* effect, VstInt32 opcode, VstInt32 index, VstIntPtr value,
                             void* ptr, float opt) {
    FakeHost* host = gCurrentHost;
    if (host == nullptr) return 0;
    const Call call{effect, opcode, index, value, ptr, opt};
    {
        LogAccess log(host->logMutex);
        host->calls.push_back(call);
    }
    return host->answer(call);
}

VstIntPtr FakeHost::answer(const Call& call) {
    if (const auto it = answers.find(call.opcode); it != answers.end()) return it->second;
    switch (call.opcode) {
    case audioMasterVersion:
        return version;
    case audioMasterGetTime:
        return reinterpret_cast<VstIntPtr>(&timeInfo);
    case audioMasterGetSampleRate:
        return sampleRate;
    case audioMasterGetBlockSize:
        return blockSize;
    case audioMasterGetProductString:
        return copyString(productString, call.ptr);
    case audioMasterGetVendorString:
        return copyString(vendorString, call.ptr);
    case audioMasterGetCurrentProcessLevel:
        return tThreadLevel >= 0 ? tThreadLevel : processLevel;
    case audioMasterCanDo: {
        if (call.ptr == nullptr) return 0;
        const auto it = canDo.find(static_cast<const char*>(call.ptr));
        return it != canDo.end() ? it->second : 0;
    }
    default:
        return 0;
    }
}

std::size_t FakeHost::count(VstInt32 opcode) const {
    LogAccess log(logMutex);
    return static_cast<std::size_t>(std::count_if(
        calls.begin(), calls.end(), [opcode](const Call& c) { return c.opcode == opcode; }));
}

std::optional<FakeHost::Call> FakeHost::last(VstInt32 opcode) const {
    LogAccess log(logMutex);
    for (auto it = calls.rbegin(); it != calls.rend(); ++it) {
        if (it->opcode == opcode) return *it;
    }
    return std::nullopt;
}

std::size_t FakeHost::logSize() const {
    LogAccess log(logMutex);
    return calls.size();
}

void FakeHost::clearLog() {
    LogAccess log(logMutex);
    calls.clear();
}
