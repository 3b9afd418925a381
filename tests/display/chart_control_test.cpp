#include "display/chart_control.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct Window {
    std::int64_t minimum;
    std::int64_t maximum;
};

void expectWindow(const TChartControl& chart, Window expected, const std::string& where) {
    EXPECT_EQ(chart.window().minimum, expected.minimum) << where;
    EXPECT_EQ(chart.window().maximum, expected.maximum) << where;
}

class ChartControlTest : public ::testing::Test {
protected:
    void SetUp() override { chart.Create(nullptr, 100); }

    std::int32_t addReadings(int count) {
        std::int32_t page = chart.CurrentPage();
        for (int i = 0; i < count; ++i) {
            page = chart.AddValue(i % 4001);
        }
        return page;
    }

    TChartControl chart;
};

TEST_F(ChartControlTest, FreshStartFollowsTheNewestPage) {
    EXPECT_EQ(chart.CurrentPage(), 1);
    EXPECT_EQ(chart.PageCount(), 1);
    EXPECT_EQ(chart.PointCount(), 1);  // the placeholder
    EXPECT_TRUE(chart.FillVisible());
    expectWindow(chart, {1, 100}, "start");

    // readings so far, page returned by the last AddValue, window, page count
    struct Case {
        int readings;
        int page;
        Window window;
        int pageCount;
    };
    const Case cases[] = {
        {1, 1, {1, 100}, 1},     {99, 1, {1, 100}, 1},        {100, 2, {1, 100}, 2},
        {101, 2, {101, 200}, 2}, {199, 2, {101, 200}, 2},     {200, 3, {101, 200}, 3},
        {201, 3, {201, 300}, 3}, {1000, 11, {901, 1000}, 11}, {1001, 11, {1001, 1100}, 11},
    };
    int done = 0;
    for (const Case& c : cases) {
        const std::int32_t page = addReadings(c.readings - done);
        done = c.readings;
        const std::string where = "after reading " + std::to_string(c.readings);
        EXPECT_EQ(page, c.page) << where;
        EXPECT_EQ(chart.CurrentPage(), c.page) << where;
        EXPECT_EQ(chart.PageCount(), c.pageCount) << where;
        EXPECT_EQ(chart.PointCount(), c.readings + 1) << where;
        EXPECT_FALSE(chart.Browsing()) << where;
        expectWindow(chart, c.window, where);
    }
}

TEST_F(ChartControlTest, BrowseModeHoldsTheWindowUntilLast) {
    addReadings(150);
    expectWindow(chart, {101, 200}, "150 readings");
    EXPECT_EQ(chart.PreviousPage(), 1);
    EXPECT_TRUE(chart.Browsing());
    expectWindow(chart, {1, 100}, "previous");

    EXPECT_EQ(addReadings(249), 1);  // counted, but the view stays
    EXPECT_EQ(chart.PageCount(), 4);
    EXPECT_EQ(chart.PointCount(), 400);
    expectWindow(chart, {1, 100}, "browsing while readings arrive");

    EXPECT_EQ(chart.LastPage(), 4);
    EXPECT_FALSE(chart.Browsing());
    expectWindow(chart, {301, 400}, "last");
    addReadings(2);
    EXPECT_EQ(chart.CurrentPage(), 5);
    expectWindow(chart, {401, 500}, "following again");
}

TEST_F(ChartControlTest, NavigationWalksPageByPage) {
    addReadings(350);  // 351 points: pages 1..4, window 301..400
    struct Step {
        const char* move;
        int page;
        Window window;
        bool browsing;
    };
    const Step steps[] = {
        {"first", 1, {1, 100}, true},    {"first", 1, {1, 100}, true},
        {"previous", 1, {1, 100}, true}, {"next", 2, {101, 200}, true},
        {"next", 3, {201, 300}, true},   {"previous", 2, {101, 200}, true},
        {"next", 3, {201, 300}, true},   {"next", 4, {301, 400}, false},
        {"next", 4, {301, 400}, false},  {"previous", 3, {201, 300}, true},
        {"last", 4, {301, 400}, false},  {"last", 4, {301, 400}, false},
    };
    for (const Step& s : steps) {
        const std::string move = s.move;
        const std::int32_t page = move == "first"      ? chart.FirstPage()
                                  : move == "previous" ? chart.PreviousPage()
                                  : move == "next"     ? chart.NextPage()
                                                       : chart.LastPage();
        EXPECT_EQ(page, s.page) << move;
        EXPECT_EQ(chart.Browsing(), s.browsing) << move << " to " << s.page;
        expectWindow(chart, s.window, move + " to page " + std::to_string(s.page));
    }
}

TEST_F(ChartControlTest, OnePageOfOneStaysOnPageOne) {
    addReadings(50);
    EXPECT_EQ(chart.FirstPage(), 1);
    EXPECT_EQ(chart.PreviousPage(), 1);
    EXPECT_EQ(chart.NextPage(), 1);
    EXPECT_EQ(chart.LastPage(), 1);
    EXPECT_FALSE(chart.Browsing());
    expectWindow(chart, {1, 100}, "page 1 of 1");
}

TEST_F(ChartControlTest, NewAfterSeveralPagesStartsAtXOne) {
    // 250 readings end mid-page; 200 end exactly where the page number runs ahead of the window
    for (int readings : {250, 200, 100}) {
        chart.Create(nullptr, 100);
        addReadings(readings);
        EXPECT_EQ(chart.Clear(), 1) << readings;
        EXPECT_EQ(chart.PageCount(), 1) << readings;
        EXPECT_EQ(chart.PointCount(), 1) << readings;
        EXPECT_FALSE(chart.Browsing()) << readings;
        expectWindow(chart, {1, 100}, "after New at " + std::to_string(readings));
        EXPECT_EQ(chart.AddValue(1234), 1);
        ASSERT_EQ(chart.points().size(), 2u);
        EXPECT_EQ(chart.points().at(1), 1234.0f);  // the next reading is plotted at x 1
    }
}

TEST_F(ChartControlTest, PagingBackNeverShowsAnEmptyPageLeftOfTheFirstReading) {
    addReadings(200);  // page 3 by count while the window shows 101..200
    EXPECT_EQ(chart.PreviousPage(), 2);
    expectWindow(chart, {1, 100}, "previous");
    EXPECT_EQ(chart.PreviousPage(), 1);
    expectWindow(chart, {1, 100}, "previous again");
    EXPECT_EQ(chart.FirstPage(), 1);
    expectWindow(chart, {1, 100}, "first");
}

TEST_F(ChartControlTest, SmallerPageSizeShowsTheLastPage) {
    addReadings(120);
    chart.PreviousPage();
    ASSERT_TRUE(chart.SetPageSize(50));
    EXPECT_EQ(chart.PageSize(), 50);
    EXPECT_EQ(chart.PageCount(), 3);
    EXPECT_EQ(chart.CurrentPage(), 3);
    EXPECT_FALSE(chart.Browsing());
    expectWindow(chart, {101, 150}, "page size 50");

    ASSERT_TRUE(chart.SetPageSize(1000));  // everything fits on page 1
    EXPECT_EQ(chart.PageCount(), 1);
    expectWindow(chart, {1, 1000}, "page size 1000");
}

TEST_F(ChartControlTest, PageSizeBelowOneIsRefused) {
    addReadings(120);
    for (int refused : {0, -1, -100}) {
        EXPECT_FALSE(chart.SetPageSize(refused)) << refused;
        EXPECT_EQ(chart.PageSize(), 100);
        EXPECT_EQ(chart.PageCount(), 2);
        expectWindow(chart, {101, 200}, "refused " + std::to_string(refused));
    }
    TChartControl fresh;
    fresh.Create(nullptr, 0);  // a fresh chart never divides by zero
    EXPECT_EQ(fresh.PageSize(), 1);
    EXPECT_EQ(fresh.AddValue(5), 2);
}

TEST_F(ChartControlTest, ValueRangeAndFillAreRecorded) {
    chart.SetValueMax(4000);
    chart.SetValueMin(-4000);
    EXPECT_EQ(chart.ValueMax(), 4000);
    EXPECT_EQ(chart.ValueMin(), -4000);
    chart.SetFillVisible(false);
    EXPECT_FALSE(chart.FillVisible());
    chart.SetFillVisible(true);
    EXPECT_TRUE(chart.FillVisible());
}

TEST(ChartAxisWindowTest, RepeatedScrollEqualsSingleSteps) {
    struct Case {
        std::int64_t offset, times, smallest, largest;
        ChartAxisWindow start;
    };
    const Case cases[] = {
        {100, 5, 1, 350, {1, 100}},    {100, 1, 1, 100, {1, 100}},  {100, 3, 1, 101, {1, 100}},
        {-100, 5, 1, 350, {301, 400}}, {-100, 2, 0, 350, {1, 100}}, {-50, 4, 1, 9, {101, 150}},
        {7, 1000, 1, 5000, {1, 7}},    {100, 0, 1, 999, {1, 100}},
    };
    for (const Case& c : cases) {
        ChartAxisWindow stepped = c.start;
        for (std::int64_t i = 0; i < c.times; ++i) {
            const bool moves = (c.offset > 0 && c.largest > stepped.maximum) ||
                               (c.offset < 0 && c.smallest < stepped.minimum);
            if (moves) {
                stepped.minimum += c.offset;
                stepped.maximum += c.offset;
            }
        }
        ChartAxisWindow atOnce = c.start;
        atOnce.scrollWithLimits(c.offset, c.times, c.smallest, c.largest);
        EXPECT_EQ(atOnce.minimum, stepped.minimum) << c.offset << " x " << c.times;
        EXPECT_EQ(atOnce.maximum, stepped.maximum) << c.offset << " x " << c.times;
    }
}

TEST(ChartPointStoreTest, KeepsValuesAcrossChunksAndClearsCompletely) {
    ChartPointStore store;
    const std::size_t count = 200000;  // several chunks
    for (std::size_t i = 0; i < count; ++i) {
        store.append(static_cast<double>(i % 8001) - 4000);
    }
    ASSERT_EQ(store.size(), count);
    for (std::size_t i : {std::size_t{0}, std::size_t{65535}, std::size_t{65536}, count - 1}) {
        EXPECT_EQ(store.at(i), static_cast<float>(i % 8001) - 4000) << i;
    }
    std::vector<ChartPoint> out;
    store.collect(65530, 65540, 100, out);
    ASSERT_EQ(out.size(), 11u);
    EXPECT_EQ(out.front().x, 65530);
    EXPECT_EQ(out.back().y, store.at(65540));
    store.clear();
    EXPECT_TRUE(store.empty());
    out.clear();
    store.collect(0, 10, 100, out);
    EXPECT_TRUE(out.empty());
}

TEST(ChartPointStoreTest, ThinningKeepsEveryPeakWithinTheBudget) {
    ChartPointStore store;
    for (int i = 0; i < 100000; ++i) {
        store.append(i == 77777 ? 3999 : (i == 12345 ? -3999 : 0));
    }
    std::vector<ChartPoint> out;
    store.collect(0, 99999, 1000, out);
    EXPECT_LE(out.size(), 1000u);
    bool high = false;
    bool low = false;
    double lastX = -1;
    for (const ChartPoint& p : out) {
        high = high || (p.x == 77777 && p.y == 3999);
        low = low || (p.x == 12345 && p.y == -3999);
        EXPECT_GT(p.x, lastX);  // still a trace from left to right
        lastX = p.x;
    }
    EXPECT_TRUE(high);
    EXPECT_TRUE(low);
}

TEST(ChartControlVisibleTest, VisiblePointsFollowTheWindowNotTheStore) {
    TChartControl chart;
    chart.Create(nullptr, 100);
    for (int i = 1; i <= 250; ++i) {
        chart.AddValue(i);
    }
    std::vector<ChartPoint> out;
    chart.visiblePoints(4096, out);  // window 201..300 holds 201..250, plus x 200 on the left
    ASSERT_EQ(out.size(), 51u);
    EXPECT_EQ(out.front().x, 200);
    EXPECT_EQ(out.back().x, 250);
    EXPECT_EQ(out.back().y, 250);
}

class RecordingSurface : public ChartSurface {
public:
    void chartChanged(Change change) override { changes.push_back(change); }
    std::vector<Change> changes;
};

TEST(ChartControlSurfaceTest, TellsTheChartWhatChanged) {
    RecordingSurface surface;
    TChartControl chart;
    chart.Create(&surface, 100);
    surface.changes.clear();
    chart.AddValue(1);
    EXPECT_EQ(surface.changes, std::vector{ChartSurface::Change::Points});
    surface.changes.clear();
    chart.SetFillVisible(false);
    chart.SetValueMax(4000);
    chart.SetValueMax(4000);  // unchanged: no redraw
    EXPECT_EQ(surface.changes,
              (std::vector{ChartSurface::Change::Fill, ChartSurface::Change::ValueRange}));
}

TEST_F(ChartControlTest, GoToPointShowsThePageThatHoldsIt) {
    addReadings(350);  // pages of 100: the last window is 301..400
    struct Case {
        std::int64_t x;
        int page;
        Window window;
        bool browsing;
    };
    const Case cases[] = {
        {1, 1, {1, 100}, true},      {100, 1, {1, 100}, true},  {101, 2, {101, 200}, true},
        {350, 4, {301, 400}, false}, {0, 4, {301, 400}, false},  // not a reading: no move
        {351, 4, {301, 400}, false},                             // beyond the newest: no move
    };
    for (const Case& c : cases) {
        const std::string where = "reading " + std::to_string(c.x);
        EXPECT_EQ(chart.GoToPoint(c.x), c.page) << where;
        expectWindow(chart, c.window, where);
        EXPECT_EQ(chart.Browsing(), c.browsing) << where;
    }
    chart.GoToPoint(150);
    addReadings(100);  // browsing: the window stays on the row's page
    expectWindow(chart, {101, 200}, "after more readings");
}

}  // namespace
