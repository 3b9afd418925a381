#include "transport/serial/ui/serial_link.h"

#include "session/meter_session.h"
#include "transport/serial/comm_port_driver.h"
#include "transport/serial/serial_connection_control.h"
#include "transport/serial/ui/serial_connection_view.h"

SerialLink::SerialLink(const Widgets& widgets, MeterSession& session, QObject* parent)
    : QObject(parent), m_session(session) {
    m_view = new SerialConnectionView(m_session.serialControl(), widgets.panels,
                                      widgets.comSetupMenu, widgets.connectMenu, this);
}

SerialLink::~SerialLink() {
    // The control's callbacks point into the view and the group; the session's driver closes
    // its port when the session goes.
    m_session.serialControl().onChanged = nullptr;
    m_session.serialControl().showComConDown = nullptr;
}

TCommPortDriver& SerialLink::COMM2() {
    return m_session.serial();
}

SerialConnectionControl& SerialLink::control() {
    return m_session.serialControl();
}

void SerialLink::setPortMap(const PortMap& ports) {
    m_session.serial().setPortMap(ports);
    m_view->refresh();
}
