// The listener service's stand-in: one process-wide event sink.
#include "audiounit/au_base.h"

#include <atomic>

// ---------------------------------------------------------------- listener service

namespace {

struct SinkSlot {
    std::atomic<AUEventSink> sink{nullptr};
    std::atomic<void*> refCon{nullptr};
};
SinkSlot eventSink;

} // namespace

OSStatus AUEventListenerNotify(AUEventListenerRef, void*, const AudioUnitEvent* event) {
    if (!event) return kAudio_ParamError;
    const AUEventSink sink = eventSink.sink.load(std::memory_order_acquire);
    if (sink) sink(eventSink.refCon.load(std::memory_order_relaxed), *event);
    return noErr;
}

void AUEventListenerInstallSink(AUEventSink sink, void* refCon) {
    eventSink.refCon.store(refCon, std::memory_order_relaxed);
    eventSink.sink.store(sink, std::memory_order_release);
}
