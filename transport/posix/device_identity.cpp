#include "transport/device_identity.h"

#include <filesystem>
#include <system_error>
#include <vector>

#include "transport/posix/sysfs_usb_device.h"

namespace fs = std::filesystem;

std::optional<std::string> usbSerialOfNode(const DeviceRoots& roots, const std::string& nodePath) {
    std::error_code ec;
    const fs::path sysfs = fs::canonical(roots.sysfs, ec);
    if (ec || nodePath.empty()) {
        return std::nullopt;
    }
    // The node's own name, then the name of each link on the way to the node (a symlink such
    // as /dev/serial/by-id/... leads to ttyUSB0; a prepared tree's nodes lead on elsewhere).
    std::vector<std::string> names;
    fs::path at = nodePath;
    for (int hop = 0; hop < 8; ++hop) {
        names.push_back(at.filename().string());
        const fs::path target = fs::read_symlink(at, ec);
        if (ec) {
            break;
        }
        at = target.is_absolute() ? target : at.parent_path() / target;
    }
    for (const std::string& name : names) {
        if (name.empty() || name == "." || name == "..") {
            continue;
        }
        for (const char* type : {"tty", "hidraw"}) {
            const fs::path device = fs::canonical(sysfs / "class" / type / name, ec);
            if (ec) {
                continue;
            }
            const auto usb = usbDeviceFolderAbove(device, sysfs);
            if (!usb) {
                return std::nullopt;  // the device is there, but not on USB
            }
            const std::optional<UsbDeviceIdentity> id = readUsbDeviceIdentity(*usb);
            if (!id || id->serial.empty()) {
                return std::nullopt;
            }
            return id->serial;
        }
    }
    return std::nullopt;
}
