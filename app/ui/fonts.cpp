#include "app/ui/fonts.h"

#include <QStringList>

void installFontSubstitutions() {
    QFont::insertSubstitutions(QStringLiteral("MS Sans Serif"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
    QFont::insertSubstitutions(QStringLiteral("Arial"),
                               {QStringLiteral("Liberation Sans"), QStringLiteral("DejaVu Sans")});
}

QFont windowFont() {
    QFont f(QStringLiteral("MS Sans Serif"));
    f.setPixelSize(11);
    f.setBold(true);
    return f;
}

QFont arialFont(int pixelHeight, bool bold) {
    QFont f(QStringLiteral("Arial"));
    f.setPixelSize(pixelHeight);
    f.setBold(bold);
    return f;
}
