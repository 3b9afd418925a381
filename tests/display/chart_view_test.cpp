#include "display/chart_view.h"

#include <gtest/gtest.h>

#include <cmath>

#include "display/chart_overview.h"

namespace {

TEST(ChartView, APageShowsTheReadingBeforeItAtItsLeftEdge) {
    EXPECT_EQ(pageSpan({1, 100}), (ChartSpan{0, 100}));
    EXPECT_EQ(pageSpan({1001, 1100}), (ChartSpan{1000, 1100}));
    EXPECT_EQ(pageSpan({7, 7}), (ChartSpan{6, 7}));  // a page of one point is one unit wide
}

TEST(ChartView, ZoomKeepsThePointUnderTheCursorAndStaysWithinTheLimits) {
    const ChartSpan limits{0, 1000};
    struct Case {
        const char* what;
        ChartSpan span;
        double about;
        double factor;
        ChartSpan expected;
    };
    const Case cases[] = {
        {"in about the middle", {0, 100}, 50, 0.5, {25, 75}},
        {"in about a quarter", {0, 100}, 25, 0.5, {12.5, 62.5}},
        {"out past the left limit moves right", {0, 100}, 0, 2, {0, 200}},
        {"out beyond every reading shows them all", {0, 100}, 50, 100, {0, 1000}},
        {"in no narrower than the least width", {0, 100}, 50, 0.001, {48, 52}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ChartSpan got = zoomSpan(c.span, c.about, c.factor, 4, limits);
        EXPECT_DOUBLE_EQ(got.low, c.expected.low);
        EXPECT_DOUBLE_EQ(got.high, c.expected.high);
    }
    // panning keeps the width and stops at the ends
    EXPECT_EQ(panSpan({100, 200}, 50, limits), (ChartSpan{150, 250}));
    EXPECT_EQ(panSpan({100, 200}, -500, limits), (ChartSpan{0, 100}));
    EXPECT_EQ(panSpan({100, 200}, 5000, limits), (ChartSpan{900, 1000}));
}

TEST(ChartView, TicksAndTheAutoScaledSpan) {
    EXPECT_EQ(tickStep(8000, 8, 1), 1000);  // the fixed +-4000 axis: nine ticks
    EXPECT_EQ(tickStep(100, 5, 1), 20);
    EXPECT_EQ(tickStep(3, 5, 1), 1);  // row numbers are whole
    EXPECT_EQ(tickValues({0, 100}, 20), (std::vector<double>{0, 20, 40, 60, 80, 100}));
    EXPECT_EQ(tickValues({-4000, 4000}, 1000).size(), 9u);

    struct Case {
        const char* what;
        double low, high;
    };
    const Case cases[] = {
        {"one value", 1234, 1234}, {"a narrow band", 1200, 1205}, {"both signs", -3999, 2500}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ChartSpan span = autoValueSpan(c.low, c.high);
        EXPECT_LT(span.low, c.low);  // room above and below: nothing sits on the frame
        EXPECT_GT(span.high, c.high);
        EXPECT_GE(span.width(), 10);
        const double step = tickStep(std::max(c.high - c.low, 10.0), 8, 1);
        EXPECT_DOUBLE_EQ(std::remainder(span.low, step), 0);  // whole ticks at the ends
    }
}

TEST(ChartRowMap, ReadingsMapToTheRowsTheyBecameAcrossLoadsAndGaps) {
    ChartRowMap map;
    for (std::int64_t x = 1; x <= 5; ++x) {
        map.add(x, static_cast<std::size_t>(x - 1));  // rows 0..4
    }
    // a file of 100 rows was loaded after reading 5: the next readings are rows 105 on
    for (std::int64_t x = 6; x <= 8; ++x) {
        map.add(x, static_cast<std::size_t>(x + 99));
    }
    map.add(10, 200);  // reading 9 never became a row
    map.add(10, 300);  // an x already known is ignored

    struct Case {
        std::int64_t x;
        std::optional<std::size_t> row;
    };
    const Case cases[] = {
        {0, std::nullopt}, {1, 0}, {5, 4}, {6, 105}, {8, 107}, {9, std::nullopt}, {10, 200},
        {11, std::nullopt}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.x);
        EXPECT_EQ(map.rowOf(c.x), c.row);
        if (c.row) {
            EXPECT_EQ(map.pointOf(*c.row), c.x);
        }
    }
    EXPECT_EQ(map.pointOf(50), std::nullopt);  // a loaded row no reading plotted
    map.clear();
    EXPECT_EQ(map.rowOf(1), std::nullopt);
}

// The lowest and highest value of every column, read straight from the readings.
void expectEnvelopeCovers(const ChartOverview& overview, const std::vector<float>& readings,
                          int columns) {
    for (std::size_t i = 0; i < readings.size(); ++i) {
        int first = 0;
        int last = -1;
        overview.columnsOf(i, columns, first, last);
        ASSERT_LE(first, last) << i;
        for (int c = first; c <= last; ++c) {
            float low = 0;
            float high = 0;
            ASSERT_TRUE(overview.column(c, columns, low, high)) << i;
            EXPECT_LE(low, readings[i]) << "reading " << i << " column " << c;
            EXPECT_GE(high, readings[i]) << "reading " << i << " column " << c;
        }
    }
}

TEST(ChartOverview, EveryReadingLiesWithinItsColumnsAtAnySizeAndLength) {
    for (const std::size_t count : {std::size_t{1}, std::size_t{700}, std::size_t{5000}}) {
        for (const int columns : {1, 300, 1024, 1500}) {
            SCOPED_TRACE(testing::Message() << count << " readings, " << columns << " columns");
            ChartOverview overview;
            std::vector<float> readings;
            for (std::size_t i = 0; i < count; ++i) {
                readings.push_back(static_cast<float>((i * 7919) % 8001) - 4000);
                overview.append(readings.back());
            }
            EXPECT_EQ(overview.count(), count);
            EXPECT_LE(count, overview.capacity());
            expectEnvelopeCovers(overview, readings, columns);
        }
    }
}

TEST(ChartOverview, KeepsASpikeAmongMillionsInFixedMemory) {
    ChartOverview overview;
    const std::size_t count = 3'000'000;
    const std::size_t spike = 2'345'678;
    for (std::size_t i = 0; i < count; ++i) {
        overview.append(i == spike ? 3900.0f : 0.0f);
    }
    EXPECT_EQ(overview.bucketSize(), 4096u);  // 1024 buckets hold up to 4 M readings
    const int columns = 360;
    int first = 0;
    int last = -1;
    overview.columnsOf(spike, columns, first, last);
    float low = 0;
    float high = 0;
    ASSERT_TRUE(overview.column(first, columns, low, high));
    EXPECT_EQ(high, 3900.0f);
    ASSERT_TRUE(overview.column(10, columns, low, high));
    EXPECT_EQ(high, 0.0f);
    // past the last reading the strip is empty
    EXPECT_FALSE(overview.column(columns - 1, columns, low, high));

    overview.clear();
    EXPECT_EQ(overview.count(), 0u);
    EXPECT_EQ(overview.bucketSize(), 1u);
}

}  // namespace
