#include "transport/serial/comm_port_driver.h"

#include <array>
#include <chrono>
#include <thread>

std::uint32_t baudRateOf(TComPortBaudRate speed) {
    static constexpr std::array<std::uint32_t, 13> kRates = {
        110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200};
    return speed < kRates.size() ? kRates[speed] : 9600;
}

TCommPortDriver::TCommPortDriver(std::unique_ptr<SerialPortBackend> backend,
                                 std::unique_ptr<LoopTimer> timer, PortMap ports, TickSource ticks)
    : m_backend(std::move(backend)),
      m_timer(std::move(timer)),
      m_ports(std::move(ports)),
      m_ticks(std::move(ticks)),
      m_receiveBuffer(m_inBufSize) {}

TCommPortDriver::~TCommPortDriver() {
    // A wait ends silently here: whoever listens may be going too.
    if (m_wait) {
        m_wait->stop();
    }
    Disconnect();
}

bool TCommPortDriver::Connected() const {
    return m_open;
}

bool TCommPortDriver::Connect() {
    if (m_open) {
        return true;
    }
    if (!openPort(devicePath())) {
        return false;
    }
    endWait();
    return true;
}

bool TCommPortDriver::openPort(const std::string& path) {
    m_lastFailure.clear();
    if (!m_backend->open(path)) {
        m_lastFailure = m_backend->problem();
        return false;
    }
    m_open = true;
    ++m_openCount;
    ApplyPortSettings();
    // The port stays open whatever the device refused (its data may still be of use); the
    // caller can tell the user why nothing decodes.
    m_lastFailure = m_backend->problem();
    // Reads return at once with whatever is queued; writes have no time-out.
    m_backend->setTimeouts(CommTimeouts{1, 0, 1, 0, 0});
    m_timer->startPeriodic(m_pollingDelay, [this] { HandlePollTimer(); });
    return true;
}

void TCommPortDriver::Disconnect() {
    endWait();
    if (m_open) {
        closePort();
    }
}

void TCommPortDriver::endWait() {
    if (Waiting()) {
        m_wait->stop();
        if (m_onPortWaiting) {
            m_onPortWaiting(this, {});
        }
    }
}

bool TCommPortDriver::reopen(const std::string& path) {
    if (m_open || !openPort(path)) {
        return m_open;
    }
    endWait();
    return true;
}

void TCommPortDriver::closePort() {
    m_timer->stop();
    m_backend->close();
    m_open = false;
}

CommState TCommPortDriver::commState() const {
    CommState s;
    s.baudRate = baudRateOf(m_speed);
    s.binary = true;
    s.parityCheck = false;
    s.dtrControl = m_enableDtr ? 1 : 0;
    if (m_hw == hhRTSCTS) {
        s.outxCtsFlow = true;
        s.rtsControl = 2;
    }
    if (m_sw == shXONXOFF) {
        s.outX = true;
        s.inX = true;
    }
    s.xonLim = static_cast<std::uint16_t>(m_inBufSize >> 2);
    s.xoffLim = 1;
    s.byteSize = static_cast<std::uint8_t>(m_dataBits + 5);
    s.parity = m_parity;
    s.stopBits = m_stopBits;
    return s;
}

void TCommPortDriver::ApplyPortSettings() {
    if (!m_open) {
        return;
    }
    // The order is fixed: state, then purge, then queue sizes.
    m_backend->setState(commState());
    PurgeQueues(true, true);
    m_backend->setupQueues(m_inBufSize, m_outBufSize);
}

void TCommPortDriver::PurgeQueues(bool receive, bool transmit) {
    if (!m_open) {
        return;
    }
    const std::uint32_t flags = (transmit ? kPurgeTxAbort | kPurgeTxClear : 0u) |
                                (receive ? kPurgeRxAbort | kPurgeRxClear : 0u);
    m_backend->purge(flags);
}

std::uint16_t TCommPortDriver::OutputFreeSpace() {
    if (!m_open) {
        return 0xFFFF;
    }
    const long queued = m_backend->outputQueued();
    return static_cast<std::uint16_t>(m_outBufSize -
                                      static_cast<std::uint32_t>(queued < 0 ? 0 : queued));
}

std::uint32_t TCommPortDriver::tick() const {
    if (m_ticks) {
        return m_ticks();
    }
    using namespace std::chrono;
    return static_cast<std::uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

std::int32_t TCommPortDriver::Send(const void* data, std::int32_t size) {
    if (!m_open || size <= 0) {
        return 0;
    }
    auto* p = static_cast<const std::uint8_t*>(data);
    std::int32_t sent = 0;
    std::uint32_t last = tick();
    while (size > 0) {
        if (OutputFreeSpace() != 0) {
            const long written = m_backend->write(p, static_cast<std::size_t>(size));
            if (written < 0) {
                // The device failed (hung up): waiting for room would never end.
                return -sent;
            }
            if (written > 0) {
                sent += static_cast<std::int32_t>(written);
                size -= static_cast<std::int32_t>(written);
                p += written;
                last = tick();
                continue;
            }
            // No room after all: counts as waiting, so the time-out below applies.
        }
        if (static_cast<std::uint32_t>(tick() - last) > m_outputTimeout) {
            return -sent;
        }
        // Wait for the line to drain without spinning a core.
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return sent;
}

void TCommPortDriver::HandlePollTimer() {
    if (!m_open) {
        return;
    }
    const std::uint64_t polled = m_openCount;
    const ReadResult r = m_backend->read(m_receiveBuffer.data(), m_receiveBuffer.size());
    if (r.count > 0 && m_onReceiveData) {
        m_onReceiveData(this, m_receiveBuffer.data(), static_cast<std::int32_t>(r.count));
    }
    // The handler may have closed the port and opened it (or another) again: the hang-up was
    // seen on the old descriptor and must not close the new one.
    if (r.hungUp && m_open && m_openCount == polled) {
        // The device is gone: polling a dead descriptor would only spin, and holding it would
        // keep the re-plugged adapter from getting its old name back.
        closePort();
        if (m_wait) {
            // The same path is tried again: a re-plugged adapter gets its old name back (or
            // keeps its /dev/serial/by-id link), whichever node the path leads to.
            const std::string path = devicePath();
            m_wait->start(path, [this, path] { return reopen(path); });
            if (m_onPortWaiting) {
                m_onPortWaiting(this, path);
            }
        } else if (m_onPortLost) {
            m_onPortLost(this);
        }
    }
}

void TCommPortDriver::setComPort(TComPortNumber port) {
    if (!m_open && port <= pnCOM4) {
        m_comPort = port;
    }
}

void TCommPortDriver::setComPortSpeed(TComPortBaudRate speed) {
    m_speed = speed;
    ApplyPortSettings();
}

void TCommPortDriver::setComPortDataBits(TComPortDataBits bits) {
    m_dataBits = bits;
    ApplyPortSettings();
}

void TCommPortDriver::setComPortStopBits(TComPortStopBits bits) {
    m_stopBits = bits;
    ApplyPortSettings();
}

void TCommPortDriver::setComPortParity(TComPortParity parity) {
    m_parity = parity;
    ApplyPortSettings();
}

void TCommPortDriver::setComPortHwHandshaking(TComPortHwHandshaking hw) {
    m_hw = hw;
    ApplyPortSettings();
}

void TCommPortDriver::setComPortSwHandshaking(TComPortSwHandshaking sw) {
    m_sw = sw;
    ApplyPortSettings();
}

void TCommPortDriver::setComPortInBufSize(std::uint16_t size) {
    if (m_open) {
        return;
    }
    m_inBufSize = size;
    // A buffer of 0 bytes could never deliver anything; keep room for one byte.
    m_receiveBuffer.assign(size == 0 ? 1 : size, 0);
    m_receiveBuffer.shrink_to_fit();
}

void TCommPortDriver::setComPortPollingDelay(std::uint16_t delayMs) {
    if (delayMs == m_pollingDelay) {
        return;
    }
    if (m_open) {
        m_timer->stop();
        m_pollingDelay = delayMs;
        m_timer->startPeriodic(m_pollingDelay, [this] { HandlePollTimer(); });
    } else {
        m_pollingDelay = delayMs;
    }
}
