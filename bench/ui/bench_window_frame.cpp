// The whole per-frame work of the window: decode, LCD, scale face and needle, alarm, bar graph,
// connection indicator, and the offscreen repaint of what changed.
#include <benchmark/benchmark.h>

#include <QApplication>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"
#include "bench/ui/window_frame_load.h"

namespace {

void BM_WindowFrame(benchmark::State& state) {
    TFCOMM window;
    window.show();
    QCoreApplication::processEvents();
    const std::vector<std::string> frames = windowFrameLoad(1000);
    std::size_t i = 0;
    for (auto _ : state) {
        window.pipeline().receive(frames[i]);
        QCoreApplication::processEvents();
        i = (i + 1) % frames.size();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_WindowFrame)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    installFontSubstitutions();
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
