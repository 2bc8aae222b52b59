"""The factory presets, as a sound designer sets them up. Main Volume is
levelled by make_presets.py --level; the rest is the design."""
import math

from blocks import (LIBRARY, amp, arp, chorus, delay, distort, env, fenv, filt, flanger, grid,
                    hipass, lfo, osc, phaser, play, preset, reverb, s, slot, uni, user_wave, vol,
                    xy, xy_path)

# ================================================================== Bass
preset("Bass/Saw Bass",
       osc("Saw", "Saw", octave="0", sub="Square Volume-8dB"),
       filt("24dB LP II", "240 Hz", q="25%", key="20%"),
       fenv("1 ms", "300 ms", "10%", "150 ms", "55%"),
       amp("1 ms", "1.45 sec", "70%", "120 ms"),
       distort("Saturate", "20%"), vol(-10))

preset("Bass/Rubber Sub",
       osc("Sine", "Triangle", morph="35%", octave="0", sub="Sine Volume-4dB"),
       filt("12dB LP", "400 Hz"),
       amp("4 ms", "891 ms", "80%", "90 ms"),
       play("Legato Low", glide="20%"), ("Pitch Bend Down", "2"), ("Pitch Bend Up", "2"),
       vol(-8))

preset("Bass/Acid Ribbon",
       osc("Square", "Saw", morph="60%", octave="0"),
       filt("24dB LP I", "180 Hz", q="72%", vel="30%"),
       fenv("1 ms", "207 ms", "0%", "100 ms", "70%"),
       amp("1 ms", "548 ms", "60%", "60 ms"),
       play("Legato", glide="15%"),
       distort("Over", "35%"), delay("1/8*", "1/4", "25%", 0.08), vol(-12))

preset("Bass/Fold Growl",
       osc("Saw", "SawSqr", morph="50%", octave="0"),
       uni("2", detune="12%", spread="40%"),
       filt("24dB LP II", "320 Hz", q="40%"),
       lfo(1, "Triangle", "1/8 QB", mode="Poly"),
       slot(1, "Free 1 LFO", "Filter Frequency", "35%"),
       slot(2, "Free 1 LFO", "Distort", "25%"),
       distort("Fold", "45%"),
       amp("1 ms", "2.35 sec", "85%", "100 ms"), vol(-12))

preset("Bass/FM Knock",
       osc("Sine", "Sine", mode="FM", morph="20%", octave="0"),
       env(1, "1 ms", "150 ms", "0%", "80 ms"),
       slot(1, "Free 1 Envelope", "Oscillator Morph", "45%"),
       slot(2, "Velocity", "Oscillator Morph", "15%"),
       filt("12dB LP", "3.6 KHz"),
       amp("1 ms", "891 ms", "55%", "80 ms"), vol(-10))

preset("Bass/Reese Drift",
       osc("Saw", "Saw", octave="0", spread="25%"),
       uni("3", detune="22%", spread="60%"),
       filt("24dB LP II", "450 Hz", q="20%"),
       lfo(1, "Sine", "2/1 QB", mode="Free"),
       slot(1, "Free 1 LFO", "Filter Frequency", "18%"),
       amp("3 ms", "3.82 sec", "90%", "180 ms"),
       chorus(0.18, speed="0.30 Hz"), ("Velocity > Volume", "0%"), vol(-13))

# ================================================================== Leads
preset("Leads/Square Lead",
       osc("Square", "Square", octave="1"),
       ("Oscillator SMod Amount", "40%"), ("Oscillator SMod Speed", "0.86 Hz"),
       filt("24dB LP II", "2.6 KHz", q="15%", key="30%"),
       fenv("1 ms", "337 ms", "60%", "200 ms", "25%"),
       amp("3 ms", "2.35 sec", "85%", "200 ms"),
       play("Legato", glide="18%"), ("Pitch Bend Up", "2"), ("Pitch Bend Down", "2"),
       delay("1/8*", "1/4", "35%", 0.1), vol(-14))

preset("Leads/Glide Saw",
       osc("Saw", "Saw 2", morph="30%", octave="1"),
       uni("2", detune="8%", spread="50%"),
       filt("12dB LP", "4.5 KHz", q="10%"),
       env(1, "450 ms", "6.21 sec", "100%", "200 ms"),
       lfo(1, "Sine", "1/16* QB"),
       slot(1, "Free 1 LFO", "Oscillator Fine-Tune", "4%"),
       slot(2, "Mod Wheel", "Oscillator Fine-Tune", "4%"),
       play("Mono", glide="22%", glide_mode="Constant Rate"),
       reverb(0.12, size="3.50 m"), vol(-14))

preset("Leads/Vowel Talker",
       osc("Vocal A", "Vocal O", mode="Morph", octave="1"),
       lfo(1, "Triangle", "1/2 QB", mode="Poly"),
       slot(1, "UniPolar Free 1 LFO", "Oscillator Morph", "100%"),
       filt("12dB BP", "1.3 KHz", q="30%", key="40%"),
       amp("10 ms", "3.82 sec", "90%", "250 ms"),
       chorus(0.2), delay("1/4", "1/4*", "30%", 0.1), vol(-12))

preset("Leads/Phase Scream",
       osc("Saw", "Sine", mode="PM", morph="35%", octave="1"),
       env(1, "1 ms", "548 ms", "30%", "200 ms"),
       slot(1, "Free 1 Envelope", "Oscillator Morph", "30%"),
       slot(2, "Mod Wheel", "Oscillator Morph", "40%"),
       filt("24dB LP II", "5.1 KHz", q="25%"),
       distort("Atan", "40%"),
       amp("2 ms", "3.82 sec", "85%", "150 ms"),
       play("Legato High", glide="10%"),
       delay("1/8", "1/8*", "30%", 0.08), vol(-14))

preset("Leads/Whistle Air",
       osc("Whistle", "Sine", morph="20%", octave="1"),
       hipass("226 Hz"),
       filt("12dB LP", "7.2 KHz"),
       lfo(1, "Sine", "1/8 QB"),
       env(1, "600 ms", "6.21 sec", "100%", "300 ms"),
       slot(1, "Free 1 LFO", "Oscillator Fine-Tune", "3%"),
       slot(2, "Free 1 Envelope", "Mod 1 Amount", "40%"),
       amp("30 ms", "6.21 sec", "100%", "400 ms"),
       delay("1/4*", "1/2", "40%", 0.12, lp="5.1 KHz"), reverb(0.16), vol(-12))

preset("Leads/Fifth Stack",
       osc("Saw", "Square", morph="25%", octave="1"),
       uni("Fifth", detune="6%", spread="70%"),
       filt("24dB LP I", "1.8 KHz", q="30%"),
       fenv("5 ms", "548 ms", "40%", "200 ms", "30%"),
       amp("2 ms", "3.82 sec", "90%", "180 ms"),
       play("Mono", glide="8%"),
       distort("Saturate", "25%"), vol(-14))

# ================================================================== Pads
preset("Pads/Unison Pad",
       osc("Saw", "Saw 3", morph="40%", octave="0"),
       uni("4", detune="25%", spread="90%"),
       filt("24dB LP II", "1.3 KHz", q="10%", key="25%"),
       fenv("1.45 sec", "3.82 sec", "60%", "1.45 sec", "25%"),
       amp("337 ms", "6.21 sec", "100%", "1.45 sec"),
       chorus(0.3, speed="0.43 Hz"), reverb(0.3, size="5.50 m", length="174%"), ("Velocity > Volume", "0%"), vol(-15))

preset("Pads/Glass Choir",
       osc("Vox 03", "Vox 07", mode="Morph", octave="1"),
       lfo(1, "Sine", "4/1 QB", mode="Free"),
       slot(1, "UniPolar Free 1 LFO", "Oscillator Morph", "90%"),
       uni("2", detune="10%", spread="80%"),
       filt("12dB LP", "3.6 KHz"),
       amp("548 ms", "6.21 sec", "100%", "2.35 sec"),
       chorus(0.25), reverb(0.4, size="6.50 m", length="229%", damp="40%"), ("Velocity > Volume", "0%"), vol(-14))

preset("Pads/Phase Strings",
       osc("Saw", "Saw 4", morph="50%", octave="0", spread="15%"),
       uni("3", detune="18%", spread="80%"),
       filt("12dB LP", "2.6 KHz", key="20%"),
       amp("548 ms", "6.21 sec", "100%", "1.2 sec"),
       phaser(0.45, speed="4/1", feed="70%"), reverb(0.22), ("Velocity > Volume", "10%"), vol(-15))

preset("Pads/Dark Matter",
       osc("Spec 041", "Spec 093", morph="30%", mode="Table Interpolate", octave="0"),
       filt("24dB LP II", "160 Hz", q="35%"),
       fenv("3.82 sec", "6.21 sec", "50%", "3.82 sec", "60%"),
       lfo(1, "Sine", "8/1 QB", mode="Free"),
       slot(1, "UniPolar Free 1 LFO", "Oscillator Morph", "60%"),
       amp("2.35 sec", "10.09 sec", "100%", "3.82 sec"),
       reverb(0.45, size="7.00 m", length="303%", damp="55%"), vol(-14))

preset("Pads/Minor Seven Cloud",
       osc("Triangle", "Saw", morph="30%", octave="0"),
       uni("Minor 7", detune="5%", spread="75%"),
       filt("24dB LP II", "1.0 KHz", q="15%"),
       fenv("1.45 sec", "3.82 sec", "40%", "1.45 sec", "30%"),
       amp("337 ms", "6.21 sec", "100%", "2.35 sec"),
       chorus(0.3), reverb(0.35, length="229%"), vol(-16))

preset("Pads/Warm Tape",
       osc("Square", "Saw", morph="55%", octave="0", sym="40%"),
       ("Oscillator SMod Amount", "25%"), ("Oscillator SMod Speed", "0.30 Hz"),
       filt("12dB LP", "1.3 KHz", key="35%"),
       lfo(1, "Triangle", "1/4 QB", sync=True, mode="Free"),
       slot(1, "Free 1 LFO", "Main Volume", "8%"),
       amp("450 ms", "6.21 sec", "100%", "891 ms"),
       chorus(0.35, speed="0.30 Hz", width="70%"), vol(-14))

# ================================================================== Keys
preset("Keys/Tine Piano",
       osc("Sine", "Sine", mode="FM", morph="10%", octave="1"),
       env(1, "1 ms", "891 ms", "10%", "300 ms"),
       slot(1, "Free 1 Envelope", "Oscillator Morph", "22%"),
       slot(2, "Velocity", "Oscillator Morph", "12%"),
       amp("1 ms", "3.82 sec", "0%", "450 ms"),
       ("Velocity > Volume", "60%"),
       chorus(0.25, speed="1.22 Hz"), reverb(0.12), vol(-12))

preset("Keys/Drawbar Organ",
       osc("Organ 2", "Organ 3", morph="30%", octave="1"),
       ("Drift On / Off", "Off"),
       amp("3 ms", "1.45 sec", "100%", "60 ms"),
       ("Velocity > Volume", "0%"),
       distort("Atan", "15%"),
       chorus(0.4, speed="6.88 Hz", width="30%"), reverb(0.1, size="2.50 m"), vol(-16))

preset("Keys/Clav Snap",
       osc("Square 3", "Saw", morph="45%", octave="1"),
       filt("12dB LP", "2.6 KHz", q="10%", vel="10%"),
       fenv("1 ms", "207 ms", "20%", "80 ms", "15%"),
       amp("1 ms", "1.45 sec", "60%", "80 ms"),
       phaser(0.25, speed="2/1"), ("Velocity > Volume", "0%"), vol(-12))

preset("Keys/Glass Keys",
       osc("Glass", "Sine", morph="25%", octave="1"),
       filt("12dB LP", "7.2 KHz", key="20%"),
       amp("1 ms", "2.35 sec", "15%", "1.2 sec"),
       delay("1/4*", "1/2", "35%", 0.12), reverb(0.25, length="174%"), vol(-12))

preset("Keys/Felt Upright",
       osc("Triangle", "Sine", morph="40%", octave="1"),
       filt("12dB LP", "1.3 KHz", key="40%", vel="45%"),
       fenv("1 ms", "548 ms", "30%", "300 ms", "25%"),
       amp("2 ms", "2.35 sec", "0%", "300 ms"),
       ("Velocity > Volume", "55%"),
       reverb(0.18, size="2.50 m", damp="60%"), vol(-11))

# ================================================================== Plucks
preset("Plucks/Kalimba Drop",
       osc("Sine", "Rez 2", morph="20%", octave="1"),
       filt("12dB LP", "3.6 KHz", key="50%"),
       fenv("1 ms", "78 ms", "0%", "80 ms", "40%"),
       amp("1 ms", "891 ms", "0%", "548 ms"),
       reverb(0.15), ("Velocity > Volume", "0%"), vol(-10))

preset("Plucks/Comb Harp",
       osc("Saw", "Triangle", morph="30%", octave="1"),
       filt("Comb -", "1.8 KHz", q="20%", key="60%"),
       fenv("1 ms", "337 ms", "0%", "300 ms", "40%"),
       amp("1 ms", "2.35 sec", "10%", "891 ms"),
       reverb(0.22, length="174%"), ("Velocity > Volume", "0%"), vol(-13))

preset("Plucks/Nylon Pick",
       osc("Saw", "Triangle", morph="45%", octave="1"),
       filt("12dB LP", "320 Hz", key="50%", vel="15%"),
       fenv("1 ms", "128 ms", "0%", "200 ms", "35%"),
       amp("1 ms", "1.45 sec", "0%", "337 ms"),
       chorus(0.2), ("Velocity > Volume", "0%"), vol(-10))

preset("Plucks/Ping Echo",
       osc("SawSqr", "Square", morph="30%", octave="1"),
       filt("24dB LP II", "640 Hz", q="30%"),
       fenv("1 ms", "150 ms", "0%", "100 ms", "50%"),
       amp("1 ms", "548 ms", "25%", "300 ms"),
       delay("1/8*", "1/4", "55%", 0.3, lp="3.6 KHz"), ("Velocity > Volume", "0%"), vol(-10))

preset("Plucks/Bit Crumb",
       osc("Square", "Triangle", morph="30%", octave="1"),
       distort("Bit", "55%"),
       filt("12dB LP", "5.1 KHz"),
       amp("1 ms", "548 ms", "15%", "200 ms"),
       delay("1/16", "1/8", "30%", 0.12), ("Velocity > Volume", "0%"), vol(-12))

# ================================================================== Arps
preset("Arps/Up Sixteenths",
       osc("Saw", "Square", morph="30%", octave="1"),
       filt("24dB LP II", "1.3 KHz", q="30%"),
       fenv("1 ms", "150 ms", "10%", "100 ms", "35%"),
       amp("1 ms", "207 ms", "0%", "100 ms"),
       arp("Up", "1x", octave="2"),
       delay("1/8*", "1/4", "40%", 0.15), vol(-10))

preset("Arps/Ratchet Bounce",
       osc("Square 2", "Saw", morph="25%", octave="1"),
       filt("12dB LP", "2.6 KHz", q="20%"),
       amp("1 ms", "150 ms", "0%", "80 ms"),
       arp("Ordered Up/Down", "1x", steps=8, ratchet_mode="On"),
       grid(ratchet=[0, 0, 1, 0, 0, 0, 2, 0], vel=[127, 70, 110, 70, 127, 70, 100, 90]),
       reverb(0.15), vol(-10))

preset("Arps/Random Glass",
       osc("Glass", "Sine", morph="20%", octave="1"),
       filt("12dB LP", "5.1 KHz"),
       amp("1 ms", "548 ms", "0%", "337 ms"),
       arp("Random", "1x", octave="3", magic="2 Steps: Random", magic_mode="+12 sm"),
       delay("1/8*", "1/4*", "45%", 0.2), reverb(0.3, length="229%"), vol(-11))

preset("Arps/Chord Stabs",
       osc("Saw", "Saw 2", morph="40%", octave="0"),
       uni("2", detune="12%", spread="70%"),
       filt("24dB LP II", "1.8 KHz", q="25%"),
       fenv("1 ms", "128 ms", "0%", "80 ms", "30%"),
       amp("1 ms", "548 ms", "35%", "120 ms"),
       arp("Chord", "1x", steps=16, swing="30%"),
       grid(on=[1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 1, 1, 1, 0, 1, 0],
            vel=[127, 0, 90, 110, 0, 90, 120, 0, 100, 0, 110, 90, 100, 0, 90, 0]),
       reverb(0.2), ("Velocity > Volume", "0%"), vol(-10))

preset("Arps/Octave Ladder",
       osc("Triangle", "Square", morph="35%", octave="0"),
       filt("12dB LP", "2.6 KHz", q="20%"),
       amp("1 ms", "337 ms", "20%", "100 ms"),
       arp("Up", "1x", steps=8, slide="30%"),
       grid(tune=[0, 12, 0, 12, 7, 19, 0, 24], slide=[0, 1, 0, 0, 0, 1, 0, 0]),
       delay("1/4", "1/8*", "35%", 0.12), vol(-11))

preset("Arps/Triplet Spray",
       osc("Rez 1", "Saw", morph="30%", octave="1"),
       filt("12dB BP", "1.3 KHz", q="30%", key="40%"),
       amp("1 ms", "150 ms", "0%", "80 ms"),
       arp("Down", "3/2x", octave="2", steps=12),
       grid(vel=[127, 80, 60] * 4),
       flanger(0.2, speed="2/1"), reverb(0.18), vol(-10))

# ================================================================== Sequences
preset("Sequences/Minor Walk",
       osc("Saw", "Square", morph="45%", octave="0"),
       filt("24dB LP II", "640 Hz", q="35%"),
       fenv("1 ms", "207 ms", "20%", "100 ms", "40%"),
       amp("1 ms", "337 ms", "50%", "80 ms"),
       arp("Sequencer", "1x", steps=16),
       grid(tune=[0, 0, 12, 0, 3, 0, 7, 10, 0, 0, 12, 15, 7, 3, -2, 0],
            tied=[0, 1, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0],
            vel=[127, 90, 110, 80, 120, 80, 110, 90, 127, 90, 110, 100, 90, 80, 100, 90]),
       delay("1/8*", "1/4", "30%", 0.12), vol(-11))

preset("Sequences/Acid Steps",
       osc("Saw", "Square", morph="20%", octave="0"),
       filt("24dB LP I", "226 Hz", q="75%", vel="45%"),
       fenv("1 ms", "150 ms", "0%", "80 ms", "60%"),
       amp("1 ms", "548 ms", "70%", "60 ms"),
       distort("Saturate", "35%"),
       arp("Sequencer Mono", "1x", steps=16, slide="40%"),
       grid(tune=[0, 0, 12, 0, 0, 10, 0, 12, 0, 3, 0, 5, 7, 0, 12, 0],
            slide=[0, 0, 1, 0, 0, 1, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0],
            vel=[127, 70, 127, 70, 90, 127, 70, 90, 127, 70, 90, 127, 90, 70, 127, 70]),
       delay("1/8*", "1/8*", "25%", 0.08), vol(-12))

preset("Sequences/Trance Gate",
       osc("Saw", "Saw 3", morph="40%", octave="0"),
       uni("3", detune="18%", spread="85%"),
       filt("24dB LP II", "2.6 KHz", q="15%"),
       amp("5 ms", "6.21 sec", "100%", "300 ms"),
       arp("Mod Poly", "1x", steps=16),
       grid(vel=[127, 0, 127, 127, 0, 127, 0, 127, 127, 0, 127, 0, 127, 127, 0, 90]),
       slot(1, "Arp Velocity", "Main Volume", "100%"),
       ("Slot 1 Bypass On / Off", "Off"),
       chorus(0.2), reverb(0.25), vol(-12))

preset("Sequences/Magic Dice",
       osc("Square", "Triangle", morph="40%", octave="1"),
       filt("12dB LP", "2.6 KHz", q="25%"),
       amp("1 ms", "207 ms", "0%", "100 ms"),
       arp("Sequencer", "1x", steps=8, magic="3 Steps: Random", magic_mode="Step +7/-5 sm"),
       grid(tune=[0, 7, 12, 7, 3, 10, 12, 15]),
       delay("1/8*", "1/4", "40%", 0.15), reverb(0.2), vol(-11))

preset("Sequences/Ratchet Run",
       osc("Saw", "SawRez", morph="30%", octave="0"),
       filt("24dB LP II", "905 Hz", q="40%"),
       fenv("1 ms", "128 ms", "10%", "80 ms", "45%"),
       amp("1 ms", "207 ms", "20%", "80 ms"),
       arp("Sequencer", "1x", steps=16, ratchet_mode="On"),
       grid(tune=[0, 0, 3, 0, 7, 0, 5, 3, 0, 0, 10, 0, 7, 5, 3, 0],
            ratchet=[0, 1, 0, 0, 0, 2, 0, 0, 0, 1, 0, 0, 3, 0, 0, 1]),
       delay("1/16", "1/8", "20%", 0.08), ("Velocity > Volume", "0%"), vol(-11))

# ================================================================== XY
TAU = 2 * math.pi

preset("XY/Filter Orbit",
       osc("Saw", "Square", morph="40%", octave="0"),
       uni("2", detune="10%", spread="70%"),
       filt("24dB LP II", "640 Hz", q="30%"),
       amp("80 ms", "6.21 sec", "100%", "548 ms"),
       xy("2/1 QB", "On", "Free", [("X 1", "Filter Frequency", "60%"), ("Y 1", "Filter Q", "30%")],
          smooth="40%"),
       xy_path(lambda t: math.cos(TAU * t), lambda t: math.sin(TAU * t)),
       chorus(0.2), reverb(0.2), vol(-13))

preset("XY/Morph Figure",
       osc("Saw", "Vocal E", mode="Morph", octave="0"),
       filt("12dB LP", "2.6 KHz"),
       amp("20 ms", "6.21 sec", "100%", "548 ms"),
       xy("1/1 QB", "<> PingPong", "Poly", [("X 1", "Filter Frequency", "30%"),
                                            ("Y 1", "Oscillator Symmetry", "40%")],
          x_morph="100%"),
       xy_path(lambda t: math.sin(TAU * t), lambda t: math.sin(2 * TAU * t)),
       delay("1/4", "1/8*", "30%", 0.1), vol(-13))

preset("XY/Vowel Drift",
       osc("Vox 01", "Vox 05", mode="Morph", octave="1"),
       uni("2", detune="8%", spread="60%"),
       filt("12dB LP", "1.3 KHz", q="10%", key="30%"),
       amp("200 ms", "6.21 sec", "100%", "891 ms"),
       xy("4/1 QB", "<> PingPong", "Free", [("X 1", "Filter Frequency", "35%"),
                                            ("Y 1", "Unison Detune", "40%")],
          y_morph="100%", smooth="60%"),
       xy_path(lambda t: 2 * t - 1, lambda t: math.sin(3 * TAU * t) * 0.8),
       chorus(0.25), reverb(0.3, length="229%"), ("Velocity > Volume", "0%"), vol(-12))

preset("XY/Stepped Wobble",
       osc("Saw", "SqrRez", morph="50%", octave="0"),
       filt("24dB LP II", "320 Hz", q="45%"),
       amp("1 ms", "6.21 sec", "100%", "150 ms"),
       distort("Saturate", "30%"),
       xy("1/1 QB", "On", "Free", [("X 1", "Filter Frequency", "70%"), ("Y 1", "Distort", "40%")],
          points="8", space="8"),
       xy_path(lambda t: math.sin(TAU * t) * (1 - t) + (t * 2 - 1) * t,
               lambda t: math.cos(2 * TAU * t)),
       vol(-12))

preset("XY/Space Glide",
       osc("Triangle", "Glass", morph="40%", octave="1"),
       filt("12dB LP", "2.6 KHz"),
       amp("300 ms", "6.21 sec", "100%", "1.45 sec"),
       xy("8/1 QB", "<> PingPong", "Free", [("X 1", "Delay Mix", "60%"),
                                            ("Y 1", "Reverb Mix", "60%"),
                                            ("X 2", "Filter Frequency", "35%")],
          smooth="70%"),
       xy_path(lambda t: math.sin(TAU * t / 2) * 2 - 1, lambda t: math.sin(TAU * t)),
       delay("1/4*", "1/2", "50%", 0.15), reverb(0.2, length="303%"), vol(-12))

# ================================================================== Morph
preset("Morph/Spectral Scan",
       osc("Spec 012", "Spec 088", mode="Table Interpolate", octave="0"),
       lfo(1, "Triangle", "2/1 QB", mode="Poly"),
       slot(1, "UniPolar Free 1 LFO", "Oscillator Morph", "100%"),
       uni("2", detune="8%", spread="60%"),
       filt("12dB LP", "5.1 KHz"),
       amp("100 ms", "6.21 sec", "100%", "891 ms"),
       chorus(0.2), reverb(0.2), vol(-13))

preset("Morph/Odd Even Bloom",
       osc("Saw", "Square", mode="Odd/Even Partial Morph", octave="0"),
       env(1, "1.45 sec", "3.82 sec", "30%", "891 ms"),
       slot(1, "Free 1 Envelope", "Oscillator Morph", "100%"),
       filt("24dB LP II", "2.6 KHz", q="10%"),
       amp("30 ms", "6.21 sec", "100%", "891 ms"),
       phaser(0.2), vol(-14))

preset("Morph/Partial Bell",
       user_wave(1, "Bell Partials",
                 [1.0, 0.0, 0.45, 0.0, 0.0, 0.3, 0.0, 0.0, 0.0, 0.22, 0.0, 0.0, 0.0, 0.0, 0.0, 0.12]),
       user_wave(2, "Soft Octaves", [1.0, 0.5, 0.0, 0.25, 0.0, 0.0, 0.0, 0.12]),
       osc("User 1", "User 2", mode="Morph", octave="1"),
       env(1, "1 ms", "1.45 sec", "0%", "891 ms"),
       slot(1, "Inverse Free 1 Envelope", "Oscillator Morph", "100%"),
       amp("1 ms", "3.82 sec", "0%", "1.45 sec"),
       reverb(0.25, length="229%"), vol(-12))

preset("Morph/Drawn Organ",
       user_wave(1, "Drawbars 16", [0.9, 0.8, 0.6, 0.7, 0.0, 0.4, 0.0, 0.5, 0.0, 0.0, 0.0, 0.3]),
       user_wave(2, "Drawbars 8", [1.0, 0.0, 0.7, 0.0, 0.0, 0.0, 0.0, 0.0]),
       osc("User 1", "User 2", mode="Morph", octave="0"),
       lfo(1, "Sine", "1/1 QB", mode="Free"),
       slot(1, "UniPolar Free 1 LFO", "Oscillator Morph", "80%"),
       ("Drift On / Off", "Off"),
       amp("5 ms", "1.45 sec", "100%", "90 ms"),
       ("Velocity > Volume", "0%"),
       chorus(0.35, speed="4.86 Hz", width="25%"), vol(-15))

preset("Morph/Shaper Sweep",
       osc("Sine", "Triangle", mode="WaveShaper", morph="20%", octave="1"),
       lfo(1, "Sine", "1/2 QB", mode="Poly"),
       slot(1, "UniPolar Free 1 LFO", "Oscillator Morph", "60%"),
       filt("12dB LP", "3.6 KHz", q="15%"),
       amp("5 ms", "3.82 sec", "80%", "337 ms"),
       delay("1/4", "1/8*", "30%", 0.1), vol(-13))

# ================================================================== Textures
preset("Textures/Frozen Lake",
       osc("P. Noise", "Sine", morph="60%", octave="1"),
       filt("12dB BP", "1.8 KHz", q="55%", key="70%"),
       hipass("160 Hz"),
       amp("1.45 sec", "10.09 sec", "100%", "3.82 sec"),
       reverb(0.55, size="7.50 m", length="400%", damp="20%", pre="60 ms"), vol(-14))

preset("Textures/Tape Echo Cloud",
       osc("Triangle 2", "Saw", morph="25%", octave="1"),
       filt("12dB LP", "1.8 KHz"),
       amp("5 ms", "891 ms", "45%", "548 ms"),
       delay("1/4*", "1/2", "70%", 0.35, lp="2.6 KHz", hp="226 Hz"),
       chorus(0.3, speed="0.21 Hz", width="80%"), vol(-12))

preset("Textures/Jet Stream",
       osc("Saw", "W. Noise", morph="25%", octave="0"),
       uni("2", detune="15%", spread="90%"),
       filt("12dB LP", "5.1 KHz"),
       amp("337 ms", "6.21 sec", "100%", "891 ms"),
       flanger(0.5, speed="4/1", feed="60%"),
       reverb(0.2), ("Velocity > Volume", "10%"), vol(-15))

preset("Textures/Shimmer Bed",
       osc("Sine", "Glass", morph="35%", octave="0"),
       uni("2 Octaves", detune="6%", spread="90%"),
       filt("12dB LP", "5.1 KHz"),
       amp("1.45 sec", "10.09 sec", "100%", "3.82 sec"),
       chorus(0.35), reverb(0.5, size="7.00 m", length="303%", damp="15%"), vol(-14))

preset("Textures/Sample Hold Rain",
       osc("Rez 3", "Sine", morph="30%", octave="1"),
       filt("12dB BP", "1.3 KHz", q="25%"),
       lfo(1, "S&H", "1/16 QB", mode="Free"),
       slot(1, "Free 1 LFO", "Filter Frequency", "45%"),
       amp("200 ms", "6.21 sec", "100%", "1.45 sec"),
       delay("1/8*", "1/4", "50%", 0.25), reverb(0.3, length="229%"), vol(-14))
