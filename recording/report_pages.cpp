#include "recording/report_pages.h"

#include <algorithm>

ReportPages::RowRange ReportPages::rowsOfPage(std::size_t page) const {
    if (page < 1 || page > pageCount()) {
        return {};
    }
    const std::size_t first = (page - 1) * kRowsPerPage;
    return {first, std::min(first + kRowsPerPage, m_rows)};
}

std::size_t ReportPages::clampPage(long long page) const {
    const std::size_t last = std::max<std::size_t>(pageCount(), 1);
    if (page < 1) {
        return 1;
    }
    return std::min(static_cast<std::size_t>(page), last);
}

double ReportPages::scaleToFit(double widthMm, double heightMm) {
    if (!(widthMm > 0) || !(heightMm > 0)) {
        return 1.0;
    }
    return std::min({1.0, widthMm / kPrintableWidthMm, heightMm / kPrintableHeightMm});
}
