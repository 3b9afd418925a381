#pragma once

#include "transport/serial_port_backend.h"

// The serial port on Linux: a terminal device (a UART, a USB adapter, a pseudo-terminal)
// driven through termios. Exclusive by TIOCEXCL and by a non-blocking flock, since root
// ignores TIOCEXCL.
class TermiosSerialPort final : public SerialPortBackend {
public:
    TermiosSerialPort() = default;
    ~TermiosSerialPort() override;
    TermiosSerialPort(const TermiosSerialPort&) = delete;
    TermiosSerialPort& operator=(const TermiosSerialPort&) = delete;

    bool open(const std::string& device) override;
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

private:
    int m_fd = -1;
    int m_lastError = 0;
};

// Sets a bit rate termios has no constant for (14400, 56000) on an open terminal; false if
// the device refused. Lives apart because its kernel header clashes with <termios.h>.
bool setCustomBaudRate(int fd, unsigned rate);
