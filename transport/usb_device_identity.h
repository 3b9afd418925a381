#pragma once

#include <cstdint>
#include <string>

// Which USB device a link reads, as the system describes it: its ids, its serial number (empty
// when the device has none) and the path of the USB port it is plugged into ("1-2.3": the bus,
// then the port of each hub on the way), which stays the same when a device is plugged into the
// same port again.
struct UsbDeviceIdentity {
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serial;
    std::string portPath;

    // Whether other is the same device: the same ids and serial number, or, for a device without
    // a serial number, the same ids in the same port (two such devices differ only by it).
    bool sameDevice(const UsbDeviceIdentity& other) const {
        if (vendorId != other.vendorId || productId != other.productId) {
            return false;
        }
        if (!serial.empty() || !other.serial.empty()) {
            return serial == other.serial;
        }
        return !portPath.empty() && portPath == other.portPath;
    }
};
