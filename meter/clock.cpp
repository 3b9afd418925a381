#include "meter/clock.h"

#include <ctime>

namespace {

// Days from 1970-01-01 to the given civil date (proleptic Gregorian), valid for every int year.
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2 ? 1 : 0;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m > 2 ? m - 3 : m + 9) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

}  // namespace

WallTime wallTimeOf(const LocalDateTime& local, std::int32_t offsetSeconds, int ms) {
    const std::int64_t days = daysFromCivil(local.year, static_cast<unsigned>(local.month),
                                            static_cast<unsigned>(local.day));
    const std::int64_t seconds =
        days * 86400 + local.hour * 3600 + local.minute * 60 + local.second - offsetSeconds;
    return WallTime{seconds * 1000 + ms, offsetSeconds};
}

void SystemClock::refresh(std::int64_t second) {
    // The broken-down local time changes once a second; converting only then keeps the
    // per-frame cost to one clock read.
    if (second == m_cachedSecond) {
        return;
    }
    const time_t seconds = static_cast<time_t>(second);
    tm local{};
    if (localtime_r(&seconds, &local) != nullptr) {
        m_cached.year = local.tm_year + 1900;
        m_cached.month = local.tm_mon + 1;
        m_cached.day = local.tm_mday;
        m_cached.hour = local.tm_hour;
        m_cached.minute = local.tm_min;
        m_cached.second = local.tm_sec;
        m_cachedOffset = static_cast<std::int32_t>(local.tm_gmtoff);
        m_cachedSecond = second;
    }
}

LocalDateTime SystemClock::now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    refresh(ts.tv_sec);
    return m_cached;
}

WallTime SystemClock::wallNow(LocalDateTime& local) {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    refresh(ts.tv_sec);
    local = m_cached;
    return WallTime{std::int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000, m_cachedOffset};
}
