// One meter session headless, as halvern log builds it: the serial link over a real
// pseudo-terminal, frames decoded and recorded, each row told to the sinks in order, the end of
// every batch told, the loop stopped by the caller.
#include "session/meter_session.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recording/recorder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/frames.h"
#include "tests/support/temp_folder.h"
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

}  // namespace
