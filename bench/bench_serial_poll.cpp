// The cost of one poll of the serial driver on a real pseudo-terminal: the poll runs every
// 50 ms on the UI thread, idle or not, so it must cost next to nothing.
#include <benchmark/benchmark.h>

#include <string>

#include "bench/hand_timer.h"
#include "sim/pseudo_terminal.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace {

void BM_IdlePoll(benchmark::State& state) {
    PseudoTerminal pty;
    PortMap map;
    map.setPath(0, pty.devicePath());
    TCommPortDriver driver(std::make_unique<TermiosSerialPort>(), std::make_unique<HandTimer>(),
                           map);
    driver.setComPort(pnCOM1);
    std::int64_t delivered = 0;
    driver.setOnReceiveData(
        [&](TCommPortDriver*, const std::uint8_t*, std::int32_t n) { delivered += n; });
    if (!driver.Connect()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    for (auto _ : state) {
        driver.HandlePollTimer();
    }
    benchmark::DoNotOptimize(delivered);
}
BENCHMARK(BM_IdlePoll);

// Four frames (a full 50 ms batch at the line's top rate) written and polled: write, kernel
// hand-over and the delivery of the batch.
void BM_PollFourFrames(benchmark::State& state) {
    PseudoTerminal pty;
    PortMap map;
    map.setPath(0, pty.devicePath());
    TCommPortDriver driver(std::make_unique<TermiosSerialPort>(), std::make_unique<HandTimer>(),
                           map);
    driver.setComPort(pnCOM1);
    std::int64_t delivered = 0;
    driver.setOnReceiveData(
        [&](TCommPortDriver*, const std::uint8_t*, std::int32_t n) { delivered += n; });
    if (!driver.Connect()) {
        state.SkipWithError("cannot open the pseudo-terminal");
        return;
    }
    std::string batch;
    for (int i = 0; i < 4; ++i) {
        batch += "\x30\x30\x30\x31\x32\x33\x34\x30\x30\x31\x30\r\n";
    }
    for (auto _ : state) {
        pty.writeAll(batch);
        const std::int64_t want = delivered + static_cast<std::int64_t>(batch.size());
        while (delivered < want) {
            driver.HandlePollTimer();
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(batch.size()));
}
BENCHMARK(BM_PollFourFrames);

}  // namespace

BENCHMARK_MAIN();
