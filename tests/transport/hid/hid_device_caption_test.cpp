// Captions of HID devices and the choice of the cable among them.
#include "transport/hid/hid_device_caption.h"

#include <gtest/gtest.h>

namespace {

struct CaptionCase {
    const char* product;
    const char* serial;
    std::uint16_t vid;
    std::uint16_t pid;
    const char* caption;
};

[[maybe_unused]] void PrintTo(const CaptionCase& c, std::ostream* os) {
    *os << c.caption;
}

class DeviceCaptionTest : public testing::TestWithParam<CaptionCase> {};

TEST_P(DeviceCaptionTest, FollowsProductSerialAndIds) {
    const CaptionCase& c = GetParam();
    EXPECT_EQ(DeviceCaption(c.product, c.serial, c.vid, c.pid), c.caption);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DeviceCaptionTest,
    testing::Values(CaptionCase{"USB to Serial", "", 0x1A86, 0xE008, "USB to Serial"},
                    CaptionCase{"USB to Serial", "0001", 0x1A86, 0xE008,
                                "USB to Serial (Serial=0001)"},
                    CaptionCase{"", "", 0x04d9, 0x1503, "Device VID=04D9 PID=1503"},
                    CaptionCase{"", "x", 0xABCD, 0x000F, "Device VID=ABCD PID=000F (Serial=x)"},
                    // UTF-8 from sysfs becomes the 8-bit character set; what has no place is '?'
                    CaptionCase{"Mess\xc3\xa4ger \xe2\x82\xac", "", 1, 2, "Mess\xe4ger ?"},
                    CaptionCase{"bad\xc3", "\xff", 1, 2, "bad? (Serial=?)"}));

TEST(SelectCableEntryTest, TakesTheLastExactCaption) {
    EXPECT_EQ(selectCableEntry({}), -1);
    EXPECT_EQ(selectCableEntry({"Keyboard", "USB to Serial (Serial=1)", "usb to serial"}), -1);
    EXPECT_EQ(selectCableEntry({"USB to Serial", "Mouse", "USB to Serial", "Keyboard"}), 2);
}

}  // namespace
