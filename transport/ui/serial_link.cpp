#include "transport/ui/serial_link.h"

#include "transport/posix/termios_serial_port.h"
#include "transport/toggle_group.h"
#include "transport/ui/qt_poll_timer.h"
#include "transport/ui/serial_connection_view.h"

SerialLink::SerialLink(const Widgets& widgets, ExclusiveToggleGroup& group, int comConMember,
                       QObject* parent)
    : QObject(parent),
      m_driver(std::make_unique<TCommPortDriver>(std::make_unique<TermiosSerialPort>(),
                                                 std::make_unique<QtPollTimer>())) {
    m_driver->setComPort(pnCOM4);
    m_driver->setComPortDataBits(db7BITS);
    m_control = std::make_unique<SerialConnectionControl>(*m_driver);
    m_view = new SerialConnectionView(*m_control, widgets.panels, widgets.comSetupMenu,
                                      widgets.connectMenu, this);
    group.setHandler(comConMember, [this](bool down) { m_control->COMConClick(down); });
    m_control->showComConDown = [&group, comConMember](bool down) {
        group.setDown(comConMember, down);
    };
}

SerialLink::~SerialLink() {
    // The control's callbacks point into the view and the group; the driver closes its port.
    m_control->onChanged = nullptr;
    m_control->showComConDown = nullptr;
}

void SerialLink::setPortMap(const PortMap& ports) {
    m_driver->setPortMap(ports);
    m_view->refresh();
}
