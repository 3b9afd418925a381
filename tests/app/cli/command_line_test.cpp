#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

struct ProgramRun {
    int status = -1;
    std::string err;
};

ProgramRun runProgram(const std::string& arguments) {
    TempFolder folder;
    const std::string err = folder.path("stderr");
    // No display: a command line that wrongly went on to the window fails differently.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                std::string(HALVERN_BINARY) + "' " + arguments + " >/dev/null 2>'" +
                                err + "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TempFolder::read(err)};
}

TEST(CommandLine, AnUnknownCommandOrAStrayArgumentPrintsTheUsageAndExitsTwo) {
    const struct {
        const char* arguments;
        const char* named;
    } cases[] = {
        {"frobnicate", "unknown command \"frobnicate\""},
        {"decodee --trace", "unknown command \"decodee\""},
        {"--demo stray", "unexpected argument \"stray\""},
        {"--port COM1=/dev/null extra", "unexpected argument \"extra\""},
        {"-platform offscreen --connect oops", "unexpected argument \"oops\""},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find("usage: halvern"), std::string::npos) << c.arguments;
    }
}

}  // namespace
