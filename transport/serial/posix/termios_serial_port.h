#pragma once

#include "transport/serial/serial_port_backend.h"

// The serial port on Linux: a terminal device (a UART, a USB adapter, a pseudo-terminal)
// driven through termios. Exclusive by TIOCEXCL and by a non-blocking flock, since root
// ignores TIOCEXCL.
//
// Only a character device that the kernel lists as a serial line (or a pseudo-terminal's device
// side) is opened at all: opening other devices can have side effects. The terminal settings
// found at the open are put back at the close. After programming the line the settings are
// read back, and a device that did not take them (a driver that runs 8 data bits when 7 were
// asked for) is reported through setState and problem().
class TermiosSerialPort final : public SerialPortBackend {
public:
    TermiosSerialPort() = default;
    ~TermiosSerialPort() override;
    TermiosSerialPort(const TermiosSerialPort&) = delete;
    TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

    bool open(const std::string& device) override;
    std::string problem() const override { return m_problem; }
    void close() override;
    bool isOpen() const override { return m_fd >= 0; }
    bool setState(const CommState& state) override;
    bool setTimeouts(const CommTimeouts& timeouts) override;
    bool purge(std::uint32_t flags) override;
    bool setupQueues(std::uint32_t inSize, std::uint32_t outSize) override;
    ReadResult read(std::uint8_t* buffer, std::size_t size) override;
    long write(const std::uint8_t* data, std::size_t size) override;
    long outputQueued() override;

    // The open descriptor, -1 while closed (for tests).
    int fd() const { return m_fd; }
    // The system's error number of the last failed open (EWOULDBLOCK/EBUSY: in use; ENOTTY:
    // not a terminal), 0 after a successful one.
    int lastError() const { return m_lastError; }

    // Where the kernel lists its terminal drivers (a fake list for tests).
    void setTtyDriversFile(std::string path) { m_driversFile = std::move(path); }
    // A pseudo-terminal carries whole bytes whatever the character size, and its driver always
    // reports 8 bits: not reported unless a test asks for the check on one.
    void setCheckPseudoTerminalSize(bool check) { m_checkPtySize = check; }

private:
    int m_fd = -1;
    int m_lastError = 0;
    std::string m_device;
    std::string m_problem;
    std::string m_driversFile = "/proc/tty/drivers";
    bool m_checkPtySize = false;
    bool m_pseudoTerminal = false;
    bool m_haveSaved = false;
    // The termios found at the open (<termios.h> cannot be included here: it clashes with the
    // kernel header of setCustomBaudRate).
    alignas(8) unsigned char m_saved[128] = {};
};

// Sets a bit rate termios has no constant for (14400, 56000) on an open terminal; false if
// the device refused. Lives apart because its kernel header clashes with <termios.h>.
bool setCustomBaudRate(int fd, unsigned rate);
