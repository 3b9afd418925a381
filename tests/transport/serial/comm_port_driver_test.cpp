// The serial port driver against an in-memory port: the order of the platform calls, the
// property rules, the poll and Send.
#include "transport/serial/comm_port_driver.h"

#include <gtest/gtest.h>

#include "tests/support/fakes/fake_serial_port.h"

namespace {

struct Batch {
    TCommPortDriver* sender;
    std::string bytes;
};

class DriverTest : public ::testing::Test {
protected:
    DriverTest()
        : driver(std::make_unique<FakeSerialPort>(port), std::make_unique<ManualPollTimer>(timer),
                 PortMap(), [this] { return now; }) {
        driver.setOnReceiveData([this](TCommPortDriver* s, const std::uint8_t* p, std::int32_t n) {
            batches.push_back({s, std::string(reinterpret_cast<const char*>(p), n)});
        });
    }
    void tick() {
        ASSERT_TRUE(timer.active) << "poll timer not running";
        timer.onTick();
    }

    FakePortLog port;
    ManualTimerLog timer;
    ManualTimerLog retry;  // a wait's timer; it outlives the driver that ends the wait
    std::uint32_t now = 1000;
    TCommPortDriver driver;
    std::vector<Batch> batches;
};

TEST_F(DriverTest, ConnectOpensOnceWithTheFixedSequence) {
    driver.setComPort(pnCOM1);
    driver.setComPortDataBits(db7BITS);
    EXPECT_TRUE(port.calls.empty()) << "a setting applied while closed touched the port";

    EXPECT_TRUE(driver.Connect());
    EXPECT_TRUE(driver.Connect());  // already open: changes nothing
    EXPECT_TRUE(driver.Connected());
    const std::vector<std::string> expected = {"open /dev/ttyS0", "setState", "purge 15",
                                               "setupQueues 2048 2048", "setTimeouts"};
    EXPECT_EQ(port.calls, expected);
    EXPECT_EQ(port.timeouts.at(0), (CommTimeouts{1, 0, 1, 0, 0}));
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(timer.interval, 50u);
    EXPECT_EQ(timer.starts, 1);

    // The meter's line: 9600 bit/s, 7N1, DTR on, RTS off, no flow control.
    const CommState& s = port.states.at(0);
    EXPECT_EQ(s.baudRate, 9600u);
    EXPECT_EQ(s.byteSize, 7);
    EXPECT_EQ(s.parity, 0);
    EXPECT_EQ(s.stopBits, 0);
    EXPECT_TRUE(s.binary);
    EXPECT_FALSE(s.parityCheck);
    EXPECT_EQ(s.dtrControl, 1);
    EXPECT_EQ(s.rtsControl, 0);
    EXPECT_FALSE(s.outxCtsFlow || s.outX || s.inX);
    EXPECT_EQ(s.xonLim, 512);
    EXPECT_EQ(s.xoffLim, 1);
}

TEST_F(DriverTest, FailedOpenLeavesTheDriverClosedAndSilent) {
    port.refuseOpen = true;
    EXPECT_FALSE(driver.Connect());
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(port.calls, std::vector<std::string>{"open /dev/ttyS1"});  // default COM2
    port.refuseOpen = false;
    EXPECT_TRUE(driver.Connect());  // a later attempt opens
}

TEST(CommStateTest, SettingsMapToTheLineState) {
    struct Case {
        const char* name;
        std::function<void(TCommPortDriver&)> set;
        std::function<bool(const CommState&)> holds;
    };
    const std::vector<Case> cases = {
        {"110 bit/s", [](auto& d) { d.setComPortSpeed(br110); },
         [](auto& s) { return s.baudRate == 110; }},
        {"14400 bit/s", [](auto& d) { d.setComPortSpeed(br14400); },
         [](auto& s) { return s.baudRate == 14400; }},
        {"115200 bit/s", [](auto& d) { d.setComPortSpeed(br115200); },
         [](auto& s) { return s.baudRate == 115200; }},
        {"5 bits", [](auto& d) { d.setComPortDataBits(db5BITS); },
         [](auto& s) { return s.byteSize == 5; }},
        {"8 bits", [](auto& d) { d.setComPortDataBits(db8BITS); },
         [](auto& s) { return s.byteSize == 8; }},
        {"space parity", [](auto& d) { d.setComPortParity(ptSPACE); },
         [](auto& s) { return s.parity == 4 && !s.parityCheck; }},
        {"1.5 stop bits", [](auto& d) { d.setComPortStopBits(sb1HALFBITS); },
         [](auto& s) { return s.stopBits == 1; }},
        {"RTS/CTS", [](auto& d) { d.setComPortHwHandshaking(hhRTSCTS); },
         [](auto& s) { return s.outxCtsFlow && s.rtsControl == 2; }},
        {"XON/XOFF", [](auto& d) { d.setComPortSwHandshaking(shXONXOFF); },
         [](auto& s) { return s.outX && s.inX && s.xonChar == 0; }},
        {"DTR off", [](auto& d) { d.setEnableDTROnOpen(false); },
         [](auto& s) { return s.dtrControl == 0; }},
        {"in buffer 100", [](auto& d) { d.setComPortInBufSize(100); },
         [](auto& s) { return s.xonLim == 25 && s.xoffLim == 1; }},
    };
    for (const Case& c : cases) {
        FakePortLog port;
        ManualTimerLog timer;
        TCommPortDriver d(std::make_unique<FakeSerialPort>(port),
                          std::make_unique<ManualPollTimer>(timer));
        c.set(d);
        ASSERT_TRUE(d.Connect());
        EXPECT_TRUE(c.holds(port.states.back())) << c.name;
    }
}

TEST_F(DriverTest, PollDeliversAtMostTheBufferSizeAndNothingWhenEmpty) {
    driver.setComPortInBufSize(16);
    ASSERT_TRUE(driver.Connect());
    tick();
    EXPECT_TRUE(batches.empty()) << "an empty poll called the handler";

    port.input = std::string(40, 'x');
    tick();
    tick();
    tick();
    tick();
    ASSERT_EQ(batches.size(), 3u);
    EXPECT_EQ(batches[0].bytes.size(), 16u);
    EXPECT_EQ(batches[1].bytes.size(), 16u);
    EXPECT_EQ(batches[2].bytes.size(), 8u);
    EXPECT_EQ(batches[0].sender, &driver);
}

TEST_F(DriverTest, PortAndBufferSizeAreIgnoredWhileOpen) {
    driver.setComPort(pnCOM3);
    ASSERT_TRUE(driver.Connect());
    driver.setComPort(pnCOM4);
    driver.setComPortInBufSize(4);
    EXPECT_EQ(driver.ComPort(), pnCOM3);
    EXPECT_EQ(driver.ComPortInBufSize(), 2048);
    port.input = "0123456789";
    tick();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].bytes.size(), 10u);

    driver.Disconnect();
    EXPECT_EQ(driver.ComPort(), pnCOM3);  // not even after the close
    ASSERT_TRUE(driver.Connect());
    EXPECT_EQ(port.calls.back(), "setTimeouts");
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "open /dev/ttyS2"), 2);
}

TEST_F(DriverTest, LineSettingChangedWhileOpenReprogramsAndPurges) {
    ASSERT_TRUE(driver.Connect());
    port.calls.clear();
    port.input = "unpolled bytes";
    driver.setComPortSpeed(br19200);
    const std::vector<std::string> expected = {"setState", "purge 15", "setupQueues 2048 2048"};
    EXPECT_EQ(port.calls, expected);
    EXPECT_EQ(port.states.back().baudRate, 19200u);
    tick();
    EXPECT_TRUE(batches.empty()) << "bytes received before the change survived the purge";
}

TEST_F(DriverTest, PollingDelayRestartsTheTimerOnlyOnAChange) {
    driver.setComPortPollingDelay(20);  // closed: stored only
    EXPECT_EQ(timer.starts, 0);
    ASSERT_TRUE(driver.Connect());
    EXPECT_EQ(timer.interval, 20u);
    driver.setComPortPollingDelay(20);
    EXPECT_EQ(timer.starts, 1);
    EXPECT_EQ(timer.stops, 0);
    driver.setComPortPollingDelay(75);
    EXPECT_EQ(timer.starts, 2);
    EXPECT_EQ(timer.stops, 1);
    EXPECT_EQ(timer.interval, 75u);
}

TEST_F(DriverTest, DisconnectStopsDeliveryAndIsHarmlessWhenClosed) {
    driver.Disconnect();
    EXPECT_TRUE(port.calls.empty());
    ASSERT_TRUE(driver.Connect());
    driver.Disconnect();
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(port.calls.back(), "close");
    port.input = "late";
    driver.HandlePollTimer();  // a tick already queued when the timer stopped
    EXPECT_TRUE(batches.empty());
    driver.PurgeQueues(true, true);
    driver.ApplyPortSettings();
    EXPECT_EQ(port.calls.back(), "close") << "a closed port was touched";
}

TEST_F(DriverTest, HangUpClosesThePortStopsPollingAndAllowsReconnecting) {
    int lost = 0;
    driver.setOnPortLost([&](TCommPortDriver* s) {
        EXPECT_EQ(s, &driver);
        ++lost;
    });
    ASSERT_TRUE(driver.Connect());
    port.input = "last bytes";
    port.hangUp = true;
    tick();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(batches[0].bytes, "last bytes");  // what arrived before the unplug still counts
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(timer.active) << "the driver keeps polling a dead device";
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(port.open);

    driver.Disconnect();  // the user releases "COM Connect": nothing to do
    port.hangUp = false;
    EXPECT_TRUE(driver.Connect());  // re-plugged
    EXPECT_TRUE(timer.active);
}

TEST_F(DriverTest, HandlerMayDisconnectDuringDelivery) {
    driver.setOnReceiveData([this](TCommPortDriver* s, const std::uint8_t*, std::int32_t) {
        s->Disconnect();
        batches.push_back({s, {}});
    });
    ASSERT_TRUE(driver.Connect());
    port.input = "x";
    port.hangUp = true;
    tick();
    EXPECT_EQ(batches.size(), 1u);
    EXPECT_FALSE(driver.Connected());
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "close"), 1);
}

TEST_F(DriverTest, AHangUpSeenOnTheOldPortDoesNotCloseTheOneOpenedAfterIt) {
    int lost = 0;
    driver.setOnPortLost([&](TCommPortDriver*) { ++lost; });
    // The handler reconnects (the user pressed "COM Connect" twice while the bytes came).
    driver.setOnReceiveData([this](TCommPortDriver* s, const std::uint8_t*, std::int32_t) {
        s->Disconnect();
        port.hangUp = false;  // the new device is alive
        EXPECT_TRUE(s->Connect());
    });
    ASSERT_TRUE(driver.Connect());
    port.input = "x";
    port.hangUp = true;
    tick();
    EXPECT_TRUE(driver.Connected()) << "the old port's hang-up closed the new one";
    EXPECT_TRUE(port.open);
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(lost, 0);
}

TEST_F(DriverTest, OutputFreeSpaceAndSend) {
    EXPECT_EQ(driver.OutputFreeSpace(), 65535);
    EXPECT_EQ(driver.Send("abc", 3), 0);
    ASSERT_TRUE(driver.Connect());
    EXPECT_EQ(driver.Send("abc", 0), 0);
    EXPECT_TRUE(port.output.empty());

    port.outputQueued = 48;
    EXPECT_EQ(driver.OutputFreeSpace(), 2000);
    port.outputQueued = 2049;  // 16-bit arithmetic, as the platform's count can exceed the size
    EXPECT_EQ(driver.OutputFreeSpace(), 65535);

    port.outputQueued = 0;
    port.writeChunk = 2;  // the whole block is offered, the port takes two bytes at a time
    EXPECT_EQ(driver.Send("hello", 5), 5);
    EXPECT_EQ(port.output, "hello");
}

TEST(DriverSendTest, GivesUpAfterTheTimeoutWithoutProgress) {
    FakePortLog port;
    ManualTimerLog timer;
    // Each look at the clock moves it on by 30 ms, starting just before the 2^32 wrap.
    std::uint32_t reads = 0;
    TCommPortDriver d(std::make_unique<FakeSerialPort>(port),
                      std::make_unique<ManualPollTimer>(timer), PortMap(),
                      [&] { return 0xFFFFFFF0u + 30 * reads++; });
    ASSERT_TRUE(d.Connect());
    d.setOutputTimeout(100);

    port.room = 2;  // two bytes fit, then the queue stays full
    EXPECT_EQ(d.Send("abcde", 5), -2);
    EXPECT_EQ(port.output, "ab");
    EXPECT_LE(reads, 8u) << "the wait did not end at the time-out";

    port.room = SIZE_MAX;
    port.writeChunk = 0;  // the port reports room but takes nothing: the time-out still applies
    port.output.clear();
    EXPECT_EQ(d.Send("abc", 3), 0);

    port.writeChunk = -1;  // the device failed: no waiting at all
    reads = 0;
    EXPECT_EQ(d.Send("abc", 3), 0);
    EXPECT_EQ(reads, 1u);
}

}  // namespace

// With a wait the driver does not give a hung-up port up: it tries the same path again on the
// wait's timer (periodic, at most once a second: never a busy loop), polls again with the same
// settings once it opens, and Disconnect ends the wait.
TEST_F(DriverTest, AHungUpPortIsTriedOnceASecondAndPolledAgainWhenItOpens) {
    driver.setPortWait(std::make_unique<DeviceWait>(std::make_unique<ManualPollTimer>(retry)));
    std::vector<std::string> waits;
    int lost = 0;
    driver.setOnPortLost([&](TCommPortDriver*) { ++lost; });
    driver.setOnPortWaiting([&](TCommPortDriver* s, const std::string& device) {
        EXPECT_EQ(s, &driver);
        waits.push_back(device);
    });
    driver.setComPort(pnCOM1);
    driver.setComPortDataBits(db7BITS);
    ASSERT_TRUE(driver.Connect());
    port.hangUp = true;
    tick();
    EXPECT_FALSE(driver.Connected());
    EXPECT_TRUE(driver.Waiting());
    EXPECT_FALSE(timer.active) << "the driver keeps polling a dead device";
    EXPECT_TRUE(retry.active);
    EXPECT_TRUE(retry.periodic);
    EXPECT_GE(retry.interval, 1000u) << "tried more often than once a second";
    EXPECT_EQ(waits, (std::vector<std::string>{"/dev/ttyS0"}));
    EXPECT_EQ(lost, 0);

    // Still away: every try fails and the wait goes on, on the lost port's path whatever port
    // is chosen meanwhile.
    port.refuseOpen = true;
    port.calls.clear();
    driver.setComPort(pnCOM2);
    retry.onTick();
    retry.onTick();
    EXPECT_EQ(port.calls, (std::vector<std::string>{"open /dev/ttyS0", "open /dev/ttyS0"}));
    EXPECT_TRUE(driver.Waiting());
    EXPECT_FALSE(timer.active);

    // Back: opened as Connect opens, polled again, the wait over.
    port.refuseOpen = false;
    port.hangUp = false;
    port.calls.clear();
    retry.onTick();
    EXPECT_EQ(port.calls, (std::vector<std::string>{"open /dev/ttyS0", "setState", "purge 15",
                                                    "setupQueues 2048 2048", "setTimeouts"}));
    EXPECT_EQ(port.states.back(), port.states.front()) << "the line settings changed";
    EXPECT_TRUE(driver.Connected());
    EXPECT_FALSE(driver.Waiting());
    EXPECT_FALSE(retry.active);
    EXPECT_TRUE(timer.active);
    EXPECT_EQ(waits, (std::vector<std::string>{"/dev/ttyS0", ""}));
    port.input = "after";
    tick();
    ASSERT_FALSE(batches.empty());
    EXPECT_EQ(batches.back().bytes, "after");

    // Released while waiting: the wait ends and nothing is opened any more.
    port.hangUp = true;
    tick();
    ASSERT_TRUE(driver.Waiting());
    driver.Disconnect();
    EXPECT_FALSE(driver.Waiting());
    EXPECT_FALSE(retry.active);
    EXPECT_EQ(waits.size(), 4u);
    EXPECT_EQ(waits.back(), "");
    EXPECT_EQ(lost, 0);
}
