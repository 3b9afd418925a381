#include "recording/recorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

CurrentReading reading(std::string_view value, std::string_view range = "4 V",
                       std::string_view function = "DCV", float nval = 1234) {
    CurrentReading r;
    r.valueText = value;
    r.functionText = function;
    r.unitText = "V";
    r.rangeText = range;
    r.autoManualText = "Auto";
    r.nval = nval;
    return r;
}

class RecorderTest : public ::testing::Test {
protected:
    TableStore table;
    FixedClock clock{LocalDateTime{2026, 12, 9, 12, 4, 31}};
    Recorder recorder{table, clock};

    int feed(const CurrentReading& r, int times) {
        int appended = 0;
        for (int i = 0; i < times; ++i) {
            appended += recorder.recordReading(r).appended ? 1 : 0;
        }
        return appended;
    }
};

TEST_F(RecorderTest, RecordsEveryReadingWithAllFieldsAtStartUp) {
    const auto outcome = recorder.recordReading(reading("1.234", "4 V", "DCV", -1234));
    EXPECT_TRUE(outcome.appended);
    EXPECT_TRUE(outcome.failure.empty());
    ASSERT_EQ(table.rowCount(), 1u);
    EXPECT_EQ(table.no(0), 1);
    EXPECT_EQ(table.text(0, Field::Time), "12:04:31");
    EXPECT_EQ(table.text(0, Field::DcAc), "DCV");
    EXPECT_EQ(table.text(0, Field::Value), "1.234");
    EXPECT_EQ(table.text(0, Field::Unit), "V");
    EXPECT_EQ(table.text(0, Field::Range), "4 V");
    EXPECT_EQ(table.text(0, Field::Auto), "Auto");
    EXPECT_EQ(table.nval(0), -1234);
    EXPECT_EQ(recorder.recordReading(reading("1.234")).appended, true);
    EXPECT_EQ(table.no(1), 2);
}

TEST_F(RecorderTest, RecordLimitAdmitsOneRowMoreThanTheLimit) {
    struct Case {
        RecordLimitItem item;
        std::int32_t limit;
    };
    for (const Case c : {Case{RecordLimitItem::N10001, 1000}, Case{RecordLimitItem::N50001, 5000},
                         Case{RecordLimitItem::N100001, 10000}}) {
        SCOPED_TRACE(c.limit);
        recorder.RecordNewClick();
        recorder.selectRecordLimit(c.item);
        EXPECT_EQ(recorder.recordLimit(), c.limit);
        EXPECT_EQ(feed(reading("1.000"), c.limit + 5), c.limit + 1);
        EXPECT_EQ(table.rowCount(), std::size_t(c.limit + 1));
    }
    // Raising the limit resumes recording; the count is not reset.
    recorder.selectRecordLimit(RecordLimitItem::N500001);
    EXPECT_EQ(recorder.rowsRecorded(), 10001);
    EXPECT_EQ(feed(reading("1.000"), 1), 1);
    // Lowering it below the count stops at once and removes nothing.
    recorder.selectRecordLimit(RecordLimitItem::N10001);
    EXPECT_EQ(feed(reading("1.000"), 3), 0);
    EXPECT_EQ(table.rowCount(), 10002u);
    recorder.selectRecordLimit(RecordLimitItem::limitess);
    EXPECT_EQ(recorder.recordLimit(), 10000000);
    EXPECT_EQ(recorder.recordLimitItem(), RecordLimitItem::limitess);
}

TEST_F(RecorderTest, WithoutRepeatOnlyChangedReadingsAreRecorded) {
    recorder.setRepeat(false);
    EXPECT_EQ(feed(reading("1.234", "4 V"), 3), 1);
    // The range text is not part of the change key.
    EXPECT_EQ(feed(reading("1.234", "40 V"), 1), 0);
    EXPECT_EQ(feed(reading("1.235", "40 V"), 1), 1);
    EXPECT_EQ(table.no(1), 2);
    // Each of value, function, unit and auto/manual counts.
    CurrentReading r = reading("1.235", "40 V");
    r.autoManualText = "Manu";
    EXPECT_EQ(feed(r, 2), 1);
    r.unitText = "mV";
    EXPECT_EQ(feed(r, 2), 1);
    r.functionText = "ACV";
    EXPECT_EQ(feed(r, 2), 1);
    EXPECT_EQ(recorder.lastRecordedKey(), "1.235ACVmVManu");
    // The key is the joined text, not its parts.
    r.valueText = "1.23";
    r.functionText = "5ACV";
    EXPECT_EQ(feed(r, 1), 0);
    r.valueText = "1.2";
    EXPECT_EQ(feed(r, 1), 1);
}

TEST_F(RecorderTest, NewRestartsNumberingButKeepsTheChangeKeyAndSettings) {
    recorder.setRepeat(false);
    recorder.selectRecordLimit(RecordLimitItem::N10001);
    feed(reading("1.000"), 1);
    feed(reading("2.000"), 1);
    recorder.editChanged(RecorderEdit::RecordSITime, "7");
    recorder.RecordNewClick();
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(recorder.nextRowNumber(), 1);
    EXPECT_EQ(recorder.rowsRecorded(), 0);
    EXPECT_EQ(recorder.recordLimit(), 1000);
    EXPECT_EQ(recorder.samplingCountdown(), 7);
    EXPECT_EQ(feed(reading("2.000"), 1), 0);  // equal to the last one recorded before New
    EXPECT_EQ(feed(reading("3.000"), 1), 1);
    EXPECT_EQ(table.no(0), 1);
    recorder.RecordNewClick();  // on an empty table too
    EXPECT_EQ(kRecordDeletedMessage, " Record deleted ");
}

TEST_F(RecorderTest, SamplingHoldsReadingsUntilTheCountdownRunsOut) {
    recorder.setSamplingInterval(true);
    recorder.editChanged(RecorderEdit::RecordSITime, "2");
    EXPECT_EQ(recorder.samplingCountdown(), 2);
    recorder.editChanged(RecorderEdit::RecordSITime, "0");
    EXPECT_EQ(feed(reading("1.000"), 1), 1);
    // Loaded with 0 the countdown never holds anything back.
    EXPECT_EQ(feed(reading("1.000"), 2), 2);

    recorder.editChanged(RecorderEdit::RecordSITime, "2");
    EXPECT_EQ(feed(reading("1.000"), 1), 0);
    for (int tick = 0; tick < 19; ++tick) {  // 1.9 s of 100 ms ticks
        recorder.TrecordTimer(100);
    }
    EXPECT_EQ(recorder.samplingCountdown(), 1);
    EXPECT_EQ(feed(reading("1.000"), 1), 0);
    recorder.TrecordTimer(100);
    EXPECT_EQ(recorder.samplingCountdown(), 0);
    EXPECT_EQ(feed(reading("1.000"), 5), 1);  // reloaded with 2 by the admission
    EXPECT_EQ(recorder.samplingCountdown(), 2);

    // With Sampling Interval unchecked the countdown neither runs nor holds anything back.
    recorder.setSamplingInterval(false);
    for (int tick = 0; tick < 30; ++tick) {
        recorder.TrecordTimer(100);
    }
    EXPECT_EQ(recorder.samplingCountdown(), 2);
    EXPECT_EQ(feed(reading("1.000"), 2), 2);
}

TEST_F(RecorderTest, ReloadTextsAndTheirFailures) {
    struct Case {
        std::string_view text;
        std::optional<std::int32_t> countdown;  // nullopt: conversion fails
    };
    const Case cases[] = {{"-", 0}, {"+", 0}, {"", 0}, {"12", 12}, {"0", 0}, {"x1", std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.text));
        recorder.editChanged(RecorderEdit::RecordSITime, "5");
        const EditOutcome outcome = recorder.editChanged(RecorderEdit::RecordSITime, c.text);
        if (c.countdown) {
            EXPECT_TRUE(outcome.messages.empty());
            EXPECT_EQ(recorder.samplingCountdown(), *c.countdown);
        } else {
            ASSERT_EQ(outcome.messages.size(), 1u);
            EXPECT_TRUE(outcome.conversionFailed);
            EXPECT_EQ(outcome.messages[0], "'x1' is not a valid integer value");
            EXPECT_EQ(recorder.samplingCountdown(), 5);
        }
    }
    // A reload text that is no number abandons the recording step: no row, the reason told.
    const auto outcome = recorder.recordReading(reading("1.000"));
    EXPECT_FALSE(outcome.appended);
    EXPECT_EQ(outcome.failure, "'x1' is not a valid integer value");
    EXPECT_TRUE(table.empty());
    EXPECT_EQ(recorder.nextRowNumber(), 1);
}

TEST_F(RecorderTest, AnIntervalTooLargeIsRefusedAndRecordingGoesOn) {
    recorder.editChanged(RecorderEdit::RecordSITime, "5");
    for (const std::string& text : {std::string("12345678901"), std::string(200, '7')}) {
        SCOPED_TRACE(text.substr(0, 12));
        const EditOutcome outcome = recorder.editChanged(RecorderEdit::RecordSITime, text);
        EXPECT_TRUE(outcome.messages.empty()) << "no box";
        EXPECT_FALSE(outcome.conversionFailed);
        EXPECT_EQ(outcome.refused, "'" + text +
                                       "' is out of range: the sampling interval is at most "
                                       "2147483647 seconds; the interval of 5 stays");
        EXPECT_EQ(recorder.samplingCountdown(), 5);
        EXPECT_TRUE(recorder.recordReading(reading("1.000")).appended);
    }
    // Fixed, the mark goes and the new interval counts.
    const EditOutcome fixed = recorder.editChanged(RecorderEdit::RecordSITime, "3");
    EXPECT_TRUE(fixed.refused.empty());
    EXPECT_EQ(recorder.samplingCountdown(), 3);
}

TEST_F(RecorderTest, RecallClockStampsFromTheStartTimePlusTheInterval) {
    recorder.RecallCheckClick(true);
    EXPECT_EQ(recorder.editText(RecorderEdit::TimeH), "00");
    recorder.setEditText(RecorderEdit::TimeH, "23");
    recorder.setEditText(RecorderEdit::TimeM, "59");
    recorder.setEditText(RecorderEdit::TimeS, "59");
    EXPECT_TRUE(recorder.TimeHKeyUp().messages.empty());
    EXPECT_EQ(recorder.recallClock(), (RecallClock{23, 59, 59}));

    feed(reading("1.000"), 2);
    EXPECT_EQ(table.text(0, Field::Time), "00:00:00");
    EXPECT_EQ(table.text(1, Field::Time), "00:00:01");

    // The clock advances with every frame, recorded or not.
    recorder.setRepeat(false);
    feed(reading("1.000"), 3);
    feed(reading("2.000"), 1);
    EXPECT_EQ(table.text(2, Field::Time), "00:00:05");

    // A bad interval keeps the last good one instead of failing every frame.
    recorder.setEditText(RecorderEdit::TimeInt, "90");
    recorder.setEditText(RecorderEdit::TimeInt, "");
    recorder.setEditText(RecorderEdit::TimeInt, "abc");
    recorder.setEditText(RecorderEdit::TimeInt, "-5");
    EXPECT_EQ(recorder.recallInterval(), 90);
    feed(reading("3.000"), 1);
    EXPECT_EQ(table.text(3, Field::Time), "00:01:35");
    // A huge interval costs the same as a small one and wraps the day.
    recorder.setEditText(RecorderEdit::TimeInt, "2000000000");
    feed(reading("4.000"), 1);
    const std::int64_t expected = (95 + 2000000000LL) % 86400;
    char text[16];
    std::snprintf(text, sizeof text, "%02d:%02d:%02d", int(expected / 3600),
                  int(expected / 60 % 60), int(expected % 60));
    EXPECT_EQ(table.text(4, Field::Time), text);

    // Unchecked: the present time again, edits back to 23:59:59.
    recorder.RecallCheckClick(false);
    EXPECT_EQ(recorder.recallClock(), (RecallClock{23, 59, 59}));
    feed(reading("5.000"), 1);
    EXPECT_EQ(table.text(5, Field::Time), "12:04:31");
}

TEST_F(RecorderTest, StartTimeEditsAreCheckedInTurn) {
    recorder.RecallCheckClick(true);
    recorder.setEditText(RecorderEdit::TimeH, "7");
    recorder.setEditText(RecorderEdit::TimeM, "8");
    recorder.setEditText(RecorderEdit::TimeS, "9");
    recorder.TimeHKeyUp();
    ASSERT_EQ(recorder.recallClock(), (RecallClock{7, 8, 9}));

    struct Case {
        std::string_view h, m, s;
        std::vector<std::string> messages;
        RecallClock clock;
        std::string_view hAfter, mAfter;
    };
    const Case cases[] = {
        {"24", "8", "9", {"Input error!"}, {7, 8, 9}, "00", "8"},
        {"24", "60", "10", {"Input error!", "Input error!"}, {7, 8, 10}, "00", "00"},
        {"5", "59", "60", {"Input error!"}, {5, 59, 9}, "5", "59"},
        {"-1", "1", "1", {"Input error!"}, {7, 1, 1}, "00", "1"},
        {"3", "", "30", {"'' is not a valid integer value"}, {3, 8, 9}, "3", ""},
        {"x", "1", "1", {"'x' is not a valid integer value"}, {7, 8, 9}, "x", "1"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.h) + ":" + std::string(c.m) + ":" + std::string(c.s));
        recorder.setEditText(RecorderEdit::TimeH, "7");
        recorder.setEditText(RecorderEdit::TimeM, "8");
        recorder.setEditText(RecorderEdit::TimeS, "9");
        recorder.TimeHKeyUp();
        recorder.setEditText(RecorderEdit::TimeH, c.h);
        recorder.setEditText(RecorderEdit::TimeM, c.m);
        recorder.setEditText(RecorderEdit::TimeS, c.s);
        const EditOutcome outcome = recorder.TimeHKeyUp();
        EXPECT_EQ(outcome.messages, c.messages);
        EXPECT_EQ(recorder.recallClock(), c.clock);
        EXPECT_EQ(recorder.editText(RecorderEdit::TimeH), c.hAfter);
        EXPECT_EQ(recorder.editText(RecorderEdit::TimeM), c.mAfter);
    }

    // Leaving the check box sets the whole clock; a bad text stops it there.
    recorder.setEditText(RecorderEdit::TimeH, "1");
    recorder.setEditText(RecorderEdit::TimeM, "2");
    recorder.setEditText(RecorderEdit::TimeS, "3");
    EXPECT_TRUE(recorder.RecallCheckExit().messages.empty());
    EXPECT_EQ(recorder.recallClock(), (RecallClock{1, 2, 3}));
    recorder.setEditText(RecorderEdit::TimeM, "?");
    const EditOutcome outcome = recorder.RecallCheckExit();
    EXPECT_TRUE(outcome.conversionFailed);
    EXPECT_EQ(outcome.messages, std::vector<std::string>{"'?' is not a valid integer value"});
}

// Every recorded row carries its full moment and is told to the sinks; recalled rows, stamped
// by the recall clock, have no moment; New tells the sinks the rows are gone.
TEST_F(RecorderTest, RowsCarryTheirMomentAndReachTheSinks) {
    struct Sink final : RowSink {
        std::vector<std::size_t> rows;
        int discarded = 0;
        void rowRecorded(const TableStore& t, std::size_t row) override {
            EXPECT_EQ(row + 1, t.rowCount());
            rows.push_back(row);
        }
        void rowsDiscarded() override { ++discarded; }
    } sink;
    recorder.sinks().add(sink);
    clock.setWall(WallTime{1765273471250, 3600});
    ASSERT_TRUE(recorder.recordReading(reading("1.000")).appended);
    EXPECT_EQ(table.stamp(0), (WallTime{1765273471250, 3600}));
    recorder.RecallCheckClick(true);
    ASSERT_TRUE(recorder.recordReading(reading("2.000")).appended);
    EXPECT_FALSE(table.stamp(1).known());
    EXPECT_EQ(sink.rows, (std::vector<std::size_t>{0, 1}));
    recorder.RecordNewClick();
    EXPECT_EQ(sink.discarded, 1);
    recorder.sinks().remove(sink);
}

TEST(DigitFilter, LetsOnlyDigitsAndBackspaceThrough) {
    for (char c = '0'; c <= '9'; ++c) {
        EXPECT_TRUE(RecordSITimeKeyPress(c)) << c;
    }
    EXPECT_TRUE(RecordSITimeKeyPress('\b'));
    for (const char c : {'a', 'Z', '-', '+', ' ', '.', '\t', '\r', '\x7f', '\xB0'}) {
        EXPECT_FALSE(RecordSITimeKeyPress(c)) << int(c);
    }
    EXPECT_EQ(kDigitOnlyMessage, "Please input number 0-9");
}

TEST(RecorderConsumer, AnswersTheDecoderAndForwardsFailures) {
    struct Window : RecorderConsumer {
        using RecorderConsumer::RecorderConsumer;
        std::vector<std::string> failures;
        void conversionFailed(std::string_view message) override { failures.emplace_back(message); }
    };
    TableStore table;
    FixedClock clock;
    Recorder recorder(table, clock);
    Window window(recorder);
    ReadingConsumer& consumer = window;
    EXPECT_TRUE(consumer.recordReading(reading("1.000")));
    recorder.setEditText(RecorderEdit::RecordSITime, "1a");
    EXPECT_FALSE(consumer.recordReading(reading("1.000")));
    EXPECT_EQ(window.failures, std::vector<std::string>{"'1a' is not a valid integer value"});
    EXPECT_EQ(table.rowCount(), 1u);
}

}  // namespace
