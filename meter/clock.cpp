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

// The civil date of a day counted from 1970-01-01 (the inverse of daysFromCivil).
void civilFromDays(std::int64_t days, LocalDateTime& out) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto doe = static_cast<unsigned>(days - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    const unsigned d = doy - (153 * mp + 2) / 5 + 1;
    const unsigned m = mp < 10 ? mp + 3 : mp - 9;
    out.year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2 ? 1 : 0));
    out.month = static_cast<int>(m);
    out.day = static_cast<int>(d);
}

std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0) && ((a < 0) != (b < 0)) ? 1 : 0);
}

}  // namespace

LocalDateTime localDateTimeOf(const WallTime& moment, int* ms) {
    const std::int64_t localMs = moment.msSinceEpoch + std::int64_t{moment.utcOffsetSeconds} * 1000;
    const std::int64_t seconds = floorDiv(localMs, 1000);
    const std::int64_t days = floorDiv(seconds, 86400);
    const auto secondOfDay = static_cast<int>(seconds - days * 86400);
    LocalDateTime out;
    civilFromDays(days, out);
    out.hour = secondOfDay / 3600;
    out.minute = secondOfDay / 60 % 60;
    out.second = secondOfDay % 60;
    if (ms != nullptr) {
        *ms = static_cast<int>(localMs - seconds * 1000);
    }
    return out;
}

WallTime systemWallTimeAt(std::int64_t msSinceEpoch) {
    const auto seconds = static_cast<time_t>(floorDiv(msSinceEpoch, 1000));
    tm local{};
    if (localtime_r(&seconds, &local) == nullptr) {
        return WallTime{msSinceEpoch, 0};
    }
    return WallTime{msSinceEpoch, static_cast<std::int32_t>(local.tm_gmtoff)};
}

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
