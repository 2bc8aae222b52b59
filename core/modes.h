// Steps of the stepped mode parameters that the engine, the editor and the
// controls test by value.
//
// Each enum lists the steps of one tag (core/tags.h) in the order of its
// menu texts in core/vocabulary.cpp; stored programs hold these numbers, so
// they never change.
#pragma once

// tag::PlayMode.
namespace playmode {
enum Id : int { Poly, PolyMpe, Mono, MonoHigh, MonoLow, Legato, LegatoHigh, LegatoLow, Arp };
constexpr int Count = 9;
} // namespace playmode

// tag::PortamentoMode.
namespace portmode {
enum Id : int { Off, ConstantRate, ConstantTime, HeldRate, HeldTime };
} // namespace portmode

// tag::UnisonMode: how many copies play, and at which intervals.
namespace unimode {
enum Id : int {
    Off,
    Two,
    Three,
    Four,
    TwoOctaves,
    ThreeOctaves,
    TwoSpecial,
    Major,
    Fifth,
    Sus4,
    Sus2,
    MajorAdd9,
    Major6,
    Major7,
    Minor,
    MinorAdd9,
    Minor6,
    MinorFlat6,
    Minor7,
    Minor7Flat5,
    Dominant7,
    SevenSus4,
    Diminished,
    Diminished7,
};
constexpr int Count = 24;
} // namespace unimode

// tag::OscMode: how the 32 morph frames between wave A and wave B are built.
namespace oscmode {
enum Id : int {
    Mix,
    Morph,
    LowPartialMorph,
    HighPartialMorph,
    OddEvenMorph,
    EvenOddMorph,
    TableInterpolate,
    TableSplit,
    TableCombine,
    FM,
    PM,
    AM,
    RingMod,
    WaveShaper,
    Range,
};
constexpr int Count = 15;
} // namespace oscmode

// tag::ArpMode.
namespace arpmode {
enum Id : int {
    Up,
    Down,
    UpDown,
    DownUp,
    Random,
    Ordered,
    ReverseOrder,
    OrderedUpDown,
    OrderedDownUp,
    Chord,
    ModFree,
    ModMono,
    ModPoly,
    Sequencer,
    SequencerReset,
    SequencerMono,
};
} // namespace arpmode

// tag::ArpLoopMode.
namespace arploop {
enum Id : int { On, Off, PingPong };
} // namespace arploop

// tag::ArpTiedMode.
namespace arptie {
enum Id : int { Normal, Special, Toggle1, Toggle2 };
} // namespace arptie

// tag::ArpRatchetMode: when a pass plays its ratchets.
namespace arpratchet {
enum Id : int {
    Off,
    On,
    OffOnCycle,
    OnOffCycle,
    TwoOffOneOnCycle,
    ThreeOffOneOnCycle,
    OneOnTwoOffCycle,
    OneOnThreeOffCycle,
    Velocity
};
} // namespace arpratchet

// tag::XYRecordMode, tag::XYPlayMode and tag::XYLoopMode.
namespace xyrecord {
enum Id : int { Live, Record, Replay };
} // namespace xyrecord
namespace xyplay {
enum Id : int { Poly, Free, Mono, Legato };
} // namespace xyplay
namespace xyloop {
enum Id : int { Off, On, PingPong };
} // namespace xyloop
