#pragma once
// Toolbar pictures the style has no stock icon for, drawn on a 20 x 20 grid at twice the
// resolution so that they stay sharp on 200 % screens. The album windows share it, with the
// colours and the pictures that stand for the same command in both.

#include <QIcon>
#include <QPainter>
#include <QPixmap>
#include <QPolygonF>

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

namespace drawn {

inline const QColor kInk(0x30, 0x38, 0x48);
inline const QColor kAccent(0x2a, 0x7a, 0xd0);

// A magnifying glass round (x, y), its handle to the lower right.
inline void drawMagnifier(QPainter& p, qreal x, qreal y, qreal r)
{
    p.setPen(QPen(kInk, 1.6));
    p.setBrush(QColor(0xe8, 0xf2, 0xff));
    p.drawEllipse(QPointF(x, y), r, r);
    p.setPen(QPen(kInk, 2.6, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(x + r * 0.72, y + r * 0.72), QPointF(x + r * 1.7, y + r * 1.7));
}

// A globe round (x, y): its outline, a meridian meridianRadius wide, and the equator.
inline void drawGlobe(QPainter& p, qreal x, qreal y, qreal r, qreal meridianRadius)
{
    p.setPen(QPen(kInk, 1.1));
    p.setBrush(QColor(0xd8, 0xea, 0xfa));
    p.drawEllipse(QPointF(x, y), r, r);
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(x, y), meridianRadius, r);
    p.drawLine(QPointF(x - r, y), QPointF(x + r, y));
}

// An arrow's outline filled in the accent colour.
inline void drawArrowShape(QPainter& p, const QPolygonF& arrow)
{
    p.setPen(QPen(kInk.darker(120), 0.8));
    p.setBrush(kAccent);
    p.drawPolygon(arrow);
}

inline QIcon findIcon()
{
    return drawnIcon([](QPainter& p) { drawMagnifier(p, 8, 8, 5.5); });
}

// The glass with an arrow on: find again.
inline QIcon findNextIcon()
{
    return drawnIcon([](QPainter& p) {
        drawMagnifier(p, 7, 7, 4.5);
        p.setPen(Qt::NoPen);
        p.setBrush(kAccent);
        p.drawPolygon(QPolygonF{QPointF(12, 1), QPointF(19, 5), QPointF(12, 9)});
    });
}

} // namespace drawn
