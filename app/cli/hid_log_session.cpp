#include "app/cli/hid_log_session.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <utility>
#include <vector>

#include "transport/hid_device_caption.h"
#include "transport/hid_link_binding.h"
#include "transport/jv_hid_controller.h"
#include "transport/posix/sysfs_hid_backend.h"

namespace {

constexpr unsigned kConTimerMs = 100;

// Why the node does not open for reading and writing, with the node named.
std::string accessProblem(const std::string& node) {
    const int fd = ::open(node.c_str(), O_RDWR | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0) {
        ::close(fd);
        return "cannot read " + node;
    }
    const int error = errno;
    const std::string text = hidAccessProblemText(node, error);
    return error == EACCES || error == EPERM ? node + ": " + text : text;
}

}  // namespace

HidLogSession::HidLogSession(const DeviceRoots& roots)
    : m_backend(std::make_unique<SysfsHidBackend>(roots)),
      m_controller(std::make_unique<TJvHidDeviceController>(*m_backend, m_loop)) {
    m_marker.indicator = &m_indicator;
}

HidLogSession::~HidLogSession() {
    m_conTimer.reset();
    m_binding.reset();
    m_controller.reset();
}

std::optional<std::string> HidLogSession::findCable() {
    std::vector<std::string> captions;
    for (int i = 0; i < m_controller->Count(); ++i) {
        const TJvHidDevice& d = m_controller->Device(i);
        captions.push_back(DeviceCaption(d.QueryProductText(), d.QuerySerialText(),
                                         d.Attributes().VendorID, d.Attributes().ProductID));
    }
    const int selected = selectCableEntry(captions);
    if (selected < 0) {
        return std::string(HidCableLink::kNotConnectedText);
    }
    m_node = m_controller->Device(selected).PnPInfo().InterfacePath;
    // Access is tried on a checked-out device, as the link tries it.
    TJvHidDevicePtr device;
    if (!m_controller->CheckOutByIndex(device, selected)) {
        return "cannot use " + m_node;
    }
    const bool access = device->ReadWriteAccess();
    device.reset();
    if (!access) {
        return accessProblem(m_node);
    }
    return std::nullopt;
}

bool HidLogSession::start(FrameDecoder& decoder) {
    m_binding = std::make_unique<HidCableBinding>(*m_controller, decoder, true);
    HidCableLink& link = m_binding->link();
    link.informationMessage = [this](std::string_view text) { stop(std::string(text)); };
    // Released by the idle check (its message follows at once and stops the session) or by a
    // device-change pass (settled after the round: see run()).
    link.releaseUsbCon = [this] { m_released = true; };
    m_binding->onReport = [this](std::uint8_t id, const std::uint8_t* data, std::size_t size) {
        if (onReport) {
            onReport(id, data, size);
        }
    };
    m_binding->onDataError = [this](TJvHidDevice& device, std::uint32_t) {
        if (onReadError && !m_binding->link().history().empty()) {
            onReadError(m_binding->link().history().last());
        }
        if (!device.Reading()) {
            stop("the HID cable " + device.PnPInfo().InterfacePath +
                 " went away (device removed?)");
        }
    };
    m_binding->bind();  // lists the devices and selects the cable
    link.USBConClick(true);
    if (link.readingDevice() == nullptr) {
        if (m_stopReason.empty()) {
            m_stopReason = link.selectedIndex() < 0 ? std::string(HidCableLink::kNotConnectedText)
                                                    : accessProblem(m_node);
        }
        return false;
    }
    m_stopReason.clear();
    m_stopped = false;
    m_indicator.addFallBackCheck([this] { m_binding->link().cableIdleCheck(); });
    m_conTimer = m_loop.createTimer();
    m_conTimer->start(kConTimerMs, [this] { tick(); });
    return true;
}

void HidLogSession::tick() {
    m_conTimer->start(kConTimerMs, [this] { tick(); });
    m_indicator.tick();
}

void HidLogSession::stop(std::string reason) {
    if (!m_stopped) {
        m_stopped = true;
        m_stopReason = std::move(reason);
    }
    m_loop.requestStop();
}

void HidLogSession::run(std::chrono::steady_clock::time_point deadline,
                        const std::function<void()>& afterRound) {
    using Clock = std::chrono::steady_clock;
    while (!m_stopped) {
        const auto now = Clock::now();
        if (now >= deadline) {
            return;
        }
        long long wait = 100;  // a stop request from a signal handler is seen within this
        if (deadline != Clock::time_point::max()) {
            wait = std::min<long long>(
                wait, std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        }
        m_loop.runOnce(static_cast<int>(wait));
        if (m_released && !m_stopped) {
            // A device-change pass (a mouse plugged in) stopped reading. Unlike the window,
            // nobody is there to press "HID Connect" again: the cable, still listed, is read on.
            m_released = false;
            HidCableLink& link = m_binding->link();
            link.USBConClick(true);
            if (link.readingDevice() == nullptr) {
                stop(m_stopReason.empty()
                         ? "the HID cable " + m_node + " went away (device removed?)"
                         : m_stopReason);
            } else if (onResumed) {
                onResumed();
            }
        }
        if (afterRound) {
            afterRound();
        }
        if (m_stopAsked.load(std::memory_order_relaxed)) {
            return;
        }
    }
}
