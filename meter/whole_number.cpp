#include "meter/whole_number.h"

#include <algorithm>
#include <cstring>

namespace {

int hexValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    return -1;
}

constexpr std::string_view kPrefix = "'";
constexpr std::string_view kSuffix = "' is not a valid integer value";

}  // namespace

std::optional<std::int32_t> parseWholeNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    int base = 10;
    if (i < text.size() && text[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < text.size() && text[i] == '0' &&
               (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const int d = base == 10 ? (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1)
                                 : hexValue(text[i]);
        if (d < 0) {
            return std::nullopt;
        }
        value = value * base + d;
        if (value > 0x1'0000'0000LL) {
            return std::nullopt;
        }
    }
    if (base == 16) {
        // Hexadecimal texts give the 32-bit pattern ("$FFFFFFFF" is -1).
        if (value > 0xFFFF'FFFFLL) {
            return std::nullopt;
        }
        auto pattern = static_cast<std::int32_t>(static_cast<std::uint32_t>(value));
        return negative ? static_cast<std::int32_t>(0u - static_cast<std::uint32_t>(pattern))
                        : pattern;
    }
    if (negative) {
        value = -value;
    }
    if (value < INT32_MIN || value > INT32_MAX) {
        return std::nullopt;
    }
    return static_cast<std::int32_t>(value);
}

std::size_t formatNotAWholeNumber(std::string_view text, char* buffer, std::size_t size) {
    std::size_t n = 0;
    auto put = [&](std::string_view part) {
        const std::size_t k = std::min(part.size(), size - n);
        if (k > 0) {  // an empty view may carry a null pointer, which memcpy must not get
            std::memcpy(buffer + n, part.data(), k);
        }
        n += k;
    };
    if (size == 0) {
        return 0;
    }
    put(kPrefix);
    put(text);
    put(kSuffix);
    return n;
}

std::string notAWholeNumberMessage(std::string_view text) {
    std::string message;
    message.reserve(kPrefix.size() + text.size() + kSuffix.size());
    message.append(kPrefix).append(text).append(kSuffix);
    return message;
}
