// The serial port driver on a real pseudo-terminal: the termios backend opens the device side
// as a serial port, the test writes the meter's bytes to the controlling side.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/frames.h"
#include "tests/transport/fake_serial_port.h"
#include "transport/comm_port_driver.h"
#include "transport/posix/pseudo_terminal.h"
#include "transport/posix/termios_serial_port.h"

namespace {

class PtyDriverTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(pty.isOpen());
        auto backend = std::make_unique<TermiosSerialPort>();
        port = backend.get();
        PortMap map;
        map.setPath(0, pty.devicePath());
        driver = std::make_unique<TCommPortDriver>(std::move(backend),
                                                   std::make_unique<ManualPollTimer>(timer), map);
        driver->setComPort(pnCOM1);
        driver->setComPortDataBits(db7BITS);
        driver->setOnReceiveData([this](TCommPortDriver*, const std::uint8_t* p, std::int32_t n) {
            batches.emplace_back(reinterpret_cast<const char*>(p), n);
            received.append(reinterpret_cast<const char*>(p), n);
        });
    }

    // Bytes the kernel has queued on the device side for the driver.
    int queued() const {
        int n = 0;
        ioctl(port->fd(), FIONREAD, &n);
        return n;
    }
    // The kernel moves written bytes to the device side asynchronously: wait (bounded) until
    // it holds `bytes` of them.
    bool waitQueued(int bytes) {
        for (int i = 0; i < 2000 && queued() < bytes; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return queued() >= bytes;
    }
    void poll() { driver->HandlePollTimer(); }

    PseudoTerminal pty;
    ManualTimerLog timer;
    TermiosSerialPort* port = nullptr;
    std::unique_ptr<TCommPortDriver> driver;
    std::vector<std::string> batches;
    std::string received;
};

TEST_F(PtyDriverTest, OpensTheDeviceWithTheMeterLineSettings) {
    ASSERT_TRUE(driver->Connect());
    const int fd = port->fd();
    ASSERT_TRUE(driver->Connect());
    EXPECT_EQ(port->fd(), fd) << "a second Connect reopened the port";
    termios t{};
    ASSERT_EQ(tcgetattr(fd, &t), 0);
    // (A pseudo-terminal always reports 8 bits without parity, so the size is not checked here.)
    EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
    EXPECT_NE(t.c_cflag & CREAD, 0u);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B9600));
    EXPECT_EQ(t.c_lflag & (ICANON | ECHO | ISIG), 0u) << "not raw";
    EXPECT_EQ(t.c_cc[VMIN], 0);
    EXPECT_EQ(t.c_cc[VTIME], 0);
    EXPECT_TRUE(timer.active);
}

TEST_F(PtyDriverTest, DeliversSplitFramesWholeFramesAndBacklogs) {
    ASSERT_TRUE(driver->Connect());
    poll();
    EXPECT_TRUE(batches.empty()) << "an empty port delivered";

    // A frame split across two polls arrives in order over two calls.
    const std::string frame = meterFrameBytes("00012340010");
    ASSERT_TRUE(pty.writeAll(frame.substr(0, 5)));
    ASSERT_TRUE(waitQueued(5));
    poll();
    ASSERT_TRUE(pty.writeAll(frame.substr(5)));
    ASSERT_TRUE(waitQueued(static_cast<int>(frame.size()) - 5));
    poll();
    ASSERT_EQ(batches.size(), 2u);
    EXPECT_EQ(hexBytes(received), hexBytes(frame));

    // Two frames queued between polls come in one call.
    batches.clear();
    received.clear();
    const std::string two = frame + meterFrameBytes("00043210010");
    ASSERT_TRUE(pty.writeAll(two));
    ASSERT_TRUE(waitQueued(static_cast<int>(two.size())));
    poll();
    ASSERT_EQ(batches.size(), 1u);
    EXPECT_EQ(hexBytes(batches[0]), hexBytes(two));

    // A backlog larger than the receive buffer comes over several polls, nothing lost.
    driver->Disconnect();
    driver->setComPortInBufSize(16);
    ASSERT_TRUE(driver->Connect());
    batches.clear();
    received.clear();
    std::string backlog;
    for (int i = 0; i < 5; ++i) {
        backlog += meterFrameBytes("00012340010");
    }
    ASSERT_TRUE(pty.writeAll(backlog));
    ASSERT_TRUE(waitQueued(static_cast<int>(backlog.size())));
    for (int i = 0; i < 6; ++i) {
        poll();
    }
    EXPECT_EQ(batches.size(), 5u);  // 65 bytes: 16, 16, 16, 16, 1
    for (const auto& b : batches) {
        EXPECT_LE(b.size(), 16u);
    }
    EXPECT_EQ(received, backlog);
}

TEST_F(PtyDriverTest, SettingChangedWhileOpenDiscardsQueuedBytes) {
    ASSERT_TRUE(driver->Connect());
    ASSERT_TRUE(pty.writeAll(meterFrameBytes("00012340010")));
    ASSERT_TRUE(waitQueued(13));
    driver->setComPortSpeed(br19200);
    EXPECT_EQ(queued(), 0);
    poll();
    EXPECT_TRUE(batches.empty());
    termios t{};
    ASSERT_EQ(tcgetattr(port->fd(), &t), 0);
    EXPECT_EQ(cfgetispeed(&t), static_cast<speed_t>(B19200));
}

TEST_F(PtyDriverTest, ConnectDiscardsWhatArrivedWhileClosed) {
    ASSERT_TRUE(pty.writeAll("stale bytes from before the open"));
    ASSERT_TRUE(driver->Connect());
    ASSERT_TRUE(pty.writeAll("new"));
    ASSERT_TRUE(waitQueued(3));
    poll();
    EXPECT_EQ(received, "new");
}

TEST_F(PtyDriverTest, DisconnectStopsDelivery) {
    ASSERT_TRUE(driver->Connect());
    driver->Disconnect();
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(port->fd(), -1);
    ASSERT_GE(pty.write("after the close"), 0);
    poll();
    EXPECT_TRUE(batches.empty());
}

TEST_F(PtyDriverTest, UnplugClosesThePortAndTheNextConnectOpensAgain) {
    int lost = 0;
    driver->setOnPortLost([&](TCommPortDriver*) { ++lost; });
    ASSERT_TRUE(driver->Connect());
    const std::string path = pty.devicePath();
    pty.closeMaster();  // the adapter is pulled out
    for (int i = 0; i < 2000 && driver->Connected(); ++i) {
        poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(driver->Connected()) << "the hang-up went unnoticed";
    EXPECT_FALSE(timer.active) << "the driver keeps polling a dead descriptor";
    EXPECT_EQ(lost, 1);
    poll();  // a stale tick does nothing
    EXPECT_EQ(lost, 1);

    // Re-plugged: a new device takes the port's place and the next Connect opens it.
    PseudoTerminal replugged;
    PortMap map = driver->portMap();
    map.setPath(0, replugged.devicePath());
    driver->setPortMap(map);
    ASSERT_TRUE(driver->Connect());
    ASSERT_TRUE(replugged.writeAll("ok"));
    for (int i = 0; i < 2000 && received.size() < 2; ++i) {
        poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(received, "ok");
}

TEST_F(PtyDriverTest, PortHeldByAnotherProcessIsRefused) {
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Another program holding the port the way this one does.
        TermiosSerialPort other;
        const char ok = other.open(pty.devicePath()) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');
    EXPECT_FALSE(driver->Connect());
    EXPECT_FALSE(driver->Connected());
    EXPECT_FALSE(timer.active);

    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(driver->Connect()) << "the port stayed locked after its holder ended";
    for (int fd : {ready[0], ready[1], release[0], release[1]}) {
        close(fd);
    }
}

TEST(TermiosSerialPortTest, RefusesWhatIsNotASerialDevice) {
    TermiosSerialPort port;
    EXPECT_FALSE(port.open("/nonexistent/ttyS9"));
    EXPECT_FALSE(port.open("/dev/null"));
    EXPECT_FALSE(port.isOpen());
    std::uint8_t b[4];
    EXPECT_EQ(port.read(b, sizeof b).count, 0u);
    EXPECT_EQ(port.write(b, sizeof b), -1);
}

}  // namespace
