#pragma once

#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "recording/table_store.h"

// Stops the fuzzer with a readable reason when a round trip loses or changes a row.
inline void fuzzCheck(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "round trip broken: %s\n", what);
        std::abort();
    }
}
