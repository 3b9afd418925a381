#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transport/device_notices.h"
#include "transport/device_roots.h"

// What the system tells of one HID device without opening it.
struct HidDeviceIdentity {
    std::string
        instance;      // the device's identity: sysfs path of the HID device, new at each plug-in
    std::string node;  // the device node every open uses (/dev/hidrawN)
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint16_t versionNumber = 0;  // bcdDevice
    std::string product;  // USB product string as the system gives it (UTF-8); may be empty
    std::string serial;   // USB serial-number string (UTF-8); empty without one
    std::vector<std::uint8_t> reportDescriptor;
};

// The outcome of one non-blocking read of a device.
struct HidReadOutcome {
    enum Status {
        Report,   // count bytes read (count may be 0: an empty report)
        Nothing,  // nothing queued
        Failed,   // a read error; error holds the system's error number
        Gone,     // the device is gone for good (unplugged); error holds the error number
    };
    Status status = Nothing;
    std::size_t count = 0;
    int error = 0;
};

// Device-change notices of the system, as the serial links get them: fd() becomes readable when
// notices are queued, and drain() is true if one of them concerns a HID device node.
using HidHotplugMonitor = DeviceNotices;

// The platform calls of the HID controller. One implementation per platform (sysfs, hidraw and
// udev on Linux), one fake for tests.
class HidBackend {
public:
    virtual ~HidBackend() = default;

    // The present HID devices in a stable order; devices that cannot be identified are left out.
    // Opens no device. Never fails (no devices: an empty list).
    virtual std::vector<HidDeviceIdentity> enumerate() = 0;
    // The present device with this identity, read afresh; nothing when it is gone or cannot be
    // identified. Opens no device.
    virtual std::optional<HidDeviceIdentity> identify(const std::string& instance) = 0;

    // Opens the node non-blocking (read and write, or read only); the descriptor, or -1 with
    // errno set.
    virtual int open(const std::string& node, bool readWrite) = 0;
    // Closes a descriptor from open.
    virtual void close(int fd) = 0;
    // Reads one report (a whole report per call) without waiting.
    virtual HidReadOutcome read(int fd, std::uint8_t* buffer, std::size_t size) = 0;
    // Sends a feature report, byte 0 the report ID; false if the device refused.
    virtual bool sendFeature(int fd, const std::uint8_t* report, std::size_t length) = 0;

    // The system's device-change notices, or null when there are none to be had (hot-plug off).
    virtual std::unique_ptr<HidHotplugMonitor> createMonitor() = 0;
};

// The platform's HID devices: sysfs, hidraw and udev under roots on Linux. Never fails;
// nothing is opened.
std::unique_ptr<HidBackend> createHidBackend(const DeviceRoots& roots);
