// The 28 skin slots: panel backgrounds, button faces, slider tracks and thumbs.
#include "draw.h"

#include "ui/skinslots.h"

#include <QFont>
#include <QLinearGradient>
#include <QRadialGradient>

#include <cmath>

namespace art {
namespace {

QColor mid(const QColor& a, const QColor& b)
{
    return QColor((a.red() + b.red()) / 2, (a.green() + b.green()) / 2, (a.blue() + b.blue()) / 2);
}

QImage background(int slot, int scale, Theme theme)
{
    const auto& info = skin::kSlots[slot];
    const Palette& pal = palette(theme);
    QImage img = canvas(info.width, info.height, scale);
    QPainter p;
    beginPainter(p, img, scale);
    const QRectF all(0, 0, info.width, info.height);
    brushed(p, all, pal, scale, 0x5eed + slot * 977 + int(theme) * 31);

    // A soft sheen across the upper part, as light falling on metal.
    QLinearGradient sheen(0, 0, 0, info.height);
    sheen.setColorAt(0, QColor(255, 255, 255, theme == Theme::Nightfall ? 18 : 40));
    sheen.setColorAt(0.45, QColor(255, 255, 255, 0));
    p.fillRect(all, sheen);

    if (slot == skin::kMainBackground) {
        // Grooves part the window buttons, the component buttons and the wordmark.
        grooveLine(p, QPointF(51, 7), QPointF(51, 43), pal, scale);
        grooveLine(p, QPointF(408, 7), QPointF(408, 43), pal, scale);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(19);
        f.setBold(true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 1.0);
        p.setFont(f);
        const QRectF box(412, 8, 84, 26);
        // Engraved on light metal; lit from within on dark metal.
        const bool dark = qGray(pal.bgTop.rgb()) < 110;
        p.setPen(dark ? QColor(0, 0, 0, 170) : pal.engraveLight);
        p.drawText(box.translated(0, 1), Qt::AlignCenter, QStringLiteral("Kolvo"));
        p.setPen(dark ? pal.accent.lighter(115) : pal.engraveDark);
        p.drawText(box, Qt::AlignCenter, QStringLiteral("Kolvo"));
        // The accent line under it, with two LED-like dots.
        p.setPen(Qt::NoPen);
        p.setBrush(pal.accent);
        p.drawRoundedRect(QRectF(426, 36, 56, 2), 1, 1);
        QFont small(QStringLiteral("DejaVu Sans"));
        small.setPixelSize(7);
        small.setLetterSpacing(QFont::AbsoluteSpacing, 1.2);
        p.setFont(small);
        p.setPen(dark ? pal.engraveLight : pal.engraveDark);
        p.drawText(QRectF(412, 38, 84, 9), Qt::AlignCenter, QStringLiteral("MEDIA STATION"));
    } else if (slot == skin::kPanelBackground) {
        // A faint darker band carries the mode buttons and their labels.
        QLinearGradient band(0, 62, 0, 100);
        band.setColorAt(0, QColor(0, 0, 0, 0));
        band.setColorAt(1, QColor(0, 0, 0, theme == Theme::Nightfall ? 40 : 26));
        p.fillRect(QRectF(0, 62, info.width, 38), band);
    } else if (slot == skin::kRemoteBackground) {
        grooveLine(p, QPointF(6, 21.5), QPointF(93, 21.5), pal, scale);
        grooveLine(p, QPointF(6, 96), QPointF(93, 96), pal, scale);
        grooveLine(p, QPointF(6, 158.5), QPointF(93, 158.5), pal, scale);
        QFont f(QStringLiteral("DejaVu Sans"));
        f.setPixelSize(9);
        f.setBold(true);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 1.5);
        p.setFont(f);
        const QRectF box(0, 226, 100, 12);
        p.setPen(pal.engraveLight);
        p.drawText(box.translated(0, 1), Qt::AlignCenter, QStringLiteral("KOLVO"));
        p.setPen(pal.engraveDark);
        p.drawText(box, Qt::AlignCenter, QStringLiteral("KOLVO"));
    }
    p.end();
    return opaque(img);
}

double faceRadius(int w, int h)
{
    const int s = std::min(w, h);
    if (s <= 10)
        return 2;
    if (s <= 14)
        return 3;
    if (s <= 20)
        return 3.5;
    if (s <= 30)
        return 5;
    return 7;
}

QImage face(int slot, int scale, Theme theme)
{
    const auto& info = skin::kSlots[slot];
    const Palette& pal = palette(theme);
    const bool down = (slot % 2) == 0; // up faces are the odd slots 3, 5, ... 17
    const int w = info.width;
    const int h = info.height;
    QImage img = canvas(w, h, scale);
    QPainter p;
    beginPainter(p, img, scale);
    const double r = faceRadius(w, h);
    const double px = 1.0 / scale;
    const QRectF outer(0, 0, w, h);
    const QRectF body = outer.adjusted(px * 0.5, px * 0.5, -px * 0.5, -px * 0.5);

    // Outline.
    p.setBrush(pal.faceEdge);
    p.drawRoundedRect(outer, r, r);
    const QRectF inner = outer.adjusted(1, 1, -1, -1);
    const double ri = std::max(0.5, r - 1);
    QLinearGradient g(0, 1, 0, h - 1);
    if (!down) {
        g.setColorAt(0, pal.faceTop);
        g.setColorAt(0.55, mid(pal.faceTop, pal.faceBottom));
        g.setColorAt(1, pal.faceBottom);
    } else {
        g.setColorAt(0, pal.downTop);
        g.setColorAt(1, pal.downBottom);
    }
    p.setBrush(g);
    p.drawRoundedRect(inner, ri, ri);

    p.setBrush(Qt::NoBrush);
    if (!down) {
        // Light along the upper inner edge, a darker lower inner edge.
        p.setPen(QPen(pal.faceShine, px * scale * 0.9 / scale * (scale == 1 ? 1 : 1.2)));
        p.setClipRect(QRectF(0, 0, w, h * 0.5));
        p.drawRoundedRect(inner.adjusted(0.5, 0.5, -0.5, -0.5), ri, ri);
        p.setClipping(false);
        if (w >= 26 && h >= 26) {
            // Big faces get a glassy crown.
            QRadialGradient crown(QPointF(w * 0.5, h * 0.05), w * 0.7);
            crown.setColorAt(0, QColor(255, 255, 255, 90));
            crown.setColorAt(1, QColor(255, 255, 255, 0));
            p.setPen(Qt::NoPen);
            p.setBrush(crown);
            p.drawRoundedRect(inner.adjusted(1, 1, -1, -h * 0.45), ri, ri);
        }
    } else {
        // Shade along the upper inner edge: the face is pushed in.
        p.setPen(QPen(QColor(0, 0, 0, 90), 1.0));
        p.setClipRect(QRectF(0, 0, w, h * 0.5));
        p.drawRoundedRect(inner.adjusted(0.5, 0.5, -0.5, -0.5), ri, ri);
        p.setClipping(false);
    }
    (void)body;
    p.end();
    return keyed(img, mid(pal.bgTop, pal.bgBottom));
}

// A recessed slot for a slider to run in.
void drawGroove(QPainter& p, const QRectF& r, const Palette& pal)
{
    p.save();
    p.setPen(Qt::NoPen);
    p.setBrush(pal.engraveLight);
    p.drawRoundedRect(r.adjusted(0, 0, 1, 1), 1.5, 1.5);
    p.setBrush(pal.groove);
    p.drawRoundedRect(r, 1.5, 1.5);
    p.restore();
}

void drawTick(QPainter& p, double x, double y, double w, double h, const Palette& pal)
{
    p.fillRect(QRectF(x, y, w, h), pal.engraveDark);
    p.fillRect(QRectF(x, y + h, w, 1.0 / 2), pal.engraveLight);
}

QImage track(int slot, int scale, Theme theme)
{
    const auto& info = skin::kSlots[slot];
    const Palette& pal = palette(theme);
    QImage img = canvas(info.width, info.height, scale);
    QPainter p;
    beginPainter(p, img, scale, false);
    if (slot == skin::kVolumeTrack) {
        // Thumb centres run from y 13 (position 32) to 45 (position 0), x 14.
        drawGroove(p, QRectF(12, 9, 4, 40), pal);
        for (int k = 0; k <= 8; ++k) {
            const double y = 45 - 4 * k;
            const bool major = k % 4 == 0;
            const double len = major ? 4 : 2;
            drawTick(p, 5 - len, y, len, 1, pal);
            drawTick(p, 24, y, len, 1, pal);
        }
    } else if (slot == skin::kBalanceTrack) {
        // Thumb centres run from x 9 (-8) to 25 (+8), y 7.
        drawGroove(p, QRectF(4, 5, 26, 3), pal);
        p.fillRect(QRectF(16.5, 1, 1, 2), pal.engraveDark);
        p.fillRect(QRectF(16.5, 10, 1, 2), pal.engraveDark);
    } else {
        // Small vertical: thumb centres from y 10 (16) to 26 (0), x 9.
        drawGroove(p, QRectF(7, 6, 3, 24), pal);
        for (int k = 0; k <= 4; ++k) {
            const double y = 26 - 4 * k;
            drawTick(p, k % 2 ? 2 : 1, y, k % 2 ? 2 : 3, 1, pal);
        }
    }
    p.end();
    return keyed(img, mid(pal.bgTop, pal.bgBottom));
}

QImage thumb(int slot, int scale, Theme theme)
{
    const auto& info = skin::kSlots[slot];
    const Palette& pal = palette(theme);
    const bool disabled = slot == skin::kVolumeThumbDisabled ||
                          slot == skin::kBalanceThumbDisabled || slot == skin::kSmallThumbDisabled;
    const int w = info.width;
    const int h = info.height;
    QImage img = canvas(w, h, scale);
    QPainter p;
    beginPainter(p, img, scale);
    QColor top = pal.thumbTop, bottom = pal.thumbBottom, edge = pal.faceEdge, mark = pal.thumbMark;
    if (disabled) {
        auto fade = [](QColor c) {
            const int g = qGray(c.rgb());
            return QColor((c.red() + 2 * g) / 3, (c.green() + 2 * g) / 3, (c.blue() + 2 * g) / 3);
        };
        top = fade(top);
        bottom = fade(bottom);
        edge = fade(edge).lighter(130);
        mark = fade(mark).lighter(120);
    }
    const double r = std::min(w, h) <= 8 ? 1.5 : 2.5;
    p.setBrush(edge);
    p.drawRoundedRect(QRectF(0, 0, w, h), r, r);
    QLinearGradient g(0, 0, w > h ? 0 : w, w > h ? h : 0);
    if (w > h) {
        g.setStart(0, 0);
        g.setFinalStop(0, h);
    } else {
        g.setStart(0, 0);
        g.setFinalStop(0, h);
    }
    g.setColorAt(0, top);
    g.setColorAt(0.5, mid(top, bottom));
    g.setColorAt(0.52, bottom.lighter(108));
    g.setColorAt(1, bottom);
    p.setBrush(g);
    p.drawRoundedRect(QRectF(1, 1, w - 2, h - 2), r - 0.5, r - 0.5);
    p.setRenderHint(QPainter::Antialiasing, false);
    if (slot == skin::kBalanceThumb || slot == skin::kBalanceThumbDisabled) {
        // A vertical mark at the centre (x 8): balance shows left and right.
        p.fillRect(QRectF(7.5, 1.5, 1, h - 3), mark);
    } else {
        // Grip ridges above and below the centre line.
        const double cy = h / 2.0;
        const QColor ridgeDark(0, 0, 0, disabled ? 40 : 70);
        const QColor ridgeLight(255, 255, 255, disabled ? 60 : 110);
        for (double dy : {-6.0, -4.0, 3.0, 5.0}) {
            if (cy + dy < 2 || cy + dy > h - 3)
                continue;
            p.fillRect(QRectF(3, cy + dy, w - 6, 0.5 * (scale == 1 ? 2 : 1)), ridgeDark);
            p.fillRect(QRectF(3, cy + dy + 1, w - 6, 0.5 * (scale == 1 ? 2 : 1)), ridgeLight);
        }
        p.fillRect(QRectF(2, cy - 1, w - 4, 2), mark);
    }
    p.end();
    return keyed(img, mid(pal.bgTop, pal.bgBottom));
}

} // namespace

QImage renderSlot(int slot, int scale, Theme theme)
{
    if (slot < 0 || slot >= skin::kSlotCount)
        return {};
    if (slot <= skin::kRemoteBackground)
        return background(slot, scale, theme);
    if (slot <= skin::kFace60Down)
        return face(slot, scale, theme);
    if (slot == skin::kVolumeTrack || slot == skin::kBalanceTrack || slot == skin::kSmallTrack)
        return track(slot, scale, theme);
    return thumb(slot, scale, theme);
}

} // namespace art
