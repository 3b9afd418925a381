#include "transport/serial/ui/serial_connection_view.h"

#include <QAction>
#include <QMenu>
#include <QWidget>

SerialConnectionView::SerialConnectionView(SerialConnectionControl& control,
                                           std::array<QWidget*, 4> panels, QMenu* comSetupMenu,
                                           QMenu* connectMenu, QObject* parent)
    : QObject(parent), m_control(control), m_comSetupMenu(comSetupMenu) {
    for (std::size_t i = 0; i < panels.size(); ++i) {
        m_panels[i] = panels[i];
    }
    if (comSetupMenu) {
        static const char* const kNames[] = {"COM11", "COM21", "COM31", "COM41"};
        for (int i = 0; i < 4; ++i) {
            QAction* item = comSetupMenu->addAction(QStringLiteral("COM%1").arg(i + 1));
            item->setObjectName(QString::fromLatin1(kNames[i]));
            item->setCheckable(true);
            m_portItems[static_cast<std::size_t>(i)] = item;
            // COM11 has no handler of its own; the other items select their port.
            if (i > 0) {
                connect(item, &QAction::triggered, this, [this, i] { m_control.selectPort(i); });
            } else {
                connect(item, &QAction::triggered, this, &SerialConnectionView::refresh);
            }
        }
    }
    if (connectMenu) {
        m_start = connectMenu->addAction(QStringLiteral("START"));
        m_start->setObjectName(QStringLiteral("START1"));
        m_start->setCheckable(true);
        m_stop = connectMenu->addAction(QStringLiteral("STOP"));
        m_stop->setObjectName(QStringLiteral("STOP1"));
        m_stop->setCheckable(true);
        connect(m_start, &QAction::triggered, this, [this] { m_control.BTCon1Click(); });
        connect(m_stop, &QAction::triggered, this, [this] { m_control.BtDiscon1Click(); });
    }
    m_control.onChanged = [this] { refresh(); };
    refresh();
}

void SerialConnectionView::panelClicked() {
    m_control.selectorClicked();
}

void SerialConnectionView::refresh() {
    const SerialControlState& s = m_control.state();
    for (int i = 0; i < 4; ++i) {
        QWidget* panel = m_panels[static_cast<std::size_t>(i)];
        if (panel) {
            panel->setVisible(i == s.selectedPort);
            panel->setEnabled(s.selectorEnabled);
            // The device path, and why the port did not open as it should.
            QString tip = QString::fromStdString(m_control.portPath(i));
            if (i == s.selectedPort && !s.failure.empty()) {
                tip += QLatin1Char('\n') + QString::fromLocal8Bit(s.failure);
            }
            panel->setToolTip(tip);
        }
        if (QAction* item = m_portItems[static_cast<std::size_t>(i)]) {
            item->setChecked(i == s.selectedPort);
        }
    }
    if (m_comSetupMenu) {
        m_comSetupMenu->setEnabled(s.comSetupEnabled);
        m_comSetupMenu->menuAction()->setEnabled(s.comSetupEnabled);
    }
    if (m_start) {
        m_start->setChecked(s.start1Checked);
        m_start->setEnabled(s.start1Enabled);
        m_stop->setChecked(s.stop1Checked);
        m_stop->setEnabled(s.stop1Enabled);
    }
}
