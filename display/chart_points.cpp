#include "display/chart_points.h"

#include <algorithm>

void ChartPointStore::append(double y) {
    const std::size_t chunk = m_size >> kChunkBits;
    if (chunk == m_chunks.size()) {
        // reserve first so that a failing allocation leaves the store as it was
        m_chunks.reserve(m_chunks.size() + 1);
        m_chunks.push_back(std::make_unique<float[]>(kChunkSize));
    }
    m_chunks[chunk][m_size & (kChunkSize - 1)] = static_cast<float>(y);
    ++m_size;
}

void ChartPointStore::clear() {
    m_chunks.clear();
    m_chunks.shrink_to_fit();
    m_size = 0;
}

void ChartPointStore::collect(std::size_t first, std::size_t last, std::size_t budget,
                              std::vector<ChartPoint>& out) const {
    if (m_size == 0) {
        return;
    }
    last = std::min(last, m_size - 1);
    if (first > last) {
        return;
    }
    const std::size_t count = last - first + 1;
    budget = std::max<std::size_t>(budget, 2);
    if (count <= budget) {
        for (std::size_t i = first; i <= last; ++i) {
            out.push_back({static_cast<double>(i), at(i)});
        }
        return;
    }
    const std::size_t buckets = budget / 2;
    for (std::size_t b = 0; b < buckets; ++b) {
        const std::size_t begin = first + count * b / buckets;
        const std::size_t end = first + count * (b + 1) / buckets;  // exclusive
        std::size_t low = begin;
        std::size_t high = begin;
        for (std::size_t i = begin + 1; i < end; ++i) {
            const float v = at(i);
            if (v < at(low)) {
                low = i;
            }
            if (v > at(high)) {
                high = i;
            }
        }
        const std::size_t a = std::min(low, high);
        const std::size_t c = std::max(low, high);
        out.push_back({static_cast<double>(a), at(a)});
        if (c != a) {
            out.push_back({static_cast<double>(c), at(c)});
        }
    }
}
