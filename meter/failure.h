#pragma once

#include <string>

// The one error shape of the program's own code: the system's error number (0 when the system
// gave none) and the text the user reads, which names what failed and why.
struct Failure {
    int error = 0;
    std::string text;
};
