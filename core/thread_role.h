// Which threads may wait and touch files.
//
// A thread the host says renders in real time or ahead of time is an audio
// thread: it never opens a file, allocates, locks or waits. A thread the
// host calls a user thread, or one it says renders offline, may do all of
// that (an offline render waits for what it needs rather than render
// without it). When the host does not say, a thread that has rendered any
// instance of the plug-in in this process, or one scheduled in real time,
// is taken for an audio thread.
#pragma once

#include "vst2/vst2.h"

namespace threadrole {

// The calling thread renders: from now on it is an audio thread whenever
// the host does not say. The mark is the thread's own; a thread that starts
// later never has it, whatever id the kernel gives it.
void markRendering();

// Whether the calling thread is scheduled in real time (SCHED_FIFO or
// SCHED_RR).
bool scheduledRealTime();

// Whether the calling thread, of which the host said `hostLevel`
// (a VstProcessLevels value), must never wait.
bool isAudioThread(VstInt32 hostLevel);

} // namespace threadrole
