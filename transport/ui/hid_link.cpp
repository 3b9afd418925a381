#include "transport/ui/hid_link.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "lcd/connection_indicator.h"
#include "transport/hid_link_binding.h"
#include "transport/jv_hid_controller.h"
#include "transport/posix/sysfs_hid_backend.h"
#include "transport/toggle_group.h"
#include "transport/ui/hid_devices_window.h"
#include "transport/ui/qt_descriptor_event_loop.h"

HidLink::HidLink(ExclusiveToggleGroup& group, int usbConMember, int readBtnMember,
                 ConnectionIndicator& indicator, FrameDecoder& decoder, bool hidHandler,
                 QWidget* window)
    : QObject(window),
      m_group(group),
      m_usbConMember(usbConMember),
      m_readBtnMember(readBtnMember),
      m_indicator(indicator),
      m_decoder(decoder),
      m_hidHandler(hidHandler),
      m_window(window) {
    m_group.setHandler(m_usbConMember, [this](bool down) { USBConClick(down); });
    m_group.setHandler(m_readBtnMember, [this](bool down) { ReadBtnClick(down); });
}

HidLink::~HidLink() {
    if (m_idleCheckId != 0) {
        m_indicator.removeFallBackCheck(m_idleCheckId);
    }
    delete m_devices;  // its views read the link
    m_binding.reset();
    m_controller.reset();
}

bool HidLink::start(const DeviceRoots& roots) {
    if (m_controller || !m_startProblem.isEmpty()) {
        return started();
    }
    m_backend = std::make_unique<SysfsHidBackend>(roots);
    m_loop = std::make_unique<QtDescriptorEventLoop>();
    try {
        m_controller = std::make_unique<TJvHidDeviceController>(*m_backend, *m_loop);
    } catch (const EControllerError& e) {
        m_startProblem = QString::fromUtf8(e.what());
        ensureDevicesWindow();
        return false;
    }
    m_binding = std::make_unique<HidCableBinding>(*m_controller, m_decoder, m_hidHandler);
    HidCableLink& cable = m_binding->link();
    cable.releaseUsbCon = [this] { m_group.setDown(m_usbConMember, false); };
    cable.releaseReadBtn = [this] { m_group.setDown(m_readBtnMember, false); };
    cable.informationMessage = [this](std::string_view text) {
        informationMessage(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    };
    cable.post = [this](std::function<void()> task) {
        QTimer::singleShot(0, this, std::move(task));
    };
    cable.onChanged = [this] { emit changed(); };
    m_idleCheckId = m_indicator.addFallBackCheck([this] {
        if (m_binding) {
            m_binding->link().cableIdleCheck();
        }
    });
    // Binding OnDeviceChange lists the devices and selects the cable.
    m_binding->bind();
    ensureDevicesWindow();
    return true;
}

HidCableLink* HidLink::link() const {
    return m_binding ? &m_binding->link() : nullptr;
}

bool HidLink::hotPlugActive() const {
    return m_controller && m_controller->HotPlugActive();
}

HidDevicesWindow* HidLink::ensureDevicesWindow() {
    if (!m_devices) {
        m_devices = new HidDevicesWindow(*this, m_window);
    }
    return m_devices;
}

HidDevicesWindow* HidLink::showDevicesWindow() {
    HidDevicesWindow* w = ensureDevicesWindow();
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void HidLink::USBConClick(bool down) {
    if (!m_binding) {
        m_group.setDown(m_usbConMember, false);
        return;
    }
    m_binding->link().USBConClick(down);
}

void HidLink::ReadBtnClick(bool down) {
    if (!m_binding) {
        m_group.setDown(m_readBtnMember, false);
        return;
    }
    m_binding->link().ReadBtnClick(down);
}

void HidLink::Rescan() {
    if (m_controller) {
        m_controller->DeviceChange();
    }
}

void HidLink::informationMessage(const QString& text) {
    // The program's name as caption, as on its other boxes.
    QMessageBox box(QMessageBox::Information,
                    m_window != nullptr ? m_window->window()->windowTitle() : QString(), text,
                    QMessageBox::Ok, m_window);
    box.setObjectName(QStringLiteral("hidMessage"));
    box.exec();
}
