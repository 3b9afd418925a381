#pragma once

#include <QObject>
#include <QPointer>
#include <array>

#include "transport/serial/serial_connection_control.h"

class QAction;
class QMenu;
class QWidget;

// Shows the serial connection control on the window's widgets: the four selector panels (one
// visible, its tool tip the mapped device path), the ComSetup menu with its check mark and the
// Connect menu's START and STOP items. Clicks are forwarded to the control; nothing else here.
class SerialConnectionView : public QObject {
    Q_OBJECT
public:
    // panels are BtCOM1 … BtCOM4 (not owned). The menus may be null; when given, the items
    // COM1 … COM4 and START/STOP are added to them. ports gives the tool tips.
    SerialConnectionView(SerialConnectionControl& control, std::array<QWidget*, 4> panels,
                         QMenu* comSetupMenu, QMenu* connectMenu, QObject* parent = nullptr);

    // Brings the widgets to the control's state (also after a change of the port map).
    void refresh();

    QAction* portItem(int index) const { return m_portItems.at(static_cast<std::size_t>(index)); }
    QAction* startItem() const { return m_start; }
    QAction* stopItem() const { return m_stop; }

public slots:
    // The visible panel was clicked: the next port.
    void panelClicked();

private:
    SerialConnectionControl& m_control;
    std::array<QPointer<QWidget>, 4> m_panels;
    QPointer<QMenu> m_comSetupMenu;
    std::array<QAction*, 4> m_portItems{};
    QAction* m_start = nullptr;
    QAction* m_stop = nullptr;
};
