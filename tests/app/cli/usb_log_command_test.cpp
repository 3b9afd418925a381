// halvern log --usb-bridge for real: a sysfs tree whose ttyUSB0 leads to a pseudo-terminal, the
// test writing the meter's frames into it at the meter's pace.
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "recording/data_files.h"
#include "recording/table_store.h"
#include "sim/meter_simulator.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/child_process.h"
#include "tests/support/fakes/fake_usb_tree.h"
#include "tests/support/table_readings.h"
#include "tests/support/temp_folder.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace {

std::string decodeUsb(const std::string& file, const std::string& link = "usb-bridge") {
    Child c = spawn({HALVERN_BINARY, "decode", "--link", link, "--decimal-separator", ".", file});
    const std::string out = readAll(c.outFd);
    finish(c);
    return out;
}

std::vector<std::string> logArgs(const FakeUsbTree& tree, std::vector<std::string> more) {
    std::vector<std::string> args = {HALVERN_BINARY, "log",        "--usb-bridge", "--sysfs-root",
                                     tree.sysfs(),   "--dev-root", tree.dev()};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

TEST(UsbLogCommandTest, RecordsWhatDecodeGivesForTheSameBytes) {
    PseudoTerminal bridge;
    ASSERT_TRUE(bridge.isOpen());
    FakeUsbTree tree;
    tree.addBridge(0, bridge.devicePath());
    TempFolder dir;
    const std::string file = dir.path("log.txt");
    const std::string capture = dir.path("capture.bin");
    Child log = spawn(logArgs(tree, {"--save", file, "--capture", capture, "--frames", "10"}));
    // The meter: about 3 frames a second until the logger has had its ten.
    MeterSimulator meter;
    std::string sent;
    for (int i = 0; i < 60 && stillRunning(log); ++i) {
        const MeterSimulator::Frame f = meter.nextFrame();
        const std::string bytes(f.begin(), f.end());
        bridge.write(bytes);
        sent += bytes;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    std::string err;
    ASSERT_EQ(finish(log, &err), 0) << err;
    EXPECT_NE(err.find("10 frames decoded"), std::string::npos) << err;

    const std::vector<std::string> logged = readings(TempFolder::read(file));
    ASSERT_GE(logged.size(), 5u) << "most of the simulator's frames decode on this link";
    // The capture replays to exactly the rows recorded.
    EXPECT_EQ(readings(decodeUsb(capture)), logged);
    // And the rows are those of the bytes the meter sent, from where the link fell in step.
    TempFolder::write(dir.path("sent.bin"), sent);
    const std::vector<std::string> all = readings(decodeUsb(dir.path("sent.bin")));
    const auto at = std::search(all.begin(), all.end(), logged.begin(), logged.end());
    EXPECT_NE(at, all.end()) << "the logged rows are not a run of the sent frames' rows";
    EXPECT_LE(at - all.begin(), 2) << "more than the first frame lost";
    TableStore table;
    EXPECT_TRUE(LoadDataFile(file, table, true).ok);
}

TEST(UsbLogCommandTest, TheSerialLinksCaptureReplaysToTheSameRows) {
    Simulator meter("50");
    TempFolder dir;
    const std::string file = dir.path("serial.txt");
    const std::string capture = dir.path("serial.bin");
    Child log = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--save", file, "--capture",
                       capture, "--frames", "20"});
    std::string err;
    ASSERT_EQ(finish(log, &err), 0) << err;
    const std::vector<std::string> logged = readings(TempFolder::read(file));
    EXPECT_GE(logged.size(), 19u);
    // The capture holds the whole last poll, whose frames beyond the limit were not recorded.
    std::vector<std::string> replayed = readings(decodeUsb(capture, "serial"));
    ASSERT_GE(replayed.size(), logged.size());
    replayed.resize(logged.size());
    EXPECT_EQ(replayed, logged);
}

TEST(UsbLogCommandTest, NoBridgeSeveralBridgesOrAFailedOpenSaySoAndExitOne) {
    PseudoTerminal held;
    TermiosSerialPort holder;  // another program has the bridge
    ASSERT_TRUE(holder.open(held.devicePath()));
    struct Case {
        const char* name;
        int bridges;
        std::string node;  // "": none
        std::string message;
    };
    const std::vector<Case> cases = {
        {"none", 0, "", "halvern log: no USB bridge found\n"},
        {"two", 2, "", "halvern log: 2 USB bridges found\n"},
        {"absent node", 1, "", "cannot open the USB bridge %DEV%/ttyUSB0: No such file or"},
        {"busy", 1, held.devicePath(),
         "cannot open the USB bridge %DEV%/ttyUSB0: Device or resource busy"},
    };
    for (const Case& c : cases) {
        FakeUsbTree tree;
        for (int n = 0; n < c.bridges; ++n) {
            tree.addBridge(n, n == 0 ? c.node : std::string());
        }
        TempFolder dir;
        Child log = spawn(logArgs(tree, {"--save", dir.path("x.txt"), "--frames", "1"}));
        std::string err;
        EXPECT_EQ(finish(log, &err), 1) << c.name;
        std::string want = c.message;
        if (const auto p = want.find("%DEV%"); p != std::string::npos) {
            want.replace(p, 5, tree.dev());
        }
        EXPECT_NE(err.find(want), std::string::npos) << c.name << ": " << err;
        EXPECT_FALSE(std::filesystem::exists(dir.path("x.txt"))) << c.name << ": file written";
    }
    Child both = spawn({HALVERN_BINARY, "log", "--usb-bridge", "--port", "/dev/ttyS0"});
    EXPECT_EQ(finish(both), 2);
    Child noRoot = spawn({HALVERN_BINARY, "log", "--usb-bridge", "--sysfs-root"});
    EXPECT_EQ(finish(noRoot), 2);
    // A mistyped root is named, not taken for a machine without a bridge.
    TempFolder dir;
    for (const char* option : {"--sysfs-root", "--dev-root"}) {
        Child wrongRoot = spawn({HALVERN_BINARY, "log", "--usb-bridge", option, dir.path("none"),
                                 "--save", dir.path("x.txt"), "--frames", "1"});
        std::string err;
        EXPECT_EQ(finish(wrongRoot, &err), 1) << option;
        EXPECT_EQ(err, "halvern log: " + dir.path("none") + " is not a folder (" + option + ")\n");
        EXPECT_FALSE(std::filesystem::exists(dir.path("x.txt"))) << option;
    }
}

TEST(UsbLogCommandTest, AnUnpluggedBridgeEndsTheLogWithACompleteFile) {
    auto bridge = std::make_unique<PseudoTerminal>();
    FakeUsbTree tree;
    tree.addBridge(0, bridge->devicePath());
    TempFolder dir;
    const std::string file = dir.path("unplugged.txt");
    Child log = spawn(logArgs(tree, {"--save", file, "--no-reconnect"}));
    MeterSimulator meter;
    for (int i = 0; i < 100 && lines(TempFolder::read(file)).size() < 4; ++i) {
        const MeterSimulator::Frame f = meter.nextFrame();
        bridge->write(std::string(f.begin(), f.end()));
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    bridge.reset();  // pulled out
    std::string err;
    EXPECT_EQ(finish(log, &err), 1);
    EXPECT_NE(err.find("the USB bridge " + tree.dev() + "/ttyUSB0 went away"), std::string::npos)
        << err;
    TableStore table;
    ASSERT_TRUE(LoadDataFile(file, table, true).ok);
    EXPECT_GE(table.rowCount(), 2u);
}

}  // namespace

namespace {

// The fake tree's node is pointed at a new pseudo-terminal after the old one closed: the same
// USB device back. The log waits for it, reads on when the retry finds it, and ends at
// --duration with status 0 and a complete file numbered on.
TEST(UsbLogCommandTest, ABridgePluggedInAgainIsLoggedOnUntilTheDuration) {
    auto bridge = std::make_unique<PseudoTerminal>();
    FakeUsbTree tree;
    tree.addBridge(0, bridge->devicePath());
    TempFolder dir;
    const std::string file = dir.path("replugged.txt");
    Child log = spawn(logArgs(tree, {"--save", file, "--duration", "6"}));
    const auto rowsWritten = [&] { return lines(TempFolder::read(file)).size(); };
    MeterSimulator meter;
    const auto send = [&](PseudoTerminal& to) {
        const MeterSimulator::Frame f = meter.nextFrame();
        to.write(std::string(f.begin(), f.end()));
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
    };
    for (int i = 0; i < 100 && rowsWritten() < 4; ++i) {
        send(*bridge);
    }
    ASSERT_GE(rowsWritten(), 4u);
    bridge.reset();  // pulled out
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PseudoTerminal replugged;
    tree.repoint("ttyUSB0", replugged.devicePath());
    const std::size_t before = rowsWritten();
    for (int i = 0; i < 30 && stillRunning(log) && rowsWritten() < before + 3; ++i) {
        send(replugged);
    }
    std::string err;
    EXPECT_EQ(finish(log, &err), 0) << err;
    const std::string node = tree.dev() + "/ttyUSB0";
    EXPECT_NE(err.find("halvern log: waiting for " + node + " to come back\u2026\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("halvern log: " + node + " is back; reading on\n"), std::string::npos)
        << err;
    TableStore table;
    ASSERT_TRUE(LoadDataFile(file, table, true).ok);
    ASSERT_GE(table.rowCount(), before + 2) << "no rows after the return";
    for (std::size_t row = 0; row < table.rowCount(); ++row) {
        EXPECT_EQ(table.no(row), static_cast<std::int32_t>(row + 1));
    }
}

}  // namespace
