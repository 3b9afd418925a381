// The serial port driver on a real pseudo-terminal: the termios backend opens the device side
// as a serial port, the test writes the meter's bytes to the controlling side.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include <gtest/gtest.h>

#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/fake_serial_port.h"
#include "tests/support/frames.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/serial/posix/termios_serial_port.h"
#include "transport/serial/serial_open_failure.h"

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

// A real hang-up of the line (what the kernel does when a USB adapter goes): every descriptor
// of the device side is hung up, read returns 0 and poll reports POLLHUP, while the controlling
// side stays open.
TEST_F(PtyDriverTest, ARealHangUpClosesThePort) {
    int lost = 0;
    driver->setOnPortLost([&](TCommPortDriver*) { ++lost; });
    ASSERT_TRUE(driver->Connect());
    ASSERT_TRUE(pty.writeAll("A0"));
    ASSERT_TRUE(waitQueued(2));
    const int other = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(other, 0);
    if (::ioctl(other, TIOCVHANGUP) != 0) {
        ::close(other);
        GTEST_SKIP() << "TIOCVHANGUP needs CAP_SYS_ADMIN";
    }
    ::close(other);
    std::uint8_t b[8];
    EXPECT_EQ(::read(port->fd(), b, sizeof b), 0) << "the line is not hung up";
    for (int i = 0; i < 2000 && driver->Connected(); ++i) {
        poll();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(driver->Connected()) << "the hang-up went unnoticed";
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(lost, 1);
}

TEST_F(PtyDriverTest, CloseGivesThePortBackWithTheSettingsItHadBefore) {
    // The settings another program left: cooked, echoing, 1200 bit/s.
    const int keeper = ::open(pty.devicePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    ASSERT_GE(keeper, 0);
    termios before{};
    ASSERT_EQ(tcgetattr(keeper, &before), 0);
    before.c_lflag |= ICANON | ECHO | ISIG;
    before.c_cc[VMIN] = 1;
    cfsetispeed(&before, B1200);
    cfsetospeed(&before, B1200);
    ASSERT_EQ(tcsetattr(keeper, TCSANOW, &before), 0);
    ASSERT_EQ(tcgetattr(keeper, &before), 0);

    ASSERT_TRUE(driver->Connect());
    termios during{};
    ASSERT_EQ(tcgetattr(keeper, &during), 0);
    EXPECT_EQ(during.c_lflag & ICANON, 0u) << "the driver did not make the line raw";
    driver->Disconnect();

    termios after{};
    ASSERT_EQ(tcgetattr(keeper, &after), 0);
    EXPECT_EQ(after.c_lflag, before.c_lflag);
    EXPECT_EQ(after.c_iflag, before.c_iflag);
    EXPECT_EQ(after.c_cflag, before.c_cflag);
    EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]);
    EXPECT_EQ(cfgetispeed(&after), static_cast<speed_t>(B1200));
    ::close(keeper);
}

// A pseudo-terminal's driver always runs 8 data bits: with the check on, it stands for a USB
// adapter whose driver does not take the meter's 7.
TEST_F(PtyDriverTest, ADriverThatRefusesSevenDataBitsIsReported) {
    ASSERT_TRUE(driver->Connect());
    EXPECT_EQ(driver->LastFailure(), "") << "a pseudo-terminal is not checked by default";
    driver->Disconnect();
    port->setCheckPseudoTerminalSize(true);
    ASSERT_TRUE(driver->Connect());
    EXPECT_TRUE(driver->Connected()) << "the port stays open; its bytes may still be of use";
    EXPECT_EQ(driver->LastFailure(), "the port " + pty.devicePath() +
                                         " does not take 7 data bits (its driver runs 8); frames "
                                         "will not decode");
    driver->setComPortDataBits(db8BITS);
    driver->Disconnect();
    ASSERT_TRUE(driver->Connect());
    EXPECT_EQ(driver->LastFailure(), "");
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

// Each way an open fails, with the text the user reads.
TEST(TermiosSerialPortTest, EachOpenFailureSaysWhy) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen());
    char folder[] = "/tmp/halvern-serial-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string file = std::string(folder) + "/ttyFILE";
    const std::string fifo = std::string(folder) + "/ttyFIFO";
    ::close(::open(file.c_str(), O_WRONLY | O_CREAT, 0666));
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0666), 0);
    TermiosSerialPort holder;
    ASSERT_TRUE(holder.open(pty.devicePath()));

    const struct {
        std::string path;
        std::string text;
    } cases[] = {
        {"/nonexistent/ttyUSB9",
         "cannot open the port /nonexistent/ttyUSB9: No such file or directory; a USB serial "
         "adapter is usually /dev/ttyUSB0 (see --port COMn=PATH)"},
        {pty.devicePath(),
         "cannot open the port " + pty.devicePath() + ": it is in use by another program"},
        {file, "cannot open the port " + file + ": not a serial device"},
        {fifo, "cannot open the port " + fifo + ": not a serial device"},
        {"/dev/null", "cannot open the port /dev/null: not a serial device"},
        {"/dev/ptmx", "cannot open the port /dev/ptmx: not a serial device"},
    };
    for (const auto& c : cases) {
        ManualTimerLog timer;
        PortMap map;
        map.setPath(0, c.path);
        TCommPortDriver driver(std::make_unique<TermiosSerialPort>(),
                               std::make_unique<ManualPollTimer>(timer), map);
        driver.setComPort(pnCOM1);
        EXPECT_FALSE(driver.Connect()) << c.path;
        EXPECT_EQ(driver.LastFailure(), c.text);
    }
    ::unlink(file.c_str());
    ::unlink(fifo.c_str());
    ::rmdir(folder);
}

// A device node the user may not open (mode 000; as root the open runs as "nobody").
TEST(TermiosSerialPortTest, APortWithoutPermissionNamesTheFix) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen());
    ASSERT_EQ(::chmod(pty.devicePath().c_str(), 0), 0);
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) {
            ::_exit(3);
        }
        TermiosSerialPort port;
        const std::string text = port.open(pty.devicePath()) ? "opened" : port.problem();
        (void)!::write(out[1], text.data(), text.size());
        ::_exit(0);
    }
    ::close(out[1]);
    std::string text;
    char buf[512];
    for (ssize_t n; (n = ::read(out[0], buf, sizeof buf)) > 0;) {
        text.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "could not drop to nobody";
    EXPECT_EQ(text, "cannot open the port " + pty.devicePath() +
                        ": Permission denied; add yourself to the dialout group, or install the "
                        "udev rules (see README)");
}

// The kernel's list of terminal drivers decides what counts as a serial line.
TEST(TermiosSerialPortTest, OnlySerialLinesAndPseudoTerminalDevicesCount) {
    char folder[] = "/tmp/halvern-ttydrivers-XXXXXX";
    ASSERT_NE(::mkdtemp(folder), nullptr);
    const std::string drivers = std::string(folder) + "/drivers";
    FILE* f = std::fopen(drivers.c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fputs(
        "/dev/tty             /dev/tty        5       0 system:/dev/tty\n"
        "/dev/console         /dev/console    5       1 system:console\n"
        "/dev/ptmx            /dev/ptmx       5       2 system\n"
        "usbserial            /dev/ttyUSB   188 0-511 serial\n"
        "acm                  /dev/ttyACM   166 0-255 serial\n"
        "serial               /dev/ttyS       4 64-111 serial\n"
        "pty_slave            /dev/pts      136 0-1048575 pty:slave\n"
        "pty_master           /dev/ptm      128 0-1048575 pty:master\n"
        "unknown              /dev/tty        4 1-63 console\n",
        f);
    std::fclose(f);
    const struct {
        unsigned major, minor;
        bool serial;
    } cases[] = {{188, 0, true}, {166, 3, true},  {4, 64, true},   {4, 111, true},
                 {136, 7, true}, {4, 112, false}, {4, 1, false},   {5, 0, false},
                 {5, 1, false},  {5, 2, false},   {128, 0, false}, {1, 3, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(isSerialLineDevice(c.major, c.minor, drivers), c.serial)
            << c.major << ":" << c.minor;
    }
    EXPECT_TRUE(isSerialLineDevice(1, 3, std::string(folder) + "/missing"))
        << "without the list the open decides";
    ::unlink(drivers.c_str());
    ::rmdir(folder);
}

}  // namespace
