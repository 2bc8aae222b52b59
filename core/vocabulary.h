// The fixed display vocabulary of Ondix.
//
// Every text the instrument shows for a choice (modes, waves, filter types,
// tempo-synced lengths, arpeggiator options, modulation sources and
// destinations) and a few menu texts live here as constant tables of C
// strings, read by index. Entry i names choice i; where a table names the
// steps of a stepped parameter it has exactly that parameter's step count,
// and its short twins (names ending in SHORT_STR, and DEST_VERY_SHORT_STR)
// have the same length and index meaning. The long form goes into value
// texts and popup menus, the short forms where room is small.
//
// The tables are constant-initialised data: they exist before any code of
// the process runs, so they can be read from any thread, by any plug-in
// instance and from other static initialisers, without locks. Texts are
// plain ASCII; an entry may be empty, and leading or trailing blanks belong
// to the text (SRC_STR[19] is "Breath (CC2) ").
//
// The preference keys (REG_...) are kept with the preference store in
// platform/prefs.h.
#pragma once

#include <array>
#include <cstddef>

// A vocabulary table of N entries.
template <std::size_t N> using Vocab = std::array<const char*, N>;

// Entry `index` of a table, with the index clamped into it: a negative index
// gives the first entry and an index past the end the last, the same way a
// stepped value clamps to its steps. Never null.
template <std::size_t N> constexpr const char* vocabAt(const Vocab<N>& table, int index) {
    static_assert(N > 0, "a vocabulary table is never empty");
    if (index < 0) return table[0];
    if (static_cast<std::size_t>(index) >= N) return table[N - 1];
    return table[static_cast<std::size_t>(index)];
}

// ------------------------------------------------------------------ editor sizes, MIDI, presets
// Index = GUI size index 0..3 (100, 125, 150, 200 per cent).
extern const Vocab<4> SCREEN_SIZE_STR;       // "100% Screen Size" ..
extern const Vocab<4> SET_SCREEN_SIZE_STR;   // "Set To 100% Screen Size" ..
extern const Vocab<4> SCREEN_SIZE_SHORT_STR; // "100%" ..
// Index = MIDI channel preference: 0 "Omni", 1..16 "CH 01" .. "CH 16".
extern const Vocab<17> MIDI_IN_CHANNEL_STR;
// Titles of the eight groups of 32 presets in the preset menu.
extern const Vocab<8> PRESET_SUB_HEADER_STR;
// Preset menu commands; "-" is a separator line. The editor reads 20..23.
extern const Vocab<24> PRESET_COMMAND_STR;
extern const char* const BAD_FOLDER_NAME_STR;      // "UNKNOWN_FOLDER"
extern const char* const BAD_PRESET_NAME_STR;      // "UNKNOWN_PRESET"
extern const char* const DONT_WRITE_FILE_NAME_STR; // "DONT_WRITE_FILE_NAME"

// ------------------------------------------------------------------ switches and section locks
extern const Vocab<2> OFF_ON_STR; // index 1 when a switch is on
extern const Vocab<3> LOCK_STR;   // lock buttons: "Off", "On", "Set"

// ---------------------------------------------- play, portamento, unison, bend, distortion
extern const Vocab<9> PLAY_MODE_STR; // tag::PlayMode; 8 is the arpeggiator mode
extern const Vocab<9> PLAY_MODE_SHORT_STR;
extern const Vocab<5> PORT_MODE_STR; // effective portamento mode (tag::PortamentoMode)
extern const Vocab<5> PORT_MODE_SHORT_STR;
extern const Vocab<24> UNI_MODE_STR;     // tag::UnisonMode
extern const Vocab<16> PITCH_BEND_STR;   // tag::PitchBendDown, tag::PitchBendUp (semitones)
extern const Vocab<12> DISTORT_MODE_STR; // tag::DistortMode
extern const Vocab<12> DISTORT_MODE_SHORT_STR;

// ------------------------------------------------------------------ oscillator and waves
extern const Vocab<15> OSC_MODE_STR; // tag::OscMode
extern const Vocab<15> OSC_MODE_SHORT_STR;
extern const Vocab<9> OSC_OCT_STR; // tag::OscOctave: "-4" .. "4"
// Index = wave number (tag::OscWaveA, tag::OscWaveB): 0..182 the factory
// waves, 183 "User 1", 184 "User 2".
extern const Vocab<185> OSC_WAVE_STR;
// The main screen's wave list: "None", then OSC_WAVE_STR without the two
// noise waves (14, 15), so "User 1" is entry 182 here.
extern const Vocab<184> WAVE_STR;
extern const Vocab<7> WAVE_SUB_STR; // group titles of the wave menus

// ------------------------------------------------------------------ filter
extern const Vocab<22> FILTER_TYPE_STR; // tag::FilterType: "Bypass", then the 21 types

// ------------------------------------------------------------------ tempo-synced lengths
// All built from one list of 33 note lengths, shortest first:
// "1/32T", "1/32", "1/32*", "1/16T" .. "32/1T", "32/1", "32/1*".
// tag::XYTimeQuant / tag::XYSyncToMode: "Off", then every length + " QB";
// entry 30 of XY_TIME_QUANT_STR is "16/1*" without the ending.
extern const Vocab<34> XY_TIME_QUANT_STR;
extern const Vocab<34> XY_SYNC_TO_MODE_STR;
extern const Vocab<34> XY_TIME_QUANT_SHORT_STR; // the same without " QB"
extern const Vocab<34> XY_SYNC_TO_MODE_SHORT_STR;
// Envelope stage times while their section syncs: lengths "1/32T" ..
// "16/1*" + " QB" (0..29), then "Off" (30).
extern const Vocab<31> ENV_TEMPO_SYNC_STR;
// Free-envelope fade times while synced: "Down 1/32T QB" .. "Down 16/1* QB",
// "Off" (30), "Up 16/1* QB" .. "Up 1/32 QB", "Up 1/32T" (60, no ending).
extern const Vocab<61> ENV_FADE_TEMPO_SYNC_STR;
// Free LFO speeds while synced: "Off", then every length longest first + " QB".
extern const Vocab<34> LFO_PERIOD_STR;
// tag::FlangerSpeed, tag::PhaserSpeed: "Off", then "32/1*" down to "1/16T".
extern const Vocab<31> FX_PERIOD_STR;
// Delay left/right while synced: "1/32T" .. "1/2*".
extern const Vocab<15> DELAY_LEN_STR;

// ------------------------------------------------------------------ LFOs
extern const Vocab<4> LFO_MODE_STR;  // tag::freeLfoMode
extern const Vocab<19> LFO_WAVE_STR; // tag::freeLfoWave
extern const Vocab<19> LFO_WAVE_SHORT_STR;

// ------------------------------------------------------------------ modulation
extern const Vocab<75> SRC_STR; // index = modulation source (tag::slotSource)
extern const Vocab<75> SRC_SHORT_STR;
extern const Vocab<3> SRC_SUB_STR; // titles of the three source groups
// Index = modulation destination (tag::slotDest, tag::XYModDestFirst..).
extern const Vocab<222> DEST_STR;
extern const Vocab<222> DEST_SHORT_STR;
extern const Vocab<222> DEST_VERY_SHORT_STR;
extern const Vocab<12> DEST_SUB_STR; // titles of the twelve destination groups
// Index = modulation slot 0..15: "Slot 01" .. "Slot 12", then the four XY slots.
extern const Vocab<16> MOD_STR;
extern const Vocab<12> SLOT_STR; // "Slot 01" .. "Slot 12"

// ------------------------------------------------------------------ XY pad
extern const Vocab<3> XY_RECORD_MODE_STR; // tag::XYRecordMode
extern const Vocab<3> XY_LOOP_MODE_STR;   // tag::XYLoopMode
extern const Vocab<3> XY_LOOP_MODE_SHORT_STR;
extern const Vocab<4> XY_PLAY_MODE_STR;   // tag::XYPlayMode
extern const Vocab<7> XY_POINT_QUANT_STR; // tag::XYPointQuant
extern const Vocab<5> XY_SPACE_QUANT_STR; // tag::XYSpaceQuant

// --------------------------------------------------------- arpeggiator and step sequencer
extern const Vocab<16> ARP_MODE_STR; // tag::ArpMode
extern const Vocab<16> ARP_MODE_SHORT_STR;
extern const Vocab<4> ARP_OCT_STR;          // tag::ArpOctave
extern const Vocab<16> ARP_STEPS_STR;       // tag::ArpNumSteps, tag::ArpLoopStart: "1" .. "16"
extern const Vocab<17> ARP_SPEED_STR;       // tag::ArpSpeed: "1/16x" .. "16x"
extern const Vocab<4> ARP_TIED_MODE_STR;    // tag::ArpTiedMode
extern const Vocab<4> ARP_RATCHET_STR;      // grid row RowRatchet
extern const Vocab<9> ARP_RATCHET_MODE_STR; // tag::ArpRatchetMode
extern const Vocab<9> ARP_RATCHET_SHORT_MODE_STR;
extern const Vocab<3> ARP_LOOP_MODE_STR;   // tag::ArpLoopMode: "On" comes first
extern const Vocab<3> ARP_CATCHUP_STR;     // tag::ArpStepsCatchup, tag::ArpLoopStartCatchup
extern const Vocab<13> ARP_MAGIC_MODE_STR; // tag::ArpMagicMode ("sm": semitones)
extern const Vocab<13> ARP_MAGIC_MODE_SHORT_STR;
extern const Vocab<9> ARP_MAGIC_STEPS_STR; // tag::ArpMagicSteps
extern const Vocab<9> ARP_MAGIC_STEPS_SHORT_STR;
extern const Vocab<21> ARP_CHORD_STR; // grid row RowChord
extern const Vocab<21> ARP_CHORD_SHORT_STR;

// ------------------------------------------------------------------ wave shaper
// Index = tag::WaveShaperMode. The labels caption tag::WaveShaper1 and
// tag::WaveShaper2 in that mode; an empty caption means the amount is unused.
extern const Vocab<23> WAVE_SHAPER_STR;
extern const Vocab<23> WAVE_SHAPER_LABEL_1_STR;
extern const Vocab<23> WAVE_SHAPER_LABEL_2_STR;
