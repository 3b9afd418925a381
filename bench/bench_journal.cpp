// The journal's cost on the recording thread: one recorded row handed to the journal (encode,
// CRC-32, copy into the writer's ring), and that it allocates nothing once warm.
//   build/bench/bench_journal --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <filesystem>
#include <string>

#include "bench/allocation_counter.h"
#include "recording/journal.h"
#include "recording/table_store.h"

namespace {

TableStore someRows() {
    TableStore t;
    static const char* values[] = {"1.234", "1.235", "-0.@", "12.34", "0.000"};
    for (int i = 0; i < 1024; ++i) {
        RowData row;
        row.no = 1 + i;
        row.texts = {"12:04:31", "DCV", values[i % 5], "V", "4 V", "Auto"};
        row.nval = i;
        row.stamp = WallTime{1'765'000'000'000 + i * 12, 3600};
        t.append(row);
    }
    return t;
}

void BM_JournalRowRecorded(benchmark::State& state) {
    const std::string folder =
        (std::filesystem::temp_directory_path() / "halvern-bench-journal").string();
    std::filesystem::remove_all(folder);
    const TableStore rows = someRows();
    JournalSink journal(folder, JournalOrigin{"bench", {}, {}});
    // Warm: the segment open, and the writer's buffers as big as a measured run needs.
    for (std::size_t r = 0; r < 5000; ++r) {
        journal.rowRecorded(rows, r & 1023);
    }
    journal.flush();
    const std::size_t allocationsBefore = g_allocations.load();
    std::size_t r = 0;
    for (auto _ : state) {
        journal.rowRecorded(rows, r);
        r = (r + 1) & 1023;
    }
    // Counts both threads: the writer's buffers are warm, so any count is the recording
    // thread's.
    state.counters["allocs/row"] =
        benchmark::Counter(static_cast<double>(g_allocations.load() - allocationsBefore) /
                           static_cast<double>(state.iterations()));
    state.counters["lost"] = static_cast<double>(journal.status().rowsLost);
    state.SetItemsProcessed(state.iterations());
    journal.finish();
}
// Bounded to what the ring takes between two of the writer's turns, as a meter never exceeds.
BENCHMARK(BM_JournalRowRecorded)->Iterations(5000)->Repetitions(5)->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
