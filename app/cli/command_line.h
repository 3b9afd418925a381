#pragma once

#include <functional>

// Runs the program from its command line. A known subcommand (decode, convert, ...) runs
// headless and returns its exit status; with no subcommand the window is started through
// startWindow (null in builds without the window, which then explain and return 2).
using WindowStarter = std::function<int(int argc, char** argv)>;
int runCommandLine(int argc, char** argv, const WindowStarter& startWindow);
