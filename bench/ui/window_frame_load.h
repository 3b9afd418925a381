#pragma once

#include <string>
#include <vector>

// The bytes of n meter frames as a session sends them: a DC voltage that changes every frame
// (so the LCD, the needle and the bar graph all move), with a short stretch of capacitance and of
// temperature frames so the scale switches its face twice and back.
inline std::vector<std::string> windowFrameLoad(int n) {
    std::vector<std::string> frames;
    frames.reserve(static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i) {
        const int count = (i * 37) % 4000;
        std::string nibbles = "000";
        if (i % 500 >= 240 && i % 500 < 250) {
            nibbles = "220";  // capacitance, 10 nF range
        } else if (i % 500 >= 250 && i % 500 < 255) {
            nibbles = "110";  // temperature, degrees Celsius
        }
        nibbles += char('0' + count / 1000);
        nibbles += char('0' + count / 100 % 10);
        nibbles += char('0' + count / 10 % 10);
        nibbles += char('0' + count % 10);
        nibbles += "0";
        nibbles += (i % 3 == 0) ? "4" : "0";  // minus now and then
        nibbles += "1";                       // AUTO
        nibbles += "0";
        std::string bytes = "\n";
        for (char c : nibbles) {
            const int v = c <= '9' ? c - '0' : c - 'A' + 10;
            bytes += static_cast<char>(0x30 | v);
        }
        bytes += '\r';
        frames.push_back(std::move(bytes));
    }
    return frames;
}
