#include "recording/table_statistics.h"

#include <charconv>
#include <cmath>

#include "recording/analysis_files.h"

std::optional<double> QuantityStatistics::standardDeviation() const {
    if (count < 2) {
        return std::nullopt;
    }
    return std::sqrt(sumSquaredDeviations / static_cast<double>(count - 1));
}

std::optional<double> QuantityStatistics::durationSeconds() const {
    if (!first.known()) {
        return std::nullopt;
    }
    return static_cast<double>(last.msSinceEpoch - first.msSinceEpoch) / 1000.0;
}

QuantityStatistics& TableStatistics::groupOf(const Quantity& q) {
    // Rows mostly belong to the group of the row before; the names are the quantity table's
    // own texts, so their addresses tell groups apart before their bytes need to.
    if (m_lastGroup < m_groups.size()) {
        QuantityStatistics& last = m_groups[m_lastGroup];
        if (last.quantity.data() == q.name.data() && last.unit.data() == q.siUnit.data()) {
            return last;
        }
    }
    for (std::size_t i = 0; i < m_groups.size(); ++i) {
        if (m_groups[i].quantity == q.name && m_groups[i].unit == q.siUnit) {
            m_lastGroup = i;
            return m_groups[i];
        }
    }
    QuantityStatistics group;
    group.quantity = q.name;
    group.unit = q.siUnit;
    m_groups.push_back(group);
    m_lastGroup = m_groups.size() - 1;
    return m_groups.back();
}

void TableStatistics::add(std::size_t first, std::size_t count) {
    for (std::size_t row = first; row < first + count; ++row) {
        const Quantity q = m_quantities.at(row);
        QuantityStatistics& g = groupOf(q);
        ++g.rows;
        if (q.value) {
            // Welford: the mean and the sum of squared deviations move with every value, with
            // no sum of squares that cancels when the values are large and close together.
            const double x = *q.value;
            ++g.count;
            if (g.count == 1) {
                g.min = g.max = x;
            } else {
                g.min = x < g.min ? x : g.min;
                g.max = x > g.max ? x : g.max;
            }
            const double delta = x - g.mean;
            g.mean += delta / static_cast<double>(g.count);
            g.sumSquaredDeviations += delta * (x - g.mean);
        } else if (q.flag == ReadingFlag::Overload || q.flag == ReadingFlag::NegativeOverload) {
            ++g.overloads;
        }
        const WallTime moment = m_table.stamp(row);
        if (moment.known()) {
            if (!g.first.known() || moment.msSinceEpoch < g.first.msSinceEpoch) {
                g.first = moment;
            }
            if (!g.last.known() || moment.msSinceEpoch >= g.last.msSinceEpoch) {
                g.last = moment;
            }
        }
    }
    m_rowsAdded += count;
}

void TableStatistics::clear() {
    m_groups.clear();
    m_lastGroup = 0;
    m_rowsAdded = 0;
    m_quantities.forget();
}

namespace {

// precision 0: the shortest text that reads back exactly.
void appendNumber(std::string& out, double value, int precision = 0) {
    char buffer[40];
    const auto end = precision == 0 ? std::to_chars(buffer, buffer + sizeof buffer, value).ptr
                                    : std::to_chars(buffer, buffer + sizeof buffer, value,
                                                    std::chars_format::general, precision)
                                          .ptr;
    out.append(buffer, end);
}

void appendCount(std::string& out, std::uint64_t n) {
    char buffer[24];
    out.append(buffer, std::to_chars(buffer, buffer + sizeof buffer, n).ptr);
}

}  // namespace

std::string TableStatistics::text() const {
    std::string out(kStatisticsHeader);
    out += '\n';
    for (const QuantityStatistics& g : m_groups) {
        out += g.quantity;
        out += '\t';
        out += g.unit;
        out += '\t';
        appendCount(out, g.count);
        // Extremes are readings and read back exactly; mean and deviation to ten digits, which
        // leaves out the rounding noise of the last bits.
        out += '\t';
        if (g.count > 0) {
            appendNumber(out, g.min);
        }
        out += '\t';
        if (g.count > 0) {
            appendNumber(out, g.max);
        }
        out += '\t';
        if (g.count > 0) {
            appendNumber(out, g.mean, 10);
        }
        out += '\t';
        if (const auto sd = g.standardDeviation()) {
            appendNumber(out, *sd, 10);
        }
        out += '\t';
        if (g.first.known()) {
            appendIsoTime(out, g.first);
        }
        out += '\t';
        if (g.last.known()) {
            appendIsoTime(out, g.last);
        }
        out += '\t';
        if (g.first.known()) {
            const std::int64_t ms = g.last.msSinceEpoch - g.first.msSinceEpoch;
            appendCount(out, static_cast<std::uint64_t>(ms / 1000));
            out += '.';
            const auto rest = static_cast<int>(ms % 1000);
            out += static_cast<char>('0' + rest / 100);
            out += static_cast<char>('0' + rest / 10 % 10);
            out += static_cast<char>('0' + rest % 10);
        }
        out += '\t';
        appendCount(out, g.overloads);
        out += '\n';
    }
    return out;
}
