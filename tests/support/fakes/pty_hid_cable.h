#pragma once

// The meter's HID cable as the real Linux backend meets it: a device in a prepared sysfs tree
// whose hidraw node leads to a pseudo-terminal. The test writes input reports into the
// controlling side; the program opens and reads the node by its path, as it would /dev/hidrawN.
// A pseudo-terminal keeps no report boundaries, so send() writes one report and waits until the
// device side holds it whole; the reader must take it before the next is sent (queued() == 0).
// Closing the controlling side is what pulling the cable does to a reader: reads fail with EIO.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "sim/meter_simulator.h"
#include "sim/pseudo_terminal.h"
#include "tests/support/fakes/fake_hid.h"
#include "transport/hid/hid_report_lines.h"

class PtyHidCable {
public:
    // The cable's input reports carry 8 bytes: the count byte and up to 7 meter bytes.
    static constexpr std::size_t kReportBytes = 8;

    explicit PtyHidCable(fakehid::Tree& tree, fakehid::DeviceInfo info = fakehid::usbDevice("1-2"))
        : m_tree(tree) {
        name = tree.plug(info);
        std::filesystem::remove(tree.node(name));
        std::filesystem::create_symlink(m_pty.devicePath(), tree.node(name));
        m_probe = ::open(m_pty.devicePath().c_str(), O_RDONLY | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    }
    ~PtyHidCable() {
        if (m_probe >= 0) {
            ::close(m_probe);
        }
    }
    PtyHidCable(const PtyHidCable&) = delete;
    PtyHidCable& operator=(const PtyHidCable&) = delete;

    bool isOpen() const { return m_pty.isOpen() && m_probe >= 0; }
    // The device side the node leads to (/dev/pts/N).
    const std::string& devicePath() const { return m_pty.devicePath(); }

    // How many descriptors process pid holds on the device side.
    int opensBy(pid_t pid) const {
        int n = 0;
        std::error_code ec;
        for (std::filesystem::directory_iterator it("/proc/" + std::to_string(pid) + "/fd", ec),
             end;
             !ec && it != end; it.increment(ec)) {
            if (std::filesystem::read_symlink(it->path(), ec) == m_pty.devicePath()) {
                ++n;
            }
        }
        return n;
    }

    // Bytes waiting on the device side for the program to read.
    int queued() const {
        int n = 0;
        return ::ioctl(m_probe, FIONREAD, &n) == 0 ? n : -1;
    }

    // Writes one report (zero-padded to kReportBytes) and waits until the device side holds it
    // (the reader runs in this process and takes it once the test lets the event loop run). The
    // report's line, as halvern log --capture writes it, is added to lines.
    bool send(std::vector<std::uint8_t> payload) {
        const int before = queued();
        return write(std::move(payload)) &&
               waitFor([&] { return queued() >= before + static_cast<int>(kReportBytes); });
    }
    // Writes one report for a reader in another process (reader) and waits until that process
    // has read it: its count of bytes read grows by the report. Waiting for the device side to
    // empty is not enough, since the pseudo-terminal hands the bytes on a moment after the write,
    // and a second report written before the first was read would be read with it as one.
    // False when the reader ended or did not read the report within two seconds.
    bool sendTaken(std::vector<std::uint8_t> payload, pid_t reader) {
        const long long before = bytesReadBy(reader);
        if (before < 0 || !write(std::move(payload))) {
            return false;
        }
        return waitFor([&] {
                   const long long now = bytesReadBy(reader);
                   return now < 0 || now >= before + static_cast<long long>(kReportBytes);
               }) &&
               bytesReadBy(reader) >= 0;
    }

    // The bytes process pid has read so far (rchar of /proc/pid/io), or -1 once it has ended.
    static long long bytesReadBy(pid_t pid) {
        std::FILE* io = std::fopen(("/proc/" + std::to_string(pid) + "/io").c_str(), "r");
        if (io == nullptr) {
            return -1;
        }
        long long rchar = -1;
        if (std::fscanf(io, "rchar: %lld", &rchar) != 1) {
            rchar = -1;
        }
        std::fclose(io);
        return rchar;
    }

    // The reports of one frame: its 13 bytes as a report of 7 and one of 6 meter bytes, then a
    // report without meter bytes that ends the frame.
    static std::vector<std::vector<std::uint8_t>> frameReports(const MeterSimulator::Frame& f) {
        std::vector<std::uint8_t> first{0x07}, second{0x06};
        first.insert(first.end(), f.begin(), f.begin() + 7);
        second.insert(second.end(), f.begin() + 7, f.end());
        return {first, second, {0x00}};
    }

    // Pulls the cable: the reader's next read fails, and the device leaves sysfs.
    void unplug() {
        m_pty.closeMaster();
        m_tree.unplug(name);
    }

    std::string name;   // hidrawN
    std::string lines;  // every report sent, as report lines

private:
    bool write(std::vector<std::uint8_t> payload) {
        payload.resize(kReportBytes, 0);
        std::string line;
        formatHidReportLine(0, payload.data(), payload.size(), line);
        lines += line + "\n";
        return m_pty.writeAll(std::string(payload.begin(), payload.end()));
    }
    template <typename F>
    static bool waitFor(F done) {
        for (int i = 0; i < 4000; ++i) {
            if (done()) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::microseconds(500));
        }
        return false;
    }

    fakehid::Tree& m_tree;
    PseudoTerminal m_pty;
    int m_probe = -1;
};
