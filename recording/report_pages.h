#pragma once

#include <cstddef>

// The pages of the printed report: every page holds 37 detail rows (the last one what is
// left), so page k shows table rows 37·(k−1) to 37·k − 1 and can be drawn on its own, without
// laying out the pages before it.
class ReportPages {
public:
    static constexpr std::size_t kRowsPerPage = 37;

    // The report's printable area on A4 with 10 mm margins, in millimetres.
    static constexpr double kPrintableWidthMm = 190.0;
    static constexpr double kPrintableHeightMm = 277.0;

    // A report of rows table rows; an empty table has no page (it is not printed).
    explicit ReportPages(std::size_t rows) : m_rows(rows) {}

    std::size_t rows() const { return m_rows; }
    std::size_t pageCount() const { return (m_rows + kRowsPerPage - 1) / kRowsPerPage; }

    // The table rows [first, end) of page (1-based); an empty range for a page that does
    // not exist.
    struct RowRange {
        std::size_t first = 0;
        std::size_t end = 0;
        std::size_t size() const { return end - first; }
        bool operator==(const RowRange&) const = default;
    };
    RowRange rowsOfPage(std::size_t page) const;

    // A page number as typed or stepped to, kept within 1..pageCount() (1 when there is none).
    std::size_t clampPage(long long page) const;

    // The scale that fits the A4 report into a printable area of this size (millimetres):
    // 1 when it fits as it is, smaller on a smaller paper, never larger, so that no row or
    // footer falls off the page and every page keeps its 37 rows. 1 for a size that is not
    // positive (nothing known about the paper).
    static double scaleToFit(double widthMm, double heightMm);

private:
    std::size_t m_rows;
};
