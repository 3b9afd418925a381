#pragma once

#include <cstddef>
#include <vector>

// The whole recording at a glance: the readings kept as the lowest and highest value of each
// bucket of consecutive readings. A bucket holds a power-of-two number of readings; when all
// kBuckets are full, neighbours merge in pairs and the bucket size doubles. An append thus costs
// constant time (amortised), and drawing the envelope reads at most kBuckets pairs however long
// the recording is. Readings are counted from 0 (the chart's reading at x 1 is reading 0).
class ChartOverview {
public:
    static constexpr std::size_t kBuckets = 1024;

    // Adds the next reading. Never fails (the buckets are allocated once, at construction).
    void append(float value);
    // Forgets every reading; the bucket size returns to 1.
    void clear();

    std::size_t count() const { return m_count; }
    std::size_t bucketSize() const { return m_bucketSize; }
    // Readings the strip spans before the bucket size doubles again: kBuckets * bucketSize().
    std::size_t capacity() const { return kBuckets * m_bucketSize; }

    // The lowest and highest reading a column of a strip `columns` wide covers, the strip
    // spanning capacity() readings. Returns false for a column past the last reading (or out of
    // range). A column narrower than a bucket shows the whole bucket around it.
    bool column(int column, int columns, float& low, float& high) const;
    // The columns of a strip `columns` wide whose envelope includes reading `index` (the ones
    // to draw again when it arrives). first > last when columns < 1.
    void columnsOf(std::size_t index, int columns, int& first, int& last) const;

private:
    struct Bucket {
        float low;
        float high;
    };
    std::vector<Bucket> m_buckets = std::vector<Bucket>(kBuckets);
    std::size_t m_count = 0;
    std::size_t m_bucketSize = 1;
};
