#pragma once

#include <cstdint>

// A local date and time, to the second.
struct LocalDateTime {
    int year = 2000;
    int month = 1;  // 1..12
    int day = 1;    // 1..31
    int hour = 0;   // 0..23
    int minute = 0;
    int second = 0;

    friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

// Where the engine reads the present time. The decoder stamps every frame and the recorder
// every reading, so the system clock caches the broken-down time per second.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() = 0;
};

// The system's local time. Never fails; converts at most once per second.
class SystemClock final : public Clock {
public:
    LocalDateTime now() override;

private:
    std::int64_t m_cachedSecond = -1;
    LocalDateTime m_cached;
};

// A clock that says what a test sets.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime t = {}) : m_time(t) {}
    LocalDateTime now() override { return m_time; }
    void set(LocalDateTime t) { m_time = t; }

private:
    LocalDateTime m_time;
};
