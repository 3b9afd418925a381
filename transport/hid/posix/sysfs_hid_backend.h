#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "transport/device_roots.h"
#include "transport/hid/hid_backend.h"

// The HID devices of a Linux machine: identities from sysfs (<sysfs>/class/hidraw/* up to the HID
// device and its USB device), reports through the hidraw nodes under <dev>, device-change
// notices from a udev monitor when libudev.so.1 can be loaded.
class SysfsHidBackend : public HidBackend {
public:
    explicit SysfsHidBackend(DeviceRoots roots);

    // hidraw nodes in the order of their numbers.
    std::vector<HidDeviceIdentity> enumerate() override;
    std::optional<HidDeviceIdentity> identify(const std::string& instance) override;
    int open(const std::string& node, bool readWrite) override;
    void close(int fd) override;
    // A read error of a device that is gone (EIO, ENODEV, an end of file with a hang-up) is Gone.
    HidReadOutcome read(int fd, std::uint8_t* buffer, std::size_t size) override;
    // HIDIOCSFEATURE.
    bool sendFeature(int fd, const std::uint8_t* report, std::size_t length) override;
    // A udev monitor (source "udev", subsystem hidraw); null without libudev or when the sysfs
    // root is not the machine's own (a prepared tree gets no notices from the system).
    std::unique_ptr<HidHotplugMonitor> createMonitor() override;

    const DeviceRoots& roots() const { return m_roots; }

private:
    // The identity behind one hidraw folder (<sysfs>/class/hidraw/hidrawN or its real path).
    std::optional<HidDeviceIdentity> identifyHidraw(const std::string& hidrawDir) const;

    DeviceRoots m_roots;
};
