#include "display/chart_view.h"

#include <algorithm>
#include <cmath>

ChartSpan pageSpan(const ChartAxisWindow& window) {
    const auto low = static_cast<double>(window.minimum) - 1;
    const double high = std::max(static_cast<double>(window.maximum), low + 1);
    return {low, high};
}

ChartSpan zoomSpan(ChartSpan span, double about, double factor, double minWidth, ChartSpan limits) {
    const double width = span.width();
    if (width <= 0 || factor <= 0) {
        return span;
    }
    const double widest = std::max(limits.width(), minWidth);
    const double newWidth = std::clamp(width * factor, std::min(minWidth, widest), widest);
    const double share = std::clamp((about - span.low) / width, 0.0, 1.0);
    const double low = about - share * newWidth;
    return panSpan({low, low + newWidth}, 0, limits);
}

ChartSpan panSpan(ChartSpan span, double delta, ChartSpan limits) {
    const double width = span.width();
    double low = span.low + delta;
    if (width >= limits.width()) {
        low = limits.low;
    } else {
        low = std::clamp(low, limits.low, limits.high - width);
    }
    return {low, low + width};
}

double tickStep(double width, int ticks, double minimum) {
    if (!(width > 0) || ticks < 1) {
        return std::max(minimum, 1.0);
    }
    const double raw = width / ticks;
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (raw <= step * power * 1.0000001) {
            return std::max(minimum, step * power);
        }
    }
    return std::max(minimum, 10 * power);
}

std::vector<double> tickValues(ChartSpan span, double step) {
    std::vector<double> values;
    if (!(step > 0) || !(span.width() >= 0)) {
        return values;
    }
    const double tolerance = step * 1e-6;
    for (double k = std::ceil((span.low - tolerance) / step); k * step <= span.high + tolerance;
         k += 1) {
        values.push_back(k * step);
        if (values.size() > 1000) {
            break;  // a step far too small for the span: never a runaway list
        }
    }
    return values;
}

ChartSpan autoValueSpan(double low, double high) {
    if (low > high) {
        std::swap(low, high);
    }
    const double middle = (low + high) / 2;
    const double width = std::max(high - low, 10.0);
    const double step = tickStep(width, 8, 1);
    double top = std::ceil((middle + width / 2 + width * 0.05) / step) * step;
    double bottom = std::floor((middle - width / 2 - width * 0.05) / step) * step;
    if (top <= bottom) {
        top = bottom + step;
    }
    return {bottom, top};
}

void ChartRowMap::add(std::int64_t x, std::size_t row) {
    if (!m_runs.empty()) {
        Run& last = m_runs.back();
        const std::int64_t lastX = last.x + static_cast<std::int64_t>(last.count) - 1;
        if (x <= lastX) {
            return;
        }
        if (x == lastX + 1 && row == last.row + last.count) {
            ++last.count;
            return;
        }
    }
    m_runs.push_back({x, row, 1});
}

void ChartRowMap::clear() {
    m_runs.clear();
}

std::optional<std::size_t> ChartRowMap::rowOf(std::int64_t x) const {
    const auto next = std::upper_bound(m_runs.begin(), m_runs.end(), x,
                                       [](std::int64_t v, const Run& r) { return v < r.x; });
    if (next == m_runs.begin()) {
        return std::nullopt;
    }
    const Run& run = *(next - 1);
    const auto offset = static_cast<std::size_t>(x - run.x);
    if (offset >= run.count) {
        return std::nullopt;  // a reading that never became a row
    }
    return run.row + offset;
}

std::optional<std::int64_t> ChartRowMap::pointOf(std::size_t row) const {
    // the newest run first: after a reload the newest plot of a row is the one on screen
    for (auto run = m_runs.rbegin(); run != m_runs.rend(); ++run) {
        if (row >= run->row && row < run->row + run->count) {
            return run->x + static_cast<std::int64_t>(row - run->row);
        }
    }
    return std::nullopt;
}
