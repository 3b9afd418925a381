#include "transport/posix/sysfs_usb_device.h"

#include <charconv>
#include <fstream>
#include <system_error>

namespace fs = std::filesystem;

std::optional<std::string> readSysfsAttribute(const fs::path& file, std::size_t limit) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return std::nullopt;
    }
    std::string text(limit, '\0');
    in.read(text.data(), static_cast<std::streamsize>(limit));
    text.resize(static_cast<std::size_t>(in.gcount()));
    if (in.bad()) {
        return std::nullopt;
    }
    if (!text.empty() && text.back() == '\n') {
        text.pop_back();
    }
    return text;
}

std::optional<std::uint16_t> parseHex16(std::string_view text) {
    unsigned long value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, 16);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty() || value > 0xFFFF) {
        return std::nullopt;
    }
    return static_cast<std::uint16_t>(value);
}

std::optional<fs::path> usbDeviceFolderAbove(const fs::path& from, const fs::path& sysRoot) {
    std::error_code ec;
    for (fs::path dir = from;
         dir.has_relative_path() && dir != sysRoot && dir.string().starts_with(sysRoot.string());
         dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec)) {
            return dir;
        }
    }
    return std::nullopt;
}

std::optional<UsbDeviceIdentity> readUsbDeviceIdentity(const fs::path& usbDevice) {
    const auto vendor = parseHex16(readSysfsAttribute(usbDevice / "idVendor").value_or(""));
    const auto product = parseHex16(readSysfsAttribute(usbDevice / "idProduct").value_or(""));
    if (!vendor || !product) {
        return std::nullopt;
    }
    UsbDeviceIdentity id;
    id.vendorId = *vendor;
    id.productId = *product;
    id.serial = readSysfsAttribute(usbDevice / "serial", 256).value_or("");
    // Some adapters pad their serial number with blanks or zero bytes.
    while (!id.serial.empty() && (id.serial.back() == ' ' || id.serial.back() == '\0')) {
        id.serial.pop_back();
    }
    id.serial.erase(0, id.serial.find_first_not_of(' '));
    // The kernel names a USB device by where it is plugged in: bus-port.port...
    id.portPath = usbDevice.filename().string();
    return id;
}
