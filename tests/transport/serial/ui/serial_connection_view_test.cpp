// The serial connection control on real widgets, and the driver's poll in the Qt event loop.
#include "transport/serial/ui/serial_connection_view.h"

#include <QAction>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include "app/toggle_group.h"
#include "app/ui/toggle_group_view.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/fake_serial_port.h"
#include "tests/support/frames.h"
#include "transport/loop/ui/qt_event_loop.h"
#include "transport/serial/serial_port_backend.h"

namespace {

class SerialViewTest : public ::testing::Test {
protected:
    SerialViewTest()
        : driver(std::make_unique<FakeSerialPort>(port), std::make_unique<ManualPollTimer>(timer),
                 mappedPorts()),
          control((driver.setComPort(pnCOM1), driver)) {
        window.resize(400, 60);
        for (int i = 0; i < 4; ++i) {
            panels[i] = new QLabel(QStringLiteral("COM %1").arg(i + 1), &window);
            panels[i]->setGeometry(13, 4, 61, 24);
        }
        comCon = new QPushButton(QStringLiteral("COM Connect"), &window);
        comCon->setGeometry(84, 3, 94, 25);
        usb = new QPushButton(QStringLiteral("USB Connect "), &window);
        usb->setGeometry(188, 3, 105, 25);
        comSetup = new QMenu(QStringLiteral("ComSetup"), &window);
        connectMenu = new QMenu(QStringLiteral("Connect"), &window);
        view = new SerialConnectionView(control, {panels[0], panels[1], panels[2], panels[3]},
                                        comSetup, connectMenu, &window);
        comConMember = group.add("COM Connect", [this](bool down) { control.COMConClick(down); });
        usbMember = group.add("USB Connect ", [this](bool down) { usbRunning = down; });
        control.showComConDown = [this](bool down) { group.setDown(comConMember, down); };
        groupView = new ToggleGroupView(group, &window);
        groupView->bind(comConMember, comCon);
        groupView->bind(usbMember, usb);
        window.show();
    }
    static PortMap mappedPorts() {
        PortMap map;
        map.assign("COM2=/dev/ttyUSB0");
        return map;
    }
    int visiblePanel() const {
        int visible = -1;
        for (int i = 0; i < 4; ++i) {
            if (panels[i]->isVisible()) {
                EXPECT_EQ(visible, -1) << "two selector panels shown";
                visible = i;
            }
        }
        return visible;
    }
    int checkedItem() const {
        int checked = -1;
        for (int i = 0; i < 4; ++i) {
            if (view->portItem(i)->isChecked()) {
                EXPECT_EQ(checked, -1) << "two ports checked";
                checked = i;
            }
        }
        return checked;
    }

    FakePortLog port;
    ManualTimerLog timer;
    TCommPortDriver driver;
    SerialConnectionControl control;
    ExclusiveToggleGroup group;
    QWidget window;
    std::array<QLabel*, 4> panels{};
    QPushButton* comCon = nullptr;
    QPushButton* usb = nullptr;
    QMenu* comSetup = nullptr;
    QMenu* connectMenu = nullptr;
    SerialConnectionView* view = nullptr;
    ToggleGroupView* groupView = nullptr;
    int comConMember = -1;
    int usbMember = -1;
    bool usbRunning = false;
};

TEST_F(SerialViewTest, SelectorCyclesAndTheMenuCheckMarkFollows) {
    EXPECT_EQ(visiblePanel(), 0);
    EXPECT_EQ(checkedItem(), 0);
    EXPECT_EQ(panels[0]->toolTip(), QStringLiteral("/dev/ttyS0"));
    EXPECT_EQ(panels[1]->toolTip(), QStringLiteral("/dev/ttyUSB0"));
    const int expected[] = {1, 2, 3, 0};
    for (int want : expected) {
        view->panelClicked();
        EXPECT_EQ(visiblePanel(), want);
        EXPECT_EQ(checkedItem(), want);
        EXPECT_EQ(driver.ComPort(), want);
    }
    view->portItem(2)->trigger();  // the hidden menu item COM3
    EXPECT_EQ(visiblePanel(), 2);
    EXPECT_EQ(checkedItem(), 2);
    view->portItem(0)->trigger();  // COM1's item has no handler: nothing moves
    EXPECT_EQ(checkedItem(), 2);
    EXPECT_FALSE(window.grab().isNull());
}

TEST_F(SerialViewTest, PressedAndReleasedStates) {
    QTest::mouseClick(comCon, Qt::LeftButton);
    EXPECT_TRUE(comCon->isChecked());
    EXPECT_TRUE(driver.Connected());
    EXPECT_FALSE(panels[0]->isEnabled());
    EXPECT_FALSE(comSetup->menuAction()->isEnabled());
    EXPECT_TRUE(view->startItem()->isChecked());
    EXPECT_FALSE(view->startItem()->isEnabled());
    EXPECT_TRUE(view->stopItem()->isEnabled());
    EXPECT_FALSE(view->stopItem()->isChecked());

    QTest::mouseClick(comCon, Qt::LeftButton);
    EXPECT_FALSE(comCon->isChecked());
    EXPECT_FALSE(driver.Connected());
    EXPECT_TRUE(panels[0]->isEnabled());
    EXPECT_TRUE(comSetup->menuAction()->isEnabled());
    EXPECT_FALSE(view->startItem()->isChecked());
    EXPECT_TRUE(view->startItem()->isEnabled());
    EXPECT_FALSE(view->stopItem()->isEnabled());
    EXPECT_TRUE(view->stopItem()->isChecked());

    view->startItem()->trigger();  // the hidden START item connects and shows the button down
    EXPECT_TRUE(driver.Connected());
    EXPECT_TRUE(comCon->isChecked());
    view->stopItem()->trigger();
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(comCon->isChecked());
}

TEST_F(SerialViewTest, ExclusiveGroupShowsOneDownAndEndsTheLinkItReleases) {
    QTest::mouseClick(comCon, Qt::LeftButton);
    QTest::mouseClick(usb, Qt::LeftButton);
    EXPECT_TRUE(usb->isChecked());
    EXPECT_FALSE(comCon->isChecked());
    EXPECT_TRUE(usbRunning);
    EXPECT_FALSE(driver.Connected()) << "the released COM Connect left its port open";
    EXPECT_TRUE(panels[0]->isEnabled());

    QTest::mouseClick(comCon, Qt::LeftButton);
    EXPECT_TRUE(comCon->isChecked());
    EXPECT_FALSE(usb->isChecked());
    EXPECT_FALSE(usbRunning) << "the released USB Connect kept its link running";
    EXPECT_TRUE(driver.Connected());
    QTest::mouseClick(comCon, Qt::LeftButton);
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(comCon->isChecked());
    EXPECT_FALSE(usb->isChecked());
}

TEST(QtEventLoopTest, DriverPollsAPseudoTerminalInTheEventLoop) {
    PseudoTerminal pty;
    ASSERT_TRUE(pty.isOpen());
    PortMap map;
    map.setPath(0, pty.devicePath());
    const std::unique_ptr<EventLoop> loop = createQtEventLoop();
    TCommPortDriver driver(createSerialPortBackend(), loop->createTimer(), map);
    driver.setComPort(pnCOM1);
    std::string received;
    driver.setOnReceiveData([&](TCommPortDriver*, const std::uint8_t* d, std::int32_t n) {
        received.append(reinterpret_cast<const char*>(d), n);
    });
    ASSERT_TRUE(driver.Connect());
    const std::string frame = meterFrameBytes("00012340010");
    ASSERT_TRUE(pty.writeAll(frame));
    EXPECT_TRUE(QTest::qWaitFor([&] { return received.size() >= frame.size(); }, 3000));
    EXPECT_EQ(received, frame);

    bool lost = false;
    driver.setOnPortLost([&](TCommPortDriver*) { lost = true; });
    pty.closeMaster();
    EXPECT_TRUE(QTest::qWaitFor([&] { return lost; }, 3000));
    EXPECT_FALSE(driver.Connected());
}

}  // namespace
