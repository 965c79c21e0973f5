#include "ui/WindowIcon.h"

#include <QPainter>
#include <QPixmap>

namespace ui {

QIcon windowIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(0, 0, 128));
    painter.drawRoundedRect(QRectF(1, 1, 30, 30), 5, 5);

    // A square wave of bits, the fourth one flipped and marked red.
    const int bits[] = {1, 0, 1, 1, 0, 1};
    QPen wave(Qt::white, 2);
    painter.setPen(wave);
    const int step = 4;
    int x = 4;
    int previous = bits[0];
    for (int i = 0; i < 6; ++i) {
        const int y = bits[i] ? 10 : 20;
        if (bits[i] != previous)
            painter.drawLine(x, 10, x, 20);
        if (i == 3)
            painter.setPen(QPen(QColor(255, 64, 64), 2));
        painter.drawLine(x, y, x + step, y);
        painter.setPen(wave);
        previous = bits[i];
        x += step;
    }
    painter.setBrush(QColor(255, 64, 64));
    painter.setPen(Qt::NoPen);
    painter.drawEllipse(QPointF(24, 25), 3, 3);
    painter.end();
    return QIcon(pixmap);
}

} // namespace ui
