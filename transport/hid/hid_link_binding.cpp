#include "transport/hid/hid_link_binding.h"

#include <errno.h>

#include <cstring>

JvHidLinkDevice::JvHidLinkDevice(TJvHidDevicePtr device, ReportTap tap)
    : m_owned(std::move(device)), m_device(m_owned.get()), m_tap(std::move(tap)) {}

JvHidLinkDevice::JvHidLinkDevice(TJvHidDevice& device) : m_device(&device) {}

JvHidLinkDevice::~JvHidLinkDevice() {
    if (m_owned) {
        // The link's handler belongs to this check-out: the fresh device the controller keeps in
        // its place must not carry it into the next check-out.
        m_owned->SetDataHandler(nullptr);
        m_owned.reset();
    }
}

void JvHidLinkDevice::setDataHandler(DataHandler handler) {
    if (!handler) {
        m_device->SetDataHandler(nullptr);
        return;
    }
    m_device->SetDataHandler(
        [tap = m_tap, handler = std::move(handler)](TJvHidDevice&, std::uint8_t reportId,
                                                    const std::uint8_t* data, std::uint16_t size) {
            // Copies: the handler may clear itself (and the device) from inside.
            const ReportTap t = tap;
            const DataHandler h = handler;
            if (t) {
                t(reportId, data, size);
            }
            h(reportId, data, size);
        });
}

// The link's controller side, served by the device controller.
class HidCableBinding::Controller final : public HidLinkController {
public:
    explicit Controller(HidCableBinding& binding) : m_binding(binding) {}
    void enumerateDevices() override { m_binding.m_controller.EnumerateDevices(); }
    std::unique_ptr<HidLinkDevice> checkOutAt(int index) override {
        TJvHidDevicePtr device;
        if (!m_binding.m_controller.CheckOutByIndex(device, index)) {
            return nullptr;
        }
        return std::make_unique<JvHidLinkDevice>(
            std::move(device),
            [&binding = m_binding](std::uint8_t id, const std::uint8_t* data, std::size_t size) {
                if (binding.onReport) {
                    binding.onReport(id, data, size);
                }
            });
    }

private:
    HidCableBinding& m_binding;
};

HidCableBinding::HidCableBinding(TJvHidDeviceController& controller, FrameDecoder& decoder,
                                 bool hidHandler)
    : m_controller(controller), m_adapter(std::make_unique<Controller>(*this)) {
    m_link = std::make_unique<HidCableLink>(*m_adapter, decoder, hidHandler);
}

HidCableBinding::~HidCableBinding() {
    m_retry.reset();  // its tick reaches the controller and the link
    if (m_bound) {
        m_controller.SetOnArrival(nullptr);
        m_controller.SetOnEnumerate(nullptr);
        m_controller.SetOnRemoval(nullptr);
        m_controller.SetOnDeviceDataError(nullptr);
    }
    // The link releases its devices (checked in to the controller) before the adapter goes.
    m_link.reset();
    if (m_bound) {
        // Cleared last: clearing runs one more pass, which must find no handler of ours.
        m_controller.SetOnDeviceChange(nullptr);
    }
}

void HidCableBinding::bind() {
    if (m_bound) {
        return;
    }
    m_bound = true;
    m_controller.SetOnArrival(TJvHidPlugEvent(this, &HidCableBinding::HidCtlArrival));
    m_controller.SetOnEnumerate(TJvHidEnumerateEvent(this, &HidCableBinding::HidCtlEnumerate));
    m_controller.SetOnDeviceChange(
        TJvHidDeviceChangeEvent(this, &HidCableBinding::HidCtlDeviceChange));
    m_controller.SetOnDeviceDataError(
        TJvHidDataErrorEvent(this, &HidCableBinding::HidCtlDeviceDataError));
    m_controller.SetOnRemoval(TJvHidPlugEvent(this, &HidCableBinding::HidCtlRemoval));
}

void HidCableBinding::setReconnect(bool on, std::unique_ptr<LoopTimer> retryTimer) {
    m_retry = std::move(retryTimer);
    m_link->setReconnect(on && m_retry != nullptr);
    m_link->onWaitingFor = [this](const std::string& device) {
        if (m_retry) {
            if (device.empty()) {
                m_retry->stop();
            } else if (!m_retry->isActive()) {
                m_retry->startPeriodic(kRetryMs, [this] { retry(); });
            }
        }
        if (onWaitingFor) {
            onWaitingFor(device);
        }
    };
}

void HidCableBinding::retry() {
    // Without notices of the system nothing else tells the controller that the cable is back.
    // A pass that lists it again reads it (HidCtlDeviceChange), which ends the waiting.
    if (!m_controller.HotPlugActive()) {
        m_controller.DeviceChange();
    }
    // Still waiting: the cable may be listed but was not readable when the pass ran.
    if (m_link->waiting()) {
        m_link->retryCable();
    }
}

TJvHidDevice* HidCableBinding::jvDevice(const HidCableLink::Entry& entry) {
    const auto* device = dynamic_cast<const JvHidLinkDevice*>(entry.device.get());
    return device != nullptr ? &device->device() : nullptr;
}

void HidCableBinding::HidCtlArrival(TJvHidDevice& HidDev) {
    JvHidLinkDevice view(HidDev);
    m_link->HidCtlArrival(view);
}

bool HidCableBinding::HidCtlEnumerate(TJvHidDevice& HidDev, int Idx) {
    JvHidLinkDevice view(HidDev);
    return m_link->HidCtlEnumerate(view, Idx);
}

void HidCableBinding::HidCtlDeviceChange(TJvHidDeviceController&) {
    m_link->HidCtlDeviceChange();
}

void HidCableBinding::HidCtlDeviceDataError(TJvHidDevice& HidDev, std::uint32_t Error) {
    m_link->HidCtlDeviceDataError(Error);
    // A reader that stopped for good on the device the link reads: the device went away.
    if (!HidDev.Reading()) {
        const auto* reading = dynamic_cast<const JvHidLinkDevice*>(m_link->readingDevice());
        if (reading != nullptr && &reading->device() == &HidDev) {
            m_link->readingLost();
        }
    }
    if (onDataError) {
        onDataError(HidDev, Error);
    }
}

void HidCableBinding::HidCtlRemoval(TJvHidDevice& HidDev) {
    // A removed device still holds the texts it was listed with.
    JvHidLinkDevice view(HidDev);
    m_link->HidCtlRemoval(view);
}

std::string hidAccessProblemText(const std::string& node, int error) {
    if (error == EACCES || error == EPERM) {
        return "permission denied: install the udev rules (see README)";
    }
    return "cannot open " + node + " for reading and writing: " + std::strerror(error);
}
