#!/usr/bin/python3
"""The factory preset library, written as readable settings, and the tool that
turns it into data/presets/<Category>/<Name>.ondix.

    tools/presets/make_presets.py [BUILD_DIR] [--level] [NAME ...]

Values are resolved against the built plug-in (resolve.py). With --level each
written preset is rendered (audition.py) and its Main Volume set so that the
levelling phrase plays near -14 dBFS RMS while the phrase, a four-note
chord at full velocity and the host's built-in phrase in the highest of many
renders peak below -2 dBFS (peaks vary from one render to the next with the
random start phases, hence the margin); without
it Main Volume is taken from the file already there (or the setting given
here). Only the presets named (by "Category/Name" or name) are written when
names are given. A design aid: the .ondix files are the library; this is how
it was made."""
import math
import os
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))

from resolve import Resolver  # noqa: E402

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PRESET_DIR = os.path.join(ROOT, "data", "presets")
TARGET_RMS = -14.0
MAX_PEAK = 0.8

from library import LIBRARY  # noqa: E402  (the presets themselves)


# ------------------------------------------------------------------ writing
def fmt(v):
    text = f"{v:.6f}".rstrip("0").rstrip(".")
    return text if text else "0"


def write(resolver, path, settings):
    resolver.start()
    lines = ["Ondix Preset 1"]
    for name, spec in settings:
        lines.append(f"{name} = {fmt(resolver.value(name, spec))}")
    lines.append("End")
    file = os.path.join(PRESET_DIR, path + ".ondix")
    os.makedirs(os.path.dirname(file), exist_ok=True)
    with open(file, "w") as f:
        f.write("\n".join(lines) + "\n")
    return file


def current_volume(file):
    try:
        for line in open(file):
            if line.startswith("Main Volume = "):
                return -60.0 + 60.0 * float(line.split("=")[1])
    except OSError:
        pass
    return None


def main(argv):
    args = argv[1:]
    level = "--level" in args
    args = [a for a in args if a != "--level"]
    build = os.path.join(ROOT, "build", "release")
    if args and os.path.isdir(args[0]):
        build = args.pop(0)
    resolver = Resolver(os.path.join(build, "ondix.so"))
    import audition
    for path, settings in LIBRARY.items():
        if args and path not in args and path.split("/")[-1] not in args:
            continue
        file = os.path.join(PRESET_DIR, path + ".ondix")
        given = dict(settings).get("Main Volume")
        db = current_volume(file)
        if db is None:
            db = float(given.split()[0]) if given else -12.0
        settings = [(n, v) for n, v in settings if n != "Main Volume"]
        def volume(db):
            return [("Main Volume", min(max(1.0 + db / 60.0, 0.0), 1.0))]

        write(resolver, path, volume(db) + settings)
        for _ in range(5 if level else 0):
            m = audition.measure(build, file)
            step = TARGET_RMS - m["rms"]
            peak = max(m["peak"], m["phrase_peak"], m["builtin_peak"])
            if peak * 10 ** (step / 20) > MAX_PEAK:
                step = 20 * math.log10(MAX_PEAK / max(peak, 1e-9))
            if abs(step) < 0.2:
                break
            db = min(db + step, 0.0)
            write(resolver, path, volume(db) + settings)
        print(f"{path}: Main Volume {db:.1f} dB")


if __name__ == "__main__":
    main(sys.argv)
