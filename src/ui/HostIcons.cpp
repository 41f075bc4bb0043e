#include "ui/HostIcons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <array>

#include "hosts/HostEntry.h"

namespace marlo::ui {

namespace {

constexpr std::array<QRgb, 7> kColours = {0x2f6fd0, 0xd04a2f, 0x2f9f4a, 0xc08a10,
                                          0x8a3fc0, 0x1f9fa8, 0x707070};

// Drawn on a 32-unit grid and scaled to the pixmap's size.
QPixmap Draw(int index, int size) {
    QPixmap pm(size, size);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(size / 32.0, size / 32.0);
    const QColor colour(kColours[static_cast<size_t>(index % 7)]);
    p.setPen(QPen(colour.darker(160), 1.5));
    if (index < kHostIconCount / 2) {
        // A modem: a flat box with a row of lamps and its cord.
        p.setBrush(colour);
        p.drawRoundedRect(QRectF(3, 11, 26, 13), 3, 3);
        p.setBrush(QColor(255, 230, 80));
        for (int i = 0; i < 4; ++i) p.drawEllipse(QPointF(8 + i * 5, 17.5), 1.6, 1.6);
        p.setBrush(Qt::NoBrush);
        QPainterPath cord(QPointF(26, 11));
        cord.cubicTo(28, 4, 20, 2, 16, 6);
        p.drawPath(cord);
    } else {
        // A globe: a disc with a meridian and two parallels.
        p.setBrush(colour);
        p.drawEllipse(QPointF(16, 16), 13, 13);
        p.setPen(QPen(Qt::white, 1.3));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(QPointF(16, 16), 5.5, 13);
        p.drawLine(QPointF(3, 16), QPointF(29, 16));
        p.drawLine(QPointF(6, 9.5), QPointF(26, 9.5));
        p.drawLine(QPointF(6, 22.5), QPointF(26, 22.5));
    }
    return pm;
}

}  // namespace

QIcon HostIcon(int index) {
    if (index < 0 || index >= kHostIconCount) index = 0;
    QIcon icon;
    icon.addPixmap(Draw(index, 16));
    icon.addPixmap(Draw(index, 32));
    return icon;
}

}  // namespace marlo::ui
