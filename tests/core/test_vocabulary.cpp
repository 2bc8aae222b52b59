// The vocabulary tables: sizes against the stepped parameters they name,
// the texts at both ends of every table, the irregular entries, the tables
// built by a rule, and the clamped lookup.

#include "core/paramtable.h"
#include "core/tags.h"
#include "core/vocabulary.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

using Texts = std::vector<const char*>;

template <std::size_t N> Texts texts(const Vocab<N>& table) {
    return Texts(table.begin(), table.end());
}

const ParamTable& params() {
    return ParamTable::get();
}

// One table as the tests see it.
struct Table {
    const char* name;
    Texts entries;
    std::size_t count;
    const char* first;
    const char* last;
};

#define VOCAB_TABLE(NAME, COUNT, FIRST, LAST)                                                      \
    Table {                                                                                        \
#NAME, texts(NAME), COUNT, FIRST, LAST                                                     \
    }

std::vector<Table> allTables() {
    return {
        VOCAB_TABLE(SCREEN_SIZE_STR, 4, "100% Screen Size", "200% Screen Size"),
        VOCAB_TABLE(SET_SCREEN_SIZE_STR, 4, "Set To 100% Screen Size", "Set To 200% Screen Size"),
        VOCAB_TABLE(SCREEN_SIZE_SHORT_STR, 4, "100%", "200%"),
        VOCAB_TABLE(MIDI_IN_CHANNEL_STR, 17, "Omni", "CH 16"),
        VOCAB_TABLE(PRESET_SUB_HEADER_STR, 8, "Preset 1-32", "Preset 225 - 256"),
        VOCAB_TABLE(PRESET_COMMAND_STR, 24, "Save Current Preset in Favorites",
                    "Set To 200% Screen Size"),
        VOCAB_TABLE(OFF_ON_STR, 2, "Off", "On"),
        VOCAB_TABLE(LOCK_STR, 3, "Off", "Set"),
        VOCAB_TABLE(PLAY_MODE_STR, 9, "Poly", "Arp"),
        VOCAB_TABLE(PLAY_MODE_SHORT_STR, 9, "Poly", "Arp"),
        VOCAB_TABLE(PORT_MODE_STR, 5, "Off", "Held Time"),
        VOCAB_TABLE(PORT_MODE_SHORT_STR, 5, "Off", "Held Time"),
        VOCAB_TABLE(UNI_MODE_STR, 24, "Off", "Diminish 7"),
        VOCAB_TABLE(PITCH_BEND_STR, 16, "Off", "48"),
        VOCAB_TABLE(DISTORT_MODE_STR, 12, "Off", "Square"),
        VOCAB_TABLE(DISTORT_MODE_SHORT_STR, 12, "Off", "Sqr"),
        VOCAB_TABLE(OSC_MODE_STR, 15, "Mix", "Range"),
        VOCAB_TABLE(OSC_MODE_SHORT_STR, 15, "Mix", "Range"),
        VOCAB_TABLE(OSC_OCT_STR, 9, "-4", "4"),
        VOCAB_TABLE(OSC_WAVE_STR, 185, "Sine", "User 2"),
        VOCAB_TABLE(WAVE_STR, 184, "None", "User 2"),
        VOCAB_TABLE(WAVE_SUB_STR, 7, "Analog Waves", "Saved Waves"),
        VOCAB_TABLE(FILTER_TYPE_STR, 22, "Bypass", "Amp Mod"),
        VOCAB_TABLE(XY_TIME_QUANT_STR, 34, "Off", "32/1* QB"),
        VOCAB_TABLE(XY_SYNC_TO_MODE_STR, 34, "Off", "32/1* QB"),
        VOCAB_TABLE(XY_TIME_QUANT_SHORT_STR, 34, "Off", "32/1*"),
        VOCAB_TABLE(XY_SYNC_TO_MODE_SHORT_STR, 34, "Off", "32/1*"),
        VOCAB_TABLE(ENV_TEMPO_SYNC_STR, 31, "1/32T QB", "Off"),
        VOCAB_TABLE(ENV_FADE_TEMPO_SYNC_STR, 61, "Down 1/32T QB", "Up 1/32T"),
        VOCAB_TABLE(LFO_PERIOD_STR, 34, "Off", "1/32T QB"),
        VOCAB_TABLE(FX_PERIOD_STR, 31, "Off", "1/16T"),
        VOCAB_TABLE(DELAY_LEN_STR, 15, "1/32T", "1/2*"),
        VOCAB_TABLE(LFO_MODE_STR, 4, "Poly", "Legato"),
        VOCAB_TABLE(LFO_WAVE_STR, 19, "Sine", "User 2"),
        VOCAB_TABLE(LFO_WAVE_SHORT_STR, 19, "Sin", "User 2"),
        VOCAB_TABLE(SRC_STR, 75, "None", "UniPolar Pink Noise"),
        VOCAB_TABLE(SRC_SHORT_STR, 75, "None", "Uni Pink"),
        VOCAB_TABLE(SRC_SUB_STR, 3, "MIDI Sources", "Other Sources"),
        VOCAB_TABLE(DEST_STR, 222, "None", "Reverb Mix"),
        VOCAB_TABLE(DEST_SHORT_STR, 222, "None", "Reverb Mix"),
        VOCAB_TABLE(DEST_VERY_SHORT_STR, 222, "None", "Rvb Mix"),
        VOCAB_TABLE(DEST_SUB_STR, 12, "Global", "Delay/Reverb"),
        VOCAB_TABLE(MOD_STR, 16, "Slot 01", "XY Y 2"),
        VOCAB_TABLE(SLOT_STR, 12, "Slot 01", "Slot 12"),
        VOCAB_TABLE(XY_RECORD_MODE_STR, 3, "Live", "Replay"),
        VOCAB_TABLE(XY_LOOP_MODE_STR, 3, "Off", "<> PingPong"),
        VOCAB_TABLE(XY_LOOP_MODE_SHORT_STR, 3, "Off", "<>"),
        VOCAB_TABLE(XY_PLAY_MODE_STR, 4, "Poly", "Legato"),
        VOCAB_TABLE(XY_POINT_QUANT_STR, 7, "128", "2"),
        VOCAB_TABLE(XY_SPACE_QUANT_STR, 5, "Off", "4"),
        VOCAB_TABLE(ARP_MODE_STR, 16, "Up", "Sequencer Mono"),
        VOCAB_TABLE(ARP_MODE_SHORT_STR, 16, "Up", "Seq Mn"),
        VOCAB_TABLE(ARP_OCT_STR, 4, "1", "4"),
        VOCAB_TABLE(ARP_STEPS_STR, 16, "1", "16"),
        VOCAB_TABLE(ARP_SPEED_STR, 17, "1/16x", "16x"),
        VOCAB_TABLE(ARP_TIED_MODE_STR, 4, "Normal", "Toggle2"),
        VOCAB_TABLE(ARP_RATCHET_STR, 4, "Off", "4"),
        VOCAB_TABLE(ARP_RATCHET_MODE_STR, 9, "Off", "Velocity"),
        VOCAB_TABLE(ARP_RATCHET_SHORT_MODE_STR, 9, "Off", "Vel"),
        VOCAB_TABLE(ARP_LOOP_MODE_STR, 3, "On", "PingPong"),
        VOCAB_TABLE(ARP_CATCHUP_STR, 3, "All", "Odd"),
        VOCAB_TABLE(ARP_MAGIC_MODE_STR, 13, "Step", "Step +/-12 sm"),
        VOCAB_TABLE(ARP_MAGIC_MODE_SHORT_STR, 13, "Step", "St +/-12sm"),
        VOCAB_TABLE(ARP_MAGIC_STEPS_STR, 9, "0: Off", "4 Steps: Random"),
        VOCAB_TABLE(ARP_MAGIC_STEPS_SHORT_STR, 9, "0: Off", "4: Rnd"),
        VOCAB_TABLE(ARP_CHORD_STR, 21, "Set", "Diminished 7"),
        VOCAB_TABLE(ARP_CHORD_SHORT_STR, 21, "Set", "Dim 7"),
        VOCAB_TABLE(WAVE_SHAPER_STR, 23, "Manual", "Random"),
        VOCAB_TABLE(WAVE_SHAPER_LABEL_1_STR, 23, "", "Start"),
        VOCAB_TABLE(WAVE_SHAPER_LABEL_2_STR, 23, "", "End"),
    };
}

#undef VOCAB_TABLE

// A stepped parameter (or block of them) and the tables that name its steps.
struct StepTables {
    int first, last;
    std::vector<std::pair<const char*, Texts>> tables;
};

#define NAMED(TABLE)                                                                               \
    std::pair<const char*, Texts> {                                                                \
#TABLE, texts(TABLE)                                                                       \
    }

std::vector<StepTables> steppedParameters() {
    using namespace tag;
    return {
        {OscWaveA, OscWaveB, {NAMED(OSC_WAVE_STR)}},
        {OscOctave, OscOctave, {NAMED(OSC_OCT_STR)}},
        {FlangerSpeed, FlangerSpeed, {NAMED(FX_PERIOD_STR)}},
        {PhaserSpeed, PhaserSpeed, {NAMED(FX_PERIOD_STR)}},
        {ArpNumSteps, ArpLoopStart, {NAMED(ARP_STEPS_STR)}},
        {ArpSpeed, ArpSpeed, {NAMED(ARP_SPEED_STR)}},
        {ArpMagicSteps,
         ArpMagicSteps,
         {NAMED(ARP_MAGIC_STEPS_STR), NAMED(ARP_MAGIC_STEPS_SHORT_STR)}},
        {PlayMode, PlayMode, {NAMED(PLAY_MODE_STR), NAMED(PLAY_MODE_SHORT_STR)}},
        {PortamentoMode, PortamentoMode, {NAMED(PORT_MODE_STR), NAMED(PORT_MODE_SHORT_STR)}},
        {UnisonMode, UnisonMode, {NAMED(UNI_MODE_STR)}},
        {PitchBendDown, PitchBendUp, {NAMED(PITCH_BEND_STR)}},
        {DistortMode, DistortMode, {NAMED(DISTORT_MODE_STR), NAMED(DISTORT_MODE_SHORT_STR)}},
        {OscMode, OscMode, {NAMED(OSC_MODE_STR), NAMED(OSC_MODE_SHORT_STR)}},
        {FilterType, FilterType, {NAMED(FILTER_TYPE_STR)}},
        {FreeLfo1Mode, FreeLfo1Mode, {NAMED(LFO_MODE_STR)}},
        {FreeLfo2Mode, FreeLfo2Mode, {NAMED(LFO_MODE_STR)}},
        {FreeLfo1Wave, FreeLfo1Wave, {NAMED(LFO_WAVE_STR), NAMED(LFO_WAVE_SHORT_STR)}},
        {FreeLfo2Wave, FreeLfo2Wave, {NAMED(LFO_WAVE_STR), NAMED(LFO_WAVE_SHORT_STR)}},
        {slotSource(0), slotSource(ModSlotCount - 1), {NAMED(SRC_STR), NAMED(SRC_SHORT_STR)}},
        {slotDest(0),
         slotDest(ModSlotCount - 1),
         {NAMED(DEST_STR), NAMED(DEST_SHORT_STR), NAMED(DEST_VERY_SHORT_STR)}},
        {XYModDestFirst,
         XYModDestFirst + XYModCount - 1,
         {NAMED(DEST_STR), NAMED(DEST_SHORT_STR), NAMED(DEST_VERY_SHORT_STR)}},
        {ArpMode, ArpMode, {NAMED(ARP_MODE_STR), NAMED(ARP_MODE_SHORT_STR)}},
        {ArpOctave, ArpOctave, {NAMED(ARP_OCT_STR)}},
        {ArpTiedMode, ArpTiedMode, {NAMED(ARP_TIED_MODE_STR)}},
        {ArpRatchetMode,
         ArpRatchetMode,
         {NAMED(ARP_RATCHET_MODE_STR), NAMED(ARP_RATCHET_SHORT_MODE_STR)}},
        {ArpLoopMode, ArpLoopMode, {NAMED(ARP_LOOP_MODE_STR)}},
        {ArpStepsCatchup, ArpLoopStartCatchup, {NAMED(ARP_CATCHUP_STR)}},
        {ArpMagicMode, ArpMagicMode, {NAMED(ARP_MAGIC_MODE_STR), NAMED(ARP_MAGIC_MODE_SHORT_STR)}},
        {arpStep(RowChord, 0),
         arpStep(RowChord, ArpStepCount - 1),
         {NAMED(ARP_CHORD_STR), NAMED(ARP_CHORD_SHORT_STR)}},
        {arpStep(RowRatchet, 0), arpStep(RowRatchet, ArpStepCount - 1), {NAMED(ARP_RATCHET_STR)}},
        {XYRecordMode, XYRecordMode, {NAMED(XY_RECORD_MODE_STR)}},
        {XYLoopMode, XYLoopMode, {NAMED(XY_LOOP_MODE_STR), NAMED(XY_LOOP_MODE_SHORT_STR)}},
        {XYPlayMode, XYPlayMode, {NAMED(XY_PLAY_MODE_STR)}},
        {XYSyncToMode,
         XYSyncToMode,
         {NAMED(XY_SYNC_TO_MODE_STR), NAMED(XY_SYNC_TO_MODE_SHORT_STR)}},
        {XYPointQuant, XYPointQuant, {NAMED(XY_POINT_QUANT_STR)}},
        {XYTimeQuant, XYTimeQuant, {NAMED(XY_TIME_QUANT_STR), NAMED(XY_TIME_QUANT_SHORT_STR)}},
        {XYSpaceQuant, XYSpaceQuant, {NAMED(XY_SPACE_QUANT_STR)}},
        {WaveShaperMode,
         WaveShaperMode,
         {NAMED(WAVE_SHAPER_STR), NAMED(WAVE_SHAPER_LABEL_1_STR), NAMED(WAVE_SHAPER_LABEL_2_STR)}},
    };
}

#undef NAMED

// The 33 note lengths behind the tempo-synced tables, shortest first.
std::vector<std::string> noteLengths() {
    std::vector<std::string> out;
    for (const char* base :
         {"1/32", "1/16", "1/8", "1/4", "1/2", "1/1", "2/1", "4/1", "8/1", "16/1", "32/1"}) {
        out.push_back(std::string(base) + "T");
        out.push_back(base);
        out.push_back(std::string(base) + "*");
    }
    return out;
}

std::string numbered(const char* format, int n) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, format, n);
    return buffer;
}

} // namespace

TEST(VocabularyTables, CountsEndsAndPlainText) {
    const auto tables = allTables();
    EXPECT_EQ(tables.size(), 70u); // the preference keys live with the preference store
    std::set<std::string> names;
    for (const Table& t : tables) {
        SCOPED_TRACE(t.name);
        EXPECT_TRUE(names.insert(t.name).second);
        ASSERT_EQ(t.entries.size(), t.count);
        for (std::size_t i = 0; i < t.entries.size(); ++i) {
            const char* s = t.entries[i];
            ASSERT_NE(s, nullptr) << "entry " << i;
            // Fits a value text (32 characters) and is printable ASCII.
            EXPECT_LE(std::strlen(s), 32u) << "entry " << i;
            for (const char* c = s; *c; ++c) EXPECT_TRUE(*c >= 0x20 && *c <= 0x7e) << "entry " << i;
        }
        EXPECT_STREQ(t.entries.front(), t.first);
        EXPECT_STREQ(t.entries.back(), t.last);
    }
}

TEST(VocabularyTables, SingleStrings) {
    EXPECT_STREQ(BAD_FOLDER_NAME_STR, "UNKNOWN_FOLDER");
    EXPECT_STREQ(BAD_PRESET_NAME_STR, "UNKNOWN_PRESET");
    EXPECT_STREQ(DONT_WRITE_FILE_NAME_STR, "DONT_WRITE_FILE_NAME");
}

TEST(VocabularyTables, EachListNamesExactlyTheStepsOfItsParameter) {
    for (const StepTables& p : steppedParameters()) {
        for (int t = p.first; t <= p.last; ++t) {
            const int steps = params().steppedNum[t];
            for (const auto& [name, entries] : p.tables)
                EXPECT_EQ(entries.size(), static_cast<std::size_t>(steps))
                    << name << " for tag " << t << " (" << params().paramName[t] << ")";
        }
    }
}

TEST(VocabularyTables, EveryStepListParameterHasATable) {
    std::set<int> covered;
    for (const StepTables& p : steppedParameters())
        for (int t = p.first; t <= p.last; ++t) covered.insert(t);
    for (int t = 0; t < tag::Count; ++t) {
        const int steps = params().steppedNum[t];
        if (steps <= 0) continue;
        switch (params().displayKind[t]) {
        case kDisplayOwn:
        case kDisplayModSource:
        case kDisplayModDest:
            EXPECT_TRUE(covered.count(t)) << "tag " << t << " " << params().paramName[t];
            break;
        case kDisplayOnOff:
            EXPECT_EQ(OFF_ON_STR.size(), static_cast<std::size_t>(steps)) << "tag " << t;
            break;
        default:
            break;
        }
    }
}

// The continuous parameters that show a tempo-synced length pass their own
// step count, which is the table's length.
TEST(VocabularyTables, TempoSyncedLengthsOfContinuousParameters) {
    EXPECT_EQ(LFO_PERIOD_STR.size(), 34u);          // free LFO speeds, range 33.99
    EXPECT_EQ(DELAY_LEN_STR.size(), 15u);           // delay left/right, range 14.99
    EXPECT_EQ(ENV_TEMPO_SYNC_STR.size(), 31u);      // envelope stages, range 30.99
    EXPECT_EQ(ENV_FADE_TEMPO_SYNC_STR.size(), 61u); // free-envelope fades, range 60.99
}

TEST(VocabularyTables, EveryStepValueFindsItsEntry) {
    for (const StepTables& p : steppedParameters()) {
        const int t = p.first;
        const float range = params().steppedRange[t];
        const auto& entries = p.tables.front().second;
        const int count = static_cast<int>(entries.size());
        for (int s = 0; s < count; ++s) {
            const float value = ParamTable::stepToValue(s, range);
            const int step = static_cast<int>(value * range + 0.1f);
            EXPECT_EQ(step, s) << "tag " << t;
        }
        // The top of the value range reaches the last entry (and lies past it for many lists).
        EXPECT_GE(static_cast<int>(1.0f * range + 0.1f), count - 1) << "tag " << t;
    }
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, static_cast<int>(23.99f + 0.1f)), "Amp Mod");
    EXPECT_STREQ(vocabAt(SRC_STR, static_cast<int>(99.99f + 0.1f)), "UniPolar Pink Noise");
    EXPECT_STREQ(vocabAt(DEST_STR, static_cast<int>(299.99f + 0.1f)), "Reverb Mix");
}

TEST(VocabularyTables, ShortFormsAreNeverLonger) {
    const std::pair<Texts, Texts> twins[] = {
        {texts(SCREEN_SIZE_STR), texts(SCREEN_SIZE_SHORT_STR)},
        {texts(PLAY_MODE_STR), texts(PLAY_MODE_SHORT_STR)},
        {texts(PORT_MODE_STR), texts(PORT_MODE_SHORT_STR)},
        {texts(DISTORT_MODE_STR), texts(DISTORT_MODE_SHORT_STR)},
        {texts(OSC_MODE_STR), texts(OSC_MODE_SHORT_STR)},
        {texts(XY_TIME_QUANT_STR), texts(XY_TIME_QUANT_SHORT_STR)},
        {texts(XY_SYNC_TO_MODE_STR), texts(XY_SYNC_TO_MODE_SHORT_STR)},
        {texts(LFO_WAVE_STR), texts(LFO_WAVE_SHORT_STR)},
        {texts(SRC_STR), texts(SRC_SHORT_STR)},
        {texts(DEST_STR), texts(DEST_SHORT_STR)},
        {texts(DEST_SHORT_STR), texts(DEST_VERY_SHORT_STR)},
        {texts(XY_LOOP_MODE_STR), texts(XY_LOOP_MODE_SHORT_STR)},
        {texts(ARP_MODE_STR), texts(ARP_MODE_SHORT_STR)},
        {texts(ARP_RATCHET_MODE_STR), texts(ARP_RATCHET_SHORT_MODE_STR)},
        {texts(ARP_MAGIC_MODE_STR), texts(ARP_MAGIC_MODE_SHORT_STR)},
        {texts(ARP_MAGIC_STEPS_STR), texts(ARP_MAGIC_STEPS_SHORT_STR)},
        {texts(ARP_CHORD_STR), texts(ARP_CHORD_SHORT_STR)},
    };
    for (const auto& [full, brief] : twins) {
        ASSERT_EQ(full.size(), brief.size());
        for (std::size_t i = 0; i < full.size(); ++i)
            EXPECT_LE(std::strlen(brief[i]), std::strlen(full[i])) << full[i] << " / " << brief[i];
    }
}

TEST(VocabularyTables, MenuListsHaveNoDuplicates) {
    for (const Table& t : allTables()) {
        const std::string name = t.name;
        if (name == "PRESET_COMMAND_STR" || name.rfind("WAVE_SHAPER_LABEL", 0) == 0) continue;
        std::set<std::string> seen;
        for (const char* s : t.entries) EXPECT_TRUE(seen.insert(s).second) << name << ": " << s;
    }
}

TEST(VocabularyTables, IrregularEntriesAreKept) {
    EXPECT_STREQ(SRC_STR[19], "Breath (CC2) ");
    EXPECT_STREQ(SRC_SHORT_STR[19], "Breath");
    EXPECT_STREQ(DEST_STR[148], "XY Y To Morph Amount");
    EXPECT_STREQ(DEST_SHORT_STR[148], "XY Y Morph ");
    EXPECT_STREQ(DEST_VERY_SHORT_STR[148], "XY Y Morph ");
    EXPECT_STREQ(DEST_SHORT_STR[147], "XY X Morph");
    EXPECT_STREQ(PRESET_SUB_HEADER_STR[6], "Preset 193-224");
    EXPECT_STREQ(PRESET_SUB_HEADER_STR[7], "Preset 225 - 256");
    EXPECT_STREQ(XY_TIME_QUANT_STR[29], "16/1 QB");
    EXPECT_STREQ(XY_TIME_QUANT_STR[30], "16/1*");
    EXPECT_STREQ(XY_TIME_QUANT_STR[31], "32/1T QB");
    EXPECT_STREQ(XY_SYNC_TO_MODE_STR[30], "16/1* QB");
    EXPECT_STREQ(ENV_FADE_TEMPO_SYNC_STR[0], "Down 1/32T QB");
    EXPECT_STREQ(ENV_FADE_TEMPO_SYNC_STR[30], "Off");
    EXPECT_STREQ(ENV_FADE_TEMPO_SYNC_STR[59], "Up 1/32 QB");
    EXPECT_STREQ(ENV_FADE_TEMPO_SYNC_STR[60], "Up 1/32T");
    for (int i : {10, 16, 19}) EXPECT_STREQ(PRESET_COMMAND_STR[i], "-") << i;
    EXPECT_STRNE(PRESET_COMMAND_STR[15], "");
    EXPECT_STREQ(ARP_RATCHET_SHORT_MODE_STR[4], "2/1Off/On");
    EXPECT_STREQ(ARP_MAGIC_MODE_SHORT_STR[1], "7sm");
    EXPECT_STREQ(ARP_CHORD_SHORT_STR[18], "Sus 7");
    EXPECT_STREQ(UNI_MODE_STR[23], "Diminish 7");
    EXPECT_STREQ(XY_LOOP_MODE_STR[2], "<> PingPong");
    // Wave shaper modes without a use for an amount have an empty caption.
    for (int m : {0, 3, 4, 5, 6, 14, 16}) {
        EXPECT_STREQ(WAVE_SHAPER_LABEL_1_STR[m], "") << m;
        EXPECT_STREQ(WAVE_SHAPER_LABEL_2_STR[m], "") << m;
    }
    EXPECT_STREQ(WAVE_SHAPER_LABEL_1_STR[2], "Start Amount");
    EXPECT_STREQ(WAVE_SHAPER_LABEL_2_STR[12], "Shape");
}

TEST(VocabularyTables, DisplayedSteps) {
    EXPECT_STREQ(FILTER_TYPE_STR[0], "Bypass");
    EXPECT_STREQ(FILTER_TYPE_STR[1], "12dB LP");
    EXPECT_STREQ(FILTER_TYPE_STR[10], "24dB LP II"); // the default filter
    EXPECT_STREQ(FILTER_TYPE_STR[21], "Amp Mod");
    EXPECT_STREQ(PLAY_MODE_STR[1], "Poly MPE");
    EXPECT_STREQ(PLAY_MODE_STR[8], "Arp");
    EXPECT_STREQ(ARP_LOOP_MODE_STR[0], "On");
    EXPECT_STREQ(ARP_LOOP_MODE_STR[1], "Off");
    EXPECT_STREQ(OSC_WAVE_STR[14], "W. Noise");
    EXPECT_STREQ(OSC_WAVE_STR[15], "P. Noise");
    EXPECT_STREQ(OSC_WAVE_STR[54], "Vox 09");
    EXPECT_STREQ(OSC_WAVE_STR[183], "User 1");
    EXPECT_STREQ(WAVE_STR[182], "User 1");
    EXPECT_STREQ(OSC_OCT_STR[4], "0");
    EXPECT_STREQ(PITCH_BEND_STR[12], "12");
    EXPECT_STREQ(PITCH_BEND_STR[13], "24");
    EXPECT_STREQ(ARP_SPEED_STR[8], "1x");
    EXPECT_STREQ(XY_SYNC_TO_MODE_STR[17], "1/1 QB"); // the default sync mode
    EXPECT_STREQ(FX_PERIOD_STR[10], "4/1*");         // the default flanger and phaser speed
    EXPECT_STREQ(SRC_STR[53], "Arp On / Off");
    EXPECT_STREQ(SRC_STR[61], "XY Distance");
    EXPECT_STREQ(DEST_STR[74], "Filter Frequency");
    EXPECT_STREQ(DEST_STR[86], "Main Volume");
    EXPECT_STREQ(DEST_VERY_SHORT_STR[61], "Osc Dn Semi");
    EXPECT_STREQ(LFO_WAVE_SHORT_STR[9], "-SawUp");
    EXPECT_STREQ(MOD_STR[11], "Slot 12");
    EXPECT_STREQ(MOD_STR[12], "XY X 1");
}

TEST(VocabularyTables, TempoSyncedListsFollowTheNoteLengths) {
    const auto lengths = noteLengths();
    ASSERT_EQ(lengths.size(), 33u);
    EXPECT_EQ(lengths[14], "1/2*");
    EXPECT_EQ(lengths[29], "16/1*");
    for (std::size_t k = 0; k < 33; ++k) {
        const std::string qb = lengths[k] + " QB";
        EXPECT_EQ(XY_TIME_QUANT_STR[k + 1], k + 1 == 30 ? lengths[k] : qb) << k;
        EXPECT_EQ(XY_SYNC_TO_MODE_STR[k + 1], qb) << k;
        EXPECT_EQ(XY_TIME_QUANT_SHORT_STR[k + 1], lengths[k]) << k;
        EXPECT_EQ(XY_SYNC_TO_MODE_SHORT_STR[k + 1], lengths[k]) << k;
        EXPECT_EQ(LFO_PERIOD_STR[33 - k], qb) << k;
        if (k < 30) {
            EXPECT_EQ(ENV_TEMPO_SYNC_STR[k], qb) << k;
            EXPECT_EQ(ENV_FADE_TEMPO_SYNC_STR[k], "Down " + qb) << k;
            if (k > 0) {
                EXPECT_EQ(ENV_FADE_TEMPO_SYNC_STR[60 - k], "Up " + qb) << k;
            }
        }
        if (k >= 3) {
            EXPECT_EQ(FX_PERIOD_STR[33 - k], lengths[k]) << k;
        }
        if (k < 15) {
            EXPECT_EQ(DELAY_LEN_STR[k], lengths[k]) << k;
        }
    }
    for (const char* offFirst :
         {XY_TIME_QUANT_STR[0], XY_SYNC_TO_MODE_STR[0], XY_TIME_QUANT_SHORT_STR[0],
          XY_SYNC_TO_MODE_SHORT_STR[0], LFO_PERIOD_STR[0], FX_PERIOD_STR[0]})
        EXPECT_STREQ(offFirst, "Off");
    EXPECT_STREQ(ENV_TEMPO_SYNC_STR[30], "Off"); // a stage of no length
}

TEST(VocabularyTables, NumberedLists) {
    for (int n = 1; n <= 128; ++n) EXPECT_EQ(OSC_WAVE_STR[55 + n - 1], numbered("Spec %03d", n));
    for (int c = 1; c <= 16; ++c) EXPECT_EQ(MIDI_IN_CHANNEL_STR[c], numbered("CH %02d", c));
    for (int s = 0; s < 12; ++s) {
        EXPECT_EQ(SLOT_STR[s], numbered("Slot %02d", s + 1));
        EXPECT_STREQ(MOD_STR[s], SLOT_STR[s]);
    }
    for (int i = 0; i < 16; ++i) EXPECT_EQ(ARP_STEPS_STR[i], std::to_string(i + 1));
    for (int o = 0; o < 9; ++o) EXPECT_EQ(OSC_OCT_STR[o], std::to_string(o - 4));
}

TEST(VocabularyTables, DerivedLists) {
    // The main screen's wave list: "None", then every wave but the two noises.
    Texts expected{"None"};
    for (std::size_t w = 0; w < OSC_WAVE_STR.size(); ++w)
        if (w != 14 && w != 15) expected.push_back(OSC_WAVE_STR[w]);
    ASSERT_EQ(expected.size(), WAVE_STR.size());
    for (std::size_t i = 0; i < expected.size(); ++i) EXPECT_STREQ(WAVE_STR[i], expected[i]) << i;

    for (std::size_t g = 0; g < 4; ++g) {
        EXPECT_EQ(SET_SCREEN_SIZE_STR[g], std::string("Set To ") + SCREEN_SIZE_STR[g]);
        EXPECT_EQ(SCREEN_SIZE_STR[g], std::string(SCREEN_SIZE_SHORT_STR[g]) + " Screen Size");
        EXPECT_STREQ(PRESET_COMMAND_STR[20 + g], SET_SCREEN_SIZE_STR[g]);
    }
    EXPECT_STREQ(XY_PLAY_MODE_STR[3], LFO_MODE_STR[3]);
}

TEST(VocabularyLookup, ClampsIntoTheTable) {
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, 0), "Bypass");
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, 21), "Amp Mod");
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, 22), "Amp Mod");
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, INT_MAX), "Amp Mod");
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, -1), "Bypass");
    EXPECT_STREQ(vocabAt(FILTER_TYPE_STR, INT_MIN), "Bypass");
    EXPECT_STREQ(vocabAt(OFF_ON_STR, 1), "On");
    EXPECT_STREQ(vocabAt(WAVE_SHAPER_LABEL_1_STR, 0), "");

    constexpr Vocab<3> local = {"a", "b", "c"};
    static_assert(vocabAt(local, -5)[0] == 'a');
    static_assert(vocabAt(local, 1)[0] == 'b');
    static_assert(vocabAt(local, 3)[0] == 'c');
}

// The tables are constant data: a static initialiser of another translation
// unit already sees them filled.
namespace {
const std::string kEarlyRead = std::string(FILTER_TYPE_STR[0]) + "/" + DEST_STR[221];
} // namespace

TEST(VocabularyLookup, ReadableFromStaticInitialisers) {
    EXPECT_EQ(kEarlyRead, "Bypass/Reverb Mix");
}
