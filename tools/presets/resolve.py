"""Turns readable preset settings into normalised parameter values.

A setting's value is a number (the normalised value as it is) or a text: a
menu entry or a value as the plug-in shows it ("24dB LP II", "1/8 QB",
"800 Hz", "1.2 sec", "-12 dB", "35%"). A text is matched against the
plug-in's own display of the parameter, through its VST 2.4 entry (probe.py),
in the context of the settings made before it (a tempo-sync switch changes how
a speed reads)."""
import re

from probe import Plugin

SAMPLES = 4000
UNITS = {"khz": ("hz", 1000.0), "hz": ("hz", 1.0), "sec": ("ms", 1000.0), "ms": ("ms", 1.0),
         "db": ("db", 1.0), "%": ("%", 1.0), "x": ("x", 1.0), "semi": ("semi", 1.0),
         "m": ("m", 1.0), "": ("", 1.0)}
NUMBER = re.compile(r"^\s*(-?\d+(?:\.\d+)?)\s*(KHz|Hz|sec|ms|dB|%|x|Semi|m)?\s*$", re.I)
CONTEXT = ("Free LFO 1 Tempo Sync On / Off", "Free LFO 2 Tempo Sync On / Off",
           "Free Envelope1 Tempo Sync On / Off", "Free Envelope2 Tempo Sync On / Off",
           "Delay Tempo Sync On / Off", "Select Flanger or Phaser")


def quantity(text):
    m = NUMBER.match(text)
    if not m:
        return None
    unit, scale = UNITS[(m.group(2) or "").lower()]
    return unit, float(m.group(1)) * scale


class Resolver:
    def __init__(self, library):
        self.library = library
        self.cache = {}

    def start(self):
        self.plug = Plugin(self.library)
        self.context = {}

    def table(self, name):
        key = (name, tuple(sorted(self.context.items())))
        if key not in self.cache:
            self.cache[key] = [(v / SAMPLES, self.plug.display(name, v / SAMPLES))
                               for v in range(SAMPLES + 1)]
        return self.cache[key]

    def value(self, name, spec):
        if name not in self.plug.names:
            raise KeyError(f"no parameter {name!r}")
        if isinstance(spec, (int, float)):
            v = float(spec)
        else:
            v = self.match(name, spec)
        self.plug.display(name, v)  # leaves it set, for the context of later settings
        if name in CONTEXT:
            self.context[name] = round(v, 3)
        return v

    def match(self, name, text):
        rows = self.table(name)
        hits = [v for v, shown in rows if shown == text]
        if hits:
            return hits[len(hits) // 2]
        want = quantity(text)
        if want is None:
            raise ValueError(f"{name}: no value shows {text!r}")
        best, run = None, []
        for v, shown in rows:
            have = quantity(shown)
            if have is None or have[0] != want[0]:
                continue
            d = abs(have[1] - want[1])
            if best is None or d < best - 1e-9:
                best, run = d, [v]
            elif abs(d - best) <= 1e-9:
                run.append(v)
        if not run:
            raise ValueError(f"{name}: no value shows {text!r}")
        return run[len(run) // 2]
