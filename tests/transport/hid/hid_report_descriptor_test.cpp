// Report lengths from report descriptors, including the malformed ones a device may send.
#include "transport/hid/hid_report_descriptor.h"

#include <gtest/gtest.h>

#include <vector>

#include "tests/support/fakes/fake_hid.h"

namespace {

struct DescriptorCase {
    const char* name;
    std::vector<std::uint8_t> bytes;
    HidCaps caps;
};

// Names the case in test listings instead of dumping its bytes.
[[maybe_unused]] void PrintTo(const DescriptorCase& c, std::ostream* os) {
    *os << c.name;
}

class ReportDescriptorTest : public testing::TestWithParam<DescriptorCase> {};

TEST_P(ReportDescriptorTest, DeclaresTheReportLengths) {
    const DescriptorCase& c = GetParam();
    EXPECT_EQ(parseReportDescriptor(c.bytes.data(), c.bytes.size()), c.caps);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReportDescriptorTest,
    testing::Values(
        DescriptorCase{"keyboard", fakehid::kKeyboardDescriptor, {9, 2, 0, false}},
        DescriptorCase{"cable", fakehid::kCableDescriptor, {9, 9, 10, false}},
        // the longest numbered report plus its ID byte
        DescriptorCase{"numbered", fakehid::kNumberedDescriptor, {7, 0, 0, true}},
        DescriptorCase{"empty", {}, {0, 0, 0, false}},
        // 12 bits round up to 2 bytes
        DescriptorCase{"odd bits", {0x75, 0x04, 0x95, 0x03, 0x81, 0x02}, {3, 0, 0, false}},
        // an item whose data runs past the end is not read
        DescriptorCase{
            "truncated", {0x75, 0x08, 0x95, 0x04, 0x81, 0x02, 0x96, 0x10}, {5, 0, 0, false}},
        // Push saves the size, Pop restores it; a Pop without Push changes nothing
        DescriptorCase{"push pop",
                       {0x75, 0x08, 0x95, 0x02, 0xA4, 0x75, 0x10, 0xB4, 0xB4, 0x81, 0x02},
                       {3, 0, 0, false}},
        // a long item is skipped whole, even when its data looks like items
        DescriptorCase{"long item",
                       {0xFE, 0x02, 0x10, 0x75, 0x40, 0x75, 0x08, 0x95, 0x01, 0x81, 0x02},
                       {2, 0, 0, false}},
        // absurd sizes are capped at the kernel's buffer
        DescriptorCase{
            "huge",
            {0x77, 0xFF, 0xFF, 0xFF, 0xFF, 0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x81, 0x02, 0x81, 0x02},
            {kHidMaxReportBytes, 0, 0, false}}),
    [](const testing::TestParamInfo<DescriptorCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            if (ch == ' ') {
                ch = '_';
            }
        }
        return name;
    });

}  // namespace
