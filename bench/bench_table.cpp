// The measurement table: bytes per row at ten million rows (each with its full moment), the cost
// of one append, and the cost of the whole recording step for one reading.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "meter/clock.h"
#include "recording/recorder.h"
#include "recording/table_store.h"

namespace {

// Texts as a recording produces them: the time changes every second (two readings a second),
// the value moves about a 4000-count range, the rest stays put.
struct RecordedTexts {
    std::vector<std::string> times;
    std::vector<std::string> values;
    RecordedTexts() {
        char buffer[16];
        for (int s = 0; s < 86400; ++s) {
            std::snprintf(buffer, sizeof buffer, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
            times.emplace_back(buffer);
        }
        for (int v = 0; v < 4000; ++v) {
            std::snprintf(buffer, sizeof buffer, "%d.%03d", v / 1000, v % 1000);
            values.emplace_back(buffer);
        }
    }
    RowData row(std::size_t i) const {
        RowData r;
        r.no = static_cast<std::int32_t>(i + 1);
        // A slow drift with small jitter, so the value often repeats the previous reading's.
        const std::size_t v = (i / 8 + (i % 3)) % values.size();
        r.texts = {times[(i / 2) % times.size()], "DCV", values[v], "V", "4 V", "Auto"};
        r.nval = static_cast<std::int32_t>(v);
        r.stamp = WallTime{1796894272000 + static_cast<std::int64_t>(i) * 500, 3600};
        return r;
    }
};

const RecordedTexts& texts() {
    static const RecordedTexts t;
    return t;
}

void BM_TableBytesPerRow(benchmark::State& state) {
    const auto rows = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        TableStore table;
        for (std::size_t i = 0; i < rows; ++i) {
            table.append(texts().row(i));
        }
        state.counters["bytes_per_row"] =
            static_cast<double>(table.memoryBytes()) / static_cast<double>(rows);
        state.counters["table_MiB"] = static_cast<double>(table.memoryBytes()) / (1 << 20);
    }
    state.counters["appends"] = benchmark::Counter(static_cast<double>(rows),
                                                   benchmark::Counter::kIsIterationInvariantRate);
}
BENCHMARK(BM_TableBytesPerRow)->Arg(10'000'000)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_TableAppend(benchmark::State& state) {
    TableStore table;
    table.reserve(static_cast<std::size_t>(state.max_iterations));
    std::size_t i = 0;
    for (auto _ : state) {
        table.append(texts().row(i++));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_TableAppend)->Iterations(2'000'000);

void BM_RecordReading(benchmark::State& state) {
    TableStore table;
    table.reserve(static_cast<std::size_t>(state.max_iterations) + 1);
    FixedClock clock(LocalDateTime{2026, 12, 9, 12, 4, 31});
    Recorder recorder(table, clock);
    recorder.selectRecordLimit(RecordLimitItem::limitess);
    CurrentReading reading;
    reading.functionText = "DCV";
    reading.unitText = "V";
    reading.rangeText = "4 V";
    reading.autoManualText = "Auto";
    std::size_t i = 0;
    for (auto _ : state) {
        reading.valueText.assign(texts().values[(i++ / 8) % 4000]);
        benchmark::DoNotOptimize(recorder.recordReading(reading));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_RecordReading)->Iterations(2'000'000);

}  // namespace

BENCHMARK_MAIN();
