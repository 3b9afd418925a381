// What the "HID devices" window adds to each frame of the HID cable while it is shown: the
// history's new lines, the two frame logs, once their 10,000 lines are full (the oldest lines
// leave as new ones come), and the offscreen repaint. Hidden, it adds nothing.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <array>
#include <cstdint>

#include "app/ui/fonts.h"
#include "app/ui/main_window.h"
#include "bench/ui/offscreen_benchmarks.h"
#include "transport/hid/hid_cable_link.h"
#include "transport/hid/ui/hid_devices_window.h"
#include "transport/hid/ui/hid_link.h"

namespace {

// One frame as the cable sends it: 13 bytes in two reports, then a report without meter bytes.
void sendFrame(HidCableLink& link, int n) {
    std::array<std::uint8_t, 8> first{0x07, '0', '0', '0', '1', '2', '3', '4'};
    first[7] = static_cast<std::uint8_t>('0' + n % 10);
    std::array<std::uint8_t, 8> second{0x06, '0', '0', '1', '0', '\r', '\n', 0};
    std::array<std::uint8_t, 8> end{};
    for (const auto* report : {&first, &second, &end}) {
        link.collector().HidReportData(0, report->data(), report->size());
    }
}

void runFrames(benchmark::State& state, bool shown) {
    TFCOMM window;
    window.show();
    HidCableLink& link = *window.hidLink().link();
    if (shown) {
        window.hidLink().showDevicesWindow();
    }
    for (int i = 0; i < 10000; ++i) {
        sendFrame(link, i);
    }
    QCoreApplication::processEvents();
    int n = 0;
    for (auto _ : state) {
        sendFrame(link, n++);
        QCoreApplication::processEvents();
    }
    state.SetItemsProcessed(state.iterations());
}

void BM_HidFrameDevicesWindowShown(benchmark::State& state) {
    runFrames(state, true);
}
BENCHMARK(BM_HidFrameDevicesWindowShown)->Unit(benchmark::kMicrosecond)->Iterations(3000);

void BM_HidFrameDevicesWindowHidden(benchmark::State& state) {
    runFrames(state, false);
}
BENCHMARK(BM_HidFrameDevicesWindowHidden)->Unit(benchmark::kMicrosecond)->Iterations(3000);

}  // namespace

int main(int argc, char** argv) {
    return runOffscreenBenchmarks(argc, argv, installFontSubstitutions);
}
