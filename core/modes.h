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
