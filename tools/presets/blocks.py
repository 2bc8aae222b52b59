"""Building blocks of the factory presets: readable groups of settings."""

LIBRARY = {}


# Pitch-bend range (down, up) of a preset that sets none: a whole tone each
# way, with an octave's drop for the basses and leads.
BEND_DEFAULT = ("2", "2")
BEND_BY_CATEGORY = {"Bass": ("12", "2"), "Leads": ("12", "2")}


def preset(path, *groups):
    settings = []
    for g in groups:
        if isinstance(g, tuple):
            settings.append(g)  # a single setting
        else:
            settings += g
    if not any(n in ("Pitch Bend Down", "Pitch Bend Up") for n, _ in settings):
        down, up = BEND_BY_CATEGORY.get(path.split("/")[0], BEND_DEFAULT)
        settings += [("Pitch Bend Down", down), ("Pitch Bend Up", up)]
    names = [n for n, _ in settings]
    dup = {n for n in names if names.count(n) > 1}
    if dup:
        raise ValueError(f"{path}: set twice: {sorted(dup)}")
    LIBRARY[path] = settings


# ------------------------------------------------------------------ building blocks
def s(**kw):
    return list(kw.items())


def amp(a, d, sus, r):
    return [("Amp Envelope Attack", a), ("Amp Envelope Decay", d),
            ("Amp Envelope Sustain", sus), ("Amp Envelope Release", r)]


def fenv(a, d, sus, r, amount):
    return [("Filter Envelope Attack", a), ("Filter Envelope Decay", d),
            ("Filter Envelope Sustain", sus), ("Filter Envelope Release", r),
            ("Envelope > Filter Frequency", amount)]


def osc(a, b=None, morph=None, mode=None, octave=None, sub=None, spread=None, sym=None):
    out = [("Oscillator Wave A", a)]
    if b is not None:
        out.append(("Oscillator Wave B", b))
    if mode is not None:
        out.append(("Oscillator Mode", mode))
    if morph is not None:
        out.append(("Oscillator Morph Amount", morph))
    if octave is not None:
        out.append(("Oscillator Octave", octave))
    if sub is not None:
        out.append(("Oscillator Sub-Volume", sub))
    if spread is not None:
        out.append(("Oscillator Spread", spread))
    if sym is not None:
        out.append(("Oscillator Symmetry", sym))
    return out


def filt(kind, freq, q=None, key=None, vel=None):
    out = [("Filter Type", kind), ("Filter Frequency", freq)]
    if q is not None:
        out.append(("Filter Q", q))
    if key is not None:
        out.append(("Key > Filter Frequency", key))
    if vel is not None:
        out.append(("Velocity > Filter Frequency", vel))
    return out


def hipass(freq):
    return [("HiPass Filter On / Off", "On"), ("HiPass Frequency", freq)]


def uni(mode, detune=None, spread=None):
    out = [("Unison Mode", mode)]
    if detune is not None:
        out.append(("Unison Detune", detune))
    if spread is not None:
        out.append(("Unison Spread", spread))
    return out


def slot(n, src, dst, amount):
    return [(f"Slot {n} Source", src), (f"Slot {n} Destination", dst), (f"Slot {n} Amount", amount)]


def lfo(n, wave, speed, sync=True, mode=None):
    out = [(f"Free LFO {n} Wave", wave)]
    if not sync:
        out.append((f"Free LFO {n} Tempo Sync On / Off", "Off"))
    out.append((f"Free LFO {n} Speed", speed))
    if mode is not None:
        out.append((f"Free LFO {n} Mode", mode))
    return out


def env(n, a, d, sus, r):
    p = f"Free Envelope{n} "
    return [(p + "Attack", a), (p + "Decay", d), (p + "Sustain", sus), (p + "Release", r)]


def play(mode, glide=None, glide_mode="Constant Time"):
    out = [("Play Mode", mode)]
    if glide is not None:
        out += [("Portamento Mode", glide_mode), ("Portamento Amount", glide)]
    return out


def distort(mode, amount):
    return [("Distort Mode", mode), ("Distort Amount", amount)]


def chorus(mix, speed=None, width=None, length=None):
    out = [("Chorus On / Off", "On"), ("Chorus Mix", mix)]
    if speed is not None:
        out.append(("Chorus Speed", speed))
    if width is not None:
        out.append(("Chorus Width", width))
    if length is not None:
        out.append(("Chorus Length", length))
    return out


def phaser(mix, speed=None, feed=None, pitch=None, width=None):
    out = [("Flanger/Phaser On / Off", 1.0), ("Select Flanger or Phaser", 1.0), ("Phaser Mix", mix)]
    for name, v in (("Phaser Speed", speed), ("Phaser Feed", feed), ("Phaser Pitch", pitch),
                    ("Phaser Width", width)):
        if v is not None:
            out.append((name, v))
    return out


def flanger(mix, speed=None, feed=None, length=None, width=None):
    out = [("Flanger/Phaser On / Off", 1.0), ("Flanger Mix", mix)]
    for name, v in (("Flanger Speed", speed), ("Flanger Feed", feed), ("Flanger Length", length),
                    ("Flanger Width", width)):
        if v is not None:
            out.append((name, v))
    return out


def delay(left, right, feed, mix, lp=None, hp=None):
    out = [("Delay On / Off", 1.0), ("Delay Left", left), ("Delay Right", right),
           ("Delay Feed", feed), ("Delay Mix", mix)]
    if lp is not None:
        out.append(("Delay LP", lp))
    if hp is not None:
        out.append(("Delay HP", hp))
    return out


def reverb(mix, size=None, length=None, damp=None, pre=None, hp=None):
    out = [("Reverb On / Off", 1.0), ("Reverb Mix", mix)]
    for name, v in (("Reverb Size", size), ("Reverb Length", length), ("Reverb Damp", damp),
                    ("Reverb Pre-Delay", pre), ("Reverb HP", hp)):
        if v is not None:
            out.append((name, v))
    return out


def arp(mode, speed="1x", octave=None, steps=None, swing=None, **extra):
    # The switch on plays the arpeggiator: the play mode says so too.
    out = [("Play Mode", "Arp"), ("Arp On / Off", "On"), ("Arp Mode", mode), ("Arp Speed", speed)]
    if octave is not None:
        out.append(("Arp Octave", octave))
    if steps is not None:
        out.append(("Arp Number of Steps", str(steps)))
    if swing is not None:
        out.append(("Arp Swing", swing))
    names = {"magic": "Arp Magic Steps", "magic_mode": "Arp Magic Mode", "slide": "Arp Slide",
             "loop": "Arp Loop Mode", "ratchet_mode": "Arp Ratchet Mode", "tied": "Arp Tied Mode"}
    for k, v in extra.items():
        out.append((names[k], v))
    return out


def grid(tune=None, vel=None, on=None, tied=None, slide=None, ratchet=None, chord=None):
    """Rows of the 16-step grid as lists (None leaves a row at its start
    values): tune in semitones, velocity 0..127, on/tied/slide as 0/1,
    ratchet 0..3 (Off, 2, 3, 4), chord as menu names."""
    out = []
    rows = (("Tune", tune), ("Velocity", vel), ("On / Off", on), ("Tied On / Off", tied),
            ("Slide On / Off", slide), ("Ratchet", ratchet), ("Chord", chord))
    for row, values in rows:
        if values is None:
            continue
        for i, v in enumerate(values):
            name = f"Arp Step {i + 1} {row}"
            if row == "Tune":
                if v != 0:
                    out.append((name, 0.5 + v / 72.0))
            elif row == "Velocity":
                if v != 127:
                    out.append((name, v / 127.0))
            elif row == "On / Off":
                if not v:
                    out.append((name, 0.0))
            elif row in ("Tied On / Off", "Slide On / Off"):
                if v:
                    out.append((name, 1.0))
            elif row == "Ratchet":
                if v:
                    out.append((name, str(v + 1)))
            elif v != "Set":
                out.append((name, v))
    return out


def xy_path(fx, fy):
    """128 path points from two functions of t in 0..1 giving -1..1."""
    out = []
    for p in range(128):
        t = p / 128.0
        out.append((f"Point {p + 1} X", round(min(max(0.5 + 0.5 * fx(t), 0.0), 1.0), 4)))
        out.append((f"Point {p + 1} Y", round(min(max(0.5 + 0.5 * fy(t), 0.0), 1.0), 4)))
    return out


def xy(sync, loop, play_mode, dests, **extra):
    """Replay of the drawn path; dests: (axis 'X 1', destination, amount)."""
    out = [("XY Record Mode", "Replay"), ("XY Sync To Mode", sync), ("XY Loop Mode", loop),
           ("XY Play Mode", play_mode)]
    for axis, dest, amount in dests:
        out += [(f"XY {axis} Mod Destination", dest), (f"XY {axis} Mod Amount", amount)]
    names = {"smooth": "XY Smooth", "speed": "XY Speed", "points": "XY Point Quantization",
             "time": "XY Time Quantization", "space": "XY Space Quantization",
             "x_morph": "XY X > Morph Amount", "y_morph": "XY Y > Morph Amount"}
    for k, v in extra.items():
        out.append((names[k], v))
    return out


def user_wave(w, name, amplitudes, phases=None):
    """User wave w (1 or 2) from harmonic amplitudes 0..1 (sine phase unless given)."""
    out = []
    for j in range(128):
        a = amplitudes[j] if j < len(amplitudes) else 0.0
        ph = phases[j] if phases and j < len(phases) else 0.75
        packed = (int(min(max(a, 0.0), 1.0) * 1023.0) * 1024 + min(int(ph * 1023.0), 1023))
        out.append((f"Wave {w} Partial {j + 1}", packed / 1048576.0))
    text = name + (" " if len(name) % 2 else "")
    for k in range(10):
        if 2 * k < min(len(text), 19):
            hi, lo = ord(text[2 * k]), ord(text[2 * k + 1])
            v = (hi * 256 + lo + 0.5) / 65536.0
        else:
            v = 0.0
        out.append((f"Wave {w} Name - Char {k + 1}", v))
    return out


def vol(db):
    return [("Main Volume", f"{db} dB")]


