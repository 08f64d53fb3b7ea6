#pragma once
// Toolbar pictures the style has no stock icon for, drawn on a 20 x 20 grid at twice the
// resolution so that they stay sharp on 200 % screens. The album windows share it.

#include <QIcon>
#include <QPainter>
#include <QPixmap>

template <typename Draw>
QIcon drawnIcon(Draw draw)
{
    QPixmap pm(40, 40);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(2, 2);
    draw(p);
    p.end();
    pm.setDevicePixelRatio(2);
    return QIcon(pm);
}
