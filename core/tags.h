// Parameter tags of Ondix.
//
// Every automatable value of the instrument is one tag 0..1023 holding a
// float normalised to 0..1. This header is the one place where tag numbers
// are written down; everything else names them through these constants.
// Blocks of repeated tags have a First constant, a count, and a helper
// taking the 0-based index inside the block.
#pragma once

namespace tag {

constexpr int Count = 1024;

constexpr bool isValid(int t) {
    return static_cast<unsigned>(t) < static_cast<unsigned>(Count);
}

// ------------------------------------------------------------------ global, amp, oscillator
constexpr int DontUse = 0;
constexpr int MainVolume = 1;
constexpr int MainPan = 2;
constexpr int VelocityToVolume = 3;
constexpr int AmpEnvAttack = 4;
constexpr int AmpEnvDecay = 5;
constexpr int AmpEnvSustain = 6;
constexpr int AmpEnvRelease = 7;
constexpr int PortamentoAmount = 8;
constexpr int UnisonDetune = 9;
constexpr int UnisonSpread = 10;
constexpr int DistortAmount = 11;
constexpr int DriftOn = 12;
constexpr int ExpEnvShapeOn = 13;
constexpr int OscWaveA = 14;
constexpr int OscWaveB = 15;
constexpr int OscMorph = 16;
constexpr int OscOctave = 17;
constexpr int OscSymmetry = 18;
constexpr int OscSModAmount = 19;
constexpr int OscSModSpeed = 20;
constexpr int OscSubVolume = 21;
constexpr int OscSpread = 22;

// ------------------------------------------------------------------ filter
constexpr int FilterFreq = 23;
constexpr int FilterQ = 24;
constexpr int ModWheelToFilterFreq = 25;
constexpr int VelocityToFilterFreq = 26;
constexpr int KeyToFilterFreq = 27;
constexpr int EnvToFilterFreq = 28;
constexpr int InvertFilterEnvOn = 29;
constexpr int FilterEnvAttack = 30;
constexpr int FilterEnvDecay = 31;
constexpr int FilterEnvSustain = 32;
constexpr int FilterEnvRelease = 33;
constexpr int HiPassOn = 34; // shown as on/off, but not a switch
constexpr int HiPassFreq = 35;
constexpr int HiPassQOn = 36;
constexpr int HiPassQ = 37;
constexpr int HiPassKeyTrackOn = 38;

// ------------------------------------------------------------------ XY pad
constexpr int XYX = 39;
constexpr int XYY = 40;
constexpr int XYMidiX = 41;
constexpr int XYMidiY = 42;
constexpr int XYModAmountFirst = 43; // X1, Y1, X2, Y2
constexpr int XYModCount = 4;
constexpr int XYXToMorph = 47;
constexpr int XYYToMorph = 48;
constexpr int XYSpeed = 49;
constexpr int XYSmooth = 50;

// ------------------------------------------------------------------ free envelopes, free LFOs
constexpr int FreeEnvCount = 2;
constexpr int FreeEnvFirst = 51; // attack, decay, sustain, fade, release, sync
constexpr int FreeEnvStride = 6;
constexpr int FreeEnvAttack = 0;
constexpr int FreeEnvDecay = 1;
constexpr int FreeEnvSustain = 2;
constexpr int FreeEnvFade = 3;
constexpr int FreeEnvRelease = 4;
constexpr int FreeEnvSync = 5;
constexpr int freeEnv(int env, int field) {
    return FreeEnvFirst + FreeEnvStride * env + field;
}
// The free envelope (0 or 1) tag t belongs to; -1 for every other tag.
constexpr int freeEnvOf(int t) {
    return t >= FreeEnvFirst && t < FreeEnvFirst + FreeEnvCount * FreeEnvStride
               ? (t - FreeEnvFirst) / FreeEnvStride
               : -1;
}

constexpr int FreeLfoCount = 2;
constexpr int FreeLfo1Speed = 63;
constexpr int FreeLfo1SyncOn = 64;
constexpr int FreeLfo2Speed = 65;
constexpr int FreeLfo2SyncOn = 66;
constexpr int freeLfoSpeed(int lfo) {
    return FreeLfo1Speed + 2 * lfo;
}
constexpr int freeLfoSync(int lfo) {
    return FreeLfo1SyncOn + 2 * lfo;
}

// ------------------------------------------------------------------ modulation slots
constexpr int ModSlotCount = 12;
constexpr int SlotAmountFirst = 67;
constexpr int SlotBypassFirst = 255;
constexpr int SlotSourceFirst = 267;
constexpr int SlotDestFirst = 279;
constexpr int slotAmount(int slot) {
    return SlotAmountFirst + slot;
}
constexpr int slotBypass(int slot) {
    return SlotBypassFirst + slot;
}
constexpr int slotSource(int slot) {
    return SlotSourceFirst + slot;
}
constexpr int slotDest(int slot) {
    return SlotDestFirst + slot;
}

// ------------------------------------------------------------------ effects
constexpr int FXBypassOn = 79;
constexpr int ChorusOn = 80;
constexpr int ChorusLength = 81;
constexpr int ChorusWidth = 82;
constexpr int ChorusSpeed = 83;
constexpr int ChorusLP = 84;
constexpr int ChorusHP = 85;
constexpr int ChorusMix = 86;
constexpr int FlangerOrPhaser = 87;
constexpr int FlangerPhaserOn = 88;
constexpr int FlangerLength = 89;
constexpr int FlangerWidth = 90;
constexpr int FlangerSpeed = 91;
constexpr int FlangerFeed = 92;
constexpr int FlangerPanMod = 93;
constexpr int FlangerMix = 94;
constexpr int PhaserPitch = 95;
constexpr int PhaserFeed = 96;
constexpr int PhaserWidth = 97;
constexpr int PhaserSpeed = 98;
constexpr int PhaserPanMod = 99;
constexpr int PhaserMix = 100;
constexpr int DelayOn = 101;
constexpr int DelayLeft = 102;
constexpr int DelayRight = 103;
constexpr int DelayFeed = 104;
constexpr int DelayLP = 105;
constexpr int DelayHP = 106;
constexpr int DelaySyncOn = 107;
constexpr int DelayMix = 108;
constexpr int ReverbOn = 109;
constexpr int ReverbPreDelay = 110;
constexpr int ReverbSize = 111;
constexpr int ReverbLength = 112;
constexpr int ReverbDamp = 113;
constexpr int ReverbHP = 114;
constexpr int ReverbMix = 115;

// ------------------------------------------------------------------ arpeggiator, first block
constexpr int ArpOn = 116;
constexpr int ArpNumSteps = 117;
constexpr int ArpLoopStart = 118;
constexpr int ArpSpeed = 119;
constexpr int ArpSwing = 120;
constexpr int ArpSlide = 121;
constexpr int ArpVelocityKey = 122;
constexpr int ArpVelocityRatchet = 123;
constexpr int ArpMagicSteps = 124;
constexpr int ArpHostSyncOn = 125;
constexpr int ArpLatchOn = 126;
constexpr int ArpKeyEntryOn = 127;

// ------------------------------------------------------------------ internal values
constexpr int InternalFirst = 128; // "Internal - 1" .. "Internal - 115"
constexpr int InternalCount = 115;
constexpr int InternalLast = 242;
constexpr int PresetNameFirst = 208; // one character per tag
constexpr int PresetNameLength = 28;
constexpr int PresetNameLast = 235;
// Tags 129..242 never reach the editor's controls.
constexpr int EditorSkipFirst = 129;
constexpr int EditorSkipLast = 242;

// ------------------------------------------------------------------ play, modes
constexpr int PlayMode = 243;
constexpr int PortamentoMode = 244;
constexpr int UnisonMode = 245;
constexpr int PitchBendDown = 246;
constexpr int PitchBendUp = 247;
constexpr int DistortMode = 248;
constexpr int OscMode = 249;
constexpr int FilterType = 250;
constexpr int FreeLfo1Mode = 251;
constexpr int FreeLfo1Wave = 252;
constexpr int FreeLfo2Mode = 253;
constexpr int FreeLfo2Wave = 254;
constexpr int freeLfoMode(int lfo) {
    return FreeLfo1Mode + 2 * lfo;
}
constexpr int freeLfoWave(int lfo) {
    return FreeLfo1Wave + 2 * lfo;
}

// ------------------------------------------------------------------ arpeggiator, second block
constexpr int ArpMode = 291;
constexpr int ArpOctave = 292;
constexpr int ArpTiedMode = 293;
constexpr int ArpRatchetMode = 294;
constexpr int ArpLoopMode = 295;
constexpr int ArpStepsCatchup = 296;
constexpr int ArpLoopStartCatchup = 297;
constexpr int ArpMagicMode = 298;
constexpr int SetArpRandom = 299;
constexpr int ArpRandomOn = 300;
constexpr int ArpStepCount = 16;
constexpr int ArpRandomTuneFirst = 301;
constexpr int arpRandomTune(int step) {
    return ArpRandomTuneFirst + step;
}

// The arpeggiator grid: 8 rows by 16 steps, tag = 317 + 16 * row + step.
constexpr int ArpGridFirst = 317;
constexpr int ArpRowCount = 8;
enum ArpRow : int { RowOn, RowTied, RowSlide, RowTune, RowVelocity, RowChord, RowFree, RowRatchet };
constexpr int arpStep(int row, int step) {
    return ArpGridFirst + ArpStepCount * row + step;
}
constexpr int ArpGridLast = 444;

// ------------------------------------------------------------------ XY pad, modes and path
constexpr int XYRecordMode = 445;
constexpr int XYLoopMode = 446;
constexpr int XYPlayMode = 447;
constexpr int XYSyncToMode = 448;
constexpr int XYPointQuant = 449;
constexpr int XYTimeQuant = 450;
constexpr int XYSpaceQuant = 451;
constexpr int XYModDestFirst = 452; // X1, Y1, X2, Y2
constexpr int XYEditOn = 456;
constexpr int XYLengthSec = 457;
constexpr int XYLengthMs = 458;
constexpr int XYPointCount = 128;
constexpr int XYPointXFirst = 459;
constexpr int XYPointYFirst = 587;
constexpr int xyPointX(int point) {
    return XYPointXFirst + point;
}
constexpr int xyPointY(int point) {
    return XYPointYFirst + point;
}

// ------------------------------------------------------------------ user waves
constexpr int UserWaveCount = 2;
constexpr int PartialCount = 128;
constexpr int PartialFirst = 715; // wave 0: 715..842, wave 1: 843..970
constexpr int partial(int wave, int index) {
    return PartialFirst + PartialCount * wave + index;
}
constexpr int PartialLast = 970;
constexpr int WaveHasPresetFirst = 971;
constexpr int UserWaveNameChars = 10; // two characters per tag
constexpr int WaveNameFirst = 973;    // wave 0: 973..982, wave 1: 983..992
constexpr int waveName(int wave, int index) {
    return WaveNameFirst + UserWaveNameChars * wave + index;
}
constexpr int WaveNameLast = 992;
constexpr int WaveShaper1 = 993;
constexpr int WaveShaper2 = 994;
constexpr int WaveShaperMode = 995;
constexpr int ExpPartialsOn = 996;

// ------------------------------------------------------------------ commands, tail
constexpr int ApplyPreset = 997; // "Unused 1": a host write asks for the stored program
constexpr int TakeOver = 998;    // "Unused 2": the current values become the loaded state
constexpr int MorphWrapOn = 999;
constexpr int OscFreeRunningOn = 1000;
constexpr int Marker = 1001;
constexpr int HasTuning = 1002;
constexpr int TuningNameFirst = 1003; // two characters per tag
constexpr int TuningNameChars = 20;
constexpr int TuningNameLast = 1022;
constexpr int Version = 1023;

} // namespace tag
