// The controls that the editor addresses by identity, grouped by the area of
// the screen they belong to.
//
// Every pointer holds the one reference that the editor keeps on its control
// from creation while the window opens until close(): the frame and the
// sub-page containers only ever take views and give them back without
// releasing them. A pointer is null while the window is closed, and stays
// null for a control that could not be made (a missing bitmap).
//
// forEach visits every pointer once, by reference, in the order in which
// close() releases them (the main knobs first).
#pragma once

#include "vstgui/vstgui.h"

#include <array>

class TOptionMenu;
class TMenuButton;
class TOnOff;
class TRadioButton;
class TBitmap;
class TReadout;
class TKnob;
class THSlider;
class TVSlider;
class TEnvScreen;
class TArpScreen;
class TModScreen;
class TXYScreen;
class TWaveScreen;

namespace editor_controls {

using VSTGUI::CControl;
using VSTGUI::CKickButton;

// Pixel offsets of a control added at size indexes 1, 2 and 3 (none at
// 100 %): x offsets, then y offsets.
struct Offsets {
    std::array<int, 3> dx{};
    std::array<int, 3> dy{};
};

// Preset and folder menus, preset buttons, parameter readouts.
struct Header {
    TOptionMenu* presetMenu = nullptr;
    TOptionMenu* folderMenu = nullptr;
    CKickButton* preview = nullptr;        // "C3 Preview"
    CKickButton* editedPreset = nullptr;   // "Edited Preset"
    CKickButton* originalPreset = nullptr; // "Original Preset"
    CKickButton* help = nullptr;           // "Show Help"
    TOptionMenu* ecsMenu = nullptr;        // "ECS Menu"
    TReadout* paramName = nullptr;         // "Parameter Name Readout"
    TReadout* paramValue = nullptr;        // "Parameter Value Readout"
    CKickButton* managerArea = nullptr;    // "Show Manager Screen"
    CKickButton* backScreenArea = nullptr; // "Show Back Screen"
    TMenuButton* controlMenu = nullptr;

    template <class F> void forEach(F&& f) {
        f(presetMenu), f(folderMenu), f(preview), f(editedPreset), f(originalPreset), f(help);
        f(ecsMenu), f(paramName), f(paramValue), f(managerArea), f(backScreenArea);
        f(controlMenu);
    }
};

// The main screen's knobs and switches that are attached as one block, and
// the selector of the lower page.
struct Main {
    static constexpr int kKnobCount = 44;
    static constexpr int kSwitchCount = 16;
    // The two switches of tag 88: the flanger's, then the phaser's.
    static constexpr int kFlangerSwitch = 14;
    static constexpr int kPhaserSwitch = 15;
    std::array<TKnob*, kKnobCount> knobs{};
    std::array<TOnOff*, kSwitchCount> switches{};
    std::array<TRadioButton*, 2> pageSelect{}; // "Show Wave Screen", "Show Arp Screen"

    template <class F> void forEach(F&& f) {
        for (auto*& k : knobs) f(k);
        for (auto*& s : switches) f(s);
        for (auto*& r : pageSelect) f(r);
    }
};

// Play modes, unison, pitch bend and distortion.
struct Play {
    TOptionMenu* playMode = nullptr;
    TOptionMenu* portamentoMode = nullptr;
    TOptionMenu* playLock = nullptr;
    TOptionMenu* unisonMode = nullptr;
    TOptionMenu* bendDown = nullptr;
    TOptionMenu* bendUp = nullptr;
    TOptionMenu* distortMode = nullptr;
    TBitmap* unisonPicture = nullptr;

    template <class F> void forEach(F&& f) {
        f(playMode), f(portamentoMode), f(playLock), f(unisonMode), f(bendDown), f(bendUp);
        f(distortMode), f(unisonPicture);
    }
};

// Oscillator. Each wave menu is the main menu and its five group submenus.
struct Osc {
    TOptionMenu* mode = nullptr;
    std::array<TOptionMenu*, 6> waveA{};
    std::array<TOptionMenu*, 6> waveB{};
    TOptionMenu* octave = nullptr;
    TVSlider* morph = nullptr;
    TMenuButton* menuButton = nullptr;

    template <class F> void forEach(F&& f) {
        f(mode);
        for (auto*& m : waveA) f(m);
        for (auto*& m : waveB) f(m);
        f(octave), f(morph), f(menuButton);
    }
};

// Filter and the two envelope pages.
struct Filter {
    TOptionMenu* type = nullptr;
    TOnOff* invertEnvelope = nullptr;
    TMenuButton* menuButton = nullptr;
    TOnOff* envelopeDisplay = nullptr;      // "Select Envelope Display or Knobs"
    std::array<TKnob*, 4> filterEnvKnobs{}; // tags 30..33
    std::array<TKnob*, 4> ampEnvKnobs{};    // tags 4..7
    TEnvScreen* filterEnvScreen = nullptr;  // the graphic envelopes of the two pages
    TEnvScreen* ampEnvScreen = nullptr;

    template <class F> void forEach(F&& f) {
        f(type), f(invertEnvelope), f(menuButton), f(envelopeDisplay);
        for (auto*& k : filterEnvKnobs) f(k);
        for (auto*& k : ampEnvKnobs) f(k);
        f(filterEnvScreen), f(ampEnvScreen);
    }
};

// The two free LFOs, of which the free-LFO page shows one.
struct FreeLFO {
    std::array<TRadioButton*, 2> select{};
    std::array<TOptionMenu*, 2> mode{};
    std::array<TOptionMenu*, 2> wave{};
    std::array<TReadout*, 2> speedReadout{};
    std::array<TOptionMenu*, 2> speedMenu{}; // tempo-synced speed
    std::array<TKnob*, 2> speedKnob{};
    std::array<TOnOff*, 2> sync{};

    template <class F> void forEach(F&& f) {
        for (int l = 0; l < 2; ++l) {
            f(select[l]), f(mode[l]), f(wave[l]), f(speedReadout[l]), f(speedMenu[l]);
            f(speedKnob[l]), f(sync[l]);
        }
    }
};

// The two free envelopes, of which the free-envelope page shows one.
struct FreeEnv {
    std::array<TRadioButton*, 2> select{};
    std::array<std::array<TKnob*, 5>, 2> knobs{}; // attack, decay, sustain, fade, release
    TOnOff* sync = nullptr;                       // retagged to the shown envelope

    template <class F> void forEach(F&& f) {
        for (int e = 0; e < 2; ++e) {
            f(select[e]);
            for (auto*& k : knobs[e]) f(k);
        }
        f(sync);
    }
};

// Modulation matrix.
struct Mod {
    TMenuButton* menuButton = nullptr;
    TModScreen* screen = nullptr;

    template <class F> void forEach(F&& f) { f(menuButton), f(screen); }
};

// XY pad. The destination menus are indexed X1, Y1, X2, Y2 (tags 452..455).
struct XY {
    std::array<TOptionMenu*, 4> destMenu{};
    std::array<std::array<TOptionMenu*, 12>, 4> destSubMenu{};
    TOptionMenu* playMode = nullptr;
    TOptionMenu* loopMode = nullptr;
    TOptionMenu* syncToMode = nullptr;
    TOptionMenu* pointQuant = nullptr;
    TOptionMenu* spaceQuant = nullptr;
    TOptionMenu* timeQuant = nullptr;
    std::array<TRadioButton*, 3> recordMode{}; // Live, Record, Replay
    TMenuButton* menuButton = nullptr;
    TOnOff* drawOsc = nullptr; // "XY Draw Oscillator On/Off"
    THSlider* speed = nullptr;
    TXYScreen* screen = nullptr;

    template <class F> void forEach(F&& f) {
        for (int i = 0; i < 4; ++i) {
            f(destMenu[i]);
            for (auto*& m : destSubMenu[i]) f(m);
        }
        f(playMode), f(loopMode), f(syncToMode), f(pointQuant), f(spaceQuant), f(timeQuant);
        for (auto*& r : recordMode) f(r);
        f(menuButton), f(drawOsc), f(speed), f(screen);
    }
};

// The effects page's two knob rows.
struct FX {
    std::array<TKnob*, 6> flanger{}; // tags 89..94
    std::array<TKnob*, 6> phaser{};  // tags 95..100

    template <class F> void forEach(F&& f) {
        for (auto*& k : flanger) f(k);
        for (auto*& k : phaser) f(k);
    }
};

// The arpeggiator lower page.
struct Arp {
    TOnOff* on = nullptr; // "Arp On / Off"
    TOptionMenu* speed = nullptr;
    TOptionMenu* mode = nullptr;
    TOptionMenu* octave = nullptr;
    TOptionMenu* tiedMode = nullptr;
    TOptionMenu* lock = nullptr; // "Arp Lock Menu"
    TOptionMenu* numSteps = nullptr;
    TOptionMenu* stepsCatchup = nullptr;
    TOptionMenu* loopMode = nullptr;
    TOptionMenu* loopStart = nullptr;
    TOptionMenu* loopStartCatchup = nullptr;
    TOptionMenu* ratchetMode = nullptr;
    TOptionMenu* magicSteps = nullptr;
    TOptionMenu* magicMode = nullptr;
    // Swing, slide, velocity/key, velocity ratchet, steps, loop start, magic steps.
    std::array<TKnob*, 7> knobs{};
    TOnOff* keyEntry = nullptr;
    TOnOff* hostSync = nullptr;
    TOnOff* latch = nullptr;
    TMenuButton* menuButton = nullptr;
    TArpScreen* screen = nullptr; // the step grid

    template <class F> void forEach(F&& f) {
        f(on), f(speed), f(mode), f(octave), f(tiedMode), f(lock), f(numSteps), f(stepsCatchup);
        f(loopMode), f(loopStart), f(loopStartCatchup), f(ratchetMode), f(magicSteps);
        f(magicMode);
        for (auto*& k : knobs) f(k);
        f(keyEntry), f(hostSync), f(latch), f(menuButton), f(screen);
    }
};

// The user-wave lower page.
struct Wave {
    std::array<TRadioButton*, 2> select{};   // "Show User Wave 1", "Show User Wave 2"
    std::array<TRadioButton*, 3> drawMode{}; // draw, line, erase
    std::array<TRadioButton*, 2> view{};     // wave view, partials view
    TOnOff* expPartials = nullptr;
    TOptionMenu* shaperMenu = nullptr;
    std::array<TKnob*, 2> shaperKnobs{}; // tags 993, 994
    TOptionMenu* presetMenu = nullptr;   // "Wave Presets"
    CKickButton* apply = nullptr;
    CKickButton* undo = nullptr;
    CKickButton* clear = nullptr;
    CKickButton* load = nullptr;
    CKickButton* save = nullptr;
    TMenuButton* menuButton = nullptr;
    TWaveScreen* screen = nullptr;

    template <class F> void forEach(F&& f) {
        for (auto*& r : select) f(r);
        for (auto*& r : drawMode) f(r);
        for (auto*& r : view) f(r);
        f(expPartials), f(shaperMenu);
        for (auto*& k : shaperKnobs) f(k);
        f(presetMenu), f(apply), f(undo), f(clear), f(load), f(save), f(menuButton), f(screen);
    }
};

// The back (settings) screen.
struct Back {
    CKickButton* toMain = nullptr; // "To Main Screen": the whole screen
    TOptionMenu* midiChannel = nullptr;
    TOnOff* midiPreset = nullptr;
    TOnOff* midiBank = nullptr;
    TOnOff* altMidi = nullptr;
    TOnOff* keyboard = nullptr;
    TOnOff* presetWarning = nullptr;
    TOnOff* decaySustain = nullptr;
    TOptionMenu* screenSize = nullptr;
    TReadout* version = nullptr;
    TReadout* a4Tuning = nullptr; // "Set A4 Tuning"
    CKickButton* resetTuning = nullptr;
    TReadout* loadTuning = nullptr;

    template <class F> void forEach(F&& f) {
        f(toMain), f(midiChannel), f(midiPreset), f(midiBank), f(altMidi), f(keyboard);
        f(presetWarning), f(decaySustain), f(screenSize), f(version), f(a4Tuning);
        f(resetTuning), f(loadTuning);
    }
};

struct All {
    Header header;
    Main main;
    Play play;
    Osc osc;
    Filter filter;
    FreeLFO freeLFO;
    FreeEnv freeEnv;
    Mod mod;
    XY xy;
    FX fx;
    Arp arp;
    Wave wave;
    Back back;

    // The main knobs come first: they are the first controls made.
    template <class F> void forEach(F&& f) {
        main.forEach(f), header.forEach(f), play.forEach(f), osc.forEach(f), filter.forEach(f);
        freeLFO.forEach(f), freeEnv.forEach(f), mod.forEach(f), xy.forEach(f), fx.forEach(f);
        arp.forEach(f), wave.forEach(f), back.forEach(f);
    }
};

} // namespace editor_controls
