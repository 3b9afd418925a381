#include "display/scale_geometry.h"

#include <gtest/gtest.h>

namespace {

TEST(ScaleGeometry, PanelOfTheWindowGivesTheKnownArc) {
    const ScaleGeometry g(371, 143);
    EXPECT_FLOAT_EQ(g.width(), 331.0f);
    EXPECT_FLOAT_EQ(g.height(), 83.0f);
    EXPECT_NEAR(g.radius(), 206.50, 0.01);
    EXPECT_NEAR(g.sweep(), 106.54, 0.01);
    EXPECT_NEAR(g.start(), 36.73, 0.01);
}

TEST(ScaleGeometry, NeedleTipAndPivotForKnownValues) {
    const ScaleGeometry g(371, 143);
    const struct {
        int v;
        NeedleLine expected;
    } cases[] = {
        {400, {{186, 34}, {185, 393}}},
        {0, {{20, 117}, {395, 393}}},
        {800, {{351, 117}, {-24, 393}}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(g.needle(c.v, 80), c.expected) << "v = " << c.v;
    }
}

TEST(ScaleGeometry, ArcRunsFromLeftToRightAndPeaksAtTheTop) {
    const ScaleGeometry g(371, 143);
    const ScalePoint left = g.pointAt(g.radius(), 0, 800);
    const ScalePoint middle = g.pointAt(g.radius(), 400, 800);
    const ScalePoint right = g.pointAt(g.radius(), 800, 800);
    EXPECT_EQ(left.x, 20);
    EXPECT_EQ(right.x, 351);
    EXPECT_EQ(middle.y, 30);
    EXPECT_EQ(left.y, right.y);
}

TEST(ScaleGeometry, LabelTablesPerMode) {
    const ScaleFace& four = scaleFaceFor("4");
    ASSERT_EQ(four.labelCount, 9);
    EXPECT_EQ(four.labels[0].text, "-40");
    EXPECT_EQ(four.labels[8].text, "40");
    EXPECT_EQ(four.labels[8].step, 80);
    EXPECT_EQ(four.markModulo, 0);
    EXPECT_EQ(scaleFaceFor("10").labels[8].text, "10");
    EXPECT_EQ(scaleFaceFor("13").labels[0].text, "-1000");
    EXPECT_EQ(scaleFaceFor("34").markRemainder, 4);
    EXPECT_EQ(scaleFaceFor("22").labelCount, 0);
    EXPECT_EQ(scaleFaceFor("nonsense").labelCount, 0);
}

TEST(ScaleGeometry, ArcDotsTurnRedStrictlyBeyondEnabledLimits) {
    // Mode "4" with the maximum at 2000: (j - 400) * 10 > 2000 from j = 601 on.
    EXPECT_FALSE(arcDotBeyondLimit(600, 4000, true, 2000.0f, false, -4002.0f));
    EXPECT_TRUE(arcDotBeyondLimit(601, 4000, true, 2000.0f, false, -4002.0f));
    EXPECT_FALSE(arcDotBeyondLimit(800, 4000, false, 2000.0f, false, -4002.0f));
    EXPECT_TRUE(arcDotBeyondLimit(0, 4000, false, 0.0f, true, -3990.0f));
    EXPECT_FALSE(arcDotBeyondLimit(1, 4000, false, 0.0f, true, -3990.0f));
    // The start limits (+-4002) leave the whole arc black even when enabled.
    for (int j = 0; j <= 800; ++j) {
        EXPECT_FALSE(arcDotBeyondLimit(j, 4000, true, 4002.0f, true, -4002.0f));
    }
}

}  // namespace
