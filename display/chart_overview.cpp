#include "display/chart_overview.h"

#include <algorithm>

void ChartOverview::append(float value) {
    if (m_count == capacity()) {
        // every bucket is full: pairs merge and the strip spans twice as many readings
        for (std::size_t i = 0; i < kBuckets / 2; ++i) {
            const Bucket& a = m_buckets[2 * i];
            const Bucket& b = m_buckets[2 * i + 1];
            m_buckets[i] = {std::min(a.low, b.low), std::max(a.high, b.high)};
        }
        m_bucketSize *= 2;
    }
    const std::size_t b = m_count / m_bucketSize;
    if (m_count % m_bucketSize == 0) {
        m_buckets[b] = {value, value};
    } else {
        m_buckets[b].low = std::min(m_buckets[b].low, value);
        m_buckets[b].high = std::max(m_buckets[b].high, value);
    }
    ++m_count;
}

void ChartOverview::clear() {
    m_count = 0;
    m_bucketSize = 1;
}

bool ChartOverview::column(int column, int columns, float& low, float& high) const {
    if (columns <= 0 || column < 0 || column >= columns || m_count == 0) {
        return false;
    }
    const std::size_t used = (m_count + m_bucketSize - 1) / m_bucketSize;
    const auto width = static_cast<std::size_t>(columns);
    const auto c = static_cast<std::size_t>(column);
    // the buckets that overlap the column, at least one: neighbouring columns may share a
    // bucket, so the envelope never misses a reading between them
    std::size_t first = c * kBuckets / width;
    const std::size_t end = std::max(first + 1, ((c + 1) * kBuckets + width - 1) / width);
    if (first >= used) {
        return false;
    }
    low = m_buckets[first].low;
    high = m_buckets[first].high;
    for (++first; first < std::min(end, used); ++first) {
        low = std::min(low, m_buckets[first].low);
        high = std::max(high, m_buckets[first].high);
    }
    return true;
}

void ChartOverview::columnsOf(std::size_t index, int columns, int& first, int& last) const {
    first = 0;
    last = -1;
    if (columns <= 0) {
        return;
    }
    const std::size_t bucket = std::min(index / m_bucketSize, kBuckets - 1);
    const auto width = static_cast<std::size_t>(columns);
    // the same bucket range per column as column() reads
    const auto overlaps = [&](std::size_t c) {
        const std::size_t begin = c * kBuckets / width;
        const std::size_t end = std::max(begin + 1, ((c + 1) * kBuckets + width - 1) / width);
        return begin <= bucket && bucket < end;
    };
    std::size_t c = bucket * width / kBuckets;
    while (c > 0 && overlaps(c - 1)) {
        --c;
    }
    while (c + 1 < width && !overlaps(c)) {
        ++c;
    }
    first = static_cast<int>(c);
    while (c + 1 < width && overlaps(c + 1)) {
        ++c;
    }
    last = static_cast<int>(c);
}
