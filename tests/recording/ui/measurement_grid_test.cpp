#include "recording/ui/measurement_grid.h"

#include <gtest/gtest.h>

#include <QBrush>
#include <QDate>
#include <QHeaderView>
#include <QImage>
#include <QKeyEvent>
#include <QLineEdit>
#include <QLocale>
#include <QPalette>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <utility>
#include <vector>

#include "recording/data_files.h"
#include "tests/recording/ui/report_test_support.h"

namespace {

class GridTest : public ::testing::Test {
protected:
    void SetUp() override {
        grid.resize(426, 217);
        grid.show();
        QCoreApplication::processEvents();
    }

    QString cell(int viewRow, int column, int role = Qt::DisplayRole) const {
        auto* model = grid.model();
        return model->data(model->index(viewRow, column), role).toString();
    }
    int lastViewRow() const { return grid.model()->rowCount() - 1; }
    // A grid as it stands on screen in its window (what was painted last, not a fresh
    // rendering).
    static QImage shown(MeasurementGrid& g) {
        return g.screen()
            ->grabWindow(g.window()->winId(), g.x(), g.y(), g.width(), g.height())
            .toImage();
    }

    TableStore table;
    MeasurementGrid grid{table};
};

}  // namespace

TEST_F(GridTest, ShowsTheSevenColumnsWithTheirTitlesAndWidths) {
    auto* model = grid.model();
    ASSERT_EQ(model->columnCount(), 7);  // Nval is not shown
    const char* titles[] = {"No", "Time", "Function", "Value", "Unit", "Range", "Auto/Manu"};
    const int widths[] = {39, 70, 43, 80, 50, 50, 64};  // the least widths
    for (int c = 0; c < 7; ++c) {
        EXPECT_EQ(model->headerData(c, Qt::Horizontal).toString(), QString::fromLatin1(titles[c]));
    }
    for (int c = 0; c < 7; ++c) {
        EXPECT_GE(grid.view()->columnWidth(c), widths[c]) << c;
    }
    EXPECT_EQ(grid.view()->editTriggers(), QAbstractItemView::NoEditTriggers);
    EXPECT_TRUE(grid.view()->verticalHeader()->isVisible());  // the row indicator
    EXPECT_EQ(model->rowCount(), 0);
}

TEST_F(GridTest, ShowsARowWithGlyphSymbolsAndKeepsTheStoredCharacters) {
    RowData row;
    row.no = 7;
    row.texts = {"23:59:59", "OHM", "0.@", "K *", "4k *", "Manu"};
    row.nval = 4001;
    table.append(row);
    ASSERT_EQ(grid.model()->rowCount(), 1);
    EXPECT_EQ(cell(0, MeasurementTableModel::ColNo), "7");
    EXPECT_EQ(cell(0, MeasurementTableModel::ColTime), "23:59:59");
    EXPECT_EQ(cell(0, MeasurementTableModel::ColFunction), "OHM");
    EXPECT_EQ(cell(0, MeasurementTableModel::ColValue), "0.L");
    EXPECT_EQ(cell(0, MeasurementTableModel::ColUnit), QString::fromUtf16(u"K \u03A9"));
    EXPECT_EQ(cell(0, MeasurementTableModel::ColRange), QString::fromUtf16(u"4k \u03A9"));
    EXPECT_EQ(cell(0, MeasurementTableModel::ColAuto), "Manu");
    EXPECT_EQ(cell(0, MeasurementTableModel::ColUnit, MeasurementTableModel::StoredTextRole),
              "K *");
    EXPECT_EQ(table.text(0, Field::Unit), "K *");
    EXPECT_EQ(
        grid.model()->data(grid.model()->index(0, 1), Qt::TextAlignmentRole).value<Qt::Alignment>(),
        Qt::AlignCenter);
}

// The Time cell of a recorded row tells its full date and time; a loaded row has none to tell.
TEST_F(GridTest, TheTimeCellsToolTipGivesTheFullDateAndTime) {
    RowData row;
    row.no = 1;
    row.texts = {"04:47:56", "DCV", "1.234", "V", "4 V", "Auto"};
    row.stamp = WallTime{1796894276123, -16200};  // 2026-12-10 09:17:56.123 UTC
    table.append(row);
    row.stamp = WallTime{};
    table.append(row);
    EXPECT_EQ(cell(0, MeasurementTableModel::ColTime, Qt::ToolTipRole),
              QLocale().toString(QDate(2026, 12, 10), QLocale::LongFormat) +
                  QStringLiteral(", 04:47:56.123 (UTC-04:30)"));
    EXPECT_EQ(cell(1, MeasurementTableModel::ColTime, Qt::ToolTipRole), QString());
    EXPECT_EQ(cell(0, MeasurementTableModel::ColValue, Qt::ToolTipRole), QString());
}

// Shift with the arrow keys selects rows from where the current row was; the selected rows are
// highlighted, appended readings do not join them, and a plain move ends the selection.
TEST_F(GridTest, ShiftAndTheArrowKeysSelectRows) {
    appendSampleRows(table, 6);
    auto* model = grid.model();
    grid.view()->setFocus();
    QSignalSpy changed(model, &MeasurementTableModel::selectionChanged);
    QTest::keyClick(grid.view(), Qt::Key_Up, Qt::ShiftModifier);
    QTest::keyClick(grid.view(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(model->selectedRows(), (std::pair<std::size_t, std::size_t>(3, 5)));
    EXPECT_EQ(model->currentRow(), 3u);
    EXPECT_EQ(changed.count(), 2);
    const QModelIndex selected = model->index(static_cast<int>(4 - model->firstRow()), 0);
    EXPECT_EQ(model->data(selected, Qt::BackgroundRole).value<QBrush>(),
              QPalette().brush(QPalette::Highlight));
    const QModelIndex outside = model->index(static_cast<int>(2 - model->firstRow()), 0);
    EXPECT_FALSE(model->data(outside, Qt::BackgroundRole).isValid());
    appendSampleRows(table, 1);
    EXPECT_EQ(model->selectedRows(), (std::pair<std::size_t, std::size_t>(3, 5)));
    QTest::keyClick(grid.view(), Qt::Key_Down);
    EXPECT_EQ(model->selectedRows(), std::nullopt);
    EXPECT_EQ(changed.count(), 3);
}

TEST_F(GridTest, FollowsTheNewestReadingWithTheRowIndicator) {
    appendSampleRows(table, 3);
    auto* model = grid.model();
    EXPECT_EQ(model->currentRow(), 2u);
    EXPECT_EQ(grid.view()->currentIndex().row(), 2);
    EXPECT_EQ(model->headerData(2, Qt::Vertical).toString(), QString::fromUtf16(u"\u25B6"));
    EXPECT_TRUE(model->headerData(1, Qt::Vertical).toString().isEmpty());

    // Many more rows than fit: the view holds only the visible window, ending at the newest.
    appendSampleRows(table, 5000, 4);
    const int window = model->windowRows();
    EXPECT_GE(window, 5);
    EXPECT_LE(window, 217 / MeasurementGrid::kRowHeight);
    EXPECT_EQ(model->rowCount(), window);
    EXPECT_EQ(model->firstRow(), 5003u - static_cast<std::size_t>(window));
    EXPECT_EQ(cell(lastViewRow(), 0), "5003");
    EXPECT_EQ(model->currentRow(), 5002u);
    EXPECT_EQ(grid.view()->currentIndex().row(), lastViewRow());
    EXPECT_EQ(grid.scrollBar()->maximum(), 5003 - window);
    EXPECT_EQ(grid.scrollBar()->value(), grid.scrollBar()->maximum());

    QImage image(grid.size(), QImage::Format_ARGB32);
    grid.render(&image);  // really painted
    EXPECT_FALSE(image.isNull());
}

TEST_F(GridTest, ScrollsAndMovesTheCurrentRowOverTheWholeTable) {
    appendSampleRows(table, 1000);
    auto* model = grid.model();
    grid.scrollBar()->setValue(0);
    EXPECT_EQ(model->firstRow(), 0u);
    EXPECT_EQ(cell(0, 0), "1");
    EXPECT_FALSE(grid.view()->currentIndex().isValid());  // the current row is out of view

    grid.view()->setFocus();
    QTest::keyClick(grid.view(), Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(model->currentRow(), 0u);
    QTest::keyClick(grid.view(), Qt::Key_PageDown);
    EXPECT_EQ(model->currentRow(), static_cast<std::size_t>(model->windowRows()));
    EXPECT_EQ(model->firstRow(), 1u);  // scrolled just enough
    QTest::keyClick(grid.view(), Qt::Key_Up);
    EXPECT_EQ(model->currentRow(), static_cast<std::size_t>(model->windowRows() - 1));

    // The next reading takes the grid back to the newest row.
    appendSampleRows(table, 1, 1001);
    EXPECT_EQ(model->currentRow(), 1000u);
    EXPECT_EQ(cell(lastViewRow(), 0), "1001");
}

TEST_F(GridTest, EmptiesAndRefillsWithTheTable) {
    appendSampleRows(table, 50);
    table.clear();
    EXPECT_EQ(grid.model()->rowCount(), 0);
    EXPECT_FALSE(grid.model()->currentRow().has_value());
    EXPECT_EQ(grid.scrollBar()->maximum(), 0);

    TableStore loaded;
    appendSampleRows(loaded, 40, 100);
    table.replaceWith(std::move(loaded));
    EXPECT_EQ(grid.model()->currentRow(), 39u);
    EXPECT_EQ(cell(lastViewRow(), 0), "139");
}

TEST_F(GridTest, ShowsWhatAFreshGridShowsWhereverTheReadingsAndTheCurrentRowGo) {
    // Both grids in one window, so they are drawn alike (active or not).
    QWidget host;
    host.resize(2 * 426, 217);
    MeasurementGrid live(table, &host);
    live.setGeometry(0, 0, 426, 217);
    live.view()->setFocusPolicy(Qt::NoFocus);  // neither grid draws a focus frame
    host.show();
    appendSampleRows(table, 300);
    QCoreApplication::processEvents();
    auto* model = live.model();
    ASSERT_GE(model->windowRows(), 5);

    // While the grid follows the newest reading the indicator keeps its place: the row header
    // is not told of a change (which would lay the whole view out again).
    QSignalSpy headerChanges(model, &QAbstractItemModel::headerDataChanged);
    appendSampleRows(table, 3, 301);
    EXPECT_EQ(headerChanges.count(), 0);

    // After each step (a key, then so many readings) the painted grid, which may have reused
    // what it painted before, matches a grid freshly opened at the same place.
    struct Step {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        int readings;
    };
    const Step steps[] = {
        {Qt::Key_unknown, Qt::NoModifier, 1},  {Qt::Key_unknown, Qt::NoModifier, 2},
        {Qt::Key_Up, Qt::NoModifier, 0},       {Qt::Key_Up, Qt::NoModifier, 0},
        {Qt::Key_PageUp, Qt::NoModifier, 0},   {Qt::Key_PageUp, Qt::NoModifier, 1},
        {Qt::Key_Up, Qt::NoModifier, 3},       {Qt::Key_Home, Qt::ControlModifier, 0},
        {Qt::Key_Down, Qt::NoModifier, 0},     {Qt::Key_PageDown, Qt::NoModifier, 0},
        {Qt::Key_Down, Qt::NoModifier, 0},     {Qt::Key_End, Qt::ControlModifier, 4},
        {Qt::Key_unknown, Qt::NoModifier, 200}};
    int no = 400;
    for (std::size_t i = 0; i < std::size(steps); ++i) {
        if (steps[i].key != Qt::Key_unknown) {
            QTest::keyClick(live.view(), steps[i].key, steps[i].modifiers);
        }
        for (int r = 0; r < steps[i].readings; ++r) {
            appendSampleRows(table, 1, no++);
        }
        QCoreApplication::processEvents();
        MeasurementGrid fresh(table, &host);
        fresh.setGeometry(426, 0, 426, 217);
        fresh.view()->setFocusPolicy(Qt::NoFocus);
        fresh.show();
        QCoreApplication::processEvents();
        fresh.model()->setCurrentRow(*model->currentRow());
        fresh.model()->setFirstRow(model->firstRow());
        QCoreApplication::processEvents();
        ASSERT_EQ(fresh.model()->firstRow(), model->firstRow()) << i;
        EXPECT_EQ(shown(live), shown(fresh)) << "after step " << i;
    }
}

// A loaded file reaches the grid as one append, not one update per row.
TEST_F(GridTest, FollowsALoadedFileWithOneUpdate) {
    appendSampleRows(table, 3);
    TableStore source;
    appendSampleRows(source, 5000, 101);
    QTemporaryDir dir;
    const std::string file = dir.filePath(QStringLiteral("rows.txt")).toStdString();
    ASSERT_TRUE(SaveTableText(source, file).ok);
    QSignalSpy updates(grid.model(), &MeasurementTableModel::windowChanged);
    ASSERT_TRUE(LoadDataFile(file, table, false).ok);
    EXPECT_EQ(table.rowCount(), 5003u);
    EXPECT_EQ(updates.count(), 1);
    EXPECT_EQ(grid.model()->currentRow(), 5002u);
    EXPECT_EQ(cell(lastViewRow(), MeasurementTableModel::ColNo), "5100");
}

TEST(GridKeys, TabWalksEveryCellAndLeavesTheGridPastItsEnds) {
    TableStore table;
    QWidget form;
    auto* before = new QLineEdit(&form);
    auto* grid = new MeasurementGrid(table, &form);
    auto* after = new QLineEdit(&form);
    grid->setGeometry(0, 30, 426, 217);
    after->move(0, 260);
    form.resize(440, 300);
    form.show();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTableView* view = grid->view();
    MeasurementTableModel* model = grid->model();

    // Empty: Tab and Backtab pass through.
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus());
    view->setFocus();
    QTest::keyClick(view, Qt::Key_Backtab);
    EXPECT_TRUE(before->hasFocus());

    // More rows than the view holds: Tab goes on over the rows out of view.
    appendSampleRows(table, 30);
    const int columns = MeasurementTableModel::ColumnCount;
    model->setCurrentRow(0);
    view->setFocus();
    view->setCurrentIndex(model->index(0, 0));
    const struct {
        const char* what;
        int key;
        std::size_t row;
        int column;
    } steps[] = {
        {"right in the row", Qt::Key_Tab, 0, 1},
        {"back in the row", Qt::Key_Backtab, 0, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        QTest::keyClick(view, static_cast<Qt::Key>(s.key));
        EXPECT_EQ(model->currentRow(), s.row);
        EXPECT_EQ(view->currentIndex().column(), s.column);
        EXPECT_TRUE(view->hasFocus());
    }
    // Backtab at the first cell leaves for the control before.
    QTest::keyClick(view, Qt::Key_Backtab);
    EXPECT_TRUE(before->hasFocus());
    // Tab through the whole table: 30 rows of seven cells, then out.
    view->setFocus();
    for (int i = 0; i < 30 * columns - 1; ++i) {
        QTest::keyClick(view, Qt::Key_Tab);
        ASSERT_TRUE(view->hasFocus()) << i;
    }
    EXPECT_EQ(model->currentRow(), 29u);
    EXPECT_EQ(view->currentIndex().column(), columns - 1);
    QTest::keyClick(view, Qt::Key_Tab);
    EXPECT_TRUE(after->hasFocus());
}

// Rendered offscreen: no text the columns can hold is cut off ("10…", "DC…", "400…").
TEST_F(GridTest, EveryColumnHoldsTheWidestTextItCanHoldAndTheDividerFitsAgain) {
    RowData row;
    row.no = 10'000'001;
    row.texts = {"23:59:59", "DCmA", "-0.@", "mA", "4000uA", "Manu"};
    table.append(row);
    QHeaderView* header = grid.view()->horizontalHeader();
    for (int c = 0; c < MeasurementTableModel::ColumnCount; ++c) {
        SCOPED_TRACE(c);
        const int width = grid.view()->columnWidth(c);
        EXPECT_GE(width, header->sectionSizeHint(c)) << "the header is cut";
        const QFontMetrics metrics(MeasurementTableModel::columnFont(c));
        for (const QString& text : MeasurementTableModel::possibleTexts(c)) {
            EXPECT_LT(metrics.horizontalAdvance(text), width) << text.toStdString();
        }
    }
    // What the view draws: the cells' texts are whole, no eliding.
    QImage image(grid.size(), QImage::Format_ARGB32);
    grid.render(&image);
    const QAbstractItemView* view = grid.view();
    for (int c : {MeasurementTableModel::ColNo, MeasurementTableModel::ColFunction,
                  MeasurementTableModel::ColRange}) {
        const QModelIndex index = grid.model()->index(0, c);
        EXPECT_LE(view->sizeHintForIndex(index).width(), grid.view()->columnWidth(c))
            << index.data().toString().toStdString();
    }
    EXPECT_GT(grid.view()->horizontalScrollBar()->maximum(), 0) << "the grid scrolls sideways";

    // Narrowed by hand, a double click on the divider fits it again.
    grid.view()->setColumnWidth(MeasurementTableModel::ColRange, 10);
    const int divider = header->sectionViewportPosition(MeasurementTableModel::ColRange) +
                        header->sectionSize(MeasurementTableModel::ColRange) - 1;
    QTest::mouseDClick(header->viewport(), Qt::LeftButton, Qt::NoModifier,
                       QPoint(divider, header->height() / 2));
    EXPECT_EQ(grid.view()->columnWidth(MeasurementTableModel::ColRange),
              grid.fittingWidth(MeasurementTableModel::ColRange));
    EXPECT_GE(grid.fittingWidth(MeasurementTableModel::ColRange), 50);
}
