#include "core/thread_role.h"

#include <pthread.h>
#include <sched.h>

namespace threadrole {

namespace {

// Each thread's own mark: a thread starts without it, whatever id the
// kernel gives it. The library is loaded with dlopen, and a loaded library's
// thread storage in the default model is allocated by the loader (a heap
// call) at each thread's first touch, here its first block. In the
// initial-exec model the loader places the library's few bytes of thread
// storage in the static room it keeps spare for loaded libraries, set up
// for every thread when the library is loaded or the thread starts.
thread_local constinit bool rendered __attribute__((tls_model("initial-exec"))) = false;

} // namespace

void markRendering() {
    rendered = true;
}

bool scheduledRealTime() {
    int policy = SCHED_OTHER;
    sched_param param{};
    if (pthread_getschedparam(pthread_self(), &policy, &param) != 0) return false;
    return policy == SCHED_FIFO || policy == SCHED_RR;
}

bool isAudioThread(VstInt32 hostLevel) {
    switch (hostLevel) {
    case kVstProcessLevelRealtime:
    case kVstProcessLevelPrefetch:
        return true;
    case kVstProcessLevelUser:
    case kVstProcessLevelOffline:
        return false;
    default: // the host does not say
        return rendered || scheduledRealTime();
    }
}

} // namespace threadrole
