#pragma once

// A sysfs and /dev tree laid out as on a machine with the meter's USB bridge: the tty's class
// entry is a relative symlink into the device tree, below the USB interface and the USB device
// that carries idVendor/idProduct; the device node is a symlink to a pseudo-terminal.
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_folder.h"
#include "transport/device_roots.h"

class FakeUsbTree {
public:
    FakeUsbTree() {
        namespace fs = std::filesystem;
        fs::create_directories(sysfs() + "/class/tty");
        fs::create_directories(dev());
        // The root hub: a USB device too, which the walk must not reach for a port below.
        const std::string hub = sysfs() + "/devices/pci0000:00/0000:00:14.0/usb1";
        fs::create_directories(hub);
        put(hub + "/idVendor", "1d6b\n");
        put(hub + "/idProduct", "0002\n");
        // A UART that is not on USB.
        fs::create_directories(sysfs() + "/devices/platform/serial8250/tty/ttyS0");
        fs::create_directory_symlink("../../devices/platform/serial8250/tty/ttyS0",
                                     sysfs() + "/class/tty/ttyS0");
        put(sysfs() + "/devices/platform/serial8250/tty/ttyS0/dev", "4:64\n");
    }

    std::string sysfs() const { return m_dir.path("sys"); }
    std::string dev() const { return m_dir.path("dev"); }
    DeviceRoots roots() const { return {sysfs(), dev()}; }

    // A USB serial port ttyUSB<n> on USB device 1-<port> with the given identity; its node
    // <dev>/ttyUSB<n> leads to `node` when given; the USB device has a serial number when one
    // is given.
    void addUsbTty(int n, int port, const std::string& vendor, const std::string& product,
                   const std::string& node = {}, const std::string& productName = "CP2110",
                   const std::string& serial = {}) {
        namespace fs = std::filesystem;
        const std::string usb = "1-" + std::to_string(port);
        const std::string name = "ttyUSB" + std::to_string(n);
        const std::string rel = "devices/pci0000:00/0000:00:14.0/usb1/" + usb;
        const std::string device = sysfs() + "/" + rel;
        const std::string tty = device + "/" + usb + ":1.0/" + name + "/tty/" + name;
        fs::create_directories(tty);
        put(device + "/idVendor", vendor + "\n");
        put(device + "/idProduct", product + "\n");
        put(device + "/product", productName + "\n");
        if (!serial.empty()) {
            put(device + "/serial", serial + "\n");
        }
        put(device + "/busnum", "1\n");
        put(device + "/devnum", std::to_string(port + 1) + "\n");
        put(tty + "/dev", "188:" + std::to_string(n) + "\n");
        fs::create_directory_symlink("../../" + rel + "/" + usb + ":1.0/" + name + "/tty/" + name,
                                     sysfs() + "/class/tty/" + name);
        if (!node.empty()) {
            fs::create_symlink(node, dev() + "/" + name);
        }
    }
    // The meter's bridge as ttyUSB<n>.
    void addBridge(int n, const std::string& node = {}) {
        addUsbTty(n, n + 2, "10c4", "ea61", node);
    }

    static void put(const std::string& file, const std::string& text) {
        std::ofstream(file) << text;
    }

private:
    TempFolder m_dir;
};
