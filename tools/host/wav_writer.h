// Streaming WAV output through libsndfile: interleaved 32-bit float, so
// whatever the plug-in produced, overs included, reaches the file unchanged.
//
// The samples go to an output file (output_file.h): a temporary file beside
// the name, which takes the name only when the run has succeeded. A run that
// fails, or a signal that ends it, leaves no partial file and an existing
// file as it was. A device or FIFO named as the output (/dev/null, a pipe to
// a player) is written directly.
#pragma once

#include "output_file.h"

#include <cstdint>
#include <string>

struct sf_private_tag; // libsndfile's SNDFILE

namespace ondix::host {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter(); // without a commit: the temporary file is removed
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Starts the file for `path` (its temporary file, see above). On failure
    // returns false and describes the problem in `error`.
    bool open(const std::string& path, int sampleRate, int channels, std::string& error);
    // Appends `frames` interleaved frames.
    bool write(const float* interleaved, int64_t frames, std::string& error);
    // Completes the header; the file then waits for commitOutputs, with
    // the run's other outputs.
    bool finish(std::string& error);
    OutputFile& output() { return output_; }
    // Finishes the file and puts it in its place, when it is the only output.
    bool commit(std::string& error);

private:
    void discard();

    sf_private_tag* file_ = nullptr;
    OutputFile output_;
};

} // namespace ondix::host
