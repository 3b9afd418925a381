#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QFileInfo>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/ui/click_panel.h"
#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "display/ui/analog_scale.h"
#include "display/ui/scale_limits_window.h"
#include "lcd/ui/connection_indicator_view.h"
#include "lcd/ui/virtual_lcd.h"
#include "recording/data_files.h"
#include "recording/ui/recording_controls.h"
#include "recording/ui/recording_room.h"
#include "recording/ui/report_preview.h"
#include "tests/support/frames.h"
#include "tests/support/ui/modal_driver.h"
#include "transport/serial/port_map.h"

namespace {

TEST(MainWindow, TitleEndsInTheSystemWidthWithoutABlank) {
    EXPECT_EQ(TFCOMM::programTitle(true), QStringLiteral("Halvern Interface Program Ver2.00(x64)"));
    EXPECT_EQ(TFCOMM::programTitle(false),
              QStringLiteral("Halvern Interface Program Ver2.00(x86)"));
    TFCOMM window;
    EXPECT_EQ(window.windowTitle(), TFCOMM::programTitle(TFCOMM::is64BitOperatingSystem()));
}

TEST(MainWindow, ClientAreaIsFixedAndEveryAreaSitsAtItsPlace) {
    TFCOMM window;
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(window.clientArea()->size(), QSize(809, 532));
    EXPECT_EQ(window.minimumSize(), window.maximumSize());
    EXPECT_EQ(window.clientArea()->mapTo(&window, QPoint(0, 0)).y(),
              window.menuBar()->geometry().bottom() + 1);
    EXPECT_FALSE(window.windowFlags() & Qt::WindowMaximizeButtonHint);
    const QPoint screenCentre = window.screen()->availableGeometry().center();
    EXPECT_LE((window.frameGeometry().center() - screenCentre).manhattanLength(), 2);
    EXPECT_TRUE(window.windowFlags() & Qt::WindowMinimizeButtonHint);

    const struct {
        const char* name;
        QRect place;
    } areas[] = {
        {"BtCOM1", {13, 4, 61, 24}},      {"COMCon", {84, 3, 94, 25}},
        {"USB", {188, 3, 105, 25}},       {"BitBtn1", {696, 3, 105, 25}},
        {"Panel1", {8, 35, 425, 206}},    {"PBar2", {9, 240, 421, 17}},
        {"GroupBox1", {8, 264, 425, 41}}, {"DBGrid1", {6, 312, 426, 217}},
        {"KD", {433, 36, 371, 143}},      {"Chtshow", {432, 177, 373, 353}},
    };
    for (const auto& area : areas) {
        auto* w = window.clientArea()->findChild<QWidget*>(QString::fromLatin1(area.name));
        ASSERT_NE(w, nullptr) << area.name;
        EXPECT_EQ(w->geometry(), area.place) << area.name;
        EXPECT_TRUE(w->isVisible()) << area.name;
    }
    for (int i = 1; i < 4; ++i) {
        EXPECT_FALSE(window.portPanel(i)->isVisible());
    }
    EXPECT_TRUE(window.comConnectButton()->isCheckable());
    EXPECT_EQ(window.usbConnectButton()->text(), QStringLiteral("USB Connect "));
    EXPECT_EQ(window.functionBoard()->title(), QStringLiteral("Function board"));
}

TEST(MainWindow, MenuShowsNoBlankEntryAndEveryVisibleEntryHasItsMnemonic) {
    TFCOMM window;
    QStringList visible;
    QStringList hidden;
    for (QAction* a : window.menuBar()->actions()) {
        (a->isVisible() ? visible : hidden) << a->text();
    }
    EXPECT_EQ(visible, (QStringList{QStringLiteral("&Record"), QStringLiteral("&Scale"),
                                    QStringLiteral("H&ID"), QStringLiteral("&Help")}));
    EXPECT_EQ(hidden, (QStringList{QString(), QString(), QStringLiteral("ComSetup"),
                                   QStringLiteral("Connect"), QStringLiteral("Graphic"),
                                   QStringLiteral("Exit")}));
    EXPECT_EQ(window.helpMenu()->menuAction()->text(), QStringLiteral("&Help"));
    QStringList help;
    for (QAction* a : window.helpMenu()->actions()) {
        help << a->text();
    }
    EXPECT_EQ(help, (QStringList{QStringLiteral("&Keyboard shortcuts"),
                                 QStringLiteral("&Device check\u2026"), QStringLiteral("&About")}));
}

// The key table: each key, pressed in the window, opens what its button or menu item opens.
TEST(MainWindow, DesktopKeysRunTheirButtonsHandlers) {
    TFCOMM window;
    window.setQuitRequest([] {});
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    window.recording().table().append(RowData{});  // something to print
    const struct {
        const char* what;
        QKeyCombination keys;
        const char* opens;  // the modal's objectName
    } cases[] = {
        {"Ctrl+S saves", Qt::CTRL | Qt::Key_S, "SaveDialog2"},
        {"Ctrl+O opens", Qt::CTRL | Qt::Key_O, "OpenDialog1"},
        {"Ctrl+P previews the report", Qt::CTRL | Qt::Key_P, "ReportPreview"},
        {"Ctrl+Q asks the exit question", Qt::CTRL | Qt::Key_Q, "exitQuestion"},
        {"Ctrl+N shows its box", Qt::CTRL | Qt::Key_N, "MessageBox"},
        {"Alt+H, A shows the about box", Qt::ALT | Qt::Key_H, "AboutBox"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        window.activateWindow();  // the closed dialog gave the focus back
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
        QString opened;
        // Closes the first modal that comes ("No" where there is one, so Exit does not end).
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (modal == nullptr) {
                return;
            }
            closer.stop();
            opened = modal->objectName();
            auto* box = qobject_cast<QMessageBox*>(modal);
            if (box != nullptr && box->button(QMessageBox::No) != nullptr) {
                box->button(QMessageBox::No)->click();
            } else {
                modal->reject();
            }
        });
        closer.start(20);
        if (c.keys.key() == Qt::Key_H) {
            QTest::keyClick(&window, Qt::Key_H, Qt::AltModifier);
            ASSERT_TRUE(QTest::qWaitFor([&] { return window.helpMenu()->isVisible(); }, 3000));
            QTest::keyClick(window.helpMenu(), Qt::Key_A);
        } else {
            QTest::keyClick(&window, c.keys.key(), c.keys.keyboardModifiers());
        }
        EXPECT_TRUE(QTest::qWaitFor([&] { return !opened.isEmpty(); }, 3000));
        EXPECT_EQ(opened, QString::fromLatin1(c.opens));
        ASSERT_TRUE(
            QTest::qWaitFor([] { return QApplication::activeModalWidget() == nullptr; }, 3000));
    }
    EXPECT_EQ(window.recording().table().rowCount(), 0u) << "Ctrl+N did not run New";
    // F1 lists the shortcuts, read from the window's own actions.
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    QTest::keyClick(&window, Qt::Key_F1);
    auto* list = window.findChild<QDialog*>(QStringLiteral("KeyboardShortcuts"));
    ASSERT_NE(list, nullptr);
    EXPECT_TRUE(list->isVisible());
    auto* table = list->findChild<QTableWidget*>(QStringLiteral("ShortcutTable"));
    QStringList keys;
    for (int r = 0; r < table->rowCount(); ++r) {
        keys << table->item(r, 0)->text();
    }
    for (const char* k : {"Ctrl+S", "Ctrl+O", "Ctrl+P", "Ctrl+N", "Ctrl+Q", "F1"}) {
        EXPECT_TRUE(keys.contains(QString::fromLatin1(k))) << k;
    }
    QTest::keyClick(list, Qt::Key_Escape);
    EXPECT_FALSE(list->isVisible());
}

TEST(MainWindow, GridAndChartAreasCanBeReplacedByTheRoomsWidgets) {
    TFCOMM window;
    auto* chart = new QWidget;
    window.setChartWidget(chart);
    EXPECT_EQ(window.chartArea(), chart);
    EXPECT_EQ(chart->objectName(), QStringLiteral("Chtshow"));
    EXPECT_EQ(chart->geometry(), QRect(432, 177, 373, 353));
    EXPECT_EQ(window.clientArea()->findChildren<QWidget*>(QStringLiteral("Chtshow")).size(), 1);
}

// Answers the exit question once it is shown, and records what it said.
struct ExitAnswer {
    QMessageBox::StandardButton button;
    QString caption;
    QString text;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    bool yesIsDefault = false;
};

void answerExitQuestion(ExitAnswer* answer, bool viaEscape) {
    QTimer::singleShot(0, [answer, viaEscape] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        ASSERT_NE(box, nullptr);
        answer->caption = box->windowTitle();
        answer->text = box->text();
        answer->icon = box->icon();
        answer->yesIsDefault = box->defaultButton() == box->button(QMessageBox::Yes);
        EXPECT_EQ(box->escapeButton(), box->button(QMessageBox::No));
        if (viaEscape) {
            QTest::keyClick(box, Qt::Key_Escape);
        } else {
            box->button(answer->button)->click();
        }
    });
}

TEST(MainWindow, ExitQuestionYesEndsInOrderAndNoOrEscapeChangesNothing) {
    TFCOMM window;
    QStringList steps;
    window.setQuitRequest([&steps] { steps << "quit"; });
    QObject::connect(&window, &TFCOMM::tableCloseRequested, [&steps] { steps << "table"; });
    QObject::connect(&window, &TFCOMM::usbTimerStopRequested, [&steps] { steps << "usb"; });

    ExitAnswer no{QMessageBox::No, {}, {}};
    answerExitQuestion(&no, false);
    window.exitButton()->click();
    EXPECT_TRUE(steps.isEmpty());
    EXPECT_EQ(no.caption, QStringLiteral("Information"));
    EXPECT_EQ(no.text, QStringLiteral("Are you ensure to exit the program\uFF1F"));
    EXPECT_EQ(no.icon, QMessageBox::Information);
    EXPECT_TRUE(no.yesIsDefault);

    ExitAnswer escape{QMessageBox::No, {}, {}};
    answerExitQuestion(&escape, true);
    window.BtExit1Click();
    EXPECT_TRUE(steps.isEmpty());

    ExitAnswer yes{QMessageBox::Yes, {}, {}};
    answerExitQuestion(&yes, false);
    window.exitMenu()->actions().first()->trigger();
    EXPECT_EQ(steps, (QStringList{"quit", "table", "usb"}));
}

}  // namespace

namespace {

TEST(MainWindow, StartsWithTheLcdAtThreeNineNineNineTheIdleIconAndTheNeedleAtZero) {
    TFCOMM window;
    VirtualLcd* lcd = window.lcd();
    EXPECT_EQ(lcd->digitText(0) + lcd->digitText(1) + lcd->digitText(2) + lcd->digitText(3),
              QStringLiteral("3999"));
    EXPECT_TRUE(lcd->shownState().lit.none());
    EXPECT_EQ(lcd->timeText().size(), QStringLiteral("hh : nn : ss     mm - dd - yyyy").size());
    EXPECT_TRUE(window.connectionIndicator()->conokn()->isVisibleTo(window.scale()));
    EXPECT_FALSE(window.connectionIndicator()->conok()->isVisibleTo(window.scale()));
    EXPECT_EQ(window.scale()->lastNeedle().tip, (ScalePoint{186, 34}));
    EXPECT_EQ(window.scale()->scaleParams().mode, "4");
    EXPECT_EQ(window.barGraph()->maximum(), 40);
    EXPECT_EQ(window.barGraph()->value(), 20);
    EXPECT_FALSE(window.scale()->alarmSign()->isVisibleTo(window.scale()));
}

TEST(MainWindow, ScaleMenuOffersTheLimitsWindow) {
    TFCOMM window;
    QAction* limits = window.scaleMenu()->actions().value(0);
    ASSERT_NE(limits, nullptr);
    limits->trigger();
    EXPECT_TRUE(window.limitsWindow()->isVisible());
    window.limitsWindow()->close();
}

// Takes rows and chart points in place of the table and the chart.
struct RowTaker : ReadingConsumer {
    int rows = 0;
    std::vector<int> points;
    bool recordReading(const CurrentReading&) override {
        ++rows;
        return true;
    }
    void chartFeed(int y) override { points.push_back(y); }
};

struct WindowWithFrames : ::testing::Test {
    TFCOMM window;
    RowTaker taker;
    int beeps = 0;

    void SetUp() override {
        window.consumers().add(taker);
        window.scale()->setBeep([this] { ++beeps; });
    }
    void send(const char* nibbles) { window.pipeline().receive(meterFrameBytes(nibbles)); }
    QString lcdDigits() const {
        VirtualLcd* lcd = window.lcd();
        return lcd->digitText(0) + lcd->digitText(1) + lcd->digitText(2) + lcd->digitText(3);
    }
};

TEST_F(WindowWithFrames, ADcVoltFrameLightsItsElementsMovesTheNeedleAndSetsTheBar) {
    send("00012340010");  // DC 1.234 V, range "4 V", AUTO
    VirtualLcd* lcd = window.lcd();
    EXPECT_EQ(lcdDigits(), QStringLiteral("1234"));
    EXPECT_EQ(lcd->point(), 1);
    EXPECT_EQ(lcd->modeCaption(), QStringLiteral("DCV"));
    LcdElementSet expected;
    for (LcdElement e : {LcdElement::LcdDc1, LcdElement::LcdV, LcdElement::dd4, LcdElement::LCDVV,
                         LcdElement::LcdAuto, LcdElement::LCDsend}) {
        expected.set(static_cast<std::size_t>(e));
    }
    EXPECT_EQ(lcd->shownState().lit, expected);
    EXPECT_TRUE(window.connectionIndicator()->conok()->isVisibleTo(window.scale()));
    EXPECT_EQ(window.scale()->lastNeedle(), window.scale()->geometry().needle(123 + 400, 80));
    EXPECT_EQ(window.barGraph()->value(), 12);
    EXPECT_EQ(window.readingConsumer().usbText(), QStringLiteral("A00012340010D"));
    EXPECT_EQ(taker.rows, 1);
    EXPECT_EQ(taker.points, std::vector<int>{1234});
}

TEST_F(WindowWithFrames, CaptionsAndFacesFollowTheFunction) {
    send("22000450000");  // capacitance 10 nF range: face of mode "10", bar maximum 100
    EXPECT_TRUE(window.lcd()->isShown(LcdElement::LCDF));
    EXPECT_TRUE(window.lcd()->isShown(LcdElement::LCDn));
    EXPECT_EQ(window.scale()->scaleParams().mode, "10");
    EXPECT_EQ(window.barGraph()->maximum(), 100);
    send("41112300010");  // AC milliamps
    EXPECT_EQ(window.lcd()->modeCaption(), QStringLiteral("ACA"));
    EXPECT_TRUE(window.lcd()->isShown(LcdElement::Lcdm));
    EXPECT_EQ(window.scale()->scaleParams().mode, "4");
    send("00100000500");  // minus and overload in "40 V"
    EXPECT_EQ(lcdDigits(), QStringLiteral("  0@  "));
    EXPECT_TRUE(window.lcd()->minusShown());
    EXPECT_EQ(window.scale()->lastNeedle(), window.scale()->geometry().needle(0, 80));
    EXPECT_EQ(window.barGraph()->value(), 40);
}

TEST_F(WindowWithFrames, BadFramesShowANoticeAndTheNextFrameIsShownAsUsual) {
    send("0001A340010");  // a letter among the digits: shown, then the numbers fail
    EXPECT_EQ(window.lcd()->failedFrames(), 1);
    EXPECT_EQ(window.lcd()->failureNotice()->toolTip(),
              QStringLiteral("last bad frame: '1A3' is not a valid integer value"));
    EXPECT_EQ(taker.rows, 0);
    send("00012340010");
    EXPECT_EQ(lcdDigits(), QStringLiteral("1234"));
    EXPECT_EQ(taker.rows, 1);
    EXPECT_EQ(window.lcd()->failedFrames(), 1);
}

TEST_F(WindowWithFrames, TheBarTakesTheModesMaximumEvenWhenTheFrameFailsAfterChoosingIt) {
    send("00012340010");  // mode "4": bar 12 of 40
    ASSERT_EQ(window.barGraph()->maximum(), 40);
    send("22000000001");  // capacitance "open": mode "10", then the needle's number fails
    EXPECT_EQ(window.lcd()->failedFrames(), 1);
    EXPECT_EQ(window.scale()->scaleParams().mode, "10");
    EXPECT_EQ(window.barGraph()->maximum(), 100);
    EXPECT_EQ(window.barGraph()->value(), 12);
    send("11000000000");  // temperature "open": mode "13", bar maximum 10, bar 0
    send("22000000001");
    send("00039990010");  // back to mode "4"
    EXPECT_EQ(window.barGraph()->maximum(), 40);
    EXPECT_EQ(window.barGraph()->value(), 39);
}

TEST_F(WindowWithFrames, TheBadFrameNoticeRestartsOnNewAndOnEveryConnectionAndFades) {
    // With the real table attached: New comes from its controls.
    window.consumers().remove(taker);
    QLabel* notice = window.lcd()->failureNotice();
    window.lcd()->failureFade()->setInterval(60);
    send("0001A340010");
    send("0001A340010");
    EXPECT_EQ(notice->text(), QStringLiteral("2 bad frames"));
    EXPECT_TRUE(notice->isVisibleTo(window.lcd()));
    QTest::qWait(30);
    send("000B1230010");  // a new failure restarts the fade
    QTest::qWait(40);
    EXPECT_TRUE(notice->isVisibleTo(window.lcd()));
    QTRY_VERIFY_WITH_TIMEOUT(!notice->isVisibleTo(window.lcd()), 2000);
    EXPECT_EQ(notice->toolTip(),
              QStringLiteral("last bad frame: 'B12' is not a valid integer value"));
    EXPECT_EQ(window.lcd()->failedFrames(), 3);

    ModalDriver driver;
    driver.then(ModalDriver::closeBox(nullptr));  // " Record deleted "
    window.recording().controls().RecordNewClick();
    EXPECT_EQ(window.lcd()->failedFrames(), 0);
    send("0001A340010");
    EXPECT_EQ(notice->text(), QStringLiteral("1 bad frame"));

    // A new connection, even one that cannot open, starts the count afresh.
    PortMap ports;
    ports.setPath(0, "/nonexistent/ttyHALVERN");
    window.setPortMap(ports);
    window.comConnectButton()->click();
    EXPECT_EQ(window.lcd()->failedFrames(), 0);
    EXPECT_FALSE(notice->isVisibleTo(window.lcd()));
    window.comConnectButton()->click();
}

TEST_F(WindowWithFrames, ARecordingStepThatFailsOnTheEditIsShownAtTheEditNotAsABadFrame) {
    window.consumers().remove(taker);
    window.recording().recorder().setEditText(RecorderEdit::RecordSITime, "1x");
    send("00012340010");
    send("00012350010");
    QLineEdit* edit = window.recording().controls().recordSITime();
    EXPECT_EQ(window.lcd()->failedFrames(), 0);
    EXPECT_FALSE(window.lcd()->failureNotice()->isVisibleTo(window.lcd()));
    EXPECT_EQ(edit->toolTip(), QStringLiteral("'1x' is not a valid integer value"));
    EXPECT_EQ(window.recording().table().rowCount(), 0u);
    edit->setText(QStringLiteral("0"));  // a number again: recording goes on, the mark goes
    EXPECT_TRUE(edit->toolTip().isEmpty());
    send("00012360010");
    EXPECT_EQ(window.recording().table().rowCount(), 1u);
}

TEST_F(WindowWithFrames, EnabledLimitAlarmsAndTheExtremesFollowTheFrames) {
    ScaleLimitsWindow* limits = window.limitsWindow();
    limits->setmaxEdit()->setText(QStringLiteral("1000"));
    limits->setMaxBox()->click();
    send("00012340010");
    EXPECT_EQ(beeps, 1);
    EXPECT_TRUE(window.scale()->alarmSign()->isVisibleTo(window.scale()));
    send("00012340010");
    send("00005000010");
    EXPECT_EQ(beeps, 2);
    EXPECT_FALSE(window.scale()->alarmSign()->isVisibleTo(window.scale()));
    limits->refreshExtremes();
    EXPECT_EQ(window.scale()->limits().maxTextU(), "V");
    EXPECT_EQ(limits->minText()->text().right(3), QStringLiteral("500"));
}

}  // namespace

namespace {

TEST(MainWindow, WindowFontNamesMapToInstalledMetricCompatibleFonts) {
    TFCOMM window;
    const QFontInfo info(window.font());
    EXPECT_TRUE(info.family() == QStringLiteral("Liberation Sans") ||
                info.family() == QStringLiteral("DejaVu Sans"))
        << info.family().toStdString();
    EXPECT_TRUE(info.bold());
    EXPECT_EQ(info.pixelSize(), 11);
    const QFontInfo arial(QFont(QStringLiteral("Arial")));
    EXPECT_EQ(arial.family(), info.family());
}

}  // namespace

namespace {

// The close box with the real table: a question only while recorded rows are unsaved.
struct ClosingWindow : ::testing::Test {
    TFCOMM window;
    QStringList asked;
    int answer = QMessageBox::Cancel;

    void SetUp() override {
        window.setUnsavedQuestion([this](int rows) {
            asked << QString::number(rows);
            return answer;
        });
        window.setQuitRequest([] {});
        window.show();
    }
    void send(const char* nibbles) { window.pipeline().receive(meterFrameBytes(nibbles)); }
};

TEST_F(ClosingWindow, NothingUnsavedClosesAtOnce) {
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(asked.isEmpty());
}

TEST_F(ClosingWindow, UnsavedRowsAskAndCancelOrDiscardDecide) {
    send("00012340010");
    send("00012350010");
    EXPECT_FALSE(window.close());  // Cancel
    EXPECT_EQ(asked, QStringList{"2"});
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.recording().table().rowCount(), 2u);
    answer = QMessageBox::Discard;
    EXPECT_TRUE(window.close());
    EXPECT_EQ(asked.size(), 2);
}

TEST_F(ClosingWindow, AfterASaveOrNewTheCloseBoxAsksNothing) {
    QTemporaryDir dir;
    send("00012340010");
    ModalDriver driver;
    driver.then(ModalDriver::chooseFile(dir.filePath(QStringLiteral("kept.xml"))));
    window.recording().controls().saveasClick();
    ASSERT_EQ(driver.pending(), 0);
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(asked.isEmpty());

    window.show();
    send("00012340010");
    ModalDriver newBox;
    newBox.then(ModalDriver::closeBox(nullptr));
    window.recording().controls().RecordNewClick();
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(asked.isEmpty());
}

TEST_F(ClosingWindow, SaveFromTheQuestionSavesThenCloses) {
    QTemporaryDir dir;
    send("00012340010");
    answer = QMessageBox::Save;
    ModalDriver cancelled;
    cancelled.then(ModalDriver::cancelDialog());
    EXPECT_FALSE(window.close());  // the save dialog was cancelled: the rows stay
    ModalDriver saved;
    saved.then(ModalDriver::chooseFile(dir.filePath(QStringLiteral("rows.txt"))))
        .then(ModalDriver::closeBox(nullptr));
    EXPECT_TRUE(window.close());
    EXPECT_TRUE(QFile::exists(dir.filePath(QStringLiteral("rows.txt"))));
}

TEST_F(ClosingWindow, AWrittenReportSaysWhereOnTheLcdPanel) {
    QTemporaryDir dir;
    const QString pdf = dir.filePath(QStringLiteral("report.pdf"));
    send("00012340010");
    ModalDriver driver;
    driver
        .then([](QWidget* modal) {
            auto* preview = qobject_cast<ReportPreview*>(modal);
            ASSERT_NE(preview, nullptr);
            QObject::connect(preview, &ReportPreview::pdfWritten, preview, &QDialog::reject,
                             Qt::QueuedConnection);
            QMetaObject::invokeMethod(preview->findChild<QPushButton*>(QStringLiteral("pdf")),
                                      &QAbstractButton::click, Qt::QueuedConnection);
        })
        .then(ModalDriver::chooseFile(pdf));
    window.recording().controls().MajPrintClick();
    EXPECT_EQ(driver.pending(), 0);
    EXPECT_TRUE(QFile::exists(pdf));
    QLabel* notice = window.lcd()->connectionNotice();
    EXPECT_TRUE(notice->isVisibleTo(window.lcd()));
    EXPECT_EQ(notice->text(), QStringLiteral("report written to report.pdf"));
    EXPECT_TRUE(notice->toolTip().contains(pdf)) << notice->toolTip().toStdString();
}

// "Yes" to Exit ends at once when nothing is unsaved, and otherwise brings the close box's
// offer: Cancel keeps the window and the rows (and their journal), Discard and Save end it
// and remove the journal; after them the close box asks nothing more.
TEST(ExitingWindow, YesWithUnsavedRowsOffersToSaveThem) {
    struct Case {
        const char* what;
        int rowsSent;
        int answer;
        bool ends;
    };
    const Case cases[] = {
        {"nothing unsaved", 0, QMessageBox::Cancel, true},
        {"Cancel", 1, QMessageBox::Cancel, false},
        {"Discard", 2, QMessageBox::Discard, true},
        {"Save", 2, QMessageBox::Save, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        TFCOMM window;
        QStringList asked;
        bool quit = false;
        window.setUnsavedQuestion([&](int rows) {
            asked << QString::number(rows);
            return c.answer;
        });
        window.setQuitRequest([&quit] { quit = true; });
        window.show();
        for (int i = 0; i < c.rowsSent; ++i) {
            window.pipeline().receive(meterFrameBytes(i % 2 ? "00012350010" : "00012340010"));
        }
        ASSERT_TRUE(window.recording().journal().flush());
        const QString saved = dir.filePath(QStringLiteral("rows.xml"));
        ModalDriver driver;
        driver.then(ModalDriver::closeBox(nullptr));  // "Yes", the first button
        if (c.answer == QMessageBox::Save) {
            driver.then(ModalDriver::chooseFile(saved));
        }
        window.exitButton()->click();
        EXPECT_EQ(driver.pending(), 0);
        EXPECT_EQ(asked, c.rowsSent > 0 ? QStringList{QString::number(c.rowsSent)} : QStringList{});
        EXPECT_EQ(quit, c.ends);
        const bool journalLeft =
            QFileInfo::exists(QString::fromStdString(window.recording().journal().sessionFolder()));
        EXPECT_EQ(journalLeft, !c.ends && c.rowsSent > 0);
        if (c.answer == QMessageBox::Save) {
            TableStore file;
            ASSERT_TRUE(LoadDataFile(saved.toStdString(), file, true).ok);
            EXPECT_EQ(file.rowCount(), 2u);
        }
        if (!c.ends) {
            EXPECT_EQ(window.recording().table().rowCount(), 1u);
            asked.clear();
            EXPECT_FALSE(window.close());  // the close box asks again, and is cancelled
            EXPECT_EQ(asked.size(), 1);
        } else {
            // Exit's close of the table discards its rows.
            EXPECT_EQ(window.recording().table().rowCount(), 0u) << "Exit's close kept the rows";
            EXPECT_TRUE(window.close());
            EXPECT_EQ(asked.size(), c.rowsSent > 0 ? 1 : 0);
        }
    }
}

}  // namespace
