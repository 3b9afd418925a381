#include "transport/usb_bridge/ui/usb_bridge_link.h"

#include <QAbstractButton>

#include "session/meter_session.h"
#include "transport/usb_bridge/usb_xpress_link.h"

UsbBridgeLink::UsbBridgeLink(QAbstractButton* button, MeterSession& session, QObject* parent)
    : QObject(parent), m_session(session), m_button(button) {}

UsbBridgeLink::~UsbBridgeLink() {
    if (m_link != nullptr) {
        m_link->onStatusChanged = nullptr;
    }
}

UsbXpressLink& UsbBridgeLink::link() {
    if (m_link == nullptr) {
        m_link = &m_session.usbBridge();
        m_link->onStatusChanged = [this] { showStatus(); };
    }
    return *m_link;
}

void UsbBridgeLink::USBClick(bool down) {
    if (down || m_link != nullptr) {
        link().USBClick(down);
    }
}

void UsbBridgeLink::stopTimer() {
    if (m_link != nullptr) {
        m_link->stopTimer();
    }
}

void UsbBridgeLink::showStatus() {
    if (m_button) {
        m_button->setToolTip(QString::fromLocal8Bit(m_link->statusText()));
    }
}
