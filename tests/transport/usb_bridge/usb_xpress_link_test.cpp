// The USB bridge link through the fake interface: start and end steps, the tick, and what a
// user sees when something goes wrong.
#include "transport/usb_bridge/usb_xpress_link.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/fakes/fake_serial_port.h"
#include "tests/support/fakes/fake_usb_xpress.h"
#include "tests/support/recording_consumer.h"

namespace {

class UsbLinkTest : public ::testing::Test {
protected:
    UsbLinkTest()
        : link(std::make_unique<FakeUsbXpress>(usb), std::make_unique<ManualPollTimer>(timer),
               decoder) {}

    std::string takeCalls() {
        std::string joined;
        for (const std::string& c : usb.calls) {
            joined += (joined.empty() ? "" : ", ") + c;
        }
        usb.calls.clear();
        return joined;
    }
    void ticks(int n) {
        for (int i = 0; i < n && timer.active; ++i) {
            timer.onTick();
        }
    }

    FakeUsbLog usb;
    ManualTimerLog timer;
    ManualTimerLog retry;  // a wait's timer; it outlives the link that ends the wait
    RecordingConsumer consumer;
    FixedClock clock;
    FrameDecoder decoder{consumer, clock, "."};
    UsbXpressLink link;
};

struct StartCase {
    const char* name;
    std::uint32_t devices;
    bool refuseOpen;
    bool refuseBaudRate;
    std::string startCalls;
    std::string status;
    std::string endCalls;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const StartCase& c, std::ostream* os) {
    *os << c.name;
}

class UsbLinkStartCases : public UsbLinkTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(UsbLinkStartCases, StartAndEndStepsAndTheStatusShown) {
    const StartCase& c = GetParam();
    usb.devices = c.devices;
    usb.refuseOpen = c.refuseOpen;
    usb.refuseBaudRate = c.refuseBaudRate;
    link.USBClick(true);
    EXPECT_EQ(takeCalls(), c.startCalls);
    EXPECT_TRUE(timer.active) << "Timer1 runs whatever the open found";
    EXPECT_EQ(timer.interval, 10u);
    EXPECT_EQ(link.statusText(), c.status);
    usb.input = "00012340010\r\n";
    ticks(20);
    EXPECT_EQ(consumer.frameTexts.size(), link.holdsDevice() ? 1u : 0u);
    usb.calls.clear();
    link.USBClick(false);
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(takeCalls(), c.endCalls);
    EXPECT_EQ(link.statusText(), "");
    EXPECT_TRUE(usb.open.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UsbLinkStartCases,
    ::testing::Values(
        StartCase{"OneBridge", 1, false, false,
                  "GetNumDevices, Open 0, SetBaudRate 1 9600, SetTimeouts 500 500", "/dev/ttyUSB0",
                  "Close 1"},
        StartCase{"NoBridge", 0, false, false, "GetNumDevices", "no USB bridge found", ""},
        StartCase{"TwoBridges", 2, false, false, "GetNumDevices", "2 USB bridges found", ""},
        StartCase{"OpenRefused", 1, true, false, "GetNumDevices, Open 0",
                  "/dev/ttyUSB0: Permission denied", ""},
        StartCase{"SpeedRefusedSkipsTheTimeouts", 1, false, true,
                  "GetNumDevices, Open 0, SetBaudRate 1 9600",
                  "/dev/ttyUSB0: the speed could not be set", "Close 1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(UsbLinkTest, OneByteATickAndAFlushAfterEveryFrame) {
    link.start();
    usb.calls.clear();
    usb.input =
        "00012340010\r\n"
        "00043210010\r\n";
    ticks(12);
    EXPECT_TRUE(consumer.frameTexts.empty());
    EXPECT_EQ(usb.input.size(), 14u) << "one byte per tick";
    ticks(1);
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"A00012340010D"});
    // The flush after the frame discarded what the bridge held: the second frame is gone.
    EXPECT_EQ(usb.flushes, 1);
    EXPECT_TRUE(usb.input.empty());
    ticks(5);  // silent ticks: reads fail, nothing changes
    EXPECT_EQ(link.assembler().UsbFramePos(), 0);
    EXPECT_EQ(usb.flushes, 1);
}

TEST_F(UsbLinkTest, TheMetersNibblesAToFDecodeAsOnTheOtherLinks) {
    link.start();
    // High voltage with minus (":"-"?" byte "<" as 9th), then HOLD, MAX and Auto ("=" as 10th).
    const struct {
        const char* bytes;
        const char* text;
    } frames[] = {{"00012340<10\r\n", "A00012340C10D"}, {"000123400=0\r\n", "A000123400D0D"}};
    for (const auto& f : frames) {
        SCOPED_TRACE(f.text);
        usb.input = f.bytes;
        ticks(13);
        ASSERT_FALSE(consumer.frameTexts.empty());
        EXPECT_EQ(consumer.frameTexts.back(), f.text);
        EXPECT_TRUE(consumer.messages.empty()) << consumer.messages.front();
    }
    EXPECT_EQ(consumer.recorded, 2);
    EXPECT_TRUE(decoder.lcdState().isLit(LcdElement::LCDHold));
    EXPECT_TRUE(decoder.lcdState().isLit(LcdElement::Labmax));
}

TEST_F(UsbLinkTest, ASecondStartKeepsTheHeldHandleAndTheReleaseClosesIt) {
    link.USBClick(true);
    usb.input = "0001234";
    ticks(7);
    // "COM Connect" released the button without ending the link; "USB Connect " again.
    usb.calls.clear();
    link.USBClick(true);
    EXPECT_EQ(takeCalls(), "GetNumDevices, Open 0") << "refused: the device is held already";
    EXPECT_TRUE(link.holdsDevice());
    EXPECT_EQ(link.statusText(), "/dev/ttyUSB0");
    usb.input = "0010\r\n";
    ticks(6);
    EXPECT_EQ(consumer.frameTexts, std::vector<std::string>{"A00012340010D"})
        << "bytes before and after the second start form one frame";
    // The same after the bridge vanished from the list: the held handle still closes.
    usb.devices = 0;
    link.USBClick(true);
    EXPECT_TRUE(link.holdsDevice());
    usb.calls.clear();
    link.USBClick(false);
    EXPECT_EQ(takeCalls(), "Close 1");
    EXPECT_TRUE(usb.open.empty());
}

TEST_F(UsbLinkTest, AnUnpluggedBridgeFailsItsReadsUntilThePressAfterReplugging) {
    int lost = 0;
    link.onDeviceLost = [&] { ++lost; };
    link.USBClick(true);
    usb.input = "00012";
    ticks(5);
    usb.gone = true;
    ticks(50);
    EXPECT_EQ(lost, 1) << "told once";
    EXPECT_EQ(link.statusText(), "/dev/ttyUSB0: the USB bridge went away");
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(link.assembler().UsbFramePos(), 5);
    // Replugged: release and press again.
    link.USBClick(false);
    usb.gone = false;
    link.USBClick(true);
    EXPECT_EQ(link.statusText(), "/dev/ttyUSB0");
    usb.input =
        "340010\r\n"
        "00043210010\r\n";
    ticks(30);
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00012340010D"}))
        << "bytes of the unfinished frame stay at their positions";
}

// With a wait, a lost bridge is released and waited for: Timer1 rests, the wait's timer tries
// once a second, and the same device is opened and read again where the kernel lists it now.
TEST_F(UsbLinkTest, ALostBridgeIsWaitedForWithTimer1AtRestAndReadAgainWhenBack) {
    link.setDeviceWait(std::make_unique<DeviceWait>(std::make_unique<ManualPollTimer>(retry)));
    std::vector<std::string> waits;
    int lost = 0;
    link.onWaitingFor = [&](const std::string& device) { waits.push_back(device); };
    link.onDeviceLost = [&] { ++lost; };
    usb.identities = {{kBridgeVendorId, kBridgeProductId, "0001A7", "1-2"}};
    link.USBClick(true);
    ASSERT_TRUE(link.holdsDevice());
    usb.input = "00012";
    ticks(5);
    usb.gone = true;
    ticks(1);
    EXPECT_TRUE(link.waiting());
    EXPECT_FALSE(timer.active) << "Timer1 ticks while there is nothing to read";
    EXPECT_TRUE(retry.active);
    EXPECT_TRUE(retry.periodic);
    EXPECT_GE(retry.interval, 1000u) << "tried more often than once a second";
    EXPECT_TRUE(usb.open.empty()) << "the dead handle is held";
    EXPECT_EQ(waits, (std::vector<std::string>{"/dev/ttyUSB0"}));
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(link.statusText(), "/dev/ttyUSB0: the USB bridge went away");
    EXPECT_EQ(link.assembler().UsbFramePos(), 0) << "the cut frame was kept";

    // Not back yet: nothing to open.
    usb.gone = false;
    usb.devices = 0;
    takeCalls();
    retry.onTick();
    EXPECT_EQ(takeCalls(), "GetNumDevices");
    EXPECT_TRUE(link.waiting());
    // Back as the second of two bridges (another one took the first place): that one opens.
    usb.devices = 2;
    usb.identities = {{kBridgeVendorId, kBridgeProductId, "0002B9", "1-2"},
                      {kBridgeVendorId, kBridgeProductId, "0001A7", "1-5"}};
    retry.onTick();
    EXPECT_EQ(takeCalls(), "GetNumDevices, Open 1, SetBaudRate 2 9600, SetTimeouts 500 500");
    EXPECT_FALSE(link.waiting());
    EXPECT_FALSE(retry.active);
    EXPECT_TRUE(timer.active);
    EXPECT_TRUE(link.holdsDevice());
    EXPECT_EQ(link.statusText(), "/dev/ttyUSB1");
    EXPECT_EQ(waits, (std::vector<std::string>{"/dev/ttyUSB0", ""}));
    usb.input = "00043210010\r\n";
    ticks(13);
    EXPECT_EQ(consumer.frameTexts, (std::vector<std::string>{"A00043210010D"}));

    // Released while waiting: the wait ends, and is told so.
    usb.gone = true;
    ticks(1);
    ASSERT_TRUE(link.waiting());
    link.USBClick(false);
    EXPECT_FALSE(link.waiting());
    EXPECT_FALSE(retry.active);
    EXPECT_EQ(waits.back(), "");
    EXPECT_EQ(waits.size(), 4u);
}

// Which attached bridge counts as the one that went away.
TEST(UsbLinkReconnect, TheSameDeviceIsFoundBySerialNumberOrWithoutOneByItsPort) {
    struct Case {
        const char* what;
        UsbDeviceIdentity lost;
        UsbDeviceIdentity found;
        bool opened;
    };
    const std::uint16_t v = kBridgeVendorId;
    const std::uint16_t p = kBridgeProductId;
    const std::vector<Case> cases = {
        {"its serial number in another port", {v, p, "A1", "1-2"}, {v, p, "A1", "1-4.1"}, true},
        {"another serial number in its port", {v, p, "A1", "1-2"}, {v, p, "B2", "1-2"}, false},
        {"no serial number, its port", {v, p, "", "1-2"}, {v, p, "", "1-2"}, true},
        {"no serial number, another port", {v, p, "", "1-2"}, {v, p, "", "1-3"}, false},
        {"a serial number now, its port", {v, p, "", "1-2"}, {v, p, "A1", "1-2"}, false},
        {"other ids, its serial number", {v, p, "A1", "1-2"}, {v, 0xEA60, "A1", "1-2"}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakeUsbLog usb;
        ManualTimerLog timer;
        ManualTimerLog retry;
        RecordingConsumer consumer;
        FixedClock clock;
        FrameDecoder decoder{consumer, clock, "."};
        UsbXpressLink link(std::make_unique<FakeUsbXpress>(usb),
                           std::make_unique<ManualPollTimer>(timer), decoder);
        link.setDeviceWait(std::make_unique<DeviceWait>(std::make_unique<ManualPollTimer>(retry)));
        usb.identities = {c.lost};
        link.start();
        ASSERT_TRUE(link.holdsDevice());
        usb.gone = true;
        timer.onTick();
        ASSERT_TRUE(link.waiting());
        usb.gone = false;
        usb.identities = {c.found};
        retry.onTick();
        EXPECT_EQ(link.holdsDevice(), c.opened);
        EXPECT_EQ(link.waiting(), !c.opened);
    }
}

TEST_F(UsbLinkTest, ExitStopsTheTimerOnlyAndTheLinkClosesWhenDestroyed) {
    {
        UsbXpressLink other(std::make_unique<FakeUsbXpress>(usb),
                            std::make_unique<ManualPollTimer>(timer), decoder);
        other.USBClick(true);
        other.stopTimer();
        EXPECT_FALSE(timer.active);
        EXPECT_EQ(usb.open.size(), 1u);
    }
    EXPECT_TRUE(usb.open.empty());
}

}  // namespace
