// Frames per second through the reading pipeline (assembly + decoding + recording step, no
// window), and heap allocations per frame once warm, which must be 0.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <string>

#include "bench/allocation_counter.h"
#include "bench/capture.h"
#include "meter/reading_pipeline.h"
#include "recording/recorder.h"
#include "recording/table_store.h"

namespace {

// The window's consumers are left out.
class NoConsumer : public ReadingConsumer {
public:
    bool recordReading(const CurrentReading&) override { return true; }
};

constexpr std::size_t kFrames = 10000;
constexpr std::size_t kRounds = 100;

const std::string& capture() {
    static const std::string bytes = makeCapture(kFrames);
    return bytes;
}

void feed(ReadingPipeline& pipeline, const std::string& bytes) {
    std::size_t batch = 0;
    for (std::size_t at = 0; at < bytes.size(); ++batch) {
        std::size_t n = pollBatchSize(batch);
        if (n > bytes.size() - at) {
            n = bytes.size() - at;
        }
        pipeline.receive(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), n);
        at += n;
    }
}

// Assembly, decoding and the recording step: every reading becomes a row (Repeat on, no record
// limit). The table has room for every round, so a warm pipeline appends without allocating.
void BM_Pipeline(benchmark::State& state) {
    const std::string& bytes = capture();
    FixedClock clock(LocalDateTime{2026, 12, 9, 23, 0, 0});
    TableStore table;
    table.reserve(kFrames * (kRounds + 1));
    Recorder recorder(table, clock);
    recorder.selectRecordLimit(RecordLimitItem::limitess);
    RecorderConsumer consumer(recorder);
    ReadingPipeline pipeline(consumer, clock, ".");
    feed(pipeline, bytes);  // warm up

    // The counter must see an allocation, or a zero below would mean nothing.
    const std::size_t probe = g_allocations.load();
    auto* p = new int(1);
    benchmark::DoNotOptimize(p);
    delete p;
    if (g_allocations.load() == probe) {
        state.SkipWithError("the allocation counter does not count");
    }

    const std::size_t before = g_allocations.load();
    std::size_t frames = 0;
    for (auto _ : state) {
        feed(pipeline, bytes);
        frames += kFrames;
    }
    if (table.rowCount() != kFrames * (state.iterations() + 1)) {
        state.SkipWithError("not every reading was recorded");
    }
    const std::size_t allocations = g_allocations.load() - before;
    state.counters["frames/s"] =
        benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsRate);
    state.counters["allocs/frame"] =
        frames == 0 ? 0.0 : static_cast<double>(allocations) / static_cast<double>(frames);
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * bytes.size()));
}
BENCHMARK(BM_Pipeline)->Unit(benchmark::kMillisecond)->Iterations(kRounds);

void BM_DecodeFrame(benchmark::State& state) {
    NoConsumer consumer;
    FixedClock clock;
    ReadingPipeline pipeline(consumer, clock, ".");
    static constexpr std::string_view kFrames[] = {
        "A00012340010D", "A20211110010D", "A22104700008D", "A11002150000D", "A00112340510D"};
    std::size_t i = 0;
    const std::size_t before = g_allocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(pipeline.decodeFrame(kFrames[i++ % 5]));
    }
    state.counters["allocs/frame"] = static_cast<double>(g_allocations.load() - before) /
                                     static_cast<double>(state.iterations());
}
BENCHMARK(BM_DecodeFrame);

}  // namespace

BENCHMARK_MAIN();
