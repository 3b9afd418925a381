#include "meter/clock.h"

#include <gtest/gtest.h>

#include <ctime>

namespace {

TEST(SystemClockTest, GivesThePresentLocalTime) {
    const std::time_t before = std::time(nullptr);
    SystemClock clock;
    const LocalDateTime a = clock.now();
    const std::time_t after = std::time(nullptr);
    std::tm lo{};
    std::tm hi{};
    localtime_r(&before, &lo);
    localtime_r(&after, &hi);
    EXPECT_GE(a.year, lo.tm_year + 1900);
    EXPECT_LE(a.year, hi.tm_year + 1900);
    EXPECT_GE(a.month, 1);
    EXPECT_LE(a.month, 12);
    EXPECT_GE(a.day, 1);
    EXPECT_LE(a.day, 31);
    EXPECT_LE(a.hour, 23);
    EXPECT_LE(a.minute, 59);
    EXPECT_LE(a.second, 60);
    // time() may run on a coarser clock than the system clock's reading, so the two can lie on
    // either side of a second boundary: allow one second each way.
    std::tm read{};
    read.tm_year = a.year - 1900;
    read.tm_mon = a.month - 1;
    read.tm_mday = a.day;
    read.tm_hour = a.hour;
    read.tm_min = a.minute;
    read.tm_sec = a.second;
    read.tm_isdst = -1;
    const std::time_t t = std::mktime(&read);
    EXPECT_GE(t, before - 1);
    EXPECT_LE(t, after + 1);
}

}  // namespace
