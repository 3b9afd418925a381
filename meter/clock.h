#pragma once

#include <cstdint>
#include <limits>

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

// A moment of the wall clock to the millisecond, with the local offset from UTC in force then,
// so that a recording across midnight, days or a daylight-saving change keeps its order and its
// local times. Rows loaded from files have none (unknown).
struct WallTime {
    static constexpr std::int64_t kUnknown = std::numeric_limits<std::int64_t>::min();
    std::int64_t msSinceEpoch = kUnknown;  // UTC
    std::int32_t utcOffsetSeconds = 0;     // local time = UTC + this

    bool known() const { return msSinceEpoch != kUnknown; }
    friend bool operator==(const WallTime&, const WallTime&) = default;
};

// The moment a local date and time stands for when the local time is UTC + offsetSeconds.
WallTime wallTimeOf(const LocalDateTime& local, std::int32_t offsetSeconds = 0, int ms = 0);
// The local date and time of a known moment at its own offset, and in ms its milliseconds.
LocalDateTime localDateTimeOf(const WallTime& moment, int* ms = nullptr);
// The moment msSinceEpoch with the offset the system's time zone (TZ) has at that moment.
WallTime systemWallTimeAt(std::int64_t msSinceEpoch);

// Where the engine reads the present time. The decoder stamps every frame and the recorder
// every reading, so the system clock caches the broken-down time per second.
class Clock {
public:
    virtual ~Clock() = default;
    virtual LocalDateTime now() = 0;
    // The present moment with its local offset, and in `local` the local date and time of the
    // same reading of the clock (so a row's Time text and its moment never straddle a second).
    virtual WallTime wallNow(LocalDateTime& local) = 0;
};

// The system's local time. Never fails; converts at most once per second.
class SystemClock final : public Clock {
public:
    LocalDateTime now() override;
    WallTime wallNow(LocalDateTime& local) override;

private:
    void refresh(std::int64_t second);

    std::int64_t m_cachedSecond = std::numeric_limits<std::int64_t>::min();
    LocalDateTime m_cached;
    std::int32_t m_cachedOffset = 0;
};

// A clock that says what a test sets. Its moment is the set local time read as UTC (offset 0)
// unless a moment is set explicitly.
class FixedClock final : public Clock {
public:
    explicit FixedClock(LocalDateTime t = {}) { set(t); }
    LocalDateTime now() override { return m_time; }
    WallTime wallNow(LocalDateTime& local) override {
        local = m_time;
        return m_wall;
    }
    void set(LocalDateTime t) {
        m_time = t;
        m_wall = wallTimeOf(t);
    }
    // A moment other than the set local time read as UTC (kept until the next set).
    void setWall(WallTime t) { m_wall = t; }

private:
    LocalDateTime m_time;
    WallTime m_wall;
};
