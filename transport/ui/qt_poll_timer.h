#pragma once

#include <QTimer>

#include "transport/serial_port_backend.h"

// The driver's poll timer in a Qt program: a QTimer on the thread that creates it (the UI
// thread), so OnReceiveData runs inside the event loop and may touch widgets.
class QtPollTimer final : public PollTimer {
public:
    QtPollTimer();
    void start(unsigned intervalMs, std::function<void()> onTick) override;
    void stop() override { m_timer.stop(); }
    bool isActive() const override { return m_timer.isActive(); }

private:
    QTimer m_timer;
    std::function<void()> m_onTick;
};
