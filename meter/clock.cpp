#include "meter/clock.h"

#include <ctime>

LocalDateTime SystemClock::now() {
    timespec ts{};
    clock_gettime(CLOCK_REALTIME, &ts);
    // The broken-down local time changes once a second; converting only then keeps the
    // per-frame cost to one clock read.
    if (ts.tv_sec != m_cachedSecond) {
        const time_t seconds = ts.tv_sec;
        tm local{};
        if (localtime_r(&seconds, &local) != nullptr) {
            m_cached.year = local.tm_year + 1900;
            m_cached.month = local.tm_mon + 1;
            m_cached.day = local.tm_mday;
            m_cached.hour = local.tm_hour;
            m_cached.minute = local.tm_min;
            m_cached.second = local.tm_sec;
            m_cachedSecond = ts.tv_sec;
        }
    }
    return m_cached;
}
