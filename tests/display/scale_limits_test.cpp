#include "display/scale_limits.h"

#include <gtest/gtest.h>

namespace {

TEST(ScaleLimits, StartValuesOfTheFourThousandCountMode) {
    const ScaleLimits limits;
    EXPECT_FALSE(limits.maxEnabled());
    EXPECT_FLOAT_EQ(limits.maxLimit(), 4002.0f);
    EXPECT_FLOAT_EQ(limits.minLimit(), -4002.0f);
    EXPECT_EQ(limits.setmaxText(), "4000");
    EXPECT_EQ(limits.setMinText(), "-4000");
    EXPECT_EQ(limits.maxText(), "-4001");
    EXPECT_EQ(limits.minText(), "4001");
    EXPECT_EQ(limits.rememberedUnit(), "113");
}

TEST(ScaleLimits, EditTextsBecomeLimits) {
    const struct {
        const char* text;
        float limit;
    } cases[] = {{"2000", 2000.0f}, {"-", 0.0f}, {"+", 0.0f}, {"", 0.0f}, {"-150", -150.0f}};
    for (const auto& c : cases) {
        ScaleLimits limits;
        EXPECT_EQ(limits.SetmaxExit(c.text), std::nullopt) << c.text;
        EXPECT_FLOAT_EQ(limits.maxLimit(), c.limit) << c.text;
        EXPECT_EQ(limits.SetMinExit(c.text), std::nullopt) << c.text;
        EXPECT_FLOAT_EQ(limits.minLimit(), c.limit) << c.text;
    }
}

TEST(ScaleLimits, NotAWholeNumberKeepsTheLimitAndSaysWhy) {
    ScaleLimits limits;
    EXPECT_EQ(limits.SetmaxExit("5-"), std::string("'5-' is not a valid integer value"));
    EXPECT_FLOAT_EQ(limits.maxLimit(), 4002.0f);
    EXPECT_EQ(limits.SetMinExit("1e3"), std::string("'1e3' is not a valid integer value"));
    EXPECT_FLOAT_EQ(limits.minLimit(), -4002.0f);
}

TEST(ScaleLimits, KeyFilterLetsOnlyDigitsSignsAndBackspaceThrough) {
    for (char c : std::string("0123456789+-\b")) {
        EXPECT_TRUE(ScaleLimits::SetmaxKeyPress(c)) << int(c);
    }
    for (char c : std::string("a.,e $x\r")) {
        EXPECT_FALSE(ScaleLimits::SetmaxKeyPress(c)) << int(c);
    }
}

TEST(ScaleLimits, AlarmOnlyForEnabledLimitsCrossedStrictly) {
    ScaleLimits limits;
    limits.SetmaxExit("2000");
    limits.SetMinExit("-100");
    EXPECT_FALSE(limits.alarm(2500.0f));  // not enabled
    limits.setMaxEnabled(true);
    EXPECT_TRUE(limits.alarm(2500.0f));
    EXPECT_FALSE(limits.alarm(2000.0f));
    EXPECT_FALSE(limits.alarm(-500.0f));
    limits.setMinEnabled(true);
    EXPECT_TRUE(limits.alarm(-101.0f));
    EXPECT_FALSE(limits.alarm(-100.0f));
}

TEST(ScaleLimits, RunningExtremesRestartWithEveryNewUnit) {
    ScaleLimits limits;
    limits.updateExtremes(1234.0f, "V", "1.234", 4000);  // new unit: restart only
    EXPECT_EQ(limits.rememberedUnit(), "V");
    EXPECT_EQ(limits.maxText(), "-4001");
    EXPECT_FLOAT_EQ(limits.runningMax(), -4000.0f);
    EXPECT_EQ(limits.maxTextU(), "V");

    limits.updateExtremes(1234.0f, "V", "1.234", 4000);
    limits.updateExtremes(-20.0f, "V", "-0.020", 4000);
    limits.updateExtremes(500.0f, "V", "0.500", 4000);
    EXPECT_EQ(limits.maxText(), "1.234");
    EXPECT_EQ(limits.minText(), "-0.020");

    limits.updateExtremes(7.0f, "#", "7", 1000);
    EXPECT_FLOAT_EQ(limits.runningMax(), -1000.0f);
    EXPECT_FLOAT_EQ(limits.runningMin(), 1000.0f);
    EXPECT_EQ(limits.maxText(), "1.234");  // captions keep their texts
    EXPECT_EQ(limits.minTextU(), "#");
}

}  // namespace
