#include "AppIcon.h"

#include <QIcon>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace telvo {

namespace {

QPixmap Figure(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);

    // Rounded dark tile, then the figure in the suit's orange with its sensors in white.
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(40, 52, 70));
    p.drawRoundedRect(QRectF(1, 1, 30, 30), 6, 6);

    QPen limb(QColor(255, 160, 40), 3.0, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin);
    p.setPen(limb);
    p.setBrush(Qt::NoBrush);
    QPainterPath body;
    body.moveTo(16, 11);
    body.lineTo(16, 19); // spine
    body.moveTo(9, 17);
    body.lineTo(12, 13);
    body.lineTo(20, 13);
    body.lineTo(24, 9); // arms, one raised
    body.moveTo(16, 19);
    body.lineTo(12, 27); // legs
    body.moveTo(16, 19);
    body.lineTo(20, 27);
    p.drawPath(body);

    p.setPen(Qt::NoPen);
    p.setBrush(QColor(255, 160, 40));
    p.drawEllipse(QPointF(16, 7), 3.2, 3.2); // head
    p.setBrush(Qt::white);
    for (const QPointF& sensor :
         {QPointF(16, 15), QPointF(12, 13), QPointF(20, 13), QPointF(14, 23), QPointF(18, 23)}) {
        p.drawEllipse(sensor, 1.1, 1.1);
    }
    return pixmap;
}

} // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64}) {
        icon.addPixmap(Figure(size));
    }
    return icon;
}

} // namespace telvo
