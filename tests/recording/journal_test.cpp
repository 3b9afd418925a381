#include "recording/journal.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "recording/journal_folder.h"
#include "recording/journal_format.h"
#include "tests/support/temp_folder.h"

namespace {

using namespace std::chrono_literals;

// A table of recorded rows with moments, texts of every length up to the limit, and nulls.
TableStore recordedRows(int count, int firstNo = 1) {
    TableStore t;
    for (int i = 0; i < count; ++i) {
        const std::string time = "12:00:" + std::to_string(10 + i % 50);
        const std::string value = std::string(static_cast<std::size_t>(i % 21), '7');
        RowData r;
        r.no = firstNo + i;
        r.texts = {time, "DCV", value, i % 3 ? "V" : "", "4 V", "Auto"};
        if (i % 4 != 1) {
            r.nval = -400 + i;
        }
        r.stamp = WallTime{1'765'000'000'000 + i * 123, i % 2 ? 3600 : -18000};
        t.append(r);
    }
    return t;
}

std::string describe(const TableStore& t, std::size_t r) {
    std::string s = t.no(r) ? std::to_string(*t.no(r)) : "-";
    for (std::size_t k = 1; k <= kTextFieldCount; ++k) {
        s += "|" + std::string(t.text(r, static_cast<Field>(k)));
    }
    s += "|" + (t.nval(r) ? std::to_string(*t.nval(r)) : "-");
    const WallTime w = t.stamp(r);
    return s + "|" +
           (w.known() ? std::to_string(w.msSinceEpoch) + "@" + std::to_string(w.utcOffsetSeconds)
                      : "?");
}

std::vector<std::string> rowsOf(const TableStore& t, std::size_t from = 0,
                                std::size_t to = SIZE_MAX) {
    std::vector<std::string> rows;
    for (std::size_t r = from; r < std::min(to, t.rowCount()); ++r) {
        rows.push_back(describe(t, r));
    }
    return rows;
}

// The bytes of one segment holding the given rows, and where each record ends.
struct Segment {
    std::string bytes;
    std::vector<std::size_t> recordEnds;
};
Segment segmentOf(const TableStore& rows) {
    JournalHeader h;
    h.sessionId = "test";
    h.link = "serial";
    h.device = "/dev/ttyS0";
    h.start = WallTime{1'765'000'000'000, 3600};
    Segment s{encodeJournalStart(h), {}};
    s.recordEnds.push_back(s.bytes.size());
    char record[kMaxJournalRowBytes];
    for (std::size_t r = 0; r < rows.rowCount(); ++r) {
        s.bytes.append(record, encodeJournalRow(rows, r, r + 1, record));
        s.recordEnds.push_back(s.bytes.size());
    }
    return s;
}

// Every cut inside the last two records keeps each record that ends before the cut, and the
// header survives; a flipped bit anywhere in a record drops it and what follows.
TEST(JournalFormat, TornOrDamagedTailKeepsEveryCompleteRecordBeforeIt) {
    const TableStore rows = recordedRows(6);
    const Segment seg = segmentOf(rows);
    const std::size_t from = seg.recordEnds[seg.recordEnds.size() - 3];
    for (std::size_t cut = from; cut <= seg.bytes.size(); ++cut) {
        SCOPED_TRACE("cut at " + std::to_string(cut));
        JournalReader reader;
        reader.addSegment(std::string_view(seg.bytes).substr(0, cut));
        const JournalContent c = reader.finish();
        const auto complete = static_cast<std::size_t>(
            std::upper_bound(seg.recordEnds.begin(), seg.recordEnds.end(), cut) -
            seg.recordEnds.begin() - 1);
        ASSERT_TRUE(c.header);
        EXPECT_EQ(c.header->device, "/dev/ttyS0");
        EXPECT_EQ(rowsOf(c.rows), rowsOf(rows, 0, complete));
        EXPECT_EQ(c.droppedBytes, cut - seg.recordEnds[complete]);
    }
    for (std::size_t at = seg.recordEnds[3]; at < seg.recordEnds[4]; ++at) {
        SCOPED_TRACE("flipped byte " + std::to_string(at));
        std::string damaged = seg.bytes;
        damaged[at] = static_cast<char>(damaged[at] ^ 0x10);
        JournalReader reader;
        reader.addSegment(damaged);
        const JournalContent c = reader.finish();
        EXPECT_EQ(rowsOf(c.rows), rowsOf(rows, 0, 3));
        EXPECT_GT(c.droppedBytes, 0u);
    }
}

class JournalSinkTest : public ::testing::Test {
protected:
    // The sessions of the folder, read as `halvern recover` reads them.
    std::vector<JournalContent> recoverable() {
        std::vector<JournalContent> found;
        for (RecoverableSession& s : findRecoverableSessions(folder.root())) {
            found.push_back(s.read());
        }
        return found;
    }

    TempFolder folder;
    JournalOrigin origin{"serial", "/dev/pts/9", {}};
};

TEST_F(JournalSinkTest, RowsReachTheDiskAndACleanEndRemovesThem) {
    const TableStore rows = recordedRows(300);
    {
        JournalSink journal(folder.root(), origin);
        for (std::size_t r = 0; r < rows.rowCount(); ++r) {
            journal.rowRecorded(rows, r);
        }
        ASSERT_TRUE(journal.flush());
        EXPECT_TRUE(std::filesystem::is_directory(journal.sessionFolder()));
        // A live session is locked: never offered, not even to its own process.
        EXPECT_TRUE(recoverable().empty());
        // Destroyed without finish(): as if the program had been killed.
    }
    std::vector<JournalContent> found = recoverable();
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(rowsOf(found[0].rows), rowsOf(rows));
    EXPECT_EQ(found[0].header->link, "serial");
    EXPECT_EQ(found[0].droppedBytes, 0u);

    JournalSink clean(folder.root(), origin);
    clean.rowRecorded(rows, 0);
    ASSERT_TRUE(clean.flush());
    const std::string cleanFolder = clean.sessionFolder();
    clean.finish();
    EXPECT_FALSE(std::filesystem::exists(cleanFolder));
    EXPECT_EQ(recoverable().size(), 1u);  // the first one only
}

// What a save, a failed save and New leave to recover.
TEST_F(JournalSinkTest, SavedAndDiscardedRowsAreReleased) {
    struct Case {
        const char* what;
        std::function<void(JournalSink&, const TableStore&)> run;
        std::size_t keptFrom;  // rows from here on are recovered (rows = 10)
    };
    const Case cases[] = {
        {"save while recording: the rows recorded during the save stay",
         [](JournalSink& j, const TableStore& t) {
             for (std::size_t r = 0; r < 6; ++r)
                 j.rowRecorded(t, r);
             j.saveStarted();
             for (std::size_t r = 6; r < 10; ++r)
                 j.rowRecorded(t, r);
             j.rowsSaved();
         },
         6},
        {"failed save: everything stays",
         [](JournalSink& j, const TableStore& t) {
             for (std::size_t r = 0; r < 6; ++r)
                 j.rowRecorded(t, r);
             j.saveStarted();
             for (std::size_t r = 6; r < 10; ++r)
                 j.rowRecorded(t, r);
         },
         0},
        {"New, then more rows",
         [](JournalSink& j, const TableStore& t) {
             for (std::size_t r = 0; r < 7; ++r)
                 j.rowRecorded(t, r);
             j.rowsDiscarded();
             for (std::size_t r = 7; r < 10; ++r)
                 j.rowRecorded(t, r);
         },
         7},
        {"two saves, the rows written in between",
         [](JournalSink& j, const TableStore& t) {
             for (std::size_t r = 0; r < 3; ++r)
                 j.rowRecorded(t, r);
             j.saveStarted();
             j.rowsSaved();
             for (std::size_t r = 3; r < 5; ++r)
                 j.rowRecorded(t, r);
             ASSERT_TRUE(j.flush());
             j.saveStarted();
             j.rowRecorded(t, 5);
             j.rowsSaved();
             for (std::size_t r = 6; r < 10; ++r)
                 j.rowRecorded(t, r);
         },
         5},
    };
    const TableStore rows = recordedRows(10);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        {
            JournalSink journal(folder.root(), origin);
            c.run(journal, rows);
            ASSERT_TRUE(journal.flush());
        }
        std::vector<RecoverableSession> sessions = findRecoverableSessions(folder.root());
        ASSERT_EQ(sessions.size(), 1u);
        EXPECT_EQ(rowsOf(sessions[0].read().rows), rowsOf(rows, c.keptFrom));
        EXPECT_FALSE(sessions[0].discard());
    }
}

// A journal folder that cannot be made: recording goes on, the status names the path and the
// reason, and once the folder can be made every row is written after all.
TEST_F(JournalSinkTest, AFolderThatCannotBeMadeHoldsTheRowsUntilItCan) {
    const std::string blocked = folder.path("state");
    TempFolder::write(blocked, "a file where the folder should be");
    const TableStore rows = recordedRows(50);
    auto owned = std::make_unique<JournalSink>(blocked + "/journal", origin);
    JournalSink& journal = *owned;
    for (std::size_t r = 0; r < 20; ++r) {
        journal.rowRecorded(rows, r);
    }
    EXPECT_FALSE(journal.flush(2s));
    const JournalStatus status = journal.status();
    EXPECT_FALSE(status.protectedRows);
    EXPECT_NE(status.failure.text.find(blocked), std::string::npos) << status.failure.text;
    EXPECT_NE(status.failure.text.find("Not a directory"), std::string::npos);

    std::filesystem::remove(blocked);
    for (std::size_t r = 20; r < 50; ++r) {
        journal.rowRecorded(rows, r);
    }
    const auto until = std::chrono::steady_clock::now() + 5s;
    while (!journal.flush(100ms) && std::chrono::steady_clock::now() < until) {
    }
    EXPECT_TRUE(journal.status().protectedRows);
    owned.reset();
    std::vector<RecoverableSession> sessions = findRecoverableSessions(blocked + "/journal");
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(rowsOf(sessions[0].read().rows), rowsOf(rows));
}

// A full disk (a 64 KiB tmpfs): the rows wait in memory, and reach the disk once room is made.
TEST_F(JournalSinkTest, AFullDiskHoldsTheRowsUntilThereIsRoom) {
    const std::string mountPoint = folder.path("small");
    std::filesystem::create_directory(mountPoint);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=64k") != 0) {
        GTEST_SKIP() << "cannot mount a small tmpfs here (needs root and mount rights); the "
                        "unwritable-folder test covers the same path";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{mountPoint};
    const TableStore rows = recordedRows(400);
    {
        JournalSink journal(mountPoint + "/journal", origin);
        journal.rowRecorded(rows, 0);
        ASSERT_TRUE(journal.flush());
        // Fill what is left.
        const std::string filler = mountPoint + "/filler";
        {
            std::FILE* f = std::fopen(filler.c_str(), "wb");
            ASSERT_NE(f, nullptr);
            const std::string block(1024, 'x');
            while (std::fwrite(block.data(), 1, block.size(), f) == block.size() &&
                   std::fflush(f) == 0) {
            }
            std::fclose(f);
        }
        for (std::size_t r = 1; r < rows.rowCount(); ++r) {
            journal.rowRecorded(rows, r);
        }
        EXPECT_FALSE(journal.flush(2s));
        const JournalStatus full = journal.status();
        EXPECT_FALSE(full.protectedRows);
        EXPECT_NE(full.failure.text.find("No space left on device"), std::string::npos)
            << full.failure.text;
        std::filesystem::remove(filler);
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (!journal.flush(100ms) && std::chrono::steady_clock::now() < until) {
        }
        EXPECT_TRUE(journal.status().protectedRows);
        EXPECT_EQ(journal.status().rowsLost, 0u);
    }
    std::vector<RecoverableSession> sessions = findRecoverableSessions(mountPoint + "/journal");
    ASSERT_EQ(sessions.size(), 1u);
    EXPECT_EQ(rowsOf(sessions[0].read().rows), rowsOf(rows));
}

}  // namespace
