#include "transport/hid/ui/hid_link.h"

#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include "session/meter_session.h"
#include "transport/hid/hid_link_binding.h"
#include "transport/hid/jv_hid_controller.h"
#include "transport/hid/ui/hid_devices_window.h"

HidLink::HidLink(MeterSession& session, QWidget* window)
    : QObject(window), m_session(session), m_window(window) {}

HidLink::~HidLink() {
    delete m_devices.data();  // its views read the link
    if (m_binding != nullptr) {
        // The session's link outlives this object: nothing of it may call back here.
        HidCableLink& cable = m_binding->link();
        cable.releaseUsbCon = nullptr;
        cable.releaseReadBtn = nullptr;
        cable.informationMessage = nullptr;
        cable.onChanged = nullptr;
    }
}

bool HidLink::start(const DeviceRoots& roots) {
    if (m_binding != nullptr || !m_startProblem.isEmpty()) {
        return started();
    }
    m_session.setRoots(roots);
    m_binding = m_session.hid();
    if (m_binding == nullptr) {
        m_startProblem = QString::fromUtf8(m_session.hidProblem());
        ensureDevicesWindow();
        return false;
    }
    HidCableLink& cable = m_binding->link();
    cable.releaseUsbCon = [this] { emit usbConReleased(); };
    cable.releaseReadBtn = [this] { emit readBtnReleased(); };
    cable.informationMessage = [this](std::string_view text) {
        informationMessage(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    };
    cable.onChanged = [this] { emit changed(); };
    // Binding OnDeviceChange lists the devices and selects the cable.
    m_binding->bind();
    ensureDevicesWindow();
    return true;
}

HidCableLink* HidLink::link() const {
    return m_binding ? &m_binding->link() : nullptr;
}

bool HidLink::readBtnServes() const {
    return !m_session.options().hidHandler;
}

TJvHidDeviceController* HidLink::controller() const {
    return m_session.hidController();
}

bool HidLink::hotPlugActive() const {
    TJvHidDeviceController* c = controller();
    return c != nullptr && c->HotPlugActive();
}

HidDevicesWindow* HidLink::ensureDevicesWindow() {
    if (!m_devices) {
        m_devices = new HidDevicesWindow(*this, m_window);
        connect(m_devices, &HidDevicesWindow::deviceCheckRequested, this,
                &HidLink::deviceCheckRequested);
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
        emit usbConReleased();
        return;
    }
    m_binding->link().USBConClick(down);
}

void HidLink::ReadBtnClick(bool down) {
    if (!m_binding) {
        emit readBtnReleased();
        return;
    }
    m_binding->link().ReadBtnClick(down);
}

void HidLink::Rescan() {
    if (TJvHidDeviceController* c = controller()) {
        c->DeviceChange();
    }
}

void HidLink::informationMessage(const QString& text) {
    // The program's name as caption, as on its other boxes that have no caption of their own.
    QMessageBox box(QMessageBox::Information,
                    m_window != nullptr ? m_window->window()->windowTitle() : QString(), text,
                    QMessageBox::Ok, m_window);
    box.setObjectName(QStringLiteral("hidMessage"));
    box.exec();
}
