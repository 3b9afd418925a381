// The cost of Timer1's tick on a real pseudo-terminal: the tick runs every 10 ms on the UI
// thread while "USB Connect " is down, silent meter or not, so it must cost next to nothing.
#include <benchmark/benchmark.h>

#include "bench/usb_link_fixture.h"

namespace {

// A silent meter: the read finds nothing and fails at once.
void BM_IdleTick(benchmark::State& state) {
    UsbLinkFixture f;
    if (!f.ok()) {
        state.SkipWithError("cannot open the bridge's pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        f.link->Timer1Timer();
    }
}
BENCHMARK(BM_IdleTick);

// A whole frame: 13 ticks that take one byte each, the decode and the flush after the frame
// (the kernel's hand-over of the written frame is outside the timing).
void BM_FrameTicks(benchmark::State& state) {
    UsbLinkFixture f;
    if (!f.ok()) {
        state.SkipWithError("cannot open the bridge's pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        state.PauseTiming();
        f.sendFrame();
        state.ResumeTiming();
        for (int i = 0; i < 13; ++i) {
            f.link->Timer1Timer();
        }
    }
    state.counters["ticks"] = benchmark::Counter(static_cast<double>(state.iterations()) * 13,
                                                 benchmark::Counter::kIsRate);
}
BENCHMARK(BM_FrameTicks);

}  // namespace

BENCHMARK_MAIN();
