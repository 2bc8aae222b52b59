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

// tag::XYRecordMode and tag::XYPlayMode.
namespace xyrecord {
enum Id : int { Live, Record, Replay };
} // namespace xyrecord
namespace xyplay {
enum Id : int { Poly, Free, Mono, Legato };
} // namespace xyplay
