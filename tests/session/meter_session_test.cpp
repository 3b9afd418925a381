// One meter session headless, as halvern log builds it: the serial link over a real
// pseudo-terminal, frames decoded and recorded, each row told to the sinks in order, the end of
// every batch told, the loop stopped by the caller.
#include "session/meter_session.h"

#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recording/recorder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/pty_hid_cable.h"
#include "tests/support/frames.h"
#include "tests/support/temp_folder.h"
#include "transport/device_notices.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/serial/comm_port_driver.h"

namespace {

struct Rows final : RowSink {
    std::vector<std::string> values;
    int batches = 0;
    void rowRecorded(const TableStore& table, std::size_t row) override {
        values.emplace_back(table.text(row, Field::Value));
    }
    void batchEnd() override { ++batches; }
};

TEST(MeterSessionTest, TheSerialLinkFeedsTheRecordingAndItsSinksOnTheLoop) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen());
    const auto loop = createHeadlessEventLoop();
    FixedClock clock(LocalDateTime{2026, 12, 10, 10, 0, 0});
    MeterSession::Options options;
    options.ports.setPath(0, pty.devicePath());
    MeterSession session(*loop, clock, options);
    RecorderConsumer step(session.recorder());
    session.consumers().add(step);
    Rows rows;
    session.sinks().add(rows);
    session.afterInput = [&] {
        session.sinks().batchEnd();
        if (rows.values.size() == 3) {
            loop->requestStop();
        }
    };
    session.serial().setComPort(pnCOM1);
    ASSERT_TRUE(session.serial().Connect()) << session.serial().LastFailure();
    ASSERT_TRUE(pty.writeAll(meterFrameBytes("00012340010") + meterFrameBytes("00012350010") +
                             meterFrameBytes("00012360010")));
    loop->run(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    ASSERT_EQ(rows.values.size(), 3u);
    EXPECT_EQ(session.table().rowCount(), 3u);
    EXPECT_GE(rows.batches, 1);
    EXPECT_NE(rows.values[0], rows.values[2]);
    LocalDateTime local;
    EXPECT_EQ(session.table().stamp(0), clock.wallNow(local));
}

// The port is a symlink to a pseudo-terminal: closing its controlling side is the unplug, a new
// pseudo-terminal with the symlink pointed at it the replug. The session waits, says for what,
// reads on when the path opens again, and the rows go on from where they were; the frame the
// unplug cut does not spoil the first one after the return.
TEST(MeterSessionTest, ASerialPortThatComesBackIsReadOnWithTheRowsNumberedOn) {
    using namespace std::chrono;
    auto cable = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(cable->isOpen());
    TempFolder dir;
    const std::string port = dir.path("ttyMeter");
    std::filesystem::create_symlink(cable->devicePath(), port);
    const auto loop = createHeadlessEventLoop();
    // The loop runs until the condition holds (a stop request would end it for good).
    const auto runUntil = [&](const std::function<bool()>& done) {
        const auto deadline = steady_clock::now() + seconds(10);
        while (!done() && steady_clock::now() < deadline) {
            loop->runOnce(50);
        }
        return done();
    };
    FixedClock clock(LocalDateTime{2026, 12, 10, 10, 0, 0});
    MeterSession::Options options;
    options.ports.setPath(0, port);
    MeterSession session(*loop, clock, options);
    RecorderConsumer step(session.recorder());
    session.consumers().add(step);
    Rows rows;
    session.sinks().add(rows);
    std::vector<std::string> waits;
    session.onWaitingFor = [&](const std::string& device) { waits.push_back(device); };
    session.serial().setComPort(pnCOM1);
    ASSERT_TRUE(session.serial().Connect()) << session.serial().LastFailure();
    // A whole frame, then the start of one the unplug cuts.
    ASSERT_TRUE(cable->writeAll(meterFrameBytes("00012340010") + "\n0004"));
    ASSERT_TRUE(runUntil([&] { return rows.values.size() == 1; }));

    cable.reset();  // pulled out
    ASSERT_TRUE(runUntil([&] { return !waits.empty(); }));
    EXPECT_EQ(waits, (std::vector<std::string>{port}));
    EXPECT_FALSE(session.serial().Connected());

    PseudoTerminal replugged;
    std::filesystem::remove(port);
    std::filesystem::create_symlink(replugged.devicePath(), port);
    const auto back = steady_clock::now();
    ASSERT_TRUE(runUntil([&] { return waits.size() == 2; }));
    EXPECT_LT(steady_clock::now() - back, milliseconds(2000)) << "the return took too long";
    EXPECT_EQ(waits, (std::vector<std::string>{port, ""}));
    ASSERT_TRUE(session.serial().Connected());

    ASSERT_TRUE(replugged.writeAll(meterFrameBytes("00043210010")));
    EXPECT_TRUE(runUntil([&] { return rows.values.size() == 2; }))
        << "the first whole frame after the return was lost";
    ASSERT_EQ(rows.values.size(), 2u);
    EXPECT_NE(rows.values[0], rows.values[1]);
    EXPECT_EQ(session.table().no(0), 1);
    EXPECT_EQ(session.table().no(1), 2);
}

// The system's notices as a socket pair: a byte written to the other end is a device plugged in.
class SocketNotices final : public DeviceNotices {
public:
    explicit SocketNotices(int fd) : m_fd(fd) {}
    ~SocketNotices() override { ::close(m_fd); }
    int fd() const override { return m_fd; }
    bool drain() override {
        char buffer[16];
        bool any = false;
        while (::read(m_fd, buffer, sizeof buffer) > 0) {
            any = true;
        }
        return any;
    }

private:
    int m_fd;
};

// A device plugged in, as the system tells it, makes the waiting serial link try at once: the
// port is open again before its retry is due.
TEST(MeterSessionTest, ANoticeOfADevicePluggedInOpensTheWaitedForPortAtOnce) {
    int pair[2];
    ASSERT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair), 0);
    auto cable = std::make_unique<PseudoTerminal>();
    TempFolder dir;
    const std::string port = dir.path("ttyMeter");
    std::filesystem::create_symlink(cable->devicePath(), port);
    const auto loop = createHeadlessEventLoop();
    FixedClock clock(LocalDateTime{2026, 12, 10, 10, 0, 0});
    MeterSession::Options options;
    options.ports.setPath(0, port);
    int made = 0;
    options.deviceNotices = [&] {
        ++made;
        return std::make_unique<SocketNotices>(pair[0]);
    };
    MeterSession session(*loop, clock, options);
    std::vector<std::string> waits;
    session.onWaitingFor = [&](const std::string& device) { waits.push_back(device); };
    session.serial().setComPort(pnCOM1);
    ASSERT_TRUE(session.serial().Connect());
    EXPECT_EQ(made, 0) << "listening before anything waits";

    cable.reset();  // pulled out
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (waits.empty() && std::chrono::steady_clock::now() < deadline) {
        loop->runOnce(50);
    }
    ASSERT_EQ(waits.size(), 1u);
    EXPECT_EQ(made, 1);
    PseudoTerminal replugged;
    std::filesystem::remove(port);
    std::filesystem::create_symlink(replugged.devicePath(), port);
    ASSERT_EQ(::write(pair[1], "+", 1), 1);
    // The notice is there at once; the retry is not due for a second.
    loop->runOnce(900);
    EXPECT_EQ(waits, (std::vector<std::string>{port, ""}));
    EXPECT_TRUE(session.serial().Connected());
    ::close(pair[1]);
}

// Without reconnecting, a hung-up port ends at OnPortLost and nothing waits.
TEST(MeterSessionTest, WithoutReconnectingALostPortIsNotWaitedFor) {
    auto cable = std::make_unique<PseudoTerminal>();
    const auto loop = createHeadlessEventLoop();
    FixedClock clock(LocalDateTime{2026, 12, 10, 10, 0, 0});
    MeterSession::Options options;
    options.ports.setPath(0, cable->devicePath());
    options.reconnect = false;
    MeterSession session(*loop, clock, options);
    int lost = 0;
    bool waited = false;
    session.onWaitingFor = [&](const std::string&) { waited = true; };
    session.serial().setOnPortLost([&](TCommPortDriver*) {
        ++lost;
        loop->requestStop();
    });
    session.serial().setComPort(pnCOM1);
    ASSERT_TRUE(session.serial().Connect());
    cable.reset();
    loop->run(std::chrono::steady_clock::now() + std::chrono::seconds(10));
    EXPECT_EQ(lost, 1);
    EXPECT_FALSE(waited);
    EXPECT_FALSE(session.serial().Waiting());
}

// The session's HID cable through an unplug in the middle of a frame, on the Linux backend over
// a prepared tree (no hot-plug notices there): with reconnect the link says which node it waits
// for, the retry finds the cable plugged in again and reading goes on, the rows numbered on;
// without, the link ends as it did, waiting for nothing, and the next pass releases "HID Connect".
TEST(MeterSessionTest, TheHidCableIsWaitedForThroughAnUnplugOnlyWithReconnect) {
    for (const bool reconnect : {true, false}) {
        SCOPED_TRACE(reconnect ? "reconnect" : "no reconnect");
        fakehid::Tree tree;
        auto cable = std::make_unique<PtyHidCable>(tree);
        ASSERT_TRUE(cable->isOpen());
        const std::string node = tree.node(cable->name);
        const auto loop = createHeadlessEventLoop();
        FixedClock clock(LocalDateTime{2026, 12, 10, 10, 0, 0});
        MeterSession::Options options;
        options.roots = tree.roots();
        options.reconnect = reconnect;
        MeterSession session(*loop, clock, options);
        RecorderConsumer step(session.recorder());
        session.consumers().add(step);
        std::vector<std::string> waits;
        session.onWaitingFor = [&](const std::string& device) { waits.push_back(device); };
        HidCableBinding* binding = session.hid();
        ASSERT_NE(binding, nullptr);
        HidCableLink& link = binding->link();
        int releases = 0;
        link.releaseUsbCon = [&] { ++releases; };
        binding->bind();
        link.USBConClick(true);
        ASSERT_EQ(link.reader(), HidCableLink::Reader::HidReportData);

        const auto pumpUntil = [&](auto done) {
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(5);
            while (!done() && std::chrono::steady_clock::now() < end) {
                loop->runOnce(20);
            }
            return done();
        };
        MeterSimulator meter;
        const auto sendFrames = [&](PtyHidCable& to, int frames) {
            for (int f = 0; f < frames; ++f) {
                for (const auto& report : PtyHidCable::frameReports(meter.nextFrame())) {
                    ASSERT_TRUE(to.send(report));
                    ASSERT_TRUE(pumpUntil([&] { return to.queued() == 0; }));
                }
            }
        };
        sendFrames(*cable, 3);
        ASSERT_TRUE(pumpUntil([&] { return session.table().rowCount() == 3; }));
        ASSERT_TRUE(cable->send(PtyHidCable::frameReports(meter.nextFrame())[0]));
        ASSERT_TRUE(pumpUntil([&] { return cable->queued() == 0; }));
        cable->unplug();
        ASSERT_TRUE(pumpUntil([&] { return !session.hidController()->Device(0).Reading(); }));

        if (!reconnect) {
            EXPECT_TRUE(waits.empty());
            EXPECT_FALSE(link.waiting());
            session.hidController()->DeviceChange();  // Rescan, or the system's notice
            EXPECT_EQ(releases, 1);
            EXPECT_TRUE(waits.empty());
            continue;
        }
        EXPECT_EQ(waits, std::vector<std::string>{node});
        cable = std::make_unique<PtyHidCable>(tree);  // plugged in again, at the next node
        ASSERT_TRUE(pumpUntil([&] { return waits.size() == 2; }));
        EXPECT_EQ(waits.back(), "");
        EXPECT_EQ(releases, 0);
        sendFrames(*cable, 2);
        ASSERT_TRUE(pumpUntil([&] { return session.table().rowCount() >= 5; }));
        EXPECT_EQ(session.table().rowCount(), 5u) << "the cut frame was recorded";
        for (std::size_t row = 0; row < 5; ++row) {
            EXPECT_EQ(session.table().no(row), static_cast<std::int32_t>(row + 1));
        }
    }
}

}  // namespace
