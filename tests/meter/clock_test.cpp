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
    if (before == after) {
        EXPECT_EQ(a.hour, lo.tm_hour);
        EXPECT_EQ(a.minute, lo.tm_min);
        EXPECT_EQ(a.second, lo.tm_sec);
    }
}

}  // namespace
