#include "app/appicon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace {

QPixmap drawn(int size)
{
    // The same drawing as data/fetchwright.svg (the desktop's icon), without the SVG module: a globe
    // and the arrow that brings its files down.
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0x2b, 0x6c, 0xb0));
    painter.drawRoundedRect(QRectF(4, 4, 56, 56), 10, 10);
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(Qt::white, 4));
    painter.drawEllipse(QPointF(32, 26), 14, 14);
    QPainterPath meridians;
    meridians.moveTo(18, 26);
    meridians.lineTo(46, 26);
    meridians.moveTo(32, 12);
    meridians.cubicTo(26, 20, 26, 32, 32, 40);
    meridians.moveTo(32, 12);
    meridians.cubicTo(38, 20, 38, 32, 32, 40);
    painter.setPen(QPen(Qt::white, 2.5));
    painter.drawPath(meridians);
    QPainterPath arrow;
    arrow.moveTo(32, 40);
    arrow.lineTo(32, 52);
    arrow.moveTo(24, 46);
    arrow.lineTo(32, 54);
    arrow.lineTo(40, 46);
    painter.setPen(QPen(QColor(0xff, 0xd1, 0x66), 4, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    painter.drawPath(arrow);
    return pixmap;
}

} // namespace

QIcon AppIcon()
{
    QIcon icon;
    for (int size : { 16, 24, 32, 48, 64, 128, 256 })
        icon.addPixmap(drawn(size));
    return icon;
}
