// The oscillator stage, listened to: pitch at every host rate, the saw's
// harmonics and what aliases, morph frames and morph wrap, symmetry, unison
// detune, the sub-oscillator, the octave switch and the noise waves. Every
// case renders a note through processReplacing and measures the output's
// spectrum; the filter is set to "Off" so that it passes the sound.

#include "engine/sound_check.h"
#include "support/spectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iomanip>
#include <iostream>
#include <limits>
#include <sstream>
#include <string>
#include <vector>

using spectrum::dB;
using spectrum::peakFrequency;
using spectrum::Spectrum;
using spectrum::toneAmplitude;

namespace {

constexpr int kSine = 0;
constexpr int kSaw = 1;
constexpr int kWhiteNoise = 14;
constexpr int kPinkNoise = 15;

constexpr int kSkip = 2048;    // past the attack (zero by default) and any start-up
constexpr int kWindow = 32768; // 0.74 s at 44.1 kHz: 1.35 Hz per bin

double noteHz(int note) {
    return 220.0 * std::pow(2.0, (note - 69) / 12.0);
}

// Level of harmonic k relative to the fundamental f0, in dB.
double harmonicDb(const std::vector<float>& x, double rate, double f0, int k) {
    return dB(toneAmplitude(x, rate, k * f0) / toneAmplitude(x, rate, f0));
}

// The copy-0 lane of the voice playing `note`.
const LaneState& laneOf(SoundCheck& s, int note) {
    const int v = s.h.gatedVoiceWithNote(note);
    EXPECT_GE(v, 0);
    return s.h.voice(v < 0 ? 0 : v).dsp.lanes[0];
}

// Frame pair and weight that copy 0 reads for morph tag `morph` plus
// `extra` added to the voice's morph sum (as a modulation slot would).
struct MorphRead {
    int lo = -1, hi = -1;
    float weight = -1.0f;
};
MorphRead readMorph(SoundCheck& s, float morph, float extra, bool wrap) {
    s.h.p().setParameter(tag::OscMorph, morph);
    s.h.p().setOnOff(tag::MorphWrapOn, wrap);
    s.h.send(EventBlock().noteOn(0, 69, 127));
    s.h.render(1);
    const int v = s.h.gatedVoiceWithNote(69);
    EXPECT_GE(v, 0);
    if (v < 0) return {};
    s.h.voice(v).mod.dst[dst::OscMorph] = extra;
    s.h.render(64);
    const LaneState& lane = s.h.voice(v).dsp.lanes[0];
    const MorphRead r{lane.morphLo, lane.morphHi, lane.morphWeight};
    s.release();
    return r;
}

// Distinct spectral peaks between two frequencies: local maxima of the
// Blackman-Harris spectrum within `floorDb` of the strongest one there.
std::vector<double> peaksBetween(const Spectrum& s, double loHz, double hiHz, double floorDb) {
    const std::size_t lo = s.bin(loHz), hi = s.bin(hiHz);
    double strongest = 0.0;
    for (std::size_t k = lo; k <= hi; ++k) strongest = std::max(strongest, s.amp[k]);
    std::vector<double> peaks;
    for (std::size_t k = lo + 1; k < hi; ++k)
        if (s.amp[k] > s.amp[k - 1] && s.amp[k] >= s.amp[k + 1] &&
            dB(s.amp[k] / strongest) > floorDb)
            peaks.push_back(s.frequency(k));
    return peaks;
}

// Noise power density per octave band from `firstHz` up, in dB.
std::vector<double> octaveDensities(const Spectrum& s, double firstHz, int octaves) {
    std::vector<double> d;
    for (int o = 0; o < octaves; ++o) {
        const double lo = firstHz * std::pow(2.0, o), hi = 2.0 * lo;
        d.push_back(10.0 * std::log10(s.bandPower(lo, hi) / (hi - lo)));
    }
    return d;
}

// Least-squares slope of values over their index (dB per octave here).
double slope(const std::vector<double>& y) {
    const double n = static_cast<double>(y.size());
    double sx = 0, sy = 0, sxx = 0, sxy = 0;
    for (std::size_t i = 0; i < y.size(); ++i) {
        const double x = static_cast<double>(i);
        sx += x;
        sy += y[i];
        sxx += x * x;
        sxy += x * y[i];
    }
    return (n * sxy - sx * sy) / (n * sxx - sx * sx);
}

} // namespace

// ------------------------------------------------------------------ pitch

TEST(OscillatorPitch, SawOnNote69PlaysA220HzFundamentalAtEveryHostRate) {
    SoundCheck s;
    s.waves(kSaw, kSaw);
    for (const float rate : {44100.0f, 48000.0f, 96000.0f}) {
        SCOPED_TRACE(rate);
        s.rate(rate);
        const std::vector<float> x = s.play(69, kSkip, kWindow);
        const double f0 = peakFrequency(x, rate, 150.0, 300.0);
        EXPECT_NEAR(f0, 220.0, 0.5);
        // A saw's harmonic k has 1/k of the fundamental's amplitude.
        EXPECT_NEAR(harmonicDb(x, rate, f0, 2), -6.02, 0.5);
        EXPECT_NEAR(harmonicDb(x, rate, f0, 3), -9.54, 0.5);
        EXPECT_NEAR(harmonicDb(x, rate, f0, 5), -13.98, 0.5);
        EXPECT_TRUE(s.h.allFinite);
    }
}

TEST(OscillatorPitch, SawAliasingStaysWellBelowTheFundamental) {
    SoundCheck s;
    s.waves(kSaw, kSaw);
    const double rate = s.rate();
    std::ostringstream report;
    report << std::fixed << std::setprecision(1);
    for (const int note : {36, 60, 84, 108}) {
        SCOPED_TRACE(note);
        const std::vector<float> x = s.play(note, kSkip, kWindow);
        const double expected = noteHz(note);
        const double f0 = peakFrequency(x, rate, expected * 0.97, expected * 1.03);
        ASSERT_NEAR(f0 / expected, 1.0, 0.001);
        const Spectrum sp = Spectrum::of(x, rate);
        const double fundamental = toneAmplitude(x, rate, f0);
        const auto alias = spectrum::strongestNonHarmonic(sp, f0, 20.0, 0.5 * rate - 50.0);
        const double level = dB(alias.amplitude / fundamental);
        report << "note " << note << " (" << f0 << " Hz): strongest non-harmonic " << level
               << " dB at " << alias.hz << " Hz\n";
        RecordProperty("alias_note" + std::to_string(note) + "_dB", std::to_string(level));
        RecordProperty("alias_note" + std::to_string(note) + "_Hz", std::to_string(alias.hz));
        EXPECT_LT(level, -20.0) << "at " << alias.hz << " Hz";
    }
    std::cout << "[ aliasing ] saw at 44.1 kHz, relative to the fundamental:\n" << report.str();
}

// ------------------------------------------------------------------ morph

TEST(OscillatorMorph, MorphZeroReadsFrameZeroAndMorphOneFrameThirtyOne) {
    SoundCheck s;
    s.waves(kSine, kSaw);
    const double rate = s.rate();

    s.h.p().setParameter(tag::OscMorph, 0.0f);
    std::vector<float> x = s.hold(69, kSkip, kWindow);
    {
        const LaneState& lane = laneOf(s, 69);
        EXPECT_EQ(lane.morphLo, 0);
        EXPECT_EQ(lane.morphWeight, 0.0f) << "frame 0 only";
    }
    s.release();
    double f0 = peakFrequency(x, rate, 150.0, 300.0);
    EXPECT_NEAR(f0, 220.0, 0.5);
    for (int k = 2; k <= 8; ++k) EXPECT_LT(harmonicDb(x, rate, f0, k), -60.0) << "harmonic " << k;

    s.h.p().setParameter(tag::OscMorph, 1.0f);
    x = s.hold(69, kSkip, kWindow);
    {
        const LaneState& lane = laneOf(s, 69);
        EXPECT_EQ(lane.morphLo, 31);
        EXPECT_EQ(lane.morphHi, 31);
    }
    s.release();
    f0 = peakFrequency(x, rate, 150.0, 300.0);
    for (int k = 2; k <= 6; ++k)
        EXPECT_NEAR(harmonicDb(x, rate, f0, k), dB(1.0 / k), 0.5) << "harmonic " << k;
}

// The fold is a triangle over the position index: its period is 131070
// steps and the offset that keeps it positive (1310720) is ten periods plus
// 20 steps, so a folded position lands within some 40 index steps (0.0006 of
// the morph range, 0.02 of a frame's weight) of its twin.
constexpr float kFoldWeightTolerance = 0.03f;

TEST(OscillatorMorph, WrapFoldsPositionsBeyondOneBackIntoTheTable) {
    SoundCheck s;
    s.waves(kSine, kSaw);

    const MorphRead at08 = readMorph(s, 0.8f, 0.0f, true);
    const MorphRead at12 = readMorph(s, 1.0f, 0.2f, true);
    EXPECT_EQ(at12.lo, at08.lo) << "1.2 reads like 0.8";
    EXPECT_EQ(at12.hi, at08.hi);
    EXPECT_NEAR(at12.weight, at08.weight, kFoldWeightTolerance);

    const MorphRead at25 = readMorph(s, 1.0f, 1.5f, true);
    const MorphRead at05 = readMorph(s, 0.5f, 0.0f, true);
    EXPECT_EQ(at25.lo, at05.lo) << "2.5 reads like 0.5";
    EXPECT_NEAR(at25.weight, at05.weight, kFoldWeightTolerance);

    const MorphRead clamped = readMorph(s, 1.0f, 0.2f, false);
    EXPECT_EQ(clamped.lo, 31) << "without wrap 1.2 stays at frame 31";
    EXPECT_EQ(clamped.hi, 31);
}

TEST(OscillatorMorph, WrapFoldsNegativePositionsWithoutReadingBeforeTheTable) {
    SoundCheck s;
    s.waves(kSine, kSaw);

    const MorphRead at02 = readMorph(s, 0.2f, 0.0f, true);
    const MorphRead below = readMorph(s, 0.0f, -0.2f, true);
    EXPECT_EQ(below.lo, at02.lo) << "-0.2 reads like 0.2";
    EXPECT_EQ(below.hi, at02.hi);
    EXPECT_NEAR(below.weight, at02.weight, kFoldWeightTolerance);

    const MorphRead at08 = readMorph(s, 0.8f, 0.0f, true);
    const MorphRead farBelow = readMorph(s, 0.0f, -1.2f, true);
    EXPECT_EQ(farBelow.lo, at08.lo) << "-1.2 reads like 0.8";
    EXPECT_NEAR(farBelow.weight, at08.weight, kFoldWeightTolerance);

    const MorphRead clamped = readMorph(s, 0.0f, -0.2f, false);
    EXPECT_EQ(clamped.lo, 0) << "without wrap -0.2 stays at frame 0";
    EXPECT_EQ(clamped.weight, 0.0f);
}

TEST(OscillatorMorph, WrapKeepsFoldingFarFromTheTable) {
    SoundCheck s;
    s.waves(kSine, kSaw);
    // Every position inside the modulation range folds like its twin in 0..1
    // (the triangle has a period of 2).
    const MorphRead at07 = readMorph(s, 0.7f, 0.0f, true);
    const MorphRead above = readMorph(s, 0.0f, 20.7f, true);
    EXPECT_EQ(above.lo, at07.lo) << "20.7 reads like 0.7";
    EXPECT_NEAR(above.weight, at07.weight, kFoldWeightTolerance);
    const MorphRead below = readMorph(s, 0.0f, -21.3f, true);
    EXPECT_EQ(below.lo, at07.lo) << "-21.3 reads like 0.7";
    EXPECT_NEAR(below.weight, at07.weight, kFoldWeightTolerance);
    const MorphRead farBelow = readMorph(s, 0.0f, -40.7f, true);
    EXPECT_EQ(farBelow.lo, at07.lo) << "-40.7 reads like 0.7";
    EXPECT_NEAR(farBelow.weight, at07.weight, kFoldWeightTolerance);
}

TEST(OscillatorMorph, WrapSwitchedOnDuringANoteTakesEffect) {
    SoundCheck s;
    s.waves(kSine, kSaw);
    s.h.p().setParameter(tag::OscMorph, 1.0f);
    s.h.p().setOff(tag::MorphWrapOn);
    s.h.send(EventBlock().noteOn(0, 69, 127));
    s.h.render(1);
    const int v = s.h.gatedVoiceWithNote(69);
    ASSERT_GE(v, 0);
    s.h.voice(v).mod.dst[dst::OscMorph] = 0.2f; // a steady modulation to 1.2
    s.h.render(512);
    EXPECT_EQ(s.h.voice(v).dsp.lanes[0].morphLo, 31);

    s.h.p().setOn(tag::MorphWrapOn); // picked up on the next 128-frame tick
    s.h.render(512);
    EXPECT_EQ(s.h.voice(v).dsp.lanes[0].morphLo, 24) << "1.2 now folds back to about 0.8";
    EXPECT_EQ(s.h.voice(v).dsp.lanes[0].morphHi, 25);
    s.release();
}

TEST(OscillatorMorph, WrappedPositionSoundsLikeItsFoldedTwin) {
    SoundCheck s;
    s.waves(kSine, kSaw);
    const double rate = s.rate();
    s.h.p().setOn(tag::MorphWrapOn);

    s.h.p().setParameter(tag::OscMorph, 0.8f);
    const std::vector<float> folded = s.play(69, kSkip, kWindow);

    s.h.p().setParameter(tag::OscMorph, 1.0f);
    s.h.send(EventBlock().noteOn(0, 69, 127));
    s.h.render(1);
    s.h.voice(s.h.gatedVoiceWithNote(69)).mod.dst[dst::OscMorph] = 0.2f;
    const std::vector<float> beyond = s.capture(kSkip + kWindow);
    s.release();
    const std::vector<float> tail(beyond.begin() + kSkip, beyond.end());

    for (int k = 2; k <= 4; ++k)
        EXPECT_NEAR(harmonicDb(tail, rate, 220.0, k), harmonicDb(folded, rate, 220.0, k), 0.3)
            << "harmonic " << k;
    // Both sit clearly between the pure sine and the full saw.
    EXPECT_LT(harmonicDb(tail, rate, 220.0, 2), -8.0);
    EXPECT_GT(harmonicDb(tail, rate, 220.0, 2), -40.0);
}

// ------------------------------------------------------------------ symmetry

TEST(OscillatorSymmetry, HalfLeavesTheSineUnwarpedAndOtherValuesBendIt) {
    SoundCheck s; // wave A and B: the sine
    const double rate = s.rate();

    s.h.p().setParameter(tag::OscSymmetry, 0.5f);
    std::vector<float> x = s.play(69, kSkip, kWindow);
    double f0 = peakFrequency(x, rate, 150.0, 300.0);
    EXPECT_NEAR(f0, 220.0, 0.5);
    for (int k = 2; k <= 6; ++k) EXPECT_LT(harmonicDb(x, rate, f0, k), -60.0) << "harmonic " << k;

    s.h.p().setParameter(tag::OscSymmetry, 0.25f);
    x = s.play(69, kSkip, kWindow);
    f0 = peakFrequency(x, rate, 150.0, 300.0);
    EXPECT_NEAR(f0, 220.0, 0.5) << "warping keeps the pitch";
    EXPECT_GT(harmonicDb(x, rate, f0, 2), -30.0) << "an asymmetric cycle has even harmonics";
}

// ------------------------------------------------------------------ unison

TEST(OscillatorUnison, FourCopiesWithDetuneGiveFourPeaksAroundTheNote) {
    SoundCheck s;
    s.h.p().setOff(tag::OscFreeRunningOn);
    s.h.setStep(tag::UnisonMode, 3); // "4"
    s.h.p().setParameter(tag::UnisonDetune, 0.5f);
    const double rate = s.rate();
    const double note = noteHz(93); // 880 Hz: copies a few Hz apart stay resolvable

    const std::vector<float> x = s.play(93, kSkip, kWindow);
    const Spectrum sp = Spectrum::of(x, rate);
    const double semitone = std::pow(2.0, 1.0 / 12.0);
    const std::vector<double> peaks = peaksBetween(sp, note / semitone, note * semitone, -30.0);
    std::ostringstream list;
    for (double p : peaks) list << p << " Hz  ";
    ASSERT_EQ(peaks.size(), 4u) << list.str();
    EXPECT_LT(peaks.front(), note) << list.str();
    EXPECT_GT(peaks.back(), note) << list.str();
    for (std::size_t i = 1; i < peaks.size(); ++i)
        EXPECT_GT(peaks[i] - peaks[i - 1], 5.0) << "distinct: " << list.str();
    // Equal copies: every peak within a few dB of the others.
    double lo = 1e9, hi = 0.0;
    for (double p : peaks) {
        const double a = toneAmplitude(x, rate, peakFrequency(x, rate, p - 3.0, p + 3.0));
        lo = std::min(lo, a);
        hi = std::max(hi, a);
    }
    EXPECT_LT(dB(hi / lo), 3.0);
}

TEST(OscillatorUnison, FourCopiesWithoutDetunePlayOnePitch) {
    SoundCheck s;
    s.h.p().setOff(tag::OscFreeRunningOn);
    s.h.setStep(tag::UnisonMode, 3);
    s.h.p().setParameter(tag::UnisonDetune, 0.0f);
    const double rate = s.rate();
    const double note = noteHz(93);

    const std::vector<float> x = s.play(93, kSkip, kWindow);
    const Spectrum sp = Spectrum::of(x, rate);
    const double semitone = std::pow(2.0, 1.0 / 12.0);
    const std::vector<double> peaks = peaksBetween(sp, note / semitone, note * semitone, -60.0);
    ASSERT_EQ(peaks.size(), 1u);
    EXPECT_NEAR(peakFrequency(x, rate, note - 20.0, note + 20.0), note, 0.5);
}

// ------------------------------------------------------------------ sub-oscillator

TEST(OscillatorSub, ExactlyHalfAddsNothingBelowTheNote) {
    SoundCheck s; // sine
    const double rate = s.rate();
    s.h.p().setParameter(tag::OscSubVolume, 0.5f);
    const std::vector<float> x = s.play(69, kSkip, kWindow);
    const double main = toneAmplitude(x, rate, 220.0);
    EXPECT_LT(dB(toneAmplitude(x, rate, 110.0) / main), -90.0);
    EXPECT_LT(dB(toneAmplitude(x, rate, 330.0) / main), -90.0);
}

TEST(OscillatorSub, ZeroAddsAFullLevelSineAnOctaveDown) {
    SoundCheck s;
    const double rate = s.rate();
    s.h.p().setParameter(tag::OscSubVolume, 0.0f);
    const std::vector<float> x = s.play(69, kSkip, kWindow);
    const double main = toneAmplitude(x, rate, 220.0);
    const double sub = toneAmplitude(x, rate, 110.0);
    EXPECT_NEAR(dB(sub / main), 0.0, 0.5) << "full level: as loud as the main sine";
    EXPECT_NEAR(peakFrequency(x, rate, 80.0, 150.0), 110.0, 0.5);
    // A sine: nothing at the sub's own odd harmonics.
    EXPECT_LT(dB(toneAmplitude(x, rate, 330.0) / sub), -60.0);
    EXPECT_LT(dB(toneAmplitude(x, rate, 550.0) / sub), -60.0);
}

TEST(OscillatorSub, OneAddsASquareAnOctaveDown) {
    SoundCheck s;
    const double rate = s.rate();
    s.h.p().setParameter(tag::OscSubVolume, 1.0f);
    const std::vector<float> x = s.play(69, kSkip, kWindow);
    const double main = toneAmplitude(x, rate, 220.0);
    const double sub = toneAmplitude(x, rate, 110.0);
    EXPECT_GT(dB(sub / main), 0.0) << "a full-level square's fundamental outweighs the sine";
    EXPECT_NEAR(peakFrequency(x, rate, 80.0, 150.0), 110.0, 0.5);
    // Odd harmonics of 110 Hz, about 1/k each; no even ones (220 Hz is the
    // main oscillator's).
    EXPECT_NEAR(dB(toneAmplitude(x, rate, 330.0) / sub), dB(1.0 / 3.0), 2.0);
    EXPECT_NEAR(dB(toneAmplitude(x, rate, 550.0) / sub), dB(1.0 / 5.0), 3.0);
    EXPECT_GT(dB(toneAmplitude(x, rate, 770.0) / sub), -25.0);
    EXPECT_LT(dB(toneAmplitude(x, rate, 440.0) / sub), -40.0);
    EXPECT_LT(dB(toneAmplitude(x, rate, 660.0) / sub), -40.0);
}

TEST(OscillatorSub, CrossingHalfDuringANoteSwitchesBetweenSineAndSquare) {
    SoundCheck s;
    const double rate = s.rate();
    s.h.p().setParameter(tag::OscSubVolume, 0.0f); // full-level sine
    const std::vector<float> sine = s.hold(69, kSkip, 16384);
    s.h.p().setParameter(tag::OscSubVolume, 1.0f); // the same level, the square
    const std::vector<float> square = s.capture(kSkip + 16384);
    s.release();
    const std::vector<float> after(square.begin() + kSkip, square.end());
    EXPECT_LT(dB(toneAmplitude(sine, rate, 330.0) / toneAmplitude(sine, rate, 110.0)), -60.0);
    EXPECT_NEAR(dB(toneAmplitude(after, rate, 330.0) / toneAmplitude(after, rate, 110.0)),
                dB(1.0 / 3.0), 2.0)
        << "the held note's sub is now the square";
}

// ------------------------------------------------------------------ spread

TEST(OscillatorSpread, SpreadSplitsTheNoteIntoTwoPitchesAndStaysLevelWhenBackAtZero) {
    SoundCheck s; // sine
    const double rate = s.rate();
    const double note = noteHz(93);
    const double before = toneAmplitude(s.play(93, kSkip, 16384), rate, note);

    // Full spread: the two oscillators 1/60 octave above and below.
    s.h.p().setParameter(tag::OscSpread, 1.0f);
    const std::vector<float> x = s.play(93, kSkip, kWindow);
    const double up = note * std::pow(2.0, 1.0 / 60.0), down = note / std::pow(2.0, 1.0 / 60.0);
    EXPECT_NEAR(peakFrequency(x, rate, note + 3.0, note + 20.0), up, 0.5);
    EXPECT_NEAR(peakFrequency(x, rate, note - 20.0, note - 3.0), down, 0.5);
    EXPECT_NEAR(dB(toneAmplitude(x, rate, up) / toneAmplitude(x, rate, down)), 0.0, 1.0);
    EXPECT_LT(dB(toneAmplitude(x, rate, note) / toneAmplitude(x, rate, up)), -40.0);

    // Back at zero the two oscillators coincide: one pitch at the old level.
    s.h.p().setParameter(tag::OscSpread, 0.0f);
    const std::vector<float> y = s.play(93, kSkip, 16384);
    EXPECT_NEAR(peakFrequency(y, rate, note - 20.0, note + 20.0), note, 0.5);
    EXPECT_NEAR(dB(toneAmplitude(y, rate, note) / before), 0.0, 0.5);
}

// ------------------------------------------------------------------ bit reduction

TEST(OscillatorShape, BitsAtFullReductionLeaveOnlyMinusOneZeroAndOne) {
    SoundCheck s; // sine
    s.h.send(EventBlock().noteOn(0, 69, 127));
    s.h.render(1);
    const int v = s.h.gatedVoiceWithNote(69);
    ASSERT_GE(v, 0);
    s.h.voice(v).mod.dst[dst::OscBits] = 1.0f; // the bit-reduction modulation at its top
    bool sawOne = false, sawZero = false;
    for (int f = 0; f < 400; ++f) {
        s.h.render(1);
        for (float w : s.h.voice(v).dsp.lanes[0].osc) {
            ASSERT_TRUE(w == -1.0f || w == 0.0f || w == 1.0f) << w;
            sawOne |= std::fabs(w) == 1.0f;
            sawZero |= w == 0.0f;
        }
    }
    EXPECT_TRUE(sawOne && sawZero);
    s.release();
}

// ------------------------------------------------------------------ octave

TEST(OscillatorOctave, ZeroDividesAndOneMultipliesTheFrequencyBySixteen) {
    SoundCheck s; // sine
    const double rate = s.rate();
    const double note = noteHz(93); // 880 Hz: 55 Hz and 14080 Hz

    s.h.p().setParameter(tag::OscOctave, 0.5f); // the middle step
    double f = peakFrequency(s.play(93, kSkip, kWindow), rate, 20.0, 20000.0);
    EXPECT_NEAR(f / note, 1.0, 0.0005);

    s.h.p().setParameter(tag::OscOctave, 0.0f);
    f = peakFrequency(s.play(93, kSkip, kWindow), rate, 20.0, 20000.0);
    EXPECT_NEAR(f / note, 1.0 / 16.0, 0.0005 / 16.0);

    s.h.p().setParameter(tag::OscOctave, 1.0f);
    f = peakFrequency(s.play(93, kSkip, kWindow), rate, 20.0, 20000.0);
    EXPECT_NEAR(f / note, 16.0, 16.0 * 0.0005);
    EXPECT_TRUE(s.h.allFinite);
}

// ------------------------------------------------------------------ resting inputs

// A held voice whose pitch inputs rest skips its tick; a change of any of
// them during the note must still reach the pitch, as if it had been there
// from the note's start.
TEST(OscillatorRest, AChangeDuringAHeldNoteSoundsAsIfMadeBeforeIt) {
    struct Case {
        const char* name;
        std::function<void(SoundCheck&)> change;
    };
    const Case cases[] = {
        {"pitch bend",
         [](SoundCheck& s) {
             s.h.p().setSteppedValue(tag::PitchBendUp, 2); // two semitones
             s.h.send(EventBlock().bend(0, 0x3FFF));
         }},
        {"octave step", [](SoundCheck& s) { s.h.p().setParameter(tag::OscOctave, 0.75f); }},
        {"semitone slot",
         [](SoundCheck& s) { s.h.p().setModSlotVar(0, false, 0.6f, src::Offset, dst::OscSemi); }},
        {"global fine slot",
         [](SoundCheck& s) {
             s.h.p().setModSlotVar(0, false, 0.75f, src::Offset, dst::GlobalFine);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double expected = 0.0, plain = 0.0, changed = 0.0;
        {
            SoundCheck before; // one plug-in at a time
            c.change(before);
            before.h.render(SoundCheck::kBlock);
            expected = peakFrequency(before.play(69, kSkip, kWindow), before.rate(), 20.0, 20000.0);
        }
        {
            SoundCheck during;
            const double rate = during.rate();
            plain = peakFrequency(during.hold(69, kSkip, kWindow), rate, 20.0, 20000.0);
            c.change(during);
            during.capture(kSkip);
            changed = peakFrequency(during.capture(kWindow), rate, 20.0, 20000.0);
        }
        EXPECT_GT(std::fabs(expected / plain - 1.0), 0.01);
        EXPECT_NEAR(changed / expected, 1.0, 0.0005);
    }
}

// ------------------------------------------------------------------ noise

TEST(OscillatorNoise, BothWavesNoiseGiveBroadbandNoiseAtAQuarterOfFullScale) {
    SoundCheck s;
    const double rate = s.rate();
    // The reference: a full-scale sine through the same chain.
    const double fullScale = toneAmplitude(s.play(69, kSkip, 8192), rate, 220.0);

    s.waves(kWhiteNoise, kPinkNoise);
    s.h.p().setParameter(tag::OscMorph, 0.0f); // all wave A: white
    const std::vector<float> x = s.play(69, kSkip, kWindow);
    EXPECT_TRUE(s.h.allFinite);

    // Uniform noise of peak 0.25: rms 0.25 / sqrt(3).
    EXPECT_NEAR(spectrum::rms(x) / fullScale, 0.25 / std::sqrt(3.0), 0.015);
    double peak = 0.0;
    for (float v : x) peak = std::max(peak, static_cast<double>(std::fabs(v)));
    // The DC blocker's slowly wandering state adds a few thousandths.
    EXPECT_GT(peak / fullScale, 0.23);
    EXPECT_LT(peak / fullScale, 0.27);

    // Broadband and flat: the same density in every octave.
    const std::vector<double> d = octaveDensities(Spectrum::of(x, rate), 86.0, 7);
    for (std::size_t i = 1; i < d.size(); ++i) EXPECT_NEAR(d[i], d[0], 2.0) << "octave " << i;
    EXPECT_NEAR(slope(d), 0.0, 0.5);
}

TEST(OscillatorNoise, BothWavesNoiseReadNoWaveTable) {
    SoundCheck s;
    s.waves(kWhiteNoise, kPinkNoise);
    // Poison every table: a single read would turn the output into NaN.
    for (int slot : {0, 1}) {
        PitchTableBank* bank = s.h.p().waves.pitchTableBank.writable(slot);
        ASSERT_NE(bank, nullptr);
        for (auto& table : *bank)
            for (auto& frame : table) frame.fill(std::numeric_limits<float>::quiet_NaN());
    }
    for (const float morph : {0.0f, 0.5f, 1.0f}) {
        s.h.p().setParameter(tag::OscMorph, morph);
        const std::vector<float> x = s.play(69, kSkip, 4096);
        EXPECT_TRUE(s.h.allFinite);
        EXPECT_GT(spectrum::rms(x), 0.01) << "morph " << morph;
        const int v = 0;
        for (const LaneState& lane : s.h.voice(v).dsp.lanes)
            for (float o : lane.osc) EXPECT_TRUE(std::isfinite(o)) << "morph " << morph;
    }
}

TEST(OscillatorNoise, OneNoiseWaveBlendsWithTheOtherWaveByMorph) {
    SoundCheck s;
    const double rate = s.rate();
    const double fullScale = toneAmplitude(s.play(69, kSkip, 8192), rate, 220.0);
    s.waves(kWhiteNoise, kSine);

    s.h.p().setParameter(tag::OscMorph, 1.0f); // all wave B: the sine alone
    std::vector<float> x = s.play(69, kSkip, 16384);
    EXPECT_NEAR(toneAmplitude(x, rate, 220.0) / fullScale, 1.0, 0.02);
    EXPECT_NEAR(spectrum::rms(x) / fullScale, 1.0 / std::sqrt(2.0), 0.02) << "no noise";

    s.h.p().setParameter(tag::OscMorph, 0.5f); // half of each
    x = s.play(69, kSkip, 16384);
    const double sine = toneAmplitude(x, rate, 220.0) / fullScale;
    EXPECT_NEAR(sine, 0.5, 0.02);
    const double total = spectrum::rms(x) / fullScale;
    const double noise = std::sqrt(std::max(0.0, total * total - sine * sine / 2.0));
    EXPECT_NEAR(noise, 0.5 * 0.25 / std::sqrt(3.0), 0.01) << "half of the quarter-scale noise";

    s.h.p().setParameter(tag::OscMorph, 0.0f); // all wave A: noise alone
    x = s.play(69, kSkip, 16384);
    EXPECT_LT(toneAmplitude(x, rate, 220.0) / fullScale, 0.01) << "no sine";
    EXPECT_NEAR(spectrum::rms(x) / fullScale, 0.25 / std::sqrt(3.0), 0.015);
    EXPECT_TRUE(s.h.allFinite);
}

TEST(OscillatorNoise, PinkNoiseWaveFallsAboutThreeDbPerOctave) {
    SoundCheck s;
    const double rate = s.rate();
    s.waves(kWhiteNoise, kPinkNoise);
    s.h.p().setParameter(tag::OscMorph, 1.0f); // all wave B: pink
    const std::vector<float> x = s.play(69, kSkip, kWindow);
    EXPECT_TRUE(s.h.allFinite);
    // Octaves from 172 Hz to 5.5 kHz, inside the generator's pink range.
    const std::vector<double> d = octaveDensities(Spectrum::of(x, rate), 172.0, 5);
    std::ostringstream list;
    for (double v : d) list << std::setprecision(3) << v << " ";
    EXPECT_NEAR(slope(d), -3.0, 1.0) << "densities per octave (dB): " << list.str();
}
