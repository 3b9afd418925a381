// Ten million rows in the window: loading a text file into a table the grid shows, and the
// report's preview (first page, then a jump to the last page). Time and memory.
//   build/bench/bench_big_tables --benchmark_counters_tabular=true
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QTemporaryDir>
#include <array>
#include <chrono>
#include <fstream>
#include <memory>
#include <string>

#include "bench/ui/offscreen_benchmarks.h"
#include "recording/data_files.h"
#include "recording/table_store.h"
#include "recording/ui/measurement_grid.h"
#include "recording/ui/progress_run.h"
#include "recording/ui/report_preview.h"

namespace {

constexpr std::size_t kRows = 10'000'000;

long statusKiB(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = key;
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0) {
            return std::stol(line.substr(prefix.size()));
        }
    }
    return 0;
}

// Resets the process's peak resident size to what it holds now.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

void appendRows(TableStore& table, std::size_t n) {
    static const char* values[] = {"1.234", "1.235", "-0.@", "12.34", "0.000"};
    for (std::size_t i = 0; i < n; ++i) {
        RowData row;
        row.no = static_cast<std::int32_t>(1 + i);
        row.texts = {"12:04:31", "OHM", values[i % 5], "K *", "4k *", "Auto"};
        row.nval = static_cast<std::int32_t>(i % 4000);
        table.append(row);
    }
}

// The text file and the XML data packet of ten million recorded rows, written once per run.
const std::string& bigFile(bool packet) {
    static QTemporaryDir dir;
    static const std::array<std::string, 2> names = [] {
        const std::string text = dir.filePath(QStringLiteral("10M.txt")).toStdString();
        const std::string xml = dir.filePath(QStringLiteral("10M.xml")).toStdString();
        TableStore table;
        appendRows(table, kRows);
        SaveTableText(table, text);
        saveTablePacket(table, xml);
        return std::array<std::string, 2>{text, xml};
    }();
    return names[packet ? 1 : 0];
}

// Open: the rows appended to an empty table the grid shows, with the progress dialog the
// window uses (it appears after half a second and keeps the window painting).
void BM_LoadIntoWindow(benchmark::State& state, bool packet) {
    const std::string& file = bigFile(packet);
    for (auto _ : state) {
        state.PauseTiming();
        auto table = std::make_unique<TableStore>();
        auto grid = std::make_unique<MeasurementGrid>(*table);
        grid->resize(426, 217);
        grid->show();
        QCoreApplication::processEvents();
        const long before = statusKiB("VmRSS:");
        resetPeak();
        int steps = 0;
        state.ResumeTiming();

        ProgressRun run(grid.get(), QStringLiteral("Loading"));
        const FileOutcome outcome =
            LoadDataFile(file, *table, false, [&](const LoadProgress& progress) {
                ++steps;
                return run.step(QStringLiteral("%L1 rows read").arg(progress.rows),
                                ProgressGate::percent(progress.bytesRead, progress.bytesTotal));
            });
        QCoreApplication::processEvents();

        state.PauseTiming();
        if (!outcome.ok || table->rowCount() != kRows) {
            state.SkipWithError("load failed");
        }
        const double storeMiB = static_cast<double>(table->memoryBytes()) / (1 << 20);
        state.counters["rows"] = static_cast<double>(table->rowCount());
        state.counters["store_MiB"] = storeMiB;
        state.counters["peak_above_store_MiB"] =
            static_cast<double>(statusKiB("VmHWM:") - before) / 1024 - storeMiB;
        state.counters["grid_row"] =
            static_cast<double>(grid->model()->currentRow().value_or(0) + 1);
        state.counters["progress_steps"] = steps;
        grid.reset();
        table.reset();
        state.ResumeTiming();
    }
}
BENCHMARK_CAPTURE(BM_LoadIntoWindow, text, false)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK_CAPTURE(BM_LoadIntoWindow, packet, true)->Unit(benchmark::kMillisecond)->Iterations(1);

TableStore& bigTable() {
    static TableStore table;
    if (table.empty()) {
        table.reserve(kRows);
        appendRows(table, kRows);
    }
    return table;
}

// Opening the preview of ten million rows (270,271 pages) until its first page is painted,
// then a jump to the last page until that one is painted.
void BM_PreviewFirstAndLastPage(benchmark::State& state) {
    TableStore& table = bigTable();
    double firstMs = 0;
    double lastMs = 0;
    long grownKiB = 0;
    for (auto _ : state) {
        const long before = statusKiB("VmRSS:");
        resetPeak();
        const auto t0 = std::chrono::steady_clock::now();
        ReportPreview preview(table, table.rowCount());
        preview.show();
        QCoreApplication::processEvents();
        QWidget* page = preview.findChild<QWidget*>(QStringLiteral("page"));
        QImage first = page->grab().toImage();
        const auto t1 = std::chrono::steady_clock::now();
        preview.showPage(static_cast<long long>(preview.pages().pageCount()));
        QCoreApplication::processEvents();
        QImage last = page->grab().toImage();
        const auto t2 = std::chrono::steady_clock::now();
        benchmark::DoNotOptimize(first);
        benchmark::DoNotOptimize(last);
        firstMs = std::chrono::duration<double, std::milli>(t1 - t0).count();
        lastMs = std::chrono::duration<double, std::milli>(t2 - t1).count();
        grownKiB = statusKiB("VmHWM:") - before;
        if (preview.currentPage() != 270'271) {
            state.SkipWithError("not on the last page");
        }
    }
    state.counters["first_page_ms"] = firstMs;
    state.counters["last_page_ms"] = lastMs;
    state.counters["peak_growth_MiB"] = static_cast<double>(grownKiB) / 1024;
    state.counters["pages"] = static_cast<double>(ReportPages(table.rowCount()).pageCount());
}
BENCHMARK(BM_PreviewFirstAndLastPage)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv);
}
