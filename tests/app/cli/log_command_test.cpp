// halvern log on a pseudo-terminal fed by halvern simulate: the file it leaves behind loads.
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "recording/data_files.h"
#include "recording/table_store.h"
#include "sim/meter_simulator.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/child_process.h"
#include "tests/support/table_readings.h"
#include "tests/support/temp_folder.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace {

int convertLoads(const std::string& file, const TempFolder& dir) {
    const std::string cmd =
        std::string(HALVERN_BINARY) + " convert '" + file + "' '" + dir.path("converted.txt") + "'";
    return std::system(cmd.c_str());
}

TEST(LogCommandTest, TextAndPacketFilesFromTheSimulatorLoad) {
    Simulator meter("100");
    ASSERT_EQ(meter.path().rfind("/dev/pts/", 0), 0u) << meter.path();
    TempFolder dir;
    for (const std::string name : {"log.txt", "log.xml"}) {
        Child log = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--save", dir.path(name),
                           "--frames", "30"});
        std::string err;
        ASSERT_EQ(finish(log, &err), 0) << err;
        EXPECT_NE(err.find("30 frames decoded"), std::string::npos) << err;
        TableStore table;
        const FileOutcome loaded = LoadDataFile(dir.path(name), table, true);
        ASSERT_TRUE(loaded.ok) << name;
        // The first frame after opening may be cut; the rest are rows (Repeat is on).
        EXPECT_GE(table.rowCount(), 29u) << name;
        EXPECT_LE(table.rowCount(), 30u) << name;
        EXPECT_EQ(table.no(0), 1);
        EXPECT_EQ(convertLoads(dir.path(name), dir), 0) << name;
    }
}

// --format jsonl on standard output: one valid JSON object per recorded row, in order, each with
// its full moment; Python's json module reads every line. A .csv --save is the analysis CSV.
TEST(LogCommandTest, JsonLinesOnStandardOutputAndCsvFilesFromTheSimulator) {
    Simulator meter("100");
    TempFolder dir;
    Child log = spawn(
        {HALVERN_BINARY, "log", "--port", meter.path(), "--format", "jsonl", "--frames", "30"});
    const std::string out = readAll(log.outFd);
    std::string err;
    ASSERT_EQ(finish(log, &err), 0) << err;
    TempFolder::write(dir.path("log.jsonl"), out);
    TempFolder::write(dir.path("check.py"),
                      "import json, sys\n"
                      "rows = [json.loads(line) for line in open(sys.argv[1], encoding='utf-8')]\n"
                      "assert 29 <= len(rows) <= 30, len(rows)\n"
                      "assert [r['no'] for r in rows] == list(range(1, len(rows) + 1))\n"
                      "assert all(r['time'][10] == 'T' and r['elapsed_s'] >= 0 for r in rows)\n"
                      "assert all(isinstance(r['value'], (int, float)) or r['value'] is None\n"
                      "           for r in rows)\n"
                      "print('ok')\n");
    const std::string check = "python3 '" + dir.path("check.py") + "' '" + dir.path("log.jsonl") +
                              "' >'" + dir.path("check.out") + "' 2>&1";
    EXPECT_EQ(std::system(check.c_str()), 0) << TempFolder::read(dir.path("check.out")) << out;

    Child csv = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--save", dir.path("log.csv"),
                       "--frames", "10"});
    ASSERT_EQ(finish(csv, &err), 0) << err;
    TableStore table;
    ASSERT_TRUE(LoadDataFile(dir.path("log.csv"), table, true).ok);
    EXPECT_GE(table.rowCount(), 9u);
    EXPECT_TRUE(table.stamp(0).known());

    Child both = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--format", "csv", "--save",
                        dir.path("x.txt")});
    EXPECT_EQ(finish(both, &err), 2);
    Child bad = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--format", "json"});
    EXPECT_EQ(finish(bad, &err), 2);
    EXPECT_EQ(err, "halvern log: --format must be tsv, csv or jsonl\n");
}

TEST(LogCommandTest, InterruptedLogKeepsEveryRowWritten) {
    Simulator meter("200");
    TempFolder dir;
    const std::string file = dir.path("interrupted.txt");
    Child log = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--save", file});
    // Wait (bounded) until rows reach the file, then stop the logger as a user would.
    for (int i = 0; i < 300 && TempFolder::read(file).size() < 400; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    const std::string during = TempFolder::read(file);
    kill(log.pid, SIGTERM);
    EXPECT_EQ(finish(log), 0);
    const std::string after = TempFolder::read(file);
    EXPECT_GE(after.size(), during.size());
    EXPECT_EQ(after.compare(0, during.size(), during), 0) << "rows already written changed";
    EXPECT_EQ(after.substr(after.size() - 2), "\r\n") << "a half-written row";
    TableStore table;
    ASSERT_TRUE(LoadDataFile(file, table, true).ok);
    EXPECT_GT(table.rowCount(), 5u);
}

TEST(LogCommandTest, MeterUnpluggedEndsTheLogWithACompleteFile) {
    TempFolder dir;
    const std::string file = dir.path("unplugged.txt");
    Child log;
    {
        Simulator meter("200");
        log = spawn(
            {HALVERN_BINARY, "log", "--port", meter.path(), "--save", file, "--no-reconnect"});
        for (int i = 0; i < 300 && TempFolder::read(file).size() < 200; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }  // the simulator ends: its terminal hangs up, as a pulled adapter does
    std::string err;
    EXPECT_EQ(finish(log, &err), 1) << "the logger did not notice the hang-up";
    EXPECT_NE(err.find("went away"), std::string::npos) << err;
    TableStore table;
    ASSERT_TRUE(LoadDataFile(file, table, true).ok);
    EXPECT_GT(table.rowCount(), 2u);
}

// --port is a symlink to a pseudo-terminal: closing its controlling side unplugs the meter, a
// new pseudo-terminal with the symlink pointed at it plugs it in again. The log waits and says
// so, reads on, and ends at --duration with status 0 and a complete file numbered on.
TEST(LogCommandTest, AMeterPluggedInAgainIsLoggedOnUntilTheDuration) {
    TempFolder dir;
    const std::string port = dir.path("ttyMeter");
    const std::string file = dir.path("replugged.txt");
    auto cable = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(cable->isOpen());
    std::filesystem::create_symlink(cable->devicePath(), port);
    Child log = spawn({HALVERN_BINARY, "log", "--port", port, "--save", file, "--duration", "6"});
    const auto rowsWritten = [&] { return lines(TempFolder::read(file)).size(); };
    MeterSimulator meter;
    const auto send = [&](PseudoTerminal& to) {
        const MeterSimulator::Frame f = meter.nextFrame();
        to.write(std::string(f.begin(), f.end()));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    };
    for (int i = 0; i < 100 && rowsWritten() < 4; ++i) {
        send(*cable);
    }
    ASSERT_GE(rowsWritten(), 4u);  // the header and three rows
    cable.reset();                 // pulled out
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    PseudoTerminal replugged;
    std::filesystem::remove(port);
    std::filesystem::create_symlink(replugged.devicePath(), port);
    const std::size_t before = rowsWritten();
    for (int i = 0; i < 40 && stillRunning(log) && rowsWritten() < before + 3; ++i) {
        send(replugged);
    }
    std::string err;
    EXPECT_EQ(finish(log, &err), 0) << err;
    EXPECT_NE(err.find("halvern log: waiting for " + port + " to come back\u2026\n"),
              std::string::npos)
        << err;
    EXPECT_NE(err.find("halvern log: " + port + " is back; reading on\n"), std::string::npos)
        << err;
    TableStore table;
    ASSERT_TRUE(LoadDataFile(file, table, true).ok);
    ASSERT_GE(table.rowCount(), before + 2) << "no rows after the return";
    for (std::size_t row = 0; row < table.rowCount(); ++row) {
        EXPECT_EQ(table.no(row), static_cast<std::int32_t>(row + 1));
    }
}

TEST(LogCommandTest, PortThatCannotBeOpenedIsReported) {
    Child absent = spawn({HALVERN_BINARY, "log", "--port", "/dev/does-not-exist"});
    std::string err;
    EXPECT_EQ(finish(absent, &err), 1);
    EXPECT_EQ(err,
              "halvern log: cannot open the port /dev/does-not-exist: No such file or directory; "
              "a USB serial adapter is usually /dev/ttyUSB0 (see --port COMn=PATH)\n");
    Child notSerial = spawn({HALVERN_BINARY, "log", "--port", "/dev/null"});
    EXPECT_EQ(finish(notSerial, &err), 1);
    EXPECT_EQ(err, "halvern log: cannot open the port /dev/null: not a serial device\n");

    Simulator meter("10");
    TermiosSerialPort holder;  // another program has the port
    ASSERT_TRUE(holder.open(meter.path()));
    Child busy = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--frames", "1"});
    EXPECT_EQ(finish(busy, &err), 1);
    EXPECT_NE(err.find("in use by another program"), std::string::npos) << err;

    Child bad = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--record-limit", "7"});
    EXPECT_EQ(finish(bad, &err), 2);
}

}  // namespace
