#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "display/chart_control.h"

// A span of one of the chart's axes, in the axis's own units (row numbers, display counts).
struct ChartSpan {
    double low = 0;
    double high = 1;
    double width() const { return high - low; }
    bool operator==(const ChartSpan&) const = default;
};

// The horizontal span a page shows: the page window plus the reading just before it, so the
// first reading of a page lies one step in from the left edge and the trace runs in from the
// page before (a page of a single point still gets a span one unit wide). Never fails.
ChartSpan pageSpan(const ChartAxisWindow& window);

// Zooms a span about the value `about` by factor (below 1 zooms in), keeping `about` at the same
// place. The result is at least minWidth wide and no wider than limits, and lies within limits.
ChartSpan zoomSpan(ChartSpan span, double about, double factor, double minWidth, ChartSpan limits);
// Moves a span by delta, kept within limits (its width unchanged when it fits).
ChartSpan panSpan(ChartSpan span, double delta, ChartSpan limits);

// A tick spacing of 1, 2 or 5 times a power of ten giving about `ticks` ticks over the width;
// at least minimum.
double tickStep(double width, int ticks, double minimum);
// The values of the ticks within span, multiples of step.
std::vector<double> tickValues(ChartSpan span, double step);

// The value span that auto-scale shows for readings between low and high: widened to whole
// tick steps with a little room above and below, at least 10 counts wide.
ChartSpan autoValueSpan(double low, double high);

// Which table row each plotted reading came from. The chart's x counts the readings plotted
// since New; the rows are the table's, which may also hold rows loaded from a file, so the two
// are kept as runs of consecutive x on consecutive rows. Memory grows with the runs only.
class ChartRowMap {
public:
    // Reading x (increasing from call to call) became table row `row`.
    void add(std::int64_t x, std::size_t row);
    void clear();
    // The row of reading x; nullopt when x was never added.
    std::optional<std::size_t> rowOf(std::int64_t x) const;
    // The reading that plotted row; nullopt when none did.
    std::optional<std::int64_t> pointOf(std::size_t row) const;

private:
    struct Run {
        std::int64_t x;
        std::size_t row;
        std::size_t count;
    };
    std::vector<Run> m_runs;
};
