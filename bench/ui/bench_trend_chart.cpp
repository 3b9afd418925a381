#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QToolButton>
#include <map>
#include <memory>

#include "bench/ui/offscreen_benchmarks.h"
#include "display/ui/trend_chart.h"

namespace {

// One chart per recording size, filled once and reused by every run of a benchmark.
TrendChart& chartWith(std::int64_t points) {
    static std::map<std::int64_t, std::unique_ptr<TrendChart>> charts;
    auto& chart = charts[points];
    if (!chart) {
        chart = std::make_unique<TrendChart>();
        chart->resize(373, 353);
        chart->control().SetValueMax(4000);
        chart->control().SetValueMin(-4000);
        for (std::int64_t i = 0; i < points; ++i) {
            chart->chartFeed(static_cast<int>(((i % 1000) * 37) % 8001) - 4000);
        }
        chart->refreshSeries();
    }
    return *chart;
}

}  // namespace

// Repaints the visible page (drawing brought up to the window, then the whole chart shown) with
// n readings recorded. The figure must not grow with n.
static void BM_RepaintVisiblePage(benchmark::State& state) {
    TrendChart& chart = chartWith(state.range(0));
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        chart.control().LastPage();
        chart.refreshSeries();
        QPainter painter(&image);
        chart.render(&painter);
    }
    state.counters["visible"] = static_cast<double>(chart.drawnPointCount());
}

// Draws the whole chart from nothing, as a saved picture is drawn: axes, labels, the page's
// trace and the overview strip of every reading. The figure must not grow with n: the strip
// reads its buckets, never the readings.
static void BM_DrawChartAndOverview(benchmark::State& state) {
    TrendChart& chart = chartWith(state.range(0));
    for (auto _ : state) {
        benchmark::DoNotOptimize(chart.renderPicture());
    }
    state.counters["bucket"] = static_cast<double>(chart.overview().bucketSize());
}
BENCHMARK(BM_DrawChartAndOverview)->Arg(1000)->Arg(10000000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_RepaintVisiblePage)->Arg(1000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// Pages from the last page to the first and back, drawing each, with n readings recorded.
static void BM_PageAndRepaint(benchmark::State& state) {
    TrendChart& chart = chartWith(state.range(0));
    QImage image(chart.size(), QImage::Format_RGB32);
    for (auto _ : state) {
        for (QToolButton* button : {chart.BtFirst(), chart.BTlast()}) {
            button->click();
            chart.refreshSeries();
            QPainter painter(&image);
            chart.render(&painter);
        }
    }
}
BENCHMARK(BM_PageAndRepaint)->Arg(1000)->Arg(10000000)->Unit(benchmark::kMicrosecond);

// One reading fed to the chart in follow mode, as the decoder does for every recorded row:
// AddValue, the page number in Bt10 and the series brought up to date.
static void BM_ChartFeedFollow(benchmark::State& state) {
    TrendChart chart;
    chart.resize(373, 353);
    int y = 0;
    for (auto _ : state) {
        chart.chartFeed(y);
        chart.refreshSeries();
        y = (y + 37) % 4001;
    }
}
BENCHMARK(BM_ChartFeedFollow)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv);
}
