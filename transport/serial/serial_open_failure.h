#pragma once

#include <string>

// What the user reads when a serial port cannot be opened: the device path, the system's reason
// and, where there is one, the fix ("cannot open the port /dev/ttyUSB0: permission denied; add
// yourself to the dialout group, or install the udev rules (see README)"). error is the system's
// error number (EACCES, EBUSY, ENOENT, ENOTTY, ...). Never fails.
std::string serialOpenFailureText(const std::string& path, int error);

// Whether a character device is a serial line by the kernel's list of terminal drivers
// (driversFile, normally /proc/tty/drivers): a driver of type "serial" (UARTs, USB adapters,
// Bluetooth) or a pseudo-terminal's device side. The console, /dev/tty, the pseudo-terminal
// multiplexer and the virtual consoles are not. True when the list cannot be read (nothing to
// tell by; the open then checks for a terminal itself). Never fails.
bool isSerialLineDevice(unsigned major, unsigned minor,
                        const std::string& driversFile = "/proc/tty/drivers");
