#include <gtest/gtest.h>

#include <QGroupBox>
#include <QTableView>
#include <QTest>
#include <QToolButton>

#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "display/ui/trend_chart.h"
#include "recording/ui/measurement_grid.h"
#include "recording/ui/recording_room.h"

namespace {

TEST(MainWindowChart, TheTrendChartIsFedAndEnlargedInTheWindow) {
    TFCOMM window;
    TrendChart* chart = window.trendChart();
    ASSERT_NE(chart, nullptr);
    EXPECT_EQ(window.chartArea(), chart);
    EXPECT_EQ(chart->geometry(), QRect(432, 177, 373, 353));
    EXPECT_EQ(chart->control().PageSize(), 100);
    chart->refreshSeries();
    EXPECT_EQ(chart->valueSpan(), (ChartSpan{-4000, 4000}));  // the profile's full-scale count

    for (int i = 0; i < 100; ++i) {
        window.consumers().chartFeed(i);
    }
    EXPECT_EQ(chart->Bt10()->text(), "2");
    EXPECT_EQ(chart->control().PointCount(), 101);

    window.show();
    chart->TbFd()->click();
    EXPECT_EQ(chart->geometry(), QRect(2, 28, 805, 502));
    EXPECT_FALSE(window.lcdPanel()->isVisible());
    EXPECT_FALSE(window.functionBoard()->isVisible());
    chart->TbSx()->click();
    EXPECT_EQ(chart->geometry(), QRect(432, 177, 373, 353));
    EXPECT_TRUE(window.lcdPanel()->isVisible());
    EXPECT_TRUE(window.functionBoard()->isVisible());
}

TEST(MainWindowChart, ThePointAndTheTableRowFollowEachOther) {
    TFCOMM window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    TrendChart* chart = window.trendChart();
    auto* grid = qobject_cast<MeasurementGrid*>(window.gridArea());
    ASSERT_NE(grid, nullptr);
    // rows as the recording step appends them, each followed by its chart feed
    TableStore& table = window.recording().table();
    for (int i = 1; i <= 250; ++i) {
        table.append({i, {"12:00:00", "DCV", "1.000", "V", "4", "AUTO"}, i, {}});
        window.consumers().chartFeed(i * 10);
    }
    chart->refreshSeries();
    ASSERT_EQ(chart->Bt10()->text(), "3");

    // Ctrl+Home in the table: its first row, and the chart pages back to its point
    grid->view()->setFocus();
    QTest::keyClick(grid->view(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(grid->model()->currentRow(), std::optional<std::size_t>(0));
    EXPECT_EQ(chart->Bt10()->text(), "1");
    EXPECT_EQ(chart->selectedPoint(), std::optional<std::int64_t>(1));

    // a click on reading 42 in the chart makes row 42 (index 41) current in the table
    chart->refreshSeries();
    QTest::mouseClick(chart, Qt::LeftButton, Qt::NoModifier,
                      chart->pointPosition(42, 420).toPoint());
    EXPECT_EQ(grid->model()->currentRow(), std::optional<std::size_t>(41));
    EXPECT_EQ(chart->Bt10()->text(), "1");  // the table's own following moves no page
}

}  // namespace
