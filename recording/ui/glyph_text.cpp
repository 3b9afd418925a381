#include "recording/ui/glyph_text.h"

#include "recording/glyph_symbols.h"

QString glyphDisplayText(std::string_view text) {
    QString out;
    out.reserve(static_cast<qsizetype>(text.size()) + 2);
    for (const char c : text) {
        if (const std::string_view symbol = glyphSymbol(c); !symbol.empty()) {
            out += QString::fromUtf8(symbol.data(), static_cast<qsizetype>(symbol.size()));
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
