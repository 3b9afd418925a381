#pragma once

#include <atomic>
#include <chrono>
#include <functional>

#include "transport/serial_port_backend.h"

// The poll timer of a program without an event loop (the headless logger): run() sleeps between
// ticks on the calling thread and returns when the timer stops, a deadline passes or a stop is
// requested (also from a signal handler).
class LoopPollTimer final : public PollTimer {
public:
    void start(unsigned intervalMs, std::function<void()> onTick) override;
    void stop() override { m_active = false; }
    bool isActive() const override { return m_active; }

    // Runs ticks until the timer stops, requestStop is called or the deadline passes.
    void run(std::chrono::steady_clock::time_point deadline =
                 std::chrono::steady_clock::time_point::max());
    // Async-signal-safe: makes run return within one interval.
    void requestStop() { m_stopRequested.store(true, std::memory_order_relaxed); }

private:
    bool m_active = false;
    unsigned m_intervalMs = 50;
    std::function<void()> m_onTick;
    std::atomic<bool> m_stopRequested{false};
};
