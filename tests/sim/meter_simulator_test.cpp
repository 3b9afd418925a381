// The simulated meter: frame shape, the session's content, its pace, and `halvern simulate`.
#include "sim/meter_simulator.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/child_process.h"
#include "tests/support/fakes/fake_serial_port.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace {

TEST(MeterSimulatorTest, SessionIsValidFramesOfARealisticMix) {
    MeterSimulator meter(7);
    std::set<std::string> functions;  // function and sub-function codes seen
    std::set<int> dcRanges;
    int overloads = 0;
    int opens = 0;
    int negatives = 0;
    int previousDc = -1;
    int largestDcStep = 0;
    for (int i = 0; i < 2000; ++i) {
        const MeterSimulator::Frame f = meter.nextFrame();
        for (int b = 0; b < 11; ++b) {
            ASSERT_EQ(f[b] & 0xF0, 0x30) << "frame " << i << " byte " << b;
        }
        ASSERT_EQ(f[11], 0x0D);
        ASSERT_EQ(f[12], 0x0A);
        const std::string n = MeterSimulator::nibbles(f);
        for (int d = 3; d < 7; ++d) {
            ASSERT_TRUE(n[d] >= '0' && n[d] <= '9') << n;  // digits the decoder converts
        }
        functions.insert(n.substr(0, 2));
        const bool overload = (f[8] & 1) != 0;
        const bool open = (f[10] & 1) != 0;
        overloads += overload;
        opens += open;
        negatives += (f[8] & 4) != 0;
        EXPECT_FALSE(open && n.substr(0, 2) == "22") << "open capacitance fails the decoder";
        if (n.substr(0, 2) == "00") {
            dcRanges.insert(n[2] - '0');
        }
        if (n.substr(0, 3) == "000" && !overload && (f[8] & 4) == 0) {
            const int count = std::stoi(n.substr(3, 4));
            if (previousDc >= 0) {
                largestDcStep = std::max(largestDcStep, std::abs(count - previousDc));
            }
            previousDc = count;
        } else {
            previousDc = -1;  // another scene came between
        }
    }
    EXPECT_GE(functions.size(), 6u) << "too few functions";
    EXPECT_EQ(dcRanges, (std::set<int>{0, 1})) << "no range change";
    EXPECT_GT(overloads, 0);
    EXPECT_GT(opens, 0);
    EXPECT_GT(negatives, 0);
    EXPECT_LE(largestDcStep, 4) << "the DC voltage jumps instead of drifting";

    MeterSimulator again(7);
    MeterSimulator other(8);
    MeterSimulator::Frame a{}, b{}, c{};
    bool differs = false;
    MeterSimulator replay(7);
    for (int i = 0; i < 100; ++i) {
        a = again.nextFrame();
        b = replay.nextFrame();
        c = other.nextFrame();
        ASSERT_EQ(a, b) << "not deterministic for a seed";
        differs |= a != c;
    }
    EXPECT_TRUE(differs);
}

TEST(FramePacerTest, SpacesFramesAtTheRate) {
    using namespace std::chrono;
    const auto t0 = FramePacer::Clock::time_point(seconds(100));
    FramePacer pacer(4.0, t0);
    EXPECT_EQ(pacer.nextDue(), t0);
    EXPECT_EQ(pacer.due(t0 - milliseconds(1)), 0u);
    EXPECT_EQ(pacer.due(t0), 1u);
    pacer.sent();
    EXPECT_EQ(pacer.nextDue(), t0 + milliseconds(250));
    EXPECT_EQ(pacer.due(t0 + milliseconds(249)), 0u);
    EXPECT_EQ(pacer.due(t0 + milliseconds(1000)), 4u);  // fell behind: frames 2..5 are due
}

std::string runAndCapture(const std::string& command) {
    std::string out;
    FILE* p = popen(command.c_str(), "r");
    if (!p) {
        return out;
    }
    char buf[4096];
    std::size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) {
        out.append(buf, n);
    }
    pclose(p);
    return out;
}

TEST(SimulateCommandTest, WritesFramesToStandardOutput) {
    const std::string out =
        runAndCapture(std::string(HALVERN_BINARY) + " simulate --rate 1000 --frames 20");
    ASSERT_EQ(out.size(), 20u * 13u);
    MeterSimulator meter(1);
    for (int i = 0; i < 20; ++i) {
        const MeterSimulator::Frame f = meter.nextFrame();
        EXPECT_EQ(out.substr(i * 13, 13), std::string(f.begin(), f.end())) << "frame " << i;
    }
    EXPECT_NE(
        std::system((std::string(HALVERN_BINARY) + " simulate --rate fast 2>/dev/null").c_str()),
        0);
}

TEST(SimulateCommandTest, PtyModeFeedsTheSerialDriver) {
    Simulator meter("200");
    const std::string path = meter.path();
    ASSERT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;

    ManualTimerLog timer;
    PortMap map;
    map.setPath(0, path);
    TCommPortDriver driver(std::make_unique<TermiosSerialPort>(),
                           std::make_unique<ManualPollTimer>(timer), map);
    driver.setComPort(pnCOM1);
    driver.setComPortDataBits(db7BITS);
    std::string received;
    driver.setOnReceiveData([&](TCommPortDriver*, const std::uint8_t* d, std::int32_t n) {
        received.append(reinterpret_cast<const char*>(d), n);
    });
    ASSERT_TRUE(driver.Connect());
    // Poll at the driver's pace until a few whole frames have come (bounded: 3 s).
    for (int i = 0; i < 300 && received.size() < 5 * 13; ++i) {
        driver.HandlePollTimer();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_GE(received.size(), 5u * 13u);
    const std::size_t cr = received.find('\r');
    ASSERT_NE(cr, std::string::npos);
    EXPECT_EQ(received[cr + 1], '\n');
    driver.Disconnect();
}

}  // namespace
