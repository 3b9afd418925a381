#pragma once

#include <QObject>
#include <array>
#include <memory>

#include "transport/comm_port_driver.h"
#include "transport/serial_connection_control.h"

class ExclusiveToggleGroup;
class QAbstractButton;
class QMenu;
class QWidget;
class SerialConnectionView;

// The window's serial link: the driver COMM2 on the termios backend polled by a QTimer, and the
// serial connection control shown on the window's selector panels, "COM Connect" button and
// hidden menus. COMM2 is stored with port COM4 and 7 data bits; the model profile chooses the
// port and binds the receive handler at start-up.
class SerialLink : public QObject {
    Q_OBJECT
public:
    struct Widgets {
        std::array<QWidget*, 4> panels{};  // BtCOM1 … BtCOM4
        QMenu* comSetupMenu = nullptr;     // ComSetup1 (may be null)
        QMenu* connectMenu = nullptr;      // Connect1 (may be null)
    };

    // comConMember is "COM Connect"'s member of the window's toggle group, whose handler this
    // link sets. Nothing is opened here.
    SerialLink(const Widgets& widgets, ExclusiveToggleGroup& group, int comConMember,
               QObject* parent = nullptr);
    ~SerialLink() override;

    TCommPortDriver& COMM2() { return *m_driver; }
    SerialConnectionControl& control() { return *m_control; }
    SerialConnectionView& view() { return *m_view; }

    // The devices of COM1 … COM4 (tool tips follow). Takes effect at the next "COM Connect".
    void setPortMap(const PortMap& ports);

private:
    std::unique_ptr<TCommPortDriver> m_driver;
    std::unique_ptr<SerialConnectionControl> m_control;
    SerialConnectionView* m_view = nullptr;
};
