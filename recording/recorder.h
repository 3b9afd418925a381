#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "meter/clock.h"
#include "meter/current_reading.h"
#include "meter/fixed_text.h"
#include "meter/reading_consumer.h"
#include "recording/row_sink.h"
#include "recording/table_store.h"

// The box New shows before it empties the table (one blank before and after).
inline constexpr std::string_view kRecordDeletedMessage = " Record deleted ";
// The box shown when a start-time edit holds an hour above 23 or a minute or second above 59.
inline constexpr std::string_view kInputErrorMessage = "Input error!";
// The warning of the digit filter.
inline constexpr std::string_view kDigitOnlyMessage = "Please input number 0-9";

// The edits whose texts the recorder holds (the window mirrors them).
enum class RecorderEdit : std::uint8_t { RecordSITime, TimeH, TimeM, TimeS, TimeInt };

// The six items of the "Record" menu, a radio group.
enum class RecordLimitItem : std::uint8_t { N10001, N50001, N100001, N500001, N1000001, limitess };
struct RecordLimitChoice {
    RecordLimitItem item;
    std::string_view caption;
    std::int32_t limit;
};
inline constexpr std::array<RecordLimitChoice, 6> kRecordLimitChoices = {{
    {RecordLimitItem::N10001, "1000", 1000},
    {RecordLimitItem::N50001, "5000", 5000},
    {RecordLimitItem::N100001, "10000", 10000},
    {RecordLimitItem::N500001, "50000", 50000},
    {RecordLimitItem::N1000001, "100000", 100000},
    {RecordLimitItem::limitess, "limitless", 10000000},
}};

// Hours, minutes and seconds that stamp recalled readings.
struct RecallClock {
    std::int32_t hours = 0;
    std::int32_t minutes = 0;
    std::int32_t seconds = 0;
    friend bool operator==(const RecallClock&, const RecallClock&) = default;
};

// What the recording step did with one reading. On a failed conversion `failure` holds the
// message ("'x' is not a valid integer value"); the view lives until the next recording step.
struct RecordOutcome {
    bool appended = false;
    std::string_view failure;
};

// What an edit handler has to tell the user: zero or more boxes, in order. A conversion failure
// (`conversionFailed`) is the application's error box; the others are information boxes.
struct EditOutcome {
    std::vector<std::string> messages;
    bool conversionFailed = false;  // the last message is a failed whole-number conversion
    // The edit's number was refused and the value before it kept (shown at the edit, no box):
    // why; empty when nothing was refused.
    std::string refused = {};
};

// The digit filter of the numeric edits (RecordSITimeKeyPress): "0"-"9" and backspace (8) pass;
// any other character is refused with kDigitOnlyMessage. Never fails.
bool RecordSITimeKeyPress(char key);

// The recording rules and their state: time stamp, admission, append, New, record limit,
// sampling countdown and the recall clock. Knows nothing of widgets: handlers return what the
// window has to show. The table and the clock must outlive the recorder.
class Recorder {
public:
    Recorder(TableStore& table, Clock& clock);

    // The recording step for one decoded reading: stamp it, then INDataToTable. Allocates
    // nothing once warm (the table grows in chunks). Fails (no row) only when RecordSITime holds
    // a text that is not a whole number.
    RecordOutcome recordReading(const CurrentReading& reading);
    // Admission and append with the time stamp already prepared (the second half of
    // recordReading). Fails like recordReading.
    RecordOutcome INDataToTable(const CurrentReading& reading);

    // New (RecordNewClick): the window shows kRecordDeletedMessage first, then calls this.
    // Empties the table, restarts numbering and the limit count. Never fails.
    void RecordNewClick();

    // The record limit menu. Changing the limit keeps RowsRecorded. Never fails.
    void selectRecordLimit(RecordLimitItem item);
    // Any other bound (the command line's --record-limit); the menu's choice is left as it is.
    void setRecordLimit(std::int32_t limit) { m_recordLimit = limit; }
    RecordLimitItem recordLimitItem() const { return m_limitItem; }
    std::int32_t recordLimit() const { return m_recordLimit; }

    // The character between hours, minutes and seconds of Time (":" until set; the window and
    // the command line set the system's). Never fails.
    void setTimeSeparator(char separator) { m_timeSeparator = separator; }
    char timeSeparator() const { return m_timeSeparator; }

    // The check boxes. Never fail.
    void setRepeat(bool checked) { m_repeat = checked; }
    bool repeat() const { return m_repeat; }
    void setSamplingInterval(bool checked);
    bool samplingInterval() const { return m_samplingInterval; }

    // The edits' texts. setEditText only stores the text; editChanged is the edit's change
    // event: store, then RecordSITimeChange.
    void setEditText(RecorderEdit edit, std::string_view text);
    const std::string& editText(RecorderEdit edit) const {
        return m_edits[static_cast<std::size_t>(edit)];
    }
    EditOutcome editChanged(RecorderEdit edit, std::string_view text);

    // Reloads SamplingCountdown from RecordSITime ("-", "+" and empty read as 0). A number too
    // large for the interval is refused (EditOutcome::refused; the interval before it stays in
    // force). Fails with the conversion message for any other text that is not a whole number
    // (countdown kept).
    EditOutcome RecordSITimeChange();
    // One tick of the window's 100 ms Trecord timer: while Sampling Interval is checked every
    // full elapsed second counts SamplingCountdown down by one (not below 0). Never fails.
    void TrecordTimer(int elapsedMs = 100);

    // RecallCheck clicked: edits become "00","00","00" (checked) or "23","59","59", then the
    // clock is set from them. Fails with the conversion message (clock part and the rest kept).
    EditOutcome RecallCheckClick(bool checked);
    bool recallChecked() const { return m_recall; }
    // Focus left RecallCheck: set the clock from the three edits; fails like RecallCheckClick.
    EditOutcome RecallCheckExit();
    // Key released in TimeH, TimeM or TimeS: each edit in turn sets its part of the clock when in
    // range (0-23, 0-59, 0-59); otherwise "Input error!" and that edit becomes "00". A text that
    // is not a whole number ends the check with the conversion message.
    EditOutcome TimeHKeyUp();

    // State, for the window and the tests.
    std::int32_t nextRowNumber() const { return m_nextRowNumber; }
    std::int32_t rowsRecorded() const { return m_rowsRecorded; }
    std::int32_t samplingCountdown() const { return m_samplingCountdown; }
    // Value, function, unit and auto/manual texts of the last recorded reading, joined.
    std::string lastRecordedKey() const;
    const RecallClock& recallClock() const { return m_recallClock; }
    // The seconds between recalled readings: TimeInt when it holds a whole number >= 0,
    // otherwise the last such value (1 at start).
    std::int32_t recallInterval() const { return m_recallInterval; }
    // The stamp of the last reading, hours/minutes/seconds as recorded in Time.
    const LocalDateTime& readingTimestamp() const { return m_readingTimestamp; }
    // The full moment of the last reading; unknown for recalled readings, whose Time is the
    // recall clock's and not a moment of the wall clock.
    const WallTime& readingWallTime() const { return m_readingWallTime; }

    // The table the rows go to.
    TableStore& table() { return m_table; }
    // The outputs of recorded rows: every appended row, New, saves, the end.
    RowSinkList& sinks() { return m_sinks; }

private:
    // The change key's parts, kept apart: copying them is a plain struct copy, and they are
    // compared as one joined text only when Repeat is off.
    struct ChangeKey {
        decltype(CurrentReading::valueText) value;
        decltype(CurrentReading::functionText) function;
        decltype(CurrentReading::unitText) unit;
        decltype(CurrentReading::autoManualText) autoManual;
    };
    static bool sameKey(const ChangeKey& key, const CurrentReading& reading);
    void stampReading();
    bool setClockFromEdits(EditOutcome& outcome);

    TableStore& m_table;
    Clock& m_clock;

    bool m_repeat = true;
    char m_timeSeparator = ':';
    bool m_samplingInterval = false;
    bool m_recall = false;
    std::array<std::string, 5> m_edits{"1", "23", "59", "59", "1"};
    // RecordSITime's reload value, converted when the text changes (nullopt: not a number).
    std::optional<std::int32_t> m_reloadValue = 1;
    bool m_reloadRefused = false;  // RecordSITime holds a number out of range; the value kept
    std::int32_t m_recallInterval = 1;

    std::int32_t m_nextRowNumber = 1;
    std::int32_t m_rowsRecorded = 0;
    std::int32_t m_recordLimit = 10000;
    RecordLimitItem m_limitItem = RecordLimitItem::N100001;
    ChangeKey m_lastRecordedKey;
    std::int32_t m_samplingCountdown = 0;
    int m_samplingElapsedMs = 0;
    RecallClock m_recallClock;
    LocalDateTime m_readingTimestamp;
    WallTime m_readingWallTime;
    RowSinkList m_sinks;
    std::string m_failure;
};

// The recorder as the decoder's recording step: appends and answers; a failed conversion goes
// to conversionFailed (which a window's subclass overrides to show its error box).
class RecorderConsumer : public ReadingConsumer {
public:
    explicit RecorderConsumer(Recorder& recorder) : m_recorder(recorder) {}
    bool recordReading(const CurrentReading& reading) override;

private:
    Recorder& m_recorder;
};
