// Things a hostile or careless user puts where a program expects its file,
// for tests of every reader and saver: a FIFO with no writer, a folder,
// /dev/zero, a link to a good file and a file far beyond any reader's limit.
//
//     for (PathKind kind : ALL_PATH_KINDS) {
//         makePathKind(kind, path, goodBytes);
//         FifoWatchdog watchdog(kind == PathKind::Fifo ? path : "");
//         ... read path, expect it taken only for PathKind::LinkToFile ...
//     }
#pragma once

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// A file's bytes, "" when it cannot be read.
inline std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// The names in a folder, sorted: what a saver left behind.
inline std::vector<std::string> entries(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(folder))
        names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

enum class PathKind { Fifo, Folder, DevZero, LinkToFile, Oversize };

inline constexpr PathKind ALL_PATH_KINDS[] = {PathKind::Fifo, PathKind::Folder, PathKind::DevZero,
                                              PathKind::LinkToFile, PathKind::Oversize};

inline const char* pathKindName(PathKind kind) {
    switch (kind) {
    case PathKind::Fifo:
        return "a FIFO with no writer";
    case PathKind::Folder:
        return "a folder";
    case PathKind::DevZero:
        return "a link to /dev/zero";
    case PathKind::LinkToFile:
        return "a link to a good file";
    case PathKind::Oversize:
        return "a good file grown beyond every limit";
    }
    return "?";
}

// Larger than any reader's limit; the file is sparse, so it costs no disk.
inline constexpr std::uintmax_t OVERSIZE_BYTES = std::uintmax_t{1} << 31;

inline void writeBytesTo(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// Puts a thing of the kind at path (whatever was there is removed). A link
// to a good file points at path + ".target", which holds goodBytes.
inline void makePathKind(PathKind kind, const std::filesystem::path& path,
                         std::string_view goodBytes) {
    namespace fs = std::filesystem;
    fs::remove_all(path);
    fs::path target = path;
    target += ".target";
    fs::remove_all(target);
    switch (kind) {
    case PathKind::Fifo:
        ::mkfifo(path.c_str(), 0600);
        break;
    case PathKind::Folder:
        fs::create_directory(path);
        break;
    case PathKind::DevZero:
        fs::create_symlink("/dev/zero", path);
        break;
    case PathKind::LinkToFile:
        writeBytesTo(target, goodBytes);
        fs::create_symlink(target, path);
        break;
    case PathKind::Oversize:
        writeBytesTo(path, goodBytes);
        fs::resize_file(path, OVERSIZE_BYTES);
        break;
    }
}

// A reader that blocks on a FIFO would make a test hang; after a few seconds
// this opens the FIFO for writing and closes it again, which lets a blocked
// reader go on (it then reads an empty file), so the test fails instead.
class FifoWatchdog {
public:
    explicit FifoWatchdog(std::string fifo) : path(std::move(fifo)) {
        if (path.empty()) return;
        thread = std::thread([this] {
            const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!done.load() && std::chrono::steady_clock::now() < until)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            while (!done.load()) {
                // Succeeds only while a reader has the FIFO open (or is opening it).
                const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
                if (fd >= 0) {
                    ::close(fd);
                    fired.store(true);
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        });
    }
    ~FifoWatchdog() {
        done.store(true);
        if (thread.joinable()) thread.join();
    }
    FifoWatchdog(const FifoWatchdog&) = delete;
    FifoWatchdog& operator=(const FifoWatchdog&) = delete;

    // True when a reader was found blocked on the FIFO.
    bool caughtABlockedReader() const { return fired.load(); }

private:
    std::string path;
    std::atomic<bool> done{false};
    std::atomic<bool> fired{false};
    std::thread thread;
};

// Lets no file of this process grow beyond `bytes` while it lives: a write
// past the limit fails with EFBIG (SIGXFSZ, which would end the process, is
// ignored meanwhile). Makes a save fail half-way, also for root.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &previous);
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit = previous;
        limit.rlim_cur = bytes;
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~FileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = SIG_DFL;
};
