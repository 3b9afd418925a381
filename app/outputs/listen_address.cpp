#include "app/outputs/listen_address.h"

#include <arpa/inet.h>

#include <charconv>

bool parseListenAddress(std::string_view text, std::string& address, int& port) {
    address = "127.0.0.1";
    std::string_view portText = text;
    if (text.starts_with('[')) {
        const std::size_t close = text.find("]:");
        if (close == std::string_view::npos) {
            return false;
        }
        address = std::string(text.substr(1, close - 1));
        portText = text.substr(close + 2);
    } else if (const std::size_t colon = text.rfind(':'); colon != std::string_view::npos) {
        address = std::string(text.substr(0, colon));
        portText = text.substr(colon + 1);
    }
    int value = 0;
    const char* end = portText.data() + portText.size();
    const auto [last, error] = std::from_chars(portText.data(), end, value);
    if (address.empty() || portText.empty() || error != std::errc() || last != end || value < 1 ||
        value > 65535) {
        return false;
    }
    port = value;
    return true;
}

bool isNumericAddress(const std::string& text) {
    unsigned char buffer[sizeof(in6_addr)];
    return inet_pton(AF_INET, text.c_str(), buffer) == 1 ||
           inet_pton(AF_INET6, text.c_str(), buffer) == 1;
}
