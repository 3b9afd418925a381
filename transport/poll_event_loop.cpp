#include "transport/poll_event_loop.h"

#include <errno.h>
#include <poll.h>

#include <algorithm>

using Clock = std::chrono::steady_clock;

// Entries are shared with their handles, so a callback may destroy its own handle (or any
// other) while the loop still holds the entry.
struct PollEventLoop::Watch {
    int fd = -1;
    bool enabled = true;
    bool removed = false;
    std::function<void()> onReadable;
};

struct PollEventLoop::Timer {
    bool active = false;
    bool removed = false;
    Clock::time_point due;
    std::function<void()> onTimeout;
};

namespace {

class PollWatchHandle final : public DescriptorWatch {
public:
    explicit PollWatchHandle(std::shared_ptr<PollEventLoop::Watch> watch)
        : m_watch(std::move(watch)) {}
    ~PollWatchHandle() override {
        m_watch->removed = true;
        m_watch->enabled = false;
    }
    void setEnabled(bool enabled) override { m_watch->enabled = enabled; }
    bool isEnabled() const override { return m_watch->enabled; }

private:
    std::shared_ptr<PollEventLoop::Watch> m_watch;
};

class PollTimerHandle final : public LoopTimer {
public:
    explicit PollTimerHandle(std::shared_ptr<PollEventLoop::Timer> timer)
        : m_timer(std::move(timer)) {}
    ~PollTimerHandle() override {
        m_timer->removed = true;
        m_timer->active = false;
    }
    void start(unsigned intervalMs, std::function<void()> onTimeout) override {
        m_timer->onTimeout = std::move(onTimeout);
        m_timer->due = Clock::now() + std::chrono::milliseconds(intervalMs);
        m_timer->active = true;
    }
    void stop() override { m_timer->active = false; }
    bool isActive() const override { return m_timer->active; }

private:
    std::shared_ptr<PollEventLoop::Timer> m_timer;
};

}  // namespace

PollEventLoop::~PollEventLoop() = default;

std::unique_ptr<DescriptorWatch> PollEventLoop::watchReadable(int fd,
                                                              std::function<void()> onReadable) {
    auto watch = std::make_shared<Watch>();
    watch->fd = fd;
    watch->onReadable = std::move(onReadable);
    m_watches.push_back(watch);
    return std::make_unique<PollWatchHandle>(std::move(watch));
}

std::unique_ptr<LoopTimer> PollEventLoop::createTimer() {
    auto timer = std::make_shared<Timer>();
    m_timers.push_back(timer);
    return std::make_unique<PollTimerHandle>(std::move(timer));
}

int PollEventLoop::runOnce(int timeoutMs) {
    std::erase_if(m_watches, [](const auto& w) { return w->removed; });
    std::erase_if(m_timers, [](const auto& t) { return t->removed; });

    // Wait no longer than the next timer.
    const auto now = Clock::now();
    for (const auto& t : m_timers) {
        if (t->active) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(t->due - now).count();
            const int wait = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
            timeoutMs = timeoutMs < 0 ? wait : std::min(timeoutMs, wait);
        }
    }
    std::vector<pollfd> fds;
    std::vector<std::shared_ptr<Watch>> polled;
    for (const auto& w : m_watches) {
        if (w->enabled) {
            fds.push_back({w->fd, POLLIN, 0});
            polled.push_back(w);
        }
    }
    if (fds.empty() && timeoutMs < 0) {
        return 0;  // nothing could ever wake the wait
    }
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    int ran = 0;
    if (ready > 0) {
        for (std::size_t i = 0; i < fds.size(); ++i) {
            // A hang-up or an error is readable too: the reader learns of it from its read.
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0 &&
                polled[i]->enabled && !polled[i]->removed) {
                const std::shared_ptr<Watch> watch = polled[i];
                watch->onReadable();
                ++ran;
            }
        }
    }
    const auto after = Clock::now();
    // Timers started by the callbacks above wait for their turn in a later round.
    const std::vector<std::shared_ptr<Timer>> timers = m_timers;
    for (const auto& t : timers) {
        if (t->active && !t->removed && t->due <= after) {
            t->active = false;
            const std::function<void()> onTimeout = t->onTimeout;
            onTimeout();
            ++ran;
        }
    }
    return ran;
}

void PollEventLoop::run(Clock::time_point deadline) {
    while (!m_stopRequested.load(std::memory_order_relaxed)) {
        const bool anything =
            std::any_of(m_watches.begin(), m_watches.end(),
                        [](const auto& w) { return !w->removed; }) ||
            std::any_of(m_timers.begin(), m_timers.end(), [](const auto& t) { return t->active; });
        const auto now = Clock::now();
        if (!anything || now >= deadline) {
            return;
        }
        // Wake at least every 100 ms to see a stop request made from a signal handler.
        long long wait = 100;
        if (deadline != Clock::time_point::max()) {
            wait = std::min<long long>(
                wait, std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count());
        }
        runOnce(static_cast<int>(wait));
    }
}
