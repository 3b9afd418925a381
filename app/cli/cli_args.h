#pragma once

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
