// The grid at ten million rows and the printed report.
//   build/bench/bench_measurement_grid --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTableView>
#include <QTemporaryDir>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "bench/ui/offscreen_benchmarks.h"
#include "recording/table_store.h"
#include "recording/ui/measurement_grid.h"
#include "recording/ui/report_painter.h"

namespace {

long residentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

void appendRows(TableStore& table, std::size_t n, std::size_t firstNo) {
    static const char* values[] = {"1.234", "1.235", "-0.@", "12.34", "0.000"};
    for (std::size_t i = 0; i < n; ++i) {
        RowData row;
        row.no = static_cast<std::int32_t>(firstNo + i);
        row.texts = {"12:04:31", "OHM", values[i % 5], "K *", "4k *", "Auto"};
        row.nval = static_cast<std::int32_t>(i % 4000);
        table.append(row);
    }
}

// One table per size, filled once and kept for the whole run (ten million rows take a while).
TableStore& tableOf(std::size_t rows) {
    static std::map<std::size_t, std::unique_ptr<TableStore>> tables;
    auto& table = tables[rows];
    if (!table) {
        table = std::make_unique<TableStore>();
        table->reserve(rows);
        appendRows(*table, rows, 1);
    }
    return *table;
}

struct ShownGrid {
    explicit ShownGrid(TableStore& table) : grid(table), image(426, 217, QImage::Format_ARGB32) {
        grid.resize(426, 217);
        grid.show();
        QCoreApplication::processEvents();
    }
    void paint() {
        grid.render(&image);
        QCoreApplication::processEvents();
    }
    MeasurementGrid grid;
    QImage image;
};

// Painting the whole grid (headers, visible rows, scroll bar) at its place in the window.
void BM_GridPaint(benchmark::State& state) {
    TableStore& table = tableOf(static_cast<std::size_t>(state.range(0)));
    const long before = residentKiB();
    ShownGrid shown(table);
    state.counters["grid_KiB"] = static_cast<double>(residentKiB() - before);
    state.counters["store_MiB"] = static_cast<double>(table.memoryBytes()) / (1 << 20);
    for (auto _ : state) {
        shown.paint();
    }
}
BENCHMARK(BM_GridPaint)->Arg(1000)->Arg(10'000'000)->Unit(benchmark::kMicrosecond);

// One admitted reading: append to the store, the grid follows it (window, current row,
// indicator, scroll bar); with /1 the grid is painted as well.
void BM_AppendFollowing(benchmark::State& state) {
    TableStore table;
    table.reserve(10'000'000 + 1'000'000);
    appendRows(table, 10'000'000, 1);
    ShownGrid shown(table);
    std::size_t no = 10'000'001;
    for (auto _ : state) {
        appendRows(table, 1, no++);
        if (state.range(0) != 0) {
            shown.paint();
        }
    }
    state.counters["rows"] = static_cast<double>(table.rowCount());
}
BENCHMARK(BM_AppendFollowing)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond);

// Rendering the printed report of 10,000 rows (271 pages) into a PDF file.
void BM_Report10000Rows(benchmark::State& state) {
    TableStore& table = tableOf(10'000);
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("report.pdf"));
    for (auto _ : state) {
        if (!ReportPainter::renderPdf(table, file).isEmpty()) {
            state.SkipWithError("report not written");
        }
    }
    state.counters["pages"] = ReportPainter::pageCount(table.rowCount());
}
BENCHMARK(BM_Report10000Rows)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv);
}
