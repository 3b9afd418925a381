#pragma once

#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

struct DeviceRoots;

// Number options of the subcommands. Each returns false (and leaves out alone) for text that is
// not entirely the number asked for.
bool parseNumber(std::string_view text, double& out);    // a decimal number
bool parseCount(std::string_view text, long long& out);  // a whole number >= 0

// "DIR is not a folder (--sysfs-root)" for the first device root that is not a folder, so a
// mistyped root is not taken for a machine without the device; nothing when both are folders.
std::optional<std::string> deviceRootProblem(const DeviceRoots& roots);

// The command line of a subcommand whose only options are --sysfs-root DIR, --dev-root DIR and
// --help, from argv[first] on. Returns nullopt when the roots are set and the command goes on;
// otherwise the exit status: 0 after --help (the usage on standard output), 2 after a bad or
// unknown option (said on standard error as "COMMAND: why", the usage after it).
std::optional<int> takeDeviceRootsOnly(int argc, char** argv, int first, const char* command,
                                       void (*printHelp)(std::FILE*), DeviceRoots& roots);
