#include "recording/table_statistics.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/support/sanitizers.h"

namespace {

constexpr std::int64_t kStart = 1796894272000;  // 2026-12-10T10:17:52.000+01:00

void append(TableStore& table, std::string_view function, std::string_view value,
            std::string_view unit, WallTime stamp = {}) {
    RowData row;
    row.no = static_cast<std::int32_t>(table.rowCount() + 1);
    row.texts = {"", function, value, unit, "", ""};
    row.stamp = stamp;
    table.append(row);
}

// A series worked by hand: 2 4 4 4 5 5 7 9 V has mean 5 and sample deviation sqrt(32 / 7);
// 1 and 2 kOhm mean 1500 Ohm and deviate by sqrt(500000); overloads and "open" count as rows but
// not as values, and the moments span the whole of each quantity's rows.
TEST(TableStatistics, AKnownSeriesGivesTheValuesWorkedByHand) {
    TableStore table;
    int second = 0;
    for (const char* v :
         {"2.000", "4.000", "4.000", "0.@", "4.000", "5.000", "5.000", "-0.@", "7.000", "9.000"}) {
        append(table, "DCV", v, "V", WallTime{kStart + 1000 * second++, 3600});
    }
    append(table, "OHM", "1.000", "K *");
    append(table, "OHM", "o.pen", "K *", WallTime{kStart + 500, 3600});
    append(table, "OHM", "2.000", "K *");
    append(table, "DCV", "x", "V");  // invalid: a row, no value
    TableStatistics stats(table);
    stats.add(0, 7);
    stats.add(7, table.rowCount() - 7);  // in two runs, as the window adds them
    ASSERT_EQ(stats.groups().size(), 2u);
    const QuantityStatistics& volts = stats.groups()[0];
    EXPECT_EQ(volts.quantity, "voltage_dc");
    EXPECT_EQ(volts.rows, 11u);
    EXPECT_EQ(volts.count, 8u);
    EXPECT_EQ(volts.min, 2);
    EXPECT_EQ(volts.max, 9);
    EXPECT_DOUBLE_EQ(volts.mean, 5);
    EXPECT_DOUBLE_EQ(*volts.standardDeviation(), std::sqrt(32.0 / 7.0));
    EXPECT_EQ(volts.overloads, 2u);
    EXPECT_EQ(volts.durationSeconds(), 9.0);
    const QuantityStatistics& ohms = stats.groups()[1];
    EXPECT_EQ(ohms.count, 2u);
    EXPECT_DOUBLE_EQ(*ohms.standardDeviation(), std::sqrt(500000.0));
    EXPECT_EQ(ohms.durationSeconds(), 0.0);
    EXPECT_EQ(stats.text(),
              "quantity\tunit\tcount\tmin\tmax\tmean\tstddev\tfirst\tlast\tduration_s\t"
              "overloads\n"
              "voltage_dc\tV\t8\t2\t9\t5\t2.138089935\t2026-12-10T10:17:52.000+01:00\t"
              "2026-12-10T10:18:01.000+01:00\t9.000\t2\n"
              "resistance\t\u03A9\t2\t1000\t2000\t1500\t707.1067812\t"
              "2026-12-10T10:17:52.500+01:00\t2026-12-10T10:17:52.500+01:00\t0.000\t0\n");
    stats.clear();
    EXPECT_TRUE(stats.groups().empty());
    EXPECT_EQ(stats.text(), std::string(kStatisticsHeader) + "\n");
}

// Ten million readings far from zero and close together, where a sum of squares loses every
// digit, against a two-pass computation in long double.
TEST(TableStatistics, TenMillionRowsAgreeWithATwoPassComputation) {
    const std::size_t rows = kAddressSanitizer ? 1'000'000 : 10'000'000;
    TableStore table;
    table.reserve(rows);
    std::string value;
    for (std::size_t i = 0; i < rows; ++i) {
        const std::size_t n = 3900 + (i * 7919) % 97;  // 3900 .. 3996 mV
        value = "39" + std::to_string(n % 100 / 10) + "." + std::to_string(n % 10);
        append(table, "DCmv", value, "mV", WallTime{kStart + std::int64_t(i) * 100, 0});
    }
    TableStatistics stats(table);
    stats.add(0, rows);
    ASSERT_EQ(stats.groups().size(), 1u);
    const QuantityStatistics& g = stats.groups()[0];
    long double sum = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        sum += (3900 + (i * 7919) % 97) / 10000.0L;
    }
    const long double mean = sum / rows;
    long double squares = 0;
    for (std::size_t i = 0; i < rows; ++i) {
        const long double d = (3900 + (i * 7919) % 97) / 10000.0L - mean;
        squares += d * d;
    }
    const long double sd = std::sqrt(squares / (rows - 1));
    EXPECT_EQ(g.count, rows);
    EXPECT_NEAR(g.mean, static_cast<double>(mean), 1e-12 * static_cast<double>(mean));
    EXPECT_NEAR(*g.standardDeviation(), static_cast<double>(sd), 1e-9 * static_cast<double>(sd));
    EXPECT_EQ(g.min, 0.39);
    EXPECT_EQ(g.max, 0.3996);
    EXPECT_EQ(g.last.msSinceEpoch - g.first.msSinceEpoch, std::int64_t(rows - 1) * 100);
    EXPECT_DOUBLE_EQ(*g.durationSeconds(), static_cast<double>(rows - 1) / 10);
}

}  // namespace
