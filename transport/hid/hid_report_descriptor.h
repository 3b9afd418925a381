#pragma once

#include <cstddef>
#include <cstdint>

// The report layout of a HID device, as a report descriptor declares it. Byte lengths include
// the report ID byte, which the controller always delivers (0 for devices without numbered
// reports); 0 when the descriptor declares no report of that kind.
struct HidCaps {
    std::uint16_t InputReportByteLength = 0;
    std::uint16_t OutputReportByteLength = 0;
    std::uint16_t FeatureReportByteLength = 0;
    bool NumberedReports = false;  // the descriptor declares report IDs

    friend bool operator==(const HidCaps&, const HidCaps&) = default;
};

// The largest report a hidraw node hands over, in bytes (the kernel's HID buffer).
inline constexpr std::size_t kHidMaxReportBytes = 16384;

// Parses a report descriptor (untrusted bytes from the device). Never fails: a truncated or
// malformed descriptor yields what its readable part declares; lengths are capped at
// kHidMaxReportBytes.
HidCaps parseReportDescriptor(const std::uint8_t* data, std::size_t size);
