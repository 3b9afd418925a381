#include "lcd/ui/bar_graph.h"

#include <gtest/gtest.h>

namespace {

TEST(BarGraph, FillsItsWellInProportionAndNeverBeyond) {
    BarGraph bar;
    bar.setFixedSize(421, 17);
    bar.setRange(0, 40);
    const struct {
        int value;
        int filled;
    } cases[] = {{0, 0}, {20, 208}, {40, 417}, {1, 10}};
    for (const auto& c : cases) {
        bar.setValue(c.value);
        EXPECT_EQ(bar.filledWidth(), c.filled) << c.value;
    }
    bar.setRange(0, 10);  // a lower maximum takes the value down with it
    EXPECT_LE(bar.filledWidth(), 417);
    EXPECT_EQ(bar.grab().size(), QSize(421, 17));
}

}  // namespace
