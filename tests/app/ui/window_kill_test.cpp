// (A widget test only because it needs the window in the binary.) The window, offscreen and
// connected to a pseudo-terminal fed by the simulated meter at the serial line's top rate, killed
// with SIGKILL at random moments: its journal gives back every row recorded more than a second
// before the kill, and none is corrupt.
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <random>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "recording/data_files.h"
#include "recording/journal_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/child_process.h"

namespace {

using namespace std::chrono;

std::int64_t nowMs() {
    return duration_cast<milliseconds>(system_clock::now().time_since_epoch()).count();
}

// Whether a segment of some session holds more than its header.
bool journalHasRows(const std::string& folder) {
    std::error_code ec;
    for (const auto& session : std::filesystem::directory_iterator(folder, ec)) {
        for (const auto& f : std::filesystem::directory_iterator(session.path(), ec)) {
            if (f.path().extension() == ".hvj" && f.file_size(ec) > 200) {
                return true;
            }
        }
    }
    return false;
}

// "HH:MM:SS" (the window's time separator in the C locale) of a moment in its own local time.
std::string clockText(const WallTime& t) {
    const std::string local = localTimeText(t);  // "YYYY-MM-DD HH:MM:SS"
    return local.size() >= 19 ? local.substr(11, 8) : local;
}

TEST(WindowKillTest, EveryRowOlderThanASecondIsRecoverable) {
    TempFolder dir;
    const std::string state = dir.path("state");
    const std::string journal = state + "/halvern/journal";
    ::setenv("XDG_STATE_HOME", state.c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("LC_ALL", "C", 1);
    Simulator meter("82");
    ASSERT_EQ(meter.path().rfind("/dev/pts/", 0), 0u) << meter.path();
    const unsigned seed = static_cast<unsigned>(std::random_device{}());
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> waitMs(50, 800);

    for (int round = 0; round < 20; ++round) {
        SCOPED_TRACE("round " + std::to_string(round));
        Child window = spawn({HALVERN_BINARY, "--port", "COM1=" + meter.path(), "--connect"});
        for (int i = 0; i < 500 && !journalHasRows(journal); ++i) {
            std::this_thread::sleep_for(10ms);
        }
        ASSERT_TRUE(journalHasRows(journal)) << "the window recorded nothing";
        std::this_thread::sleep_for(milliseconds(waitMs(random)));
        const std::int64_t killedAt = nowMs();
        ::kill(window.pid, SIGKILL);
        finish(window);

        std::vector<RecoverableSession> sessions = findRecoverableSessions(journal);
        ASSERT_EQ(sessions.size(), 1u);
        const JournalContent content = sessions[0].read();
        const TableStore& rows = content.rows;
        ASSERT_GT(rows.rowCount(), 0u);
        // Rows are numbered without a gap, stamped in order, and the Time text is the stamp's.
        for (std::size_t r = 0; r < rows.rowCount(); ++r) {
            ASSERT_EQ(rows.no(r), static_cast<std::int32_t>(r + 1)) << r;
            ASSERT_TRUE(rows.stamp(r).known()) << r;
            ASSERT_EQ(rows.text(r, Field::Time), clockText(rows.stamp(r))) << r;
            ASSERT_FALSE(rows.text(r, Field::DcAc).empty()) << r;
            ASSERT_TRUE(rows.nval(r).has_value()) << r;
            if (r > 0) {
                ASSERT_GE(rows.stamp(r).msSinceEpoch, rows.stamp(r - 1).msSinceEpoch) << r;
            }
        }
        // The meter sends every 12 ms and the port is read every 50 ms: the last row older
        // than a second is at most 100 ms older than that second.
        EXPECT_GE(rows.stamp(rows.rowCount() - 1).msSinceEpoch, killedAt - 1000 - 100);
        sessions.clear();  // the locks go

        Child recover = spawn({HALVERN_BINARY, "recover", "--save", dir.path("recovered.txt")});
        std::string err;
        ASSERT_EQ(finish(recover, &err), 0) << err;
        TableStore saved;
        ASSERT_TRUE(LoadDataFile(dir.path("recovered.txt"), saved, true).ok);
        EXPECT_EQ(saved.rowCount(), rows.rowCount());
    }
    ::unsetenv("XDG_STATE_HOME");
}

}  // namespace
