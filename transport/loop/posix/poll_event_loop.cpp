#include "transport/loop/posix/poll_event_loop.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/signalfd.h>
#include <unistd.h>

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
    unsigned periodMs = 0;  // 0: single-shot
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
        arm(intervalMs, 0, std::move(onTimeout));
    }
    void startPeriodic(unsigned intervalMs, std::function<void()> onTick) override {
        intervalMs = std::max(1u, intervalMs);
        arm(intervalMs, intervalMs, std::move(onTick));
    }
    void stop() override { m_timer->active = false; }
    bool isActive() const override { return m_timer->active; }

private:
    void arm(unsigned intervalMs, unsigned periodMs, std::function<void()> callback) {
        m_timer->onTimeout = std::move(callback);
        m_timer->periodMs = periodMs;
        m_timer->due = Clock::now() + std::chrono::milliseconds(intervalMs);
        m_timer->active = true;
    }

    std::shared_ptr<PollEventLoop::Timer> m_timer;
};

}  // namespace

std::unique_ptr<HeadlessEventLoop> createHeadlessEventLoop() {
    return std::make_unique<PollEventLoop>();
}

PollEventLoop::PollEventLoop() {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC | O_NONBLOCK) == 0) {
        m_wakeRead = fds[0];
        m_wakeWrite = fds[1];
    }
}

PollEventLoop::~PollEventLoop() {
    if (m_signalFd >= 0) {
        // A stop signal that came while the loop owned them was meant for the loop: it is taken
        // here, not delivered to the process once the old mask is back.
        takeSignals();
        ::close(m_signalFd);
        ::sigprocmask(SIG_SETMASK, &m_oldMask, nullptr);
    }
    for (const int fd : {m_wakeRead, m_wakeWrite}) {
        if (fd >= 0) {
            ::close(fd);
        }
    }
}

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

void PollEventLoop::post(std::function<void()> task) {
    m_posted.push_back(std::move(task));
}

void PollEventLoop::requestStop() {
    m_stopRequested.store(true, std::memory_order_relaxed);
    wake();
}

void PollEventLoop::wake() {
    if (m_wakeWrite >= 0) {
        const char byte = 1;
        // A full pipe already wakes the loop: the result does not matter.
        [[maybe_unused]] const ssize_t n = ::write(m_wakeWrite, &byte, 1);
    }
}

bool PollEventLoop::stopOnSignals() {
    if (m_signalFd >= 0) {
        return true;
    }
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    // Blocked, the signals wait on the descriptor instead of ending the process, so the loop
    // takes them between two callbacks and the files are closed in order.
    if (::sigprocmask(SIG_BLOCK, &stopSignals, &m_oldMask) != 0) {
        return false;
    }
    m_signalFd = ::signalfd(-1, &stopSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (m_signalFd < 0) {
        const int error = errno;
        ::sigprocmask(SIG_SETMASK, &m_oldMask, nullptr);
        errno = error;
        return false;
    }
    return true;
}

void PollEventLoop::takeSignals() {
    signalfd_siginfo info;
    while (::read(m_signalFd, &info, sizeof info) == static_cast<ssize_t>(sizeof info)) {
        m_stopRequested.store(true, std::memory_order_relaxed);
    }
}

int PollEventLoop::runOnce(int timeoutMs) {
    std::erase_if(m_watches, [](const auto& w) { return w->removed; });
    std::erase_if(m_timers, [](const auto& t) { return t->removed; });
    if (!m_posted.empty()) {
        timeoutMs = 0;
    }

    // Wait no longer than the next timer.
    const auto now = Clock::now();
    for (const auto& t : m_timers) {
        if (t->active) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(t->due - now).count();
            const int wait = static_cast<int>(std::clamp<long long>(left, 0, 1 << 30));
            timeoutMs = timeoutMs < 0 ? wait : std::min(timeoutMs, wait);
        }
    }
    // Kept between rounds: a round allocates nothing once warm.
    std::vector<pollfd>& fds = m_fds;
    std::vector<std::shared_ptr<Watch>>& polled = m_polled;
    fds.clear();
    polled.clear();
    for (const auto& w : m_watches) {
        if (w->enabled) {
            fds.push_back({w->fd, POLLIN, 0});
            polled.push_back(w);
        }
    }
    const std::size_t own = fds.size();
    if (fds.empty() && timeoutMs < 0) {
        return 0;  // nothing could ever wake the wait
    }
    if (m_wakeRead >= 0) {
        fds.push_back({m_wakeRead, POLLIN, 0});
    }
    if (m_signalFd >= 0) {
        fds.push_back({m_signalFd, POLLIN, 0});
    }
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    int ran = 0;
    if (ready > 0) {
        for (std::size_t i = 0; i < own; ++i) {
            // A hang-up or an error is readable too: the reader learns of it from its read.
            if ((fds[i].revents & (POLLIN | POLLHUP | POLLERR | POLLNVAL)) != 0 &&
                polled[i]->enabled && !polled[i]->removed) {
                const std::shared_ptr<Watch> watch = polled[i];
                watch->onReadable();
                ++ran;
            }
        }
        for (std::size_t i = own; i < fds.size(); ++i) {
            if (fds[i].revents == 0) {
                continue;
            }
            if (fds[i].fd == m_signalFd) {
                takeSignals();
            } else {
                char drain[64];
                while (::read(m_wakeRead, drain, sizeof drain) > 0) {
                }
            }
        }
    }
    const auto after = Clock::now();
    // Timers started by the callbacks above wait for their turn in a later round.
    std::vector<std::shared_ptr<Timer>>& timers = m_dueTimers;
    timers.assign(m_timers.begin(), m_timers.end());
    for (const auto& t : timers) {
        if (t->active && !t->removed && t->due <= after) {
            if (t->periodMs == 0) {
                t->active = false;
            } else {
                t->due += std::chrono::milliseconds(t->periodMs);
                if (t->due < after) {
                    t->due = after;  // a late tick: no burst to catch up
                }
            }
            const std::function<void()> onTimeout = t->onTimeout;
            onTimeout();
            ++ran;
        }
    }
    timers.clear();
    polled.clear();
    // Tasks posted by these tasks run in the next round.
    std::vector<std::function<void()>> posted;
    posted.swap(m_posted);
    for (const auto& task : posted) {
        task();
        ++ran;
    }
    return ran;
}

void PollEventLoop::run(Clock::time_point deadline) {
    while (!m_stopRequested.load(std::memory_order_relaxed)) {
        const bool anything =
            !m_posted.empty() ||
            std::any_of(m_watches.begin(), m_watches.end(),
                        [](const auto& w) { return !w->removed; }) ||
            std::any_of(m_timers.begin(), m_timers.end(), [](const auto& t) { return t->active; });
        const auto now = Clock::now();
        if (!anything || now >= deadline) {
            return;
        }
        int wait = -1;  // a stop request wakes the wait through the pipe
        if (deadline != Clock::time_point::max()) {
            wait = static_cast<int>(std::clamp<long long>(
                std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count(), 0, 1 << 30));
        }
        runOnce(wait);
    }
}
