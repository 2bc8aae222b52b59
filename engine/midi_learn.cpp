// The MIDI controller map: which parameter each of the 128 controller
// numbers drives, and the pick-up state that keeps a turned knob from making
// its parameter jump.
//
// The map lives in engine.midi.ccMap (one atomic tag per controller, read by
// the audio thread's controller dispatch) and is mirrored in the preference
// store, one integer per controller. The functions here run on the main
// thread; the audio thread may read the map and the pick-up state at any
// moment, so every entry is written with a single relaxed store.

#include "core/aplugin.h"

#include "platform/prefs.h"

#include <atomic>

void APlugin::resetMIDI() {
    MidiState& midi = engine.midi;
    for (int n = 0; n < 128; ++n) {
        midi.ccMap[n].store(0, std::memory_order_relaxed);
        // Every preference write rewrites the whole file durably: skip the
        // controllers that are already unbound there.
        if (getMidiCC(n) != 0) setMidiCC(n, 0);
    }
    resetMIDICapture();
}

void APlugin::resetMIDICapture() {
    MidiState& midi = engine.midi;
    for (int t = 0; t < tag::Count; ++t) {
        storeRelaxed(midi.pickupRef[t], getParameter(t));
        std::atomic_ref<bool>(midi.captured[t]).store(false, std::memory_order_relaxed);
    }
}
