#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A realistic serial capture for measuring the reading engine: frames as the meter sends them
// (line feed, 11 data bytes 0x30|nibble, carriage return) in runs of one function each: a
// drifting DC voltage, AC volts, resistance with an occasional "open", temperature,
// capacitance, a negative DC current, with an overload now and then. Deterministic.
inline std::string makeCapture(std::size_t frames, std::uint32_t seed = 1) {
    std::string bytes;
    bytes.reserve(frames * 13);
    std::uint32_t state = seed;
    auto random = [&state](std::uint32_t n) {
        state = state * 1664525u + 1013904223u;
        return (state >> 8) % n;
    };
    int drift = 1234;
    for (std::size_t i = 0; i < frames; ++i) {
        int function = 0, sub = 0, range = 0, value = 0;
        int f10 = 0, f11 = 1, f12 = 0;  // AUTO
        switch ((i / 200) % 8) {
            case 0:
            case 1:
            case 2:
                drift += static_cast<int>(random(21)) - 10;
                drift = drift < 100 ? 100 : drift > 3990 ? 3990 : drift;
                value = drift;
                range = (i / 600) % 2;
                break;
            case 3:
                sub = 1;
                range = 2;
                value = 2300 + static_cast<int>(random(40));
                break;
            case 4:
                function = 2;
                range = 2;
                value = 1000 + static_cast<int>(random(2999));
                if (i % 131 == 0) {
                    f12 = 1;  // "open"
                }
                break;
            case 5:
                function = 1;
                sub = 1;
                value = 215 + static_cast<int>(random(10));
                f11 = 0;
                break;
            case 6:
                function = 2;
                sub = 2;
                range = 1;
                value = 470 + static_cast<int>(random(5));
                f12 = 8;  // MANU
                f11 = 0;
                break;
            default:
                function = 4;
                range = 1;
                value = 150 + static_cast<int>(random(100));
                f10 = 4;  // minus
                break;
        }
        if (i % 97 == 0) {
            f10 |= 1;  // overload
        }
        const int nibbles[11] = {function,
                                 sub,
                                 range,
                                 value / 1000 % 10,
                                 value / 100 % 10,
                                 value / 10 % 10,
                                 value % 10,
                                 0,
                                 f10,
                                 f11,
                                 f12};
        bytes.push_back('\x0A');
        for (int n : nibbles) {
            bytes.push_back(static_cast<char>(0x30 | n));
        }
        bytes.push_back('\x0D');
    }
    return bytes;
}

// The size of the i-th poll batch: the serial poll sees up to 54 bytes, rarely aligned to frames.
inline std::size_t pollBatchSize(std::size_t i) {
    static constexpr std::size_t kSizes[] = {54, 41, 13, 27, 54, 7, 33, 54};
    return kSizes[i % (sizeof kSizes / sizeof kSizes[0])];
}
