#include "transport/device_identity.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/fakes/fake_hid.h"
#include "tests/support/fakes/fake_usb_tree.h"

namespace {

TEST(DeviceIdentityTest, UsbSerialNumbersOfTtysFromSysfs) {
    FakeUsbTree tree;
    tree.addUsbTty(0, 2, "10c4", "ea61", "/dev/null", "CP2110", "0001");  // the bridge
    tree.addUsbTty(1, 3, "0403", "6001", "/dev/null", "FT232R", " A6008isP ");
    tree.addUsbTty(2, 4, "067b", "2303", "/dev/null", "PL2303");  // no serial number
    // A by-id link as udev makes one, leading to the adapter's node.
    std::filesystem::create_directories(tree.dev() + "/serial/by-id");
    std::filesystem::create_symlink(tree.dev() + "/ttyUSB1",
                                    tree.dev() + "/serial/by-id/usb-FTDI_FT232R-if00-port0");
    struct Case {
        const char* what;
        std::string node;
        std::optional<std::string> serial;
    };
    const Case cases[] = {
        {"the USB bridge", tree.dev() + "/ttyUSB0", "0001"},
        {"an adapter, blanks around its serial", tree.dev() + "/ttyUSB1", "A6008isP"},
        {"the adapter through its by-id link",
         tree.dev() + "/serial/by-id/usb-FTDI_FT232R-if00-port0", "A6008isP"},
        {"an adapter without a serial number", tree.dev() + "/ttyUSB2", std::nullopt},
        {"a UART not on USB", "/dev/ttyS0", std::nullopt},
        {"no such device", tree.dev() + "/ttyUSB7", std::nullopt},
        {"a pseudo-terminal", "/dev/pts/3", std::nullopt},
        {"nothing", "", std::nullopt},
        {"a name that climbs", "/dev/..", std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(usbSerialOfNode(tree.roots(), c.node), c.serial);
    }
}

TEST(DeviceIdentityTest, TheHidCablesSerialText) {
    fakehid::Tree tree;
    fakehid::DeviceInfo cable = fakehid::usbDevice("1-2");
    cable.serial = "HC-1234";
    const std::string withSerial = tree.plug(cable);
    const std::string without = tree.plug(fakehid::usbDevice("1-3"));
    fakehid::DeviceInfo bluetooth = fakehid::usbDevice("1-4");
    bluetooth.usb = false;
    bluetooth.serial = "never read";
    const std::string notUsb = tree.plug(bluetooth);
    EXPECT_EQ(usbSerialOfNode(tree.roots(), tree.node(withSerial)), "HC-1234");
    EXPECT_EQ(usbSerialOfNode(tree.roots(), tree.node(without)), std::nullopt);
    EXPECT_EQ(usbSerialOfNode(tree.roots(), tree.node(notUsb)), std::nullopt);
}

}  // namespace
