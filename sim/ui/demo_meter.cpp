#include "sim/ui/demo_meter.h"

#include <cmath>

DemoMeter::DemoMeter(double rateHz, QObject* parent) : QObject(parent) {
    if (!m_pty.isOpen()) {
        return;
    }
    m_timer.setTimerType(Qt::PreciseTimer);
    connect(&m_timer, &QTimer::timeout, this, &DemoMeter::tick);
    m_timer.start(static_cast<int>(std::lround(1000.0 / (rateHz > 0 ? rateHz : 5.0))));
}

void DemoMeter::tick() {
    const MeterSimulator::Frame f = m_meter.nextFrame();
    if (m_pty.write(std::string_view(reinterpret_cast<const char*>(f.data()), f.size())) > 0) {
        ++m_sent;
    }
}
