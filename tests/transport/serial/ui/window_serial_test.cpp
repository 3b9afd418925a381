// The serial link in the main window: selector, "COM Connect", the exclusive group, and live
// readings from the demo meter over a pseudo-terminal.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "app/ui/click_panel.h"
#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "lcd/ui/virtual_lcd.h"
#include "meter/reading_pipeline.h"
#include "recording/table_store.h"
#include "recording/ui/recording_room.h"
#include "sim/pseudo_terminal.h"
#include "sim/ui/demo_meter.h"
#include "tests/support/frames.h"
#include "tests/support/temp_folder.h"
#include "transport/serial/port_map.h"
#include "transport/serial/ui/serial_connection_view.h"
#include "transport/serial/ui/serial_link.h"

namespace {

int visiblePanel(const TFCOMM& w) {
    int visible = -1;
    for (int i = 0; i < 4; ++i) {
        if (w.portPanel(i)->isVisibleTo(w.clientArea())) {
            EXPECT_EQ(visible, -1) << "two selector panels shown";
            visible = i;
        }
    }
    return visible;
}

int checkedPort(const TFCOMM& w) {
    int checked = -1;
    const QList<QAction*> items = w.comSetupMenu()->actions();
    EXPECT_EQ(items.size(), 4);
    for (int i = 0; i < items.size(); ++i) {
        if (items[i]->isChecked()) {
            EXPECT_EQ(checked, -1) << "two ports checked";
            checked = i;
        }
    }
    return checked;
}

TEST(WindowSerialTest, SelectorCyclesWithTheMenuCheckMarkAndTheMappedPathAsToolTip) {
    TFCOMM w;
    PortMap ports;
    ports.assign("COM3=/dev/ttyUSB0");
    w.setPortMap(ports);
    w.show();
    EXPECT_EQ(visiblePanel(w), 0);  // the profile preselects COM1
    EXPECT_EQ(checkedPort(w), 0);
    EXPECT_EQ(w.serialLink().COMM2().ComPort(), pnCOM1);
    EXPECT_EQ(w.portPanel(0)->text(), QStringLiteral("COM 1"));
    EXPECT_EQ(w.portPanel(0)->toolTip(), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(w.portPanel(2)->toolTip(), QStringLiteral("/dev/ttyUSB0"));
    for (int want : {1, 2, 3, 0}) {
        QTest::mouseClick(w.portPanel(visiblePanel(w)), Qt::LeftButton);
        EXPECT_EQ(visiblePanel(w), want);
        EXPECT_EQ(checkedPort(w), want);
        EXPECT_EQ(w.serialLink().COMM2().ComPort(), want);
    }
}

TEST(WindowSerialTest, ComConnectPressedAndReleasedWithAnAbsentDevice) {
    TFCOMM w;
    PortMap ports;
    ports.setPath(0, "/dev/halvern-no-such-port");
    w.setPortMap(ports);
    w.show();
    QPushButton* comCon = w.comConnectButton();
    QTest::mouseClick(comCon, Qt::LeftButton);
    EXPECT_TRUE(comCon->isChecked()) << "the button did not stay down";
    EXPECT_FALSE(w.serialLink().COMM2().Connected());
    EXPECT_FALSE(w.portPanel(0)->isEnabled());
    EXPECT_FALSE(w.comSetupMenu()->isEnabled());
    QTest::mouseClick(w.portPanel(0), Qt::LeftButton);  // disabled: no change of port
    EXPECT_EQ(w.serialLink().COMM2().ComPort(), pnCOM1);
    // Why, without a box: on the LCD panel and in the selector's tool tip.
    const QString why = QStringLiteral(
        "cannot open the port /dev/halvern-no-such-port: No such file or directory; a USB serial "
        "adapter is usually /dev/ttyUSB0 (see --port COMn=PATH)");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_TRUE(w.lcd()->connectionNotice()->isVisibleTo(w.lcd()));
    EXPECT_EQ(w.lcd()->connectionNotice()->toolTip(), why);
    // The panel shows the device and the reason first; the tool tip has the whole text.
    EXPECT_TRUE(w.lcd()->connectionNotice()->text().startsWith(
        QStringLiteral("/dev/halvern-no-such-port: No such file or directory")))
        << w.lcd()->connectionNotice()->text().toStdString();
    EXPECT_TRUE(why.contains(w.lcd()->connectionNotice()->text().chopped(1)));
    EXPECT_EQ(w.portPanel(0)->toolTip(), QStringLiteral("/dev/halvern-no-such-port\n") + why);

    QTest::mouseClick(comCon, Qt::LeftButton);
    EXPECT_FALSE(comCon->isChecked());
    EXPECT_TRUE(w.portPanel(0)->isEnabled());
    EXPECT_EQ(visiblePanel(w), 0);  // the same port still chosen
    EXPECT_FALSE(w.lcd()->connectionNotice()->isVisibleTo(w.lcd()));
    EXPECT_EQ(w.portPanel(0)->toolTip(), QStringLiteral("/dev/halvern-no-such-port"));
}

TEST(WindowSerialTest, DemoMeterGivesLiveReadingsAndAnotherLinksButtonEndsTheLink) {
    DemoMeter demo(50.0);
    ASSERT_TRUE(demo.isOpen());
    TFCOMM w;
    PortMap ports;
    ports.setPath(0, demo.devicePath());
    w.setPortMap(ports);
    w.show();
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);
    ASSERT_TRUE(w.serialLink().COMM2().Connected());
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return !w.readingPipeline().decoder().reading().functionText.view().empty(); }, 5000))
        << "no frame decoded from the demo meter";
    EXPECT_EQ(w.readingConsumer().usbText().size(), 13);

    // "USB Connect " ends the serial link before it starts: the buttons show what runs.
    QTest::mouseClick(w.usbConnectButton(), Qt::LeftButton);
    EXPECT_TRUE(w.usbConnectButton()->isChecked());
    EXPECT_FALSE(w.comConnectButton()->isChecked());
    EXPECT_FALSE(w.serialLink().COMM2().Connected());
    EXPECT_TRUE(w.portPanel(0)->isEnabled());
    // "COM Connect" ends the USB link (its timer) and opens the port again.
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);
    EXPECT_TRUE(w.comConnectButton()->isChecked());
    EXPECT_FALSE(w.usbConnectButton()->isChecked());
    EXPECT_TRUE(w.serialLink().COMM2().Connected());
    const long sent = demo.framesSent();
    EXPECT_TRUE(QTest::qWaitFor([&] { return demo.framesSent() > sent + 3; }, 3000));
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);
    EXPECT_FALSE(w.serialLink().COMM2().Connected());
}

TEST(WindowSerialTest, UnpluggedAdapterStopsTheLinkAndReconnectingOpensAgain) {
    auto cable = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(cable->isOpen());
    TFCOMM w;
    PortMap ports;
    ports.setPath(0, cable->devicePath());
    w.setPortMap(ports);
    w.show();
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);
    ASSERT_TRUE(w.serialLink().COMM2().Connected());
    ASSERT_TRUE(cable->writeAll(meterFrameBytes("00012340010")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.readingConsumer().usbText().size() == 13; }, 3000));

    cable.reset();  // pulled out
    EXPECT_TRUE(QTest::qWaitFor([&] { return !w.serialLink().COMM2().Connected(); }, 3000));
    EXPECT_TRUE(w.comConnectButton()->isChecked()) << "the button moved by itself";
    EXPECT_EQ(w.readingConsumer().usbText(), QStringLiteral("A00012340010D"));  // last frame kept
    // The panel says so, as it says why a port did not open.
    QLabel* notice = w.lcd()->connectionNotice();
    EXPECT_TRUE(notice->isVisibleTo(w.lcd()));
    EXPECT_TRUE(notice->toolTip().contains(QStringLiteral("the serial port went away")))
        << notice->toolTip().toStdString();

    // Plugged in again (the same name on a real adapter; a new pseudo-terminal here).
    PseudoTerminal replugged;
    ports.setPath(0, replugged.devicePath());
    w.setPortMap(ports);
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);  // release: nothing to close
    EXPECT_FALSE(notice->isVisibleTo(w.lcd()));
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);  // press: opens again
    EXPECT_TRUE(w.serialLink().COMM2().Connected());
    ASSERT_TRUE(replugged.writeAll(meterFrameBytes("00043210010")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.readingConsumer().usbText() == QStringLiteral("A00043210010D"); }, 3000));
}

// The port is a symlink to a pseudo-terminal; the adapter is pulled out and plugged in again
// (a new pseudo-terminal behind the same path). "COM Connect" stays down throughout, the LCD
// panel says what the link waits for until it reads again, and the rows go on numbered.
TEST(WindowSerialTest, AnAdapterPluggedInAgainIsReadOnWithComConnectStayingDown) {
    TempFolder dir;
    const std::string port = dir.path("ttyMeter");
    auto cable = std::make_unique<PseudoTerminal>();
    ASSERT_TRUE(cable->isOpen());
    std::filesystem::create_symlink(cable->devicePath(), port);
    TFCOMM w;
    PortMap ports;
    ports.setPath(0, port);
    w.setPortMap(ports);
    w.show();
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);
    ASSERT_TRUE(w.serialLink().COMM2().Connected());
    ASSERT_TRUE(cable->writeAll(meterFrameBytes("00012340010")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.readingConsumer().usbText().size() == 13; }, 3000));
    const std::size_t rowsBefore = w.recording().table().rowCount();
    ASSERT_GE(rowsBefore, 1u);

    cable.reset();  // pulled out
    QLabel* notice = w.lcd()->connectionNotice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisibleTo(w.lcd()); }, 3000));
    EXPECT_TRUE(notice->text().startsWith(QStringLiteral("waiting for ")))
        << notice->text().toStdString();
    EXPECT_EQ(notice->toolTip(),
              QString::fromStdString(port) +
                  QStringLiteral(": the serial port went away; it is read again as soon as it is "
                                 "back (release \"COM Connect\" to stop waiting)"));
    EXPECT_TRUE(w.comConnectButton()->isChecked()) << "the button moved by itself";
    EXPECT_FALSE(w.portPanel(0)->isEnabled());

    PseudoTerminal replugged;
    std::filesystem::remove(port);
    std::filesystem::create_symlink(replugged.devicePath(), port);
    EXPECT_TRUE(QTest::qWaitFor([&] { return w.serialLink().COMM2().Connected(); }, 3000))
        << "not opened again";
    EXPECT_FALSE(notice->isVisibleTo(w.lcd()));
    EXPECT_TRUE(w.comConnectButton()->isChecked());
    ASSERT_TRUE(replugged.writeAll(meterFrameBytes("00043210010")));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return w.readingConsumer().usbText() == QStringLiteral("A00043210010D"); }, 3000));
    const TableStore& table = w.recording().table();
    ASSERT_GT(table.rowCount(), rowsBefore);
    EXPECT_EQ(table.no(table.rowCount() - 1), static_cast<std::int32_t>(table.rowCount()));

    // Pulled out again and released while waiting: the waiting ends with its notice.
    replugged.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.serialLink().COMM2().Waiting(); }, 3000));
    QTest::mouseClick(w.comConnectButton(), Qt::LeftButton);
    EXPECT_FALSE(w.serialLink().COMM2().Waiting());
    EXPECT_FALSE(notice->isVisibleTo(w.lcd()));
    EXPECT_TRUE(w.portPanel(0)->isEnabled());
}

}  // namespace
