// The window's --port/--demo/--sysfs-root/--dev-root options.
#include "app/window_options.h"

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

TEST(WindowOptionsTest, AreTakenOutOfTheCommandLine) {
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
