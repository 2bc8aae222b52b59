#include "wav_writer.h"

#include <sndfile.h>

namespace ondix::host {

WavWriter::~WavWriter() {
    if (file_) sf_close(file_);
}

bool WavWriter::open(const std::string& path, int sampleRate, int channels, std::string& error) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_ = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file_) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        return false;
    }
    path_ = path;
    return true;
}

bool WavWriter::write(const float* interleaved, int64_t frames, std::string& error) {
    if (sf_writef_float(file_, interleaved, frames) != frames) {
        error = "cannot write " + path_ + ": " + sf_strerror(file_);
        return false;
    }
    return true;
}

bool WavWriter::close(std::string& error) {
    if (!file_) return true;
    int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0) {
        error = "cannot finish " + path_ + ": " + sf_error_number(result);
        return false;
    }
    return true;
}

} // namespace ondix::host
