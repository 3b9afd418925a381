#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "meter/clock.h"
#include "recording/table_quantities.h"
#include "recording/table_store.h"

// The statistics of one quantity in one SI unit over a set of rows.
struct QuantityStatistics {
    std::string_view quantity;  // as Quantity::name ("" for rows of no known function)
    std::string_view unit;      // the SI unit
    std::uint64_t rows = 0;     // its rows: values, overloads, "open" and invalid ones
    std::uint64_t count = 0;    // its rows with a value
    double min = 0;
    double max = 0;
    double mean = 0;
    double sumSquaredDeviations = 0;  // from the mean, kept by Welford's running method
    std::uint64_t overloads = 0;      // "OL" and "-OL"
    WallTime first;                   // the earliest and the latest known moment of its rows
    WallTime last;

    // The sample standard deviation (n - 1, as spreadsheets' STDEV); none below two values.
    std::optional<double> standardDeviation() const;
    // Seconds from first to last; none when no row has a moment.
    std::optional<double> durationSeconds() const;
};

// Statistics per quantity and unit over rows of a table, added a run of rows at a time: each
// added row costs the same whatever came before (no row is kept or read again), so the window
// follows a live recording and ten million rows take a fraction of a second. Groups are listed
// in the order their first row was added.
class TableStatistics {
public:
    // table must outlive this object.
    explicit TableStatistics(const TableStore& table) : m_table(table), m_quantities(table) {}

    // Adds the rows first .. first + count - 1 (within the table). Never fails short of memory.
    void add(std::size_t first, std::size_t count);
    // Forgets every row added, and what the table's texts meant (call it when the table was
    // cleared or replaced).
    void clear();

    const std::vector<QuantityStatistics>& groups() const { return m_groups; }
    std::uint64_t rowsAdded() const { return m_rowsAdded; }

    // The table as text: a header line, then a line per group, fields separated by TAB, lines
    // ended by LF; numbers with "." whatever the locale, times in ISO 8601.
    std::string text() const;

private:
    QuantityStatistics& groupOf(const Quantity& q);

    const TableStore& m_table;
    TableQuantities m_quantities;
    std::vector<QuantityStatistics> m_groups;
    std::size_t m_lastGroup = 0;
    std::uint64_t m_rowsAdded = 0;
};

// The header of TableStatistics::text(), without its LF.
inline constexpr std::string_view kStatisticsHeader =
    "quantity\tunit\tcount\tmin\tmax\tmean\tstddev\tfirst\tlast\tduration_s\toverloads";
