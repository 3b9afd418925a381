#include <cstdio>

#include "app/cli/commands.h"

// Placeholder until the subcommand is built.
int runSimulateCommand(int, char**)
{
    std::fprintf(stderr, "halvern simulate: not available in this build\n");
    return 2;
}
