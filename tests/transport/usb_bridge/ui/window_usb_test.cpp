// "USB Connect " in the main window: a sysfs tree whose ttyUSB0 leads to a pseudo-terminal,
// frames written into it, the window's table compared with halvern decode over the same bytes.
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <filesystem>

#include <gtest/gtest.h>

#include "app/ui/click_panel.h"
#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "display/ui/trend_chart.h"
#include "lcd/ui/connection_indicator_view.h"
#include "lcd/ui/virtual_lcd.h"
#include "recording/byte_stream.h"
#include "recording/formats.h"
#include "recording/ui/recording_room.h"
#include "sim/meter_simulator.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/child_process.h"
#include "tests/support/fakes/fake_usb_tree.h"
#include "tests/support/table_readings.h"
#include "transport/serial/port_map.h"
#include "transport/serial/ui/serial_link.h"
#include "transport/usb_bridge/ui/usb_bridge_link.h"
#include "transport/usb_bridge/usb_xpress_link.h"

namespace {

// Counts the complete frames the link's assembler cut.
struct FrameCounter : FrameListener {
    int frames = 0;
    void frameCut(std::string_view, const DecodeOutcome*) override { ++frames; }
};

class WindowUsbTest : public ::testing::Test {
protected:
    void SetUp() override {
        window.setDeviceRoots(tree.roots());
        window.show();
    }
    UsbXpressLink& link() { return window.usbLink().link(); }
    QPushButton* usb() { return window.usbConnectButton(); }

    FakeUsbTree tree;
    TFCOMM window;
};

TEST_F(WindowUsbTest, NothingToOpenLeavesTheButtonDownAndSaysWhyInItsToolTip) {
    struct Case {
        const char* name;
        int bridges;
        QString toolTip;
    };
    tree.addBridge(5);  // its node is missing
    const std::vector<Case> cases = {
        {"absent node", 1,
         QString::fromStdString(tree.dev()) +
             QStringLiteral("/ttyUSB5: No such file or directory")},
        {"two", 2, QStringLiteral("2 USB bridges found")},
    };
    for (const Case& c : cases) {
        if (c.bridges == 2) {
            tree.addBridge(6);
        }
        QTest::mouseClick(usb(), Qt::LeftButton);
        EXPECT_TRUE(usb()->isChecked()) << c.name;
        EXPECT_TRUE(link().timerActive()) << c.name;
        EXPECT_FALSE(link().holdsDevice()) << c.name;
        EXPECT_EQ(usb()->toolTip(), c.toolTip) << c.name;
        QTest::mouseClick(usb(), Qt::LeftButton);
        EXPECT_FALSE(usb()->isChecked());
        EXPECT_FALSE(link().timerActive());
    }
    // No bridge at all (the default tree of a machine without one).
    FakeUsbTree empty;
    window.setDeviceRoots(empty.roots());
    QTest::mouseClick(usb(), Qt::LeftButton);
    EXPECT_EQ(usb()->toolTip(), QStringLiteral("no USB bridge found"));
    EXPECT_EQ(window.readingConsumer().usbText(), QString());
}

TEST_F(WindowUsbTest, FramesFromTheBridgeFillTheWindowAsDecodeDoes) {
    PseudoTerminal bridge;
    ASSERT_TRUE(bridge.isOpen());
    tree.addBridge(0, bridge.devicePath());
    FrameCounter counter;
    link().assembler().setListener(&counter);
    const int pointsBefore = window.trendChart()->control().PointCount();
    QTest::mouseClick(usb(), Qt::LeftButton);
    ASSERT_TRUE(link().holdsDevice()) << usb()->toolTip().toStdString();
    EXPECT_EQ(usb()->toolTip(), QString::fromStdString(tree.dev() + "/ttyUSB0"));

    MeterSimulator meter;
    std::string sent;
    for (int i = 0; i < 12; ++i) {
        const MeterSimulator::Frame f = meter.nextFrame();
        const std::string bytes(f.begin(), f.end());
        sent += bytes;
        ASSERT_TRUE(bridge.writeAll(bytes));
        ASSERT_TRUE(QTest::qWaitFor([&] { return counter.frames == i + 1; }, 5000)) << i;
    }
    EXPECT_EQ(window.readingConsumer().usbText().size(), 13);
    const std::vector<std::string> shown = readings(tableText(window.recording().table()));
    EXPECT_GE(shown.size(), 6u);
    // The indicator, the LCD, the scale and the chart follow the bridge's frames too.
    EXPECT_TRUE(window.connectionIndicator()->conok()->isVisible());
    EXPECT_FALSE(window.lcd()->shownState().lit.none());
    EXPECT_EQ(window.trendChart()->control().PointCount() - pointsBefore,
              static_cast<int>(shown.size()));

    TempFolder dir;
    TempFolder::write(dir.path("sent.bin"), sent);
    Child decode = spawn({HALVERN_BINARY, "decode", "--link", "usb-bridge", dir.path("sent.bin")});
    const std::string decoded = readAll(decode.outFd);
    ASSERT_EQ(finish(decode), 0);
    EXPECT_EQ(readings(decoded), shown);

    // Exit stops Timer1; the device stays open until the window goes.
    emit window.usbTimerStopRequested();
    EXPECT_FALSE(link().timerActive());
    EXPECT_TRUE(link().holdsDevice());
}

TEST_F(WindowUsbTest, AnotherLinksButtonEndsTheBridgeAndItsOwnPressOpensItAgain) {
    PseudoTerminal bridge;
    tree.addBridge(0, bridge.devicePath());
    QTest::mouseClick(usb(), Qt::LeftButton);
    ASSERT_TRUE(link().holdsDevice());
    PortMap ports;
    ports.setPath(0, "/dev/halvern-no-such-port");
    window.setPortMap(ports);
    QTest::mouseClick(window.comConnectButton(), Qt::LeftButton);
    EXPECT_FALSE(usb()->isChecked());
    EXPECT_FALSE(link().timerActive()) << "released by the group, the link kept reading";
    EXPECT_FALSE(link().holdsDevice());
    // Pressed again: "COM Connect" goes up, the bridge opens and its frames are decoded.
    QTest::mouseClick(usb(), Qt::LeftButton);
    EXPECT_TRUE(usb()->isChecked());
    EXPECT_FALSE(window.comConnectButton()->isChecked());
    EXPECT_TRUE(window.portPanel(0)->isEnabled());
    ASSERT_TRUE(link().holdsDevice());
    ASSERT_TRUE(bridge.writeAll("00043210010\r\n"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.readingConsumer().usbText() == QStringLiteral("A00043210010D"); },
        5000));
    QTest::mouseClick(usb(), Qt::LeftButton);
    EXPECT_FALSE(link().holdsDevice());
    EXPECT_FALSE(link().timerActive());
}

TEST_F(WindowUsbTest, AnUnpluggedBridgeKeepsTheWindowResponsiveAndReplugWorks) {
    auto bridge = std::make_unique<PseudoTerminal>();
    tree.addBridge(0, bridge->devicePath());
    QTest::mouseClick(usb(), Qt::LeftButton);
    ASSERT_TRUE(link().holdsDevice());
    bridge.reset();  // pulled out
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return usb()->toolTip().endsWith(QStringLiteral("the USB bridge went away")); },
        3000));
    EXPECT_TRUE(usb()->isChecked()) << "the button moved by itself";
    // Plugged in again: the kernel's node leads to the new device.
    PseudoTerminal replugged;
    std::filesystem::remove(tree.dev() + "/ttyUSB0");
    std::filesystem::create_symlink(replugged.devicePath(), tree.dev() + "/ttyUSB0");
    QTest::mouseClick(usb(), Qt::LeftButton);  // release: closes the dead handle
    QTest::mouseClick(usb(), Qt::LeftButton);  // press: opens again
    ASSERT_TRUE(link().holdsDevice()) << usb()->toolTip().toStdString();
    ASSERT_TRUE(replugged.writeAll("00043210010\r\n"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.readingConsumer().usbText() == QStringLiteral("A00043210010D"); },
        5000));
}

// The bridge (with a serial number) is pulled out and plugged in again: "USB Connect " stays
// down, the LCD panel says what the link waits for, and the retry opens the same device again.
TEST_F(WindowUsbTest, ABridgePluggedInAgainIsReadOnWithUsbConnectStayingDown) {
    auto bridge = std::make_unique<PseudoTerminal>();
    tree.addBridge(0, bridge->devicePath(), "0001A7");
    QTest::mouseClick(usb(), Qt::LeftButton);
    ASSERT_TRUE(link().holdsDevice()) << usb()->toolTip().toStdString();
    bridge.reset();  // pulled out
    QLabel* notice = window.lcd()->connectionNotice();
    ASSERT_TRUE(QTest::qWaitFor([&] { return notice->isVisibleTo(window.lcd()); }, 3000));
    const QString node = QString::fromStdString(tree.dev() + "/ttyUSB0");
    EXPECT_EQ(notice->toolTip(),
              node + QStringLiteral(": the USB bridge went away; it is read again as soon as it "
                                    "is back (release \"USB Connect\" to stop waiting)"));
    EXPECT_TRUE(usb()->isChecked()) << "the button moved by itself";
    EXPECT_TRUE(link().waiting());

    PseudoTerminal replugged;
    tree.repoint("ttyUSB0", replugged.devicePath());
    EXPECT_TRUE(QTest::qWaitFor([&] { return link().holdsDevice(); }, 3000)) << "not opened again";
    EXPECT_FALSE(notice->isVisibleTo(window.lcd()));
    EXPECT_EQ(usb()->toolTip(), node);
    ASSERT_TRUE(replugged.writeAll("00043210010\r\n"));
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return window.readingConsumer().usbText() == QStringLiteral("A00043210010D"); },
        5000));

    // Pulled out again and released while waiting: the waiting ends with its notice.
    replugged.closeMaster();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link().waiting(); }, 3000));
    QTest::mouseClick(usb(), Qt::LeftButton);
    EXPECT_FALSE(link().waiting());
    EXPECT_FALSE(link().timerActive());
    EXPECT_FALSE(notice->isVisibleTo(window.lcd()));
}

}  // namespace
