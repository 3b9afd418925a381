// Loading files of any size and shape: lines of any length in constant memory, only regular
// files, progress and cancel, one append notice per block, and running out of memory.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "meter/whole_number.h"
#include "recording/data_files.h"
#include "tests/support/temp_folder.h"
#include "tests/support/sanitizers.h"

namespace {

class LargeFilesTest : public ::testing::Test {
protected:
    void addRows(TableStore& t, int n) {
        for (int i = 1; i <= n; ++i) {
            RowData row;
            row.no = 900 + i;
            row.texts[0] = "12:00:00";
            t.append(row);
        }
    }
    // Lines "N\tDCV\r\n" numbered from 1, after the header.
    std::string numberedText(int rows) {
        std::string text = "No\tTime\r\n";
        for (int i = 1; i <= rows; ++i) {
            text += std::to_string(i) + "\tDCV\r\n";
        }
        return text;
    }

    TempFolder folder;
    TableStore table;
};

// Counts the append notices a view would get.
class CountingObserver : public TableObserver {
public:
    void rowsAppended(std::size_t first, std::size_t count) override {
        notices.push_back({first, count});
    }
    void tableReset() override { ++resets; }
    std::vector<std::pair<std::size_t, std::size_t>> notices;
    int resets = 0;
};

// A whole-number item, however long, converts exactly as its full text would.
TEST_F(LargeFilesTest, WholeNumberItemsOfAnyLengthConvertAsTheirFullText) {
    const std::string zeros(5000, '0');
    const std::string blanks(5000, ' ');
    const std::string items[] = {
        zeros + "123",
        blanks + "42",
        "-" + zeros + "7",
        "$" + zeros + "FF",
        "0x" + zeros + "1A",
        "00x1",
        "000x1",
        "0",
        zeros,
        "1" + zeros,
        std::string(60, '9'),
        "+" + zeros + "2147483647",
        "-" + zeros + "2147483648",
        zeros + "2147483648",
        blanks,
        blanks + "1 ",
        "12" + blanks,
    };
    for (const std::string& item : items) {
        SCOPED_TRACE(item.size() > 40 ? item.substr(0, 20) + "…" + item.substr(item.size() - 12)
                                      : item);
        const auto expected = parseWholeNumber(item);
        for (const bool asNval : {false, true}) {
            TableStore t;
            const std::string line = asNval ? "5\ta\tb\tc\td\te\tf\t" + item : item;
            const bool ok = loadTextBytes("h\r\n" + line + "\r\n", t);
            EXPECT_EQ(ok, expected.has_value());
            if (ok) {
                ASSERT_EQ(t.rowCount(), 1u);
                EXPECT_EQ(asNval ? t.nval(0) : t.no(0), expected);
            }
        }
    }
}

TEST_F(LargeFilesTest, LongTextItemsAreCutAndTooManyItemsFailWhateverTheirLength) {
    const std::string longText(3'000'000, 'v');
    std::string text = "h\r\n1\t" + longText + "\t" + longText + "\r\n";
    ASSERT_TRUE(loadTextBytes(text, table));
    EXPECT_EQ(table.text(0, Field::Time), std::string(20, 'v'));
    EXPECT_EQ(table.text(0, Field::DcAc), std::string(20, 'v'));

    // A ninth item fails the line at once, however many tabs follow.
    EXPECT_FALSE(loadTextBytes("h\r\n2" + std::string(2'000'000, '\t') + "\r\n", table));
    EXPECT_EQ(table.rowCount(), 1u);
    // A header of any length is dropped.
    EXPECT_TRUE(loadTextBytes(std::string(3'000'000, 'h') + "\r\n3\r\n", table));
    EXPECT_EQ(table.rowCount(), 2u);
}

TEST_F(LargeFilesTest, OnlyRegularFilesAreRead) {
    addRows(table, 2);
    const std::string fifo = folder.path("pipe.txt");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string names[] = {
        fifo, "/dev/zero", "/dev/null", folder.root(), folder.path("missing.txt"), fifo + ".xml"};
    ::mkfifo((fifo + ".xml").c_str(), 0600);
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const FileOutcome outcome = LoadDataFile(name, table, false);  // returns: no hang
        EXPECT_FALSE(outcome.ok);
        EXPECT_FALSE(outcome.cancelled);
        EXPECT_EQ(outcome.message, "Failed to Load File!");
        EXPECT_EQ(table.rowCount(), 2u);
    }
}

TEST_F(LargeFilesTest, ATextLoadTellsTheViewOncePerBlock) {
    addRows(table, 3);
    CountingObserver observer;
    table.addObserver(&observer);
    const std::string small = folder.path("small.txt");
    TempFolder::write(small, numberedText(5));
    ASSERT_TRUE(LoadDataFile(small, table, false).ok);
    ASSERT_EQ(observer.notices.size(), 1u);
    EXPECT_EQ(observer.notices[0], std::make_pair(std::size_t{3}, std::size_t{5}));

    // 400,000 rows are a few read blocks: a notice per block, together all rows in order.
    observer.notices.clear();
    const std::string big = folder.path("big.txt");
    TempFolder::write(big, numberedText(400'000));
    ASSERT_TRUE(LoadDataFile(big, table, false).ok);
    EXPECT_GE(observer.notices.size(), 2u);
    EXPECT_LE(observer.notices.size(), 8u);
    std::size_t next = 8;
    for (const auto& [first, count] : observer.notices) {
        EXPECT_EQ(first, next);
        next += count;
    }
    EXPECT_EQ(next, table.rowCount());
    table.removeObserver(&observer);
}

TEST_F(LargeFilesTest, CancelKeepsTheCompleteLinesOfATextAndNothingOfAPacket) {
    addRows(table, 3);
    const std::string text = folder.path("rows.txt");
    TempFolder::write(text, numberedText(400'000));
    std::vector<LoadProgress> seen;
    const auto cancelSecond = [&seen](const LoadProgress& p) {
        seen.push_back(p);
        return seen.size() < 2;
    };
    const FileOutcome outcome = LoadDataFile(text, table, false, cancelSecond);
    EXPECT_FALSE(outcome.ok);
    EXPECT_TRUE(outcome.cancelled);
    EXPECT_TRUE(outcome.message.empty());
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].bytesRead, 1u << 20);
    EXPECT_GT(seen[1].bytesTotal, seen[1].bytesRead);
    // Every complete line of the first block is a row, the cut one is not.
    const std::size_t loaded = table.rowCount() - 3;
    EXPECT_EQ(seen[1].rows, loaded);
    ASSERT_GT(loaded, 0u);
    EXPECT_EQ(table.no(table.rowCount() - 1), static_cast<std::int32_t>(loaded));
    // The last line loaded ended within the first block, the next one did not.
    const std::string all = numberedText(400'000);
    const std::size_t next = all.find("\r\n" + std::to_string(loaded + 1) + "\t") + 2;
    EXPECT_LT(all.rfind('\r', next - 1), 1u << 20);
    EXPECT_GE(all.find('\r', next), 1u << 20);

    // A cancelled packet leaves the table as it was.
    TableStore source;
    addRows(source, 60'000);
    const std::string packet = folder.path("rows.xml");
    ASSERT_TRUE(saveTablePacket(source, packet).ok);
    const std::size_t before = table.rowCount();
    seen.clear();
    const FileOutcome packetOutcome = LoadDataFile(packet, table, false, cancelSecond);
    EXPECT_TRUE(packetOutcome.cancelled);
    EXPECT_GT(seen[1].rows, 0u);
    EXPECT_EQ(table.rowCount(), before);
    EXPECT_EQ(table.no(0), 901);
}

// Runs body in a child process whose address space is limited to what it has now plus
// headroom; the child's exit status is body's result (0 = all expectations held).
int inLimitedChild(std::size_t headroomBytes, const std::function<int()>& body) {
    const pid_t child = ::fork();
    if (child == 0) {
        std::size_t pages = 0;
        if (FILE* statm = std::fopen("/proc/self/statm", "r")) {
            if (std::fscanf(statm, "%zu", &pages) != 1) {
                pages = 0;
            }
            std::fclose(statm);
        }
        const rlim_t limit =
            pages * static_cast<std::size_t>(::sysconf(_SC_PAGESIZE)) + headroomBytes;
        const rlimit r{limit, limit};
        ::setrlimit(RLIMIT_AS, &r);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

TEST_F(LargeFilesTest, RunningOutOfMemoryFailsTheLoadAndKeepsTheRows) {
    if (kAddressSanitizer) {
        GTEST_SKIP() << "the address space cannot be limited under AddressSanitizer";
    }
    // Ten million one-item rows: 30 MB of file, about 330 MB of table.
    const std::string huge = folder.path("huge.txt");
    {
        std::string block;
        for (int i = 0; i < 100'000; ++i) {
            block += "1\r\n";
        }
        std::FILE* out = std::fopen(huge.c_str(), "wb");
        ASSERT_NE(out, nullptr);
        std::fputs("No\r\n", out);
        for (int i = 0; i < 100; ++i) {
            std::fwrite(block.data(), 1, block.size(), out);
        }
        std::fclose(out);
    }
    addRows(table, 3);
    const int status = inLimitedChild(96u << 20, [&] {
        const FileOutcome outcome = LoadDataFile(huge, table, false);
        if (outcome.ok || outcome.message != "Failed to Load File!") {
            return 1;
        }
        if (table.rowCount() <= 3 || table.rowCount() >= 10'000'003) {
            return 2;
        }
        for (std::size_t r = 0; r < 3; ++r) {
            if (table.no(r) != static_cast<std::int32_t>(901 + r) ||
                table.text(r, Field::Time) != "12:00:00") {
                return 3;
            }
        }
        // What was loaded stays usable.
        return table.no(table.rowCount() - 1) == 1 ? 0 : 4;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(LargeFilesTest, ALineWithoutEndIsReadInConstantMemory) {
    if (kAddressSanitizer) {
        GTEST_SKIP() << "the address space cannot be limited under AddressSanitizer";
    }
    // A sparse file: 256 MiB of zero bytes in one text item, costing no disk.
    const std::string name = folder.path("zeros.txt");
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::write(fd, "No\r\n7\t", 6), 6);
    ASSERT_EQ(::ftruncate(fd, 256 << 20), 0);
    ::close(fd);
    const int status = inLimitedChild(48u << 20, [&] {
        TableStore t;
        const FileOutcome outcome = LoadDataFile(name, t, false);
        if (!outcome.ok || t.rowCount() != 1 || t.no(0) != 7) {
            return 1;
        }
        return t.text(0, Field::Time) == std::string(20, '\0') ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

}  // namespace
