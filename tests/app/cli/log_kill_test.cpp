// halvern log killed with SIGKILL at random moments while the simulated meter runs at the
// serial line's top rate: the journal gives back every row recorded more than a second before.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "recording/data_files.h"
#include "recording/table_store.h"
#include "tests/support/temp_folder.h"
#include "tests/support/child_process.h"
#include "tests/support/table_readings.h"

namespace {

using namespace std::chrono_literals;

std::uint64_t fileSize(const std::string& path) {
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
}

// The rows halvern decode records from these captured bytes.
TableStore decodedRows(const std::string& capture, const TempFolder& dir) {
    const std::string out = dir.path("decoded.xml");
    Child decode = spawn({HALVERN_BINARY, "decode", "--link", "serial", "--save", out, capture});
    std::string err;
    EXPECT_EQ(finish(decode, &err), 0) << err;
    TableStore t;
    EXPECT_TRUE(LoadDataFile(out, t, true).ok);
    return t;
}

TEST(LogKillTest, EveryRowOlderThanASecondIsRecoverable) {
    TempFolder dir;
    ::setenv("XDG_STATE_HOME", dir.path("state").c_str(), 1);
    Simulator meter("82");
    ASSERT_EQ(meter.path().rfind("/dev/pts/", 0), 0u) << meter.path();
    const unsigned seed = static_cast<unsigned>(std::random_device{}());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> waitMs(100, 900);
    const std::string capture = dir.path("capture.bin");
    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Child log = spawn({HALVERN_BINARY, "log", "--port", meter.path(), "--save",
                           dir.path("log.xml"), "--capture", capture});
        std::this_thread::sleep_for(std::chrono::milliseconds(waitMs(random)));
        // The bytes the logger had read a second before the kill: their rows must be durable.
        const std::uint64_t readBefore = fileSize(capture);
        std::this_thread::sleep_for(1s);
        ::kill(log.pid, SIGKILL);
        finish(log);

        const std::string all = TempFolder::read(capture);
        TempFolder::write(dir.path("before.bin"), all.substr(0, readBefore));
        const TableStore before = decodedRows(dir.path("before.bin"), dir);
        const TableStore every = decodedRows(capture, dir);
        ASSERT_GT(before.rowCount(), 0u);

        Child recover = spawn({HALVERN_BINARY, "recover", "--save", dir.path("recovered.xml")});
        std::string err;
        ASSERT_EQ(finish(recover, &err), 0) << err;
        TableStore recovered;
        ASSERT_TRUE(LoadDataFile(dir.path("recovered.xml"), recovered, true).ok);

        // Every row older than a second is there, and no row is corrupt: field for field the
        // rows halvern decode gets from the same bytes, in order, numbered from 1.
        EXPECT_GE(recovered.rowCount(), before.rowCount());
        std::vector<std::string> got = readings(tableText(recovered));
        std::vector<std::string> want = readings(tableText(every));
        ASSERT_LE(got.size(), want.size());
        want.resize(got.size());
        EXPECT_EQ(got, want);
        for (std::size_t r = 0; r < recovered.rowCount(); ++r) {
            ASSERT_EQ(recovered.no(r), static_cast<std::int32_t>(r + 1));
            ASSERT_FALSE(recovered.text(r, Field::Time).empty());
        }
        // Nothing is left to recover.
        Child list = spawn({HALVERN_BINARY, "recover"});
        EXPECT_EQ(finish(list), 1);
    }
    ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
