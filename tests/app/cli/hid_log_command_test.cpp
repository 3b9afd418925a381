// halvern log --hid for real: a prepared sysfs tree whose cable leads to a pseudo-terminal, the
// test writing the cable's input reports into it one at a time.
#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "recording/data_files.h"
#include "recording/table_store.h"
#include "tests/support/child_process.h"
#include "tests/support/fakes/pty_hid_cable.h"
#include "tests/support/table_readings.h"
#include "tests/support/temp_folder.h"
#include "transport/hid/hid_cable_link.h"
#include "transport/hid/hid_link_binding.h"

namespace {

std::string decodeHid(const std::string& file) {
    Child c = spawn({HALVERN_BINARY, "decode", "--link", "hid", "--decimal-separator", ".", file});
    const std::string out = readAll(c.outFd);
    finish(c);
    return out;
}

std::vector<std::string> logArgs(const fakehid::Tree& tree, std::vector<std::string> more) {
    std::vector<std::string> args = {HALVERN_BINARY, "log",        "--hid",   "--sysfs-root",
                                     tree.sysfs(),   "--dev-root", tree.dev()};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

// Waits until the logger reads the cable: its feature descriptor and its reader's are open, and
// it has done reading anything else (sysfs), so that from now on what it reads is the cable's.
bool reading(const Child& c, const PtyHidCable& cable) {
    int i = 0;
    for (; i < 1000 && stillRunning(c) && cable.opensBy(c.pid) < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    long long last = PtyHidCable::bytesReadBy(c.pid);
    for (int quiet = 0; i < 1000 && stillRunning(c); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const long long now = PtyHidCable::bytesReadBy(c.pid);
        quiet = now == last ? quiet + 1 : 0;
        last = now;
        if (quiet == 5) {
            return true;
        }
    }
    return false;
}

class HidLogCommandTest : public ::testing::Test {
protected:
    fakehid::Tree tree;
    TempFolder dir;
};

TEST_F(HidLogCommandTest, RecordsWhatDecodeGivesForTheCapturedReports) {
    PtyHidCable cable(tree);
    ASSERT_TRUE(cable.isOpen());
    const std::string file = dir.path("log.txt");
    const std::string capture = dir.path("capture.txt");
    Child log = spawn(logArgs(tree, {"--save", file, "--capture", capture, "--frames", "6"}));
    ASSERT_TRUE(reading(log, cable));
    MeterSimulator meter;
    for (int f = 0; f < 40 && stillRunning(log); ++f) {
        for (const auto& report : PtyHidCable::frameReports(meter.nextFrame())) {
            // Not taken only when the logger has had its frames and ended meanwhile.
            if (!cable.sendTaken(report, log.pid)) {
                ASSERT_FALSE(stillRunning(log));
                break;
            }
        }
    }
    std::string err;
    ASSERT_EQ(finish(log, &err), 0) << err;
    EXPECT_NE(err.find("6 frames decoded"), std::string::npos) << err;

    // Every report the logger read is in the capture, in order, as the test sent it.
    const std::string captured = TempFolder::read(capture);
    ASSERT_FALSE(captured.empty());
    EXPECT_EQ(cable.lines.substr(0, captured.size()), captured);
    EXPECT_GE(lines(captured).size(), 18u);
    // And it replays to the rows logged.
    const std::vector<std::string> logged = readings(TempFolder::read(file));
    ASSERT_GE(logged.size(), 1u);
    std::vector<std::string> replayed = readings(decodeHid(capture));
    ASSERT_GE(replayed.size(), logged.size());
    replayed.resize(logged.size());
    EXPECT_EQ(replayed, logged);
    TableStore table;
    EXPECT_TRUE(LoadDataFile(file, table, true).ok);
}

TEST_F(HidLogCommandTest, WithoutAReadableCableItSaysWhyAndWritesNothing) {
    struct Case {
        const char* name;
        bool cable;
        bool node;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"no cable", false, false,
         "halvern log: USB interface cable is not securely connected, please check and re-try.\n"},
        {"no node", true, false,
         "halvern log: cannot open %DEV%/hidraw1 for reading and writing: No such file or "
         "directory\n"},
    };
    for (const Case& c : cases) {
        fakehid::Tree t;
        t.plug(fakehid::usbDevice("1-1", "Keyboard", 0x046D, 0xC31C, fakehid::kKeyboardDescriptor));
        if (c.cable) {
            const std::string n = t.plug(fakehid::usbDevice("1-2"));
            if (!c.node) {
                std::filesystem::remove(t.node(n));
            }
        }
        Child log = spawn(logArgs(t, {"--save", dir.path("x.txt"), "--frames", "1"}));
        std::string err;
        EXPECT_EQ(finish(log, &err), 1) << c.name;
        std::string want = c.message;
        if (const auto p = want.find("%DEV%"); p != std::string::npos) {
            want.replace(p, 5, t.dev());
        }
        EXPECT_EQ(err, want) << c.name;
        EXPECT_FALSE(std::filesystem::exists(dir.path("x.txt"))) << c.name << ": file written";
    }
    Child wrongRoot =
        spawn({HALVERN_BINARY, "log", "--hid", "--sysfs-root", dir.path("none"), "--frames", "1"});
    std::string err;
    EXPECT_EQ(finish(wrongRoot, &err), 1);
    EXPECT_EQ(err, "halvern log: " + dir.path("none") + " is not a folder (--sysfs-root)\n");
    Child both = spawn({HALVERN_BINARY, "log", "--hid", "--usb-bridge"});
    EXPECT_EQ(finish(both), 2);
}

TEST(HidAccessProblemTextTest, PermissionPointsToTheUdevRules) {
    EXPECT_EQ(hidAccessProblemText("/dev/hidraw3", EACCES),
              "permission denied: install the udev rules (see README)");
    EXPECT_EQ(hidAccessProblemText("/dev/hidraw3", EPERM),
              "permission denied: install the udev rules (see README)");
    EXPECT_EQ(hidAccessProblemText("/dev/hidraw3", EBUSY),
              "cannot open /dev/hidraw3 for reading and writing: Device or resource busy");
}

TEST_F(HidLogCommandTest, ACableWithoutMeterBytesEndsTheLogWithTheIdleText) {
    PtyHidCable cable(tree);
    Child log = spawn(logArgs(tree, {"--save", dir.path("idle.txt")}));
    ASSERT_TRUE(reading(log, cable));
    // Reports without meter bytes until the idle check fires (1900 read in a row).
    for (int i = 0; i < 100000 && stillRunning(log); ++i) {
        cable.sendTaken({0x00}, log.pid);
    }
    std::string err;
    EXPECT_EQ(finish(log, &err), 1) << err;
    EXPECT_NE(err.find("halvern log: USB interface cable is securely connected, please check if "
                       "the meter is ready.\n"),
              std::string::npos)
        << err;
    TableStore table;
    EXPECT_TRUE(LoadDataFile(dir.path("idle.txt"), table, true).ok);
}

// The cable pulled out in the middle of a frame and plugged in again (at the next node): the log
// waits for it instead of ending, reads it again, and its rows are those of the whole frames
// before and after, numbered on. (Without reconnect the log ends as before: see the session's
// tests.)
TEST_F(HidLogCommandTest, AnUnplugMidFrameWaitsForTheCableAndLogsOnWithEveryRow) {
    auto cable = std::make_unique<PtyHidCable>(tree);
    const std::string file = dir.path("unplugged.txt");
    Child log = spawn(logArgs(tree, {"--save", file, "--frames", "6"}));
    ASSERT_TRUE(reading(log, *cable));
    MeterSimulator meter;
    for (int f = 0; f < 3; ++f) {
        for (const auto& report : PtyHidCable::frameReports(meter.nextFrame())) {
            ASSERT_TRUE(cable->sendTaken(report, log.pid));
        }
    }
    const std::string whole = cable->lines;
    ASSERT_TRUE(cable->sendTaken(PtyHidCable::frameReports(meter.nextFrame())[0], log.pid));
    cable->unplug();

    auto again = std::make_unique<PtyHidCable>(tree);
    ASSERT_TRUE(reading(log, *again)) << "the log did not read the cable plugged in again";
    for (int f = 0; f < 10 && stillRunning(log); ++f) {
        for (const auto& report : PtyHidCable::frameReports(meter.nextFrame())) {
            if (!again->sendTaken(report, log.pid)) {
                ASSERT_FALSE(stillRunning(log));
                break;
            }
        }
    }
    std::string err;
    EXPECT_EQ(finish(log, &err), 0) << err;
    EXPECT_NE(err.find("6 frames decoded"), std::string::npos) << err;
    // Standard error says what is awaited, and when it is back.
    EXPECT_NE(err.find("waiting for " + tree.dev()), std::string::npos) << err;
    EXPECT_NE(err.find("is back; reading on"), std::string::npos) << err;

    const std::string saved = TempFolder::read(file);
    const std::vector<std::string> logged = readings(saved);
    ASSERT_GE(logged.size(), 4u);
    TempFolder::write(dir.path("whole.txt"), whole + again->lines);
    std::vector<std::string> replayed = readings(decodeHid(dir.path("whole.txt")));
    ASSERT_GE(replayed.size(), logged.size());
    replayed.resize(logged.size());
    EXPECT_EQ(logged, replayed);
    const std::vector<std::string> rows = lines(saved);
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].substr(0, rows[i].find('\t')), std::to_string(i)) << rows[i];
    }
}

// --no-reconnect keeps the old end: the cable that goes away ends the log with status 1, and the
// rows before it are saved.
TEST_F(HidLogCommandTest, WithoutReconnectAnUnplugEndsTheLogWithStatusOne) {
    PtyHidCable cable(tree);
    const std::string file = dir.path("ended.txt");
    Child log = spawn(logArgs(tree, {"--save", file, "--no-reconnect"}));
    ASSERT_TRUE(reading(log, cable));
    MeterSimulator meter;
    for (int f = 0; f < 2; ++f) {
        for (const auto& report : PtyHidCable::frameReports(meter.nextFrame())) {
            ASSERT_TRUE(cable.sendTaken(report, log.pid));
        }
    }
    cable.unplug();
    std::string err;
    EXPECT_EQ(finish(log, &err), 1) << err;
    EXPECT_NE(err.find("went away (device removed?)"), std::string::npos) << err;
    EXPECT_EQ(err.find("waiting for"), std::string::npos) << err;
    EXPECT_EQ(readings(TempFolder::read(file)).size(), 2u) << err;
}

}  // namespace
