#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "transport/device_roots.h"

class HidCableBinding;
class HidCableLink;
class HidDevicesWindow;
class MeterSession;
class QAbstractButton;
class QWidget;
class TJvHidDeviceController;

// The window's side of the HID cable link: the session's device controller HidCtl and the cable
// link bound to it, "HID Connect" (USBCon) and ReadBtn as members of the top bar's exclusive
// group (the window binds them to USBConClick and ReadBtnClick and releases them on the signals
// below), the link's boxes, and the "HID devices" window. Nothing is opened before start().
class HidLink : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kToolTip = "USB HID cable (USB to Serial)";

    // The session and the window (parent of the boxes) must outlive the link.
    HidLink(MeterSession& session, QWidget* window);
    ~HidLink() override;

    // Creates the session's HidCtl on roots and binds its events: the list is filled, every device
    // checked out and the cable selected when this returns. Runs once; false (and the link stays
    // unusable, HID Connect releasing itself) when another controller exists in the program.
    bool start(const DeviceRoots& roots);
    bool started() const { return m_binding != nullptr; }
    // Why start() failed, empty otherwise.
    const QString& startProblem() const { return m_startProblem; }

    // Null before start().
    HidCableBinding* binding() const { return m_binding; }
    HidCableLink* link() const;
    TJvHidDeviceController* controller() const;
    // The "HID devices" window (hidden until shown from the menu); null before start().
    HidDevicesWindow* devicesWindow() const { return m_devices.data(); }
    // Shows the "HID devices" window, created on the first call (also before start()).
    HidDevicesWindow* showDevicesWindow();
    // Whether ReadBtn serves this build (HidCableLink::readBtnServes).
    bool readBtnServes() const;
    // Whether the system's device-change notices are watched; off: Rescan lists afresh.
    bool hotPlugActive() const;

    // The handlers of the group's members "HID Connect" and "Read".
    void USBConClick(bool down);
    void ReadBtnClick(bool down);
    // One device-change pass (the Rescan button).
    void Rescan();

signals:
    // The list, the selection or a log changed.
    void changed();
    // The link released "HID Connect" / "Read" by itself (the button is to show it up).
    void usbConReleased();
    void readBtnReleased();
    // The "HID devices" window asks for the device check.
    void deviceCheckRequested();

private:
    void informationMessage(const QString& text);
    HidDevicesWindow* ensureDevicesWindow();

    MeterSession& m_session;
    QPointer<QWidget> m_window;
    QString m_startProblem;
    HidCableBinding* m_binding = nullptr;  // the session's
    // A child of the window; its views read the link, so it goes with this object.
    QPointer<HidDevicesWindow> m_devices;
};
