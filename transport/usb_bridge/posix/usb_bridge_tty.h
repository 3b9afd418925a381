#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "transport/device_roots.h"
#include "transport/usb_bridge/usb_xpress.h"

class TermiosSerialPort;

// The tty names (for example "ttyUSB0") under <sysfs>/class/tty whose USB device (the nearest
// ancestor folder holding idVendor and idProduct) is the bridge 10C4:EA61, sorted by name.
// Ttys that are not on USB, or on another USB device, are left out. Never fails: an unreadable
// tree gives an empty list.
std::vector<std::string> findUsbBridgeTtys(const DeviceRoots& roots);

// The USB bridge on Linux: the kernel's USB serial driver serves it as a tty, which SI_Open
// opens as <dev>/<tty name>, raw (8 data bits, no parity, CLOCAL, reads that never wait) and
// exclusively, like the serial port. A read that finds nothing fails at once; a device that is
// gone makes every later read of its handle fail without a system call.
class UsbBridgeTty final : public UsbXpress {
public:
    explicit UsbBridgeTty(DeviceRoots roots = DeviceRoots());
    ~UsbBridgeTty() override;
    UsbBridgeTty(const UsbBridgeTty&) = delete;
    UsbBridgeTty& operator=(const UsbBridgeTty&) = delete;

    SI_STATUS SI_GetNumDevices(std::uint32_t& count) override;
    SI_STATUS SI_Open(std::uint32_t device, SI_HANDLE& handle) override;
    SI_STATUS SI_Close(SI_HANDLE handle) override;
    SI_STATUS SI_SetBaudRate(SI_HANDLE handle, std::uint32_t baudRate) override;
    SI_STATUS SI_SetTimeouts(std::uint32_t readTimeoutMs, std::uint32_t writeTimeoutMs) override;
    SI_STATUS SI_Read(SI_HANDLE handle, std::uint8_t* buffer, std::uint32_t toRead,
                      std::uint32_t& bytesRead) override;
    SI_STATUS SI_FlushBuffers(SI_HANDLE handle, bool transmit, bool receive) override;
    std::optional<UsbDeviceIdentity> deviceIdentity(std::uint32_t device) override;
    SiOpenReport lastOpen() const override { return m_lastOpen; }

    // Where later calls look for bridges (open handles stay as they are).
    void setRoots(DeviceRoots roots) { m_roots = std::move(roots); }
    // Asked for the roots at every count and open instead (null: the roots set stay).
    void setRootsSource(std::function<DeviceRoots()> source) { m_rootsSource = std::move(source); }

    // The stored time-outs (reads never wait for them; see SI_Read).
    std::uint32_t readTimeout() const { return m_readTimeout; }
    std::uint32_t writeTimeout() const { return m_writeTimeout; }
    // The descriptor behind a handle, -1 if none (for tests).
    int fd(SI_HANDLE handle) const;

private:
    struct Device;
    Device* find(SI_HANDLE handle) const;

    DeviceRoots m_roots;
    std::function<DeviceRoots()> m_rootsSource;
    std::vector<std::unique_ptr<Device>> m_devices;
    SI_HANDLE m_nextHandle = 1;
    SiOpenReport m_lastOpen;
    std::uint32_t m_readTimeout = 0;
    std::uint32_t m_writeTimeout = 0;
};
