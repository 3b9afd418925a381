#include <cstdio>

#include "app/cli/commands.h"

// Placeholder until the subcommand is built.
int runLogCommand(int, char**) {
    std::fprintf(stderr, "halvern log: not available in this build\n");
    return 2;
}
