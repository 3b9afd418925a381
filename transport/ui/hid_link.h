#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <memory>

#include "transport/device_roots.h"

class ConnectionIndicator;
class ExclusiveToggleGroup;
class FrameDecoder;
class HidCableBinding;
class HidCableLink;
class HidDevicesWindow;
class QAbstractButton;
class QWidget;
class QtDescriptorEventLoop;
class SysfsHidBackend;
class TJvHidDeviceController;

// The window's HID cable link: the device controller HidCtl on the machine's sysfs and hidraw
// nodes, its readers and hot-plug in the window's event loop, the cable link bound to it,
// "HID Connect" (USBCon) and ReadBtn as members of the top bar's exclusive group, the cable-idle
// check on the connection indicator, and the "HID devices" window. Nothing is opened before
// start().
class HidLink : public QObject {
    Q_OBJECT
public:
    static constexpr const char* kToolTip = "USB HID cable (USB to Serial)";

    // group, indicator, decoder and the window (parent of the boxes) must outlive the link.
    // hidHandler is the profile's choice (ProfileSettings::hidHandler).
    HidLink(ExclusiveToggleGroup& group, int usbConMember, int readBtnMember,
            ConnectionIndicator& indicator, FrameDecoder& decoder, bool hidHandler,
            QWidget* window);
    ~HidLink() override;

    // Creates HidCtl on roots and binds its events: the list is filled, every device checked
    // out and the cable selected when this returns. Runs once; false (and the link stays
    // unusable, HID Connect releasing itself) when another controller exists in the program.
    bool start(const DeviceRoots& roots);
    bool started() const { return m_binding != nullptr; }
    // Why start() failed, empty otherwise.
    const QString& startProblem() const { return m_startProblem; }

    // Null before start().
    HidCableBinding* binding() const { return m_binding.get(); }
    HidCableLink* link() const;
    TJvHidDeviceController* controller() const { return m_controller.get(); }
    // The "HID devices" window (hidden until shown from the menu); null before start().
    HidDevicesWindow* devicesWindow() const { return m_devices; }
    // Shows the "HID devices" window, created on the first call (also before start()).
    HidDevicesWindow* showDevicesWindow();
    // Whether ReadBtn serves this build (HidCableLink::readBtnServes).
    bool readBtnServes() const { return !m_hidHandler; }
    // Whether the system's device-change notices are watched; off: Rescan lists afresh.
    bool hotPlugActive() const;

    // The group members' handlers.
    void USBConClick(bool down);
    void ReadBtnClick(bool down);
    // One device-change pass (the Rescan button).
    void Rescan();

signals:
    // The list, the selection or a log changed.
    void changed();

private:
    void informationMessage(const QString& text);
    HidDevicesWindow* ensureDevicesWindow();

    ExclusiveToggleGroup& m_group;
    int m_usbConMember;
    int m_readBtnMember;
    ConnectionIndicator& m_indicator;
    FrameDecoder& m_decoder;
    bool m_hidHandler;
    QPointer<QWidget> m_window;
    int m_idleCheckId = 0;
    QString m_startProblem;
    // Declared in the order they are made; destroyed the other way round.
    std::unique_ptr<SysfsHidBackend> m_backend;
    std::unique_ptr<QtDescriptorEventLoop> m_loop;
    std::unique_ptr<TJvHidDeviceController> m_controller;
    std::unique_ptr<HidCableBinding> m_binding;
    QPointer<HidDevicesWindow> m_devices;
};
