#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "recording/byte_stream.h"
#include "recording/table_quantities.h"
#include "recording/table_store.h"

// The analysis formats beside the text file and the data packet: CSV (RFC 4180, UTF-8, no
// byte-order mark, "." as the decimal point whatever the locale, CR LF line ends) and JSON Lines
// (one object per row, LF line ends), with each row's full moment, its quantity and its value
// as an SI number. Both hold the same fields, in the order of the CSV header.

inline constexpr std::string_view kAnalysisCsvHeader =
    "time,elapsed_s,no,quantity,value,unit,flags,display,display_unit,range,mode";

// The ISO 8601 local date and time of a known moment with milliseconds and its offset:
// "2026-12-10T10:17:52.123+01:00". Never fails.
void appendIsoTime(std::string& out, const WallTime& moment);
// Reads what appendIsoTime writes (a "Z" for +00:00 and no milliseconds are accepted too);
// nullopt for anything else.
std::optional<WallTime> readIsoTime(std::string_view text);

// Forms the rows of one file, in order: elapsed_s counts from the first row with a known moment
// it formed. Rows without a moment but with a Time text "hh:mm:ss" (rows loaded from the text or
// XML files, recalled rows) carry that time of day in `time`, so that no conversion loses it.
class AnalysisRowFormatter {
public:
    // table must outlive the formatter. With cache, its rows are read through a cache of their
    // texts: call forget() after the table was cleared or replaced.
    explicit AnalysisRowFormatter(const TableStore& table, bool cache = true)
        : m_table(table), m_quantities(table, cache) {}

    // Appends row as one CSV record with its CR LF. Never fails short of memory.
    void appendCsv(std::size_t row, std::string& out);
    // Appends row as one JSON object with its LF; value, no, time and elapsed_s are null when
    // unknown. Never fails short of memory.
    void appendJson(std::size_t row, std::string& out);
    void forget() { m_quantities.forget(); }
    // Where elapsed_s counts from (the first known moment formed); carried over when a live
    // output needs a new formatter for another table.
    std::optional<std::int64_t> elapsedOrigin() const { return m_originMs; }
    void continueElapsedFrom(std::int64_t originMs) { m_originMs = originMs; }

private:
    void appendElapsed(const WallTime& moment, std::string& out);

    const TableStore& m_table;
    TableQuantities m_quantities;
    std::optional<std::int64_t> m_originMs;
    std::string m_field;
};

// The whole table in a format. Never fail (the sink records write errors).
void writeTableCsv(const TableStore& table, ByteSink& out);
void writeTableJsonLines(const TableStore& table, ByteSink& out);

// Whether a file's first bytes begin with the analysis CSV header line (a UTF-8 byte-order mark
// before it is allowed): a ".csv" without it is the tab-separated text.
bool startsWithAnalysisCsvHeader(std::string_view firstBytes);
// Appends the rows of an analysis CSV (header included) to the table, full moments included.
// The function text comes back from the quantity and unit, the glyph characters from their
// symbols; Nval stays empty, as for the text file. Blank lines are skipped. False at the first
// record that cannot be a row (the rows before it stay) or on a read error; reason, when given,
// then says why in the user's words ("line 7: not a row of the analysis CSV").
bool readTableCsv(ByteSource& in, TableStore& table, std::string* reason = nullptr);
