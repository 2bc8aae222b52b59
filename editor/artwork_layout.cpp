// Where the controls sit on the design screen (1132 x 779) and on the
// sub-pages, with the labels that the backgrounds paint for them. The
// editor takes its positions from here, so controls and artwork agree.

#include "editor/artwork.h"

namespace ondix::artwork {

namespace {

constexpr int kNoTag = 9999;
constexpr std::array<int, 3> kZero = {0, 0, 0};

constexpr ControlPlace make(int tag, PlaceKind kind, int x, int y, int w, int h, int bitmap,
                            const char* label, LabelSide side) {
    return {tag, kind, 0, x, y, w, h, bitmap, -1, label, side, kMainScreen, kZero, kZero};
}

// Knob types 0 and 1 use the large strips (36), 2 and 3 the small ones (30).
constexpr ControlPlace knob(int tag, int x, int y, int type, const char* label,
                            LabelSide side = LabelSide::Below) {
    const bool large = type < 2;
    ControlPlace p = make(tag, PlaceKind::Knob, x, y, large ? 36 : 30, large ? 36 : 30,
                          large ? 10034 : 10035, label, side);
    p.knobType = type;
    return p;
}

constexpr ControlPlace onOff(int tag, int x, int y, const char* label, int bitmap = 10050,
                             int w = 28) {
    return make(tag, PlaceKind::Switch, x, y, w, 14, bitmap, label,
                label ? LabelSide::Inside : LabelSide::None);
}

constexpr ControlPlace kick(int x, int y, const char* label) {
    return make(kNoTag, PlaceKind::Kick, x, y, 28, 14, 10050, label, LabelSide::Inside);
}

constexpr ControlPlace radio(int x, int y, const char* label) {
    return make(kNoTag, PlaceKind::Radio, x, y, 28, 14, 10050, label, LabelSide::Inside);
}

constexpr ControlPlace tab(int x, int y, int w, int bitmap) {
    return make(kNoTag, PlaceKind::Radio, x, y, w, 16, bitmap, nullptr, LabelSide::None);
}

constexpr ControlPlace menu(int tag, int x, int y, int w, int h, const char* label,
                            LabelSide side = LabelSide::Above) {
    return make(tag, PlaceKind::Menu, x, y, w, h, 0, label, label ? side : LabelSide::None);
}

constexpr ControlPlace readout(int tag, int x, int y, int w, int h, const char* label,
                               LabelSide side) {
    return make(tag, PlaceKind::Readout, x, y, w, h, 0, label, label ? side : LabelSide::None);
}

constexpr ControlPlace screen(int x, int y, int w, int h, const char* name) {
    return make(kNoTag, PlaceKind::Screen, x, y, w, h, 0, name, LabelSide::None);
}

constexpr ControlPlace title(int x, int y, int w, int h, const char* label) {
    return make(kNoTag, PlaceKind::Title, x, y, w, h, 0, label, LabelSide::Inside);
}

constexpr ControlPlace icon(int x, int y, int w, int h, int bitmap) {
    return make(kNoTag, PlaceKind::Icon, x, y, w, h, bitmap, nullptr, LabelSide::None);
}

constexpr ControlPlace in(ControlPlace p, int page) {
    p.page = page;
    return p;
}

constexpr ControlPlace only(ControlPlace p, unsigned screens) {
    p.screens = screens;
    return p;
}

constexpr ControlPlace shifted(ControlPlace p, std::array<int, 3> dx, std::array<int, 3> dy) {
    p.dx = dx;
    p.dy = dy;
    return p;
}

constexpr ControlPlace arp(ControlPlace p) {
    return only(p, kArpPage);
}
constexpr ControlPlace wave(ControlPlace p) {
    return only(p, kWavePage);
}
constexpr ControlPlace back(ControlPlace p) {
    return only(p, kBackScreen);
}

constexpr LabelSide kAbove = LabelSide::Above;
constexpr LabelSide kLeft = LabelSide::Left;
constexpr LabelSide kRight = LabelSide::Right;
constexpr LabelSide kNoLabel = LabelSide::None;

// Free-envelope and effect knob columns inside their pages.
constexpr int kFreeEnvX[5] = {18, 65, 112, 157, 203};
constexpr int kFxX[6] = {9, 51, 93, 134, 176, 218};
constexpr int kFxFrameX = 849; // the effects page's left edge
constexpr int fx(int i) {
    return kFxFrameX + kFxX[i];
}
// Envelope knob columns inside the envelope pages.
constexpr int kEnvX[4] = {14, 71, 130, 186};

constexpr ControlPlace kPlaces[] = {
    // ---------------------------------------------------------------- header
    kick(39, 31, "C3"),
    menu(kNoTag, 112, 23, 164, 16, "PRESET", kLeft),
    shifted(menu(kNoTag, 112, 42, 164, 16, "FOLDER", kLeft), kZero, {0, 0, 1}),
    kick(322, 24, "Edit"),
    kick(322, 43, "Orig"),
    kick(372, 43, "Help"),
    make(9998, PlaceKind::Menu, 372, 24, 28, 14, 10054, nullptr, kNoLabel),
    readout(kNoTag, 402, 23, 225, 16, nullptr, kNoLabel),
    shifted(readout(kNoTag, 402, 42, 225, 16, nullptr, kNoLabel), kZero, {0, 0, 1}),
    icon(1098, 10, 17, 10, 0), // control menu, over the painted menu mark

    // ---------------------------------------------------------------- oscillator
    title(24, 90, 65, 17, "OSCILLATOR"),
    menu(14, 129, 106, 81, 17, "Wave A"),
    menu(15, 129, 336, 81, 17, "Wave B"),
    make(16, PlaceKind::Slider, 97, 104, 21, 251, 10040, "Morph", LabelSide::Below),
    knob(19, 40, 112, 2, "SMod Amt"),
    knob(20, 40, 160, 2, "SMod Rate"),
    menu(249, 22, 214, 66, 15, "Mode"),
    knob(18, 40, 248, 3, "Symmetry"),
    onOff(1000, 41, 304, "Free"),
    onOff(999, 41, 328, "Wrap"),
    menu(17, 31, 396, 47, 14, "Octave"),
    knob(22, 155, 152, 2, "Spread"),
    knob(21, 155, 236, 3, "Sub"),

    // ---------------------------------------------------------------- free LFOs
    tab(22, 430, 60, 10060),
    tab(87, 430, 60, 10061),
    in(menu(251, 9, 21, 57, 14, "Mode"), 10024),
    in(menu(252, 74, 21, 57, 14, "Wave"), 10024),
    in(readout(63, 173, 21, 57, 14, "Speed", kAbove), 10024),
    in(knob(63, 135, 12, 2, nullptr, kNoLabel), 10024),
    in(onOff(64, 233, 21, "Sync"), 10024),

    // ---------------------------------------------------------------- free envelopes
    tab(22, 523, 60, 10062),
    tab(87, 523, 60, 10063),
    onOff(56, 257, 526, "Sync"),
    in(knob(51, kFreeEnvX[0], 11, 2, "Attack"), 10025),
    in(knob(52, kFreeEnvX[1], 11, 2, "Decay"), 10025),
    in(knob(53, kFreeEnvX[2], 11, 2, "Sustain"), 10025),
    in(knob(54, kFreeEnvX[3], 11, 3, "Fade"), 10025),
    in(knob(55, kFreeEnvX[4], 11, 2, "Release"), 10025),

    // ---------------------------------------------------------------- modulation
    title(22, 612, 53, 20, "MODULATION"),
    screen(25, 648, 250, 104, "mod"),

    // ---------------------------------------------------------------- XY pad
    radio(243, 87, "Live"),
    radio(288, 87, "Rec"),
    radio(345, 87, "Replay"),
    make(49, PlaceKind::Slider, 375, 90, 64, 12, 10041, "Speed", kRight),
    shifted(screen(227, 110, 239, 239, "xy"), kZero, {0, 2, 2}),
    knob(47, 478, 108, 1, "X Morph", kAbove),
    knob(48, 518, 108, 1, "Y Morph", kAbove),
    menu(452, 479, 146, 73, 13, nullptr),
    knob(43, 479, 161, 3, "X1 Amount", kRight),
    menu(454, 479, 207, 73, 13, nullptr),
    knob(45, 479, 222, 3, "X2 Amount", kRight),
    menu(453, 479, 270, 73, 13, nullptr),
    knob(44, 479, 285, 3, "Y1 Amount", kRight),
    menu(455, 479, 334, 73, 13, nullptr),
    knob(46, 479, 349, 3, "Y2 Amount", kRight),
    menu(447, 270, 358, 63, 12, "Play", kLeft),
    menu(446, 270, 377, 63, 12, "Loop", kLeft),
    menu(448, 270, 396, 63, 12, "Sync", kLeft),
    menu(449, 393, 358, 63, 12, "Points", kLeft),
    menu(451, 393, 377, 63, 12, "Space", kLeft),
    menu(450, 393, 396, 63, 12, "Time", kLeft),
    onOff(456, 470, 396, "Edit"),
    icon(534, 377, 16, 16, 10051),
    onOff(1024, 534, 396, "Osc"),

    // ---------------------------------------------------------------- filter
    title(571, 90, 61, 18, "FILTER"),
    knob(23, 586, 112, 0, "Cutoff"),
    knob(24, 640, 118, 2, "Reso"),
    menu(250, 695, 127, 76, 14, "Type"),
    knob(25, 590, 182, 3, "Wheel"),
    knob(26, 640, 182, 2, "Velocity"),
    knob(27, 690, 182, 3, "Key"),
    knob(28, 747, 182, 2, "Env"),
    onOff(29, 748, 233, nullptr, 10055),
    in(screen(4, 4, 235, 69, "env"), 10020),
    in(screen(4, 4, 235, 69, "env"), 10022),
    in(knob(30, kEnvX[0], 17, 0, "Attack"), 10021),
    in(knob(31, kEnvX[1], 17, 0, "Decay"), 10021),
    in(knob(32, kEnvX[2], 17, 0, "Sustain"), 10021),
    in(knob(33, kEnvX[3], 17, 0, "Release"), 10021),
    knob(35, 600, 366, 0, "Freq"),
    knob(37, 652, 370, 2, "Q"),
    onOff(34, 700, 372, "On"),
    onOff(36, 736, 372, "Q"),
    onOff(38, 772, 372, "Key"),

    // ---------------------------------------------------------------- play and amp
    menu(243, 857, 128, 110, 14, "Play Mode"),
    menu(244, 974, 128, 66, 14, "Glide Mode"),
    menu(kNoTag, 1043, 128, 70, 14, "Lock"),
    knob(1, 860, 146, 0, "Volume"),
    knob(2, 910, 149, 3, "Pan"),
    knob(3, 956, 149, 2, "Velocity"),
    knob(8, 1002, 149, 2, "Glide"),
    menu(245, 857, 196, 66, 14, nullptr),
    shifted(icon(926, 196, 36, 9, 10076), {0, -1, 0}, kZero),
    knob(9, 972, 196, 2, "Detune"),
    knob(10, 1014, 196, 2, "Spread"),
    shifted(onOff(kNoTag, 1086, 215, "Knobs"), {0, -1, 0}, kZero),
    menu(246, 857, 268, 50, 14, "Bend Down"),
    menu(247, 911, 268, 50, 14, "Bend Up"),
    menu(248, 975, 268, 66, 14, "Distort"),
    knob(11, 1046, 260, 2, "Amount"),
    onOff(12, 1086, 268, "Drift"),
    onOff(13, 1086, 332, "Exp"),
    in(knob(4, kEnvX[0], 17, 0, "Attack"), 10023),
    in(knob(5, kEnvX[1], 17, 0, "Decay"), 10023),
    in(knob(6, kEnvX[2], 17, 0, "Sustain"), 10023),
    in(knob(7, kEnvX[3], 17, 0, "Release"), 10023),

    // ---------------------------------------------------------------- effects
    onOff(79, 1086, 438, "Bypass"),
    onOff(80, 905, 456, "On"),
    knob(81, fx(0), 474, 2, "Length"),
    knob(82, fx(1), 474, 2, "Width"),
    knob(83, fx(2), 474, 2, "Speed"),
    knob(84, fx(3), 474, 2, "LP"),
    knob(85, fx(4), 474, 2, "HP"),
    knob(86, fx(5), 474, 3, "Mix"),
    onOff(87, 856, 524, nullptr, 10066, 44),
    onOff(88, 905, 524, "On"),
    onOff(88, 983, 524, "On"),
    in(knob(89, kFxX[0], 7, 2, "Length"), 10026),
    in(knob(90, kFxX[1], 7, 2, "Width"), 10026),
    in(knob(91, kFxX[2], 7, 2, "Speed"), 10026),
    in(knob(92, kFxX[3], 7, 2, "Feed"), 10026),
    in(knob(93, kFxX[4], 7, 2, "Pan Mod"), 10026),
    in(knob(94, kFxX[5], 7, 3, "Mix"), 10026),
    in(knob(95, kFxX[0], 7, 2, "Pitch"), 10027),
    in(knob(96, kFxX[1], 7, 2, "Feed"), 10027),
    in(knob(97, kFxX[2], 7, 2, "Width"), 10027),
    in(knob(98, kFxX[3], 7, 2, "Speed"), 10027),
    in(knob(99, kFxX[4], 7, 2, "Pan Mod"), 10027),
    in(knob(100, kFxX[5], 7, 3, "Mix"), 10027),
    onOff(101, 905, 604, "On"),
    onOff(107, 947, 604, "Sync"),
    knob(102, fx(0), 622, 2, "Left"),
    knob(103, fx(1), 622, 2, "Right"),
    knob(104, fx(2), 622, 3, "Feed"),
    knob(105, fx(3), 622, 2, "LP"),
    knob(106, fx(4), 622, 2, "HP"),
    knob(108, fx(5), 622, 3, "Mix"),
    onOff(109, 905, 682, "On"),
    knob(110, fx(0), 700, 2, "Pre-Delay"),
    knob(111, fx(1), 700, 2, "Size"),
    knob(112, fx(2), 700, 2, "Length"),
    knob(113, fx(3), 700, 2, "Damp"),
    knob(114, fx(4), 700, 2, "HP"),
    knob(115, fx(5), 700, 3, "Mix"),

    // ---------------------------------------------------------------- lower page selector
    tab(296, 428, 80, 10064),
    tab(380, 428, 44, 10065),

    // ---------------------------------------------------------------- arpeggiator page
    // The arpeggiator's switch stays in place on both lower pages.
    onOff(116, 428, 432, "On"),
    arp(menu(119, 470, 432, 58, 14, "Speed", LabelSide::Below)),
    arp(menu(291, 534, 432, 58, 14, "Mode", LabelSide::Below)),
    arp(menu(292, 597, 432, 58, 14, "Octave", LabelSide::Below)),
    arp(menu(293, 661, 432, 58, 14, "Tied", LabelSide::Below)),
    arp(menu(kNoTag, 724, 432, 58, 14, "Lock", LabelSide::Below)),
    arp(icon(800, 432, 16, 16, 10051)),
    arp(screen(331, 473, 490, 188, "arp")),
    arp(menu(117, 341, 686, 35, 14, "Steps")),
    arp(menu(296, 389, 686, 66, 14, "Catch-up")),
    arp(menu(295, 467, 686, 66, 14, "Loop")),
    arp(menu(118, 589, 686, 35, 14, "Start")),
    arp(menu(297, 636, 686, 66, 14, "Catch-up")),
    arp(menu(294, 715, 686, 66, 14, "Ratchet")),
    arp(menu(124, 467, 722, 66, 14, "Magic Steps")),
    arp(menu(298, 590, 722, 66, 14, "Magic Mode")),
    arp(onOff(127, 300, 686, "Key")),
    arp(onOff(125, 300, 706, "Sync")),
    arp(onOff(126, 300, 726, "Latch")),
    arp(knob(117, 343, 706, 2, "Steps")),
    arp(knob(124, 426, 714, 2, "Magic")),
    arp(knob(118, 548, 708, 2, "Start")),
    arp(knob(120, 668, 708, 2, "Swing")),
    arp(knob(121, 710, 708, 2, "Slide")),
    arp(knob(122, 752, 708, 2, "Vel/Key")),
    arp(knob(123, 794, 708, 2, "Vel Ratch")),

    // ---------------------------------------------------------------- user-wave page
    wave(radio(487, 432, "1")),
    wave(radio(534, 432, "2")),
    wave(radio(587, 432, "Draw")),
    wave(radio(626, 432, "Line")),
    wave(radio(666, 432, "Erase")),
    wave(radio(716, 432, "Wave")),
    wave(radio(763, 432, "Partial")),
    wave(onOff(996, 804, 432, "Exp")),
    wave(screen(302, 473, 522, 188, "wave")),
    wave(shifted(menu(kNoTag, 296, 704, 138, 14, "Wave Presets"), {0, 0, 2}, {2, 2, 3})),
    wave(menu(995, 444, 704, 65, 14, "Shaper")),
    wave(knob(993, 520, 695, 2, "Shape 1")),
    wave(knob(994, 562, 695, 2, "Shape 2")),
    wave(kick(613, 704, "Apply")),
    wave(kick(650, 704, "Undo")),
    wave(kick(687, 704, "Clear")),
    wave(kick(724, 704, "Load")),
    wave(kick(761, 704, "Save")),
    wave(icon(798, 704, 16, 16, 10051)),

    // ---------------------------------------------------------------- back screen
    back(readout(kNoTag, 128, 170, 190, 19, "Version", kLeft)),
    back(shifted(menu(kNoTag, 214, 414, 74, 14, "MIDI Channel", kLeft), kZero, {2, 2, 2})),
    back(make(kNoTag, PlaceKind::Switch, 125, 432, 28, 14, 10050, "MIDI Preset Control", kLeft)),
    back(make(kNoTag, PlaceKind::Switch, 125, 452, 28, 14, 10050, "MIDI Bank Control", kLeft)),
    back(make(kNoTag, PlaceKind::Switch, 125, 472, 28, 14, 10050, "Alt MIDI", kLeft)),
    back(make(kNoTag, PlaceKind::Switch, 125, 492, 28, 14, 10050, "Keyboard Control", kLeft)),
    back(make(kNoTag, PlaceKind::Switch, 125, 512, 28, 14, 10050, "Preset Warning", kLeft)),
    back(make(kNoTag, PlaceKind::Switch, 125, 532, 28, 14, 10050, "Decay/Sustain", kLeft)),
    back(shifted(menu(kNoTag, 214, 552, 74, 14, "Screen Size", kLeft), kZero, {1, 2, 2})),
    back(shifted(readout(kNoTag, 150, 571, 74, 15, "A4 Tuning", kLeft), kZero, {4, 6, 5})),
    back(shifted(readout(kNoTag, 306, 571, 142, 15, "Tuning", kLeft), kZero, {4, 6, 5})),
    back(shifted(kick(466, 572, "Reset"), kZero, {1, 1, 2})),
};

} // namespace

std::span<const ControlPlace> controlPlaces() {
    return kPlaces;
}

} // namespace ondix::artwork
