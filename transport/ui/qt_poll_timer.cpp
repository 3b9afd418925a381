#include "transport/ui/qt_poll_timer.h"

QtPollTimer::QtPollTimer() {
    // A coarse timer lets the system batch wake-ups; 5 % slack on 50 ms is harmless here.
    m_timer.setTimerType(Qt::CoarseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] {
        if (m_onTick) {
            m_onTick();
        }
    });
}

void QtPollTimer::start(unsigned intervalMs, std::function<void()> onTick) {
    m_onTick = std::move(onTick);
    m_timer.start(static_cast<int>(intervalMs));
}
