#pragma once

#include <QColor>
#include <QIcon>
#include <QImage>
#include <QPainterPath>
#include <QString>
#include <vector>

// The program's icon: a handheld meter whose LCD shows a reading in seven-segment digits. One
// drawing serves the window, the menu entry's PNG files and its SVG file, so they never differ.

// One filled area of the icon, on a 256 x 256 canvas, painted in order.
struct IconArea {
    QPainterPath path;
    QColor fill;
};

// The drawing, back to front. Never empty.
const std::vector<IconArea>& meterIconAreas();

// The drawing as an SVG document, 256 x 256 user units, filled paths only.
QString meterIconSvg();

// The drawing rendered at size x size pixels, transparent around the meter. size > 0.
QImage meterIconImage(int size);

// The window's icon, rendered at the usual icon sizes from 16 to 256 pixels.
QIcon meterIcon();
