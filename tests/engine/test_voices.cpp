// Voice allocation and the play modes: which voice a note gets, stealing with
// one voice kept in reserve, the mono and legato note stacks, portamento, the
// alternating per-note sources and the attack skip of the filter envelope.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

// Slow attack (about 128 ms to full level), so that voices started at
// different times have clearly different levels.
constexpr float kSlowAttack = 0.5f;

std::vector<int> gatedVoices(const PluginHarness& h) {
    std::vector<int> voices;
    for (int v = 0; v < kNumVoices; ++v)
        if (h.plugin->engine.voices[v].gate) voices.push_back(v);
    return voices;
}

// Frames until voice v stops sounding, rendering one frame at a time; -1 if
// it still sounds after `limit` frames.
int framesUntilSilent(PluginHarness& h, int v, int limit) {
    for (int n = 1; n <= limit; ++n) {
        h.render(1);
        if (!h.voice(v).sounds()) return n;
    }
    return -1;
}

} // namespace

// ------------------------------------------------------------------ poly allocation

TEST(VoiceAllocation, NotesTakeTheLowestVoiceThatIsSilent) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvRelease, 0.3f); // about 18 ms
    h.send(EventBlock().noteOn(0, 60));
    h.render(64);
    EXPECT_EQ(h.gatedVoiceWithNote(60), 0);

    h.send(EventBlock().noteOff(0, 60).noteOn(1, 62));
    h.render(64);
    EXPECT_TRUE(h.voice(0).sounds()) << "voice 0 is still in its release";
    EXPECT_EQ(h.gatedVoiceWithNote(62), 1);

    h.render(4410);
    ASSERT_FALSE(h.voice(0).sounds());
    h.send(EventBlock().noteOn(0, 64));
    h.render(16);
    EXPECT_EQ(h.gatedVoiceWithNote(64), 0);
    EXPECT_EQ(h.engine().notes.curVoice, 0);
}

TEST(VoiceAllocation, SixteenthHeldNoteSoundsAndTheQuietestVoiceFades) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvAttack, kSlowAttack);
    // Fifteen notes, one every 64 frames: the later, the quieter.
    for (int n = 0; n < 15; ++n) {
        h.send(EventBlock().noteOn(0, 60 + n));
        h.render(64);
    }
    ASSERT_EQ(h.gatedCount(), 15);
    ASSERT_EQ(h.soundingCount(), 15);

    int quietest = 0;
    for (int v = 1; v < kNumVoices; ++v)
        if (h.voice(v).sounds() && h.voice(v).ampLevel() < h.voice(quietest).ampLevel())
            quietest = v;
    ASSERT_EQ(quietest, 14) << "the newest note is still the quietest in its attack";

    h.send(EventBlock().noteOn(0, 90));
    h.render(1);
    EXPECT_EQ(h.gatedVoiceWithNote(90), 15) << "the new note takes the free voice";
    EXPECT_FALSE(h.voice(quietest).gate);
    EXPECT_TRUE(h.voice(quietest).stolen || !h.voice(quietest).sounds());

    const int frames = framesUntilSilent(h, quietest, 1616);
    EXPECT_GT(frames, 0) << "the stolen voice must fade within 100 steps of 16 frames";
    h.render(4);
    EXPECT_EQ(h.soundingCount(), 15);
    EXPECT_EQ(h.gatedCount(), 15);
    EXPECT_EQ(h.engine().render.activeVoiceCount, 15);
    EXPECT_FALSE(h.voice(quietest).stolen);
}

TEST(VoiceAllocation, AReleasedVoiceIsStolenBeforeAQuieterHeldOne) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvAttack, kSlowAttack);
    EventBlock chord;
    for (int n = 0; n < 14; ++n) chord.noteOn(0, 60 + n); // voices 0..13
    h.send(chord);
    h.render(6000); // all at full level
    ASSERT_EQ(h.gatedCount(), 14);

    // Voice 5 is let go (still loud, in its release); voice 14 starts quietly.
    h.send(EventBlock().noteOff(0, 65).noteOn(0, 74));
    h.render(64);
    ASSERT_EQ(h.soundingCount(), 15);
    ASSERT_EQ(h.gatedVoiceWithNote(74), 14);
    ASSERT_GT(h.voice(5).ampLevel(), 0.9);
    ASSERT_LT(h.voice(14).ampLevel(), 0.1);

    h.send(EventBlock().noteOn(0, 75));
    h.render(1);
    EXPECT_EQ(h.gatedVoiceWithNote(75), 15);
    EXPECT_TRUE(h.voice(5).stolen);
    EXPECT_TRUE(h.voice(14).gate) << "a held voice is not taken while a released one exists";
    EXPECT_FALSE(h.voice(14).stolen);

    // From nearly full level the stolen voice fades in at most 100 steps of
    // 16 frames; it is a fade, not a cut.
    const int frames = framesUntilSilent(h, 5, 2000);
    EXPECT_GT(frames, 1400);
    EXPECT_LE(frames, 1616);
    h.render(4);
    EXPECT_EQ(h.soundingCount(), 15);
    EXPECT_EQ(h.gatedCount(), 15);
    EXPECT_EQ(h.engine().render.activeVoiceCount, 15);
}

TEST(VoiceAllocation, WithAllSixteenSoundingTheQuietestReleasedVoiceIsTakenOver) {
    PluginHarness h;
    EventBlock chord;
    for (int n = 0; n < 15; ++n) chord.noteOn(0, 60 + n);
    h.send(chord);
    h.render(256);
    h.send(EventBlock().noteOn(0, 80)); // steals voice 0 (all equal: the first)
    h.render(16);
    ASSERT_EQ(h.soundingCount(), 16);
    ASSERT_TRUE(h.voice(0).stolen);

    h.send(EventBlock().noteOn(0, 81));
    h.render(1);
    EXPECT_EQ(h.gatedVoiceWithNote(81), 0) << "the fading voice is taken over directly";
    EXPECT_FALSE(h.voice(0).stolen);
    EXPECT_EQ(h.gatedCount(), 16);
}

TEST(VoiceAllocation, LastVoiceIsTheNewestSoundingVoice) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvRelease, 0.0f);
    h.send(EventBlock().noteOn(0, 60).noteOn(40, 62).noteOn(80, 64));
    h.render(128);
    EXPECT_EQ(h.engine().notes.lastVoice, 2);
    h.send(EventBlock().noteOff(0, 64));
    h.render(512);
    ASSERT_FALSE(h.voice(2).sounds());
    EXPECT_EQ(h.engine().notes.lastVoice, 1) << "the newest voice that still sounds";
    // Notes of one frame share their start: the voice allocated last wins.
    h.send(EventBlock().noteOn(0, 70).noteOn(0, 71).noteOn(0, 72));
    h.render(32);
    EXPECT_EQ(h.engine().notes.lastVoice, h.engine().notes.curVoice);
    EXPECT_EQ(h.voice(h.engine().notes.lastVoice).note, 72);
}

// ------------------------------------------------------------------ requests and mode changes

TEST(VoiceRequests, EditorPreviewAndResetAreCarriedOutAtTheNextSixteenFrameTick) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 64).noteOn(0, 67));
    h.render(64);
    ASSERT_EQ(h.gatedCount(), 2);

    h.p().previewNoteOn(); // the editor, on its own thread
    EXPECT_EQ(h.gatedCount(), 2) << "nothing happens outside the audio thread";
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 1);
    EXPECT_GE(h.gatedVoiceWithNote(60), 0);
    EXPECT_TRUE(h.engine().notes.previewOn);
    h.p().previewNoteReleased();
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 0);
    EXPECT_FALSE(h.engine().notes.previewOn);

    h.send(EventBlock().noteOn(0, 64));
    h.render(16);
    h.p().requestReset();
    h.render(16);
    EXPECT_EQ(h.gatedCount(), 0);
}

TEST(VoiceModes, ModeChangesTakeEffectAtTheNext128FrameTickAndSilence) {
    PluginHarness h;
    for (int t : {tag::PlayMode, tag::PortamentoMode, tag::UnisonMode}) {
        h.alignTo(128);
        h.render(1);
        h.send(EventBlock().cc(0, 123, 0).noteOn(0, 60).noteOn(0, 64));
        h.render(1);
        const int held = h.gatedCount(); // two in poly, one in mono (low priority)
        ASSERT_GT(held, 0);
        h.p().setSteppedValue(t, t == tag::PlayMode ? 4 : 2);
        h.render(126); // up to the frame before the tick
        EXPECT_EQ(h.gatedCount(), held) << t;
        h.render(1);
        EXPECT_EQ(h.gatedCount(), 0) << t;
    }
    EXPECT_EQ(h.engine().notes.playMode, 4);
    EXPECT_EQ(h.engine().notes.portMode, 2);
    EXPECT_EQ(h.engine().notes.uniModeGlobal, 2);
    h.send(EventBlock().noteOn(0, 48));
    h.render(16);
    EXPECT_EQ(h.voice(h.gatedVoiceWithNote(48)).uniVoices, 3)
        << "unison mode 2 stacks three copies";
}

// ------------------------------------------------------------------ mono and legato

TEST(VoiceMono, HighPriorityIgnoresLowerNotesAndReturnsToTheNextHeld) {
    PluginHarness h;
    h.setStep(tag::PlayMode, 3); // mono, high-note priority
    ASSERT_EQ(h.engine().notes.playMode, 3);

    h.send(EventBlock().noteOn(0, 60));
    h.render(64);
    ASSERT_EQ(gatedVoices(h).size(), 1u);
    const int first = gatedVoices(h)[0];
    EXPECT_EQ(h.voice(first).note, 60);

    h.send(EventBlock().noteOn(0, 55)); // lower: ignored
    h.render(64);
    ASSERT_EQ(gatedVoices(h), std::vector<int>{first});
    EXPECT_EQ(h.voice(first).note, 60);
    EXPECT_EQ(h.engine().notes.monoTop, 0);

    h.send(EventBlock().noteOn(0, 67)); // higher: takes over
    h.render(64);
    ASSERT_EQ(gatedVoices(h).size(), 1u);
    EXPECT_EQ(h.voice(gatedVoices(h)[0]).note, 67);

    h.send(EventBlock().noteOff(0, 67)); // back to the next held note
    h.render(64);
    ASSERT_EQ(gatedVoices(h).size(), 1u);
    EXPECT_EQ(h.voice(gatedVoices(h)[0]).note, 60);

    h.send(EventBlock().noteOff(0, 60)); // 55 was never taken: silence
    h.render(64);
    EXPECT_TRUE(gatedVoices(h).empty());
    h.send(EventBlock().noteOff(0, 55));
    h.render(64);
    EXPECT_TRUE(gatedVoices(h).empty());
}

TEST(VoiceMono, LastPriorityFollowsTheNewestNote) {
    PluginHarness h;
    h.setStep(tag::PlayMode, 2);
    h.send(EventBlock().noteOn(0, 60, 90).noteOn(10, 55, 30).noteOn(20, 64, 30));
    h.render(64);
    ASSERT_EQ(gatedVoices(h).size(), 1u);
    const int v = gatedVoices(h)[0];
    EXPECT_EQ(h.voice(v).note, 64);
    EXPECT_FLOAT_EQ(h.voice(v).velocity, 90.0f / 127.0f) << "a run keeps its first velocity";

    h.send(EventBlock().noteOff(0, 55)); // not the top: nothing audible changes
    h.render(64);
    ASSERT_EQ(gatedVoices(h), std::vector<int>{v});
    h.send(EventBlock().noteOff(0, 64));
    h.render(64);
    ASSERT_EQ(gatedVoices(h).size(), 1u);
    EXPECT_EQ(h.voice(gatedVoices(h)[0]).note, 60);
}

TEST(VoiceLegato, OverlappingNoteRepitchesTheSameVoiceWithoutRestartingEnvelopes) {
    PluginHarness h;
    h.p().setParameter(tag::AmpEnvAttack, kSlowAttack);
    h.setStep(tag::PlayMode, 5); // legato, last-note priority
    ASSERT_EQ(h.engine().notes.playMode, 5);

    h.send(EventBlock().noteOn(0, 60, 100));
    h.render(2000);
    ASSERT_EQ(gatedVoices(h).size(), 1u);
    const int v = gatedVoices(h)[0];
    const double before = h.voice(v).ampLevel();
    ASSERT_EQ(h.voice(v).env[kEnvAmp].stage, kEnvAttack);
    ASSERT_GT(before, 0.2);
    const int counter = h.engine().notes.noteCounter;

    h.send(EventBlock().noteOn(0, 64, 20));
    h.render(16);
    EXPECT_EQ(gatedVoices(h), std::vector<int>{v});
    EXPECT_EQ(h.voice(v).note, 64);
    EXPECT_FLOAT_EQ(h.voice(v).pitch, (64 - 57) / 12.0f);
    EXPECT_FLOAT_EQ(h.voice(v).velocity, 100.0f / 127.0f) << "legato keeps the first velocity";
    EXPECT_EQ(h.voice(v).env[kEnvAmp].stage, kEnvAttack);
    EXPECT_GE(h.voice(v).ampLevel(), before) << "the attack carries on";
    EXPECT_EQ(h.engine().notes.noteCounter, counter) << "no restarted note";
    EXPECT_TRUE(h.engine().notes.monoHeld);

    h.send(EventBlock().noteOff(0, 64));
    h.render(16);
    EXPECT_EQ(gatedVoices(h), std::vector<int>{v});
    EXPECT_EQ(h.voice(v).note, 60);
    EXPECT_GE(h.voice(v).ampLevel(), before);
    EXPECT_FALSE(h.voice(v).stolen);

    h.send(EventBlock().noteOff(0, 60));
    h.render(16);
    EXPECT_TRUE(gatedVoices(h).empty());
    EXPECT_EQ(h.voice(v).env[kEnvAmp].stage, kEnvRelease);
}

// ------------------------------------------------------------------ portamento

namespace {

// Frames from the second note until its voice's sounding pitch reaches its
// pitch, with the given portamento mode and an amount of 0.5.
int glideFrames(int portMode, int fromNote, int toNote, bool holdFirst = false) {
    PluginHarness h;
    h.p().setParameter(tag::PortamentoAmount, 0.5f);
    h.setStep(tag::PortamentoMode, portMode);
    EXPECT_EQ(h.engine().notes.portMode, portMode);

    if (holdFirst)
        h.send(EventBlock().noteOn(0, fromNote));
    else
        h.send(EventBlock().noteOn(0, fromNote).noteOff(64, fromNote));
    h.render(128);
    h.send(EventBlock().noteOn(0, toNote));
    h.render(1);
    const int v = h.gatedVoiceWithNote(toNote);
    if (v < 0) return -1;
    const VoiceState& voice = h.voice(v);
    const bool glides = portMode == 1 || portMode == 2 || (portMode > 2 && holdFirst);
    if (glides) {
        EXPECT_NEAR(voice.soundingPitch, (fromNote - 57) / 12.0f, 0.07f)
            << "the glide starts at the previous note";
    }
    for (int n = 1; n <= 20000; ++n) {
        if (voice.soundingPitch == voice.pitch) return n;
        h.render(1);
    }
    return -1;
}

} // namespace

TEST(VoicePortamento, ConstantRateTakesTwiceAsLongForTwiceTheInterval) {
    const int octave = glideFrames(1, 48, 60);
    const int twoOctaves = glideFrames(1, 36, 60);
    const int down = glideFrames(1, 72, 60);
    ASSERT_GT(octave, 0);
    ASSERT_GT(twoOctaves, 0);
    // Amount 0.5: 2^6 steps of 16 frames per octave.
    EXPECT_NEAR(octave, 1024, 32);
    EXPECT_NEAR(twoOctaves, 2048, 32);
    EXPECT_NEAR(static_cast<double>(twoOctaves) / octave, 2.0, 0.05);
    EXPECT_NEAR(down, octave, 16);
}

TEST(VoicePortamento, ConstantTimeTakesTheSameTimeForAnyInterval) {
    const int octave = glideFrames(2, 48, 60);
    const int twoOctaves = glideFrames(2, 36, 60);
    const int third = glideFrames(2, 56, 60);
    const int down = glideFrames(2, 84, 60);
    ASSERT_GT(octave, 0);
    EXPECT_NEAR(octave, 1024, 32);
    EXPECT_NEAR(twoOctaves, octave, 16);
    EXPECT_NEAR(third, octave, 16);
    EXPECT_NEAR(down, octave, 16);
}

TEST(VoicePortamento, FingeredModesGlideOnlyWhileAnotherNoteIsHeld) {
    // Modes 3 and 4: the constant-rate and constant-time glides, played legato only.
    EXPECT_EQ(glideFrames(3, 48, 60, false), 1);
    EXPECT_EQ(glideFrames(4, 48, 60, false), 1);
    EXPECT_NEAR(glideFrames(3, 48, 60, true), 1024, 32);
    EXPECT_NEAR(glideFrames(3, 36, 60, true), 2048, 32);
    EXPECT_NEAR(glideFrames(4, 36, 60, true), 1024, 32);
}

TEST(VoicePortamento, ModeZeroJumpsAtOnce) {
    EXPECT_EQ(glideFrames(0, 48, 60), 1);
}

// ------------------------------------------------------------------ per-note values

TEST(VoiceNotes, PitchVelocityAndVelocityGain) {
    PluginHarness h;
    h.p().setParameter(tag::VelocityToVolume, 0.5f);
    h.send(EventBlock().noteOn(0, 69, 127).noteOn(0, 45, 1));
    h.render(16);
    const VoiceState& a = h.voice(h.gatedVoiceWithNote(69));
    const VoiceState& b = h.voice(h.gatedVoiceWithNote(45));
    EXPECT_FLOAT_EQ(a.pitch, 1.0f) << "octaves above note 57";
    EXPECT_FLOAT_EQ(b.pitch, -1.0f);
    EXPECT_FLOAT_EQ(a.velocity, 1.0f);
    EXPECT_FLOAT_EQ(a.velocityGain, 1.0f);
    EXPECT_FLOAT_EQ(b.velocityGain, 0.5f / 127.0f + 0.5f);
    EXPECT_FLOAT_EQ(a.mod.src[src::Velocity], 1.0f);
    EXPECT_FLOAT_EQ(a.mod.src[src::Note], 69.0f / 127.0f);
    EXPECT_FLOAT_EQ(a.mod.src[src::CenterNote], 1.0f);
    EXPECT_FLOAT_EQ(b.mod.src[src::CenterNote], -1.0f);
}

// ------------------------------------------------------------------ per-note sources

TEST(VoiceSources, AlternatingSourcesRunThroughATwelveNoteCycle) {
    PluginHarness h;
    static constexpr float alternate4[4] = {-1.0f, 0.0f, 1.0f, 0.0f};
    for (int i = 0; i < 30; ++i) {
        h.send(EventBlock().noteOn(0, 60));
        h.render(1);
        const int v = h.gatedVoiceWithNote(60);
        ASSERT_GE(v, 0);
        const auto& src = h.voice(v).mod.src;
        const int c = i % 12;
        SCOPED_TRACE(i);
        EXPECT_EQ(src[src::Alternate2], (c % 2) * 2 - 1);
        EXPECT_EQ(src[src::UniAlternate2], c % 2);
        EXPECT_EQ(src[src::Alternate3], c % 3 - 1);
        EXPECT_EQ(src[src::UniAlternate3], (c % 3) * 0.5f);
        EXPECT_EQ(src[src::Alternate4], alternate4[c % 4]);
        EXPECT_EQ(src[src::UniAlternate4], alternate4[c % 4] * 0.5f + 0.5f);
        for (int s = src::Alternate2; s <= src::UniAlternate4; ++s)
            EXPECT_EQ(h.engine().global.src[s], src[s]);
        h.send(EventBlock().noteOff(0, 60));
        h.render(1);
    }
}

TEST(VoiceSources, PerNoteRandomValuesFollowTheSeed) {
    auto firstRandoms = [](std::uint32_t seed) {
        PluginHarness h(seed);
        h.send(EventBlock().noteOn(0, 60));
        h.render(1);
        const auto& src = h.voice(0).mod.src;
        EXPECT_GE(src[src::NoteRandom1], -1.0f);
        EXPECT_LE(src[src::NoteRandom1], 1.0f);
        EXPECT_FLOAT_EQ(src[src::UniNoteRandom1], src[src::NoteRandom1] * 0.5f + 0.5f);
        EXPECT_FLOAT_EQ(src[src::UniNoteRandom2], src[src::NoteRandom2] * 0.5f + 0.5f);
        return std::vector<float>{src[src::NoteRandom1], src[src::NoteRandom2]};
    };
    EXPECT_EQ(firstRandoms(7), firstRandoms(7));
    EXPECT_NE(firstRandoms(7), firstRandoms(8));
}

// ------------------------------------------------------------------ attack skip

namespace {

struct StartState {
    int stage;
    double level;
};

// The state of envelope `env` of the first note's voice, one frame after it starts.
StartState envelopeAtStart(int env, float attack, int slotTag = -1, int dest = 0) {
    PluginHarness h;
    h.p().setParameter(
        env == kEnvFilter ? tag::FilterEnvAttack : tag::freeEnv(0, tag::FreeEnvAttack), attack);
    if (slotTag >= 0) h.p().setSteppedValue(slotTag, dest);
    h.send(EventBlock().noteOn(0, 60));
    h.render(1);
    const EnvelopeState& e = h.voice(0).env[env];
    return {e.stage, e.level};
}

} // namespace

TEST(VoiceEnvelopeStart, FilterEnvelopeWithNoAttackStartsAtFullLevel) {
    for (float attack : {0.0f, 0.0009f}) {
        const StartState s = envelopeAtStart(kEnvFilter, attack);
        EXPECT_EQ(s.stage, kEnvDecay) << "attack " << attack;
        EXPECT_GT(s.level, 0.999) << "attack " << attack;
    }
    const StartState slow = envelopeAtStart(kEnvFilter, 0.0011f);
    EXPECT_EQ(slow.stage, kEnvAttack);
    EXPECT_LT(slow.level, 0.5);
}

TEST(VoiceEnvelopeStart, ModulatedFilterAttackIsNotSkipped) {
    // A user slot on the filter envelope's attack.
    StartState s = envelopeAtStart(kEnvFilter, 0.0f, tag::slotDest(3), dst::FilterEnvAttack);
    EXPECT_EQ(s.stage, kEnvAttack);
    EXPECT_LT(s.level, 0.5);
    // So does one of the XY pad's slots.
    s = envelopeAtStart(kEnvFilter, 0.0f, tag::XYModDestFirst + 2, dst::FilterEnvAttack);
    EXPECT_EQ(s.stage, kEnvAttack);
    // A slot on another destination changes nothing.
    s = envelopeAtStart(kEnvFilter, 0.0f, tag::slotDest(3), dst::FilterEnvDecay);
    EXPECT_EQ(s.stage, kEnvDecay);
}

TEST(VoiceEnvelopeStart, FreeEnvelopeAttackSkipFollowsItsOwnDestination) {
    // Skipped: past the attack at full level (its short decay may already
    // have reached the sustain level).
    StartState s = envelopeAtStart(kEnvFree1, 0.0f);
    EXPECT_NE(s.stage, kEnvAttack);
    EXPECT_GT(s.level, 0.99);
    s = envelopeAtStart(kEnvFree1, 0.0f, tag::slotDest(0),
                        dst::FilterEnvAttack); // another envelope's attack
    EXPECT_NE(s.stage, kEnvAttack);
    s = envelopeAtStart(kEnvFree1, 0.0f, tag::slotDest(0), dst::FreeEnv1Attack); // its own attack
    EXPECT_EQ(s.stage, kEnvAttack);
    EXPECT_LT(s.level, 0.5);
}

// ------------------------------------------------------------------ indices

TEST(VoiceIndices, OutOfRangeVoiceSourceAndEnvelopeIndicesAreIgnored) {
    PluginHarness h;
    h.send(EventBlock().noteOn(0, 60).noteOn(0, 64));
    h.render(64);
    APlugin& p = h.p();
    const auto before = h.engine().voices;
    const ModRow globalBefore = h.engine().global;

    for (int v : {-1, -99, 16, 1000}) {
        p.setVoiceOn(v);
        p.setVoiceOff(v);
        p.setHold(v);
        EXPECT_FALSE(p.getIsVoicePlaying(v));
        p.setNotePressed(v, 60, 100, 0.0f, true, false, true);
        p.setModSrcAmt(v, src::ModWheel, 1.0f);
        p.setVolEnv(v, kEnvAmp, false);
        p.setEnv(v, kEnvFilter, false);
        p.initEnv(3, v);
    }
    for (int s : {-1, 0, 75, 500}) {
        p.setModSrcAmt(s, 1.0f);
        p.setModSrcAmt(0, s, 1.0f);
        p.setModSrcAmt(s, 1.0f, 0);
    }
    p.setEnv(0, kEnvAmp, false); // the amplitude envelope has its own step
    p.setEnv(0, 4, false);
    p.setEnv(0, -1, false);
    p.setVolEnv(0, kEnvFilter, false);
    p.setEnvGlobal(-1, false);
    p.setEnvGlobal(4, false);
    EXPECT_EQ(p.getModDest(-1), 0);
    EXPECT_EQ(p.getModDest(16), 0);
    EXPECT_EQ(APlugin::limitVoice(-5), 0);
    EXPECT_EQ(APlugin::limitVoice(99), 15);

    for (int v = 0; v < kNumVoices; ++v) {
        const VoiceState& a = before[v];
        const VoiceState& b = h.voice(v);
        EXPECT_EQ(a.gate, b.gate) << v;
        EXPECT_EQ(a.note, b.note) << v;
        EXPECT_EQ(a.sustainHeld, b.sustainHeld) << v;
        EXPECT_EQ(a.mod.src, b.mod.src) << v;
        for (int e = 0; e < kNumEnvelopes; ++e) {
            EXPECT_EQ(a.env[e].stage, b.env[e].stage);
            EXPECT_EQ(a.env[e].level, b.env[e].level);
        }
    }
    EXPECT_EQ(globalBefore.src, h.engine().global.src);
}
