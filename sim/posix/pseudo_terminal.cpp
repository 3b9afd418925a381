#include "sim/pseudo_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>

PseudoTerminal::PseudoTerminal() {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0) {
        return;
    }
    char name[128] = {};
    if (::grantpt(master) != 0 || ::unlockpt(master) != 0 ||
        ::ptsname_r(master, name, sizeof name) != 0) {
        ::close(master);
        return;
    }
    ::fcntl(master, F_SETFL, ::fcntl(master, F_GETFL) | O_NONBLOCK);
    // Hold the device side open in raw mode: with nobody holding it the controlling side reads
    // EIO, and before the driver sets raw mode the line discipline would echo the meter's bytes
    // back. The keeper never reads, so it takes no data from the driver.
    m_slaveKeeper = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slaveKeeper >= 0) {
        termios t{};
        if (::tcgetattr(m_slaveKeeper, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(m_slaveKeeper, TCSANOW, &t);
        }
    }
    m_master = master;
    m_path = name;
}

PseudoTerminal::~PseudoTerminal() {
    closeMaster();
}

long PseudoTerminal::write(std::string_view bytes) {
    if (m_master < 0) {
        return -1;
    }
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            break;  // queue full (EAGAIN) or nobody on the line
        }
    }
    return static_cast<long>(done);
}

bool PseudoTerminal::writeAll(std::string_view bytes, int timeoutMs) {
    int waited = 0;
    while (!bytes.empty()) {
        const long n = write(bytes);
        if (n < 0) {
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
        if (bytes.empty()) {
            break;
        }
        if (waited >= timeoutMs) {
            return false;
        }
        pollfd p{m_master, POLLOUT, 0};
        ::poll(&p, 1, 10);
        waited += 10;
    }
    return true;
}

void PseudoTerminal::closeMaster() {
    if (m_master >= 0) {
        ::close(m_master);
        m_master = -1;
    }
    if (m_slaveKeeper >= 0) {
        ::close(m_slaveKeeper);
        m_slaveKeeper = -1;
    }
}
