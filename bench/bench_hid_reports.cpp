// The HID cable link's work per input report, through the link's installed handler with its
// logs, once warm (the logs full): what one report costs on the UI thread, and that it
// allocates nothing.
#include <benchmark/benchmark.h>

#include <atomic>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "bench/allocation_counter.h"
#include "meter/clock.h"
#include "transport/hid/hid_cable_link.h"

namespace {

class Cable final : public HidLinkDevice {
public:
    DataHandler handler;
    std::string productText() override { return "USB to Serial"; }
    std::string serialText() override { return ""; }
    std::uint16_t vendorId() const override { return 0x1A86; }
    std::uint16_t productId() const override { return 0xE008; }
    bool readWriteAccess() const override { return true; }
    std::string node() const override { return "/dev/hidraw0"; }
    bool sendFeature(const std::uint8_t*, std::size_t) override { return true; }
    void setDataHandler(DataHandler h) override { handler = std::move(h); }
    bool reading() const override { return static_cast<bool>(handler); }
};

class OneCable final : public HidLinkController {
public:
    HidCableLink* link = nullptr;
    Cable* cable = nullptr;
    void enumerateDevices() override {
        Cable view;
        link->HidCtlEnumerate(view, 0);
    }
    std::unique_ptr<HidLinkDevice> checkOutAt(int) override {
        auto device = std::make_unique<Cable>();
        cable = device.get();
        return device;
    }
};

// One frame as the cable sends it: data, CR, LF in reports of 8 payload bytes (count and up
// to 7 meter bytes), then a report without meter bytes.
std::vector<std::vector<std::uint8_t>> frameReports() {
    const std::vector<std::uint8_t> bytes = {0x30, 0x30, 0x30, 0x31, 0x32, 0x33, 0x34,
                                             0x30, 0x30, 0x31, 0x30, 0x0D, 0x0A};
    std::vector<std::vector<std::uint8_t>> reports;
    for (std::size_t i = 0; i < bytes.size(); i += 7) {
        std::vector<std::uint8_t> report(8, 0);
        const std::size_t n = bytes.size() - i < 7 ? bytes.size() - i : 7;
        report[0] = static_cast<std::uint8_t>(n);
        std::copy(bytes.begin() + static_cast<long>(i), bytes.begin() + static_cast<long>(i + n),
                  report.begin() + 1);
        reports.push_back(report);
    }
    reports.push_back(std::vector<std::uint8_t>(8, 0));
    return reports;
}

void BM_HidReportThroughTheLink(benchmark::State& state) {
    ReadingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder(consumer, clock, ".");
    OneCable controller;
    HidCableLink link(controller, decoder);
    controller.link = &link;
    link.HidCtlDeviceChange();
    link.USBConClick(true);
    const auto reports = frameReports();
    auto deliver = [&] {
        for (const auto& r : reports) {
            controller.cable->handler(0, r.data(), r.size());
        }
    };
    // Warm: every log full, every line's storage as long as it gets.
    for (int i = 0; i < 2 * 10000; ++i) {
        deliver();
    }
    const std::size_t before = g_allocations.load();
    std::int64_t frames = 0;
    for (auto _ : state) {
        deliver();
        ++frames;
    }
    const std::size_t allocations = g_allocations.load() - before;
    state.SetItemsProcessed(frames * static_cast<std::int64_t>(reports.size()));
    state.counters["allocations_per_report"] = benchmark::Counter(
        static_cast<double>(allocations) / static_cast<double>(frames * reports.size()));
    state.counters["ns_per_report"] =
        benchmark::Counter(static_cast<double>(frames * reports.size()),
                           benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_HidReportThroughTheLink);

}  // namespace

BENCHMARK_MAIN();
