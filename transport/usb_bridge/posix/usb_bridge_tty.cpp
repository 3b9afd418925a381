#include "transport/usb_bridge/posix/usb_bridge_tty.h"

#include <termios.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#include "transport/posix/sysfs_usb_device.h"
#include "transport/serial/posix/termios_serial_port.h"

namespace fs = std::filesystem;

namespace {

// The USB device folder a tty's class entry leads into: its nearest ancestor with idVendor
// (above the interface and the USB serial port). The walk stays inside the sysfs tree.
std::optional<fs::path> usbDeviceOfTty(const fs::path& classEntry, const fs::path& sysfs) {
    std::error_code ec;
    const fs::path dir = fs::canonical(classEntry, ec);
    if (ec) {
        return std::nullopt;
    }
    return usbDeviceFolderAbove(dir, sysfs);
}

// Whether the tty's class entry leads into the device tree of a 10C4:EA61 USB device.
bool isBridgeTty(const fs::path& classEntry, const fs::path& sysfs) {
    const auto usb = usbDeviceOfTty(classEntry, sysfs);
    return usb &&
           parseHex16(readSysfsAttribute(*usb / "idVendor").value_or("")) == kBridgeVendorId &&
           parseHex16(readSysfsAttribute(*usb / "idProduct").value_or("")) == kBridgeProductId;
}

}  // namespace

std::vector<std::string> findUsbBridgeTtys(const DeviceRoots& roots) {
    std::vector<std::string> names;
    std::error_code ec;
    const fs::path sysfs = fs::canonical(roots.sysfs, ec);
    if (ec) {
        return names;
    }
    for (fs::directory_iterator it(sysfs / "class" / "tty", ec), end; !ec && it != end;
         it.increment(ec)) {
        if (isBridgeTty(it->path(), sysfs)) {
            names.push_back(it->path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

struct UsbBridgeTty::Device {
    SI_HANDLE handle = 0;
    std::string path;
    TermiosSerialPort port;
    bool gone = false;  // the kernel hung the tty up (bridge unplugged)
};

UsbBridgeTty::UsbBridgeTty(DeviceRoots roots) : m_roots(std::move(roots)) {}

UsbBridgeTty::~UsbBridgeTty() = default;

UsbBridgeTty::Device* UsbBridgeTty::find(SI_HANDLE handle) const {
    for (const auto& d : m_devices) {
        if (d->handle == handle) {
            return d.get();
        }
    }
    return nullptr;
}

int UsbBridgeTty::fd(SI_HANDLE handle) const {
    const Device* d = find(handle);
    return d != nullptr ? d->port.fd() : -1;
}

SI_STATUS UsbBridgeTty::SI_GetNumDevices(std::uint32_t& count) {
    if (m_rootsSource) {
        m_roots = m_rootsSource();
    }
    count = static_cast<std::uint32_t>(findUsbBridgeTtys(m_roots).size());
    return SI_SUCCESS;
}

std::optional<UsbDeviceIdentity> UsbBridgeTty::deviceIdentity(std::uint32_t device) {
    if (m_rootsSource) {
        m_roots = m_rootsSource();
    }
    const std::vector<std::string> ttys = findUsbBridgeTtys(m_roots);
    std::error_code ec;
    const fs::path sysfs = fs::canonical(m_roots.sysfs, ec);
    if (device >= ttys.size() || ec) {
        return std::nullopt;
    }
    const auto usb = usbDeviceOfTty(sysfs / "class" / "tty" / ttys[device], sysfs);
    return usb ? readUsbDeviceIdentity(*usb) : std::nullopt;
}

SI_STATUS UsbBridgeTty::SI_Open(std::uint32_t device, SI_HANDLE& handle) {
    m_lastOpen = {};
    if (m_rootsSource) {
        m_roots = m_rootsSource();
    }
    const std::vector<std::string> ttys = findUsbBridgeTtys(m_roots);
    if (device >= ttys.size()) {
        m_lastOpen.error = ENODEV;
        return SI_DEVICE_NOT_FOUND;
    }
    m_lastOpen.path = (fs::path(m_roots.dev) / ttys[device]).string();
    // A device this program holds is never opened twice: a second reader would take bytes
    // from the first. (The exclusive lock refuses it too; this says so without trying.)
    for (const auto& d : m_devices) {
        if (d->path == m_lastOpen.path) {
            m_lastOpen.error = EBUSY;
            return SI_DEVICE_NOT_FOUND;
        }
    }
    auto d = std::make_unique<Device>();
    if (!d->port.open(m_lastOpen.path)) {
        m_lastOpen.error = d->port.lastError();
        return SI_DEVICE_NOT_FOUND;
    }
    termios t{};
    if (::tcgetattr(d->port.fd(), &t) != 0) {
        m_lastOpen.error = errno;
        return SI_SYSTEM_ERROR_CODE;
    }
    ::cfmakeraw(&t);
    t.c_cflag &= ~(CSIZE | PARENB | CSTOPB | CRTSCTS);
    t.c_cflag |= CS8 | CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (::tcsetattr(d->port.fd(), TCSANOW, &t) != 0) {
        m_lastOpen.error = errno;
        return SI_SYSTEM_ERROR_CODE;
    }
    d->path = m_lastOpen.path;
    d->handle = m_nextHandle++;
    handle = d->handle;
    m_devices.push_back(std::move(d));
    return SI_SUCCESS;
}

SI_STATUS UsbBridgeTty::SI_Close(SI_HANDLE handle) {
    const auto it = std::find_if(m_devices.begin(), m_devices.end(),
                                 [handle](const auto& d) { return d->handle == handle; });
    if (it == m_devices.end()) {
        return SI_INVALID_HANDLE;
    }
    m_devices.erase(it);  // the port closes with it
    return SI_SUCCESS;
}

SI_STATUS UsbBridgeTty::SI_SetBaudRate(SI_HANDLE handle, std::uint32_t baudRate) {
    Device* d = find(handle);
    if (d == nullptr) {
        return SI_INVALID_HANDLE;
    }
    if (baudRate == 0) {
        return SI_INVALID_BAUDRATE;
    }
    if (d->gone) {
        return SI_DEVICE_IO_FAILED;
    }
    // glibc's cfsetspeed takes bit rates as numbers for every rate termios has a constant for;
    // any other rate goes through the kernel's free bit-rate setting.
    termios t{};
    if (::tcgetattr(d->port.fd(), &t) != 0) {
        return SI_DEVICE_IO_FAILED;
    }
    if (::cfsetspeed(&t, baudRate) == 0) {
        return ::tcsetattr(d->port.fd(), TCSANOW, &t) == 0 ? SI_SUCCESS : SI_INVALID_BAUDRATE;
    }
    return setCustomBaudRate(d->port.fd(), baudRate) ? SI_SUCCESS : SI_INVALID_BAUDRATE;
}

SI_STATUS UsbBridgeTty::SI_SetTimeouts(std::uint32_t readTimeoutMs, std::uint32_t writeTimeoutMs) {
    m_readTimeout = readTimeoutMs;
    m_writeTimeout = writeTimeoutMs;
    return SI_SUCCESS;
}

SI_STATUS UsbBridgeTty::SI_Read(SI_HANDLE handle, std::uint8_t* buffer, std::uint32_t toRead,
                                std::uint32_t& bytesRead) {
    bytesRead = 0;
    Device* d = find(handle);
    if (d == nullptr) {
        return SI_INVALID_HANDLE;
    }
    if (d->gone) {
        return SI_DEVICE_IO_FAILED;
    }
    // Never waits: the window's thread must not stall while the meter is silent. The link reads
    // once per tick, so it still takes the bytes in the order the meter sent them.
    const ReadResult r = d->port.read(buffer, toRead);
    if (r.hungUp) {
        d->gone = true;
        return SI_DEVICE_IO_FAILED;
    }
    bytesRead = static_cast<std::uint32_t>(r.count);
    return r.count > 0 ? SI_SUCCESS : SI_READ_TIMED_OUT;
}

SI_STATUS UsbBridgeTty::SI_FlushBuffers(SI_HANDLE handle, bool transmit, bool receive) {
    Device* d = find(handle);
    if (d == nullptr) {
        return SI_INVALID_HANDLE;
    }
    const std::uint32_t flags = (transmit ? kPurgeTxClear : 0u) | (receive ? kPurgeRxClear : 0u);
    return !d->gone && d->port.purge(flags) ? SI_SUCCESS : SI_DEVICE_IO_FAILED;
}

std::unique_ptr<UsbXpress> createUsbXpress(std::function<DeviceRoots()> roots) {
    auto tty = std::make_unique<UsbBridgeTty>();
    tty->setRootsSource(std::move(roots));
    return tty;
}
