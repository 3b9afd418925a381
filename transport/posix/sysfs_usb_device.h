#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "transport/usb_device_identity.h"

// A sysfs attribute, without the one line end the kernel appends; nothing when unreadable.
std::optional<std::string> readSysfsAttribute(const std::filesystem::path& file,
                                              std::size_t limit = 4096);

// A hexadecimal attribute such as idVendor ("1a86"), or a field of HID_ID; nothing unless the
// whole text is one number of at most 16 bits.
std::optional<std::uint16_t> parseHex16(std::string_view text);

// The USB device a device folder hangs from: the nearest folder from `from` upwards that has
// an idVendor, staying inside the (canonical) sysfs tree `sysRoot`. Nothing when the walk leaves
// the tree without finding one (a device not on USB).
std::optional<std::filesystem::path> usbDeviceFolderAbove(const std::filesystem::path& from,
                                                          const std::filesystem::path& sysRoot);

// The identity of the USB device whose sysfs folder is usbDevice (one with idVendor): idVendor,
// idProduct, serial (trimmed of padding blanks and zero bytes; empty when absent) and the folder's
// name as the port path. Nothing when the ids cannot be read.
std::optional<UsbDeviceIdentity> readUsbDeviceIdentity(const std::filesystem::path& usbDevice);
