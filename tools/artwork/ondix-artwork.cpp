// ondix-artwork: writes the editor's bitmaps as PNG files.
//
//   ondix-artwork OUTDIR [--all]
//   ondix-artwork --help
//
// Without --all it writes the back screen and the main screen (arpeggiator
// page) at 100 % and 200 %: bmp10003.png, bmp13003.png, bmp10000.png,
// bmp13000.png. With --all it writes every bitmap at every size. The folder
// is created when missing. One line per file; exit status 1 on any failure,
// 2 for a bad command line (an option it does not know, or no folder: a
// folder whose name begins with '-' is given as ./-name).

#include "editor/artwork.h"

#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: ondix-artwork OUTDIR [--all]\n"
    "Writes the editor's back screen and main screen at 100 % and 200 % as PNG files into\n"
    "OUTDIR (created when missing); with --all every bitmap at every size.\n";

int usage(const char* problem = nullptr) {
    if (problem) std::fprintf(stderr, "ondix-artwork: %s\n", problem);
    std::fputs(kUsage, stderr);
    return 2;
}

bool writeBitmap(const std::filesystem::path& folder, int resourceId) {
    char name[32];
    std::snprintf(name, sizeof name, "bmp%05d.png", resourceId);
    const std::filesystem::path file = folder / name;
    cairo_surface_t* surface = ondix::artwork::renderBitmap(resourceId);
    if (!surface) {
        std::fprintf(stderr, "ondix-artwork: no bitmap %d\n", resourceId);
        return false;
    }
    const cairo_status_t status = cairo_surface_write_to_png(surface, file.c_str());
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        std::fprintf(stderr, "ondix-artwork: cannot write %s: %s\n", file.c_str(),
                     cairo_status_to_string(status));
        return false;
    }
    std::printf("%s %dx%d\n", file.c_str(), width, height);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    bool all = false;
    const char* outdir = nullptr;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (arg == "--all") {
            all = true;
        } else if (arg.size() > 1 && arg.front() == '-') {
            return usage(("unknown option " + arg).c_str());
        } else if (outdir) {
            return usage(("unexpected argument " + arg).c_str());
        } else {
            outdir = argv[i];
        }
    }
    if (!outdir) return usage("no output folder given");
    const std::filesystem::path folder = outdir;
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !std::filesystem::is_directory(folder)) {
        std::fprintf(stderr, "ondix-artwork: cannot create folder %s: %s\n", folder.c_str(),
                     ec ? ec.message().c_str() : "not a folder");
        return 1;
    }

    std::vector<int> ids;
    if (all) {
        for (int size = 0; size < ondix::artwork::kSizeCount; ++size)
            for (int id : ondix::artwork::designIds()) ids.push_back(id + 1000 * size);
    } else {
        ids = {10003, 13003, 10000, 13000};
    }
    for (int id : ids)
        if (!writeBitmap(folder, id)) return 1;
    return 0;
}
