#include "tests/support/frames.h"

#include <cstdio>

std::string meterFrameBytes(std::string_view dataNibbles) {
    std::string bytes;
    bytes.reserve(dataNibbles.size() + 2);
    bytes.push_back('\x0A');
    for (char c : dataNibbles) {
        int v = 0;
        if (c >= '0' && c <= '9') {
            v = c - '0';
        } else if (c >= 'A' && c <= 'F') {
            v = c - 'A' + 10;
        } else if (c >= 'a' && c <= 'f') {
            v = c - 'a' + 10;
        }
        bytes.push_back(static_cast<char>(0x30 | v));
    }
    bytes.push_back('\x0D');
    return bytes;
}

std::string hexBytes(std::string_view bytes) {
    std::string out;
    char buf[4];
    for (unsigned char b : bytes) {
        std::snprintf(buf, sizeof buf, "%02X ", b);
        out += buf;
    }
    if (!out.empty()) {
        out.pop_back();
    }
    return out;
}
