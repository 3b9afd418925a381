// The cable link bound to the device controller: the Linux backend over a prepared sysfs tree
// with socket-pair nodes, the poll() loop for readers and hot-plug.
#include "transport/hid/hid_link_binding.h"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "meter/clock.h"
#include "meter/frame_decoder.h"
#include "tests/support/fakes/fake_hid.h"
#include "tests/support/fakes/fake_serial_port.h"
#include "tests/support/recording_consumer.h"
#include "transport/loop/event_loop.h"

namespace {

using namespace std::chrono_literals;

class HidLinkBindingTest : public testing::Test {
protected:
    HidLinkBindingTest() {
        tree.plug(fakehid::usbDevice("1-1", "USB Keyboard", 0x046D, 0xC31C,
                                     fakehid::kKeyboardDescriptor));
        first = tree.plug(fakehid::usbDevice("1-2"));
        cable = tree.plug(fakehid::usbDevice("1-3"));
        backend.setHotplug(true);
    }
    // With retry, reconnect is on and the test ticks its timer.
    HidCableBinding& make(ManualTimerLog* retry = nullptr) {
        controller = std::make_unique<TJvHidDeviceController>(backend, loop);
        binding = std::make_unique<HidCableBinding>(*controller, decoder);
        binding->link().releaseUsbCon = [this] { ++usbConReleases; };
        if (retry != nullptr) {
            binding->setReconnect(true, std::make_unique<ManualPollTimer>(*retry));
            binding->onWaitingFor = [this](const std::string& device) { waits.push_back(device); };
        }
        binding->bind();
        return *binding;
    }
    // Pulls the cable out after the first report of a frame.
    void unplugMidFrame() {
        backend.report(tree.node(cable), {0x07, '0', '0', '0', '1', '2', '3', '4'});
        loop.runOnce(50);
        backend.hangUp(tree.node(cable));
        tree.unplug(cable);
    }
    template <typename Done>
    void pumpUntil(Done done, std::chrono::milliseconds limit = 2000ms) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done() && std::chrono::steady_clock::now() < end) {
            loop.runOnce(10);
        }
    }
    // Sends the reports of frame "A00012340010D": 13 bytes in two reports, then an empty one.
    void sendFrame(const std::string& node) {
        backend.report(node, {0x07, '0', '0', '0', '1', '2', '3', '4'});
        backend.report(node, {0x06, '0', '0', '1', '0', '\r', '\n', 0});
        backend.report(node, {0x00, 0, 0, 0, 0, 0, 0, 0});
    }

    fakehid::Tree tree;
    fakehid::Backend backend{tree};
    std::unique_ptr<HeadlessEventLoop> loopOwned = createHeadlessEventLoop();
    HeadlessEventLoop& loop = *loopOwned;
    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    ManualTimerLog retry;  // the reconnect's timer; it outlives the binding
    std::unique_ptr<TJvHidDeviceController> controller;
    std::unique_ptr<HidCableBinding> binding;
    std::string first;
    std::string cable;
    int usbConReleases = 0;
    std::vector<std::string> waits;
};

TEST_F(HidLinkBindingTest, BindingListsChecksOutAndSelectsTheLastCableAtOnce) {
    HidCableBinding& b = make();
    const HidCableLink& link = b.link();
    ASSERT_EQ(link.entries().size(), 3u);
    EXPECT_EQ(link.entries()[0].caption, "USB Keyboard");
    EXPECT_EQ(link.selectedIndex(), 2);
    for (int i = 0; i < controller->Count(); ++i) {
        TJvHidDevice& d = controller->Device(i);
        EXPECT_TRUE(d.CheckedOut()) << i;
        // Bound after the first pass, the error handler still reached the listed devices.
        EXPECT_TRUE(static_cast<bool>(d.DataErrorHandler())) << i;
        EXPECT_EQ(HidCableBinding::jvDevice(link.entries()[static_cast<std::size_t>(i)]), &d);
    }
    EXPECT_EQ(backend.opens(), 0) << "listing opens no device";
}

TEST_F(HidLinkBindingTest, HidConnectReadsTheSelectedCableAndTheTapSeesEveryReport) {
    HidCableBinding& b = make();
    std::vector<std::vector<std::uint8_t>> tapped;
    b.onReport = [&](std::uint8_t id, const std::uint8_t* data, std::size_t size) {
        std::vector<std::uint8_t> r{id};
        r.insert(r.end(), data, data + size);
        tapped.push_back(r);
    };
    b.link().USBConClick(true);
    ASSERT_EQ(backend.features.size(), 1u);
    EXPECT_EQ(backend.features[0].node, tree.node(cable));
    EXPECT_EQ(
        backend.features[0].bytes,
        std::vector<std::uint8_t>(HidCableLink::kFeatureReport, HidCableLink::kFeatureReport + 10));
    sendFrame(tree.node(first));  // not the selected cable: nobody reads it
    sendFrame(tree.node(cable));
    pumpUntil([&] { return consumer.frameTexts.size() == 1; });
    ASSERT_EQ(consumer.frameTexts, std::vector<std::string>{"A00012340010D"});
    ASSERT_EQ(tapped.size(), 3u);
    EXPECT_EQ(tapped[0], (std::vector<std::uint8_t>{0, 0x07, '0', '0', '0', '1', '2', '3', '4'}));
}

TEST_F(HidLinkBindingTest, AHotPlugPassStopsReadingAndNoReleasedDeviceReadsOn) {
    HidCableBinding& b = make();
    b.link().USBConClick(true);
    ASSERT_TRUE(controller->Device(2).Reading());
    tree.plug(fakehid::usbDevice("1-4", "Mouse", 0x046D, 0xC077, fakehid::kKeyboardDescriptor));
    backend.notify();
    pumpUntil([&] { return b.link().entries().size() == 4; });
    ASSERT_EQ(b.link().entries().size(), 4u);
    EXPECT_EQ(b.link().history().last(), "Arrival of Mouse");
    EXPECT_EQ(usbConReleases, 1);
    EXPECT_EQ(b.link().reader(), HidCableLink::Reader::None);
    // Every device was checked in and out again: none carries the link's old handler.
    for (int i = 0; i < controller->Count(); ++i) {
        EXPECT_FALSE(controller->Device(i).Reading()) << i;
        EXPECT_FALSE(static_cast<bool>(controller->Device(i).DataHandler())) << i;
    }
    sendFrame(tree.node(cable));
    loop.runOnce(50);
    EXPECT_TRUE(consumer.frameTexts.empty());

    // Unplugged while reading: one error line, then the removal in the pass.
    b.link().USBConClick(true);
    ASSERT_TRUE(controller->Device(2).Reading());
    backend.hangUp(tree.node(cable));
    tree.unplug(cable);
    backend.notify();
    pumpUntil([&] { return b.link().entries().size() == 3; });
    EXPECT_EQ(b.link().history().last(), "Removal of USB to Serial");
    EXPECT_EQ(b.link().history().line(b.link().history().size() - 2).substr(0, 12), "READ ERROR: ");
    EXPECT_EQ(b.link().selectedIndex(), 1);
    EXPECT_EQ(b.link().currentDevice(), nullptr);
}

TEST_F(HidLinkBindingTest, TheControllerOutlivesTheBindingSafely) {
    make();
    binding->link().USBConClick(true);
    binding.reset();
    // Every device is back with the controller, reading nothing; a later pass finds no handler
    // of the binding's.
    for (int i = 0; i < controller->Count(); ++i) {
        EXPECT_FALSE(controller->Device(i).CheckedOut()) << i;
        EXPECT_FALSE(controller->Device(i).Reading()) << i;
    }
    tree.unplug(first);
    controller->DeviceChange();
    EXPECT_EQ(controller->Count(), 2);
    EXPECT_EQ(backend.openDescriptors(), 0u);
}

// Reconnect on the system's notices: the cable's reader stops, the removal's pass leaves the
// link waiting with "HID Connect" down, the arrival's pass reads the new node; the retry timer
// runs no pass of its own meanwhile.
TEST_F(HidLinkBindingTest, ReconnectReadsTheCableAgainWhenAHotPlugNoticeListsIt) {
    tree.unplug(first);  // one cable: while it is away, no other is chosen
    HidCableBinding& b = make(&retry);
    ASSERT_TRUE(controller->HotPlugActive());
    b.link().USBConClick(true);
    sendFrame(tree.node(cable));
    pumpUntil([&] { return consumer.frameTexts.size() == 1; });

    unplugMidFrame();
    pumpUntil([&] { return !waits.empty(); });
    EXPECT_EQ(waits, std::vector<std::string>{tree.node(cable)});
    EXPECT_TRUE(retry.active);
    backend.notify();
    pumpUntil([&] { return b.link().entries().size() == 1; });
    EXPECT_EQ(b.link().history().last(), "Removal of USB to Serial");
    EXPECT_TRUE(b.link().waiting());
    EXPECT_EQ(usbConReleases, 0);
    const int passes = backend.enumerations();
    retry.onTick();
    EXPECT_EQ(backend.enumerations(), passes) << "a pass beside the notices";

    const std::string again = tree.plug(fakehid::usbDevice("1-3"));
    backend.notify();
    pumpUntil([&] { return !b.link().waiting(); });
    EXPECT_EQ(waits, (std::vector<std::string>{tree.node(cable), ""}));
    EXPECT_FALSE(retry.active);
    EXPECT_EQ(backend.features.back().node, tree.node(again));
    sendFrame(tree.node(again));
    pumpUntil([&] { return consumer.frameTexts.size() == 2; });
    // The frame the unplug cut is dropped.
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00012340010D", "A00012340010D"}));
    EXPECT_EQ(usbConReleases, 0);
}

// Without notices (a prepared tree) the waiting link's retry runs one pass a second, no more.
TEST_F(HidLinkBindingTest, WithoutHotPlugTheRetryRunsOnePassASecondUntilTheCableIsBack) {
    backend.setHotplug(false);
    tree.unplug(first);
    HidCableBinding& b = make(&retry);
    ASSERT_FALSE(controller->HotPlugActive());
    b.link().USBConClick(true);
    unplugMidFrame();
    pumpUntil([&] { return b.link().waiting(); });
    ASSERT_TRUE(retry.active);
    EXPECT_TRUE(retry.periodic);
    EXPECT_EQ(retry.interval, 1000u);

    const int passes = backend.enumerations();
    retry.onTick();
    EXPECT_EQ(backend.enumerations(), passes + 1);
    EXPECT_EQ(b.link().history().last(), "Removal of USB to Serial");
    retry.onTick();
    EXPECT_EQ(backend.enumerations(), passes + 2);
    EXPECT_TRUE(b.link().waiting());

    const std::string again = tree.plug(fakehid::usbDevice("1-3"));
    retry.onTick();
    EXPECT_EQ(backend.enumerations(), passes + 3);
    EXPECT_FALSE(b.link().waiting());
    EXPECT_FALSE(retry.active);
    sendFrame(tree.node(again));
    pumpUntil([&] { return consumer.frameTexts.size() == 1; });
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"A00012340010D"});
    EXPECT_EQ(usbConReleases, 0);
}

}  // namespace
