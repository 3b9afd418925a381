#include "recording/ui/board_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <functional>

namespace {

QIcon drawn(const std::function<void(QPainter&)>& draw) {
    QIcon icon;
    for (const int size : {16, 32}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.scale(size / 16.0, size / 16.0);
        draw(painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

}  // namespace

QIcon newRecordIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(80, 80, 80), 1));
        p.setBrush(Qt::white);
        QPainterPath sheet;
        sheet.moveTo(2.5, 1.5);
        sheet.lineTo(9.5, 1.5);
        sheet.lineTo(12.5, 4.5);
        sheet.lineTo(12.5, 14.5);
        sheet.lineTo(2.5, 14.5);
        sheet.closeSubpath();
        p.drawPath(sheet);
        p.setPen(QPen(QColor(200, 30, 30), 2.2, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(7, 7), QPointF(14, 14));
        p.drawLine(QPointF(14, 7), QPointF(7, 14));
    });
}

QIcon saveIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(20, 40, 90), 1));
        p.setBrush(QColor(50, 90, 170));
        p.drawRoundedRect(QRectF(1.5, 1.5, 13, 13), 1.5, 1.5);
        p.setBrush(QColor(235, 235, 235));
        p.drawRect(QRectF(4, 1.5, 8, 5));  // shutter
        p.setBrush(Qt::white);
        p.drawRect(QRectF(3.5, 9, 9, 5.5));  // label
        p.setBrush(QColor(20, 40, 90));
        p.drawRect(QRectF(9, 2.5, 2, 3));
    });
}

QIcon openIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(140, 100, 20), 1));
        p.setBrush(QColor(230, 190, 80));
        p.drawRect(QRectF(1.5, 3.5, 11, 10));
        QPainterPath flap;
        flap.moveTo(1.5, 13.5);
        flap.lineTo(4.5, 7.5);
        flap.lineTo(15, 7.5);
        flap.lineTo(12.5, 13.5);
        flap.closeSubpath();
        p.setBrush(QColor(250, 215, 110));
        p.drawPath(flap);
    });
}

QIcon printIcon() {
    return drawn([](QPainter& p) {
        p.setPen(QPen(QColor(60, 60, 60), 1));
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 1.5, 7, 5));  // paper in
        p.setBrush(QColor(150, 150, 150));
        p.drawRoundedRect(QRectF(1.5, 6, 13, 6), 1.5, 1.5);
        p.setBrush(Qt::white);
        p.drawRect(QRectF(4.5, 10, 7, 5));  // paper out
        p.drawLine(QPointF(6, 12), QPointF(10, 12));
        p.setBrush(QColor(40, 180, 40));
        p.setPen(Qt::NoPen);
        p.drawEllipse(QPointF(12.5, 8), 0.9, 0.9);
    });
}
