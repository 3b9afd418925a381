#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Reads a whole number the way the meter program always has: optional leading blanks, an
// optional sign, then decimal digits, or "$" / "0x" followed by hexadecimal digits; nothing may
// follow. Returns nullopt for anything else (empty text, stray characters, beyond 32 bits).
std::optional<std::int32_t> parseWholeNumber(std::string_view text);

// The message a failed whole-number conversion reports: "'TEXT' is not a valid integer value".
std::string notAWholeNumberMessage(std::string_view text);

// Writes the message into a caller's buffer without allocating; returns the length written
// (cut to the buffer's size).
std::size_t formatNotAWholeNumber(std::string_view text, char* buffer, std::size_t size);
