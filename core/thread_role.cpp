#include "core/thread_role.h"

#include <pthread.h>
#include <sched.h>

namespace threadrole {

AudioThreads& renderingThreads() {
    static constinit AudioThreads threads;
    return threads;
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
        return renderingThreads().contains() || scheduledRealTime();
    }
}

} // namespace threadrole
