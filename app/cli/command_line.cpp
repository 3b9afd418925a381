#include "app/cli/command_line.h"

#include <cstdio>

int runCommandLine(int argc, char** argv, const WindowStarter& startWindow)
{
    if (argc < 2 && startWindow) {
        return startWindow(argc, argv);
    }
    std::fprintf(stderr, "usage: halvern [decode|convert] ...\n");
    return 2;
}
