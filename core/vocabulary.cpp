// The vocabulary tables of core/vocabulary.h.
//
// Every table is constexpr, so it is constant-initialised: no constructor
// runs for it and no static initialiser can see it half built. Lists with
// short twins are written row by row, long form next to short form, and
// split into their columns at compile time.

#include "core/vocabulary.h"

namespace {

// Column c of a table written row by row.
template <std::size_t N, std::size_t W>
constexpr Vocab<N> column(const char* const (&rows)[N][W], std::size_t c) {
    Vocab<N> out{};
    for (std::size_t i = 0; i < N; ++i) out[i] = rows[i][c];
    return out;
}

// True when no entry was left out (a short initialiser leaves nulls).
template <std::size_t N> constexpr bool complete(const Vocab<N>& table) {
    for (const char* s : table)
        if (s == nullptr) return false;
    return true;
}

// ------------------------------------------------------------------ row tables
constexpr const char* kScreenSizeRows[][3] = {
    {"100% Screen Size", "Set To 100% Screen Size", "100%"}, // 0
    {"125% Screen Size", "Set To 125% Screen Size", "125%"}, // 1
    {"150% Screen Size", "Set To 150% Screen Size", "150%"}, // 2
    {"200% Screen Size", "Set To 200% Screen Size", "200%"}, // 3
};
constexpr const char* kPlayModeRows[][2] = {
    {"Poly", "Poly"},             // 0
    {"Poly MPE", "Poly MPE"},     // 1
    {"Mono", "Mono"},             // 2
    {"Mono High", "Mono Hi"},     // 3
    {"Mono Low", "Mono Lo"},      // 4
    {"Legato", "Legato"},         // 5
    {"Legato High", "Legato Hi"}, // 6
    {"Legato Low", "Legato Lo"},  // 7
    {"Arp", "Arp"},               // 8
};
constexpr const char* kPortModeRows[][2] = {
    {"Off", "Off"},                  // 0
    {"Constant Rate", "Const Rate"}, // 1
    {"Constant Time", "Const Time"}, // 2
    {"Held Rate", "Held Rate"},      // 3
    {"Held Time", "Held Time"},      // 4
};
constexpr const char* kDistortModeRows[][2] = {
    {"Off", "Off"},      // 0
    {"Atan", "Atan"},    // 1
    {"Bit", "Bit"},      // 2
    {"Cos", "Cos"},      // 3
    {"Cross", "Cross"},  // 4
    {"Fold", "Fold"},    // 5
    {"Limit", "Limit"},  // 6
    {"Over", "Over"},    // 7
    {"Power", "Power"},  // 8
    {"Rate", "Rate"},    // 9
    {"Saturate", "Sat"}, // 10
    {"Square", "Sqr"},   // 11
};
constexpr const char* kOscModeRows[][2] = {
    {"Mix", "Mix"},                         // 0
    {"Morph", "Morph"},                     // 1
    {"Low Partial Morph", "LoMorph"},       // 2
    {"High Partial Morph", "HiMorph"},      // 3
    {"Odd/Even Partial Morph", "Odd/Even"}, // 4
    {"Even/Odd Partial Morph", "Even/Odd"}, // 5
    {"Table Interpolate", "Inter"},         // 6
    {"Table Split", "Table"},               // 7
    {"Table Combine", "Combine"},           // 8
    {"FM", "FM"},                           // 9
    {"PM", "PM"},                           // 10
    {"AM", "AM"},                           // 11
    {"Ring Mod", "RingMod"},                // 12
    {"WaveShaper", "Shaper"},               // 13
    {"Range", "Range"},                     // 14
};
constexpr const char* kLfoWaveRows[][2] = {
    {"Sine", "Sin"},                       // 0
    {"Sine + 90 Degrees", "Sin 90"},       // 1
    {"Sine + 180 Degrees", "Sin 180"},     // 2
    {"Sine + 270 Degrees", "Sin 270"},     // 3
    {"Triangle", "Tri"},                   // 4
    {"Triangle + 90 Degrees", "Tri 90"},   // 5
    {"Triangle + 180 Degrees", "Tri 180"}, // 6
    {"Triangle + 270 Degrees", "Tri 270"}, // 7
    {"Saw Up", "SawUp"},                   // 8
    {"Saw Up + 180 Degrees", "-SawUp"},    // 9
    {"Saw Down", "SawDn"},                 // 10
    {"Saw Down + 180 Degrees", "-SawDn"},  // 11
    {"Square", "Sqr"},                     // 12
    {"Square + 90 Degrees", "Sqr 90"},     // 13
    {"Square + 180 Degrees", "Sqr 180"},   // 14
    {"Square + 270 Degrees", "Sqr 270"},   // 15
    {"S&H", "S&H"},                        // 16
    {"User 1", "User 1"},                  // 17
    {"User 2", "User 2"},                  // 18
};
constexpr const char* kSrcRows[][2] = {
    {"None", "None"},                              // 0
    {"Mod Wheel", "Mod Wheel"},                    // 1
    {"Mod Wheel / Aftertouch", "Mod/After"},       // 2
    {"Channel Aftertouch", "Ch After"},            // 3
    {"Poly Aftertouch", "Poly After"},             // 4
    {"Note", "Note"},                              // 5
    {"Center Note", "Center Note"},                // 6
    {"Note Random 1", "Note Rnd 1"},               // 7
    {"UniPolar Note Random 1", "Uni Note Rnd 1"},  // 8
    {"Note Random 2", "Note Rnd 2"},               // 9
    {"UniPolar Note Random 2", "Uni Note Rnd 2"},  // 10
    {"2 Alternate", "2 Alt"},                      // 11
    {"UniPolar 2 Alternate", "Uni 2 Alt"},         // 12
    {"3 Alternate", "3 Alt"},                      // 13
    {"UniPolar 3 Alternate", "Uni 3 Alt"},         // 14
    {"4 Alternate", "4 Alt"},                      // 15
    {"UniPolar 4 Alternate", "Uni 4 Alt"},         // 16
    {"Velocity", "Velocity"},                      // 17
    {"Pitchbend", "Pitchbend"},                    // 18
    {"Breath (CC2) ", "Breath"},                   // 19
    {"CC3", "CC3"},                                // 20
    {"Foot (CC4)", "Foot"},                        // 21
    {"Expression (CC11)", "Expression"},           // 22
    {"CC16", "CC16"},                              // 23
    {"CC17", "CC17"},                              // 24
    {"CC18", "CC18"},                              // 25
    {"CC19", "CC19"},                              // 26
    {"CC20", "CC20"},                              // 27
    {"CC21", "CC21"},                              // 28
    {"Brightness (CC74)", "Brightness"},           // 29
    {"CC84", "CC84"},                              // 30
    {"CC85", "CC85"},                              // 31
    {"CC86", "CC86"},                              // 32
    {"CC87", "CC87"},                              // 33
    {"CC88", "CC88"},                              // 34
    {"CC89", "CC89"},                              // 35
    {"CC90", "CC90"},                              // 36
    {"CC113", "CC113"},                            // 37
    {"CC114", "CC114"},                            // 38
    {"Amp Envelope", "Amp Env"},                   // 39
    {"Inverse Amp Envelope", "Inv Amp Env"},       // 40
    {"Filter Envelope", "Filter Env"},             // 41
    {"Inverse Filter Envelope", "Inv Filter Env"}, // 42
    {"Free 1 Envelope", "Free 1 Env"},             // 43
    {"Inverse Free 1 Envelope", "Inv Free 1 Env"}, // 44
    {"Free 2 Envelope", "Free 2 Env"},             // 45
    {"Inverse Free 2 Envelope", "Inv Free 2 Env"}, // 46
    {"SMod LFO", "SMod LFO"},                      // 47
    {"UniPolar SMod LFO", "Uni SMod LFO"},         // 48
    {"Free 1 LFO", "Free 1 LFO"},                  // 49
    {"UniPolar Free 1 LFO", "Uni Free 1 LFO"},     // 50
    {"Free 2 LFO", "Free 2 LFO"},                  // 51
    {"UniPolar Free 2 LFO", "Uni Free 2 LFO"},     // 52
    {"Arp On / Off", "Arp On / Off"},              // 53
    {"Arp Tune", "Arp Tune"},                      // 54
    {"Arp Velocity", "Arp Vel"},                   // 55
    {"Arp Free", "Arp Free"},                      // 56
    {"XY X", "XY X"},                              // 57
    {"UniPolar XY X", "Uni XY X"},                 // 58
    {"XY Y", "XY Y"},                              // 59
    {"UniPolar XY Y", "Uni XY Y"},                 // 60
    {"XY Distance", "XY Dist"},                    // 61
    {"Input", "Input"},                            // 62
    {"Oscillator Out", "Osc Out"},                 // 63
    {"Filter Out", "Filter Out"},                  // 64
    {"Voice Out", "Voice Out"},                    // 65
    {"Chorus Out", "Chorus Out"},                  // 66
    {"Flanger/Phaser Out", "Mod FX Out"},          // 67
    {"Delay Out", "Delay Out"},                    // 68
    {"Output", "Output"},                          // 69
    {"Offset", "Offset"},                          // 70
    {"White", "White"},                            // 71
    {"UniPolar White", "Uni White"},               // 72
    {"Pink Noise", "Pink"},                        // 73
    {"UniPolar Pink Noise", "Uni Pink"},           // 74
};
constexpr const char* kDestRows[][3] = {
    {"None", "None", "None"},                                               // 0
    {"Portamento Amount", "Portamento", "Port"},                            // 1
    {"Global Semi Tune", "Global Semi", "Glb Semi"},                        // 2
    {"Global Fine Tune", "Global Fine", "Glb Fine"},                        // 3
    {"Drift", "Drift", "Drift"},                                            // 4
    {"Global Envelope Speed", "Global Env Spd", "Glb Env Spd"},             // 5
    {"Global LFO Speed", "Global LFO Spd", "Glb LFO Spd"},                  // 6
    {"Arp Speed", "Arp Speed", "Arp Spd"},                                  // 7
    {"Arp Steps", "Arp Steps", "Arp Steps"},                                // 8
    {"Arp Loop Start", "Arp Loop Start", "Arp Loop"},                       // 9
    {"Arp Swing", "Arp Swing", "Arp Swing"},                                // 10
    {"Arp Note Length", "Arp Note Len", "Arp Note Len"},                    // 11
    {"Arp Slide", "Arp Slide", "Arp Slide"},                                // 12
    {"Arp Velocity/Key", "Arp Vel/Key", "Arp Vel/Key"},                     // 13
    {"Arp Magic Steps", "Arp Magic Steps", "Arp Magic"},                    // 14
    {"Arp Ratchet Velocity", "Arp Ratchet Vel", "Arp Rat/Vel"},             // 15
    {"Arp Smooth", "Arp Smooth", "Arp Smooth"},                             // 16
    {"Arp Smooth Attack", "Arp Smth Attack", "Arp Smth Att"},               // 17
    {"Arp Smooth Decay", "Arp Smth Decay", "Arp Smth Dec"},                 // 18
    {"Unison Detune", "Uni Detune", "Uni Detune"},                          // 19
    {"Unison Stereo Spread", "Uni Stereo", "Uni Stereo"},                   // 20
    {"Unison Semi-Tune 2-4", "Uni Semi 2-4", "Uni Semi 2-4"},               // 21
    {"Unison Semi-Tune 2", "Uni Semi 2", "Uni Semi 2"},                     // 22
    {"Unison Semi-Tune 3", "Uni Semi 3", "Uni Semi 3"},                     // 23
    {"Unison Semi-Tune 4", "Uni Semi 4", "Uni Semi 4"},                     // 24
    {"Unison Fine-Tune 2-4", "Uni Fine 2-4", "Uni Fine 2-4"},               // 25
    {"Unison Fine-Tune 2", "Uni Fine 2", "Uni Fine 2"},                     // 26
    {"Unison Fine-Tune 3", "Uni Fine 3", "Uni Fine 3"},                     // 27
    {"Unison Fine-Tune 4", "Uni Fine 4", "Uni Fine 4"},                     // 28
    {"Unison Volume 2-4", "Uni Vol 2-4", "Uni Vol 2-4"},                    // 29
    {"Unison Volume 2", "Uni Vol 2", "Uni Vol 2"},                          // 30
    {"Unison Volume 3", "Uni Vol 3", "Uni Vol 3"},                          // 31
    {"Unison Volume 4", "Uni Vol 4", "Uni Vol 4"},                          // 32
    {"Unison Pan 2-4", "Uni Pan 2-4", "Uni Pan 2-4"},                       // 33
    {"Unison Pan 2", "Uni Pan 2", "Uni Pan 2"},                             // 34
    {"Unison Pan 3", "Uni Pan 3", "Uni Pan 3"},                             // 35
    {"Unison Pan 4", "Uni Pan 4", "Uni Pan 4"},                             // 36
    {"Unison Morph 2-4", "Uni Morph 2-4", "Uni Morph 2-4"},                 // 37
    {"Unison Morph 2", "Uni Morph 2", "Uni Morph 2"},                       // 38
    {"Unison Morph 3", "Uni Morph 3", "Uni Morph 3"},                       // 39
    {"Unison Morph 4", "Uni Morph 4", "Uni Morph 4"},                       // 40
    {"Unison Phase 2-4", "Uni Phase 2-4", "Uni Phase 2-4"},                 // 41
    {"Unison Phase 2", "Uni Phase 2", "Uni Phase 2"},                       // 42
    {"Unison Phase 3", "Uni Phase 3", "Uni Phase 3"},                       // 43
    {"Unison Phase 4", "Uni Phase 4", "Uni Phase 4"},                       // 44
    {"Unison Filter Frequency 2-4", "Uni Filter Freq 2-4", "Uni Filt 2-4"}, // 45
    {"Unison Filter Frequency 2", "Uni Filter Freq 2", "Uni Filt 2"},       // 46
    {"Unison Filter Frequency 3", "Uni Filter Freq 3", "Uni Filt 3"},       // 47
    {"Unison Filter Frequency 4", "Uni Filter Freq 4", "Uni Filt 4"},       // 48
    {"Oscillator Morph", "Osc Morph", "Osc Morph"},                         // 49
    {"Oscillator Octave", "Osc Octave", "Osc Oct"},                         // 50
    {"Oscillator Semi-Tune", "Osc Semi", "Osc Semi"},                       // 51
    {"Oscillator Fine-Tune", "Osc Fine", "Osc Fine"},                       // 52
    {"Oscillator Symmetry", "Osc Sym", "Osc Sym"},                          // 53
    {"Oscillator SMod Amount", "Osc SMod Amount", "Osc SMod Amt"},          // 54
    {"Oscillator SMod Speed", "Osc SMod Speed", "Osc SMod Spd"},            // 55
    {"Oscillator Spread", "Osc Spread", "Osc Spread"},                      // 56
    {"Oscillator Up Spread Semi-Tune", "Osc Up Semi", "Osc Up Semi"},       // 57
    {"Oscillator Up Spread Fine-Tune", "Osc Up Fine", "Osc Up Fine"},       // 58
    {"Oscillator Up Spread Volume", "Osc Up Vol", "Osc Up Vol"},            // 59
    {"Oscillator Up Spread Phase", "Osc Up Phase", "Osc Up Phs"},           // 60
    {"Oscillator Down Spread Semi-Tune", "Osc Down Semi", "Osc Dn Semi"},   // 61
    {"Oscillator Down Spread Fine-Tune", "Osc Down Fine", "Osc Dn Fine"},   // 62
    {"Oscillator Down Spread Volume", "Osc Down Vol", "Osc Dn Vol"},        // 63
    {"Oscillator Down Spread Phase", "Osc Down Phase", "Osc Dn Phs"},       // 64
    {"Oscillator Feed", "Osc Feed", "Osc Feed"},                            // 65
    {"Oscillator Phase", "Osc Phase", "Osc Phase"},                         // 66
    {"Oscillator Wrap", "Osc Wrap", "Osc Wrap"},                            // 67
    {"Oscillator Bits", "Osc Bits", "Osc Bits"},                            // 68
    {"Sub-Osc Volume", "Sub-Osc Vol", "Sub-Osc Vol"},                       // 69
    {"Sub-Osc Semi-Tune", "Sub-Osc Semi", "Sub-Osc Semi"},                  // 70
    {"Sub-Osc Fine-Tune", "Sub-Osc Fine", "Sub-Osc Fine"},                  // 71
    {"Sub-Osc Symmetry", "Sub-Osc Sym", "Sub-Osc Sym"},                     // 72
    {"Sub-Osc Phase", "Sub-Osc Phase", "Sub-Osc Phase"},                    // 73
    {"Filter Frequency", "Filter Freq", "Filter Freq"},                     // 74
    {"Filter Q", "Filter Q", "Filter Q"},                                   // 75
    {"Filter Envelope Amount", "Filter Env Amt", "Filt Env Amt"},           // 76
    {"Filter Envelope Speed", "Filter Env Spd", "Filt Env Spd"},            // 77
    {"Filter Envelope Attack", "Filter Env Attack", "Filter Att"},          // 78
    {"Filter Envelope Decay", "Filter Env Decay", "Filter Decay"},          // 79
    {"Filter Envelope Sustain", "Filter Env Sustain", "Filter Sust"},       // 80
    {"Filter Envelope Release", "Filter Env Release", "Filter Rel"},        // 81
    {"Filter Envelope Decay Shape", "Filter Dec Shp", "Fl Dec Shp"},        // 82
    {"Filter Envelope Release Shape", "Filter Rel Shp", "Fl Rel Shp"},      // 83
    {"HighPass Filter Frequency", "HP Freq", "HP Freq"},                    // 84
    {"HighPass Filter Q", "HP Q", "HP Q"},                                  // 85
    {"Main Volume", "Main Volume", "Main Vol"},                             // 86
    {"Main Velocity > Volume", "Main Vel > Vol", "Main Vel>Vol"},           // 87
    {"Main Pan", "Main Pan", "Main Pan"},                                   // 88
    {"Amp Envelope Speed", "Amp Env Speed", "Amp Env Spd"},                 // 89
    {"Amp Envelope Attack", "Amp Attack", "Amp Att"},                       // 90
    {"Amp Envelope Decay", "Amp Decay", "Amp Decay"},                       // 91
    {"Amp Envelope Sustain", "Amp Sustain", "Amp Sust"},                    // 92
    {"Amp Envelope Release", "Amp Release", "Amp Rel"},                     // 93
    {"Amp Envelope Decay Shape", "Amp Dec Shp", "Amp Dc Sh"},               // 94
    {"Amp Envelope Release Shape", "Amp Rel Shp", "Amp Rl Sh"},             // 95
    {"Distort", "Distort", "Distort"},                                      // 96
    {"Free Envelope 1 Speed", "Env 1 Speed", "Env 1 Spd"},                  // 97
    {"Free Envelope 1 Attack", "Env 1 Attack", "Env 1 Att"},                // 98
    {"Free Envelope 1 Decay", "Env 1 Decay", "Env 1 Decay"},                // 99
    {"Free Envelope 1 Sustain", "Env 1 Sustain", "Env 1 Sust"},             // 100
    {"Free Envelope 1 Fade", "Env 1 Fade", "Env 1 Fade"},                   // 101
    {"Free Envelope 1 Release", "Env 1 Release", "Env 1 Rel"},              // 102
    {"Free Envelope 1 Decay Shape", "Env 1 Dec Shp", "Env 1 Dc Sh"},        // 103
    {"Free Envelope 1 Release Shape", "Env 1 Rel Shp", "Env 1 Rl Sh"},      // 104
    {"Free Envelope 2 Speed", "Env 2 Speed", "Env 2 Spd"},                  // 105
    {"Free Envelope 2 Attack", "Env 2 Attack", "Env 2 Att"},                // 106
    {"Free Envelope 2 Decay", "Env 2 Decay", "Env 2 Decay"},                // 107
    {"Free Envelope 2 Sustain", "Env 2 Sustain", "Env 2 Sust"},             // 108
    {"Free Envelope 2 Fade", "Env 2 Fade", "Env 2 Fade"},                   // 109
    {"Free Envelope 2 Release", "Env 2 Release", "Env 2 Rel"},              // 110
    {"Free Envelope 2 Decay Shape", "Env 2 Dec Shp", "Env 2 Dc Sh"},        // 111
    {"Free Envelope 2 Release Shape", "Env 2 Rel Shp", "Env 2 Rl Sh"},      // 112
    {"Free LFO 1 Speed", "LFO 1 Speed", "LFO 1 Spd"},                       // 113
    {"Free LFO 1 Phase", "LFO 1 Phase", "LFO 1 Phase"},                     // 114
    {"Free LFO 1 Shape", "LFO 1 Shape", "LFO 1 Shape"},                     // 115
    {"Free LFO 1 Smooth", "LFO 1 Smooth", "LFO 1 Smooth"},                  // 116
    {"Free LFO 1 Bias", "LFO 1 Bias", "LFO 1 Bias"},                        // 117
    {"Free LFO 1 Bits", "LFO 1 Bits", "LFO 1 Bits"},                        // 118
    {"Free LFO 1 S&H", "LFO 1 S&H", "LFO 1 S&H"},                           // 119
    {"Free LFO 1 Humanization", "LFO 1 Humanize", "LFO 1 Human"},           // 120
    {"Free LFO 2 Speed", "LFO 2 Speed", "LFO 2 Spd"},                       // 121
    {"Free LFO 2 Phase", "LFO 2 Phase", "LFO 2 Phase"},                     // 122
    {"Free LFO 2 Shape", "LFO 2 Shape", "LFO 2 Shape"},                     // 123
    {"Free LFO 2 Smooth", "LFO 2 Smooth", "LFO 2 Smooth"},                  // 124
    {"Free LFO 2 Bias", "LFO 2 Bias", "LFO 2 Bias"},                        // 125
    {"Free LFO 2 Bits", "LFO 2 Bits", "LFO 2 Bits"},                        // 126
    {"Free LFO 2 S&H", "LFO 2 S&H", "LFO 2 S&H"},                           // 127
    {"Free LFO 2 Humanization", "LFO 2 Humanize", "LFO 2 Human"},           // 128
    {"Mod 1 Amount", "Mod 1 Amount", "Mod 1 Amt"},                          // 129
    {"Mod 2 Amount", "Mod 2 Amount", "Mod 2 Amt"},                          // 130
    {"Mod 3 Amount", "Mod 3 Amount", "Mod 3 Amt"},                          // 131
    {"Mod 4 Amount", "Mod 4 Amount", "Mod 4 Amt"},                          // 132
    {"Mod 5 Amount", "Mod 5 Amount", "Mod 5 Amt"},                          // 133
    {"Mod 6 Amount", "Mod 6 Amount", "Mod 6 Amt"},                          // 134
    {"Mod 7 Amount", "Mod 7 Amount", "Mod 7 Amt"},                          // 135
    {"Mod 8 Amount", "Mod 8 Amount", "Mod 8 Amt"},                          // 136
    {"Mod 9 Amount", "Mod 9 Amount", "Mod 9 Amt"},                          // 137
    {"Mod 10 Amount", "Mod 10 Amount", "Mod 10 Amt"},                       // 138
    {"Mod 11 Amount", "Mod 11 Amount", "Mod 11 Amt"},                       // 139
    {"Mod 12 Amount", "Mod 12 Amount", "Mod 12 Amt"},                       // 140
    {"XY Speed", "XY Speed", "XY Spd"},                                     // 141
    {"XY Smooth", "XY Smooth", "XY Smooth"},                                // 142
    {"XY X To Free 1 Amount", "XY X 1 Amount", "XY X 1 Amt"},               // 143
    {"XY Y To Free 1 Amount", "XY Y 1 Amount", "XY Y 1 Amt"},               // 144
    {"XY X To Free 2 Amount", "XY X 2 Amount", "XY X 2 Amt"},               // 145
    {"XY Y To Free 2 Amount", "XY Y 2 Amount", "XY Y 2 Amt"},               // 146
    {"XY X To Morph Amount", "XY X Morph", "XY X Morph"},                   // 147
    {"XY Y To Morph Amount", "XY Y Morph ", "XY Y Morph "},                 // 148
    {"Chorus Length", "Chorus Length", "Chorus Length"},                    // 149
    {"Chorus Width", "Chorus Width", "Chorus Width"},                       // 150
    {"Chorus Speed", "Chorus Speed", "Chorus Spd"},                         // 151
    {"Chorus Spread", "Chorus Spread", "Chorus Spread"},                    // 152
    {"Chorus Widen", "Chorus Widen", "Chorus Widen"},                       // 153
    {"Chorus Separation", "Chorus Seprt", "Chorus Sep"},                    // 154
    {"Chorus Phase", "Chorus Phase", "Chorus Phase"},                       // 155
    {"Chorus Shape", "Chorus Shape", "Chorus Shape"},                       // 156
    {"Chorus Bias", "Chorus Bias", "Chorus Bias"},                          // 157
    {"Chorus Bits", "Chorus Bits", "Chorus Bits"},                          // 158
    {"Chorus S&H", "Chorus S&H", "Chorus S&H"},                             // 159
    {"Chorus Humanization", "Chorus Human", "Chorus Human"},                // 160
    {"Chorus LP", "Chorus LP", "Chorus LP"},                                // 161
    {"Chorus HP", "Chorus HP", "Chorus HP"},                                // 162
    {"Chorus Pan", "Chorus Pan", "Chorus Pan"},                             // 163
    {"Chorus Mix", "Chorus Mix", "Chorus Mix"},                             // 164
    {"Flanger Length", "Flanger Length", "Flng Length"},                    // 165
    {"Flanger Width", "Flanger Width", "Flng Width"},                       // 166
    {"Flanger Speed", "Flanger Speed", "Flng Spd"},                         // 167
    {"Flanger Feed", "Flanger Feed", "Flng Feed"},                          // 168
    {"Flanger Spread", "Flanger Spread", "Flng Spread"},                    // 169
    {"Flanger Widen", "Flanger Widen", "Flng Widen"},                       // 170
    {"Flanger Separation", "Flanger Seprt", "Flng Sep"},                    // 171
    {"Flanger Phase", "Flanger Phase", "Flng Phase"},                       // 172
    {"Flanger Shape", "Flanger Shape", "Flng Shape"},                       // 173
    {"Flanger Bias", "Flanger Bias", "Flng Bias"},                          // 174
    {"Flanger Bits", "Flanger Bits", "Flng Bits"},                          // 175
    {"Flanger S&H", "Flanger S&H", "Flng S&H"},                             // 176
    {"Flanger Humanization", "Flanger Human", "Flng Human"},                // 177
    {"Flanger LP", "Flanger LP", "Flng LP"},                                // 178
    {"Flanger HP", "Flanger HP", "Flng HP"},                                // 179
    {"Flanger Pan Mod", "Flanger Pan Mod", "Flng Pan Mod"},                 // 180
    {"Flanger Pan Mod Speed", "Flanger Pan Spd", "Flng Pan Spd"},           // 181
    {"Flanger Pan", "Flanger Pan", "Flng Pan"},                             // 182
    {"Flanger Mix", "Flanger Mix", "Flng Mix"},                             // 183
    {"Phaser Pitch", "Phaser Pitch", "Phsr Pitch"},                         // 184
    {"Phaser Width", "Phaser Width", "Phsr Width"},                         // 185
    {"Phaser Speed", "Phaser Speed", "Phsr Spd"},                           // 186
    {"Phaser Feed", "Phaser Feed", "Phsr Feed"},                            // 187
    {"Phaser Q", "Phaser Q", "Phsr Q"},                                     // 188
    {"Phaser Spread", "Phaser Spread", "Phsr Spread"},                      // 189
    {"Phaser Widen", "Phaser Widen", "Phsr Widen"},                         // 190
    {"Phaser Separation", "Phaser Seprt", "Phsr Sep"},                      // 191
    {"Phaser Phase", "Phaser Phase", "Phsr Phase"},                         // 192
    {"Phaser Shape", "Phaser Shape", "Phsr Shape"},                         // 193
    {"Phaser Bias", "Phaser Bias", "Phsr Bias"},                            // 194
    {"Phaser Bits", "Phaser Bits", "Phsr Bits"},                            // 195
    {"Phaser S&H", "Phaser S&H", "Phsr S&H"},                               // 196
    {"Phaser Humanization", "Phaser Human", "Phsr Human"},                  // 197
    {"Phaser LP", "Phaser LP", "Phsr LP"},                                  // 198
    {"Phaser HP", "Phaser HP", "Phsr HP"},                                  // 199
    {"Phaser Pan Mod", "Phaser Pan Mod", "Phsr Pan Mod"},                   // 200
    {"Phaser Pan Mod Speed", "Phaser Pan Spd", "Phsr Pan Spd"},             // 201
    {"Phaser Pan", "Phaser Pan", "Phsr Pan"},                               // 202
    {"Phaser Mix", "Phaser Mix", "Phsr Mix"},                               // 203
    {"Delay Left Length", "Delay Left", "Delay Left"},                      // 204
    {"Delay Right Length", "Delay Right", "Delay Right"},                   // 205
    {"Delay Length", "Delay Length", "Delay Length"},                       // 206
    {"Delay Fine Length", "Delay Fine Length", "Delay Fine"},               // 207
    {"Delay Feed", "Delay Feed", "Delay Feed"},                             // 208
    {"Delay LP", "Delay LP", "Delay LP"},                                   // 209
    {"Delay HP", "Delay HP", "Delay HP"},                                   // 210
    {"Delay Pan", "Delay Pan", "Delay Pan"},                                // 211
    {"Delay Mix", "Delay Mix", "Delay Mix"},                                // 212
    {"Reverb Pre Delay", "Reverb Pre Delay", "Rvb Pre Delay"},              // 213
    {"Reverb Pre Feed", "Reverb Pre Feed", "Rvb Pre Feed"},                 // 214
    {"Reverb Pre Widen", "Reverb Pre Widen", "Rvb Pre Widen"},              // 215
    {"Reverb Size", "Reverb Size", "Rvb Size"},                             // 216
    {"Reverb Length", "Reverb Length", "Rvb Length"},                       // 217
    {"Reverb Damp", "Reverb Damp", "Rvb Damp"},                             // 218
    {"Reverb HP", "Reverb HP", "Rvb HP"},                                   // 219
    {"Reverb Pan", "Reverb Pan", "Rvb Pan"},                                // 220
    {"Reverb Mix", "Reverb Mix", "Rvb Mix"},                                // 221
};
constexpr const char* kXYLoopModeRows[][2] = {
    {"Off", "Off"},        // 0
    {"On", "On"},          // 1
    {"<> PingPong", "<>"}, // 2
};
constexpr const char* kArpModeRows[][2] = {
    {"Up", "Up"},                   // 0
    {"Down", "Down"},               // 1
    {"Up/Down", "Up/Down"},         // 2
    {"Down/Up", "Down/Up"},         // 3
    {"Random", "Random"},           // 4
    {"Ordered", "Ordered"},         // 5
    {"Reverse Order", "R Order"},   // 6
    {"Ordered Up/Down", "Ord U/D"}, // 7
    {"Ordered Down/Up", "Ord D/U"}, // 8
    {"Chord", "Chord"},             // 9
    {"Mod Free", "Mod Fr"},         // 10
    {"Mod Mono", "Mod Mn"},         // 11
    {"Mod Poly", "Mod Pl"},         // 12
    {"Sequencer", "Seq"},           // 13
    {"Sequencer Reset", "Seq Rst"}, // 14
    {"Sequencer Mono", "Seq Mn"},   // 15
};
constexpr const char* kArpRatchetModeRows[][2] = {
    {"Off", "Off"},                    // 0
    {"On", "On"},                      // 1
    {"Off/On Cycle", "Off/On"},        // 2
    {"On/Off Cycle", "On/Off"},        // 3
    {"2 Off/1 On Cycle", "2/1Off/On"}, // 4
    {"3 Off/1 On Cycle", "3/1Off/On"}, // 5
    {"1 On/2 Off Cycle", "1/2Off/On"}, // 6
    {"1 On/3 Off Cycle", "1/3Off/On"}, // 7
    {"Velocity", "Vel"},               // 8
};
constexpr const char* kArpMagicModeRows[][2] = {
    {"Step", "Step"},                // 0
    {"+7 sm", "7sm"},                // 1
    {"-5 sm", "-5sm"},               // 2
    {"+7/-5 sm", "7/-5sm"},          // 3
    {"+12 sm", "12sm"},              // 4
    {"-12 sm", "-12sm"},             // 5
    {"+/-12 sm", "+/-12sm"},         // 6
    {"Step +7 sm", "St 7sm"},        // 7
    {"Step -5 sm", "St -5sm"},       // 8
    {"Step +7/-5 sm", "St 7/-5sm"},  // 9
    {"Step +12 sm", "St +12sm"},     // 10
    {"Step -12 sm", "St -12sm"},     // 11
    {"Step +/-12 sm", "St +/-12sm"}, // 12
};
constexpr const char* kArpMagicStepsRows[][2] = {
    {"0: Off", "0: Off"},                  // 0
    {"1 Step: Set Random", "1: Set Rnd"},  // 1
    {"1 Step: Random", "1: Rnd"},          // 2
    {"2 Steps: Set Random", "2: Set Rnd"}, // 3
    {"2 Steps: Random", "2: Rnd"},         // 4
    {"3 Steps: Set Random", "3: Set Rnd"}, // 5
    {"3 Steps: Random", "3: Rnd"},         // 6
    {"4 Steps: Set Random", "4: Set Rnd"}, // 7
    {"4 Steps: Random", "4: Rnd"},         // 8
};
constexpr const char* kArpChordRows[][2] = {
    {"Set", "Set"},             // 0
    {"None", "None"},           // 1
    {"2 Octaves", "2Oct"},      // 2
    {"3 Octaves", "3Oct"},      // 3
    {"Major", "Maj"},           // 4
    {"Fifth", "Fifth"},         // 5
    {"Sus 4", "Sus 4"},         // 6
    {"Sus 2", "Sus 2"},         // 7
    {"Major Added 9", "MajA9"}, // 8
    {"Major 6", "Maj 6"},       // 9
    {"Major 7", "Maj 7"},       // 10
    {"Minor", "Min"},           // 11
    {"Minor Added 9", "MinA9"}, // 12
    {"Minor 6", "Min 6"},       // 13
    {"Minor b6", "Minb6"},      // 14
    {"Minor 7", "Min 7"},       // 15
    {"Minor 7b5", "Min7b"},     // 16
    {"Dominant 7", "Dom 7"},    // 17
    {"7 Sus 4", "Sus 7"},       // 18
    {"Diminished", "Dim"},      // 19
    {"Diminished 7", "Dim 7"},  // 20
};
constexpr const char* kWaveShaperRows[][3] = {
    {"Manual", "", ""},                            // 0
    {"Volume", "Amount", "Scale"},                 // 1
    {"Volume Ramp", "Start Amount", "End Amount"}, // 2
    {"Shift", "", ""},                             // 3
    {"Offset", "", ""},                            // 4
    {"Phase", "", ""},                             // 5
    {"Sym", "", ""},                               // 6
    {"Multi", "Multi", "Shift"},                   // 7
    {"Ping-Pong", "Multi", "Shift"},               // 8
    {"Stretch", "Start Amount", "End Amount"},     // 9
    {"Filter", "Low", "High"},                     // 10
    {"BandPass", "Low", "High"},                   // 11
    {"Low Filter", "Low", "Shape"},                // 12
    {"High Filter", "High", "Shape"},              // 13
    {"Smooth", "", ""},                            // 14
    {"Ring", "Frequency", "Amount"},               // 15
    {"Distort", "", ""},                           // 16
    {"Bits", "Rate", "Bits"},                      // 17
    {"Ripples", "Frequency", "Amount"},            // 18
    {"Octave 1", "Shift", "Amount"},               // 19
    {"Octave 2", "Shift", "Amount"},               // 20
    {"Even/Odd", "Odd", "Even"},                   // 21
    {"Random", "Start", "End"},                    // 22
};

} // namespace

// ------------------------------------------------------------------ editor sizes, MIDI, presets
constexpr Vocab<4> SCREEN_SIZE_STR = column(kScreenSizeRows, 0);
constexpr Vocab<4> SET_SCREEN_SIZE_STR = column(kScreenSizeRows, 1);
constexpr Vocab<4> SCREEN_SIZE_SHORT_STR = column(kScreenSizeRows, 2);

constexpr Vocab<17> MIDI_IN_CHANNEL_STR = {"Omni",  "CH 01", "CH 02", "CH 03", "CH 04", "CH 05",
                                           "CH 06", "CH 07", "CH 08", "CH 09", "CH 10", "CH 11",
                                           "CH 12", "CH 13", "CH 14", "CH 15", "CH 16"};
// The last title has blanks round the dash.
constexpr Vocab<8> PRESET_SUB_HEADER_STR = {"Preset 1-32",    "Preset 33-64",    "Preset 65-96",
                                            "Preset 97-128",  "Preset 129-160",  "Preset 161-192",
                                            "Preset 193-224", "Preset 225 - 256"};
// Entry 15 refreshes the folder list after files changed outside the editor.
constexpr Vocab<24> PRESET_COMMAND_STR = {
    "Save Current Preset in Favorites", // 0
    "Save Preset",                      // 1
    "Save Preset As",                   // 2
    "Save Preset In Folder",            // 3
    "Rename Preset",                    // 4
    "Create New Preset",                // 5
    "Delete Preset",                    // 6
    "Load Preset",                      // 7
    "Default Preset",                   // 8
    "Clear Preset",                     // 9
    "-",                                // 10
    "Copy Folder",                      // 11
    "Rename Folder",                    // 12
    "Create New Folder",                // 13
    "Delete Folder",                    // 14
    "Refresh Folders",                  // 15
    "-",                                // 16
    "Revert to Original Preset",        // 17
    "Revert to Edited Preset",          // 18
    "-",                                // 19
    "Set To 100% Screen Size",          // 20
    "Set To 125% Screen Size",          // 21
    "Set To 150% Screen Size",          // 22
    "Set To 200% Screen Size",          // 23
};
constexpr const char* BAD_FOLDER_NAME_STR = "UNKNOWN_FOLDER";
constexpr const char* BAD_PRESET_NAME_STR = "UNKNOWN_PRESET";
constexpr const char* DONT_WRITE_FILE_NAME_STR = "DONT_WRITE_FILE_NAME";

// ------------------------------------------------------------------ switches and section locks
constexpr Vocab<2> OFF_ON_STR = {"Off", "On"};
constexpr Vocab<3> LOCK_STR = {"Off", "On", "Set"};

// ---------------------------------------------- play, portamento, unison, bend, distortion
constexpr Vocab<9> PLAY_MODE_STR = column(kPlayModeRows, 0);
constexpr Vocab<9> PLAY_MODE_SHORT_STR = column(kPlayModeRows, 1);
constexpr Vocab<5> PORT_MODE_STR = column(kPortModeRows, 0);
constexpr Vocab<5> PORT_MODE_SHORT_STR = column(kPortModeRows, 1);
constexpr Vocab<24> UNI_MODE_STR = {
    "Off",       "2",         "3",          "4",          "2 Octaves",  "3 Octaves",
    "2 Special", "Major",     "Fifth",      "Sus4",       "Sus2",       "Major Add9",
    "Major 6",   "Major 7",   "Minor",      "Minor Add9", "Minor 6",    "Minor b6",
    "Minor 7",   "Minor 7b5", "Dominant 7", "7 Sus4",     "Diminished", "Diminish 7"};
constexpr Vocab<16> PITCH_BEND_STR = {"Off", "1", "2",  "3",  "4",  "5",  "6",  "7",
                                      "8",   "9", "10", "11", "12", "24", "36", "48"};
constexpr Vocab<12> DISTORT_MODE_STR = column(kDistortModeRows, 0);
constexpr Vocab<12> DISTORT_MODE_SHORT_STR = column(kDistortModeRows, 1);

// ------------------------------------------------------------------ oscillator and waves
constexpr Vocab<15> OSC_MODE_STR = column(kOscModeRows, 0);
constexpr Vocab<15> OSC_MODE_SHORT_STR = column(kOscModeRows, 1);
constexpr Vocab<9> OSC_OCT_STR = {"-4", "-3", "-2", "-1", "0", "1", "2", "3", "4"};

// Factory waves 0..182 ("Spec 001" .. "Spec 128" from 55 on), then the two
// user waves.
constexpr Vocab<185> OSC_WAVE_STR = {
    "Sine",       // 0
    "Saw",        // 1
    "Square",     // 2
    "Triangle",   // 3
    "Rez 1",      // 4
    "Rez 2",      // 5
    "Rez 3",      // 6
    "HalfSine",   // 7
    "SineSaw",    // 8
    "SineSqr",    // 9
    "SineRez",    // 10
    "SawSqr",     // 11
    "SawRez",     // 12
    "SqrRez",     // 13
    "W. Noise",   // 14
    "P. Noise",   // 15
    "Harmc1",     // 16
    "Harmc2",     // 17
    "Harmc3",     // 18
    "Harmc4",     // 19
    "Saw 2",      // 20
    "Saw 3",      // 21
    "Saw 4",      // 22
    "Saw 5",      // 23
    "Square 2",   // 24
    "Square 3",   // 25
    "Square 4",   // 26
    "Square 5",   // 27
    "Triangle 2", // 28
    "Triangle 3", // 29
    "Glass",      // 30
    "Hollow",     // 31
    "Octave",     // 32
    "Overtone",   // 33
    "Rez 4",      // 34
    "Rez 5",      // 35
    "Digix",      // 36
    "Organ 1",    // 37
    "Organ 2",    // 38
    "Organ 3",    // 39
    "Ch. Organ",  // 40
    "Whistle",    // 41
    "Vocal A",    // 42
    "Vocal E",    // 43
    "Vocal O",    // 44
    "Vocal U",    // 45
    "Vox 01",     // 46
    "Vox 02",     // 47
    "Vox 03",     // 48
    "Vox 04",     // 49
    "Vox 05",     // 50
    "Vox 06",     // 51
    "Vox 07",     // 52
    "Vox 08",     // 53
    "Vox 09",     // 54
    "Spec 001",   // 55
    "Spec 002",   // 56
    "Spec 003",   // 57
    "Spec 004",   // 58
    "Spec 005",   // 59
    "Spec 006",   // 60
    "Spec 007",   // 61
    "Spec 008",   // 62
    "Spec 009",   // 63
    "Spec 010",   // 64
    "Spec 011",   // 65
    "Spec 012",   // 66
    "Spec 013",   // 67
    "Spec 014",   // 68
    "Spec 015",   // 69
    "Spec 016",   // 70
    "Spec 017",   // 71
    "Spec 018",   // 72
    "Spec 019",   // 73
    "Spec 020",   // 74
    "Spec 021",   // 75
    "Spec 022",   // 76
    "Spec 023",   // 77
    "Spec 024",   // 78
    "Spec 025",   // 79
    "Spec 026",   // 80
    "Spec 027",   // 81
    "Spec 028",   // 82
    "Spec 029",   // 83
    "Spec 030",   // 84
    "Spec 031",   // 85
    "Spec 032",   // 86
    "Spec 033",   // 87
    "Spec 034",   // 88
    "Spec 035",   // 89
    "Spec 036",   // 90
    "Spec 037",   // 91
    "Spec 038",   // 92
    "Spec 039",   // 93
    "Spec 040",   // 94
    "Spec 041",   // 95
    "Spec 042",   // 96
    "Spec 043",   // 97
    "Spec 044",   // 98
    "Spec 045",   // 99
    "Spec 046",   // 100
    "Spec 047",   // 101
    "Spec 048",   // 102
    "Spec 049",   // 103
    "Spec 050",   // 104
    "Spec 051",   // 105
    "Spec 052",   // 106
    "Spec 053",   // 107
    "Spec 054",   // 108
    "Spec 055",   // 109
    "Spec 056",   // 110
    "Spec 057",   // 111
    "Spec 058",   // 112
    "Spec 059",   // 113
    "Spec 060",   // 114
    "Spec 061",   // 115
    "Spec 062",   // 116
    "Spec 063",   // 117
    "Spec 064",   // 118
    "Spec 065",   // 119
    "Spec 066",   // 120
    "Spec 067",   // 121
    "Spec 068",   // 122
    "Spec 069",   // 123
    "Spec 070",   // 124
    "Spec 071",   // 125
    "Spec 072",   // 126
    "Spec 073",   // 127
    "Spec 074",   // 128
    "Spec 075",   // 129
    "Spec 076",   // 130
    "Spec 077",   // 131
    "Spec 078",   // 132
    "Spec 079",   // 133
    "Spec 080",   // 134
    "Spec 081",   // 135
    "Spec 082",   // 136
    "Spec 083",   // 137
    "Spec 084",   // 138
    "Spec 085",   // 139
    "Spec 086",   // 140
    "Spec 087",   // 141
    "Spec 088",   // 142
    "Spec 089",   // 143
    "Spec 090",   // 144
    "Spec 091",   // 145
    "Spec 092",   // 146
    "Spec 093",   // 147
    "Spec 094",   // 148
    "Spec 095",   // 149
    "Spec 096",   // 150
    "Spec 097",   // 151
    "Spec 098",   // 152
    "Spec 099",   // 153
    "Spec 100",   // 154
    "Spec 101",   // 155
    "Spec 102",   // 156
    "Spec 103",   // 157
    "Spec 104",   // 158
    "Spec 105",   // 159
    "Spec 106",   // 160
    "Spec 107",   // 161
    "Spec 108",   // 162
    "Spec 109",   // 163
    "Spec 110",   // 164
    "Spec 111",   // 165
    "Spec 112",   // 166
    "Spec 113",   // 167
    "Spec 114",   // 168
    "Spec 115",   // 169
    "Spec 116",   // 170
    "Spec 117",   // 171
    "Spec 118",   // 172
    "Spec 119",   // 173
    "Spec 120",   // 174
    "Spec 121",   // 175
    "Spec 122",   // 176
    "Spec 123",   // 177
    "Spec 124",   // 178
    "Spec 125",   // 179
    "Spec 126",   // 180
    "Spec 127",   // 181
    "Spec 128",   // 182
    "User 1",     // 183
    "User 2",     // 184
};

namespace {

constexpr std::size_t kWhiteNoiseWave = 14;
constexpr std::size_t kPinkNoiseWave = 15;

constexpr Vocab<184> waveList() {
    Vocab<184> out{};
    std::size_t n = 0;
    out[n++] = "None";
    for (std::size_t w = 0; w < OSC_WAVE_STR.size(); ++w)
        if (w != kWhiteNoiseWave && w != kPinkNoiseWave) out[n++] = OSC_WAVE_STR[w];
    return out;
}

} // namespace

constexpr Vocab<184> WAVE_STR = waveList();
constexpr Vocab<7> WAVE_SUB_STR = {"Analog Waves",     "Additive Waves",   "Spectral Waves 1",
                                   "Spectral Waves 2", "Spectral Waves 3", "Spectral Waves 4",
                                   "Saved Waves"};

// ------------------------------------------------------------------ filter
constexpr Vocab<22> FILTER_TYPE_STR = {
    "Bypass",    "12dB LP",   "12dB HP",   "12dB BP",   "12dB N",     "12dB LP Z",
    "12dB HP Z", "12dB BP Z", "12dB N Z",  "24dB LP I", "24dB LP II", "24dB HP",
    "24dB BP",   "24dB N",    "24dB LP Z", "24dB HP Z", "24dB BP Z",  "24dB N Z",
    "Comb +",    "Comb -",    "Ring Mod",  "Amp Mod"};

// ------------------------------------------------------------------ tempo-synced lengths
// Note lengths, shortest first: for each of 1/32, 1/16, 1/8, 1/4, 1/2, 1/1,
// 2/1, 4/1, 8/1, 16/1, 32/1 the triplet ("T"), the plain and the dotted ("*")
// length.

// Entry 30 has no " QB".
constexpr Vocab<34> XY_TIME_QUANT_STR = {
    "Off",      // 0
    "1/32T QB", // 1
    "1/32 QB",  // 2
    "1/32* QB", // 3
    "1/16T QB", // 4
    "1/16 QB",  // 5
    "1/16* QB", // 6
    "1/8T QB",  // 7
    "1/8 QB",   // 8
    "1/8* QB",  // 9
    "1/4T QB",  // 10
    "1/4 QB",   // 11
    "1/4* QB",  // 12
    "1/2T QB",  // 13
    "1/2 QB",   // 14
    "1/2* QB",  // 15
    "1/1T QB",  // 16
    "1/1 QB",   // 17
    "1/1* QB",  // 18
    "2/1T QB",  // 19
    "2/1 QB",   // 20
    "2/1* QB",  // 21
    "4/1T QB",  // 22
    "4/1 QB",   // 23
    "4/1* QB",  // 24
    "8/1T QB",  // 25
    "8/1 QB",   // 26
    "8/1* QB",  // 27
    "16/1T QB", // 28
    "16/1 QB",  // 29
    "16/1*",    // 30
    "32/1T QB", // 31
    "32/1 QB",  // 32
    "32/1* QB", // 33
};
constexpr Vocab<34> XY_SYNC_TO_MODE_STR = {
    "Off",      // 0
    "1/32T QB", // 1
    "1/32 QB",  // 2
    "1/32* QB", // 3
    "1/16T QB", // 4
    "1/16 QB",  // 5
    "1/16* QB", // 6
    "1/8T QB",  // 7
    "1/8 QB",   // 8
    "1/8* QB",  // 9
    "1/4T QB",  // 10
    "1/4 QB",   // 11
    "1/4* QB",  // 12
    "1/2T QB",  // 13
    "1/2 QB",   // 14
    "1/2* QB",  // 15
    "1/1T QB",  // 16
    "1/1 QB",   // 17
    "1/1* QB",  // 18
    "2/1T QB",  // 19
    "2/1 QB",   // 20
    "2/1* QB",  // 21
    "4/1T QB",  // 22
    "4/1 QB",   // 23
    "4/1* QB",  // 24
    "8/1T QB",  // 25
    "8/1 QB",   // 26
    "8/1* QB",  // 27
    "16/1T QB", // 28
    "16/1 QB",  // 29
    "16/1* QB", // 30
    "32/1T QB", // 31
    "32/1 QB",  // 32
    "32/1* QB", // 33
};
constexpr Vocab<34> XY_TIME_QUANT_SHORT_STR = {
    "Off",   // 0
    "1/32T", // 1
    "1/32",  // 2
    "1/32*", // 3
    "1/16T", // 4
    "1/16",  // 5
    "1/16*", // 6
    "1/8T",  // 7
    "1/8",   // 8
    "1/8*",  // 9
    "1/4T",  // 10
    "1/4",   // 11
    "1/4*",  // 12
    "1/2T",  // 13
    "1/2",   // 14
    "1/2*",  // 15
    "1/1T",  // 16
    "1/1",   // 17
    "1/1*",  // 18
    "2/1T",  // 19
    "2/1",   // 20
    "2/1*",  // 21
    "4/1T",  // 22
    "4/1",   // 23
    "4/1*",  // 24
    "8/1T",  // 25
    "8/1",   // 26
    "8/1*",  // 27
    "16/1T", // 28
    "16/1",  // 29
    "16/1*", // 30
    "32/1T", // 31
    "32/1",  // 32
    "32/1*", // 33
};
constexpr Vocab<34> XY_SYNC_TO_MODE_SHORT_STR = XY_TIME_QUANT_SHORT_STR;

constexpr Vocab<31> ENV_TEMPO_SYNC_STR = {
    "1/32T QB", // 0
    "1/32 QB",  // 1
    "1/32* QB", // 2
    "1/16T QB", // 3
    "1/16 QB",  // 4
    "1/16* QB", // 5
    "1/8T QB",  // 6
    "1/8 QB",   // 7
    "1/8* QB",  // 8
    "1/4T QB",  // 9
    "1/4 QB",   // 10
    "1/4* QB",  // 11
    "1/2T QB",  // 12
    "1/2 QB",   // 13
    "1/2* QB",  // 14
    "1/1T QB",  // 15
    "1/1 QB",   // 16
    "1/1* QB",  // 17
    "2/1T QB",  // 18
    "2/1 QB",   // 19
    "2/1* QB",  // 20
    "4/1T QB",  // 21
    "4/1 QB",   // 22
    "4/1* QB",  // 23
    "8/1T QB",  // 24
    "8/1 QB",   // 25
    "8/1* QB",  // 26
    "16/1T QB", // 27
    "16/1 QB",  // 28
    "16/1* QB", // 29
    "Off",      // 30
};

// Symmetric round "Off", the shortest fades at both ends; the last entry has
// no " QB".
constexpr Vocab<61> ENV_FADE_TEMPO_SYNC_STR = {
    "Down 1/32T QB", // 0
    "Down 1/32 QB",  // 1
    "Down 1/32* QB", // 2
    "Down 1/16T QB", // 3
    "Down 1/16 QB",  // 4
    "Down 1/16* QB", // 5
    "Down 1/8T QB",  // 6
    "Down 1/8 QB",   // 7
    "Down 1/8* QB",  // 8
    "Down 1/4T QB",  // 9
    "Down 1/4 QB",   // 10
    "Down 1/4* QB",  // 11
    "Down 1/2T QB",  // 12
    "Down 1/2 QB",   // 13
    "Down 1/2* QB",  // 14
    "Down 1/1T QB",  // 15
    "Down 1/1 QB",   // 16
    "Down 1/1* QB",  // 17
    "Down 2/1T QB",  // 18
    "Down 2/1 QB",   // 19
    "Down 2/1* QB",  // 20
    "Down 4/1T QB",  // 21
    "Down 4/1 QB",   // 22
    "Down 4/1* QB",  // 23
    "Down 8/1T QB",  // 24
    "Down 8/1 QB",   // 25
    "Down 8/1* QB",  // 26
    "Down 16/1T QB", // 27
    "Down 16/1 QB",  // 28
    "Down 16/1* QB", // 29
    "Off",           // 30
    "Up 16/1* QB",   // 31
    "Up 16/1 QB",    // 32
    "Up 16/1T QB",   // 33
    "Up 8/1* QB",    // 34
    "Up 8/1 QB",     // 35
    "Up 8/1T QB",    // 36
    "Up 4/1* QB",    // 37
    "Up 4/1 QB",     // 38
    "Up 4/1T QB",    // 39
    "Up 2/1* QB",    // 40
    "Up 2/1 QB",     // 41
    "Up 2/1T QB",    // 42
    "Up 1/1* QB",    // 43
    "Up 1/1 QB",     // 44
    "Up 1/1T QB",    // 45
    "Up 1/2* QB",    // 46
    "Up 1/2 QB",     // 47
    "Up 1/2T QB",    // 48
    "Up 1/4* QB",    // 49
    "Up 1/4 QB",     // 50
    "Up 1/4T QB",    // 51
    "Up 1/8* QB",    // 52
    "Up 1/8 QB",     // 53
    "Up 1/8T QB",    // 54
    "Up 1/16* QB",   // 55
    "Up 1/16 QB",    // 56
    "Up 1/16T QB",   // 57
    "Up 1/32* QB",   // 58
    "Up 1/32 QB",    // 59
    "Up 1/32T",      // 60
};

// Longest first.
constexpr Vocab<34> LFO_PERIOD_STR = {
    "Off",      // 0
    "32/1* QB", // 1
    "32/1 QB",  // 2
    "32/1T QB", // 3
    "16/1* QB", // 4
    "16/1 QB",  // 5
    "16/1T QB", // 6
    "8/1* QB",  // 7
    "8/1 QB",   // 8
    "8/1T QB",  // 9
    "4/1* QB",  // 10
    "4/1 QB",   // 11
    "4/1T QB",  // 12
    "2/1* QB",  // 13
    "2/1 QB",   // 14
    "2/1T QB",  // 15
    "1/1* QB",  // 16
    "1/1 QB",   // 17
    "1/1T QB",  // 18
    "1/2* QB",  // 19
    "1/2 QB",   // 20
    "1/2T QB",  // 21
    "1/4* QB",  // 22
    "1/4 QB",   // 23
    "1/4T QB",  // 24
    "1/8* QB",  // 25
    "1/8 QB",   // 26
    "1/8T QB",  // 27
    "1/16* QB", // 28
    "1/16 QB",  // 29
    "1/16T QB", // 30
    "1/32* QB", // 31
    "1/32 QB",  // 32
    "1/32T QB", // 33
};

constexpr Vocab<31> FX_PERIOD_STR = {
    "Off",   // 0
    "32/1*", // 1
    "32/1",  // 2
    "32/1T", // 3
    "16/1*", // 4
    "16/1",  // 5
    "16/1T", // 6
    "8/1*",  // 7
    "8/1",   // 8
    "8/1T",  // 9
    "4/1*",  // 10
    "4/1",   // 11
    "4/1T",  // 12
    "2/1*",  // 13
    "2/1",   // 14
    "2/1T",  // 15
    "1/1*",  // 16
    "1/1",   // 17
    "1/1T",  // 18
    "1/2*",  // 19
    "1/2",   // 20
    "1/2T",  // 21
    "1/4*",  // 22
    "1/4",   // 23
    "1/4T",  // 24
    "1/8*",  // 25
    "1/8",   // 26
    "1/8T",  // 27
    "1/16*", // 28
    "1/16",  // 29
    "1/16T", // 30
};

constexpr Vocab<15> DELAY_LEN_STR = {
    "1/32T", // 0
    "1/32",  // 1
    "1/32*", // 2
    "1/16T", // 3
    "1/16",  // 4
    "1/16*", // 5
    "1/8T",  // 6
    "1/8",   // 7
    "1/8*",  // 8
    "1/4T",  // 9
    "1/4",   // 10
    "1/4*",  // 11
    "1/2T",  // 12
    "1/2",   // 13
    "1/2*",  // 14
};

// ------------------------------------------------------------------ LFOs
constexpr Vocab<4> LFO_MODE_STR = {"Poly", "Free", "Mono", "Legato"};
constexpr Vocab<19> LFO_WAVE_STR = column(kLfoWaveRows, 0);
constexpr Vocab<19> LFO_WAVE_SHORT_STR = column(kLfoWaveRows, 1);

// ------------------------------------------------------------------ modulation
constexpr Vocab<75> SRC_STR = column(kSrcRows, 0);
constexpr Vocab<75> SRC_SHORT_STR = column(kSrcRows, 1);
constexpr Vocab<3> SRC_SUB_STR = {"MIDI Sources", "Mod Sources", "Other Sources"};
constexpr Vocab<222> DEST_STR = column(kDestRows, 0);
constexpr Vocab<222> DEST_SHORT_STR = column(kDestRows, 1);
constexpr Vocab<222> DEST_VERY_SHORT_STR = column(kDestRows, 2);
constexpr Vocab<12> DEST_SUB_STR = {"Global", "Unison",        "Oscillator", "Filter",
                                    "Amp",    "Free Envelope", "Free LFO",   "Mod/XY",
                                    "Chorus", "Flanger",       "Phaser",     "Delay/Reverb"};
constexpr Vocab<16> MOD_STR = {"Slot 01", "Slot 02", "Slot 03", "Slot 04", "Slot 05", "Slot 06",
                               "Slot 07", "Slot 08", "Slot 09", "Slot 10", "Slot 11", "Slot 12",
                               "XY X 1",  "XY Y 1",  "XY X 2",  "XY Y 2"};
constexpr Vocab<12> SLOT_STR = {"Slot 01", "Slot 02", "Slot 03", "Slot 04", "Slot 05", "Slot 06",
                                "Slot 07", "Slot 08", "Slot 09", "Slot 10", "Slot 11", "Slot 12"};

// ------------------------------------------------------------------ XY pad
constexpr Vocab<3> XY_RECORD_MODE_STR = {"Live", "Record", "Replay"};
constexpr Vocab<3> XY_LOOP_MODE_STR = column(kXYLoopModeRows, 0);
constexpr Vocab<3> XY_LOOP_MODE_SHORT_STR = column(kXYLoopModeRows, 1);
constexpr Vocab<4> XY_PLAY_MODE_STR = {"Poly", "Free", "Mono", "Legato"};
constexpr Vocab<7> XY_POINT_QUANT_STR = {"128", "64", "32", "16", "8", "4", "2"};
constexpr Vocab<5> XY_SPACE_QUANT_STR = {"Off", "32", "16", "8", "4"};

// --------------------------------------------------------- arpeggiator and step sequencer
constexpr Vocab<16> ARP_MODE_STR = column(kArpModeRows, 0);
constexpr Vocab<16> ARP_MODE_SHORT_STR = column(kArpModeRows, 1);
constexpr Vocab<4> ARP_OCT_STR = {"1", "2", "3", "4"};
constexpr Vocab<16> ARP_STEPS_STR = {"1", "2",  "3",  "4",  "5",  "6",  "7",  "8",
                                     "9", "10", "11", "12", "13", "14", "15", "16"};
constexpr Vocab<17> ARP_SPEED_STR = {"1/16x", "1/12x", "1/8x", "1/6x", "1/4x", "1/3x",
                                     "1/2x",  "2/3x",  "1x",   "3/2x", "2x",   "3x",
                                     "4x",    "6x",    "8x",   "12x",  "16x"};
constexpr Vocab<4> ARP_TIED_MODE_STR = {"Normal", "Special", "Toggle1", "Toggle2"};
constexpr Vocab<4> ARP_RATCHET_STR = {"Off", "2", "3", "4"};
constexpr Vocab<9> ARP_RATCHET_MODE_STR = column(kArpRatchetModeRows, 0);
constexpr Vocab<9> ARP_RATCHET_SHORT_MODE_STR = column(kArpRatchetModeRows, 1);
constexpr Vocab<3> ARP_LOOP_MODE_STR = {"On", "Off", "PingPong"};
constexpr Vocab<3> ARP_CATCHUP_STR = {"All", "Even", "Odd"};
constexpr Vocab<13> ARP_MAGIC_MODE_STR = column(kArpMagicModeRows, 0);
constexpr Vocab<13> ARP_MAGIC_MODE_SHORT_STR = column(kArpMagicModeRows, 1);
constexpr Vocab<9> ARP_MAGIC_STEPS_STR = column(kArpMagicStepsRows, 0);
constexpr Vocab<9> ARP_MAGIC_STEPS_SHORT_STR = column(kArpMagicStepsRows, 1);
constexpr Vocab<21> ARP_CHORD_STR = column(kArpChordRows, 0);
constexpr Vocab<21> ARP_CHORD_SHORT_STR = column(kArpChordRows, 1);

// ------------------------------------------------------------------ wave shaper
constexpr Vocab<23> WAVE_SHAPER_STR = column(kWaveShaperRows, 0);
constexpr Vocab<23> WAVE_SHAPER_LABEL_1_STR = column(kWaveShaperRows, 1);
constexpr Vocab<23> WAVE_SHAPER_LABEL_2_STR = column(kWaveShaperRows, 2);

// ------------------------------------------------------------------ checks
static_assert(complete(SCREEN_SIZE_STR));
static_assert(complete(SET_SCREEN_SIZE_STR));
static_assert(complete(SCREEN_SIZE_SHORT_STR));
static_assert(complete(PLAY_MODE_STR));
static_assert(complete(PLAY_MODE_SHORT_STR));
static_assert(complete(PORT_MODE_STR));
static_assert(complete(PORT_MODE_SHORT_STR));
static_assert(complete(DISTORT_MODE_STR));
static_assert(complete(DISTORT_MODE_SHORT_STR));
static_assert(complete(OSC_MODE_STR));
static_assert(complete(OSC_MODE_SHORT_STR));
static_assert(complete(LFO_WAVE_STR));
static_assert(complete(LFO_WAVE_SHORT_STR));
static_assert(complete(SRC_STR));
static_assert(complete(SRC_SHORT_STR));
static_assert(complete(DEST_STR));
static_assert(complete(DEST_SHORT_STR));
static_assert(complete(DEST_VERY_SHORT_STR));
static_assert(complete(ARP_MODE_STR));
static_assert(complete(ARP_MODE_SHORT_STR));
static_assert(complete(ARP_RATCHET_MODE_STR));
static_assert(complete(ARP_RATCHET_SHORT_MODE_STR));
static_assert(complete(ARP_MAGIC_MODE_STR));
static_assert(complete(ARP_MAGIC_MODE_SHORT_STR));
static_assert(complete(ARP_MAGIC_STEPS_STR));
static_assert(complete(ARP_MAGIC_STEPS_SHORT_STR));
static_assert(complete(ARP_CHORD_STR));
static_assert(complete(ARP_CHORD_SHORT_STR));
static_assert(complete(WAVE_SHAPER_STR));
static_assert(complete(WAVE_SHAPER_LABEL_1_STR));
static_assert(complete(WAVE_SHAPER_LABEL_2_STR));
static_assert(complete(MIDI_IN_CHANNEL_STR));
static_assert(complete(PRESET_SUB_HEADER_STR));
static_assert(complete(PRESET_COMMAND_STR));
static_assert(complete(OFF_ON_STR));
static_assert(complete(LOCK_STR));
static_assert(complete(UNI_MODE_STR));
static_assert(complete(PITCH_BEND_STR));
static_assert(complete(OSC_OCT_STR));
static_assert(complete(OSC_WAVE_STR));
static_assert(complete(WAVE_SUB_STR));
static_assert(complete(FILTER_TYPE_STR));
static_assert(complete(LFO_MODE_STR));
static_assert(complete(SRC_SUB_STR));
static_assert(complete(DEST_SUB_STR));
static_assert(complete(MOD_STR));
static_assert(complete(XY_RECORD_MODE_STR));
static_assert(complete(XY_LOOP_MODE_STR));
static_assert(complete(XY_LOOP_MODE_SHORT_STR));
static_assert(complete(XY_PLAY_MODE_STR));
static_assert(complete(XY_POINT_QUANT_STR));
static_assert(complete(XY_SPACE_QUANT_STR));
static_assert(complete(ARP_OCT_STR));
static_assert(complete(ARP_SPEED_STR));
static_assert(complete(ARP_TIED_MODE_STR));
static_assert(complete(ARP_RATCHET_STR));
static_assert(complete(ARP_LOOP_MODE_STR));
static_assert(complete(ARP_CATCHUP_STR));
static_assert(complete(WAVE_STR));
static_assert(complete(SLOT_STR));
static_assert(complete(ARP_STEPS_STR));
static_assert(complete(XY_TIME_QUANT_STR));
static_assert(complete(XY_SYNC_TO_MODE_STR));
static_assert(complete(XY_TIME_QUANT_SHORT_STR));
static_assert(complete(XY_SYNC_TO_MODE_SHORT_STR));
static_assert(complete(ENV_TEMPO_SYNC_STR));
static_assert(complete(ENV_FADE_TEMPO_SYNC_STR));
static_assert(complete(LFO_PERIOD_STR));
static_assert(complete(FX_PERIOD_STR));
static_assert(complete(DELAY_LEN_STR));
