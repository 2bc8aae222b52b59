// AUPLUGIN: the MIDI queue, rendering and the time record.
#include "au/au_plugin.h"

#include "audiounit/au_entry.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

namespace {

// Tries a producer makes on the busy flag before it starts to sleep.
constexpr int kSpinsBeforeSleep = 64;
constexpr long kBusySleepNanoseconds = 100000; // 100 µs

// The bytes of a VstMidiEvent after its type and byteSize fields.
constexpr VstInt32 kMidiEventByteSize = sizeof(VstMidiEvent) - 2 * sizeof(VstInt32);

// VST frame-rate codes by the platform's SMPTE type.
constexpr VstInt32 kSmpteFrameRates[] = {0, 1, 5, 3, 2, 4};

// How many data bytes the message of a status byte carries.
int dataBytesOf(UInt32 status) {
    switch (status & 0xF0) {
    case 0xC0: // program change
    case 0xD0: // channel pressure
        return 1;
    case 0xF0:
        return status == 0xF2 ? 2 : (status == 0xF1 || status == 0xF3 ? 1 : 0);
    default:
        return status >= 0x80 ? 2 : 0;
    }
}

// Whether a message's status is a byte and the data bytes it carries are
// 0..127. Cut or masked, any other would turn into a different valid
// message; it is dropped instead.
bool isWholeMessage(UInt32 status, UInt32 data1, UInt32 data2) {
    const int used = dataBytesOf(status);
    return status <= 0xFF && (used < 1 || data1 <= 0x7F) && (used < 2 || data2 <= 0x7F);
}

void zero(AudioBufferList& list, UInt32 frames) {
    AudioBuffer* buffers = audioBuffers(list);
    for (UInt32 b = 0; b < list.mNumberBuffers; ++b)
        if (buffers[b].mData) std::memset(buffers[b].mData, 0, frames * sizeof(float));
}

} // namespace

OSStatus AUPLUGINMIDIEvent(void* storage, UInt32 status, UInt32 data1, UInt32 data2,
                           UInt32 offsetSampleFrame) {
    if (!storage) return kAudio_ParamError;
    return AUCatchStatus([&] {
        auto* unit = static_cast<AUPLUGIN*>(static_cast<AUBase*>(storage));
        return unit->MIDIEvent(status, data1, data2, offsetSampleFrame);
    });
}

// ---------------------------------------------------------------- the MIDI queue

void AUPLUGIN::AcquireQueue() {
    for (int tries = 0;; ++tries) {
        int expected = 0;
        if (busy_.compare_exchange_weak(expected, 1, std::memory_order_acquire,
                                        std::memory_order_relaxed))
            return;
        if (tries >= kSpinsBeforeSleep) {
            const timespec pause{0, kBusySleepNanoseconds};
            nanosleep(&pause, nullptr);
        }
    }
}

OSStatus AUPLUGIN::MIDIEvent(UInt32 status, UInt32 data1, UInt32 data2, UInt32 offset) {
    // Checked before the base cuts the values to bytes.
    if (!isWholeMessage(status, data1, data2)) return noErr;
    return AUMIDIBase::MIDIEvent(status, data1, data2, offset);
}

OSStatus AUPLUGIN::HandleMidiEvent(UInt8 status, UInt8 channel, UInt8 data1, UInt8 data2,
                                   UInt32 startFrame) {
    if (!isWholeMessage(status | channel, data1, data2)) return noErr;
    const int used = dataBytesOf(status | channel);
    AcquireQueue();
    const UInt32 n = pendingCount_;
    if (n >= kMaxEvents) {
        busy_.store(0, std::memory_order_release);
        dropped_.fetch_add(1, std::memory_order_relaxed);
        return noErr;
    }
    VstMidiEvent& e = pending_[n];
    e = VstMidiEvent{};
    e.type = kVstMidiType;
    e.byteSize = kMidiEventByteSize;
    e.deltaFrames = static_cast<VstInt32>(startFrame);
    e.midiData[0] = static_cast<char>(status | channel);
    e.midiData[1] = static_cast<char>(used >= 1 ? data1 : 0);
    e.midiData[2] = static_cast<char>(used >= 2 ? data2 : 0);
    pendingCount_ = n + 1;
    busy_.store(0, std::memory_order_release);
    return noErr;
}

void AUPLUGIN::TakePendingEvents(UInt32 frames) {
    if (frames == 0) return; // no frame to place them on: they wait for the next slice
    int expected = 0;
    if (!busy_.compare_exchange_strong(expected, 1, std::memory_order_acquire,
                                       std::memory_order_relaxed))
        return; // a producer is appending: its events wait for the next slice
    const auto last = static_cast<SInt32>(frames) - 1;
    for (UInt32 k = 0; k < pendingCount_ && takenCount_ < kMaxEvents; ++k) {
        taken_[takenCount_] = pending_[k];
        takenOffsets_[takenCount_] = std::clamp<SInt32>(pending_[k].deltaFrames, 0, last);
        ++takenCount_;
    }
    pendingCount_ = 0;
    busy_.store(0, std::memory_order_release);

    // A host may send a slice's MIDI out of time order; the effect gets it
    // in the order of the offsets (as the host gave them, before they were
    // limited to the slice) and, among equal offsets, in arrival order.
    static_assert(kMaxEvents <= 0x10000);
    const auto before = [this](UInt16 a, UInt16 b) {
        if (takenOffsets_[a] != takenOffsets_[b]) return takenOffsets_[a] < takenOffsets_[b];
        const auto givenA = static_cast<UInt32>(taken_[a].deltaFrames);
        const auto givenB = static_cast<UInt32>(taken_[b].deltaFrames);
        return givenA != givenB ? givenA < givenB : a < b;
    };
    UInt16* order = takenOrder_.get();
    for (UInt32 k = 0; k < takenCount_; ++k) order[k] = static_cast<UInt16>(k);
    if (!std::is_sorted(order, order + takenCount_, before))
        std::sort(order, order + takenCount_, before);
}

// ---------------------------------------------------------------- rendering

bool AUPLUGIN::OutputWithoutEffect(AudioUnitRenderActionFlags flags, const AudioBufferList& in,
                                   AudioBufferList& out, UInt32 frames) {
    if (flags & kAudioUnitRenderAction_OutputIsSilence) {
        zero(out, frames);
        return true;
    }
    if (!Bypassed()) return false;
    // The unit has no input bus: its "input" is the output list itself,
    // which holds whatever the host left there. Bypass is silence then.
    if (&in == &out || in.mNumberBuffers == 0) {
        zero(out, frames);
        return true;
    }
    const AudioBuffer* from = audioBuffers(in);
    AudioBuffer* to = audioBuffers(out);
    for (UInt32 b = 0; b < out.mNumberBuffers; ++b) {
        const AudioBuffer& source = from[std::min(b, in.mNumberBuffers - 1)];
        if (to[b].mData && source.mData)
            std::memmove(to[b].mData, source.mData, frames * sizeof(float));
    }
    return true;
}

void AUPLUGIN::RenderSlice(AudioBufferList& list, UInt32 start, UInt32 frames) {
    float* channels[2] = {nullptr, nullptr};
    AudioBuffer* buffers = audioBuffers(list);
    for (UInt32 c = 0; c < 2; ++c)
        if (c < list.mNumberBuffers && static_cast<int>(c) < outputChannels_ && buffers[c].mData)
            channels[c] = static_cast<float*>(buffers[c].mData) + start;
    if (!channels[0]) throw OSStatus(-1);
    if (!channels[1]) channels[1] = channels[0]; // mono: both channels into one buffer
    std::fill_n(channels[0], frames, 0.0f);
    std::fill_n(channels[1], frames, 0.0f);

    // The events whose offset falls in this sub-slice, rebased to it.
    VstEvent** slots = EventSlots();
    VstInt32 count = 0;
    for (UInt32 n = 0; n < takenCount_; ++n) {
        const UInt16 k = takenOrder_[n];
        const SInt32 offset = takenOffsets_[k];
        if (offset < static_cast<SInt32>(start) || offset >= static_cast<SInt32>(start + frames))
            continue;
        taken_[k].deltaFrames = offset - static_cast<SInt32>(start);
        slots[count++] = reinterpret_cast<VstEvent*>(&taken_[k]);
    }
    events_->numEvents = count;
    if (aeffect_->dispatcher) aeffect_->dispatcher(aeffect_, effProcessEvents, 0, 0, events_, 0.0f);

    // The outputs, silent, are the effect's inputs too.
    float* inputs[2] = {channels[0], channels[1]};
    float* outputs[2] = {channels[0], channels[1]};
    effect_->processReplacing(inputs, outputs, static_cast<VstInt32>(frames));
}

OSStatus AUPLUGIN::ProcessBufferLists(AudioUnitRenderActionFlags& flags, const AudioBufferList& in,
                                      AudioBufferList& out, UInt32 frames) {
    if (OutputWithoutEffect(flags, in, out, frames)) return noErr;
    TakePendingEvents(frames);
    RenderSlice(out, 0, frames);
    takenCount_ = 0;
    return noErr;
}

OSStatus AUPLUGIN::Render(AudioUnitRenderActionFlags& flags, const AudioTimeStamp& timeStamp,
                          UInt32 frames) {
    lastTimeStamp_ = timeStamp;
    AudioBufferList& list = GetOutput(0)->GetBufferList();
    if (!HasScheduledParameters()) return ProcessBufferLists(flags, list, list, frames);

    SliceJob job{&list, !OutputWithoutEffect(flags, list, list, frames)};
    if (job.runEffect) TakePendingEvents(frames);
    const OSStatus status = ProcessForScheduledParams(&job, frames);
    takenCount_ = 0;
    // The values the events leave at the slice's end, which the unit now
    // reads back, are the effect's from here on.
    FollowScheduled(INT64_MAX);
    followedCount_ = 0;
    return status;
}

OSStatus AUPLUGIN::ProcessScheduledSlice(void* userData, UInt32 startFrame, UInt32 sliceFrames,
                                         UInt32) {
    auto* job = static_cast<SliceJob*>(userData);
    // A ramp under way is heard at its value at the sub-slice's start, as
    // the base has just set it.
    FollowScheduled(startFrame);
    if (job->runEffect && sliceFrames > 0) RenderSlice(*job->list, startFrame, sliceFrames);
    return noErr;
}

// ---------------------------------------------------------------- time

VstTimeInfo* AUPLUGIN::GetTimeInfo() {
    VstTimeInfo& t = timeInfo_;
    const AudioTimeStamp& stamp = lastTimeStamp_;
    t.samplePos = stamp.mSampleTime;
    t.sampleRate = sampleRate_;
    t.nanoSeconds = static_cast<double>(stamp.mHostTime);
    t.smpteOffset = static_cast<VstInt32>(stamp.mSMPTETime.mCounter);
    if (stamp.mSMPTETime.mType < std::size(kSmpteFrameRates))
        t.smpteFrameRate = kSmpteFrameRates[stamp.mSMPTETime.mType];
    VstInt32 flags = 0;
    if (stamp.mFlags & kAudioTimeStampHostTimeValid) flags |= kVstNanosValid;
    if (stamp.mFlags & kAudioTimeStampSMPTETimeValid) flags |= kVstSmpteValid;

    Float64 beat = 0.0;
    Float64 tempo = 120.0;
    const bool hostBeat = CallHostBeatAndTempo(&beat, &tempo) == noErr;
    if (!std::isfinite(tempo) || tempo <= 0.0) return nullptr;
    t.tempo = tempo;
    if (hostBeat) {
        flags |= kVstTempoValid | kVstPpqPosValid;
        t.ppqPos = beat;
    }

    UInt32 toNextBeat = 0;
    Float32 numerator = 0.0f;
    UInt32 denominator = 0;
    Float64 downBeat = 0.0;
    if (CallHostMusicalTimeLocation(&toNextBeat, &numerator, &denominator, &downBeat) == noErr) {
        t.samplesToNextClock = static_cast<VstInt32>(toNextBeat);
        if (std::isfinite(numerator) && numerator >= 0.0f && numerator < 1.0e6f)
            t.timeSigNumerator = static_cast<VstInt32>(numerator);
        t.timeSigDenominator = static_cast<VstInt32>(denominator);
        if (HasHostTransportState()) {
            Boolean playing = 0;
            Boolean changed = 0;
            if (CallHostTransportState(&playing, &changed) == noErr) {
                if (changed) flags |= kVstTransportChanged;
                if (playing) flags |= kVstTransportPlaying;
            }
        } else {
            // A host that gives musical time but no transport state is
            // taken to be playing while it renders.
            flags |= kVstTransportChanged | kVstTransportPlaying;
        }
        t.barStartPos = downBeat;
        flags |= kVstBarsValid | kVstTimeSigValid;
    }
    t.flags = flags;
    return &t;
}
