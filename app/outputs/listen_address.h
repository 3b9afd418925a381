#pragma once

#include <string>
#include <string_view>

// A listening address as [ADDR:]PORT or [v6]:PORT ("5025", "0.0.0.0:5025", "[::1]:5025"); the
// address is 127.0.0.1 when none is given. False when the text is none (address and port are
// then unspecified).
bool parseListenAddress(std::string_view text, std::string& address, int& port);

// Whether text is a numeric IPv4 or IPv6 address (no name to look up).
bool isNumericAddress(const std::string& text);
