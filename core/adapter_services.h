// What a host adapter may ask of the plug-in beyond its VST 2.4 interface:
// the text a value of a parameter would show, and the stored programs.
//
// The AudioUnit adapter drives the plug-in through VST 2.4 alone, which has
// no way to format a value without setting it on the running plug-in, and no
// way to read or write a program record as a whole. The plug-in object
// offers these few operations through this interface (found with a
// dynamic_cast); an effect without it still runs, with fewer texts and
// without whole-program state.
#pragma once

#include "core/program.h"

#include <string>

class AdapterServices {
public:
    // The display text of tag at value (clamped to 0..1, NaN gives 0), read
    // against the other parameters as they stand. Changes nothing: no value,
    // no edited flag, no editor. An invalid tag gives " ". Main thread.
    virtual std::string formatParameterValue(int tag, float value) const = 0;

    // Programs held in the store (0 .. count - 1).
    virtual int storedProgramCount() const = 0;
    // A copy of a stored program; false (and out untouched) for a program
    // that does not exist.
    virtual bool readStoredProgram(int program, ProgramRecord& out) const = 0;
    // Replaces a stored program as a restored state chunk does: a value that
    // is not finite becomes its tag's default, a name without its NUL is cut
    // at 31 characters, and the audio thread is asked to apply the restored
    // program in full (user waves, tuning, effects, voices). The value
    // copies follow at the next setProgram. false for a program that does
    // not exist.
    virtual bool restoreStoredProgram(int program, const ProgramRecord& record) = 0;

protected:
    AdapterServices() = default;
    AdapterServices(const AdapterServices&) = default;
    AdapterServices& operator=(const AdapterServices&) = default;
    ~AdapterServices() = default;
};
