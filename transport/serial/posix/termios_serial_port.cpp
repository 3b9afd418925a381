#include "transport/serial/posix/termios_serial_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string>

#include "transport/serial/serial_open_failure.h"

namespace {

speed_t speedConstant(std::uint32_t rate) {
    switch (rate) {
        case 110:
            return B110;
        case 300:
            return B300;
        case 600:
            return B600;
        case 1200:
            return B1200;
        case 2400:
            return B2400;
        case 4800:
            return B4800;
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 115200:
            return B115200;
        default:
            return B0;  // no constant: set through setCustomBaudRate
    }
}

tcflag_t sizeFlag(std::uint8_t byteSize) {
    switch (byteSize) {
        case 5:
            return CS5;
        case 6:
            return CS6;
        case 7:
            return CS7;
        default:
            return CS8;
    }
}

int bitsOf(tcflag_t size) {
    switch (size) {
        case CS5:
            return 5;
        case CS6:
            return 6;
        case CS7:
            return 7;
        default:
            return 8;
    }
}

}  // namespace

TermiosSerialPort::~TermiosSerialPort() {
    close();
}

bool TermiosSerialPort::open(const std::string& device) {
    close();
    m_device = device;
    m_problem.clear();
    // Only a serial line is opened: opening another device can have effects of its own (a new
    // pseudo-terminal from /dev/ptmx, a rewind of a tape, ...), so the node is checked first.
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) {
        m_lastError = errno;
    } else if (!S_ISCHR(node.st_mode) ||
               !isSerialLineDevice(major(node.st_rdev), minor(node.st_rdev), m_driversFile)) {
        m_lastError = ENOTTY;
    } else {
        m_lastError = 0;
    }
    if (m_lastError != 0) {
        m_problem = serialOpenFailureText(device, m_lastError);
        return false;
    }
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        m_lastError = errno;
        m_problem = serialOpenFailureText(device, m_lastError);
        return false;
    }
    // TIOCEXCL keeps other users out, flock keeps out other instances even when run as root.
    if (!::isatty(fd)) {
        m_lastError = ENOTTY;
    } else if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::ioctl(fd, TIOCEXCL) != 0) {
        m_lastError = errno == EWOULDBLOCK ? EBUSY : errno;
    }
    if (m_lastError != 0) {
        m_problem = serialOpenFailureText(device, m_lastError);
        ::close(fd);
        return false;
    }
    static_assert(sizeof(termios) <= sizeof m_saved && alignof(termios) <= 8);
    termios saved{};
    m_haveSaved = ::tcgetattr(fd, &saved) == 0;
    std::memcpy(m_saved, &saved, sizeof saved);
    struct stat opened {};
    m_pseudoTerminal =
        ::fstat(fd, &opened) == 0 && major(opened.st_rdev) >= 136 && major(opened.st_rdev) <= 143;
    m_fd = fd;
    return true;
}

void TermiosSerialPort::close() {
    if (m_fd >= 0) {
        // The next user of the port finds it as this one did (a hung-up line refuses; no harm).
        if (m_haveSaved) {
            termios saved{};
            std::memcpy(&saved, m_saved, sizeof saved);
            ::tcsetattr(m_fd, TCSANOW, &saved);
        }
        ::ioctl(m_fd, TIOCNXCL);
        ::close(m_fd);  // releases the flock too
        m_fd = -1;
        m_haveSaved = false;
    }
}

bool TermiosSerialPort::setState(const CommState& s) {
    if (m_fd < 0) {
        return false;
    }
    termios t{};
    if (::tcgetattr(m_fd, &t) != 0) {
        return false;
    }
    ::cfmakeraw(&t);  // binary: no translation, no echo, no signals
    t.c_cflag |= CREAD | CLOCAL | HUPCL;
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS);
    t.c_cflag |= sizeFlag(s.byteSize);
    switch (s.parity) {
        case 1:
            t.c_cflag |= PARENB | PARODD;
            break;
        case 2:
            t.c_cflag |= PARENB;
            break;
        case 3:
            t.c_cflag |= PARENB | PARODD | CMSPAR;
            break;
        case 4:
            t.c_cflag |= PARENB | CMSPAR;
            break;
        default:
            break;
    }
    // Termios has no one and a half stop bits; UARTs send 1.5 for CSTOPB with 5-bit characters.
    if (s.stopBits != 0) {
        t.c_cflag |= CSTOPB;
    }
    if (s.parityCheck) {
        t.c_iflag |= INPCK;
    }
    if (s.outxCtsFlow || s.rtsControl == 2) {
        t.c_cflag |= CRTSCTS;
    }
    t.c_iflag &= ~(IXON | IXOFF | IXANY);
    if (s.outX) {
        t.c_iflag |= IXON;
    }
    if (s.inX) {
        t.c_iflag |= IXOFF;
    }
    // A start or stop character of 0 disables it (0 is _POSIX_VDISABLE on Linux).
    t.c_cc[VSTART] = static_cast<cc_t>(s.xonChar);
    t.c_cc[VSTOP] = static_cast<cc_t>(s.xoffChar);
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    const speed_t speed = speedConstant(s.baudRate);
    if (speed != B0) {
        ::cfsetispeed(&t, speed);
        ::cfsetospeed(&t, speed);
    }
    bool ok = ::tcsetattr(m_fd, TCSANOW, &t) == 0;
    if (speed == B0) {
        ok = setCustomBaudRate(m_fd, s.baudRate) && ok;
    }
    // tcsetattr succeeds when any part was taken: read back what the driver really runs.
    termios back{};
    m_problem.clear();
    if (!ok) {
        m_problem = "cannot set the line of " + m_device + ": " + std::strerror(errno);
    } else if (::tcgetattr(m_fd, &back) == 0) {
        const tcflag_t wanted = t.c_cflag & CSIZE;
        const tcflag_t got = back.c_cflag & CSIZE;
        if (got != wanted && (!m_pseudoTerminal || m_checkPtySize)) {
            m_problem = "the port " + m_device + " does not take " + std::to_string(s.byteSize) +
                        " data bits (its driver runs " + std::to_string(bitsOf(got)) +
                        "); frames will not decode";
            ok = false;
        } else if ((back.c_cflag & (PARENB | PARODD | CSTOPB)) !=
                       (t.c_cflag & (PARENB | PARODD | CSTOPB)) &&
                   !m_pseudoTerminal) {
            m_problem = "the port " + m_device + " did not take its parity or stop bits";
            ok = false;
        } else if (speed != B0 && ::cfgetospeed(&back) != speed && !m_pseudoTerminal) {
            m_problem =
                "the port " + m_device + " does not take " + std::to_string(s.baudRate) + " bit/s";
            ok = false;
        }
    }
    // Modem lines: a pseudo-terminal has none and refuses, which changes nothing for its data.
    int dtr = TIOCM_DTR;
    ::ioctl(m_fd, s.dtrControl == 1 ? TIOCMBIS : TIOCMBIC, &dtr);
    if (s.rtsControl == 0) {
        int rts = TIOCM_RTS;
        ::ioctl(m_fd, TIOCMBIC, &rts);
    }
    return ok;
}

bool TermiosSerialPort::setTimeouts(const CommTimeouts&) {
    // Reads never wait (VMIN 0, VTIME 0 and a non-blocking descriptor) and writes have no
    // time-out: exactly what the driver asks for, set with the line state.
    return m_fd >= 0;
}

bool TermiosSerialPort::purge(std::uint32_t flags) {
    if (m_fd < 0) {
        return false;
    }
    const bool rx = (flags & (kPurgeRxAbort | kPurgeRxClear)) != 0;
    const bool tx = (flags & (kPurgeTxAbort | kPurgeTxClear)) != 0;
    if (rx && tx) {
        return ::tcflush(m_fd, TCIOFLUSH) == 0;
    }
    if (rx) {
        return ::tcflush(m_fd, TCIFLUSH) == 0;
    }
    if (tx) {
        return ::tcflush(m_fd, TCOFLUSH) == 0;
    }
    return true;
}

bool TermiosSerialPort::setupQueues(std::uint32_t, std::uint32_t) {
    // The kernel sizes a terminal's queues itself.
    return m_fd >= 0;
}

ReadResult TermiosSerialPort::read(std::uint8_t* buffer, std::size_t size) {
    ReadResult r;
    if (m_fd < 0 || size == 0) {
        return r;
    }
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, size);
        if (n > 0) {
            r.count = static_cast<std::size_t>(n);
            return r;
        }
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            // Nothing queued: a raw read without minimum returns 0 (or EAGAIN), and so does a
            // hung-up line on some drivers. Only poll tells the two apart.
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                // Hung up (the kernel also flags POLLIN then, for the end of file). Bytes that
                // arrived just before the hang-up are still delivered; the next poll closes.
                const ssize_t last = ::read(m_fd, buffer, size);
                if (last > 0) {
                    r.count = static_cast<std::size_t>(last);
                } else {
                    r.hungUp = true;
                }
            }
            return r;
        }
        // EIO and the like: the device has been hung up (adapter removed, terminal closed).
        r.hungUp = (errno == EIO || errno == ENXIO || errno == ENODEV || errno == EBADF);
        return r;
    }
}

long TermiosSerialPort::write(const std::uint8_t* data, std::size_t size) {
    if (m_fd < 0) {
        return -1;
    }
    for (;;) {
        const ssize_t n = ::write(m_fd, data, size);
        if (n >= 0) {
            return static_cast<long>(n);
        }
        if (errno == EINTR) {
            continue;
        }
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            // No room: wait briefly for the line to drain, so Send's wait does not spin.
            pollfd p{m_fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
            return 0;
        }
        return -1;
    }
}

long TermiosSerialPort::outputQueued() {
    int queued = 0;
    if (m_fd < 0 || ::ioctl(m_fd, TIOCOUTQ, &queued) != 0) {
        return -1;
    }
    return queued;
}

std::unique_ptr<SerialPortBackend> createSerialPortBackend() {
    return std::make_unique<TermiosSerialPort>();
}
