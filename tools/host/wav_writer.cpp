#include "wav_writer.h"

#include <sndfile.h>

#include <cerrno>

namespace ondix::host {

WavWriter::~WavWriter() {
    discard();
}

void WavWriter::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
}

bool WavWriter::open(const std::string& path, int sampleRate, int channels, int64_t frames,
                     std::string& error, int64_t largestPlainWav) {
    discard();
    if (!output_.open(path, error)) return false;
    // The samples and room for the header's chunks (less than a kilobyte).
    constexpr int64_t kHeaderRoom = 4096;
    const bool large = frames > (largestPlainWav - kHeaderRoom) / (channels * 4);
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    channels_ = channels;
    info.format = (large ? SF_FORMAT_RF64 : SF_FORMAT_WAV) | SF_FORMAT_FLOAT;
    // The descriptor stays the output's: it is closed when the file is put in place.
    file_ = sf_open_fd(output_.fd(), SFM_WRITE, &info, SF_FALSE);
    if (!file_) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    return true;
}

bool WavWriter::write(const float* interleaved, int64_t frames, std::string& error) {
    errno = 0;
    if (sf_writef_float(file_, interleaved, frames) != frames) {
        // A system error (a full disk, a file-size limit) said as the system says it.
        const int failure = errno;
        error = failure != 0 ? cannotWrite(output_.path(), failure)
                             : "cannot write " + output_.path() + ": " + sf_strerror(file_);
        return false;
    }
    countWritten(static_cast<uint64_t>(frames) * channels_ * sizeof(float));
    return true;
}

bool WavWriter::finish(std::string& error) {
    if (!file_) return false;
    const int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0) {
        error = "cannot finish " + output_.path() + ": " + sf_error_number(result);
        return false;
    }
    return true;
}

bool WavWriter::commit(std::string& error) {
    return finish(error) && commitOutputs({&output_}, error);
}

} // namespace ondix::host
