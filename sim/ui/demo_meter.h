#pragma once

#include <QObject>
#include <QTimer>
#include <memory>

#include "sim/meter_simulator.h"
#include "sim/pseudo_terminal.h"

// The built-in meter of the demo: a simulated meter writing its frames, at the meter's pace, to
// the controlling side of a pseudo-terminal whose device side the program opens as COM1.
// Runs on the UI thread from a timer; a frame nobody reads is lost, as on a real cable.
class DemoMeter : public QObject {
    Q_OBJECT
public:
    // Creates the pseudo-terminal; check isOpen. Starts sending at once.
    explicit DemoMeter(double rateHz = 5.0, QObject* parent = nullptr);

    bool isOpen() const { return m_pty.isOpen(); }
    // The device side, to map a port to.
    const std::string& devicePath() const { return m_pty.devicePath(); }
    long framesSent() const { return m_sent; }

private:
    void tick();

    PseudoTerminal m_pty;
    MeterSimulator m_meter;
    QTimer m_timer;
    long m_sent = 0;
};
