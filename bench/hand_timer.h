#pragma once

#include <functional>

#include "transport/loop/event_loop.h"

// A timer that never fires: the benchmarks run the ticks themselves.
class HandTimer final : public LoopTimer {
public:
    void start(unsigned, std::function<void()>) override { m_active = true; }
    void startPeriodic(unsigned, std::function<void()>) override { m_active = true; }
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

private:
    bool m_active = false;
};
