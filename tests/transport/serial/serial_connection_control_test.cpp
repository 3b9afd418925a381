// The serial connection control and the exclusive toggle group, headless.
#include "transport/serial/serial_connection_control.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/toggle_group.h"
#include "tests/support/fakes/fake_serial_port.h"


namespace {

class ControlTest : public ::testing::Test {
protected:
    ControlTest()
        : driver(std::make_unique<FakeSerialPort>(port), std::make_unique<ManualPollTimer>(timer)),
          control((driver.setComPort(pnCOM1), driver)) {
        comCon = group.add("COM Connect", [this](bool down) { control.COMConClick(down); });
        usb = group.add("USB Connect ", [this](bool down) { usbRuns = down; });
        control.showComConDown = [this](bool down) { group.setDown(comCon, down); };
    }

    FakePortLog port;
    ManualTimerLog timer;
    TCommPortDriver driver;
    SerialConnectionControl control;
    ExclusiveToggleGroup group;
    int comCon = -1;
    int usb = -1;
    bool usbRuns = false;
};

TEST_F(ControlTest, SelectorCyclesThroughTheFourPorts) {
    EXPECT_EQ(control.state().selectedPort, 0);
    int changes = 0;
    control.onChanged = [&] { ++changes; };
    const int expected[] = {1, 2, 3, 0};
    for (int want : expected) {
        control.selectorClicked();
        EXPECT_EQ(control.state().selectedPort, want);
        EXPECT_EQ(driver.ComPort(), want);
    }
    EXPECT_EQ(changes, 4);
    control.selectPort(2);  // the menu item COM3
    EXPECT_EQ(driver.ComPort(), pnCOM3);
    control.selectPort(7);
    EXPECT_EQ(driver.ComPort(), pnCOM3);
}

TEST_F(ControlTest, PressAndReleaseRunTheirStepsAndMirrors) {
    const SerialControlState idle = control.state();
    EXPECT_TRUE(idle.start1Checked && idle.start1Enabled && !idle.stop1Enabled);

    group.click(comCon);
    EXPECT_TRUE(group.isDown(comCon));
    EXPECT_TRUE(driver.Connected());
    SerialControlState s = control.state();
    EXPECT_FALSE(s.selectorEnabled);
    EXPECT_FALSE(s.comSetupEnabled);
    EXPECT_TRUE(s.start1Checked);
    EXPECT_FALSE(s.start1Enabled);
    EXPECT_TRUE(s.stop1Enabled);
    EXPECT_FALSE(s.stop1Checked);
    EXPECT_FALSE(s.btConVisible);
    EXPECT_TRUE(s.btDisconVisible);
    control.selectorClicked();  // disabled panels: the port of an open connection stays
    EXPECT_EQ(driver.ComPort(), pnCOM1);

    group.click(comCon);
    EXPECT_FALSE(group.isDown(comCon));
    EXPECT_FALSE(driver.Connected());
    s = control.state();
    EXPECT_TRUE(s.selectorEnabled);
    EXPECT_TRUE(s.comSetupEnabled);
    EXPECT_FALSE(s.start1Checked);
    EXPECT_TRUE(s.start1Enabled);
    EXPECT_FALSE(s.stop1Enabled);
    EXPECT_TRUE(s.stop1Checked);
    EXPECT_TRUE(s.btConVisible);
    EXPECT_FALSE(s.btDisconVisible);
    EXPECT_EQ(s.selectedPort, 0);  // the same port still chosen
}

TEST_F(ControlTest, AbsentDeviceStillEntersTheConnectedStateSilently) {
    port.refuseOpen = true;
    group.click(comCon);
    EXPECT_TRUE(group.isDown(comCon));
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(control.state().selectorEnabled);
    group.click(comCon);
    EXPECT_TRUE(control.state().selectorEnabled);
}

TEST_F(ControlTest, PressingAnotherGroupButtonEndsTheRunningLinkFirst) {
    group.click(comCon);
    std::vector<std::string> order;
    group.setHandler(usb, [&](bool down) {
        order.push_back(driver.Connected() ? "usb with the port open" : "usb after the close");
        usbRuns = down;
    });
    group.click(usb);
    EXPECT_EQ(order, std::vector<std::string>{"usb after the close"});
    EXPECT_TRUE(usbRuns);
    EXPECT_FALSE(group.isDown(comCon));
    EXPECT_TRUE(group.isDown(usb));
    EXPECT_FALSE(driver.Connected()) << "the released COM Connect left its port open";
    EXPECT_TRUE(control.state().selectorEnabled);

    group.click(comCon);  // and back: the USB link ends, the port opens again
    EXPECT_TRUE(group.isDown(comCon));
    EXPECT_FALSE(group.isDown(usb));
    EXPECT_FALSE(usbRuns) << "the USB transport kept running behind a released button";
    EXPECT_TRUE(driver.Connected());
    EXPECT_EQ(std::count(port.calls.begin(), port.calls.end(), "open /dev/ttyS0"), 2);
    group.click(comCon);
    EXPECT_FALSE(driver.Connected());
}

TEST_F(ControlTest, HiddenConnectAndDisconnectMoveTheButton) {
    control.BTCon1Click();
    EXPECT_TRUE(driver.Connected());
    EXPECT_TRUE(group.isDown(comCon));
    control.BtDiscon1Click();
    EXPECT_FALSE(driver.Connected());
    EXPECT_FALSE(group.isDown(comCon));
}

}  // namespace
