#include "recording/row_writers.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "recording/analysis_files.h"
#include "recording/data_files.h"
#include "recording/recorder.h"
#include "tests/support/temp_folder.h"

namespace {

CurrentReading reading(std::string_view value, std::string_view function = "DCV",
                       std::string_view unit = "V") {
    CurrentReading r;
    r.valueText = value;
    r.functionText = function;
    r.unitText = unit;
    r.rangeText = "4 V";
    r.autoManualText = "Auto";
    return r;
}

// A pipe's read end, drained without blocking: what a reader of the log's output sees.
std::string drain(int fd) {
    std::string out;
    char buffer[4096];
    ssize_t n;
    while ((n = ::read(fd, buffer, sizeof buffer)) > 0) {
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

// Each format as the recorder's sink: the header at once, then each row complete as soon as it
// is recorded, exactly as a saved table of the same rows holds it.
TEST(RowWriters, WriteEveryRowAsItIsRecorded) {
    struct Case {
        const char* what;
        RowFormat format;
        std::string (*whole)(const TableStore&);
    };
    for (const Case& c :
         {Case{"tsv", RowFormat::Tsv, tableTextBytes}, Case{"csv", RowFormat::Csv, tableCsvBytes},
          Case{"jsonl", RowFormat::JsonLines, tableJsonLinesBytes}}) {
        SCOPED_TRACE(c.what);
        int fds[2];
        ASSERT_EQ(::pipe2(fds, O_NONBLOCK | O_CLOEXEC), 0);
        TableStore table;
        FixedClock clock{LocalDateTime{2026, 12, 10, 10, 17, 52}};
        clock.setWall(WallTime{1796894272123, 3600});
        Recorder recorder(table, clock);
        std::unique_ptr<TextRowSink> writer = createRowWriter(c.format, fds[1], "the pipe");
        recorder.sinks().add(*writer);
        std::string seen = drain(fds[0]);
        EXPECT_EQ(seen, c.whole(TableStore()));  // the header alone
        for (const char* value : {"1.234", "0.@", "1.235"}) {
            ASSERT_TRUE(recorder.recordReading(reading(value)).appended);
            const std::string row = drain(fds[0]);
            EXPECT_FALSE(row.empty()) << value;
            EXPECT_EQ(row.back(), '\n');
            seen += row;
        }
        recorder.sinks().batchEnd();
        recorder.sinks().finish();
        EXPECT_FALSE(writer->failure());
        EXPECT_EQ(seen, c.whole(table));
        recorder.sinks().remove(*writer);
        writer.reset();
        ::close(fds[0]);
    }
}

TEST(RowWriters, AFailedWriteEndsTheWritingAndSaysWhy) {
    const int fd = ::open("/dev/full", O_WRONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    std::unique_ptr<TextRowSink> writer = createRowWriter(RowFormat::Csv, fd, "/dev/full");
    ASSERT_TRUE(writer->failure());
    EXPECT_EQ(writer->failure()->error, ENOSPC);
    EXPECT_EQ(writer->failure()->text, "writing /dev/full failed: No space left on device");
    TableStore table;
    FixedClock clock;
    Recorder recorder(table, clock);
    recorder.sinks().add(*writer);
    EXPECT_TRUE(recorder.recordReading(reading("1.000")).appended);  // recording goes on
    EXPECT_EQ(writer->failure()->error, ENOSPC);
    recorder.sinks().remove(*writer);
}

TEST(RowWriters, FormatsAreChosenByWordAndByFileName) {
    EXPECT_EQ(rowFormatOfWord("tsv"), RowFormat::Tsv);
    EXPECT_EQ(rowFormatOfWord("csv"), RowFormat::Csv);
    EXPECT_EQ(rowFormatOfWord("jsonl"), RowFormat::JsonLines);
    EXPECT_EQ(rowFormatOfWord("json"), std::nullopt);
    EXPECT_EQ(rowFormatOfFile("log.xls"), RowFormat::Tsv);
    EXPECT_EQ(rowFormatOfFile("log.CSV"), RowFormat::Csv);
    EXPECT_EQ(rowFormatOfFile("dir.csv/log"), RowFormat::Tsv);
    EXPECT_EQ(rowFormatOfFile("log.jsonl"), RowFormat::JsonLines);
    EXPECT_EQ(rowFormatOfFile("log.xml"), std::nullopt);
    EXPECT_EQ(rowFormatOfFile("log.XML"), RowFormat::Tsv);  // as the window has always saved it
}

}  // namespace
