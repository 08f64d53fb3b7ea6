#include "draw.h"

#include "ui/skinslots.h"

#include <QLinearGradient>

#include <algorithm>
#include <cmath>

namespace art {

const Palette& palette(Theme theme)
{
    static const Palette original{
        QColor(0xd4, 0xd8, 0xde),   QColor(0xa4, 0xaa, 0xb3), QColor(255, 255, 255, 46),
        QColor(40, 48, 60, 30),     QColor(0xf6, 0xf7, 0xf9), QColor(0xb4, 0xba, 0xc3),
        QColor(0x8e, 0x94, 0x9e),   QColor(0xc4, 0xc9, 0xd0), QColor(0x3c, 0x42, 0x4c),
        QColor(255, 255, 255, 200), QColor(0x2f, 0x6d, 0xb5), QColor(0x5a, 0x60, 0x6a),
        QColor(255, 255, 255, 170), QColor(0x23, 0x27, 0x2e), QColor(0xf4, 0xf5, 0xf7),
        QColor(0x96, 0x9c, 0xa6),   QColor(0x2f, 0x6d, 0xb5)};
    static const Palette golden{
        QColor(0xe2, 0xc2, 0x72),   QColor(0x9a, 0x72, 0x28), QColor(255, 246, 210, 50),
        QColor(70, 44, 6, 34),      QColor(0xfd, 0xea, 0xaa), QColor(0xbb, 0x8c, 0x30),
        QColor(0x8c, 0x66, 0x1e),   QColor(0xcf, 0xa2, 0x48), QColor(0x45, 0x30, 0x0c),
        QColor(255, 250, 225, 210), QColor(0x6a, 0x3c, 0x08), QColor(0x5e, 0x42, 0x10),
        QColor(255, 244, 205, 170), QColor(0x2a, 0x1d, 0x08), QColor(0xff, 0xf1, 0xc4),
        QColor(0xa6, 0x7a, 0x26),   QColor(0x8a, 0x24, 0x10)};
    static const Palette nightfall{
        QColor(0x2e, 0x41, 0x64),   QColor(0x12, 0x1b, 0x30), QColor(150, 190, 255, 26),
        QColor(0, 0, 0, 40),        QColor(0x8a, 0xa6, 0xcb), QColor(0x40, 0x58, 0x7a),
        QColor(0x2a, 0x3b, 0x56),   QColor(0x4c, 0x64, 0x88), QColor(0x08, 0x0d, 0x1a),
        QColor(220, 235, 255, 170), QColor(0x56, 0xd8, 0xff), QColor(0x06, 0x0a, 0x14),
        QColor(120, 160, 220, 120), QColor(0x03, 0x06, 0x0d), QColor(0xb6, 0xcb, 0xe6),
        QColor(0x4a, 0x60, 0x84),   QColor(0x56, 0xd8, 0xff)};
    switch (theme) {
    case Theme::Golden:
        return golden;
    case Theme::Nightfall:
        return nightfall;
    case Theme::Original:
        break;
    }
    return original;
}

std::optional<Theme> themeByName(const std::string& name)
{
    if (name == "original")
        return Theme::Original;
    if (name == "golden")
        return Theme::Golden;
    if (name == "nightfall")
        return Theme::Nightfall;
    return std::nullopt;
}

const char* themeName(Theme theme)
{
    switch (theme) {
    case Theme::Golden:
        return "golden";
    case Theme::Nightfall:
        return "nightfall";
    case Theme::Original:
        break;
    }
    return "original";
}

const char* themeDisplayName(Theme theme)
{
    switch (theme) {
    case Theme::Golden:
        return "Golden";
    case Theme::Nightfall:
        return "Nightfall";
    case Theme::Original:
        break;
    }
    return "Original";
}

QImage canvas(int w, int h, int scale)
{
    QImage img(w * scale, h * scale, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    return img;
}

void beginPainter(QPainter& p, QImage& image, int scale, bool antialias)
{
    p.begin(&image);
    p.scale(scale, scale);
    p.setRenderHint(QPainter::Antialiasing, antialias);
    p.setPen(Qt::NoPen);
}

QImage keyed(const QImage& argb, const QColor& matte)
{
    const QImage src = argb.convertToFormat(QImage::Format_ARGB32);
    QImage out(src.size(), QImage::Format_RGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* s = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* d = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(s[x]);
            if (a < 48) {
                d[x] = qRgb(255, 0, 255);
                continue;
            }
            auto mix = [a](int c, int m) { return (c * a + m * (255 - a) + 127) / 255; };
            QRgb c = qRgb(mix(qRed(s[x]), matte.red()), mix(qGreen(s[x]), matte.green()),
                          mix(qBlue(s[x]), matte.blue()));
            if (c == qRgb(255, 0, 255))
                c = qRgb(254, 0, 255); // never the key by accident
            d[x] = c;
        }
    }
    return out;
}

QImage opaque(const QImage& argb)
{
    QImage out(argb.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter p(&out);
    p.drawImage(0, 0, argb);
    return out;
}

double Noise::next()
{
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return (m_state & 0xFFFFFF) / double(0x1000000);
}

void brushed(QPainter& p, const QRectF& area, const Palette& pal, int scale, std::uint32_t seed)
{
    QLinearGradient g(area.topLeft(), area.bottomLeft());
    g.setColorAt(0, pal.bgTop);
    g.setColorAt(1, pal.bgBottom);
    p.fillRect(area, g);
    // One grain line per device row, with a soft random strength and length.
    Noise n(seed);
    const double step = 1.0 / scale;
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    for (double y = area.top(); y < area.bottom(); y += step) {
        double x = area.left();
        while (x < area.right()) {
            // Long faint streaks read as brushed metal; short strong ones as wood.
            const double len = 24 + n.next() * 160;
            const double v = n.next();
            QColor c = v < 0.5 ? pal.grainLight : pal.grainDark;
            c.setAlphaF(c.alphaF() * (0.15 + std::abs(v - 0.5) * 0.9));
            p.fillRect(QRectF(x, y, std::min(len, area.right() - x), step), c);
            x += len;
        }
    }
    p.restore();
}

void grooveLine(QPainter& p, QPointF a, QPointF b, const Palette& pal, int scale)
{
    const double w = 1.0;
    const bool horizontal = std::abs(a.y() - b.y()) < std::abs(a.x() - b.x());
    const QPointF shift = horizontal ? QPointF(0, w) : QPointF(w, 0);
    p.save();
    p.setRenderHint(QPainter::Antialiasing, false);
    QColor dark = pal.engraveDark;
    dark.setAlpha(150);
    p.setPen(QPen(dark, w, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(a, b);
    p.setPen(QPen(pal.engraveLight, w, Qt::SolidLine, Qt::FlatCap));
    p.drawLine(a + shift, b + shift);
    p.restore();
    (void)scale;
}

void paintShape(QPainter& p, const QPainterPath& shape, Ink ink, int scale, const QColor& lit)
{
    const double px = 1.0 / scale; // one device pixel
    p.save();
    p.setPen(Qt::NoPen);
    switch (ink) {
    case Ink::Dark:
        p.setBrush(QColor(255, 255, 255, 120));
        p.drawPath(shape.translated(px, px));
        p.setBrush(QColor(0x18, 0x1a, 0x1f, 240));
        p.drawPath(shape);
        break;
    case Ink::Disabled:
        p.setBrush(QColor(255, 255, 255, 110));
        p.drawPath(shape.translated(px, px));
        p.setBrush(QColor(0x6e, 0x72, 0x7a, 170));
        p.drawPath(shape);
        break;
    case Ink::Lit: {
        // A dark shadow below and right keeps the colour readable on light faces; on screens
        // with the pixels for it, a soft glow round the shape.
        if (scale > 1) {
            QColor glow = lit;
            glow.setAlpha(60);
            p.setPen(QPen(glow, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
            p.setBrush(Qt::NoBrush);
            p.drawPath(shape);
            p.setPen(Qt::NoPen);
        }
        QColor shadow = lit.darker(400);
        shadow.setAlpha(220);
        p.setBrush(shadow);
        p.drawPath(shape.translated(px, px));
        p.setBrush(lit);
        p.drawPath(shape);
        break;
    }
    }
    p.restore();
}

QPainterPath triangle(double x, double y, double w, double h, bool pointRight)
{
    QPainterPath path;
    if (pointRight) {
        path.moveTo(x, y);
        path.lineTo(x + w, y + h / 2);
        path.lineTo(x, y + h);
    } else {
        path.moveTo(x + w, y);
        path.lineTo(x, y + h / 2);
        path.lineTo(x + w, y + h);
    }
    path.closeSubpath();
    return path;
}

QPainterPath triangleUp(double x, double y, double w, double h, bool pointUp)
{
    QPainterPath path;
    if (pointUp) {
        path.moveTo(x, y + h);
        path.lineTo(x + w / 2, y);
        path.lineTo(x + w, y + h);
    } else {
        path.moveTo(x, y);
        path.lineTo(x + w / 2, y + h);
        path.lineTo(x + w, y);
    }
    path.closeSubpath();
    return path;
}

QPainterPath rect(double x, double y, double w, double h)
{
    QPainterPath path;
    path.addRect(x, y, w, h);
    return path;
}

QPainterPath ring(double cx, double cy, double r, double thickness)
{
    QPainterPath path;
    path.addEllipse(QPointF(cx, cy), r, r);
    path.addEllipse(QPointF(cx, cy), r - thickness, r - thickness);
    path.setFillRule(Qt::OddEvenFill);
    return path;
}

QPainterPath powerSymbol(double cx, double cy, double r, double thickness)
{
    QPainterPathStroker stroker;
    stroker.setWidth(thickness);
    stroker.setCapStyle(Qt::RoundCap);
    QPainterPath arc;
    const QRectF box(cx - r, cy - r, 2 * r, 2 * r);
    arc.arcMoveTo(box, 120);
    arc.arcTo(box, 120, 300);
    QPainterPath stem;
    stem.moveTo(cx, cy - r - thickness * 0.3);
    stem.lineTo(cx, cy - r * 0.15);
    return stroker.createStroke(arc).united(stroker.createStroke(stem));
}

QImage render(int resourceId, int scale, Theme theme)
{
    if (scale != 1 && scale != 2)
        return {};
    for (int i = 0; i < skin::kSlotCount; ++i) {
        if (skin::kSlots[i].resourceId == resourceId)
            return renderSlot(i, scale, theme);
    }
    namespace r = skin::res;
    switch (resourceId) {
    case r::kGlyphsLarge:
        return renderLargeGlyphs(scale);
    case r::kGlyphsSmall:
        return renderSmallGlyphs(scale);
    case r::kIndicators:
        return renderIndicators(scale);
    case r::kTrackCells:
        return renderTrackCells(scale);
    case r::kPositionThumb:
        return renderPositionThumbs(scale);
    case r::kSplash:
        return renderSplash(scale);
    case r::kTrayIcons:
        return renderTrayIcons(scale);
    case r::kCdLogo:
    case r::kCdBadge:
    case r::kEffectorBadge:
        return renderEmblem(resourceId, scale);
    default:
        break;
    }
    for (int k = 0; k < 4; ++k) {
        if (r::kDigitKinds[k].resourceId == resourceId)
            return renderDigits(k, scale);
    }
    return {};
}

std::vector<int> resourceIds()
{
    std::vector<int> ids;
    for (const auto& s : skin::kSlots)
        ids.push_back(s.resourceId);
    namespace r = skin::res;
    for (int id : {r::kGlyphsLarge, r::kGlyphsSmall, r::kIndicators, r::kTrackCells,
                   r::kPositionThumb, r::kDigits0, r::kDigits1, r::kDigits2, r::kDigits3,
                   r::kSplash, r::kTrayIcons, r::kCdLogo, r::kCdBadge, r::kEffectorBadge})
        ids.push_back(id);
    return ids;
}

QImage renderIcon(int resourceId, int size)
{
    if (resourceId != skin::res::kMainIcon && resourceId != skin::res::kRemoteIcon)
        return {};
    return renderAppIcon(size, resourceId == skin::res::kRemoteIcon);
}

} // namespace art
