// Ten million rows saved from the window: wall time and the longest stall of the user-interface
// thread (the gap between two ticks of a 1 ms timer), for the save beside the window and for
// the save on the window's thread as it was; and the resident size before the rows, with them,
// and after New (with and without the memory handed back).
//   build/bench/bench_window_save --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>
#include <memory>
#include <string>

#include "bench/ui/offscreen_benchmarks.h"
#include "recording/data_files.h"
#include "recording/memory_release.h"
#include "recording/table_store.h"
#include "recording/ui/background_save.h"

namespace {

constexpr std::size_t kRows = 10'000'000;

long rssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void appendRows(TableStore& table) {
    static const char* values[] = {"1.234", "1.235", "-0.@", "12.34", "0.000"};
    for (std::size_t i = 0; i < kRows; ++i) {
        RowData row;
        row.no = static_cast<std::int32_t>(1 + i);
        row.texts = {"12:04:31", "OHM", values[i % 5], "K *", "4k *", "Auto"};
        row.nval = static_cast<std::int32_t>(i % 4000);
        row.stamp = WallTime{1'765'000'000'000 + static_cast<std::int64_t>(i) * 12, 3600};
        table.append(row);
    }
}

// The longest gap between two ticks of a 1 ms timer while run() runs.
template <typename Run>
qint64 longestStallMs(Run run) {
    QElapsedTimer since;
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout,
                     [&] { longest = std::max(longest, since.restart()); });
    since.start();
    tick.start();
    run();
    longest = std::max(longest, since.elapsed());
    return longest;
}

void saveRows(benchmark::State& state, const char* fileName, bool beside) {
    static TableStore table = [] {
        TableStore t;
        appendRows(t);
        return t;
    }();
    QTemporaryDir dir;
    const std::string name = dir.filePath(QString::fromLatin1(fileName)).toStdString();
    for (auto _ : state) {
        QElapsedTimer wall;
        wall.start();
        const qint64 stall = longestStallMs([&] {
            if (beside) {
                saveInBackground(nullptr, table, name);
            } else {
                saveTable(table, name);
            }
        });
        state.counters["wall_ms"] = static_cast<double>(wall.elapsed());
        state.counters["stall_ms"] = static_cast<double>(stall);
    }
}

void BM_SaveTextBeside(benchmark::State& s) {
    saveRows(s, "10M.txt", true);
}
void BM_SaveTextOnUiThread(benchmark::State& s) {
    saveRows(s, "10M.txt", false);
}
void BM_SavePacketBeside(benchmark::State& s) {
    saveRows(s, "10M.xml", true);
}
void BM_SavePacketOnUiThread(benchmark::State& s) {
    saveRows(s, "10M.xml", false);
}
BENCHMARK(BM_SaveTextBeside)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SaveTextOnUiThread)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SavePacketBeside)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SavePacketOnUiThread)->Unit(benchmark::kMillisecond)->Iterations(1);

// Resident size in MiB: before the rows, with ten million, after New without and with the
// memory handed back. Run it alone (--benchmark_filter=Memory): the save benchmarks keep their
// table.
void BM_MemoryAfterNew(benchmark::State& state) {
    for (auto _ : state) {
        for (const bool release : {false, true}) {
            releaseFreeMemory();
            const long before = rssKiB();
            TableStore table;
            appendRows(table);
            // What the window allocates after the rows (a repaint, a dialog) sits above them
            // in the heap, so the allocator cannot simply cut its top.
            auto later = std::make_unique<char[]>(4096);
            benchmark::DoNotOptimize(later.get());
            const long full = rssKiB();
            table.clear();
            if (release) {
                releaseFreeMemory();
            }
            const long after = rssKiB();
            const std::string tag = release ? "released" : "kept";
            state.counters["before_MiB"] = static_cast<double>(before) / 1024;
            state.counters["10M_MiB"] = static_cast<double>(full) / 1024;
            state.counters["afterNew_" + tag + "_MiB"] = static_cast<double>(after) / 1024;
        }
    }
}
BENCHMARK(BM_MemoryAfterNew)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv);
}
