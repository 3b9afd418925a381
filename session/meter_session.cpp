#include "session/meter_session.h"

#include <cerrno>

#include "transport/device_notices.h"
#include "transport/hid/hid_backend.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/loop/device_wait.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/serial/serial_connection_control.h"
#include "transport/serial/serial_port_backend.h"
#include "transport/usb_bridge/usb_xpress.h"
#include "transport/usb_bridge/usb_xpress_link.h"

namespace {

// The connection indicator's tick.
constexpr unsigned kIndicatorTickMs = 100;

}  // namespace

// Marks the session's own indicator at every decoded frame.
class MeterSession::IndicatorMark final : public ReadingConsumer {
public:
    explicit IndicatorMark(ConnectionIndicator& indicator) : m_indicator(indicator) {}
    void frameMark() override { m_indicator.frameMark(); }

private:
    ConnectionIndicator& m_indicator;
};

MeterSession::MeterSession(EventLoop& loop, Clock& clock, Options options)
    : m_loop(loop), m_options(std::move(options)) {
    m_pipeline = std::make_unique<ReadingPipeline>(m_consumers, clock, m_options.decimalSeparator,
                                                   m_options.handler);
    if (m_options.recorder != nullptr) {
        m_recorder = m_options.recorder;
    } else {
        m_ownTable = std::make_unique<TableStore>();
        m_ownRecorder = std::make_unique<Recorder>(*m_ownTable, clock);
        m_recorder = m_ownRecorder.get();
    }
    m_table = &m_recorder->table();
    if (m_options.indicator != nullptr) {
        m_indicator = m_options.indicator;
    } else {
        // Headless, the session keeps an indicator of its own: the HID cable's idle check rides
        // on it (its ticks start with the cable link).
        m_ownIndicator = std::make_unique<ConnectionIndicator>();
        m_indicator = m_ownIndicator.get();
        m_indicatorMark = std::make_unique<IndicatorMark>(*m_indicator);
        m_consumers.add(*m_indicatorMark);
    }

    // COMM2 is stored with port COM4 and 7 data bits; the profile or the caller chooses the port.
    m_serial = std::make_unique<TCommPortDriver>(createSerialPortBackend(), m_loop.createTimer(),
                                                 m_options.ports);
    m_serial->setComPort(pnCOM4);
    m_serial->setComPortDataBits(db7BITS);
    m_serialControl = std::make_unique<SerialConnectionControl>(*m_serial);
    // A port that hangs up is waited for and opened again when its path is back; the frame the
    // unplug cut is dropped, as any broken frame is.
    if (m_options.reconnect) {
        m_serial->setPortWait(std::make_unique<DeviceWait>(m_loop.createTimer()));
    }
    m_serial->setOnPortWaiting([this](TCommPortDriver*, const std::string& device) {
        if (!device.empty()) {
            m_pipeline->dropPendingFrame();
            listenForDevices();
        }
        waitingFor(device);
    });
    if (m_options.handler != ReceiveHandler::None) {
        m_serial->setOnReceiveData(
            [this](TCommPortDriver*, const std::uint8_t* data, std::int32_t size) {
                linkBytes(data, static_cast<std::size_t>(size));
                m_pipeline->receive(data, static_cast<std::size_t>(size));
                if (afterInput) {
                    afterInput();
                }
            });
    }
}

MeterSession::~MeterSession() {
    if (m_idleCheckId != 0) {
        m_indicator->removeFallBackCheck(m_idleCheckId);
    }
    // The links stop before the pipeline and the recording they feed go.
    m_noticesWatch.reset();
    m_hidBinding.reset();
    m_hidController.reset();
    m_usb.reset();
    m_serialControl.reset();
    m_serial.reset();
}

void MeterSession::listenForDevices() {
    // Made once, at the first wait: a session whose devices never go away opens no socket.
    if (m_noticesTried) {
        return;
    }
    m_noticesTried = true;
    m_notices = m_options.deviceNotices ? m_options.deviceNotices() : createDeviceNotices();
    if (!m_notices) {
        return;  // the retries alone find the devices again
    }
    // A device plugged in: the waiting links try at once instead of at their next retry.
    m_noticesWatch = m_loop.watchReadable(m_notices->fd(), [this] {
        if (!m_notices->drain()) {
            return;
        }
        m_serial->retryNow();
        if (m_usb) {
            m_usb->retryNow();
        }
    });
}

void MeterSession::linkBytes(const std::uint8_t* data, std::size_t size) {
    if (onLinkBytes) {
        onLinkBytes(data, size);
    }
}

UsbXpressLink& MeterSession::usbBridge() {
    if (!m_usb) {
        m_usb = std::make_unique<UsbXpressLink>(createUsbXpress([this] { return m_options.roots; }),
                                                m_loop.createTimer(), decoder());
        // A bridge that goes away is waited for and opened again when the same USB device is
        // back.
        if (m_options.reconnect) {
            m_usb->setDeviceWait(std::make_unique<DeviceWait>(m_loop.createTimer()));
        }
        m_usb->onWaitingFor = [this](const std::string& device) {
            if (!device.empty()) {
                listenForDevices();
            }
            waitingFor(device);
        };
        m_usb->onByteTaken = [this](std::uint8_t byte) {
            linkBytes(&byte, 1);
            if (afterInput) {
                afterInput();
            }
        };
    }
    return *m_usb;
}

HidCableBinding* MeterSession::hid() {
    if (m_hidBinding || !m_hidProblem.empty()) {
        return m_hidBinding.get();
    }
    m_hidBackend = createHidBackend(m_options.roots);
    try {
        m_hidController = std::make_unique<TJvHidDeviceController>(*m_hidBackend, m_loop);
    } catch (const EControllerError& e) {
        m_hidProblem = e.what();
        m_hidBackend.reset();
        return nullptr;
    }
    m_hidBinding =
        std::make_unique<HidCableBinding>(*m_hidController, decoder(), m_options.hidHandler);
    HidCableLink& cable = m_hidBinding->link();
    cable.post = [this](std::function<void()> task) { m_loop.post(std::move(task)); };
    // A cable lost while "HID Connect" is down is waited for, hot-plug or a retry every second
    // telling when it is back; the window and the logger show what is awaited.
    m_hidBinding->setReconnect(m_options.reconnect, m_loop.createTimer());
    m_hidBinding->onWaitingFor = [this](const std::string& device) { waitingFor(device); };
    if (m_ownIndicator) {
        m_indicatorTimer = m_loop.createTimer();
        m_indicatorTimer->startPeriodic(kIndicatorTickMs, [this] { m_indicator->tick(); });
    }
    m_idleCheckId = m_indicator->addFallBackCheck([this] {
        if (m_hidBinding) {
            m_hidBinding->link().cableIdleCheck();
        }
    });
    return m_hidBinding.get();
}

std::string MeterSession::hidAccessProblem(const std::string& node) {
    if (!m_hidBackend) {
        return "cannot use " + node;
    }
    const int fd = m_hidBackend->open(node, true);
    if (fd >= 0) {
        m_hidBackend->close(fd);
        return {};
    }
    const int error = errno;
    const std::string text = hidAccessProblemText(node, error);
    return error == EACCES || error == EPERM ? node + ": " + text : text;
}
