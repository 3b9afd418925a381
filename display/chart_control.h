#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "display/chart_points.h"

// The horizontal axis window of the trend chart: the x range it shows, ends included.
struct ChartAxisWindow {
    std::int64_t minimum = 0;
    std::int64_t maximum = 0;

    // Scroll with limits, repeated: each step moves both ends by offset, but only while a point
    // lies beyond the window in that direction (offset > 0: largestX beyond the right end,
    // offset < 0: smallestX before the left end). Once a step does not move, no later step
    // would, so the repetition is computed at once. Returns the number of steps that moved.
    std::int64_t scrollWithLimits(std::int64_t offset, std::int64_t times, std::int64_t smallestX,
                                  std::int64_t largestX);
};

// What the controller drives: the chart that draws its points. The controller calls it after
// every change; the chart reads what it needs back from the controller.
class ChartSurface {
public:
    enum class Change { Points, Window, Fill, ValueRange };
    virtual ~ChartSurface() = default;
    virtual void chartChanged(Change change) = 0;
};

// The paging logic of the trend chart (module uCharControl): the points of its two series
// (the area and the line carry the same points, kept once), the horizontal axis window, the
// page count and the follow/browse mode. The first point is a placeholder (y 0 at x 0), so a
// reading's x equals its row number since the last New. No operation fails except on memory
// exhaustion (AddValue).
class TChartControl {
public:
    TChartControl() = default;
    virtual ~TChartControl() = default;
    TChartControl(const TChartControl&) = delete;
    TChartControl& operator=(const TChartControl&) = delete;

    // Starts the chart over: page size (below 1 taken as 1), window 1..page size, page 1 of 1,
    // the placeholder point, the area shown. chart may be null (nothing is drawn).
    void Create(ChartSurface* chart, std::int32_t pageSize);

    // Appends y to the series; in follow mode the window jumps a page when the point lies past
    // its right end and the newest page becomes current. Returns CurrentPage. Throws
    // std::bad_alloc when memory runs out (nothing added).
    std::int32_t AddValue(double y);

    // Page moves; each returns CurrentPage. First and Previous enter browse mode, Last and a
    // Next that reaches the last page return to follow mode. Never fail.
    std::int32_t FirstPage();
    std::int32_t PreviousPage();
    std::int32_t NextPage();
    std::int32_t LastPage();

    // Shows the page that holds reading x (1 up to the newest reading) and makes it current:
    // browse mode unless it is the last page. Returns CurrentPage; x out of range changes
    // nothing. Never fails.
    std::int32_t GoToPoint(std::int64_t x);

    // Applies a new page size and shows the last page in follow mode. Returns false and changes
    // nothing for a size below 1; true otherwise (also when the size is unchanged).
    bool SetPageSize(std::int32_t pageSize);

    // Vertical axis range; applied only when the value differs from the last one given.
    void SetValueMax(double value);
    void SetValueMin(double value);

    // New: back to page 1 of 1 with only the placeholder, follow mode. Returns CurrentPage (1).
    std::int32_t Clear();

    // Shows or hides the area series (index 0); the line stays.
    void SetFillVisible(bool visible);

    std::int32_t CurrentPage() const { return m_currentPage; }
    std::int32_t PageSize() const { return m_pageSize; }
    std::int32_t PageCount() const { return m_pageCount; }
    bool Browsing() const { return m_browsing; }
    std::int32_t PointCount() const { return m_pointCount; }
    double ValueMax() const { return m_valueMax; }
    double ValueMin() const { return m_valueMin; }
    bool FillVisible() const { return m_fillVisible; }

    const ChartAxisWindow& window() const { return m_window; }
    const ChartPointStore& points() const { return m_points; }

    // Appends to out the points the window shows, plus the nearest point beyond each end so the
    // trace runs to the edges; at most about budget points (see ChartPointStore::collect).
    // The cost follows the page size, never the number of points stored.
    void visiblePoints(std::size_t budget, std::vector<ChartPoint>& out) const;

private:
    void recount();
    void scroll(std::int64_t offset, std::int64_t times);
    void notify(ChartSurface::Change change);

    ChartSurface* m_chart = nullptr;
    std::int32_t m_currentPage = 0;
    std::int32_t m_pageSize = 0;
    std::int32_t m_pageCount = 0;
    bool m_browsing = false;
    std::int32_t m_pointCount = 0;
    double m_valueMax = 0;
    double m_valueMin = 0;
    bool m_fillVisible = false;

    ChartAxisWindow m_window;
    ChartPointStore m_points;
};
