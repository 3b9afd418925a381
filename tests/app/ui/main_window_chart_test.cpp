#include <gtest/gtest.h>

#include <QGroupBox>
#include <QToolButton>

#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "display/ui/trend_chart.h"

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

}  // namespace
