#pragma once

// A HID machine for tests: a sysfs tree laid out as the kernel lays it out (PCI controller, USB
// device, interface, HID device, hidraw node) and device nodes that open as SOCK_SEQPACKET
// socket pairs, which deliver one report per read as hidraw does. Closing the test's side of
// the pair is what an unplug does to a reader; unplug() also removes the device from sysfs.
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "tests/support/temp_folder.h"
#include "transport/hid/posix/sysfs_hid_backend.h"

namespace fakehid {

namespace fs = std::filesystem;

// A keyboard's descriptor: 8-byte input report, 1-byte output report, no report IDs.
inline const std::vector<std::uint8_t> kKeyboardDescriptor = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01, 0x75, 0x08, 0x81, 0x01, 0x95, 0x05, 0x75, 0x01,
    0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, 0x95, 0x01, 0x75, 0x03, 0x91, 0x01, 0x95, 0x06,
    0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00, 0x29, 0x65, 0x81, 0x00, 0xC0};

// A USB-serial cable's descriptor: vendor page, report ID 0 not declared, 8-byte input and
// output reports, a 9-byte feature report (report ID 0 and 9 bytes: the line setup).
inline const std::vector<std::uint8_t> kCableDescriptor = {
    0x06, 0xA0, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x09, 0x01, 0x15, 0x00,
    0x26, 0xFF, 0x00, 0x75, 0x08, 0x95, 0x08, 0x81, 0x02, 0x09, 0x02,
    0x95, 0x08, 0x91, 0x02, 0x09, 0x03, 0x95, 0x09, 0xB1, 0x02, 0xC0};

// Two numbered input reports: ID 1 with 3 bytes, ID 2 with 6 bytes.
inline const std::vector<std::uint8_t> kNumberedDescriptor = {
    0x06, 0x00, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x15, 0x00, 0x26, 0xFF, 0x00, 0x85, 0x01,
    0x95, 0x03, 0x09, 0x01, 0x81, 0x02, 0x85, 0x02, 0x95, 0x06, 0x09, 0x01, 0x81, 0x02, 0xC0};

struct DeviceInfo {
    std::uint16_t vid = 0x1A86;
    std::uint16_t pid = 0xE008;
    std::uint16_t bcd = 0x1200;
    std::optional<std::string> product = "USB to Serial";
    std::optional<std::string> serial;
    std::vector<std::uint8_t> descriptor = kCableDescriptor;
    std::string port = "1-2";  // USB port path
    bool usb = true;           // false: a Bluetooth device known only by its HID_ID
};

// A USB device at a port, the cable unless told otherwise.
inline DeviceInfo usbDevice(std::string port, std::optional<std::string> product = "USB to Serial",
                            std::uint16_t vid = 0x1A86, std::uint16_t pid = 0xE008,
                            std::vector<std::uint8_t> descriptor = kCableDescriptor) {
    DeviceInfo info;
    info.port = std::move(port);
    info.product = std::move(product);
    info.vid = vid;
    info.pid = pid;
    info.descriptor = std::move(descriptor);
    return info;
}

class Tree {
public:
    Tree() {
        fs::create_directories(m_dir.path("sys/class/hidraw"));
        fs::create_directories(m_dir.path("dev"));
    }
    std::string sysfs() const { return m_dir.path("sys"); }
    std::string dev() const { return m_dir.path("dev"); }
    DeviceRoots roots() const { return {sysfs(), dev()}; }

    // Plugs a device in as the next hidraw node; returns its node name ("hidraw3").
    std::string plug(const DeviceInfo& info) {
        const std::string name = "hidraw" + std::to_string(m_nextNode++);
        char hidName[64];
        std::snprintf(hidName, sizeof hidName, "%04X:%04X:%04X.%04X", info.usb ? 3u : 5u,
                      unsigned{info.vid}, unsigned{info.pid}, ++m_sequence);
        fs::path hidDir;
        if (info.usb) {
            const fs::path usbDir =
                fs::path(sysfs()) / "devices/pci0000:00/0000:00:14.0/usb1" / info.port;
            fs::create_directories(usbDir);
            writeHex(usbDir / "idVendor", info.vid);
            writeHex(usbDir / "idProduct", info.pid);
            writeHex(usbDir / "bcdDevice", info.bcd);
            if (info.product) {
                TempFolder::write((usbDir / "product").string(), *info.product + "\n");
            }
            if (info.serial) {
                TempFolder::write((usbDir / "serial").string(), *info.serial + "\n");
            }
            const fs::path ifDir = usbDir / (info.port + ":1.0");
            fs::create_directories(ifDir);
            TempFolder::write((ifDir / "bInterfaceNumber").string(), "00\n");
            hidDir = ifDir / hidName;
        } else {
            hidDir = fs::path(sysfs()) / "devices/virtual/misc/uhid" / hidName;
        }
        const fs::path rawDir = hidDir / "hidraw" / name;
        fs::create_directories(rawDir);
        TempFolder::write((hidDir / "report_descriptor").string(),
                          std::string(info.descriptor.begin(), info.descriptor.end()));
        char hidId[64];
        std::snprintf(hidId, sizeof hidId, "HID_ID=%04X:%08X:%08X\n", info.usb ? 3u : 5u,
                      unsigned{info.vid}, unsigned{info.pid});
        TempFolder::write((hidDir / "uevent").string(),
                          "DRIVER=hid-generic\n" + std::string(hidId) +
                              "HID_NAME=" + info.product.value_or("") + "\n");
        TempFolder::write((rawDir / "uevent").string(),
                          "MAJOR=242\nMINOR=" + name.substr(6) + "\nDEVNAME=" + name + "\n");
        TempFolder::write((rawDir / "dev").string(), "242:" + name.substr(6) + "\n");
        fs::create_directory_symlink("../..", rawDir / "device");
        fs::create_directory_symlink(fs::relative(rawDir, fs::path(sysfs()) / "class/hidraw"),
                                     fs::path(sysfs()) / "class/hidraw" / name);
        TempFolder::write(m_dir.path("dev/" + name), "");
        m_hidDirs[name] = fs::canonical(hidDir);
        return name;
    }

    // Removes a device from sysfs and /dev (the pass that follows sees it gone).
    void unplug(const std::string& name) {
        fs::remove(fs::path(sysfs()) / "class/hidraw" / name);
        fs::remove(m_dir.path("dev/" + name));
        const fs::path hidDir = m_hidDirs.at(name);
        // The USB device folder goes with it, as the kernel removes the whole device.
        const fs::path usbDir = hidDir.parent_path().parent_path();
        fs::remove_all(fs::exists(usbDir / "idVendor") ? usbDir : hidDir);
        m_hidDirs.erase(name);
    }

    // The identity (sysfs path of the HID device) of a plugged node.
    std::string instance(const std::string& name) const { return m_hidDirs.at(name).string(); }
    std::string node(const std::string& name) const { return dev() + "/" + name; }

private:
    static void writeHex(const fs::path& file, unsigned value) {
        char text[16];
        std::snprintf(text, sizeof text, "%04x\n", value);
        TempFolder::write(file.string(), text);
    }

    TempFolder m_dir;
    int m_nextNode = 0;
    unsigned m_sequence = 0;
    std::map<std::string, fs::path> m_hidDirs;
};

// Notices written by the test into a pipe.
class PipeMonitor final : public HidHotplugMonitor {
public:
    explicit PipeMonitor(int readFd) : m_fd(readFd) {}
    ~PipeMonitor() override { ::close(m_fd); }
    int fd() const override { return m_fd; }
    bool drain() override {
        char buf[64];
        bool any = false;
        while (::read(m_fd, buf, sizeof buf) > 0) {
            any = true;
        }
        return any;
    }

private:
    int m_fd;
};

// The Linux backend with the kernel stood in for: nodes open as socket pairs.
class Backend final : public SysfsHidBackend {
public:
    explicit Backend(const Tree& tree) : SysfsHidBackend(tree.roots()) {}
    ~Backend() override {
        for (auto& [fd, peer] : m_peers) {
            ::close(peer.fd);
        }
        if (m_notify >= 0) {
            ::close(m_notify);
        }
    }

    std::vector<HidDeviceIdentity> enumerate() override {
        ++m_enumerations;
        return SysfsHidBackend::enumerate();
    }
    int open(const std::string& node, bool readWrite) override {
        ++m_opens;
        if (!fs::exists(node)) {
            errno = ENOENT;
            return -1;
        }
        if (readWrite && m_readOnly.count(node)) {
            errno = EACCES;
            return -1;
        }
        int pair[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, pair) != 0) {
            return -1;
        }
        m_peers[pair[0]] = {node, pair[1]};
        return pair[0];
    }
    void close(int fd) override {
        const auto it = m_peers.find(fd);
        if (it != m_peers.end()) {
            if (it->second.fd >= 0) {
                ::close(it->second.fd);
            }
            m_peers.erase(it);
        }
        ::close(fd);
    }
    HidReadOutcome read(int fd, std::uint8_t* buffer, std::size_t size) override {
        if (m_failReads) {
            return {HidReadOutcome::Failed, 0, EPROTO};
        }
        return SysfsHidBackend::read(fd, buffer, size);
    }
    bool sendFeature(int fd, const std::uint8_t* report, std::size_t length) override {
        features.push_back({m_peers.count(fd) ? m_peers[fd].node : "?",
                            std::vector<std::uint8_t>(report, report + length)});
        return !m_refuseFeatures;
    }
    std::unique_ptr<HidHotplugMonitor> createMonitor() override {
        if (!m_hotplug) {
            return nullptr;
        }
        int p[2];
        if (::pipe2(p, O_NONBLOCK | O_CLOEXEC) != 0) {
            return nullptr;
        }
        m_notify = p[1];
        return std::make_unique<PipeMonitor>(p[0]);
    }

    // A report from the device: every open descriptor of the node receives it, as with hidraw.
    void report(const std::string& node, const std::vector<std::uint8_t>& bytes) {
        for (auto& [fd, peer] : m_peers) {
            if (peer.node == node && peer.fd >= 0) {
                (void)::send(peer.fd, bytes.data(), bytes.size(), 0);
            }
        }
    }
    // The device's end of every open descriptor goes away: readers see a hang-up.
    void hangUp(const std::string& node) {
        for (auto& [fd, peer] : m_peers) {
            if (peer.node == node && peer.fd >= 0) {
                ::close(peer.fd);
                peer.fd = -1;
            }
        }
    }
    void notify() { (void)::write(m_notify, "x", 1); }

    int opens() const { return m_opens; }
    // Listings of the present devices: one per device-change pass.
    int enumerations() const { return m_enumerations; }
    // Descriptors the controller holds open.
    std::size_t openDescriptors() const { return m_peers.size(); }
    void setHotplug(bool on) { m_hotplug = on; }
    void setReadOnly(const std::string& node) { m_readOnly.insert(node); }
    void setFailReads(bool on) { m_failReads = on; }
    void setRefuseFeatures(bool on) { m_refuseFeatures = on; }

    struct Feature {
        std::string node;
        std::vector<std::uint8_t> bytes;
    };
    std::vector<Feature> features;

private:
    struct Peer {
        std::string node;
        int fd = -1;
    };
    std::map<int, Peer> m_peers;
    std::set<std::string> m_readOnly;
    int m_opens = 0;
    int m_enumerations = 0;
    int m_notify = -1;
    bool m_hotplug = false;
    bool m_failReads = false;
    bool m_refuseFeatures = false;
};

}  // namespace fakehid
