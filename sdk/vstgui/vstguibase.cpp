#include "vstgui/vstguibase.h"

#include "vstgui/testing.h"

#include <chrono>
#include <functional>

namespace VSTGUI {

namespace {

// Every CBaseObject alive in the process; tests compare it before and after
// building and tearing down views to find leaks.
constinit std::atomic<int64_t> liveObjectCount{0};

std::function<uint32_t()>& clockOverride() {
    static std::function<uint32_t()> clock;
    return clock;
}

uint32_t steadyTicks() {
    using namespace std::chrono;
    const auto ms = duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
    return static_cast<uint32_t>(ms);
}

} // namespace

CBaseObject::CBaseObject() {
    liveObjectCount.fetch_add(1, std::memory_order_relaxed);
}

CBaseObject::CBaseObject(const CBaseObject&) {
    liveObjectCount.fetch_add(1, std::memory_order_relaxed);
}

CBaseObject::~CBaseObject() {
    liveObjectCount.fetch_sub(1, std::memory_order_relaxed);
}

void CBaseObject::forget() {
    // Whatever the other holders did with the object happens before its end.
    if (references.fetch_sub(1, std::memory_order_acq_rel) <= 1) delete this;
}

uint32_t getPlatformTicks() {
    const auto& clock = clockOverride();
    return clock ? clock() : steadyTicks();
}

namespace Testing {

int64_t liveObjects() {
    return liveObjectCount.load(std::memory_order_relaxed);
}

void setClock(std::function<uint32_t()> clock) {
    clockOverride() = std::move(clock);
}

void resetClock() {
    clockOverride() = nullptr;
}

} // namespace Testing

} // namespace VSTGUI
