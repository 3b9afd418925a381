#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The message that refuses a page size below 1; the page size in force stays.
inline constexpr std::string_view kPageSizeRefusedMessage = "Enter a error number";

// What the page-size edit holds.
struct PageSizeEntry {
    enum class Kind { Empty, NotAWholeNumber, BelowOne, Valid };
    Kind kind = Kind::Empty;
    std::int32_t pageSize = 0;  // Valid only
    std::string message;        // the refusal to show for NotAWholeNumber and BelowOne
};

// Reads the page-size text as a whole number. Never fails: a bad text is described in the
// result (an empty text is no entry yet and carries no message).
PageSizeEntry readPageSizeEntry(std::string_view text);
