// Saving and loading one million rows as tab-separated text and as an XML data packet:
// throughput, and the heap the operation needs beyond the table it reads or builds.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <new>
#include <string>

#include "recording/data_files.h"
#include "recording/table_store.h"

// Live and peak heap bytes of the process, counted by replacing the global allocator.
namespace {
std::atomic<std::size_t> g_live{0};
std::atomic<std::size_t> g_peak{0};

void* counted(std::size_t size) {
    void* p = std::malloc(size == 0 ? 1 : size);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    const std::size_t live = g_live += malloc_usable_size(p);
    std::size_t peak = g_peak.load();
    while (live > peak && !g_peak.compare_exchange_weak(peak, live)) {
    }
    return p;
}

void uncounted(void* p) {
    if (p != nullptr) {
        g_live -= malloc_usable_size(p);
        std::free(p);
    }
}
}  // namespace

void* operator new(std::size_t size) {
    return counted(size);
}
void* operator new[](std::size_t size) {
    return counted(size);
}
void operator delete(void* p) noexcept {
    uncounted(p);
}
void operator delete[](void* p) noexcept {
    uncounted(p);
}
void operator delete(void* p, std::size_t) noexcept {
    uncounted(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    uncounted(p);
}

namespace {

constexpr std::size_t kRows = 1'000'000;

const TableStore& sourceTable() {
    static TableStore* table = [] {
        auto* t = new TableStore;
        char time[16];
        char value[16];
        for (std::size_t i = 0; i < kRows; ++i) {
            const int s = static_cast<int>(i / 2 % 86400);
            std::snprintf(time, sizeof time, "%02d:%02d:%02d", s / 3600, s / 60 % 60, s % 60);
            const int v = static_cast<int>((i / 8 + i % 3) % 4000);
            std::snprintf(value, sizeof value, "%d.%03d", v / 1000, v % 1000);
            RowData r;
            r.no = static_cast<std::int32_t>(i + 1);
            r.texts = {time, "DCV", value, "V", "4 V", "Auto"};
            r.nval = v;
            t->append(r);
        }
        return t;
    }();
    return *table;
}

std::string benchFile(const char* name) {
    const auto folder =
        std::filesystem::temp_directory_path() / ("halvern-bench-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    return (folder / name).string();
}

double cpuSeconds() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

// MB/s counts wall time (the real cost, disk included, on a quiet machine); cpu_MB/s counts the
// process's own CPU time, which stays meaningful on a machine shared with other work.
void report(benchmark::State& state, std::size_t fileBytes, std::size_t extraPeak, double cpu) {
    state.counters["cpu_MB/s"] =
        static_cast<double>(fileBytes) * static_cast<double>(state.iterations()) / 1e6 / cpu;
    state.SetBytesProcessed(static_cast<std::int64_t>(fileBytes * state.iterations()));
    state.counters["MB/s"] = benchmark::Counter(static_cast<double>(fileBytes) / 1e6,
                                                benchmark::Counter::kIsIterationInvariantRate);
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["extra_peak_MiB"] = static_cast<double>(extraPeak) / (1 << 20);
}

void BM_Save(benchmark::State& state, bool packet) {
    const TableStore& table = sourceTable();
    const std::string name = benchFile(packet ? "save.xml" : "save.txt");
    std::size_t extraPeak = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        const std::size_t before = g_live.load();
        g_peak = before;
        const FileOutcome outcome = saveTable(table, name);
        cpu += cpuSeconds() - cpuBefore;
        extraPeak = std::max(extraPeak, g_peak.load() - before);
        if (!outcome.ok) {
            state.SkipWithError(outcome.message.c_str());
        }
    }
    report(state, std::filesystem::file_size(name), extraPeak, cpu);
}

void BM_Load(benchmark::State& state, bool packet) {
    const std::string name = benchFile(packet ? "load.xml" : "load.txt");
    if (!saveTable(sourceTable(), name).ok) {
        state.SkipWithError("could not write the file to load");
        return;
    }
    std::size_t extraPeak = 0;
    double cpu = 0;
    for (auto _ : state) {
        const double cpuBefore = cpuSeconds();
        TableStore table;
        const std::size_t before = g_live.load();
        g_peak = before;
        const FileOutcome outcome = LoadDataFile(name, table, false);
        cpu += cpuSeconds() - cpuBefore;
        const std::size_t peak = g_peak.load() - before;
        const std::size_t tableBytes = table.memoryBytes();
        extraPeak = std::max(extraPeak, peak > tableBytes ? peak - tableBytes : 0);
        if (!outcome.ok || table.rowCount() != kRows) {
            state.SkipWithError("load failed");
        }
    }
    report(state, std::filesystem::file_size(name), extraPeak, cpu);
}

BENCHMARK_CAPTURE(BM_Save, text, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Save, packet, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Load, text, false)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_Load, packet, true)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    sourceTable();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(
        std::filesystem::temp_directory_path() / ("halvern-bench-" + std::to_string(::getpid())),
        ignored);
    return 0;
}
