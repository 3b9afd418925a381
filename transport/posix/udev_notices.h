#pragma once

#include <memory>

#include "transport/device_notices.h"

// udev's notices of one subsystem ("tty", "hidraw"), with libudev.so.1 loaded at run time, so the
// program runs on a machine without it (its links then rely on their retries). drain() is true
// for any notice, or with addedOnly for a device added only. Null when there are none to be had
// (no libudev, no netlink socket). Never throws.
std::unique_ptr<DeviceNotices> createUdevNotices(const char* subsystem, bool addedOnly);
