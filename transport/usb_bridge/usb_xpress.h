#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include <optional>

#include "transport/device_roots.h"
#include "transport/usb_device_identity.h"

// The seven calls of the USB bridge's interface (USBXpress), as the link uses them. Results are
// status codes: SI_SUCCESS (0) or one of the failures below. One implementation per platform
// (the Linux one drives the kernel's tty of the bridge), one fake for tests.
using SI_STATUS = std::uint32_t;
using SI_HANDLE = std::intptr_t;  // 0: no handle

inline constexpr SI_STATUS SI_SUCCESS = 0x00;
inline constexpr SI_STATUS SI_INVALID_HANDLE = 0x01;
inline constexpr SI_STATUS SI_READ_ERROR = 0x02;
inline constexpr SI_STATUS SI_DEVICE_IO_FAILED = 0x08;
inline constexpr SI_STATUS SI_INVALID_BAUDRATE = 0x09;
inline constexpr SI_STATUS SI_SYSTEM_ERROR_CODE = 0x0C;
inline constexpr SI_STATUS SI_READ_TIMED_OUT = 0x0D;
inline constexpr SI_STATUS SI_DEVICE_NOT_FOUND = 0xFF;

// USB identity of the bridge.
inline constexpr std::uint16_t kBridgeVendorId = 0x10C4;
inline constexpr std::uint16_t kBridgeProductId = 0xEA61;

// What the last SI_Open did, for the user: the device path it tried (empty when there was no
// such device) and the system's error number (0 on success).
struct SiOpenReport {
    std::string path;
    int error = 0;
};

class UsbXpress {
public:
    virtual ~UsbXpress() = default;

    // The number of bridges attached now, written to count (0 on failure). Never blocks.
    virtual SI_STATUS SI_GetNumDevices(std::uint32_t& count) = 0;
    // Opens bridge `device` (0-based) exclusively for reading; handle is written only on success.
    // Fails for a device this program or another one holds already (the held handle stays).
    virtual SI_STATUS SI_Open(std::uint32_t device, SI_HANDLE& handle) = 0;
    // Releases the handle; SI_INVALID_HANDLE for one that is not open.
    virtual SI_STATUS SI_Close(SI_HANDLE handle) = 0;
    // Sets the line speed (8 data bits, no parity, one stop bit); fails on a gone device.
    virtual SI_STATUS SI_SetBaudRate(SI_HANDLE handle, std::uint32_t baudRate) = 0;
    // Stores the read and write time-outs (milliseconds) of later calls.
    virtual SI_STATUS SI_SetTimeouts(std::uint32_t readTimeoutMs, std::uint32_t writeTimeoutMs) = 0;
    // Reads up to `toRead` bytes that are queued now; SI_SUCCESS only when bytesRead > 0, else
    // a failure at once (nothing queued, or the device is gone). Never waits.
    virtual SI_STATUS SI_Read(SI_HANDLE handle, std::uint8_t* buffer, std::uint32_t toRead,
                              std::uint32_t& bytesRead) = 0;
    // Discards the pending output and/or input of the device.
    virtual SI_STATUS SI_FlushBuffers(SI_HANDLE handle, bool transmit, bool receive) = 0;

    // Which USB device bridge `device` (0-based, counted as SI_Open counts) is, so that the same
    // one can be found again after it was unplugged; nothing when there is no such device.
    virtual std::optional<UsbDeviceIdentity> deviceIdentity(std::uint32_t device) = 0;

    // The device path and the outcome of the last SI_Open.
    virtual SiOpenReport lastOpen() const = 0;
};

// The platform's bridges: the kernel's ttys of 10C4:EA61 devices on Linux, looked for under the
// roots `roots` gives at every count and open (they may be set after the link is made). Never
// fails; nothing is opened.
std::unique_ptr<UsbXpress> createUsbXpress(std::function<DeviceRoots()> roots);
