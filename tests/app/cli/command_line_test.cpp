#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "tests/support/temp_folder.h"

namespace {

struct ProgramRun {
    int status = -1;
    std::string err;
    std::string out;
};

ProgramRun runProgram(const std::string& arguments) {
    TempFolder folder;
    const std::string err = folder.path("stderr");
    const std::string out = folder.path("stdout");
    // No display: a command line that wrongly went on to the window fails differently.
    const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                                std::string(HALVERN_BINARY) + "' " + arguments + " >'" + out +
                                "' 2>'" + err + "' </dev/null";
    const int raw = std::system(command.c_str());
    return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, TempFolder::read(err), TempFolder::read(out)};
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
        {"--bogus", "unknown option \"--bogus\""},
        {"--conect", "unknown option \"--conect\""},
        {"--demo --port COM2=/dev/null -x", "unknown option \"-x\""},
        {"--demo=yes", "unknown option \"--demo=yes\""},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, 2) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find(c.named), std::string::npos) << c.arguments << "\n" << run.err;
        EXPECT_NE(run.err.find("usage: halvern"), std::string::npos) << c.arguments;
    }
}

TEST(CommandLine, HelpAndVersionAnswerWhereverTheyStand) {
    const struct {
        const char* arguments;
        const char* printed;
    } cases[] = {
        {"--help", "usage: halvern"},
        {"--demo --help", "usage: halvern"},
        {"--bogus -h", "usage: halvern"},
        {"--version", "halvern 2."},
        {"--port COM1=/dev/null -V", "halvern 2."},
    };
    for (const auto& c : cases) {
        const ProgramRun run = runProgram(c.arguments);
        EXPECT_EQ(run.status, 0) << c.arguments << "\n" << run.err;
        EXPECT_EQ(run.out.find(c.printed), 0u) << c.arguments << "\n" << run.out;
        EXPECT_EQ(run.err, "") << c.arguments;
    }
    // Every subcommand the usage names comes with its arguments (the report needs the window's
    // libraries: builds without them have none).
    const ProgramRun help = runProgram("--help");
    if (help.out.find("halvern report") != std::string::npos) {
        EXPECT_NE(help.out.find("halvern report IN OUT.pdf"), std::string::npos) << help.out;
    }
    EXPECT_EQ(help.out.find("..."), std::string::npos) << help.out;
}

}  // namespace
