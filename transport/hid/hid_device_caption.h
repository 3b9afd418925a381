#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The product string the meter's HID cable reports; a list entry captioned exactly so is the cable.
inline constexpr std::string_view kHidCableCaption = "USB to Serial";

// The caption of a HID device in the device list and the log: its product text (UTF-8 as the
// system gives it, converted to the program's 8-bit character set, '?' for what has no place
// there), or "Device VID=%.4X PID=%.4X" without one; " (Serial=%s)" follows a serial text.
// Never fails.
std::string DeviceCaption(std::string_view product, std::string_view serial, std::uint16_t vendorId,
                          std::uint16_t productId);

// The entry the cable link selects: the last whose caption is exactly kHidCableCaption, or -1.
int selectCableEntry(const std::vector<std::string>& captions);

// UTF-8 text in the program's 8-bit character set (ISO 8859-1): characters beyond it and bytes
// that are not valid UTF-8 become '?'. Never fails.
std::string utf8ToLatin1(std::string_view text);
