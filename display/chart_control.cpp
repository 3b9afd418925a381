#include "display/chart_control.h"

#include <algorithm>

namespace {

// Steps of size step needed until distance is covered (distance > 0, step > 0).
std::int64_t stepsToCover(std::int64_t distance, std::int64_t step) {
    return (distance + step - 1) / step;
}

}  // namespace

std::int64_t ChartAxisWindow::scrollWithLimits(std::int64_t offset, std::int64_t times,
                                               std::int64_t smallestX, std::int64_t largestX) {
    if (offset == 0 || times <= 0) {
        return 0;
    }
    std::int64_t moves = 0;
    if (offset > 0 && largestX > maximum) {
        moves = std::min(times, stepsToCover(largestX - maximum, offset));
    } else if (offset < 0 && smallestX < minimum) {
        moves = std::min(times, stepsToCover(minimum - smallestX, -offset));
    }
    minimum += offset * moves;
    maximum += offset * moves;
    return moves;
}

void TChartControl::Create(ChartSurface* chart, std::int32_t pageSize) {
    m_chart = chart;
    m_points.clear();
    m_pageSize = 0;
    SetPageSize(std::max<std::int32_t>(pageSize, 1));
    m_window = {1, m_pageSize};
    m_pageCount = 1;
    m_currentPage = 1;
    m_points.append(0);
    m_pointCount = 1;
    m_fillVisible = true;
    notify(ChartSurface::Change::Points);
    notify(ChartSurface::Change::Fill);
}

std::int32_t TChartControl::AddValue(double y) {
    m_points.append(y);
    m_pointCount = static_cast<std::int32_t>(m_points.size());
    recount();
    if (!m_browsing) {
        scroll(m_pageSize, 1);
        m_currentPage = m_pageCount;
    }
    notify(ChartSurface::Change::Points);
    return m_currentPage;
}

std::int32_t TChartControl::FirstPage() {
    if (m_pageCount > 1 && m_currentPage != 1) {
        scroll(-std::int64_t{m_pageSize}, std::int64_t{m_currentPage} - 1);
        m_currentPage = 1;
        m_browsing = true;
    }
    return m_currentPage;
}

std::int32_t TChartControl::PreviousPage() {
    if (m_currentPage > 1) {
        scroll(-std::int64_t{m_pageSize}, 1);
        m_currentPage -= 1;
        m_browsing = true;
    }
    return m_currentPage;
}

std::int32_t TChartControl::NextPage() {
    if (m_pageCount > 1 && m_pageCount != m_currentPage) {
        scroll(m_pageSize, 1);
        m_currentPage += 1;
        m_browsing = m_currentPage != m_pageCount;
    }
    return m_currentPage;
}

std::int32_t TChartControl::LastPage() {
    if (m_pageCount > 1 && m_pageCount != m_currentPage) {
        scroll(m_pageSize, std::int64_t{m_pageCount} - m_currentPage);
        m_currentPage = m_pageCount;
        m_browsing = false;
    }
    return m_currentPage;
}

std::int32_t TChartControl::GoToPoint(std::int64_t x) {
    const auto largest = static_cast<std::int64_t>(m_points.size()) - 1;
    if (x < 1 || x > largest) {
        return m_currentPage;
    }
    // windows always start one past a whole number of pages (1, PageSize + 1, ...)
    const std::int64_t page = (x - 1) / m_pageSize;
    const ChartAxisWindow target{page * m_pageSize + 1, (page + 1) * m_pageSize};
    if (target.minimum != m_window.minimum) {
        m_window = target;
        notify(ChartSurface::Change::Window);
    }
    m_currentPage = static_cast<std::int32_t>(page + 1);
    m_browsing = m_currentPage != m_pageCount;
    return m_currentPage;
}

bool TChartControl::SetPageSize(std::int32_t pageSize) {
    if (pageSize < 1) {
        return false;
    }
    if (pageSize == m_pageSize) {
        return true;
    }
    m_pageSize = pageSize;
    m_window = {1, m_pageSize};
    recount();
    scroll(m_pageSize, std::int64_t{m_pageCount} - 1);
    m_currentPage = m_pageCount;
    m_browsing = false;
    notify(ChartSurface::Change::Window);
    return true;
}

void TChartControl::SetValueMax(double value) {
    if (value != m_valueMax) {
        m_valueMax = value;
        notify(ChartSurface::Change::ValueRange);
    }
}

void TChartControl::SetValueMin(double value) {
    if (value != m_valueMin) {
        m_valueMin = value;
        notify(ChartSurface::Change::ValueRange);
    }
}

std::int32_t TChartControl::Clear() {
    FirstPage();
    m_points.clear();
    m_points.append(0);
    m_pointCount = 1;
    m_pageCount = 1;
    m_currentPage = 1;
    m_browsing = false;
    // FirstPage has brought the window back to page 1 already; setting it keeps New's promise
    // even if the window had been left anywhere else
    m_window = {1, m_pageSize};
    notify(ChartSurface::Change::Points);
    return m_currentPage;
}

void TChartControl::SetFillVisible(bool visible) {
    if (visible != m_fillVisible) {
        m_fillVisible = visible;
        notify(ChartSurface::Change::Fill);
    }
}

void TChartControl::visiblePoints(std::size_t budget, std::vector<ChartPoint>& out) const {
    if (m_points.empty() || m_window.maximum < 0) {
        return;
    }
    const std::int64_t last = static_cast<std::int64_t>(m_points.size()) - 1;
    const std::int64_t first = std::max<std::int64_t>(m_window.minimum - 1, 0);
    const std::int64_t end = std::min<std::int64_t>(m_window.maximum + 1, last);
    if (first > end) {
        return;
    }
    m_points.collect(static_cast<std::size_t>(first), static_cast<std::size_t>(end), budget, out);
}

void TChartControl::recount() {
    const std::int64_t n = static_cast<std::int64_t>(m_points.size());
    m_pageCount = static_cast<std::int32_t>(n / m_pageSize + (n % m_pageSize > 0 ? 1 : 0));
}

void TChartControl::scroll(std::int64_t offset, std::int64_t times) {
    if (m_points.empty()) {
        return;
    }
    // The placeholder at x 0 is no reading: paging back stops at the first reading (x 1), so
    // the first page is 1..PageSize and never an empty page left of it.
    const std::int64_t largest = static_cast<std::int64_t>(m_points.size()) - 1;
    const std::int64_t smallest = largest >= 1 ? 1 : 0;
    if (m_window.scrollWithLimits(offset, times, smallest, largest) > 0) {
        notify(ChartSurface::Change::Window);
    }
}

void TChartControl::notify(ChartSurface::Change change) {
    if (m_chart != nullptr) {
        m_chart->chartChanged(change);
    }
}
