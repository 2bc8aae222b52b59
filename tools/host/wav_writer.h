// Streaming WAV output through libsndfile: interleaved 32-bit float, so
// whatever the plug-in produced, overs included, reaches the file unchanged.
// A file larger than a WAV header can describe (its sizes are 32-bit, 4 GiB)
// is written as RF64, the WAV format's 64-bit form, with the same samples.
//
// The samples go to an output file (output_file.h): a temporary file beside
// the name, which takes the name only when the run has succeeded. A run that
// fails, or a signal that ends it, leaves no partial file and an existing
// file as it was. Only a regular file or a new name can be the output.
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

    // The largest file a plain WAV header describes.
    static constexpr int64_t kLargestPlainWav = 0xffffffff;

    // Starts the file for `path` (its temporary file, see above) that is to
    // hold `frames` frames: RF64 when it would be larger than `largestPlainWav`
    // bytes, else plain WAV. On failure returns false and describes the
    // problem in `error`.
    bool open(const std::string& path, int sampleRate, int channels, int64_t frames,
              std::string& error, int64_t largestPlainWav = kLargestPlainWav);
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
    int channels_ = 0;
    OutputFile output_;
};

} // namespace ondix::host
