// One meter session headless, as halvern log builds it: the serial link over a real
// pseudo-terminal, frames decoded and recorded, each row told to the sinks in order, the end of
// every batch told, the loop stopped by the caller.
#include "session/meter_session.h"

#include <chrono>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "recording/recorder.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/frames.h"
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

}  // namespace
