#pragma once

#include <memory>

// The system's notices of serial lines coming and going (a USB serial adapter or bridge plugged
// in), so that a link waiting for its device tries at once instead of at its next retry. One
// implementation per platform (udev on Linux), a socket pair in tests.
class DeviceNotices {
public:
    virtual ~DeviceNotices() = default;
    // Readable while notices are queued.
    virtual int fd() const = 0;
    // Takes every queued notice; true if one of them says a device was added.
    virtual bool drain() = 0;
};

// udev's notices of serial lines (subsystem tty), with libudev loaded at run time; null when
// there are none to be had (no libudev, no netlink socket): waiting links then rely on their
// retry alone. Never throws.
std::unique_ptr<DeviceNotices> createDeviceNotices();
