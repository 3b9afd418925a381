#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

// The line state the driver programs into an open port, member for member as the driver fills
// it (the layout of the platform's device control block). Members not set stay 0.
struct CommState {
    std::uint32_t baudRate = 0;   // bit/s
    bool binary = false;          // fBinary
    bool parityCheck = false;     // fParity: check parity on input
    std::uint8_t dtrControl = 0;  // 0 DTR off, 1 DTR on
    bool outxCtsFlow = false;     // CTS gates output
    std::uint8_t rtsControl = 0;  // 0 RTS off, 2 RTS handshake
    bool outX = false;            // XON/XOFF on output
    bool inX = false;             // XON/XOFF on input
    std::uint16_t xonLim = 0;
    std::uint16_t xoffLim = 0;
    std::uint8_t byteSize = 0;  // 5..8
    std::uint8_t parity = 0;    // 0 none, 1 odd, 2 even, 3 mark, 4 space
    std::uint8_t stopBits = 0;  // 0 one, 1 one and a half, 2 two
    char xonChar = 0;           // 0: no start character
    char xoffChar = 0;          // 0: no stop character

    friend bool operator==(const CommState&, const CommState&) = default;
};

// Read and write time-outs in milliseconds, as the driver sets them after opening.
struct CommTimeouts {
    std::uint32_t readIntervalTimeout = 0;
    std::uint32_t readTotalTimeoutMultiplier = 0;
    std::uint32_t readTotalTimeoutConstant = 0;
    std::uint32_t writeTotalTimeoutMultiplier = 0;
    std::uint32_t writeTotalTimeoutConstant = 0;

    friend bool operator==(const CommTimeouts&, const CommTimeouts&) = default;
};

// Purge flags: which queue to discard and whether to abort a pending operation on it.
inline constexpr std::uint32_t kPurgeTxAbort = 0x01;
inline constexpr std::uint32_t kPurgeRxAbort = 0x02;
inline constexpr std::uint32_t kPurgeTxClear = 0x04;
inline constexpr std::uint32_t kPurgeRxClear = 0x08;

struct ReadResult {
    std::size_t count = 0;  // bytes read
    bool hungUp = false;    // the device is gone (adapter removed, terminal closed)
};

// The platform calls of the serial port driver. One implementation per platform, one fake for
// tests. Every call but open acts on the port opened last and fails harmlessly while closed.
class SerialPortBackend {
public:
    virtual ~SerialPortBackend() = default;

    // Opens the device exclusively for reading and writing; false if absent, in use or not a
    // serial device (the port then stays closed).
    virtual bool open(const std::string& device) = 0;
    // Why the last open or setState failed, for the user (device path, reason, fix); empty
    // after a success or when the backend cannot tell.
    virtual std::string problem() const { return {}; }
    // Closes the port; nothing while closed.
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    // Programs the line state; false if the device refused (part of it may have been applied).
    virtual bool setState(const CommState& state) = 0;
    // Sets the read and write time-outs; false if the device refused.
    virtual bool setTimeouts(const CommTimeouts& timeouts) = 0;
    // Discards the queues named by the kPurge flags; false if the device refused.
    virtual bool purge(std::uint32_t flags) = 0;
    // Requests queue sizes in bytes; false if the device refused (a hint on most platforms).
    virtual bool setupQueues(std::uint32_t inSize, std::uint32_t outSize) = 0;

    // Reads what is queued, at most size bytes, without waiting for more. count 0 and hungUp
    // false: nothing queued or a passing error; hungUp: the device is gone for good.
    virtual ReadResult read(std::uint8_t* buffer, std::size_t size) = 0;
    // Writes up to size bytes; returns the bytes taken (0 when the queue had no room within a
    // short wait) or -1 when the device failed.
    virtual long write(const std::uint8_t* data, std::size_t size) = 0;
    // Bytes waiting in the transmit queue; -1 if the device cannot tell.
    virtual long outputQueued() = 0;
};

// The platform's serial ports (termios on Linux). Never fails; nothing is opened.
std::unique_ptr<SerialPortBackend> createSerialPortBackend();
