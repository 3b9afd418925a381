// The analysis formats and the statistics at ten million rows: CSV and JSON Lines write
// throughput (formatting and writing, to /dev/null so that the disk does not set the pace),
// the statistics of the whole table, and the cost of one more row for the live statistics.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <time.h>

#include <cstdio>
#include <string>

#include "recording/analysis_files.h"
#include "recording/byte_stream.h"
#include "recording/table_statistics.h"
#include "recording/table_store.h"

namespace {

constexpr std::size_t kRows = 10'000'000;

// A recording of ten million readings, two a second: a drifting DC voltage with an overload now
// and then, the resistance and frequency of other parts of the session.
const TableStore& recording() {
    static TableStore* table = [] {
        auto* t = new TableStore;
        t->reserve(kRows);
        char time[16];
        char value[16];
        for (std::size_t i = 0; i < kRows; ++i) {
            const int s = static_cast<int>(i / 2 % 86400);
            std::snprintf(time, sizeof time, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
            const int v = static_cast<int>((i / 8 + i % 3) % 4000);
            std::snprintf(value, sizeof value, "%d.%03d", v / 1000, v % 1000);
            RowData r;
            r.no = static_cast<std::int32_t>(i + 1);
            const std::size_t part = i / 100'000 % 10;
            if (part < 7) {
                r.texts = {time, "DCV", i % 997 == 0 ? "0.@" : value, "V", "4 V", "Auto"};
            } else if (part < 9) {
                r.texts = {time, "OHM", value, "K *", "4k *", "Auto"};
            } else {
                r.texts = {time, "FRQ", value, "kHz", "4kHz", "Manu"};
            }
            r.nval = v;
            r.stamp = WallTime{1796894272000 + static_cast<std::int64_t>(i) * 500, 3600};
            t->append(r);
        }
        return t;
    }();
    return *table;
}

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// Counts the bytes handed to /dev/null.
void BM_Write(benchmark::State& state, bool csv) {
    const TableStore& table = recording();
    const int fd = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    std::size_t bytes = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        ByteSink sink(fd);
        if (csv) {
            writeTableCsv(table, sink);
        } else {
            writeTableJsonLines(table, sink);
        }
        sink.flush();
        cpu += cpuSeconds() - before;
    }
    // The size of the output, formed once more into memory a million rows at a time.
    {
        AnalysisRowFormatter rows(table);
        std::string block;
        for (std::size_t r = 0; r < table.rowCount(); ++r) {
            csv ? rows.appendCsv(r, block) : rows.appendJson(r, block);
            if (block.size() > (1 << 24)) {
                bytes += block.size();
                block.clear();
            }
        }
        bytes += block.size();
    }
    ::close(fd);
    state.counters["file_MB"] = static_cast<double>(bytes) / 1e6;
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(bytes) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    state.counters["cpu_MB/s"] =
        static_cast<double>(bytes) * static_cast<double>(state.iterations()) / 1e6 / cpu;
}

void BM_StatisticsOfTheWholeTable(benchmark::State& state) {
    const TableStore& table = recording();
    double cpu = 0;
    for (auto _ : state) {
        const double before = cpuSeconds();
        TableStatistics stats(table);
        stats.add(0, table.rowCount());
        benchmark::DoNotOptimize(stats.groups().data());
        cpu += cpuSeconds() - before;
    }
    state.counters["cpu_ms"] = cpu * 1e3 / static_cast<double>(state.iterations());
    state.counters["rows"] = static_cast<double>(table.rowCount());
}

// One row added to live statistics that already hold millions: what each recorded row costs.
void BM_StatisticsOneMoreRow(benchmark::State& state) {
    const TableStore& table = recording();
    TableStatistics stats(table);
    stats.add(0, kRows / 2);
    std::size_t row = kRows / 2;
    for (auto _ : state) {
        stats.add(row, 1);
        row = row + 1 < kRows ? row + 1 : kRows / 2;
    }
    benchmark::DoNotOptimize(stats.groups().data());
}

BENCHMARK_CAPTURE(BM_Write, csv, true)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK_CAPTURE(BM_Write, jsonl, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2)
    ->UseRealTime();
BENCHMARK(BM_StatisticsOfTheWholeTable)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_StatisticsOneMoreRow)->Iterations(2'000'000);

}  // namespace

BENCHMARK_MAIN();
