// The MIDI controller map: which parameter each of the 128 controller
// numbers drives, and the pick-up state that keeps a turned knob from making
// its parameter jump.
//
// The map lives in engine.midi.ccMap (one atomic tag per controller, read by
// the audio thread's controller dispatch) and is mirrored in the preference
// store, one integer per controller. The functions here run on the main
// thread, except handleLearnedController, which the audio thread runs for
// every control change; the audio thread may read the map and the pick-up
// state at any moment, so every entry is written with a single relaxed store.
//
// The preference store locks and writes its file, which the audio thread
// must never wait for. So the audio thread reads the capture switch from a
// copy the main thread keeps fresh, and a controller it learns is entered in
// the map at once but written to the preferences later
// (flushLearnedControllers): by the plug-in's file worker, which the audio
// thread tells, and by whichever of the editor's idle pass, the menus, the
// other map operations and the plug-in's close comes first.

#include "core/aplugin.h"

#include "platform/dialogs.h"
#include "platform/prefs.h"

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr int kControllers = 128;
// How close a controller must come to the parameter's value to pick it up.
constexpr float kPickupWindow = 0.025f;

// "MIDICapture" as the main thread last read it; the audio thread reads
// only this copy. Shared by every instance, like the preference itself.
std::atomic<bool> gMidiCapturePref{true};

std::atomic<std::uint64_t>& pendingWord(MidiState& midi, int n) {
    return midi.learnedPrefPending[static_cast<std::size_t>(n >> 6)];
}

bool capturedFlag(MidiState& midi, int t) {
    return std::atomic_ref<bool>(midi.captured[t]).load(std::memory_order_relaxed);
}

void setCapturedFlag(MidiState& midi, int t, bool on) {
    std::atomic_ref<bool>(midi.captured[t]).store(on, std::memory_order_relaxed);
}

// The controller number of a typed answer: leading blanks and a sign are
// allowed, digits after the number are ignored, and numbers beyond 0..127
// (however long) give the nearer end. false when the answer holds no number.
bool controllerFromAnswer(const char* answer, int& n) {
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(answer, &end, 10);
    if (end == answer) return false;
    n = value < 0 ? 0 : (value > kControllers - 1 ? kControllers - 1 : static_cast<int>(value));
    return true;
}

} // namespace

void APlugin::resetMIDI() {
    MidiState& midi = engine.midi;
    {
        const std::lock_guard lock(midi.storeLock);
        for (auto& word : midi.learnedPrefPending) word.store(0, std::memory_order_relaxed);
        const PrefsSaveGroup oneSave;
        for (int n = 0; n < kControllers; ++n) {
            midi.ccMap[n].store(0, std::memory_order_relaxed);
            if (getMidiCC(n) != 0) setMidiCC(n, 0);
        }
    }
    resetMIDICapture();
}

void APlugin::resetMIDICapture() {
    MidiState& midi = engine.midi;
    refreshMidiCapturePref();
    for (int t = 0; t < tag::Count; ++t) {
        storeRelaxed(midi.pickupRef[t], getParameter(t));
        setCapturedFlag(midi, t, false);
    }
}

void APlugin::refreshMidiCapturePref() {
    gMidiCapturePref.store(getRegisterIsOn(REG_MIDI_CAPTURE_STR, true), std::memory_order_relaxed);
}

void APlugin::flushLearnedControllers() {
    MidiState& midi = engine.midi;
    bool waiting = false;
    for (const auto& word : midi.learnedPrefPending)
        waiting = waiting || word.load(std::memory_order_relaxed) != 0;
    if (!waiting) return; // cheap at every idle pass, and at close
    const std::lock_guard lock(midi.storeLock);
    const PrefsSaveGroup oneSave;
    for (int word = 0; word < 2; ++word) {
        std::uint64_t bits = midi.learnedPrefPending[static_cast<std::size_t>(word)].exchange(
            0, std::memory_order_acquire);
        for (int bit = 0; bits != 0; ++bit, bits >>= 1) {
            if ((bits & 1u) == 0) continue;
            const int n = word * 64 + bit;
            // The map as it is now: a later unbinding or typed binding of the
            // same controller has already won.
            const int t = midi.ccMap[n].load(std::memory_order_relaxed);
            if (getMidiCC(n) != t) setMidiCC(n, t);
        }
    }
}

void APlugin::setMIDICCNum(int t) {
    if (!isValidTag(t)) return;
    flushLearnedControllers();
    MidiState& midi = engine.midi;
    // The box starts with the (lowest) controller bound to t now, empty when
    // there is none; confirming it unchanged keeps the binding as it is.
    char answer[TEXT_BUFFER_SIZE] = {};
    for (int c = 0; t != 0 && c < kControllers; ++c) { // 0 marks a free controller
        if (midi.ccMap[c].load(std::memory_order_relaxed) != t) continue;
        std::to_chars(answer, answer + sizeof answer - 1, c);
        break;
    }
    const std::string initial = answer;
    inputBox("MIDI CC : " + getParameterNameStr(t), "MIDI CC (0 - 127)", answer);
    int n = 0;
    if (answer[0] == '\0' || initial == answer || !controllerFromAnswer(answer, n)) return;

    // The controller picks the parameter up from where it stands now.
    storeRelaxed(midi.pickupRef[t], getParameter(t));
    setCapturedFlag(midi, t, false);
    const std::lock_guard lock(midi.storeLock);
    midi.ccMap[n].store(t, std::memory_order_relaxed);
    setMidiCC(n, t);
}

// Audio thread: after every control change other than the all-off
// controllers. Lock-free: atomics and the plug-in's own setParameter only.
void APlugin::handleLearnedController(int controller, int value) {
    if (controller < 0 || controller >= kControllers) return;
    MidiState& midi = engine.midi;

    if (midi.learnArmed.load(std::memory_order_relaxed) &&
        midi.learnArmed.exchange(false, std::memory_order_acquire)) {
        const int learn = midi.learnTag.load(std::memory_order_relaxed);
        if (isValidTag(learn)) {
            storeRelaxed(midi.pickupRef[learn], getParameter(learn));
            setCapturedFlag(midi, learn, false);
            midi.ccMap[controller].store(learn, std::memory_order_relaxed);
            pendingWord(midi, controller)
                .fetch_or(std::uint64_t{1} << (controller & 63), std::memory_order_release);
            core.worker.post(filejob::LearnedControllers);
        }
    }

    const int t = midi.ccMap[controller].load(std::memory_order_relaxed);
    if (t <= 0 || !isValidTag(t)) return;
    // Not the host's preset command nor the tuning's name: a controller is
    // no way to restore a state or name a file.
    if (t == tag::ApplyPreset || (t >= tag::TuningNameFirst && t <= tag::TuningNameLast)) return;
    const float c = static_cast<float>(value) / 127.0f;
    if (gMidiCapturePref.load(std::memory_order_relaxed) && !capturedFlag(midi, t)) {
        // A binding without a reference of its own (loaded from the
        // preferences at start-up, or a preset loaded or restored since)
        // picks the parameter up from where it stands when its controller
        // first moves.
        float reference = loadRelaxed(midi.pickupRef[t]);
        if (reference < 0.0f) { // kPickupFromCurrentValue
            reference = getParameter(t);
            storeRelaxed(midi.pickupRef[t], reference);
        }
        if (std::fabs(c - reference) >= kPickupWindow) return;
        setCapturedFlag(midi, t, true);
    }
    setParameter(t, c);
}
