#include "display/ui/trend_chart.h"

#include "recording/table_store.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QImageReader>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QWheelEvent>
#include <QXmlStreamReader>
#include <vector>

namespace {

// Answers the chart's dialogs and keeps its messages instead of showing modal boxes.
class FakePrompts : public ChartPrompts {
public:
    struct Shown {
        QMessageBox::Icon icon;
        QString text;
        QMessageBox::StandardButton button;
    };
    QString pictureFileName(QWidget*) override {
        ++dialogs;
        return answer;
    }
    void message(QWidget*, QMessageBox::Icon icon, const QString& text,
                 QMessageBox::StandardButton button) override {
        shown.push_back({icon, text, button});
    }
    QString answer;
    int dialogs = 0;
    std::vector<Shown> shown;
};

class TrendChartTest : public ::testing::Test {
protected:
    TrendChartTest() { chart.setPrompts(&prompts); }

    void feed(int count) {
        for (int i = 0; i < count; ++i) {
            chart.chartFeed((i * 37) % 8001 - 4000);
        }
        chart.refreshSeries();
    }
    QString page() const { return chart.Bt10()->text(); }
    // The page window; the drawing shows it with the reading before it at the left edge.
    std::pair<double, double> xRange() const {
        const ChartAxisWindow& window = chart.control().window();
        if (!chart.isZoomed()) {
            EXPECT_EQ(chart.shownSpan(), pageSpan(window));
        }
        return {static_cast<double>(window.minimum), static_cast<double>(window.maximum)};
    }

    FakePrompts prompts;
    TrendChart chart;
};

TEST_F(TrendChartTest, ControlsSitInsideTheChart) {
    struct Control {
        QWidget* widget;
        QRect place;
        const char* hint;
    };
    const Control controls[] = {
        {chart.BtFill(), {5, 8, 42, 17}, "Graphic Fill"},
        {chart.Maxrecord(), {48, 3, 41, 21}, ""},
        {chart.BtNew(), {91, 3, 23, 22}, "New"},
        {chart.BtSave(), {125, 3, 23, 22}, "Save"},
        {chart.BtFirst(), {163, 3, 23, 22}, "First"},
        {chart.BTPrevious(), {187, 3, 23, 22}, "Previous"},
        {chart.Bt10(), {211, 3, 25, 21}, "Page No."},
        {chart.BtNext(), {235, 3, 23, 22}, "Next"},
        {chart.BTlast(), {259, 3, 23, 22}, "last"},
        {chart.TbFd(), {288, 3, 25, 25}, "Graphic Enlarge"},
        {chart.TbSx(), {288, 3, 25, 25}, "Graphic Restore"},
    };
    chart.show();
    for (const Control& c : controls) {
        EXPECT_EQ(c.widget->parentWidget(), &chart) << c.hint;
        EXPECT_EQ(c.widget->geometry(), c.place) << c.hint;
        EXPECT_EQ(c.widget->toolTip(), QString::fromUtf8(c.hint)) << c.hint;
    }
    EXPECT_EQ(chart.objectName(), "Chtshow");
    EXPECT_EQ(chart.BtFill()->text(), "Fill");
    EXPECT_TRUE(chart.BtFill()->isChecked());
    EXPECT_EQ(chart.Maxrecord()->text(), "100");
    EXPECT_EQ(page(), "1");
    EXPECT_TRUE(chart.TbFd()->isVisible());
    EXPECT_FALSE(chart.TbSx()->isVisible());
    EXPECT_FALSE(chart.Timer2()->isActive());
    // beyond the pages: Fit and the value axis's auto-scale, after the enlarge button
    EXPECT_EQ(chart.BtFit()->geometry().left(), 316);
    EXPECT_EQ(chart.BtAutoScale()->geometry().right(), 369);
    EXPECT_FALSE(chart.BtAutoScale()->isChecked());
}

TEST_F(TrendChartTest, FeedShowsThePageAndOnlyTheVisibleWindow) {
    chart.control().SetValueMax(4000);
    chart.control().SetValueMin(-4000);
    chart.refreshSeries();
    EXPECT_EQ(chart.valueSpan(), (ChartSpan{-4000, 4000}));

    struct Step {
        int readings;
        const char* page;
        double left, right;
    };
    const Step steps[] = {{99, "1", 1, 100}, {100, "2", 1, 100}, {101, "2", 101, 200}};
    int done = 0;
    for (const Step& s : steps) {
        feed(s.readings - done);
        done = s.readings;
        EXPECT_EQ(page(), s.page) << s.readings;
        EXPECT_EQ(xRange(), std::make_pair(s.left, s.right)) << s.readings;
    }
    // window 101..200 holds reading 101 and, at and beyond the left edge, readings 100 and 99
    EXPECT_EQ(chart.shownSpan(), (ChartSpan{100, 200}));
    EXPECT_EQ(chart.drawnPointCount(), 3u);

    feed(100000);  // the drawing still gets one page, not the recording
    EXPECT_EQ(page(), "1002");
    EXPECT_LE(chart.drawnPointCount(), 104u);
}

TEST_F(TrendChartTest, ButtonsPageAndShowThePageNumber) {
    feed(350);
    struct Click {
        QToolButton* button;
        const char* page;
        double left;
    };
    const Click clicks[] = {
        {chart.BTPrevious(), "3", 201}, {chart.BtFirst(), "1", 1},  {chart.BtNext(), "2", 101},
        {chart.BTlast(), "4", 301},     {chart.BtNext(), "4", 301},
    };
    for (const Click& c : clicks) {
        c.button->click();
        chart.refreshSeries();
        EXPECT_EQ(page(), c.page) << c.button->objectName().toStdString();
        EXPECT_EQ(xRange().first, c.left) << c.button->objectName().toStdString();
    }
    chart.BtFirst()->click();
    feed(10);  // browse mode: counted, not followed
    EXPECT_EQ(page(), "1");
    EXPECT_EQ(xRange().first, 1);

    // the wheel zooms the drawing; the page stays, and Fit shows it again
    QWheelEvent wheel(QPointF(100, 100), chart.mapToGlobal(QPointF(100, 100)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&chart, &wheel);
    chart.refreshSeries();
    EXPECT_TRUE(chart.isZoomed());
    EXPECT_LT(chart.shownSpan().width(), 100);
    EXPECT_EQ(xRange(), std::make_pair(1.0, 100.0));
    chart.BtFit()->click();
    EXPECT_FALSE(chart.isZoomed());
    EXPECT_EQ(chart.shownSpan(), (ChartSpan{0, 100}));
}

TEST_F(TrendChartTest, NewStartsTheChartOver) {
    int newClicks = 0;
    QObject::connect(&chart, &TrendChart::newRequested, [&newClicks] { ++newClicks; });
    feed(250);
    chart.BtNew()->click();
    EXPECT_EQ(newClicks, 1);  // New itself belongs to the table, which calls clearChart
    chart.clearChart();
    chart.refreshSeries();
    EXPECT_EQ(page(), "1");
    EXPECT_EQ(xRange(), std::make_pair(1.0, 100.0));
    feed(1);
    EXPECT_EQ(chart.shownSpan(), (ChartSpan{0, 100}));
    EXPECT_EQ(chart.control().PointCount(), 2);  // the placeholder and reading 1
}

// Counts the pixels of one colour in the plot area's picture.
int pixelsOf(const QImage& image, QColor colour) {
    int count = 0;
    for (int y = 30; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            const int distance = std::abs(c.red() - colour.red()) +
                                 std::abs(c.green() - colour.green()) +
                                 std::abs(c.blue() - colour.blue());
            count += distance < 60 ? 1 : 0;
        }
    }
    return count;
}

TEST_F(TrendChartTest, FillHidesOnlyTheArea) {
    chart.control().SetValueMax(4000);
    chart.control().SetValueMin(-4000);
    for (int i = 0; i < 80; ++i) {
        chart.chartFeed(3000);
    }
    const QColor fill(255, 255, 128);
    const QColor line(0, 0, 255);
    QImage shown = chart.renderPicture();
    EXPECT_GT(pixelsOf(shown, fill), 1000);
    EXPECT_GT(pixelsOf(shown, line), 50);

    chart.BtFill()->click();
    EXPECT_FALSE(chart.BtFill()->isChecked());
    EXPECT_FALSE(chart.control().FillVisible());
    QImage hidden = chart.renderPicture();
    EXPECT_EQ(pixelsOf(hidden, fill), 0);
    EXPECT_GT(pixelsOf(hidden, line), 50);

    QMenu graphic;
    chart.fillGraphicMenu(&graphic);
    QAction* fillItem = graphic.findChild<QAction*>(QStringLiteral("Fill"));
    ASSERT_NE(fillItem, nullptr);
    EXPECT_FALSE(fillItem->isChecked());
    fillItem->trigger();  // the hidden menu's "Fill" toggles the box, the area and its mark
    EXPECT_TRUE(chart.BtFill()->isChecked());
    EXPECT_TRUE(fillItem->isChecked());
    EXPECT_TRUE(chart.control().FillVisible());
    EXPECT_GT(pixelsOf(chart.renderPicture(), fill), 1000);
}

TEST(TrendChartLayoutTest, EnlargeTwiceRestoresEveryPlace) {
    QWidget client;
    client.resize(809, 532);
    auto* lcd = new QWidget(&client);
    lcd->setGeometry(8, 35, 425, 206);
    auto* board = new QGroupBox(QStringLiteral("Function board"), &client);
    board->setGeometry(6, 244, 426, 66);
    auto* chart = new TrendChart(&client);
    chart->setGeometry(432, 177, 373, 353);
    chart->setEnlargeTargets(lcd, board);
    client.show();

    chart->TbFd()->click();
    EXPECT_TRUE(chart->isEnlarged());
    EXPECT_EQ(chart->geometry(), QRect(2, 28, 805, 502));
    EXPECT_FALSE(lcd->isVisible());
    EXPECT_FALSE(board->isVisible());
    EXPECT_FALSE(chart->TbFd()->isVisible());
    EXPECT_TRUE(chart->TbSx()->isVisible());

    chart->TbSx()->click();
    EXPECT_FALSE(chart->isEnlarged());
    EXPECT_EQ(chart->geometry(), QRect(432, 177, 373, 353));
    EXPECT_EQ(lcd->geometry(), QRect(8, 35, 425, 206));
    EXPECT_TRUE(lcd->isVisible());
    EXPECT_TRUE(board->isVisible());
    EXPECT_TRUE(chart->TbFd()->isVisible());
    EXPECT_FALSE(chart->TbSx()->isVisible());
}

TEST_F(TrendChartTest, SavesTheChartAsABitmapOfItsSize) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    chart.resize(373, 353);
    feed(150);

    prompts.answer = QString();  // cancelled: nothing happens
    chart.BtSave()->click();
    EXPECT_EQ(prompts.dialogs, 1);
    EXPECT_TRUE(prompts.shown.empty());

    prompts.answer = dir.filePath(QStringLiteral("trend.bmp"));
    chart.BtSave()->click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].icon, QMessageBox::Information);
    EXPECT_EQ(prompts.shown[0].text, "Graphic has saved on " + prompts.answer);
    EXPECT_EQ(prompts.shown[0].button, QMessageBox::Ok);
    QImageReader reader(prompts.answer);
    EXPECT_EQ(reader.format(), "bmp");
    const QImage saved = reader.read();
    EXPECT_EQ(saved.size(), QSize(373, 353));
    EXPECT_GT(pixelsOf(saved, QColor(255, 255, 128)), 100);  // the chart, not a blank page

    // a folder that does not exist: an error, no success box
    prompts.shown.clear();
    prompts.answer = dir.filePath(QStringLiteral("missing/trend.bmp"));
    chart.BtSave()->click();
    ASSERT_EQ(prompts.shown.size(), 1u);
    EXPECT_EQ(prompts.shown[0].icon, QMessageBox::Critical);
    EXPECT_TRUE(prompts.shown[0].text.contains(prompts.answer));
    EXPECT_FALSE(QFile::exists(prompts.answer));
}

TEST_F(TrendChartTest, PageSizeAppliesOneSecondAfterTheLastChange) {
    feed(120);
    chart.Maxrecord()->setText(QStringLiteral("5"));
    chart.Maxrecord()->setText(QStringLiteral("50"));
    EXPECT_TRUE(chart.Timer2()->isActive());
    EXPECT_EQ(chart.Timer2()->interval(), 1000);
    EXPECT_EQ(chart.control().PageSize(), 100);  // not before the second is over

    chart.Timer2Timer();
    chart.refreshSeries();
    EXPECT_FALSE(chart.Timer2()->isActive());
    EXPECT_EQ(chart.control().PageSize(), 50);
    EXPECT_EQ(chart.control().PageCount(), 3);
    EXPECT_EQ(xRange(), std::make_pair(101.0, 150.0));
    EXPECT_TRUE(prompts.shown.empty());

    chart.Maxrecord()->setText(QStringLiteral("1"));  // one point a page still draws
    chart.Timer2Timer();
    feed(3);
    EXPECT_EQ(page(), "124");
    EXPECT_EQ(xRange(), std::make_pair(123.0, 123.0));
    EXPECT_EQ(chart.shownSpan(), (ChartSpan{122, 123}));
    EXPECT_FALSE(chart.renderPicture().isNull());
}

TEST_F(TrendChartTest, RefusedPageSizesKeepTheOldOne) {
    feed(120);
    struct Case {
        const char* text;
        const char* message;
        QMessageBox::Icon icon;
        bool checkedAtOnce;  // refused on the change itself, before the timer
    };
    const Case cases[] = {
        {"0", "Enter a error number", QMessageBox::Warning, false},
        {"12x", "'12x' is not a valid integer value", QMessageBox::Critical, true},
        {"", nullptr, QMessageBox::NoIcon, true},  // being retyped: no message
    };
    for (const Case& c : cases) {
        prompts.shown.clear();
        chart.Maxrecord()->setText(QStringLiteral("100"));
        chart.Maxrecord()->setText(QString::fromUtf8(c.text));
        EXPECT_EQ(chart.Timer2()->isActive(), !c.checkedAtOnce) << c.text;
        chart.Timer2Timer();
        EXPECT_EQ(chart.control().PageSize(), 100) << c.text;
        if (c.message == nullptr) {
            EXPECT_TRUE(prompts.shown.empty());
            continue;
        }
        ASSERT_EQ(prompts.shown.size(), c.checkedAtOnce ? 2u : 1u) << c.text;
        EXPECT_EQ(prompts.shown[0].text, c.message);
        EXPECT_EQ(prompts.shown[0].icon, c.icon);
        if (!c.checkedAtOnce) {
            EXPECT_EQ(chart.Maxrecord()->text(), "100");  // the size in force is shown again
            EXPECT_FALSE(chart.Timer2()->isActive());
        }
    }
}

TEST_F(TrendChartTest, PageSizeEditTakesDigitsOnly) {
    chart.show();
    chart.Maxrecord()->setFocus();
    chart.Maxrecord()->setText(QStringLiteral("10"));
    chart.Maxrecord()->setCursorPosition(2);
    QTest::keyClick(chart.Maxrecord(), Qt::Key_A, Qt::NoModifier);
    QTest::keyClick(chart.Maxrecord(), Qt::Key_Minus, Qt::NoModifier);
    ASSERT_EQ(prompts.shown.size(), 2u);
    EXPECT_EQ(prompts.shown[0].text, "Please input number 0-9");
    EXPECT_EQ(prompts.shown[0].button, QMessageBox::Cancel);
    EXPECT_EQ(chart.Maxrecord()->text(), "10");
    QTest::keyClick(chart.Maxrecord(), Qt::Key_5, Qt::NoModifier);
    QTest::keyClick(chart.Maxrecord(), Qt::Key_Backspace, Qt::NoModifier);
    QTest::keyClick(chart.Maxrecord(), Qt::Key_0, Qt::NoModifier);
    QTest::keyClick(chart.Maxrecord(), Qt::Key_Return, Qt::NoModifier);  // types nothing
    EXPECT_EQ(chart.Maxrecord()->text(), "100");
    EXPECT_EQ(prompts.shown.size(), 2u);
}

// Whether a pixel of about this colour lies within radius of a place.
bool colourNear(const QImage& image, QPointF at, QColor colour, int radius = 2) {
    for (int dy = -radius; dy <= radius; ++dy) {
        for (int dx = -radius; dx <= radius; ++dx) {
            const QPoint p = at.toPoint() + QPoint(dx, dy);
            if (!image.rect().contains(p)) {
                continue;
            }
            const QColor c = image.pixelColor(p);
            if (std::abs(c.red() - colour.red()) + std::abs(c.green() - colour.green()) +
                    std::abs(c.blue() - colour.blue()) <
                60) {
                return true;
            }
        }
    }
    return false;
}

const QColor kLine(0, 0, 255);
const QColor kFill(255, 255, 128);

TEST_F(TrendChartTest, TheFirstReadingOfAPageIsSeenNotHiddenOnTheAxis) {
    chart.control().SetValueMax(4000);
    chart.control().SetValueMin(-4000);
    struct Case {
        const char* what;
        int readings;
        double left;  // the page's first reading
    };
    // "1000" as the record limit keeps 1001 rows: page 11 holds reading 1001 alone
    const Case cases[] = {{"page 2", 101, 101}, {"page 11 of a 1001-row recording", 1001, 1001}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        chart.clearChart();
        for (int i = 0; i < c.readings; ++i) {
            chart.chartFeed(i % 2 == 0 ? 2000 : 2100);
        }
        const QImage picture = chart.renderPicture();
        const QPointF first = chart.pointPosition(c.left, c.readings % 2 == 1 ? 2000 : 2100);
        EXPECT_GT(first.x(), chart.plotRect().left() + 2);  // a step in from the value axis
        EXPECT_TRUE(colourNear(picture, first, kLine));
        // the segment from the reading before and its fill run into the page
        EXPECT_TRUE(colourNear(picture, first + QPointF(-2, 20), kFill));
    }
}

TEST_F(TrendChartTest, AZoomShowsTheChosenSpanAndDraggingPansIt) {
    chart.control().SetValueMax(4000);
    chart.control().SetValueMin(-4000);
    chart.resize(373, 353);
    chart.show();
    for (int i = 1; i <= 300; ++i) {
        chart.chartFeed(i == 250 ? 3500 : 0);
    }
    chart.refreshSeries();
    ASSERT_EQ(chart.shownSpan(), (ChartSpan{200, 300}));

    // the wheel zooms about the cursor: reading 250 stays where it was
    const QPointF spike = chart.pointPosition(250, 3500);
    QWheelEvent wheel(spike, chart.mapToGlobal(spike), QPoint(), QPoint(0, 3 * 120), Qt::NoButton,
                      Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(&chart, &wheel);
    EXPECT_TRUE(chart.isZoomed());
    EXPECT_NEAR(chart.shownSpan().width(), 100 * 0.8 * 0.8 * 0.8, 1e-9);
    EXPECT_NEAR(chart.pointPosition(250, 3500).x(), spike.x(), 0.5);
    // the spike is drawn where the span puts it: wider than on the page
    const QImage zoomed = chart.renderPicture();
    EXPECT_TRUE(colourNear(zoomed, chart.pointPosition(250, 3500), kLine));
    EXPECT_TRUE(colourNear(zoomed, chart.pointPosition(249.5, 1750), kLine));

    // "+" zooms in further, a drag to the right shows earlier readings
    chart.setFocus();
    QTest::keyClick(&chart, Qt::Key_Plus);
    const ChartSpan before = chart.shownSpan();
    EXPECT_LT(before.width(), 51.3);
    const QPoint from = chart.plotRect().center();
    QTest::mousePress(&chart, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(from + QPoint(40, 0)),
                     chart.mapToGlobal(QPointF(from + QPoint(40, 0))), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QCoreApplication::sendEvent(&chart, &move);
    QTest::mouseRelease(&chart, Qt::LeftButton, Qt::NoModifier, from + QPoint(40, 0));
    EXPECT_NEAR(chart.shownSpan().low, before.low - 40 * before.width() / chart.plotRect().width(),
                1e-6);
    EXPECT_DOUBLE_EQ(chart.shownSpan().width(), before.width());

    // the arrows pan, Fit returns to the page, auto-scale fits the values shown
    QTest::keyClick(&chart, Qt::Key_Right);
    EXPECT_GT(chart.shownSpan().low, before.low - 40 * before.width() / chart.plotRect().width());
    chart.BtFit()->click();
    EXPECT_EQ(chart.shownSpan(), (ChartSpan{200, 300}));
    chart.BtAutoScale()->click();
    EXPECT_LT(chart.valueSpan().low, 0);
    EXPECT_GT(chart.valueSpan().high, 3500);
    EXPECT_LT(chart.valueSpan().width(), 8000);
    chart.BtAutoScale()->click();
    EXPECT_EQ(chart.valueSpan(), (ChartSpan{-4000, 4000}));
}

TEST_F(TrendChartTest, TheOverviewCoversEveryReadingAndAClickGoesToItsPage) {
    chart.control().SetValueMax(4000);
    chart.control().SetValueMin(-4000);
    chart.resize(373, 353);
    chart.show();
    for (int i = 1; i <= 5000; ++i) {
        chart.chartFeed(i == 2345 ? 3900 : -100);
    }
    const QImage picture = chart.renderPicture();
    const QRect strip = chart.overviewRect();
    const int columns = strip.width() - 2;
    const auto topOfColumn = [&](std::size_t reading) {
        int first = 0;
        int last = -1;
        chart.overview().columnsOf(reading, columns, first, last);
        const int x = strip.left() + 1 + first;
        for (int y = strip.top() + 1; y < strip.bottom(); ++y) {
            const QColor c = picture.pixelColor(x, y);
            if (c.blue() > 200 && c.red() < 100) {
                return y - strip.top();
            }
        }
        return strip.height();
    };
    EXPECT_LE(topOfColumn(2344), 3);                      // the spike reaches the top
    EXPECT_GE(topOfColumn(100), strip.height() / 2 - 1);  // elsewhere the line near zero

    // a click on the strip goes to the page of the reading under it
    int first = 0;
    int last = -1;
    chart.overview().columnsOf(1234, columns, first, last);
    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier,
                      QPoint(strip.left() + 1 + first, strip.center().y()));
    const auto current = chart.control().CurrentPage();
    EXPECT_GE(current, 12);
    EXPECT_LE(current, 13);
    EXPECT_EQ(page(), QString::number(current));
    EXPECT_TRUE(chart.control().Browsing());
}

TEST_F(TrendChartTest, HoveringAPointShowsItsRowAndClickingPicksIt) {
    TableStore table;
    chart.setRowTable(&table);
    chart.control().SetValueMax(4000);
    chart.control().SetValueMin(-4000);
    chart.resize(373, 353);
    chart.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&chart));
    const auto record = [&](int i, const std::string& time) {
        const std::string value = "1." + std::to_string(100 + i);
        table.append({i, {time, "DCV", value, "V", "4", "AUTO"}, 1100 + i, {}});
        chart.chartFeed(1100 + i);
    };
    for (int i = 1; i <= 250; ++i) {
        record(i, i == 5 ? "2024-05-06 12:00:05" : "12:00:00");
    }
    chart.BtFirst()->click();
    chart.refreshSeries();

    QSignalSpy picked(&chart, &TrendChart::rowPicked);
    const QPoint at = chart.pointPosition(5, 1105).toPoint();
    QTest::mouseMove(&chart, at);
    ASSERT_EQ(chart.hoveredPoint(), std::optional<std::int64_t>(5));
    EXPECT_TRUE(chart.readout()->isVisible());
    EXPECT_EQ(chart.readout()->text(), "No 5\n2024-05-06 12:00:05\n1.105 V");
    QTest::mouseMove(&chart, at + QPoint(0, 60));  // away from the trace: no readout
    EXPECT_FALSE(chart.readout()->isVisible());

    QTest::mouseClick(&chart, Qt::LeftButton, Qt::NoModifier, at);
    ASSERT_EQ(picked.count(), 1);
    EXPECT_EQ(picked.at(0).at(0).value<std::size_t>(), 4u);  // table rows count from 0
    EXPECT_EQ(chart.selectedPoint(), std::optional<std::int64_t>(5));

    // a row picked in the table pages the chart to its point
    chart.showRow(219);
    EXPECT_EQ(page(), "3");
    EXPECT_EQ(chart.shownSpan(), (ChartSpan{200, 300}));
    EXPECT_EQ(chart.selectedPoint(), std::optional<std::int64_t>(220));
    chart.setRowTable(nullptr);
}

TEST_F(TrendChartTest, SavesPngAndSvgBesideTheWhiteBitmap) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    chart.resize(373, 353);
    feed(150);
    struct Case {
        const char* name;
        const char* format;
    };
    const Case cases[] = {{"trend.bmp", "bmp"}, {"trend.png", "png"}, {"Trend.SVG", "svg"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        prompts.shown.clear();
        prompts.answer = dir.filePath(QString::fromUtf8(c.name));
        chart.BtSave()->click();
        ASSERT_EQ(prompts.shown.size(), 1u);
        EXPECT_EQ(prompts.shown[0].text, "Graphic has saved on " + prompts.answer);
        QFile file(prompts.answer);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        if (std::string_view(c.format) == "svg") {
            QXmlStreamReader xml(&file);
            bool svg = false;
            while (!xml.atEnd()) {
                if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"svg") {
                    svg = true;
                }
            }
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
            EXPECT_TRUE(svg);
            continue;
        }
        QImageReader reader(&file);
        EXPECT_EQ(reader.format(), c.format);
        const QImage saved = reader.read();
        EXPECT_EQ(saved.size(), QSize(373, 353));
        EXPECT_GT(pixelsOf(saved, kFill), 100);
        // white all round, the band of the controls too
        for (const QPoint p : {QPoint(0, 0), QPoint(372, 352), QPoint(360, 10), QPoint(2, 200)}) {
            EXPECT_EQ(saved.pixelColor(p), QColor(Qt::white)) << p.x() << "," << p.y();
        }
    }
}

}  // namespace
