// A reset or a preset application cuts what sounded before it was asked for,
// never a note that starts after: the note is heard for its whole length.

#include "engine/sound_check.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <functional>
#include <vector>

namespace {

constexpr int kWindow = 256;
constexpr int kNoteWindows = 12; // the note ends well before the next slow tick
constexpr double kAudible = 0.01;
constexpr int kHeldNote = 45;
constexpr int kNewNote = 69;

void restoreOwnChunk(APlugin& p) {
    p.core.host.hostIsOwn = true; // a host that exchanges chunks
    void* data = nullptr;
    const VstInt32 size = p.getChunk(&data, false);
    const auto* bytes = static_cast<const unsigned char*>(data);
    const std::vector<unsigned char> saved(bytes, bytes + size);
    p.setChunk(const_cast<unsigned char*>(saved.data()), size, false);
}

void hostSetsStep(APlugin& p, int t, int step) {
    AEffect* e = p.getAeffect();
    e->setParameter(e, t, ParamTable::stepToValue(step, p.getSteppedRange(t)));
}

// Requests as hosts and the editor make them; the audio thread answers each
// with a reset or a preset application.
struct Request {
    const char* name;
    std::function<void(APlugin&)> make;
};

const Request kRequests[] = {
    {"a restored state chunk", restoreOwnChunk},
    {"tag 997 written by the host",
     [](APlugin& p) { p.getAeffect()->setParameter(p.getAeffect(), tag::ApplyPreset, 1.0f); }},
    {"a preset chosen by the user", [](APlugin& p) { p.requestPresetApplication(kPresetChosen); }},
    {"Play Mode set by the host", [](APlugin& p) { hostSetsStep(p, tag::PlayMode, 2); }},
    {"Unison Mode set by the host", [](APlugin& p) { hostSetsStep(p, tag::UnisonMode, 3); }},
    {"Portamento Mode set by the host",
     [](APlugin& p) { hostSetsStep(p, tag::PortamentoMode, 2); }},
    {"the editor's reset", [](APlugin& p) { p.requestReset(); }},
};

// Saw waves, an immediate attack and a short release.
void prepare(SoundCheck& s) {
    s.h.p().setParameter(tag::AmpEnvAttack, 0.0f);
    s.waves(1, 1);
}

} // namespace

TEST(NotesAfterARequest, SoundForTheirWholeLengthWhileEarlierNotesAreCut) {
    for (const Request& request : kRequests) {
        SCOPED_TRACE(request.name);
        SoundCheck s;
        prepare(s);
        s.h.send(EventBlock().noteOn(0, kHeldNote));
        s.h.alignTo(4096);
        ASSERT_GT(spectrum::rms(s.capture(kWindow)), kAudible) << "the held note sounds";

        request.make(s.h.p());
        s.h.send(EventBlock().noteOn(0, kNewNote));
        for (int w = 0; w < kNoteWindows; ++w)
            EXPECT_GT(spectrum::rms(s.capture(kWindow)), kAudible) << "window " << w;
        EXPECT_EQ(s.h.gatedVoiceWithNote(kHeldNote), -1) << "the earlier note is cut";
        EXPECT_GE(s.h.gatedVoiceWithNote(kNewNote), 0);
        EXPECT_EQ(s.h.soundingCount(), 1);
        EXPECT_FALSE(s.h.p().core.presetPending);
    }
}

TEST(NotesAfterARequest, ANoteDuringAWaveTableRebuildOutlivesThePendingPreset) {
    SoundCheck s;
    prepare(s);
    s.h.p().setSteppedValue(tag::OscWaveA, 2); // the tables are rebuilt at the next slow tick
    s.h.alignTo(4096);
    s.h.render(1);
    ASSERT_TRUE(s.h.p().tableRebuildRunning());

    restoreOwnChunk(s.h.p());
    s.h.send(EventBlock().noteOn(0, kNewNote));
    for (int guard = 0; guard < 128; ++guard) {
        s.h.render(kWindow);
        const bool busy = s.h.p().core.presetPending || s.h.p().tableRebuildRunning() ||
                          s.h.p().waves.rebuildRequested.load();
        if (!busy) break;
    }
    ASSERT_FALSE(s.h.p().tableRebuildRunning());
    EXPECT_GE(s.h.gatedVoiceWithNote(kNewNote), 0);
    EXPECT_GT(spectrum::rms(s.capture(4 * kWindow)), kAudible);
}
