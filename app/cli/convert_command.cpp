#include <cstdio>

#include "app/cli/commands.h"

// Placeholder until the subcommand is built.
int runConvertCommand(int, char**) {
    std::fprintf(stderr, "halvern convert: not available in this build\n");
    return 2;
}
