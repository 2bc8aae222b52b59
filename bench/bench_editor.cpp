// Cost of the editor: painting the artwork, opening and closing the window
// headless, and a full redraw of the frame, at 100 % and 200 %.

#include "core/aplugin.h"
#include "editor/artwork.h"
#include "editor/ueditor.h"
#include "platform/prefs.h"
#include "vstgui/cframe.h"

#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

namespace {

VstIntPtr quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

// Preferences in a folder of their own, with the editor size of the run.
void useSize(int sizeIndex) {
    static const std::string dir = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "ondix-bench-XXXXXX").string();
        if (!mkdtemp(pattern.data())) return std::string();
        setenv("ONDIX_PREFS_DIR", pattern.c_str(), 1);
        return pattern;
    }();
    reloadPrefs();
    for (int k = 0; k < 4; ++k) saveStringToPrefs(REG_SCREEN_SIZE[k], k == sizeIndex ? "Y" : "N");
}

// Painting one screen background from nothing (the editor caches it).
void BM_PaintBackground(benchmark::State& state) {
    const int id = 10000 + 1000 * static_cast<int>(state.range(0));
    for (auto _ : state) {
        cairo_surface_t* s = ondix::artwork::renderBitmap(id);
        benchmark::DoNotOptimize(s);
        cairo_surface_destroy(s);
    }
}
BENCHMARK(BM_PaintBackground)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// Every bitmap of one size from nothing: the first opening at that size.
void BM_PaintAllBitmaps(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0));
    for (auto _ : state) {
        for (int id : ondix::artwork::designIds()) {
            cairo_surface_t* s = ondix::artwork::renderBitmap(id + 1000 * size);
            benchmark::DoNotOptimize(s);
            cairo_surface_destroy(s);
        }
    }
}
BENCHMARK(BM_PaintAllBitmaps)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// Opening and closing the window with the artwork cached, including the
// first full redraw.
void BM_OpenDrawClose(benchmark::State& state) {
    useSize(static_cast<int>(state.range(0)));
    auto plugin = std::make_unique<APlugin>(quietHost);
    uEditor* ui = plugin->getUEditor();
    for (auto _ : state) {
        ui->open(nullptr);
        ui->frameForTests()->redrawAll();
        ui->close();
    }
}
BENCHMARK(BM_OpenDrawClose)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// A full redraw of the open window.
void BM_RedrawAll(benchmark::State& state) {
    useSize(static_cast<int>(state.range(0)));
    auto plugin = std::make_unique<APlugin>(quietHost);
    uEditor* ui = plugin->getUEditor();
    ui->open(nullptr);
    ui->showMainScreen();
    for (auto _ : state) ui->frameForTests()->redrawAll();
    ui->close();
}
BENCHMARK(BM_RedrawAll)->Arg(0)->Arg(3)->Unit(benchmark::kMillisecond);

// An idle pass with nothing to do.
void BM_IdleNothingDirty(benchmark::State& state) {
    useSize(0);
    auto plugin = std::make_unique<APlugin>(quietHost);
    uEditor* ui = plugin->getUEditor();
    ui->open(nullptr);
    ui->showMainScreen();
    ui->frameForTests()->idle();
    for (auto _ : state) ui->frameForTests()->idle();
    ui->close();
}
BENCHMARK(BM_IdleNothingDirty)->Unit(benchmark::kMicrosecond);

// One pass of the editor's own idle work on the main screen (polling the
// engine, rings, locks, hover texts) with nothing to redraw.
void BM_EditorIdlePass(benchmark::State& state) {
    useSize(0);
    auto plugin = std::make_unique<APlugin>(quietHost);
    uEditor* ui = plugin->getUEditor();
    ui->open(nullptr);
    ui->showMainScreen();
    ui->idleNow();
    for (auto _ : state) ui->idleNow();
    ui->close();
}
BENCHMARK(BM_EditorIdlePass)->Unit(benchmark::kMicrosecond);

} // namespace
