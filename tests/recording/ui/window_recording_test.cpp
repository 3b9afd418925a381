#include <gtest/gtest.h>

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QMenu>

#include <QToolButton>
#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "display/ui/trend_chart.h"
#include "meter/clock.h"
#include "meter/frame_decoder.h"
#include "recording/ui/measurement_grid.h"
#include "recording/ui/recording_controls.h"
#include "recording/ui/recording_room.h"
#include "tests/support/ui/modal_driver.h"

TEST(WindowRecording, ADecodedFrameBecomesARowInTheWindowsGrid) {
    TFCOMM window;
    window.show();
    auto* grid = qobject_cast<MeasurementGrid*>(window.gridArea());
    ASSERT_NE(grid, nullptr);
    EXPECT_EQ(grid->objectName(), "DBGrid1");
    EXPECT_EQ(grid->geometry(), QRect(6, 312, 426, 217));
    EXPECT_NE(window.functionBoard()->findChild<QCheckBox*>("RepeatSet"), nullptr);
    EXPECT_NE(window.recordMenu()->findChild<QAction*>("limitess"), nullptr);

    FixedClock clock(LocalDateTime{2026, 12, 9, 12, 4, 31});
    FrameDecoder decoder(window.consumers(), clock, ".");
    decoder.decode("A00012340010D");  // DC volts 1.234, Auto
    EXPECT_TRUE(decoder.lastOutcome().rowAppended);
    decoder.decode("A00012350010D");
    auto* model = grid->model();
    ASSERT_EQ(model->rowCount(), 2);
    auto cell = [model](int row, int column) {
        return model->data(model->index(row, column)).toString();
    };
    EXPECT_EQ(cell(1, MeasurementTableModel::ColNo), "2");
    EXPECT_EQ(cell(1, MeasurementTableModel::ColFunction), "DCV");
    EXPECT_EQ(cell(1, MeasurementTableModel::ColValue), "1.235");
    EXPECT_EQ(cell(1, MeasurementTableModel::ColRange), "4 V");
    EXPECT_EQ(cell(1, MeasurementTableModel::ColAuto), "Auto");
    EXPECT_EQ(model->currentRow(), 1u);

    // Unchecking Repeat in the window's board drops an unchanged reading.
    window.functionBoard()->findChild<QCheckBox*>("RepeatSet")->click();
    decoder.decode("A00012350010D");
    EXPECT_FALSE(decoder.lastOutcome().rowAppended);
    EXPECT_EQ(window.recording().table().rowCount(), 2u);
}

TEST(WindowRecording, NewFromTheChartEmptiesTheTableAndClearsTheChart) {
    TFCOMM window;
    window.show();
    FixedClock clock(LocalDateTime{2026, 12, 9, 12, 4, 31});
    FrameDecoder decoder(window.consumers(), clock, ".");
    decoder.decode("A00012340010D");
    decoder.decode("A00012350010D");
    TrendChart* chart = window.trendChart();
    ASSERT_NE(chart, nullptr);
    const int plotted = chart->control().PointCount();
    EXPECT_GE(plotted, 2);

    QString text;
    ModalDriver driver;
    driver.then(ModalDriver::closeBox(&text));
    chart->BtNew()->click();
    EXPECT_EQ(text, " Record deleted ");
    EXPECT_EQ(window.recording().table().rowCount(), 0u);
    EXPECT_LT(chart->control().PointCount(), plotted);
    decoder.decode("A00012360010D");
    EXPECT_EQ(window.recording().table().no(0), 1);
}
