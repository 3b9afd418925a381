#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// A pseudo-terminal standing in for a meter's cable: the program opens the device side
// (/dev/pts/N) as a serial port, the meter (simulator or test) writes to the controlling side.
// Closing the controlling side hangs the device side up, as removing a USB adapter does. The
// platform's implementation lives in posix/.
class PseudoTerminal {
public:
    // Creates the pair; check isOpen (fails only when the system has no pseudo-terminals left).
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool isOpen() const { return m_master >= 0; }
    // Path of the device side, empty if creation failed.
    const std::string& devicePath() const { return m_path; }
    // The controlling side's descriptor (non-blocking), -1 once closed.
    int masterFd() const { return m_master; }

    // Writes bytes to the device side's input. Returns the count taken: fewer (down to 0)
    // when its queue is full, as a meter talking to nobody loses what it sends; -1 if closed.
    long write(std::string_view bytes);
    // Like write, but waits (up to timeoutMs) until every byte is taken; false on time-out.
    bool writeAll(std::string_view bytes, int timeoutMs = 2000);
    // Closes the controlling side: the device side hangs up.
    void closeMaster();

private:
    int m_master = -1;
    int m_slaveKeeper = -1;  // keeps the device side raw and alive while no driver holds it
    std::string m_path;
};
