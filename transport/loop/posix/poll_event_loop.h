#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include <poll.h>
#include <signal.h>

#include "transport/loop/event_loop.h"

// The event loop of programs without Qt (the headless commands): poll() on the watched
// descriptors, timers from the steady clock, everything on the thread that calls run().
class PollEventLoop final : public HeadlessEventLoop {
public:
    PollEventLoop();
    ~PollEventLoop() override;
    PollEventLoop(const PollEventLoop&) = delete;
    PollEventLoop& operator=(const PollEventLoop&) = delete;

    std::unique_ptr<DescriptorWatch> watchReadable(int fd,
                                                   std::function<void()> onReadable) override;
    std::unique_ptr<LoopTimer> createTimer() override;
    void post(std::function<void()> task) override;
    // Async-signal-safe: makes run return within a short while.
    void requestStop() override;

    int runOnce(int timeoutMs) override;
    void run(std::chrono::steady_clock::time_point deadline =
                 std::chrono::steady_clock::time_point::max()) override;
    bool stopOnSignals() override;

    struct Watch;
    struct Timer;

private:
    void wake();
    void takeSignals();

    std::vector<std::shared_ptr<Watch>> m_watches;
    std::vector<std::shared_ptr<Timer>> m_timers;
    std::vector<std::function<void()>> m_posted;
    std::vector<pollfd> m_fds;
    std::vector<std::shared_ptr<Watch>> m_polled;
    std::vector<std::shared_ptr<Timer>> m_dueTimers;
    std::atomic<bool> m_stopRequested{false};
    // Wakes poll() for a stop request made from another thread or a signal handler.
    int m_wakeRead = -1;
    int m_wakeWrite = -1;
    // The stop signals as a descriptor (signalfd), and the signal mask to put back.
    int m_signalFd = -1;
    sigset_t m_oldMask{};
};
