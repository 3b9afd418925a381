#include "meter/clock.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

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

// The moment and the local time of one reading agree, in a zone whose offset changes with the
// season: the offset is the one in force at that moment, and local = UTC + offset.
TEST(SystemClockTest, WallTimeCarriesTheOffsetInForce) {
    for (const char* zone : {"UTC0", "CET-1CEST,M3.5.0,M10.5.0/3", "EST5EDT,M3.2.0,M11.1.0"}) {
        SCOPED_TRACE(zone);
        const char* old = std::getenv("TZ");
        const std::string saved = old ? old : "";
        setenv("TZ", zone, 1);
        tzset();
        SystemClock clock;
        LocalDateTime local;
        const WallTime wall = clock.wallNow(local);
        ASSERT_TRUE(wall.known());
        const std::time_t seconds = static_cast<std::time_t>(wall.msSinceEpoch / 1000);
        std::tm tm{};
        localtime_r(&seconds, &tm);
        EXPECT_EQ(wall.utcOffsetSeconds, tm.tm_gmtoff);
        EXPECT_EQ(wallTimeOf(local, wall.utcOffsetSeconds).msSinceEpoch / 1000, seconds);
        if (old) {
            setenv("TZ", saved.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }
}

TEST(WallTimeTest, LocalDatesBecomeMoments) {
    struct Case {
        const char* what;
        LocalDateTime local;
        int offset;
        std::int64_t ms;
    };
    for (const Case& c : {
             Case{"epoch", {1970, 1, 1, 0, 0, 0}, 0, 0},
             Case{"leap day", {2024, 2, 29, 12, 0, 0}, 0, 1709208000000},
             Case{"east of UTC", {2026, 12, 10, 10, 17, 52}, 3600, 1796894272000},
             Case{"before the epoch", {1969, 12, 31, 23, 59, 59}, 0, -1000},
         }) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(wallTimeOf(c.local, c.offset).msSinceEpoch, c.ms);
    }
}

}  // namespace
