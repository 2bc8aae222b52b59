// ondix-artwork: writes the editor's bitmaps as PNG files.
//
//   ondix-artwork OUTDIR [--all]
//   ondix-artwork --help
//
// Without --all it writes the back screen and the main screen (arpeggiator
// page) at 100 % and 200 %: bmp10003.png, bmp13003.png, bmp10000.png,
// bmp13000.png. With --all it writes every bitmap at every size. The folder
// is created when missing. The files take their names together once all of
// them are complete (tools/host/output_file.h): a run that fails, or that a
// signal ends, leaves the files of an earlier run as they were. One line
// per file; exit status 1 on any failure, 2 for a bad command line (an
// option it does not know, or no folder: a folder whose name begins with
// '-' is given as ./-name).

#include "editor/artwork.h"
#include "output_file.h"

#include <cairo.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
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

// One bitmap as a PNG file, written to its output; the line to print once
// it is in place goes to `line`.
bool writeBitmap(const std::filesystem::path& folder, int resourceId,
                 ondix::host::OutputFile& output, std::string& line) {
    char name[32];
    std::snprintf(name, sizeof name, "bmp%05d.png", resourceId);
    const std::string file = (folder / name).string();
    cairo_surface_t* surface = ondix::artwork::renderBitmap(resourceId);
    if (!surface) {
        std::fprintf(stderr, "ondix-artwork: no bitmap %d\n", resourceId);
        return false;
    }
    std::string error;
    struct Sink {
        ondix::host::OutputFile& output;
        std::string& error;
    } sink{output, error};
    cairo_status_t status = CAIRO_STATUS_WRITE_ERROR;
    if (output.open(file, error)) {
        status = cairo_surface_write_to_png_stream(
            surface,
            [](void* closure, const unsigned char* data, unsigned int length) {
                auto* to = static_cast<Sink*>(closure);
                const std::string_view bytes(reinterpret_cast<const char*>(data), length);
                return to->output.write(bytes, to->error) ? CAIRO_STATUS_SUCCESS
                                                          : CAIRO_STATUS_WRITE_ERROR;
            },
            &sink);
    }
    const int width = cairo_image_surface_get_width(surface);
    const int height = cairo_image_surface_get_height(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        if (error.empty()) error = "cannot write " + file + ": " + cairo_status_to_string(status);
        std::fprintf(stderr, "ondix-artwork: %s\n", error.c_str());
        return false;
    }
    line = file + " " + std::to_string(width) + "x" + std::to_string(height);
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
    std::vector<std::unique_ptr<ondix::host::OutputFile>> files;
    std::vector<ondix::host::OutputFile*> outputs;
    std::vector<std::string> lines(ids.size());
    for (std::size_t i = 0; i < ids.size(); ++i) {
        outputs.push_back(files.emplace_back(std::make_unique<ondix::host::OutputFile>()).get());
        if (!writeBitmap(folder, ids[i], *files.back(), lines[i])) return 1;
    }
    std::string error;
    if (!ondix::host::commitOutputs(outputs, error)) {
        std::fprintf(stderr, "ondix-artwork: %s\n", error.c_str());
        return 1;
    }
    for (const std::string& line : lines) std::printf("%s\n", line.c_str());
    return 0;
}
