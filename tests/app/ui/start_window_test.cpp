#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

TEST(StartWindow, WithoutADisplayItSaysSoInOneLineAndExitsOne) {
    TempFolder folder;
    const std::string err = folder.path("stderr");
    for (const char* display : {"", "DISPLAY=:97"}) {  // none, and one nobody serves
        const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") +
                                    "-u QT_QPA_PLATFORM " + display + " timeout 20 '" +
                                    HALVERN_BINARY + "' >/dev/null 2>'" + err + "' </dev/null";
        const int raw = std::system(command.c_str());
        ASSERT_TRUE(WIFEXITED(raw)) << display;
        EXPECT_EQ(WEXITSTATUS(raw), 1) << display;
        const std::string text = TempFolder::read(err);
        EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
        EXPECT_NE(text.find("no display"), std::string::npos) << text;
        EXPECT_NE(text.find("xvfb-run"), std::string::npos) << text;
    }
}

}  // namespace
