#pragma once

#include <string>
#include <string_view>

// Builds the bytes a meter sends for one frame: a line feed, one byte 0x30 | nibble for each of
// the 11 hexadecimal digits given, a carriage return. "00012340010" gives the frame text
// A00012340010D. Digits beyond 11 are sent as given, so tests can build wrong shapes too.
std::string meterFrameBytes(std::string_view dataNibbles);

// Bytes as text, for readable test failures: "0A 30 31 ...".
std::string hexBytes(std::string_view bytes);
