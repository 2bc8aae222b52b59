// The arpeggiator and step sequencer, driven the way a host drives it: notes
// through processEvents, audio pulled in 16-frame blocks with the host's
// time information following the rendered frames. Every note start the
// arpeggiator makes is recorded (frame, sounding note, grid step), and the
// tables compare those records with what a musician expects to hear.

#include "support/plugin_harness.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr double kRate = 48000.0;
constexpr int kSixteenth = 6000; // frames of a sixteenth at 120 BPM and 48 kHz
constexpr double kQuartersPerFrame = 1.0 / 24000.0;
constexpr int kTick = 16;

struct Hit {
    std::uint64_t frame;
    int note; // the sounding pitch as a MIDI note (key, octave and step tune)
    int step;
    std::string tuneText; // the step's tune as the host shows it at the hit
};

class ArpRig {
public:
    explicit ArpRig(bool transportPlaying = false) {
        h.p().setSampleRate(static_cast<float>(kRate));
        setTransport(transportPlaying, 0.0);
        h.p().setOn(tag::ArpOn);
        h.settle_();
        setTransport(transportPlaying, 0.0); // the host's grid starts here
        for (int v = 0; v < kNumVoices; ++v) stamps[v] = h.voice(v).noteOnStamp;
    }

    APlugin& p() { return h.p(); }
    ArpState& arp() { return h.engine().arp; }

    // Parameters that the engine caches are picked up at its 128-frame tick.
    void step(int t, int s) { p().setSteppedValue(t, s); }
    void value(int t, float v) { p().setParameter(t, v); }
    void settle() { h.settle_(); }

    void setTransport(bool playing, double ppq) {
        VstTimeInfo& info = h.host.timeInfo;
        info.flags = kVstTempoValid | kVstTimeSigValid | (playing ? kVstTransportPlaying : 0);
        info.tempo = 120.0;
        info.ppqPos = ppq;
        playing_ = playing;
        origin = h.counter();
        originPpq = ppq;
    }

    void keys(std::initializer_list<int> notes, bool down = true) {
        EventBlock block;
        for (int n : notes) down ? block.noteOn(0, n, 100) : block.noteOff(0, n);
        h.send(block);
    }

    // Renders in 16-frame blocks, the host's position moving with the
    // frames while its transport plays, and records every note start.
    void play(int frames) {
        for (int done = 0; done < frames; done += kTick) {
            if (playing_)
                h.host.timeInfo.ppqPos =
                    originPpq + static_cast<double>(h.counter() - origin) * kQuartersPerFrame;
            h.render(kTick);
            for (int v = 0; v < kNumVoices; ++v) {
                const VoiceState& voice = h.voice(v);
                if (voice.noteOnStamp == stamps[v] || !voice.gate) continue;
                stamps[v] = voice.noteOnStamp;
                const int step = arp().clock.step;
                hits.push_back({static_cast<std::uint64_t>(voice.noteOnStamp),
                                static_cast<int>(std::lround(voice.pitch * 12.0f + 57.0f)), step,
                                p().getParameterDisplayStr(tag::arpStep(tag::RowTune, step))});
            }
        }
    }

    std::vector<int> notes(std::size_t n) const {
        std::vector<int> out;
        for (std::size_t i = 0; i < hits.size() && i < n; ++i) out.push_back(hits[i].note);
        return out;
    }
    std::vector<int> steps(std::size_t n) const {
        std::vector<int> out;
        for (std::size_t i = 0; i < hits.size() && i < n; ++i) out.push_back(hits[i].step);
        return out;
    }
    // The sounding pitch of the newest voice.
    int soundingNote() {
        const VoiceState& voice = h.voice(h.engine().notes.curVoice);
        return static_cast<int>(std::lround(voice.pitch * 12.0f + 57.0f));
    }

    PluginHarness h;
    std::vector<Hit> hits;
    std::array<std::int64_t, kNumVoices> stamps{};
    bool playing_ = false;
    std::uint64_t origin = 0;
    double originPpq = 0.0;
};

// A grid value that reads as `semitones` of step tune.
float tuneValue(int semitones) {
    return (semitones + 36.5f) / 72.0f;
}

} // namespace

// ------------------------------------------------------------------ plain units

TEST(ArpStepClock, PingPongTurnsAtBothEndsEvenWhenTheLoopShrinks) {
    struct Case {
        const char* name;
        int numSteps, loopStart;
        int shrinkAfter, shrinkTo; // after that many steps the step count drops
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"four steps", 4, 0, -1, 0, {0, 1, 2, 3, 3, 2, 1, 0, 1, 2, 3, 3}},
        {"shrinks mid-descent",
         8,
         0,
         10,
         4,
         {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 3, 2, 1, 0, 1, 2, 3, 3, 2}},
        // The loop start lies above the new last step: the pass turns there.
        {"shrinks below the loop start", 8, 6, 10, 4, {0, 1, 2, 3, 4, 5, 6, 7, 7, 6, 3, 3, 3, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArpStepClock clock;
        ArpLoopBounds loop{c.numSteps, c.loopStart};
        ArpLoopBounds fresh = loop;
        std::vector<int> walked;
        for (std::size_t i = 0; i < c.expected.size(); ++i) {
            if (static_cast<int>(i) == c.shrinkAfter) {
                loop.numSteps = c.shrinkTo; // the cached count follows the parameter
                fresh = {c.shrinkTo, std::min(c.loopStart, c.shrinkTo - 1)};
            }
            clock.advance(arploop::PingPong, loop, fresh, true);
            ASSERT_GE(clock.step, 0);
            ASSERT_LT(clock.step, loop.numSteps);
            walked.push_back(clock.step);
        }
        EXPECT_EQ(walked, c.expected);
    }
}

// ------------------------------------------------------------------ patterns and the grid

TEST(Arpeggiator, HeldKeysPlayTheModesPattern) {
    struct Case {
        const char* name;
        int mode, octaveStep;
        std::vector<int> keys; // in order of presses
        std::vector<int> expected;
    };
    const Case cases[] = {
        {"Up/Down", arpmode::UpDown, 0, {60, 64, 67}, {60, 64, 67, 64, 60, 64, 67}},
        {"Ordered Up/Down", arpmode::OrderedUpDown, 0, {67, 60, 64}, {60, 64, 67, 64, 60, 64, 67}},
        {"Up/Down by presses", arpmode::UpDown, 0, {67, 60, 64}, {67, 60, 64, 60, 67}},
        {"Down", arpmode::Down, 0, {60, 64, 67}, {67, 64, 60, 67}},
        {"one key over two octaves", arpmode::UpDown, 1, {60}, {60, 72, 60, 72}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArpRig r;
        r.step(tag::ArpMode, c.mode);
        r.step(tag::ArpOctave, c.octaveStep);
        r.settle();
        EventBlock block;
        for (int k : c.keys) block.noteOn(0, k, 100);
        r.h.send(block);
        r.play(kSixteenth * static_cast<int>(c.expected.size()) + 100);
        EXPECT_EQ(r.notes(c.expected.size()), c.expected);
    }
}

TEST(Arpeggiator, LoopModesAndCatchUpWalkTheGrid) {
    struct Case {
        const char* name;
        int loopMode, stepsStep, catchup;
        int sixteenths;
        std::vector<int> expected; // every step that sounds in that time
    };
    const Case cases[] = {
        {"PingPong, 4 steps", arploop::PingPong, 3, 0, 12, {0, 1, 2, 3, 3, 2, 1, 0, 1, 2, 3, 3}},
        {"Even makes 7 steps 8", arploop::On, 6, 1, 9, {0, 1, 2, 3, 4, 5, 6, 7, 0}},
        {"Odd makes 8 steps 7", arploop::On, 7, 2, 8, {0, 1, 2, 3, 4, 5, 6, 0}},
        {"loop Off stops after the last step", arploop::Off, 3, 0, 10, {0, 1, 2, 3}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ArpRig r;
        r.step(tag::ArpLoopMode, c.loopMode);
        r.step(tag::ArpNumSteps, c.stepsStep);
        r.step(tag::ArpStepsCatchup, c.catchup);
        r.settle();
        r.keys({60});
        r.play(kSixteenth * c.sixteenths - kSixteenth / 2);
        EXPECT_EQ(r.steps(100), c.expected);
    }
}

TEST(Arpeggiator, SwingRatchetsAndTiesShapeTheSteps) {
    // Swing 1.0 at "1x": the first step of a pair is 4/3 of a sixteenth long.
    {
        ArpRig r;
        r.value(tag::ArpSwing, 1.0f);
        r.settle();
        r.keys({60});
        r.play(kSixteenth * 5);
        ASSERT_GE(r.hits.size(), 4u);
        for (std::size_t i = 1; i < 4; ++i)
            EXPECT_NEAR(double(r.hits[i].frame - r.hits[i - 1].frame), i % 2 ? 8000.0 : 4000.0,
                        kTick);
    }
    // Ratchet "3" on a one-step loop: three evenly spaced hits per step, in
    // mode "On" on every pass, in "Off/On Cycle" on odd passes only.
    struct Ratchet {
        int mode;
        std::vector<int> hitsPerStep;
    };
    for (const Ratchet& c : {Ratchet{1, {3, 3, 3, 3}}, Ratchet{2, {1, 3, 1, 3}}}) {
        SCOPED_TRACE(c.mode);
        ArpRig r;
        r.step(tag::ArpNumSteps, 0);
        r.step(tag::ArpStepsCatchup, 0);
        r.step(tag::ArpRatchetMode, c.mode);
        r.step(tag::arpStep(tag::RowRatchet, 0), 2);
        r.settle();
        r.keys({60});
        r.play(kSixteenth * 4 - 1000);
        std::vector<int> perStep(4, 0);
        const std::uint64_t start = r.hits.at(0).frame;
        for (const Hit& hit : r.hits) {
            const auto offset = hit.frame - start;
            ++perStep[offset / kSixteenth];
            const double inStep = double(offset % kSixteenth);
            const double third = std::round(inStep / 2000.0) * 2000.0;
            EXPECT_NEAR(inStep, third, kTick) << "hit at " << offset;
        }
        EXPECT_EQ(perStep, c.hitsPerStep);
    }
    // A tied step: "Normal" keeps the note as it is, "Special" moves it to
    // the tied step's tune without a new attack.
    for (const auto& [tieMode, expectedNote] : {std::pair{0, 60}, std::pair{1, 65}}) {
        SCOPED_TRACE(tieMode);
        ArpRig r;
        r.step(tag::ArpNumSteps, 1);
        r.step(tag::ArpStepsCatchup, 0);
        r.step(tag::ArpTiedMode, tieMode);
        r.value(tag::arpStep(tag::RowTied, 1), 1.0f);
        r.value(tag::arpStep(tag::RowTune, 1), tuneValue(5));
        r.settle();
        r.keys({60});
        r.play(kSixteenth + kSixteenth / 2);
        EXPECT_EQ(r.hits.size(), 1u); // no new attack on the tie
        EXPECT_EQ(r.soundingNote(), expectedNote);
    }
}

TEST(Arpeggiator, SequencerResetAndChordsOfManyKeys) {
    {
        ArpRig r;
        r.step(tag::ArpMode, arpmode::SequencerReset);
        r.settle();
        r.keys({60});
        r.play(kSixteenth * 3 - kSixteenth / 2); // steps 0, 1, 2 of key 60
        r.keys({64});                            // a second key restarts with it
        r.play(kSixteenth * 2);
        r.keys({64}, false); // back to the first key, from the start again
        r.play(kSixteenth);
        std::vector<std::pair<int, int>> played;
        for (const Hit& hit : r.hits) played.push_back({hit.step, hit.note});
        const std::vector<std::pair<int, int>> expected = {{0, 60}, {1, 60}, {2, 60},
                                                           {0, 64}, {1, 64}, {0, 60}};
        EXPECT_EQ(played, expected);
    }
    {
        // Twenty keys in chord mode: the first sixteen pressed sound, the
        // rest are held in the list but never played.
        ArpRig r;
        r.step(tag::ArpMode, arpmode::Chord);
        r.settle();
        EventBlock block;
        for (int k = 0; k < 20; ++k) block.noteOn(0, 40 + k, 100);
        r.h.send(block);
        r.play(kSixteenth * 2);
        EXPECT_EQ(r.arp().heldCount, 20);
        std::set<int> sounding;
        for (int v = 0; v < kNumVoices; ++v)
            if (r.h.voice(v).gate) sounding.insert(r.h.voice(v).note);
        EXPECT_GE(sounding.size(), 15u); // one voice is kept in reserve
        for (int note : sounding) EXPECT_LT(note, 56);
        EXPECT_TRUE(r.h.allFinite);
    }
}

// ------------------------------------------------------------------ host time

TEST(Arpeggiator, StepsFollowTheHostsSixteenthGridAndTransport) {
    ArpRig r(true);
    r.play(1808); // about a third into the first sixteenth
    r.keys({60, 64});
    r.play(kSixteenth * 5);
    ASSERT_GE(r.hits.size(), 4u);
    for (std::size_t i = 0; i < r.hits.size(); ++i) {
        const auto offset = static_cast<long>(r.hits[i].frame - r.origin);
        const long fromGrid = offset % kSixteenth;
        EXPECT_TRUE(fromGrid <= kTick || fromGrid >= kSixteenth - kTick) << "hit at " << offset;
        if (i > 0) {
            EXPECT_NEAR(double(r.hits[i].frame - r.hits[i - 1].frame), kSixteenth, kTick);
        }
    }
    EXPECT_NEAR(double(r.hits[0].frame - r.origin), kSixteenth, kTick); // waits for the grid

    // Stop: the voices go quiet. Start from bar 1 again: the pattern starts
    // over with its first step and first note, on the spot.
    r.setTransport(false, r.h.host.timeInfo.ppqPos);
    r.play(kTick * 2);
    EXPECT_EQ(r.h.gatedCount(), 0);
    r.play(kSixteenth * 2 + 200);
    r.setTransport(true, 0.0);
    const std::size_t before = r.hits.size();
    r.play(kSixteenth * 2);
    ASSERT_GE(r.hits.size(), before + 2);
    EXPECT_LE(r.hits[before].frame - r.origin, std::uint64_t{kTick});
    EXPECT_EQ(r.hits[before].step, 0);
    EXPECT_EQ(r.hits[before].note, 60);
    EXPECT_EQ(r.hits[before + 1].note, 64);
}

TEST(Arpeggiator, AHostWithoutTimeInformationNeverStartsIt) {
    ArpRig r;
    r.h.host.answers[audioMasterGetTime] = 0;
    r.keys({60});
    r.play(kSixteenth * 4);
    EXPECT_TRUE(r.hits.empty());
    EXPECT_EQ(r.h.gatedCount(), 0);
}

// ------------------------------------------------------------------ magic steps

namespace {

// The steps (and their pitch offsets from key 60) of each pass through the loop.
std::vector<std::vector<std::pair<int, int>>> passes(const std::vector<Hit>& hits) {
    std::vector<std::vector<std::pair<int, int>>> out;
    for (const Hit& hit : hits) {
        if (hit.step == 0) out.emplace_back();
        if (!out.empty()) out.back().push_back({hit.step, hit.note - 60});
    }
    return out;
}

constexpr int kEightSteps = 7;
constexpr int kTwoStepsSetRandom = 3;
constexpr int kTwoStepsRandom = 4;

} // namespace

TEST(ArpMagicSteps, EverySecondPassVariesTwoStepsButNeverTheFirst) {
    struct Case {
        const char* name;
        int magicMode;
        int muted, transposed; // per varied pass
    };
    for (const Case& c : {Case{"Step", 0, 2, 0}, Case{"+/-12 sm", 6, 0, 2}}) {
        SCOPED_TRACE(c.name);
        ArpRig r;
        r.step(tag::ArpNumSteps, kEightSteps);
        r.step(tag::ArpMagicSteps, kTwoStepsRandom);
        r.step(tag::ArpMagicMode, c.magicMode);
        r.settle();
        r.keys({60});
        r.play(kSixteenth * 8 * 6 - kSixteenth / 2);
        const auto played = passes(r.hits);
        ASSERT_EQ(played.size(), 6u);
        std::set<std::set<int>> varied;
        for (std::size_t pass = 0; pass < played.size(); ++pass) {
            SCOPED_TRACE(pass + 1);
            std::set<int> heard, moved;
            for (const auto& [step, offset] : played[pass]) {
                heard.insert(step);
                if (offset != 0) {
                    EXPECT_EQ(std::abs(offset), 12);
                    moved.insert(step);
                }
            }
            const bool plain = pass % 2 == 0;
            EXPECT_EQ(heard.size(), plain ? 8u : 8u - c.muted);
            EXPECT_EQ(moved.size(), plain ? 0u : std::size_t(c.transposed));
            EXPECT_TRUE(heard.count(0));
            EXPECT_FALSE(moved.count(0));
            if (!plain) varied.insert(c.muted ? heard : moved);
        }
        EXPECT_GE(varied.size(), 2u); // drawn anew on every varied pass
        // The host sees a moved step's tune with the move.
        for (const Hit& hit : r.hits) {
            if (hit.note == 60) continue;
            EXPECT_EQ(hit.tuneText, std::to_string(hit.note - 60) + " Semi");
        }
    }
}

TEST(ArpMagicSteps, SetRandomRepeatsItsVariationAndSurvivesAReload) {
    std::vector<float> saved(tag::Count);
    std::set<int> heardFirst;
    {
        ArpRig r;
        r.step(tag::ArpNumSteps, kEightSteps);
        r.step(tag::ArpMagicSteps, kTwoStepsSetRandom);
        r.settle();
        r.keys({60});
        r.play(kSixteenth * 8 * 6 - kSixteenth / 2);
        const auto played = passes(r.hits);
        ASSERT_EQ(played.size(), 6u);
        for (std::size_t pass = 1; pass < played.size(); pass += 2) {
            std::set<int> heard;
            for (const auto& [step, offset] : played[pass]) heard.insert(step);
            EXPECT_EQ(heard.size(), 6u);
            if (pass == 1) heardFirst = heard;
            EXPECT_EQ(heard, heardFirst);
        }
        EXPECT_TRUE(r.p().getOnOff(tag::SetArpRandom));
        for (int t = 0; t < tag::Count; ++t) saved[t] = r.p().getParameter(t);
    }
    // A host that stores the parameter values gives them back to a new
    // instance, which draws nothing new.
    ArpRig r;
    for (int t = 0; t < tag::Count; ++t) r.value(t, saved[t]);
    r.play(4096); // the restored state is applied, the wave tables rebuilt
    r.settle();
    r.keys({60});
    r.play(kSixteenth * 8 * 2 - kSixteenth / 2);
    const auto played = passes(r.hits);
    ASSERT_EQ(played.size(), 2u);
    std::set<int> heard;
    for (const auto& [step, offset] : played[1]) heard.insert(step);
    EXPECT_EQ(heard, heardFirst);
}

TEST(ArpMagicSteps, TiedStepsAreNeverChosen) {
    ArpRig r;
    r.step(tag::ArpNumSteps, kEightSteps);
    r.step(tag::ArpMagicSteps, kTwoStepsRandom);
    for (int s = 1; s <= 6; ++s) r.value(tag::arpStep(tag::RowTied, s), 1.0f);
    r.settle();
    r.keys({60});
    r.play(kSixteenth * 8 + kSixteenth / 2); // into the second, varied pass
    for (int s = 0; s < 7; ++s) EXPECT_TRUE(r.p().getArpStepOn(s)) << s;
    EXPECT_FALSE(r.p().getArpStepOn(7)); // the one untied step besides the first
}

// ------------------------------------------------------------------ held releases

// A player holds C, puts the pedal down (or the latch on), taps E many times,
// lets C go and lifts the pedal (or the latch): every key is up, so the
// arpeggio stops, however many releases the hold kept back. Mono and poly
// play must stop the same way.
TEST(Arpeggiator, LiftingThePedalOrLatchReleasesEveryKeyThatIsUp) {
    struct Case {
        const char* name;
        int playMode;
        int arpMode;
        bool latch; // else the sustain pedal
    };
    const Case cases[] = {
        {"Arp Up, pedal", playmode::Arp, arpmode::Up, false},
        {"Arp Up, latch", playmode::Arp, arpmode::Up, true},
        {"Arp Sequencer, pedal", playmode::Arp, arpmode::Sequencer, false},
        {"Arp Chord, latch", playmode::Arp, arpmode::Chord, true},
        {"Poly, pedal", playmode::Poly, arpmode::Up, false},
        {"Mono, pedal", playmode::Mono, arpmode::Up, false},
    };
    for (const Case& c : cases) {
        for (const int taps : {20, 70, 300}) {
            SCOPED_TRACE(testing::Message() << c.name << ", " << taps << " taps");
            ArpRig r;
            r.step(tag::ArpMode, c.arpMode);
            if (c.playMode != playmode::Arp) {
                r.p().setOff(tag::ArpOn);
                r.step(tag::PlayMode, c.playMode);
            }
            r.settle();
            auto hold = [&](bool on) {
                if (c.latch) {
                    on ? r.p().setOn(tag::ArpLatchOn) : r.p().setOff(tag::ArpLatchOn);
                    r.play(256); // the latch is read at the 128-frame tick
                } else {
                    EventBlock pedal;
                    r.h.send(pedal.cc(0, 64, on ? 127 : 0));
                }
            };
            r.keys({60});
            r.play(kTick);
            hold(true);
            for (int k = 0; k < taps; ++k) {
                r.keys({64});
                r.play(kTick);
                r.keys({64}, false);
                r.play(kTick);
            }
            r.keys({60}, false);
            r.play(kSixteenth);
            hold(false);
            r.play(kSixteenth * 2); // the releases fade
            EXPECT_EQ(r.arp().heldCount, 0);
            const std::size_t played = r.hits.size();
            r.play(kSixteenth * 8);
            EXPECT_EQ(r.hits.size(), played) << "no step after every key is up";
            EXPECT_EQ(r.h.soundingCount(), 0);
        }
    }
}
