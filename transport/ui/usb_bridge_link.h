#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <memory>

#include "transport/device_roots.h"
#include "transport/usb_xpress_link.h"

class ExclusiveToggleGroup;
class QAbstractButton;
class UsbBridgeTty;

// The window's USB bridge link: the link over the bridge's tty, Timer1 a QTimer on the UI
// thread, bound to "USB Connect "'s member of the toggle group. The button's tool tip says what
// the last press found ("no USB bridge found", "2 USB bridges found", the device, or the device
// and the system's reason), so a user learns why nothing arrives without a box.
class UsbBridgeLink : public QObject {
    Q_OBJECT
public:
    // roots is asked at every press, so --sysfs-root/--dev-root set after construction count.
    // The button (not owned) shows the tool tip. Nothing is opened here.
    UsbBridgeLink(ExclusiveToggleGroup& group, int usbMember, QAbstractButton* button,
                  FrameDecoder& decoder, std::function<DeviceRoots()> roots,
                  QObject* parent = nullptr);
    ~UsbBridgeLink() override;

    UsbXpressLink& link() { return *m_link; }

    // USBClick: start (down) or end (up) the link.
    void USBClick(bool down);
    // The exit: Timer1 stops.
    void stopTimer() { m_link->stopTimer(); }

private:
    void showStatus();

    UsbBridgeTty* m_tty = nullptr;  // owned by the link
    std::unique_ptr<UsbXpressLink> m_link;
    std::function<DeviceRoots()> m_roots;
    QPointer<QAbstractButton> m_button;
};
