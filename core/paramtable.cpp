#include "core/paramtable.h"

#include "core/mod_slots.h"
#include "core/process_shared.h"
#include "waves/wave_presets.h"

#include <string_view>

namespace {

constexpr float kSame = -1.0f; // zero value equals the default

std::string numbered(std::string_view prefix, int index, std::string_view suffix) {
    std::string s(prefix);
    s += std::to_string(index);
    s += suffix;
    return s;
}

} // namespace

const ParamTable& ParamTable::get() {
    constinit static ProcessShared<ParamTable> shared{
        [] { return std::make_unique<ParamTable>(); }};
    return shared.get();
}

ParamTable::ParamTable() {
    clear();
    defineAll();
    defineLocks();
    defineAutomation();
    // The user waves start as factory wave 0; their defaults say so.
    applyFactoryWaveDefaults(*this);
}

void ParamTable::setParameterVars(int t, float value, bool sw, float stepRange, int steps,
                                  int modDest, int kind, const std::string& name, float zero) {
    if (!tag::isValid(t)) return;
    defaultValue[t] = value;
    tagDest[t] = modDest;
    displayKind[t] = kind;
    paramName[t] = name;
    isSwitch[t] = sw;
    steppedNum[t] = steps;
    steppedRange[t] = stepRange;
    zeroValue[t] = zero < 0.0f ? value : zero;
}

void ParamTable::clear() {
    editTracked.fill(true);
    for (int t = tag::XYX; t <= tag::XYMidiY; ++t) editTracked[t] = false;
    for (int t = tag::PresetNameFirst; t <= tag::InternalLast; ++t) editTracked[t] = false;
    for (int t = tag::SetArpRandom; t < tag::ArpGridFirst; ++t) editTracked[t] = false;
    tagDest.fill(0);
    isSwitch.fill(false);
    defaultValue.fill(0.0f);
    zeroValue.fill(0.0f);
    steppedNum.fill(-1);
    steppedRange.fill(1.0f);
    displayKind.fill(kDisplayOwn);
    for (auto& n : paramName) n.clear();
}

void ParamTable::defineLocks() {
    lockSection.fill(kLockNone);
    for (int t : {tag::PortamentoAmount, tag::UnisonDetune, tag::UnisonSpread})
        lockSection[t] = kLockPlay;
    for (int t = tag::PlayMode; t <= tag::PitchBendUp; ++t) lockSection[t] = kLockPlay;
    for (int t = tag::ArpOn; t <= tag::ArpHostSyncOn; ++t) lockSection[t] = kLockArp;
    for (int t = tag::ArpMode; t <= tag::ArpGridLast; ++t) lockSection[t] = kLockArp;
}

// Hosts list the automatable parameters for automation lanes, and some cap how
// many one plug-in may offer (Ardour takes the first 512 by default and leaves
// the rest without lanes). Tags that only store data never get a lane, so every
// sound and play setting fits under such a cap.
void ParamTable::defineAutomation() {
    automatable.fill(true);
    const auto storage = [this](int first, int last) {
        for (int t = first; t <= last; ++t) automatable[t] = false;
    };
    storage(tag::DontUse, tag::DontUse);
    storage(tag::InternalFirst, tag::InternalLast); // includes the preset name
    storage(tag::xyPointX(0), tag::xyPointY(tag::XYPointCount - 1));
    storage(tag::PartialFirst, tag::WaveNameLast); // partials, has-preset flags, names
    storage(tag::ApplyPreset, tag::TakeOver);
    storage(tag::Marker, tag::Version); // marker, tuning flag and name, version
}

void ParamTable::defineAll() {
    // Continuous value: steps -1, range -1.
    auto cont = [this](int t, const std::string& name, int kind, float def, int dest = 0,
                       float zero = kSame) {
        setParameterVars(t, def, false, -1.0f, -1, dest, kind, name, zero);
    };
    // On/off switch with 2 steps (range 1.99), or continuous when stepped is false.
    auto onOff = [this](int t, const std::string& name, float def, float zero = kSame,
                        bool stepped = true, int kind = kDisplayOnOff) {
        setParameterVars(t, def, true, stepped ? 1.99f : -1.0f, stepped ? 2 : -1, 0, kind, name,
                         zero);
    };
    // Stepped list with its default given as a step index.
    auto list = [this](int t, const std::string& name, int steps, float range, int defStep,
                       int dest = 0, int kind = kDisplayOwn, float zero = kSame) {
        setParameterVars(t, stepToValue(defStep, range), false, range, steps, dest, kind, name,
                         zero);
    };
    // Stepped list whose default is written as a plain value.
    auto listValue = [this](int t, const std::string& name, int steps, float range, float def,
                            int dest = 0, float zero = kSame) {
        setParameterVars(t, def, false, range, steps, dest, kDisplayOwn, name, zero);
    };

    // ---- global and amplitude
    cont(tag::DontUse, "Don't Use", kDisplayInternal, 0.0f, dst::MainVolume);
    cont(tag::MainVolume, "Main Volume", kDisplayDecibel, 0.833f, dst::MainVolume, 1.0f);
    cont(tag::MainPan, "Main Pan", kDisplayPan, 0.5f, dst::MainPan);
    cont(tag::VelocityToVolume, "Velocity > Volume", kDisplayPercent, 0.305f, dst::MainVelToVolume,
         0.0f);
    {
        const char* stage[4] = {"Attack", "Decay", "Sustain", "Release"};
        const int kind[4] = {kDisplayEnvTime, kDisplayEnvTime, kDisplayPercent, kDisplayEnvTime};
        const float def[4] = {0.0f, 0.915f, 1.0f, 0.625f};
        for (int i = 0; i < 4; ++i) {
            cont(tag::AmpEnvAttack + i, std::string("Amp Envelope ") + stage[i], kind[i], def[i],
                 dst::AmpEnvAttack + i, 0.0f);
            cont(tag::FilterEnvAttack + i, std::string("Filter Envelope ") + stage[i], kind[i],
                 def[i], dst::FilterEnvAttack + i, 0.0f);
        }
    }
    cont(tag::PortamentoAmount, "Portamento Amount", kDisplayPercent, 0.0f, dst::Portamento);
    cont(tag::UnisonDetune, "Unison Detune", kDisplayPercent, 0.0f, dst::UnisonDetune);
    cont(tag::UnisonSpread, "Unison Spread", kDisplayPercent, 0.0f, dst::UnisonStereoSpread);
    cont(tag::DistortAmount, "Distort Amount", kDisplayPercent, 0.0f, dst::Distort);
    onOff(tag::DriftOn, "Drift On / Off", 1.0f, 0.0f);
    onOff(tag::ExpEnvShapeOn, "Exp Envelope Shape On / Off", 1.0f, 0.0f);

    // ---- oscillator
    list(tag::OscWaveA, "Oscillator Wave A", 185, 184.99f, 0);
    list(tag::OscWaveB, "Oscillator Wave B", 185, 184.99f, 0);
    cont(tag::OscMorph, "Oscillator Morph Amount", kDisplayPercent, 0.0f, dst::OscMorph);
    list(tag::OscOctave, "Oscillator Octave", 9, 8.0f, 4, dst::OscOctave);
    cont(tag::OscSymmetry, "Oscillator Symmetry", kDisplayPercent, 0.5f, dst::OscSymmetry);
    cont(tag::OscSModAmount, "Oscillator SMod Amount", kDisplayPercent, 0.0f, dst::OscSModAmount);
    cont(tag::OscSModSpeed, "Oscillator SMod Speed", kDisplayOwn, 0.0f, dst::OscSModSpeed);
    cont(tag::OscSubVolume, "Oscillator Sub-Volume", kDisplayOwn, 0.5f, dst::SubVolume);
    cont(tag::OscSpread, "Oscillator Spread", kDisplayPercent, 0.0f, dst::OscSpread);

    // ---- filter
    cont(tag::FilterFreq, "Filter Frequency", kDisplayFilterFreq, 1.0f, dst::FilterFreq, 0.0f);
    cont(tag::FilterQ, "Filter Q", kDisplayPercent, 0.0f, dst::FilterQ, 0.0f);
    cont(tag::ModWheelToFilterFreq, "Mod Wheel > Filter Frequency", kDisplayBipolar, 0.5f);
    cont(tag::VelocityToFilterFreq, "Velocity > Filter Frequency", kDisplayPercent, 0.0f);
    cont(tag::KeyToFilterFreq, "Key > Filter Frequency", kDisplayBipolar, 0.5f);
    cont(tag::EnvToFilterFreq, "Envelope > Filter Frequency", kDisplayPercent, 0.0f,
         dst::FilterEnvAmount);
    onOff(tag::InvertFilterEnvOn, "Invert Filter Envelope On / Off", 0.0f);
    setParameterVars(tag::HiPassOn, 0.0f, false, 1.99f, 2, 0, kDisplayOnOff,
                     "HiPass Filter On / Off", kSame);
    cont(tag::HiPassFreq, "HiPass Frequency", kDisplayFilterFreq, 0.0f, dst::HiPassFreq);
    onOff(tag::HiPassQOn, "HiPass Q On / Off", 0.0f);
    cont(tag::HiPassQ, "HiPass Q", kDisplayPercent, 0.0f, dst::HiPassQ);
    onOff(tag::HiPassKeyTrackOn, "HiPass Key-Track On / Off", 0.0f);

    // ---- XY pad
    cont(tag::XYX, "XY X", kDisplayBipolar, 0.5f);
    cont(tag::XYY, "XY Y", kDisplayBipolar, 0.5f);
    cont(tag::XYMidiX, "XY MIDI X", kDisplayBipolar, 0.5f);
    cont(tag::XYMidiY, "XY MIDI Y", kDisplayBipolar, 0.5f);
    {
        const char* axis[4] = {"XY X 1", "XY Y 1", "XY X 2", "XY Y 2"};
        for (int i = 0; i < tag::XYModCount; ++i)
            cont(tag::XYModAmountFirst + i, std::string(axis[i]) + " Mod Amount", kDisplayOwn, 0.5f,
                 dst::modAmount(tag::ModSlotCount + i));
    }
    cont(tag::XYXToMorph, "XY X > Morph Amount", kDisplayBipolar, 0.5f, dst::XYXToMorph);
    cont(tag::XYYToMorph, "XY Y > Morph Amount", kDisplayBipolar, 0.5f, dst::XYYToMorph);
    cont(tag::XYSpeed, "XY Speed", kDisplayOwn, 0.5f, dst::XYSpeed, 0.0f);
    cont(tag::XYSmooth, "XY Smooth", kDisplayPercent, 0.0f, dst::XYSmooth);

    // ---- free envelopes
    for (int e = 0; e < tag::FreeEnvCount; ++e) {
        const std::string prefix = numbered("Free Envelope", e + 1, " ");
        const char* stage[5] = {"Attack", "Decay", "Sustain", "Fade", "Release"};
        const int kind[5] = {kDisplayEnvTime, kDisplayEnvTime, kDisplayPercent, kDisplayFadeTime,
                             kDisplayEnvTime};
        const float def[5] = {0.0f, 0.435f, 1.0f, 0.5f, 0.29f};
        const int firstDest = e == 0 ? dst::FreeEnv1Attack : dst::FreeEnv2Attack;
        for (int i = 0; i < 5; ++i)
            cont(tag::freeEnv(e, i), prefix + stage[i], kind[i], def[i], firstDest + i, 0.0f);
        onOff(tag::freeEnv(e, tag::FreeEnvSync), prefix + "Tempo Sync On / Off", 0.0f, 0.0f);
    }

    // ---- free LFOs
    for (int l = 0; l < tag::FreeLfoCount; ++l) {
        const std::string prefix = numbered("Free LFO ", l + 1, " ");
        cont(tag::freeLfoSpeed(l), prefix + "Speed", kDisplayOwn, 0.5f,
             l == 0 ? dst::FreeLfo1Speed : dst::FreeLfo2Speed, 0.0f);
        onOff(tag::freeLfoSync(l), prefix + "Tempo Sync On / Off", 1.0f, 0.0f);
    }

    // ---- modulation slot amounts
    for (int s = 0; s < tag::ModSlotCount; ++s)
        cont(tag::slotAmount(s), numbered("Slot ", s + 1, " Amount"), kDisplayOwn, 0.5f,
             dst::modAmount(s));

    // ---- effects
    onOff(tag::FXBypassOn, "FX Bypass On / Off", 0.0f);
    onOff(tag::ChorusOn, "Chorus On / Off", 0.0f);
    cont(tag::ChorusLength, "Chorus Length", kDisplayOwn, 0.426f, dst::ChorusLength, 0.0f);
    cont(tag::ChorusWidth, "Chorus Width", kDisplayPercent, 0.445f, dst::ChorusWidth, 0.0f);
    cont(tag::ChorusSpeed, "Chorus Speed", kDisplayOwn, 0.56f, dst::ChorusSpeed, 0.0f);
    cont(tag::ChorusLP, "Chorus LP", kDisplayFilterFreq, 0.955f, dst::ChorusLP, 0.0f);
    cont(tag::ChorusHP, "Chorus HP", kDisplayFilterFreq, 0.12f, dst::ChorusHP, 0.0f);
    cont(tag::ChorusMix, "Chorus Mix", kDisplayMix, 0.245f, dst::ChorusMix, 0.0f);
    onOff(tag::FlangerOrPhaser, "Select Flanger or Phaser", 0.0f, kSame, false, kDisplayOwn);
    onOff(tag::FlangerPhaserOn, "Flanger/Phaser On / Off", 0.0f, kSame, false);
    cont(tag::FlangerLength, "Flanger Length", kDisplayOwn, 0.07f, dst::FlangerLength, 0.0f);
    cont(tag::FlangerWidth, "Flanger Width", kDisplayPercent, 1.0f, dst::FlangerWidth, 0.0f);
    listValue(tag::FlangerSpeed, "Flanger Speed", 31, 30.99f, 0.335f, dst::FlangerSpeed, 0.0f);
    cont(tag::FlangerFeed, "Flanger Feed", kDisplayPercent, 0.82f, dst::FlangerFeed, 0.0f);
    cont(tag::FlangerPanMod, "Flanger Pan Mod", kDisplayPercent, 0.765f, dst::FlangerPanMod, 0.0f);
    cont(tag::FlangerMix, "Flanger Mix", kDisplayMix, 0.25f, dst::FlangerMix, 0.0f);
    cont(tag::PhaserPitch, "Phaser Pitch", kDisplayFilterFreq, 0.78f, dst::PhaserPitch, 0.0f);
    cont(tag::PhaserFeed, "Phaser Feed", kDisplayPercent, 0.88f, dst::PhaserFeed, 0.0f);
    cont(tag::PhaserWidth, "Phaser Width", kDisplayPercent, 0.44f, dst::PhaserWidth, 0.0f);
    listValue(tag::PhaserSpeed, "Phaser Speed", 31, 30.99f, 0.335f, dst::PhaserSpeed, 0.0f);
    cont(tag::PhaserPanMod, "Phaser Pan Mod", kDisplayPercent, 0.905f, dst::PhaserPanMod, 0.0f);
    cont(tag::PhaserMix, "Phaser Mix", kDisplayMix, 0.505f, dst::PhaserMix, 0.0f);
    onOff(tag::DelayOn, "Delay On / Off", 0.0f, kSame, false);
    cont(tag::DelayLeft, "Delay Left", kDisplayOwn, 0.67f, dst::DelayLeftLength, 0.0f);
    cont(tag::DelayRight, "Delay Right", kDisplayOwn, 0.585f, dst::DelayRightLength, 0.0f);
    cont(tag::DelayFeed, "Delay Feed", kDisplayBipolar, 0.69f, dst::DelayFeed, 0.0f);
    cont(tag::DelayLP, "Delay LP", kDisplayFilterFreq, 0.935f, dst::DelayLP, 0.0f);
    cont(tag::DelayHP, "Delay HP", kDisplayFilterFreq, 0.185f, dst::DelayHP, 0.0f);
    onOff(tag::DelaySyncOn, "Delay Tempo Sync On / Off", 1.0f, 0.0f);
    cont(tag::DelayMix, "Delay Mix", kDisplayMix, 0.167f, dst::DelayMix, 0.0f);
    onOff(tag::ReverbOn, "Reverb On / Off", 0.0f, kSame, false);
    cont(tag::ReverbPreDelay, "Reverb Pre-Delay", kDisplayOwn, 0.61f, dst::ReverbPreDelay, 0.0f);
    cont(tag::ReverbSize, "Reverb Size", kDisplayOwn, 0.645f, dst::ReverbSize, 0.0f);
    cont(tag::ReverbLength, "Reverb Length", kDisplayOwn, 0.81f, dst::ReverbLength, 0.0f);
    cont(tag::ReverbDamp, "Reverb Damp", kDisplayPercent, 0.285f, dst::ReverbDamp, 0.0f);
    cont(tag::ReverbHP, "Reverb HP", kDisplayFilterFreq, 0.1f, dst::ReverbHP, 0.0f);
    cont(tag::ReverbMix, "Reverb Mix", kDisplayMix, 0.15f, dst::ReverbMix, 0.0f);

    // ---- arpeggiator, first block
    onOff(tag::ArpOn, "Arp On / Off", 0.0f);
    list(tag::ArpNumSteps, "Arp Number of Steps", 16, 15.0f, 15, dst::ArpSteps);
    list(tag::ArpLoopStart, "Arp Loop Start Step", 16, 15.0f, 0, dst::ArpLoopStart);
    listValue(tag::ArpSpeed, "Arp Speed", 17, 16.99f, 0.5f, dst::ArpSpeed, 0.0f);
    cont(tag::ArpSwing, "Arp Swing", kDisplayPercent, 0.0f, dst::ArpSwing);
    cont(tag::ArpSlide, "Arp Slide", kDisplayPercent, 0.0f, dst::ArpSlide);
    cont(tag::ArpVelocityKey, "Arp Velocity / Key", kDisplayPercent, 0.0f, dst::ArpVelocityOrKey);
    cont(tag::ArpVelocityRatchet, "Arp Velocity Ratchet", kDisplayMidi, 1.0f,
         dst::ArpRatchetVelocity, 0.0f);
    list(tag::ArpMagicSteps, "Arp Magic Steps", 9, 8.99f, 0);
    onOff(tag::ArpHostSyncOn, "Arp Host Sync On / Off", 1.0f, 1.0f);
    onOff(tag::ArpLatchOn, "Arp Latch On / Off", 0.0f);
    onOff(tag::ArpKeyEntryOn, "Arp Key Entry On / Off", 0.0f);

    // ---- internal values (the preset name lives in 208..235)
    for (int i = 0; i < tag::InternalCount; ++i)
        cont(tag::InternalFirst + i, numbered("Internal - ", i + 1, ""), kDisplayInternal, 0.0f);

    // ---- play and modes
    list(tag::PlayMode, "Play Mode", 9, 8.99f, 0);
    list(tag::PortamentoMode, "Portamento Mode", 5, 4.0f, 0);
    list(tag::UnisonMode, "Unison Mode", 24, 23.0f, 0);
    list(tag::PitchBendDown, "Pitch Bend Down", 16, 15.99f, 0);
    list(tag::PitchBendUp, "Pitch Bend Up", 16, 15.99f, 0);
    list(tag::DistortMode, "Distort Mode", 12, 19.99f, 0);
    list(tag::OscMode, "Oscillator Mode", 15, 19.99f, 0);
    list(tag::FilterType, "Filter Type", 22, 23.99f, 10);
    for (int l = 0; l < tag::FreeLfoCount; ++l) {
        const std::string prefix = numbered("Free LFO ", l + 1, " ");
        list(tag::freeLfoMode(l), prefix + "Mode", 4, 3.99f, 0);
        list(tag::freeLfoWave(l), prefix + "Wave", 19, 18.99f, 0);
    }

    // ---- modulation slots: bypass, source, destination
    for (int s = 0; s < tag::ModSlotCount; ++s) {
        onOff(tag::slotBypass(s), numbered("Slot ", s + 1, " Bypass On / Off"), 0.0f);
        list(tag::slotSource(s), numbered("Slot ", s + 1, " Source"), src::Count, 99.99f, 0, 0,
             kDisplayModSource);
        list(tag::slotDest(s), numbered("Slot ", s + 1, " Destination"), dst::Count, 299.99f, 0, 0,
             kDisplayModDest);
    }

    // ---- arpeggiator, second block
    list(tag::ArpMode, "Arp Mode", 16, 19.99f, 0);
    list(tag::ArpOctave, "Arp Octave", 4, 3.0f, 0);
    list(tag::ArpTiedMode, "Arp Tied Mode", 4, 3.0f, 0);
    list(tag::ArpRatchetMode, "Arp Ratchet Mode", 9, 9.99f, 0);
    list(tag::ArpLoopMode, "Arp Loop Mode", 3, 2.99f, 0);
    listValue(tag::ArpStepsCatchup, "Arp Steps Catchup", 3, 2.99f, 0.5f);
    listValue(tag::ArpLoopStartCatchup, "Arp Loop Start Catchup", 3, 2.99f, 1.0f);
    list(tag::ArpMagicMode, "Arp Magic Mode", 13, 19.99f, 0);
    onOff(tag::SetArpRandom, "Set Arp Random", 0.0f);
    cont(tag::ArpRandomOn, "Arp Random On", kDisplayPercent, 0.0f);
    for (int s = 0; s < tag::ArpStepCount; ++s)
        cont(tag::arpRandomTune(s), numbered("Arp Step ", s + 1, " Random Tune"), kDisplayPercent,
             0.5f);
    for (int s = 0; s < tag::ArpStepCount; ++s) {
        const auto name = [s](const char* what) { return numbered("Arp Step ", s + 1, what); };
        onOff(tag::arpStep(tag::RowOn, s), name(" On / Off"), 1.0f, 1.0f);
        onOff(tag::arpStep(tag::RowTied, s), name(" Tied On / Off"), 0.0f);
        onOff(tag::arpStep(tag::RowSlide, s), name(" Slide On / Off"), 0.0f);
        cont(tag::arpStep(tag::RowTune, s), name(" Tune"), kDisplayArpTune, 0.5f);
        cont(tag::arpStep(tag::RowVelocity, s), name(" Velocity"), kDisplayMidi, 1.0f);
        list(tag::arpStep(tag::RowChord, s), name(" Chord"), 21, 20.0f, 0);
        cont(tag::arpStep(tag::RowFree, s), name(" Free"), kDisplayBipolar, 0.5f);
        list(tag::arpStep(tag::RowRatchet, s), name(" Ratchet"), 4, 3.99f, 0);
    }

    // ---- XY pad modes and path
    list(tag::XYRecordMode, "XY Record Mode", 3, 2.0f, 0);
    list(tag::XYLoopMode, "XY Loop Mode", 3, 2.99f, 0);
    list(tag::XYPlayMode, "XY Play Mode", 4, 2.99f, 0);
    list(tag::XYSyncToMode, "XY Sync To Mode", 34, 33.99f, 17);
    list(tag::XYPointQuant, "XY Point Quantization", 7, 6.0f, 0);
    list(tag::XYTimeQuant, "XY Time Quantization", 34, 33.99f, 0);
    list(tag::XYSpaceQuant, "XY Space Quantization", 5, 4.0f, 0);
    {
        const char* axis[4] = {"XY X 1", "XY Y 1", "XY X 2", "XY Y 2"};
        const int defDest[4] = {dst::FilterFreq, dst::HiPassFreq, dst::MainVolume, dst::FilterQ};
        for (int i = 0; i < tag::XYModCount; ++i)
            list(tag::XYModDestFirst + i, std::string(axis[i]) + " Mod Destination", dst::Count,
                 299.99f, defDest[i], 0, kDisplayModDest);
    }
    onOff(tag::XYEditOn, "XY Edit On / Off", 0.0f);
    cont(tag::XYLengthSec, "XY Length Sec", kDisplayPercent, 0.0f);
    cont(tag::XYLengthMs, "XY Length MS", kDisplayPercent, 0.0f);
    for (int p = 0; p < tag::XYPointCount; ++p) {
        cont(tag::xyPointX(p), numbered("Point ", p + 1, " X"), kDisplayBipolar, 0.0f);
        cont(tag::xyPointY(p), numbered("Point ", p + 1, " Y"), kDisplayBipolar, 0.0f);
    }

    // ---- user waves
    for (int w = 0; w < tag::UserWaveCount; ++w) {
        const std::string prefix = numbered("Wave ", w + 1, " ");
        for (int i = 0; i < tag::PartialCount; ++i)
            cont(tag::partial(w, i), prefix + numbered("Partial ", i + 1, ""), kDisplayPercent,
                 0.0f);
        onOff(tag::WaveHasPresetFirst + w, prefix + "Has Preset", 0.0f);
        for (int i = 0; i < tag::UserWaveNameChars; ++i)
            cont(tag::waveName(w, i), prefix + numbered("Name - Char ", i + 1, ""),
                 kDisplayInternal, 0.0f);
    }
    cont(tag::WaveShaper1, "Wave Shaper 1", kDisplayOwn, 0.0f);
    cont(tag::WaveShaper2, "Wave Shaper 2", kDisplayOwn, 0.0f);
    list(tag::WaveShaperMode, "Wave Shaper Mode", 23, 22.99f, 0);
    onOff(tag::ExpPartialsOn, "Exponential Partials On / Off", 0.0f);

    // ---- commands and tail
    onOff(tag::ApplyPreset, "Unused 1", 0.0f, kSame, true, kDisplayInternal);
    onOff(tag::TakeOver, "Unused 2", 0.0f, kSame, true, kDisplayInternal);
    onOff(tag::MorphWrapOn, "Oscillator Morph Wrap On / Off", 0.0f, kSame, false);
    onOff(tag::OscFreeRunningOn, "Oscillator Free-Running On / Off", 1.0f, 1.0f, false);
    cont(tag::Marker, "ONDIX", kDisplayPercent, 1.0f, 0, 1.0f);
    onOff(tag::HasTuning, "Has Tuning", 0.0f);
    for (int i = 0; i < tag::TuningNameChars; ++i)
        cont(tag::TuningNameFirst + i, numbered("Tuning Name - Char ", i + 1, ""), kDisplayInternal,
             0.0f);
    cont(tag::Version, "ONDIX Version", kDisplayPercent, 0.0f);
}
