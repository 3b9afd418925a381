#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "transport/descriptor_event_loop.h"

// The HID controller's event loop for programs without Qt (the headless commands): poll() on the
// watched descriptors, timers from the steady clock, everything on the thread that calls run().
class PollEventLoop final : public DescriptorEventLoop {
public:
    PollEventLoop() = default;
    ~PollEventLoop() override;
    PollEventLoop(const PollEventLoop&) = delete;
    PollEventLoop& operator=(const PollEventLoop&) = delete;

    std::unique_ptr<DescriptorWatch> watchReadable(int fd,
                                                   std::function<void()> onReadable) override;
    std::unique_ptr<LoopTimer> createTimer() override;

    // Waits at most timeoutMs (-1: until something happens) and runs what became due: the
    // callbacks of ready descriptors, then expired timers. Returns the number of callbacks run.
    int runOnce(int timeoutMs);
    // Runs until requestStop or the deadline; returns at once when nothing is watched and no
    // timer runs.
    void run(std::chrono::steady_clock::time_point deadline =
                 std::chrono::steady_clock::time_point::max());
    // Async-signal-safe: makes run return within a short while.
    void requestStop() { m_stopRequested.store(true, std::memory_order_relaxed); }

    struct Watch;
    struct Timer;

private:
    std::vector<std::shared_ptr<Watch>> m_watches;
    std::vector<std::shared_ptr<Timer>> m_timers;
    std::atomic<bool> m_stopRequested{false};
};
