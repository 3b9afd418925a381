#include "app/ui/meter_icon.h"

#include <QPainter>
#include <QPixmap>
#include <QPolygonF>
#include <QRegularExpression>
#include <QTransform>
#include <array>

namespace {

constexpr double kCanvas = 256.0;

QPainterPath roundedRect(double x, double y, double w, double h, double radius) {
    QPainterPath path;
    path.addRoundedRect(QRectF(x, y, w, h), radius, radius);
    return path;
}

QPainterPath circle(double cx, double cy, double r) {
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    return path;
}

// A segment bar from `from` to `to` (horizontal or vertical) with pointed ends, as on an LCD.
QPainterPath segment(QPointF from, QPointF to, double thickness) {
    const double half = thickness / 2;
    const bool horizontal = from.y() == to.y();
    const QPointF along = horizontal ? QPointF(half, 0) : QPointF(0, half);
    const QPointF across = horizontal ? QPointF(0, half) : QPointF(half, 0);
    QPolygonF bar;
    bar << from << from + along - across << to - along - across << to << to - along + across
        << from + along + across << from;
    QPainterPath path;
    path.addPolygon(bar);
    path.closeSubpath();
    return path;
}

// The lit segments of a digit on the cell at (x, y), width w, height h: a to g clockwise from
// the top, g the middle bar.
QPainterPath digit(int value, double x, double y, double w, double h, double thickness) {
    static constexpr std::array<const char*, 10> kLit = {
        "abcdef", "bc", "abdeg", "abcdg", "bcfg", "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};
    const double gap = 1.5;
    const double midY = y + h / 2;
    QPainterPath path;
    for (const char* s = kLit[static_cast<std::size_t>(value)]; *s != '\0'; ++s) {
        switch (*s) {
            case 'a':
                path.addPath(segment({x + gap, y}, {x + w - gap, y}, thickness));
                break;
            case 'b':
                path.addPath(segment({x + w, y + gap}, {x + w, midY - gap}, thickness));
                break;
            case 'c':
                path.addPath(segment({x + w, midY + gap}, {x + w, y + h - gap}, thickness));
                break;
            case 'd':
                path.addPath(segment({x + gap, y + h}, {x + w - gap, y + h}, thickness));
                break;
            case 'e':
                path.addPath(segment({x, midY + gap}, {x, y + h - gap}, thickness));
                break;
            case 'f':
                path.addPath(segment({x, y + gap}, {x, midY - gap}, thickness));
                break;
            case 'g':
                path.addPath(segment({x + gap, midY}, {x + w - gap, midY}, thickness));
                break;
        }
    }
    return path;
}

std::vector<IconArea> drawIcon() {
    std::vector<IconArea> areas;
    // The holster, the meter's face and the LCD in its bezel.
    areas.push_back({roundedRect(20, 6, 216, 244, 34), QColor(0xf2, 0xb2, 0x00)});
    areas.push_back({roundedRect(36, 22, 184, 212, 20), QColor(0x2e, 0x33, 0x38)});
    areas.push_back({roundedRect(48, 36, 160, 88, 10), QColor(0x1a, 0x1d, 0x20)});
    areas.push_back({roundedRect(54, 42, 148, 76, 6), QColor(0xb7, 0xc9, 0xa0)});

    // "3.142" across the LCD: four digit cells of 24 x 44 with 10 between them.
    const double cellW = 24, cellH = 44, pitch = 34, thickness = 6;
    const double left = 54 + (148 - (3 * pitch + cellW)) / 2;
    const double top = 42 + (76 - cellH) / 2;
    QPainterPath reading;
    const std::array<int, 4> digits = {3, 1, 4, 2};
    for (std::size_t i = 0; i < digits.size(); ++i) {
        reading.addPath(
            digit(digits[i], left + pitch * static_cast<double>(i), top, cellW, cellH, thickness));
    }
    reading.addRect(QRectF(left + cellW + 2, top + cellH - 3, 5, 5));
    areas.push_back({reading, QColor(0x1f, 0x2a, 0x1a)});

    // The rotary switch with its pointer turned to the left, and the three input jacks.
    areas.push_back({circle(128, 168, 30), QColor(0x1c, 0x1f, 0x22)});
    areas.push_back({circle(128, 168, 22), QColor(0x56, 0x5d, 0x64)});
    QTransform turn;
    turn.translate(128, 168);
    turn.rotate(-50);
    areas.push_back({turn.map(roundedRect(-4, -24, 8, 20, 3)), QColor(0xf5, 0xf5, 0xf5)});
    areas.push_back({circle(88, 214, 8), QColor(0x11, 0x11, 0x11)});
    areas.push_back({circle(128, 214, 8), QColor(0xc6, 0x28, 0x28)});
    areas.push_back({circle(168, 214, 8), QColor(0x11, 0x11, 0x11)});
    return areas;
}

QString number(double v) {
    return QString::number(v, 'f', 2).remove(QRegularExpression(QStringLiteral("\\.?0+$")));
}

}  // namespace

const std::vector<IconArea>& meterIconAreas() {
    static const std::vector<IconArea> areas = drawIcon();
    return areas;
}

QString meterIconSvg() {
    QString svg = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"256\" height=\"256\" "
        "viewBox=\"0 0 256 256\">\n");
    for (const IconArea& area : meterIconAreas()) {
        QString d;
        const QPainterPath& path = area.path;
        for (int i = 0; i < path.elementCount(); ++i) {
            const QPainterPath::Element e = path.elementAt(i);
            const QString point = number(e.x) + QLatin1Char(' ') + number(e.y);
            switch (e.type) {
                case QPainterPath::MoveToElement:
                    if (!d.isEmpty()) {
                        d += QStringLiteral("Z");
                    }
                    d += QStringLiteral("M") + point;
                    break;
                case QPainterPath::LineToElement:
                    d += QStringLiteral("L") + point;
                    break;
                case QPainterPath::CurveToElement:
                    d += QStringLiteral("C") + point;
                    break;
                case QPainterPath::CurveToDataElement:
                    d += QLatin1Char(' ') + point;
                    break;
            }
        }
        d += QStringLiteral("Z");
        // Qt fills paths with the odd-even rule unless told otherwise; SVG must agree.
        const QString rule = path.fillRule() == Qt::OddEvenFill ? QStringLiteral("evenodd")
                                                                : QStringLiteral("nonzero");
        svg += QStringLiteral("  <path fill=\"%1\" fill-rule=\"%2\" d=\"%3\"/>\n")
                   .arg(area.fill.name(), rule, d);
    }
    svg += QStringLiteral("</svg>\n");
    return svg;
}

QImage meterIconImage(int size) {
    QImage image(size, size, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kCanvas, size / kCanvas);
    for (const IconArea& area : meterIconAreas()) {
        painter.fillPath(area.path, area.fill);
    }
    painter.end();
    return image;
}

QIcon meterIcon() {
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addPixmap(QPixmap::fromImage(meterIconImage(size)));
    }
    return icon;
}
