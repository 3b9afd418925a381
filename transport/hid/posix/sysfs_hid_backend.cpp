#include "transport/hid/posix/sysfs_hid_backend.h"
#include "transport/posix/udev_notices.h"

#include "transport/hid/hid_report_descriptor.h"
#include "transport/posix/sysfs_usb_device.h"

#include <errno.h>
#include <fcntl.h>
#include <linux/hidraw.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

// KEY=value of a uevent file.
std::optional<std::string> ueventValue(const fs::path& file, std::string_view key) {
    const std::optional<std::string> text = readSysfsAttribute(file);
    if (!text) {
        return std::nullopt;
    }
    std::size_t start = 0;
    while (start < text->size()) {
        std::size_t end = text->find('\n', start);
        if (end == std::string::npos) {
            end = text->size();
        }
        const std::string_view line(text->data() + start, end - start);
        if (line.size() > key.size() && line.starts_with(key) && line[key.size()] == '=') {
            return std::string(line.substr(key.size() + 1));
        }
        start = end + 1;
    }
    return std::nullopt;
}

// The number of a hidraw name, for ordering ("hidraw10" after "hidraw9").
unsigned long hidrawNumber(const std::string& name) {
    unsigned long n = 0;
    std::from_chars(name.data() + 6, name.data() + name.size(), n);
    return n;
}

}  // namespace

SysfsHidBackend::SysfsHidBackend(DeviceRoots roots) : m_roots(std::move(roots)) {}

std::optional<HidDeviceIdentity> SysfsHidBackend::identifyHidraw(
    const std::string& hidrawDir) const {
    std::error_code ec;
    const fs::path hidDevice = fs::canonical(fs::path(hidrawDir) / "device", ec);
    if (ec) {
        return std::nullopt;
    }
    HidDeviceIdentity identity;
    identity.instance = hidDevice.string();
    const std::string devName = ueventValue(fs::path(hidrawDir) / "uevent", "DEVNAME")
                                    .value_or(fs::path(hidrawDir).filename().string());
    if (devName.empty() || devName.find("..") != std::string::npos) {
        return std::nullopt;  // a node outside the device folder is not ours to open
    }
    identity.node = m_roots.dev + "/" + devName;
    {
        // Binary: read whole (the kernel caps it at 4096 bytes; a prepared tree may not).
        std::ifstream in(hidDevice / "report_descriptor", std::ios::binary);
        for (std::istreambuf_iterator<char> it(in), end;
             in && it != end && identity.reportDescriptor.size() < kHidMaxReportBytes; ++it) {
            identity.reportDescriptor.push_back(static_cast<std::uint8_t>(*it));
        }
    }

    // Up to the USB device: the first folder above the HID device with idVendor, within sysfs.
    const fs::path sysRoot = fs::canonical(m_roots.sysfs, ec);
    if (!ec) {
        if (const auto dir = usbDeviceFolderAbove(hidDevice.parent_path(), sysRoot)) {
            const auto vid = parseHex16(readSysfsAttribute(*dir / "idVendor").value_or(""));
            const auto pid = parseHex16(readSysfsAttribute(*dir / "idProduct").value_or(""));
            if (!vid || !pid) {
                return std::nullopt;
            }
            identity.vendorId = *vid;
            identity.productId = *pid;
            identity.versionNumber =
                parseHex16(readSysfsAttribute(*dir / "bcdDevice").value_or("")).value_or(0);
            identity.product = readSysfsAttribute(*dir / "product").value_or("");
            identity.serial = readSysfsAttribute(*dir / "serial").value_or("");
            return identity;
        }
    }
    // Not on USB (Bluetooth, I2C): the identifiers the HID core gives, "BBBB:VVVVVVVV:PPPPPPPP".
    const std::string hidId = ueventValue(hidDevice / "uevent", "HID_ID").value_or("");
    if (hidId.size() != 22 || hidId[4] != ':' || hidId[13] != ':') {
        return std::nullopt;
    }
    const auto vid = parseHex16(std::string_view(hidId).substr(9, 4));
    const auto pid = parseHex16(std::string_view(hidId).substr(18, 4));
    if (!vid || !pid) {
        return std::nullopt;
    }
    identity.vendorId = *vid;
    identity.productId = *pid;
    return identity;
}

std::vector<HidDeviceIdentity> SysfsHidBackend::enumerate() {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(m_roots.sysfs) / "class" / "hidraw", ec), end;
         !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        if (name.starts_with("hidraw") && name.size() > 6) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const auto na = hidrawNumber(a);
        const auto nb = hidrawNumber(b);
        return na != nb ? na < nb : a < b;
    });
    std::vector<HidDeviceIdentity> devices;
    for (const std::string& name : names) {
        if (auto identity =
                identifyHidraw((fs::path(m_roots.sysfs) / "class" / "hidraw" / name).string())) {
            devices.push_back(std::move(*identity));
        }
    }
    return devices;
}

std::optional<HidDeviceIdentity> SysfsHidBackend::identify(const std::string& instance) {
    std::error_code ec;
    for (fs::directory_iterator it(fs::path(instance) / "hidraw", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (it->path().filename().string().starts_with("hidraw")) {
            auto identity = identifyHidraw(it->path().string());
            if (identity && identity->instance == instance) {
                return identity;
            }
        }
    }
    return std::nullopt;
}

int SysfsHidBackend::open(const std::string& node, bool readWrite) {
    return ::open(node.c_str(), (readWrite ? O_RDWR : O_RDONLY) | O_NONBLOCK | O_CLOEXEC);
}

void SysfsHidBackend::close(int fd) {
    if (fd >= 0) {
        ::close(fd);
    }
}

HidReadOutcome SysfsHidBackend::read(int fd, std::uint8_t* buffer, std::size_t size) {
    const ssize_t n = ::read(fd, buffer, size);
    if (n > 0) {
        return {HidReadOutcome::Report, static_cast<std::size_t>(n), 0};
    }
    if (n == 0) {
        // An end of file with a hang-up: the other side is gone. Without one: an empty report.
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR)) != 0) {
            return {HidReadOutcome::Gone, 0, ENODEV};
        }
        return {HidReadOutcome::Report, 0, 0};
    }
    const int error = errno;
    switch (error) {
        case EAGAIN:
        case EINTR:
            return {HidReadOutcome::Nothing, 0, 0};
        case EIO:
        case ENODEV:
        case ENXIO:
        case EBADF:
        case ECONNRESET:
        case EPIPE:
            return {HidReadOutcome::Gone, 0, error};
        default:
            return {HidReadOutcome::Failed, 0, error};
    }
}

bool SysfsHidBackend::sendFeature(int fd, const std::uint8_t* report, std::size_t length) {
    if (length == 0 || length > kHidMaxReportBytes) {
        return false;
    }
    std::vector<std::uint8_t> copy(report, report + length);  // the ioctl takes a writable buffer
    return ::ioctl(fd, HIDIOCSFEATURE(length), copy.data()) >= 0;
}

std::unique_ptr<HidHotplugMonitor> SysfsHidBackend::createMonitor() {
    std::error_code ec;
    if (!fs::equivalent(m_roots.sysfs, "/sys", ec) || ec) {
        return nullptr;
    }
    return createUdevNotices("hidraw", false);
}

std::unique_ptr<HidBackend> createHidBackend(const DeviceRoots& roots) {
    return std::make_unique<SysfsHidBackend>(roots);
}
