#pragma once

#include <string_view>

// Number options of the subcommands. Each returns false (and leaves out alone) for text that is
// not entirely the number asked for.
bool parseNumber(std::string_view text, double& out);    // a decimal number
bool parseCount(std::string_view text, long long& out);  // a whole number >= 0
