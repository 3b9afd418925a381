#pragma once

#include <memory>

// The system's notices of devices coming and going (a USB serial adapter, bridge or HID cable
// plugged in), so that a link waiting for its device tries at once instead of at its next retry.
// One implementation per platform (udev on Linux), a socket pair or pipe in tests.
class DeviceNotices {
public:
    virtual ~DeviceNotices() = default;
    // Readable while notices are queued.
    virtual int fd() const = 0;
    // Takes every queued notice; true if one of them is of the kind the watch is for (a serial
    // line added; any change of a HID node).
    virtual bool drain() = 0;
};

// udev's notices of serial lines (subsystem tty), with libudev loaded at run time; null when
// there are none to be had (no libudev, no netlink socket): waiting links then rely on their
// retry alone. Never throws.
std::unique_ptr<DeviceNotices> createDeviceNotices();
