#include <gtest/gtest.h>

#include <QXmlStreamReader>

#include "app/ui/meter_icon.h"

namespace {

// The SVG the menu entry installs holds exactly the drawing: one filled path per area, in
// order and colour, on the 256-unit canvas.
TEST(MeterIcon, SvgIsWellFormedAndHoldsEveryAreaInOrder) {
    QXmlStreamReader xml(meterIconSvg());
    QStringList fills;
    QString viewBox;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement) {
            continue;
        }
        if (xml.name() == QLatin1String("svg")) {
            viewBox = xml.attributes().value(QLatin1String("viewBox")).toString();
        } else if (xml.name() == QLatin1String("path")) {
            fills << xml.attributes().value(QLatin1String("fill")).toString();
            const QString d = xml.attributes().value(QLatin1String("d")).toString();
            EXPECT_TRUE(d.startsWith(QLatin1Char('M')) && d.endsWith(QLatin1Char('Z')))
                << d.toStdString();
        }
    }
    ASSERT_FALSE(xml.hasError()) << xml.errorString().toStdString();
    EXPECT_EQ(viewBox, QStringLiteral("0 0 256 256"));
    QStringList expected;
    for (const IconArea& area : meterIconAreas()) {
        expected << area.fill.name();
    }
    EXPECT_EQ(fills, expected);
}

// Rendered at every size the theme and the window use: transparent around the meter, the
// holster's colour at its side and the LCD's above the digits, so nothing is cut or shifted.
// (At the smaller sizes those bands are narrower than a pixel and blend with their neighbours.)
TEST(MeterIcon, RendersTheMeterAtEverySize) {
    const QColor holster = meterIconAreas().front().fill;
    const QColor lcd(0xb7, 0xc9, 0xa0);
    for (int size : {16, 32, 64, 256}) {
        SCOPED_TRACE(size);
        const QImage image = meterIconImage(size);
        ASSERT_EQ(image.size(), QSize(size, size));
        EXPECT_EQ(image.pixelColor(0, 0).alpha(), 0);
        EXPECT_EQ(image.pixelColor(size - 1, size - 1).alpha(), 0);
        if (size >= 32) {
            EXPECT_EQ(image.pixelColor(size * 28 / 256, size / 2).rgba(), holster.rgba());
        }
        if (size >= 64) {
            EXPECT_EQ(image.pixelColor(size / 2, size * 48 / 256).rgba(), lcd.rgba());
        }
    }
    const QList<QSize> sizes = meterIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(16, 16)) && sizes.contains(QSize(256, 256)));
}

}  // namespace
