#include <benchmark/benchmark.h>

#include "display/chart_control.h"

// One AddValue in follow mode (page size 100): the cost the chart feed adds to every recorded
// reading, measured over a growing recording.
static void BM_AddValueFollow(benchmark::State& state) {
    TChartControl chart;
    chart.Create(nullptr, 100);
    int y = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(chart.AddValue(y));
        y = (y + 37) % 4001;
    }
    state.counters["points"] = chart.PointCount();
    state.counters["bytes_per_point"] =
        static_cast<double>(chart.points().memoryBytes()) / chart.points().size();
}
// ten million appends: the most the table can hold, and a bounded memory use for the run
BENCHMARK(BM_AddValueFollow)->Iterations(10000000);

// A page jump from the first to the last page and back, at n points.
static void BM_FirstLastPage(benchmark::State& state) {
    TChartControl chart;
    chart.Create(nullptr, 100);
    for (int64_t i = 0; i < state.range(0); ++i) {
        chart.AddValue(static_cast<double>(i % 8001) - 4000);
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(chart.FirstPage());
        benchmark::DoNotOptimize(chart.LastPage());
    }
}
BENCHMARK(BM_FirstLastPage)->Arg(1000)->Arg(10000000)->Unit(benchmark::kNanosecond);

BENCHMARK_MAIN();
