#pragma once

#include <QObject>
#include <QPointer>

class MeterSession;
class QAbstractButton;
class UsbXpressLink;

// The window's side of the USB bridge link: the session's link (Timer1 on the window's event
// loop), behind "USB Connect " (the window binds its group member to USBClick). The button's
// tool tip says what
// the last press found ("no USB bridge found", "2 USB bridges found", the device, or the device
// and the system's reason), so a user learns why nothing arrives without a box.
class UsbBridgeLink : public QObject {
    Q_OBJECT
public:
    // The button (not owned) shows the tool tip; the session must outlive the link. The bridge
    // is looked for under the session's roots at the first press. Nothing is opened here.
    UsbBridgeLink(QAbstractButton* button, MeterSession& session, QObject* parent = nullptr);
    ~UsbBridgeLink() override;

    // The session's link, built at the first call.
    UsbXpressLink& link();

    // USBClick: start (down) or end (up) the link.
    void USBClick(bool down);
    // The exit: Timer1 stops.
    void stopTimer();

private:
    void showStatus();

    MeterSession& m_session;
    UsbXpressLink* m_link = nullptr;
    QPointer<QAbstractButton> m_button;
};
