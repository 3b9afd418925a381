#include "recording/ui/glyph_text.h"

namespace {

// The symbol a glyph character stands for, or null when the character is itself.
const char16_t* glyphSymbol(char c) {
    switch (c) {
        case '*':
            return u"\u03A9";  // ohm
        case '#':
            return u"\u00B0C";  // degrees Celsius
        case '?':
            return u"\u00B0F";  // degrees Fahrenheit
        case ')':
            return u"\u25B6|";  // diode
        case '<':
            return u"\u2220\u00B0";  // dwell angle
        case '@':
            return u"L";  // second character of the overload display "0L"
        case '$':
            return u"BAT";  // low battery
        case '"':
            return u"HOLD";
        case '&':
            return u"\u2022)))";  // continuity beeper
        default:
            return nullptr;
    }
}

}  // namespace

QString glyphDisplayText(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()) + 2);
    for (const char c : text) {
        if (const char16_t* symbol = glyphSymbol(c)) {
            out += QStringView(symbol);
        } else {
            out += QChar(static_cast<unsigned char>(c));
        }
    }
    return out;
}

QString plainText(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QFont glyphStandInFont(int pixelHeight, bool bold) {
    // A plain sans face with the symbols above; DejaVu Sans carries the ohm, angle and triangle.
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(pixelHeight);
    font.setBold(bold);
    return font;
}

QFont arialStandInFont(int pixelHeight) {
    QFont font(QStringLiteral("Liberation Sans"));
    font.setPixelSize(pixelHeight);
    font.setBold(false);  // set, so that a bold window font does not leak into the grid
    return font;
}
