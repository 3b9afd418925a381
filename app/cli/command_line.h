#pragma once

#include <functional>
#include <string_view>
#include <vector>

// A subcommand: argv[0] is the subcommand's own name ("decode"), the rest its arguments.
// Returns the process exit status (0 success, 1 failure, 2 bad arguments).
using CommandFunction = std::function<int(int argc, char** argv)>;

struct Command {
    std::string_view name;
    CommandFunction run;
    // The arguments the usage lists after the name ("IN OUT.pdf"); empty: "...".
    std::string_view synopsis = {};
};

// The program's version ("2.0.0").
const char* programVersion();

// Starts the window with the program's own arguments (options such as --demo or --port).
using WindowStarter = std::function<int(int argc, char** argv)>;

// Runs the program from its command line. A known subcommand runs headless and returns its exit
// status. Otherwise --help (-h) anywhere prints the usage (0), --version (-V) the version (0), and
// an unknown option or a stray word prints the usage on standard error (2); what is left goes to
// startWindow (null in builds without the window, which then print the usage and return 2).
// extraCommands adds subcommands that need the window's libraries (for example the report
// renderer).
int runCommandLine(int argc, char** argv, const WindowStarter& startWindow,
                   const std::vector<Command>& extraCommands = {});
