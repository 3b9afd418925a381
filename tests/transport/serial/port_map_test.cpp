// Port names and their device paths.
#include "transport/serial/port_map.h"

#include <gtest/gtest.h>

namespace {

TEST(PortMapTest, DefaultsAndAssignments) {
    PortMap map;
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(map.path(i), "/dev/ttyS" + std::to_string(i));
    }
    EXPECT_EQ(map.assign("COM1=/dev/ttyUSB0"), std::nullopt);
    EXPECT_EQ(map.assign("com4=/dev/pts/7"), std::nullopt);
    EXPECT_EQ(map.path(0), "/dev/ttyUSB0");
    EXPECT_EQ(map.path(3), "/dev/pts/7");
    for (const char* bad :
         {"COM5=/dev/x", "COM0=/dev/x", "COM1", "COM1=", "LPT1=/dev/x", "COM12=/x"}) {
        const auto error = map.assign(bad);
        ASSERT_TRUE(error.has_value()) << bad;
        EXPECT_NE(error->find(bad), std::string::npos) << *error;
    }
    EXPECT_EQ(map.path(0), "/dev/ttyUSB0") << "a bad assignment changed the map";
}

}  // namespace
