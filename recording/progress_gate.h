#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

// The timing of a long task's progress display (loading a file, printing many pages): the
// progress appears only once the task has run for half a second, so quick tasks flash nothing,
// and the display is brought up to date at most every 50 ms, so that updating it costs the task
// next to nothing. Also holds the user's cancel. Plain state: the caller passes the time.
class ProgressGate {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kShowAfter = std::chrono::milliseconds(500);
    static constexpr Clock::duration kUpdateEvery = std::chrono::milliseconds(50);

    explicit ProgressGate(Clock::time_point start) : m_start(start), m_lastUpdate(start) {}

    // True when the progress should be updated now: never in the first half second, then at
    // most once per kUpdateEvery. The first true also makes shown() true.
    bool update(Clock::time_point now) {
        if (now - m_start < kShowAfter) {
            return false;
        }
        if (m_shown && now - m_lastUpdate < kUpdateEvery) {
            return false;
        }
        m_shown = true;
        m_lastUpdate = now;
        return true;
    }
    bool shown() const { return m_shown; }

    void cancel() { m_cancelled = true; }
    bool cancelled() const { return m_cancelled; }

    // Percent done of total (0 when the total is unknown), for a progress bar.
    static int percent(std::uint64_t done, std::uint64_t total) {
        if (total == 0) {
            return 0;
        }
        return static_cast<int>(std::min<std::uint64_t>(done, total) * 100 / total);
    }

private:
    Clock::time_point m_start;
    Clock::time_point m_lastUpdate;
    bool m_shown = false;
    bool m_cancelled = false;
};
