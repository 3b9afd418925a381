#include "display/chart_page_size.h"

#include <gtest/gtest.h>

namespace {

TEST(ChartPageSizeTest, ReadsTheEditText) {
    using Kind = PageSizeEntry::Kind;
    struct Case {
        const char* text;
        Kind kind;
        int pageSize;
        const char* message;
    };
    const Case cases[] = {
        {"100", Kind::Valid, 100, ""},
        {"050", Kind::Valid, 50, ""},
        {"1", Kind::Valid, 1, ""},
        {"0", Kind::BelowOne, 0, "Enter a error number"},
        {"-5", Kind::BelowOne, 0, "Enter a error number"},
        {"", Kind::Empty, 0, ""},
        {"12a", Kind::NotAWholeNumber, 0, "'12a' is not a valid integer value"},
        {"99999999999", Kind::NotAWholeNumber, 0, "'99999999999' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        const PageSizeEntry entry = readPageSizeEntry(c.text);
        EXPECT_EQ(entry.kind, c.kind) << c.text;
        EXPECT_EQ(entry.pageSize, c.pageSize) << c.text;
        EXPECT_EQ(entry.message, c.message) << c.text;
    }
}

}  // namespace
