// The USB bridge's Linux backend against a sysfs tree laid out as on a real machine, whose
// device node leads to a pseudo-terminal standing in for the kernel's ttyUSB.
#include "transport/usb_bridge/posix/usb_bridge_tty.h"

#include <sys/ioctl.h>
#include <termios.h>

#include <chrono>
#include <cstring>
#include <thread>

#include <gtest/gtest.h>

#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/fake_usb_tree.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace {

struct CountCase {
    const char* name;
    std::vector<std::array<const char*, 2>> usbTtys;  // vendor, product of ttyUSB0, ttyUSB1, …
    std::vector<std::string> bridges;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const CountCase& c, std::ostream* os) {
    *os << c.name;
}

class BridgeCount : public ::testing::TestWithParam<CountCase> {};

TEST_P(BridgeCount, CountsOnlyTtysOfTheBridgesUsbDevice) {
    FakeUsbTree tree;  // always holds a UART (ttyS0) that is not on USB
    int n = 0;
    for (const auto& [vendor, product] : GetParam().usbTtys) {
        tree.addUsbTty(n, n + 2, vendor, product);
        ++n;
    }
    EXPECT_EQ(findUsbBridgeTtys(tree.roots()), GetParam().bridges);
    UsbBridgeTty si(tree.roots());
    std::uint32_t count = 99;
    EXPECT_EQ(si.SI_GetNumDevices(count), SI_SUCCESS);
    EXPECT_EQ(count, GetParam().bridges.size());
}

INSTANTIATE_TEST_SUITE_P(
    Trees, BridgeCount,
    ::testing::Values(
        CountCase{"NoUsbTty", {}, {}}, CountCase{"OneBridge", {{"10c4", "ea61"}}, {"ttyUSB0"}},
        CountCase{"UpperCaseIds", {{"10C4", "EA61"}}, {"ttyUSB0"}},
        CountCase{"AnotherProductOfTheVendor", {{"10c4", "ea60"}}, {}},
        CountCase{"AnotherVendor", {{"0403", "6001"}}, {}},
        CountCase{"BridgeBesideAnotherAdapter", {{"0403", "6001"}, {"10c4", "ea61"}}, {"ttyUSB1"}},
        CountCase{"TwoBridges", {{"10c4", "ea61"}, {"10c4", "ea61"}}, {"ttyUSB0", "ttyUSB1"}}),
    [](const auto& info) { return std::string(info.param.name); });

// What finds a bridge again after a replug: its ids, its serial number when it has one, and the
// USB port it hangs from, in the order the bridges are counted.
TEST(UsbBridgeTty, IdentifiesEachBridgeByItsIdsSerialNumberAndUsbPort) {
    FakeUsbTree tree;
    tree.addUsbTty(0, 2, "0403", "6001");  // another adapter
    tree.addBridge(1, "", "0001A7");
    tree.addBridge(2);  // no serial number
    UsbBridgeTty si(tree.roots());
    const std::optional<UsbDeviceIdentity> first = si.deviceIdentity(0);
    ASSERT_TRUE(first);
    EXPECT_EQ(first->vendorId, 0x10C4);
    EXPECT_EQ(first->productId, 0xEA61);
    EXPECT_EQ(first->serial, "0001A7");
    EXPECT_EQ(first->portPath, "1-3");
    const std::optional<UsbDeviceIdentity> second = si.deviceIdentity(1);
    ASSERT_TRUE(second);
    EXPECT_EQ(second->serial, "");
    EXPECT_EQ(second->portPath, "1-4");
    EXPECT_FALSE(si.deviceIdentity(2));
    EXPECT_FALSE(first->sameDevice(*second));
    EXPECT_TRUE(second->sameDevice(*si.deviceIdentity(1)));
}

TEST(UsbBridgeTty, AMissingTreeCountsNoBridge) {
    UsbBridgeTty si(DeviceRoots{"/nonexistent-halvern-sysfs", "/nonexistent-halvern-dev"});
    std::uint32_t count = 99;
    EXPECT_EQ(si.SI_GetNumDevices(count), SI_SUCCESS);
    EXPECT_EQ(count, 0u);
    SI_HANDLE h = 0;
    EXPECT_NE(si.SI_Open(0, h), SI_SUCCESS);
    EXPECT_EQ(h, 0);
}

class UsbBridgeOnPty : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.isOpen());
        tree.addBridge(0, pty.devicePath());
    }
    // Waits (bounded) until the device side has `n` bytes queued.
    void waitQueued(SI_HANDLE h, int n) {
        int queued = 0;
        for (int i = 0; i < 2000 && queued < n; ++i) {
            ::ioctl(si.fd(h), FIONREAD, &queued);
            if (queued < n) {
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
        }
        ASSERT_GE(queued, n);
    }

    PseudoTerminal pty;
    FakeUsbTree tree;
    UsbBridgeTty si{tree.roots()};
};

TEST_F(UsbBridgeOnPty, OpensRawAtTheSpeedAndReadsOneQueuedByteWithoutWaiting) {
    SI_HANDLE h = 0;
    ASSERT_EQ(si.SI_Open(0, h), SI_SUCCESS);
    EXPECT_EQ(si.lastOpen().path, tree.dev() + "/ttyUSB0");
    EXPECT_EQ(si.lastOpen().error, 0);
    ASSERT_EQ(si.SI_SetBaudRate(h, 9600), SI_SUCCESS);
    EXPECT_EQ(si.SI_SetTimeouts(500, 500), SI_SUCCESS);
    termios t{};
    ASSERT_EQ(::tcgetattr(si.fd(h), &t), 0);
    EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_EQ(t.c_cflag & (PARENB | CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CLOCAL, 0u);
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u);
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_EQ(::cfgetispeed(&t), static_cast<speed_t>(B9600));

    std::uint8_t byte = 0;
    std::uint32_t got = 7;
    EXPECT_EQ(si.SI_Read(h, &byte, 1, got), SI_READ_TIMED_OUT) << "nothing queued";
    EXPECT_EQ(got, 0u);
    ASSERT_TRUE(pty.writeAll("\x30\r\n"));
    waitQueued(h, 3);
    for (std::uint8_t want : {0x30, 0x0D, 0x0A}) {
        ASSERT_EQ(si.SI_Read(h, &byte, 1, got), SI_SUCCESS);
        EXPECT_EQ(got, 1u);
        EXPECT_EQ(byte, want);
    }
    // The flush discards what is pending.
    ASSERT_TRUE(pty.writeAll("0001234"));
    waitQueued(h, 7);
    EXPECT_EQ(si.SI_FlushBuffers(h, true, true), SI_SUCCESS);
    EXPECT_EQ(si.SI_Read(h, &byte, 1, got), SI_READ_TIMED_OUT);
    EXPECT_EQ(si.SI_Close(h), SI_SUCCESS);
    EXPECT_EQ(si.SI_Close(h), SI_INVALID_HANDLE);
    EXPECT_EQ(si.SI_Read(h, &byte, 1, got), SI_INVALID_HANDLE);
}

TEST_F(UsbBridgeOnPty, ASecondOpenFailsAndTheHeldHandleKeepsReading) {
    SI_HANDLE first = 0;
    ASSERT_EQ(si.SI_Open(0, first), SI_SUCCESS);
    SI_HANDLE second = 0;
    EXPECT_NE(si.SI_Open(0, second), SI_SUCCESS);
    EXPECT_EQ(second, 0);
    EXPECT_EQ(si.lastOpen().error, EBUSY);
    // Another instance of the program (its own backend) is refused by the exclusive lock.
    UsbBridgeTty other(tree.roots());
    EXPECT_NE(other.SI_Open(0, second), SI_SUCCESS);
    EXPECT_EQ(other.lastOpen().error, EBUSY);
    ASSERT_TRUE(pty.writeAll("5"));
    waitQueued(first, 1);
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    EXPECT_EQ(si.SI_Read(first, &byte, 1, got), SI_SUCCESS);
    EXPECT_EQ(byte, '5');
}

TEST_F(UsbBridgeOnPty, AHungUpTtyFailsEveryRead) {
    SI_HANDLE h = 0;
    ASSERT_EQ(si.SI_Open(0, h), SI_SUCCESS);
    pty.closeMaster();  // the bridge is pulled out
    std::uint8_t byte = 0;
    std::uint32_t got = 0;
    EXPECT_EQ(si.SI_Read(h, &byte, 1, got), SI_DEVICE_IO_FAILED);
    EXPECT_EQ(si.SI_Read(h, &byte, 1, got), SI_DEVICE_IO_FAILED);
    EXPECT_NE(si.SI_SetBaudRate(h, 9600), SI_SUCCESS);
    EXPECT_EQ(si.SI_Close(h), SI_SUCCESS);
}

struct OpenFailure {
    const char* name;
    std::string node;  // what <dev>/ttyUSB0 is
    int error;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const OpenFailure& c, std::ostream* os) {
    *os << c.name;
}

class UsbBridgeOpenFailure : public ::testing::TestWithParam<OpenFailure> {};

TEST_P(UsbBridgeOpenFailure, NamesThePathAndTheSystemsReason) {
    FakeUsbTree tree;
    tree.addBridge(0);
    if (!GetParam().node.empty()) {
        FakeUsbTree::put(tree.dev() + "/ttyUSB0", GetParam().node);
    }
    UsbBridgeTty si(tree.roots());
    SI_HANDLE h = 0;
    EXPECT_NE(si.SI_Open(0, h), SI_SUCCESS);
    EXPECT_EQ(h, 0);
    EXPECT_EQ(si.lastOpen().path, tree.dev() + "/ttyUSB0");
    EXPECT_EQ(si.lastOpen().error, GetParam().error) << std::strerror(si.lastOpen().error);
}

INSTANTIATE_TEST_SUITE_P(Nodes, UsbBridgeOpenFailure,
                         ::testing::Values(OpenFailure{"NoNode", "", ENOENT},
                                           OpenFailure{"NotATerminal", "plain file", ENOTTY}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
