// Writing the embedded manual out (see manual.h).

#include "data/manual.h"

#include "data/embedded_files.h"
#include "platform/file_io.h"

#include <filesystem>
#include <string_view>
#include <system_error>

bool installManual(const std::string& folder, std::string& error) {
    constexpr std::string_view kRoot = "manual/";
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    for (const EmbeddedFile& file : embeddedFiles()) {
        if (!file.path.starts_with(kRoot)) continue;
        std::string path = folder;
        if (!path.empty() && path.back() != '/') path += '/';
        path.append(file.path.substr(kRoot.size()));
        std::string existing, readError;
        if (readRegularFile(path, file.bytes.size(), existing, readError) && existing == file.bytes)
            continue;
        if (!writeFileDurably(path, file.bytes, error)) return false;
    }
    return true;
}
