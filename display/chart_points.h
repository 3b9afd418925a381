#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// One plotted point as the chart draws it: x is the point's position in the series.
struct ChartPoint {
    double x = 0;
    double y = 0;
};

// The trend chart's points, stored once for both of its series. The x of a point is its index
// (the placeholder at 0, readings from 1 on), so only the values are kept: four bytes a point
// in fixed-size chunks, so that ten million readings take about 40 MB and an append never
// copies the points already stored.
class ChartPointStore {
public:
    // Appends a value at x = size(). Throws std::bad_alloc when memory runs out (nothing added).
    void append(double y);
    // Removes every point and gives the memory back. Never fails.
    void clear();

    std::size_t size() const { return m_size; }
    bool empty() const { return m_size == 0; }
    // Bytes held for the points (whole chunks).
    std::size_t memoryBytes() const { return m_chunks.size() * kChunkSize * sizeof(float); }
    // The value at x = index; index must be below size().
    float at(std::size_t index) const {
        return m_chunks[index >> kChunkBits][index & (kChunkSize - 1)];
    }

    // Appends to out the points with x from first to last (both clamped to the store; nothing
    // when first > last after clamping). At most budget points are written (budget >= 2): when
    // the range holds more, it is cut into budget / 2 buckets and each contributes its lowest
    // and its highest point in x order, which keeps every peak of the trace visible.
    void collect(std::size_t first, std::size_t last, std::size_t budget,
                 std::vector<ChartPoint>& out) const;

private:
    static constexpr std::size_t kChunkBits = 16;
    static constexpr std::size_t kChunkSize = std::size_t{1} << kChunkBits;

    std::vector<std::unique_ptr<float[]>> m_chunks;
    std::size_t m_size = 0;
};
