#include "transport/usb_bridge/usb_xpress_link.h"

#include <cstring>

UsbXpressLink::UsbXpressLink(std::unique_ptr<UsbXpress> si, std::unique_ptr<LoopTimer> timer,
                             FrameDecoder& decoder)
    : m_si(std::move(si)), m_timer(std::move(timer)), m_assembler(std::in_place, decoder) {}

UsbXpressLink::UsbXpressLink(std::unique_ptr<UsbXpress> si, std::unique_ptr<LoopTimer> timer)
    : m_si(std::move(si)), m_timer(std::move(timer)) {}

UsbXpressLink::~UsbXpressLink() {
    // A wait ends silently here: whoever listens may be going too.
    if (m_wait) {
        m_wait->stop();
    }
    m_timer->stop();
    closeHeld();
}

void UsbXpressLink::USBClick(bool down) {
    if (down) {
        start();
    } else {
        end();
    }
}

void UsbXpressLink::start() {
    endWait();  // a new start looks for whatever bridge is attached now
    m_timer->startPeriodic(kTimer1IntervalMs, [this] { Timer1Timer(); });
    usb_dllClick();
}

void UsbXpressLink::end() {
    endWait();
    m_timer->stop();
    // Whatever is held is closed, also when a later start found no device to attempt.
    closeHeld();
    setStatus({});
}

void UsbXpressLink::closeHeld() {
    if (m_handle != 0) {
        m_si->SI_Close(m_handle);
        m_handle = 0;
        m_heldPath.clear();
    }
}

void UsbXpressLink::usb_dllClick() {
    m_deviceCount = 0;
    m_opened = false;
    m_si->SI_GetNumDevices(m_deviceCount);
    if (m_deviceCount != 1) {
        if (m_handle == 0) {
            setStatus(m_deviceCount == 0 ? std::string("no USB bridge found")
                                         : std::to_string(m_deviceCount) + " USB bridges found");
        }
        return;
    }
    SI_HANDLE opened = 0;
    const SI_STATUS status = m_si->SI_Open(0, opened);
    m_opened = true;
    if (status != SI_SUCCESS) {
        // The device the link holds already is refused a second open; the held handle stays
        // and keeps reading, so nothing the meter sends is lost.
        if (m_handle == 0) {
            const SiOpenReport report = m_si->lastOpen();
            std::string text = report.path.empty() ? std::string("the USB bridge") : report.path;
            if (report.error != 0) {
                text += ": ";
                text += std::strerror(report.error);
            } else {
                text += ": cannot be opened";
            }
            setStatus(std::move(text));
        }
        return;
    }
    // A fresh open while a handle is held: the held device has gone (its name was free to be
    // opened again, or another bridge took its place), so its handle is dead and is released.
    closeHeld();
    m_identity = m_si->deviceIdentity(0);
    configureOpened(opened);
}

void UsbXpressLink::configureOpened(SI_HANDLE opened) {
    m_handle = opened;
    m_heldPath = m_si->lastOpen().path;
    m_lost = false;
    if (m_si->SI_SetBaudRate(m_handle, kBaudRate) == SI_SUCCESS) {
        m_si->SI_SetTimeouts(kTimeoutMs, kTimeoutMs);
        setStatus(m_heldPath);
    } else {
        setStatus(m_heldPath + ": the speed could not be set");
    }
}

void UsbXpressLink::startWaiting() {
    const std::string path = m_heldPath;
    // The dead handle goes (the node may come back under its old name, which a held handle
    // would keep busy) and Timer1 rests: there is nothing to read until the bridge is back.
    closeHeld();
    m_timer->stop();
    // The frame the unplug cut is dropped; the next one is stored from its first byte.
    if (m_assembler) {
        m_assembler->dropFrame();
    }
    m_wait->start(path, [this] { return reopenSame(); });
    if (onWaitingFor) {
        onWaitingFor(path);
    }
}

bool UsbXpressLink::reopenSame() {
    // The same USB device, wherever the kernel lists it now (another ttyUSB number, beside
    // other bridges).
    std::uint32_t count = 0;
    m_si->SI_GetNumDevices(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::optional<UsbDeviceIdentity> id = m_si->deviceIdentity(i);
        if (!id || !id->sameDevice(*m_identity)) {
            continue;
        }
        SI_HANDLE opened = 0;
        if (m_si->SI_Open(i, opened) != SI_SUCCESS) {
            return false;  // back but not ready (its node not there yet, or busy): next second
        }
        m_opened = true;
        configureOpened(opened);
        m_timer->startPeriodic(kTimer1IntervalMs, [this] { Timer1Timer(); });
        endWait();
        return true;
    }
    return false;
}

void UsbXpressLink::endWait() {
    if (waiting()) {
        m_wait->stop();
        if (onWaitingFor) {
            onWaitingFor({});
        }
    }
}

void UsbXpressLink::Timer1Timer() {
    if (m_handle == 0 || !m_assembler) {
        return;  // nothing open: the read would fail and change nothing
    }
    std::uint8_t byte = 0;
    std::uint32_t bytesRead = 0;
    const SI_STATUS status = m_si->SI_Read(m_handle, &byte, 1, bytesRead);
    if (status != SI_SUCCESS || bytesRead != 1) {
        if (status == SI_DEVICE_IO_FAILED && !m_lost) {
            m_lost = true;
            setStatus(m_heldPath + ": the USB bridge went away");
            if (m_wait && m_identity) {
                startWaiting();
                return;
            }
            if (onDeviceLost) {
                onDeviceLost();
            }
        }
        return;
    }
    if (m_assembler->byteRead(byte)) {
        m_si->SI_FlushBuffers(m_handle, true, true);
    }
    if (onByteTaken) {
        onByteTaken(byte);
    }
}

void UsbXpressLink::setStatus(std::string text) {
    if (text == m_status) {
        return;
    }
    m_status = std::move(text);
    if (onStatusChanged) {
        onStatusChanged();
    }
}
