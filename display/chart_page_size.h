#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The key filter of the numeric edits: digits and backspace are typed; other printable
// characters are refused with "Please input number 0-9". Control characters (Enter, the
// clipboard shortcuts) pass, since they type nothing. Never fails.
bool digitFilterAccepts(char32_t key);

// The message the digit filter shows, with a single "Cancel" button.
inline constexpr std::string_view kDigitFilterMessage = "Please input number 0-9";

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
