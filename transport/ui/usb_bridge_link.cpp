#include "transport/ui/usb_bridge_link.h"

#include <QAbstractButton>

#include "transport/posix/usb_bridge_tty.h"
#include "transport/toggle_group.h"
#include "transport/ui/qt_poll_timer.h"

UsbBridgeLink::UsbBridgeLink(ExclusiveToggleGroup& group, int usbMember, QAbstractButton* button,
                             FrameDecoder& decoder, std::function<DeviceRoots()> roots,
                             QObject* parent)
    : QObject(parent), m_roots(std::move(roots)), m_button(button) {
    auto tty = std::make_unique<UsbBridgeTty>();
    m_tty = tty.get();
    m_link =
        std::make_unique<UsbXpressLink>(std::move(tty), std::make_unique<QtPollTimer>(), decoder);
    m_link->onStatusChanged = [this] { showStatus(); };
    group.setHandler(usbMember, [this](bool down) { USBClick(down); });
}

UsbBridgeLink::~UsbBridgeLink() {
    m_link->onStatusChanged = nullptr;
}

void UsbBridgeLink::USBClick(bool down) {
    if (down && m_roots) {
        m_tty->setRoots(m_roots());
    }
    m_link->USBClick(down);
}

void UsbBridgeLink::showStatus() {
    if (m_button) {
        m_button->setToolTip(QString::fromLocal8Bit(m_link->statusText()));
    }
}
