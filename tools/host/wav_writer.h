// Streaming WAV output through libsndfile: interleaved 32-bit float, so
// whatever the plug-in produced, overs included, reaches the file unchanged.
#pragma once

#include <cstdint>
#include <string>

struct sf_private_tag; // libsndfile's SNDFILE

namespace ondix::host {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or truncates) `path`. On failure returns false and describes
    // the problem in `error`.
    bool open(const std::string& path, int sampleRate, int channels, std::string& error);
    // Appends `frames` interleaved frames.
    bool write(const float* interleaved, int64_t frames, std::string& error);
    // Finishes the header; also done by the destructor, without the report.
    bool close(std::string& error);

private:
    sf_private_tag* file_ = nullptr;
    std::string path_;
};

} // namespace ondix::host
