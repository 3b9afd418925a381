// The analysis CSV and JSON Lines: row formatter, whole-table writers and the CSV reader.
#include "recording/analysis_files.h"

#include <array>
#include <charconv>

#include "meter/whole_number.h"
#include "recording/glyph_symbols.h"
#include "recording/quantity.h"

namespace {

constexpr std::size_t kCsvFields = 11;
// A field of our own files is a few dozen bytes; longer ones are cut, so that a file that is
// not ours (a quote never closed) is read in constant memory.
constexpr std::size_t kMaxFieldBytes = 256;

bool isBlankOrControl(char c) {
    return static_cast<unsigned char>(c) <= 0x20;
}

// A text as the files show it: without leading and trailing blanks and control characters, as
// the text file writes it.
std::string_view trimmed(std::string_view text) {
    while (!text.empty() && isBlankOrControl(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && isBlankOrControl(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

int twoDigits(std::string_view t, std::size_t at) {
    return (t[at] - '0') * 10 + (t[at + 1] - '0');
}

void appendDigits(std::string& out, long long value, int width) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    for (auto n = static_cast<int>(end - buffer); n < width; ++n) {
        out += '0';
    }
    out.append(buffer, end);
}

// A Time text that is a time of day, "hh:mm:ss" with any one-character separator.
bool isTimeOfDay(std::string_view t) {
    if (t.size() != 8 || isDigit(t[2]) || isDigit(t[5])) {
        return false;
    }
    for (const std::size_t at : {0u, 1u, 3u, 4u, 6u, 7u}) {
        if (!isDigit(t[at])) {
            return false;
        }
    }
    return twoDigits(t, 0) < 24 && twoDigits(t, 3) < 60 && twoDigits(t, 6) < 60;
}

void appendTimeOfDay(std::string& out, int h, int m, int s) {
    appendDigits(out, h, 2);
    out += ':';
    appendDigits(out, m, 2);
    out += ':';
    appendDigits(out, s, 2);
}

// The `time` field: the full moment, else the time of day of the Time text, else nothing.
void appendTimeField(std::string& out, const WallTime& moment, std::string_view timeText) {
    if (moment.known()) {
        appendIsoTime(out, moment);
        return;
    }
    timeText = trimmed(timeText);
    if (isTimeOfDay(timeText)) {
        appendTimeOfDay(out, twoDigits(timeText, 0), twoDigits(timeText, 3),
                        twoDigits(timeText, 6));
    }
}

void appendNumber(std::string& out, double value) {
    char buffer[32];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    out.append(buffer, end);
}

bool needsCsvQuotes(std::string_view field) {
    return field.find_first_of(",\"\r\n") != std::string_view::npos;
}

void appendCsvField(std::string& out, std::string_view field) {
    if (!needsCsvQuotes(field)) {
        out += field;
        return;
    }
    out += '"';
    for (const char c : field) {
        if (c == '"') {
            out += '"';
        }
        out += c;
    }
    out += '"';
}

void appendJsonString(std::string& out, std::string_view utf8) {
    out += '"';
    for (const char c : utf8) {
        const auto b = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (b < 0x20) {
            static constexpr char kHex[] = "0123456789abcdef";
            out += "\\u00";
            out += kHex[b >> 4];
            out += kHex[b & 15];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace

void appendIsoTime(std::string& out, const WallTime& moment) {
    int ms = 0;
    const LocalDateTime local = localDateTimeOf(moment, &ms);
    appendDigits(out, local.year, 4);
    out += '-';
    appendDigits(out, local.month, 2);
    out += '-';
    appendDigits(out, local.day, 2);
    out += 'T';
    appendTimeOfDay(out, local.hour, local.minute, local.second);
    out += '.';
    appendDigits(out, ms, 3);
    const std::int32_t offset = moment.utcOffsetSeconds;
    out += offset < 0 ? '-' : '+';
    const std::int32_t minutes = (offset < 0 ? -offset : offset) / 60;
    appendDigits(out, minutes / 60, 2);
    out += ':';
    appendDigits(out, minutes % 60, 2);
}

std::optional<WallTime> readIsoTime(std::string_view t) {
    // YYYY-MM-DDTHH:MM:SS[.mmm](+HH:MM|-HH:MM|Z)
    if (t.size() < 20 || t[4] != '-' || t[7] != '-' || t[10] != 'T' || t[13] != ':' ||
        t[16] != ':') {
        return std::nullopt;
    }
    for (const std::size_t at : {0u, 1u, 2u, 3u, 5u, 6u, 8u, 9u, 11u, 12u, 14u, 15u, 17u, 18u}) {
        if (!isDigit(t[at])) {
            return std::nullopt;
        }
    }
    LocalDateTime local;
    local.year = twoDigits(t, 0) * 100 + twoDigits(t, 2);
    local.month = twoDigits(t, 5);
    local.day = twoDigits(t, 8);
    local.hour = twoDigits(t, 11);
    local.minute = twoDigits(t, 14);
    local.second = twoDigits(t, 17);
    if (local.month < 1 || local.month > 12 || local.day < 1 || local.day > 31 || local.hour > 23 ||
        local.minute > 59 || local.second > 60) {
        return std::nullopt;
    }
    std::string_view rest = t.substr(19);
    int ms = 0;
    if (!rest.empty() && rest.front() == '.') {
        if (rest.size() < 4 || !isDigit(rest[1]) || !isDigit(rest[2]) || !isDigit(rest[3])) {
            return std::nullopt;
        }
        ms = (rest[1] - '0') * 100 + twoDigits(rest, 2);
        rest.remove_prefix(4);
    }
    std::int32_t offset = 0;
    if (rest == "Z") {
        offset = 0;
    } else if (rest.size() == 6 && (rest[0] == '+' || rest[0] == '-') && rest[3] == ':' &&
               isDigit(rest[1]) && isDigit(rest[2]) && isDigit(rest[4]) && isDigit(rest[5])) {
        const int h = twoDigits(rest, 1);
        const int m = twoDigits(rest, 4);
        if (h > 23 || m > 59) {
            return std::nullopt;
        }
        offset = (h * 3600 + m * 60) * (rest[0] == '-' ? -1 : 1);
    } else {
        return std::nullopt;
    }
    return wallTimeOf(local, offset, ms);
}

void AnalysisRowFormatter::appendElapsed(const WallTime& moment, std::string& out) {
    if (!m_originMs) {
        m_originMs = moment.msSinceEpoch;
    }
    std::int64_t ms = moment.msSinceEpoch - *m_originMs;
    if (ms < 0) {
        out += '-';
        ms = -ms;
    }
    appendDigits(out, ms / 1000, 1);
    out += '.';
    appendDigits(out, ms % 1000, 3);
}

void AnalysisRowFormatter::appendCsv(std::size_t row, std::string& out) {
    const WallTime moment = m_table.stamp(row);
    appendTimeField(out, moment, m_table.text(row, Field::Time));
    out += ',';
    if (moment.known()) {
        appendElapsed(moment, out);
    }
    out += ',';
    if (const auto no = m_table.no(row)) {
        appendDigits(out, *no, 1);
    }
    const Quantity q = m_quantities.at(row);
    out += ',';
    out += q.name;
    out += ',';
    if (q.value) {
        appendNumber(out, *q.value);
    }
    out += ',';
    out += q.siUnit;
    out += ',';
    out += readingFlagText(q.flag);
    for (const Field f : {Field::Value, Field::Unit, Field::Range}) {
        out += ',';
        m_field.clear();
        appendGlyphDisplayUtf8(m_field, trimmed(m_table.text(row, f)));
        appendCsvField(out, m_field);
    }
    out += ',';
    m_field.clear();
    appendLatin1AsUtf8(m_field, trimmed(m_table.text(row, Field::Auto)));
    appendCsvField(out, m_field);
    out += "\r\n";
}

void AnalysisRowFormatter::appendJson(std::size_t row, std::string& out) {
    const WallTime moment = m_table.stamp(row);
    out += "{\"time\":";
    m_field.clear();
    appendTimeField(m_field, moment, m_table.text(row, Field::Time));
    if (m_field.empty()) {
        out += "null";
    } else {
        appendJsonString(out, m_field);
    }
    out += ",\"elapsed_s\":";
    if (moment.known()) {
        appendElapsed(moment, out);
    } else {
        out += "null";
    }
    out += ",\"no\":";
    if (const auto no = m_table.no(row)) {
        appendDigits(out, *no, 1);
    } else {
        out += "null";
    }
    const Quantity q = m_quantities.at(row);
    out += ",\"quantity\":";
    appendJsonString(out, q.name);
    out += ",\"value\":";
    if (q.value) {
        appendNumber(out, *q.value);
    } else {
        out += "null";
    }
    out += ",\"unit\":";
    appendJsonString(out, q.siUnit);
    out += ",\"flags\":";
    appendJsonString(out, readingFlagText(q.flag));
    static constexpr std::array<std::pair<Field, const char*>, 3> kShown{
        {{Field::Value, ",\"display\":"},
         {Field::Unit, ",\"display_unit\":"},
         {Field::Range, ",\"range\":"}}};
    for (const auto& [field, key] : kShown) {
        out += key;
        m_field.clear();
        appendGlyphDisplayUtf8(m_field, trimmed(m_table.text(row, field)));
        appendJsonString(out, m_field);
    }
    out += ",\"mode\":";
    m_field.clear();
    appendLatin1AsUtf8(m_field, trimmed(m_table.text(row, Field::Auto)));
    appendJsonString(out, m_field);
    out += "}\n";
}

namespace {

// Rows go to the sink a block at a time: one string that never shrinks.
template <typename Append>
void writeRows(const TableStore& table, ByteSink& out, std::string_view header, Append append) {
    std::string block;
    block.reserve(64 * 1024);
    block += header;
    const std::size_t rows = table.rowCount();
    for (std::size_t r = 0; r < rows; ++r) {
        append(r, block);
        if (block.size() >= 60 * 1024) {
            out.put(block);
            block.clear();
        }
    }
    out.put(block);
}

}  // namespace

void writeTableCsv(const TableStore& table, ByteSink& out) {
    AnalysisRowFormatter rows(table);
    const std::string header = std::string(kAnalysisCsvHeader) + "\r\n";
    writeRows(table, out, header,
              [&](std::size_t r, std::string& block) { rows.appendCsv(r, block); });
}

void writeTableJsonLines(const TableStore& table, ByteSink& out) {
    AnalysisRowFormatter rows(table);
    writeRows(table, out, {},
              [&](std::size_t r, std::string& block) { rows.appendJson(r, block); });
}

bool startsWithAnalysisCsvHeader(std::string_view firstBytes) {
    if (firstBytes.starts_with("\xEF\xBB\xBF")) {
        firstBytes.remove_prefix(3);
    }
    if (!firstBytes.starts_with(kAnalysisCsvHeader)) {
        return false;
    }
    firstBytes.remove_prefix(kAnalysisCsvHeader.size());
    return firstBytes.empty() || firstBytes.front() == '\r' || firstBytes.front() == '\n';
}

namespace {

// One record of the CSV as fields, read a byte at a time in constant memory.
class CsvRecords {
public:
    explicit CsvRecords(ByteSource& in) : m_in(in) {}

    // Reads the next record; false at the end of the file or when the file is not CSV (a
    // stray quote, a quoted field never closed): failed() tells them apart.
    bool next() {
        m_count = 0;
        m_tooMany = false;
        m_fields[0].clear();
        enum class State { FieldStart, Plain, Quoted, QuoteInQuoted } state = State::FieldStart;
        bool started = false;
        while (true) {
            const int c = m_in.get();
            if (c < 0) {
                if (state == State::Quoted) {
                    m_failed = true;
                    return false;
                }
                if (started) {
                    endField();
                    return true;
                }
                m_failed = m_in.failed();
                return false;
            }
            const char ch = static_cast<char>(c);
            if (m_skipLf) {
                m_skipLf = false;
                if (ch == '\n') {
                    continue;
                }
            }
            if (!started && state == State::FieldStart && ch != '\r' && ch != '\n') {
                m_recordLine = m_lines + 1;  // the record begins on this line
            }
            // CR LF, LF and CR each end a line, inside a quoted field too.
            if (ch == '\r' || (ch == '\n' && !m_previousCr)) {
                ++m_lines;
            }
            m_previousCr = ch == '\r';
            if (state == State::Quoted) {
                if (ch == '"') {
                    state = State::QuoteInQuoted;
                } else {
                    add(ch);
                }
                continue;
            }
            if (state == State::QuoteInQuoted && ch == '"') {
                add('"');
                state = State::Quoted;
                continue;
            }
            if (ch == ',') {
                started = true;
                endField();
                state = State::FieldStart;
            } else if (ch == '\r' || ch == '\n') {
                m_skipLf = ch == '\r';
                if (started) {
                    endField();
                    return true;
                }
                // a blank line: no record
            } else if (state == State::QuoteInQuoted) {
                m_failed = true;  // text after a closing quote
                return false;
            } else if (ch == '"' && state == State::FieldStart) {
                started = true;
                state = State::Quoted;
            } else {
                started = true;
                add(ch);
                state = State::Plain;
            }
        }
    }

    bool failed() const { return m_failed; }
    // The line (from 1) on which the last record read began.
    std::uint64_t line() const { return m_recordLine; }
    std::size_t count() const { return m_tooMany ? kCsvFields + 1 : m_count; }
    const std::string& field(std::size_t i) const { return m_fields[i]; }

private:
    void add(char c) {
        if (!m_tooMany && m_fields[m_count].size() < kMaxFieldBytes) {
            m_fields[m_count] += c;
        }
    }
    void endField() {
        if (m_tooMany) {
            return;
        }
        if (m_count + 1 == kCsvFields + 1) {
            m_tooMany = true;
            return;
        }
        ++m_count;
        if (m_count < m_fields.size()) {
            m_fields[m_count].clear();
        }
    }

    ByteSource& m_in;
    std::array<std::string, kCsvFields + 1> m_fields;
    std::size_t m_count = 0;
    bool m_tooMany = false;
    bool m_skipLf = false;
    bool m_failed = false;
    std::uint64_t m_lines = 0;  // line ends read so far
    bool m_previousCr = false;
    std::uint64_t m_recordLine = 0;
};

// Appends one record as a row; false when it cannot be one.
bool postRecord(const CsvRecords& record, TableStore& table) {
    if (record.count() != kCsvFields) {
        return false;
    }
    RowData row;
    const std::string& no = record.field(2);
    if (!no.empty()) {
        row.no = parseWholeNumber(no);
        if (!row.no) {
            return false;
        }
    }
    std::string timeText;
    const std::string& time = record.field(0);
    if (const std::optional<WallTime> moment = readIsoTime(time)) {
        row.stamp = *moment;
        const LocalDateTime local = localDateTimeOf(*moment);
        appendTimeOfDay(timeText, local.hour, local.minute, local.second);
    } else if (isTimeOfDay(time)) {
        timeText = time;
    } else if (!time.empty()) {
        return false;
    }
    const std::optional<ReadingFlag> flag = readingFlagOfText(record.field(6));
    if (!flag) {
        return false;
    }
    std::string value = storedTextOfDisplay(record.field(7));
    if (*flag == ReadingFlag::Overload || *flag == ReadingFlag::NegativeOverload) {
        for (char& c : value) {
            c = c == 'L' ? '@' : c;  // the overload display's "0L" is stored as "0@"
        }
    }
    const std::string unit = storedTextOfDisplay(record.field(8));
    const std::string range = storedTextOfDisplay(record.field(9));
    const std::string mode = storedTextOfDisplay(record.field(10));
    row.texts = {timeText, functionTextOf(record.field(3), unit), value, unit, range, mode};
    table.append(row);
    return true;
}

}  // namespace

bool readTableCsv(ByteSource& in, TableStore& table, std::string* reason) {
    CsvRecords records(in);
    const auto fail = [&](const std::string& why) {
        if (reason != nullptr) {
            *reason = why;
        }
        return false;
    };
    if (!records.next()) {
        return fail("not a data file");
    }
    std::string header;
    for (std::size_t i = 0; i < std::min(records.count(), kCsvFields); ++i) {
        header += i == 0 ? "" : ",";
        header += records.field(i);
    }
    if (!startsWithAnalysisCsvHeader(header)) {
        return fail("not a data file");
    }
    while (records.next()) {
        if (!postRecord(records, table)) {
            return fail("line " + std::to_string(records.line()) +
                        ": not a row of the analysis CSV");
        }
    }
    if (records.failed() && !in.failed()) {
        return fail("line " + std::to_string(records.line()) +
                    ": not CSV (a stray or missing quote)");
    }
    if (in.failed()) {
        return fail("the file could not be read");
    }
    return !in.cancelled();
}
