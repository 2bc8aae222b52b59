// State of the sound engine that the plug-in object owns.
//
// Grows with every engine stage; for now it holds what construction sets up:
// the MIDI event records, the engine's sample rate, the host's time
// information and the effect building blocks.
#pragma once

#include "core/placeholders.h"
#include "core/tags.h"
#include "vst2/vst2.h"

#include <array>
#include <atomic>
#include <cstdint>

struct MidiEventQueue {
    static constexpr int kRecords = 251;
    static constexpr int32_t kFree = -99; // deltaFrames of a free record

    std::array<VstMidiEvent, kRecords> events{};
    int32_t pending = 0;

    // Every record a free MIDI event.
    void reset() {
        for (auto& e : events) {
            e = VstMidiEvent{};
            e.type = kVstMidiType;
            e.byteSize = sizeof(VstMidiEvent);
            e.deltaFrames = kFree;
            e.reserved1 = 99;
        }
        pending = 0;
    }
};

// MIDI input state that start-up takes from the preferences. The audio
// thread reads it; the main thread's setters refresh it.
struct MidiState {
    std::atomic<int> midiChannel{-1};                // -1: every channel
    std::array<std::atomic<int>, 128> ccMap{};       // parameter tag per controller, 0 none
    std::array<bool, tag::Count> captured{};         // pick-up reached per tag
    std::array<float, tag::Count> pickupRef{};       // pick-up reference per tag, -1 none
    std::atomic<int> learnTag{-1};                   // tag waiting to be learned, -1 none
};

struct EngineState {
    float sampleRate = 44100.0f;           // the rate the rate-dependent state was built for
    const VstTimeInfo* hostTime = nullptr; // the host's time information of the current block
    uint32_t randomSeed = 1;               // seed of the engine's own random generator

    TSample sampleReader;
    TDelay chorusDelay;
    TDelay flangerDelay;
    TDelay effectDelay;
    TBasicReverb reverb;
    TDelay reverbPreDelay;

    MidiEventQueue midiEventQueue;
    MidiState midi;

    double tempo = 120.0;                // beats per minute
    double samplesPerWholeNote = 88200;  // rate * 240 / tempo
};
