// Streaming WAV output through libsndfile: interleaved 32-bit float, so
// whatever the plug-in produced, overs included, reaches the file unchanged.
//
// The samples go to a temporary file beside the output, which takes the
// output's name only when the run has succeeded (commit): a run that fails
// leaves no partial file and an existing file as it was. A device or FIFO
// named as the output (/dev/null, a pipe to a player) is written directly.
#pragma once

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
    // Finishes the header and puts the file in its place.
    bool commit(std::string& error);

private:
    void discard();

    sf_private_tag* file_ = nullptr;
    std::string path_;      // the output as named
    std::string target_;    // the file it names (a link followed)
    std::string writePath_; // where the samples go: a temporary file, or the output itself
};

} // namespace ondix::host
