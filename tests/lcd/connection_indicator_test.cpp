#include "lcd/connection_indicator.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(ConnectionIndicator, FallsBackOnTheThirdTickWithoutAFrameAndRunsTheChecks) {
    ConnectionIndicator indicator;
    std::vector<bool> shown;
    int checks = 0;
    std::vector<bool> activeAtCheck;
    indicator.setListener([&shown](bool active) { shown.push_back(active); });
    // The checks run before the idle icon is shown (the HID cable's idle check relies on it).
    indicator.addFallBackCheck([&] {
        ++checks;
        activeAtCheck.push_back(indicator.active());
    });
    EXPECT_FALSE(indicator.active());

    indicator.frameMark();
    EXPECT_TRUE(indicator.active());
    indicator.tick();
    indicator.tick();
    EXPECT_TRUE(indicator.active());
    EXPECT_EQ(checks, 0);
    indicator.tick();
    EXPECT_FALSE(indicator.active());
    EXPECT_EQ(checks, 1);
    EXPECT_EQ(activeAtCheck, std::vector<bool>{true});
    EXPECT_EQ(indicator.noFrameTicks(), 0);

    // While idle the checks repeat on every third tick; the icon does not flicker.
    for (int i = 0; i < 6; ++i) {
        indicator.tick();
    }
    EXPECT_EQ(checks, 3);
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
}

TEST(ConnectionIndicator, FramesEveryTickKeepItActive) {
    ConnectionIndicator indicator;
    int checks = 0;
    const int id = indicator.addFallBackCheck([&checks] { ++checks; });
    for (int i = 0; i < 20; ++i) {
        indicator.frameMark();
        indicator.tick();
        indicator.tick();
    }
    EXPECT_TRUE(indicator.active());
    EXPECT_EQ(checks, 0);
    indicator.removeFallBackCheck(id);
    indicator.tick();
    EXPECT_FALSE(indicator.active());
    EXPECT_EQ(checks, 0);
}

}  // namespace
