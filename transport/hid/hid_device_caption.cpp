#include "transport/hid/hid_device_caption.h"

#include <cstdio>

std::string utf8ToLatin1(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    std::size_t i = 0;
    while (i < text.size()) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        // Length and first bits of a multi-byte sequence; anything malformed is one '?'.
        std::size_t length = 0;
        std::uint32_t code = 0;
        if ((c & 0xE0) == 0xC0) {
            length = 2;
            code = c & 0x1F;
        } else if ((c & 0xF0) == 0xE0) {
            length = 3;
            code = c & 0x0F;
        } else if ((c & 0xF8) == 0xF0) {
            length = 4;
            code = c & 0x07;
        }
        bool valid = length != 0 && i + length <= text.size();
        for (std::size_t k = 1; valid && k < length; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            valid = (next & 0xC0) == 0x80;
            code = (code << 6) | (next & 0x3F);
        }
        if (!valid) {
            out += '?';
            ++i;
            continue;
        }
        out += code <= 0xFF && (length == 2 && code >= 0x80) ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}

std::string DeviceCaption(std::string_view product, std::string_view serial, std::uint16_t vendorId,
                          std::uint16_t productId) {
    std::string caption;
    if (!product.empty()) {
        caption = utf8ToLatin1(product);
    } else {
        char text[32];
        std::snprintf(text, sizeof text, "Device VID=%.4X PID=%.4X", unsigned{vendorId},
                      unsigned{productId});
        caption = text;
    }
    if (!serial.empty()) {
        caption += " (Serial=";
        caption += utf8ToLatin1(serial);
        caption += ')';
    }
    return caption;
}

int selectCableEntry(const std::vector<std::string>& captions) {
    int selected = -1;
    for (std::size_t i = 0; i < captions.size(); ++i) {
        if (captions[i] == kHidCableCaption) {
            selected = static_cast<int>(i);
        }
    }
    return selected;
}
