#include "transport/loop_poll_timer.h"

#include <algorithm>
#include <thread>

void LoopPollTimer::start(unsigned intervalMs, std::function<void()> onTick) {
    m_intervalMs = std::max(1u, intervalMs);
    m_onTick = std::move(onTick);
    m_active = true;
}

void LoopPollTimer::run(std::chrono::steady_clock::time_point deadline) {
    using clock = std::chrono::steady_clock;
    auto next = clock::now();
    while (m_active && !m_stopRequested.load(std::memory_order_relaxed)) {
        next += std::chrono::milliseconds(m_intervalMs);
        const auto now = clock::now();
        if (next < now) {
            next = now;  // a slow tick: do not try to catch up in a burst
        }
        const auto wake = std::min(next, deadline);
        std::this_thread::sleep_until(wake);
        if (clock::now() >= deadline) {
            return;
        }
        if (m_stopRequested.load(std::memory_order_relaxed) || !m_active) {
            return;
        }
        m_onTick();
    }
}
