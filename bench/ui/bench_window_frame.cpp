// The whole per-frame work of the window: decode, LCD, scale face and needle, alarm, bar graph,
// connection indicator, and the offscreen repaint of what changed.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"
#include "app/ui/paint_pacer.h"
#include "app/ui/window_consumer.h"
#include "bench/ui/offscreen_benchmarks.h"
#include "bench/ui/window_frame_load.h"
#include "recording/ui/recording_room.h"

namespace {

void runFrames(benchmark::State& state, bool withTableAndChart, bool withJournal = true) {
    TFCOMM window;
    window.paintPacer().setInterval(0);  // one frame, one repaint
    window.show();
    if (!withJournal) {
        window.recording().recorder().sinks().remove(window.recording().journal());
    }
    QCoreApplication::processEvents();
    SystemClock clock;
    ReadingPipeline windowOnly(window.readingConsumer(), clock, ".");
    ReadingPipeline& pipeline = withTableAndChart ? window.pipeline() : windowOnly;
    const std::vector<std::string> frames = windowFrameLoad(1000);
    std::size_t i = 0;
    for (auto _ : state) {
        pipeline.receive(frames[i]);
        QCoreApplication::processEvents();
        i = (i + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}

// The window's own part: decode, LCD, scale, alarm, bar graph, indicator, repaint.
void BM_WindowFrame(benchmark::State& state) {
    runFrames(state, false);
}
BENCHMARK(BM_WindowFrame)->Unit(benchmark::kMicrosecond);

// The same with the measurement table and the trend chart taking every frame as a row.
void BM_WindowFrameWithTableAndChart(benchmark::State& state) {
    runFrames(state, true);
}
BENCHMARK(BM_WindowFrameWithTableAndChart)->Unit(benchmark::kMicrosecond)->Iterations(2000);

// The same without the recording journal (every recorded row handed to its writer).
void BM_WindowFrameWithTableAndChartNoJournal(benchmark::State& state) {
    runFrames(state, true, false);
}
BENCHMARK(BM_WindowFrameWithTableAndChartNoJournal)
    ->Unit(benchmark::kMicrosecond)
    ->Iterations(2000);

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv, installFontSubstitutions);
}
