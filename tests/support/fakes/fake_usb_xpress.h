#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "transport/usb_bridge/usb_xpress.h"

// The bridge's interface in memory: records every call in order ("GetNumDevices", "Open 0",
// "SetBaudRate 1 9600", "SetTimeouts 500 500", "Read 1", "FlushBuffers 1 1 1", "Close 1") and
// serves reads from a byte queue the test fills. State lives in a log the test keeps.
struct FakeUsbLog {
    std::vector<std::string> calls;
    std::uint32_t devices = 1;  // what SI_GetNumDevices reports
    std::string input;          // bytes the bridge has received
    bool refuseOpen = false;
    int openError = 13;  // errno reported for a refused open (EACCES)
    bool refuseBaudRate = false;
    bool gone = false;            // reads fail as for an unplugged bridge
    std::vector<SI_HANDLE> open;  // handles open now
    SI_HANDLE nextHandle = 1;
    int flushes = 0;
    // The identity of device i (asked without a call logged); without an entry, a bridge without
    // serial number in port 1-<i+2>.
    std::vector<UsbDeviceIdentity> identities;
};

class FakeUsbXpress final : public UsbXpress {
public:
    explicit FakeUsbXpress(FakeUsbLog& log) : m_log(log) {}

    SI_STATUS SI_GetNumDevices(std::uint32_t& count) override {
        m_log.calls.emplace_back("GetNumDevices");
        count = m_log.devices;
        return SI_SUCCESS;
    }
    SI_STATUS SI_Open(std::uint32_t device, SI_HANDLE& handle) override {
        m_log.calls.push_back("Open " + std::to_string(device));
        m_report = {"/dev/ttyUSB" + std::to_string(device), 0};
        // Like the bridge: a device already held (by this program too) refuses another open.
        if (m_log.refuseOpen || !m_log.open.empty() || device >= m_log.devices) {
            m_report.error = m_log.refuseOpen ? m_log.openError : 16;  // EBUSY
            return SI_DEVICE_NOT_FOUND;
        }
        handle = m_log.nextHandle++;
        m_log.open.push_back(handle);
        return SI_SUCCESS;
    }
    SI_STATUS SI_Close(SI_HANDLE handle) override {
        m_log.calls.push_back("Close " + std::to_string(handle));
        return std::erase(m_log.open, handle) == 1 ? SI_SUCCESS : SI_INVALID_HANDLE;
    }
    SI_STATUS SI_SetBaudRate(SI_HANDLE handle, std::uint32_t rate) override {
        m_log.calls.push_back("SetBaudRate " + std::to_string(handle) + " " + std::to_string(rate));
        return m_log.refuseBaudRate ? SI_INVALID_BAUDRATE : SI_SUCCESS;
    }
    SI_STATUS SI_SetTimeouts(std::uint32_t readMs, std::uint32_t writeMs) override {
        m_log.calls.push_back("SetTimeouts " + std::to_string(readMs) + " " +
                              std::to_string(writeMs));
        return SI_SUCCESS;
    }
    SI_STATUS SI_Read(SI_HANDLE handle, std::uint8_t* buffer, std::uint32_t toRead,
                      std::uint32_t& bytesRead) override {
        m_log.calls.push_back("Read " + std::to_string(handle));
        bytesRead = 0;
        if (m_log.gone) {
            return SI_DEVICE_IO_FAILED;
        }
        if (!isOpen(handle)) {
            return SI_INVALID_HANDLE;
        }
        if (m_log.input.empty() || toRead == 0) {
            return SI_READ_TIMED_OUT;
        }
        buffer[0] = static_cast<std::uint8_t>(m_log.input[0]);
        m_log.input.erase(0, 1);
        bytesRead = 1;
        return SI_SUCCESS;
    }
    SI_STATUS SI_FlushBuffers(SI_HANDLE handle, bool transmit, bool receive) override {
        m_log.calls.push_back("FlushBuffers " + std::to_string(handle) + " " +
                              std::to_string(transmit) + " " + std::to_string(receive));
        ++m_log.flushes;
        if (receive) {
            m_log.input.clear();
        }
        return isOpen(handle) ? SI_SUCCESS : SI_INVALID_HANDLE;
    }
    std::optional<UsbDeviceIdentity> deviceIdentity(std::uint32_t device) override {
        if (device >= m_log.devices) {
            return std::nullopt;
        }
        if (device < m_log.identities.size()) {
            return m_log.identities[device];
        }
        return UsbDeviceIdentity{kBridgeVendorId, kBridgeProductId, "",
                                 "1-" + std::to_string(device + 2)};
    }
    SiOpenReport lastOpen() const override { return m_report; }

private:
    bool isOpen(SI_HANDLE handle) const {
        for (SI_HANDLE h : m_log.open) {
            if (h == handle) {
                return true;
            }
        }
        return false;
    }

    FakeUsbLog& m_log;
    SiOpenReport m_report;
};
