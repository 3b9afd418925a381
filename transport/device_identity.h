#pragma once

#include <optional>
#include <string>

#include "transport/device_roots.h"

// The serial number of the USB device a device node belongs to: a USB serial adapter's or the
// USB bridge's tty (/dev/ttyUSB0, also through a symlink such as /dev/serial/by-id/...) or the
// HID cable's hidraw node (/dev/hidraw2), as the sysfs tree under roots.sysfs describes it.
// Nothing when the node is no tty or hidraw device there, is not on USB, or its USB device has no
// serial number. Never fails; reads sysfs only.
std::optional<std::string> usbSerialOfNode(const DeviceRoots& roots, const std::string& nodePath);
