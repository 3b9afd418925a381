// Port names and the window's --port/--demo options.
#include "transport/port_map.h"

#include <gtest/gtest.h>

namespace {

WindowOptions parse(std::vector<std::string> args) {
    args.insert(args.begin(), "halvern");
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    return parseWindowOptions(static_cast<int>(argv.size()), argv.data());
}

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

TEST(PortMapTest, WindowOptionsAreTakenOutOfTheCommandLine) {
    const WindowOptions o = parse(
        {"--port", "COM1=/dev/ttyUSB0", "-style", "fusion", "--demo", "--port=COM2=/dev/ttyACM0"});
    EXPECT_FALSE(o.error);
    EXPECT_TRUE(o.demo);
    EXPECT_EQ(o.ports.path(0), "/dev/ttyUSB0");
    EXPECT_EQ(o.ports.path(1), "/dev/ttyACM0");
    EXPECT_EQ(o.rest, (std::vector<std::string>{"halvern", "-style", "fusion"}));

    EXPECT_EQ(o.roots.sysfs, "/sys");
    EXPECT_EQ(o.roots.dev, "/dev");
    const WindowOptions r = parse({"--sysfs-root", "/tmp/s", "--dev-root=/tmp/d"});
    EXPECT_FALSE(r.error);
    EXPECT_EQ(r.roots.sysfs, "/tmp/s");
    EXPECT_EQ(r.roots.dev, "/tmp/d");
    EXPECT_EQ(r.rest, (std::vector<std::string>{"halvern"}));
    EXPECT_TRUE(parse({"--sysfs-root"}).error);
    EXPECT_TRUE(parse({"--dev-root="}).error);

    EXPECT_TRUE(parse({"--port"}).error);
    EXPECT_TRUE(parse({"--port", "COM9=/dev/x"}).error);
    EXPECT_FALSE(parse({}).demo);
}

}  // namespace
