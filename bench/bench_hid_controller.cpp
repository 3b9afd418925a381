// The HID controller's own costs: one input report from the node to the handler, and one
// device-change pass over a machine's worth of HID devices (every hot-plug notice runs one).
#include <benchmark/benchmark.h>

#include <string>

#include "tests/support/fakes/fake_hid.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/loop/event_loop.h"

namespace {

void BM_ReportToHandler(benchmark::State& state) {
    fakehid::Tree tree;
    const std::string cable = tree.plug(fakehid::usbDevice("1-2"));
    fakehid::Backend backend(tree);
    const auto loopOwned = createHeadlessEventLoop();
    HeadlessEventLoop& loop = *loopOwned;
    TJvHidDeviceController controller(backend, loop);
    TJvHidDevicePtr dev;
    controller.CheckOutByIndex(dev, 0);
    std::int64_t delivered = 0;
    dev->SetDataHandler([&](TJvHidDevice&, std::uint8_t, const std::uint8_t* data, std::uint16_t) {
        delivered += data[0];
    });
    const std::string node = tree.node(cable);
    for (auto _ : state) {
        backend.report(node, {0x03, 0x31, 0x32, 0x33});
        loop.runOnce(0);
    }
    if (delivered != 3 * static_cast<std::int64_t>(state.iterations())) {
        state.SkipWithError("reports were lost");
    }
}
BENCHMARK(BM_ReportToHandler);

void BM_DeviceChangePass(benchmark::State& state) {
    fakehid::Tree tree;
    for (int i = 0; i < state.range(0); ++i) {
        tree.plug(fakehid::usbDevice("1-" + std::to_string(i + 1), "Device",
                                     static_cast<std::uint16_t>(0x1000 + i), 0x0001,
                                     fakehid::kKeyboardDescriptor));
    }
    fakehid::Backend backend(tree);
    const auto loopOwned = createHeadlessEventLoop();
    HeadlessEventLoop& loop = *loopOwned;
    TJvHidDeviceController controller(backend, loop);
    for (auto _ : state) {
        controller.DeviceChange();
    }
    state.counters["devices"] = controller.Count();
}
BENCHMARK(BM_DeviceChangePass)->Arg(4)->Arg(16)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
