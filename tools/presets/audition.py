#!/usr/bin/python3
"""Renders factory presets through ondix-host and measures them.

    tools/presets/audition.py [BUILD_DIR] [PRESET.ondix ...]

For each preset (all of data/presets in the preset menu's order when none is
named): the levelling phrase's RMS (mono, as the factory-preset test measures
it: the host's built-in phrase, a bass line and a melody, with two inner
voices held under each bass note), the peak of a four-note chord at velocity
127 (and of the phrase), the highest peak of many renders of the host's
built-in phrase as it plays without notes given (the README's first render;
each render starts the voices at other random phases), the pitch of a single
A4 (note 69), the spectral centroid (mean and spread over the phrase), how
much the level moves within held notes (arpeggios, gates), and the distance
to the preset before it (the test's measure, which must exceed 1 dB).
Needs numpy. A design aid, not part of the plug-in."""
import os
import subprocess
import sys
import tempfile

import numpy as np

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
CHORD = ["--note", "57:127:0:2", "--note", "60:127:0:2", "--note", "64:127:0:2",
         "--note", "69:127:0:2"]
RATE = 44100
# Renders of the built-in phrase per preset: its peak moves by several dB
# with the random start phases, and one render in a hundred may come close
# to the highest.
BUILTIN_RENDERS = 40


def levelling_phrase():
    # Four bars at 120 BPM (0.5 s a beat): bass and inner voices per chord,
    # then the melody, as NOTE:VELOCITY:START:LENGTH.
    chords = [(0, 3.5, 45, (60, 64)), (4, 3.5, 41, (57, 60)), (8, 3.5, 48, (60, 64)),
              (12, 1.75, 43, (59, 62)), (14, 1.5, 45, (60, 64))]
    melody = [(69, 0, 1), (72, 1, 1), (76, 2, 1.5), (74, 3.5, 0.5), (72, 4, 1), (69, 5, 1),
              (72, 6, 1.5), (69, 7.5, 0.5), (67, 8, 1), (72, 9, 1), (76, 10, 1), (79, 11, 1),
              (74, 12, 1), (71, 13, 1), (69, 14, 1.5)]
    notes = []
    for beat, beats, bass, inner in chords:
        notes.append((bass, 80, beat, beats))
        notes += [(n, 60, beat, beats) for n in inner]
    notes += [(n, 100, beat, beats * 0.9) for n, beat, beats in melody]
    args = []
    for n, velocity, beat, beats in notes:
        args += ["--note", f"{n}:{velocity}:{beat * 0.5:g}:{beats * 0.5:g}"]
    return args


PHRASE = levelling_phrase()


def read_wav(path):
    data = open(path, "rb").read()
    at = 12
    while at < len(data):
        tag, size = data[at:at + 4], int.from_bytes(data[at + 4:at + 8], "little")
        if tag == b"data":
            return np.frombuffer(data[at + 8:at + 8 + size], dtype="<f4").reshape(-1, 2)
        at += 8 + size + (size & 1)
    raise ValueError("no data chunk")


def render(build, preset, extra):
    with tempfile.TemporaryDirectory() as tmp:
        out = os.path.join(tmp, "out.wav")
        subprocess.run([os.path.join(build, "ondix-host"), "render", os.path.join(build, "ondix.so"),
                        "-o", out, "--preset", preset] + extra, check=True,
                       stdout=subprocess.DEVNULL)
        return read_wav(out)


def db(x):
    return 10 * np.log10(np.mean(np.square(x, dtype=np.float64)) + 1e-20)


def features(mono):
    frame = 4410
    diff = np.concatenate([[0.0], np.diff(mono)])
    f = []
    for at in range(0, len(mono) - frame + 1, frame):
        f += [db(mono[at:at + frame]), db(diff[at:at + frame])]
    return np.maximum(np.array(f), -90.0)


def centroids(mono):
    n = 4096
    win = np.hanning(n)
    freqs = np.fft.rfftfreq(n, 1 / RATE)
    out = []
    for at in range(0, len(mono) - n, n // 2):
        spec = np.abs(np.fft.rfft(mono[at:at + n] * win))
        if spec.sum() > 1e-3:
            out.append((spec * freqs).sum() / spec.sum())
    return np.array(out) if out else np.zeros(1)


def pitch(mono):
    x = mono[int(0.2 * RATE):int(0.6 * RATE)].astype(np.float64)
    x -= x.mean()
    if np.max(np.abs(x)) < 1e-5:
        return 0.0
    spec = np.fft.rfft(x, 2 * len(x))
    ac = np.fft.irfft(spec * np.conj(spec))[:len(x)]
    lo, hi = int(RATE / 2000), int(RATE / 30)
    lag = lo + int(np.argmax(ac[lo:hi]))
    return RATE / lag


def level_motion(mono):
    # Level spread (dB) of 20 ms frames in the first bar, where the first
    # chord is held: near 0 for a held sound, large for an arpeggio or gate.
    frame = 882
    levels = [db(mono[a:a + frame]) for a in range(int(0.3 * RATE), int(1.7 * RATE), frame)]
    return float(np.std(levels))


def factory_files():
    base = os.path.join(ROOT, "data", "presets")
    entries = []
    for dirpath, _, files in os.walk(base):
        folder = os.path.relpath(dirpath, base)
        folder = "" if folder == "." else folder
        for f in files:
            if f.endswith(".ondix"):
                entries.append((folder != "", folder.lower(), f[:-6].lower(),
                                os.path.join(dirpath, f)))
    return [e[3] for e in sorted(entries)]


def measure(build, preset):
    phrase = render(build, preset, PHRASE)
    mono = 0.5 * (phrase[:, 0] + phrase[:, 1])
    # The chord's peak depends on the random start phases: the highest of five.
    chord = max((render(build, preset, CHORD) for _ in range(5)), key=lambda w: np.max(np.abs(w)))
    single = render(build, preset, ["--note", "69:100:0:1"])
    builtin = max(float(np.max(np.abs(render(build, preset, [])))) for _ in range(BUILTIN_RENDERS))
    c = centroids(mono)
    return {
        "rms": db(mono), "peak": float(np.max(np.abs(chord))),
        "phrase_peak": float(np.max(np.abs(phrase))), "builtin_peak": builtin,
        "finite": bool(np.all(np.isfinite(phrase)) and np.all(np.isfinite(chord))),
        "pitch": pitch(0.5 * (single[:, 0] + single[:, 1])),
        "centroid": float(np.median(c)), "spread": float(np.std(c) / (np.mean(c) + 1e-9)),
        "motion": level_motion(mono), "features": features(mono),
        "width": db(phrase[:, 0] - phrase[:, 1]) - db(mono),
    }


def main(argv):
    build = argv[1] if len(argv) > 1 else os.path.join(ROOT, "build", "release")
    files = argv[2:] or factory_files()
    previous = None
    bad = 0
    print(f"{'preset':34} {'rms':>6} {'peak':>6} {'f0(A4)':>7} {'centr':>6} {'sprd':>5} "
          f"{'move':>5} {'side':>6} {'dist':>5} {'ppeak':>5} {'bpeak':>5}")
    for f in files:
        m = measure(build, f)
        dist = float("nan")
        if previous is not None:
            n = min(len(previous), len(m["features"]))
            dist = float(np.mean(np.abs(previous[:n] - m["features"][:n])))
        previous = m["features"]
        name = os.path.relpath(f, os.path.join(ROOT, "data", "presets"))[:-6]
        flags = []
        if name != "Init" and not -21 <= m["rms"] <= -8:
            flags.append("LEVEL")
        if name != "Init" and max(m["peak"], m["phrase_peak"]) >= 0.999:
            flags.append("PEAK")
        if m["builtin_peak"] >= 0.9:
            flags.append("BUILTIN")
        if not m["finite"]:
            flags.append("NAN")
        if dist == dist and dist <= 1.0:
            flags.append("SAME")
        bad += bool(flags)
        print(f"{name:34} {m['rms']:6.1f} {m['peak']:6.3f} {m['pitch']:7.1f} {m['centroid']:6.0f} "
              f"{m['spread']:5.2f} {m['motion']:5.1f} {m['width']:6.1f} {dist:5.1f} {m['phrase_peak']:5.2f} {m['builtin_peak']:5.2f} {' '.join(flags)}")
    print(f"{len(files)} presets, {bad} flagged")
    return 1 if bad else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
