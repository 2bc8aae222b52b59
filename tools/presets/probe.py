#!/usr/bin/env python3
"""Asks ondix.so, through the VST 2.4 entry, how it shows parameter values.

    probe.py ondix.so "Filter Frequency" 0.3 0.5     # display texts of values
    probe.py ondix.so --find "Filter Frequency" "800 Hz"   # value showing a text

A design aid for the factory presets (values are normalised 0..1)."""
import ctypes as C
import sys

CB = C.CFUNCTYPE(C.c_ssize_t, C.c_void_p, C.c_int32, C.c_int32, C.c_ssize_t, C.c_void_p, C.c_float)
DISPATCH = CB
SETP = C.CFUNCTYPE(None, C.c_void_p, C.c_int32, C.c_float)
GETP = C.CFUNCTYPE(C.c_float, C.c_void_p, C.c_int32)


class AEffect(C.Structure):
    _fields_ = [("magic", C.c_int32), ("dispatcher", DISPATCH), ("process", C.c_void_p),
                ("setParameter", SETP), ("getParameter", GETP), ("numPrograms", C.c_int32),
                ("numParams", C.c_int32)]


@CB
def host(effect, opcode, index, value, ptr, opt):
    return 2400 if opcode == 1 else 0


class Plugin:
    def __init__(self, path):
        lib = C.CDLL(path)
        lib.VSTPluginMain.restype = C.POINTER(AEffect)
        lib.VSTPluginMain.argtypes = [CB]
        self.e = lib.VSTPluginMain(host)
        self.p = C.cast(self.e, C.c_void_p)
        self.fx = self.e.contents
        self.fx.dispatcher(self.p, 0, 0, 0, None, 0.0)  # effOpen
        self.names = {}
        buf = C.create_string_buffer(256)
        for i in range(self.fx.numParams):
            self.fx.dispatcher(self.p, 8, i, 0, buf, 0.0)  # effGetParamName
            self.names[buf.value.decode()] = i

    def display(self, name, value):
        i = self.names[name]
        self.fx.setParameter(self.p, i, float(value))
        buf = C.create_string_buffer(256)
        self.fx.dispatcher(self.p, 7, i, 0, buf, 0.0)  # effGetParamDisplay
        return buf.value.decode(errors="replace").strip()


def main(argv):
    plug = Plugin(argv[1])
    if argv[2] == "--find":
        name, want = argv[3], argv[4]
        hits = [v / 2000 for v in range(2001) if plug.display(name, v / 2000) == want]
        print(f"{name} = {hits[len(hits) // 2]:.4f}" if hits else "not found")
        return
    name = argv[2]
    values = argv[3:] or [f"{v / 20}" for v in range(21)]
    for v in values:
        print(f"{float(v):.4f}  {plug.display(name, float(v))}")


if __name__ == "__main__":
    main(sys.argv)
