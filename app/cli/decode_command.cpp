#include <cstdio>

#include "app/cli/commands.h"

// Placeholder until the subcommand is built.
int runDecodeCommand(int, char**)
{
    std::fprintf(stderr, "halvern decode: not available in this build\n");
    return 2;
}
