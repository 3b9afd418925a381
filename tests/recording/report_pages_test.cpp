#include "recording/report_pages.h"

#include <gtest/gtest.h>

#include "recording/progress_gate.h"

namespace {

TEST(ReportPages, PageKHoldsRowsOfItsOwn) {
    struct Case {
        std::size_t rows;
        std::size_t page;
        ReportPages::RowRange range;
    };
    const Case cases[] = {
        {37, 1, {0, 37}},
        {38, 2, {37, 38}},
        {38, 3, {0, 0}},
        {38, 0, {0, 0}},
        {0, 1, {0, 0}},
        {10'000'000, 1, {0, 37}},
        {10'000'000, 270'271, {9'999'990, 10'000'000}},
        {10'000'000, 135'000, {4'994'963, 4'995'000}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.rows << " rows, page " << c.page);
        EXPECT_EQ(ReportPages(c.rows).rowsOfPage(c.page), c.range);
    }
    EXPECT_EQ(ReportPages(10'000'000).pageCount(), 270'271u);
    EXPECT_EQ(ReportPages(0).pageCount(), 0u);
    EXPECT_EQ(ReportPages(74).pageCount(), 2u);
}

TEST(ReportPages, TypedPagesStayWithinTheReport) {
    const ReportPages pages(100);  // 3 pages
    EXPECT_EQ(pages.clampPage(-5), 1u);
    EXPECT_EQ(pages.clampPage(0), 1u);
    EXPECT_EQ(pages.clampPage(2), 2u);
    EXPECT_EQ(pages.clampPage(99), 3u);
    EXPECT_EQ(ReportPages(0).clampPage(4), 1u);
}

TEST(ReportPages, TheA4ReportShrinksToSmallerPaperOnly) {
    struct Case {
        double width, height, scale;
    };
    const Case cases[] = {
        {190, 277, 1.0},                // A4 with 10 mm margins
        {277, 400, 1.0},                // A3: printed at its true size
        {195.9, 259.4, 259.4 / 277.0},  // Letter with 10 mm margins: the height decides
        {128, 190, 128.0 / 190.0},      // A5: the width decides
        {0, 0, 1.0},                    // unknown paper
        {-3, 200, 1.0},
    };
    for (const Case& c : cases) {
        EXPECT_DOUBLE_EQ(ReportPages::scaleToFit(c.width, c.height), c.scale)
            << c.width << " x " << c.height;
    }
}

TEST(ProgressGate, ShowsAfterHalfASecondAndUpdatesAtMostEvery50Ms) {
    using namespace std::chrono_literals;
    const auto t0 = ProgressGate::Clock::time_point{} + 10s;
    ProgressGate gate(t0);
    EXPECT_FALSE(gate.update(t0));
    EXPECT_FALSE(gate.update(t0 + 499ms));
    EXPECT_FALSE(gate.shown());
    EXPECT_TRUE(gate.update(t0 + 500ms));
    EXPECT_TRUE(gate.shown());
    EXPECT_FALSE(gate.update(t0 + 520ms));
    EXPECT_TRUE(gate.update(t0 + 550ms));
    EXPECT_FALSE(gate.cancelled());
    gate.cancel();
    EXPECT_TRUE(gate.cancelled());

    EXPECT_EQ(ProgressGate::percent(0, 0), 0);
    EXPECT_EQ(ProgressGate::percent(1, 4), 25);
    EXPECT_EQ(ProgressGate::percent(9, 4), 100);
    EXPECT_EQ(ProgressGate::percent(5'000'000'000ull, 10'000'000'000ull), 50);
}

}  // namespace
