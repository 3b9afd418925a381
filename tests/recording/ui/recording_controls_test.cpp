#include "recording/ui/recording_controls.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>

#include "meter/clock.h"
#include "recording/data_files.h"
#include "recording/ui/measurement_grid.h"
#include "recording/ui/recall_time_dialog.h"
#include "recording/ui/report_preview.h"
#include "recording/ui/statistics_window.h"
#include "tests/recording/ui/report_test_support.h"
#include "tests/support/ui/modal_driver.h"

namespace {

CurrentReading reading(const char* value, const char* function = "DCV", const char* unit = "V",
                       const char* range = "4 V") {
    CurrentReading r;
    r.valueText = value;
    r.functionText = function;
    r.unitText = unit;
    r.rangeText = range;
    r.autoManualText = "Auto";
    return r;
}

class ControlsTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.resize(809, 532);
        board.setGeometry(8, 264, 425, 41);
        controls.populateFunctionBoard(&board);
        controls.populateRecordMenu(&menu);
        controls.setChartClear([this] { ++chartClears; });
        grid = controls.createGrid(&window);
        grid->setGeometry(6, 312, 426, 217);
        window.show();
        QCoreApplication::processEvents();
    }

    // A frame's reading reaching the recording step, as the decoder hands it over.
    bool record(const char* value) { return recorder.recordReading(reading(value)).appended; }
    QString gridCell(int column) const {
        auto* model = grid->model();
        return model->data(model->index(model->rowCount() - 1, column)).toString();
    }

    TableStore table;
    FixedClock clock{LocalDateTime{2026, 12, 9, 12, 4, 31}};
    Recorder recorder{table, clock};
    QWidget window;
    QGroupBox board{QStringLiteral("Function board"), &window};
    QMenu menu{QStringLiteral("Record")};
    RecordingControls controls{table, recorder, &window};
    MeasurementGrid* grid = nullptr;
    int chartClears = 0;
    QTemporaryDir dir;
};

}  // namespace

TEST_F(ControlsTest, BuildsTheFunctionBoardAndTheRecordMenu) {
    EXPECT_EQ(controls.repeatSet()->text(), "Repeat");
    EXPECT_EQ(controls.repeatSet()->toolTip(), "Repeage Record");
    EXPECT_TRUE(controls.repeatSet()->isChecked());
    EXPECT_EQ(controls.recordSI()->text(), "Sampling Interval           'S");
    EXPECT_FALSE(controls.recordSI()->isChecked());
    EXPECT_EQ(controls.recordSITime()->text(), "1");
    EXPECT_EQ(controls.recordNew()->toolTip(), "Close Data");
    EXPECT_EQ(controls.saveAs()->toolTip(), "Save data files");
    EXPECT_EQ(controls.openDataFiles()->toolTip(), "Open old data files");
    EXPECT_EQ(controls.majPrint()->toolTip(), "Print Data");
    for (QToolButton* b :
         {controls.recordNew(), controls.saveAs(), controls.openDataFiles(), controls.majPrint()}) {
        EXPECT_FALSE(b->icon().isNull());
        EXPECT_TRUE(board.rect().contains(b->geometry())) << b->objectName().toStdString();
    }
    // The edit sits inside the check box's caption, within the board.
    EXPECT_TRUE(
        controls.recordSI()->geometry().contains(controls.recordSITime()->geometry().center()));

    QStringList captions;
    for (QAction* a : menu.actions()) {
        if (a->isVisible() && !a->isSeparator()) {
            captions << a->text();
        }
    }
    EXPECT_EQ(captions, (QStringList{"1000", "5000", "10000", "50000", "100000", "limitless",
                                     "Recall time...", QString::fromUtf16(u"Statistics\u2026")}));
    EXPECT_TRUE(controls.limitAction(RecordLimitItem::N100001)->isChecked());
    EXPECT_FALSE(controls.newAction()->isVisible());
    EXPECT_FALSE(controls.saveAction()->isVisible());
}

TEST_F(ControlsTest, ARecordedReadingAppearsInTheGridAsTheCurrentRow) {
    ASSERT_TRUE(record("1.234"));
    ASSERT_TRUE(recorder.recordReading(reading("0.@", "OHM", "M *", "4M *")).appended);
    EXPECT_EQ(grid->model()->rowCount(), 2);
    EXPECT_EQ(gridCell(MeasurementTableModel::ColNo), "2");
    EXPECT_EQ(gridCell(MeasurementTableModel::ColTime), "12:04:31");
    EXPECT_EQ(gridCell(MeasurementTableModel::ColUnit), QString::fromUtf16(u"M \u03A9"));
    EXPECT_EQ(grid->model()->currentRow(), 1u);
}

TEST_F(ControlsTest, RepeatAndTheLimitMenuSteerAdmission) {
    controls.repeatSet()->click();
    EXPECT_FALSE(recorder.repeat());
    EXPECT_TRUE(record("1.234"));
    EXPECT_FALSE(record("1.234"));  // unchanged reading dropped
    EXPECT_TRUE(record("1.235"));

    controls.limitAction(RecordLimitItem::N10001)->trigger();
    EXPECT_EQ(recorder.recordLimit(), 1000);
    EXPECT_TRUE(controls.limitAction(RecordLimitItem::N10001)->isChecked());
    EXPECT_FALSE(controls.limitAction(RecordLimitItem::N100001)->isChecked());
    controls.repeatSet()->click();
    while (record("2.000")) {
    }
    EXPECT_EQ(table.rowCount(), 1001u);  // the bound is compared before counting

    controls.limitAction(RecordLimitItem::limitess)->trigger();
    EXPECT_EQ(recorder.recordLimit(), 10'000'000);
    EXPECT_TRUE(record("2.000"));  // raising the limit resumes recording
    EXPECT_EQ(gridCell(MeasurementTableModel::ColNo), "1002");
}

TEST_F(ControlsTest, SamplingIntervalHoldsReadingsBackForItsSeconds) {
    controls.recordSI()->click();
    ASSERT_TRUE(controls.trecord()->isActive());
    EXPECT_EQ(controls.trecord()->interval(), 100);
    controls.recordSITime()->setText(QStringLiteral("2"));  // reloads the countdown
    EXPECT_EQ(recorder.samplingCountdown(), 2);
    EXPECT_FALSE(record("1.000"));  // held back: two seconds to go
    for (int tick = 0; tick < 20; ++tick) {
        controls.TrecordTimer();
    }
    EXPECT_EQ(recorder.samplingCountdown(), 0);
    EXPECT_TRUE(record("1.001"));
    EXPECT_FALSE(record("1.002"));  // the next sample is two seconds away again
    controls.recordSI()->click();
    EXPECT_FALSE(controls.trecord()->isActive());
}

TEST_F(ControlsTest, NewAsksFirstThenEmptiesTheTableAndTheChart) {
    record("1.000");
    record("2.000");
    QString text;
    int icon = 0;
    QStringList buttons;
    ModalDriver driver;
    driver.then(ModalDriver::closeBox(&text, &icon, &buttons));
    controls.recordNew()->click();
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_EQ(text, " Record deleted ");
    EXPECT_EQ(icon, QMessageBox::Information);
    EXPECT_EQ(buttons, QStringList{"OK"});
    EXPECT_EQ(table.rowCount(), 0u);
    EXPECT_EQ(grid->model()->rowCount(), 0);
    EXPECT_EQ(chartClears, 1);
    record("3.000");
    EXPECT_EQ(gridCell(MeasurementTableModel::ColNo), "1");
}

TEST_F(ControlsTest, AnIntervalTooLargeMarksTheEditWithoutABox) {
    ModalDriver none;
    controls.recordSITime()->setText(QStringLiteral("12345678901"));
    EXPECT_TRUE(none.unexpected().isEmpty()) << none.unexpected().join(", ").toStdString();
    EXPECT_TRUE(controls.recordSITime()->toolTip().contains(QStringLiteral("out of range")));
    EXPECT_FALSE(controls.recordSITime()->styleSheet().isEmpty());
    record("1.234");  // recording goes on with the interval before
    EXPECT_EQ(table.rowCount(), 1u);
    controls.recordSITime()->setText(QStringLiteral("2"));
    EXPECT_TRUE(controls.recordSITime()->toolTip().isEmpty());
    EXPECT_TRUE(controls.recordSITime()->styleSheet().isEmpty());
}

TEST_F(ControlsTest, TheDigitFilterRefusesAnythingButDigits) {
    QLineEdit* edit = controls.recordSITime();
    edit->setFocus();
    edit->selectAll();
    QString text;
    QStringList buttons;
    ModalDriver driver;
    driver.then(ModalDriver::closeBox(&text, nullptr, &buttons));
    QTest::keyClicks(edit, "2x5");
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_EQ(text, "Please input number 0-9");
    EXPECT_EQ(buttons, QStringList{"Cancel"});
    EXPECT_EQ(edit->text(), "25");
    EXPECT_EQ(recorder.editText(RecorderEdit::RecordSITime), "25");
    QTest::keyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), "2");
    EXPECT_TRUE(driver.unexpected().isEmpty());
}

TEST_F(ControlsTest, TheRecallWindowKeepsTheStartTimeRules) {
    RecallTimeDialog* recall = controls.recallTimeDialog();
    controls.recallTimeAction()->trigger();
    ASSERT_TRUE(recall->isVisible());
    recall->recallCheck()->click();
    EXPECT_EQ(recall->edit(RecorderEdit::TimeH)->text(), "00");
    EXPECT_EQ(recall->edit(RecorderEdit::TimeS)->text(), "00");

    QLineEdit* hours = recall->edit(RecorderEdit::TimeH);
    hours->setFocus();
    hours->selectAll();
    QTest::keyClicks(hours, "7");
    EXPECT_EQ(recorder.recallClock().hours, 7);

    QString text;
    ModalDriver driver;
    driver.then(ModalDriver::closeBox(&text));
    hours->selectAll();
    QTest::keyClicks(hours, "24");  // "2" passes, "24" is refused on release
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_EQ(text, "Input error!");
    EXPECT_EQ(hours->text(), "00");
    EXPECT_EQ(recorder.recallClock().hours, 2);

    // Recalled readings are stamped from the clock: start 02:00:00, interval 1.
    ASSERT_TRUE(record("1.000"));
    EXPECT_EQ(gridCell(MeasurementTableModel::ColTime), "02:00:01");
}

TEST_F(ControlsTest, SavesThroughTheDialogAndReportsTheResult) {
    record("1.234 ");
    record("2.000");
    const QString txt = dir.filePath(QStringLiteral("data.txt"));
    QString text;
    int icon = -1;
    ModalDriver driver;
    driver.then(ModalDriver::chooseFile(txt)).then(ModalDriver::closeBox(&text, &icon));
    controls.saveAs()->click();
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_EQ(text, "save table to specified file: " + txt + " Scuss!");
    EXPECT_EQ(icon, QMessageBox::NoIcon);
    EXPECT_EQ(readFileBytes(txt),
              "No\tTime\tDC/AC\tValue\tUnit\tRange\tAUTO\r\n"
              "1\t12:04:31\tDCV\t1.234\tV\t4 V\tAuto\r\n"
              "2\t12:04:31\tDCV\t2.000\tV\t4 V\tAuto\r\n");

    // A name without extension gets ".xls"; an existing file is only replaced when confirmed.
    const QString bare = dir.filePath(QStringLiteral("bare"));
    ModalDriver second;
    second.then(ModalDriver::chooseFile(bare)).then(ModalDriver::closeBox(&text));
    controls.saveAs()->click();
    EXPECT_EQ(text, "save table to specified file: " + bare + ".xls Scuss!");
    ModalDriver third;
    QString question;
    third.then(ModalDriver::chooseFile(bare + ".xls"))
        .then(ModalDriver::closeBox(&question))  // overwrite? the first button is "Yes"
        .then(ModalDriver::closeBox(&text));
    controls.saveAs()->click();
    EXPECT_EQ(third.pending(), 0);
    EXPECT_TRUE(question.contains(QStringLiteral("already exists"))) << question.toStdString();

    const QString unwritable = dir.filePath(QStringLiteral("gone/data.txt"));
    ModalDriver fourth;
    QString reason;
    QString title;
    fourth.then(ModalDriver::chooseFile(unwritable))
        .then(ModalDriver::closeBoxWithReason(&text, &reason, &title));
    controls.saveasClick();
    EXPECT_EQ(text, "Could not save table to specified file: " + unwritable);
    EXPECT_EQ(reason, "No such file or directory");
    EXPECT_FALSE(title.isEmpty());
    EXPECT_TRUE(fourth.unexpected().isEmpty());
}

TEST_F(ControlsTest, TheChosenFilterGivesABareNameItsExtension) {
    record("1.000");
    record("2.000");
    struct Case {
        int filter;  // the entry the user picks in the dialog's type box
        const char* name;
        const char* written;
    } cases[] = {{0, "first", "first.xls"},
                 {1, "packet", "packet.xml"},
                 {2, "plain", "plain.txt"},
                 {3, "analysis", "analysis.csv"},
                 {1, "kept.txt", "kept.txt"}};
    for (const Case& c : cases) {
        const QString bare = dir.filePath(QString::fromLatin1(c.name));
        ModalDriver driver;
        driver.then([&](QWidget* modal) {
            auto* dialog = qobject_cast<QFileDialog*>(modal);
            auto* types =
                dialog != nullptr ? dialog->findChild<QComboBox*>("fileTypeCombo") : nullptr;
            if (types == nullptr) {
                modal->close();
                return;
            }
            // As the user does: the box is opened and an entry chosen with the keys.
            types->setFocus();
            for (int i = 0; i < c.filter; ++i) {
                QTest::keyClick(types, Qt::Key_Down);
            }
            dialog->selectFile(bare);
            QMetaObject::invokeMethod(dialog, &QDialog::accept, Qt::QueuedConnection);
        });
        if (!QString::fromLatin1(c.written).endsWith(".xml")) {
            driver.then(ModalDriver::closeBox(nullptr));  // a packet's save shows no box
        }
        controls.saveasClick();
        EXPECT_EQ(driver.pending(), 0) << c.name;
        EXPECT_TRUE(driver.unexpected().isEmpty()) << c.name;
        const QString written = dir.filePath(QString::fromLatin1(c.written));
        ASSERT_TRUE(QFile::exists(written)) << c.written;
        TableStore back;
        ASSERT_TRUE(LoadDataFile(written.toStdString(), back, false).ok) << c.written;
        EXPECT_EQ(back.rowCount(), 2u) << c.written;
        // ".xml" holds the packet with Nval; the text formats leave Nval empty.
        EXPECT_EQ(back.nval(0).has_value(), QString::fromLatin1(c.written).endsWith(".xml"))
            << c.written;
        // The analysis CSV keeps each recorded row's moment.
        EXPECT_EQ(back.stamp(1),
                  QString::fromLatin1(c.written).endsWith(".csv") ? table.stamp(1) : WallTime{})
            << c.written;
    }
}

TEST_F(ControlsTest, SavingLeavesTheLastRowCurrent) {
    for (int i = 0; i < 40; ++i) {
        record("1.000");
    }
    grid->model()->setCurrentRow(3);
    ASSERT_EQ(grid->model()->currentRow(), 3u);
    ModalDriver driver;
    driver.then(ModalDriver::chooseFile(dir.filePath(QStringLiteral("rows.txt"))))
        .then(ModalDriver::closeBox(nullptr));
    controls.saveAs()->click();
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_EQ(grid->model()->currentRow(), 39u);
}

TEST_F(ControlsTest, OpensTextFilesByAppendingAndPacketsByReplacing) {
    TableStore other;
    appendSampleRows(other, 4, 50);
    const QString txt = dir.filePath(QStringLiteral("old.txt"));
    const QString xml = dir.filePath(QStringLiteral("old.xml"));
    ASSERT_TRUE(SaveTableText(other, txt.toStdString()).ok);
    ASSERT_TRUE(saveTablePacket(other, xml.toStdString()).ok);

    record("1.000");
    record("2.000");
    record("3.000");
    ModalDriver driver;
    driver.then(ModalDriver::chooseFile(txt));
    controls.openDataFiles()->click();
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_TRUE(driver.unexpected().isEmpty());  // success is not reported
    EXPECT_EQ(table.rowCount(), 7u);
    EXPECT_EQ(gridCell(MeasurementTableModel::ColNo), "53");  // the file's numbers, current
    EXPECT_EQ(recorder.nextRowNumber(), 4);                   // numbering untouched
    EXPECT_EQ(chartClears, 0);

    ModalDriver packet;
    packet.then(ModalDriver::chooseFile(xml));
    controls.SpeedButton2Click();
    EXPECT_EQ(table.rowCount(), 4u);
    EXPECT_EQ(table.nval(0), other.nval(0));

    const QString bad = dir.filePath(QStringLiteral("bad.txt"));
    QFile file(bad);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("No\tTime\r\n60\t12:00:00\r\nx\t12:00:01\r\n61\t12:00:02\r\n");
    file.close();
    QString text;
    int icon = 0;
    ModalDriver failing;
    failing.then(ModalDriver::chooseFile(bad)).then(ModalDriver::closeBox(&text, &icon));
    controls.SpeedButton2Click();
    EXPECT_EQ(text, "Failed to Load File!");
    EXPECT_EQ(icon, QMessageBox::Critical);
    EXPECT_EQ(table.rowCount(), 5u);  // the row before the bad line stays
    // The box keeps its text and says why below it.
    QString reason;
    QString title;
    ModalDriver why;
    why.then(ModalDriver::chooseFile(bad))
        .then(ModalDriver::closeBoxWithReason(&text, &reason, &title));
    controls.SpeedButton2Click();
    EXPECT_EQ(text, "Failed to Load File!");
    EXPECT_EQ(reason, "line 3: not a data line");
    EXPECT_EQ(title, "Error");
}

TEST_F(ControlsTest, TheOpenDialogShowsEveryDataFileAndOffersAllFiles) {
    QStringList filters;
    QString selected;
    ModalDriver driver;
    driver.then([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        filters = dialog->nameFilters();
        selected = dialog->selectedNameFilter();
        dialog->reject();
    });
    controls.SpeedButton2Click();
    EXPECT_EQ(filters, (QStringList{QStringLiteral("Data files (*.xls *.xml *.txt *.csv)"),
                                    QStringLiteral("Excel File(*.xls)"),
                                    QStringLiteral("XML(*.xml)"), QStringLiteral("Txt File(*.txt)"),
                                    QStringLiteral("CSV for analysis(*.csv)"),
                                    QStringLiteral("All files (*)")}));
    EXPECT_EQ(selected, filters.value(0));
}

TEST_F(ControlsTest, PrintPreviewsTheReportOnlyWhenThereAreRows) {
    QString nothing;
    ModalDriver none;
    none.then(ModalDriver::closeBox(&nothing));
    controls.majPrint()->click();  // empty table: no preview, a box that says so
    EXPECT_EQ(none.pending(), 0);
    EXPECT_EQ(nothing, QString::fromLatin1(RecordingControls::kNothingToPrintText));

    appendSampleRows(table, 38);
    int pages = -1;
    ModalDriver driver;
    driver.then([&pages](QWidget* modal) {
        auto* preview = qobject_cast<ReportPreview*>(modal);
        if (preview == nullptr) {
            modal->close();
            return;
        }
        pages = static_cast<int>(preview->pages().pageCount());
        QMetaObject::invokeMethod(preview, &QDialog::reject, Qt::QueuedConnection);
    });
    controls.MajPrintClick();
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_EQ(pages, 2);
}

// "Record" > "Statistics…" opens a window that stays open beside the main window and follows
// the recording; Copy gives the same text as halvern stats; a range of rows is counted alone.
TEST_F(ControlsTest, TheStatisticsWindowFollowsTheRecordingAndCopiesItsTable) {
    ASSERT_EQ(controls.statisticsAction()->text(), QString::fromUtf16(u"Statistics\u2026"));
    EXPECT_TRUE(menu.actions().contains(controls.statisticsAction()));
    controls.statisticsAction()->trigger();
    StatisticsWindow* stats = controls.statisticsWindow();
    ASSERT_TRUE(stats->isVisible());
    EXPECT_FALSE(stats->isModal());
    EXPECT_EQ(stats->tableWidget()->rowCount(), 0);

    ASSERT_TRUE(record("1.000"));
    ASSERT_TRUE(record("3.000"));
    ASSERT_TRUE(record("0.@"));
    EXPECT_TRUE(QTest::qWaitFor([&] { return stats->tableWidget()->rowCount() == 1; }));
    QTableWidget* grid = stats->tableWidget();
    EXPECT_EQ(grid->horizontalHeaderItem(6)->text(), "Std. deviation");
    EXPECT_EQ(grid->item(0, 0)->text(), "voltage_dc");
    EXPECT_EQ(grid->item(0, 2)->text(), "2");   // count
    EXPECT_EQ(grid->item(0, 5)->text(), "2");   // mean
    EXPECT_EQ(grid->item(0, 10)->text(), "1");  // overloads
    EXPECT_EQ(stats->scopeLabel()->text(), "All 3 rows of the table");

    stats->copyButton()->click();
    TableStatistics expected(table);
    expected.add(0, table.rowCount());
    EXPECT_EQ(QApplication::clipboard()->text(), QString::fromStdString(expected.text()));

    stats->setRowRange(std::pair<std::size_t, std::size_t>(1, 2));
    EXPECT_EQ(grid->item(0, 2)->text(), "1");
    EXPECT_EQ(stats->scopeLabel()->text(), "Rows 2 to 3 of the table");
    ASSERT_TRUE(record("5.000"));  // a range does not grow
    stats->updateNow();
    EXPECT_EQ(grid->item(0, 2)->text(), "1");

    stats->setRowRange(std::nullopt);
    EXPECT_EQ(grid->item(0, 2)->text(), "3");

    // Rows selected in the grid with Shift and the arrow keys are counted alone.
    this->grid->view()->setFocus();
    QTest::keyClick(this->grid->view(), Qt::Key_Up, Qt::ShiftModifier);
    EXPECT_EQ(this->grid->model()->selectedRows(), (std::pair<std::size_t, std::size_t>(2, 3)));
    EXPECT_EQ(stats->scopeLabel()->text(), "Rows 3 to 4 of the table");
    EXPECT_EQ(grid->item(0, 2)->text(), "1");  // 5 V; the overload is not a value
    EXPECT_EQ(grid->item(0, 10)->text(), "1");
    QTest::keyClick(this->grid->view(), Qt::Key_Up);  // a plain move ends the selection
    EXPECT_EQ(stats->scopeLabel()->text(), "All 4 rows of the table");

    table.clear();  // the whole (empty) table again
    EXPECT_EQ(grid->rowCount(), 0);
    EXPECT_EQ(stats->scopeLabel()->text(), "All 0 rows of the table");
}
