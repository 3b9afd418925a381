// End to end over a real pseudo-terminal: the meter's bytes go in at the controlling side, the
// driver polls the device side, the frames are assembled, decoded and recorded.
#include <sys/ioctl.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "meter/reading_pipeline.h"
#include "recording/recorder.h"
#include "recording/table_store.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/fake_serial_port.h"
#include "tests/support/frames.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace {

class SerialPipelineTest : public ::testing::Test {
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
            ++polls;
            pipeline.receive(p, static_cast<std::size_t>(n));
        });
        ASSERT_TRUE(driver->Connect());
    }

    // Writes bytes and polls until the kernel has handed all of them over (bounded wait).
    void send(const std::string& bytes) {
        ASSERT_TRUE(pty.writeAll(bytes));
        int n = 0;
        for (int i = 0; i < 2000; ++i) {
            ioctl(port->fd(), FIONREAD, &n);
            if (n >= static_cast<int>(bytes.size())) {
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        ASSERT_GE(n, static_cast<int>(bytes.size()));
    }
    std::string value(std::size_t row) const { return std::string(table.text(row, Field::Value)); }

    PseudoTerminal pty;
    ManualTimerLog timer;
    TermiosSerialPort* port = nullptr;
    std::unique_ptr<TCommPortDriver> driver;
    TableStore table;
    FixedClock clock{LocalDateTime{2026, 12, 9, 10, 0, 0}};
    Recorder recorder{table, clock};
    RecorderConsumer consumer{recorder};
    ReadingPipeline pipeline{consumer, clock, "."};
    int polls = 0;
};

TEST_F(SerialPipelineTest, FramesAcrossAndWithinPollsAreRecordedInOrder) {
    // The port opens in mid-frame: the first cut text is dropped.
    send(meterFrameBytes("00012340010").substr(6));
    driver->HandlePollTimer();
    EXPECT_EQ(table.rowCount(), 0u);

    // A frame split across two polls.
    const std::string first = meterFrameBytes("00012340010");
    send(first.substr(0, 7));
    driver->HandlePollTimer();
    send(first.substr(7));
    driver->HandlePollTimer();
    ASSERT_EQ(table.rowCount(), 1u);
    EXPECT_EQ(value(0), "1.234");
    EXPECT_EQ(table.text(0, Field::DcAc), "DCV");
    EXPECT_EQ(table.nval(0), 1234);

    // Two frames in one poll, in order.
    send(meterFrameBytes("00023450010") + meterFrameBytes("00134560010"));
    const int before = polls;
    driver->HandlePollTimer();
    EXPECT_EQ(polls, before + 1);
    ASSERT_EQ(table.rowCount(), 3u);
    EXPECT_EQ(value(1), "2.345");
    EXPECT_EQ(value(2), "34.56");
    EXPECT_EQ(table.text(2, Field::Range), "40 V");
}

TEST_F(SerialPipelineTest, BacklogLargerThanTheBufferArrivesWhole) {
    driver->Disconnect();
    driver->setComPortInBufSize(20);
    ASSERT_TRUE(driver->Connect());
    std::string backlog = "\r";  // ends whatever came before, so the next frame starts clean
    for (int i = 0; i < 10; ++i) {
        backlog += meterFrameBytes("000100" + std::to_string(i) + "0010");
    }
    send(backlog);
    for (int i = 0; i < 20 && table.rowCount() < 10; ++i) {
        driver->HandlePollTimer();
    }
    EXPECT_GT(polls, 6) << "the backlog came in fewer polls than the buffer allows";
    ASSERT_EQ(table.rowCount(), 10u);
    for (std::size_t i = 0; i < 10; ++i) {
        EXPECT_EQ(table.nval(i), 1000 + static_cast<int>(i));
    }
}

TEST_F(SerialPipelineTest, UnplugKeepsTheRecordedRows) {
    send(meterFrameBytes("00012340010") + meterFrameBytes("00012350010"));
    driver->HandlePollTimer();
    ASSERT_EQ(table.rowCount(), 2u);
    pty.closeMaster();
    for (int i = 0; i < 2000 && driver->Connected(); ++i) {
        driver->HandlePollTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_FALSE(driver->Connected());
    EXPECT_FALSE(timer.active);
    EXPECT_EQ(table.rowCount(), 2u);
    EXPECT_EQ(value(1), "1.235");
}

}  // namespace
