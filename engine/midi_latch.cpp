// Latching a parameter to a MIDI controller from the editor's menus: arming
// the learn of the next controller, and releasing a parameter's controllers.
// Main thread; the audio thread reads the map and the learn request at any
// moment, so every entry is written with a single store.

#include "core/aplugin.h"

#include "platform/prefs.h"

#include <atomic>

void APlugin::setMIDILatch(int t, bool on) {
    if (!isValidTag(t)) return;
    MidiState& midi = engine.midi;
    if (on) {
        midi.learnTag.store(t, std::memory_order_relaxed);
        midi.learnArmed.store(true, std::memory_order_release);
        return;
    }
    // Releasing a parameter also drops its own learn request, and leaves a
    // request for another parameter waiting: the next controller must not
    // bind the parameter just released.
    if (midi.learnTag.load(std::memory_order_relaxed) == t)
        midi.learnArmed.store(false, std::memory_order_relaxed);
    flushLearnedControllers(); // learned bindings reach the preferences first
    const std::lock_guard lock(midi.storeLock);
    const PrefsSaveGroup oneSave;
    for (int n = 0; n < 128; ++n) {
        if (midi.ccMap[n].load(std::memory_order_relaxed) != t) continue;
        midi.ccMap[n].store(0, std::memory_order_relaxed);
        setMidiCC(n, 0);
    }
    std::atomic_ref<bool>(midi.captured[t]).store(false, std::memory_order_relaxed);
}
