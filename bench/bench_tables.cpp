// Cost of the engine's lookup tables: building the whole shared set (what
// the first plug-in instance of a process pays), and reaching the shared set
// afterwards (what every later instance and every engine call pays).

#include "engine/tables.h"

#include <benchmark/benchmark.h>

namespace {

void BM_TablesBuild(benchmark::State& state) {
    for (auto _ : state) {
        auto tables = EngineTables::build();
        benchmark::DoNotOptimize(tables.get());
        benchmark::ClobberMemory();
    }
    state.SetBytesProcessed(state.iterations() * static_cast<int64_t>(sizeof(EngineTables)));
}
BENCHMARK(BM_TablesBuild)->Unit(benchmark::kMillisecond);

void BM_TablesSharedAccess(benchmark::State& state) {
    engineTables(); // built outside the timing
    for (auto _ : state) benchmark::DoNotOptimize(&engineTables());
}
BENCHMARK(BM_TablesSharedAccess);

} // namespace
