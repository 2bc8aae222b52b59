#include "wav_writer.h"

#include <sndfile.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ondix::host {

namespace {

// The folder part of path with its trailing '/' ("" for a bare name).
std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// A new, empty file beside path for the samples; -1 with errno set when none
// can be made (a missing or read-only folder). Its mode is what a new file
// gets under the umask.
int createTemporary(const std::string& path, std::string& tempPath) {
    const std::string folder = folderOf(path);
    std::string name = folder + "." + path.substr(folder.size()) + ".XXXXXX";
    std::vector<char> buffer(name.begin(), name.end());
    buffer.push_back('\0');
    const int fd = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd < 0) return -1;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    tempPath = buffer.data();
    return fd;
}

} // namespace

WavWriter::~WavWriter() {
    discard();
}

void WavWriter::discard() {
    if (file_) sf_close(file_);
    file_ = nullptr;
    if (!writePath_.empty() && writePath_ != target_) ::unlink(writePath_.c_str());
    writePath_.clear();
}

bool WavWriter::open(const std::string& path, int sampleRate, int channels, std::string& error) {
    discard();
    path_ = path;
    target_ = path;
    struct stat st {};
    const bool special = ::stat(path.c_str(), &st) == 0 && !S_ISREG(st.st_mode);
    if (special && S_ISDIR(st.st_mode)) {
        error = "cannot write " + path + ": " + std::strerror(EISDIR);
        return false;
    }
    // A link to a file is followed: the file is replaced, the link stays.
    if (!special) {
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target_ = resolved;
            std::free(resolved);
        }
    }
    int fd = -1;
    if (special) {
        fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY);
        writePath_ = path;
    } else {
        fd = createTemporary(target_, writePath_);
    }
    if (fd < 0) {
        error = "cannot write " + path + ": " + std::strerror(errno);
        writePath_.clear();
        return false;
    }
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    file_ = sf_open_fd(fd, SFM_WRITE, &info, SF_TRUE);
    if (!file_) {
        error = "cannot write " + path + ": " + sf_strerror(nullptr);
        discard();
        return false;
    }
    return true;
}

bool WavWriter::write(const float* interleaved, int64_t frames, std::string& error) {
    if (sf_writef_float(file_, interleaved, frames) != frames) {
        error = "cannot write " + path_ + ": " + sf_strerror(file_);
        return false;
    }
    return true;
}

bool WavWriter::commit(std::string& error) {
    if (!file_) return false;
    const int result = sf_close(file_);
    file_ = nullptr;
    if (result != 0) {
        error = "cannot finish " + path_ + ": " + sf_error_number(result);
        discard();
        return false;
    }
    if (writePath_ != target_ && ::rename(writePath_.c_str(), target_.c_str()) != 0) {
        error = "cannot write " + path_ + ": " + std::strerror(errno);
        discard();
        return false;
    }
    writePath_.clear();
    return true;
}

} // namespace ondix::host
