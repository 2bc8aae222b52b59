// Loading a plug-in's shared library: the file is opened once, checked on
// its descriptor and loaded through that descriptor.
#pragma once

#include "numbers.h"
#include "platform/file_io.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <dlfcn.h>
#include <elf.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ondix::host {

// What keeps the file open as fd from being a shared library of this
// machine that can be mapped whole; "" when nothing does. dlopen maps each
// segment where the program headers place it in the file, and a segment of
// a file cut short or damaged is mapped all the same: the first touch of a
// page beyond the file's end kills the process (SIGBUS). So the headers'
// tables and every segment must lie within the file.
inline std::string libraryFault(int fd) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) return std::string("cannot read it: ") + std::strerror(errno);
    const auto size = static_cast<uint64_t>(st.st_size);
    auto readAt = [fd](void* to, std::size_t bytes, uint64_t at) {
        return ::pread(fd, to, bytes, static_cast<off_t>(at)) == static_cast<ssize_t>(bytes);
    };
    auto within = [size](uint64_t offset, uint64_t bytes) {
        return offset <= size && bytes <= size - offset;
    };
    Elf64_Ehdr head{};
    if (!within(0, sizeof head) || !readAt(&head, sizeof head, 0) ||
        std::memcmp(head.e_ident, ELFMAG, SELFMAG) != 0)
        return "it is not an ELF file";
    if (head.e_ident[EI_CLASS] != ELFCLASS64 || head.e_ident[EI_DATA] != ELFDATA2LSB ||
        head.e_machine != EM_X86_64)
        return "it is not built for this machine (64-bit ELF, x86-64)";
    if (head.e_type != ET_DYN) return "it is an ELF file but not a shared library";
    const std::string damaged = "it is cut short or damaged: parts of it lie beyond its " +
                                formatInt(static_cast<int64_t>(size)) + " bytes";
    std::vector<Elf64_Phdr> segments(head.e_phnum);
    const uint64_t table = segments.size() * sizeof(Elf64_Phdr);
    if (head.e_phentsize != sizeof(Elf64_Phdr) || !within(head.e_phoff, table) ||
        (head.e_shoff != 0 && !within(head.e_shoff, uint64_t{head.e_shnum} * head.e_shentsize)) ||
        !readAt(segments.data(), table, head.e_phoff))
        return damaged;
    for (const Elf64_Phdr& segment : segments)
        if (!within(segment.p_offset, segment.p_filesz)) return damaged;
    return {};
}

// dlopen(path, flags) of a regular file that libraryFault finds sound, or
// null with error set. The file is loaded through the descriptor it was
// checked on (/proc/self/fd/N), so that it is the file checked whatever takes
// its name's place meanwhile (a FIFO would keep dlopen waiting). The loader
// knows the library by that name from then on (dladdr gives it, and a later
// dlopen of the name finds the library): the descriptor stays open as long
// as the process, so the name names the file for as long as it stays mapped
// (the hosts never unload one).
inline void* loadLibrary(const std::string& path, int flags, std::string& error) {
    const int fd = openRegularFile(path, error);
    if (fd < 0) return nullptr;
    std::string why = libraryFault(fd);
    const std::string name = "/proc/self/fd/" + formatInt(fd);
    void* library = why.empty() ? dlopen(name.c_str(), flags) : nullptr;
    if (library) return library;
    ::close(fd);
    if (why.empty()) {
        const char* reason = dlerror();
        why = reason ? reason : "unknown error";
        for (std::size_t at = why.find(name); at != std::string::npos;
             at = why.find(name, at + path.size()))
            why.replace(at, name.size(), path);
    }
    error = "cannot load " + path + ": " + why;
    return nullptr;
}

} // namespace ondix::host
