// "HID Connect" and the "HID devices" window in the main window: a prepared sysfs tree whose
// cable leads to a pseudo-terminal, read by the real Linux backend in the window's event loop.
#include <QAbstractItemModel>
#include <QApplication>
#include <QLabel>
#include <QListView>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include "app/ui/click_panel.h"
#include "app/ui/help_windows.h"
#include "app/ui/main_window.h"
#include "app/ui/window_consumer.h"
#include "display/ui/trend_chart.h"
#include "lcd/ui/connection_indicator_view.h"
#include "lcd/ui/virtual_lcd.h"
#include "recording/byte_stream.h"
#include "recording/formats.h"
#include "recording/ui/recording_room.h"
#include "tests/support/child_process.h"
#include "tests/support/fakes/pty_hid_cable.h"
#include "tests/support/table_readings.h"
#include "transport/hid/hid_cable_link.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/hid/ui/hid_devices_window.h"
#include "transport/hid/ui/hid_link.h"
#include "transport/serial/port_map.h"

namespace {

std::vector<std::string> lines(const BoundedLog& log) {
    std::vector<std::string> out;
    for (std::size_t i = 0; i < log.size(); ++i) {
        out.emplace_back(log.line(i));
    }
    return out;
}

// Whether a line of the log starts with text.
bool contains(const BoundedLog& log, std::string_view text) {
    for (std::size_t i = 0; i < log.size(); ++i) {
        if (log.line(i).starts_with(text)) {
            return true;
        }
    }
    return false;
}

class WindowHidTest : public ::testing::Test {
protected:
    void show() {
        window.setDeviceRoots(tree.roots());
        window.show();
    }
    HidCableLink& link() { return *window.hidLink().link(); }
    QPushButton* hidConnect() { return window.hidConnectButton(); }
    // Opens the "HID devices" window from the menu, as a user does.
    HidDevicesWindow* devicesWindow() {
        QAction* entry = window.hidMenu()->findChild<QAction*>(QStringLiteral("HidDevices"));
        if (entry == nullptr) {
            for (QAction* a : window.hidMenu()->actions()) {
                if (a->objectName() == QStringLiteral("HidDevices")) {
                    entry = a;
                }
            }
        }
        entry->trigger();
        HidDevicesWindow* w = window.hidLink().devicesWindow();
        w->refresh();
        return w;
    }
    // Lets the window's reader take what the cable sent.
    bool taken(PtyHidCable& cable) {
        return QTest::qWaitFor([&] { return cable.queued() == 0; }, 5000);
    }

    fakehid::Tree tree;
    TFCOMM window;
};

TEST_F(WindowHidTest, StartUpListsTheDevicesWithTheLastCableSelected) {
    tree.plug(fakehid::usbDevice("1-1", "Keyboard", 0x046D, 0xC31C, fakehid::kKeyboardDescriptor));
    tree.plug(fakehid::usbDevice("1-2"));
    fakehid::DeviceInfo numbered = fakehid::usbDevice("1-3");
    numbered.serial = "A1";
    tree.plug(numbered);
    tree.plug(fakehid::usbDevice("1-4"));
    show();

    // Before any click: listed, checked out and selected.
    ASSERT_EQ(link().entries().size(), 4u);
    EXPECT_EQ(link().selectedIndex(), 3);
    for (const HidCableLink::Entry& e : link().entries()) {
        EXPECT_NE(e.device, nullptr) << e.caption;
    }
    EXPECT_EQ(link().entries()[2].caption, "USB to Serial (Serial=A1)");

    // "HID Connect" is on the top bar, in the client area, with its tool tip.
    EXPECT_TRUE(hidConnect()->isVisible());
    EXPECT_TRUE(window.clientArea()->rect().contains(hidConnect()->geometry()));
    EXPECT_EQ(hidConnect()->text(), QStringLiteral("HID Connect"));
    EXPECT_EQ(hidConnect()->toolTip(), QStringLiteral("USB HID cable (USB to Serial)"));
    EXPECT_TRUE(window.hidMenu()->menuAction()->isVisible());

    HidDevicesWindow* w = devicesWindow();
    EXPECT_TRUE(w->isVisible());
    EXPECT_EQ(w->windowTitle(), QStringLiteral("HID devices"));
    ASSERT_EQ(w->devListBox()->count(), 4);
    EXPECT_EQ(w->devListBox()->item(0)->text(), QStringLiteral("Keyboard"));
    EXPECT_EQ(w->devListBox()->currentRow(), 3);
    EXPECT_EQ(w->memo1()->toPlainText(), QStringLiteral("Memo1"));
    EXPECT_EQ(w->memo2()->toPlainText(), QStringLiteral("Memo2"));
    EXPECT_EQ(w->hotPlugLabel()->text(), QString::fromLatin1(HidDevicesWindow::kHotPlugOffText));
    EXPECT_EQ(w->accessLabel()->text(), QString());
    for (const char* name : {"ReadBtn", "SetFeature", "ClearBtn", "InfoBtn", "Rescan"}) {
        auto* b = w->findChild<QPushButton*>(QString::fromLatin1(name));
        ASSERT_NE(b, nullptr) << name;
        EXPECT_TRUE(b->isVisible()) << name;
    }

    // Choosing another entry selects it for the link; Info shows that entry, read-only.
    w->devListBox()->setCurrentRow(2);
    EXPECT_EQ(link().selectedIndex(), 2);
    QString info;
    bool readOnly = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        ASSERT_NE(dialog, nullptr);
        auto* text = dialog->findChild<QPlainTextEdit*>(QStringLiteral("InfoText"));
        info = text->toPlainText();
        readOnly = text->isReadOnly();
        dialog->reject();
    });
    QTest::mouseClick(w->infoBtn(), Qt::LeftButton);
    EXPECT_TRUE(readOnly);
    const std::string i = info.toStdString();
    for (const std::string& expected :
         {std::string("Caption: USB to Serial (Serial=A1)"), std::string("VID/PID: 1A86:E008"),
          std::string("Version: 1200"), std::string("Serial: A1"),
          "Device node: " + tree.node("hidraw2"), "Sysfs identity: " + tree.instance("hidraw2"),
          std::string("Input report length: 9 bytes"), std::string("Read/write access: yes"),
          std::string("Reading: no")}) {
        EXPECT_NE(i.find(expected), std::string::npos) << expected << " in\n" << i;
    }
}

TEST_F(WindowHidTest, FramesFromTheCableFillTheWindowAndAnUnplugMidFrameLosesNoRow) {
    PtyHidCable cable(tree);
    ASSERT_TRUE(cable.isOpen());
    show();
    HidDevicesWindow* w = devicesWindow();
    ASSERT_EQ(link().selectedIndex(), 0);
    const int pointsBefore = window.trendChart()->control().PointCount();

    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    ASSERT_TRUE(hidConnect()->isChecked());
    ASSERT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    EXPECT_EQ(link().history().last(), "00 80 25 00 00 03 00 00 00 00 ");

    MeterSimulator meter;
    constexpr int kFrames = 8;
    for (int f = 0; f < kFrames; ++f) {
        for (const std::vector<std::uint8_t>& report :
             PtyHidCable::frameReports(meter.nextFrame())) {
            ASSERT_TRUE(cable.send(report));
            ASSERT_TRUE(taken(cable)) << f;
        }
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return link().memo1().size() == kFrames + 1; }, 5000));
    const std::vector<std::string> shown = readings(tableText(window.recording().table()));
    ASSERT_GE(shown.size(), 1u);
    // The indicator, the LCD and the chart follow the cable's frames too.
    EXPECT_TRUE(window.connectionIndicator()->conok()->isVisible());
    EXPECT_FALSE(window.lcd()->shownState().lit.none());
    EXPECT_EQ(window.trendChart()->control().PointCount() - pointsBefore,
              static_cast<int>(shown.size()));
    // The window's table is what decode makes of the same reports.
    TempFolder dir;
    TempFolder::write(dir.path("reports.txt"), cable.lines);
    Child decode = spawn({HALVERN_BINARY, "decode", "--link", "hid", dir.path("reports.txt")});
    const std::string decoded = readAll(decode.outFd);
    ASSERT_EQ(finish(decode), 0);
    EXPECT_EQ(readings(decoded), shown);
    // The devices window shows the logs as they are.
    w->refresh();
    EXPECT_EQ(w->historyListBox()->model()->rowCount(), static_cast<int>(link().history().size()));
    EXPECT_EQ(w->memo1()->document()->blockCount(), kFrames + 1);
    EXPECT_EQ(w->historyListBox()->currentIndex().row(),
              static_cast<int>(link().history().size()) - 1);

    // Pulled out in the middle of a frame.
    ASSERT_TRUE(cable.send(PtyHidCable::frameReports(meter.nextFrame())[0]));
    ASSERT_TRUE(taken(cable));
    const std::size_t rows = window.recording().table().rowCount();
    cable.unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return contains(link().history(), "READ ERROR: "); }, 5000))
        << ::testing::PrintToString(lines(link().history()));
    // Hot-plug is off on a prepared tree: Rescan runs the device-change pass.
    QTest::mouseClick(w->rescanBtn(), Qt::LeftButton);
    EXPECT_TRUE(contains(link().history(), "Removal of USB to Serial"));
    // "HID Connect" stays down, waiting for the cable to come back.
    EXPECT_TRUE(hidConnect()->isChecked());
    EXPECT_TRUE(link().waiting());
    EXPECT_EQ(link().awaited(), tree.node(cable.name));
    EXPECT_EQ(link().reader(), HidCableLink::Reader::None);
    EXPECT_EQ(link().readingDevice(), nullptr);
    EXPECT_EQ(link().currentDevice(), nullptr);
    EXPECT_TRUE(link().entries().empty());
    EXPECT_EQ(window.recording().table().rowCount(), rows);
    w->refresh();
    EXPECT_EQ(w->devListBox()->count(), 0);
    // Released, it waits no more, and says nothing: the user knows the cable is away.
    int boxes = 0;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ++boxes;
            box->reject();
        }
    });
    closer.start(20);
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    closer.stop();
    EXPECT_EQ(boxes, 0);
    EXPECT_FALSE(hidConnect()->isChecked());
    EXPECT_FALSE(link().waiting());
    // With nothing listed, the next press tells the user and releases the button.
    QString message;
    QString title;
    QTimer::singleShot(0, [&] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            title = box->windowTitle();
            box->reject();
        }
    });
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    EXPECT_EQ(message, QString::fromLatin1(HidCableLink::kNotConnectedText.data()));
    EXPECT_EQ(title, window.windowTitle()) << "the program's name as the box's caption";
    EXPECT_FALSE(hidConnect()->isChecked());
}

TEST_F(WindowHidTest, APassWhileReadingReadsTheCableOnBehindThePressedButton) {
    PtyHidCable cable(tree);
    show();
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    ASSERT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    // A mouse is plugged in: the pass releases every device, and the cable, still listed, is
    // read again at once.
    tree.plug(fakehid::usbDevice("1-5", "Mouse", 0x046D, 0xC077, fakehid::kKeyboardDescriptor));
    HidDevicesWindow* w = devicesWindow();
    QTest::mouseClick(w->rescanBtn(), Qt::LeftButton);
    EXPECT_TRUE(contains(link().history(), "Arrival of Mouse"));
    EXPECT_TRUE(hidConnect()->isChecked());
    EXPECT_FALSE(link().waiting());
    EXPECT_EQ(link().selectedIndex(), 0);
    EXPECT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    EXPECT_TRUE(window.hidLink().controller()->Device(0).Reading());
    // ReadBtn serves the other meter model's cable: here it is off and says so.
    EXPECT_FALSE(w->readBtn()->isEnabled());
    EXPECT_EQ(w->readBtn()->toolTip(), QString::fromLatin1(HidDevicesWindow::kReadBtnOffToolTip));
    QTest::mouseClick(w->readBtn(), Qt::LeftButton);
    EXPECT_TRUE(hidConnect()->isChecked());
    EXPECT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
}

// The cable pulled out mid-frame and plugged in again at the next node: "HID Connect" stays down
// throughout, the retry finds the cable (no hot-plug notices on a prepared tree), and the table
// goes on with the whole frames, numbered on.
TEST_F(WindowHidTest, HidConnectStaysDownThroughAReplugAndReadingResumes) {
    auto cable = std::make_unique<PtyHidCable>(tree);
    show();
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    ASSERT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    const TableStore& table = window.recording().table();
    MeterSimulator meter;
    const auto sendFrames = [&](PtyHidCable& to, int frames) {
        for (int f = 0; f < frames; ++f) {
            for (const auto& report : PtyHidCable::frameReports(meter.nextFrame())) {
                ASSERT_TRUE(to.send(report));
                ASSERT_TRUE(taken(to));
            }
        }
    };
    sendFrames(*cable, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link().memo1().size() == 5; }, 5000));
    const std::string whole = cable->lines;
    ASSERT_TRUE(cable->send(PtyHidCable::frameReports(meter.nextFrame())[0]));
    ASSERT_TRUE(taken(*cable));
    cable->unplug();
    ASSERT_TRUE(QTest::qWaitFor([&] { return link().waiting(); }, 5000));
    EXPECT_TRUE(hidConnect()->isChecked());

    cable = std::make_unique<PtyHidCable>(tree);
    ASSERT_TRUE(QTest::qWaitFor([&] { return !link().waiting(); }, 5000));
    EXPECT_TRUE(hidConnect()->isChecked());
    EXPECT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    sendFrames(*cable, 4);
    ASSERT_TRUE(QTest::qWaitFor([&] { return link().memo1().size() == 9; }, 5000));

    // The window's table is what decode makes of the whole frames' reports.
    TempFolder dir;
    TempFolder::write(dir.path("reports.txt"), whole + cable->lines);
    Child decode = spawn({HALVERN_BINARY, "decode", "--link", "hid", dir.path("reports.txt")});
    const std::string decoded = readAll(decode.outFd);
    ASSERT_EQ(finish(decode), 0);
    EXPECT_EQ(readings(tableText(table)), readings(decoded));
    ASSERT_GE(table.rowCount(), 2u);
    for (std::size_t row = 0; row < table.rowCount(); ++row) {
        EXPECT_EQ(table.no(row), static_cast<std::int32_t>(row + 1));
    }
}

TEST_F(WindowHidTest, PressingAnotherLinksButtonEndsTheRunningLinkFirst) {
    PtyHidCable cable(tree);
    show();
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    ASSERT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    // "COM Connect" (no device behind COM1 here) ends HID reading before it opens the port.
    PortMap ports;
    ports.setPath(0, "/nonexistent/ttyS0");
    window.setPortMap(ports);
    QTest::mouseClick(window.comConnectButton(), Qt::LeftButton);
    EXPECT_TRUE(window.comConnectButton()->isChecked());
    EXPECT_FALSE(hidConnect()->isChecked());
    EXPECT_EQ(link().reader(), HidCableLink::Reader::None);
    EXPECT_FALSE(window.hidLink().controller()->Device(0).Reading());
    // And back: HID Connect ends the serial link first.
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    EXPECT_TRUE(hidConnect()->isChecked());
    EXPECT_FALSE(window.comConnectButton()->isChecked());
    EXPECT_TRUE(window.portPanel(0)->isEnabled()) << "the serial link still runs";
    EXPECT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
}

TEST_F(WindowHidTest, TheIdleCheckStopsReadingInTheTickAndShowsItsBoxOnceAfterIt) {
    PtyHidCable cable(tree);
    show();
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    ASSERT_EQ(link().reader(), HidCableLink::Reader::HidReportData);
    const std::uint8_t empty[8] = {};
    for (int i = 0; i < HidCableLink::kIdleReports; ++i) {
        link().collector().HidReportData(0, empty, sizeof empty);
    }
    int boxes = 0;
    int boxesInTick = 0;
    bool inTick = false;
    QString message;
    auto closeBoxes = [&] {
        if (auto* box = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            ++boxes;
            boxesInTick += inTick ? 1 : 0;
            message = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"))->text();
            box->reject();
        }
    };
    // The third tick without a frame falls back and runs the check: reading stops at once,
    // the box waits until the tick is over.
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, closeBoxes);
    closer.start(20);
    ConnectionIndicatorView& indicator = *window.connectionIndicator();
    inTick = true;
    for (int tick = 0; tick < 3; ++tick) {
        indicator.ConTimerTimer();
    }
    inTick = false;
    EXPECT_FALSE(hidConnect()->isChecked());
    EXPECT_EQ(link().reader(), HidCableLink::Reader::None);
    EXPECT_FALSE(window.hidLink().controller()->Device(0).Reading());
    QTest::qWait(400);  // ConTimer goes on ticking meanwhile
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(boxesInTick, 0);
    EXPECT_EQ(message, QString::fromLatin1(HidCableLink::kMeterNotReadyText.data()));
}

TEST_F(WindowHidTest, ACableThatCannotBeOpenedSaysWhyAndReleasesHidConnect) {
    const std::string node = tree.plug(fakehid::usbDevice("1-2"));
    std::filesystem::remove(tree.node(node));  // listed in sysfs, but no node to open
    show();
    HidDevicesWindow* w = devicesWindow();
    ASSERT_EQ(link().selectedIndex(), 0);
    EXPECT_EQ(w->accessLabel()->text(),
              QString::fromStdString("cannot open " + tree.node(node) +
                                     " for reading and writing: No such file or directory"));
    QTest::mouseClick(hidConnect(), Qt::LeftButton);
    EXPECT_FALSE(hidConnect()->isChecked());
    EXPECT_EQ(link().reader(), HidCableLink::Reader::None);
}

}  // namespace

// "Help" > "Device check…" and the link of the "HID devices" window show the device check's
// findings for the window's roots; a cable plugged in since shows at the next check.
TEST_F(WindowHidTest, TheDeviceCheckOpensFromHelpAndFromTheHidDevicesWindow) {
    show();
    QAction* entry = nullptr;
    for (QAction* a : window.helpMenu()->actions()) {
        if (a->objectName() == QStringLiteral("DeviceCheck")) {
            entry = a;
        }
    }
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->text(), QStringLiteral("&Device check\u2026"));
    entry->trigger();
    DeviceCheckDialog* dialog = window.findChild<DeviceCheckDialog*>();
    ASSERT_NE(dialog, nullptr);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->windowTitle(), QStringLiteral("Device check"));
    EXPECT_TRUE(dialog->findings()->toPlainText().contains(
        QStringLiteral("ok: no HID cable (\"USB to Serial\") found")))
        << dialog->findings()->toPlainText().toStdString();
    dialog->close();

    const std::string node = tree.node(tree.plug(fakehid::usbDevice("1-2")));
    HidDevicesWindow* w = devicesWindow();
    EXPECT_TRUE(w->deviceCheckLink()->isVisible());
    emit w->deviceCheckLink()->linkActivated(QStringLiteral("device-check"));
    EXPECT_EQ(window.findChild<DeviceCheckDialog*>(), dialog);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(
        dialog->findings()->toPlainText().contains(QString::fromStdString("found at " + node)))
        << dialog->findings()->toPlainText().toStdString();
}
