#include "recording/recorder.h"

#include <cstdio>
#include <limits>
#include <string>

#include "meter/whole_number.h"

namespace {

std::size_t editIndex(RecorderEdit edit) {
    return static_cast<std::size_t>(edit);
}

// Two digits per part, the system's time separator between them; the stamp of a clock part
// outside 0..99 still fits the field.
std::size_t formatTime(const LocalDateTime& t, char separator, char* out) {
    auto two = [](int v, char* at) {
        if (v < 0 || v > 99) {
            v = ((v % 100) + 100) % 100;
        }
        at[0] = static_cast<char>('0' + v / 10);
        at[1] = static_cast<char>('0' + v % 10);
    };
    two(t.hour, out);
    out[2] = separator;
    two(t.minute, out + 3);
    out[5] = separator;
    two(t.second, out + 6);
    return 8;
}

// A sign and digits only, yet no 32-bit whole number: too large, not malformed.
bool isNumberOutOfRange(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+')) {
        text.remove_prefix(1);
    }
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

bool RecordSITimeKeyPress(char key) {
    return (key >= '0' && key <= '9') || key == '\b';
}

Recorder::Recorder(TableStore& table, Clock& clock)
    : m_table(table), m_clock(clock), m_readingTimestamp(clock.now()) {}

bool Recorder::sameKey(const ChangeKey& key, const CurrentReading& reading) {
    // The key is the four texts joined without a separator, so "1.2"+"3V" equals "1.23"+"V":
    // compare the joined bytes, not the parts.
    const std::string_view a[4] = {key.value, key.function, key.unit, key.autoManual};
    const std::string_view b[4] = {reading.valueText, reading.functionText, reading.unitText,
                                   reading.autoManualText};
    if (a[0].size() + a[1].size() + a[2].size() + a[3].size() !=
        b[0].size() + b[1].size() + b[2].size() + b[3].size()) {
        return false;
    }
    std::size_t ia = 0, ib = 0, pa = 0, pb = 0;
    while (true) {
        while (ia < 4 && pa == a[ia].size()) {
            ++ia;
            pa = 0;
        }
        while (ib < 4 && pb == b[ib].size()) {
            ++ib;
            pb = 0;
        }
        if (ia == 4 || ib == 4) {
            return ia == ib;
        }
        if (a[ia][pa++] != b[ib][pb++]) {
            return false;
        }
    }
}

std::string Recorder::lastRecordedKey() const {
    return m_lastRecordedKey.value.str() + m_lastRecordedKey.function.str() +
           m_lastRecordedKey.unit.str() + m_lastRecordedKey.autoManual.str();
}

void Recorder::stampReading() {
    if (!m_recall) {
        m_readingWallTime = m_clock.wallNow(m_readingTimestamp);
        return;
    }
    m_readingWallTime = WallTime{};
    // Seconds carry into minutes and minutes into hours; past 23 the hours start again at 0.
    // Done with division so that any interval costs the same.
    RecallClock& c = m_recallClock;
    std::int64_t seconds = std::int64_t{c.seconds} + m_recallInterval;
    if (seconds > 59) {
        std::int64_t minutes = std::int64_t{c.minutes} + seconds / 60;
        seconds %= 60;
        if (minutes > 59) {
            std::int64_t hours = std::int64_t{c.hours} + minutes / 60;
            minutes %= 60;
            if (hours > 23) {
                hours %= 24;
            }
            c.hours = static_cast<std::int32_t>(hours);
        }
        c.minutes = static_cast<std::int32_t>(minutes);
    }
    c.seconds = static_cast<std::int32_t>(seconds);
    m_readingTimestamp = LocalDateTime{};
    m_readingTimestamp.hour = c.hours;
    m_readingTimestamp.minute = c.minutes;
    m_readingTimestamp.second = c.seconds;
}

RecordOutcome Recorder::recordReading(const CurrentReading& reading) {
    stampReading();
    return INDataToTable(reading);
}

RecordOutcome Recorder::INDataToTable(const CurrentReading& reading) {
    if (m_recordLimit < m_rowsRecorded) {
        return {};
    }
    // A negative countdown (a reload value below 0) would otherwise hold readings back forever.
    if (m_samplingInterval && m_samplingCountdown > 0) {
        return {};
    }
    if (!m_repeat && sameKey(m_lastRecordedKey, reading)) {
        return {};
    }
    if (!m_reloadValue) {
        const std::string& text = m_edits[editIndex(RecorderEdit::RecordSITime)];
        // Written into a kept buffer: a bad reload text fails every frame, and each failure
        // must not allocate once the buffer has grown to the message's size.
        m_failure.resize(text.size() + 64);
        m_failure.resize(formatNotAWholeNumber(text, m_failure.data(), m_failure.size()));
        return {false, m_failure};
    }
    m_lastRecordedKey = {reading.valueText, reading.functionText, reading.unitText,
                         reading.autoManualText};
    m_samplingCountdown = *m_reloadValue;
    m_samplingElapsedMs = 0;
    ++m_rowsRecorded;

    char time[8];
    const std::size_t timeLength = formatTime(m_readingTimestamp, m_timeSeparator, time);
    RowData row;
    row.no = m_nextRowNumber;
    row.texts = {std::string_view(time, timeLength), reading.functionText.view(),
                 reading.valueText.view(),           reading.unitText.view(),
                 reading.rangeText.view(),           reading.autoManualText.view()};
    // The reading's count is a whole number already; out-of-range floats are clamped rather
    // than converted with undefined behaviour.
    const float v = reading.nval;
    if (v >= 2147483647.0f) {
        row.nval = INT32_MAX;
    } else if (v <= -2147483648.0f) {
        row.nval = INT32_MIN;
    } else if (v == v) {
        row.nval = static_cast<std::int32_t>(v);
    } else {
        row.nval = 0;
    }
    row.stamp = m_readingWallTime;
    ++m_nextRowNumber;
    m_table.append(row);
    m_sinks.rowRecorded(m_table, m_table.rowCount() - 1);
    return {true, {}};
}

void Recorder::RecordNewClick() {
    if (!m_table.empty()) {
        m_table.clear();
    }
    m_nextRowNumber = 1;
    m_rowsRecorded = 0;
    m_sinks.rowsDiscarded();
}

void Recorder::selectRecordLimit(RecordLimitItem item) {
    for (const RecordLimitChoice& c : kRecordLimitChoices) {
        if (c.item == item) {
            m_limitItem = item;
            m_recordLimit = c.limit;
        }
    }
}

void Recorder::setSamplingInterval(bool checked) {
    m_samplingInterval = checked;
    m_samplingElapsedMs = 0;
}

void Recorder::setEditText(RecorderEdit edit, std::string_view text) {
    m_edits[editIndex(edit)].assign(text);
    if (edit == RecorderEdit::RecordSITime) {
        m_reloadRefused = false;
        if (text == "-" || text == "+" || text.empty()) {
            m_reloadValue = 0;
        } else if (const auto value = parseWholeNumber(text)) {
            m_reloadValue = value;
        } else if (isNumberOutOfRange(text)) {
            // Digits beyond what the interval holds: refused, and the interval in force stays,
            // so recording goes on instead of failing every frame.
            m_reloadRefused = true;
        } else {
            m_reloadValue = std::nullopt;
        }
    } else if (edit == RecorderEdit::TimeInt) {
        // Read once per frame while recalling; a bad text keeps the last good interval instead
        // of failing every frame. A negative interval would run the clock backwards.
        const auto v = parseWholeNumber(text);
        if (v && *v >= 0) {
            m_recallInterval = *v;
        }
    }
}

EditOutcome Recorder::editChanged(RecorderEdit edit, std::string_view text) {
    setEditText(edit, text);
    return RecordSITimeChange();
}

EditOutcome Recorder::RecordSITimeChange() {
    EditOutcome outcome;
    if (m_reloadRefused) {
        outcome.refused = "'" + m_edits[editIndex(RecorderEdit::RecordSITime)] +
                          "' is out of range: the sampling interval is at most " +
                          std::to_string(std::numeric_limits<std::int32_t>::max()) +
                          " seconds; the interval of " + std::to_string(m_reloadValue.value_or(0)) +
                          " stays";
        return outcome;
    }
    if (!m_reloadValue) {
        outcome.messages.push_back(
            notAWholeNumberMessage(m_edits[editIndex(RecorderEdit::RecordSITime)]));
        outcome.conversionFailed = true;
        return outcome;
    }
    m_samplingCountdown = *m_reloadValue;
    m_samplingElapsedMs = 0;
    return outcome;
}

void Recorder::TrecordTimer(int elapsedMs) {
    if (!m_samplingInterval || elapsedMs <= 0) {
        m_samplingElapsedMs = 0;
        return;
    }
    m_samplingElapsedMs += elapsedMs;
    while (m_samplingElapsedMs >= 1000) {
        m_samplingElapsedMs -= 1000;
        if (m_samplingCountdown > 0) {
            --m_samplingCountdown;
        }
    }
}

bool Recorder::setClockFromEdits(EditOutcome& outcome) {
    std::int32_t* parts[3] = {&m_recallClock.hours, &m_recallClock.minutes, &m_recallClock.seconds};
    const RecorderEdit edits[3] = {RecorderEdit::TimeH, RecorderEdit::TimeM, RecorderEdit::TimeS};
    for (int i = 0; i < 3; ++i) {
        const std::string& text = m_edits[editIndex(edits[i])];
        const auto v = parseWholeNumber(text);
        if (!v) {
            outcome.messages.push_back(notAWholeNumberMessage(text));
            outcome.conversionFailed = true;
            return false;
        }
        *parts[i] = *v;
    }
    return true;
}

EditOutcome Recorder::RecallCheckClick(bool checked) {
    m_recall = checked;
    setEditText(RecorderEdit::TimeH, checked ? "00" : "23");
    setEditText(RecorderEdit::TimeM, checked ? "00" : "59");
    setEditText(RecorderEdit::TimeS, checked ? "00" : "59");
    EditOutcome outcome;
    setClockFromEdits(outcome);
    return outcome;
}

EditOutcome Recorder::RecallCheckExit() {
    EditOutcome outcome;
    setClockFromEdits(outcome);
    return outcome;
}

EditOutcome Recorder::TimeHKeyUp() {
    EditOutcome outcome;
    struct Part {
        RecorderEdit edit;
        std::int32_t* value;
        std::int32_t max;
    };
    const Part parts[3] = {{RecorderEdit::TimeH, &m_recallClock.hours, 23},
                           {RecorderEdit::TimeM, &m_recallClock.minutes, 59},
                           {RecorderEdit::TimeS, &m_recallClock.seconds, 59}};
    for (const Part& p : parts) {
        const std::string& text = m_edits[editIndex(p.edit)];
        const auto v = parseWholeNumber(text);
        if (!v) {
            outcome.messages.push_back(notAWholeNumberMessage(text));
            outcome.conversionFailed = true;
            return outcome;
        }
        // A negative part is as wrong as one past the end of the clock.
        if (*v >= 0 && *v <= p.max) {
            *p.value = *v;
        } else {
            outcome.messages.emplace_back(kInputErrorMessage);
            setEditText(p.edit, "00");
        }
    }
    return outcome;
}

bool RecorderConsumer::recordReading(const CurrentReading& reading) {
    const RecordOutcome outcome = m_recorder.recordReading(reading);
    if (!outcome.failure.empty()) {
        conversionFailed(outcome.failure);
    }
    return outcome.appended;
}
