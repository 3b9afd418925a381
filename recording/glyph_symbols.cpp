#include "recording/glyph_symbols.h"

#include <array>
#include <cstdint>

namespace {

struct Glyph {
    char stored;
    std::string_view symbol;  // UTF-8
    bool unambiguous;         // the symbol cannot be plain text of a reading
};

// The one table of glyph characters and their symbols.
constexpr std::array<Glyph, 9> kGlyphs{{
    {'*', "\u03A9", true},        // ohm
    {'#', "\u00B0C", true},       // degrees Celsius
    {'?', "\u00B0F", true},       // degrees Fahrenheit
    {')', "\u25B6|", true},       // diode
    {'<', "\u2220\u00B0", true},  // dwell angle
    {'@', "L", false},            // second character of the overload display "0L"
    {'$', "BAT", false},          // low battery
    {'"', "HOLD", false},
    {'&', "\u2022)))", true},  // continuity beeper
}};

void appendLatin1(std::string& out, char c) {
    const auto b = static_cast<unsigned char>(c);
    if (b < 0x80) {
        out += c;
    } else {
        out += static_cast<char>(0xC0 | (b >> 6));
        out += static_cast<char>(0x80 | (b & 0x3F));
    }
}

}  // namespace

std::string_view glyphSymbol(char c) {
    // Every character of every text shown goes through here: one table read, not a search.
    static constexpr auto kIndex = [] {
        std::array<std::uint8_t, 256> index{};
        for (std::size_t i = 0; i < kGlyphs.size(); ++i) {
            index[static_cast<unsigned char>(kGlyphs[i].stored)] = static_cast<std::uint8_t>(i + 1);
        }
        return index;
    }();
    const std::uint8_t at = kIndex[static_cast<unsigned char>(c)];
    return at == 0 ? std::string_view() : kGlyphs[at - 1u].symbol;
}

void appendGlyphDisplayUtf8(std::string& out, std::string_view text) {
    for (const char c : text) {
        if (const std::string_view symbol = glyphSymbol(c); !symbol.empty()) {
            out += symbol;
        } else {
            appendLatin1(out, c);
        }
    }
}

std::string glyphDisplayUtf8(std::string_view text) {
    std::string out;
    appendGlyphDisplayUtf8(out, text);
    return out;
}

void appendLatin1AsUtf8(std::string& out, std::string_view text) {
    for (const char c : text) {
        appendLatin1(out, c);
    }
}

std::string latin1ToUtf8(std::string_view text) {
    std::string out;
    appendLatin1AsUtf8(out, text);
    return out;
}

std::string storedTextOfDisplay(std::string_view utf8) {
    std::string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    while (i < utf8.size()) {
        bool matched = false;
        for (const Glyph& g : kGlyphs) {
            if (g.unambiguous && utf8.substr(i).starts_with(g.symbol)) {
                out += g.stored;
                i += g.symbol.size();
                matched = true;
                break;
            }
        }
        if (matched) {
            continue;
        }
        const auto b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out += utf8[i++];
            continue;
        }
        // One code point: its lead byte says how many bytes follow.
        const std::size_t length = b >= 0xF0 ? 4 : b >= 0xE0 ? 3 : b >= 0xC0 ? 2 : 1;
        unsigned code = length == 1 ? b : b & (0x3F >> (length - 1));
        for (std::size_t k = 1; k < length && i + k < utf8.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(utf8[i + k]) & 0x3F);
        }
        out += code <= 0xFF && length > 1 ? static_cast<char>(code) : '?';
        i += length;
    }
    return out;
}
