#include "lcd/ui/seven_segment.h"

#include <QPolygonF>

namespace SevenSegment {

namespace {

constexpr std::uint8_t A = 1 << 0;
constexpr std::uint8_t B = 1 << 1;
constexpr std::uint8_t C = 1 << 2;
constexpr std::uint8_t D = 1 << 3;
constexpr std::uint8_t E = 1 << 4;
constexpr std::uint8_t F = 1 << 5;
constexpr std::uint8_t G = 1 << 6;

}  // namespace

std::uint8_t segmentsFor(char c) {
    switch (c) {
        case '0':
            return A | B | C | D | E | F;
        case '1':
            return B | C;
        case '2':
            return A | B | D | E | G;
        case '3':
            return A | B | C | D | G;
        case '4':
            return B | C | F | G;
        case '5':
            return A | C | D | F | G;
        case '6':
            return A | C | D | E | F | G;
        case '7':
            return A | B | C;
        case '8':
            return A | B | C | D | E | F | G;
        case '9':
            return A | B | C | D | F | G;
        case 'A':
        case 'a':
            return A | B | C | E | F | G;
        case 'B':
        case 'b':
            return C | D | E | F | G;
        case 'C':
            return A | D | E | F;
        case 'c':
            return D | E | G;
        case 'D':
        case 'd':
            return B | C | D | E | G;
        case 'E':
            return A | D | E | F | G;
        case 'e':
            return A | B | D | E | F | G;
        case 'F':
        case 'f':
            return A | E | F | G;
        case 'o':
            return C | D | E | G;
        case 'O':
            return A | B | C | D | E | F;
        case 'p':
        case 'P':
            return A | B | E | F | G;
        case 'n':
            return C | E | G;
        case 'L':
        case '@':
            return D | E | F;
        case '-':
            return G;
        default:
            return 0;
    }
}

std::array<QPainterPath, 7> segmentPaths(const QRectF& cell, qreal t, qreal slant) {
    const qreal w = cell.width();
    const qreal h = cell.height();
    const qreal gap = t * 0.15;
    const qreal half = t / 2;
    auto shear = [&](qreal x, qreal y) {
        return QPointF(cell.left() + x + (h - y) * slant, cell.top() + y);
    };
    auto horizontal = [&](qreal yc) {
        const qreal x0 = half + gap;
        const qreal x1 = w - half - gap;
        QPolygonF p{shear(x0, yc), shear(x0 + half, yc - half), shear(x1 - half, yc - half),
                    shear(x1, yc), shear(x1 - half, yc + half), shear(x0 + half, yc + half)};
        QPainterPath path;
        path.addPolygon(p);
        path.closeSubpath();
        return path;
    };
    auto vertical = [&](qreal xc, qreal y0, qreal y1) {
        QPolygonF p{shear(xc, y0), shear(xc + half, y0 + half), shear(xc + half, y1 - half),
                    shear(xc, y1), shear(xc - half, y1 - half), shear(xc - half, y0 + half)};
        QPainterPath path;
        path.addPolygon(p);
        path.closeSubpath();
        return path;
    };
    const qreal mid = h / 2;
    return {
        horizontal(half),                               // a
        vertical(w - half, half + gap, mid - gap),      // b
        vertical(w - half, mid + gap, h - half - gap),  // c
        horizontal(h - half),                           // d
        vertical(half, mid + gap, h - half - gap),      // e
        vertical(half, half + gap, mid - gap),          // f
        horizontal(mid),                                // g
    };
}

QPainterPath glyphPath(const std::array<QPainterPath, 7>& segments, std::uint8_t mask) {
    QPainterPath path;
    path.setFillRule(Qt::WindingFill);
    for (int i = 0; i < 7; ++i) {
        if (mask & (1u << i)) {
            path.addPath(segments[static_cast<std::size_t>(i)]);
        }
    }
    return path;
}

}  // namespace SevenSegment
